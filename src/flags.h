// Game flags and goals: banners that stand in place and tokens that units push
// around, owned by the team whose units are near, and the goal lines of the
// teams across which a token scores.
#ifndef FLAGS_H
#define FLAGS_H

#include "cseries.h"
#include "world_units.h"
#include "data.h"

#define MAXIMUM_FLAGS_PER_MAP 64
#define VERTICES_PER_GOAL 2
#define MINIMUM_TIME_OF_POSSESSION 180
#define FADE_OUT_FLAG_TICKS 30
#define FLAG_NEARNESS_RADIUS 2560
#define CATTLE_DRIVE_FLAG_NEARNESS_RADIUS 2048

enum // flag types
{
	_flag_is_banner,
	_flag_is_token,
	NUMBER_OF_FLAG_TYPES
};

enum // flag_data flags
{
	_flag_cannot_be_captured_bit,
	_flag_is_invisible_on_overhead_map_bit,

	_flag_cannot_be_captured_flag = FLAG(_flag_cannot_be_captured_bit),
	_flag_is_invisible_on_overhead_map_flag = FLAG(_flag_is_invisible_on_overhead_map_bit)
};

enum // goal flags
{
	_goal_initialized_bit,
	_goal_initialized_flag = FLAG(_goal_initialized_bit)
};

enum // count_team_flags flags
{
	_score_goals_bit,
	_count_contested_flags_bit,
	_return_neutral_flags_to_original_owner_bit,
	_use_minimum_time_of_possession_bit,
	_count_neutral_flags_as_contested_bit,
	NUMBER_OF_COUNT_TEAM_FLAGS_FLAGS,

	_score_goals_flag = FLAG(_score_goals_bit),
	_count_contested_flags_flag = FLAG(_count_contested_flags_bit),
	_return_neutral_flags_to_original_owner_flag = FLAG(_return_neutral_flags_to_original_owner_bit),
	_use_minimum_time_of_possession_flag = FLAG(_use_minimum_time_of_possession_bit),
	_count_neutral_flags_as_contested_flag = FLAG(_count_neutral_flags_as_contested_bit)
};

// A record of the "flag" array (in memory only).
struct flag_data
{
	int16 identifier;
	int16 type;
	uint32 flags;
	int16 object_index;
	int16 projectile_type; // a token's projectile while it moves; NONE for banners
	int16 owner_team_index; // NONE when neutral or contested
	int16 last_owner_team_index;
	int16 original_owner_team_index;
	int16 number; // 0..31, NONE for an unnumbered flag
	int16 marker_index; // the scenery marker it came from
	int32 time_of_possession; // ticks since the owner last changed
};

struct goal_data
{
	uint16 flags;
	world_point2d vertices[VERTICES_PER_GOAL];
};

struct flag_globals_data
{
	int16 number_of_unnumbered_flags;
	int16 number_of_numbered_flags; // distinct numbers
	uint32 numbered_flags_flags; // one bit per number seen
	int16 neutral_color_table_index; // NONE until the first flag is made
	int16 team_color_table_indexes[16];
	goal_data goals[16]; // by team
};

extern datum_globals flag_array; // "flag"
extern flag_globals_data flag_globals;

void initialize_flags(void);
void initialize_flags_for_new_map(void);
void dispose_flags_from_old_map(void);

struct marker_data;
struct damage_definition;
struct damage_data;

// Makes the scenery object of the marker a flag; FALSE when the marker can't
// be a flag (its object is then deleted by the caller).
boolean new_flag(marker_data *marker, int16 number);
// Team 0..15, at least two vertices: the first two become the team's goal line.
void new_goal(int16 team_index, int16 vertex_count, const world_point2d *vertices);
// Per-re-ranking update: fills flag_counts (16 teams) and tells whether every
// flag is held as the options want.
boolean count_team_flags(int16 *flag_counts, uint32 flags, int32 ticks_elapsed);
void accelerate_flag(const damage_definition *definition, damage_data *data, int16 flag_index);
// A unit walking into a token kicks it; TRUE when handled.
boolean monster_bumped_flag(int16 monster_index, int16 flag_object_index, short_world_distance velocity);
// A token at rest becomes a flag object again.
void reclaim_dormant_flag(int16 object_index);
int16 get_number_of_numbered_flags(void);
int16 get_number_of_unnumbered_flags(void);

flag_data *get_flag_data(int16 flag_index);

struct zerv_digest;
void flags_fold_digest(zerv_digest *digest);

#endif
