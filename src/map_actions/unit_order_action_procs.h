// Procs that order units or change them directly.
#ifndef UNIT_ORDER_ACTION_PROCS_H
#define UNIT_ORDER_ACTION_PROCS_H

#include "cseries.h"

#define MAXIMUM_OBJECTS_PER_PICK_UP_COMMAND 20

uint32 attack_command_action_proc(int16 action_index);
uint32 general_command_action_proc(int16 action_index);
uint32 movement_command_action_proc(int16 action_index);
uint32 pick_up_object_action_proc(int16 action_index);
uint32 unit_control_action_proc(int16 action_index);

#endif
