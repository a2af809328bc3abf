// The triangle of a cell a point lies in and the height inside it, reckoned
// without branches: which side of the diagonal a moving point is on follows
// no pattern, and the height is asked for every step of every unit.
#ifndef MESH_TRIANGLES_H
#define MESH_TRIANGLES_H

#include "cseries.h"
#include "directions.h"
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

// What a vertex beyond the cell array (the north row's) reads: all zero.
extern const mesh_cell mesh_vertex_beyond_the_cells;

inline const mesh_cell *mesh_vertex_cell(int32 index)
{
	if (index < 0 || index >= mesh_globals->cell_count) return &mesh_vertex_beyond_the_cells;
	return &mesh_globals->mesh_cells[index];
}

// The height a vertex contributes where media counts: its media height when
// its cell has a media triangle.
inline int32 mesh_true_vertex_height(const mesh_cell *cell)
{
	return (cell->flags & _mesh_cell_triangle_media_flags) ? cell->media_height : cell->height;
}

template <int16 height_type>
inline int32 mesh_vertex_height(const mesh_cell *cell)
{
	if (height_type == _land_height) return cell->height;
	if (height_type == _media_height) return cell->media_height;
	return mesh_true_vertex_height(cell);
}

// get_mesh_height for one height type with a map loaded (mesh_globals and its
// cells present), inline for the steps of units and projectiles that ask it
// every tick: the same cell rule, triangle, vertices and arithmetic. *cell_out
// is the point's cell, get_mesh_cell's answer for it.
template <int16 height_type>
inline __attribute__((always_inline)) short_world_distance mesh_height_and_cell_of_type(const world_point2d *p,
	const mesh_cell **cell_out)
{
	const int32 x = p->x >> WORLD_FRACTIONAL_BITS, y = p->y >> WORLD_FRACTIONAL_BITS;
	const int32 index = x >= 0 && x < mesh_globals->mesh_width && y >= 0 && y < mesh_globals->mesh_height ?
		y * mesh_globals->mesh_width + x : get_mesh_cell_index(x, y);
	const mesh_cell *cell = &mesh_globals->mesh_cells[index];
	*cell_out = cell;
	if (cell->flags & _mesh_cell_is_not_rendered_flag) return NONRENDERED_CELL_HEIGHT;

	const int16 t = mesh_triangle_index_without_branch(p->x, p->y);
	const mesh_subdivision_direction_data *d = &mesh_subdivision_directions[t];
	const int32 o = mesh_vertex_height<height_type>(mesh_vertex_cell(index + direction_delta_cell[d->origin]));
	const int32 h = mesh_vertex_height<height_type>(mesh_vertex_cell(index + direction_delta_cell[d->horizontal]));
	const int32 v_height = mesh_vertex_height<height_type>(mesh_vertex_cell(index + direction_delta_cell[d->vertical]));

	return interpolate_triangle_height_without_branch(p->x, p->y, t, o, h, v_height);
}

template <int16 height_type>
inline __attribute__((always_inline)) short_world_distance mesh_height_of_type(const world_point2d *p)
{
	const mesh_cell *cell;
	return mesh_height_and_cell_of_type<height_type>(p, &cell);
}

// The cell a point lies in, then its x, y and diagonal neighbours towards the
// quarter of the cell the point lies in, leaving out any beyond the mesh; the
// count found. The callers hold their point 992 inside the mesh's edges, so its
// cell is at least one in: on a mesh of 4 x 4 cells or more all four lie on the
// mesh and need no bounds tests.
inline int32 mesh_quarter_cells(world_distance x, world_distance y, const mesh_cell *cells[4])
{
	const int32 cx = x >> WORLD_FRACTIONAL_BITS, cy = y >> WORLD_FRACTIONAL_BITS;
	const int32 qx = (x & (WORLD_ONE - 1)) < WORLD_ONE / 2 ? -1 : 1;
	const int32 qy = (y & (WORLD_ONE - 1)) < WORLD_ONE / 2 ? -1 : 1;
	const int32 width = mesh_globals->mesh_width, height = mesh_globals->mesh_height;
	if (width >= 4 && height >= 4)
	{
		const mesh_cell *centre = &mesh_globals->mesh_cells[cy * width + cx];
		cells[0] = centre;
		cells[1] = centre + qx;
		cells[2] = centre + qy * width;
		cells[3] = cells[2] + qx;
		return 4;
	}
	int32 count = 0;
	const int32 coordinates[4][2] = {{cx, cy}, {cx + qx, cy}, {cx, cy + qy}, {cx + qx, cy + qy}};
	for (const auto &c : coordinates)
	{
		if (c[0] < 0 || c[1] < 0 || c[0] >= width || c[1] >= height) continue;
		cells[count++] = &mesh_globals->mesh_cells[c[1] * width + c[0]];
	}
	return count;
}

#endif
