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

inline constexpr byte_swap_code color_table_byte_swapping_data[] =
{
	_begin_bs_array, 1,
	_4byte, _4byte, _4byte, 20,
	_begin_bs_array, MAXIMUM_COLOR_TABLE_COLORS, _2byte, _2byte, _2byte, _2byte, _end_bs_array,
	_end_bs_array
};
static_assert(get_byte_swap_struct_size(color_table_byte_swapping_data) == sizeof(color_table));

// The program's named colours (flags 0).
extern const rgb_color white, black, red, green, blue;

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

/* ---------- pixels */

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

#define PIXEL8_MAXIMUM_COLORS 256
#define PIXEL16_555_MAXIMUM_COLORS 32768
#define PIXEL16_565_MAXIMUM_COLORS 65536
#define PIXEL32_MAXIMUM_COLORS 16777216

#define PIXEL16_555_BITS_PER_COMPONENT 5
#define PIXEL16_555_COMPONENT_MASK 31
#define PIXEL16_565_RED_BITS 5
#define PIXEL16_565_GREEN_BITS 6
#define PIXEL16_565_BLUE_BITS 5
#define PIXEL16_565_RED_MASK 31
#define PIXEL16_565_GREEN_MASK 63
#define PIXEL16_565_BLUE_MASK 31
#define PIXEL32_BITS_PER_COMPONENT 8
#define PIXEL32_COMPONENT_MASK 255
#define PIXEL16_4444_BITS_PER_COMPONENT 4
#define PIXEL16_4444_COMPONENT_MASK 15

// 4-bit transparency level of 16-bit pixels (0 opaque, 15 transparent).
#define ENCODED_TRANSPARENCY_BIT_OFFSET 8

/* ---------- transparency tables (built with the shading tables) */

#define TRANSPARENCY_BITS 4
#define NUMBER_OF_TRANSPARENCY_LEVELS (1 << TRANSPARENCY_BITS)
#define TRANSPARENCY_MASK (NUMBER_OF_TRANSPARENCY_LEVELS - 1)
#define uOPAQUE 0
#define uTRANSPARENT 15
// 16 levels of 32 x 32 blended 5-bit components.
#define TRANSPARENCY_TABLE_SIZE (NUMBER_OF_TRANSPARENCY_LEVELS * 32 * 32)

/* ---------- bitmaps */

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
	_bitmap_extended_encoding_flag = 1 << _bitmap_extended_encoding_bit,

	_bitmap_mask_flags = _4bit_transparency_encoded_flag,
	_bitmap_obsolete_flags = _4bit_light_mask_encoded_flag | _pixel_free_flag | _protected_bitmap_flag,
	_bitmap_postprocessed_flags = _power_of_two_flag | _postprocessed_bitmap_flag | _bitmap_changed_flag |
		_bitmap_in_collection_flag,
	// Lines, polygons and fills refuse destinations with any of these.
	_bitmap_undrawable_flags = _1bit_transparency_encoded_flag | _4bit_light_mask_encoded_flag |
		_4bit_transparency_encoded_flag | _grayscale_bitmap_flag
};
static_assert(_bitmap_obsolete_flags == 1288 && _bitmap_postprocessed_flags == 12801 &&
	_bitmap_undrawable_flags == 0x9C);

#define MAXIMUM_NUMBER_OF_SHADED_BITMAPS 2
#define MAXIMUM_NUMBER_OF_SHADED_BITMAP_REFERENCES 6

// Bytes 0-47 are the stored record's; the stored 4-byte row address at 48
// becomes the native row table, which continues past the record in the same
// block (one entry per row, at least one).
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
	uint32 hardware_format; // a back-end handle; 0 on disk
	int16 hardware_width_bits, hardware_height_bits;
	int16 hardware_height, hardware_width;
	int16 x0, y0;
	int16 collection_index, bitmap_index;
	int16 shaded_hardware_addresses[MAXIMUM_NUMBER_OF_SHADED_BITMAPS];
	uint8 *row_addresses[1];
};
static_assert(offsetof(bitmap_data, hardware_format) == 24 && offsetof(bitmap_data, x0) == 36 &&
	offsetof(bitmap_data, shaded_hardware_addresses) == 44 && offsetof(bitmap_data, row_addresses) == 48);

// The stored record inside a collection, before its row table and pixels.
#define STORED_BITMAP_HEADER_SIZE 52
#define BITMAP_HEADER_FIXED_SIZE 48

// The stored record: nine 16-bit fields, then 30 and 4 bytes left as they stand.
inline constexpr byte_swap_code bitmap_data_byte_swapping_data[] =
{
	_begin_bs_array, 1,
	_2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, 30, 4,
	_end_bs_array
};
static_assert(get_byte_swap_struct_size(bitmap_data_byte_swapping_data) == STORED_BITMAP_HEADER_SIZE);

// One row-span run: [start, end).
struct encoded_span
{
	int16 start, end;
};
STORED_SIZE(encoded_span, 4);

#define ROW_SPAN_HEADER_SIZE 4

enum
{
	_decompress_bitmap_8,
	_decompress_bitmap_88
};
#define POSTPROCESS_PASSES 1

/* ---------- bitmap operations */

// NULL when a row cannot hold width pixels, a size is negative, the encoding
// is unknown or memory runs out. The block is zero-filled; free it with
// dispose_pointer.
bitmap_data *new_bitmap(int32 width, int32 height, int32 bytes_per_row, int32 encoding, int32 flags);
// Bytes of the in-memory record and its row table.
int32 sizeof_bitmap(int32 height, int32 flags);
// Bytes of the stored record and its 4-byte row table (52, or 48 + 4 x height):
// where a stored bitmap's pixels begin.
int32 sizeof_stored_bitmap(int32 height, int32 flags);
// Bytes per pixel; 0 for frame buffers and unknown encodings.
int16 get_encoding_byte_depth(int16 encoding);
void set_bitmap_encoding(bitmap_data *bitmap, int16 encoding);
void precalculate_bitmap_row_addresses(bitmap_data *bitmap);
void postprocess_extracted_bitmap(bitmap_data *bitmap);
// Converts the stored record's leading fields (its own inverse).
void byte_swap_bitmap(bitmap_data *bitmap);
// Converts big-endian stored pixels and row-span headers to native order,
// starting from row_addresses[0]; run-length streams are left alone.
void byte_swap_bitmap_pixels(bitmap_data *bitmap);
// The reverse, for writing: native pixels back to their stored order.
void byte_swap_bitmap_pixels_out(bitmap_data *bitmap);
// Bytes of one row-span row whose counts are given: the rule the row table,
// the conversions, the checks and the writers share.
int32 row_span_row_size(int32 span_count, int32 pixel_count, int16 pixel_upshift, int32 flags);
// Checks a stored bitmap whose record has been converted to native order and
// whose pixels (still stored order) lie in pixel_bytes bytes at pixels. FALSE
// with a short description of the fault (for "%s of bitmap #%d ... is corrupt")
// in fault. Run-length streams (extended encoding 1) must hold every pixel.
boolean check_stored_bitmap(const bitmap_data *bitmap, const void *pixels, int32 pixel_bytes, char *fault,
	int32 fault_size);

// Walks a true-colour run-length stream of size bytes, counting only: whether
// it yields pixel_count pixels without reading past its end.
boolean check_run_length_stream(const uint8 *stream, int32 size, int32 pixel_count);

int32 next_highest_power_of_two(int32 x);
int16 find_first_one(int32 k);
void map_bytes(uint8 *buffer, const uint8 *table, int32 size);
void remap_bitmap(bitmap_data *bitmap, const color_table *source_colors, const color_table *destination_colors);
void decompress_bitmap(const color_table *colors, const bitmap_data *bitmap, void *buffer, int32 width, int32 height,
	int32 bytes_per_row, int16 mode, boolean postprocess);

// log2 of the bytes per pixel: 8 -> 0, 16 -> 1, 32 -> 2; 0 for other depths.
int16 get_pixel_upshift_for_bit_depth(int16 depth);

/* ---------- colour operations */

rgb_color *set_rgb_color(rgb_color *color, uint16 red, uint16 green, uint16 blue);
hsv_color *set_hsv_color(hsv_color *color, uint16 hue, uint16 saturation, uint16 value);
hsv_color *rgb_color_to_hsv_color(const rgb_color *rgb, hsv_color *hsv);
rgb_color *hsv_color_to_rgb_color(const hsv_color *hsv, rgb_color *rgb);
// Nearest entry by 2dr^2 + 5dg^2 + db^2 (components >> 4); the lower index
// wins ties; NONE for an empty table.
int16 closest_color_in_color_table(const color_table *colors, const rgb_color *color);
// Bytes of a colour table of count colours: 32 + 8 per colour.
int32 sizeof_color_table(int32 count);
void byte_swap_color_table(color_table *colors);
// The count a table can really be read with: color_count pinned to 0..256.
int32 color_table_usable_count(const color_table *colors);

// A colour as a pixel of an encoding (555, 565, 32-bit, 8-bit: red's low
// byte); a hardware frame buffer gets 32-bit with alpha 255 - (transparency >> 8).
uint32 rgb_color_to_pixel(const rgb_color *color, int16 encoding, fixed_fraction transparency);

/* ---------- rectangles and points (each setter returns its first argument) */

// Note the argument order: left, top, right, bottom.
rectangle2d *set_rectangle2d(rectangle2d *rectangle, int16 left, int16 top, int16 right, int16 bottom);
point2d *set_point2d(point2d *point, int16 x, int16 y);
point2d *offset_point2d(point2d *point, int16 dx, int16 dy);
int16 rectangle2d_width(const rectangle2d *rectangle);
int16 rectangle2d_height(const rectangle2d *rectangle);
rectangle2d *inset_rectangle2d(rectangle2d *rectangle, int16 dx, int16 dy);
rectangle2d *offset_rectangle2d(rectangle2d *rectangle, int16 dx, int16 dy);
// Places source inside bounds by mode (_adjust_rectangle_center,
// _adjust_rectangle_alert; others leave it as it is) into destination.
rectangle2d *adjust_rectangle2d(const rectangle2d *bounds, const rectangle2d *source, rectangle2d *destination,
	int16 mode);
// Fits source's proportions into bounds, scales by scale (256 = 1.0), centres.
rectangle2d *scale_rectangle2d(const rectangle2d *bounds, const rectangle2d *source, rectangle2d *destination,
	short_fixed scale);
// The intersection, despite the name: all zero and FALSE when it is empty.
boolean union_rectangles2d(const rectangle2d *r1, const rectangle2d *r2, rectangle2d *intersection);
boolean point2d_in_rectangle2d(const rectangle2d *rectangle, const point2d *point);
boolean interior_rectangle2d(const rectangle2d *outer, const rectangle2d *inner);
boolean equal_rectangle2d(const rectangle2d *r1, const rectangle2d *r2);
boolean equal_point2d(const point2d *p1, const point2d *p2);

/* ---------- test hooks */

struct bitmaps_test_hooks_data
{
	least_call_log calls;
	// Lines passed to the debug trace (the last one).
	int32 debug_trace_count;
	char last_debug_trace[128];
};

bitmaps_test_hooks_data *get_bitmaps_test_hooks(void);
void reset_bitmaps_test_hooks(void);

#include "bitmap_drawing.h"

#endif
