#include "bitmap_dialogs/screens.h"

#include "main.h"

char chosen_interface[MAXIMUM_INTERFACE_NAME_LENGTH] = "";

static screens_test_hooks_data screens_hooks;
static int16 cached_endgame_state = 0;

screens_test_hooks_data *get_screens_test_hooks(void)
{
	return &screens_hooks;
}

void reset_screens_test_hooks(void)
{
	clear_least_call_log(&screens_hooks.calls);
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

void display_mesh_epilogue(file_tag mesh_tag)
{
	LEAST("display_mesh_epilogue", mesh_tag);
	// No story screens yet: every epilogue ends at the main menu.
	set_game_state(_game_state_displaying_main_menu);
}

void handle_preferences_dialog(int16 panel)
{
	LEAST("handle_preferences_dialog", panel);
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

boolean get_mesh_display_name_in_plugin_list(file_tag mesh_tag, char *buffer, int32 length,
	const byte *encoded_plugins, int32 encoded_length)
{
	LEAST("get_mesh_display_name_in_plugin_list", mesh_tag, buffer, length, encoded_plugins, encoded_length);
	if (buffer && length > 0) buffer[0] = 0;
	return FALSE;
}

void bitmap_rename_tag(int32 tag_handle, const char *prompt, file_tag group_tag)
{
	LEAST("bitmap_rename_tag", tag_handle, prompt, group_tag);
}

int32 bitmap_standard_put_tag(const char *prompt, file_tag group_tag, const char *default_name, int16 version)
{
	LEAST("bitmap_standard_put_tag", prompt, group_tag, default_name, version);
	return NONE;
}

int16 sure_you_want_to_delete(int32 tag_handle, file_tag group_tag)
{
	LEAST("sure_you_want_to_delete", tag_handle, group_tag);
	return 0;
}

int16 unique_name_or_desires_replacement(file_tag group_tag, const char *name)
{
	LEAST("unique_name_or_desires_replacement", group_tag, name);
	return 0;
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

void open_unit_trading_dialog(void)
{
	LEAST("open_unit_trading_dialog");
}

void close_unit_trading_dialog(void)
{
	LEAST("close_unit_trading_dialog");
}

boolean unit_trading_dialog_visible(rectangle2d *bounds)
{
	if (bounds) set_rectangle2d(bounds, 0, 0, 0, 0);
	return FALSE;
}
