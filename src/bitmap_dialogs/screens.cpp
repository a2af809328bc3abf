#include "bitmap_dialogs/screens.h"

#include "main.h"
#include "game_preferences.h"
#include "mesh.h"
#include "zerv.h"
#include "tag_files/tag_files.h"

char chosen_interface[MAXIMUM_INTERFACE_NAME_LENGTH] = "";

static screens_test_hooks_data screens_hooks;
static int16 cached_endgame_state = 0;

static void reset_screens_answers(void)
{
	screens_hooks.put_tag_name[0] = 0;
	screens_hooks.rename_tag_name[0] = 0;
	screens_hooks.delete_answer = 0;
	screens_hooks.replace_answer = 0;
	screens_hooks.continue_answer = TRUE;
}

static struct screens_hooks_initializer
{
	screens_hooks_initializer() { reset_screens_answers(); }
} screens_hooks_initializer_instance;

screens_test_hooks_data *get_screens_test_hooks(void)
{
	return &screens_hooks;
}

void reset_screens_test_hooks(void)
{
	clear_least_call_log(&screens_hooks.calls);
	reset_screens_answers();
	cached_endgame_state = 0;
	chosen_interface[0] = 0;
}

#define LEAST(...) least_call(&screens_hooks.calls, __VA_ARGS__)

void load_interface_preferences(void)
{
	LEAST("load_interface_preferences");
}

void cache_endgame_state(int16 endgame_state)
{
	LEAST("cache_endgame_state", endgame_state);
	cached_endgame_state = endgame_state;
}

int16 get_cached_endgame_state(void)
{
	return cached_endgame_state;
}

void display_mesh_prologue(file_tag mesh_tag)
{
	LEAST("display_mesh_prologue", mesh_tag);
}

static boolean mesh_is_in_foundation_file(file_tag mesh_tag)
{
	const int32 handle = tag_file_open(MESH_DEFINITION_GROUP_TAG, mesh_tag);
	return handle != NONE && tag_file_get_tag_file_type(handle) == _tag_file_type_foundation;
}

// The story screens are not drawn: the victory and defeat sounds and the
// offer to revert to the last saved game stay out; a defeat, like anything
// but a victory, ends at the main menu.
void display_mesh_epilogue(file_tag mesh_tag)
{
	LEAST("display_mesh_epilogue", mesh_tag);
	// Whatever fails below leaves the player at the menu, never in this state.
	set_game_state(_game_state_displaying_main_menu);

	mesh_header header;
	if (mesh_tag == TRAINING_MAP_MESH_TAG || !read_mesh_header(mesh_tag, &header)) return;

	file_tag next_mesh_tag = static_cast<file_tag>(NONE);
	switch (cached_endgame_state)
	{
	case _endgame_state_victory: next_mesh_tag = header.next_mesh_tags[0]; break;
	case _endgame_state_alternate_victory: next_mesh_tag = header.next_mesh_tags[1]; break;
	default: return;
	}
	// An alternate victory without its map counts as a defeat.
	if (cached_endgame_state == _endgame_state_alternate_victory && next_mesh_tag == static_cast<file_tag>(NONE)) return;

	if ((header.extra_flags & _mesh_extra_is_last_level_of_scenario_flag) ||
		(header.next_mesh_tags[0] == static_cast<file_tag>(NONE) && mesh_is_in_foundation_file(mesh_tag)))
	{
		set_game_state(_game_state_displaying_epilogue);
		return;
	}
	if (next_mesh_tag == static_cast<file_tag>(NONE)) return;

	mark_solo_level_as_visited(next_mesh_tag);
	if (screens_hooks.continue_answer) change_single_player_map(next_mesh_tag, FALSE);
}

void handle_preferences_dialog(int16 panel)
{
	LEAST("handle_preferences_dialog", panel);
}

boolean preferences_screens_available(void)
{
	return FALSE;
}

void easy_plugins_dialog(int16 mode, int16 list)
{
	LEAST("easy_plugins_dialog", mode, list);
}

void initialize_entry_point_cache(void)
{
	LEAST("initialize_entry_point_cache");
}

void reset_entry_point_cache(void)
{
	LEAST("reset_entry_point_cache");
}

void cache_entrypoints_for_plugin_data(const byte *encoded_plugins, int32 length)
{
	LEAST("cache_entrypoints_for_plugin_data", encoded_plugins, length);
}

void append_entry_points_to_list(dialog_data *dialog, int16 item)
{
	LEAST("append_entry_points_to_list", dialog, item);
}

// Answered from the entry points of the foundation files, the local folder
// and the plugins of the list that are present. Of several entry points of
// the map the last listed wins: local maps come after plugins, and plugins
// after the foundation files, as their tags shadow each other.
boolean get_mesh_display_name_in_plugin_list(file_tag mesh_tag, char *buffer, int32 length,
	const byte *encoded_plugins, int32 encoded_length)
{
	// The buffer is for output: logged as an address, never read as text.
	LEAST("get_mesh_display_name_in_plugin_list", mesh_tag, static_cast<void *>(buffer), length, encoded_plugins,
		encoded_length);
	if (buffer && length > 0) buffer[0] = 0;
	if (mesh_tag == static_cast<file_tag>(NONE)) return FALSE;

	int16 plugin_indexes[MAXIMUM_ENCODED_PLUGINS];
	int16 plugin_count = 0;
	if (encoded_plugins && encoded_length > 0)
	{
		// Missing plugins leave their maps out; the others still count.
		tag_file_plugins_decode(plugin_indexes, &plugin_count, encoded_plugins, encoded_length, NULL);
		plugin_count = PIN(plugin_count, 0, MAXIMUM_ENCODED_PLUGINS);
	}

	const int32 count = tag_file_entry_points_get(NULL);
	if (count <= 0) return FALSE;
	entry_point_info *entries = static_cast<entry_point_info *>(new_pointer(sizeof(entry_point_info) * static_cast<size_t>(count)));
	if (!entries) return FALSE;
	const int32 listed = MIN(count, tag_file_entry_points_get(entries));

	const entry_point_info *found = NULL;
	for (int32 i = 0; i < listed; ++i)
	{
		const entry_point_info *entry = &entries[i];
		if (entry->subgroup_tag != mesh_tag) continue;
		boolean available = entry->plugin_index == NONE;
		for (int16 j = 0; j < plugin_count && !available; ++j) available = plugin_indexes[j] == entry->plugin_index;
		if (available) found = entry;
	}
	if (found && buffer && length > 0)
	{
		const size_t name_length = strnlen(found->printed_name, sizeof(found->printed_name));
		const size_t copied = MIN(name_length, static_cast<size_t>(length) - 1);
		memcpy(buffer, found->printed_name, copied);
		buffer[copied] = 0;
	}
	dispose_pointer(entries);
	return found ? TRUE : FALSE;
}

void bitmap_rename_tag(int32 tag_handle, const char *prompt, file_tag group_tag)
{
	LEAST("bitmap_rename_tag", tag_handle, prompt, group_tag);
	if (!screens_hooks.rename_tag_name[0] || tag_file_get_header_group(tag_handle) != group_tag) return;
	tag_file_name_set(&tag_handle, screens_hooks.rename_tag_name);
}

int32 bitmap_standard_put_tag(const char *prompt, file_tag group_tag, const char *default_name, int16 version)
{
	LEAST("bitmap_standard_put_tag", prompt, group_tag, default_name, version);
	const char *name = screens_hooks.put_tag_name;
	if (!name[0] || !unique_name_or_desires_replacement(group_tag, name)) return NONE;
	return tag_file_new(group_tag, name, version);
}

int16 sure_you_want_to_delete(int32 tag_handle, file_tag group_tag)
{
	LEAST("sure_you_want_to_delete", tag_handle, group_tag);
	return screens_hooks.delete_answer == 1 ? 1 : 0;
}

// The question is asked only when a tag of the group already has the name.
int16 unique_name_or_desires_replacement(file_tag group_tag, const char *name)
{
	LEAST("unique_name_or_desires_replacement", group_tag, name);
	if (!name) return 0;
	tag_file_info filter;
	tag_file_info_new(&filter);
	filter.group_tag = group_tag;
	strncpy(filter.name, name, sizeof(filter.name) - 1);
	filter.name[sizeof(filter.name) - 1] = 0;
	if (tag_file_enumerate(&filter, NULL, NONE) == 0) return 1;
	return screens_hooks.replace_answer == 1 ? 1 : 0;
}

void set_snapshot_item_tag_header(dialog_data *dialog, int16 item, int32 tag_handle)
{
	LEAST("set_snapshot_item_tag_header", dialog, item, tag_handle);
}

void set_snapshot_item_data(dialog_data *dialog, int16 item, const byte *pixels, int16 width, int16 height,
	int16 encoding)
{
	LEAST("set_snapshot_item_data", dialog, item, pixels, width, height, encoding);
}

void set_game_control_description(dialog_data *dialog, int16 item, const void *description)
{
	LEAST("set_game_control_description", dialog, item, description);
}

void set_game_graphic_is_replay(dialog_data *dialog, int16 item, boolean is_replay)
{
	LEAST("set_game_graphic_is_replay", dialog, item, is_replay);
}

void open_map_loading_progress_dialog(file_tag mesh_tag, boolean has_preload_list)
{
	LEAST("open_map_loading_progress_dialog", mesh_tag, has_preload_list);
}

void update_map_loading_progress_dialog(void)
{
	LEAST("update_map_loading_progress_dialog");
}

void reset_open_map_progress_dialog(void)
{
	LEAST("reset_open_map_progress_dialog");
}

void close_map_loading_progress_dialog(void)
{
	LEAST("close_map_loading_progress_dialog");
}

void open_save_game_restoring_progress_dialog(int32 steps)
{
	LEAST("open_save_game_restoring_progress_dialog", steps);
}

void update_save_game_progress_dialog(void)
{
	LEAST("update_save_game_progress_dialog");
}

void close_save_game_progress_dialog(void)
{
	LEAST("close_save_game_progress_dialog");
}

void open_postgame_carnage_report_dialog(void)
{
	LEAST("open_postgame_carnage_report_dialog");
}

void close_postgame_carnage_report_dialog(void)
{
	LEAST("close_postgame_carnage_report_dialog");
}

void close_quit_dialog(void)
{
	LEAST("close_quit_dialog");
}

void close_game_hints_dialog(void)
{
	LEAST("close_game_hints_dialog");
}

boolean game_hints_dialog_is_open(void)
{
	return FALSE;
}

// The unit trading dialog lives with the placements, in unit_trading.cpp.
