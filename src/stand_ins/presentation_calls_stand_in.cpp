// The weather's and the local groups' entries the presentation procedures
// call, until those modules take them: no weather, no marker groups.
#include "local_projectiles.h"
#include "particle_system.h"

void set_target_particle_number_multiplier(short_fixed)
{
}

void switch_snowing_states(void)
{
}

int16 new_local_projectile_group_from_marker(marker_data *)
{
	return NONE;
}

int16 local_projectile_group_identifiers_to_local_projectile_group_indexes(const int16 *, int16 *, int16)
{
	return 0;
}

void set_local_projectile_group_opacity(int16, uint16)
{
}
