// Units: finding and switching targets, choosing and aiming attacks, and
// firing them. Every random draw comes from the synchronised stream, each in
// its own statement so the order is fixed on every machine.
#include "monsters.h"

#include <cstring>
#include <type_traits>

#include "alliances.h"
#include "cell_units.h"
#include "damage.h"
#include "artifact_definitions.h"
#include "local_projectiles.h"
#include "mesh.h"
#include "models.h"
#include "objects.h"
#include "players.h"
#include "projectile_definitions.h"
#include "projectiles.h"
#include "shapes.h"
#include "world.h"
#include "zerv.h"

#define FAR_AWAY 512000
#define FIRST_SCAN_DISTANCE 2560000
#define CHARGE_RANGE_TERRAIN_INDEX 10

/* ---------- small helpers */

static inline world_point2d point2d_of(const world_point3d &p)
{
	return world_point2d{p.x, p.y};
}

static object_data *monster_object(const monster_data *monster)
{
	return monster ? get_object_data(monster->object_index) : nullptr;
}

static monster_definition *monster_kind(const monster_data *monster)
{
	return monster ? get_monster_definition(monster->type) : nullptr;
}

static int16 monster_class_of(const monster_data *monster)
{
	const monster_definition *definition = monster_kind(monster);
	return definition ? definition->monster_class : static_cast<int16>(NONE);
}

// The unit the record aims at when it has one; NULL otherwise.
static monster_data *target_unit(const monster_data *monster)
{
	if (!monster || !(monster->flags & _monster_has_valid_target_index_flag)) return nullptr;
	return get_monster_data(monster->target_monster_index);
}

// Targets a unit rather than a place.
static boolean targets_a_unit(const monster_data *monster)
{
	return (monster->flags & _monster_has_valid_target_index_flag) && !(monster->flags & _monster_has_valid_target_location_flag);
}

static boolean monster_targets(const monster_data *monster, int16 other_index)
{
	return (monster->flags & _monster_has_valid_target_index_flag) && monster->target_monster_index == other_index;
}

static boolean is_inside_mesh(world_distance x, world_distance y)
{
	if (!mesh_globals || !mesh_globals->mesh_cells) return FALSE;
	return x >= 0 && y >= 0 && x < mesh_globals->mesh_width * WORLD_ONE && y < mesh_globals->mesh_height * WORLD_ONE;
}

static boolean map_is_indoor(void)
{
	const mesh_header *header = mesh_globals && mesh_globals->mesh_cells ? get_mesh_header() : nullptr;
	return header && (header->flags & _mesh_is_indoor_map_flag);
}

static boolean indoor_segment_check(int32 x, int32 y, const world_point2d *, const world_point2d *)
{
	return indoor_cell_obstruction_proc(x, y, nullptr);
}

static inline void unit_target_location(const monster_data *monster, const object_data *object, world_point3d *point,
	int16 aim_part, int16 lead_ticks);

// unit_target_location's point for aim part 0 without lead, inline for the attack choice.
static inline __attribute__((always_inline)) world_point3d unit_target_feet(const monster_data *monster,
	const object_data *object)
{
	if (monster->flags & _monster_has_valid_target_location_flag)
	{
		return world_point3d{monster->target_location.x, monster->target_location.y, monster->target_location_height};
	}
	const object_data *target_object = monster_object(get_monster_data(monster->target_monster_index));
	if (!target_object) return object->location.position;
	world_point3d point = target_object->location.position;
	point.z -= target_object->height0;
	return point;
}

static const projectile_definition *attack_projectile(const monster_attack_definition *attack)
{
	return attack && attack->projectile_type != NONE ? get_projectile_definition(attack->projectile_type) : nullptr;
}

static const object_definition *projectile_object_definition(const projectile_definition *projectile)
{
	return projectile ? get_object_definition(projectile->object_type) : nullptr;
}

uint64 rounded_square_root64(uint64 x)
{
	if (x < 0x100000000ull) return isqrt(static_cast<uint32>(x));
	uint64 root = 0;
	for (int32 bit = 31; bit >= 0; --bit)
	{
		const uint64 trial = root | (1ull << bit);
		if (trial * trial <= x) root = trial;
	}
	// Round to nearest: (r + 1/2)² = r² + r + 1/4.
	if (x - root * root > root) root += 1;
	return root;
}

/* ---------- target scan */

static void scan_square_corner(int32 cell_x, int32 cell_y, int32 size, angle facing, boolean biased, int32 *x0, int32 *y0)
{
	int32 ox = 32768, oy = 32768;
	if (biased)
	{
		const uint32 turned = static_cast<uint16>(facing + 8192);
		const int32 quadrant = static_cast<int32>(turned >> 14);
		const int32 f = static_cast<int32>(turned & 16383) * 2 + 16384;
		switch (quadrant)
		{
		case 0: ox = 16384; oy = 65536 - f; break;
		case 1: ox = f; oy = 16384; break;
		case 2: ox = 49152; oy = f; break;
		default: ox = 65536 - f; oy = 49152; break;
		}
	}
	*x0 = cell_x - ((size * ox) >> 16);
	*y0 = cell_y - ((size * oy) >> 16);
	const int32 width = mesh_globals ? mesh_globals->mesh_width : 0;
	const int32 height = mesh_globals ? mesh_globals->mesh_height : 0;
	*x0 = MAX(0, MIN(*x0, width - size));
	*y0 = MAX(0, MIN(*y0, height - size));
}

void get_target_scan_square(int16 monster_index, int16 mode, int32 *x0, int32 *y0, int32 *size, world_point2d *centre)
{
	*x0 = *y0 = *size = 0;
	monster_data *monster = get_monster_data(monster_index);
	const object_data *object = monster_object(monster);
	const monster_definition *definition = monster_kind(monster);
	if (!object || !definition) return;
	const boolean has_target = (monster->flags & _monster_has_valid_target_index_flag) != 0;
	const monster_data *target = target_unit(monster);
	const object_data *target_object = monster_object(target);

	world_point2d at = point2d_of(object->location.position);
	boolean biased = TRUE;
	switch (mode)
	{
	case _closest_most_appropriate_target_periodic_scan:
	case _closest_most_appropriate_target_target_died_scan:
		*size = has_target ? 21 : (definition->activation_distance >> WORLD_FRACTIONAL_BITS) + 1;
		break;
	case _closest_most_appropriate_target_second_target_died_scan:
		*size = 12;
		biased = FALSE;
		if (target_object) at = point2d_of(target_object->location.position);
		break;
	case _closest_most_appropriate_target_becoming_idle_scan:
		*size = 4;
		break;
	default:
		return;
	}
	if (monster->extra_flags & _monster_is_berserk_extra_flag)
	{
		*size = 20;
		biased = FALSE;
	}

	angle facing = object->location.yaw;
	if (target_object)
	{
		const world_distance dx = target_object->location.position.x - object->location.position.x;
		const world_distance dy = target_object->location.position.y - object->location.position.y;
		if (!(dx == 0 && dy == 0 && game_play_version > 1709)) facing = arctangent(dx, dy);
	}
	*centre = at;
	scan_square_corner(at.x >> WORLD_FRACTIONAL_BITS, at.y >> WORLD_FRACTIONAL_BITS, *size, facing, biased, x0, y0);
}

// The died scan's distance: the plain distance lengthened by the steps of
// the angle off the unit's facing. Each step only adds (d is never
// negative), so the steps of an angle past 16384 give the longest.
static inline world_distance lengthened_by_angle(world_distance d, int32 off)
{
	if (off > 4096)
	{
		d += d / 8;
		if (off > 8192) d += d / 6;
		if (off > 16384) d += d / 4;
	}
	return d;
}

world_distance died_scan_angle_free_distance(world_distance critical)
{
	world_distance low = 0, high = MAX(0, critical);
	while (low < high)
	{
		const world_distance middle = low + (high - low) / 2;
		if (lengthened_by_angle(middle, 16385) >= critical) high = middle;
		else low = middle + 1;
	}
	return low;
}

// Which units one target scan has already weighed: a unit is marked with the
// scan's number the first time it comes up as a candidate.
static struct
{
	uint32 scan_number;
	uint32 weighed[MAXIMUM_MONSTERS_PER_MAP];
} target_scan_marks;

int16 closest_most_appropriate_target(int16 monster_index, int16 mode)
{
	monsters_test_hooks_data *hooks = get_monsters_test_hooks();
	hooks->closest_target_calls += 1;
	monster_data *monster = get_monster_data(monster_index);
	const object_data *object = monster_object(monster);
	const monster_definition *definition = monster_kind(monster);
	if (!object || !definition) return NONE;
	if (monster->extra_flags & _monster_is_confused_extra_flag) return NONE;
	if (mode < _closest_most_appropriate_target_periodic_scan || mode > _closest_most_appropriate_target_becoming_idle_scan)
	{
		return NONE;
	}

	int32 x0, y0, size;
	world_point2d centre = {0, 0};
	get_target_scan_square(monster_index, mode, &x0, &y0, &size, &centre);
	if (size <= 0) return NONE;

	const monster_data *target = target_unit(monster);
	int16 preferred_kind = target ? target->type : static_cast<int16>(NONE);
	if (monster->flags & _monster_has_valid_target_index_flag)
	{
		const boolean mixes = (static_cast<uint16>(definition->hack_flags) & _hack_mixes_missile_melee_behaviour_flag) != 0;
		if ((definition->monster_class == _monster_class_missile || (definition->monster_class == _monster_class_melee && mixes)) &&
			!(monster->flags & _monster_responding_to_target_command_flag) &&
			(monster->extra_flags & _monster_failed_to_attack_extra_flag))
		{
			preferred_kind = NONE;
		}
	}
	else
	{
		preferred_kind = NONE;
	}

	const int16 excluded = (mode == _closest_most_appropriate_target_target_died_scan ||
		mode == _closest_most_appropriate_target_second_target_died_scan) ? monster->target_monster_index : static_cast<int16>(NONE);
	const boolean died_scan_rules = mode == _closest_most_appropriate_target_target_died_scan && game_play_version >= 1301;
	const uint32 media_flag = object->flags & _object_wholly_under_media_flag;
	const world_point2d here = point2d_of(object->location.position);
	// The alliance test of every object in the square, with the scanner's half taken once.
	const boolean scanner_may_ally = definition->monster_class != _monster_class_ambient_life &&
		!(monster->extra_flags & _monster_is_berserk_extra_flag);
	const int16 scanner_team = monster->owner_team_index;

	int16 best = NONE;
	world_distance best_distance = FIRST_SCAN_DISTANCE;
	// Each candidate's offset from the centre is squared once for both limits.
	distance2d_limit best_limit = distance2d_limit_of(best_distance);
	const distance2d_limit near_limit = distance2d_limit_of(definition->critical_distance);
	// Died scans: the shortest distance whose longest lengthening reaches the
	// "near" limit. The lengthening rises strictly with the distance, so every
	// distance below it stays near whatever the angle, and every one from it on
	// may not. (The test's full weighing lengthens every near candidate.)
	distance2d_limit angle_free_limit = distance2d_limit_of(0);
	if (died_scan_rules && !hooks->target_scans_weigh_every_candidate)
	{
		angle_free_limit = distance2d_limit_of(died_scan_angle_free_distance(definition->critical_distance));
	}
	int32 best_score = 0;
	int16 cached_type = NONE;
	const monster_definition *cached_definition = nullptr;
	// Alliances do not change during a scan: each team is asked once (0 not yet, 1 no, 2 yes),
	// every value the record's team can hold.
	uint8 team_allied[256] = {};

	// Nothing a scan reads changes while it runs, so a candidate weighs the
	// same each time it comes up; and as the best only ever gets strictly
	// better (a higher score, or the same score and closer), weighing it again
	// cannot replace the best. Not so when a closer candidate of any score
	// may replace the best (the died-scan rules for a unit that closes in).
	const boolean skips_weighed = (!died_scan_rules || !(monster->flags & _monster_should_close_on_target_flag)) &&
		!hooks->target_scans_weigh_every_candidate;
	uint32 *const weighed = target_scan_marks.weighed;
	if (++target_scan_marks.scan_number == 0)
	{
		// After 2^32 scans the numbers start again from 1 on clean marks.
		memset(weighed, 0, sizeof(target_scan_marks.weighed));
		target_scan_marks.scan_number = 1;
	}
	const uint32 this_scan = target_scan_marks.scan_number;
	// The scanner was found, so the array is there: units by index without
	// asking for it again (the same tests as get_monster_data).
	const monster_data *const monsters = static_cast<const monster_data *>(monster_array.data);
	const auto unit_at = [monsters](int16 index) -> const monster_data * {
		if (static_cast<uint16>(index) >= MAXIMUM_MONSTERS_PER_MAP) return nullptr;
		const monster_data *unit = monsters + index;
		return unit->identifier != 0 ? unit : nullptr;
	};

	// The died-scan rules are fixed for the scan: each kind of scan gets its
	// own loop without the other's tests.
	const auto scan = [&](auto died_rules) {
		for_each_object_in_cells(x0, y0, x0 + size - 1, y0 + size - 1, [&](int16 object_index) {
			// The walk hands out only linked, live objects.
			const object_data *other_object = &static_cast<const object_data *>(object_array.data)[object_index];
			if (other_object->owner != _object_is_monster) return;
			if (other_object->flags & _object_is_invisible_flag) return;
			if ((other_object->flags & _object_wholly_under_media_flag) != media_flag) return;
			const int16 other_index = other_object->owner_index;
			const monster_data *other = unit_at(other_index);
			if (!other) return;

			int16 candidate_index = other_index;
			// Cheapest tests first; the kind's class is looked up only for allies.
			boolean allied = scanner_may_ally && !(other->extra_flags & _monster_is_berserk_extra_flag);
			if (allied)
			{
				const int8 team = other->owner_team_index;
				uint8 &known = team_allied[static_cast<uint8>(team)];
				if (known == 0) known = teams_are_allied(scanner_team, team) ? 2 : 1;
				allied = known == 2;
			}
			if (allied)
			{
				if (other->type != cached_type)
				{
					cached_type = other->type;
					cached_definition = get_monster_definition(other->type);
				}
				allied = !cached_definition || cached_definition->monster_class != _monster_class_ambient_life;
			}
			if (allied)
			{
				if (!(other->flags & _monster_has_valid_target_index_flag) ||
					(other->flags & (_monster_responding_to_target_command_flag | _monster_needs_to_retreat_flag)) ||
					other->unit_type != monster->unit_type)
				{
					return;
				}
				candidate_index = other->target_monster_index;
			}
			else if (mode == _closest_most_appropriate_target_becoming_idle_scan)
			{
				return;
			}
			if (candidate_index == NONE || candidate_index == excluded || candidate_index == monster_index) return;
			// A unit met in its own cell weighs as when reached through an ally
			// only while its record and object point at each other.
			if (skips_weighed && static_cast<uint16>(candidate_index) < MAXIMUM_MONSTERS_PER_MAP &&
				(candidate_index != other_index || other->object_index == object_index))
			{
				if (weighed[candidate_index] == this_scan) return;
				weighed[candidate_index] = this_scan;
			}
			const monster_data *candidate = candidate_index == other_index ? other : unit_at(candidate_index);
			const object_data *candidate_object = candidate_index == other_index ? other_object : monster_object(candidate);
			if (!candidate_object) return;

			// Such a unit never replaces the best.
			if (candidate->extra_flags & _monster_cannot_be_autotargeted_extra_flag) return;

			// The distance is compared without its square root where it can be:
			// outside the died-scan rules it is only compared, and under them it
			// only grows with the angle off the unit's facing, so a candidate the
			// plain distance rules out needs neither the root nor the angle.
			const world_point2d position = point2d_of(candidate_object->location.position);
			const distance2d_offset offset = distance2d_offset_of(&position, &centre);
			world_distance d = 0;
			int32 measured = 0; // 1: d is the plain distance; 2: d has the angle's part too
			const auto died_scan_distance = [&]() {
				if (measured < 2)
				{
					if (measured == 0) d = distance2d_of_offset(offset);
					const angle direction = arctangent(position.x - here.x, position.y - here.y);
					d = lengthened_by_angle(d, angular_difference(monster->desired_yaw, direction));
					measured = 2;
				}
				return d;
			};
			boolean near = distance2d_offset_below(offset, near_limit);
			if (near && died_rules)
			{
				// When even the longest the angle can make it stays below the
				// limit, the angle cannot change the answer.
				if (!distance2d_offset_below(offset, angle_free_limit))
				{
					// Only the angle decides "near" now. The score only grows with
					// "near": when even a near candidate could not replace the best
					// (no higher score, and at an equal score not nearer even
					// without the angle's part), neither answer can.
					// (The test's full weighing takes every angle.)
					if (best != NONE && !hooks->target_scans_weigh_every_candidate)
					{
						const boolean preferred_here = preferred_kind != NONE && candidate->type == preferred_kind;
						const int32 highest = (preferred_here ? 1 : 0) + 1 + (monster_targets(candidate, monster_index) ? 1 : 0);
						const boolean may_close_here = (monster->flags & _monster_should_close_on_target_flag) &&
							(preferred_kind == NONE || preferred_here);
						if (!may_close_here &&
							(highest < best_score || (highest == best_score && !distance2d_offset_below(offset, best_limit))))
						{
							return;
						}
					}
					near = died_scan_distance() < definition->critical_distance;
				}
			}

			const boolean preferred = preferred_kind != NONE && candidate->type == preferred_kind;
			int32 score = (preferred ? 1 : 0) + (near ? 1 : 0);
			if (score >= 1 || preferred_kind == NONE)
			{
				if (monster_targets(candidate, monster_index)) score += 1;
			}
			else
			{
				score = 0;
			}

			boolean replaces;
			if (died_rules)
			{
				// A closer candidate replaces an equal score, or any score when
				// the unit should close on its target.
				const boolean may_close = (monster->flags & _monster_should_close_on_target_flag) &&
					(preferred_kind == NONE || preferred);
				replaces = best == NONE || score > best_score ||
					((score == best_score || may_close) && distance2d_offset_below(offset, best_limit) &&
						died_scan_distance() < best_distance);
				if (replaces) died_scan_distance();
			}
			else
			{
				replaces = best == NONE || score > best_score ||
					(score == best_score && distance2d_offset_below(offset, best_limit));
				if (replaces) d = distance2d_of_offset(offset);
			}
			if (replaces)
			{
				best = candidate_index;
				best_distance = d;
				best_limit = distance2d_limit_of(d);
				best_score = score;
			}
		});
	};
	if (died_scan_rules) scan(std::true_type());
	else scan(std::false_type());
	return best;
}

/* ---------- switching targets */

static boolean monster_should_flee(const monster_data *monster, const monster_definition *definition, const monster_data *candidate)
{
	boolean flee = (monster->flags & _monster_needs_to_retreat_flag) != 0;
	const int16 candidate_class = monster_class_of(candidate);
	switch (definition->monster_class)
	{
	case _monster_class_melee:
	case _monster_class_special:
		if (candidate_class == _monster_class_suicide) flee = TRUE;
		else if (static_cast<uint16>(definition->hack_flags) & _hack_mixes_missile_melee_behaviour_flag) {}
		else flee = FALSE;
		break;
	case _monster_class_suicide:
		if (!(monster->flags & _monster_has_valid_target_index_flag))
		{
			const boolean standing = (monster->flags & _monster_standing_ground_flag) && game &&
				(game->option_flags & (_game_option_uses_qel_flag | _game_option_uses_anticlump_flag));
			if (!standing) flee = TRUE;
		}
		break;
	case _monster_class_harmless:
	case _monster_class_ambient_life:
	case _monster_class_invisible_observer:
		flee = TRUE;
		break;
	default:
		flee = FALSE;
		break;
	}
	if (game_play_version > 1700 && (monster->extra_flags & (_monster_is_confused_extra_flag | _monster_is_berserk_extra_flag)))
	{
		flee = FALSE;
	}
	return flee;
}

static void activate_adjacent_monsters(int16 monster_index, int16 candidate_index)
{
	monster_data *monster = get_monster_data(monster_index);
	const object_data *object = monster_object(monster);
	const monster_definition *definition = monster_kind(monster);
	if (!object || !definition) return;
	const int32 half = definition->warning_distance >> WORLD_FRACTIONAL_BITS;
	const int32 cell_x = object->location.position.x >> WORLD_FRACTIONAL_BITS;
	const int32 cell_y = object->location.position.y >> WORLD_FRACTIONAL_BITS;
	const boolean melee_rule = game_play_version != 1300 && definition->monster_class == _monster_class_melee;
	const world_point2d here = point2d_of(object->location.position);
	const int8 team = monster->owner_team_index;
	const int16 monster_class = definition->monster_class;

	object_cell_walk walk;
	start_object_cell_walk(&walk, cell_x - half, cell_y - half, cell_x + half, cell_y + half);
	for (int16 object_index = next_object_in_cell_walk(&walk); object_index != NONE;
		object_index = next_object_in_cell_walk(&walk))
	{
		const object_data *other_object = get_object_data(object_index);
		if (!other_object || other_object->owner != _object_is_monster || other_object->owner_index == monster_index) continue;
		const int16 other_index = other_object->owner_index;
		const monster_data *other = get_monster_data(other_index);
		const monster_definition *other_definition = monster_kind(other);
		if (!other || !other_definition || other->owner_team_index != team) continue;
		if (other_definition->monster_class != monster_class || monster_class == _monster_class_ambient_life) continue;
		if (other->extra_flags & _monster_is_ambient_life_extra_flag) continue;
		if (other->flags & _monster_was_stopped_flag) continue;
		if (melee_rule)
		{
			const world_point2d there = point2d_of(other_object->location.position);
			if (distance2d(&here, &there) >= other_definition->critical_distance + other_definition->activation_distance) continue;
		}
		try_and_switch_target_indexes(other_index, candidate_index, 0);
	}
}

boolean try_and_switch_target_indexes(int16 monster_index, int16 candidate_index, uint16 switch_flags)
{
	monster_data *monster = get_monster_data(monster_index);
	object_data *object = monster_object(monster);
	const monster_definition *definition = monster_kind(monster);
	monster_data *candidate = get_monster_data(candidate_index);
	const object_data *candidate_object = monster_object(candidate);
	if (!object || !definition || !candidate_object || candidate_index == monster_index) return FALSE;

	if (game_play_version > 1300)
	{
		if ((monster->extra_flags & _monster_does_not_autotarget_extra_flag) &&
			!(monster->flags & _monster_responding_to_target_command_flag))
		{
			return FALSE;
		}
		if (monster->deferred_target_index != NONE) return FALSE;
	}
	if (monster->extra_flags & _monster_is_confused_extra_flag) return FALSE;
	if (monsters_are_allied(monster_index, candidate_index)) return FALSE;
	if (!(switch_flags & _switch_target_command_override_flag) && (monster->flags & _monster_responding_to_command_flag)) return FALSE;

	const monster_data *current = target_unit(monster);
	const object_data *current_object = monster_object(current);
	const boolean failed = (monster->extra_flags & _monster_failed_to_attack_extra_flag) != 0;
	if (current_object)
	{
		boolean switches;
		if (definition->monster_class == _monster_class_missile && failed &&
			!(monster->flags & _monster_responding_to_target_command_flag))
		{
			switches = TRUE;
		}
		else if (failed && (switch_flags & _switch_target_close_range_flag) && candidate->type == current->type)
		{
			switches = TRUE;
		}
		else if ((monster->flags & _monster_target_has_caused_melee_damage_flag) ||
			((monster->flags & _monster_responding_to_target_command_flag) &&
				!(switch_flags & _switch_target_command_override_flag) && candidate->type != current->type) ||
			!monster_targets(candidate, monster_index) || monster_targets(current, monster_index))
		{
			switches = FALSE;
		}
		else
		{
			const world_point2d here = point2d_of(object->location.position);
			const world_point2d to_current = point2d_of(current_object->location.position);
			const world_point2d to_candidate = point2d_of(candidate_object->location.position);
			if (switch_flags & _switch_target_close_range_flag)
			{
				if (definition->flags & _monster_concentrates_on_single_attacker_flag)
				{
					const int32 current_off = angular_difference(object->location.yaw,
						arctangent(to_current.x - here.x, to_current.y - here.y));
					const int32 candidate_off = angular_difference(object->location.yaw,
						arctangent(to_candidate.x - here.x, to_candidate.y - here.y));
					switches = current_off > candidate_off + TRY_AND_SWITCH_TARGET_ANGULAR_DIFFERENCE_THRESHHOLD;
				}
				else
				{
					switches = TRUE;
				}
			}
			else
			{
				switches = distance2d(&here, &to_current) >
					distance2d(&here, &to_candidate) + TRY_AND_SWITCH_TARGET_DISTANCE_THRESHHOLD;
			}
		}
		if (!switches) return FALSE;
	}

	const boolean flee = monster_should_flee(monster, definition, candidate);
	const boolean was_responding_to_target = (monster->flags & _monster_responding_to_target_command_flag) != 0;

	object->flags &= ~static_cast<uint32>(_object_pausing_for_obstacle_to_move_flag);
	monster->target_monster_index = candidate_index;
	monster->extra_flags &= ~static_cast<uint32>(_monster_failed_to_attack_extra_flag | _monster_attack_went_ahead_extra_flag);
	monster->flags &= ~static_cast<uint32>(_monster_has_obstructed_path_flag | _monster_in_proximity_to_target_flag |
		_monster_did_not_get_targeting_solution_flag | _monster_is_retreating_flag | _monster_was_stopped_flag |
		_monster_will_use_special_ability_flag | _monster_is_using_special_ability_flag |
		_monster_target_has_caused_melee_damage_flag);
	monster->flags |= _monster_has_valid_target_flag | _monster_has_valid_target_index_flag | _monster_needs_new_path_flag |
		_monster_attack_was_aborted_flag;
	if (game_play_version >= 1401 && definition->monster_class == _monster_class_melee &&
		(static_cast<uint16>(definition->hack_flags) & _hack_doesnt_close_on_target_flag))
	{
		monster->flags |= _monster_responding_to_command_flag;
	}
	if (game_play_version >= 1301 && was_responding_to_target && !flee)
	{
		if (definition->monster_class != _monster_class_melee)
		{
			monster->flags &= ~static_cast<uint32>(_monster_responding_to_target_command_flag);
		}
		monster->flags &= ~static_cast<uint32>(_monster_needs_to_retreat_flag);
	}
	else if (flee)
	{
		monster->flags |= _monster_needs_to_retreat_flag;
	}
	else
	{
		monster->flags &= ~static_cast<uint32>(_monster_needs_to_retreat_flag);
	}

	if ((switch_flags & _switch_target_activate_adjacents_flag) && !flee && !failed)
	{
		activate_adjacent_monsters(monster_index, candidate_index);
	}
	return TRUE;
}

// Whether try_and_switch_target_indexes(monster_index, candidate, switch_flags)
// answers FALSE for every candidate, changing nothing: then the scan that
// would name the candidate need not run (it changes nothing either). Every
// TRUE here is one of the switch's own refusals that does not depend on the
// candidate; with a current target, the switch takes only a live candidate
// with an object that targets the unit (unless a missile unit failed, or a
// close-range switch may take the same kind), and outside a close-range
// switch only one nearer than the current target less the threshold: so when
// no unit targeting the unit is that near, it refuses them all.
boolean target_switch_is_refused_for_every_candidate(int16 monster_index, uint16 switch_flags)
{
	const monster_data *monster = get_monster_data(monster_index);
	const object_data *object = monster_object(monster);
	const monster_definition *definition = monster_kind(monster);
	if (!object || !definition) return TRUE;
	if (game_play_version > 1300)
	{
		if ((monster->extra_flags & _monster_does_not_autotarget_extra_flag) &&
			!(monster->flags & _monster_responding_to_target_command_flag))
		{
			return TRUE;
		}
		if (monster->deferred_target_index != NONE) return TRUE;
	}
	if (monster->extra_flags & _monster_is_confused_extra_flag) return TRUE;
	if (!(switch_flags & _switch_target_command_override_flag) && (monster->flags & _monster_responding_to_command_flag)) return TRUE;

	const monster_data *current = target_unit(monster);
	const object_data *current_object = monster_object(current);
	if (!current_object) return FALSE;
	const boolean failed = (monster->extra_flags & _monster_failed_to_attack_extra_flag) != 0;
	if (definition->monster_class == _monster_class_missile && failed &&
		!(monster->flags & _monster_responding_to_target_command_flag))
	{
		return FALSE;
	}
	if (failed && (switch_flags & _switch_target_close_range_flag)) return FALSE;
	if ((monster->flags & _monster_target_has_caused_melee_damage_flag) || monster_targets(current, monster_index)) return TRUE;
	const boolean close_range = (switch_flags & _switch_target_close_range_flag) != 0;
	const world_point2d here = point2d_of(object->location.position);
	const world_point2d to_current = point2d_of(current_object->location.position);
	const world_distance current_distance = distance2d(&here, &to_current);
	// The candidate's distance is never negative.
	if (!close_range && current_distance <= TRY_AND_SWITCH_TARGET_DISTANCE_THRESHHOLD) return TRUE;
	const monster_data *const monsters = static_cast<const monster_data *>(monster_array.data);
	// Unrolled: a record's test is one compare, and the loop's own steps were as many again.
#pragma GCC unroll 8
	for (int32 i = 0; i < MAXIMUM_MONSTERS_PER_MAP; ++i)
	{
		const monster_data *other = monsters + i;
		if (other->target_monster_index != monster_index || !(other->flags & _monster_has_valid_target_index_flag)) continue;
		if (close_range) return FALSE;
		if (other->identifier == 0) continue;
		const object_data *other_object = monster_object(other);
		if (!other_object) continue;
		const world_point2d there = point2d_of(other_object->location.position);
		if (current_distance > distance2d(&here, &there) + TRY_AND_SWITCH_TARGET_DISTANCE_THRESHHOLD) return FALSE;
	}
	return TRUE;
}

/* ---------- attack lookup and use */

static monster_attack_definition *find_monster_attack(int16 monster_index, int16 attack_index)
{
	const monster_data *monster = get_monster_data(monster_index);
	monster_definition *definition = monster_kind(monster);
	if (!definition) return nullptr;
	if (attack_index == ARTIFACT_ATTACK_INDEX)
	{
		artifact_definition *artifact = monster->artifact_index != NONE ? get_artifact_definition(monster->artifact_index) : nullptr;
		return artifact ? &artifact->override_attack : &definition->attacks[0];
	}
	// Indexes outside the stored records are clamped on every version: reading
	// past the four records would take whatever follows them.
	const int16 last = static_cast<int16>(MAX(0, MIN(definition->number_of_attacks, MAXIMUM_NUMBER_OF_ATTACKS_PER_MONSTER) - 1));
	const int16 index = attack_index < 0 ? static_cast<int16>(0) : static_cast<int16>(MIN(attack_index, last));
	return &definition->attacks[index];
}

const monster_attack_definition *get_monster_attack_definition(int16 monster_index, int16 attack_index)
{
	return find_monster_attack(monster_index, attack_index);
}

// The use test on the records at hand (the unit, its kind, the attack).
static boolean attack_use_is_valid(const monster_data *monster, const monster_definition *definition,
	const monster_attack_definition *attack)
{
	if ((attack->flags & _monster_attack_uses_carried_projectile_flag) && monster->carrying_object_index == NONE) return FALSE;
	if ((attack->flags & _monster_attack_uses_ammunition_flag) && monster->ammunition_count <= 0)
	{
		const boolean refills = attack->repetitions < 0 && game_play_version >= 1301 &&
			!(attack->flags & _monster_attack_is_special_ability_flag);
		if (!refills) return FALSE;
	}
	if (attack->mana_cost > 0 && attack->mana_cost > monster->mana) return FALSE;
	if (game_play_version >= 1301 && attack->mana_cost < 0 && !(monster->mana <= definition->maximum_mana + attack->mana_cost))
	{
		return FALSE;
	}
	return TRUE;
}

boolean validate_monster_attack_use(int16 monster_index, int16 attack_index)
{
	const monster_data *monster = get_monster_data(monster_index);
	const monster_definition *definition = monster_kind(monster);
	const monster_attack_definition *attack = get_monster_attack_definition(monster_index, attack_index);
	if (!attack || !definition) return FALSE;
	return attack_use_is_valid(monster, definition, attack);
}

int16 get_monster_special_ability_mode(int16 monster_index, int16 *string_index)
{
	const monster_data *monster = get_monster_data(monster_index);
	const monster_definition *definition = monster_kind(monster);
	if (!definition) return NONE;
	const int16 attack_index = choose_monster_attack_index(monster_index, _choose_special_ability_attack_index);
	if (attack_index == NONE || !validate_monster_attack_use(monster_index, attack_index)) return NONE;
	const monster_attack_definition *attack = get_monster_attack_definition(monster_index, attack_index);
	if (string_index)
	{
		*string_index = definition->special_ability_string_list_index;
		if (attack_index == ARTIFACT_ATTACK_INDEX && monster->artifact_index != NONE)
		{
			const artifact_definition *artifact = get_artifact_definition(monster->artifact_index);
			if (artifact) *string_index = artifact->special_ability_string_list_index;
		}
	}
	return (attack->flags & _monster_attack_is_reflexive_flag) ? _special_ability_immediate : _special_ability_any_target;
}

boolean special_ability_can_be_used_against_friendlies(int16 monster_index)
{
	const monster_definition *definition = monster_kind(get_monster_data(monster_index));
	if (!definition) return FALSE;
	if (game_play_version >= 1501)
	{
		const int16 attack_index = choose_monster_attack_index(monster_index, _choose_special_ability_attack_index);
		if (attack_index == NONE) return FALSE;
		const monster_attack_definition *attack = get_monster_attack_definition(monster_index, attack_index);
		return (attack->flags & _monster_attack_is_special_ability_flag) &&
			(attack->extra_flags & _monster_attack_can_be_used_against_friendlies_extra_flag);
	}
	const int16 count = static_cast<int16>(MIN(definition->number_of_attacks, MAXIMUM_NUMBER_OF_ATTACKS_PER_MONSTER));
	for (int16 i = 0; i < count; ++i)
	{
		const monster_attack_definition *attack = &definition->attacks[i];
		if ((attack->flags & _monster_attack_is_special_ability_flag) &&
			(attack->extra_flags & _monster_attack_can_be_used_against_friendlies_extra_flag))
		{
			return TRUE;
		}
	}
	return FALSE;
}

/* ---------- attack choice */

static inline boolean attack_fits_target(const monster_attack_definition *attack, boolean giant, boolean flying, boolean undead);

boolean validate_monster_attack_against_target(const monster_attack_definition *attack, boolean giant, boolean flying,
	boolean undead)
{
	return attack_fits_target(attack, giant, flying, undead);
}

static inline boolean attack_fits_target(const monster_attack_definition *attack, boolean giant, boolean flying, boolean undead)
{
	if ((attack->flags & _monster_attack_vs_giant_sized_flag) && !giant) return FALSE;
	if ((attack->flags & _monster_attack_prohibited_vs_giant_sized_flag) && giant) return FALSE;
	if (game_play_version > 1510)
	{
		if ((attack->extra_flags & _monster_attack_vs_flying_flag) && !flying) return FALSE;
		if ((attack->extra_flags & _monster_attack_prohibited_vs_flying_flag) && flying) return FALSE;
		if ((attack->extra_flags & _monster_attack_vs_undead_flag) && !undead) return FALSE;
		if ((attack->extra_flags & _monster_attack_prohibited_vs_undead_flag) && undead) return FALSE;
	}
	return TRUE;
}

// The range adjustment on the unit's kind and the attack's projectile at hand
// (projectile is attack_projectile(attack)).
static inline void adjust_ranges_for_projectile(const monster_definition *definition, const monster_attack_definition *attack,
	const projectile_definition *projectile, world_distance dz, world_distance d, world_distance *minimum, world_distance *maximum)
{
	if (!definition || !projectile) return;
	if (projectile->flags & (_projectile_is_melee_attack_flag | _projectile_is_lightning_flag)) return;
	const int32 velocity = attack->initial_velocity_lower_bound + attack->initial_velocity_delta;
	if (velocity == 0) return;
	const object_definition *object_definition = projectile_object_definition(projectile);
	if (object_definition && (object_definition->flags & _maintains_constant_height_above_ground_flag)) return;
	if (!(static_cast<uint16>(definition->hack_flags) & _hack_missile_attack_ignores_height_flag))
	{
		const int64 gain = (static_cast<int64>(13369344 / velocity) * dz) >> 16;
		*maximum = static_cast<world_distance>(MAX(gain + *maximum, static_cast<int64>(*minimum)));
	}
	if (dz < -MINIMUM_LOB_HEIGHT_DIFFERENCE && (attack->flags & _monster_attack_lob_to_hit_lower_nearby_units_flag) &&
		d < MINIMUM_LOB_DISTANCE)
	{
		*minimum = 0;
	}
}

static void adjust_ranges_for_kind(const monster_definition *definition, const monster_attack_definition *attack, world_distance dz,
	world_distance d, world_distance *minimum, world_distance *maximum)
{
	adjust_ranges_for_projectile(definition, attack, attack_projectile(attack), dz, d, minimum, maximum);
}

void adjust_ranges_for_height_difference(int16 monster_index, const monster_attack_definition *attack, world_distance dz,
	world_distance d, world_distance *minimum, world_distance *maximum)
{
	adjust_ranges_for_kind(monster_kind(get_monster_data(monster_index)), attack, dz, d, minimum, maximum);
}

// Whether the artifact attack may be examined at all.
static boolean artifact_attack_is_examined(const monster_data *monster, const monster_definition *definition,
	const artifact_definition *artifact)
{
	if (!artifact || !(artifact->flags & FLAG(_artifact_overrides_owner_attack_bit))) return FALSE;
	if (artifact->initial_charges_lower_bound != 0)
	{
		const object_data *carried = get_object_data(monster->carrying_object_index);
		if (!carried || carried->state < 1) return FALSE;
	}
	if ((artifact->flags & FLAG(_artifact_restrict_overrides_bit)) && artifact->monster_restriction_tag != static_cast<file_tag>(NONE))
	{
		boolean allowed = artifact->monster_restriction_type == monster->orig_type;
		if (!allowed && (artifact->flags & FLAG(_artifact_restricted_by_collection_bit)))
		{
			const monster_definition *restriction = get_monster_definition(artifact->monster_restriction_type);
			allowed = restriction && restriction->collection_tag == definition->collection_tag;
		}
		if (!allowed) return FALSE;
	}
	return TRUE;
}

// One body per mode, so that each mode's tests fold away.
template <int16 mode>
static int16 choose_attack_index_in_mode(int16 monster_index)
{
	monster_data *monster = get_monster_data(monster_index);
	const object_data *object = monster_object(monster);
	const monster_definition *definition = monster_kind(monster);
	if (!object || !definition) return NONE;
	const boolean range_mode = mode == _choose_best_possible_attack_index || mode == _choose_best_immediate_attack_index;

	world_point3d target_point = object->location.position;
	world_distance d = 0;
	boolean giant = FALSE, flying = FALSE, undead = FALSE;
	const monster_data *target = target_unit(monster);
	if (range_mode)
	{
		target_point = unit_target_feet(monster, object);
		const world_point2d here = point2d_of(object->location.position), there = point2d_of(target_point);
		d = distance2d(&here, &there);
		const monster_definition *target_definition = monster_kind(target);
		if (target_definition)
		{
			giant = (target_definition->flags & _monster_is_giant_sized_flag) != 0;
			flying = (target_definition->flags & _monster_flies_flag) != 0;
			undead = (target_definition->flags & _monster_is_undead_flag) != 0;
		}
	}

	// Closest-range preference.
	int16 preferred = NONE;
	if (range_mode && game_play_version >= 1301 && (monster->extra_flags & _monster_should_use_closest_range_attack_extra_flag))
	{
		int16 closest = NONE, closest_primary = NONE;
		world_distance closest_maximum = 0, primary_minimum = FAR_AWAY;
		boolean closest_is_primary = FALSE;
		for (int16 slot = 0; slot < MAXIMUM_NUMBER_OF_ATTACKS_PER_MONSTER; ++slot)
		{
			const monster_attack_definition *attack = game_play_version >= 1601 ?
				get_monster_attack_definition(monster_index, slot) : &definition->attacks[slot];
			if (closest != NONE && closest_is_primary && attack->maximum_range >= closest_maximum) continue;
			if (attack->maximum_range == 0) continue;
			if (attack->flags & (_monster_attack_is_reflexive_flag | _monster_attack_is_special_ability_flag)) continue;
			if (!validate_monster_attack_against_target(attack, giant, flying, undead)) continue;
			if (!validate_monster_attack_use(monster_index, slot)) continue;
			const boolean primary = (attack->flags & _monster_attack_is_primary_flag) != 0;
			if (closest == NONE || attack->maximum_range < closest_maximum)
			{
				closest = slot;
				closest_maximum = attack->maximum_range;
				closest_is_primary = primary;
			}
			if (primary && attack->minimum_range < primary_minimum)
			{
				closest_primary = slot;
				primary_minimum = attack->minimum_range;
			}
		}
		if (closest == NONE) preferred = 0;
		else if (d >= primary_minimum && !closest_is_primary) preferred = closest_primary != NONE ? closest_primary : 0;
		else preferred = closest;
	}

	const monster_data *speed_source = target ? target : monster;
	world_distance scan_distance = d;
	int16 best = NONE, best_class = _attack_in_range;
	const boolean attacking_a_place = (monster->flags & _monster_has_valid_target_flag) &&
		(monster->flags & _monster_has_valid_target_location_flag);

	// 1: take it now; 0: go on. set_aside tells the artifact rule why it failed.
	auto examine = [&](int16 index, const monster_attack_definition *attack, boolean *set_aside) __attribute__((always_inline)) -> boolean {
		boolean valid = TRUE;
		int16 range_class = _attack_in_range;
		const projectile_definition *projectile = attack_projectile(attack);
		const boolean special = (attack->flags & _monster_attack_is_special_ability_flag) != 0;
		const boolean reflexive = (attack->flags & _monster_attack_is_reflexive_flag) != 0;
		if (mode == _choose_special_ability_attack_index)
		{
			if (!special)
			{
				valid = FALSE;
				*set_aside = TRUE;
			}
		}
		else if (mode == _choose_reflexive_special_ability_attack_index)
		{
			if (!(special && reflexive))
			{
				valid = FALSE;
				*set_aside = TRUE;
			}
		}
		else
		{
			if (preferred != NONE && index != preferred) valid = FALSE;
			world_distance minimum = attack->minimum_range, maximum = attack->maximum_range;
			adjust_ranges_for_projectile(definition, attack, projectile, object->location.position.z - target_point.z, scan_distance,
				&minimum, &maximum);
			if (mode == _choose_best_immediate_attack_index && (monster->flags & _monster_is_retreating_flag))
			{
				const int32 factor = definition->turning_speed ? 45 + 32768 / definition->turning_speed : 45;
				scan_distance -= static_cast<int16>(static_cast<uint16>(factor * speed_source->base_movement_speed));
			}
			if (scan_distance < minimum) range_class = _attack_under_minimum_range_bit;
			else if (scan_distance > maximum) range_class = _attack_over_maximum_range_bit;
			if (target && (target->extra_flags & _monster_is_confused_extra_flag) && projectile &&
				(projectile->damage.flags & _damage_can_cause_confusion_flag))
			{
				valid = FALSE;
			}
			const boolean will_use_special = (monster->flags & _monster_will_use_special_ability_flag) != 0;
			if (special ? !will_use_special : will_use_special)
			{
				valid = FALSE;
				*set_aside = TRUE;
			}
			if (!special && !(attack->flags & _monster_attack_is_primary_flag))
			{
				const boolean closes = (monster->flags & _monster_should_close_on_target_flag) != 0;
				if ((definition->monster_class == _monster_class_melee && closes && mode == _choose_best_possible_attack_index) ||
					(definition->monster_class == _monster_class_missile && !closes))
				{
					valid = FALSE;
					*set_aside = TRUE;
				}
			}
			if (mode == _choose_best_immediate_attack_index && range_class != _attack_in_range) valid = FALSE;
			if (mode == _choose_best_possible_attack_index && range_class == _attack_under_minimum_range_bit &&
				best != NONE && best_class == _attack_over_maximum_range_bit)
			{
				valid = FALSE;
			}
			// The two tests below only read: once the attack is ruled out they cannot matter.
			if (valid && !attack_fits_target(attack, giant, flying, undead)) valid = FALSE;
		}
		// The attack at hand is the one the index names (the artifact's, or one
		// of the kind's below its count).
		if (valid && !attack_use_is_valid(monster, definition, attack)) valid = FALSE;
		if (attacking_a_place)
		{
			const boolean not_attacking = monster->action != _monster_action_attacking;
			if (reflexive)
			{
				if (game_play_version < 1720 || !(mode == _choose_special_ability_attack_index && special && not_attacking)) valid = FALSE;
			}
			else if (projectile && (projectile->flags & _projectile_is_melee_attack_flag) &&
				(projectile->flags & _projectile_centered_on_target_flag))
			{
				if (!(game_play_version != 1300 && mode == _choose_special_ability_attack_index && special && not_attacking)) valid = FALSE;
			}
		}
		if (!valid) return FALSE;
		best = index;
		best_class = range_class;
		return !range_mode || range_class == _attack_in_range;
	};

	const artifact_definition *artifact = monster->artifact_index != NONE ? get_artifact_definition(monster->artifact_index) : nullptr;
	if (artifact_attack_is_examined(monster, definition, artifact))
	{
		boolean set_aside = FALSE;
		if (examine(ARTIFACT_ATTACK_INDEX, &artifact->override_attack, &set_aside)) return best;
		if (game_play_version > 1510 && (artifact->flags & FLAG(_artifact_override_attack_hides_other_monster_attacks_bit)) &&
			!set_aside)
		{
			return best == ARTIFACT_ATTACK_INDEX ? static_cast<int16>(ARTIFACT_ATTACK_INDEX) : static_cast<int16>(NONE);
		}
	}
	const int16 count = static_cast<int16>(MIN(definition->number_of_attacks, MAXIMUM_NUMBER_OF_ATTACKS_PER_MONSTER));
	for (int16 i = 0; i < count; ++i)
	{
		boolean set_aside = FALSE;
		if (examine(i, &definition->attacks[i], &set_aside)) return best;
	}
	return best;
}

int16 choose_monster_attack_index(int16 monster_index, int16 mode)
{
	switch (mode)
	{
	case _choose_best_possible_attack_index: return choose_attack_index_in_mode<_choose_best_possible_attack_index>(monster_index);
	case _choose_best_immediate_attack_index: return choose_attack_index_in_mode<_choose_best_immediate_attack_index>(monster_index);
	case _choose_special_ability_attack_index: return choose_attack_index_in_mode<_choose_special_ability_attack_index>(monster_index);
	case _choose_reflexive_special_ability_attack_index:
		return choose_attack_index_in_mode<_choose_reflexive_special_ability_attack_index>(monster_index);
	default: return choose_attack_index_in_mode<NONE>(monster_index);
	}
}

/* ---------- sequences and target points */

int16 get_monster_attack_sequence_index(const monster_attack_definition *attack, angle pitch)
{
	if (!attack) return NONE;
	const boolean level = pitch < ELEVATED_PROJECTILE_PITCH || pitch > 64511;
	uint16 wanted = level ? _sequence_normal_flag : pitch > 32767 ? _sequence_declinated_flag : _sequence_elevated_flag;
	int16 candidates[MAXIMUM_NUMBER_OF_MONSTER_ATTACK_SEQUENCES];
	int16 count = 0;
	for (int pass = 0; pass < 2 && count == 0; ++pass)
	{
		for (const monster_attack_sequence &sequence : attack->sequences)
		{
			if (sequence.sequence_index != NONE && (sequence.flags & wanted)) candidates[count++] = sequence.sequence_index;
		}
		wanted = _sequence_normal_flag;
	}
	if (count == 0) return attack->sequences[0].sequence_index;
	const uint16 draw = zerv_random();
	return candidates[draw % count];
}

// The target point of a unit whose object is at hand.
static inline void unit_target_location(const monster_data *monster, const object_data *object, world_point3d *point,
	int16 aim_part, int16 lead_ticks)
{
	if (monster->flags & _monster_has_valid_target_location_flag)
	{
		*point = world_point3d{monster->target_location.x, monster->target_location.y, monster->target_location_height};
		return;
	}
	const object_data *target_object = monster_object(get_monster_data(monster->target_monster_index));
	if (!target_object)
	{
		*point = object->location.position;
		return;
	}
	*point = target_object->location.position;
	if (aim_part == 0)
	{
		point->z -= target_object->height0;
	}
	else
	{
		world_distance height = target_object->height1 - target_object->height0;
		if (game_play_version >= 1301)
		{
			const sequence_data *sequence = target_object->shape_sequence_index != 255 ?
				get_sequence(target_object->shape_collection_index, target_object->shape_sequence_index) : nullptr;
			height = sequence ? ((sequence->world_height1 - sequence->world_height0) * target_object->scale) / 256 : height;
		}
		point->z += (height * 3) / 4;
	}
	if (lead_ticks > 0)
	{
		point->x += target_object->location.velocity.i * lead_ticks;
		point->y += target_object->location.velocity.j * lead_ticks;
		if (game_play_version < 1301) point->z += target_object->location.velocity.k * lead_ticks;
	}
}

void get_monster_target_location(int16 monster_index, world_point3d *point, int16 aim_part, int16 lead_ticks)
{
	const monster_data *monster = get_monster_data(monster_index);
	const object_data *object = monster_object(monster);
	if (!object)
	{
		*point = world_point3d{0, 0, 0};
		return;
	}
	unit_target_location(monster, object, point, aim_part, lead_ticks);
}

/* ---------- intercepting a mover */

boolean solve_interception(world_distance dx, world_distance dy, int32 vx, int32 vy, int32 speed, int32 *lead_ticks)
{
	if (dx > MAXIMUM_AIM_MONSTER_DISTANCE - 1 || dx < -(MAXIMUM_AIM_MONSTER_DISTANCE - 1) ||
		dy > MAXIMUM_AIM_MONSTER_DISTANCE - 1 || dy < -(MAXIMUM_AIM_MONSTER_DISTANCE - 1))
	{
		return FALSE;
	}
	const int64 a = static_cast<int64>(vx) * vx + static_cast<int64>(vy) * vy - static_cast<int64>(speed) * speed;
	const int64 b = 2 * (static_cast<int64>(vx) * dx / 8 + static_cast<int64>(vy) * dy / 8);
	const int64 c = static_cast<int64>(dx / 8) * (dx / 8) + static_cast<int64>(dy / 8) * (dy / 8);
	if (a == 0) return FALSE;
	int64 b2, ac, ac4;
	if (__builtin_mul_overflow(b, b, &b2) || __builtin_mul_overflow(a, c, &ac) || __builtin_mul_overflow(ac, static_cast<int64>(4), &ac4))
	{
		return FALSE;
	}
	int64 discriminant;
	if (__builtin_sub_overflow(b2, ac4, &discriminant) || discriminant < 0) return FALSE;
	const int64 root = static_cast<int64>(rounded_square_root64(static_cast<uint64>(discriminant)));
	const int64 t0 = (-root - b) / (2 * a), t1 = (root - b) / (2 * a);
	int64 t;
	if (t0 >= 0 && t1 >= 0) t = MIN(t0, t1);
	else if (t0 >= 0) t = t0;
	else if (t1 >= 0) t = t1;
	else return FALSE;
	if (t < 1) return FALSE;
	*lead_ticks = static_cast<int32>(MIN(t * 8, static_cast<int64>(MAXIMUM_AIM_MONSTER_TIME)));
	return TRUE;
}

boolean aim_monster(int16 chaser_index, int16 target_index, world_point2d *point)
{
	const monster_data *chaser = get_monster_data(chaser_index);
	const monster_data *target = get_monster_data(target_index);
	const object_data *chaser_object = monster_object(chaser);
	const object_data *target_object = monster_object(target);
	const monster_definition *chaser_definition = monster_kind(chaser);
	if (!chaser_object || !target_object || !chaser_definition || !mesh_globals || !mesh_globals->mesh_cells) return FALSE;
	const world_point3d &to = target_object->location.position;
	const world_distance dx = to.x - chaser_object->location.position.x;
	const world_distance dy = to.y - chaser_object->location.position.y;
	int32 vx = target_object->location.velocity.i, vy = target_object->location.velocity.j;

	// Signed as peers compute it: only a target far ahead in x or y is not led.
	boolean lead = !(dy > MINIMUM_DISTANCE_TO_LEAD_TARGET || dx > MINIMUM_DISTANCE_TO_LEAD_TARGET);
	// The square below only decides whether the velocity is dropped: a target
	// at rest needs no look.
	if (lead && (vx != 0 || vy != 0))
	{
		const int32 cx = to.x >> WORLD_FRACTIONAL_BITS, cy = to.y >> WORLD_FRACTIONAL_BITS;
		const int32 x0 = MAX(0, cx - 2), x1 = MIN(mesh_globals->mesh_width - 1, cx + 2);
		const int32 y0 = MAX(0, cy - 2), y1 = MIN(mesh_globals->mesh_height - 1, cy + 2);
		// The square lies inside the grid; a model cell or a fourth blocked
		// cell settles it.
		const auto impassable = target->terrain_impassability_flags;
		const int32 width = mesh_globals->mesh_width;
		int32 blocked = 0;
		for (int32 y = y0; y <= y1 && lead; ++y)
		{
			const mesh_cell *row = mesh_globals->mesh_cells + static_cast<size_t>(y) * width;
			for (int32 x = x0; x <= x1; ++x)
			{
				const mesh_cell *cell = &row[x];
				if (cell->model_index != NONE)
				{
					lead = FALSE;
					break;
				}
				const int32 first = (cell->flags >> CELL_TERRAIN_TYPE_BITS) & CELL_TERRAIN_TYPE_MASK;
				const int32 second = cell->flags & CELL_TERRAIN_TYPE_MASK;
				if ((impassable & (FLAG(first) | FLAG(second))) != 0 && ++blocked > 3)
				{
					lead = FALSE;
					break;
				}
			}
		}
	}
	if (!lead) vx = vy = 0;
	if ((game_play_version >= 1301 && (chaser_definition->more_hack_flags & _hack_chases_intelligently_flag)) ||
		game_play_version >= 1601)
	{
		vx -= vx / 2;
		vy -= vy / 2;
	}
	int32 lead_ticks = 0;
	if (!solve_interception(dx, dy, vx, vy, chaser->base_movement_speed, &lead_ticks)) return FALSE;
	const world_distance width = mesh_globals->mesh_width * WORLD_ONE, height = mesh_globals->mesh_height * WORLD_ONE;
	point->x = MAX(0, MIN(width - 1, to.x + vx * lead_ticks));
	point->y = MAX(0, MIN(height - 1, to.y + vy * lead_ticks));
	return TRUE;
}

/* ---------- distances */

world_distance linear_distance_to_enemy(int16 monster_index)
{
	const monster_data *monster = get_monster_data(monster_index);
	const object_data *object = monster_object(monster);
	if (!object) return FAR_AWAY;
	const world_point2d here = point2d_of(object->location.position);
	if (monster->flags & _monster_has_valid_target_index_flag)
	{
		const monster_data *target = get_monster_data(monster->target_monster_index);
		const object_data *target_object = monster_object(target);
		if (!target_object || (target->extra_flags & _monster_immobile_extra_flag)) return FAR_AWAY;
		const world_point2d there = point2d_of(target_object->location.position);
		return distance2d(&here, &there);
	}
	const monster_data *aggressor = get_monster_data(monster->aggressor_monster_index);
	const object_data *aggressor_object = monster_object(aggressor);
	if (!aggressor_object || monsters_are_allied(monster->aggressor_monster_index, monster_index) ||
		(aggressor->extra_flags & (_monster_is_invisible_extra_flag | _monster_immobile_extra_flag)))
	{
		return FAR_AWAY;
	}
	const world_point2d there = point2d_of(aggressor_object->location.position);
	return distance2d(&here, &there);
}

world_distance linear_distance_to_best_point_of_attack(int16 monster_index)
{
	monster_data *monster = get_monster_data(monster_index);
	const object_data *object = monster_object(monster);
	if (!object) return 0;
	world_point3d target_point;
	unit_target_location(monster, object, &target_point, 0, monster->attack_timer);
	const world_point2d here = point2d_of(object->location.position), there = point2d_of(target_point);
	const world_distance d = distance2d(&here, &there);
	if (d <= PROXIMITY_TO_TARGET_DISTANCE - 1) monster->flags |= _monster_in_proximity_to_target_flag;
	else monster->flags &= ~static_cast<uint32>(_monster_in_proximity_to_target_flag);
	if (monster->flags & _monster_needs_to_retreat_flag) return 0;

	world_distance minimum = 0, maximum = 0;
	const int16 attack_index = choose_monster_attack_index(monster_index, _choose_best_possible_attack_index);
	if (attack_index != NONE)
	{
		const monster_attack_definition *attack = get_monster_attack_definition(monster_index, attack_index);
		minimum = attack->minimum_range;
		maximum = attack->maximum_range;
		adjust_ranges_for_kind(monster_kind(monster), attack, object->location.position.z - target_point.z, d, &minimum, &maximum);
	}
	if (d < minimum) return d - minimum;
	if (d >= maximum && d - monster->attack_timer * monster->base_movement_speed >= minimum) return d - maximum;
	monster->path_destination = here;
	return 0;
}

boolean monster_wants_to_charge(int16 monster_index, world_distance distance)
{
	const monster_data *monster = get_monster_data(monster_index);
	const monster_definition *definition = monster_kind(monster);
	if (!definition) return FALSE;
	const world_distance range = static_cast<world_distance>(definition->terrain_costs[CHARGE_RANGE_TERRAIN_INDEX]) * WORLD_ONE;
	if (distance > range) return FALSE;
	if (game_play_version < 1601) return TRUE;
	if (game_play_version <= 1709 && (definition->flags & _monster_can_extend_charge_duration_flag)) return TRUE;
	if (game_play_version >= 1710 && !(definition->flags & _monster_has_limited_charge_duration_flag)) return TRUE;
	if (monster->flags & _monster_has_valid_target_index_flag) return TRUE;
	return distance <= range / 4;
}

/* ---------- aiming projectiles */

// Flight times beyond 16 bits are kept at the largest rather than wrapped negative.
static int16 saturated_ticks(int64 ticks)
{
	return static_cast<int16>(MAX(static_cast<int64>(INT16_MIN), MIN(static_cast<int64>(INT16_MAX), ticks)));
}

// Deltas beyond 2^30 would overflow the squares; no map is that large.
static boolean deltas_in_reach(int64 dx, int64 dy, int64 dz)
{
	const int64 limit = static_cast<int64>(1) << 30;
	return dx > -limit && dx < limit && dy > -limit && dy < limit && dz > -limit && dz < limit;
}

int16 solve_projectile_aim(int32 velocity, int32 gravity, boolean indirect, const world_point3d *origin, world_point3d *target,
	angle *pitch, int16 *flight_time)
{
	const int64 v = static_cast<int16>(static_cast<uint16>(velocity));
	const int64 g = gravity;
	const int64 dx = static_cast<int64>(target->x) - origin->x;
	const int64 dy = static_cast<int64>(target->y) - origin->y;
	const int64 dz = static_cast<int64>(target->z) - origin->z;
	*pitch = 0;
	*flight_time = 0;
	if (!deltas_in_reach(dx, dy, dz)) return _projectile_aim_unsolved;
	const int64 h2 = dx * dx + dy * dy;
	const int64 h = static_cast<int64>(rounded_square_root64(static_cast<uint64>(h2)));
	if (g >= 0)
	{
		*pitch = arctangent(static_cast<world_distance>(h), static_cast<world_distance>(dz));
		const int64 length = static_cast<int64>(rounded_square_root64(static_cast<uint64>(h2 + dz * dz)));
		*flight_time = saturated_ticks(v ? length / v : 0);
		return _projectile_aim_solved;
	}

	const int64 g2 = g * g;
	int64 b = -v * v - g * dz, b2, spread, discriminant;
	boolean answered = FALSE;
	if (!__builtin_mul_overflow(b, b, &b2) && !__builtin_mul_overflow(h2 + dz * dz, g2, &spread) &&
		!__builtin_sub_overflow(b2, spread, &discriminant) && discriminant >= 0)
	{
		const int64 s = static_cast<int64>(rounded_square_root64(static_cast<uint64>(discriminant)));
		int64 t2 = 2 * (-b - s) / g2;
		if (t2 <= 0 || indirect) t2 = 2 * (s - b) / g2;
		if (t2 >= 0)
		{
			const int64 t = static_cast<int64>(rounded_square_root64(static_cast<uint64>(t2)));
			if (t != 0 && v != 0)
			{
				int64 drop, rise, scaled;
				if (__builtin_mul_overflow(g * t, t, &drop) || __builtin_sub_overflow(dz, drop >> 1, &rise) ||
					__builtin_mul_overflow(rise, static_cast<int64>(16384), &scaled))
				{
					answered = FALSE;
					goto farthest;
				}
				int64 argument = scaled / (v * t);
				if (game_play_version >= 1301) argument = MAX(static_cast<int64>(-16384), MIN(static_cast<int64>(16384), argument));
				const int32 narrow = argument < INT32_MIN || argument > INT32_MAX ? 0x7FFFFFFF : static_cast<int32>(argument);
				*pitch = static_cast<angle>(arcsine(narrow));
			}
			*flight_time = saturated_ticks(t);
			answered = TRUE;
		}
	}
	if (answered) return _projectile_aim_solved;

farthest:
	// No answer: aim at the farthest reach along the line instead.
	*pitch = static_cast<angle>(arctangent(static_cast<world_distance>(-dz), static_cast<world_distance>(h)) / 2);
	const int64 forward = (v * angle_cosine(*pitch)) >> 14;
	const int64 up = (v * angle_sine(*pitch)) >> 14;
	const int64 reach = g ? (-2 * forward * up) / g : 0;
	const angle direction = arctangent(static_cast<world_distance>(dx), static_cast<world_distance>(dy));
	target->x = static_cast<world_distance>(origin->x + ((reach * angle_cosine(direction)) >> 14));
	target->y = static_cast<world_distance>(origin->y + ((reach * angle_sine(direction)) >> 14));
	*flight_time = 0;
	return _projectile_aim_unsolved;
}

boolean aim_projectile(int16 monster_index, const monster_attack_definition *attack, const world_point3d *origin,
	world_point3d *target, angle *pitch, int16 *flight_time)
{
	const monster_data *monster = get_monster_data(monster_index);
	const monster_definition *definition = monster_kind(monster);
	const projectile_definition *projectile = attack_projectile(attack);
	const object_definition *object_definition = projectile_object_definition(projectile);
	if (!definition || !projectile || !object_definition) return FALSE;
	const int32 velocity = (static_cast<int32>(monster->projectile_initial_velocity) * projectile->inertia_lower_bound) >> 8;
	const int16 result = solve_projectile_aim(velocity, object_definition->gravity,
		(attack->flags & _monster_attack_is_indirect_flag) != 0, origin, target, pitch, flight_time);
	if (result != _projectile_aim_solved) return FALSE;
	if (object_definition->gravity >= 0 && game_play_version >= 1301 && (definition->more_hack_flags & _hack_moves_to_shoot_uphill_flag))
	{
		boolean obstructed = FALSE;
		if (map_is_indoor())
		{
			const world_point2d p0 = point2d_of(*origin), p1 = point2d_of(*target);
			obstructed = obstruction_in_cells_crossed_by_segment(&p0, &p1, indoor_segment_check);
		}
		else
		{
			check_for_ground_obstruction(origin, target, *pitch, &obstructed, object_definition);
		}
		if (obstructed) return FALSE;
		boolean near = FALSE, far = FALSE;
		check_for_model_obstruction(origin, target, *pitch, &near, &far, FALSE);
		if (near || far) return FALSE;
	}
	return TRUE;
}

boolean solve_fixed_pitch_aim(int32 maximum_velocity, int32 gravity, const world_point3d *unit_position, const world_point3d *origin,
	const world_point3d *target, angle *pitch, int16 *flight_time, int32 *velocity)
{
	const int64 udx = static_cast<int64>(target->x) - unit_position->x, udy = static_cast<int64>(target->y) - unit_position->y;
	const int64 dzu = static_cast<int64>(target->z) - unit_position->z;
	const int64 dx = static_cast<int64>(target->x) - origin->x, dy = static_cast<int64>(target->y) - origin->y;
	const int64 dz = static_cast<int64>(target->z) - origin->z;
	if (!deltas_in_reach(udx, udy, dzu) || !deltas_in_reach(dx, dy, dz)) return FALSE;
	const int64 hu = static_cast<int64>(rounded_square_root64(static_cast<uint64>(udx * udx + udy * udy)));
	*pitch = static_cast<angle>(arctangent(static_cast<world_distance>(-dzu), static_cast<world_distance>(hu)) / 2);
	const int64 vmax = static_cast<int16>(static_cast<uint16>(maximum_velocity));
	const int64 h = static_cast<int64>(rounded_square_root64(static_cast<uint64>(dx * dx + dy * dy)));
	const int64 cosine = angle_cosine(*pitch), sine = angle_sine(*pitch);
	const int64 r = cosine ? dz - (sine * h) / cosine : dz;
	// With gravity 0 or upward, 2r/g is not a time; a root of 0 cannot divide.
	if (r >= 0 || cosine == 0 || gravity >= 0) return FALSE;
	const int64 t2 = 2 * r / gravity;
	const int64 t = static_cast<int64>(rounded_square_root64(static_cast<uint64>(t2)));
	if (t < 1) return FALSE;
	const int64 v = (h * 16384) / (cosine * t);
	if (v < ((vmax * MINIMUM_PROJECTILE_VELOCITY_FRACTION) >> 8) || v > vmax) return FALSE;
	*flight_time = saturated_ticks(t);
	*velocity = static_cast<int32>(v);
	return TRUE;
}

boolean aim_projectile_fixed_pitch(int16 monster_index, const monster_attack_definition *attack, const world_point3d *origin,
	const world_point3d *target, angle *pitch, int16 *flight_time)
{
	monster_data *monster = get_monster_data(monster_index);
	const object_data *object = monster_object(monster);
	const projectile_definition *projectile = attack_projectile(attack);
	const object_definition *object_definition = projectile_object_definition(projectile);
	if (!object || !projectile || !object_definition) return FALSE;
	const int32 maximum = (static_cast<int32>(monster->projectile_initial_velocity) * projectile->inertia_lower_bound) >> 8;
	int32 velocity = 0;
	if (!solve_fixed_pitch_aim(maximum, object_definition->gravity, &object->location.position, origin, target, pitch, flight_time,
		&velocity))
	{
		return FALSE;
	}
	monster->projectile_initial_velocity = static_cast<short_world_distance>(velocity);
	return TRUE;
}

/* ---------- line of fire */

void try_evasive_maneuvers(int16 monster_index, int16 obstacle_object_index)
{
	monster_data *monster = get_monster_data(monster_index);
	const object_data *object = monster_object(monster);
	const object_data *obstacle = get_object_data(obstacle_object_index);
	if (!object || !obstacle) return;
	const world_point3d &here = object->location.position;
	const angle a = arctangent(obstacle->location.position.x - here.x, obstacle->location.position.y - here.y);
	const int32 delta = signed_angular_difference(monster->desired_yaw, a);
	// Unsigned: more than a quarter turn off on either side.
	if (static_cast<uint16>(delta + QUARTER_CIRCLE) > HALF_CIRCLE) return;
	const world_distance distance = obstacle->radius + 85 + object->radius;
	const boolean evading = (monster->flags & (_monster_is_evading_obstacle_to_attack_flag | _monster_evading_obstacle_flag)) != 0;
	boolean left;
	if (!evading) left = delta > 0;
	else left = (monster->extra_flags & _monster_evading_left_extra_flag) != 0;
	monster->desired_yaw = static_cast<angle>(left ? a - QUARTER_CIRCLE : a + QUARTER_CIRCLE);
	if (left) monster->extra_flags |= _monster_evading_left_extra_flag;
	else monster->extra_flags &= ~static_cast<uint32>(_monster_evading_left_extra_flag);
	monster->flags &= ~static_cast<uint32>(_monster_has_obstructed_path_flag);
	monster->flags |= _monster_is_evading_obstacle_to_attack_flag | _monster_evading_obstacle_flag;
	monster->path_segment_length = static_cast<short_world_distance>(distance);
	monster->path_destination.x = here.x + ((angle_cosine(monster->desired_yaw) * distance) >> 14);
	monster->path_destination.y = here.y + ((angle_sine(monster->desired_yaw) * distance) >> 14);
	set_monster_action(monster_index, _monster_action_moving,
		monster->action == _monster_action_moving ? monster->action_permutation : static_cast<int16>(0));
}

boolean preflight_area_of_effect_projectile(int16 monster_index, int16 projectile_type, const world_point3d *target_point)
{
	const monster_data *monster = get_monster_data(monster_index);
	const projectile_definition *projectile = get_projectile_definition(projectile_type);
	if (!monster || !projectile || !mesh_globals || !mesh_globals->mesh_cells) return TRUE;
	const int32 r = (projectile->damage.radius_lower_bound + projectile->damage.radius_delta + WORLD_ONE) >> WORLD_FRACTIONAL_BITS;
	const int32 cx = target_point->x >> WORLD_FRACTIONAL_BITS, cy = target_point->y >> WORLD_FRACTIONAL_BITS;
	const int32 x0 = MAX(0, MIN(mesh_globals->mesh_width - 1, cx - r)), x1 = MAX(0, MIN(mesh_globals->mesh_width - 1, cx + r));
	const int32 y0 = MAX(0, MIN(mesh_globals->mesh_height - 1, cy - r)), y1 = MAX(0, MIN(mesh_globals->mesh_height - 1, cy + r));
	int32 friendly = 0, enemy = 0;
	object_cell_walk walk;
	start_object_cell_walk(&walk, x0, y0, x1, y1);
	for (int16 object_index = next_object_in_cell_walk(&walk); object_index != NONE;
		object_index = next_object_in_cell_walk(&walk))
	{
		const object_data *other = get_object_data(object_index);
		if (!other || other->owner != _object_is_monster || (other->flags & _object_is_invisible_flag)) continue;
		const monster_data *unit = get_monster_data(other->owner_index);
		if (!unit) continue;
		if (teams_are_allied(monster->owner_team_index, unit->owner_team_index)) friendly += other->vitality;
		else enemy += other->vitality;
	}
	return !(3 * friendly > enemy);
}

// The aim-mode tests of the line from origin to target; TRUE when it is clear.
static boolean line_of_fire_is_clear(int16 monster_index, const monster_attack_definition *attack, const world_point3d *origin,
	const world_point3d *target_point, angle pitch)
{
	monster_data *monster = get_monster_data(monster_index);
	const object_data *object = monster_object(monster);
	const monster_definition *definition = monster_kind(monster);
	const projectile_definition *projectile = attack_projectile(attack);
	const object_definition *projectile_object = projectile_object_definition(projectile);
	if (!object || !definition || !projectile) return FALSE;
	if (projectile->flags & _projectile_is_melee_attack_flag) return TRUE;
	const boolean constant_height = projectile_object && (projectile_object->flags & _maintains_constant_height_above_ground_flag);
	const boolean wide = (projectile->flags & _projectile_is_guided_flag) != 0;

	// The tests run in this order: models, ground, the unit's side, the
	// target's side. Each only reads, and only answers "not clear", except the
	// unit's side, which acts when a friend or a thing blocks it (a sound, or a
	// step aside). So both object tests are asked first, and when the target's
	// side is blocked and the unit's is not, the answer is "not clear" whatever
	// the model and ground walks say: they are not needed.
	const angle direction = arctangent(target_point->x - origin->x, target_point->y - origin->y);
	world_point3d start = *origin;
	start.x -= (angle_cosine(direction) * object->radius) >> 14;
	start.y -= (angle_sine(direction) * object->radius) >> 14;
	const world_distance check = (monster->flags & _monster_has_valid_target_location_flag) ?
		TARGET_LOCATION_OBSTRUCTION_CHECK_DISTANCE : DEFAULT_OBJECT_CHECK_DISTANCE;
	const int16 obstruction = check_for_object_obstruction(monster->object_index, &start, target_point, check, pitch,
		!constant_height, (attack->flags & _monster_attack_dont_try_to_shoot_over_nearby_units_flag) != 0, wide);
	const object_data *obstacle = get_object_data(obstruction);
	const boolean obstacle_is_unit = obstacle && obstacle->owner == _object_is_monster;
	const boolean unit_side_blocked = obstacle && (!obstacle_is_unit || monsters_are_allied(obstacle->owner_index, monster_index));
	// With the unit's side blocked the target's side decides nothing.
	boolean target_side_blocked = FALSE;
	if (!unit_side_blocked && targets_a_unit(monster) && !(monster->flags & _monster_responding_to_target_command_flag))
	{
		const monster_data *target = get_monster_data(monster->target_monster_index);
		if (target)
		{
			const int16 back = check_for_object_obstruction(target->object_index, target_point, origin,
				DEFAULT_OBJECT_CHECK_DISTANCE, pitch, FALSE, FALSE, wide);
			const object_data *back_obstacle = get_object_data(back);
			target_side_blocked = back_obstacle &&
				(back_obstacle->owner != _object_is_monster || monsters_are_allied(back_obstacle->owner_index, monster_index));
		}
	}
	if (target_side_blocked && !unit_side_blocked) return FALSE;

	if (!(monster->extra_flags & _monster_ignores_model_collisions_extra_flag))
	{
		boolean near = FALSE, far = FALSE;
		check_for_model_obstruction(origin, target_point, pitch, &near, &far,
			(monster->extra_flags & _monster_will_use_old_collision_detection_extra_flag) != 0);
		if (near || far) return FALSE;
	}

	if (!(projectile->flags & _projectile_is_lightning_flag) && !constant_height)
	{
		boolean obstructed = FALSE;
		if (map_is_indoor())
		{
			const world_point2d p0 = point2d_of(*origin), p1 = point2d_of(*target_point);
			obstructed = obstruction_in_cells_crossed_by_segment(&p0, &p1, indoor_segment_check);
		}
		else
		{
			check_for_ground_obstruction(origin, target_point, pitch, &obstructed,
				(definition->more_hack_flags & _hack_moves_to_shoot_uphill_flag) ? projectile_object : nullptr);
		}
		if (obstructed) return FALSE;
	}

	if (unit_side_blocked)
	{
		const monster_data *other = obstacle_is_unit ? get_monster_data(obstacle->owner_index) : nullptr;
		if (other && other->action == _monster_action_moving)
		{
			play_monster_sound(monster_index, _monster_sound_attack_obstructed_by_friendly_unit);
		}
		else
		{
			try_evasive_maneuvers(monster_index, obstruction);
		}
		return FALSE;
	}

	if (targets_a_unit(monster) && (attack->flags & _monster_attack_avoids_friendly_units_flag) &&
		!preflight_area_of_effect_projectile(monster_index, attack->projectile_type, target_point))
	{
		if (!(monster->flags & _monster_responding_to_target_command_flag)) return FALSE;
		play_monster_sound(monster_index, _monster_sound_attack_enemy_with_friendly_units_nearby);
	}
	return TRUE;
}

/* ---------- trying and handling attacks */

boolean try_monster_attack(int16 monster_index)
{
	monster_data *monster = get_monster_data(monster_index);
	if (!monster) return FALSE;
	monster->flags &= ~static_cast<uint32>(_monster_did_not_get_targeting_solution_flag);
	boolean result = FALSE;
	if (!(monster->flags & _monster_is_evading_obstacle_to_attack_flag))
	{
		const int16 attack_index = choose_monster_attack_index(monster_index, _choose_best_immediate_attack_index);
		if (attack_index != NONE) result = handle_monster_attack(monster_index, attack_index, _monster_attack_aim);
	}
	monster->attack_timer = DELAY_BETWEEN_EVALUATING_ATTACKS;
	// The owner (a plain lookup) matters only in a cooperative game.
	const player_data *player = game && (game->option_flags & _game_option_cooperative_flag) ?
		get_player_data(monster->owner_player_index) : nullptr;
	if (player && player->type == _player_is_computer)
	{
		if (game->difficulty_level == 0) monster->attack_timer = ESTIMATED_DELAY_BEFORE_ATTACKING;
		else if (game->difficulty_level == 1) monster->attack_timer = 30;
	}
	if (result)
	{
		monster->flags &= ~static_cast<uint32>(_monster_is_retreating_flag);
		monster->extra_flags &= ~static_cast<uint32>(_monster_failed_to_attack_extra_flag);
		monster->extra_flags |= _monster_attack_went_ahead_extra_flag;
		return result;
	}
	monster->flags &= ~static_cast<uint32>(_monster_target_has_caused_melee_damage_flag);
	if (monster->action == _monster_action_holding_for_attack)
	{
		boolean needs_path = TRUE;
		if (game_play_version >= 1601 && (monster->flags & _monster_has_valid_target_flag) &&
			!(monster->flags & _monster_needs_to_retreat_flag))
		{
			const int16 best = choose_monster_attack_index(monster_index, _choose_best_possible_attack_index);
			const monster_attack_definition *attack = best != NONE ? get_monster_attack_definition(monster_index, best) : nullptr;
			const projectile_definition *projectile = attack_projectile(attack);
			needs_path = attack && (!projectile || !(projectile->flags & _projectile_is_melee_attack_flag) ||
				linear_distance_to_best_point_of_attack(monster_index) != 0);
		}
		if (needs_path) monster->flags |= _monster_needs_new_path_flag;
		monster->flags &= ~static_cast<uint32>(_monster_has_obstructed_path_flag);
	}
	monster->extra_flags |= _monster_failed_to_attack_extra_flag;
	monster->extra_flags &= ~static_cast<uint32>(_monster_attack_went_ahead_extra_flag);
	return FALSE;
}

static void take_up_deferred_target(monster_data *monster)
{
	if (monster->deferred_target_index != NONE)
	{
		monster->target_monster_index = monster->deferred_target_index;
		if (monster->extra_flags & _monster_deferred_uses_special_extra_flag) monster->flags |= _monster_will_use_special_ability_flag;
		else monster->flags &= ~static_cast<uint32>(_monster_will_use_special_ability_flag);
		if (game_play_version >= 1501) monster->extra_flags &= ~static_cast<uint32>(_monster_deferred_uses_special_extra_flag);
	}
	monster->deferred_target_index = NONE;
}

static boolean monster_is_gone(const monster_data *monster, int16 identifier)
{
	return monster->identifier == 0 || monster->identifier != identifier;
}

static void add_recovery_time(int16 monster_index, monster_data *monster, const monster_definition *definition,
	const monster_attack_definition *attack)
{
	if (game_play_version >= 1511 && (attack->extra_flags & _monster_attack_does_not_require_recovery_time_flag)) return;
	int32 random_part = 0;
	if (definition->use_attack_frequency)
	{
		const int32 span = definition->attack_frequency_delta - definition->attack_frequency_lower_bound;
		if (span > 0)
		{
			const uint32 draw = zerv_random();
			random_part = static_cast<int32>((draw * static_cast<uint32>(span)) >> 16);
		}
	}
	else
	{
		const uint32 draw = zerv_random();
		random_part = static_cast<int32>((draw * 3) >> 15);
	}
	const int32 experience = get_relevant_experience(monster_index);
	const uint16 timer = static_cast<uint16>(static_cast<uint16>(monster->attack_timer) + static_cast<uint16>(attack->recovery_time) -
		static_cast<uint16>(experience * attack->recovery_time_experience_delta) + static_cast<uint16>(random_part));
	monster->attack_timer = static_cast<int16>(timer);
}

static void use_up_carried_object(int16 monster_index, monster_data *monster, int16 projectile_index)
{
	const int16 carried_index = monster->carrying_object_index;
	object_data *carried = get_object_data(carried_index);
	if (carried)
	{
		const projectile_data *projectile = projectile_index != NONE ? get_projectile_data(projectile_index) : nullptr;
		object_data *projectile_object = projectile ? get_object_data(projectile->object_index) : nullptr;
		if (projectile_object)
		{
			projectile_object->identifier = carried->identifier;
			const projectile_definition *definition = get_projectile_definition(projectile->type);
			const artifact_definition *artifact = definition && definition->artifact_index != NONE ?
				get_artifact_definition(definition->artifact_index) : nullptr;
			if (artifact && (artifact->flags & FLAG(_artifact_keeps_charge_bit))) projectile_object->state = carried->state;
			if (game_play_version >= 1301 && projectile->local_projectile_group_index != NONE)
			{
				set_local_projectile_group_central_object(projectile->local_projectile_group_index, projectile->object_index,
					projectile_object->identifier);
			}
		}
		const int16 thrown_type = carried->owner_index;
		auto drop_carried = [&]() {
			delete_object(carried_index);
			if (monster->carrying_object_index == carried_index)
			{
				monster->carrying_object_index = NONE;
				monster->artifact_index = NONE;
			}
		};
		if (monster->held_object_count <= 0)
		{
			drop_carried();
		}
		else if (game_play_version >= 1301)
		{
			int16 slot = NONE;
			const int16 held = static_cast<int16>(MIN(monster->held_object_count, MAXIMUM_HELD_OBJECTS_PER_MONSTER));
			for (int16 i = 0; i < held; ++i)
			{
				if (monster->held_object_indexes[i] == carried_index)
				{
					slot = i;
					break;
				}
			}
			if (slot != NONE)
			{
				int16 next = slot;
				if (game_play_version >= 1501)
				{
					for (int16 j = 0; j < held; ++j)
					{
						const object_data *other = j != slot ? get_object_data(monster->held_object_indexes[j]) : nullptr;
						if (other && other->owner_index == thrown_type)
						{
							next = j > slot ? static_cast<int16>(j - 1) : j;
							break;
						}
					}
				}
				for (int16 i = slot; i < held - 1; ++i) monster->held_object_indexes[i] = monster->held_object_indexes[i + 1];
				monster->held_object_indexes[held - 1] = NONE;
				monster->held_object_count = static_cast<int8>(held - 1);
				next = static_cast<int16>(MIN(next, monster->held_object_count - 1));
				if (monster->held_object_count == 0)
				{
					drop_carried();
				}
				else
				{
					monster->carrying_object_index = monster->held_object_indexes[MAX(next, static_cast<int16>(0))];
					// The projectile now carries the thrown object's identifier: two
					// live objects must not share it.
					delete_object(carried_index);
				}
			}
		}
	}
	if (monster->carrying_object_index != NONE && monster->action == _monster_action_attacking)
	{
		set_monster_action(monster_index, _monster_action_holding_for_attack, 0);
	}
	if (game_play_version >= 1301) switch_monster_artifact(monster_index);
	monster->display_dirty_flags |= _monster_items_dirty_flag;
	if (monster->action_permutation == ARTIFACT_ATTACK_INDEX) monster->action_permutation = NONE;
}

static boolean alliance_is_exempt(const monster_attack_definition *attack)
{
	return test_minor_version(3) && (attack->flags & _monster_attack_is_special_ability_flag) &&
		(attack->extra_flags & _monster_attack_can_be_used_against_friendlies_extra_flag);
}

boolean handle_monster_attack(int16 monster_index, int16 attack_index, int16 mode)
{
	get_monsters_test_hooks()->handle_monster_attack_calls += 1;
	monster_data *monster = get_monster_data(monster_index);
	object_data *object = monster_object(monster);
	const monster_definition *definition = monster_kind(monster);
	if (!object || !definition || attack_index == NONE) return FALSE;
	monster_attack_definition *attack = find_monster_attack(monster_index, attack_index);
	if (!attack) return FALSE;
	const int16 identifier = monster->identifier;

	// Start.
	boolean reflexive = monster_targets(monster, monster_index) || (attack->flags & _monster_attack_is_reflexive_flag);
	if (monster->extra_flags & _monster_is_invisible_extra_flag)
	{
		object->flags &= ~static_cast<uint32>(_object_has_no_shadow_flag | _object_is_rendered_transparently_flag |
			_object_is_not_rendered_flag);
		monster->extra_flags &= ~static_cast<uint32>(_monster_is_invisible_extra_flag | _monster_does_not_autotarget_extra_flag |
			_monster_cannot_be_autotargeted_extra_flag);
	}
	if (mode == _monster_attack_abort && (monster->flags & _monster_has_attacked_flag)) return FALSE;
	if (attack->flags & _monster_attack_uses_carried_projectile_flag)
	{
		const object_data *carried = get_object_data(monster->carrying_object_index);
		if (carried) attack->projectile_type = carried->owner_index;
	}
	boolean result = FALSE;
	if (attack->projectile_type == NONE) reflexive = TRUE;
	if (reflexive)
	{
		result = TRUE;
		monster->flags &= ~static_cast<uint32>(_monster_attack_was_aborted_flag);
	}
	const boolean has_target = (monster->flags & (_monster_has_valid_target_index_flag | _monster_has_valid_target_location_flag)) != 0;
	if (mode == _monster_attack_aim && !reflexive && !has_target) return FALSE;
	int16 sequence = get_monster_attack_sequence_index(attack, 0);
	if (mode == _monster_attack_aim)
	{
		if (attack->initial_velocity_delta > 0)
		{
			const uint32 draw = zerv_random();
			monster->projectile_initial_velocity = static_cast<short_world_distance>(attack->initial_velocity_lower_bound +
				static_cast<int32>((static_cast<uint32>(attack->initial_velocity_delta) * draw) >> 16));
		}
		else
		{
			monster->projectile_initial_velocity = attack->initial_velocity_lower_bound;
		}
	}
	else
	{
		sequence = object->shape_sequence_index != 255 ? static_cast<int16>(object->shape_sequence_index) : static_cast<int16>(NONE);
	}

	const projectile_definition *projectile = attack_projectile(attack);
	const object_definition *projectile_object = projectile_object_definition(projectile);
	world_point3d origin = object->location.position, target_point = object->location.position;
	angle yaw = monster->desired_yaw, pitch = 0;
	int16 flight_time = 0;
	const world_point3d &here = object->location.position;
	const boolean forward_shot = reflexive || mode == _monster_attack_abort || !has_target;
	if (forward_shot)
	{
		yaw = monster->desired_yaw;
		if (game_play_version >= 1301) monster->flags |= _monster_has_final_desired_yaw_flag;
		get_object_key_point(monster->object_index, sequence, NONE, yaw, &origin);
		target_point.x = origin.x + ((angle_cosine(yaw) * attack->maximum_range) >> 14);
		target_point.y = origin.y + ((angle_sine(yaw) * attack->maximum_range) >> 14);
		const world_point2d ahead = point2d_of(target_point);
		target_point.z = is_inside_mesh(ahead.x, ahead.y) ? get_mesh_height(&ahead, _true_height) : origin.z;
		if (mode != _monster_attack_aim && !reflexive) pitch = monster->estimated_projectile_pitch;
	}
	else
	{
		const monster_data *target = target_unit(monster);
		int16 lead = 0;
		if ((attack->flags & _monster_attack_leads_target_flag) &&
			(!(monster->flags & _monster_has_valid_target_index_flag) || (target && (target->extra_flags & _monster_actually_moved_extra_flag))))
		{
			lead = monster->estimated_projectile_flight_time;
		}
		get_monster_target_location(monster_index, &target_point, (attack->flags & _monster_attack_aimed_at_targets_feet_flag) ? 0 : 1,
			lead);
		if (game_play_version >= 1501 && projectile && (projectile->flags & _projectile_is_lightning_flag) &&
			(monster->flags & _monster_has_valid_target_index_flag))
		{
			if (mode == _monster_attack_aim)
			{
				monster->last_target_location = point2d_of(target_point);
			}
			else if ((monster->flags & _monster_attack_was_aborted_flag) && monster->last_target_location.x != 0 &&
				monster->last_target_location.y != 0)
			{
				target_point.x = monster->last_target_location.x;
				target_point.y = monster->last_target_location.y;
			}
		}
		auto direction_to_target = [&](const world_point3d &from) -> angle {
			if (game_play_version >= 1710 && from.x == target_point.x && from.y == target_point.y) return monster->desired_yaw;
			return arctangent(target_point.x - from.x, target_point.y - from.y);
		};
		yaw = direction_to_target(here);
		get_object_key_point(monster->object_index, sequence, NONE, yaw, &origin);
		if (mode == _monster_attack_execute) yaw = direction_to_target(origin);

		boolean solved;
		const world_distance tdx = target_point.x - here.x, tdy = target_point.y - here.y;
		const world_distance horizontal = static_cast<world_distance>(
			rounded_square_root64(static_cast<uint64>(static_cast<int64>(tdx) * tdx + static_cast<int64>(tdy) * tdy)));
		if (projectile && (projectile->flags & _projectile_is_melee_attack_flag))
		{
			pitch = 0;
			flight_time = 0;
			const object_data *target_object = monster_object(target);
			solved = horizontal <= attack->maximum_range &&
				!((object->flags & _object_wholly_under_media_flag) && target_object && (target_object->flags & _object_floats_on_media_flag));
		}
		else if (projectile_object && (projectile_object->flags & _maintains_constant_height_above_ground_flag))
		{
			pitch = 0;
			const world_point2d a = point2d_of(target_point), b = point2d_of(here);
			flight_time = static_cast<int16>(attack->initial_velocity_lower_bound ? distance2d(&a, &b) / attack->initial_velocity_lower_bound : 0);
			solved = TRUE;
		}
		else if ((attack->flags & _monster_attack_is_fixed_pitch_flag) &&
			!(target_point.z - here.z < -MINIMUM_LOB_HEIGHT_DIFFERENCE && (attack->flags & _monster_attack_lob_to_hit_lower_nearby_units_flag) &&
				horizontal < MINIMUM_LOB_DISTANCE))
		{
			solved = aim_projectile_fixed_pitch(monster_index, attack, &origin, &target_point, &pitch, &flight_time);
		}
		else
		{
			solved = aim_projectile(monster_index, attack, &origin, &target_point, &pitch, &flight_time);
		}
		if (solved)
		{
			result = TRUE;
		}
		else
		{
			monster->flags |= _monster_did_not_get_targeting_solution_flag;
			result = (attack->flags & _monster_attack_does_not_require_solution_flag) &&
				!(monster->flags & _monster_should_close_on_target_flag);
		}
		if (mode == _monster_attack_execute && ((monster->flags & _monster_attack_was_aborted_flag) || !result))
		{
			pitch = monster->estimated_projectile_pitch;
			yaw = monster->desired_yaw;
			result = TRUE;
		}
	}

	boolean fired = FALSE;
	if (mode == _monster_attack_aim)
	{
		if (result)
		{
			if (reflexive || attack->projectile_type == NONE) yaw = object->location.yaw;
			else result = line_of_fire_is_clear(monster_index, attack, &origin, &target_point, pitch);
		}
		if (!result)
		{
			if (game_play_version >= 1301) take_up_deferred_target(monster);
			return FALSE;
		}
		monster->flags &= ~static_cast<uint32>(_monster_has_attacked_flag | _monster_attack_was_aborted_flag);
		monster->desired_yaw = yaw;
		monster->estimated_projectile_pitch = pitch;
		monster->estimated_projectile_flight_time = flight_time;
		set_monster_action(monster_index, _monster_action_aiming_attack, attack_index);
		add_recovery_time(monster_index, monster, definition, attack);
	}
	else
	{
		result = TRUE;
		if (forward_shot && reflexive) pitch = 0;
		monster->last_target_location = world_point2d{0, 0};
		if (!(monster->flags & _monster_has_attacked_flag))
		{
			const uint16 draw = zerv_random();
			if (draw >= attack->miss_fraction)
			{
				fired = TRUE;
				monster->flags |= _monster_has_attacked_flag;
				monster->extra_flags &= ~static_cast<uint32>(_monster_chain_lightning_prevention_extra_flag);

				new_projectile_data request;
				initialize_new_projectile_data(&request);
				request.type = attack->projectile_type;
				request.flags = _projectile_has_valid_target_location_flag;
				request.location = object->location;
				request.location.position = origin;
				request.damage_scale = 256;
				request.owner_monster_index = monster_index;
				request.owner_projectile_index = NONE;
				request.owner_object_index = (attack->flags & _monster_attack_uses_carried_projectile_flag) ?
					monster->carrying_object_index : monster->object_index;
				request.target_location = target_point;
				if (mode == _monster_attack_abort || (monster->flags & _monster_attack_was_aborted_flag)) request.target_monster_index = NONE;
				else if (reflexive) request.target_monster_index = monster_index;
				else if (targets_a_unit(monster)) request.target_monster_index = monster->target_monster_index;
				else request.target_monster_index = NONE;
				if (projectile && (projectile->flags & _projectile_is_melee_attack_flag) && !reflexive &&
					!(monster->flags & _monster_has_valid_target_location_flag) &&
					get_monster_data(monster->target_monster_index) &&
					(monster->extra_flags & _monster_has_deferred_movement_command_extra_flag))
				{
					request.target_monster_index = monster->target_monster_index;
				}

				int32 speed = monster->projectile_initial_velocity;
				if (mode == _monster_attack_abort)
				{
					const int32 half = speed >> 1;
					if (half != 0)
					{
						const uint16 draw_speed = zerv_random();
						speed = half + draw_speed % half;
					}
					const uint16 draw_pitch = zerv_random();
					pitch = static_cast<angle>(pitch + ABORTED_ATTACK_ERROR_ANGLE - (draw_pitch & 8191));
					const uint16 draw_yaw = zerv_random();
					yaw = static_cast<angle>(yaw + ABORTED_ATTACK_ERROR_ANGLE - (draw_yaw & 8191));
					if ((attack->flags & _monster_attack_uses_ammunition_flag) && definition->ammunition_projectile_type != NONE)
					{
						request.type = definition->ammunition_projectile_type;
					}
				}
				world_vector3d velocity;
				build_world_vector3d(&velocity, speed, yaw, pitch);
				if (attack->initial_velocity_error != 0)
				{
					const int32 e = MAX(0, attack->initial_velocity_error -
						get_relevant_experience(monster_index) * attack->velocity_improvement_with_experience);
					if (e > 0)
					{
						const uint32 span = static_cast<uint32>(2 * e + 1);
						const uint32 draw_i = zerv_random();
						velocity.i = static_cast<short_world_distance>(static_cast<uint16>(velocity.i + static_cast<int32>((draw_i * span) >> 16) - e));
						const uint32 draw_j = zerv_random();
						velocity.j = static_cast<short_world_distance>(static_cast<uint16>(velocity.j + static_cast<int32>((draw_j * span) >> 16) - e));
						const uint32 draw_k = zerv_random();
						velocity.k = static_cast<short_world_distance>(static_cast<uint16>(velocity.k + static_cast<int32>((draw_k * span) >> 16) - e));
					}
				}
				request.location.velocity = velocity;
				request.location.height = 0;
				request.location.yaw = yaw;
				request.location.pitch = pitch;
				// What the alliance rule reads, should the shot kill the attacker.
				const monster_data *aimed_at = target_unit(monster);
				const int16 aimed_at_team = aimed_at ? aimed_at->owner_team_index : static_cast<int16>(NONE);
				const int16 own_team = monster->owner_team_index;
				const boolean aimed_at_ally = aimed_at && aimed_at_team != own_team &&
					monsters_are_allied(monster->target_monster_index, monster_index);
				const int16 projectile_index = request.type != NONE ? new_projectile(&request) : static_cast<int16>(NONE);

				// The shot may have killed the attacker: what it held is gone,
				// and a dead unit takes up no deferred target; the alliance
				// still ends.
				if (monster_is_gone(monster, identifier))
				{
					if (result && aimed_at_ally && !alliance_is_exempt(attack)) ally_with_team(aimed_at_team, own_team, FALSE);
					return result;
				}

				boolean use_up = (attack->flags & _monster_attack_uses_carried_projectile_flag) != 0;
				const artifact_definition *artifact = monster->artifact_index != NONE ? get_artifact_definition(monster->artifact_index) : nullptr;
				object_data *carried = get_object_data(monster->carrying_object_index);
				if (artifact && carried && (monster->action_permutation == ARTIFACT_ATTACK_INDEX || monster->type != monster->orig_type))
				{
					if (!(monster->action_permutation != ARTIFACT_ATTACK_INDEX &&
							(artifact->flags & FLAG(_artifact_override_monster_doesnt_use_charges_bit))))
					{
						if (carried->state > 0)
						{
							carried->state -= 1;
							monster->display_dirty_flags |= _monster_items_dirty_flag;
						}
						if (carried->state == 0 && (artifact->flags & FLAG(_artifact_vanishes_after_last_charge_bit))) use_up = TRUE;
					}
				}
				if (use_up) use_up_carried_object(monster_index, monster, projectile_index);

				if (attack->flags & _monster_attack_uses_ammunition_flag)
				{
					if (attack->repetitions < 0 && monster->ammunition_count == 0)
					{
						if (!(mode == _monster_attack_abort && game_play_version >= 1301))
						{
							monster->ammunition_count = static_cast<int8>(-attack->repetitions);
						}
					}
					else
					{
						monster->ammunition_count -= 1;
					}
					monster->display_dirty_flags |= _monster_ammunition_dirty_flag;
				}
				if (attack->mana_cost > 0) monster->mana = static_cast<short_fixed>(MAX(0, monster->mana - attack->mana_cost));
				else if (attack->mana_cost < 0)
				{
					monster->mana = static_cast<short_fixed>(MIN(static_cast<int32>(definition->maximum_mana), monster->mana - attack->mana_cost));
				}
				monster->extra_flags &= ~static_cast<uint32>(_monster_ignores_model_collisions_extra_flag |
					_monster_will_use_old_collision_detection_extra_flag);
				monster->flags &= ~static_cast<uint32>(_monster_has_valid_target_location_flag);
				if (!(monster->flags & _monster_has_valid_target_index_flag)) monster->flags &= ~static_cast<uint32>(_monster_has_valid_target_flag);
				if (game_play_version >= 1301 && (monster->extra_flags & _monster_has_deferred_movement_command_extra_flag))
				{
					monster->flags &= ~static_cast<uint32>(_monster_has_valid_target_index_flag | _monster_has_valid_target_location_flag);
					if (game_play_version >= 1691) monster->flags &= ~static_cast<uint32>(_monster_has_valid_target_flag);
					monster->flags |= _monster_responding_to_command_flag | _monster_needs_new_path_flag | _monster_has_final_desired_yaw_flag;
					monster->extra_flags &= ~static_cast<uint32>(_monster_has_deferred_movement_command_extra_flag);
				}
			}
		}
		if (monster_is_gone(monster, identifier)) return result;
		add_recovery_time(monster_index, monster, definition, attack);
	}

	// Attacking an ally ends the alliance.
	const monster_data *target = target_unit(monster);
	if (result && target && target->owner_team_index != monster->owner_team_index &&
		monsters_are_allied(monster->target_monster_index, monster_index))
	{
		if (!alliance_is_exempt(attack)) ally_with_team(target->owner_team_index, monster->owner_team_index, FALSE);
	}

	if (fired && game_play_version >= 1301)
	{
		const monster_attack_definition *in_progress = monster->action_permutation != NONE ?
			get_monster_attack_definition(monster_index, monster->action_permutation) : nullptr;
		const boolean in_progress_reflexive = in_progress && (in_progress->flags & _monster_attack_is_reflexive_flag);
		if (monster->action_permutation == NONE || (!(monster->flags & _monster_has_valid_target_flag) && !in_progress_reflexive) ||
			(monster->flags & _monster_attack_was_aborted_flag) || monster->repeated_obstruction_count <= 1)
		{
			take_up_deferred_target(monster);
		}
	}
	return result;
}
