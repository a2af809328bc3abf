// Small readings and clamps the order, control and world procedures share.
#ifndef ACTION_PROC_VALUES_H
#define ACTION_PROC_VALUES_H

#include "cseries.h"
#include "map_actions/map_actions.h"
#include "world.h"

// A value flag: found with at least one element; any non-zero byte counts as 1.
bool map_action_value_flag(int16 action_index, field_tag field_name, int32 *value);
// Formed wide, then held to the field's range rather than wrapped.
int32 clamp_to_int32(int64 value, int64 low, int64 high);
// A point held inside the map (unchanged while no mesh is loaded).
world_point2d clamp_point_to_map(world_point2d p);
// Lifts an object off the mesh, sets it down at the point (held inside the map)
// on the land there, and connects it again. A unit's object so carried leaves
// the unit no path from where it was (monster_carried_by_script).
void move_object_to_point(int16 object_index, world_point2d p);

#endif
