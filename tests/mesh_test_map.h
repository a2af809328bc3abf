// Small maps built in memory for the mesh and marker tests, written through
// the engine's own map writer and loaded through the loader's checks.
#ifndef MESH_TEST_MAP_H
#define MESH_TEST_MAP_H

#include <gtest/gtest.h>

#include <vector>

#include "CoreLibrary/zerv/error_manager.h"
#include "markers.h"
#include "mesh.h"
#include "support/test_directory.h"
#include "world.h"
#include "zerv.h"

struct test_map
{
	int16 submesh_width = 2, submesh_height = 3;
	mesh_header header;
	std::vector<mesh_cell> cells;
	std::vector<marker_palette_entry> palette;
	std::vector<marker_data> markers;
	std::vector<uint16> coverage;
	std::vector<uint16> LOD;
	std::vector<saved_connector_data> connectors;
	std::vector<uint8> map_actions;
	int32 map_action_count = 0;

	test_map(int16 width_in_submeshes = 2, int16 height_in_submeshes = 3, bool with_LOD = true)
		: submesh_width(width_in_submeshes), submesh_height(height_in_submeshes)
	{
		initialize_mesh_header(&header, submesh_width, submesh_height);
		const mesh_cell grass = {0, 0, static_cast<uint16>((_terrain_grass << 4) | _terrain_grass), NONE, 0, NONE};
		cells.assign(static_cast<size_t>(width() * height()), grass);
		if (with_LOD) LOD.assign(static_cast<size_t>((width() / 2) * (height() / 2)), 0);
	}

	int32 width() const { return submesh_width * SUBMESH_WIDTH; }
	int32 height() const { return submesh_height * SUBMESH_WIDTH; }
	mesh_cell &cell(int32 x, int32 y) { return cells[static_cast<size_t>(y * width() + x)]; }

	// The stored tag data (caller owns it).
	std::vector<uint8> tag_data() const
	{
		mesh_tag_contents contents = {};
		contents.header = header;
		contents.cells = cells.data();
		contents.palette = palette.data();
		contents.palette_count = static_cast<int32>(palette.size());
		contents.markers = markers.data();
		contents.marker_count = static_cast<int32>(markers.size());
		contents.media_coverage_region = coverage.data();
		contents.media_coverage_region_words = static_cast<int32>(coverage.size());
		contents.LOD_data = LOD.data();
		contents.LOD_data_words = static_cast<int32>(LOD.size());
		contents.connectors = connectors.data();
		contents.connector_count = static_cast<int32>(connectors.size());
		contents.map_actions = map_actions.data();
		contents.map_action_count = map_action_count;
		contents.map_action_buffer_size = static_cast<int32>(map_actions.size());
		int32 size = 0;
		uint8 *data = build_mesh_tag_data(&contents, &size);
		std::vector<uint8> bytes;
		if (data) bytes.assign(data, data + size);
		dispose_pointer(data);
		return bytes;
	}

	bool load(int16 version = MESH_VERSION_NUMBER) const
	{
		const std::vector<uint8> bytes = tag_data();
		return load_mesh_from_tag_data(bytes.data(), static_cast<int32>(bytes.size()), version, "test map") != FALSE;
	}
};

inline void initialize_mesh_test_modules(void)
{
	initialize_world();
	initialize_mesh();
	initialize_markers();
}

// Fixture of the tests that load maps from memory: a fresh error state and
// the mesh modules in the test's own folder.
class mesh_test_directory : public zerv_test_directory
{
protected:
	void SetUp() override
	{
		zerv_test_directory::SetUp();
		initialize_error_state("zerv");
		initialize_mesh_test_modules();
		game_play_version = 1720;
	}
	void TearDown() override
	{
		dispose_mesh_from_old_map();
		zerv_test_directory::TearDown();
	}
};

inline marker_data test_marker(int16 type, int16 identifier, int16 palette_index = 0)
{
	marker_data marker = {};
	marker.type = type;
	marker.identifier = identifier;
	marker.palette_index = palette_index;
	marker.data_index = NONE;
	marker.data_identifier = NONE;
	return marker;
}

inline marker_palette_entry test_palette_entry(int16 type, file_tag tag, int16 team_index = NONE)
{
	marker_palette_entry entry = {};
	entry.type = type;
	entry.tag = tag;
	entry.team_index = team_index;
	entry.tag_index = NONE;
	return entry;
}

#endif
