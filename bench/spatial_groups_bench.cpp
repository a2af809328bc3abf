// Spatial groups, the attack AI and the unit-query procs on the 'bnch' crowd
// (400 units, each its own group at the opening). These run once per 32 ticks.
#include <benchmark/benchmark.h>

#include <vector>

#include "attack_ai.h"
#include "bench_battle.h"
#include "map_actions/map_actions.h"
#include "map_actions/unit_query_action_procs.h"
#include "mesh.h"
#include "monsters.h"
#include "spatial_groups.h"
#include "world.h"

namespace {

void BM_build_spatial_groups_bnch_opening(benchmark::State &state)
{
	if (!start_benchmark_battle(state)) return;
	for (auto _ : state) build_spatial_groups();
	int64 groups = 0, supergroups = 0;
	for (spatial_group *g = first_spatial_group(); g; g = next_spatial_group(g)) ++groups;
	for (spatial_supergroup *s = first_spatial_supergroup(); s; s = next_spatial_supergroup(s)) ++supergroups;
	state.counters["groups"] = static_cast<double>(groups);
	state.counters["supergroups"] = static_cast<double>(supergroups);
	end_benchmark_battle();
}
BENCHMARK(BM_build_spatial_groups_bnch_opening)->Name("BM_build_spatial_groups/bnch_opening")->Unit(benchmark::kMicrosecond);

void BM_update_attack_ai_bnch_opening(benchmark::State &state)
{
	if (!start_benchmark_battle(state)) return;
	build_spatial_groups();
	int64 scores = 0;
	for (auto _ : state)
	{
		reset_attack_ai();
		attack_with_all_monster_indexes(0);
		update_attack_ai();
		scores += 200 * 200;
	}
	state.counters["ns_per_score"] =
		benchmark::Counter(static_cast<double>(scores), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
	end_benchmark_battle();
}
BENCHMARK(BM_update_attack_ai_bnch_opening)->Name("BM_update_attack_ai/bnch_opening")->Unit(benchmark::kMicrosecond);

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

std::vector<int16> all_identifiers(int16 team)
{
	std::vector<int16> identifiers;
	for (int16 i = 0; i < monster_array.count; ++i)
	{
		const monster_data *monster = get_monster_data(i);
		if (monster && (team == NONE || monster->owner_team_index == team)) identifiers.push_back(monster->identifier);
	}
	return identifiers;
}

// The closed polygon over the field's lower half.
void half_field_polygon(int16 action)
{
	const world_distance w = mesh_globals->mesh_width * WORLD_ONE, h = mesh_globals->mesh_height * WORLD_ONE;
	const world_point2d points[4] = {{0, 0}, {0, h / 2}, {w, h / 2}, {w, 0}};
	add(action, "poly", _parameter_world_point2d, 4, points);
	add(action, "clpo", _parameter_flag, 0, nullptr);
}

void BM_geometry_filter_subj_poly(benchmark::State &state)
{
	if (!start_benchmark_battle(state)) return;
	const int16 target = new_action("none");
	const int16 filter = new_action("geom");
	const std::vector<int16> subjects = all_identifiers(NONE);
	add(filter, "subj", _parameter_monster_identifier, static_cast<int32>(subjects.size()), subjects.data());
	const fixed one = FIXED_ONE;
	add(filter, "hef<", _parameter_fixed, 1, &one);
	half_field_polygon(filter);
	const int16 target_identifier = get_map_action_identifier(target);
	add(filter, "resu", _parameter_action_identifier, 1, &target_identifier);
	const field_tag inside = TAG("ins_"), outside = TAG("out_");
	add(filter, "insi", _parameter_field_name, 1, &inside);
	add(filter, "outs", _parameter_field_name, 1, &outside);
	for (auto _ : state) benchmark::DoNotOptimize(geometry_filter_action_proc(filter));
	state.counters["ns_per_unit_tested"] = benchmark::Counter(static_cast<double>(state.iterations()) * subjects.size(),
		benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
	end_benchmark_battle();
}
BENCHMARK(BM_geometry_filter_subj_poly)->Name("BM_geometry_filter/subj_poly/400")->Unit(benchmark::kMicrosecond);

void BM_geometry_filter_team_rand(benchmark::State &state)
{
	if (!start_benchmark_battle(state)) return;
	const int16 filter = new_action("geom");
	const int32 team = 0, maximum = 20;
	add(filter, "team", _parameter_integer, 1, &team);
	add(filter, "_max", _parameter_integer, 1, &maximum);
	add(filter, "rand", _parameter_flag, 0, nullptr);
	const field_tag inside = TAG("ins_");
	add(filter, "insi", _parameter_field_name, 1, &inside);
	for (auto _ : state) benchmark::DoNotOptimize(geometry_filter_action_proc(filter));
	end_benchmark_battle();
}
BENCHMARK(BM_geometry_filter_team_rand)->Name("BM_geometry_filter/team_rand/200")->Unit(benchmark::kMicrosecond);

void BM_test_units(benchmark::State &state)
{
	if (!start_benchmark_battle(state)) return;
	const int16 test = new_action("tuni");
	const std::vector<int16> subjects = all_identifiers(NONE);
	add(test, "subj", _parameter_monster_identifier, static_cast<int32>(subjects.size()), subjects.data());
	half_field_polygon(test);
	const fixed half = FIXED_ONE / 2, ratio = FIXED_ONE / 2;
	add(test, ">vit", _parameter_fixed, 1, &half);
	add(test, "por>", _parameter_fixed, 1, &ratio);
	if (state.range(0))
	{
		const int32 radii[2] = {1024, 4096};
		add(test, "clos", _parameter_world_distance, 2, radii);
	}
	for (auto _ : state) benchmark::DoNotOptimize(test_units_action_proc(test));
	end_benchmark_battle();
}
BENCHMARK(BM_test_units)->Name("BM_test_units/400")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace
