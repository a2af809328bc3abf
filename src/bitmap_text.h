// Fonts, text units and style codes.
#ifndef BITMAP_TEXT_H
#define BITMAP_TEXT_H

#include "cseries.h"
#include "bitmaps.h"

// A style code is "|" followed by one of these letters in either case.
#define ESCAPE_CHARACTER_CODE '|'
#define STYLE_PLAIN_CHARACTER_CODE 'p'
#define STYLE_BOLD_CHARACTER_CODE 'b'
#define STYLE_ITALIC_CHARACTER_CODE 'i'
#define LEFT_JUSTIFIED_CHARACTER_CODE 'l'
#define CENTER_JUSTIFIED_CHARACTER_CODE 'c'
#define RIGHT_JUSTIFIED_CHARACTER_CODE 'r'
#define STYLE_SHADOWED_CHARACTER_CODE 's'

enum
{
	_font_style_italic,
	_font_style_bold,
	_font_style_condensed,
	_font_style_underlined,
	NUMBER_OF_FONT_STYLES
};

enum
{
	_draw_string_center_horizontal_bit,
	_draw_string_center_vertical_bit,
	_draw_string_right_justified_bit,
	_draw_string_bottom_justified_bit,
	_draw_string_wrap_bit,
	_draw_string_shadow_bit,
	_draw_string_prevent_partial_vertical_clipping_bit,
	NUMBER_OF_DRAW_STRING_FLAGS,

	_draw_string_center_horizontal_flag = 1 << _draw_string_center_horizontal_bit,
	_draw_string_center_vertical_flag = 1 << _draw_string_center_vertical_bit,
	_draw_string_right_justified_flag = 1 << _draw_string_right_justified_bit,
	_draw_string_bottom_justified_flag = 1 << _draw_string_bottom_justified_bit,
	_draw_string_wrap_flag = 1 << _draw_string_wrap_bit,
	_draw_string_shadow_flag = 1 << _draw_string_shadow_bit,
	_draw_string_prevent_partial_vertical_clipping_flag = 1 << _draw_string_prevent_partial_vertical_clipping_bit
};

void initialize_font_definitions(void);
void initialize_font_definitions_for_new_map(void);

// Text units: a single byte, or two bytes combined as first * 256 + second
// (a style code, or a two-byte character of the current language; every
// font is single-byte for now).
boolean double_byte_character(const char *text);
// The unit at *index, advancing *index past it; 0 at the end (index stays).
uint16 get_next_character(const char *text, int32 *index);
// Moves *index back to the start of the unit holding the byte before it (the
// first unit when *index is 0 or less) and returns that unit.
uint16 get_previous_character(const char *text, int32 *index);

// Pixels of the first line (0: no fonts yet).
int32 string_width(int16 font_index, int16 style, const char *text);
void draw_string(bitmap_data *destination, point2d *origin, const rectangle2d *bounds, const rectangle2d *clip,
	int16 font_index, int16 style, const rgb_color *color, const char *text, uint32 flags,
	fixed_fraction transparency);

struct bitmap_text_test_hooks_data
{
	least_call_log calls;
};

bitmap_text_test_hooks_data *get_bitmap_text_test_hooks(void);
void reset_bitmap_text_test_hooks(void);

#endif
