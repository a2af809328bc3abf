#include "crc.h"

#include <array>

namespace
{
	// Built at compile time: one table for every CRC-32 user, and no
	// allocation that could fail.
	constexpr std::array<uint32, CRC32_TABLE_SIZE> build_crc32_table()
	{
		std::array<uint32, CRC32_TABLE_SIZE> table{};
		for (uint32 i = 0; i < CRC32_TABLE_SIZE; ++i)
		{
			uint32 crc = i;
			for (int32 bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ CRC32_POLYNOMIAL : crc >> 1;
			table[i] = crc;
		}
		return table;
	}

	constexpr std::array<uint32, CRC32_TABLE_SIZE> crc32_table = build_crc32_table();
	static_assert(crc32_table[1] == 0x77073096u && crc32_table[255] == 0x2D02EF8Du);
}

const uint32 *get_crc32_table(void)
{
	return crc32_table.data();
}

uint32 crc32_update(uint32 crc, const void *buffer, int32 length)
{
	const uint8 *p = static_cast<const uint8 *>(buffer);
	for (int32 i = 0; i < length; ++i) crc = crc32_table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
	return crc;
}

uint32 calculate_data_crc(const void *buffer, int32 length)
{
	if (!buffer || length < 1) return 0;
	return ~crc32_update(0xFFFFFFFFu, buffer, length);
}
