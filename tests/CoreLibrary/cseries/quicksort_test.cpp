#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "quicksort.h"

namespace
{
	struct keyed
	{
		int32 key;
		char name;
	};

	int compare_keys(const void *a, const void *b)
	{
		const int32 x = static_cast<const keyed *>(a)->key;
		const int32 y = static_cast<const keyed *>(b)->key;
		return (x > y) - (x < y);
	}

	std::string sorted_names(std::vector<keyed> table)
	{
		qsort_private(table.data(), static_cast<int32>(table.size()), sizeof(keyed), compare_keys);
		std::string names;
		for (const keyed &k : table) names += k.name;
		return names;
	}

	struct wide
	{
		int32 key;
		uint8 payload[150];
	};

	int compare_wide(const void *a, const void *b)
	{
		return compare_keys(a, b);
	}
}

TEST(Sorting, HeapsortBreaksTiesInItsOneFixedWay)
{
	// Worked by hand from the heapsort steps.
	EXPECT_EQ(sorted_names({{1, 'a'}, {1, 'b'}, {1, 'c'}}), "bca");
	EXPECT_EQ(sorted_names({{2, 'a'}, {1, 'b'}, {2, 'c'}, {1, 'd'}}), "bdca");
	EXPECT_EQ(sorted_names({{5, 'a'}}), "a");
	EXPECT_EQ(sorted_names({{2, 'a'}, {1, 'b'}}), "ba");
	EXPECT_EQ(sorted_names({{1, 'a'}, {1, 'b'}}), "ba");
	EXPECT_EQ(sorted_names({}), "");
}

TEST(Sorting, HeapsortOrdersRecordsOfAnySize)
{
	std::mt19937 random(12345);
	for (int32 count : {3, 17, 400, 1001})
	{
		std::vector<wide> table(static_cast<size_t>(count));
		for (int32 i = 0; i < count; ++i)
		{
			table[i].key = static_cast<int32>(random() % 50) - 25;
			std::fill(std::begin(table[i].payload), std::end(table[i].payload), static_cast<uint8>(table[i].key));
		}
		std::vector<int32> expected;
		for (const wide &w : table) expected.push_back(w.key);
		std::sort(expected.begin(), expected.end());

		qsort_private(table.data(), count, sizeof(wide), compare_wide);
		for (int32 i = 0; i < count; ++i)
		{
			ASSERT_EQ(table[i].key, expected[i]) << "count " << count << " position " << i;
			// Whole records move, not just their first bytes.
			ASSERT_EQ(table[i].payload[149], static_cast<uint8>(table[i].key));
		}
	}
}
