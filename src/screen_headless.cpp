// Test helpers of the headless screen. The headless behaviour itself is the
// engine's default (no platform procedures installed); these only steer it.
#include "screen.h"

// Back to headless, forgetting what the window was asked to do.
void use_headless_platform(void)
{
	install_platform_procedures(NULL);
	reset_screen_test_hooks();
}
