// One particle drawn by the hand-made view of the object tests (eye at
// (0, 1000, 64) looking along +x): the near and far culls, and its shadow or
// light by height above the flat test map.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "local_projectiles.h"
#include "objects_test_support.h"
#include "render/render.h"

namespace {

#define SHADOWED_TEST_COLLECTION_TAG TAG("objs")

class render_local_projectiles : public objects_test_map
{
protected:
	void SetUp() override
	{
		objects_test_map::SetUp();
		initialize_render();
		render_scene(NULL);
		initialize_local_projectiles();
		initialize_local_projectiles_for_new_map();
		// The slow sequence with a shadow map (bit 0 of its flags makes it a light).
		collection_description shadowed = object_test_collection();
		shadow_map_data shadow;
		memset(&shadow, 0, sizeof(shadow));
		shadow.bitmap_index = 0;
		shadowed.shadow_maps.push_back(shadow);
		shadow.flags = 1;
		shadowed.shadow_maps.push_back(shadow);
		shadowed.sequences[_test_slow_sequence].shadow_map_indexes = {0, 0};
		shadowed.sequences[_test_walking_sequence].shadow_map_indexes = {1, 1, 1, 1, 1};
		ASSERT_NE(make_collection_tag(SHADOWED_TEST_COLLECTION_TAG, "shadowed", shadowed), NONE);
		shadowed_collection = get_collection_index(SHADOWED_TEST_COLLECTION_TAG);
		ASSERT_NE(shadowed_collection, NONE);
		new_surface_list(&list);
		memset(&view, 0, sizeof(view));
		view.screen_width = 640;
		view.screen_height = 480;
		view.xk = 320;
		view.yk = 240;
		view.world_to_screen_x = view.world_to_screen_y = 320;
		view.location.position = {0, 1000, 64};
		view.world_to_viewer_rotation.n[1][0] = 16384;
		view.world_to_viewer_rotation.n[2][1] = 16384;
		view.world_to_viewer_rotation.n[0][2] = -16384;
		view.main_surface_list = &list;
		region = static_cast<mesh_region *>(render_malloc(sizeof(mesh_region)));
		memset(region, 0, sizeof(*region));
	}
	void TearDown() override
	{
		dispose_local_projectiles_from_old_map();
		objects_test_map::TearDown();
	}

	// A group of one sequence with no particles of its own.
	int16 group(int16 sequence)
	{
		local_projectile_group_definition d = {};
		d.collection_reference_tag = d.physics_tag = static_cast<file_tag>(NONE);
		d.sequence_indexes[0] = sequence;
		d.sequence_indexes[1] = NONE;
		d.scale_lower_bound = 256;
		d.animation_rate_lower_bound = 256;
		d.collection_reference_index = NONE;
		d.collection_index = shadowed_collection;
		d.color_table_index = NONE;
		d.physics_index = NONE;
		d.flags = _group_projectiles_always_start_at_first_animation_frame_flag;
		const int16 type = new_definition(get_local_projectile_group_definitions(), TAG("test"), &d);
		new_local_projectile_group_data request = {};
		request.type = type;
		request.central_object_index = request.central_object_identifier = NONE;
		request.bounds_object_index = request.bounds_object_identifier = NONE;
		request.group_opacity = 65535;
		request.color_table_index = NONE;
		return new_local_projectile_group(&request);
	}

	// Draws the group's newest particle, placed at p; the shadow's density or -1.
	int32 draw_at(int16 group_index, const world_point3d &p, int32 *rectangles = nullptr)
	{
		create_stationary_projectile(group_index, &p);
		return draw_newest(group_index, rectangles);
	}

	int32 draw_newest(int16 group_index, int32 *rectangles = nullptr)
	{
		const local_projectile_group_data *g = get_local_projectile_group_data(group_index);
		new_surface_list(&list);
		view.shadow_map_overlays = view.light_map_overlays = nullptr;
		render_local_projectile(&view, region, FALSE, g, g->first_projectile_index, &g->center, g->type, 65535, NONE, NONE);
		if (rectangles) *rectangles = list.surface_count;
		const render_map_overlay *overlay = view.shadow_map_overlays ? view.shadow_map_overlays : view.light_map_overlays;
		return overlay ? overlay->density : -1;
	}

	int16 shadowed_collection = NONE;
	render_surface_list list;
	view_data view;
	mesh_region *region = nullptr;
};

TEST_F(render_local_projectiles, shadows_fade_with_height_and_lights_fade_sooner)
{
	const int16 shadowed = group(_test_slow_sequence);
	ASSERT_NE(shadowed, NONE);
	int32 drawn = 0;
	EXPECT_EQ(draw_at(shadowed, {200, 1000, 0}, &drawn), 65279); // the particle's whole opacity
	EXPECT_EQ(drawn, 1);
	EXPECT_EQ(view.shadow_map_overlays->x0, 200);
	EXPECT_EQ(draw_at(shadowed, {200, 1000, 512}), 54400);
	EXPECT_EQ(view.shadow_map_overlays->x0, 200 + 255); // shifted about half the height
	EXPECT_EQ(draw_at(shadowed, {200, 1000, 3071}), 21);
	EXPECT_EQ(draw_at(shadowed, {200, 1000, 3072}), -1);
	const int16 lit = group(_test_walking_sequence);
	EXPECT_EQ(draw_at(lit, {200, 1000, 1023}), 63);
	EXPECT_NE(view.light_map_overlays, nullptr);
	EXPECT_EQ(draw_at(lit, {200, 1000, 1024}), -1);
}

// A media surface effect is drawn in the reflected pass alone, and only where
// reflections are drawn: on a reflecting cell, in a view that keeps them.
TEST_F(render_local_projectiles, surface_effects_draw_only_where_reflections_do)
{
	const int16 g = group(_test_slow_sequence);
	get_local_projectile_group_definition(get_local_projectile_group_data(g)->type)->flags |= _group_is_media_surface_effect_flag;
	const world_point3d on_the_water = {200, 1000, 0};
	create_stationary_projectile(g, &on_the_water);
	mesh_span spans[2] = {{0, 4}, {0, 4}};
	region->y0 = 0;
	region->y1 = 2;
	region->spans = spans;
	mesh_cell *cell = get_mesh_cell(0, 1);
	const uint16 flags = cell->flags;
	const auto drawn = [this](boolean reflecting, uint32 view_flags) {
		mesh_cell *c = get_mesh_cell(0, 1);
		c->flags = static_cast<uint16>(reflecting ? c->flags | _mesh_cell_has_reflection_flag : c->flags & ~_mesh_cell_has_reflection_flag);
		view.flags = view_flags;
		new_surface_list(&list);
		build_local_projectiles_surface_list(&view, region);
		return list.surface_count;
	};
	EXPECT_EQ(drawn(TRUE, 0), 1);
	EXPECT_EQ(drawn(FALSE, 0), 0);
	EXPECT_EQ(drawn(TRUE, _render_view_omit_reflections_flag), 0);
	cell->flags = flags;
	view.flags = 0;
}

TEST_F(render_local_projectiles, too_near_and_too_far_particles_are_not_drawn)
{
	const int16 g = group(_test_slow_sequence);
	int32 drawn = 0;
	EXPECT_EQ(draw_at(g, {34, 1000, 64}, &drawn), -1); // depth -34
	EXPECT_EQ(drawn, 0);
	draw_at(g, {35, 1000, 64}, &drawn);
	EXPECT_EQ(drawn, 1);
	// Below the ground nothing is drawn; past 30719 in the plane neither.
	EXPECT_EQ(draw_at(g, {200, 1000, -1}, &drawn), -1);
	EXPECT_EQ(drawn, 0);
	EXPECT_EQ(draw_at(g, {30719, 1000, 0}), 65279);
	EXPECT_EQ(draw_at(g, {30720, 1000, 0}, &drawn), -1);
	EXPECT_EQ(drawn, 0);
}

// The particle's opacity by transfer mode, halfway through its time or its
// animation and once past it; and a view that rounds up to the count is view 0.
TEST_F(render_local_projectiles, transfer_modes_and_the_last_view)
{
	const int16 g = group(_test_slow_sequence); // 100 ticks a frame, 2 frames
	const int16 type = get_local_projectile_group_data(g)->type;
	const world_point3d at = {200, 1000, 64};
	create_stationary_projectile(g, &at);
	local_projectile_data *particle = get_local_projectile_data(get_local_projectile_group_data(g)->first_projectile_index);
	auto transparency = [&](int16 mode, bool past) {
		get_local_projectile_group_definition(type)->transfer_mode = mode;
		particle->ticks_elapsed = past ? 30 : 15;
		particle->expiration_time = 30;
		particle->frame_index = 1;
		particle->phase = past ? 100 : 0;
		int32 drawn = 0;
		draw_newest(g, &drawn);
		return drawn == 1 ? static_cast<int32>(list.last_surface->transparency) : -1;
	};
	const int32 halfway[] = {1, 32768, 32768, 32769, 32769, 1};
	const int32 after[] = {1, 1, 1, 65535, 65535, 1};
	for (int16 mode = 0; mode <= 5; ++mode)
	{
		EXPECT_EQ(transparency(mode == 5 ? 9 : mode, false), halfway[mode]) << mode;
		EXPECT_EQ(transparency(mode == 5 ? 9 : mode, true), after[mode]) << mode;
	}

	// Eight views: turned 4096 from straight behind, the particle's view rounds
	// up to 8, which is view 0 again: it is drawn like its neighbours.
	const int16 turning = group(_test_walking_sequence);
	create_stationary_projectile(turning, &at);
	local_projectile_data *walker = get_local_projectile_data(get_local_projectile_group_data(turning)->first_projectile_index);
	for (angle yaw : {32768, 36863, 36864, 36865})
	{
		walker->yaw = yaw;
		int32 drawn = 0;
		draw_newest(turning, &drawn);
		EXPECT_EQ(drawn, 1) << yaw;
	}
}

} // namespace
