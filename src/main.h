// The program's entry and outer control: start-up and shut-down, the main
// loop, the game states, the main menu, the single-player entry, hot keys,
// the frame limiter and the platform shell.
#ifndef MAIN_H
#define MAIN_H

#include "cseries.h"

struct action_data;
struct dialog_data;
struct new_game_data;
struct new_game_parameter_data;

#define ZERV_VERSION_LINE "Zerv II v1.7.2 Linux - Build 377"
#define ZERV_BUILD_TEXT "|iv1.7.2 Linux - |p Build 377"
#define ZERV_BUILD_NUMBER 377
#define ZERV_BUILD_VERSION 2172

enum
{
	_game_state_displaying_prologue,
	_game_state_displaying_main_menu,
	_game_state_running,
	_game_state_displaying_epilogue,
	_game_state_displaying_trailer,
	_game_state_over,
	_game_state_modal_dialog,
	_game_state_configuring_netgame,
	_game_state_next_sequential_replay,
	_game_state_configuring_preferences,
	_game_state_displaying_network_endgame,
	_game_state_displaying_mesh_prologue,
	_game_state_displaying_mesh_epilogue,
	_game_state_displaying_intro_sequence,
	NUMBER_OF_GAME_STATES
};

// Main-global flags.
enum
{
	_enter_game_immediately_bit,
	_enter_netgame_immediately_bit,
	_network_game_only_bit,
	_network_client_only_bit,
	_local_network_only_bit,
	_metaserver_only_bit,
	_no_guests_allowed_bit,
	NUMBER_OF_MAIN_GLOBAL_FLAGS,

	_enter_game_immediately_flag = 1 << _enter_game_immediately_bit,
	_enter_netgame_immediately_flag = 1 << _enter_netgame_immediately_bit,
	_network_game_only_flag = 1 << _network_game_only_bit,
	_network_client_only_flag = 1 << _network_client_only_bit,
	_local_network_only_flag = 1 << _local_network_only_bit,
	_metaserver_only_flag = 1 << _metaserver_only_bit,
	_no_guests_allowed_flag = 1 << _no_guests_allowed_bit
};

#define PROLOGUE_SCREENS_TAG TAG("prsc")
#define EPILOGUE_SCREENS_TAG TAG("inee")
#define TRAILER_SCREENS_TAG TAG("inee")
#define INTRO_CUTSCENE_NAME "prologue.smk"
#define IMAGES_DIALOG_TAG TAG("imdc")
#define MAIN_MENU_DIALOG_TAG_640_480 TAG("imm6")
#define MAIN_MENU_DIALOG_TAG_800_600 TAG("imm8")
#define MAIN_MENU_DIALOG_TAG_1024_768 TAG("imm1")
#define MAIN_MENU_AMBIENT_MUSIC_TAG TAG("mmmu")
#define DEMO_MESH_TAG TAG("85gi")
#define TRAINING_MAP_MESH_TAG TAG("mt00")
#define TICKS_UNTIL_BUTTONS_START_FADING_OUT 300
#define BUTTON_FADEOUT_TICKS 150
#define SAVED_GAME_UPDATE_FREQUENCY 1800
#define CAMERA_TRACKING_STRING_LIST_TAG TAG("inct")
#define INTERNAL_GAMMA_AND_FILTERING_POPUP_STRING_LIST_TAG TAG("ingp")
#define NEW_GAME_DIALOG_TAG TAG("Lnew")
#define NEW_GAME_COLLECTION_TAG TAG("inng")
#define DIFFICULTY_LEVEL_STRING_LIST_TAG TAG("indl")
#define DIFFICULTY_EXPLANATION_STRING_LIST_TAG TAG("in04")
#define SOLO_ICON_COLLECTION_TAG TAG("####")
#define FAILURE_LOADING_NETWORKING_DIALOG_TAG TAG("flen")
#define DEFAULT_FRAME_RATE_LIMIT 60

// Image dialog and networking-failure dialog items.
enum
{
	iIMAGE = 1
};
enum
{
	iREASON = 3
};

// Main-menu items.
enum
{
	iBACKGROUND = 1,
	iNEW_GAME = 2,
	iNETWORK_GAME = 3,
	iCONTINUE_GAME = 4,
	iREPLAY_GAME = 5,
	iTRAINING_MAP = 6,
	iREPLAY_INTRO = 7,
	iPREFERENCES = 8,
	iQUIT = 9,
	iBUILD_TEXT = 1000
};

// Pictures of the main-menu collection.
enum
{
	_bitmap_new_game_sequence,
	_bitmap_continue_game_sequence,
	_bitmap_network_game_sequence,
	_bitmap_replay_game_sequence,
	_bitmap_training_map_sequence,
	_bitmap_replay_intro_sequence,
	_bitmap_preferences_sequence,
	_bitmap_quit_sequence,
	_bitmap_main_menu_sequence,
	_bitmap_static_main_menu_sequence
};

// New-game dialog items.
enum
{
	iNEW_GAME_ACCEPT = 1,
	iNEW_GAME_CANCEL = 2,
	iNEW_GAME_SOLO_PLUGINS = 3,
	iNEW_GAME_MAP_LIST = 6,
	iNEW_GAME_DIFFICULTY_LIST = 8,
	iNEW_GAME_DIFFICULTY_EXPLANATION = 9,
	iNEW_GAME_PLUGIN_LIST = 11,
	iANTICLUMP_CHECKBOX = 12,
	iQEL_CHECKBOX = 13,
	iNEW_GAME_PLUGIN_PICTURE = 14,
	iNEW_GAME_TABS = 15
};

// Program entry (the game's main).
int zerv_main(int argc, char **argv);

// One pass of the main loop; modal dialogs call it repeatedly too.
void update_everything(void);
void idle_zerv(int16 elapsed, boolean no_update);
void draw_dialogs_immediately(void);
// Requests a state for the next pass of the main loop.
void set_game_state(int16 state);
// Applies a state change; only update_everything calls it.
void change_game_state(int16 new_state);
// The hot keys, then the dialogs, then the game.
void process_action(action_data *action);

new_game_data *get_new_game_data(void);
uint16 get_main_global_flags(void);
boolean restoring_from_saved_game(void);
void get_level_range(int16 *low, int16 *high);

void change_single_player_map(file_tag tag, boolean restore_veterans);
void restart_game(void);
void revert_game(void);
void zerv_game_is_over(void);
void end_game_and_change_state(void);
void handle_server_switch(void);
void close_main_menu_dialog(void);
// The accepting step of the new-game dialog for another dialog's items;
// false when the plugin indexes cannot be built.
boolean new_game_plugin_gui_logic(dialog_data *dialog, new_game_parameter_data *parameters,
	const byte *plugin_list, int16 map_list_item, int16 difficulty_list_item,
	int16 anticlump_item, int16 qel_item);

// Holds the frame rate; returns whether it slept.
boolean limit_framerate(void);

// Logs "Closing Zerv." and exits with status 0; bail_with_status exits with
// the given status (1 for a shell screen that cannot be prepared).
[[noreturn]] void bail(void);
[[noreturn]] void bail_with_status(int status);

// Platform shell.
void platform_specific_update(boolean limit);
void initialize_environment(int argc, char **argv);
const char *get_command_line(void);
boolean zerv_is_paused(void);
boolean zerv_is_active(void);
boolean zerv_is_visible(void);
boolean is_windowed_now(void);
boolean prevent_cutscenes_from_playing(void);
void release_environment(void);
void toggle_always_on_top(void);
void portable_keypress_in_any_window(void);
void portable_click_in_any_window(void);
// Closing the window quits like the menu's Quit.
void handle_window_close_request(void);

// Test hooks.
struct main_test_hooks_data
{
	// Passes of update_everything made so far.
	int32 update_everything_count;
	// While positive, zerv_main's loop stops after that many passes (a test
	// whose state never reaches over still ends).
	int32 maximum_passes;
	// The states change_game_state entered, oldest first (the count goes on
	// past the array).
	int32 state_change_count;
	int16 states_entered[64];
	// The key of the hot-key row the last sample reached (whether or not its
	// condition held); NONE when the key has no row.
	int16 hot_key_row;
};

main_test_hooks_data *get_main_test_hooks(void);
void reset_main_test_hooks(void);

#endif
