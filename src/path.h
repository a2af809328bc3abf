// Pathfinding: a cell search over the mesh from a unit to its destination,
// and bending a unit's next waypoint around nearby obstacles.
#ifndef PATH_H
#define PATH_H

#include "cseries.h"
#include "world_units.h"

#define MAXIMUM_PATHS 400
#define MAXIMUM_NODES 1024
#define PATH_BOX_WIDTH 128
#define COST_PER_CELL 16
#define FIRE_PENALTY_MULTIPLIER 5
#define MAXIMUM_TEMPORARY_WAYPOINTS 24
#define MAXIMUM_STRAIGHT_LINE_DISTANCE 30720
#define MAXIMUM_PATH_SEGMENT_DISTANCE 8192
#define MINIMUM_AVOID_RADIUS 85
#define TRUE_AVOID_RADIUS 255
#define OVERSHOOT_DISTANCE 256
#define FUDGE_FACTOR 10
#define FIND_POSSIBLE_OBSTACLES_BOX_WIDTH 16
#define ITERATION_CUTOFF 20
#define MINIMUM_ADJUST_RADIUS 128
#define ATTACK_ADJUST_RADIUS 512
#define DISTANCE_TO_AVOID_SLOWPOKES 1024
#define MAXIMUM_ENDPOINT_RETRIES 10
#define MAXIMUM_OBSTACLES_TO_CONSIDER 64
#define PATH_MUST_BE_RECOMPUTED (-2)

enum // directions (north is +y, east is +x)
{
	_northeast,
	_southeast,
	_southwest,
	_northwest,
	_north,
	_east,
	_south,
	_west,
	NUMBER_OF_PATH_DIRECTIONS,

	_northeast_flag = FLAG(_northeast),
	_southeast_flag = FLAG(_southeast),
	_southwest_flag = FLAG(_southwest),
	_northwest_flag = FLAG(_northwest),
	_north_flag = FLAG(_north),
	_east_flag = FLAG(_east),
	_south_flag = FLAG(_south),
	_west_flag = FLAG(_west)
};

enum
{
	_partial_path_bit,
	_partial_path_flag = FLAG(_partial_path_bit)
};

// The caller's request, read and written.
struct path_variables
{
	uint16 flags; // result: _partial_path_flag
	uint16 terrain_impassability_flags;
	int32 owner_object_index;
	world_point2d p0, p1;
	int16 x0, y0, x1, y1; // cells, filled by new_path
};

// A record of the "path" array.
struct postprocessed_path_data
{
	int16 identifier;
	uint16 flags;
	world_point2d waypoint; // the next point to walk to
	int32 monster_index;
};

void initialize_pathfinding(void);
void initialize_pathfinding_for_new_map(void);
void dispose_pathfinding_from_old_map(void);

// A new path record's index, NONE when the array is full, or
// PATH_MUST_BE_RECOMPUTED when no step can be made (p1 is then set to p0).
int16 new_path(int16 monster_index, path_variables *variables);
// Frees the record and sets the index to NONE.
void delete_path(int16 *path_index);
// Bends the unit's current waypoint (path_destination) around obstacles.
void adjust_path_destination_for_obstacles(int16 monster_index);
// NULL for an index that holds no path.
postprocessed_path_data *get_path_data(int16 path_index);

#endif
