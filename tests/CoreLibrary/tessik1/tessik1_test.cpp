#include <gtest/gtest.h>

#include <vector>

#include "memory.h"
#include "support/test_directory.h"
#include "tessik1/tessik1.h"
#include "x_files.h"

namespace {

// Bits written most significant first into 32-bit little-endian words.
struct stream_builder
{
	std::vector<uint8> bytes;
	std::vector<bool> bits;

	void put(uint32 value, int32 n)
	{
		for (int32 i = n - 1; i >= 0; --i) bits.push_back(((value >> i) & 1) != 0);
	}
	std::vector<uint8> finish()
	{
		std::vector<uint8> out((bits.size() + 31) / 32 * 4, 0);
		for (size_t i = 0; i < bits.size(); ++i)
		{
			if (!bits[i]) continue;
			size_t word = i / 32, bit = 31 - i % 32;
			out[word * 4 + bit / 8] |= static_cast<uint8>(1u << (bit % 8));
		}
		return out;
	}
};

std::vector<uint8> noise_image(int32 width, int32 height, uint32 seed, bool smooth)
{
	std::vector<uint8> pixels(static_cast<size_t>(width) * height * 3);
	uint32 state = seed;
	for (size_t i = 0; i < pixels.size(); ++i)
	{
		state = state * 1664525u + 1013904223u;
		size_t pixel = i / 3;
		int32 x = static_cast<int32>(pixel % width), y = static_cast<int32>(pixel / width);
		pixels[i] = smooth ? static_cast<uint8>(x * 3 + y * 2 + static_cast<int32>(i % 3) * 40 + ((state >> 28) & 3))
			: static_cast<uint8>(state >> 24);
	}
	return pixels;
}

struct decoded
{
	boolean ok;
	std::vector<uint8> pixels;
	int32 width, height;
};

decoded decode(const uint8 *data, int32 length)
{
	uint8 *pixels;
	decoded result;
	result.ok = tessik1_decode(&pixels, &result.width, &result.height, data, length);
	if (pixels)
	{
		result.pixels.assign(pixels, pixels + static_cast<size_t>(result.width) * result.height * 3);
		dispose_pointer(pixels);
	}
	return result;
}

void expect_round_trip(const std::vector<uint8> &pixels, int32 width, int32 height)
{
	uint8 *stream;
	int32 length = tessik1_encode(pixels.data(), width, height, &stream);
	ASSERT_GT(length, 0) << width << " x " << height;
	decoded back = decode(stream, length);
	dispose_pointer(stream);
	ASSERT_TRUE(back.ok) << width << " x " << height;
	EXPECT_EQ(back.width, width);
	EXPECT_EQ(back.height, height);
	EXPECT_EQ(back.pixels, pixels) << width << " x " << height;
}

} // namespace

TEST(tessik1, hand_built_streams_decode_as_the_format_says)
{
	// 1 x 1: the three raw values follow the header and one block's parameters.
	{
		stream_builder s;
		s.put(1, 12); s.put(1, 12); s.put(2, 2);
		s.put(6, 3); s.put(6, 3); s.put(6, 3);
		s.put(0, 1); s.put(10, 6); s.put(0, 1); s.put(20, 6); s.put(0, 1); s.put(30, 6);
		std::vector<uint8> bytes = s.finish();
		decoded d = decode(bytes.data(), static_cast<int32>(bytes.size()));
		ASSERT_TRUE(d.ok);
		EXPECT_EQ(d.pixels, (std::vector<uint8>{10, 20, 30}));
	}
	// Parameters of 7 take no bits: every pixel follows its prediction. Width 9
	// gives two block columns: the ninth pixel takes the second block's k = 3
	// (the value 19 as 110 then 011, unzig 19 = -10).
	{
		stream_builder s;
		s.put(9, 12); s.put(2, 12); s.put(2, 2);
		s.put(7, 3); s.put(7, 3); s.put(7, 3);
		s.put(3, 3); s.put(7, 3); s.put(7, 3);
		s.put(0b110011, 6);
		// The second row's ninth pixel: slot 0 residual 0 (a 0, then 000).
		s.put(0, 1); s.put(0, 3);
		std::vector<uint8> bytes = s.finish();
		decoded d = decode(bytes.data(), static_cast<int32>(bytes.size()));
		ASSERT_TRUE(d.ok);
		ASSERT_EQ(d.width, 9);
		for (int32 x = 0; x < 8; ++x)
		{
			for (int32 c = 0; c < 3; ++c) EXPECT_EQ(d.pixels[x * 3 + c], 0) << x;
		}
		// The ninth pixel: base = L.0 - (-10) = 10, other channels keep L's difference.
		EXPECT_EQ(d.pixels[24], 10);
		EXPECT_EQ(d.pixels[25], 10);
		EXPECT_EQ(d.pixels[26], 10);
	}
	// k = 0: a residual is its unary run alone. Mode 2 on two rows: the first
	// row uses channel 0 as base, the second channel 2.
	{
		stream_builder s;
		s.put(1, 12); s.put(2, 12); s.put(2, 2);
		s.put(0, 3); s.put(0, 3); s.put(0, 3);
		// (0,0) raw: 4, 6, 8.
		s.put(0b11110, 5); s.put(0b1111110, 7); s.put(0b111111110, 9);
		// (0,1), base channel 2: slot 0 = ch2 residual 2 (unzig 1), slot 1 = ch1 residual 0, slot 2 = ch0 residual 0.
		s.put(0b110, 3); s.put(0, 1); s.put(0, 1);
		std::vector<uint8> bytes = s.finish();
		decoded d = decode(bytes.data(), static_cast<int32>(bytes.size()));
		ASSERT_TRUE(d.ok);
		// base = U.2 - 1 = 7; ch1 = 7 - (8 - 6) = 5; ch0 = 7 - (8 - 4) = 3.
		EXPECT_EQ(d.pixels, (std::vector<uint8>{4, 6, 8, 3, 5, 7}));
	}
}

TEST(tessik1, images_round_trip_and_take_the_length_the_costs_give)
{
	for (int32 side = 1; side <= 17; side += 2)
	{
		expect_round_trip(noise_image(side, 17 - side + 1, side, false), side, 17 - side + 1);
		expect_round_trip(noise_image(side, side, side + 100, true), side, side);
	}
	expect_round_trip(noise_image(4095, 1, 7, true), 4095, 1);
	expect_round_trip(noise_image(1, 4095, 8, false), 1, 4095);

	// A grey image ties every mode (mode 0 wins) and needs 9 bits a block only
	// beyond the raw first pixel's block.
	std::vector<uint8> grey(16 * 16 * 3, 0);
	uint8 *stream;
	int32 length = tessik1_encode(grey.data(), 16, 16, &stream);
	ASSERT_EQ(length, ((4 * 9 + 89) & ~31) / 8);
	EXPECT_EQ(stream[0] & 0xC0, 0); // the mode: bits 7-6 of the first word
	dispose_pointer(stream);
}

TEST(tessik1, a_13_by_9_image_encodes_byte_for_byte_as_the_model)
{
	// tools/models/tessik1.py, written from the stream description alone.
	static const uint8 golden[] = {
		0x76, 0x09, 0xD0, 0x00, 0xD9, 0xB6, 0x6D, 0xDB, 0x09, 0xF7, 0xED, 0xE6, 0xC6, 0x36, 0xEF, 0xDF,
		0x5E, 0xB8, 0xF7, 0x21, 0x33, 0xB6, 0x7D, 0xCB, 0x0F, 0xDC, 0x6B, 0xB1, 0xD6, 0x9E, 0x79, 0xE8,
		0x0B, 0xEE, 0x8A, 0x32, 0xA7, 0xE2, 0x8E, 0xB6, 0xE8, 0x3A, 0xA1, 0x25, 0x7C, 0xBB, 0xA6, 0x14,
		0xF8, 0x7A, 0xDC, 0x0C, 0x3D, 0xFC, 0x65, 0x4C, 0xC5, 0xFA, 0x56, 0x04, 0xDE, 0xA2, 0x3F, 0xBE,
		0xFC, 0x31, 0x7B, 0x6B, 0x26, 0x4F, 0x54, 0x86, 0xE3, 0x87, 0x0B, 0xB2, 0x02, 0x26, 0x69, 0x8F,
		0xDF, 0xE5, 0x2C, 0x6A, 0x9A, 0x00, 0x66, 0x65, 0xAE, 0x5F, 0xDA, 0x0C, 0x6C, 0xC1, 0xB1, 0x12,
		0x9D, 0x07, 0x5A, 0x8B, 0xB6, 0xA0, 0xE8, 0x26, 0x27, 0x5C, 0x38, 0x28, 0x99, 0xBB, 0xA3, 0x64,
		0xDB, 0x46, 0xB6, 0x00, 0xF0, 0x5B, 0xC6, 0x9C, 0xA1, 0x78, 0xFB, 0x0C, 0xC7, 0x78, 0x2E, 0x1B,
		0xEC, 0xB5, 0x74, 0x5B, 0xA4, 0xCB, 0x3E, 0x8C, 0xB6, 0xE2, 0xB6, 0xD0, 0xFC, 0xF9, 0x35, 0x52,
		0xD5, 0x92, 0x43, 0x37, 0x77, 0x62, 0xC3, 0x03, 0xBE, 0x38, 0x64, 0xFC, 0x52, 0x21, 0x67, 0x41,
		0xE0, 0x88, 0x83, 0xAB, 0x7D, 0x92, 0xAE, 0x3A, 0xDB, 0x47, 0xCB, 0xC8, 0x5A, 0x97, 0x34, 0xDE,
		0x40, 0x4C, 0x32, 0x16, 0x27, 0x0B, 0x3E, 0x0D, 0x33, 0xA5, 0xE6, 0xA3, 0x7B, 0xCE, 0x65, 0xDD,
		0x64, 0xF7, 0xDA, 0x09, 0x7C, 0x7B, 0xAE, 0xBB, 0x9E, 0x94, 0x94, 0x6F, 0x9C, 0xCB, 0xE6, 0xDD,
		0xE0, 0x13, 0x82, 0xED, 0x1E, 0x3B, 0xFA, 0x23, 0x33, 0xC9, 0xBE, 0x8B, 0x7A, 0x36, 0xEC, 0x91,
		0x6B, 0x56, 0x9C, 0x12, 0xDC, 0x01, 0xAE, 0x7D, 0x38, 0x47, 0xB3, 0xE6, 0x0D, 0xA7, 0x3D, 0x34,
		0x41, 0xCE, 0x1E, 0xC1, 0x63, 0x5E, 0x9B, 0xF3, 0xBF, 0x7C, 0x8B, 0x60, 0xE6, 0xCD, 0xA4, 0xAE,
		0x0B, 0xD7, 0x7C, 0x3B, 0xA5, 0x7D, 0x3E, 0xD7, 0x5F, 0x26, 0xE9, 0x0C, 0x8E, 0x33, 0xED, 0xAD,
		0x04, 0x1D, 0xDE, 0x3B, 0xE2, 0x66, 0xCE, 0x24, 0xE9, 0xAF, 0xBF, 0x3B, 0x0E, 0xF3, 0xE6, 0x74,
		0x71, 0x67, 0xE8, 0x07, 0x6A, 0x4C, 0xFA, 0x42, 0xB1, 0x1D, 0xA3, 0x5E, 0x6E, 0xFB, 0xE8, 0x84,
		0xB0, 0xA1, 0x8F, 0xBF, 0x69, 0x26, 0xE0, 0xC7, 0x31, 0xF8, 0xB7, 0x74, 0xC7, 0x5D, 0xF5, 0x45,
		0x4B, 0x9A, 0x0B, 0x43, 0x39, 0x61, 0x06, 0xBC, 0xF9, 0x3B, 0x2C, 0x27, 0x83, 0xA2, 0x2B, 0x4E,
		0xEE, 0x35, 0xE5, 0xAF, 0x90, 0x47, 0xA9, 0xB9, 0x47, 0xF0, 0xD6, 0x9C, 0xE7, 0xB6, 0x85, 0x6D,
		0xD6, 0x4E, 0xBA, 0xAB, 0xA1, 0xC7, 0xEE, 0xA4, 0x6F, 0x5D, 0x73, 0xD5, 0xDA, 0xEC, 0x82, 0x0A,
		0xEE, 0xA8, 0x19, 0x5E, 0xD6, 0xBA, 0xC7, 0xAE, 0x4B, 0xBC, 0xF3, 0x69, 0x00, 0x00, 0x60, 0x90,
		0x00, 0x00, 0x00, 0x00,
	};
	std::vector<uint8> image = noise_image(13, 9, 5, false);
	uint8 *stream;
	const int32 length = tessik1_encode(image.data(), 13, 9, &stream);
	ASSERT_EQ(length, static_cast<int32>(sizeof(golden)));
	EXPECT_EQ(std::vector<uint8>(stream, stream + length), std::vector<uint8>(golden, golden + sizeof(golden)));
	dispose_pointer(stream);
}

TEST(tessik1, bad_streams_fail_without_pixels)
{
	std::vector<uint8> image = noise_image(13, 9, 5, false);
	uint8 *stream;
	int32 length = tessik1_encode(image.data(), 13, 9, &stream);
	ASSERT_GT(length, 8);
	std::vector<uint8> good(stream, stream + length);
	dispose_pointer(stream);

	// The stream always ends with 32 to 63 spare bits: every cut of two words fails.
	for (int32 cut = 1; cut <= length - 8; ++cut)
	{
		decoded d = decode(good.data(), cut);
		EXPECT_FALSE(d.ok) << cut;
		EXPECT_TRUE(d.pixels.empty());
		EXPECT_EQ(d.width, 0);
	}
	EXPECT_TRUE(decode(good.data(), length - 4).ok);

	// Within the last words a cut either fails or gives the image exactly: the
	// bytes of a short last word are the first bits read, so it cannot count.
	for (int32 seed = 1; seed <= 12; ++seed)
	{
		int32 side = 3 + seed;
		std::vector<uint8> original = noise_image(side, 7, static_cast<uint32>(seed), (seed & 1) != 0);
		int32 n = tessik1_encode(original.data(), side, 7, &stream);
		ASSERT_GT(n, 8);
		std::vector<uint8> full(stream, stream + n);
		dispose_pointer(stream);
		for (int32 cut = n - 8; cut < n; ++cut)
		{
			decoded d = decode(full.data(), cut);
			if (d.ok)
			{
				EXPECT_EQ(d.pixels, original) << seed << " " << cut;
			}
			else
			{
				EXPECT_TRUE(d.pixels.empty());
			}
			if (cut % 4 != 0)
			{
				EXPECT_EQ(d.ok, decode(full.data(), cut / 4 * 4).ok) << seed << " " << cut;
			}
		}
	}

	// Mode 3, sides of 0.
	std::vector<uint8> bad = good;
	bad[0] |= 0xC0;
	EXPECT_FALSE(decode(bad.data(), length).ok);
	bad = good;
	bad[3] = 0; bad[2] &= 0x0F;
	EXPECT_FALSE(decode(bad.data(), length).ok);
	EXPECT_EQ(tessik1_encode(image.data(), 0, 9, &stream), 0);
	EXPECT_EQ(stream, nullptr);
	EXPECT_EQ(tessik1_encode(image.data(), 4096, 1, &stream), 0);

	// A run of more than 10,000 ones that never ends inside the data.
	stream_builder s;
	s.put(1, 12); s.put(1, 12); s.put(0, 2);
	s.put(0, 3); s.put(0, 3); s.put(0, 3);
	for (int32 i = 0; i < 10013; ++i) s.put(1, 1); // to the last bit of the last word
	std::vector<uint8> run = s.finish();
	EXPECT_FALSE(decode(run.data(), static_cast<int32>(run.size())).ok);
	EXPECT_FALSE(decode(nullptr, 4).ok);
}

class tessik1_file : public zerv_test_directory
{
};

TEST_F(tessik1_file, the_file_form_returns_the_length_and_refuses_bad_lengths)
{
	std::vector<uint8> image = noise_image(5, 3, 9, true);
	file_reference file;
	file_reference_create(&file, _file_location_working_directory);
	file_reference_set_name(&file, "image");
	ASSERT_TRUE(file_create(&file));
	ASSERT_TRUE(file_open(&file, _permission_read_flag | _permission_write_flag));
	int32 written = tessik1_encode_buffer_to_stream(image.data(), 5, 3, &file);
	ASSERT_GT(written, 4);
	// A length of -1, then one past the end.
	const uint8 minus_one[4] = {0xFF, 0xFF, 0xFF, 0xFF};
	const uint8 too_long[4] = {0x00, 0x10, 0x00, 0x00};
	ASSERT_TRUE(file_write(&file, 4, minus_one));
	ASSERT_TRUE(file_write(&file, 4, too_long));

	ASSERT_TRUE(file_set_position(&file, 0));
	uint8 *pixels;
	int32 width, height;
	EXPECT_EQ(tessik1_decode_stream_to_buffer(&pixels, &width, &height, &file), written);
	ASSERT_NE(pixels, nullptr);
	EXPECT_EQ(std::vector<uint8>(pixels, pixels + 45), image);
	dispose_pointer(pixels);
	EXPECT_EQ(tessik1_decode_stream_to_buffer(&pixels, &width, &height, &file), 0);
	EXPECT_EQ(tessik1_decode_stream_to_buffer(&pixels, &width, &height, &file), 0);
	EXPECT_EQ(pixels, nullptr);
	file_close(&file);
}
