// Objects, models and local sprites draw nothing until their builders exist.
#include "world_units.h"
#include "render/render_objects.h"

void build_objects_surface_list(view_data *, mesh_region *) {}
void build_models_surface_list(view_data *, mesh_region *) {}
void initialize_local_sprites(void) {}
void initialize_local_sprites_for_new_map(void) {}
int16 new_local_sprite(int16, int16, const world_point3d *)
{
	return NONE;
}
void remove_local_sprites(void) {}
