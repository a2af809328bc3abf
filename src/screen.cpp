#include "screen.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "attack_ai.h"
#include "bitmap_text.h"
#include "definitions.h"
#include "error_manager.h"
#include "hardware/OpenGL/setup_opengl.h"
#include "game_preferences.h"
#include "hardware/hardware_rasterizers.h"
#include "interface.h"
#include "linux_utilities.h"
#include "monster_definitions.h"
#include "main.h"
#include "render/render.h"
#include "render/render_wireframe.h"
#include "screen_preferences.h"
#include "spatial_groups.h"
#include "tags_and_strings.h"
#include "unit_trading.h"
#include "zerv.h"

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

active_color_environment get_default_active_screen(void) { return default_active_screen(); }

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

// The window state the engine keeps.
struct screen_globals_data
{
	int16 desktop_width, desktop_height;
	boolean window_opened_once;
	// The last window that opened, for falling back to it.
	int16 window_width, window_height, window_bit_depth;
	boolean window_windowed;
	// Whether the player made the menu window full screen.
	boolean menu_fullscreen;
	// The window shows an OpenGL context (the device probe's or a map's).
	boolean window_opengl;
	// The last allocation fell back to another window than its mode's.
	boolean fell_back;
	frame_rate_sample_data frame_rate;
};

static screen_globals_data screen_globals = {};

screen_test_hooks_data *get_screen_test_hooks(void)
{
	return &screen_hooks;
}

void reset_screen_test_hooks(void)
{
	dispose_pointer(screen_hooks.surface_pixels);
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

static boolean platform_create_window(int16 width, int16 height, uint32 flags);

boolean create_sdl_window(int16 width, int16 height, uint32 flags)
{
	if (!platform_create_window(width, height, flags)) return FALSE;
	screen_globals.window_opengl = (flags & _sdl_window_opengl_flag) != 0;
	return TRUE;
}

static boolean platform_create_window(int16 width, int16 height, uint32 flags)
{
	if (platform_procedures.create_sdl_window) return platform_procedures.create_sdl_window(width, height, flags);
	if (screen_hooks.fail_open_window_count > 0)
	{
		screen_hooks.fail_open_window_count -= 1;
		log_message(MODULE_NAME, __LINE__, "SDL_SetVideoMode() failed: %s", "no such mode");
		return FALSE;
	}
	// Headless, the window is a block of 32-bit pixels that tests read.
	dispose_pointer(screen_hooks.surface_pixels);
	screen_hooks.surface_bytes_per_row = 4 * width;
	screen_hooks.surface_pixels = static_cast<uint8 *>(new_pointer_z(static_cast<size_t>(4) * width * height));
	screen_hooks.window_open_count += 1;
	screen_hooks.window_open = TRUE;
	screen_hooks.window_width = width;
	screen_hooks.window_height = height;
	screen_hooks.window_bit_depth = active_screen.bit_depth;
	screen_hooks.windowed = !(flags & _sdl_window_fullscreen_flag);
	screen_hooks.window_opengl = (flags & _sdl_window_opengl_flag) != 0;
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


/* ---------- platform surfaces */

static uint8 *platform_lock_surface(int32 *bytes_per_row)
{
	if (platform_procedures.lock_surface) return platform_procedures.lock_surface(bytes_per_row);
	*bytes_per_row = screen_hooks.surface_bytes_per_row;
	return screen_hooks.surface_pixels;
}

static void platform_unlock_surface(void)
{
	if (platform_procedures.unlock_surface) platform_procedures.unlock_surface();
}

static boolean platform_is_fullscreen(void)
{
	if (platform_procedures.is_fullscreen) return platform_procedures.is_fullscreen();
	return screen_hooks.window_open && !screen_hooks.windowed;
}

static void platform_get_desktop_size(int16 *width, int16 *height)
{
	if (platform_procedures.get_desktop_size)
	{
		platform_procedures.get_desktop_size(width, height);
		return;
	}
	*width = screen_hooks.desktop_width ? screen_hooks.desktop_width : 1024;
	*height = screen_hooks.desktop_height ? screen_hooks.desktop_height : 768;
}

/* ---------- start-up */

void initialize_drawing_manager(void)
{
	// The platform prepares its environment, starts video (exiting on failure),
	// makes the icon and registers its exit handler.
	platform_initialize_screen();
	query_for_screen_devices();
}

void initialize_screen(void)
{
	LEAST("initialize_screen");
	initialize_drawing_manager();
	platform_get_desktop_size(&screen_globals.desktop_width, &screen_globals.desktop_height);
	register_postrasterization_effect(-100, update_fps_display);
	load_screen_parameters(&active_screen.prefs);
	active_screen.screen_initialized = TRUE;
	set_screen_parameters(active_screen.device_index, active_screen.mode_index);
}

void get_desktop_dimensions(int16 *width, int16 *height)
{
	if (width) *width = screen_globals.desktop_width;
	if (height) *height = screen_globals.desktop_height;
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

// The chosen device's mode, NULL for the menu screen or indexes out of range.
static device_mode_info *active_mode(int16 device_index, int16 mode_index, device_info **device_out)
{
	device_info *device = get_screen_device(device_index);
	if (device_out) *device_out = device;
	if (!device || mode_index < 0 || mode_index >= device->mode_count) return NULL;
	return &device->modes[mode_index];
}

void set_active_screen(int16 device_index, int16 mode_index)
{
	active_screen.device_index = device_index;
	active_screen.mode_index = mode_index;
	device_info *device = NULL;
	const device_mode_info *mode = active_mode(device_index, mode_index, &device);
	if (mode)
	{
		active_screen.rasterizer_code = device->rasterizer_code;
		active_screen.width = mode->width;
		active_screen.height = mode->height;
		active_screen.bit_depth = mode->bit_depth;
	}
	else
	{
		active_screen.rasterizer_code = _rasterizer_software;
		active_screen.width = DEFAULT_SCREEN_WIDTH;
		active_screen.height = DEFAULT_SCREEN_HEIGHT;
		active_screen.bit_depth = DEFAULT_SCREEN_BIT_DEPTH;
	}
	active_screen.resolution_width = active_screen.width;
	active_screen.resolution_height = active_screen.height;
	active_screen.flags &= ~static_cast<uint32>(_screen_page_flipping_flag);
	// An OpenGL device draws through the back end's procedures.
	if (active_screen.rasterizer_code == _rasterizer_opengl) install_opengl_back_end();
}

static void release_pixel_structures(void)
{
	if (active_screen.offscreen_pixels_structure) dispose_bitmap_cache_hardware(active_screen.offscreen_pixels_structure);
	dispose_pointer(active_screen.offscreen_pixels_structure);
	dispose_pointer(active_screen.screen_pixels_structure);
	active_screen.offscreen_pixels_structure = NULL;
	active_screen.screen_pixels_structure = NULL;
}

// Room for a row address per row of the window.
static void allocate_pixel_structures(void)
{
	const size_t size = static_cast<size_t>(sizeof_bitmap(active_screen.height, 0));
	active_screen.offscreen_pixels_structure = static_cast<bitmap_data *>(new_pointer_z(size));
	active_screen.screen_pixels_structure = static_cast<bitmap_data *>(new_pointer_z(size));
	screen_hooks.pixel_structure_allocations += 1;
	if (!active_screen.offscreen_pixels_structure || !active_screen.screen_pixels_structure)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "could not allocate pixel structures");
		release_pixel_structures();
	}
}

static boolean open_window_and_remember(int16 width, int16 height, int16 bit_depth, boolean windowed)
{
	// The window takes the active screen's depth.
	active_screen.bit_depth = bit_depth;
	if (!create_sdl_window(width, height, windowed ? 0 : _sdl_window_fullscreen_flag)) return FALSE;
	screen_globals.window_width = width;
	screen_globals.window_height = height;
	screen_globals.window_bit_depth = bit_depth;
	screen_globals.window_windowed = windowed;
	return TRUE;
}

// The default window when no other opened: a game without any window cannot go on.
static void open_default_window_unless(boolean opened)
{
	if (!opened)
	{
		log_message(MODULE_NAME, __LINE__, "Falling back to a %d x %d window.", DEFAULT_SCREEN_WIDTH,
			DEFAULT_SCREEN_HEIGHT);
		opened = open_window_and_remember(DEFAULT_SCREEN_WIDTH, DEFAULT_SCREEN_HEIGHT, DEFAULT_SCREEN_BIT_DEPTH, TRUE);
	}
	if (!opened)
	{
		log_message(MODULE_NAME, __LINE__, "No window could be opened.");
		exit(1);
	}
}

// Draw in software for the window there is.
static void draw_in_software_for_the_window(void)
{
	active_screen.rasterizer_code = _rasterizer_software;
	active_screen.width = active_screen.resolution_width = screen_globals.window_width;
	active_screen.height = active_screen.resolution_height = screen_globals.window_height;
	active_screen.bit_depth = screen_globals.window_bit_depth;
}

int16 allocate_drawing_buffers(int16 device_index, int16 mode_index)
{
	const boolean menu_screen = device_index == NONE && mode_index == NONE;
	const boolean windowed = menu_screen || (active_screen.prefs.flags & _screen_pref_windowed_flag);
	const boolean had_window = screen_globals.window_opened_once;
	const int16 previous_width = screen_globals.window_width, previous_height = screen_globals.window_height;
	const int16 previous_depth = screen_globals.window_bit_depth;
	const boolean previous_windowed = screen_globals.window_windowed;
	set_active_screen(device_index, mode_index);

	int16 result = 0;
	if (!open_window_and_remember(active_screen.width, active_screen.height, active_screen.bit_depth, windowed))
	{
		// A failed mode must not leave the game without a window.
		result = -1;
		boolean opened = FALSE;
		if (had_window)
		{
			log_message(MODULE_NAME, __LINE__, "Falling back to the previous window, %d x %d.", previous_width,
				previous_height);
			opened = open_window_and_remember(previous_width, previous_height, previous_depth, previous_windowed);
		}
		open_default_window_unless(opened);
		draw_in_software_for_the_window();
	}
	screen_globals.window_opened_once = TRUE;
	screen_globals.fell_back = result != 0;
	active_screen.window_mode = screen_globals.window_windowed;
	active_screen.encoding = active_screen.bit_depth == 16 ? 1 : 2;
	if (menu_screen && screen_globals.menu_fullscreen && !platform_is_fullscreen()) platform_toggle_windowed_mode();
	return result;
}

void fall_back_to_software_screen(void)
{
	log_message(MODULE_NAME, __LINE__, "The hardware rasterizer could not start; falling back to Software.");
	const boolean windowed = (active_screen.prefs.flags & _screen_pref_windowed_flag) != 0;
	open_default_window_unless(
		open_window_and_remember(active_screen.width, active_screen.height, active_screen.bit_depth, windowed));
	draw_in_software_for_the_window();
	active_screen.encoding = active_screen.bit_depth == 16 ? 1 : 2;
	active_screen.window_mode = screen_globals.window_windowed;
	active_screen.device = NULL;
	active_screen.mode = NULL;
	screen_globals.fell_back = TRUE;
	// The software window is drawn through them, a row address per row.
	release_pixel_structures();
	allocate_pixel_structures();
	log_message(MODULE_NAME, __LINE__, "Running Software at %d x %d", screen_globals.window_width,
		screen_globals.window_height);
}

void dispose_drawing_buffers(void)
{
}

void set_screen_parameters(int16 old_device_index, int16 old_mode_index)
{
	LEAST("set_screen_parameters", old_device_index, old_mode_index);

	const int16 old_width = active_screen.resolution_width, old_height = active_screen.resolution_height;
	const int16 old_bit_depth = active_screen.bit_depth;
	set_active_screen(active_screen.device_index, active_screen.mode_index);
	if (!active_screen.screen_initialized) return;

	const boolean changed = old_bit_depth != active_screen.bit_depth || old_width != active_screen.resolution_width ||
		old_height != active_screen.resolution_height || old_device_index != active_screen.device_index ||
		old_mode_index != active_screen.mode_index || screen_globals.window_opengl;
	if (changed) release_pixel_structures();
	if (changed || !active_screen.offscreen_pixels_structure)
	{
		release_pixel_structures();
		allocate_drawing_buffers(active_screen.device_index, active_screen.mode_index);
		allocate_pixel_structures();
	}

	frame_rate_sample_data *rate = &screen_globals.frame_rate;
	memset(rate->frame_count_buckets, 0, sizeof(rate->frame_count_buckets));
	memset(rate->bucket_start_ticks, 0, sizeof(rate->bucket_start_ticks));
	rate->current_fps = 0;

	device_info *device = NULL;
	device_mode_info *mode = active_mode(active_screen.device_index, active_screen.mode_index, &device);
	if (game && game->state == _game_state_running && screen_globals.fell_back)
	{
		// The mode failed: name the window that opened, not the mode.
		active_screen.device = NULL;
		active_screen.mode = NULL;
		log_message(MODULE_NAME, __LINE__, "Running Software at %d x %d", screen_globals.window_width,
			screen_globals.window_height);
	}
	else if (game && game->state == _game_state_running && mode)
	{
		active_screen.device = device;
		active_screen.mode = mode;
		const char *suffix = ((active_screen.prefs.flags & _screen_pref_vsync_enabled_flag) &&
			rasterizer_supports_vsync(device->rasterizer_code)) ? " (VSync ON)" : "";
		if (mode->refresh_rate)
		{
			log_message(MODULE_NAME, __LINE__, "Running %s at %d x %d, %d Hz%s", device->name, mode->width, mode->height,
				mode->refresh_rate, suffix);
		}
		else
		{
			log_message(MODULE_NAME, __LINE__, "Running %s at %d x %d%s", device->name, mode->width, mode->height, suffix);
		}
	}
	else
	{
		active_screen.device = NULL;
		active_screen.mode = NULL;
	}
}

resolution_data *get_active_resolution_data(void)
{
	// The widest row not wider than the screen; narrow screens take row 0.
	int32 row = 0;
	for (int32 i = 1; i < NUMBER_OF_GUI_WIDTHS; ++i)
	{
		if (gui_widths_info[i].width <= active_screen.resolution_width) row = i;
	}
	return &gui_widths_info[row];
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

/* ---------- frames */

rectangle2d *get_game_screen_bounds(rectangle2d *bounds)
{
	// The resolution centred in the window.
	const int16 left = static_cast<int16>((active_screen.width - active_screen.resolution_width) / 2);
	const int16 top = static_cast<int16>((active_screen.height - active_screen.resolution_height) / 2);
	return set_rectangle2d(bounds, left, top, static_cast<int16>(left + active_screen.resolution_width),
		static_cast<int16>(top + active_screen.resolution_height));
}

void get_true_screen_dimensions(int16 *width, int16 *height)
{
	if (width) *width = active_screen.width;
	if (height) *height = active_screen.height;
}

rectangle2d *get_active_screen_bounds(rectangle2d *bounds)
{
	return set_rectangle2d(bounds, 0, 0, active_screen.width, active_screen.height);
}

rectangle2d *calculate_mouse_movement_frame(rectangle2d *frame)
{
	return get_active_screen_bounds(frame);
}

rectangle2d *calculate_destination_frame(rectangle2d *frame)
{
	get_game_screen_bounds(frame);
	const game_preferences *preferences = get_game_preferences();
	if (preferences && (preferences->flags & _game_pref_use_transparency_flag)) return frame;
	rectangle2d bar;
	if (status_bar_visible(&bar) || unit_trading_dialog_visible(&bar))
		frame->top = static_cast<int16>(frame->top + rectangle2d_height(&bar));
	if (control_bar_visible(&bar)) frame->bottom = static_cast<int16>(frame->bottom - rectangle2d_height(&bar));
	return frame;
}

rectangle2d *calculate_source_frame(rectangle2d *frame)
{
	calculate_destination_frame(frame);
	rectangle2d screen;
	get_game_screen_bounds(&screen);
	return offset_rectangle2d(frame, static_cast<int16>(-screen.left), static_cast<int16>(-screen.top));
}

/* ---------- destinations */

bitmap_data *initialize_offscreen_bitmap_with_data(const rectangle2d *bounds, uint8 *data, int32 bytes_per_row)
{
	bitmap_data *bitmap = active_screen.offscreen_pixels_structure;
	if (!bitmap || !bounds || !data) return NULL;
	// The structure has rows for the window only.
	const int32 left = PIN(static_cast<int32>(bounds->left), 0, static_cast<int32>(active_screen.width));
	const int32 top = PIN(static_cast<int32>(bounds->top), 0, static_cast<int32>(active_screen.height));
	const int32 right = PIN(static_cast<int32>(bounds->right), left, static_cast<int32>(active_screen.width));
	const int32 bottom = PIN(static_cast<int32>(bounds->bottom), top, static_cast<int32>(active_screen.height));
	const int16 upshift = get_pixel_upshift_for_bit_depth(active_screen.bit_depth);
	bitmap->width = static_cast<int16>(right - left);
	bitmap->height = static_cast<int16>(bottom - top);
	bitmap->bytes_per_row = static_cast<int16>(bytes_per_row);
	bitmap->flags = 0;
	bitmap->logical_bit_depth = active_screen.bit_depth;
	bitmap->encoding = active_screen.encoding;
	bitmap->pixel_upshift = upshift;
	bitmap->row_addresses[0] = data + (static_cast<intptr_t>(left) << upshift) + static_cast<intptr_t>(top) * bytes_per_row;
	precalculate_bitmap_row_addresses(bitmap);
	return bitmap;
}

bitmap_data *initialize_offscreen_bitmap(uint32 view_destination, rectangle2d *bounds)
{
	(void)view_destination;
	int32 bytes_per_row = 0;
	uint8 *data = platform_lock_surface(&bytes_per_row);
	if (!data) return NULL;
	bitmap_data *bitmap = initialize_offscreen_bitmap_with_data(bounds, data, bytes_per_row);
	if (!bitmap) platform_unlock_surface();
	return bitmap;
}

void release_offscreen_bitmap(bitmap_data *bitmap)
{
	if (bitmap) platform_unlock_surface();
}

static boolean hardware_display(void)
{
	return active_screen.rasterizer_code == _rasterizer_opengl;
}

bitmap_data *get_render_destination(uint32 flags, rectangle2d *bounds)
{
	LEAST("get_render_destination", flags, bounds);
	if (hardware_display()) return initialize_render_bitmap_hardware(bounds);
	return initialize_offscreen_bitmap(flags, bounds);
}

void release_render_destination(bitmap_data *bitmap)
{
	LEAST("release_render_destination", bitmap);
	if (hardware_display()) release_render_bitmap_hardware();
	else release_offscreen_bitmap(bitmap);
}

bitmap_data *get_linear_backbuffer(rectangle2d *bounds)
{
	if (hardware_display()) return get_linear_backbuffer_hardware(bounds);
	return initialize_offscreen_bitmap(0, bounds);
}

void release_linear_backbuffer(bitmap_data *bitmap)
{
	if (hardware_display()) release_linear_backbuffer_hardware();
	else release_offscreen_bitmap(bitmap);
}

void display_backbuffer(bitmap_data *source, bitmap_data *destination, const rectangle2d *source_bounds,
	const rectangle2d *destination_bounds)
{
	LEAST("display_backbuffer", source, destination, source_bounds, destination_bounds);
	if (hardware_display()) update_screen_hardware();
	else platform_display_backbuffer();
}

void erase_and_display_backbuffer(const rgb_color *color)
{
	rectangle2d bounds;
	set_rectangle2d(&bounds, 0, 0, active_screen.resolution_width, active_screen.resolution_height);
	bitmap_data *backbuffer = get_linear_backbuffer(&bounds);
	if (backbuffer)
	{
		fill_rectangle_clipped(backbuffer, color, &bounds, NULL, 0, NULL);
		release_linear_backbuffer(backbuffer);
	}
	display_backbuffer(NULL, NULL, &bounds, &bounds);
}

/* ---------- the window */

void toggle_windowed_mode(boolean update_prefs)
{
	LEAST("toggle_windowed_mode", update_prefs);
	platform_toggle_windowed_mode();
	if (!game || game->state != _game_state_running) screen_globals.menu_fullscreen = platform_is_fullscreen();
}

void set_sdl_windowed_mode(boolean windowed)
{
	if (platform_is_fullscreen() == windowed) platform_toggle_windowed_mode();
}

void iconify_window(void)
{
	LEAST("iconify_window");
	platform_iconify_window();
}

boolean display_device_supports_gamma(void)
{
	return FALSE;
}

void display_device_set_gamma(short_fixed gamma)
{
	(void)gamma;
}

void display_device_restore_gamma(void)
{
}

void initialize_software_rasterizer_for_new_map(void)
{
}

boolean should_switch_resolutions(void)
{
	return FALSE;
}

boolean is_windowed_mode(void)
{
	return FALSE;
}

/* ---------- the icon */

const uint8 *get_screen_icon_pixels(void)
{
	// A gold disc with a dark diagonal bar, ringed, on transparency.
	static uint8 pixels[SCREEN_ICON_SIZE * SCREEN_ICON_SIZE * 4];
	static boolean made = FALSE;
	if (made) return pixels;
	for (int32 y = 0; y < SCREEN_ICON_SIZE; ++y)
	{
		for (int32 x = 0; x < SCREEN_ICON_SIZE; ++x)
		{
			uint8 *p = &pixels[(y * SCREEN_ICON_SIZE + x) * 4];
			const int32 dx = 2 * x - 127, dy = 2 * y - 127;
			const int32 d2 = dx * dx + dy * dy;
			uint8 r = 0, g = 0, b = 0, a = 0;
			if (d2 <= 124 * 124)
			{
				a = 255;
				const int32 shade = 255 - d2 / 128;
				r = static_cast<uint8>(MAX(60, shade));
				g = static_cast<uint8>(MAX(40, shade * 3 / 4));
				b = 24;
				if (d2 >= 110 * 110)
				{
					r = 90;
					g = 50;
					b = 20;
				}
				// The bar: from top right to bottom left, with top and bottom strokes.
				const int32 diagonal = x + y - 127;
				const boolean stroke = (y > 28 && y < 42) || (y > 86 && y < 100);
				const boolean bar = (diagonal > -10 && diagonal < 10 && y > 28 && y < 100) || (stroke && x > 30 && x < 98);
				if (bar)
				{
					r = 40;
					g = 24;
					b = 60;
				}
			}
			p[0] = r;
			p[1] = g;
			p[2] = b;
			p[3] = a;
		}
	}
	made = TRUE;
	return pixels;
}

/* ---------- the frame rate */

frame_rate_sample_data *get_frame_rate_sample_data(void)
{
	return &screen_globals.frame_rate;
}

void toggle_frame_rate_display(void)
{
	LEAST("toggle_frame_rate_display");
	frame_rate_sample_data *rate = &screen_globals.frame_rate;
	rate->statistics_display_mode = rate->statistics_display_mode ? 0 : 1;
}

void toggle_wireframe_display(void)
{
	frame_rate_sample_data *rate = &screen_globals.frame_rate;
	rate->wireframe_display_mode = static_cast<int16>((rate->wireframe_display_mode + 1) % 3);
}

void update_fps_only(void)
{
	frame_rate_sample_data *rate = &screen_globals.frame_rate;
	const uint32 now = machine_tick_count();
	const int32 bucket = static_cast<int32>((now / 125) % 8);
	if (now - rate->bucket_start_ticks[bucket] < 125)
	{
		rate->frame_count_buckets[bucket] += 1;
	}
	else
	{
		rate->bucket_start_ticks[bucket] = now;
		rate->frame_count_buckets[bucket] = 1;
	}
	uint32 sum = 0, earliest = 0, latest = 0;
	boolean any = FALSE;
	for (int32 i = 0; i < 8; ++i)
	{
		const uint32 age = now - rate->bucket_start_ticks[i];
		if (age < 125 || age > 999 || !rate->frame_count_buckets[i]) continue;
		sum += rate->frame_count_buckets[i];
		const uint32 start = rate->bucket_start_ticks[i];
		if (!any || static_cast<int32>(start - earliest) < 0) earliest = start;
		if (!any || static_cast<int32>(start + 125 - latest) > 0) latest = start + 125;
		any = TRUE;
	}
	// No complete bucket: no rate yet.
	rate->current_fps = (any && latest != earliest) ? static_cast<float>(sum) / ((latest - earliest) / 1000.0f) : 0.0f;
}

// Appends a line when it fits whole; false once the text is full.
static bool append_statistics_line(char *buffer, int32 size, int32 *length, const char *line)
{
	const int32 n = static_cast<int32>(strlen(line));
	if (*length + n >= size) return false;
	memcpy(buffer + *length, line, static_cast<size_t>(n) + 1);
	*length += n;
	return true;
}

void get_statistics_display_text(int16 mode, char *buffer, int32 size)
{
	if (!buffer || size <= 0) return;
	buffer[0] = 0;
	int32 length = 0;
	char line[160];
	switch (mode)
	{
		case 2:
		{
			// Before the map's first frame nothing is counted: zeros.
			render_statistics s = {};
			get_render_statistics(&s);
			const render_surface_count_data &e = s.extant, &d = s.discarded;
			auto percent = [](int32 part, int32 whole) { return whole ? 100.0 * part / whole : 0.0; };
			auto pair = [&](int32 a, int32 b) { return a + b; };
			snprintf(line, sizeof(line), "#%d/#%d (%3.2f%%) triangles for #%d/#%d (%3.2f%%) bytes\r", e.triangle_count,
				pair(e.triangle_count, d.triangle_count), percent(e.triangle_count, pair(e.triangle_count, d.triangle_count)),
				static_cast<int>(s.used_memory), static_cast<int>(s.total_memory), percent(s.used_memory, s.total_memory));
			append_statistics_line(buffer, size, &length, line);
			const struct
			{
				const char *a_name, *b_name, *tail;
				int16 a_extant, a_discarded, b_extant, b_discarded;
			} rows[4] = {
				{"mesh", "reflected mesh", ",\r", e.mesh_triangle_count, d.mesh_triangle_count, e.reflected_mesh_triangle_count,
					d.reflected_mesh_triangle_count},
				{"model", "reflected model", ",\r", e.model_triangle_count, d.model_triangle_count,
					e.reflected_model_triangle_count, d.reflected_model_triangle_count},
				{"rectangle", "reflected rectangle", ",\r", e.rectangle_count, d.rectangle_count, e.reflected_rectangle_count,
					d.reflected_rectangle_count},
				{"media", "transparent", "", e.media_triangle_count, d.media_triangle_count, e.transparent_mesh_triangle_count,
					d.transparent_mesh_triangle_count},
			};
			for (const auto &r : rows)
			{
				const int32 a_total = pair(r.a_extant, r.a_discarded), b_total = pair(r.b_extant, r.b_discarded);
				snprintf(line, sizeof(line), "#%d/#%d (%3.2f%%) %s, #%d/#%d (%3.2f%%) %s%s", r.a_extant, a_total,
					percent(r.a_extant, a_total), r.a_name, r.b_extant, b_total, percent(r.b_extant, b_total), r.b_name, r.tail);
				append_statistics_line(buffer, size, &length, line);
			}
			break;
		}
		case 3:
			for (const spatial_group *g = first_spatial_group(); g; g = next_spatial_group(g))
			{
				snprintf(line, sizeof(line), "#%d %s (%3.2f,%3.2f) r==%3.2f pow==%x/%x==%3.3f\r", g->monster_count,
					tag_to_string(get_definition_subgroup(get_monster_definitions(), g->monster_type)), g->center.x / 512.0,
					g->center.y / 512.0, g->radius / 512.0, static_cast<unsigned>(static_cast<uint16>(g->attacker_power)),
					static_cast<unsigned>(static_cast<uint16>(g->power)), g->power_ratio / 65536.0);
				if (!append_statistics_line(buffer, size, &length, line)) break;
			}
			break;
		case 4:
			for (const spatial_supergroup *g = first_spatial_supergroup(); g; g = next_spatial_supergroup(g))
			{
				snprintf(line, sizeof(line), "#%d (%3.2f,%3.2f) r==%3.2f range==%3.2f pow==%x\r", g->monster_count,
					g->center.x / 512.0, g->center.y / 512.0, g->radius / 512.0, g->range / 512.0,
					static_cast<unsigned>(static_cast<uint16>(g->power)));
				if (!append_statistics_line(buffer, size, &length, line)) break;
			}
			break;
		case 5:
			debug_attack_ai(buffer, size);
			break;
		default:
			break;
	}
}

void update_fps_display(view_data *view)
{
	frame_rate_sample_data *rate = &screen_globals.frame_rate;
	if (rate->wireframe_display_mode == 1 || rate->wireframe_display_mode == 2)
	{
		if (view) rasterize_wireframe_over_surfaces(view->screen, 0, rate->wireframe_display_mode == 1 ?
			WIREFRAME_MESH_TRIANGLES : WIREFRAME_MODEL_TRIANGLES);
	}
	if (rate->statistics_display_mode < 1 || rate->statistics_display_mode > 5) return;
	if (rate->statistics_display_mode == 1) update_fps_only();
	if (!view || !view->screen) return;
	static char text[STATISTICS_DISPLAY_TEXT_SIZE];
	if (rate->statistics_display_mode != 1)
	{
		get_statistics_display_text(rate->statistics_display_mode, text, sizeof(text));
	}
	else if (rate->current_fps < 1.0f)
	{
		snprintf(text, sizeof(text), "--");
	}
	else
	{
		snprintf(text, sizeof(text), "%3.1f fps", static_cast<double>(rate->current_fps));
	}
	rectangle2d bounds;
	set_rectangle2d(&bounds, 0, 0, view->screen->width, view->screen->height);
	draw_string(view->screen, NULL, &bounds, NULL, get_interface_font_index(2), NONE, &white, text,
		_draw_string_right_justified_flag | _draw_string_wrap_flag, 0);
}
