// The held-key state between its two threads, under ThreadSanitizer: the
// event pump presses and lets go of keys on one thread while the sampler's
// key_down reads them on another, as the timer thread does. A report (a data
// race) ends the program with a failing status.
//
// Built with the platform input module alone; the few services it calls are
// stood in for here.
#include <atomic>
#include <cstdio>
#include <thread>

#include "CoreLibrary/input/sdl_input.h"
#include "input/actions.h"
#include "main.h"
#include "screen.h"

boolean queue_action(const action_data *)
{
	return TRUE;
}

void clear_action(action_data *action)
{
	*action = action_data{};
}

void set_action_flag(action_data *, int16, boolean) {}
void handle_window_close_request(void) {}

const platform_procedures_data *get_platform_procedures(void)
{
	static platform_procedures_data procedures{};
	return &procedures;
}

int main()
{
	std::atomic<bool> done{false};
	std::atomic<int> seen{0};
	std::thread sampler([&] {
		while (!done.load())
		{
			if (key_down(_key_comma)) seen.fetch_add(1);
			if (key_down(_key_space)) seen.fetch_add(1);
		}
	});

	for (int turn = 0; turn < 20000; ++turn)
	{
		platform_input_event event{};
		event.type = turn % 2 == 0 ? _input_event_key_down : _input_event_key_up;
		event.key_code = turn % 4 < 2 ? _key_comma : _key_space;
		event.ascii_code = NONE;
		queue_input_event_if_necessary(&event);
		headless_set_key_held(_key_space, turn % 3 == 0);
	}
	done.store(true);
	sampler.join();
	printf("keys seen held %d times\n", seen.load());
	return 0;
}
