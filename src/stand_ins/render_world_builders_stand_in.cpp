// The world's render builders add no surfaces until their modules exist.
#include "render/render_world_builders.h"
#include "detail_maps.h"

void build_particle_system_splashes(view_data *, mesh_region *) {}
void build_mesh_effect_surface_list(view_data *, mesh_region *) {}
void build_lightning_surface_list(view_data *, mesh_region *) {}
const uint32 *detail_map_layer_info = NULL;
int32 detail_map_layer_row_cells = 0;
