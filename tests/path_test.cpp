// The cell search, its box and costs, the straight-line smoothing and the
// scan box of obstacle avoidance, on small maps built in memory.
#include <gtest/gtest.h>

#include <cstdlib>
#include <utility>
#include <vector>

#include "fire.h"
#include "mesh_test_map.h"
#include "path.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PATH_TEST_COUNTS_ALLOCATIONS 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define PATH_TEST_COUNTS_ALLOCATIONS 1
#endif
#ifdef PATH_TEST_COUNTS_ALLOCATIONS
// The sanitizer allocator sees every block: malloc, new_pointer and operator new alike.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void *, size_t),
	void (*free_hook)(const volatile void *));
#endif

namespace
{
const uint16 walking_impassable = static_cast<uint16>(_terrain_walking_impassable);
const uint16 grass = static_cast<uint16>(_terrain_grass);
const uint16 mask = static_cast<uint16>(FLAG(_terrain_walking_impassable));

world_point2d centre_of(int32 x, int32 y)
{
	return {x * WORLD_ONE + WORLD_ONE_HALF, y * WORLD_ONE + WORLD_ONE_HALF};
}

void block(int32 x, int32 y, bool low = true, bool high = true)
{
	mesh_cell *cell = get_mesh_cell(x, y);
	uint16 flags = static_cast<uint16>(cell->flags & ~0xFF);
	flags = static_cast<uint16>(flags | (low ? walking_impassable : grass) |
		((high ? walking_impassable : grass) << 4));
	cell->flags = flags;
}

class path : public mesh_test_directory
{
protected:
	void load(int16 width_in_submeshes, int16 height_in_submeshes)
	{
		test_map map(width_in_submeshes, height_in_submeshes);
		ASSERT_TRUE(map.load());
		initialize_pathfinding();
		initialize_pathfinding_for_new_map();
	}
	void SetUp() override
	{
		mesh_test_directory::SetUp();
		reset_path_test_hooks();
	}
	void TearDown() override
	{
		dispose_pathfinding_from_old_map();
		dispose_fire_from_old_map();
		reset_path_test_hooks();
		mesh_test_directory::TearDown();
	}
	int16 search(world_point2d p0, world_point2d p1, path_variables *out = nullptr, uint16 impassable = mask)
	{
		path_variables variables = {};
		variables.terrain_impassability_flags = impassable;
		variables.owner_object_index = NONE;
		variables.p0 = p0;
		variables.p1 = p1;
		const int16 index = new_path(NONE, &variables);
		if (out) *out = variables;
		return index;
	}
};

// Real fires on a block of cells (the fire array's 128 records).
void light_fires(int32 x0, int32 y0, int32 x1, int32 y1)
{
	mesh_globals->header->flags |= _mesh_can_catch_fire_flag;
	initialize_fire();
	initialize_fire_for_new_map();
	for (int32 y = y0; y <= y1; ++y)
	{
		for (int32 x = x0; x <= x1; ++x)
		{
			const new_fire_cell_data fire = {static_cast<int16>(x), static_cast<int16>(y), 0, NONE, NONE, NONE};
			start_fire(&fire);
		}
	}
}
} // namespace

TEST_F(path, search_results)
{
	load(6, 6); // 192 x 192 cells
	path_variables v;

	// One cell: the destination itself.
	const world_point2d near = {10 * WORLD_ONE + 500, 10 * WORLD_ONE + 3};
	int16 index = search(centre_of(10, 10), near, &v);
	ASSERT_NE(index, NONE);
	EXPECT_EQ(get_path_data(index)->waypoint.x, near.x);
	EXPECT_EQ(get_path_data(index)->flags, 0);
	delete_path(&index);
	EXPECT_EQ(index, NONE);
	delete_path(&index);

	// Beyond the box: a partial path ending on the box's last column or row.
	index = search(centre_of(10, 10), centre_of(180, 180), &v);
	ASSERT_GE(index, 0);
	EXPECT_TRUE(v.flags & _partial_path_flag);
	const world_point2d end = get_path_data(index)->waypoint;
	EXPECT_TRUE(end.x >> WORLD_FRACTIONAL_BITS == 127 || end.y >> WORLD_FRACTIONAL_BITS == 127) << end.x << " " << end.y;
	delete_path(&index);

	// Boxed in: no step at all.
	for (int16 d = 0; d < NUMBER_OF_DIRECTIONS; ++d) block(20 + direction_delta_x[d], 20 + direction_delta_y[d]);
	EXPECT_EQ(search(centre_of(20, 20), centre_of(30, 30), &v), PATH_MUST_BE_RECOMPUTED);
	EXPECT_EQ(v.p1.x, v.p0.x);
	EXPECT_EQ(v.p1.y, v.p0.y);
	EXPECT_EQ(path_array.total_count, 0);

	// A full array gives NONE.
	for (int32 i = 0; i < MAXIMUM_PATHS; ++i) ASSERT_NE(search(centre_of(5, 5), centre_of(5, 5)), NONE) << i;
	EXPECT_EQ(search(centre_of(5, 5), centre_of(5, 5)), NONE);
}

TEST_F(path, equal_totals_expand_the_newest_first_and_costs_follow_arrival)
{
	load(2, 2);
	// East of the start is closed: north-east and south-east both total 78;
	// south-east was added last, so it is expanded first.
	block(11, 10);
	path_variables v;
	int16 index = search(centre_of(10, 10), centre_of(14, 10), &v);
	ASSERT_GE(index, 0);
	const path_test_hooks_data *hooks = get_path_test_hooks();
	ASSERT_GE(hooks->expanded_count, 2);
	EXPECT_EQ(hooks->expanded_x[1] + hooks->box_x0, 11);
	EXPECT_EQ(hooks->expanded_y[1] + hooks->box_y0, 9);
	delete_path(&index);

	// A straight run east: 22 for the first step, 16 after each orthogonal one,
	// so the destination costs 22 + 16 + 16 + 16 (the open list's costs).
	get_path_test_hooks()->full_searches_only = TRUE;
	index = search(centre_of(40, 40), centre_of(44, 40), &v);
	EXPECT_EQ(hooks->highest_cost, 22 + 16 + 16 + 16);
	delete_path(&index);
}

TEST_F(path, parity_masks_and_edges)
{
	load(2, 2);
	// Even cell: high nibble 152, low nibble 98; odd cell: high 196, low 49.
	block(6, 6, false, true);
	EXPECT_EQ(get_valid_direction_flags(6, 6, mask), 255 & ~152);
	block(6, 6, true, false);
	EXPECT_EQ(get_valid_direction_flags(6, 6, mask), 255 & ~98);
	block(9, 6, false, true);
	EXPECT_EQ(get_valid_direction_flags(9, 6, mask), 255 & ~196);
	block(9, 6, true, false);
	EXPECT_EQ(get_valid_direction_flags(9, 6, mask), 255 & ~49);
	// Edges drop the neighbours off the mesh; a blocked neighbour drops its direction.
	EXPECT_EQ(get_valid_direction_flags(0, 20, mask), 255 & ~(_southwest_flag | _northwest_flag | _west_flag));
	EXPECT_EQ(get_valid_direction_flags(63, 63, mask), _southwest_flag | _south_flag | _west_flag);
	block(21, 21);
	EXPECT_EQ(get_valid_direction_flags(20, 20, mask), 255 & ~_northeast_flag);
}

TEST_F(path, box_origins)
{
	load(6, 6);
	path_variables v;
	const int32 starts[] = {63, 64, 65, 192 - 64, 192 - 63};
	const int32 origins[] = {0, 0, 1, 64, 64};
	for (int32 i = 0; i < 5; ++i)
	{
		int16 index = search(centre_of(starts[i], 100), centre_of(starts[i] - 3, 100), &v);
		EXPECT_EQ(get_path_test_hooks()->box_x0, origins[i]) << starts[i];
		EXPECT_EQ(get_path_test_hooks()->box_y0, 36);
		delete_path(&index);
	}
}

TEST_F(path, a_short_map_has_a_negative_box_origin)
{
	load(2, 3); // 64 x 96, like the demo valley
	path_variables v;
	int16 index = search(centre_of(10, 33), centre_of(10, 40), &v);
	ASSERT_GE(index, 0);
	EXPECT_EQ(get_path_test_hooks()->box_y0, -32);
	EXPECT_EQ(get_path_test_hooks()->box_x0, -64);
	EXPECT_FALSE(v.flags & _partial_path_flag);
	EXPECT_EQ(get_path_data(index)->waypoint.y, centre_of(10, 40).y);
	delete_path(&index);
}

TEST_F(path, the_pool_fills_and_fire_costs_saturate)
{
	load(6, 6);
	// The destination is walled in: the search uses every node and ends partial.
	for (int16 d = 0; d < NUMBER_OF_DIRECTIONS; ++d) block(90 + direction_delta_x[d], 60 + direction_delta_y[d]);
	path_variables v;
	int16 index = search(centre_of(60, 60), centre_of(90, 60), &v);
	ASSERT_GE(index, 0);
	EXPECT_EQ(get_path_test_hooks()->nodes_used, MAXIMUM_NODES);
	EXPECT_TRUE(v.flags & _partial_path_flag);
	delete_path(&index);

	// A burning field: a fire costs five steps at the neutral modifier.
	get_path_test_hooks()->full_searches_only = TRUE;
	light_fires(36, 37, 51, 44);
	EXPECT_TRUE(cell_is_on_fire(36, 37) && cell_is_on_fire(51, 44));
	EXPECT_FALSE(cell_is_on_fire(35, 37) || cell_is_on_fire(52, 44));
	index = search(centre_of(40, 40), centre_of(42, 40), &v);
	EXPECT_EQ(get_path_test_hooks()->highest_cost, 22 + 110 + 16 + 80);
	EXPECT_GE(get_path_test_hooks()->lowest_cost, 0);
	delete_path(&index);
	// A huge modifier: a few burning steps reach the ceiling and stay there.
	get_path_test_hooks()->override_magical_modifier = TRUE;
	get_path_test_hooks()->magical_modifier = 32767;
	index = search(centre_of(40, 40), centre_of(50, 40), &v);
	ASSERT_GE(index, 0);
	EXPECT_EQ(get_path_test_hooks()->highest_cost, 32767);
	EXPECT_GE(get_path_test_hooks()->lowest_cost, 0);
	delete_path(&index);
	// Fire blocks a straight line unless the modifier is 0.
	const world_point2d a = centre_of(40, 40), b = centre_of(50, 44);
	EXPECT_FALSE(valid_straight_line_path(&a, &b, mask, SHORT_FIXED_ONE));
	EXPECT_TRUE(valid_straight_line_path(&a, &b, mask, 0));
}

TEST_F(path, straight_lines)
{
	load(6, 6);
	const world_point2d a = centre_of(10, 10), b = centre_of(20, 13);
	EXPECT_TRUE(valid_straight_line_path(&a, &b, mask, SHORT_FIXED_ONE));
	// Either triangle of a crossed cell blocks.
	block(15, 11, true, false);
	EXPECT_FALSE(valid_straight_line_path(&a, &b, mask, SHORT_FIXED_ONE));
	block(15, 11, false, true);
	EXPECT_FALSE(valid_straight_line_path(&a, &b, mask, SHORT_FIXED_ONE));
	block(15, 11, false, false);
	EXPECT_TRUE(valid_straight_line_path(&a, &b, mask, SHORT_FIXED_ONE));
	// Slope one half from cell centre to cell centre: each cell the line
	// crosses, once, in the order it crosses them.
	const world_point2d walk0 = centre_of(10, 10), walk1 = centre_of(16, 13);
	get_path_test_hooks()->record_walks = TRUE;
	EXPECT_TRUE(valid_straight_line_path(&walk0, &walk1, mask, SHORT_FIXED_ONE));
	const int16 cells[][2] = {{10, 10}, {11, 10}, {11, 11}, {12, 11}, {13, 11}, {13, 12}, {14, 12}, {15, 12}, {15, 13}, {16, 13}};
	const path_test_hooks_data *hooks = get_path_test_hooks();
	ASSERT_EQ(hooks->walked_count, 10);
	for (int32 i = 0; i < 10; ++i)
	{
		EXPECT_EQ(hooks->walked_x[i], cells[i][0]) << i;
		EXPECT_EQ(hooks->walked_y[i], cells[i][1]) << i;
	}
	// Through a corner: both cells beside it count.
	const world_point2d c = centre_of(30, 30), d = centre_of(33, 33);
	block(31, 30);
	EXPECT_FALSE(valid_straight_line_path(&c, &d, mask, SHORT_FIXED_ONE));
	// Long lines are tested in pieces.
	const world_point2d far0 = centre_of(1, 100), far1 = centre_of(190, 100);
	EXPECT_TRUE(valid_straight_line_path(&far0, &far1, mask, SHORT_FIXED_ONE));
	EXPECT_EQ(get_path_test_hooks()->straight_line_pieces, (189 * 512) / MAXIMUM_STRAIGHT_LINE_DISTANCE + 1);
	EXPECT_TRUE(valid_straight_line_path(&c, &d, 0, SHORT_FIXED_ONE));
	EXPECT_EQ(get_path_test_hooks()->straight_line_pieces, 1);
}

// A slope of a third, which no 8.8 step holds exactly: the walk is exact, so
// from cell centre to cell centre the line meets every row boundary at a
// cell corner, and both cells beside each corner count.
TEST_F(path, a_walk_of_slope_one_third_meets_each_corner_exactly)
{
	load(6, 6);
	const world_point2d from = centre_of(10, 10), to = centre_of(40, 20);
	get_path_test_hooks()->record_walks = TRUE;
	EXPECT_TRUE(valid_straight_line_path(&from, &to, mask, SHORT_FIXED_ONE));
	const path_test_hooks_data *hooks = get_path_test_hooks();
	EXPECT_EQ(hooks->walked_count, 1 + 30 + 2 * 10) << "a column step each, and three cells at each of ten corners";
	const int16 start[][2] = {{10, 10}, {11, 10}, {12, 10}, {11, 11}, {12, 11}, {13, 11}, {14, 11}, {15, 11}, {14, 12}, {15, 12}};
	for (int32 i = 0; i < 10; ++i)
	{
		EXPECT_EQ(hooks->walked_x[i], start[i][0]) << i;
		EXPECT_EQ(hooks->walked_y[i], start[i][1]) << i;
	}
	// Near the far end, either cell beside a corner blocks the line.
	for (const auto &cell : {std::pair<int32, int32>{39, 19}, {38, 20}})
	{
		block(cell.first, cell.second);
		EXPECT_FALSE(valid_straight_line_path(&from, &to, mask, SHORT_FIXED_ONE)) << cell.first;
		block(cell.first, cell.second, false, false);
	}
	EXPECT_TRUE(valid_straight_line_path(&from, &to, mask, SHORT_FIXED_ONE));
	get_path_test_hooks()->record_walks = FALSE;
}

namespace
{
// The cells a walk looks at, in order (the hook keeps the first 64).
struct walked_cells
{
	int32 count = 0;
	int32 x[64], y[64];
	void push_back(std::pair<int32, int32> cell)
	{
		if (count < 64)
		{
			x[count] = cell.first;
			y[count] = cell.second;
		}
		count += 1;
	}
};

// The straight-line walk as first written: each boundary distance multiplied
// out afresh at every step. Records every cell it looks at, as the hook does.
void reference_walk(const world_point2d *p0, const world_point2d *p1, walked_cells &cells)
{
	int32 cx = p0->x >> WORLD_FRACTIONAL_BITS, cy = p0->y >> WORLD_FRACTIONAL_BITS;
	const int32 ex = p1->x >> WORLD_FRACTIONAL_BITS, ey = p1->y >> WORLD_FRACTIONAL_BITS;
	cells.push_back({cx, cy});
	const int64 dx = static_cast<int64>(p1->x) - p0->x, dy = static_cast<int64>(p1->y) - p0->y;
	const int32 sx = dx > 0 ? 1 : (dx < 0 ? -1 : 0), sy = dy > 0 ? 1 : (dy < 0 ? -1 : 0);
	const int64 adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
	int32 guard = std::abs(ex - cx) + std::abs(ey - cy) + 2;
	while ((cx != ex || cy != ey) && guard-- > 0)
	{
		if (sy == 0 || (cy == ey && sx != 0)) cx += sx;
		else if (sx == 0 || cx == ex) cy += sy;
		else
		{
			const int64 bx = static_cast<int64>(cx + (sx > 0)) * WORLD_ONE - p0->x;
			const int64 by = static_cast<int64>(cy + (sy > 0)) * WORLD_ONE - p0->y;
			const int64 tx = (bx < 0 ? -bx : bx) * ady, ty = (by < 0 ? -by : by) * adx;
			if (tx < ty) cx += sx;
			else if (ty < tx) cy += sy;
			else
			{
				cells.push_back({cx + sx, cy});
				cells.push_back({cx, cy + sy});
				cx += sx;
				cy += sy;
			}
		}
		cells.push_back({cx, cy});
	}
}
} // namespace

// The walk keeps its boundary distances by adding a cell's width per step: the
// cells it looks at, and their order, must be those of the products reckoned
// afresh, for steep, flat, axis-aligned and corner-crossing segments alike.
TEST_F(path, the_straight_line_walk_looks_at_the_cells_the_products_give)
{
	load(6, 6);
	uint64 state = 0x2545F4914F6CDD1Dull;
	auto next = [&state](int32 low, int32 high) {
		state ^= state << 13;
		state ^= state >> 7;
		state ^= state << 17;
		return low + static_cast<int32>(state % static_cast<uint64>(high - low + 1));
	};
	int32 corner_ties = 0;
	const int32 cases = 1000000;
	get_path_test_hooks()->record_walks = TRUE;
	for (int32 i = 0; i < cases; ++i)
	{
		const int32 kind = i % 4;
		world_point2d a = {next(40 * WORLD_ONE, 150 * WORLD_ONE), next(40 * WORLD_ONE, 150 * WORLD_ONE)};
		const int32 span = kind == 0 ? 3 * WORLD_ONE : 14 * WORLD_ONE;
		world_point2d b = {a.x + next(-span, span), a.y + next(-span, span)};
		if (kind == 1) b.y = a.y + (i & 8 ? 0 : next(-2, 2)); // flat
		if (kind == 2)
		{
			// Cell corners and centres: slopes through corners tie.
			a = {next(40, 150) * WORLD_ONE + (i & 16 ? WORLD_ONE_HALF : 0), next(40, 150) * WORLD_ONE};
			b = {a.x + next(-14, 14) * WORLD_ONE, a.y + next(-14, 14) * WORLD_ONE};
		}
		if (kind == 3 && (i & 4)) std::swap(a, b);
		if (!valid_straight_line_path(&a, &b, 0, 0)) FAIL() << "blocked: " << a.x << "," << a.y << " " << b.x << "," << b.y;
		walked_cells expected;
		reference_walk(&a, &b, expected);
		const path_test_hooks_data *hooks = get_path_test_hooks();
		bool same = hooks->walked_count == MIN(expected.count, 64);
		for (int32 k = 0; same && k < hooks->walked_count; ++k)
		{
			same = hooks->walked_x[k] == expected.x[k] && hooks->walked_y[k] == expected.y[k];
		}
		if (!same) FAIL() << "walks differ: " << a.x << "," << a.y << " " << b.x << "," << b.y;
		const int32 dx = std::abs((b.x >> WORLD_FRACTIONAL_BITS) - (a.x >> WORLD_FRACTIONAL_BITS));
		const int32 dy = std::abs((b.y >> WORLD_FRACTIONAL_BITS) - (a.y >> WORLD_FRACTIONAL_BITS));
		corner_ties += expected.count > dx + dy + 1 ? 1 : 0;
	}
	EXPECT_GT(corner_ties, cases / 100);
}

// The visited set is stamped per search and cleared only when the stamp
// wraps. A search asked again after 254 searches elsewhere meets its own
// stamp once more, and must not take its old cells for visited.
TEST_F(path, searches_repeated_across_the_visited_stamps_wrap_give_the_same_answers)
{
	load(6, 6);
	for (int32 y = 50; y <= 70; ++y) block(80, y); // a wall to walk round
	struct answer
	{
		world_point2d waypoint;
		int32 used, expanded;
		std::vector<int32> cells;
	};
	auto ask = [this](world_point2d p0, world_point2d p1) {
		path_variables v;
		int16 index = search(p0, p1, &v);
		if (index < 0) return answer{{-1, -1}, -1, -1, {}};
		const path_test_hooks_data *hooks = get_path_test_hooks();
		answer result = {get_path_data(index)->waypoint, hooks->nodes_used, hooks->nodes_expanded, {}};
		for (int32 k = 0; k < hooks->expanded_count; ++k) result.cells.push_back(hooks->expanded_y[k] * 256 + hooks->expanded_x[k]);
		delete_path(&index);
		return result;
	};
	const answer first = ask(centre_of(70, 60), centre_of(90, 60));
	EXPECT_GT(first.expanded, 20);
	for (int32 round = 0; round < 4; ++round)
	{
		// Far from the wall: these searches touch none of its cells.
		for (int32 k = 0; k < 254; ++k) ask(centre_of(20 + k % 5, 150), centre_of(30, 160 + k % 7));
		const answer again = ask(centre_of(70, 60), centre_of(90, 60));
		ASSERT_EQ(again.waypoint.x, first.waypoint.x) << round;
		ASSERT_EQ(again.waypoint.y, first.waypoint.y) << round;
		ASSERT_EQ(again.used, first.used) << round;
		ASSERT_EQ(again.expanded, first.expanded) << round;
		ASSERT_EQ(again.cells, first.cells) << round;
	}
}

// A search between cells joined by the octile walk may be answered without
// the open list. Random pairs, mostly near each other (some past the box), on
// a map of walls, single closed triangles and a burning block, at modifiers of
// every sign, each asked with and without the walk: the same answer, the same
// cells expanded in the same order.
TEST_F(path, the_direct_walk_answers_as_the_full_search)
{
	load(6, 6); // 192 x 192 cells
	uint64 state = 0x2545F4914F6CDD1Dull;
	auto next = [&state](uint32 n) {
		state ^= state << 13;
		state ^= state >> 7;
		state ^= state << 17;
		return static_cast<int32>(state % n);
	};
	for (int32 k = 0; k < 2400; ++k) block(next(192), next(192), next(3) != 0, next(3) != 1);
	light_fires(100, 100, 107, 115); // 128 burning cells
	path_test_hooks_data *hooks = get_path_test_hooks();
	hooks->override_magical_modifier = TRUE;
	const short_fixed modifiers[] = {0, SHORT_FIXED_ONE, 1, -SHORT_FIXED_ONE};
	struct answer
	{
		int16 index;
		world_point2d waypoint, p1;
		uint16 flags, path_flags;
		int32 expanded;
		std::vector<int32> cells;
	};
	auto ask = [&](world_point2d p0, world_point2d p1, boolean full) {
		hooks->full_searches_only = full;
		path_variables v;
		int16 index = search(p0, p1, &v);
		answer a = {index, {}, v.p1, v.flags, 0, hooks->nodes_expanded, {}};
		if (index >= 0)
		{
			a.waypoint = get_path_data(index)->waypoint;
			a.path_flags = get_path_data(index)->flags;
		}
		for (int32 k = 0; k < hooks->expanded_count; ++k) a.cells.push_back(hooks->expanded_y[k] * 256 + hooks->expanded_x[k]);
		delete_path(&index);
		return a;
	};
#ifdef NDEBUG
	const int32 pairs = 1000000;
#else
	const int32 pairs = 100000; // the sanitizer tree's share
#endif
	for (int32 i = 0; i < pairs; ++i)
	{
		const boolean by_fire = next(4) == 0;
		const int32 x0 = by_fire ? 92 + next(24) : next(192), y0 = by_fire ? 92 + next(32) : next(192);
		const int32 reach = next(16) == 0 ? 90 : 1 + next(14);
		int32 x1 = PIN(x0 + next(2 * reach + 1) - reach, 0, 191), y1 = PIN(y0 + next(2 * reach + 1) - reach, 0, 191);
		if (next(4) == 0)
		{
			if (next(2)) x1 = x0; // along an axis
			else y1 = y0;
		}
		const world_point2d p0 = {x0 * WORLD_ONE + next(WORLD_ONE), y0 * WORLD_ONE + next(WORLD_ONE)};
		const world_point2d p1 = {x1 * WORLD_ONE + next(WORLD_ONE), y1 * WORLD_ONE + next(WORLD_ONE)};
		hooks->magical_modifier = modifiers[next(4)];
		const answer full = ask(p0, p1, TRUE);
		const answer fast = ask(p0, p1, FALSE);
		const bool same = full.index == fast.index && full.waypoint.x == fast.waypoint.x &&
			full.waypoint.y == fast.waypoint.y && full.p1.x == fast.p1.x && full.p1.y == fast.p1.y &&
			full.flags == fast.flags && full.path_flags == fast.path_flags && full.expanded == fast.expanded &&
			full.cells == fast.cells;
		if (!same) FAIL() << "(" << x0 << ", " << y0 << ") to (" << x1 << ", " << y1 << ") modifier " << hooks->magical_modifier;
	}
	// Most near pairs are walks: the comparison has cases to bite on.
	EXPECT_GT(hooks->direct_walks, pairs / 3);
}

// The estimate is reckoned as 8 (max + ax + ay): it must equal the longer
// axis at 16 a cell plus half the shorter at 16, pinned at 32767, for every
// cell distance up to past the pin and for far, mixed-sign coordinates.
TEST(path_estimate, equals_the_axis_costs_it_replaces)
{
	auto written = [](int32 x, int32 y, int32 x1, int32 y1) {
		const int32 dx = std::abs(x - x1) * COST_PER_CELL, dy = std::abs(y - y1) * COST_PER_CELL;
		return static_cast<int16>(MIN(MAX(dx, dy) + MIN(dx, dy) / 2, 32767));
	};
	for (int32 ax = 0; ax <= 2100; ++ax)
	{
		for (int32 ay = 0; ay <= 2100; ++ay)
		{
			const int32 x1 = 3000 + (ax & 7), y1 = 3000 - (ay & 5);
			const int32 x = (ax & 1) ? x1 + ax : x1 - ax, y = (ay & 2) ? y1 + ay : y1 - ay;
			if (path_cost_estimate(x, y, x1, y1) != written(x, y, x1, y1)) FAIL() << ax << " " << ay;
		}
	}
	uint64 state = 0x9E3779B97F4A7C15ull;
	auto next = [&state]() {
		state ^= state << 13;
		state ^= state >> 7;
		state ^= state << 17;
		return static_cast<int32>(state % 65536u) - 32768;
	};
	for (int32 i = 0; i < 1000000; ++i)
	{
		const int32 x = next(), y = next(), x1 = next(), y1 = next();
		if (path_cost_estimate(x, y, x1, y1) != written(x, y, x1, y1)) FAIL() << x << " " << y << " " << x1 << " " << y1;
	}
}

// The search reads the terrain through tables kept per mask: whatever masks
// were asked before (neighbours in the cache or not), every mask answers each
// flag byte as its own bits do, and the high flag bits play no part.
TEST(path_triangle_tables, every_mask_answers_every_flag_byte_as_its_bits)
{
	for (uint32 pass = 0; pass < 2; ++pass)
	{
		for (uint32 m = 0; m < 65536; ++m)
		{
			const uint16 mask = static_cast<uint16>(pass == 0 ? m : (m * 40503u + 7u) & 0xFFFFu);
			for (uint32 low = 0; low < 256; ++low)
			{
				const uint16 flags = static_cast<uint16>(low | ((m * 13u) & 0xFF00u));
				const uint32 either = ((mask >> (flags & 15)) | (mask >> ((flags >> 4) & 15))) & 1;
				const uint32 expected = ((mask >> (flags & 15)) & 1) | (((mask >> ((flags >> 4) & 15)) & 1) << 1);
				const uint8 got = triangles_blocked_by_mask(flags, mask);
				if (got != expected || (got != 0) != (either != 0))
				{
					FAIL() << "mask " << mask << " flags " << flags << ": " << int32(got) << " not " << expected;
				}
			}
		}
	}
}

TEST_F(path, smoothing_keeps_a_blocked_first_candidate_and_appends_only_complete_destinations)
{
	load(6, 6);
	// A diagonal run whose line from the start grazes the closed cell beside
	// its first corner: the end cell itself is kept, not the destination.
	block(11, 10);
	const world_point2d p1 = {14 * WORLD_ONE + 100, 14 * WORLD_ONE + 100};
	path_variables v;
	int16 index = search(centre_of(10, 10), p1, &v);
	ASSERT_GE(index, 0);
	EXPECT_EQ(get_path_data(index)->waypoint.x, centre_of(14, 14).x);
	delete_path(&index);
	block(11, 10, false, false);
	index = search(centre_of(10, 10), p1, &v);
	EXPECT_EQ(get_path_data(index)->waypoint.x, p1.x);
	delete_path(&index);

	// A partial path never ends on the unreachable destination.
	index = search(centre_of(10, 10), centre_of(180, 12), &v);
	EXPECT_TRUE(v.flags & _partial_path_flag);
	EXPECT_NE(get_path_data(index)->waypoint.x, centre_of(180, 12).x);
	EXPECT_LE(get_path_test_hooks()->corner_count, MAXIMUM_TEMPORARY_WAYPOINTS - 1);
	delete_path(&index);
}

TEST_F(path, a_lone_destination_stops_at_a_model_cell)
{
	load(6, 6);
	mesh_cell *cell = get_mesh_cell(19, 10);
	cell->model_index = 0;
	cell->flags = static_cast<uint16>((cell->flags & ~0xFF) | walking_impassable);
	path_variables v;
	int16 index = search(centre_of(10, 10), centre_of(20, 10), &v, 0);
	ASSERT_GE(index, 0);
	EXPECT_FALSE(v.flags & _partial_path_flag);
	EXPECT_NEAR(get_path_data(index)->waypoint.x, 19 * WORLD_ONE, 1);
	EXPECT_EQ(get_path_data(index)->waypoint.y, centre_of(20, 10).y);
	delete_path(&index);
	cell->model_index = NONE;
}

TEST_F(path, the_scan_box_lies_ahead_of_the_facing)
{
	load(6, 6);
	int32 x0, y0;
	get_obstacle_scan_origin(50, 50, 0, &x0, &y0);
	EXPECT_EQ(x0, 46);
	EXPECT_EQ(y0, 42);
	get_obstacle_scan_origin(50, 50, 32768, &x0, &y0);
	EXPECT_EQ(x0, 38);
	EXPECT_EQ(y0, 42);
	get_obstacle_scan_origin(50, 50, 16384, &x0, &y0);
	EXPECT_EQ(x0, 42);
	EXPECT_EQ(y0, 46);
	get_obstacle_scan_origin(50, 50, 49152, &x0, &y0);
	EXPECT_EQ(x0, 42);
	EXPECT_EQ(y0, 38);
	get_obstacle_scan_origin(2, 3, 32768, &x0, &y0);
	EXPECT_EQ(x0, 0);
	EXPECT_EQ(y0, 0);
	get_obstacle_scan_origin(190, 189, 0, &x0, &y0);
	EXPECT_EQ(x0, 192 - 16);
	EXPECT_EQ(y0, 192 - 16);
}

#ifdef PATH_TEST_COUNTS_ALLOCATIONS
namespace
{
volatile int32 allocations_seen = 0;
volatile bool counting_allocations = false;
void count_allocation(const volatile void *, size_t)
{
	if (counting_allocations) allocations_seen = allocations_seen + 1;
}
void ignore_free(const volatile void *) {}
} // namespace
#endif

TEST_F(path, searches_allocate_nothing)
{
#ifdef PATH_TEST_COUNTS_ALLOCATIONS
	static const bool installed = __sanitizer_install_malloc_and_free_hooks(count_allocation, ignore_free) != 0;
	ASSERT_TRUE(installed);
	load(6, 6);
	for (int16 d = 0; d < NUMBER_OF_DIRECTIONS; ++d) block(90 + direction_delta_x[d], 60 + direction_delta_y[d]);
	allocations_seen = 0;
	counting_allocations = true;
	for (int32 i = 0; i < 1000; ++i)
	{
		path_variables v = {};
		v.terrain_impassability_flags = mask;
		v.p0 = centre_of(60 + (i % 7), 60);
		v.p1 = centre_of(i % 2 ? 90 : 120, 60 + (i % 5));
		int16 index = new_path(NONE, &v);
		delete_path(&index);
		adjust_path_destination_for_obstacles(static_cast<int16>(i % 3));
	}
	counting_allocations = false;
	EXPECT_EQ(allocations_seen, 0);
#else
	GTEST_SKIP() << "allocation counting needs the sanitizer allocator";
#endif
}
