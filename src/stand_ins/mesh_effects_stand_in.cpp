// No mesh effects yet: none starts; calls are counted.
#include "mesh_effects.h"

static mesh_effects_test_hooks_data mesh_effects_test_hooks = {};

int16 new_mesh_effect(int16, const world_point2d *)
{
	mesh_effects_test_hooks.new_calls += 1;
	return -1;
}

int16 mesh_effect_definition_tag_to_index(file_tag)
{
	return NONE;
}

mesh_effects_test_hooks_data *get_mesh_effects_test_hooks(void) { return &mesh_effects_test_hooks; }
void reset_mesh_effects_test_hooks(void) { mesh_effects_test_hooks = {}; }
