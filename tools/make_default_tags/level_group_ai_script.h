// The First Level's computer team: a gate that opens when team 1 has no human
// player, and the group AI actions it starts (an escort led by a scout, the
// archers following it, a flank guard and a scouting picket), appended to the
// level's script section.
#ifndef LEVEL_GROUP_AI_SCRIPT_H
#define LEVEL_GROUP_AI_SCRIPT_H

#include <string>

#include "cseries.h"

#define LEVEL_GROUP_AI_ACTION_COUNT 10 // the gate and nine

// Whether a point may lie in the cell (not impassable, not water).
typedef bool (*level_cell_is_open_proc)(int32 x, int32 y, const void *data);

// Appends the gate and the nine actions to the store being composed (set up
// for a new map by the caller). Points are given in cells and stored as unit
// markers place theirs (x * WORLD_ONE). False when an action could not be
// made, or a point lies in a closed cell: *failed_action then names it.
bool append_level_group_ai_actions(level_cell_is_open_proc cell_is_open, const void *data,
	std::string *failed_action);

#endif
