// 'dela': releases its subject units one by one after a delay, handing each
// batch to a result action.
#include "map_actions/general_action_procs.h"
#include "map_actions/map_action_accessors.h"
#include "monsters.h"
#include "world.h"
#include "zerv.h"

// The '#del' tick of a subject that is dead or gone: never released.
#define DELAY_RELEASED NONE

static boolean subject_is_present(int16 identifier)
{
	int16 index;
	if (monster_identifiers_to_monster_indexes(&identifier, &index, 1) != 1) return FALSE;
	return remove_monsters_that_have_left_the_mesh(&index, 1) == 1;
}

uint32 delay_action_proc(int16 action_index)
{
	int16 first;
	if (!get_indexed_short_integer_parameter(action_index, TAG("subj"), _parameter_monster_identifier, &first, 0)) return 0;
	int16 subjects[MAXIMUM_DELAY_SUBJECTS];
	boolean present[MAXIMUM_DELAY_SUBJECTS];
	const int32 subject_count = get_combined_map_action_parameter(action_index, TAG("subj"), _parameter_monster_identifier,
		subjects, MAXIMUM_DELAY_SUBJECTS);
	int32 present_count = 0;
	for (int32 k = 0; k < subject_count; ++k)
	{
		present[k] = subject_is_present(subjects[k]);
		present_count += present[k] ? 1 : 0;
	}
	if (present_count == 0)
	{
		map_action_debug(action_index, "nothing to test against!");
		return 0;
	}
	map_action_debug(action_index, "found %d monsters", static_cast<int>(present_count));

	fixed time;
	if (!get_map_action_fixed(action_index, TAG("time"), &time))
	{
		map_action_error(action_index, "no delay time!");
		return 0;
	}
	const int64 delay = static_cast<int64>(time) * 30 / 65536;
	const int64 now = game->game_time;
	int32 ticks[MAXIMUM_DELAY_SUBJECTS];

	map_action_parameter stored;
	if (!get_map_action_parameter(&stored, action_index, _dont_resolve_links_flag | _return_empty_arrays_flag,
			TAG("#del"), _parameter_integer))
	{
		const boolean distributed = map_action_has_flag(action_index, TAG("dist"));
		int32 position = 0;
		for (int32 k = 0; k < subject_count; ++k)
		{
			if (!present[k])
			{
				ticks[k] = DELAY_RELEASED;
				continue;
			}
			position += 1;
			int64 tick = now;
			if (distributed) tick += position * delay / present_count;
			else if (delay >= 1) tick += (static_cast<int64>(zerv_random()) * delay) >> 16;
			ticks[k] = static_cast<int32>(PIN(tick, static_cast<int64>(0), static_cast<int64>(INT32_MAX)));
		}
		set_unique_map_action_parameter(action_index, TAG("#del"), _parameter_integer, subject_count, ticks);
		return 0;
	}

	int16 result_identifier;
	if (!get_map_action_identifier_parameter(action_index, TAG("resu"), &result_identifier))
	{
		map_action_error(action_index, "no action to add the results to!");
		return 0;
	}
	if (action_identifier_to_action_index(result_identifier) == NONE)
	{
		map_action_error(action_index, "action to add results to is NONE!");
		return 0;
	}

	const int32 stored_count = MIN(static_cast<int32>(stored.count), subject_count);
	const int32 *stored_ticks = static_cast<const int32 *>(extract_parameter_array_address(&stored));
	int16 released[MAXIMUM_DELAY_SUBJECTS];
	int32 released_count = 0;
	boolean all_done = TRUE;
	for (int32 k = 0; k < subject_count; ++k)
	{
		// A subject added since the ticks were stored has none and goes at once.
		int32 tick = NONE - 1;
		if (k < stored_count) memcpy(&tick, stored_ticks + k, sizeof(tick));
		if (tick == DELAY_RELEASED)
		{
			ticks[k] = DELAY_RELEASED;
			continue;
		}
		all_done = FALSE;
		ticks[k] = tick;
		if (!present[k])
		{
			ticks[k] = DELAY_RELEASED;
		}
		else if (tick < now)
		{
			ticks[k] = DELAY_RELEASED;
			released[released_count++] = subjects[k];
		}
	}
	set_map_action_parameter(&stored, subject_count, ticks);

	if (released_count == 0) return all_done ? _map_action_proc_succeeded_flag : 0;
	field_tag type;
	if (!get_map_action_field_name(action_index, TAG("type"), &type))
	{
		type = TAG("subj");
		map_action_debug(action_index, "using default type 'subj'");
	}
	const int16 result_index = action_identifier_to_action_index(result_identifier);
	set_unique_map_action_parameter(result_index, type, _parameter_monster_identifier, released_count, released);
	activate_map_action(result_index);
	map_action_debug(action_index, "%d monsters added to %s", static_cast<int>(released_count), tag_to_string(type));
	return 0;
}
