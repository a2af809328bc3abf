// The game core: frame arithmetic, time states, synchronisation, versions,
// setup records and the out-of-sync report.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CoreLibrary/cseries/test_hooks.h"
#include "CoreLibrary/zerv/commands.h"
#include "console/console.h"
#include "main_globals.h"
#include "support/test_directory.h"
#include "support/zerv_harness.h"
#include "world.h"
#include "zerv.h"
#include "game_statistics.h"
#include "zerv_networking/zerv_networking.h"

namespace {

class zerv_core : public zerv_harness_fixture
{
protected:
	void SetUp() override
	{
		zerv_harness_fixture::SetUp();
		harness_default_setup(&setup);
	}

	void start(void)
	{
		ASSERT_TRUE(harness_start_map(&setup));
	}

	// Commands are known far ahead, so frames run what the arithmetic allows.
	void give_commands(int32 ticks)
	{
		game->target_time = game->game_time + ticks;
		game->update_state = _game_update_running;
	}

	new_game_data setup;
};

/* ---------- speed, reserve and pause */

using zerv_speed = zerv_core;

TEST_F(zerv_speed, one_sixteenth_needs_sixteen_frames_per_tick)
{
	start();
	game->speed = _game_speed_one_sixteenth;
	give_commands(INITIAL_RESERVE_TIME);

	harness_run_frames(15, 1);
	EXPECT_EQ(game->game_time, 0);
	harness_run_frames(1, 1);
	EXPECT_EQ(game->game_time, 1);
	harness_run_frames(16, 1);
	EXPECT_EQ(game->game_time, 2);
}

TEST_F(zerv_speed, sixty_four_times_limits_frames_to_256_ticks_without_overflow)
{
	start();
	game->speed = _game_speed_sixty_four_times;
	give_commands(1000000);

	update_zerv(INT16_MAX);
	EXPECT_EQ(game->game_time, 256);
	EXPECT_EQ(game->target_time, 1000000 + 256); // the intake has the same limit
}

TEST_F(zerv_speed, local_game_runs_nothing_for_five_frames_then_one_tick)
{
	start();
	for (int32 frame = 1; frame <= 5; ++frame)
	{
		harness_run_frames(1, 1);
		EXPECT_EQ(game->game_time, 0) << "frame " << frame;
	}
	harness_run_frames(1, 1);
	EXPECT_EQ(game->game_time, 1);
	EXPECT_EQ(game->update_state, _game_update_running);
	// The reserve holds: one tick per frame from here.
	harness_run_frames(10, 1);
	EXPECT_EQ(game->game_time, 11);
}

TEST_F(zerv_speed, catching_up_runs_at_most_the_frame_limit)
{
	start();
	give_commands(20);
	update_zerv(1);
	EXPECT_EQ(game->game_time, 4);
}

// Forces one stall per frame at the given local time.
static void stall_once_at(int32 local_time)
{
	game_local_time_set(local_time);
	game->update_state = _game_update_running;
	game->target_time = game->game_time;
	update_zerv(1);
}

TEST_F(zerv_speed, twelve_stalls_within_600_ticks_raise_the_reserve)
{
	start();
	for (int32 i = 0; i < 11; ++i) stall_once_at(10 + i * 50);
	EXPECT_EQ(game->reserve_time, 5);
	stall_once_at(10 + 11 * 50);
	EXPECT_EQ(game->reserve_time, 7);
	EXPECT_EQ(game->stall_count, 0);
}

TEST_F(zerv_speed, stall_sampling_works_after_local_time_passes_16_bits)
{
	start();
	for (int32 i = 0; i < 12; ++i) stall_once_at(40000 + i * 50);
	EXPECT_EQ(game->reserve_time, 7);
}

TEST_F(zerv_speed, stalls_spread_over_more_than_600_ticks_do_not_raise_the_reserve)
{
	start();
	for (int32 i = 0; i < 24; ++i) stall_once_at(100 + i * 100);
	EXPECT_EQ(game->reserve_time, 5);
}

TEST_F(zerv_speed, replays_count_no_stalls)
{
	start();
	game->type = _game_type_replay;
	for (int32 i = 0; i < 20; ++i) stall_once_at(10 + i);
	EXPECT_EQ(game->stall_count, 0);
	EXPECT_EQ(game->reserve_time, 5);
	EXPECT_EQ(game->update_state, _game_update_running);
}

TEST_F(zerv_speed, paused_games_run_no_ticks_but_still_stamp_commands)
{
	start();
	give_commands(50);
	pause_game(TRUE);
	const int32 target = game->target_time;
	service_trace_enable(true);
	harness_run_frames(10, 1);
	EXPECT_EQ(game->game_time, 0);
	EXPECT_EQ(game->target_time, target);
	EXPECT_NE(service_trace_find("dequeue_outgoing_command", 0), NONE) << "the intake step still runs";
	EXPECT_TRUE(game_flags_test(_game_is_paused_flag));

	pause_game(FALSE);
	harness_run_frames(1, 1);
	EXPECT_EQ(game->game_time, 4);
}

TEST_F(zerv_speed, networked_games_ignore_both_pause_calls)
{
	start();
	game->type = _game_type_networked;
	pause_game(TRUE);
	pause_local_time(TRUE);
	EXPECT_FALSE(game_flags_test(_game_is_paused_flag | _game_is_local_time_paused_flag));
}

TEST_F(zerv_speed, paused_local_time_does_not_advance_and_is_not_waited_for)
{
	start();
	pause_local_time(TRUE);
	advance_local_time();
	EXPECT_EQ(game_local_time_get(), 0);
	EXPECT_EQ(wait_local_time(5), 0);
	pause_local_time(FALSE);
	advance_local_time();
	EXPECT_EQ(game_local_time_get(), 1);
}

TEST_F(zerv_speed, waiting_without_a_timer_ends)
{
	start();
	test_set_manual_clock(false);
	EXPECT_EQ(wait_local_time(1), 0);
}

/* ---------- adjust_game_speed */

TEST_F(zerv_speed, local_games_step_between_one_quarter_and_sixty_four_times)
{
	start();
	adjust_game_speed(TRUE, FALSE);
	EXPECT_EQ(game->speed, _game_speed_two_times);
	EXPECT_EQ(get_game_speed(), 512);
	EXPECT_STREQ(get_zerv_test_hooks()->last_popup_text, "2x");

	adjust_game_speed(TRUE, TRUE);
	EXPECT_EQ(game->speed, _game_speed_sixty_four_times);
	const int32 popups = get_zerv_test_hooks()->speed_popup_count;
	adjust_game_speed(TRUE, FALSE);
	EXPECT_EQ(game->speed, _game_speed_sixty_four_times);
	EXPECT_EQ(get_zerv_test_hooks()->speed_popup_count, popups) << "no change, no popup";

	adjust_game_speed(FALSE, TRUE);
	EXPECT_EQ(game->speed, _game_speed_normal);
	for (int32 i = 0; i < 5; ++i) adjust_game_speed(FALSE, FALSE);
	EXPECT_EQ(game->speed, _game_speed_one_quarter);
}

TEST_F(zerv_speed, replays_go_down_to_stopped_and_other_games_not_at_all)
{
	start();
	game->type = _game_type_replay;
	adjust_game_speed(FALSE, TRUE);
	EXPECT_EQ(game->speed, _game_speed_stopped);
	EXPECT_EQ(get_game_speed(), 0);

	game->type = _game_type_networked;
	adjust_game_speed(TRUE, TRUE);
	EXPECT_EQ(game->speed, _game_speed_stopped);
	game->type = _game_type_demo;
	adjust_game_speed(TRUE, FALSE);
	EXPECT_EQ(game->speed, _game_speed_stopped);
}

/* ---------- time states */

using zerv_time_states = zerv_core;

TEST_F(zerv_time_states, countdown_sounds_play_once_each)
{
	start();
	give_commands(1000000);
	game->time_remaining = 9002;
	harness_run_ticks(9002 - 850, 4);
	const zerv_test_hooks_data *hooks = get_zerv_test_hooks();
	ASSERT_EQ(hooks->game_sound_count, 3);
	EXPECT_EQ(hooks->game_sounds[0], 0);
	EXPECT_EQ(hooks->game_sounds[1], 1);
	EXPECT_EQ(hooks->game_sounds[2], 2);
}

TEST_F(zerv_time_states, pregame_turns_into_the_countdown)
{
	setup.parameters.pregame_time_limit = 30;
	start();
	EXPECT_EQ(game->time_state, _game_time_pregame);
	give_commands(INITIAL_RESERVE_TIME);
	service_trace_enable(true);
	harness_run_ticks(30, 1);
	EXPECT_EQ(game->time_state, _game_time_countdown);
	EXPECT_EQ(game->time_remaining, 18000);
	ASSERT_EQ(get_zerv_test_hooks()->game_sound_count, 1);
	EXPECT_EQ(get_zerv_test_hooks()->game_sounds[0], 25);
	EXPECT_NE(service_trace_find("close_unit_trading_dialog", 0), NONE);
	EXPECT_NE(service_trace_find("unmark_monsters_being_traded", 0), NONE);
}

TEST_F(zerv_time_states, units_being_traded_stay_marked_up_to_version_1709)
{
	setup.parameters.pregame_time_limit = 30;
	start();
	game_play_version = 1709;
	give_commands(INITIAL_RESERVE_TIME);
	service_trace_enable(true);
	harness_run_ticks(30, 1);
	EXPECT_EQ(game->time_state, _game_time_countdown);
	EXPECT_EQ(service_trace_find("unmark_monsters_being_traded", 0), NONE);
}

TEST_F(zerv_time_states, a_time_limit_of_zero_never_ends)
{
	setup.parameters.time_limit = 0;
	start();
	EXPECT_EQ(game->time_state, _game_time_no_countdown);
	give_commands(1000000);
	// Past 18,300, where the default limit ends the same game.
	set_maximum_ticks_per_frame(1860);
	harness_run_frames(10, 1860);
	EXPECT_EQ(game->game_time, 18600);
	EXPECT_EQ(game->time_state, _game_time_no_countdown);
	EXPECT_FALSE(game_flags_test(_game_is_over_flag));
	EXPECT_EQ(get_zerv_test_hooks()->game_over_count, 0);
}

TEST_F(zerv_time_states, an_end_never_goes_back)
{
	start();
	end_game(TRUE);
	EXPECT_EQ(game->time_state, _game_time_ending);
	EXPECT_EQ(game->time_remaining, 300);
	EXPECT_EQ(game->endgame_state, _endgame_state_defeat);
	EXPECT_TRUE(game_flags_test(_game_is_over_flag));

	game->time_remaining = 120;
	suspend_end_game(TRUE);
	end_game(TRUE);
	EXPECT_EQ(game->time_state, _game_time_ending);
	EXPECT_EQ(game->time_remaining, 120);
}

TEST_F(zerv_time_states, a_suspended_end_holds_until_released)
{
	// Attrition leaves the suspension to the caller (flag games lift it at each re-ranking).
	setup.parameters.scoring = _game_scoring_attrition;
	start();
	give_commands(1000000);
	suspend_end_game(TRUE);
	end_game(TRUE);
	EXPECT_EQ(game->time_state, _game_time_suspended_ending);
	EXPECT_EQ(game->time_remaining, 1);
	EXPECT_TRUE(game_flags_test(_game_is_ending_flag));
	EXPECT_FALSE(game_flags_test(_game_is_over_flag));

	harness_run_ticks(100, 4);
	EXPECT_EQ(game->time_state, _game_time_suspended_ending);
	EXPECT_EQ(game->time_remaining, 1);

	suspend_end_game(FALSE);
	give_commands(INITIAL_RESERVE_TIME);
	harness_run_ticks(1, 1);
	EXPECT_EQ(game->time_state, _game_time_ending);
	EXPECT_EQ(game->time_remaining, 300);
	EXPECT_EQ(game->endgame_state, _endgame_state_defeat);
}

TEST_F(zerv_time_states, the_version_popup_shows_on_every_frame_before_the_first_tick)
{
	setup.parameters.version = 2152;
	start();
	EXPECT_EQ(game_play_version, 1600);
	harness_run_frames(3, 1); // stalled: no commands, no tick
	EXPECT_EQ(game->game_time, 0);
	EXPECT_EQ(get_zerv_test_hooks()->version_popup_count, 3);
	give_commands(INITIAL_RESERVE_TIME);
	harness_run_frames(8, 1); // the first of these runs the first tick
	EXPECT_GT(game->game_time, 0);
	EXPECT_EQ(get_zerv_test_hooks()->version_popup_count, 4);
	EXPECT_STREQ(get_console_test_hooks()->popup_title, "Using 1.6.0 gameplay");
}

TEST_F(zerv_time_states, films_name_their_gameplay_and_the_current_one_shows_nothing)
{
	start();
	harness_run_frames(3, 1);
	EXPECT_EQ(get_zerv_test_hooks()->version_popup_count, 0);

	harness_end_map();
	setup.parameters.type = _game_type_replay;
	setup.parameters.version = 2171;
	setup.parameters.option_flags &= ~_game_option_version_modifier_flag;
	start();
	harness_run_frames(1, 1);
	EXPECT_EQ(get_zerv_test_hooks()->version_popup_count, 1);
	EXPECT_STREQ(get_console_test_hooks()->popup_title, "Film uses 1.7.1 BETA gameplay");
}

TEST_F(zerv_time_states, a_new_map_leaves_nothing_of_the_old_one)
{
	start();
	give_commands(1000000);
	harness_run_ticks(100, 4);
	end_game(TRUE);
	game->fractional_local_time = 200;
	harness_end_map();

	setup.parameters.time_limit = 0;
	start();
	EXPECT_EQ(game->time_state, _game_time_no_countdown);
	EXPECT_EQ(game->time_remaining, 0);
	EXPECT_EQ(game->original_time_limit, 0);
	EXPECT_EQ(game->game_time_at_end, 0);
	EXPECT_EQ(game->fractional_local_time, 0);
	EXPECT_EQ(game->winning_team_index, NONE);
	EXPECT_EQ(game_flags_get(), 0u);
}

/* ---------- synchronisation */

using zerv_sync = zerv_core;

TEST_F(zerv_sync, local_games_queue_a_sync_command_every_171st_frame)
{
	start();
	harness_run_frames(170, 1);
	EXPECT_EQ(get_zerv_test_hooks()->sync_commands_queued, 0);
	harness_run_frames(1, 1);
	EXPECT_EQ(get_zerv_test_hooks()->sync_commands_queued, 1);
	harness_run_frames(171, 1);
	EXPECT_EQ(get_zerv_test_hooks()->sync_commands_queued, 2);
}

TEST_F(zerv_sync, networked_games_sync_only_from_the_originator)
{
	start();
	game->type = _game_type_networked;
	give_commands(1000000);
	get_zerv_networking_test_hooks()->network_originator = FALSE;
	harness_run_frames(171, 1);
	EXPECT_EQ(get_zerv_test_hooks()->sync_commands_queued, 0);
	EXPECT_EQ(game->synchronization_verification_generation_ticks, SYNCHRONIZATION_COMMAND_PERIOD);

	get_zerv_networking_test_hooks()->network_originator = TRUE;
	harness_run_frames(171, 1);
	EXPECT_EQ(get_zerv_test_hooks()->sync_commands_queued, 1);
}

TEST_F(zerv_sync, demos_and_replays_never_sync)
{
	start();
	game->type = _game_type_demo;
	harness_run_frames(400, 1);
	game->type = _game_type_replay;
	harness_run_frames(400, 1);
	EXPECT_EQ(get_zerv_test_hooks()->sync_commands_queued, 0);
}

static uint32 seed_at_512;
static uint32 seed_at_1024;

TEST_F(zerv_sync, check_points_fall_on_512_and_1024_but_not_0)
{
	start();
	EXPECT_EQ(game->last_synchronization_verification_time, 0);
	EXPECT_EQ(game->last_synchronization_verification_seed, setup.parameters.random_seed);
	set_zerv_tick_hook(
		[](int32 game_time, void *) {
			if (game_time == 512) seed_at_512 = get_random_seed();
			if (game_time == 1024) seed_at_1024 = get_random_seed();
		},
		nullptr);
	give_commands(2000);
	harness_run_ticks(512, 4);
	EXPECT_EQ(game->last_synchronization_verification_time, 0);
	harness_run_ticks(1, 1);
	EXPECT_EQ(game->last_synchronization_verification_time, 512);
	EXPECT_EQ(game->last_synchronization_verification_seed, seed_at_512);
	harness_run_ticks(512, 4);
	EXPECT_EQ(game->last_synchronization_verification_time, 1024);
	EXPECT_EQ(game->last_synchronization_verification_seed, seed_at_1024);
}

/* ---------- out of sync */

using zerv_out_of_sync = zerv_core;

TEST_F(zerv_out_of_sync, a_run_past_the_known_commands_is_reported_once_and_the_game_goes_on)
{
	start();
	give_commands(INITIAL_RESERVE_TIME);
	get_zerv_test_hooks()->extra_run_next_frame = 10;
	update_zerv(1);
	EXPECT_TRUE(game_flags_test(_game_is_out_of_sync_flag));
	EXPECT_EQ(get_zerv_test_hooks()->out_of_sync_reports, 1);
	EXPECT_EQ(get_console_test_hooks()->last_error, 0);
	EXPECT_EQ(game->game_time, 11);
	// The first tick's formation definition would now come in for a tick already
	// run, a report of its own: only the guard is under test here.
	while (dequeue_outgoing_command()) {}

	get_zerv_test_hooks()->extra_run_next_frame = 10;
	update_zerv(1);
	EXPECT_EQ(get_zerv_test_hooks()->out_of_sync_reports, 1);
	EXPECT_GT(game->game_time, 11);

	const std::string log = read_test_file("zerv_log.txt");
	EXPECT_NE(log.find("OUT OF SYNC\n"), std::string::npos);
	char line[256];
	snprintf(line, sizeof(line), "random seed: %ld", static_cast<long>(static_cast<int32>(get_random_seed())));
	const size_t at = log.find("OOS occurred at line ");
	ASSERT_NE(at, std::string::npos);
	const std::string oos = log.substr(at, log.find('\n', at) - at);
	EXPECT_NE(oos.find(" in zerv - game time: 0 random seed: "), std::string::npos) << oos;
}

/* ---------- versions */

using zerv_versions = zerv_core;

struct version_row
{
	int32 patch;
	int32 version;
	uint32 extra_options;
	int16 minimum_build;
	int16 expected;
};

TEST_F(zerv_versions, every_row_in_order_with_fall_throughs)
{
	const uint32 v151 = _game_option_version_151_flag;
	const uint32 modifier = _game_option_version_modifier_flag;
	const version_row rows[] = {
		{2, 2172, modifier, 377, 1300},
		{3, 2172, modifier, 377, 1300},
		{4, 2140, 0, 377, 1400},
		{4, 0, 0, 377, 1400},
		{4, 2141, 0, 377, 1410},
		{4, 2144, 0, 377, 1410},
		{4, 2150, 0, 377, 1720}, // 2150 means 1500 only at patch 5
		{4, 2151, 0, 377, 1510},
		{4, 2172, modifier, 371, 1717},
		{5, 2150, 0, 377, 1500},
		{5, 0, v151, 377, 1500},
		{5, 2151, 0, 377, 1510},
		{5, 2157, v151, 377, 1509},
		{5, 2172, v151, 377, 1510},
		{5, 2152, 0, 377, 1600},
		{5, 2159, 0, 377, 1600},
		{5, 2160, 0, 377, 1600},
		{5, 2179, 0, 377, 1690},
		{5, 2178, 0, 377, 1695},
		{5, 2170, 0, 377, 1700},
		{5, 2171, 0, 377, 1709},
		{5, 2171, modifier, 377, 1710},
		{5, 2172, 0, 371, 1715},
		{5, 2172, modifier, 371, 1717},
		{5, 2172, modifier, 372, 1720},
		{5, 2172, modifier, NONE, 1720},
		{5, 2172, modifier, MINIMUM_BUILD_WITHOUT_HUMANS, 1720},
		{5, 2173, 0, 377, 1720},
		{5, 2141, 0, 377, 1720},
	};
	for (const version_row &row : rows)
	{
		setup.parameters.option_flags = (static_cast<uint32>(row.patch - 2) << 18) | row.extra_options;
		setup.parameters.version = row.version;
		EXPECT_EQ(compute_game_play_version(&setup, row.minimum_build), row.expected)
			<< "patch " << row.patch << " version " << row.version << " options " << row.extra_options
			<< " build " << row.minimum_build;
	}
}

TEST_F(zerv_versions, minimum_build_of_the_human_players)
{
	EXPECT_EQ(compute_minimum_build_number(&setup), 377);

	setup.player_count = 3;
	setup.players[1] = setup.players[0];
	setup.players[1].build_number = 371;
	setup.players[2] = setup.players[0];
	setup.players[2].type = _player_is_computer;
	setup.players[2].build_number = 5;
	EXPECT_EQ(compute_minimum_build_number(&setup), 371);
	EXPECT_EQ(compute_game_play_version(&setup, compute_minimum_build_number(&setup)), 1717);

	for (int32 i = 0; i < 3; ++i) setup.players[i].build_number = 0;
	EXPECT_EQ(compute_minimum_build_number(&setup), NONE);
	EXPECT_EQ(compute_game_play_version(&setup, compute_minimum_build_number(&setup)), 1720);

	setup.players[0].type = _player_is_computer;
	setup.players[1].type = _player_is_computer;
	setup.players[0].build_number = 100;
	setup.players[1].build_number = 100;
	setup.players[2].build_number = 100;
	EXPECT_EQ(compute_minimum_build_number(&setup), MINIMUM_BUILD_WITHOUT_HUMANS);

	setup.player_count = 0;
	EXPECT_EQ(compute_minimum_build_number(&setup), MINIMUM_BUILD_WITHOUT_HUMANS);
	setup.player_count = 200; // damaged: read no further than the 16 records, whose zeros count
	EXPECT_EQ(compute_minimum_build_number(&setup), NONE);
}

TEST_F(zerv_versions, version_texts)
{
	EXPECT_STREQ(game_play_version_to_string(1300), "1.3");
	EXPECT_STREQ(game_play_version_to_string(1400), "1.4.0");
	EXPECT_STREQ(game_play_version_to_string(1410), "1.4.x");
	EXPECT_STREQ(game_play_version_to_string(1500), "1.5.0");
	EXPECT_STREQ(game_play_version_to_string(1509), "1.5.1");
	EXPECT_STREQ(game_play_version_to_string(1510), "1.5.1");
	EXPECT_STREQ(game_play_version_to_string(1600), "1.6.0");
	EXPECT_STREQ(game_play_version_to_string(1690), "1.7.0 BETA");
	EXPECT_STREQ(game_play_version_to_string(1695), "1.7.0 BETA");
	EXPECT_STREQ(game_play_version_to_string(1700), "1.7.0");
	EXPECT_STREQ(game_play_version_to_string(1709), "1.7.1 BETA");
	EXPECT_STREQ(game_play_version_to_string(1710), "1.7.1");
	EXPECT_STREQ(game_play_version_to_string(1715), "1.7.2 BETA");
	EXPECT_STREQ(game_play_version_to_string(1717), "1.7.2 BETA");
	EXPECT_STREQ(game_play_version_to_string(1720), "1.7.2");

	EXPECT_STREQ(get_version_string(LAN_GAME_BUILD_CODE, TRUE), "LAN Game");
	EXPECT_STREQ(get_version_string(LAN_GAME_BUILD_CODE, FALSE), "LAN");
	EXPECT_STREQ(get_version_string(2172, TRUE), "Zerv II Linux v1.7.2");
	EXPECT_STREQ(get_version_string(2140, FALSE), "Zerv II");
	EXPECT_STREQ(get_version_string(2180, TRUE), "Unknown");
	EXPECT_STREQ(get_version_string(7, TRUE), "Unknown");
	EXPECT_STREQ(get_version_string(-2172, FALSE), "Unknown");
}

TEST_F(zerv_versions, minor_version_is_the_patch_level)
{
	start();
	EXPECT_EQ(get_current_game_minor_version(), 5);
	EXPECT_TRUE(test_minor_version(5));
	EXPECT_TRUE(test_minor_version(3));
	EXPECT_FALSE(test_minor_version(6));
	game->option_flags &= ~(_game_option_patch_version_bit0_flag | _game_option_patch_version_bit1_flag);
	EXPECT_EQ(get_current_game_minor_version(), 2);
	EXPECT_FALSE(test_minor_version(3));
}

/* ---------- setup records */

using zerv_setup_records = zerv_core;

TEST_F(zerv_setup_records, defaults_match_their_stored_image)
{
	const uint8 head[NEW_GAME_PARAMETER_SWAPPED_SIZE] = {
		0x00, 0x03, 0x00, 0x02, 0x20, 0x0C, 0x40, 0x34, 0x00, 0x00, 0x46, 0x50, 0x6C, 0x31, 0x20, 0x20,
		0x00, 0x02, 0x00, 0x10, 0xDE, 0xAD, 0xFF, 0xFF, 0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0x00, 0x00, 0x00,
		0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x08, 0x7C, 0x00, 0x00, 0x00, 0x00};
	uint8 expected[sizeof(new_game_parameter_data)] = {};
	memcpy(expected, head, sizeof(head));

	new_game_parameter_data stored = default_new_game_parameter_data;
	byte_swap_new_game_parameter_data(&stored);
	EXPECT_EQ(memcmp(&stored, expected, sizeof(expected)), 0);
}

TEST_F(zerv_setup_records, swapping_twice_restores_and_never_touches_plugins)
{
	for (int32 i = 0; i < MAXIMUM_PLUGIN_DATA_SIZE; ++i) setup.parameters.plugin_data[i] = static_cast<uint8>(i * 7);
	setup.player_count = 2;
	setup.players[1] = setup.players[0];
	for (int32 i = 0; i < 12; ++i) setup.unused[i] = static_cast<uint8>(0xA0 + i);
	const new_game_data original = setup;

	byte_swap_new_game_data(&setup);
	EXPECT_EQ(memcmp(setup.parameters.plugin_data, original.parameters.plugin_data, MAXIMUM_PLUGIN_DATA_SIZE), 0);
	EXPECT_EQ(memcmp(setup.unused, original.unused, sizeof(setup.unused)), 0);
	const uint8 *count = reinterpret_cast<const uint8 *>(&setup.player_count);
	EXPECT_EQ(count[0], 0);
	EXPECT_EQ(count[1], 2);
	const uint8 *build = reinterpret_cast<const uint8 *>(&setup.players[1].build_number);
	EXPECT_EQ(build[0], 0x01); // 377
	EXPECT_EQ(build[1], 0x79);
	EXPECT_STREQ(setup.players[1].appearance.name, "Light");

	byte_swap_new_game_data(&setup);
	EXPECT_EQ(memcmp(&setup, &original, sizeof(setup)), 0);
}

TEST_F(zerv_setup_records, player_records_swap_their_own_fields)
{
	new_player_data player = {};
	player.team_index = 0x0102;
	player.flags = 0x0304;
	player.team_captain_identifier = 0x05060708;
	player.agreed_to_play = 1;
	player.metaserver_player = 0x11;
	player.persistent_ready = 0x22;
	player.version = 0x0A0B;
	player.unused2[0] = 0x33;
	player.appearance.caste_bitmap_index = 0x0C0D;
	player.appearance.team_name[0] = 'T';
	player.appearance.secondary_color.flags = 0x0E0F;
	const new_player_data original = player;

	byte_swap_new_player_data(&player);
	const uint8 *bytes = reinterpret_cast<const uint8 *>(&player);
	EXPECT_EQ(bytes[0], 0x01);
	EXPECT_EQ(bytes[4], 0x03);
	EXPECT_EQ(bytes[8], 0x05);
	EXPECT_EQ(bytes[19], 0x01);
	EXPECT_EQ(bytes[28], 0x11);
	EXPECT_EQ(bytes[29], 0x22);
	EXPECT_EQ(bytes[30], 0x0A);
	EXPECT_EQ(bytes[34], 0x33);
	EXPECT_EQ(bytes[42], 0x0C);
	EXPECT_EQ(bytes[76], 'T');
	EXPECT_EQ(bytes[122], 0x0E);

	byte_swap_player_appearance(&player.appearance);
	byte_swap_player_appearance(&player.appearance);
	byte_swap_new_player_data(&player);
	EXPECT_EQ(memcmp(&player, &original, sizeof(player)), 0);
}

TEST_F(zerv_setup_records, limited_visibility_is_cleared_only_for_replays_and_demos)
{
	for (int16 type = 0; type < NUMBER_OF_GAME_TYPES; ++type)
	{
		new_game_data fresh = setup;
		get_default_new_game_data(&fresh, type, TAG("mt00"));
		EXPECT_EQ(fresh.parameters.type, type);
		EXPECT_EQ(fresh.parameters.scenario_tag, TAG("mt00"));
		EXPECT_EQ(fresh.player_count, 1) << "players are left alone";
		const bool cleared = !(fresh.parameters.option_flags & _game_option_limited_visibility_flag);
		EXPECT_EQ(cleared, type == _game_type_replay || type == _game_type_demo) << "type " << type;
	}
}

TEST_F(zerv_setup_records, limited_visibility_stays_in_cooperative_games)
{
	start();
	game->option_flags |= _game_option_cooperative_flag;
	clear_limited_visibility_if_applicable();
	EXPECT_TRUE(game->option_flags & _game_option_limited_visibility_flag);
	game->option_flags &= ~_game_option_cooperative_flag;
	clear_limited_visibility_if_applicable();
	EXPECT_FALSE(game->option_flags & _game_option_limited_visibility_flag);
}

TEST_F(zerv_setup_records, damaged_setups_are_refused)
{
	setup.parameters.type = 9;
	EXPECT_FALSE(initialize_zerv_for_new_map(&setup));
	harness_default_setup(&setup);
	setup.player_count = 17;
	EXPECT_FALSE(initialize_zerv_for_new_map(&setup));
	harness_default_setup(&setup);
	setup.local_player_index = 1;
	EXPECT_FALSE(initialize_zerv_for_new_map(&setup));
	harness_default_setup(&setup);
	setup.parameters.plugin_count = -1;
	const size_t logged = read_test_file("zerv_log.txt").size();
	EXPECT_FALSE(initialize_zerv_for_new_map(&setup));
	EXPECT_EQ(read_test_file("zerv_log.txt").substr(logged),
		"Error: Unable to start game due to a damaged game setup (type 2, 1 players)\n");
	harness_default_setup(&setup);
	EXPECT_TRUE(initialize_zerv_for_new_map(&setup));
}

TEST_F(zerv_setup_records, a_plugin_list_and_count_that_disagree_are_refused)
{
	setup.parameters.plugin_count = 1; // the list holds none
	EXPECT_FALSE(initialize_zerv_for_new_map(&setup));
	harness_default_setup(&setup);
	setup.parameters.plugin_data[1] = 1; // one plugin, while the count says none
	EXPECT_FALSE(initialize_zerv_for_new_map(&setup));
	EXPECT_NE(read_test_file("zerv_log.txt").find("Error: Unable to start game due to a damaged game setup (type 2, "),
		std::string::npos);
}

TEST_F(zerv_setup_records, the_shell_without_a_map_is_disabled)
{
	EXPECT_TRUE(initialize_zerv_for_new_map(nullptr));
	EXPECT_EQ(game_flags_get(), static_cast<uint32>(_game_is_disabled_flag));
}

TEST_F(zerv_setup_records, an_injected_answer_fills_the_record_first)
{
	get_zerv_test_hooks()->map_start_answer = 0;
	setup.parameters.random_seed = 777;
	EXPECT_FALSE(initialize_zerv_for_new_map(&setup));
	EXPECT_EQ(game->type, _game_type_local);
	EXPECT_EQ(game->last_synchronization_verification_seed, 777u);
	get_zerv_test_hooks()->map_start_answer = 1;
	EXPECT_TRUE(initialize_zerv_for_new_map(&setup));
}

}
