// 'girl': skirmishers circle, harass and retreat from enemy clusters and pick
// up objects to throw; the timid variant weighs the danger instead.
#include "map_actions/unit_ai_action_procs.h"

#include <cstring>

#include "alliances.h"
#include "attack_ai.h"
#include "map_actions/map_action_accessors.h"
#include "map_actions/map_actions.h"
#include "map_actions/subject_lists.h"
#include "map_actions/unit_ai_lists.h"
#include "monster_commands.h"
#include "monster_definitions.h"
#include "monsters.h"
#include "objects.h"
#include "projectile_definitions.h"
#include "spatial_groups.h"
#include "world.h"
#include "zerv.h"

namespace
{
	const int16 MAXIMUM_MONSTERS_PER_HARASS_GROUP = 64;
	const world_distance DEFAULT_VISIBILITY_RADIUS = 20480;
	const world_distance CIRCLING_PAD = 1024;
	const world_distance MINIMUM_CIRCLING_RADIUS = 3072;
	const world_distance WAYPOINT_WANDER_RADIUS = 2560;
	const world_distance ENGAGE_DISTANCE = 1024;
	const int16 MAXIMUM_THROWABLE_OBJECTS = 1024;

	enum
	{
		_harass_state_idle,
		_harass_state_picking_up_item_to_throw,
		_harass_state_returning_to_waypoint,
		_harass_state_circling_around_enemy,
		_harass_state_attacking_enemy,
		_harass_state_suiciding_enemy,
		_harass_state_retreating_from_enemy,
		_harass_state_fleeing,
		_harass_state_looking_for_item,
		_harass_state_moving_in,
		_harass_state_heading_for_waypoint,
		NUMBER_OF_HARASS_STATES
	};

	enum
	{
		_harass_unit_carrying_item_bit,
		_harass_unit_cant_carry_item_bit,
		_harass_unit_in_enemy_range_bit,
		_harass_unit_carrying_item_flag = FLAG(_harass_unit_carrying_item_bit),
		_harass_unit_cant_carry_item_flag = FLAG(_harass_unit_cant_carry_item_bit),
		_harass_unit_in_enemy_range_flag = FLAG(_harass_unit_in_enemy_range_bit)
	};

	enum
	{
		_globals_ran_bit,
		_globals_has_waypoint_bit,
		_globals_ran_flag = FLAG(_globals_ran_bit),
		_globals_has_waypoint_flag = FLAG(_globals_has_waypoint_bit)
	};

	struct unit_data
	{
		int16 monster_index;
		int16 monster_identifier;
		int16 last_vitality; // 8.8
		int16 state;
		int16 sought_object_index;
		int16 flags;
		int16 fear_countdown;
		int16 delay;
	};
	STORED_SIZE(unit_data, 16);

	struct harass_globals
	{
		int16 action_index;
		int16 unused;
		world_distance visibility_radius;
		world_distance projectile_search_radius;
		int16 suicide_fraction; // 8.8
		int16 retreat_fraction; // 8.8
		int32 delay_before_reevaluating;
		int16 team_index;
		int16 unit_count;
		unit_data units[MAXIMUM_MONSTERS_PER_HARASS_GROUP];
		world_point2d waypoint;
		uint32 flags;
	};
	STORED_SIZE(harass_globals, 1060);

	// An enemy cluster as the steps see it.
	struct enemy
	{
		world_point2d center;
		angle facing;
		world_distance radius, range, reach, distance;
	};

	// This run's live dormant projectiles, in object index order.
	struct throwables
	{
		int16 count;
		int16 indexes[MAXIMUM_THROWABLE_OBJECTS];
	};

	bool read_record(int16 action_index, harass_globals *record)
	{
		if (!get_map_action_structure(action_index, TAG("#glo"), sizeof(*record), record)) return false;
		if (record->action_index != action_index || record->unit_count < 0 ||
			record->unit_count > MAXIMUM_MONSTERS_PER_HARASS_GROUP)
		{
			return false;
		}
		for (int16 i = 0; i < record->unit_count; ++i)
		{
			const unit_data *unit = &record->units[i];
			if (unit->monster_index < 0 || unit->monster_index >= MAXIMUM_MONSTERS_PER_MAP || unit->state < 0 ||
				unit->state >= NUMBER_OF_HARASS_STATES ||
				(unit->sought_object_index != NONE &&
					(unit->sought_object_index < 0 || unit->sought_object_index >= object_array.maximum_count)))
			{
				return false;
			}
		}
		return true;
	}

	bool carrying(const monster_data *monster) { return monster->carrying_object_index != NONE; }

	int16 kind_volume(int16 monster_index)
	{
		const monster_definition *definition = get_monster_definition_for_monster(monster_index);
		return definition ? definition->desired_projectile_volume : NONE;
	}

	void create_record(int16 action_index, harass_globals *record)
	{
		std::memset(record, 0, sizeof(*record));
		record->action_index = action_index;
		int32 value = 0;
		record->visibility_radius = get_map_action_world_distance(action_index, TAG("radi"), &value) ? value : DEFAULT_VISIBILITY_RADIUS;
		record->projectile_search_radius =
			get_map_action_world_distance(action_index, TAG("prra"), &value) ? value : DEFAULT_VISIBILITY_RADIUS;
		record->suicide_fraction = 64;
		record->retreat_fraction = 256;
		record->delay_before_reevaluating = get_map_action_integer(action_index, TAG("reev"), &value) ? value : 1;
		if (get_indexed_world_point2d_parameter(action_index, TAG("wayp"), &record->waypoint, 0))
			record->flags |= _globals_has_waypoint_flag;
		int32 delay_bound = 0;
		get_map_action_integer(action_index, TAG("dela"), &delay_bound);
		int16 indexes[MAXIMUM_MONSTERS_PER_HARASS_GROUP];
		const int16 count = get_subject_monster_indexes(action_index, TAG("subj"), MAXIMUM_MONSTERS_PER_HARASS_GROUP, indexes);
		for (int16 i = 0; i < count; ++i)
		{
			const monster_data *monster = get_monster_data(indexes[i]);
			unit_data *unit = &record->units[record->unit_count++];
			unit->monster_index = indexes[i];
			unit->monster_identifier = monster->identifier;
			unit->state = _harass_state_idle;
			unit->sought_object_index = NONE;
			if (delay_bound != 0) unit->delay = static_cast<int16>(zerv_random() % delay_bound);
			const object_data *object = get_object_data(monster->object_index);
			unit->last_vitality = object ? object->vitality : 0;
			if (kind_volume(indexes[i]) == NONE)
				unit->flags |= _harass_unit_cant_carry_item_flag;
			else if (carrying(monster))
				unit->flags |= _harass_unit_carrying_item_flag;
		}
		record->team_index = count > 0 ? get_monster_data(indexes[0])->owner_team_index : static_cast<int16>(NONE);
		map_action_debug(action_index, "#%d harassing monsters active", record->unit_count);
	}

	void gather_throwables(throwables *list)
	{
		list->count = 0;
		for (int16 i = 0; i < object_array.count && list->count < MAXIMUM_THROWABLE_OBJECTS; ++i)
		{
			const object_data *object = get_object_data(i);
			if (!object || (object->flags & _object_is_invisible_flag) || object->owner != _object_is_dormant_projectile) continue;
			list->indexes[list->count++] = i;
		}
	}

	int16 object_rank(const object_data *object)
	{
		const projectile_definition *definition = get_projectile_definition(object->owner_index);
		if (!definition) return 0;
		if (definition->projectile_class == _projectile_class_explosive_object) return 2;
		return definition->projectile_class == _projectile_class_lethal_object ? 1 : 0;
	}

	bool matching(const object_data *object, int16 volume, world_point2d here, int64 radius, int64 *distance2)
	{
		const projectile_definition *definition = get_projectile_definition(object->owner_index);
		if (!definition || definition->volume != volume) return false;
		const int64 dx = static_cast<int64>(object->location.position.x) - here.x;
		const int64 dy = static_cast<int64>(object->location.position.y) - here.y;
		if (dx >= radius || -dx >= radius || dy >= radius || -dy >= radius) return false;
		*distance2 = dx * dx + dy * dy;
		return *distance2 < radius * radius;
	}

	int16 find_object_to_throw(const harass_globals *record, const throwables *list, int16 monster_index, bool timid,
		int64 *found_distance2)
	{
		const world_point2d here = unit_ai_location(get_monster_data(monster_index));
		const int16 volume = kind_volume(monster_index);
		const int64 radius = timid ? record->projectile_search_radius : record->visibility_radius;
		const int64 search2 = static_cast<int64>(record->projectile_search_radius) * record->projectile_search_radius;
		int16 best = NONE, best_rank = 0;
		int64 best2 = 0;
		for (int16 n = 0; n < list->count; ++n)
		{
			const int16 index = list->indexes[n];
			const object_data *object = get_object_data(index);
			int64 d2 = 0;
			if (!object || !matching(object, volume, here, radius, &d2)) continue;
			const int16 rank = object_rank(object);
			if (!timid)
			{
				if (d2 >= search2) continue;
				bool sought = false;
				for (int16 u = 0; u < record->unit_count && !sought; ++u) sought = record->units[u].sought_object_index == index;
				if (sought) continue;
				if (best == NONE || rank > best_rank || (rank == best_rank && d2 < best2)) best = index, best_rank = rank, best2 = d2;
			}
			else
			{
				bool replace;
				if (best == NONE)
					replace = true;
				else if (rank >= 1)
					replace = !(best_rank == 2 && best2 <= d2);
				else
					replace = d2 < best2;
				if (replace) best = index, best_rank = rank, best2 = d2;
			}
		}
		*found_distance2 = best2;
		return best;
	}

	// This run's enemy clusters in walk order, gathered once for all units:
	// other, non-allied teams for the aggressive variant, any other team for
	// the timid one. Every group holds a unit, so there are no more than units.
	struct enemy_groups
	{
		int16 count;
		enemy groups[MAXIMUM_MONSTERS_PER_MAP];
	};

	void gather_enemy_groups(int16 team, bool timid, enemy_groups *list)
	{
		list->count = 0;
		for (spatial_group *g = first_spatial_group(); g && list->count < MAXIMUM_MONSTERS_PER_MAP; g = next_spatial_group(g))
		{
			if (g->team_index == team || (!timid && teams_are_allied(g->team_index, team))) continue;
			list->groups[list->count++] =
				enemy{world_point2d{g->center.x, g->center.y}, g->facing, g->radius, g->range, g->radius + g->range, 0};
		}
	}

	// What a run gathers once for all its units.
	struct run_lists
	{
		throwables objects;
		enemy_groups enemies;
	};

	// Never above distance2d's answer: the larger axis difference, held to the
	// ceiling distance2d gives beyond 32766 on an axis.
	world_distance distance_at_least(world_point2d a, world_point2d b)
	{
		const int64 dx = static_cast<int64>(a.x) - b.x, dy = static_cast<int64>(a.y) - b.y;
		const int64 larger = MAX(dx < 0 ? -dx : dx, dy < 0 ? -dy : dy);
		return static_cast<world_distance>(MIN(larger, static_cast<int64>(32767)));
	}

	bool find_closest_enemy_group(const harass_globals *record, const enemy_groups *list, world_point2d here, enemy *found)
	{
		bool any = false;
		for (int16 i = 0; i < list->count; ++i)
		{
			const enemy &g = list->groups[i];
			const world_distance least = distance_at_least(here, g.center);
			if (least >= record->visibility_radius || (any && least >= found->distance)) continue;
			const world_distance d = distance2d(&here, &g.center);
			if (d >= record->visibility_radius || (any && d >= found->distance)) continue;
			any = true;
			*found = g;
			found->distance = d;
		}
		return any;
	}

	bool find_closest_timid_enemy_group(const harass_globals *record, const enemy_groups *list, world_point2d here, enemy *found)
	{
		bool any = false;
		int32 best = 0;
		for (int16 i = 0; i < list->count; ++i)
		{
			const enemy &g = list->groups[i];
			const world_distance least = distance_at_least(here, g.center);
			if (least >= record->visibility_radius || (any && least - g.radius - g.range >= best)) continue;
			const world_distance d = distance2d(&here, &g.center);
			if (d >= record->visibility_radius) continue;
			const int32 measure = d - g.radius - g.range;
			if (any && measure >= best) continue;
			any = true;
			best = measure;
			*found = g;
			found->distance = d;
		}
		return any;
	}

	int64 facing_dot(const enemy *g, world_point2d here)
	{
		return static_cast<int64>(angle_cosine(g->facing)) * (here.x - g->center.x) +
			static_cast<int64>(angle_sine(g->facing)) * (here.y - g->center.y);
	}

	bool enemy_group_is_facing_me(const enemy *g, world_point2d here) { return facing_dot(g, here) >= 0; }

	world_point2d around(world_point2d center, world_distance r, angle a)
	{
		return world_point2d{center.x + static_cast<world_distance>((static_cast<int64>(angle_cosine(a)) * r) >> 14),
			center.y + static_cast<world_distance>((static_cast<int64>(angle_sine(a)) * r) >> 14)};
	}

	void attack(int16 monster_index, world_point2d focus, world_distance radius)
	{
		attack_ai_configuration configuration;
		new_attack_ai_configuration(&configuration);
		configuration.flags &= ~static_cast<uint32>(_attack_ai_no_focus_flag);
		configuration.focus = focus;
		configuration.radius = radius;
		attack_with_monster_indexes(&monster_index, 1, &configuration);
	}

	void circle_around_enemy(int16 monster_index, world_point2d here, const enemy *g)
	{
		world_distance r = g->radius + CIRCLING_PAD + g->range;
		if (r < MINIMUM_CIRCLING_RADIUS) r = MINIMUM_CIRCLING_RADIUS;
		const angle a = arctangent(here.x - g->center.x, here.y - g->center.y);
		const angle target = static_cast<angle>(static_cast<uint16>(a - g->facing) < 16384 ? g->facing + 16384 : g->facing + 12288);
		unit_ai_move(-2, monster_index, around(world_point2d{g->center.x, g->center.y}, r, target), _command_movement_final_facing_flag, target);
	}

	angle away_turned(int16 monster_index, world_point2d here, world_point2d center)
	{
		const angle a = arctangent(here.x - center.x, here.y - center.y);
		return static_cast<angle>((monster_index & 1) ? a + 2048 : a - 2048);
	}

	void retreat_from_enemy(int16 monster_index, world_point2d here, const enemy *g)
	{
		const angle a = away_turned(monster_index, here, world_point2d{g->center.x, g->center.y});
		unit_ai_move(-2, monster_index, around(world_point2d{g->center.x, g->center.y}, g->radius, a), _command_movement_final_facing_flag,
			static_cast<angle>(a + 32768));
	}

	void pick_up(int16 monster_index, int16 object_index)
	{
		command_pick_up_data data = {};
		data.object_index = object_index;
		data.object_identifier = get_object_data(object_index)->identifier;
		handle_pick_up_command(-2, &data, 1, &monster_index);
	}

	void guard(int16 monster_index)
	{
		command_general_data data = {};
		data.type = _command_general_guard;
		handle_general_command(-2, &data, 1, &monster_index);
	}

	bool is_missile(int16 monster_index) { return get_monster_class(monster_index) == _monster_class_missile; }

	int16 engage(unit_data *unit, world_point2d here, const enemy *g, world_distance visibility)
	{
		const int16 index = unit->monster_index;
		if (g->distance - g->radius - g->range < ENGAGE_DISTANCE)
		{
			if (!enemy_group_is_facing_me(g, here))
			{
				if (is_missile(index))
				{
					attack(index, world_point2d{g->center.x, g->center.y}, g->radius);
					return _harass_state_attacking_enemy;
				}
				retreat_from_enemy(index, here, g);
				return _harass_state_retreating_from_enemy;
			}
			circle_around_enemy(index, here, g);
			return _harass_state_circling_around_enemy;
		}
		if (g->distance < g->range + g->radius || g->distance >= visibility)
		{
			retreat_from_enemy(index, here, g);
			return _harass_state_retreating_from_enemy;
		}
		attack(index, world_point2d{g->center.x, g->center.y}, g->radius);
		return _harass_state_circling_around_enemy;
	}

	bool far_from_waypoint(const harass_globals *record, world_point2d here, world_distance limit)
	{
		return (record->flags & _globals_has_waypoint_flag) && distance2d(&here, &record->waypoint) >= limit;
	}

	void handle_current_state(harass_globals *record, const run_lists *lists, int16 position)
	{
		unit_data *unit = &record->units[position];
		const int16 index = unit->monster_index;
		const monster_data *monster = get_monster_data(index);
		const world_point2d here = unit_ai_location(monster);
		enemy g = {};
		const bool found = find_closest_enemy_group(record, &lists->enemies, here, &g);
		const bool can_carry = !(unit->flags & _harass_unit_cant_carry_item_flag);
		int16 state = unit->state;
		switch (unit->state)
		{
		case _harass_state_idle:
			if (found)
			{
				state = engage(unit, here, &g, record->visibility_radius);
				break;
			}
			state = _harass_state_idle;
			if (can_carry && !carrying(monster))
			{
				int64 d2;
				const int16 object = find_object_to_throw(record, &lists->objects, index, false, &d2);
				if (object != NONE)
				{
					unit->sought_object_index = object;
					pick_up(index, object);
					state = _harass_state_picking_up_item_to_throw;
					break;
				}
			}
			if (far_from_waypoint(record, here, WAYPOINT_WANDER_RADIUS + 1))
			{
				unit_ai_move(-2, index, record->waypoint, _command_movement_final_facing_flag, 32768);
				state = _harass_state_returning_to_waypoint;
			}
			break;
		case _harass_state_picking_up_item_to_throw:
			if (found)
			{
				state = engage(unit, here, &g, record->visibility_radius);
			}
			else if (!carrying(monster))
			{
				const object_data *object = unit->sought_object_index != NONE ? get_object_data(unit->sought_object_index) : nullptr;
				if (object && !(object->flags & _object_is_invisible_flag) && object->owner == _object_is_dormant_projectile)
				{
					pick_up(index, unit->sought_object_index);
					state = _harass_state_picking_up_item_to_throw;
				}
				else
				{
					state = _harass_state_idle;
				}
			}
			else if (!(record->flags & _globals_has_waypoint_flag))
			{
				unit->sought_object_index = NONE;
				state = _harass_state_idle;
			}
			else if (far_from_waypoint(record, here, WAYPOINT_WANDER_RADIUS))
			{
				unit_ai_move(-2, index, record->waypoint, _command_movement_final_facing_flag, 32768);
				state = _harass_state_returning_to_waypoint;
			}
			else
			{
				state = _harass_state_idle;
			}
			break;
		case _harass_state_returning_to_waypoint:
			if (found)
				state = engage(unit, here, &g, record->visibility_radius);
			else if (far_from_waypoint(record, here, WAYPOINT_WANDER_RADIUS))
				unit_ai_move(-2, index, record->waypoint, _command_movement_final_facing_flag, 32768);
			else
				state = _harass_state_idle;
			break;
		case _harass_state_circling_around_enemy:
			state = found ? engage(unit, here, &g, record->visibility_radius) : static_cast<int16>(_harass_state_idle);
			break;
		case _harass_state_attacking_enemy:
			if (!found)
			{
				state = _harass_state_idle;
			}
			else if (!carrying(monster) && !is_missile(index))
			{
				retreat_from_enemy(index, here, &g);
				state = _harass_state_retreating_from_enemy;
			}
			else
			{
				attack(index, g.center, g.radius);
				state = _harass_state_attacking_enemy;
			}
			break;
		case _harass_state_suiciding_enemy:
			if (!found)
			{
				state = _harass_state_idle;
			}
			else
			{
				attack(index, g.center, g.radius);
			}
			break;
		case _harass_state_retreating_from_enemy:
			if (!found)
			{
				state = _harass_state_idle;
			}
			else if (g.distance - g.reach < ENGAGE_DISTANCE)
			{
				const object_data *object = get_object_data(monster->object_index);
				const int32 vitality = object ? object->vitality : 0;
				state = _harass_state_retreating_from_enemy;
				if (g.distance < ENGAGE_DISTANCE && vitality > unit->last_vitality && object &&
					vitality < object->maximum_vitality / 2)
				{
					attack(index, g.center, g.radius);
					state = _harass_state_suiciding_enemy;
				}
			}
			else if (g.distance < g.range + g.radius || g.distance >= record->visibility_radius)
			{
				retreat_from_enemy(index, here, &g);
				state = _harass_state_retreating_from_enemy;
			}
			else
			{
				attack(index, g.center, g.radius);
				state = _harass_state_circling_around_enemy;
			}
			break;
		default:
			return; // states above 6 belong to the timid variant
		}
		unit->state = state;
		map_action_debug(record->action_index, "unit %d set to state %d", position, state);
	}

	void handle_enemy_out_of_range(harass_globals *record, unit_data *unit, const monster_data *monster)
	{
		const bool can_carry = !(unit->flags & _harass_unit_cant_carry_item_flag);
		if (record->flags & _globals_has_waypoint_flag)
		{
			if (unit->state == _harass_state_heading_for_waypoint && can_carry && !carrying(monster))
			{
				unit->state = _harass_state_looking_for_item;
				unit->delay = 0;
			}
			else
			{
				unit_ai_move(-2, unit->monster_index, record->waypoint, 0, 0);
				unit->state = _harass_state_heading_for_waypoint;
			}
		}
		else if (carrying(monster) || !can_carry)
		{
			unit->state = _harass_state_idle;
			guard(unit->monster_index);
		}
		else
		{
			unit->state = _harass_state_looking_for_item;
			unit->delay = 0;
		}
	}

	void handle_unit_danger_fraction(harass_globals *record, unit_data *unit, const monster_data *monster, const enemy *g,
		int32 fraction)
	{
		const world_point2d here = unit_ai_location(monster);
		const bool can_carry = !(unit->flags & _harass_unit_cant_carry_item_flag);
		if (fraction < record->suicide_fraction)
		{
			attack(unit->monster_index, world_point2d{g->center.x, g->center.y}, g->reach);
			unit->state = _harass_state_attacking_enemy;
		}
		else if (fraction < record->retreat_fraction)
		{
			const angle a = away_turned(unit->monster_index, here, world_point2d{g->center.x, g->center.y});
			unit_ai_move(-2, unit->monster_index, around(world_point2d{g->center.x, g->center.y}, g->reach, a), _command_movement_final_facing_flag,
				static_cast<angle>(a + 32768));
		}
		else if (fraction < 512)
		{
			if (carrying(monster) || !can_carry)
			{
				unit->state = _harass_state_idle;
				guard(unit->monster_index);
			}
			else
			{
				unit->state = _harass_state_looking_for_item;
				unit->delay = 0;
			}
		}
		else if (unit->state == _harass_state_moving_in && can_carry && !carrying(monster))
		{
			unit->state = _harass_state_looking_for_item;
			unit->delay = 0;
		}
		else
		{
			attack(unit->monster_index, world_point2d{g->center.x, g->center.y}, g->reach);
			unit->state = _harass_state_moving_in;
		}
	}

	void weigh_closest_enemy(harass_globals *record, const run_lists *lists, unit_data *unit, const monster_data *monster)
	{
		const world_point2d here = unit_ai_location(monster);
		enemy g = {};
		if (!find_closest_timid_enemy_group(record, &lists->enemies, here, &g))
		{
			handle_enemy_out_of_range(record, unit, monster);
			return;
		}
		const bool behind = facing_dot(&g, here) <= 0;
		if (behind && (carrying(monster) || (unit->flags & _harass_unit_cant_carry_item_flag) || is_missile(unit->monster_index)))
		{
			attack(unit->monster_index, g.center, g.reach);
			unit->state = _harass_state_attacking_enemy;
			return;
		}
		// A lone unit of a kind without range has no reach: it counts as 1.
		const int64 reach = g.reach < 1 ? 1 : g.reach;
		const int64 fraction = (static_cast<int64>(g.distance) << 8) / reach;
		handle_unit_danger_fraction(record, unit, monster, &g, static_cast<int32>(fraction > INT32_MAX ? INT32_MAX : fraction));
	}

	void handle_current_timid_state(harass_globals *record, const run_lists *lists)
	{
		for (int16 i = 0; i < record->unit_count; ++i)
		{
			unit_data *unit = &record->units[i];
			const monster_data *monster = get_monster_data(unit->monster_index);
			if (!carrying(monster))
			{
				unit->flags &= ~_harass_unit_carrying_item_flag;
			}
			else
			{
				unit->flags |= _harass_unit_carrying_item_flag;
				if (unit->state == _harass_state_picking_up_item_to_throw)
				{
					unit->state = _harass_state_idle;
					unit->delay = 0;
				}
			}
		}
		for (int16 i = 0; i < record->unit_count; ++i)
		{
			unit_data *unit = &record->units[i];
			unit->delay -= 1;
			if (unit->delay >= 0) continue;
			unit->delay = static_cast<int16>(record->delay_before_reevaluating);
			const monster_data *monster = get_monster_data(unit->monster_index);
			switch (unit->state)
			{
			case _harass_state_picking_up_item_to_throw:
				unit->state = _harass_state_idle;
				[[fallthrough]];
			case _harass_state_idle:
			case _harass_state_attacking_enemy:
			case _harass_state_fleeing:
			case _harass_state_moving_in:
			case _harass_state_heading_for_waypoint:
				weigh_closest_enemy(record, lists, unit, monster);
				break;
			case _harass_state_looking_for_item:
			{
				unit->state = _harass_state_idle;
				int16 object = NONE;
				int64 d2 = 0;
				if (!(unit->flags & _harass_unit_cant_carry_item_flag) && !carrying(monster))
					object = find_object_to_throw(record, &lists->objects, unit->monster_index, true, &d2);
				map_action_debug(record->action_index, "unit %d looked around for items to throw found %d", i, object);
				if (object == NONE)
				{
					weigh_closest_enemy(record, lists, unit, monster);
					break;
				}
				pick_up(unit->monster_index, object);
				const int32 distance = static_cast<int32>(isqrt(static_cast<uint32>(d2 > 0xFFFFFFFFLL ? 0xFFFFFFFFLL : d2)));
				map_action_debug(record->action_index, "unit %d is picking up %d (dis: %d);g", i, object, distance);
				unit->state = _harass_state_picking_up_item_to_throw;
				int32 speed = monster->base_movement_speed;
				if (game_play_version <= 1510)
				{
					const monster_definition *definition = get_monster_definition_for_monster(unit->monster_index);
					speed = definition ? definition->base_movement_speed : 0;
				}
				const int32 delay = speed > 0 ? 2 + distance / (speed << 5) : 2;
				unit->delay = static_cast<int16>(delay > INT16_MAX ? INT16_MAX : delay);
				break;
			}
			default:
				break;
			}
		}
	}
}

uint32 harass_action_proc(int16 action_index)
{
	harass_globals record;
	if (!read_record(action_index, &record)) create_record(action_index, &record);

	record.unit_count = unit_ai_keep_living_units(action_index, record.units, record.unit_count);
	if (unit_ai_list_emptied(action_index, record)) return _map_action_proc_deactivate_flag;
	record.team_index = get_monster_data(record.units[0].monster_index)->owner_team_index;

	static run_lists lists; // scratch, rebuilt on every run
	gather_throwables(&lists.objects);
	const bool timid = map_action_has_flag(action_index, TAG("timd"));
	gather_enemy_groups(record.team_index, timid, &lists.enemies);
	if (timid)
	{
		handle_current_timid_state(&record, &lists);
	}
	else
	{
		for (int16 i = 0; i < record.unit_count; ++i) handle_current_state(&record, &lists, i);
		for (int16 i = 0; i < record.unit_count; ++i)
		{
			const monster_data *monster = get_monster_data(record.units[i].monster_index);
			const object_data *object = get_object_data(monster->object_index);
			record.units[i].last_vitality = object ? object->vitality : 0;
		}
	}
	record.flags |= _globals_ran_flag;
	set_unique_map_action_parameter(action_index, TAG("#glo"), _parameter_character, sizeof(record), &record);
	return 0;
}
