#include <gtest/gtest.h>

#include <vector>

#include "CoreLibrary/tag_files/data_quib.h"

namespace
{
struct test_record
{
	uint16 identifier;
	int16 value;
	int32 extra;
};

class DataArray : public ::testing::Test
{
protected:
	void SetUp() override
	{
		data = data_new("test", 8, sizeof(test_record));
		ASSERT_NE(data, nullptr);
		EXPECT_EQ(data->signature, DATA_ARRAY_SIGNATURE);
		EXPECT_FALSE(data->valid);
		data_make_valid(data);
	}
	void TearDown() override { data_dispose(data); }

	test_record *get(uint32 handle) { return static_cast<test_record *>(datum_get(data, (int32)handle)); }

	data_array *data = nullptr;
};

std::vector<int32> visited;
void visit(int32 handle)
{
	visited.push_back(handle);
}

TEST_F(DataArray, HandlesReuseAndStaleHandles)
{
	EXPECT_EQ((uint32)datum_new(data), 0x80000000u);
	EXPECT_EQ((uint32)datum_new(data), 0x80010001u);
	EXPECT_EQ((uint32)datum_new(data), 0x80020002u);
	EXPECT_EQ(data->count, 3);

	datum_delete(data, (int32)0x80010001u);
	EXPECT_EQ(get(0x80010001u), nullptr);
	EXPECT_EQ((uint32)datum_new(data), 0x80030001u);
	// The old handle misses; the bare index finds the new record.
	EXPECT_EQ(get(0x80010001u), nullptr);
	ASSERT_NE(get(1), nullptr);
	EXPECT_EQ(get(1)->identifier, 0x8003);
	EXPECT_EQ(get(1), get(0x80030001u));

	// NONE, indexes past the capacity and free records give nothing.
	EXPECT_EQ(datum_get(data, NONE), nullptr);
	EXPECT_EQ(get(8), nullptr);
	EXPECT_EQ(get(0x8000FFFEu), nullptr);
	EXPECT_EQ(get(5), nullptr);
	EXPECT_EQ(datum_try_and_get(data, 100), nullptr);
	// Deleting through a stale handle or a free index changes nothing.
	datum_delete(data, (int32)0x80010001u);
	datum_delete(data, 6);
	EXPECT_EQ(data->total_count, 3);

	// Deleting the highest record lowers count past the free ones below it.
	datum_delete(data, 1);
	EXPECT_EQ(data->count, 3);
	datum_delete(data, 2);
	EXPECT_EQ(data->count, 1);
	EXPECT_EQ(data->first_free_absolute_index, 1);
	EXPECT_EQ(data->total_count, 1);

	// A full array hands out NONE.
	while (datum_new(data) != NONE) {}
	EXPECT_EQ(data->total_count, 8);
	EXPECT_EQ(datum_new(data), NONE);
}

TEST_F(DataArray, IdentifiersWrapAfter0xFFFF)
{
	for (int32 i = 0; i < 32768; ++i)
	{
		const int32 handle = datum_new(data);
		ASSERT_EQ((uint32)handle >> 16, 0x8000u + (uint32)i);
		datum_delete(data, handle);
	}
	// The 32769th creation starts over at 0x8000.
	EXPECT_EQ((uint32)datum_new(data), 0x80000000u);
}

TEST_F(DataArray, ProcessCompressSortAndImport)
{
	int32 handles[6];
	for (int32 i = 0; i < 6; ++i)
	{
		handles[i] = datum_new(data);
		get((uint32)handles[i])->value = (int16)(60 - i * 10);
	}
	datum_delete(data, handles[1]);
	datum_delete(data, handles[3]);

	visited.clear();
	data_process_extant(data, visit);
	EXPECT_EQ(visited, (std::vector<int32>{handles[0], handles[2], handles[4], handles[5]}));

	data_sort(data, [](const void *a, const void *b) {
		return static_cast<const test_record *>(a)->value - static_cast<const test_record *>(b)->value;
	});
	EXPECT_EQ(data->count, 4);
	EXPECT_EQ(data->total_count, 4);
	EXPECT_EQ(data->first_free_absolute_index, 4);
	const int16 sorted[] = {10, 20, 40, 60};
	for (int32 i = 0; i < 4; ++i) EXPECT_EQ(get((uint32)i)->value, sorted[i]);
	EXPECT_EQ(get(4), nullptr);
	// Full handles held elsewhere no longer find moved records.
	EXPECT_EQ(get((uint32)handles[5]), nullptr);

	// Imported identifiers of records in use come along; others do not.
	test_record incoming[5] = {{0x9000, 1, 0}, {0, 2, 0}, {0x1234, 3, 0}, {0xFFFF, 4, 0}, {0x8001, 5, 0}};
	const int16 next = data->next_identifier;
	data_import(data, incoming, 5);
	EXPECT_EQ(data->total_count, 8);
	EXPECT_EQ(get(4)->identifier, 0x9000);
	EXPECT_EQ(get(5)->identifier, (uint16)(next + 1));
	EXPECT_EQ(get(6)->identifier, (uint16)(next + 2));
	EXPECT_EQ(get(7)->identifier, 0xFFFF);
	EXPECT_EQ(get(7)->value, 4);

	data_delete_all(data);
	EXPECT_EQ(data->count, 0);
	EXPECT_EQ(get(0), nullptr);
	EXPECT_TRUE(data->valid);
	data_make_invalid(data);
	EXPECT_FALSE(data->valid);
}
} // namespace
