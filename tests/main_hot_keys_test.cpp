// Hot keys handled before the dialogs and the game, and the frame limiter.
#include "main_test_fixture.h"

#include "data.h"
#include "players.h"
#include "zerv.h"

namespace {

class HotKeys : public running_game_test
{
protected:
	void press(int16 key_code, uint16 modifiers = 0)
	{
		action_data action = key_action(key_code, modifiers);
		process_action(&action);
	}

	int32 sound_volume_calls(void)
	{
		return least_call_count(&get_sound_manager_test_hooks()->calls, "adjust_sound_volume");
	}

	int64 last_sound_volume_adjustment(void)
	{
		return least_call_argument(&get_sound_manager_test_hooks()->calls, "adjust_sound_volume", 0);
	}
};

TEST_F(HotKeys, SpeedKeysChangeSpeedExceptOnTheTrainingMap)
{
	press(_key_f2);
	EXPECT_EQ(game->speed, _game_speed_two_times);
	press(_key_f1);
	EXPECT_EQ(game->speed, _game_speed_normal);
	press(_key_f2, _shift_down);
	EXPECT_EQ(game->speed, _game_speed_sixty_four_times);

	main_globals.new_game_data.parameters.scenario_tag = TRAINING_MAP_MESH_TAG;
	game->speed = _game_speed_normal;
	press(_key_f2);
	press(_key_f1, _shift_down);
	EXPECT_EQ(game->speed, _game_speed_normal);
}

TEST_F(HotKeys, VolumeKeysWithAndWithoutShift)
{
	const struct
	{
		int16 key;
		uint16 modifiers;
		int16 adjustment;
	} rows[] = {
		{_key_f3, 0, _adjust_sound_volume_down},
		{_key_f3, _shift_down, _adjust_sound_volume_mute},
		{_key_f4, 0, _adjust_sound_volume_up},
		{_key_f4, _shift_down, _adjust_sound_volume_maximum},
	};
	for (const auto &row : rows)
	{
		int32 before = sound_volume_calls();
		press(row.key, row.modifiers);
		EXPECT_EQ(sound_volume_calls(), before + 1) << row.key;
		EXPECT_EQ(last_sound_volume_adjustment(), row.adjustment) << row.key << " " << row.modifiers;
	}

	// The volume keys work outside a game too.
	enter_state(_game_state_displaying_main_menu);
	press(_key_f4);
	EXPECT_EQ(last_sound_volume_adjustment(), _adjust_sound_volume_up);
}

TEST_F(HotKeys, OnlyTheSpeedAndVolumeKeysRepeat)
{
	int32 before = sound_volume_calls();
	press(_key_f3, _key_repeat);
	press(_key_f4, _key_repeat);
	EXPECT_EQ(sound_volume_calls(), before + 2);
	press(_key_f2, _key_repeat);
	EXPECT_EQ(game->speed, _game_speed_two_times);

	press(_key_f5, _shift_down | _key_repeat);
	EXPECT_FALSE(main_module.display_limits);
	press(_key_f5, _shift_down);
	EXPECT_TRUE(main_module.display_limits);

	press(_key_f10, _key_repeat);
	EXPECT_FALSE(main_module.highlight_all_units);
	press(_key_f10);
	EXPECT_TRUE(main_module.highlight_all_units);
}

TEST_F(HotKeys, ControlKeypadEndsOnlyLocalGames)
{
	press(_keypad_minus);
	EXPECT_FALSE(game_flags_test(_game_is_over_flag));

	press(_keypad_plus, _control_down);
	EXPECT_TRUE(game_flags_test(_game_is_over_flag));
	EXPECT_EQ(game->winning_team_index, 0);
	EXPECT_EQ(game->endgame_state, _endgame_state_victory);

	// Another start, lost this time.
	enter_state(_game_state_running);
	press(_keypad_minus, _control_down);
	EXPECT_TRUE(game_flags_test(_game_is_over_flag));
	EXPECT_EQ(game->winning_team_index, 1);
	EXPECT_EQ(game->endgame_state, _endgame_state_defeat);

	main_globals.new_game_data.parameters.type = _game_type_demo;
	enter_state(_game_state_running);
	ASSERT_EQ(game->type, _game_type_demo);
	press(_keypad_minus, _control_down);
	press(_keypad_plus, _control_down);
	EXPECT_FALSE(game_flags_test(_game_is_over_flag));
}

TEST_F(HotKeys, ControlF5TogglesTheScriptDebugLog)
{
	boolean before = get_map_action_debug_status();
	press(_key_f5, _control_down);
	EXPECT_NE(get_map_action_debug_status(), before);
	press(_key_f12, _control_down);
	EXPECT_EQ(get_map_action_debug_status(), before);
}

TEST_F(HotKeys, CameraTrackingKeyOnlyForSpectators)
{
	uint32 flags = get_camera_control_flags();
	press(_key_f5);
	EXPECT_EQ(get_camera_control_flags(), flags);

	game->type = _game_type_replay;
	uint32 preferences = get_game_preferences()->flags;
	press(_key_f5);
	EXPECT_EQ(get_camera_control_flags(), flags ^ _camera_controlled_by_object_tracking_flag);
	EXPECT_EQ(get_game_preferences()->flags, preferences ^ _game_pref_enabled_camera_tracking_by_default_flag);

	// A networked player whose team is out watches too.
	game->type = _game_type_networked;
	if (team_array.count == NONE) initialize_data_for_new_map(&team_array);
	player_globals.local_player_team_index = new_datum(&team_array);
	team_data *team = get_team_data(player_globals.local_player_team_index);
	ASSERT_NE(team, nullptr);
	flags = get_camera_control_flags();
	press(_key_f5);
	EXPECT_EQ(get_camera_control_flags(), flags);
	team->flags |= _team_has_been_eliminated_flag;
	press(_key_f5);
	EXPECT_EQ(get_camera_control_flags(), flags ^ _camera_controlled_by_object_tracking_flag);
}

TEST_F(HotKeys, InventoryKeyRestoresTheBarItHid)
{
	get_input_definition()->flags |= _input_definition_inventory_key_flag;
	// A bar counts as shown only while its dialog exists.
	get_interface_test_hooks()->control_bar_dialog = new_dialog(TAG("cbar"), NULL, NULL, 0, 0);
	set_control_bar_visibility(_control_bar_shown);

	action_data action = key_action(NONE);
	set_action_flag(&action, _selection_inventory_bit, TRUE);
	const least_call_log *calls = &get_interface_test_hooks()->calls;

	process_action(&action);
	EXPECT_EQ(least_call_argument(calls, "set_control_bar_visibility", 0), _control_bar_inventory);
	process_action(&action);
	EXPECT_EQ(least_call_argument(calls, "set_control_bar_visibility", 0), _control_bar_shown);

	set_control_bar_visibility(_control_bar_hidden);
	process_action(&action);
	process_action(&action);
	EXPECT_EQ(least_call_argument(calls, "set_control_bar_visibility", 0), _control_bar_hidden);

	// Not with shift held, and not without the key set's permission.
	int32 count = least_call_count(calls, "set_control_bar_visibility");
	action.modifiers = _shift_down;
	process_action(&action);
	action.modifiers = 0;
	get_input_definition()->flags &= ~_input_definition_inventory_key_flag;
	process_action(&action);
	EXPECT_EQ(least_call_count(calls, "set_control_bar_visibility"), count);
	get_interface_test_hooks()->control_bar_dialog = NULL;
}

TEST_F(HotKeys, HandledKeysStopBeforeTheDialogs)
{
	const least_call_log *calls = &get_dialogs_test_hooks()->calls;
	int32 before = least_call_count(calls, "dialogs_handled_action");
	press(_key_tab, _command_down);
	press(_key_f11, _command_down);
	press(_key_g, _control_down);
	EXPECT_EQ(least_call_count(calls, "dialogs_handled_action"), before);

	press(_key_g);
	EXPECT_EQ(least_call_count(calls, "dialogs_handled_action"), before + 1);
	EXPECT_GE(least_call_count(&get_selection_test_hooks()->calls, "update_selection"), 1);
}

class FrameLimiter : public main_program_test
{
protected:
	void SetUp() override
	{
		main_program_test::SetUp();
		if (HasFatalFailure()) return;
		test_set_manual_clock(true);
		test_set_manual_clock_time(10000);
	}

	// Frames until a second of manual time has passed.
	int32 frames_in_one_second(void)
	{
		limit_framerate(); // starts a period
		uint32 start = test_manual_clock_time();
		int32 frames = 0;
		while (test_manual_clock_time() - start < 1000 && frames < 10000)
		{
			limit_framerate();
			frames += 1;
		}
		return frames;
	}
};

TEST_F(FrameLimiter, SixtyFramesASecondOutsidePlay)
{
	game->state = _game_state_displaying_intro_sequence;
	EXPECT_NEAR(frames_in_one_second(), 60, 1);

	// A menu without a game behind it is not play either.
	game->state = _game_state_displaying_main_menu;
	game_flags_store(_game_is_disabled_flag);
	active_screen.prefs.max_fps = 200;
	EXPECT_NEAR(frames_in_one_second(), 60, 1);
}

TEST_F(FrameLimiter, PlayFollowsTheScreenPreference)
{
	game->state = _game_state_running;
	game_flags_store(0);
	active_screen.prefs.max_fps = 30;
	EXPECT_NEAR(frames_in_one_second(), 30, 1);

	// Below 1 means no limit: the limiter returns at once.
	active_screen.prefs.max_fps = -90;
	uint32 start = test_manual_clock_time();
	for (int32 i = 0; i < 500; ++i) EXPECT_FALSE(limit_framerate());
	EXPECT_EQ(test_manual_clock_time(), start);
	active_screen.prefs.max_fps = 0;
	EXPECT_FALSE(limit_framerate());
	EXPECT_EQ(test_manual_clock_time(), start);
}

TEST_F(FrameLimiter, ReportsWhetherItSlept)
{
	game->state = _game_state_over;
	limit_framerate();
	// The next frame is due 1/60 s later: the call waits for it.
	EXPECT_TRUE(limit_framerate());
	test_advance_manual_clock(40);
	EXPECT_FALSE(limit_framerate());
}

}
