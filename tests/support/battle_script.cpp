#include "support/battle_script.h"

#include "formations.h"
#include "monster_commands.h"
#include "monsters.h"
#include "objects.h"
#include "support/zerv_harness.h"
#include "unit_definitions.h"
#include "world.h"
#include "zerv.h"

namespace {

constexpr file_tag ANY_KIND = static_cast<file_tag>(NONE);
// The generated kinds.
constexpr file_tag SWORDSMAN = TAG("sold"), ARCHER = TAG("arch"), THROWER = TAG("thrw"), SCOUT = TAG("scou");

// Each army's player orders its own units: player 0 leads team 0, player 1 team 1.
const std::vector<battle_order> bnch_orders = {
	{30, 0, _battle_order_move, 0, {SWORDSMAN, SCOUT}, _battle_order_enemy_front_rank, _battle_formation_box, 0},
	{30, 0, _battle_order_target, 0, {ARCHER, THROWER}, _battle_order_enemy_nearest_block, _battle_formation_none, 0},
	{30, 1, _battle_order_move, 1, {SWORDSMAN, SCOUT}, _battle_order_enemy_front_rank, _battle_formation_box, 0},
	{30, 1, _battle_order_target, 1, {ARCHER, THROWER}, _battle_order_enemy_nearest_block, _battle_formation_none, 0},
	{1800, 0, _battle_order_move, 0, {ANY_KIND, ANY_KIND}, _battle_order_enemy_starting_area, _battle_formation_none, 0},
	{1800, 1, _battle_order_move, 1, {ANY_KIND, ANY_KIND}, _battle_order_enemy_starting_area, _battle_formation_none, 0},
};
const std::vector<battle_order> no_orders;

// Starting areas, taken when the map starts: the mean position of each team.
world_point2d starting_area[2];
int32 starting_area_time = -1;

file_tag kind_of(const monster_data *monster)
{
	const unit_definition *unit = get_unit_definition(monster->unit_type);
	return unit ? unit->parent_unit_tag : ANY_KIND;
}

world_point2d team_centre(int16 team)
{
	int64 x = 0, y = 0, count = 0;
	for (int16 i = 0; i < monster_array.count; ++i)
	{
		const monster_data *monster = get_monster_data(i);
		const object_data *object = monster ? get_object_data(monster->object_index) : nullptr;
		if (!object || monster->owner_team_index != team) continue;
		x += object->location.position.x;
		y += object->location.position.y;
		count += 1;
	}
	return count ? world_point2d{static_cast<world_distance>(x / count), static_cast<world_distance>(y / count)}
				 : world_point2d{0, 0};
}

} // namespace

const std::vector<battle_order> &battle_script(file_tag map)
{
	return map == TAG("bnch") ? bnch_orders : no_orders;
}

battle_order_resolution resolve_battle_order(const battle_order &order)
{
	battle_order_resolution resolution = {{}, {0, 0}, NONE};
	for (int16 i = 0; i < monster_array.count && resolution.units.size() < MAXIMUM_UNITS_PER_BATTLE_ORDER; ++i)
	{
		const monster_data *monster = get_monster_data(i);
		if (!monster || monster->owner_team_index != order.team) continue;
		const file_tag kind = kind_of(monster);
		if (order.kinds[0] != ANY_KIND && kind != order.kinds[0] && kind != order.kinds[1]) continue;
		resolution.units.push_back(i);
	}
	const int16 enemy = static_cast<int16>(1 - order.team);
	if (order.destination == _battle_order_enemy_starting_area)
	{
		resolution.point = starting_area[enemy];
		return resolution;
	}
	// The enemy nearest to the ordered units' centre stands in the front rank.
	world_point2d centre = {0, 0};
	get_centerpoint_of_monster_indexes(static_cast<int16>(resolution.units.size()), resolution.units.data(), &centre);
	world_distance best_distance = 0;
	for (int16 i = 0; i < monster_array.count; ++i)
	{
		const monster_data *monster = get_monster_data(i);
		const object_data *object = monster ? get_object_data(monster->object_index) : nullptr;
		if (!object || monster->owner_team_index != enemy) continue;
		const world_point2d there = {object->location.position.x, object->location.position.y};
		const world_distance d = distance2d(&centre, &there);
		if (resolution.target_index == NONE || d < best_distance)
		{
			resolution.target_index = i;
			best_distance = d;
			resolution.point = there;
		}
	}
	if (order.verb == _battle_order_move) resolution.target_index = NONE;
	return resolution;
}

namespace {

// Builds the order's command through the game's own builders and takes it out
// of the outgoing queue as the ordering player's, for the next tick the intake
// has not covered, or lead ticks on when that is later.
void issue_battle_order(const battle_order &order, const battle_order_resolution &resolution,
	harness_command_script *script, int32 lead)
{
	if (resolution.units.empty()) return;
	const int16 count = static_cast<int16>(MIN(resolution.units.size(), size_t(MAXIMUM_UNITS_PER_BATTLE_ORDER)));
	if (order.verb == _battle_order_move)
	{
		command_movement_data data = {};
		const boolean in_formation = order.formation == _battle_formation_box;
		data.flags = static_cast<uint16>(order.flags | (in_formation ? _command_movement_formation_flag : 0));
		data.formation_index = in_formation ? static_cast<int16>(_formation_box) : NONE;
		handle_movement_command(NONE, &data, count, resolution.units.data(), 1, &resolution.point);
	}
	else
	{
		if (resolution.target_index == NONE) return;
		command_target_data data = {};
		data.flags = order.flags;
		handle_target_command(NONE, &data, count, resolution.units.data(), 1, &resolution.target_index);
	}
	harness_capture_commands(MAX(game->target_time, game->game_time + lead), order.player_index, script);
}

int32 run_orders(const std::vector<battle_order> &orders, int32 ticks, int16 elapsed, int32 lead)
{
	starting_area[0] = team_centre(0);
	starting_area[1] = team_centre(1);
	starting_area_time = game ? game->game_time : 0;
	int32 ran = 0;
	// Orders of one tick go into the intake together.
	harness_command_script pending;
	for (const battle_order &order : orders)
	{
		const int32 until = MIN(order.game_time, ticks) - (game->game_time - starting_area_time);
		if (until > 0)
		{
			if (!pending.empty()) harness_set_command_script(pending);
			pending.clear();
			ran += harness_run_ticks(until, elapsed);
		}
		if (harness_game_is_finished() || ran >= ticks) return ran;
		issue_battle_order(order, resolve_battle_order(order), &pending, lead);
	}
	if (!pending.empty()) harness_set_command_script(pending);
	if (ran < ticks && !harness_game_is_finished()) ran += harness_run_ticks(ticks - ran, elapsed);
	return ran;
}

} // namespace

int32 run_battle_script(file_tag map, int32 ticks, int16 elapsed)
{
	return run_orders(battle_script(map), ticks, elapsed, 0);
}

int32 run_battle_orders(const std::vector<battle_order> &orders, int32 ticks, int16 elapsed)
{
	// Past the intake of a four-tick frame, so the orders land alike at every split.
	return run_orders(orders, ticks, elapsed, 8);
}
