// No model animations yet: a deleted model is only counted.
#include "model_animations.h"

static model_animations_test_hooks_data model_animations_test_hooks = {0, 0, 0, NONE};

void update_model_animations_for_deleted_model(int16 model_index)
{
	model_animations_test_hooks.deleted_model_notifications += 1;
	model_animations_test_hooks.last_deleted_model_index = model_index;
}

int16 get_model_animation_index_from_current_model_index(int16)
{
	return NONE;
}

int16 get_model_animation_frame_count(int16)
{
	return 0;
}

int16 get_model_animation_frame(int16)
{
	return 0;
}

void jump_model_animation_to_frame(int16, int16)
{
	model_animations_test_hooks.jumps += 1;
}

void start_model_animation(int16)
{
	model_animations_test_hooks.starts += 1;
}

model_animations_test_hooks_data *get_model_animations_test_hooks(void)
{
	return &model_animations_test_hooks;
}

void reset_model_animations_test_hooks(void)
{
	model_animations_test_hooks = {0, 0, 0, NONE};
}
