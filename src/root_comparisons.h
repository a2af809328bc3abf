// Comparisons against a rounded square root without taking it, for loops
// that reject most of what they meet on the distance alone.
#ifndef ROOT_COMPARISONS_H
#define ROOT_COMPARISONS_H

#include "cseries.h"

// Whether isqrt(x) < limit: the rounded root of x is below limit exactly when
// x <= limit * (limit - 1) (the rule distance2d_below uses).
inline boolean isqrt_below(uint32 x, int64 limit)
{
	return limit > 0 && static_cast<int64>(x) <= limit * (limit - 1);
}

#endif
