// What the targets that run things on a small map share: the modules set up
// on a tag set of their own, the generated tags they read and a one-submesh
// grass map.
#ifndef MAP_FUZZ_SUPPORT_H
#define MAP_FUZZ_SUPPORT_H

#include <vector>

#include "attack_ai.h"
#include "collection_references.h"
#include "collections_content.h"
#include "default_tags.h"
#include "markers.h"
#include "path.h"
#include "players.h"
#include "definitions.h"
#include "effects_content.h"
#include "local_projectiles.h"
#include "fuzz_support.h"
#include "map_action_fuzz_support.h"
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
	// The projectile groups name local groups (blood, debris, dust).
	initialize_local_projectiles();
	get_local_projectiles_test_hooks()->module_off = TRUE; // visual only: no group is made
	std::vector<int32> handles;
	if (with_units) check(make_default_string_list_tags(&handles));
	check(make_default_collection_tags(&handles));
	check(make_default_object_tags(&handles));
	check(make_default_projectile_tags(&handles));
	check(make_default_effects_tags(&handles));
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
	initialize_local_projectiles_for_new_map();
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

/* ---------- the small world of units */

// A datum array's bookkeeping and records.
struct fuzz_datum_snapshot
{
	datum_globals *array;
	datum_globals bookkeeping;
	std::vector<uint8> records;

	void take(datum_globals *source)
	{
		array = source;
		bookkeeping = *source;
		if (!source->data) return;
		records.assign(static_cast<const uint8 *>(source->data),
			static_cast<const uint8 *>(source->data) + static_cast<size_t>(source->maximum_count) * source->size);
	}
	void restore(void) const
	{
		array->first_free_index = bookkeeping.first_free_index;
		array->count = bookkeeping.count;
		array->total_count = bookkeeping.total_count;
		array->next_identifier = bookkeeping.next_identifier;
		if (!records.empty()) memcpy(array->data, records.data(), records.size());
	}
};

// The grass map with a unit of every generated kind for each of two teams
// (team 0's markers 1.., team 1's 31..), placed through new_monster, and the
// map-action store set up; once per process. restore_fuzz_unit_world puts the
// units, objects, paths and cells' object chains back as they were, so that a
// target giving orders starts every input from the same world.
struct fuzz_unit_world
{
	game_data game_record;
	fuzz_datum_snapshot monsters, objects, paths;
	std::vector<int16> cell_heads;
};

inline fuzz_unit_world *get_fuzz_unit_world(void)
{
	static fuzz_unit_world world;
	return &world;
}

inline void set_up_fuzz_unit_world(void)
{
	fuzz_unit_world *world = get_fuzz_unit_world();
	open_generated_tag_set(true);
	initialize_markers();
	initialize_players();
	initialize_pathfinding();
	memset(&world->game_record, 0, sizeof(world->game_record));
	world->game_record.type = _game_type_local;
	world->game_record.winning_team_index = NONE;
	world->game_record.difficulty_level = 2;
	game = &world->game_record;

	std::vector<marker_palette_entry> palette;
	std::vector<marker_data> markers;
	for (int16 team = 0; team < 2; ++team)
	{
		int16 n = 0;
		for (const file_tag kind : default_unit_kind_tags)
		{
			marker_palette_entry entry = {};
			entry.type = _marker_monster;
			entry.tag = kind;
			entry.team_index = team;
			entry.tag_index = NONE;
			marker_data marker = {};
			marker.type = _marker_monster;
			marker.palette_index = static_cast<int16>(palette.size());
			marker.identifier = static_cast<int16>(team * 30 + n + 1);
			marker.location.position = {(8 + 4 * n) * WORLD_ONE, (12 + 8 * team) * WORLD_ONE, 0};
			marker.data_index = marker.data_identifier = NONE;
			palette.push_back(entry);
			markers.push_back(marker);
			++n;
		}
	}
	mesh_tag_contents contents = {};
	initialize_mesh_header(&contents.header, 1, 1);
	contents.header.team_count = 2;
	contents.palette = palette.data();
	contents.palette_count = static_cast<int32>(palette.size());
	contents.markers = markers.data();
	contents.marker_count = static_cast<int32>(markers.size());
	load_fuzz_map(grass_map_tag_data(&contents));
	start_generated_tag_set_map(true);
	initialize_markers_for_new_map();
	initialize_pathfinding_for_new_map();
	new_player_data players[2] = {};
	for (int16 i = 0; i < 2; ++i)
	{
		players[i].team_index = i;
		players[i].unique_identifier = static_cast<uint32>(i + 1);
		players[i].team_captain_identifier = players[i].unique_identifier;
		players[i].agreed_to_play = TRUE;
	}
	initialize_players_for_new_map(2, players, 0);
	scan_marker_palette_state palette_scan;
	new_scan_marker_palette_state(&palette_scan, _marker_monster, static_cast<file_tag>(NONE));
	while (marker_palette_entry *entry = scan_marker_palette(&palette_scan)) new_monster_palette_entry(entry);
	scan_markers_state scan;
	new_scan_markers_state(&scan, _marker_monster, NONE, NONE);
	while (marker_data *marker = scan_markers(&scan)) check(new_monster(marker) != NONE);

	world->monsters.take(&monster_array);
	world->objects.take(&object_array);
	world->paths.take(&path_array);
	world->cell_heads.resize(static_cast<size_t>(mesh_globals->cell_count));
	for (int32 i = 0; i < mesh_globals->cell_count; ++i) world->cell_heads[i] = mesh_globals->mesh_cells[i].first_object_index;
}

inline void restore_fuzz_unit_world(void)
{
	fuzz_unit_world *world = get_fuzz_unit_world();
	world->monsters.restore();
	world->objects.restore();
	world->paths.restore();
	for (int32 i = 0; i < mesh_globals->cell_count; ++i) mesh_globals->mesh_cells[i].first_object_index = world->cell_heads[i];
	rebuild_object_cell_occupancy();
	game = &world->game_record;
}

// Sets a script input up on the small world of units: a play-version selector
// byte, a big-endian i16 action count, then the section. False when the input
// is out of bounds or its section is refused (the store is left empty).
template <size_t version_count>
bool import_fuzz_unit_world_script(const uint8_t *data, size_t size, const int16 (&versions)[version_count])
{
	static bool initialized = false;
	if (!initialized)
	{
		set_up_fuzz_unit_world();
		initialize_map_actions();
		initialized = true;
	}
	if (size < 3 || size > 3 + 64 * 1024 + PARAMETER_BUFFER_SIZE) return false;
	restore_fuzz_unit_world();
	set_random_seed(DEFAULT_RANDOM_SEED);
	game_play_version = versions[data[0] % version_count];
	const int16 count = static_cast<int16>((data[1] << 8) | data[2]);

	initialize_map_actions_for_new_map();
	if (!import_map_actions(count, static_cast<int32>(size - 3), data + 3, TRUE))
	{
		check(map_action_array.total_count == 0 && get_map_action_parameter_buffer_size() == 0);
		dispose_map_actions_from_old_map();
		return false;
	}
	return true;
}

// Four scheduler passes at pass ticks over the imported script, the store's
// invariants checked after each; then the clock, the attack AI and the store
// are put back.
inline void run_fuzz_unit_world_script(void)
{
	for (int32 pass = 0; pass < 4; ++pass)
	{
		game->game_time = pass * MAP_ACTION_FREQUENCY;
		update_map_actions();
		check_map_action_store();
	}
	game->game_time = 0;
	reset_attack_ai();
	dispose_map_actions_from_old_map();
}

#endif
