// The running CRC of tag files: the CRC-32 table and start value, but no final
// complement, so the result is the complement of the common CRC-32.
#ifndef CRC_QUIB_H
#define CRC_QUIB_H

#include "cseries.h"

#define TAG_CRC_START 0xFFFFFFFFu

void crc_new(uint32 *crc_reference);
void crc_checksum_buffer(uint32 *crc_reference, const void *buffer, int32 count);

#endif
