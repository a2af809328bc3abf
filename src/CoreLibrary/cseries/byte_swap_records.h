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

	// The walk's swaps of one structure, in its order, into swaps when given;
	// returns their count.
	constexpr int32 list_swaps(const byte_swap_code *codes, fixed_swap *swaps)
	{
		int32 listed = 0;
		auto field = [swaps, &listed](int32 offset, int32 width) {
			if (swaps) swaps[listed] = {offset, width};
			listed += 1;
			return true;
		};
		auto step = [] { return true; };
		int32 size = 0, consumed = 0;
		walk_fields(codes, 0, field, step, &size, &consumed);
		return listed;
	}

	template <const byte_swap_code *codes>
	constexpr int32 fixed_swap_count(void)
	{
		return list_swaps(codes, nullptr);
	}

	template <const byte_swap_code *codes>
	constexpr std::array<fixed_swap, fixed_swap_count<codes>()> fixed_swaps(void)
	{
		std::array<fixed_swap, fixed_swap_count<codes>()> swaps{};
		list_swaps(codes, swaps.data());
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
