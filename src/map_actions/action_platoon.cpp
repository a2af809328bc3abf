// 'plat': a platoon owns squads and runs one state, drawn once from 'stat'.
#include "map_actions/group_ai_action_procs.h"

#include "map_actions/map_action_accessors.h"
#include "world.h"

#define MAXIMUM_PLATOON_STATES MAXIMUM_LOCAL_ACTION_IDENTIFIERS
#define MAXIMUM_PLATOON_SQUADS MAXIMUM_LOCAL_ACTION_IDENTIFIERS

static boolean is_platoon(int16 action_index)
{
	if (get_map_action(action_index) && get_map_action_tag(action_index) == TAG("plat")) return TRUE;
	map_action_debug(action_index, "isn't a platoon action!");
	return FALSE;
}

void reset_platoon(int16 platoon_action_index)
{
	if (!is_platoon(platoon_action_index)) return;
	group_ai::delete_own_parameters(platoon_action_index, TAG("#squ"), _parameter_action_identifier);
	map_action_parameter squads;
	if (!new_map_action_parameter(&squads, platoon_action_index, TAG("#squ"), _parameter_action_identifier)) return;
	if (!get_map_action_parameter(nullptr, platoon_action_index, _return_empty_arrays_flag, TAG("init"),
		_parameter_action_identifier))
	{
		map_action_debug(platoon_action_index, "no squad initializers!");
		return;
	}
	// A copy: triggering the squads rewrites the platoon's parameters.
	int16 initializers[MAXIMUM_PLATOON_SQUADS];
	const int32 count = get_combined_map_action_parameter(platoon_action_index, TAG("init"),
		_parameter_action_identifier, initializers, MAXIMUM_PLATOON_SQUADS);
	const int16 identifier = get_map_action_identifier(platoon_action_index);
	for (int32 k = 0; k < count; ++k)
	{
		const int16 squad = action_identifier_to_action_index(initializers[k]);
		if (!get_map_action(squad)) continue;
		set_unique_map_action_parameter(squad, TAG("#owp"), _parameter_action_identifier, 1, &identifier);
		trigger_map_action(squad);
	}
}

void set_platoon_state(int16 platoon_action_index, int16 state_action_index)
{
	if (!is_platoon(platoon_action_index)) return;
	if (get_map_action(state_action_index))
	{
		const int32 no_substate = -1;
		const int16 identifier = get_map_action_identifier(state_action_index);
		set_unique_map_action_parameter(state_action_index, TAG("#sub"), _parameter_integer, 1, &no_substate);
		set_unique_map_action_parameter(platoon_action_index, TAG("#cst"), _parameter_action_identifier, 1, &identifier);
		reset_platoon(platoon_action_index);
	}
	else
	{
		set_unique_map_action_parameter(platoon_action_index, TAG("#cst"), _parameter_action_identifier, 0, nullptr);
	}
}

void generate_platoon_movement_commands(int16 platoon_action_index, world_point2d destination, angle facing)
{
	if (!is_platoon(platoon_action_index)) return;
	world_point2d center;
	int16 platoon_facing;
	if (!get_indexed_world_point2d_parameter(platoon_action_index, TAG("cent"), &center, 0) ||
		!get_indexed_short_integer_parameter(platoon_action_index, TAG("faci"), _parameter_angle, &platoon_facing, 0))
	{
		map_action_debug(platoon_action_index, "no centerpoint or facing");
		return;
	}
	if (!get_map_action_parameter(nullptr, platoon_action_index, _dont_resolve_links_flag | _return_empty_arrays_flag,
		TAG("#squ"), _parameter_action_identifier))
	{
		map_action_debug(platoon_action_index, "no squads");
		return;
	}
	int16 squads[MAXIMUM_PLATOON_SQUADS];
	const int32 count = get_combined_map_action_parameter(platoon_action_index, TAG("#squ"),
		_parameter_action_identifier, squads, MAXIMUM_PLATOON_SQUADS);
	for (int32 k = 0; k < count; ++k)
	{
		const int16 squad = action_identifier_to_action_index(squads[k]);
		if (!get_map_action(squad)) continue;
		generate_squad_movement_commands(squad, center, destination, static_cast<angle>(platoon_facing), facing);
	}
}

uint32 platoon_action_proc(int16 action_index)
{
	int16 states[MAXIMUM_PLATOON_STATES];
	const int32 state_count = get_combined_map_action_parameter(action_index, TAG("stat"),
		_parameter_action_identifier, states, MAXIMUM_PLATOON_STATES);
	if (state_count > 0)
	{
		const int32 pick = zerv_random() % state_count;
		const int16 state = action_identifier_to_action_index(states[pick]);
		const char *name = get_map_action(state) ? get_map_action_name(state) : nullptr;
		map_action_debug(action_index, "platoon state set to: %s", name ? name : "");
		group_ai::delete_own_parameters(action_index, TAG("stat"), _parameter_action_identifier);
		set_platoon_state(action_index, state);
	}
	int16 current_identifier;
	const int16 current = get_map_action_identifier_parameter(action_index, TAG("#cst"), &current_identifier)
		? action_identifier_to_action_index(current_identifier)
		: static_cast<int16>(NONE);
	if (get_map_action(current))
	{
		const int16 identifier = get_map_action_identifier(action_index);
		set_unique_map_action_parameter(current, TAG("#own"), _parameter_action_identifier, 1, &identifier);
		trigger_map_action(current);
		return 0;
	}
	map_action_debug(action_index, "no state (deactivating)");
	return _map_action_proc_deactivate_flag;
}
