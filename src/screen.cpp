#include "screen.h"

#include "linux_utilities.h"

static screen_parameters default_screen_preferences(void)
{
	screen_parameters prefs = {};
	prefs.texture_cache_size = MINIMUM_TEXTURE_CACHE_SIZE;
	prefs.flags = _screen_pref_landscape_filtering_flag;
	prefs.device_index = NONE;
	prefs.mode_index = NONE;
	prefs.gamma = DEFAULT_GAMMA;
	prefs.max_fps = DEFAULT_MAX_FPS;
	prefs.width = DEFAULT_SCREEN_WIDTH;
	prefs.height = DEFAULT_SCREEN_HEIGHT;
	return prefs;
}

static active_color_environment default_active_screen(void)
{
	active_color_environment screen = {};
	screen.encoding = 2;
	screen.device_index = NONE;
	screen.mode_index = NONE;
	screen.gamma = DEFAULT_GAMMA;
	screen.resolution_width = DEFAULT_SCREEN_WIDTH;
	screen.resolution_height = DEFAULT_SCREEN_HEIGHT;
	screen.rasterizer_code = _rasterizer_software;
	screen.width = DEFAULT_SCREEN_WIDTH;
	screen.height = DEFAULT_SCREEN_HEIGHT;
	screen.bit_depth = DEFAULT_SCREEN_BIT_DEPTH;
	screen.prefs = default_screen_preferences();
	return screen;
}

active_color_environment active_screen = default_active_screen();

#define NUMBER_OF_GUI_WIDTHS 15

// The per-resolution interface layout, by width; row 0 is the menu screen's.
static resolution_data gui_widths_info[NUMBER_OF_GUI_WIDTHS] = {
	{640, 0, TAG("icb6"), TAG("icb6"), TAG("isb6"), TAG("isb6"), TAG("untr"), TAG("inut")},
	{800, 0, TAG("icb8"), TAG("icb8"), TAG("isb8"), TAG("isb8"), TAG("unt8"), TAG("inuu")},
	{1024, 0, TAG("icb1"), TAG("icb1"), TAG("isb1"), TAG("isb1"), TAG("unt1"), TAG("inuv")},
	{1152, 0, TAG("}^bA"), TAG("}^cA"), TAG("}^sA"), TAG("}^sA"), TAG("}^uA"), TAG("}^uA")},
	{1280, 0, TAG("}^bQ"), TAG("}^cB"), TAG("}^sB"), TAG("}^sB"), TAG("}^uB"), TAG("}^uB")},
	{1360, 0, TAG("}^bj"), TAG("}^cJ"), TAG("}^sJ"), TAG("}^sJ"), TAG("}^uJ"), TAG("}^uJ")},
	{1366, 0, TAG("}^bk"), TAG("}^cK"), TAG("}^sK"), TAG("}^sK"), TAG("}^uK"), TAG("}^uK")},
	{1400, 0, TAG("}^bl"), TAG("}^cL"), TAG("}^sL"), TAG("}^sL"), TAG("}^uL"), TAG("}^uL")},
	{1440, 0, TAG("}^bG"), TAG("}^cC"), TAG("}^sC"), TAG("}^sC"), TAG("}^uC"), TAG("}^uC")},
	{1600, 0, TAG("}^bH"), TAG("}^cD"), TAG("}^sD"), TAG("}^sD"), TAG("}^uD"), TAG("}^uD")},
	{1680, 0, TAG("}^bK"), TAG("}^cE"), TAG("}^sE"), TAG("}^sE"), TAG("}^uE"), TAG("}^uE")},
	{1792, 0, TAG("}^bL"), TAG("}^cF"), TAG("}^sF"), TAG("}^sF"), TAG("}^uF"), TAG("}^uF")},
	{1920, 0, TAG("}^bM"), TAG("}^cG"), TAG("}^sG"), TAG("}^sG"), TAG("}^uG"), TAG("}^uG")},
	{2048, 0, TAG("}^bP"), TAG("}^cH"), TAG("}^sH"), TAG("}^sH"), TAG("}^uH"), TAG("}^uH")},
	{2560, 0, TAG("}^bi"), TAG("}^cI"), TAG("}^sI"), TAG("}^sI"), TAG("}^uI"), TAG("}^uI")},
};

static screen_test_hooks_data screen_hooks;
static boolean window_opened_once = FALSE;

screen_test_hooks_data *get_screen_test_hooks(void)
{
	return &screen_hooks;
}

void reset_screen_test_hooks(void)
{
	memset(&screen_hooks, 0, sizeof(screen_hooks));
}

#define LEAST(...) least_call(&screen_hooks.calls, __VA_ARGS__)

/* ---------- the platform: installed procedures, or headless */

static platform_procedures_data platform_procedures = {};

void install_platform_procedures(const platform_procedures_data *procedures)
{
	if (procedures) platform_procedures = *procedures;
	else platform_procedures = platform_procedures_data{};
}

const platform_procedures_data *get_platform_procedures(void)
{
	return &platform_procedures;
}

static void headless_hide_cursor(void)
{
	screen_hooks.cursor_hidden = TRUE;
}

static void headless_show_cursor(void)
{
	screen_hooks.cursor_hidden = FALSE;
}

static boolean platform_initialize_screen(void)
{
	if (platform_procedures.initialize_video) return platform_procedures.initialize_video();
	screen_hooks.video_started = TRUE;
	set_cursor_procedures(headless_hide_cursor, headless_show_cursor);
	return TRUE;
}

static boolean platform_open_window(int16 width, int16 height, int16 bit_depth, boolean windowed)
{
	if (platform_procedures.open_window) return platform_procedures.open_window(width, height, bit_depth, windowed);
	screen_hooks.window_open = TRUE;
	screen_hooks.window_width = width;
	screen_hooks.window_height = height;
	screen_hooks.window_bit_depth = bit_depth;
	screen_hooks.windowed = windowed;
	return TRUE;
}

static void platform_display_backbuffer(void)
{
	if (platform_procedures.display_backbuffer) platform_procedures.display_backbuffer();
	else screen_hooks.frames_displayed += 1;
}

static void platform_toggle_windowed_mode(void)
{
	if (platform_procedures.toggle_windowed_mode) platform_procedures.toggle_windowed_mode();
	else if (screen_hooks.window_open) screen_hooks.windowed = !screen_hooks.windowed;
}

static void platform_iconify_window(void)
{
	if (platform_procedures.iconify_window) platform_procedures.iconify_window();
	else screen_hooks.iconify_count += 1;
}

/* ---------- the screen */

void initialize_screen(void)
{
	LEAST("initialize_screen");
	if (!platform_initialize_screen()) return;
	active_screen.prefs = default_screen_preferences();
	active_screen.screen_initialized = TRUE;
	set_screen_parameters(active_screen.device_index, active_screen.mode_index);
}

void reset_active_screen_to_prefs(void)
{
	LEAST("reset_active_screen_to_prefs");
	active_screen.device_index = active_screen.prefs.device_index;
	active_screen.mode_index = active_screen.prefs.mode_index;
	active_screen.gamma = active_screen.prefs.gamma;
	if (active_screen.prefs.flags & _screen_pref_landscape_filtering_flag)
		active_screen.flags |= _screen_landscape_filtering_flag;
	else
		active_screen.flags &= ~static_cast<uint32>(_screen_landscape_filtering_flag);
}

void set_screen_parameters(int16 old_device_index, int16 old_mode_index)
{
	LEAST("set_screen_parameters", old_device_index, old_mode_index);

	// No screen devices are known yet: every device and mode is the
	// 640 x 480 window of the software rasterizer.
	const int16 old_width = active_screen.width, old_height = active_screen.height;
	const int16 old_bit_depth = active_screen.bit_depth;
	active_screen.rasterizer_code = _rasterizer_software;
	active_screen.width = DEFAULT_SCREEN_WIDTH;
	active_screen.height = DEFAULT_SCREEN_HEIGHT;
	active_screen.bit_depth = DEFAULT_SCREEN_BIT_DEPTH;
	active_screen.resolution_width = active_screen.width;
	active_screen.resolution_height = active_screen.height;
	active_screen.flags &= ~static_cast<uint32>(_screen_page_flipping_flag);

	const bool changed = old_width != active_screen.width || old_height != active_screen.height ||
		old_bit_depth != active_screen.bit_depth || old_device_index != active_screen.device_index ||
		old_mode_index != active_screen.mode_index;
	if (!active_screen.screen_initialized) return;
	if (changed || !window_opened_once)
	{
		if (platform_open_window(active_screen.width, active_screen.height, active_screen.bit_depth, TRUE))
		{
			window_opened_once = TRUE;
			active_screen.window_mode = TRUE;
			active_screen.encoding = 2;
		}
	}
}

resolution_data *get_active_resolution_data(void)
{
	// Every mode is the 640 x 480 window until screen devices are known.
	return &gui_widths_info[0];
}

boolean is_resolution_collection(file_tag collection_tag)
{
	for (int32 i = 0; i < NUMBER_OF_GUI_WIDTHS; ++i)
	{
		const resolution_data *row = &gui_widths_info[i];
		if (collection_tag == row->control_bar_collection || collection_tag == row->status_bar_collection ||
			collection_tag == row->unit_trading_collection)
		{
			return TRUE;
		}
	}
	return FALSE;
}

rectangle2d *get_game_screen_bounds(rectangle2d *bounds)
{
	// The resolution centred in the window.
	const int16 left = static_cast<int16>((active_screen.width - active_screen.resolution_width) / 2);
	const int16 top = static_cast<int16>((active_screen.height - active_screen.resolution_height) / 2);
	return set_rectangle2d(bounds, left, top, static_cast<int16>(left + active_screen.resolution_width),
		static_cast<int16>(top + active_screen.resolution_height));
}

bitmap_data *get_render_destination(uint32 flags, rectangle2d *bounds)
{
	LEAST("get_render_destination", flags, bounds);
	return NULL;
}

void release_render_destination(bitmap_data *bitmap)
{
	LEAST("release_render_destination", bitmap);
}

void display_backbuffer(bitmap_data *source, bitmap_data *destination, const rectangle2d *source_bounds,
	const rectangle2d *destination_bounds)
{
	LEAST("display_backbuffer", source, destination, source_bounds, destination_bounds);
	platform_display_backbuffer();
}

void toggle_windowed_mode(boolean update_prefs)
{
	LEAST("toggle_windowed_mode", update_prefs);
	platform_toggle_windowed_mode();
}

void toggle_frame_rate_display(void)
{
	LEAST("toggle_frame_rate_display");
}

void iconify_window(void)
{
	LEAST("iconify_window");
	platform_iconify_window();
}
