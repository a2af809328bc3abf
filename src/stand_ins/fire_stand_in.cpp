// No fire yet: attempts are only counted.
#include "fire.h"

static fire_test_hooks_data fire_test_hooks = {};

void try_to_start_fire(int32, int32)
{
	fire_test_hooks.start_calls += 1;
}

fire_test_hooks_data *get_fire_test_hooks(void) { return &fire_test_hooks; }
void reset_fire_test_hooks(void) { fire_test_hooks = {}; }
