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

// Adds the camera, fade, sound, swirl, weather and lightning actions at
// slots first_slot on.
void add_first_level_presentation_actions(script_builder *b, int32 first_slot);
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
