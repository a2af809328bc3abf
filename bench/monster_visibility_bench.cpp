// Fog of war on the benchmark map 'bnch' (256 × 256 cells): one sight stamp
// of each kind into the back buffer, and the swap every 64 ticks makes.
#include <benchmark/benchmark.h>

#include "bench_generator.h"
#include "mesh.h"
#include "monster_visibility.h"
#include "support/zerv_harness.h"

namespace {

bool start_map(benchmark::State &state)
{
	new_game_data setup;
	harness_battle_setup(&setup, TAG("bnch"));
	if (!harness_initialize() || !harness_start_map(&setup) || !mesh_is_loaded() || !visibility_globals.initialized)
	{
		state.SkipWithError("the benchmark map did not start");
		harness_shutdown();
		return false;
	}
	return true;
}

void end_map(void)
{
	harness_end_map();
	harness_shutdown();
}

void BM_build_monster_visibility(benchmark::State &state)
{
	if (!start_map(state)) return;
	const int16 kind = static_cast<int16>(state.range(0));
	bench_generator generator = {0x51647u};
	int32 points[256][2];
	for (auto &point : points)
	{
		point[0] = generator.below(mesh_globals->mesh_width);
		point[1] = generator.below(mesh_globals->mesh_height);
	}
	int32 i = 0;
	for (auto _ : state)
	{
		rasterize_visibility_bitmap(kind, points[i & 255][0], points[i & 255][1]);
		++i;
	}
	state.counters["ns_per_stamp"] = benchmark::Counter(static_cast<double>(state.iterations()),
		benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
	end_map();
}
BENCHMARK(BM_build_monster_visibility)->DenseRange(0, 3);

void BM_swap_visibility_buffers(benchmark::State &state)
{
	if (!start_map(state)) return;
	for (auto _ : state)
	{
		rasterize_visibility_bitmap(_visibility_bitmap_nearsighted, 128, 128);
		swap_visibility_buffers();
	}
	state.counters["cells"] = static_cast<double>(mesh_globals->mesh_width * mesh_globals->mesh_height);
	end_map();
}
BENCHMARK(BM_swap_visibility_buffers);

} // namespace
