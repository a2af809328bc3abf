// Model animations: models replaced frame by frame.
#ifndef MODEL_ANIMATIONS_H
#define MODEL_ANIMATIONS_H

#include "cseries.h"

// A model the animations may hold is gone.
void update_model_animations_for_deleted_model(int16 model_index);

// The animation driving the model; NONE when none does.
int16 get_model_animation_index_from_current_model_index(int16 model_index);
// Frames of the animation and the one it shows (0 without one).
int16 get_model_animation_frame_count(int16 model_animation_index);
int16 get_model_animation_frame(int16 model_animation_index);
void jump_model_animation_to_frame(int16 model_animation_index, int16 frame);
void start_model_animation(int16 model_animation_index);

struct model_animations_test_hooks_data
{
	int32 jumps, starts;
	int32 deleted_model_notifications;
	int16 last_deleted_model_index;
};

model_animations_test_hooks_data *get_model_animations_test_hooks(void);
void reset_model_animations_test_hooks(void);

#endif
