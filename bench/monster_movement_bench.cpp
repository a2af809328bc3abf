// Units walking on the benchmark map (200 against 200), nobody choosing
// targets, so the ticks time movement and collision: spread, every unit
// ordered outwards from its team's centre; gap, every unit ordered into the
// walled pen east of the armies through its four-cell gap.
#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

#include "support/zerv_harness.h"

#include "mesh.h"
#include "monster_commands.h"
#include "monsters.h"
#include "objects.h"
#include "world.h"

namespace {

enum { spread_case, gap_case };

// The pen's centre cell and its gap's middle (see the benchmark map).
const world_point2d pen_center = {188 * WORLD_ONE + WORLD_ONE / 2, 128 * WORLD_ONE + WORLD_ONE / 2};
const world_point2d pen_gap = {176 * WORLD_ONE + WORLD_ONE / 2, 128 * WORLD_ONE};

int32 units_near_gap(const std::vector<int16> &units)
{
	const int64 reach = 16 * WORLD_ONE;
	int32 near = 0;
	for (int16 index : units)
	{
		const monster_data *monster = get_monster_data(index);
		const object_data *object = monster ? get_object_data(monster->object_index) : nullptr;
		if (!object) continue;
		const int64 dx = object->location.position.x - pen_gap.x, dy = object->location.position.y - pen_gap.y;
		if (dx * dx + dy * dy <= reach * reach) near += 1;
	}
	return near;
}

void run_units_moving(benchmark::State &state, int which)
{
	new_game_data setup;
	harness_battle_setup(&setup, TAG("bnch"));
	if (!harness_initialize() || !harness_start_map(&setup) || !mesh_is_loaded())
	{
		state.SkipWithError("harness set-up failed");
		harness_shutdown();
		return;
	}
	// The per-tick digest costs far more than a tick here.
	set_zerv_tick_hook(nullptr, nullptr);

	std::vector<int16> units;
	int64 sum_x[MAXIMUM_TEAMS_PER_MAP] = {}, sum_y[MAXIMUM_TEAMS_PER_MAP] = {}, count[MAXIMUM_TEAMS_PER_MAP] = {};
	for (int16 i = 0; i < monster_array.count; ++i)
	{
		monster_data *monster = get_monster_data(i);
		const object_data *object = monster ? get_object_data(monster->object_index) : nullptr;
		if (!object || monster->owner_team_index < 0 || monster->owner_team_index >= MAXIMUM_TEAMS_PER_MAP) continue;
		monster->extra_flags |= _monster_does_not_autotarget_extra_flag;
		units.push_back(i);
		sum_x[monster->owner_team_index] += object->location.position.x;
		sum_y[monster->owner_team_index] += object->location.position.y;
		count[monster->owner_team_index] += 1;
	}
	if (units.empty())
	{
		state.SkipWithError("the benchmark map has no units");
		harness_end_map();
		harness_shutdown();
		return;
	}

	harness_command_script script;
	const world_distance high_x = mesh_globals->mesh_width * WORLD_ONE - 1;
	const world_distance high_y = mesh_globals->mesh_height * WORLD_ONE - 1;
	for (size_t k = 0; k < units.size(); ++k)
	{
		int16 index = units[k];
		const monster_data *monster = get_monster_data(index);
		const object_data *object = get_object_data(monster->object_index);
		const int16 team = monster->owner_team_index;
		world_point2d destination = pen_center;
		if (which == spread_case)
		{
			const world_point2d center = {static_cast<world_distance>(sum_x[team] / count[team]),
				static_cast<world_distance>(sum_y[team] / count[team])};
			const angle a = arctangent(object->location.position.x - center.x, object->location.position.y - center.y);
			destination = {PIN(object->location.position.x + angle_cosine(a) * 12288 / 16384, 0, high_x),
				PIN(object->location.position.y + angle_sine(a) * 12288 / 16384, 0, high_y)};
		}
		const command_movement_data data = {0, 0, 0, 0};
		handle_movement_command(-1, &data, 1, &index, 1, &destination);
		harness_capture_commands(static_cast<int32>(2 + k / 100), monster->owner_player_index, &script);
	}
	harness_set_command_script(script);
	if (which == spread_case)
	{
		harness_run_ticks(30 - game->game_time);
	}
	else
	{
		// Warm up until the crowd reaches the gap.
		harness_run_ticks(6 - game->game_time);
		int32 warm = 0;
		while (warm < 3000 && units_near_gap(units) < 100) warm += harness_run_ticks(1);
		if (warm >= 3000)
		{
			state.SkipWithError("the crowd never reached the gap");
			harness_set_command_script({});
			harness_end_map();
			harness_shutdown();
			return;
		}
	}
	reset_monster_movement_counters();
	double seconds = 0;
	int32 ticks = 0;
	for (auto _ : state)
	{
		const auto start = std::chrono::steady_clock::now();
		ticks += harness_run_ticks(300);
		seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
	}
	// Enemies meeting at the gap bump into each other, and a bump picks a
	// target whatever the scan is told; there the count is reported instead.
	int32 targeted = 0;
	for (int16 index : units)
	{
		const monster_data *monster = get_monster_data(index);
		if (monster && (monster->flags & _monster_has_valid_target_index_flag)) targeted += 1;
	}
	if (targeted > 0 && which == spread_case) state.SkipWithError("a unit gained a target");
	if (which == gap_case) state.counters["units_with_targets"] = targeted;
	const monster_movement_counters *counters = get_monster_movement_counters();
	const double ns = seconds * 1e9;
	const double unit_ticks = static_cast<double>(units.size()) * MAX(ticks, 1);
	state.counters["ns_per_moving_unit_tick"] = counters->moves ? ns / static_cast<double>(counters->moves) : 0;
	state.counters["ns_per_unit_tick"] = ns / unit_ticks;
	state.counters["moving_units"] = static_cast<double>(counters->moves) / MAX(ticks, 1);
	state.counters["contacts_per_tick"] = static_cast<double>(counters->contacts) / MAX(ticks, 1);
	state.counters["path_requests_per_tick"] = static_cast<double>(counters->path_requests) / MAX(ticks, 1);
	state.counters["us_per_tick"] = seconds * 1e6 / MAX(ticks, 1);
	harness_set_command_script({});
	harness_end_map();
	harness_shutdown();
}
void BM_units_moving_spread(benchmark::State &state)
{
	run_units_moving(state, spread_case);
}

void BM_units_moving_gap(benchmark::State &state)
{
	run_units_moving(state, gap_case);
}

BENCHMARK(BM_units_moving_spread)->Name("BM_units_moving/spread")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_units_moving_gap)->Name("BM_units_moving/gap")->Iterations(1)->Unit(benchmark::kMillisecond);

}
