// 'surr': a group spreads around the nearest enemy cluster, then charges
// after enough losses or enough runs.
#include <cstddef>

#include "map_actions/group_ai_action_procs.h"

#include "attack_ai.h"
#include "map_actions/map_action_accessors.h"
#include "map_actions/subject_lists.h"
#include "monsters.h"
#include "spatial_groups.h"
#include "world.h"

#define MAXIMUM_SURROUND_ANGULAR_DELTA 10922

enum
{
	_surround_state_surrounding,
	_surround_state_attacking
};

// Kept in the action's '#cst', host order.
struct surround_action_proc_globals
{
	int16 state;
	int16 original_monster_count;
	int32 losses_causing_a_charge;
	int32 time_causing_a_charge;
};
static_assert(sizeof(surround_action_proc_globals) == 12, "the surround record keeps its size on every build");
static_assert(offsetof(surround_action_proc_globals, losses_causing_a_charge) == 4 &&
	offsetof(surround_action_proc_globals, time_causing_a_charge) == 8, "the surround record's layout");

static void handle_surrounding_state(int16 action_index, const int16 *indexes, int16 count)
{
	const int16 team = group_ai::list_team(indexes, count);
	const int16 identifier = get_map_action_identifier(action_index);
	for (int16 i = 0; i < count; ++i)
	{
		const world_point2d p = group_ai::monster_location(indexes[i]);
		const spatial_group *nearest = nullptr;
		int32 nearest_distance = 0;
		for (const spatial_group *group = first_spatial_group(); group; group = next_spatial_group(group))
		{
			if (!group_ai::is_enemy_group(group, team)) continue;
			const world_point2d center = group->center;
			if (nearest && group_ai::distance2d_lower_bound(p, center) - group->radius - group->range >= nearest_distance)
			{
				continue;
			}
			const int32 d = distance2d(&p, &center) - group->radius - group->range;
			if (!nearest || d < nearest_distance)
			{
				nearest = group;
				nearest_distance = d;
			}
		}
		if (!nearest) continue;
		int64 spread_x = 0, spread_y = 0;
		boolean spread = FALSE;
		for (int16 j = 0; j < count; ++j)
		{
			if (j == i) continue;
			const world_point2d q = group_ai::monster_location(indexes[j]);
			const int64 dx = static_cast<int64>(p.x) - q.x, dy = static_cast<int64>(p.y) - q.y;
			const int64 length = group_ai::vector_length(dx, dy);
			if (length == 0) continue;
			spread_x += dx * 16384 / length;
			spread_y += dy * 16384 / length;
			spread = TRUE;
		}
		if (!spread) continue;
		const angle s = arctangent(static_cast<world_distance>(spread_x), static_cast<world_distance>(spread_y));
		const world_point2d center = nearest->center;
		const angle a = arctangent(p.x - center.x, p.y - center.y);
		const int32 delta =
			PIN(signed_angular_difference(a, s), -MAXIMUM_SURROUND_ANGULAR_DELTA, MAXIMUM_SURROUND_ANGULAR_DELTA);
		const world_point2d destination = group_ai::offset_point(center,
			static_cast<int64>(nearest->radius) + nearest->range, static_cast<angle>(a + delta));
		group_ai::move_monsters(identifier, 0, 0, 0, &indexes[i], 1, destination);
	}
}

static void handle_attacking_state(int16 action_index, const int16 *indexes, int16 count, world_point2d center)
{
	attack_ai_configuration configuration;
	parse_attack_ai_configuration(&configuration, action_index);
	configuration.focus = center;
	attack_with_monster_indexes(indexes, count, &configuration);
}

uint32 surround_action_proc(int16 action_index)
{
	surround_action_proc_globals g;
	// A record carried by the map is trusted only with a state it can be in.
	if (!get_map_action_structure(action_index, TAG("#cst"), sizeof(g), &g) ||
		(g.state != _surround_state_surrounding && g.state != _surround_state_attacking))
	{
		g.state = _surround_state_surrounding;
		g.original_monster_count = -1;
		g.losses_causing_a_charge = -1;
		g.time_causing_a_charge = -1;
		get_map_action_integer(action_index, TAG("loss"), &g.losses_causing_a_charge);
		get_map_action_integer(action_index, TAG("time"), &g.time_causing_a_charge);
	}
	int16 indexes[MAXIMUM_MONSTERS_PER_COMMAND];
	const int16 m = get_subject_monster_indexes(action_index, TAG("subj"), monsters_per_command(), indexes);
	world_point2d center;
	get_centerpoint_of_monster_indexes(m, indexes, &center);
	if (g.original_monster_count == -1) g.original_monster_count = m;

	int32 wanted = -1;
	if (g.losses_causing_a_charge != -1 && g.losses_causing_a_charge <= g.original_monster_count - m) wanted = 1;
	if (g.time_causing_a_charge == 0) wanted = 1;
	// A stored countdown at the bottom of its range stays there rather than wrapping.
	if (g.time_causing_a_charge != INT32_MIN) g.time_causing_a_charge -= 1;
	if (wanted == 1 && wanted != g.state)
	{
		group_ai::activate_actions_in_list(action_index, TAG("acat"), MAXIMUM_LOCAL_ACTION_IDENTIFIERS);
		g.state = _surround_state_attacking;
	}
	if (m >= 1)
	{
		if (g.state == _surround_state_surrounding) handle_surrounding_state(action_index, indexes, m);
		else handle_attacking_state(action_index, indexes, m, center);
	}
	set_unique_map_action_parameter(action_index, TAG("#cst"), _parameter_character, sizeof(g), &g);
	return m < 1 ? _map_action_proc_deactivate_flag : 0;
}
