#include "render/radix_sort.h"

#include <bit>
#include <cstring>

static inline uint32 radix_digit(uint32 key, int32 pass)
{
	return (key >> (pass * RADIX_BITS)) & (RADIX_BUCKETS - 1);
}

uint32 *fastradix(uint32 *keys, uint32 *temp0, uint32 *temp1, int32 count, int32 radix, int32 mode)
{
	uint32 histograms[MAXIMUM_RADIX_PASSES][RADIX_BUCKETS];
	const int32 passes = PIN(radix, 1, MAXIMUM_RADIX_PASSES);
	if (count < 0) count = 0;

	// One counting pass builds every histogram, then each becomes starting
	// positions by an exclusive running sum.
	std::memset(histograms, 0, sizeof(histograms[0]) * passes);
	for (int32 i = 0; i < count; ++i)
		for (int32 pass = 0; pass < passes; ++pass) histograms[pass][radix_digit(keys[i], pass)] += 1;
	for (int32 pass = 0; pass < passes; ++pass)
	{
		uint32 sum = 0;
		for (int32 bucket = 0; bucket < RADIX_BUCKETS; ++bucket)
		{
			const uint32 n = histograms[pass][bucket];
			histograms[pass][bucket] = sum;
			sum += n;
		}
	}

	if (mode == radix_mode_indices)
	{
		uint32 *positions = histograms[0];
		for (int32 i = 0; i < count; ++i) temp0[positions[radix_digit(keys[i], 0)]++] = static_cast<uint32>(i);
		if (passes == 1) return temp0;

		positions = histograms[1];
		for (int32 i = 0; i < count; ++i)
		{
			const uint32 index = temp0[i];
			temp1[positions[radix_digit(keys[index], 1)]++] = index;
		}
		if (passes == 2) return temp1;

		positions = histograms[2];
		for (int32 i = 0; i < count; ++i)
		{
			const uint32 index = temp1[i];
			temp0[positions[radix_digit(keys[index], 2)]++] = index;
		}
		return temp0;
	}

	// Key modes: keys -> temp0 -> temp1 -> (keys or temp0).
	uint32 *source = keys;
	uint32 *destination = temp0;
	for (int32 pass = 0; pass < passes; ++pass)
	{
		if (pass == 1) destination = temp1;
		if (pass == 2) destination = mode == radix_mode_keys_in_place ? keys : temp0;
		uint32 *positions = histograms[pass];
		for (int32 i = 0; i < count; ++i)
		{
			const uint32 key = source[i];
			destination[positions[radix_digit(key, pass)]++] = key;
		}
		source = destination;
	}
	if (destination != keys && count > 0) std::memcpy(keys, destination, sizeof(uint32) * static_cast<size_t>(count));
	return destination;
}

void **radix_sort_struct_pointers2(void **pointers, void *temp, int32 count, int32 offset, uint32 mask,
	boolean in_place)
{
	void **sorted = static_cast<void **>(temp);
	if (count < 1) return in_place ? pointers : sorted;

	// The pointer area comes first and is at least as large as the keys, which
	// are dead once the indices exist; the two index buffers follow it, so
	// writing 64-bit pointers never overwrites an unread index.
	uint32 *keys = static_cast<uint32 *>(temp);
	uint32 *temp0 = reinterpret_cast<uint32 *>(static_cast<uint8 *>(temp) + sizeof(void *) * static_cast<size_t>(count));
	uint32 *temp1 = temp0 + count;

	uint32 *indices;
	if (mask == 0)
	{
		// No key bits: every key is equal, so the order stays.
		for (int32 i = 0; i < count; ++i) temp0[i] = static_cast<uint32>(i);
		indices = temp0;
	}
	else
	{
		const int32 shift = std::countr_zero(mask);
		const uint32 range = mask >> shift;
		const int32 passes = range < 2048 ? 1 : (range < 0x400000 ? 2 : 3);
		for (int32 i = 0; i < count; ++i)
		{
			uint32 field;
			std::memcpy(&field, static_cast<const uint8 *>(pointers[i]) + offset, sizeof(field));
			keys[i] = passes == 3 ? (field & mask) : ((field & mask) >> shift);
		}
		indices = fastradix(keys, temp0, temp1, count, passes, radix_mode_indices);
	}

	for (int32 i = 0; i < count; ++i) sorted[i] = pointers[indices[i]];
	if (!in_place) return sorted;
	std::memcpy(pointers, sorted, sizeof(void *) * static_cast<size_t>(count));
	return pointers;
}
