// Fire: burning terrain cells.
#ifndef FIRE_H
#define FIRE_H

#include "cseries.h"

void try_to_start_fire(int32 cell_x, int32 cell_y);
// Whether a fire burns in the cell.
boolean cell_is_on_fire(int32 cell_x, int32 cell_y);

struct fire_test_hooks_data
{
	int32 start_calls;
	// When set, what cell_is_on_fire answers (no fire otherwise).
	boolean (*cell_is_on_fire)(int32 cell_x, int32 cell_y);
};
fire_test_hooks_data *get_fire_test_hooks(void);
void reset_fire_test_hooks(void);

#endif
