// Bending a unit's next waypoint around what stands ahead of it: units built
// directly in the record arrays on a flat map.
#include <algorithm>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "definitions.h"
#include "mesh_test_map.h"
#include "monster_definitions.h"
#include "monsters.h"
#include "objects.h"
#include "path.h"

namespace
{
class path_avoidance : public mesh_test_directory
{
protected:
	int16 kind = NONE;

	void SetUp() override
	{
		mesh_test_directory::SetUp();
		test_map map(6, 6);
		ASSERT_TRUE(map.load());
		initialize_pathfinding();
		initialize_pathfinding_for_new_map();
		initialize_data(&object_array);
		initialize_data_for_new_map(&object_array);
		initialize_data(&monster_array);
		initialize_data_for_new_map(&monster_array);
		initialize_monster_definitions();
		initialize_definitions_for_new_map(get_monster_definitions());
		monster_definition d = *get_default_monster_definition();
		d.pathfinding_radius = 64;
		d.size = 1;
		d.flags = 0;
		d.more_hack_flags = 0;
		d.terrain_impassability_flags = static_cast<uint16>(FLAG(_terrain_walking_impassable));
		kind = new_definition_for_group(get_monster_definitions(), MONSTER_DEFINITION_GROUP_TAG, TAG("test"), NONE, &d);
		ASSERT_NE(kind, NONE);
	}
	void TearDown() override
	{
		dispose_definitions_from_old_map(get_monster_definitions());
		dispose_data_from_old_map(&monster_array);
		dispose_data_from_old_map(&object_array);
		dispose_pathfinding_from_old_map();
		mesh_test_directory::TearDown();
	}

	// A unit facing yaw at p, standing in its cell's chain.
	int16 unit(world_point2d p, angle yaw, int8 action = _monster_action_idle, int8 team = 0)
	{
		const int16 object_index = new_datum(&object_array);
		const int16 monster_index = new_datum(&monster_array);
		object_data *object = get_object_data(object_index);
		object->flags = _object_is_solid_flag;
		object->location.position = {p.x, p.y, 0};
		object->location.yaw = yaw;
		object->radius = 100;
		object->owner = _object_is_monster;
		object->owner_index = monster_index;
		mesh_cell *cell = get_mesh_cell(p.x >> WORLD_FRACTIONAL_BITS, p.y >> WORLD_FRACTIONAL_BITS);
		object->next_object_index = cell->first_object_index;
		cell->first_object_index = object_index;
		rebuild_object_cell_occupancy();
		monster_data *monster = get_monster_data(monster_index);
		monster->type = kind;
		monster->object_index = object_index;
		monster->path_index = NONE;
		monster->avoiding_object_index = NONE;
		monster->target_monster_index = NONE;
		monster->desired_yaw = yaw;
		monster->action = action;
		monster->owner_team_index = team;
		monster->base_movement_speed = 100;
		return monster_index;
	}
	// Gives the unit a path whose waypoint is w.
	void head_for(int16 monster_index, world_point2d w)
	{
		monster_data *monster = get_monster_data(monster_index);
		monster->path_index = new_datum(&path_array);
		get_path_data(monster->path_index)->waypoint = w;
	}
};
} // namespace

TEST_F(path_avoidance, near_and_far_destinations)
{
	const int16 u = unit({50000, 50000}, 0);
	monster_data *monster = get_monster_data(u);
	// Without a path the unit stays where it is.
	adjust_path_destination_for_obstacles(u);
	EXPECT_EQ(monster->path_destination.x, 50000);

	monster->flags |= _monster_has_obstructed_path_flag;
	head_for(u, {50100, 50100});
	adjust_path_destination_for_obstacles(u);
	EXPECT_EQ(monster->path_destination.x, 50100);
	EXPECT_FALSE(monster->flags & _monster_has_obstructed_path_flag);

	// With a target index the near square reaches 511.
	monster->flags |= _monster_has_obstructed_path_flag | _monster_has_valid_target_index_flag;
	get_path_data(monster->path_index)->waypoint = {50511, 49489};
	adjust_path_destination_for_obstacles(u);
	EXPECT_FALSE(monster->flags & _monster_has_obstructed_path_flag);
	monster->flags &= ~static_cast<uint32>(_monster_has_valid_target_index_flag);

	// 10000 away on a 3-4-5 line becomes 8192 away on the same line.
	monster->flags |= _monster_has_obstructed_path_flag;
	get_path_data(monster->path_index)->waypoint = {50000 + 6000, 50000 + 8000};
	adjust_path_destination_for_obstacles(u);
	EXPECT_EQ(monster->path_destination.x, 50000 + 6000 * 8192 / 10000);
	EXPECT_EQ(monster->path_destination.y, 50000 + 8000 * 8192 / 10000);
	// Nothing in the way leaves the flags as they were.
	EXPECT_TRUE(monster->flags & _monster_has_obstructed_path_flag);
	EXPECT_EQ(monster->avoiding_object_index, NONE);
}

TEST_F(path_avoidance, a_unit_in_the_way_bends_the_destination)
{
	const int16 u = unit({50000, 50000}, 0);
	const int16 blocker = unit({51000, 50000}, 16384);
	head_for(u, {53000, 50000});
	adjust_path_destination_for_obstacles(u);
	const monster_data *monster = get_monster_data(u);
	const auto list = get_obstruction_avoidance_globals; // the list made whole, asked after each adjustment
	ASSERT_EQ(list()->obstacle_count, 1);
	EXPECT_EQ(list()->obstacles[0].object_index, get_monster_data(blocker)->object_index);
	EXPECT_NE(monster->path_destination.y, 50000);
	EXPECT_EQ(monster->avoiding_object_index, get_monster_data(blocker)->object_index);
	EXPECT_TRUE(monster->flags & _monster_has_obstructed_path_flag);
	// Equal-sized detours on each side: the right (south, for a unit facing east) wins ties.
	EXPECT_LT(monster->path_destination.y, 50000);
	EXPECT_FALSE(monster->extra_flags & _monster_deviating_left_extra_flag);

	// A unit pausing for another to move is never in the way.
	get_object_data(get_monster_data(blocker)->object_index)->flags |= _object_pausing_for_obstacle_to_move_flag;
	adjust_path_destination_for_obstacles(u);
	EXPECT_EQ(list()->obstacle_count, 0);
	get_object_data(get_monster_data(blocker)->object_index)->flags &= ~_object_pausing_for_obstacle_to_move_flag;

	// With a target and the waypoint within reach the waypoint is kept as it
	// is, and the list, asked for, still holds what stands in the box.
	get_monster_data(u)->flags |= _monster_has_valid_target_index_flag;
	get_path_data(monster->path_index)->waypoint = {50500, 50000};
	adjust_path_destination_for_obstacles(u);
	EXPECT_EQ(monster->path_destination.x, 50500);
	EXPECT_EQ(monster->path_destination.y, 50000);
	EXPECT_FALSE(monster->flags & _monster_has_obstructed_path_flag);
	ASSERT_EQ(list()->obstacle_count, 1);
	EXPECT_EQ(list()->obstacles[0].object_index, get_monster_data(blocker)->object_index);
}

TEST_F(path_avoidance, slow_allied_walkers_ahead_count_only_close_by)
{
	game_play_version = 1500;
	const int16 u = unit({50000, 50000}, 0, _monster_action_moving);
	const int16 near = unit({50900, 50000}, 1000, _monster_action_moving);
	const int16 far = unit({52000, 50300}, 1000, _monster_action_moving);
	get_monster_data(near)->base_movement_speed = 50;
	get_monster_data(far)->base_movement_speed = 50;
	head_for(u, {53000, 50000});
	adjust_path_destination_for_obstacles(u);
	const auto list = get_obstruction_avoidance_globals; // the list made whole, asked after each adjustment
	ASSERT_EQ(list()->obstacle_count, 1);
	EXPECT_EQ(list()->obstacles[0].object_index, get_monster_data(near)->object_index);
	EXPECT_TRUE(list()->obstacles[0].flags & _obstacle_is_temporary_flag);
	EXPECT_TRUE(list()->obstacles[0].flags & _obstacle_is_friendly_monster_flag);

	// As fast or faster: never an obstacle.
	get_monster_data(near)->base_movement_speed = 100;
	adjust_path_destination_for_obstacles(u);
	EXPECT_EQ(list()->obstacle_count, 0);

	// Sizes 0 and 1 never meet; idle units needing a path and invisible ones are passed.
	get_monster_data(near)->base_movement_speed = 50;
	get_monster_data(near)->extra_flags |= _monster_is_invisible_extra_flag;
	adjust_path_destination_for_obstacles(u);
	EXPECT_EQ(list()->obstacle_count, 0);
}

TEST_F(path_avoidance, pull_back_out_of_a_standing_unit_and_closed_side_points)
{
	const int16 u = unit({50000, 50000}, 0);
	unit({51500, 50000}, 0);
	monster_data *monster = get_monster_data(u);
	// The waypoint on the other unit: pulled back by tenths until outside its
	// circle (64 + 64 + 95): 9/10 is still inside, 8/10 is not.
	head_for(u, {51500, 50000});
	adjust_path_destination_for_obstacles(u);
	EXPECT_EQ(monster->path_destination.x, 51200);
	EXPECT_EQ(monster->path_destination.y, 50000);

	// Both detour points on terrain the kind may not enter: obstructed, destination kept.
	get_path_data(monster->path_index)->waypoint = {54000, 50000};
	for (int32 x = 90; x < 115; ++x)
	{
		for (int32 y : {95, 96, 98, 99})
		{
			mesh_cell *cell = get_mesh_cell(x, y);
			cell->flags = static_cast<uint16>((cell->flags & ~0xFF) | _terrain_walking_impassable);
		}
	}
	monster->flags &= ~static_cast<uint32>(_monster_has_obstructed_path_flag);
	adjust_path_destination_for_obstacles(u);
	EXPECT_TRUE(monster->flags & _monster_has_obstructed_path_flag);
	EXPECT_EQ(monster->path_destination.x, 54000);
	EXPECT_EQ(monster->path_destination.y, 50000);
}

TEST_F(path_avoidance, a_unit_meeting_the_same_obstacle_again_keeps_its_side)
{
	const int16 u = unit({50000, 50000}, 0);
	const int16 blocker = unit({50600, 50000}, 16384);
	monster_data *monster = get_monster_data(u);
	head_for(u, {53000, 50000});
	adjust_path_destination_for_obstacles(u);
	const bool first_left = monster->path_destination.y > 50000;
	ASSERT_EQ(monster->avoiding_object_index, get_monster_data(blocker)->object_index);

	// Close to the obstacle it avoided last time, it stays on the side it took.
	for (const bool left : {true, false, true})
	{
		if (left) monster->extra_flags |= _monster_deviating_left_extra_flag;
		else monster->extra_flags &= ~static_cast<uint32>(_monster_deviating_left_extra_flag);
		adjust_path_destination_for_obstacles(u);
		EXPECT_TRUE(get_obstruction_avoidance_globals()->avoiding_same_object_again);
		EXPECT_EQ(monster->path_destination.y > 50000, left) << first_left;
	}
	// Before the rule existed the angles decide again.
	game_play_version = 1300;
	monster->extra_flags |= _monster_deviating_left_extra_flag;
	adjust_path_destination_for_obstacles(u);
	EXPECT_EQ(monster->path_destination.y > 50000, first_left);
}

TEST_F(path_avoidance, look_ahead_movers_only_weigh_units_within_reach)
{
	const int16 u = unit({50000, 50000}, 0);
	const int16 far = unit({52500, 50000}, 16384);
	head_for(u, {56000, 50000});
	const auto list = get_obstruction_avoidance_globals; // the list made whole, asked after each adjustment
	const int16 far_object = get_monster_data(far)->object_index;

	// 2500 apart less both radii is beyond 1536: only units that look ahead pass it.
	game_play_version = 1600;
	adjust_path_destination_for_obstacles(u);
	ASSERT_EQ(list()->obstacle_count, 1);
	game_play_version = 1601;
	adjust_path_destination_for_obstacles(u);
	EXPECT_EQ(list()->obstacle_count, 0);
	// A unit that ignores orders does not look ahead.
	get_monster_data(u)->flags |= _monster_ignores_user_commands_flag;
	adjust_path_destination_for_obstacles(u);
	EXPECT_EQ(list()->obstacle_count, 1);
	get_monster_data(u)->flags &= ~static_cast<uint32>(_monster_ignores_user_commands_flag);
	// Walking around blockages keeps far units in view.
	get_monster_definition(kind)->more_hack_flags |= _hack_walks_around_blockage_flag;
	adjust_path_destination_for_obstacles(u);
	EXPECT_EQ(list()->obstacle_count, 1);
	get_monster_definition(kind)->more_hack_flags = 0;
	// Within reach it counts.
	object_data *object = get_object_data(far_object);
	object->location.position.x = 51500;
	adjust_path_destination_for_obstacles(u);
	ASSERT_EQ(list()->obstacle_count, 1);
	EXPECT_EQ(list()->obstacles[0].object_index, far_object);
}

TEST_F(path_avoidance, oncoming_movers_are_kept_only_by_units_heading_west)
{
	const auto list = get_obstruction_avoidance_globals; // the list made whole, asked after each adjustment
	// Heading east into an allied unit walking west.
	const int16 east = unit({50000, 50000}, 0);
	const int16 oncoming = unit({51200, 50000}, 32768, _monster_action_moving);
	head_for(east, {56000, 50000});
	game_play_version = 1501;
	adjust_path_destination_for_obstacles(east);
	ASSERT_EQ(list()->obstacle_count, 1) << "nobody looks ahead or walks around";
	EXPECT_TRUE(list()->obstacles[0].flags & _obstacle_is_temporary_flag);
	get_monster_definition(kind)->more_hack_flags |= _hack_walks_around_blockage_flag;
	game_play_version = 1500;
	adjust_path_destination_for_obstacles(east);
	EXPECT_EQ(list()->obstacle_count, 1) << "before the rule";
	game_play_version = 1501;
	adjust_path_destination_for_obstacles(east);
	EXPECT_EQ(list()->obstacle_count, 0) << "a yaw below a half turn drops it";
	// An enemy is kept by a unit that only walks around allies...
	get_monster_data(oncoming)->owner_team_index = 1;
	adjust_path_destination_for_obstacles(east);
	EXPECT_EQ(list()->obstacle_count, 1);
	// ...and dropped by one that looks ahead.
	get_monster_definition(kind)->more_hack_flags = 0;
	game_play_version = 1601;
	adjust_path_destination_for_obstacles(east);
	EXPECT_EQ(list()->obstacle_count, 0);
	get_monster_data(oncoming)->owner_team_index = 0;

	// Heading west into a unit walking east: kept when the facings are a
	// quarter turn or more apart, dropped when pausing or nearly parallel.
	const int16 west = unit({60000, 50000}, 32768);
	const int16 other = unit({58800, 50000}, 0, _monster_action_moving);
	head_for(west, {54000, 50000});
	adjust_path_destination_for_obstacles(west);
	ASSERT_EQ(list()->obstacle_count, 1);
	EXPECT_EQ(list()->obstacles[0].object_index, get_monster_data(other)->object_index);
	// (An enemy, so that the rule for slower allies ahead stays out of it.)
	get_monster_data(other)->owner_team_index = 1;
	get_object_data(get_monster_data(other)->object_index)->location.yaw = 32768 - 16383;
	adjust_path_destination_for_obstacles(west);
	EXPECT_EQ(list()->obstacle_count, 0);
	get_object_data(get_monster_data(other)->object_index)->location.yaw = 32768 - 16384;
	adjust_path_destination_for_obstacles(west);
	EXPECT_EQ(list()->obstacle_count, 1);
	get_object_data(get_monster_data(other)->object_index)->location.yaw = 0;
	get_object_data(get_monster_data(other)->object_index)->flags |= _object_pausing_for_obstacle_to_move_flag;
	adjust_path_destination_for_obstacles(west);
	EXPECT_EQ(list()->obstacle_count, 0);
}

namespace
{
// Fixed-seed xorshift: the same inputs on every build.
struct bound_random
{
	uint64 state = 0x9E3779B97F4A7C15ull;
	int32 next(int32 low, int32 high)
	{
		state ^= state << 13;
		state ^= state >> 7;
		state ^= state << 17;
		return low + static_cast<int32>(state % static_cast<uint64>(static_cast<int64>(high) - low + 1));
	}
};

// The box test as first written, per circle: the step's box, reckoned once
// for all circles, must answer the same.
boolean box_per_circle(const world_point2d *start, const world_point2d *point, int32 m, const world_point2d *center,
	int32 big_r)
{
	if (big_r <= 0) return FALSE;
	const int64 dx = static_cast<int64>(point->x) - start->x, dy = static_cast<int64>(point->y) - start->y;
	if (big_r > 32766 || m <= 0 || (dx < 0 ? -dx : dx) > m || (dy < 0 ? -dy : dy) > m) return TRUE;
	const int64 low_x = start->x + MIN(dx, static_cast<int64>(0)) - big_r - 1;
	const int64 high_x = start->x + MAX(dx, static_cast<int64>(0)) + big_r;
	const int64 low_y = start->y + MIN(dy, static_cast<int64>(0)) - big_r - 1;
	const int64 high_y = start->y + MAX(dy, static_cast<int64>(0)) + big_r;
	return center->x > low_x - big_r && center->x < high_x + big_r && center->y > low_y - big_r &&
		center->y < high_y + big_r;
}
} // namespace

// The cheap box in front of each obstacle's avoidance test may only turn
// away what the test turns away: near misses round the box's edges, long and
// short segments, degenerate ones, radii at and beyond the distance range.
// The box spans 16 rows of a map whose rows take two and a half occupancy words.
TEST_F(path_avoidance, every_row_of_the_box_is_searched_and_a_broken_chain_ends_its_cell)
{
	const int16 saved_version = game_play_version;
	game_play_version = 1600;
	test_map map(5, 6);
	ASSERT_TRUE(map.load());
	ASSERT_EQ(mesh_globals->mesh_width % 64, 32);
	const int32 cx = 48, cy = 48;
	const auto centre = [](int32 cell) { return static_cast<world_distance>(cell * WORLD_ONE + WORLD_ONE / 2); };
	const int16 u = unit({centre(cx), centre(cy)}, 0);
	head_for(u, {centre(cx + 6), centre(cy)});
	// Facing east the box runs from 4 columns behind to 11 ahead, 8 rows up to 7 down.
	std::vector<int16> expected;
	for (int32 y = cy - 8; y <= cy + 7; ++y)
	{
		expected.push_back(get_monster_data(unit({centre(cx + 9 - (y & 3)), centre(y)}, 16384))->object_index);
	}
	const int16 outside = get_monster_data(unit({centre(cx), centre(cy + 8)}, 16384))->object_index;
	const auto list = get_obstruction_avoidance_globals; // the list made whole, asked after each adjustment
	const auto found = [list]() {
		std::vector<int16> objects;
		for (int16 i = 0; i < list()->obstacle_count; ++i) objects.push_back(list()->obstacles[i].object_index);
		std::sort(objects.begin(), objects.end());
		return objects;
	};
	adjust_path_destination_for_obstacles(u);
	EXPECT_EQ(found(), expected);

	// A chain running off the array, below it or into a free record ends there.
	object_data *last = get_object_data(expected.back());
	get_object_data(outside)->identifier = 0;
	for (const int16 broken : {static_cast<int16>(object_array.maximum_count), static_cast<int16>(-7), outside})
	{
		last->next_object_index = broken;
		adjust_path_destination_for_obstacles(u);
		EXPECT_EQ(found(), expected) << broken;
	}
	last->next_object_index = NONE;
	game_play_version = saved_version;
}

// Boxes across an occupancy word's edge and at the map's right edge (its last
// word half used): every column of the box and none beside it, row by row.
TEST_F(path_avoidance, boxes_across_a_word_edge_and_at_the_map_edge_find_their_columns_in_order)
{
	const int16 saved_version = game_play_version;
	game_play_version = 1600;
	test_map map(5, 6);
	ASSERT_TRUE(map.load());
	const auto centre = [](int32 cell) { return static_cast<world_distance>(cell * WORLD_ONE + WORLD_ONE / 2); };
	// Facing east the box runs from 4 columns behind to 11 ahead (pinned at the
	// map's edge), 8 rows up to 7 down; the boxes lie in rows apart.
	const int32 width = mesh_globals->mesh_width;
	for (const auto &[cx, cy] : {std::pair<int32, int32>{62, 10}, {68, 40}, {155, 70}})
	{
		const int32 x0 = MIN(cx - 4, width - 16);
		const int16 u = unit({centre(cx), centre(cy)}, 0);
		head_for(u, {centre(cx + 6), centre(cy)});
		std::vector<int16> expected;
		for (int32 y = cy - 8; y <= cy + 7; ++y)
		{
			const int32 between = x0 + 1 + y % 14; // 1..14 columns in
			for (const int32 x : {x0 - 1, x0, between, x0 + 15, x0 + 16})
			{
				if ((x == cx && y == cy) || x < 0 || x >= width) continue;
				const int16 other = get_monster_data(unit({centre(x), centre(y)}, 16384))->object_index;
				if (x >= x0 && x < x0 + 16) expected.push_back(other);
			}
		}
		adjust_path_destination_for_obstacles(u);
		std::vector<int16> found;
		const obstruction_avoidance_globals *list = get_obstruction_avoidance_globals();
		for (int16 i = 0; i < list->obstacle_count; ++i) found.push_back(list->obstacles[i].object_index);
		EXPECT_EQ(found, expected) << cx;
	}
	game_play_version = saved_version;
}

// The step's test as first written, through the world's closest point.
static boolean meets_as_first_written(const world_point2d *start, const world_point2d *point, int32 m,
	const world_point2d *center, int32 big_r)
{
	world_point2d end = *start;
	if (m != 0)
	{
		const int64 k = ((static_cast<int64>(big_r) + m) << 16) / m;
		end.x = static_cast<world_distance>(start->x + ((static_cast<int64>(point->x - start->x) * k) >> 16));
		end.y = static_cast<world_distance>(start->y + ((static_cast<int64>(point->y - start->y) * k) >> 16));
	}
	world_point2d closest;
	if (!closest_point_on_line_segment2d(center, start, &end, &closest)) return FALSE;
	return distance2d_below(&closest, center, big_r);
}

TEST(path_avoidance_bound, the_box_never_turns_away_a_circle_the_segment_meets)
{
	bound_random random;
	int64 met = 0, turned_away = 0;
	const int32 cases = 3000000;
	for (int32 i = 0; i < cases; ++i)
	{
		const int32 kind = i % 4;
		const int32 spread = kind == 0 ? 64 : (kind == 1 ? 2048 : (kind == 2 ? 12000 : 40000));
		const world_point2d start = {random.next(0, 140000), random.next(0, 140000)};
		const world_point2d point = {start.x + random.next(-spread, spread), start.y + random.next(-spread, spread)};
		const int32 big_r = i % 97 == 0 ? random.next(-5, 33000) : random.next(1, 1200);
		// Centres about the segment and just past the box's edges.
		const int32 reach = MAX(spread, 1) + 2 * MAX(big_r, 1) + 4;
		world_point2d center = {start.x + random.next(-reach, reach), start.y + random.next(-reach, reach)};
		if (i % 3 == 0)
		{
			const int32 edge = random.next(0, 3);
			const int32 slack = random.next(-3, 3);
			const int32 far = MAX(big_r, 0);
			const int32 low_x = MIN(start.x, point.x), high_x = MAX(start.x, point.x);
			const int32 low_y = MIN(start.y, point.y), high_y = MAX(start.y, point.y);
			if (edge == 0) center.x = low_x - 2 * far - 1 + slack;
			else if (edge == 1) center.x = high_x + 2 * far + slack;
			else if (edge == 2) center.y = low_y - 2 * far - 1 + slack;
			else center.y = high_y + 2 * far + slack;
		}
		const int32 m = distance2d(&start, &point);
		const boolean meets = avoidance_segment_meets_circle(&start, &point, m, &center, big_r);
		const boolean may = avoidance_segment_may_meet_circle(&start, &point, m, &center, big_r);
		if (meets != meets_as_first_written(&start, &point, m, &center, big_r))
		{
			FAIL() << "test differs: start " << start.x << "," << start.y << " point " << point.x << "," << point.y
				   << " centre " << center.x << "," << center.y << " big_r " << big_r;
		}
		met += meets ? 1 : 0;
		turned_away += may ? 0 : 1;
		if (may != box_per_circle(&start, &point, m, &center, big_r))
		{
			FAIL() << "box differs: start " << start.x << "," << start.y << " point " << point.x << "," << point.y
				   << " centre " << center.x << "," << center.y << " big_r " << big_r;
		}
		if (meets && !may)
		{
			FAIL() << "turned away: start " << start.x << "," << start.y << " point " << point.x << "," << point.y
				   << " centre " << center.x << "," << center.y << " big_r " << big_r;
		}
	}
	// Both answers occur often enough to mean something.
	EXPECT_GT(met, cases / 50);
	EXPECT_GT(turned_away, cases / 4);
}
