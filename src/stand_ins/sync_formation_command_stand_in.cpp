// The command queue is not built yet: a sync-formation command from the local
// player executes at once, storing the definition for that player.
#include "formations.h"

#include "players.h"

void handle_sync_formation_command(int16 player_index, const formation_definition *definition)
{
	if (player_index == NONE) player_index = player_globals.local_player_index;
	set_formation_definition_for_player(player_index, definition);
}
