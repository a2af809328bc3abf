// No model effects yet: none starts; calls are counted.
#include "model_effects.h"

static model_effects_test_hooks_data model_effects_test_hooks = {};

boolean new_model_effect(int16, const world_point3d *, int16)
{
	model_effects_test_hooks.new_calls += 1;
	return FALSE;
}

model_effects_test_hooks_data *get_model_effects_test_hooks(void) { return &model_effects_test_hooks; }
void reset_model_effects_test_hooks(void) { model_effects_test_hooks = {}; }
