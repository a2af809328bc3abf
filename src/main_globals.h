// The main program's own record and the procedures its source files share.
// Only the main program and its tests include this.
#ifndef MAIN_GLOBALS_H
#define MAIN_GLOBALS_H

#include "main.h"
#include "zerv.h"
#include "observer.h"
#include "console/console.h"
#include "zerv_networking/zerv_networking.h"


// The record's field takes the type's name.
typedef new_game_data main_new_game_data;

struct main_global_data
{
	int32 main_collection_index; // NONE when none
	int32 sequence_count;
	int32 current_sequence;
	int32 next_state;
	int32 ticks;
	int32 maximum_ticks; // NONE for unlimited
	int32 fade_in_ticks;
	int32 desired_state; // NONE when none
	main_new_game_data new_game_data;
	boolean restoring_from_save_game;
	int32 save_game_ticks;
	observer_location save_game_observer;
	fixed save_game_zoom_factor;
	cached_line cached_console_text[MAXIMUM_CACHED_CONSOLE_LINES];
	int16 cached_console_line_count;
	service_provider_data network_service_provider;
	uint16 flags;
	file_tag enter_game_immediately_mesh;
	dialog_data *dialog;
};

extern main_global_data main_globals;

// Clears the record and sets its start values.
void initialize_main_globals(void);
// Finds "-mesh <name>" in the command line.
void parse_command_line(const char *command_line);
// The first state requested after start-up.
void choose_first_game_state(void);

// Module values shared between the main program's files.
struct main_module_data
{
	boolean running_user_replay;
	boolean first_main_menu_entry_done;
	boolean main_menu_demo_running;
	int16 last_mouse_x, last_mouse_y;
	uint32 frame_period_start;
	int32 frame_count;
	boolean display_limits;
	boolean display_in_game_stats;
	boolean display_chat;
	boolean clear_display_chat;
	boolean highlight_all_units;
	boolean inventory_shown;
	int16 control_bar_visibility_before_inventory;
	// endgame_state as it was when the running state was entered.
	int16 old_endgame_state;
};

extern main_module_data main_module;

// Main menu (main_menu.cpp).
void enter_main_menu(void);
boolean warn_no_networking(boolean show);
boolean allow_single_player_game(void);
boolean allow_continue_game(void);
boolean allow_replay_game(void);
boolean allow_replay_intro(void);
// Preferences stays shown but disabled while its screens open nothing.
boolean allow_preferences(void);
boolean allow_networking(void);
void handle_continue_game(void);
void handle_network_game(void);
void handle_new_game(void);
void handle_replay_game(void);
// The film dialog again when the menu comes back after a user's replay.
void reopen_replay_game(void);
void handle_training_map(void);
void handle_replay_intro(void);
void handle_preferences(void);
void handle_quit(void);
boolean setup_single_player_game(file_tag tag);
boolean choose_single_player_entry_point(file_tag tag);
// The idle step of the main-menu handler, for one idle call.
void main_menu_idle(void);

// The running state's entry (main.cpp).
void enter_running_state(void);
void open_image_dialog(file_tag collection_tag, int16 next_state, int32 fade_in_ticks);
void adjust_landscape_filtering(void);

#endif
