// The battles' orders, shared by the battle tests and the battle benchmark:
// one table of orders by tick. Each order names a player, a verb, the units
// (a team's units of up to two kinds, in index order, at most 126), where
// they go or what they attack, the formation and the command flags.
#ifndef BATTLE_SCRIPT_H
#define BATTLE_SCRIPT_H

#include <vector>

#include "cseries.h"
#include "world_units.h"

#define MAXIMUM_UNITS_PER_BATTLE_ORDER 126

enum // verbs
{
	_battle_order_move,
	_battle_order_target
};

enum // where an order points
{
	_battle_order_enemy_front_rank, // the enemy unit nearest to the ordered units' centre
	_battle_order_enemy_nearest_block, // the same, as a target unit
	_battle_order_enemy_starting_area // the centre of the enemy's starting positions
};

enum // formations
{
	_battle_formation_none,
	_battle_formation_box
};

struct battle_order
{
	int32 game_time;
	int16 player_index;
	int16 verb;
	int16 team; // whose units
	file_tag kinds[2]; // NONE: any kind
	int16 destination;
	int16 formation;
	uint16 flags;
};

// The map's orders in tick order ('demo' has none: it fights by the scan).
const std::vector<battle_order> &battle_script(file_tag map);

// What an order resolves to on the running map.
struct battle_order_resolution
{
	std::vector<int16> units;
	world_point2d point;
	int16 target_index; // NONE for a move
};
battle_order_resolution resolve_battle_order(const battle_order &order);

// Runs the map's battle for ticks (or to its end) in frames of elapsed ticks,
// each order built into its player's command at its tick. Returns the ticks that ran.
int32 run_battle_script(file_tag map, int32 ticks, int16 elapsed);
// The same with the caller's own orders, in tick order.
int32 run_battle_orders(const std::vector<battle_order> &orders, int32 ticks, int16 elapsed);

#endif
