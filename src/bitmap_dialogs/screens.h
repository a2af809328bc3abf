// The screens and the game's own dialogs: story screens, preferences,
// progress, quit, hints, unit trading, the post-game report, the map and
// plugin choice and the tag file dialogs.
#ifndef SCREENS_H
#define SCREENS_H

#include "cseries.h"
#include "bitmaps.h"
#include "least_layer.h"

struct dialog_data;

#define MAXIMUM_INTERFACE_NAME_LENGTH 32

// The chosen interface set ("" for the default).
extern char chosen_interface[MAXIMUM_INTERFACE_NAME_LENGTH];
void load_interface_preferences(void);

// Keeps the end-game state for the epilogue screens.
void cache_endgame_state(int16 endgame_state);
int16 get_cached_endgame_state(void);

void display_mesh_prologue(file_tag mesh_tag);
// Requests the next game state itself.
void display_mesh_epilogue(file_tag mesh_tag);
void handle_preferences_dialog(int16 panel);
// Whether the preferences screens can be shown: not yet, so the menu offers
// no button that opens nothing.
boolean preferences_screens_available(void);
void easy_plugins_dialog(int16 mode, int16 list);

/* ---------- map and plugin choice */

void initialize_entry_point_cache(void);
void reset_entry_point_cache(void);
void cache_entrypoints_for_plugin_data(const byte *encoded_plugins, int32 length);
void append_entry_points_to_list(dialog_data *dialog, int16 item);
// Whether the map is available with the encoded plugins; its name goes to
// buffer (which may be NULL).
boolean get_mesh_display_name_in_plugin_list(file_tag mesh_tag, char *buffer, int32 length,
	const byte *encoded_plugins, int32 encoded_length);

/* ---------- tag file dialogs */

void bitmap_rename_tag(int32 tag_handle, const char *prompt, file_tag group_tag);
// The new tag's handle, NONE when cancelled.
int32 bitmap_standard_put_tag(const char *prompt, file_tag group_tag, const char *default_name, int16 version);
// 1 on yes.
int16 sure_you_want_to_delete(int32 tag_handle, file_tag group_tag);
// 1 when the name is free or the player wants it replaced.
int16 unique_name_or_desires_replacement(file_tag group_tag, const char *name);
void set_snapshot_item_tag_header(dialog_data *dialog, int16 item, int32 tag_handle);
void set_snapshot_item_data(dialog_data *dialog, int16 item, const byte *pixels, int16 width, int16 height,
	int16 encoding);
void set_game_control_description(dialog_data *dialog, int16 item, const void *description);
void set_game_graphic_is_replay(dialog_data *dialog, int16 item, boolean is_replay);

/* ---------- progress */

void open_map_loading_progress_dialog(file_tag mesh_tag, boolean has_preload_list);
void update_map_loading_progress_dialog(void);
void reset_open_map_progress_dialog(void);
void close_map_loading_progress_dialog(void);
void open_save_game_restoring_progress_dialog(int32 steps);
void update_save_game_progress_dialog(void);
void close_save_game_progress_dialog(void);

/* ---------- in-game dialogs */

void open_postgame_carnage_report_dialog(void);
void close_postgame_carnage_report_dialog(void);
void close_quit_dialog(void);
void close_game_hints_dialog(void);
boolean game_hints_dialog_is_open(void);
void open_unit_trading_dialog(void);
void close_unit_trading_dialog(void);
// Whether the unit trading dialog is shown; bounds (may be NULL) get its area.
boolean unit_trading_dialog_visible(rectangle2d *bounds);

#define SCREENS_ANSWER_NAME_LENGTH 32

// The player's answers to the dialogs that are not drawn yet.
struct screens_test_hooks_data
{
	least_call_log calls;
	// Typed into the save-as and rename dialogs; "" cancels.
	char put_tag_name[SCREENS_ANSWER_NAME_LENGTH];
	char rename_tag_name[SCREENS_ANSWER_NAME_LENGTH];
	// 1 yes, 0 no: deleting a tag, replacing a tag of the same name.
	int16 delete_answer;
	int16 replace_answer;
	// Whether the player goes on to the next map after a victory (the
	// epilogue's default button, so a campaign advances without a player).
	boolean continue_answer;
};

screens_test_hooks_data *get_screens_test_hooks(void);
// Also forgets the cached end-game state.
void reset_screens_test_hooks(void);

#endif
