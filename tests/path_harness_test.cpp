// Searches and layouts on the demo valley, written as a trail that the 64-bit
// and 32-bit builds must write identically.
#include <gtest/gtest.h>

#include "formations.h"
#include "mesh.h"
#include "path.h"
#include "support/zerv_harness.h"

class path_harness : public zerv_harness_fixture {};

TEST_F(path_harness, searches_and_layouts_on_the_demo_valley_agree_across_builds)
{
	new_game_data setup;
	harness_demo_setup(&setup);
	ASSERT_TRUE(harness_start_map(&setup));
	ASSERT_TRUE(mesh_is_loaded());
	const int32 width = mesh_globals->mesh_width * WORLD_ONE, height = mesh_globals->mesh_height * WORLD_ONE;
	uint32 seed = 0x5EA7C4u;
	auto next = [&seed](int32 n) {
		seed = seed * 1664525u + 1013904223u;
		return static_cast<int32>((seed >> 8) % static_cast<uint32>(n));
	};
	std::vector<harness_digest_entry> trail;
	for (int32 i = 0; i < 300; ++i)
	{
		path_variables v = {};
		v.terrain_impassability_flags = static_cast<uint16>(FLAG(_terrain_media_human_depth) |
			FLAG(_terrain_media_giant_depth) | FLAG(_terrain_media_deep) | FLAG(_terrain_walking_impassable));
		v.p0 = {next(width), next(height)};
		v.p1 = {next(width), next(height)};
		int16 index = new_path(NONE, &v);
		zerv_digest digest;
		zerv_digest_begin(&digest);
		zerv_digest_int16(&digest, index);
		zerv_digest_int16(&digest, static_cast<int16>(v.flags));
		zerv_digest_int32(&digest, v.p1.x);
		zerv_digest_int32(&digest, v.p1.y);
		if (const postprocessed_path_data *p = get_path_data(index))
		{
			zerv_digest_int32(&digest, p->waypoint.x);
			zerv_digest_int32(&digest, p->waypoint.y);
		}
		delete_path(&index);
		trail.push_back({i, digest.hash});
	}
	// Every layout, the floating-point ones at both versions.
	for (const int16 version : {static_cast<int16>(1300), static_cast<int16>(1720)})
	{
		game_play_version = version;
		for (int16 type = 0; type < MAXIMUM_NUMBER_OF_FORMATIONS; ++type)
		{
			world_point2d points[126];
			angle facings[126];
			const world_point2d center = {next(width), next(height)};
			build_formation(NONE, type, &center, points, facings, static_cast<angle>(next(65536)), 103);
			zerv_digest digest;
			zerv_digest_begin(&digest);
			zerv_digest_bytes(&digest, points, static_cast<int32>(103 * sizeof(world_point2d)));
			zerv_digest_bytes(&digest, facings, static_cast<int32>(103 * sizeof(angle)));
			trail.push_back({1000 + version + type, digest.hash});
		}
	}
	EXPECT_TRUE(harness_write_test_digest_trail(trail));
	harness_end_map();
}
