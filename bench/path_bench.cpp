// Pathfinding and formations on the benchmark map 'bnch' through the headless
// harness: single searches across the map, around and into the lake, a whole
// box-formation move order of 126 units, and every formation type.
#include <benchmark/benchmark.h>

#include <vector>

#include "formations.h"
#include "mesh.h"
#include "path.h"
#include "world.h"
#include "support/zerv_harness.h"

namespace {

// Human depth and deeper, and walking-impassable.
const uint16 bench_mask = static_cast<uint16>(FLAG(_terrain_media_human_depth) | FLAG(_terrain_media_giant_depth) |
	FLAG(_terrain_media_deep) | FLAG(_terrain_walking_impassable));

world_point2d centre_of(int32 x, int32 y)
{
	return {x * WORLD_ONE + WORLD_ONE_HALF, y * WORLD_ONE + WORLD_ONE_HALF};
}

bool start_bench_map(benchmark::State &state)
{
	new_game_data setup;
	harness_battle_setup(&setup, TAG("bnch"));
	if (!harness_initialize() || !harness_start_map(&setup) || !mesh_is_loaded())
	{
		state.SkipWithError("the benchmark map did not start");
		harness_shutdown();
		return false;
	}
	return true;
}

void end_bench_map(void)
{
	harness_end_map();
	harness_shutdown();
}

int16 timed_path(world_point2d p0, world_point2d p1)
{
	path_variables variables = {};
	variables.terrain_impassability_flags = bench_mask;
	variables.owner_object_index = NONE;
	variables.p0 = p0;
	variables.p1 = p1;
	return new_path(NONE, &variables);
}

void BM_new_path(benchmark::State &state)
{
	if (!start_bench_map(state)) return;
	static const int32 cases[][4] = {{40, 40, 200, 200}, {30, 60, 66, 60}, {60, 60, 48, 60}};
	const int32 *c = cases[state.range(0)];
	for (auto _ : state)
	{
		int16 index = timed_path(centre_of(c[0], c[1]), centre_of(c[2], c[3]));
		benchmark::DoNotOptimize(index);
		state.PauseTiming();
		delete_path(&index);
		state.ResumeTiming();
	}
	state.counters["nodes"] = get_path_test_hooks()->nodes_used;
	end_bench_map();
}
BENCHMARK(BM_new_path)->Unit(benchmark::kMicrosecond)->Arg(0)->Arg(1)->Arg(2)->ArgNames({"across_lake_detour_unreachable"});

// 126 units in a 12 x 11 block at cell (40, 40) ordered to (200, 200) in box
// formation: the layout, then one search per unit to its slot.
void BM_move_order_126(benchmark::State &state)
{
	if (!start_bench_map(state)) return;
	const int32 count = 126;
	std::vector<world_point2d> starts, slots(count);
	std::vector<angle> facings(count);
	std::vector<int16> paths(count, NONE);
	for (int32 i = 0; i < count; ++i) starts.push_back(centre_of(40 + i % 12, 40 + i / 12));
	const world_point2d target = centre_of(200, 200);
	for (auto _ : state)
	{
		build_formation(NONE, _formation_box, &target, slots.data(), facings.data(), 8192, static_cast<int16>(count));
		for (int32 i = 0; i < count; ++i) paths[i] = timed_path(starts[i], slots[i]);
		state.PauseTiming();
		for (int16 &index : paths) delete_path(&index);
		state.ResumeTiming();
	}
	end_bench_map();
}
BENCHMARK(BM_move_order_126)->Unit(benchmark::kMillisecond);

void BM_build_formation(benchmark::State &state)
{
	initialize_world();
	initialize_formations();
	initialize_formations_for_new_map();
	const int16 type = static_cast<int16>(state.range(0)), count = static_cast<int16>(state.range(1));
	std::vector<world_point2d> slots(count);
	std::vector<angle> facings(count);
	const world_point2d center = centre_of(100, 100);
	for (auto _ : state)
	{
		build_formation(NONE, type, &center, slots.data(), facings.data(), 8192, count);
		benchmark::DoNotOptimize(slots.data());
	}
	dispose_formations_from_old_map();
}
BENCHMARK(BM_build_formation)->ArgsProduct({benchmark::CreateDenseRange(0, 9, 1), {126}})->ArgNames({"type", "units"});

} // namespace
