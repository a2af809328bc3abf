// Units are not built yet: the services answer from a table that tests fill,
// empty by default, and change nothing else.
#include "monsters.h"

static monsters_test_hooks_data monsters_test_hooks = {0, {}, 0, NONE};

static int16 test_monster_count(void)
{
	return PIN(monsters_test_hooks.monster_count, static_cast<int16>(0), static_cast<int16>(MAXIMUM_TEST_MONSTERS));
}

int16 monster_identifiers_to_monster_indexes(const int16 *identifiers, int16 *indexes, int16 count)
{
	int16 kept = 0;
	for (int16 i = 0; i < count; ++i)
	{
		const int16 identifier = identifiers[i];
		for (int16 k = 0; k < test_monster_count(); ++k)
		{
			if (identifier != 0 && monsters_test_hooks.monsters[k].identifier == identifier)
			{
				indexes[kept++] = k;
				break;
			}
		}
	}
	return kept;
}

void monster_indexes_to_monster_identifiers(const int16 *indexes, int16 *output, int16 count)
{
	for (int16 i = 0; i < count; ++i)
	{
		const int16 index = indexes[i];
		output[i] = index >= 0 && index < test_monster_count() ? monsters_test_hooks.monsters[index].identifier
															 : static_cast<int16>(NONE);
	}
}

int16 remove_monsters_that_have_left_the_mesh(int16 *indexes, int16 count)
{
	int16 kept = 0;
	for (int16 i = 0; i < count; ++i)
	{
		const int16 index = indexes[i];
		if (index >= 0 && index < test_monster_count() && monsters_test_hooks.monsters[index].has_left_the_mesh) continue;
		indexes[kept++] = index;
	}
	return kept;
}

void mark_team_monsters_as_celebrated(int16 team_index)
{
	monsters_test_hooks.celebration_count += 1;
	monsters_test_hooks.last_celebrating_team = team_index;
	for (int16 k = 0; k < test_monster_count(); ++k)
	{
		auto &monster = monsters_test_hooks.monsters[k];
		if (monster.identifier != 0 && monster.owner_team_index == team_index) monster.has_celebrated = TRUE;
	}
}

monsters_test_hooks_data *get_monsters_test_hooks(void)
{
	return &monsters_test_hooks;
}

void reset_monsters_test_hooks(void)
{
	monsters_test_hooks = {};
	monsters_test_hooks.last_celebrating_team = NONE;
}
