// 'miss': steps the mission text.
#include "interface.h"
#include "map_actions/general_action_procs.h"
#include "map_actions/map_action_accessors.h"

uint32 mission_action_proc(int16 action_index)
{
	if (map_action_has_flag(action_index, TAG("adva"))) advance_mission(1);
	return _map_action_proc_succeeded_flag;
}
