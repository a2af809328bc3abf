#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "CoreLibrary/cseries/crc.h"
#include "CoreLibrary/cseries/memory.h"
#include "CoreLibrary/zerv/error_manager.h"
#include "data.h"
#include "support/test_directory.h"

namespace
{
struct thing_data
{
	int16 identifier;
	int16 value;
	int32 payload;
};

class DatumGlobals : public zerv_test_directory
{
protected:
	void SetUp() override
	{
		zerv_test_directory::SetUp();
		initialize_error_state("test");
		things = datum_globals{"thing", 16, sizeof(thing_data), 12};
		initialize_data(&things);
		ASSERT_NE(things.data, nullptr);
		ASSERT_NE(things.globals, nullptr);
		EXPECT_EQ(things.count, NONE);
		initialize_data_for_new_map(&things);
	}

	void TearDown() override
	{
		dispose_data_from_old_map(&things);
		free_and_clear(&things.data);
		free_and_clear(&things.globals);
		zerv_test_directory::TearDown();
	}

	thing_data *thing(int32 index) { return static_cast<thing_data *>(try_and_get_datum(&things, index)); }

	datum_globals things;
};

std::vector<int16> visited;
void visit(int16 index)
{
	visited.push_back(index);
}

TEST_F(DatumGlobals, CreationDeletionAndIdentifiers)
{
	EXPECT_EQ(new_datum(&things), 0);
	EXPECT_EQ(new_datum(&things), 1);
	EXPECT_EQ(new_datum(&things), 2);
	EXPECT_EQ(thing(0)->identifier, -32768);
	EXPECT_EQ(thing(1)->identifier, -32767);
	EXPECT_EQ(thing(2)->identifier, -32766);

	delete_datum(&things, 0);
	EXPECT_EQ(new_datum(&things), 0);
	EXPECT_EQ((uint16)thing(0)->identifier, 0x8003);
	EXPECT_EQ(get_datum_by_identifier(&things, 0, (int16)0x8000), nullptr);
	EXPECT_EQ(get_datum_by_identifier(&things, 0, (int16)0x8003), thing(0));
	EXPECT_EQ(get_datum_by_identifier(&things, NONE, (int16)0x8003), nullptr);

	visited.clear();
	delete_datum(&things, 1);
	process_extant_data(&things, visit);
	EXPECT_EQ(visited, (std::vector<int16>{0, 2}));

	// Deleting the highest record lowers count past the free ones below it.
	delete_datum(&things, 2);
	EXPECT_EQ(things.count, 1);
	delete_datum(&things, 0);
	EXPECT_EQ(things.count, 0);
	EXPECT_EQ(things.total_count, 0);

	// A full array answers NONE and changes nothing.
	for (int32 i = 0; i < 16; ++i) ASSERT_EQ(new_datum(&things), i);
	const datum_globals before = things;
	EXPECT_EQ(new_datum(&things), NONE);
	EXPECT_EQ(memcmp(&before, &things, sizeof(things)), 0);

	// Records are cleared when they are made.
	thing(5)->payload = 1234;
	delete_datum(&things, 5);
	EXPECT_EQ(get_datum(&things, 5) ? static_cast<thing_data *>(get_datum(&things, 5))->payload : 0, 1234);
	EXPECT_EQ(new_datum(&things), 5);
	EXPECT_EQ(thing(5)->payload, 0);
	EXPECT_EQ(get_datum_globals(&things), things.globals);
}

TEST_F(DatumGlobals, MapLifeCycleAndCachedGlobals)
{
	EXPECT_EQ(cached_globals_count, 1);
	EXPECT_EQ(cached_globals[0], &things);
	// An array already cached is not cached twice.
	initialize_data_for_new_map(&things);
	EXPECT_EQ(cached_globals_count, 1);
	new_datum(&things);
	new_datum(&things);
	delete_datum(&things, 0);

	dispose_data_from_old_map(&things);
	EXPECT_EQ(things.count, NONE);
	EXPECT_EQ(cached_globals_count, 0);
	EXPECT_EQ(checksum_datum_array(&things), 0u);
	resurrect_data_from_old_map(&things);
	EXPECT_EQ(things.count, 2);

	delete_all_data(&things);
	EXPECT_EQ(things.count, 0);
	EXPECT_EQ(thing(1), nullptr);
	EXPECT_EQ(cached_globals_count, 1);

	// The registry holds 256 arrays; the 257th is refused and logged.
	std::vector<datum_globals> arrays(MAXIMUM_NUMBER_OF_CACHED_GLOBALS, datum_globals{"small", 1, 2, 0});
	for (datum_globals &array : arrays) initialize_data_for_new_map(&array);
	EXPECT_EQ(cached_globals_count, MAXIMUM_NUMBER_OF_CACHED_GLOBALS);
	EXPECT_EQ(cached_globals[MAXIMUM_NUMBER_OF_CACHED_GLOBALS - 1], &arrays[MAXIMUM_NUMBER_OF_CACHED_GLOBALS - 2]);
	const std::string log = read_test_file(ERROR_LOG_FILE_NAME);
	EXPECT_NE(log.find("### "), std::string::npos);
	EXPECT_NE(log.find("small"), std::string::npos);

	// Removal keeps the order of the rest.
	dispose_data_from_old_map(&arrays[0]);
	EXPECT_EQ(cached_globals[0], &things);
	EXPECT_EQ(cached_globals[1], &arrays[1]);
	for (datum_globals &array : arrays) dispose_data_from_old_map(&array);
	EXPECT_EQ(cached_globals_count, 1);
}

TEST_F(DatumGlobals, IdentifierClashesAndImport)
{
	for (int32 i = 0; i < 4; ++i) new_datum(&things);
	const int16 next = things.next_identifier; // 0x8004

	// Taking a live record's identifier gives the next one instead, and that
	// one is used up.
	set_datum_identifier(&things, 3, (int16)0x8001);
	EXPECT_EQ(thing(3)->identifier, next);
	EXPECT_EQ(things.next_identifier, (int16)(next + 1));
	// Even when the next one is taken as well.
	set_datum_identifier(&things, 0, (int16)0x8005);
	set_datum_identifier(&things, 1, (int16)0x8005);
	EXPECT_EQ((uint16)thing(1)->identifier, 0x8006);
	for (int32 i = 0; i < 4; ++i)
		for (int32 j = i + 1; j < 4; ++j) EXPECT_NE(thing(i)->identifier, thing(j)->identifier);
	set_datum_identifier(&things, 2, 0);
	EXPECT_EQ((uint16)thing(2)->identifier, 0x8002);
	set_datum_identifier(&things, 2, (int16)0x9000);
	EXPECT_EQ((uint16)thing(2)->identifier, 0x9000);

	thing_data incoming[14] = {};
	incoming[0] = {(int16)0x9000, 1, 0}; // clashes with record 2
	incoming[1] = {0, 2, 0};
	incoming[2] = {0x1234, 3, 0};
	incoming[3] = {(int16)0xA000, 4, 0};
	for (int32 i = 4; i < 14; ++i) incoming[i] = {(int16)0xB000, (int16)(10 + i), 0};
	import_data(&things, incoming, 14);
	EXPECT_EQ(things.total_count, 16);
	// 0x9000 is taken: new_datum gave 0x8007, the clash takes 0x8008.
	EXPECT_EQ((uint16)thing(4)->identifier, 0x8008);
	EXPECT_EQ(thing(4)->value, 1);
	EXPECT_EQ((uint16)thing(5)->identifier, 0x8009);
	EXPECT_EQ((uint16)thing(6)->identifier, 0x800A);
	EXPECT_EQ(thing(6)->value, 3);
	EXPECT_EQ((uint16)thing(7)->identifier, 0xA000);
	for (int32 i = 0; i < 16; ++i)
		for (int32 j = i + 1; j < 16; ++j) EXPECT_NE(thing(i)->identifier, thing(j)->identifier) << i << " " << j;

	// Compaction moves the live records down in order, in place.
	delete_datum(&things, 0);
	delete_datum(&things, 7);
	delete_datum(&things, 15);
	compress_data(&things);
	EXPECT_EQ(things.count, 13);
	EXPECT_EQ(things.total_count, 13);
	EXPECT_EQ(things.first_free_index, 13);
	EXPECT_EQ((uint16)thing(0)->identifier, 0x8006);
	EXPECT_EQ(thing(3)->value, 1);
	EXPECT_EQ(thing(6)->value, 14);
	EXPECT_EQ(thing(12)->value, 20);
	EXPECT_EQ(thing(13), nullptr);
}

TEST_F(DatumGlobals, OutOfRangeIndexes)
{
	new_datum(&things);
	const datum_globals before = things;

	EXPECT_EQ(try_and_get_datum(&things, 16), nullptr);
	EXPECT_EQ(try_and_get_datum(&things, NONE), nullptr);
	EXPECT_EQ(get_datum_by_identifier(&things, 40000, (int16)0x8000), nullptr);
	EXPECT_EQ(get_error_code(), _error_none);

	EXPECT_EQ(get_datum(&things, 16), nullptr);
	EXPECT_EQ(get_error_code(), _error_out_of_bounds);
	reset_error_state();
	delete_datum(&things, -2);
	EXPECT_EQ(get_error_code(), _error_out_of_bounds);
	reset_error_state();
	set_datum_identifier(&things, 70000, (int16)0x8000);
	EXPECT_EQ(get_error_code(), _error_out_of_bounds);
	reset_error_state();

	// Deleting a free record changes nothing.
	delete_datum(&things, 9);
	EXPECT_EQ(get_error_code(), _error_none);
	EXPECT_EQ(memcmp(&before, &things, sizeof(things)), 0);
}

// The inline read used by the per-tick loops gives the same answer as the call
// for live, freed, never-used and out-of-range indexes, and without an array.
TEST_F(DatumGlobals, InlineReadAgreesWithTheCall)
{
	for (int32 i = 0; i < 10; ++i) new_datum(&things);
	delete_datum(&things, 3);
	delete_datum(&things, 9);
	for (int32 index : {-40000, -2, NONE, 0, 3, 5, 9, 10, 15, 16, 17, 400, 40000})
	{
		EXPECT_EQ(datum_in_use(&things, index), try_and_get_datum(&things, index)) << index;
	}
	EXPECT_NE(datum_in_use(&things, 5), nullptr);
	EXPECT_EQ(datum_in_use(&things, 3), nullptr);

	datum_globals unallocated = {"none", 16, sizeof(thing_data), 0};
	EXPECT_EQ(datum_in_use(&unallocated, 0), nullptr);
	EXPECT_EQ(try_and_get_datum(&unallocated, 0), nullptr);
}

// A long deterministic create/delete script: slot choice, identifiers and
// the digest are lockstep state, so they are pinned and equal on every build.
TEST_F(DatumGlobals, ScriptedTraceAndDigestArePinned)
{
	datum_globals big = {"script", 400, sizeof(thing_data), 0};
	initialize_data(&big);
	initialize_data_for_new_map(&big);

	uint32 seed = 12345;
	std::vector<uint8> trace;
	for (int32 step = 0; step < 10000; ++step)
	{
		seed = seed * 1664525u + 1013904223u;
		const uint32 draw = seed >> 16;
		// Creation grows likelier as the array empties: it hovers around half full.
		if ((int32)(draw % 400) >= big.total_count)
		{
			const int16 index = new_datum(&big);
			const int16 identifier = index == NONE ? 0 : static_cast<thing_data *>(get_datum(&big, index))->identifier;
			const int16 fields[2] = {index, identifier};
			for (int16 field : fields)
			{
				trace.push_back((uint8)((uint16)field & 0xFF));
				trace.push_back((uint8)((uint16)field >> 8));
			}
		}
		else
		{
			// Delete the n-th live record.
			int32 n = (int32)(draw % (uint32)big.total_count);
			for (int32 index = 0; index < big.count; ++index)
			{
				if (!try_and_get_datum(&big, index)) continue;
				if (n-- == 0)
				{
					delete_datum(&big, index);
					break;
				}
			}
		}
		if (step == 4999) compress_data(&big);
	}
	// tools/models/data_array_script.py re-derives these from a plain model of the same steps.
	EXPECT_EQ(big.total_count, 196);
	EXPECT_EQ(calculate_data_crc(trace.data(), (int32)trace.size()), 0x7D02530Bu);
	EXPECT_EQ(datum_globals_digest(&big), 0x5384A0BAu);

	dispose_data_from_old_map(&big);
	free_and_clear(&big.data);
}
} // namespace
