// The triangle of a cell a point lies in and the height inside it, reckoned
// without branches: which side of the diagonal a moving point is on follows
// no pattern, and the height is asked for every step of every unit.
#ifndef MESH_TRIANGLES_H
#define MESH_TRIANGLES_H

#include "cseries.h"
#include "mesh.h"
#include "world_units.h"

// get_mesh_triangle_index's answer: odd cells split on u + v < WORLD_ONE
// (first below), even cells on v > u (first above).
inline int16 mesh_triangle_index_without_branch(world_distance x, world_distance y)
{
	const int32 u = x & (WORLD_ONE - 1), v = y & (WORLD_ONE - 1);
	const int32 odd = ((x >> WORLD_FRACTIONAL_BITS) ^ (y >> WORLD_FRACTIONAL_BITS)) & 1;
	const int32 first = (odd & static_cast<int32>(u + v < WORLD_ONE)) | ((odd ^ 1) & static_cast<int32>(v > u));
	static_assert(_even_cell_first_triangle == 0 && _even_cell_second_triangle == 1 &&
		_odd_cell_first_triangle == 2 && _odd_cell_second_triangle == 3, "the index is built from its two bits");
	return static_cast<int16>(2 * odd + (first ^ 1));
}

// interpolate_triangle_height's answer for the triangles 0..3: the second
// triangles mirror u, the even first and the odd second mirror v.
inline short_world_distance interpolate_triangle_height_without_branch(world_distance x, world_distance y, int16 t,
	int32 o, int32 h, int32 v_height)
{
	const int32 u0 = x & (WORLD_ONE - 1), v0 = y & (WORLD_ONE - 1);
	// Mirrored u for triangles 1 and 3, mirrored v for 0 and 3 (of 0..3).
	const int32 flip_u = t & 1, flip_v = ((t >> 1) ^ t ^ 1) & 1;
	const int32 u = u0 + flip_u * (WORLD_ONE - 2 * u0);
	const int32 v = v0 + flip_v * (WORLD_ONE - 2 * v0);
	return static_cast<short_world_distance>(o + (((h - o) * u + (v_height - o) * v) >> WORLD_FRACTIONAL_BITS));
}

#endif
