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
	definition_globals *definitions = get_monster_definitions();
	const int16 count = definitions ? MIN(definitions->count, static_cast<int16>(MAXIMUM_ATTACK_EFFECTIVENESS_KINDS)) : 0;
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

// The groups of one pass laid out for the scoring scan, which visits every
// group for every attacker: list order kept, no allocation.
#define MAXIMUM_SCORED_GROUPS (MAXIMUM_SPATIAL_GROUPS_BUFFER_SIZE / 50 + 1)
struct scored_group
{
	world_point2d center;
	int32 radius;
	int16 team;
	int64 overkill; // ((OVERKILL_RATIO - power_ratio) >> 4)
};
struct scored_groups_data
{
	int32 count;
	spatial_group *groups[MAXIMUM_SCORED_GROUPS];
	scored_group group[MAXIMUM_SCORED_GROUPS];
	// Per attacking team (index team + 1), the positions of the groups it may
	// attack, in list order; a count of NONE until first asked.
	int16 hostile_count[MAXIMUM_TEAMS_PER_MAP + 1];
	int16 hostile[MAXIMUM_TEAMS_PER_MAP + 1][MAXIMUM_SCORED_GROUPS];
	int16 other_team_list[MAXIMUM_SCORED_GROUPS]; // for a team outside the table
};
static scored_groups_data scored_groups;

static void lay_out_scored_groups(void)
{
	scored_groups_data *s = &scored_groups;
	s->count = 0;
	for (spatial_group *group = first_spatial_group(); group && s->count < MAXIMUM_SCORED_GROUPS; group = next_spatial_group(group))
	{
		const int32 i = s->count++;
		s->groups[i] = group;
		scored_group *g = &s->group[i];
		g->center = {group->center.x, group->center.y}; // field by field: the record is packed
		g->radius = group->radius;
		g->team = group->team_index;
		g->overkill = (static_cast<int64>(OVERKILL_RATIO) - group->power_ratio) >> 4;
	}
	for (int16 &count : s->hostile_count) count = NONE;
}

// The positions of the groups a unit of the team may attack, and their count.
static const int16 *hostile_groups(int16 team, int32 *count)
{
	scored_groups_data *s = &scored_groups;
	const bool listed = team >= -1 && team < MAXIMUM_TEAMS_PER_MAP;
	int16 *list = listed ? s->hostile[team + 1] : s->other_team_list;
	if (listed && s->hostile_count[team + 1] != NONE)
	{
		*count = s->hostile_count[team + 1];
		return list;
	}
	int16 n = 0;
	for (int32 i = 0; i < s->count; ++i)
	{
		const int16 group_team = s->group[i].team;
		if (group_team != team && !teams_are_allied(group_team, team)) list[n++] = static_cast<int16>(i);
	}
	if (listed) s->hostile_count[team + 1] = n;
	*count = n;
	return list;
}

// The enemy group with the best score for this unit (its position in the
// layout), or NONE.
static int32 choose_group(const monster_data *monster, const attack_ai_configuration *configuration)
{
	const scored_groups_data *s = &scored_groups;
	const world_point2d position = monster_point(monster);
	const bool focused = !(configuration->flags & _attack_ai_no_focus_flag);
	const world_point2d focus = configuration->focus;
	int32 count;
	const int16 *list = hostile_groups(monster->owner_team_index, &count);
	int32 best = NONE;
	int64 best_score = 0;
	for (int32 k = 0; k < count; ++k)
	{
		const int32 i = list[k];
		const scored_group *g = &s->group[i];
		if (focused && static_cast<int64>(distance2d(&focus, &g->center)) - g->radius > configuration->radius) continue;
		// The distance is at least the larger offset: a group that cannot win even so needs no root.
		if (best != NONE)
		{
			int64 dx = static_cast<int64>(position.x) - g->center.x, dy = static_cast<int64>(position.y) - g->center.y;
			if (dx < 0) dx = -dx;
			if (dy < 0) dy = -dy;
			int64 least = dx > dy ? dx : dy;
			if (least > 32767) least = 32767;
			const int64 closeness = SCORING_DISTANCE_CUTOFF - (least - g->radius);
			if (g->overkill + (closeness > 0 ? closeness : 0) <= best_score) continue;
		}
		const int64 closeness = SCORING_DISTANCE_CUTOFF - (static_cast<int64>(distance2d(&position, &g->center)) - g->radius);
		const int64 score = g->overkill + (closeness > 0 ? closeness : 0);
		if (best == NONE || score > best_score)
		{
			best = i;
			best_score = score;
		}
	}
	return best;
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
			scored_groups.group[chosen].overkill = (static_cast<int64>(OVERKILL_RATIO) - group->power_ratio) >> 4;
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

	for (int16 a = 0; a < attacker_count; ++a)
	{
		const monster_data *attacker = get_monster_data(attackers[a]);
		picks[a] = NONE;
		if (!attacker) continue;
		const world_point2d position = monster_point(attacker);
		int64 best_score = 0;
		for (int16 t = 0; t < kept; ++t)
		{
			const monster_data *target = get_monster_data(spatial_group_monster_index(group, t));
			const world_point2d target_point = monster_point(target);
			const int64 closeness = SCORING_DISTANCE_CUTOFF - static_cast<int64>(distance2d(&position, &target_point));
			const int64 score = effectiveness_of(attacker->type, target->type) + (closeness > 0 ? closeness : 0);
			if (picks[a] == NONE || score > best_score)
			{
				picks[a] = t;
				best_score = score;
			}
		}
	}

	int16 chosen[MAXIMUM_ATTACK_GROUP_MONSTERS];
	command_target_data data;
	data.flags = _command_target_dont_override_local_ai_flag;
	for (int16 t = 0; t < kept; ++t)
	{
		int16 count = 0;
		for (int16 a = 0; a < attacker_count; ++a)
		{
			if (picks[a] == t) chosen[count++] = attackers[a];
		}
		if (count == 0) continue;
		const int16 target_index = spatial_group_monster_index(group, t);
		for_each_command_chunk(count, chosen, [&](const int16 *chunk, int16 chunk_count) {
			handle_target_command(ATTACK_AI_COMMAND_IDENTIFIER, &data, chunk_count, chunk, 1, &target_index);
		});
	}
}

void update_attack_ai(void)
{
	if (!attack_ai_globals) return;
	if (attack_ai_globals->need_to_initialize_cached_tables) build_effectiveness_table();
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
