// The benchmark map's computer team played by the group AI script.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "map_actions/map_action_accessors.h"
#include "map_actions/map_actions.h"
#include "monsters.h"
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

} // namespace
