// 'plyc': tests the number of teams and of human players.
#include "map_actions/general_action_procs.h"
#include "map_actions/map_action_accessors.h"
#include "players.h"
#include "zerv.h"

// The comparisons '_=', '_<' and '_>' that are present; false when one fails.
static boolean compare_count(int16 action_index, const field_tag names[3], int32 count, boolean *any)
{
	int32 value;
	if (get_map_action_integer(action_index, names[0], &value))
	{
		*any = TRUE;
		if (!(count == value)) return FALSE;
	}
	if (get_map_action_integer(action_index, names[1], &value))
	{
		*any = TRUE;
		if (!(count < value)) return FALSE;
	}
	if (get_map_action_integer(action_index, names[2], &value))
	{
		*any = TRUE;
		if (!(count > value)) return FALSE;
	}
	return TRUE;
}

uint32 player_count_action_proc(int16 action_index)
{
	static const field_tag team_tests[3] = {TAG("tc_="), TAG("tc_<"), TAG("tc_>")};
	static const field_tag player_tests[3] = {TAG("pc_="), TAG("pc_<"), TAG("pc_>")};
	boolean any = FALSE;
	if (!compare_count(action_index, team_tests, get_team_count(), &any)) return 0;

	any = FALSE;
	int32 ignored;
	for (const field_tag name : player_tests) any = any || get_map_action_integer(action_index, name, &ignored);
	if (!any) return _map_action_proc_succeeded_flag;

	int32 team;
	const boolean by_team = game_play_version >= 1511 && get_map_action_integer(action_index, TAG("team"), &team);
	int32 humans = 0;
	for (int16 i = 0; i < get_player_count(); ++i)
	{
		const player_data *player = get_player_data(i);
		if (!player || player->type != _player_is_human) continue;
		if (by_team && player->team_index != team) continue;
		humans += 1;
	}
	return compare_count(action_index, player_tests, humans, &any) ? _map_action_proc_succeeded_flag : 0;
}
