// Cutscenes: movies played by an external player. None is played yet.
#ifndef CUTSCENES_H
#define CUTSCENES_H

#include "cseries.h"
#include "least_layer.h"

// Plays the movie to its end.
void display_cutscene(const char *file_name, int16 flags, int16 volume);
boolean found_cutscene(const char *file_name);

struct cutscenes_test_hooks_data
{
	least_call_log calls;
	boolean cutscenes_found; // what found_cutscene answers
};

cutscenes_test_hooks_data *get_cutscenes_test_hooks(void);
void reset_cutscenes_test_hooks(void);

#endif
