// Spatial groups, the attack AI and the unit-query procs on the 'bnch' crowd
// (400 units, each its own group at the opening). These run once per 32 ticks.
#include <benchmark/benchmark.h>

#include <utility>
#include <vector>

#include "attack_ai.h"
#include "bench_battle.h"
#include "bench_map_actions.h"
#include "map_actions/map_actions.h"
#include "map_actions/unit_query_action_procs.h"
#include "mesh.h"
#include "monsters.h"
#include "objects.h"
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

// Per team, 8 blocks of 5 x 5 units one cell apart in two rows of four, the
// two kinds alternating with no gap, rows 2 cells apart, teams 20 apart: the
// 'bnch' armies moved there block by block. It gives 16 groups of 25 and 8
// supergroups; the counters say how many units the largest one joined.
bool arrange_16_blocks_of_25(void)
{
	constexpr int32 PITCH = 1, SIDE = 5, PER_ROW = 4, ROWS = 2, ROW_GAP = 2, TEAM_GAP = 20, ORIGIN = 8;
	for (int16 team = 0; team < 2; ++team)
	{
		// The team's two most common kinds, units in index order.
		std::vector<std::vector<int16>> by_kind;
		std::vector<int16> kinds;
		for (int16 i = 0; i < monster_array.count; ++i)
		{
			const monster_data *monster = get_monster_data(i);
			if (!monster || monster->owner_team_index != team) continue;
			size_t k = 0;
			while (k < kinds.size() && kinds[k] != monster->type) ++k;
			if (k == kinds.size())
			{
				kinds.push_back(monster->type);
				by_kind.emplace_back();
			}
			by_kind[k].push_back(i);
		}
		// 'bnch' has 100 swordsmen and 60 archers a side: its throwers and
		// scouts are relabelled archers to fill the fourth archer block.
		// Largest first: swordsmen, then archers (a stable order, so ties keep theirs).
		for (size_t i = 1; i < by_kind.size(); ++i)
		{
			for (size_t j = i; j > 0 && by_kind[j].size() > by_kind[j - 1].size(); --j)
			{
				std::swap(by_kind[j], by_kind[j - 1]);
				std::swap(kinds[j], kinds[j - 1]);
			}
		}
		if (by_kind.size() < 2 || by_kind[0].size() < 100) return false;
		for (size_t k = 2; k < by_kind.size() && by_kind[1].size() < 100; ++k)
		{
			while (!by_kind[k].empty() && by_kind[1].size() < 100)
			{
				get_monster_data(by_kind[k].front())->type = kinds[1];
				by_kind[1].push_back(by_kind[k].front());
				by_kind[k].erase(by_kind[k].begin());
			}
		}
		if (by_kind[1].size() < 100) return false;
		size_t used[2] = {0, 0};
		const int32 team_y = ORIGIN + team * (PITCH * ROWS * SIDE + ROW_GAP + TEAM_GAP);
		for (int32 block = 0; block < ROWS * PER_ROW; ++block)
		{
			const int32 row = block / PER_ROW, column = block % PER_ROW, kind = column % 2;
			for (int32 u = 0; u < SIDE * SIDE; ++u)
			{
				const monster_data *monster = get_monster_data(by_kind[kind][used[kind]++]);
				object_data *object = get_object_data(monster->object_index);
				if (!object) return false;
				disconnect_object_from_mesh(monster->object_index);
				const int32 cx = ORIGIN + PITCH * (column * SIDE + u % SIDE), cy = team_y + PITCH * (row * SIDE + u / SIDE) + row * ROW_GAP;
				object->location.position.x = cx * WORLD_ONE + WORLD_ONE / 2;
				object->location.position.y = cy * WORLD_ONE + WORLD_ONE / 2;
				reconnect_object_to_mesh(monster->object_index);
			}
		}
		// The rest wait far off in their own corner, out of every block's reach.
		for (int32 kind = 0; kind < static_cast<int32>(by_kind.size()); ++kind)
		{
			for (size_t i = kind < 2 ? used[kind] : 0; i < by_kind[kind].size(); ++i)
			{
				const monster_data *monster = get_monster_data(by_kind[kind][i]);
				object_data *object = get_object_data(monster->object_index);
				if (!object) return false;
				disconnect_object_from_mesh(monster->object_index);
				object->location.position.x = (mesh_globals->mesh_width - 2) * WORLD_ONE;
				object->location.position.y = (mesh_globals->mesh_height - 2 - 8 * team) * WORLD_ONE;
				reconnect_object_to_mesh(monster->object_index);
			}
		}
	}
	return true;
}

void BM_build_spatial_groups_16x25(benchmark::State &state)
{
	if (!start_benchmark_battle(state)) return;
	if (!arrange_16_blocks_of_25())
	{
		state.SkipWithError("the armies do not hold 100 units of two kinds a side");
		end_benchmark_battle();
		return;
	}
	for (auto _ : state) build_spatial_groups();
	int64 groups = 0, groups_of_25 = 0, supergroups = 0, supergroups_of_50 = 0, largest_supergroup = 0;
	for (spatial_group *g = first_spatial_group(); g; g = next_spatial_group(g))
	{
		++groups;
		groups_of_25 += g->monster_count == 25;
	}
	for (spatial_supergroup *s = first_spatial_supergroup(); s; s = next_spatial_supergroup(s))
	{
		++supergroups;
		supergroups_of_50 += s->monster_count == 50;
		largest_supergroup = MAX(largest_supergroup, static_cast<int64>(s->monster_count));
	}
	state.counters["largest_supergroup"] = static_cast<double>(largest_supergroup);
	state.counters["groups"] = static_cast<double>(groups);
	state.counters["groups_of_25"] = static_cast<double>(groups_of_25);
	state.counters["supergroups"] = static_cast<double>(supergroups);
	state.counters["supergroups_of_50"] = static_cast<double>(supergroups_of_50);
	end_benchmark_battle();
}
BENCHMARK(BM_build_spatial_groups_16x25)->Name("BM_build_spatial_groups/16x25")->Unit(benchmark::kMicrosecond);

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

using bench_map_actions::add;
using bench_map_actions::new_action;

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
