// 'endg': ends the game with a verdict for the light or the dark team.
#include "map_actions/map_actions.h"
#include "players.h"
#include "test_hooks.h"
#include "zerv.h"

// Slots for the modules this procedure reaches; each is empty until its
// module exists.

// Re-ranks the teams at once (scoring).
static void endgame_force_player_statistics_update(void)
{
	service_trace("force_player_statistics_update");
}

// Every live unit of the team gets _monster_has_celebrated_flag (units).
static void endgame_mark_team_as_celebrated(int16 team_index)
{
	service_trace("mark_team_monsters_as_celebrated");
	map_actions_test_hooks_data *hooks = get_map_actions_test_hooks();
	hooks->celebration_count += 1;
	hooks->last_celebrating_team = team_index;
}

static boolean endgame_flag(int16 action_index, const char (&name)[5])
{
	return get_map_action_parameter(nullptr, action_index, _return_empty_arrays_flag, TAG(name), _parameter_flag);
}

uint32 endgame_action_proc(int16 action_index)
{
	// The light team's victory, once recorded, is final.
	if (game->winning_team_index == _light_team_index) return 0;

	const boolean light = endgame_flag(action_index, "ligh");
	game->winning_team_index = light ? _light_team_index : _dark_team_index;
	endgame_force_player_statistics_update();
	end_game(TRUE);
	if (light)
	{
		// Written after end_game, whose defeat (3) it overrides.
		game->endgame_state = endgame_flag(action_index, "fail") ? _endgame_state_alternate_victory : _endgame_state_victory;
	}
	if (endgame_flag(action_index, "noce"))
	{
		endgame_mark_team_as_celebrated(game->winning_team_index);
	}
	map_action_debug(action_index, "team %d victory (endgame_state==#%d", game->winning_team_index, game->endgame_state);
	return 0;
}
