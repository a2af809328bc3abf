// 'invi': searchers hunt one invisible unit by suspicion: they walk between
// waypoints, watch media, sniff, yell, and attack where it was last seen.
#include "map_actions/unit_ai_action_procs.h"

#include <cstring>

#include "map_actions/map_action_accessors.h"
#include "map_actions/map_actions.h"
#include "map_actions/subject_lists.h"
#include "mesh.h"
#include "monster_commands.h"
#include "monsters.h"
#include "objects.h"
#include "world.h"

namespace
{
	const int16 MAXIMUM_MONSTERS_PER_SEARCH_GROUP = 32;
	const int16 MAXIMUM_WAYPOINTS_PER_SEARCH_GROUP = 16;
	const int16 MAXIMUM_SUSPICION = 32767;
	const int32 MAXIMUM_DELAY = 127;

	struct unit_data
	{
		int16 monster_index;
		int16 monster_identifier;
		int16 state;
		int8 delay;
		int8 count;
		int16 suspicion; // 8.8
	};
	STORED_SIZE(unit_data, 10);

	struct globals
	{
		int16 invisible_monster_index;
		int16 invisible_monster_identifier;
		world_point2d last_invisible_monster_location;
		int16 invisible_monster_moved;
		int16 unused;
		world_distance in_media_distance_threshold;
		world_distance normal_distance_threshold;
		int16 action_index;
		int16 initial_suspicion; // 8.8
		int16 suspicion_delta;
		int16 suspicion_decrement;
		world_distance attack_ground_slop;
		int16 unit_count;
		unit_data units[MAXIMUM_MONSTERS_PER_SEARCH_GROUP];
		int16 waypoint_count;
		world_point2d waypoints[MAXIMUM_WAYPOINTS_PER_SEARCH_GROUP];
		world_distance waypoint_radius;
	};
	STORED_SIZE(globals, 492);

	const char *const state_names[NUMBER_OF_INVISIBLE_UNIT_STATES] = {"moving", "moving (don't interrupt)",
		"watching media", "yelling", "yelling and attacking ground", "sniffing", "attacking", "attacking ground"};

	bool read_record(int16 action_index, globals *record)
	{
		if (!get_map_action_structure(action_index, TAG("#glo"), sizeof(globals), record)) return false;
		if (record->action_index != action_index || record->unit_count < 0 ||
			record->unit_count > MAXIMUM_MONSTERS_PER_SEARCH_GROUP || record->waypoint_count < 0 ||
			record->waypoint_count > MAXIMUM_WAYPOINTS_PER_SEARCH_GROUP || record->waypoint_radius < 0 ||
			record->attack_ground_slop < 0 || record->invisible_monster_index < 0 ||
			record->invisible_monster_index >= MAXIMUM_MONSTERS_PER_MAP)
		{
			return false;
		}
		for (int16 i = 0; i < record->unit_count; ++i)
		{
			const unit_data *unit = &record->units[i];
			if (unit->monster_index < 0 || unit->monster_index >= MAXIMUM_MONSTERS_PER_MAP || unit->state < 0 ||
				unit->state >= NUMBER_OF_INVISIBLE_UNIT_STATES)
			{
				return false;
			}
		}
		return true;
	}

	bool create_record(int16 action_index, globals *record)
	{
		std::memset(record, 0, sizeof(*record));
		record->action_index = action_index;
		record->suspicion_delta = 21;
		record->suspicion_decrement = 10;
		record->attack_ground_slop = 1536;
		int16 hunted[2];
		const int16 hunted_count = get_subject_monster_indexes(action_index, TAG("invi"), 2, hunted);
		if (hunted_count != 1)
		{
			map_action_error(action_index, "unable to get the invisible unit! (or more than 1)");
			map_action_error(action_index, "couldn't create globals");
			return false;
		}
		const monster_data *invisible = get_monster_data(hunted[0]);
		record->invisible_monster_index = hunted[0];
		record->invisible_monster_identifier = invisible->identifier;
		record->last_invisible_monster_location = unit_ai_location(invisible);
		int16 searchers[MAXIMUM_MONSTERS_PER_SEARCH_GROUP];
		const int16 count = get_subject_monster_indexes(action_index, TAG("subj"), MAXIMUM_MONSTERS_PER_SEARCH_GROUP, searchers);
		for (int16 i = 0; i < count; ++i)
		{
			unit_data *unit = &record->units[record->unit_count++];
			unit->monster_index = searchers[i];
			unit->monster_identifier = get_monster_data(searchers[i])->identifier;
			unit->delay = static_cast<int8>(zerv_random() % 12);
		}
		map_action_debug(action_index, "#%d pursuing monsters active", record->unit_count);
		record->in_media_distance_threshold = 4096;
		record->normal_distance_threshold = 2048;
		world_point2d waypoints[MAXIMUM_WAYPOINTS_PER_SEARCH_GROUP + 1];
		const int32 waypoint_count = get_combined_map_action_parameter(action_index, TAG("wayp"),
			_parameter_world_point2d, waypoints, MAXIMUM_WAYPOINTS_PER_SEARCH_GROUP + 1);
		if (waypoint_count > MAXIMUM_WAYPOINTS_PER_SEARCH_GROUP)
		{
			map_action_error(action_index, "too many waypoints in search group!");
			map_action_error(action_index, "couldn't create globals");
			return false;
		}
		if (waypoint_count > 0)
		{
			record->waypoint_count = static_cast<int16>(waypoint_count);
			std::memcpy(record->waypoints, waypoints, sizeof(world_point2d) * waypoint_count);
			record->waypoint_radius = 1536;
		}
		return true;
	}

	int8 travel_delay(const monster_data *monster, world_point2d destination)
	{
		const world_point2d here = unit_ai_location(monster);
		const int32 speed = monster->base_movement_speed;
		int64 delay = 2;
		if (speed > 0) delay += distance2d(&here, &destination) / (speed * 32);
		// An 8-bit delay: a long trip saturates rather than wrapping negative.
		return static_cast<int8>(delay > MAXIMUM_DELAY ? MAXIMUM_DELAY : delay);
	}

	void turn_toward(int16 command_identifier, int16 monster_index, world_point2d from, world_point2d point, world_point2d to)
	{
		unit_ai_move(command_identifier, monster_index, to, _command_movement_final_facing_flag,
			arctangent_toward(from, point));
	}
}

void set_unit_state(void *record_pointer, int16 position, int16 state, const world_point2d *point)
{
	globals *record = static_cast<globals *>(record_pointer);
	unit_data *unit = &record->units[position];
	const int16 command_identifier = get_map_action_identifier(record->action_index);
	const monster_data *monster = get_monster_data(unit->monster_index);
	if (!monster || state < 0 || state >= NUMBER_OF_INVISIBLE_UNIT_STATES) return;
	const world_point2d here = unit_ai_location(monster);
	unit->state = state;
	switch (state)
	{
	case _unit_moving:
	case _unit_moving_dont_interrupt_unless_moves:
		if (point)
		{
			turn_toward(command_identifier, unit->monster_index, here, *point, *point);
			unit->delay = travel_delay(monster, *point);
		}
		else
		{
			const uint16 pick = zerv_random();
			const uint16 dx = zerv_random();
			const uint16 dy = zerv_random();
			// Without waypoints the draws are still made and the searcher stays put.
			world_point2d destination = here;
			if (record->waypoint_count > 0)
			{
				destination = record->waypoints[pick % record->waypoint_count];
				// Reckoned wide: a stored radius or waypoint may lie anywhere in its range.
				const int64 r = record->waypoint_radius;
				if (r > 0)
				{
					destination.x = pinned_to_32_bits(destination.x + dx % (2 * r) - r);
					destination.y = pinned_to_32_bits(destination.y + dy % (2 * r) - r);
				}
			}
			unit_ai_move(command_identifier, unit->monster_index, destination, 0, 0);
			unit->delay = travel_delay(monster, destination);
		}
		break;
	case _unit_watching_media:
	case _unit_sniffing:
	{
		const world_point2d target = point ? *point : here;
		turn_toward(command_identifier, unit->monster_index, here, target, here);
		unit->delay = static_cast<int8>(2 + (zerv_random() & 3));
		break;
	}
	case _unit_yelling:
	case _unit_yelling_to_attack_ground:
	{
		command_general_data data = {};
		data.type = _command_general_special_ability;
		handle_general_command(command_identifier, &data, 1, &unit->monster_index);
		unit->delay = 1;
		break;
	}
	case _unit_attacking:
	{
		command_target_data data = {};
		int16 target = record->invisible_monster_index;
		handle_target_command(command_identifier, &data, 1, &unit->monster_index, 1, &target);
		break;
	}
	case _unit_attacking_ground:
	{
		const world_point2d base = point ? *point : here;
		const world_distance slop = record->attack_ground_slop;
		world_point2d p = base;
		const uint16 dx = zerv_random();
		const uint16 dy = zerv_random();
		if (slop > 0)
		{
			p.x = pinned_sum(p.x, dx % slop - slop / 2);
			p.y = pinned_sum(p.y, dy % slop - slop / 2);
		}
		command_attack_location_data data = {};
		data.flags = _command_attack_location_from_map_action_flag;
		data.point.x = p.x;
		data.point.y = p.y;
		int32 z = get_mesh_height(&p, _land_height);
		const mesh_cell *cell = get_mesh_cell(WORLD_INTEGERAL_PART(p.x), WORLD_INTEGERAL_PART(p.y));
		if (cell && (cell->flags & _mesh_cell_triangle_media_flags))
		{
			const int32 media = get_mesh_height(&p, _media_height);
			if (media > z) z = media;
		}
		data.point.z = z;
		handle_attack_location_command(command_identifier, &data, 1, &unit->monster_index);
		unit->delay = 4;
		if (unit->count == 0) unit->count = static_cast<int8>(zerv_random() % 6);
		break;
	}
	}
	map_action_debug(record->action_index, "unit %d set to state %s", position, state_names[state]);
}

uint32 invisible_action_proc(int16 action_index)
{
	globals record;
	if (!read_record(action_index, &record) && !create_record(action_index, &record)) return 0;

	monster_data *invisible = unit_ai_living_unit(record.invisible_monster_index, record.invisible_monster_identifier);
	bool moved = false;
	if (invisible)
	{
		const world_point2d now = unit_ai_location(invisible);
		moved = static_cast<int16>(now.x) != static_cast<int16>(record.last_invisible_monster_location.x) ||
			static_cast<int16>(now.y) != static_cast<int16>(record.last_invisible_monster_location.y);
		const object_data *object = get_object_data(invisible->object_index);
		const bool in_media = object &&
			(object->flags & (_object_on_media_flag | _object_partially_under_media_flag | _object_wholly_under_media_flag));
		const world_distance threshold = in_media ? record.in_media_distance_threshold : record.normal_distance_threshold;
		int16 kept = 0;
		for (int16 i = 0; i < record.unit_count; ++i)
		{
			unit_data unit = record.units[i];
			const monster_data *searcher = unit_ai_living_unit(unit.monster_index, unit.monster_identifier);
			if (!searcher)
			{
				call_functions_with_actions_in_parameter(activate_map_action, action_index, TAG("casu"));
				continue;
			}
			record.units[kept++] = unit;
		}
		record.unit_count = kept;
		if (moved)
		{
			for (int16 i = 0; i < record.unit_count; ++i)
			{
				unit_data *unit = &record.units[i];
				if (unit->state != _unit_moving && unit->state != _unit_moving_dont_interrupt_unless_moves) continue;
				const monster_data *searcher = get_monster_data(unit->monster_index);
				const world_point2d here = unit_ai_location(searcher);
				if (distance2d(&here, &now) >= threshold) continue;
				const object_data *searcher_object = get_object_data(searcher->object_index);
				const angle facing = searcher_object ? searcher_object->location.yaw : 0;
				const int64 d = static_cast<int64>(angle_cosine(facing)) * (now.x - here.x) +
					static_cast<int64>(angle_sine(facing)) * (now.y - here.y);
				bool react = d > 0;
				if (!react) react = (zerv_random() & 255) < unit->suspicion;
				if (react) set_unit_state(&record, i, in_media ? _unit_watching_media : _unit_sniffing, &now);
			}
		}
		record.last_invisible_monster_location = now;
		record.invisible_monster_moved = moved;
	}
	if (record.unit_count == 0 || !invisible)
	{
		set_unique_map_action_parameter(action_index, TAG("#glo"), _parameter_character, sizeof(record), &record);
		return _map_action_proc_deactivate_flag;
	}
	if (!(invisible->extra_flags & _monster_is_invisible_extra_flag))
	{
		call_functions_with_actions_in_parameter(activate_map_action, action_index, TAG("visi"));
		set_unique_map_action_parameter(action_index, TAG("#glo"), _parameter_character, sizeof(record), &record);
		return _map_action_proc_deactivate_flag;
	}

	const world_point2d hunted = record.last_invisible_monster_location;
	for (int16 i = 0; i < record.unit_count; ++i)
	{
		unit_data *unit = &record.units[i];
		unit->delay = static_cast<int8>(unit->delay - 1);
		const auto raise = [&](void) {
			const int32 s = unit->suspicion + record.suspicion_delta;
			unit->suspicion = static_cast<int16>(s > MAXIMUM_SUSPICION ? MAXIMUM_SUSPICION : s);
		};
		switch (unit->state)
		{
		case _unit_moving:
		case _unit_moving_dont_interrupt_unless_moves:
			if (unit->delay < 0)
			{
				set_unit_state(&record, i, _unit_moving, nullptr);
				const int32 s = unit->suspicion - record.suspicion_decrement;
				unit->suspicion = static_cast<int16>(s < 0 ? 0 : s);
			}
			break;
		case _unit_watching_media:
			if (unit->delay <= 1 && moved)
			{
				set_unit_state(&record, i, _unit_yelling, nullptr);
			}
			else if (unit->delay < 0)
			{
				raise();
				const int32 r = zerv_random() & 255;
				set_unit_state(&record, i, r < unit->suspicion ? _unit_yelling : _unit_moving_dont_interrupt_unless_moves,
					nullptr);
			}
			break;
		case _unit_yelling:
			if (unit->delay < 0) set_unit_state(&record, i, _unit_attacking, nullptr);
			break;
		case _unit_yelling_to_attack_ground:
			if (unit->delay < 0) set_unit_state(&record, i, _unit_attacking_ground, &hunted);
			break;
		case _unit_sniffing:
			if (unit->delay < 0)
			{
				raise();
				const int32 r = zerv_random() & 255;
				if (r >= unit->suspicion)
					set_unit_state(&record, i, _unit_moving_dont_interrupt_unless_moves, nullptr);
				else if (r >= unit->suspicion / 2)
					set_unit_state(&record, i, _unit_moving_dont_interrupt_unless_moves, &hunted);
				else
					set_unit_state(&record, i, _unit_yelling_to_attack_ground, nullptr);
			}
			break;
		case _unit_attacking:
			break;
		case _unit_attacking_ground:
			if (moved) unit->count = static_cast<int8>(unit->count < INT8_MAX ? unit->count + 1 : INT8_MAX);
			if (unit->delay < 0)
			{
				unit->count = static_cast<int8>(unit->count - 1);
				if (unit->count < 0)
				{
					unit->count = 0;
					set_unit_state(&record, i, _unit_moving, nullptr);
				}
				else
				{
					set_unit_state(&record, i, _unit_attacking_ground, &hunted);
				}
			}
			break;
		}
	}

	set_unique_map_action_parameter(action_index, TAG("#glo"), _parameter_character, sizeof(record), &record);
	return 0;
}
