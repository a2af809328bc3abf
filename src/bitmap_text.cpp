#include "bitmap_text.h"

#include <cstdlib>
#include <initializer_list>

#include "definitions.h"
#include "error_manager.h"
#include "hardware/hardware_rasterizers.h"
#include "shapes.h"
#include "string_definitions.h"
#include "tag_files/tag_files.h"

static bitmap_text_test_hooks_data bitmap_text_hooks;

bitmap_text_test_hooks_data *get_bitmap_text_test_hooks(void)
{
	return &bitmap_text_hooks;
}

void reset_bitmap_text_test_hooks(void)
{
	clear_least_call_log(&bitmap_text_hooks.calls);
}

typedef font_character *character_table[NUMBER_OF_TRAILING_CHARACTERS_PER_TABLE];

// Where each loaded font's glyphs live, by definition index.
struct font_private_data
{
	uint8 *characters;
	character_table **lead_byte_character_tables; // 256 entries
};

static font_globals_data *font_globals = NULL;
static font_private_data font_private[MAXIMUM_FONT_DEFINITIONS_PER_MAP];
static hardware_font *hardware_font_globals = NULL;

// A font without a space advances by 4.
static font_character built_in_space = {32, 4, 0, 0, 0, 0, NONE, 0};

static definition_globals font_definitions =
{
	"font", FONT_DEFINITION_GROUP_TAG, FONT_DEFINITION_VERSION_NUMBER, MAXIMUM_FONT_DEFINITIONS_PER_MAP,
	static_cast<int16>(sizeof(font_definition)), NULL, postprocess_font_definition, NULL, NULL,
	font_definition_byte_swapping_data, 0, NULL, NULL, NULL, NONE, 0, NULL, NULL, NULL
};

// A character block read ahead by the preload path, waiting for its postprocess.
struct fetched_font_block
{
	const font_definition *definition;
	uint8 *block;
};
static fetched_font_block fetched_font_blocks[MAXIMUM_FONT_DEFINITIONS_PER_MAP];

font_globals_data *get_font_globals(void)
{
	return font_globals;
}

/* ---------- life cycle */

void initialize_font_definitions(void)
{
	least_call(&bitmap_text_hooks.calls, "initialize_font_definitions");
	initialize_definitions(&font_definitions);
	if (!font_globals)
	{
		font_globals = static_cast<font_globals_data *>(new_pointer_z(sizeof(font_globals_data)));
		if (!font_globals)
		{
			error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate font globals");
			return;
		}
	}
	font_globals->language = _language_roman;
	font_globals->string_list_index = NONE;
}

static const char *text_layout_string(int16 index)
{
	if (!font_globals || font_globals->string_list_index == NONE) return "";
	return get_string_from_list(font_globals->string_list_index, index);
}

void initialize_font_definitions_for_new_map(void)
{
	least_call(&bitmap_text_hooks.calls, "initialize_font_definitions_for_new_map");
	initialize_definitions_for_new_map(&font_definitions);
	if (!font_globals) return;
	// Without the list: roman, no truncation string, no break lists.
	font_globals->string_list_index = tag_file_exists(STRING_LIST_DEFINITION_GROUP_TAG, BITMAP_TEXT_STRING_LIST_TAG) ?
		string_list_tag_to_string_index(BITMAP_TEXT_STRING_LIST_TAG) : static_cast<int16>(NONE);
	const int32 language = atoi(text_layout_string(_string_index_language));
	font_globals->language = static_cast<int16>(PIN(language, 0, NUMBER_OF_LANGUAGES - 1));
}

static void free_font_private(int16 index)
{
	font_private_data *font = &font_private[index];
	if (font->lead_byte_character_tables)
	{
		for (int32 i = 0; i < NUMBER_OF_LEAD_BYTE_CHARACTER_TABLES; ++i) dispose_pointer(font->lead_byte_character_tables[i]);
		dispose_pointer(font->lead_byte_character_tables);
	}
	dispose_pointer(font->characters);
	font->lead_byte_character_tables = NULL;
	font->characters = NULL;
}

void dispose_font_definitions_from_old_map(void)
{
	least_call(&bitmap_text_hooks.calls, "dispose_font_definitions_from_old_map");
	for (int16 i = 0; i < MAXIMUM_FONT_DEFINITIONS_PER_MAP; ++i) free_font_private(i);
	for (fetched_font_block &fetched : fetched_font_blocks)
	{
		dispose_pointer(fetched.block);
		fetched = fetched_font_block{};
	}
	dispose_definitions_from_old_map(&font_definitions);
}

/* ---------- loading */

static boolean font_is_corrupt(int32 tag_handle, const char *fault)
{
	error_message(_error_data_corrupted, MODULE_NAME, __LINE__, "font %s is corrupt (%s).", tag_file_name_get(tag_handle),
		fault);
	return FALSE;
}

// The block must lie inside the tag's data.
static boolean font_block_in_tag(int32 tag_handle, const font_definition *definition)
{
	const int64 data_size = tag_file_get_header_data_size(tag_handle);
	return definition->characters_size >= 0 && definition->characters_offset >= 0 &&
		static_cast<int64>(definition->characters_offset) + definition->characters_size <= data_size;
}

boolean load_font_character_data(int32 tag_handle, font_definition *definition, boolean readahead)
{
	if (!definition || !font_block_in_tag(tag_handle, definition)) return FALSE;
	int32 slot = NONE;
	for (int32 i = 0; i < MAXIMUM_FONT_DEFINITIONS_PER_MAP; ++i)
	{
		if (fetched_font_blocks[i].definition == definition)
		{
			dispose_pointer(fetched_font_blocks[i].block);
			fetched_font_blocks[i] = fetched_font_block{};
		}
		if (slot == NONE && !fetched_font_blocks[i].block) slot = i;
	}
	if (slot == NONE) return FALSE;
	uint8 *block = static_cast<uint8 *>(new_pointer(static_cast<size_t>(MAX(definition->characters_size, 1))));
	if (!block)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate #%d bytes for characters for font %s.",
			static_cast<int>(definition->characters_size), tag_file_name_get(tag_handle));
		return FALSE;
	}
	const boolean read = readahead ?
		tag_file_read_ahead(tag_handle, definition->characters_offset, definition->characters_size, block) :
		tag_file_read(tag_handle, definition->characters_offset, definition->characters_size, block);
	if (!read)
	{
		error_message(_error_file_system_read, MODULE_NAME, __LINE__, "couldn't read characters from font %s.",
			tag_file_name_get(tag_handle));
		dispose_pointer(block);
		return FALSE;
	}
	fetched_font_blocks[slot].definition = definition;
	fetched_font_blocks[slot].block = block;
	return TRUE;
}

static uint8 *take_fetched_font_block(const font_definition *definition)
{
	for (fetched_font_block &fetched : fetched_font_blocks)
	{
		if (fetched.definition == definition && fetched.block)
		{
			uint8 *block = fetched.block;
			fetched = fetched_font_block{};
			return block;
		}
	}
	return NULL;
}

// Enters one glyph; a code already present keeps its first glyph.
static void enter_glyph(font_private_data *font, font_character *character, int32 tag_handle)
{
	character_table *&table = font->lead_byte_character_tables[character->character >> 8];
	if (!table)
	{
		table = static_cast<character_table *>(new_pointer_z(sizeof(character_table)));
		if (!table) return;
	}
	font_character *&entry = (*table)[character->character & 0xFF];
	if (entry)
	{
		debug_printf("%p:%p character 0x%04x (%p) appears in font %s twice", static_cast<void *>(font),
			static_cast<void *>(entry), static_cast<unsigned>(character->character), static_cast<void *>(character),
			tag_file_name_get(tag_handle));
		return;
	}
	entry = character;
}

boolean postprocess_font_definition(definition_globals *definitions, int16 definition_index, int32 tag_handle,
	void *definition_pointer)
{
	font_definition *definition = static_cast<font_definition *>(definition_pointer);
	if (definition_index < 0 || definition_index >= MAXIMUM_FONT_DEFINITIONS_PER_MAP) return FALSE;
	font_private_data *font = &font_private[definition_index];
	free_font_private(definition_index);

	// Run-time fields never come from the file.
	for (int16 &index : definition->style_font_indexes) index = NONE;
	definition->characters = 0;
	definition->lead_byte_character_tables = 0;

	const boolean fetched = definitions && definitions->flags &&
		(definitions->flags[definition_index] & _definition_fetched_flag);
	uint8 *block = fetched ? take_fetched_font_block(definition) : NULL;
	if (definition->number_of_characters < 0)
	{
		dispose_pointer(block);
		return font_is_corrupt(tag_handle, "negative character count");
	}
	if (!font_block_in_tag(tag_handle, definition))
	{
		dispose_pointer(block);
		return font_is_corrupt(tag_handle, "character block outside the tag");
	}

	const size_t table_array_size = NUMBER_OF_LEAD_BYTE_CHARACTER_TABLES * sizeof(character_table *);
	font->lead_byte_character_tables = static_cast<character_table **>(new_pointer_z(table_array_size));
	if (!font->lead_byte_character_tables)
	{
		dispose_pointer(block);
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__,
			"couldn't allocate #%d bytes for lead byte character tables for font.", static_cast<int>(table_array_size));
		return FALSE;
	}
	if (!block)
	{
		if (!load_font_character_data(tag_handle, definition, FALSE))
		{
			free_font_private(definition_index);
			return FALSE;
		}
		block = take_fetched_font_block(definition);
	}
	font->characters = block;

	const int32 size = definition->characters_size;
	int32 offset = 0;
	for (int32 i = 0; i < definition->number_of_characters; ++i)
	{
		if (size - offset < static_cast<int32>(sizeof(font_character)))
		{
			free_font_private(definition_index);
			return font_is_corrupt(tag_handle, "a character crosses the end of the block");
		}
		font_character *character = reinterpret_cast<font_character *>(block + offset);
		byte_swap_data("font character", character, sizeof(font_character), 1, font_character_byte_swapping_data);
		const int32 w = character->bitmap_width, h = character->bitmap_height;
		if (w < 0 || h < 0)
		{
			free_font_private(definition_index);
			return font_is_corrupt(tag_handle, "negative character size");
		}
		int64 bytes = static_cast<int64>(w) * h;
		bytes += bytes & 1;
		if (bytes > size - offset - static_cast<int64>(sizeof(font_character)))
		{
			free_font_private(definition_index);
			return font_is_corrupt(tag_handle, "a character crosses the end of the block");
		}
		character->hardware_character_index = NONE;
		enter_glyph(font, character, tag_handle);
		offset += static_cast<int32>(sizeof(font_character) + bytes);
	}

	definition->leading_width = static_cast<int16>((definition->ascending_height + definition->descending_height) / 5);
	character_table *table0 = font->lead_byte_character_tables[0];
	if (table0 && !(*table0)[static_cast<uint8>(' ')]) (*table0)[static_cast<uint8>(' ')] = &built_in_space;

	for (int32 style = 0; style < NUMBER_OF_FONT_STYLES; ++style)
	{
		const file_tag tag = definition->style_font_tags[style];
		// A font in the middle of its own postprocess answers with its
		// registered index (the loader's own guard), so cycles end.
		definition->style_font_indexes[style] = tag == static_cast<file_tag>(NONE) ? static_cast<int16>(NONE) :
			definition_tag_to_index(&font_definitions, tag);
	}
	return TRUE;
}

int16 font_tag_to_font_index(file_tag font_tag)
{
	// Outside a map the group holds nothing.
	if (font_definitions.count < 0) return NONE;
	return definition_tag_to_index(&font_definitions, font_tag);
}

const font_definition *get_font_definition(int16 font_index)
{
	if (font_index < 0 || font_index >= MAXIMUM_FONT_DEFINITIONS_PER_MAP) return NULL;
	if (!font_private[font_index].lead_byte_character_tables) return NULL;
	return static_cast<const font_definition *>(try_and_get_definition(&font_definitions, font_index));
}

static font_definition *get_writable_font_definition(int16 font_index)
{
	return const_cast<font_definition *>(get_font_definition(font_index));
}

int32 get_font_ascending_height(int16 font_index)
{
	const font_definition *font = get_font_definition(font_index);
	return font ? font->ascending_height : 0;
}

int32 get_font_line_height(int16 font_index)
{
	const font_definition *font = get_font_definition(font_index);
	return font ? font->ascending_height + font->descending_height : 0;
}

void adjust_font_line_height(int16 font_index, int16 delta)
{
	font_definition *font = get_writable_font_definition(font_index);
	if (!font) return;
	font->leading_height = static_cast<int16>(font->leading_height + delta);
	// A style font listed twice is adjusted twice.
	for (int16 style_index : font->style_font_indexes)
	{
		font_definition *style_font = get_writable_font_definition(style_index);
		if (style_font) style_font->leading_height = static_cast<int16>(style_font->leading_height + delta);
	}
}

const char *get_check_mark_string(void)
{
	static const char check_mark[] = "\xC3";
	return (!font_globals || font_globals->language == _language_roman) ? check_mark : "!";
}

int16 get_application_country_code(void)
{
	return static_cast<int16>(atoi(text_layout_string(_string_index_country_code)));
}

font_character *get_font_character(int16 font_index, int16 style, int32 character)
{
	if (font_index < 0 || font_index >= MAXIMUM_FONT_DEFINITIONS_PER_MAP) return NULL;
	if (style >= 0 && style < NUMBER_OF_FONT_STYLES)
	{
		const font_definition *font = get_font_definition(font_index);
		if (font && get_font_definition(font->style_font_indexes[style])) font_index = font->style_font_indexes[style];
	}
	character_table **tables = font_private[font_index].lead_byte_character_tables;
	if (!tables || character < 0 || character > 0xFFFF) return NULL;
	character_table *table = tables[character >> 8];
	return table ? (*table)[character & 0xFF] : NULL;
}

/* ---------- text units */

static uint8 ascii_lower(uint8 c)
{
	// ASCII folding only: the locale must not change what a code is.
	return (c >= 'A' && c <= 'Z') ? static_cast<uint8>(c - 'A' + 'a') : c;
}

static boolean is_style_code_letter(uint8 c)
{
	switch (ascii_lower(c))
	{
	case STYLE_BOLD_CHARACTER_CODE:
	case CENTER_JUSTIFIED_CHARACTER_CODE:
	case STYLE_ITALIC_CHARACTER_CODE:
	case LEFT_JUSTIFIED_CHARACTER_CODE:
	case STYLE_PLAIN_CHARACTER_CODE:
	case RIGHT_JUSTIFIED_CHARACTER_CODE:
	case STYLE_SHADOWED_CHARACTER_CODE:
		return TRUE;
	default:
		return FALSE;
	}
}

static inline boolean in_range(int32 x, int32 lo, int32 hi)
{
	return x >= lo && x <= hi;
}

boolean double_byte_character(const char *text)
{
	if (!text) return FALSE;
	const uint8 b1 = static_cast<uint8>(text[0]);
	if (b1 == 0) return FALSE;
	const uint8 b2 = static_cast<uint8>(text[1]);
	if (b1 == ESCAPE_CHARACTER_CODE && is_style_code_letter(b2)) return TRUE;
	if (b2 == 0) return FALSE;
	switch (font_globals ? font_globals->language : static_cast<int16>(_language_roman))
	{
	case _language_japanese:
		return (in_range(b1, 129, 159) || in_range(b1, 224, 254)) && in_range(b2, 64, 252) && b2 != 127;
	case _language_simple_chinese:
		return in_range(b1, 161, 254) && in_range(b2, 161, 254);
	case _language_traditional_chinese:
		return in_range(b1, 129, 254) && (in_range(b2, 64, 126) || in_range(b2, 161, 254));
	case _language_korean_wansung:
		return in_range(b1, 129, 254) && (in_range(b2, 65, 90) || in_range(b2, 97, 122) || in_range(b2, 129, 254));
	case _language_korean_johab:
		return (in_range(b1, 132, 211) || in_range(b1, 216, 222) || in_range(b1, 224, 249)) &&
			(in_range(b2, 65, 126) || in_range(b2, 129, 254));
	default:
		return FALSE;
	}
}

uint16 get_next_character(const char *text, int32 *index)
{
	if (!text || !index || *index < 0) return 0;

	const char *position = text + *index;
	const uint8 first = static_cast<uint8>(position[0]);
	if (first == 0) return 0;
	if (double_byte_character(position))
	{
		*index += 2;
		return static_cast<uint16>((first << 8) | static_cast<uint8>(position[1]));
	}
	*index += 1;
	return first;
}

uint16 get_previous_character(const char *text, int32 *index)
{
	if (!text || !index) return 0;

	const int32 target = *index;
	int32 position = 0;
	for (;;)
	{
		const int32 start = position;
		const uint16 character = get_next_character(text, &position);
		// The unit that holds the byte before the target, or the first unit
		// when the target is at the start; the end stops the walk.
		if (character == 0 || position >= target)
		{
			*index = start;
			return character;
		}
	}
}

boolean character_in_pattern(int32 character, const char *pattern)
{
	if (!pattern) return FALSE;
	int32 index = 0;
	for (uint16 unit = get_next_character(pattern, &index); unit; unit = get_next_character(pattern, &index))
	{
		if (unit == character) return TRUE;
	}
	return FALSE;
}

void initialize_parse_string_state(parse_string_state *state, const char *string, int16 style)
{
	state->string = string;
	state->string_index = 0;
	state->style = style;
	state->flags = 0;
	state->character = 0;
	state->result = _parsed_end_of_string;
}

static void apply_style_code(parse_string_state *state, uint8 letter)
{
	switch (ascii_lower(letter))
	{
	case STYLE_PLAIN_CHARACTER_CODE: state->style = NONE; break;
	case STYLE_BOLD_CHARACTER_CODE: state->style = _font_style_bold; break;
	case STYLE_ITALIC_CHARACTER_CODE: state->style = _font_style_italic; break;
	case LEFT_JUSTIFIED_CHARACTER_CODE:
		state->flags &= ~static_cast<uint32>(_draw_string_center_horizontal_flag | _draw_string_right_justified_flag);
		break;
	case CENTER_JUSTIFIED_CHARACTER_CODE:
		state->flags = (state->flags | _draw_string_center_horizontal_flag) & ~static_cast<uint32>(_draw_string_right_justified_flag);
		break;
	case RIGHT_JUSTIFIED_CHARACTER_CODE:
		state->flags = (state->flags | _draw_string_right_justified_flag) & ~static_cast<uint32>(_draw_string_center_horizontal_flag);
		break;
	case STYLE_SHADOWED_CHARACTER_CODE: state->flags |= _draw_string_shadow_flag; break;
	default: break;
	}
}

// The next visible unit into state->character, style codes applied on the way.
static int32 next_visible_unit(parse_string_state *state)
{
	for (;;)
	{
		int32 index = state->string_index;
		const uint16 unit = get_next_character(state->string, &index);
		state->string_index = static_cast<int16>(index);
		if (unit > 0xFF && (unit >> 8) == ESCAPE_CHARACTER_CODE)
		{
			apply_style_code(state, static_cast<uint8>(unit));
			continue;
		}
		state->character = unit;
		return unit;
	}
}

int16 parse_string(parse_string_state *state)
{
	const int32 c = next_visible_unit(state);
	int16 result;
	if (c == 0) result = _parsed_end_of_string;
	else if (c == '\r') result = _parsed_end_of_line;
	else
	{
		int32 index = state->string_index;
		const int32 next = get_next_character(state->string, &index);
		if (c <= 0xFF ? !character_in_pattern(c, text_layout_string(_string_index_can_end_words)) :
			character_in_pattern(c, text_layout_string(_string_index_cannot_end_words)))
		{
			result = _parsed_character;
		}
		else
		{
			result = character_in_pattern(next, text_layout_string(_string_index_cannot_begin_words)) ?
				_parsed_character : _parsed_end_of_word;
		}
	}
	state->result = result;
	return result;
}

boolean string_starts_with_fuzzy(const char *test_string, const char *text)
{
	if (!test_string || !text) return FALSE;
	while (static_cast<uint8>(*test_string) >= 1 && static_cast<uint8>(*test_string) <= 32) test_string += 1;
	while (*text && (static_cast<uint8>(*text) < 33 || static_cast<uint8>(*text) > 127)) text += 1;
	int32 i = 0, j = 0;
	for (;;)
	{
		if (!text[j]) return TRUE;
		if (double_byte_character(test_string + i))
		{
			i += 2;
			continue;
		}
		if (!test_string[i]) return FALSE;
		if (ascii_lower(static_cast<uint8>(test_string[i])) != ascii_lower(static_cast<uint8>(text[j]))) return FALSE;
		i += 1;
		j += 1;
	}
}

/* ---------- measuring */

int32 string_width(int16 font_index, int16 style, const char *text)
{
	if (!text) return 0;
	parse_string_state state;
	initialize_parse_string_state(&state, text, style);
	int32 width = 0;
	for (int32 c = next_visible_unit(&state); c && c != '\r'; c = next_visible_unit(&state))
	{
		const font_character *glyph = get_font_character(font_index, state.style, c);
		if (glyph) width += glyph->character_width;
	}
	return width;
}

int32 string_width_multiline(int16 font_index, int16 style, const char *text, int32 *lines)
{
	int32 widest = 0, line_count = 0, width = 0;
	boolean line_has_glyph = FALSE;
	if (text)
	{
		parse_string_state state;
		initialize_parse_string_state(&state, text, style);
		for (;;)
		{
			const int32 c = next_visible_unit(&state);
			if (c == 0 || c == '\r')
			{
				widest = MAX(widest, width);
				if (line_has_glyph) line_count += 1;
				width = 0;
				line_has_glyph = FALSE;
				if (c == 0) break;
				continue;
			}
			const font_character *glyph = get_font_character(font_index, state.style, c);
			if (glyph)
			{
				width += glyph->character_width;
				line_has_glyph = TRUE;
			}
		}
	}
	if (lines) *lines = line_count;
	return widest;
}

int16 compute_style_at_end_of_string(const char *text, int16 style)
{
	if (!text) return style;
	parse_string_state state;
	initialize_parse_string_state(&state, text, style);
	while (next_visible_unit(&state)) {}
	return state.style;
}

void wrap_string(const char *text, int16 style, int16 font_index, int32 width, uint32 flags,
	wrap_string_result *result)
{
	result->style = style;
	result->line_length = 0;
	result->line_width = 0;
	result->state = _wrap_string_scanning_line;
	if (!text)
	{
		result->state = _wrap_string_end_of_string;
		return;
	}
	parse_string_state state;
	initialize_parse_string_state(&state, text, style);
	int32 break_length = 0, break_width = 0, line_width = 0;
	boolean have_break = FALSE;
	int16 previous = NONE;
	for (;;)
	{
		const int16 parsed = parse_string(&state);
		result->style = state.style;
		if (parsed == _parsed_end_of_string || parsed == _parsed_end_of_line)
		{
			result->state = parsed == _parsed_end_of_string ? _wrap_string_end_of_string : _wrap_string_end_of_line;
			result->line_length = state.string_index;
			result->line_width = static_cast<int16>(line_width);
			return;
		}
		const font_character *glyph = get_font_character(font_index, state.style, state.character);
		if (glyph)
		{
			if (previous == _parsed_end_of_word && parsed != _parsed_end_of_word)
			{
				have_break = TRUE;
				break_length = result->line_length;
				break_width = line_width;
			}
			if (line_width + glyph->bitmap_width < width)
			{
				line_width += glyph->character_width;
			}
			else if (flags & _draw_string_wrap_flag)
			{
				result->state = _wrap_string_end_of_line;
				if (have_break)
				{
					result->line_length = static_cast<int16>(break_length);
					line_width = break_width;
				}
				else
				{
					result->line_length = state.string_index;
				}
				result->line_width = static_cast<int16>(line_width);
				return;
			}
		}
		result->line_length = state.string_index;
		result->line_width = static_cast<int16>(line_width);
		previous = parsed;
	}
}

/* ---------- drawing */

static inline uint32 blend_pixel(int16 mode, uint32 d, uint32 s, const uint8 *level)
{
	switch (mode)
	{
	case _draw_string_16bit_555:
	case _draw_string_transparency_16bit_555: return blend_pixel_555(d, s, level);
	case _draw_string_16bit_565:
	case _draw_string_transparency_16bit_565: return blend_pixel_565(d, s, level);
	default: return blend_pixel_32(d, s, level);
	}
}

struct text_pen
{
	int16 mode;
	uint32 pixel;
	fixed_fraction transparency;
	const uint8 *table; // normal table, level 0
	int32 left, top, right, bottom; // the clip window
};

static void draw_glyph(bitmap_data *destination, const font_character *glyph, int32 pen_x, int32 baseline,
	const text_pen &pen)
{
	const int32 left = pen_x - glyph->bitmap_origin_x, top = baseline - glyph->bitmap_origin_y;
	const int32 w = glyph->bitmap_width, h = glyph->bitmap_height;
	const int32 skip_x = MAX(0, pen.left - left), skip_y = MAX(0, pen.top - top);
	const int32 visible_w = MIN(left + w, pen.right) - (left + skip_x);
	const int32 visible_h = MIN(top + h, pen.bottom) - (top + skip_y);
	if (visible_w <= 0 || visible_h <= 0) return;
	if (pen.mode == _draw_string_hardware_frame_buffer)
	{
		// The glyph cache never holds a glyph over its own size.
		if (w > HARDWARE_BITMAP_WIDTH || h > HARDWARE_BITMAP_HEIGHT) return;
		draw_character_to_hardware_frame_buffer(destination, glyph, static_cast<int32>(pen.pixel), left, top, skip_x,
			skip_y, visible_w, visible_h);
		return;
	}
	const uint8 *pixels = font_character_pixels(glyph);
	const int32 upshift = destination->pixel_upshift;
	const int32 call_level = pen.transparency >> 12;
	const int32 coverage_scale = 65535 - (pen.transparency >> 8);
	for (int32 row = skip_y; row < skip_y + visible_h; ++row)
	{
		const uint8 *source = pixels + static_cast<intptr_t>(row) * w + skip_x;
		uint8 *d = bitmap_row_address(destination, top + row) + (static_cast<intptr_t>(left + skip_x) << upshift);
		for (int32 column = 0; column < visible_w; ++column, d += static_cast<intptr_t>(1) << upshift)
		{
			const uint32 p = source[column];
			if (p == 255) continue;
			if (pen.mode == _draw_string_8bit)
			{
				const uint32 v = 255 - (((255 - p) * static_cast<uint32>(coverage_scale)) >> 16);
				if (v < *d) *d = static_cast<uint8>(v);
				continue;
			}
			int32 level;
			const boolean transparent = pen.mode == _draw_string_transparency_16bit_555 ||
				pen.mode == _draw_string_transparency_16bit_565 || pen.mode == _draw_string_transparency_32bit;
			if (transparent) level = 15 - (((15 - call_level) * (15 - static_cast<int32>(p >> 4))) >> 4);
			else if (p == 0) level = NONE;
			else level = static_cast<int32>(p >> 4);
			const boolean wide = upshift == 2;
			if (level == NONE)
			{
				if (wide) pixel_store32(d, pen.pixel);
				else pixel_store16(d, pen.pixel);
			}
			else if (pen.table)
			{
				const uint8 *block = pen.table + level * 1024;
				if (wide) pixel_store32(d, blend_pixel(pen.mode, pixel_load32(d), pen.pixel, block));
				else pixel_store16(d, blend_pixel(pen.mode, pixel_load16(d), pen.pixel, block));
			}
		}
	}
}

static void cache_string_glyphs(const char *text, int16 font_index);

// One line of length bytes at (x, baseline); the pen's final x.
static int32 draw_line_of_text(bitmap_data *destination, int32 x, int32 baseline, const rectangle2d *bounds,
	const rectangle2d *clip, int16 font_index, int16 style, const rgb_color *color, const char *text, int32 length,
	fixed_fraction transparency)
{
	text_pen pen;
	pen.left = 0;
	pen.top = 0;
	pen.right = destination->width;
	pen.bottom = destination->height;
	for (const rectangle2d *r : {bounds, clip})
	{
		if (!r) continue;
		pen.left = MAX(pen.left, static_cast<int32>(r->left));
		pen.top = MAX(pen.top, static_cast<int32>(r->top));
		pen.right = MIN(pen.right, static_cast<int32>(r->right));
		pen.bottom = MIN(pen.bottom, static_cast<int32>(r->bottom));
	}
	pen.transparency = transparency;
	pen.table = static_cast<const uint8 *>(get_transparency_table(0));
	pen.pixel = rgb_color_to_pixel(color, destination->encoding, transparency);
	const boolean transparent = (transparency >> 12) != 0;
	boolean drawable = TRUE;
	if (is_hardware_encoding(destination->encoding)) pen.mode = _draw_string_hardware_frame_buffer;
	else
	{
		switch (destination->encoding)
		{
		case _8bit_encoding: pen.mode = _draw_string_8bit; break;
		case _16bit_555_encoding: pen.mode = transparent ? _draw_string_transparency_16bit_555 : _draw_string_16bit_555; break;
		case _16bit_565_encoding: pen.mode = transparent ? _draw_string_transparency_16bit_565 : _draw_string_16bit_565; break;
		case _32bit_encoding: pen.mode = transparent ? _draw_string_transparency_32bit : _draw_string_32bit; break;
		default: drawable = FALSE; pen.mode = NONE; break;
		}
	}

	parse_string_state state;
	initialize_parse_string_state(&state, text, style);
	while (state.string_index < length)
	{
		const int32 c = next_visible_unit(&state);
		if (c == 0) break;
		if (c == '\r') continue;
		const font_character *glyph = get_font_character(font_index, state.style, c);
		if (!glyph) continue;
		if (drawable && pen.left < pen.right && pen.top < pen.bottom) draw_glyph(destination, glyph, x, baseline, pen);
		x += glyph->character_width;
	}
	return x;
}

static boolean is_white_space(int32 c)
{
	return c == ' ' || (c >= 9 && c <= 13);
}

// The copy to draw, or NULL to draw the string whole.
static const char *truncate_string(const char *text, int16 font_index, int16 style, int32 available,
	char copy[MAXIMUM_ADJUSTED_STRING_LENGTH])
{
	const int32 length = static_cast<int32>(strlen(text));
	char truncation[MAXIMUM_ADJUSTED_STRING_LENGTH];
	snprintf(truncation, sizeof(truncation), "%s%s", text_layout_string(_string_index_truncation_string),
		(length > 0 && text[length - 1] == '\r') ? "\r" : "");
	const char *illegal = text_layout_string(_string_index_illegal_truncation_characters);
	const int32 truncation_length = static_cast<int32>(strlen(truncation));
	if (truncation_length + length > 255) return NULL;

	memcpy(copy, text, static_cast<size_t>(length) + 1);
	int32 n = length;
	while (n > 0 && string_width(font_index, style, copy) >= available)
	{
		int32 p = n;
		const int32 unit = get_previous_character(copy, &p);
		if (unit <= 0xFF && is_white_space(unit))
		{
			copy[p] = 0;
			n = p;
			continue;
		}
		n = p;
		while (n > 0)
		{
			int32 q = n;
			const int32 before = get_previous_character(copy, &q);
			if (!character_in_pattern(before, illegal)) break;
			n = q;
		}
		memcpy(copy + n, truncation, static_cast<size_t>(truncation_length) + 1);
	}
	return n > 0 ? copy : NULL;
}

void draw_string(bitmap_data *destination, point2d *origin, const rectangle2d *bounds, const rectangle2d *clip,
	int16 font_index, int16 style, const rgb_color *color, const char *text, uint32 flags,
	fixed_fraction transparency)
{
	least_call(&bitmap_text_hooks.calls, "draw_string", destination, origin, bounds, clip, font_index, style, color,
		text, flags, transparency);
	const font_definition *font = get_font_definition(font_index);
	if (!destination || !bounds || !color || !text || !font) return;

	if (is_hardware_encoding(destination->encoding)) cache_string_glyphs(text, font_index);

	char copy[MAXIMUM_ADJUSTED_STRING_LENGTH];
	if (!(flags & _draw_string_wrap_flag))
	{
		const char *truncated = truncate_string(text, font_index, style,
			rectangle2d_width(bounds) - font->leading_width, copy);
		if (truncated) text = truncated;
	}

	const int32 a = font->ascending_height, d = font->descending_height, l = font->leading_height;
	const int32 bounds_width = bounds->right - bounds->left, bounds_height = bounds->bottom - bounds->top;
	int32 start_x = 0, start_y = 0, pen_x = 0, y = 0;
	const char *rest = text;
	for (int32 line = 0;; ++line)
	{
		int32 x = bounds->left + font->leading_width;
		y = (flags & _draw_string_bottom_justified_flag) ? bounds->bottom - d - line * (a + d + l) :
			bounds->top + a + line * (a + l + d);
		if (line == 0)
		{
			start_x = x;
			start_y = y;
		}
		if (origin)
		{
			if (line == 0) x += origin->x;
			y += origin->y;
		}
		wrap_string_result wrapped;
		wrap_string(rest, style, font_index, bounds->right - x, flags, &wrapped);
		const uint32 alignment = flags & (_draw_string_center_horizontal_flag | _draw_string_right_justified_flag);
		if (alignment == _draw_string_center_horizontal_flag) x = bounds->left + ((bounds_width - wrapped.line_width) >> 1);
		else if (alignment == _draw_string_right_justified_flag)
			x = bounds->left + bounds_width - wrapped.line_width - font->leading_width;
		if (flags & _draw_string_center_vertical_flag) y = bounds->top + a + ((bounds_height - (a + d)) >> 1);

		pen_x = x + wrapped.line_width;
		if (!((flags & _draw_string_prevent_partial_vertical_clipping_flag) && y >= bounds->bottom))
		{
			if (flags & _draw_string_shadow_flag)
			{
				rectangle2d shadow_bounds = *bounds;
				offset_rectangle2d(&shadow_bounds, DROP_SHADOW_OFFSET, DROP_SHADOW_OFFSET);
				draw_line_of_text(destination, x + DROP_SHADOW_OFFSET, y + DROP_SHADOW_OFFSET, &shadow_bounds, clip,
					font_index, style, &black, rest, wrapped.line_length, transparency);
			}
			pen_x = draw_line_of_text(destination, x, y, bounds, clip, font_index, style, color, rest,
				wrapped.line_length, transparency);
		}
		style = wrapped.style;
		rest += wrapped.line_length;
		if (wrapped.state == _wrap_string_end_of_string || wrapped.line_length <= 0) break;
	}
	if (origin)
	{
		origin->x = static_cast<int16>(pen_x - start_x);
		origin->y = static_cast<int16>(y - start_y);
	}
}

/* ---------- search */

boolean find_string_click_point(int16 font_index, int16 style, const char *text, int32 click_x, int16 *end_index)
{
	if (!text || !end_index) return TRUE;
	const int32 end = *end_index;
	if (end >= MAXIMUM_ADJUSTED_STRING_LENGTH || end < 0) return TRUE;
	// Nothing to the left of the text: the start.
	if (click_x <= 0)
	{
		*end_index = 0;
		return TRUE;
	}
	// The index may lie past the text's end: copy no more than the text.
	char copy[MAXIMUM_ADJUSTED_STRING_LENGTH];
	const size_t count = strnlen(text, static_cast<size_t>(end));
	memcpy(copy, text, count);
	copy[count] = 0;
	const int32 length = static_cast<int32>(strlen(copy));

	int32 position = length, previous_width = NONE;
	int32 w = string_width(font_index, style, copy);
	while (w > click_x && position > 0)
	{
		int32 k = static_cast<int32>((static_cast<int64>(w - click_x) * position) / (2 * static_cast<int64>(w)));
		while (k > 3 && position > 0)
		{
			int32 p = position;
			get_previous_character(copy, &p);
			k -= position - p;
			position = p;
		}
		// At least one single-byte unit goes each pass.
		while (position > 0)
		{
			int32 p = position;
			get_previous_character(copy, &p);
			const boolean single = position - p == 1;
			position = p;
			if (single) break;
		}
		copy[position] = 0;
		previous_width = w;
		w = string_width(font_index, style, copy);
	}
	if (w == 0 && position == 0)
	{
		*end_index = 0;
		return TRUE;
	}
	if (previous_width != NONE && (previous_width - w) / 2 + w < click_x) position += 1;
	*end_index = static_cast<int16>(position);
	return TRUE;
}

boolean find_string_click_point_wrapped(int16 font_index, int16 style, const char *text, int32 width, int32 click_x,
	int32 click_y, int16 *end_index)
{
	const font_definition *font = get_font_definition(font_index);
	if (!text || !end_index || !font || click_y < 0) return FALSE;
	const int32 h = font->ascending_height + font->descending_height + font->leading_height;
	if (h <= 0) return FALSE;
	int32 offset = 0;
	while (click_y >= h)
	{
		wrap_string_result wrapped;
		wrap_string(text + offset, style, font_index, width, _draw_string_wrap_flag, &wrapped);
		if (wrapped.state == _wrap_string_end_of_string || wrapped.line_length <= 0) return FALSE;
		style = wrapped.style;
		offset += wrapped.line_length;
		click_y -= h;
	}
	int16 relative = static_cast<int16>(MAX(0, *end_index - offset));
	find_string_click_point(font_index, style, text + offset, click_x, &relative);
	*end_index = static_cast<int16>(relative + offset);
	return TRUE;
}

boolean find_string_wrap_point(int16 font_index, int16 style, const char *text, int32 maximum_width,
	int16 start_index, int16 *end_index)
{
	if (!text || !end_index) return TRUE;
	const int32 start = start_index, end = *end_index;
	if (start < 0 || end < start || end - start >= MAXIMUM_ADJUSTED_STRING_LENGTH) return TRUE;
	if (maximum_width < 1) maximum_width = 32767;
	char copy[MAXIMUM_ADJUSTED_STRING_LENGTH];
	memcpy(copy, text + start, static_cast<size_t>(end - start));
	copy[end - start] = 0;
	int32 kept = static_cast<int32>(strlen(copy));
	const char *can_end = text_layout_string(_string_index_can_end_words);
	while (kept > 0 && string_width(font_index, style, copy) >= maximum_width)
	{
		int32 position = kept;
		for (;;)
		{
			if (position <= 0)
			{
				position = 0;
				break;
			}
			int32 p = position;
			const int32 unit = get_previous_character(copy, &p);
			if (position - p == 1 && character_in_pattern(unit, can_end))
			{
				position = p;
				break;
			}
			position = p;
		}
		kept = position;
		copy[kept] = 0;
	}
	if (kept == 0) return TRUE;
	*end_index = static_cast<int16>(start + kept);
	return *end_index == end;
}

void get_string_height(const char *text, int16 font_index, int16 style, int32 width, int32 *height)
{
	(void)style;
	if (!height) return;
	*height = 0;
	if (!text) return;
	int32 lines = 0;
	int16 start = 0;
	const int16 length = static_cast<int16>(MIN(strlen(text), static_cast<size_t>(INT16_MAX)));
	for (;;)
	{
		int16 end = length;
		lines += 1;
		const boolean fits = find_string_wrap_point(font_index, NONE, text, width, start, &end);
		if (fits || end <= start || lines > length) break;
		start = end;
	}
	*height = lines * get_font_line_height(font_index);
}

/* ---------- the hardware glyph cache */

bitmap_data *initialize_hardware_font(int16 font_index)
{
	dispose_hardware_font();
	hardware_font_globals = static_cast<hardware_font *>(new_pointer_z(sizeof(hardware_font)));
	if (!hardware_font_globals) return NULL;
	hardware_font_globals->font_index = font_index;
	hardware_font_globals->bitmap = new_bitmap(HARDWARE_BITMAP_WIDTH, HARDWARE_BITMAP_HEIGHT, HARDWARE_BITMAP_WIDTH,
		_8bit_encoding, 0);
	if (!hardware_font_globals->bitmap)
	{
		dispose_hardware_font();
		return NULL;
	}
	return hardware_font_globals->bitmap;
}

void dispose_hardware_font(void)
{
	if (!hardware_font_globals) return;
	dispose_pointer(hardware_font_globals->bitmap);
	dispose_pointer(hardware_font_globals);
	hardware_font_globals = NULL;
}

const hardware_font *get_hardware_font(void)
{
	return hardware_font_globals;
}

bitmap_data *hardware_font_changed(void)
{
	if (!hardware_font_globals || !hardware_font_globals->bitmap) return NULL;
	bitmap_data *bitmap = hardware_font_globals->bitmap;
	if (!(bitmap->flags & _bitmap_changed_flag)) return NULL;
	bitmap->flags = static_cast<int16>(bitmap->flags & ~_bitmap_changed_flag);
	return bitmap;
}

// Evicts every live slot whose y0 lies in [low, high), then moves the read
// index past evicted slots at its head.
static void evict_hardware_characters(hardware_font *cache, int32 low, int32 high)
{
	for (int32 i = cache->read_index; i != cache->write_index; i = (i + 1) & HARDWARE_CHARACTER_MASK)
	{
		hardware_character *slot = &cache->characters[i];
		if (slot->character && slot->y0 >= low && slot->y0 < high) slot->character = 0;
	}
	while (cache->read_index != cache->write_index && !cache->characters[cache->read_index].character)
		cache->read_index = static_cast<int16>((cache->read_index + 1) & HARDWARE_CHARACTER_MASK);
}

static boolean cache_hardware_character(hardware_font *cache, font_character *glyph)
{
	const int32 w = glyph->bitmap_width, h = glyph->bitmap_height;
	// The cache bitmap cannot hold it.
	if (w > HARDWARE_BITMAP_WIDTH || h > HARDWARE_BITMAP_HEIGHT || w < 0 || h < 0) return FALSE;
	if (w + cache->x0 > HARDWARE_BITMAP_WIDTH)
	{
		cache->y0 = static_cast<int16>(cache->y0 + cache->maximum_character_height);
		cache->x0 = 0;
		cache->maximum_character_height = 0;
	}
	if (cache->y0 + h > HARDWARE_BITMAP_HEIGHT)
	{
		debug_printf("#%d+#%d is off bottom", cache->y0, h);
		cache->x0 = cache->y0 = cache->maximum_character_height = 0;
		evict_hardware_characters(cache, 1, INT32_MAX);
	}
	if (h > cache->maximum_character_height)
	{
		evict_hardware_characters(cache, cache->y0 + cache->maximum_character_height, cache->y0 + h);
		cache->maximum_character_height = static_cast<int16>(h);
	}

	const int16 slot = cache->write_index;
	glyph->hardware_character_index = slot;
	hardware_character *entry = &cache->characters[slot];
	entry->character = glyph->character;
	entry->x0 = cache->x0;
	entry->y0 = cache->y0;
	const uint8 *pixels = font_character_pixels(glyph);
	for (int32 row = 0; row < h; ++row)
	{
		uint8 *d = cache->bitmap->row_addresses[cache->y0 + row] + cache->x0;
		for (int32 column = 0; column < w; ++column) d[column] = static_cast<uint8>(255 - pixels[row * w + column]);
	}
	cache->x0 = static_cast<int16>(cache->x0 + w);
	cache->write_index = static_cast<int16>((cache->write_index + 1) & HARDWARE_CHARACTER_MASK);
	if (cache->write_index == cache->read_index)
	{
		// The oldest slot is reused: it is no longer live.
		cache->characters[cache->read_index].character = 0;
		cache->read_index = static_cast<int16>((cache->read_index + 1) & HARDWARE_CHARACTER_MASK);
	}
	cache->bitmap->flags = static_cast<int16>(cache->bitmap->flags | _bitmap_changed_flag);
	return TRUE;
}

static boolean hardware_character_cached(const hardware_font *cache, const font_character *glyph)
{
	const int32 slot = glyph->hardware_character_index;
	return slot >= 0 && slot < MAXIMUM_HARDWARE_CHARACTERS && cache->characters[slot].character &&
		cache->characters[slot].character == glyph->character;
}

boolean get_hardware_font_character_origin(font_character *character, int16 *x0, int16 *y0)
{
	hardware_font *cache = hardware_font_globals;
	if (!cache || !character) return FALSE;
	if (!hardware_character_cached(cache, character) && !cache_hardware_character(cache, character)) return FALSE;
	if (x0) *x0 = cache->characters[character->hardware_character_index].x0;
	if (y0) *y0 = cache->characters[character->hardware_character_index].y0;
	return TRUE;
}

static void cache_string_glyphs(const char *text, int16 font_index)
{
	hardware_font *cache = hardware_font_globals;
	if (!cache) return;
	(void)font_index;
	parse_string_state state;
	initialize_parse_string_state(&state, text, NONE);
	for (int32 c = next_visible_unit(&state); c; c = next_visible_unit(&state))
	{
		font_character *glyph = get_font_character(cache->font_index, NONE, c);
		if (glyph && !hardware_character_cached(cache, glyph)) cache_hardware_character(cache, glyph);
	}
}
