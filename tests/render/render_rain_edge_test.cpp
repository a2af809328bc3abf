// Rain at the map's edge: the camera's focus stays on the map but its eye
// stands behind it, so much of the view can lie past the last cell. Rain is
// drawn over everything, so a drop is only drawn where the land lies behind it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "bitmaps.h"
#include "mesh.h"
#include "observer.h"
#include "particle_system.h"
#include "render/render.h"
#include "support/render_views.h"
#include "support/zerv_harness.h"
#include "world.h"
#include "zerv.h"

namespace {

class rain_at_the_map_edge : public zerv_harness_fixture
{
protected:
	void SetUp() override
	{
		zerv_harness_fixture::SetUp();
		local_seed = get_local_random_seed();
	}
	void TearDown() override
	{
		if (screen) dispose_pointer(screen);
		set_local_random_seed(local_seed);
		zerv_harness_fixture::TearDown();
	}

	// The first level in heavy rain, its drops spread over the box's height.
	void start_in_heavy_rain(void)
	{
		new_game_data setup;
		harness_level_setup(&setup);
		// The drops start on the machine's own stream: fixed, the frames are
		// the same in any process.
		set_local_random_seed(0x5EED);
		ASSERT_TRUE(harness_start_map(&setup));
		ASSERT_NE(get_local_particle_system(), nullptr);
		set_target_particle_number_multiplier(1024);
		get_particle_system_test_hooks()->particles_idle = FALSE;
		harness_run_ticks(60, 1);
		ASSERT_GT(get_particle_count(), 600);
		screen = new_bitmap(640, 480, 640 * 4, _32bit_encoding, 0);
		ASSERT_NE(screen, nullptr);
	}

	std::vector<uint32> render(const observer_location &at, fixed zoom, int32 sprite_budget)
	{
		set_actual_observer_location_and_zoom(&at, &zoom);
		for (int32 row = 0; row < screen->height; ++row) memset(screen->row_addresses[row], 0, screen->width * 4);
		get_particle_system_test_hooks()->sprite_budget = sprite_budget;
		view_data view;
		prepare_observer_view(&view, screen);
		render_scene(&view);
		get_particle_system_test_hooks()->sprite_budget = 0;
		std::vector<uint32> pixels;
		for (int32 row = 0; row < screen->height; ++row)
		{
			const uint32 *p = reinterpret_cast<const uint32 *>(screen->row_addresses[row]);
			for (int32 x = 0; x < screen->width; ++x) pixels.push_back(p[x] & 0xFFFFFF);
		}
		return pixels;
	}

	struct rain_seen
	{
		int32 past_the_land = 0, over_the_land = 0;
	};
	// The frame with its rain against the same frame with a single drop: the
	// pixels the single drop's frame leaves empty lie past the land.
	rain_seen look(const observer_location &at, fixed zoom, const std::string &name)
	{
		const std::vector<uint32> dry = render(at, zoom, 1);
		const std::vector<uint32> wet = render(at, zoom, 0);
		dump_frame_when_asked(screen, name);
		rain_seen seen;
		for (size_t i = 0; i < wet.size(); ++i)
		{
			if (!dry[i]) seen.past_the_land += wet[i] != 0;
			else seen.over_the_land += wet[i] != dry[i];
		}
		return seen;
	}

	bitmap_data *screen = nullptr;
	uint32 local_seed = 0;
};

// Looking out over each edge and in from behind it, at the nearest and the
// farthest zoom, and orbiting a corner (where the streaks once whirled round
// the view): no streak hangs past the land, and the rain still falls on it.
TEST_F(rain_at_the_map_edge, no_streak_hangs_past_the_land)
{
	start_in_heavy_rain();
	const world_distance east = mesh_globals->mesh_width * WORLD_ONE - 1;
	const world_distance north = mesh_globals->mesh_height * WORLD_ONE - 1;
	struct edge_view
	{
		const char *name;
		world_point2d focus;
		angle outwards;
	};
	const edge_view edges[] = {{"west", {0, north / 2}, HALF_CIRCLE}, {"east", {east, north / 2}, 0},
		{"south", {east / 2, 0}, THREE_QUARTER_CIRCLE}, {"north", {east / 2, north}, QUARTER_CIRCLE}};
	for (const edge_view &edge : edges)
	{
		for (const angle facing : {edge.outwards, static_cast<angle>(edge.outwards + HALF_CIRCLE)})
		{
			for (const fixed zoom : {FIXED_ONE / 2, 2 * FIXED_ONE})
			{
				const std::string name = std::string("rain_edge_") + edge.name + (facing == edge.outwards ? "_out_" : "_in_") +
					(zoom < FIXED_ONE ? "far" : "near");
				const rain_seen seen = look({edge.focus, facing, 0}, zoom, name);
				EXPECT_EQ(seen.past_the_land, 0) << name;
				// Looking out from afar, the land before the edge lies in the rain,
				// and every drop drawn would wall the void with streaks.
				if (facing == edge.outwards && zoom < FIXED_ONE)
				{
					EXPECT_GT(seen.over_the_land, 20000) << name;
					get_particle_system_test_hooks()->drops_past_the_land = TRUE;
					const std::vector<uint32> every_drop = render({edge.focus, facing, 0}, zoom, 0);
					get_particle_system_test_hooks()->drops_past_the_land = FALSE;
					const std::vector<uint32> dry = render({edge.focus, facing, 0}, zoom, 1);
					int32 walled = 0;
					for (size_t i = 0; i < dry.size(); ++i) walled += !dry[i] && every_drop[i];
					EXPECT_GT(walled, 1000) << name;
				}
			}
		}
	}
	for (int32 step = 0; step < 16; ++step)
	{
		const angle facing = static_cast<angle>(step * (65536 / 16));
		const std::string name = "rain_corner_orbit_" + std::to_string(step);
		const rain_seen seen = look({{0, 0}, facing, 0}, FIXED_ONE, name);
		EXPECT_EQ(seen.past_the_land, 0) << name;
		EXPECT_GT(seen.over_the_land, 10000) << name;
	}
}

// In the middle of the map, where the land fills the screen, the rain is drawn
// as it was before any drop was left out, to the top of the screen and its
// streaks that run off it.
TEST_F(rain_at_the_map_edge, the_middle_of_the_map_keeps_all_its_rain)
{
	start_in_heavy_rain();
	const world_point2d middle = {mesh_globals->mesh_width * WORLD_ONE / 2, mesh_globals->mesh_height * WORLD_ONE / 2};
	for (int32 step = 0; step < 8; ++step)
	{
		for (const fixed zoom : {FIXED_ONE / 2, FIXED_ONE, 2 * FIXED_ONE})
		{
			const observer_location at = {middle, static_cast<angle>(step * (65536 / 8)), 0};
			const std::string name = "rain_middle_" + std::to_string(step) + "_" + std::to_string(zoom >> 15);
			const rain_seen seen = look(at, zoom, name);
			EXPECT_EQ(seen.past_the_land, 0) << name;
			EXPECT_GT(seen.over_the_land, 20000) << name;
			get_particle_system_test_hooks()->drops_past_the_land = TRUE;
			const std::vector<uint32> every_drop = render(at, zoom, 0);
			get_particle_system_test_hooks()->drops_past_the_land = FALSE;
			EXPECT_TRUE(every_drop == render(at, zoom, 0)) << name;
		}
	}
}

}

