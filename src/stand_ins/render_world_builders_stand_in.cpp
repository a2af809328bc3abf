// The world's render builders add no surfaces until their modules exist.
#include "render/render_world_builders.h"
#include "local_projectiles.h"

void build_particle_system_splashes(view_data *, mesh_region *) {}
void build_mesh_effect_surface_list(view_data *, mesh_region *) {}
void build_lightning_surface_list(view_data *, mesh_region *) {}
void build_mirror_groups_surface_list(view_data *, mesh_region *) {}
void rasterize_visible_animating_shadows(mesh_region *) {}
void build_local_projectiles_surface_list(view_data *, mesh_region *) {}
