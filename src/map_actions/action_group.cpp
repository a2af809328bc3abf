// 'grou': the owner of a unit list runs its state actions in order, handing
// itself to each through 'owgr', until a state replaces the list.
#include "map_actions/group_ai_action_procs.h"

#include "alliances.h"
#include "map_actions/map_action_accessors.h"
#include "map_actions/subject_lists.h"
#include "monster_commands.h"
#include "monsters.h"
#include "objects.h"
#include "spatial_groups.h"
#include "world.h"

namespace group_ai {

world_point2d monster_location(int16 monster_index)
{
	const monster_data *monster = get_monster_data(monster_index);
	const object_data *object = monster ? get_object_data(monster->object_index) : nullptr;
	if (!object) return {0, 0};
	return {object->location.position.x, object->location.position.y};
}

int16 list_team(const int16 *monster_indexes, int16 count)
{
	const monster_data *monster = count > 0 ? get_monster_data(monster_indexes[0]) : nullptr;
	return monster ? static_cast<int16>(monster->owner_team_index) : static_cast<int16>(NONE);
}

boolean is_enemy_group(const spatial_group *group, int16 team_index)
{
	return group->team_index != team_index && !teams_are_allied(team_index, group->team_index);
}

world_point2d offset_point(world_point2d p, int64 length, angle theta)
{
	p.x = static_cast<world_distance>(p.x + ((static_cast<int64>(angle_cosine(theta)) * length) >> TRIG_SHIFT));
	p.y = static_cast<world_distance>(p.y + ((static_cast<int64>(angle_sine(theta)) * length) >> TRIG_SHIFT));
	return p;
}

int32 distance2d_lower_bound(world_point2d p0, world_point2d p1)
{
	int64 dx = static_cast<int64>(p0.x) - p1.x, dy = static_cast<int64>(p0.y) - p1.y;
	if (dx < 0) dx = -dx;
	if (dy < 0) dy = -dy;
	const int64 larger = dx > dy ? dx : dy;
	return static_cast<int32>(larger < 32767 ? larger : 32767);
}

int64 vector_length(int64 dx, int64 dy)
{
	return static_cast<int64>(isqrt64(static_cast<uint64>(dx * dx) + static_cast<uint64>(dy * dy)));
}

boolean get_two_distances(int16 action_index, field_tag field_name, world_distance *values)
{
	map_action_parameter parameter;
	if (!get_map_action_parameter(&parameter, action_index, 0, field_name, _parameter_world_distance) ||
		parameter.count != 2)
	{
		return FALSE;
	}
	return get_combined_map_action_parameter(action_index, field_name, _parameter_world_distance, values, 2) == 2;
}

void move_monsters(int16 command_identifier, uint16 flags, int16 formation_index, angle final_facing,
	const int16 *monster_indexes, int16 count, world_point2d destination)
{
	command_movement_data data = {};
	data.flags = flags;
	data.formation_index = formation_index;
	data.final_facing = final_facing;
	for_each_command_chunk(count, monster_indexes, [&](const int16 *chunk, int16 chunk_count) {
		handle_movement_command(command_identifier, &data, chunk_count, chunk, 1, &destination);
	});
}

void activate_actions_in_list(int16 action_index, field_tag field_name, int32 maximum_count)
{
	int16 list[MAXIMUM_LOCAL_ACTION_IDENTIFIERS];
	if (maximum_count > MAXIMUM_LOCAL_ACTION_IDENTIFIERS) maximum_count = MAXIMUM_LOCAL_ACTION_IDENTIFIERS;
	const int32 count =
		get_combined_map_action_parameter(action_index, field_name, _parameter_action_identifier, list, maximum_count);
	call_function_with_action_identifiers(activate_map_action, list, count);
}

boolean action_is_on_trigger_stack(int16 action_index)
{
	for (int16 i = 0; i < map_action_globals->trigger_stack_size; ++i)
	{
		if (map_action_globals->trigger_stack[i] == action_index) return TRUE;
	}
	return FALSE;
}

void delete_own_parameters(int16 action_index, field_tag field_name, int16 type)
{
	map_action_parameter parameter;
	while (get_map_action_parameter(&parameter, action_index, _dont_resolve_links_flag | _return_empty_arrays_flag,
		field_name, type))
	{
		if (!delete_map_action_parameter(&parameter)) break;
	}
}

} // namespace group_ai

void set_group_action_state(int16 group_action_index, const int16 *state_action_identifiers, int16 count)
{
	if (!get_map_action(group_action_index) || get_map_action_tag(group_action_index) != TAG("grou"))
	{
		map_action_debug(group_action_index, "isn't a group action!");
		return;
	}
	int16 states[MAXIMUM_NUMBER_OF_GROUP_STATES];
	if (count < 0) count = 0;
	if (count > MAXIMUM_NUMBER_OF_GROUP_STATES) count = MAXIMUM_NUMBER_OF_GROUP_STATES;
	for (int16 k = 0; k < count; ++k) states[k] = state_action_identifiers[k];
	const int32 inactive = -1;
	for (int16 k = 0; k < count; ++k)
	{
		const int16 state = action_identifier_to_action_index(states[k]);
		if (get_map_action(state)) set_unique_map_action_parameter(state, TAG("subs"), _parameter_integer, 1, &inactive);
	}
	set_unique_map_action_parameter(group_action_index, TAG("stat"), _parameter_action_identifier, count, states);
	set_unique_map_action_parameter(group_action_index, TAG("subs"), _parameter_integer, 1, &inactive);
}

uint32 group_action_proc(int16 action_index)
{
	// A copy: the states may rewrite 'stat' while they run.
	int16 states[MAXIMUM_NUMBER_OF_GROUP_STATES];
	const int32 count = get_combined_map_action_parameter(action_index, TAG("stat"), _parameter_action_identifier,
		states, MAXIMUM_NUMBER_OF_GROUP_STATES);
	// A group without states does nothing, its substate included.
	if (count < 1) return 0;
	const int32 active = _substate_active;
	set_unique_map_action_parameter(action_index, TAG("subs"), _parameter_integer, 1, &active);
	const int16 identifier = get_map_action_identifier(action_index);
	for (int32 k = 0; k < count; ++k)
	{
		int32 substate = -1;
		get_map_action_integer(action_index, TAG("subs"), &substate);
		if (substate != _substate_active) break;
		const int16 state = action_identifier_to_action_index(states[k]);
		if (!get_map_action(state)) continue;
		set_unique_map_action_parameter(state, TAG("owgr"), _parameter_action_identifier, 1, &identifier);
		trigger_map_action(state);
	}
	return 0;
}
