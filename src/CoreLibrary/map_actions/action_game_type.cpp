// 'ngty': tests the scoring type, a team's lead and the game's minor version.
#include "game_statistics.h"
#include "map_actions/general_action_procs.h"
#include "map_actions/map_action_accessors.h"
#include "players.h"
#include "zerv.h"

uint32 game_type_action_proc(int16 action_index)
{
	int32 types[MAXIMUM_DESIRED_SCORING_TYPES];
	const int32 type_count = get_combined_map_action_parameter(action_index, TAG("type"), _parameter_integer, types,
		MAXIMUM_DESIRED_SCORING_TYPES);
	boolean holds = type_count == 0;
	for (int32 i = 0; i < type_count; ++i) holds = holds || types[i] == game->scoring;

	int32 team;
	if (get_map_action_integer(action_index, TAG("team"), &team))
	{
		int32 minimum_score = 0;
		get_map_action_integer(action_index, TAG("scor"), &minimum_score);
		const boolean ties = map_action_has_flag(action_index, TAG("ties"));
		const team_ranking_data *rankings = get_team_rankings();
		holds = FALSE;
		for (int16 i = 0; i < get_team_count(); ++i)
		{
			if (rankings[i].place != 0) continue;
			if (rankings[i].team_index != team)
			{
				if (ties) continue;
				holds = FALSE;
				break;
			}
			holds = rankings[i].score >= minimum_score;
		}
	}

	int32 minor_version;
	if (get_map_action_integer(action_index, TAG("patc"), &minor_version))
	{
		holds = holds && get_current_game_minor_version() >= minor_version;
	}
	return holds ? _map_action_proc_succeeded_flag : 0;
}
