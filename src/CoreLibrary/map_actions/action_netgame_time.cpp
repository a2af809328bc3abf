// 'plan': tests the game's time state and the time remaining.
#include "map_actions/general_action_procs.h"
#include "map_actions/map_action_accessors.h"
#include "zerv.h"

uint32 netgame_time_action_proc(int16 action_index)
{
	boolean holds = TRUE;
	if (map_action_has_flag(action_index, TAG("plan"))) holds = game->time_state != _game_time_pregame;
	if (map_action_has_flag(action_index, TAG("deth"))) holds = holds && game->time_state == _game_time_suspended_ending;
	if (map_action_has_flag(action_index, TAG("over"))) holds = holds && game->time_state == _game_time_ending;
	int32 seconds;
	if (get_map_action_integer(action_index, TAG("time"), &seconds) &&
		static_cast<int64>(game->time_remaining) > static_cast<int64>(seconds) * 30)
	{
		return 0;
	}
	return holds ? _map_action_proc_succeeded_flag : 0;
}
