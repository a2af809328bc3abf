// The first level 'l1  ' with its effects live, for the frame benchmarks:
// rain at its full density, a burning cell of the meadow with its flames and
// smoke, and the armies close by, seen from the level's own camera angle.
#ifndef BENCH_FIRST_LEVEL_VIEW_H
#define BENCH_FIRST_LEVEL_VIEW_H

#include "bitmaps.h"
#include "CoreLibrary/cseries/memory.h"
#include "fire.h"
#include "observer.h"
#include "particle_system.h"
#include "render/render.h"
#include "support/render_views.h"
#include "support/zerv_harness.h"
#include "world.h"
#include "zerv.h"

// A cell of the meadow's burning rows, between the armies.
const int16 bench_first_level_fire_cell_x = 37, bench_first_level_fire_cell_y = 67;

// Starts the level and plays it to its 800th tick. The storm's lightning is
// rare, so the fire is lit at tick 700, as the rain nears its peak; frames
// every third tick from then on keep the flames' and smoke's particles alive,
// as a running game's frames do. False when the level does not start.
inline bool start_first_level_fire_view(void)
{
	new_game_data setup;
	harness_level_setup(&setup);
	if (!harness_start_map(&setup)) return false;
	get_particle_system_test_hooks()->particles_idle = FALSE;
	set_local_random_seed(0x5EED);
	bitmap_data *screen = new_bitmap(320, 240, 320 * 4, _32bit_encoding, 0);
	if (!screen) return false;
	harness_run_ticks(700);
	const new_fire_cell_data fire = {bench_first_level_fire_cell_x, bench_first_level_fire_cell_y, 65535, NONE, NONE, NONE};
	start_fire(&fire);
	// The player looks north at the fire from just south of it, at the
	// nearest zoom, and keeps looking there whatever the level's script does
	// with the camera.
	const observer_location look = {{static_cast<world_distance>(bench_first_level_fire_cell_x * WORLD_ONE + WORLD_ONE / 2),
		static_cast<world_distance>((bench_first_level_fire_cell_y + 2) * WORLD_ONE)}, QUARTER_CIRCLE, 0};
	const fixed zoom = 2 * FIXED_ONE;
	for (int32 tick = 0; tick < 100; ++tick)
	{
		harness_run_ticks(1);
		set_actual_observer_location_and_zoom(&look, &zoom);
		if (tick % 3 != 2) continue;
		view_data view;
		prepare_observer_view(&view, screen, 3);
		render_scene(&view);
	}
	dispose_pointer(screen);
	return true;
}

#endif
