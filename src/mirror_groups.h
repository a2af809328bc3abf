// Mirror groups: the particles of one shared local projectile group shown
// again elsewhere, with their own fade-in, lifetime and fade-out. Their life
// runs on the game tick (its end puts a fire out); drawing is render time.
#ifndef MIRROR_GROUPS_H
#define MIRROR_GROUPS_H

#include "cseries.h"
#include "world_units.h"
#include "data.h"

#define MAXIMUM_MIRROR_GROUPS_PER_MAP 256
#define MAXIMUM_STAINS_PER_MIRROR_GROUP 7

enum // mirror states
{
	_mirror_state_starting_up,
	_mirror_state_running,
	_mirror_state_ending
};

// A mirror is simulation state: its life and its end hang on its own fields
// and on the parent's definition and flags it was made with, never on the
// parent group itself, which is drawing state (absent where the local module
// is off or its array was full).
struct mirror_group_data
{
	int16 identifier;
	int16 parent_projectile_group_index; // drawing only: NONE when this machine has no such group
	world_point3d center;
	int32 duration; // -1 runs until turned off
	int16 startup_transition_time;
	int16 ending_transition_time;
	int16 stains_left; // written at render time: never digested
	fixed_fraction opacity;
	int16 state;
	int16 transition_ticks_elapsed;
	int16 parent_type; // the parent's group definition
	uint16 parent_flags; // the parent's group flags (_group_is_internal_fire_group_flag puts a fire out)
};

struct new_mirror_group_data
{
	int16 parent_projectile_group_index; // the shared group shown, NONE where it could not be made
	world_point3d center;
	int32 duration;
	int16 startup_transition_time, ending_transition_time;
	int16 parent_type; // the group definition the parent was made of
	uint16 parent_flags; // the group flags the parent was made with
};

extern datum_globals mirror_group_array; // "mirror groups"

void initialize_mirror_groups(void);
void initialize_mirror_groups_for_new_map(void);
void dispose_mirror_groups_from_old_map(void);
// NONE when the array is full, or the request names no loaded group
// definition or no shared (never visible) parent. A parent group this machine
// does not hold, or holds otherwise, only leaves the mirror nothing to draw.
int16 new_mirror_group(const new_mirror_group_data *data);
void turn_mirror_group_off(int16 mirror_index);
// offset: the new particle's place relative to its group's centre.
void handle_new_mirrored_projectile(int16 group_index, const world_point3d *offset);
// The group is going: its mirrors lose their particles but live on, since
// their lives are the simulation's.
void delete_mirrors_for_projectile_group(int16 group_index);
void update_mirror_groups(void);
struct view_data;
struct mesh_region;
void build_mirror_groups_surface_list(view_data *view, mesh_region *region);
mirror_group_data *get_mirror_group_data(int16 mirror_index);

struct zerv_digest;
void fold_mirror_groups_digest(zerv_digest *digest);

#endif
