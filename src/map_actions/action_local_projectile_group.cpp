// 'lpgr': starts, fades and ends the visual-only groups placed by markers.
// Groups are local: only markers' visibility flags are shared state, and an
// invisible marker never has a live group, so clearing its flag is alike on
// every machine.
#include "map_actions/presentation_action_procs.h"

#include "local_projectiles.h"
#include "map_actions/map_action_accessors.h"
#include "markers.h"

#define MAXIMUM_LOCAL_PROJECTILE_GROUPS_PER_ACTION 256

uint32 local_projectile_group_action_proc(int16 action_index)
{
	int16 identifiers[MAXIMUM_LOCAL_PROJECTILE_GROUPS_PER_ACTION];
	const int32 count = get_combined_map_action_parameter(action_index, TAG("grou"),
		_parameter_local_projectile_group_identifier, identifiers, MAXIMUM_LOCAL_PROJECTILE_GROUPS_PER_ACTION);
	if (map_action_has_flag(action_index, TAG("__on")))
	{
		for (int32 i = 0; i < count; ++i)
		{
			marker_data *marker = get_marker_by_identifier(_marker_local_projectile_group, identifiers[i]);
			if (!marker || marker->data_index != NONE) continue;
			marker->flags &= ~static_cast<uint32>(_marker_is_invisible_flag);
			new_local_projectile_group_from_marker(marker);
		}
	}
	int16 indexes[MAXIMUM_LOCAL_PROJECTILE_GROUPS_PER_ACTION];
	const int16 live = local_projectile_group_identifiers_to_local_projectile_group_indexes(identifiers, indexes,
		static_cast<int16>(count));
	if (live <= 0) return _map_action_proc_succeeded_flag;
	fixed opacity;
	if (get_map_action_fixed(action_index, TAG("opac"), &opacity))
	{
		for (int16 i = 0; i < live; ++i) set_local_projectile_group_opacity(indexes[i], static_cast<uint16>(PIN(opacity, 0, 65535)));
	}
	if (map_action_has_flag(action_index, TAG("_off")))
	{
		for (int16 i = 0; i < live; ++i) turn_local_projectile_group_off(indexes[i]);
	}
	return _map_action_proc_succeeded_flag;
}
