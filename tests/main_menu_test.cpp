// The main menu and the single-player entry.
#include "main_test_fixture.h"

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "definitions.h"
#include "mesh.h"
#include "recording.h"
#include "CoreLibrary/zerv/string_definitions.h"
#include "tag_files/tag_files.h"
#include "zerv.h"

namespace {

class MainMenu : public main_program_test
{
protected:
	fixed_fraction button_transparency(int16 item)
	{
		const dialog_data *dialog = find_open_dialog(MAIN_MENU_DIALOG_TAG_640_480);
		if (!dialog) return 12345;
		const dialog_item_state *state = find_dialog_item_state(dialog, item);
		return state ? state->transparency : 12345;
	}

	void idle_menu(int32 times)
	{
		for (int32 i = 0; i < times; ++i) main_menu_idle();
	}

	void move_mouse(int16 x, int16 y)
	{
		platform_input_event event;
		memset(&event, 0, sizeof(event));
		event.type = _input_event_mouse_motion;
		event.key_code = NONE;
		event.ascii_code = NONE;
		event.x = x;
		event.y = y;
		queue_input_event_if_necessary(&event);
	}
};

const int16 all_buttons[] = {iNEW_GAME, iNETWORK_GAME, iCONTINUE_GAME, iREPLAY_GAME, iTRAINING_MAP, iREPLAY_INTRO,
	iPREFERENCES, iQUIT};

bool item_enabled(int16 item)
{
	int16 flags = dialog_item_flags(MAIN_MENU_DIALOG_TAG_640_480, item);
	return flags != NONE && (flags & _dialog_item_enabled_flag);
}

TEST_F(MainMenu, ButtonsFollowWhatIsAvailable)
{
	// Nothing saved, no networking, no intro movie.
	enter_state(_game_state_displaying_main_menu);
	EXPECT_TRUE(item_enabled(iNEW_GAME));
	EXPECT_FALSE(item_enabled(iCONTINUE_GAME));
	EXPECT_FALSE(item_enabled(iNETWORK_GAME));
	EXPECT_FALSE(item_enabled(iREPLAY_GAME));
	EXPECT_TRUE(item_enabled(iTRAINING_MAP));
	EXPECT_FALSE(item_enabled(iREPLAY_INTRO));
	// Its screens open nothing yet.
	EXPECT_FALSE(item_enabled(iPREFERENCES));
	EXPECT_TRUE(item_enabled(iQUIT));

	get_zerv_networking_test_hooks()->networking_available = TRUE;
	get_cutscenes_test_hooks()->cutscenes_found = TRUE;
	enter_state(_game_state_displaying_main_menu);
	EXPECT_TRUE(item_enabled(iNETWORK_GAME));
	EXPECT_TRUE(item_enabled(iREPLAY_INTRO));

	// A network-only install offers no single-player game; lobby-only and
	// local-only together offer no networking at all.
	main_globals.flags |= _network_game_only_flag | _local_network_only_flag | _metaserver_only_flag;
	enter_state(_game_state_displaying_main_menu);
	EXPECT_FALSE(item_enabled(iNEW_GAME));
	EXPECT_FALSE(item_enabled(iNETWORK_GAME));
	EXPECT_TRUE(item_enabled(iTRAINING_MAP));
}

TEST_F(MainMenu, ShowsTheBuildTextAndTheButtonPictures)
{
	enter_state(_game_state_displaying_main_menu);
	dialog_data *dialog = find_open_dialog(MAIN_MENU_DIALOG_TAG_640_480);
	ASSERT_NE(dialog, nullptr);

	const dialog_item_state *text = find_dialog_item_state(dialog, iBUILD_TEXT);
	ASSERT_NE(text, nullptr);
	EXPECT_STREQ(text->text, "|iv1.7.2 Linux - |p Build 377");
	EXPECT_EQ(text->bounds.left, 1);
	EXPECT_EQ(text->bounds.top, 1);
	EXPECT_EQ(text->bounds.right, 480);
	EXPECT_EQ(text->bounds.bottom, 18);
	EXPECT_EQ(dialog->cancel_item, iQUIT);

	const int16 sequences[][2] = {{iCONTINUE_GAME, 1}, {iNETWORK_GAME, 2}, {iNEW_GAME, 0}, {iREPLAY_GAME, 3},
		{iTRAINING_MAP, 4}, {iREPLAY_INTRO, 5}, {iPREFERENCES, 6}, {iQUIT, 7}};
	for (const auto &row : sequences)
	{
		const dialog_item_state *button = find_dialog_item_state(dialog, row[0]);
		ASSERT_NE(button, nullptr) << row[0];
		EXPECT_EQ(button->sequence_index, row[1]) << row[0];
		EXPECT_EQ(button->transparency, 0) << row[0];
	}
}

TEST_F(MainMenu, ButtonsFadeAfterIdleTicksUntilTheMouseMoves)
{
	get_game_preferences()->flags &= ~_game_pref_static_main_menu_flag;
	enter_state(_game_state_displaying_main_menu);

	idle_menu(300);
	EXPECT_EQ(button_transparency(iNEW_GAME), 0);
	idle_menu(75);
	EXPECT_EQ(button_transparency(iNEW_GAME), 32768);
	EXPECT_EQ(button_transparency(iQUIT), 32768);
	idle_menu(74);
	EXPECT_EQ(button_transparency(iNEW_GAME), 149 * 65536 / 150);
	idle_menu(1);
	EXPECT_EQ(button_transparency(iNEW_GAME), 65535);
	idle_menu(100);
	EXPECT_EQ(button_transparency(iNEW_GAME), 65535);

	move_mouse(100, 120);
	idle_menu(1);
	EXPECT_EQ(button_transparency(iNEW_GAME), 0);
	EXPECT_EQ(main_globals.ticks, 0);
	idle_menu(375);
	EXPECT_EQ(button_transparency(iNEW_GAME), 32768);
}

TEST_F(MainMenu, MusicStartsUnlessTheSoundPreferencesDisableIt)
{
	enter_state(_game_state_displaying_main_menu);
	const least_call_log *sound = &get_sound_manager_test_hooks()->calls;
	const int32 before = least_call_count(sound, "start_main_menu_music");
	idle_menu(2);
	EXPECT_EQ(least_call_count(sound, "start_main_menu_music"), before + 2);
	get_sound_manager_test_hooks()->sound_preferences_flags = _sound_preferences_disable_menu_music_flag;
	idle_menu(2);
	EXPECT_EQ(least_call_count(sound, "start_main_menu_music"), before + 2);
}

TEST_F(MainMenu, StaticMenuNeverFades)
{
	get_game_preferences()->flags |= _game_pref_static_main_menu_flag;
	enter_state(_game_state_displaying_main_menu);
	idle_menu(1000);
	for (int16 item : all_buttons) EXPECT_EQ(button_transparency(item), 0) << item;
	EXPECT_FALSE(main_module.main_menu_demo_running);
}

TEST_F(MainMenu, NetworkFailureIsReportedOnceAndCanBeSilenced)
{
	get_zerv_networking_test_hooks()->networking_available = FALSE;
	strcpy(get_zerv_networking_test_hooks()->unavailable_reason, "no network here");
	get_game_preferences()->flags |= _game_pref_warn_on_network_failure_flag;

	// Item 5 does not close it; item 2 does and clears the warning.
	inject_modal_dialog_answer(5);
	inject_modal_dialog_answer(2);
	enter_state(_game_state_displaying_main_menu);
	EXPECT_EQ(get_dialogs_test_hooks()->modal_answers_used, 2);
	EXPECT_FALSE(get_game_preferences()->flags & _game_pref_warn_on_network_failure_flag);

	// Silenced: no more dialog.
	enter_state(_game_state_displaying_main_menu);
	EXPECT_EQ(get_dialogs_test_hooks()->modal_answers_used, 2);
	EXPECT_EQ(least_call_count(&get_dialogs_test_hooks()->calls, "modal_dialog"), 2);
}

TEST_F(MainMenu, FailedNetworkDialogDoesNotHangTheMenu)
{
	get_zerv_networking_test_hooks()->networking_available = FALSE;
	get_game_preferences()->flags |= _game_pref_warn_on_network_failure_flag;

	// No answer at all: the dialog reports -1 and the menu opens anyway.
	enter_state(_game_state_displaying_main_menu);
	EXPECT_EQ(least_call_count(&get_dialogs_test_hooks()->calls, "modal_dialog"), 1);
	EXPECT_TRUE(get_game_preferences()->flags & _game_pref_warn_on_network_failure_flag);
	EXPECT_NE(find_open_dialog(MAIN_MENU_DIALOG_TAG_640_480), nullptr);
	EXPECT_EQ(find_open_dialog(FAILURE_LOADING_NETWORKING_DIALOG_TAG), nullptr);
}

TEST_F(MainMenu, MenuRunsWithoutAGameBehindIt)
{
	enter_state(_game_state_displaying_main_menu);
	EXPECT_TRUE(game_flags_test(_game_is_disabled_flag));
	EXPECT_TRUE(game->loaded);
	EXPECT_EQ(game_local_time_get(), 0);
	EXPECT_STREQ(least_call_text(&get_zerv_networking_test_hooks()->calls, "add_chat_to_back_log"), "Game Started");

	// Disabled: frames neither tick nor draw the world.
	idle_zerv(5, FALSE);
	EXPECT_EQ(game->game_time, 0);
	EXPECT_EQ(get_render_test_hooks()->frames_rendered, 0);
}

TEST_F(MainMenu, ButtonHandlersRequestTheirStates)
{
	enter_state(_game_state_displaying_main_menu);
	inject_dialog_item_hit(MAIN_MENU_DIALOG_TAG_640_480, iREPLAY_INTRO);
	idle_dialogs();
	EXPECT_EQ(main_globals.desired_state, _game_state_displaying_intro_sequence);

	main_globals.desired_state = NONE;
	inject_modal_dialog_answer(iNEW_GAME_CANCEL);
	inject_dialog_item_hit(MAIN_MENU_DIALOG_TAG_640_480, iNEW_GAME);
	idle_dialogs();
	EXPECT_EQ(main_globals.desired_state, NONE);

	inject_dialog_item_hit(MAIN_MENU_DIALOG_TAG_640_480, iTRAINING_MAP);
	idle_dialogs();
	EXPECT_EQ(main_globals.desired_state, _game_state_displaying_mesh_prologue);
	EXPECT_EQ(main_globals.new_game_data.parameters.scenario_tag, TRAINING_MAP_MESH_TAG);
}

// New Game from the menu with no game behind it, as a player meets it: the
// dialog finds or leaves out what it asks for, and the First Level starts.
TEST_F(MainMenu, NewGameFromTheStaticMenuStartsTheFirstLevelAndLogsNoError)
{
	get_game_preferences()->flags |= _game_pref_static_main_menu_flag;
	enter_state(_game_state_displaying_main_menu);
	ASSERT_TRUE(game_flags_test(_game_is_disabled_flag));
	inject_dialog_item_hit(MAIN_MENU_DIALOG_TAG_640_480, iNEW_GAME);
	idle_dialogs();
	EXPECT_EQ(get_error_code(), _error_none);
	ASSERT_EQ(main_globals.desired_state, _game_state_displaying_mesh_prologue);

	enter_state(_game_state_displaying_mesh_prologue);
	EXPECT_EQ(game->state, _game_state_running);
	EXPECT_FALSE(game_flags_test(_game_is_disabled_flag));
	EXPECT_EQ(main_globals.new_game_data.parameters.scenario_tag, TAG("l1  "));
	const std::string log = log_text();
	EXPECT_NE(log.find("Starting mesh \"First Level\"..."), std::string::npos) << log;
	EXPECT_EQ(log.find("Error:"), std::string::npos) << log;
}

TEST_F(MainMenu, NetworkGameSetupAnswersChooseTheState)
{
	enter_state(_game_state_displaying_main_menu);
	struct
	{
		int16 answer;
		int16 state;
		int16 desired;
	} rows[] = {
		{_setup_network_game_success, _game_state_configuring_netgame, _game_state_running},
		{_setup_network_game_quit_immediately, _game_state_displaying_main_menu, _game_state_displaying_trailer},
		{_setup_network_game_failure_need_cleanup, _game_state_configuring_netgame, _game_state_displaying_main_menu},
		{_setup_network_game_failure, _game_state_displaying_main_menu, NONE},
	};
	for (const auto &row : rows)
	{
		game->state = _game_state_displaying_main_menu;
		main_globals.desired_state = NONE;
		get_zerv_networking_test_hooks()->setup_network_game_answer = row.answer;
		handle_network_game();
		EXPECT_EQ(game->state, row.state) << row.answer;
		EXPECT_EQ(main_globals.desired_state, row.desired) << row.answer;
	}
}

class SinglePlayer : public main_program_test
{
};

void expect_player(const new_player_data &player, const char *name, int16 type, int16 team, const rgb_color &color)
{
	EXPECT_STREQ(player.appearance.name, name);
	EXPECT_EQ(player.type, type) << name;
	EXPECT_EQ(player.team_index, team) << name;
	EXPECT_EQ(player.flags, 0) << name;
	EXPECT_EQ(player.team_captain_identifier, static_cast<uint32>(NONE)) << name;
	EXPECT_EQ(player.appearance.primary_color.red, color.red) << name;
	EXPECT_EQ(player.appearance.primary_color.green, color.green) << name;
	EXPECT_EQ(player.appearance.primary_color.blue, color.blue) << name;
	EXPECT_EQ(memcmp(&player.appearance.primary_color, &player.appearance.secondary_color, sizeof(rgb_color)), 0)
		<< name;
}

TEST_F(SinglePlayer, TrainingMapSetup)
{
	get_game_preferences()->difficulty_level = 3;
	new_game_data *setup = &main_globals.new_game_data;
	setup->parameters.option_flags = _game_option_restore_veterans_flag | _game_option_uses_anticlump_flag;
	setup->parameters.plugin_count = 2;

	ASSERT_TRUE(setup_single_player_game(TRAINING_MAP_MESH_TAG));
	const new_game_parameter_data &parameters = setup->parameters;
	EXPECT_EQ(parameters.type, _game_type_local);
	EXPECT_EQ(parameters.scenario_tag, TRAINING_MAP_MESH_TAG);
	EXPECT_EQ(parameters.scoring, _game_scoring_custom);
	EXPECT_EQ(parameters.time_limit, 0);
	EXPECT_EQ(parameters.option_flags & 0xC408Cu, 0xC408Cu);
	EXPECT_TRUE(parameters.option_flags & _game_option_uses_anticlump_flag);
	EXPECT_FALSE(parameters.option_flags & _game_option_restore_veterans_flag);
	EXPECT_FALSE(parameters.option_flags & _game_option_continuation_flag);
	EXPECT_EQ(parameters.plugin_count, 0);
	EXPECT_EQ(parameters.difficulty_level, 3);
	EXPECT_EQ(parameters.version, 2172);
	EXPECT_EQ(GET_GAME_OPTIONS_PATCH_LEVEL(parameters.option_flags), 5);

	EXPECT_EQ(setup->local_player_index, 0);
	ASSERT_EQ(setup->player_count, 3);
	expect_player(setup->players[0], "Light", _player_is_human, 0, {65535, 65535, 65535, 0});
	EXPECT_EQ(setup->players[0].version, 2172);
	EXPECT_EQ(setup->players[0].build_number, 377);
	expect_player(setup->players[1], "Dark", _player_is_computer, 1, {16384, 16384, 16384, 0});
	expect_player(setup->players[2], "Neutral", _player_is_computer, 2, {16384, 0, 0, 0});
}

TEST_F(SinglePlayer, QelIsCarriedBeforeAnticlump)
{
	new_game_data *setup = &main_globals.new_game_data;
	setup->parameters.option_flags = _game_option_uses_qel_flag | _game_option_uses_anticlump_flag;
	ASSERT_TRUE(setup_single_player_game(TRAINING_MAP_MESH_TAG));
	EXPECT_TRUE(setup->parameters.option_flags & _game_option_uses_qel_flag);
	EXPECT_FALSE(setup->parameters.option_flags & _game_option_uses_anticlump_flag);

	setup->parameters.option_flags = 0;
	ASSERT_TRUE(setup_single_player_game(TRAINING_MAP_MESH_TAG));
	EXPECT_FALSE(setup->parameters.option_flags & (_game_option_uses_qel_flag | _game_option_uses_anticlump_flag));
}

TEST_F(SinglePlayer, CampaignMapsContinueWithTheirPlugins)
{
	new_game_data *setup = &main_globals.new_game_data;
	setup->parameters.plugin_count = 1;
	memset(setup->parameters.plugin_data, 0xAB, sizeof(setup->parameters.plugin_data));

	change_single_player_map(TAG("l2  "), FALSE);
	EXPECT_TRUE(setup->parameters.option_flags & _game_option_continuation_flag);
	EXPECT_EQ(setup->parameters.plugin_count, 1);
	EXPECT_EQ(setup->parameters.plugin_data[511], 0xAB);
	EXPECT_EQ(setup->parameters.scenario_tag, TAG("l2  "));
	EXPECT_EQ(main_globals.desired_state, _game_state_displaying_mesh_prologue);

	change_single_player_map(TAG("l3  "), TRUE);
	EXPECT_TRUE(setup->parameters.option_flags & _game_option_restore_veterans_flag);
	EXPECT_EQ(main_globals.desired_state, _game_state_running);

	// Restarting replays the map with its veterans; the flag never survives
	// into the next setup by itself.
	restart_game();
	EXPECT_EQ(setup->parameters.scenario_tag, TAG("l3  "));
	EXPECT_TRUE(setup->parameters.option_flags & _game_option_restore_veterans_flag);
	change_single_player_map(TAG("l4  "), FALSE);
	EXPECT_FALSE(setup->parameters.option_flags & _game_option_restore_veterans_flag);
}

TEST_F(SinglePlayer, NewGameDialogCancelledStartsNothing)
{
	inject_modal_dialog_answer(iNEW_GAME_CANCEL);
	EXPECT_FALSE(setup_single_player_game(static_cast<file_tag>(NONE)));
	EXPECT_EQ(find_open_dialog(NEW_GAME_DIALOG_TAG), nullptr);

	// Two tabs; without plugins only the second is off.
	const least_call_log *calls = &get_dialogs_test_hooks()->calls;
	EXPECT_STREQ(least_call_text(calls, "set_tab_control_names"), "Difficulty\rPlugins");
	EXPECT_EQ(least_call_argument(calls, "set_tab_control_tab_enabled", 2), 1);
	EXPECT_EQ(least_call_argument(calls, "set_tab_control_tab_enabled", 3), FALSE);
	EXPECT_EQ(least_call_argument(calls, "set_tab_control_selected_tab", 2), 0);
}

// New Game asked for before any menu has set up a map's context: the dialog
// stores no error that would fail the start, leaves the strings as it found
// them, and the First Level starts.
TEST_F(SinglePlayer, NewGameWithNoMapBehindItStartsTheFirstLevel)
{
	ASSERT_FALSE(definition_group_is_set_up(STRING_LIST_DEFINITION_GROUP_TAG));
	ASSERT_TRUE(setup_single_player_game(static_cast<file_tag>(NONE)));
	ASSERT_EQ(get_error_code(), _error_none) << log_text();
	EXPECT_FALSE(definition_group_is_set_up(STRING_LIST_DEFINITION_GROUP_TAG));
	// The difficulty levels are listed by their names.
	EXPECT_STRNE(least_call_text(&get_dialogs_test_hooks()->calls, "add_string_to_list"), "");

	enter_state(_game_state_displaying_mesh_prologue);
	EXPECT_EQ(game->state, _game_state_running);
	EXPECT_FALSE(game_flags_test(_game_is_disabled_flag));
	EXPECT_NE(log_text().find("Starting mesh \"First Level\"..."), std::string::npos);
}

// A player who meets the dialog takes what it offers: no injected answer
// accepts as an injected Accept does.
TEST_F(SinglePlayer, NewGameDialogAcceptedBuildsALocalSetup)
{
	for (const bool injected : {true, false})
	{
		SCOPED_TRACE(injected ? "injected Accept" : "no answer");
		memset(&main_globals.new_game_data, 0, sizeof(main_globals.new_game_data));
		get_game_preferences()->difficulty_level = 1;
		if (injected) inject_modal_dialog_answer(iNEW_GAME_ACCEPT);
		ASSERT_TRUE(setup_single_player_game(static_cast<file_tag>(NONE)));
		EXPECT_EQ(find_open_dialog(NEW_GAME_DIALOG_TAG), nullptr);
		const new_game_parameter_data &parameters = main_globals.new_game_data.parameters;
		EXPECT_EQ(parameters.type, _game_type_local);
		EXPECT_EQ(parameters.scenario_tag, TAG("l1  "));
		EXPECT_EQ(parameters.version, 2172);
		EXPECT_TRUE(parameters.option_flags & _game_option_version_modifier_flag);
		EXPECT_EQ(parameters.option_flags & 0xC408Cu, 0xC408Cu);
		EXPECT_EQ(parameters.difficulty_level, 1);
		EXPECT_EQ(main_globals.new_game_data.player_count, 3);
	}
}

// A first map that requires a tagset no plugin gives: the demo map's header
// and data under the first map's tag, as a local tag.
void require_missing_tagset_on_the_first_map(void)
{
	const int32 demo = tag_file_open(MESH_DEFINITION_GROUP_TAG, TAG("demo"));
	ASSERT_NE(demo, NONE);
	std::vector<uint8> data(static_cast<size_t>(tag_file_get_header_data_size(demo)));
	ASSERT_TRUE(tag_file_read(demo, 0, static_cast<int32>(data.size()), data.data()));
	data[offsetof(mesh_header, flags)] |= 0x80; // _mesh_requires_plugin_flag, stored big-endian
	strcpy(reinterpret_cast<char *>(&data[offsetof(mesh_header, plugin_name)]), "Absent Tagset");
	ASSERT_NE(tag_file_new_with_subgroup_tag(MESH_DEFINITION_GROUP_TAG, "first", TAG("l1  "), MESH_VERSION_NUMBER,
		data.data(), static_cast<int32>(data.size())), NONE);
}

TEST_F(SinglePlayer, MapRequiringAMissingTagsetAsksBeforeStarting)
{
	require_missing_tagset_on_the_first_map();
	get_metaserver_test_hooks()->query_answer = FALSE;
	inject_modal_dialog_answer(iNEW_GAME_ACCEPT);
	inject_modal_dialog_answer(iNEW_GAME_CANCEL);
	EXPECT_FALSE(setup_single_player_game(static_cast<file_tag>(NONE)));
	EXPECT_NE(std::string(least_call_text(&get_metaserver_test_hooks()->calls, "metaserver_query_dialog"))
		.find("Missing tagset plugin required: \"Absent Tagset\"."), std::string::npos);

	get_metaserver_test_hooks()->query_answer = TRUE;
	inject_modal_dialog_answer(iNEW_GAME_ACCEPT);
	EXPECT_TRUE(setup_single_player_game(static_cast<file_tag>(NONE)));

	// Unanswered, the refused default is offered once: the dialog loop ends.
	get_metaserver_test_hooks()->query_answer = FALSE;
	const int32 queries = least_call_count(&get_metaserver_test_hooks()->calls, "metaserver_query_dialog");
	EXPECT_FALSE(setup_single_player_game(static_cast<file_tag>(NONE)));
	EXPECT_EQ(least_call_count(&get_metaserver_test_hooks()->calls, "metaserver_query_dialog"), queries + 1);
	EXPECT_EQ(find_open_dialog(NEW_GAME_DIALOG_TAG), nullptr);
}

struct game_over_row
{
	int16 type;
	uint16 flags;
	int16 state;
	const char *log_line;
};

TEST_F(SinglePlayer, GameOverRoutesByGameType)
{
	const game_over_row rows[] = {
		{_game_type_local, 0, _game_state_displaying_mesh_epilogue, nullptr},
		{_game_type_networked, 0, _game_state_displaying_network_endgame, "Quitting networked game..."},
		{_game_type_demo, 0, _game_state_displaying_main_menu, "Quitting demo..."},
		{_game_type_replay, 0, _game_state_displaying_main_menu, "Quitting replay..."},
	};
	for (const game_over_row &row : rows)
	{
		main_globals.desired_state = NONE;
		main_globals.flags = row.flags;
		game->type = row.type;
		zerv_game_is_over();
		EXPECT_EQ(main_globals.desired_state, row.state) << row.type;
		if (row.log_line)
		{
			EXPECT_NE(log_text().find(row.log_line), std::string::npos) << row.log_line;
		}
	}
	EXPECT_GE(least_call_count(&get_screens_test_hooks()->calls, "close_postgame_carnage_report_dialog"), 4);

	// A local game ended from elsewhere returns to the menu, or quits when it
	// was entered from the command line.
	game->type = _game_type_local;
	main_globals.flags = 0;
	end_game_and_change_state();
	EXPECT_EQ(main_globals.desired_state, _game_state_displaying_main_menu);
	EXPECT_NE(log_text().find("Quitting single player game..."), std::string::npos);
	main_globals.flags = _enter_game_immediately_flag;
	end_game_and_change_state();
	EXPECT_EQ(main_globals.desired_state, _game_state_displaying_trailer);
}

}
