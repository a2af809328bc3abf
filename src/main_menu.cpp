// The main menu with the demo game behind it, the games started from it, and
// the single-player entry (new game, training map, campaign maps).
#include "main.h"
#include "main_globals.h"

#include <cstdio>
#include <cstring>

#include "error_manager.h"
#include "linux_utilities.h"
#include "tags_and_strings.h"
#include "definitions.h"
#include "string_definitions.h"
#include "game_preferences.h"
#include "game_statistics.h"
#include "recording.h"
#include "mesh.h"
#include "shapes.h"
#include "interface.h"
#include "input/actions.h"
#include "CoreLibrary/input/sdl_input.h"
#include "bitmap_dialogs/dialogs.h"
#include "bitmap_dialogs/screens.h"
#include "cutscenes/cutscenes.h"
#include "sound/sound_manager.h"
#include "tag_files/tag_files.h"

#define DEMO_PLAYER_COUNT 4
#define SINGLE_PLAYER_COUNT 3
#define SINGLE_PLAYER_OPTION_FLAGS (_game_option_limited_visibility_flag | _game_option_no_ingame_rankings_flag | \
	_game_option_cooperative_flag | _game_option_allow_overhead_map_flag | _game_option_patch_version_bit0_flag | \
	_game_option_patch_version_bit1_flag)
#define DIFFICULTY_LEVEL_MASK 31
#define BUILD_TEXT_FONT_SLOT 4
#define NETWORK_FAILURE_REASON_LENGTH 256
#define FIRST_DEFAULT_MAP_TAG TAG("l1  ")
#define STATIC_TEXT_CONTROL_TAG TAG("stat")

static_assert(SINGLE_PLAYER_OPTION_FLAGS == 0xC408C, "single-player option mask");

struct main_menu_button
{
	int16 item;
	int16 sequence;
	int16 key;
	boolean (*enabled)(void);
	void (*handler)(void);
};

static boolean always_enabled(void)
{
	return TRUE;
}

static const main_menu_button main_menu_buttons[] =
{
	{iCONTINUE_GAME, _bitmap_continue_game_sequence, _key_c, allow_continue_game, handle_continue_game},
	{iNETWORK_GAME, _bitmap_network_game_sequence, _key_g, allow_networking, handle_network_game},
	{iNEW_GAME, _bitmap_new_game_sequence, _key_n, allow_single_player_game, handle_new_game},
	{iREPLAY_GAME, _bitmap_replay_game_sequence, _key_f, allow_replay_game, handle_replay_game},
	{iTRAINING_MAP, _bitmap_training_map_sequence, _key_t, always_enabled, handle_training_map},
	{iREPLAY_INTRO, _bitmap_replay_intro_sequence, _key_i, allow_replay_intro, handle_replay_intro},
	{iPREFERENCES, _bitmap_preferences_sequence, _key_p, allow_preferences, handle_preferences},
	{iQUIT, _bitmap_quit_sequence, _key_q, always_enabled, handle_quit}
};

static const rgb_color demo_player_colors[DEMO_PLAYER_COUNT][2] =
{
	{{57344, 53248, 65535, 0}, {65535, 65535, 65535, 0}},
	{{8192, 16384, 32768, 0}, {12288, 49152, 32768, 0}},
	{{32768, 8192, 0, 0}, {16384, 0, 16384, 0}},
	{{0, 20480, 8192, 0}, {20480, 20480, 20480, 0}}
};

static boolean static_main_menu(void)
{
	return (get_game_preferences()->flags & _game_pref_static_main_menu_flag) != 0;
}

/* ---------- main menu */

static void build_demo_setup(new_game_data *setup)
{
	get_default_new_game_data(setup, _game_type_demo, DEMO_MESH_TAG);
	setup->local_player_index = NONE;
	setup->parameters.scoring = 0;
	setup->parameters.random_seed = machine_tick_count();
	setup->parameters.initial_team_random_seed = static_cast<uint16>(machine_tick_count());
	setup->parameters.option_flags |= _game_option_camera_tracking_initially_on_flag;

	setup->player_count = DEMO_PLAYER_COUNT;
	memset(setup->players, 0, sizeof(setup->players));
	for (int16 i = 0; i < DEMO_PLAYER_COUNT; ++i)
	{
		new_player_data *player = &setup->players[i];
		snprintf(player->appearance.name, sizeof(player->appearance.name), "Player %d", i);
		player->type = _player_is_computer;
		player->team_index = NONE;
		player->team_captain_identifier = static_cast<uint32>(NONE);
		player->flags = 1;
		player->unique_identifier = static_cast<uint32>(i);
		player->appearance.primary_color = demo_player_colors[i][0];
		player->appearance.secondary_color = demo_player_colors[i][1];
	}
}

static void set_main_menu_button_transparency(fixed_fraction transparency)
{
	if (!main_globals.dialog) return;
	for (const main_menu_button &button : main_menu_buttons)
	{
		set_button_transparency(main_globals.dialog, button.item, transparency);
	}
}

void main_menu_idle(void)
{
	main_globals.ticks += 1;
	if (!(get_sound_preferences_flags() & _sound_preferences_disable_menu_music_flag)) start_main_menu_music();
	if (static_main_menu()) return;

	int16 x = 0, y = 0;
	uint32 buttons = 0;
	get_input_pointer_state(&x, &y, &buttons);
	if (x != main_module.last_mouse_x || y != main_module.last_mouse_y)
	{
		main_module.last_mouse_x = x;
		main_module.last_mouse_y = y;
		main_globals.ticks = 0;
		set_main_menu_button_transparency(0);
		return;
	}

	if (main_globals.ticks > TICKS_UNTIL_BUTTONS_START_FADING_OUT)
	{
		int32 fading = main_globals.ticks - TICKS_UNTIL_BUTTONS_START_FADING_OUT;
		fixed_fraction transparency = fading < BUTTON_FADEOUT_TICKS ?
			static_cast<fixed_fraction>(fading * 65536 / BUTTON_FADEOUT_TICKS) : 65535;
		set_main_menu_button_transparency(transparency);
	}
}

static void main_menu_dialog_handler_proc(dialog_data *dialog, int16 event)
{
	switch (event)
	{
	case _dialog_event_idle:
		main_menu_idle();
		break;

	case _dialog_event_cancel:
		handle_quit();
		break;

	case _dialog_event_item_hit:
		for (const main_menu_button &button : main_menu_buttons)
		{
			if (button.item == dialog->item_hit)
			{
				button.handler();
				break;
			}
		}
		break;

	default:
		break;
	}
}

void enter_main_menu(void)
{
	new_game_data *setup = &main_globals.new_game_data;
	boolean is_static = static_main_menu();
	boolean ready = FALSE;

	main_module.main_menu_demo_running = FALSE;
	if (tag_file_exists(MESH_DEFINITION_GROUP_TAG, DEMO_MESH_TAG))
	{
		build_demo_setup(setup);
		if (is_static)
		{
			ready = initialize_zerv_for_new_map(NULL);
		}
		else
		{
			ready = initialize_zerv_for_new_map(setup);
			main_module.main_menu_demo_running = ready;
			if (!ready)
			{
				// A demo that does not start leaves the menu without a game behind it.
				handle_error();
				ready = initialize_zerv_for_new_map(NULL);
			}
		}
	}
	else
	{
		handle_error();
		ready = initialize_zerv_for_new_map(NULL);
	}
	if (!ready)
	{
		log_message(MODULE_NAME, __LINE__, "initialize_zerv_for_new_map(NULL) failed.");
		bail_with_status(1);
	}

	game_local_time_set(0);
	game->loaded = TRUE;
	add_chat_to_back_log(2, 0, NULL, "Game Started");
	if (!main_module.first_main_menu_entry_done)
	{
		main_module.first_main_menu_entry_done = TRUE;
		tag_files_update_available_plugins();
		initialize_entry_point_cache();
	}

	main_globals.ticks = 0;
	get_input_pointer_state(&main_module.last_mouse_x, &main_module.last_mouse_y, NULL);

	dialog_data *dialog = new_dialog(MAIN_MENU_DIALOG_TAG_640_480, main_menu_dialog_handler_proc, NULL, 0, 0);
	main_globals.dialog = dialog;
	if (!dialog)
	{
		log_message(MODULE_NAME, __LINE__, "couldn't open the main menu.");
	}
	else
	{
		int16 collection_index = dialog->background_collection_index;
		main_globals.main_collection_index = collection_index;
		set_dialog_cancel_item(dialog, iQUIT);

		rectangle2d bounds;
		set_rectangle2d(&bounds, 1, 1, 480, 18);
		new_unpressed_control(dialog, STATIC_TEXT_CONTROL_TAG, iBUILD_TEXT, &bounds, ZERV_BUILD_TEXT);
		set_dialog_static_item_text_appearance(dialog, iBUILD_TEXT, get_interface_font_index(BUILD_TEXT_FONT_SLOT),
			0, NULL, 0);
		set_bitmap_dialog_static_item_text(dialog, iBUILD_TEXT, ZERV_BUILD_TEXT);

		if (is_static)
		{
			set_dialog_background(dialog, collection_index, _bitmap_static_main_menu_sequence);
			bitmap_set_item_visible(dialog, iBACKGROUND, FALSE);
		}
		else
		{
			set_dialog_bitmap_art(dialog, iBACKGROUND, collection_index, _bitmap_main_menu_sequence);
		}

		for (const main_menu_button &button : main_menu_buttons)
		{
			set_button_control_shape(dialog, button.item, collection_index, button.sequence);
			set_dialog_item_keyboard_equivalent(dialog, button.item, button.key);
			bitmap_set_item_enabled(dialog, button.item, button.enabled());
			set_button_transparency(dialog, button.item, 0);
		}
	}

	if ((main_globals.flags & (_local_network_only_flag | _metaserver_only_flag)) !=
		(_local_network_only_flag | _metaserver_only_flag))
	{
		warn_no_networking(TRUE);
	}
}

void close_main_menu_dialog(void)
{
	if (main_globals.dialog)
	{
		dispose_dialog(main_globals.dialog);
		main_globals.dialog = NULL;
		main_globals.main_collection_index = NONE;
	}
}

/* ---------- whether a button is enabled */

boolean warn_no_networking(boolean show)
{
	char reason[NETWORK_FAILURE_REASON_LENGTH];
	reason[0] = 0;
	boolean available = zerv_networking_available(reason);
	reason[sizeof(reason) - 1] = 0;

	game_preferences *preferences = get_game_preferences();
	if (!available && show && (preferences->flags & _game_pref_warn_on_network_failure_flag))
	{
		dialog_data *dialog = new_dialog(FAILURE_LOADING_NETWORKING_DIALOG_TAG, NULL, NULL, 0, 0);
		if (dialog)
		{
			set_bitmap_dialog_static_item_text(dialog, iREASON, reason);
			int16 item_hit;
			// A dialog that fails (-1) counts as dismissed.
			do
			{
				item_hit = modal_dialog(dialog);
			} while (item_hit != 1 && item_hit != 2 && item_hit != NONE);
			dispose_dialog(dialog);

			if (item_hit == 2)
			{
				preferences->flags &= ~_game_pref_warn_on_network_failure_flag;
				write_game_preferences();
			}
		}
	}
	return available;
}

boolean allow_single_player_game(void)
{
	return !(main_globals.flags & _network_game_only_flag);
}

boolean allow_continue_game(void)
{
	return save_game_exists() && !(main_globals.flags & _network_game_only_flag);
}

boolean allow_replay_game(void)
{
	return replay_saved_game_available();
}

boolean allow_replay_intro(void)
{
	return found_cutscene(INTRO_CUTSCENE_NAME) && !prevent_cutscenes_from_playing();
}

boolean allow_preferences(void)
{
	return preferences_screens_available();
}

boolean allow_networking(void)
{
	if ((main_globals.flags & (_local_network_only_flag | _metaserver_only_flag)) ==
		(_local_network_only_flag | _metaserver_only_flag))
	{
		return FALSE;
	}
	return warn_no_networking(FALSE);
}

/* ---------- what the buttons do */

void handle_continue_game(void)
{
	if (continue_saved_game(&main_globals.new_game_data, &main_globals.save_game_ticks, &main_globals.save_game_observer,
		&main_globals.save_game_zoom_factor, main_globals.cached_console_text, &main_globals.cached_console_line_count))
	{
		get_game_preferences()->difficulty_level = main_globals.new_game_data.parameters.difficulty_level;
		main_globals.restoring_from_save_game = TRUE;
		set_game_state(_game_state_running);
	}
	flush_actions();
}

void revert_game(void)
{
	if (revert_to_last_saved_game(&main_globals.new_game_data, &main_globals.save_game_ticks,
		&main_globals.save_game_observer, &main_globals.save_game_zoom_factor, main_globals.cached_console_text,
		&main_globals.cached_console_line_count))
	{
		get_game_preferences()->difficulty_level = main_globals.new_game_data.parameters.difficulty_level;
		main_globals.restoring_from_save_game = TRUE;
		set_game_state(_game_state_running);
	}
	flush_actions();
}

// A started film runs next; the menu shows the film dialog again after it.
static void start_chosen_replay(boolean started)
{
	if (started)
	{
		if (get_game_preferences()->flags & _game_pref_enabled_camera_tracking_by_default_flag)
		{
			main_globals.new_game_data.parameters.option_flags |= _game_option_camera_tracking_initially_on_flag;
		}
		set_game_state(_game_state_running);
		main_module.running_user_replay = TRUE;
	}
	else
	{
		main_module.running_user_replay = FALSE;
	}
	flush_actions();
}

void handle_replay_game(void)
{
	start_chosen_replay(replay_manager(&main_globals.new_game_data));
}

void reopen_replay_game(void)
{
	start_chosen_replay(reopen_replay_manager(&main_globals.new_game_data));
}

void handle_network_game(void)
{
	flush_actions();
	switch (setup_network_game(&main_globals.network_service_provider, &main_globals.new_game_data))
	{
	case _setup_network_game_success:
		game->state = _game_state_configuring_netgame;
		set_game_state(_game_state_running);
		break;

	case _setup_network_game_quit_immediately:
		set_game_state(_game_state_displaying_trailer);
		break;

	case _setup_network_game_failure_need_cleanup:
		game->state = _game_state_configuring_netgame;
		set_game_state(_game_state_displaying_main_menu);
		break;

	default: // a failure without clean-up leaves the state as it is
		break;
	}
}

void handle_server_switch(void)
{
	close_main_menu_dialog();
	dispose_zerv_from_old_map();
	initialize_zerv_for_new_map(NULL);
	game->state = _game_state_configuring_netgame;
	set_game_state(_game_state_displaying_main_menu);
}

void handle_new_game(void)
{
	if (setup_single_player_game(static_cast<file_tag>(NONE))) set_game_state(_game_state_displaying_mesh_prologue);
}

void handle_training_map(void)
{
	if (setup_single_player_game(TRAINING_MAP_MESH_TAG)) set_game_state(_game_state_displaying_mesh_prologue);
}

void handle_replay_intro(void)
{
	set_game_state(_game_state_displaying_intro_sequence);
}

void handle_quit(void)
{
	set_game_state(_game_state_displaying_trailer);
}

void handle_preferences(void)
{
	handle_preferences_dialog(0);

	// The kind of menu follows the preference.
	boolean is_static = static_main_menu();
	if ((is_static && main_module.main_menu_demo_running) || (!is_static && !main_module.main_menu_demo_running))
	{
		set_game_state(_game_state_displaying_main_menu);
	}
	flush_actions();
}

/* ---------- single-player entry */

// The entry points offered by the map list, with the row identifiers as
// their indexes.
struct new_game_dialog_state
{
	int32 entry_point_count;
	entry_point_info entry_points[MAXIMUM_SIMULTANEOUS_ENTRY_POINTS];
	int16 current_tab; // 0 difficulty, 1 plugins
	int16 active_plugin_count;
	int16 opened_plugin_index; // NONE when none
	int32 selected_entry_point;
};

static new_game_dialog_state new_game_dialog;

static const entry_point_info *selected_entry_point(dialog_data *dialog, int16 map_list_item)
{
	int32 identifier = get_string_list_selected_identifier(dialog, map_list_item);
	if (identifier < 0 || identifier >= new_game_dialog.entry_point_count) return NULL;
	return &new_game_dialog.entry_points[identifier];
}

static void fill_map_list(dialog_data *dialog)
{
	int32 count = tag_file_entry_points_get(new_game_dialog.entry_points);
	if (count < 0) count = 0;
	if (count > MAXIMUM_SIMULTANEOUS_ENTRY_POINTS) count = MAXIMUM_SIMULTANEOUS_ENTRY_POINTS;
	new_game_dialog.entry_point_count = count;

	bitmap_empty_list(dialog, iNEW_GAME_MAP_LIST);
	int32 first_map = NONE;
	for (int32 i = 0; i < count; ++i)
	{
		entry_point_info *entry = &new_game_dialog.entry_points[i];
		entry->printed_name[sizeof(entry->printed_name) - 1] = 0;
		add_string_to_list(dialog, iNEW_GAME_MAP_LIST, entry->printed_name, i, FALSE);
		if (first_map == NONE && entry->subgroup_tag == FIRST_DEFAULT_MAP_TAG) first_map = i;
	}
	if (first_map != NONE) select_string_list_by_identifier(dialog, iNEW_GAME_MAP_LIST, first_map);
}

static void fill_difficulty_list(dialog_data *dialog)
{
	int16 list = string_list_tag_to_string_index(DIFFICULTY_LEVEL_STRING_LIST_TAG);
	bitmap_empty_list(dialog, iNEW_GAME_DIFFICULTY_LIST);
	for (int16 level = 0; level < NUMBER_OF_DIFFICULTY_LEVELS; ++level)
	{
		if (DIFFICULTY_LEVEL_MASK & (1 << level))
		{
			add_string_to_list(dialog, iNEW_GAME_DIFFICULTY_LIST, get_string_from_list(list, level), level, FALSE);
		}
	}
	select_string_list_by_identifier(dialog, iNEW_GAME_DIFFICULTY_LIST, get_game_preferences()->difficulty_level);
}

static void show_difficulty_explanation(dialog_data *dialog)
{
	int32 level = get_string_list_selected_identifier(dialog, iNEW_GAME_DIFFICULTY_LIST);
	if (level < 0) level = get_game_preferences()->difficulty_level;
	int16 list = string_list_tag_to_string_index(DIFFICULTY_EXPLANATION_STRING_LIST_TAG);
	set_bitmap_dialog_static_item_text(dialog, iNEW_GAME_DIFFICULTY_EXPLANATION,
		get_string_from_list(list, static_cast<int16>(level)));
}

static void fill_active_plugin_list(dialog_data *dialog)
{
	game_preferences *preferences = get_game_preferences();
	int16 indexes[MAXIMUM_ENCODED_PLUGINS];
	int16 count = 0;

	bitmap_empty_list(dialog, iNEW_GAME_PLUGIN_LIST);
	if (preferences->solo_plugin_count > 0 &&
		tag_file_plugins_decode(indexes, &count, preferences->solo_plugin_data, GAME_PREFERENCES_PLUGIN_DATA_SIZE, NULL))
	{
		if (count > MAXIMUM_ENCODED_PLUGINS) count = MAXIMUM_ENCODED_PLUGINS;
		for (int16 i = 0; i < count; ++i)
		{
			plugin_info info;
			memset(&info, 0, sizeof(info));
			if (!tag_file_indexed_plugin_get(indexes[i], &info)) continue;
			info.name[sizeof(info.name) - 1] = 0;
			add_string_to_list(dialog, iNEW_GAME_PLUGIN_LIST, info.name, indexes[i], FALSE);
		}
	}
	else
	{
		count = 0;
	}
	new_game_dialog.active_plugin_count = count;
	// The plugins tab is offered only with plugins.
	set_tab_control_tab_enabled(dialog, iNEW_GAME_TABS, 1, count > 0);
}

static void show_new_game_tab(dialog_data *dialog, int16 tab)
{
	new_game_dialog.current_tab = tab;
	set_tab_control_selected_tab(dialog, iNEW_GAME_TABS, tab);
	bitmap_set_item_visible(dialog, iNEW_GAME_DIFFICULTY_LIST, tab == 0);
	bitmap_set_item_visible(dialog, iNEW_GAME_PLUGIN_LIST, tab != 0);
}

// The picture of the chosen map's plugin, from that plugin opened for a moment.
static void show_map_plugin_picture(dialog_data *dialog)
{
	const entry_point_info *entry = selected_entry_point(dialog, iNEW_GAME_MAP_LIST);
	int16 plugin_index = entry ? entry->plugin_index : NONE;
	int16 collection_index = NONE;
	if (plugin_index != NONE)
	{
		tag_file_plugin_open_temporary(plugin_index);
		collection_index = get_collection_index(SOLO_ICON_COLLECTION_TAG);
		tag_file_plugin_close_temporary();
	}
	new_game_dialog.opened_plugin_index = plugin_index;
	set_dialog_bitmap_art(dialog, iNEW_GAME_PLUGIN_PICTURE, collection_index, 0);
}

boolean new_game_plugin_gui_logic(dialog_data *dialog, new_game_parameter_data *parameters, const byte *plugin_list,
	int16 map_list_item, int16 difficulty_list_item, int16 anticlump_item, int16 qel_item)
{
	if (!dialog || !parameters) return FALSE;

	const entry_point_info *entry = selected_entry_point(dialog, map_list_item);
	file_tag map_tag = entry ? entry->subgroup_tag : FIRST_DEFAULT_MAP_TAG;
	int16 entry_plugin_index = entry ? entry->plugin_index : NONE;

	int16 in_indexes[MAXIMUM_ENCODED_PLUGINS];
	int16 in_count = 0;
	if (plugin_list && !tag_file_plugins_decode(in_indexes, &in_count, plugin_list, MAXIMUM_PLUGIN_DATA_SIZE, NULL))
	{
		in_count = 0;
	}
	if (in_count < 0 || in_count > MAXIMUM_ENCODED_PLUGINS) in_count = 0;

	mesh_header header;
	const boolean header_read = read_mesh_header(map_tag, &header);
	const char *required_plugin = NULL;
	if (header_read && (header.flags & _mesh_requires_plugin_flag))
	{
		header.plugin_name[sizeof(header.plugin_name) - 1] = 0;
		required_plugin = header.plugin_name;
	}

	int16 out_indexes[MAXIMUM_ENCODED_PLUGINS];
	int16 out_count = 0;
	boolean use_vqel = FALSE;
	if (!tag_files_build_plugin_indices_for_entrypoint(out_indexes, &out_count, MAXIMUM_ENCODED_PLUGINS, in_indexes,
		in_count, MAXIMUM_ENCODED_PLUGINS, entry_plugin_index, required_plugin, &use_vqel))
	{
		return FALSE;
	}
	if (out_count < 0 || out_count > MAXIMUM_ENCODED_PLUGINS) return FALSE;

	*parameters = default_new_game_parameter_data;
	parameters->type = _game_type_local;
	parameters->scenario_tag = map_tag;
	parameters->version = ZERV_BUILD_VERSION;
	memset(parameters->plugin_data, 0, sizeof(parameters->plugin_data));
	parameters->plugin_count = out_count;
	if (out_count > 0) tag_file_plugins_encode(out_indexes, out_count, parameters->plugin_data);

	boolean mesh_uses_vqel = header_read && (header.flags & _mesh_uses_vqel_flag);
	boolean qel = get_checkbox_state(dialog, qel_item) || mesh_uses_vqel;
	boolean anticlump = get_checkbox_state(dialog, anticlump_item) && !qel;
	parameters->option_flags = _game_option_version_modifier_flag;
	if (qel) parameters->option_flags |= _game_option_uses_qel_flag;
	if (anticlump) parameters->option_flags |= _game_option_uses_anticlump_flag;

	game_preferences *preferences = get_game_preferences();
	int32 difficulty = get_string_list_selected_identifier(dialog, difficulty_list_item);
	if (difficulty < 0 || difficulty >= NUMBER_OF_DIFFICULTY_LEVELS) difficulty = preferences->difficulty_level;
	parameters->difficulty_level = static_cast<int16>(difficulty);
	preferences->difficulty_level = static_cast<int16>(difficulty);
	write_game_preferences();
	return TRUE;
}

static void new_game_dialog_handler_proc(dialog_data *dialog, int16 event)
{
	if (event != _dialog_event_item_hit) return;
	switch (dialog->item_hit)
	{
	case iANTICLUMP_CHECKBOX:
		if (get_checkbox_state(dialog, iANTICLUMP_CHECKBOX)) set_checkbox_state(dialog, iQEL_CHECKBOX, FALSE);
		break;
	case iQEL_CHECKBOX:
		if (get_checkbox_state(dialog, iQEL_CHECKBOX)) set_checkbox_state(dialog, iANTICLUMP_CHECKBOX, FALSE);
		break;
	default:
		break;
	}
}

// The new-game dialog; false when it is cancelled.
static boolean run_new_game_dialog(new_game_data *setup)
{
	// The lists' texts are string lists, which live in a map's context. With
	// none behind the dialog it sets them up for its own time: a list refused
	// would be stored as an error and fail the next map start.
	const boolean own_strings = !definition_group_is_set_up(STRING_LIST_DEFINITION_GROUP_TAG);
	if (own_strings) initialize_string_definitions_for_new_map();
	dialog_data *dialog = new_dialog(NEW_GAME_DIALOG_TAG, new_game_dialog_handler_proc, NULL, 0, 0);
	if (!dialog)
	{
		if (own_strings) dispose_string_definitions_from_old_map();
		return FALSE;
	}

	memset(&new_game_dialog, 0, sizeof(new_game_dialog));
	new_game_dialog.opened_plugin_index = NONE;
	// A tag set without the dialog's art leaves its background unset.
	set_dialog_background(dialog, try_and_get_collection_index(NEW_GAME_COLLECTION_TAG), 0);
	set_tab_control_names(dialog, iNEW_GAME_TABS, "Difficulty\rPlugins");
	cache_entrypoints_for_plugin_data(get_game_preferences()->solo_plugin_data, GAME_PREFERENCES_PLUGIN_DATA_SIZE);
	fill_map_list(dialog);
	fill_difficulty_list(dialog);
	show_difficulty_explanation(dialog);
	fill_active_plugin_list(dialog);
	show_new_game_tab(dialog, 0);
	show_map_plugin_picture(dialog);
	// Accepting the selected map and difficulty is what a player would choose.
	set_default_dialog_item(dialog, iNEW_GAME_ACCEPT);

	boolean accepted = FALSE;
	for (;;)
	{
		int16 item_hit = modal_dialog(dialog);
		if (item_hit == iNEW_GAME_ACCEPT)
		{
			// Plugins the map cannot be played with keep the dialog open.
			if (new_game_plugin_gui_logic(dialog, &setup->parameters, get_game_preferences()->solo_plugin_data,
				iNEW_GAME_MAP_LIST, iNEW_GAME_DIFFICULTY_LIST, iANTICLUMP_CHECKBOX, iQEL_CHECKBOX))
			{
				accepted = TRUE;
				break;
			}
		}
		else if (item_hit == iNEW_GAME_CANCEL || item_hit == NONE)
		{
			break;
		}
		else if (item_hit == iNEW_GAME_SOLO_PLUGINS)
		{
			easy_plugins_dialog(0, 2);
			cache_entrypoints_for_plugin_data(get_game_preferences()->solo_plugin_data, GAME_PREFERENCES_PLUGIN_DATA_SIZE);
			fill_map_list(dialog);
			fill_active_plugin_list(dialog);
			if (!get_tab_control_tab_enabled(dialog, iNEW_GAME_TABS, 1)) show_new_game_tab(dialog, 0);
			show_map_plugin_picture(dialog);
		}
		else if (item_hit == iNEW_GAME_TABS)
		{
			const boolean plugins_offered = get_tab_control_tab_enabled(dialog, iNEW_GAME_TABS, 1);
			show_new_game_tab(dialog, new_game_dialog.current_tab == 0 && plugins_offered ? 1 : 0);
		}
		else if (item_hit == iNEW_GAME_DIFFICULTY_LIST)
		{
			show_difficulty_explanation(dialog);
		}
		else if (item_hit == iNEW_GAME_MAP_LIST)
		{
			show_map_plugin_picture(dialog);
		}
	}
	dispose_dialog(dialog);
	if (own_strings) dispose_string_definitions_from_old_map();
	return accepted;
}

boolean choose_single_player_entry_point(file_tag tag)
{
	new_game_data *setup = &main_globals.new_game_data;
	setup->parameters.option_flags &= ~_game_option_continuation_flag;

	if (tag == static_cast<file_tag>(NONE)) return run_new_game_dialog(setup);

	uint32 previous_flags = setup->parameters.option_flags;
	int16 previous_plugin_count = setup->parameters.plugin_count;
	uint8 previous_plugin_data[MAXIMUM_PLUGIN_DATA_SIZE];
	memcpy(previous_plugin_data, setup->parameters.plugin_data, sizeof(previous_plugin_data));

	get_default_new_game_data(setup, _game_type_local, tag);
	if (previous_flags & _game_option_uses_qel_flag)
	{
		setup->parameters.option_flags |= _game_option_uses_qel_flag;
	}
	else if (previous_flags & _game_option_uses_anticlump_flag)
	{
		setup->parameters.option_flags |= _game_option_uses_anticlump_flag;
	}

	if (tag != TRAINING_MAP_MESH_TAG)
	{
		setup->parameters.plugin_count = previous_plugin_count;
		memcpy(setup->parameters.plugin_data, previous_plugin_data, sizeof(previous_plugin_data));
		setup->parameters.option_flags |= _game_option_continuation_flag;
	}
	return TRUE;
}

static void set_single_player(new_player_data *player, const char *name, int16 type, int16 team_index,
	const rgb_color *color)
{
	memset(player, 0, sizeof(*player));
	snprintf(player->appearance.name, sizeof(player->appearance.name), "%s", name);
	player->type = type;
	player->team_index = team_index;
	player->flags = 0;
	player->team_captain_identifier = static_cast<uint32>(NONE);
	player->appearance.primary_color = *color;
	player->appearance.secondary_color = *color;
}

boolean setup_single_player_game(file_tag tag)
{
	new_game_data *setup = &main_globals.new_game_data;
	if (!choose_single_player_entry_point(tag)) return FALSE;

	new_game_parameter_data *parameters = &setup->parameters;
	parameters->scoring = _game_scoring_custom;
	parameters->time_limit = 0;
	parameters->option_flags = (parameters->option_flags & ~_game_option_restore_veterans_flag) | SINGLE_PLAYER_OPTION_FLAGS;
	uint32 seed = machine_tick_count();
	parameters->random_seed = seed;
	parameters->initial_team_random_seed = static_cast<uint16>(seed);
	parameters->difficulty_level = get_game_preferences()->difficulty_level;

	static const rgb_color light_color = {65535, 65535, 65535, 0};
	static const rgb_color dark_color = {16384, 16384, 16384, 0};
	static const rgb_color neutral_color = {16384, 0, 0, 0};

	setup->local_player_index = 0;
	setup->player_count = SINGLE_PLAYER_COUNT;
	memset(setup->players, 0, sizeof(setup->players));
	set_single_player(&setup->players[0], "Light", _player_is_human, 0, &light_color);
	setup->players[0].version = ZERV_BUILD_VERSION;
	setup->players[0].build_number = ZERV_BUILD_NUMBER;
	set_single_player(&setup->players[1], "Dark", _player_is_computer, 1, &dark_color);
	set_single_player(&setup->players[2], "Neutral", _player_is_computer, 2, &neutral_color);
	return TRUE;
}

void change_single_player_map(file_tag tag, boolean restore_veterans)
{
	if (!setup_single_player_game(tag)) return;
	if (restore_veterans)
	{
		main_globals.new_game_data.parameters.option_flags |= _game_option_restore_veterans_flag;
		set_game_state(_game_state_running);
	}
	else
	{
		set_game_state(_game_state_displaying_mesh_prologue);
	}
}

void restart_game(void)
{
	change_single_player_map(main_globals.new_game_data.parameters.scenario_tag, TRUE);
}
