// Subject lists of the action procedures: a combined unit-identifier
// parameter as living unit indexes, and orders given in chunks the command
// verbs can carry.
#ifndef SUBJECT_LISTS_H
#define SUBJECT_LISTS_H

#include "map_actions/map_actions.h"

// The parameter's identifiers (at most cap are read) as the indexes of the
// units still alive, in list order; the count.
int16 get_subject_monster_indexes(int16 action_index, field_tag field, int16 cap, int16 *indexes);

// The most units one order carries under the running rules.
int16 get_command_chunk_size(void);

// give(n, items) for each chunk of at most get_command_chunk_size() items, in list order.
template <typename chunk_proc>
void for_each_command_chunk(int16 count, const int16 *identifiers, chunk_proc give)
{
	const int16 chunk = get_command_chunk_size();
	for (int16 first = 0; first < count; first = static_cast<int16>(first + chunk))
	{
		give(static_cast<int16>(count - first < chunk ? count - first : chunk), identifiers + first);
	}
}

#endif
