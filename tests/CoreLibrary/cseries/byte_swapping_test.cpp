#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <random>
#include <vector>

#include "byte_swapping.h"
#include "byte_swap_records.h"

namespace
{
	constexpr byte_swap_code simple_codes[] = {_begin_bs_array, 2, _2byte, _4byte, 1, _end_bs_array};

	std::vector<uint8_t> counting_bytes(size_t size)
	{
		std::vector<uint8_t> bytes(size);
		std::iota(bytes.begin(), bytes.end(), 0);
		return bytes;
	}

	// Stored records check their descriptors at compile time the same way.
	static_assert(get_byte_swap_struct_size(simple_codes) == 14);
	static_assert(byte_swap_descriptor_is_valid(simple_codes, NUMBEROF(simple_codes)));
}

TEST(ByteSwap, SimpleDescriptorSwapsExactlyItsFields)
{
	EXPECT_EQ(get_byte_swap_struct_size(simple_codes), 14);
	std::vector<uint8_t> bytes = counting_bytes(16);
	byte_swap_data("simple", bytes.data(), 14, 1, simple_codes);
	const std::vector<uint8_t> expected = {1, 0, 5, 4, 3, 2, 6, 8, 7, 12, 11, 10, 9, 13, 14, 15};
	EXPECT_EQ(bytes, expected);
}

TEST(ByteSwap, StructuresLieDataSizeApart)
{
	// Three structures of 14 described bytes, 16 bytes apart.
	std::vector<uint8_t> bytes = counting_bytes(48);
	byte_swap_data("spaced", bytes.data(), 16, 3, simple_codes);
	for (int s = 0; s < 3; ++s)
	{
		const int base = 16 * s;
		EXPECT_EQ(bytes[base + 0], base + 1);
		EXPECT_EQ(bytes[base + 2], base + 5);
		EXPECT_EQ(bytes[base + 13], base + 13);
		EXPECT_EQ(bytes[base + 14], base + 14) << "padding after the described bytes must stay";
		EXPECT_EQ(bytes[base + 15], base + 15);
	}
}

TEST(ByteSwap, NestedGroupsRepeatAndAdvanceTheOffset)
{
	// 2 bytes, then three embedded 5-byte structures, then 2 bytes.
	const byte_swap_code nested[] = {_begin_bs_array, 1, _2byte, _begin_bs_array, 3, _4byte, 1, _end_bs_array, _2byte,
		_end_bs_array};
	EXPECT_EQ(get_byte_swap_struct_size(nested), 19);
	std::vector<uint8_t> bytes = counting_bytes(19);
	byte_swap_data("nested", bytes.data(), 19, 1, nested);
	const std::vector<uint8_t> expected = {1, 0, 5, 4, 3, 2, 6, 10, 9, 8, 7, 11, 15, 14, 13, 12, 16, 18, 17};
	EXPECT_EQ(bytes, expected);

	// A nested group inside a repeated outer group: offsets run on across repetitions.
	const byte_swap_code repeated[] = {_begin_bs_array, 2, _begin_bs_array, 3, _2byte, _end_bs_array, 1, _end_bs_array};
	EXPECT_EQ(get_byte_swap_struct_size(repeated), 14);
	bytes = counting_bytes(14);
	byte_swap_data("repeated", bytes.data(), 14, 1, repeated);
	const std::vector<uint8_t> expected_repeated = {1, 0, 3, 2, 5, 4, 6, 8, 7, 10, 9, 12, 11, 13};
	EXPECT_EQ(bytes, expected_repeated);
}

TEST(ByteSwap, NothingHappensWithoutDataOrCount)
{
	byte_swap_data("null", nullptr, 14, 5, simple_codes);

	std::vector<uint8_t> bytes = counting_bytes(14);
	const std::vector<uint8_t> original = bytes;
	byte_swap_data("none", bytes.data(), 14, 0, simple_codes);
	byte_swap_data("negative", bytes.data(), 14, -1, simple_codes);
	EXPECT_EQ(bytes, original);

	// A count below 1 describes nothing; a nested one is skipped whole.
	const byte_swap_code empty[] = {_begin_bs_array, 0, _4byte, _end_bs_array};
	EXPECT_EQ(get_byte_swap_struct_size(empty), 0);
	byte_swap_data("empty", bytes.data(), 4, 1, empty);
	EXPECT_EQ(bytes, original);

	const byte_swap_code empty_nested[] = {_begin_bs_array, 1, _2byte, _begin_bs_array, 0, _begin_bs_array, 2, _4byte,
		_end_bs_array, _end_bs_array, _4byte, _end_bs_array};
	EXPECT_EQ(get_byte_swap_struct_size(empty_nested), 6);
	byte_swap_data("empty nested", bytes.data(), 6, 1, empty_nested);
	const std::vector<uint8_t> expected = {1, 0, 5, 4, 3, 2, 6, 7, 8, 9, 10, 11, 12, 13};
	EXPECT_EQ(bytes, expected);
}

TEST(ByteSwap, MoveHandlesOverlapAndConvertsTheDestination)
{
	std::vector<uint8_t> bytes = counting_bytes(14 * 3 + 7);
	const std::vector<uint8_t> original = bytes;
	byte_swap_move("overlap", bytes.data() + 7, bytes.data(), 14, 3, simple_codes);

	std::vector<uint8_t> expected(original.begin(), original.begin() + 42);
	byte_swap_data("reference", expected.data(), 14, 3, simple_codes);
	EXPECT_TRUE(std::equal(expected.begin(), expected.end(), bytes.begin() + 7));
	EXPECT_TRUE(std::equal(original.begin(), original.begin() + 7, bytes.begin()));

	// Backwards overlap as well.
	bytes = original;
	byte_swap_move("overlap back", bytes.data(), bytes.data() + 7, 14, 3, simple_codes);
	std::vector<uint8_t> expected_back(original.begin() + 7, original.begin() + 49);
	byte_swap_data("reference", expected_back.data(), 14, 3, simple_codes);
	EXPECT_TRUE(std::equal(expected_back.begin(), expected_back.end(), bytes.begin()));
}

TEST(ByteSwap, MemoryOfManyFieldsGoesWordWise)
{
	const int count = 40000;
	std::vector<uint8_t> bytes = counting_bytes(4 * count);
	const std::vector<uint8_t> original = bytes;

	byte_swap_memory("words", bytes.data(), count, _2byte);
	for (int i = 0; i < count; ++i)
	{
		ASSERT_EQ(bytes[2 * i], original[2 * i + 1]) << "word " << i;
		ASSERT_EQ(bytes[2 * i + 1], original[2 * i]) << "word " << i;
	}
	EXPECT_TRUE(std::equal(original.begin() + 2 * count, original.end(), bytes.begin() + 2 * count))
		<< "nothing past the 40000 words changes";

	bytes = original;
	byte_swap_memory("plain bytes", bytes.data(), count, 4);
	EXPECT_EQ(bytes, original);
	byte_swap_memory("plain bytes, short", bytes.data(), 100, 4);
	EXPECT_EQ(bytes, original);

	byte_swap_memory("longs", bytes.data(), count, _4byte);
	for (int i = 0; i < count; ++i)
	{
		ASSERT_EQ(bytes[4 * i], original[4 * i + 3]) << "long " << i;
		ASSERT_EQ(bytes[4 * i + 1], original[4 * i + 2]) << "long " << i;
	}

	// Below 32768 the descriptor path gives the same result.
	bytes = original;
	byte_swap_memory("short run", bytes.data(), 3, _4byte);
	const std::vector<uint8_t> expected = {3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 12};
	EXPECT_TRUE(std::equal(expected.begin(), expected.end(), bytes.begin()));
}

TEST(ByteSwap, SwappingTwiceIsTheIdentity)
{
	const byte_swap_code record[] = {_begin_bs_array, 1, _4byte, 3, _2byte, _begin_bs_array, 4, _2byte, _4byte, 2,
		_end_bs_array, _4byte, _end_bs_array};
	const int32 size = get_byte_swap_struct_size(record);
	ASSERT_EQ(size, 4 + 3 + 2 + 4 * 8 + 4);
	std::mt19937 random(7);
	std::vector<uint8_t> bytes(static_cast<size_t>(size) * 50);
	for (auto &b : bytes) b = static_cast<uint8_t>(random());
	const std::vector<uint8_t> original = bytes;
	byte_swap_data("record", bytes.data(), size, 50, record);
	EXPECT_NE(bytes, original);
	byte_swap_data("record", bytes.data(), size, 50, record);
	EXPECT_EQ(bytes, original);
}

TEST(ByteSwap, ValidatorRejectsMalformedDescriptors)
{
	const byte_swap_code nested[] = {_begin_bs_array, 2, _2byte, _begin_bs_array, 3, _4byte, _end_bs_array, 1,
		_end_bs_array};
	EXPECT_TRUE(byte_swap_descriptor_is_valid(nested, NUMBEROF(nested)));
	// Codes after the descriptor do not matter.
	const byte_swap_code trailing[] = {_begin_bs_array, 1, _2byte, _end_bs_array, -77, 0};
	EXPECT_TRUE(byte_swap_descriptor_is_valid(trailing, NUMBEROF(trailing)));

	const byte_swap_code unknown[] = {_begin_bs_array, 1, -3, _end_bs_array};
	const byte_swap_code zero_code[] = {_begin_bs_array, 1, 0, _end_bs_array};
	const byte_swap_code zero_count[] = {_begin_bs_array, 0, _2byte, _end_bs_array};
	const byte_swap_code zero_nested[] = {_begin_bs_array, 1, _begin_bs_array, 0, _2byte, _end_bs_array,
		_end_bs_array};
	const byte_swap_code no_begin[] = {_2byte, 1, _2byte, _end_bs_array};
	const byte_swap_code unbalanced[] = {_begin_bs_array, 1, _begin_bs_array, 2, _2byte, _end_bs_array};
	const byte_swap_code huge[] = {_begin_bs_array, 32767, _begin_bs_array, 32767, _begin_bs_array, 32767, _2byte,
		_end_bs_array, _end_bs_array, _end_bs_array};
	const byte_swap_code huge_fields[] = {_begin_bs_array, 32767, 32767, 32767, 32767, _end_bs_array};
	EXPECT_FALSE(byte_swap_descriptor_is_valid(unknown, NUMBEROF(unknown)));
	EXPECT_FALSE(byte_swap_descriptor_is_valid(zero_code, NUMBEROF(zero_code)));
	EXPECT_FALSE(byte_swap_descriptor_is_valid(zero_count, NUMBEROF(zero_count)));
	EXPECT_FALSE(byte_swap_descriptor_is_valid(zero_nested, NUMBEROF(zero_nested)));
	EXPECT_FALSE(byte_swap_descriptor_is_valid(no_begin, NUMBEROF(no_begin)));
	EXPECT_FALSE(byte_swap_descriptor_is_valid(unbalanced, NUMBEROF(unbalanced)));
	EXPECT_FALSE(byte_swap_descriptor_is_valid(huge, NUMBEROF(huge)));
	EXPECT_FALSE(byte_swap_descriptor_is_valid(huge_fields, NUMBEROF(huge_fields)));
	// The length bounds the check: a cut-off descriptor is not read past its end.
	EXPECT_FALSE(byte_swap_descriptor_is_valid(simple_codes, NUMBEROF(simple_codes) - 1));
	EXPECT_FALSE(byte_swap_descriptor_is_valid(nullptr, 4));

	// Depth: the outer group and seven nested ones pass, one more fails.
	std::vector<byte_swap_code> deep;
	auto build = [&deep](int depth) {
		deep.clear();
		for (int i = 0; i < depth; ++i)
		{
			deep.push_back(_begin_bs_array);
			deep.push_back(1);
		}
		deep.push_back(_2byte);
		for (int i = 0; i < depth; ++i) deep.push_back(_end_bs_array);
	};
	build(MAXIMUM_BYTE_SWAP_DESCRIPTOR_DEPTH);
	EXPECT_TRUE(byte_swap_descriptor_is_valid(deep.data(), static_cast<int32>(deep.size())));
	EXPECT_EQ(get_byte_swap_struct_size(deep.data()), 2);
	build(MAXIMUM_BYTE_SWAP_DESCRIPTOR_DEPTH + 1);
	EXPECT_FALSE(byte_swap_descriptor_is_valid(deep.data(), static_cast<int32>(deep.size())));
}

namespace
{
	// A random descriptor: groups nested up to three deep, some repeated
	// zero times, fields of every kind.
	void random_group(std::mt19937 &random, std::vector<byte_swap_code> &codes, int depth, int width)
	{
		codes.push_back(_begin_bs_array);
		const int count_pick = static_cast<int>(random() % 10);
		codes.push_back(static_cast<byte_swap_code>(count_pick == 0 ? 0 : count_pick == 1 ? 40 + random() % 60 : 1 + random() % 5));
		const int fields = 1 + static_cast<int>(random() % width);
		for (int f = 0; f < fields; ++f)
		{
			const int kind = static_cast<int>(random() % 8);
			if (kind < 3) codes.push_back(_2byte);
			else if (kind < 5) codes.push_back(_4byte);
			else if (kind < 7 || depth >= 3) codes.push_back(static_cast<byte_swap_code>(1 + random() % 6));
			else random_group(random, codes, depth + 1, width);
		}
		codes.push_back(_end_bs_array);
	}
}

namespace
{
	constexpr byte_swap_code nested_codes[] = {_begin_bs_array, 2, _4byte, 3, _begin_bs_array, 3, _2byte, 1,
		_end_bs_array, _begin_bs_array, 0, _4byte, _end_bs_array, _2byte, _end_bs_array};
	constexpr byte_swap_code unswapped_codes[] = {_begin_bs_array, 1, 6, _end_bs_array};

	template <const byte_swap_code *codes>
	void expect_records_convert_as_walked(std::mt19937 &random)
	{
		const int32 size = get_byte_swap_struct_size(codes);
		for (const int32 data_size : {size, size + 3})
		{
			const int32 data_count = 1 + static_cast<int32>(random() % 9);
			std::vector<uint8_t> actual(static_cast<size_t>(data_size) * data_count);
			for (uint8_t &b : actual) b = static_cast<uint8_t>(random());
			std::vector<uint8_t> expected = actual;
			for (int32 i = 0; i < data_count; ++i)
				byte_swap_private::walk(codes, expected.data() + static_cast<size_t>(i) * data_size, nullptr);
			byte_swap_records<codes>(actual.data(), data_size, data_count);
			EXPECT_EQ(actual, expected) << data_size << " x " << data_count;
		}
	}
}

TEST(ByteSwap, RecordsOfAFixedDescriptorConvertAsTheWalkDoes)
{
	std::mt19937 random(5);
	expect_records_convert_as_walked<simple_codes>(random);
	expect_records_convert_as_walked<nested_codes>(random);
	expect_records_convert_as_walked<unswapped_codes>(random);
	byte_swap_records<simple_codes>(nullptr, 14, 3); // nothing to convert
}

// Conversions of many structures take a plan worked out once per call; it
// must leave every byte as the descriptor walk of each structure does, also
// for descriptors too long to plan.
TEST(ByteSwap, ManyStructuresConvertAsTheWalkOfEachDoes)
{
	std::mt19937 random(20261208);
	for (int trial = 0; trial < 4000; ++trial)
	{
		std::vector<byte_swap_code> codes;
		random_group(random, codes, 1, trial % 4 == 0 ? 40 : 6);
		const int32 size = get_byte_swap_struct_size(codes.data());
		// Groups repeated 40-99 times, nested three deep, can make a structure
		// of hundreds of megabytes; 64 KiB still holds structures far past the
		// plan's limits, at a small share of the time and memory.
		if (size > 65536) continue;
		const int32 data_size = size + static_cast<int32>(random() % 4);
		const int32 data_count = 1 + static_cast<int32>(random() % 12);
		std::vector<uint8_t> original(static_cast<size_t>(data_size) * data_count + 8);
		for (uint8_t &b : original) b = static_cast<uint8_t>(random());

		std::vector<uint8_t> expected = original, actual = original;
		for (int32 i = 0; i < data_count; ++i)
			byte_swap_private::walk(codes.data(), expected.data() + static_cast<size_t>(i) * data_size, nullptr);
		byte_swap_data("random", actual.data(), data_size, data_count, codes.data());
		ASSERT_EQ(actual, expected) << "trial " << trial;
	}

	// Whole fields of one code at every count around the descriptor's limit.
	for (const int32 count : {1, 2, 3, 31, 32767, 32768, 40001})
	{
		for (const byte_swap_code code : {byte_swap_code{_2byte}, byte_swap_code{_4byte}, byte_swap_code{_byte}})
		{
			const int32 width = code == _4byte ? 4 : code == _2byte ? 2 : 1;
			std::vector<uint8_t> actual(static_cast<size_t>(count) * width + 4);
			for (uint8_t &b : actual) b = static_cast<uint8_t>(random());
			std::vector<uint8_t> expected = actual;
			for (int32 i = 0; width > 1 && i < count; ++i)
				std::reverse(expected.begin() + static_cast<ptrdiff_t>(i) * width,
					expected.begin() + static_cast<ptrdiff_t>(i + 1) * width);
			byte_swap_memory("fields", actual.data(), count, code);
			ASSERT_EQ(actual, expected) << count << " fields of code " << code;
		}
	}
}
