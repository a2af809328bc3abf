// Terrain tessellation over a hand-made region, and the shadow overlays.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "detail_maps.h"
#include "mesh_test_map.h"
#include "render/render.h"

namespace {

class render_mesh : public mesh_test_directory
{
protected:
	void SetUp() override
	{
		mesh_test_directory::SetUp();
		initialize_render();
		render_scene(NULL);
	}

	// Loads a one-submesh map with the given LOD words for the blocks of the
	// first block row, and builds the triangles of cells (0..width, 0..2).
	std::vector<render_triangle *> build(const std::vector<uint16> &words, int32 width, uint32 view_flags = 0,
		int16 rasterizer_code = 0)
	{
		test_map map(1, 1);
		for (size_t i = 0; i < words.size(); ++i) map.LOD[i] = words[i];
		EXPECT_TRUE(map.load());

		mesh_region *region = static_cast<mesh_region *>(render_malloc(sizeof(mesh_region)));
		memset(region, 0, sizeof(*region));
		region->y0 = 0;
		region->y1 = 2;
		region->x0 = 0;
		region->x1 = static_cast<int16>(width);
		region->spans = static_cast<mesh_span *>(render_malloc(3 * sizeof(mesh_span)));
		for (int32 row = 0; row <= 2; ++row)
		{
			region->spans[row] = {0, static_cast<int16>(width)};
			for (int32 column = 0; column <= width; ++column)
			{
				render_vertex *vertex = static_cast<render_vertex *>(render_malloc(sizeof(render_vertex)));
				memset(vertex, 0, sizeof(*vertex));
				vertex->mesh_vertex = {static_cast<int16>(column), static_cast<int16>(row)};
				vertex->p.z = static_cast<short_world_distance>(-100 - row);
				*mesh_region_vertex_slot(region, column, row) = vertex;
			}
		}
		view_data view;
		memset(&view, 0, sizeof(view));
		view.flags = view_flags;
		view.rasterizer_code = rasterizer_code;
		render_surface_list list;
		new_surface_list(&list);
		view.main_surface_list = &list;
		build_mesh_surface_list(&view, region);
		std::vector<render_triangle *> triangles;
		for (render_surface *s = list.first_surface; s; s = s->next_surface)
		{
			triangles.push_back(reinterpret_cast<render_triangle *>(s));
		}
		return triangles;
	}

	static std::vector<int32> corners(const render_triangle *t)
	{
		std::vector<int32> result;
		for (const render_corner &corner : t->corners) result.push_back(corner.vertex->mesh_vertex.x * 10 + corner.vertex->mesh_vertex.y);
		return result;
	}
};

}

TEST_F(render_mesh, plain_blocks_split_in_two_along_alternating_diagonals)
{
	const std::vector<render_triangle *> triangles = build({0, 0}, 4);
	ASSERT_EQ(triangles.size(), 4u);
	EXPECT_EQ(corners(triangles[0]), (std::vector<int32>{22, 20, 0}));
	EXPECT_EQ(corners(triangles[1]), (std::vector<int32>{0, 2, 22}));
	EXPECT_EQ(corners(triangles[2]), (std::vector<int32>{40, 20, 22}));
	EXPECT_EQ(corners(triangles[3]), (std::vector<int32>{22, 42, 40}));
	for (const render_triangle *t : triangles)
	{
		EXPECT_EQ(surface_subtype(&t->surface), _surface_subtype_mesh_triangle);
		EXPECT_EQ(surface_flags(&t->surface), 0);
	}
	EXPECT_EQ(triangles[0]->surface.z, -102) << "the farthest vertex";
}

TEST_F(render_mesh, split_sides_follow_the_rendered_bits)
{
	EXPECT_EQ(build({0x00FF}, 2).size(), 8u) << "a fully split block";
	// Side 0 split with no cells rendered: nothing on that side; the three
	// unsplit sides draw whatever the rendered bits say.
	EXPECT_EQ(build({0x0001}, 2).size(), 3u);
	// Side 0 split, cell 1 only: the half from the first end.
	const std::vector<render_triangle *> half = build({0x0021}, 2);
	ASSERT_EQ(half.size(), 4u);
	EXPECT_EQ(corners(half[0]), (std::vector<int32>{11, 20, 10}));
}

TEST_F(render_mesh, media_and_filtering_flags_and_texture_coordinates)
{
	const std::vector<render_triangle *> media = build({0x0100}, 2, _render_view_filtering_flag);
	ASSERT_EQ(media.size(), 2u);
	EXPECT_EQ(surface_flags(&media[0]->surface), _surface_media_flag | _surface_filtered_flag);
	const std::vector<render_triangle *> land = build({0}, 2, _render_view_filtering_flag);
	EXPECT_EQ(surface_flags(&land[0]->surface), _surface_filtered_flag);

	// Software: cell units from the region's corner; others: subtexture fractions.
	EXPECT_EQ(land[0]->corners[0].interpolants[0], 2);
	EXPECT_EQ(land[0]->corners[0].interpolants[1], 2);
	const std::vector<render_triangle *> tiled = build({0}, 2, 0, 1);
	EXPECT_EQ(tiled[0]->corners[0].interpolants[0], static_cast<int16>(3 * 8192));
	EXPECT_EQ(tiled[0]->corners[2].interpolants[1], static_cast<int16>(1 * 8192));
}

// With detail maps the block is the full fan whatever its splits; each half
// takes its cell's word, and a half-block shares its farthest depth.
TEST_F(render_mesh, detail_maps_build_the_full_fan_with_each_cells_words)
{
	std::vector<uint32> layer(2 * 4 * 3);
	for (uint32 i = 0; i < layer.size(); ++i) layer[i] = 100 + i;
	set_detail_map_layer_info_for_tests(layer.data(), 4, TRUE);
	const std::vector<render_triangle *> fan = build({0x00F0}, 2);
	reset_detail_maps_test_hooks();

	ASSERT_EQ(fan.size(), 8u);
	EXPECT_EQ(fan[0]->detail, 102u) << "top side, first half: cell (1, 0), first word";
	EXPECT_EQ(fan[1]->detail, 101u) << "top side, second half: cell (0, 0), second word";
	EXPECT_EQ(fan[4]->detail, 108u) << "bottom side, first half: cell (0, 1)";
	for (const render_triangle *t : fan) EXPECT_EQ(t->surface.z, -102);
}

TEST_F(render_mesh, an_empty_row_range_builds_nothing)
{
	test_map map(1, 1);
	ASSERT_TRUE(map.load());
	mesh_region region;
	memset(&region, 0, sizeof(region));
	view_data view;
	memset(&view, 0, sizeof(view));
	render_surface_list list;
	new_surface_list(&list);
	view.main_surface_list = &list;
	build_mesh_surface_list(&view, &region);
	EXPECT_EQ(list.surface_count, 0);
}

TEST_F(render_mesh, shadow_overlays_floor_at_64_and_lights_saturate)
{
	ASSERT_NE(volatile_shadow_map, nullptr);
	uint8 *texel = &volatile_shadow_map[10 * VOLATILE_MAP_WIDTH + 10];
	const uint8 full[4] = {255, 255, 255, 255};
	*texel = 200;
	rasterize_volatile_shadow_map_overlay(_shadow_map_overlay, 65535, full, 2, 2, 2, 10 << 6, 10 << 6);
	EXPECT_EQ(*texel, MINIMUM_SHADOW_MAP_INTENSITY);
	rasterize_volatile_shadow_map_overlay(_light_map_overlay, 65535, full, 2, 2, 2, 10 << 6, 10 << 6);
	EXPECT_EQ(*texel, 255) << "64 + 246 saturates";
	// Half a texel right: the weights move to the neighbour.
	*texel = 100;
	rasterize_volatile_shadow_map_overlay(_light_map_overlay, 65535, full, 1, 1, 1, (10 << 6) + 32, 10 << 6);
	EXPECT_EQ(*texel, 100 + ((63 * (31 * 254)) >> 12));
	const uint8 low[1] = {30};
	rasterize_volatile_shadow_map_overlay(_copy_shadow_map, 0, low, 1, 1, 1, 10 << 6, 10 << 6);
	EXPECT_EQ(*texel, 30);
	// Off the map: nothing written, nothing read outside.
	rasterize_volatile_shadow_map_overlay(_copy_shadow_map, 0, low, 1, 1, 1, 512 << 6, 0);
	rasterize_volatile_shadow_map_overlay(_copy_shadow_map, 0, low, 1, 1, 1, -64 << 6, 0);
	*texel = 0;
}

namespace {

// The overlay loop before its rows' values were kept: the reference.
void reference_shadow_map_overlay(uint8 *map, int16 mode, fixed_fraction density, const uint8 *overlay,
	int32 bytes_per_row, int32 width, int32 height, world_distance x0, world_distance y0)
{
	if (!overlay || width < 1 || height < 1) return;
	const int32 tx = x0 >> FRACTIONAL_PIXEL_BITS, ty = y0 >> FRACTIONAL_PIXEL_BITS;
	if (tx > 511 || ty > 511 || tx + width <= 0 || ty + height <= 0) return;
	const int32 fx = PIXEL_ONE - (x0 & PIXEL_ONE), fy = PIXEL_ONE - (y0 & PIXEL_ONE);
	auto a = [&](int32 c, int32 r) -> int32 {
		if (c < 0 || r < 0 || c >= width || r >= height) return 0;
		return mode == _copy_shadow_map ? overlay[r * bytes_per_row + c]
										: static_cast<int32>((static_cast<uint32>(overlay[r * bytes_per_row + c]) * density) >> 16);
	};
	for (int32 r = 0; r < height; ++r)
	{
		const int32 y = ty + r;
		if (y < 0 || y > 511) continue;
		for (int32 c = 0; c < width; ++c)
		{
			const int32 x = tx + c;
			if (x < 0 || x > 511) continue;
			uint8 *s = &map[y * VOLATILE_MAP_WIDTH + x];
			if (mode == _copy_shadow_map)
			{
				const uint8 o = overlay[r * bytes_per_row + c];
				if (o < *s) *s = o;
				continue;
			}
			const int32 h0 = fx * a(c, r) + (PIXEL_ONE - fx) * a(c - 1, r);
			const int32 h1 = fx * a(c, r - 1) + (PIXEL_ONE - fx) * a(c - 1, r - 1);
			const int32 value = (fy * h0 + (PIXEL_ONE - fy) * h1) >> 12;
			if (mode == _light_map_overlay)
			{
				*s = static_cast<uint8>(std::min<int32>(*s + value, MAXIMUM_SHADOW_MAP_INTENSITY));
			}
			else if (a(c, r) != 0)
			{
				const int32 darker = std::max<int32>(MINIMUM_SHADOW_MAP_INTENSITY, ((255 - value) * *s) >> 8);
				*s = static_cast<uint8>(std::min<int32>(*s, darker));
			}
		}
	}
}

}

// Shadows, lights and copies of random sizes, densities and sub-texel
// offsets, on the map and across each of its edges, over a random map.
TEST_F(render_mesh, shadow_overlays_match_the_reference_loop)
{
	ASSERT_NE(volatile_shadow_map, nullptr);
	const size_t map_bytes = VOLATILE_MAP_WIDTH * VOLATILE_MAP_WIDTH;
	std::vector<uint8> expected(map_bytes), saved(volatile_shadow_map, volatile_shadow_map + map_bytes);
	std::mt19937 random(0x5EED);
	for (size_t i = 0; i < map_bytes; ++i) volatile_shadow_map[i] = static_cast<uint8>(random());
	memcpy(expected.data(), volatile_shadow_map, map_bytes);
	std::vector<uint8> overlay(300 * 40);
	int32 differing = 0;
	for (int32 trial = 0; trial < 3000; ++trial)
	{
		const int16 mode = static_cast<int16>(trial % 3);
		const int32 width = 1 + static_cast<int32>(random() % (trial % 50 == 0 ? 300 : 40));
		const int32 height = 1 + static_cast<int32>(random() % 40);
		const int32 bytes_per_row = width + static_cast<int32>(random() % 4);
		for (int32 i = 0; i < bytes_per_row * height; ++i) overlay[i] = random() % 4 == 0 ? 0 : static_cast<uint8>(random());
		const fixed_fraction density = static_cast<fixed_fraction>(random());
		const world_distance x0 = static_cast<world_distance>(static_cast<int32>(random() % (600 << 6)) - (60 << 6));
		const world_distance y0 = static_cast<world_distance>(static_cast<int32>(random() % (600 << 6)) - (60 << 6));
		reference_shadow_map_overlay(expected.data(), mode, density, overlay.data(), bytes_per_row, width, height, x0, y0);
		rasterize_volatile_shadow_map_overlay(mode, density, overlay.data(), bytes_per_row, width, height, x0, y0);
		differing += memcmp(expected.data(), volatile_shadow_map, map_bytes) != 0;
		if (differing) memcpy(volatile_shadow_map, expected.data(), map_bytes);
	}
	memcpy(volatile_shadow_map, saved.data(), map_bytes);
	EXPECT_EQ(differing, 0);
}

// A map narrower and shorter than the 64-cell window: the origin stays at 0
// and no vertex or span leaves the mesh.
TEST_F(render_mesh, a_small_map_keeps_the_region_on_the_mesh)
{
	test_map map(1, 1);
	ASSERT_TRUE(map.load());
	bitmap_data *screen = new_bitmap(64, 48, 256, _32bit_encoding, 0);
	ASSERT_NE(screen, nullptr);
	for (angle yaw : {0, 16384, 32768, 49152})
	{
		view_data view;
		memset(&view, 0, sizeof(view));
		view.screen = screen;
		view.tan_half_fov = 0.75f;
		view.location.position = {16 * WORLD_ONE, 16 * WORLD_ONE, 2000};
		view.location.yaw = yaw;
		view.location.pitch = -6144;
		render_scene(&view);
		ASSERT_NE(last_region, nullptr);
		EXPECT_EQ(last_region->original_x0, 0);
		EXPECT_EQ(last_region->original_y0, 0);
		EXPECT_LT(last_region->y0, last_region->y1) << yaw;
		EXPECT_GE(last_region->y0, 0);
		EXPECT_LE(last_region->y1, 31);
		for (int32 row = last_region->y0; row <= last_region->y1; ++row)
		{
			const mesh_span &span = last_region->spans[row - last_region->y0];
			if (span.x0 > span.x1) continue;
			EXPECT_GE(span.x0, 0);
			EXPECT_LE(span.x1, 31);
		}
	}
	dispose_pointer(screen);
}
