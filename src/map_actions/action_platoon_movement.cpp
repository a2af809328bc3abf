// 'plmo' and 'plsc': a platoon state that marches the squads along a route,
// guarding ('plmo') or scouting enemy groups ('plsc') on the way.
#include <climits>

#include "map_actions/group_ai_action_procs.h"

#include "alliances.h"
#include "attack_ai.h"
#include "map_actions/map_action_accessors.h"
#include "map_actions/subject_lists.h"
#include "monster_definitions.h"
#include "monsters.h"
#include "spatial_groups.h"
#include "world.h"

#define MAXIMUM_PLATOON_SQUADS MAXIMUM_LOCAL_ACTION_IDENTIFIERS
#define CONGREGATION_WAYPOINT_LIMIT (MAXIMUM_ALLOWED_WAYPOINTS - 1)

enum
{
	_substate_moving,
	_substate_scouting,
	_substate_avoiding,
	_substate_attacking
};

// The group the last scouting test chose; cleared at each 'plsc' run.
static spatial_group *global_group_to_scout = nullptr;

static int16 get_waypoints(int16 action_index, world_point2d *points)
{
	return static_cast<int16>(get_combined_map_action_parameter(action_index, TAG("wayp"), _parameter_world_point2d,
		points, MAXIMUM_ALLOWED_WAYPOINTS));
}

// Leg w runs from point w - 1 to point w; the leg past the last point closes
// a looping route and is empty otherwise.
static void get_leg(int16 action_index, int16 w, world_point2d *start, world_point2d *end)
{
	world_point2d points[MAXIMUM_ALLOWED_WAYPOINTS];
	const int16 count = get_waypoints(action_index, points);
	*start = *end = {0, 0};
	if (count < 1) return;
	const int16 first = static_cast<int16>(PIN(w - 1, 0, count - 1));
	*start = points[first];
	if (w >= 1 && w < count)
	{
		*end = points[w];
	}
	else if (w == count && map_action_has_flag(action_index, TAG("loop")))
	{
		*end = points[0];
	}
	else
	{
		*end = *start;
	}
}

world_point2d interpolate_waypoint(int16 action_index, int16 w, int16 i, int16 n)
{
	world_point2d start, end;
	get_leg(action_index, w, &start, &end);
	const int64 t = n == 0 ? 0 : static_cast<int16>((static_cast<int32>(i) << 8) / n);
	world_point2d result;
	result.x = static_cast<world_distance>(start.x + (((static_cast<int64>(end.x) - start.x) * t) >> 8));
	result.y = static_cast<world_distance>(start.y + (((static_cast<int64>(end.y) - start.y) * t) >> 8));
	return result;
}

int16 compute_number_of_interpolated_waypoints(int16 action_index, int16 w)
{
	world_point2d start, end;
	get_leg(action_index, w, &start, &end);
	world_distance spacing = DEFAULT_INTERPOLANT_SPACING;
	get_indexed_long_integer_parameter(action_index, TAG("spac"), _parameter_world_distance, &spacing, 0);
	// Map data may hold any spacing; a leg always has at least its end point.
	if (spacing < 1) spacing = DEFAULT_INTERPOLANT_SPACING;
	const int32 count = distance2d(&start, &end) / spacing;
	return static_cast<int16>(count < 1 ? 1 : (count > INT16_MAX ? INT16_MAX : count));
}

static int16 find_closest_waypoint(world_point2d point, const world_point2d *points, int16 count)
{
	int16 best = 0;
	int32 best_distance = 0;
	for (int16 k = 0; k < count; ++k)
	{
		const int32 d = distance2d(&point, &points[k]);
		if (k == 0 || d < best_distance)
		{
			best = k;
			best_distance = d;
		}
	}
	return best;
}

static int32 compute_monster_indexes_power(const int16 *indexes, int16 count)
{
	int32 power = 0;
	for (int16 i = 0; i < count; ++i)
	{
		const monster_definition *definition = get_monster_definition_for_monster(indexes[i]);
		if (definition) power += definition->combined_power;
	}
	return power;
}

static int32 test_scout_radius(int16 action_index, world_point2d center, const int16 *indexes, int16 count,
	int32 substate)
{
	global_group_to_scout = nullptr;
	if (count < 1) return _substate_moving;
	world_distance radii[2];
	if (!group_ai::get_two_distances(action_index, TAG("radi"), radii))
	{
		map_action_debug(action_index, "no scout radius");
		return _substate_moving;
	}
	const world_distance scout_radius = radii[1];
	const int16 team = group_ai::list_team(indexes, count);
	const boolean charge = substate == _substate_attacking && map_action_has_flag(action_index, TAG("chrg"));

	spatial_group *best = nullptr;
	int32 best_e = 0, best_f = 0;
	int16 kind = _group_should_be_scouted;
	for (spatial_group *group = first_spatial_group(); group; group = next_spatial_group(group))
	{
		if (!group_ai::is_enemy_group(group, team)) continue;
		const world_point2d group_center = group->center;
		const int32 e = distance2d(&center, &group_center) - group->radius;
		const int32 f = e - group->range;
		int16 group_kind = _group_should_be_scouted;
		if (!charge)
		{
			const monster_definition *definition = get_monster_definition(group->monster_type);
			if (!definition || !(definition->flags & _monster_is_anti_missile_target_flag))
			{
				if (f >= 0) continue;
				group_kind = _group_must_be_avoided;
			}
		}
		if (!best || f < best_f)
		{
			best = group;
			best_e = e;
			best_f = f;
			kind = group_kind;
		}
	}
	if (!best || scout_radius <= best_e) return _substate_moving;

	const world_point2d best_center = best->center;
	const int64 ours = compute_monster_indexes_power(indexes, count);
	int64 theirs = best->power;
	const angle toward_us = arctangent(center.x - best_center.x, center.y - best_center.y);
	if (angular_difference(best->facing, toward_us) > 16384) theirs /= 2;
	int64 ratio = INT32_MAX;
	if (theirs > 0)
	{
		ratio = (ours << 16) / theirs;
		if (ratio > INT32_MAX) ratio = INT32_MAX;
	}

	global_group_to_scout = best;
	int32 result = kind == _group_should_be_scouted ? _substate_scouting : _substate_avoiding;
	if (distance2d(&best_center, &center) >= (best->range >> 1) + 2 * best->radius && !charge &&
		obstructing_group(center, best, team))
	{
		return result;
	}
	if (substate != _substate_attacking)
	{
		const int64 r = zerv_random();
		if (r >= ratio - SCOUTING_OVERKILL_RATIO) return result;
	}
	if (ratio > SCOUTING_OVERKILL_RATIO || kind == _group_should_be_scouted) result = _substate_attacking;
	return result;
}

static void handle_attacking_substate(int16 action_index, int16 platoon, const int16 *indexes, int16 count,
	world_point2d center)
{
	int16 allies[MAXIMUM_LOCAL_ACTION_IDENTIFIERS];
	const int32 ally_count = get_combined_map_action_parameter(platoon, TAG("alli"), _parameter_action_identifier,
		allies, MAXIMUM_LOCAL_ACTION_IDENTIFIERS);
	for (int32 k = 0; k < ally_count; ++k)
	{
		const int16 ally = action_identifier_to_action_index(allies[k]);
		if (get_map_action(ally)) set_unique_map_action_parameter(ally, TAG("#att"), _parameter_flag, 0, nullptr);
	}
	if (count < 1) return;
	attack_ai_configuration configuration;
	parse_attack_ai_configuration(&configuration, action_index);
	configuration.focus = center;
	attack_with_monster_indexes(indexes, count, &configuration);
}

static angle find_best_scouting_position_and_facing(int16 action_index, int32 substate, world_point2d center,
	const int16 *indexes, int16 count, world_point2d *destination)
{
	int32 hint = 0;
	if (substate == _substate_avoiding)
	{
		world_point2d points[MAXIMUM_ALLOWED_WAYPOINTS];
		const int16 point_count = get_waypoints(action_index, points);
		int32 w;
		if (point_count < 1)
		{
			map_action_debug(action_index, "couldn't get waypoints for scouting");
		}
		else if (!get_map_action_integer(action_index, TAG("#wpi"), &w) || w < 0 || w >= point_count)
		{
			map_action_debug(action_index, "couldn't get waypoint index for scouting");
		}
		else
		{
			hint = arctangent(center.x - points[w].x, center.y - points[w].y);
		}
	}
	else if (count > 0)
	{
		const int16 team = group_ai::list_team(indexes, count);
		int64 sum_x = 0, sum_y = 0;
		for (spatial_group *group = first_spatial_group(); group; group = next_spatial_group(group))
		{
			if (group->team_index != team && !teams_are_allied(team, group->team_index)) continue;
			const int64 dx = static_cast<int64>(group->center.x) - center.x;
			const int64 dy = static_cast<int64>(group->center.y) - center.y;
			const int64 square = dx * dx + dy * dy;
			if (square == 0 || square > 163839999) continue;
			const int64 length = group_ai::vector_length(dx, dy);
			sum_x += dx * 65536 / length;
			sum_y += dy * 65536 / length;
		}
		while (sum_x > INT32_MAX || sum_x < -INT32_MAX || sum_y > INT32_MAX || sum_y < -INT32_MAX)
		{
			sum_x /= 2;
			sum_y /= 2;
		}
		hint = arctangent(static_cast<world_distance>(sum_x), static_cast<world_distance>(sum_y));
	}
	const spatial_group *group = global_group_to_scout;
	const world_point2d group_center = group->center;
	const int32 a = arctangent(group_center.x - center.x, group_center.y - center.y);
	const int32 h = static_cast<angle>(hint);
	const int32 turn = a - h;
	int32 delta;
	if (turn > 32768) delta = turn - 32768;
	else if (turn < -32768) delta = turn + 32768;
	else delta = h - a;
	delta = PIN(delta, -FIND_BEST_SCOUTING_DELTA_ANGLE, FIND_BEST_SCOUTING_DELTA_ANGLE);
	const angle facing = static_cast<angle>(a + delta);
	*destination = group_ai::offset_point(group_center, -(static_cast<int64>(group->range) + group->radius), facing);
	return facing;
}

static void handle_scouting_or_avoiding_substate(int16 action_index, int16 platoon, int32 substate,
	world_point2d center, const int16 *indexes, int16 count)
{
	if (!global_group_to_scout) return;
	world_point2d destination;
	const angle facing =
		find_best_scouting_position_and_facing(action_index, substate, center, indexes, count, &destination);
	world_point2d last;
	if (!get_indexed_world_point2d_parameter(action_index, TAG("#lde"), &last, 0) ||
		distance2d(&destination, &last) > MINIMUM_SCOUTING_MOVEMENT)
	{
		generate_platoon_movement_commands(platoon, destination, facing);
		set_unique_map_action_parameter(action_index, TAG("#lde"), _parameter_world_point2d, 1, &destination);
	}
}

static void handle_congregation(int16 action_index, world_point2d center)
{
	world_point2d points[MAXIMUM_ALLOWED_WAYPOINTS + 1];
	if (get_map_action_parameter(nullptr, action_index, _return_empty_arrays_flag, TAG("wayp"),
		_parameter_world_point2d))
	{
		const int16 count = get_waypoints(action_index, points + 1);
		if (count < CONGREGATION_WAYPOINT_LIMIT)
		{
			points[0] = center;
			map_action_debug(action_index, "Adding centerpoint as new starting waypoint");
			group_ai::delete_own_parameters(action_index, TAG("wayp"), _parameter_world_point2d);
			set_unique_map_action_parameter(action_index, TAG("wayp"), _parameter_world_point2d, count + 1, points);
		}
		else
		{
			map_action_error(action_index, "Can't have more than %d waypoints... add waypoint failed.",
				MAXIMUM_ALLOWED_WAYPOINTS);
		}
	}
	else
	{
		map_action_debug(action_index, "Creating new waypoint list for congregation");
		set_unique_map_action_parameter(action_index, TAG("wayp"), _parameter_world_point2d, 1, &center);
	}
	group_ai::delete_own_parameters(action_index, TAG("cong"), _parameter_flag);
}

struct route_position
{
	int32 waypoint_index;
	int32 interpolant_index;
	int32 interpolant_count;
};

// Resuming the moving substate after another one.
static void initialize_internal_movement_variables(int16 action_index, boolean interpolating, world_point2d center,
	const world_point2d *points, int16 count, route_position *position)
{
	if (interpolating)
	{
		position->interpolant_index = 0;
		position->interpolant_count =
			compute_number_of_interpolated_waypoints(action_index, static_cast<int16>(position->waypoint_index));
	}
	else
	{
		position->waypoint_index = find_closest_waypoint(center, points, count);
	}
}

// False while some squad is still on its way.
static boolean update_internal_movement_variables(int16 action_index, int16 platoon, boolean interpolating,
	route_position *position)
{
	if (!get_map_action_parameter(nullptr, platoon, _dont_resolve_links_flag | _return_empty_arrays_flag, TAG("#squ"),
		_parameter_action_identifier))
	{
		map_action_error(action_index, "platoon had no squads parameter");
		return FALSE;
	}
	int16 squads[MAXIMUM_PLATOON_SQUADS];
	const int32 squad_count = get_combined_map_action_parameter(platoon, TAG("#squ"), _parameter_action_identifier,
		squads, MAXIMUM_PLATOON_SQUADS);
	boolean all_done = TRUE;
	for (int32 k = 0; k < squad_count; ++k)
	{
		const int16 squad = action_identifier_to_action_index(squads[k]);
		if (!get_map_action(squad)) continue;
		test_squad_for_elimination(squad);
		if (!(get_map_action(squad)->flags & _map_action_succeeded_flag)) all_done = FALSE;
	}
	if (!all_done) return FALSE;
	// Re-registering clears the squads' success: the next leg starts.
	reset_platoon(platoon);
	// The indexes come from the action's stored fields: a step never wraps them.
	if (interpolating)
	{
		position->interpolant_index = pinned_sum(position->interpolant_index, 1);
		if (position->interpolant_index >= position->interpolant_count)
		{
			position->interpolant_index = 0;
			position->waypoint_index = pinned_sum(position->waypoint_index, 1);
			position->interpolant_count =
				compute_number_of_interpolated_waypoints(action_index, static_cast<int16>(position->waypoint_index));
		}
	}
	else
	{
		position->waypoint_index = pinned_sum(position->waypoint_index, 1);
	}
	return TRUE;
}

static void handle_moving_substate(int16 action_index, int16 platoon, int32 old_substate, world_point2d center)
{
	if (map_action_has_flag(action_index, TAG("cong"))) handle_congregation(action_index, center);
	if (!get_map_action_parameter(nullptr, action_index, _return_empty_arrays_flag, TAG("wayp"),
		_parameter_world_point2d))
	{
		map_action_error(action_index, "no waypoints");
		return;
	}
	world_point2d points[MAXIMUM_ALLOWED_WAYPOINTS];
	const int16 count = get_waypoints(action_index, points);
	const boolean interpolating = map_action_has_flag(action_index, TAG("ntrp")) && count != 1;
	const boolean looping = map_action_has_flag(action_index, TAG("loop"));

	route_position position = {interpolating ? 1 : 0, 0, 0};
	get_map_action_integer(action_index, TAG("#wpi"), &position.waypoint_index);
	if (interpolating)
	{
		get_map_action_integer(action_index, TAG("#iwi"), &position.interpolant_index);
		get_map_action_integer(action_index, TAG("#iwc"), &position.interpolant_count);
	}
	if (old_substate == _substate_moving)
	{
		if (!update_internal_movement_variables(action_index, platoon, interpolating, &position)) return;
	}
	else
	{
		initialize_internal_movement_variables(action_index, interpolating, center, points, count, &position);
	}
	if (looping)
	{
		if (interpolating && position.waypoint_index > count) position.waypoint_index = 1;
		if (!interpolating && position.waypoint_index == count) position.waypoint_index = 0;
	}

	const int32 w = position.waypoint_index;
	const boolean ended = interpolating ? (w < 1 || w > count) : (w < 0 || w >= count);
	if (ended)
	{
		set_map_action_success(action_index);
		set_platoon_state(platoon, NONE);
	}
	else
	{
		world_point2d target;
		angle facing;
		if (!interpolating)
		{
			target = points[w];
			if (count == 1) facing = 0;
			else if (w > 0) facing = arctangent_toward(points[w - 1], target);
			else facing = arctangent_toward(target, points[1]);
		}
		else
		{
			const int16 i = static_cast<int16>(position.interpolant_index);
			const int16 n = static_cast<int16>(position.interpolant_count);
			target = interpolate_waypoint(action_index, static_cast<int16>(w), i, n);
			if (w == 1 && i == 0)
			{
				world_point2d next;
				if (n > 1) next = interpolate_waypoint(action_index, 1, 1, n);
				else next = points[count >= 2 ? 1 : count - 1];
				facing = arctangent_toward(target, next);
			}
			else
			{
				const world_point2d previous = i > 0
					? interpolate_waypoint(action_index, static_cast<int16>(w), static_cast<int16>(i - 1), n)
					: interpolate_waypoint(action_index, static_cast<int16>(w - 1), static_cast<int16>(n - 1), n);
				facing = arctangent_toward(previous, target);
			}
		}
		// Past the scatter list (a looping interpolated route's last leg) there is none.
		world_distance scatter = 0;
		if (get_indexed_long_integer_parameter(action_index, TAG("wayr"), _parameter_world_distance, &scatter, w) &&
			scatter > 0)
		{
			const angle direction = zerv_random();
			const int32 distance = zerv_random() % scatter;
			target = group_ai::offset_point(target, distance, direction);
		}
		generate_platoon_movement_commands(platoon, target, facing);
	}
	set_unique_map_action_parameter(action_index, TAG("#wpi"), _parameter_integer, 1, &position.waypoint_index);
	if (interpolating)
	{
		set_unique_map_action_parameter(action_index, TAG("#iwi"), _parameter_integer, 1, &position.interpolant_index);
		set_unique_map_action_parameter(action_index, TAG("#iwc"), _parameter_integer, 1, &position.interpolant_count);
	}
}

uint32 platoon_movement_action_proc(int16 action_index)
{
	const boolean scouting = get_map_action_tag(action_index) == TAG("plsc");
	int16 platoon_identifier;
	const int16 platoon = get_map_action_identifier_parameter(action_index, TAG("#own"), &platoon_identifier)
		? action_identifier_to_action_index(platoon_identifier)
		: static_cast<int16>(NONE);
	if (!get_map_action(platoon))
	{
		map_action_debug(action_index, "no owner platoon");
		return 0;
	}
	if (!get_map_action_parameter(nullptr, platoon, _dont_resolve_links_flag | _return_empty_arrays_flag, TAG("#squ"),
		_parameter_action_identifier))
	{
		map_action_debug(action_index, "no squads");
		return 0;
	}
	int16 squads[MAXIMUM_PLATOON_SQUADS];
	const int32 squad_count = get_combined_map_action_parameter(platoon, TAG("#squ"), _parameter_action_identifier,
		squads, MAXIMUM_PLATOON_SQUADS);
	int16 identifiers[MAXIMUM_SUBJECT_MONSTERS];
	int32 identifier_count = 0;
	for (int32 k = 0; k < squad_count && identifier_count < MAXIMUM_SUBJECT_MONSTERS; ++k)
	{
		const int16 squad = action_identifier_to_action_index(squads[k]);
		if (!get_map_action(squad)) continue;
		identifier_count += get_combined_map_action_parameter(squad, TAG("subj"), _parameter_monster_identifier,
			identifiers + identifier_count, MAXIMUM_SUBJECT_MONSTERS - identifier_count);
	}
	int16 indexes[MAXIMUM_SUBJECT_MONSTERS];
	const int16 m = monster_identifiers_to_monster_indexes(identifiers, indexes, static_cast<int16>(identifier_count));
	world_point2d center;
	get_centerpoint_of_monster_indexes(m, indexes, &center);

	int32 old_substate = -1;
	get_map_action_integer(action_index, TAG("#sub"), &old_substate);
	int32 substate = old_substate;
	bool called = false;
	if (map_action_has_flag(platoon, TAG("#att")))
	{
		called = true;
		substate = _substate_attacking;
		group_ai::delete_own_parameters(platoon, TAG("#att"), _parameter_flag);
	}
	if (scouting)
	{
		substate = test_scout_radius(action_index, center, indexes, m, substate);
	}
	else
	{
		world_distance radii[2];
		if (m < 1)
		{
			substate = _substate_moving;
		}
		else if (!group_ai::get_two_distances(action_index, TAG("radi"), radii))
		{
			map_action_debug(action_index, "no guard radius");
			substate = _substate_moving;
		}
		else
		{
			// An ally's call counts as attacking already: the march answers it within the outer radius.
			substate = test_guard_radius(center, group_ai::list_team(indexes, m), radii[0], radii[1],
				old_substate == _substate_attacking || called)
				? _substate_attacking
				: _substate_moving;
		}
	}

	switch (substate)
	{
	case _substate_attacking:
		handle_attacking_substate(action_index, platoon, indexes, m, center);
		break;
	case _substate_scouting:
	case _substate_avoiding:
		handle_scouting_or_avoiding_substate(action_index, platoon, substate, center, indexes, m);
		break;
	default:
		handle_moving_substate(action_index, platoon, old_substate, center);
		break;
	}
	if (substate != old_substate)
	{
		set_unique_map_action_parameter(action_index, TAG("#sub"), _parameter_integer, 1, &substate);
	}
	return 0;
}
