#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "byte_swapping.h"
#include "crc.h"
#include "directions.h"
#include "mesh_test_map.h"
#include "mesh_triangles.h"
#include "zerv.h"

namespace {

class mesh_queries : public ::testing::Test
{
protected:
	void SetUp() override
	{
		initialize_mesh_test_modules();
		game_play_version = 1511;
	}
	void TearDown() override { dispose_mesh_from_old_map(); }
};

world_point2d point(world_distance x, world_distance y)
{
	return world_point2d{x, y};
}

short_world_distance height_at(world_distance x, world_distance y, int16 type = _land_height)
{
	const world_point2d p = point(x, y);
	return get_mesh_height(&p, type);
}

/* ---------- triangles and heights */

TEST_F(mesh_queries, triangle_indexes_follow_the_diagonals)
{
	// Even cell (0, 0): the diagonal itself belongs to triangle 1.
	EXPECT_EQ(get_mesh_triangle_index(100, 100), _even_cell_second_triangle);
	EXPECT_EQ(get_mesh_triangle_index(100, 101), _even_cell_first_triangle);
	EXPECT_EQ(get_mesh_triangle_index(0, 0), _even_cell_second_triangle);
	// Odd cell (1, 0): v = 512 - u belongs to triangle 3.
	EXPECT_EQ(get_mesh_triangle_index(512 + 100, 412), _odd_cell_second_triangle);
	EXPECT_EQ(get_mesh_triangle_index(512 + 100, 411), _odd_cell_first_triangle);
	// Negative coordinates take parity, u and v from arithmetic shifts.
	EXPECT_EQ(get_mesh_triangle_index(-1, -1), _even_cell_second_triangle); // cell (-1, -1), u = v = 511
	EXPECT_EQ(get_mesh_triangle_index(-1, 5), _odd_cell_second_triangle);   // cell (-1, 0), u = 511, v = 5
}

// The branch-free forms the height query uses against the plain ones, for
// every point of a cell of each parity (negative cells too) and, for the
// height, vertex heights across the whole range a cell can hold.
TEST_F(mesh_queries, branch_free_triangles_and_heights_match_the_plain_ones)
{
	const int32 corners[][2] = {{0, 0}, {512, 0}, {-512, -512}, {-512, 0}, {512 * 1000, 512 * 77}};
	const int32 heights[][3] = {{0, 0, 0}, {-32768, 32767, 0}, {32767, -32768, -32768}, {123, -4567, 890},
		{-32768, -32768, 32767}};
	int64 differing = 0;
	for (const auto &corner : corners)
	{
		for (int32 v = 0; v < WORLD_ONE; ++v)
		{
			for (int32 u = 0; u < WORLD_ONE; ++u)
			{
				const world_distance x = corner[0] + u, y = corner[1] + v;
				const int16 t = mesh_triangle_index_without_branch(x, y);
				differing += t != get_mesh_triangle_index(x, y);
				for (const auto &vertex : heights)
				{
					differing += interpolate_triangle_height_without_branch(x, y, t, vertex[0], vertex[1], vertex[2]) !=
						interpolate_triangle_height(x, y, t, vertex[0], vertex[1], vertex[2]);
				}
			}
		}
	}
	EXPECT_EQ(differing, 0);
}

TEST_F(mesh_queries, heights_interpolate_inside_each_triangle)
{
	test_map map;
	for (int32 y = 0; y < map.height(); ++y)
	{
		for (int32 x = 0; x < map.width(); ++x) map.cell(x, y).height = static_cast<int16>(16 * x + 8 * y);
	}
	ASSERT_TRUE(map.load());

	// Corners give the vertex heights exactly.
	EXPECT_EQ(height_at(10 * 512, 20 * 512), 16 * 10 + 8 * 20);
	EXPECT_EQ(height_at(11 * 512, 20 * 512), 16 * 11 + 8 * 20);
	// (511, 511) of an even cell comes very close to its north-east vertex.
	EXPECT_NEAR(height_at(10 * 512 + 511, 20 * 512 + 511), 16 * 11 + 8 * 21, 1);
	// A plane is reproduced by every triangle, within the shift's truncation.
	for (world_distance y = 20 * 512; y < 22 * 512; y += 37)
	{
		for (world_distance x = 10 * 512; x < 12 * 512; x += 41)
		{
			const int32 exact = (16 * x + 8 * y) / 512;
			EXPECT_NEAR(height_at(x, y), exact, 1) << x << "," << y;
		}
	}
}

TEST_F(mesh_queries, not_rendered_cells_and_media_heights)
{
	test_map map;
	map.cell(4, 4).height = 100;
	map.cell(4, 4).media_height = 300;
	map.cell(5, 4).height = 100;
	map.cell(5, 4).media_height = 300;
	map.cell(4, 5).height = 100;
	map.cell(5, 5).height = 100;
	map.cell(5, 5).media_height = 700;
	// Only (4, 4)'s second triangle is media: its vertex counts with its media height.
	map.cell(4, 4).flags |= _mesh_cell_triangle1_is_media_flag;
	ASSERT_TRUE(map.load());

	EXPECT_EQ(height_at(4 * 512, 4 * 512, _true_height), 300);
	EXPECT_EQ(height_at(4 * 512, 4 * 512, _land_height), 100);
	EXPECT_EQ(height_at(4 * 512, 4 * 512, _media_height), 300);
	// (5, 4) has no media flag: its own vertex counts with its ground height.
	EXPECT_EQ(height_at(5 * 512, 4 * 512, _true_height), 100);
	EXPECT_EQ(height_at(5 * 512, 4 * 512, _media_height), 300);
	// Height bounds: the media triangle's cell counts with its media height.
	EXPECT_EQ(mesh_globals->max_cell_height, 300);
	EXPECT_EQ(mesh_globals->min_cell_height, 0);

	get_mesh_cell(7, 7)->flags |= _mesh_cell_is_not_rendered_flag;
	for (int16 type = 0; type < NUMBER_OF_MESH_HEIGHT_TYPES; ++type)
	{
		EXPECT_EQ(height_at(7 * 512 + 100, 7 * 512 + 300, type), NONRENDERED_CELL_HEIGHT);
	}
}

TEST_F(mesh_queries, vertices_beyond_the_array_and_the_east_step)
{
	test_map map;
	for (mesh_cell &cell : map.cells) cell.height = 1000;
	map.cell(0, 11).height = 5000;
	ASSERT_TRUE(map.load());
	EXPECT_EQ(direction_delta_cell[_direction_north], 64);

	// North row: the vertices above it read 0. Cell (5, 95) is even; at u = 0,
	// v = 511 the point lies in triangle 0, whose origin is the missing
	// north-west vertex: 0 + ((1000 - 0) x 1) >> 9.
	EXPECT_EQ(height_at(5 * 512, 95 * 512 + 511), 1);
	EXPECT_LT(height_at(5 * 512 + 256, 95 * 512 + 500), 1000);

	// East edge: cell (63, 10) is odd; its east vertex is the first cell of
	// the next row.
	const short_world_distance east = height_at(63 * 512 + 511, 10 * 512);
	EXPECT_EQ(east, 1000 + (((5000 - 1000) * 511) >> 9));
}

TEST_F(mesh_queries, terrain_types_reflectivity_and_normals_by_triangle)
{
	test_map map;
	mesh_cell &cell = map.cell(2, 2); // even
	cell.flags = static_cast<uint16>((_terrain_rocky << 4) | _terrain_marsh | _mesh_cell_triangle0_is_media_flag);
	ASSERT_TRUE(map.load());
	get_mesh_cell(2, 2)->normal = static_cast<uint16>((7 << 8) | 9);

	const world_point2d first = point(2 * 512 + 10, 2 * 512 + 400);
	const world_point2d second = point(2 * 512 + 400, 2 * 512 + 10);
	EXPECT_EQ(get_mesh_terrain_type(&first), _terrain_rocky);
	EXPECT_EQ(get_mesh_terrain_type(&second), _terrain_marsh);
	EXPECT_TRUE(get_mesh_reflectivity(&first));
	EXPECT_FALSE(get_mesh_reflectivity(&second));
	EXPECT_EQ(get_mesh_normal(&first), &get_precalculated_normal(7)->normal);
	EXPECT_EQ(get_mesh_normal(&second), &get_precalculated_normal(9)->normal);
	EXPECT_EQ(get_cell_triangle_normal(get_mesh_cell(2, 2), 0), &get_precalculated_normal(9)->normal);
	EXPECT_EQ(get_cell_triangle_normal(get_mesh_cell(2, 2), 1), &get_precalculated_normal(7)->normal);
}

TEST_F(mesh_queries, coverage_rows_answer_texel_by_texel)
{
	test_map map(1, 1, false);
	// Row 0: media after 3 up to 7; every other row is only its terminator.
	map.coverage = {3, 7};
	map.coverage.resize(2 + 32 * 8, 256);
	ASSERT_TRUE(map.load());
	std::vector<int32> media;
	for (int32 x = 0; x < 12; ++x)
	{
		if (mesh_coverage_texel_is_media(x, 0)) media.push_back(x);
	}
	EXPECT_EQ(media, (std::vector<int32>{4, 5, 6, 7}));
	EXPECT_FALSE(mesh_coverage_texel_is_media(5, 1));
	EXPECT_FALSE(mesh_coverage_texel_is_media(-1, 0));
	EXPECT_FALSE(mesh_coverage_texel_is_media(256, 0));

	// Coverage written from media triangles answers as the triangles do.
	test_map lake;
	for (int32 y = 10; y < 16; ++y)
	{
		for (int32 x = 5; x < 12; ++x) lake.cell(x, y).flags |= _mesh_cell_triangle_media_flags;
	}
	lake.cell(20, 20).flags |= _mesh_cell_triangle0_is_media_flag;
	lake.cell(21, 20).flags |= _mesh_cell_triangle1_is_media_flag;
	lake.coverage.resize(static_cast<size_t>(lake.height() * 8 * (lake.width() + 1)));
	const int32 words = build_media_coverage_from_cells(lake.cells.data(), lake.width(), lake.height(),
		lake.coverage.data(), static_cast<int32>(lake.coverage.size()));
	ASSERT_GT(words, 0);
	lake.coverage.resize(static_cast<size_t>(words));
	ASSERT_TRUE(lake.load());
	for (int32 ty = 0; ty < 30 * 8; ty += 3)
	{
		for (int32 tx = 1; tx < 30 * 8; tx += 5)
		{
			const world_point2d centre = point(tx * 64 + 32, ty * 64 + 32);
			ASSERT_EQ(mesh_coverage_texel_is_media(tx, ty), get_mesh_reflectivity(&centre)) << tx << "," << ty;
		}
	}
}

/* ---------- off the map */

TEST_F(mesh_queries, off_map_points_follow_the_fixed_rule)
{
	test_map map; // 64 x 96
	ASSERT_TRUE(map.load());

	EXPECT_EQ(get_mesh_cell(70, 5), get_mesh_cell(5, 5));
	EXPECT_EQ(get_mesh_cell(-3, 5), get_mesh_cell(5, 5));
	EXPECT_EQ(get_mesh_cell(3, -2), get_mesh_cell(0, 0));
	EXPECT_EQ(get_mesh_cell_index(3, 100), 4127); // column 95, row 63
	EXPECT_EQ(get_mesh_cell_index(-100000, 200000), 4127);
	EXPECT_EQ(get_mesh_cell_index(70, 80), 63 * 64 + 80);
	EXPECT_EQ(get_mesh_cell_index(INT32_MAX, INT32_MIN), 0);

	// Heights off the map read the mapped cell without faulting.
	const world_point2d far = point(-5000000, 9000000);
	(void)get_mesh_height(&far, _true_height);
}

TEST_F(mesh_queries, ring_sweeps_stay_inside_every_shape)
{
	const std::pair<int16, int16> shapes[] = {{1, 1}, {1, 8}, {8, 1}, {2, 3}, {3, 2}, {8, 8}};
	for (const auto &shape : shapes)
	{
		test_map map(shape.first, shape.second, false);
		ASSERT_TRUE(map.load());
		const int32 cells = map.width() * map.height();
		for (int32 ring = 1; ring < 300; ring += 7)
		{
			for (int32 t = -ring; t <= ring + map.width() + map.height(); ++t)
			{
				const int32 coordinates[][2] = {{t, -ring}, {t, map.height() + ring}, {-ring, t},
					{map.width() + ring, t}};
				for (const auto &c : coordinates)
				{
					const int32 index = get_mesh_cell_index(c[0], c[1]);
					ASSERT_GE(index, 0);
					ASSERT_LT(index, cells) << shape.first << "x" << shape.second << " (" << c[0] << "," << c[1] << ")";
				}
			}
		}
	}
}

/* ---------- segment walks */

std::vector<std::pair<int32, int32>> walked_cells;
int32 stop_after = -1;

boolean record_cell(int32 x, int32 y, const world_point2d *, const world_point2d *)
{
	walked_cells.emplace_back(x, y);
	return stop_after >= 0 && static_cast<int32>(walked_cells.size()) >= stop_after;
}

std::vector<std::pair<int32, int32>> walk(world_distance x0, world_distance y0, world_distance x1, world_distance y1,
	boolean *result = nullptr)
{
	walked_cells.clear();
	const world_point2d p0 = point(x0, y0), p1 = point(x1, y1);
	const boolean obstructed = obstruction_in_cells_crossed_by_segment(&p0, &p1, record_cell);
	if (result) *result = obstructed;
	return walked_cells;
}

using cells = std::vector<std::pair<int32, int32>>;

TEST_F(mesh_queries, segment_walks_visit_the_crossed_cells_in_order)
{
	boolean result = TRUE;
	EXPECT_EQ(walk(100, 100, 1600, 700, &result), (cells{{0, 0}, {1, 0}, {2, 0}, {2, 1}, {3, 1}}));
	EXPECT_FALSE(result);
	EXPECT_EQ(walk(1600, 700, 100, 100), (cells{{3, 1}, {2, 1}, {2, 0}, {1, 0}, {0, 0}}));
	EXPECT_EQ(walk(100, 100, 700, 1600), (cells{{0, 0}, {0, 1}, {0, 2}, {1, 2}, {1, 3}}));
	EXPECT_EQ(walk(700, 1600, 100, 100), (cells{{1, 3}, {1, 2}, {0, 2}, {0, 1}, {0, 0}}));
	// Diagonal: every step changes both.
	EXPECT_EQ(walk(100, 150, 2148, 2000), (cells{{0, 0}, {0, 1}, {1, 1}, {2, 1}, {2, 2}, {3, 2}, {3, 3}, {4, 3}}));
	// Along one row or one column.
	EXPECT_EQ(walk(100, 700, 2000, 800), (cells{{0, 1}, {1, 1}, {2, 1}, {3, 1}}));
	EXPECT_EQ(walk(900, 1100, 700, -200), (cells{{1, 2}, {1, 1}, {1, 0}, {1, -1}}));
	// One cell only.
	EXPECT_EQ(walk(10, 10, 500, 400, &result), (cells{{0, 0}}));
	EXPECT_FALSE(result);
}

TEST_F(mesh_queries, segment_walks_stop_at_the_first_obstruction)
{
	boolean result = FALSE;
	stop_after = 3;
	EXPECT_EQ(walk(100, 100, 1600, 700, &result), (cells{{0, 0}, {1, 0}, {2, 0}}));
	EXPECT_TRUE(result);
	stop_after = 1;
	EXPECT_EQ(walk(100, 100, 100, 100, &result), (cells{{0, 0}}));
	EXPECT_TRUE(result);
	stop_after = -1;
}

TEST_F(mesh_queries, segment_walks_far_off_the_map_wrap_without_faults)
{
	// Near 131000 the walk is still exact.
	EXPECT_EQ(walk(131000, 700, 128000, 1100), (cells{{255, 1}, {254, 1}, {253, 1}, {252, 1}, {251, 1}, {251, 2}, {250, 2}}));

	// Far away the products wrap in 32 bits (sanitizers catch any other
	// overflow); every column is still visited once, in order.
	const cells far = walk(300000000, 1000000, 300000000 + 40 * 512, 1000000 + 20 * 512);
	ASSERT_GE(far.size(), 41u);
	int32 columns = 0;
	for (size_t i = 1; i < far.size(); ++i)
	{
		EXPECT_LE(far[i].first - far[i - 1].first, 1);
		if (far[i].first != far[i - 1].first) columns += 1;
	}
	EXPECT_EQ(columns, 40);

	// At the very ends of the coordinate range every sum wraps too.
	EXPECT_GE(walk(100, INT32_MAX - 3000, 5000, INT32_MAX - 1000).size(), 10u);
	EXPECT_EQ(walk(INT32_MIN + 10, -5000, INT32_MIN + 9000, 3000).front(), (std::pair<int32, int32>{-4194304, -10}));
}

/* ---------- normals */

TEST_F(mesh_queries, normal_table_rings_and_checksum)
{
	std::vector<int32> ring_sizes;
	int16 last_k = 0;
	for (int16 n = 0; n < NUMBER_OF_PRECALCULATED_NORMALS; ++n)
	{
		const world_vector3d *normal = &get_precalculated_normal(n)->normal;
		if (n == 0 || normal->k != last_k) ring_sizes.push_back(0);
		ring_sizes.back() += 1;
		last_k = normal->k;
		// Unit length within the tables' rounding.
		const double length = std::sqrt(double(normal->i) * normal->i + double(normal->j) * normal->j +
			double(normal->k) * normal->k);
		EXPECT_NEAR(length, 16384.0, 40.0) << n;
	}
	EXPECT_EQ(ring_sizes, (std::vector<int32>{1, 7, 13, 19, 25, 30, 36, 41, 45, 39}));
	EXPECT_EQ(get_precalculated_normal(0)->normal.k, 16384);
	EXPECT_EQ(get_precalculated_normal(0)->normal.i, 0);

	// The same table on every build: its big-endian bytes have one CRC.
	std::vector<int16> words;
	for (int16 n = 0; n < NUMBER_OF_PRECALCULATED_NORMALS; ++n)
	{
		const precalculated_normal_data *normal = get_precalculated_normal(n);
		for (int16 value : {normal->normal.i, normal->normal.j, normal->normal.k, normal->yaw, normal->elevation})
		{
			words.push_back(value);
		}
	}
	byte_swap_memory("test", words.data(), static_cast<int32>(words.size()), _2byte);
	EXPECT_EQ(calculate_data_crc(words.data(), static_cast<int32>(words.size() * 2)), 2322730189u);
}

TEST_F(mesh_queries, cell_normals_point_up_the_slope)
{
	test_map map;
	// Rising by 512 per cell eastward: a 45-degree slope facing west.
	for (int32 y = 0; y < map.height(); ++y)
	{
		for (int32 x = 0; x < map.width(); ++x) map.cell(x, y).height = static_cast<int16>(x < 20 ? 0 : (x - 20) * 512);
	}
	ASSERT_TRUE(map.load());
	precalculate_mesh_normals(0, 0, map.width(), map.height());

	// Flat cells: both triangles take the vertical, entry 0.
	EXPECT_EQ(get_mesh_cell(5, 5)->normal, 0);
	EXPECT_EQ(get_mesh_cell(6, 5)->normal, 0);

	for (int32 x : {30, 31})
	{
		const mesh_cell *cell = get_mesh_cell(x, 40);
		for (int16 which : {0, 1})
		{
			const world_vector3d *n = get_cell_triangle_normal(cell, which);
			const double dot = (-n->i + n->k) / (16384.0 * std::sqrt(2.0));
			EXPECT_GT(dot, 0.99) << x << " " << which << ": " << n->i << "," << n->j << "," << n->k;
		}
	}
}

/* ---------- flags */

TEST_F(mesh_queries, vertex_flags_read_the_neighbours_as_they_were)
{
	test_map map;
	map.cell(1, 1).flags |= _mesh_cell_triangle0_is_media_flag;
	map.cell(10, 10).flags |= _mesh_cell_triangle_media_flags;
	map.cell(9, 10).flags |= _mesh_cell_triangle_media_flags;
	map.cell(10, 9).flags |= _mesh_cell_triangle_media_flags;
	map.cell(9, 9).flags |= _mesh_cell_triangle_media_flags;
	map.cell(20, 20).flags |= _mesh_cell_triangle1_is_media_flag | _mesh_cell_was_or_is_on_fire_flag;
	map.cell(5, 0).flags |= _mesh_cell_triangle0_is_media_flag;
	ASSERT_TRUE(map.load());

	// The vertex of (2, 2) touches (1, 1): media.
	EXPECT_TRUE(get_mesh_cell(2, 2)->flags & _mesh_vertex_is_media_flag);
	EXPECT_TRUE(get_mesh_cell(1, 2)->flags & _mesh_vertex_is_media_flag);
	EXPECT_FALSE(get_mesh_cell(3, 3)->flags & _mesh_vertex_is_media_flag);
	// All four around (10, 10) are wholly media: animated.
	EXPECT_TRUE(get_mesh_cell(10, 10)->flags & _mesh_vertex_is_animated_media_flag);
	EXPECT_FALSE(get_mesh_cell(11, 10)->flags & _mesh_vertex_is_animated_media_flag);
	EXPECT_FALSE(get_mesh_cell(20, 20)->flags & _mesh_cell_was_or_is_on_fire_flag);
	// Row 0 and column 0 keep their flags.
	EXPECT_FALSE(get_mesh_cell(5, 0)->flags & _mesh_vertex_is_media_flag);
	EXPECT_TRUE(get_mesh_cell(5, 1)->flags & _mesh_vertex_is_media_flag);

	// A not-rendered neighbour withholds the media vertex even though the
	// same pass clears its flag; a model does too.
	get_mesh_cell(30, 30)->flags |= _mesh_cell_triangle0_is_media_flag | _mesh_cell_is_not_rendered_flag;
	get_mesh_cell(41, 40)->flags |= _mesh_cell_triangle0_is_media_flag;
	get_mesh_cell(41, 40)->model_index = 3;
	precalculate_mesh_flags(0, 0, map.width(), map.height());
	EXPECT_FALSE(get_mesh_cell(31, 31)->flags & _mesh_vertex_is_media_flag);
	EXPECT_FALSE(get_mesh_cell(30, 30)->flags & _mesh_cell_is_not_rendered_flag);
	EXPECT_FALSE(get_mesh_cell(41, 40)->flags & _mesh_vertex_is_media_flag);
	EXPECT_TRUE(get_mesh_cell(42, 40)->flags & _mesh_vertex_is_media_flag);

	reset_mesh_terrain_types(0, 0, 2, 2);
	EXPECT_EQ(get_mesh_cell(1, 1)->flags & CELL_TERRAIN_MASK, 0x66);
	postprocess_mesh(40, 40, 42, 41);
	EXPECT_EQ(get_mesh_cell(41, 40)->model_index, NONE);
}

/* ---------- LOD */

class mesh_LOD : public mesh_queries
{
protected:
	uint16 LOD_word(int32 cx, int32 cy) { return mesh_globals->mesh_LOD_data[cy * (mesh_globals->mesh_width / 2) + cx]; }
};

TEST_F(mesh_LOD, edges_depart_past_the_cutoff)
{
	test_map map;
	ASSERT_TRUE(map.load());

	// Coarse cell (3, 3): south edge corners (6, 6) and (8, 6), middle (7, 6).
	get_mesh_cell(8, 6)->height = 1;
	get_mesh_cell(7, 6)->height = -64; // |0 + 1 + 128| = 129
	// Coarse cell (6, 6): west edge middle (12, 13) departs by exactly 128.
	get_mesh_cell(12, 13)->height = -64;
	recalculate_LOD_for_cell_region(0, 0, 63, 95);

	EXPECT_EQ(LOD_word(3, 3) & LOD_DETAIL_BITS, _LOD_south_edge_flag);
	// The cell below takes the matching north edge.
	EXPECT_EQ(LOD_word(3, 2) & LOD_DETAIL_BITS, _LOD_north_edge_flag);
	EXPECT_EQ(LOD_word(6, 6) & LOD_DETAIL_BITS, 0);
	EXPECT_EQ(LOD_word(10, 10), LOD_VISIBLE_BITS);

	// A centre that departs sets all four edges.
	get_mesh_cell(21, 21)->height = 200;
	recalculate_LOD_for_cell_region(21, 21, 21, 21);
	EXPECT_EQ(LOD_word(10, 10) & LOD_DETAIL_BITS, LOD_DETAIL_BITS);
	EXPECT_EQ(LOD_word(9, 10) & LOD_DETAIL_BITS, _LOD_east_edge_flag);
	EXPECT_EQ(LOD_word(11, 10) & LOD_DETAIL_BITS, _LOD_west_edge_flag);
}

TEST_F(mesh_LOD, models_hidden_cells_and_media)
{
	test_map map;
	ASSERT_TRUE(map.load());

	get_mesh_cell(4, 4)->model_index = 2; // south-west of coarse (2, 2)
	get_mesh_cell(11, 9)->flags |= _mesh_cell_is_not_rendered_flag; // north-east of coarse (5, 4)
	for (int32 y = 20; y < 22; ++y)
	{
		for (int32 x = 20; x < 22; ++x) get_mesh_cell(x, y)->flags |= _mesh_cell_triangle_media_flags;
	}
	get_mesh_cell(30, 30)->flags |= _mesh_cell_triangle1_is_media_flag; // SW second triangle
	recalculate_LOD_for_cell_region(0, 0, 63, 95);

	EXPECT_EQ(LOD_word(2, 2), LOD_VISIBLE_BITS | 9);
	EXPECT_EQ(LOD_word(5, 4), (LOD_VISIBLE_BITS & ~64u) | 6);
	// Wholly visible, wholly media: no detail edges.
	EXPECT_EQ(LOD_word(10, 10), 0xFFF0);
	EXPECT_EQ(LOD_word(15, 15), LOD_VISIBLE_BITS | 0x100 | _LOD_south_edge_flag);

	// High LOD sets the edges and its ring takes the facing ones.
	make_cell_region_high_LOD(40, 40, 41, 41);
	EXPECT_EQ(LOD_word(20, 20) & LOD_DETAIL_BITS, LOD_DETAIL_BITS);
	EXPECT_EQ(LOD_word(20, 21) & LOD_DETAIL_BITS, _LOD_south_edge_flag);
	EXPECT_EQ(LOD_word(21, 20) & LOD_DETAIL_BITS, _LOD_west_edge_flag);
	EXPECT_EQ(LOD_word(21, 21) & LOD_DETAIL_BITS, 0);
}

TEST_F(mesh_LOD, maps_without_LOD_data_are_left_alone)
{
	test_map map(2, 3, false);
	ASSERT_TRUE(map.load());
	EXPECT_EQ(mesh_globals->mesh_LOD_data, nullptr);
	recalculate_LOD_for_cell_region(0, 0, 63, 95);
	make_cell_region_high_LOD(0, 0, 63, 95);

	// Cracks at the array's ends read its first and last entries.
	uint16 words[4] = {_LOD_north_edge_flag, 0, 0, _LOD_west_edge_flag};
	eliminate_cracks_for_coarse_cell(0, 0, words, 2, sizeof(words));
	EXPECT_EQ(words[0], _LOD_north_edge_flag | _LOD_south_edge_flag);
	// The last entry is its own east neighbour.
	eliminate_cracks_for_coarse_cell(1, 1, words, 2, sizeof(words));
	EXPECT_EQ(words[3], _LOD_west_edge_flag | _LOD_east_edge_flag);
}

} // namespace
