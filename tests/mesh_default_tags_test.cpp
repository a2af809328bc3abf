// The default set's maps, made by the generator's module and loaded through
// the definition loader with their collection, media and description.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "CoreLibrary/zerv/error_manager.h"
#include "definitions.h"
#include "directions.h"
#include "first_level_content.h"
#include "effects_content.h"
#include "local_projectiles.h"
#include "main.h"
#include "markers.h"
#include "mesh.h"
#include "byte_swap_records.h"
#include "collections_content.h"
#include "mesh_content.h"
#include "connectors.h"
#include "objects.h"
#include "objects_content.h"
#include "projectiles.h"
#include "projectiles_content.h"
#include "mesh_test_map.h"
#include "shapes.h"
#include "string_definitions.h"
#include "support/tag_files_test_directory.h"
#include "tag_files/tag_files.h"
#include "zerv.h"

namespace {

class mesh_default_maps : public tag_files_test_directory
{
protected:
	void SetUp() override
	{
		tag_files_test_directory::SetUp();
		preinitialize_definitions();
		initialize_world();
		initialize_shapes();
		initialize_string_definitions();
		initialize_media_definitions();
		initialize_mesh();
		initialize_markers();
		initialize_objects();
		initialize_projectiles();
		initialize_connectors();
		initialize_local_projectiles();
		game_play_version = 1720;
	}
	void TearDown() override
	{
		dispose_local_projectiles_from_old_map();
		dispose_connectors_from_old_map();
		dispose_projectiles_from_old_map();
		dispose_objects_from_old_map();
		dispose_mesh_from_old_map();
		dispose_media_definitions_from_old_map();
		dispose_string_definitions_from_old_map();
		dispose_shapes_from_old_map();
		tag_files_test_directory::TearDown();
	}

	bool start(file_tag mesh_tag)
	{
		initialize_shapes_for_new_map(FALSE);
		initialize_string_definitions_for_new_map();
		initialize_media_definitions_for_new_map();
		initialize_objects_for_new_map();
		initialize_projectiles_for_new_map();
		initialize_connectors_for_new_map();
		initialize_local_projectiles_for_new_map();
		return initialize_mesh_for_new_map(mesh_tag) != FALSE;
	}

	// The maps with what their media's splash groups and surface effects need.
	static bool make_map_tags(std::vector<int32> *handles)
	{
		return make_default_mesh_tags(handles) && make_default_collection_tags(handles) &&
			make_default_object_tags(handles) && make_default_projectile_tags(handles) &&
			make_default_effects_tags(handles);
	}
};

TEST_F(mesh_default_maps, the_generated_maps_are_the_same_every_time)
{
	const std::vector<uint8> demo = demo_mesh_tag_data();
	ASSERT_FALSE(demo.empty());
	EXPECT_EQ(demo, demo_mesh_tag_data());
	const std::vector<uint8> bench = benchmark_mesh_tag_data();
	ASSERT_FALSE(bench.empty());
	EXPECT_EQ(bench, benchmark_mesh_tag_data());

	// Both load on their own, without tags.
	ASSERT_TRUE(load_mesh_from_tag_data(demo.data(), static_cast<int32>(demo.size()), MESH_VERSION_NUMBER, "demo"));
	EXPECT_EQ(mesh_globals->mesh_width, 64);
	EXPECT_EQ(mesh_globals->mesh_height, 96);
	ASSERT_TRUE(load_mesh_from_tag_data(bench.data(), static_cast<int32>(bench.size()), MESH_VERSION_NUMBER, "bnch"));
	EXPECT_EQ(mesh_globals->mesh_width, 256);
	EXPECT_EQ(mesh_globals->marker_count, 1602);
	EXPECT_EQ(mesh_globals->marker_palette_count, 58);
	EXPECT_NE(mesh_globals->mesh_LOD_data, nullptr);
	EXPECT_GT(mesh_globals->media_coverage_region_size, 256 * 8 * 2);
}

TEST_F(mesh_default_maps, demo_loads_through_the_definition_loader)
{
	std::vector<int32> handles;
	ASSERT_TRUE(make_map_tags(&handles)) << log_text();
	ASSERT_TRUE(start(DEMO_MAP_MESH_TAG)) << log_text();

	EXPECT_EQ(mesh_globals->mesh_width, 64);
	EXPECT_EQ(mesh_globals->mesh_height, 96);
	EXPECT_EQ(direction_delta_cell[_direction_north], 64);
	const mesh_header *header = get_mesh_header();
	ASSERT_NE(header, nullptr);
	EXPECT_EQ(header->team_count, 2);
	EXPECT_EQ(header->flags & MESH_SCORING_FLAGS_MASK, FLAG(0) | FLAG(2) | FLAG(9));
	EXPECT_NE(header->landscape_collection_index, NONE);
	EXPECT_NE(header->media_type, NONE);
	EXPECT_NE(header->map_description_string_index, NONE);
	EXPECT_EQ(header->overhead_map_collection_index, NONE);
	EXPECT_EQ(header->connector_type, connector_definition_tag_to_index(DEMO_FENCE_TAG));
	EXPECT_EQ(mesh_globals->connector_count, 1);
	EXPECT_EQ(tag_file_get_header_user_data(tag_file_open(MESH_DEFINITION_GROUP_TAG, DEMO_MAP_MESH_TAG)), header->flags);

	// Every cell is fresh: no objects, no models; the lake counts with its surface.
	int32 media_cells = 0, impassable_cells = 0, second_only = 0;
	for (int32 i = 0; i < mesh_globals->cell_count; ++i)
	{
		const mesh_cell *cell = &mesh_globals->mesh_cells[i];
		ASSERT_EQ(cell->first_object_index, NONE);
		ASSERT_EQ(cell->model_index, NONE);
		if (cell->flags & _mesh_cell_triangle_media_flags) media_cells += 1;
		if ((cell->flags & _mesh_cell_triangle_media_flags) == _mesh_cell_triangle1_is_media_flag) second_only += 1;
		if ((cell->flags & CELL_TERRAIN_TYPE_MASK) == _terrain_walking_impassable) impassable_cells += 1;
	}
	EXPECT_GT(media_cells, 100);
	EXPECT_GT(second_only, 0);
	EXPECT_GT(impassable_cells, 0);
	EXPECT_GT(mesh_globals->max_cell_height, 160);
	EXPECT_LT(mesh_globals->min_cell_height, 0);
	const world_point2d lake = {20 * 512 + 100, 60 * 512 + 300};
	EXPECT_EQ(get_mesh_height(&lake, _true_height), 160);
	EXPECT_TRUE(get_mesh_reflectivity(&lake));

	// Markers by type, fresh identifiers, and the palette's teams.
	initialize_markers_for_new_map();
	EXPECT_EQ(count_markers(_marker_team), 2);
	EXPECT_EQ(count_markers(_marker_scenery), 16);
	EXPECT_EQ(count_markers(_marker_projectile), 1);
	EXPECT_EQ(count_markers(_marker_monster), 36);
	EXPECT_EQ(count_markers(_marker_sound_source), 2);
	int16 highest_team = NONE;
	scan_marker_palette_state state;
	new_scan_marker_palette_state(&state, _marker_monster, static_cast<file_tag>(NONE));
	while (const marker_palette_entry *entry = scan_marker_palette(&state)) highest_team = MAX(highest_team, entry->team_index);
	EXPECT_EQ(highest_team + 1, 2);
	for (int32 i = 0; i < mesh_globals->marker_count; ++i) EXPECT_NE(mesh_globals->markers[i].identifier, 0);
	// Stored higher types first.
	for (int32 i = 1; i < mesh_globals->marker_count; ++i)
	{
		EXPECT_GE(mesh_globals->markers[i - 1].type, mesh_globals->markers[i].type);
	}

	// The terrain maps come from the collection.
	EXPECT_NE(get_submesh_color_map_base_address(0, FALSE), nullptr);
	EXPECT_NE(get_submesh_shadow_map_base_address(5, FALSE), nullptr);
	EXPECT_EQ(get_submesh_color_map_base_address(6, FALSE), nullptr);
	EXPECT_EQ(get_mesh_color_map_pixel(-1, 0), 0);
}

TEST_F(mesh_default_maps, the_benchmark_map_loads_with_its_own_collection)
{
	std::vector<int32> handles;
	ASSERT_TRUE(make_map_tags(&handles)) << log_text();
	ASSERT_TRUE(start(BENCHMARK_MAP_MESH_TAG)) << log_text();
	EXPECT_EQ(mesh_globals->mesh_width, 256);
	EXPECT_EQ(mesh_globals->marker_count, 1602);
	EXPECT_NE(get_submesh_shadow_map_base_address(63, FALSE), nullptr);
}

// Drawn fog only, light enough to see the battle through; the benchmark has none.
TEST_F(mesh_default_maps, maps_carry_their_fog_density)
{
	std::vector<int32> handles;
	ASSERT_TRUE(make_map_tags(&handles)) << log_text();
	// The first level's water needs the local groups this fixture does not load: read its header as generated.
	EXPECT_FLOAT_EQ(first_level_map().header.fog_density, 0.00005f);
	const file_tag foggy[] = { DEMO_MAP_MESH_TAG, TRAINING_MAP_MESH_TAG, MENU_DEMO_MAP_MESH_TAG };
	for (file_tag tag : foggy)
	{
		ASSERT_TRUE(start(tag)) << log_text();
		EXPECT_FLOAT_EQ(get_mesh_header()->fog_density, 0.00005f);
		dispose_local_projectiles_from_old_map();
		dispose_connectors_from_old_map();
		dispose_projectiles_from_old_map();
		dispose_objects_from_old_map();
		dispose_mesh_from_old_map();
		dispose_media_definitions_from_old_map();
		dispose_string_definitions_from_old_map();
		dispose_shapes_from_old_map();
	}
	ASSERT_TRUE(start(BENCHMARK_MAP_MESH_TAG)) << log_text();
	EXPECT_EQ(get_mesh_header()->fog_density, 0.0f);
}

TEST_F(mesh_default_maps, a_stained_demo_leaves_one_bitmap)
{
	std::vector<int32> handles;
	ASSERT_TRUE(make_map_tags(&handles)) << log_text();
	ASSERT_EQ(mkdir("stained_maps", 0755), 0);
	ASSERT_TRUE(start(DEMO_MAP_MESH_TAG)) << log_text();
	const world_point2d p = {30 * 512, 30 * 512};
	bloody_mesh(&p);
	dispose_mesh_from_old_map();

	EXPECT_NE(log_text().find("Stained colormap saved to stained_maps/Stained map- "), std::string::npos) << log_text();
}

// The demo's stored data with its header changed, as another map tag.
int32 write_changed_demo(file_tag subgroup, void (*change)(mesh_header *header))
{
	std::vector<uint8> bytes = demo_mesh_tag_data();
	mesh_header header;
	memcpy(&header, bytes.data(), sizeof(header));
	byte_swap_data("test", &header, sizeof(header), 1, mesh_header_bs_data);
	change(&header);
	byte_swap_data("test", &header, sizeof(header), 1, mesh_header_bs_data);
	memcpy(bytes.data(), &header, sizeof(header));
	return tag_file_new_with_subgroup_tag(MESH_DEFINITION_GROUP_TAG, tag_to_string(subgroup), subgroup,
		MESH_VERSION_NUMBER, bytes.data(), static_cast<int32>(bytes.size()));
}

TEST_F(mesh_default_maps, optional_references_and_the_team_names_override)
{
	std::vector<int32> handles;
	ASSERT_TRUE(make_map_tags(&handles)) << log_text();
	ASSERT_NE(write_changed_demo(TAG("dem2"), [](mesh_header *h) { h->team_names_override_string_list_tag = TAG("demo"); }),
		NONE);
	ASSERT_NE(write_changed_demo(TAG("dem3"), [](mesh_header *h) {
		h->overhead_map_collection_tag = TAG("none");
		h->hints_string_list_tag = TAG("demo");
	}), NONE);

	game_data record = {};
	game = &record;
	new_game_data *setup = get_new_game_data();
	snprintf(setup->players[0].appearance.name, sizeof(setup->players[0].appearance.name), "%s", "first");
	snprintf(setup->players[2].appearance.name, sizeof(setup->players[2].appearance.name), "%s", "third");

	// Not a local game: the names stay.
	record.type = _game_type_networked;
	ASSERT_TRUE(start(TAG("dem2"))) << log_text();
	EXPECT_STREQ(setup->players[0].appearance.name, "first");
	dispose_mesh_from_old_map();
	dispose_media_definitions_from_old_map();
	dispose_string_definitions_from_old_map();
	dispose_shapes_from_old_map();

	// A local game takes strings 0 and 1 (cut to 31 characters); string 2 is missing.
	record.type = _game_type_local;
	ASSERT_TRUE(start(TAG("dem2"))) << log_text();
	EXPECT_STREQ(setup->players[0].appearance.name, "Demo Valley");
	EXPECT_EQ(strlen(setup->players[1].appearance.name), 31u);
	EXPECT_STREQ(setup->players[2].appearance.name, "third");
	dispose_mesh_from_old_map();
	dispose_media_definitions_from_old_map();
	dispose_string_definitions_from_old_map();
	dispose_shapes_from_old_map();

	// A missing optional reference fails the map, but the others still resolve.
	EXPECT_FALSE(start(TAG("dem3")));
	EXPECT_NE(log_text().find("mesh definition postprocess failed on 'dem3'."), std::string::npos);
	const mesh_header *failed = static_cast<const mesh_header *>(try_and_get_definition(get_mesh_definitions(), 0));
	ASSERT_NE(failed, nullptr);
	EXPECT_EQ(failed->overhead_map_collection_index, NONE);
	EXPECT_NE(failed->hints_string_list_index, NONE);
	EXPECT_NE(failed->landscape_collection_index, NONE);
	// The fixture puts the core's record back.
}

// Every generated map's sections converted as the load does (many records in
// one call) and one record at a time through the descriptor walk: the same bytes.
// The cell descriptor, here where the bulk conversion can be compiled for it.
constexpr byte_swap_code cell_codes[] = {_begin_bs_array, 1, _2byte, _2byte, _2byte, 2, _2byte, 2, _end_bs_array};

TEST_F(mesh_default_maps, sections_convert_as_the_walk_of_each_record_does)
{
	ASSERT_TRUE(std::equal(std::begin(cell_codes), std::end(cell_codes), mesh_cell_bs_data));

	std::vector<int32> handles;
	ASSERT_TRUE(make_map_tags(&handles)) << log_text();
	ASSERT_TRUE(make_first_level_map_tags(&handles)) << log_text();
	tag_file_info filter;
	tag_file_info_new(&filter);
	filter.group_tag = MESH_DEFINITION_GROUP_TAG;
	std::vector<int32> maps(64);
	maps.resize(static_cast<size_t>(tag_file_enumerate(&filter, maps.data(), static_cast<int32>(maps.size()))));
	ASSERT_GE(maps.size(), 3u);

	for (const int32 map : maps)
	{
		std::vector<uint8> tag(static_cast<size_t>(tag_file_get_header_data_size(map)));
		ASSERT_GE(tag.size(), sizeof(mesh_header));
		ASSERT_TRUE(tag_file_read(map, 0, static_cast<int32>(tag.size()), tag.data()));
		mesh_header header;
		memcpy(&header, tag.data(), sizeof(header));
		byte_swap_private::walk(mesh_header_bs_data, reinterpret_cast<uint8 *>(&header), nullptr);
		const uint8 *block = tag.data() + header.data_offset;
		ASSERT_LE(static_cast<size_t>(header.data_offset) + header.data_size, tag.size());

		auto section = [block](int32 offset, size_t size) { return std::vector<uint8>(block + offset, block + offset + size); };
		const size_t cell_count = static_cast<size_t>(header.mesh_size) / sizeof(mesh_cell);
		ASSERT_GT(cell_count, 0u);
		std::vector<uint8> cells = section(header.mesh_offset, cell_count * sizeof(mesh_cell)), cells_walked = cells;
		byte_swap_records<cell_codes>(cells.data(), sizeof(mesh_cell), static_cast<int32>(cell_count));
		for (size_t i = 0; i < cell_count; ++i)
			byte_swap_private::walk(mesh_cell_bs_data, cells_walked.data() + i * sizeof(mesh_cell), nullptr);
		EXPECT_EQ(cells, cells_walked) << "cells of map " << map;

		std::vector<uint8> connectors = section(header.connectors_offset, header.connector_count * sizeof(saved_connector_data));
		std::vector<uint8> connectors_walked = connectors;
		byte_swap_data("saved connectors", connectors.data(), sizeof(saved_connector_data), header.connector_count,
			saved_connector_data_bs_data);
		for (int32 i = 0; i < header.connector_count; ++i)
			byte_swap_private::walk(saved_connector_data_bs_data, connectors_walked.data() + i * sizeof(saved_connector_data), nullptr);
		EXPECT_EQ(connectors, connectors_walked) << "connectors of map " << map;

		const size_t entries = static_cast<size_t>(header.marker_palette_entries);
		std::vector<uint8> palette = section(header.marker_palette_offset, entries * sizeof(marker_palette_entry));
		std::vector<uint8> palette_one_by_one = palette;
		byte_swap_marker_palette(reinterpret_cast<marker_palette_entry *>(palette.data()), static_cast<int32>(entries));
		for (size_t i = 0; i < entries; ++i)
			byte_swap_marker_palette(reinterpret_cast<marker_palette_entry *>(palette_one_by_one.data()) + i, 1);
		EXPECT_EQ(palette, palette_one_by_one) << "marker palette of map " << map;

		const int32 word_sections[][2] = {{header.media_coverage_region_offset, header.media_coverage_region_size},
			{header.mesh_LOD_data_offset, header.mesh_LOD_data_size}};
		for (const auto &words : word_sections)
		{
			std::vector<uint8> swapped = section(words[0], static_cast<size_t>(words[1])), reversed = swapped;
			byte_swap_memory("words", swapped.data(), words[1] / 2, _2byte);
			for (size_t i = 0; i + 1 < reversed.size(); i += 2) std::swap(reversed[i], reversed[i + 1]);
			EXPECT_EQ(swapped, reversed) << "words of map " << map;
		}
	}
}

TEST_F(mesh_default_maps, a_block_read_ahead_gives_the_same_map)
{
	std::vector<int32> handles;
	ASSERT_TRUE(make_map_tags(&handles)) << log_text();
	ASSERT_TRUE(start(DEMO_MAP_MESH_TAG));
	const std::vector<mesh_cell> plain(mesh_globals->mesh_cells, mesh_globals->mesh_cells + mesh_globals->cell_count);
	dispose_mesh_from_old_map();

	// The preloader reads the block first; the map load then takes it.
	initialize_definitions_for_new_map(get_mesh_definitions());
	ASSERT_NE(definition_tag_to_index(get_mesh_definitions(), DEMO_MAP_MESH_TAG), NONE);
	ASSERT_TRUE(load_mesh_header_data(DEMO_MAP_MESH_TAG, TRUE));
	EXPECT_TRUE(get_mesh_definitions()->flags[0] & _definition_fetched_flag);
	ASSERT_TRUE(initialize_mesh_for_new_map(DEMO_MAP_MESH_TAG));
	ASSERT_EQ(mesh_globals->cell_count, static_cast<int32>(plain.size()));
	EXPECT_EQ(memcmp(mesh_globals->mesh_cells, plain.data(), plain.size() * sizeof(mesh_cell)), 0);
	EXPECT_FALSE(load_mesh_header_data(TAG("none"), FALSE));
}

} // namespace
