#include "CoreLibrary/input/sdl_input.h"

#include <atomic>
#include <mutex>

#include "input/actions.h"
#include "main.h"
#include "screen.h"

namespace {

struct sdl_input_globals_data
{
	// Written by the event pump on the main thread, read by the sampler on
	// the timer thread.
	std::atomic<bool> keys[NUMBER_OF_KEYS];

	// The pointer is read by the sampler on the timer thread.
	std::mutex pointer_lock;
	int16 x, y;
	uint32 buttons; // action flags of the buttons held
	int16 wheel_delta;
};

sdl_input_globals_data &sdl_input_globals()
{
	static sdl_input_globals_data globals;
	return globals;
}

}

static sdl_input_test_hooks_data sdl_input_hooks;

sdl_input_test_hooks_data *get_sdl_input_test_hooks(void)
{
	return &sdl_input_hooks;
}

void reset_sdl_input_test_hooks(void)
{
	memset(&sdl_input_hooks, 0, sizeof(sdl_input_hooks));

	sdl_input_globals_data &g = sdl_input_globals();
	for (std::atomic<bool> &key : g.keys) key.store(false);
	std::lock_guard<std::mutex> guard(g.pointer_lock);
	g.x = g.y = 0;
	g.buttons = 0;
	g.wheel_delta = 0;
}

static uint32 button_flag(int16 button)
{
	switch (button)
	{
	case _mouse_button_left: return _left_mouse_button_down_flag;
	case _mouse_button_right: return _right_mouse_button_down_flag;
	case _mouse_button_middle: return _middle_mouse_button_down_flag;
	default: return 0;
	}
}

static int16 pressed_bit(int16 button)
{
	switch (button)
	{
	case _mouse_button_left: return _left_mouse_button_pressed_bit;
	case _mouse_button_right: return _right_mouse_button_pressed_bit;
	case _mouse_button_middle: return _middle_mouse_button_pressed_bit;
	default: return NONE;
	}
}

static void queue_pointer_sample(uint16 modifiers, int16 pressed)
{
	sdl_input_globals_data &g = sdl_input_globals();
	action_data action;
	clear_action(&action);
	{
		std::lock_guard<std::mutex> guard(g.pointer_lock);
		action.pointer.x = g.x;
		action.pointer.y = g.y;
		action.action_flags[0] = g.buttons;
	}
	action.modifiers = modifiers;
	if (pressed != NONE) set_action_flag(&action, pressed, TRUE);
	queue_action(&action);
}

void queue_input_event_if_necessary(const platform_input_event *event)
{
	sdl_input_globals_data &g = sdl_input_globals();
	if (!event) return;

	const bool key_valid = event->key_code >= 0 && event->key_code < NUMBER_OF_KEYS;
	switch (event->type)
	{
	case _input_event_key_down:
	{
		action_data action;
		clear_action(&action);
		uint16 modifiers = event->modifiers;
		if (key_valid)
		{
			// A press of a key already held is the key repeating.
			if (g.keys[event->key_code].exchange(true)) modifiers |= _key_repeat;
		}
		if (!key_valid && event->ascii_code == NONE) break;
		action.key_code = key_valid ? event->key_code : static_cast<int16>(NONE);
		action.ascii_code = event->ascii_code;
		action.modifiers = modifiers;
		{
			std::lock_guard<std::mutex> guard(g.pointer_lock);
			action.pointer.x = g.x;
			action.pointer.y = g.y;
			action.action_flags[0] = g.buttons;
		}
		queue_action(&action);
		break;
	}
	case _input_event_key_up:
		if (key_valid) g.keys[event->key_code].store(false);
		break;
	case _input_event_mouse_motion:
	{
		std::lock_guard<std::mutex> guard(g.pointer_lock);
		g.x = event->x;
		g.y = event->y;
		break;
	}
	case _input_event_mouse_button_down:
	case _input_event_mouse_button_up:
	{
		const bool down = event->type == _input_event_mouse_button_down;
		{
			std::lock_guard<std::mutex> guard(g.pointer_lock);
			g.x = event->x;
			g.y = event->y;
			if (event->button == _mouse_wheel_up || event->button == _mouse_wheel_down)
			{
				// A wheel step comes as a press and a release; count the press.
				if (down) g.wheel_delta = static_cast<int16>(g.wheel_delta + (event->button == _mouse_wheel_up ? 1 : -1));
				break;
			}
			if (down) g.buttons |= button_flag(event->button);
			else g.buttons &= ~button_flag(event->button);
		}
		if (button_flag(event->button)) queue_pointer_sample(event->modifiers, down ? pressed_bit(event->button) : NONE);
		break;
	}
	case _input_event_quit:
		sdl_input_hooks.close_requests += 1;
		handle_window_close_request();
		break;
	default:
		break;
	}
}

boolean key_down(int16 key_code)
{
	if (key_code < 0 || key_code >= NUMBER_OF_KEYS) return FALSE;
	return sdl_input_globals().keys[key_code].load() ||
		std::atomic_ref<boolean>(sdl_input_hooks.keys_held[key_code]).load();
}

void get_input_pointer_state(int16 *x, int16 *y, uint32 *buttons)
{
	sdl_input_globals_data &g = sdl_input_globals();
	std::lock_guard<std::mutex> guard(g.pointer_lock);
	if (x) *x = g.x;
	if (y) *y = g.y;
	if (buttons) *buttons = g.buttons;
}

int16 take_input_wheel_delta(void)
{
	sdl_input_globals_data &g = sdl_input_globals();
	std::lock_guard<std::mutex> guard(g.pointer_lock);
	const int16 delta = g.wheel_delta;
	g.wheel_delta = 0;
	return delta;
}

/* ---------- the platform's events and grab, or headless */

// Without a window the events come from the test hooks.
static void headless_pump_events(void)
{
	sdl_input_test_hooks_data *hooks = &sdl_input_hooks;

	// Take the events first: handling one may inject more for the next pump.
	platform_input_event events[MAXIMUM_INJECTED_INPUT_EVENTS];
	const int32 count = hooks->injected_event_count;
	memcpy(events, hooks->injected_events, sizeof(events[0]) * static_cast<size_t>(count));
	hooks->injected_event_count = 0;
	for (int32 i = 0; i < count; ++i) queue_input_event_if_necessary(&events[i]);

	if (hooks->quit_after_passes > 0 && hooks->pump_count >= hooks->quit_after_passes)
	{
		hooks->quit_after_passes = 0;
		platform_input_event quit = {};
		quit.type = _input_event_quit;
		queue_input_event_if_necessary(&quit);
	}
}

void pump_platform_events(void)
{
	sdl_input_hooks.pump_count += 1;
	const platform_procedures_data *procedures = get_platform_procedures();
	if (procedures->pump_events) procedures->pump_events();
	else headless_pump_events();
}

boolean get_sdl_grab_mode(void)
{
	const platform_procedures_data *procedures = get_platform_procedures();
	if (procedures->get_grab_mode) return procedures->get_grab_mode();
	return sdl_input_hooks.grab;
}

void set_sdl_grab_mode(boolean on)
{
	const platform_procedures_data *procedures = get_platform_procedures();
	if (procedures->set_grab_mode) procedures->set_grab_mode(on);
	else sdl_input_hooks.grab = on ? TRUE : FALSE;
}

void toggle_sdl_grab_mode(void)
{
	set_sdl_grab_mode(!get_sdl_grab_mode());
}
