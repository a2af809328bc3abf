// No weather yet: every point is dry; calls are counted.
#include "particle_system.h"

static particle_system_test_hooks_data particle_system_test_hooks = {};

uint16 particle_system_intensity(const world_point2d *)
{
	particle_system_test_hooks.intensity_calls += 1;
	return 0;
}

particle_system_test_hooks_data *get_particle_system_test_hooks(void) { return &particle_system_test_hooks; }
void reset_particle_system_test_hooks(void) { particle_system_test_hooks = {}; }
