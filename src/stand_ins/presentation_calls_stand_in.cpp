// The weather's entries the presentation procedures call, until that module
// takes them: no weather.
#include "particle_system.h"

void set_target_particle_number_multiplier(short_fixed)
{
}

void switch_snowing_states(void)
{
}
