// Fire: burning terrain cells.
#ifndef FIRE_H
#define FIRE_H

#include "cseries.h"

void try_to_start_fire(int32 cell_x, int32 cell_y);

struct fire_test_hooks_data
{
	int32 start_calls;
};
fire_test_hooks_data *get_fire_test_hooks(void);
void reset_fire_test_hooks(void);

#endif
