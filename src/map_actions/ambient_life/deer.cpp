// 'deer': deer graze about a home point, the herd retreats from any unit in
// sight, and a wounded deer bolts away from its attacker.
#include "map_actions/ambient_life/ambient_life_procs.h"

#include "commands.h"
#include "monster_ambient_life.h"
#include "monster_commands.h"
#include "monsters.h"
#include "objects.h"
#include "world.h"

namespace
{
	const world_distance WANDER_RADIUS_LOWER_BOUND = 512;
	const world_distance WANDER_RADIUS_DELTA = 2560;
	const int16 THREAT_SCAN_WIDTH = 6;
	const int32 GRAZING_TIME_LOWER_BOUND = 600;
	const int32 GRAZING_TIME_DELTA = 600;
	const int32 RETREATING_TIME_LOWER_BOUND = 150;
	const int32 RETREATING_TIME_DELTA = 60;
	const world_distance RETREAT_FROM_ATTACKER_RADIUS = 7680;
}

uint32 deer_action_proc(int16 action_index)
{
	int16 subjects[MAXIMUM_AMBIENT_LIFE_SUBJECTS];
	const int16 count = get_ambient_life_subjects(action_index, _ambient_life_deer, subjects);
	for (int16 i = 0; i < count; ++i)
	{
		const int16 monster_index = subjects[i];
		deer_action_data *data =
			static_cast<deer_action_data *>(get_monster_ambient_life_record(monster_index, _ambient_life_deer));
		monster_data *monster = get_monster_data(monster_index);
		const object_data *object = get_object_data(monster->object_index);

		if (find_ambient_life_threat(monster_index, THREAT_SCAN_WIDTH, TRUE, TRUE) != NONE)
		{
			const command_general_data retreat = {0, _command_general_retreat};
			handle_general_command(-2, &retreat, count, subjects);
			data->ticks_until_next_movement = RETREATING_TIME_LOWER_BOUND + zerv_random_below(RETREATING_TIME_DELTA);
			set_monster_movement_animation(monster_index, _monster_action_permutation_running);
			data->flags |= _deer_was_previously_retreating_flag;
		}

		if (object && object->vitality < data->last_vitality)
		{
			if (get_monster_data(monster->aggressor_monster_index))
			{
				const world_point2d from = get_monster_position2d(monster->aggressor_monster_index);
				const world_point2d position = get_monster_position2d(monster_index);
				const angle away = arctangent(position.x - from.x, position.y - from.y);
				order_monster_to(monster_index, offset_point2d(data->original_position, RETREAT_FROM_ATTACKER_RADIUS, away),
					_command_movement_run_flag);
				data->flags |= _deer_was_previously_retreating_flag;
				data->ticks_until_next_movement = RETREATING_TIME_LOWER_BOUND + zerv_random_below(RETREATING_TIME_DELTA);
			}
			data->last_vitality = object->vitality;
		}

		if (data->ticks_until_next_movement > 0)
		{
			data->ticks_until_next_movement -= 30;
			continue;
		}

		if (data->flags & _deer_was_previously_retreating_flag)
		{
			data->original_position = get_monster_position2d(monster_index);
			data->flags &= ~static_cast<uint32>(_deer_was_previously_retreating_flag);
		}
		const world_point2d destination =
			random_point_around(data->original_position, WANDER_RADIUS_LOWER_BOUND, WANDER_RADIUS_DELTA);
		order_monster_to(monster_index, destination, 0);
		set_monster_movement_animation(monster_index, _monster_action_permutation_walking);
		data->ticks_until_next_movement = movement_countdown(monster_index, destination) + GRAZING_TIME_LOWER_BOUND +
			zerv_random_below(GRAZING_TIME_DELTA);
	}
	return 0;
}
