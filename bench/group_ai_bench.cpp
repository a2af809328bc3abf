// The group AI procs on the benchmark map with its scripted computer team,
// from the battle run to tick 96 (the roots have run twice).
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "attack_ai.h"
#include "bench_battle.h"
#include "bench_map_actions.h"
#include "map_actions/group_ai_action_procs.h"
#include "map_actions/map_actions.h"
#include "monsters.h"
#include "spatial_groups.h"
#include "support/bnch_ai_script.h"

namespace {

bool start_computer_team_battle(benchmark::State &state)
{
	if (!start_benchmark_battle(state)) return false;
	if (!start_bnch_computer_team())
	{
		state.SkipWithError("the computer team's script did not build");
		end_benchmark_battle();
		return false;
	}
	harness_run_ticks(96);
	build_spatial_groups();
	return true;
}

int16 find_action(const char *name)
{
	for (int16 i = 0; i < MAXIMUM_MAP_ACTIONS_PER_MAP; ++i)
	{
		if (get_map_action(i) && strcmp(get_map_action_name(i), name) == 0) return i;
	}
	return NONE;
}

using bench_map_actions::add;
using bench_map_actions::new_action;

void subjects(int16 action, const char (&field)[5], int32 first_row, int32 rows, int32 count)
{
	std::vector<int16> list;
	for (int32 r = first_row; r < first_row + rows; ++r)
	{
		for (int32 c = 0; c < 20; ++c) list.push_back(BNCH_AI_IDENTIFIER(r, c));
	}
	if (count < static_cast<int32>(list.size())) list.resize(static_cast<size_t>(count));
	add(action, field, _parameter_monster_identifier, static_cast<int32>(list.size()), list.data());
}

void BM_group_ai_roots_bnch(benchmark::State &state)
{
	if (!start_computer_team_battle(state)) return;
	const int16 roots[3] = {find_action("host"), find_action("archers"), find_action("spotted")};
	for (auto _ : state)
	{
		reset_attack_ai();
		for (int16 root : roots) trigger_map_action(root);
	}
	end_benchmark_battle();
}
BENCHMARK(BM_group_ai_roots_bnch)->Name("BM_group_ai_roots/bnch")->Unit(benchmark::kMicrosecond);

void BM_platoon_movement(benchmark::State &state)
{
	if (!start_computer_team_battle(state)) return;
	const int16 platoon = new_action("plat");
	const int16 march = new_action("plmo");
	const int16 squads[2] = {new_action("squa"), new_action("squa")};
	const int16 squad_identifiers[2] = {get_map_action_identifier(squads[0]), get_map_action_identifier(squads[1])};
	for (int16 k = 0; k < 2; ++k)
	{
		subjects(squads[k], "subj", 5 * k, 5, static_cast<int32>(state.range(0)) / 2);
		const world_point2d place = {118 * WORLD_ONE, (136 + 10 * k) * WORLD_ONE};
		add(squads[k], "cent", _parameter_world_point2d, 1, &place);
		const int32 formation = 0;
		add(squads[k], "form", _parameter_integer, 1, &formation);
	}
	add(platoon, "init", _parameter_action_identifier, 2, squad_identifiers);
	const world_point2d center = {118 * WORLD_ONE, 140 * WORLD_ONE};
	add(platoon, "cent", _parameter_world_point2d, 1, &center);
	const int16 facing = static_cast<int16>(0xC000);
	add(platoon, "faci", _parameter_angle, 1, &facing);
	const world_point2d route[2] = {{118 * WORLD_ONE, 140 * WORLD_ONE}, {118 * WORLD_ONE, 60 * WORLD_ONE}};
	add(march, "wayp", _parameter_world_point2d, 2, route);
	const world_distance radii[2] = {3072, 8192};
	add(march, "radi", _parameter_world_distance, 2, radii);
	set_platoon_state(platoon, march);
	trigger_map_action(platoon); // orders the first point; the squads are on their way
	for (auto _ : state)
	{
		reset_attack_ai();
		trigger_map_action(march);
	}
	end_benchmark_battle();
}
BENCHMARK(BM_platoon_movement)->Arg(200)->Unit(benchmark::kMicrosecond);

void BM_surround(benchmark::State &state)
{
	if (!start_computer_team_battle(state)) return;
	const int16 surround = new_action("surr");
	subjects(surround, "subj", 0, 10, static_cast<int32>(state.range(0)));
	for (auto _ : state) trigger_map_action(surround);
	end_benchmark_battle();
}
BENCHMARK(BM_surround)->Arg(20)->Arg(126)->Unit(benchmark::kMicrosecond);

void BM_follow(benchmark::State &state)
{
	if (!start_computer_team_battle(state)) return;
	const int16 follow = new_action("foll");
	subjects(follow, "subj", 3, 1, static_cast<int32>(state.range(0)));
	const int16 followed = BNCH_AI_IDENTIFIER(4, 10);
	add(follow, "obje", _parameter_monster_identifier, 1, &followed);
	for (auto _ : state) trigger_map_action(follow);
	end_benchmark_battle();
}
BENCHMARK(BM_follow)->Arg(16)->Unit(benchmark::kMicrosecond);

} // namespace
