// The First Level drawn through the game's own frame (idle_zerv) in a window,
// in software and under OpenGL (llvmpipe under Xvfb), at the map's edge:
// past the land the view shows nothing of an earlier frame, and the debug
// limits drawn there read as this frame's numbers.
#include "main_test_fixture.h"

#include <SDL/SDL.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bitmaps.h"
#include "hardware/hardware_rasterizers.h"
#include "mesh.h"
#include "ranking_overlay.h"
#include "support/render_views.h"
#include "world.h"

namespace {

// A frame of the game screen, 24-bit colours, rows top down.
struct frame_pixels
{
	int32 width = 0, height = 0;
	std::vector<uint32> pixels;
	uint32 at(int32 x, int32 y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

frame_pixels copy_bitmap_pixels(const bitmap_data *bitmap)
{
	frame_pixels frame;
	frame.width = bitmap->width;
	frame.height = bitmap->height;
	for (int32 y = 0; y < bitmap->height; ++y)
	{
		const uint32 *row = reinterpret_cast<const uint32 *>(bitmap->row_addresses[y]);
		for (int32 x = 0; x < bitmap->width; ++x) frame.pixels.push_back(row[x] & 0xFFFFFF);
	}
	return frame;
}

// White text on the cleared view.
bool lit(uint32 pixel)
{
	return (pixel & 0xFF) >= 128 && ((pixel >> 8) & 0xFF) >= 128 && ((pixel >> 16) & 0xFF) >= 128;
}

class view_past_the_edge : public main_program_test, public ::testing::WithParamInterface<int16>
{
protected:
	void SetUp() override
	{
		setenv("LP_NATIVE_VECTOR_WIDTH", "128", 1);
		install_sdl_platform();
		main_program_test::SetUp();
		if (HasFatalFailure()) return;
		screen_preferences_before = active_screen.prefs;
		set_screen_parameters(-2, -2);
		enter_state(_game_state_displaying_main_menu);
	}

	void TearDown() override
	{
		main_module.display_limits = FALSE;
		for (int32 i = 0; i < number_of_registered_post_effects; ++i)
		{
			if (post_effects[i].function_pointer == rankings_and_table) post_effects[i].function_pointer = rasterize_rankings;
		}
		self = nullptr;
		if (game->state == _game_state_running) enter_state(_game_state_displaying_main_menu);
		if (window_swap)
		{
			platform_procedures_data procedures = *get_platform_procedures();
			procedures.opengl_swap_buffers = window_swap;
			install_platform_procedures(&procedures);
			window_swap = nullptr;
		}
		if (reference) dispose_pointer(reference);
		if (table_bitmap) dispose_pointer(table_bitmap);
		active_screen.prefs = screen_preferences_before;
		main_program_test::TearDown();
	}

	// The First Level running on the back end of the test's rasterizer code in
	// a 1024 x 768 window, with the game's own settings; false without it.
	bool start_the_first_level(void)
	{
		const int16 code = GetParam();
		for (int16 device = 0; device < get_screen_device_count(); ++device)
		{
			const device_info *info = get_screen_device(device);
			if (info->rasterizer_code != code) continue;
			for (int16 mode = 0; mode < info->mode_count; ++mode)
			{
				if (info->modes[mode].width != 1024 || info->modes[mode].height != 768) continue;
				active_screen.prefs.device_index = device;
				active_screen.prefs.mode_index = mode;
				active_screen.prefs.flags |= _screen_pref_windowed_flag;
			}
		}
		if (active_screen.prefs.device_index == NONE) return false;
		harness_level_setup(&main_globals.new_game_data);
		enter_state(_game_state_running);
		if (game->state != _game_state_running || active_screen.rasterizer_code != code) return false;
		// Past the opening ranking boxes, which the limits replace anyway.
		harness_run_ticks(INITIAL_RANKING_DISPLAY_TICKS + 10);
		if (code == _rasterizer_opengl)
		{
			platform_procedures_data procedures = *get_platform_procedures();
			window_swap = procedures.opengl_swap_buffers;
			procedures.opengl_swap_buffers = read_back_and_swap;
			install_platform_procedures(&procedures);
		}
		return true;
	}

	// One frame of the game as its main loop draws it, the camera at the
	// focus, facing and zoom; what the window shows.
	frame_pixels draw_frame(world_point2d focus, angle facing, fixed zoom, const std::string &name)
	{
		const observer_location at = {focus, facing, 0};
		set_actual_observer_location_and_zoom(&at, &zoom);
		idle_zerv(0, FALSE);
		frame_pixels frame;
		if (GetParam() == _rasterizer_opengl)
		{
			frame = shown;
		}
		else
		{
			SDL_Surface *surface = SDL_GetVideoSurface();
			if (!surface || SDL_LockSurface(surface) != 0) return frame;
			rectangle2d bounds;
			get_game_screen_bounds(&bounds);
			frame.width = rectangle2d_width(&bounds);
			frame.height = rectangle2d_height(&bounds);
			for (int32 y = bounds.top; y < bounds.bottom; ++y)
			{
				const uint32 *row = reinterpret_cast<const uint32 *>(static_cast<const uint8 *>(surface->pixels) + y * surface->pitch);
				for (int32 x = bounds.left; x < bounds.right; ++x) frame.pixels.push_back(row[x] & 0xFFFFFF);
			}
			SDL_UnlockSurface(surface);
		}
		if (getenv("ZERV_DUMP_FRAMES") && frame.width > 0)
		{
			bitmap_data *dump = new_bitmap(static_cast<int16>(frame.width), static_cast<int16>(frame.height),
				static_cast<int16>(frame.width * 4), _32bit_encoding, 0);
			for (int32 y = 0; y < frame.height; ++y) memcpy(dump->row_addresses[y], &frame.pixels[static_cast<size_t>(y) * frame.width], frame.width * 4);
			dump_frame_when_asked(dump, name + (GetParam() == _rasterizer_opengl ? "_opengl" : "_software"));
			dispose_pointer(dump);
		}
		return frame;
	}

	// The last frame's view drawn again by the software rasterizer into a
	// black bitmap, its overlays with it: where it stays black, nothing lies.
	frame_pixels draw_reference(void)
	{
		const view_data *last = last_render_view();
		if (!last) return frame_pixels();
		view_data view = *last;
		view.screen = zeroed(&reference, view.screen_width, view.screen_height);
		view.rasterizer_code = _rasterizer_software;
		view.flags &= ~static_cast<uint32>(_render_view_screen_clipping_flag);
		render_scene(&view);
		return copy_bitmap_pixels(view.screen);
	}

	// From now on each frame's overlay also draws the limits alone, with the
	// counts of that frame, into a black bitmap (table).
	void draw_each_table_alone(void)
	{
		for (int32 i = 0; i < number_of_registered_post_effects; ++i)
		{
			if (post_effects[i].function_pointer == rasterize_rankings) post_effects[i].function_pointer = rankings_and_table;
		}
		self = this;
	}

	static void rankings_and_table(view_data *view)
	{
		rasterize_rankings(view);
		view_data copy = *view;
		copy.screen = zeroed(&self->table_bitmap, view->screen_width, view->screen_height);
		copy.rasterizer_code = _rasterizer_software;
		rasterize_rankings(&copy);
		self->table = copy_bitmap_pixels(copy.screen);
	}

	// The bitmap, made or remade at the size, all black.
	static bitmap_data *zeroed(bitmap_data **bitmap, int32 width, int32 height)
	{
		if (*bitmap && ((*bitmap)->width != width || (*bitmap)->height != height))
		{
			dispose_pointer(*bitmap);
			*bitmap = nullptr;
		}
		if (!*bitmap) *bitmap = new_bitmap(static_cast<int16>(width), static_cast<int16>(height), static_cast<int16>(width * 4), _32bit_encoding, 0);
		for (int32 y = 0; y < height; ++y) memset((*bitmap)->row_addresses[y], 0, static_cast<size_t>(width) * 4);
		return *bitmap;
	}

	// The map's west edge, half way up.
	static world_point2d west_edge(void)
	{
		return {0, static_cast<world_distance>(mesh_globals->mesh_height * WORLD_ONE / 2)};
	}

	static void read_back_and_swap(void)
	{
		rectangle2d bounds;
		get_game_screen_bounds(&bounds);
		const int32 width = rectangle2d_width(&bounds), height = rectangle2d_height(&bounds);
		bitmap_data *read = new_bitmap(static_cast<int16>(width), static_cast<int16>(height), static_cast<int16>(width * 4),
			_32bit_encoding, 0);
		if (read)
		{
			copy_bits_from_render_view_hardware(&bounds, read);
			shown = copy_bitmap_pixels(read);
			dispose_pointer(read);
		}
		window_swap();
	}

	screen_parameters screen_preferences_before;
	bitmap_data *reference = nullptr, *table_bitmap = nullptr;
	frame_pixels table;
	static view_past_the_edge *self;
	static frame_pixels shown;
	static void (*window_swap)(void);
};

view_past_the_edge *view_past_the_edge::self = nullptr;
frame_pixels view_past_the_edge::shown;
void (*view_past_the_edge::window_swap)(void) = nullptr;

std::string back_end_name(const ::testing::TestParamInfo<int16> &info)
{
	return info.param == _rasterizer_opengl ? "opengl" : "software";
}

// Looking in over the west edge, then out over it from afar: where the second
// view sees past the land, the first saw its meadow. Nothing of it is left
// there: the view is black.
TEST_P(view_past_the_edge, a_view_out_over_the_edge_keeps_nothing_of_the_view_before)
{
	if (!start_the_first_level()) GTEST_SKIP() << "no such device and mode";
	const frame_pixels inwards = draw_frame(west_edge(), 0, FIXED_ONE, "edge_inwards");
	const frame_pixels outwards = draw_frame(west_edge(), HALF_CIRCLE, FIXED_ONE / 2, "edge_outwards");
	const frame_pixels expected = draw_reference();
	ASSERT_EQ(inwards.pixels.size(), expected.pixels.size());
	ASSERT_EQ(outwards.pixels.size(), expected.pixels.size());
	int32 past_the_land = 0, land_before = 0, not_plain = 0;
	for (size_t i = 0; i < expected.pixels.size(); ++i)
	{
		if (expected.pixels[i] != 0) continue;
		past_the_land += 1;
		land_before += inwards.pixels[i] != 0;
		not_plain += outwards.pixels[i] != 0;
	}
	const int32 screen = expected.width * expected.height;
	EXPECT_GT(past_the_land, screen / 4) << "the view does not look past the land";
	EXPECT_GT(land_before, past_the_land * 3 / 4) << "the view before did not show the land there";
	// OpenGL's land meets the void a pixel or two from where software's does.
	const int32 tolerance = GetParam() == _rasterizer_opengl ? past_the_land / 100 : 0;
	EXPECT_LE(not_plain, tolerance) << "of " << past_the_land << " pixels past the land";
}

// The limits over the void past the edge: as the counts change from frame to
// frame, each frame's table is that frame's numbers alone, with no digit of
// the frames before.
TEST_P(view_past_the_edge, the_debug_limits_read_as_this_frames_counts)
{
	if (!start_the_first_level()) GTEST_SKIP() << "no such device and mode";
	int16 count_right, maximum_right, name_left;
	get_data_limit_columns(&count_right, &maximum_right, &name_left);
	// The count and maximum columns of the table's rows.
	const int32 table_right = maximum_right, table_bottom = RANKING_VERTICAL_SPACING + 9 * RANKING_BOUNDS_HEIGHT;
	draw_frame(west_edge(), HALF_CIRCLE, FIXED_ONE / 2, "limits_view");
	const frame_pixels view = draw_reference();
	int32 land = 0;
	for (int32 y = 0; y < table_bottom; ++y)
	{
		for (int32 x = 0; x < table_right; ++x) land += view.at(x, y) != 0;
	}
	ASSERT_EQ(land, 0) << "the table does not lie past the land";

	main_module.display_limits = TRUE;
	draw_each_table_alone();

	frame_pixels previous;
	int32 changes = 0, frames = 0, stale = 0, missing = 0, drawn = 0;
	for (int32 frame = 0; frame < 90 && changes < 5; ++frame)
	{
		const frame_pixels shown_frame = draw_frame(west_edge(), HALF_CIRCLE, FIXED_ONE / 2, "limits_" + std::to_string(frame));
		ASSERT_EQ(shown_frame.pixels.size(), table.pixels.size());
		frames += 1;
		if (!previous.pixels.empty() && table.pixels != previous.pixels) changes += 1;
		previous = table;
		for (int32 y = 0; y < table_bottom; ++y)
		{
			for (int32 x = 0; x < table_right; ++x)
			{
				const bool in_table = lit(table.at(x, y)), in_frame = lit(shown_frame.at(x, y));
				drawn += in_table;
				stale += in_frame && !in_table;
				missing += in_table && !in_frame;
			}
		}
		harness_run_ticks(3);
	}
	ASSERT_GE(changes, 5) << "the counts did not change in " << frames << " frames";
	EXPECT_GT(drawn, 1000);
	EXPECT_EQ(stale, 0) << "pixels of earlier counts, over " << frames << " frames";
	EXPECT_LE(missing, drawn / 100);
}

INSTANTIATE_TEST_SUITE_P(back_ends, view_past_the_edge,
	::testing::Values(static_cast<int16>(_rasterizer_software), static_cast<int16>(_rasterizer_opengl)), back_end_name);

}
