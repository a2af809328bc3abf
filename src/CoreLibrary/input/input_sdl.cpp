// The SDL side of platform input: SDL events become platform input events.
#include <SDL/SDL.h>

#include "CoreLibrary/input/sdl_input.h"
#include "input/actions.h"

// Installed by install_sdl_platform.
void sdl_pump_events(void);
boolean sdl_get_grab_mode(void);
void sdl_set_grab_mode(boolean on);

static int16 internal_key_code(SDLKey key)
{
	if (key >= SDLK_F1 && key <= SDLK_F15) return static_cast<int16>(_key_f1 + (key - SDLK_F1));
	if (key >= SDLK_1 && key <= SDLK_9) return static_cast<int16>(_key_1 + (key - SDLK_1));

	static const struct
	{
		SDLKey key;
		int16 code;
	} letters[] = {
		{SDLK_q, _key_q}, {SDLK_w, _key_w}, {SDLK_e, _key_e}, {SDLK_r, _key_r}, {SDLK_t, _key_t},
		{SDLK_y, _key_y}, {SDLK_u, _key_u}, {SDLK_i, _key_i}, {SDLK_o, _key_o}, {SDLK_p, _key_p},
		{SDLK_a, _key_a}, {SDLK_s, _key_s}, {SDLK_d, _key_d}, {SDLK_f, _key_f}, {SDLK_g, _key_g},
		{SDLK_h, _key_h}, {SDLK_j, _key_j}, {SDLK_k, _key_k}, {SDLK_l, _key_l},
		{SDLK_z, _key_z}, {SDLK_x, _key_x}, {SDLK_c, _key_c}, {SDLK_v, _key_v}, {SDLK_b, _key_b},
		{SDLK_n, _key_n}, {SDLK_m, _key_m},

		{SDLK_ESCAPE, _key_escape}, {SDLK_BACKQUOTE, _key_back_quote}, {SDLK_0, _key_0},
		{SDLK_MINUS, _key_minus}, {SDLK_EQUALS, _key_equals}, {SDLK_BACKSPACE, _key_delete},
		{SDLK_TAB, _key_tab}, {SDLK_LEFTBRACKET, _key_left_bracket}, {SDLK_RIGHTBRACKET, _key_right_bracket},
		{SDLK_BACKSLASH, _key_backslash}, {SDLK_CAPSLOCK, _key_caps_lock}, {SDLK_SEMICOLON, _key_semicolon},
		{SDLK_QUOTE, _key_quote}, {SDLK_RETURN, _key_return}, {SDLK_LSHIFT, _key_shift},
		{SDLK_RSHIFT, _key_shift}, {SDLK_COMMA, _key_comma}, {SDLK_PERIOD, _key_period},
		{SDLK_SLASH, _key_slash}, {SDLK_QUESTION, _key_question_mark}, {SDLK_LCTRL, _key_control},
		{SDLK_RCTRL, _key_control}, {SDLK_LSUPER, _key_option}, {SDLK_RSUPER, _key_option},
		{SDLK_LMETA, _key_option}, {SDLK_RMETA, _key_option}, {SDLK_LALT, _key_command},
		{SDLK_RALT, _key_command}, {SDLK_SPACE, _key_space}, {SDLK_INSERT, _key_help},
		{SDLK_HELP, _key_help}, {SDLK_HOME, _key_home}, {SDLK_PAGEUP, _key_page_up},
		{SDLK_DELETE, _key_forward_delete}, {SDLK_END, _key_end}, {SDLK_PAGEDOWN, _key_page_down},
		{SDLK_UP, _key_up_arrow}, {SDLK_LEFT, _key_left_arrow}, {SDLK_DOWN, _key_down_arrow},
		{SDLK_RIGHT, _key_right_arrow}, {SDLK_PAUSE, _key_pause}, {SDLK_NUMLOCK, _key_clear},
		{SDLK_CLEAR, _key_clear}, {SDLK_KP_DIVIDE, _keypad_divide}, {SDLK_KP_MULTIPLY, _keypad_times},
		{SDLK_KP7, _keypad_7}, {SDLK_KP8, _keypad_8}, {SDLK_KP9, _keypad_9}, {SDLK_KP_MINUS, _keypad_minus},
		{SDLK_KP4, _keypad_4}, {SDLK_KP5, _keypad_5}, {SDLK_KP6, _keypad_6}, {SDLK_KP_PLUS, _keypad_plus},
		{SDLK_KP1, _keypad_1}, {SDLK_KP2, _keypad_2}, {SDLK_KP3, _keypad_3}, {SDLK_KP0, _keypad_0},
		{SDLK_KP_PERIOD, _keypad_period}, {SDLK_KP_ENTER, _keypad_enter},
	};
	for (const auto &entry : letters)
	{
		if (entry.key == key) return entry.code;
	}
	return NONE;
}

static uint16 internal_modifiers(SDLMod modifiers)
{
	uint16 result = 0;
	if (modifiers & KMOD_SHIFT) result |= _shift_down;
	if (modifiers & KMOD_CTRL) result |= _control_down;
	if (modifiers & KMOD_ALT) result |= _command_down;
	if (modifiers & KMOD_META) result |= _option_down;
	if (modifiers & KMOD_CAPS) result |= _caps_lock_down;
	return result;
}

static boolean translate_event(const SDL_Event *sdl_event, platform_input_event *event)
{
	*event = platform_input_event{};
	event->key_code = NONE;
	event->ascii_code = NONE;

	switch (sdl_event->type)
	{
	case SDL_KEYDOWN:
	case SDL_KEYUP:
	{
		const SDL_keysym &keysym = sdl_event->key.keysym;
		event->type = sdl_event->type == SDL_KEYDOWN ? _input_event_key_down : _input_event_key_up;
		event->key_code = internal_key_code(keysym.sym);
		event->modifiers = internal_modifiers(keysym.mod);
		if (sdl_event->type == SDL_KEYDOWN && keysym.unicode > 0 && keysym.unicode < 0x80)
		{
			event->ascii_code = static_cast<int16>(keysym.unicode);
		}
		return TRUE;
	}
	case SDL_MOUSEMOTION:
		event->type = _input_event_mouse_motion;
		event->x = static_cast<int16>(sdl_event->motion.x);
		event->y = static_cast<int16>(sdl_event->motion.y);
		return TRUE;
	case SDL_MOUSEBUTTONDOWN:
	case SDL_MOUSEBUTTONUP:
		event->type = sdl_event->type == SDL_MOUSEBUTTONDOWN ? _input_event_mouse_button_down : _input_event_mouse_button_up;
		event->x = static_cast<int16>(sdl_event->button.x);
		event->y = static_cast<int16>(sdl_event->button.y);
		event->button = sdl_event->button.button;
		event->modifiers = internal_modifiers(SDL_GetModState());
		return TRUE;
	case SDL_QUIT:
		event->type = _input_event_quit;
		return TRUE;
	default:
		return FALSE;
	}
}

void sdl_pump_events(void)
{
	if (!SDL_WasInit(SDL_INIT_VIDEO)) return;

	SDL_Event sdl_event;
	while (SDL_PollEvent(&sdl_event))
	{
		platform_input_event event;
		if (translate_event(&sdl_event, &event)) queue_input_event_if_necessary(&event);
	}
}

boolean sdl_get_grab_mode(void)
{
	if (!SDL_WasInit(SDL_INIT_VIDEO)) return FALSE;
	return SDL_WM_GrabInput(SDL_GRAB_QUERY) == SDL_GRAB_ON;
}

void sdl_set_grab_mode(boolean on)
{
	if (!SDL_WasInit(SDL_INIT_VIDEO) || !SDL_GetVideoSurface()) return;
	SDL_WM_GrabInput(on ? SDL_GRAB_ON : SDL_GRAB_OFF);
}
