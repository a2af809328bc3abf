// The demo map's scenery, fence and sleeping bomb through the game core, the
// benchmark map's trees, and the 'demo volley' trail: arrows and bombs
// launched between ticks, identical on every run and build.
#include <gtest/gtest.h>

#include <cstdlib>

#include "effects_content.h"
#include "local_projectiles.h"
#include "render/render.h"
#include "map_actions/map_actions.h"
#include "mesh_content.h"
#include "objects.h"
#include "projectiles_content.h"
#include "projectiles_test_support.h"
#include "support/zerv_harness.h"

namespace {

class projectiles_harness : public zerv_harness_fixture
{
protected:
	static int32 objects_of(int16 owner, file_tag tag)
	{
		int32 count = 0;
		const int16 type = owner == _object_is_scenery ? scenery_definition_tag_to_index(tag) : projectile_definition_tag_to_index(tag);
		for (int16 i = 0; i < object_array.count; ++i)
		{
			const object_data *object = get_object_data(i);
			count += object && object->owner == owner && object->owner_index == type;
		}
		return count;
	}
	static int32 blocked_cells(int32 x0, int32 y0, int32 x1, int32 y1)
	{
		int32 count = 0;
		for (int32 y = y0; y <= y1; ++y)
		{
			for (int32 x = x0; x <= x1; ++x) count += (get_mesh_cell(x, y)->flags & CELL_TERRAIN_MASK) == BLOCKED_CELL_TERRAIN;
		}
		return count;
	}
	static void launch_volley(int32 tick)
	{
		new_projectile_data request;
		initialize_new_projectile_data(&request);
		const bool bomb = tick % 200 == 100;
		request.type = projectile_definition_tag_to_index(bomb ? DEFAULT_BOMB_PROJECTILE_TAG : DEFAULT_ARROW_PROJECTILE_TAG);
		request.location.position = {(20 + tick / 30) * 512, 30 * 512, 800};
		request.location.velocity = {static_cast<int16>(bomb ? 10 : 30), static_cast<int16>(tick % 7 - 3), 20};
		new_projectile(&request);
	}
	static std::vector<harness_digest_entry> run_volley(void)
	{
		new_game_data setup;
		harness_demo_setup(&setup, 2);
		EXPECT_TRUE(harness_start_map(&setup));
		int32 launched = 0;
		for (int32 tick = 0; tick < 600; tick += 10)
		{
			if (tick % 30 == 0 && launched < 23)
			{
				launch_volley(tick);
				launched += 1;
			}
			harness_run_ticks(10);
		}
		std::vector<harness_digest_entry> trail = harness_digest_trail();
		harness_end_map();
		return trail;
	}
};

TEST_F(projectiles_harness, demo_places_scenery_a_fence_and_a_sleeping_bomb)
{
	new_game_data setup;
	harness_demo_setup(&setup, 2);
	ASSERT_TRUE(harness_start_map(&setup));
	EXPECT_GT(objects_of(_object_is_scenery, DEMO_TREE_TAG), 0);
	EXPECT_EQ(objects_of(_object_is_scenery, DEMO_ROCK_TAG), 4);
	EXPECT_EQ(objects_of(_object_is_scenery, DEMO_POST_TAG), 3);
	EXPECT_EQ(blocked_cells(36, 28, 43, 34), 3) << "four rocks, two in one cell";
	EXPECT_EQ(blocked_cells(44, 20, 50, 20), 7) << "the fence between its posts";
	EXPECT_EQ(connector_array.total_count, 1);
	EXPECT_EQ(objects_of(_object_is_dormant_projectile, DEMO_BOMB_TAG), 1);
	const marker_data *bomb = get_marker_by_identifier(_marker_projectile, 701);
	ASSERT_NE(bomb, nullptr);
	const object_data *object = get_object_data(bomb->data_index);
	ASSERT_NE(object, nullptr);
	EXPECT_EQ(object->owner, _object_is_dormant_projectile);
	EXPECT_EQ(object->location.position.x, DEMO_BOMB_CELL_X * 512 + 256);
	EXPECT_EQ(projectile_array.total_count, 0);
	// Map scripts name projectiles and their groups by tag; sounds have no definitions yet.
	EXPECT_EQ(resolve_map_action_tag(_parameter_projectile_tag, DEFAULT_ARROW_PROJECTILE_TAG),
		projectile_definition_tag_to_index(DEFAULT_ARROW_PROJECTILE_TAG));
	EXPECT_NE(resolve_map_action_tag(_parameter_projectile_group_tag, DEFAULT_SPLASH_GROUP_TAG), NONE);
	EXPECT_EQ(resolve_map_action_tag(_parameter_sound_tag, DEFAULT_ARROW_PROJECTILE_TAG), NONE);
	harness_end_map();

	harness_battle_setup(&setup, TAG("bnch"));
	ASSERT_TRUE(harness_start_map(&setup));
	EXPECT_EQ(objects_of(_object_is_scenery, DEMO_TREE_TAG), 1100);
	harness_end_map();
}

TEST_F(projectiles_harness, an_arrow_falling_into_the_lake_ripples_its_surface)
{
	new_game_data setup;
	harness_demo_setup(&setup, 2);
	ASSERT_TRUE(harness_start_map(&setup));
	const world_point2d lake = {20 * 512 + 100, 60 * 512 + 300};
	const short_world_distance surface = get_mesh_height(&lake, _media_height);
	new_projectile_data request;
	initialize_new_projectile_data(&request);
	request.type = projectile_definition_tag_to_index(DEFAULT_ARROW_PROJECTILE_TAG);
	request.location.position = {lake.x, lake.y, surface + 100};
	request.location.velocity = {0, 0, -60};
	const int16 arrow = new_projectile(&request);
	ASSERT_NE(arrow, NONE);
	const int16 projectiles = projectile_array.total_count;
	const int16 ripple = local_projectile_group_definition_tag_to_index(SPLASH_RIPPLE_GROUP_TAG);
	ASSERT_NE(ripple, NONE);
	int16 rippling = NONE;
	for (int32 tick = 0; tick < 4 && rippling == NONE; ++tick)
	{
		update_projectiles();
		for (int16 i = 0; i < local_projectile_group_array.count; ++i)
		{
			const local_projectile_group_data *group = get_local_projectile_group_data(i);
			if (!group || group->type != ripple) continue;
			if (std::abs(group->center.x - lake.x) > 512 || std::abs(group->center.y - lake.y) > 512) continue;
			EXPECT_EQ(rippling, NONE) << "one ripple";
			rippling = i;
		}
	}
	ASSERT_NE(rippling, NONE) << "the lake's splash ripples where the arrow fell";
	EXPECT_EQ(get_local_projectile_group_data(rippling)->current_number, 1);
	EXPECT_EQ(get_projectile_data(arrow), nullptr) << "entering the lake detonates it";
	EXPECT_EQ(projectile_array.total_count, projectiles - 1) << "and throws nothing";
	// The ripple runs its course and its group goes with it.
	view_data view = {};
	view.game_ticks_elapsed = 6;
	for (int32 frame = 0; frame < 20; ++frame) build_local_projectiles_surface_list(&view, nullptr);
	EXPECT_EQ(get_local_projectile_group_data(rippling), nullptr);
	harness_end_map();
}

TEST_F(projectiles_harness, the_demo_volley_leaves_the_same_trail_twice)
{
	const std::vector<harness_digest_entry> first = run_volley();
	const std::vector<harness_digest_entry> second = run_volley();
	ASSERT_EQ(first.size(), 600u);
	ASSERT_EQ(first.size(), second.size());
	for (size_t i = 0; i < first.size(); ++i) ASSERT_EQ(first[i].digest, second[i].digest) << i;
	EXPECT_TRUE(harness_write_test_digest_trail(first));
}

} // namespace
