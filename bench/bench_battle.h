// The 400-unit benchmark map, started through the harness for a benchmark
// and ended after it.
#ifndef BENCH_BATTLE_H
#define BENCH_BATTLE_H

#include <benchmark/benchmark.h>

#include "bench_map.h"
#include "monsters.h"
#include "zerv.h"

// Starts 'bnch' with both armies; on failure marks the benchmark skipped.
inline bool start_benchmark_battle(benchmark::State &state)
{
	return start_bench_map(state, TAG("bnch"), [] { return monster_array.total_count == MAXIMUM_MONSTERS_PER_MAP; });
}

inline void end_benchmark_battle(void)
{
	end_bench_map();
}

#endif
