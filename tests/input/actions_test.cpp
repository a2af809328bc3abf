// The input sampler and the action queue: whole 1/30 s turns, local time, the
// 30-sample limit, and what a key or a button becomes.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "CoreLibrary/input/sdl_input.h"
#include "input/actions.h"
#include "test_hooks.h"
#include "zerv.h"

class FrameLimiterQueue : public ::testing::Test
{
protected:
	void SetUp() override
	{
		reset_actions_test_hooks();
		reset_sdl_input_test_hooks();
		reset_test_hooks_test_hooks();
		flush_actions();
		get_actions_test_hooks()->capture_actions = TRUE;
		saved_game = game;
	}

	void TearDown() override
	{
		set_keyboard_queue_task_state(FALSE);
		game = saved_game;
		reset_test_hooks_test_hooks();
		reset_actions_test_hooks();
	}

	game_data *saved_game = nullptr;
};

static action_data key_sample(int16 key_code)
{
	action_data action;
	clear_action(&action);
	action.key_code = key_code;
	return action;
}

TEST_F(FrameLimiterQueue, QueueKeepsThirtyInOrderAndDropsTheRest)
{
	for (int16 i = 0; i < 35; ++i)
	{
		const action_data action = key_sample(i);
		EXPECT_EQ(queue_action(&action), i < MAXIMUM_QUEUED_ACTIONS ? TRUE : FALSE) << i;
	}
	EXPECT_EQ(get_actions_test_hooks()->dropped_count, 5);

	update_actions();
	actions_test_hooks_data *hooks = get_actions_test_hooks();
	ASSERT_EQ(hooks->captured_count, MAXIMUM_QUEUED_ACTIONS);
	for (int16 i = 0; i < MAXIMUM_QUEUED_ACTIONS; ++i) EXPECT_EQ(hooks->captured[i].key_code, i);

	// Drained: room again, and the ring wraps.
	for (int16 round = 0; round < 3; ++round)
	{
		for (int16 i = 0; i < 20; ++i)
		{
			const action_data action = key_sample(static_cast<int16>(round * 20 + i));
			EXPECT_TRUE(queue_action(&action));
		}
		hooks->captured_count = 0;
		update_actions();
		ASSERT_EQ(hooks->captured_count, 20);
		EXPECT_EQ(hooks->captured[0].key_code, round * 20);
		EXPECT_EQ(hooks->captured[19].key_code, round * 20 + 19);
	}

	const action_data action = key_sample(_key_space);
	queue_action(&action);
	flush_actions();
	hooks->captured_count = 0;
	update_actions();
	EXPECT_EQ(hooks->captured_count, 0);
}

TEST_F(FrameLimiterQueue, ThirtyTurnsPerSecondOfTheManualClock)
{
	game_data record = {};
	game = &record;
	test_set_manual_clock(true);
	test_set_manual_clock_time(5000);

	// Held off: no turns however long it waits.
	test_advance_manual_clock(2000);
	EXPECT_EQ(update_actions(), 0);

	set_keyboard_queue_task_state(TRUE);
	EXPECT_TRUE(get_keyboard_queue_task_state());

	// Uneven steps still give 30 a second, the remainder carried.
	const uint32 steps[] = {10, 23, 1, 467, 33, 466, 0, 333, 334, 333, 999, 1};
	int32 total = 0;
	uint32 elapsed = 0;
	for (uint32 step : steps)
	{
		test_advance_manual_clock(step);
		elapsed += step;
		const int16 turns = update_actions();
		EXPECT_GE(turns, 0);
		total += turns;
		EXPECT_EQ(total, static_cast<int32>(elapsed * 30 / 1000)) << "after " << elapsed << " ms";
	}
	EXPECT_EQ(total, 90);
	EXPECT_EQ(record.local_time, 90) << "every turn advances local time once";

	// Held again: time stops.
	set_keyboard_queue_task_state(FALSE);
	test_advance_manual_clock(1000);
	EXPECT_EQ(update_actions(), 0);
	EXPECT_EQ(record.local_time, 90);

	// A stall longer than a second catches up one second at most.
	set_keyboard_queue_task_state(TRUE);
	test_advance_manual_clock(5000);
	EXPECT_EQ(update_actions(), 30);
	test_advance_manual_clock(100);
	EXPECT_EQ(update_actions(), 3);
}

TEST_F(FrameLimiterQueue, DrivenTurnsCountOnlyWhileRunning)
{
	get_actions_test_hooks()->no_timer_thread = TRUE;
	run_input_sampler_turns(5);
	EXPECT_EQ(update_actions(), 0);

	set_keyboard_queue_task_state(TRUE);
	run_input_sampler_turns(7);
	EXPECT_EQ(update_actions(), 7);
	EXPECT_EQ(update_actions(), 0);
	run_input_sampler_turns(2);
	set_keyboard_queue_task_state(FALSE);
	EXPECT_EQ(update_actions(), 0) << "turns before the hold are not time that passed";
}

TEST_F(FrameLimiterQueue, TimerThreadSamplesAboutThirtyTimesASecond)
{
	game_data record = {};
	game = &record;
	set_keyboard_queue_task_state(TRUE);
	update_actions();
	// The real thread on the real clock: it never runs ahead of its schedule,
	// but a loaded machine may hold it back.
	const auto start = std::chrono::steady_clock::now();
	std::this_thread::sleep_for(std::chrono::milliseconds(1000));
	const int16 turns = update_actions();
	const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
	set_keyboard_queue_task_state(FALSE);
	EXPECT_GE(turns, 10);
	EXPECT_LE(turns, elapsed.count() * 30 / 1000 + 2);
	EXPECT_GE(record.local_time, turns);
	const int32 stopped_at = record.local_time;
	std::this_thread::sleep_for(std::chrono::milliseconds(100));
	EXPECT_EQ(record.local_time, stopped_at) << "no turn after the sampler is held";
}

static platform_input_event key_event(int16 type, int16 key_code, uint16 modifiers, int16 ascii = NONE)
{
	platform_input_event event = {};
	event.type = type;
	event.key_code = key_code;
	event.ascii_code = ascii;
	event.modifiers = modifiers;
	return event;
}

TEST_F(FrameLimiterQueue, KeysAndButtonsBecomeSamples)
{
	actions_test_hooks_data *hooks = get_actions_test_hooks();

	platform_input_event event = key_event(_input_event_key_down, _key_f3, _shift_down);
	queue_input_event_if_necessary(&event);
	EXPECT_TRUE(key_down(_key_f3));
	queue_input_event_if_necessary(&event);
	event = key_event(_input_event_key_up, _key_f3, 0);
	queue_input_event_if_necessary(&event);
	EXPECT_FALSE(key_down(_key_f3));
	event = key_event(_input_event_key_down, _key_g, _control_down, 'g');
	queue_input_event_if_necessary(&event);

	update_actions();
	ASSERT_EQ(hooks->captured_count, 3);
	EXPECT_EQ(hooks->captured[0].key_code, _key_f3);
	EXPECT_EQ(hooks->captured[0].modifiers, _shift_down);
	EXPECT_EQ(hooks->captured[1].modifiers, _shift_down | _key_repeat) << "a press while held repeats";
	EXPECT_EQ(hooks->captured[2].key_code, _key_g);
	EXPECT_EQ(hooks->captured[2].ascii_code, 'g');
	EXPECT_EQ(hooks->captured[2].modifiers, _control_down);

	// Codes outside the table change nothing.
	event = key_event(_input_event_key_down, 100, 0);
	queue_input_event_if_necessary(&event);
	event = key_event(_input_event_key_down, -7, 0);
	queue_input_event_if_necessary(&event);
	EXPECT_FALSE(key_down(100));
	EXPECT_FALSE(key_down(NONE));

	// A test may hold a key.
	headless_set_key_held(_key_space, TRUE);
	EXPECT_TRUE(key_down(_key_space));
	headless_set_key_held(_key_space, FALSE);
	EXPECT_FALSE(key_down(_key_space));

	// A click is a sample at once; a move waits for the sampler.
	hooks->captured_count = 0;
	get_actions_test_hooks()->no_timer_thread = TRUE;
	set_keyboard_queue_task_state(TRUE);
	platform_input_event click = {};
	click.type = _input_event_mouse_button_down;
	click.x = 100;
	click.y = 50;
	click.button = _mouse_button_left;
	queue_input_event_if_necessary(&click);
	platform_input_event move = {};
	move.type = _input_event_mouse_motion;
	move.x = 120;
	move.y = 60;
	queue_input_event_if_necessary(&move);
	run_input_sampler_turns(2);
	update_actions();
	ASSERT_EQ(hooks->captured_count, 2);
	EXPECT_TRUE(test_action_flag(&hooks->captured[0], _left_mouse_button_pressed_bit));
	EXPECT_TRUE(test_action_flag(&hooks->captured[0], _left_mouse_button_down_bit));
	EXPECT_EQ(hooks->captured[0].pointer.x, 100);
	EXPECT_TRUE(test_action_flag(&hooks->captured[1], _mouse_moved_bit));
	EXPECT_EQ(hooks->captured[1].pointer.x, 120);
	EXPECT_EQ(hooks->captured[1].time_delta, 1);
	int16 x, y;
	get_last_action_pointer(&x, &y);
	EXPECT_EQ(x, 120);
	EXPECT_EQ(y, 60);
}

TEST_F(FrameLimiterQueue, ActionBitsSpanBothWords)
{
	action_data action;
	clear_action(&action);
	EXPECT_EQ(action.key_code, NONE);
	set_action_flag(&action, _pause_game_bit, TRUE);
	set_action_flag(&action, _display_chat_bit, TRUE);
	EXPECT_EQ(action.action_flags[0], _pause_game_flag);
	EXPECT_EQ(action.action_flags[1], static_cast<uint32>(_display_chat_flag));
	EXPECT_TRUE(test_action_flag(&action, _display_chat_bit));
	EXPECT_FALSE(test_action_flag(&action, _selection_inventory_bit));
	EXPECT_FALSE(test_action_flag(&action, 64));
	EXPECT_FALSE(test_action_flag(NULL, 0));
}

TEST_F(FrameLimiterQueue, HeadlessPumpDeliversInjectedEventsAndClosesOnRequest)
{
	sdl_input_test_hooks_data *hooks = get_sdl_input_test_hooks();
	const platform_input_event press = key_event(_input_event_key_down, _key_escape, 0);
	EXPECT_TRUE(headless_inject_input_event(&press));
	for (int32 i = 1; i < MAXIMUM_INJECTED_INPUT_EVENTS; ++i) headless_inject_input_event(&press);
	EXPECT_FALSE(headless_inject_input_event(&press)) << "the injection list is full";

	headless_request_quit_after_passes(2);
	pump_platform_events();
	EXPECT_EQ(hooks->close_requests, 0);
	EXPECT_TRUE(key_down(_key_escape));
	update_actions();
	EXPECT_EQ(get_actions_test_hooks()->captured_count, MAXIMUM_QUEUED_ACTIONS) << "more than 30 are dropped";

	pump_platform_events();
	EXPECT_EQ(hooks->close_requests, 1) << "the second pump closes the window";
	pump_platform_events();
	EXPECT_EQ(hooks->close_requests, 1);

	set_sdl_grab_mode(TRUE);
	EXPECT_TRUE(get_sdl_grab_mode());
	toggle_sdl_grab_mode();
	EXPECT_FALSE(get_sdl_grab_mode());
}
