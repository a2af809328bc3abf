#include "real_world.h"

#include <cmath>

real _pi = 3.1415927f;
real _2pi = 6.2831855f;
real _deg2rad = 0.017453292f;
real _rad2deg = 57.295776f;

void initialize_real_world(void)
{
	_pi = 3.1415927f;
	_2pi = 6.2831855f;
	_deg2rad = 0.017453292f;
	_rad2deg = 57.295776f;
}

real_vector3d *set_real_vector3d(real_vector3d *v, real i, real j, real k)
{
	v->i = i, v->j = j, v->k = k;
	return v;
}

real_point3d *set_real_point3d(real_point3d *p, real x, real y, real z)
{
	p->x = x, p->y = y, p->z = z;
	return p;
}

real magnitude2d(const real_vector2d *v)
{
	return sqrtf(v->i * v->i + v->j * v->j);
}

real magnitude3d(const real_vector3d *v)
{
	return sqrtf(v->i * v->i + v->j * v->j + v->k * v->k);
}

real dot_product2d(const real_vector2d *a, const real_vector2d *b)
{
	return a->i * b->i + a->j * b->j;
}

real dot_product3d(const real_vector3d *a, const real_vector3d *b)
{
	return a->i * b->i + a->j * b->j + a->k * b->k;
}

real cross_product2d(const real_vector2d *a, const real_vector2d *b)
{
	return a->i * b->j - a->j * b->i;
}

real_vector3d *cross_product3d(const real_vector3d *a, const real_vector3d *b, real_vector3d *result)
{
	const real_vector3d u = *a, v = *b;

	result->i = u.j * v.k - u.k * v.j;
	result->j = u.k * v.i - u.i * v.k;
	result->k = u.i * v.j - u.j * v.i;
	return result;
}

real_vector3d *normalize3d(real_vector3d *a)
{
	const real magnitude = magnitude3d(a);

	a->i /= magnitude;
	a->j /= magnitude;
	a->k /= magnitude;
	return a;
}

real_matrix3x3 *real_matrix_multiply(const real_matrix3x3 *m, const real_matrix3x3 *o, real_matrix3x3 *result)
{
	real_matrix3x3 product;

	for (int32 row = 0; row < 3; ++row)
	{
		for (int32 column = 0; column < 3; ++column)
		{
			product.n[row][column] = m->n[row][0] * o->n[0][column] + m->n[row][1] * o->n[1][column] +
				m->n[row][2] * o->n[2][column];
		}
	}
	*result = product;
	return result;
}

real real_matrix_cofactor(const real_matrix3x3 *m, int32 i, int32 j)
{
	// The two rows and columns left after deleting row i and column j.
	const int32 r0 = i == 0 ? 1 : 0, r1 = i == 2 ? 1 : 2;
	const int32 c0 = j == 0 ? 1 : 0, c1 = j == 2 ? 1 : 2;
	const real minor = m->n[r0][c0] * m->n[r1][c1] - m->n[r0][c1] * m->n[r1][c0];

	return ((i + j) & 1) ? -minor : minor;
}

real real_matrix_determinant(const real_matrix3x3 *m)
{
	return m->n[0][0] * real_matrix_cofactor(m, 0, 0) + m->n[0][1] * real_matrix_cofactor(m, 0, 1) +
		m->n[0][2] * real_matrix_cofactor(m, 0, 2);
}

real_matrix3x3 *real_matrix_inverse(const real_matrix3x3 *m, real_matrix3x3 *result)
{
	const real determinant = real_matrix_determinant(m);
	real_matrix3x3 inverse;

	// The adjugate is the transposed matrix of cofactors.
	for (int32 row = 0; row < 3; ++row)
	{
		for (int32 column = 0; column < 3; ++column)
		{
			inverse.n[row][column] = real_matrix_cofactor(m, column, row) / determinant;
		}
	}
	*result = inverse;
	return result;
}

real_vector3d *real_vector_times_real_matrix(const real_vector3d *p, const real_matrix3x3 *m, real_vector3d *result)
{
	const real_vector3d v = *p;

	result->i = v.i * m->n[0][0] + v.j * m->n[1][0] + v.k * m->n[2][0];
	result->j = v.i * m->n[0][1] + v.j * m->n[1][1] + v.k * m->n[2][1];
	result->k = v.i * m->n[0][2] + v.j * m->n[1][2] + v.k * m->n[2][2];
	return result;
}

real_matrix3x3 *quaternion_to_real_matrix(real_matrix3x3 *m, const real_vector3d *v, real w)
{
	const real x = v->i, y = v->j, z = v->k;
	const real norm = x * x + y * y + z * z + w * w;
	const real s = norm > 0.0f ? 2.0f / norm : 0.0f;
	const real xs = x * s, ys = y * s, zs = z * s;
	const real wx = w * xs, wy = w * ys, wz = w * zs;
	const real xx = x * xs, xy = x * ys, xz = x * zs;
	const real yy = y * ys, yz = y * zs, zz = z * zs;

	m->n[0][0] = 1.0f - (yy + zz);
	m->n[0][1] = xy - wz;
	m->n[0][2] = xz + wy;
	m->n[1][0] = xy + wz;
	m->n[1][1] = 1.0f - (xx + zz);
	m->n[1][2] = yz - wx;
	m->n[2][0] = xz - wy;
	m->n[2][1] = yz + wx;
	m->n[2][2] = 1.0f - (xx + yy);
	return m;
}

real real_distance3d(real dx, real dy, real dz)
{
	// Ordered by value, signs kept.
	real largest = dx, middle = dy, smallest = dz;
	real swap;

	if (middle > largest) swap = largest, largest = middle, middle = swap;
	if (smallest > largest) swap = largest, largest = smallest, smallest = swap;
	if (smallest > middle) swap = middle, middle = smallest, smallest = swap;
	return largest + middle * 0.5f + smallest * 0.25f;
}

real_vector3d *build_real_vector3d(real_vector3d *v, real magnitude, real yaw, real pitch)
{
	const real h = magnitude * cosf(pitch);

	v->i = h * cosf(yaw);
	v->j = h * sinf(yaw);
	v->k = magnitude * sinf(pitch);
	return v;
}

real real_angle_normalize(real theta)
{
	return fmodf(theta, _2pi);
}

real real_angular_difference(real angle1, real angle2)
{
	const real d = fmodf(angle1 - angle2, _2pi);

	return d >= _pi ? _2pi - d : d;
}
