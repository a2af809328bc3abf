// Pathfinding is not built yet: no path is ever made.
#include "path.h"

void initialize_pathfinding(void) {}
void initialize_pathfinding_for_new_map(void) {}
void dispose_pathfinding_from_old_map(void) {}

void delete_path(int16 *)
{
}

postprocessed_path_data *get_path_data(int16)
{
	return nullptr;
}
