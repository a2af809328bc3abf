// No fire yet: attempts are only counted and no cell burns.
#include "fire.h"

static fire_test_hooks_data fire_test_hooks = {};

void try_to_start_fire(int32, int32)
{
	fire_test_hooks.start_calls += 1;
}

boolean cell_is_on_fire(int32 cell_x, int32 cell_y)
{
	return fire_test_hooks.cell_is_on_fire ? fire_test_hooks.cell_is_on_fire(cell_x, cell_y) : FALSE;
}

fire_test_hooks_data *get_fire_test_hooks(void) { return &fire_test_hooks; }
void reset_fire_test_hooks(void) { fire_test_hooks = {}; }
