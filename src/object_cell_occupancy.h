// Checks of the bits of occupied cells that objects.cpp keeps beside the cell chains.
#ifndef OBJECT_CELL_OCCUPANCY_H
#define OBJECT_CELL_OCCUPANCY_H

#include "cseries.h"

// Cells heading a chain without their bit (never any); stale_bits gets the
// bits over empty cells, which a wholesale reset of the heads leaves behind.
int32 object_cell_occupancy_missing_bits(int32 *stale_bits);

#endif
