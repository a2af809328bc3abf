// 'mele': a melee band closes on the nearest (or, while closing in, a more
// powerful) enemy cluster and attacks it once within reach.
#include "map_actions/unit_ai_action_procs.h"

#include <cstring>

#include "alliances.h"
#include "attack_ai.h"
#include "map_actions/map_action_accessors.h"
#include "map_actions/map_actions.h"
#include "map_actions/subject_lists.h"
#include "monster_commands.h"
#include "monsters.h"
#include "spatial_groups.h"

namespace
{
	const int16 MAXIMUM_MELEE_MONSTERS = 400;
	const world_distance DEFAULT_MELEE_POWER_OVER_DISTANCE_THRESHOLD = 1536;
	const world_distance MINIMUM_MELEE_EXTENT = 512;

	enum
	{
		_melee_no_target = -1,
		_melee_closing_in,
		_melee_attacking
	};

	struct globals
	{
		uint32 flags; // bit 0 after every run
		int16 action_index;
		int16 state;
		int16 formation_index;
		int16 unused;
		world_distance power_over_distance_threshhold;
	};
	STORED_SIZE(globals, 16);

	bool read_record(int16 action_index, globals *record)
	{
		if (!get_map_action_structure(action_index, TAG("#glo"), sizeof(globals), record)) return false;
		return record->action_index == action_index && record->state >= _melee_no_target &&
			record->state <= _melee_attacking;
	}

	bool holds_a_target(spatial_supergroup *supergroup, const int16 *targets, int16 target_count)
	{
		for (spatial_group *group = first_spatial_group(); group; group = next_spatial_group(group))
		{
			if (!(group->flags & _spatial_group_in_supergroup_flag) || spatial_group_owner_supergroup(group) != supergroup)
				continue;
			for (int16 m = 0; m < group->monster_count; ++m)
			{
				const int16 unit = spatial_group_monster_index(group, m);
				for (int16 t = 0; t < target_count; ++t)
				{
					if (targets[t] == unit) return true;
				}
			}
		}
		return false;
	}
}

uint32 melee_action_proc(int16 action_index)
{
	globals record;
	if (!read_record(action_index, &record))
	{
		std::memset(&record, 0, sizeof(record));
		record.action_index = action_index;
		record.state = _melee_no_target;
		int32 value = 0;
		record.formation_index = get_map_action_integer(action_index, TAG("form"), &value) ? static_cast<int16>(value) : 0;
		record.power_over_distance_threshhold = get_map_action_world_distance(action_index, TAG("dith"), &value) ?
			value : DEFAULT_MELEE_POWER_OVER_DISTANCE_THRESHOLD;
	}

	int16 units[MAXIMUM_MELEE_MONSTERS], targets[MAXIMUM_MELEE_MONSTERS];
	const int16 count = get_subject_monster_indexes(record.action_index, TAG("subj"), MAXIMUM_MELEE_MONSTERS, units);
	if (count == 0) return _map_action_proc_deactivate_flag;
	const int16 team = get_monster_data(units[0])->owner_team_index;
	world_point2d center;
	world_distance extent = get_centerpoint_of_monster_indexes(count, units, &center);
	if (extent < MINIMUM_MELEE_EXTENT) extent = MINIMUM_MELEE_EXTENT;
	const int16 target_count = get_subject_monster_indexes(action_index, TAG("obje"), MAXIMUM_MELEE_MONSTERS, targets);

	spatial_supergroup *choice = nullptr;
	int32 choice_distance = 0;
	for (spatial_supergroup *s = first_spatial_supergroup(); s; s = next_spatial_supergroup(s))
	{
		if (s->team_index == team || teams_are_allied(s->team_index, team)) continue;
		const world_point2d c = world_point2d{s->center.x, s->center.y};
		const int32 e = unit_ai_octagonal_distance(center, c) - s->radius;
		const bool better = !choice || e < choice_distance ||
			(record.state != _melee_attacking && s->power > choice->power &&
				e - record.power_over_distance_threshhold < choice_distance);
		if (!better) continue;
		if (target_count > 0 && !holds_a_target(s, targets, target_count)) continue;
		choice = s;
		choice_distance = e;
	}

	if (!choice)
	{
		record.state = _melee_no_target;
	}
	else if (choice_distance - extent < 0)
	{
		attack_ai_configuration configuration;
		new_attack_ai_configuration(&configuration);
		attack_with_monster_indexes(units, count, &configuration);
		record.state = _melee_attacking;
	}
	else
	{
		command_movement_data data = {};
		data.flags = _command_movement_formation_flag;
		data.formation_index = record.formation_index;
		data.final_facing = 0;
		world_point2d destination = world_point2d{choice->center.x, choice->center.y};
		for_each_command_chunk(count, units, [&](const int16 *chunk, int16 chunk_count) {
			handle_movement_command(-2, &data, chunk_count, chunk, 1, &destination);
		});
		record.state = _melee_closing_in;
	}
	record.flags |= 1;
	set_unique_map_action_parameter(action_index, TAG("#glo"), _parameter_character, sizeof(record), &record);
	return 0;
}
