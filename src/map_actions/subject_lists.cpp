#include "map_actions/subject_lists.h"

#include "map_actions/map_action_accessors.h"
#include "monsters.h"
#include "zerv.h"

int16 get_subject_monster_indexes(int16 action_index, field_tag field_name, int16 cap, int16 *indexes)
{
	if (cap > MAXIMUM_SUBJECT_MONSTERS) cap = MAXIMUM_SUBJECT_MONSTERS;
	if (cap <= 0) return 0;
	int16 identifiers[MAXIMUM_SUBJECT_MONSTERS];
	const int32 count =
		get_combined_map_action_parameter(action_index, field_name, _parameter_monster_identifier, identifiers, cap);
	return monster_identifiers_to_monster_indexes(identifiers, indexes, static_cast<int16>(count));
}

int16 monsters_per_command(void)
{
	return game_play_version == 1300 ? MAXIMUM_MONSTERS_PER_COMMAND_13 : MAXIMUM_MONSTERS_PER_COMMAND;
}
