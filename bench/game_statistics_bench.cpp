// One re-ranking and one flag count on the benchmark map 'bnch' in a capture
// the flag game: its two armies of 200, and 400 more bare units packed around
// both banners. Each is also given as a share of a game tick on the same map
// (percent_of_tick).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>

#include "bench_generator.h"
#include "flags.h"
#include "game_statistics.h"
#include "mesh.h"
#include "monsters.h"
#include "objects.h"
#include "support/zerv_harness.h"
#include "zerv.h"

namespace {

const int32 units_per_side = 200;

// A unit record with the fields rankings and flags read, at a point.
void make_unit(int16 team, const world_point2d &p)
{
	const int16 monster_index = new_datum(&monster_array);
	if (monster_index == NONE) return;
	monster_data *monster = get_monster_data(monster_index);
	const int16 identifier = monster->identifier;
	memset(monster, 0, sizeof(*monster));
	monster->identifier = identifier;
	monster->type = NONE;
	monster->unit_type = NONE;
	monster->owner_team_index = static_cast<int8>(team);
	monster->owner_player_index = NONE;
	new_object_data request = {};
	request.type = NONE;
	request.owner = _object_is_monster;
	request.owner_index = monster_index;
	request.location.position = {p.x, p.y, get_mesh_height(&p, _true_height)};
	request.collection_index = NONE;
	monster->object_index = new_object(&request);
	if (object_data *object = get_object_data(monster->object_index)) object->flags &= ~_object_is_invisible_flag;
}

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
	bench_generator generator = {0x5CA7u};
	for (int32 i = 0; i < 2 * units_per_side; ++i)
	{
		const world_distance x = 96 * WORLD_ONE + generator.below(64 * WORLD_ONE);
		const world_distance y = 118 * WORLD_ONE + generator.below(20 * WORLD_ONE);
		make_unit(static_cast<int16>(i % 2), {x, y});
	}

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
