// The benchmark map's computer team played by the group AI script.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "map_actions/map_action_accessors.h"
#include "map_actions/map_actions.h"
#include "monsters.h"
#include "support/battle_script.h"
#include "support/bnch_ai_script.h"
#include "tag_files/tag_files.h"
#include "support/zerv_harness.h"
#include "zerv.h"

namespace {

// The maps' plugin catalogue goes with the test, as tests of the bare tag
// files expect none.
class group_ai_battle_fixture : public zerv_harness_fixture
{
protected:
	void TearDown() override
	{
		zerv_harness_fixture::TearDown();
		tag_files_reset_for_tests();
	}
};

using group_ai_content = group_ai_battle_fixture;
using group_ai_determinism = group_ai_battle_fixture;

int16 find_action(const char *name)
{
	for (int16 i = 0; i < MAXIMUM_MAP_ACTIONS_PER_MAP; ++i)
	{
		if (get_map_action(i) && strcmp(get_map_action_name(i), name) == 0) return i;
	}
	return NONE;
}

TEST_F(group_ai_content, the_bnch_computer_team_holds_its_actions_in_order_and_gives_orders)
{
	new_game_data setup;
	harness_battle_setup(&setup, TAG("bnch"));
	ASSERT_TRUE(harness_start_map(&setup));
	ASSERT_TRUE(start_bnch_computer_team());
	int16 previous = NONE;
	for (const char *name : bnch_ai_action_names())
	{
		const int16 index = find_action(name);
		ASSERT_NE(index, NONE) << name;
		EXPECT_GT(index, previous) << name;
		previous = index;
	}
	EXPECT_EQ(get_map_action_tag(find_action("advance")), TAG("plmo"));
	EXPECT_EQ(get_map_action_tag(find_action("outriders")), TAG("surr"));
	int32 named = 0;
	for (int16 i = 0; i < monster_array.count; ++i)
	{
		const monster_data *monster = get_monster_data(i);
		if (!monster || monster->owner_team_index != 1) continue;
		EXPECT_GE(monster->identifier, 1000);
		EXPECT_LT(monster->identifier, 1200);
		named += 1;
	}
	EXPECT_EQ(named, 200);
	harness_run_ticks(128);
	// The gate opens at tick 32, the roots run from the next pass: the host
	// marches and the split archers guard.
	int32 value = -1;
	EXPECT_TRUE(get_map_action_integer(find_action("advance"), TAG("#wpi"), &value));
	int16 held[64];
	EXPECT_EQ(get_combined_map_action_parameter(find_action("hold west"), TAG("subj"), _parameter_monster_identifier,
		held, 64), 30);
	EXPECT_EQ(get_combined_map_action_parameter(find_action("hold east"), TAG("subj"), _parameter_monster_identifier,
		held, 64), 30);
	harness_end_map();
}

std::vector<harness_digest_entry> play_bnch_ai(int32 ticks, int16 elapsed)
{
	new_game_data setup;
	harness_battle_setup(&setup, TAG("bnch"));
	EXPECT_TRUE(harness_start_map(&setup));
	EXPECT_TRUE(start_bnch_computer_team());
	harness_run_ticks(ticks, elapsed);
	std::vector<harness_digest_entry> trail = harness_digest_trail();
	harness_end_map();
	return trail;
}

TEST_F(group_ai_determinism, bnch_computer_team_plays_one_trail_at_frame_splits_1_and_4)
{
	const std::vector<harness_digest_entry> first = play_bnch_ai(900, 1);
	const std::vector<harness_digest_entry> again = play_bnch_ai(900, 4);
	ASSERT_EQ(first.size(), again.size());
	for (size_t i = 0; i < first.size(); ++i) ASSERT_EQ(first[i].digest, again[i].digest) << "tick " << first[i].game_time;
	EXPECT_TRUE(harness_write_test_digest_trail(first));
}

TEST_F(group_ai_content, the_level_computer_team_runs_only_without_a_human_on_team_1)
{
	for (const bool computer_opponent : {false, true})
	{
		new_game_data setup;
		harness_level_setup(&setup, computer_opponent);
		ASSERT_TRUE(harness_start_map(&setup));
		harness_run_ticks(64);
		// The escort keeps its state once it has run.
		int32 state = -1;
		EXPECT_EQ(get_map_action_integer(find_action("escort"), TAG("#stt"), &state), computer_opponent);
		harness_end_map();
	}
}

// The escort's leader runs from the player's army but never off the map, where
// its archers would follow it and the level could no longer be won.
TEST_F(group_ai_content, the_level_computer_team_stays_on_the_map)
{
	new_game_data setup;
	harness_level_setup(&setup);
	ASSERT_TRUE(harness_start_map(&setup));
	// Units that start hidden stand off the map until a scene brings them in.
	std::vector<int16> watched;
	for (int16 i = 0; i < monster_array.count; ++i)
	{
		const monster_data *monster = get_monster_data(i);
		if (monster && monster->owner_team_index == 1 && !(monster->extra_flags & _monster_is_invisible_extra_flag))
			watched.push_back(i);
	}
	ASSERT_GE(watched.size(), 10u);
	for (int32 tick = 0; tick < 2700; tick += 100)
	{
		harness_run_ticks(100);
		for (int16 i : watched)
		{
			const monster_data *monster = get_monster_data(i);
			if (!monster || monster->owner_team_index != 1) continue;
			ASSERT_FALSE(monster->flags & _monster_has_left_the_mesh_flag) << monster->identifier << " by tick " << game->game_time;
		}
	}
	harness_end_map();
}

// The player presses on: every 240 ticks (a multiple of both frame splits)
// its whole army moves on the nearest enemy or goes for it.
std::vector<battle_order> level_player_orders(void)
{
	const file_tag any = static_cast<file_tag>(NONE);
	std::vector<battle_order> orders;
	for (int32 tick = 480; tick <= 4800; tick += 240)
	{
		const bool move = (tick / 240) % 2 == 0;
		orders.push_back({tick, 0, static_cast<int16>(move ? _battle_order_move : _battle_order_target), 0, {any, any},
			static_cast<int16>(move ? _battle_order_enemy_front_rank : _battle_order_enemy_nearest_block),
			_battle_formation_none, 0});
	}
	return orders;
}

std::vector<harness_digest_entry> play_level_ai(int16 elapsed, int32 *ended_at, int16 *winner)
{
	new_game_data setup;
	harness_level_setup(&setup);
	EXPECT_TRUE(harness_start_map(&setup));
	run_battle_orders(level_player_orders(), 5400, elapsed);
	*winner = game->winning_team_index;
	*ended_at = *winner == NONE ? NONE : game->game_time_at_end;
	std::vector<harness_digest_entry> trail = harness_digest_trail();
	harness_end_map();
	return trail;
}

// The level against its computer team is fought to a winner, the same way at
// either frame split.
TEST_F(group_ai_determinism, the_level_computer_team_plays_one_trail_to_a_winner_at_frame_splits_1_and_4)
{
	int32 ended_at[2];
	int16 winner[2];
	const std::vector<harness_digest_entry> first = play_level_ai(1, &ended_at[0], &winner[0]);
	const std::vector<harness_digest_entry> again = play_level_ai(4, &ended_at[1], &winner[1]);
	EXPECT_NE(ended_at[0], NONE);
	EXPECT_LT(ended_at[0], 5400);
	EXPECT_NE(winner[0], NONE);
	EXPECT_EQ(ended_at[1], ended_at[0]);
	EXPECT_EQ(winner[1], winner[0]);
	ASSERT_EQ(first.size(), again.size());
	for (size_t i = 0; i < first.size(); ++i) ASSERT_EQ(first[i].digest, again[i].digest) << "tick " << first[i].game_time;
	EXPECT_TRUE(harness_write_test_digest_trail(first));
}

} // namespace
