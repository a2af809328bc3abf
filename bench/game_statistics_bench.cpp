// One re-ranking and one flag count on the benchmark map 'bnch' in a capture
// the flag game: its two armies of 200 with a banner before each. Each is also
// given as a share of a game tick on the same map (percent_of_tick).
#include <benchmark/benchmark.h>

#include <chrono>

#include "flags.h"
#include "game_statistics.h"
#include "mesh.h"
#include "monsters.h"
#include "objects.h"
#include "support/zerv_harness.h"
#include "zerv.h"

namespace {

double seconds_per_tick = 0;

bool start_battle(benchmark::State &state)
{
	if (!harness_initialize())
	{
		state.SkipWithError("harness set-up failed");
		return false;
	}
	new_game_data setup;
	harness_battle_setup(&setup, TAG("bnch"));
	setup.parameters.scoring = _game_scoring_capture_the_flag;
	if (!harness_start_map(&setup) || !mesh_is_loaded())
	{
		state.SkipWithError("the benchmark map did not start");
		harness_shutdown();
		return false;
	}
	set_zerv_tick_hook(nullptr, nullptr);
	// The reference: a game tick on the same map with the same units.
	game->target_time = game->game_time + 1000000;
	game->update_state = _game_update_running;
	const int32 start_time = game->game_time;
	const auto begin = std::chrono::steady_clock::now();
	harness_run_ticks(300, 4);
	const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
	seconds_per_tick = elapsed / MAX(1, game->game_time - start_time);
	return true;
}

void end_battle(void)
{
	harness_end_map();
	reset_game_statistics_test_hooks();
	harness_shutdown();
}

void share_of_tick(benchmark::State &state, double seconds)
{
	const double per_call = seconds / static_cast<double>(MAX(static_cast<int64>(1), static_cast<int64>(state.iterations())));
	state.counters["percent_of_tick"] = seconds_per_tick > 0 ? 100.0 * per_call / seconds_per_tick : 0.0;
	state.counters["tick_us"] = seconds_per_tick * 1e6;
}

void BM_update_player_rankings(benchmark::State &state)
{
	if (!start_battle(state)) return;
	const auto begin = std::chrono::steady_clock::now();
	for (auto _ : state)
	{
		force_player_statistics_update();
		benchmark::DoNotOptimize(get_team_rankings()[0].score);
	}
	share_of_tick(state, std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
	if (game_flags_test(_game_is_over_flag)) state.SkipWithError("the game ended during the benchmark");
	end_battle();
}
BENCHMARK(BM_update_player_rankings)->Name("BM_update_player_rankings/bnch")->Unit(benchmark::kMicrosecond);

void BM_count_team_flags(benchmark::State &state)
{
	if (!start_battle(state)) return;
	int16 counts[MAXIMUM_TEAMS_PER_MAP];
	int64 flags = 0;
	for (int16 i = 0; i < flag_array.count; ++i) flags += get_flag_data(i) != nullptr;
	const auto begin = std::chrono::steady_clock::now();
	for (auto _ : state)
	{
		benchmark::DoNotOptimize(count_team_flags(counts, 14, RERANKING_PERIOD));
	}
	share_of_tick(state, std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
	state.counters["flags"] = static_cast<double>(flags);
	end_battle();
}
BENCHMARK(BM_count_team_flags)->Name("BM_count_team_flags/bnch")->Unit(benchmark::kMicrosecond);

} // namespace
