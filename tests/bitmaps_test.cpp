// Bitmaps, the row-span format and its checks, colours and rectangles.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "bitmaps.h"
#include "hardware/hardware_rasterizers.h"

namespace
{
	struct bitmap_deleter
	{
		void operator()(bitmap_data *bitmap) const { dispose_pointer(bitmap); }
	};
	typedef std::unique_ptr<bitmap_data, bitmap_deleter> bitmap_pointer;

	// Big-endian bytes of a stored row-span row.
	void append_row(std::vector<uint8> &bytes, const std::vector<std::pair<int16, int16>> &spans, int32 pixel_size,
		boolean word_aligned, uint8 first_pixel = 1)
	{
		auto put16 = [&](int32 value)
		{
			bytes.push_back(static_cast<uint8>((value >> 8) & 0xFF));
			bytes.push_back(static_cast<uint8>(value & 0xFF));
		};
		int32 pixels = 0;
		for (const auto &span : spans) pixels += span.second - span.first;
		const size_t start = bytes.size();
		put16(static_cast<int32>(spans.size()));
		put16(pixels);
		for (const auto &span : spans)
		{
			put16(span.first);
			put16(span.second);
		}
		for (int32 i = 0; i < pixels * pixel_size; ++i) bytes.push_back(static_cast<uint8>(first_pixel + i));
		if (word_aligned && ((bytes.size() - start) & 1)) bytes.push_back(0);
	}

	// A native header over stored pixels, as a collection loader makes it.
	bitmap_pointer row_span_header(int16 width, int16 height, int16 depth, int16 flags, uint8 *pixels)
	{
		bitmap_data *bitmap = static_cast<bitmap_data *>(new_pointer_z(static_cast<size_t>(sizeof_bitmap(height, flags))));
		bitmap->width = width;
		bitmap->height = height;
		bitmap->logical_bit_depth = depth;
		bitmap->pixel_upshift = get_pixel_upshift_for_bit_depth(depth);
		bitmap->flags = static_cast<int16>(flags | _1bit_transparency_encoded_flag);
		bitmap->row_addresses[0] = pixels;
		return bitmap_pointer(bitmap);
	}

	std::string check(const bitmap_data *bitmap, const std::vector<uint8> &pixels)
	{
		char fault[64] = "untouched";
		if (check_stored_bitmap(bitmap, pixels.data(), static_cast<int32>(pixels.size()), fault, sizeof(fault)))
			return "ok";
		return fault;
	}
}

/* ---------- layout */

TEST(BitmapsLayout, RecordSizesAndSwapping)
{
	EXPECT_EQ(sizeof_bitmap(10, 0), 48 + 10 * static_cast<int32>(sizeof(void *)));
	EXPECT_EQ(sizeof_bitmap(10, _no_row_address_table_flag), static_cast<int32>(sizeof(bitmap_data)));
	EXPECT_EQ(sizeof_stored_bitmap(10, 0), 88);
	EXPECT_EQ(sizeof_stored_bitmap(10, _no_row_address_table_flag), 52);
	EXPECT_EQ(sizeof_color_table(0), 32);
	EXPECT_EQ(sizeof_color_table(256), 2080);
#if UINTPTR_MAX == 0xFFFFFFFFu
	EXPECT_EQ(sizeof(bitmap_data), 52u);
	EXPECT_EQ(sizeof_bitmap(10, 0), 88);
#endif

	// Only the nine leading fields turn round; offsets 18-51 stay as stored.
	alignas(8) uint8 stored[STORED_BITMAP_HEADER_SIZE];
	for (int32 i = 0; i < STORED_BITMAP_HEADER_SIZE; ++i) stored[i] = static_cast<uint8>(i);
	byte_swap_bitmap(reinterpret_cast<bitmap_data *>(stored));
	EXPECT_EQ(stored[0], 1);
	EXPECT_EQ(stored[1], 0);
	EXPECT_EQ(stored[16], 17);
	EXPECT_EQ(stored[17], 16);
	for (int32 i = 18; i < STORED_BITMAP_HEADER_SIZE; ++i) EXPECT_EQ(stored[i], i);

	color_table colors = {};
	colors.color_count = 0x01020304;
	colors.colors[255].blue = 0x0A0B;
	colors.unused[0] = 0x11223344;
	byte_swap_color_table(&colors);
	EXPECT_EQ(colors.color_count, 0x04030201);
	EXPECT_EQ(colors.colors[255].blue, 0x0B0A);
	EXPECT_EQ(colors.unused[0], 0x11223344);
}

/* ---------- new_bitmap */

TEST(BitmapsNewBitmap, RowsMustHoldTheWidth)
{
	EXPECT_EQ(new_bitmap(10, 4, 18, _16bit_555_encoding, 0), nullptr);
	bitmap_pointer bitmap(new_bitmap(10, 4, 20, _16bit_555_encoding, 0));
	ASSERT_NE(bitmap, nullptr);
	EXPECT_EQ(bitmap->logical_bit_depth, 16);
	EXPECT_EQ(bitmap->pixel_upshift, 1);
	EXPECT_TRUE(bitmap->flags & _bitmap_extended_encoding_flag);

	// Bad sizes and encodings give nothing.
	EXPECT_EQ(new_bitmap(-1, 4, 20, _8bit_encoding, 0), nullptr);
	EXPECT_EQ(new_bitmap(4, -1, 20, _8bit_encoding, 0), nullptr);
	EXPECT_EQ(new_bitmap(4, 4, -20, _8bit_encoding, 0), nullptr);
	EXPECT_EQ(new_bitmap(4, 4, 20, NUMBER_OF_BITMAP_ENCODINGS, 0), nullptr);
	EXPECT_EQ(new_bitmap(4, 4, 20, NONE, 0), nullptr);
	EXPECT_EQ(new_bitmap(40000, 1, 40000, _8bit_encoding, 0), nullptr);
}

TEST(BitmapsNewBitmap, PowerOfTwoAndTextureSizes)
{
	bitmap_pointer square(new_bitmap(256, 256, 256, _8bit_encoding, 0));
	ASSERT_NE(square, nullptr);
	EXPECT_TRUE(square->flags & _power_of_two_flag);
	EXPECT_EQ(square->width_bits, 8);
	EXPECT_EQ(square->height_bits, 8);
	EXPECT_EQ(square->hardware_width, 256);
	EXPECT_EQ(square->hardware_height, 256);

	bitmap_pointer odd(new_bitmap(100, 30, 100, _8bit_encoding, 0));
	ASSERT_NE(odd, nullptr);
	EXPECT_FALSE(odd->flags & _power_of_two_flag);
	EXPECT_EQ(odd->width_bits, 0);
	EXPECT_EQ(odd->height_bits, 0);
	EXPECT_EQ(odd->hardware_width, 128);
	EXPECT_EQ(odd->hardware_height, 32);
	EXPECT_EQ(odd->hardware_width_bits, 7);
	EXPECT_EQ(odd->hardware_height_bits, 5);

	get_hardware_rasterizers_test_hooks()->requires_square_textures = TRUE;
	postprocess_extracted_bitmap(odd.get());
	EXPECT_EQ(odd->hardware_width, 128);
	EXPECT_EQ(odd->hardware_height, 128);
	get_hardware_rasterizers_test_hooks()->requires_square_textures = FALSE;

	EXPECT_EQ(next_highest_power_of_two(-5), 1);
	EXPECT_EQ(next_highest_power_of_two(1), 1);
	EXPECT_EQ(next_highest_power_of_two(129), 256);
	EXPECT_EQ(find_first_one(0), 0);
	EXPECT_EQ(find_first_one(1), 0);
	EXPECT_EQ(find_first_one(255), 7);
	EXPECT_EQ(find_first_one(256), 8);
}

TEST(BitmapsNewBitmap, EveryEncodingAndFlagNormalising)
{
	const int16 depths[NUMBER_OF_BITMAP_ENCODINGS] = {2, 2, 4, 2, 1, 2, 2, 2, 4, 4, 0, 0, 0, 0, 0, 0};
	for (int16 encoding = 0; encoding < NUMBER_OF_BITMAP_ENCODINGS; ++encoding)
	{
		SCOPED_TRACE(encoding);
		EXPECT_EQ(get_encoding_byte_depth(encoding), depths[encoding]);
		bitmap_pointer bitmap(new_bitmap(4, 3, 16, encoding, 0));
		ASSERT_NE(bitmap, nullptr);
		EXPECT_EQ(bitmap->encoding, encoding);
		EXPECT_EQ(bitmap->logical_bit_depth, 8 * depths[encoding]);
		EXPECT_EQ(bitmap->pixel_upshift, depths[encoding] >> 1);
		EXPECT_EQ(bitmap->row_addresses[2] - bitmap->row_addresses[0], 32);
		// The pixels are zero-filled.
		for (int32 i = 0; i < 48; ++i) EXPECT_EQ(bitmap->row_addresses[0][i], 0);
	}

	// Obsolete and post-processed flags go; without the extended flag the encoding is 555.
	bitmap_pointer bitmap(new_bitmap(4, 4, 4, _8bit_encoding, _bitmap_obsolete_flags | _bitmap_postprocessed_flags |
		_grayscale_bitmap_flag));
	ASSERT_NE(bitmap, nullptr);
	EXPECT_EQ(bitmap->flags, _grayscale_bitmap_flag | _bitmap_extended_encoding_flag | _power_of_two_flag);
	bitmap->flags = 0;
	bitmap->hardware_format = 7;
	bitmap->shaded_hardware_addresses[1] = 3;
	postprocess_extracted_bitmap(bitmap.get());
	EXPECT_EQ(bitmap->encoding, _16bit_555_encoding);
	EXPECT_EQ(bitmap->hardware_format, 0u);
	EXPECT_EQ(bitmap->shaded_hardware_addresses[1], 0);

	set_bitmap_encoding(bitmap.get(), _32bit_encoding);
	EXPECT_EQ(bitmap->logical_bit_depth, 32);
	EXPECT_EQ(bitmap->pixel_upshift, 2);
	set_bitmap_encoding(NULL, _32bit_encoding);
}

TEST(BitmapsNewBitmap, EmptyAndRowSpanBitmapsStayInsideTheirBlock)
{
	// Height 0 still has the record's row slot (ASan watches the writes).
	bitmap_pointer empty(new_bitmap(8, 0, 8, _8bit_encoding, 0));
	ASSERT_NE(empty, nullptr);
	EXPECT_EQ(empty->height, 0);
	EXPECT_NE(empty->row_addresses[0], nullptr);

	bitmap_pointer fixed_pitch(new_bitmap(8, 5, 8, _8bit_encoding, _no_row_address_table_flag));
	ASSERT_NE(fixed_pitch, nullptr);
	EXPECT_EQ(fixed_pitch->row_addresses[0], reinterpret_cast<uint8 *>(fixed_pitch.get()) + sizeof_bitmap(5,
		_no_row_address_table_flag));

	// Empty row-span rows are 4 bytes even when the pitch is smaller.
	bitmap_pointer spans(new_bitmap(1, 6, 1, _8bit_encoding, _1bit_transparency_encoded_flag));
	ASSERT_NE(spans, nullptr);
	EXPECT_EQ(spans->row_addresses[5] - spans->row_addresses[0], 20);
}

/* ---------- row-span rows */

TEST(BitmapsRowSpan, RowSizesFollowTheirCounts)
{
	EXPECT_EQ(row_span_row_size(2, 4, 0, 0), 16);
	EXPECT_EQ(row_span_row_size(1, 3, 0, 0), 11);
	EXPECT_EQ(row_span_row_size(1, 3, 0, _word_aligned_encoding_flag), 12);
	EXPECT_EQ(row_span_row_size(0, 0, 1, _word_aligned_encoding_flag), 4);
	EXPECT_EQ(row_span_row_size(1, 3, 1, 0), 14);

	// 8-bit rows without the flag pack tightly, so the third row starts at
	// an odd offset: conversion, table and check agree on it.
	std::vector<uint8> stored;
	append_row(stored, {{2, 5}, {9, 10}}, 1, FALSE);
	append_row(stored, {{0, 3}}, 1, FALSE);
	append_row(stored, {}, 1, FALSE);
	append_row(stored, {{1, 2}}, 1, FALSE);
	ASSERT_EQ(stored.size(), 16u + 11u + 4u + 9u);
	const std::vector<uint8> original = stored;

	bitmap_pointer bitmap = row_span_header(12, 4, 8, 0, stored.data());
	EXPECT_EQ(check(bitmap.get(), stored), "ok");
	byte_swap_bitmap_pixels(bitmap.get());
	precalculate_bitmap_row_addresses(bitmap.get());
	EXPECT_EQ(bitmap->row_addresses[1] - stored.data(), 16);
	EXPECT_EQ(bitmap->row_addresses[2] - stored.data(), 27);
	EXPECT_EQ(bitmap->row_addresses[3] - stored.data(), 31);
	int16 native;
	memcpy(&native, bitmap->row_addresses[3] + 4, 2);
	EXPECT_EQ(native, 1);
	memcpy(&native, bitmap->row_addresses[0] + 8, 2);
	EXPECT_EQ(native, 9);

	// Writing turns everything back.
	byte_swap_bitmap_pixels_out(bitmap.get());
	EXPECT_EQ(stored, original);
}

TEST(BitmapsRowSpan, SixteenBitPixelsAndWordAlignedRows)
{
	std::vector<uint8> stored;
	append_row(stored, {{0, 3}}, 2, TRUE, 0x10);
	append_row(stored, {}, 2, TRUE);
	append_row(stored, {{1, 2}, {4, 6}}, 2, TRUE, 0x40);
	bitmap_pointer bitmap = row_span_header(6, 3, 16, _word_aligned_encoding_flag, stored.data());
	EXPECT_EQ(check(bitmap.get(), stored), "ok");
	byte_swap_bitmap_pixels(bitmap.get());
	precalculate_bitmap_row_addresses(bitmap.get());
	EXPECT_EQ(bitmap->row_addresses[1] - stored.data(), 14);
	EXPECT_EQ(bitmap->row_addresses[2] - stored.data(), 18);
	uint16 pixel;
	memcpy(&pixel, bitmap->row_addresses[0] + 8, 2);
	EXPECT_EQ(pixel, 0x1011); // bytes 10 11 read as big-endian
	memcpy(&pixel, bitmap->row_addresses[2] + 12, 2);
	EXPECT_EQ(pixel, 0x4041);
}

TEST(BitmapsRowSpan, CorruptRowsAreRefusedByName)
{
	struct corruption
	{
		const char *name;
		int32 offset;
		uint8 value;
		const char *fault;
	};
	// Row 0: spans (2,5) (9,10); row 1: span (0,3).
	const corruption corruptions[] =
	{
		{"negative span count", 0, 0x80, "counts of row 0"},
		{"pixel count too large", 2, 0x7F, "counts of row 0"},
		{"pixel count short", 3, 3, "pixel count of row 0"},
		{"span past the width", 15 - 4, 13, "spans of row 0"},
		{"spans out of order", 9, 1, "spans of row 0"},
		{"end before start", 7, 1, "spans of row 0"},
		{"row runs past the data", 17, 40, "row 1"}, // 40 spans
	};

	for (const corruption &c : corruptions)
	{
		SCOPED_TRACE(c.name);
		std::vector<uint8> stored;
		append_row(stored, {{2, 5}, {9, 10}}, 1, FALSE);
		append_row(stored, {{0, 3}}, 1, FALSE);
		stored[static_cast<size_t>(c.offset)] = c.value;
		bitmap_pointer bitmap = row_span_header(12, 2, 8, 0, stored.data());
		EXPECT_EQ(check(bitmap.get(), stored), c.fault);
	}

	// A truncated last row.
	std::vector<uint8> stored;
	append_row(stored, {{0, 3}}, 1, FALSE);
	append_row(stored, {{0, 3}}, 1, FALSE);
	bitmap_pointer bitmap = row_span_header(4, 2, 8, 0, stored.data());
	stored.pop_back();
	EXPECT_EQ(check(bitmap.get(), stored), "row 1");
	stored.resize(13);
	EXPECT_EQ(check(bitmap.get(), stored), "row 1");
	bitmap->height = 3;
	stored.clear();
	append_row(stored, {{0, 3}}, 1, FALSE);
	append_row(stored, {{0, 3}}, 1, FALSE);
	EXPECT_EQ(check(bitmap.get(), stored), "row 2");

	// Row-span needs its table.
	bitmap->height = 2;
	bitmap->flags = static_cast<int16>(bitmap->flags | _no_row_address_table_flag);
	EXPECT_NE(check(bitmap.get(), stored), "ok");
}

TEST(BitmapsRowSpan, PlainHeadersAreChecked)
{
	std::vector<uint8> pixels(4 * 10 * 2);
	bitmap_data bitmap = {};
	bitmap.width = 10;
	bitmap.height = 4;
	bitmap.bytes_per_row = 20;
	bitmap.logical_bit_depth = 16;
	bitmap.pixel_upshift = 1;
	EXPECT_EQ(check(&bitmap, pixels), "ok");

	bitmap_data bad = bitmap;
	bad.bytes_per_row = 18;
	EXPECT_EQ(check(&bad, pixels), "bytes per row (18)");
	bad.bytes_per_row = 21;
	EXPECT_EQ(check(&bad, pixels), "bytes per row (21)");
	bad = bitmap;
	bad.height = 5;
	EXPECT_EQ(check(&bad, pixels), "rows (5)");
	bad = bitmap;
	bad.width = -1;
	EXPECT_EQ(check(&bad, pixels), "width (-1)");
	bad = bitmap;
	bad.height = -2;
	EXPECT_EQ(check(&bad, pixels), "height (-2)");
	bad = bitmap;
	bad.logical_bit_depth = 24;
	EXPECT_EQ(check(&bad, pixels), "bit depth (24)");
	bad = bitmap;
	bad.pixel_upshift = 2;
	EXPECT_EQ(check(&bad, pixels), "bit depth (16)");

	// Extended encodings must match the depth; frame buffers are never stored.
	bad = bitmap;
	bad.flags = _bitmap_extended_encoding_flag;
	bad.encoding = _16bit_565_encoding;
	EXPECT_EQ(check(&bad, pixels), "ok"); // a run-length stream: left to its reader
	bad.encoding = _32bit_encoding;
	EXPECT_EQ(check(&bad, pixels), "encoding (2)");
	for (int16 encoding = _3dfx_frame_buffer_encoding; encoding < NUMBER_OF_BITMAP_ENCODINGS; ++encoding)
	{
		bad.encoding = encoding;
		EXPECT_NE(check(&bad, pixels), "ok");
	}
	bad.encoding = _16bit_argb_4444_texture_encoding;
	EXPECT_EQ(check(&bad, pixels), "ok");

	// 16-bit plain pixels turn round, 8- and 32-bit ones are kept as stored.
	std::vector<uint8> bytes = {1, 2, 3, 4, 5, 6, 7, 8};
	bitmap_data plain = {};
	plain.width = 2;
	plain.height = 2;
	plain.bytes_per_row = 4;
	plain.logical_bit_depth = 16;
	plain.pixel_upshift = 1;
	plain.row_addresses[0] = bytes.data();
	byte_swap_bitmap_pixels(&plain);
	EXPECT_EQ(bytes, (std::vector<uint8>{2, 1, 4, 3, 6, 5, 8, 7}));
	plain.logical_bit_depth = 32;
	plain.width = 1;
	byte_swap_bitmap_pixels(&plain);
	EXPECT_EQ(bytes, (std::vector<uint8>{2, 1, 4, 3, 6, 5, 8, 7}));
}

/* ---------- decompression */

TEST(BitmapsDecompress, NarrowBufferAndAlpha)
{
	bitmap_pointer bitmap(new_bitmap(8, 2, 8, _8bit_encoding, 0));
	ASSERT_NE(bitmap, nullptr);
	for (int32 y = 0; y < 2; ++y)
		for (int32 x = 0; x < 8; ++x) bitmap->row_addresses[y][x] = static_cast<uint8>(x == 1 ? 0 : 10 * y + x + 1);

	// A 4-wide buffer of exactly the bitmap's rows, with no spare row to take
	// an overrun: ASan sees any write past it.
	std::vector<uint8> narrow(4 * 2);
	decompress_bitmap(NULL, bitmap.get(), narrow.data(), 4, 2, 4, _decompress_bitmap_8, FALSE);
	EXPECT_EQ(narrow, (std::vector<uint8>{1, 0, 3, 4, 11, 0, 13, 14}));
	// Guard bytes behind the same rows catch an overrun without ASan too.
	std::vector<uint8> guarded(4 * 2 + 4, 0xAA);
	decompress_bitmap(NULL, bitmap.get(), guarded.data(), 4, 2, 4, _decompress_bitmap_8, FALSE);
	EXPECT_EQ(guarded, (std::vector<uint8>{1, 0, 3, 4, 11, 0, 13, 14, 0xAA, 0xAA, 0xAA, 0xAA}));
	// Rows past the bitmap's height are cleared.
	std::vector<uint8> tall(4 * 3, 0xAA);
	decompress_bitmap(NULL, bitmap.get(), tall.data(), 4, 3, 4, _decompress_bitmap_8, FALSE);
	EXPECT_EQ(tall, (std::vector<uint8>{1, 0, 3, 4, 11, 0, 13, 14, 0, 0, 0, 0}));

	std::vector<uint16> wide(10 * 2, 0xFFFF);
	decompress_bitmap(NULL, bitmap.get(), wide.data(), 10, 2, 20, _decompress_bitmap_88, FALSE);
	EXPECT_EQ(wide[0], 0xFF01);
	EXPECT_EQ(wide[1], 0x0000);
	EXPECT_EQ(wide[7], 0xFF08);
	EXPECT_EQ(wide[8], 0);
	EXPECT_EQ(wide[9], 0);

	// Overlay bitmaps take their alpha from the colour's brightness.
	color_table colors = {};
	colors.color_count = 256;
	colors.colors[3] = {0x1200, 0x3400, 0x2200, 0};
	bitmap->flags = static_cast<int16>(bitmap->flags | _bitmap_is_overlay_flag);
	decompress_bitmap(&colors, bitmap.get(), wide.data(), 10, 2, 20, _decompress_bitmap_88, FALSE);
	EXPECT_EQ(wide[2], 0x3403);
}

TEST(BitmapsDecompress, FourBitTransparencyRowSpansAndFilling)
{
	// Row-span 16-bit pixels with a transparency level in bits 8-11.
	std::vector<uint8> stored;
	append_row(stored, {{1, 3}}, 2, TRUE, 0);
	stored[8] = 0x03; // pixel (1,0): level 3, index 5
	stored[9] = 0x05;
	stored[10] = 0x00; // pixel (2,0): level 0, index 7
	stored[11] = 0x07;
	append_row(stored, {}, 2, TRUE);
	bitmap_pointer bitmap = row_span_header(4, 2, 16, _word_aligned_encoding_flag | _4bit_transparency_encoded_flag,
		stored.data());
	ASSERT_EQ(check(bitmap.get(), stored), "ok");
	byte_swap_bitmap_pixels(bitmap.get());
	precalculate_bitmap_row_addresses(bitmap.get());

	std::vector<uint16> out(4 * 2);
	decompress_bitmap(NULL, bitmap.get(), out.data(), 4, 2, 8, _decompress_bitmap_88, FALSE);
	EXPECT_EQ(out, (std::vector<uint16>{0, static_cast<uint16>(((15 - 3) * 17) << 8 | 5), 0xFF07, 0, 0, 0, 0, 0}));

	// Filling: each empty pixel takes the first non-empty neighbour's index
	// (right, below, left, above, wrapping), with alpha 0.
	decompress_bitmap(NULL, bitmap.get(), out.data(), 4, 2, 8, _decompress_bitmap_88, TRUE);
	EXPECT_EQ(out[0], 5); // right
	EXPECT_EQ(out[3], 5); // right wraps to (0,0), filled earlier in the pass
	EXPECT_EQ(out[4], 5); // right is empty, below wraps to (0,0)
	EXPECT_EQ(out[5], 5); // below wraps to (1,0)
	EXPECT_EQ(out[6], 7);
}

/* ---------- colours */

TEST(Colors, HsvConversions)
{
	rgb_color rgb;
	hsv_color hsv;
	rgb_color_to_hsv_color(set_rgb_color(&rgb, 65535, 0, 0), &hsv);
	EXPECT_EQ(hsv.hue, 0);
	EXPECT_EQ(hsv.saturation, 65535);
	EXPECT_EQ(hsv.value, 65535);
	rgb_color_to_hsv_color(&blue, &hsv);
	EXPECT_EQ(hsv.hue, 43690);
	rgb_color_to_hsv_color(set_rgb_color(&rgb, 1234, 1234, 1234), &hsv);
	EXPECT_EQ(hsv.hue, 0);
	EXPECT_EQ(hsv.saturation, 0);
	EXPECT_EQ(hsv.value, 1234);

	set_hsv_color(&hsv, 12345, 0, 40000);
	hsv.flags = 6;
	hsv_color_to_rgb_color(&hsv, &rgb);
	EXPECT_EQ(rgb.red, 40000);
	EXPECT_EQ(rgb.green, 40000);
	EXPECT_EQ(rgb.blue, 40000);
	EXPECT_EQ(rgb.flags, 6);
	hsv_color_to_rgb_color(set_hsv_color(&hsv, 0, 65535, 65535), &rgb);
	EXPECT_EQ(rgb.red, 65535);
	EXPECT_EQ(rgb.green, 0);
	EXPECT_EQ(rgb.blue, 0);
	// The last sector.
	hsv_color_to_rgb_color(set_hsv_color(&hsv, 65535, 65535, 65535), &rgb);
	EXPECT_EQ(rgb.red, 65535);
	EXPECT_EQ(rgb.green, 0);

	EXPECT_EQ(white.red, 65535);
	EXPECT_EQ(black.green, 0);
	EXPECT_EQ(green.green, 65535);
	EXPECT_EQ(red.blue, 0);
}

TEST(Colors, ClosestColorAndOversizedTables)
{
	color_table colors = {};
	EXPECT_EQ(closest_color_in_color_table(&colors, &white), NONE);

	colors.color_count = 3;
	colors.colors[0] = {0, 0, 0, 0};
	colors.colors[1] = {2000, 0, 0, 0};
	colors.colors[2] = {0, 0, 2000, 0};
	const rgb_color between = {1000, 0, 1000, 0};
	// Red differences weigh twice, and >> 4 floors: black is nearest here.
	EXPECT_EQ(closest_color_in_color_table(&colors, &between), 0);
	colors.colors[2] = {2000, 0, 0, 0};
	const rgb_color near_red = {1900, 0, 0, 0};
	EXPECT_EQ(closest_color_in_color_table(&colors, &near_red), 1); // a tie: the lower index

	// A count above 256 reads only the 256 colours there are (ASan: the
	// table is exactly its size on the heap).
	std::unique_ptr<color_table> big(new color_table());
	big->color_count = 100000;
	big->colors[255] = {65535, 65535, 65535, 0};
	EXPECT_EQ(closest_color_in_color_table(big.get(), &white), 255);
	EXPECT_EQ(color_table_usable_count(big.get()), 256);
	big->color_count = -4;
	EXPECT_EQ(closest_color_in_color_table(big.get(), &white), NONE);

	// Pixel values of a colour.
	const rgb_color c = {0xFFFF, 0x8000, 0x0800, 0};
	EXPECT_EQ(rgb_color_to_pixel(&c, _16bit_555_encoding, 0), 0x7C00u | 0x0200u | 0x01u);
	EXPECT_EQ(rgb_color_to_pixel(&c, _16bit_565_encoding, 0), 0xF800u | 0x0400u | 0x01u);
	EXPECT_EQ(rgb_color_to_pixel(&c, _32bit_encoding, 0), 0xFF8008u);
	EXPECT_EQ(rgb_color_to_pixel(&c, _opengl_frame_buffer_encoding, 0x4000), 0xBFFF8008u);
	EXPECT_EQ(rgb_color_to_pixel(&c, _8bit_encoding, 0), 0xFFu);
}

TEST(Colors, RemapBitmap)
{
	color_table source = {}, destination = {};
	source.color_count = 3;
	source.colors[1] = {60000, 0, 0, 0};
	source.colors[2] = {0, 60000, 0, 0};
	destination.color_count = 4;
	destination.colors[1] = {0, 61000, 0, 0};
	destination.colors[2] = {0, 0, 60000, 0};
	destination.colors[3] = {59000, 0, 0, 0};

	bitmap_pointer bitmap(new_bitmap(4, 2, 6, _8bit_encoding, 0));
	ASSERT_NE(bitmap, nullptr);
	const uint8 pixels[2][6] = {{0, 1, 2, 7, 9, 9}, {2, 2, 1, 0, 9, 9}};
	for (int32 y = 0; y < 2; ++y) memcpy(bitmap->row_addresses[y], pixels[y], 6);
	remap_bitmap(bitmap.get(), &source, &destination);
	const uint8 expected[2][6] = {{0, 3, 1, 7, 9, 9}, {1, 1, 3, 0, 9, 9}};
	for (int32 y = 0; y < 2; ++y) EXPECT_EQ(memcmp(bitmap->row_addresses[y], expected[y], 6), 0) << y;

	// 16-bit bitmaps are left alone and reported to the trace.
	reset_bitmaps_test_hooks();
	bitmap_pointer wide(new_bitmap(2, 1, 4, _16bit_555_encoding, 0));
	ASSERT_NE(wide, nullptr);
	wide->row_addresses[0][0] = 1;
	remap_bitmap(wide.get(), &source, &destination);
	EXPECT_EQ(wide->row_addresses[0][0], 1);
	EXPECT_EQ(get_bitmaps_test_hooks()->debug_trace_count, 1);
	EXPECT_NE(std::string(get_bitmaps_test_hooks()->last_debug_trace).find(", ...) failed"), std::string::npos);

	// Oversized source tables stop at 256 colours.
	std::unique_ptr<color_table> big(new color_table());
	big->color_count = 5000;
	remap_bitmap(bitmap.get(), big.get(), &destination);

	uint8 buffer[4] = {0, 1, 2, 3};
	uint8 table[256];
	for (int32 i = 0; i < 256; ++i) table[i] = static_cast<uint8>(255 - i);
	map_bytes(buffer, table, 3);
	EXPECT_EQ(buffer[0], 255);
	EXPECT_EQ(buffer[2], 253);
	EXPECT_EQ(buffer[3], 3);
}

/* ---------- rectangles */

TEST(Rectangles, IntersectionAndContainment)
{
	rectangle2d a, b, result;
	set_rectangle2d(&a, 0, 0, 10, 10);
	set_rectangle2d(&b, 5, 5, 20, 20);
	EXPECT_TRUE(union_rectangles2d(&a, &b, &result));
	EXPECT_EQ(result.top, 5);
	EXPECT_EQ(result.left, 5);
	EXPECT_EQ(result.bottom, 10);
	EXPECT_EQ(result.right, 10);

	set_rectangle2d(&b, 10, 0, 20, 10); // touches the right edge only
	EXPECT_FALSE(union_rectangles2d(&a, &b, &result));
	EXPECT_EQ(result.top | result.left | result.bottom | result.right, 0);

	point2d p;
	EXPECT_TRUE(point2d_in_rectangle2d(&a, set_point2d(&p, 0, 9)));
	EXPECT_FALSE(point2d_in_rectangle2d(&a, set_point2d(&p, 10, 5)));
	EXPECT_FALSE(point2d_in_rectangle2d(&a, set_point2d(&p, 5, 10)));
	offset_point2d(&p, -1, -1);
	EXPECT_EQ(p.x, 4);
	EXPECT_EQ(p.y, 9);
	point2d q = {4, 9};
	EXPECT_TRUE(equal_point2d(&p, &q));

	rectangle2d inner = a;
	EXPECT_TRUE(interior_rectangle2d(&a, &inner));
	EXPECT_TRUE(equal_rectangle2d(&a, &inner));
	inset_rectangle2d(&inner, 2, 3);
	EXPECT_EQ(inner.left, 2);
	EXPECT_EQ(inner.right, 8);
	EXPECT_EQ(inner.top, 3);
	EXPECT_EQ(inner.bottom, 7);
	EXPECT_TRUE(interior_rectangle2d(&a, &inner));
	EXPECT_FALSE(interior_rectangle2d(&inner, &a));
	EXPECT_FALSE(equal_rectangle2d(&a, &inner));
}

TEST(Rectangles, AdjustAndScale)
{
	rectangle2d bounds, source, result;
	set_rectangle2d(&bounds, 0, 0, 300, 400);
	set_rectangle2d(&source, 0, 0, 100, 100);
	adjust_rectangle2d(&bounds, &source, &result, _adjust_rectangle_alert);
	EXPECT_EQ(result.top, 100);
	EXPECT_EQ(result.left, 100);

	// A source larger than the bounds: every halving and third truncates toward zero.
	set_rectangle2d(&bounds, 0, 0, 5, 100);
	set_rectangle2d(&source, 0, 0, 8, 200);
	adjust_rectangle2d(&bounds, &source, &result, _adjust_rectangle_alert);
	EXPECT_EQ(result.left, -1); // (5 - 8) / 2
	EXPECT_EQ(result.top, -33); // (100 - 200) / 3
	adjust_rectangle2d(&bounds, &source, &result, _adjust_rectangle_center);
	EXPECT_EQ(result.left, -2); // 5 / 2 - 8 / 2
	EXPECT_EQ(result.top, -50);
	EXPECT_EQ(rectangle2d_width(&result), 8);

	set_rectangle2d(&bounds, 10, 20, 210, 120); // 200 x 100
	set_rectangle2d(&source, 0, 0, 50, 50);
	scale_rectangle2d(&bounds, &source, &result, 256);
	EXPECT_EQ(result.left, 60);
	EXPECT_EQ(result.top, 20);
	EXPECT_EQ(result.right, 160);
	EXPECT_EQ(result.bottom, 120);
	scale_rectangle2d(&bounds, &source, &result, 128);
	EXPECT_EQ(result.left, 85);
	EXPECT_EQ(result.top, 45);
	EXPECT_EQ(rectangle2d_width(&result), 50);
	set_rectangle2d(&source, 0, 0, 100, 10);
	scale_rectangle2d(&bounds, &source, &result, 256);
	EXPECT_EQ(rectangle2d_width(&result), 200);
	EXPECT_EQ(rectangle2d_height(&result), 20);
	EXPECT_EQ(result.top, 60);
	// An empty source has nothing to fit.
	set_rectangle2d(&source, 0, 0, 0, 10);
	scale_rectangle2d(&bounds, &source, &result, 256);
	EXPECT_EQ(rectangle2d_width(&result), 0);
}
