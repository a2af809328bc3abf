// Questions asked of the loaded terrain (cells, triangles, heights, normals,
// segment walks) and the precalculated data they rest on: the normal table,
// cell normals and flags, and the LOD words; plus the painted terrain maps.
#include "local_projectiles.h"
#include "mesh.h"

#include <cmath>

#include "directions.h"
#include "mesh_triangles.h"
#include "render/render.h"
#include "shapes.h"
#include "world.h"

// Rows of the triangle table: origin, horizontal, vertical, right, left,
// right vector, left vector.
const mesh_subdivision_direction_data mesh_subdivision_directions[NUMBER_OF_MESH_TRIANGLE_INDEXES] = {
	{_direction_north, _direction_northeast, _direction_none, _direction_northeast, _direction_none,
		_direction_east, _direction_south, 0},
	{_direction_east, _direction_none, _direction_northeast, _direction_none, _direction_northeast,
		_direction_west, _direction_north, 0},
	{_direction_none, _direction_east, _direction_north, _direction_north, _direction_east, _direction_north,
		_direction_east, 0},
	{_direction_northeast, _direction_north, _direction_east, _direction_east, _direction_north,
		_direction_south, _direction_west, 0},
};

const mesh_cell mesh_vertex_beyond_the_cells = {0, 0, 0, NONE, 0, NONE};
// Answered while no map is loaded, so that a stray query never faults.
static mesh_cell no_map_cell = {0, 0, 0, NONE, 0, NONE};

/* ---------- cells and triangles */

int32 get_mesh_cell_index(int32 x, int32 y)
{
	const int32 width = mesh_globals->mesh_width;
	const int32 height = mesh_globals->mesh_height;

	if (x >= 0 && x < width && y >= 0 && y < height) return y * width + x;

	// Off the grid: this exact rule is shared with every peer and film. The
	// axes look exchanged, but the index is always inside the array.
	int32 column, row;
	if (y < 0)
	{
		column = 0;
		row = 0;
	}
	else if (y >= height)
	{
		column = height - 1;
		row = MIN(height - 1, width - 1);
	}
	else
	{
		column = y;
		row = MIN(y, width - 1);
	}
	return row * width + column;
}

mesh_cell *get_mesh_cell_anywhere(int32 x, int32 y)
{
	if (!mesh_globals || !mesh_globals->mesh_cells) return &no_map_cell;
	return &mesh_globals->mesh_cells[get_mesh_cell_index(x, y)];
}

int16 get_mesh_triangle_index(world_distance x, world_distance y)
{
	const int32 u = x & (WORLD_ONE - 1);
	const int32 v = y & (WORLD_ONE - 1);

	if (((x >> WORLD_FRACTIONAL_BITS) ^ (y >> WORLD_FRACTIONAL_BITS)) & 1)
	{
		return v < WORLD_ONE - u ? _odd_cell_first_triangle : _odd_cell_second_triangle;
	}
	return v > u ? _even_cell_first_triangle : _even_cell_second_triangle;
}

static inline const mesh_cell *vertex_cell(int32 index)
{
	return mesh_vertex_cell(index);
}

static inline int32 true_vertex_height(const mesh_cell *cell)
{
	return mesh_true_vertex_height(cell);
}

static inline bool triangle_is_first(int16 triangle_index)
{
	return triangle_index == _even_cell_first_triangle || triangle_index == _odd_cell_first_triangle;
}

// The height at (x, y) inside triangle t, from its origin, horizontal and
// vertical vertices' heights; the map generator uses it before a mesh exists.
short_world_distance interpolate_triangle_height(world_distance x, world_distance y, int16 t, int32 o, int32 h,
	int32 v_height)
{
	int32 u = x & (WORLD_ONE - 1);
	int32 v = y & (WORLD_ONE - 1);
	switch (t)
	{
	case _even_cell_first_triangle: v = WORLD_ONE - v; break;
	case _even_cell_second_triangle: u = WORLD_ONE - u; break;
	case _odd_cell_second_triangle:
		u = WORLD_ONE - u;
		v = WORLD_ONE - v;
		break;
	default: break;
	}
	return static_cast<short_world_distance>(o + (((h - o) * u + (v_height - o) * v) >> WORLD_FRACTIONAL_BITS));
}

short_world_distance get_mesh_height(const world_point2d *p, int16 height_type)
{
	if (!mesh_globals || !mesh_globals->mesh_cells) return 0;
	switch (height_type)
	{
	case _land_height: return mesh_height_of_type<_land_height>(p);
	case _media_height: return mesh_height_of_type<_media_height>(p);
	default: return mesh_height_of_type<_true_height>(p);
	}
}

int16 get_mesh_terrain_type(const world_point2d *p)
{
	const mesh_cell *cell = get_mesh_cell(p->x >> WORLD_FRACTIONAL_BITS, p->y >> WORLD_FRACTIONAL_BITS);
	const int16 t = get_mesh_triangle_index(p->x, p->y);
	return static_cast<int16>(triangle_is_first(t) ? (cell->flags >> CELL_TERRAIN_TYPE_BITS) & CELL_TERRAIN_TYPE_MASK
		: cell->flags & CELL_TERRAIN_TYPE_MASK);
}

boolean get_mesh_reflectivity(const world_point2d *p)
{
	const mesh_cell *cell = get_mesh_cell(p->x >> WORLD_FRACTIONAL_BITS, p->y >> WORLD_FRACTIONAL_BITS);
	const int16 t = get_mesh_triangle_index(p->x, p->y);
	const uint16 flag = triangle_is_first(t) ? _mesh_cell_triangle0_is_media_flag : _mesh_cell_triangle1_is_media_flag;
	return (cell->flags & flag) ? TRUE : FALSE;
}

const precalculated_normal_data *get_precalculated_normal(int16 index)
{
	return &mesh_globals->precalculated_normals[index & PRECALCULATED_NORMAL_MASK];
}

const world_vector3d *get_cell_triangle_normal(const mesh_cell *cell, int16 which)
{
	const int16 index = static_cast<int16>(which == 0 ? cell->normal & PRECALCULATED_NORMAL_MASK
		: (cell->normal >> PRECALCULATED_NORMAL_BITS) & PRECALCULATED_NORMAL_MASK);
	return &mesh_globals->precalculated_normals[index].normal;
}

const world_vector3d *get_mesh_normal(const world_point2d *p)
{
	const mesh_cell *cell = get_mesh_cell(p->x >> WORLD_FRACTIONAL_BITS, p->y >> WORLD_FRACTIONAL_BITS);
	return get_cell_triangle_normal(cell, triangle_is_first(get_mesh_triangle_index(p->x, p->y)) ? 1 : 0);
}

/* ---------- segment walk */

// Products wrap in 32 bits as the original arithmetic did; shifts stay arithmetic.
static inline int32 wrapping_multiply(int32 a, int32 b)
{
	return static_cast<int32>(static_cast<uint32>(a) * static_cast<uint32>(b));
}

static inline int32 wrapping_shift_left(int32 a, int32 bits)
{
	return static_cast<int32>(static_cast<uint32>(a) << bits);
}

// The row (or column) the line crosses at cell boundary n.
static inline int32 segment_crossing(int32 n, int32 m, int32 b)
{
	const int32 offset = wrapping_multiply(wrapping_shift_left(n, WORLD_FRACTIONAL_BITS), m) >> 8;
	return static_cast<int32>(static_cast<uint32>(offset) + static_cast<uint32>(b)) >> WORLD_FRACTIONAL_BITS;
}

static inline int32 segment_slope(int32 minor_difference, int32 major_difference)
{
	const int32 dividend = static_cast<int32>(static_cast<int16>(minor_difference)) * 256;
	return static_cast<int16>(dividend / major_difference);
}

boolean obstruction_in_cells_crossed_by_segment(const world_point2d *p0, const world_point2d *p1,
	cell_obstruction_proc obstruction_check)
{
	const int32 x0 = p0->x >> WORLD_FRACTIONAL_BITS, y0 = p0->y >> WORLD_FRACTIONAL_BITS;
	const int32 x1 = p1->x >> WORLD_FRACTIONAL_BITS, y1 = p1->y >> WORLD_FRACTIONAL_BITS;

	if (obstruction_check(x0, y0, p0, p1)) return TRUE;
	if (x0 == x1 && y0 == y1) return FALSE;

	if (y0 == y1)
	{
		const int32 step = x1 > x0 ? 1 : -1;
		for (int32 x = x0 + step;; x += step)
		{
			if (obstruction_check(x, y0, p0, p1)) return TRUE;
			if (x == x1) break;
		}
		return FALSE;
	}
	if (x0 == x1)
	{
		const int32 step = y1 > y0 ? 1 : -1;
		for (int32 y = y0 + step;; y += step)
		{
			if (obstruction_check(x0, y, p0, p1)) return TRUE;
			if (y == y1) break;
		}
		return FALSE;
	}

	// Differences of far-apart points wrap as 32-bit values did.
	const int32 dx = static_cast<int32>(static_cast<uint32>(p1->x) - static_cast<uint32>(p0->x));
	const int32 dy = static_cast<int32>(static_cast<uint32>(p1->y) - static_cast<uint32>(p0->y));
	const int64 abs_dx = dx < 0 ? -static_cast<int64>(dx) : dx;
	const int64 abs_dy = dy < 0 ? -static_cast<int64>(dy) : dy;

	if (abs_dx > abs_dy)
	{
		const int32 m = segment_slope(dy, dx);
		const int32 b = static_cast<int32>(static_cast<uint32>(p0->y) -
			static_cast<uint32>(wrapping_multiply(p0->x, m) >> 8));
		int32 row = y0;
		if (x1 > x0)
		{
			for (int32 n = x0 + 1; n <= x1; ++n)
			{
				const int32 r = segment_crossing(n, m, b);
				if (r != row)
				{
					if (obstruction_check(n - 1, r, p0, p1)) return TRUE;
					row = r;
				}
				if (obstruction_check(n, r, p0, p1)) return TRUE;
			}
		}
		else
		{
			for (int32 n = x0 - 1; n >= x1; --n)
			{
				const int32 r = segment_crossing(n, m, b);
				if (r != row)
				{
					if (obstruction_check(n, row, p0, p1)) return TRUE;
					row = r;
				}
				if (obstruction_check(n, r, p0, p1)) return TRUE;
			}
		}
	}
	else
	{
		if (dy == 0) return FALSE;
		const int32 m = segment_slope(dx, dy);
		const int32 b = static_cast<int32>(static_cast<uint32>(p0->x) -
			static_cast<uint32>(wrapping_multiply(p0->y, m) >> 8));
		int32 column = x0;
		if (y1 > y0)
		{
			for (int32 n = y0 + 1; n <= y1; ++n)
			{
				const int32 c = segment_crossing(n, m, b);
				if (c != column)
				{
					if (obstruction_check(c, n - 1, p0, p1)) return TRUE;
					column = c;
				}
				if (obstruction_check(c, n, p0, p1)) return TRUE;
			}
		}
		else
		{
			for (int32 n = y0 - 1; n >= y1; --n)
			{
				const int32 c = segment_crossing(n, m, b);
				if (c != column)
				{
					if (obstruction_check(column, n, p0, p1)) return TRUE;
					column = c;
				}
				if (obstruction_check(c, n, p0, p1)) return TRUE;
			}
		}
	}
	return FALSE;
}

/* ---------- the normal table */

void build_precalculated_normal_table(precalculated_normal_data *normals)
{
	int32 count = 0;
	memset(normals, 0, sizeof(precalculated_normal_data) * NUMBER_OF_PRECALCULATED_NORMALS);

	for (int32 elevation = FIRST_RING_ELEVATION; count < NUMBER_OF_PRECALCULATED_NORMALS;
		 elevation -= RING_ELEVATION_SEPARATION)
	{
		const int32 trig_index = (elevation >> TRIG_TABLE_ANGLE_BITS) & (NUMBER_OF_TRIG_TABLE_ENTRIES - 1);
		const int32 c = cosine_table[trig_index];
		const int32 s = sine_table[trig_index];
		const int32 ring_count = (4 * c) / RING_ELEVATION_SEPARATION + 1;
		const int32 yaw_step = FULL_CIRCLE / ring_count;

		int32 yaw = 32;
		for (int32 n = 0; n < ring_count && count < NUMBER_OF_PRECALCULATED_NORMALS; ++n, yaw += yaw_step)
		{
			const int32 yaw_index = (yaw >> TRIG_TABLE_ANGLE_BITS) & (NUMBER_OF_TRIG_TABLE_ENTRIES - 1);
			precalculated_normal_data *normal = &normals[count++];
			const int32 i = (cosine_table[yaw_index] * c) >> TRIG_SHIFT;
			const int32 j = (sine_table[yaw_index] * c) >> TRIG_SHIFT;
			normal->normal.i = static_cast<int16>(i);
			normal->normal.j = static_cast<int16>(j);
			normal->normal.k = static_cast<int16>(s);
			normal->yaw = static_cast<int16>(arctangent(i, j));
			normal->elevation = static_cast<int16>(arctangent(s, static_cast<int32>(isqrt(static_cast<uint32>(i * i + j * j)))));
		}
	}
}

static int16 nearest_precalculated_normal(int32 i, int32 j, int32 k)
{
	const precalculated_normal_data *normals = mesh_globals->precalculated_normals;
	int16 best = 0;
	int64 best_distance = INT64_MAX;

	for (int16 n = 0; n < NUMBER_OF_PRECALCULATED_NORMALS; ++n)
	{
		const int64 di = static_cast<int64>(normals[n].normal.i) - i;
		const int64 dj = static_cast<int64>(normals[n].normal.j) - j;
		const int64 dk = static_cast<int64>(normals[n].normal.k) - k;
		const int64 distance = di * di + dj * dj + dk * dk;
		if (distance < best_distance)
		{
			best_distance = distance;
			best = n;
		}
	}
	return best;
}

static int16 triangle_normal_index(int32 cell_index, int16 triangle_index)
{
	const mesh_subdivision_direction_data *d = &mesh_subdivision_directions[triangle_index];
	const int64 a = true_vertex_height(vertex_cell(cell_index + direction_delta_cell[d->origin]));
	const int64 b = true_vertex_height(vertex_cell(cell_index + direction_delta_cell[d->right]));
	const int64 c = true_vertex_height(vertex_cell(cell_index + direction_delta_cell[d->left]));

	const int64 ax = WORLD_ONE * direction_delta_x[d->left_vector];
	const int64 ay = WORLD_ONE * direction_delta_y[d->left_vector];
	const int64 az = c - a;
	const int64 bx = WORLD_ONE * direction_delta_x[d->right_vector];
	const int64 by = WORLD_ONE * direction_delta_y[d->right_vector];
	const int64 bz = b - a;

	const int64 nx = ay * bz - az * by;
	const int64 ny = az * bx - ax * bz;
	const int64 nz = ax * by - ay * bx;

	// Extended precision, then truncation, gives every build the same index.
	const long double length = sqrtl(static_cast<long double>(nx) * nx + static_cast<long double>(ny) * ny +
		static_cast<long double>(nz) * nz);
	if (length == 0.0L) return 0;
	const int32 i = static_cast<int16>(static_cast<int32>(static_cast<long double>(nx) * TRIG_MAGNITUDE / length));
	const int32 j = static_cast<int16>(static_cast<int32>(static_cast<long double>(ny) * TRIG_MAGNITUDE / length));
	const int32 k = static_cast<int16>(static_cast<int32>(static_cast<long double>(nz) * TRIG_MAGNITUDE / length));
	return nearest_precalculated_normal(i, j, k);
}

void precalculate_cell_normals(int32 x, int32 y)
{
	if (!mesh_globals->mesh_cells || x < 0 || y < 0 || x >= mesh_globals->mesh_width || y >= mesh_globals->mesh_height)
	{
		return;
	}
	const int32 index = y * mesh_globals->mesh_width + x;
	const int16 first = ((x ^ y) & 1) ? _odd_cell_first_triangle : _even_cell_first_triangle;
	const int16 first_normal = triangle_normal_index(index, first);
	const int16 second_normal = triangle_normal_index(index, static_cast<int16>(first + 1));
	mesh_globals->mesh_cells[index].normal =
		static_cast<uint16>((first_normal << PRECALCULATED_NORMAL_BITS) | second_normal);
}

/* ---------- rectangles of cells */

struct cell_rectangle
{
	int32 x0, y0, x1, y1; // half-open
};

// A half-open rectangle clipped to the grid; false when nothing is left.
static bool clip_cell_rectangle(int32 x0, int32 y0, int32 x1, int32 y1, cell_rectangle *r)
{
	if (!mesh_globals || !mesh_globals->mesh_cells) return false;
	r->x0 = MAX(x0, 0);
	r->y0 = MAX(y0, 0);
	r->x1 = MIN(x1, mesh_globals->mesh_width);
	r->y1 = MIN(y1, mesh_globals->mesh_height);
	return r->x0 < r->x1 && r->y0 < r->y1;
}

void precalculate_mesh_normals(int32 x0, int32 y0, int32 x1, int32 y1)
{
	cell_rectangle r;
	if (!clip_cell_rectangle(x0, y0, x1, y1, &r)) return;
	for (int32 y = r.y0; y < r.y1; ++y)
	{
		for (int32 x = r.x0; x < r.x1; ++x) precalculate_cell_normals(x, y);
	}
}

void precalculate_mesh_flags(int32 x0, int32 y0, int32 x1, int32 y1)
{
	// Row 0 and column 0 have no south-west neighbours and keep their flags.
	cell_rectangle r;
	if (!clip_cell_rectangle(MAX(x0, 1), MAX(y0, 1), x1, y1, &r)) return;

	mesh_cell *cells = mesh_globals->mesh_cells;
	const int32 width = mesh_globals->mesh_width;

	// Walking backwards, every neighbour read (south and west) still holds its
	// flags from before the call, so the result does not depend on the order.
	for (int32 y = r.y1 - 1; y >= r.y0; --y)
	{
		for (int32 x = r.x1 - 1; x >= r.x0; --x)
		{
			mesh_cell *cell = &cells[y * width + x];
			const uint16 southwest = cells[(y - 1) * width + x - 1].flags;
			const uint16 south = cells[(y - 1) * width + x].flags;
			const uint16 west = cells[y * width + x - 1].flags;
			const uint16 any = static_cast<uint16>(cell->flags | southwest | south | west);
			const uint16 all = static_cast<uint16>(cell->flags & southwest & south & west);

			uint16 flags = static_cast<uint16>(cell->flags &
				~(_mesh_cell_was_or_is_on_fire_flag | _mesh_cell_is_not_rendered_flag));
			if (cell->model_index == NONE && (any & _mesh_cell_triangle_media_flags) &&
				!(any & _mesh_cell_is_not_rendered_flag))
			{
				flags |= _mesh_vertex_is_media_flag;
			}
			if ((all & _mesh_cell_triangle_media_flags) == _mesh_cell_triangle_media_flags)
			{
				flags |= _mesh_vertex_is_animated_media_flag;
			}
			cell->flags = flags;
		}
	}
}

void postprocess_mesh(int32 x0, int32 y0, int32 x1, int32 y1)
{
	cell_rectangle r;
	if (!clip_cell_rectangle(x0, y0, x1, y1, &r)) return;
	for (int32 y = r.y0; y < r.y1; ++y)
	{
		for (int32 x = r.x0; x < r.x1; ++x)
		{
			mesh_cell *cell = &mesh_globals->mesh_cells[y * mesh_globals->mesh_width + x];
			cell->first_object_index = NONE;
			cell->model_index = NONE;
		}
	}
	precalculate_mesh_normals(r.x0, r.y0, r.x1, r.y1);
	precalculate_mesh_flags(r.x0, r.y0, r.x1, r.y1);
}

void reset_mesh_terrain_types(int32 x0, int32 y0, int32 x1, int32 y1)
{
	cell_rectangle r;
	if (!clip_cell_rectangle(x0, y0, x1, y1, &r)) return;
	const uint16 grass = (DEFAULT_TERRAIN_TYPE << CELL_TERRAIN_TYPE_BITS) | DEFAULT_TERRAIN_TYPE;
	for (int32 y = r.y0; y < r.y1; ++y)
	{
		for (int32 x = r.x0; x < r.x1; ++x)
		{
			mesh_cell *cell = &mesh_globals->mesh_cells[y * mesh_globals->mesh_width + x];
			cell->flags = static_cast<uint16>((cell->flags & ~CELL_TERRAIN_MASK) | grass);
		}
	}
}

/* ---------- LOD */

static inline int32 LOD_width(void) { return mesh_globals->mesh_width / 2; }
static inline int32 LOD_height(void) { return mesh_globals->mesh_height / 2; }

static bool map_has_LOD_data(void)
{
	return mesh_globals && mesh_globals->mesh_cells && mesh_globals->mesh_LOD_data &&
		mesh_globals->mesh_LOD_data_size >= 2 && LOD_width() > 0 && LOD_height() > 0;
}

static inline uint16 LOD_word_at(const uint16 *LOD_data, int32 index, int32 count)
{
	// Neighbours beyond the array read its first or last entry.
	if (index < 0) index = 0;
	if (index >= count) index = count - 1;
	return LOD_data[index];
}

void eliminate_cracks_for_coarse_cell(int32 x, int32 y, uint16 *LOD_data, int32 LOD_width, int32 LOD_data_size)
{
	const int32 count = LOD_data_size / static_cast<int32>(sizeof(uint16));
	const int32 index = y * LOD_width + x;
	if (!LOD_data || count < 1 || index < 0 || index >= count) return;

	uint16 word = LOD_data[index];
	if (LOD_word_at(LOD_data, index - LOD_width, count) & _LOD_north_edge_flag) word |= _LOD_south_edge_flag;
	if (LOD_word_at(LOD_data, index + 1, count) & _LOD_west_edge_flag) word |= _LOD_east_edge_flag;
	if (LOD_word_at(LOD_data, index + LOD_width, count) & _LOD_south_edge_flag) word |= _LOD_north_edge_flag;
	if (LOD_word_at(LOD_data, index - 1, count) & _LOD_east_edge_flag) word |= _LOD_west_edge_flag;
	LOD_data[index] = word;
}

// Inclusive coarse rectangle over two cell corners, clamped to the LOD grid.
static void coarse_rectangle(int32 x0, int32 y0, int32 x1, int32 y1, int32 grow, cell_rectangle *r)
{
	r->x0 = PIN(MIN(x0, x1) / 2 - grow, 0, LOD_width() - 1);
	r->x1 = PIN(MAX(x0, x1) / 2 + grow, 0, LOD_width() - 1);
	r->y0 = PIN(MIN(y0, y1) / 2 - grow, 0, LOD_height() - 1);
	r->y1 = PIN(MAX(y0, y1) / 2 + grow, 0, LOD_height() - 1);
}

static inline int32 LOD_vertex_height(int32 x, int32 y)
{
	// Vertices past the east edge step onto the next row; past the north row they read 0.
	return vertex_cell(y * mesh_globals->mesh_width + x)->height;
}

static inline bool departs(int32 corner1, int32 corner2, int32 middle)
{
	const int32 d = corner1 + corner2 - 2 * middle;
	return (d < 0 ? -d : d) > PARALLEL_SLOPE_CUTOFF;
}

static uint16 build_LOD_word(int32 cx, int32 cy)
{
	const int32 x = 2 * cx, y = 2 * cy;
	int32 h[3][3]; // [row][column]
	for (int32 j = 0; j < 3; ++j)
	{
		for (int32 i = 0; i < 3; ++i) h[j][i] = LOD_vertex_height(x + i, y + j);
	}

	uint16 word = 0;
	if (departs(h[0][0], h[0][2], h[0][1])) word |= _LOD_south_edge_flag;
	if (departs(h[0][2], h[2][2], h[1][2])) word |= _LOD_east_edge_flag;
	if (departs(h[2][0], h[2][2], h[2][1])) word |= _LOD_north_edge_flag;
	if (departs(h[0][0], h[2][0], h[1][0])) word |= _LOD_west_edge_flag;
	if (departs(h[2][1], h[0][1], h[1][1]) || departs(h[1][2], h[1][0], h[1][1])) word |= LOD_DETAIL_BITS;

	struct quarter
	{
		int32 dx, dy;
		uint16 edges, visible, first_media, second_media;
	};
	static const quarter quarters[4] = {
		{0, 0, 9, 16, 0x8000, 0x100},  // south-west
		{1, 0, 3, 32, 0x200, 0x400},   // south-east
		{1, 1, 6, 64, 0x1000, 0x800},  // north-east
		{0, 1, 12, 128, 0x4000, 0x2000} // north-west
	};
	for (const quarter &q : quarters)
	{
		const mesh_cell *cell = vertex_cell((y + q.dy) * mesh_globals->mesh_width + x + q.dx);
		if (cell->model_index != NONE) word |= q.edges;
		if (cell->flags & _mesh_cell_is_not_rendered_flag)
			word |= q.edges;
		else
			word |= q.visible;
		if (cell->flags & _mesh_cell_triangle0_is_media_flag) word |= q.first_media;
		if (cell->flags & _mesh_cell_triangle1_is_media_flag) word |= q.second_media;
	}

	if (word & 0x0300) word |= _LOD_south_edge_flag;
	if (word & 0x0C00) word |= _LOD_east_edge_flag;
	if (word & 0x3000) word |= _LOD_north_edge_flag;
	if (word & 0xC000) word |= _LOD_west_edge_flag;

	// A wholly visible, wholly media coarse cell needs no detail.
	if ((word & 0xFFF0) == 0xFFF0) word &= static_cast<uint16>(~LOD_DETAIL_BITS);
	return word;
}

static void eliminate_cracks_in_rectangle(const cell_rectangle *r)
{
	for (int32 cy = r->y0; cy <= r->y1; ++cy)
	{
		for (int32 cx = r->x0; cx <= r->x1; ++cx)
		{
			eliminate_cracks_for_coarse_cell(cx, cy, mesh_globals->mesh_LOD_data, LOD_width(),
				mesh_globals->mesh_LOD_data_size);
		}
	}
}

void recalculate_LOD_for_cell_region(int32 x0, int32 y0, int32 x1, int32 y1)
{
	if (!map_has_LOD_data()) return;
	cell_rectangle r;
	coarse_rectangle(x0, y0, x1, y1, 1, &r);
	for (int32 cy = r.y0; cy <= r.y1; ++cy)
	{
		for (int32 cx = r.x0; cx <= r.x1; ++cx) mesh_globals->mesh_LOD_data[cy * LOD_width() + cx] = build_LOD_word(cx, cy);
	}
	eliminate_cracks_in_rectangle(&r);
}

void make_cell_region_high_LOD(int32 x0, int32 y0, int32 x1, int32 y1)
{
	if (!map_has_LOD_data()) return;
	cell_rectangle r;
	coarse_rectangle(x0, y0, x1, y1, 0, &r);
	for (int32 cy = r.y0; cy <= r.y1; ++cy)
	{
		for (int32 cx = r.x0; cx <= r.x1; ++cx) mesh_globals->mesh_LOD_data[cy * LOD_width() + cx] |= LOD_DETAIL_BITS;
	}

	// The ring around the rectangle takes the new edges.
	for (int32 cy = r.y0 - 1; cy <= r.y1 + 1; ++cy)
	{
		for (int32 cx = r.x0 - 1; cx <= r.x1 + 1; ++cx)
		{
			if (cx >= r.x0 && cx <= r.x1 && cy >= r.y0 && cy <= r.y1) continue;
			if (cx < 0 || cy < 0 || cx >= LOD_width() || cy >= LOD_height()) continue;
			eliminate_cracks_for_coarse_cell(cx, cy, mesh_globals->mesh_LOD_data, LOD_width(),
				mesh_globals->mesh_LOD_data_size);
		}
	}
}

/* ---------- terrain maps */

static int16 submesh_count(void)
{
	return static_cast<int16>(mesh_globals->submesh_width * mesh_globals->submesh_height);
}

static uint8 *submesh_bitmap(int16 submesh, int16 which, boolean write_enable)
{
	if (!mesh_globals || !mesh_globals->mesh_cells || mesh_globals->landscape_collection_index == NONE) return nullptr;
	if (submesh < 0 || submesh >= submesh_count()) return nullptr;
	return get_submesh_bitmap_base_address(mesh_globals->landscape_collection_index,
		static_cast<int16>(2 * submesh + which), write_enable);
}

uint8 *get_submesh_color_map_base_address(int16 submesh, boolean write_enable)
{
	return submesh_bitmap(submesh, 0, write_enable);
}

uint8 *get_submesh_shadow_map_base_address(int16 submesh, boolean write_enable)
{
	return submesh_bitmap(submesh, 1, write_enable);
}

// The byte of texel (x, y) in its submesh's map, NULL off the map.
static uint8 *texel_address(int32 x, int32 y, int16 which, boolean write_enable)
{
	if (!mesh_globals || !mesh_globals->mesh_cells) return nullptr;
	if (x < 0 || y < 0 || x >= mesh_globals->submesh_width * SUBMESH_TEXTURE_SIZE ||
		y >= mesh_globals->submesh_height * SUBMESH_TEXTURE_SIZE)
	{
		return nullptr;
	}
	const int16 submesh = static_cast<int16>((y >> 8) * mesh_globals->submesh_width + (x >> 8));
	uint8 *base = submesh_bitmap(submesh, which, write_enable);
	return base ? base + (y & 255) * SUBMESH_TEXTURE_SIZE + (x & 255) : nullptr;
}

uint8 get_mesh_color_map_pixel(int32 x, int32 y)
{
	const uint8 *pixel = texel_address(x, y, 0, FALSE);
	return pixel ? *pixel : 0;
}

uint8 get_mesh_shadow_map_pixel(int32 x, int32 y)
{
	const uint8 *pixel = texel_address(x, y, 1, FALSE);
	return pixel ? *pixel : 0;
}

void *get_color_map_shading_table(void)
{
	if (!mesh_globals || mesh_globals->landscape_collection_index == NONE) return nullptr;
	return get_mesh_shading_table(mesh_globals->landscape_collection_index);
}

void *get_color_map_blend_table(void)
{
	if (!mesh_globals || mesh_globals->landscape_collection_index == NONE) return nullptr;
	return get_blend_table(mesh_globals->landscape_collection_index);
}

int16 get_mesh_media_projectile_group_type(int16 slot)
{
	if (slot < 0 || slot >= MAXIMUM_NUMBER_OF_MEDIA_DEFINITION_PROJECTILE_GROUPS || !mesh_globals) return NONE;
	const media_definition *media = get_media_definition(mesh_globals->media_type);
	return media ? media->projectile_group_types[slot] : static_cast<int16>(NONE);
}

boolean mesh_coverage_texel_is_media(int32 x, int32 y)
{
	if (!mesh_globals || !mesh_globals->mesh_cells || !mesh_globals->media_coverage_row_starts) return FALSE;
	if (x < 0 || y < 0 || x >= mesh_globals->mesh_width * MESH_TEXELS_PER_CELL ||
		y >= mesh_globals->mesh_height * MESH_TEXELS_PER_CELL)
	{
		return FALSE;
	}
	// Rows were checked at load: each ends in a terminator above every texel.
	const uint16 *toggle = mesh_globals->media_coverage_region + mesh_globals->media_coverage_row_starts[y];
	boolean inside = FALSE;
	while (*toggle < x)
	{
		inside = !inside;
		toggle += 1;
	}
	return inside;
}

/* ---------- stains, blood and media effects */

static void stamp_overlay(int16 collection_index, int16 sequence_index, const world_point2d *p, uint16 index)
{
	permanent_overlay_data overlay;
	overlay.collection_index = static_cast<uint8>(collection_index);
	overlay.sequence_index = static_cast<uint8>(sequence_index);
	overlay.index = index;
	overlay.origin.x = static_cast<int16>(p->x >> 6);
	overlay.origin.y = static_cast<int16>(p->y >> 6);
	rasterize_permanent_overlay(&overlay);
}

void stain_mesh(int16 collection_index, int16 sequence_index, const world_point2d *p)
{
	// The draw happens whatever the renderer does with it: peers must agree.
	const uint16 index = zerv_random();
	stamp_overlay(collection_index, sequence_index, p, index);
}

void local_stain_mesh(int16 collection_index, int16 sequence_index, const world_point2d *p)
{
	stamp_overlay(collection_index, sequence_index, p, local_random());
}

void bloody_mesh(const world_point2d *p)
{
	if (!mesh_globals || !mesh_globals->mesh_cells || mesh_globals->landscape_collection_index == NONE) return;
	const uint8 *remap = static_cast<const uint8 *>(get_remapping_table(mesh_globals->landscape_collection_index));
	if (!remap) return;

	const int32 x = p->x >> 6, y = p->y >> 6;
	if (mesh_texture_pixel_is_media(x, y)) return;

	uint8 *color = texel_address(x, y, 0, TRUE);
	if (!color) return;
	const uint8 remapped = remap[*color];
	if (remapped == *color) return;
	*color = remapped;

	uint8 *shadow = texel_address(x, y, 1, TRUE);
	if (shadow && *shadow > 40) *shadow = static_cast<uint8>((*shadow - 6 - (local_random() & 7)) & 255);
}

// A footprint: the shadow texel under the foot darkens a little unless it
// is already dark. Machine-local, so it draws only the local stream.
// The footprints' shadow map records by submesh, as get_submesh_bitmap found them
// (NULL: ask), for the landscape collection and the generations they were found
// under; the shapes module bumps its generation whenever a record may move or go.
static struct
{
	uint32 side_data_generation, definitions_generation;
	int16 collection_index;
	bitmap_data *bitmaps[MAXIMUM_SUBMESH_WIDTH * MAXIMUM_SUBMESH_HEIGHT];
} kept_shadow_maps = {0, 0, NONE, {}};

// texel_address(x, y, 1, TRUE) by the kept record: the same checks, the same
// record marked changed, the same byte.
static uint8 *footprint_texel_address(int32 x, int32 y)
{
	if (!mesh_globals || !mesh_globals->mesh_cells) return nullptr;
	if (x < 0 || y < 0 || x >= mesh_globals->submesh_width * SUBMESH_TEXTURE_SIZE ||
		y >= mesh_globals->submesh_height * SUBMESH_TEXTURE_SIZE)
	{
		return nullptr;
	}
	const int16 submesh = static_cast<int16>((y >> 8) * mesh_globals->submesh_width + (x >> 8));
	const int16 collection = mesh_globals->landscape_collection_index;
	if (collection == NONE || submesh < 0 || submesh >= submesh_count()) return nullptr;
	if (submesh >= MAXIMUM_SUBMESH_WIDTH * MAXIMUM_SUBMESH_HEIGHT) return texel_address(x, y, 1, TRUE);
	if (kept_shadow_maps.side_data_generation != collection_side_data_generation ||
		kept_shadow_maps.definitions_generation != definitions_generation ||
		kept_shadow_maps.collection_index != collection)
	{
		kept_shadow_maps.side_data_generation = collection_side_data_generation;
		kept_shadow_maps.definitions_generation = definitions_generation;
		kept_shadow_maps.collection_index = collection;
		for (bitmap_data *&bitmap : kept_shadow_maps.bitmaps) bitmap = nullptr;
	}
	bitmap_data *bitmap = kept_shadow_maps.bitmaps[submesh];
	if (!bitmap)
	{
		bitmap = get_submesh_bitmap(collection, static_cast<int16>(2 * submesh + 1));
		if (!bitmap) return nullptr;
		// Asking may build the collection: then only this answer is kept, under
		// the generations the building left.
		if (kept_shadow_maps.side_data_generation != collection_side_data_generation ||
			kept_shadow_maps.definitions_generation != definitions_generation)
		{
			kept_shadow_maps.side_data_generation = collection_side_data_generation;
			kept_shadow_maps.definitions_generation = definitions_generation;
			for (bitmap_data *&other : kept_shadow_maps.bitmaps) other = nullptr;
		}
		kept_shadow_maps.bitmaps[submesh] = bitmap;
	}
	bitmap->flags |= _bitmap_changed_flag;
	uint8 *base = bitmap->row_addresses[0];
	return base ? base + (y & 255) * SUBMESH_TEXTURE_SIZE + (x & 255) : nullptr;
}

void darken_mesh_footprint(const world_point2d *p)
{
	uint8 *shadow = footprint_texel_address(p->x >> 6, p->y >> 6);
	if (shadow && *shadow > 80) *shadow = static_cast<uint8>(*shadow - 6 - (local_random() & 3));
}

static void create_media_surface_effect(int16, const world_point3d *origin)
{
	create_stationary_projectile(mesh_globals->surface_effect_local_projectile_group, origin);
}

void build_media_local_projectile_effects(view_data *view, mesh_region *region)
{
	if (!mesh_globals || !mesh_globals->mesh_cells || !view || !region) return;
	const media_definition *media = get_media_definition(mesh_globals->media_type);
	if (!media || media->surface_effect_local_projectile_group_type == NONE) return;

	mesh_globals->time_until_building_effects =
		static_cast<int16>(mesh_globals->time_until_building_effects - view->game_ticks_elapsed);
	if (mesh_globals->time_until_building_effects >= 0) return;

	for (int32 y = region->y0; y < region->y1; ++y)
	{
		if (y < 0 || y >= mesh_globals->mesh_height || !region->spans) continue;
		const mesh_span *span = &region->spans[y - region->y0];
		for (int32 x = span->x0 > 0 ? span->x0 : 0; x < span->x1 && x < mesh_globals->mesh_width; ++x)
		{
			const mesh_cell *cell = &mesh_globals->mesh_cells[y * mesh_globals->mesh_width + x];
			if ((cell->flags & _mesh_cell_triangle_media_flags) != _mesh_cell_triangle_media_flags) continue;
			for (int16 n = 0; n < media->effects_per_cell; ++n)
			{
				if (local_random() >= media->surface_effect_density) continue;
				world_point3d origin;
				origin.x = x * WORLD_ONE + (local_random() >> 7);
				origin.y = y * WORLD_ONE + (local_random() >> 7);
				origin.z = cell->media_height;
				create_media_surface_effect(media->surface_effect_local_projectile_group_type, &origin);
			}
		}
	}
	mesh_globals->time_until_building_effects = media->time_between_building_effects;
}
