// The world's render builders add no surfaces until their modules exist.
#include "render/render_world_builders.h"
#include "local_projectiles.h"
#include "detail_maps.h"

void build_mirror_groups_surface_list(view_data *, mesh_region *) {}
void rasterize_visible_animating_shadows(mesh_region *) {}
void build_local_projectiles_surface_list(view_data *, mesh_region *) {}
const uint32 *detail_map_layer_info = NULL;
int32 detail_map_layer_row_cells = 0;
