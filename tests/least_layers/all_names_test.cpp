// Every service the rest of the game calls in the least layers exists under
// its own name: the table below takes each one's address, so a missing or
// misspelt name fails the build (kept in the binary, so the link checks it too).

#include "bitmaps.h"
#include "bitmap_text.h"
#include "shapes.h"
#include "screen.h"
#include "render/render.h"
#include "hardware/hardware_rasterizer.h"
#include "CoreLibrary/input/sdl_input.h"
#include "input/actions.h"
#include "console/console.h"
#include "observer.h"
#include "interface.h"
#include "overhead_map.h"
#include "selection.h"
#include "bitmap_dialogs/dialogs.h"
#include "bitmap_dialogs/screens.h"
#include "cutscenes/cutscenes.h"
#include "CoreLibrary/uber/NetModuleManager/net_module_manager.h"
#include "zerv_networking/zerv_networking.h"
#include "metaserver/metaserver.h"
#include "sound/sound_manager.h"

#define NAME(f) reinterpret_cast<const void *>(&f)

__attribute__((used)) static const void *const rendering_names[] = {
	NAME(add_adjusted_shading_table_to_collection_index), NAME(add_blend_table_to_collection_index),
	NAME(add_shading_table_to_collection_index), NAME(add_shading_table_to_mesh),
	NAME(build_extended_bitmap_surface_triangles), NAME(copy_bits_from_render_view_hardware),
	NAME(create_detail_texture_hardware), NAME(dispose_detail_texture_hardware), NAME(custom_collection_reference),
	NAME(display_backbuffer), NAME(double_byte_character), NAME(draw_string), NAME(string_width),
	NAME(fill_rectangle_clipped), NAME(fill_polygon), NAME(frame_polygon), NAME(get_transparency_table),
	NAME(get_interface_font_index), NAME(get_interface_color), NAME(equalize_sequence_collision_rectangles),
	NAME(get_active_resolution_data), NAME(get_bitmap_instance), NAME(get_bitmap), NAME(get_collection_index),
	NAME(get_collection_reference_permutation), NAME(get_color_table), NAME(get_game_screen_bounds),
	NAME(get_next_character), NAME(get_pixel_upshift_for_bit_depth), NAME(get_previous_character),
	NAME(get_render_destination), NAME(release_render_destination), NAME(get_sequence_frame), NAME(get_sequence),
	NAME(get_shadow_map), NAME(get_shading_table), NAME(get_blend_table), NAME(get_remapping_table),
	NAME(get_submesh_bitmap_base_address), NAME(hsv_color_to_rgb_color), NAME(rgb_color_to_hsv_color),
	NAME(initialize_font_definitions_for_new_map), NAME(initialize_rasterizer_mesh_parameters_for_new_map),
	NAME(preload_submesh_cache), NAME(initialize_media_coverage_region), NAME(dispose_media_coverage_region),
	NAME(initialize_render_for_new_map), NAME(initialize_shapes_for_new_map), NAME(initialize_shapes),
	NAME(initialize_font_definitions), NAME(initialize_render), NAME(initialize_screen),
	NAME(is_resolution_collection), NAME(mesh_texture_pixel_is_media), NAME(mirror_bitmap_horizontally),
	NAME(offset_rectangle2d), NAME(rectangle2d_height), NAME(point_in_visible_mesh_region),
	NAME(precalculate_bitmap_row_addresses), NAME(preload_sequence_index), NAME(quad_into_triangles),
	NAME(rasterize_permanent_overlay), NAME(rasterize_volatile_shadow_map_overlay),
	NAME(register_postrasterization_effect), NAME(register_prerender_effect), NAME(render_begin_hardware),
	NAME(render_end_hardware), NAME(draw_control_or_status_bar_hardware), NAME(render_malloc),
	NAME(render_scene), NAME(report_preloaded_bitmaps), NAME(reset_active_screen_to_prefs),
	NAME(set_screen_parameters), NAME(set_global_tint_color), NAME(set_rectangle2d), NAME(adjust_rectangle2d),
	NAME(set_shading_table_permutation_data), NAME(set_vsync_interval), NAME(sizeof_color_table),
	NAME(toggle_windowed_mode), NAME(toggle_frame_rate_display), NAME(transform_world_point_to_viewer_space),
	NAME(build_bitmap_surface_rectangle), NAME(verify_sequence_index), NAME(iconify_window)};

__attribute__((used)) static const void *const player_interface_names[] = {
	NAME(action_for_overhead_map), NAME(adjust_action_pointer), NAME(append_chat), NAME(build_observer_view),
	NAME(cprintf), NAME(delete_overhead_text), NAME(erase_sketch_points), NAME(flush_actions),
	NAME(get_camera_control_flags), NAME(get_observer_location), NAME(get_observer_zoom_factor),
	NAME(highlight_all), NAME(toggle_sdl_grab_mode), NAME(key_down), NAME(highlight_movement_destinations),
	NAME(initialize_actions), NAME(initialize_actions_for_new_map), NAME(initialize_keybindings),
	NAME(initialize_input_definition), NAME(get_input_definition), NAME(initialize_interface),
	NAME(initialize_interface_for_new_map), NAME(initialize_camera_control_for_new_map),
	NAME(update_camera_tracking), NAME(handle_map_action_camera_control), NAME(handle_camera_control),
	NAME(set_camera_control_flags), NAME(initialize_console), NAME(initialize_console_for_new_map),
	NAME(set_console_popup), NAME(set_console_error), NAME(restore_cached_console_text),
	NAME(get_console_input_state), NAME(initialize_control_bar_for_new_map), NAME(update_control_bar),
	NAME(control_bar_visible), NAME(set_control_bar_visibility), NAME(get_control_bar_dialog),
	NAME(initialize_ingame_fades), NAME(initialize_ingame_fades_for_new_game), NAME(update_ingame_fades),
	NAME(initialize_observer_for_new_map), NAME(initialize_overhead_map), NAME(initialize_overhead_map_for_new_game),
	NAME(toggle_overhead_map_drawing_state), NAME(update_monster_blips), NAME(initialize_overhead_text),
	NAME(initialize_overhead_text_for_new_map), NAME(update_overhead_text), NAME(initialize_status_bar_for_new_map),
	NAME(update_status_bar), NAME(status_bar_visible), NAME(set_status_bar_visibility), NAME(push_pause_button),
	NAME(push_help_button), NAME(show_status_map_description), NAME(get_status_bar_dialog),
	NAME(new_observer_palette_entry), NAME(push_overhead_map_button), NAME(queue_input_event_if_necessary),
	NAME(remove_monster_index_from_all_selections), NAME(remove_monster_index_from_current_selections),
	NAME(save_cached_console_text), NAME(set_actual_observer_location_and_zoom),
	NAME(set_keyboard_queue_task_state), NAME(set_observer_focus), NAME(set_observer_shaking),
	NAME(set_preset_selection_by_identifiers), NAME(set_status_bar_height), NAME(sound_listener_proc),
	NAME(submit_sketch_points_to_overhead_map), NAME(update_actions),
	NAME(update_observer_physics_variables_for_action), NAME(update_observer_physics_variables),
	NAME(update_selection), NAME(advance_mission), NAME(build_interface_overlay_surface_list),
	NAME(get_last_action_pointer), NAME(get_overhead_map_state), NAME(get_sdl_grab_mode), NAME(set_sdl_grab_mode),
	NAME(new_overhead_text), NAME(new_pick_by_point_state), NAME(pick), NAME(rasterize_interface_effects),
	NAME(set_ingame_fade), NAME(test_action_flag), NAME(pump_platform_events)};

__attribute__((used)) static const void *const dialog_names[] = {
	NAME(add_player_to_list), NAME(clear_player_list), NAME(player_list_show_ready_icons),
	NAME(append_tags_to_tag_list), NAME(get_tag_list_selected_header), NAME(bitmap_empty_list),
	NAME(bitmap_set_list_maximum_row_count), NAME(bitmap_set_list_flag), NAME(bitmap_set_listbox_doubleclick_itemhit),
	NAME(bitmap_select_list_item), NAME(bitmap_focus_on_list_item), NAME(bitmap_get_listbox_value),
	NAME(bitmap_get_listbox_row_count), NAME(bitmap_rename_tag), NAME(bitmap_standard_put_tag),
	NAME(cache_endgame_state), NAME(close_all_dialogs), NAME(idle_dialogs), NAME(render_dialogs),
	NAME(dialogs_are_dirty), NAME(get_dialog_to_rasterize), NAME(rasterize_dialog_hardware),
	NAME(invalidate_dialog_rectangle), NAME(dialogs_handled_action), NAME(display_cutscene), NAME(found_cutscene),
	NAME(display_mesh_epilogue), NAME(display_mesh_prologue), NAME(dispose_dialog), NAME(move_dialog),
	NAME(get_dialog_bounds), NAME(set_dialog_background), NAME(easy_plugins_dialog),
	NAME(initialize_entry_point_cache), NAME(reset_entry_point_cache), NAME(cache_entrypoints_for_plugin_data),
	NAME(append_entry_points_to_list), NAME(get_mesh_display_name_in_plugin_list), NAME(get_dialog_item_bounds),
	NAME(set_dialog_item_bounds), NAME(bitmap_set_item_visible), NAME(handle_preferences_dialog),
	NAME(load_interface_preferences), NAME(new_dialog), NAME(modal_dialog), NAME(set_button_control_shape),
	NAME(set_dialog_item_keyboard_equivalent), NAME(bitmap_set_item_enabled), NAME(set_button_transparency),
	NAME(set_dialog_bitmap_art), NAME(new_unpressed_control), NAME(set_dialog_static_item_text_appearance),
	NAME(set_bitmap_dialog_static_item_text), NAME(open_postgame_carnage_report_dialog),
	NAME(close_postgame_carnage_report_dialog), NAME(close_quit_dialog), NAME(close_game_hints_dialog),
	NAME(game_hints_dialog_is_open), NAME(open_unit_trading_dialog), NAME(close_unit_trading_dialog),
	NAME(unit_trading_dialog_visible), NAME(register_zerv_controls), NAME(set_bitmap_dialog_edit_item_text),
	NAME(get_bitmap_dialog_edit_item_text), NAME(set_button_control_name), NAME(get_button_control_name),
	NAME(set_default_dialog_item), NAME(set_dialog_cancel_item), NAME(set_dialog_focus), NAME(set_dialog_dirty),
	NAME(set_dialog_item_dirty), NAME(set_dialog_item_bounds_hard), NAME(set_double_arrow_control_value),
	NAME(get_double_arrow_control_value), NAME(set_double_arrow_control_value_listener),
	NAME(set_double_arrow_control_delta), NAME(set_game_control_description), NAME(set_game_graphic_is_replay),
	NAME(set_snapshot_item_tag_header), NAME(set_snapshot_item_data), NAME(sure_you_want_to_delete),
	NAME(unique_name_or_desires_replacement), NAME(update_map_loading_progress_dialog),
	NAME(open_map_loading_progress_dialog), NAME(reset_open_map_progress_dialog),
	NAME(close_map_loading_progress_dialog), NAME(open_save_game_restoring_progress_dialog),
	NAME(update_save_game_progress_dialog), NAME(close_save_game_progress_dialog), NAME(add_string_to_list),
	NAME(bitmap_set_list_sort_proc), NAME(draw_dialog_into_bitmap), NAME(get_checkbox_state),
	NAME(set_checkbox_state), NAME(get_rasterization_data_for_dialog), NAME(get_slider_value), NAME(set_slider_value),
	NAME(set_slider_default_value), NAME(set_slider_extrema), NAME(get_string_list_selected_identifier),
	NAME(select_string_list_by_identifier), NAME(set_button_control_flags)};

__attribute__((used)) static const void *const network_lobby_sound_names[] = {
	NAME(add_chat_to_back_log), NAME(get_current_minor_version), NAME(get_networking_string),
	NAME(handle_network_endgame), NAME(InitUber), NAME(local_player_is_network_originator),
	NAME(open_missing_plugins_dialog), NAME(remove_player_from_player_list), NAME(setdown_network_game),
	NAME(setup_network_game), NAME(zerv_net_process), NAME(zerv_netsync), NAME(zerv_networking_available),
	NAME(metaserver_connected), NAME(metaserver_query_dialog), NAME(adjust_sound_volume),
	NAME(get_sound_list_sound_index), NAME(get_sound_mute), NAME(initialize_sound_manager),
	NAME(initialize_sound_manager_for_new_map), NAME(initialize_sound_mesh_parameters_for_new_map),
	NAME(new_sound_source_palette_entry), NAME(new_sound_source), NAME(orphan_sounds), NAME(play_sound_with_flags),
	NAME(sound_is_playing), NAME(sound_mute), NAME(start_main_menu_music), NAME(update_sound_manager),
	NAME(adjust_ambient_sound_source_volume), NAME(get_ambient_sound_source_location),
	NAME(sound_source_user_data_bs_data), NAME(chosen_interface), NAME(active_screen)};

// The records, types and constants the Parts name.
static_assert(sizeof(action_data) != 0 && sizeof(bitmap_data) != 0 && sizeof(bitmap_instance_data) != 0 && sizeof(cached_line) != 0 &&
	sizeof(dialog_data) != 0 && sizeof(dialog_rasterization_data) != 0 && sizeof(hsv_color) != 0 && sizeof(rgb_color) != 0 &&
	sizeof(mesh_region) != 0 && sizeof(missing_plugin_info) != 0 && sizeof(observer_location) != 0 && sizeof(overhead_text_data) != 0 &&
	sizeof(permanent_overlay_data) != 0 && sizeof(point2d) != 0 && sizeof(rectangle2d) != 0 && sizeof(sequence_data) != 0 &&
	sizeof(sketch_point2d) != 0 && sizeof(view_data) != 0 && sizeof(shadow_map_data) != 0 && sizeof(color_table) != 0 &&
	sizeof(resolution_data) != 0 && sizeof(report_ambient_sound_source_proc) != 0);
static_assert(_adjust_sound_volume_up == 0 && _adjust_sound_volume_down == 1 && _adjust_sound_volume_mute == 2 &&
	_adjust_sound_volume_maximum == 3);
static_assert(_camera_uncontrollable_by_user_flag == 1 && _camera_controlled_by_map_actions_flag == 2 &&
	_camera_controlled_by_object_tracking_flag == 4);
static_assert(_console_error_out_of_sync == 0 && _console_error_disconnected == 1);
static_assert(_dialog_is_transparent_flag == 1);
static_assert(_key_escape == 0 && _key_f1 == 1 && _key_f15 == 15 && _key_caps_lock == 44 && _key_shift == 57 &&
	_key_space == 71 && NUMBER_OF_KEYS == 100);
static_assert(_orbit_left_bit == 0 && _orbit_right_bit == 1 && _move_forward_bit == 2 && _move_backward_bit == 3 &&
	_yaw_left_bit == 4 && _yaw_right_bit == 5 && _move_left_bit == 6 && _move_right_bit == 7 && _zoom_in_bit == 8 &&
	_zoom_out_bit == 9 && _toggle_overhead_map_bit == 30 && _pause_game_bit == 31);
static_assert(_pick_mesh_vertices_flag == 16 && _play_sound_cannot_be_media_obstructed_flag == 1);
static_assert(_render_view_omit_reflections_flag == 32 && _sequence_has_no_rotation_flag == 4);
static_assert(_setup_network_game_failure == 0 && _setup_network_game_failure_need_cleanup == 1 &&
	_setup_network_game_success == 2 && _setup_network_game_quit_immediately == 3);
static_assert(ZERV_NETWORKING_STRINGS_TAG == TAG("inmn"));

// The fields other Parts read.
static_assert(sizeof(action_data::key_code) != 0 && sizeof(action_data::ascii_code) != 0);
static_assert(sizeof(dialog_data::bounds) != 0 && sizeof(dialog_data::flags) != 0 && sizeof(dialog_data::internal_bitmap) != 0 &&
	sizeof(dialog_data::must_be_disposed_by_backend) != 0);
static_assert(sizeof(dialog_rasterization_data::origin) != 0 && sizeof(dialog_rasterization_data::transparency) != 0);
static_assert(sizeof(view_data::game_ticks_elapsed) != 0 && sizeof(view_data::main_surface_list) != 0);
static_assert(sizeof(mesh_region::y0) != 0 && sizeof(mesh_region::y1) != 0);
static_assert(sizeof(resolution_data::unit_trading_dialog) != 0 && sizeof(resolution_data::unit_trading_collection) != 0);
static_assert(sizeof(input_definition::caps_lock_action) != 0 && sizeof(double_arrow_delta_data::upper_bound) != 0 &&
	sizeof(double_arrow_delta_data::delta) != 0);
static_assert(sizeof(bitmap_instance_data::world_left) != 0 && sizeof(sequence_frame_data::shadow_map_index) != 0);
static_assert(sizeof(sequence_data::sound_indexes) != 0 && sizeof(sequence_data::world_height1) != 0);
static_assert(sizeof(overhead_text_data::text_flags) != 0 && sizeof(overhead_text_data::timer) != 0);
