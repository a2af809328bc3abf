// The training map's script: a chain of tutorial steps ending in victory.
#ifndef TRAINING_SCRIPT_H
#define TRAINING_SCRIPT_H

#include "script_builder.h"

#define TRAINING_STEP_COUNT 5
// The steps, then "well done", then one advance per step, then "wrong".
#define TRAINING_SCRIPT_ACTION_COUNT (TRAINING_STEP_COUNT * 2 + 2)

extern const int16 training_step_cases[TRAINING_STEP_COUNT];

map_action_section training_script_section(void);

#endif
