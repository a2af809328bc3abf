// What the targets that feed map-action sections share: the store's block
// invariants.
#ifndef MAP_ACTION_FUZZ_SUPPORT_H
#define MAP_ACTION_FUZZ_SUPPORT_H

#include "fuzz_support.h"
#include "map_actions/map_actions.h"

// Every live action's parameters lie inside the used area, with valid headers;
// `each` then sees every live action.
template <typename visit>
void check_map_action_store(visit each)
{
	const int32 used = get_map_action_parameter_buffer_size();
	check(used >= 0 && used <= PARAMETER_BUFFER_SIZE);
	for (int16 i = 0; i < map_action_array.count; ++i)
	{
		const map_action *action = get_map_action(i);
		if (!action) continue;
		check(action->parameters_offset >= 0 && action->parameters_size >= 0 && action->parameter_count >= 0);
		check(action->parameters_offset + action->parameters_size <= used);
		int32 walked = 0;
		for (int16 p = 0; p < action->parameter_count; ++p)
		{
			const map_action_parameter_header *header = get_map_action_parameter_header(i, p);
			check(header != nullptr);
			check(header->type >= 0 && header->type < NUMBER_OF_MAP_ACTION_PARAMETER_TYPES && header->count >= 0);
			walked += 8 + get_parameter_size(header->type, header->count, TRUE);
		}
		check(walked <= action->parameters_size);
		each(action);
	}
}

inline void check_map_action_store(void)
{
	check_map_action_store([](const map_action *) {});
}

#endif
