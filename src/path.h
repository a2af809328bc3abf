// Pathfinding: a cell search over the mesh from a unit to its destination,
// and bending a unit's next waypoint around nearby obstacles.
#ifndef PATH_H
#define PATH_H

#include "cseries.h"
#include "world_units.h"
#include "data.h"

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

enum // obstacle flags
{
	_obstacle_is_friendly_monster_bit,
	_obstacle_is_temporary_bit,

	_obstacle_is_friendly_monster_flag = FLAG(_obstacle_is_friendly_monster_bit),
	_obstacle_is_temporary_flag = FLAG(_obstacle_is_temporary_bit)
};

enum // which side an avoidance run looks for
{
	_finding_leftmost,
	_finding_rightmost
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

// A search node: 16 bytes on every build; links are pool indexes (NONE for none).
struct path_node
{
	int32 next_node; // open-list link
	int32 parent_node;
	int8 x, y; // inside the box
	int8 direction; // the direction that reached the node; -1 for the start
	int8 pad;
	int16 cost; // from the start, saturating at 32767
	int16 total_cost; // cost plus estimate, saturating at 32767
};
static_assert(sizeof(path_node) == 16);

struct obstacle
{
	uint16 flags;
	world_point2d center;
	int16 radius;
	int16 object_index;
};

// The working state of one adjustment.
struct obstruction_avoidance_globals
{
	obstacle obstacles[MAXIMUM_OBSTACLES_TO_CONSIDER];
	int16 obstacle_count;
	int16 monster_index;
	world_point2d start;
	int16 monster_radius, friendly_monster_radius;
	world_point2d leftmost_point, rightmost_point; // (-1, -1) while none
	int16 leftmost_object_index, rightmost_object_index;
	boolean avoiding_same_object_again;
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

// The paths for the per-tick digest.
struct zerv_digest;
void fold_paths_digest(zerv_digest *digest);

extern datum_globals path_array; // "path"

/* ---------- exposed for tests */

// The working list of the last adjustment, made whole (valid until the world changes).
const obstruction_avoidance_globals *get_obstruction_avoidance_globals(void);
// The first column and row of the scan box ahead of a unit facing desired_yaw.
void get_obstacle_scan_origin(int32 cell_x, int32 cell_y, angle desired_yaw, int32 *x0, int32 *y0);
// The avoidance step's test of one obstacle: whether the circle of big_r round
// center holds a point of the segment from start through point (m apart)
// lengthened by big_r. The bound in front of it answers false only where the
// test does.
boolean avoidance_segment_meets_circle(const world_point2d *start, const world_point2d *point, int32 m,
	const world_point2d *center, int32 big_r);
boolean avoidance_segment_may_meet_circle(const world_point2d *start, const world_point2d *point, int32 m,
	const world_point2d *center, int32 big_r);
// The search's estimate of the cost from cell (x, y) to cell (x1, y1).
int16 path_cost_estimate(int32 x, int32 y, int32 x1, int32 y1);
// Which of the cell's triangles the mask blocks (bit 0 the low, bit 1 the
// high), from the tables the search keeps.
uint8 triangles_blocked_by_mask(uint16 flags, uint16 mask);
// Bits of the eight directions out of the cell (absolute coordinates) for the mask.
uint16 get_valid_direction_flags(int32 x, int32 y, uint16 terrain_impassability_flags);
boolean valid_straight_line_path(const world_point2d *p0, const world_point2d *p1, uint16 terrain_impassability_flags,
	short_fixed magical_modifier);

struct path_test_hooks_data
{
	// The last search: nodes used, nodes expanded, the first box cell, the
	// corners recorded and the highest cost given to a node.
	int32 nodes_used;
	int32 nodes_expanded;
	int32 box_x0, box_y0;
	int32 corner_count;
	int32 highest_cost, lowest_cost;
	int32 straight_line_pieces; // pieces tested by the last straight-line test
	// Cells the last straight-line test looked at, in order, up to 64 entries
	// (recorded only while record_walks is set).
	boolean record_walks;
	int32 walked_count;
	int16 walked_x[64], walked_y[64];
	// When set, the magical modifier every search uses.
	boolean override_magical_modifier;
	short_fixed magical_modifier;
	// Expansion order of the last search (box cells), up to 64 entries.
	int32 expanded_count;
	int8 expanded_x[64], expanded_y[64];
	// While positive, new_path answers PATH_MUST_BE_RECOMPUTED (p1 set to p0)
	// without searching, one answer per call, and counts down.
	int32 forced_recomputes;
	// When set, every search runs the open list (no direct walk); a direct walk
	// leaves nodes_used at its own nodes and highest_cost at 0.
	boolean full_searches_only;
	int32 direct_walks; // searches answered by the direct walk
	// When set, each obstacle adjustment is made first as first written (the
	// box always gathered, every step of the runs taken) and then as it is
	// made, from the same unit record; the unit's record and the whole list
	// are compared.
	boolean compare_obstacle_adjustments;
	int32 adjustments_compared, adjustments_differing;
	int32 gathers_left_out, first_steps_kept;
};
path_test_hooks_data *get_path_test_hooks(void);
void reset_path_test_hooks(void);

#endif
