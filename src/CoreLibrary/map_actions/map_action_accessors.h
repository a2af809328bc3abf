// Reading map-action parameters: combined lists, indexed elements, private
// state blobs, and calls over identifier lists.
#ifndef MAP_ACTION_ACCESSORS_H
#define MAP_ACTION_ACCESSORS_H

#include "map_actions/map_actions.h"
#include "world_units.h"

typedef void (*map_action_index_proc)(int16 action_index);

// The elements of every non-empty parameter of that name and type, links
// followed, up to maximum_count; the number copied.
int32 get_combined_map_action_parameter(int16 action_index, field_tag field_name, int16 type, void *data,
	int32 maximum_count);

// The number of elements of every non-empty parameter of that name and type, links followed.
int32 count_combined_map_action_parameter(int16 action_index, field_tag field_name, int16 type);
// Element index of the combined list; false outside it.
boolean get_combined_map_action_element(int16 action_index, field_tag field_name, int16 type, void *out, int32 index);

boolean get_indexed_byte_parameter(int16 action_index, field_tag field_name, int16 type, void *out, int32 index);
boolean get_indexed_short_integer_parameter(int16 action_index, field_tag field_name, int16 type, void *out, int32 index);
boolean get_indexed_long_integer_parameter(int16 action_index, field_tag field_name, int16 type, void *out, int32 index);
boolean get_indexed_world_point2d_parameter(int16 action_index, field_tag field_name, world_point2d *out, int32 index);
// out takes four world_distance values (minimum x, y, maximum x, y).
boolean get_indexed_world_rectangle2d_parameter(int16 action_index, field_tag field_name, void *out, int32 index);
boolean get_indexed_world_point3d_parameter(int16 action_index, field_tag field_name, world_point3d *out, int32 index);

// The action's own first non-empty type-1 parameter of that name, when its count is exactly size.
boolean get_map_action_structure(int16 action_index, field_tag field_name, int32 size, void *buffer);

boolean test_actions_for_success(const int16 *action_identifiers, int32 count, boolean all);
void call_function_with_action_identifiers(map_action_index_proc function, const int16 *action_identifiers,
	int32 count);
boolean call_functions_with_actions_in_parameter(map_action_index_proc function, int16 action_index,
	field_tag field_name);

// Common idioms.
static inline boolean map_action_has_flag(int16 action_index, field_tag field_name)
{
	return get_map_action_parameter(nullptr, action_index, _return_empty_arrays_flag, field_name, _parameter_flag);
}
// Element 0 of the first non-empty matching parameter, links followed.
boolean get_map_action_integer(int16 action_index, field_tag field_name, int32 *value);
boolean get_map_action_fixed(int16 action_index, field_tag field_name, int32 *value);
boolean get_map_action_world_distance(int16 action_index, field_tag field_name, int32 *value);
boolean get_map_action_identifier_parameter(int16 action_index, field_tag field_name, int16 *value);
boolean get_map_action_field_name(int16 action_index, field_tag field_name, field_tag *value);

#endif
