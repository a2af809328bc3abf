// What the targets that run things on a small map share: the modules set up
// on a tag set of their own, the generated tags they read and a one-submesh
// grass map.
#ifndef MAP_FUZZ_SUPPORT_H
#define MAP_FUZZ_SUPPORT_H

#include <vector>

#include "collection_references.h"
#include "collections_content.h"
#include "default_tags.h"
#include "definitions.h"
#include "fuzz_support.h"
#include "mesh.h"
#include "models.h"
#include "monsters.h"
#include "objects.h"
#include "objects_content.h"
#include "projectiles.h"
#include "projectiles_content.h"
#include "scenery.h"
#include "shapes.h"
#include "string_definitions.h"
#include "tag_files/tag_files.h"
#include "units_content.h"
#include "world.h"
#include "zerv.h"

// The modules every map target needs, on an empty tag set.
inline void open_fuzz_tag_set(void)
{
	tag_files_reset_for_tests();
	tag_files_initialize();
	preinitialize_definitions();
	initialize_world();
	initialize_shapes();
	initialize_mesh();
	initialize_objects();
	initialize_models();
}

// Adds projectiles, explosions, scenery and units with the generated tags they
// read; with_units adds the unit kinds and units with their string lists.
inline void open_generated_tag_set(bool with_units)
{
	open_fuzz_tag_set();
	if (with_units)
	{
		initialize_collection_references();
		initialize_string_definitions();
	}
	initialize_projectiles();
	initialize_explosions();
	initialize_scenery();
	initialize_monsters();
	std::vector<int32> handles;
	if (with_units) check(make_default_string_list_tags(&handles));
	check(make_default_collection_tags(&handles));
	check(make_default_object_tags(&handles));
	check(make_default_projectile_tags(&handles));
	if (with_units) check(make_default_unit_tags(&handles));
	game_play_version = MAXIMUM_GAME_PLAY_VERSION;
}

// Sets up for a map what open_generated_tag_set opened.
inline void start_generated_tag_set_map(bool with_units)
{
	initialize_shapes_for_new_map(FALSE);
	if (with_units)
	{
		initialize_collection_references_for_new_map();
		initialize_string_definitions_for_new_map();
	}
	initialize_objects_for_new_map();
	initialize_scenery_for_new_map();
	initialize_projectiles_for_new_map();
	initialize_monsters_for_new_map();
	initialize_explosions_for_new_map();
	initialize_internal_projectiles_for_new_map();
	if (with_units) initialize_internal_projectile_groups_for_new_map();
}

// The tag data of a 32 x 32 grass map. base, when given, brings the header and
// what more the map holds (palette, markers); ridge_column, when not NONE,
// stands 600 high.
inline std::vector<uint8> grass_map_tag_data(const mesh_tag_contents *base = nullptr, int32 ridge_column = NONE)
{
	mesh_tag_contents contents = {};
	if (base) contents = *base;
	else initialize_mesh_header(&contents.header, 1, 1);
	std::vector<mesh_cell> cells(SUBMESH_WIDTH * SUBMESH_WIDTH);
	for (int32 i = 0; i < SUBMESH_WIDTH * SUBMESH_WIDTH; ++i)
	{
		cells[i] = {static_cast<short_world_distance>(i % SUBMESH_WIDTH == ridge_column ? 600 : 0), 0,
			static_cast<uint16>((_terrain_grass << 4) | _terrain_grass), NONE, 0, NONE};
	}
	std::vector<uint16> LOD(SUBMESH_WIDTH * SUBMESH_WIDTH / 4, 0);
	contents.cells = cells.data();
	contents.LOD_data = LOD.data();
	contents.LOD_data_words = static_cast<int32>(LOD.size());
	int32 size = 0;
	uint8 *data = build_mesh_tag_data(&contents, &size);
	check(data != nullptr);
	std::vector<uint8> bytes(data, data + size);
	dispose_pointer(data);
	return bytes;
}

inline void load_fuzz_map(const std::vector<uint8> &bytes)
{
	check(load_mesh_from_tag_data(bytes.data(), static_cast<int32>(bytes.size()), MESH_VERSION_NUMBER, "fuzz"));
}

#endif
