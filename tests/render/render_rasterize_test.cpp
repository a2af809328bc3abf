// The software rasterizer's terrain rows, filled rectangles and refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "bitmaps.h"
#include "collections_content.h"
#include "shapes.h"
#include "shapes_test_support.h"
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

// Filtered pairs blend the secondary texel the fraction of u picks: a quarter
// texel per pixel here, so pairs alternate the table's entries 0 (one back)
// and 2 (a row up and one on). The blend table here answers the secondary colour.
TEST_F(render_rasterize, filtered_pairs_take_the_exact_secondary_texel)
{
	std::vector<uint8> blend(65536);
	for (uint32 i = 0; i < 65536; ++i) blend[i] = static_cast<uint8>(i >> 8);
	volatile_color_map_blend_table = blend.data();
	for (int32 i = 0; i < VOLATILE_MAP_WIDTH * VOLATILE_MAP_WIDTH; ++i) volatile_color_map[i] = static_cast<uint8>(i & 255);
	render_triangle *t = terrain({{0, 0}, {64, 8}, {0, 8}}, {0, 2, 0}, _surface_filtered_flag);
	for (render_corner &corner : t->corners) corner.interpolants[1] = 1; // texel row 8
	rasterize_mesh_triangle_32bit(screen, &t->surface);
	// Row 8 starts at texel 4096; u advances a quarter texel a pixel.
	EXPECT_EQ(pixel(0, 2), 1000u + ((4096 - 1) & 255));
	EXPECT_EQ(pixel(1, 2), pixel(0, 2));
	EXPECT_EQ(pixel(2, 2), 1000u + ((4096 - 511) & 255));
	EXPECT_EQ(pixel(4, 2), 1000u + ((4097 - 1) & 255));
	EXPECT_EQ(pixel(6, 2), 1000u + ((4097 - 511) & 255));
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

namespace {

// Object, model and sprite rasterizers on the default collections' bitmaps.
class render_textured : public shapes_test_directory
{
protected:
	void SetUp() override
	{
		shapes_test_directory::SetUp();
		std::vector<int32> handles;
		ASSERT_TRUE(make_default_collection_tags(&handles));
		effects = get_collection_index(DEFAULT_EFFECTS_COLLECTION_TAG);
		scenery = get_collection_index(DEFAULT_SCENERY_COLLECTION_TAG);
		ASSERT_NE(effects, NONE);
		ASSERT_NE(scenery, NONE);
		initialize_render();
		render_scene(NULL);
		screen = new_bitmap(64, 16, 256, _32bit_encoding, 0);
		ASSERT_NE(screen, nullptr);
		clear();
	}
	void TearDown() override
	{
		dispose_pointer(screen);
		shapes_test_directory::TearDown();
	}

	void clear(void)
	{
		for (int32 y = 0; y < screen->height; ++y)
			for (int32 x = 0; x < screen->width; ++x) reinterpret_cast<uint32 *>(screen->row_addresses[y])[x] = background;
	}
	render_vertex *vertex(int16 x, int16 y)
	{
		render_vertex *v = static_cast<render_vertex *>(render_malloc(sizeof(render_vertex)));
		memset(v, 0, sizeof(*v));
		v->screen = {x, y};
		return v;
	}
	// The whole screen as one quad of the bitmap, drawn as its two triangles.
	void draw_quad(int16 collection, int16 bitmap, boolean model)
	{
		render_surface_list list;
		new_surface_list(&list);
		render_quad_data quad;
		memset(&quad, 0, sizeof(quad));
		bitmap_instance_data instance;
		memset(&instance, 0, sizeof(instance));
		instance.bitmap_index = bitmap;
		quad.instance = &instance;
		quad.collection_index = collection;
		quad.vertices[0] = vertex(0, 0);
		quad.vertices[1] = vertex(0, 16);
		quad.vertices[2] = vertex(64, 16);
		quad.vertices[3] = vertex(64, 0);
		quad_into_triangles(nullptr, &quad, &list);
		for (render_surface *s = list.first_surface; s; s = s->next_surface)
		{
			if (model) set_surface_type(s, _surface_type_triangle, _surface_subtype_model_triangle);
			if (model) rasterize_model_triangle_32bit(screen, s);
			else rasterize_triangle_32bit(screen, s);
		}
	}
	int32 drawn_in_row(int32 y) const
	{
		int32 drawn = 0;
		for (int32 x = 0; x < screen->width; ++x) drawn += reinterpret_cast<const uint32 *>(screen->row_addresses[y])[x] != background;
		return drawn;
	}
	int32 drawn(void) const
	{
		int32 total = 0;
		for (int32 y = 0; y < screen->height; ++y) total += drawn_in_row(y);
		return total;
	}

	static constexpr uint32 background = 0x00123456u;
	int16 effects = NONE, scenery = NONE;
	bitmap_data *screen = nullptr;
};

}

// A tree's ground shadow as the overlay rasterizer lays it: a darkness that is
// centred on the trunk's texel, thins towards its rim, and whose outline is
// round, so the corners of the box it spans stay as they were.
TEST_F(render_textured, a_tree_shades_a_soft_ellipse_centred_under_its_trunk)
{
	ASSERT_NE(volatile_shadow_map, nullptr);
	sequence_data *tree = get_sequence(scenery, 1);
	ASSERT_NE(tree, nullptr);
	const sequence_frame_data *frame = get_sequence_frame(tree, scenery, 1, 0);
	ASSERT_NE(frame, nullptr);
	const shadow_map_data *shadow = get_shadow_map(scenery, frame->shadow_map_index);
	ASSERT_NE(shadow, nullptr);
	const bitmap_data *bitmap = get_bitmap(scenery, shadow->bitmap_index);
	ASSERT_NE(bitmap, nullptr);
	ASSERT_LT(bitmap->width, MAXIMUM_SHADOW_MAP_WIDTH);

	enum { side = 48, lit = 200 };
	std::vector<uint8> kept(static_cast<size_t>(side) * side);
	for (int32 y = 0; y < side; ++y) memcpy(&kept[static_cast<size_t>(y) * side], &volatile_shadow_map[y * VOLATILE_MAP_WIDTH], side);
	for (int32 y = 0; y < side; ++y) memset(&volatile_shadow_map[y * VOLATILE_MAP_WIDTH], lit, side);
	// The trunk in the middle of texel (24, 24), 64 world units a texel.
	const world_distance trunk = 24 * 64 + 32;
	rasterize_volatile_shadow_map_overlay(_shadow_map_overlay, 65535, bitmap->row_addresses[0], bitmap->bytes_per_row,
		bitmap->width, bitmap->height, trunk - (shadow->registration_point.x >> 10), trunk - (shadow->registration_point.y >> 10));
	std::vector<int32> dark(static_cast<size_t>(side) * side);
	int64 total = 0, sum_x = 0, sum_y = 0;
	int32 x0 = side, y0 = side, x1 = -1, y1 = -1;
	for (int32 y = 0; y < side; ++y)
	{
		for (int32 x = 0; x < side; ++x)
		{
			const int32 d = lit - volatile_shadow_map[y * VOLATILE_MAP_WIDTH + x];
			dark[static_cast<size_t>(y * side + x)] = d;
			if (d <= 0) continue;
			total += d;
			sum_x += static_cast<int64>(d) * (2 * x + 1);
			sum_y += static_cast<int64>(d) * (2 * y + 1);
			x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
		}
	}
	for (int32 y = 0; y < side; ++y) memcpy(&volatile_shadow_map[y * VOLATILE_MAP_WIDTH], &kept[static_cast<size_t>(y) * side], side);
	ASSERT_GT(total, 0);
	// The centre of darkness within a quarter texel of the trunk (in half texels).
	EXPECT_LE(std::abs(static_cast<double>(sum_x) / total - 49), 0.5);
	EXPECT_LE(std::abs(static_cast<double>(sum_y) / total - 49), 0.5);
	EXPECT_GE(x1 - x0 + 1, 5) << "too few texels across for an outline";
	EXPECT_GE(y1 - y0 + 1, 3);
	auto at = [&](int32 x, int32 y) { return dark[static_cast<size_t>(y * side + x)]; };
	EXPECT_EQ(at(x0, y0), 0);
	EXPECT_EQ(at(x1, y0), 0);
	EXPECT_EQ(at(x0, y1), 0);
	EXPECT_EQ(at(x1, y1), 0);
	// Darkest under the trunk, thinning outwards along both axes.
	EXPECT_GT(at(24, 24), 0);
	for (int32 x = 24; x < x1; ++x) EXPECT_GE(at(x, 24), at(x + 1, 24)) << x;
	for (int32 x = 24; x > x0; --x) EXPECT_GE(at(x, 24), at(x - 1, 24)) << x;
	for (int32 y = 24; y < y1; ++y) EXPECT_GE(at(24, y), at(24, y + 1)) << y;
	for (int32 y = 24; y > y0; --y) EXPECT_GE(at(24, y), at(24, y - 1)) << y;
	EXPECT_GT(at(24, 24), 2 * at(x1, 24)) << "the rim fades";
}

// A quad spans its texture once: the arrow fills its quad, head at the
// front (u = 0, light steel) and fletching at the tail (red vanes), and its
// wood crosses the middle.
TEST_F(render_textured, an_arrow_quad_draws_its_shaft)
{
	const bitmap_data *arrow = get_bitmap(effects, 0);
	ASSERT_NE(arrow, nullptr);
	ASSERT_EQ(arrow->width, 32);
	ASSERT_EQ(arrow->height, 4);
	draw_quad(effects, 0, FALSE);
	// The top of the quad shows the texture's last row (v grows upwards), 4
	// pixels a row; a texel is 2 pixels wide.
	for (const int32 row : {1, 5, 9, 13}) EXPECT_EQ(drawn_in_row(row), 64) << "row " << row;
	auto channels = [&](int32 x, int32 y)
	{
		const uint32 pixel = reinterpret_cast<const uint32 *>(screen->row_addresses[y])[x];
		return std::vector<int32>{static_cast<int32>((pixel >> 16) & 0xFF), static_cast<int32>((pixel >> 8) & 0xFF),
			static_cast<int32>(pixel & 0xFF)};
	};
	const std::vector<int32> head = channels(4, 9), shaft = channels(32, 9), vane = channels(56, 13);
	EXPECT_GT(head[2], 180) << "steel";
	EXPECT_LT(std::max(head[0], std::max(head[1], head[2])) - std::min(head[0], std::min(head[1], head[2])), 24);
	EXPECT_GT(shaft[0], shaft[1] + 32) << "wood";
	EXPECT_GT(shaft[1], shaft[2] + 32);
	EXPECT_GT(vane[0], vane[1] + 96) << "red";
}

// Object triangles need a power-of-two bitmap; triangles refuse row spans,
// which sprites alone take.
TEST_F(render_textured, each_rasterizer_refuses_the_bitmaps_it_cannot_draw)
{
	int16 scorch = NONE, rock = 0;
	for (int16 i = 0; i < get_collection_bitmap_count(effects); ++i)
	{
		const bitmap_data *bitmap = get_bitmap(effects, i);
		if (bitmap->width == 20 && bitmap->height == 12 && !(bitmap->flags & _power_of_two_flag)) scorch = i;
	}
	ASSERT_NE(scorch, NONE);
	ASSERT_TRUE(get_bitmap(scenery, rock)->flags & _1bit_transparency_encoded_flag);
	draw_quad(effects, scorch, FALSE);
	EXPECT_EQ(drawn(), 0) << "not a power of two";
	draw_quad(effects, 0, TRUE);
	EXPECT_GT(drawn(), 0) << "models take the arrow";
	clear();
	draw_quad(scenery, rock, TRUE);
	EXPECT_EQ(drawn(), 0) << "row spans are for sprites";

	render_rectangle *sprite = static_cast<render_rectangle *>(render_malloc(sizeof(render_rectangle)));
	memset(sprite, 0, sizeof(*sprite));
	set_surface_type(&sprite->surface, _surface_type_rectangle, _surface_subtype_object_rectangle);
	sprite->geometry = {0, 0, 48, 16, -32768, 32767, {0, 0, 0, 0}, 32767, -32768};
	sprite->texture = build_bitmap_identifier(static_cast<uint32>(scenery), static_cast<uint32>(rock), 0, 0);
	rasterize_rectangle_32bit(screen, &sprite->surface);
	const int32 ellipse = drawn();
	EXPECT_GT(ellipse, 48 * 16 / 2);
	EXPECT_LT(ellipse, 48 * 16) << "the gaps around the ellipse are left alone";
	EXPECT_EQ(reinterpret_cast<uint32 *>(screen->row_addresses[0])[0], background);
	clear();
	sprite->texture = build_bitmap_identifier(static_cast<uint32>(effects), static_cast<uint32>(scorch), 0, 0);
	rasterize_rectangle_32bit(screen, &sprite->surface);
	EXPECT_EQ(drawn(), 0) << "a plain bitmap is no sprite";
}

// Filled rectangles through the transparency table: level 0 paints the
// colour, level 8 mixes it with what lies beneath, (8 d + 7 s + 7) / 15 in
// each channel's top five bits.
TEST_F(render_textured, filled_rectangles_blend_by_their_level)
{
	ASSERT_NE(get_transparency_table(0), nullptr);
	render_filled_rectangle *r = static_cast<render_filled_rectangle *>(render_malloc(sizeof(render_filled_rectangle)));
	memset(r, 0, sizeof(*r));
	set_surface_type(&r->surface, _surface_type_rectangle, _surface_subtype_filled_rectangle);
	r->geometry = {0, 0, 8, 8, -32768, 32767, {0, 0, 0, 0}, 0, 0};
	r->color = {0xF800, 0xF800, 0x0800, 0};
	rasterize_filled_rectangle_32bit(screen, &r->surface);
	EXPECT_EQ(reinterpret_cast<const uint32 *>(screen->row_addresses[4])[4], 0xFFF8F808u);
	EXPECT_EQ(reinterpret_cast<const uint32 *>(screen->row_addresses[4])[9], background) << "outside the box";
	clear();
	r->surface.transparency = 8 << 12;
	rasterize_filled_rectangle_32bit(screen, &r->surface);
	// Beneath 0x123456: red (16 + 217 + 7) / 15 = 16, green (48 + 217 + 7) / 15 = 18, blue (80 + 7 + 7) / 15 = 6.
	EXPECT_EQ(reinterpret_cast<const uint32 *>(screen->row_addresses[4])[4], 0xFF809030u);
}

// A surface flagged both media and reflection is drawn in both passes: a
// half-transparent arrow twice over is nearer its own colour than once.
TEST_F(render_textured, a_media_reflection_surface_draws_in_both_passes)
{
	const auto draw = [&](uint16 flags) {
		clear();
		render_surface_list list;
		new_surface_list(&list);
		bitmap_instance_data instance;
		memset(&instance, 0, sizeof(instance));
		render_quad_data quad;
		memset(&quad, 0, sizeof(quad));
		quad.instance = &instance;
		quad.collection_index = effects;
		quad.flags = flags;
		quad.transparency = 0x8000;
		quad.vertices[0] = vertex(0, 0);
		quad.vertices[1] = vertex(0, 16);
		quad.vertices[2] = vertex(64, 16);
		quad.vertices[3] = vertex(64, 0);
		quad_into_triangles(nullptr, &quad, &list);
		view_data view;
		memset(&view, 0, sizeof(view));
		view.screen = screen;
		view.flags = _render_view_omit_rasterization_effects_flag;
		rasterize_scene(&view, &list);
		return reinterpret_cast<const uint32 *>(screen->row_addresses[9])[32];
	};
	const uint32 once = draw(_surface_reflection_flag | _surface_transparent_flag);
	const uint32 twice = draw(_surface_reflection_flag | _surface_media_flag | _surface_transparent_flag);
	EXPECT_NE(once, 0u);
	EXPECT_NE(twice, once);
}

namespace {

// Surfaces at the largest transparency: not seen at all, while one step less
// still blends at level 15.
class render_transparent_surfaces : public render_textured
{
protected:
	// The whole screen as one quad of the bitmap (object or model triangles).
	void add_quad(render_surface_list *list, int16 collection, int16 bitmap, int16 subtype, fixed_fraction transparency)
	{
		bitmap_instance_data instance;
		memset(&instance, 0, sizeof(instance));
		instance.bitmap_index = bitmap;
		render_quad_data quad;
		memset(&quad, 0, sizeof(quad));
		quad.instance = &instance;
		quad.collection_index = collection;
		quad.transparency = transparency;
		quad.vertices[0] = vertex(0, 0);
		quad.vertices[1] = vertex(0, 16);
		quad.vertices[2] = vertex(64, 16);
		quad.vertices[3] = vertex(64, 0);
		render_surface *last = list->last_surface;
		quad_into_triangles(nullptr, &quad, list);
		for (render_surface *s = last ? last->next_surface : list->first_surface; s; s = s->next_surface)
		{
			set_surface_type(s, _surface_type_triangle, subtype);
		}
	}

	// Draws the one kind of surface at the transparency as the scene's only
	// surface and counts the pixels it changed in the view the scene cleared
	// to black, the top byte included.
	int32 changed_by(int32 kind, fixed_fraction transparency)
	{
		clear();
		render_surface_list list;
		new_surface_list(&list);
		switch (kind)
		{
		case 0:
		{
			render_rectangle *sprite = static_cast<render_rectangle *>(render_malloc(sizeof(render_rectangle)));
			memset(sprite, 0, sizeof(*sprite));
			set_surface_type(&sprite->surface, _surface_type_rectangle, _surface_subtype_object_rectangle);
			set_surface_flags(&sprite->surface, _surface_transparent_flag);
			sprite->surface.transparency = transparency;
			sprite->geometry = {0, 0, 48, 16, -32768, 32767, {0, 0, 0, 0}, 32767, -32768};
			sprite->texture = build_bitmap_identifier(static_cast<uint32>(scenery), 0, 0, 0);
			add_surface_to_surface_list(&list, &sprite->surface);
			break;
		}
		case 1: add_quad(&list, effects, 0, _surface_subtype_object_triangle, transparency); break;
		case 2: add_quad(&list, effects, 0, _surface_subtype_model_triangle, transparency); break;
		default:
		{
			render_filled_rectangle *r = static_cast<render_filled_rectangle *>(render_malloc(sizeof(render_filled_rectangle)));
			memset(r, 0, sizeof(*r));
			set_surface_type(&r->surface, _surface_type_rectangle, _surface_subtype_filled_rectangle);
			set_surface_flags(&r->surface, _surface_transparent_flag);
			r->surface.transparency = transparency;
			r->geometry = {0, 0, 64, 16, -32768, 32767, {0, 0, 0, 0}, 0, 0};
			r->color = {0xF800, 0xF800, 0x0800, 0};
			add_surface_to_surface_list(&list, &r->surface);
			break;
		}
		}
		view_data view;
		memset(&view, 0, sizeof(view));
		view.screen = screen;
		view.flags = _render_view_omit_rasterization_effects_flag;
		rasterize_scene(&view, &list);
		int32 changed = 0;
		for (int32 y = 0; y < screen->height; ++y)
			for (int32 x = 0; x < screen->width; ++x) changed += reinterpret_cast<const uint32 *>(screen->row_addresses[y])[x] != 0;
		return changed;
	}
};

}

TEST_F(render_transparent_surfaces, the_largest_transparency_leaves_every_pixel_alone)
{
	const char *const names[] = {"sprite", "object triangles", "model triangles", "filled rectangle"};
	for (int32 kind = 0; kind < 4; ++kind)
	{
		EXPECT_GT(changed_by(kind, 65534), 0) << names[kind] << ": level 15 still blends";
		EXPECT_EQ(changed_by(kind, 65535), 0) << names[kind];
	}
}
