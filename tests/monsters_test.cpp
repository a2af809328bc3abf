// Units on the generated maps through the game core: the armies the markers
// place, their kinds and teams, the staggered scan, and battles that play the
// same on every run.
#include <gtest/gtest.h>

#include <map>

#include "markers.h"
#include "mesh.h"
#include "monsters.h"
#include "objects.h"
#include "support/zerv_harness.h"
#include "units_content.h"
#include "zerv.h"

namespace {

class monsters_on_a_map : public zerv_harness_fixture
{
protected:
	void TearDown() override
	{
		harness_end_map();
		reset_monsters_test_hooks();
		zerv_harness_fixture::TearDown();
	}
	// Units per (team, kind tag).
	static std::map<std::pair<int16, file_tag>, int32> census(void)
	{
		std::map<std::pair<int16, file_tag>, int32> counts;
		for (int16 i = 0; i < monster_array.count; ++i)
		{
			const monster_data *monster = get_monster_data(i);
			if (!monster) continue;
			const unit_definition *unit = get_unit_definition(monster->unit_type);
			counts[{monster->owner_team_index, unit ? unit->parent_unit_tag : static_cast<file_tag>(NONE)}] += 1;
		}
		return counts;
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
	static std::vector<harness_digest_entry> play_battle(file_tag map, int32 ticks, int16 elapsed)
	{
		new_game_data setup;
		harness_battle_setup(&setup, map);
		EXPECT_TRUE(harness_start_map(&setup));
		if (elapsed > 1) set_maximum_ticks_per_frame(elapsed);
		harness_run_ticks(ticks, elapsed);
		std::vector<harness_digest_entry> trail = harness_digest_trail();
		harness_end_map();
		return trail;
	}
};

TEST_F(monsters_on_a_map, the_demo_and_benchmark_armies_stand_by_team_and_kind)
{
	new_game_data setup;
	harness_battle_setup(&setup, TAG("demo"));
	ASSERT_TRUE(harness_start_map(&setup));
	// The two extra swordsmen need difficulty 3.
	EXPECT_EQ(units_of_team(0), 14);
	EXPECT_EQ(units_of_team(1), 14);
	std::map<std::pair<int16, file_tag>, int32> demo = census();
	EXPECT_EQ((demo[{1, DEFAULT_SWORDSMAN_TAG}]), 6);
	EXPECT_EQ((demo[{0, DEFAULT_SCOUT_TAG}]), 2);
	// Every unit took its marker's identifier, and each marker knows its unit.
	int32 placed = 0;
	for (int32 i = 0; i < mesh_globals->marker_count; ++i)
	{
		const marker_data *marker = &mesh_globals->markers[i];
		if (marker->type != _marker_monster || marker->data_index == NONE) continue;
		const monster_data *monster = get_monster_data(marker->data_index);
		ASSERT_NE(monster, nullptr);
		EXPECT_EQ(monster->identifier, marker->identifier);
		EXPECT_EQ(monster->marker_index, i);
		EXPECT_EQ(monster->action, _monster_action_idle);
		placed += 1;
	}
	EXPECT_EQ(placed, 28);
	harness_end_map();

	harness_battle_setup(&setup, TAG("bnch"));
	ASSERT_TRUE(harness_start_map(&setup));
	std::map<std::pair<int16, file_tag>, int32> bench = census();
	for (int16 team = 0; team < 2; ++team)
	{
		EXPECT_EQ(units_of_team(team), 200);
		EXPECT_EQ((bench[{team, DEFAULT_SWORDSMAN_TAG}]), 100);
		EXPECT_EQ((bench[{team, DEFAULT_ARCHER_TAG}]), 60);
		EXPECT_EQ((bench[{team, DEFAULT_THROWER_TAG}]), 20);
		EXPECT_EQ((bench[{team, DEFAULT_SCOUT_TAG}]), 20);
	}
	EXPECT_EQ(monster_array.total_count, MAXIMUM_MONSTERS_PER_MAP);
}

TEST_F(monsters_on_a_map, every_unit_is_scanned_once_in_64_ticks)
{
	new_game_data setup;
	harness_battle_setup(&setup, TAG("bnch"));
	ASSERT_TRUE(harness_start_map(&setup));
	ASSERT_EQ(monster_array.total_count, MAXIMUM_MONSTERS_PER_MAP);
	reset_monsters_test_hooks();
	const int32 start = game->game_time;
	ASSERT_EQ(harness_run_ticks(SCAN_FOR_TARGETS_COUNT), SCAN_FOR_TARGETS_COUNT);
	const monsters_test_hooks_data *hooks = get_monsters_test_hooks();
	EXPECT_EQ(hooks->visibility_swaps, 1) << "the scan reaches index 0 once";
	for (int16 i = 0; i < MAXIMUM_MONSTERS_PER_MAP; ++i)
	{
		// A unit killed before its turn is never scanned; every other once.
		if (!get_monster_data(i) && hooks->scans[i] == 0) continue;
		ASSERT_EQ(hooks->scans[i], 1) << i;
		EXPECT_GE(hooks->last_scan_time[i], start) << i;
		EXPECT_EQ(hooks->last_scan_time[i] & SCAN_FOR_TARGETS_MASK, i & SCAN_FOR_TARGETS_MASK) << i;
	}
}

TEST_F(monsters_on_a_map, battles_play_the_same_on_every_run_and_frame_split)
{
	const std::vector<harness_digest_entry> first = play_battle(TAG("bnch"), 128, 1);
	const std::vector<harness_digest_entry> split = play_battle(TAG("bnch"), 128, 4);
	const std::vector<harness_digest_entry> demo = play_battle(TAG("demo"), 128, 1);
	const std::vector<harness_digest_entry> again = play_battle(TAG("demo"), 128, 1);
	// A frame of four ticks may end past the last tick: the common ticks agree.
	ASSERT_GE(split.size(), first.size());
	for (size_t i = 0; i < first.size(); ++i)
	{
		ASSERT_EQ(first[i].game_time, split[i].game_time);
		ASSERT_EQ(first[i].digest, split[i].digest) << i;
	}
	ASSERT_EQ(demo.size(), again.size());
	for (size_t i = 0; i < demo.size(); ++i) ASSERT_EQ(demo[i].digest, again[i].digest) << i;

	// 'bnch' after 'demo' plays as a fresh 'bnch'.
	const std::vector<harness_digest_entry> after = play_battle(TAG("bnch"), 128, 1);
	ASSERT_EQ(first.size(), after.size());
	for (size_t i = 0; i < first.size(); ++i) ASSERT_EQ(first[i].digest, after[i].digest) << i;
}

} // namespace
