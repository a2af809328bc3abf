#include "bitmap_text.h"

static bitmap_text_test_hooks_data bitmap_text_hooks;

bitmap_text_test_hooks_data *get_bitmap_text_test_hooks(void)
{
	return &bitmap_text_hooks;
}

void reset_bitmap_text_test_hooks(void)
{
	clear_least_call_log(&bitmap_text_hooks.calls);
}

void initialize_font_definitions(void)
{
	least_call(&bitmap_text_hooks.calls, "initialize_font_definitions");
}

void initialize_font_definitions_for_new_map(void)
{
	least_call(&bitmap_text_hooks.calls, "initialize_font_definitions_for_new_map");
}

/* ---------- text units */

static boolean is_style_code_letter(uint8 c)
{
	// ASCII folding only: the locale must not change what a code is.
	if (c >= 'A' && c <= 'Z') c = static_cast<uint8>(c - 'A' + 'a');
	switch (c)
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

boolean double_byte_character(const char *text)
{
	if (!text) return FALSE;
	const uint8 first = static_cast<uint8>(text[0]);
	if (first == 0) return FALSE;
	const uint8 second = static_cast<uint8>(text[1]);
	if (first == ESCAPE_CHARACTER_CODE && is_style_code_letter(second)) return TRUE;
	// Every font is single-byte for now: no lead bytes.
	return FALSE;
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

/* ---------- measuring and drawing */

int32 string_width(int16 font_index, int16 style, const char *text)
{
	least_call(&bitmap_text_hooks.calls, "string_width", font_index, style, text);
	return 0;
}

void draw_string(bitmap_data *destination, point2d *origin, const rectangle2d *bounds, const rectangle2d *clip,
	int16 font_index, int16 style, const rgb_color *color, const char *text, uint32 flags,
	fixed_fraction transparency)
{
	least_call(&bitmap_text_hooks.calls, "draw_string", destination, origin, bounds, clip, font_index, style, color,
		text, flags, transparency);
}
