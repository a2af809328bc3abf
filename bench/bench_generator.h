// The benchmarks' fixed point generator: the same points on every run and
// build, and never the simulation's random stream.
#ifndef ZERV_BENCH_GENERATOR_H
#define ZERV_BENCH_GENERATOR_H

#include "cseries.h"

struct bench_generator
{
	uint32 seed;
	uint32 next(void)
	{
		seed = seed * 1664525u + 1013904223u;
		return seed >> 8;
	}
	int32 below(int32 n) { return static_cast<int32>(next() % static_cast<uint32>(n)); }
};

#endif
