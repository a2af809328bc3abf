// The bits of occupied cells the scans skip empty cells by: the bit search
// against a plain one, and the bits against the cell heads after every tick
// of a battle, where units move, die and fire all the time.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "cell_units.h"
#include "mesh.h"
#include "object_cell_occupancy.h"
#include "objects.h"
#include "support/battle_script.h"
#include "support/zerv_harness.h"
#include "zerv.h"

namespace {

TEST(object_cell_occupancy, the_bit_search_finds_what_a_plain_search_finds)
{
	std::mt19937 random(36);
	uint64 row[5];
	for (int32 round = 0; round < 1000000; ++round)
	{
		// Sparse and dense rows alike.
		const int32 density = round % 4;
		for (uint64 &word : row)
		{
			word = (static_cast<uint64>(random()) << 32) | random();
			for (int32 k = 0; k < density; ++k) word &= (static_cast<uint64>(random()) << 32) | random();
		}
		const int32 from = static_cast<int32>(random() % 330) - 5;
		const int32 to = MIN(static_cast<int32>(random() % 320), 319);
		int32 expected = -1;
		for (int32 x = MAX(from, 0); x <= to; ++x)
		{
			if ((row[x >> 6] >> (x & 63)) & 1)
			{
				expected = x;
				break;
			}
		}
		if (from < 0) continue; // the callers never start before the row
		ASSERT_EQ(next_occupied_cell(row, from, to), expected) << from << ".." << to;
	}
}

class object_cell_occupancy_battle : public zerv_harness_fixture
{
protected:
	void TearDown() override
	{
		set_zerv_tick_hook(nullptr, nullptr);
		harness_end_map();
		zerv_harness_fixture::TearDown();
	}
};

TEST_F(object_cell_occupancy_battle, the_bits_match_the_cell_heads_after_every_tick_of_bnch)
{
	new_game_data setup;
	harness_battle_setup(&setup, TAG("bnch"));
	ASSERT_TRUE(harness_start_map(&setup));
	// A unit's move or death clears its cell's bit: the bits left over empty
	// cells by the map's start (another map's bits) never grow.
	static int32 missing, stale_at_start, stale_grew, checked_ticks, walks_differing, objects_walked;
	missing = stale_grew = checked_ticks = walks_differing = objects_walked = 0;
	static std::mt19937 rectangles;
	rectangles.seed(40);
	EXPECT_EQ(object_cell_occupancy_missing_bits(&stale_at_start), 0);
	set_zerv_tick_hook(
		[](int32, void *) {
			int32 stale = 0;
			++checked_ticks;
			missing += object_cell_occupancy_missing_bits(&stale);
			stale_grew += stale > stale_at_start;
			// The scans' visit hands out what the walk hands out, in its order,
			// for squares inside, across and beyond the mesh's edges.
			const int32 width = mesh_globals->mesh_width, height = mesh_globals->mesh_height;
			for (int32 n = 0; n < 6; ++n)
			{
				const int32 size = n == 0 ? MAX(width, height) + 4 : static_cast<int32>(rectangles() % 72);
				const int32 x0 = static_cast<int32>(rectangles() % (width + 40)) - 20;
				const int32 y0 = static_cast<int32>(rectangles() % (height + 40)) - 20;
				const int32 x1 = n == 0 ? x0 + size : x0 + size - 1, y1 = y0 + (n == 5 ? -1 : size - 1);
				std::vector<int16> walked, visited;
				object_cell_walk walk;
				start_object_cell_walk(&walk, x0, y0, x1, y1);
				for (int16 i = next_object_in_cell_walk(&walk); i != NONE; i = next_object_in_cell_walk(&walk)) walked.push_back(i);
				for_each_object_in_cells(x0, y0, x1, y1, [&](int16 i) { visited.push_back(i); });
				walks_differing += walked != visited;
				objects_walked += static_cast<int32>(walked.size());
			}
		},
		nullptr);
	run_battle_script(TAG("bnch"), 600, 1);
	EXPECT_GE(checked_ticks, 600);
	EXPECT_EQ(missing, 0);
	EXPECT_EQ(stale_grew, 0);
	EXPECT_EQ(walks_differing, 0);
	EXPECT_GT(objects_walked, 600 * 100);
	// A rebuild from the heads gives exactly the occupied cells.
	rebuild_object_cell_occupancy();
	int32 stale = -1;
	EXPECT_EQ(object_cell_occupancy_missing_bits(&stale), 0);
	EXPECT_EQ(stale, 0);
}

} // namespace
