#include "map_actions/action_procs.h"

#include "map_actions/general_action_procs.h"
#include "map_actions/unit_order_action_procs.h"
#include "map_actions/unit_query_action_procs.h"
#include "map_actions/world_object_action_procs.h"

// Rows whose procedure is not built yet hold NULL and count as missing.
const registered_map_action_proc registered_map_action_procs[NUMBER_OF_REGISTERED_MAP_ACTION_PROCS + 1] = {
	{TAG("guar"), nullptr},
	{TAG("grou"), nullptr},
	{TAG("rout"), nullptr},
	{TAG("spup"), nullptr},
	{TAG("gene"), general_command_action_proc},
	{TAG("move"), movement_command_action_proc},
	{TAG("atta"), attack_command_action_proc},
	{TAG("plat"), nullptr},
	{TAG("plmo"), nullptr},
	{TAG("plsc"), nullptr},
	{TAG("squa"), nullptr},
	{TAG("mung"), munger_action_proc},
	{TAG("soun"), nullptr},
	{TAG("endg"), endgame_action_proc},
	{TAG("tuni"), test_units_action_proc},
	{TAG("ctrl"), unit_control_action_proc},
	{TAG("wand"), nullptr},
	{TAG("acli"), action_list_action_proc},
	{TAG("surr"), nullptr},
	{TAG("look"), nullptr},
	{TAG("obmo"), nullptr},
	{TAG("part"), nullptr},
	{TAG("snif"), sniffer_action_proc},
	{TAG("goal"), goal_action_proc},
	{TAG("plan"), netgame_time_action_proc},
	{TAG("ngty"), game_type_action_proc},
	{TAG("pick"), pick_up_object_action_proc},
	{TAG("lead"), nullptr},
	{TAG("obco"), object_control_action_proc},
	{TAG("legi"), nullptr},
	{TAG("geom"), geometry_filter_action_proc},
	{TAG("moef"), model_effect_action_proc},
	{TAG("gate"), world_gate_action_proc},
	{TAG("lock"), lock_action_proc},
	{TAG("ambi"), nullptr},
	{TAG("foll"), nullptr},
	{TAG("mece"), mesh_cell_action_proc},
	{TAG("sham"), nullptr},
	{TAG("suic"), nullptr},
	{TAG("mele"), nullptr},
	{TAG("lpgr"), nullptr},
	{TAG("girl"), nullptr},
	{TAG("assa"), nullptr},
	{TAG("invi"), nullptr},
	{TAG("mean"), nullptr},
	{TAG("ligh"), nullptr},
	{TAG("dela"), delay_action_proc},
	{TAG("moma"), move_marker_action_proc},
	{TAG("anim"), model_animation_action_proc},
	{TAG("miss"), mission_action_proc},
	{TAG("plyc"), player_count_action_proc},
	{TAG("fade"), nullptr},
	{TAG("math"), math_action_proc},
	{TAG("chic"), nullptr},
	{TAG("deer"), nullptr},
	{TAG("soar"), nullptr},
	{TAG("peas"), nullptr},
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
