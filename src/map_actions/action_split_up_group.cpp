// 'spup': a group state that shares the group's units among new child groups
// by unit-count thresholds, nearest to each child's decision point first.
#include <climits>

#include "map_actions/group_ai_action_procs.h"

#include "map_actions/map_action_accessors.h"
#include "map_actions/subject_lists.h"
#include "monsters.h"
#include "world.h"

#define MAXIMUM_SPLIT_UP_THRESHOLDS 32
#define MAXIMUM_SETUP_ACTIONS MAXIMUM_NUMBER_OF_GROUP_STATES

// A blank 'grou' action; NONE when the store is full.
static int16 build_subgroup_action(void)
{
	const int16 child = new_map_action(NONE);
	if (child == NONE) return NONE;
	set_map_action_tag(child, TAG("grou"));
	return child;
}

static void compute_distances_to_decision_point(int16 setup_action, const int16 *indexes, const boolean *assigned,
	int16 count, int32 *distances)
{
	world_point2d decision_point;
	const boolean has_point = get_indexed_world_point2d_parameter(setup_action, TAG("deci"), &decision_point, 0);
	for (int16 i = 0; i < count; ++i)
	{
		if (assigned[i])
		{
			distances[i] = INT32_MAX;
		}
		else if (has_point)
		{
			const world_point2d location = group_ai::monster_location(indexes[i]);
			distances[i] = distance2d(&location, &decision_point);
		}
		else
		{
			distances[i] = 0;
		}
	}
}

static int16 find_monster_index_closest_to_decision_point(const boolean *assigned, const int32 *distances, int16 count)
{
	int16 best = NONE;
	for (int16 i = 0; i < count; ++i)
	{
		if (assigned[i]) continue;
		if (best == NONE || distances[i] < distances[best]) best = i;
	}
	return best;
}

uint32 split_up_group_action_proc(int16 action_index)
{
	int16 owner_identifier = NONE;
	const int16 owner = get_map_action_identifier_parameter(action_index, TAG("owgr"), &owner_identifier)
		? action_identifier_to_action_index(owner_identifier)
		: static_cast<int16>(NONE);
	int16 indexes[MAXIMUM_MONSTERS_PER_COMMAND];
	int16 n = 0, m = 0;
	if (get_map_action(owner))
	{
		int16 identifiers[MAXIMUM_MONSTERS_PER_COMMAND];
		n = static_cast<int16>(get_combined_map_action_parameter(owner, TAG("subj"), _parameter_monster_identifier,
			identifiers, monsters_per_command()));
		m = monster_identifiers_to_monster_indexes(identifiers, indexes, n);
	}
	// One more of each than is used: a longer list is cut with a line.
	int32 thresholds[MAXIMUM_SPLIT_UP_THRESHOLDS + 1];
	field_tag setups[MAXIMUM_SPLIT_UP_THRESHOLDS + 2];
	map_action_parameter threshold_parameter, setup_parameter;
	const boolean has_thresholds = get_map_action_parameter(&threshold_parameter, action_index,
		_return_empty_arrays_flag, TAG("thre"), _parameter_integer);
	const boolean has_setups =
		get_map_action_parameter(&setup_parameter, action_index, 0, TAG("setu"), _parameter_field_name);
	int32 threshold_count = 0, setup_count = 0;
	if (has_thresholds && has_setups)
	{
		threshold_count = get_combined_map_action_parameter(action_index, TAG("thre"), _parameter_integer, thresholds,
			MAXIMUM_SPLIT_UP_THRESHOLDS + 1);
		setup_count = get_combined_map_action_parameter(action_index, TAG("setu"), _parameter_field_name, setups,
			MAXIMUM_SPLIT_UP_THRESHOLDS + 2);
		if (threshold_count > MAXIMUM_SPLIT_UP_THRESHOLDS || setup_count > MAXIMUM_SPLIT_UP_THRESHOLDS + 1)
		{
			map_action_error(action_index, "more than %d thresholds: the rest are ignored", MAXIMUM_SPLIT_UP_THRESHOLDS);
			threshold_count = MIN(threshold_count, MAXIMUM_SPLIT_UP_THRESHOLDS);
			setup_count = MIN(setup_count, MAXIMUM_SPLIT_UP_THRESHOLDS + 1);
		}
	}
	if (!get_map_action(owner) || !has_thresholds || !has_setups || setup_count != threshold_count + 1 || n == 0)
	{
		map_action_debug(action_index, "missing or corrupted basic parameters");
		return 0;
	}

	int32 k = threshold_count;
	for (int32 j = 0; j < threshold_count; ++j)
	{
		if (m <= thresholds[j])
		{
			k = j;
			break;
		}
	}
	map_action_debug(action_index, "chose threshold #%d (#%d units)", static_cast<int>(k), static_cast<int>(m));

	if (!get_map_action_parameter(nullptr, action_index, _return_empty_arrays_flag, setups[k],
		_parameter_action_identifier))
	{
		map_action_debug(action_index, "missing setup data");
		return 0;
	}
	int16 setup_actions[MAXIMUM_SETUP_ACTIONS + 1];
	int32 setup_action_count = get_combined_map_action_parameter(action_index, setups[k],
		_parameter_action_identifier, setup_actions, MAXIMUM_SETUP_ACTIONS + 1);
	if (setup_action_count > MAXIMUM_SETUP_ACTIONS)
	{
		map_action_error(action_index, "more than %d setup actions: the rest are ignored", MAXIMUM_SETUP_ACTIONS);
		setup_action_count = MAXIMUM_SETUP_ACTIONS;
	}

	// The old children go, except an action now being triggered (map data may
	// name the owner, this action or one of their callers).
	map_action_parameter children_parameter;
	if (get_map_action_parameter(&children_parameter, action_index, _dont_resolve_links_flag | _return_empty_arrays_flag,
		TAG("chil"), _parameter_action_identifier))
	{
		int16 old_children[MAXIMUM_LOCAL_ACTION_IDENTIFIERS];
		const int32 old_count = get_combined_map_action_parameter(action_index, TAG("chil"),
			_parameter_action_identifier, old_children, MAXIMUM_LOCAL_ACTION_IDENTIFIERS);
		group_ai::delete_own_parameters(action_index, TAG("chil"), _parameter_action_identifier);
		for (int32 c = 0; c < old_count; ++c)
		{
			const int16 child = action_identifier_to_action_index(old_children[c]);
			if (!get_map_action(child) || child == owner || child == action_index ||
				group_ai::action_is_on_trigger_stack(child))
			{
				continue;
			}
			delete_map_action(child);
		}
	}
	if (!set_unique_map_action_parameter(action_index, TAG("chil"), _parameter_action_identifier, 0, nullptr)) return 0;

	int16 children[MAXIMUM_SETUP_ACTIONS];
	int16 child_count = 0;
	if (setup_action_count == 0)
	{
		set_group_action_state(owner, children, 0);
		return 0;
	}

	boolean assigned[MAXIMUM_MONSTERS_PER_COMMAND] = {};
	int32 distances[MAXIMUM_MONSTERS_PER_COMMAND];
	int16 unassigned = m;
	for (int32 s = 0; s < setup_action_count; ++s)
	{
		const int16 setup = action_identifier_to_action_index(setup_actions[s]);
		if (!get_map_action(setup)) continue;
		const int16 child = build_subgroup_action();
		if (child == NONE) continue;
		compute_distances_to_decision_point(setup, indexes, assigned, m, distances);

		int64 wanted = unassigned;
		int32 value;
		if (get_map_action_integer(setup, TAG("coun"), &value))
		{
			wanted = value;
		}
		else if (get_map_action_fixed(setup, TAG("coun"), &value))
		{
			wanted = (static_cast<int64>(value) * unassigned) >> 16;
		}
		int16 taken = static_cast<int16>(wanted < 0 ? 0 : (wanted < unassigned ? wanted : unassigned));
		map_action_debug(setup, "got #%d", static_cast<int>(taken));

		int16 child_identifiers[MAXIMUM_MONSTERS_PER_COMMAND];
		for (int16 t = 0; t < taken; ++t)
		{
			const int16 i = find_monster_index_closest_to_decision_point(assigned, distances, m);
			assigned[i] = TRUE;
			child_identifiers[t] = get_monster_data(indexes[i])->identifier;
		}
		unassigned = static_cast<int16>(unassigned - taken);
		set_unique_map_action_parameter(child, TAG("subj"), _parameter_monster_identifier, taken, child_identifiers);

		int16 initial_states[MAXIMUM_NUMBER_OF_GROUP_STATES];
		if (get_map_action_parameter(nullptr, setup, _return_empty_arrays_flag, TAG("init"), _parameter_action_identifier))
		{
			const int32 state_count = get_combined_map_action_parameter(setup, TAG("init"),
				_parameter_action_identifier, initial_states, MAXIMUM_NUMBER_OF_GROUP_STATES);
			set_group_action_state(child, initial_states, static_cast<int16>(state_count));
		}
		children[child_count++] = get_map_action_identifier(child);
		set_unique_map_action_parameter(action_index, TAG("chil"), _parameter_action_identifier, child_count, children);
	}
	set_group_action_state(owner, children, child_count);
	return 0;
}
