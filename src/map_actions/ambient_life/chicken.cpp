// 'chic': a chicken pecks about its home and runs from any other kind of unit.
#include "map_actions/ambient_life/ambient_life_procs.h"

#include "monster_ambient_life.h"
#include "monsters.h"
#include "objects.h"
#include "world.h"

namespace
{
	const world_distance FLEE_RADIUS_LOWER_BOUND = 1536;
	const world_distance FLEE_RADIUS_DELTA = 3072;
	const world_distance WANDER_RADIUS_LOWER_BOUND = 0;
	const world_distance WANDER_RADIUS_DELTA = 2560;
	const int16 THREAT_SCAN_WIDTH = 3;
	const int32 TICKS_BETWEEN_MOVEMENT_DELTA = 150;
}

uint32 chicken_action_proc(int16 action_index)
{
	int16 subjects[MAXIMUM_AMBIENT_LIFE_SUBJECTS];
	const int16 count = get_ambient_life_subjects(action_index, _ambient_life_chicken, subjects);
	for (int16 i = 0; i < count; ++i)
	{
		const int16 monster_index = subjects[i];
		chicken_action_data *data =
			static_cast<chicken_action_data *>(get_monster_ambient_life_record(monster_index, _ambient_life_chicken));
		const int16 threat = find_ambient_life_threat(monster_index, THREAT_SCAN_WIDTH, FALSE, FALSE);
		boolean moving = FALSE;
		world_point2d destination = data->original_position;
		if (threat != NONE)
		{
			const world_point2d from = get_monster_position2d(threat);
			const world_point2d position = get_monster_position2d(monster_index);
			const world_distance distance = FLEE_RADIUS_LOWER_BOUND + zerv_random_below(FLEE_RADIUS_DELTA);
			const angle away = arctangent(position.x - from.x, position.y - from.y);
			destination = offset_point2d(data->original_position, distance, away);
			moving = TRUE;
		}
		if (data->ticks_until_next_movement < 1)
		{
			// Replaces a flee order of the same trigger.
			destination = random_point_around(data->original_position, WANDER_RADIUS_LOWER_BOUND, WANDER_RADIUS_DELTA);
			moving = TRUE;
		}
		else
		{
			data->ticks_until_next_movement -= 30;
		}
		if (!moving) continue;
		order_monster_to(monster_index, destination, 0);
		data->ticks_until_next_movement =
			movement_countdown(monster_index, destination) + zerv_random_below(TICKS_BETWEEN_MOVEMENT_DELTA);
	}
	return 0;
}
