// The frame core: the arena, sort keys, categories, the view's projection,
// the region, clipping, post effects and the camera's steps.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "CoreLibrary/zerv/error_manager.h"
#include "bitmaps.h"
#include "input/actions.h"
#include "observer.h"
#include "render/render.h"
#include "screen.h"
#include "support/test_directory.h"
#include "world.h"

namespace {

class render_core : public zerv_test_directory
{
protected:
	void SetUp() override
	{
		zerv_test_directory::SetUp();
		initialize_world();
		render_scene(NULL); // resets the arena
	}

	static render_triangle *triangle(int16 subtype, uint32 flags, short_world_distance z)
	{
		render_triangle *t = static_cast<render_triangle *>(render_malloc(sizeof(render_triangle)));
		memset(t, 0, sizeof(*t));
		set_surface_type(&t->surface, _surface_type_triangle, subtype);
		set_surface_flags(&t->surface, flags);
		t->surface.z = z;
		return t;
	}

	static render_vertex *vertex(int16 x, int16 y)
	{
		render_vertex *v = static_cast<render_vertex *>(render_malloc(sizeof(render_vertex)));
		memset(v, 0, sizeof(*v));
		v->screen = {x, y};
		v->p.z = -100;
		v->flags = _vertex_clipped_flag | _vertex_screen_transformed_flag;
		return v;
	}
};

}

TEST_F(render_core, the_arena_rounds_natively_and_its_end_is_fatal)
{
	uint8 *first = static_cast<uint8 *>(render_malloc(3));
	uint8 *second = static_cast<uint8 *>(render_malloc(1));
	EXPECT_EQ(second - first, static_cast<ptrdiff_t>(sizeof(void *)));
	render_scene(NULL);
	EXPECT_EQ(render_malloc(1), first) << "each frame starts from the base";

	// One tail block, the same for every request.
	uint8 *tail = static_cast<uint8 *>(render_temporary(64));
	EXPECT_EQ(render_temporary(64), tail);
	EXPECT_EQ(static_cast<uint8 *>(render_temporary(32)), tail + 32);

	for (int32 which = 0; which < 2; ++which)
	{
		share_test_directory_with_death_tests(test_directory);
		EXPECT_EXIT(
			{
				initialize_error_state("render");
				render_scene(NULL);
				if (which == 0)
				{
					// Ending exactly at the end is already fatal.
					render_malloc(RENDER_MEMORY_POOL_SIZE - static_cast<int32>(sizeof(void *)));
					render_malloc(static_cast<int32>(sizeof(void *)));
				}
				else
				{
					render_temporary(RENDER_MEMORY_POOL_SIZE / 2);
					render_malloc(RENDER_MEMORY_POOL_SIZE / 2 + 64);
					render_temporary(RENDER_MEMORY_POOL_SIZE / 2);
				}
			},
			::testing::ExitedWithCode(_error_out_of_memory), "") << which;
		stop_sharing_test_directory();
	}
}

TEST_F(render_core, keys_run_far_to_near_with_effects_last_and_ties_in_order)
{
	render_surface_list list;
	new_surface_list(&list);
	render_triangle *near = triangle(_surface_subtype_mesh_triangle, 0, -10);
	render_triangle *far = triangle(_surface_subtype_mesh_triangle, 0, -500);
	render_triangle *precise = triangle(_surface_subtype_mesh_triangle, _surface_precise_z_flag, -20);
	precise->surface.precise_z = -100 * 16384;
	render_triangle *tie = triangle(_surface_subtype_mesh_triangle, 0, -500);
	add_surface_to_surface_list(&list, &near->surface);
	add_surface_to_surface_list(&list, &far->surface);
	add_surface_to_surface_list(&list, &precise->surface);
	add_surface_to_surface_list(&list, &tie->surface);
	list.override_precise_z = -1;
	render_triangle *effect = triangle(_surface_subtype_mesh_triangle, _surface_precise_z_flag, -1000);
	add_surface_to_surface_list(&list, &effect->surface);
	EXPECT_EQ(near->surface.precise_z, -10 * 16384);
	EXPECT_EQ(precise->surface.precise_z, -100 * 16384);
	EXPECT_EQ(effect->surface.precise_z, -1);
	EXPECT_EQ(list.surface_count, 5);

	// Vertices far outside the screen: every triangle is discarded but still
	// sorted; the walk from the last surface runs far to near.
	for (render_triangle *t : {near, far, precise, tie, effect})
	{
		for (render_corner &corner : t->corners) corner.vertex = vertex(-5, -5);
	}
	view_data view;
	memset(&view, 0, sizeof(view));
	postprocess_scene(&view, &list);
	std::vector<render_surface *> walk;
	for (render_surface *s = list.last_surface; s; s = s->previous_surface) walk.push_back(s);
	const std::vector<render_surface *> expected = {&far->surface, &tie->surface, &precise->surface, &near->surface,
		&effect->surface};
	EXPECT_EQ(walk, expected);
	EXPECT_EQ(list.first_surface, &effect->surface);
	EXPECT_EQ(surface_categories[_surface_category_mesh].count, 5) << "discarded mesh triangles stay in Mesh";
}

TEST_F(render_core, surfaces_go_to_their_categories)
{
	struct route
	{
		int16 subtype;
		uint32 flags;
		int16 category;
	} routes[] = {
		{_surface_subtype_mesh_triangle, _surface_media_flag | _surface_discarded_flag, _surface_category_media},
		{_surface_subtype_mesh_triangle, _surface_discarded_flag, _surface_category_mesh},
		{_surface_subtype_model_triangle, _surface_discarded_flag | _surface_media_flag, _surface_category_discarded},
		{_surface_subtype_model_triangle, _surface_media_flag | _surface_reflection_flag,
			_surface_category_reflective_objects},
		{_surface_subtype_object_rectangle, _surface_reflection_flag, _surface_category_reflections},
		{_surface_subtype_text_rectangle, _surface_transparent_flag, _surface_category_text_rectangles},
		{_surface_subtype_text_rectangle, 0, _surface_category_text_rectangles},
		{_surface_subtype_model_triangle, _surface_transparent_flag, _surface_category_translucent_objects},
		{_surface_subtype_model_triangle, 0, _surface_category_opaque_objects},
		{_surface_subtype_object_triangle, 0, _surface_category_translucent_objects},
		{_surface_subtype_filled_rectangle, 0, _surface_category_translucent_objects},
	};
	for (const route &r : routes)
	{
		render_triangle *t = triangle(r.subtype, r.flags, -1);
		EXPECT_EQ(categorize_surface(&t->surface), r.category) << r.subtype << " " << r.flags;
	}
}

TEST_F(render_core, rasterize_surface_category_chunks_as_asked)
{
	render_surface *pointers[5];
	for (int32 i = 0; i < 5; ++i)
	{
		render_triangle *t = triangle(_surface_subtype_mesh_triangle, 0, -1);
		t->detail = i < 3 ? 0x200u : 0x400u;
		pointers[i] = &t->surface;
	}
	surface_category saved = surface_categories[_surface_category_mesh];
	surface_categories[_surface_category_mesh].surfaces = pointers;
	surface_categories[_surface_category_mesh].count = 5;
	surface_categories[_surface_category_mesh].sorted = FALSE;
	static std::vector<int32> chunks;
	auto record = [](void *, render_surface **, int32 count) { chunks.push_back(count); };
	const struct
	{
		int32 max;
		boolean sort;
		std::vector<int32> expected;
	} cases[] = {{0, FALSE, {5}}, {2, FALSE, {2, 2, 1}}, {2, TRUE, {2, 1, 2}}, {10, TRUE, {3, 2}}, {0, TRUE, {1, 1, 1, 1, 1}}};
	for (const auto &c : cases)
	{
		chunks.clear();
		rasterize_surface_category(NULL, _surface_category_mesh, c.max, c.sort, 0, record);
		EXPECT_EQ(chunks, c.expected) << c.max << " " << c.sort;
	}
	surface_categories[_surface_category_mesh] = saved;
}

TEST_F(render_core, the_projection_matches_hand_figures)
{
	const struct
	{
		int16 width, height;
		int16 world_to_screen, xk, yk, clip_bottom;
	} cases[] = {{640, 480, 427, 320, 172, 308}, {1024, 768, 683, 512, 275, 493}};
	for (const auto &c : cases)
	{
		bitmap_data screen;
		memset(&screen, 0, sizeof(screen));
		screen.width = c.width;
		screen.height = c.height;
		view_data view;
		memset(&view, 0, sizeof(view));
		view.screen = &screen;
		view.tan_half_fov = 0.75f;
		view.vertical_offset = -1 / 7.f;
		update_view_data(&view);
		EXPECT_EQ(view.world_to_screen_x, c.world_to_screen);
		EXPECT_EQ(view.world_to_screen_y, c.world_to_screen);
		EXPECT_EQ(view.xk, c.xk);
		EXPECT_EQ(view.clip_left, c.xk);
		EXPECT_EQ(view.yk, c.yk);
		EXPECT_EQ(view.clip_top, c.yk);
		EXPECT_EQ(view.clip_bottom, c.clip_bottom);
	}
}

// A view without a screen draws nothing and keeps nothing (the views with a
// map and a degenerate field of view are tried with the golden frames).
TEST_F(render_core, a_view_without_a_screen_draws_nothing)
{
	view_data view;
	memset(&view, 0, sizeof(view));
	view.tan_half_fov = 0.75f;
	render_scene(&view);
	for (const surface_category &category : surface_categories) EXPECT_EQ(category.count, 0);
}

TEST_F(render_core, visible_cells_are_half_open)
{
	mesh_span spans[2] = {{3, 6}, {4, 5}};
	mesh_region region;
	memset(&region, 0, sizeof(region));
	region.y0 = 10;
	region.y1 = 12;
	region.spans = spans;
	const int32 cells[][3] = {{3, 10, 1}, {5, 10, 1}, {6, 10, 0}, {4, 11, 1}, {3, 11, 0}, {4, 12, 0}, {4, 9, 0}, {-1, 10, 0}};
	for (const auto &cell : cells)
	{
		const world_point2d point = {cell[0] * WORLD_ONE + 1, cell[1] * WORLD_ONE + WORLD_ONE - 1};
		EXPECT_EQ(point_in_visible_mesh_region(&point, &region), cell[2]) << cell[0] << "," << cell[1];
	}
}

TEST_F(render_core, vertices_are_flagged_at_the_screen_edges_and_flat_triangles_culled)
{
	view_data view;
	memset(&view, 0, sizeof(view));
	view.screen_width = 100;
	view.screen_height = 80;
	view.world_to_screen_x = view.world_to_screen_y = 100;
	view.xk = 50;
	view.yk = 40;
	const struct
	{
		short_world_point3d p;
		uint16 flags;
	} cases[] = {{{0, 0, -100}, 0}, {{-50, 0, -100}, _vertex_out_left_flag}, {{50, 0, -100}, _vertex_out_right_flag},
		{{0, 40, -100}, _vertex_out_top_flag}, {{0, -40, -100}, _vertex_out_bottom_flag}, {{0, 0, 0}, _vertex_discarded_flag}};
	for (const auto &c : cases)
	{
		render_vertex v;
		memset(&v, 0, sizeof(v));
		v.p = c.p;
		clip_affine_vertex_to_all_planes(&view, &v);
		EXPECT_EQ(v.flags & (_vertex_out_flags | _vertex_discarded_flag), c.flags) << c.p.x << "," << c.p.y;
	}

	render_triangle *flat = triangle(_surface_subtype_mesh_triangle, 0, -1);
	flat->corners[0].vertex = vertex(10, 10);
	flat->corners[1].vertex = vertex(20, 20);
	flat->corners[2].vertex = vertex(30, 30);
	clip_surface(&view, &flat->surface);
	EXPECT_TRUE(surface_flags(&flat->surface) & _surface_discarded_flag);
}

TEST_F(render_core, post_effects_run_by_descending_priority_and_the_table_refuses_a_ninth)
{
	post_effect saved[MAXIMUM_NUMBER_OF_REGISTERED_POST_EFFECTS];
	memcpy(saved, post_effects, sizeof(saved));
	const int16 saved_count = number_of_registered_post_effects;
	number_of_registered_post_effects = 0;

	static std::vector<int32> order;
	postrasterization_effect_proc procs[] = {[](view_data *) { order.push_back(0); },
		[](view_data *) { order.push_back(1); }, [](view_data *) { order.push_back(2); },
		[](view_data *) { order.push_back(3); }, [](view_data *) { order.push_back(4); },
		[](view_data *) { order.push_back(5); }, [](view_data *) { order.push_back(6); },
		[](view_data *) { order.push_back(7); }, [](view_data *) { order.push_back(8); }};
	const int32 priorities[] = {-100, 3, 1, -500, 0, 2, 3, 1, 7};
	for (int32 i = 0; i < 9; ++i) register_postrasterization_effect(priorities[i], procs[i]);
	EXPECT_EQ(number_of_registered_post_effects, 8);
	std::vector<int32> got;
	for (int32 i = 0; i < number_of_registered_post_effects; ++i) got.push_back(post_effects[i].priority);
	EXPECT_EQ(got, (std::vector<int32>{3, 3, 2, 1, 1, 0, -100, -500}));

	memcpy(post_effects, saved, sizeof(saved));
	number_of_registered_post_effects = saved_count;
}

TEST_F(render_core, the_camera_steps_and_keeps_its_zoom_in_range)
{
	reset_observer_test_hooks();
	const observer_location start = {{20000, 20000}, 0, 0};
	set_actual_observer_location_and_zoom(&start, NULL);
	action_data action;
	clear_action(&action);
	set_action_flag(&action, _move_forward_bit, TRUE);
	for (int32 i = 0; i < 10; ++i) update_observer_physics_variables_for_action(&action);
	observer_location location;
	get_observer_location(&location);
	EXPECT_EQ(location.position.x, 20000 + 2560);
	EXPECT_EQ(location.position.y, 20000);

	clear_action(&action);
	set_action_flag(&action, _zoom_in_bit, TRUE);
	for (int32 i = 0; i < 40; ++i) update_observer_physics_variables_for_action(&action);
	EXPECT_EQ(get_observer_zoom_factor(), 2 * FIXED_ONE);
	clear_action(&action);
	set_action_flag(&action, _zoom_out_bit, TRUE);
	for (int32 i = 0; i < 80; ++i) update_observer_physics_variables_for_action(&action);
	EXPECT_EQ(get_observer_zoom_factor(), FIXED_ONE / 2);
	update_observer_physics_variables_for_action(NULL);
	reset_observer_test_hooks();
}

TEST_F(render_core, the_last_view_is_only_offered_inside_a_map)
{
	initialize_render();
	EXPECT_EQ(last_render_view(), nullptr);
	// Without a hardware back end its set-up fails, and so does the map start.
	const int16 saved_code = active_screen.rasterizer_code;
	active_screen.rasterizer_code = _rasterizer_opengl;
	EXPECT_FALSE(initialize_render_for_new_map());
	active_screen.rasterizer_code = saved_code;
	EXPECT_EQ(last_render_view(), nullptr);
	ASSERT_TRUE(initialize_render_for_new_map());
	bitmap_data *screen = new_bitmap(8, 8, 32, _32bit_encoding, 0);
	ASSERT_NE(screen, nullptr);
	view_data view;
	memset(&view, 0, sizeof(view));
	view.screen = screen;
	view.tan_half_fov = 0.75f;
	render_scene(&view);
	ASSERT_NE(last_render_view(), nullptr);
	EXPECT_TRUE(last_render_view()->flags & _render_view_moved_flag) << "the first view has moved";
	render_scene(&view);
	EXPECT_FALSE(last_render_view()->flags & _render_view_moved_flag);
	EXPECT_FALSE(last_render_view()->flags & _render_view_screen_clipping_flag);
	// A hardware view clips to the screen: the builders' copy must say so.
	view.rasterizer_code = _rasterizer_opengl;
	render_scene(&view);
	EXPECT_TRUE(last_render_view()->flags & _render_view_screen_clipping_flag);
	dispose_render_from_old_map();
	EXPECT_EQ(last_render_view(), nullptr);
	dispose_pointer(screen);
}
