// The order, control and world object procedures on the benchmark map: one
// call of each, its 400 units numbered 2000 up.
#include <benchmark/benchmark.h>

#include <vector>

#include "attack_ai.h"
#include "bench_battle.h"
#include "map_actions/map_actions.h"
#include "map_actions/unit_order_action_procs.h"
#include "map_actions/world_object_action_procs.h"
#include "monsters.h"
#include "objects.h"
#include "units_content.h"

namespace {

const int16 first_identifier = 2000;

std::vector<int16> team_identifiers[2];

bool start_numbered_battle(benchmark::State &state)
{
	if (!start_benchmark_battle(state)) return false;
	team_identifiers[0].clear();
	team_identifiers[1].clear();
	for (int16 i = 0; i < monster_array.count; ++i)
	{
		const monster_data *monster = get_monster_data(i);
		if (!monster || monster->owner_team_index < 0 || monster->owner_team_index > 1) continue;
		set_monster_identifier(i, static_cast<int16>(first_identifier + i));
		team_identifiers[monster->owner_team_index].push_back(static_cast<int16>(first_identifier + i));
	}
	return true;
}

int16 new_action(const char (&tag)[5])
{
	const int16 index = new_map_action(NONE);
	set_map_action_tag(index, TAG(tag));
	return index;
}

void add(int16 action, const char (&field)[5], int16 type, int32 count, const void *data)
{
	map_action_parameter parameter;
	new_map_action_parameter(&parameter, action, TAG(field), type);
	if (count > 0) set_map_action_parameter(&parameter, count, data);
}

void add_units(int16 action, const char (&field)[5], const std::vector<int16> &list)
{
	add(action, field, _parameter_monster_identifier, static_cast<int32>(list.size()), list.data());
}

// 'atta': team 0's 200 against team 1 by 'team'.
void BM_map_action_procs_attack_team(benchmark::State &state)
{
	if (!start_numbered_battle(state)) return;
	const int16 attack = new_action("atta");
	add_units(attack, "subj", team_identifiers[0]);
	const int32 team = 1;
	add(attack, "team", _parameter_integer, 1, &team);
	for (auto _ : state)
	{
		benchmark::DoNotOptimize(attack_command_action_proc(attack));
		reset_attack_ai();
	}
	end_benchmark_battle();
}
BENCHMARK(BM_map_action_procs_attack_team)->Name("BM_map_action_procs/atta_200_v_200_team")->Unit(benchmark::kMicrosecond);

// 'ctrl' over all 400: health fraction, experience and a floating text.
void BM_map_action_procs_control(benchmark::State &state)
{
	if (!start_numbered_battle(state)) return;
	const int16 control = new_action("ctrl");
	std::vector<int16> all = team_identifiers[0];
	all.insert(all.end(), team_identifiers[1].begin(), team_identifiers[1].end());
	add_units(control, "subj", all);
	const fixed health[2] = {FIXED_ONE * 3 / 4, FIXED_ONE};
	add(control, "hefr", _parameter_fixed, 2, health);
	const int32 one = 1;
	add(control, "exp+", _parameter_integer, 1, &one);
	const file_tag names = DEFAULT_UNIT_NAMES_STRING_LIST_TAG;
	add(control, "otxt", _parameter_field_name, 1, &names);
	for (auto _ : state) benchmark::DoNotOptimize(unit_control_action_proc(control));
	end_benchmark_battle();
}
BENCHMARK(BM_map_action_procs_control)->Name("BM_map_action_procs/ctrl_400_hefr_expp_otxt")->Unit(benchmark::kMicrosecond);

// An idle gate whose circle holds none of the 400.
void BM_map_action_procs_idle_gate(benchmark::State &state)
{
	if (!start_numbered_battle(state)) return;
	const int16 gate = new_action("gate");
	const int16 wave = new_action("none");
	add_units(wave, "subj", {team_identifiers[1].front()});
	const world_point2d centre = {2 * WORLD_ONE, 2 * WORLD_ONE};
	add(gate, "cent", _parameter_world_point2d, 1, &centre);
	const int32 radius = 1024;
	add(gate, "radi", _parameter_world_distance, 1, &radius);
	const fixed duration = FIXED_ONE;
	add(gate, "dura", _parameter_fixed, 1, &duration);
	const int16 wave_identifier = get_map_action_identifier(wave);
	add(gate, "wave", _parameter_action_identifier, 1, &wave_identifier);
	const int16 self = get_map_action_identifier(gate);
	const int16 other = new_action("gate");
	add(other, "cent", _parameter_world_point2d, 1, &centre);
	add(other, "radi", _parameter_world_distance, 1, &radius);
	add(other, "dura", _parameter_fixed, 1, &duration);
	add(other, "next", _parameter_action_identifier, 1, &self);
	const int16 other_identifier = get_map_action_identifier(other);
	add(gate, "next", _parameter_action_identifier, 1, &other_identifier);
	world_gate_action_proc(gate);
	for (auto _ : state) benchmark::DoNotOptimize(world_gate_action_proc(gate));
	end_benchmark_battle();
}
BENCHMARK(BM_map_action_procs_idle_gate)->Name("BM_map_action_procs/gate_idle_400_outside")->Unit(benchmark::kMicrosecond);

// 'moma' 'team': team 1's 200 markers set round team 0's largest group.
void BM_map_action_procs_move_markers(benchmark::State &state)
{
	if (!start_numbered_battle(state)) return;
	const int16 move = new_action("moma");
	add_units(move, "subj", team_identifiers[1]);
	const int32 team = 0;
	add(move, "team", _parameter_integer, 1, &team);
	for (auto _ : state) benchmark::DoNotOptimize(move_marker_action_proc(move));
	end_benchmark_battle();
}
BENCHMARK(BM_map_action_procs_move_markers)->Name("BM_map_action_procs/moma_team")->Unit(benchmark::kMicrosecond);

} // namespace
