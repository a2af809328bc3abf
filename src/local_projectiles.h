// Local projectiles: visual-only particles in groups, advanced at render time.
#ifndef LOCAL_PROJECTILES_H
#define LOCAL_PROJECTILES_H

#include "cseries.h"

#define LOCAL_PROJECTILE_GROUP_DEFINITION_GROUP_TAG TAG("lpgr")
#define LOCAL_PHYSICS_DEFINITION_GROUP_TAG TAG("phys")

void initialize_local_projectiles(void);
void initialize_local_projectiles_for_new_map(void);
void dispose_local_projectiles_from_old_map(void);
// Advances every group once by ticks after a saved game has been restored.
void saved_game_update_local_projectile_groups(int32 ticks);
struct view_data;
struct mesh_region;
void build_local_projectiles_surface_list(view_data *view, mesh_region *region);

// A visual group at a point, in the owner object's colours; NONE when none starts.
int16 new_local_projectile_group(int16 type, const struct world_point3d *origin, int16 owner_object_index);
// Detaches the group from its unit and lets it end.
void turn_local_projectile_group_off(int16 group_index);
// Keeps the group centred on the object while its identifier matches.
void set_local_projectile_group_central_object(int16 group_index, int16 object_index, int16 object_identifier);
// A particle of the group standing at a point; NONE when none is made.
int16 create_stationary_projectile(int16 group_index, const struct world_point3d *location);
// NONE until local groups load.
int16 local_projectile_group_definition_tag_to_index(file_tag tag);

// Test hooks.
struct local_projectiles_test_hooks_data
{
	int32 saved_game_update_count;
	int32 last_saved_game_update_ticks;
	int32 new_group_calls;
	int32 turn_off_calls;
	int32 central_object_calls;
};

local_projectiles_test_hooks_data *get_local_projectiles_test_hooks(void);
void reset_local_projectiles_test_hooks(void);

#endif
