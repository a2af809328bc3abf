// The unit procs' lists of units and their walks over the mesh, shared by
// procs whose records differ: each record's unit type has `monster_index`
// and `monster_identifier` (and `delay` where units start hidden).
#ifndef UNIT_AI_LISTS_H
#define UNIT_AI_LISTS_H

#include "cell_units.h"
#include "map_actions/map_action_accessors.h"
#include "map_actions/map_actions.h"
#include "map_actions/unit_ai_action_procs.h"
#include "mesh.h"
#include "monsters.h"
#include "objects.h"

// Runs the action's 'casu' list: one of its units was lost.
inline void unit_ai_casualty(int16 action_index)
{
	call_functions_with_actions_in_parameter(activate_map_action, action_index, TAG("casu"));
}

// Keeps, in order, the units whose identifier still names a living unit; a
// 'casu' run for each one lost. Returns the count kept.
template <typename Unit>
int16 unit_ai_keep_living_units(int16 action_index, Unit *units, int16 count)
{
	int16 kept = 0;
	for (int16 i = 0; i < count; ++i)
	{
		if (unit_ai_living_unit(units[i].monster_index, units[i].monster_identifier))
			units[kept++] = units[i];
		else
			unit_ai_casualty(action_index);
	}
	return kept;
}

// Keeps, in order, the units still waiting and those whose delay has ended,
// once shown by their markers' identifiers, that still live; lost(i) runs
// for a shown unit found dead, while a unit no marker shows just leaves.
// *team becomes the last living unit's team. Returns the count kept.
template <typename Unit, typename Lost>
int16 unit_ai_keep_shown_units(Unit *units, int16 count, int16 *team, Lost lost)
{
	int16 kept = 0;
	for (int16 i = 0; i < count; ++i)
	{
		Unit unit = units[i];
		if (unit.delay == 0)
		{
			if (unit.monster_index == NONE) unit.monster_index = make_monster_visible(unit.monster_identifier, NONE);
			if (unit.monster_index == NONE) continue;
			const monster_data *monster = unit_ai_living_unit(unit.monster_index, unit.monster_identifier);
			if (!monster)
			{
				lost(i);
				continue;
			}
			*team = monster->owner_team_index;
		}
		units[kept++] = unit;
	}
	return kept;
}

// An emptied list ends the action; the record is stored as it stands.
template <typename Record>
bool unit_ai_list_emptied(int16 action_index, const Record &record)
{
	if (record.unit_count != 0) return false;
	set_unique_map_action_parameter(action_index, TAG("#glo"), _parameter_character, sizeof(record), &record);
	return true;
}

// Calls visit(object, unit) for every unit in the cell whose object is
// visible and whose team is not `team`, in chain order.
template <typename Visit>
void unit_ai_for_each_other_team_unit_in_cell(const mesh_globals_data *mesh, int32 x, int32 y, int16 team, Visit visit)
{
	for_each_visible_unit_in_cell(mesh, x, y, [&](const object_data *object, int16, const monster_data *other) {
		if (other->owner_team_index != team) visit(object, other);
		return true;
	});
}

#endif
