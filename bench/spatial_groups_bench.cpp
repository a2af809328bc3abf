// Spatial groups, the attack AI and the unit-query procs on the 'bnch' crowd
// (400 units, each its own group at the opening). These run once per 32 ticks.
#include <benchmark/benchmark.h>

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
	for (auto _ : state) build_spatial_groups_from_live_units(); // a pass whose groups are read
	int64 groups = 0, supergroups = 0;
	for (spatial_group *g = first_spatial_group(); g; g = next_spatial_group(g)) ++groups;
	for (spatial_supergroup *s = first_spatial_supergroup(); s; s = next_spatial_supergroup(s)) ++supergroups;
	state.counters["groups"] = static_cast<double>(groups);
	state.counters["supergroups"] = static_cast<double>(supergroups);
	end_benchmark_battle();
}
BENCHMARK(BM_build_spatial_groups_bnch_opening)->Name("BM_build_spatial_groups/bnch_opening")->Unit(benchmark::kMicrosecond);

// Per team, 8 blocks of 5 x 5 units one cell apart in two rows of four, the
// two kinds alternating with no gap, rows 2 cells apart, teams 20 apart,
// created block by block: the team's 'bnch' units fill the blocks in index
// order, each taking its block's kind (the team's two most common ones), so
// the groups are found in block order. A supergroup gathers the groups of the
// other kind beside its seed group, so each row of four gives two of 50.
bool arrange_16_blocks_of_25(void)
{
	constexpr int32 PITCH = 1, SIDE = 5, PER_ROW = 4, ROWS = 2, ROW_GAP = 2, TEAM_GAP = 20, ORIGIN = 8;
	constexpr int32 BLOCK_UNITS = SIDE * SIDE, TEAM_UNITS = ROWS * PER_ROW * BLOCK_UNITS;
	for (int16 team = 0; team < 2; ++team)
	{
		std::vector<int16> units;
		std::vector<int16> kinds;
		std::vector<int32> kind_counts;
		for (int16 i = 0; i < monster_array.count; ++i)
		{
			const monster_data *monster = get_monster_data(i);
			if (!monster || monster->owner_team_index != team) continue;
			units.push_back(i);
			size_t k = 0;
			while (k < kinds.size() && kinds[k] != monster->type) ++k;
			if (k == kinds.size())
			{
				kinds.push_back(monster->type);
				kind_counts.push_back(0);
			}
			kind_counts[k] += 1;
		}
		if (kinds.size() < 2 || units.size() < static_cast<size_t>(TEAM_UNITS)) return false;
		// The two most common kinds, the first met keeping a tie.
		int16 block_kinds[2];
		for (int32 pick = 0; pick < 2; ++pick)
		{
			size_t best = 0;
			for (size_t k = 1; k < kinds.size(); ++k)
			{
				if (kind_counts[k] > kind_counts[best]) best = k;
			}
			block_kinds[pick] = kinds[best];
			kind_counts[best] = -1;
		}
		const int32 team_y = ORIGIN + team * (PITCH * ROWS * SIDE + ROW_GAP + TEAM_GAP);
		for (size_t i = 0; i < units.size(); ++i)
		{
			monster_data *monster = get_monster_data(units[i]);
			object_data *object = get_object_data(monster->object_index);
			if (!object) return false;
			disconnect_object_from_mesh(monster->object_index);
			if (i < static_cast<size_t>(TEAM_UNITS))
			{
				const int32 block = static_cast<int32>(i) / BLOCK_UNITS, u = static_cast<int32>(i) % BLOCK_UNITS;
				const int32 row = block / PER_ROW, column = block % PER_ROW;
				monster->type = block_kinds[column % 2];
				const int32 cx = ORIGIN + PITCH * (column * SIDE + u % SIDE),
							cy = team_y + PITCH * (row * SIDE + u / SIDE) + row * ROW_GAP;
				object->location.position.x = cx * WORLD_ONE + WORLD_ONE / 2;
				object->location.position.y = cy * WORLD_ONE + WORLD_ONE / 2;
			}
			else
			{
				// The rest wait far off in their own corner, out of every block's reach.
				object->location.position.x = (mesh_globals->mesh_width - 2) * WORLD_ONE;
				object->location.position.y = (mesh_globals->mesh_height - 2 - 8 * team) * WORLD_ONE;
			}
			reconnect_object_to_mesh(monster->object_index);
		}
	}
	return true;
}

void BM_build_spatial_groups_16x25(benchmark::State &state)
{
	if (!start_benchmark_battle(state)) return;
	if (!arrange_16_blocks_of_25())
	{
		state.SkipWithError("the armies do not hold 200 units of two kinds or more a side");
		end_benchmark_battle();
		return;
	}
	for (auto _ : state) build_spatial_groups_from_live_units(); // a pass whose groups are read
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
