// Unit movement is not built yet: a unit shown again stands at the mesh
// height with media counted. Nothing here draws from the synchronised stream.
#include "monsters.h"

#include "mesh.h"

world_distance get_height_for_new_position(const world_point2d *point, boolean, boolean, short_world_distance,
	boolean *in_media)
{
	if (in_media) *in_media = FALSE;
	return (mesh_globals && mesh_globals->mesh_cells && point) ? get_mesh_height(point, _true_height) : 0;
}
