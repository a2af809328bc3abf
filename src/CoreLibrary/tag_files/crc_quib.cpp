#include "crc_quib.h"

#include "crc.h"

void crc_new(uint32 *crc_reference)
{
	*crc_reference = TAG_CRC_START;
}

void crc_checksum_buffer(uint32 *crc_reference, const void *buffer, int32 count)
{
	if (!buffer || count < 1) return;
	*crc_reference = crc32_update(*crc_reference, buffer, count);
}
