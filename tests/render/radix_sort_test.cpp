#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <vector>

#include "render/radix_sort.h"

namespace
{
	std::vector<uint32> random_keys(int32 count, uint32 limit, uint32 seed)
	{
		std::mt19937 random(seed);
		std::vector<uint32> keys(static_cast<size_t>(count));
		for (uint32 &k : keys) k = limit ? static_cast<uint32>(random()) % limit : static_cast<uint32>(random());
		return keys;
	}
}

TEST(Sorting, FastradixInEveryModeAndPassCount)
{
	const uint32 limits[4] = {0, 2048, 0x400000, 0};
	const int32 count = 3000;
	for (int32 passes = 1; passes <= 3; ++passes)
	{
		// Few distinct keys, so that stability shows.
		for (uint32 spread : {limits[passes], 7u})
		{
			const std::vector<uint32> original = random_keys(count, spread, 99 + passes);
			std::vector<uint32> sorted = original;
			std::stable_sort(sorted.begin(), sorted.end());

			for (int32 mode : {radix_mode_keys, radix_mode_keys_in_place, radix_mode_indices})
			{
				std::vector<uint32> keys = original, temp0(count), temp1(count);
				uint32 *result = fastradix(keys.data(), temp0.data(), temp1.data(), count, passes, mode);

				uint32 *expected_buffer = passes == 2 ? temp1.data() : temp0.data();
				if (mode == radix_mode_keys_in_place && passes == 3) expected_buffer = keys.data();
				EXPECT_EQ(result, expected_buffer) << "passes " << passes << " mode " << mode;

				if (mode == radix_mode_indices)
				{
					EXPECT_EQ(keys, original) << "indices mode leaves the keys alone";
					for (int32 i = 0; i < count; ++i)
					{
						ASSERT_EQ(original[result[i]], sorted[i]) << "passes " << passes << " at " << i;
						if (i > 0 && original[result[i]] == original[result[i - 1]])
						{
							ASSERT_LT(result[i - 1], result[i]) << "equal keys keep their input order";
						}
					}
				}
				else
				{
					EXPECT_EQ(keys, sorted) << "passes " << passes << " mode " << mode;
					EXPECT_TRUE(std::equal(sorted.begin(), sorted.end(), result));
				}
			}
		}
	}
}

namespace
{
	struct surface
	{
		uint8 leading; // puts the field off its natural alignment
		uint8 field[4];
		int32 id;
	};

	void set_field(surface &s, uint32 value)
	{
		std::memcpy(s.field, &value, sizeof(value));
	}

	uint32 get_field(const surface *s)
	{
		uint32 value;
		std::memcpy(&value, s->field, sizeof(value));
		return value;
	}

	void check_pointer_sort(uint32 mask, int32 count, uint32 seed)
	{
		std::mt19937 random(seed);
		std::vector<surface> records(static_cast<size_t>(count));
		std::vector<void *> pointers(static_cast<size_t>(count));
		for (int32 i = 0; i < count; ++i)
		{
			// Few distinct keys under the mask, noise outside it.
			uint32 value = static_cast<uint32>(random());
			const uint32 key_noise = static_cast<uint32>(random() % 5) * (mask & (~mask + 1));
			value = (value & ~mask) | (key_noise & mask) | (static_cast<uint32>(random()) & mask & 0x80000000u);
			set_field(records[i], value);
			records[i].id = i;
			pointers[i] = &records[i];
		}

		for (boolean in_place : {FALSE, TRUE})
		{
			std::vector<void *> work = pointers;
			// An exact heap block, so that ASan sees a write past it.
			void *temp = std::malloc(RADIX_SORT_STRUCT_POINTERS_TEMP_SIZE(count));
			ASSERT_NE(temp, nullptr);
			void **result = radix_sort_struct_pointers2(work.data(), temp, count,
				static_cast<int32>(offsetof(surface, field)), mask, in_place);
			EXPECT_EQ(result, in_place ? work.data() : static_cast<void **>(temp));
			if (!in_place)
			{
				EXPECT_EQ(work, pointers) << "not in place leaves the pointers alone";
			}

			for (int32 i = 1; i < count; ++i)
			{
				const surface *a = static_cast<const surface *>(result[i - 1]);
				const surface *b = static_cast<const surface *>(result[i]);
				const uint32 key_a = get_field(a) & mask;
				const uint32 key_b = get_field(b) & mask;
				ASSERT_LE(key_a, key_b) << "mask " << std::hex << mask << " at " << std::dec << i;
				if (key_a == key_b)
				{
					ASSERT_LT(a->id, b->id) << "equal keys keep their order";
				}
			}
			std::free(temp);
		}
	}
}

TEST(Sorting, RadixSortStructPointersByMaskedField)
{
	check_pointer_sort(0xFF00u, 5000, 1);     // one pass, bits 8-15
	check_pointer_sort(0xFFC00000u, 5000, 2); // above bit 22, still one pass after the shift
	check_pointer_sort(0x7FFFF800u, 5000, 3); // two passes
	check_pointer_sort(0xFFFFFFFFu, 5000, 4); // three passes, unshifted
	check_pointer_sort(0x80000001u, 5000, 5); // wide range with a hole: three passes
	check_pointer_sort(0x1u, 1, 6);
}

TEST(Sorting, RadixSortStructPointersOfNothing)
{
	void *pointers[1] = {nullptr};
	void *temp[1];
	EXPECT_EQ(radix_sort_struct_pointers2(pointers, temp, 0, 0, 0xFF, TRUE), pointers);
	EXPECT_EQ(radix_sort_struct_pointers2(pointers, temp, 0, 0, 0xFF, FALSE), temp);
}
