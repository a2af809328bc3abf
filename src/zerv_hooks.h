// The game core's hook slots: the fixed orders in which it calls every
// module's start-up, new-map, dispose and update procedures, and the one-off
// services it asks of other modules. A slot without a procedure counts as
// success; every slot call, filled or empty, is reported to the service trace.
#ifndef ZERV_HOOKS_H
#define ZERV_HOOKS_H

#include "cseries.h"

struct new_game_data;
struct rectangle2d;
struct zerv_digest;

enum // slot tables, one per fixed order
{
	_zerv_startup_hooks,   // initialize_zerv
	_zerv_new_map_hooks,   // initialize_zerv_for_new_map
	_zerv_dispose_hooks,   // dispose_zerv_from_old_map
	_zerv_tick_hooks,      // each game tick
	_zerv_frame_hooks,     // once per frame, after the ticks
	_zerv_resurrect_hooks, // the network end-game path
	NUMBER_OF_ZERV_HOOK_TABLES
};

enum // conditions under which a slot runs
{
	_hook_always,
	_hook_if_version_1300,
	_hook_unless_version_1300,
	_hook_if_version_below_1701,
	_hook_if_version_above_1700,
	_hook_unless_restoring,
	_hook_if_detail_maps_enabled,
	_hook_if_detail_maps_set_up, // the groups were set up for this map, whatever the preference now
	_hook_unless_continuation,
	_hook_if_restoring_veterans,
	_hook_unless_restoring_veterans,
	_hook_if_cooperative,
	_hook_if_space_held,
	_hook_if_mesh_header_read,
	_hook_if_veterans_kept, // not a cooperative game whose winner or its captain is missing
	NUMBER_OF_HOOK_CONDITIONS
};

enum // how a slot's procedure gets its arguments
{
	_hook_no_arguments,
	_hook_setup_argument,
	_hook_scenario_tag_argument,
	_hook_obpc_argument,         // the observer constants tag
	_hook_stin_argument,         // the interface definition tag
	_hook_info_argument,         // the formation definitions tag
	_hook_wind_tag_argument,     // the mesh's wind tag
	_hook_particle_tag_argument, // the mesh's particle-system tag
	_hook_media_tag_argument,    // the mesh's media tag
	_hook_intake_argument,       // the frame's intake of ticks
	_hook_no_map_argument,       // true when there is no setup
	_hook_players_argument,      // player count, players, local player index
	_hook_title_argument,        // the program's title line
	_hook_no_plugins_argument,   // tag files opened without plugins
	_hook_endgame_state_argument,
	_hook_game_time_argument,
	_hook_true_argument,
	_hook_false_argument,
	_hook_zero_argument,
	_hook_minus_one_argument,
	NUMBER_OF_HOOK_ARGUMENTS
};

enum // what a slot's false result means
{
	_hook_result_ignored,
	_hook_failure_exclusive_mode,   // start-up ends: another instance runs
	_hook_failure_required_patches, // start-up ends: patches are missing
	_hook_failure_handle_error,     // map start fails: handle the error
	_hook_failure_close_progress,   // map start fails: close progress, handle the error
	_hook_failure_restore_vsync,    // map start fails: vsync back, close progress, handle the error
	NUMBER_OF_HOOK_FAILURES
};

struct zerv_hook_context
{
	new_game_data *setup; // NULL for the shell without a map
	file_tag scenario_tag;
	int16 intake;
};

typedef boolean (*zerv_hook_proc)(const zerv_hook_context *context);

struct zerv_hook_slot
{
	const char *name;
	zerv_hook_proc proc; // NULL: an empty slot
	int16 step;          // the group within its order in which it runs
	int16 condition;
	int16 argument;
	int16 failure;
};

// The slots of a table, in call order.
const zerv_hook_slot *get_zerv_hook_table(int16 table, int32 *count);

// Runs, in order, every slot of the table in the given step whose condition
// holds. Stops at the first slot whose false result has a failure meaning and
// returns that meaning; _hook_result_ignored when all went through.
int16 run_zerv_hook_slots(int16 table, int16 step, const zerv_hook_context *context);

// A benchmark's watcher of the tick table: told of each tick slot's name just
// before (after false) and just after (after true) its procedure runs, so it
// can time where a tick goes. The core itself reads no clock. NULL: none.
typedef void (*zerv_slot_observer_proc)(const char *slot_name, boolean after, void *data);
void set_zerv_slot_observer(zerv_slot_observer_proc proc, void *data);

/* ---------- one-off services of the core (each reports its name) */

// Map start.
boolean zerv_service_decode_plugins(new_game_data *setup, char *missing, int32 missing_size, int16 *missing_count);
boolean zerv_service_game_is_solo_replay(void);
boolean zerv_service_open_game_tags(new_game_data *setup);
const char *zerv_service_mesh_display_name(const new_game_data *setup);
// The names of the setup's plugins, one per call; NULL past the last.
const char *zerv_service_plugin_name(const new_game_data *setup, int16 index);
void zerv_service_open_map_loading_progress_dialog(file_tag scenario_tag);
void zerv_service_close_map_loading_progress_dialog(void);
void zerv_service_set_vsync_interval(int16 interval);
void zerv_service_prepare_tag_cache(file_tag scenario_tag);
const char *zerv_service_title_line(void);

// Frames and ticks.
void zerv_service_update_status_bar(void);
void zerv_service_network_process(void);
void zerv_service_update_replay(int32 ticks);
// Stamps, filters, queues and records the local outgoing commands.
void zerv_service_local_command_intake(int32 target_time, int32 intake);
void zerv_service_execute_monster_commands(int32 game_time);
void zerv_service_first_tick(void);
void zerv_service_team_captain_notification(void);
void zerv_service_queue_game_sound(int16 sound);
void zerv_service_close_unit_trading_dialog(void);
void zerv_service_unmark_monsters_being_traded(void);
boolean zerv_service_local_player_is_network_originator(void);
void zerv_service_queue_sync_command(void);
void zerv_service_console_popup(const char *title, const char *text, int16 ticks);
void zerv_service_console_error(int16 error);

// End of game, speed, shell.
void zerv_service_build_net_game_standings(void);
void zerv_service_finalize_winning_team(void);
boolean zerv_service_mesh_is_training_map(void);
// The string of the list, "" when missing.
void zerv_service_get_string(file_tag string_list, int16 index, char *buffer, int32 buffer_size);
void zerv_service_invalidate_dialog(const rectangle2d *rectangle);
void zerv_service_save_preferences(void);
void zerv_service_platform_update(void);
boolean zerv_service_restoring_from_saved_game(void);

/* ---------- digest slots */

typedef void (*zerv_digest_proc)(zerv_digest *digest);
struct zerv_digest_slot
{
	const char *name;
	zerv_digest_proc proc; // NULL until the module folds its state
};
const zerv_digest_slot *get_zerv_digest_slots(int32 *count);

// Tests: the hooks module's per-map values as a fresh process has them.
void reset_zerv_hooks_test_state(void);

#endif
