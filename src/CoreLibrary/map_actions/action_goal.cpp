// 'goal': registers a goal area for a team.
#include "flags.h"
#include "map_actions/general_action_procs.h"
#include "map_actions/map_action_accessors.h"

uint32 goal_action_proc(int16 action_index)
{
	int32 team;
	map_action_parameter polygon;
	if (!get_map_action_integer(action_index, TAG("team"), &team) ||
		!get_map_action_parameter(&polygon, action_index, 0, TAG("poly"), _parameter_world_point2d))
	{
		return 0;
	}
	new_goal(static_cast<int16>(team), polygon.count,
		static_cast<const world_point2d *>(extract_parameter_array_address(&polygon)));
	return 0;
}
