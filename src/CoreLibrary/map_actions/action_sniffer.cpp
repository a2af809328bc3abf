// 'snif': arms a tutorial test of the player's input.
#include "map_actions/general_action_procs.h"
#include "map_actions/map_action_accessors.h"
#include "sniffing.h"

uint32 sniffer_action_proc(int16 action_index)
{
	int32 test_case;
	if (!get_map_action_integer(action_index, TAG("case"), &test_case))
	{
		map_action_debug(action_index, "missing test case");
		return 0;
	}
	new_sniffing_data data = {};
	data.action_identifier = get_map_action_identifier(action_index);
	data.test_case = static_cast<int16>(test_case);
	int32 delay = DEFAULT_INITIAL_DELAY_BEFORE_ERRORS;
	get_map_action_integer(action_index, TAG("inde"), &delay);
	data.initial_delay_before_errors = delay;
	data.time_between_errors_min = DEFAULT_INITIAL_DELAY_BEFORE_ERRORS;
	data.time_between_errors_delta = 0;
	map_action_parameter time;
	if (get_map_action_parameter(&time, action_index, 0, TAG("time"), _parameter_integer) && time.count == 2)
	{
		get_indexed_long_integer_parameter(action_index, TAG("time"), _parameter_integer, &data.time_between_errors_min, 0);
		get_indexed_long_integer_parameter(action_index, TAG("time"), _parameter_integer, &data.time_between_errors_delta, 1);
	}
	if (!map_action_has_flag(action_index, TAG("nclr"))) data.flags |= _sniffing_clear_after_success_flag;
	if (map_action_has_flag(action_index, TAG("keep"))) data.flags |= _sniffing_keep_reporting_errors_after_initial_success_flag;
	return toggle_sniffing(&data) ? _map_action_proc_succeeded_flag : 0;
}
