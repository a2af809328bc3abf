// Conversion of stored big-endian structures through byte-swap descriptors.
//
// A descriptor reads: _begin_bs_array, count, field codes ..., _end_bs_array.
// A field code is _2byte, _4byte, a positive byte count left alone, or a
// nested _begin_bs_array ... _end_bs_array group (an embedded array). The
// conversion is its own inverse, so one descriptor serves reading and writing.
#ifndef BYTE_SWAPPING_H
#define BYTE_SWAPPING_H

#include "cseries.h"

typedef int16_t byte_swap_code;

enum : byte_swap_code
{
	_byte = 1,
	_2byte = -2,
	_4byte = -4,
	_begin_bs_array = -100,
	_end_bs_array = -101
};

// Deepest nesting that byte_swap_descriptor_is_valid accepts (the outer group counts as 1).
#define MAXIMUM_BYTE_SWAP_DESCRIPTOR_DEPTH 8

namespace byte_swap_private
{
	// The one descriptor walk. codes points at a _begin_bs_array. field(offset,
	// width) is called for every 2- or 4-byte field in the order the bytes lie
	// (offset counted from base), step() before every code read; either one
	// answering false stops the walk, which then answers false. *size gets the
	// bytes described and *codes_consumed the position after the group's
	// _end_bs_array.
	template <typename on_field, typename on_step>
	constexpr bool walk_fields(const byte_swap_code *codes, int32 base, on_field &field, on_step &step, int32 *size,
		int32 *codes_consumed)
	{
		const int32 count = codes[1];
		int32 offset = 0;
		int32 position = 2;

		if (count < 1)
		{
			// Describes nothing, but its codes still have to be skipped.
			int32 depth = 1;
			while (depth > 0)
			{
				if (!step()) return false;
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
			return true;
		}

		for (int32 repetition = 0; repetition < count; ++repetition)
		{
			position = 2;
			for (;;)
			{
				if (!step()) return false;
				const byte_swap_code code = codes[position];
				if (code == _end_bs_array)
				{
					position += 1;
					break;
				}
				else if (code == _2byte || code == _4byte)
				{
					const int32 width = code == _2byte ? 2 : 4;
					if (!field(base + offset, width)) return false;
					offset += width;
					position += 1;
				}
				else if (code == _begin_bs_array)
				{
					int32 nested = 0, consumed = 0;
					if (!walk_fields(codes + position, base + offset, field, step, &nested, &consumed)) return false;
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
		return true;
	}

	// With data the walk converts the described bytes in place; without, it
	// only measures. Returns the bytes described; *codes_consumed gets the
	// position after the group's _end_bs_array.
	constexpr int32 walk(const byte_swap_code *codes, uint8 *data, int32 *codes_consumed)
	{
		auto field = [data](int32 offset, int32 width) {
			if (data)
			{
				uint8 *p = data + offset;
				for (int32 low = 0, high = width - 1; low < high; ++low, --high)
				{
					const uint8 t = p[low];
					p[low] = p[high];
					p[high] = t;
				}
			}
			return true;
		};
		auto step = [] { return true; };
		int32 size = 0, consumed = 0;
		walk_fields(codes, 0, field, step, &size, &consumed);
		if (codes_consumed) *codes_consumed = consumed;
		return size;
	}

	// Bytes described by the group at codes[0], or -1 when the group is
	// malformed; *consumed gets the codes it spans.
	constexpr int64 validate(const byte_swap_code *codes, int32 code_count, int32 depth, int32 *consumed)
	{
		if (depth > MAXIMUM_BYTE_SWAP_DESCRIPTOR_DEPTH) return -1;
		if (code_count < 3 || codes[0] != _begin_bs_array) return -1;
		const int32 count = codes[1];
		if (count < 1) return -1;

		int64 size = 0;
		int32 position = 2;
		for (;;)
		{
			if (position >= code_count) return -1;
			const byte_swap_code code = codes[position];
			if (code == _end_bs_array)
			{
				position += 1;
				break;
			}
			else if (code == _2byte)
			{
				size += 2;
				position += 1;
			}
			else if (code == _4byte)
			{
				size += 4;
				position += 1;
			}
			else if (code == _begin_bs_array)
			{
				int32 nested_consumed = 0;
				const int64 nested = validate(codes + position, code_count - position, depth + 1, &nested_consumed);
				if (nested < 0) return -1;
				size += nested;
				position += nested_consumed;
			}
			else if (code > 0)
			{
				size += code;
				position += 1;
			}
			else
			{
				return -1;
			}
			if (size > INT32_MAX) return -1;
		}
		// A group that describes no bytes would make the walk repeat nothing
		// count times over; nested, that is count^depth turns for no effect.
		if (size == 0) return -1;
		// size <= INT32_MAX and count <= 32767, so this cannot overflow.
		size *= count;
		if (size > INT32_MAX) return -1;
		if (consumed) *consumed = position;
		return size;
	}
}

// The number of bytes that a descriptor describes, without touching data.
constexpr int32 get_byte_swap_struct_size(const byte_swap_code *codes)
{
	return byte_swap_private::walk(codes, nullptr, nullptr);
}

// True when codes[0 .. code_count) begins with a well-formed descriptor: only
// the known codes, counts of 1 or more, groups that describe at least one
// byte, balanced groups nested at most
// MAXIMUM_BYTE_SWAP_DESCRIPTOR_DEPTH deep, and a size of at most INT32_MAX.
constexpr bool byte_swap_descriptor_is_valid(const byte_swap_code *codes, int32 code_count)
{
	if (!codes) return false;
	return byte_swap_private::validate(codes, code_count, 1, nullptr) >= 0;
}

// Converts data_count structures lying data_size bytes apart; nothing when
// data is NULL or data_count < 1. name labels the data for diagnostics.
void byte_swap_data(const char *name, void *data, int32 data_size, int32 data_count, const byte_swap_code *codes);

// Copies data_size * data_count bytes (the areas may overlap) and converts
// each structure at the destination.
void byte_swap_move(const char *name, void *destination, const void *source, int32 data_size, int32 data_count,
	const byte_swap_code *codes);

// Converts count consecutive fields of one code.
void byte_swap_memory(const char *name, void *memory, int32 count, byte_swap_code code);

#endif
