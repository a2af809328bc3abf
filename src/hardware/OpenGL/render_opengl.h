// The drawing half of the OpenGL back end: a frame's sorted surfaces and the
// two-dimensional calls of the hardware seam.
#ifndef RENDER_OPENGL_H
#define RENDER_OPENGL_H

#include "cseries.h"
#include "bitmaps.h"

struct view_data;
struct render_surface;
struct render_surface_list;
struct render_rectangle_geometry;
struct dialog_rasterization_data;
struct font_character;

#define MAXIMUM_CACHED_BITMAPS 16
#define HARDWARE_BITMAP_SIZE 256
#define MAXIMUM_OPENGL_CHUNK_SIZE 8192

struct bitmap_tex_cache_entry_data
{
	uint32 *textures;
	int32 num_textures;
	bitmap_data *bitmap;
};

extern bitmap_tex_cache_entry_data cached_bitmaps[MAXIMUM_CACHED_BITMAPS];
extern int32 cached_bitmap_count;

struct tint_shader_data
{
	uint8 tint_kpqr[4];
	uint8 color[4]; // x, y, z, a
};

extern tint_shader_data current_tint_shader;
extern int32 filled_rectangle_depth_mode, rectangle_depth_mode, model_triangle_depth_mode;
extern int32 frame_index;
extern boolean rasterizing_scene;
extern const uint8 zero_one[2];

void rasterize_scene_opengl(view_data *view, render_surface_list *surfaces);

void draw_bitmap_opengl(bitmap_data *bitmap, const rectangle2d *bounds, int32 transparency);
void download_control_or_status_bar_opengl(dialog_rasterization_data *rasterization, int16 slot);
void dispose_bitmap_cache_opengl(bitmap_data *bitmap);
void dispose_cached_bitmaps_opengl(void);
void stretch_copy_bitmap_opengl(bitmap_data *destination, bitmap_data *source, const color_table *source_color_table,
	const rectangle2d *source_rectangle, const rectangle2d *destination_rectangle, uint32 transparency,
	boolean smooth);
void fill_rectangle_opengl(bitmap_data *destination, int32 color, int32 left, int32 right, int32 top, int32 bottom);
void draw_line_opengl(bitmap_data *destination, int32 color, point2d p0, point2d p1);
void fill_polygon_opengl(bitmap_data *destination, int32 color, const point2d *vertices, int32 vertex_count);
void draw_character_to_opengl_frame_buffer(bitmap_data *destination, const font_character *character, int32 color,
	int32 x0, int32 y0, int32 x, int32 y, int32 width, int32 height);

// The depth of a filled rectangle's edge (shaders on, surface z < 0); a
// degenerate edge keeps the plain surface z. Clamped to 16 bits.
int16 filled_rectangle_edge_depth(float oy, float z, float y_edge, float m21, float m22, float unproject_scale,
	float unproject_bias);
// A sprite edge's w; a zero denominator keeps z. Clamped to 16 bits.
int16 sprite_edge_w(float oy, float z, float y_edge, float m21, float m22);

// A sprite's quad in viewer units (y upwards) and its texture corners, v
// given at the quad's top and bottom edges.
struct opengl_sprite_quad
{
	float x0, x1, y0, y1;
	float u0, u1, v_top, v_bottom;
};
// The quad of a sprite whose viewer rectangle is known, cut at its clip rows
// and viewer clips; false when nothing is left to draw.
boolean opengl_sprite_quad_geometry(const render_rectangle_geometry *geometry, uint16 surface_flags, int32 bitmap_width,
	int32 bitmap_height, int32 adjusted_width, int32 adjusted_height, int32 hardware_width, int32 hardware_height,
	opengl_sprite_quad *quad);

void reset_render_opengl_state(void);
void reset_render_opengl_drawing_state(void);

#endif
