// Platform input events: the keys and the pointer as the window reports them,
// turned into the held-key state and into queued samples. The SDL side and
// the headless side both feed platform_input_event records through
// queue_input_event_if_necessary.
#ifndef SDL_INPUT_H
#define SDL_INPUT_H

#include "cseries.h"

struct action_data;

enum
{
	_input_event_none,
	_input_event_key_down,
	_input_event_key_up,
	_input_event_mouse_motion,
	_input_event_mouse_button_down,
	_input_event_mouse_button_up,
	_input_event_quit,
	NUMBER_OF_INPUT_EVENT_TYPES
};

enum
{
	_mouse_button_left = 1,
	_mouse_button_middle = 2,
	_mouse_button_right = 3,
	_mouse_wheel_up = 4,
	_mouse_wheel_down = 5
};

struct platform_input_event
{
	int16 type;
	int16 key_code; // internal code, NONE when the key has none
	int16 ascii_code; // the typed character, NONE for none
	uint16 modifiers; // _shift_down and the others
	int16 x, y; // pointer (window pixels)
	int16 button; // _mouse_button_ or wheel
	int16 unused;
};

// Turns one event into input state or a queued sample: a key press becomes a
// sample with its key code and modifiers; a quit event asks the main program
// to close (handle_window_close_request).
void queue_input_event_if_necessary(const platform_input_event *event);

// TRUE while the key (internal code 0-99) is held.
boolean key_down(int16 key_code);
// Pointer position and buttons as the events left them.
void get_input_pointer_state(int16 *x, int16 *y, uint32 *buttons);
// Pending wheel steps since the last call (positive: up).
int16 take_input_wheel_delta(void);

/* ---------- the platform's side (SDL once installed, else headless) */

// Feeds every pending window event to queue_input_event_if_necessary;
// headless, the injected events of the test hooks.
void pump_platform_events(void);
boolean get_sdl_grab_mode(void);
void set_sdl_grab_mode(boolean on);
void toggle_sdl_grab_mode(void);

/* ---------- test hooks */

#define MAXIMUM_INJECTED_INPUT_EVENTS 64

struct sdl_input_test_hooks_data
{
	// Keys held by the test, as if pressed (on top of the events); set them
	// through headless_set_key_held, since the sampler reads them on its thread.
	boolean keys_held[100];

	// Events the headless pump delivers, oldest first.
	int32 injected_event_count;
	platform_input_event injected_events[MAXIMUM_INJECTED_INPUT_EVENTS];

	// The pump (counted from 1) at which the headless pump asks the main
	// program to close; 0: never.
	int32 quit_after_passes;
	int32 pump_count;
	int32 close_requests; // quit events handed to the main program

	boolean grab; // the headless grab mode
};

sdl_input_test_hooks_data *get_sdl_input_test_hooks(void);
void reset_sdl_input_test_hooks(void);

// Defined by the headless library only (tests).
// Presses (TRUE) or releases a key for key_down.
void headless_set_key_held(int16 key_code, boolean held);
// Queues an event for the next headless pump; false when full.
boolean headless_inject_input_event(const platform_input_event *event);
// After n more pumps (n >= 1: the n-th pump) the window counts as closed.
void headless_request_quit_after_passes(int32 n);

#endif
