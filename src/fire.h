// Fire: burning terrain cells.
#ifndef FIRE_H
#define FIRE_H

#include "cseries.h"

void initialize_fire(void);
void initialize_fire_for_new_map(void);
void dispose_fire_from_old_map(void);
void update_fire(void);
void try_to_start_fire(int32 cell_x, int32 cell_y);
// Whether a fire burns in the cell.
boolean cell_is_on_fire(int32 cell_x, int32 cell_y);
// Puts out the fire of a cell, if one burns there.
void extinguish_fire_in_cell(int32 cell_x, int32 cell_y);

struct fire_test_hooks_data
{
	int32 start_calls;
	int32 extinguish_calls;
	// When set, what cell_is_on_fire answers (no fire otherwise).
	boolean (*cell_is_on_fire)(int32 cell_x, int32 cell_y);
};
fire_test_hooks_data *get_fire_test_hooks(void);
void reset_fire_test_hooks(void);

#endif
