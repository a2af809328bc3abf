// 'wand': every unit walks to its own random point in a circle.
#include "map_actions/group_ai_action_procs.h"

#include "map_actions/map_action_accessors.h"
#include "map_actions/subject_lists.h"
#include "world.h"

uint32 wander_action_proc(int16 action_index)
{
	int16 indexes[MAXIMUM_MONSTERS_PER_COMMAND];
	// 126 in every play version.
	const int16 count = get_subject_monster_indexes(action_index, TAG("subj"), MAXIMUM_MONSTERS_PER_COMMAND, indexes);
	if (count < 1) return 0;
	world_point2d center;
	if (!get_indexed_world_point2d_parameter(action_index, TAG("cent"), &center, 0))
	{
		map_action_debug(action_index, "missing centerpoint");
		return 0;
	}
	world_distance radius;
	if (!get_indexed_long_integer_parameter(action_index, TAG("radi"), _parameter_world_distance, &radius, 0))
	{
		map_action_debug(action_index, "no random radius");
		return 0;
	}
	const int16 identifier = get_map_action_identifier(action_index);
	for (int16 i = 0; i < count; ++i)
	{
		const angle direction = zerv_random();
		const uint16 draw = zerv_random();
		// A radius below 1 still draws, to keep the stream's order, and stays put.
		const int32 distance = radius > 0 ? draw % radius : 0;
		group_ai::move_monsters(identifier, 0, 0, 0, &indexes[i], 1, group_ai::offset_point(center, distance, direction));
	}
	return _map_action_proc_succeeded_flag;
}
