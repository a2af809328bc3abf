// Wind.
#ifndef WIND_H
#define WIND_H

#include "cseries.h"
#include "world_units.h"

// The wind as 16.16 components; none (0) without wind.
void get_wind_velocity(fixed_vector3d *velocity);

struct wind_test_hooks_data
{
	int32 velocity_calls;
};
wind_test_hooks_data *get_wind_test_hooks(void);
void reset_wind_test_hooks(void);

#endif
