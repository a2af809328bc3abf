// Bulk conversion of records whose descriptor is known at compile time.
#ifndef BYTE_SWAP_RECORDS_H
#define BYTE_SWAP_RECORDS_H

#include <array>
#include <cstring>
#include <utility>

#include "byte_swapping.h"

namespace byte_swap_private
{
	struct fixed_swap
	{
		int32 offset;
		int32 width; // 2 or 4
	};

	// Mirrors walk, listing the swaps of one structure in the order walk makes
	// them (into swaps when given) after the listed ones; returns the new count.
	constexpr int32 list_swaps(const byte_swap_code *codes, int32 base, fixed_swap *swaps, int32 listed, int32 *size,
		int32 *codes_consumed)
	{
		const int32 count = codes[1];
		int32 offset = 0;
		int32 position = 2;
		if (count < 1)
		{
			int32 depth = 1;
			while (depth > 0)
			{
				const byte_swap_code code = codes[position];
				if (code == _begin_bs_array)
				{
					depth += 1;
					position += 2;
				}
				else
				{
					if (code == _end_bs_array) depth -= 1;
					position += 1;
				}
			}
			*codes_consumed = position;
			*size = 0;
			return listed;
		}
		for (int32 repetition = 0; repetition < count; ++repetition)
		{
			position = 2;
			for (;;)
			{
				const byte_swap_code code = codes[position];
				if (code == _end_bs_array)
				{
					position += 1;
					break;
				}
				else if (code == _2byte || code == _4byte)
				{
					const int32 width = code == _2byte ? 2 : 4;
					if (swaps) swaps[listed] = {base + offset, width};
					listed += 1;
					offset += width;
					position += 1;
				}
				else if (code == _begin_bs_array)
				{
					int32 nested = 0, consumed = 0;
					listed = list_swaps(codes + position, base + offset, swaps, listed, &nested, &consumed);
					offset += nested;
					position += consumed;
				}
				else
				{
					offset += code;
					position += 1;
				}
			}
		}
		*codes_consumed = position;
		*size = offset;
		return listed;
	}

	template <const byte_swap_code *codes>
	constexpr int32 fixed_swap_count(void)
	{
		int32 size = 0, consumed = 0;
		return list_swaps(codes, 0, nullptr, 0, &size, &consumed);
	}

	template <const byte_swap_code *codes>
	constexpr std::array<fixed_swap, fixed_swap_count<codes>()> fixed_swaps(void)
	{
		std::array<fixed_swap, fixed_swap_count<codes>()> swaps{};
		int32 size = 0, consumed = 0;
		list_swaps(codes, 0, swaps.data(), 0, &size, &consumed);
		return swaps;
	}

	template <int32 width>
	inline void swap_field(uint8 *p)
	{
		if constexpr (width == 2)
		{
			uint16 value;
			std::memcpy(&value, p, 2);
			value = static_cast<uint16>((value << 8) | (value >> 8));
			std::memcpy(p, &value, 2);
		}
		else
		{
			uint32 value;
			std::memcpy(&value, p, 4);
			value = ((value & 0x000000FFu) << 24) | ((value & 0x0000FF00u) << 8) | ((value & 0x00FF0000u) >> 8) |
				((value & 0xFF000000u) >> 24);
			std::memcpy(p, &value, 4);
		}
	}
}

// byte_swap_data for a descriptor known at compile time (for records loaded in
// bulk): its swaps are listed once, at compile time, and made straight.
template <const byte_swap_code *codes>
inline void byte_swap_records(void *data, int32 data_size, int32 data_count)
{
	static constexpr auto swaps = byte_swap_private::fixed_swaps<codes>();
	if (!data || data_count < 1) return;
	uint8 *structure = static_cast<uint8 *>(data);
	for (int32 i = 0; i < data_count; ++i, structure += data_size)
	{
		[structure]<size_t... k>(std::index_sequence<k...>) {
			(byte_swap_private::swap_field<swaps[k].width>(structure + swaps[k].offset), ...);
		}(std::make_index_sequence<swaps.size()>{});
	}
}

#endif
