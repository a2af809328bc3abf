// The weather particle system.
#ifndef PARTICLE_SYSTEM_H
#define PARTICLE_SYSTEM_H

#include "cseries.h"
#include "world_units.h"

// The weather's density at a point (fixed_fraction); 0 without weather.
uint16 particle_system_intensity(const world_point2d *point);
// Map actions: the density's target (256 = 1.0) and the weather's state.
void set_target_particle_number_multiplier(short_fixed multiplier);
void switch_snowing_states(void);

struct particle_system_test_hooks_data
{
	int32 intensity_calls;
};
particle_system_test_hooks_data *get_particle_system_test_hooks(void);
void reset_particle_system_test_hooks(void);

#endif
