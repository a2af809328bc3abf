// Spatial groups: clusters of neighbouring units of one team and kind, and
// clusters of such groups of one team (supergroups), rebuilt on every
// scheduler pass. The records live packed in one fixed buffer; links are
// 32-bit byte offsets into it (NONE when empty) so that sizes and overflow
// points are alike on every build. Records start on 2-byte boundaries only:
// copy a field before taking its address.
#ifndef SPATIAL_GROUPS_H
#define SPATIAL_GROUPS_H

#include "cseries.h"
#include "world_units.h"

struct zerv_digest;

#define MAXIMUM_SPATIAL_GROUPS_BUFFER_SIZE 24576
// A group of 400 units: the head and 2 bytes per unit.
#define MAXIMUM_SPATIAL_GROUP_SIZE 848
// A new group starts only at or below this offset, so the largest still fits.
#define LAST_SPATIAL_GROUP_OFFSET (MAXIMUM_SPATIAL_GROUPS_BUFFER_SIZE - MAXIMUM_SPATIAL_GROUP_SIZE)
#define MONSTER_USED_FLAGS_SIZE 13 // 32-bit words: 416 units
// Growth stops once a group holds this many (the last scan may overshoot).
#define MAXIMUM_SPATIAL_GROUP_GROWTH 126
#define MAXIMUM_SPATIAL_GROUP_GROWTH_13 30

#define SUPERGROUP_SEPARATION_DISTANCE 2048
// Largest gap between two groups' edges that still lets them combine.
#define MAXIMUM_SUPERGROUP_GAP (SUPERGROUP_SEPARATION_DISTANCE - 1)
// Approximate distance below which two units of different groups touch.
#define SUPERGROUP_UNIT_CONTACT_DISTANCE 768
#define MAXIMUM_COMBINED_GROUPS 16
#define NEARBY_CELL_RADIUS 1
#define NEARBY_CELL_DIAMETER (2 * NEARBY_CELL_RADIUS + 1)
#define MINIMUM_OBSTRUCTION_ANGLE 8192
#define OVERKILL_RATIO 98304 // 1.5
#define SCORING_DISTANCE_CUTOFF 10240
#define ANTI_MISSILE_BONUS 1024

enum
{
	_spatial_group_in_supergroup_bit,
	NUMBER_OF_SPATIAL_GROUP_FLAGS,

	_spatial_group_in_supergroup_flag = FLAG(_spatial_group_in_supergroup_bit)
};

#pragma pack(push, 2)
struct spatial_group
{
	uint16 flags;
	int16 team_index;
	int16 monster_type; // unit-kind definition index
	int16 monster_count;
	world_point2d center;
	short_world_distance radius; // a half-box, not a true radius
	angle facing;
	int16 power;
	short_world_distance range;
	world_vector2d velocity;
	int16 attacker_power; // filled by the attack AI
	int16 unused;
	fixed power_ratio; // filled by the attack AI
	int32 next_group; // offsets into the groups buffer
	int32 first_attacker; // offset into the attack AI's buffer
	int32 owner_supergroup;
	// then monster_count unit indexes
};

struct spatial_supergroup
{
	int16 team_index;
	int16 monster_index; // first unit of its seed group
	world_point2d center;
	short_world_distance radius;
	angle facing;
	int16 power;
	int16 monster_count;
	short_world_distance range;
	int16 unused;
	world_vector2d velocity;
	int32 next;
};
#pragma pack(pop)
STORED_SIZE(spatial_group, 48);
STORED_SIZE(spatial_supergroup, 32);

void initialize_spatial_groups(void);
void initialize_spatial_groups_for_new_map(void);
void dispose_spatial_groups_from_old_map(void);
// A scheduler pass's groups: built at once when the last pass's were read or
// when they might overflow the buffer (so the pass logs its lines), else
// noted (below). Either way they equal a build at the call.
void build_spatial_groups(void);
// Notes what a build reads; the groups are built from the note when first
// read. False when the note could not hold it (nothing is built then).
bool note_spatial_groups(void);
// Whether the last note's groups are still to be built.
bool spatial_groups_pending(void);
// Builds at once from the units as they are now.
void build_spatial_groups_from_live_units(void);
// Counts the builds and notes: groups of a later count hold no attackers yet.
uint32 spatial_groups_build_count(void);

// Heads and links of the two lists; NULL at the end. Valid until the next build.
spatial_group *first_spatial_group(void);
spatial_group *next_spatial_group(const spatial_group *group);
spatial_supergroup *first_spatial_supergroup(void);
spatial_supergroup *next_spatial_supergroup(const spatial_supergroup *supergroup);
spatial_supergroup *spatial_group_owner_supergroup(const spatial_group *group);
// The group's unit indexes (2-byte aligned).
int16 *spatial_group_monster_indexes(spatial_group *group);
int16 spatial_group_monster_index(const spatial_group *group, int16 member);

// The first group standing between the point and the group, or NULL.
spatial_group *obstructing_group(world_point2d point, const spatial_group *group, int16 team_index);

void spatial_groups_fold_digest(zerv_digest *digest);

#endif
