// 'acli': activates and deactivates listed actions, all of them, by chance or one at a time.
#include "map_actions/general_action_procs.h"
#include "map_actions/map_action_accessors.h"
#include "world.h"

// The chances of a 'fixed' list whose length matches the identifiers; false when unusable.
static boolean get_chance_list(int16 action_index, field_tag field_name, int32 count, fixed *chances)
{
	map_action_parameter parameter;
	if (count == 0 || !get_map_action_parameter(&parameter, action_index, 0, field_name, _parameter_fixed) ||
		parameter.count != count)
	{
		return FALSE;
	}
	return get_combined_map_action_parameter(action_index, field_name, _parameter_fixed, chances, count) == count;
}

// One draw; true when the chance beats it.
static boolean roll_chance(int16 action_index, fixed chance, const char *what)
{
	const int32 roll = zerv_random() >> 8;
	const int32 needed = chance >> 8;
	if (needed <= roll) return FALSE;
	map_action_debug(action_index, "%d<%d, %s", static_cast<int>(roll), static_cast<int>(needed), what);
	return TRUE;
}

static boolean activate_one(int16 action_index, const int16 *list, int32 count, boolean random_start,
	boolean usable, const fixed *chances)
{
	if (count == 0) return FALSE;
	const int32 start = random_start ? zerv_random() % count : 0;
	for (int32 j = 0; j < count; ++j)
	{
		const int32 k = (start + j) % count;
		const int16 target = action_identifier_to_action_index(list[k]);
		const map_action *action = get_map_action(target);
		if (!action) continue;
		if ((action->flags & _map_action_activates_only_once_flag) && (action->flags & _map_action_has_been_activated_flag))
		{
			continue;
		}
		if (usable)
		{
			if (!roll_chance(action_index, chances[k], "Activating single action")) continue;
		}
		else
		{
			map_action_debug(action_index, "Activating single action");
		}
		activate_map_action(target);
		return TRUE;
	}
	return FALSE;
}

uint32 action_list_action_proc(int16 action_index)
{
	int16 list[MAXIMUM_ACTION_IDENTIFIERS_PER_LIST];
	fixed chances[MAXIMUM_ACTION_IDENTIFIERS_PER_LIST];
	const int32 count = get_combined_map_action_parameter(action_index, TAG("acti"), _parameter_action_identifier, list,
		MAXIMUM_ACTION_IDENTIFIERS_PER_LIST);
	const boolean usable = get_chance_list(action_index, TAG("acch"), count, chances);
	const boolean only = map_action_has_flag(action_index, TAG("only"));
	const boolean random_start = map_action_has_flag(action_index, TAG("rand"));
	boolean changed = FALSE;

	if (count > 0 && !only && !random_start)
	{
		if (usable)
		{
			for (int32 k = 0; k < count; ++k)
			{
				if (!roll_chance(action_index, chances[k], "Activating action")) continue;
				activate_map_action(action_identifier_to_action_index(list[k]));
				changed = TRUE;
			}
		}
		else
		{
			map_action_debug(action_index, "Activating all actions");
			for (int32 k = 0; k < count; ++k) activate_map_action(action_identifier_to_action_index(list[k]));
			changed = TRUE;
		}
	}
	if (only || random_start) changed = activate_one(action_index, list, count, random_start, usable, chances) || changed;

	int16 deactivations[MAXIMUM_ACTION_IDENTIFIERS_PER_LIST];
	const int32 deactivation_count = get_combined_map_action_parameter(action_index, TAG("deac"),
		_parameter_action_identifier, deactivations, MAXIMUM_ACTION_IDENTIFIERS_PER_LIST);
	if (deactivation_count == 0) return changed ? _map_action_proc_succeeded_flag : 0;
	if (get_chance_list(action_index, TAG("dech"), deactivation_count, chances))
	{
		for (int32 k = 0; k < deactivation_count; ++k)
		{
			if (!roll_chance(action_index, chances[k], "Deactivating action")) continue;
			deactivate_map_action(action_identifier_to_action_index(deactivations[k]));
			changed = TRUE;
		}
		return changed ? _map_action_proc_succeeded_flag : 0;
	}
	map_action_debug(action_index, "Deactivating all actions");
	for (int32 k = 0; k < deactivation_count; ++k) deactivate_map_action(action_identifier_to_action_index(deactivations[k]));
	return _map_action_proc_succeeded_flag;
}
