// The script's life cycle: activation, triggering, chain lists, the
// scheduler pass every 32nd tick, and the script debug and error log.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "attack_ai.h"
#include "console/console.h"
#include "data.h"
#include "error_manager.h"
#include "map_actions/action_procs.h"
#include "map_actions/map_actions.h"
#include "map_actions/map_actions_private.h"
#include "memory.h"
#include "players.h"
#include "spatial_groups.h"
#include "world.h"
#include "zerv.h"

// Log lines are composed here and cut rather than overflowed.
#define MAP_ACTION_LOG_LINE_SIZE 512

/* ---------- life cycle */

void initialize_map_actions(void)
{
	if (map_action_globals) return;
	map_action_globals = static_cast<map_action_globals_data *>(new_pointer(sizeof(map_action_globals_data)));
	map_action_store.identifier_to_index = static_cast<int16 *>(new_pointer(65536 * sizeof(int16)));
	if (!map_action_globals || !map_action_store.identifier_to_index)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate #%d bytes for map_action_globals",
			static_cast<int>(sizeof(map_action_globals_data)));
		return;
	}
	memset(map_action_globals, 0, sizeof(*map_action_globals));
	for (int32 i = 0; i < 65536; ++i) map_action_store.identifier_to_index[i] = NONE;
	initialize_spatial_groups();
	initialize_attack_ai();
	initialize_action_procs();
	initialize_data(&map_action_array);
	clear_map_action_store();
}

void initialize_map_actions_for_new_map(void)
{
	if (!map_action_globals) return;
	if (map_action_globals->initialized) dispose_map_actions_from_old_map();
	map_action_globals->maximum_parameter_buffer_size = PARAMETER_BUFFER_SIZE;
	// The scratch tail past the capacity holds a block while it moves to the end.
	map_action_globals->parameter_buffer =
		static_cast<uint8 *>(new_pointer(PARAMETER_BUFFER_SIZE + PARAMETER_BUFFER_SCRATCH_SIZE));
	if (!map_action_globals->parameter_buffer)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate #%d bytes for parameter buffer",
			PARAMETER_BUFFER_SIZE);
		return;
	}
	memset(map_action_globals->parameter_buffer, 0, PARAMETER_BUFFER_SIZE);
	initialize_spatial_groups_for_new_map();
	initialize_attack_ai_for_new_map();
	initialize_data_for_new_map(&map_action_array);
	map_action_globals->debug = FALSE;
	map_action_globals->initial_actions_activated = FALSE;
	map_action_globals->parameter_buffer_size = 0;
	map_action_globals->trigger_stack_size = 0;
	map_action_globals->map_actions_state = 0;
	map_action_store.any_debg = FALSE;
	map_action_store.missing_procedure_count = 0;
	memset(map_action_store.being_activated, 0, sizeof(map_action_store.being_activated));
	memset(map_action_store.being_deactivated, 0, sizeof(map_action_store.being_deactivated));
	clear_map_action_store();
	map_action_globals->initialized = TRUE;
}

void dispose_map_actions_from_old_map(void)
{
	if (!map_action_globals || !map_action_globals->initialized) return;
	dispose_pointer(map_action_globals->parameter_buffer);
	map_action_globals->parameter_buffer = nullptr;
	map_action_globals->parameter_buffer_size = 0;
	dispose_spatial_groups_from_old_map();
	dispose_attack_ai_from_old_map();
	dispose_data_from_old_map(&map_action_array);
	clear_map_action_store();
	map_action_globals->initialized = FALSE;
}

/* ---------- chain lists */

enum
{
	_chain_activate,
	_chain_deactivate,
	_chain_trigger
};

struct chain_rule
{
	field_tag field_name;
	int16 operation;
};

static inline boolean action_is_alive(int16 action_index, int16 identifier)
{
	const map_action *action = get_map_action(action_index);
	return action && action->identifier == identifier;
}

static inline int16 read_identifier(const map_action_parameter_header *header, int32 k)
{
	int16 identifier;
	memcpy(&identifier, reinterpret_cast<const uint8 *>(header + 1) + 2 * k, sizeof(identifier));
	return identifier;
}

static boolean action_has_succeeded(int16 identifier)
{
	const map_action *action = get_map_action_by_identifier(identifier);
	return action && (action->flags & _map_action_succeeded_flag);
}

// The action's own type-3 parameters in order; each list's first 30
// identifiers are copied before acting, and the header is found afresh after.
static void run_chain_lists(int16 action_index, const chain_rule *rules, int32 rule_count)
{
	const map_action *action = get_map_action(action_index);
	if (!action) return;
	const int16 identifier = action->identifier;
	int32 offset = NONE; // of header p while nothing nested has run since it was found
	for (int16 p = 0;; ++p)
	{
		action = get_map_action(action_index);
		if (!action || action->identifier != identifier || p >= action->parameter_count) return;
		if (offset == NONE) offset = find_parameter_offset(action_index, p);
		if (offset == NONE) return;
		const map_action_parameter_header *header =
			reinterpret_cast<const map_action_parameter_header *>(map_action_globals->parameter_buffer + offset);
		offset += parameter_extent(header->type, header->count);
		if (offset > action->parameters_offset + action->parameters_size) return;
		if (header->type != _parameter_action_identifier || header->count == 0) continue;
		int32 rule = 0;
		while (rule < rule_count && rules[rule].field_name != header->field_name) ++rule;
		if (rule == rule_count) continue;

		int16 targets[MAXIMUM_LOCAL_ACTION_IDENTIFIERS];
		const int32 count = MIN(static_cast<int32>(header->count), MAXIMUM_LOCAL_ACTION_IDENTIFIERS);
		for (int32 k = 0; k < count; ++k) targets[k] = read_identifier(header, k);
		for (int32 k = 0; k < count; ++k)
		{
			const int16 target = action_identifier_to_action_index(targets[k]);
			switch (rules[rule].operation)
			{
			case _chain_activate: activate_map_action(target); break;
			case _chain_deactivate: deactivate_map_action(target); break;
			default: trigger_map_action(target); break;
			}
		}
		// Nested calls may have moved or edited the list: find the next header afresh.
		offset = NONE;
	}
}

/* ---------- action operations */

static inline boolean test_bit(const uint32 *bits, int16 index)
{
	return (bits[index >> 5] >> (index & 31)) & 1;
}

static inline void set_bit(uint32 *bits, int16 index, boolean on)
{
	if (on) bits[index >> 5] |= 1u << (index & 31);
	else bits[index >> 5] &= ~(1u << (index & 31));
}

// game_time + the action's delay, saturated at INT32_MAX.
static int32 delayed_trigger_time(const map_action *action)
{
	int64 time = static_cast<int64>(game->game_time) + action->trigger_time_lower_bound;
	if (action->trigger_time_delta > 0)
	{
		const int64 roll = zerv_random();
		time += (roll * action->trigger_time_delta) >> 16;
	}
	return static_cast<int32>(MIN(time, static_cast<int64>(INT32_MAX)));
}

void activate_map_action(int16 action_index)
{
	map_action *action = get_map_action(action_index);
	if (!action || (action->flags & _map_action_is_active_flag)) return;
	if ((action->flags & _map_action_activates_only_once_flag) && (action->flags & _map_action_has_been_activated_flag))
	{
		return;
	}
	// A cycle of activation lists ends here instead of recursing forever.
	if (test_bit(map_action_store.being_activated, action_index)) return;
	const int16 identifier = action->identifier;
	set_bit(map_action_store.being_activated, action_index, TRUE);
	static const chain_rule rules[] = {{TAG("deoa"), _chain_deactivate}, {TAG("acoa"), _chain_activate}};
	run_chain_lists(action_index, rules, NUMBEROF(rules));
	set_bit(map_action_store.being_activated, action_index, FALSE);
	if (!action_is_alive(action_index, identifier)) return;

	action = get_map_action(action_index);
	action->flags |= _map_action_is_active_flag | _map_action_has_been_activated_flag | _map_action_was_just_activated_flag;
	if (action->flags & _map_action_no_initial_delay_flag)
	{
		action->trigger_time = game->game_time;
	}
	else
	{
		int64 time = static_cast<int64>(game->game_time) + action->trigger_time_lower_bound;
		if (action->trigger_time_delta >= 1) time += (static_cast<int64>(zerv_random()) * action->trigger_time_delta) >> 16;
		action->trigger_time = static_cast<int32>(MIN(time, static_cast<int64>(INT32_MAX)));
	}
}

void deactivate_map_action(int16 action_index)
{
	map_action *action = get_map_action(action_index);
	if (!action || !(action->flags & _map_action_is_active_flag)) return;
	if (test_bit(map_action_store.being_deactivated, action_index)) return;
	const int16 identifier = action->identifier;
	set_bit(map_action_store.being_deactivated, action_index, TRUE);
	static const chain_rule rules[] = {{TAG("deod"), _chain_deactivate}, {TAG("acod"), _chain_activate}};
	run_chain_lists(action_index, rules, NUMBEROF(rules));
	set_bit(map_action_store.being_deactivated, action_index, FALSE);
	if (!action_is_alive(action_index, identifier)) return;

	map_action_debug(action_index, "deactivated");
	action = get_map_action(action_index);
	action->flags &= ~static_cast<uint32>(_map_action_is_active_flag);
	if (game_play_version >= 1601 && (action->flags & _map_action_deleted_on_deactivation_flag))
	{
		delete_map_action(action_index);
	}
}

static void report_missing_procedure(int16 action_index, action_tag tag)
{
	map_action_debug(action_index, "couldn't locate action tag '%s'.", tag_to_string(tag));
	for (int16 i = 0; i < map_action_store.missing_procedure_count; ++i)
	{
		if (map_action_store.missing_procedures[i] == tag) return;
	}
	if (map_action_store.missing_procedure_count < MAXIMUM_REMEMBERED_MISSING_PROCEDURES)
	{
		map_action_store.missing_procedures[map_action_store.missing_procedure_count++] = tag;
		map_action_error(action_index, "no procedure for action tag '%s'", tag_to_string(tag));
	}
}

// 1 inhibited, 2 missing prerequisites, 0 free to run.
static int16 find_trigger_block(int16 action_index)
{
	const map_action *action = get_map_action(action_index);
	int32 offset = action->parameters_offset;
	const int32 end = action->parameters_offset + action->parameters_size;
	for (int16 p = 0; p < action->parameter_count && offset + 8 <= end; ++p)
	{
		const map_action_parameter_header *header =
			reinterpret_cast<const map_action_parameter_header *>(map_action_globals->parameter_buffer + offset);
		offset += parameter_extent(header->type, header->count);
		if (header->type != _parameter_action_identifier) continue;
		if (header->field_name == TAG("inhi"))
		{
			for (int16 k = 0; k < header->count; ++k)
			{
				if (action_has_succeeded(read_identifier(header, k)))
				{
					map_action_debug(action_index, "inhibited");
					return 1;
				}
			}
		}
		else if (header->field_name == TAG("prer"))
		{
			boolean met = FALSE;
			for (int16 k = 0; k < header->count && !met; ++k) met = action_has_succeeded(read_identifier(header, k));
			if (!met)
			{
				map_action_debug(action_index, "missing prerequisites");
				return 2;
			}
		}
	}
	return 0;
}

uint32 trigger_map_action(int16 action_index)
{
	map_action *action = get_map_action(action_index);
	if (!action) return 0;
	map_action_globals_data *globals = map_action_globals;
	if (globals->trigger_stack_size >= MAXIMUM_TRIGGER_STACK_SIZE)
	{
		map_action_debug(action_index, "recursion limit is #%d", MAXIMUM_TRIGGER_STACK_SIZE);
		return 0;
	}
	boolean recursing = FALSE;
	for (int16 i = 0; i < globals->trigger_stack_size; ++i)
	{
		if (globals->trigger_stack[i] != action_index) continue;
		map_action_debug(action_index, "no trigger recursion");
		recursing = TRUE;
	}
	if (recursing) return 0;

	const int16 identifier = action->identifier;
	globals->trigger_stack[globals->trigger_stack_size++] = action_index;
	uint32 result = 0;
	const int16 block = find_trigger_block(action_index);
	if (block != 0)
	{
		static const chain_rule inhibited[] = {{TAG("acin"), _chain_activate}};
		static const chain_rule missing[] = {{TAG("acmp"), _chain_activate}};
		run_chain_lists(action_index, block == 1 ? inhibited : missing, 1);
	}
	else
	{
		static const chain_rule rules[] = {
			{TAG("acot"), _chain_activate}, {TAG("acoe"), _chain_activate}, {TAG("trsi"), _chain_trigger}};
		run_chain_lists(action_index, rules, NUMBEROF(rules));
		if (action_is_alive(action_index, identifier))
		{
			const action_tag tag = get_map_action(action_index)->tag;
			const action_proc_pointer hook = get_map_actions_test_hooks()->answer_every_tag;
			const action_proc_pointer proc = hook ? hook : action_tag_to_action_proc(tag);
			if (tag == static_cast<action_tag>(NONE) && !hook)
			{
				map_action_debug(action_index, "can't execute NULL actions");
				result = _map_action_proc_executed_flag;
			}
			else if (!proc)
			{
				report_missing_procedure(action_index, tag);
				result = _map_action_proc_executed_flag;
			}
			else
			{
				result = proc(action_index) | _map_action_proc_executed_flag;
				if (action_is_alive(action_index, identifier))
				{
					get_map_action(action_index)->flags &=
						~static_cast<uint32>(_map_action_succeeded_flag | _map_action_was_just_activated_flag);
				}
			}
		}
	}
	globals->trigger_stack_size -= 1;
	return result;
}

void set_map_action_success(int16 action_index)
{
	map_action *action = get_map_action(action_index);
	if (!action) return;
	const int16 identifier = action->identifier;
	map_action_debug(action_index, "succeeded");
	action->flags |= _map_action_succeeded_flag;
	static const chain_rule rules[] = {{TAG("deos"), _chain_deactivate}, {TAG("acos"), _chain_activate}};
	run_chain_lists(action_index, rules, NUMBEROF(rules));
	if (action_is_alive(action_index, identifier) &&
		get_map_action(action_index)->deactivation_mode == _map_action_deactivates_on_successful_execution)
	{
		deactivate_map_action(action_index);
	}
}

void set_map_action_failure(int16 action_index)
{
	map_action *action = get_map_action(action_index);
	if (!action) return;
	action->flags &= ~static_cast<uint32>(_map_action_succeeded_flag);
	if (action->deactivation_mode == _map_action_deactivates_on_execution ||
		action->deactivation_mode == _map_action_deactivates_on_failed_execution)
	{
		map_action_debug(action_index, "failed");
	}
	static const chain_rule rules[] = {{TAG("deof"), _chain_deactivate}, {TAG("acof"), _chain_activate}};
	run_chain_lists(action_index, rules, NUMBEROF(rules));
}

void set_map_action_error(int16 action_index)
{
	if (!get_map_action(action_index)) return;
	map_action_debug(action_index, "had an error");
	static const chain_rule rules[] = {{TAG("deer"), _chain_deactivate}, {TAG("acer"), _chain_activate}};
	run_chain_lists(action_index, rules, NUMBEROF(rules));
}

/* ---------- scheduler */

static boolean deactivation_is_due(uint32 result, int16 mode)
{
	if (result & _map_action_proc_deactivate_flag) return TRUE;
	const boolean executed = (result & _map_action_proc_executed_flag) != 0;
	const boolean succeeded = (result & _map_action_proc_succeeded_flag) != 0;
	switch (mode)
	{
	case _map_action_deactivates_on_execution: return executed;
	case _map_action_deactivates_on_successful_execution: return executed && succeeded;
	case _map_action_deactivates_never: return FALSE;
	case _map_action_deactivates_on_failed_execution: return executed && !succeeded;
	default: return TRUE;
	}
}

static void handle_due_action(int16 index)
{
	const map_action *action = get_map_action(index);
	const int16 identifier = action->identifier;
	const uint32 result = trigger_map_action(index);
	if (!action_is_alive(index, identifier)) return;
	if (result & _map_action_proc_executed_flag)
	{
		if (result & _map_action_proc_succeeded_flag) set_map_action_success(index);
		else set_map_action_failure(index);
	}
	// A slot freed, or freed and reused, during the trigger is left alone.
	if (!action_is_alive(index, identifier)) return;
	map_action *current = get_map_action(index);
	if (deactivation_is_due(result, current->deactivation_mode))
	{
		deactivate_map_action(index);
	}
	else if (current->flags & _map_action_only_initial_delay_flag)
	{
		current->trigger_time = game->game_time;
	}
	else
	{
		current->trigger_time = delayed_trigger_time(current);
	}
}

void update_map_actions(void)
{
	if (!map_action_globals || !map_action_globals->initialized || !game) return;
	if (game->game_time & (MAP_ACTION_FREQUENCY - 1)) return;

	if (!map_action_globals->initial_actions_activated)
	{
		for (int16 i = 0; i < map_action_array.count; ++i)
		{
			const map_action *action = get_map_action(i);
			if (action && (action->flags & _map_action_initially_active_flag)) activate_map_action(i);
		}
		map_action_globals->initial_actions_activated = TRUE;
	}

	build_spatial_groups();
	reset_attack_ai();
	if (game->type == _game_type_demo)
	{
		const int16 team_count = get_team_count();
		if (team_count > 0) attack_with_all_monster_indexes(static_cast<int16>((game->game_time >> 5) % team_count));
	}
	else
	{
		for (int16 i = 0; i < map_action_array.count; ++i)
		{
			const map_action *action = get_map_action(i);
			if (action && (action->flags & _map_action_is_active_flag) && action->trigger_time <= game->game_time)
			{
				handle_due_action(i);
			}
		}
	}
	update_attack_ai();
}

/* ---------- logs */

static boolean action_has_debug_flag(int16 action_index)
{
	return map_action_store.any_debg &&
		get_map_action_parameter(nullptr, action_index, _return_empty_arrays_flag, TAG("debg"), _parameter_flag);
}

static void write_map_action_line(const char *general_prefix, const char *action_mark, int16 action_index,
	const char *format, va_list arguments) ATTRIBUTE_PRINTF(4, 0);

static void write_map_action_line(const char *general_prefix, const char *action_mark, int16 action_index,
	const char *format, va_list arguments)
{
	char line[MAP_ACTION_LOG_LINE_SIZE];
	int length;
	if (action_index == NONE)
	{
		length = snprintf(line, sizeof(line), "%s", general_prefix);
	}
	else
	{
		length = snprintf(line, sizeof(line), "%s MA [%s] %s:  ", action_mark, tag_to_string(get_map_action_tag(action_index)),
			get_map_action_name(action_index));
	}
	if (length < 0) length = 0;
	if (length < static_cast<int>(sizeof(line)) - 2) vsnprintf(line + length, sizeof(line) - 1 - length, format, arguments);
	line[sizeof(line) - 2] = 0;
	length = static_cast<int>(strlen(line));
	line[length] = '\n';
	line[length + 1] = 0;
	write_to_error_file(line, TRUE);
}

void map_action_debug(int16 action_index, const char *format, ...)
{
	if (!map_action_globals) return;
	if (action_index != NONE && !get_map_action(action_index)) action_index = NONE;
	if (!map_action_globals->debug)
	{
		// Nothing is formatted until the line is known to be written.
		if (action_index == NONE || !action_has_debug_flag(action_index)) return;
		if (get_map_action(action_index)->flags & _map_action_initially_active_flag) map_action_globals->debug = TRUE;
	}
	va_list arguments;
	va_start(arguments, format);
	write_map_action_line("--- ", "###", action_index, format, arguments);
	va_end(arguments);
}

void map_action_error(int16 action_index, const char *format, ...)
{
	if (action_index != NONE && !get_map_action(action_index)) action_index = NONE;
	va_list arguments;
	va_start(arguments, format);
	write_map_action_line("xxx ", "XXX", action_index, format, arguments);
	va_end(arguments);
}

void set_map_action_debug_status(int16 new_status)
{
	if (!map_action_globals) return;
	if (new_status == _map_action_debug_toggle)
	{
		new_status = map_action_globals->debug ? _map_action_debug_off : _map_action_debug_on;
	}
	switch (new_status)
	{
	case _map_action_debug_on:
		map_action_globals->debug = TRUE;
		map_action_debug(NONE, "map action debugging on");
		cprintf(FALSE, "map action debugging on");
		break;
	case _map_action_debug_off:
		// The line goes out while debugging is still on.
		map_action_debug(NONE, "map action debugging off");
		cprintf(FALSE, "map action debugging off");
		map_action_globals->debug = FALSE;
		break;
	default:
		break;
	}
}

boolean get_map_action_debug_status(void)
{
	return map_action_globals && map_action_globals->debug;
}

/* ---------- digest */

// Type, count and name, then the elements at their width; padding is left out.
static void fold_parameter_digest(int16, map_action_parameter_header *header, void *context)
{
	zerv_digest *digest = static_cast<zerv_digest *>(context);
	zerv_digest_int16(digest, header->type);
	zerv_digest_int16(digest, header->count);
	zerv_digest_uint32(digest, header->field_name);
	const int32 size = get_parameter_size(header->type, header->count, FALSE);
	const int32 width = MIN(parameter_definitions[header->type].size, static_cast<int32>(4));
	const uint8 *data = reinterpret_cast<const uint8 *>(header + 1);
	for (int32 b = 0; b < size; b += width)
	{
		if (width == 1)
		{
			zerv_digest_int8(digest, static_cast<int8>(data[b]));
		}
		else if (width == 2)
		{
			int16 value;
			memcpy(&value, data + b, sizeof(value));
			zerv_digest_int16(digest, value);
		}
		else
		{
			int32 value;
			memcpy(&value, data + b, sizeof(value));
			zerv_digest_int32(digest, value);
		}
	}
}

void map_actions_fold_digest(zerv_digest *digest)
{
	if (!map_action_globals || !map_action_globals->initialized) return;
	zerv_digest_uint32(digest, datum_globals_digest(&map_action_array));
	for (int16 i = 0; i < map_action_array.count; ++i)
	{
		const map_action *action = get_map_action(i);
		if (!action) continue;
		zerv_digest_int16(digest, action->identifier);
		zerv_digest_int16(digest, action->deactivation_mode);
		zerv_digest_uint32(digest, action->tag);
		zerv_digest_uint32(digest, action->flags);
		zerv_digest_int32(digest, action->trigger_time_lower_bound);
		zerv_digest_int32(digest, action->trigger_time_delta);
		zerv_digest_int16(digest, action->parameter_count);
		zerv_digest_int16(digest, action->parameters_size);
		zerv_digest_int32(digest, action->parameters_offset);
		zerv_digest_int32(digest, action->trigger_time);
	}
	zerv_digest_int32(digest, map_action_globals->parameter_buffer_size);
	zerv_digest_int32(digest, map_action_globals->map_actions_state);
	zerv_digest_int8(digest, static_cast<int8>(map_action_globals->initial_actions_activated ? 1 : 0));
	zerv_digest_int16(digest, map_action_globals->trigger_stack_size);
	walk_all_parameters(fold_parameter_digest, digest);
}
