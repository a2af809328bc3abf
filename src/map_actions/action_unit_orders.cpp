// Orders from the script: attack ('atta'), general ('gene'), movement
// ('move') and pick-up ('pick'). Every order runs at once with the action's
// identifier (the action's index for target orders) as its command identifier.
#include <cstring>
#include <vector>

#include "attack_ai.h"
#include "map_actions/map_action_accessors.h"
#include "map_actions/map_actions.h"
#include "map_actions/subject_lists.h"
#include "map_actions/unit_order_action_procs.h"
#include "map_actions/unit_query_action_procs.h"
#include "definitions.h"
#include "mesh.h"
#include "monster_commands.h"
#include "monster_definitions.h"
#include "monsters.h"
#include "objects.h"
#include "tags_and_strings.h"
#include "unit_definitions.h"
#include "world.h"
#include "zerv.h"

static bool monster_is_visible(const monster_data *monster)
{
	return !(monster->extra_flags & _monster_is_invisible_extra_flag);
}

static int16 monster_class_of(const monster_data *monster)
{
	const monster_definition *definition = get_monster_definition(monster->type);
	return definition ? definition->monster_class : NONE;
}

static int16 first_object_with_identifier(int16 identifier)
{
	for (int16 i = 0; i < object_array.count; ++i)
	{
		const object_data *object = get_object_data(i);
		if (object && object->identifier == identifier) return i;
	}
	return NONE;
}

/* ---------- 'atta' */

uint32 attack_command_action_proc(int16 action_index)
{
	const bool charm = game_play_version >= 1511 && map_action_has_flag(action_index, TAG("chrm"));
	int16 attackers[MAXIMUM_SUBJECT_MONSTERS];
	int16 attacker_count = get_subject_monster_indexes(action_index, TAG("subj"), MAXIMUM_SUBJECT_MONSTERS, attackers);
	if (!charm) attacker_count = remove_monster_indexes_under_user_control(attackers, attacker_count);
	if (attacker_count <= 0) return 4;
	const int16 command_identifier = get_map_action_identifier(action_index);

	if (map_action_has_flag(action_index, TAG("_all")))
	{
		map_action_debug(action_index, "attacking all nearby units");
		attack_ai_configuration configuration;
		new_attack_ai_configuration(&configuration);
		attack_with_monster_indexes(attackers, attacker_count, &configuration);
		return 2;
	}

	map_action_parameter parameter;
	const bool special = map_action_has_flag(action_index, TAG("spec"));
	if (get_map_action_parameter(&parameter, action_index, _return_empty_arrays_flag, TAG("wayp"),
			_parameter_world_point2d))
	{
		const int32 point_count = count_combined_map_action_parameter(action_index, TAG("wayp"), _parameter_world_point2d);
		if (point_count <= 0)
		{
			map_action_error(action_index, "no points to attack!");
			return 0;
		}
		const uint16 draw = zerv_random();
		world_point2d point = {0, 0};
		get_combined_map_action_element(action_index, TAG("wayp"), _parameter_world_point2d, &point, draw % point_count);
		world_point2d lookup = point;
		if (mesh_globals && mesh_globals->mesh_cells)
		{
			if (lookup.x < 0) lookup.x = 0;
			if (lookup.y < 0) lookup.y = 0;
			if (lookup.x >= mesh_globals->mesh_width * 512) lookup.x = mesh_globals->mesh_width * 512 - 1;
			if (lookup.y >= mesh_globals->mesh_height * 512) lookup.y = mesh_globals->mesh_height * 512 - 1;
		}
		command_attack_location_data data;
		memset(&data, 0, sizeof(data));
		data.flags = static_cast<uint16>(_command_attack_location_from_map_action_flag |
			(special ? _command_attack_location_special_ability_flag : 0));
		data.point.x = point.x;
		data.point.y = point.y;
		data.point.z = get_mesh_height(&lookup, _true_height);
		const mesh_cell *cell = get_mesh_cell(lookup.x >> 9, lookup.y >> 9);
		if (cell && (cell->flags & _mesh_cell_triangle_media_flags) && cell->media_height > data.point.z)
			data.point.z = cell->media_height;
		map_action_debug(action_index, "attacking (%d, %d)", static_cast<int>(point.x), static_cast<int>(point.y));
		handle_attack_location_command(command_identifier, &data, attacker_count, attackers);
		return 2;
	}
	if (get_map_action_parameter(&parameter, action_index, _return_empty_arrays_flag, TAG("proj"),
			_parameter_object_identifier))
	{
		const int32 object_count =
			count_combined_map_action_parameter(action_index, TAG("proj"), _parameter_object_identifier);
		if (object_count <= 0)
		{
			map_action_error(action_index, "no points to attack!");
			return 0;
		}
		const uint16 draw = zerv_random();
		int16 identifier = NONE;
		get_combined_map_action_element(action_index, TAG("proj"), _parameter_object_identifier, &identifier,
			draw % object_count);
		const object_data *object = get_object_data(first_object_with_identifier(identifier));
		if (!object) return 0;
		command_attack_location_data data;
		memset(&data, 0, sizeof(data));
		data.flags = special ? _command_attack_location_special_ability_flag : 0;
		data.point = object->location.position;
		map_action_debug(action_index, "attacking (%d, %d, %d)", static_cast<int>(data.point.x),
			static_cast<int>(data.point.y), static_cast<int>(data.point.z));
		handle_attack_location_command(command_identifier, &data, attacker_count, attackers);
		return 2;
	}

	const int16 limit = monsters_per_command();
	int16 defenders[MAXIMUM_SUBJECT_MONSTERS];
	int16 defender_count = get_subject_monster_indexes(action_index, TAG("obje"), limit, defenders);
	const bool listed = defender_count > 0;
	const monster_data *first_attacker = get_monster_data(attackers[0]);
	int32 team;
	if (get_map_action_integer(action_index, TAG("team"), &team))
	{
		if (listed)
		{
			int16 kept = 0;
			for (int16 i = 0; i < defender_count; ++i)
			{
				const monster_data *monster = get_monster_data(defenders[i]);
				if (monster && monster_is_visible(monster) && monster->owner_team_index == team)
					defenders[kept++] = defenders[i];
			}
			defender_count = kept;
		}
		else
		{
			for (int16 i = 0; i < monster_array.count && defender_count < limit; ++i)
			{
				const monster_data *monster = get_monster_data(i);
				if (!monster || monster->owner_team_index != team || !monster_is_visible(monster) ||
					(monster->extra_flags & _monster_is_ambient_life_extra_flag) ||
					unit_query_is_invisible_observer(monster))
					continue;
				defenders[defender_count++] = i;
			}
		}
		map_action_debug(action_index, "%d defenders match team index %d", static_cast<int>(defender_count),
			static_cast<int>(team));
	}
	int32 kind;
	if (get_map_action_integer(action_index, TAG("type"), &kind))
	{
		if (defender_count > 0)
		{
			int16 kept = 0;
			for (int16 i = 0; i < defender_count; ++i)
			{
				const monster_data *monster = get_monster_data(defenders[i]);
				if (!monster || !monster_is_visible(monster)) continue;
				const bool missile = monster_class_of(monster) == _monster_class_missile;
				if (kind == 0 ? missile : !missile) defenders[kept++] = defenders[i];
			}
			defender_count = kept;
		}
		else
		{
			for (int16 i = 0; i < monster_array.count && defender_count < limit; ++i)
			{
				const monster_data *monster = get_monster_data(i);
				if (!monster || monster_class_of(monster) != kind || !monster_is_visible(monster) ||
					(first_attacker && monster->owner_team_index == first_attacker->owner_team_index) ||
					(monster->extra_flags & _monster_is_ambient_life_extra_flag) ||
					unit_query_is_invisible_observer(monster))
					continue;
				defenders[defender_count++] = i;
			}
		}
		map_action_debug(action_index, "%d defenders matching type %d", static_cast<int>(defender_count),
			static_cast<int>(kind));
	}
	map_action_parameter polygon;
	if (get_map_action_parameter(&polygon, action_index, 0, TAG("poly"), _parameter_world_point2d))
	{
		const bool closed = map_action_has_flag(action_index, TAG("clpo"));
		const bool outside = map_action_has_flag(action_index, TAG("repo"));
		std::vector<world_point2d> polygon_points(static_cast<size_t>(
			MAX(count_combined_map_action_parameter(action_index, TAG("poly"), _parameter_world_point2d), 1)));
		const world_point2d *points = polygon_points.data();
		const int32 n = get_combined_map_action_parameter(action_index, TAG("poly"), _parameter_world_point2d,
			polygon_points.data(), static_cast<int32>(polygon_points.size()));
		int16 kept = 0;
		for (int16 i = 0; i < defender_count; ++i)
		{
			const monster_data *monster = get_monster_data(defenders[i]);
			const object_data *object = monster ? get_object_data(monster->object_index) : nullptr;
			if (!object || !monster_is_visible(monster)) continue;
			const world_point2d p = {object->location.position.x, object->location.position.y};
			if ((point_in_polygon_test(&p, points, n, closed) != FALSE) != outside) defenders[kept++] = defenders[i];
		}
		defender_count = kept;
		map_action_debug(action_index, "%d defenders inside geometry", static_cast<int>(defender_count));
	}
	if (defender_count <= 0)
	{
		map_action_debug(action_index, "attacker count: %d defender count: %d", static_cast<int>(attacker_count),
			static_cast<int>(defender_count));
		return 0;
	}

	if (charm)
	{
		uint32 result = 0;
		definition_globals *units = get_unit_definitions();
		const int16 unit_count = units ? units->count : 0;
		for (int16 i = 0; i < defender_count && first_attacker; ++i)
		{
			const monster_data *defender = get_monster_data(defenders[i]);
			if (!defender || defender->owner_team_index == first_attacker->owner_team_index ||
				defender->owner_player_index == first_attacker->owner_player_index)
				continue;
			int16 found = NONE;
			for (int16 u = 0; found == NONE && u < unit_count; ++u)
			{
				const unit_definition *unit = get_unit_definition(u);
				if (!unit) continue;
				if (unit->player_index == first_attacker->owner_player_index &&
					monster_definition_tag_to_index(unit->monster_tag) == defender->orig_type)
					found = u;
			}
			if (found != NONE)
			{
				change_monster_owner(defenders[i], first_attacker->owner_player_index);
				result = 2;
			}
			else
			{
				map_action_debug(action_index, "defender %s not charmable",
					tag_to_string(get_definition_subgroup(get_monster_definitions(), defender->type)));
			}
		}
		return result;
	}

	command_target_data data;
	data.flags = 0;
	if (map_action_has_flag(action_index, TAG("dore"))) data.flags |= _command_target_dont_override_existing_target_flag;
	if (map_action_has_flag(action_index, TAG("clos"))) data.flags |= _command_target_close_flag;
	if (map_action_has_flag(action_index, TAG("near")))
	{
		data.flags |= _command_target_attack_closest_flag;
		map_action_debug(action_index, "attack closest: attackers: %d defenders: %d", static_cast<int>(attacker_count),
			static_cast<int>(defender_count));
	}
	else if (special)
	{
		data.flags |= _command_target_special_ability_flag;
		map_action_debug(action_index, "special attack: attackers: %d defenders: %d", static_cast<int>(attacker_count),
			static_cast<int>(defender_count));
	}
	else
	{
		map_action_debug(action_index, "normal attack: attackers: %d defenders: %d", static_cast<int>(attacker_count),
			static_cast<int>(defender_count));
	}
	for_each_command_chunk(attacker_count, attackers, [&](const int16 *chunk, int16 chunk_count) {
		handle_target_command(action_index, &data, chunk_count, chunk, defender_count, defenders);
	});
	return 2;
}

/* ---------- 'gene' */

uint32 general_command_action_proc(int16 action_index)
{
	int16 subjects[MAXIMUM_SUBJECT_MONSTERS];
	const int16 count = get_subject_monster_indexes(action_index, TAG("subj"), MAXIMUM_SUBJECT_MONSTERS, subjects);
	if (count <= 0)
	{
		map_action_debug(action_index, "missing or invalid subject field");
		return 0;
	}
	int32 type;
	// A type the executor does not know would be dropped while reporting success.
	if (!get_map_action_integer(action_index, TAG("type"), &type) || type < _command_general_stop ||
		type > _command_general_celebrate)
	{
		map_action_debug(action_index, "missing or invalid type field");
		return 0;
	}
	command_general_data data;
	data.flags = 0;
	data.type = static_cast<int16>(type);
	const int16 command_identifier = get_map_action_identifier(action_index);
	for_each_command_chunk(count, subjects, [&](const int16 *chunk, int16 chunk_count) {
		handle_general_command(command_identifier, &data, chunk_count, chunk);
	});
	return 2;
}

/* ---------- 'move' */

#define CLOSEST_WAYPOINT_FIELD TAG("#clo")

// The waypoint 'clos' chose on an earlier call, while the list the lookup
// finds (wayp) still holds it alone; a list written anew since is chosen from again.
static bool kept_closest_waypoint(int16 action_index, const map_action_parameter *wayp, world_point2d *point)
{
	map_action_parameter kept;
	if (wayp->count != 1 || !get_map_action_parameter(&kept, action_index, _dont_resolve_links_flag,
			CLOSEST_WAYPOINT_FIELD, _parameter_world_point2d) || kept.count != 1)
	{
		return false;
	}
	world_point2d chosen, listed;
	memcpy(&chosen, extract_parameter_array_address(&kept), sizeof(chosen));
	memcpy(&listed, extract_parameter_array_address(wayp), sizeof(listed));
	if (chosen.x != listed.x || chosen.y != listed.y) return false;
	*point = chosen;
	return true;
}

uint32 movement_command_action_proc(int16 action_index)
{
	int16 subjects[MAXIMUM_SUBJECT_MONSTERS];
	int16 count = get_subject_monster_indexes(action_index, TAG("subj"), monsters_per_command(), subjects);
	if (count <= 0)
	{
		map_action_error(action_index, "missing or invalid subject field");
		return 0;
	}
	count = remove_monster_indexes_under_user_control(subjects, count);
	world_point2d waypoints[MAXIMUM_MOVEMENT_WAYPOINTS + 1];
	map_action_parameter parameter;
	int32 waypoint_count = 0;
	bool closest_only = false;
	if (get_map_action_parameter(&parameter, action_index, _return_empty_arrays_flag, TAG("wayp"),
			_parameter_world_point2d))
	{
		waypoint_count = count_combined_map_action_parameter(action_index, TAG("wayp"), _parameter_world_point2d);
		// The rewrite needs a centre of living subjects.
		if (game_play_version >= 1691 && count > 0 && waypoint_count > 0 &&
			map_action_has_flag(action_index, TAG("clos")))
		{
			world_point2d best = {0, 0};
			if (!kept_closest_waypoint(action_index, &parameter, &best))
			{
				world_point2d center;
				get_centerpoint_of_monster_indexes(count, subjects, &center);
				world_distance best_distance = 0;
				for (int32 i = 0; i < waypoint_count; ++i)
				{
					world_point2d p = {0, 0};
					get_combined_map_action_element(action_index, TAG("wayp"), _parameter_world_point2d, &p, i);
					const world_distance d = distance2d(&p, &center);
					if (i == 0 || d < best_distance)
					{
						best = p;
						best_distance = d;
					}
				}
				// The list the lookup finds becomes the one waypoint; the choice is
				// remembered, since other 'wayp' lists (its own or reached through
				// 'link') still hold points that a later call must not choose among.
				get_map_action_parameter(&parameter, action_index, _return_empty_arrays_flag, TAG("wayp"),
					_parameter_world_point2d);
				set_map_action_parameter(&parameter, 1, &best);
				set_unique_map_action_parameter(action_index, CLOSEST_WAYPOINT_FIELD, _parameter_world_point2d, 1, &best);
			}
			// The order takes the chosen point even when the buffer could not keep it.
			waypoints[0] = best;
			waypoint_count = 1;
			closest_only = true;
		}
	}
	if (waypoint_count > MAXIMUM_MOVEMENT_WAYPOINTS)
	{
		map_action_error(action_index, "missing or too many waypoint(s) (maximum %d)", MAXIMUM_MOVEMENT_WAYPOINTS);
		return 0;
	}
	for (int32 i = 0; i < waypoint_count && !closest_only; ++i)
		get_combined_map_action_element(action_index, TAG("wayp"), _parameter_world_point2d, &waypoints[i], i);

	command_movement_data data;
	memset(&data, 0, sizeof(data));
	if (map_action_has_flag(action_index, TAG("cycl"))) data.flags |= _command_movement_loop_flag;
	else if (map_action_has_flag(action_index, TAG("back")))
		data.flags |= _command_movement_loop_flag | _command_movement_loop_back_and_forth_flag;
	if (map_action_has_flag(action_index, TAG("prta"))) data.flags |= _command_movement_preserves_target_index_flag;
	int32 formation;
	if (get_map_action_integer(action_index, TAG("form"), &formation))
	{
		data.flags |= _command_movement_formation_flag;
		data.formation_index = static_cast<int16>(formation);
	}
	int16 faced[MAXIMUM_SUBJECT_MONSTERS];
	const int16 faced_count = get_subject_monster_indexes(action_index, TAG("obfa"), monsters_per_command(), faced);
	if (faced_count > 0 && count > 0)
	{
		world_point2d from, to;
		get_centerpoint_of_monster_indexes(count, subjects, &from);
		get_centerpoint_of_monster_indexes(faced_count, faced, &to);
		data.final_facing = arctangent(to.x - from.x, to.y - from.y);
		data.flags |= _command_movement_final_facing_flag;
	}
	angle facing;
	if (get_indexed_short_integer_parameter(action_index, TAG("fifa"), _parameter_angle, &facing, 0))
	{
		data.final_facing = facing;
		data.flags |= _command_movement_final_facing_flag;
	}
	if (count > 0)
	{
		handle_movement_command(get_map_action_identifier(action_index), &data, count, subjects,
			static_cast<int16>(waypoint_count), waypoints);
	}
	map_action_debug(action_index, "#%d monsters moved", static_cast<int>(count));
	return 0;
}

/* ---------- 'pick' */

uint32 pick_up_object_action_proc(int16 action_index)
{
	int16 subjects[MAXIMUM_SUBJECT_MONSTERS];
	const int16 count = get_subject_monster_indexes(action_index, TAG("subj"), MAXIMUM_SUBJECT_MONSTERS, subjects);
	if (count <= 0)
	{
		map_action_debug(action_index, "no monsters to pick up anything");
		return 0;
	}
	int16 identifiers[MAXIMUM_OBJECTS_PER_PICK_UP_COMMAND], objects[MAXIMUM_OBJECTS_PER_PICK_UP_COMMAND];
	const int32 read = get_combined_map_action_parameter(action_index, TAG("obje"), _parameter_object_identifier,
		identifiers, MAXIMUM_OBJECTS_PER_PICK_UP_COMMAND);
	const int16 object_count = object_identifiers_to_object_indexes(identifiers, objects, static_cast<int16>(read));
	if (object_count <= 0)
	{
		map_action_debug(action_index, "no objects found to pick up");
		return 0;
	}
	const int16 command_identifier = get_map_action_identifier(action_index);
	for (int16 i = 0; i < count; ++i)
	{
		const int16 object_index = objects[i % object_count];
		const object_data *object = get_object_data(object_index);
		if (!object) continue;
		command_pick_up_data data;
		memset(&data, 0, sizeof(data));
		data.object_index = object_index;
		data.object_identifier = object->identifier;
		handle_pick_up_command(command_identifier, &data, 1, &subjects[i]);
	}
	return 0;
}
