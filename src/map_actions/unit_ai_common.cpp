#include "map_actions/unit_ai_action_procs.h"

#include "monster_commands.h"
#include "monsters.h"
#include "objects.h"

world_point2d unit_ai_location(const monster_data *monster)
{
	const object_data *object = monster ? get_object_data(monster->object_index) : nullptr;
	if (!object) return world_point2d{0, 0};
	return world_point2d{object->location.position.x, object->location.position.y};
}

int32 unit_ai_octagonal_distance(world_point2d a, world_point2d b)
{
	int64 dx = static_cast<int64>(a.x) - b.x, dy = static_cast<int64>(a.y) - b.y;
	if (dx < 0) dx = -dx;
	if (dy < 0) dy = -dy;
	const int64 d = dx > dy ? dx + (dy >> 1) : dy + (dx >> 1);
	return d > INT32_MAX ? INT32_MAX : static_cast<int32>(d);
}

monster_data *unit_ai_living_unit(int16 monster_index, int16 monster_identifier)
{
	if (monster_index < 0 || monster_identifier == 0) return nullptr;
	return get_monster_data_by_identifier(monster_index, monster_identifier);
}

void unit_ai_move(int16 command_identifier, int16 monster_index, world_point2d destination, uint16 flags,
	angle final_facing)
{
	command_movement_data data = {};
	data.flags = flags;
	data.formation_index = 0;
	data.final_facing = final_facing;
	handle_movement_command(command_identifier, &data, 1, &monster_index, 1, &destination);
}
