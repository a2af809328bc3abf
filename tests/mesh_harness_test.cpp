// The demo map started by the game core from the generated tag set.
#include <gtest/gtest.h>

#include <vector>

#include "markers.h"
#include "mesh.h"
#include "mesh_content.h"
#include "support/zerv_harness.h"
#include "world.h"

namespace {

class mesh_harness : public zerv_harness_fixture
{
protected:
	static void demo_setup(new_game_data *setup)
	{
		harness_default_setup(setup);
		setup->parameters.scenario_tag = DEMO_MAP_MESH_TAG;
	}
};

TEST_F(mesh_harness, the_demo_map_starts_and_replays_the_same)
{
	new_game_data setup;
	demo_setup(&setup);
	ASSERT_TRUE(harness_start_map(&setup));
	ASSERT_TRUE(mesh_is_loaded());
	EXPECT_EQ(mesh_globals->mesh_width, 64);
	EXPECT_EQ(mesh_globals->mesh_height, 96);
	EXPECT_EQ(count_markers(_marker_monster), 36);
	EXPECT_EQ(count_marker_palette_entries(NONE), 19);
	for (int32 i = 0; i < mesh_globals->marker_count; ++i) EXPECT_NE(mesh_globals->markers[i].identifier, 0);

	// The synchronised stream moves once per stain, drawn or not.
	const uint32 draws = zerv_random_draw_count();
	const world_point2d p = {10 * 512, 10 * 512};
	stain_mesh(0, 0, &p);
	EXPECT_EQ(zerv_random_draw_count(), draws + 1);
	local_stain_mesh(0, 0, &p);
	EXPECT_EQ(zerv_random_draw_count(), draws + 1);

	EXPECT_EQ(harness_run_ticks(600), 600);
	const std::vector<harness_digest_entry> first = harness_digest_trail();
	harness_end_map();
	EXPECT_FALSE(mesh_is_loaded());

	demo_setup(&setup);
	ASSERT_TRUE(harness_start_map(&setup));
	// The same start without the extra draw.
	zerv_random();
	EXPECT_EQ(harness_run_ticks(600), 600);
	const std::vector<harness_digest_entry> second = harness_digest_trail();
	harness_end_map();

	ASSERT_EQ(first.size(), second.size());
	for (size_t i = 0; i < first.size(); ++i)
	{
		ASSERT_EQ(first[i].game_time, second[i].game_time);
		ASSERT_EQ(first[i].digest, second[i].digest) << "tick " << first[i].game_time;
	}
}

} // namespace
