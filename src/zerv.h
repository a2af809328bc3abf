// The game core: the global game record, the game setup records, the
// per-map life cycle of every module and the per-frame tick driver.
#ifndef ZERV_H
#define ZERV_H

#include <atomic>

#include "cseries.h"
#include "byte_swapping.h"
#include "players.h"
#include "world_units.h"

struct rectangle2d;

/* ---------- constants */

enum // game types
{
	_game_type_replay,
	_game_type_networked,
	_game_type_local,
	_game_type_demo,
	NUMBER_OF_GAME_TYPES
};

enum // outcomes of an ended game (endgame_state)
{
	_endgame_state_none,             // no outcome yet
	_endgame_state_victory,          // continues with the first next mesh
	_endgame_state_alternate_victory, // continues with the second next mesh
	_endgame_state_defeat,
	NUMBER_OF_ENDGAME_STATES
};

enum // game flags
{
	_game_is_ending_bit,
	_game_is_over_bit,
	_game_is_suspended_bit,
	_game_is_out_of_sync_bit,
	_game_is_disabled_bit,
	_game_is_paused_bit,
	_game_is_local_time_paused_bit,
	NUMBER_OF_GAME_FLAGS,

	_game_is_ending_flag = 1 << _game_is_ending_bit,
	_game_is_over_flag = 1 << _game_is_over_bit,
	_game_is_suspended_flag = 1 << _game_is_suspended_bit,
	_game_is_out_of_sync_flag = 1 << _game_is_out_of_sync_bit,
	_game_is_disabled_flag = 1 << _game_is_disabled_bit,
	_game_is_paused_flag = 1 << _game_is_paused_bit,
	_game_is_local_time_paused_flag = 1 << _game_is_local_time_paused_bit
};

enum // option flags of a setup
{
	_game_option_random_endgame_countdown_bit = 0,
	_game_option_allow_multiplayer_teams_bit = 1,
	_game_option_limited_visibility_bit = 2,
	_game_option_no_ingame_rankings_bit = 3,
	_game_option_allow_unit_trading_bit = 4,
	_game_option_allow_veterans_bit = 5,
	_game_option_continuation_bit = 6,
	_game_option_cooperative_bit = 7,
	_game_option_random_teams_bit = 8,
	_game_option_limited_terrain_visibility_bit = 9,
	_game_option_camera_tracking_initially_on_bit = 10,
	_game_option_unused_bit = 11,
	_game_option_unused2_bit = 12,
	_game_option_allow_alliances_bit = 13,
	_game_option_allow_overhead_map_bit = 14,
	_game_option_order_game_bit = 15,
	_game_option_server_is_observer_bit = 16,
	_game_option_restore_veterans_bit = 17,
	_game_option_patch_version_bit0_bit = 18,
	_game_option_patch_version_bit1_bit = 19,
	_game_option_deathmatch_bit = 20,
	_game_option_uses_qel_bit = 21,
	_game_option_uses_anticlump_bit = 22,
	_game_option_team_captain_chosen_bit = 23,
	_game_option_version_151_bit = 24,
	_game_option_version_unused1_bit = 25,
	_game_option_version_unused2_bit = 26,
	_game_option_version_unused3_bit = 27,
	_game_option_version_unused4_bit = 28,
	_game_option_version_modifier_bit = 29,
	_game_option_has_captains_bit = 30,
	NUMBER_OF_GAME_OPTIONS = 31
};

enum : uint32
{
	_game_option_random_endgame_countdown_flag = 1u << _game_option_random_endgame_countdown_bit,
	_game_option_allow_multiplayer_teams_flag = 1u << _game_option_allow_multiplayer_teams_bit,
	_game_option_limited_visibility_flag = 1u << _game_option_limited_visibility_bit,
	_game_option_no_ingame_rankings_flag = 1u << _game_option_no_ingame_rankings_bit,
	_game_option_allow_unit_trading_flag = 1u << _game_option_allow_unit_trading_bit,
	_game_option_allow_veterans_flag = 1u << _game_option_allow_veterans_bit,
	_game_option_continuation_flag = 1u << _game_option_continuation_bit,
	_game_option_cooperative_flag = 1u << _game_option_cooperative_bit,
	_game_option_random_teams_flag = 1u << _game_option_random_teams_bit,
	_game_option_limited_terrain_visibility_flag = 1u << _game_option_limited_terrain_visibility_bit,
	_game_option_camera_tracking_initially_on_flag = 1u << _game_option_camera_tracking_initially_on_bit,
	_game_option_unused_flag = 1u << _game_option_unused_bit,
	_game_option_unused2_flag = 1u << _game_option_unused2_bit,
	_game_option_allow_alliances_flag = 1u << _game_option_allow_alliances_bit,
	_game_option_allow_overhead_map_flag = 1u << _game_option_allow_overhead_map_bit,
	_game_option_order_game_flag = 1u << _game_option_order_game_bit,
	_game_option_server_is_observer_flag = 1u << _game_option_server_is_observer_bit,
	_game_option_restore_veterans_flag = 1u << _game_option_restore_veterans_bit,
	_game_option_patch_version_bit0_flag = 1u << _game_option_patch_version_bit0_bit,
	_game_option_patch_version_bit1_flag = 1u << _game_option_patch_version_bit1_bit,
	_game_option_deathmatch_flag = 1u << _game_option_deathmatch_bit,
	_game_option_uses_qel_flag = 1u << _game_option_uses_qel_bit,
	_game_option_uses_anticlump_flag = 1u << _game_option_uses_anticlump_bit,
	_game_option_team_captain_chosen_flag = 1u << _game_option_team_captain_chosen_bit,
	_game_option_version_151_flag = 1u << _game_option_version_151_bit,
	_game_option_version_unused1_flag = 1u << _game_option_version_unused1_bit,
	_game_option_version_unused2_flag = 1u << _game_option_version_unused2_bit,
	_game_option_version_unused3_flag = 1u << _game_option_version_unused3_bit,
	_game_option_version_unused4_flag = 1u << _game_option_version_unused4_bit,
	_game_option_version_modifier_flag = 1u << _game_option_version_modifier_bit,
	_game_option_has_captains_flag = 1u << _game_option_has_captains_bit
};

// The patch level (minor version) is ((option_flags >> 18) & 3) + 2.
#define GAME_OPTION_PATCH_LEVEL_SHIFT 18
#define GAME_OPTION_PATCH_LEVEL_MASK 3
#define GAME_OPTION_PATCH_LEVEL_BASE 2
#define GET_GAME_OPTIONS_PATCH_LEVEL(option_flags) \
	(static_cast<int16>((((option_flags) >> GAME_OPTION_PATCH_LEVEL_SHIFT) & GAME_OPTION_PATCH_LEVEL_MASK) + GAME_OPTION_PATCH_LEVEL_BASE))

enum // time states
{
	_game_time_pregame,
	_game_time_no_countdown,
	_game_time_countdown,
	_game_time_random_endgame_countdown,
	_game_time_suspended_ending,
	_game_time_ending,
	NUMBER_OF_GAME_TIME_STATES
};

enum // speed levels
{
	_game_speed_stopped,
	_game_speed_one_sixteenth,
	_game_speed_one_eigth,
	_game_speed_one_quarter,
	_game_speed_one_half,
	_game_speed_normal,
	_game_speed_two_times,
	_game_speed_four_times,
	_game_speed_eight_times,
	_game_speed_sixteen_times,
	_game_speed_thirty_two_times,
	_game_speed_sixty_four_times,
	NUMBER_OF_GAME_SPEEDS
};

enum // update_state
{
	_game_update_running,
	_game_update_stalled
};

#define GAME_SPEED_STRING_LIST_TAG TAG("inrs")
#define ENDING_TIME_IN_TICKS 300
#define SUSPENDED_ENDING_TIME_IN_TICKS 1
#define SYNCHRONIZATION_VERIFICATION_FREQUENCY 512
#define SYNCHRONIZATION_COMMAND_PERIOD 170
#define INITIAL_RESERVE_TIME 5
#define STALL_SAMPLE_PERIOD 600
#define MAXIMUM_STALLS_PER_SAMPLE_PERIOD 11
#define RESERVE_TIME_INCREMENT 2
#define RESTORE_MAXIMUM_TICKS_PER_FRAME 1800
#define MAXIMUM_GAME_PLAY_VERSION 1720
#define MINIMUM_BUILD_WITHOUT_HUMANS 32767
#define FIRST_BUILD_WITHOUT_OLD_RULES 372
// The build code a peer sends instead of a number when it plays on the LAN.
#define LAN_GAME_BUILD_CODE static_cast<int32>(TAG("LANG"))

/* ---------- game record */

struct game_data
{
	int16 state;
	int16 state_when_in_modal_dialog;
	int16 difficulty_level;
	int16 type;
	int16 scoring;
	uint16 initial_team_random_seed;
	int16 maximum_teams;
	int16 speed;
	uint32 flags;        // read and written through the game_flags_* helpers
	uint32 option_flags;
	int32 local_time;    // advanced by the timer thread; use game_local_time_*
	int16 maximum_ticks_per_frame;
	short_fixed fractional_local_time;
	int32 game_ticks_since_last_frame;
	int32 game_time;
	int32 game_time_at_end;
	int32 original_time_limit;
	int32 time_remaining;
	int16 time_state;
	int16 loaded;
	int32 target_time;
	int16 update_state;
	int16 reserve_time;
	// 32 bits: local_time passes 32767 after about 18 minutes.
	int32 sample_period_start_tick;
	int16 stall_count;
	int16 winning_team_index;
	int16 endgame_state;
	uint32 last_synchronization_verification_seed;
	int32 last_synchronization_verification_time;
	int32 synchronization_verification_generation_ticks;
};

// NULL before initialize_zerv.
extern game_data *game;

// The timer thread advances local_time and may read the flags, so both are
// reached atomically (relaxed: no other data is published through them).
inline uint32 game_flags_get(void)
{
	return std::atomic_ref<uint32>(game->flags).load(std::memory_order_relaxed);
}
inline bool game_flags_test(uint32 mask)
{
	return (game_flags_get() & mask) != 0;
}
inline void game_flags_set(uint32 mask)
{
	std::atomic_ref<uint32>(game->flags).fetch_or(mask, std::memory_order_relaxed);
}
inline void game_flags_clear(uint32 mask)
{
	std::atomic_ref<uint32>(game->flags).fetch_and(~mask, std::memory_order_relaxed);
}
inline void game_flags_store(uint32 value)
{
	std::atomic_ref<uint32>(game->flags).store(value, std::memory_order_relaxed);
}
inline int32 game_local_time_get(void)
{
	return std::atomic_ref<int32>(game->local_time).load(std::memory_order_relaxed);
}
inline void game_local_time_set(int32 value)
{
	std::atomic_ref<int32>(game->local_time).store(value, std::memory_order_relaxed);
}

extern const short_fixed game_speed_fractions[NUMBER_OF_GAME_SPEEDS];
extern const int16 maximum_ticks_per_frame_table[NUMBER_OF_GAME_TYPES];

// The rules generation of the running game (1300 to 1720).
extern int16 game_play_version;
// Set by dispose_zerv_from_old_map, cleared by the first executed tick.
extern boolean first_time_through_after_new_game;

/* ---------- setup records */

#define MAXIMUM_PLUGIN_DATA_SIZE 512

// 556 bytes, big-endian in films, saved games, packets and preferences.
struct new_game_parameter_data
{
	int16 type;
	int16 scoring;
	uint32 option_flags;
	int32 time_limit; // ticks; 0 or less means none
	file_tag scenario_tag;
	int16 difficulty_level;
	int16 maximum_players;
	uint16 initial_team_random_seed;
	int16 maximum_teams;
	uint32 random_seed;
	int32 pregame_time_limit; // ticks; less than 1 means none
	int32 unused;
	int32 version; // build code of the host
	int16 room_id;
	int16 plugin_count;
	uint8 plugin_data[MAXIMUM_PLUGIN_DATA_SIZE]; // never byte-swapped
};
STORED_SIZE(new_game_parameter_data, 556);

// 2556 bytes.
struct new_game_data
{
	new_game_parameter_data parameters;
	int16 player_count;
	int16 local_player_index;
	new_player_data players[MAXIMUM_PLAYERS_PER_MAP];
	uint8 unused[12];
};
STORED_SIZE(new_game_data, 2556);

// Covers the first 44 bytes of new_game_parameter_data.
extern const byte_swap_code new_game_parameter_byte_swapping_data[];
#define NEW_GAME_PARAMETER_SWAPPED_SIZE 44

extern const new_game_parameter_data default_new_game_parameter_data;

void byte_swap_new_game_data(new_game_data *setup);
void byte_swap_new_game_parameter_data(new_game_parameter_data *parameters);
// The checks every setup passes before a map starts with it (films and saved
// games included): type, counts, local player and the plugin list.
boolean setup_is_sound(const new_game_data *setup);

/* ---------- life cycle */

// Does not return on failure.
void initialize_zerv(void);
// True when the map is ready. NULL prepares the shell without a map.
boolean initialize_zerv_for_new_map(new_game_data *setup);
void dispose_zerv_from_old_map(void);
// One frame's game update; a negative elapsed counts as 0.
void update_zerv(int16 elapsed);

/* ---------- setup and version */

// Copies the default parameters (players untouched), then sets type and map.
void get_default_new_game_data(new_game_data *setup, int16 type, file_tag scenario_tag);
int16 compute_game_play_version(const new_game_data *setup, int16 minimum_build_number);
int16 compute_minimum_build_number(const new_game_data *setup);
// A static buffer for the computed forms.
const char *game_play_version_to_string(int16 version);
// Names a client by its build code; a static buffer.
const char *get_version_string(int32 build_code, boolean long_form);

/* ---------- speed and time */

void adjust_game_speed(boolean faster, boolean to_extreme);
short_fixed get_game_speed(void);
void pause_game(boolean on);
void pause_local_time(boolean on);
// The 30 Hz timer thread calls this; does nothing without a game record.
void advance_local_time(void);
// Returns the local ticks that actually passed.
int32 wait_local_time(int32 ticks);
// NONE restores the table value for the game type.
void set_maximum_ticks_per_frame(int16 ticks);

/* ---------- end of game */

void suspend_end_game(boolean on);
// The argument has no effect.
void end_game(boolean unused);
void clear_limited_visibility_if_applicable(void);
void game_is_out_of_sync(const char *file, int32 line);

/* ---------- others */

boolean test_minor_version(int16 minor);
int16 get_current_game_minor_version(void);
void invalidate_zerv_dialog(const rectangle2d *rectangle);
// At-exit handler: writes the game preferences and the screen parameters.
void save_preferences(void);

/* ---------- determinism checks */

// 64-bit FNV-1a over every module's digest slot, in a fixed order. Ticks split
// differently into frames give the same digest.
uint64 zerv_state_digest(void);

struct zerv_digest
{
	uint64 hash;
};
void zerv_digest_begin(zerv_digest *digest);
void zerv_digest_bytes(zerv_digest *digest, const void *bytes, int32 count);
// Fold a value as little-endian bytes of its width.
void zerv_digest_int8(zerv_digest *digest, int8 value);
void zerv_digest_int16(zerv_digest *digest, int16 value);
void zerv_digest_int32(zerv_digest *digest, int32 value);
void zerv_digest_int64(zerv_digest *digest, int64 value);
void zerv_digest_uint32(zerv_digest *digest, uint32 value);

// The core's own digest slot.
void zerv_fold_game_digest(zerv_digest *digest);

// Runs after each executed tick with the new game_time. It must not change
// state or draw random numbers. NULL removes it.
typedef void (*zerv_tick_hook_proc)(int32 game_time, void *data);
void set_zerv_tick_hook(zerv_tick_hook_proc proc, void *data);

/* ---------- test hooks */

struct zerv_test_hooks_data
{
	// NONE: map starts run in full. 0 or 1: a start with a setup fills the
	// game record (step 6) and then answers this, failing with its clean-up.
	int16 map_start_answer;
	// The hook slot of this name, filled or empty, answers false (to reach the
	// failure paths of start-up and map start).
	char failing_slot[64];
	// Added to the ticks of the next frame that runs its tick loop (to force the
	// out-of-sync path).
	int32 extra_run_next_frame;
	// Counts of the core's one-off events, for tests.
	int32 game_over_count;      // frames that ran the game-over step
	int32 sync_commands_queued;
	int32 out_of_sync_reports;
	int32 speed_popup_count;
	int32 version_popup_count;
	char last_popup_title[64];
	char last_popup_text[128];
	// Announcer sounds queued by the clock and the end of the game, in order.
	int32 game_sound_count;
	int16 game_sounds[32];
};

zerv_test_hooks_data *get_zerv_test_hooks(void);
void reset_zerv_test_hooks(void);

#endif
