#include "map_actions/map_action_accessors.h"

#include <cstring>

int32 get_combined_map_action_parameter(int16 action_index, field_tag field_name, int16 type, void *data,
	int32 maximum_count)
{
	if (type < 0 || type >= NUMBER_OF_MAP_ACTION_PARAMETER_TYPES || maximum_count <= 0) return 0;
	const int32 size = parameter_definitions[type].size;
	find_map_action_parameter_state state;
	map_action_parameter parameter;
	int32 copied = 0;
	new_find_map_action_parameter_state(&state, action_index, 0, field_name, type);
	while (copied < maximum_count && find_next_map_action_parameter(&state, &parameter))
	{
		const int32 count = MIN(static_cast<int32>(parameter.count), maximum_count - copied);
		memcpy(static_cast<uint8 *>(data) + copied * size, extract_parameter_array_address(&parameter),
			static_cast<size_t>(count * size));
		copied += count;
	}
	return copied;
}

int32 count_combined_map_action_parameter(int16 action_index, field_tag field_name, int16 type)
{
	if (type < 0 || type >= NUMBER_OF_MAP_ACTION_PARAMETER_TYPES) return 0;
	find_map_action_parameter_state state;
	map_action_parameter parameter;
	int32 total = 0;
	new_find_map_action_parameter_state(&state, action_index, 0, field_name, type);
	while (find_next_map_action_parameter(&state, &parameter)) total += MAX(static_cast<int32>(parameter.count), 0);
	return total;
}

boolean get_combined_map_action_element(int16 action_index, field_tag field_name, int16 type, void *out, int32 index)
{
	if (type < 0 || type >= NUMBER_OF_MAP_ACTION_PARAMETER_TYPES || index < 0) return FALSE;
	const int32 size = parameter_definitions[type].size;
	find_map_action_parameter_state state;
	map_action_parameter parameter;
	new_find_map_action_parameter_state(&state, action_index, 0, field_name, type);
	while (find_next_map_action_parameter(&state, &parameter))
	{
		if (parameter.count <= 0) continue;
		if (index < parameter.count)
		{
			memcpy(out, static_cast<const uint8 *>(extract_parameter_array_address(&parameter)) + index * size,
				static_cast<size_t>(size));
			return TRUE;
		}
		index -= parameter.count;
	}
	return FALSE;
}

static boolean get_indexed_element(int16 action_index, field_tag field_name, int16 type, void *out, int32 index)
{
	map_action_parameter parameter;
	if (type < 0 || type >= NUMBER_OF_MAP_ACTION_PARAMETER_TYPES ||
		!get_map_action_parameter(&parameter, action_index, 0, field_name, type) || index < 0 || index >= parameter.count)
	{
		return FALSE;
	}
	const int32 size = parameter_definitions[parameter.type].size;
	memcpy(out, static_cast<const uint8 *>(extract_parameter_array_address(&parameter)) + index * size,
		static_cast<size_t>(size));
	return TRUE;
}

// The element's width comes from the parameter found; callers pass the type whose width they expect.
boolean get_indexed_byte_parameter(int16 action_index, field_tag field_name, int16 type, void *out, int32 index)
{
	return parameter_definitions[PIN(type, 0, NUMBER_OF_MAP_ACTION_PARAMETER_TYPES - 1)].size == 1 &&
		get_indexed_element(action_index, field_name, type, out, index);
}

boolean get_indexed_short_integer_parameter(int16 action_index, field_tag field_name, int16 type, void *out, int32 index)
{
	return parameter_definitions[PIN(type, 0, NUMBER_OF_MAP_ACTION_PARAMETER_TYPES - 1)].size == 2 &&
		get_indexed_element(action_index, field_name, type, out, index);
}

boolean get_indexed_long_integer_parameter(int16 action_index, field_tag field_name, int16 type, void *out, int32 index)
{
	return parameter_definitions[PIN(type, 0, NUMBER_OF_MAP_ACTION_PARAMETER_TYPES - 1)].size == 4 &&
		get_indexed_element(action_index, field_name, type, out, index);
}

boolean get_indexed_world_point2d_parameter(int16 action_index, field_tag field_name, world_point2d *out, int32 index)
{
	return get_indexed_element(action_index, field_name, _parameter_world_point2d, out, index);
}

boolean get_indexed_world_rectangle2d_parameter(int16 action_index, field_tag field_name, void *out, int32 index)
{
	return get_indexed_element(action_index, field_name, _parameter_world_rectangle2d, out, index);
}

boolean get_indexed_world_point3d_parameter(int16 action_index, field_tag field_name, world_point3d *out, int32 index)
{
	return get_indexed_element(action_index, field_name, _parameter_world_point3d, out, index);
}

boolean get_map_action_structure(int16 action_index, field_tag field_name, int32 size, void *buffer)
{
	map_action_parameter parameter;
	if (!get_map_action_parameter(&parameter, action_index, _dont_resolve_links_flag, field_name, _parameter_character) ||
		parameter.count != size)
	{
		return FALSE;
	}
	memcpy(buffer, extract_parameter_array_address(&parameter), static_cast<size_t>(size));
	return TRUE;
}

boolean test_actions_for_success(const int16 *action_identifiers, int32 count, boolean all)
{
	if (count <= 0) return all;
	for (int32 i = 0; i < count; ++i)
	{
		const map_action *action = get_map_action_by_identifier(action_identifiers[i]);
		if (!action) continue;
		const boolean succeeded = (action->flags & _map_action_succeeded_flag) != 0;
		if (all && !succeeded) return FALSE;
		if (!all && succeeded) return TRUE;
	}
	return all;
}

void call_function_with_action_identifiers(map_action_index_proc function, const int16 *action_identifiers,
	int32 count)
{
	int16 identifiers[MAXIMUM_LOCAL_ACTION_IDENTIFIERS];
	count = PIN(count, 0, MAXIMUM_LOCAL_ACTION_IDENTIFIERS);
	// A copy: the function may edit the buffer the list lies in.
	memcpy(identifiers, action_identifiers, static_cast<size_t>(count) * sizeof(int16));
	for (int32 i = 0; i < count; ++i) function(action_identifier_to_action_index(identifiers[i]));
}

boolean call_functions_with_actions_in_parameter(map_action_index_proc function, int16 action_index,
	field_tag field_name)
{
	map_action_parameter parameter;
	if (!get_map_action_parameter(&parameter, action_index, 0, field_name, _parameter_action_identifier)) return FALSE;
	call_function_with_action_identifiers(function, static_cast<const int16 *>(extract_parameter_array_address(&parameter)),
		parameter.count);
	return TRUE;
}

static boolean get_element_zero(int16 action_index, field_tag field_name, int16 type, void *value)
{
	return get_indexed_element(action_index, field_name, type, value, 0);
}

boolean get_map_action_integer(int16 action_index, field_tag field_name, int32 *value)
{
	return get_element_zero(action_index, field_name, _parameter_integer, value);
}

boolean get_map_action_fixed(int16 action_index, field_tag field_name, int32 *value)
{
	return get_element_zero(action_index, field_name, _parameter_fixed, value);
}

boolean get_map_action_world_distance(int16 action_index, field_tag field_name, int32 *value)
{
	return get_element_zero(action_index, field_name, _parameter_world_distance, value);
}

boolean get_map_action_identifier_parameter(int16 action_index, field_tag field_name, int16 *value)
{
	return get_element_zero(action_index, field_name, _parameter_action_identifier, value);
}

boolean get_map_action_field_name(int16 action_index, field_tag field_name, field_tag *value)
{
	return get_element_zero(action_index, field_name, _parameter_field_name, value);
}
