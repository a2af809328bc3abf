// The main loop and the game-state machine.
#include "main_test_fixture.h"

#include <cstdio>
#include <cstdlib>

#include "support/foundation_files.h"
#include "CoreLibrary/cseries/linux_utilities.h"
#include "CoreLibrary/cseries/tags_and_strings.h"

namespace {

class GameStates : public main_program_test
{
};

TEST_F(GameStates, FirstRunShowsTheIntroThenTheMenuInOnePass)
{
	get_cutscenes_test_hooks()->cutscenes_found = TRUE;
	get_game_preferences()->run_count = 1;
	choose_first_game_state();
	ASSERT_EQ(main_globals.desired_state, _game_state_displaying_intro_sequence);

	update_everything();
	EXPECT_EQ(game->state, _game_state_displaying_main_menu);
	EXPECT_EQ(least_call_count(&get_cutscenes_test_hooks()->calls, "display_cutscene"), 1);
	EXPECT_STREQ(least_call_text(&get_cutscenes_test_hooks()->calls, "display_cutscene"), INTRO_CUTSCENE_NAME);
	ASSERT_GE(get_main_test_hooks()->state_change_count, 2);
	EXPECT_EQ(get_main_test_hooks()->states_entered[0], _game_state_displaying_intro_sequence);
	EXPECT_EQ(get_main_test_hooks()->states_entered[1], _game_state_displaying_main_menu);
	EXPECT_NE(find_open_dialog(MAIN_MENU_DIALOG_TAG_640_480), nullptr);
}

TEST_F(GameStates, LaterRunGoesStraightToTheMenu)
{
	get_game_preferences()->run_count = 2;
	choose_first_game_state();
	EXPECT_EQ(main_globals.desired_state, _game_state_displaying_main_menu);

	update_everything();
	EXPECT_EQ(game->state, _game_state_displaying_main_menu);
	EXPECT_EQ(least_call_count(&get_cutscenes_test_hooks()->calls, "display_cutscene"), 0);
	EXPECT_EQ(get_main_test_hooks()->state_change_count, 1);
}

TEST_F(GameStates, QuitReachesOverInOnePassAfterTheClick)
{
	enter_state(_game_state_displaying_main_menu);
	ASSERT_NE(find_open_dialog(MAIN_MENU_DIALOG_TAG_640_480), nullptr);

	// The click arrives while the dialogs idle; the state changes on the next pass.
	inject_dialog_item_hit(MAIN_MENU_DIALOG_TAG_640_480, iQUIT);
	update_everything();
	EXPECT_EQ(game->state, _game_state_displaying_main_menu);
	EXPECT_EQ(main_globals.desired_state, _game_state_displaying_trailer);

	update_everything();
	EXPECT_EQ(game->state, _game_state_over);
	EXPECT_EQ(find_open_dialog(MAIN_MENU_DIALOG_TAG_640_480), nullptr);
}

TEST_F(GameStates, ClosingTheWindowQuitsLikeTheMenu)
{
	enter_state(_game_state_displaying_main_menu);
	headless_request_quit_after_passes(1);
	update_everything();
	EXPECT_EQ(game->state, _game_state_over);
}

TEST_F(GameStates, StateIsAlreadyNewWhileTheOldMapIsDisposed)
{
	enter_state(_game_state_displaying_main_menu);
	get_mesh_test_hooks()->state_at_last_dispose = NONE;

	enter_state(_game_state_displaying_trailer);
	EXPECT_EQ(get_mesh_test_hooks()->state_at_last_dispose, _game_state_displaying_trailer);
	EXPECT_EQ(game->state, _game_state_over);
}

TEST_F(GameStates, ImageStatesWithoutACollectionPassThrough)
{
	get_game_preferences()->run_count = 3;
	enter_state(_game_state_displaying_prologue);
	EXPECT_EQ(game->state, _game_state_displaying_main_menu);
	// Only the menu's own art is loaded.
	const dialog_data *menu = find_open_dialog(MAIN_MENU_DIALOG_TAG_640_480);
	ASSERT_NE(menu, nullptr);
	EXPECT_EQ(main_globals.main_collection_index, menu->background_collection_index);
	EXPECT_EQ(find_open_dialog(IMAGES_DIALOG_TAG), nullptr);

	enter_state(_game_state_displaying_epilogue);
	EXPECT_EQ(game->state, _game_state_displaying_main_menu);

	// On the first run the prologue leads to the intro.
	get_game_preferences()->run_count = 1;
	reset_main_test_hooks();
	enter_state(_game_state_displaying_prologue);
	ASSERT_GE(get_main_test_hooks()->state_change_count, 3);
	EXPECT_EQ(get_main_test_hooks()->states_entered[1], _game_state_displaying_intro_sequence);
}

TEST_F(GameStates, EveryShellStateLeavesAWorkingMenuBehind)
{
	// States whose screens need a map context get one and give it back.
	const int16 states[] = {_game_state_displaying_mesh_epilogue, _game_state_displaying_network_endgame,
		_game_state_configuring_preferences, _game_state_displaying_intro_sequence};
	for (int16 state : states)
	{
		enter_state(state);
		if (game->state != _game_state_displaying_main_menu) enter_state(_game_state_displaying_main_menu);
		EXPECT_EQ(game->state, _game_state_displaying_main_menu) << "from state " << state;
		EXPECT_NE(find_open_dialog(MAIN_MENU_DIALOG_TAG_640_480), nullptr) << "from state " << state;
		EXPECT_EQ(open_dialog_count(), 1) << "from state " << state;
	}
}

TEST_F(GameStates, NetworkEndgameRoutesByItsAnswer)
{
	get_zerv_networking_test_hooks()->network_endgame_answer = TRUE;
	get_zerv_test_hooks()->map_start_answer = 0;
	enter_state(_game_state_displaying_network_endgame);
	ASSERT_GE(get_main_test_hooks()->state_change_count, 2);
	EXPECT_EQ(get_main_test_hooks()->states_entered[1], _game_state_running);

	reset_main_test_hooks();
	get_zerv_networking_test_hooks()->network_endgame_answer = FALSE;
	main_globals.flags |= _enter_netgame_immediately_flag;
	enter_state(_game_state_displaying_network_endgame);
	EXPECT_EQ(game->state, _game_state_over);
}

TEST_F(GameStates, MeshPrologueOfANonLocalGameGoesStraightToRunning)
{
	get_zerv_test_hooks()->map_start_answer = 1;
	harness_default_setup(&main_globals.new_game_data);
	main_globals.new_game_data.parameters.type = _game_type_demo;
	set_game_state(_game_state_displaying_mesh_prologue);
	update_everything();
	EXPECT_EQ(game->state, _game_state_running);
	EXPECT_EQ(least_call_count(&get_screens_test_hooks()->calls, "display_mesh_prologue"), 0);

	main_globals.new_game_data.parameters.type = _game_type_local;
	enter_state(_game_state_displaying_mesh_prologue);
	EXPECT_EQ(game->state, _game_state_running);
	EXPECT_EQ(least_call_count(&get_screens_test_hooks()->calls, "display_mesh_prologue"), 1);
}

TEST_F(GameStates, ShellScreenThatCannotPrepareItsMapExitsWithFailure)
{
	// A stored error makes the shell's map context fail.
	EXPECT_EXIT(
		{
			error_message(_error_data_missing, MODULE_NAME, __LINE__, "no shell for you");
			change_game_state(_game_state_displaying_mesh_epilogue);
		},
		::testing::ExitedWithCode(1), "");
	std::string log = log_text();
	size_t failed = log.find("initialize_zerv_for_new_map(NULL) failed.");
	EXPECT_NE(failed, std::string::npos) << log;
	EXPECT_NE(log.find("Closing Zerv.", failed == std::string::npos ? 0 : failed), std::string::npos) << log;
}

// The whole program: start-up, the first run's intro, the menu, and a closed
// window, in a child process.
class StartUp : public zerv_test_directory
{
};

const char startup_trace_file[] = "startup_trace.txt";
const char startup_states_file[] = "startup_states.txt";

void write_startup_records(void)
{
	if (FILE *file = fopen(startup_trace_file, "w"))
	{
		fputs(service_trace_string(), file);
		fclose(file);
	}
	if (FILE *file = fopen(startup_states_file, "w"))
	{
		const main_test_hooks_data *hooks = get_main_test_hooks();
		for (int32 i = 0; i < hooks->state_change_count && i < 64; ++i) fprintf(file, "%d ", hooks->states_entered[i]);
		fclose(file);
	}
}

void run_program_until_the_window_closes(int32 passes)
{
	get_linux_utilities_test_hooks()->skip_working_directory_change = TRUE;
	get_actions_test_hooks()->no_timer_thread = TRUE;
	headless_request_quit_after_passes(passes);
	service_trace_enable(true);
	atexit(write_startup_records);
	char name[] = "zerv";
	char *argv[] = {name, nullptr};
	zerv_main(1, argv);
}

int32 trace_position(const std::string &trace, const char *name)
{
	std::string padded = " " + trace + " ";
	size_t at = padded.find(std::string(" ") + name + " ");
	return at == std::string::npos ? NONE : static_cast<int32>(at);
}

TEST_F(StartUp, StartsInOrderAndEndsWithClosingZerv)
{
	GTEST_FLAG_SET(death_test_style, "threadsafe");
	ASSERT_TRUE(install_placeholder_foundation_files(test_directory));

	EXPECT_EXIT(run_program_until_the_window_closes(3), ::testing::ExitedWithCode(0), "");

	std::string trace = read_test_file(startup_trace_file);
	ASSERT_FALSE(trace.empty());
	const char *order[] = {"initialize_environment", "register_zerv_controls", "initialize_error_state",
		"initialize_string_definitions", "initialize_player_statistics", "initialize_mesh",
		"initialize_local_projectiles", "InitUber"};
	int32 previous = NONE;
	for (const char *name : order)
	{
		int32 position = trace_position(trace, name);
		EXPECT_NE(position, NONE) << name << " missing from: " << trace;
		EXPECT_GT(position, previous) << name << " out of order in: " << trace;
		previous = position;
	}

	// A first run: the intro, then the menu, then the closed window's trailer.
	std::string states = read_test_file(startup_states_file);
	char expected[64];
	snprintf(expected, sizeof(expected), "%d %d %d %d ", _game_state_displaying_intro_sequence,
		_game_state_displaying_main_menu, _game_state_displaying_trailer, _game_state_over);
	EXPECT_EQ(states, expected);

	std::string log = read_test_file(ERROR_LOG_FILE_NAME);
	while (!log.empty() && (log.back() == '\n' || log.back() == '\r')) log.pop_back();
	std::string last_line = log.substr(log.find_last_of("\r\n") == std::string::npos ? 0 : log.find_last_of("\r\n") + 1);
	EXPECT_EQ(last_line, "Closing Zerv.") << log;
}

TEST(StartUpCommandLine, MeshArgumentEntersTheGameAtOnce)
{
	initialize_main_globals();
	parse_command_line("zerv -mesh l2 -other");
	EXPECT_TRUE(main_globals.flags & _enter_game_immediately_flag);
	EXPECT_EQ(main_globals.enter_game_immediately_mesh, string_to_tag("l2"));

	initialize_main_globals();
	parse_command_line("zerv -meshy l2 - mesh");
	EXPECT_FALSE(main_globals.flags & _enter_game_immediately_flag);
}

}
