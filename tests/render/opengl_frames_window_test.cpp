// The demo's terrain drawn through OpenGL (llvmpipe under Xvfb) against the
// software rasterizer's frame of the same view.
#include "opengl_window_fixture.h"

#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "hardware/OpenGL/gl_prefs.h"
#include "hardware/OpenGL/setup_opengl.h"
#include "hardware/hardware_rasterizers.h"
#include "mesh.h"
#include "particle_system.h"
#include "render/render.h"
#include "support/render_views.h"
#include "../../bench/bench_first_level_view.h"

namespace {

class opengl_frames : public opengl_started_map_test
{
protected:
	// The OpenGL frame and the software frame of the observer's view, drawn
	// with the same view flags, dumped when asked, and their difference.
	void compare_with_software_frame(uint32 view_flags, const std::string &name, frame_difference *difference)
	{
		const int32 width = active_screen.width, height = active_screen.height;
		rectangle2d bounds;
		set_rectangle2d(&bounds, 0, 0, static_cast<int16>(width), static_cast<int16>(height));
		view_data view;
		prepare_observer_view(&view, initialize_render_bitmap_hardware(&bounds));
		ASSERT_NE(view.screen, nullptr);
		view.flags |= view_flags;
		render_scene(&view);
		bitmap_data *opengl = new_bitmap(width, height, width * 4, _32bit_encoding, 0);
		copy_bits_from_render_view_hardware(&bounds, opengl);

		bitmap_data *software = new_bitmap(width, height, width * 4, _32bit_encoding, 0);
		prepare_observer_view(&view, software);
		view.rasterizer_code = _rasterizer_software;
		view.flags |= view_flags;
		render_scene(&view);

		dump_frame_when_asked(opengl, name + "_opengl");
		dump_frame_when_asked(software, name + "_software");
		*difference = compare_frames(opengl, software, width, height);
		printf("mean d %.2f, above 48 %.4f, worst block %d, colours %d\n", difference->mean,
			difference->share_above_48, static_cast<int>(difference->worst_block),
			static_cast<int>(difference->colours));
		dispose_pointer(opengl);
		dispose_pointer(software);
	}

};

}

TEST_F(opengl_frames, OpenGLFrames_demo_terrain_matches_the_software_frame)
{
	new_game_data setup;
	harness_demo_setup(&setup, 2);
	ASSERT_TRUE(harness_start_map(&setup));
	if (!start_opengl()) GTEST_SKIP() << "no OpenGL device";
	const uint32 terrain_only = _render_view_omit_objects_flag | _render_view_omit_models_flag |
		_render_view_omit_rasterization_effects_flag;
	frame_difference difference{};
	ASSERT_NO_FATAL_FAILURE(compare_with_software_frame(terrain_only, "terrain", &difference));
	// OpenGL filters bilinearly and software samples nearest at half
	// horizontal resolution, so the frames differ a little (a mean of about
	// 0.5 on the demo's smooth grass); a missing, black or flipped terrain,
	// swapped channels or a wrong shading table differ by far more.
	EXPECT_LE(difference.mean, 14.0);
	EXPECT_LE(difference.share_above_48, 0.04);
	EXPECT_LE(difference.worst_block, 24);
	EXPECT_GT(difference.colours, 256);
}

// The first level's rainy, burning meadow: both backends draw the rain, the
// flames and the smoke, so the frames stay close.
TEST_F(opengl_frames, OpenGLFrames_rain_and_fire_match_the_software_frame)
{
	ASSERT_TRUE(start_first_level_fire_view());
	if (!start_opengl()) GTEST_SKIP() << "no OpenGL device";
	frame_difference difference{};
	ASSERT_NO_FATAL_FAILURE(compare_with_software_frame(0, "rain_fire", &difference));
	EXPECT_LE(difference.mean, 24.0);
}

// At the map's edge OpenGL draws the rain as software does: no streak hangs
// in the void past the land (the land's depth hides nothing there).
TEST_F(opengl_frames, OpenGLFrames_no_rain_hangs_past_the_map_edge)
{
	new_game_data setup;
	harness_level_setup(&setup);
	// The drops start on the machine's own stream, fixed here and given back.
	struct seed_kept
	{
		uint32 seed = get_local_random_seed();
		~seed_kept() { set_local_random_seed(seed); }
	} kept;
	set_local_random_seed(0x5EED);
	ASSERT_TRUE(harness_start_map(&setup));
	set_target_particle_number_multiplier(1024);
	get_particle_system_test_hooks()->particles_idle = FALSE;
	harness_run_ticks(60, 1);
	if (!start_opengl()) GTEST_SKIP() << "no OpenGL device";
	const int32 width = active_screen.width, height = active_screen.height;
	rectangle2d bounds;
	set_rectangle2d(&bounds, 0, 0, static_cast<int16>(width), static_cast<int16>(height));
	bitmap_data *frame = new_bitmap(width, height, width * 4, _32bit_encoding, 0);
	const auto render = [&](int32 sprite_budget, bool every_drop) {
		get_particle_system_test_hooks()->sprite_budget = sprite_budget;
		get_particle_system_test_hooks()->drops_past_the_land = every_drop ? TRUE : FALSE;
		view_data view;
		prepare_observer_view(&view, initialize_render_bitmap_hardware(&bounds));
		render_scene(&view);
		copy_bits_from_render_view_hardware(&bounds, frame);
		get_particle_system_test_hooks()->sprite_budget = 0;
		get_particle_system_test_hooks()->drops_past_the_land = FALSE;
		std::vector<uint32> pixels;
		for (int32 y = 0; y < height; ++y)
		{
			const uint32 *row = reinterpret_cast<const uint32 *>(frame->row_addresses[y]);
			for (int32 x = 0; x < width; ++x) pixels.push_back(row[x] & 0xFFFFFF);
		}
		return pixels;
	};
	const world_distance east = mesh_globals->mesh_width * WORLD_ONE - 1;
	const struct
	{
		const char *name;
		observer_location at;
		fixed zoom;
	} views[] = {{"edge_south", {{east / 2, 0}, THREE_QUARTER_CIRCLE, 0}, 2 * FIXED_ONE},
		{"edge_corner", {{0, 0}, static_cast<angle>(9 * 4096), 0}, FIXED_ONE}};
	for (const auto &v : views)
	{
		set_actual_observer_location_and_zoom(&v.at, &v.zoom);
		const std::vector<uint32> dry = render(1, false), wet = render(0, false), every = render(0, true);
		dump_frame_when_asked(frame, std::string("rain_") + v.name + "_every_drop_opengl");
		render(0, false);
		dump_frame_when_asked(frame, std::string("rain_") + v.name + "_opengl");
		int32 past = 0, past_with_every_drop = 0, over = 0;
		for (size_t i = 0; i < dry.size(); ++i)
		{
			if (dry[i]) over += wet[i] != dry[i];
			else past += wet[i] != 0, past_with_every_drop += every[i] != 0;
		}
		EXPECT_EQ(past, 0) << v.name;
		EXPECT_GT(past_with_every_drop, 10000) << v.name << ": the view shows the void";
		EXPECT_GT(over, 10000) << v.name;
	}
	dispose_pointer(frame);
}
