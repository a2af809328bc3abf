// No model animations yet: a deleted model is only counted.
#include "model_animations.h"

static model_animations_test_hooks_data model_animations_test_hooks = {0, NONE};

void update_model_animations_for_deleted_model(int16 model_index)
{
	model_animations_test_hooks.deleted_model_notifications += 1;
	model_animations_test_hooks.last_deleted_model_index = model_index;
}

model_animations_test_hooks_data *get_model_animations_test_hooks(void)
{
	return &model_animations_test_hooks;
}

void reset_model_animations_test_hooks(void)
{
	model_animations_test_hooks = {0, NONE};
}
