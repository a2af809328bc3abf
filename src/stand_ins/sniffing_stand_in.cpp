// No tutorial test is ever armed yet, so every sample and command passes; a
// 'snif' action's data is kept for tests.
#include "overhead_map.h"
#include "sniffing.h"

static sniffing_test_hooks_data sniffing_test_hooks;

void initialize_sniffing_for_new_map(void)
{
}

void dispose_sniffing_from_old_map(void)
{
}

void handle_action_sniffing(action_data *)
{
}

boolean handle_command_sniffing(command_header *)
{
	return !sniffing_test_hooks.refuse_commands;
}

boolean toggle_sniffing(const new_sniffing_data *data)
{
	sniffing_test_hooks.toggle_count += 1;
	sniffing_test_hooks.last_data = *data;
	if (data->test_case == 1) return get_overhead_map_state();
	return FALSE;
}

sniffing_test_hooks_data *get_sniffing_test_hooks(void)
{
	return &sniffing_test_hooks;
}
