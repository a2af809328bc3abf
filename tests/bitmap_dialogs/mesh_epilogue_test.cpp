// The shell's least answers inside the running program: the epilogue after
// a single-player map, the map's printed name, the networking messages and
// the sound listener.
#include "main_test_fixture.h"

#include <vector>

#include "CoreLibrary/cseries/byte_swapping.h"
#include "CoreLibrary/zerv/string_definitions.h"
#include "players.h"
#include "tag_files/tag_files.h"
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
		made.push_back(tag_file_new_with_subgroup_tag(MESH_DEFINITION_GROUP_TAG, tag_to_string(tag), tag,
			MESH_VERSION_NUMBER, &header, sizeof(header)));
		ASSERT_NE(made.back(), NONE);
	}

	int32 epilogue(file_tag tag, int16 endgame_state)
	{
		cache_endgame_state(endgame_state);
		main_globals.desired_state = NONE;
		display_mesh_epilogue(tag);
		return main_globals.desired_state;
	}

	std::vector<int32> made;
};

const file_tag one = TAG("ep01"), two = TAG("ep02"), three = TAG("ep03"), none = static_cast<file_tag>(NONE);

TEST_F(ShellAnswers, EpilogueGoesOnFromAVictoryAndElseToTheMenu)
{
	make_map(one, two, three);
	make_map(two, none, none);
	make_map(three, two, none, _mesh_extra_is_last_level_of_scenario_flag);
	make_map(TRAINING_MAP_MESH_TAG, two, none);

	EXPECT_EQ(epilogue(TRAINING_MAP_MESH_TAG, _endgame_state_victory), _game_state_displaying_main_menu);
	EXPECT_EQ(epilogue(one, _endgame_state_defeat), _game_state_displaying_main_menu);
	EXPECT_EQ(epilogue(two, _endgame_state_alternate_victory), _game_state_displaying_main_menu);
	EXPECT_FALSE(solo_level_visited(two));

	EXPECT_EQ(epilogue(one, _endgame_state_victory), _game_state_displaying_mesh_prologue);
	EXPECT_TRUE(solo_level_visited(two));
	EXPECT_EQ(main_globals.new_game_data.parameters.scenario_tag, two);
	get_screens_test_hooks()->continue_answer = FALSE;
	EXPECT_EQ(epilogue(one, _endgame_state_alternate_victory), _game_state_displaying_main_menu);
	EXPECT_TRUE(solo_level_visited(three));

	// The last level closes the scenario; so does a foundation map with no next map.
	EXPECT_EQ(epilogue(three, _endgame_state_victory), _game_state_displaying_epilogue);
	EXPECT_EQ(epilogue(HARNESS_DEMO_MAP_TAG, _endgame_state_victory), _game_state_displaying_epilogue);
	EXPECT_EQ(epilogue(two, _endgame_state_victory), _game_state_displaying_main_menu);
}

TEST_F(ShellAnswers, DemoStartsByItsNameWithTheCaptainsNoticeAndAListener)
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
	EXPECT_STREQ(safe_tag_sprintf(NULL, 0, "%s", "%s dropped.", get_networking_string(_dropped_player_msg_index),
		"Ann"), "Ann has left the game.");

	// 3072 ahead of the camera, on the ground; none while the game is disabled.
	const observer_location camera = {{20 * WORLD_ONE, 30 * WORLD_ONE}, QUARTER_CIRCLE, 0};
	set_actual_observer_location_and_zoom(&camera, NULL);
	const world_location3d *listener = sound_listener_proc();
	ASSERT_NE(listener, nullptr);
	const world_point2d ground = {camera.position.x, camera.position.y + 3072};
	EXPECT_EQ(listener->position.x, ground.x);
	EXPECT_EQ(listener->position.y, ground.y);
	EXPECT_EQ(listener->position.z, get_mesh_height(&ground, _true_height));
	game_flags_set(_game_is_disabled_flag);
	EXPECT_EQ(sound_listener_proc(), nullptr);
	game_flags_clear(_game_is_disabled_flag);
	harness_end_map();
}

} // namespace
