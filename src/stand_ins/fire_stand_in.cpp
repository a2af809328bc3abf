// No fire yet: attempts are only counted and no cell burns. Its hooks run the
// mirror-group life cycle, which fire owns.
#include "fire.h"

#include "mirror_groups.h"

static fire_test_hooks_data fire_test_hooks = {};

void initialize_fire(void) { initialize_mirror_groups(); }
void initialize_fire_for_new_map(void) { initialize_mirror_groups_for_new_map(); }
void dispose_fire_from_old_map(void) { dispose_mirror_groups_from_old_map(); }
void update_fire(void) {}

void try_to_start_fire(int32, int32)
{
	fire_test_hooks.start_calls += 1;
}

boolean cell_is_on_fire(int32 cell_x, int32 cell_y)
{
	return fire_test_hooks.cell_is_on_fire ? fire_test_hooks.cell_is_on_fire(cell_x, cell_y) : FALSE;
}

void extinguish_fire_in_cell(int32, int32)
{
	fire_test_hooks.extinguish_calls += 1;
}

fire_test_hooks_data *get_fire_test_hooks(void) { return &fire_test_hooks; }
void reset_fire_test_hooks(void) { fire_test_hooks = {}; }
