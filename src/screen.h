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

void initialize_screen(void);
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
	// Opens (or resizes) the window; false on failure.
	boolean (*open_window)(int16 width, int16 height, int16 bit_depth, boolean windowed);
	void (*display_backbuffer)(void);
	void (*toggle_windowed_mode)(void);
	void (*iconify_window)(void);
	// Feeds every pending window event to queue_input_event_if_necessary.
	void (*pump_events)(void);
	boolean (*get_grab_mode)(void);
	void (*set_grab_mode)(boolean on);
};

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
	int32 frames_displayed;
	int32 iconify_count;
	boolean cursor_hidden;
};

screen_test_hooks_data *get_screen_test_hooks(void);
void reset_screen_test_hooks(void);

#endif
