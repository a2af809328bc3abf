// Unit movement is not built yet: units neither move nor strike anything,
// a path request is only cleared and the path destination is where the unit
// stands. Nothing here draws from the synchronised stream.
#include "monsters.h"

#include "objects.h"
#include "path.h"

void monster_needs_new_path(int16 monster_index)
{
	get_monsters_test_hooks()->monster_needs_new_path_calls += 1;
	monster_data *monster = get_monster_data(monster_index);
	if (monster) monster->flags &= ~static_cast<uint32>(_monster_needs_new_path_flag);
}

void monster_moving(int16)
{
	get_monsters_test_hooks()->monster_moving_calls += 1;
}

uint32 move_monster_object(int16)
{
	return get_monsters_test_hooks()->move_flags;
}

void calculate_monster_speed(int16) {}

void set_monster_target_location(int16, const world_point3d *, uint16) {}

void set_monster_waypoints(int16, int16, const world_point2d *, uint16, angle) {}

void adjust_path_destination_for_obstacles(int16 monster_index)
{
	monster_data *monster = get_monster_data(monster_index);
	const object_data *object = monster ? get_object_data(monster->object_index) : nullptr;
	if (!object) return;
	monster->path_destination.x = object->location.position.x;
	monster->path_destination.y = object->location.position.y;
}

uint8 build_cell_impassability_flags(uint16, const world_point2d *)
{
	return 0;
}

void update_monster_impassability_for_cell(int32 x, int32 y)
{
	monsters_test_hooks_data *hooks = get_monsters_test_hooks();
	hooks->impassability_updates += 1;
	hooks->last_impassability_x = x;
	hooks->last_impassability_y = y;
}

void update_monster_location_height(int16)
{
	get_monsters_test_hooks()->location_height_updates += 1;
}
