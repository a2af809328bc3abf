// The attack AI: attack groups recorded during a pass are shared out over the
// enemy spatial groups, then each attacker picks a target in its group.
#include <cstdio>
#include <cstring>

#include "alliances.h"
#include "attack_ai.h"
#include "console/console.h"
#include "crc.h"
#include "definitions.h"
#include "error_manager.h"
#include "map_actions/map_actions.h"
#include "map_actions/subject_lists.h"
#include "memory.h"
#include "monster_commands.h"
#include "monster_definitions.h"
#include "monsters.h"
#include "objects.h"
#include "players.h"
#include "spatial_groups.h"
#include "world.h"
#include "zerv.h"

#define ATTACK_AI_COMMAND_IDENTIFIER (-2) // executed at once, nothing to report to

static attack_ai_globals_data *attack_ai_globals = nullptr;
// CRC-32 of the effectiveness table, taken when it is built (0 before).
static uint32 effectiveness_checksum = 0;
// Kinds the table holds: a kind loaded after the first pass (a script's
// unit, say) grows the count and has the table rebuilt.
static int16 effectiveness_kind_count = 0;

static int16 loaded_kind_count(void)
{
	definition_globals *definitions = get_monster_definitions();
	return definitions ? MIN(definitions->count, static_cast<int16>(MAXIMUM_ATTACK_EFFECTIVENESS_KINDS)) : 0;
}
static attack_ai_test_hooks_data attack_ai_test_hooks = {NONE};

/* ---------- links */

static attack_group *attack_group_at(int32 offset)
{
	if (offset == NONE || !attack_ai_globals) return nullptr;
	return reinterpret_cast<attack_group *>(attack_ai_globals->buffer + offset);
}

static spatial_group_attacker_entry *attacker_at(int32 offset)
{
	if (offset == NONE || !attack_ai_globals) return nullptr;
	return reinterpret_cast<spatial_group_attacker_entry *>(attack_ai_globals->buffer + offset);
}

// The {index, identifier} pairs after the head.
static int16 *attack_group_pairs(const attack_group *group)
{
	return reinterpret_cast<int16 *>(const_cast<attack_group *>(group) + 1);
}

const attack_ai_globals_data *get_attack_ai_globals(void) { return attack_ai_globals; }
const attack_group *first_attack_group(void)
{
	return attack_ai_globals ? attack_group_at(attack_ai_globals->first_group) : nullptr;
}
const attack_group *next_attack_group(const attack_group *group) { return attack_group_at(group->next_group); }
const spatial_group_attacker_entry *first_spatial_group_attacker(const spatial_group *group)
{
	return attacker_at(group->first_attacker);
}
const spatial_group_attacker_entry *next_spatial_group_attacker(const spatial_group_attacker_entry *entry)
{
	return attacker_at(entry->next_attacker);
}

/* ---------- life cycle */

void initialize_attack_ai(void)
{
	if (attack_ai_globals) return;
	attack_ai_globals = static_cast<attack_ai_globals_data *>(new_pointer(sizeof(attack_ai_globals_data)));
	if (!attack_ai_globals)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate #%d bytes for attack ai globals",
			static_cast<int>(sizeof(attack_ai_globals_data)));
		return;
	}
	memset(attack_ai_globals, 0, sizeof(*attack_ai_globals));
	attack_ai_globals->first_group = NONE;
}

void initialize_attack_ai_for_new_map(void)
{
	if (!attack_ai_globals) return;
	reset_attack_ai();
	memset(attack_ai_globals->effectiveness, 0, sizeof(attack_ai_globals->effectiveness));
	attack_ai_globals->need_to_initialize_cached_tables = TRUE;
	effectiveness_checksum = 0;
	effectiveness_kind_count = 0;
}

void dispose_attack_ai_from_old_map(void)
{
}

void reset_attack_ai(void)
{
	if (!attack_ai_globals) return;
	attack_ai_globals->first_group = NONE;
	attack_ai_globals->buffer_offset = 0;
}

/* ---------- recording */

void new_attack_ai_configuration(attack_ai_configuration *configuration)
{
	configuration->flags = _attack_ai_no_focus_flag;
	configuration->focus.x = 0;
	configuration->focus.y = 0;
	configuration->radius = 0;
}

void parse_attack_ai_configuration(attack_ai_configuration *configuration, int16 action_index)
{
	new_attack_ai_configuration(configuration);
	if (action_index == NONE) return;
	map_action_parameter parameter;
	if (!get_map_action_parameter(&parameter, action_index, 0, TAG("radi"), _parameter_world_distance) ||
		parameter.count != 2)
	{
		return;
	}
	const void *values = extract_parameter_array_address(&parameter);
	if (!values) return;
	world_distance radius;
	memcpy(&radius, static_cast<const uint8 *>(values) + sizeof(world_distance), sizeof(radius));
	configuration->radius = radius;
	configuration->flags &= ~static_cast<uint32>(_attack_ai_no_focus_flag);
}

void attack_with_monster_indexes(const int16 *monster_indexes, int16 count, const attack_ai_configuration *configuration)
{
	if (!attack_ai_globals || count <= 0) return;
	if (count > MAXIMUM_ATTACK_GROUP_MONSTERS) count = MAXIMUM_ATTACK_GROUP_MONSTERS;
	const int32 size = static_cast<int32>(sizeof(attack_group)) + 4 * count;
	if (attack_ai_globals->buffer_offset + size > MAXIMUM_ATTACK_GROUPS_BUFFER_SIZE)
	{
		cprintf(FALSE, "### overwrote attack ai buffer");
		return;
	}
	attack_group *group = reinterpret_cast<attack_group *>(attack_ai_globals->buffer + attack_ai_globals->buffer_offset);
	memset(group, 0, sizeof(*group));
	group->monster_count = count;
	int16 *pairs = attack_group_pairs(group);
	for (int16 i = 0; i < count; ++i)
	{
		const monster_data *monster = get_monster_data(monster_indexes[i]);
		pairs[2 * i] = monster_indexes[i];
		pairs[2 * i + 1] = monster ? monster->identifier : 0;
	}
	group->configuration = *configuration;
	group->next_group = attack_ai_globals->first_group;
	attack_ai_globals->first_group = attack_ai_globals->buffer_offset;
	attack_ai_globals->buffer_offset += size;
}

void attack_with_all_monster_indexes(int16 team_index)
{
	attack_ai_test_hooks.last_attacking_team = team_index;
	int16 indexes[MAXIMUM_MONSTERS_PER_MAP];
	int16 count = 0;
	for (int16 i = 0; i < monster_array.count && count < MAXIMUM_MONSTERS_PER_MAP; ++i)
	{
		const monster_data *monster = get_monster_data(i);
		if (!monster || (monster->flags & _monster_has_left_the_mesh_flag)) continue;
		if (team_index != NONE && monster->owner_team_index != team_index) continue;
		indexes[count++] = i;
	}
	attack_ai_configuration configuration;
	new_attack_ai_configuration(&configuration);
	attack_with_monster_indexes(indexes, count, &configuration);
}

/* ---------- sharing out */

static void build_effectiveness_table(void)
{
	const int16 count = loaded_kind_count();
	effectiveness_kind_count = count;
	for (int16 a = 0; a < count; ++a)
	{
		const monster_definition *attacker = get_monster_definition(a);
		if (!attacker) continue;
		for (int16 t = 0; t < count; ++t)
		{
			const monster_definition *target = get_monster_definition(t);
			if (!target) continue;
			int32 score = (static_cast<int32>(attacker->base_movement_speed) - target->base_movement_speed) * 128;
			if ((attacker->flags & _monster_is_anti_missile_unit_flag) && (target->flags & _monster_is_anti_missile_target_flag))
			{
				score += ANTI_MISSILE_BONUS;
			}
			attack_ai_globals->effectiveness[a][t] = score;
		}
	}
	attack_ai_globals->need_to_initialize_cached_tables = FALSE;
	effectiveness_checksum = calculate_data_crc(attack_ai_globals->effectiveness, sizeof(attack_ai_globals->effectiveness));
}

static int32 effectiveness_of(int16 attacker_kind, int16 target_kind)
{
	if (attacker_kind < 0 || attacker_kind >= MAXIMUM_ATTACK_EFFECTIVENESS_KINDS || target_kind < 0 ||
		target_kind >= MAXIMUM_ATTACK_EFFECTIVENESS_KINDS)
	{
		return 0;
	}
	return attack_ai_globals->effectiveness[attacker_kind][target_kind];
}

static world_point2d monster_point(const monster_data *monster)
{
	const object_data *object = get_object_data(monster->object_index);
	world_point2d point = {0, 0};
	if (object)
	{
		point.x = object->location.position.x;
		point.y = object->location.position.y;
	}
	return point;
}

static int16 saturate16(int32 value)
{
	return static_cast<int16>(value > 32767 ? 32767 : value < -32767 ? -32767 : value);
}

// Offsets between points within this bound of the origin fit 32 bits, so the
// scans below bound distances in plain ints; anything farther takes the
// general path, which answers the same.
#define SCAN_COORDINATE_LIMIT (1 << 29)

static inline bool fits_scan(world_distance x, world_distance y)
{
	return x > -SCAN_COORDINATE_LIMIT && x < SCAN_COORDINATE_LIMIT && y > -SCAN_COORDINATE_LIMIT &&
		y < SCAN_COORDINATE_LIMIT;
}

// A lower bound of distance2d: the rounded root of dx^2 + dy^2 is at least the
// larger offset, and a saturated distance is 32767.
static inline int32 least_distance(int32 dx, int32 dy)
{
	dx = dx < 0 ? -dx : dx;
	dy = dy < 0 ? -dy : dy;
	const int32 larger = dx > dy ? dx : dy;
	return larger < 32767 ? larger : 32767;
}

// The groups of one pass laid out for the scoring scan, which visits every
// group for every attacker: list order kept, no allocation. The lists a team
// may attack carry their own copies of the scan's fields, side by side, so the
// bounding pass runs over plain arrays.
#define MAXIMUM_SCORED_GROUPS (MAXIMUM_SPATIAL_GROUPS_BUFFER_SIZE / 50 + 1)
#define TEAM_LISTS (MAXIMUM_TEAMS_PER_MAP + 1)
struct scored_group_list
{
	int32 count; // NONE until built
	int16 position[MAXIMUM_SCORED_GROUPS]; // in the layout, ascending
	int32 x[MAXIMUM_SCORED_GROUPS], y[MAXIMUM_SCORED_GROUPS], radius[MAXIMUM_SCORED_GROUPS];
	int32 overkill[MAXIMUM_SCORED_GROUPS];
	// The box of the centres and the largest radius: a unit far enough from the
	// box is out of reach of every group, and each score is its overkill term.
	int32 left, right, bottom, top, largest_radius;
	int32 first_of_highest_overkill; // NONE until asked after a change
};
struct scored_groups_data
{
	int32 count;
	bool coordinates_fit; // every centre within SCAN_COORDINATE_LIMIT
	spatial_group *groups[MAXIMUM_SCORED_GROUPS];
	world_point2d center[MAXIMUM_SCORED_GROUPS];
	int32 radius[MAXIMUM_SCORED_GROUPS];
	int16 team[MAXIMUM_SCORED_GROUPS];
	int32 overkill[MAXIMUM_SCORED_GROUPS]; // (OVERKILL_RATIO - power_ratio) >> 4
	// Per attacking team (index team + 1, the last for a team outside the
	// table): the groups it may attack, for the pass; then those narrowed to the
	// focus of the attack group being shared out.
	scored_group_list hostile[TEAM_LISTS + 1];
	scored_group_list focused[TEAM_LISTS + 1];
	int32 bound[MAXIMUM_SCORED_GROUPS]; // scratch of one scan
	int16 candidates[MAXIMUM_SCORED_GROUPS];
};
static scored_groups_data scored_groups;

static int32 overkill_of(const spatial_group *group)
{
	return static_cast<int32>((static_cast<int64>(OVERKILL_RATIO) - group->power_ratio) >> 4);
}

static void lay_out_scored_groups(void)
{
	scored_groups_data *s = &scored_groups;
	s->count = 0;
	s->coordinates_fit = true;
	for (spatial_group *group = first_spatial_group(); group && s->count < MAXIMUM_SCORED_GROUPS; group = next_spatial_group(group))
	{
		const int32 i = s->count++;
		s->groups[i] = group;
		s->center[i] = {group->center.x, group->center.y}; // field by field: the record is packed
		s->radius[i] = group->radius;
		s->team[i] = group->team_index;
		s->overkill[i] = overkill_of(group);
		s->coordinates_fit = s->coordinates_fit && fits_scan(group->center.x, group->center.y);
	}
	for (scored_group_list &list : s->hostile) list.count = NONE;
	for (scored_group_list &list : s->focused) list.count = NONE;
}

static int32 team_list_index(int16 team)
{
	return team >= -1 && team < MAXIMUM_TEAMS_PER_MAP ? team + 1 : TEAM_LISTS;
}

static void begin_scored_group_list(scored_group_list *list)
{
	list->count = 0;
	list->left = list->bottom = INT32_MAX;
	list->right = list->top = INT32_MIN;
	list->largest_radius = INT32_MIN;
	list->first_of_highest_overkill = NONE;
}

static void append_scored_group(scored_group_list *list, int32 i)
{
	const scored_groups_data *s = &scored_groups;
	const int32 n = list->count++;
	list->position[n] = static_cast<int16>(i);
	list->x[n] = s->center[i].x;
	list->y[n] = s->center[i].y;
	list->radius[n] = s->radius[i];
	list->overkill[n] = s->overkill[i];
	list->left = MIN(list->left, list->x[n]);
	list->right = MAX(list->right, list->x[n]);
	list->bottom = MIN(list->bottom, list->y[n]);
	list->top = MAX(list->top, list->y[n]);
	list->largest_radius = MAX(list->largest_radius, list->radius[n]);
}

// Whether no group of the list reaches the unit: each group's least distance
// is at least the unit's offset from the box, so every closeness is 0.
static bool out_of_every_reach(const scored_group_list *list, int32 px, int32 py)
{
	const int32 dx = MAX(MAX(list->left - px, px - list->right), 0);
	const int32 dy = MAX(MAX(list->bottom - py, py - list->top), 0);
	const int32 least = MIN(MAX(dx, dy), 32767);
	return static_cast<int64>(SCORING_DISTANCE_CUTOFF) - least + list->largest_radius <= 0;
}

// The first group of the highest overkill term.
static int32 first_of_highest_overkill(scored_group_list *list)
{
	if (list->first_of_highest_overkill == NONE)
	{
		int32 first = 0;
		for (int32 k = 1; k < list->count; ++k)
		{
			if (list->overkill[k] > list->overkill[first]) first = k;
		}
		list->first_of_highest_overkill = first;
	}
	return list->first_of_highest_overkill;
}

// The groups a unit of the team may attack.
static scored_group_list *hostile_groups(int16 team)
{
	scored_groups_data *s = &scored_groups;
	const int32 slot = team_list_index(team);
	scored_group_list *list = &s->hostile[slot];
	// Outside the table the list is built afresh for each unit.
	if (list->count != NONE && slot != TEAM_LISTS) return list;
	begin_scored_group_list(list);
	for (int32 i = 0; i < s->count; ++i)
	{
		const int16 group_team = s->team[i];
		if (group_team != team && !teams_are_allied(group_team, team)) append_scored_group(list, i);
	}
	return list;
}

// Centres and radii stay put while attackers are shared out, so the focus
// narrows each team's list once per attack group.
static void begin_attack_group(void)
{
	for (scored_group_list &list : scored_groups.focused) list.count = NONE;
}

// The groups a unit of the team may attack under the configuration.
static scored_group_list *eligible_groups(int16 team, const attack_ai_configuration *configuration)
{
	scored_group_list *hostile = hostile_groups(team);
	if (configuration->flags & _attack_ai_no_focus_flag) return hostile;
	scored_groups_data *s = &scored_groups;
	const int32 slot = team_list_index(team);
	scored_group_list *list = &s->focused[slot];
	if (list->count != NONE && slot != TEAM_LISTS) return list;
	const world_point2d focus = configuration->focus;
	begin_scored_group_list(list);
	for (int32 k = 0; k < hostile->count; ++k)
	{
		const int32 i = hostile->position[k];
		if (static_cast<int64>(distance2d(&focus, &s->center[i])) - s->radius[i] > configuration->radius) continue;
		append_scored_group(list, i);
	}
	return list;
}

// A group's overkill term moved: so do its copies in the built lists.
static void set_group_overkill(int32 i, int32 overkill)
{
	scored_groups_data *s = &scored_groups;
	s->overkill[i] = overkill;
	for (scored_group_list *lists : {s->hostile, s->focused})
	{
		for (int32 slot = 0; slot <= TEAM_LISTS; ++slot)
		{
			scored_group_list *list = &lists[slot];
			if (list->count <= 0) continue;
			int32 low = 0, high = list->count;
			while (low < high)
			{
				const int32 middle = (low + high) / 2;
				if (list->position[middle] < i) low = middle + 1;
				else high = middle;
			}
			if (low < list->count && list->position[low] == i)
			{
				list->overkill[low] = overkill;
				list->first_of_highest_overkill = NONE;
			}
		}
	}
}

static int64 group_score(const scored_group_list *list, int32 k, const world_point2d *position)
{
	const world_point2d center = {list->x[k], list->y[k]};
	const int64 closeness = SCORING_DISTANCE_CUTOFF - (static_cast<int64>(distance2d(position, &center)) - list->radius[k]);
	return list->overkill[k] + (closeness > 0 ? closeness : 0);
}

// The bounds of one scan, and the highest: each score is at most its bound,
// which needs no root. Plain integer lanes: vectorizing them changes no result.
#if defined(__GNUC__) && !defined(__clang__)
__attribute__((optimize("tree-loop-vectorize", "vect-cost-model=dynamic")))
#endif
static int32 bound_group_scores(const scored_group_list *__restrict list, int32 px, int32 py, int32 *__restrict bound)
{
	const int32 count = list->count;
	const int32 *__restrict x = list->x, *__restrict y = list->y, *__restrict radius = list->radius,
							*__restrict overkill = list->overkill;
	int32 highest = INT32_MIN;
	for (int32 k = 0; k < count; ++k)
	{
		int32 dx = px - x[k], dy = py - y[k];
		dx = dx < 0 ? -dx : dx;
		dy = dy < 0 ? -dy : dy;
		int32 least = dx > dy ? dx : dy;
		least = least < 32767 ? least : 32767;
		int32 closeness = SCORING_DISTANCE_CUTOFF - least + radius[k];
		closeness = closeness > 0 ? closeness : 0;
		const int32 b = overkill[k] + closeness;
		bound[k] = b;
		highest = b > highest ? b : highest;
	}
	return highest;
}

// The enemy group with the best score for this unit (its position in the
// layout), or NONE: the first in list order among the best.
static int32 choose_group(const monster_data *monster, const attack_ai_configuration *configuration)
{
	scored_groups_data *s = &scored_groups;
	const world_point2d position = monster_point(monster);
	scored_group_list *list = eligible_groups(monster->owner_team_index, configuration);
	const int32 count = list->count;
	if (count <= 0) return NONE;
	if (!s->coordinates_fit || !fits_scan(position.x, position.y))
	{
		int32 best = 0;
		int64 best_score = group_score(list, 0, &position);
		for (int32 k = 1; k < count; ++k)
		{
			const int64 score = group_score(list, k, &position);
			if (score > best_score)
			{
				best = k;
				best_score = score;
			}
		}
		return list->position[best];
	}
	if (out_of_every_reach(list, position.x, position.y)) return list->position[first_of_highest_overkill(list)];
	// Score the group of the highest bound (the first of them), then only the
	// groups whose bound could still beat it, or tie it from earlier in the list.
	int32 *bound = s->bound;
	const int32 top_bound = bound_group_scores(list, position.x, position.y, bound);
	int32 top = 0;
	while (bound[top] != top_bound) ++top;
	int32 best = top;
	int64 best_score = group_score(list, top, &position);
	// Nothing earlier reaches it, nothing later passes it.
	if (best_score == top_bound) return list->position[top];
	int16 *candidates = s->candidates;
	int32 candidate_count = 0;
	for (int32 k = 0; k < count; ++k)
	{
		candidates[candidate_count] = static_cast<int16>(k);
		candidate_count += bound[k] >= best_score;
	}
	for (int32 c = 0; c < candidate_count; ++c)
	{
		const int32 k = candidates[c];
		if (k == top || bound[k] < best_score || (bound[k] == best_score && k > best)) continue;
		const int64 score = group_score(list, k, &position);
		if (score > best_score || (score == best_score && k < best))
		{
			best = k;
			best_score = score;
		}
	}
	return list->position[best];
}

static void assign_attacker(spatial_group *group, int16 monster_index, const monster_definition *definition)
{
	if (attack_ai_globals->buffer_offset + static_cast<int32>(sizeof(spatial_group_attacker_entry)) >
		MAXIMUM_ATTACK_GROUPS_BUFFER_SIZE)
	{
		cprintf(FALSE, "### overwrote attack ai buffer");
		return;
	}
	group->attacker_power = saturate16(static_cast<int32>(group->attacker_power) + (definition ? definition->combined_power : 0));
	group->power_ratio = group->power == 0 ? INT32_MAX :
		static_cast<fixed>((static_cast<int32>(group->attacker_power) * 65536) / group->power);
	spatial_group_attacker_entry *entry =
		reinterpret_cast<spatial_group_attacker_entry *>(attack_ai_globals->buffer + attack_ai_globals->buffer_offset);
	entry->monster_index = monster_index;
	entry->unused = 0;
	entry->next_attacker = group->first_attacker;
	group->first_attacker = attack_ai_globals->buffer_offset;
	attack_ai_globals->buffer_offset += static_cast<int32>(sizeof(spatial_group_attacker_entry));
}

static void assign_attack_groups(void)
{
	for (const attack_group *attack = first_attack_group(); attack; attack = next_attack_group(attack))
	{
		begin_attack_group();
		const int16 *pairs = attack_group_pairs(attack);
		for (int16 i = 0; i < attack->monster_count; ++i)
		{
			const int16 monster_index = pairs[2 * i];
			const monster_data *monster = get_monster_data(monster_index);
			// Free records are skipped at every version; identifiers are checked from 1701.
			if (!monster || (game_play_version >= 1701 && monster->identifier != pairs[2 * i + 1])) continue;
			const monster_definition *definition = get_monster_definition(monster->type);
			if (definition && definition->monster_class == _monster_class_melee &&
				(monster->flags & _monster_has_valid_target_flag) && (monster->flags & _monster_in_proximity_to_target_flag))
			{
				continue;
			}
			const int32 chosen = choose_group(monster, &attack->configuration);
			if (chosen == NONE) continue;
			spatial_group *group = scored_groups.groups[chosen];
			assign_attacker(group, monster_index, definition);
			set_group_overkill(chosen, overkill_of(group));
		}
	}
}

static void order_attackers(spatial_group *group)
{
	int16 attackers[MAXIMUM_ATTACK_GROUP_MONSTERS];
	int16 picks[MAXIMUM_ATTACK_GROUP_MONSTERS];
	int16 attacker_count = 0;
	for (const spatial_group_attacker_entry *entry = first_spatial_group_attacker(group);
		 entry && attacker_count < MAXIMUM_ATTACK_GROUP_MONSTERS; entry = next_spatial_group_attacker(entry))
	{
		attackers[attacker_count++] = entry->monster_index;
	}

	int16 *members = spatial_group_monster_indexes(group);
	int16 kept = 0;
	for (int16 i = 0; i < group->monster_count; ++i)
	{
		const int16 index = spatial_group_monster_index(group, i);
		if (get_monster_data(index))
		{
			memcpy(members + kept, &index, sizeof(index));
			++kept;
		}
	}
	group->monster_count = kept;
	if (kept == 0) return;

	// The targets' places and kinds, read once for all the attackers (a group
	// holds each unit once).
	static_assert(MAXIMUM_MONSTERS_PER_MAP <= MAXIMUM_ATTACK_GROUP_MONSTERS, "a group's members fit the target tables");
	static world_point2d target_points[MAXIMUM_ATTACK_GROUP_MONSTERS];
	static int16 target_kinds[MAXIMUM_ATTACK_GROUP_MONSTERS];
	static int64 bound[MAXIMUM_ATTACK_GROUP_MONSTERS]; // effectiveness spans 32 bits
	bool targets_fit = true;
	for (int16 t = 0; t < kept; ++t)
	{
		const monster_data *target = get_monster_data(spatial_group_monster_index(group, t));
		target_points[t] = monster_point(target);
		target_kinds[t] = target->type;
		targets_fit = targets_fit && fits_scan(target_points[t].x, target_points[t].y);
	}
	for (int16 a = 0; a < attacker_count; ++a)
	{
		const monster_data *attacker = get_monster_data(attackers[a]);
		picks[a] = NONE;
		if (!attacker) continue;
		const world_point2d position = monster_point(attacker);
		auto score_of = [&](int16 t) {
			const int64 closeness = SCORING_DISTANCE_CUTOFF - static_cast<int64>(distance2d(&position, &target_points[t]));
			return effectiveness_of(attacker->type, target_kinds[t]) + (closeness > 0 ? closeness : 0);
		};
		if (!targets_fit || !fits_scan(position.x, position.y))
		{
			int64 best_score = 0;
			for (int16 t = 0; t < kept; ++t)
			{
				const int64 score = score_of(t);
				if (picks[a] == NONE || score > best_score)
				{
					picks[a] = t;
					best_score = score;
				}
			}
			continue;
		}
		// As for the groups: bound every target without a root, score the
		// highest bound, then only the targets that could still win.
		int16 top = 0;
		int64 top_bound = INT64_MIN;
		for (int16 t = 0; t < kept; ++t)
		{
			const int32 closeness = SCORING_DISTANCE_CUTOFF -
				least_distance(position.x - target_points[t].x, position.y - target_points[t].y);
			const int64 b = static_cast<int64>(effectiveness_of(attacker->type, target_kinds[t])) + (closeness > 0 ? closeness : 0);
			bound[t] = b;
			if (b > top_bound)
			{
				top_bound = b;
				top = t;
			}
		}
		int16 best = top;
		int64 best_score = score_of(top);
		// Nothing earlier reaches it, nothing later passes it.
		for (int16 t = best_score == top_bound ? kept : 0; t < kept; ++t)
		{
			if (bound[t] < best_score || (bound[t] == best_score && t > best) || t == top) continue;
			const int64 score = score_of(t);
			if (score > best_score || (score == best_score && t < best))
			{
				best = t;
				best_score = score;
			}
		}
		picks[a] = best;
	}

	// Each target's attackers in attacker order, gathered by a stable count.
	static int16 first_of_target[MAXIMUM_ATTACK_GROUP_MONSTERS + 1];
	int16 chosen[MAXIMUM_ATTACK_GROUP_MONSTERS];
	for (int16 t = 0; t <= kept; ++t) first_of_target[t] = 0;
	for (int16 a = 0; a < attacker_count; ++a)
	{
		if (picks[a] != NONE) first_of_target[picks[a] + 1] += 1;
	}
	for (int16 t = 0; t < kept; ++t) first_of_target[t + 1] = static_cast<int16>(first_of_target[t + 1] + first_of_target[t]);
	int16 filled[MAXIMUM_ATTACK_GROUP_MONSTERS];
	for (int16 t = 0; t < kept; ++t) filled[t] = first_of_target[t];
	for (int16 a = 0; a < attacker_count; ++a)
	{
		if (picks[a] != NONE) chosen[filled[picks[a]]++] = attackers[a];
	}
	command_target_data data;
	data.flags = _command_target_dont_override_local_ai_flag;
	for (int16 t = 0; t < kept; ++t)
	{
		const int16 count = static_cast<int16>(first_of_target[t + 1] - first_of_target[t]);
		if (count == 0) continue;
		const int16 target_index = spatial_group_monster_index(group, t);
		for_each_command_chunk(count, chosen + first_of_target[t], [&](const int16 *chunk, int16 chunk_count) {
			handle_target_command(ATTACK_AI_COMMAND_IDENTIFIER, &data, chunk_count, chunk, 1, &target_index);
		});
	}
}

// The groups' build count at the last update.
static uint32 attack_ai_groups_build_seen = 0;

void update_attack_ai(void)
{
	if (!attack_ai_globals) return;
	if (attack_ai_globals->need_to_initialize_cached_tables || loaded_kind_count() > effectiveness_kind_count)
		build_effectiveness_table();
	// Groups built or noted since the last update hold no attackers (a build
	// clears them and only an update assigns any), and with no attack group
	// none is assigned: the update would change nothing but its own scratch.
	const uint32 build = spatial_groups_build_count();
	const bool fresh_groups = build != attack_ai_groups_build_seen;
	attack_ai_groups_build_seen = build;
	if (fresh_groups && !first_attack_group()) return;
	for (spatial_group *group = first_spatial_group(); group; group = next_spatial_group(group))
	{
		group->first_attacker = NONE;
		group->attacker_power = 0;
		group->power_ratio = 0;
	}
	lay_out_scored_groups();
	assign_attack_groups();
	for (spatial_group *group = first_spatial_group(); group; group = next_spatial_group(group))
	{
		if (group->first_attacker != NONE) order_attackers(group);
	}
}

/* ---------- debugging */

void debug_attack_ai(char *buffer, int32 size)
{
	if (!buffer || size <= 0) return;
	buffer[0] = 0;
	int32 length = 0;
	for (const attack_group *group = first_attack_group(); group; group = next_attack_group(group))
	{
		char line[128];
		const int written = snprintf(line, sizeof(line), "#%d units @(%3.2f,%3.2f) r==%3.2f\r", group->monster_count,
			group->configuration.focus.x / 512.0, group->configuration.focus.y / 512.0,
			group->configuration.radius / 512.0);
		if (written < 0 || length + written >= size) break; // whole lines only
		memcpy(buffer + length, line, static_cast<size_t>(written) + 1);
		length += written;
	}
}

attack_ai_test_hooks_data *get_attack_ai_test_hooks(void)
{
	return &attack_ai_test_hooks;
}

/* ---------- digest */

void attack_ai_fold_digest(zerv_digest *digest)
{
	if (!attack_ai_globals) return;
	zerv_digest_int32(digest, attack_ai_globals->buffer_offset);
	for (const attack_group *group = first_attack_group(); group; group = next_attack_group(group))
	{
		zerv_digest_int16(digest, group->monster_count);
		zerv_digest_uint32(digest, group->flags);
		zerv_digest_uint32(digest, group->configuration.flags);
		zerv_digest_int32(digest, group->configuration.focus.x);
		zerv_digest_int32(digest, group->configuration.focus.y);
		zerv_digest_int32(digest, group->configuration.radius);
		const int16 *pairs = attack_group_pairs(group);
		for (int16 i = 0; i < 2 * group->monster_count; ++i) zerv_digest_int16(digest, pairs[i]);
	}
	zerv_digest_int8(digest, static_cast<int8>(attack_ai_globals->need_to_initialize_cached_tables ? 1 : 0));
	zerv_digest_uint32(digest, effectiveness_checksum);
}
