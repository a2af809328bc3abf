#include "input/actions.h"
#include "render/render.h"

#include <atomic>
#include <mutex>

#include "CoreLibrary/input/sdl_input.h"
#include "linux_utilities.h"
#include "main.h"
#include "test_hooks.h"
#include "timer_pthread.h"
#include "zerv.h"

/* ---------- the sample */

boolean test_action_flag(const action_data *action, int16 bit)
{
	if (!action || bit < 0 || bit >= NUMBER_OF_ACTION_BITS) return FALSE;
	return (action->action_flags[bit >> 5] & (1u << (bit & 31))) != 0;
}

void set_action_flag(action_data *action, int16 bit, boolean on)
{
	if (!action || bit < 0 || bit >= NUMBER_OF_ACTION_BITS) return;
	const uint32 mask = 1u << (bit & 31);
	if (on) action->action_flags[bit >> 5] |= mask;
	else action->action_flags[bit >> 5] &= ~mask;
}

void clear_action(action_data *action)
{
	memset(action, 0, sizeof(*action));
	action->ascii_code = NONE;
	action->key_code = NONE;
}

// The camera keys and the actions they are bound to. None acts as a hot key
// of the running game (Page Up and Page Down do), so a camera key moves the
// camera and switches nothing else.
static const int16 camera_keys[][2] = {{_key_comma, _orbit_left_bit}, {_key_period, _orbit_right_bit},
	{_key_up_arrow, _move_forward_bit}, {_key_down_arrow, _move_backward_bit}, {_key_home, _yaw_left_bit},
	{_key_end, _yaw_right_bit}, {_key_left_arrow, _move_left_bit}, {_key_right_arrow, _move_right_bit},
	{_key_equals, _zoom_in_bit}, {_key_minus, _zoom_out_bit}};

int16 camera_action_bit_for_key(int16 key_code)
{
	for (const auto &key : camera_keys)
	{
		if (key[0] == key_code) return key[1];
	}
	return NONE;
}

/* ---------- module state */

namespace {

struct actions_globals_data
{
	// The queue is shared by the sampler's thread and the main thread.
	std::mutex queue_lock;
	action_data queue[ACTION_QUEUE_SLOTS];
	int32 read_index;
	int32 queued_count;
	uint32 last_sample_time;
	point2d last_pointer;

	std::atomic<bool> sampler_active{false};
	timer_task sampler_task;
	// Without a timer thread, update_actions runs the turns that whole
	// 1/30 s periods of machine_tick_count call for.
	bool clock_driven;
	uint32 period_start;
	uint64 period_turns;

	std::atomic<uint32> turns_total{0};
	std::atomic<int32> turns_pending{0};

	// What the sampler saw last, to queue a sample only on a change.
	std::mutex sampler_lock;
	int16 sampled_x, sampled_y;
	uint32 sampled_buttons;

	input_definition definition;
};

actions_globals_data &actions_globals()
{
	static actions_globals_data globals;
	return globals;
}

}

static actions_test_hooks_data actions_hooks;

actions_test_hooks_data *get_actions_test_hooks(void)
{
	return &actions_hooks;
}

void reset_actions_test_hooks(void)
{
	memset(&actions_hooks, 0, sizeof(actions_hooks));
}

/* ---------- the queue */

boolean queue_action(const action_data *action)
{
	actions_globals_data &g = actions_globals();
	std::lock_guard<std::mutex> guard(g.queue_lock);

	if (g.queued_count >= MAXIMUM_QUEUED_ACTIONS)
	{
		actions_hooks.dropped_count += 1;
		return FALSE;
	}

	action_data *slot = &g.queue[(g.read_index + g.queued_count) % ACTION_QUEUE_SLOTS];
	*slot = *action;
	slot->time = g.turns_total.load(std::memory_order_relaxed);
	slot->time_delta = static_cast<int32>(slot->time - g.last_sample_time);
	g.last_sample_time = slot->time;
	g.last_pointer = slot->pointer;
	g.queued_count += 1;
	return TRUE;
}

void flush_actions(void)
{
	actions_globals_data &g = actions_globals();
	std::lock_guard<std::mutex> guard(g.queue_lock);
	g.read_index = 0;
	g.queued_count = 0;
}

void get_last_action_pointer(int16 *x, int16 *y)
{
	actions_globals_data &g = actions_globals();
	std::lock_guard<std::mutex> guard(g.queue_lock);
	if (x) *x = g.last_pointer.x;
	if (y) *y = g.last_pointer.y;
}

/* ---------- the sampler */

// One turn: a sample when the pointer, its buttons or the wheel changed, then
// one tick of local time.
static void sampler_turn(void)
{
	actions_globals_data &g = actions_globals();
	if (!g.sampler_active.load()) return;

	int16 x, y;
	uint32 buttons;
	get_input_pointer_state(&x, &y, &buttons);
	const int16 wheel = take_input_wheel_delta();
	// The turn's sample carries the turn's time.
	g.turns_total.fetch_add(1);

	bool changed;
	bool moved;
	{
		std::lock_guard<std::mutex> guard(g.sampler_lock);
		moved = x != g.sampled_x || y != g.sampled_y;
		changed = moved || buttons != g.sampled_buttons || wheel != 0;
		g.sampled_x = x;
		g.sampled_y = y;
		g.sampled_buttons = buttons;
	}

	// Camera keys held: one sample per turn while any is down.
	uint32 camera_bits = 0;
	for (const auto &key : camera_keys)
	{
		if (key_down(key[0])) camera_bits |= 1u << key[1];
	}
	if (camera_bits) changed = true;

	if (changed)
	{
		action_data action;
		clear_action(&action);
		action.pointer.x = x;
		action.pointer.y = y;
		action.wheel_delta = wheel;
		action.action_flags[0] = buttons | camera_bits;
		set_action_flag(&action, _mouse_moved_bit, moved);
		queue_action(&action);
	}

	advance_local_time();
	g.turns_pending.fetch_add(1);
}

static boolean sampler_task_proc(void)
{
	sampler_turn();
	return TRUE;
}

void run_input_sampler_turns(int32 count)
{
	for (int32 i = 0; i < count; ++i) sampler_turn();
}

void set_keyboard_queue_task_state(boolean active)
{
	actions_globals_data &g = actions_globals();

	if (active && !g.sampler_active.load())
	{
		g.period_start = machine_tick_count();
		g.period_turns = 0;
		g.clock_driven = false;
		g.sampler_active.store(true);
		if (!actions_hooks.no_timer_thread)
		{
			if (!test_manual_clock_is_on()) g.sampler_task = install_timer_task(INPUT_SAMPLES_PER_SECOND, sampler_task_proc);
			// No thread (the manual clock, or one that would not start): the
			// clock drives the turns instead.
			if (!g.sampler_task) g.clock_driven = true;
		}
	}
	else if (!active && g.sampler_active.load())
	{
		g.sampler_active.store(false);
		if (g.sampler_task)
		{
			remove_timer_task(g.sampler_task);
			g.sampler_task = NULL;
		}
		g.clock_driven = false;
		// Time held off is not time that passed.
		g.turns_pending.store(0);
	}
}

boolean get_keyboard_queue_task_state(void)
{
	return actions_globals().sampler_active.load();
}

static void run_clock_driven_turns(void)
{
	actions_globals_data &g = actions_globals();
	if (!g.clock_driven || !g.sampler_active.load()) return;

	const uint32 now = machine_tick_count();
	const uint64 due = static_cast<uint64>(static_cast<uint32>(now - g.period_start)) * INPUT_SAMPLES_PER_SECOND / 1000;
	uint64 turns = due - g.period_turns;
	if (turns > INPUT_SAMPLES_PER_SECOND)
	{
		// Catch up at most one second; the schedule restarts from now.
		turns = INPUT_SAMPLES_PER_SECOND;
		g.period_start = now;
		g.period_turns = 0;
	}
	else
	{
		g.period_turns = due;
	}
	for (uint64 i = 0; i < turns; ++i) sampler_turn();
}

int16 update_actions(void)
{
	actions_globals_data &g = actions_globals();

	run_clock_driven_turns();
	const int32 turns = g.turns_pending.exchange(0);

	action_data drained[ACTION_QUEUE_SLOTS];
	int32 count;
	{
		std::lock_guard<std::mutex> guard(g.queue_lock);
		count = g.queued_count;
		for (int32 i = 0; i < count; ++i) drained[i] = g.queue[(g.read_index + i) % ACTION_QUEUE_SLOTS];
		g.read_index = 0;
		g.queued_count = 0;
	}

	for (int32 i = 0; i < count; ++i)
	{
		if (actions_hooks.capture_actions)
		{
			if (actions_hooks.captured_count < static_cast<int32>(NUMBEROF(actions_hooks.captured)))
			{
				actions_hooks.captured[actions_hooks.captured_count] = drained[i];
			}
			actions_hooks.captured_count += 1;
		}
		else
		{
			process_action(&drained[i]);
		}
	}

	return static_cast<int16>(MIN(turns, 32767));
}

/* ---------- life cycle and key sets */

void initialize_actions(void)
{
	service_trace("initialize_actions");
	flush_actions();
}

void initialize_actions_for_new_map(void)
{
	service_trace("initialize_actions_for_new_map");
	flush_actions();
}

void dispose_actions_from_old_map(void)
{
	service_trace("dispose_actions_from_old_map");
}

void initialize_keybindings(void)
{
	service_trace("initialize_keybindings");
	register_postrasterization_effect(-500, rasterize_keybindings);
}

void initialize_input_definition(void)
{
	service_trace("initialize_input_definition");
	actions_globals().definition = input_definition{};
}

input_definition *get_input_definition(void)
{
	return &actions_globals().definition;
}

// The key-binding help is not drawn yet.
void rasterize_keybindings(view_data *view)
{
	(void)view;
}
