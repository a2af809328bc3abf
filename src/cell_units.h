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

#endif
