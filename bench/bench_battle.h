// The 400-unit benchmark map, started through the harness for a benchmark
// and ended after it.
#ifndef BENCH_BATTLE_H
#define BENCH_BATTLE_H

#include <benchmark/benchmark.h>

#include "monsters.h"
#include "support/zerv_harness.h"
#include "zerv.h"

// Starts 'bnch' with both armies; on failure marks the benchmark skipped.
inline bool start_benchmark_battle(benchmark::State &state)
{
	new_game_data setup;
	harness_battle_setup(&setup, TAG("bnch"));
	if (!harness_initialize() || !harness_start_map(&setup) || monster_array.total_count != MAXIMUM_MONSTERS_PER_MAP)
	{
		state.SkipWithError("the benchmark map did not start with its armies");
		harness_shutdown();
		return false;
	}
	return true;
}

inline void end_benchmark_battle(void)
{
	harness_end_map();
	harness_shutdown();
}

#endif
