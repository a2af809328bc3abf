#include "training_script.h"

// Orbit, move, zoom the camera; scatter; march in a vanguard.
const int16 training_step_cases[TRAINING_STEP_COUNT] = {51, 52, 55, 101, 161};

map_action_section training_script_section(void)
{
	if (!begin_script_section()) return map_action_section{0, {}};
	script_builder b(TRAINING_SCRIPT_ACTION_COUNT);
	const int32 well_done = TRAINING_STEP_COUNT, first_advance = TRAINING_STEP_COUNT + 1,
		wrong = TRAINING_SCRIPT_ACTION_COUNT - 1;
	const int16 mode = _map_action_deactivates_on_trigger;
	static const char *const step_names[TRAINING_STEP_COUNT] = {"orbit the camera", "move the camera",
		"zoom the camera", "scatter", "march in a vanguard"};
	for (int32 step = 0; step < TRAINING_STEP_COUNT; ++step)
	{
		const uint32 flags = step == 0 ? _map_action_initially_active_flag | _map_action_no_initial_delay_flag
									   : _map_action_no_initial_delay_flag;
		b.add_action(step, "snif", step_names[step], flags, mode);
	}
	b.add_action(well_done, "endg", "well done", _map_action_no_initial_delay_flag, mode);
	for (int32 step = 0; step < TRAINING_STEP_COUNT; ++step)
	{
		b.add_action(first_advance + step, "miss", "advance", _map_action_no_initial_delay_flag, mode);
		b.flag(first_advance + step, "adva");
	}
	b.add_action(wrong, "fade", "wrong", _map_action_no_initial_delay_flag, mode);
	b.integer(wrong, "dura", 15);
	const int32 red[3] = {65535, 0, 0};
	b.parameter(wrong, "colr", _parameter_integer, 3, red);

	for (int32 step = 0; step < TRAINING_STEP_COUNT; ++step)
	{
		b.integer(step, "case", training_step_cases[step]);
		b.identifiers(step, "acos", {step + 1 < TRAINING_STEP_COUNT ? step + 1 : well_done, first_advance + step});
		b.identifiers(step, "acer", {wrong});
	}
	b.flag(well_done, "ligh");
	return finish_script_section(b);
}
