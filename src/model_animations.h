// Model animations: models replaced frame by frame.
#ifndef MODEL_ANIMATIONS_H
#define MODEL_ANIMATIONS_H

#include "cseries.h"

// A model the animations may hold is gone.
void update_model_animations_for_deleted_model(int16 model_index);

struct model_animations_test_hooks_data
{
	int32 deleted_model_notifications;
	int16 last_deleted_model_index;
};

model_animations_test_hooks_data *get_model_animations_test_hooks(void);
void reset_model_animations_test_hooks(void);

#endif
