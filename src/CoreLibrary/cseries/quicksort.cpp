#include "quicksort.h"

#include <cstring>

namespace
{
	struct heap
	{
		uint8 *base; // element 1 lies at base (1-based positions)
		size_t member_size;
		compare_members_proc compare;

		uint8 *element(int32 position) const
		{
			return base + static_cast<size_t>(position - 1) * member_size;
		}

		void exchange(int32 a, int32 b) const
		{
			uint8 *p = element(a);
			uint8 *q = element(b);
			uint8 chunk[64];
			for (size_t done = 0; done < member_size; done += sizeof(chunk))
			{
				const size_t size = MIN(sizeof(chunk), member_size - done);
				std::memcpy(chunk, p + done, size);
				std::memcpy(p + done, q + done, size);
				std::memcpy(q + done, chunk, size);
			}
		}

		void sift(int32 p, int32 r) const
		{
			for (;;)
			{
				int32 j = 2 * p;
				if (j > r) break;
				if (j < r && compare(element(j), element(j + 1)) < 0) j += 1;
				if (compare(element(p), element(j)) >= 0) break;
				exchange(p, j);
				p = j;
			}
		}
	};
}

void qsort_private(void *table_base, int32 num_members, size_t member_size, compare_members_proc compare_members)
{
	if (!table_base || num_members < 2 || member_size == 0) return;

	// The exact sequence of comparisons and exchanges is part of the result
	// for equal keys, so it must not change.
	const heap h = {static_cast<uint8 *>(table_base), member_size, compare_members};
	int32 l = num_members / 2 + 1;
	int32 r = num_members;
	for (;;)
	{
		if (l > 1)
		{
			l -= 1;
			h.sift(l, r);
		}
		else
		{
			h.exchange(1, r);
			r -= 1;
			if (r == 1) break;
			h.sift(1, r);
		}
	}
}
