// 'tuni': narrows a set of subject units by area and succeeds when a chain of
// conditions on the set holds. Only reads the world; keeps '#glo' in its action.
#include <cstring>
#include <vector>

#include "map_actions/map_action_accessors.h"
#include "map_actions/map_actions.h"
#include "map_actions/unit_query_action_procs.h"
#include "mesh.h"
#include "monster_definitions.h"
#include "monsters.h"
#include "object_definitions.h"
#include "objects.h"
#include "tags_and_strings.h"
#include "world.h"
#include "zerv.h"

#define MAXIMUM_SUBJECTS 400
#define MAXIMUM_TERRAIN_VALUES 64
#define FINAL_WAYPOINT_DISTANCE 1537 // the last waypoint lies closer than this

// Private state kept in the action, in host order.
struct test_units_globals
{
	int32 maximum_subject_count;
	fixed previous_average_vitality;
};
STORED_SIZE(test_units_globals, 8);

static bool has_integer(int16 action_index, field_tag field_name, int32 *value)
{
	return get_map_action_integer(action_index, field_name, value);
}

static const object_data *object_of(const monster_data *monster)
{
	return get_object_data(monster->object_index);
}

static world_point2d position_of(const monster_data *monster)
{
	const object_data *object = object_of(monster);
	world_point2d p = {0, 0};
	if (object)
	{
		p.x = object->location.position.x;
		p.y = object->location.position.y;
	}
	return p;
}

static int64 saturate32(int64 value)
{
	return value > INT32_MAX ? INT32_MAX : value < -INT32_MAX ? -INT32_MAX : value;
}

// Every subject stands on an allowed terrain type ('terr', 0..15; others ignored).
static boolean check_monsters_on_terrain(int16 action_index, const int16 *indexes, int16 count)
{
	uint32 allowed = 0;
	for (int32 i = 0; i < MAXIMUM_TERRAIN_VALUES; ++i)
	{
		int32 value;
		if (!get_indexed_long_integer_parameter(action_index, TAG("terr"), _parameter_integer, &value, i)) break;
		// Outside 0..15 the shift would be undefined: such values allow nothing.
		if (value >= 0 && value < 16) allowed |= 1u << value;
	}
	if (allowed == 0 || count == 0) return TRUE;
	for (int16 i = 0; i < count; ++i)
	{
		const world_point2d p = position_of(get_monster_data(indexes[i]));
		const int16 terrain = get_mesh_terrain_type(&p);
		if (terrain < 0 || terrain > 15 || !(allowed & (1u << terrain))) return FALSE;
	}
	return TRUE;
}

static bool listed(const int16 *list, int16 count, int16 value)
{
	for (int16 i = 0; i < count; ++i)
	{
		if (list[i] == value) return true;
	}
	return false;
}

static int16 unit_indexes_of(int16 action_index, field_tag field_name, int16 *indexes)
{
	int16 identifiers[MAXIMUM_SUBJECTS];
	const int32 n = get_combined_map_action_parameter(action_index, field_name, _parameter_monster_identifier, identifiers,
		MAXIMUM_SUBJECTS);
	return monster_identifiers_to_monster_indexes(identifiers, indexes, static_cast<int16>(n));
}

static fixed health_of(const monster_data *monster)
{
	const object_data *object = object_of(monster);
	const object_definition *definition = object ? get_object_definition(object->type) : nullptr;
	if (!definition || definition->maximum_vitality <= 0) return 0;
	return static_cast<fixed>((static_cast<int64>(object->vitality) * 65536) / definition->maximum_vitality);
}

static bool invisible_unit(const monster_data *monster)
{
	return (monster->extra_flags & _monster_is_invisible_extra_flag) != 0;
}

static bool failure_is_reported(int16 action_index)
{
	const map_action *action = get_map_action(action_index);
	return action && (action->deactivation_mode == _map_action_deactivates_on_execution ||
		action->deactivation_mode == _map_action_deactivates_on_failed_execution);
}

// 'clos': whether an enemy stands within r0, or by chance between r0 and r1.
static bool enemy_close(int16 action_index, const int16 *subjects, int16 count, int16 r0, int16 r1, bool ignore_invisible)
{
	int16 identifiers[MAXIMUM_SUBJECTS], enemies[MAXIMUM_SUBJECTS];
	// The list decides, not how many of its units still live: a list whose units all died finds nobody.
	const int16 listed_count = static_cast<int16>(get_combined_map_action_parameter(action_index, TAG("enem"),
		_parameter_monster_identifier, identifiers, MAXIMUM_SUBJECTS));
	const int16 enemy_count = monster_identifiers_to_monster_indexes(identifiers, enemies, listed_count);
	for (int16 s = 0; s < count; ++s)
	{
		const monster_data *subject = get_monster_data(subjects[s]);
		const world_point2d from = position_of(subject);
		if (listed_count > 0)
		{
			for (int16 e = 0; e < enemy_count; ++e)
			{
				const monster_data *enemy = get_monster_data(enemies[e]);
				if (!enemy || (ignore_invisible && invisible_unit(enemy))) continue;
				const world_point2d to = position_of(enemy);
				const int16 d = static_cast<int16>(MIN(distance2d(&from, &to), 32767));
				if (d >= r1) continue;
				if (d <= r0) return true;
				const int32 chance = (static_cast<int32>(r1) - d) * 256 / (static_cast<int32>(r1) - r0);
				if ((zerv_random() >> 8) < chance) return true;
				break; // a missed draw ends this subject's scan
			}
			continue;
		}
		for (int16 m = 0; m < monster_array.count; ++m)
		{
			const monster_data *other = get_monster_data(m);
			if (!other || (other->flags & _monster_has_left_the_mesh_flag) || other->owner_team_index == subject->owner_team_index ||
				(ignore_invisible && invisible_unit(other)))
			{
				continue;
			}
			const world_point2d to = position_of(other);
			const int16 d = static_cast<int16>(MIN(distance2d(&from, &to), 32767));
			if (d >= r1) continue;
			if (get_monster_class(m) == _monster_class_ambient_life) continue;
			if (d <= r0) return true;
			const int32 chance = (static_cast<int32>(r1) - d) * 256 / (static_cast<int32>(r1) - r0);
			if ((zerv_random() >> 8) < chance) return true;
		}
	}
	return false;
}

uint32 test_units_action_proc(int16 action_index)
{
	test_units_globals globals = {0, 0};
	get_map_action_structure(action_index, TAG("#glo"), sizeof(globals), &globals);
	auto store_globals = [&]() {
		set_unique_map_action_parameter(action_index, TAG("#glo"), _parameter_character, sizeof(globals), &globals);
	};
	bool result = true;

	// 1.
	int16 subjects[MAXIMUM_SUBJECTS];
	int16 count = 0;
	int32 team;
	if (has_integer(action_index, TAG("team"), &team))
	{
		for (int16 m = 0; m < monster_array.count && count < MAXIMUM_SUBJECTS; ++m)
		{
			const monster_data *monster = get_monster_data(m);
			if (monster && monster->owner_team_index == team) subjects[count++] = m;
		}
	}
	else
	{
		count = unit_indexes_of(action_index, TAG("subj"), subjects);
	}
	if (count > globals.maximum_subject_count) globals.maximum_subject_count = count;

	// 2.
	if (map_action_has_flag(action_index, TAG("_qel")) && !(game->option_flags & _game_option_uses_qel_flag)) result = false;
	if (map_action_has_flag(action_index, TAG("clmp")) && !(game->option_flags & _game_option_uses_anticlump_flag)) result = false;
	const bool same = map_action_has_flag(action_index, TAG("same"));
	if (same || map_action_has_flag(action_index, TAG("diff")))
	{
		int16 enemies[MAXIMUM_SUBJECTS];
		const int16 enemy_count = unit_indexes_of(action_index, TAG("enem"), enemies);
		if (same)
		{
			bool all = enemy_count == count;
			for (int16 i = 0; i < count && all; ++i) all = listed(enemies, enemy_count, subjects[i]);
			if (!all) result = false;
		}
		else
		{
			bool any = false;
			for (int16 i = 0; i < count && !any; ++i) any = listed(enemies, enemy_count, subjects[i]);
			if (!any) result = false;
		}
	}

	// 3.
	if (game_play_version >= 1511 && game_play_version <= 1710 && !check_monsters_on_terrain(action_index, subjects, count))
	{
		result = false;
	}

	const bool ignore_invisible = map_action_has_flag(action_index, TAG("igin"));
	const bool reverse = map_action_has_flag(action_index, TAG("repo"));
	// 4.
	{
		std::vector<world_point2d> polygon(static_cast<size_t>(
			MAX(count_combined_map_action_parameter(action_index, TAG("poly"), _parameter_world_point2d), 1)));
		const world_point2d *points = polygon.data();
		const int32 n = get_combined_map_action_parameter(action_index, TAG("poly"), _parameter_world_point2d,
			polygon.data(), static_cast<int32>(polygon.size()));
		if (n > 0)
		{
			const boolean closed = map_action_has_flag(action_index, TAG("clpo"));
			int16 kept = 0;
			for (int16 i = 0; i < count; ++i)
			{
				const monster_data *monster = get_monster_data(subjects[i]);
				if (ignore_invisible && invisible_unit(monster)) continue;
				const world_point2d p = position_of(monster);
				if ((point_in_polygon_test(&p, points, n, closed) != 0) != reverse) subjects[kept++] = subjects[i];
			}
			count = kept;
		}
	}
	// 5.
	{
		world_point2d points[3];
		const int32 n = get_combined_map_action_parameter(action_index, TAG("radi"), _parameter_world_point2d, points, 3);
		if (n > 0)
		{
			const world_point2d center = points[0];
			int32 radius = 0;
			if (n == 1)
			{
				if (!get_indexed_long_integer_parameter(action_index, TAG("crad"), _parameter_world_distance, &radius, 0))
				{
					map_action_debug(action_index, "expected radius about centerpoint but didn't get it");
					radius = 0;
				}
			}
			else if (n == 2)
			{
				radius = distance2d(&points[0], &points[1]);
			}
			int16 kept = 0;
			for (int16 i = 0; i < count; ++i)
			{
				const monster_data *monster = get_monster_data(subjects[i]);
				const object_data *object = object_of(monster);
				if (!object || (object->flags & _object_is_invisible_flag)) continue;
				if (ignore_invisible && invisible_unit(monster)) continue;
				const world_point2d p = position_of(monster);
				if ((distance2d(&p, &center) < radius) != reverse) subjects[kept++] = subjects[i];
			}
			count = kept;
		}
	}
	// 6.
	count = remove_monsters_that_have_left_the_mesh(subjects, count);
	if (game_play_version >= 1711 && !check_monsters_on_terrain(action_index, subjects, count)) result = false;

	// 7.
	world_point2d final_point;
	if (get_indexed_world_point2d_parameter(action_index, TAG("fwan"), &final_point, 0))
	{
		if (count == 0 && game_play_version >= 1711) result = false;
		for (int16 i = 0; i < count; ++i)
		{
			const monster_data *monster = get_monster_data(subjects[i]);
			const int32 waypoints = MIN(static_cast<int32>(monster->waypoint_count), MAXIMUM_WAYPOINTS_PER_MONSTER);
			if (waypoints < 1 || distance2d(&monster->waypoints[waypoints - 1], &final_point) >= FINAL_WAYPOINT_DISTANCE)
			{
				result = false;
				break;
			}
		}
	}

	// 8.
	fixed ratio_at_most = 0, ratio_at_least = 0;
	const bool has_ratio_at_most = get_map_action_fixed(action_index, TAG("por<"), &ratio_at_most);
	const bool has_ratio_at_least = get_map_action_fixed(action_index, TAG("por>"), &ratio_at_least);
	if (has_ratio_at_most || has_ratio_at_least)
	{
		int64 sums[2] = {0, 0};
		int32 counts[2] = {0, 0};
		for (int16 i = 0; i < count; ++i)
		{
			const monster_data *monster = get_monster_data(subjects[i]);
			if (monster->owner_team_index != 0 && monster->owner_team_index != 1) continue;
			const monster_definition *definition = get_monster_definition(monster->type);
			sums[monster->owner_team_index] += definition ? definition->combined_power : 0;
			counts[monster->owner_team_index] += 1;
		}
		// 64 bits, saturated: sum0 << 16 overflows 32.
		const int64 ratio = sums[1] == 0 ? INT32_MAX : saturate32((sums[0] * 65536) / sums[1]);
		const bool pass = (!has_ratio_at_most || ratio <= ratio_at_most) && (!has_ratio_at_least || ratio >= ratio_at_least);
		if (pass)
		{
			map_action_debug(action_index, "#%d/#%d ==> #%d/#%d == %3.2f", static_cast<int>(counts[0]), static_cast<int>(counts[1]),
				static_cast<int>(sums[0]), static_cast<int>(sums[1]), static_cast<double>(ratio) / 65536.0);
		}
		else
		{
			result = false;
		}
	}

	// 9.
	int32 value;
	if (has_integer(action_index, TAG("___>"), &value))
	{
		if (count > value) map_action_debug(action_index, "count: %d>%d", count, static_cast<int>(value));
		else result = false;
	}
	if (has_integer(action_index, TAG("___<"), &value))
	{
		if (count < value) map_action_debug(action_index, "count: %d<%d", count, static_cast<int>(value));
		else result = false;
	}
	if (has_integer(action_index, TAG("___="), &value))
	{
		if (count == value) map_action_debug(action_index, "count: %d==%d", count, static_cast<int>(value));
		else result = false;
	}

	// 10. Only the first present threshold is read.
	int32 ammunition = -1, experience = -1, charges = -1, height = -1;
	fixed mana = -1;
	bool threshold = true, by_charges = false, by_height = false;
	const bool later = game_play_version >= 1511;
	if (has_integer(action_index, TAG("ammo"), &ammunition)) {}
	else if (get_map_action_fixed(action_index, TAG("mana"), &mana)) {}
	else if (has_integer(action_index, TAG("exp>"), &experience)) {}
	else if (later && has_integer(action_index, TAG("chr>"), &charges)) by_charges = true;
	else if (later && has_integer(action_index, TAG("hei>"), &height)) by_height = true;
	else threshold = false;
	// 'sele' reads interface state, so only a local game honours it.
	const bool selected = game->type == _game_type_local && map_action_has_flag(action_index, TAG("sele"));
	const bool taunting = map_action_has_flag(action_index, TAG("taun"));
	if (threshold || selected || taunting)
	{
		if (count == 0 && game_play_version >= 1711) result = false;
		bool any_taunting = false;
		for (int16 i = 0; i < count; ++i)
		{
			const monster_data *monster = get_monster_data(subjects[i]);
			const monster_definition *definition = get_monster_definition(monster->type);
			const object_data *object = object_of(monster);
			bool pass = monster->experience > experience && monster->ammunition_count > ammunition;
			if (by_charges) pass = pass && unit_query_charges(monster) > charges;
			if (by_height) pass = pass && monster->height_over_mesh > height;
			if (definition && definition->maximum_mana > 0)
			{
				pass = pass && (static_cast<int64>(monster->mana) * 65536) / definition->maximum_mana > mana;
			}
			if (selected) pass = pass && object && (object->flags & _object_is_selected_flag);
			if (!pass) result = false;
			any_taunting = any_taunting || monster->action == _monster_action_taunting;
		}
		if (taunting && !any_taunting) result = false;
	}

	// 11.
	fixed above_vitality, below_vitality, deviation, above_power, below_power;
	const bool has_above_vitality = get_map_action_fixed(action_index, TAG(">vit"), &above_vitality);
	const bool has_below_vitality = get_map_action_fixed(action_index, TAG("<vit"), &below_vitality);
	const bool has_deviation = get_map_action_fixed(action_index, TAG("devi"), &deviation);
	const bool has_above_power = get_map_action_fixed(action_index, TAG(">pow"), &above_power);
	const bool has_below_power = get_map_action_fixed(action_index, TAG("<pow"), &below_power);
	if (has_above_vitality || has_below_vitality || has_deviation || has_above_power || has_below_power)
	{
		int64 vitality_sum = 0, power_sum = 0;
		for (int16 i = 0; i < count; ++i)
		{
			const monster_data *monster = get_monster_data(subjects[i]);
			const monster_definition *definition = get_monster_definition(monster->type);
			vitality_sum += health_of(monster);
			power_sum += definition ? definition->combined_power : 0;
		}
		const int32 divisor = globals.maximum_subject_count;
		const fixed average_vitality = divisor > 0 ? static_cast<fixed>(saturate32(vitality_sum / divisor)) : 0;
		const fixed average_power = divisor > 0 ? static_cast<fixed>(saturate32((power_sum * 65536) / divisor)) : 0;
		if (has_above_vitality)
		{
			if (average_vitality > above_vitality)
			{
				map_action_debug(action_index, "vitality: %d>%d", static_cast<int>(average_vitality), static_cast<int>(above_vitality));
			}
			else result = false;
		}
		if (has_below_vitality)
		{
			if (average_vitality < below_vitality)
			{
				map_action_debug(action_index, "vitality: %d<%d", static_cast<int>(average_vitality), static_cast<int>(below_vitality));
			}
			else result = false;
		}
		if (has_deviation)
		{
			const map_action *action = get_map_action(action_index);
			if (action && (action->flags & _map_action_was_just_activated_flag))
			{
				globals.previous_average_vitality = average_vitality;
				result = false;
			}
			else
			{
				const int64 change = static_cast<int64>(average_vitality) - globals.previous_average_vitality;
				if ((change < 0 ? -change : change) > deviation)
				{
					map_action_debug(action_index, "vitality changed more than threshold");
				}
				else result = false;
			}
		}
		if (has_above_power)
		{
			if (average_power > above_power)
			{
				map_action_debug(action_index, "power: %d>%d", static_cast<int>(average_power), static_cast<int>(above_power));
			}
			else result = false;
		}
		if (has_below_power)
		{
			if (average_power < below_power)
			{
				map_action_debug(action_index, "power: %d<%d", static_cast<int>(average_power), static_cast<int>(below_power));
			}
			else result = false;
		}
	}

	// 12.
	file_tag hold_tag = NONE, inventory_tag = NONE;
	const bool has_hold = get_map_action_field_name(action_index, TAG("hold"), &hold_tag);
	const bool has_inventory = get_map_action_field_name(action_index, TAG("holi"), &inventory_tag);
	if (has_hold || has_inventory)
	{
		int16 holding = 0;
		file_tag shown = has_hold ? hold_tag : inventory_tag;
		for (int16 i = 0; i < count; ++i)
		{
			const monster_data *monster = get_monster_data(subjects[i]);
			const bool has_held = monster->held_object_count > 0;
			const file_tag tag = has_held && has_inventory ? inventory_tag : has_hold ? hold_tag : inventory_tag;
			shown = tag;
			if (unit_query_holds(monster, &tag, 1, FALSE, nullptr) ||
				(has_inventory && has_held && unit_query_held_objects_hold(monster, tag)))
			{
				holding += 1;
			}
		}
		map_action_debug(action_index, "%d monsters carrying %s", holding, tag_to_string(shown));
		if (holding == 0 || (map_action_has_flag(action_index, TAG("_all")) && holding != count)) result = false;
	}

	// 13.
	if (map_action_has_flag(action_index, TAG("user")))
	{
		bool any = false;
		for (int16 i = 0; i < count && !any; ++i)
		{
			any = (get_monster_data(subjects[i])->flags & _monster_has_received_user_command_flag) != 0;
		}
		result = any;
	}

	// 14. The integer 'diff' (type 5) is the old form; the flag 'diff' is step 2's.
	const int32 difficulty = game->difficulty_level;
	if (has_integer(action_index, TAG(">dif"), &value) && difficulty < value) result = false;
	if (has_integer(action_index, TAG("<dif"), &value) && difficulty > value) result = false;
	if (has_integer(action_index, TAG("=dif"), &value) && difficulty != value) result = false;
	if (has_integer(action_index, TAG("diff"), &value) && difficulty < value) result = false;

	// 15.
	int32 radii[2];
	const int32 radius_count = get_combined_map_action_parameter(action_index, TAG("clos"), _parameter_world_distance, radii, 2);
	if (radius_count > 0)
	{
		if (count == 0)
		{
			store_globals();
			if (failure_is_reported(action_index)) map_action_debug(action_index, "test action failed");
			return 0;
		}
		// Radii are held in 16 bits: clamped rather than wrapped.
		const int16 r0 = static_cast<int16>(PIN(radii[0], 0, 32767));
		const int16 r1 = static_cast<int16>(PIN(radius_count > 1 ? radii[1] : static_cast<int64>(radii[0]) + 1, 0, 32767));
		result = enemy_close(action_index, subjects, count, r0, r1, ignore_invisible);
	}

	// 16.
	store_globals();
	if (result)
	{
		map_action_debug(action_index, "test action successful");
		return _map_action_proc_succeeded_flag;
	}
	if (failure_is_reported(action_index)) map_action_debug(action_index, "test action failed");
	return 0;
}
