// 'mean': units wander among waypoints and flee from enemies that come close.
#include "map_actions/unit_ai_action_procs.h"

#include <cstring>

#include "map_actions/map_action_accessors.h"
#include "map_actions/map_actions.h"
#include "map_actions/subject_lists.h"
#include "map_actions/unit_ai_lists.h"
#include "mesh.h"
#include "monsters.h"
#include "objects.h"
#include "world.h"

namespace
{
	const int16 MAXIMUM_MONSTERS_PER_GROUP = 64;
	const int16 MAXIMUM_WAYPOINTS_PER_GROUP = 32;
	const world_distance DEFAULT_WAYPOINT_RADIUS = 2560;
	const int16 DEFAULT_THREAT_SCAN_WIDTH = 3;
	const int16 MAXIMUM_THREAT_SCAN_WIDTH = 32;
	const world_distance FLEE_RADIUS = 4096;
	const int16 INITIAL_DELAY_BOUND = 12;

	struct unit_data
	{
		int16 monster_index;
		int16 monster_identifier;
		int16 delay;
	};

	struct globals
	{
		int16 action_index;
		int16 unit_count;
		unit_data units[MAXIMUM_MONSTERS_PER_GROUP];
		int16 waypoint_count;
		int16 unused;
		world_point2d waypoints[MAXIMUM_WAYPOINTS_PER_GROUP];
		world_distance waypoint_radius;
		int16 threat_scan_width;
		int16 unused2;
	};
	STORED_SIZE(globals, 656);

	bool read_record(int16 action_index, globals *record)
	{
		if (!get_map_action_structure(action_index, TAG("#glo"), sizeof(globals), record)) return false;
		if (record->action_index != action_index || record->unit_count < 0 ||
			record->unit_count > MAXIMUM_MONSTERS_PER_GROUP || record->waypoint_count < 0 ||
			record->waypoint_count > MAXIMUM_WAYPOINTS_PER_GROUP || record->waypoint_radius < 0)
		{
			return false;
		}
		for (int16 i = 0; i < record->unit_count; ++i)
		{
			const int16 index = record->units[i].monster_index;
			if (index < 0 || index >= MAXIMUM_MONSTERS_PER_MAP) return false;
		}
		return true;
	}

	int32 clamp_cell(int32 cell, int32 size)
	{
		if (cell >= size) cell = size - 1;
		return cell < 0 ? 0 : cell;
	}

	// The nearest visible unit of another team within width cells of the unit's cell.
	const monster_data *scan_for_closest_threat(const monster_data *monster, int16 width)
	{
		const mesh_globals_data *mesh = mesh_globals;
		if (!mesh || !mesh->mesh_cells || mesh->mesh_width <= 0 || mesh->mesh_height <= 0) return nullptr;
		const world_point2d here = unit_ai_location(monster);
		const int32 cx = clamp_cell(WORLD_INTEGERAL_PART(here.x), mesh->mesh_width);
		const int32 cy = clamp_cell(WORLD_INTEGERAL_PART(here.y), mesh->mesh_height);
		const int32 x0 = clamp_cell(cx - width, mesh->mesh_width), x1 = clamp_cell(cx + width, mesh->mesh_width);
		const int32 y0 = clamp_cell(cy - width, mesh->mesh_height), y1 = clamp_cell(cy + width, mesh->mesh_height);
		const monster_data *threat = nullptr;
		int32 nearest = 0;
		for (int32 y = y0; y <= y1; ++y)
		{
			for (int32 x = x0; x <= x1; ++x)
			{
				unit_ai_for_each_other_team_unit_in_cell(mesh, x, y, monster->owner_team_index,
					[&](const object_data *object, const monster_data *other) {
						if (other->extra_flags & _monster_is_invisible_extra_flag) return;
						const world_point2d there = {object->location.position.x, object->location.position.y};
						const int32 d = distance2d(&here, &there);
						if (!threat || d < nearest) threat = other, nearest = d;
					});
			}
		}
		return threat;
	}

	void get_new_destination(const globals *record, unit_data *unit, const monster_data *monster)
	{
		const int16 count = record->waypoint_count;
		// With no waypoints the draw is still made, so the stream keeps its step.
		const uint16 pick = zerv_random();
		world_point2d destination = record->waypoints[count > 0 ? pick % count : 0];
		const uint16 dx = zerv_random();
		const uint16 dy = zerv_random();
		// Reckoned wide: a stored radius or waypoint may lie anywhere in its range.
		const int64 r = record->waypoint_radius;
		if (r != 0)
		{
			destination.x = pinned_to_32_bits(destination.x + dx % (2 * r) - r);
			destination.y = pinned_to_32_bits(destination.y + dy % (2 * r) - r);
		}
		unit_ai_move(get_map_action_identifier(record->action_index), unit->monster_index, destination, 0, 0);
		const world_point2d here = unit_ai_location(monster);
		const int32 speed = monster->base_movement_speed;
		int32 k = 1;
		if (speed > 0) k = ((distance2d(&here, &destination) / (speed * 32)) + 2) >> 1;
		if (k < 1) k = 1;
		const int32 delay = static_cast<int32>(zerv_random() % k) + k;
		unit->delay = static_cast<int16>(delay > INT16_MAX ? INT16_MAX : delay);
	}
}

uint32 meander_action_proc(int16 action_index)
{
	globals record;
	if (!read_record(action_index, &record))
	{
		std::memset(&record, 0, sizeof(record));
		record.action_index = action_index;
		int16 indexes[MAXIMUM_MONSTERS_PER_GROUP];
		const int16 count = get_subject_monster_indexes(action_index, TAG("subj"), MAXIMUM_MONSTERS_PER_GROUP, indexes);
		for (int16 i = 0; i < count; ++i)
		{
			unit_data *unit = &record.units[record.unit_count++];
			unit->monster_index = indexes[i];
			unit->monster_identifier = get_monster_data(indexes[i])->identifier;
			unit->delay = static_cast<int16>(zerv_random() % INITIAL_DELAY_BOUND);
		}
		map_action_debug(action_index, "#%d meandering monsters active", record.unit_count);
		world_point2d waypoints[MAXIMUM_WAYPOINTS_PER_GROUP + 1];
		const int32 waypoint_count = get_combined_map_action_parameter(action_index, TAG("wayp"),
			_parameter_world_point2d, waypoints, MAXIMUM_WAYPOINTS_PER_GROUP + 1);
		if (waypoint_count > MAXIMUM_WAYPOINTS_PER_GROUP)
		{
			map_action_error(action_index, "too many waypoints in search group!");
			map_action_error(action_index, "couldn't create globals");
			return 0;
		}
		record.waypoint_count = static_cast<int16>(waypoint_count);
		std::memcpy(record.waypoints, waypoints, sizeof(world_point2d) * waypoint_count);
		record.waypoint_radius = waypoint_count > 0 ? DEFAULT_WAYPOINT_RADIUS : 0;
		int32 width = DEFAULT_THREAT_SCAN_WIDTH;
		get_map_action_integer(action_index, TAG("tscw"), &width);
		if (width > MAXIMUM_THREAT_SCAN_WIDTH)
		{
			map_action_error(action_index, "threat scan width above %d: %d is used", MAXIMUM_THREAT_SCAN_WIDTH,
				MAXIMUM_THREAT_SCAN_WIDTH);
			width = MAXIMUM_THREAT_SCAN_WIDTH;
		}
		record.threat_scan_width = static_cast<int16>(width < 0 ? 0 : width);
	}

	record.unit_count = unit_ai_keep_living_units(action_index, record.units, record.unit_count);
	if (unit_ai_list_emptied(action_index, record)) return _map_action_proc_deactivate_flag;

	const bool scan = map_action_has_flag(action_index, TAG("thre"));
	for (int16 i = 0; i < record.unit_count; ++i)
	{
		unit_data *unit = &record.units[i];
		const monster_data *monster = get_monster_data(unit->monster_index);
		const monster_data *threat = scan ? scan_for_closest_threat(monster, record.threat_scan_width) : nullptr;
		if (threat)
		{
			const world_point2d here = unit_ai_location(monster), there = unit_ai_location(threat);
			const angle away = arctangent(here.x - there.x, here.y - there.y);
			world_point2d destination;
			destination.x = here.x + static_cast<world_distance>((static_cast<int64>(angle_cosine(away)) * FLEE_RADIUS) >> 14);
			destination.y = here.y + static_cast<world_distance>((static_cast<int64>(angle_sine(away)) * FLEE_RADIUS) >> 14);
			unit_ai_move(-2, unit->monster_index, destination, 0, 0);
			unit->delay = 0;
			continue;
		}
		unit->delay -= 1;
		if (unit->delay < 0) get_new_destination(&record, unit, monster);
	}

	set_unique_map_action_parameter(action_index, TAG("#glo"), _parameter_character, sizeof(record), &record);
	return 0;
}
