#include <gtest/gtest.h>

#include "CoreLibrary/cseries/crc.h"
#include "CoreLibrary/tag_files/crc_quib.h"

namespace
{
uint32 tag_crc(const void *bytes, int32 count)
{
	uint32 crc;
	crc_new(&crc);
	crc_checksum_buffer(&crc, bytes, count);
	return crc;
}

TEST(TagCrc, KnownValuesAndRelationToTheCommonCrc)
{
	EXPECT_EQ(tag_crc("abc", 3), 0xCADBBE3Du);
	EXPECT_EQ(tag_crc("", 0), 0xFFFFFFFFu);

	uint8 bytes[1000];
	for (int32 i = 0; i < 1000; ++i) bytes[i] = (uint8)(i * 7 + 3);
	EXPECT_EQ(tag_crc(bytes, 1000), ~calculate_data_crc(bytes, 1000));

	// Running over pieces gives the same value as over the whole.
	uint32 crc;
	crc_new(&crc);
	crc_checksum_buffer(&crc, bytes, 1);
	crc_checksum_buffer(&crc, bytes + 1, 600);
	crc_checksum_buffer(&crc, bytes + 601, 0);
	crc_checksum_buffer(&crc, bytes + 601, 399);
	EXPECT_EQ(crc, tag_crc(bytes, 1000));
}
} // namespace
