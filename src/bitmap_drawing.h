// 2D drawing into bitmaps: lines, outlines, filled polygons and rectangles,
// bitmap copies between encodings, and sequence bitmaps placed in frames.
#ifndef BITMAP_DRAWING_H
#define BITMAP_DRAWING_H

#include "cseries.h"
#include "bitmaps.h"

enum // line modes
{
	_draw_line_8bit,
	_draw_line_16bit_555,
	_draw_line_transparent_16bit_555,
	_draw_line_16bit_565,
	_draw_line_transparent_16bit_565,
	_draw_line_32bit,
	_draw_line_transparent_32bit,
	_draw_line_hardware,
	NUMBER_OF_DRAW_LINE_MODES
};

enum // fill modes
{
	_fill_rectangle_16bit_555,
	_fill_rectangle_transparent_16bit_555,
	_fill_rectangle_16bit_565,
	_fill_rectangle_transparent_16bit_565,
	_fill_rectangle_32bit,
	_fill_rectangle_transparent_32bit,
	_fill_rectangle_hardware,
	NUMBER_OF_FILL_RECTANGLE_MODES
};

enum // copy modes
{
	_copy_to_hardware,
	_copy_8bit_to_16bit,
	_copy_16bit_to_16bit,
	_copy_16bit_555_to_32bit,
	_copy_16bit_565_to_32bit,
	_copy_32bit_to_16bit_555,
	_copy_32bit_to_16bit_565,
	_copy_16bit_555_to_16bit_565,
	_copy_16bit_565_to_16bit_555,
	_copy_16bit_transparency_to_16bit_565,
	_copy_16bit_transparency_to_16bit_555,
	_copy_8bit_transparency_to_16bit_555,
	_copy_8bit_encoded_transparency_to_16bit_555,
	_copy_8bit_to_16bit_color_key,
	_copy_8bit_transparency_to_16bit_555_color_key,
	_copy_8bit_constant_and_encoded_transparency_to_16bit_555,
	_copy_8bit_transparency_to_16bit_565,
	_copy_8bit_transparency_to_16bit_565_color_key,
	_copy_8bit_encoded_transparency_to_16bit_565,
	_copy_8bit_constant_and_encoded_transparency_to_16bit_565,
	_copy_8bit_to_32bit,
	_copy_8bit_to_32bit_color_key,
	_copy_32bit_to_32bit,
	_copy_8bit_transparency_to_32bit,
	_copy_8bit_transparency_to_32bit_color_key,
	_copy_8bit_encoded_transparency_to_32bit,
	_copy_8bit_constant_and_encoded_transparency_to_32bit,
	NUMBER_OF_COPY_BITMAP_MODES
};

enum // draw_bitmap_from_sequence flags
{
	_draw_bitmap_left_justified_bit,
	_draw_bitmap_right_justified_bit,
	_draw_bitmap_top_justified_bit,
	_draw_bitmap_bottom_justified_bit,
	_draw_bitmap_respect_registration_point_bit,
	_draw_bitmap_explicit_shading_table_provided_bit,
	_draw_bitmap_return_adjusted_bounds_bit,
	_draw_bitmap_crossfade_bit,
	NUMBER_OF_DRAW_BITMAP_FLAGS,

	_draw_bitmap_left_justified_flag = 1 << _draw_bitmap_left_justified_bit,
	_draw_bitmap_right_justified_flag = 1 << _draw_bitmap_right_justified_bit,
	_draw_bitmap_top_justified_flag = 1 << _draw_bitmap_top_justified_bit,
	_draw_bitmap_bottom_justified_flag = 1 << _draw_bitmap_bottom_justified_bit,
	_draw_bitmap_respect_registration_point_flag = 1 << _draw_bitmap_respect_registration_point_bit,
	_draw_bitmap_explicit_shading_table_provided_flag = 1 << _draw_bitmap_explicit_shading_table_provided_bit,
	_draw_bitmap_return_adjusted_bounds_flag = 1 << _draw_bitmap_return_adjusted_bounds_bit,
	_draw_bitmap_crossfade_flag = 1 << _draw_bitmap_crossfade_bit
};

enum // tile_and_bevel_rectangle flags
{
	_tile_rectangle_left_justified_bit,
	_tile_rectangle_right_justified_bit,
	_tile_rectangle_top_justified_bit,
	_tile_rectangle_bottom_justified_bit,
	_tile_rectangle_set_bevel_inset_bit,
	_tile_rectangle_respect_bevel_inset_bit,
	NUMBER_OF_TILE_RECTANGLE_FLAGS,

	_tile_rectangle_left_justified_flag = 1 << _tile_rectangle_left_justified_bit,
	_tile_rectangle_right_justified_flag = 1 << _tile_rectangle_right_justified_bit,
	_tile_rectangle_top_justified_flag = 1 << _tile_rectangle_top_justified_bit,
	_tile_rectangle_bottom_justified_flag = 1 << _tile_rectangle_bottom_justified_bit,
	_tile_rectangle_set_bevel_inset_flag = 1 << _tile_rectangle_set_bevel_inset_bit,
	_tile_rectangle_respect_bevel_inset_flag = 1 << _tile_rectangle_respect_bevel_inset_bit
};

enum // the nine pieces, by bitmap index
{
	_tile_rectangle_center,
	_tile_rectangle_top_left_corner,
	_tile_rectangle_top_right_corner,
	_tile_rectangle_bottom_left_corner,
	_tile_rectangle_bottom_right_corner,
	_tile_rectangle_top_bevel,
	_tile_rectangle_left_bevel,
	_tile_rectangle_bottom_bevel,
	_tile_rectangle_right_bevel,
	NUMBER_OF_TILE_RECTANGLE_STATES
};

extern const uint8 tile_rectangle_flags[NUMBER_OF_TILE_RECTANGLE_STATES];

#define MAXIMUM_EDGES_PER_POLYGON 32

// One non-horizontal polygon edge. x and dx are 16.16 values held in 64 bits
// so that far-apart vertices cannot overflow them.
struct polygon_edge
{
	int16 y0, y1; // top row inclusive, bottom row exclusive
	int64 x, dx;
	polygon_edge *next_vertical_edge; // ordered by y0
	polygon_edge *next_horizontal_edge; // the row's active edges, ordered by x
};

// Lines include both end points; transparency picks a level of the table.
void draw_line(bitmap_data *destination, const rgb_color *color, fixed_fraction transparency,
	const void *transparency_table, const rectangle2d *clipping_rectangle, point2d p0, point2d p1);
void frame_rectangle_clipped(bitmap_data *destination, const rgb_color *color, const rectangle2d *rectangle,
	const rectangle2d *clip, fixed_fraction transparency, const void *transparency_table);
void frame_polygon(bitmap_data *destination, const rgb_color *color, const rectangle2d *clipping_rectangle,
	fixed_fraction transparency, const void *transparency_table, const point2d *vertices, int32 vertex_count);
// Even-odd; more than MAXIMUM_EDGES_PER_POLYGON vertices draw nothing.
void fill_polygon(bitmap_data *destination, const rgb_color *color, const rectangle2d *clipping_rectangle,
	fixed_fraction transparency, const void *transparency_table, const point2d *vertices, int32 vertex_count);
// A null transparency table means the normal one.
void fill_rectangle_clipped(bitmap_data *destination, const rgb_color *color, const rectangle2d *rectangle,
	const rectangle2d *clip, fixed_fraction transparency, const void *transparency_table);

// The copy mode, NONE when no mode covers the pair; *transparency_table is
// advanced to the call's level block where the mode blends at that level.
int16 calculate_copy_bitmap_mode(const bitmap_data *destination, const bitmap_data *source,
	const void *source_color_table, fixed_fraction transparency, const uint8 **transparency_table);
// source_color_table: 256 ready destination pixels (16- or 32-bit entries).
void copy_bitmap(bitmap_data *destination, const point2d *destination_point, bitmap_data *source,
	const rectangle2d *clip, const void *source_color_table, fixed_fraction transparency,
	const void *transparency_table);
void mirror_bitmap_horizontally(bitmap_data *bitmap);

// Draws one bitmap of a sequence justified in frame (overwritten with the
// drawn bounds under _draw_bitmap_return_adjusted_bounds_flag).
void draw_bitmap_from_sequence(bitmap_data *destination, int16 collection_index, int16 sequence_index,
	int16 view_index, int16 bitmap_index, rectangle2d *frame, const rectangle2d *clip,
	const void *replacement_colors_or_shading_table, fixed_fraction transparency, int16 transparency_mode,
	uint32 flags, int16 inset);
// Tiles bounds with the nine pieces of the sequence; tile_state_map (may be
// null) gives the drawing order of the bitmap indexes, NONE leaving one out.
void tile_and_bevel_rectangle(bitmap_data *destination, int16 collection_index, int16 sequence_index,
	int16 view_index, const rectangle2d *bounds, const rectangle2d *clip, const rgb_color *replacement_colors,
	fixed_fraction transparency, int16 transparency_mode, const int16 *tile_state_map);

/* ---------- pixel access and blending (shared with the text drawing) */

inline uint16 pixel_load16(const uint8 *p)
{
	uint16 value;
	memcpy(&value, p, sizeof(value));
	return value;
}

inline uint32 pixel_load32(const uint8 *p)
{
	uint32 value;
	memcpy(&value, p, sizeof(value));
	return value;
}

inline void pixel_store16(uint8 *p, uint32 value)
{
	const uint16 v = static_cast<uint16>(value);
	memcpy(p, &v, sizeof(v));
}

inline void pixel_store32(uint8 *p, uint32 value)
{
	memcpy(p, &value, sizeof(value));
}

// Blends through one level block: entry [destination component * 32 + source component].
inline uint32 blend_pixel_555(uint32 d, uint32 s, const uint8 *level)
{
	const uint32 r = level[((d >> 10) & 31) * 32 + ((s >> 10) & 31)];
	const uint32 g = level[((d >> 5) & 31) * 32 + ((s >> 5) & 31)];
	const uint32 b = level[(d & 31) * 32 + (s & 31)];
	return (r << 10) | (g << 5) | b;
}

// Green keeps the top five of its six bits; the lowest becomes 0.
inline uint32 blend_pixel_565(uint32 d, uint32 s, const uint8 *level)
{
	const uint32 r = level[((d >> 11) & 31) * 32 + ((s >> 11) & 31)];
	const uint32 g = level[((d >> 6) & 31) * 32 + ((s >> 6) & 31)];
	const uint32 b = level[(d & 31) * 32 + (s & 31)];
	return (r << 11) | (g << 6) | b;
}

// The low three bits of each channel are lost; alpha becomes 255.
inline uint32 blend_pixel_32(uint32 d, uint32 s, const uint8 *level)
{
	const uint32 r = level[((d >> 19) & 31) * 32 + ((s >> 19) & 31)];
	const uint32 g = level[((d >> 11) & 31) * 32 + ((s >> 11) & 31)];
	const uint32 b = level[((d >> 3) & 31) * 32 + ((s >> 3) & 31)];
	return 0xFF000000u | (r << 19) | (g << 11) | (b << 3);
}

// The row's first byte (by the row table, or by stride without one).
uint8 *bitmap_row_address(const bitmap_data *bitmap, int32 row);

#endif
