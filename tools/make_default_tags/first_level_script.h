// The first level's script section and its animals, built through the
// engine's own records; the first level's generator attaches them.
#ifndef FIRST_LEVEL_SCRIPT_H
#define FIRST_LEVEL_SCRIPT_H

#include <vector>

#include "markers.h"
#include "script_builder.h"

#define FIRST_LEVEL_SOUND_SOURCE_IDENTIFIER 12
#define FIRST_LEVEL_SWIRL_GROUP_IDENTIFIER 951
#define FIRST_LEVEL_PRESENTATION_ACTION_COUNT 7
#define FIRST_LEVEL_ANIMAL_COUNT 11
// The level ends when either team has no fighting unit left; once either is
// down to this many, the computer team seeks out the player's nearest units,
// its order renewed every period (ticks).
#define FIRST_LEVEL_FEW_UNITS 4
#define FIRST_LEVEL_SEEK_PERIOD 128
#define FIRST_LEVEL_ENDING_ACTION_COUNT 14
#define FIRST_LEVEL_ENDING_LIGHT_THIN 4 // the watches the computer team's gate starts
#define FIRST_LEVEL_ENDING_DARK_THIN 5
#define FIRST_LEVEL_ENDING_LONG_BATTLE 13 // started with them
// A battle still undecided this long after the start, neither side thinned
// out (stragglers out of each other's sight), is sought out as a thinned one.
#define FIRST_LEVEL_LONG_BATTLE_TICKS 4200
// A side thinned out this long ago without an end: the stronger side left wins.
#define FIRST_LEVEL_LAST_STAND_TICKS 2400
#define FIRST_LEVEL_SOLDIER_COUNT 42 // identifiers 11-28, 31-52 and Very Hard's 53-54

// Adds the camera, fade, sound, swirl, weather and lightning actions at
// slots first_slot on.
void add_first_level_presentation_actions(script_builder *b, int32 first_slot);
// The level's end at slots first_slot on: victory ('endg' with 'ligh') when
// team 1 has no fighting unit left, defeat when team 0 has none, and the seek.
void add_first_level_ending_actions(script_builder *b, int32 first_slot);
// The level's own section: every issue's actions in landing order. The
// computer team's points must stand on open cells of the map.
struct map_description;
map_action_section first_level_script_section(const map_description &map);

// Four ambient-life palette rows (team 0) after every existing row and the
// eleven animals (identifier 0) after every existing marker; heights come
// from height_at (cell coordinates).
typedef int32 (*cell_height_proc)(int32 x, int32 y, void *data);
void add_first_level_animals(std::vector<marker_palette_entry> *palette, std::vector<marker_data> *markers,
	cell_height_proc height_at, void *data);

#endif
