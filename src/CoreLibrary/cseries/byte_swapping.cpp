#include "byte_swapping.h"

#include <bit>
#include <cstring>

// Stored data is big-endian and the game runs on little-endian x86 only.
static_assert(std::endian::native == std::endian::little, "byte swapping assumes a little-endian host");

void byte_swap_data(const char *name, void *data, int32 data_size, int32 data_count, const byte_swap_code *codes)
{
	(void)name;
	if (!data || data_count < 1) return;

	uint8 *structure = static_cast<uint8 *>(data);
	for (int32 i = 0; i < data_count; ++i, structure += data_size)
		byte_swap_private::walk(codes, structure, nullptr);
}

void byte_swap_move(const char *name, void *destination, const void *source, int32 data_size, int32 data_count,
	const byte_swap_code *codes)
{
	if (!destination || !source || data_count < 1 || data_size < 1) return;
	std::memmove(destination, source, static_cast<size_t>(data_size) * static_cast<size_t>(data_count));
	byte_swap_data(name, destination, data_size, data_count, codes);
}

void byte_swap_memory(const char *name, void *memory, int32 count, byte_swap_code code)
{
	if (!memory || count < 1) return;

	if (count < 32768)
	{
		// A count this small fits the count slot of a descriptor.
		const byte_swap_code codes[] = {_begin_bs_array, static_cast<byte_swap_code>(count), code, _end_bs_array};
		byte_swap_data(name, memory, 0, 1, codes);
		return;
	}

	uint8 *p = static_cast<uint8 *>(memory);
	switch (code)
	{
	case _4byte:
		for (int32 i = 0; i < count; ++i, p += 4)
		{
			uint32 value;
			std::memcpy(&value, p, 4);
			value = ((value & 0x000000FFu) << 24) | ((value & 0x0000FF00u) << 8) | ((value & 0x00FF0000u) >> 8) |
				((value & 0xFF000000u) >> 24);
			std::memcpy(p, &value, 4);
		}
		break;
	case _2byte:
		for (int32 i = 0; i < count; ++i, p += 2)
		{
			const uint8 t = p[0];
			p[0] = p[1];
			p[1] = t;
		}
		break;
	default:
		break;
	}
}
