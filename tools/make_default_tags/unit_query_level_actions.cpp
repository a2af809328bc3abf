#include "unit_query_level_actions.h"

#include <initializer_list>

#include "map_actions/map_actions.h"
#include "world.h"

namespace {

enum
{
	_midfield_watch,
	_front_count,
	_tally_front,
	_pick_two,
	_hurt_check,
	_tally_hurt,
	_skirmish,
	_tally_skirmish
};

struct level_builder
{
	int16 indexes[UNIT_QUERY_LEVEL_ACTION_COUNT];
	bool good = true;

	void add_action(int32 slot, const char (&tag)[5], const char *name, uint32 flags, int16 mode)
	{
		const int16 index = new_map_action(NONE);
		indexes[slot] = index;
		good = good && index != NONE && set_map_action_name(index, name);
		if (index == NONE) return;
		set_map_action_tag(index, TAG(tag));
		get_map_action(index)->flags = flags;
		get_map_action(index)->deactivation_mode = mode;
	}

	void parameter(int32 slot, const char (&field)[5], int16 type, int32 count, const void *data)
	{
		map_action_parameter handle;
		good = good && indexes[slot] != NONE && new_map_action_parameter(&handle, indexes[slot], TAG(field), type) &&
			(count == 0 || set_map_action_parameter(&handle, count, data));
	}

	void identifiers(int32 slot, const char (&field)[5], std::initializer_list<int32> slots)
	{
		int16 list[8];
		int32 count = 0;
		for (int32 target : slots) list[count++] = get_map_action_identifier(indexes[target]);
		parameter(slot, field, _parameter_action_identifier, count, list);
	}

	void flag(int32 slot, const char (&field)[5]) { parameter(slot, field, _parameter_flag, 0, nullptr); }
	void integer(int32 slot, const char (&field)[5], int32 value) { parameter(slot, field, _parameter_integer, 1, &value); }
	void field_name(int32 slot, const char (&field)[5], field_tag value)
	{
		parameter(slot, field, _parameter_field_name, 1, &value);
	}
	void front_subjects(int32 slot)
	{
		int16 subjects[UNIT_QUERY_LEVEL_FRONT_COUNT];
		for (int16 i = 0; i < UNIT_QUERY_LEVEL_FRONT_COUNT; ++i)
		{
			subjects[i] = static_cast<int16>(UNIT_QUERY_LEVEL_FIRST_FRONT_IDENTIFIER + i);
		}
		parameter(slot, "subj", _parameter_monster_identifier, UNIT_QUERY_LEVEL_FRONT_COUNT, subjects);
	}
	// A counter: its own 'resu' integer grows by one each time it runs.
	void counter(int32 slot)
	{
		identifiers(slot, "lact", {slot});
		field_name(slot, "lfld", TAG("resu"));
		integer(slot, "rint", 1);
		flag(slot, "+___");
		integer(slot, "resu", 0);
	}
};

} // namespace

bool append_unit_query_level_actions(void)
{
	level_builder b;
	const uint32 watching = _map_action_initially_active_flag | _map_action_no_initial_delay_flag;
	b.add_action(_midfield_watch, "geom", "midfield watch", watching, _map_action_deactivates_never);
	b.add_action(_front_count, "tuni", "front count", watching, _map_action_deactivates_never);
	b.add_action(_tally_front, "math", "tally front", 0, _map_action_deactivates_on_trigger);
	b.add_action(_pick_two, "geom", "pick two", watching, _map_action_deactivates_never);
	b.add_action(_hurt_check, "tuni", "hurt check", watching, _map_action_deactivates_never);
	b.add_action(_tally_hurt, "math", "tally hurt", 0, _map_action_deactivates_on_trigger);
	b.add_action(_skirmish, "tuni", "skirmish", watching, _map_action_deactivates_never);
	b.add_action(_tally_skirmish, "math", "tally skirmish", 0, _map_action_deactivates_on_trigger);
	if (!b.good) return false;

	// The strip between the armies, its corners in the order the polygon test encloses.
	const world_distance x0 = 24 * WORLD_ONE, x1 = 60 * WORLD_ONE, y0 = 64 * WORLD_ONE, y1 = 71 * WORLD_ONE;
	const world_point2d strip[4] = {{x0, y0}, {x0, y1}, {x1, y1}, {x1, y0}};
	const world_point2d middle = {(x0 + x1) / 2, (y0 + y1) / 2};
	if (!point_in_polygon_test(&middle, strip, 4, TRUE)) return false;
	b.front_subjects(_midfield_watch);
	b.parameter(_midfield_watch, "poly", _parameter_world_point2d, 4, strip);
	b.flag(_midfield_watch, "clpo");
	b.identifiers(_midfield_watch, "resu", {_front_count});
	b.field_name(_midfield_watch, "insi", TAG("subj"));

	b.parameter(_front_count, "subj", _parameter_monster_identifier, 0, nullptr);
	b.integer(_front_count, "___>", 1);
	b.identifiers(_front_count, "acos", {_tally_front});

	b.integer(_pick_two, "team", 0);
	b.integer(_pick_two, "_max", 2);
	b.flag(_pick_two, "rand");
	b.identifiers(_pick_two, "resu", {_hurt_check});
	b.field_name(_pick_two, "insi", TAG("subj"));

	b.parameter(_hurt_check, "subj", _parameter_monster_identifier, 0, nullptr);
	const fixed three_quarters = FIXED_ONE / 4 * 3;
	b.parameter(_hurt_check, "<vit", _parameter_fixed, 1, &three_quarters);
	b.identifiers(_hurt_check, "acos", {_tally_hurt});

	b.front_subjects(_skirmish);
	const int32 radii[2] = {1024, 4096};
	b.parameter(_skirmish, "clos", _parameter_world_distance, 2, radii);
	b.flag(_skirmish, "igin");
	b.identifiers(_skirmish, "acos", {_tally_skirmish});

	for (int32 slot : {_tally_front, _tally_hurt, _tally_skirmish}) b.counter(slot);
	return b.good;
}
