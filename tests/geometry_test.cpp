// Geometry maths: the identity shortcut and its 16-bit wrap, matrices with
// scale and their inverses, and cell sizes.
#include <gtest/gtest.h>

#include <cstdlib>

#include "geometry.h"
#include "world.h"

namespace {

class geometry_maths : public ::testing::Test
{
protected:
	void SetUp() override { initialize_world(); }
};

TEST_F(geometry_maths, the_identity_shortcut_wraps_at_16_bits)
{
	const matrix3x3 identity = {{{512, 0, 0}, {0, 512, 0}, {0, 0, 512}}};
	const world_point3d origin = {10000, 10000, 0}, center = {30000, 0, 0}, point = {-30000, 0, 0};
	world_point3d world;
	transform_geometry_point_to_world(&origin, &center, &point, &identity, &world);
	EXPECT_EQ(world.x, 15536);
	EXPECT_EQ(world.y, 10000);
	world_point3d back;
	transform_world_point_to_geometry(&origin, &center, &world, &identity, &back);
	EXPECT_EQ(back.x, -30000);

	// A real rotation: a quarter turn about z.
	const matrix3x3 quarter = {{{0, 512, 0}, {-512, 0, 0}, {0, 0, 512}}};
	const world_point3d zero = {0, 0, 0}, unit_x = {100, 0, 0};
	transform_model_point3d(&world, &quarter, &zero, &unit_x);
	EXPECT_EQ(world.x, 0);
	EXPECT_EQ(world.y, 100);
	world_vector3d v = {16384, 0, 0}, r;
	rotate_model_vector(&r, &quarter, &v);
	EXPECT_EQ(r.j, 16384);
}

TEST_F(geometry_maths, inverses_undo_scaled_rotations)
{
	for (int32 scale = GEOMETRY_MINIMUM_SCALE; scale <= GEOMETRY_MAXIMUM_SCALE; scale += 89)
	{
		for (angle yaw = 0; yaw < 60000; yaw = static_cast<angle>(yaw + 7000))
		{
			matrix3x3 rotation;
			build_rotation_matrix(&rotation, yaw, 49152);
			const world_vector3d forward = {rotation.n[0][0], rotation.n[1][0], rotation.n[2][0]};
			const world_vector3d up = {rotation.n[0][2], rotation.n[1][2], rotation.n[2][2]};
			const world_vector3d scales = {static_cast<int16>(scale), static_cast<int16>(512), static_cast<int16>(scale)};
			matrix3x3 to_world, to_geometry;
			get_geometry_matrices(&forward, &up, &scales, &to_world, &to_geometry);
			// Row vectors times the matrix, as the transforms use it.
			for (int r = 0; r < 3; ++r)
			{
				for (int c = 0; c < 3; ++c)
				{
					int32 sum = 0;
					for (int k = 0; k < 3; ++k) sum += to_world.n[r][k] * to_geometry.n[k][c];
					// 9-bit entries lose precision as the square of the scale shrinks
					// (at worst 68 at 102, 3 from 458 up).
					EXPECT_NEAR(sum >> 9, r == c ? 512 : 0, 3 + 720000 / (scale * scale)) << scale << " " << yaw << " " << r << c;
				}
			}
		}
	}
	// Unequal scales go by columns: each axis of the geometry scales its own column.
	{
		matrix3x3 rotation;
		build_rotation_matrix(&rotation, 0, 0);
		const world_vector3d forward = {rotation.n[0][0], rotation.n[1][0], rotation.n[2][0]};
		const world_vector3d up = {rotation.n[0][2], rotation.n[1][2], rotation.n[2][2]};
		const world_vector3d scales = {1024, 512, 256};
		matrix3x3 to_world, to_geometry;
		get_geometry_matrices(&forward, &up, &scales, &to_world, &to_geometry);
		const matrix3x3 expected_to_world = {{{0, 0, -256}, {-1024, 0, 0}, {0, 512, 0}}};
		const matrix3x3 expected_to_geometry = {{{0, -256, 0}, {0, 0, 512}, {-1024, 0, 0}}};
		for (int r = 0; r < 3; ++r)
		{
			for (int c = 0; c < 3; ++c)
			{
				EXPECT_EQ(to_world.n[r][c], expected_to_world.n[r][c]) << r << c;
				EXPECT_EQ(to_geometry.n[r][c], expected_to_geometry.n[r][c]) << r << c;
			}
		}
		EXPECT_EQ(world_matrix_determinant(&to_world), 512);
	}
	// Out-of-range scales are held in range, and a singular matrix inverts to the identity.
	const world_vector3d forward = {16384, 0, 0}, up = {0, 0, 16384}, zero_scale = {0, 0, 0};
	matrix3x3 to_world, to_geometry;
	get_geometry_matrices(&forward, &up, &zero_scale, &to_world, &to_geometry);
	EXPECT_NE(world_matrix_determinant(&to_world), 0);
	const matrix3x3 singular = {{{512, 0, 0}, {512, 0, 0}, {0, 0, 512}}};
	matrix3x3 inverse;
	world_matrix_inverse(&singular, &inverse);
	EXPECT_EQ(inverse.n[0][0], 512);
	EXPECT_EQ(inverse.n[1][1], 512);
	EXPECT_EQ(inverse.n[0][1], 0);
	const matrix3x3 doubled = {{{1024, 0, 0}, {0, 1024, 0}, {0, 0, 1024}}};
	EXPECT_EQ(world_matrix_determinant(&doubled), 4096);
	EXPECT_EQ(world_matrix_cofactor(&doubled, 0, 1), 0);
	EXPECT_EQ(world_matrix_cofactor(&doubled, 1, 1), 2048);
}

TEST_F(geometry_maths, cells_round_up)
{
	geometry_definition definition = {};
	definition.bounds.maximum_corner = {513, 512, 0};
	int16 width, height;
	calculate_geometry_cell_width_and_height(&definition, &width, &height);
	EXPECT_EQ(width, 2);
	EXPECT_EQ(height, 1);
}

} // namespace
