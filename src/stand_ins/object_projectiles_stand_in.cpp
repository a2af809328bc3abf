// No projectiles yet: none passes through its target.
#include "objects.h"

boolean object_projectile_passes_through_target(int16)
{
	return FALSE;
}
