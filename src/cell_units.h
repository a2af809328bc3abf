// Walking the units that stand in one mesh cell, through the cell's object
// chain: shared by the spatial groups and the unit procs.
#ifndef CELL_UNITS_H
#define CELL_UNITS_H

#include "mesh.h"
#include "monsters.h"
#include "objects.h"

// Calls visit(object, monster_index, monster) for every unit in the cell whose
// object is visible, in chain order, until it returns false; the walk stops
// after as many steps as there are object slots. False when visit stopped it.
template <typename Visit>
bool for_each_visible_unit_in_cell(const mesh_globals_data *mesh, int32 x, int32 y, Visit visit)
{
	int32 guard = object_array.maximum_count;
	for (int16 object_index = mesh->mesh_cells[y * mesh->mesh_width + x].first_object_index;
		 object_index != NONE && guard-- > 0;)
	{
		const object_data *object = get_object_data(object_index);
		if (!object) break;
		object_index = object->next_object_index;
		if ((object->flags & _object_is_invisible_flag) || object->owner != _object_is_monster) continue;
		const int16 monster_index = object->owner_index;
		const monster_data *monster = get_monster_data(monster_index);
		if (monster && !visit(object, monster_index, monster)) return false;
	}
	return true;
}

// The walk's objects in the walk's order, without its state between calls:
// calls visit(object_index) for each, the next index read before the call.
// For the hottest scans; nothing may relink the chains during the visit.
template <typename Visit>
inline void for_each_object_in_cells(int32 x0, int32 y0, int32 x1, int32 y1, Visit visit)
{
	if (!mesh_globals || !mesh_globals->mesh_cells) return;
	const int32 width = mesh_globals->mesh_width;
	x0 = PIN(x0, 0, width - 1);
	x1 = PIN(x1, 0, width - 1);
	y0 = PIN(y0, 0, mesh_globals->mesh_height - 1);
	y1 = PIN(y1, 0, mesh_globals->mesh_height - 1);
	if (x0 > x1 || y0 > y1) return;
	const uint64 *bits = object_cell_occupancy_row(y0);
	const int32 words_per_row = (width + 63) >> 6;
	const mesh_cell *row = mesh_globals->mesh_cells + static_cast<size_t>(y0) * width;
	const object_data *objects = static_cast<const object_data *>(object_array.data);
	for (int32 y = y0; y <= y1; ++y, bits += words_per_row, row += width)
	{
		// The row's bits from x0 on, 64 cells at a time (once for most squares).
		for (int32 base = x0; base <= x1; base += 64)
		{
			const int32 word = base >> 6, shift = base & 63;
			uint64 occupied = bits[word] >> shift;
			if (shift != 0 && word + 1 < words_per_row) occupied |= bits[word + 1] << (64 - shift);
			const int32 span = x1 - base;
			if (span < 63) occupied &= (uint64{2} << span) - 1;
			while (occupied)
			{
				const int32 x = base + __builtin_ctzll(occupied);
				occupied &= occupied - 1;
				for (int16 object_index = row[x].first_object_index; object_index != NONE;)
				{
					const int16 next = objects[object_index].next_object_index;
					visit(object_index);
					object_index = next;
				}
			}
		}
	}
}

#endif
