// 'part': the weather's state and density.
#include "map_actions/presentation_action_procs.h"

#include "map_actions/map_action_accessors.h"
#include "particle_system.h"

uint32 particle_system_action_proc(int16 action_index)
{
	uint32 result = 0;
	if (map_action_has_flag(action_index, TAG("swit")))
	{
		switch_snowing_states();
		map_action_debug(action_index, "Switching particle system state");
		result = _map_action_proc_succeeded_flag;
	}
	fixed multiplier;
	if (get_map_action_fixed(action_index, TAG("mult"), &multiplier))
	{
		// 16.16 to 8.8, held within 16 bits.
		set_target_particle_number_multiplier(static_cast<short_fixed>(PIN(multiplier >> 8, INT16_MIN, INT16_MAX)));
		map_action_debug(action_index, "changing target particle number multiplier");
		result = _map_action_proc_succeeded_flag;
	}
	return result;
}
