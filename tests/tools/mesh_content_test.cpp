// The generated maps come out byte for byte the same from every compiler and
// build: the 64-bit, 32-bit and clang trees must all write these tags.
#include <gtest/gtest.h>

#include <vector>

#include "CoreLibrary/cseries/crc.h"
#include "CoreLibrary/zerv/error_manager.h"
#include "mesh.h"
#include "mesh_content.h"
#include "support/test_directory.h"
#include "support/zerv_harness.h"
#include "tag_files/tag_files.h"

namespace {

// CRC-32 of each stored mesh tag. A deliberate change of the content or of
// the mesh writer changes these; nothing else may.
const uint32 demo_mesh_tag_crc = 0x0B560658u;
const int32 demo_mesh_tag_size = 88508;
const uint32 benchmark_mesh_tag_crc = 0x513929BEu;
const int32 benchmark_mesh_tag_size = 931872;

uint32 crc_of(const std::vector<uint8> &bytes)
{
	return calculate_data_crc(bytes.data(), static_cast<int32>(bytes.size()));
}

class mesh_content : public zerv_test_directory
{
protected:
	void SetUp() override
	{
		zerv_test_directory::SetUp();
		initialize_error_state("zerv");
	}
};

TEST_F(mesh_content, the_generated_maps_have_their_pinned_bytes)
{
	const std::vector<uint8> demo = demo_mesh_tag_data();
	EXPECT_EQ(static_cast<int32>(demo.size()), demo_mesh_tag_size);
	EXPECT_EQ(crc_of(demo), demo_mesh_tag_crc) << std::hex << crc_of(demo);
	const std::vector<uint8> bench = benchmark_mesh_tag_data();
	EXPECT_EQ(static_cast<int32>(bench.size()), benchmark_mesh_tag_size);
	EXPECT_EQ(crc_of(bench), benchmark_mesh_tag_crc) << std::hex << crc_of(bench);
}

class installed_mesh_content : public zerv_harness_fixture
{
protected:
	static std::vector<uint8> installed_tag(file_tag subgroup)
	{
		const int32 handle = tag_file_open(MESH_DEFINITION_GROUP_TAG, subgroup);
		if (handle == NONE) return {};
		const int32 size = tag_file_get_header_data_size(handle);
		std::vector<uint8> bytes(static_cast<size_t>(size > 0 ? size : 0));
		if (size <= 0 || !tag_file_read(handle, 0, size, bytes.data())) return {};
		return bytes;
	}
};

// What the build's own generator run wrote into the tag set.
TEST_F(installed_mesh_content, the_installed_maps_have_the_pinned_bytes)
{
	const std::vector<uint8> demo = installed_tag(DEMO_MAP_MESH_TAG);
	ASSERT_FALSE(demo.empty());
	EXPECT_EQ(static_cast<int32>(demo.size()), demo_mesh_tag_size);
	EXPECT_EQ(crc_of(demo), demo_mesh_tag_crc) << std::hex << crc_of(demo);
	const std::vector<uint8> bench = installed_tag(BENCHMARK_MAP_MESH_TAG);
	ASSERT_FALSE(bench.empty());
	EXPECT_EQ(static_cast<int32>(bench.size()), benchmark_mesh_tag_size);
	EXPECT_EQ(crc_of(bench), benchmark_mesh_tag_crc) << std::hex << crc_of(bench);
}

// The demo's colour maps as drawn: no texel holds colour 0 (colour-keyed, and
// no colour to the blend table), and no cell edge is a seam: within a colour
// family no step across a cell edge is larger than the largest inside a cell.
TEST_F(installed_mesh_content, the_colour_maps_hold_no_index_0_and_no_seams)
{
	new_game_data setup;
	harness_demo_setup(&setup, 2);
	ASSERT_TRUE(harness_start_map(&setup));
	const int32 width = mesh_globals->mesh_width * MESH_TEXELS_PER_CELL;
	const int32 height = mesh_globals->mesh_height * MESH_TEXELS_PER_CELL;
	constexpr int32 families = 256 >> 5;
	int32 inside_largest[families] = {}, edge_largest[families] = {};
	int64 zeros = 0, edges = 0;
	for (int32 y = 0; y < height; ++y)
	{
		for (int32 x = 0; x < width; ++x)
		{
			const int32 c = get_mesh_color_map_pixel(x, y);
			zeros += c == 0;
			const int32 neighbours[2][3] = {{x + 1, y, x % MESH_TEXELS_PER_CELL == MESH_TEXELS_PER_CELL - 1},
				{x, y + 1, y % MESH_TEXELS_PER_CELL == MESH_TEXELS_PER_CELL - 1}};
			for (const auto &n : neighbours)
			{
				if (n[0] >= width || n[1] >= height) continue;
				const int32 other = get_mesh_color_map_pixel(n[0], n[1]);
				if ((other >> 5) != (c >> 5)) continue;
				int32 &largest = (n[2] ? edge_largest : inside_largest)[c >> 5];
				largest = MAX(largest, c > other ? c - other : other - c);
				edges += n[2];
			}
		}
	}
	EXPECT_EQ(zeros, 0);
	ASSERT_GT(edges, 0);
	int32 textured = 0;
	for (int32 family = 0; family < families; ++family)
	{
		textured += inside_largest[family] > 0;
		EXPECT_LE(edge_largest[family], inside_largest[family]) << "family " << family;
	}
	EXPECT_GT(textured, 0) << "a texture, not a flat colour";
	harness_end_map();
}

// Scenery takes its height from its marker: on every map built from the demo
// valley each scenery marker stands on the ground of its point, and the
// benchmark keeps its fixed content.
TEST_F(installed_mesh_content, scenery_markers_stand_on_the_ground)
{
	for (const file_tag tag : {DEMO_MAP_MESH_TAG, FIRST_LEVEL_MAP_MESH_TAG, TRAINING_MAP_MESH_TAG, MENU_DEMO_MAP_MESH_TAG})
	{
		const std::vector<uint8> bytes = installed_tag(tag);
		ASSERT_FALSE(bytes.empty());
		ASSERT_TRUE(load_mesh_from_tag_data(bytes.data(), static_cast<int32>(bytes.size()), MESH_VERSION_NUMBER, "map"));
		int32 scenery = 0;
		for (int32 i = 0; i < mesh_globals->marker_count; ++i)
		{
			const marker_data &marker = mesh_globals->markers[i];
			if (marker.type != _marker_scenery) continue;
			++scenery;
			const world_point2d p = {marker.location.position.x, marker.location.position.y};
			EXPECT_EQ(marker.location.position.z, get_mesh_height(&p, _true_height)) << "marker " << i << " of "
				<< std::hex << tag;
		}
		EXPECT_GE(scenery, 16);
		dispose_mesh_from_old_map();
	}
}

} // namespace
