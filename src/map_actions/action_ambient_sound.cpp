// 'ambi': fades ambient sound sources to a new volume.
#include "map_actions/presentation_action_procs.h"

#include "map_actions/map_action_accessors.h"
#include "sound/sound_manager.h"
#include "zerv.h"

uint32 ambient_sound_action_proc(int16 action_index)
{
	int16 sources[MAXIMUM_SOUND_SOURCES_PER_ACTION_PROC];
	const int32 count = get_combined_map_action_parameter(action_index, TAG("subj"), _parameter_sound_source_identifier,
		sources, MAXIMUM_SOUND_SOURCES_PER_ACTION_PROC);
	if (count <= 0)
	{
		map_action_error(action_index, "missing sound source identifier list");
		return 0;
	}
	fixed volume, seconds;
	if (!get_map_action_fixed(action_index, TAG("volu"), &volume))
	{
		map_action_error(action_index, "missing volume");
		return 0;
	}
	if (!get_map_action_fixed(action_index, TAG("dura"), &seconds))
	{
		map_action_error(action_index, "missing fade duration");
		return 0;
	}
	// Held within 16 bits rather than wrapped.
	const int16 level = static_cast<int16>(PIN(volume >> 8, 0, INT16_MAX));
	const int16 ticks = static_cast<int16>(PIN((static_cast<int64>(seconds) * TICKS_PER_SECOND) >> 16, 0, INT16_MAX));
	for (int32 i = 0; i < count; ++i)
	{
		map_action_debug(action_index, "setting ambient sound identifier %d volume to 0x%x over %d ticks", sources[i],
			static_cast<unsigned>(level), ticks);
		adjust_ambient_sound_source_volume(sources[i], level, ticks);
	}
	return 0;
}
