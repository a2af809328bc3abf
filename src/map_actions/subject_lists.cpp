#include "map_actions/subject_lists.h"

#include "commands.h"
#include "map_actions/map_action_accessors.h"
#include "monsters.h"
#include "zerv.h"

int16 get_subject_monster_indexes(int16 action_index, field_tag field, int16 cap, int16 *indexes)
{
	if (cap <= 0) return 0;
	int16 identifiers[MAXIMUM_MONSTERS_PER_MAP];
	if (cap > MAXIMUM_MONSTERS_PER_MAP) cap = MAXIMUM_MONSTERS_PER_MAP;
	const int32 count = get_combined_map_action_parameter(action_index, field, _parameter_monster_identifier,
		identifiers, cap);
	return monster_identifiers_to_monster_indexes(identifiers, indexes, static_cast<int16>(count));
}

int16 get_command_chunk_size(void)
{
	return game_play_version == 1300 ? MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND_13 : MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND;
}
