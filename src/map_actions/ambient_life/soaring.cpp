// 'soar': a bird flies between random points of the map, now gliding, now
// flapping.
#include "map_actions/ambient_life/ambient_life_procs.h"

#include "mesh.h"
#include "monster_ambient_life.h"
#include "monsters.h"
#include "objects.h"
#include "world.h"

namespace
{
	const int32 GLIDE_TIME_LOWER_BOUND = 90;
	const int32 GLIDE_TIME_DELTA = 30;
	const int32 FLAP_TIME_LOWER_BOUND = 90;
	const int32 FLAP_TIME_DELTA = 30;
}

uint32 soaring_action_proc(int16 action_index)
{
	int16 subjects[MAXIMUM_AMBIENT_LIFE_SUBJECTS];
	const int16 count = get_ambient_life_subjects(action_index, _ambient_life_soaring, subjects);
	for (int16 i = 0; i < count; ++i)
	{
		const int16 monster_index = subjects[i];
		soaring_action_data *data =
			static_cast<soaring_action_data *>(get_monster_ambient_life_record(monster_index, _ambient_life_soaring));
		const monster_data *monster = get_monster_data(monster_index);

		if (data->ticks_until_glide_transition > 0)
		{
			data->ticks_until_glide_transition -= 30;
		}
		else if (monster->action_permutation != _monster_action_permutation_gliding)
		{
			set_monster_movement_animation(monster_index, _monster_action_permutation_gliding);
			data->ticks_until_glide_transition = GLIDE_TIME_LOWER_BOUND + zerv_random_below(GLIDE_TIME_DELTA);
		}
		else
		{
			set_monster_movement_animation(monster_index, _monster_action_permutation_walking);
			data->ticks_until_glide_transition = FLAP_TIME_LOWER_BOUND + zerv_random_below(FLAP_TIME_DELTA);
		}

		const object_data *object = get_object_data(monster->object_index);
		const boolean under_way = monster->action == _monster_action_moving && object &&
			(object->location.velocity.i != 0 || object->location.velocity.j != 0);
		if (under_way && data->ticks_until_next_movement >= 1)
		{
			data->ticks_until_next_movement -= 30;
			continue;
		}
		data->ticks_until_next_movement = 0;

		const int32 width = mesh_globals ? mesh_globals->mesh_width : 1;
		const int32 height = mesh_globals ? mesh_globals->mesh_height : 1;
		world_point2d destination;
		destination.x = zerv_random_below(width - 1) * WORLD_ONE;
		destination.x += zerv_random_below(WORLD_ONE - 1);
		destination.y = zerv_random_below(height - 1) * WORLD_ONE;
		destination.y += zerv_random_below(WORLD_ONE - 1);
		order_monster_to(monster_index, destination, 0);
		data->ticks_until_next_movement = movement_countdown(monster_index, destination);
	}
	return 0;
}
