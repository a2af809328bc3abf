// Movement and collision on the flat object test map.
#include <cstring>

#include "objects_test_support.h"

#include "monster_commands.h"
#include "monster_definitions.h"
#include "monsters.h"

namespace {

TEST(monster_movement_speed, charging_bonus_in_extended_precision)
{
	EXPECT_EQ(charging_speed_bonus(900, 13), 116);
	EXPECT_EQ(charging_speed_bonus(1700, 13), 220);
	EXPECT_EQ(charging_speed_bonus(100, 29), 29);
	EXPECT_EQ(charging_speed_bonus(700, 57), 399);
	EXPECT_EQ(charging_speed_bonus(1080, 0), 216);
	EXPECT_EQ(charging_speed_bonus(1080, -5), 216);
	EXPECT_EQ(900 + charging_speed_bonus(900, 13), 1016);
}

class monster_movement_terrain : public objects_test_map
{
protected:
	void set_cell(int32 x, int32 y, int16 first, int16 second)
	{
		mesh_cell *cell = get_mesh_cell(x, y);
		ASSERT_NE(cell, nullptr);
		cell->flags = static_cast<uint16>((cell->flags & ~CELL_TERRAIN_MASK) | (first << 4) | second);
	}
	static constexpr uint16 water_mask = 1u << _terrain_media_deep;
};

TEST_F(monster_movement_terrain, impassability_flags_follow_parity_and_clamp_at_the_edge)
{
	// Even cell (10, 10): bit 16 is the first triangle (next nibble) of (10, 9).
	set_cell(10, 9, _terrain_media_deep, _terrain_grass);
	world_point2d p = {10 * WORLD_ONE + 100, 10 * WORLD_ONE + 100};
	EXPECT_EQ(build_cell_impassability_flags(water_mask, &p), 16);
	// Bit 64 is the low nibble of (10, 11).
	set_cell(10, 9, _terrain_grass, _terrain_grass);
	set_cell(10, 11, _terrain_grass, _terrain_media_deep);
	EXPECT_EQ(build_cell_impassability_flags(water_mask, &p), 64);

	// Odd cell (11, 10): bit 1 is its own next nibble, bit 128 the next nibble of (12, 10).
	set_cell(10, 11, _terrain_grass, _terrain_grass);
	set_cell(11, 10, _terrain_media_deep, _terrain_grass);
	set_cell(12, 10, _terrain_media_deep, _terrain_grass);
	p = {11 * WORLD_ONE + 100, 10 * WORLD_ONE + 100};
	EXPECT_EQ(build_cell_impassability_flags(water_mask, &p), 1 | 128);

	// At the map's corner the cell used is (1, 1).
	set_cell(1, 1, _terrain_media_deep, _terrain_media_deep);
	p = {0, 0};
	EXPECT_EQ(build_cell_impassability_flags(water_mask, &p), 3);
	// Bits 4 and 8 are never set.
	for (int32 y = 0; y < 4; ++y)
	{
		for (int32 x = 0; x < 4; ++x) set_cell(x, y, _terrain_media_deep, _terrain_media_deep);
	}
	EXPECT_EQ(build_cell_impassability_flags(water_mask, &p) & 12, 0);
}

TEST_F(monster_movement_terrain, obstructed_model_cells_and_indoor_cells)
{
	world_rectangle2d rectangles[4];
	int16 count = 0;
	get_mesh_cell(5, 6)->model_index = 0;
	set_cell(5, 6, _terrain_walking_impassable, _terrain_grass);
	report_obstructed_cell_bounds(5, 6, rectangles, &count, 64);
	ASSERT_EQ(count, 1);
	EXPECT_EQ(rectangles[0].x0, 5 * WORLD_ONE - 64);
	EXPECT_EQ(rectangles[0].y1, 7 * WORLD_ONE + 64);
	set_cell(5, 6, _terrain_grass, _terrain_grass);
	report_obstructed_cell_bounds(5, 6, rectangles, &count, 64);
	EXPECT_EQ(count, 1) << "a passable model cell does not obstruct";
	report_obstructed_cell_bounds(-1, 6, rectangles, &count, 64);
	EXPECT_EQ(count, 1);
	get_mesh_cell(5, 6)->model_index = NONE;

	set_cell(7, 7, _terrain_grass, _terrain_flying_impassable);
	EXPECT_TRUE(indoor_cell_obstruction_proc(7, 7, nullptr));
	EXPECT_FALSE(indoor_cell_obstruction_proc(8, 7, nullptr));
}

TEST_F(monster_movement_terrain, ground_tests_use_length_and_pitch_and_survive_a_vertical_pitch)
{
	const world_point3d from = {4000, 4000, 100}, to = {9000, 4000, 100};
	boolean obstructed = TRUE;
	EXPECT_FALSE(check_for_ground_obstruction(&from, &to, 0, &obstructed, nullptr));
	EXPECT_FALSE(obstructed);
	// Pointing at the ground: the first sample past the start is below it.
	EXPECT_TRUE(check_for_ground_obstruction(&from, &to, static_cast<angle>(65536 - 8192), &obstructed, nullptr));
	EXPECT_TRUE(obstructed);
	// Straight up and straight down: only the start is tested, nothing divides by zero.
	EXPECT_FALSE(check_for_ground_obstruction(&from, &to, 32768, &obstructed, nullptr));
	const world_point3d below = {4000, 4000, -100};
	EXPECT_TRUE(check_for_ground_obstruction(&below, &to, 32768, &obstructed, nullptr));
}

}
