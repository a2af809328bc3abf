// Ownership changes and unit trading are not built yet: a detached unit only
// changes hands, and trading counts change nothing. Nothing here draws from
// the synchronised stream.
#include "monsters.h"

#include "players.h"

void detach_monster(int16 monster_index, int16 player_index, boolean)
{
	monster_data *monster = get_monster_data(monster_index);
	const player_data *player = get_player_data(player_index);
	if (!monster || !player) return;
	monster->owner_player_index = static_cast<int8>(player_index);
	monster->owner_team_index = static_cast<int8>(player->team_index);
}

void adjust_unit_placement(int16, int16, const int16 *) {}
