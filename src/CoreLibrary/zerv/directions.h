// The nine grid directions and their cell steps (north is +y, east +x).
#ifndef DIRECTIONS_H
#define DIRECTIONS_H

#include "cseries.h"

enum
{
	_direction_northeast,
	_direction_southeast,
	_direction_southwest,
	_direction_northwest,
	NUMBER_OF_DIAGONALS,

	_direction_north = NUMBER_OF_DIAGONALS,
	_direction_east,
	_direction_south,
	_direction_west,
	NUMBER_OF_DIRECTIONS,

	_direction_none = NUMBER_OF_DIRECTIONS,
	TOTAL_NUMBER_OF_DIRECTIONS,

	FIRST_ORTHOGONAL_DIRECTION = _direction_north,
	LAST_ORTHOGONAL_DIRECTION = _direction_west
};

#define NUMBER_OF_MESH_SUBDIVISION_DIRECTIONS 4
#define NUMBER_OF_TRIANGLE_DIRECTIONS 3

enum
{
	_direction_primary_triangle,
	_direction_secondary_triangle
};

extern const int16 direction_delta_x[TOTAL_NUMBER_OF_DIRECTIONS];
extern const int16 direction_delta_y[TOTAL_NUMBER_OF_DIRECTIONS];
// The same steps as offsets into a row-major cell array of the current mesh.
extern int16 direction_delta_cell[TOTAL_NUMBER_OF_DIRECTIONS];

void recalculate_mesh_deltas(int32 mesh_width);

#endif
