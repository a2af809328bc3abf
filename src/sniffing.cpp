// Tutorial sniffing: an armed test watches the local player's input samples
// and outgoing commands, reports success or (at most once per interval) an
// error to its 'snif' action, and swallows wrong input.
//
// The reports are local input acting on the script, outside the command
// stream: a game that arms a test does not replay from its film.
#include "sniffing.h"

#include <cstring>

#include "commands.h"
#include "error_manager.h"
#include "formations.h"
#include "input/actions.h"
#include "map_actions/map_actions.h"
#include "memory.h"
#include "overhead_map.h"
#include "world.h"
#include "zerv.h"

static sniffing_globals_data sniffing_globals;

// Camera and map inputs that an action test judges.
static const int16 valid_action_flags[12] = {
	_orbit_left_bit, _orbit_right_bit, _move_forward_bit, _move_backward_bit, _yaw_left_bit, _yaw_right_bit,
	_move_left_bit, _move_right_bit, _zoom_in_bit, _zoom_out_bit, _toggle_overhead_map_bit, _pause_game_bit};

// Keys the action tests ignore: Escape and the function keys.
static const int16 invalid_key_codes[16] = {
	_key_escape, _key_f1, _key_f2, _key_f3, _key_f4, _key_f5, _key_f6, _key_f7, _key_f8, _key_f9, _key_f10,
	_key_f11, _key_f12, _key_f13, _key_f14, _key_f15};

static int32 current_game_time(void)
{
	return game ? game->game_time : 0;
}

static int32 saturated_sum(int64 sum)
{
	if (sum > INT32_MAX) return INT32_MAX;
	if (sum < INT32_MIN) return INT32_MIN;
	return static_cast<int32>(sum);
}

static int16 sniffing_action_index(void)
{
	return action_identifier_to_action_index(sniffing_globals.internal_action_identifier);
}

static void clear_sniffing_state(void)
{
	uint8 *buffer = sniffing_globals.command_header;
	memset(&sniffing_globals, 0, sizeof(sniffing_globals));
	sniffing_globals.command_header = buffer;
	sniffing_globals.internal_action_identifier = NONE;
}

void initialize_sniffing_for_new_map(void)
{
	clear_sniffing_state();
	if (!sniffing_globals.command_header)
	{
		sniffing_globals.command_header = static_cast<uint8 *>(new_pointer(SNIFFING_COMMAND_BUFFER_SIZE));
		if (!sniffing_globals.command_header)
		{
			error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate #%d bytes for command header",
				SNIFFING_COMMAND_BUFFER_SIZE);
		}
	}
}

void dispose_sniffing_from_old_map(void)
{
	free_and_clear(&sniffing_globals.command_header);
	clear_sniffing_state();
}

const sniffing_globals_data *get_sniffing_state(void)
{
	return &sniffing_globals;
}

void sniffing_fold_digest(zerv_digest *digest)
{
	zerv_digest_int16(digest, sniffing_globals.test_case);
	zerv_digest_uint32(digest, sniffing_globals.flags);
	zerv_digest_int16(digest, sniffing_globals.internal_action_identifier);
	zerv_digest_int32(digest, sniffing_globals.next_possible_error_time);
	zerv_digest_int32(digest, sniffing_globals.time_between_errors_min);
	zerv_digest_int32(digest, sniffing_globals.time_between_errors_delta);
}

boolean toggle_sniffing(const new_sniffing_data *data)
{
	if (!data) return FALSE;
	if (data->test_case == _test_overhead_map_is_visible) return get_overhead_map_state();
	// The menu's background game plays without a player to teach.
	if (game && game->type == _game_type_demo) return FALSE;

	sniffing_globals.test_case = data->test_case;
	sniffing_globals.flags = data->flags | _sniffing_report_errors_flag;
	sniffing_globals.internal_action_identifier = data->action_identifier;
	sniffing_globals.time_between_errors_min = data->time_between_errors_min;
	sniffing_globals.time_between_errors_delta = data->time_between_errors_delta;
	sniffing_globals.next_possible_error_time =
		saturated_sum(static_cast<int64>(current_game_time()) + data->initial_delay_before_errors);
	return FALSE;
}

static void sniffing_success(void)
{
	if (!(sniffing_globals.flags & _sniffing_already_successful_flag))
	{
		const int16 action_index = sniffing_action_index();
		if (action_index != NONE) set_map_action_success(action_index);
	}
	if (sniffing_globals.flags & _sniffing_clear_after_success_flag) sniffing_globals.test_case = _no_test;
	if (!(sniffing_globals.flags & _sniffing_keep_reporting_errors_after_initial_success_flag))
	{
		sniffing_globals.flags &= ~static_cast<uint32>(_sniffing_report_errors_flag);
	}
	sniffing_globals.flags |= _sniffing_already_successful_flag;
}

// The caller has decided the time has come.
static void sniffing_error(void)
{
	if (!(sniffing_globals.flags & _sniffing_report_errors_flag)) return;
	const int16 action_index = sniffing_action_index();
	if (action_index != NONE) set_map_action_error(action_index);
	int64 next = static_cast<int64>(current_game_time()) + sniffing_globals.time_between_errors_min;
	if (sniffing_globals.time_between_errors_delta > 0)
	{
		next += (static_cast<int64>(zerv_random()) * sniffing_globals.time_between_errors_delta) >> 16;
	}
	sniffing_globals.next_possible_error_time = saturated_sum(next);
}

/* ---------- input samples */

static boolean action_is_relevant(const action_data *action)
{
	for (int16 bit : valid_action_flags)
	{
		if (test_action_flag(action, bit)) return TRUE;
	}
	if (action->key_code == NONE) return FALSE;
	for (int16 key : invalid_key_codes)
	{
		if (action->key_code == key) return FALSE;
	}
	return TRUE;
}

static boolean action_passes_test(const action_data *action, int16 test_case)
{
	int16 first = NONE, second = NONE;
	switch (test_case)
	{
		case _test_action_bring_up_overhead_map: first = second = _toggle_overhead_map_bit; break;
		case _test_action_orbiting_camera: first = _orbit_left_bit, second = _orbit_right_bit; break;
		case _test_action_moving_camera_forwards_and_backwards: first = _move_forward_bit, second = _move_backward_bit; break;
		case _test_action_rotating_camera: first = _yaw_left_bit, second = _yaw_right_bit; break;
		case _test_action_panning_camera: first = _move_left_bit, second = _move_right_bit; break;
		case _test_action_zooming_camera: first = _zoom_in_bit, second = _zoom_out_bit; break;
		default: return FALSE;
	}
	return test_action_flag(action, first) || test_action_flag(action, second);
}

void handle_action_sniffing(action_data *action)
{
	// A sample is one machine's input: only a game of one machine acts on it.
	if (!action || !game || game->type != _game_type_local) return;
	const int16 test_case = sniffing_globals.test_case;
	if (test_case < FIRST_ACTION_TEST || test_case >= LAST_ACTION_TEST) return;
	if (!action_is_relevant(action)) return;
	// The press of a camera key is judged as the action it is bound to: the
	// sample of the press carries the key, the held key's samples the action.
	action_data judged = *action;
	const int16 bound_bit = camera_action_bit_for_key(action->key_code);
	if (bound_bit != NONE) set_action_flag(&judged, bound_bit, TRUE);
	if (action_passes_test(&judged, test_case))
	{
		sniffing_success();
		return;
	}
	if (current_game_time() > sniffing_globals.next_possible_error_time) sniffing_error();
	clear_action(action);
}

/* ---------- commands */

namespace
{
	struct decoded_lists
	{
		int16 first_count, second_count;
		const uint8 *first, *second; // host-order int16 identifiers, possibly misaligned
	};

	int16 read_int16(const uint8 *p)
	{
		int16 value;
		memcpy(&value, p, sizeof(value));
		return value;
	}

	// The decoded copy's counted lists after a record of record_size bytes.
	boolean read_lists(const uint8 *command, int32 size, int32 record_size, int16 list_count, decoded_lists *lists)
	{
		int32 offset = static_cast<int32>(sizeof(command_header)) + record_size;
		int16 *counts[2] = {&lists->first_count, &lists->second_count};
		const uint8 **items[2] = {&lists->first, &lists->second};
		*lists = {};
		for (int16 i = 0; i < list_count; ++i)
		{
			if (offset + 2 > size) return FALSE;
			const int16 n = read_int16(command + offset);
			if (n < 0 || offset + 2 + n * 2 > size) return FALSE;
			*counts[i] = n;
			*items[i] = command + offset + 2;
			offset += 2 + n * 2;
		}
		return TRUE;
	}

	boolean command_passes_test(const uint8 *command, int32 size, int16 verb, int16 test_case)
	{
		const uint8 *record = command + sizeof(command_header);
		switch (test_case)
		{
			case _test_command_stop:
			case _test_command_scatter:
			case _test_command_retreat:
			case _test_command_special_ability:
			case _test_command_guard:
			{
				if (verb != _command_general) return FALSE;
				command_general_data general;
				memcpy(&general, record, sizeof(general));
				return general.type == test_case - _test_command_stop;
			}
			case _test_command_movement: return verb == _command_movement;
			case _test_command_target: return verb == _command_target;
			case _test_command_attack_location: return verb == _command_attack_location;
			case _test_command_pick_up: return verb == _command_pick_up;
			case _test_command_attacking:
			{
				if (verb == _command_movement || verb == _command_target) return TRUE;
				if (verb != _command_general) return FALSE;
				command_general_data general;
				memcpy(&general, record, sizeof(general));
				return general.type == _command_general_stop;
			}
			case _test_command_special_ability_attack_reflexive:
			case _test_command_special_ability_attack_nonreflexive:
			case _test_command_special_ability_attack_vs_anyone:
			{
				if (verb != _command_target) return FALSE;
				command_target_data target;
				memcpy(&target, record, sizeof(target));
				if (!(target.flags & _command_target_special_ability_flag)) return FALSE;
				if (test_case == _test_command_special_ability_attack_vs_anyone) return TRUE;
				decoded_lists lists;
				if (!read_lists(command, size, sizeof(command_target_data), 2, &lists)) return FALSE;
				// "Equal" compares the shorter length of identifiers.
				const int16 n = MIN(lists.first_count, lists.second_count);
				const boolean equal = memcmp(lists.first, lists.second, static_cast<size_t>(n) * 2) == 0;
				return test_case == _test_command_special_ability_attack_reflexive ? equal : !equal;
			}
			case _test_command_movement_formation_loose_line:
			case _test_command_movement_formation_vanguard:
			case _test_command_movement_formation_any:
			{
				if (verb != _command_movement) return FALSE;
				command_movement_data movement;
				memcpy(&movement, record, sizeof(movement));
				if (!(movement.flags & _command_movement_formation_flag)) return FALSE;
				if (test_case == _test_command_movement_formation_loose_line) return movement.formation_index == _formation_loose_line;
				if (test_case == _test_command_movement_formation_vanguard) return movement.formation_index == _formation_vanguard;
				return TRUE;
			}
			default: return FALSE;
		}
	}
}

boolean handle_command_sniffing(command_header *command)
{
	const int16 test_case = sniffing_globals.test_case;
	if (!command || test_case < FIRST_COMMAND_TEST || test_case >= LAST_COMMAND_TEST) return TRUE;
	if (!sniffing_globals.command_header) return FALSE;

	command_header header;
	command_read_header(command, &header);
	// A size outside the buffer would overrun the copy: such a command is not judged.
	if (header.size < static_cast<int16>(sizeof(command_header)) || header.size > SNIFFING_COMMAND_BUFFER_SIZE) return TRUE;
	uint8 *copy = sniffing_globals.command_header;
	memcpy(copy, command, header.size);
	// Decoding swaps in place: only the copy is decoded, and a payload that
	// does not decode fails the test.
	if (header.verb < _command_general) return TRUE;
	if (command_decode_payload(copy) && command_passes_test(copy, header.size, header.verb, test_case))
	{
		sniffing_success();
		return TRUE;
	}
	if ((sniffing_globals.flags & _sniffing_report_errors_flag) &&
		(sniffing_globals.next_possible_error_time == NONE ||
			current_game_time() > sniffing_globals.next_possible_error_time))
	{
		sniffing_error();
	}
	return FALSE;
}
