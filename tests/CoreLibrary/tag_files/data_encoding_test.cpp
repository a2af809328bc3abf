#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "CoreLibrary/tag_files/data_encoding.h"

namespace
{
struct pair_record
{
	int16 small;
	int16 unused;
	int32 large;
};
constexpr byte_swap_code pair_record_byte_swapping_data[] = {_begin_bs_array, 1, _2byte, 2, _4byte, _end_bs_array};
static_assert(get_byte_swap_struct_size(pair_record_byte_swapping_data) == sizeof(pair_record));
const byte_swap_definition pair_record_definition = {"pair", sizeof(pair_record), pair_record_byte_swapping_data, 0};

TEST(DataEncoding, StructuresAndArraysRoundTrip)
{
	uint8 buffer[64] = {};
	data_encoding_state state;
	ASSERT_TRUE(data_encode_new(&state, buffer, sizeof(buffer)));

	const pair_record one = {0x0102, 0, 0x03040506};
	const pair_record many[2] = {{-2, 0, -3}, {0x7FFF, 0, 0x10}};
	ASSERT_TRUE(data_encode_structures(&state, &one, 1, sizeof(one), &pair_record_definition));
	ASSERT_TRUE(data_encode_array(&state, many, 2, sizeof(pair_record), &pair_record_definition));
	ASSERT_TRUE(data_encode_string(&state, "name", 31));
	EXPECT_TRUE(data_encode_structures(&state, nullptr, 0, sizeof(one), &pair_record_definition));
	EXPECT_EQ(state.offset, 8 + 2 + 16 + 5);

	// Big-endian with no alignment.
	const uint8 expected_start[] = {0x01, 0x02, 0, 0, 0x03, 0x04, 0x05, 0x06, 0x00, 0x02, 0xFF, 0xFE};
	EXPECT_EQ(memcmp(buffer, expected_start, sizeof(expected_start)), 0);

	ASSERT_TRUE(data_decode_new(&state, buffer, sizeof(buffer)));
	// Decoded data lies unaligned in the buffer: it is copied out before use.
	const void *decoded_one = data_decode_structures(&state, 1, sizeof(pair_record), &pair_record_definition);
	ASSERT_NE(decoded_one, nullptr);
	pair_record decoded;
	memcpy(&decoded, decoded_one, sizeof(decoded));
	EXPECT_EQ(decoded.small, one.small);
	EXPECT_EQ(decoded.large, one.large);
	int16 count = -7;
	const void *decoded_many = data_decode_array(&state, &count, 2, sizeof(pair_record), &pair_record_definition);
	ASSERT_NE(decoded_many, nullptr);
	EXPECT_EQ(count, 2);
	pair_record array[2];
	memcpy(array, decoded_many, sizeof(array));
	EXPECT_EQ(array[0].small, -2);
	EXPECT_EQ(array[0].large, -3);
	EXPECT_EQ(array[1].small, 0x7FFF);
	EXPECT_STREQ(data_decode_string(&state, 31), "name");
	EXPECT_EQ(state.offset, 31);
}

TEST(DataEncoding, BoundariesAndFailuresKeepTheOffset)
{
	uint8 buffer[16] = {};
	data_encoding_state state;
	ASSERT_TRUE(data_encode_new(&state, buffer, sizeof(buffer)));
	state.offset = 6;
	// Ten characters with exactly ten bytes left: the terminator does not fit.
	EXPECT_FALSE(data_encode_string(&state, "0123456789", 31));
	EXPECT_EQ(state.offset, 6);
	state.offset = 5;
	EXPECT_TRUE(data_encode_string(&state, "0123456789", 31));
	EXPECT_EQ(state.offset, 16);
	// A longer text is cut at the maximum.
	ASSERT_TRUE(data_encode_new(&state, buffer, sizeof(buffer)));
	EXPECT_TRUE(data_encode_string(&state, "abcdefgh", 3));
	EXPECT_STREQ(reinterpret_cast<char *>(buffer), "abc");

	// A failed encode writes nothing.
	uint8 small[9] = {};
	ASSERT_TRUE(data_encode_new(&state, small, sizeof(small)));
	const pair_record two[2] = {{1, 0, 2}, {3, 0, 4}};
	EXPECT_FALSE(data_encode_structures(&state, two, 2, sizeof(pair_record), &pair_record_definition));
	EXPECT_FALSE(data_encode_array(&state, two, 1, sizeof(pair_record), &pair_record_definition));
	EXPECT_EQ(state.offset, 0);
	for (uint8 b : small) EXPECT_EQ(b, 0);

	// A definition of another size fails; so does a descriptor larger than
	// the structure it claims.
	const byte_swap_definition wrong_size = {"wrong", 4, pair_record_byte_swapping_data, 0};
	EXPECT_FALSE(data_encode_structures(&state, two, 1, sizeof(pair_record), &wrong_size));
	static constexpr byte_swap_code long_codes[] = {_begin_bs_array, 3, _4byte, _end_bs_array};
	const byte_swap_definition too_long = {"too long", 8, long_codes, 0};
	EXPECT_FALSE(data_encode_structures(&state, two, 1, 8, &too_long));
	EXPECT_EQ(state.offset, 0);

	// Offsets are 16-bit: larger buffers are refused and accept nothing.
	std::vector<uint8> large(40000);
	EXPECT_FALSE(data_encode_new(&state, large.data(), 40000));
	EXPECT_FALSE(data_encode_string(&state, "", 1));
	EXPECT_TRUE(data_encode_new(&state, large.data(), 32767));
}

TEST(DataEncoding, DecodeRejectsBadCountsAndUnterminatedStrings)
{
	for (int16 stored : {(int16)-1, (int16)4})
	{
		uint8 buffer[64] = {};
		data_encoding_state state;
		data_encode_new(&state, buffer, sizeof(buffer));
		// Stored counts are written through the same header definition.
		int16 copy = stored;
		ASSERT_TRUE(data_encode_structures(&state, &copy, 1, sizeof(int16), &encoded_array_header));
		data_decode_new(&state, buffer, sizeof(buffer));
		int16 count = 77;
		EXPECT_EQ(data_decode_array(&state, &count, 3, sizeof(pair_record), &pair_record_definition), nullptr);
		EXPECT_EQ(count, 77);
		EXPECT_EQ(state.offset, 0);
		if (stored >= 0)
		{
			EXPECT_NE(data_decode_array(&state, &count, 4, 1, nullptr), nullptr);
		}
	}

	// A count whose elements run past the buffer.
	uint8 short_buffer[6] = {0x00, 0x01};
	data_encoding_state state;
	data_decode_new(&state, short_buffer, sizeof(short_buffer));
	int16 count;
	EXPECT_EQ(data_decode_array(&state, &count, 10, sizeof(pair_record), &pair_record_definition), nullptr);

	char text[8] = {'a', 'b', 'c', 0, 'd', 'e', 'f', 'g'};
	data_decode_new(&state, text, sizeof(text));
	EXPECT_EQ(data_decode_string(&state, 2), nullptr);
	EXPECT_STREQ(data_decode_string(&state, 3), "abc");
	// The rest has no terminator before the end of the buffer.
	EXPECT_EQ(data_decode_string(&state, 100), nullptr);
	EXPECT_EQ(state.offset, 4);
}

TEST(DataEncoding, RollbackClearsExactlyTheBytesSinceTheCheckpoint)
{
	uint8 buffer[32];
	memset(buffer, 0xAA, sizeof(buffer));
	data_encoding_state state;
	data_encode_new(&state, buffer, sizeof(buffer));
	ASSERT_TRUE(data_encode_string(&state, "keep", 10));
	data_encoding_checkpoint checkpoint;
	data_encode_checkpoint(&state, &checkpoint);
	ASSERT_TRUE(data_encode_string(&state, "drop me", 10));
	data_encode_rollback(&state, &checkpoint);
	EXPECT_EQ(state.offset, 5);
	EXPECT_STREQ(reinterpret_cast<char *>(buffer), "keep");
	for (int32 i = 5; i < 13; ++i) EXPECT_EQ(buffer[i], 0) << i;
	for (int32 i = 13; i < 32; ++i) EXPECT_EQ(buffer[i], 0xAA) << i;
	// Rolling back again changes nothing.
	data_encode_rollback(&state, &checkpoint);
	EXPECT_EQ(buffer[13], 0xAA);
}
} // namespace
