// 'legi': up to six formation groups hold a line or a circle, advance along
// it, fall back toward its first point before danger and attack together.
#include "map_actions/unit_ai_action_procs.h"

#include <cstddef>
#include <cstring>

#include "alliances.h"
#include "attack_ai.h"
#include "map_actions/group_ai_action_procs.h"
#include "map_actions/map_action_accessors.h"
#include "map_actions/map_actions.h"
#include "map_actions/subject_lists.h"
#include "monster_commands.h"
#include "monster_definitions.h"
#include "monsters.h"
#include "objects.h"
#include "spatial_groups.h"
#include "world.h"
#include "zerv.h"

namespace
{
	const int32 MAXIMUM_GROUPS_PER_LEGION = 6;
	const int16 MAXIMUM_MONSTERS_PER_LEGION = 60;
	const world_distance DEFAULT_VISIBILITY_RADIUS = 25600;
	const world_distance DEFAULT_POWER_OVER_DISTANCE_THRESHOLD = 2048;
	const world_distance DEFAULT_INNER_ATTACK_RADIUS = 10240;
	const world_distance DEFAULT_OUTER_ATTACK_RADIUS = 14336;
	const fixed DEFAULT_ATTACK_POWER_RATIO = 2 * FIXED_ONE;
	const fixed DEFAULT_VITALITY_DELTA = FIXED_ONE;
	const world_distance MOVE_GROUP_STATE_RADIUS = 4096;
	const world_distance ATTACK_GROUP_STATE_RADIUS = 6144;
	const int32 MINIMUM_DESIRED_ANGULAR_DIFFERENCE = 5461;
	const world_distance MINIMUM_DESIRED_DISTANCE = 1024;

	enum
	{
		_legion_initialized_bit,
		_legion_unable_to_retreat_bit,
		_legion_in_range_bit,
		_legion_threatened_bit,
		_legion_took_damage_bit,
		_legion_called_as_ally_bit,
		_legion_is_circular_bit,

		_legion_initialized_flag = FLAG(_legion_initialized_bit),
		_legion_unable_to_retreat_flag = FLAG(_legion_unable_to_retreat_bit),
		_legion_in_range_flag = FLAG(_legion_in_range_bit),
		_legion_threatened_flag = FLAG(_legion_threatened_bit),
		_legion_took_damage_flag = FLAG(_legion_took_damage_bit),
		_legion_called_as_ally_flag = FLAG(_legion_called_as_ally_bit),
		_legion_is_circular_flag = FLAG(_legion_is_circular_bit)
	};

	enum
	{
		_state_moving,
		_state_attacking
	};

	struct group_data
	{
		world_point2d relative_centerpoint;
		angle relative_facing;
		int16 unused;
		int32 formation_index;
		int32 guard_dependency_group_index;
		int16 unit_container_action_index;
		int16 monster_count;
		uint32 monster_indexes; // offset into this run's index list, never a pointer
		world_point2d actual_centerpoint;
		int16 flags;
		int16 state;
		world_point2d desired_centerpoint;
		angle desired_facing;
		int16 unused2;
	};
	STORED_SIZE(group_data, 52);

	struct legion_action_proc_globals
	{
		uint32 flags;
		world_distance visibility_radius;
		world_distance inner_attack_radius;
		world_distance outer_attack_radius;
		fixed attack_power_ratio;
		fixed vitality_delta;
		int16 action_index;
		int16 state;
		int32 combined_friendly_vitality;
		int32 combined_friendly_power;
		angle desired_facing;
		int16 circle_radius;
		world_distance power_over_distance_threshhold;
		world_point2d desired_centerpoint;
		world_point2d line[2];
		int32 group_count;
		group_data groups[MAXIMUM_GROUPS_PER_LEGION];
	};
	STORED_SIZE(legion_action_proc_globals, 384);
	static_assert(offsetof(legion_action_proc_globals, groups) == 72);

	bool read_record(int16 action_index, legion_action_proc_globals *record)
	{
		if (!get_map_action_structure(action_index, TAG("#glo"), sizeof(*record), record)) return false;
		if (record->action_index != action_index || record->group_count < 0 ||
			record->group_count > MAXIMUM_GROUPS_PER_LEGION || (record->state != _state_moving && record->state != _state_attacking))
		{
			return false;
		}
		for (int32 g = 0; g < record->group_count; ++g)
		{
			if (!get_map_action(record->groups[g].unit_container_action_index)) return false;
		}
		return true;
	}

	world_point2d turn(world_point2d p, angle f, int32 sign)
	{
		const int64 c = angle_cosine(f), s = static_cast<int64>(angle_sine(f)) * sign;
		return world_point2d{static_cast<world_distance>((p.x * c - p.y * s) >> 14),
			static_cast<world_distance>((p.y * c + p.x * s) >> 14)};
	}

	// Reads the layout; false when the run must end before any state is written.
	bool create_record(int16 action_index, legion_action_proc_globals *record)
	{
		std::memset(record, 0, sizeof(*record));
		record->action_index = action_index;
		record->visibility_radius = DEFAULT_VISIBILITY_RADIUS;
		record->inner_attack_radius = DEFAULT_INNER_ATTACK_RADIUS;
		record->outer_attack_radius = DEFAULT_OUTER_ATTACK_RADIUS;
		record->attack_power_ratio = DEFAULT_ATTACK_POWER_RATIO;
		record->vitality_delta = DEFAULT_VITALITY_DELTA;
		record->power_over_distance_threshhold = DEFAULT_POWER_OVER_DISTANCE_THRESHOLD;
		int32 value = 0;
		if (get_map_action_world_distance(action_index, TAG("vira"), &value)) record->visibility_radius = value;
		world_distance radii[2];
		if (get_combined_map_action_parameter(action_index, TAG("atra"), _parameter_world_distance, radii, 2) == 2)
		{
			record->inner_attack_radius = radii[0];
			record->outer_attack_radius = radii[1];
		}
		if (get_map_action_fixed(action_index, TAG("pora"), &value)) record->attack_power_ratio = value;
		if (get_map_action_fixed(action_index, TAG("vide"), &value)) record->vitality_delta = value;
		if (get_map_action_world_distance(action_index, TAG("podt"), &value)) record->power_over_distance_threshhold = value;

		world_point2d line[3];
		if (get_combined_map_action_parameter(action_index, TAG("line"), _parameter_world_point2d, line, 3) != 2)
		{
			map_action_error(action_index, "missing or incomplete line parameter");
			map_action_error(action_index, "couldn't create globals");
			return false;
		}
		record->line[0] = line[0];
		record->line[1] = line[1];
		if (map_action_has_flag(action_index, TAG("circ")))
		{
			record->flags |= _legion_is_circular_flag;
			const world_distance r = distance2d(&line[0], &line[1]);
			record->circle_radius = static_cast<int16>(r > INT16_MAX ? INT16_MAX : r);
		}
		int32 count = 0;
		if (!get_map_action_integer(action_index, TAG("coun"), &count))
		{
			map_action_error(action_index, "missing group count");
			map_action_error(action_index, "couldn't create globals");
			return false;
		}
		if (count < 0 || count > MAXIMUM_GROUPS_PER_LEGION)
		{
			map_action_error(action_index, "invalid group count");
			map_action_error(action_index, "couldn't create globals");
			return false;
		}
		world_point2d layout_center = {0, 0};
		const bool has_center = get_indexed_world_point2d_parameter(action_index, TAG("cent"), &layout_center, 0);
		angle layout_facing = 0;
		const bool has_facing = get_indexed_short_integer_parameter(action_index, TAG("faci"), _parameter_angle, &layout_facing, 0);

		// Per-group lists are read whole, so a layout may be split over several parameters.
		int32 read = 0;
		for (int32 g = 0; g < count; ++g)
		{
			group_data *group = &record->groups[g];
			const char *fault = nullptr;
			angle facing = 0;
			const bool has_group_facing =
				get_combined_map_action_element(action_index, TAG("grfa"), _parameter_angle, &facing, g);
			if (g == 0 && !has_facing)
			{
				layout_facing = has_group_facing ? facing : 0;
				group->relative_facing = 0;
			}
			else
			{
				// Without 'grfa' a group faces the layout's way.
				group->relative_facing = static_cast<angle>(has_group_facing ? layout_facing - facing : 0);
			}
			int32 formation = 1;
			if (get_combined_map_action_element(action_index, TAG("grfo"), _parameter_integer, &formation, g))
				group->formation_index = formation;
			else
				group->formation_index = 1;
			world_point2d center;
			if (get_combined_map_action_element(action_index, TAG("grce"), _parameter_world_point2d, &center, g))
			{
				if (g == 0 && !has_center) layout_center = center;
				const world_point2d offset = {pinned_difference(center.x, layout_center.x), pinned_difference(center.y, layout_center.y)};
				group->relative_centerpoint = turn(offset, layout_facing, -1);
			}
			else if (count != 1)
			{
				fault = "centerpoint";
			}
			int32 dependency = NONE;
			if (!fault)
			{
				group->guard_dependency_group_index = NONE;
				if (get_combined_map_action_element(action_index, TAG("grgd"), _parameter_integer, &dependency, g))
				{
					group->guard_dependency_group_index = dependency;
					if (dependency != NONE && (dependency < 0 || dependency >= count))
					{
						map_action_error(action_index, "group #%d/#%d has missing or invalid %s", static_cast<int>(g),
							static_cast<int>(count), "guard dependency index");
						if (game_play_version > 1715) group->guard_dependency_group_index = NONE;
					}
				}
				int16 container = NONE;
				if (!get_combined_map_action_element(action_index, TAG("grun"), _parameter_action_identifier, &container,
						g) ||
					action_identifier_to_action_index(container) == NONE)
				{
					fault = "unit container";
				}
				else
				{
					group->unit_container_action_index = action_identifier_to_action_index(container);
				}
			}
			if (fault)
			{
				map_action_error(action_index, "group #%d/#%d has missing or invalid %s", static_cast<int>(g),
					static_cast<int>(count), fault);
				std::memset(group, 0, sizeof(*group));
				break;
			}
			read += 1;
		}
		// Groups after a fault are never run on zeroed containers.
		record->group_count = read;
		map_action_debug(action_index, "initialized");
		return true;
	}

	angle facing_from(world_point2d from, world_point2d to) { return arctangent_toward(from, to); }

	bool test_guard_group_radius(world_point2d place, int16 team, world_distance radius)
	{
		for (spatial_group *g = first_spatial_group(); g; g = next_spatial_group(g))
		{
			if (g->team_index == team || teams_are_allied(g->team_index, team)) continue;
			const world_point2d c = world_point2d{g->center.x, g->center.y};
			if (distance2d(&place, &c) - g->radius <= radius) return true;
		}
		return false;
	}
}

void call_legion_as_ally(int16 action_index)
{
	legion_action_proc_globals record;
	if (get_map_action_tag(action_index) != TAG("legi") || !get_map_action_structure(action_index, TAG("#glo"), sizeof(record), &record))
	{
		map_action_error(action_index, "invalid legion ally: %s", "not a legion");
		return;
	}
	record.flags |= _legion_called_as_ally_flag;
	set_unique_map_action_parameter(action_index, TAG("#glo"), _parameter_character, sizeof(record), &record);
}

uint32 legion_action_proc(int16 action_index)
{
	legion_action_proc_globals record;
	const map_action *action = get_map_action(action_index);
	const bool just_activated = action && (action->flags & _map_action_was_just_activated_flag);
	if (just_activated || !read_record(action_index, &record))
	{
		if (!create_record(action_index, &record)) return 0;
	}

	// 1.
	int16 units[MAXIMUM_MONSTERS_PER_LEGION];
	int16 total = 0;
	int32 vitality = 0, power = 0;
	int16 team = NONE;
	for (int32 g = 0; g < record.group_count; ++g)
	{
		group_data *group = &record.groups[g];
		int16 list[MAXIMUM_SUBJECT_MONSTERS];
		int16 count = get_subject_monster_indexes(group->unit_container_action_index, TAG("subj"), MAXIMUM_SUBJECT_MONSTERS, list);
		count = remove_incapacitated_monster_indexes(list, count);
		if (count > MAXIMUM_MONSTERS_PER_LEGION - total) count = static_cast<int16>(MAXIMUM_MONSTERS_PER_LEGION - total);
		group->monster_indexes = static_cast<uint32>(total);
		group->monster_count = count;
		for (int16 i = 0; i < count; ++i)
		{
			units[total + i] = list[i];
			const monster_data *monster = get_monster_data(list[i]);
			const object_data *object = get_object_data(monster->object_index);
			if (object) vitality += object->vitality;
			const monster_definition *definition = get_monster_definition_for_monster(list[i]);
			if (definition) power += definition->combined_power;
			if (team == NONE) team = monster->owner_team_index;
		}
		if (count > 0) get_centerpoint_of_monster_indexes(count, units + total, &group->actual_centerpoint);
		total = static_cast<int16>(total + count);
	}
	// 2.
	if (record.flags & _legion_initialized_flag)
	{
		if (vitality + (record.vitality_delta >> 8) < record.combined_friendly_vitality)
		{
			record.flags |= _legion_took_damage_flag;
			record.combined_friendly_vitality = vitality;
		}
		else
		{
			record.flags &= ~static_cast<uint32>(_legion_took_damage_flag);
		}
	}
	else
	{
		record.combined_friendly_vitality = vitality;
	}
	record.combined_friendly_power = power;
	if (total == 0)
	{
		set_unique_map_action_parameter(action_index, TAG("#glo"), _parameter_character, sizeof(record), &record);
		return _map_action_proc_deactivate_flag;
	}
	// 3.
	const bool first_run = !(record.flags & _legion_initialized_flag);
	if (first_run)
	{
		record.desired_facing = facing_from(record.line[1], record.line[0]);
		record.desired_centerpoint = record.line[0];
	}
	// 4.
	spatial_supergroup *dangerous = nullptr, *closest = nullptr;
	int32 danger_measure = 0, closest_measure = 0;
	for (spatial_supergroup *s = first_spatial_supergroup(); s; s = next_spatial_supergroup(s))
	{
		if (s->team_index == team || teams_are_allied(s->team_index, team) || s->power == 0) continue;
		const world_point2d c = world_point2d{s->center.x, s->center.y};
		int32 d = distance2d(&c, &record.desired_centerpoint);
		// Only the sign is used: differences pinned, an overflowing sum takes its terms' sign.
		const int64 toward_x = static_cast<int64>(s->velocity.i) * pinned_difference(c.x, record.desired_centerpoint.x);
		const int64 toward_y = static_cast<int64>(s->velocity.j) * pinned_difference(c.y, record.desired_centerpoint.y);
		int64 toward;
		if (__builtin_add_overflow(toward_x, toward_y, &toward)) toward = toward_x > 0 ? 1 : -1;
		if (toward < 0) d *= 2;
		if (d >= record.visibility_radius) continue;
		if (!dangerous || d - s->range < danger_measure) dangerous = s, danger_measure = d - s->range;
		const int32 edge = d - s->radius;
		if (!closest || edge < closest_measure ||
			(s->power > closest->power && static_cast<int64>(edge) - record.power_over_distance_threshhold < closest_measure))
		{
			closest = s, closest_measure = edge;
		}
	}
	// 5.
	world_point2d place;
	angle facing;
	if (!dangerous)
	{
		place = record.line[1];
		facing = facing_from(record.line[0], record.line[1]);
		record.flags &= ~static_cast<uint32>(_legion_unable_to_retreat_flag);
	}
	else if (record.flags & _legion_is_circular_flag)
	{
		const spatial_supergroup *toward = closest ? closest : dangerous;
		facing = facing_from(record.line[0], world_point2d{toward->center.x, toward->center.y});
		place = group_ai::offset_point(record.line[0], record.circle_radius, facing);
	}
	else
	{
		const world_point2d c = world_point2d{dangerous->center.x, dangerous->center.y};
		world_point2d on_line, foot;
		closest_point_on_line_segment_from_point(&c, &record.line[0], &record.line[1], &on_line, &foot);
		const world_distance range = dangerous->range;
		if (distance2d(&foot, &c) >= range)
		{
			place = foot;
		}
		else if (distance2d(&record.line[0], &c) < range)
		{
			place = record.line[0];
			record.flags |= _legion_unable_to_retreat_flag;
		}
		else
		{
			// Back along the line toward its first point until out of range.
			const int64 offset = distance2d(&on_line, &c);
			const int64 chord2 = static_cast<int64>(range) * range - offset * offset;
			const world_distance half_chord = static_cast<world_distance>(isqrt(static_cast<uint32>(chord2 > 0xFFFFFFFFLL ? 0xFFFFFFFFLL : (chord2 < 0 ? 0 : chord2))));
			const angle back = facing_from(record.line[1], record.line[0]);
			place = group_ai::offset_point(on_line, half_chord, back);
		}
		facing = facing_from(place, c);
	}
	// 6.
	const world_distance attack_radius = record.state == _state_moving ? record.inner_attack_radius : record.outer_attack_radius;
	if (closest && closest_measure < attack_radius)
		record.flags |= _legion_in_range_flag;
	else
		record.flags &= ~static_cast<uint32>(_legion_in_range_flag);
	// 7.
	// Script points may lie anywhere: the differences are pinned and only the
	// sum's sign is wanted, which an overflowing sum shares with its terms.
	const world_point2d d = record.desired_centerpoint;
	const int64 along_x = static_cast<int64>(pinned_difference(place.x, d.x)) * pinned_difference(record.line[1].x, d.x);
	const int64 along_y = static_cast<int64>(pinned_difference(place.y, d.y)) * pinned_difference(record.line[1].y, d.y);
	int64 ahead;
	if (__builtin_add_overflow(along_x, along_y, &ahead)) ahead = along_x > 0 ? 1 : -1;
	if (record.state == _state_moving || ahead > 0)
	{
		record.desired_centerpoint = place;
		record.desired_facing = facing;
	}
	// 8.
	if ((record.flags & _legion_unable_to_retreat_flag) &&
		call_functions_with_actions_in_parameter(activate_map_action, action_index, TAG("fall")))
	{
		record.flags |= _legion_initialized_flag;
		set_unique_map_action_parameter(action_index, TAG("#glo"), _parameter_character, sizeof(record), &record);
		return _map_action_proc_deactivate_flag;
	}
	// 9.
	const int16 old_state = record.state;
	if (record.state == _state_moving)
	{
		bool strong = false;
		if (closest && (record.flags & _legion_in_range_flag) && closest->power > 0)
		{
			int64 ratio = (static_cast<int64>(record.combined_friendly_power) << 16) / closest->power;
			strong = ratio > record.attack_power_ratio;
		}
		if ((record.flags & (_legion_took_damage_flag | _legion_called_as_ally_flag | _legion_unable_to_retreat_flag)) || strong)
		{
			record.state = _state_attacking;
			call_functions_with_actions_in_parameter(call_legion_as_ally, action_index, TAG("alli"));
			call_functions_with_actions_in_parameter(deactivate_map_action, action_index, TAG("deat"));
			call_functions_with_actions_in_parameter(activate_map_action, action_index, TAG("acat"));
		}
	}
	else if (!(record.flags & _legion_in_range_flag))
	{
		record.state = _state_moving;
		call_functions_with_actions_in_parameter(deactivate_map_action, action_index, TAG("demo"));
		call_functions_with_actions_in_parameter(activate_map_action, action_index, TAG("acmo"));
	}
	// 10.
	for (int32 g = 0; g < record.group_count; ++g)
	{
		group_data *group = &record.groups[g];
		if (group->monster_count == 0) continue;
		const int16 *members = units + group->monster_indexes;
		world_point2d offset = turn(group->relative_centerpoint, record.desired_facing, 1);
		world_point2d group_place = {pinned_sum(record.desired_centerpoint.x, offset.x), pinned_sum(record.desired_centerpoint.y, offset.y)};
		const angle group_facing = static_cast<angle>(record.desired_facing + group->relative_facing);
		bool attacks = false;
		if (record.state == _state_attacking)
		{
			const int32 dependency = group->guard_dependency_group_index;
			if (dependency >= 0 && dependency < record.group_count && record.groups[dependency].monster_count > 0)
			{
				const group_data *guard = &record.groups[dependency];
				group_place.x = pinned_difference(group_place.x,
					pinned_difference(guard->desired_centerpoint.x, guard->actual_centerpoint.x));
				group_place.y = pinned_difference(group_place.y,
					pinned_difference(guard->desired_centerpoint.y, guard->actual_centerpoint.y));
				attacks = test_guard_group_radius(group_place, team,
					group->state == _state_attacking ? ATTACK_GROUP_STATE_RADIUS : MOVE_GROUP_STATE_RADIUS);
			}
			else
			{
				attacks = true;
			}
		}
		const int32 turned = static_cast<int16>(group_facing - group->desired_facing);
		const bool changed = first_run || (turned > MINIMUM_DESIRED_ANGULAR_DIFFERENCE || turned < -MINIMUM_DESIRED_ANGULAR_DIFFERENCE) ||
			distance2d(&group_place, &group->desired_centerpoint) > MINIMUM_DESIRED_DISTANCE;
		if (changed)
		{
			group->desired_centerpoint = group_place;
			group->desired_facing = group_facing;
		}
		if (!attacks)
		{
			if (group->state == _state_attacking || changed || old_state != record.state)
			{
				command_movement_data data = {};
				data.flags = _command_movement_formation_flag | _command_movement_final_facing_flag;
				data.formation_index = static_cast<int16>(group->formation_index);
				data.final_facing = group->desired_facing;
				world_point2d destination = group->desired_centerpoint;
				for_each_command_chunk(group->monster_count, members, [&](const int16 *chunk, int16 chunk_count) {
					handle_movement_command(-2, &data, chunk_count, chunk, 1, &destination);
				});
			}
		}
		else
		{
			attack_ai_configuration configuration;
			new_attack_ai_configuration(&configuration);
			configuration.flags &= ~static_cast<uint32>(_attack_ai_no_focus_flag);
			configuration.focus = record.desired_centerpoint;
			configuration.radius = record.outer_attack_radius;
			attack_with_monster_indexes(members, group->monster_count, &configuration);
		}
		group->state = attacks ? _state_attacking : _state_moving;
	}
	// 11.
	record.flags &= ~static_cast<uint32>(_legion_called_as_ally_flag);
	record.flags |= _legion_initialized_flag;
	set_unique_map_action_parameter(action_index, TAG("#glo"), _parameter_character, sizeof(record), &record);
	return 0;
}
