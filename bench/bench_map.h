// A map started through the headless harness for a benchmark and ended after
// it, and a view of it whose surfaces are built but never rasterized.
#ifndef BENCH_MAP_H
#define BENCH_MAP_H

#include <benchmark/benchmark.h>

#include <cstring>

#include "bitmaps.h"
#include "mesh.h"
#include "observer.h"
#include "render/render.h"
#include "support/zerv_harness.h"
#include "zerv.h"

// Starts the map with both armies (the first level by HARNESS_FIRST_LEVEL_MAP_TAG);
// on failure, or when started_well says no, marks the benchmark skipped.
inline bool start_bench_map(benchmark::State &state, file_tag map_tag, bool (*started_well)(void) = nullptr)
{
	new_game_data setup;
	harness_battle_setup(&setup, map_tag);
	if (!harness_initialize() || !harness_start_map(&setup) || !mesh_is_loaded() || (started_well && !started_well()))
	{
		state.SkipWithError("the map did not start");
		harness_shutdown();
		return false;
	}
	return true;
}

inline void end_bench_map(void)
{
	harness_end_map();
	harness_shutdown();
}

// A counter that reads as ns per item when each iteration handles count items.
inline benchmark::Counter ns_per_item(double count)
{
	return benchmark::Counter(count, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The observer's view of a width x height screen looking at the point, with
// its mesh region and an empty surface list; each call empties the frame
// arena first, as a frame does.
struct bench_view
{
	bitmap_data screen;
	render_surface_list surfaces;
	view_data view;
	mesh_region *region;
	int64 frames = 0, surfaces_built = 0;

	void build(int16 width, int16 height, world_point2d focus, int16 elapsed_ticks)
	{
		render_scene(nullptr);
		memset(&screen, 0, sizeof(screen));
		screen.width = width;
		screen.height = height;
		const observer_location look = {focus, 0, 0};
		set_actual_observer_location_and_zoom(&look, nullptr);
		memset(&view, 0, sizeof(view));
		build_observer_view(&view, elapsed_ticks);
		view.screen = &screen;
		update_view_data(&view);
		new_surface_list(&surfaces);
		view.main_surface_list = &surfaces;
		region = build_mesh_region(&view);
	}
	// Times the builder over frames of the view; the surfaces a frame counter.
	void time_frames(benchmark::State &state, int16 width, int16 height, world_point2d focus, int16 elapsed_ticks,
		void (*builder)(view_data *, mesh_region *))
	{
		for (auto _ : state)
		{
			build(width, height, focus, elapsed_ticks);
			builder(&view, region);
			frames += 1;
			surfaces_built += surfaces.surface_count;
		}
		state.counters["surfaces"] = frames ? static_cast<double>(surfaces_built) / static_cast<double>(frames) : 0;
	}
};

#endif
