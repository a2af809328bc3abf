// Tutorial sniffing: the tutorial harness that watches the player's input.
#ifndef SNIFFING_H
#define SNIFFING_H

#include "cseries.h"

struct action_data;
struct command_header;

enum
{
	_sniffing_clear_after_success_bit,
	_sniffing_keep_reporting_errors_after_initial_success_bit,
	_sniffing_already_successful_bit,
	_sniffing_report_errors_bit,

	_sniffing_clear_after_success_flag = 1 << _sniffing_clear_after_success_bit,
	_sniffing_keep_reporting_errors_after_initial_success_flag = 1 << _sniffing_keep_reporting_errors_after_initial_success_bit,
	_sniffing_already_successful_flag = 1 << _sniffing_already_successful_bit,
	_sniffing_report_errors_flag = 1 << _sniffing_report_errors_bit
};

// What a 'snif' action arms.
struct new_sniffing_data
{
	uint32 flags;
	int16 action_identifier;
	int16 test_case;
	int32 initial_delay_before_errors; // ticks
	int32 time_between_errors_min;
	int32 time_between_errors_delta;
};

void initialize_sniffing_for_new_map(void);
void dispose_sniffing_from_old_map(void);
// May clear the sample.
void handle_action_sniffing(action_data *action);
// False drops the local command.
boolean handle_command_sniffing(command_header *command);
// True when the test already holds (test case 1: the overhead map is shown).
boolean toggle_sniffing(const new_sniffing_data *data);

// Test hooks: the last data armed and the number of calls.
struct sniffing_test_hooks_data
{
	int32 toggle_count;
	new_sniffing_data last_data;
	// While set, handle_command_sniffing drops every local command.
	boolean refuse_commands;
};
sniffing_test_hooks_data *get_sniffing_test_hooks(void);

#endif
