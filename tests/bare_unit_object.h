// A unit's body for tests and benchmarks that make their own unit records:
// a plain object owned by the unit, at (x, y) on the ground.
#ifndef BARE_UNIT_OBJECT_H
#define BARE_UNIT_OBJECT_H

#include "objects.h"

inline int16 new_bare_unit_object(int16 monster_index, world_distance x, world_distance y)
{
	new_object_data data = {};
	data.type = NONE;
	data.owner = _object_is_monster;
	data.owner_index = monster_index;
	data.scale = 256;
	data.collection_index = NONE;
	data.location.position = {x, y, 0};
	return new_object(&data);
}

#endif
