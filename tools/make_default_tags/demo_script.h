// The demo map's script: twenty-three map actions composed through the store's own
// entry points and written as the mesh tag's map-action section.
#ifndef DEMO_SCRIPT_H
#define DEMO_SCRIPT_H

#include "script_builder.h"

// Team 1's unit markers carry these identifiers; "stagger" holds them back.
#define DEMO_SCRIPT_FIRST_SUBJECT_IDENTIFIER 31
#define DEMO_SCRIPT_SUBJECT_COUNT 5
#define DEMO_SCRIPT_ACTION_COUNT 23
// Down to this many, a side is sought out; the seek orders again this often.
#define DEMO_SCRIPT_FEW_UNITS 4
#define DEMO_SCRIPT_SEEK_PERIOD 128

// The section; an empty one when the store cannot be set up.
map_action_section demo_script_section(void);

#endif
