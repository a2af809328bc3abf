#include "map_actions/action_proc_values.h"

#include "map_actions/map_action_accessors.h"
#include "map_actions/map_actions.h"
#include "mesh.h"
#include "monsters.h"
#include "objects.h"

bool map_action_value_flag(int16 action_index, field_tag field_name, int32 *value)
{
	map_action_parameter parameter;
	if (!get_map_action_parameter(&parameter, action_index, 0, field_name, _parameter_flag) || parameter.count < 1)
		return false;
	const uint8 *data = static_cast<const uint8 *>(extract_parameter_array_address(&parameter));
	*value = data && data[0] ? 1 : 0;
	return true;
}

int32 clamp_to_int32(int64 value, int64 low, int64 high)
{
	return static_cast<int32>(value < low ? low : value > high ? high : value);
}

world_point2d clamp_point_to_map(world_point2d p)
{
	if (mesh_globals && mesh_globals->mesh_cells)
	{
		p.x = clamp_to_int32(p.x, 0, static_cast<int64>(mesh_globals->mesh_width) * 512 - 1);
		p.y = clamp_to_int32(p.y, 0, static_cast<int64>(mesh_globals->mesh_height) * 512 - 1);
	}
	return p;
}

void move_object_to_point(int16 object_index, world_point2d p)
{
	object_data *object = get_object_data(object_index);
	if (!object) return;
	p = clamp_point_to_map(p);
	disconnect_object_from_mesh(object_index);
	object->location.position.x = p.x;
	object->location.position.y = p.y;
	object->location.position.z = get_mesh_height(&p, _land_height);
	reconnect_object_to_mesh(object_index);
	if (object->owner == _object_is_monster) monster_carried_by_script(object->owner_index);
}
