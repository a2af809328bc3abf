// Test helpers of headless input: held keys, injected events and a closing
// window. The headless pump itself is the engine's default.
#include "CoreLibrary/input/sdl_input.h"

#include <atomic>

#include "input/actions.h"

void headless_set_key_held(int16 key_code, boolean held)
{
	// The sampler may read it on its own thread.
	if (key_code >= 0 && key_code < NUMBER_OF_KEYS)
	{
		std::atomic_ref<boolean>(get_sdl_input_test_hooks()->keys_held[key_code]).store(held);
	}
}

boolean headless_inject_input_event(const platform_input_event *event)
{
	if (!event || get_sdl_input_test_hooks()->injected_event_count >= MAXIMUM_INJECTED_INPUT_EVENTS) return FALSE;
	get_sdl_input_test_hooks()->injected_events[get_sdl_input_test_hooks()->injected_event_count++] = *event;
	return TRUE;
}

void headless_request_quit_after_passes(int32 n)
{
	get_sdl_input_test_hooks()->quit_after_passes = get_sdl_input_test_hooks()->pump_count + MAX(n, 1);
}

