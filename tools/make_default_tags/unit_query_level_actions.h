// The First Level's watch of its battle: geometry filters and unit tests
// feeding counters, appended to the level's script section.
#ifndef UNIT_QUERY_LEVEL_ACTIONS_H
#define UNIT_QUERY_LEVEL_ACTIONS_H

#include "cseries.h"

#define UNIT_QUERY_LEVEL_ACTION_COUNT 8
// Team 1's front swordsmen on the level.
#define UNIT_QUERY_LEVEL_FIRST_FRONT_IDENTIFIER 31
#define UNIT_QUERY_LEVEL_FRONT_COUNT 5

// Appends the eight actions to the store being composed (set up for a new map
// by the caller); false when one could not be made. The strip watched lies
// between the armies: cells 24 <= x < 60, 64 <= y < 71.
bool append_unit_query_level_actions(void);

#endif
