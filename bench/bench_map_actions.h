// Building map actions by hand for the benchmarks that call procedures directly.
#ifndef BENCH_MAP_ACTIONS_H
#define BENCH_MAP_ACTIONS_H

#include "map_actions/map_actions.h"

namespace bench_map_actions {

inline int16 new_action(const char (&tag)[5])
{
	const int16 index = new_map_action(NONE);
	set_map_action_tag(index, TAG(tag));
	return index;
}

inline void add(int16 action, const char (&field)[5], int16 type, int32 count, const void *data)
{
	map_action_parameter parameter;
	new_map_action_parameter(&parameter, action, TAG(field), type);
	if (count > 0) set_map_action_parameter(&parameter, count, data);
}

} // namespace bench_map_actions

#endif
