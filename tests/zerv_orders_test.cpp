// The fixed orders in which the game core calls every module, read from the
// service trace.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "CoreLibrary/cseries/test_hooks.h"
#include "main_globals.h"
#include "support/zerv_harness.h"
#include "zerv.h"
#include "zerv_hooks.h"

namespace {

// The trace with adjacent repeats folded: a filled slot and the least layer
// it calls both report the same name.
std::vector<std::string> folded_trace(void)
{
	std::vector<std::string> names;
	for (int32 i = 0; i < service_trace_count(); ++i)
	{
		const char *name = service_trace_get(i);
		if (names.empty() || names.back() != name) names.push_back(name);
	}
	return names;
}

std::string joined(const std::vector<std::string> &names)
{
	std::string text;
	for (const std::string &name : names) text += name + " ";
	return text;
}

// Each name must appear after the one before it, from position start on.
::testing::AssertionResult trace_in_order(const std::vector<std::string> &names, size_t start = 0)
{
	const std::vector<std::string> trace = folded_trace();
	size_t position = start;
	for (const std::string &name : names)
	{
		while (position < trace.size() && trace[position] != name) position += 1;
		if (position >= trace.size())
		{
			return ::testing::AssertionFailure() << "\"" << name << "\" missing in order in: " << joined(trace);
		}
		position += 1;
	}
	return ::testing::AssertionSuccess();
}

// The folded trace from the first entry equal to first up to (not including)
// the next entry equal to end.
std::vector<std::string> trace_between(const char *first, const char *end)
{
	const std::vector<std::string> trace = folded_trace();
	std::vector<std::string> names;
	size_t i = 0;
	while (i < trace.size() && trace[i] != first) i += 1;
	for (size_t start = i; i < trace.size(); ++i)
	{
		if (i > start && trace[i] == end) break;
		names.push_back(trace[i]);
	}
	return names;
}

int32 trace_count(const char *name)
{
	int32 count = 0;
	for (const std::string &entry : folded_trace())
	{
		if (entry == name) count += 1;
	}
	return count;
}

size_t last_trace_position(const char *name)
{
	const std::vector<std::string> trace = folded_trace();
	size_t last = 0;
	for (size_t i = 0; i < trace.size(); ++i)
	{
		if (trace[i] == name) last = i;
	}
	return last;
}

std::vector<std::string> slot_names(int16 table, int16 step)
{
	std::vector<std::string> names;
	int32 count = 0;
	const zerv_hook_slot *slots = get_zerv_hook_table(table, &count);
	for (int32 i = 0; i < count; ++i)
	{
		if (slots[i].step == step) names.push_back(slots[i].name);
	}
	return names;
}

TEST(zerv_orders, start_up_follows_the_fixed_order)
{
	// Every harness start runs the core's start-up, also later in one process.
	ASSERT_TRUE(harness_initialize(true));
	EXPECT_TRUE(trace_in_order({"preinitialize_definitions", "initialize_error_state", "initialize_preloading",
		"inifile_load", "initialize_shapes", "initialize_string_definitions", "initialize_font_definitions",
		"tag_files_initialize", "tag_files_open", "set_exclusive_mode", "tag_files_required_patches_present",
		"load_interface_preferences", "initialize_input_definition", "initialize_world", "initialize_real_world",
		"initialize_render", "initialize_interface", "initialize_console", "initialize_overhead_map",
		"initialize_ingame_fades", "initialize_media_definitions", "initialize_models", "initialize_markers",
		"initialize_objects", "initialize_scenery", "initialize_projectiles", "initialize_monsters",
		"initialize_explosions", "initialize_players", "initialize_player_statistics", "initialize_flags",
		"initialize_mesh_effects", "initialize_map_actions", "initialize_particle_system", "initialize_wind",
		"initialize_commands", "initialize_recording", "initialize_detail_textures", "initialize_detail_maps",
		"initialize_mesh", "initialize_lightning", "initialize_connectors", "initialize_fire",
		"initialize_local_projectiles", "initialize_model_animations", "initialize_keybindings", "initialize_screen",
		"initialize_game_preferences", "save_preferences", "initialize_actions", "initialize_observer",
		"initialize_formation_definitions", "initialize_sound_manager", "initialize_sound_list_definitions",
		"initialize_game_sounds", "initialize_model_effects", "initialize_overhead_text", "kill_screen_saver",
		"show_cursor", "dispose_preloading_from_old_map"}));
	// The selection layer owns the formations' own life cycle.
	EXPECT_EQ(service_trace_find("initialize_formations", 0), NONE);
	harness_shutdown();
}

class zerv_orders_map : public zerv_harness_fixture
{
protected:
	void SetUp() override
	{
		zerv_harness_fixture::SetUp();
		harness_default_setup(&setup);
		service_trace_clear();
		service_trace_enable(true);
	}

	new_game_data setup;
};

TEST_F(zerv_orders_map, a_map_start_follows_the_fixed_order)
{
	ASSERT_TRUE(harness_start_map(&setup));
	EXPECT_TRUE(trace_in_order({"update_map_loading_progress_dialog", "initialize_preloading_for_new_map",
		"fetch_preloaded_definitions", "initialize_string_definitions_for_new_map", "initialize_recording_for_new_map",
		"tag_file_plugins_decode", "tag_files_open", "get_mesh_display_name_in_plugin_list",
		"refresh_foundation_checksum", "reset_permanent_player_rankings", "reset_monster_initializers",
		"initialize_shapes_for_new_map", "initialize_font_definitions_for_new_map",
		"initialize_sound_manager_for_new_map", "initialize_actions_for_new_map", "initialize_interface_for_new_map",
		"initialize_commands_for_new_map", "flush_actions", "initialize_render_for_new_map", "set_vsync_interval",
		"open_map_loading_progress_dialog", "sound_mute", "initialize_sound_list_definitions_for_new_map",
		"initialize_game_sounds_for_new_map", "initialize_local_projectiles_for_new_map",
		"initialize_models_for_new_map", "initialize_model_animations_for_new_map",
		"update_map_loading_progress_dialog", "initialize_map_actions_for_new_map", "initialize_objects_for_new_map",
		"initialize_scenery_for_new_map", "initialize_projectiles_for_new_map", "initialize_monsters_for_new_map",
		"initialize_explosions_for_new_map", "initialize_mesh_effects_for_new_map",
		"initialize_overhead_text_for_new_map", "update_map_loading_progress_dialog",
		"initialize_model_effects_for_new_map", "initialize_media_definitions_for_new_map",
		"initialize_connectors_for_new_map", "initialize_lightning_for_new_map",
		"initialize_internal_projectiles_for_new_map", "initialize_internal_projectile_groups_for_new_map",
		"update_map_loading_progress_dialog", "initialize_mesh_for_new_map", "update_map_loading_progress_dialog",
		"initialize_sound_mesh_parameters_for_new_map", "initialize_rasterizer_mesh_parameters_for_new_map",
		"initialize_markers_for_new_map", "initialize_players_for_new_map", "initialize_player_statistics_for_new_map",
		"initialize_flags_for_new_map", "initialize_fire_for_new_map", "update_map_loading_progress_dialog",
		"initialize_console_for_new_map", "initialize_observer_for_new_map", "initialize_overhead_map_for_new_game",
		"initialize_ingame_fades_for_new_game", "initialize_wind_for_new_map",
		"initialize_particle_system_for_new_map", "backup_monster_initializers", "add_markers_to_new_map",
		"build_initial_monster_visibility", "initialize_camera_control_for_new_map", "initialize_sniffing_for_new_map",
		"create_connectors_for_new_map", "update_map_loading_progress_dialog", "preload_submesh_cache",
		"update_map_loading_progress_dialog", "preload_monster_sequences", "update_map_loading_progress_dialog",
		"update_player_statistics", "update_map_actions", "initialize_formation_definitions_for_new_map",
		"initialize_status_bar_for_new_map", "initialize_control_bar_for_new_map",
		"initialize_monster_placements_for_new_map", "open_unit_trading_dialog", "set_vsync_interval",
		"close_map_loading_progress_dialog"}));
	// Once each in the last step, and no cooperative or dependency extras.
	EXPECT_EQ(trace_count("update_map_actions"), 1);
	EXPECT_EQ(trace_count("update_player_statistics"), 1);
	EXPECT_EQ(trace_count("mark_solo_level_as_visited"), 0);
	EXPECT_EQ(trace_count("report_dependencies_for_new_map"), 0);
	EXPECT_EQ(trace_count("restore_monster_initializers_from_backup"), 0);
	EXPECT_EQ(service_trace_find("initialize_formations_for_new_map", 0), NONE);
}

TEST_F(zerv_orders_map, a_continued_cooperative_campaign_keeps_its_rankings_and_restores_veterans)
{
	setup.parameters.option_flags |=
		_game_option_continuation_flag | _game_option_cooperative_flag | _game_option_restore_veterans_flag;
	ASSERT_TRUE(harness_start_map(&setup));
	EXPECT_EQ(trace_count("reset_permanent_player_rankings"), 0);
	EXPECT_EQ(trace_count("reset_monster_initializers"), 0);
	EXPECT_EQ(trace_count("restore_monster_initializers_from_backup"), 1);
	EXPECT_EQ(trace_count("backup_monster_initializers"), 0);
	EXPECT_TRUE(trace_in_order({"open_unit_trading_dialog", "mark_solo_level_as_visited", "set_vsync_interval"}));
}

TEST_F(zerv_orders_map, the_shell_without_a_map_prepares_only_its_part)
{
	ASSERT_TRUE(initialize_zerv_for_new_map(nullptr));
	EXPECT_TRUE(trace_in_order({"update_map_loading_progress_dialog", "initialize_string_definitions_for_new_map",
		"initialize_recording_for_new_map", "initialize_shapes_for_new_map", "initialize_font_definitions_for_new_map",
		"initialize_sound_manager_for_new_map", "initialize_actions_for_new_map", "initialize_interface_for_new_map",
		"initialize_commands_for_new_map", "flush_actions"}));
	EXPECT_EQ(trace_count("initialize_render_for_new_map"), 0);
	EXPECT_EQ(trace_count("tag_files_open"), 0);
}

TEST_F(zerv_orders_map, dispose_follows_the_fixed_order)
{
	ASSERT_TRUE(harness_start_map(&setup));
	service_trace_clear();
	harness_end_map();
	EXPECT_TRUE(trace_in_order({"dispose_preloading_from_old_map", "dispose_sound_manager_from_old_map",
		"dispose_unit_trading_dialog", "dispose_observer_from_old_map", "dispose_formation_definitions_from_old_map",
		"dispose_overhead_text_from_old_map", "dispose_camera_control_from_old_map",
		"dispose_media_definitions_from_old_map", "dispose_models_from_old_map", "dispose_model_effects_from_old_map",
		"dispose_fire_from_old_map", "dispose_mesh_from_old_map", "dispose_commands_from_old_map",
		"dispose_particle_system_from_old_map", "dispose_wind_from_old_map", "dispose_lightning_from_old_map",
		"dispose_connectors_from_old_map", "dispose_mesh_effects_from_old_map", "dispose_map_actions_from_old_map",
		"dispose_player_statistics_from_old_map", "dispose_sniffing_from_old_map", "dispose_flags_from_old_map",
		"dispose_players_from_old_map", "dispose_monsters_from_old_map", "dispose_explosions_from_old_map",
		"dispose_projectiles_from_old_map", "dispose_local_projectiles_from_old_map",
		"dispose_model_animations_from_old_map", "dispose_scenery_from_old_map", "dispose_objects_from_old_map",
		"dispose_actions_from_old_map", "dispose_recording_from_old_map", "dispose_overhead_map_from_old_map",
		"dispose_game_sounds_from_old_map", "dispose_sound_list_definitions_from_old_map",
		"dispose_string_definitions_from_old_map", "dispose_font_definitions_from_old_map",
		"dispose_shapes_from_old_map", "dispose_interface_from_old_map", "dispose_console_from_old_map",
		"dispose_render_from_old_map", "dispose_status_bar_from_old_map", "dispose_control_bar_from_old_map"}));
	EXPECT_TRUE(first_time_through_after_new_game);
}


std::vector<std::string> one_tick_at_version(new_game_data *setup, int16 version)
{
	EXPECT_TRUE(harness_start_map(setup));
	game_play_version = version;
	game->target_time = INITIAL_RESERVE_TIME;
	update_zerv(1); // the first tick
	service_trace_clear();
	update_zerv(1);
	EXPECT_EQ(game->game_time, 2);
	return trace_between("execute_monster_commands", "update_control_bar");
}

TEST_F(zerv_orders_map, ticks_at_version_1300_run_the_old_unit_update_and_statistics_early)
{
	const std::vector<std::string> expected = {"execute_monster_commands", "update_lightning", "update_projectiles",
		"update_monsters_13", "update_mesh_effects", "update_map_actions", "update_explosions", "update_particle_clock",
		"update_player_statistics", "update_model_effects", "update_fire", "update_mirror_groups",
		"update_camera_tracking", "handle_map_action_camera_control", "update_connectors", "update_animating_scenery",
		"update_wind", "update_model_animations", "update_overhead_text", "update_ingame_fades",
		"update_monster_blips"};
	EXPECT_EQ(one_tick_at_version(&setup, 1300), expected);
}

TEST_F(zerv_orders_map, ticks_at_version_1700_keep_statistics_after_the_particle_clock)
{
	const std::vector<std::string> expected = {"execute_monster_commands", "update_lightning", "update_projectiles",
		"update_monsters", "update_mesh_effects", "update_map_actions", "update_explosions", "update_particle_clock",
		"update_player_statistics", "update_model_effects", "update_fire", "update_mirror_groups",
		"update_camera_tracking", "handle_map_action_camera_control", "update_connectors", "update_animating_scenery",
		"update_wind", "update_model_animations", "update_overhead_text", "update_ingame_fades",
		"update_monster_blips"};
	EXPECT_EQ(one_tick_at_version(&setup, 1700), expected);
}

TEST_F(zerv_orders_map, ticks_from_version_1701_update_statistics_last)
{
	const std::vector<std::string> expected = {"execute_monster_commands", "update_lightning", "update_projectiles",
		"update_monsters", "update_mesh_effects", "update_map_actions", "update_explosions", "update_particle_clock",
		"update_model_effects", "update_fire", "update_mirror_groups", "update_camera_tracking",
		"handle_map_action_camera_control", "update_connectors", "update_animating_scenery", "update_wind",
		"update_model_animations", "update_overhead_text", "update_ingame_fades", "update_monster_blips",
		"update_player_statistics"};
	EXPECT_EQ(one_tick_at_version(&setup, 1701), expected);
}

TEST_F(zerv_orders_map, no_blips_while_restoring)
{
	main_globals.restoring_from_save_game = TRUE;
	const std::vector<std::string> tick = one_tick_at_version(&setup, 1720);
	main_globals.restoring_from_save_game = FALSE;
	ASSERT_FALSE(tick.empty());
	for (const std::string &name : tick) EXPECT_NE(name, "update_monster_blips");
}

TEST_F(zerv_orders_map, the_first_tick_unmutes_and_frame_slots_run_once_per_frame)
{
	ASSERT_TRUE(harness_start_map(&setup));
	game->target_time = 1000;
	service_trace_clear();
	harness_run_frames(3, 4);
	EXPECT_EQ(game->game_time, 12);
	EXPECT_EQ(trace_count("execute_monster_commands"), 12);
	EXPECT_EQ(trace_count("update_control_bar"), 3);
	EXPECT_EQ(trace_count("update_particles"), 3);
	EXPECT_EQ(trace_count("update_game_sounds"), 3);
	EXPECT_EQ(trace_count("update_status_bar"), 3);
	EXPECT_EQ(trace_count("broadcast_formation_definition"), 1);
	EXPECT_TRUE(trace_in_order({"execute_monster_commands", "sound_mute", "broadcast_formation_definition",
		"update_lightning"}));
	EXPECT_FALSE(first_time_through_after_new_game);
	// Per tick before per frame: the last tick's slots precede the frame's.
	EXPECT_TRUE(trace_in_order({"update_monster_blips", "update_player_statistics", "update_control_bar",
		"update_particles", "update_game_sounds", "update_status_bar"}, last_trace_position("execute_monster_commands")));
}

TEST_F(zerv_orders_map, frames_without_a_whole_tick_only_refresh_the_status_bar)
{
	ASSERT_TRUE(harness_start_map(&setup));
	game->speed = _game_speed_one_half;
	service_trace_clear();
	update_zerv(1);
	EXPECT_EQ(folded_trace(), std::vector<std::string>{"update_status_bar"});
}

// A failing step cleans up as its own and starts nothing after it.
std::vector<std::string> trace_after_failure(new_game_data *setup, const char *failing)
{
	snprintf(get_zerv_test_hooks()->failing_slot, sizeof(get_zerv_test_hooks()->failing_slot), "%s", failing);
	EXPECT_FALSE(initialize_zerv_for_new_map(setup));
	get_zerv_test_hooks()->failing_slot[0] = 0;
	const std::vector<std::string> trace = trace_between(failing, "no such name");
	return std::vector<std::string>(trace.begin() + (trace.empty() ? 0 : 1), trace.end());
}

TEST_F(zerv_orders_map, a_failed_observer_restores_vsync_and_closes_the_progress_dialog)
{
	EXPECT_EQ(trace_after_failure(&setup, "initialize_observer_for_new_map"),
		(std::vector<std::string>{"set_vsync_interval", "close_map_loading_progress_dialog"}));
}

TEST_F(zerv_orders_map, a_failed_mesh_closes_the_progress_dialog)
{
	// The mesh's own services run before its failure is seen.
	EXPECT_EQ(trace_after_failure(&setup, "initialize_mesh_for_new_map"),
		(std::vector<std::string>{"update_map_loading_progress_dialog", "initialize_media_coverage_region",
			"close_map_loading_progress_dialog"}));
}

TEST_F(zerv_orders_map, a_failed_renderer_opens_no_progress_dialog)
{
	EXPECT_TRUE(trace_after_failure(&setup, "initialize_render_for_new_map").empty());
	EXPECT_EQ(trace_count("open_map_loading_progress_dialog"), 0);
}

TEST_F(zerv_orders_map, every_table_reports_filled_and_empty_slots_alike)
{
	const std::vector<std::string> resurrect = slot_names(_zerv_resurrect_hooks, 0);
	EXPECT_EQ(resurrect, (std::vector<std::string>{"ressurect_players_from_old_map",
		"ressurect_player_statistics_from_old_map"}));
	const zerv_hook_context context = {nullptr, static_cast<file_tag>(NONE), 0};
	EXPECT_EQ(run_zerv_hook_slots(_zerv_resurrect_hooks, 0, &context), _hook_result_ignored);
	EXPECT_TRUE(trace_in_order(resurrect));
	EXPECT_EQ(get_zerv_hook_table(NUMBER_OF_ZERV_HOOK_TABLES, nullptr), nullptr);
}

}
