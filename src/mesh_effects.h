// Mesh effects: terrain shockwaves.
#ifndef MESH_EFFECTS_H
#define MESH_EFFECTS_H

#include "cseries.h"
#include "world_units.h"

#define MESH_EFFECT_DEFINITION_GROUP_TAG TAG("meef")

// -1 when none starts.
int16 new_mesh_effect(int16 type, const world_point2d *origin);
// NONE until mesh effects load.
int16 mesh_effect_definition_tag_to_index(file_tag tag);

struct mesh_effects_test_hooks_data
{
	int32 new_calls;
};
mesh_effects_test_hooks_data *get_mesh_effects_test_hooks(void);
void reset_mesh_effects_test_hooks(void);

#endif
