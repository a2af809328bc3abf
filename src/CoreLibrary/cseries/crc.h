// CRC-32 (IEEE 802.3) of a buffer.
#ifndef CRC_H
#define CRC_H

#include "cseries.h"

#define CRC32_POLYNOMIAL 0xEDB88320u
#define CRC32_TABLE_SIZE 256

// Standard CRC-32: initial value 0xFFFFFFFF, final complement; 0 for length < 1.
uint32 calculate_data_crc(const void *buffer, int32 length);

// The one table of the reflected polynomial (CRC32_TABLE_SIZE entries), shared
// with the tag CRC.
const uint32 *get_crc32_table(void);

// Runs crc through length bytes with the shared table, with no initial value
// or final complement applied.
uint32 crc32_update(uint32 crc, const void *buffer, int32 length);

#endif
