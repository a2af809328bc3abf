// The training map's script: a chain of tutorial steps ending in victory.
#ifndef TRAINING_SCRIPT_H
#define TRAINING_SCRIPT_H

#include "script_builder.h"

// The steps a player can do: the camera's. Selecting and ordering units has
// no input yet.
#define TRAINING_STEP_COUNT 3
#define MAXIMUM_TRAINING_STEPS 8
// The steps, then "well done", then one advance per step, then "wrong".
#define TRAINING_SCRIPT_ACTION_COUNT(steps) ((steps) * 2 + 2)

extern const int16 training_step_cases[TRAINING_STEP_COUNT];

// The chain of the given test cases (1 to MAXIMUM_TRAINING_STEPS of them); an
// empty section for any other count.
map_action_section training_script_section(const int16 *cases = training_step_cases,
	int32 count = TRAINING_STEP_COUNT);

#endif
