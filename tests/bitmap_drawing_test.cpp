// Lines, polygons, fills and copies between pixel encodings.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "bitmap_drawing.h"
#include "hardware/hardware_rasterizers.h"

namespace
{
	struct bitmap_deleter
	{
		void operator()(bitmap_data *bitmap) const { dispose_pointer(bitmap); }
	};
	typedef std::unique_ptr<bitmap_data, bitmap_deleter> bitmap_pointer;

	bitmap_pointer make(int32 width, int32 height, int32 encoding, int32 flags = 0)
	{
		const int32 depth = get_encoding_byte_depth(static_cast<int16>(encoding));
		return bitmap_pointer(new_bitmap(width, height, width * MAX(depth, 1), encoding, flags));
	}

	uint32 pixel_at(const bitmap_data *bitmap, int32 x, int32 y)
	{
		const uint8 *row = bitmap_row_address(bitmap, y);
		uint32 value = 0;
		memcpy(&value, row + (x << bitmap->pixel_upshift), static_cast<size_t>(1) << bitmap->pixel_upshift);
		return value;
	}

	void set_pixel(bitmap_data *bitmap, int32 x, int32 y, uint32 value)
	{
		uint8 *row = bitmap_row_address(bitmap, y);
		memcpy(row + (x << bitmap->pixel_upshift), &value, static_cast<size_t>(1) << bitmap->pixel_upshift);
	}

	std::set<std::pair<int, int>> touched(const bitmap_data *bitmap)
	{
		std::set<std::pair<int, int>> points;
		for (int y = 0; y < bitmap->height; ++y)
			for (int x = 0; x < bitmap->width; ++x)
				if (pixel_at(bitmap, x, y)) points.insert({x, y});
		return points;
	}

	// Level L adds L to the destination component (capped), so each blend is visible.
	std::vector<uint8> counting_table(void)
	{
		std::vector<uint8> table(TRANSPARENCY_TABLE_SIZE);
		for (int level = 0; level < 16; ++level)
			for (int d = 0; d < 32; ++d)
				for (int s = 0; s < 32; ++s) table[level * 1024 + d * 32 + s] = static_cast<uint8>(MIN(31, d + level));
		return table;
	}

	const rgb_color index_7 = {7, 0, 0, 0};
}

TEST(bitmap_drawing, lines_plot_bresenham_points_inside_the_clip_only)
{
	bitmap_pointer b = make(8, 8, _8bit_encoding);
	draw_line(b.get(), &index_7, 0, NULL, NULL, {5, 5}, {5, 5});
	EXPECT_EQ(touched(b.get()), (std::set<std::pair<int, int>>{{5, 5}}));

	b = make(8, 8, _8bit_encoding);
	draw_line(b.get(), &index_7, 0, NULL, NULL, {3, 1}, {0, 0}); // reversed end points
	EXPECT_EQ(touched(b.get()), (std::set<std::pair<int, int>>{{0, 0}, {1, 0}, {2, 1}, {3, 1}}));
	EXPECT_EQ(pixel_at(b.get(), 2, 1), 7u);

	b = make(8, 8, _8bit_encoding);
	draw_line(b.get(), &index_7, 0, NULL, NULL, {0, 0}, {2, 2});
	EXPECT_EQ(touched(b.get()), (std::set<std::pair<int, int>>{{0, 0}, {1, 1}, {2, 2}}));

	b = make(8, 8, _8bit_encoding);
	rectangle2d clip;
	set_rectangle2d(&clip, 2, 0, 5, 8);
	draw_line(b.get(), &index_7, 0, NULL, &clip, {-20, 3}, {30, 3});
	EXPECT_EQ(touched(b.get()), (std::set<std::pair<int, int>>{{2, 3}, {3, 3}, {4, 3}}));

	// Encoded destinations are refused.
	b = make(8, 8, _8bit_encoding, _grayscale_bitmap_flag);
	draw_line(b.get(), &index_7, 0, NULL, NULL, {0, 0}, {7, 7});
	EXPECT_TRUE(touched(b.get()).empty());
}

TEST(bitmap_drawing, a_blended_frame_touches_eight_pixels_and_blends_corners_twice)
{
	const std::vector<uint8> table = counting_table();
	bitmap_pointer b = make(5, 5, _16bit_555_encoding);
	rectangle2d r;
	set_rectangle2d(&r, 0, 0, 3, 3);
	frame_rectangle_clipped(b.get(), &white, &r, NULL, 0x1000, table.data());
	EXPECT_EQ(touched(b.get()).size(), 8u);
	EXPECT_EQ(pixel_at(b.get(), 1, 1), 0u);
	// Level 1 adds one per blend: corners 2, edges 1, in each component.
	EXPECT_EQ(pixel_at(b.get(), 0, 0), (2u << 10) | (2u << 5) | 2u);
	EXPECT_EQ(pixel_at(b.get(), 1, 0), (1u << 10) | (1u << 5) | 1u);

	// 32-bit: a solid pixel has alpha 0, a blended one 255 with the low bits lost.
	bitmap_pointer c = make(2, 1, _32bit_encoding);
	const rgb_color grey = {0x1234, 0x5678, 0x9ABC, 0};
	draw_line(c.get(), &grey, 0, NULL, NULL, {0, 0}, {0, 0});
	EXPECT_EQ(pixel_at(c.get(), 0, 0), 0x0012569Au);
	set_pixel(c.get(), 1, 0, 0x00FFFFFF);
	draw_line(c.get(), &grey, 0x1000, table.data(), NULL, {1, 0}, {1, 0});
	EXPECT_EQ(pixel_at(c.get(), 1, 0), 0xFFF8F8F8u);
}

TEST(bitmap_drawing, polygons_fill_even_odd_within_their_limits)
{
	const rgb_color one = {0, 0, 0x0800, 0}; // 555 pixel 1
	bitmap_pointer b = make(8, 8, _16bit_555_encoding);
	const point2d triangle[] = {{0, 0}, {4, 0}, {0, 4}};
	fill_polygon(b.get(), &one, NULL, 0, NULL, triangle, 3);
	std::set<std::pair<int, int>> expected;
	for (int y = 0; y < 4; ++y)
		for (int x = 0; x < 4 - y; ++x) expected.insert({x, y});
	EXPECT_EQ(touched(b.get()), expected);

	b = make(8, 8, _16bit_555_encoding);
	const point2d flat[] = {{0, 2}, {5, 2}, {7, 2}};
	fill_polygon(b.get(), &one, NULL, 0, NULL, flat, 3);
	EXPECT_TRUE(touched(b.get()).empty());

	// A clip starting below the apex: rows from the clip top, edges at their true place.
	b = make(8, 8, _16bit_555_encoding);
	rectangle2d clip;
	set_rectangle2d(&clip, 0, 2, 8, 8);
	fill_polygon(b.get(), &one, &clip, 0, NULL, triangle, 3);
	expected.clear();
	for (int y = 2; y < 4; ++y)
		for (int x = 0; x < 4 - y; ++x) expected.insert({x, y});
	EXPECT_EQ(touched(b.get()), expected);

	// A five-pointed star: its centre is inside twice, so it stays empty.
	b = make(40, 40, _16bit_555_encoding);
	const point2d star[] = {{20, 0}, {32, 38}, {0, 14}, {39, 14}, {8, 38}};
	fill_polygon(b.get(), &one, NULL, 0, NULL, star, 5);
	EXPECT_EQ(pixel_at(b.get(), 20, 20), 0u);
	EXPECT_EQ(pixel_at(b.get(), 20, 5), 1u);

	// Too many vertices draw nothing; extreme coordinates do not overflow.
	std::vector<point2d> many;
	for (int i = 0; i < 33; ++i) many.push_back({static_cast<int16>(i % 8), static_cast<int16>(i / 4)});
	b = make(8, 8, _16bit_555_encoding);
	fill_polygon(b.get(), &one, NULL, 0, NULL, many.data(), 33);
	EXPECT_TRUE(touched(b.get()).empty());
	const point2d huge[] = {{-32767, -32767}, {32767, -32767}, {32767, 32767}, {-32767, 32767}};
	fill_polygon(b.get(), &one, NULL, 0, NULL, huge, 4);
	EXPECT_EQ(touched(b.get()).size(), 64u);
}

TEST(bitmap_drawing, fills_blend_per_encoding_and_refuse_inverted_rectangles)
{
	const std::vector<uint8> table = counting_table();
	rectangle2d r;
	set_rectangle2d(&r, -5, -5, 50, 50);
	for (int32 encoding : {_16bit_555_encoding, _16bit_565_encoding, _32bit_encoding})
	{
		bitmap_pointer b = make(4, 4, encoding);
		fill_rectangle_clipped(b.get(), &black, &r, NULL, 0x8000, table.data());
		uint32 expected = 0xFF000000u | (8u << 19) | (8u << 11) | (8u << 3);
		if (encoding == _16bit_555_encoding) expected = (8u << 10) | (8u << 5) | 8u;
		if (encoding == _16bit_565_encoding) expected = (8u << 11) | (8u << 6) | 8u;
		EXPECT_EQ(pixel_at(b.get(), 3, 3), expected);
	}

	// Inverted or empty rectangles never reach the hardware.
	reset_hardware_rasterizers_test_hooks();
	static int32 hardware_fills;
	hardware_fills = 0;
	opengl_rasterizer_procedures procedures = {};
	procedures.fill_rectangle_opengl = [](bitmap_data *, int32, int32, int32, int32, int32) { hardware_fills += 1; };
	install_opengl_rasterizer_procedures(&procedures);
	bitmap_pointer frame = make(16, 16, _32bit_encoding);
	frame->encoding = _opengl_frame_buffer_encoding;
	set_rectangle2d(&r, 10, 2, 4, 8);
	fill_rectangle_clipped(frame.get(), &white, &r, NULL, 0, NULL);
	set_rectangle2d(&r, 2, 2, 4, 8);
	fill_rectangle_clipped(frame.get(), &white, &r, NULL, 0, NULL);
	EXPECT_EQ(hardware_fills, 1);
	reset_hardware_rasterizers_test_hooks();
}

TEST(bitmap_drawing, copy_modes_follow_source_destination_and_transparency)
{
	const uint8 fake_table[4] = {};
	struct row
	{
		int32 destination, source, source_flags;
		boolean table;
		fixed_fraction transparency;
		int16 mode;
	};
	const row rows[] = {
		{_16bit_555_encoding, _8bit_encoding, 0, TRUE, 0, _copy_8bit_to_16bit},
		{_16bit_555_encoding, _8bit_encoding, _bitmap_color_key_transparency_flag, TRUE, 0, _copy_8bit_to_16bit_color_key},
		{_16bit_565_encoding, _16bit_555_encoding, 0, FALSE, 0, _copy_16bit_555_to_16bit_565},
		{_16bit_555_encoding, _16bit_565_encoding, 0, FALSE, 0, _copy_16bit_565_to_16bit_555},
		{_16bit_555_encoding, _32bit_encoding, 0, FALSE, 0, _copy_32bit_to_16bit_555},
		{_16bit_565_encoding, _8bit_encoding, _bitmap_color_key_transparency_flag, TRUE, 0x4000,
			_copy_8bit_transparency_to_16bit_565_color_key},
		{_16bit_555_encoding, _16bit_555_encoding, 0, FALSE, 0x4000, _copy_16bit_transparency_to_16bit_555},
		{_16bit_555_encoding, _16bit_88_encoding, _4bit_transparency_encoded_flag, TRUE, 0x0FFF,
			_copy_8bit_encoded_transparency_to_16bit_555},
		{_16bit_565_encoding, _16bit_88_encoding, _4bit_transparency_encoded_flag, TRUE, 0x1000,
			_copy_8bit_constant_and_encoded_transparency_to_16bit_565},
		{_16bit_555_encoding, _8bit_encoding, _grayscale_bitmap_flag, TRUE, 0, NONE},
		{_32bit_encoding, _16bit_565_encoding, 0, FALSE, 0, _copy_16bit_565_to_32bit},
		{_32bit_encoding, _16bit_88_encoding, 0, FALSE, 0, NONE},
		{_32bit_encoding, _8bit_encoding, _bitmap_color_key_transparency_flag, TRUE, 0x100,
			_copy_8bit_transparency_to_32bit_color_key},
		{_32bit_encoding, _16bit_88_encoding, _4bit_transparency_encoded_flag | _bitmap_color_key_transparency_flag,
			TRUE, 0, NONE},
		{_32bit_encoding, _16bit_88_encoding, _4bit_transparency_encoded_flag, TRUE, 0x2000,
			_copy_8bit_constant_and_encoded_transparency_to_32bit},
	};
	for (const row &r : rows)
	{
		bitmap_pointer d = make(1, 1, r.destination);
		bitmap_pointer s = make(1, 1, r.source, r.source_flags);
		const uint8 *table = fake_table;
		EXPECT_EQ(calculate_copy_bitmap_mode(d.get(), s.get(), r.table ? fake_table : NULL, r.transparency, &table),
			r.mode) << r.destination << " " << r.source << " " << r.source_flags;
	}
}

TEST(bitmap_drawing, copies_convert_pixels_and_honour_keys_levels_and_spans)
{
	// 555 -> 565 keeps the old low green bit; 565 -> 32 shifts the fields up.
	bitmap_pointer s = make(1, 1, _16bit_555_encoding);
	bitmap_pointer d = make(1, 1, _16bit_565_encoding);
	set_pixel(s.get(), 0, 0, 0x7FFF);
	const point2d origin = {0, 0};
	copy_bitmap(d.get(), &origin, s.get(), NULL, NULL, 0, NULL);
	EXPECT_EQ(pixel_at(d.get(), 0, 0), 0xFFFFu & ((0x7FFF & 0x3F) | ((0x7FFF & 0x7FE0) << 1)));
	bitmap_pointer d32 = make(1, 1, _32bit_encoding);
	copy_bitmap(d32.get(), &origin, d.get(), NULL, NULL, 0, NULL);
	EXPECT_EQ(pixel_at(d32.get(), 0, 0), 0xFFF8F8F8u);
	bitmap_pointer back = make(1, 1, _16bit_555_encoding);
	copy_bitmap(back.get(), &origin, d32.get(), NULL, NULL, 0, NULL);
	EXPECT_EQ(pixel_at(back.get(), 0, 0), 0x7FFFu);

	// An 8-bit source needs its table; with it, a colour key leaves index 0 alone.
	uint32 colors[256];
	for (int i = 0; i < 256; ++i) colors[i] = 0x00010101u * static_cast<uint32>(i);
	bitmap_pointer keyed = make(3, 1, _8bit_encoding, _bitmap_color_key_transparency_flag);
	set_pixel(keyed.get(), 0, 0, 5);
	set_pixel(keyed.get(), 2, 0, 9);
	bitmap_pointer out = make(3, 1, _32bit_encoding);
	set_pixel(out.get(), 1, 0, 0xABCDEF);
	copy_bitmap(out.get(), &origin, keyed.get(), NULL, NULL, 0, NULL);
	EXPECT_EQ(pixel_at(out.get(), 0, 0), 0u);
	copy_bitmap(out.get(), &origin, keyed.get(), NULL, colors, 0, NULL);
	EXPECT_EQ(pixel_at(out.get(), 0, 0), 0x050505u);
	EXPECT_EQ(pixel_at(out.get(), 1, 0), 0xABCDEFu);
	EXPECT_EQ(pixel_at(out.get(), 2, 0), 0x090909u);

	// The encoded level and the call's level: the larger one blends.
	const std::vector<uint8> table = counting_table();
	bitmap_pointer encoded = make(2, 1, _16bit_88_encoding, _4bit_transparency_encoded_flag);
	set_pixel(encoded.get(), 0, 0, (3u << 8) | 1);
	set_pixel(encoded.get(), 1, 0, (0u << 8) | 1);
	bitmap_pointer o = make(2, 1, _32bit_encoding);
	copy_bitmap(o.get(), &origin, encoded.get(), NULL, colors, 0x2000, table.data());
	EXPECT_EQ(pixel_at(o.get(), 0, 0), 0xFF000000u | (3u << 19) | (3u << 11) | (3u << 3));
	EXPECT_EQ(pixel_at(o.get(), 1, 0), 0xFF000000u | (2u << 19) | (2u << 11) | (2u << 3));
}

TEST(bitmap_drawing, a_left_clipped_row_span_sprite_keeps_its_pixels_in_place)
{
	// One row: runs [1, 3) and [5, 8) of 8-bit pixels 1..5.
	const int16 header[] = {2, 5, 1, 3, 5, 8};
	const uint8 pixels[] = {1, 2, 3, 4, 5};
	bitmap_data *sprite = new_bitmap(8, 1, 64, _8bit_encoding, _1bit_transparency_encoded_flag);
	ASSERT_TRUE(sprite);
	memcpy(sprite->row_addresses[0], header, sizeof(header));
	memcpy(sprite->row_addresses[0] + sizeof(header), pixels, sizeof(pixels));
	uint32 colors[256];
	for (int i = 0; i < 256; ++i) colors[i] = static_cast<uint32>(i);
	bitmap_pointer out = make(10, 1, _32bit_encoding);
	rectangle2d clip;
	set_rectangle2d(&clip, 4, 0, 10, 1);
	const point2d at = {2, 0};
	copy_bitmap(out.get(), &at, sprite, &clip, colors, 0, NULL);
	const uint32 expected[] = {0, 0, 0, 0, 2, 0, 0, 3, 4, 5};
	for (int x = 0; x < 10; ++x) EXPECT_EQ(pixel_at(out.get(), x, 0), expected[x]) << x;
	// Mirroring refuses the row-span format.
	mirror_bitmap_horizontally(sprite);
	EXPECT_EQ(memcmp(sprite->row_addresses[0], header, sizeof(header)), 0);
	dispose_pointer(sprite);
}
