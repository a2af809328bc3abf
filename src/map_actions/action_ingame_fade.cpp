// 'fade': a full-screen colour fade.
#include "map_actions/presentation_action_procs.h"

#include "interface.h"
#include "map_actions/map_action_accessors.h"

static int16 clamp_to_int16(int32 value)
{
	return static_cast<int16>(PIN(value, INT16_MIN, INT16_MAX));
}

uint32 ingame_fade_action_proc(int16 action_index)
{
	int32 duration;
	if (!get_map_action_integer(action_index, TAG("dura"), &duration)) return 0;
	rgb_color color = {0, 0, 0, 0};
	int32 channels[3];
	boolean complete = TRUE;
	for (int32 i = 0; i < 3; ++i)
	{
		complete = complete && get_indexed_long_integer_parameter(action_index, TAG("colr"), _parameter_integer, &channels[i], i);
	}
	if (complete)
	{
		color.red = static_cast<uint16>(PIN(channels[0], 0, 65535));
		color.green = static_cast<uint16>(PIN(channels[1], 0, 65535));
		color.blue = static_cast<uint16>(PIN(channels[2], 0, 65535));
	}
	int32 starting_duration = duration;
	get_map_action_integer(action_index, TAG("durs"), &starting_duration);
	set_ingame_fade(&color, clamp_to_int16(duration), clamp_to_int16(starting_duration));
	return _map_action_proc_succeeded_flag;
}
