// Arbitrary bytes as a 'font' tag's data, loaded through the definitions;
// an accepted font then measures, wraps and draws text into 32-bit, 16-bit
// and 8-bit bitmaps, answers click and wrap searches, and fills the hardware
// glyph cache. Seeds are the generated interface fonts.
#include <cstddef>
#include <cstdint>

#include "bitmap_text.h"
#include "definitions.h"
#include "fuzz_support.h"
#include "shapes.h"
#include "string_definitions.h"
#include "tag_files/tag_files.h"

namespace {

const file_tag fuzz_tag = TAG("fuzz");
const char *const sample_text = "|bBold|p plain |iitalic|p words that wrap\rand a second line |x with \xC3 marks";

void set_up_fuzz_directory(void)
{
	tag_files_reset_for_tests();
	tag_files_initialize();
	preinitialize_definitions();
	initialize_shapes();
	initialize_string_definitions();
	initialize_font_definitions();
}

void draw_into(int32 encoding, int16 font)
{
	const int32 depth = get_encoding_byte_depth(static_cast<int16>(encoding));
	bitmap_data *bitmap = new_bitmap(96, 40, 96 * depth, encoding, 0);
	check(bitmap != nullptr);
	rectangle2d bounds;
	set_rectangle2d(&bounds, -4, 2, 90, 44);
	point2d origin = {3, -2};
	draw_string(bitmap, &origin, &bounds, NULL, font, NONE, &white, sample_text, _draw_string_wrap_flag, 0x3000);
	draw_string(bitmap, NULL, &bounds, NULL, font, _font_style_bold, &red, sample_text,
		_draw_string_center_horizontal_flag | _draw_string_shadow_flag | _draw_string_bottom_justified_flag, 0);
	dispose_pointer(bitmap);
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	if (size > 4 * 1024 * 1024) return 0;
	enter_fuzz_directory("font", set_up_fuzz_directory);

	initialize_shapes_for_new_map(FALSE);
	initialize_string_definitions_for_new_map();
	initialize_font_definitions_for_new_map();
	check(tag_file_new_with_subgroup_tag(FONT_DEFINITION_GROUP_TAG, "fuzz", fuzz_tag, FONT_DEFINITION_VERSION_NUMBER,
		data, static_cast<int32>(size)) != NONE);
	const int16 font = font_tag_to_font_index(fuzz_tag);
	if (font != NONE)
	{
		check(get_font_definition(font) != nullptr);
		string_width(font, NONE, sample_text);
		int32 lines = 0;
		string_width_multiline(font, NONE, sample_text, &lines);
		wrap_string_result wrapped;
		wrap_string(sample_text, NONE, font, 40, _draw_string_wrap_flag, &wrapped);
		check(wrapped.line_length >= 0);
		draw_into(_32bit_encoding, font);
		draw_into(_16bit_565_encoding, font);
		draw_into(_8bit_encoding, font);
		int16 end = 20;
		find_string_click_point(font, NONE, sample_text, 17, &end);
		end = 40;
		find_string_click_point_wrapped(font, NONE, sample_text, 30, 12, 20, &end);
		int32 height = 0;
		get_string_height(sample_text, font, NONE, 30, &height);

		check(initialize_hardware_font(font) != nullptr);
		for (int32 c = 0; c < 0x10000; c += 7)
		{
			font_character *glyph = get_font_character(font, NONE, c);
			int16 x0, y0;
			if (glyph) get_hardware_font_character_origin(glyph, &x0, &y0);
		}
		hardware_font_changed();
		dispose_hardware_font();
	}
	dispose_font_definitions_from_old_map();
	dispose_string_definitions_from_old_map();
	dispose_shapes_from_old_map();

	leave_fuzz_directory();
	return 0;
}
