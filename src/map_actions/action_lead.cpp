// 'lead': a leader walks ahead of a group toward a target, waits for it,
// beckons it on, and flees from enemies near where it is going.
#include <cstring>

#include "map_actions/group_ai_action_procs.h"

#include "map_actions/map_action_accessors.h"
#include "map_actions/subject_lists.h"
#include "monsters.h"
#include "objects.h"
#include "world.h"
#include "zerv.h"

#define MAXIMUM_ACTION_IDENTIFIERS_PER_LIST 5
#define MAXIMUM_TARGET_POINTS 16
#define DEFAULT_RANGE_AT_TARGET 1024
#define DEFAULT_YELLING_LOWER_BOUND 120
#define DEFAULT_YELLING_DELTA 0
#define DEFAULT_BECKONING_LOWER_BOUND 120
#define DEFAULT_BECKONING_DELTA 0
#define DEFAULT_MINIMUM_RADIUS_BEFORE_FLEEING 3072
#define DEFAULT_FLEEING_RADIUS 1024

enum
{
	_target_is_waypoint,
	_target_is_monster,
	_target_is_object,
	NUMBER_OF_TARGET_TYPES
};

enum
{
	_state_waiting,
	_state_leading
};

enum
{
	_deactivate_reason_none = -1,
	_deactivate_reason_error,
	_deactivate_reason_group_died,
	_deactivate_reason_leader_died,
	_deactivate_reason_target_is_gone,
	_deactivate_reason_success
};

namespace {

// Rebuilt on every run; only the six counters persist, in parameters.
struct leading_data
{
	int16 target_type;
	int16 state;
	int16 deactivate_reason;
	int16 leader_index;
	int32 yelling_lower_bound, yelling_delta, next_yell_time, maximum_yells, yells_remaining;
	int32 beckoning_lower_bound, beckoning_delta, next_beckon_time, maximum_beckons, beckons_remaining;
	world_point2d group_center;
	world_point2d nearest_led_location;
	world_distance range_to_target;
	world_distance minimum_range, desired_range, maximum_range;
	world_distance minimum_radius_before_fleeing, fleeing_radius;
	world_point2d target_points[MAXIMUM_TARGET_POINTS];
	int32 target_point_count;
	int32 current_target_point;
};

int32 integer_or(int16 action_index, field_tag field_name, int32 value)
{
	get_map_action_integer(action_index, field_name, &value);
	return value;
}

world_distance distance_or(int16 action_index, field_tag field_name, world_distance value)
{
	get_indexed_long_integer_parameter(action_index, field_name, _parameter_world_distance, &value, 0);
	return value;
}

void read_bounds(int16 action_index, field_tag field_name, int32 lower, int32 *lower_bound, int32 *delta)
{
	int32 values[2];
	map_action_parameter parameter;
	if (get_map_action_parameter(&parameter, action_index, 0, field_name, _parameter_integer) && parameter.count == 2 &&
		get_combined_map_action_parameter(action_index, field_name, _parameter_integer, values, 2) == 2)
	{
		*lower_bound = values[0];
		*delta = values[1];
	}
	else
	{
		*lower_bound = lower;
		*delta = 0;
	}
}

// The living unit of another team (not neutral) strictly nearest the point.
int16 find_nearest_enemy_to_point(world_point2d point, int16 team_index, int32 *distance)
{
	int16 best = NONE;
	for (int16 i = 0; i < monster_array.count; ++i)
	{
		const monster_data *monster = get_monster_data(i);
		if (!monster || (monster->flags & _monster_has_left_the_mesh_flag)) continue;
		if (monster->owner_team_index == team_index || monster->owner_team_index == NONE) continue;
		const world_point2d location = group_ai::monster_location(i);
		const int32 d = distance2d(&location, &point);
		if (best == NONE || d < *distance)
		{
			best = i;
			*distance = d;
		}
	}
	return best;
}

void activate_list(int16 action_index, field_tag field_name)
{
	group_ai::activate_actions_in_list(action_index, field_name, MAXIMUM_ACTION_IDENTIFIERS_PER_LIST);
}

// A yell or a beckon, when its delay has run out and some remain.
void call_out(int16 action_index, field_tag actions, int32 lower_bound, int32 delta, int32 *next_time, int32 *remaining)
{
	const int32 now = game->game_time;
	if (*next_time >= now || !(*remaining > 0 || *remaining == -1)) return;
	activate_list(action_index, actions);
	int32 extra = 0;
	if (delta > 0) extra = static_cast<int32>((static_cast<int64>(zerv_random()) * delta) >> 16);
	*next_time = now + lower_bound + extra;
	if (*remaining > 0) *remaining -= 1;
}

void order_leader(int16 action_index, int16 leader, world_point2d destination)
{
	group_ai::move_monsters(get_map_action_identifier(action_index), 0, 0, 0, &leader, 1, destination);
}

} // namespace

uint32 lead_action_proc(int16 action_index)
{
	leading_data data;
	memset(&data, 0, sizeof(data));
	data.deactivate_reason = _deactivate_reason_none;

	int16 led[MAXIMUM_SUBJECT_MONSTERS];
	const int16 m = get_subject_monster_indexes(action_index, TAG("subj"), MAXIMUM_SUBJECT_MONSTERS, led);
	if (m < 1)
	{
		data.deactivate_reason = _deactivate_reason_group_died;
		map_action_debug(action_index, "group to be led appears to be dead");
	}

	int16 leader_identifier = 0;
	int32 target_type = 0;
	if (!get_indexed_short_integer_parameter(action_index, TAG("lead"), _parameter_monster_identifier,
		&leader_identifier, 0))
	{
		map_action_error(action_index, "missing or invalid leader monster identifier");
		data.deactivate_reason = _deactivate_reason_error;
	}
	else if (!get_indexed_long_integer_parameter(action_index, TAG("mira"), _parameter_world_distance,
		&data.minimum_range, 0))
	{
		map_action_error(action_index, "missing or invalid minimum range");
		data.deactivate_reason = _deactivate_reason_error;
	}
	else if (!get_indexed_long_integer_parameter(action_index, TAG("dera"), _parameter_world_distance,
		&data.desired_range, 0))
	{
		map_action_error(action_index, "missing or invalid desired range");
		data.deactivate_reason = _deactivate_reason_error;
	}
	else if (!get_indexed_long_integer_parameter(action_index, TAG("mara"), _parameter_world_distance,
		&data.maximum_range, 0))
	{
		map_action_error(action_index, "missing or invalid maximum range");
		data.deactivate_reason = _deactivate_reason_error;
	}
	else if (data.minimum_range > data.desired_range || data.desired_range > data.maximum_range)
	{
		map_action_error(action_index, "min range must be <= desired range <= max range");
		data.deactivate_reason = _deactivate_reason_error;
	}
	else if (!get_map_action_integer(action_index, TAG("type"), &target_type) || target_type < 0 ||
		target_type >= NUMBER_OF_TARGET_TYPES)
	{
		map_action_error(action_index, "missing target type");
		data.deactivate_reason = _deactivate_reason_error;
	}
	data.target_type = static_cast<int16>(target_type);

	world_point2d leader_location = {0, 0};
	int16 leader_team = NONE;
	if (data.deactivate_reason == _deactivate_reason_none)
	{
		int16 leader = NONE;
		if (monster_identifiers_to_monster_indexes(&leader_identifier, &leader, 1) < 1)
		{
			data.deactivate_reason = _deactivate_reason_leader_died;
			map_action_debug(action_index, "leader monster appears to be dead");
		}
		else
		{
			data.leader_index = leader;
			leader_location = group_ai::monster_location(leader);
			leader_team = get_monster_data(leader)->owner_team_index;
			int32 nearest = 0;
			int64 sum_x = 0, sum_y = 0;
			for (int16 k = 0; k < m; ++k)
			{
				const world_point2d p = group_ai::monster_location(led[k]);
				const int32 d = distance2d(&p, &leader_location);
				if (k == 0 || d < nearest)
				{
					nearest = d;
					data.nearest_led_location = p;
				}
				sum_x += p.x / m;
				sum_y += p.y / m;
			}
			data.group_center.x = static_cast<world_distance>(sum_x);
			data.group_center.y = static_cast<world_distance>(sum_y);
		}
	}

	if (data.deactivate_reason == _deactivate_reason_none)
	{
		data.range_to_target = distance_or(action_index, TAG("rata"), DEFAULT_RANGE_AT_TARGET);
		read_bounds(action_index, TAG("deby"), DEFAULT_YELLING_LOWER_BOUND, &data.yelling_lower_bound,
			&data.yelling_delta);
		read_bounds(action_index, TAG("debe"), DEFAULT_BECKONING_LOWER_BOUND, &data.beckoning_lower_bound,
			&data.beckoning_delta);
		data.maximum_yells = integer_or(action_index, TAG("yect"), -1);
		data.maximum_beckons = integer_or(action_index, TAG("bect"), -1);
		data.minimum_radius_before_fleeing =
			distance_or(action_index, TAG("mrbf"), DEFAULT_MINIMUM_RADIUS_BEFORE_FLEEING);
		data.fleeing_radius = distance_or(action_index, TAG("flra"), DEFAULT_FLEEING_RADIUS);

		if (data.target_type == _target_is_monster)
		{
			int16 identifier, index;
			if (!get_indexed_short_integer_parameter(action_index, TAG("mons"), _parameter_monster_identifier,
				&identifier, 0))
			{
				map_action_error(action_index, "missing target monster parameter");
				data.deactivate_reason = _deactivate_reason_error;
			}
			else if (monster_identifiers_to_monster_indexes(&identifier, &index, 1) < 1)
			{
				map_action_debug(action_index, "target monster is dead");
				data.deactivate_reason = _deactivate_reason_target_is_gone;
			}
			else
			{
				data.target_points[0] = group_ai::monster_location(index);
				data.target_point_count = 1;
			}
		}
		else if (data.target_type == _target_is_object)
		{
			int16 identifier, index;
			if (!get_indexed_short_integer_parameter(action_index, TAG("obje"), _parameter_object_identifier,
				&identifier, 0))
			{
				map_action_error(action_index, "missing target object parameter");
				data.deactivate_reason = _deactivate_reason_error;
			}
			else if (object_identifiers_to_object_indexes(&identifier, &index, 1) < 1 || !get_object_data(index))
			{
				map_action_debug(action_index, "cannot find target object");
				data.deactivate_reason = _deactivate_reason_target_is_gone;
			}
			else
			{
				const object_data *object = get_object_data(index);
				data.target_points[0] = {object->location.position.x, object->location.position.y};
				data.target_point_count = 1;
				if (object->flags & _object_is_invisible_flag)
				{
					for (int16 i = 0; i < monster_array.count; ++i)
					{
						const monster_data *carrier = get_monster_data(i);
						if (!carrier || carrier->carrying_object_index != index ||
							(carrier->flags & _monster_has_left_the_mesh_flag))
						{
							continue;
						}
						data.target_points[0] = group_ai::monster_location(i);
						if (carrier->owner_team_index == leader_team)
						{
							map_action_debug(action_index, "Friendly monster picked up target object");
							data.deactivate_reason = _deactivate_reason_success;
						}
						break;
					}
				}
			}
		}
		else
		{
			map_action_parameter parameter;
			if (!get_map_action_parameter(&parameter, action_index, 0, TAG("wayp"), _parameter_world_point2d))
			{
				map_action_error(action_index, "missing or invalid waypoint");
				data.deactivate_reason = _deactivate_reason_error;
			}
			else if (parameter.count >= MAXIMUM_TARGET_POINTS)
			{
				map_action_error(action_index, "Can't have more than %d waypoints", MAXIMUM_TARGET_POINTS);
				data.deactivate_reason = _deactivate_reason_error;
			}
			else
			{
				data.target_point_count = get_combined_map_action_parameter(action_index, TAG("wayp"),
					_parameter_world_point2d, data.target_points, MAXIMUM_TARGET_POINTS - 1);
				if (data.target_point_count < 1)
				{
					map_action_error(action_index, "missing or invalid waypoint");
					data.deactivate_reason = _deactivate_reason_error;
				}
			}
		}
	}

	if (data.deactivate_reason == _deactivate_reason_none)
	{
		data.state = static_cast<int16>(integer_or(action_index, TAG("#stt"), _state_leading));
		data.next_yell_time = integer_or(action_index, TAG("#tye"), 0);
		data.yells_remaining = integer_or(action_index, TAG("#yel"), data.maximum_yells);
		data.next_beckon_time = integer_or(action_index, TAG("#tbe"), 0);
		data.beckons_remaining = integer_or(action_index, TAG("#bec"), data.maximum_beckons);
		// Map data may hold any index: clamp it to the points there are.
		data.current_target_point = PIN(integer_or(action_index, TAG("#way"), 0), 0, data.target_point_count - 1);

		const world_point2d current = data.target_points[data.current_target_point];
		if (distance2d(&leader_location, &current) < data.range_to_target)
		{
			data.current_target_point += 1;
			if (data.current_target_point >= data.target_point_count)
			{
				map_action_debug(action_index, "leader is close enough to target");
				data.deactivate_reason = _deactivate_reason_success;
			}
		}
		else
		{
			int16 state = data.state;
			const int32 apart = distance2d(&data.nearest_led_location, &leader_location);
			if (apart < data.minimum_range || apart > data.maximum_range)
			{
				state = _state_leading;
				int32 best = 0;
				for (int32 k = data.current_target_point, first = k; k < data.target_point_count; ++k)
				{
					const int32 d = distance2d(&data.target_points[k], &data.nearest_led_location);
					if (k == first || d < best)
					{
						best = d;
						data.current_target_point = k;
					}
				}
			}
			else if (get_map_action(action_index)->flags & _map_action_succeeded_flag)
			{
				state = _state_waiting;
			}
			const boolean changed = state != data.state;
			data.state = state;

			world_point2d destination = leader_location;
			if (state == _state_leading)
			{
				closest_point_on_circle2d(&data.nearest_led_location, data.desired_range,
					&data.target_points[data.current_target_point], &destination);
			}
			int32 enemy_distance = 0;
			const int16 enemy = find_nearest_enemy_to_point(destination, leader_team, &enemy_distance);
			if (enemy != NONE && enemy_distance < data.minimum_radius_before_fleeing)
			{
				const world_point2d enemy_location = group_ai::monster_location(enemy);
				world_point2d refuge;
				closest_point_on_circle2d(&data.group_center, -data.fleeing_radius, &enemy_location, &refuge);
				order_leader(action_index, data.leader_index, refuge);
				call_out(action_index, TAG("flee"), data.yelling_lower_bound, data.yelling_delta, &data.next_yell_time,
					&data.yells_remaining);
			}
			else
			{
				if (changed)
				{
					data.yells_remaining = data.maximum_yells;
					data.beckons_remaining = data.maximum_beckons;
				}
				if (state == _state_waiting)
				{
					call_out(action_index, TAG("beck"), data.beckoning_lower_bound, data.beckoning_delta,
						&data.next_beckon_time, &data.beckons_remaining);
				}
				else
				{
					order_leader(action_index, data.leader_index, destination);
				}
			}
		}
		const int32 state = data.state, way = data.current_target_point;
		set_unique_map_action_parameter(action_index, TAG("#stt"), _parameter_integer, 1, &state);
		set_unique_map_action_parameter(action_index, TAG("#tye"), _parameter_integer, 1, &data.next_yell_time);
		set_unique_map_action_parameter(action_index, TAG("#yel"), _parameter_integer, 1, &data.yells_remaining);
		set_unique_map_action_parameter(action_index, TAG("#tbe"), _parameter_integer, 1, &data.next_beckon_time);
		set_unique_map_action_parameter(action_index, TAG("#bec"), _parameter_integer, 1, &data.beckons_remaining);
		set_unique_map_action_parameter(action_index, TAG("#way"), _parameter_integer, 1, &way);
	}

	switch (data.deactivate_reason)
	{
	case _deactivate_reason_none:
		return 0;
	case _deactivate_reason_leader_died:
		activate_list(action_index, TAG("died"));
		break;
	case _deactivate_reason_target_is_gone:
		activate_list(action_index, TAG("gone"));
		break;
	case _deactivate_reason_success:
		activate_list(action_index, TAG("succ"));
		break;
	default:
		break;
	}
	return _map_action_proc_deactivate_flag;
}
