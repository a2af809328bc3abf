// Whole battles through the game core: the generated armies find each other
// and fight by their own scans, play the same on every run and frame split,
// and the demo ends with a winner.
#include <gtest/gtest.h>

#include <map>

#include "monsters.h"
#include "support/battle_script.h"
#include "support/zerv_harness.h"
#include "units_content.h"
#include "zerv.h"

namespace {

// Where the demo's own script would decide the game.
constexpr int32 DEMO_DECIDED_TICK = 3776;
constexpr int32 BNCH_COMPARED_TICKS = 900;

class battle_fixture : public zerv_harness_fixture
{
protected:
	void TearDown() override
	{
		harness_end_map();
		zerv_harness_fixture::TearDown();
	}
	static int32 units_of_team(int16 team)
	{
		int32 count = 0;
		for (int16 i = 0; i < monster_array.count; ++i)
		{
			const monster_data *monster = get_monster_data(i);
			count += monster && monster->owner_team_index == team;
		}
		return count;
	}
	// Plays the battle of a map with its script for up to ticks, or to its end.
	static std::vector<harness_digest_entry> play(file_tag map, int32 ticks, int16 elapsed)
	{
		new_game_data setup;
		harness_battle_setup(&setup, map);
		EXPECT_TRUE(harness_start_map(&setup));
		if (elapsed > 1) set_maximum_ticks_per_frame(elapsed);
		run_battle_script(map, ticks, elapsed);
		std::vector<harness_digest_entry> trail = harness_digest_trail();
		harness_end_map();
		return trail;
	}
};

class battle_demo : public battle_fixture
{
};

class battle_determinism : public battle_fixture
{
};

TEST_F(battle_determinism, bnch_starts_with_200_units_a_side)
{
	new_game_data setup;
	harness_battle_setup(&setup, TAG("bnch"));
	ASSERT_TRUE(harness_start_map(&setup));
	EXPECT_EQ(units_of_team(0), 200);
	EXPECT_EQ(units_of_team(1), 200);
	EXPECT_EQ(monster_array.total_count, 400);
}

TEST_F(battle_determinism, demo_to_its_end_plays_the_same_at_frame_splits_of_1_and_4)
{
	const std::vector<harness_digest_entry> demo = play(TAG("demo"), DEMO_DECIDED_TICK, 1);
	const std::vector<harness_digest_entry> demo_split = play(TAG("demo"), DEMO_DECIDED_TICK, 4);
	ASSERT_FALSE(demo.empty());
	// A frame of four ticks may end past the last tick: the common ticks agree.
	ASSERT_GE(demo_split.size(), demo.size());
	for (size_t i = 0; i < demo.size(); ++i)
	{
		ASSERT_EQ(demo[i].game_time, demo_split[i].game_time) << i;
		ASSERT_EQ(demo[i].digest, demo_split[i].digest) << "tick " << demo[i].game_time;
	}
	// The 64-bit and 32-bit trees compare this file.
	EXPECT_TRUE(harness_write_digest_trails(ZERV_BINARY_DIR "/battle_digest_trail.txt", {{"demo", demo}}));
}

// Kept apart from the demo so that each stays well inside the test time limit.
TEST_F(battle_determinism, bnch_plays_the_same_twice_in_one_process)
{
	const std::vector<harness_digest_entry> bnch = play(TAG("bnch"), BNCH_COMPARED_TICKS, 1);
	const std::vector<harness_digest_entry> again = play(TAG("bnch"), BNCH_COMPARED_TICKS, 1);
	ASSERT_EQ(static_cast<int32>(bnch.size()), BNCH_COMPARED_TICKS);
	ASSERT_EQ(bnch.size(), again.size());
	for (size_t i = 0; i < bnch.size(); ++i) ASSERT_EQ(bnch[i].digest, again[i].digest) << "tick " << bnch[i].game_time;
	// Compared across trees with the other per-test trails (digest_trails/).
	EXPECT_TRUE(harness_write_test_digest_trail(bnch));
}

TEST_F(battle_demo, ends_with_a_winner)
{
	new_game_data setup;
	harness_demo_setup(&setup);
	ASSERT_TRUE(harness_start_map(&setup));
	harness_run_ticks(DEMO_DECIDED_TICK - 1);
	ASSERT_TRUE(harness_game_is_finished()) << "still playing at tick " << game->game_time;
	EXPECT_LT(game->game_time, DEMO_DECIDED_TICK);
	ASSERT_NE(game->winning_team_index, NONE);
	for (int16 team = 0; team < 2; ++team)
	{
		if (team != game->winning_team_index)
		{
			EXPECT_EQ(units_of_team(team), 0) << team;
		}
	}
}

// Units that flee walk towards the map's edge; one that reaches it leaves the
// field for good and keeps its team in the game. The rim is walled off, so
// no unit leaves it, whatever the seed.
TEST_F(battle_demo, no_unit_walks_off_the_map)
{
	for (uint32 seed : {0x5EED1234u, 0x0000BEEFu, 0x31415926u, 0xDEADBEEFu, 0x00000007u, 0x27182818u})
	{
		new_game_data setup;
		harness_demo_setup(&setup);
		setup.parameters.random_seed = seed;
		setup.parameters.initial_team_random_seed = static_cast<uint16>(seed);
		ASSERT_TRUE(harness_start_map(&setup));
		int32 left = 0;
		for (int32 ticks = 0; ticks < DEMO_DECIDED_TICK - 1 && !harness_game_is_finished(); ticks += 64)
		{
			harness_run_ticks(64);
			for (int16 i = 0; i < monster_array.count; ++i)
			{
				const monster_data *monster = get_monster_data(i);
				left += monster && (monster->flags & _monster_has_left_the_mesh_flag);
			}
		}
		EXPECT_EQ(left, 0) << "seed " << std::hex << seed;
		harness_end_map();
	}
}

} // namespace
