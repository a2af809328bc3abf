// 'guar': a group state that guards a point and attacks what comes close.
#include "map_actions/group_ai_action_procs.h"

#include "attack_ai.h"
#include "map_actions/map_action_accessors.h"
#include "map_actions/subject_lists.h"
#include "monsters.h"
#include "spatial_groups.h"
#include "world.h"

enum
{
	_substate_guarding,
	_substate_attacking
};

boolean test_guard_radius(world_point2d point, int16 team_index, world_distance inner_radius,
	world_distance outer_radius, boolean already_attacking)
{
	boolean found = FALSE;
	int32 nearest = 0;
	for (spatial_group *group = first_spatial_group(); group; group = next_spatial_group(group))
	{
		if (!group_ai::is_enemy_group(group, team_index)) continue;
		const world_point2d center = group->center;
		// The root only for a group that could be nearer.
		if (found && group_ai::distance2d_lower_bound(point, center) - group->radius >= nearest) continue;
		const int32 d = distance2d(&point, &center) - group->radius;
		if (!found || d < nearest)
		{
			found = TRUE;
			nearest = d;
		}
	}
	if (!found || nearest >= outer_radius) return FALSE;
	const int32 e = pinned_difference(nearest, inner_radius);
	if (e < 0) return TRUE;
	if (e >= MAXIMUM_PROXIMITY_TO_INNER_RADIUS) return FALSE;
	if (already_attacking) return TRUE;
	// Reached only with inner <= nearest < outer, so the divisor is negative.
	const int32 r = zerv_random();
	const int64 bound = 16384 + (static_cast<int64>(e) * 16384) / (static_cast<int64>(inner_radius) - outer_radius);
	return r < bound;
}

uint32 guard_group_action_proc(int16 action_index)
{
	int16 owner_identifier = NONE;
	const int16 owner = get_map_action_identifier_parameter(action_index, TAG("owgr"), &owner_identifier)
		? action_identifier_to_action_index(owner_identifier)
		: static_cast<int16>(NONE);
	if (!get_map_action(owner))
	{
		map_action_debug(action_index, "no subject list");
		return 0;
	}
	world_point2d guard_point;
	if (!get_indexed_world_point2d_parameter(action_index, TAG("poin"), &guard_point, 0))
	{
		map_action_debug(action_index, "missing guard point");
		return 0;
	}

	int16 identifiers[MAXIMUM_MONSTERS_PER_COMMAND];
	int16 indexes[MAXIMUM_MONSTERS_PER_COMMAND];
	const int16 n = static_cast<int16>(get_combined_map_action_parameter(owner, TAG("subj"),
		_parameter_monster_identifier, identifiers, monsters_per_command()));
	const int16 m = monster_identifiers_to_monster_indexes(identifiers, indexes, n);
	int32 old_substate = -1;
	get_map_action_integer(action_index, TAG("subs"), &old_substate);

	int32 substate = _substate_guarding;
	if (m >= 1)
	{
		world_distance radii[2];
		if (group_ai::get_two_distances(action_index, TAG("radi"), radii))
		{
			if (test_guard_radius(guard_point, group_ai::list_team(indexes, m), radii[0], radii[1],
				old_substate == _substate_attacking))
			{
				substate = _substate_attacking;
			}
		}
		else
		{
			map_action_debug(action_index, "no guard radius");
		}
	}
	if (substate == old_substate && substate == _substate_guarding) return 0;
	if (substate == _substate_guarding && m != n)
	{
		int16 reset_identifier;
		if (get_map_action_identifier_parameter(action_index, TAG("rese"), &reset_identifier))
		{
			const int16 reset = action_identifier_to_action_index(reset_identifier);
			if (get_map_action(reset))
			{
				trigger_map_action(reset);
				return 0;
			}
		}
	}
	if (m < 1) return 0;

	int16 states[2];
	map_action_parameter parameter;
	if (!get_map_action_parameter(&parameter, action_index, 0, TAG("acti"), _parameter_action_identifier) ||
		parameter.count != 2 ||
		get_combined_map_action_parameter(action_index, TAG("acti"), _parameter_action_identifier, states, 2) != 2)
	{
		map_action_debug(action_index, "missing state actions parameter");
	}
	else
	{
		if (substate == _substate_attacking)
		{
			int16 inhibitors[MAXIMUM_LOCAL_ACTION_IDENTIFIERS];
			const int32 inhibitor_count = get_combined_map_action_parameter(action_index, TAG("inhi"),
				_parameter_action_identifier, inhibitors, MAXIMUM_LOCAL_ACTION_IDENTIFIERS);
			if (inhibitor_count > 0 && test_actions_for_success(inhibitors, inhibitor_count, FALSE))
			{
				substate = _substate_guarding;
			}
		}
		const int16 state = action_identifier_to_action_index(states[substate]);
		if (!get_map_action(state))
		{
			map_action_debug(action_index, "state action deleted!");
		}
		else if (substate == _substate_attacking)
		{
			attack_ai_configuration configuration;
			parse_attack_ai_configuration(&configuration, state);
			configuration.focus = guard_point;
			attack_with_monster_indexes(indexes, m, &configuration);
		}
		else
		{
			set_unique_map_action_parameter(state, TAG("subj"), _parameter_monster_identifier, n, identifiers);
			trigger_map_action(state);
		}
	}
	set_unique_map_action_parameter(action_index, TAG("subs"), _parameter_integer, 1, &substate);
	return 0;
}
