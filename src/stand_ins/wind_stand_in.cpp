// No wind yet: still air; calls are counted.
#include "wind.h"

static wind_test_hooks_data wind_test_hooks = {};

void get_wind_velocity(fixed_vector3d *velocity)
{
	wind_test_hooks.velocity_calls += 1;
	if (velocity) *velocity = {0, 0, 0};
}

wind_test_hooks_data *get_wind_test_hooks(void) { return &wind_test_hooks; }
void reset_wind_test_hooks(void) { wind_test_hooks = {}; }
