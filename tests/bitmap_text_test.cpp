// Fonts, text units, layout, drawing, searches and the hardware glyph cache.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bitmap_text.h"
#include "default_tags.h"
#include "fonts_content.h"
#include "hardware/hardware_rasterizers.h"
#include "shapes_test_support.h"
#include "string_definitions.h"

namespace
{
	// A solid w x h glyph advancing by advance.
	font_glyph_description block_glyph(uint16 character, int16 advance, int16 w = 2, int16 h = 2, uint8 ink = 0)
	{
		font_glyph_description glyph;
		glyph.character = character;
		glyph.character_width = advance;
		glyph.origin_x = 0;
		glyph.origin_y = h;
		glyph.width = w;
		glyph.height = h;
		glyph.pixels.assign(static_cast<size_t>(w) * h, ink);
		return glyph;
	}

	// Printable ASCII, each glyph advancing 3 (space included unless left out).
	font_description simple_font(bool with_space = true)
	{
		font_description font = {};
		font.ascending_height = 4;
		font.descending_height = 1;
		font.leading_height = 1;
		for (file_tag &tag : font.style_font_tags) tag = static_cast<file_tag>(NONE);
		for (int c = 33; c < 127; ++c) font.glyphs.push_back(block_glyph(static_cast<uint16>(c), 3));
		if (with_space) font.glyphs.push_back(block_glyph(' ', 3, 0, 0));
		return font;
	}

	void put_be32(std::string *data, int32 offset, int32 value)
	{
		for (int i = 0; i < 4; ++i) (*data)[offset + i] = static_cast<char>((value >> (24 - 8 * i)) & 0xFF);
	}

	struct bitmap_deleter
	{
		void operator()(bitmap_data *bitmap) const { dispose_pointer(bitmap); }
	};
	typedef std::unique_ptr<bitmap_data, bitmap_deleter> bitmap_pointer;

	uint32 pixel32(const bitmap_data *bitmap, int x, int y)
	{
		uint32 value;
		memcpy(&value, bitmap_row_address(bitmap, y) + 4 * x, 4);
		return value;
	}
}

class bitmap_text : public shapes_test_directory
{
protected:
	void SetUp() override
	{
		shapes_test_directory::SetUp();
		initialize_string_definitions();
		initialize_string_definitions_for_new_map();
		initialize_font_definitions();
	}
	void TearDown() override
	{
		dispose_font_definitions_from_old_map();
		dispose_string_definitions_from_old_map();
		get_font_globals()->language = _language_roman;
		shapes_test_directory::TearDown();
	}
	// Makes the text-layout list, then starts the map's fonts.
	void start_map(const std::vector<const char *> &layout = {})
	{
		if (!layout.empty())
			make_string_list_tag(BITMAP_TEXT_STRING_LIST_TAG, "layout", layout.data(), static_cast<int32>(layout.size()));
		initialize_font_definitions_for_new_map();
	}
	int16 load(file_tag tag, const font_description &font)
	{
		make_font_tag(tag, tag_to_string(tag), font);
		return font_tag_to_font_index(tag);
	}
	int16 load_data(file_tag tag, const std::string &data)
	{
		tag_file_new_with_subgroup_tag(FONT_DEFINITION_GROUP_TAG, "damaged", tag, FONT_DEFINITION_VERSION_NUMBER,
			data.data(), static_cast<int32>(data.size()));
		return font_tag_to_font_index(tag);
	}
};

TEST_F(bitmap_text, the_generated_fonts_load_with_their_styles)
{
	start_map();
	std::vector<int32> handles;
	ASSERT_TRUE(make_default_font_tags(&handles));
	const int16 font = font_tag_to_font_index(DEFAULT_INTERFACE_FONT_TAG);
	ASSERT_NE(font, NONE);
	const font_definition *definition = get_font_definition(font);
	EXPECT_EQ(definition->leading_width, (definition->ascending_height + definition->descending_height) / 5);
	EXPECT_NE(definition->style_font_indexes[_font_style_bold], NONE);
	EXPECT_EQ(definition->style_font_indexes[_font_style_condensed], NONE);
	EXPECT_TRUE(get_font_character(font, NONE, DEFAULT_FONT_CHECK_MARK_CHARACTER));

	// Style codes take no width; bold glyphs are wider than plain ones.
	const int32 plain = string_width(font, NONE, "abcdefghijk");
	const int32 mixed = string_width(font, NONE, "|babcde|pfghijk");
	const int32 bold = string_width(font, _font_style_bold, "abcde");
	EXPECT_EQ(mixed, bold + string_width(font, NONE, "fghijk"));
	EXPECT_GT(mixed, plain);
	EXPECT_EQ(string_width(font, NONE, "|x"), string_width(font, NONE, "|") + string_width(font, NONE, "x"));
	EXPECT_EQ(compute_style_at_end_of_string("a|ib\rc", NONE), _font_style_italic);
}

TEST_F(bitmap_text, damaged_fonts_are_refused_with_a_line_naming_them)
{
	start_map();
	const std::string good = font_tag_data(simple_font());
	struct damage
	{
		int32 offset;
		int32 value;
	};
	// Count, offset, size, and the first glyph's width (header + 4).
	const damage damages[] = {{12, -1}, {16, 1 << 30}, {20, 1 << 30}, {12, 100000}};
	file_tag tag = TAG("bad0");
	for (const damage &d : damages)
	{
		std::string data = good;
		put_be32(&data, d.offset, d.value);
		clear_errors();
		EXPECT_EQ(load_data(tag, data), NONE) << d.offset;
		EXPECT_NE(error_text().find("corrupt"), std::string::npos) << error_text();
		tag += 1;
	}
	std::string negative_width = good;
	negative_width[64 + 4] = static_cast<char>(0xFF);
	negative_width[64 + 5] = static_cast<char>(0xF0);
	EXPECT_EQ(load_data(tag, negative_width), NONE);
	EXPECT_NE(load_data(TAG("good"), good), NONE);
}

TEST_F(bitmap_text, spaces_duplicates_limits_and_style_cycles)
{
	start_map();
	const int16 built_in = load(TAG("nosp"), simple_font(false));
	EXPECT_EQ(string_width(built_in, NONE, "  "), 8);
	const int16 explicit_space = load(TAG("spac"), simple_font(true));
	EXPECT_EQ(string_width(explicit_space, NONE, "  "), 6);

	font_description duplicate = simple_font();
	duplicate.glyphs.insert(duplicate.glyphs.begin(), block_glyph('a', 9));
	EXPECT_EQ(string_width(load(TAG("dupl"), duplicate), NONE, "a"), 9);

	// A font naming itself, and two naming each other, load and end.
	font_description self = simple_font();
	self.style_font_tags[_font_style_bold] = TAG("self");
	const int16 self_index = load(TAG("self"), self);
	ASSERT_NE(self_index, NONE);
	EXPECT_EQ(get_font_definition(self_index)->style_font_indexes[_font_style_bold], self_index);
	font_description a = simple_font(), b = simple_font();
	a.style_font_tags[_font_style_italic] = TAG("cycb");
	b.style_font_tags[_font_style_italic] = TAG("cyca");
	make_font_tag(TAG("cycb"), "b", b);
	EXPECT_NE(load(TAG("cyca"), a), NONE);

	adjust_font_line_height(self_index, 2);
	EXPECT_EQ(get_font_definition(self_index)->leading_height, 1 + 2 + 2);

	for (int i = 0; i < MAXIMUM_FONT_DEFINITIONS_PER_MAP; ++i) load(TAG("f000") + i, simple_font());
	EXPECT_EQ(load(TAG("over"), simple_font()), NONE);
}

TEST_F(bitmap_text, units_follow_the_language)
{
	start_map();
	font_globals_data *globals = get_font_globals();
	struct edge
	{
		int16 language;
		uint8 b1, b2;
		bool two;
	};
	const edge edges[] = {
		{_language_roman, 0x82, 0xA0, false}, {_language_japanese, 0x82, 0xA0, true},
		{_language_japanese, 128, 64, false}, {_language_japanese, 159, 252, true}, {_language_japanese, 160, 100, false},
		{_language_japanese, 224, 127, false}, {_language_japanese, 254, 63, false},
		{_language_simple_chinese, 161, 254, true}, {_language_simple_chinese, 161, 160, false},
		{_language_traditional_chinese, 129, 126, true}, {_language_traditional_chinese, 129, 127, false},
		{_language_korean_wansung, 254, 'Z', true}, {_language_korean_wansung, 254, '[', false},
		{_language_korean_johab, 211, 65, true}, {_language_korean_johab, 212, 65, false},
		{_language_korean_johab, 224, 128, false}, {_language_korean_johab, 249, 254, true},
		{_language_korean_johab, 223, 65, false}, {_language_korean_johab, 216, 65, true},
		{_language_korean_johab, 222, 254, true}, {_language_korean_wansung, 129, 'a', true},
		{_language_korean_wansung, 129, 'z', true}, {_language_korean_wansung, 129, 0x80, false},
	};
	for (const edge &e : edges)
	{
		globals->language = e.language;
		const char text[3] = {static_cast<char>(e.b1), static_cast<char>(e.b2), 0};
		EXPECT_EQ(double_byte_character(text) != 0, e.two) << e.language << " " << int(e.b1) << " " << int(e.b2);
	}
	globals->language = _language_roman;
	int32 index = 0;
	EXPECT_EQ(get_next_character("|Bx", &index), 0x7C42);
	EXPECT_EQ(index, 2);
	index = 0;
	EXPECT_EQ(get_next_character("|x", &index), '|');
	index = 3;
	EXPECT_EQ(get_previous_character("a|bc", &index), 0x7C62); // inside a unit: its start
	EXPECT_EQ(index, 1);
	index = 0;
	EXPECT_EQ(get_previous_character("a|bc", &index), 'a');
	index = 4;
	EXPECT_EQ(get_previous_character("a|bc", &index), 'c');
}

TEST_F(bitmap_text, wrapping_follows_the_break_lists)
{
	start_map({"0", "~", "x", " ", "\x01", "!"});
	const int16 font = load(TAG("simp"), simple_font());
	wrap_string_result result;
	// Glyphs 2 wide, advance 3: "aaa bbb" breaks after the space.
	wrap_string("aaa bbb", NONE, font, 20, _draw_string_wrap_flag, &result);
	EXPECT_EQ(result.state, _wrap_string_end_of_line);
	EXPECT_EQ(result.line_length, 4);
	EXPECT_EQ(result.line_width, 12);
	// A successor in the cannot-begin list keeps the break away.
	wrap_string("aaa !bb", NONE, font, 20, _draw_string_wrap_flag, &result);
	EXPECT_EQ(result.state, _wrap_string_end_of_line);
	EXPECT_EQ(result.line_length, 7);
	// One long word: the unit that did not fit stays on the line.
	wrap_string("abcdefgh", NONE, font, 10, _draw_string_wrap_flag, &result);
	EXPECT_EQ(result.line_length, 4);
	EXPECT_EQ(result.line_width, 9);
	wrap_string("ab\rcd", NONE, font, 100, 0, &result);
	EXPECT_EQ(result.state, _wrap_string_end_of_line);
	EXPECT_EQ(result.line_length, 3);
	wrap_string("ab\ncd", NONE, font, 100, 0, &result);
	EXPECT_EQ(result.state, _wrap_string_end_of_string);

	int32 lines = 0;
	EXPECT_EQ(string_width_multiline(font, NONE, "ab\rabcd\r\r", &lines), 12);
	EXPECT_EQ(lines, 2);
	int32 height = 0;
	get_string_height("ab", font, NONE, 100, &height);
	EXPECT_EQ(height, 5);
	get_string_height("aaa bbb ccc", font, NONE, 16, &height);
	EXPECT_EQ(height, 15);
}

TEST_F(bitmap_text, drawing_places_truncates_and_blends)
{
	start_map({"0", "~", "x", " "});
	const int16 font = load(TAG("simp"), simple_font());
	bitmap_pointer b(new_bitmap(40, 12, 160, _32bit_encoding, 0));
	rectangle2d bounds;
	set_rectangle2d(&bounds, 0, 0, 40, 12);
	// leading_width (4 + 1) / 5 = 1; baseline 4; glyph rows 2..3.
	draw_string(b.get(), NULL, &bounds, NULL, font, NONE, &white, "a", 0, 0);
	EXPECT_EQ(pixel32(b.get(), 1, 2), 0x00FFFFFFu);
	EXPECT_EQ(pixel32(b.get(), 0, 2), 0u);

	// Too wide: cut, the cut unit's illegal predecessors dropped, "~" added.
	memset(b->row_addresses[0], 0, 160 * 12);
	rectangle2d narrow;
	set_rectangle2d(&narrow, 0, 0, 13, 12);
	draw_string(b.get(), NULL, &narrow, NULL, font, NONE, &white, "abxcdefg", 0, 0);
	int32 inked_columns = 0;
	for (int x = 0; x < 40; ++x) inked_columns += pixel32(b.get(), x, 3) != 0;
	EXPECT_EQ(inked_columns, 6); // "ab~": the "x" before the cut is dropped

	// An origin continues the line: the second call starts where the first ended.
	memset(b->row_addresses[0], 0, 160 * 12);
	point2d origin = {0, 0};
	draw_string(b.get(), &origin, &bounds, NULL, font, NONE, &white, "aa", 0, 0);
	EXPECT_EQ(origin.x, 6);
	draw_string(b.get(), &origin, &bounds, NULL, font, NONE, &white, "a", 0, 0);
	EXPECT_NE(pixel32(b.get(), 7, 3), 0u);

	// Shadow in black one pixel down and right, centred lines.
	bitmap_pointer grey(new_bitmap(20, 10, 80, _32bit_encoding, 0));
	for (int y = 0; y < 10; ++y)
		for (int x = 0; x < 20; ++x) memcpy(bitmap_row_address(grey.get(), y) + 4 * x, "\x40\x40\x40\x00", 4);
	set_rectangle2d(&bounds, 0, 0, 20, 10);
	draw_string(grey.get(), NULL, &bounds, NULL, font, NONE, &white, "a",
		_draw_string_shadow_flag | _draw_string_center_horizontal_flag, 0);
	// Width 3: x = (20 - 3) >> 1 = 8.
	EXPECT_EQ(pixel32(grey.get(), 8, 2), 0x00FFFFFFu);
	EXPECT_EQ(pixel32(grey.get(), 10, 4), 0u);

	// 8-bit coverage keeps the smaller value.
	bitmap_pointer mask(new_bitmap(8, 8, 8, _8bit_encoding, 0));
	memset(mask->row_addresses[0], 200, 64);
	font_description soft = simple_font();
	soft.glyphs[0] = block_glyph('!', 3, 2, 2, 0x80);
	draw_string(mask.get(), NULL, &bounds, NULL, load(TAG("soft"), soft), NONE, &white, "!", 0, 0);
	EXPECT_EQ(mask->row_addresses[2][1], 129);
}

TEST_F(bitmap_text, click_and_wrap_point_searches)
{
	start_map({"0", "\x01", "\x01", " "});
	const int16 font = load(TAG("simp"), simple_font());
	int16 end = 4;
	EXPECT_TRUE(find_string_click_point(font, NONE, "abcd", 100, &end));
	EXPECT_EQ(end, 4);
	end = 4;
	find_string_click_point(font, NONE, "abcd", 0, &end);
	EXPECT_EQ(end, 0);
	end = 4;
	find_string_click_point(font, NONE, "abcd", 4, &end);
	EXPECT_EQ(end, 1);
	end = 0;
	find_string_click_point(font, NONE, "", 5, &end);
	EXPECT_EQ(end, 0);
	// An end index past the text reads no byte beyond it.
	const char *short_text = strdup("ab");
	end = 200;
	EXPECT_TRUE(find_string_click_point(font, NONE, short_text, 500, &end));
	EXPECT_EQ(end, 2);
	free(const_cast<char *>(short_text));
	std::string long_text(300, 'a');
	end = 300;
	find_string_click_point(font, NONE, long_text.c_str(), 5, &end);
	EXPECT_EQ(end, 300);

	end = 11;
	EXPECT_FALSE(find_string_click_point_wrapped(font, NONE, "aaa bbb ccc", 16, 1, -1, &end));
	EXPECT_TRUE(find_string_click_point_wrapped(font, NONE, "aaa bbb ccc", 16, 100, 7, &end));
	EXPECT_EQ(end, 11);
	EXPECT_FALSE(find_string_click_point_wrapped(font, NONE, "aaa bbb ccc", 16, 1, 100, &end));

	end = 7;
	EXPECT_FALSE(find_string_wrap_point(font, NONE, "aaa bbb", 16, 0, &end));
	EXPECT_EQ(end, 3);
	end = 7;
	EXPECT_TRUE(find_string_wrap_point(font, NONE, "aaa bbb", 0, 0, &end));
	EXPECT_EQ(end, 7);
	EXPECT_TRUE(string_starts_with_fuzzy("  Hello", "\x01hel"));
	EXPECT_FALSE(string_starts_with_fuzzy("Help", "hello"));
}

TEST_F(bitmap_text, the_glyph_cache_keeps_every_live_slot_intact)
{
	start_map();
	font_description font = {};
	font.ascending_height = 4;
	for (file_tag &tag : font.style_font_tags) tag = static_cast<file_tag>(NONE);
	std::mt19937 random(7);
	for (int c = 1; c < 600; ++c)
	{
		const int16 w = static_cast<int16>(1 + random() % 40), h = static_cast<int16>(1 + random() % 40);
		font_glyph_description glyph = block_glyph(static_cast<uint16>(c), w, c % 50 == 0 ? 300 : w, h);
		for (size_t i = 0; i < glyph.pixels.size(); ++i) glyph.pixels[i] = static_cast<uint8>((c + i) & 0xFF);
		font.glyphs.push_back(glyph);
	}
	const int16 index = load(TAG("many"), font);
	ASSERT_NE(index, NONE);
	bitmap_data *bitmap = initialize_hardware_font(index);
	ASSERT_TRUE(bitmap);
	for (int call = 0; call < 2000; ++call)
	{
		font_character *glyph = get_font_character(index, NONE, 1 + static_cast<int32>(random() % 599));
		int16 x0 = 0, y0 = 0;
		const hardware_font *cache = get_hardware_font();
		const int16 write_index = cache->write_index;
		const bool cached = get_hardware_font_character_origin(glyph, &x0, &y0);
		EXPECT_EQ(cached, glyph->bitmap_width <= 256);
		EXPECT_EQ(hardware_font_changed() != NULL, write_index != cache->write_index);
		EXPECT_FALSE(hardware_font_changed());
		for (int32 i = cache->read_index; i != cache->write_index; i = (i + 1) & 255)
		{
			const hardware_character *slot = &cache->characters[i];
			if (!slot->character) continue;
			const font_character *live = get_font_character(index, NONE, slot->character);
			const uint8 *pixels = font_character_pixels(live);
			for (int y = 0; y < live->bitmap_height; ++y)
				for (int x = 0; x < live->bitmap_width; ++x)
					ASSERT_EQ(bitmap->row_addresses[slot->y0 + y][slot->x0 + x], 255 - pixels[y * live->bitmap_width + x])
						<< call;
		}
	}
	dispose_hardware_font();
}

// The hardware path draws from the glyph cache, whose slots hold 256 x 256 at
// most: a larger glyph reaches no back end at all.
TEST_F(bitmap_text, over_size_glyphs_never_reach_the_hardware_frame_buffer)
{
	start_map();
	font_description font = simple_font();
	font.glyphs.push_back(block_glyph(0xC8, 3, 257, 2));
	font.glyphs.push_back(block_glyph(0xC9, 3, 2, 257));
	font.glyphs.push_back(block_glyph(0xCA, 3, 256, 256));
	const int16 index = load(TAG("huge"), font);
	ASSERT_NE(index, NONE);

	static std::vector<int32> widths;
	widths.clear();
	opengl_rasterizer_procedures procedures = {};
	procedures.draw_character_to_opengl_frame_buffer = [](bitmap_data *, const font_character *character, int32,
		int32, int32, int32, int32, int32, int32) { widths.push_back(character->bitmap_width); };
	install_opengl_rasterizer_procedures(&procedures);
	bitmap_pointer frame(new_bitmap(600, 600, 2400, _32bit_encoding, 0));
	frame->encoding = _opengl_frame_buffer_encoding;
	rectangle2d bounds;
	set_rectangle2d(&bounds, 0, 0, 600, 600);
	draw_string(frame.get(), NULL, &bounds, NULL, index, NONE, &white, "a\xC8\xC9\xCA", 0, 0);
	reset_hardware_rasterizers_test_hooks();
	EXPECT_EQ(widths, (std::vector<int32>{2, 256}));
}

TEST_F(bitmap_text, partial_coverage_blends_at_its_level_and_long_strings_stay_whole)
{
	start_map({"0", "~", "x", " "});
	font_description soft = simple_font();
	soft.glyphs[0] = block_glyph('!', 3, 1, 1, 0x50); // level 5 coverage
	const int16 font = load(TAG("soft"), soft);
	const uint8 *table = static_cast<const uint8 *>(get_transparency_table(0));
	ASSERT_NE(table, nullptr);
	bitmap_pointer b(new_bitmap(8, 8, 16, _16bit_555_encoding, 0));
	rectangle2d bounds;
	set_rectangle2d(&bounds, 0, 0, 8, 8);
	draw_string(b.get(), NULL, &bounds, NULL, font, NONE, &white, "!", 0, 0);
	uint16 pixel;
	memcpy(&pixel, b->row_addresses[3] + 2, 2);
	// Opaque: the level of the coverage; transparent: 15 - ((15 - L)(15 - 5) >> 4).
	const uint8 *opaque = table + 5 * 1024;
	EXPECT_EQ(pixel, (opaque[31] << 10) | (opaque[31] << 5) | opaque[31]);
	memset(b->row_addresses[0], 0, 16 * 8);
	draw_string(b.get(), NULL, &bounds, NULL, font, NONE, &white, "!", 0, 0x8000);
	memcpy(&pixel, b->row_addresses[3] + 2, 2);
	const uint8 *blended = table + (15 - ((15 - 8) * (15 - 5) >> 4)) * 1024;
	EXPECT_EQ(pixel, (blended[31] << 10) | (blended[31] << 5) | blended[31]);

	// Past 255 bytes with the truncation string, a line is drawn whole; a
	// trailing CR survives the cut.
	const int16 simple = load(TAG("simp"), simple_font());
	bitmap_pointer wide(new_bitmap(40, 8, 160, _32bit_encoding, 0));
	set_rectangle2d(&bounds, 0, 0, 10, 8);
	const std::string long_text(255, 'a');
	draw_string(wide.get(), NULL, &bounds, NULL, simple, NONE, &white, long_text.c_str(), 0, 0);
	int inked = 0;
	for (int x = 0; x < 40; ++x) inked += pixel32(wide.get(), x, 3) != 0;
	EXPECT_EQ(inked, 6); // three 'a's inside the bounds, no '~'
	memset(wide->row_addresses[0], 0, 160 * 8);
	draw_string(wide.get(), NULL, &bounds, NULL, simple, NONE, &white, "aaaaaa\r", 0, 0);
	inked = 0;
	for (int x = 0; x < 40; ++x) inked += pixel32(wide.get(), x, 3) != 0;
	EXPECT_EQ(inked, 4); // "a~": the cut line keeps its CR after the truncation string
}
