// Units are not built yet: no fog of war (every cell seen closely), no unit
// classes, impassability refreshes only counted, and the scripting services
// answer from a table that tests fill, empty by default.
#include "monsters.h"

#include "mesh.h"

uint32 *visibility_front_buffer = nullptr;

static monsters_test_hooks_data monsters_test_hooks = {0, 0, 0, NONE, 0, {}, 0, NONE};


int16 get_cell_visibility(int32 cell_x, int32 cell_y)
{
	if (!visibility_front_buffer || !mesh_globals || !mesh_globals->mesh_cells) return 3;
	if (cell_x < 0 || cell_y < 0 || cell_x >= mesh_globals->mesh_width || cell_y >= mesh_globals->mesh_height) return 0;
	const int32 index = cell_y * mesh_globals->mesh_width + cell_x;
	return static_cast<int16>((visibility_front_buffer[index >> 4] >> ((index & 15) * 2)) & 3);
}

void update_monster_impassability_for_cell(int32 x, int32 y)
{
	monsters_test_hooks.impassability_updates += 1;
	monsters_test_hooks.last_impassability_x = x;
	monsters_test_hooks.last_impassability_y = y;
}

int16 get_monster_class(int16)
{
	return monsters_test_hooks.monster_class;
}

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
	monsters_test_hooks.monster_class = NONE;
	monsters_test_hooks.last_celebrating_team = NONE;
}
