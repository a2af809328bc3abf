#include <gtest/gtest.h>

#include <cstring>

#include "real_world.h"

namespace {

uint32 bits(real value)
{
	uint32 result;
	memcpy(&result, &value, sizeof(result));
	return result;
}

class RealWorld : public ::testing::Test
{
protected:
	void SetUp() override { initialize_real_world(); }
};

TEST_F(RealWorld, ConstantsAndVectors)
{
	EXPECT_EQ(_pi, 3.1415927f);
	EXPECT_EQ(_2pi, 6.2831855f);
	EXPECT_EQ(_deg2rad, 0.017453292f);
	EXPECT_EQ(_rad2deg, 57.295776f);

	real_vector2d a2 = {3.0f, 4.0f, 99.0f}, b2 = {-2.0f, 0.5f, 99.0f};
	EXPECT_EQ(magnitude2d(&a2), 5.0f); // k plays no part
	EXPECT_EQ(dot_product2d(&a2, &b2), -4.0f);
	EXPECT_EQ(cross_product2d(&a2, &b2), 9.5f);

	real_vector3d a, b, r;
	set_real_vector3d(&a, 2.0f, 3.0f, 6.0f);
	EXPECT_EQ(magnitude3d(&a), 7.0f);
	set_real_vector3d(&b, 1.0f, 0.0f, 0.0f);
	EXPECT_EQ(dot_product3d(&a, &b), 2.0f);
	real_vector3d x = {1.0f, 0.0f, 0.0f}, y = {0.0f, 1.0f, 0.0f};
	cross_product3d(&x, &y, &r);
	EXPECT_EQ(r.i, 0.0f);
	EXPECT_EQ(r.j, 0.0f);
	EXPECT_EQ(r.k, 1.0f);
	cross_product3d(&x, &y, &x); // the result may be an operand
	EXPECT_EQ(x.k, 1.0f);
	EXPECT_EQ(x.i, 0.0f);

	real_point3d p;
	set_real_point3d(&p, 1.0f, 2.0f, 3.0f);
	EXPECT_EQ(p.z, 3.0f);

	real_vector3d n = {1.0f, 2.0f, 3.0f};
	normalize3d(&n);
	EXPECT_EQ(bits(n.i), 0x3E88D677u);
	EXPECT_EQ(bits(n.j), 0x3F08D677u);
	EXPECT_EQ(bits(n.k), 0x3F4D41B2u);

	// Largest, plus half the middle, plus a quarter of the smallest, signs kept.
	EXPECT_EQ(real_distance3d(1.0f, 2.0f, 4.0f), 5.25f);
	EXPECT_EQ(real_distance3d(4.0f, 1.0f, 2.0f), 5.25f);
	EXPECT_EQ(real_distance3d(3.0f, -5.0f, 1.0f), 2.25f);

	build_real_vector3d(&r, 2.0f, _pi / 2, 0.0f);
	EXPECT_EQ(bits(r.i), 0xB3BBBD2Eu);
	EXPECT_EQ(r.j, 2.0f);
	EXPECT_EQ(r.k, 0.0f);
	build_real_vector3d(&r, 100.0f, 0.5f, 0.25f);
	EXPECT_EQ(bits(r.i), 0x42AA0F65u);
	EXPECT_EQ(bits(r.j), 0x4239CEFDu);
	EXPECT_EQ(bits(r.k), 0x41C5EC55u);
}

TEST_F(RealWorld, Matrices)
{
	const real_matrix3x3 identity = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
	const real_matrix3x3 m = {{{1, 2, 3}, {0, 1, 4}, {5, 6, 0}}};
	real_matrix3x3 result;

	EXPECT_EQ(real_matrix_determinant(&m), 1.0f);
	EXPECT_EQ(real_matrix_cofactor(&m, 0, 0), -24.0f);
	EXPECT_EQ(real_matrix_cofactor(&m, 0, 1), 20.0f); // negated for an odd i + j
	EXPECT_EQ(real_matrix_cofactor(&m, 2, 2), 1.0f);

	real_matrix_inverse(&m, &result);
	const real expected[3][3] = {{-24, 18, 5}, {20, -15, -4}, {-5, 4, 1}};
	for (int r = 0; r < 3; ++r)
	{
		for (int c = 0; c < 3; ++c) EXPECT_EQ(result.n[r][c], expected[r][c]) << r << c;
	}
	real_matrix3x3 product;
	real_matrix_multiply(&m, &result, &product);
	EXPECT_EQ(memcmp(&product, &identity, sizeof(product)), 0);
	real_matrix_multiply(&m, &identity, &product);
	EXPECT_EQ(memcmp(&product, &m, sizeof(product)), 0);

	const real_matrix3x3 a = {{{0.5f, 1.5f, -2.0f}, {3.25f, 0.1f, 4.0f}, {-1.0f, 2.0f, 0.3f}}};
	EXPECT_EQ(bits(real_matrix_determinant(&a)), 0xC1C52E14u);
	real_matrix_inverse(&a, &result);
	const uint32 inverse_bits[9] = {0x3EA58F5C, 0x3E38E0F8, 0xBE80CABE, 0x3E4EB0BA, 0x3D99B82E, 0x3EB091D4,
		0xBE8919E4, 0x3DCFBA9F, 0x3E48755E};
	for (int i = 0; i < 9; ++i) EXPECT_EQ(bits(result.n[i / 3][i % 3]), inverse_bits[i]) << i;

	// Row vector times matrix.
	const real_vector3d v = {1.0f, 2.0f, 3.0f};
	real_vector3d w;
	real_vector_times_real_matrix(&v, &m, &w);
	EXPECT_EQ(w.i, 16.0f);
	EXPECT_EQ(w.j, 22.0f);
	EXPECT_EQ(w.k, 11.0f);

	// A quarter turn about z, whether or not the quaternion is normalised.
	const real_vector3d axis = {0.0f, 0.0f, 0.70710678f};
	quaternion_to_real_matrix(&result, &axis, 0.70710678f);
	const real turn[3][3] = {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}};
	for (int r = 0; r < 3; ++r)
	{
		for (int c = 0; c < 3; ++c) EXPECT_EQ(result.n[r][c], turn[r][c]) << r << c;
	}
	const real_vector3d long_axis = {0.0f, 0.0f, 3.0f};
	quaternion_to_real_matrix(&result, &long_axis, 3.0f);
	EXPECT_EQ(result.n[0][1], -1.0f);
	EXPECT_EQ(result.n[1][0], 1.0f);
	const real_vector3d none = {0.0f, 0.0f, 0.0f};
	quaternion_to_real_matrix(&result, &none, 0.0f);
	EXPECT_EQ(memcmp(&result, &identity, sizeof(result)), 0);
}

TEST_F(RealWorld, Angles)
{
	EXPECT_EQ(bits(real_angle_normalize(7.0f)), 0x3F378128u);
	EXPECT_EQ(bits(real_angle_normalize(-7.0f)), 0xBF378128u); // keeps the sign
	EXPECT_EQ(real_angle_normalize(1.0f), 1.0f);

	EXPECT_EQ(bits(real_angular_difference(6.0f, 0.5f)), 0x3F487ED8u); // 2 pi - 5.5
	EXPECT_EQ(real_angular_difference(0.5f, 6.0f), -5.5f);
	EXPECT_EQ(bits(real_angular_difference(10.0f, 1.0f)), 0x402DE04Au);
	EXPECT_EQ(real_angular_difference(1.0f, 0.25f), 0.75f);
}

}
