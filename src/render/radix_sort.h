// Radix sorts for the renderer's depth ordering.
#ifndef RADIX_SORT_H
#define RADIX_SORT_H

#include "cseries.h"

enum
{
	radix_mode_keys,
	radix_mode_keys_in_place,
	radix_mode_indices
};

#define RADIX_BITS 11
#define RADIX_BUCKETS (1 << RADIX_BITS)
#define MAXIMUM_RADIX_PASSES 3

// Least-significant-digit sort of count keys in radix passes (1 to 3) of 11
// bits. temp0 and temp1 hold count words each. Returns the buffer that the
// last pass wrote: the sorted keys, or with radix_mode_indices the indices of
// the keys in ascending key order (equal keys in input order).
uint32 *fastradix(uint32 *keys, uint32 *temp0, uint32 *temp1, int32 count, int32 radix, int32 mode);

// Bytes of the temp block of radix_sort_struct_pointers2: count pointers and
// 2 * count 32-bit words, aligned as a pointer.
#define RADIX_SORT_STRUCT_POINTERS_TEMP_SIZE(count) \
	(static_cast<size_t>(count) * (sizeof(void *) + 2 * sizeof(uint32)))

// Sorts pointers to records by (the 32-bit field at byte offset offset) AND
// mask; equal keys keep their order. mask must not be 0. Returns pointers
// when in_place (the sorted pointers copied back), else temp.
void **radix_sort_struct_pointers2(void **pointers, void *temp, int32 count, int32 offset, uint32 mask,
	boolean in_place);

#endif
