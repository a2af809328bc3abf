// Tutorial sniffing: the tutorial harness that watches the player's input.
#ifndef SNIFFING_H
#define SNIFFING_H

#include "cseries.h"

struct action_data;
struct command_header;

enum // test_case
{
	_no_test = 0,
	_test_overhead_map_is_visible = 1,

	_test_action_bring_up_overhead_map = 50,
	_test_action_orbiting_camera,
	_test_action_moving_camera_forwards_and_backwards,
	_test_action_rotating_camera,
	_test_action_panning_camera,
	_test_action_zooming_camera,

	_test_command_stop = 100,
	_test_command_scatter,
	_test_command_retreat,
	_test_command_special_ability,
	_test_command_guard,
	_test_command_movement,
	_test_command_target,
	_test_command_attack_location,
	_test_command_pick_up,
	_test_command_attacking,

	_test_command_special_ability_attack_reflexive = 150,
	_test_command_special_ability_attack_nonreflexive,
	_test_command_special_ability_attack_vs_anyone,

	_test_command_movement_formation_loose_line = 160,
	_test_command_movement_formation_vanguard,
	_test_command_movement_formation_any
};

#define FIRST_ACTION_TEST 50
#define LAST_ACTION_TEST 56
#define FIRST_COMMAND_TEST 100
#define LAST_COMMAND_TEST 163
#define SNIFFING_COMMAND_BUFFER_SIZE 4096

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
static_assert(sizeof(new_sniffing_data) == 20);

void initialize_sniffing_for_new_map(void);
void dispose_sniffing_from_old_map(void);
// May clear the sample.
void handle_action_sniffing(action_data *action);
// False drops the local command.
boolean handle_command_sniffing(command_header *command);
// True when the test already holds (test case 1: the overhead map is shown).
boolean toggle_sniffing(const new_sniffing_data *data);

// What the armed test is (tests and the digest).
struct sniffing_globals_data
{
	uint32 flags;
	uint8 *command_header; // SNIFFING_COMMAND_BUFFER_SIZE bytes, NULL when not allocated
	int16 internal_action_identifier;
	int16 test_case;
	int32 next_possible_error_time; // game tick
	int32 time_between_errors_min;
	int32 time_between_errors_delta;
};

const sniffing_globals_data *get_sniffing_state(void);

struct zerv_digest;
void sniffing_fold_digest(zerv_digest *digest);

#endif
