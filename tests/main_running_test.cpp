// Entering the running state: starts, failed starts and restored saved games.
// The map start itself answers through the game core's test hook.
#include "players.h"
#include "main_test_fixture.h"

#include <cstring>

#include "zerv.h"

namespace {

class RunningStandIn : public main_program_test
{
protected:
	void SetUp() override
	{
		main_program_test::SetUp();
		if (HasFatalFailure()) return;
		// The menu builds its demo's set-up when the set holds the demo map.
		enter_state(_game_state_displaying_main_menu);
		harness_default_setup(&main_globals.new_game_data);
	}
};

TEST_F(RunningStandIn, SuccessfulStartRunsAndDraws)
{
	get_zerv_test_hooks()->map_start_answer = 1;
	enter_state(_game_state_running);

	EXPECT_EQ(game->state, _game_state_running);
	EXPECT_TRUE(game->loaded);
	EXPECT_EQ(game_local_time_get(), 0);
	EXPECT_FALSE(game_flags_test(_game_is_disabled_flag));
	EXPECT_EQ(game->type, _game_type_local);
	EXPECT_STREQ(least_call_text(&get_zerv_networking_test_hooks()->calls, "add_chat_to_back_log"), "Game Started");
	EXPECT_EQ(find_open_dialog(MAIN_MENU_DIALOG_TAG_640_480), nullptr);

	// A frame ticks the game and draws the world.
	idle_zerv(1, FALSE);
	EXPECT_GE(get_render_test_hooks()->frames_rendered, 1);
}

TEST_F(RunningStandIn, FailedStartReturnsToTheMenuWithNothingRunning)
{
	get_zerv_test_hooks()->map_start_answer = 0;
	main_globals.restoring_from_save_game = TRUE;
	set_game_state(_game_state_running);
	main_globals.desired_state = NONE;
	change_game_state(_game_state_running);

	EXPECT_EQ(game->state, _game_state_running);
	EXPECT_TRUE(game_flags_test(_game_is_disabled_flag));
	EXPECT_FALSE(game->loaded);
	// The next entry into running does not retry the restore.
	EXPECT_FALSE(main_globals.restoring_from_save_game);
	EXPECT_EQ(main_globals.desired_state, _game_state_displaying_main_menu);

	// Nothing ticks or draws for the map that failed.
	int32 game_time = game->game_time;
	idle_zerv(4, FALSE);
	EXPECT_EQ(game->game_time, game_time);
	EXPECT_EQ(get_render_test_hooks()->frames_rendered, 0);

	update_everything();
	EXPECT_EQ(game->state, _game_state_displaying_main_menu);
}

TEST_F(RunningStandIn, FailedStartWhileConnectedToTheLobby)
{
	get_metaserver_test_hooks()->connected = TRUE;
	get_zerv_test_hooks()->map_start_answer = 0;

	// Not networked: back to the menu as well.
	main_globals.desired_state = NONE;
	change_game_state(_game_state_running);
	EXPECT_EQ(main_globals.desired_state, _game_state_displaying_main_menu);
	EXPECT_TRUE(game_flags_test(_game_is_disabled_flag));
	EXPECT_FALSE(game->loaded);

	// Networked: through the network end game.
	main_globals.new_game_data.parameters.type = _game_type_networked;
	main_globals.desired_state = NONE;
	change_game_state(_game_state_running);
	EXPECT_EQ(main_globals.desired_state, _game_state_displaying_network_endgame);
}

TEST_F(RunningStandIn, FailedNetworkStartEndsTheNetworkGame)
{
	get_zerv_test_hooks()->map_start_answer = 0;
	main_globals.new_game_data.parameters.type = _game_type_networked;
	main_globals.desired_state = NONE;
	change_game_state(_game_state_running);
	EXPECT_EQ(least_call_count(&get_zerv_networking_test_hooks()->calls, "handle_network_endgame"), 1);
	EXPECT_EQ(least_call_argument(&get_zerv_networking_test_hooks()->calls, "handle_network_endgame", 2), TRUE);
	EXPECT_EQ(main_globals.desired_state, _game_state_displaying_main_menu);
}

TEST_F(RunningStandIn, NetworkSyncFailureReportsAndEnds)
{
	get_zerv_test_hooks()->map_start_answer = 1;
	get_zerv_networking_test_hooks()->netsync_answer = FALSE;
	main_globals.new_game_data.parameters.type = _game_type_networked;
	main_globals.desired_state = NONE;
	// The standings are built for a local player (the stubbed map start makes none).
	const int16 saved_local_player = player_globals.local_player_index;
	player_globals.local_player_index = 0;
	change_game_state(_game_state_running);
	player_globals.local_player_index = saved_local_player;

	EXPECT_EQ(get_console_test_hooks()->last_error, _console_error_disconnected);
	ASSERT_NE(get_hollax_net_game_standings(), nullptr);
	EXPECT_EQ(get_hollax_net_game_standings()->game_ended_code, _game_ended_with_server_loss);
	EXPECT_EQ(main_globals.desired_state, _game_state_displaying_network_endgame);
}

// Without a saved game behind it, a restore never reaches its tick: it fails
// to the menu instead of going on as a local game. The successful restore is
// the films' own test.
TEST_F(RunningStandIn, RestoreThatNeverReachesItsTickFailsToTheMenu)
{
	get_zerv_test_hooks()->map_start_answer = 1;
	main_globals.new_game_data.parameters.type = _game_type_networked;
	main_globals.restoring_from_save_game = TRUE;
	main_globals.save_game_ticks = 5000;
	main_globals.cached_console_line_count = 2;
	strcpy(main_globals.cached_console_text[0].text, "first line");

	enter_state(_game_state_running);

	EXPECT_NE(game->state, _game_state_running);
	EXPECT_TRUE(game_flags_test(_game_is_disabled_flag));
	EXPECT_FALSE(main_globals.restoring_from_save_game);
	EXPECT_FALSE(restoring_from_saved_game());

	// Muted while the film runs, unmuted after; the progress dialog closed.
	const least_call_log *sound = &get_sound_manager_test_hooks()->calls;
	EXPECT_GE(least_call_count(sound, "sound_mute"), 2);
	EXPECT_EQ(least_call_argument(sound, "sound_mute", 0), FALSE);
	EXPECT_FALSE(get_sound_manager_test_hooks()->muted);
	const least_call_log *screens = &get_screens_test_hooks()->calls;
	EXPECT_EQ(least_call_argument(screens, "open_save_game_restoring_progress_dialog", 0), 5000 / 1800 + 1);
	EXPECT_EQ(least_call_count(screens, "close_save_game_progress_dialog"), 1);
	EXPECT_EQ(least_call_count(&get_console_test_hooks()->calls, "restore_cached_console_text"), 0);
	EXPECT_EQ(least_call_count(&get_observer_test_hooks()->calls, "set_actual_observer_location_and_zoom"), 0);
}

}
