// Fire and weather on the benchmark map 'bnch' through the headless harness:
// a field of burning grass held at the fire array's limit, and the rain's
// particles advanced and drawn frame by frame.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>

#include "bench_map.h"
#include "fire.h"
#include "mesh.h"
#include "particle_system.h"
#include "weather_content.h"
#include "world.h"

namespace {

const int32 field_first_cell = 32, field_cells = 64;
const world_point2d rain_camera = {64 * WORLD_ONE, 64 * WORLD_ONE};

int32 fires_burning(void)
{
	int32 count = 0;
	for (int16 i = 0; i < MAXIMUM_CELLS_ON_FIRE_PER_MAP; ++i) count += get_fire_cell_data(i) ? 1 : 0;
	return count;
}

// A 64 x 64 grass field on a map that burns; 32 fires start on an 8-cell grid,
// and the field burns until nothing does (at most 3,000 ticks).
void BM_update_fire(benchmark::State &state)
{
	if (!start_bench_map(state, TAG("bnch"))) return;
	double burning_cell_ticks = 0, worst_tick_ns = 0;
	int64 ticks = 0;
	for (auto _ : state)
	{
		state.PauseTiming();
		dispose_fire_from_old_map();
		for (int32 y = field_first_cell; y < field_first_cell + field_cells; ++y)
		{
			for (int32 x = field_first_cell; x < field_first_cell + field_cells; ++x)
			{
				mesh_cell *cell = get_mesh_cell(x, y);
				cell->flags = static_cast<uint16>((cell->flags & ~(0xFF | _mesh_cell_was_or_is_on_fire_flag)) |
					(_terrain_grass << 4) | _terrain_grass);
				cell->model_index = NONE;
			}
		}
		mesh_globals->header->flags |= _mesh_can_catch_fire_flag;
		set_random_seed(0xF1E);
		initialize_fire_for_new_map();
		for (int32 i = 0; i < 32; ++i)
		{
			const new_fire_cell_data fire = {static_cast<int16>(field_first_cell + 4 + 8 * (i % 8)),
				static_cast<int16>(field_first_cell + 4 + 8 * (i / 8) * 2), 65535, NONE, NONE, NONE};
			start_fire(&fire);
		}
		state.ResumeTiming();
		for (int32 tick = 0; tick < 3000; ++tick)
		{
			const int32 burning = fires_burning();
			if (burning == 0) break;
			const auto start = std::chrono::steady_clock::now();
			update_fire();
			const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
			worst_tick_ns = std::max(worst_tick_ns, ns);
			burning_cell_ticks += burning;
			ticks += 1;
		}
	}
	state.counters["burning_cell_ticks"] = burning_cell_ticks;
	state.counters["ns_per_burning_cell"] =
		benchmark::Counter(burning_cell_ticks, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
	state.counters["worst_tick_ns"] = worst_tick_ns;
	state.counters["ticks"] = static_cast<double>(ticks);
	dispose_fire_from_old_map();
	mesh_globals->header->flags &= ~static_cast<uint32>(_mesh_can_catch_fire_flag);
	end_bench_map();
}
BENCHMARK(BM_update_fire)->Name("BM_update_fire/64x64")->Unit(benchmark::kMicrosecond)->Iterations(3);

// The rain on 'bnch' at 4,096 live particles round the camera.
bool start_rain(benchmark::State &state)
{
	if (!start_bench_map(state, TAG("bnch"))) return false;
	particle_system_test_hooks_data *hooks = get_particle_system_test_hooks();
	hooks->particles_idle = FALSE;
	hooks->has_camera = TRUE;
	hooks->camera = rain_camera;
	if (!initialize_particle_system_for_new_map(DEFAULT_RAIN_PARTICLE_SYSTEM_TAG))
	{
		state.SkipWithError("the rain did not start");
		end_bench_map();
		return false;
	}
	// The level's rain holds 1,024 drops; the loaded copy is raised to the
	// 4,096 these figures are measured at. The density clamps at full.
	const_cast<particle_system_definition *>(get_local_particle_system())->number_of_particles = 4096;
	set_target_particle_number_multiplier(32767);
	generate_particles();
	return true;
}

void end_rain(void)
{
	dispose_particle_system_from_old_map();
	end_bench_map();
}

// One frame each.
void BM_update_particles(benchmark::State &state)
{
	if (!start_rain(state)) return;
	for (auto _ : state) update_particles(1);
	state.counters["particles"] = get_particle_count();
	state.counters["ns_per_particle"] = benchmark::Counter(static_cast<double>(state.iterations()) * get_particle_count(),
		benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
	end_rain();
}
BENCHMARK(BM_update_particles)->Name("BM_update_particles/4096");

// The rain's sprites in a 640 x 480 view from the camera.
void BM_build_particle_system_surface_list(benchmark::State &state)
{
	if (!start_rain(state)) return;
	particle_system_test_hooks_data *hooks = get_particle_system_test_hooks();
	bench_view frame;
	update_particles(1); // sorts the particles into their cells
	hooks->sprites_drawn = 0;
	frame.time_frames(state, 640, 480, rain_camera, 1,
		[](view_data *view, mesh_region *region) { build_particle_system_surface_list(view, region, view->main_surface_list); });
	state.counters.erase("surfaces"); // the sprites are counted instead
	const double sprites = static_cast<double>(hooks->sprites_drawn);
	state.counters["sprites_per_frame"] = sprites / static_cast<double>(std::max<int64>(state.iterations(), 1));
	state.counters["ns_per_sprite"] = benchmark::Counter(sprites, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
	end_rain();
}
BENCHMARK(BM_build_particle_system_surface_list)->Name("BM_build_particle_system_surface_list/4096");

} // namespace
