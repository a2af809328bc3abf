// 'foll': followers keep beside given units, or beside the strongest friendly
// cluster, on the side away from threats.
#include <cstddef>
#include <cstring>

#include "map_actions/group_ai_action_procs.h"

#include "commands.h"
#include "map_actions/map_action_accessors.h"
#include "map_actions/subject_lists.h"
#include "monster_commands.h"
#include "monsters.h"
#include "spatial_groups.h"
#include "world.h"

#define MAXIMUM_FOLLOWING_MONSTERS 16
#define MAXIMUM_FOLLOWED_MONSTERS 12
#define DEFAULT_VISIBILITY_RADIUS 7680
#define DEFAULT_FOLLOW_RADIUS 256
#define POWER_OVER_DISTANCE_THRESHHOLD 1024
#define MINIMUM_DESIRED_DISTANCE 512
#define FALLING_BEHIND_DISTANCE 2560
#define FALLEN_BEHIND_DISTANCE 1536

enum
{
	_desired_point_sent_bit,
	_falling_behind_bit,
	_abandoned_bit,
	_followed_monsters_valid_bit,
	_stop_when_idle_bit,
	_blinkered_bit,

	_desired_point_sent_flag = FLAG(_desired_point_sent_bit),
	_falling_behind_flag = FLAG(_falling_behind_bit),
	_abandoned_flag = FLAG(_abandoned_bit),
	_followed_monsters_valid_flag = FLAG(_followed_monsters_valid_bit),
	_stop_when_idle_flag = FLAG(_stop_when_idle_bit),
	_blinkered_flag = FLAG(_blinkered_bit)
};

namespace {

// Kept in the action's '!glb', host order.
struct globals
{
	int16 state;
	int16 action_index;
	uint32 flags;
	world_distance visibility_radius;
	world_distance follow_radius;
	world_point2d actual_centerpoint;
	world_point2d desired_centerpoint;
};
static_assert(sizeof(globals) == 32, "the follow record keeps its size on every build");
static_assert(offsetof(globals, flags) == 4 && offsetof(globals, visibility_radius) == 8 &&
	offsetof(globals, follow_radius) == 12 && offsetof(globals, actual_centerpoint) == 16 &&
	offsetof(globals, desired_centerpoint) == 24, "the follow record's layout");

void start_globals(int16 action_index, globals *g)
{
	memset(g, 0, sizeof(*g));
	g->action_index = action_index;
	g->visibility_radius = DEFAULT_VISIBILITY_RADIUS;
	g->follow_radius = DEFAULT_FOLLOW_RADIUS;
	get_indexed_long_integer_parameter(action_index, TAG("radi"), _parameter_world_distance, &g->visibility_radius, 0);
	get_indexed_long_integer_parameter(action_index, TAG("fora"), _parameter_world_distance, &g->follow_radius, 0);
	if (map_action_has_flag(action_index, TAG("stop"))) g->flags |= _stop_when_idle_flag;
	if (map_action_has_flag(action_index, TAG("blnk"))) g->flags |= _blinkered_flag;
}

} // namespace

uint32 follow_action_proc(int16 action_index)
{
	globals g;
	// A record carried by the map is trusted only when it names a live action.
	if (!get_map_action_structure(action_index, TAG("!glb"), sizeof(g), &g) || g.state != 0 ||
		!get_map_action(g.action_index))
	{
		start_globals(action_index, &g);
	}
	const int16 source = g.action_index;

	int16 followers[MAXIMUM_FOLLOWING_MONSTERS];
	const int16 n = get_subject_monster_indexes(source, TAG("subj"), MAXIMUM_FOLLOWING_MONSTERS, followers);
	world_point2d center;
	get_centerpoint_of_monster_indexes(n, followers, &center);
	int16 followed_identifiers[MAXIMUM_FOLLOWED_MONSTERS];
	const int16 followed_identifier_count = static_cast<int16>(get_combined_map_action_parameter(source, TAG("obje"),
		_parameter_monster_identifier, followed_identifiers, MAXIMUM_FOLLOWED_MONSTERS));
	if (followed_identifier_count > 0) g.flags |= _followed_monsters_valid_flag;
	else g.flags &= ~static_cast<uint32>(_followed_monsters_valid_flag);
	int16 followed[MAXIMUM_FOLLOWED_MONSTERS];
	int16 m = monster_identifiers_to_monster_indexes(followed_identifiers, followed, followed_identifier_count);
	m = remove_incapacitated_monster_indexes(followed, m);

	if (n == 0)
	{
		group_ai::activate_actions_in_list(action_index, TAG("erel"), MAXIMUM_LOCAL_ACTION_IDENTIFIERS);
		return _map_action_proc_deactivate_flag;
	}
	if (m < 1 && (g.flags & _followed_monsters_valid_flag))
	{
		group_ai::activate_actions_in_list(action_index, TAG("edel"), MAXIMUM_LOCAL_ACTION_IDENTIFIERS);
		return _map_action_proc_deactivate_flag;
	}

	const int16 team = group_ai::list_team(followers, n);
	int64 threat_x = 0, threat_y = 0, total_power = 0;
	const spatial_supergroup *best = nullptr;
	int64 best_e = 0;
	for (const spatial_supergroup *s = first_spatial_supergroup(); s; s = next_spatial_supergroup(s))
	{
		const int64 dx = static_cast<int64>(center.x) - s->center.x;
		const int64 dy = static_cast<int64>(center.y) - s->center.y;
		const int64 d = group_ai::vector_length(dx, dy);
		const int64 e = d - s->radius;
		if (e >= g.visibility_radius) continue;
		if (s->team_index != team)
		{
			if ((g.flags & _blinkered_flag) || d == 0) continue;
			threat_x += s->power * dx / d;
			threat_y += s->power * dy / d;
			total_power += s->power;
		}
		else if (dx != 0 || dy != 0)
		{
			if (!best || e < best_e || (s->power > best->power && e - (POWER_OVER_DISTANCE_THRESHHOLD - 1) <= best_e))
			{
				best = s;
				best_e = e;
			}
		}
	}
	if (total_power != 0)
	{
		threat_x = (threat_x * 65536) / total_power;
		threat_y = (threat_y * 65536) / total_power;
	}

	world_point2d target = {0, 0};
	int64 reach = 0;
	boolean abandoned = FALSE;
	if (!(g.flags & _followed_monsters_valid_flag))
	{
		if (best)
		{
			target = best->center;
			reach = best->radius;
		}
		else
		{
			abandoned = TRUE;
		}
	}
	else
	{
		int32 nearest = 0;
		for (int16 k = 0; k < m; ++k)
		{
			const world_point2d p = group_ai::monster_location(followed[k]);
			const int64 dot = (static_cast<int64>(center.x) - p.x) * threat_x +
				(static_cast<int64>(center.y) - p.y) * threat_y;
			if (dot < 0)
			{
				map_action_debug(action_index, "too far forward %08x,%08x", static_cast<unsigned>(static_cast<uint32>(threat_x)),
					static_cast<unsigned>(static_cast<uint32>(threat_y)));
				target = p;
				break;
			}
			const int32 d = distance2d(&p, &center);
			if (k == 0 || d < nearest)
			{
				target = p;
				nearest = d;
			}
		}
	}

	if (!abandoned)
	{
		reach += g.follow_radius;
		const angle direction = threat_x != 0 || threat_y != 0
			? arctangent(static_cast<world_distance>(threat_x), static_cast<world_distance>(threat_y))
			: arctangent_toward(target, center);
		const world_point2d point = group_ai::offset_point(target, reach, direction);
		const world_point2d first = group_ai::monster_location(followers[0]);
		if (!(g.flags & _desired_point_sent_flag) || distance2d(&point, &g.desired_centerpoint) > MINIMUM_DESIRED_DISTANCE ||
			distance2d(&first, &point) > g.follow_radius)
		{
			group_ai::move_monsters(-2, _command_movement_final_facing_flag, 0, static_cast<angle>(direction + 32768),
				followers, n, point);
			g.desired_centerpoint = point;
		}
		else if (g.flags & _stop_when_idle_flag)
		{
			for (int16 k = 0; k < n; ++k) get_monster_data(followers[k])->flags |= _monster_was_stopped_flag;
		}
		const int32 behind = distance2d(&center, &g.desired_centerpoint);
		if (behind > FALLING_BEHIND_DISTANCE || (behind > FALLEN_BEHIND_DISTANCE && (g.flags & _falling_behind_flag)))
		{
			if (!(g.flags & _falling_behind_flag))
			{
				group_ai::activate_actions_in_list(action_index, TAG("acfa"), MAXIMUM_LOCAL_ACTION_IDENTIFIERS);
			}
			g.flags |= _falling_behind_flag;
		}
		else
		{
			g.flags &= ~static_cast<uint32>(_falling_behind_flag);
		}
		g.flags &= ~static_cast<uint32>(_abandoned_flag);
	}
	else
	{
		command_general_data data = {};
		data.type = _command_general_retreat;
		for_each_command_chunk(n, followers, [&](const int16 *chunk, int16 chunk_count) {
			handle_general_command(-2, &data, chunk_count, chunk);
		});
		if (!(g.flags & _abandoned_flag))
		{
			group_ai::activate_actions_in_list(action_index, TAG("acab"), MAXIMUM_LOCAL_ACTION_IDENTIFIERS);
		}
		g.flags |= _falling_behind_flag | _abandoned_flag;
	}
	g.actual_centerpoint = center;
	g.flags |= _desired_point_sent_flag;
	set_unique_map_action_parameter(action_index, TAG("!glb"), _parameter_character, sizeof(g), &g);
	return 0;
}
