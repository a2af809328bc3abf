// Collision along a line is not built yet: no object, ground or indoor cell
// stands in the way of a shot. Nothing here draws from the synchronised stream.
#include "monsters.h"

int16 check_for_object_obstruction(int16, const world_point3d *, const world_point3d *, world_distance, angle, boolean,
	boolean, boolean)
{
	return get_monsters_test_hooks()->object_obstruction_standing_in;
}

boolean check_for_ground_obstruction(const world_point3d *, const world_point3d *, angle, boolean *obstructed,
	const object_definition *)
{
	if (obstructed) *obstructed = FALSE;
	return FALSE;
}

boolean indoor_cell_obstruction_proc(int32, int32, void *)
{
	return FALSE;
}
