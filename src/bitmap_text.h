// Fonts, text units and style codes.
#ifndef BITMAP_TEXT_H
#define BITMAP_TEXT_H

#include "cseries.h"
#include "bitmaps.h"
#include "byte_swapping.h"

struct definition_globals;

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

#define FONT_DEFINITION_GROUP_TAG TAG("font")
#define FONT_DEFINITION_VERSION_NUMBER 1
#define MAXIMUM_FONT_DEFINITIONS_PER_MAP 16
#define BITMAP_TEXT_STRING_LIST_TAG TAG("in#1")
#define NUMBER_OF_LEAD_BYTE_CHARACTER_TABLES 256
#define NUMBER_OF_TRAILING_CHARACTERS_PER_TABLE 256
#define MAXIMUM_ADJUSTED_STRING_LENGTH 256
#define DROP_SHADOW_OFFSET 1

enum // languages
{
	_language_roman,
	_language_japanese,
	_language_simple_chinese,
	_language_traditional_chinese,
	_language_korean_wansung,
	_language_korean_johab,
	NUMBER_OF_LANGUAGES
};

enum // strings of 'in#1'
{
	_string_index_language,
	_string_index_truncation_string,
	_string_index_illegal_truncation_characters,
	_string_index_can_end_words,
	_string_index_cannot_end_words,
	_string_index_cannot_begin_words,
	_string_index_country_code
};

// The stored font record. The two pointer slots are 32-bit fields, 0 in
// memory: the loaded glyphs live in the module's globals by definition index.
struct font_definition
{
	uint32 flags;
	int16 ascending_height, descending_height;
	int16 leading_height;
	int16 leading_width; // (ascending + descending) / 5 once loaded
	int32 number_of_characters;
	int32 characters_offset; // in the tag's data
	int32 characters_size;
	file_tag style_font_tags[NUMBER_OF_FONT_STYLES];
	int16 unused[4];
	int16 style_font_indexes[NUMBER_OF_FONT_STYLES]; // filled at load
	uint32 characters;
	uint32 lead_byte_character_tables;
};
static_assert(sizeof(font_definition) == 64);

inline constexpr byte_swap_code font_definition_byte_swapping_data[] =
{
	_begin_bs_array, 1,
	_4byte, _2byte, _2byte, _2byte, _2byte, _4byte, _4byte, _4byte, _4byte, _4byte, _4byte, _4byte, 24,
	_end_bs_array
};
static_assert(get_byte_swap_struct_size(font_definition_byte_swapping_data) == sizeof(font_definition));

// One glyph: this header, then bitmap_width x bitmap_height coverage bytes
// (0 full ink, 255 none), padded to an even count.
struct font_character
{
	uint16 character;
	int16 character_width;
	int16 bitmap_width, bitmap_height;
	int16 bitmap_origin_x, bitmap_origin_y;
	int16 hardware_character_index; // the glyph cache slot, NONE when not cached
	int16 pad;
};
static_assert(sizeof(font_character) == 16);

inline constexpr byte_swap_code font_character_byte_swapping_data[] =
{
	_begin_bs_array, 1, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, 4, _end_bs_array
};
static_assert(get_byte_swap_struct_size(font_character_byte_swapping_data) == sizeof(font_character));

inline const uint8 *font_character_pixels(const font_character *character)
{
	return reinterpret_cast<const uint8 *>(character + 1);
}

struct font_globals_data
{
	int16 language;
	int16 string_list_index; // 'in#1', NONE without it
};

enum // parse results
{
	_parsed_end_of_string,
	_parsed_end_of_line,
	_parsed_end_of_word,
	_parsed_character,
	_parsed_escape_code,
	NUMBER_OF_PARSE_STRING_STATES
};

struct parse_string_state
{
	const char *string;
	int16 string_index; // of the next unit
	int16 style;
	uint32 flags; // draw-string flags set by the justification and shadow codes
	int32 character;
	int16 result;
};

enum // wrap states
{
	_wrap_string_scanning_line,
	_wrap_string_end_of_line,
	_wrap_string_end_of_string
};

struct wrap_string_result
{
	int16 style; // at the line's end
	int16 line_length; // bytes
	int16 line_width; // pixels
	int16 state;
};

enum // text drawing modes
{
	_draw_string_8bit,
	_draw_string_16bit_555,
	_draw_string_transparency_16bit_555,
	_draw_string_16bit_565,
	_draw_string_transparency_16bit_565,
	_draw_string_32bit,
	_draw_string_transparency_32bit,
	_draw_string_hardware_frame_buffer,
	NUMBER_OF_DRAW_STRING_MODES
};

#define MAXIMUM_HARDWARE_CHARACTERS 256
#define HARDWARE_CHARACTER_MASK (MAXIMUM_HARDWARE_CHARACTERS - 1)
#define HARDWARE_BITMAP_WIDTH 256
#define HARDWARE_BITMAP_HEIGHT 256

struct hardware_character
{
	uint16 character; // 0 for an evicted slot
	int16 pad;
	int16 x0, y0;
};

// The glyph cache of the hardware path: a ring of slots over shelves of one
// 256 x 256 8-bit bitmap.
struct hardware_font
{
	int16 read_index, write_index;
	int16 x0, y0;
	int16 maximum_character_height;
	int16 font_index;
	bitmap_data *bitmap;
	hardware_character characters[MAXIMUM_HARDWARE_CHARACTERS];
};

/* ---------- life cycle and fonts */

void initialize_font_definitions(void);
void initialize_font_definitions_for_new_map(void);
void dispose_font_definitions_from_old_map(void);
boolean postprocess_font_definition(definition_globals *definitions, int16 definition_index, int32 tag_handle,
	void *definition);
// Reads the character block of a preloaded definition ahead of its postprocess.
boolean load_font_character_data(int32 tag_handle, font_definition *definition, boolean readahead);
int16 font_tag_to_font_index(file_tag font_tag);
const font_definition *get_font_definition(int16 font_index);
font_globals_data *get_font_globals(void);
int32 get_font_ascending_height(int16 font_index);
// Ascending + descending (without the leading).
int32 get_font_line_height(int16 font_index);
void adjust_font_line_height(int16 font_index, int16 delta);
const char *get_check_mark_string(void);
int16 get_application_country_code(void);
// The glyph of a unit in a style (NULL when the font has none).
font_character *get_font_character(int16 font_index, int16 style, int32 character);

/* ---------- units and parsing */

// Text units: a single byte, or two bytes combined as first * 256 + second
// (a style code, or a two-byte character of the current language).
boolean double_byte_character(const char *text);
// The unit at *index, advancing *index past it; 0 at the end (index stays).
uint16 get_next_character(const char *text, int32 *index);
// Moves *index back to the start of the unit holding the byte before it (the
// first unit when *index is 0 or less) and returns that unit.
uint16 get_previous_character(const char *text, int32 *index);
int16 parse_string(parse_string_state *state);
void initialize_parse_string_state(parse_string_state *state, const char *string, int16 style);
boolean character_in_pattern(int32 character, const char *pattern);
boolean string_starts_with_fuzzy(const char *test_string, const char *text);

/* ---------- measuring and drawing */

int32 string_width(int16 font_index, int16 style, const char *text);
int32 string_width_multiline(int16 font_index, int16 style, const char *text, int32 *lines);
int16 compute_style_at_end_of_string(const char *text, int16 style);
void wrap_string(const char *text, int16 style, int16 font_index, int32 width, uint32 flags,
	wrap_string_result *result);
void draw_string(bitmap_data *destination, point2d *origin, const rectangle2d *bounds, const rectangle2d *clip,
	int16 font_index, int16 style, const rgb_color *color, const char *text, uint32 flags,
	fixed_fraction transparency);
boolean find_string_click_point(int16 font_index, int16 style, const char *text, int32 click_x, int16 *end_index);
boolean find_string_click_point_wrapped(int16 font_index, int16 style, const char *text, int32 width, int32 click_x,
	int32 click_y, int16 *end_index);
boolean find_string_wrap_point(int16 font_index, int16 style, const char *text, int32 maximum_width,
	int16 start_index, int16 *end_index);
void get_string_height(const char *text, int16 font_index, int16 style, int32 width, int32 *height);

/* ---------- the hardware glyph cache */

// NULL when it cannot be made.
bitmap_data *initialize_hardware_font(int16 font_index);
void dispose_hardware_font(void);
// The cache bitmap once after each change, else NULL.
bitmap_data *hardware_font_changed(void);
// The glyph's place in the cache bitmap, caching it first when needed; FALSE
// for a glyph the cache cannot hold.
boolean get_hardware_font_character_origin(font_character *character, int16 *x0, int16 *y0);
const hardware_font *get_hardware_font(void);

struct bitmap_text_test_hooks_data
{
	least_call_log calls;
};

bitmap_text_test_hooks_data *get_bitmap_text_test_hooks(void);
void reset_bitmap_text_test_hooks(void);

#endif
