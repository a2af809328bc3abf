// Fixture of the main program's tests: the headless harness (a game core in
// a fresh working directory) with the main program's record at its start
// values and the services it calls at rest.
#ifndef ZERV_MAIN_TEST_FIXTURE_H
#define ZERV_MAIN_TEST_FIXTURE_H

#include <gtest/gtest.h>

#include <string>

#include "support/zerv_harness.h"
#include "support/test_directory.h"

#include "main.h"
#include "main_globals.h"
#include "game_preferences.h"
#include "game_statistics.h"
#include "postgame.h"
#include "mesh.h"
#include "detail_maps.h"
#include "local_projectiles.h"
#include "interface.h"
#include "observer.h"
#include "overhead_map.h"
#include "screen.h"
#include "render/render.h"
#include "selection.h"
#include "input/actions.h"
#include "CoreLibrary/input/sdl_input.h"
#include "console/console.h"
#include "bitmap_dialogs/dialogs.h"
#include "bitmap_dialogs/screens.h"
#include "cutscenes/cutscenes.h"
#include "metaserver/metaserver.h"
#include "sound/sound_manager.h"
#include "zerv_networking/zerv_networking.h"
#include "map_actions/map_actions.h"
#include "CoreLibrary/cseries/test_hooks.h"
#include "CoreLibrary/zerv/error_manager.h"

class main_program_test : public zerv_harness_fixture
{
protected:
	void SetUp() override
	{
		zerv_harness_fixture::SetUp();
		if (HasFatalFailure()) return;

		close_all_dialogs();
		reset_main_test_hooks();
		reset_dialogs_test_hooks();
		reset_screens_test_hooks();
		reset_cutscenes_test_hooks();
		reset_console_test_hooks();
		reset_interface_test_hooks();
		reset_observer_test_hooks();
		reset_overhead_map_test_hooks();
		reset_selection_test_hooks();
		reset_sound_manager_test_hooks();
		reset_zerv_networking_test_hooks();
		reset_metaserver_test_hooks();
		reset_actions_test_hooks();
		reset_sdl_input_test_hooks();
		reset_game_statistics_test_hooks();
		reset_detail_maps_test_hooks();
		reset_local_projectiles_test_hooks();
		get_actions_test_hooks()->no_timer_thread = TRUE;

		// No map is open and no state entered, as after start-up.
		game->state = NONE;
		game_flags_store(_game_is_disabled_flag);
		game->loaded = FALSE;
		preferences_before = *get_game_preferences();
	}

	void TearDown() override
	{
		close_all_dialogs();
		*get_game_preferences() = preferences_before;
		zerv_harness_fixture::TearDown();
	}

	// Enters a state as the main loop would, with whatever it requests next.
	void enter_state(int16 state)
	{
		set_game_state(state);
		while (main_globals.desired_state != NONE)
		{
			int16 next = static_cast<int16>(main_globals.desired_state);
			main_globals.desired_state = NONE;
			change_game_state(next);
		}
	}

	std::string log_text(void)
	{
		fflush(NULL);
		return read_test_file(harness_directory() + "/" ERROR_LOG_FILE_NAME);
	}

	game_preferences preferences_before;
};

// The default battle running, as the menu's start leaves it.
class running_game_test : public main_program_test
{
protected:
	void SetUp() override
	{
		main_program_test::SetUp();
		if (HasFatalFailure()) return;
		harness_default_setup(&main_globals.new_game_data);
		get_zerv_test_hooks()->map_start_answer = 1;
		enter_state(_game_state_running);
		ASSERT_EQ(game->state, _game_state_running);
	}
};

// New Game accepted at this difficulty, as the menu builds it.
inline void accept_new_game(int16 difficulty)
{
	get_game_preferences()->difficulty_level = difficulty;
	inject_modal_dialog_answer(iNEW_GAME_ACCEPT);
	ASSERT_TRUE(setup_single_player_game(static_cast<file_tag>(NONE)));
	// The menu runs its background game behind the dialog; with none here,
	// the dialog's list fills may store an error the next start would fail on.
	reset_error_state();
}

// The test's seed in the accepted game's parameters, in place of the clock's
// the menu takes.
inline void seed_new_game(uint32 seed)
{
	new_game_parameter_data *parameters = &main_globals.new_game_data.parameters;
	parameters->random_seed = seed;
	parameters->initial_team_random_seed = static_cast<uint16>(seed);
}

// The open dialogs drawn into the screen's back buffer, as a frame draws them.
inline void draw_dialogs_into_back_buffer(void)
{
	rectangle2d frame;
	get_game_screen_bounds(&frame);
	bitmap_data *back_buffer = get_render_destination(0, &frame);
	ASSERT_NE(back_buffer, nullptr);
	render_dialogs(back_buffer);
	release_render_destination(back_buffer);
}

inline int16 dialog_item_flags(file_tag dialog_tag, int16 item)
{
	dialog_data *dialog = find_open_dialog(dialog_tag);
	if (!dialog) return NONE;
	const dialog_item_state *state = find_dialog_item_state(dialog, item);
	return state ? static_cast<int16>(state->flags) : static_cast<int16>(NONE);
}

inline action_data key_action(int16 key_code, uint16 modifiers = 0)
{
	action_data action;
	clear_action(&action);
	action.key_code = key_code;
	action.modifiers = modifiers;
	return action;
}

#endif
