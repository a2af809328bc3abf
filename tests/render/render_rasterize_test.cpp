// The software rasterizer's terrain rows, filled rectangles and refusals.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "bitmaps.h"
#include "render/render.h"
#include "support/test_directory.h"
#include "world.h"

namespace {

class render_rasterize : public zerv_test_directory
{
protected:
	void SetUp() override
	{
		zerv_test_directory::SetUp();
		initialize_render();
		render_scene(NULL);
		saved_shading = volatile_color_map_shading_table;
		saved_blend = volatile_color_map_blend_table;
		shading.resize(65536);
		for (uint32 i = 0; i < 65536; ++i) shading[i] = 1000 + i;
		volatile_color_map_shading_table = shading.data();
		volatile_color_map_blend_table = NULL;
		memset(volatile_color_map, 0, VOLATILE_MAP_WIDTH * VOLATILE_MAP_WIDTH);
		memset(volatile_shadow_map, 0, VOLATILE_MAP_WIDTH * VOLATILE_MAP_WIDTH);
		for (int32 x = 0; x < VOLATILE_MAP_WIDTH; ++x) volatile_color_map[x] = static_cast<uint8>(x);
		screen = new_bitmap(16, 8, 64, _32bit_encoding, 0);
		ASSERT_NE(screen, nullptr);
	}
	void TearDown() override
	{
		volatile_color_map_shading_table = saved_shading;
		volatile_color_map_blend_table = saved_blend;
		dispose_pointer(screen);
		zerv_test_directory::TearDown();
	}

	render_triangle *terrain(const point2d (&points)[3], const int16 (&u)[3], uint32 flags = 0)
	{
		render_triangle *t = static_cast<render_triangle *>(render_malloc(sizeof(render_triangle)));
		memset(t, 0, sizeof(*t));
		set_surface_type(&t->surface, _surface_type_triangle, _surface_subtype_mesh_triangle);
		set_surface_flags(&t->surface, flags);
		for (int32 i = 0; i < 3; ++i)
		{
			render_vertex *v = static_cast<render_vertex *>(render_malloc(sizeof(render_vertex)));
			memset(v, 0, sizeof(*v));
			v->screen = points[i];
			t->corners[i].vertex = v;
			t->corners[i].interpolants[0] = u[i];
		}
		return t;
	}

	uint32 pixel(int32 x, int32 y) const { return reinterpret_cast<const uint32 *>(screen->row_addresses[y])[x]; }

	std::vector<uint32> shading;
	const uint32 *saved_shading = nullptr;
	const uint8 *saved_blend = nullptr;
	bitmap_data *screen = nullptr;
};

}

TEST_F(render_rasterize, terrain_rows_are_drawn_in_pairs)
{
	// Row 1 of this triangle is one pixel wide: one unfiltered lookup.
	rasterize_mesh_triangle_32bit(screen, &terrain({{10, 0}, {13, 2}, {10, 2}}, {0, 0, 0})->surface);
	EXPECT_EQ(pixel(10, 1), 1000u);
	EXPECT_EQ(pixel(11, 1), 0u);

	// Row 2 of this one is three pixels: a pair, then its colour repeated,
	// though the third pixel lies 16 texels on.
	rasterize_mesh_triangle_32bit(screen, &terrain({{0, 0}, {6, 4}, {0, 4}}, {0, 6, 0}, _surface_filtered_flag)->surface);
	EXPECT_EQ(pixel(0, 2), 1000u);
	EXPECT_EQ(pixel(1, 2), 1000u);
	EXPECT_EQ(pixel(2, 2), 1000u);
	EXPECT_EQ(pixel(3, 2), 0u);
	EXPECT_EQ(pixel(2, 3), 1016u) << "the second pair of row 3 starts 16 texels on";
}

TEST_F(render_rasterize, missing_tables_and_other_depths_draw_nothing)
{
	bitmap_data *narrow = new_bitmap(16, 8, 32, _16bit_565_encoding, 0);
	ASSERT_NE(narrow, nullptr);
	rasterize_mesh_triangle_32bit(narrow, &terrain({{0, 0}, {6, 4}, {0, 4}}, {0, 6, 0})->surface);
	for (int32 y = 0; y < 8; ++y)
	{
		for (int32 x = 0; x < 16; ++x) EXPECT_EQ(reinterpret_cast<uint16 *>(narrow->row_addresses[y])[x], 0) << x << "," << y;
	}
	dispose_pointer(narrow);

	volatile_color_map_shading_table = NULL;
	rasterize_mesh_triangle_32bit(screen, &terrain({{0, 0}, {6, 4}, {0, 4}}, {0, 6, 0})->surface);
	EXPECT_EQ(pixel(0, 3), 0u);
}

TEST_F(render_rasterize, filled_rectangles_clip_to_their_box)
{
	render_filled_rectangle *r = static_cast<render_filled_rectangle *>(render_malloc(sizeof(render_filled_rectangle)));
	memset(r, 0, sizeof(*r));
	set_surface_type(&r->surface, _surface_type_rectangle, _surface_subtype_filled_rectangle);
	r->geometry = {-4, 2, 3, 30, -32768, 5, {0, 0, 0, 0}, 0, 0};
	r->color = {0xFF00, 0x8000, 0x1000, 0};
	rasterize_filled_rectangle_32bit(screen, &r->surface);
	EXPECT_EQ(pixel(3, 2), 0u);
	EXPECT_EQ(pixel(0, 1), 0u);
	EXPECT_EQ(pixel(0, 5), 0u);
	EXPECT_NE(pixel(2, 4), 0u);
	EXPECT_EQ(pixel(0, 2), pixel(2, 4));
}

// A tile copies its cells with a 4-texel border of neighbours, clipped to the maps.
TEST_F(render_rasterize, volatile_subtextures_copy_their_tile_with_a_border)
{
	const int16 saved_x0 = volatile_x0, saved_y0 = volatile_y0;
	volatile_x0 = 0;
	volatile_y0 = 0;
	std::vector<uint8> tile(64 * 64, 0xEE);
	build_volatile_subtexture(1, tile.data(), TRUE); // tile column 1: texels from 44
	EXPECT_EQ(tile[8 * 64 + 4], 44);
	EXPECT_EQ(tile[8 * 64 + 59], 99);
	EXPECT_EQ(tile[8 * 64 + 60], 0xEE) << "past the copied columns";
	std::vector<uint32> wide(64 * 64, 0);
	build_volatile_subtexture_32bit(0, wide.data()); // clipped at the map's left edge
	EXPECT_EQ(wide[8 * 64 + 4], 0u);
	EXPECT_EQ(wide[8 * 64 + 8], 1000u);
	volatile_x0 = saved_x0;
	volatile_y0 = saved_y0;
}

// Runs that are not solid take the reflection map through the row's perspective:
// rows nearer the horizon step further per column.
TEST_F(render_rasterize, reflection_map_fills_the_open_runs)
{
	if (!sine_table) initialize_world();
	std::vector<uint8> map(REFLECTION_MAP_WIDTH * REFLECTION_MAP_WIDTH);
	for (uint32 t = 0; t < map.size(); ++t) map[t] = static_cast<uint8>((t >> REFLECTION_MAP_WIDTH_BITS) >> 1);
	std::vector<uint32> colors(256);
	for (uint32 i = 0; i < 256; ++i) colors[i] = 0x100 + i;
	reflection_map = map.data();
	reflection_map_shading_table = colors.data();

	z_buffer_node row2[3] = {{4, _z_empty, &row2[1]}, {8, _z_solid, &row2[2]}, {16, _z_empty, NULL}};
	z_buffer_node row3 = {16, _z_empty, NULL};
	z_buffer_node *rows[2] = {row2, &row3};
	z_buffer_data z_buffer = {16, 2, 0, 2, 16, 4, rows};
	view_data view;
	memset(&view, 0, sizeof(view));
	view.screen = screen;
	view.half_screen_width = 8;
	view.half_screen_height = 4;
	view.world_to_screen_x = 8;
	rasterize_reflection_map_32bit(&view, &z_buffer);
	for (int32 x = 0; x < 16; ++x)
	{
		const uint32 open2 = 0x100 + (((x - 8) * 16) & 255), open3 = 0x100 + (((x - 8) * 32) & 255);
		EXPECT_EQ(pixel(x, 2), x >= 4 && x < 8 ? 0u : open2) << x;
		EXPECT_EQ(pixel(x, 3), open3) << x;
		EXPECT_EQ(pixel(x, 1), 0u) << x;
		EXPECT_EQ(pixel(x, 4), 0u) << x;
	}

	memset(screen->row_addresses[2], 0, 16 * 4);
	reflection_map = NULL;
	rasterize_reflection_map_32bit(&view, &z_buffer);
	EXPECT_EQ(pixel(0, 2), 0u) << "no map draws nothing";
	reflection_map_shading_table = NULL;
}
