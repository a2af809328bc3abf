// 'lock': tracks how many key actions succeed and triggers a transition
// action whenever that number changes.
#include <cstdio>
#include <cstring>

#include "map_actions/general_action_procs.h"
#include "map_actions/map_action_accessors.h"
#include "zerv.h"

// '#sta': private, host order.
struct lock_state_data
{
	int16 key_count;
	int16 keys[MAXIMUM_KEYS_PER_LOCK];
	int16 activation_count;
	int16 activations[MAXIMUM_KEYS_PER_LOCK];
	int16 deactivation_count;
	int16 deactivations[MAXIMUM_KEYS_PER_LOCK];
	int16 states[MAXIMUM_KEYS_PER_LOCK];
	int16 last_count;
	int16 flags; // bit 0: 'reqs'
};
STORED_SIZE(lock_state_data, 74);

static boolean lock_state_is_sound(const lock_state_data *state)
{
	return state->key_count >= 1 && state->key_count <= MAXIMUM_KEYS_PER_LOCK && state->activation_count >= 0 &&
		state->activation_count <= MAXIMUM_KEYS_PER_LOCK && state->deactivation_count >= 0 &&
		state->deactivation_count <= MAXIMUM_KEYS_PER_LOCK;
}

static boolean build_lock_state(int16 action_index, lock_state_data *state)
{
	memset(state, 0, sizeof(*state));
	state->key_count = static_cast<int16>(get_combined_map_action_parameter(action_index, TAG("keys"),
		_parameter_action_identifier, state->keys, MAXIMUM_KEYS_PER_LOCK));
	if (state->key_count == 0)
	{
		map_action_error(action_index, "no keys found");
		map_action_debug(action_index, "no keys found for lock!");
		return FALSE;
	}
	state->activation_count = static_cast<int16>(get_combined_map_action_parameter(action_index, TAG("acti"),
		_parameter_action_identifier, state->activations, MAXIMUM_KEYS_PER_LOCK));
	state->deactivation_count = static_cast<int16>(get_combined_map_action_parameter(action_index, TAG("deac"),
		_parameter_action_identifier, state->deactivations, MAXIMUM_KEYS_PER_LOCK));
	if ((state->activation_count != 0 || state->deactivation_count != 0) &&
		(state->activation_count != state->key_count || state->deactivation_count != state->key_count))
	{
		map_action_error(action_index, "activation count != deactivation count, or they don't equal 0 or number of keys");
		map_action_debug(action_index, "no keys found for lock!");
		return FALSE;
	}
	state->last_count = NONE;
	if (map_action_has_flag(action_index, TAG("reqs"))) state->flags |= 1;
	return TRUE;
}

static field_tag lock_state_field_name(int16 count)
{
	char digits[8];
	snprintf(digits, sizeof(digits), "%d", static_cast<int>(count % 10000));
	if (game_play_version < 1601) return string_to_tag(digits);
	char name[5] = "____";
	const size_t length = strlen(digits);
	memcpy(name + 4 - length, digits, length);
	return (static_cast<uint32>(static_cast<uint8>(name[0])) << 24) | (static_cast<uint32>(static_cast<uint8>(name[1])) << 16) |
		(static_cast<uint32>(static_cast<uint8>(name[2])) << 8) | static_cast<uint8>(name[3]);
}

static void trigger_listed_action(int16 identifier)
{
	if (identifier != NONE) trigger_map_action(action_identifier_to_action_index(identifier));
}

static void store_lock_state(int16 action_index, const lock_state_data *state)
{
	set_unique_map_action_parameter(action_index, TAG("#sta"), _parameter_character, sizeof(*state), state);
}

uint32 lock_action_proc(int16 action_index)
{
	lock_state_data state;
	if (!get_map_action_structure(action_index, TAG("#sta"), sizeof(state), &state) || !lock_state_is_sound(&state))
	{
		if (!build_lock_state(action_index, &state)) return 0;
	}
	const int16 identifier = get_map_action_identifier(action_index);

	int16 previous[MAXIMUM_KEYS_PER_LOCK];
	memcpy(previous, state.states, sizeof(previous));
	int16 count = 0;
	for (int16 k = 0; k < state.key_count; ++k)
	{
		const int16 key = action_identifier_to_action_index(state.keys[k]);
		if (key == NONE)
		{
			state.states[k] = 0;
			map_action_debug(action_index, "action identifier missing!");
			continue;
		}
		const uint32 result = trigger_map_action(key);
		// A key that deleted the lock ends the walk.
		if (get_map_action_identifier(action_index) != identifier) return 0;
		state.states[k] = (result & _map_action_proc_succeeded_flag) ? 1 : 0;
		count += state.states[k];
	}

	for (int16 k = 0; k < state.key_count; ++k)
	{
		if (state.states[k] == previous[k]) continue;
		if (state.states[k] == 1 && state.activation_count > 0) trigger_listed_action(state.activations[k]);
		if (state.states[k] == 0 && state.deactivation_count > 0) trigger_listed_action(state.deactivations[k]);
		map_action_debug(action_index, "changing state of lock %d to %d", k, state.states[k]);
	}
	if (get_map_action_identifier(action_index) != identifier) return 0;

	if (count != state.last_count)
	{
		const field_tag name = lock_state_field_name(count);
		map_action_parameter transitions;
		int16 targets[2] = {NONE, NONE};
		int16 target_count = 0;
		if (get_map_action_parameter(&transitions, action_index, 0, name, _parameter_action_identifier))
		{
			target_count = MIN(transitions.count, static_cast<int16>(2));
			memcpy(targets, extract_parameter_array_address(&transitions), sizeof(int16) * target_count);
		}
		const int16 inhibition = target_count >= 2 ? action_identifier_to_action_index(targets[1]) : NONE;
		if (inhibition != NONE)
		{
			const uint32 result = trigger_map_action(inhibition);
			map_action_debug(action_index, "trigger of inhibition %d returned 0x%x", inhibition, static_cast<unsigned>(result));
			if (get_map_action_identifier(action_index) != identifier) return 0;
			if (result & _map_action_proc_succeeded_flag)
			{
				map_action_debug(action_index, "inhibition not met");
				store_lock_state(action_index, &state);
				return 0;
			}
		}
		if (target_count >= 1)
		{
			const int16 transition = action_identifier_to_action_index(targets[0]);
			if (transition != NONE)
			{
				trigger_map_action(transition);
				map_action_debug(action_index, "key count changed from %d to %d, triggered '%s'", state.last_count, count,
					tag_to_string(name));
				state.last_count = count;
			}
			else
			{
				map_action_debug(action_index, "no state transition action found?");
			}
		}
		else
		{
			map_action_debug(action_index, "no state transition action specified");
		}
		if (get_map_action_identifier(action_index) != identifier) return 0;
	}
	store_lock_state(action_index, &state);
	return 0;
}
