// Procs that only read the world and write parameters: the geometry filter
// ('geom') and the unit test ('tuni').
#ifndef UNIT_QUERY_ACTION_PROCS_H
#define UNIT_QUERY_ACTION_PROCS_H

#include "cseries.h"
#include "world_units.h"

#define MAXIMUM_GEOMETRY_FILTER_CANDIDATES 400

// One candidate of the geometry filter: a unit, marker or object identifier.
struct monster_or_object_identifier
{
	int16 identifier;
	int16 unused;
	world_point3d location;
	boolean inside;
};

uint32 geometry_filter_action_proc(int16 action_index);
uint32 test_units_action_proc(int16 action_index);

/* ---------- shared unit reads */

struct monster_data;
// Team of a unit; ambient-life units count as team -1 when asked.
int16 unit_query_team(const monster_data *monster, bool ambient_as_none);
boolean unit_query_is_invisible_observer(const monster_data *monster);
// Whether the unit holds a dormant projectile of one of the tags; with
// look_inside, the held objects of kinds that carry several artifacts count.
boolean unit_query_holds(const monster_data *monster, const file_tag *tags, int32 tag_count, boolean look_inside,
	file_tag *last_compared);
// Whether any of the unit's held objects is a dormant projectile of the tag, whatever its kind.
boolean unit_query_held_objects_hold(const monster_data *monster, file_tag tag);
// Charges of the carried artifact (0 without one).
int32 unit_query_charges(const monster_data *monster);

#endif
