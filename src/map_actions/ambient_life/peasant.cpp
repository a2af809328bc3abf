// 'peas': a peasant strolls to points well away from home now and then.
#include "map_actions/ambient_life/ambient_life_procs.h"

#include "monster_ambient_life.h"
#include "world.h"

namespace
{
	const world_distance WANDER_RADIUS_LOWER_BOUND = 5120;
	const world_distance WANDER_RADIUS_DELTA = 5120;
	const int32 TICKS_BETWEEN_MOVEMENT_DELTA = 300;
}

uint32 peasant_action_proc(int16 action_index)
{
	int16 subjects[MAXIMUM_AMBIENT_LIFE_SUBJECTS];
	const int16 count = get_ambient_life_subjects(action_index, _ambient_life_peasant, subjects);
	for (int16 i = 0; i < count; ++i)
	{
		const int16 monster_index = subjects[i];
		peasant_action_data *data =
			static_cast<peasant_action_data *>(get_monster_ambient_life_record(monster_index, _ambient_life_peasant));
		if (data->ticks_until_next_movement >= 1)
		{
			data->ticks_until_next_movement -= 30;
			continue;
		}
		const world_point2d destination =
			random_point_around(data->original_position, WANDER_RADIUS_LOWER_BOUND, WANDER_RADIUS_DELTA);
		order_monster_to(monster_index, destination, 0);
		data->ticks_until_next_movement =
			movement_countdown(monster_index, destination) + zerv_random_below(TICKS_BETWEEN_MOVEMENT_DELTA);
	}
	return 0;
}
