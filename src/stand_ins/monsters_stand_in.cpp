// No units yet: no fog of war (every cell seen closely), no unit classes,
// and impassability refreshes are only counted.
#include "monsters.h"

#include "mesh.h"

uint32 *visibility_front_buffer = nullptr;

static monsters_test_hooks_data monsters_test_hooks = {0, 0, 0, NONE};

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

monsters_test_hooks_data *get_monsters_test_hooks(void)
{
	return &monsters_test_hooks;
}

void reset_monsters_test_hooks(void)
{
	monsters_test_hooks = {0, 0, 0, NONE};
}
