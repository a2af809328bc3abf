// 'endg': ends the game with a verdict for the light or the dark team.
#include "game_statistics.h"
#include "map_actions/general_action_procs.h"
#include "map_actions/map_action_accessors.h"
#include "monsters.h"
#include "players.h"
#include "zerv.h"

uint32 endgame_action_proc(int16 action_index)
{
	// The light team's victory, once recorded, is final.
	if (game->winning_team_index == _light_team_index) return 0;

	const boolean light = map_action_has_flag(action_index, TAG("ligh"));
	game->winning_team_index = light ? _light_team_index : _dark_team_index;
	force_player_statistics_update();
	end_game(TRUE);
	if (light)
	{
		// Written after end_game, whose defeat it overrides.
		game->endgame_state = map_action_has_flag(action_index, TAG("fail")) ? _endgame_state_alternate_victory
																			  : _endgame_state_victory;
	}
	if (map_action_has_flag(action_index, TAG("noce"))) mark_team_monsters_as_celebrated(game->winning_team_index);
	map_action_debug(action_index, "team %d victory (endgame_state==#%d", game->winning_team_index, game->endgame_state);
	return 0;
}
