// Units: the services that map scripting uses.
#ifndef MONSTERS_H
#define MONSTERS_H

#include "cseries.h"

// Identifiers to indexes in order, dropping identifiers no longer in use; works in place; the new count.
int16 monster_identifiers_to_monster_indexes(const int16 *identifiers, int16 *indexes, int16 count);
void monster_indexes_to_monster_identifiers(const int16 *indexes, int16 *output, int16 count);
// Drops units that have left the mesh; the new count.
int16 remove_monsters_that_have_left_the_mesh(int16 *indexes, int16 count);
// Every live unit of the team gets _monster_has_celebrated_flag.
void mark_team_monsters_as_celebrated(int16 team_index);

// Test hooks: the units the stand-in answers for, by index.
#define MAXIMUM_TEST_MONSTERS 32
struct monsters_test_hooks_data
{
	int16 monster_count;
	struct
	{
		int16 identifier; // 0: no unit at this index
		int16 owner_team_index;
		boolean has_left_the_mesh;
		boolean has_celebrated;
	} monsters[MAXIMUM_TEST_MONSTERS];
	int32 celebration_count;
	int16 last_celebrating_team;
};
monsters_test_hooks_data *get_monsters_test_hooks(void);
void reset_monsters_test_hooks(void);

#endif
