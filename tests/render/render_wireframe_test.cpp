// The wireframe over a rendered demo frame, the mesh vertex read-out, and
// lines, circles and boxes projected from world space.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "bitmaps.h"
#include "game_preferences.h"
#include "mesh.h"
#include "objects.h"
#include "observer.h"
#include "render/render.h"
#include "render/render_wireframe.h"
#include "selection.h"
#include "support/zerv_harness.h"
#include "world.h"
#include "zerv.h"

namespace {

class render_wireframe : public zerv_harness_fixture
{
protected:
	void SetUp() override
	{
		zerv_harness_fixture::SetUp();
		new_game_data setup;
		harness_demo_setup(&setup, 2);
		ASSERT_TRUE(harness_start_map(&setup));
		bitmap = new_bitmap(640, 480, 640 * 4, _32bit_encoding, 0);
		ASSERT_NE(bitmap, nullptr);
		memset(&view, 0, sizeof(view));
		build_observer_view(&view, 0);
		view.screen = bitmap;
		render_scene(&view);
		get_render_wireframe_test_hooks()->lines_drawn = 0;
	}
	void TearDown() override
	{
		reset_selection_test_hooks();
		visible_flag_count = 0;
		if (bitmap) dispose_pointer(bitmap);
		harness_end_map();
		zerv_harness_fixture::TearDown();
	}

	int32 lines(void)
	{
		const int32 n = get_render_wireframe_test_hooks()->lines_drawn;
		get_render_wireframe_test_hooks()->lines_drawn = 0;
		return n;
	}

	// The last frame's triangles the overlay looks at, by subtype.
	int32 drawn_triangles(int16 subtype)
	{
		int32 count = 0;
		for (render_surface *s = last_render_surface_list()->first_surface; s; s = s->next_surface)
		{
			if (surface_type(s) == _surface_type_triangle && surface_subtype(s) == subtype &&
				!(surface_flags(s) & (_surface_discarded_flag | _surface_reflection_flag)))
			{
				count += 1;
			}
		}
		return count;
	}

	// The view the last frame was drawn with (the region and rotation filled).
	view_data *last_view(void) { return last_render_view(); }

	bitmap_data *bitmap = nullptr;
	view_data view;
};

}

TEST_F(render_wireframe, modes_draw_their_edges)
{
	const int32 mesh = drawn_triangles(_surface_subtype_mesh_triangle);
	ASSERT_GT(mesh, 100);
	rasterize_wireframe_over_surfaces(bitmap, 0, WIREFRAME_TRIANGLES);
	EXPECT_GE(lines(), 3 * mesh);
	rasterize_wireframe_over_surfaces(bitmap, 0, WIREFRAME_CELLS);
	EXPECT_EQ(lines(), 2 * mesh);
	rasterize_wireframe_over_surfaces(bitmap, 0, WIREFRAME_MESH_TRIANGLES);
	EXPECT_EQ(lines(), 3 * mesh);
	rasterize_wireframe_over_surfaces(bitmap, 0, WIREFRAME_MODEL_TRIANGLES);
	EXPECT_EQ(lines(), 3 * drawn_triangles(_surface_subtype_model_triangle));
	rasterize_wireframe_over_surfaces(bitmap, 0, WIREFRAME_SUBMESHES);
	EXPECT_LT(lines(), mesh) << "only submesh borders";
	rasterize_wireframe_over_surfaces(bitmap, 0, TERRAIN_FILLED_TRIANGLES);
	EXPECT_EQ(lines(), 3 * mesh);
	for (int16 mode : {6, 7, 9, -1})
	{
		rasterize_wireframe_over_surfaces(bitmap, 0, mode);
		EXPECT_EQ(lines(), 0) << mode;
	}
	rasterize_wireframe_over_surfaces(bitmap, _surface_filtered_flag | _surface_media_flag, WIREFRAME_CELLS);
	EXPECT_LE(lines(), 2 * mesh);
}

TEST_F(render_wireframe, the_vertex_read_out_needs_a_mesh_vertex_pick)
{
	for (int32 row = 0; row < 480; ++row) memset(bitmap->row_addresses[row], 0, 640 * 4);
	rasterize_wireframe_over_surfaces(bitmap, 0, 6);
	auto lit = [&](void) {
		int32 count = 0;
		for (int32 row = 0; row < 480; ++row)
		{
			const uint32 *pixels = reinterpret_cast<const uint32 *>(bitmap->row_addresses[row]);
			for (int32 x = 0; x < 640; ++x) count += (pixels[x] & 0xFFFFFF) != 0;
		}
		return count;
	};
	EXPECT_EQ(lit(), 0) << "no pick, no text";
	get_selection_test_hooks()->pick_kind = _pick_mesh_vertices_flag;
	get_selection_test_hooks()->pick_cell_x = 10;
	get_selection_test_hooks()->pick_cell_y = 12;
	rasterize_wireframe_over_surfaces(bitmap, 0, 6);
	EXPECT_GT(lit(), 0) << "Mesh Vertex = (10, 12, ...)";
}

TEST_F(render_wireframe, lines_clip_behind_the_viewer_and_stop_at_the_limit)
{
	view_data *v = last_view();
	ASSERT_NE(v, nullptr);
	// Along the view's own direction: one end behind the eye, one ahead.
	const world_point3d eye = v->location.position;
	world_vector3d forward;
	build_world_vector3d(&forward, 1024, v->location.yaw, v->location.pitch);
	const world_point3d ahead = {eye.x + forward.i * 4, eye.y + forward.j * 4, eye.z + forward.k * 4};
	const world_point3d behind = {eye.x - forward.i, eye.y - forward.j, eye.z - forward.k};
	draw_line3d(v, &behind, &ahead, &red);
	EXPECT_EQ(lines(), 1) << "one end behind, the other on screen";
	draw_line3d(v, &behind, &behind, &red);
	EXPECT_EQ(lines(), 0) << "both behind";
	const world_point3d far_ahead = {eye.x + forward.i * 31, eye.y + forward.j * 31, eye.z + forward.k * 31};
	draw_line3d(v, &ahead, &far_ahead, &red);
	EXPECT_EQ(lines(), 0) << "an end 30720 or more away";

	draw_cube(v, &ahead, &ahead, &red);
	EXPECT_EQ(lines(), 12);

	// The end behind the eye is cut back along the line, not mirrored through the eye: the line leaves the
	// centre on the same side as a line to a point ahead on that side.
	world_vector3d side;
	build_world_vector3d(&side, 1024, static_cast<angle>(v->location.yaw + 16384), 0);
	const world_point3d behind_side = {behind.x + 2 * side.i, behind.y + 2 * side.j, behind.z};
	const world_point3d ahead_side = {ahead.x + 2 * side.i, ahead.y + 2 * side.j, ahead.z};
	auto lit_left_of_centre = [&](const world_point3d &from, const world_point3d &to) {
		for (int32 row = 0; row < 480; ++row) memset(bitmap->row_addresses[row], 0, 640 * 4);
		view_data copy = *v;
		copy.screen = bitmap;
		draw_line3d(&copy, &from, &to, &red);
		int32 left = 0, right = 0;
		for (int32 row = 0; row < 480; ++row)
		{
			const uint32 *pixels = reinterpret_cast<const uint32 *>(bitmap->row_addresses[row]);
			for (int32 x = 0; x < 640; ++x)
			{
				if (!(pixels[x] & 0xFFFFFF)) continue;
				if (x < v->xk - 8) left += 1;
				if (x > v->xk + 8) right += 1;
			}
		}
		return left > right;
	};
	EXPECT_EQ(lit_left_of_centre(ahead, behind_side), lit_left_of_centre(ahead, ahead_side));
}

TEST_F(render_wireframe, circles_take_their_segments_and_flags_their_radius)
{
	view_data *v = last_view();
	ASSERT_NE(v, nullptr);
	// Straight down from high above the circle's centre: every segment on screen.
	view_data down = *v;
	const world_point2d centre = {v->location.position.x, v->location.position.y};
	down.location.position.z = static_cast<world_distance>(get_mesh_height(&centre, _true_height) + 12000);
	down.location.pitch = -16384;
	update_view_data(&down);
	const struct
	{
		world_distance radius;
		int32 segments;
	} cases[] = {{1000, 16}, {1450, 16}, {1451, 17}, {4096, 48}};
	for (const auto &c : cases)
	{
		rasterize_circle(&down, &centre, c.radius, &red);
		EXPECT_EQ(lines(), c.segments) << c.radius;
	}

	// Points on cells that are not rendered (height -4096) join no segment:
	// none over such cells, and only the western half with the east hidden.
	const world_point2d edge = {(centre.x / WORLD_ONE) * WORLD_ONE, centre.y};
	const int32 cx = edge.x / WORLD_ONE, cy = edge.y / WORLD_ONE;
	std::vector<std::pair<int32, uint16>> saved_flags;
	auto hide = [&](int32 x0) {
		for (int32 y = cy - 3; y <= cy + 3; ++y)
		{
			for (int32 x = x0; x <= cx + 3; ++x)
			{
				const int32 i = y * mesh_globals->mesh_width + x;
				saved_flags.push_back({i, mesh_globals->mesh_cells[i].flags});
				mesh_globals->mesh_cells[i].flags |= _mesh_cell_is_not_rendered_flag;
			}
		}
	};
	auto restore = [&]() {
		for (auto it = saved_flags.rbegin(); it != saved_flags.rend(); ++it) mesh_globals->mesh_cells[it->first].flags = it->second;
		saved_flags.clear();
	};
	rasterize_circle(&down, &edge, 1000, &red);
	EXPECT_EQ(lines(), 16);
	hide(cx - 3);
	rasterize_circle(&down, &edge, 1000, &red);
	EXPECT_EQ(lines(), 0) << "every point hidden";
	restore();
	hide(cx);
	rasterize_circle(&down, &edge, 1000, &red);
	const int32 western = lines();
	restore();
	EXPECT_GE(western, 5);
	EXPECT_LE(western, 7);

	// Flags are recorded only with the preference, at most 32.
	game_preferences *preferences = get_game_preferences();
	const uint32 saved = preferences->flags;
	preferences->flags &= ~_game_pref_show_contesting_radius_flag;
	record_visible_flags(v->region);
	EXPECT_EQ(visible_flag_count, 0);
	preferences->flags |= _game_pref_show_contesting_radius_flag;
	record_visible_flags(v->region);
	EXPECT_LE(visible_flag_count, MAXIMUM_VISIBLE_FLAGS);
	preferences->flags = saved;

	const int16 object_index = v->region && mesh_globals ? mesh_globals->mesh_cells[0].first_object_index : NONE;
	(void)object_index;
	visible_flag_count = 0;
	rasterize_flag_contesting_ranges(v);
	EXPECT_EQ(lines(), 0);
}
