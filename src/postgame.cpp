// The permanent rankings across continued games. The report, the lobby
// standings and the ranking overlay are still stand-ins.
#include "postgame.h"

#include <cstring>

#include "game_statistics.h"
#include "players.h"

void adjust_permanent_player_rankings(void)
{
	if (!statistics_globals) return;
	permanent_player_ranking_data old_rankings[MAXIMUM_PLAYERS_PER_MAP];
	const int16 old_count = PIN(statistics_globals->permanent_player_ranking_count, static_cast<int16>(0),
		static_cast<int16>(MAXIMUM_PLAYERS_PER_MAP));
	memcpy(old_rankings, statistics_globals->permanent_player_rankings, sizeof(old_rankings));

	const int16 player_count = MIN(get_player_count(), static_cast<int16>(MAXIMUM_PLAYERS_PER_MAP));
	for (int16 p = 0; p < player_count; ++p)
	{
		const player_data *player = get_player_data(p);
		const int16 identity = player ? static_cast<int16>(player->unique_identifier & 0xffff) : static_cast<int16>(NONE);
		permanent_player_ranking_data ranking;
		memset(&ranking, 0, sizeof(ranking));
		ranking.unique_identifier = identity;
		for (int16 i = 0; i < old_count; ++i)
		{
			if (old_rankings[i].unique_identifier == identity)
			{
				ranking = old_rankings[i];
				break;
			}
		}
		ranking.player_index = p;
		statistics_globals->permanent_player_rankings[p] = ranking;
	}
	statistics_globals->permanent_player_ranking_count = player_count;
}
