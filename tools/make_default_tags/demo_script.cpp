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
	_prohibited_teams,
	// Each side seeks the other out once either is down to its last few.
	_light_count,
	_dark_count,
	_light_thin,
	_dark_thin,
	_light_closers,
	_dark_closers,
	_light_throwers,
	_dark_throwers,
	_light_seek,
	_dark_seek,
	_light_seek_from_afar,
	_dark_seek_from_afar,
	NUMBER_OF_DEMO_ACTIONS
};
static_assert(NUMBER_OF_DEMO_ACTIONS == DEMO_SCRIPT_ACTION_COUNT, "the header counts the script's actions");

// Units that stand out of each other's sight (an idle unit scans only ahead
// of it) or that cannot hurt each other (archers at the edge of their reach
// miss a small target for good) would keep the battle from its end: down to
// a few a side, each side's units are sent at the other's nearest. Bomb
// throwers keep their distance, or they would stand under their own minimum
// range.
void add_seek_actions(script_builder *b)
{
	const uint32 watching = _map_action_initially_active_flag | _map_action_no_initial_delay_flag;
	const int16 never = _map_action_deactivates_never;
	b->add_action(_light_count, "geom", "light's army", watching, never);
	b->add_action(_dark_count, "geom", "dark's army", watching, never);
	b->add_action(_light_thin, "tuni", "light thin", watching, never);
	b->add_action(_dark_thin, "tuni", "dark thin", watching, never);
	b->add_action(_light_closers, "geom", "light closers", _map_action_no_initial_delay_flag, never);
	b->add_action(_dark_closers, "geom", "dark closers", _map_action_no_initial_delay_flag, never);
	b->add_action(_light_throwers, "geom", "light throwers", _map_action_no_initial_delay_flag, never);
	b->add_action(_dark_throwers, "geom", "dark throwers", _map_action_no_initial_delay_flag, never);
	b->add_action(_light_seek, "atta", "light seek", _map_action_no_initial_delay_flag, never);
	b->add_action(_dark_seek, "atta", "dark seek", _map_action_no_initial_delay_flag, never);
	b->add_action(_light_seek_from_afar, "atta", "light seek from afar", _map_action_no_initial_delay_flag, never);
	b->add_action(_dark_seek_from_afar, "atta", "dark seek from afar", _map_action_no_initial_delay_flag, never);

	const field_tag subjects[3] = {TAG("subj"), TAG("subj"), TAG("subj")};
	const std::initializer_list<int32> seeking = {_light_closers, _dark_closers, _light_throwers, _dark_throwers,
		_light_seek, _dark_seek, _light_seek_from_afar, _dark_seek_from_afar};
	const int32 thrower_power = 35;
	for (int32 team = 0; team < 2; ++team)
	{
		const int32 count = team == 0 ? _light_count : _dark_count;
		const int32 thin = team == 0 ? _light_thin : _dark_thin;
		const int32 closers = team == 0 ? _light_closers : _dark_closers;
		const int32 throwers = team == 0 ? _light_throwers : _dark_throwers;
		const int32 seek = team == 0 ? _light_seek : _dark_seek;
		const int32 seek_from_afar = team == 0 ? _light_seek_from_afar : _dark_seek_from_afar;
		b->integer(count, "team", team);
		b->identifiers(count, "resu", {thin, closers, throwers});
		b->parameter(count, "insi", _parameter_field_name, 3, subjects);

		b->parameter(thin, "subj", _parameter_monster_identifier, 0, nullptr);
		b->integer(thin, "___<", DEMO_SCRIPT_FEW_UNITS + 1);
		b->identifiers(thin, "acos", seeking);

		b->parameter(closers, "subj", _parameter_monster_identifier, 0, nullptr);
		b->integer(closers, "pow<", thrower_power);
		b->parameter(throwers, "subj", _parameter_monster_identifier, 0, nullptr);
		b->integer(throwers, "pow>", thrower_power);
		for (int32 kind : {closers, throwers})
		{
			b->flag(kind, "_map");
			b->identifiers(kind, "resu", {kind == closers ? seek : seek_from_afar});
			b->parameter(kind, "insi", _parameter_field_name, 1, subjects);
		}
		for (int32 order : {seek, seek_from_afar})
		{
			b->parameter(order, "subj", _parameter_monster_identifier, 0, nullptr);
			b->integer(order, "team", 1 - team);
			b->flag(order, "near");
			b->delays(order, DEMO_SCRIPT_SEEK_PERIOD, 0);
		}
		b->flag(seek, "clos");
	}
}

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

	add_seek_actions(&b);

	return finish_script_section(b);
}
