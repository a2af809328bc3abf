// The registry of action procedures, by four-character tag.
#ifndef ACTION_PROCS_H
#define ACTION_PROCS_H

#include "map_actions/map_actions.h"

#define NUMBER_OF_REGISTERED_MAP_ACTION_PROCS 57

struct registered_map_action_proc
{
	action_tag tag;
	action_proc_pointer action_proc; // NULL while the procedure is not built
};

// The rows in table order, then {NONE, NULL}.
extern const registered_map_action_proc registered_map_action_procs[NUMBER_OF_REGISTERED_MAP_ACTION_PROCS + 1];

void initialize_action_procs(void);
action_proc_pointer action_tag_to_action_proc(action_tag tag);

#endif
