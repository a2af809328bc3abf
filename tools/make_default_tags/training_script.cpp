#include "training_script.h"

// Orbit, move, zoom the camera.
const int16 training_step_cases[TRAINING_STEP_COUNT] = {51, 52, 55};

static const char *step_name(int16 test_case)
{
	switch (test_case)
	{
		case 51: return "orbit the camera";
		case 52: return "move the camera";
		case 53: return "turn the camera";
		case 54: return "pan the camera";
		case 55: return "zoom the camera";
		case 101: return "scatter";
		case 161: return "march in a vanguard";
		default: return "step";
	}
}

map_action_section training_script_section(const int16 *cases, int32 count)
{
	if (!cases || count < 1 || count > MAXIMUM_TRAINING_STEPS) return map_action_section{0, {}};
	if (!begin_script_section()) return map_action_section{0, {}};
	const int32 action_count = TRAINING_SCRIPT_ACTION_COUNT(count);
	script_builder b(action_count);
	const int32 well_done = count, first_advance = count + 1, wrong = action_count - 1;
	const int16 mode = _map_action_deactivates_on_trigger;
	for (int32 step = 0; step < count; ++step)
	{
		const uint32 flags = step == 0 ? _map_action_initially_active_flag | _map_action_no_initial_delay_flag
									   : _map_action_no_initial_delay_flag;
		b.add_action(step, "snif", step_name(cases[step]), flags, mode);
	}
	b.add_action(well_done, "endg", "well done", _map_action_no_initial_delay_flag, mode);
	for (int32 step = 0; step < count; ++step)
	{
		b.add_action(first_advance + step, "miss", "advance", _map_action_no_initial_delay_flag, mode);
		b.flag(first_advance + step, "adva");
	}
	b.add_action(wrong, "fade", "wrong", _map_action_no_initial_delay_flag, mode);
	b.integer(wrong, "dura", 15);
	const int32 red[3] = {65535, 0, 0};
	b.parameter(wrong, "colr", _parameter_integer, 3, red);

	for (int32 step = 0; step < count; ++step)
	{
		b.integer(step, "case", cases[step]);
		b.identifiers(step, "acos", {step + 1 < count ? step + 1 : well_done, first_advance + step});
		b.identifiers(step, "acer", {wrong});
	}
	b.flag(well_done, "ligh");
	return finish_script_section(b);
}
