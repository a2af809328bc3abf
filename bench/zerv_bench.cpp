// The game core's tick loop through the headless harness. Only the frames are
// timed; slot costs grow as modules land, so compare ratios.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "support/zerv_harness.h"
#include "zerv.h"

namespace {

// One harness for the whole run: there is one game core per process.
bool ensure_harness(void)
{
	static bool ready = [] {
		const bool initialized = harness_initialize();
		atexit(harness_shutdown);
		return initialized;
	}();
	return ready;
}

void BM_update_zerv(benchmark::State &state)
{
	const int16 elapsed = static_cast<int16>(state.range(0));
	if (!ensure_harness())
	{
		state.SkipWithError("harness set-up failed");
		return;
	}
	new_game_data setup;
	harness_default_setup(&setup);
	int64 ticks = 0;

	for (auto _ : state)
	{
		state.PauseTiming();
		if (!harness_start_map(&setup))
		{
			state.ResumeTiming();
			state.SkipWithError("map start failed");
			break;
		}
		set_zerv_tick_hook(nullptr, nullptr); // the digest trail is not timed
		if (elapsed > maximum_ticks_per_frame_table[_game_type_local]) set_maximum_ticks_per_frame(elapsed);
		state.ResumeTiming();

		while (game->game_time < 18000)
		{
			harness_run_frames(1, elapsed);
		}

		state.PauseTiming();
		ticks += game->game_time;
		harness_end_map();
		state.ResumeTiming();
	}
	state.counters["ticks_per_second"] = benchmark::Counter(static_cast<double>(ticks), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_update_zerv)->Arg(1)->Arg(4)->Arg(1800)->Unit(benchmark::kMillisecond);

void BM_zerv_state_digest(benchmark::State &state)
{
	if (!ensure_harness())
	{
		state.SkipWithError("harness set-up failed");
		return;
	}
	new_game_data setup;
	harness_default_setup(&setup);
	if (!harness_start_map(&setup))
	{
		state.SkipWithError("map start failed");
		return;
	}
	for (auto _ : state)
	{
		benchmark::DoNotOptimize(zerv_state_digest());
	}
	harness_end_map();
}
BENCHMARK(BM_zerv_state_digest);

void BM_map_start_dispose(benchmark::State &state)
{
	if (!ensure_harness())
	{
		state.SkipWithError("harness set-up failed");
		return;
	}
	new_game_data setup;
	harness_default_setup(&setup);
	for (auto _ : state)
	{
		if (!harness_start_map(&setup))
		{
			state.SkipWithError("map start failed");
			break;
		}
		harness_end_map();
	}
}
BENCHMARK(BM_map_start_dispose);

}
