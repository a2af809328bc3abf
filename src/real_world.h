// Floating-point companion of the world maths, for model and camera maths.
// Nothing here feeds the synchronised simulation.
#ifndef REAL_WORLD_H
#define REAL_WORLD_H

#include "cseries.h"
#include "world_units.h"

extern real _pi;
extern real _2pi;
extern real _deg2rad;
extern real _rad2deg;

void initialize_real_world(void);

real_vector3d *set_real_vector3d(real_vector3d *v, real i, real j, real k);
real_point3d *set_real_point3d(real_point3d *p, real x, real y, real z);

real magnitude2d(const real_vector2d *v);
real magnitude3d(const real_vector3d *v);
real dot_product2d(const real_vector2d *a, const real_vector2d *b);
real dot_product3d(const real_vector3d *a, const real_vector3d *b);
real cross_product2d(const real_vector2d *a, const real_vector2d *b);
real_vector3d *cross_product3d(const real_vector3d *a, const real_vector3d *b, real_vector3d *result);
// In place; callers never pass a zero vector.
real_vector3d *normalize3d(real_vector3d *a);

// result = m x o (row-major); result may not alias m or o.
real_matrix3x3 *real_matrix_multiply(const real_matrix3x3 *m, const real_matrix3x3 *o, real_matrix3x3 *result);
real real_matrix_determinant(const real_matrix3x3 *m);
real real_matrix_cofactor(const real_matrix3x3 *m, int32 i, int32 j);
// Callers guarantee a non-zero determinant.
real_matrix3x3 *real_matrix_inverse(const real_matrix3x3 *m, real_matrix3x3 *result);
real_vector3d *real_vector_times_real_matrix(const real_vector3d *p, const real_matrix3x3 *m, real_vector3d *result);
real_matrix3x3 *quaternion_to_real_matrix(real_matrix3x3 *m, const real_vector3d *v, real w);

real real_distance3d(real dx, real dy, real dz);
real_vector3d *build_real_vector3d(real_vector3d *v, real magnitude, real yaw, real pitch);
real real_angle_normalize(real theta);
real real_angular_difference(real angle1, real angle2);

#endif
