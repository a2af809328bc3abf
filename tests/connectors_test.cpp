// Connectors: spans block their cells, a lost post cuts both its spans, and
// requests without posts make nothing.
#include <gtest/gtest.h>

#include "projectiles_test_support.h"

namespace {

class connectors_on_a_map : public projectiles_test_map
{
protected:
	int16 fence(std::initializer_list<int16> posts)
	{
		new_connector_data request = {};
		request.type = connector_definition_tag_to_index(DEFAULT_FENCE_CONNECTOR_TAG);
		for (int16 post : posts)
		{
			request.object_id[request.connector_count].object_index = post;
			request.object_id[request.connector_count].object_identifier =
				post == NONE ? static_cast<int16>(NONE) : get_object_data(post)->identifier;
			request.connector_count += 1;
		}
		return new_connector(&request);
	}
	static uint8 terrain(int32 x, int32 y)
	{
		return static_cast<uint8>(get_mesh_cell(x, y)->flags & CELL_TERRAIN_MASK);
	}
};

TEST_F(connectors_on_a_map, losing_the_middle_post_frees_both_spans)
{
	const int16 a = place_scenery(TAG("post"), 2 * 512 + 256, 5 * 512 + 256);
	const int16 b = place_scenery(TAG("post"), 6 * 512 + 256, 5 * 512 + 256);
	const int16 c = place_scenery(TAG("post"), 10 * 512 + 256, 5 * 512 + 256);
	const int16 index = fence({a, b, c});
	ASSERT_NE(index, NONE);
	for (int32 x = 2; x <= 10; ++x) EXPECT_EQ(terrain(x, 5), BLOCKED_CELL_TERRAIN) << x;
	const connector_data *connector = get_connector_data(index);
	EXPECT_FALSE(connector->objects[2].flags & _connector_object_linked_to_next_object_flag)
		<< "the last post never links to the first";

	delete_object(b);
	update_connectors();
	EXPECT_EQ(connector->connector_count, 2);
	EXPECT_EQ(connector->objects[0].object_index, a);
	EXPECT_EQ(connector->objects[1].object_index, c);
	EXPECT_FALSE(connector->objects[0].flags & _connector_object_linked_to_next_object_flag);
	for (int32 x = 2; x <= 10; ++x) EXPECT_EQ(terrain(x, 5), FREE_CELL_TERRAIN) << x;
}

TEST_F(connectors_on_a_map, requests_without_posts_make_nothing)
{
	EXPECT_EQ(fence({NONE, NONE}), NONE);
	saved_connector_data saved = {};
	saved.identifiers[0] = 501;
	saved.identifiers[1] = 502;
	saved.count = 2;
	EXPECT_EQ(new_connector_from_saved_data(connector_definition_tag_to_index(DEFAULT_FENCE_CONNECTOR_TAG), &saved), NONE);
	saved.count = 500; // clamped, not trusted
	EXPECT_EQ(new_connector_from_saved_data(connector_definition_tag_to_index(DEFAULT_FENCE_CONNECTOR_TAG), &saved), NONE);
	EXPECT_EQ(connector_array.total_count, 0);
}

TEST_F(connectors_on_a_map, each_changed_cell_is_reported_once_in_walk_order)
{
	const world_point2d p0 = {1 * 512 + 100, 1 * 512 + 100}, p1 = {7 * 512 + 100, 4 * 512 + 100};
	reset_monsters_test_hooks();
	set_cells_between_points(&p0, &p1, TRUE);
	const int32 changed = get_monsters_test_hooks()->impassability_updates;
	EXPECT_GE(changed, 7);
	EXPECT_EQ(get_monsters_test_hooks()->last_impassability_x, 7);
	EXPECT_EQ(get_monsters_test_hooks()->last_impassability_y, 4);
	set_cells_between_points(&p0, &p1, TRUE);
	EXPECT_EQ(get_monsters_test_hooks()->impassability_updates, changed) << "unchanged cells are not reported";
	const world_point2d outside = {-3000, 200};
	set_cells_between_points(&outside, &p0, TRUE); // off the grid: skipped
	EXPECT_EQ(terrain(1, 1), BLOCKED_CELL_TERRAIN);
}

} // namespace
