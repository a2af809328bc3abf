// 'assa': hidden killers appear after a delay and go for lone enemies,
// skirting the enemy groups in their way.
#include "map_actions/unit_ai_action_procs.h"

#include <cstring>

#include "alliances.h"
#include "map_actions/map_action_accessors.h"
#include "map_actions/map_actions.h"
#include "map_actions/unit_ai_lists.h"
#include "monster_commands.h"
#include "monsters.h"
#include "spatial_groups.h"
#include "world.h"

namespace
{
	const int16 MAXIMUM_MONSTERS_PER_ASSASSIN_GROUP = 10;
	const world_distance SUPERGROUP_AVOIDANCE_RADIUS = 3072;
	const int32 AVOIDANCE_CIRCUMFERENCE = 1024;

	enum
	{
		_globals_initialized_bit,
		_globals_initialized_flag = FLAG(_globals_initialized_bit)
	};

	struct unit_data
	{
		int16 monster_index; // NONE while still hidden
		int16 monster_identifier;
		int16 delay;
	};

	struct globals
	{
		uint32 flags;
		int16 action_index;
		int16 unit_count;
		unit_data units[MAXIMUM_MONSTERS_PER_ASSASSIN_GROUP];
	};
	STORED_SIZE(globals, 68);

	bool read_record(int16 action_index, globals *record)
	{
		if (!get_map_action_structure(action_index, TAG("#glo"), sizeof(globals), record)) return false;
		if (record->action_index != action_index || record->unit_count < 0 ||
			record->unit_count > MAXIMUM_MONSTERS_PER_ASSASSIN_GROUP)
		{
			return false;
		}
		for (int16 i = 0; i < record->unit_count; ++i)
		{
			const int16 index = record->units[i].monster_index;
			if (index != NONE && (index < 0 || index >= MAXIMUM_MONSTERS_PER_MAP)) return false;
		}
		return true;
	}

	void target(int16 action_index, int16 monster_index, int16 target_index)
	{
		command_target_data data = {};
		handle_target_command(get_map_action_identifier(action_index), &data, 1, &monster_index, 1, &target_index);
	}
}

uint32 assassin_action_proc(int16 action_index)
{
	globals record;
	if (!read_record(action_index, &record))
	{
		std::memset(&record, 0, sizeof(record));
		record.action_index = action_index;
		int16 identifiers[MAXIMUM_MONSTERS_PER_ASSASSIN_GROUP];
		const int32 count = get_combined_map_action_parameter(action_index, TAG("subj"), _parameter_monster_identifier,
			identifiers, MAXIMUM_MONSTERS_PER_ASSASSIN_GROUP);
		int32 delay_bound = 0;
		get_map_action_integer(action_index, TAG("dela"), &delay_bound);
		for (int32 i = 0; i < count; ++i)
		{
			unit_data *unit = &record.units[record.unit_count++];
			unit->monster_index = NONE;
			unit->monster_identifier = identifiers[i];
			// A bound of 0 is no delay at all, not a division by zero.
			unit->delay = delay_bound != 0 ? static_cast<int16>(zerv_random() % delay_bound) : 0;
		}
		map_action_debug(action_index, "#%d assassin monsters active", record.unit_count);
	}

	int16 team = NONE;
	record.unit_count = unit_ai_keep_shown_units(record.units, record.unit_count, &team, [](int16) {});
	if (unit_ai_list_emptied(action_index, record)) return _map_action_proc_deactivate_flag;

	for (int16 i = 0; i < record.unit_count; ++i)
	{
		unit_data *unit = &record.units[i];
		if (unit->delay > 0)
		{
			unit->delay -= 1;
			continue;
		}
		const monster_data *monster = get_monster_data(unit->monster_index);
		const world_point2d here = unit_ai_location(monster);
		spatial_supergroup *lone = nullptr, *group = nullptr;
		int32 lone_distance = 0, group_distance = 0;
		for (spatial_supergroup *s = first_spatial_supergroup(); s; s = next_spatial_supergroup(s))
		{
			if (s->team_index == team || teams_are_allied(s->team_index, team)) continue;
			const world_point2d c = world_point2d{s->center.x, s->center.y};
			const int32 e = distance2d(&here, &c) - s->radius;
			if (s->monster_count < 2)
			{
				if (!lone || e < lone_distance) lone = s, lone_distance = e;
			}
			else if (!group || e < group_distance)
			{
				group = s, group_distance = e;
			}
		}

		if (!group || group_distance > SUPERGROUP_AVOIDANCE_RADIUS - 1)
		{
			if (lone)
				target(action_index, unit->monster_index, lone->monster_index);
			else if (group)
				unit_ai_move(-2, unit->monster_index, world_point2d{group->center.x, group->center.y}, 0, 0);
			else
				map_action_debug(action_index, "assassin unit #%d idle", i);
			continue;
		}
		if (lone)
		{
			const int64 lx = static_cast<int64>(lone->center.x) - here.x, ly = static_cast<int64>(lone->center.y) - here.y;
			const int64 gx = static_cast<int64>(group->center.x) - here.x, gy = static_cast<int64>(group->center.y) - here.y;
			if (lone_distance <= group_distance || lx * gx + ly * gy < 1)
			{
				target(action_index, unit->monster_index, lone->monster_index);
				continue;
			}
		}
		const world_distance radius = group->radius + SUPERGROUP_AVOIDANCE_RADIUS;
		const int32 arc = static_cast<int32>((static_cast<int64>(radius) * 1608) >> 8);
		int32 step = arc > 0 ? (AVOIDANCE_CIRCUMFERENCE << 16) / arc : 0;
		if (unit->monster_index & 1) step = -step;
		const world_point2d c = world_point2d{group->center.x, group->center.y};
		const angle direction = static_cast<angle>(arctangent(here.x - c.x, here.y - c.y) + step);
		world_point2d destination;
		destination.x = c.x + static_cast<world_distance>((static_cast<int64>(angle_cosine(direction)) * radius) >> 14);
		destination.y = c.y + static_cast<world_distance>((static_cast<int64>(angle_sine(direction)) * radius) >> 14);
		unit_ai_move(-2, unit->monster_index, destination, 0, 0);
	}

	record.flags |= _globals_initialized_flag;
	set_unique_map_action_parameter(action_index, TAG("#glo"), _parameter_character, sizeof(record), &record);
	return 0;
}
