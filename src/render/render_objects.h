// The object and model surface builders and the local sprites.
#ifndef RENDER_OBJECTS_H
#define RENDER_OBJECTS_H

#include "cseries.h"
#include "world_units.h"

struct view_data;
struct mesh_region;

void build_objects_surface_list(view_data *view, mesh_region *region);
void build_models_surface_list(view_data *view, mesh_region *region);
void initialize_local_sprites(void);
void initialize_local_sprites_for_new_map(void);
int16 new_local_sprite(int16 collection_index, int16 sequence_index, const world_point3d *location);
void remove_local_sprites(void);

#endif
