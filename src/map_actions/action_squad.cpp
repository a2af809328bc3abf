// 'squa': one squad of a platoon registers with its owner; the platoon's
// states move it relative to the platoon's reference frame.
#include "map_actions/group_ai_action_procs.h"

#include "commands.h"
#include "map_actions/map_action_accessors.h"
#include "map_actions/subject_lists.h"
#include "monsters.h"
#include "world.h"

static int16 get_squad_monster_indexes(int16 squad_action_index, int16 *indexes)
{
	return get_subject_monster_indexes(squad_action_index, TAG("subj"), monsters_per_command(), indexes);
}

uint32 squad_action_proc(int16 action_index)
{
	int16 owner_identifier;
	const int16 owner = get_map_action_identifier_parameter(action_index, TAG("#owp"), &owner_identifier)
		? action_identifier_to_action_index(owner_identifier)
		: static_cast<int16>(NONE);
	if (!get_map_action(owner))
	{
		map_action_debug(action_index, "no owner");
		return 0;
	}
	map_action_parameter squads;
	if (!get_map_action_parameter(&squads, owner, _dont_resolve_links_flag | _return_empty_arrays_flag, TAG("#squ"),
		_parameter_action_identifier))
	{
		map_action_debug(action_index, "owner platoon has no squads parameter");
		return 0;
	}
	const int16 identifier = get_map_action_identifier(action_index);
	append_to_map_action_parameter(&squads, 1, &identifier);
	return 0;
}

void test_squad_for_elimination(int16 squad_action_index)
{
	int16 indexes[MAXIMUM_MONSTERS_PER_COMMAND];
	if (get_squad_monster_indexes(squad_action_index, indexes) < 1) set_map_action_success(squad_action_index);
}

// A slot moved by the platoon's march, summed wide and pinned: a script's far
// points must not wrap.
static world_distance shifted_coordinate(world_distance slot, world_distance origin, world_distance destination)
{
	return pinned_to_32_bits(static_cast<int64>(slot) + destination - origin);
}

void generate_squad_movement_commands(int16 squad_action_index, world_point2d platoon_origin,
	world_point2d platoon_destination, angle platoon_facing, angle final_facing)
{
	if (!get_map_action(squad_action_index) || get_map_action_tag(squad_action_index) != TAG("squa"))
	{
		map_action_debug(squad_action_index, "isn't a squad action!");
		set_map_action_success(squad_action_index);
		return;
	}
	int16 indexes[MAXIMUM_MONSTERS_PER_COMMAND];
	const int16 m = get_squad_monster_indexes(squad_action_index, indexes);
	if (m < 1)
	{
		set_map_action_success(squad_action_index);
		return;
	}
	int16 facing = 0;
	get_indexed_short_integer_parameter(squad_action_index, TAG("faci"), _parameter_angle, &facing, 0);
	world_point2d place;
	if (!get_indexed_world_point2d_parameter(squad_action_index, TAG("cent"), &place, 0))
	{
		map_action_debug(squad_action_index, "missing facing or centerpoint");
		set_map_action_success(squad_action_index);
		return;
	}
	int32 formation;
	if (!get_map_action_integer(squad_action_index, TAG("form"), &formation))
	{
		map_action_debug(squad_action_index, "no formation index");
		set_map_action_success(squad_action_index);
		return;
	}
	rotate_point2d(&place, &platoon_origin, static_cast<angle>(platoon_facing - final_facing));
	place.x = shifted_coordinate(place.x, platoon_origin.x, platoon_destination.x);
	place.y = shifted_coordinate(place.y, platoon_origin.y, platoon_destination.y);
	group_ai::move_monsters(get_map_action_identifier(squad_action_index),
		_command_movement_formation_flag | _command_movement_final_facing_flag, static_cast<int16>(formation),
		static_cast<angle>(final_facing + facing), indexes, m, place);
}
