// The platform shell: the per-pass event pump, the environment prepared at
// start-up, and the fixed answers of a single-window Linux program.
#include "main.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "linux_utilities.h"
#include "system_information.h"
#include "test_hooks.h"
#include "CoreLibrary/input/sdl_input.h"

void platform_specific_update(boolean limit)
{
	pump_platform_events();
	if (limit) limit_framerate();
}

void initialize_environment(int argc, char **argv)
{
	// Answered before anything else: no log, no change of directory, no window.
	if (argc > 1 && argv && argv[1] && strcmp(argv[1], "--version") == 0)
	{
		fputs(ZERV_VERSION_LINE "\n", stdout);
		fflush(stdout);
		exit(0);
	}

	service_trace("initialize_environment");
	initialize_crash_handler();
	initialize_working_directory();
	initialize_system_info();
}

const char *get_command_line(void)
{
	return "";
}

boolean zerv_is_paused(void)
{
	return FALSE;
}

boolean zerv_is_active(void)
{
	return TRUE;
}

boolean zerv_is_visible(void)
{
	return TRUE;
}

boolean is_windowed_now(void)
{
	return FALSE;
}

boolean prevent_cutscenes_from_playing(void)
{
	return FALSE;
}

void release_environment(void) {}
void toggle_always_on_top(void) {}
void portable_keypress_in_any_window(void) {}
void portable_click_in_any_window(void) {}

void handle_window_close_request(void)
{
	set_game_state(_game_state_displaying_trailer);
}
