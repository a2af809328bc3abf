// One demo frame drawn into the real window as the main loop draws it, read
// back from SDL: the same pixels as the headless render of the same view.
#include "main_test_fixture.h"

#include <SDL/SDL.h>

#include "render/render.h"
#include "render/render_objects.h"
#include "support/render_views.h"

namespace {

class render_window : public main_program_test
{
protected:
	void SetUp() override
	{
		install_sdl_platform();
		main_program_test::SetUp();
		if (HasFatalFailure()) return;
		set_screen_parameters(-2, -2);
	}
	void TearDown() override
	{
		harness_end_map();
		main_program_test::TearDown();
	}
	// Draws the observer's view into the window as the main loop does and
	// compares it with the same view rendered into a plain bitmap.
	void expect_window_matches_headless(void)
	{
		rectangle2d frame;
		get_game_screen_bounds(&frame);
		bitmap_data *destination = get_render_destination(0, &frame);
		ASSERT_NE(destination, nullptr);
		const int32 width = destination->width, height = destination->height;
		view_data view;
		prepare_observer_view(&view, destination);
		render_scene(&view);
		release_render_destination(destination);
		display_backbuffer(NULL, NULL, &frame, &frame);

		bitmap_data *headless = new_bitmap(width, height, width * 4, _32bit_encoding, 0);
		ASSERT_NE(headless, nullptr);
		prepare_observer_view(&view, headless);
		render_scene(&view);

		SDL_Surface *surface = SDL_GetVideoSurface();
		ASSERT_NE(surface, nullptr);
		ASSERT_EQ(surface->format->BytesPerPixel, 4);
		ASSERT_EQ(SDL_LockSurface(surface), 0);
		int32 differing = 0, lit = 0;
		for (int32 y = 0; y < height; ++y)
		{
			const Uint32 *row = reinterpret_cast<const Uint32 *>(static_cast<const uint8 *>(surface->pixels) +
				(y + frame.top) * surface->pitch) + frame.left;
			const uint32 *expected = reinterpret_cast<const uint32 *>(headless->row_addresses[y]);
			for (int32 x = 0; x < width; ++x)
			{
				differing += (row[x] & 0xFFFFFF) != (expected[x] & 0xFFFFFF);
				lit += (row[x] & 0xFFFFFF) != 0;
			}
		}
		SDL_UnlockSurface(surface);
		dispose_pointer(headless);
		EXPECT_EQ(differing, 0);
		EXPECT_GT(lit, width * height / 2);
	}
};

}

TEST_F(render_window, a_demo_frame_in_the_window_matches_the_headless_render)
{
	new_game_data setup;
	harness_demo_setup(&setup, 2);
	ASSERT_TRUE(harness_start_map(&setup));
	expect_window_matches_headless();
}

// In battle: units, arrows in flight and the models over the lake.
TEST_F(render_window, a_battle_frame_in_the_window_matches_the_headless_render)
{
	new_game_data setup;
	harness_demo_setup(&setup, 2);
	ASSERT_TRUE(harness_start_map(&setup));
	ASSERT_EQ(harness_run_ticks(300), 300);
	reset_render_objects_test_hooks();
	expect_window_matches_headless();
	EXPECT_GT(get_render_objects_test_hooks()->rectangles_built, 0) << "objects drew in both frames";
	reset_render_objects_test_hooks();
}
