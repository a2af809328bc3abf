// The world's render builders add no surfaces until their modules exist.
#include "render/render_world_builders.h"

void build_particle_system_splashes(view_data *, mesh_region *) {}
void build_mesh_effect_surface_list(view_data *, mesh_region *) {}
void build_lightning_surface_list(view_data *, mesh_region *) {}
