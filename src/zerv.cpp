// The game core. Every call into another module goes through the hook slots
// and services of zerv_hooks.cpp, so modules fill their places there.
#include "zerv.h"

#include <cstdio>
#include <cstdlib>

#include "data.h"
#include "error_manager.h"
#include "linux_utilities.h"
#include "memory.h"
#include "tag_files/tag_files.h"
#include "players.h"
#include "test_hooks.h"
#include "world.h"
#include "zerv_hooks.h"

/* ---------- constants */

#define VERSION_POPUP_TICKS 240
#define SPEED_POPUP_TICKS 15
#define WAIT_MILLISECONDS_PER_TICK 34
#define WAIT_SLACK_TICKS 30
#define MISSING_PLUGIN_LIST_SIZE 512

enum // announcer sounds
{
	_sound_five_minutes_remaining = 0,
	_sound_one_minute_remaining = 1,
	_sound_thirty_seconds_remaining = 2,
	_sound_suspended_ending = 5,
	_sound_game_ending = 6,
	_sound_pregame_over = 25
};

/* ---------- globals */

game_data *game = nullptr;
int16 game_play_version = MAXIMUM_GAME_PLAY_VERSION;
boolean first_time_through_after_new_game = FALSE;

const short_fixed game_speed_fractions[NUMBER_OF_GAME_SPEEDS] = {
	0, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096, 8192, 16384};
const int16 maximum_ticks_per_frame_table[NUMBER_OF_GAME_TYPES] = {4, 30, 4, 4};

constexpr byte_swap_code new_game_parameter_byte_swapping_data[] = {
	_begin_bs_array, 1,
	_2byte, _2byte, _4byte, _4byte, _4byte, _2byte, _2byte, _2byte, _2byte,
	_4byte, _4byte, _4byte, _4byte, _2byte, _2byte,
	_end_bs_array};
static_assert(get_byte_swap_struct_size(new_game_parameter_byte_swapping_data) == NEW_GAME_PARAMETER_SWAPPED_SIZE);
static_assert(offsetof(new_game_parameter_data, plugin_data) == NEW_GAME_PARAMETER_SWAPPED_SIZE);
static_assert(offsetof(new_game_data, player_count) == 556);
static_assert(offsetof(new_game_data, players) == 560);
static_assert(offsetof(new_game_data, unused) == 2544);

const new_game_parameter_data default_new_game_parameter_data = {
	_game_type_demo, // type
	2,               // scoring
	0x200C4034,      // limited visibility, trading, veterans, overhead map, patch level 5, modifier
	18000,           // time limit
	TAG("l1  "),     // scenario
	2,               // difficulty
	16,              // maximum players
	0xDEAD,          // initial team random seed
	-1,              // maximum teams
	0xDEADBEEF,      // random seed
	0,               // pregame time limit
	0,               // unused
	2172,            // version
	0,               // room
	0,               // plugins
	{}};

// Per-map values of the core that are not part of the game record.
struct zerv_globals_data
{
	boolean game_over_handled;
	zerv_tick_hook_proc tick_hook;
	void *tick_hook_data;
};

static zerv_globals_data zerv_globals;
static zerv_test_hooks_data zerv_test_hooks = {NONE, {}, 0, 0, 0, 0, 0, 0, {}, {}, 0, {}};

static void queue_game_sound(int16 sound)
{
	if (zerv_test_hooks.game_sound_count < static_cast<int32>(NUMBEROF(zerv_test_hooks.game_sounds)))
	{
		zerv_test_hooks.game_sounds[zerv_test_hooks.game_sound_count] = sound;
	}
	zerv_test_hooks.game_sound_count += 1;
	zerv_service_queue_game_sound(sound);
}

/* ---------- byte swapping */

void byte_swap_new_game_parameter_data(new_game_parameter_data *parameters)
{
	byte_swap_data("new game parameter data", parameters, sizeof(new_game_parameter_data), 1,
		new_game_parameter_byte_swapping_data);
}

void byte_swap_new_game_data(new_game_data *setup)
{
	byte_swap_new_game_parameter_data(&setup->parameters);
	byte_swap_memory("new game data counts", &setup->player_count, 2, _2byte);
	for (int32 i = 0; i < MAXIMUM_PLAYERS_PER_MAP; ++i)
	{
		byte_swap_new_player_data(&setup->players[i]);
	}
}

/* ---------- start-up */

static void exit_on_startup_failure(const char *headline, const char *advice)
{
	char box[512];
	snprintf(box, sizeof(box), "%s\n%s\n", headline, advice);
	show_message_box(box);
	log_message(nullptr, NONE, "%s %s", headline, advice);
	exit(255);
}

static void handle_startup_hook_result(int16 failure)
{
	switch (failure)
	{
	case _hook_failure_exclusive_mode:
		exit_on_startup_failure("Cannot set exclusive mode.",
			"Zerv II is already running, or the Zerv directory is marked read-only.");
		break;
	case _hook_failure_required_patches:
		exit_on_startup_failure("Could not find all the required patch files.",
			"Please re-install the 1.7.2 Linux update.");
		break;
	default:
		break;
	}
}

void initialize_zerv(void)
{
	const zerv_hook_context context = {nullptr, static_cast<file_tag>(NONE), 0};

	handle_startup_hook_result(run_zerv_hook_slots(_zerv_startup_hooks, 0, &context));

	if (!game) game = static_cast<game_data *>(new_pointer_z(sizeof(game_data)));
	if (!game)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate #%d bytes for game_data.",
			static_cast<int>(sizeof(game_data)));
		exit(_error_out_of_memory); // not reached: the report is fatal
	}
	memset(game, 0, sizeof(game_data));
	game->state = NONE;

	handle_startup_hook_result(run_zerv_hook_slots(_zerv_startup_hooks, 1, &context));

	// Registered once per process however often tests start the core.
	static bool save_preferences_registered = false;
	service_trace("save_preferences");
	if (!save_preferences_registered)
	{
		atexit(save_preferences);
		save_preferences_registered = true;
	}

	handle_startup_hook_result(run_zerv_hook_slots(_zerv_startup_hooks, 2, &context));
	handle_error();
	dispose_zerv_from_old_map();
}

/* ---------- new map */

boolean setup_is_sound(const new_game_data *setup)
{
	const new_game_parameter_data *p = &setup->parameters;
	if (p->type < 0 || p->type >= NUMBER_OF_GAME_TYPES) return FALSE;
	if (setup->player_count < 0 || setup->player_count > MAXIMUM_PLAYERS_PER_MAP) return FALSE;
	if (setup->local_player_index != NONE &&
		(setup->local_player_index < 0 || setup->local_player_index >= setup->player_count))
	{
		return FALSE;
	}
	// The encoded list is decoded whatever the count says, so the two must agree.
	if (p->plugin_count < 0 || tag_file_plugins_encoded_count(p->plugin_data, MAXIMUM_PLUGIN_DATA_SIZE) != p->plugin_count)
	{
		return FALSE;
	}
	return TRUE;
}

static void set_up_game_record(const new_game_data *setup)
{
	const new_game_parameter_data *p = &setup->parameters;

	// The seed comes first: later slots may draw.
	set_random_seed(p->random_seed);

	game_flags_store(0);
	game->type = p->type;
	game->scoring = p->scoring;
	game->option_flags = p->option_flags;
	game->initial_team_random_seed = p->initial_team_random_seed;
	game->maximum_teams = p->maximum_teams;
	game->difficulty_level = p->difficulty_level;

	game_local_time_set(0);
	game->loaded = 0;
	game->game_time = 0;
	game->target_time = 0;
	game->update_state = _game_update_running;
	game->stall_count = 0;
	game->sample_period_start_tick = 0;
	game->endgame_state = _endgame_state_none;
	game->last_synchronization_verification_time = 0;
	game->game_ticks_since_last_frame = 0;
	// Nothing of the previous map may leak into this one.
	game->game_time_at_end = 0;
	game->fractional_local_time = 0;
	game->time_remaining = 0;
	game->original_time_limit = 0;

	game->reserve_time = INITIAL_RESERVE_TIME;
	game->winning_team_index = NONE;
	game->last_synchronization_verification_seed = p->random_seed;
	game->speed = _game_speed_normal;
	game->maximum_ticks_per_frame = maximum_ticks_per_frame_table[game->type];

	if (p->time_limit > 0)
	{
		if (p->pregame_time_limit < 1)
		{
			game->time_state = _game_time_countdown;
			game->time_remaining = p->time_limit;
		}
		else
		{
			game->time_state = _game_time_pregame;
			game->time_remaining = p->pregame_time_limit;
		}
		game->original_time_limit = p->time_limit;
	}
	else
	{
		game->time_state = _game_time_no_countdown;
	}

	zerv_globals.game_over_handled = FALSE;
}

static void log_plugin_lines(const new_game_data *setup)
{
	for (int16 i = 0;; ++i)
	{
		const char *name = zerv_service_plugin_name(setup, i);
		if (!name) break;
		log_message(nullptr, NONE, "  %s", name);
	}
}

// The clean-up of a failed step, then false.
static boolean fail_map_start(int16 failure)
{
	switch (failure)
	{
	case _hook_failure_restore_vsync:
		zerv_service_set_vsync_interval(-1);
		[[fallthrough]];
	case _hook_failure_close_progress:
		zerv_service_close_map_loading_progress_dialog();
		[[fallthrough]];
	case _hook_failure_handle_error:
	default:
		handle_error();
		break;
	}
	return FALSE;
}

static boolean error_is_stored(void)
{
	return get_error_code() != _error_none;
}

boolean initialize_zerv_for_new_map(new_game_data *setup)
{
	zerv_hook_context context = {setup, setup ? setup->parameters.scenario_tag : static_cast<file_tag>(NONE), 0};
	int16 failure;
	boolean plugins_missing = FALSE;
	char missing[MISSING_PLUGIN_LIST_SIZE] = "";

	run_zerv_hook_slots(_zerv_new_map_hooks, 1, &context);

	if (setup)
	{
		if (!setup_is_sound(setup))
		{
			log_message(nullptr, NONE, "Error: Unable to start game due to a damaged game setup (type %d, %d players)",
				setup->parameters.type, setup->player_count);
			return FALSE;
		}

		run_zerv_hook_slots(_zerv_new_map_hooks, 2, &context);

		int16 missing_count = 0;
		if (!zerv_service_decode_plugins(setup, missing, sizeof(missing), &missing_count) || missing_count > 0)
		{
			plugins_missing = TRUE;
			if (!zerv_service_game_is_solo_replay())
			{
				log_message(nullptr, NONE, "Error: Unable to start game due to missing plugins:\r%s", missing);
				return FALSE;
			}
		}

		if (!zerv_service_open_game_tags(setup)) return FALSE;

		{
			const char *mesh_name = zerv_service_mesh_display_name(setup);
			int16 plugin_count = 0;
			while (zerv_service_plugin_name(setup, plugin_count)) plugin_count += 1;
			if (plugin_count > 0)
			{
				log_message(nullptr, NONE, "Starting mesh \"%s\" with %d plugin%s...", mesh_name, plugin_count,
					plugin_count == 1 ? "" : "s");
				log_plugin_lines(setup);
			}
			else
			{
				log_message(nullptr, NONE, "Starting mesh \"%s\"...", mesh_name);
			}
		}
		run_zerv_hook_slots(_zerv_new_map_hooks, 4, &context);
		run_zerv_hook_slots(_zerv_new_map_hooks, 5, &context);

		set_up_game_record(setup);

		game_play_version = compute_game_play_version(setup, compute_minimum_build_number(setup));
		log_message(nullptr, NONE, "Using %s gameplay...", game_play_version_to_string(game_play_version));
		if (plugins_missing)
		{
			log_message(nullptr, NONE, "Warning: Starting replay with missing plugins:\r%s", missing);
		}

		if (zerv_test_hooks.map_start_answer != NONE) return zerv_test_hooks.map_start_answer != 0;
	}
	else
	{
		run_zerv_hook_slots(_zerv_new_map_hooks, 8, &context);
		game_flags_store(_game_is_disabled_flag);
	}

	run_zerv_hook_slots(_zerv_new_map_hooks, 9, &context);
	if (error_is_stored()) return fail_map_start(_hook_failure_handle_error);
	if (!setup) return !handle_error();

	failure = run_zerv_hook_slots(_zerv_new_map_hooks, 10, &context);
	if (failure != _hook_result_ignored) return fail_map_start(failure);
	zerv_service_open_map_loading_progress_dialog(context.scenario_tag);

	game->synchronization_verification_generation_ticks = SYNCHRONIZATION_COMMAND_PERIOD;
	zerv_service_prepare_tag_cache(context.scenario_tag);

	run_zerv_hook_slots(_zerv_new_map_hooks, 12, &context);

	failure = run_zerv_hook_slots(_zerv_new_map_hooks, 13, &context);
	if (failure != _hook_result_ignored) return fail_map_start(failure);

	run_zerv_hook_slots(_zerv_new_map_hooks, 14, &context);

	run_zerv_hook_slots(_zerv_new_map_hooks, 15, &context);
	if (error_is_stored()) return fail_map_start(_hook_failure_restore_vsync);
	run_zerv_hook_slots(_zerv_new_map_hooks, 16, &context);

	return !handle_error();
}

/* ---------- dispose */

void dispose_zerv_from_old_map(void)
{
	const zerv_hook_context context = {nullptr, static_cast<file_tag>(NONE), 0};
	run_zerv_hook_slots(_zerv_dispose_hooks, 0, &context);
	handle_error();
	first_time_through_after_new_game = TRUE;
}

/* ---------- the frame's update */

static bool game_is_finished(void)
{
	return game->time_state == _game_time_ending && game->time_remaining <= 0;
}

static void show_version_popup(void)
{
	const char *text = nullptr;
	char buffer[128];

	switch (game_play_version)
	{
	case 1400:
		text = "Unsupported 1.4 film, use 1.4.4 to view";
		break;
	case 1410:
		text = "Unsupported 1.4.x film, use 1.4.4 to view";
		break;
	case MAXIMUM_GAME_PLAY_VERSION:
		break;
	default:
		snprintf(buffer, sizeof(buffer), game->type == _game_type_replay ? "Film uses %s gameplay" : "Using %s gameplay",
			game_play_version_to_string(game_play_version));
		text = buffer;
		break;
	}
	if (text)
	{
		zerv_test_hooks.version_popup_count += 1;
		zerv_service_console_popup(text, nullptr, VERSION_POPUP_TICKS);
	}
}

static void count_stall(void)
{
	const int32 local_time = game_local_time_get();

	if (local_time > game->sample_period_start_tick + STALL_SAMPLE_PERIOD)
	{
		game->sample_period_start_tick = local_time;
		game->stall_count = 0;
	}
	game->stall_count += 1;
	if (game->stall_count > MAXIMUM_STALLS_PER_SAMPLE_PERIOD)
	{
		game->reserve_time = static_cast<int16>(MIN(static_cast<int32>(game->reserve_time) + RESERVE_TIME_INCREMENT, INT16_MAX));
		game->sample_period_start_tick = local_time;
		game->stall_count = 0;
	}
	game->update_state = _game_update_stalled;
}

static void run_time_state_transition(void)
{
	switch (game->time_state)
	{
	case _game_time_pregame:
		zerv_service_close_unit_trading_dialog();
		game->time_state = _game_time_countdown;
		game->time_remaining = game->original_time_limit;
		queue_game_sound(_sound_pregame_over);
		if (game_play_version > 1709) zerv_service_unmark_monsters_being_traded();
		break;
	case _game_time_countdown:
	case _game_time_random_endgame_countdown:
		end_game(TRUE);
		break;
	case _game_time_suspended_ending:
		game->time_remaining = SUSPENDED_ENDING_TIME_IN_TICKS;
		end_game(TRUE);
		break;
	case _game_time_no_countdown:
	case _game_time_ending:
	default:
		break;
	}
}

static void run_one_tick(const zerv_hook_context *context)
{
	if (game->game_time != 0 && game->game_time % SYNCHRONIZATION_VERIFICATION_FREQUENCY == 0)
	{
		game->last_synchronization_verification_time = game->game_time;
		game->last_synchronization_verification_seed = get_random_seed();
	}

	if (game->type == _game_type_replay)
	{
		// The film reads this tick's commands; the frame's target stands.
		const int32 target_time = game->target_time;
		zerv_service_update_replay(1);
		game->target_time = target_time;
	}

	zerv_service_execute_monster_commands(game->game_time);

	if (first_time_through_after_new_game)
	{
		zerv_service_first_tick();
		first_time_through_after_new_game = FALSE;
	}

	run_zerv_hook_slots(_zerv_tick_hooks, 0, context);

	game->game_time += 1;
	game->time_remaining -= 1;

	if (game->time_remaining > 0)
	{
		if (game->type == _game_type_networked && game->game_time == 1)
		{
			zerv_service_team_captain_notification();
		}
		if (game->time_state == _game_time_countdown)
		{
			switch (game->time_remaining)
			{
			case 9000: queue_game_sound(_sound_five_minutes_remaining); break;
			case 1800: queue_game_sound(_sound_one_minute_remaining); break;
			case 900: queue_game_sound(_sound_thirty_seconds_remaining); break;
			default: break;
			}
		}
	}
	else if (game->time_remaining == 0)
	{
		run_time_state_transition();
	}

	if (zerv_globals.tick_hook) zerv_globals.tick_hook(game->game_time, zerv_globals.tick_hook_data);
}

void update_zerv(int16 elapsed_ticks)
{
	const int32 elapsed = elapsed_ticks < 0 ? 0 : elapsed_ticks;
	const int32 fraction = game_speed_fractions[PIN(game->speed, 0, NUMBER_OF_GAME_SPEEDS - 1)];
	const int32 scaled = elapsed * fraction + (game->fractional_local_time & 0xFF);
	const int32 whole = scaled >> 8;
	int32 run;
	int32 intake;

	game->fractional_local_time = static_cast<short_fixed>(scaled & 0xFF);

	if (first_time_through_after_new_game)
	{
		if (game_play_version > MAXIMUM_GAME_PLAY_VERSION) game_play_version = MAXIMUM_GAME_PLAY_VERSION;
		// Every frame before the first tick, stalled ones too, shows it afresh.
		show_version_popup();
	}

	if (whole < 1)
	{
		zerv_service_update_status_bar();
		return;
	}

	{
		const int32 available = game->target_time - game->game_time;
		bool still_stalled = false;

		if (game->update_state == _game_update_stalled)
		{
			if (available < game->reserve_time)
			{
				still_stalled = true;
			}
			else
			{
				game->update_state = _game_update_running;
			}
		}

		if (still_stalled)
		{
			run = 0;
		}
		else
		{
			if (available > whole && available >= game->reserve_time)
			{
				run = MAX(whole, available - game->reserve_time);
			}
			else
			{
				run = MIN(available, whole);
			}
			if (run == 0 && game->type != _game_type_replay) count_stall();
		}
	}

	{
		int32 limit = game->maximum_ticks_per_frame;
		if (game->speed > _game_speed_normal) limit = (limit * fraction) >> 8;

		if (game_flags_test(_game_is_paused_flag))
		{
			run = 0;
			intake = 0;
		}
		else
		{
			run = MIN(limit, run);
			intake = MIN(limit, whole);
		}
	}

	switch (game->type)
	{
	case _game_type_networked:
		zerv_service_network_process();
		break;
	case _game_type_replay:
		zerv_service_update_replay(intake);
		break;
	case _game_type_local:
	case _game_type_demo:
		zerv_service_local_command_intake(game->target_time, intake);
		game->target_time += intake;
		break;
	default:
		break;
	}

	if (zerv_test_hooks.extra_run_next_frame != 0)
	{
		run += zerv_test_hooks.extra_run_next_frame;
		zerv_test_hooks.extra_run_next_frame = 0;
	}

	if ((run < 0 || game->game_time + run > game->target_time) && !game_flags_test(_game_is_out_of_sync_flag))
	{
		game_is_out_of_sync(MODULE_NAME, __LINE__);
	}

	{
		const zerv_hook_context context = {nullptr, static_cast<file_tag>(NONE), static_cast<int16>(intake)};

		game->game_ticks_since_last_frame += MAX(run, 0);
		for (int32 i = 0; i < run && !game_is_finished(); ++i)
		{
			run_one_tick(&context);
		}

		if (game->type == _game_type_networked || game->type == _game_type_local)
		{
			game->synchronization_verification_generation_ticks -= intake;
			if (game->synchronization_verification_generation_ticks < 0)
			{
				if (game->type == _game_type_local || zerv_service_local_player_is_network_originator())
				{
					zerv_test_hooks.sync_commands_queued += 1;
					zerv_service_queue_sync_command();
				}
				game->synchronization_verification_generation_ticks = SYNCHRONIZATION_COMMAND_PERIOD;
			}
		}

		if (!game_is_finished())
		{
			run_zerv_hook_slots(_zerv_frame_hooks, 10, &context);
		}
		else if (!zerv_globals.game_over_handled)
		{
			zerv_globals.game_over_handled = TRUE;
			zerv_test_hooks.game_over_count += 1;
			run_zerv_hook_slots(_zerv_frame_hooks, 11, &context);
		}
	}
}

/* ---------- setup and version */

void get_default_new_game_data(new_game_data *setup, int16 type, file_tag scenario_tag)
{
	setup->parameters = default_new_game_parameter_data;
	setup->parameters.type = type;
	setup->parameters.scenario_tag = scenario_tag;
	if (type == _game_type_replay || type == _game_type_demo)
	{
		setup->parameters.option_flags &= ~_game_option_limited_visibility_flag;
	}
}

int16 compute_minimum_build_number(const new_game_data *setup)
{
	const int16 count = PIN(setup->player_count, 0, MAXIMUM_PLAYERS_PER_MAP);
	int16 minimum = MINIMUM_BUILD_WITHOUT_HUMANS;

	for (int16 i = 0; i < count; ++i)
	{
		const new_player_data *player = &setup->players[i];
		if (player->type == _player_is_human && player->build_number < minimum) minimum = player->build_number;
	}
	return minimum == 0 ? static_cast<int16>(NONE) : minimum;
}

int16 compute_game_play_version(const new_game_data *setup, int16 minimum_build_number)
{
	const uint32 options = setup->parameters.option_flags;
	const int16 patch = GET_GAME_OPTIONS_PATCH_LEVEL(options);
	const int32 version = setup->parameters.version;
	const bool modifier = (options & _game_option_version_modifier_flag) != 0;

	if (patch < 4) return 1300;
	if (patch == 4)
	{
		if (version == 2140 || version == 0) return 1400;
		if (version >= 2141 && version <= 2144) return 1410;
	}
	if (patch >= 5 && (version == 2150 || version == 0)) return 1500;
	if (version == 2151) return 1510;
	if (version == 2157) return 1509;
	if (options & _game_option_version_151_flag) return 1510;
	if (version == 2152 || version == 2159 || version == 2160) return 1600;
	if (version == 2179) return 1690;
	if (version == 2178) return 1695;
	if (version == 2170) return 1700;
	if (version == 2171) return modifier ? 1710 : 1709;
	if (version == 2172)
	{
		if (!modifier) return 1715;
		return (minimum_build_number != NONE && minimum_build_number < FIRST_BUILD_WITHOUT_OLD_RULES) ? 1717 : 1720;
	}
	return 1720;
}

const char *game_play_version_to_string(int16 version)
{
	static char buffer[32];

	switch (version)
	{
	case 1300: return "1.3";
	case 1410: return "1.4.x";
	case 1509:
	case 1510: return "1.5.1";
	case 1690:
	case 1695: return "1.7.0 BETA";
	case 1709: return "1.7.1 BETA";
	case 1715:
	case 1717: return "1.7.2 BETA";
	default:
		snprintf(buffer, sizeof(buffer), "%d.%d.%d", (version / 1000) % 10, (version / 100) % 10, (version / 10) % 10);
		return buffer;
	}
}

struct client_version_row
{
	const char *long_name;
	const char *short_name;
	int32 low, high; // inclusive; high NONE ends the table
	boolean show_version;
};

static const client_version_row client_version_rows[] = {
	{"Zerv II Linux", "Zerv II", 2140, 2179, TRUE},
	{"Unknown", "Unknown", 0, NONE, FALSE}};

const char *get_version_string(int32 build_code, boolean long_form)
{
	static char buffer[128];

	if (build_code == LAN_GAME_BUILD_CODE) return long_form ? "LAN Game" : "LAN";

	const client_version_row *row = client_version_rows;
	while (row->high != NONE && !(build_code >= row->low && build_code <= row->high)) row += 1;

	if (!long_form) return row->short_name;

	char digits[16];
	snprintf(digits, sizeof(digits), "%d", static_cast<int>(build_code));
	// A shorter code has no digits 2-4 to show.
	if (row->show_version && build_code > 0 && strlen(digits) >= 4)
	{
		snprintf(buffer, sizeof(buffer), "%s v%c.%c.%c", row->long_name, digits[1], digits[2], digits[3]);
		return buffer;
	}
	return row->long_name;
}

/* ---------- speed and time */

void adjust_game_speed(boolean faster, boolean to_extreme)
{
	int16 minimum;

	if (game->type == _game_type_replay) minimum = _game_speed_stopped;
	else if (game->type == _game_type_local) minimum = _game_speed_one_quarter;
	else return;
	if (zerv_service_mesh_is_training_map()) return;

	int32 speed = game->speed;
	if (faster)
	{
		speed = to_extreme ? _game_speed_sixty_four_times : speed + 1;
	}
	else
	{
		if (to_extreme) speed = game->type == _game_type_local ? static_cast<int16>(_game_speed_normal) : minimum;
		else speed -= 1;
	}
	speed = PIN(speed, minimum, _game_speed_sixty_four_times);

	if (speed != game->speed)
	{
		char title[64];
		char text[128];
		zerv_service_get_string(GAME_SPEED_STRING_LIST_TAG, 0, title, sizeof(title));
		zerv_service_get_string(GAME_SPEED_STRING_LIST_TAG, static_cast<int16>(speed + 1), text, sizeof(text));
		if (!text[0]) snprintf(text, sizeof(text), "%dx", game_speed_fractions[speed] >> 8);
		zerv_test_hooks.speed_popup_count += 1;
		snprintf(zerv_test_hooks.last_popup_title, sizeof(zerv_test_hooks.last_popup_title), "%s", title);
		snprintf(zerv_test_hooks.last_popup_text, sizeof(zerv_test_hooks.last_popup_text), "%s", text);
		zerv_service_console_popup(title, text, SPEED_POPUP_TICKS);
		game->speed = static_cast<int16>(speed);
	}
}

short_fixed get_game_speed(void)
{
	return game_speed_fractions[PIN(game->speed, 0, NUMBER_OF_GAME_SPEEDS - 1)];
}

void pause_game(boolean on)
{
	if (game->type == _game_type_networked) return;
	if (on) game_flags_set(_game_is_paused_flag);
	else game_flags_clear(_game_is_paused_flag);
}

void pause_local_time(boolean on)
{
	if (game->type == _game_type_networked) return;
	if (on) game_flags_set(_game_is_local_time_paused_flag);
	else game_flags_clear(_game_is_local_time_paused_flag);
}

void advance_local_time(void)
{
	game_data *record = game;
	if (!record) return;
	if (std::atomic_ref<uint32>(record->flags).load(std::memory_order_relaxed) & _game_is_local_time_paused_flag) return;
	std::atomic_ref<int32>(record->local_time).fetch_add(1, std::memory_order_relaxed);
}

int32 wait_local_time(int32 ticks)
{
	if (ticks <= 0 || !game) return 0;
	// Paused local time would never arrive.
	if (game_flags_test(_game_is_local_time_paused_flag)) return 0;

	const int32 start = game_local_time_get();
	const uint32 start_milliseconds = machine_tick_count();
	const int64 allowed = (static_cast<int64>(ticks) + WAIT_SLACK_TICKS) * WAIT_MILLISECONDS_PER_TICK;
	const uint32 allowed_milliseconds = static_cast<uint32>(MIN(allowed, static_cast<int64>(INT32_MAX)));

	// Without a running timer local time never moves, so the wait is bounded.
	while (game_local_time_get() - start < ticks)
	{
		if (machine_tick_count() - start_milliseconds >= allowed_milliseconds) break;
		zerv_service_platform_update();
	}
	return game_local_time_get() - start;
}

void set_maximum_ticks_per_frame(int16 ticks)
{
	if (ticks == NONE)
	{
		const int16 type = PIN(game->type, 0, NUMBER_OF_GAME_TYPES - 1);
		game->maximum_ticks_per_frame = maximum_ticks_per_frame_table[type];
	}
	else
	{
		game->maximum_ticks_per_frame = ticks;
	}
}

/* ---------- end of game */

void suspend_end_game(boolean on)
{
	if (on) game_flags_set(_game_is_suspended_flag);
	else game_flags_clear(_game_is_suspended_flag);
}

void end_game(boolean)
{
	int16 candidate;
	int32 ticks;
	int16 sound;

	if (game_flags_test(_game_is_suspended_flag))
	{
		game_flags_set(_game_is_ending_flag);
		candidate = _game_time_suspended_ending;
		ticks = SUSPENDED_ENDING_TIME_IN_TICKS;
		sound = _sound_suspended_ending;
	}
	else
	{
		zerv_service_build_net_game_standings();
		zerv_service_finalize_winning_team();
		clear_limited_visibility_if_applicable();
		game_flags_set(_game_is_over_flag);
		game->endgame_state = _endgame_state_defeat;
		game->game_time_at_end = game->game_time;
		candidate = _game_time_ending;
		ticks = ENDING_TIME_IN_TICKS;
		sound = _sound_game_ending;
	}

	// A later end never goes back.
	if (candidate > game->time_state)
	{
		game->time_state = candidate;
		game->time_remaining = ticks;
		queue_game_sound(sound);
	}
}

void clear_limited_visibility_if_applicable(void)
{
	if (!(game->option_flags & _game_option_cooperative_flag))
	{
		game->option_flags &= ~_game_option_limited_visibility_flag;
	}
}

void game_is_out_of_sync(const char *file, int32 line)
{
	write_to_error_file("OUT OF SYNC\n", FALSE);
	// int32 values through long print the same on both builds.
	log_message(nullptr, NONE, "OOS occurred at line %d in %s - game time: %ld random seed: %ld", static_cast<int>(line),
		file, static_cast<long>(game->game_time), static_cast<long>(static_cast<int32>(get_random_seed())));
	zerv_test_hooks.out_of_sync_reports += 1;
	zerv_service_console_error(0);
	game_flags_set(_game_is_out_of_sync_flag);
}

/* ---------- others */

int16 get_current_game_minor_version(void)
{
	return GET_GAME_OPTIONS_PATCH_LEVEL(game->option_flags);
}

boolean test_minor_version(int16 minor)
{
	return get_current_game_minor_version() >= minor;
}

void invalidate_zerv_dialog(const rectangle2d *rectangle)
{
	zerv_service_invalidate_dialog(rectangle);
}

void save_preferences(void)
{
	zerv_service_save_preferences();
}

/* ---------- digest */

// The byte-folding primitives live in zerv_digest.cpp.

void zerv_fold_game_digest(zerv_digest *digest)
{
	const uint32 digested_flags =
		_game_is_ending_flag | _game_is_over_flag | _game_is_suspended_flag | _game_is_out_of_sync_flag;

	zerv_digest_int32(digest, game->game_time);
	zerv_digest_int32(digest, game->time_remaining);
	zerv_digest_int16(digest, game->time_state);
	zerv_digest_uint32(digest, game_flags_get() & digested_flags);
	zerv_digest_int16(digest, game->winning_team_index);
	zerv_digest_int16(digest, game->endgame_state);
	zerv_digest_int32(digest, game->game_time_at_end);
	zerv_digest_uint32(digest, game->last_synchronization_verification_seed);
	zerv_digest_int32(digest, game->last_synchronization_verification_time);
	zerv_digest_int16(digest, game_play_version);
	zerv_digest_uint32(digest, get_random_seed());
}

uint64 zerv_state_digest(void)
{
	zerv_digest digest;
	int32 count = 0;
	const zerv_digest_slot *slots = get_zerv_digest_slots(&count);

	// The record arrays of the simulation: bookkeeping, free slots and the
	// identifiers in use, which later commands name. Each simulation module
	// adds its array here; local-only arrays stay out.
	static datum_globals *const simulation_arrays[] = {&player_array, &team_array};

	zerv_digest_begin(&digest);
	for (int32 i = 0; i < count; ++i)
	{
		if (slots[i].proc) slots[i].proc(&digest);
	}
	for (datum_globals *array : simulation_arrays) zerv_digest_uint32(&digest, datum_globals_digest(array));
	return digest.hash;
}

void set_zerv_tick_hook(zerv_tick_hook_proc proc, void *data)
{
	zerv_globals.tick_hook = proc;
	zerv_globals.tick_hook_data = data;
}

/* ---------- test hooks */

zerv_test_hooks_data *get_zerv_test_hooks(void)
{
	return &zerv_test_hooks;
}

void reset_zerv_test_hooks(void)
{
	zerv_test_hooks = {};
	zerv_test_hooks.map_start_answer = NONE;
}
