// No local projectile groups exist yet; the restore step is counted.
#include "local_projectiles.h"

#include "world_units.h"

static local_projectiles_test_hooks_data local_projectiles_test_hooks;

void initialize_local_projectiles(void) {}
void initialize_local_projectiles_for_new_map(void) {}
void dispose_local_projectiles_from_old_map(void) {}

void saved_game_update_local_projectile_groups(int32 ticks)
{
	local_projectiles_test_hooks.saved_game_update_count += 1;
	local_projectiles_test_hooks.last_saved_game_update_ticks = ticks;
}

int16 new_local_projectile_group(int16, const world_point3d *, int16)
{
	local_projectiles_test_hooks.new_group_calls += 1;
	return NONE;
}

void turn_local_projectile_group_off(int16)
{
	local_projectiles_test_hooks.turn_off_calls += 1;
}

void set_local_projectile_group_central_object(int16, int16, int16)
{
	local_projectiles_test_hooks.central_object_calls += 1;
}

int16 create_stationary_projectile(int16, const world_point3d *)
{
	return NONE;
}

int16 local_projectile_group_definition_tag_to_index(file_tag)
{
	return NONE;
}

local_projectiles_test_hooks_data *get_local_projectiles_test_hooks(void)
{
	return &local_projectiles_test_hooks;
}

void reset_local_projectiles_test_hooks(void)
{
	local_projectiles_test_hooks = {};
}
