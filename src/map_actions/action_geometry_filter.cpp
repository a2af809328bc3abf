// 'geom': gathers units, markers or objects, tests them against shapes, teams
// and kinds, and writes the inside or outside ones into other actions' fields.
#include <cstring>
#include <vector>

#include "definitions.h"
#include "map_actions/map_action_accessors.h"
#include "map_actions/map_actions.h"
#include "map_actions/unit_query_action_procs.h"
#include "markers.h"
#include "monster_definitions.h"
#include "monsters.h"
#include "object_definitions.h"
#include "objects.h"
#include "projectile_definitions.h"
#include "projectiles.h"
#include "tags_and_strings.h"
#include "unit_definitions.h"
#include "world.h"
#include "zerv.h"

#define MAXIMUM_TAG_LIST 64
#define RANDOM_DRAW_ATTEMPTS 20

/* ---------- shared unit reads */

int16 unit_query_team(const monster_data *monster, bool ambient_as_none)
{
	if (ambient_as_none && (monster->extra_flags & _monster_is_ambient_life_extra_flag)) return NONE;
	return monster->owner_team_index;
}

boolean unit_query_is_invisible_observer(const monster_data *monster)
{
	if (monster->marker_index == NONE) return FALSE;
	const marker_data *marker = get_marker_by_index(monster->marker_index);
	return marker && (marker->flags & _marker_is_invisible_observer_flag);
}

// The subgroup tag of a dormant projectile object, or NONE.
static file_tag dormant_projectile_tag(int16 object_index)
{
	const object_data *object = get_object_data(object_index);
	if (!object || object->owner != _object_is_dormant_projectile) return NONE;
	return get_definition_subgroup(get_projectile_definitions(), object->owner_index);
}

static bool tag_listed(file_tag tag, const file_tag *tags, int32 tag_count, file_tag *last_compared)
{
	for (int32 i = 0; i < tag_count; ++i)
	{
		if (last_compared) *last_compared = tags[i];
		if (tags[i] == tag) return true;
	}
	return false;
}

boolean unit_query_holds(const monster_data *monster, const file_tag *tags, int32 tag_count, boolean look_inside,
	file_tag *last_compared)
{
	const monster_definition *definition = get_monster_definition(monster->type);
	if (look_inside && definition && (definition->flags & _monster_carries_multiple_artifacts_flag) &&
		monster->held_object_count > 0)
	{
		const int32 held = MIN(static_cast<int32>(monster->held_object_count), MAXIMUM_HELD_OBJECTS_PER_MONSTER);
		for (int32 i = 0; i < held; ++i)
		{
			const file_tag tag = dormant_projectile_tag(monster->held_object_indexes[i]);
			if (tag != static_cast<file_tag>(NONE) && tag_listed(tag, tags, tag_count, last_compared)) return TRUE;
		}
		return FALSE;
	}
	if (monster->carrying_object_index == NONE) return FALSE;
	const file_tag tag = dormant_projectile_tag(monster->carrying_object_index);
	return tag != static_cast<file_tag>(NONE) && tag_listed(tag, tags, tag_count, last_compared);
}

boolean unit_query_held_objects_hold(const monster_data *monster, file_tag tag)
{
	const int32 held = PIN(static_cast<int32>(monster->held_object_count), 0, MAXIMUM_HELD_OBJECTS_PER_MONSTER);
	for (int32 i = 0; i < held; ++i)
	{
		const file_tag held_tag = dormant_projectile_tag(monster->held_object_indexes[i]);
		if (held_tag != static_cast<file_tag>(NONE) && held_tag == tag) return TRUE;
	}
	return FALSE;
}

int32 unit_query_charges(const monster_data *monster)
{
	if (monster->carrying_object_index == NONE || monster->artifact_index == NONE) return 0;
	const object_data *object = get_object_data(monster->carrying_object_index);
	return object ? object->state : 0;
}

/* ---------- candidates */

struct geometry_filter_state
{
	int16 action_index;
	monster_or_object_identifier candidates[MAXIMUM_GEOMETRY_FILTER_CANDIDATES];
	int16 count;
	boolean objects; // "objects" rather than "monsters" in the logs, type 15 identifiers
};

static bool candidate_listed(const geometry_filter_state *state, int16 identifier)
{
	for (int16 i = 0; i < state->count; ++i)
	{
		if (state->candidates[i].identifier == identifier) return true;
	}
	return false;
}

static void add_candidate(geometry_filter_state *state, int16 identifier, const world_point3d *location)
{
	if (state->count >= MAXIMUM_GEOMETRY_FILTER_CANDIDATES || candidate_listed(state, identifier)) return;
	monster_or_object_identifier *c = &state->candidates[state->count++];
	c->identifier = identifier;
	c->location = *location;
	c->inside = FALSE;
}

static const world_point3d *monster_location(const monster_data *monster)
{
	static const world_point3d origin = {0, 0, 0};
	const object_data *object = get_object_data(monster->object_index);
	return object ? &object->location.position : &origin;
}

static const char *candidate_noun(const geometry_filter_state *state)
{
	return state->objects ? "objects" : "monsters";
}

static int32 tag_list(int16 action_index, field_tag field_name, file_tag *tags)
{
	// Tag lists are stored as field names (type 7).
	return get_combined_map_action_parameter(action_index, field_name, _parameter_field_name, tags, MAXIMUM_TAG_LIST);
}

static bool integer_of(int16 action_index, field_tag field_name, int32 *value)
{
	return get_map_action_integer(action_index, field_name, value);
}

/* ---------- subjects (step 2) */

// The unit matches the reference for 'mown', 'mtea' and 'mtyp'.
static bool matches_reference(const monster_data *monster, const monster_data *reference, bool owner, bool team, bool kind)
{
	if (owner && monster->owner_player_index == reference->owner_player_index &&
		(monster->extra_flags & _monster_is_ambient_life_extra_flag) == (reference->extra_flags & _monster_is_ambient_life_extra_flag))
	{
		return true;
	}
	bool match = team && unit_query_team(monster, true) == unit_query_team(reference, true);
	if (kind)
	{
		const unit_definition *a = get_unit_definition(monster->unit_type);
		const unit_definition *b = get_unit_definition(reference->unit_type);
		match = a && b && a->monster_tag == b->monster_tag;
	}
	return match;
}

// False when the proc must return 0 at once.
static bool gather_subjects(geometry_filter_state *state, const int16 *identifiers, int16 identifier_count)
{
	const int16 action_index = state->action_index;
	if (map_action_has_flag(action_index, TAG("mark")))
	{
		const bool uncreated = map_action_has_flag(action_index, TAG("uncr"));
		for (int16 i = 0; i < identifier_count; ++i)
		{
			const marker_data *marker = get_marker_by_identifier(_marker_monster, identifiers[i]);
			if (!marker) continue;
			if (uncreated && (marker->data_index != NONE || marker->minimum_difficulty_level > game->difficulty_level)) continue;
			add_candidate(state, marker->identifier, &marker->location.position);
		}
		map_action_debug(action_index, "found %d monsters", state->count);
		return true;
	}

	int16 subjects[MAXIMUM_GEOMETRY_FILTER_CANDIDATES];
	int16 count = monster_identifiers_to_monster_indexes(identifiers, subjects, identifier_count);
	count = remove_monsters_that_have_left_the_mesh(subjects, count);
	int16 removed[MAXIMUM_GEOMETRY_FILTER_CANDIDATES];
	int16 removed_count = 0;
	{
		int16 object_identifiers[MAXIMUM_GEOMETRY_FILTER_CANDIDATES];
		const int32 n = get_combined_map_action_parameter(action_index, TAG("obje"), _parameter_monster_identifier,
			object_identifiers, MAXIMUM_GEOMETRY_FILTER_CANDIDATES);
		removed_count = monster_identifiers_to_monster_indexes(object_identifiers, removed, static_cast<int16>(n));
		removed_count = remove_monsters_that_have_left_the_mesh(removed, removed_count);
	}

	const bool owner = map_action_has_flag(action_index, TAG("mown"));
	const bool team = map_action_has_flag(action_index, TAG("mtea"));
	const bool kind = map_action_has_flag(action_index, TAG("mtyp"));
	if (game_play_version >= 1601 && (owner || team || kind))
	{
		if (count == 0)
		{
			if (owner) map_action_debug(action_index, "no monsters in subj list - find all using monster owner failed");
			if (team) map_action_debug(action_index, "no monsters in subj list - find all using monster team failed");
			if (kind) map_action_debug(action_index, "no monsters in subj list - find all using monster type failed");
			return false;
		}
		const monster_data *reference = get_monster_data(subjects[0]);
		const monster_data saved_reference = *reference;
		count = 0;
		for (int16 m = 0; m < monster_array.count && count < MAXIMUM_GEOMETRY_FILTER_CANDIDATES; ++m)
		{
			const monster_data *monster = get_monster_data(m);
			if (!monster || unit_query_is_invisible_observer(monster)) continue;
			if (matches_reference(monster, &saved_reference, owner, team, kind)) subjects[count++] = m;
		}
	}

	int32 only_team;
	if (game_play_version >= 1511 && integer_of(action_index, TAG("mont"), &only_team))
	{
		int16 kept = 0;
		for (int16 i = 0; i < count; ++i)
		{
			const monster_data *monster = get_monster_data(subjects[i]);
			const bool ambient = (monster->extra_flags & _monster_is_ambient_life_extra_flag) != 0;
			if (game_play_version >= 1601 && game_play_version < 1696 && ambient) continue;
			if (game_play_version >= 1601 && unit_query_is_invisible_observer(monster)) continue;
			if (unit_query_team(monster, game_play_version >= 1696) != only_team) continue;
			subjects[kept++] = subjects[i];
		}
		map_action_debug(action_index, "%d monsters not on team %d removed from subject list", count - kept,
			static_cast<int>(only_team));
		count = kept;
	}
	if (count == 0)
	{
		map_action_debug(action_index, "found %d monsters", 0);
		return true;
	}

	// The filters, in order; all comparisons strict.
	file_tag hold_tags[MAXIMUM_TAG_LIST], inventory_tags[MAXIMUM_TAG_LIST];
	int32 hold_count = tag_list(action_index, TAG("hold"), hold_tags);
	const bool has_hold = hold_count > 0;
	const bool not_holding = tag_list(action_index, TAG("noho"), inventory_tags) > 0;
	if (!has_hold && not_holding) hold_count = tag_list(action_index, TAG("noho"), hold_tags);
	int32 inventory_count = tag_list(action_index, TAG("holi"), inventory_tags);
	file_tag scratch[MAXIMUM_TAG_LIST];
	const bool not_in_inventory = tag_list(action_index, TAG("nhoi"), scratch) > 0;
	if (inventory_count == 0 && not_in_inventory) inventory_count = tag_list(action_index, TAG("nhoi"), inventory_tags);
	const bool has_inventory = inventory_count > 0;

	fixed health_below = 0, health_above = 0;
	const bool has_health_below = get_map_action_fixed(action_index, TAG("hef<"), &health_below);
	const bool has_health_above = get_map_action_fixed(action_index, TAG("hef>"), &health_above);
	const bool taunting = map_action_has_flag(action_index, TAG("taun"));
	const bool subtract = map_action_has_flag(action_index, TAG("subt"));
	const bool attacking = map_action_has_flag(action_index, TAG("atta"));
	const bool moving = map_action_has_flag(action_index, TAG("move"));
	const bool running = map_action_has_flag(action_index, TAG("_run"));
	const bool standing = map_action_has_flag(action_index, TAG("stan"));
	int32 power_above = 0, power_below = 0, ammunition_above = 0, ammunition_below = 0;
	int32 experience_above = 0, experience_below = 0, charges_above = 0, charges_below = 0;
	const bool has_power_above = integer_of(action_index, TAG("pow>"), &power_above);
	const bool has_power_below = integer_of(action_index, TAG("pow<"), &power_below);
	const bool has_ammunition_above = integer_of(action_index, TAG("amm>"), &ammunition_above);
	const bool has_ammunition_below = integer_of(action_index, TAG("amm<"), &ammunition_below);
	const bool later = game_play_version >= 1511;
	const bool has_experience_above = later && integer_of(action_index, TAG("exp>"), &experience_above);
	const bool has_experience_below = later && integer_of(action_index, TAG("exp<"), &experience_below);
	const bool has_charges_above = later && integer_of(action_index, TAG("chr>"), &charges_above);
	const bool has_charges_below = later && integer_of(action_index, TAG("chr<"), &charges_below);

	for (int16 i = 0; i < count; ++i)
	{
		const monster_data *monster = get_monster_data(subjects[i]);
		const object_data *object = get_object_data(monster->object_index);
		const monster_definition *definition = get_monster_definition(monster->type);
		if (has_hold && unit_query_holds(monster, hold_tags, hold_count, FALSE, nullptr) == not_holding) continue;
		if (!has_hold && not_holding && unit_query_holds(monster, hold_tags, hold_count, FALSE, nullptr)) continue;
		if (has_inventory &&
			(unit_query_holds(monster, inventory_tags, inventory_count, TRUE, nullptr) != 0) == not_in_inventory)
		{
			continue;
		}
		if (has_health_below || has_health_above)
		{
			const fixed health = object && object->maximum_vitality > 0 ?
				static_cast<fixed>((static_cast<int64>(object->vitality) * 65536) / object->maximum_vitality) : 0;
			if (has_health_below && !(health < health_below)) continue;
			if (has_health_above && !(health > health_above)) continue;
		}
		if (taunting && monster->action != _monster_action_taunting) continue;
		if (subtract)
		{
			bool listed = false;
			for (int16 r = 0; r < removed_count && !listed; ++r) listed = removed[r] == subjects[i];
			if (listed) continue;
		}
		if (attacking && !(monster->action >= 7 && monster->action <= 9)) continue;
		if (moving && monster->action != 4 && monster->action != 5) continue;
		if (running && monster->action_permutation != 19) continue;
		if (standing && monster->action != 1) continue;
		const int32 power = definition ? definition->combined_power : 0;
		if (has_power_above && !(power > power_above)) continue;
		if (has_power_below && !(power < power_below)) continue;
		if (has_ammunition_above && !(monster->ammunition_count > ammunition_above)) continue;
		if (has_ammunition_below && !(monster->ammunition_count < ammunition_below)) continue;
		if (has_experience_above && !(monster->experience > experience_above)) continue;
		if (has_experience_below && !(monster->experience < experience_below)) continue;
		if (has_charges_above && !(unit_query_charges(monster) > charges_above)) continue;
		if (has_charges_below && !(unit_query_charges(monster) < charges_below)) continue;
		add_candidate(state, monster->identifier, monster_location(monster));
	}
	map_action_debug(action_index, "found %d monsters", state->count);
	return true;
}

/* ---------- objects (steps 3 and 4) */

static void gather_objects_of_types(geometry_filter_state *state, const file_tag *tags, int32 tag_count)
{
	file_tag last = tag_count > 0 ? tags[0] : NONE;
	for (int16 i = 0; i < object_array.count && state->count < MAXIMUM_GEOMETRY_FILTER_CANDIDATES; ++i)
	{
		const object_data *object = get_object_data(i);
		if (!object || (object->flags & _object_is_invisible_flag)) continue;
		if (object->owner != _object_is_projectile && object->owner != _object_is_dormant_projectile) continue;
		const int16 type = get_object_projectile_type(object);
		if (type == NONE) continue;
		const file_tag tag = get_definition_subgroup(get_projectile_definitions(), type);
		if (tag_listed(tag, tags, tag_count, &last)) add_candidate(state, object->identifier, &object->location.position);
	}
	map_action_debug(state->action_index, "found %d objects of type %s", state->count, tag_to_string(last));
}

static void gather_objects_by_identifier(geometry_filter_state *state, const int16 *identifiers, int32 count)
{
	for (int32 n = 0; n < count; ++n)
	{
		for (int16 i = 0; i < object_array.count && state->count < MAXIMUM_GEOMETRY_FILTER_CANDIDATES; ++i)
		{
			const object_data *object = get_object_data(i);
			if (!object || (object->flags & _object_is_invisible_flag) || object->identifier != identifiers[n]) continue;
			add_candidate(state, object->identifier, &object->location.position);
		}
	}
	map_action_debug(state->action_index, "found %d object identifiers", state->count);
}

/* ---------- tests (step 6) */

static int16 count_inside(const geometry_filter_state *state)
{
	int16 inside = 0;
	for (int16 i = 0; i < state->count; ++i) inside += state->candidates[i].inside ? 1 : 0;
	return inside;
}

// The replacing tests: units written from the start, each inside.
template <typename Keep>
static void replace_candidates(geometry_filter_state *state, Keep keep)
{
	const int16 inside_before = count_inside(state);
	int16 found = 0;
	for (int16 m = 0; m < monster_array.count && found < MAXIMUM_GEOMETRY_FILTER_CANDIDATES; ++m)
	{
		const monster_data *monster = get_monster_data(m);
		if (!monster || !keep(monster)) continue;
		monster_or_object_identifier *c = &state->candidates[found++];
		c->identifier = monster->identifier;
		c->location = *monster_location(monster);
		c->inside = TRUE;
	}
	int32 count = found;
	// Before 1601 the count also keeps the candidates inside before: rows past the
	// found units keep what they held (cleared to none each call), never past 400.
	if (game_play_version < 1601) count = MIN(inside_before + found, MAXIMUM_GEOMETRY_FILTER_CANDIDATES);
	state->count = static_cast<int16>(count);
	state->objects = FALSE;
}

// True when any test ran.
static bool run_tests(geometry_filter_state *state)
{
	const int16 action_index = state->action_index;
	bool tested = false;
	const char *noun = candidate_noun(state);

	map_action_parameter polygon;
	if (get_map_action_parameter(&polygon, action_index, 0, TAG("poly"), _parameter_world_point2d))
	{
		const bool closed = map_action_has_flag(action_index, TAG("clpo"));
		std::vector<world_point2d> polygon_points(static_cast<size_t>(
			MAX(count_combined_map_action_parameter(action_index, TAG("poly"), _parameter_world_point2d), 1)));
		const world_point2d *points = polygon_points.data();
		const int32 n = get_combined_map_action_parameter(action_index, TAG("poly"), _parameter_world_point2d,
			polygon_points.data(), static_cast<int32>(polygon_points.size()));
		map_action_debug(action_index, "testing %s against a %s polygon with %d points", noun, closed ? "closed" : "open",
			static_cast<int>(n));
		for (int16 i = 0; i < state->count; ++i)
		{
			const world_point2d p = {state->candidates[i].location.x, state->candidates[i].location.y};
			state->candidates[i].inside = point_in_polygon_test(&p, points, n, closed);
		}
		tested = true;
	}

	world_point2d center;
	bool has_center = get_indexed_world_point2d_parameter(action_index, TAG("cent"), &center, 0);
	if (!has_center)
	{
		int16 identifier;
		if (get_combined_map_action_parameter(action_index, TAG("cemo"), _parameter_monster_identifier, &identifier, 1) == 1)
		{
			int16 index;
			if (monster_identifiers_to_monster_indexes(&identifier, &index, 1) == 1)
			{
				const world_point3d *p = monster_location(get_monster_data(index));
				center.x = p->x;
				center.y = p->y;
				has_center = true;
			}
		}
	}
	if (has_center)
	{
		int32 radius;
		if (get_indexed_long_integer_parameter(action_index, TAG("radi"), _parameter_world_distance, &radius, 0))
		{
			map_action_debug(action_index, "testing %s against a circle at (%d, %d) w/radius %d", noun,
				static_cast<int>(center.x), static_cast<int>(center.y), static_cast<int>(radius));
			// 64-bit squares: 32-bit ones wrap above radius 32768.
			const int64 r = radius;
			for (int16 i = 0; i < state->count; ++i)
			{
				const int64 dx = static_cast<int64>(state->candidates[i].location.x) - center.x;
				const int64 dy = static_cast<int64>(state->candidates[i].location.y) - center.y;
				state->candidates[i].inside = (dx < r && -dx < r && dy < r && -dy < r && dx * dx + dy * dy < r * r);
			}
			tested = true;
		}
		else
		{
			map_action_debug(action_index, "found a centerpoint but no radius!");
		}
	}

	if (map_action_has_flag(action_index, TAG("_map")))
	{
		map_action_debug(action_index, "testing %s against entire map", noun);
		for (int16 i = 0; i < state->count; ++i) state->candidates[i].inside = TRUE;
		tested = true;
	}
	if (map_action_has_flag(action_index, TAG("bmon")))
	{
		map_action_debug(action_index, "testing all monsters to see if they are berserk");
		replace_candidates(state, [](const monster_data *m) { return (m->extra_flags & _monster_is_berserk_extra_flag) != 0; });
		tested = true;
	}
	int32 team;
	if (integer_of(action_index, TAG("team"), &team))
	{
		map_action_debug(action_index, "testing %s against team index %d", candidate_noun(state), static_cast<int>(team));
		const bool ambient_as_none = game_play_version >= 1696;
		replace_candidates(state, [&](const monster_data *m) {
			if (!ambient_as_none && (m->extra_flags & _monster_is_ambient_life_extra_flag)) return false;
			return !unit_query_is_invisible_observer(m) && unit_query_team(m, ambient_as_none) == team;
		});
		tested = true;
	}
	file_tag kind;
	if (get_combined_map_action_parameter(action_index, TAG("mons"), _parameter_field_name, &kind, 1) == 1)
	{
		map_action_debug(action_index, "testing %s against monster type %s", candidate_noun(state), tag_to_string(kind));
		replace_candidates(state, [&](const monster_data *m) {
			const unit_definition *unit = get_unit_definition(m->unit_type);
			return !(m->extra_flags & _monster_is_ambient_life_extra_flag) && !unit_query_is_invisible_observer(m) && unit &&
				unit->monster_tag == kind;
		});
		tested = true;
	}
	int32 first_inside;
	if (integer_of(action_index, TAG("coun"), &first_inside))
	{
		for (int16 i = 0; i < state->count; ++i) state->candidates[i].inside = i < first_inside;
		tested = true;
	}
	return tested;
}

/* ---------- results (step 8) */

static void delete_own_parameters(int16 action_index, field_tag field_name)
{
	for (;;)
	{
		find_map_action_parameter_state search;
		map_action_parameter parameter;
		new_find_map_action_parameter_state(&search, action_index, _dont_resolve_links_flag | _return_empty_arrays_flag,
			field_name, NONE);
		if (!find_next_map_action_parameter(&search, &parameter) || !delete_map_action_parameter(&parameter)) return;
	}
}

// The positions to write, in order or drawn; at most maximum.
static int16 choose_positions(boolean random, int16 n, int16 maximum, int16 *order)
{
	if (!random)
	{
		const int16 count = MIN(n, maximum);
		for (int16 i = 0; i < count; ++i) order[i] = i;
		return count;
	}
	bool used[MAXIMUM_GEOMETRY_FILTER_CANDIDATES] = {};
	int16 added = 0, free_count = n;
	while (added < maximum && free_count > 0)
	{
		int16 position = NONE;
		if (n >= 2)
		{
			for (int32 attempt = 0; attempt < RANDOM_DRAW_ATTEMPTS; ++attempt)
			{
				const int32 drawn = (static_cast<int32>(zerv_random()) * (n - 1)) >> 16;
				if (!used[drawn])
				{
					position = static_cast<int16>(drawn);
					break;
				}
			}
		}
		if (position == NONE)
		{
			position = 0;
			while (used[position]) ++position;
		}
		used[position] = true;
		free_count -= 1;
		order[added++] = position;
	}
	return added;
}

// Fills one field of the target with the wanted side's identifiers (or points); the number added.
static int16 fill_field(boolean random, int16 target_index, field_tag field_name, int16 type,
	const monster_or_object_identifier *candidates, int16 count, int16 maximum, boolean inside, boolean points)
{
	delete_own_parameters(target_index, field_name);
	map_action_parameter parameter;
	if (!new_map_action_parameter(&parameter, target_index, field_name, type)) return 0;
	if (maximum < 1) return 0;
	int16 side[MAXIMUM_GEOMETRY_FILTER_CANDIDATES];
	int16 n = 0;
	for (int16 i = 0; i < count; ++i)
	{
		if ((candidates[i].inside != 0) == (inside != 0)) side[n++] = i;
	}
	int16 order[MAXIMUM_GEOMETRY_FILTER_CANDIDATES];
	const int16 chosen = choose_positions(random, n, maximum, order);
	int16 added = 0;
	for (int16 k = 0; k < chosen; ++k)
	{
		const monster_or_object_identifier *c = &candidates[side[order[k]]];
		bool appended;
		if (points)
		{
			const world_point2d p = {c->location.x, c->location.y};
			appended = append_to_map_action_parameter(&parameter, 1, &p);
		}
		else
		{
			appended = append_to_map_action_parameter(&parameter, 1, &c->identifier);
		}
		if (!appended) break;
		added += 1;
	}
	return added;
}

static int16 add_objects_to_parameter(boolean random, int16 target_index, field_tag field_name, int16 type,
	const monster_or_object_identifier *candidates, int16 count, int16 maximum, boolean inside)
{
	return fill_field(random, target_index, field_name, type, candidates, count, maximum, inside, FALSE);
}

static int16 add_locations_to_parameter(boolean random, int16 target_index, field_tag field_name,
	const monster_or_object_identifier *candidates, int16 count, int16 maximum, boolean inside)
{
	return fill_field(random, target_index, field_name, _parameter_world_point2d, candidates, count, maximum, inside, TRUE);
}

static bool add_to_parameters(int16 action_index, int16 target_index, int32 field_index, const geometry_filter_state *state,
	int16 inside_count, boolean random)
{
	int32 limit = state->count;
	get_map_action_integer(action_index, TAG("_max"), &limit);
	const int16 maximum = static_cast<int16>(PIN(limit, -1, MAXIMUM_GEOMETRY_FILTER_CANDIDATES));
	const int16 outside_count = static_cast<int16>(state->count - inside_count);
	const char *noun = candidate_noun(state);
	const int16 type = state->objects ? _parameter_object_identifier : _parameter_monster_identifier;
	// Every field name is read before the first write: the target may be this action.
	const field_tag names[4] = {TAG("insi"), TAG("outs"), TAG("inlo"), TAG("oulo")};
	field_tag fields[4];
	bool present[4];
	for (int32 f = 0; f < 4; ++f)
	{
		// A field named NONE would match every field of the target and clear them all.
		present[f] = get_indexed_long_integer_parameter(action_index, names[f], _parameter_field_name, &fields[f], field_index) &&
			fields[f] != static_cast<field_tag>(NONE);
	}
	bool added = false;
	for (int32 f = 0; f < 4; ++f)
	{
		const boolean inside = (f % 2) == 0;
		const int side_count = inside ? inside_count : outside_count;
		if (!present[f])
		{
			switch (f)
			{
			case 0: map_action_debug(action_index, "%d %s inside geometry ignored", side_count, noun); break;
			case 1: map_action_debug(action_index, "%d %s outside geometry ignored", side_count, noun); break;
			case 2: map_action_debug(action_index, "%d %s points inside geometry ignored", side_count, noun); break;
			default: map_action_debug(action_index, "%d %s points outside geometry ignored", side_count, noun); break;
			}
			continue;
		}
		const int16 n = f < 2 ?
			add_objects_to_parameter(random, target_index, fields[f], type, state->candidates, state->count, maximum, inside) :
			add_locations_to_parameter(random, target_index, fields[f], state->candidates, state->count, maximum, inside);
		const char *field = tag_to_string(fields[f]);
		switch (f)
		{
		case 0: map_action_debug(action_index, "%d %s inside geometry (added to %s)", n, noun, field); break;
		case 1: map_action_debug(action_index, "%d %s oustide geometry (added to %s)", n, noun, field); break;
		case 2: map_action_debug(action_index, "%d %s points inside geometry (added to %s)", n, noun, field); break;
		default: map_action_debug(action_index, "%d %s points outside geometry (added to %s)", n, noun, field); break;
		}
		added = added || n > 0;
	}
	return added;
}

static int32 parameter_count(int16 action_index, field_tag field_name, int16 type)
{
	map_action_parameter parameter;
	if (!get_map_action_parameter(&parameter, action_index, _return_empty_arrays_flag, field_name, type)) return NONE;
	int32 values[MAXIMUM_GEOMETRY_FILTER_CANDIDATES];
	return get_combined_map_action_parameter(action_index, field_name, type, values, MAXIMUM_GEOMETRY_FILTER_CANDIDATES);
}

static uint32 write_results(geometry_filter_state *state)
{
	const int16 action_index = state->action_index;
	const int16 inside_count = count_inside(state);
	if (game_play_version == 1300)
	{
		int16 target = action_index;
		int16 identifier;
		if (get_map_action_identifier_parameter(action_index, TAG("resu"), &identifier))
		{
			target = action_identifier_to_action_index(identifier);
			if (target == NONE)
			{
				map_action_error(action_index, "action to add results to is NONE!");
				return 0;
			}
		}
		return add_to_parameters(action_index, target, 0, state, inside_count, FALSE) ? _map_action_proc_succeeded_flag : 0;
	}

	const boolean random = map_action_has_flag(action_index, TAG("rand"));
	map_action_parameter results;
	if (!get_map_action_parameter(&results, action_index, _return_empty_arrays_flag, TAG("resu"), _parameter_action_identifier))
	{
		return add_to_parameters(action_index, action_index, 0, state, inside_count, random) ? _map_action_proc_succeeded_flag : 0;
	}
	int16 targets[MAXIMUM_GEOMETRY_FILTER_CANDIDATES];
	int32 target_count = get_combined_map_action_parameter(action_index, TAG("resu"), _parameter_action_identifier, targets,
		MAXIMUM_GEOMETRY_FILTER_CANDIDATES);
	if (target_count == 0)
	{
		map_action_error(action_index, "action to add results to is NONE!");
		return 0;
	}
	const field_tag names[4] = {TAG("insi"), TAG("outs"), TAG("inlo"), TAG("oulo")};
	for (field_tag name : names)
	{
		const int32 n = parameter_count(action_index, name, _parameter_field_name);
		if (n != NONE && n < target_count) target_count = n;
	}
	bool added = false;
	for (int32 i = 0; i < target_count; ++i)
	{
		const int16 target = action_identifier_to_action_index(targets[i]);
		if (target == NONE) continue;
		added = add_to_parameters(action_index, target, i, state, inside_count, random) || added;
	}
	return added ? _map_action_proc_succeeded_flag : 0;
}

/* ---------- the proc */

uint32 geometry_filter_action_proc(int16 action_index)
{
	geometry_filter_state state;
	memset(&state, 0, sizeof(state));
	for (monster_or_object_identifier &c : state.candidates) c.identifier = NONE;
	state.action_index = action_index;

	int16 subjects[MAXIMUM_GEOMETRY_FILTER_CANDIDATES];
	const int32 subject_count = get_combined_map_action_parameter(action_index, TAG("subj"), _parameter_monster_identifier,
		subjects, MAXIMUM_GEOMETRY_FILTER_CANDIDATES);
	file_tag types[MAXIMUM_TAG_LIST];
	const int32 type_count = tag_list(action_index, TAG("type"), types);
	int16 objects[MAXIMUM_GEOMETRY_FILTER_CANDIDATES];
	const int32 object_count = get_combined_map_action_parameter(action_index, TAG("obje"), _parameter_object_identifier,
		objects, MAXIMUM_GEOMETRY_FILTER_CANDIDATES);

	// 1.
	if ((subject_count > 0 && (type_count > 0 || object_count > 0)) || (type_count > 0 && object_count > 0))
	{
		map_action_debug(action_index,
			"geometry_filter action procs cannot contain both monsters, objects, and object identifiers!");
		return 0;
	}
	// 2 to 4.
	if (subject_count > 0)
	{
		if (!gather_subjects(&state, subjects, static_cast<int16>(subject_count))) return 0;
	}
	else if (type_count > 0)
	{
		state.objects = TRUE;
		gather_objects_of_types(&state, types, type_count);
	}
	else if (object_count > 0)
	{
		state.objects = TRUE;
		gather_objects_by_identifier(&state, objects, object_count);
	}
	// 5.
	if (state.count == 0)
	{
		int32 ignored;
		file_tag kind;
		if (!get_map_action_integer(action_index, TAG("team"), &ignored) &&
			get_combined_map_action_parameter(action_index, TAG("mons"), _parameter_field_name, &kind, 1) == 0 &&
			!map_action_has_flag(action_index, TAG("bmon")))
		{
			map_action_debug(action_index, "nothing to test against!");
			return 0;
		}
	}
	// 6 and 7.
	const bool tested = run_tests(&state);
	int32 minimum;
	if (get_map_action_integer(action_index, TAG("_min"), &minimum) ? state.count < minimum : !tested)
	{
		map_action_debug(action_index, "didn't perform any tests (no circles or geometries)!");
		return 0;
	}
	// 8.
	return write_results(&state);
}
