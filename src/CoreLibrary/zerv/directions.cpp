#include "directions.h"

const int16 direction_delta_x[TOTAL_NUMBER_OF_DIRECTIONS] = {1, 1, -1, -1, 0, 1, 0, -1, 0};
const int16 direction_delta_y[TOTAL_NUMBER_OF_DIRECTIONS] = {1, -1, -1, 1, 1, 0, -1, 0, 0};
int16 direction_delta_cell[TOTAL_NUMBER_OF_DIRECTIONS];

void recalculate_mesh_deltas(int32 mesh_width)
{
	for (int32 d = 0; d < TOTAL_NUMBER_OF_DIRECTIONS; ++d)
	{
		// Kept in 16 bits as stored; computed wide so a large width cannot overflow first.
		int64 delta = static_cast<int64>(mesh_width) * direction_delta_y[d] + direction_delta_x[d];
		direction_delta_cell[d] = static_cast<int16>(delta);
	}
}
