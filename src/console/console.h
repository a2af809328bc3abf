// The in-game console: printed lines, chat, popups and error notices. Lines
// are kept (the last 10) but not drawn yet.
#ifndef CONSOLE_H
#define CONSOLE_H

#include "cseries.h"
#include "least_layer.h"

#define MAXIMUM_CACHED_CONSOLE_LINES 10
#define CACHED_CONSOLE_LINE_LENGTH 256

// One console line as a saved game stores it.
struct cached_line
{
	int16 owner_player_index; // NONE for the game's own lines
	char text[CACHED_CONSOLE_LINE_LENGTH];
};
STORED_SIZE(cached_line, 258);

enum
{
	_console_error_out_of_sync,
	_console_error_disconnected,
	NUMBER_OF_CONSOLE_ERRORS
};

void initialize_console(void);
void initialize_console_for_new_map(void);
void dispose_console_from_old_map(void);

// Prints a line; replace overwrites the newest line.
void cprintf(boolean replace, const char *format, ...) ATTRIBUTE_PRINTF(2, 3);
// A chat line under the sending player's name.
void append_chat(int16 player_index, const char *text, boolean private_message);
void set_console_popup(const char *title, const char *text, int32 ticks);
void set_console_error(int16 error);
// 1 while the console takes typed input.
int16 get_console_input_state(void);

// Copies out the cached lines (10 slots) and their count.
void save_cached_console_text(cached_line *lines, int16 *count);
// A count outside 0-10 restores nothing.
void restore_cached_console_text(const cached_line *lines, int16 count);

struct console_test_hooks_data
{
	least_call_log calls;
	// The last popup and error.
	char popup_title[256];
	char popup_text[256];
	int32 popup_ticks;
	int16 last_error; // NONE when none
};

console_test_hooks_data *get_console_test_hooks(void);
void reset_console_test_hooks(void);

struct view_data;
void rasterize_console(view_data *view);

#endif
