// Input samples (action_data), the internal key codes, the action bits, the
// 30-per-second input sampler and the queue of samples it fills.
#ifndef ACTIONS_H
#define ACTIONS_H

#include "cseries.h"
#include "bitmaps.h"

/* ---------- internal key codes (0-99; NONE for no key) */

enum
{
	_key_escape = 0,
	_key_f1 = 1,
	_key_f2,
	_key_f3,
	_key_f4,
	_key_f5,
	_key_f6,
	_key_f7,
	_key_f8,
	_key_f9,
	_key_f10,
	_key_f11,
	_key_f12,
	_key_f13,
	_key_f14,
	_key_f15 = 15,

	_key_back_quote = 16,
	_key_1,
	_key_2,
	_key_3,
	_key_4,
	_key_5,
	_key_6,
	_key_7,
	_key_8,
	_key_9,
	_key_0 = 26,
	_key_minus = 27,
	_key_equals = 28,
	_key_delete = 29, // backspace

	_key_tab = 30,
	_key_q,
	_key_w,
	_key_e,
	_key_r,
	_key_t,
	_key_y,
	_key_u,
	_key_i,
	_key_o,
	_key_p = 40,
	_key_left_bracket = 41,
	_key_right_bracket = 42,
	_key_backslash = 43,

	_key_caps_lock = 44,
	_key_a,
	_key_s,
	_key_d,
	_key_f,
	_key_g,
	_key_h,
	_key_j,
	_key_k,
	_key_l = 53,
	_key_semicolon = 54,
	_key_quote = 55,
	_key_return = 56,

	_key_shift = 57,
	_key_z,
	_key_x,
	_key_c,
	_key_v,
	_key_b,
	_key_n,
	_key_m = 64,
	_key_comma = 65,
	_key_period = 66,
	_key_slash = 67,
	_key_question_mark = _key_slash, // the same key, shifted

	_key_control = 68,
	_key_option = 69, // the Super or Meta key
	_key_command = 70, // the Alt key
	_key_space = 71,

	_key_help = 72, // Insert
	_key_home = 73,
	_key_page_up = 74,
	_key_forward_delete = 75,
	_key_end = 76,
	_key_page_down = 77,

	_key_up_arrow = 78,
	_key_left_arrow = 79,
	_key_down_arrow = 80,
	_key_right_arrow = 81,

	_key_pause = 82,
	_key_clear = 83, // Num Lock

	_keypad_divide = 84,
	_keypad_times = 85,
	_keypad_7 = 86,
	_keypad_8 = 87,
	_keypad_9 = 88,
	_keypad_minus = 89,
	_keypad_4 = 90,
	_keypad_5 = 91,
	_keypad_6 = 92,
	_keypad_plus = 93,
	_keypad_1 = 94,
	_keypad_2 = 95,
	_keypad_3 = 96,
	_keypad_0 = 97,
	_keypad_period = 98,
	_keypad_enter = 99,

	NUMBER_OF_KEYS = 100
};

/* ---------- modifiers of a sample */

enum
{
	_shift_down_bit,
	_control_down_bit,
	_command_down_bit,
	_option_down_bit,
	_caps_lock_down_bit,
	_key_repeat_bit, // a key held down and repeating
	NUMBER_OF_ACTION_MODIFIERS,

	_shift_down_flag = 1 << _shift_down_bit,
	_control_down_flag = 1 << _control_down_bit,
	_command_down_flag = 1 << _command_down_bit,
	_option_down_flag = 1 << _option_down_bit,
	_caps_lock_down_flag = 1 << _caps_lock_down_bit,
	_key_repeat_flag = 1 << _key_repeat_bit,

	// The masks under their short names.
	_shift_down = _shift_down_flag,
	_control_down = _control_down_flag,
	_command_down = _command_down_flag,
	_option_down = _option_down_flag,
	_caps_lock_down = _caps_lock_down_flag,
	_key_repeat = _key_repeat_flag
};

/* ---------- action bits (64) */

enum
{
	_orbit_left_bit = 0,
	_orbit_right_bit = 1,
	_move_forward_bit = 2,
	_move_backward_bit = 3,
	_yaw_left_bit = 4,
	_yaw_right_bit = 5,
	_move_left_bit = 6,
	_move_right_bit = 7,
	_zoom_in_bit = 8,
	_zoom_out_bit = 9,

	_left_mouse_button_down_bit = 10,
	_right_mouse_button_down_bit = 11,
	_middle_mouse_button_down_bit = 12,
	_left_mouse_button_pressed_bit = 13,
	_right_mouse_button_pressed_bit = 14,
	_middle_mouse_button_pressed_bit = 15,
	_mouse_moved_bit = 16,

	_toggle_overhead_map_bit = 30,
	_pause_game_bit = 31,

	_selection_inventory_bit = 32,
	_display_chat_bit = 33,

	NUMBER_OF_ACTION_BITS = 64
};

#define ACTION_FLAG_WORDS 2

// Masks of the low word (bits 0-31); the others are reached through their
// bits with test_action_flag.
enum : uint32
{
	_orbit_left_flag = 1u << _orbit_left_bit,
	_orbit_right_flag = 1u << _orbit_right_bit,
	_move_forward_flag = 1u << _move_forward_bit,
	_move_backward_flag = 1u << _move_backward_bit,
	_yaw_left_flag = 1u << _yaw_left_bit,
	_yaw_right_flag = 1u << _yaw_right_bit,
	_move_left_flag = 1u << _move_left_bit,
	_move_right_flag = 1u << _move_right_bit,
	_zoom_in_flag = 1u << _zoom_in_bit,
	_zoom_out_flag = 1u << _zoom_out_bit,
	_left_mouse_button_down_flag = 1u << _left_mouse_button_down_bit,
	_right_mouse_button_down_flag = 1u << _right_mouse_button_down_bit,
	_middle_mouse_button_down_flag = 1u << _middle_mouse_button_down_bit,
	_left_mouse_button_pressed_flag = 1u << _left_mouse_button_pressed_bit,
	_right_mouse_button_pressed_flag = 1u << _right_mouse_button_pressed_bit,
	_middle_mouse_button_pressed_flag = 1u << _middle_mouse_button_pressed_bit,
	_mouse_moved_flag = 1u << _mouse_moved_bit,
	_toggle_overhead_map_flag = 1u << _toggle_overhead_map_bit,
	_pause_game_flag = 1u << _pause_game_bit,
	// High word (bits 32-63).
	_selection_inventory_flag = 1u << (_selection_inventory_bit - 32),
	_display_chat_flag = 1u << (_display_chat_bit - 32)
};

/* ---------- the sample */

struct action_data
{
	uint32 time; // local ticks when sampled
	int32 time_delta; // local ticks since the previous sample
	uint32 action_flags[ACTION_FLAG_WORDS];
	point2d pointer; // window pixels
	int16 wheel_delta;
	int16 wheel_axis;
	int16 ascii_code; // NONE for none
	int16 key_code; // a _key_ code or NONE
	uint16 modifiers;
	int16 unused;
};
STORED_SIZE(action_data, 32);

boolean test_action_flag(const action_data *action, int16 bit);
void set_action_flag(action_data *action, int16 bit, boolean on);
// A sample with nothing in it: no flags, no key, no character.
void clear_action(action_data *action);
// The camera action bit (_orbit_left_bit to _zoom_out_bit) the key is bound
// to, NONE for a key bound to none.
int16 camera_action_bit_for_key(int16 key_code);

/* ---------- the queue and the sampler */

#define ACTION_QUEUE_SLOTS 32
#define MAXIMUM_QUEUED_ACTIONS 30
#define INPUT_SAMPLES_PER_SECOND 30

void initialize_actions(void);
void initialize_actions_for_new_map(void);
void dispose_actions_from_old_map(void);

// Starts (TRUE) or holds off (FALSE) the 30 Hz input sampler, which also
// advances the game's local time once per turn.
void set_keyboard_queue_task_state(boolean active);
boolean get_keyboard_queue_task_state(void);

// Adds a sample; false when the queue already holds 30 (the sample is dropped).
boolean queue_action(const action_data *action);
// Drops every queued sample.
void flush_actions(void);
// Hands each queued sample to the main program's process_action and returns
// the sampler's turns (local ticks) since the last call.
int16 update_actions(void);
// The pointer of the last sample built.
void get_last_action_pointer(int16 *x, int16 *y);

/* ---------- key sets */

enum
{
	_input_definition_inventory_key_bit = 3,
	_input_definition_inventory_key_flag = 1 << _input_definition_inventory_key_bit
};

struct input_definition
{
	uint8 flags;
	uint8 caps_lock_action;
	int16 unused;
};

struct view_data;
void initialize_keybindings(void);
void rasterize_keybindings(view_data *view);
void initialize_input_definition(void);
input_definition *get_input_definition(void);

/* ---------- test hooks */

struct actions_test_hooks_data
{
	// While set, set_keyboard_queue_task_state starts no timer thread and the
	// sampler turns only through run_input_sampler_turns. (Without it, while
	// the manual clock is on, no thread starts either: update_actions then
	// runs one turn per whole 1/30 s of machine_tick_count.)
	boolean no_timer_thread;
	// While set, drained samples are copied here instead of going to
	// process_action.
	boolean capture_actions;
	int32 captured_count;
	action_data captured[64];
	int32 dropped_count;
};

actions_test_hooks_data *get_actions_test_hooks(void);
void reset_actions_test_hooks(void);
// One sampler turn per count, as the timer would run them.
void run_input_sampler_turns(int32 count);

#endif
