// Model effects: damage shown on models.
#ifndef MODEL_EFFECTS_H
#define MODEL_EFFECTS_H

#include "cseries.h"
#include "world_units.h"

// FALSE when none starts.
boolean new_model_effect(int16 model_index, const world_point3d *point, int16 damage_type);

struct model_effects_test_hooks_data
{
	int32 new_calls;
};
model_effects_test_hooks_data *get_model_effects_test_hooks(void);
void reset_model_effects_test_hooks(void);

#endif
