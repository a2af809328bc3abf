// The generated 'demo' map's script: its actions in order, and "the end"
// reached on the 120th pass of the scheduler.
#include "map_actions/map_actions_test_support.h"

#include "demo_script.h"
#include "mesh.h"
#include "tag_files/tag_files.h"

namespace {

using demo_script = map_actions_fixture;

TEST_F(demo_script, the_demo_map_carries_its_actions_and_ends_at_tick_3776)
{
	harness_end_map();
	harness_demo_setup(&setup, 4);
	// From 1501 a team stays alive without units, so only the script can end it.
	setup.parameters.option_flags |= _game_option_deathmatch_flag;
	ASSERT_TRUE(harness_start_map(&setup));
	// Team 1's five units, the ones "stagger" holds back.
	for (int16 i = 0; i < DEMO_SCRIPT_SUBJECT_COUNT; ++i)
	{
		const int16 index = new_datum(&monster_array);
		ASSERT_NE(index, NONE);
		set_monster_identifier(index, static_cast<int16>(DEMO_SCRIPT_FIRST_SUBJECT_IDENTIFIER + i));
		get_monster_data(index)->owner_team_index = _dark_team_index;
	}

	static const struct
	{
		const char *name;
		action_tag tag;
	} expected[] = {{"opening", TAG("acli")}, {"stagger", TAG("dela")}, {"tally", TAG("math")},
		{"count passes", TAG("math")}, {"enough", TAG("math")}, {"two teams", TAG("plyc")}, {"under way", TAG("plan")},
		{"lock", TAG("lock")}, {"arm the end", TAG("mung")}, {"the end", TAG("endg")},
		{"prohibited teams", TAG("prta")}, {"light's army", TAG("geom")}, {"dark's army", TAG("geom")},
		{"light thin", TAG("tuni")}, {"dark thin", TAG("tuni")}, {"light closers", TAG("geom")},
		{"dark closers", TAG("geom")}, {"light throwers", TAG("geom")}, {"dark throwers", TAG("geom")},
		{"light seek", TAG("atta")}, {"dark seek", TAG("atta")}, {"light seek from afar", TAG("atta")},
		{"dark seek from afar", TAG("atta")}};
	ASSERT_EQ(map_action_array.total_count, static_cast<int16>(NUMBEROF(expected)));
	for (int16 i = 0; i < static_cast<int16>(NUMBEROF(expected)); ++i)
	{
		EXPECT_STREQ(get_map_action_name(i), expected[i].name);
		EXPECT_EQ(get_map_action_tag(i), expected[i].tag);
	}
	// Loading ran the first pass: the opening armed the end.
	EXPECT_TRUE(get_map_action_parameter(nullptr, 9, _return_empty_arrays_flag, TAG("noce"), _parameter_flag));

	// One unit every 24 ticks, each handed to "tally".
	harness_run_ticks(160);
	EXPECT_EQ(integer_of(2, "resu"), 4);

	// The pass of tick 3776 runs as that tick is played.
	harness_run_ticks(3776 - 160);
	ASSERT_EQ(game->game_time, 3776);
	EXPECT_EQ(game->endgame_state, _endgame_state_none);
	EXPECT_EQ(integer_of(3, "resu"), 119);
	harness_run_ticks(1);
	EXPECT_EQ(game->winning_team_index, _light_team_index);
	EXPECT_EQ(game->endgame_state, _endgame_state_victory);
	EXPECT_EQ(integer_of(3, "resu"), 120);
}

// The menu's game plays on without the demo's script, training runs its own
// lessons and the first level its own section.
TEST_F(demo_script, no_other_map_copies_the_demo_script)
{
	for (const file_tag map : {TAG("mt00"), TAG("85gi"), TAG("l1  ")})
	{
		harness_end_map();
		harness_demo_setup(&setup, 4);
		setup.parameters.scenario_tag = map;
		ASSERT_TRUE(harness_start_map(&setup));
		const int32 expected = 0;
		if (map == TAG("mt00") || map == TAG("l1  "))
		{
			// Its own chain, never the demo's timed ending.
			EXPECT_NE(mesh_globals->map_action_count, DEMO_SCRIPT_ACTION_COUNT);
			EXPECT_GT(mesh_globals->map_action_count, 0);
			continue;
		}
		EXPECT_EQ(mesh_globals->map_action_count, expected) << tag_to_string(map);
		EXPECT_EQ(map_action_array.total_count, expected) << tag_to_string(map);
	}
}

} // namespace
