// The one seam between renderer-neutral code and a hardware back end. Each
// operation forwards to the OpenGL back end when the display (rasterizer
// code) or the destination bitmap (encoding) says so and the back end has
// installed its procedures; otherwise it gives a neutral answer.
#ifndef HARDWARE_RASTERIZERS_H
#define HARDWARE_RASTERIZERS_H

#include "cseries.h"
#include "bitmaps.h"
#include "least_layer.h"

struct dialog_data;
struct dialog_rasterization_data;
struct detail_texture_definition;
struct font_character;
struct view_data;
struct render_surface_list;

#ifndef NUMBER_OF_RASTERIZER_CODES
#define NUMBER_OF_RASTERIZER_CODES 7
#endif

enum // preallocated hardware texture slots
{
	_preallocated_status_bar_textures,
	_preallocated_color_map_textures,
	_preallocated_font_texture,
	_preallocated_control_bar_textures,
	NUMBER_OF_PREALLOCATED_TEXTURES
};

#define NUMBER_OF_PREALLOCATED_LANDSCAPE_TEXTURES 32
#define NUMBER_OF_TEXTURE_CACHE_ENTRIES 3000
#define NUMBER_OF_D3D_TEXTURE_CACHE_ENTRIES 6000

/* ---------- the OpenGL back end's procedures */

// Installed by the OpenGL back end; every missing entry keeps its operation off.
struct opengl_rasterizer_procedures
{
	boolean (*initialize_opengl_rasterizer_for_new_map)(void);
	void (*initialize_opengl_mesh_parameters_for_new_map)(void);
	void (*dispose_opengl_rasterizer_from_old_map)(void);
	bitmap_data *(*initialize_opengl_render_bitmap)(const rectangle2d *bounds);
	void (*clear_opengl_backbuffer)(void);
	void (*copy_opengl_world_to_screen)(void);
	void (*download_control_or_status_bar_opengl)(dialog_rasterization_data *rasterization, int16 slot);
	void (*draw_bitmap_opengl)(bitmap_data *bitmap, const rectangle2d *bounds, int32 flags);
	void (*copy_bits_from_opengl_render_buffer)(const rectangle2d *bounds, bitmap_data *destination);
	void (*set_vsync_interval_opengl)(int32 interval);
	void (*create_detail_texture_opengl)(detail_texture_definition *definition);
	void (*dispose_detail_texture_opengl)(detail_texture_definition *definition);
	void (*dispose_bitmap_cache_opengl)(bitmap_data *bitmap);
	void (*rasterize_scene_opengl)(view_data *view, render_surface_list *surfaces);
	void (*draw_character_to_opengl_frame_buffer)(bitmap_data *destination, const font_character *character,
		int32 color, int32 x0, int32 y0, int32 x, int32 y, int32 width, int32 height);
	void (*draw_line_opengl)(bitmap_data *destination, int32 pel, point2d p0, point2d p1);
	void (*fill_rectangle_opengl)(bitmap_data *destination, int32 pel, int32 left, int32 right, int32 top,
		int32 bottom);
	void (*stretch_copy_bitmap_opengl)(bitmap_data *destination, bitmap_data *source,
		const color_table *source_color_table, const rectangle2d *source_rectangle,
		const rectangle2d *destination_rectangle, uint32 transparency, boolean smooth);
	void (*fill_polygon_opengl)(bitmap_data *destination, int32 pel, const point2d *vertices, int32 vertex_count);
};

// NULL empties the table: every operation answers "off".
void install_opengl_rasterizer_procedures(const opengl_rasterizer_procedures *procedures);
const opengl_rasterizer_procedures *get_opengl_rasterizer_procedures(void);

/* ---------- per map and per frame */

boolean initialize_hardware_rasterizer_for_new_map(void);
// The mesh's fog for the back end; runs once the mesh is loaded.
void initialize_rasterizer_mesh_parameters_for_new_map(void);
void dispose_hardware_rasterizer_from_old_map(void);
// 0 while a map loads, -1 goes back to the screen preferences.
void set_vsync_interval(int32 interval);
void preload_bitmap_into_cache_hardware(bitmap_data *bitmap);
bitmap_data *initialize_render_bitmap_hardware(const rectangle2d *bounds);
void release_render_bitmap_hardware(void);
bitmap_data *get_linear_backbuffer_hardware(const rectangle2d *bounds);
void release_linear_backbuffer_hardware(void);
boolean clear_linear_backbuffer_hardware(void);
void update_screen_hardware(void);
void render_begin_hardware(void);
// dont_flip: nothing was drawn this frame.
void render_end_hardware(boolean dont_flip);
void rasterize_scene_hardware(view_data *view, render_surface_list *surfaces);

/* ---------- dialogs */

// Gives the dialog its 32-bit bitmap (once) and draws the dialog into it.
void draw_dialog_hardware(dialog_data *dialog);
void draw_control_or_status_bar_hardware(dialog_rasterization_data *rasterization, boolean control_bar);
// Without full-screen bounds the active screen's window is used. FALSE when
// nothing could be drawn.
boolean rasterize_dialog_hardware(dialog_rasterization_data *rasterization,
	const rectangle2d *full_screen_bounds = nullptr);
void copy_bits_from_render_view_hardware(const rectangle2d *bounds, bitmap_data *destination);

/* ---------- capabilities */

void get_bit_depth_and_encoding_hardware(int16 *bit_depth, int16 *encoding);
boolean rasterizer_requires_hardware_format_cache(int16 rasterizer_code);
// On a device's rasterizer code (the device records come with the screen devices).
boolean rasterizer_supports_gamma(int16 rasterizer_code);
boolean rasterizer_requires_square_textures(void);
boolean rasterizer_supports_fog(int16 rasterizer_code);
boolean rasterizer_supports_vsync(int16 rasterizer_code);
boolean is_hardware_encoding(int16 encoding);

/* ---------- textures and drawing */

void create_detail_texture_hardware(detail_texture_definition *definition);
void dispose_detail_texture_hardware(detail_texture_definition *definition);
void dispose_bitmap_cache_hardware(bitmap_data *bitmap);
void draw_character_to_hardware_frame_buffer(bitmap_data *destination, const font_character *character, int32 color,
	int32 x0, int32 y0, int32 x, int32 y, int32 width, int32 height);
void draw_line_hardware(bitmap_data *destination, int32 pel, point2d p0, point2d p1);
void fill_rectangle_hardware(bitmap_data *destination, int32 pel, int32 left, int32 right, int32 top, int32 bottom);
void stretch_copy_bitmap_hardware(bitmap_data *destination, bitmap_data *source, const color_table *source_color_table,
	const rectangle2d *source_rectangle, const rectangle2d *destination_rectangle, fixed_fraction transparency,
	boolean smooth);
void copy_bitmap_hardware(bitmap_data *destination, bitmap_data *source, const color_table *source_color_table,
	const rectangle2d *source_rectangle, point2d destination_point, int32 transparency);
void fill_polygon_hardware(bitmap_data *destination, int32 pel, const point2d *vertices, int32 vertex_count);

// Whether the status and control bars went to the back end since the map began.
boolean get_status_bars_downloaded(void);

/* ---------- test hooks */

struct hardware_rasterizers_test_hooks_data
{
	least_call_log calls;

	// The back buffer that dialogs are copied into on the software path
	// (instead of the screen's), and whether it was released.
	bitmap_data *linear_backbuffer;
	int32 linear_backbuffer_releases;
	// The display's gamma answer for codes 0, 5 and 6.
	boolean display_supports_gamma;
	boolean requires_square_textures;
	// While set, these stand for the interface's status and control bars.
	boolean use_hooked_bar_dialogs;
	dialog_data *status_bar_dialog;
	dialog_data *control_bar_dialog;
};

hardware_rasterizers_test_hooks_data *get_hardware_rasterizers_test_hooks(void);
// Also empties the OpenGL table and clears status_bars_downloaded.
void reset_hardware_rasterizers_test_hooks(void);

#endif
