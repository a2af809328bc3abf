// The map's formation definition through the core: every map start loads the
// generated 'info', and the first tick of a local game shares it for the
// local player.
#include <gtest/gtest.h>

#include <cstring>

#include "definitions.h"
#include "formations.h"
#include "players.h"
#include "support/zerv_harness.h"
#include "zerv.h"

class formations_harness : public zerv_harness_fixture {};

TEST_F(formations_harness, every_map_start_loads_the_generated_definition_and_the_first_tick_shares_it)
{
	for (int32 map = 0; map < 2; ++map)
	{
		new_game_data setup;
		harness_default_setup(&setup);
		ASSERT_TRUE(harness_start_map(&setup));
		const formation_definition *loaded = get_loaded_formation_definition();
		ASSERT_NE(loaded, nullptr) << map;
		EXPECT_EQ(memcmp(loaded, get_default_formation_definition(), sizeof(*loaded)), 0);
		EXPECT_EQ(get_formation_identifier(), 0) << map;
		EXPECT_STREQ(get_formation_name(0), "Short Line");
		EXPECT_STREQ(get_formation_name(9), "Circle");
		EXPECT_STREQ(get_formation_name(10), "");

		// A changed copy in memory shows which definition the first tick shares.
		const int16 index = subgroup_tag_to_definition_index(get_formation_definitions(), FORMATION_DEFINITION_SUBGROUP_TAG);
		formation_definition *changed =
			static_cast<formation_definition *>(try_and_get_definition(get_formation_definitions(), index));
		ASSERT_NE(changed, nullptr);
		changed->circle_unit_separation = 999;
		const int16 local = player_globals.local_player_index;
		ASSERT_GE(local, 0);
		EXPECT_EQ(get_formation_definition_for_player(local)->circle_unit_separation, 768);
		// The first tick queues the definition; the next intake stamps it with the
		// target time, and it reaches the player's slot when that tick runs.
		ASSERT_GE(harness_run_ticks(1), 1);
		const int32 due = game->target_time;
		EXPECT_EQ(get_formation_definition_for_player(local)->circle_unit_separation, 768);
		const int32 ticks = due - game->game_time + 1;
		ASSERT_GE(harness_run_ticks(ticks), ticks);
		EXPECT_EQ(get_formation_definition_for_player(local)->circle_unit_separation, 999);
		EXPECT_EQ(get_formation_definition_for_player(static_cast<int16>((local + 1) % 16))->circle_unit_separation, 768);
		harness_end_map();
	}
}
