// Bitmaps, colours, colour tables, rectangles and points, and the 2D drawing
// calls made on them.
#ifndef BITMAPS_H
#define BITMAPS_H

#include "cseries.h"
#include "least_layer.h"

/* ---------- colours */

struct rgb_color
{
	uint16 red, green, blue, flags;
};
STORED_SIZE(rgb_color, 8);

// Hue measures a full turn as 65536.
struct hsv_color
{
	uint16 hue, saturation, value, flags;
};
STORED_SIZE(hsv_color, 8);

#define MAXIMUM_COLOR_TABLE_COLORS 256

struct color_table
{
	int32 color_count;
	int32 seed;
	uint32 acceleration_cookie;
	int32 unused[5];
	rgb_color colors[MAXIMUM_COLOR_TABLE_COLORS];
};
STORED_SIZE(color_table, 2080);

/* ---------- rectangles and points */

// Right and bottom are exclusive.
struct rectangle2d
{
	int16 top, left, bottom, right;
};
STORED_SIZE(rectangle2d, 8);

struct point2d
{
	int16 x, y;
};
STORED_SIZE(point2d, 4);

enum
{
	_adjust_rectangle_center,
	_adjust_rectangle_alert
};

/* ---------- bitmaps */

enum
{
	_16bit_555_encoding,
	_16bit_565_encoding,
	_32bit_encoding,
	_16bit_88_encoding,
	_8bit_encoding,
	_16bit_xrgb_1555_texture_encoding,
	_16bit_argb_1555_texture_encoding,
	_16bit_argb_4444_texture_encoding,
	_32bit_xrgb_8888_texture_encoding,
	_32bit_argb_8888_texture_encoding,
	_3dfx_frame_buffer_encoding,
	_rendition_frame_buffer_encoding,
	_direct3d_frame_buffer_encoding,
	_rave_frame_buffer_encoding,
	_opengl_frame_buffer_encoding,
	_dx11_frame_buffer_encoding,
	NUMBER_OF_BITMAP_ENCODINGS
};

enum
{
	_8bit = 8,
	_16bit = 16,
	_32bit = 32
};

enum
{
	_power_of_two_bit,
	_bitmap_color_key_transparency_bit,
	_1bit_transparency_encoded_bit,
	_4bit_light_mask_encoded_bit,
	_4bit_transparency_encoded_bit,
	_no_row_address_table_bit,
	_word_aligned_encoding_bit,
	_grayscale_bitmap_bit,
	_pixel_free_bit,
	_postprocessed_bitmap_bit,
	_protected_bitmap_bit,
	_bitmap_is_overlay_bit,
	_bitmap_changed_bit,
	_bitmap_in_collection_bit,
	_bitmap_extended_encoding_bit,
	NUMBER_OF_BITMAP_FLAGS,

	_power_of_two_flag = 1 << _power_of_two_bit,
	_bitmap_color_key_transparency_flag = 1 << _bitmap_color_key_transparency_bit,
	_1bit_transparency_encoded_flag = 1 << _1bit_transparency_encoded_bit,
	_4bit_light_mask_encoded_flag = 1 << _4bit_light_mask_encoded_bit,
	_4bit_transparency_encoded_flag = 1 << _4bit_transparency_encoded_bit,
	_no_row_address_table_flag = 1 << _no_row_address_table_bit,
	_word_aligned_encoding_flag = 1 << _word_aligned_encoding_bit,
	_grayscale_bitmap_flag = 1 << _grayscale_bitmap_bit,
	_pixel_free_flag = 1 << _pixel_free_bit,
	_postprocessed_bitmap_flag = 1 << _postprocessed_bitmap_bit,
	_protected_bitmap_flag = 1 << _protected_bitmap_bit,
	_bitmap_is_overlay_flag = 1 << _bitmap_is_overlay_bit,
	_bitmap_changed_flag = 1 << _bitmap_changed_bit,
	_bitmap_in_collection_flag = 1 << _bitmap_in_collection_bit,
	_bitmap_extended_encoding_flag = 1 << _bitmap_extended_encoding_bit
};

#define MAXIMUM_NUMBER_OF_SHADED_BITMAPS 2

// In memory only; its stored form is converted field by field.
struct bitmap_data
{
	int16 width, height;
	int16 bytes_per_row;
	int16 flags;
	int16 logical_bit_depth;
	int16 width_bits, height_bits;
	int16 pixel_upshift;
	int16 encoding;
	int16 hardware_texture_cache_index;
	uint32 hardware_address;
	void *hardware_format;
	int16 hardware_width_bits, hardware_height_bits;
	int16 hardware_height, hardware_width;
	int16 x0, y0;
	int16 collection_index, bitmap_index;
	int16 shaded_hardware_addresses[MAXIMUM_NUMBER_OF_SHADED_BITMAPS];
	// One address per row follows in the same block; only the first is here.
	uint8 *row_addresses[1];
};

/* ---------- operations */

// Bytes of a colour table of count colours: 32 + 8 per colour.
int32 sizeof_color_table(int32 count);
// log2 of the bytes per pixel: 8 -> 0, 16 -> 1, 32 -> 2; 0 for other depths.
int16 get_pixel_upshift_for_bit_depth(int16 depth);

hsv_color *rgb_color_to_hsv_color(const rgb_color *rgb, hsv_color *hsv);
rgb_color *hsv_color_to_rgb_color(const hsv_color *hsv, rgb_color *rgb);

void precalculate_bitmap_row_addresses(bitmap_data *bitmap);
void mirror_bitmap_horizontally(bitmap_data *bitmap);

// Note the argument order: left, top, right, bottom.
rectangle2d *set_rectangle2d(rectangle2d *rectangle, int16 left, int16 top, int16 right, int16 bottom);
rectangle2d *offset_rectangle2d(rectangle2d *rectangle, int16 dx, int16 dy);
int16 rectangle2d_width(const rectangle2d *rectangle);
int16 rectangle2d_height(const rectangle2d *rectangle);
// Places source inside bounds by mode (_adjust_rectangle_center,
// _adjust_rectangle_alert; others leave it as it is) into destination.
rectangle2d *adjust_rectangle2d(const rectangle2d *bounds, const rectangle2d *source, rectangle2d *destination,
	int16 mode);

// 2D drawing (nothing is drawn yet).
void fill_rectangle_clipped(bitmap_data *destination, const rgb_color *color, const rectangle2d *rectangle,
	const rectangle2d *clip, fixed_fraction transparency, const void *transparency_table);
void frame_polygon(bitmap_data *destination, const rgb_color *color, const rectangle2d *clipping_rectangle,
	fixed_fraction transparency, const void *transparency_table, const point2d *vertices, int32 vertex_count);
void fill_polygon(bitmap_data *destination, const rgb_color *color, const rectangle2d *clipping_rectangle,
	fixed_fraction transparency, const void *transparency_table, const point2d *vertices, int32 vertex_count);

/* ---------- test hooks */

struct bitmaps_test_hooks_data
{
	least_call_log calls;
};

bitmaps_test_hooks_data *get_bitmaps_test_hooks(void);
void reset_bitmaps_test_hooks(void);

#endif
