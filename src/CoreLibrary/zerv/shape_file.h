// Records shared with the shape collections: hue changes, the flags of
// replacement colours, sequence view mirroring and colour-table recolouring.
#ifndef SHAPE_FILE_H
#define SHAPE_FILE_H

#include "cseries.h"
#include "byte_swapping.h"
#include "bitmaps.h"

enum // rgb_color and hsv_color flags of replacement colours
{
	_color_reversed_bit,
	_color_use_global_tint_bit,
	_color_unused_bit,
	NUMBER_OF_COLOR_FLAGS,

	_color_reversed_flag = FLAG(_color_reversed_bit),
	_color_use_global_tint_flag = FLAG(_color_use_global_tint_bit),
	_color_unused_flag = FLAG(_color_unused_bit)
};

enum // hue_change flags
{
	_hue_change_primary_bit,
	_hue_change_secondary_bit,
	NUMBER_OF_HUE_CHANGE_FLAGS,

	_hue_change_primary_flag = FLAG(_hue_change_primary_bit),
	_hue_change_secondary_flag = FLAG(_hue_change_secondary_bit)
};

#define HUE_CHANGE_NAME_LENGTH 64
#define COLORS_EFFECTED_SIZE (MAXIMUM_COLOR_TABLE_COLORS / 8)

// 128 bytes; hue changes lie in arrays of this stride.
struct hue_change
{
	char name[HUE_CHANGE_NAME_LENGTH];
	uint16 hue0, hue1; // the range wraps round when hue0 > hue1
	uint8 colors_effected[COLORS_EFFECTED_SIZE]; // bit i of byte i / 8 for colour i
	uint16 minimum_saturation;
	uint16 median_hue;
	uint16 flags;
	int16 unused[3];
	uint8 extractor_data[16];
};
STORED_SIZE(hue_change, 128);
static_assert(offsetof(hue_change, hue0) == 64 && offsetof(hue_change, colors_effected) == 68 &&
	offsetof(hue_change, minimum_saturation) == 100 && offsetof(hue_change, median_hue) == 102 &&
	offsetof(hue_change, flags) == 104 && offsetof(hue_change, extractor_data) == 112);

inline constexpr byte_swap_code hue_change_byte_swapping_data[] =
{
	_begin_bs_array, 1,
	HUE_CHANGE_NAME_LENGTH, _2byte, _2byte, COLORS_EFFECTED_SIZE,
	_2byte, _2byte, _2byte, _2byte, _2byte, _2byte, 16,
	_end_bs_array
};
static_assert(get_byte_swap_struct_size(hue_change_byte_swapping_data) == sizeof(hue_change));

// number_of_views when below 3, otherwise number_of_views / 2 + 1.
int16 number_of_displayed_views_in_sequence(int16 number_of_views);
// The displayed view drawn mirrored for a view beyond the displayed ones.
int16 mirror_sequence_view(int16 number_of_views, int16 view);

// Recomputes colors_effected from the hue range and minimum saturation.
void update_colors_effected_by_hue_change(const color_table *colors, hue_change *change);
// Copies original into colorized, then recolours the colours each hue change
// marks with its replacement colour (replacement_colors[k] for change k).
void colorize_color_table(const color_table *original, color_table *colorized, const hue_change *hue_changes,
	const rgb_color *replacement_colors, int16 hue_change_count);

void assert_shape_file_constants(void);

#endif
