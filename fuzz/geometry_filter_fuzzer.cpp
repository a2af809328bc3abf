// Arbitrary map-action sections run through the geometry filter and the unit
// test in the small world of units: every live 'geom' and 'tuni' is triggered
// in index order, with the store's block invariants and the procs' results
// checked after each.
//
// Input: a play-version selector byte, a big-endian i16 action count, then the
// section (records and parameter area, big-endian, as stored).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "map_actions/map_action_accessors.h"
#include "map_actions/map_actions.h"
#include "map_actions/unit_query_action_procs.h"
#include "map_fuzz_support.h"

namespace {

const int16 game_play_versions[] = {1300, 1510, 1511, 1600, 1601, 1695, 1696, 1710, 1711, 1720};

// What a filter's first result goes to, read before it runs (it may write
// into its own fields).
struct first_result
{
	int16 target;
	int32 field_count;
	field_tag fields[4];
};

void read_first_result(int16 filter, first_result *result)
{
	static const field_tag names[4] = {TAG("insi"), TAG("outs"), TAG("inlo"), TAG("oulo")};
	result->target = filter;
	result->field_count = 0;
	int16 first;
	if (get_combined_map_action_parameter(filter, TAG("resu"), _parameter_action_identifier, &first, 1) == 1)
	{
		result->target = action_identifier_to_action_index(first);
	}
	for (int32 f = 0; f < 4; ++f)
	{
		field_tag field;
		// A field named NONE is ignored by the filter (it would match every field).
		if (get_indexed_long_integer_parameter(filter, names[f], _parameter_field_name, &field, 0) &&
			field != static_cast<field_tag>(NONE))
		{
			result->fields[result->field_count++] = field;
		}
	}
}

// After a filter added something (from play version 1301), its first target's
// fields hold one own parameter each, of a written type, of at most 400 elements.
void check_written_fields(const first_result *result)
{
	if (result->target == NONE) return;
	for (int32 f = 0; f < result->field_count; ++f)
	{
		find_map_action_parameter_state search;
		map_action_parameter parameter;
		new_find_map_action_parameter_state(&search, result->target, _dont_resolve_links_flag | _return_empty_arrays_flag,
			result->fields[f], NONE);
		int32 found = 0;
		while (find_next_map_action_parameter(&search, &parameter))
		{
			++found;
			check(parameter.type == _parameter_monster_identifier || parameter.type == _parameter_object_identifier ||
				parameter.type == _parameter_world_point2d);
			check(parameter.count <= MAXIMUM_GEOMETRY_FILTER_CANDIDATES);
		}
		check(found == 1);
	}
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	const fuzz_directory_scope in_folder("geometry-filter");
	if (!import_fuzz_unit_world_script(data, size, game_play_versions)) return 0;
	check_map_action_store();
	for (int16 index = 0; index < map_action_array.count; ++index)
	{
		const map_action *action = get_map_action(index);
		if (!action) continue;
		uint32 result;
		if (action->tag == TAG("geom"))
		{
			first_result expected;
			read_first_result(index, &expected);
			result = geometry_filter_action_proc(index);
			if (result && game_play_version != 1300) check_written_fields(&expected);
		}
		else if (action->tag == TAG("tuni"))
		{
			result = test_units_action_proc(index);
		}
		else
		{
			continue;
		}
		check(result == 0 || result == static_cast<uint32>(_map_action_proc_succeeded_flag));
		check_map_action_store();
	}
	dispose_map_actions_from_old_map();
	return 0;
}
