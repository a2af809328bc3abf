#include <gtest/gtest.h>

#include "directions.h"

namespace {

TEST(Directions, StepsAndCellOffsets)
{
	EXPECT_EQ(NUMBER_OF_DIAGONALS, 4);
	EXPECT_EQ(FIRST_ORTHOGONAL_DIRECTION, _direction_north);
	EXPECT_EQ(LAST_ORTHOGONAL_DIRECTION, 7);
	EXPECT_EQ(NUMBER_OF_DIRECTIONS, 8);
	EXPECT_EQ(_direction_none, 8);
	EXPECT_EQ(TOTAL_NUMBER_OF_DIRECTIONS, 9);

	// Every diagonal is the sum of its two neighbouring orthogonal steps.
	const int pairs[4][3] = {{_direction_northeast, _direction_north, _direction_east},
		{_direction_southeast, _direction_south, _direction_east},
		{_direction_southwest, _direction_south, _direction_west},
		{_direction_northwest, _direction_north, _direction_west}};
	for (const auto &pair : pairs)
	{
		EXPECT_EQ(direction_delta_x[pair[0]], direction_delta_x[pair[1]] + direction_delta_x[pair[2]]);
		EXPECT_EQ(direction_delta_y[pair[0]], direction_delta_y[pair[1]] + direction_delta_y[pair[2]]);
	}
	EXPECT_EQ(direction_delta_y[_direction_north], 1);
	EXPECT_EQ(direction_delta_x[_direction_east], 1);
	EXPECT_EQ(direction_delta_y[_direction_south], -1);
	EXPECT_EQ(direction_delta_x[_direction_west], -1);
	EXPECT_EQ(direction_delta_x[_direction_none], 0);
	EXPECT_EQ(direction_delta_y[_direction_none], 0);

	recalculate_mesh_deltas(128);
	const int16 expected[TOTAL_NUMBER_OF_DIRECTIONS] = {129, -127, -129, 127, 128, 1, -128, -1, 0};
	for (int d = 0; d < TOTAL_NUMBER_OF_DIRECTIONS; ++d) EXPECT_EQ(direction_delta_cell[d], expected[d]) << d;

	// A new mesh replaces the offsets of the old one.
	recalculate_mesh_deltas(7);
	EXPECT_EQ(direction_delta_cell[_direction_northeast], 8);
	EXPECT_EQ(direction_delta_cell[_direction_south], -7);
}

}
