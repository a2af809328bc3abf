// The benchmark map's computer team, for tests and benchmarks only: team 1's
// units get identifiers by rank and file, and a script of group AI actions
// behind a gate that opens when team 1 has no human player.
#ifndef BNCH_AI_SCRIPT_H
#define BNCH_AI_SCRIPT_H

#include <vector>

#include "cseries.h"

#define BNCH_AI_FIRST_IDENTIFIER 1000
// Identifier of team 1's unit in marker row r (0 front), column c (0 west).
#define BNCH_AI_IDENTIFIER(r, c) static_cast<int16>(BNCH_AI_FIRST_IDENTIFIER + 20 * (r) + (c))

// After harness_start_map on 'bnch': the identifiers, then the gate and the
// actions added to the running map's script. False when the store refused one.
bool start_bnch_computer_team(void);

// The action names in the order start_bnch_computer_team adds them.
const std::vector<const char *> &bnch_ai_action_names(void);

#endif
