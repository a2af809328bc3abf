#include "map_actions/ambient_life/ambient_life_procs.h"

#include "commands.h"
#include "mesh.h"
#include "monster_ambient_life.h"
#include "monster_commands.h"
#include "monster_definitions.h"
#include "monsters.h"
#include "objects.h"
#include "map_actions/subject_lists.h"
#include "world.h"
#include "zerv.h"

#define AMBIENT_LIFE_COMMAND_IDENTIFIER (-2)

int16 get_ambient_life_subjects(int16 action_index, int16 kind, int16 *indexes)
{
	const int16 cap = game_play_version == 1300 ? MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND_13 : MAXIMUM_AMBIENT_LIFE_SUBJECTS;
	int16 found[MAXIMUM_AMBIENT_LIFE_SUBJECTS];
	const int16 count = get_subject_monster_indexes(action_index, TAG("subj"), cap, found);
	int16 kept = 0;
	for (int16 i = 0; i < count; ++i)
	{
		const int16 monster_index = found[i];
		const monster_data *monster = get_monster_data(monster_index);
		if (!monster || monster->action == _monster_action_paralyzed) continue;
		if (game_play_version >= 1511 && (monster->action == _monster_action_being_healed ||
			monster->action == _monster_action_being_held || monster->action == _monster_action_stoned))
		{
			continue;
		}
		if (game_play_version >= 1696 && (monster->flags & _monster_has_left_the_mesh_flag)) continue;
		// A record of another kind would be read past its end.
		if (!get_monster_ambient_life_record(monster_index, kind)) continue;
		indexes[kept++] = monster_index;
	}
	return kept;
}

world_point2d get_monster_position2d(int16 monster_index)
{
	const monster_data *monster = get_monster_data(monster_index);
	const object_data *object = monster ? get_object_data(monster->object_index) : nullptr;
	world_point2d point = {0, 0};
	if (object) point = {object->location.position.x, object->location.position.y};
	return point;
}

world_point2d clamp_point_to_mesh(world_point2d point)
{
	const int32 width = mesh_globals ? mesh_globals->mesh_width : 0;
	const int32 height = mesh_globals ? mesh_globals->mesh_height : 0;
	point.x = PIN(point.x, 0, MAX(width * WORLD_ONE - 1, 0));
	point.y = PIN(point.y, 0, MAX(height * WORLD_ONE - 1, 0));
	return point;
}

world_point2d offset_point2d(world_point2d origin, world_distance distance, angle direction)
{
	origin.x += (distance * angle_cosine(direction)) >> TRIG_SHIFT;
	origin.y += (distance * angle_sine(direction)) >> TRIG_SHIFT;
	return origin;
}

world_point2d random_point_around(world_point2d origin, world_distance lower_bound, world_distance delta)
{
	const world_distance distance = lower_bound + zerv_random_below(delta);
	const angle direction = static_cast<angle>(zerv_random());
	return offset_point2d(origin, distance, direction);
}

void order_monster_to(int16 monster_index, world_point2d destination, uint16 movement_flags)
{
	command_movement_data data = {};
	data.flags = movement_flags;
	destination = clamp_point_to_mesh(destination);
	handle_movement_command(AMBIENT_LIFE_COMMAND_IDENTIFIER, &data, 1, &monster_index, 1, &destination);
}

int32 movement_countdown(int16 monster_index, world_point2d destination)
{
	const monster_data *monster = get_monster_data(monster_index);
	if (!monster || monster->base_movement_speed <= 0) return -60;
	const world_point2d position = get_monster_position2d(monster_index);
	destination = clamp_point_to_mesh(destination);
	return distance2d(&position, &destination) / monster->base_movement_speed - 60;
}

int16 find_ambient_life_threat(int16 monster_index, int16 radius, boolean first_found, boolean skip_ambient)
{
	const monster_data *self = get_monster_data(monster_index);
	if (!self || !mesh_globals || !mesh_globals->mesh_cells) return NONE;
	const world_point2d position = get_monster_position2d(monster_index);
	const int32 cell_x = position.x / WORLD_ONE, cell_y = position.y / WORLD_ONE;
	const int32 x0 = MAX(cell_x - radius, 0), x1 = MIN(cell_x + radius, mesh_globals->mesh_width - 1);
	const int32 y0 = MAX(cell_y - radius, 0), y1 = MIN(cell_y + radius, mesh_globals->mesh_height - 1);
	int16 nearest = NONE;
	int64 nearest_distance = 0;
	for (int32 y = y0; y <= y1; ++y)
	{
		for (int32 x = x0; x <= x1; ++x)
		{
			const mesh_cell *cell = get_mesh_cell(x, y);
			int16 guard = 0;
			for (int16 object_index = cell->first_object_index; object_index != NONE && guard < MAXIMUM_OBJECTS_PER_MAP;
				++guard)
			{
				const object_data *object = get_object_data(object_index);
				if (!object) break;
				const int16 next = object->next_object_index;
				if (object->owner == _object_is_monster && !(object->flags & _object_is_invisible_flag))
				{
					const int16 other_index = object->owner_index;
					const monster_data *other = get_monster_data(other_index);
					if (other && other_index != monster_index && other->unit_type != self->unit_type &&
						!(other->extra_flags & _monster_is_invisible_extra_flag) &&
						!(skip_ambient && get_monster_class(other_index) == _monster_class_ambient_life))
					{
						if (first_found) return other_index;
						const int64 dx = object->location.position.x - position.x;
						const int64 dy = object->location.position.y - position.y;
						const int64 d = dx * dx + dy * dy;
						if (nearest == NONE || d < nearest_distance)
						{
							nearest = other_index;
							nearest_distance = d;
						}
					}
				}
				object_index = next;
			}
		}
	}
	return nearest;
}
