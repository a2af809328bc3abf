// The model surface builders: each map model once per frame, in its current
// permutation and the one it fades from, and the geometry path they share
// with 3D objects.
#ifndef RENDER_MODELS_H
#define RENDER_MODELS_H

#include "cseries.h"
#include "world_units.h"

struct view_data;
struct mesh_region;

#define MODEL_UNDER_MESH_Z_BIAS 512
#define MODEL_CLOSEST_Z_BIAS 384

void build_models_surface_list(view_data *view, mesh_region *region);
void render_model_permutation(view_data *view, mesh_region *region, int16 model_index, int16 permutation_index,
	uint16 transparency);
// model_index names the model, or the object for a 3D object.
void render_geometry(view_data *view, mesh_region *region, int16 model_index, int16 geometry_index,
	const world_point3d *geometry_origin, const world_vector3d *geometry_up_vector,
	const world_vector3d *geometry_rotation_vector, const world_vector3d *geometry_scale_vector, boolean reflection,
	uint16 geometry_transparency);

#endif
