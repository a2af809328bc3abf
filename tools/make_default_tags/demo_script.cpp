#include "demo_script.h"

#include "script_builder.h"

namespace {

enum
{
	_opening,
	_stagger,
	_tally,
	_count_passes,
	_enough,
	_two_teams,
	_under_way,
	_lock,
	_arm_the_end,
	_the_end,
	_prohibited_teams
};

} // namespace

map_action_section demo_script_section(void)
{
	if (!begin_script_section()) return map_action_section{0, {}};

	script_builder b(DEMO_SCRIPT_ACTION_COUNT);
	const uint32 initially_active = _map_action_initially_active_flag | _map_action_no_initial_delay_flag;
	b.add_action(_opening, "acli", "opening", initially_active, _map_action_deactivates_on_trigger);
	b.add_action(_stagger, "dela", "stagger", 0, _map_action_deactivates_on_successful_execution);
	b.add_action(_tally, "math", "tally", 0, _map_action_deactivates_on_trigger);
	b.add_action(_count_passes, "math", "count passes", 0, _map_action_deactivates_never);
	b.add_action(_enough, "math", "enough", 0, _map_action_deactivates_on_trigger);
	b.add_action(_two_teams, "plyc", "two teams", 0, _map_action_deactivates_on_trigger);
	b.add_action(_under_way, "plan", "under way", 0, _map_action_deactivates_on_trigger);
	b.add_action(_lock, "lock", "lock", 0, _map_action_deactivates_never);
	b.add_action(_arm_the_end, "mung", "arm the end", 0, _map_action_deactivates_on_trigger);
	b.add_action(_the_end, "endg", "the end", 0, _map_action_deactivates_on_trigger);
	b.add_action(_prohibited_teams, "prta", "prohibited teams", 0, _map_action_deactivates_on_trigger);

	b.identifiers(_opening, "acti", {_stagger, _count_passes, _lock, _arm_the_end});
	const fixed certain[4] = {FIXED_ONE, FIXED_ONE, FIXED_ONE, FIXED_ONE};
	b.parameter(_opening, "acch", _parameter_fixed, 4, certain);

	int16 subjects[DEMO_SCRIPT_SUBJECT_COUNT];
	for (int16 i = 0; i < DEMO_SCRIPT_SUBJECT_COUNT; ++i) subjects[i] = static_cast<int16>(DEMO_SCRIPT_FIRST_SUBJECT_IDENTIFIER + i);
	b.parameter(_stagger, "subj", _parameter_monster_identifier, DEMO_SCRIPT_SUBJECT_COUNT, subjects);
	const fixed four_seconds = 4 * FIXED_ONE;
	b.parameter(_stagger, "time", _parameter_fixed, 1, &four_seconds);
	b.flag(_stagger, "dist");
	b.identifiers(_stagger, "resu", {_tally});

	const field_tag result = TAG("resu");
	for (int32 counter : {_tally, _count_passes})
	{
		b.identifiers(counter, "lact", {counter});
		b.parameter(counter, "lfld", _parameter_field_name, 1, &result);
		b.integer(counter, "rint", 1);
		b.flag(counter, "+___");
		b.integer(counter, "resu", 0);
	}
	b.identifiers(_enough, "lact", {_count_passes});
	b.parameter(_enough, "lfld", _parameter_field_name, 1, &result);
	b.integer(_enough, "rint", 120);
	b.flag(_enough, ">=__");

	b.integer(_two_teams, "tc_>", 1);
	b.flag(_under_way, "plan");

	b.identifiers(_lock, "keys", {_enough, _two_teams, _under_way});
	b.identifiers(_lock, "___3", {_the_end});

	b.identifiers(_arm_the_end, "pins", {_the_end});
	b.flag(_arm_the_end, "noce");
	// A count-1 'noce' flag: stored with one element.
	{
		map_action_parameter handle;
		get_map_action_parameter(&handle, b.indexes[_arm_the_end], _dont_resolve_links_flag | _return_empty_arrays_flag,
			TAG("noce"), _parameter_flag);
		const uint8 one = 1;
		b.good = b.good && set_map_action_parameter(&handle, 1, &one);
	}

	b.flag(_the_end, "ligh");

	// Slot 1 is withheld under assassination (scoring 11).
	const int32 prohibited[2] = {11, 1};
	b.parameter(_prohibited_teams, "team", _parameter_integer, 2, prohibited);

	return finish_script_section(b);
}
