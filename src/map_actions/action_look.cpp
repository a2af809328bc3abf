// 'look': succeeds once an enemy cluster has the group within its range.
#include "map_actions/group_ai_action_procs.h"

#include "map_actions/subject_lists.h"
#include "monsters.h"
#include "spatial_groups.h"
#include "world.h"

uint32 look_action_proc(int16 action_index)
{
	int16 indexes[MAXIMUM_SUBJECT_MONSTERS];
	const int16 count = get_subject_monster_indexes(action_index, TAG("subj"), MAXIMUM_SUBJECT_MONSTERS, indexes);
	if (count < 1) return _map_action_proc_succeeded_flag;
	world_point2d center;
	const world_distance extent = get_centerpoint_of_monster_indexes(count, indexes, &center);
	const int16 team = group_ai::list_team(indexes, count);
	for (const spatial_group *group = first_spatial_group(); group; group = next_spatial_group(group))
	{
		if (!group_ai::is_enemy_group(group, team)) continue;
		const world_point2d group_center = group->center;
		const int32 reach = group->radius + group->range + extent;
		if (group_ai::distance2d_lower_bound(center, group_center) >= reach) continue;
		if (distance2d(&center, &group_center) - group->radius - group->range - extent < 0)
		{
			return _map_action_proc_succeeded_flag;
		}
	}
	return 0;
}
