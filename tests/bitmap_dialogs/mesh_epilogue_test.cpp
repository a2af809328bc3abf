// What the shell's least layers answer inside the running program: the
// epilogue after a single-player map, the map's printed name, the networking
// messages and the sound listener.
#include "main_test_fixture.h"

#include <string>
#include <vector>

#include "CoreLibrary/cseries/byte_swapping.h"
#include "CoreLibrary/zerv/string_definitions.h"
#include "players.h"
#include "tag_files/tag_files.h"
#include "world.h"
#include "zerv.h"
#include "zerv_hooks.h"

namespace {

class ShellAnswers : public main_program_test
{
protected:
	void TearDown() override
	{
		for (int32 handle : made) tag_file_delete(handle);
		main_program_test::TearDown();
	}

	// A local map tag holding only its header.
	void make_map(file_tag tag, file_tag first_next, file_tag second_next, uint32 extra_flags = 0)
	{
		mesh_header header;
		initialize_mesh_header(&header, 2, 2);
		header.next_mesh_tags[0] = first_next;
		header.next_mesh_tags[1] = second_next;
		header.extra_flags = extra_flags;
		byte_swap_data("mesh header", &header, sizeof(header), 1, mesh_header_bs_data);
		const int32 handle = tag_file_new_with_subgroup_tag(MESH_DEFINITION_GROUP_TAG, tag_to_string(tag), tag,
			MESH_VERSION_NUMBER, &header, sizeof(header));
		ASSERT_NE(handle, NONE);
		made.push_back(handle);
	}

	// The state the epilogue requests after an ending of the map.
	int32 epilogue(file_tag tag, int16 endgame_state)
	{
		cache_endgame_state(endgame_state);
		main_globals.desired_state = NONE;
		display_mesh_epilogue(tag);
		return main_globals.desired_state;
	}

	std::vector<int32> made;
};

const file_tag first_map = TAG("ep01"), second_map = TAG("ep02"), alternate_map = TAG("ep03");

TEST_F(ShellAnswers, EpilogueMarksTheNextMapVisitedAndGoesOnWhenThePlayerContinues)
{
	make_map(first_map, second_map, alternate_map);
	make_map(second_map, first_map, static_cast<file_tag>(NONE));
	ASSERT_FALSE(solo_level_visited(second_map));

	// A victory: the next map is visited and, continued, starts with its prologue.
	EXPECT_EQ(epilogue(first_map, _endgame_state_victory), _game_state_displaying_mesh_prologue);
	EXPECT_TRUE(solo_level_visited(second_map));
	EXPECT_EQ(main_globals.new_game_data.parameters.scenario_tag, second_map);
	EXPECT_TRUE(main_globals.new_game_data.parameters.option_flags & _game_option_continuation_flag);

	// The alternate victory goes on with the second map; without the player's
	// "continue" it ends at the menu, the map still visited.
	get_screens_test_hooks()->continue_answer = FALSE;
	EXPECT_EQ(epilogue(first_map, _endgame_state_alternate_victory), _game_state_displaying_main_menu);
	EXPECT_TRUE(solo_level_visited(alternate_map));

	// Defeats, an alternate victory without its map, and no outcome at all.
	get_screens_test_hooks()->continue_answer = TRUE;
	const int32 visited = get_game_preferences()->number_of_solo_levels_visited;
	EXPECT_EQ(epilogue(first_map, _endgame_state_defeat), _game_state_displaying_main_menu);
	EXPECT_EQ(epilogue(second_map, _endgame_state_alternate_victory), _game_state_displaying_main_menu);
	EXPECT_EQ(epilogue(first_map, _endgame_state_none), _game_state_displaying_main_menu);
	EXPECT_EQ(epilogue(TAG("gone"), _endgame_state_victory), _game_state_displaying_main_menu);
	EXPECT_EQ(get_game_preferences()->number_of_solo_levels_visited, visited);
}

TEST_F(ShellAnswers, EpilogueEndsTheScenarioOnItsLastLevelAndTheTrainingMapAtTheMenu)
{
	make_map(first_map, second_map, static_cast<file_tag>(NONE), _mesh_extra_is_last_level_of_scenario_flag);
	make_map(second_map, static_cast<file_tag>(NONE), static_cast<file_tag>(NONE));
	make_map(TRAINING_MAP_MESH_TAG, second_map, static_cast<file_tag>(NONE));

	EXPECT_EQ(epilogue(first_map, _endgame_state_victory), _game_state_displaying_epilogue);
	EXPECT_EQ(epilogue(TRAINING_MAP_MESH_TAG, _endgame_state_victory), _game_state_displaying_main_menu);
	EXPECT_FALSE(solo_level_visited(second_map));
	// The last map of the foundation files closes the game; a local one has
	// nothing to go on with.
	EXPECT_EQ(epilogue(HARNESS_DEMO_MAP_TAG, _endgame_state_victory), _game_state_displaying_epilogue);
	EXPECT_EQ(epilogue(second_map, _endgame_state_victory), _game_state_displaying_main_menu);
}

TEST_F(ShellAnswers, DemoStartsByItsNameAndTheNetworkingMessagesHaveText)
{
	new_game_data setup;
	harness_demo_setup(&setup, 2);
	ASSERT_TRUE(harness_start_map(&setup));
	EXPECT_NE(log_text().find("Starting mesh \"Demo Valley\"..."), std::string::npos);

	team_data *team = get_team_data(player_globals.local_player_team_index);
	ASSERT_NE(team, nullptr);
	team->captain_player_index = player_globals.local_player_index;
	team->original_number_of_players = 2;
	zerv_service_team_captain_notification();
	EXPECT_STREQ(get_console_test_hooks()->popup_text, "You are your team's captain.");

	char line[128];
	EXPECT_STREQ(safe_tag_sprintf(line, sizeof(line), "%s", "%s dropped.", get_networking_string(_dropped_player_msg_index),
		"Ann"), "Ann has left the game.");

	// The listener stands 3072 ahead of the camera on the ground, and is
	// gone while the game is disabled.
	const observer_location camera = {{20 * WORLD_ONE, 30 * WORLD_ONE}, QUARTER_CIRCLE, 0};
	set_actual_observer_location_and_zoom(&camera, NULL);
	const world_location3d *listener = sound_listener_proc();
	ASSERT_NE(listener, nullptr);
	EXPECT_EQ(listener->position.x, camera.position.x);
	EXPECT_EQ(listener->position.y, camera.position.y + 3072);
	const world_point2d ground = {listener->position.x, listener->position.y};
	EXPECT_EQ(listener->position.z, get_mesh_height(&ground, _true_height));
	const uint32 flags = game_flags_get();
	game_flags_set(_game_is_disabled_flag);
	EXPECT_EQ(sound_listener_proc(), nullptr);
	game_flags_store(flags);
	harness_end_map();
}

} // namespace
