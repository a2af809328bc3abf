// Goals and rankings are not kept yet: goals are counted, and the ranking
// table holds whatever tests write into it (every team in first place, no score, by default).
#include "game_statistics.h"
#include "players.h"

static scoring_test_hooks_data scoring_test_hooks = {0, 0, NONE, 0};
static team_ranking_data team_rankings[MAXIMUM_TEAMS_PER_MAP];
static bool team_rankings_set = false;

void force_player_statistics_update(void)
{
	scoring_test_hooks.force_update_count += 1;
}

team_ranking_data *get_team_rankings(void)
{
	if (!team_rankings_set)
	{
		for (int16 i = 0; i < MAXIMUM_TEAMS_PER_MAP; ++i) team_rankings[i] = {i, 0, 0};
		team_rankings_set = true;
	}
	return team_rankings;
}

void new_goal(int16 team_index, int16 point_count, const world_point2d *)
{
	scoring_test_hooks.goal_count += 1;
	scoring_test_hooks.last_goal_team = team_index;
	scoring_test_hooks.last_goal_point_count = point_count;
}

scoring_test_hooks_data *get_scoring_test_hooks(void)
{
	return &scoring_test_hooks;
}

void reset_scoring_test_hooks(void)
{
	scoring_test_hooks = {0, 0, NONE, 0};
	team_rankings_set = false;
}
