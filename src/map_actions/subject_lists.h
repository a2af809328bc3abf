// Unit lists for procs: subject parameters into unit indexes, and commands
// issued over a long list in the sizes a command can carry.
#ifndef SUBJECT_LISTS_H
#define SUBJECT_LISTS_H

#include "cseries.h"
#include "map_actions/map_actions.h"

#define MAXIMUM_SUBJECT_MONSTERS 400
// Units one command can carry.
#define MAXIMUM_MONSTERS_PER_COMMAND 126
#define MAXIMUM_MONSTERS_PER_COMMAND_13 30

// The combined type-2 parameter as indexes of living units, in list order,
// at most cap (and at most 400); the count.
int16 get_subject_monster_indexes(int16 action_index, field_tag field_name, int16 cap, int16 *indexes);

int16 monsters_per_command(void);

// give(const int16 *chunk, int16 chunk_count) over consecutive chunks of the
// list, in order, each as large as a command allows.
template <typename Give>
void for_each_command_chunk(int16 count, const int16 *indexes, Give give)
{
	const int16 chunk = monsters_per_command();
	for (int16 first = 0; first < count; first = static_cast<int16>(first + chunk))
	{
		give(indexes + first, static_cast<int16>(count - first < chunk ? count - first : chunk));
	}
}

#endif
