// The game core's hook slots and services. A module that lands fills its
// slots here: an EMPTY_SLOT becomes a SLOT naming its procedure, and an empty
// service body gets its call. The names and the order stay as they are.
#include "zerv_hooks.h"

#include <cstdio>
#include <type_traits>

#include "alliances.h"
#include "commands.h"
#include "formations.h"
#include "monster_commands.h"
#include "bitmap_dialogs/dialogs.h"
#include "bitmap_dialogs/screens.h"
#include "bitmap_text.h"
#include "screen_preferences.h"
#include "console/console.h"
#include "definitions.h"
#include "detail_maps.h"
#include "error_manager.h"
#include "formations.h"
#include "flags.h"
#include "game_preferences.h"
#include "game_statistics.h"
#include "hardware/hardware_rasterizers.h"
#include "inifile.h"
#include "input/actions.h"
#include "input/sdl_input.h"
#include "interface.h"
#include "linux_utilities.h"
#include "local_projectiles.h"
#include "fire.h"
#include "mirror_groups.h"
#include "model_animations.h"
#include "model_effects.h"
#include "lightning.h"
#include "mesh_effects.h"
#include "particle_system.h"
#include "wind.h"
#include "connectors.h"
#include "damage.h"
#include "projectiles.h"
#include "scenery.h"
#include "main.h"
#include "map_actions/map_actions.h"
#include "markers.h"
#include "mesh.h"
#include "metaserver/metaserver.h"
#include "models.h"
#include "monster_ambient_life.h"
#include "monsters.h"
#include "monster_initializers.h"
#include "monster_visibility.h"
#include "unit_trading.h"
#include "objects.h"
#include "observer.h"
#include "overhead_map.h"
#include "path.h"
#include "players.h"
#include "postgame.h"
#include "preload_definitions.h"
#include "real_world.h"
#include "recording.h"
#include "render/render.h"
#include "screen.h"
#include "shapes.h"
#include "sniffing.h"
#include "sound/sound_manager.h"
#include "spatial_groups.h"
#include "string_definitions.h"
#include "tag_files/tag_files.h"
#include "test_hooks.h"
#include "world.h"
#include "zerv.h"
#include "zerv_networking/zerv_networking.h"

#define PROGRAM_TITLE_LINE "Zerv II 32-Bit"
#define OBSERVER_CONSTANTS_TAG TAG("obpc")
#define INTERFACE_DEFINITION_TAG TAG("stin")
#define FORMATION_DEFINITIONS_TAG TAG("info")

/* ---------- the hooks module's own per-map values */

struct zerv_hooks_globals_data
{
	file_tag scenario_tag; // of the map being started or running
	int16 plugin_indexes[MAXIMUM_PLAYERS_PER_MAP];
	int16 plugin_count;
	file_tag cached_map_tag; // the map whose tag cache was built last
	zerv_slot_observer_proc slot_observer;
	void *slot_observer_data;
};

static const zerv_hooks_globals_data initial_zerv_hooks_globals = {
	static_cast<file_tag>(NONE), {}, 0, static_cast<file_tag>(NONE), nullptr, nullptr};
static zerv_hooks_globals_data zerv_hooks_globals = initial_zerv_hooks_globals;

void reset_zerv_hooks_test_state(void)
{
	zerv_hooks_globals = initial_zerv_hooks_globals;
}

static bool read_current_mesh_header(mesh_header *header)
{
	if (zerv_hooks_globals.scenario_tag == static_cast<file_tag>(NONE)) return false;
	return read_mesh_header(zerv_hooks_globals.scenario_tag, header) != FALSE;
}

static file_tag current_mesh_wind_tag(void)
{
	mesh_header header;
	return read_current_mesh_header(&header) ? header.wind_tag : static_cast<file_tag>(NONE);
}

static file_tag current_mesh_particle_system_tag(void)
{
	mesh_header header;
	return read_current_mesh_header(&header) ? header.particle_system_tag : static_cast<file_tag>(NONE);
}

/* ---------- argument adaptors */

template <typename call_type>
static boolean hook_result(call_type call)
{
	using result_type = decltype(call());
	if constexpr (std::is_void_v<result_type>)
	{
		call();
		return TRUE;
	}
	else
	{
		return call() ? TRUE : FALSE;
	}
}

template <auto procedure, int argument>
static boolean hook_thunk(const zerv_hook_context *context)
{
	if constexpr (argument == _hook_no_arguments)
		return hook_result([&] { return procedure(); });
	else if constexpr (argument == _hook_setup_argument)
		return hook_result([&] { return procedure(context->setup); });
	else if constexpr (argument == _hook_scenario_tag_argument)
		return hook_result([&] { return procedure(context->scenario_tag); });
	else if constexpr (argument == _hook_obpc_argument)
		return hook_result([&] { return procedure(OBSERVER_CONSTANTS_TAG); });
	else if constexpr (argument == _hook_stin_argument)
		return hook_result([&] { return procedure(INTERFACE_DEFINITION_TAG); });
	else if constexpr (argument == _hook_info_argument)
		return hook_result([&] { return procedure(FORMATION_DEFINITIONS_TAG); });
	else if constexpr (argument == _hook_wind_tag_argument)
		return hook_result([&] { return procedure(current_mesh_wind_tag()); });
	else if constexpr (argument == _hook_particle_tag_argument)
		return hook_result([&] { return procedure(current_mesh_particle_system_tag()); });
	else if constexpr (argument == _hook_media_tag_argument)
		return hook_result([&] {
			mesh_header header;
			return procedure(read_current_mesh_header(&header) ? header.media_tag : static_cast<file_tag>(NONE));
		});
	else if constexpr (argument == _hook_intake_argument)
		return hook_result([&] { return procedure(context->intake); });
	else if constexpr (argument == _hook_no_map_argument)
		return hook_result([&] { return procedure(context->setup == nullptr); });
	else if constexpr (argument == _hook_players_argument)
		return hook_result([&] {
			return procedure(context->setup->player_count, context->setup->players, context->setup->local_player_index);
		});
	else if constexpr (argument == _hook_title_argument)
		return hook_result([&] { return procedure(PROGRAM_TITLE_LINE); });
	else if constexpr (argument == _hook_no_plugins_argument)
		return hook_result([&] { return procedure(FALSE, nullptr, 0, static_cast<int16>(NONE)); });
	else if constexpr (argument == _hook_endgame_state_argument)
		return hook_result([&] { return procedure(game->endgame_state); });
	else if constexpr (argument == _hook_game_time_argument)
		return hook_result([&] { return procedure(game->game_time); });
	else if constexpr (argument == _hook_true_argument)
		return hook_result([&] { return procedure(TRUE); });
	else if constexpr (argument == _hook_false_argument)
		return hook_result([&] { return procedure(FALSE); });
	else if constexpr (argument == _hook_zero_argument)
		return hook_result([&] { return procedure(static_cast<int16>(0)); });
	else if constexpr (argument == _hook_minus_one_argument)
		return hook_result([&] { return procedure(static_cast<int16>(-1)); });
	else
		static_assert(argument < 0, "unknown argument adaptor");
}

#define SLOT(step, procedure, condition, argument, failure) \
	{#procedure, hook_thunk<&procedure, argument>, step, condition, argument, failure}
#define EMPTY_SLOT(step, name, condition, argument, failure) \
	{name, nullptr, step, condition, argument, failure}

/* ---------- start-up (initialize_zerv) */

// Step 0 runs before the game record exists, step 1 before save_preferences
// is registered, step 2 after it.
static const zerv_hook_slot startup_hook_slots[] = {
	SLOT(0, preinitialize_definitions, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, initialize_error_state, _hook_always, _hook_title_argument, _hook_result_ignored),
	SLOT(0, initialize_preloading, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, inifile_load, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, initialize_shapes, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, initialize_string_definitions, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, initialize_font_definitions, _hook_always, _hook_no_arguments, _hook_result_ignored),

	SLOT(1, tag_files_initialize, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(1, tag_files_open, _hook_always, _hook_no_plugins_argument, _hook_result_ignored),
	SLOT(1, set_exclusive_mode, _hook_always, _hook_no_arguments, _hook_failure_exclusive_mode),
	SLOT(1, tag_files_required_patches_present, _hook_always, _hook_no_arguments, _hook_failure_required_patches),
	SLOT(1, load_interface_preferences, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(1, initialize_input_definition, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(1, initialize_world, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(1, initialize_real_world, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(1, initialize_render, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(1, initialize_interface, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(1, initialize_console, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(1, initialize_overhead_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(1, initialize_ingame_fades, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(1, initialize_media_definitions, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(1, initialize_models, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(1, initialize_markers, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(1, initialize_objects, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(1, initialize_scenery, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(1, initialize_projectiles, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(1, initialize_monsters, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(1, initialize_explosions, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(1, initialize_players, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(1, initialize_player_statistics, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(1, initialize_flags, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(1, initialize_mesh_effects, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(1, initialize_map_actions, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(1, initialize_particle_system, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(1, initialize_wind, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(1, initialize_commands, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(1, initialize_recording, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(1, initialize_detail_textures, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(1, initialize_detail_maps, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(1, initialize_mesh, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(1, initialize_lightning, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(1, initialize_connectors, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(1, initialize_fire, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(1, initialize_local_projectiles, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(1, initialize_model_animations, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(1, initialize_keybindings, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(1, initialize_screen, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(1, initialize_game_preferences, _hook_always, _hook_no_arguments, _hook_result_ignored),

	SLOT(2, initialize_actions, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(2, initialize_observer, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(2, initialize_formation_definitions, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(2, initialize_sound_manager, _hook_always, _hook_no_arguments, _hook_result_ignored),
	EMPTY_SLOT(2, "initialize_sound_list_definitions", _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(2, initialize_game_sounds, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(2, initialize_model_effects, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(2, initialize_overhead_text, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(2, kill_screen_saver, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(2, show_cursor, _hook_always, _hook_no_arguments, _hook_result_ignored),
};

/* ---------- new map (initialize_zerv_for_new_map) */

// Steps follow the map start: 1 first progress, 2 setup-only definitions,
// 4 after the start line, 5 fresh campaign, 8 shell without a map, 9 both,
// 10 renderer, 12 definitions and objects, 13 mesh and players, 14 veterans,
// 15 markers, 16 the rest.
static const zerv_hook_slot new_map_hook_slots[] = {
	SLOT(1, update_map_loading_progress_dialog, _hook_always, _hook_no_arguments, _hook_result_ignored),

	SLOT(2, initialize_preloading_for_new_map, _hook_always, _hook_scenario_tag_argument, _hook_result_ignored),
	SLOT(2, fetch_preloaded_definitions, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(2, initialize_string_definitions_for_new_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(2, initialize_recording_for_new_map, _hook_always, _hook_setup_argument, _hook_result_ignored),

	SLOT(4, refresh_foundation_checksum, _hook_always, _hook_no_arguments, _hook_result_ignored),

	SLOT(5, reset_permanent_player_rankings, _hook_unless_continuation, _hook_no_arguments, _hook_result_ignored),
	SLOT(5, reset_monster_initializers, _hook_unless_continuation, _hook_no_arguments, _hook_result_ignored),

	SLOT(8, initialize_string_definitions_for_new_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(8, initialize_recording_for_new_map, _hook_always, _hook_setup_argument, _hook_result_ignored),

	SLOT(9, initialize_shapes_for_new_map, _hook_always, _hook_no_map_argument, _hook_result_ignored),
	SLOT(9, initialize_font_definitions_for_new_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(9, initialize_sound_manager_for_new_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(9, initialize_actions_for_new_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(9, initialize_interface_for_new_map, _hook_always, _hook_stin_argument, _hook_result_ignored),
	SLOT(9, initialize_commands_for_new_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(9, flush_actions, _hook_always, _hook_no_arguments, _hook_result_ignored),

	SLOT(10, initialize_render_for_new_map, _hook_always, _hook_no_arguments, _hook_failure_handle_error),
	SLOT(10, set_vsync_interval, _hook_always, _hook_zero_argument, _hook_result_ignored),

	SLOT(12, sound_mute, _hook_always, _hook_true_argument, _hook_result_ignored),
	EMPTY_SLOT(12, "initialize_sound_list_definitions_for_new_map", _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(12, initialize_game_sounds_for_new_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(12, initialize_detail_textures_for_new_map, _hook_if_detail_maps_enabled, _hook_no_arguments, _hook_result_ignored),
	SLOT(12, initialize_detail_maps_for_new_map, _hook_if_detail_maps_enabled, _hook_no_arguments, _hook_result_ignored),
	SLOT(12, initialize_local_projectiles_for_new_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(12, initialize_models_for_new_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(12, initialize_model_animations_for_new_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(12, update_map_loading_progress_dialog, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(12, initialize_map_actions_for_new_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(12, initialize_objects_for_new_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(12, initialize_scenery_for_new_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(12, initialize_projectiles_for_new_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(12, initialize_monsters_for_new_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(12, initialize_explosions_for_new_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(12, initialize_mesh_effects_for_new_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(12, initialize_overhead_text_for_new_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(12, update_map_loading_progress_dialog, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(12, initialize_model_effects_for_new_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(12, initialize_media_definitions_for_new_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(12, initialize_connectors_for_new_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(12, initialize_lightning_for_new_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(12, media_definition_tag_to_index, _hook_if_mesh_header_read, _hook_media_tag_argument, _hook_result_ignored),
	SLOT(12, initialize_internal_projectiles_for_new_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(12, initialize_internal_projectile_groups_for_new_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(12, update_map_loading_progress_dialog, _hook_always, _hook_no_arguments, _hook_result_ignored),

	SLOT(13, initialize_mesh_for_new_map, _hook_always, _hook_scenario_tag_argument, _hook_failure_close_progress),
	SLOT(13, update_map_loading_progress_dialog, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(13, initialize_sound_mesh_parameters_for_new_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(13, initialize_rasterizer_mesh_parameters_for_new_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(13, initialize_markers_for_new_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(13, initialize_players_for_new_map, _hook_always, _hook_players_argument, _hook_result_ignored),
	SLOT(13, initialize_player_statistics_for_new_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(13, initialize_flags_for_new_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(13, initialize_fire_for_new_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(13, update_map_loading_progress_dialog, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(13, initialize_console_for_new_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(13, initialize_observer_for_new_map, _hook_always, _hook_obpc_argument, _hook_failure_restore_vsync),
	SLOT(13, initialize_overhead_map_for_new_game, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(13, initialize_ingame_fades_for_new_game, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(13, initialize_wind_for_new_map, _hook_always, _hook_wind_tag_argument, _hook_result_ignored),
	SLOT(13, initialize_particle_system_for_new_map, _hook_always, _hook_particle_tag_argument, _hook_result_ignored),

	SLOT(14, restore_monster_initializers_from_backup, _hook_if_restoring_veterans, _hook_no_arguments, _hook_result_ignored),
	SLOT(14, backup_monster_initializers, _hook_unless_restoring_veterans, _hook_no_arguments, _hook_result_ignored),
	SLOT(14, begin_recording_for_new_map, _hook_always, _hook_no_arguments, _hook_result_ignored),

	SLOT(15, add_markers_to_new_map, _hook_always, _hook_no_arguments, _hook_result_ignored),

	SLOT(16, build_initial_monster_visibility, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(16, initialize_camera_control_for_new_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(16, initialize_sniffing_for_new_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(16, create_connectors_for_new_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(16, update_map_loading_progress_dialog, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(16, preload_submesh_cache, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(16, update_map_loading_progress_dialog, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(16, preload_monster_sequences, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(16, update_map_loading_progress_dialog, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(16, update_player_statistics, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(16, update_map_actions, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(16, initialize_formation_definitions_for_new_map, _hook_always, _hook_info_argument, _hook_result_ignored),
	SLOT(16, initialize_status_bar_for_new_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(16, initialize_control_bar_for_new_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(16, initialize_monster_placements_for_new_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(16, open_unit_trading_dialog, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(16, mark_solo_level_as_visited, _hook_if_cooperative, _hook_scenario_tag_argument, _hook_result_ignored),
	SLOT(16, set_vsync_interval, _hook_always, _hook_minus_one_argument, _hook_result_ignored),
	SLOT(16, close_map_loading_progress_dialog, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(16, report_dependencies_for_new_map, _hook_if_space_held, _hook_scenario_tag_argument, _hook_result_ignored),
};

/* ---------- dispose (dispose_zerv_from_old_map) */

static const zerv_hook_slot dispose_hook_slots[] = {
	SLOT(0, dispose_preloading_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_sound_manager_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_unit_trading_dialog, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_observer_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_formation_definitions_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_overhead_text_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_camera_control_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_media_definitions_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_models_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_model_effects_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_fire_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_detail_textures_from_old_map, _hook_if_detail_maps_set_up, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_detail_maps_from_old_map, _hook_if_detail_maps_set_up, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_mesh_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_commands_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_particle_system_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_wind_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_lightning_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_connectors_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_mesh_effects_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_map_actions_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_player_statistics_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_sniffing_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_flags_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_players_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_monsters_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_explosions_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_projectiles_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_local_projectiles_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_model_animations_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_scenery_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_objects_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_actions_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_recording_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_overhead_map_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_game_sounds_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	EMPTY_SLOT(0, "dispose_sound_list_definitions_from_old_map", _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_string_definitions_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_font_definitions_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_shapes_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_interface_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_console_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_render_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_status_bar_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, dispose_control_bar_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
};

/* ---------- each game tick (after the commands of the tick) */

static const zerv_hook_slot tick_hook_slots[] = {
	SLOT(0, update_lightning, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, update_projectiles, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, update_monsters, _hook_unless_version_1300, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, update_monsters_13, _hook_if_version_1300, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, update_mesh_effects, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, update_map_actions, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, update_explosions, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, update_particle_clock, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, update_player_statistics, _hook_if_version_below_1701, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, update_model_effects, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, update_fire, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, update_mirror_groups, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, update_camera_tracking, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, handle_map_action_camera_control, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, update_connectors, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, update_animating_scenery, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, update_wind, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, update_model_animations, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, update_overhead_text, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, update_ingame_fades, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, update_monster_blips, _hook_unless_restoring, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, update_player_statistics, _hook_if_version_above_1700, _hook_no_arguments, _hook_result_ignored),
};

/* ---------- once per frame, after the ticks (10 running, 11 over) */

static const zerv_hook_slot frame_hook_slots[] = {
	SLOT(10, update_control_bar, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(10, update_particles, _hook_always, _hook_intake_argument, _hook_result_ignored),
	SLOT(10, update_game_sounds, _hook_always, _hook_intake_argument, _hook_result_ignored),
	SLOT(10, update_status_bar, _hook_always, _hook_no_arguments, _hook_result_ignored),

	SLOT(11, build_monster_initializers, _hook_if_veterans_kept, _hook_no_arguments, _hook_result_ignored),
	SLOT(11, encode_postgame_report, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(11, cache_endgame_state, _hook_always, _hook_endgame_state_argument, _hook_result_ignored),
	SLOT(11, zerv_game_is_over, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(11, update_status_bar, _hook_always, _hook_no_arguments, _hook_result_ignored),
};

/* ---------- the network end-game path brings the last map's players back */

static const zerv_hook_slot resurrect_hook_slots[] = {
	SLOT(0, ressurect_players_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
	SLOT(0, ressurect_player_statistics_from_old_map, _hook_always, _hook_no_arguments, _hook_result_ignored),
};

struct zerv_hook_table_data
{
	const zerv_hook_slot *slots;
	int32 count;
};

static const zerv_hook_table_data zerv_hook_tables[NUMBER_OF_ZERV_HOOK_TABLES] = {
	{startup_hook_slots, static_cast<int32>(NUMBEROF(startup_hook_slots))},
	{new_map_hook_slots, static_cast<int32>(NUMBEROF(new_map_hook_slots))},
	{dispose_hook_slots, static_cast<int32>(NUMBEROF(dispose_hook_slots))},
	{tick_hook_slots, static_cast<int32>(NUMBEROF(tick_hook_slots))},
	{frame_hook_slots, static_cast<int32>(NUMBEROF(frame_hook_slots))},
	{resurrect_hook_slots, static_cast<int32>(NUMBEROF(resurrect_hook_slots))},
};

const zerv_hook_slot *get_zerv_hook_table(int16 table, int32 *count)
{
	if (table < 0 || table >= NUMBER_OF_ZERV_HOOK_TABLES)
	{
		if (count) *count = 0;
		return nullptr;
	}
	if (count) *count = zerv_hook_tables[table].count;
	return zerv_hook_tables[table].slots;
}

/* ---------- running slots */

static bool veterans_are_kept(void)
{
	// A cooperative game keeps veterans only for a winner led by a human.
	if (game->option_flags & _game_option_cooperative_flag)
	{
		const team_data *team = get_team_data(game->winning_team_index);
		const player_data *captain = team ? get_player_data(team->captain_player_index) : nullptr;
		if (!captain || captain->type != _player_is_human) return false;
	}
	return true;
}

static bool restoring_veterans(void)
{
	return game->type == _game_type_local && !restoring_from_saved_game() &&
		(game->option_flags & _game_option_restore_veterans_flag);
}

static bool hook_condition_holds(int16 condition, const zerv_hook_context *context)
{
	switch (condition)
	{
	case _hook_always: return true;
	case _hook_if_version_1300: return game_play_version == 1300;
	case _hook_unless_version_1300: return game_play_version != 1300;
	case _hook_if_version_below_1701: return game_play_version < 1701;
	case _hook_if_version_above_1700: return game_play_version > 1700;
	case _hook_unless_restoring: return !restoring_from_saved_game();
	case _hook_if_detail_maps_enabled: return detail_maps_enabled() != FALSE;
	case _hook_if_detail_maps_set_up: return detail_maps_set_up() != FALSE;
	case _hook_unless_continuation:
		// Asked before the game record takes the setup's options.
		return !(context->setup && (context->setup->parameters.option_flags & _game_option_continuation_flag));
	case _hook_if_restoring_veterans: return restoring_veterans();
	case _hook_unless_restoring_veterans: return !restoring_veterans();
	case _hook_if_cooperative: return (game->option_flags & _game_option_cooperative_flag) != 0;
	case _hook_if_space_held: return key_down(_key_space) != FALSE;
	case _hook_if_mesh_header_read:
	{
		mesh_header header;
		return read_current_mesh_header(&header);
	}
	case _hook_if_veterans_kept: return veterans_are_kept();
	default: return false;
	}
}

void set_zerv_slot_observer(zerv_slot_observer_proc proc, void *data)
{
	zerv_hooks_globals.slot_observer = proc;
	zerv_hooks_globals.slot_observer_data = data;
}

int16 run_zerv_hook_slots(int16 table, int16 step, const zerv_hook_context *context)
{
	int32 count = 0;
	const zerv_hook_slot *slots = get_zerv_hook_table(table, &count);

	if (table == _zerv_new_map_hooks && context->setup) zerv_hooks_globals.scenario_tag = context->scenario_tag;

	for (int32 i = 0; i < count; ++i)
	{
		const zerv_hook_slot *slot = &slots[i];
		if (slot->step != step || !hook_condition_holds(slot->condition, context)) continue;

		service_trace(slot->name);
		const zerv_slot_observer_proc observer =
			table == _zerv_tick_hooks && slot->proc ? zerv_hooks_globals.slot_observer : nullptr;
		if (observer) observer(slot->name, FALSE, zerv_hooks_globals.slot_observer_data);
		boolean succeeded = slot->proc ? slot->proc(context) : TRUE; // an empty slot succeeds
		if (observer) observer(slot->name, TRUE, zerv_hooks_globals.slot_observer_data);
		if (!strcmp(slot->name, get_zerv_test_hooks()->failing_slot)) succeeded = FALSE;
		if (!succeeded && slot->failure != _hook_result_ignored) return slot->failure;
	}
	return _hook_result_ignored;
}

/* ---------- services: map start */

boolean zerv_service_decode_plugins(new_game_data *setup, char *missing, int32 missing_size, int16 *missing_count)
{
	new_game_parameter_data *p = &setup->parameters;
	missing_plugin_info missing_plugins[MAXIMUM_PLAYERS_PER_MAP];

	service_trace("tag_file_plugins_decode");
	zerv_hooks_globals.plugin_count = 0;
	*missing_count = 0;
	if (missing_size > 0) missing[0] = 0;

	int16 count = 0;
	const boolean all_present = tag_file_plugins_decode(zerv_hooks_globals.plugin_indexes, &count, p->plugin_data,
		MAXIMUM_PLUGIN_DATA_SIZE, nullptr);
	zerv_hooks_globals.plugin_count = PIN(count, 0, static_cast<int16>(MAXIMUM_PLAYERS_PER_MAP));
	if (all_present) return TRUE;

	const int32 found = tag_file_plugins_decode_missing(p->plugin_data, MAXIMUM_PLUGIN_DATA_SIZE, missing_plugins,
		MAXIMUM_PLAYERS_PER_MAP);
	for (int32 i = 0; i < found && i < MAXIMUM_PLAYERS_PER_MAP; ++i)
	{
		missing_plugins[i].name[sizeof(missing_plugins[i].name) - 1] = 0;
		const size_t used = strlen(missing);
		if (missing_size > 0 && used < static_cast<size_t>(missing_size))
		{
			snprintf(missing + used, missing_size - used, "%s%s", i ? "\r" : "", missing_plugins[i].name);
		}
	}
	*missing_count = static_cast<int16>(MAX(found, 1));
	return FALSE;
}

boolean zerv_service_game_is_solo_replay(void)
{
	service_trace("game_is_solo_replay");
	return game_is_solo_replay();
}

boolean zerv_service_open_game_tags(new_game_data *setup)
{
	const boolean local_folder_disabled =
		setup->parameters.type == _game_type_networked && metaserver_connected();
	const int16 patch_level = GET_GAME_OPTIONS_PATCH_LEVEL(setup->parameters.option_flags);

	service_trace("tag_files_open");
	if (tag_files_open(local_folder_disabled, zerv_hooks_globals.plugin_indexes, zerv_hooks_globals.plugin_count,
			patch_level))
	{
		return TRUE;
	}

	log_message(nullptr, NONE, "Error: Failed to load level tags, %s, plugin count is %d",
		local_folder_disabled ? "local folder disabled" : "local folder active", zerv_hooks_globals.plugin_count);
	log_message(nullptr, NONE, " ... the plugins were:");
	for (int16 i = 0;; ++i)
	{
		const char *name = zerv_service_plugin_name(setup, i);
		if (!name) break;
		log_message(nullptr, NONE, "  %s", name);
	}
	return FALSE;
}

const char *zerv_service_mesh_display_name(const new_game_data *setup)
{
	static char name[64];
	service_trace("get_mesh_display_name_in_plugin_list");
	name[0] = 0;
	get_mesh_display_name_in_plugin_list(setup->parameters.scenario_tag, name, sizeof(name),
		setup->parameters.plugin_data, MAXIMUM_PLUGIN_DATA_SIZE);
	name[sizeof(name) - 1] = 0;
	return name;
}

const char *zerv_service_plugin_name(const new_game_data *, int16 index)
{
	static plugin_info info;
	if (index < 0 || index >= zerv_hooks_globals.plugin_count) return nullptr;
	if (!tag_file_indexed_plugin_get(zerv_hooks_globals.plugin_indexes[index], &info)) return "";
	info.name[sizeof(info.name) - 1] = 0;
	return info.name;
}

// The list the preload module loaded for this map at step 2; a damaged one
// was dropped there, so it never reaches the cache builder.
static const preload_definition *map_preload_list(file_tag scenario_tag)
{
	if (scenario_tag == static_cast<file_tag>(NONE) || scenario_tag != zerv_hooks_globals.scenario_tag) return nullptr;
	return preload_definition_get();
}

void zerv_service_open_map_loading_progress_dialog(file_tag scenario_tag)
{
	if (game->type == _game_type_demo || (get_main_global_flags() & _enter_game_immediately_flag)) return;
	service_trace("open_map_loading_progress_dialog");
	open_map_loading_progress_dialog(scenario_tag,
		map_preload_list(scenario_tag) && scenario_tag != zerv_hooks_globals.cached_map_tag);
}

void zerv_service_close_map_loading_progress_dialog(void)
{
	service_trace("close_map_loading_progress_dialog");
	close_map_loading_progress_dialog();
}

void zerv_service_set_vsync_interval(int16 interval)
{
	service_trace("set_vsync_interval");
	set_vsync_interval(interval);
}

void zerv_service_prepare_tag_cache(file_tag scenario_tag)
{
	const preload_definition *preload = map_preload_list(scenario_tag);
	if (!preload) return;
	if (scenario_tag != zerv_hooks_globals.cached_map_tag)
	{
		service_trace("tag_files_build_cache");
		// A failed build is tried again on the next start of this map.
		if (tag_files_build_cache(preload_definition_get_data(), preload->preload_data_count))
		{
			zerv_hooks_globals.cached_map_tag = scenario_tag;
		}
		reset_open_map_progress_dialog();
	}
	// After a failed build the file on disk is another map's cache.
	if (zerv_hooks_globals.cached_map_tag != scenario_tag) return;
	service_trace("tag_files_open_cache");
	tag_files_open_cache();
}

const char *zerv_service_title_line(void)
{
	return PROGRAM_TITLE_LINE;
}

/* ---------- services: frames and ticks */

void zerv_service_update_status_bar(void)
{
	service_trace("update_status_bar");
	update_status_bar();
}

void zerv_service_network_process(void)
{
	service_trace("zerv_net_process");
	zerv_net_process();
}

void zerv_service_update_replay(int32 ticks)
{
	service_trace("update_replay");
	update_replay(ticks);
}

void zerv_service_local_command_intake(int32 target_time, int32 intake)
{
	service_trace("dequeue_outgoing_command");
	local_command_intake(target_time, intake);
}

void zerv_service_execute_monster_commands(int32 game_time)
{
	service_trace("execute_monster_commands");
	execute_monster_commands(game_time);
}

void zerv_service_first_tick(void)
{
	if (!restoring_from_saved_game())
	{
		service_trace("sound_mute");
		sound_mute(FALSE);
		if (game->type != _game_type_replay)
		{
			service_trace("broadcast_formation_definition");
			broadcast_formation_definition();
		}
	}
	if (get_game_preferences()->flags & _game_pref_show_mission_objectives_dialog_flag)
	{
		if (game->type == _game_type_local)
		{
			service_trace("push_help_button");
			push_help_button();
		}
		else if ((game->type == _game_type_networked || game->type == _game_type_demo) &&
			game->time_state == _game_time_no_countdown)
		{
			service_trace("show_status_map_description");
			show_status_map_description();
		}
	}
}

void zerv_service_team_captain_notification(void)
{
	service_trace("team_captain_notification");
	const team_data *team = get_team_data(player_globals.local_player_team_index);
	if (team && team->original_number_of_players > 1 && player_globals.local_player_index != NONE &&
		team->captain_player_index == player_globals.local_player_index)
	{
		service_trace("set_console_popup");
		set_console_popup(nullptr, get_networking_string(_team_captain_notification_msg_index), 150);
	}
}

void zerv_service_queue_game_sound(int16 sound)
{
	service_trace("queue_game_sound");
	queue_game_sound(sound);
}

void zerv_service_close_unit_trading_dialog(void)
{
	service_trace("close_unit_trading_dialog");
	close_unit_trading_dialog();
}

void zerv_service_unmark_monsters_being_traded(void)
{
	service_trace("unmark_monsters_being_traded");
	unmark_monsters_being_traded();
}

boolean zerv_service_local_player_is_network_originator(void)
{
	service_trace("local_player_is_network_originator");
	return local_player_is_network_originator();
}

void zerv_service_queue_sync_command(void)
{
	service_trace("queue_sync_command");
	queue_sync_command();
}

void zerv_service_console_popup(const char *title, const char *text, int16 ticks)
{
	service_trace("set_console_popup");
	set_console_popup(title, text, ticks);
}

void zerv_service_console_error(int16 error)
{
	service_trace("set_console_error");
	set_console_error(error);
}

/* ---------- services: end of game, speed, shell */

void zerv_service_build_net_game_standings(void)
{
	service_trace("build_hollax_net_game_standings");
	build_hollax_net_game_standings(0);
}

void zerv_service_finalize_winning_team(void)
{
	service_trace("finalize_winning_team");
	finalize_winning_team();
}

boolean zerv_service_mesh_is_training_map(void)
{
	mesh_header header;
	service_trace("read_mesh_header");
	return read_current_mesh_header(&header) && (header.flags & _mesh_is_training_map_flag);
}

void zerv_service_get_string(file_tag string_list, int16 index, char *buffer, int32 buffer_size)
{
	if (buffer_size < 1) return;
	const int16 list_index = string_list_tag_to_string_index(string_list);
	snprintf(buffer, buffer_size, "%s", get_string_from_list(list_index, index));
}

void zerv_service_invalidate_dialog(const rectangle2d *rectangle)
{
	rectangle2d moved = *rectangle;
	rectangle2d status_bar;
	if (status_bar_visible(&status_bar))
	{
		const int16 height = static_cast<int16>(status_bar.bottom - status_bar.top);
		moved.top = static_cast<int16>(moved.top + height);
		moved.bottom = static_cast<int16>(moved.bottom + height);
	}
	invalidate_dialog_rectangle(&moved);
}

void zerv_service_save_preferences(void)
{
	write_game_preferences();
	save_screen_parameters(&active_screen.prefs);
}

void zerv_service_platform_update(void)
{
	platform_specific_update(TRUE);
}

boolean zerv_service_restoring_from_saved_game(void)
{
	return restoring_from_saved_game();
}

/* ---------- digest slots, in a fixed order */

static const zerv_digest_slot zerv_digest_slots[] = {
	{"game", zerv_fold_game_digest},
	{"players", players_fold_digest},
	{"teams", teams_fold_digest},
	{"player statistics", player_statistics_fold_digest},
	{"flags", flags_fold_digest},
	{"alliances", alliances_fold_digest},
	{"monsters", fold_monsters_digest},
	{"objects", fold_objects_digest},
	{"models", fold_models_digest},
	{"projectiles", fold_projectiles_digest},
	{"explosions", fold_explosions_digest},
	{"scenery", fold_scenery_digest},
	{"connectors", fold_connectors_digest},
	{"map actions", map_actions_fold_digest},
	{"mesh", fold_mesh_digest},
	{"markers", fold_markers_digest},
	{"veterans", fold_monster_initializers_digest},
	{"paths", fold_paths_digest},
	{"formations", fold_formations_digest},
	{"spatial groups", spatial_groups_fold_digest},
	{"ambient life", ambient_life_fold_digest},
	{"sniffing", sniffing_fold_digest},
	{"model animations", fold_model_animations_digest},
	{"model effects", fold_model_effects_digest},
	{"mirror groups", fold_mirror_groups_digest},
	{"lightning", fold_lightning_digest},
	{"mesh effects", fold_mesh_effects_digest},
	{"particle clock", fold_particle_clock_digest},
	{"fire", fold_fire_digest},
	{"wind", fold_wind_digest},
};

const zerv_digest_slot *get_zerv_digest_slots(int32 *count)
{
	if (count) *count = static_cast<int32>(NUMBEROF(zerv_digest_slots));
	return zerv_digest_slots;
}
