// Game record arrays: creation and deletion churn at half full, and compaction,
// on an array the size of the units array (400) and on a large one (4,096).
#include <benchmark/benchmark.h>

#include <vector>

#include "CoreLibrary/cseries/memory.h"
#include "data.h"

namespace
{
struct bench_record
{
	int16 identifier;
	int16 flags;
	int32 fields[31]; // 128 bytes, about the size of a unit
};

struct bench_array
{
	datum_globals array;
	std::vector<int16> live;
	uint32 seed = 1;

	explicit bench_array(int16 capacity) : array{"bench", capacity, (int16)sizeof(bench_record), 0}
	{
		initialize_data(&array);
		initialize_data_for_new_map(&array);
	}
	~bench_array()
	{
		dispose_data_from_old_map(&array);
		free_and_clear(&array.data);
	}

	uint32 next()
	{
		seed = seed * 1664525u + 1013904223u;
		return seed >> 16;
	}

	// Half full, with the live records spread over the whole array.
	void fill_half()
	{
		live.clear();
		delete_all_data(&array);
		for (int32 i = 0; i < array.maximum_count; ++i) live.push_back(new_datum(&array));
		for (int32 i = 0; i < array.maximum_count / 2; ++i)
		{
			const size_t victim = next() % live.size();
			delete_datum(&array, live[victim]);
			live[victim] = live.back();
			live.pop_back();
		}
	}
};

void BM_datum_churn_at_half_full(benchmark::State &state)
{
	bench_array bench((int16)state.range(0));
	bench.fill_half();
	for (auto _ : state)
	{
		const size_t victim = bench.next() % bench.live.size();
		delete_datum(&bench.array, bench.live[victim]);
		bench.live[victim] = new_datum(&bench.array);
		benchmark::DoNotOptimize(bench.live[victim]);
	}
	state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_datum_churn_at_half_full)->Arg(400)->Arg(4096);

void BM_compress_data_half_full(benchmark::State &state)
{
	bench_array bench((int16)state.range(0));
	for (auto _ : state)
	{
		state.PauseTiming();
		bench.fill_half();
		state.ResumeTiming();
		compress_data(&bench.array);
		benchmark::ClobberMemory();
	}
	state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_compress_data_half_full)->Arg(400)->Arg(4096);
} // namespace
