// The player's persistent game options: the "game" preference record.
#ifndef GAME_PREFERENCES_H
#define GAME_PREFERENCES_H

#include <cstddef>

#include "cseries.h"
#include "byte_swapping.h"

#define MAXIMUM_SOLO_LEVELS_VISITED 300
#define GAME_PREFERENCES_PASSWORD_LENGTH 64
#define GAME_PREFERENCES_PLUGIN_DATA_SIZE 512
#define GAME_PREFERENCES_VERSION_NUMBER 1
#define MAXIMUM_GAME_PREFERENCES_RUN_COUNT 32767
#define NUMBER_OF_DIFFICULTY_LEVELS 5

enum // game preference flags
{
	_game_pref_censored_bit,
	_game_pref_static_main_menu_bit,
	_game_pref_show_subtitles_bit,
	_game_pref_warn_on_network_failure_bit,
	_game_pref_status_bar_visible_bit,
	_game_pref_control_bar_visible_bit,
	_game_pref_show_contesting_radius_bit,
	_game_pref_enabled_camera_tracking_by_default_bit,
	_game_pref_show_mission_objectives_dialog_bit,
	_game_pref_use_transparency_bit,
	_game_pref_qel_facing_arrows_bit,
	_game_pref_no_persistent_formations_bit,
	_game_pref_unused_1_bit,
	_game_pref_use_persistent_ready_bit,
	_game_pref_hide_underwater_bit,
	_game_pref_unused_2_bit,
	_game_pref_qel_selection_boxes_bit,
	_game_pref_autosave_films_bit,
	_game_pref_multicore_bit,
	NUMBER_OF_GAME_PREFERENCE_FLAGS,

	_game_pref_censored_flag = FLAG(_game_pref_censored_bit),
	_game_pref_static_main_menu_flag = FLAG(_game_pref_static_main_menu_bit),
	_game_pref_show_subtitles_flag = FLAG(_game_pref_show_subtitles_bit),
	_game_pref_warn_on_network_failure_flag = FLAG(_game_pref_warn_on_network_failure_bit),
	_game_pref_status_bar_visible_flag = FLAG(_game_pref_status_bar_visible_bit),
	_game_pref_control_bar_visible_flag = FLAG(_game_pref_control_bar_visible_bit),
	_game_pref_show_contesting_radius_flag = FLAG(_game_pref_show_contesting_radius_bit),
	_game_pref_enabled_camera_tracking_by_default_flag = FLAG(_game_pref_enabled_camera_tracking_by_default_bit),
	_game_pref_show_mission_objectives_dialog_flag = FLAG(_game_pref_show_mission_objectives_dialog_bit),
	_game_pref_use_transparency_flag = FLAG(_game_pref_use_transparency_bit),
	_game_pref_qel_facing_arrows_flag = FLAG(_game_pref_qel_facing_arrows_bit),
	_game_pref_no_persistent_formations_flag = FLAG(_game_pref_no_persistent_formations_bit),
	_game_pref_unused_1_flag = FLAG(_game_pref_unused_1_bit),
	_game_pref_use_persistent_ready_flag = FLAG(_game_pref_use_persistent_ready_bit),
	_game_pref_hide_underwater_flag = FLAG(_game_pref_hide_underwater_bit),
	_game_pref_unused_2_flag = FLAG(_game_pref_unused_2_bit),
	_game_pref_qel_selection_boxes_flag = FLAG(_game_pref_qel_selection_boxes_bit),
	_game_pref_autosave_films_flag = FLAG(_game_pref_autosave_films_bit),
	_game_pref_multicore_flag = FLAG(_game_pref_multicore_bit)
};

// 2312 bytes, stored big-endian.
struct game_preferences
{
	uint32 flags;
	int16 difficulty_level; // 0..4
	int16 number_of_solo_levels_visited; // 0..300
	file_tag solo_levels_visited[MAXIMUM_SOLO_LEVELS_VISITED];
	int16 run_count;
	int16 current_tip_index;
	char no_blood_password[GAME_PREFERENCES_PASSWORD_LENGTH];
	int16 padding1;
	int16 solo_plugin_count;
	uint8 solo_plugin_data[GAME_PREFERENCES_PLUGIN_DATA_SIZE];
	float overhead_map_scale_relative_to_default;
	int16 padding2;
	int16 multi_plugin_count;
	uint8 multi_plugin_data[GAME_PREFERENCES_PLUGIN_DATA_SIZE];
};
STORED_SIZE(game_preferences, 2312);
static_assert(offsetof(game_preferences, run_count) == 1208);
static_assert(offsetof(game_preferences, no_blood_password) == 1212);
static_assert(offsetof(game_preferences, solo_plugin_data) == 1280);
static_assert(offsetof(game_preferences, overhead_map_scale_relative_to_default) == 1792);
static_assert(offsetof(game_preferences, multi_plugin_data) == 1800);

inline constexpr byte_swap_code game_preferences_byte_swapping_data[] =
{
	_begin_bs_array, 1,
	_4byte, _2byte, _2byte, // flags, difficulty, visited count
	_begin_bs_array, MAXIMUM_SOLO_LEVELS_VISITED, _4byte, _end_bs_array,
	_2byte, _2byte, GAME_PREFERENCES_PASSWORD_LENGTH, // run count, tip index, password
	_2byte, _2byte, GAME_PREFERENCES_PLUGIN_DATA_SIZE, // padding, solo plugins
	_4byte, // overhead map scale
	_2byte, _2byte, GAME_PREFERENCES_PLUGIN_DATA_SIZE, // padding, multiplayer plugins
	_end_bs_array
};
static_assert(get_byte_swap_struct_size(game_preferences_byte_swapping_data) == sizeof(game_preferences));

struct preferences_globals;
// The record descriptor "game" (2312 bytes, version 1, code 0x4545).
extern preferences_globals game_preferences_globals;

// Reads the record, counts this start-up and writes it at once.
void initialize_game_preferences(void);
void write_game_preferences(void);
void default_game_preferences(game_preferences *preferences);
// Repairs the record; always accepts it.
boolean verify_game_preferences(game_preferences *preferences);
boolean solo_level_visited(file_tag mesh_tag);
void mark_solo_level_as_visited(file_tag mesh_tag);

// The loaded record; before initialize_game_preferences a record of verified
// defaults that is never written.
game_preferences *get_game_preferences(void);

#endif
