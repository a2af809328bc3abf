// The program's entry, the main loop, the per-frame driver, the game-state
// machine and the hot keys.
#include "main.h"
#include "players.h"
#include "main_globals.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "error_manager.h"
#include "linux_utilities.h"
#include "tags_and_strings.h"
#include "test_hooks.h"
#include "string_definitions.h"
#include "game_preferences.h"
#include "game_statistics.h"
#include "postgame.h"
#include "recording.h"
#include "mesh.h"
#include "detail_maps.h"
#include "local_projectiles.h"
#include "shapes.h"
#include "screen.h"
#include "interface.h"
#include "overhead_map.h"
#include "selection.h"
#include "sniffing.h"
#include "render/render.h"
#include "hardware/hardware_rasterizer.h"
#include "input/actions.h"
#include "CoreLibrary/input/sdl_input.h"
#include "bitmap_dialogs/dialogs.h"
#include "bitmap_dialogs/postgame_screen.h"
#include "bitmap_dialogs/screens.h"
#include "cutscenes/cutscenes.h"
#include "map_actions/map_actions.h"
#include "metaserver/metaserver.h"
#include "sound/sound_manager.h"
#include "tag_files/tag_files.h"
#include "CoreLibrary/uber/NetModuleManager/net_module_manager.h"

main_global_data main_globals;
main_module_data main_module;

static main_test_hooks_data main_test_hooks;

#define PATCH_LEVEL_WITHOUT_PLUGINS 5
#define LANDSCAPE_POPUP_TICKS 15
#define CAMERA_TRACKING_POPUP_TICKS 15
#define IMAGE_DIALOG_PROLOGUE_FADE_IN_TICKS 30
#define IMAGE_DIALOG_EPILOGUE_FADE_IN_TICKS 15
#define CUTSCENE_FLAGS 1

static void image_dialog_handler_proc(dialog_data *dialog, int16 event);
static void leave_game_state(int16 old_state);
static void enter_game_state(int16 new_state);
static void reset_menu_screen(int16 new_state);
static void bail_if_shell_map_fails(void);
static int32 collection_sequence_count(int16 collection_index);
static void handle_failed_game_start(void);
static boolean restore_saved_game(void);
static void set_bars_from_preferences(void);
static void end_finished_replay(void);

/* ---------- main globals */

void initialize_main_globals(void)
{
	memset(&main_globals, 0, sizeof(main_globals));
	main_globals.main_collection_index = NONE;
	main_globals.desired_state = NONE;
	main_globals.next_state = NONE;
	main_globals.maximum_ticks = NONE;
	main_globals.cached_console_line_count = NONE;
	main_globals.enter_game_immediately_mesh = static_cast<file_tag>(NONE);
	main_globals.dialog = NULL;
}

/* ---------- entry */

// Finds "-mesh <name>" in the command line.
void parse_command_line(const char *command_line)
{
	for (const char *p = command_line; p && *p; ++p)
	{
		if (*p != '-' || strncmp(p + 1, "mesh ", 5) != 0) continue;

		const char *word = p + 6;
		while (*word == ' ') ++word;
		char name[TAG_LENGTH];
		int32 length = 0;
		while (word[length] && word[length] != ' ' && length < TAG_LENGTH - 1)
		{
			name[length] = word[length];
			length += 1;
		}
		name[length] = 0;
		if (length == 0) continue;

		main_globals.flags |= _enter_game_immediately_flag;
		main_globals.enter_game_immediately_mesh = string_to_tag(name);
	}
}

void choose_first_game_state(void)
{
	if (main_globals.flags & _enter_game_immediately_flag)
	{
		set_keyboard_queue_task_state(TRUE);
		change_single_player_map(main_globals.enter_game_immediately_mesh, FALSE);
	}
	else if (main_globals.flags & _enter_netgame_immediately_flag)
	{
		handle_network_game();
	}
	else
	{
		// The intro is shown on the first run only.
		main_globals.desired_state = get_game_preferences()->run_count == 1 ?
			_game_state_displaying_intro_sequence : _game_state_displaying_main_menu;
	}
}

int zerv_main(int argc, char **argv)
{
	set_keyboard_queue_task_state(FALSE);
	initialize_environment(argc, argv);
	register_zerv_controls();
	initialize_zerv();
	InitUber();
	initialize_main_globals();

	parse_command_line(get_command_line());
	main_globals.flags |= _no_guests_allowed_flag;

	choose_first_game_state();

	set_keyboard_queue_task_state(TRUE);
	main_test_hooks.update_everything_count = 0;
	set_quit_signals_deferred(TRUE);
	while (game->state != _game_state_over)
	{
		update_everything();
		if (main_test_hooks.maximum_passes > 0 && main_test_hooks.update_everything_count >= main_test_hooks.maximum_passes)
		{
			break;
		}
	}
	set_quit_signals_deferred(FALSE);
	set_keyboard_queue_task_state(FALSE);
	close_all_dialogs();
	release_environment();
	bail();
}

void bail(void)
{
	bail_with_status(0);
}

void bail_with_status(int status)
{
	log_message(NULL, 0, "Closing Zerv.");
	exit(status);
}

/* ---------- main loop */

void update_everything(void)
{
	main_test_hooks.update_everything_count += 1;

	// An interrupt or termination request ends the program here, between
	// frames, with the film finished.
	honour_quit_signal();
	platform_specific_update(TRUE);
	if (zerv_is_paused()) return;

	// A state entered may request another, which runs in the same pass.
	while (main_globals.desired_state != NONE)
	{
		int16 state = static_cast<int16>(main_globals.desired_state);
		main_globals.desired_state = NONE;
		change_game_state(state);
	}

	int16 ticks = update_actions();
	idle_zerv(ticks, FALSE);
	end_finished_replay();
	update_sound_manager(ticks);
	handle_error();
	handle_error();
}

// A film played to its end ends its replay as a finished game does; it would
// otherwise hold its last tick for ever.
static void end_finished_replay(void)
{
	if (game->state != _game_state_running || game->type != _game_type_replay || !game->loaded ||
		game_flags_test(_game_is_disabled_flag) || main_globals.desired_state != NONE)
	{
		return;
	}
	if (replay_over()) zerv_game_is_over();
}

void set_game_state(int16 state)
{
	main_globals.desired_state = state;
}

/* ---------- per-frame driver */

static boolean game_is_disabled(void)
{
	return game_flags_test(_game_is_disabled_flag);
}

static void draw_dialogs_hardware(boolean world_drawn, boolean dialogs_dirty)
{
	dialog_data *status_bar = get_status_bar_dialog();
	dialog_data *control_bar = get_control_bar_dialog();

	for (dialog_data *dialog = get_dialog_to_rasterize(NULL); dialog; dialog = get_dialog_to_rasterize(dialog))
	{
		dialog_rasterization_data data;
		memset(&data, 0, sizeof(data));

		if (dialog == status_bar || dialog == control_bar)
		{
			boolean is_control_bar = dialog == control_bar;
			boolean visible = is_control_bar ? control_bar_visible(NULL) : status_bar_visible(NULL);
			// Without a fresh world under them the bars are drawn only when they changed.
			if (!visible || (!world_drawn && !dialogs_dirty)) continue;
			get_rasterization_data_for_dialog(dialog, &data);
			draw_control_or_status_bar_hardware(&data,
				is_control_bar ? _draw_control_bar_hardware : _draw_status_bar_hardware);
		}
		else
		{
			get_rasterization_data_for_dialog(dialog, &data);
			rasterize_dialog_hardware(&data);
		}
	}
}

void idle_zerv(int16 elapsed, boolean no_update)
{
	int16 state = game->state;
	int16 drawn_state = state == _game_state_modal_dialog ? game->state_when_in_modal_dialog : state;

	if (!no_update)
	{
		if ((state == _game_state_displaying_main_menu || state == _game_state_running) &&
			!game_is_disabled() && elapsed != 0)
		{
			update_zerv(elapsed);
		}
	}

	boolean world_visible = (drawn_state == _game_state_displaying_main_menu && !game_is_disabled()) ||
		drawn_state == _game_state_running;

	if (!zerv_is_visible()) return;

	boolean hardware = active_screen.rasterizer_code != _rasterizer_software;
	if (hardware) render_begin_hardware();

	rectangle2d frame;
	memset(&frame, 0, sizeof(frame));
	get_game_screen_bounds(&frame);

	boolean world_drawn = FALSE;
	if (world_visible && game->loaded && !no_update)
	{
		if (get_camera_control_flags()) handle_camera_control();
		update_observer_physics_variables();

		view_data view;
		memset(&view, 0, sizeof(view));
		build_observer_view(&view, elapsed);

		// The software path draws the world under the dialogs, so they must be
		// drawn again over it.
		if (!hardware) invalidate_dialog_rectangle(&frame);
		bitmap_data *destination = get_render_destination(0, &frame);
		view.screen = destination;
		if (active_screen.flags & _screen_landscape_filtering_flag) view.flags |= _render_view_filtering_flag;
		render_scene(&view);
		release_render_destination(destination);
		world_drawn = TRUE;
	}

	idle_dialogs();

	rectangle2d dirty_rectangle;
	boolean must_clear = FALSE;
	boolean dialogs_dirty = dialogs_are_dirty(&dirty_rectangle, &must_clear);
	boolean dialogs_drawn = FALSE;
	if (dialogs_dirty || world_drawn)
	{
		if (hardware)
		{
			draw_dialogs_hardware(world_drawn, dialogs_dirty);
		}
		else
		{
			bitmap_data *back_buffer = get_render_destination(0, &frame);
			if (must_clear && back_buffer)
			{
				const rgb_color black = {0, 0, 0, 0};
				fill_rectangle_clipped(back_buffer, &black, &frame, &frame, 0, NULL);
			}
			render_dialogs(back_buffer);
			release_render_destination(back_buffer);
		}
		dialogs_drawn = TRUE;
	}

	boolean drawn = world_drawn || dialogs_drawn;
	if (hardware) render_end_hardware(!drawn);
	if (drawn) display_backbuffer(NULL, NULL, &frame, &frame);
}

void draw_dialogs_immediately(void)
{
	idle_zerv(0, TRUE);
	platform_specific_update(FALSE);
}

/* ---------- game states */

void change_game_state(int16 new_state)
{
	int16 old_state = game->state;
	main_module.old_endgame_state = game->endgame_state;
	if (main_test_hooks.state_change_count < static_cast<int32>(NUMBEROF(main_test_hooks.states_entered)))
	{
		main_test_hooks.states_entered[main_test_hooks.state_change_count] = new_state;
	}
	main_test_hooks.state_change_count += 1;

	// Leaving code sees the new state.
	game->state = new_state;

	if (tag_files_get_current_patch_version() != PATCH_LEVEL_WITHOUT_PLUGINS)
	{
		tag_files_open(FALSE, NULL, 0, NONE);
	}

	leave_game_state(old_state);
	reset_menu_screen(new_state);
	enter_game_state(new_state);
}

static void leave_game_state(int16 old_state)
{
	switch (old_state)
	{
	case _game_state_displaying_prologue:
	case _game_state_displaying_epilogue:
	case _game_state_displaying_trailer:
		if (main_globals.dialog)
		{
			dispose_dialog(main_globals.dialog);
			main_globals.dialog = NULL;
			dispose_zerv_from_old_map();
			main_globals.main_collection_index = NONE;
		}
		break;

	case _game_state_displaying_main_menu:
		close_main_menu_dialog();
		dispose_zerv_from_old_map();
		main_module.main_menu_demo_running = FALSE;
		break;

	case _game_state_running:
		setdown_network_game();
		dispose_zerv_from_old_map();
		break;

	case _game_state_configuring_netgame:
	case _game_state_configuring_preferences:
	case _game_state_displaying_network_endgame:
	case _game_state_displaying_mesh_prologue:
	case _game_state_displaying_mesh_epilogue:
	case _game_state_displaying_intro_sequence:
		close_postgame_screen();
		dispose_zerv_from_old_map();
		break;

	default:
		break;
	}
}

// Every state but running shows the default menu screen.
static void reset_menu_screen(int16 new_state)
{
	active_color_environment old_screen = active_screen;

	reset_active_screen_to_prefs();
	if (new_state != _game_state_running)
	{
		active_screen.device_index = NONE;
		active_screen.mode_index = NONE;
	}

	if (old_screen.device_index != active_screen.device_index || old_screen.mode_index != active_screen.mode_index ||
		old_screen.gamma != active_screen.gamma ||
		(old_screen.flags & _screen_landscape_filtering_flag) != (active_screen.flags & _screen_landscape_filtering_flag))
	{
		set_screen_parameters(old_screen.device_index, old_screen.mode_index);
	}
}

// The plugin of a single-player map whose screens the prologue shows: the
// last mesh plugin from the end down to the second, else the first.
static int16 prologue_plugin_index(const new_game_data *setup)
{
	int16 plugin_indexes[MAXIMUM_ENCODED_PLUGINS];
	int16 plugin_count = 0;
	if (!tag_file_plugins_decode(plugin_indexes, &plugin_count, setup->parameters.plugin_data,
		MAXIMUM_PLUGIN_DATA_SIZE, NULL))
	{
		return NONE;
	}
	if (plugin_count <= 0) return NONE;
	if (plugin_count > MAXIMUM_ENCODED_PLUGINS) plugin_count = MAXIMUM_ENCODED_PLUGINS;

	for (int16 i = static_cast<int16>(plugin_count - 1); i >= 1; --i)
	{
		plugin_info info;
		memset(&info, 0, sizeof(info));
		if (tag_file_indexed_plugin_get(plugin_indexes[i], &info) && info.mesh_plugin) return plugin_indexes[i];
	}
	return plugin_indexes[0];
}

static void enter_game_state(int16 new_state)
{
	new_game_data *setup = &main_globals.new_game_data;
	uint16 immediately = _enter_game_immediately_flag | _enter_netgame_immediately_flag;

	switch (new_state)
	{
	case _game_state_displaying_prologue:
		open_image_dialog(PROLOGUE_SCREENS_TAG,
			get_game_preferences()->run_count == 1 ? _game_state_displaying_intro_sequence : _game_state_displaying_main_menu,
			IMAGE_DIALOG_PROLOGUE_FADE_IN_TICKS);
		break;

	case _game_state_displaying_main_menu:
		enter_main_menu();
		if (main_module.running_user_replay) reopen_replay_game();
		break;

	case _game_state_running:
		enter_running_state();
		break;

	case _game_state_displaying_epilogue:
		open_image_dialog(EPILOGUE_SCREENS_TAG, _game_state_displaying_main_menu, IMAGE_DIALOG_EPILOGUE_FADE_IN_TICKS);
		break;

	case _game_state_displaying_trailer:
		set_game_state(_game_state_over);
		break;

	case _game_state_configuring_preferences:
		handle_preferences_dialog(0);
		break;

	case _game_state_displaying_network_endgame:
		bail_if_shell_map_fails();
		if (handle_network_endgame(setup, main_module.old_endgame_state, FALSE))
		{
			set_game_state(_game_state_running);
		}
		else
		{
			set_game_state((main_globals.flags & immediately) ? _game_state_displaying_trailer : _game_state_displaying_main_menu);
		}
		break;

	case _game_state_displaying_mesh_prologue:
		bail_if_shell_map_fails();
		if (setup->parameters.type == _game_type_local)
		{
			int16 plugin_index = prologue_plugin_index(setup);
			if (plugin_index != NONE) tag_file_plugin_open_temporary(plugin_index);
			display_mesh_prologue(setup->parameters.scenario_tag);
			if (plugin_index != NONE) tag_file_plugin_close_temporary();
		}
		set_game_state(_game_state_running);
		break;

	case _game_state_displaying_mesh_epilogue:
		bail_if_shell_map_fails();
		if (setup->parameters.type == _game_type_local)
		{
			// The report first, where there is one; the training map has none to show.
			const file_tag mesh_tag = setup->parameters.scenario_tag;
			if (mesh_tag == TRAINING_MAP_MESH_TAG || !open_postgame_screen(get_encoded_postgame_report(), mesh_tag))
			{
				display_mesh_epilogue(mesh_tag);
			}
		}
		else
		{
			// Only single-player games have story screens; nothing else would
			// ever leave this state.
			set_game_state(_game_state_displaying_main_menu);
		}
		break;

	case _game_state_displaying_intro_sequence:
		if (prevent_cutscenes_from_playing())
		{
			set_game_state(_game_state_displaying_main_menu);
		}
		else
		{
			if (!is_windowed_now()) hide_cursor();
			rectangle2d frame;
			memset(&frame, 0, sizeof(frame));
			get_game_screen_bounds(&frame);
			bitmap_data *screen = get_render_destination(0, &frame);
			if (screen)
			{
				rgb_color black = {0, 0, 0, 0};
				fill_rectangle_clipped(screen, &black, &frame, &frame, 0, NULL);
			}
			release_render_destination(screen);
			display_backbuffer(NULL, NULL, &frame, &frame);
			display_cutscene(INTRO_CUTSCENE_NAME, CUTSCENE_FLAGS, get_sound_volume());
			show_cursor();
			set_game_state(_game_state_displaying_main_menu);
		}
		break;

	default: // over, modal dialog, configuring a network game, next replay
		break;
	}
}

// A shell screen cannot run without its map context; failing to build one is
// a failure of the program, not a normal quit.
static void bail_if_shell_map_fails(void)
{
	if (!initialize_zerv_for_new_map(NULL))
	{
		log_message(MODULE_NAME, __LINE__, "initialize_zerv_for_new_map(NULL) failed.");
		bail_with_status(1);
	}
}

/* ---------- image dialog */

// Out-of-range sequence indexes fall back to sequence 0, which marks the end.
static int32 collection_sequence_count(int16 collection_index)
{
	if (collection_index == NONE) return 0;
	sequence_data *first = get_sequence(collection_index, 0);
	if (!first) return 0;

	int32 count = 1;
	while (count < 1024)
	{
		sequence_data *sequence = get_sequence(collection_index, static_cast<int16>(count));
		if (!sequence || sequence == first) break;
		count += 1;
	}
	return count;
}

void open_image_dialog(file_tag collection_tag, int16 next_state, int32 fade_in_ticks)
{
	main_globals.next_state = next_state;
	main_globals.fade_in_ticks = fade_in_ticks;

	if (tag_file_exists(COLLECTION_GROUP_TAG, collection_tag))
	{
		bail_if_shell_map_fails();
		int16 collection_index = get_collection_index(collection_tag);
		main_globals.main_collection_index = collection_index;
		main_globals.sequence_count = collection_sequence_count(collection_index);
		if (main_globals.sequence_count >= 1)
		{
			main_globals.current_sequence = 0;
			main_globals.ticks = 0;
			main_globals.maximum_ticks = NONE;
			main_globals.dialog = new_dialog(IMAGES_DIALOG_TAG, image_dialog_handler_proc, NULL, 0, 0);
			if (main_globals.dialog)
			{
				set_dialog_focus(main_globals.dialog, iIMAGE);
				set_dialog_bitmap_art(main_globals.dialog, iIMAGE, collection_index, 0);
				return;
			}
		}
	}

	dispose_zerv_from_old_map();
	main_globals.main_collection_index = NONE;
	set_game_state(next_state);
}

static void image_dialog_handler_proc(dialog_data *dialog, int16 event)
{
	switch (event)
	{
	case _dialog_event_idle:
		main_globals.ticks += 1;
		if (main_globals.maximum_ticks != NONE &&
			main_globals.ticks > main_globals.maximum_ticks + main_globals.fade_in_ticks)
		{
			main_globals.ticks = 0;
			if (main_globals.current_sequence + 1 < main_globals.sequence_count)
			{
				main_globals.current_sequence += 1;
				set_dialog_bitmap_art(dialog, iIMAGE, static_cast<int16>(main_globals.main_collection_index),
					static_cast<int16>(main_globals.current_sequence));
			}
			else
			{
				set_game_state(static_cast<int16>(main_globals.next_state));
			}
		}
		break;

	case _dialog_event_item_hit:
		if (dialog->item_hit == iIMAGE) set_game_state(static_cast<int16>(main_globals.next_state));
		break;

	default:
		break;
	}
}

/* ---------- running */

static void set_bars_from_preferences(void)
{
	uint32 flags = get_game_preferences()->flags;
	set_status_bar_visibility((flags & _game_pref_status_bar_visible_flag) != 0);
	set_control_bar_visibility((flags & _game_pref_control_bar_visible_flag) ? _control_bar_shown : _control_bar_hidden);
}

// True when the game ran to the saved tick and its film goes on recording.
static boolean restore_saved_game(void)
{
	game->maximum_ticks_per_frame = SAVED_GAME_UPDATE_FREQUENCY;
	set_maximum_ticks_per_frame(SAVED_GAME_UPDATE_FREQUENCY);
	sound_mute(TRUE);
	open_save_game_restoring_progress_dialog(main_globals.save_game_ticks / SAVED_GAME_UPDATE_FREQUENCY + 1);
	// A game that ends before the saved tick never reaches it.
	while (!replay_over() && !(game->time_state == _game_time_ending && game->time_remaining <= 0))
	{
		update_zerv(SAVED_GAME_UPDATE_FREQUENCY);
		saved_game_update_local_projectile_groups(SAVED_GAME_UPDATE_FREQUENCY);
		update_save_game_progress_dialog();
	}
	update_monster_blips();
	sound_mute(FALSE);

	if (!restore_resumed_recording() || game->game_time != main_globals.save_game_ticks)
	{
		// Going on from another tick, or without a film, would not be the saved game.
		set_maximum_ticks_per_frame(NONE);
		close_save_game_progress_dialog();
		error_message(_error_data_corrupted, MODULE_NAME, __LINE__,
			"couldn't restore the saved game to its tick %d (reached %d)", main_globals.save_game_ticks,
			game->game_time);
		handle_error();
		handle_failed_game_start();
		return FALSE;
	}

	// The frame limit is the restoring type's; only then does the game go on
	// as a local game, whatever it was saved from.
	set_maximum_ticks_per_frame(NONE);
	close_save_game_progress_dialog();
	main_globals.new_game_data.parameters.type = _game_type_local;
	game->type = _game_type_local;
	game_local_time_set(game->target_time);
	game->loaded = TRUE;
	set_actual_observer_location_and_zoom(&main_globals.save_game_observer, &main_globals.save_game_zoom_factor);
	// The count is NONE until a saved game filled it.
	if (main_globals.cached_console_line_count >= 0 &&
		main_globals.cached_console_line_count <= MAXIMUM_CACHED_CONSOLE_LINES)
	{
		restore_cached_console_text(main_globals.cached_console_text, main_globals.cached_console_line_count);
	}
	main_globals.restoring_from_save_game = FALSE;
	set_bars_from_preferences();
	return TRUE;
}

// No tick may run and no world be drawn for a map that did not start.
static void handle_failed_game_start(void)
{
	new_game_data *setup = &main_globals.new_game_data;
	int16 type = game->type;

	game_flags_set(_game_is_disabled_flag);
	game->loaded = FALSE;
	main_globals.restoring_from_save_game = FALSE;

	if (metaserver_connected())
	{
		if (type == _game_type_networked)
		{
			end_game_and_change_state();
		}
		else
		{
			set_game_state(_game_state_displaying_main_menu);
		}
	}
	else
	{
		if (type == _game_type_networked) handle_network_endgame(setup, main_module.old_endgame_state, TRUE);
		set_game_state(_game_state_displaying_main_menu);
	}
}

void enter_running_state(void)
{
	flush_actions();
	if (!initialize_zerv_for_new_map(&main_globals.new_game_data))
	{
		handle_failed_game_start();
		return;
	}

	game_local_time_set(0);
	game->loaded = TRUE;
	flush_actions();
	add_chat_to_back_log(2, 0, NULL, "Game Started");

	if (main_globals.restoring_from_save_game)
	{
		restore_saved_game();
	}
	else if (game->type == _game_type_networked)
	{
		game->loaded = FALSE;
		if (!zerv_netsync())
		{
			set_console_error(_console_error_disconnected);
			handle_error();
			build_hollax_net_game_standings(_game_ended_with_server_loss);
			end_game_and_change_state();
		}
		game_local_time_set(0);
		game->loaded = TRUE;
		set_bars_from_preferences();
	}
}

void zerv_game_is_over(void)
{
	close_postgame_carnage_report_dialog();
	close_quit_dialog();
	close_game_hints_dialog();
	if (game->type == _game_type_local)
	{
		set_game_state(_game_state_displaying_mesh_epilogue);
	}
	else
	{
		end_game_and_change_state();
	}
}

void end_game_and_change_state(void)
{
	switch (game->type)
	{
	case _game_type_networked:
		log_message(NULL, 0, "Quitting networked game...");
		set_game_state(_game_state_displaying_network_endgame);
		break;

	case _game_type_local:
		log_message(NULL, 0, "Quitting single player game...");
		set_game_state((main_globals.flags & (_enter_game_immediately_flag | _enter_netgame_immediately_flag)) ?
			_game_state_displaying_trailer : _game_state_displaying_main_menu);
		break;

	case _game_type_demo:
		log_message(NULL, 0, "Quitting demo...");
		set_game_state(_game_state_displaying_main_menu);
		break;

	case _game_type_replay:
		log_message(NULL, 0, "Quitting replay...");
		set_game_state(_game_state_displaying_main_menu);
		break;

	default:
		set_game_state(_game_state_displaying_main_menu);
		break;
	}
}

/* ---------- accessors */

new_game_data *get_new_game_data(void)
{
	return &main_globals.new_game_data;
}

uint16 get_main_global_flags(void)
{
	return main_globals.flags;
}

boolean restoring_from_saved_game(void)
{
	return main_globals.restoring_from_save_game;
}

void get_level_range(int16 *low, int16 *high)
{
	if (low) *low = -32768;
	if (high) *high = 32767;
}

/* ---------- hot keys */

static boolean game_is_active(void)
{
	return (game->state == _game_state_displaying_main_menu || game->state == _game_state_running) &&
		!game_is_disabled() && zerv_is_active();
}

// The local player's team in the running map; NONE without one.
static int16 local_team_index(void)
{
	return player_globals.local_player_team_index;
}

// A networked player who has no team, or whose team is out, only watches.
static boolean local_player_is_spectating(void)
{
	const int16 team_index = local_team_index();
	if (team_index == NONE) return TRUE;
	const team_data *team = get_team_data(team_index);
	return team && (team->flags & _team_has_been_eliminated_flag);
}

static void show_string_list_popup(file_tag string_list_tag, int16 title_index, int16 text_index, int32 ticks)
{
	int16 list = string_list_tag_to_string_index(string_list_tag);
	set_console_popup(get_string_from_list(list, title_index), get_string_from_list(list, text_index), ticks);
}

void adjust_landscape_filtering(void)
{
	switch (active_screen.rasterizer_code)
	{
	case _rasterizer_software:
		active_screen.prefs.flags ^= _screen_pref_landscape_filtering_flag;
		show_string_list_popup(INTERNAL_GAMMA_AND_FILTERING_POPUP_STRING_LIST_TAG, 1,
			(active_screen.prefs.flags & _screen_pref_landscape_filtering_flag) ? 2 : 3, LANDSCAPE_POPUP_TICKS);
		break;

	case _rasterizer_opengl:
	case _rasterizer_dx11:
		toggle_detail_maps();
		set_console_popup("Detail Texturing", detail_maps_active() ? "ON" : "OFF", LANDSCAPE_POPUP_TICKS);
		break;

	default:
		break;
	}
}

static void toggle_camera_tracking(void)
{
	uint32 flags = get_camera_control_flags() ^ _camera_controlled_by_object_tracking_flag;
	set_camera_control_flags(flags);

	game_preferences *preferences = get_game_preferences();
	preferences->flags ^= _game_pref_enabled_camera_tracking_by_default_flag;

	show_string_list_popup(CAMERA_TRACKING_STRING_LIST_TAG, 0,
		(flags & _camera_controlled_by_object_tracking_flag) ? 1 : 2, CAMERA_TRACKING_POPUP_TICKS);
}

static void toggle_inventory(void)
{
	if (!main_module.inventory_shown)
	{
		main_module.control_bar_visibility_before_inventory =
			control_bar_visible(NULL) ? _control_bar_shown : _control_bar_hidden;
		set_control_bar_visibility(_control_bar_inventory);
		main_module.inventory_shown = TRUE;
	}
	else
	{
		set_control_bar_visibility(main_module.control_bar_visibility_before_inventory);
		main_module.inventory_shown = FALSE;
	}
}

// The hot-key table; true when the key was handled and goes no further.
static boolean handle_hot_key(action_data *action)
{
	int16 key = action->key_code;
	if (key == NONE) return FALSE;
	// Held keys repeat only for the speed and volume keys.
	if ((action->modifiers & _key_repeat) && !(key >= _key_f1 && key <= _key_f4)) return FALSE;

	boolean shift = (action->modifiers & _shift_down) != 0;
	boolean command = (action->modifiers & _command_down) != 0;
	boolean control = (action->modifiers & _control_down) != 0;
	int16 state = game->state;
	boolean running = state == _game_state_running;
	int16 type = game->type;

	main_test_hooks.hot_key_row = key;
	switch (key)
	{
	case _key_escape:
	case _key_pause:
		if (running && push_pause_button()) return TRUE;
		break;

	case _key_f1:
	case _key_f2:
		if ((state == _game_state_displaying_main_menu || running) && !game_is_disabled() &&
			main_globals.new_game_data.parameters.scenario_tag != TRAINING_MAP_MESH_TAG)
		{
			adjust_game_speed(key == _key_f2, shift);
		}
		break;

	case _key_f3:
		adjust_sound_volume(shift ? _adjust_sound_volume_mute : _adjust_sound_volume_down);
		break;

	case _key_f4:
		adjust_sound_volume(shift ? _adjust_sound_volume_maximum : _adjust_sound_volume_up);
		break;

	case _key_f5:
	case _key_f12:
		if (!running) break;
		if (control)
		{
			set_map_action_debug_status(2);
		}
		else if (shift)
		{
			main_module.display_limits = !main_module.display_limits;
		}
		else if (type == _game_type_replay || (type == _game_type_networked && local_player_is_spectating()))
		{
			toggle_camera_tracking();
		}
		break;

	case _key_f6:
		if (!running) break;
		if (shift)
		{
			set_control_bar_visibility(control_bar_visible(NULL) ? _control_bar_hidden : _control_bar_shown);
		}
		else if (control)
		{
			get_game_preferences()->flags ^= _game_pref_use_transparency_flag;
			if (get_status_bar_dialog()) set_dialog_dirty(get_status_bar_dialog());
			if (get_control_bar_dialog()) set_dialog_dirty(get_control_bar_dialog());
		}
		else
		{
			set_status_bar_visibility(!status_bar_visible(NULL));
		}
		if (active_screen.rasterizer_code != _rasterizer_software) draw_dialogs_immediately();
		break;

	case _key_f7:
		if (running && shift) main_module.display_in_game_stats = !main_module.display_in_game_stats;
		break;

	case _key_f8:
		if ((type == _game_type_networked && local_team_index() != NONE) || type == _game_type_replay)
		{
			toggle_overhead_map_drawing_state();
		}
		break;

	case _key_f10:
		main_module.highlight_all_units = !main_module.highlight_all_units;
		highlight_all(main_module.highlight_all_units);
		break;

	case _key_f11:
		if (command)
		{
			toggle_windowed_mode(TRUE);
			return TRUE;
		}
		if (running) adjust_landscape_filtering();
		break;

	case _key_tab:
		if (command)
		{
			iconify_window();
			return TRUE;
		}
		break;

	case _key_g:
		if (control)
		{
			toggle_sdl_grab_mode();
			return TRUE;
		}
		break;

	case _key_question_mark:
		if (command && running && !game_hints_dialog_is_open()) push_help_button();
		break;

	case _key_up_arrow:
		if (running && shift && test_action_flag(action, _display_chat_bit))
		{
			main_module.clear_display_chat = !main_module.clear_display_chat;
		}
		break;

	case _key_page_up:
		if (running) adjust_landscape_filtering();
		break;

	case _key_forward_delete:
		toggle_frame_rate_display();
		break;

	case _key_page_down:
		if (running && shift) main_module.display_limits = !main_module.display_limits;
		break;

	case _keypad_minus:
		if (control && type == _game_type_local)
		{
			game->winning_team_index = 1;
			end_game(FALSE);
		}
		break;

	case _keypad_plus:
		if (control && type == _game_type_local)
		{
			game->winning_team_index = 0;
			end_game(FALSE);
			game->endgame_state = _endgame_state_victory;
		}
		break;

	default:
		main_test_hooks.hot_key_row = NONE;
		break;
	}
	return FALSE;
}

void process_action(action_data *action)
{
	if (!action || !game) return;

	boolean handled = handle_hot_key(action);

	if (game->state == _game_state_running && (get_input_definition()->flags & _input_definition_inventory_key_flag) &&
		test_action_flag(action, _selection_inventory_bit) && !(action->modifiers & (_option_down | _shift_down)) &&
		get_console_input_state() != 1)
	{
		toggle_inventory();
	}

	boolean active = game_is_active();
	if (handled)
	{
		if (active) update_observer_physics_variables_for_action(NULL);
		return;
	}

	boolean consumed = dialogs_handled_action(action);
	if (!consumed && active)
	{
		rectangle2d frame;
		memset(&frame, 0, sizeof(frame));
		get_game_screen_bounds(&frame);
		adjust_action_pointer(action, &frame, &frame, get_camera_control_flags());
		handle_action_sniffing(action);

		if (test_action_flag(action, _display_chat_bit))
		{
			main_module.display_chat = TRUE;
		}
		else if (main_module.clear_display_chat)
		{
			main_module.display_chat = FALSE;
		}

		if (action_for_overhead_map(action))
		{
			consumed = TRUE;
		}
		else
		{
			consumed = update_selection(action);
		}
	}
	if (active) update_observer_physics_variables_for_action(consumed ? NULL : action);
}

/* ---------- frame limiter */

// The manual clock of the tests moves by the time slept.
static void sleep_one_millisecond(void)
{
	if (test_manual_clock_is_on())
	{
		test_advance_manual_clock(1);
		return;
	}
	struct timespec delay = {0, 1000000};
	nanosleep(&delay, NULL);
}

boolean limit_framerate(void)
{
	int32 limit = DEFAULT_FRAME_RATE_LIMIT;
	if ((game->state == _game_state_displaying_main_menu || game->state == _game_state_running) && !game_is_disabled())
	{
		limit = active_screen.prefs.max_fps;
		if (limit < 1) return FALSE;
	}

	boolean slept = FALSE;
	for (;;)
	{
		uint32 elapsed = machine_tick_count() - main_module.frame_period_start;
		if (elapsed > 1000)
		{
			main_module.frame_period_start = machine_tick_count();
			main_module.frame_count = 1;
			return slept;
		}
		if (static_cast<int64>(elapsed) * limit / 1000 >= main_module.frame_count)
		{
			main_module.frame_count += 1;
			return slept;
		}
		sleep_one_millisecond();
		slept = TRUE;
	}
}

/* ---------- test hooks */

main_test_hooks_data *get_main_test_hooks(void)
{
	return &main_test_hooks;
}

void reset_main_test_hooks(void)
{
	main_test_hooks = {};
	initialize_main_globals();
	memset(&main_module, 0, sizeof(main_module));
}
