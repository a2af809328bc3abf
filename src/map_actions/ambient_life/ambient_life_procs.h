// The ambient-life procedures and what they share: the subject rules, the
// orders they give, and the random points they walk to.
#ifndef AMBIENT_LIFE_PROCS_H
#define AMBIENT_LIFE_PROCS_H

#include "map_actions/map_actions.h"
#include "world_units.h"

uint32 chicken_action_proc(int16 action_index); // 'chic'
uint32 deer_action_proc(int16 action_index);    // 'deer'
uint32 peasant_action_proc(int16 action_index); // 'peas'
uint32 soaring_action_proc(int16 action_index); // 'soar'

#define MAXIMUM_AMBIENT_LIFE_SUBJECTS 126

// The action's subjects that may act now, as unit indexes with a record of
// the kind; the count.
int16 get_ambient_life_subjects(int16 action_index, int16 kind, int16 *indexes);

world_point2d get_monster_position2d(int16 monster_index);
// Clamped to the map.
world_point2d clamp_point_to_mesh(world_point2d point);
// origin plus a point at distance in direction (table trigonometry).
world_point2d offset_point2d(world_point2d origin, world_distance distance, angle direction);
// origin plus a point at lower_bound + a random 0..delta-1 in a random
// direction: the distance is drawn first, then the direction.
world_point2d random_point_around(world_point2d origin, world_distance lower_bound, world_distance delta);
// One waypoint order for one unit, executed at once (command identifier -2).
void order_monster_to(int16 monster_index, world_point2d destination, uint16 movement_flags);
// The countdown for a walk to destination, before its random part.
int32 movement_countdown(int16 monster_index, world_point2d destination);
// The unit object nearest in 2D (first found on ties) that is a threat to the
// unit, within radius cells, rows outer; NONE for none. first_found stops at
// the first; skip_ambient ignores ambient-life units.
int16 find_ambient_life_threat(int16 monster_index, int16 radius, boolean first_found, boolean skip_ambient);

#endif
