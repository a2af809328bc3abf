// The default set's maps: the demo map 'demo' ("Demo Valley") and the
// benchmark map 'bnch', each with its colour-map collection, plus the media
// ('medi') and collection reference ('core') of their lake. Maps are made
// through the engine's own records, its map writer and its precalculation, so
// the same bytes come out on every build.
#ifndef MESH_CONTENT_H
#define MESH_CONTENT_H

#include <vector>

#include "cseries.h"
#include "demo_script.h"
#include "markers.h"
#include "media.h"
#include "mesh.h"

#define DEMO_MAP_MESH_TAG TAG("demo")
#define DEMO_MAP_MESH_NAME "Demo Valley"
#define BENCHMARK_MAP_MESH_TAG TAG("bnch")
#define TRAINING_MAP_MESH_TAG TAG("mt00")
#define TRAINING_MAP_MESH_NAME "Training"
#define BENCHMARK_MAP_MESH_NAME "Benchmark Plain"
#define DEMO_LANDSCAPE_COLLECTION_TAG TAG("demo")
#define BENCHMARK_LANDSCAPE_COLLECTION_TAG TAG("bnch")
#define DEFAULT_MEDIA_TAG TAG("watr")
#define DEFAULT_MEDIA_REFERENCE_TAG TAG("watr")
#define DEMO_DESCRIPTION_STRING_LIST_TAG TAG("demo")
#define TRAINING_DESCRIPTION_STRING_LIST_TAG TAG("mt00")
// The first level and the menu's demo map are the demo valley again.
#define FIRST_LEVEL_MAP_MESH_TAG TAG("l1  ")
#define FIRST_LEVEL_MAP_MESH_NAME "First Level"
#define FIRST_LEVEL_DESCRIPTION_STRING_LIST_TAG TAG("l1  ")
#define MENU_DEMO_MAP_MESH_TAG TAG("85gi")
#define MENU_DEMO_MAP_MESH_NAME "Menu Demo"
#define MENU_DEMO_DESCRIPTION_STRING_LIST_TAG TAG("85gi")

// Palette subgroups the later kinds of content will provide.
#define DEMO_SOLDIER_TAG TAG("sold")
#define DEMO_ARCHER_TAG TAG("arch")
#define DEMO_TREE_TAG TAG("tree")
#define DEMO_ROCK_TAG TAG("rock")
#define DEMO_POST_TAG TAG("post")
#define DEMO_FENCE_TAG TAG("fenc")
#define DEMO_BOMB_TAG TAG("bomb")
// The fence's posts, in a row, and the bomb's cell beside the hut.
#define DEMO_FIRST_POST_IDENTIFIER 501
#define DEMO_BOMB_CELL_X 35
#define DEMO_BOMB_CELL_Y 48
#define DEMO_BROOK_TAG TAG("brok")
#define DEMO_HUT_TAG TAG("hut ")
// The hut stands on this grid vertex of the demo map.
#define DEMO_HUT_CELL_X 32
#define DEMO_HUT_CELL_Y 48
// The cottage stands on this shore vertex, east of the lake.
#define DEMO_COTTAGE_TAG TAG("cott")
#define DEMO_COTTAGE_CELL_X 20
#define DEMO_COTTAGE_CELL_Y 50
#define DEMO_COTTAGE_IDENTIFIER 801

// A map as the generator builds it, before the engine precalculates it.
struct map_description
{
	mesh_header header;
	std::vector<mesh_cell> cells;
	std::vector<marker_palette_entry> palette;
	std::vector<marker_data> markers;
	map_action_section actions = {0, {}};
	std::vector<saved_connector_data> connectors;
};

map_description demo_map(void);
marker_palette_entry palette_row(int16 type, file_tag tag, int16 team_index, uint32 extra_flags);
marker_data marker_at(int16 type, int16 palette_index, int16 identifier, world_distance x, world_distance y, angle yaw);
int32 count_palette_rows(const map_description &map, int16 type);
short_world_distance ground_height(const map_description &map, world_distance x, world_distance y);
// Every scenery marker at the ground height of its point.
void stand_scenery_on_ground(map_description *map);
// Sorts the markers, precalculates normals and LOD through the engine, and
// writes the stored tag data.
std::vector<uint8> finish_map(map_description *map);
int32 make_mesh_tag(file_tag subgroup, const char *name, const std::vector<uint8> &bytes, uint32 user_data);
// The demo lake's water.
media_definition lake_media(void);

// The stored data of each map's 'mesh' tag (header at 0, block after it).
std::vector<uint8> demo_mesh_tag_data(void);
std::vector<uint8> benchmark_mesh_tag_data(void);

// Every map, its collection, the media, its reference and the demo's
// description as local tags; appends the handles.
bool make_default_mesh_tags(std::vector<int32> *handles);

#endif
