// The first level 'l1  ' ("First Level", what New Game starts): the demo
// valley's terrain, armies and script, with the level's own header settings,
// unit identifiers and showcase markers. Later content for the level is added
// here.
#ifndef FIRST_LEVEL_CONTENT_H
#define FIRST_LEVEL_CONTENT_H

#include <vector>

#include "cseries.h"

struct map_description;

// Unit identifiers by role (the demo's units keep identifier 0).
#define FIRST_LEVEL_TEAM0_FIRST_SWORDSMAN 11 // 11-16, archers 17-20, throwers 21-22, scouts 23-24
#define FIRST_LEVEL_TEAM0_FIRST_HIDDEN 25 // the trading trio, 25-27
#define FIRST_LEVEL_TEAM1_FIRST_SWORDSMAN 31 // 31-36, archers 37-40, throwers 41-42, scouts 43-44
#define FIRST_LEVEL_HARD_PAIR_FIRST 45 // 45-46, difficulty 3
#define FIRST_LEVEL_TEAM1_FIRST_HIDDEN 47 // 47-49
#define FIRST_LEVEL_VERY_HARD_PAIR_FIRST 53 // 53-54, team 1's archers at difficulty 4
#define FIRST_LEVEL_VERY_HARD_DIFFICULTY 4

// The level's showcase markers.
#define FIRST_LEVEL_GATE_IDENTIFIER 902
#define FIRST_LEVEL_GATE_CELL_X 56
#define FIRST_LEVEL_GATE_CELL_Y 44
#define FIRST_LEVEL_SHRINE_IDENTIFIER 821
#define FIRST_LEVEL_LAMP_IDENTIFIER 521
#define FIRST_LEVEL_SHRINE_CELL_X 10
#define FIRST_LEVEL_SHRINE_CELL_Y 34
#define FIRST_LEVEL_SWIRL_IDENTIFIER 951
#define FIRST_LEVEL_SWIRL_CELL_X 28
#define FIRST_LEVEL_SWIRL_CELL_Y 46

// Lightning casters, one a team, mirrored across the valley.
#define FIRST_LEVEL_TEAM0_CASTER_IDENTIFIER 28
#define FIRST_LEVEL_TEAM1_CASTER_IDENTIFIER 52
#define FIRST_LEVEL_CASTER_CELL_X 42
#define FIRST_LEVEL_TEAM0_CASTER_CELL_Y 55
#define FIRST_LEVEL_TEAM1_CASTER_CELL_Y 79
// Walled cells along each edge of the level: no walk reaches the mesh's edge.
#define FIRST_LEVEL_EDGE_WALL_CELLS 2
// The meadow between the armies, the field that burns.
#define FIRST_LEVEL_MEADOW_FIRST_ROW 64
#define FIRST_LEVEL_MEADOW_LAST_ROW 70
// The first view, live and in a film: the camera's focus on the meadow where
// the armies meet, looking north from the player's side, so the front lines
// cross the window's middle and the player's army stands below them.
#define FIRST_LEVEL_VIEW_CELL_X 42
#define FIRST_LEVEL_VIEW_CELL_Y 66
#define FIRST_LEVEL_VIEW_FACING 0x4000

map_description first_level_map(void);
// The level's mesh tag and description list as local tags; appends the handles.
bool make_first_level_map_tags(std::vector<int32> *handles);

#endif
