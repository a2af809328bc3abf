// The generated maps come out byte for byte the same from every compiler and
// build: the 64-bit, 32-bit and clang trees must all write these tags.
#include <gtest/gtest.h>

#include <vector>

#include "CoreLibrary/cseries/crc.h"
#include "CoreLibrary/zerv/error_manager.h"
#include "mesh.h"
#include "mesh_content.h"
#include "monster_definitions.h"
#include "monsters.h"
#include "objects.h"
#include "units_content.h"
#include "support/test_directory.h"
#include "support/zerv_harness.h"
#include "tag_files/tag_files.h"

namespace {

// CRC-32 of each stored mesh tag. A deliberate change of the content or of
// the mesh writer changes these; nothing else may.
const uint32 demo_mesh_tag_crc = 0x6E9AB252u;
const int32 demo_mesh_tag_size = 86460;
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

// The benchmark pen: walls barred on both triangles, the gap and
// the inside grass, no tree left inside; the trees all still stand.
TEST_F(installed_mesh_content, the_benchmark_map_has_its_walled_pen_and_gap)
{
	new_game_data setup;
	harness_battle_setup(&setup, TAG("bnch"));
	ASSERT_TRUE(harness_start_map(&setup));
	auto terrain = [](int32 x, int32 y, int16 triangle) {
		const mesh_cell *cell = get_mesh_cell(x, y);
		return static_cast<int16>(triangle ? (cell->flags & CELL_TERRAIN_TYPE_MASK) :
			((cell->flags >> CELL_TERRAIN_TYPE_BITS) & CELL_TERRAIN_TYPE_MASK));
	};
	const int32 walls[][2] = {{176, 116}, {176, 125}, {176, 130}, {176, 140}, {200, 128}, {188, 116}, {188, 140}};
	for (const auto &w : walls)
	{
		EXPECT_EQ(terrain(w[0], w[1], 0), _terrain_walking_impassable) << w[0] << "," << w[1];
		EXPECT_EQ(terrain(w[0], w[1], 1), _terrain_walking_impassable) << w[0] << "," << w[1];
	}
	for (int32 y = 117; y <= 139; ++y)
	{
		for (int32 x = 177; x <= 199; ++x)
		{
			ASSERT_EQ(terrain(x, y, 0), _terrain_grass) << x << "," << y;
			ASSERT_EQ(terrain(x, y, 1), _terrain_grass) << x << "," << y;
		}
	}
	for (int32 y = 126; y <= 129; ++y) EXPECT_EQ(terrain(176, y, 0), _terrain_grass) << y;
	EXPECT_EQ(terrain(176, 125, 0), _terrain_walking_impassable);
	EXPECT_EQ(terrain(176, 130, 0), _terrain_walking_impassable);

	int32 trees = 0;
	for (int16 i = 0; i < object_array.count; ++i)
	{
		const object_data *object = get_object_data(i);
		if (!object || object->owner != _object_is_scenery) continue;
		trees += 1;
		const int32 x = object->location.position.x / WORLD_ONE, y = object->location.position.y / WORLD_ONE;
		EXPECT_FALSE(x >= 176 && x <= 200 && y >= 116 && y <= 140) << x << "," << y;
	}
	EXPECT_GE(trees, 1100);
	harness_end_map();
}

// The swordsman walks round blockage, charges and turns in place; the archer
// does not turn in place; both stop only at deep water and walls.
TEST(units_content_movement, the_swordsman_and_archer_carry_their_movement_fields)
{
	const uint16 barred = (1u << _terrain_media_deep) | (1u << _terrain_walking_impassable) |
		(1u << _terrain_flying_impassable);
	for (int16 kind = 0; kind < 2; ++kind)
	{
		const monster_definition d = default_unit_monster_definition(kind);
		uint16 negative = 0;
		for (int32 n = 0; n < NUMBER_OF_MONSTER_TERRAIN_TYPES; ++n)
		{
			if (d.terrain_costs[n] < 0) negative = static_cast<uint16>(negative | (1u << n));
			const uint8 expected = n == _terrain_marsh ? 128 : (n == _terrain_snow || n == _terrain_forest) ? 192 : 255;
			EXPECT_EQ(d.movement_modifiers[n], expected) << kind << " " << n;
		}
		EXPECT_EQ(negative, barred) << kind;
		EXPECT_EQ(d.sequence_indexes[_monster_sequence_moving] != NONE, true) << kind;
		EXPECT_EQ(d.sequence_indexes[_monster_sequence_turning] != NONE, kind == 0) << kind;
	}
	const monster_definition soldier = default_unit_monster_definition(0);
	EXPECT_TRUE(soldier.flags & _monster_is_skittish_flag);
	EXPECT_EQ(soldier.terrain_costs[4], 4);
	EXPECT_EQ(soldier.terrain_costs[6], 4);
	EXPECT_EQ(soldier.terrain_costs[8], 13);
	EXPECT_EQ(soldier.terrain_costs[10], 8);
	EXPECT_NE(soldier.sequence_indexes[_monster_sequence_pausing_for_obstacle], NONE);
	EXPECT_NE(soldier.sequence_indexes[_monster_sequence_running], NONE);
}

} // namespace
