// The First Level's unit AI: a shield wall of team 1's front swordsmen, its
// two throwers harassing timidly, the hard-game pair held in reserve until
// the wall attacks, and two hidden scouts sent out as an ambush. The computer
// team's gate starts the roots.
#ifndef LEVEL_UNIT_AI_SCRIPT_H
#define LEVEL_UNIT_AI_SCRIPT_H

#include <string>

#include "level_group_ai_script.h"

#define LEVEL_UNIT_AI_ACTION_COUNT 6
#define LEVEL_UNIT_AI_FIRST_SCOUT 50 // 50-51, hidden until the ambush shows them
#define LEVEL_UNIT_AI_SCOUT_COUNT 2

// The action names in the order append_level_unit_ai_actions adds them.
extern const char *const level_unit_ai_action_names[LEVEL_UNIT_AI_ACTION_COUNT];

// Appends the six actions to the store being composed, after the computer
// team's gate (found by its name), and names the roots in a further 'acos'
// of the gate. False when an action could not be made, the gate is missing
// or a point lies in a closed cell: *failed_action then names it.
bool append_level_unit_ai_actions(level_cell_is_open_proc cell_is_open, const void *data,
	std::string *failed_action);

// The two hidden team-1 scouts (scout kind), after every existing marker, at
// the heights of their cells.
struct map_description;
void add_level_unit_ai_scouts(map_description *map);

#endif
