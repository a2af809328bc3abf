// 'rout': every unit runs to the destination point nearest it.
#include "map_actions/group_ai_action_procs.h"

#include "map_actions/map_action_accessors.h"
#include "map_actions/subject_lists.h"
#include "monsters.h"
#include "world.h"

#define MAXIMUM_ROUT_DESTINATIONS 64

uint32 rout_action_proc(int16 action_index)
{
	int16 indexes[MAXIMUM_SUBJECT_MONSTERS];
	int16 count = get_subject_monster_indexes(action_index, TAG("subj"), MAXIMUM_SUBJECT_MONSTERS, indexes);
	count = remove_monster_indexes_under_user_control(indexes, count);
	if (count < 1) return _map_action_proc_succeeded_flag | _map_action_proc_deactivate_flag;
	world_point2d destinations[MAXIMUM_ROUT_DESTINATIONS + 1];
	int32 destination_count = get_combined_map_action_parameter(action_index, TAG("dest"),
		_parameter_world_point2d, destinations, MAXIMUM_ROUT_DESTINATIONS + 1);
	if (destination_count > MAXIMUM_ROUT_DESTINATIONS)
	{
		map_action_error(action_index, "more than %d destinations: the rest are ignored", MAXIMUM_ROUT_DESTINATIONS);
		destination_count = MAXIMUM_ROUT_DESTINATIONS;
	}
	if (destination_count < 1)
	{
		map_action_debug(action_index, "missing or invalid destination field");
		return 0;
	}
	const int16 identifier = get_map_action_identifier(action_index);
	for (int16 i = 0; i < count; ++i)
	{
		const world_point2d location = group_ai::monster_location(indexes[i]);
		int32 best = 0, best_distance = 0;
		for (int32 k = 0; k < destination_count; ++k)
		{
			const int32 d = distance2d(&location, &destinations[k]);
			if (k == 0 || d < best_distance)
			{
				best = k;
				best_distance = d;
			}
		}
		group_ai::move_monsters(identifier, 0, 0, 0, &indexes[i], 1, destinations[best]);
	}
	return 0;
}
