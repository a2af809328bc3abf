// The unit procs on the 'bnch' battle with its computer team, 96 ticks in:
// the map's own roots, and each proc over a band of team 1's units, one run
// per iteration.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "map_actions/map_actions.h"
#include "map_actions/unit_ai_action_procs.h"
#include "monster_definitions.h"
#include "monsters.h"
#include "spatial_groups.h"
#include "support/bnch_ai_script.h"
#include "support/zerv_harness.h"
#include "units_content.h"
#include "world_units.h"
#include "zerv.h"

namespace {

// The 'bnch' battle with its computer team at tick 96; false when it could not start.
bool start_battle(void)
{
	new_game_data setup;
	harness_battle_setup(&setup, TAG("bnch"));
	if (!harness_initialize() || !harness_start_map(&setup) || !start_bnch_computer_team()) return false;
	set_zerv_tick_hook(nullptr, nullptr);
	harness_run_ticks(96);
	return true;
}

void end_battle(void)
{
	harness_end_map();
	harness_shutdown();
}

int16 find_action(const char *name)
{
	for (int16 i = 0; i < MAXIMUM_MAP_ACTIONS_PER_MAP; ++i)
	{
		if (get_map_action(i) && strcmp(get_map_action_name(i), name) == 0) return i;
	}
	return NONE;
}

// Team 1's living units of the kind (any kind with NONE), at most n, skipping those listed.
std::vector<int16> team1_identifiers(file_tag kind, size_t n, const std::vector<int16> &skip = {})
{
	std::vector<int16> list;
	for (int16 i = 0; i < monster_array.count && list.size() < n; ++i)
	{
		const monster_data *monster = get_monster_data(i);
		if (!monster || monster->owner_team_index != 1 || monster->identifier == 0) continue;
		if (kind != static_cast<file_tag>(NONE) && get_unit_definition(monster->unit_type)->parent_unit_tag != kind) continue;
		bool skipped = false;
		for (int16 s : skip) skipped = skipped || s == monster->identifier;
		if (!skipped) list.push_back(monster->identifier);
	}
	return list;
}

int16 new_action(const char (&tag)[5], const std::vector<int16> &subjects)
{
	const int16 index = new_map_action(NONE);
	if (index == NONE) return NONE;
	set_map_action_tag(index, TAG(tag));
	map_action_parameter parameter;
	if (!new_map_action_parameter(&parameter, index, TAG("subj"), _parameter_monster_identifier) ||
		!set_map_action_parameter(&parameter, static_cast<int32>(subjects.size()), subjects.data()))
	{
		return NONE;
	}
	return index;
}

void add_points(int16 index, const char (&field)[5], const std::vector<world_point2d> &points)
{
	map_action_parameter parameter;
	if (new_map_action_parameter(&parameter, index, TAG(field), _parameter_world_point2d))
		set_map_action_parameter(&parameter, static_cast<int32>(points.size()), points.data());
}

void add_integer(int16 index, const char (&field)[5], int32 value)
{
	map_action_parameter parameter;
	if (new_map_action_parameter(&parameter, index, TAG(field), _parameter_integer))
		set_map_action_parameter(&parameter, 1, &value);
}

world_point2d cell(int32 x, int32 y) { return {x * WORLD_ONE, y * WORLD_ONE}; }

// Runs proc on the action once per iteration, the spatial groups rebuilt
// before each run as the tick does.
void run(benchmark::State &state, uint32 (*proc)(int16), int16 action, int16 other = NONE,
	uint32 (*other_proc)(int16) = nullptr)
{
	if (action == NONE)
	{
		state.SkipWithError("the action could not be made");
		return;
	}
	for (auto _ : state)
	{
		state.PauseTiming();
		build_spatial_groups();
		state.ResumeTiming();
		benchmark::DoNotOptimize(proc(action));
		if (other_proc) benchmark::DoNotOptimize(other_proc(other));
	}
}

void BM_unit_ai_roots(benchmark::State &state)
{
	if (!start_battle()) return state.SkipWithError("no battle");
	run(state, legion_action_proc, find_action("dark legion"), find_action("bombers"), harass_action_proc);
	end_battle();
}
BENCHMARK(BM_unit_ai_roots)->Name("BM_unit_ai_roots/bnch")->Unit(benchmark::kMicrosecond);

void BM_harass(benchmark::State &state)
{
	if (!start_battle()) return state.SkipWithError("no battle");
	std::vector<int16> band;
	for (int32 c = 0; c < 20; ++c) band.push_back(BNCH_AI_IDENTIFIER(8, c));
	const std::vector<int16> archers = team1_identifiers(DEFAULT_ARCHER_TAG, 44, band);
	band.insert(band.end(), archers.begin(), archers.end());
	run(state, harass_action_proc, new_action("girl", band));
	end_battle();
}
BENCHMARK(BM_harass)->Arg(64)->Unit(benchmark::kMicrosecond);

void BM_legion(benchmark::State &state)
{
	if (!start_battle()) return state.SkipWithError("no battle");
	int16 containers[3];
	for (int32 r = 0; r < 3; ++r)
	{
		std::vector<int16> row;
		for (int32 c = 0; c < 20; ++c) row.push_back(BNCH_AI_IDENTIFIER(5 + r, c));
		containers[r] = new_action("none", row);
	}
	const int16 legion = new_map_action(NONE);
	set_map_action_tag(legion, TAG("legi"));
	add_points(legion, "line", {cell(112, 148), cell(112, 120)});
	add_integer(legion, "coun", 3);
	add_points(legion, "cent", {cell(112, 141)});
	add_points(legion, "grce", {cell(112, 138), cell(112, 141), cell(112, 144)});
	int16 identifiers[3];
	for (int32 r = 0; r < 3; ++r) identifiers[r] = get_map_action_identifier(containers[r]);
	map_action_parameter parameter;
	if (new_map_action_parameter(&parameter, legion, TAG("grun"), _parameter_action_identifier))
		set_map_action_parameter(&parameter, 3, identifiers);
	run(state, legion_action_proc, legion);
	end_battle();
}
BENCHMARK(BM_legion)->Arg(60)->Unit(benchmark::kMicrosecond);

void BM_suicide(benchmark::State &state)
{
	if (!start_battle()) return state.SkipWithError("no battle");
	run(state, suicide_action_proc, new_action("suic", team1_identifiers(static_cast<file_tag>(NONE), 64)));
	end_battle();
}
BENCHMARK(BM_suicide)->Arg(64)->Unit(benchmark::kMicrosecond);

void BM_meander(benchmark::State &state)
{
	if (!start_battle()) return state.SkipWithError("no battle");
	const int16 a = new_action("mean", team1_identifiers(static_cast<file_tag>(NONE), 64));
	add_points(a, "wayp", {cell(110, 140), cell(126, 140)});
	add_integer(a, "tscw", 3);
	map_action_parameter parameter;
	new_map_action_parameter(&parameter, a, TAG("thre"), _parameter_flag);
	run(state, meander_action_proc, a);
	end_battle();
}
BENCHMARK(BM_meander)->Arg(64)->Unit(benchmark::kMicrosecond);

void BM_invisible(benchmark::State &state)
{
	if (!start_battle()) return state.SkipWithError("no battle");
	// 32 searchers and, hunted, team 1's next unit made invisible.
	std::vector<int16> searchers = team1_identifiers(static_cast<file_tag>(NONE), 33);
	const int16 hunted_identifier = searchers.back();
	searchers.pop_back();
	for (int16 i = 0; i < monster_array.count; ++i)
	{
		monster_data *monster = get_monster_data(i);
		if (monster && monster->identifier == hunted_identifier) monster->extra_flags |= _monster_is_invisible_extra_flag;
	}
	const int16 a = new_action("invi", searchers);
	map_action_parameter parameter;
	if (new_map_action_parameter(&parameter, a, TAG("invi"), _parameter_monster_identifier))
		set_map_action_parameter(&parameter, 1, &hunted_identifier);
	add_points(a, "wayp", {cell(110, 130), cell(126, 130)});
	run(state, invisible_action_proc, a);
	end_battle();
}
BENCHMARK(BM_invisible)->Arg(32)->Unit(benchmark::kMicrosecond);

void BM_melee(benchmark::State &state)
{
	if (!start_battle()) return state.SkipWithError("no battle");
	const int16 a = new_action("mele", team1_identifiers(static_cast<file_tag>(NONE), 400));
	add_integer(a, "form", 0);
	run(state, melee_action_proc, a);
	end_battle();
}
BENCHMARK(BM_melee)->Arg(400)->Unit(benchmark::kMicrosecond);

} // namespace
