// The screen: the window, the active screen device and mode, and the frame
// buffers. Menus run in a fixed 640 x 480 window.
#ifndef SCREEN_H
#define SCREEN_H

#include "cseries.h"
#include "bitmaps.h"

enum
{
	_rasterizer_software = 0,
	_rasterizer_rendition = 1,
	_rasterizer_direct3d = 2,
	_rasterizer_rave = 3,
	_rasterizer_3dfx = 4,
	_rasterizer_opengl = 5,
	_rasterizer_dx11 = 6
};

#define DEFAULT_SCREEN_WIDTH 640
#define DEFAULT_SCREEN_HEIGHT 480
#define DEFAULT_SCREEN_BIT_DEPTH 32

#define SCREEN_PREFERENCES_VERSION_NUMBER 4
#define MINIMUM_GAMMA 128
#define MAXIMUM_GAMMA 341
#define DEFAULT_GAMMA 256
#define GAMMA_DELTA 25
#define MINIMUM_MAX_FPS 15
#define MAXIMUM_MAX_FPS 300
#define DEFAULT_MAX_FPS (-90)
#define MINIMUM_TEXTURE_CACHE_SIZE 12
#define MAXIMUM_TEXTURE_CACHE_SIZE 512

enum
{
	_screen_pref_free_bit,
	_screen_pref_landscape_filtering_bit,
	_screen_pref_fog_enabled_bit,
	_screen_pref_opengl_turbo_bit,
	_screen_pref_windowed_bit,
	_screen_pref_landscape_textures_bit,
	_screen_pref_anisotropic_filtering_bit,
	_screen_pref_vsync_enabled_bit,
	_screen_pref_fullscreen_windowed_bit,

	_screen_pref_free_flag = 1 << _screen_pref_free_bit,
	_screen_pref_landscape_filtering_flag = 1 << _screen_pref_landscape_filtering_bit,
	_screen_pref_fog_enabled_flag = 1 << _screen_pref_fog_enabled_bit,
	_screen_pref_opengl_turbo_flag = 1 << _screen_pref_opengl_turbo_bit,
	_screen_pref_windowed_flag = 1 << _screen_pref_windowed_bit,
	_screen_pref_landscape_textures_flag = 1 << _screen_pref_landscape_textures_bit,
	_screen_pref_anisotropic_filtering_flag = 1 << _screen_pref_anisotropic_filtering_bit,
	_screen_pref_vsync_enabled_flag = 1 << _screen_pref_vsync_enabled_bit,
	_screen_pref_fullscreen_windowed_flag = 1 << _screen_pref_fullscreen_windowed_bit
};

// The screen preferences record (stored as a 'pref' tag).
struct screen_parameters
{
	uint16 texture_cache_size; // megabytes
	uint16 flags;
	int16 device_index;
	int16 mode_index;
	short_fixed gamma;
	// Frames per second; negative: no limit, the magnitude remembered.
	int16 max_fps;
	uint16 width;
	uint16 height;
};
STORED_SIZE(screen_parameters, 16);

enum
{
	_screen_landscape_filtering_bit,
	_screen_page_flipping_bit,
	_screen_windowed_mode_bit,
	_screen_render_in_window_bit,

	_screen_landscape_filtering_flag = 1 << _screen_landscape_filtering_bit,
	_screen_page_flipping_flag = 1 << _screen_page_flipping_bit,
	_screen_windowed_mode_flag = 1 << _screen_windowed_mode_bit,
	_screen_render_in_window_flag = 1 << _screen_render_in_window_bit
};

#define MAXIMUM_DISPLAY_DEVICE_COUNT 32
#define MAXIMUM_DISPLAY_MODE_COUNT 256
#define DEVICE_NAME_LENGTH 64

enum
{
	_device_mode_preferred_bit,
	_device_mode_nonswitching_bit,
	_device_mode_invalid_bit,

	_device_mode_preferred_flag = 1 << _device_mode_preferred_bit,
	_device_mode_nonswitching_flag = 1 << _device_mode_nonswitching_bit,
	_device_mode_invalid_flag = 1 << _device_mode_invalid_bit
};

struct device_mode_info
{
	uint32 flags;
	int16 width, height;
	int16 bit_depth;
	int16 refresh_rate; // 0 unknown
};

struct device_info_opengl
{
	int32 opengl_version; // major << 16 | minor
	boolean opengl2_device;
	char renderer[DEVICE_NAME_LENGTH];
	char vendor[DEVICE_NAME_LENGTH];
};

struct device_info
{
	int16 rasterizer_code;
	int16 mode_count;
	char name[DEVICE_NAME_LENGTH];
	device_info_opengl extra_data;
	device_mode_info modes[MAXIMUM_DISPLAY_MODE_COUNT];
};

// Neither nonswitching nor invalid.
boolean device_mode_usable(const device_mode_info *mode);

struct active_color_environment
{
	boolean screen_initialized;
	uint32 flags;
	int16 encoding; // 1 16-bit 565, 2 32-bit
	int16 device_index; // NONE with mode NONE: the 640 x 480 menu screen
	int16 mode_index;
	short_fixed gamma;
	int16 resolution_width, resolution_height;
	int16 rasterizer_code;
	int16 width, height, bit_depth;
	device_info *device; // while a game runs, else NULL
	device_mode_info *mode;
	bitmap_data *offscreen_pixels_structure;
	bitmap_data *screen_pixels_structure;
	screen_parameters prefs;
	boolean window_mode;
};

extern active_color_environment active_screen;

// One row of the per-resolution interface layout.
struct resolution_data
{
	int16 width, height;
	file_tag control_bar_dialog, control_bar_collection;
	file_tag status_bar_dialog, status_bar_collection;
	file_tag unit_trading_dialog, unit_trading_collection;
};

struct frame_rate_sample_data
{
	int16 wireframe_display_mode; // 0 off, 1, 2
	int16 statistics_display_mode; // 0 off, 1 frame rate
	uint32 frame_count_buckets[8];
	uint32 bucket_start_ticks[8]; // milliseconds
	float current_fps;
};

struct dialog_data;
struct view_data;

void initialize_screen(void);
void initialize_drawing_manager(void);

/* ---------- devices (screen_setup.cpp) */

void query_for_screen_devices(void);
void query_software_device(void);
// Builds one device's modes through the platform's mode list and reports it.
void display_device_query_and_report_modes(int16 rasterizer_code, const char *rasterizer_string,
	const device_info_opengl *device_extra);
// The new count; beyond 32 nothing is added.
int16 report_device(const device_info *device);
int16 get_screen_device_count(void);
device_info *get_screen_device(int16 device_index);
void select_best_device_found(int16 *best_device_index, int16 *best_mode_index);
void add_screen_devices_to_list(dialog_data *dialog, int16 dialog_item);
void add_screen_resolutions_to_list(dialog_data *dialog, int16 dialog_item, int16 device_index);
// Forgets every device (tests).
void clear_screen_devices(void);

/* ---------- the active screen */

void set_active_screen(int16 device_index, int16 mode_index);
// 0, or -1 when no window could be opened.
int16 allocate_drawing_buffers(int16 device_index, int16 mode_index);
// A starting game whose hardware rasterizer could not start draws in software
// in a window of its mode's size (else a 640 x 480 one), as a failed mode does.
void fall_back_to_software_screen(void);
void dispose_drawing_buffers(void);
void get_true_screen_dimensions(int16 *width, int16 *height);
// The desktop size remembered at start-up.
void get_desktop_dimensions(int16 *width, int16 *height);
rectangle2d *get_active_screen_bounds(rectangle2d *bounds);
rectangle2d *calculate_mouse_movement_frame(rectangle2d *frame);
rectangle2d *calculate_destination_frame(rectangle2d *frame);
rectangle2d *calculate_source_frame(rectangle2d *frame);
bitmap_data *get_linear_backbuffer(rectangle2d *bounds);
void release_linear_backbuffer(bitmap_data *bitmap);
bitmap_data *initialize_offscreen_bitmap(uint32 view_destination, rectangle2d *bounds);
void release_offscreen_bitmap(bitmap_data *bitmap);
bitmap_data *initialize_offscreen_bitmap_with_data(const rectangle2d *bounds, uint8 *data, int32 bytes_per_row);
void erase_and_display_backbuffer(const rgb_color *color);
boolean is_valid_resolution(int32 width, int32 height);
void set_sdl_windowed_mode(boolean windowed);
void toggle_wireframe_display(void);
void update_fps_display(view_data *view);
// The text of statistics modes 2 to 5 (render counts, spatial groups,
// supergroups, attack groups), cut at whole lines to fit size bytes.
#define STATISTICS_DISPLAY_TEXT_SIZE 8192
void get_statistics_display_text(int16 mode, char *buffer, int32 size);
void update_fps_only(void);
frame_rate_sample_data *get_frame_rate_sample_data(void);
boolean display_device_supports_gamma(void);
void display_device_set_gamma(short_fixed gamma);
void display_device_restore_gamma(void);
void initialize_software_rasterizer_for_new_map(void);
boolean should_switch_resolutions(void);
boolean is_windowed_mode(void);
// The built-in window icon: 128 x 128 RGBA bytes.
#define SCREEN_ICON_SIZE 128
const uint8 *get_screen_icon_pixels(void);
// Device, mode, gamma and landscape filtering from the preferences.
void reset_active_screen_to_prefs(void);
// Applies the active device and mode; NONE and NONE give the 640 x 480 window.
void set_screen_parameters(int16 old_device_index, int16 old_mode_index);
resolution_data *get_active_resolution_data(void);
// Whether the collection is the bar or unit-trading art of some resolution
// (those are left out of preload lists).
boolean is_resolution_collection(file_tag collection_tag);
rectangle2d *get_game_screen_bounds(rectangle2d *bounds);
bitmap_data *get_render_destination(uint32 flags, rectangle2d *bounds);
void release_render_destination(bitmap_data *bitmap);
void display_backbuffer(bitmap_data *source, bitmap_data *destination, const rectangle2d *source_bounds,
	const rectangle2d *destination_bounds);
void toggle_windowed_mode(boolean update_prefs);
void toggle_frame_rate_display(void);
void iconify_window(void);

/* ---------- platform side */

// What the window system does. The engine carries no window system: without
// installed procedures the screen and input run headless, recording in their
// test hooks what they were asked to do. The SDL library installs its own.
struct platform_procedures_data
{
	// Starts video; on failure logs and exits with status 1.
	boolean (*initialize_video)(void);
	// Opens (or resizes) the window at the active screen's bit depth, with the
	// icon, caption and window properties; flags are the _sdl_window_ bits,
	// mapped to the window system's own. False on failure.
	boolean (*create_sdl_window)(int16 width, int16 height, uint32 flags);
	// The full-screen sizes: their count, -1 for "any size", 0 for none.
	int32 (*list_modes)(boolean opengl, int16 *widths, int16 *heights, int32 maximum_count);
	// The desktop before the first window.
	void (*get_desktop_size)(int16 *width, int16 *height);
	// The window's pixels, locked when they must be; NULL without a window.
	uint8 *(*lock_surface)(int32 *bytes_per_row);
	void (*unlock_surface)(void);
	boolean (*is_fullscreen)(void);
	// Reports the OpenGL devices (none without a back end).
	void (*query_opengl_devices)(void);
	void (*display_backbuffer)(void);
	void (*toggle_windowed_mode)(void);
	void (*iconify_window)(void);
	// Feeds every pending window event to queue_input_event_if_necessary.
	void (*pump_events)(void);
	boolean (*get_grab_mode)(void);
	void (*set_grab_mode)(boolean on);

	// OpenGL, left null where there is none. The attributes apply to the next
	// window made with _sdl_window_opengl_flag (the swap interval among them).
	void (*opengl_set_attributes)(int32 depth_size, int32 swap_interval);
	// Fills the entry points every context has (OpenGL 1.x and GLU); false
	// when there is no current context.
	boolean (*opengl_load_api)(struct opengl_api_data *api);
	void *(*opengl_get_proc_address)(const char *name);
	void (*opengl_swap_buffers)(void);
	// Changes the interval of a running context; false when it cannot.
	boolean (*opengl_set_swap_interval)(int32 interval);
	const char *(*opengl_error_string)(void);
};

// The engine's own window bits, given to create_sdl_window.
enum
{
	_sdl_window_fullscreen_bit,
	_sdl_window_opengl_bit,

	_sdl_window_fullscreen_flag = 1 << _sdl_window_fullscreen_bit,
	_sdl_window_opengl_flag = 1 << _sdl_window_opengl_bit
};

// Opens the window at the active screen's bit depth (the platform's, or the
// headless block of pixels); false on failure.
boolean create_sdl_window(int16 width, int16 height, uint32 flags);

// NULL goes back to headless.
void install_platform_procedures(const platform_procedures_data *procedures);
const platform_procedures_data *get_platform_procedures(void);
// Defined by the SDL library only: installs the SDL window and input.
void install_sdl_platform(void);
// Defined by the headless library only (tests): back to headless, hooks
// cleared.
void use_headless_platform(void);

struct screen_test_hooks_data
{
	least_call_log calls;

	// What the headless side was asked to do.
	boolean video_started;
	boolean window_open;
	int16 window_width, window_height, window_bit_depth;
	boolean windowed;
	boolean window_opengl;
	int32 frames_displayed;
	int32 iconify_count;
	boolean cursor_hidden;

	// The mode answer of the headless platform: the default is one
	// 1024 x 768 mode (what the project's X server gives).
	int16 mode_answer;
	int32 listed_mode_count;
	int16 listed_widths[MAXIMUM_DISPLAY_MODE_COUNT + 8], listed_heights[MAXIMUM_DISPLAY_MODE_COUNT + 8];
	int16 desktop_width, desktop_height;
	// Fails the next window openings while positive.
	int32 fail_open_window_count;
	int32 window_open_count;
	// The headless window's pixels (32-bit).
	uint8 *surface_pixels;
	int32 surface_bytes_per_row;
	int32 pixel_structure_allocations;
};

enum // headless mode answers
{
	_headless_modes_default,
	_headless_modes_none,
	_headless_modes_any,
	_headless_modes_list
};

screen_test_hooks_data *get_screen_test_hooks(void);
void reset_screen_test_hooks(void);
// The active screen as the process starts: no device or mode chosen.
active_color_environment get_default_active_screen(void);

#endif
