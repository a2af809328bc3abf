// The benchmark map's computer team, unit AI part: a legion of team 1's rows
// 3 and 4 and skirmishing throwers of row 8, added behind the team's gate.
#ifndef BNCH_UNIT_AI_SCRIPT_H
#define BNCH_UNIT_AI_SCRIPT_H

#include <vector>

#include "cseries.h"

// After the gate (a 'plyc' action) and team 1's identifiers 1000 + 20r + c are
// in place: adds the actions and a second 'acos' on the gate naming their
// roots. False when the store refused one.
bool add_bnch_unit_ai_actions(int16 gate_action_index);

// The action names in the order add_bnch_unit_ai_actions adds them.
const std::vector<const char *> &bnch_unit_ai_action_names(void);

#endif
