// 'suic': suicide units appear after a delay, keep clear of friends and of
// missile fire, advance on the enemy and detonate among it.
#include "map_actions/unit_ai_action_procs.h"

#include <cstring>

#include "alliances.h"
#include "map_actions/map_action_accessors.h"
#include "map_actions/map_actions.h"
#include "map_actions/unit_ai_lists.h"
#include "mesh.h"
#include "monster_commands.h"
#include "monster_definitions.h"
#include "monsters.h"
#include "objects.h"
#include "spatial_groups.h"
#include "world.h"

namespace
{
	const int16 MAXIMUM_MONSTERS_PER_SUICIDE_GROUP = 64;
	const world_distance DEFAULT_VISIBILITY_RADIUS = 25600;
	const int16 DEFAULT_FEAR_DURATION = 20;
	const int16 DEFAULT_DETONATION_THRESHOLD = 3;
	const world_distance DEFAULT_POWER_OVER_DISTANCE_THRESHOLD = 3072;
	const world_distance DEFAULT_DETONATION_RADIUS = 4096;
	const world_distance MAXIMUM_ENEMY_MISSILE_RANGE = 16384;
	const world_distance RETREAT_DETONATION_BUFFER_RADIUS = 512;
	const int32 ADJACENT_CELL_DIAMETER = 5;
	const int32 MAXIMUM_AVOIDANCE_ANGLE = 4096;
	const int32 AVOIDANCE_CIRCUMFERENCE = 1024;

	enum
	{
		_action_idle = -1,
		_action_avoid,
		_action_avoid_friendly,
		_action_advance,
		_action_detonate
	};

	enum
	{
		_globals_ran_bit,
		_globals_dumb_bit,
		_globals_ran_flag = FLAG(_globals_ran_bit),
		_globals_dumb_flag = FLAG(_globals_dumb_bit)
	};

	struct unit_data
	{
		int16 monster_index; // NONE while still hidden
		int16 monster_identifier;
		int16 fear_countdown;
		int16 delay;
	};

	struct globals
	{
		uint32 flags;
		int16 action_index;
		int16 inhibition_action_index;
		world_distance visibility_radius;
		int16 fear_duration;
		int16 detonation_threshhold;
		fixed minimum_power_threshhold;
		world_distance power_over_distance_threshhold;
		world_distance detonation_radius;
		int16 unit_count;
		unit_data units[MAXIMUM_MONSTERS_PER_SUICIDE_GROUP];
		int16 unused;
	};
	STORED_SIZE(globals, 544);

	bool read_record(int16 action_index, globals *record)
	{
		if (!get_map_action_structure(action_index, TAG("#glo"), sizeof(globals), record)) return false;
		if (record->action_index != action_index || record->unit_count < 0 ||
			record->unit_count > MAXIMUM_MONSTERS_PER_SUICIDE_GROUP ||
			(record->inhibition_action_index != NONE && !get_map_action(record->inhibition_action_index)))
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

	void create_record(int16 action_index, globals *record)
	{
		std::memset(record, 0, sizeof(*record));
		record->action_index = action_index;
		int32 value = 0;
		record->visibility_radius = get_map_action_world_distance(action_index, TAG("radi"), &value) ? value : DEFAULT_VISIBILITY_RADIUS;
		record->fear_duration = static_cast<int16>(get_map_action_integer(action_index, TAG("fedu"), &value) ? value : DEFAULT_FEAR_DURATION);
		record->detonation_threshhold =
			static_cast<int16>(get_map_action_integer(action_index, TAG("deth"), &value) ? value : DEFAULT_DETONATION_THRESHOLD);
		record->power_over_distance_threshhold =
			get_map_action_world_distance(action_index, TAG("dith"), &value) ? value : DEFAULT_POWER_OVER_DISTANCE_THRESHOLD;
		record->detonation_radius = get_map_action_world_distance(action_index, TAG("dera"), &value) ? value : DEFAULT_DETONATION_RADIUS;
		record->minimum_power_threshhold = get_map_action_fixed(action_index, TAG("mipt"), &value) ? value : FIXED_ONE;
		int16 identifier = NONE;
		record->inhibition_action_index = get_map_action_identifier_parameter(action_index, TAG("suin"), &identifier) ?
			action_identifier_to_action_index(identifier) : static_cast<int16>(NONE);
		if (map_action_has_flag(action_index, TAG("dumb")))
		{
			map_action_debug(action_index, "these guys are dumb!");
			record->flags |= _globals_dumb_flag;
		}
		int16 identifiers[MAXIMUM_MONSTERS_PER_SUICIDE_GROUP];
		const int32 count = get_combined_map_action_parameter(action_index, TAG("subj"), _parameter_monster_identifier,
			identifiers, MAXIMUM_MONSTERS_PER_SUICIDE_GROUP);
		int32 delay_bound = 0;
		get_map_action_integer(action_index, TAG("dela"), &delay_bound);
		for (int32 i = 0; i < count; ++i)
		{
			unit_data *unit = &record->units[record->unit_count++];
			unit->monster_index = NONE;
			unit->monster_identifier = identifiers[i];
			if (delay_bound > 0)
			{
				const uint16 draw = zerv_random();
				// Saturated: a large bound must not wrap to a negative delay.
				const int64 delay = (static_cast<int64>(draw) * delay_bound) >> 16;
				unit->delay = static_cast<int16>(delay > INT16_MAX ? INT16_MAX : delay);
			}
		}
		map_action_debug(action_index, "#%d suicide monsters active", record->unit_count);
	}

	int32 dot(world_point2d v, world_point2d w)
	{
		const int64 d = static_cast<int64>(v.x) * w.x + static_cast<int64>(v.y) * w.y;
		return d > 0 ? 1 : (d < 0 ? -1 : 0);
	}

	int32 clamp_corner(int32 cell, int32 size)
	{
		int32 corner = cell - ADJACENT_CELL_DIAMETER / 2;
		if (corner > size - ADJACENT_CELL_DIAMETER) corner = size - ADJACENT_CELL_DIAMETER;
		return corner < 0 ? 0 : corner;
	}

	int16 get_adjacent_enemy_unit_count(const monster_data *monster)
	{
		const mesh_globals_data *mesh = mesh_globals;
		if (!mesh || !mesh->mesh_cells) return 0;
		const world_point2d here = unit_ai_location(monster);
		const int32 x0 = clamp_corner(WORLD_INTEGERAL_PART(here.x), mesh->mesh_width);
		const int32 y0 = clamp_corner(WORLD_INTEGERAL_PART(here.y), mesh->mesh_height);
		int16 count = 0;
		for (int32 y = y0; y < y0 + ADJACENT_CELL_DIAMETER && y < mesh->mesh_height; ++y)
		{
			for (int32 x = x0; x < x0 + ADJACENT_CELL_DIAMETER && x < mesh->mesh_width; ++x)
			{
				unit_ai_for_each_other_team_unit_in_cell(mesh, x, y, monster->owner_team_index,
					[&](const object_data *, const monster_data *other) {
						count += !teams_are_allied(other->owner_team_index, monster->owner_team_index);
					});
			}
		}
		return count;
	}

	bool under_media(const monster_data *monster)
	{
		const object_data *object = get_object_data(monster->object_index);
		if (!object) return false;
		if (object->flags & _object_wholly_under_media_flag) return true;
		if (!(object->flags & _object_partially_under_media_flag)) return false;
		const mesh_cell *cell = get_mesh_cell(WORLD_INTEGERAL_PART(object->location.position.x),
			WORLD_INTEGERAL_PART(object->location.position.y));
		const int32 center = object->location.position.z + ((object->height0 + object->height1) >> 1);
		return cell && center < cell->media_height;
	}

	world_point2d ring_point(world_point2d center, world_point2d here, world_distance ring, int16 monster_index, bool inside)
	{
		const int32 arc = static_cast<int32>((static_cast<int64>(ring) * 1608) >> 8);
		// A ring too small for an arc of 1024 to be measured on it gives no step.
		int32 step = arc > 0 && !inside ? (AVOIDANCE_CIRCUMFERENCE << 16) / arc : 0;
		if (step > MAXIMUM_AVOIDANCE_ANGLE) step = MAXIMUM_AVOIDANCE_ANGLE;
		if (monster_index & 1) step = -step;
		const angle direction = static_cast<angle>(arctangent(here.x - center.x, here.y - center.y) + step);
		world_point2d p;
		p.x = center.x + static_cast<world_distance>((static_cast<int64>(angle_cosine(direction)) * ring) >> 14);
		p.y = center.y + static_cast<world_distance>((static_cast<int64>(angle_sine(direction)) * ring) >> 14);
		return p;
	}
}

uint32 suicide_action_proc(int16 action_index)
{
	globals record;
	if (!read_record(action_index, &record)) create_record(action_index, &record);

	int16 team = NONE;
	record.unit_count = unit_ai_keep_shown_units(record.units, record.unit_count, &team, [action_index](int16 i) {
		map_action_debug(action_index, "suicide unit #%d died", i);
		unit_ai_casualty(action_index);
	});
	if (unit_ai_list_emptied(action_index, record)) return _map_action_proc_deactivate_flag;

	const map_action *inhibition =
		record.inhibition_action_index != NONE ? get_map_action(record.inhibition_action_index) : nullptr;
	const bool enabled = !inhibition || (inhibition->flags & _map_action_succeeded_flag);
	const world_distance dera = record.detonation_radius;
	for (int16 i = 0; i < record.unit_count; ++i)
	{
		unit_data *unit = &record.units[i];
		if (unit->delay != 0)
		{
			if (enabled) unit->delay -= 1;
			continue;
		}
		const monster_data *monster = get_monster_data(unit->monster_index);
		const world_point2d here = unit_ai_location(monster);

		spatial_supergroup *friend_group = nullptr, *target = nullptr;
		int32 friend_distance = 0, target_distance = 0;
		const int32 minimum_power = record.minimum_power_threshhold >> 8;
		for (spatial_supergroup *s = first_spatial_supergroup(); s; s = next_spatial_supergroup(s))
		{
			const world_point2d c = world_point2d{s->center.x, s->center.y};
			const int32 e = unit_ai_octagonal_distance(here, c) - s->radius;
			if (s->team_index == team || teams_are_allied(s->team_index, team))
			{
				if (c.x == here.x && c.y == here.y) continue;
				if (!friend_group || e < friend_distance) friend_group = s, friend_distance = e;
				continue;
			}
			const bool better = !target || e < target_distance ||
				(s->power > minimum_power && target->power < minimum_power) ||
				(s->power > target->power && e - record.power_over_distance_threshhold < target_distance);
			if (better) target = s, target_distance = e;
		}
		spatial_group *cover = nullptr;
		int32 cover_measure = 0;
		for (spatial_group *g = first_spatial_group(); g; g = next_spatial_group(g))
		{
			if (g->team_index == team || teams_are_allied(g->team_index, team)) continue;
			const monster_definition *definition = get_monster_definition(g->monster_type);
			if (!definition || definition->monster_class != _monster_class_missile) continue;
			const world_point2d c = world_point2d{g->center.x, g->center.y};
			const int32 measure = distance2d(&here, &c) - g->radius - g->range;
			if (measure >= MAXIMUM_ENEMY_MISSILE_RANGE) continue;
			if (!cover || measure < cover_measure) cover = g, cover_measure = measure;
		}

		int16 mode = _action_idle;
		world_point2d destination = here;
		world_distance ring = 0;
		if ((record.flags & _globals_dumb_flag) && target)
		{
			mode = _action_advance;
			destination = world_point2d{target->center.x, target->center.y};
		}
		else if (friend_group && friend_distance < dera && (!target || target_distance > friend_distance))
		{
			mode = _action_avoid_friendly;
			destination = world_point2d{friend_group->center.x, friend_group->center.y};
			ring = friend_group->radius + dera;
		}
		else if (target)
		{
			const world_point2d tc = world_point2d{target->center.x, target->center.y};
			if (cover && cover_measure < 0 && distance2d(&here, &tc) > dera)
			{
				const world_point2d cc = world_point2d{cover->center.x, cover->center.y};
				const world_point2d facing = {angle_cosine(cover->facing), angle_sine(cover->facing)};
				if (dot(world_point2d{here.x - cc.x, here.y - cc.y}, facing) > 0) unit->fear_countdown = record.fear_duration;
			}
			if (cover && unit->fear_countdown != 0)
			{
				mode = _action_avoid;
				destination = world_point2d{cover->center.x, cover->center.y};
				ring = cover->range + cover->radius;
			}
			else
			{
				mode = _action_advance;
				destination = tc;
			}
		}
		if (target)
		{
			const world_point2d v = {target->velocity.i, target->velocity.j};
			const world_point2d away = {target->center.x - here.x, target->center.y - here.y};
			if (dot(v, away) > 0 && target->radius + target_distance < dera - RETREAT_DETONATION_BUFFER_RADIUS)
				mode = _action_detonate;
		}

		const int16 adjacent = get_adjacent_enemy_unit_count(monster);
		if (adjacent >= record.detonation_threshhold || (target && adjacent >= target->monster_count) ||
			mode == _action_detonate)
		{
			if (under_media(monster))
			{
				// Idle has no destination: no order.
				if (mode != _action_idle) unit_ai_move(-2, unit->monster_index, destination, 0, 0);
			}
			else
			{
				command_general_data data = {};
				data.type = _command_general_special_ability;
				handle_general_command(-2, &data, 1, &unit->monster_index);
			}
		}
		else if (mode == _action_idle)
		{
			map_action_debug(action_index, "suicide unit #%d idle", i);
		}
		else if (mode == _action_avoid || mode == _action_avoid_friendly)
		{
			const bool inside = distance2d(&here, &destination) < dera;
			unit_ai_move(-2, unit->monster_index, ring_point(destination, here, ring, unit->monster_index, inside), 0, 0);
		}
		else
		{
			unit_ai_move(-2, unit->monster_index, destination, 0, 0);
		}
		if (unit->fear_countdown != 0) unit->fear_countdown -= 1;
	}

	record.flags |= _globals_ran_flag;
	set_unique_map_action_parameter(action_index, TAG("#glo"), _parameter_character, sizeof(record), &record);
	return 0;
}
