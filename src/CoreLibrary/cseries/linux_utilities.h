// Platform services: the millisecond clock, message boxes, crash handling,
// the working directory, the user's name and the mouse cursor.
#ifndef LINUX_UTILITIES_H
#define LINUX_UTILITIES_H

#include "cseries.h"

// Milliseconds since the first call (monotonic); the manual clock of the
// test hooks stands in while it is on.
uint32 machine_tick_count(void);

// Shows msg as an error box and waits until it is closed. Without a display
// or a program to show it, the text goes to standard error.
void show_message_box(const char *msg);

void alert_user(int16 type, int16 resource_number, int16 error_number, int32 identifier);

// max_length counts the terminator.
void get_name_from_system(char *name, int32 max_length, boolean login_name);
// Copies the full-name field up to its first comma (at most max_length - 1
// characters, terminated).
void cut_full_name_at_comma(char *name, int32 max_length, const char *full_name);

void initialize_crash_handler(void);
// The procedure that saves the film on a crash; recording_crash_handler by
// default, NULL for none.
void set_crash_film_procedure(void (*procedure)(void));
// An interrupt or a termination request ends the process at once, unless the
// main loop said it takes them: then the first waits for honour_quit_signal
// (a second one still ends the process at once).
void set_quit_signals_deferred(boolean deferred);
// When a request is waiting: logs it, finishes the film being recorded, logs
// "Closing Zerv." and ends the process with status 255 without the at-exit
// handlers, as an interrupt always has. Returns when none is waiting.
void honour_quit_signal(void);
// The procedure that finishes the film on such a request; stop_recording by
// default, NULL for none.
void set_quit_film_procedure(void (*procedure)(void));

void initialize_working_directory(void);

void hide_cursor(void);
void show_cursor(void);
// The screen layer fills these while video is up; with NULL the cursor calls
// do nothing.
void set_cursor_procedures(void (*hide)(void), void (*show)(void));

void kill_screen_saver(void);

// Test hooks.
struct linux_utilities_test_hooks_data
{
	// While set, initialize_working_directory only records the directory it
	// would change to.
	boolean skip_working_directory_change;
	char working_directory[4096];

	// While set, message boxes are recorded here and nothing is shown.
	boolean capture_message_boxes;
	int32 message_box_count;
	char last_message_box[2048];

	// While set, get_name_from_system reads this entry instead of the system's.
	boolean use_fake_password_entry;
	boolean fake_password_entry_exists;
	char fake_login_name[64];
	char fake_full_name[256];
};

linux_utilities_test_hooks_data *get_linux_utilities_test_hooks(void);
void reset_linux_utilities_test_hooks(void);

#endif
