// Group AI procs: owner groups with guard and split-up states, platoons of
// squads marching or scouting along routes, followers, leaders, routs,
// surrounds, lookouts and wanderers.
#ifndef GROUP_AI_ACTION_PROCS_H
#define GROUP_AI_ACTION_PROCS_H

#include "cseries.h"
#include "map_actions/map_actions.h"
#include "world_units.h"

struct spatial_group;

#define MAXIMUM_NUMBER_OF_GROUP_STATES 16
#define MAXIMUM_PROXIMITY_TO_INNER_RADIUS 8192
#define MAXIMUM_ALLOWED_WAYPOINTS 32
#define DEFAULT_INTERPOLANT_SPACING 512
#define MINIMUM_SCOUTING_HINT_RELEVANCY_DISTANCE 12800
#define FIND_BEST_SCOUTING_DELTA_ANGLE 4096
#define MINIMUM_SCOUTING_MOVEMENT 256
#define SCOUTING_OVERKILL_RATIO 49152 // 0.75

enum // a group's 'subs'
{
	_substate_active = 0
};

enum // how a scouting platoon regards the chosen enemy group
{
	_group_should_be_scouted,
	_group_must_be_avoided
};

uint32 group_action_proc(int16 action_index);
uint32 guard_group_action_proc(int16 action_index);
uint32 split_up_group_action_proc(int16 action_index);
uint32 platoon_action_proc(int16 action_index);
uint32 squad_action_proc(int16 action_index);
// 'plmo' marches and guards; 'plsc' (chosen by the action's tag) scouts.
uint32 platoon_movement_action_proc(int16 action_index);

uint32 follow_action_proc(int16 action_index);
uint32 lead_action_proc(int16 action_index);
uint32 rout_action_proc(int16 action_index);
uint32 surround_action_proc(int16 action_index);
uint32 look_action_proc(int16 action_index);
uint32 wander_action_proc(int16 action_index);

/* ---------- entry points */

void set_group_action_state(int16 group_action_index, const int16 *state_action_identifiers, int16 count);
void reset_platoon(int16 platoon_action_index);
// state_action_index NONE leaves the platoon without a state.
void set_platoon_state(int16 platoon_action_index, int16 state_action_index);
void generate_platoon_movement_commands(int16 platoon_action_index, world_point2d destination, angle facing);
void generate_squad_movement_commands(int16 squad_action_index, world_point2d platoon_origin,
	world_point2d platoon_destination, angle platoon_facing, angle final_facing);
void test_squad_for_elimination(int16 squad_action_index);
// Point i of n on leg w of the action's route.
world_point2d interpolate_waypoint(int16 action_index, int16 w, int16 i, int16 n);
int16 compute_number_of_interpolated_waypoints(int16 action_index, int16 w);

/* ---------- shared by the procs */

// Whether a group near the point should be attacked: the guard and the
// marching platoon share this test (it may draw once).
boolean test_guard_radius(world_point2d point, int16 team_index, world_distance inner_radius,
	world_distance outer_radius, boolean already_attacking);

namespace group_ai {

world_point2d monster_location(int16 monster_index);
// The first unit's team; NONE for an empty list.
int16 list_team(const int16 *monster_indexes, int16 count);
boolean is_enemy_group(const spatial_group *group, int16 team_index);
// p + length in direction theta, through the trig tables.
world_point2d offset_point(world_point2d p, int64 length, angle theta);
// A lower bound of distance2d(p0, p1), without a root: the larger offset,
// capped as distance2d caps.
int32 distance2d_lower_bound(world_point2d p0, world_point2d p1);
// 64-bit rounded length of a vector.
int64 vector_length(int64 dx, int64 dy);
// The action's type-6 parameter of exactly two values.
boolean get_two_distances(int16 action_index, field_tag field_name, world_distance *values);
// A movement order for the units, in command-sized chunks, executed at once.
void move_monsters(int16 command_identifier, uint16 flags, int16 formation_index, angle final_facing,
	const int16 *monster_indexes, int16 count, world_point2d destination);
void activate_actions_in_list(int16 action_index, field_tag field_name, int32 maximum_count);
boolean action_is_on_trigger_stack(int16 action_index);
// Every own parameter of that name and type goes.
void delete_own_parameters(int16 action_index, field_tag field_name, int16 type);

} // namespace group_ai

#endif
