// The world's surface builders that the scene runs each frame: particle
// splashes, mesh effects, lightning, connectors, mirror groups and the
// animating model shadows.
#ifndef RENDER_WORLD_BUILDERS_H
#define RENDER_WORLD_BUILDERS_H

#include "cseries.h"

struct view_data;
struct mesh_region;

void build_particle_system_splashes(view_data *view, mesh_region *region);
void build_mesh_effect_surface_list(view_data *view, mesh_region *region);
void build_lightning_surface_list(view_data *view, mesh_region *region);
void build_mirror_groups_surface_list(view_data *view, mesh_region *region);
void rasterize_visible_animating_shadows(mesh_region *region);

#endif
