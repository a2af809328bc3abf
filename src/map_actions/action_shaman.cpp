// 'sham': a healer casts its special ability on the most wounded ally below
// the threshold.
#include "map_actions/unit_ai_action_procs.h"

#include "map_actions/map_action_accessors.h"
#include "map_actions/map_actions.h"
#include "map_actions/subject_lists.h"
#include "monster_commands.h"
#include "monsters.h"
#include "objects.h"

namespace
{
	const int16 MAXIMUM_SHAMAN_MONSTERS = 400;

	fixed vitality_fraction(int16 monster_index)
	{
		const monster_data *monster = get_monster_data(monster_index);
		const object_data *object = monster ? get_object_data(monster->object_index) : nullptr;
		if (!object || object->maximum_vitality <= 0) return 0;
		return static_cast<fixed>((static_cast<int64>(object->vitality) << 16) / object->maximum_vitality);
	}
}

uint32 shaman_action_proc(int16 action_index)
{
	int16 healers[MAXIMUM_SHAMAN_MONSTERS], allies[MAXIMUM_SHAMAN_MONSTERS];
	int16 healer_count = get_subject_monster_indexes(action_index, TAG("subj"), MAXIMUM_SHAMAN_MONSTERS, healers);
	healer_count = remove_monsters_that_have_left_the_mesh(healers, healer_count);
	int16 ally_count = get_subject_monster_indexes(action_index, TAG("ally"), MAXIMUM_SHAMAN_MONSTERS, allies);
	ally_count = remove_monsters_that_have_left_the_mesh(allies, ally_count);
	if (healer_count == 0 || ally_count == 0) return 0;

	fixed threshold = 0;
	if (!get_map_action_fixed(action_index, TAG("<vit"), &threshold))
	{
		map_action_debug(action_index, "No heal threshold!");
		return 0;
	}

	int16 chosen = NONE;
	fixed lowest = 0;
	for (int16 i = 0; i < ally_count; ++i)
	{
		const fixed fraction = vitality_fraction(allies[i]);
		if (fraction >= FIXED_ONE || fraction >= threshold) continue;
		if (chosen == NONE || fraction < lowest)
		{
			chosen = allies[i];
			lowest = fraction;
		}
	}
	if (chosen == NONE)
	{
		// The fallback runs now, not at its next scheduled trigger.
		int16 fallback;
		if (get_map_action_identifier_parameter(action_index, TAG("fall"), &fallback))
		{
			const int16 fallback_index = action_identifier_to_action_index(fallback);
			if (fallback_index != NONE) trigger_map_action(fallback_index);
		}
		return 0;
	}
	command_target_data data = {};
	data.flags = _command_target_special_ability_flag;
	// By identifier: the healer's arrival marks this action, not another one.
	handle_target_command(get_map_action_identifier(action_index), &data, 1, healers, 1, &chosen);
	return _map_action_proc_succeeded_flag;
}
