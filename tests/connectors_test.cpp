// Connectors: spans block their cells, a lost post cuts both its spans,
// requests without posts make nothing, and pieces draw as upright quads.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "projectiles_test_support.h"
#include "render/render.h"
#include "shapes.h"

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

namespace {

// A piece draws as an upright quad of the fence's first frame spanning its
// texture; a piece at the eye, or a sequence with no drawable frame (refused
// with one line), draws nothing.
TEST_F(connectors_on_a_map, pieces_draw_as_upright_quads_of_their_first_frame)
{
	initialize_render();
	render_scene(NULL);
	const int16 scenery = get_collection_index(DEFAULT_SCENERY_COLLECTION_TAG);
	ASSERT_NE(scenery, NONE);
	render_surface_list list;
	new_surface_list(&list);
	view_data view;
	memset(&view, 0, sizeof(view));
	view.main_surface_list = &list;
	// Looking along +x: viewer depth is -x.
	view.world_to_viewer_rotation.n[1][0] = 16384;
	view.world_to_viewer_rotation.n[2][1] = 16384;
	view.world_to_viewer_rotation.n[0][2] = -16384;
	const world_point3d p0 = {1000, -200, 0}, p1 = {1000, 200, 0};
	render_connector(&view, &p0, &p1, scenery, _default_scenery_fence_sequence, 0, FALSE);
	ASSERT_EQ(list.surface_count, 2);
	const int16 rails = get_sequence_bitmap_index(scenery, _default_scenery_fence_sequence, 0, 0, NULL, NULL);
	for (render_surface *s = list.first_surface; s; s = s->next_surface)
	{
		const render_triangle *t = reinterpret_cast<const render_triangle *>(s);
		EXPECT_EQ(surface_subtype(s), _surface_subtype_object_triangle);
		EXPECT_EQ(bitmap_identifier_bitmap(t->texture), rails);
		uint16 u_low = 65535, u_high = 0;
		for (const render_corner &corner : t->corners)
		{
			EXPECT_EQ(corner.vertex->p.z, -1000);
			u_low = MIN(u_low, static_cast<uint16>(corner.interpolants[0]));
			u_high = MAX(u_high, static_cast<uint16>(corner.interpolants[0]));
		}
		EXPECT_EQ(u_low, 0);
		EXPECT_EQ(u_high, 65535) << "once across the texture";
	}

	// One corner at the eye's minimum distance draws nothing.
	const world_point3d near0 = {34, -200, 0}, near1 = {1000, 200, 0};
	render_connector(&view, &near0, &near1, scenery, _default_scenery_fence_sequence, 0, FALSE);
	EXPECT_EQ(list.surface_count, 2);
	for (int32 i = 0; i < 2; ++i) render_connector(&view, &p0, &p1, scenery, 999, 0, FALSE);
	EXPECT_EQ(list.surface_count, 2);
	const std::string log = log_text();
	const size_t line = log.find("has no drawable first frame");
	ASSERT_NE(line, std::string::npos);
	EXPECT_EQ(log.find("has no drawable first frame", line + 1), std::string::npos) << "one line for the bad sequence";
	EXPECT_EQ(get_connectors_test_hooks()->pieces_rendered, 4);
}

} // namespace
