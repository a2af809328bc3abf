// Stains burnt into the demo valley's terrain maps.
#include <gtest/gtest.h>

#include <vector>

#include "collections_content.h"
#include "mesh.h"
#include "mesh_content.h"
#include "render/render.h"
#include "shapes.h"
#include "support/zerv_harness.h"
#include "world.h"

namespace {

class render_stain : public zerv_harness_fixture
{
protected:
	void SetUp() override
	{
		zerv_harness_fixture::SetUp();
		new_game_data setup;
		harness_default_setup(&setup);
		setup.parameters.scenario_tag = DEMO_MAP_MESH_TAG;
		ASSERT_TRUE(harness_start_map(&setup));
		collection = get_collection_index(DEFAULT_EFFECTS_COLLECTION_TAG);
		ASSERT_NE(collection, NONE);
	}
	void TearDown() override
	{
		harness_end_map();
		zerv_harness_fixture::TearDown();
	}

	// The shadow texels of the box around (x, y) that the scorch can reach.
	static std::vector<uint8> shadows_around(int32 x, int32 y)
	{
		std::vector<uint8> texels;
		for (int32 ty = y - 16; ty < y + 16; ++ty)
		{
			for (int32 tx = x - 16; tx < x + 16; ++tx)
			{
				const int16 submesh = static_cast<int16>((ty / SUBMESH_TEXTURE_SIZE) * mesh_globals->submesh_width +
					tx / SUBMESH_TEXTURE_SIZE);
				const uint8 *map = get_submesh_shadow_map_base_address(submesh, FALSE);
				texels.push_back(map ? map[(ty % SUBMESH_TEXTURE_SIZE) * SUBMESH_TEXTURE_SIZE + tx % SUBMESH_TEXTURE_SIZE] : 0);
			}
		}
		return texels;
	}

	void stain(int32 x, int32 y)
	{
		permanent_overlay_data overlay = {static_cast<uint8>(collection), _default_effects_scorch_sequence, 0,
			{static_cast<int16>(x), static_cast<int16>(y)}};
		rasterize_permanent_overlay(&overlay);
	}

	int16 collection = NONE;
};

}

// A stain across the corner of four submeshes darkens texels in each, with
// two local draws and none from the synchronised stream.
TEST_F(render_stain, a_stain_reaches_four_submeshes_with_two_local_draws)
{
	const int32 corner = SUBMESH_TEXTURE_SIZE;
	ASSERT_GE(mesh_globals->submesh_width, 2);
	const std::vector<uint8> before = shadows_around(corner, corner);
	const uint32 synchronised = zerv_random_draw_count();
	const uint32 seed = get_local_random_seed();
	local_random();
	local_random();
	const uint32 after_two = get_local_random_seed();
	set_local_random_seed(seed);

	stain(corner, corner);
	EXPECT_EQ(get_local_random_seed(), after_two);
	EXPECT_EQ(zerv_random_draw_count(), synchronised);
	const std::vector<uint8> after = shadows_around(corner, corner);
	int32 changed[4] = {};
	for (size_t i = 0; i < before.size(); ++i)
	{
		if (before[i] == after[i]) continue;
		const int32 ty = static_cast<int32>(i) / 32, tx = static_cast<int32>(i) % 32;
		changed[(ty >= 16 ? 2 : 0) + (tx >= 16 ? 1 : 0)] += 1;
	}
	for (int32 quarter = 0; quarter < 4; ++quarter) EXPECT_GT(changed[quarter], 0) << quarter;
}

// Texels under media are spared, and so is everything off the mesh.
TEST_F(render_stain, media_and_the_map_edge_are_spared)
{
	int32 lake_x = NONE, lake_y = NONE;
	const int32 texels_wide = mesh_globals->mesh_width * MESH_TEXELS_PER_CELL;
	const int32 texels_high = mesh_globals->mesh_height * MESH_TEXELS_PER_CELL;
	for (int32 y = 16; y < texels_high - 16 && lake_x == NONE; y += 4)
	{
		for (int32 x = 16; x < texels_wide - 16 && lake_x == NONE; x += 4)
		{
			bool all_media = true;
			for (int32 ty = y - 16; ty < y + 16 && all_media; ++ty)
			{
				for (int32 tx = x - 16; tx < x + 16 && all_media; ++tx) all_media = mesh_texture_pixel_is_media(tx, ty);
			}
			if (all_media) lake_x = x, lake_y = y;
		}
	}
	ASSERT_NE(lake_x, NONE) << "the demo valley has a lake";
	const std::vector<uint8> before = shadows_around(lake_x, lake_y);
	stain(lake_x, lake_y);
	EXPECT_EQ(shadows_around(lake_x, lake_y), before);

	// Half off the map at either end: no crash, and the texels on the mesh still change.
	const std::vector<uint8> corner = shadows_around(16, 16);
	stain(0, 0);
	stain(texels_wide, texels_high);
	stain(-5000, 30000);
	EXPECT_NE(shadows_around(16, 16), corner);
}
