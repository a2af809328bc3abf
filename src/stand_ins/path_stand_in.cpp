// Pathfinding is not built yet: a path goes straight to its destination
// (clamped into the map), which becomes the unit's path destination.
#include "path.h"

#include "mesh.h"
#include "monsters.h"

void initialize_pathfinding(void) {}
void initialize_pathfinding_for_new_map(void) {}
void dispose_pathfinding_from_old_map(void) {}

int16 new_path(int16 monster_index, path_variables *variables)
{
	monster_data *monster = get_monster_data(monster_index);
	if (!monster || !variables) return NONE;
	world_point2d destination = variables->p1;
	if (mesh_globals && mesh_globals->mesh_cells)
	{
		destination.x = PIN(destination.x, 0, mesh_globals->mesh_width * WORLD_ONE - 1);
		destination.y = PIN(destination.y, 0, mesh_globals->mesh_height * WORLD_ONE - 1);
	}
	monster->path_destination = destination;
	return 0;
}

void delete_path(int16 *path_index)
{
	if (path_index) *path_index = NONE;
}

void adjust_path_destination_for_obstacles(int16) {}

postprocessed_path_data *get_path_data(int16)
{
	return nullptr;
}
