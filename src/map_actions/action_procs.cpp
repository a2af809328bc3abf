#include "map_actions/action_procs.h"

#include "map_actions/ambient_life/ambient_life_procs.h"
#include "map_actions/general_action_procs.h"
#include "map_actions/group_ai_action_procs.h"
#include "map_actions/unit_query_action_procs.h"
#include "map_actions/presentation_action_procs.h"
#include "map_actions/unit_ai_action_procs.h"
#include "map_actions/world_object_action_procs.h"
#include "map_actions/unit_order_action_procs.h"

// Rows whose procedure is not built yet hold NULL and count as missing.
const registered_map_action_proc registered_map_action_procs[NUMBER_OF_REGISTERED_MAP_ACTION_PROCS + 1] = {
	{TAG("guar"), guard_group_action_proc},
	{TAG("grou"), group_action_proc},
	{TAG("rout"), rout_action_proc},
	{TAG("spup"), split_up_group_action_proc},
	{TAG("gene"), general_command_action_proc},
	{TAG("move"), movement_command_action_proc},
	{TAG("atta"), attack_command_action_proc},
	{TAG("plat"), platoon_action_proc},
	{TAG("plmo"), platoon_movement_action_proc},
	{TAG("plsc"), platoon_movement_action_proc},
	{TAG("squa"), squad_action_proc},
	{TAG("mung"), munger_action_proc},
	{TAG("soun"), sound_action_proc},
	{TAG("endg"), endgame_action_proc},
	{TAG("tuni"), test_units_action_proc},
	{TAG("ctrl"), unit_control_action_proc},
	{TAG("wand"), wander_action_proc},
	{TAG("acli"), action_list_action_proc},
	{TAG("surr"), surround_action_proc},
	{TAG("look"), look_action_proc},
	{TAG("obmo"), observer_movement_action_proc},
	{TAG("part"), particle_system_action_proc},
	{TAG("snif"), sniffer_action_proc},
	{TAG("goal"), goal_action_proc},
	{TAG("plan"), netgame_time_action_proc},
	{TAG("ngty"), game_type_action_proc},
	{TAG("pick"), pick_up_object_action_proc},
	{TAG("lead"), lead_action_proc},
	{TAG("obco"), object_control_action_proc},
	{TAG("legi"), legion_action_proc},
	{TAG("geom"), geometry_filter_action_proc},
	{TAG("moef"), model_effect_action_proc},
	{TAG("gate"), world_gate_action_proc},
	{TAG("lock"), lock_action_proc},
	{TAG("ambi"), ambient_sound_action_proc},
	{TAG("foll"), follow_action_proc},
	{TAG("mece"), mesh_cell_action_proc},
	{TAG("sham"), shaman_action_proc},
	{TAG("suic"), suicide_action_proc},
	{TAG("mele"), melee_action_proc},
	{TAG("lpgr"), local_projectile_group_action_proc},
	{TAG("girl"), harass_action_proc},
	{TAG("assa"), assassin_action_proc},
	{TAG("invi"), invisible_action_proc},
	{TAG("mean"), meander_action_proc},
	{TAG("ligh"), lightning_action_proc},
	{TAG("dela"), delay_action_proc},
	{TAG("moma"), move_marker_action_proc},
	{TAG("anim"), model_animation_action_proc},
	{TAG("miss"), mission_action_proc},
	{TAG("plyc"), player_count_action_proc},
	{TAG("fade"), ingame_fade_action_proc},
	{TAG("math"), math_action_proc},
	{TAG("chic"), chicken_action_proc},
	{TAG("deer"), deer_action_proc},
	{TAG("soar"), soaring_action_proc},
	{TAG("peas"), peasant_action_proc},
	{static_cast<action_tag>(NONE), nullptr},
};

void initialize_action_procs(void)
{
}

action_proc_pointer action_tag_to_action_proc(action_tag tag)
{
	for (int32 i = 0; i < NUMBER_OF_REGISTERED_MAP_ACTION_PROCS; ++i)
	{
		if (registered_map_action_procs[i].tag == tag) return registered_map_action_procs[i].action_proc;
	}
	return nullptr;
}
