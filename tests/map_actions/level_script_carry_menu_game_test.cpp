// Units that the First Level's script sets down elsewhere, in games New Game
// starts: the west stone carries one of the player's soldiers to the far
// stone, 'regroup' moves the archers. A carried unit keeps no path or
// waypoints from where it was, so it stands where it was put, and no unit
// covers more than three cells in a tick unless a script carried it.
#include "main_test_fixture.h"

#include <algorithm>
#include <string>
#include <vector>

#include "monster_commands.h"
#include "monsters.h"
#include "objects.h"
#include "world.h"

namespace {

const int32 carry_tick_bound = 9000;
// Farther than a walk or a charge takes any unit in a tick.
const int32 longest_step = 3 * WORLD_ONE;
// The far stone lies some 30 cells from the west stone; 'regroup' moves its
// archers a cell or two.
const int32 far_stone_carry = 8 * WORLD_ONE;
// The west stone's spot, awake from this tick.
const world_point2d west_stone = {32 * WORLD_ONE, 63 * WORLD_ONE};
const int32 west_stone_wakes = 448;
const int16 first_swordsman = 11, last_swordsman = 16;
const int32 maximum_crossings = 12;
// A carried soldier is watched this long, or till it is given an order: the
// far stone has brought it in and its scene has run well within it.
const int32 carried_watch_ticks = 300;

struct menu_game
{
	int16 difficulty;
	uint32 seed;
};

struct carried_soldier
{
	int16 identifier;
	int32 tick;
	bool was_walking;
	int32 farthest;       // from where the stone put it, till it was ordered on
	bool ordered;         // an order came while it was watched
};

struct carry_game
{
	int32 script_carries = 0;
	int32 long_steps = 0; // steps longer than longest_step no script made
	std::string first_long_step;
	std::vector<carried_soldier> soldiers; // carried by the west stone
};

class level_script_carry_menu_game : public main_program_test
{
protected:
	void TearDown() override
	{
		reset_monsters_test_hooks();
		main_program_test::TearDown();
	}

	static int32 distance(world_point2d a, world_point2d b) { return distance2d(&a, &b); }

	// The game as New Game starts it at this difficulty, with the test's
	// seed, run tick by tick to its end. With walker, the player walks one of
	// its swordsmen over the west stone's spot once the stones wake, back and
	// forth until the stone carries it.
	carry_game play(const menu_game &setup, bool walker = false)
	{
		carry_game result;
		reset_monsters_test_hooks();
		accept_new_game(setup.difficulty);
		if (HasFatalFailure()) return result;
		EXPECT_EQ(main_globals.new_game_data.parameters.scenario_tag, TAG("l1  "));
		seed_new_game(setup.seed);
		EXPECT_TRUE(harness_start_map(&main_globals.new_game_data));
		const monsters_test_hooks_data *hooks = get_monsters_test_hooks();

		struct unit_state
		{
			int16 identifier;
			int16 action;
			world_point2d position;
		};
		std::vector<unit_state> before(MAXIMUM_MONSTERS_PER_MAP);
		int16 followed = NONE; // the soldier the stone carried, by index
		int16 order_at_carry = NONE;
		world_point2d put = {0, 0};
		walk_state walk;
		while (!harness_game_is_finished() && game->game_time < carry_tick_bound)
		{
			if (walker && result.soldiers.empty() && game->game_time >= west_stone_wakes)
			{
				walk_over_the_stone(&walk);
			}
			for (int16 i = 0; i < monster_array.count; ++i)
			{
				const monster_data *monster = get_monster_data(i);
				const object_data *object = monster ? get_object_data(monster->object_index) : nullptr;
				before[i].identifier = object ? monster->identifier : static_cast<int16>(NONE);
				if (!object) continue;
				before[i].action = monster->action;
				before[i].position = {object->location.position.x, object->location.position.y};
			}
			const int32 tick = game->game_time;
			harness_run_ticks(1);
			for (int16 i = 0; i < monster_array.count; ++i)
			{
				const monster_data *monster = get_monster_data(i);
				const object_data *object = monster ? get_object_data(monster->object_index) : nullptr;
				// A freed record may hold a new unit by now.
				if (!object || before[i].identifier != monster->identifier) continue;
				const world_point2d here = {object->location.position.x, object->location.position.y};
				const int32 step = distance(before[i].position, here);
				const bool carried = hooks->last_script_carry_time[i] == tick;
				result.script_carries += carried;
				if (!carried && step > longest_step && result.long_steps++ == 0)
				{
					result.first_long_step = testing::PrintToString(step) + " units by unit " +
						testing::PrintToString(monster->identifier) + " at tick " + testing::PrintToString(tick);
				}
				if (carried && step > far_stone_carry)
				{
					result.soldiers.push_back({monster->identifier, tick,
						before[i].action == _monster_action_moving, 0, false});
					followed = i;
					order_at_carry = monster->internal_command_identifier;
					put = here;
				}
			}
			if (followed != NONE)
			{
				carried_soldier &soldier = result.soldiers.back();
				const monster_data *monster = get_monster_data(followed);
				const object_data *object = monster ? get_object_data(monster->object_index) : nullptr;
				if (!object || monster->identifier != soldier.identifier ||
					game->game_time > soldier.tick + carried_watch_ticks)
				{
					followed = NONE;
				}
				else if (monster->internal_command_identifier != order_at_carry)
				{
					soldier.ordered = true;
					followed = NONE;
				}
				else
				{
					const world_point2d here = {object->location.position.x, object->location.position.y};
					soldier.farthest = std::max(soldier.farthest, distance(put, here));
				}
			}
		}
		harness_end_map();
		return result;
	}

	// Orders a swordsman of the player's through the west stone's spot, to a
	// point past it on the other side from where it stands: first the one
	// nearest the spot, again whenever it has stopped.
	struct walk_state
	{
		int16 walking = NONE;
		int32 crossings = 0;
		int32 next_order = 0; // a stream order takes a few ticks to arrive
	};

	static void walk_over_the_stone(walk_state *walk)
	{
		if (game->game_time < walk->next_order) return;
		const monster_data *monster = get_monster_data(walk->walking);
		if (monster && (monster->action == _monster_action_moving || monster->action == _monster_action_turning))
		{
			return;
		}
		if (!monster || monster->owner_team_index != 0)
		{
			int16 *walking = &walk->walking;
			*walking = NONE;
			int32 nearest = INT32_MAX;
			for (int16 i = 0; i < monster_array.count; ++i)
			{
				const monster_data *candidate = get_monster_data(i);
				const object_data *object = candidate ? get_object_data(candidate->object_index) : nullptr;
				if (!object || candidate->owner_player_index != 0 || candidate->identifier < first_swordsman ||
					candidate->identifier > last_swordsman || (object->flags & _object_is_invisible_flag))
				{
					continue;
				}
				const world_point2d here = {object->location.position.x, object->location.position.y};
				if (distance(here, west_stone) < nearest)
				{
					nearest = distance(here, west_stone);
					*walking = i;
				}
			}
			monster = get_monster_data(*walking);
			if (!monster) return;
		}
		if (walk->crossings >= maximum_crossings) return;
		walk->crossings += 1;
		walk->next_order = game->game_time + 30;
		const object_data *object = get_object_data(monster->object_index);
		// Past the spot by as far again as the soldier stands from it, at most
		// four cells.
		const world_point2d here = {object->location.position.x, object->location.position.y};
		const int32 d = std::max(distance(here, west_stone), 1);
		const int32 past = std::min(d, 4 * WORLD_ONE);
		const world_point2d to[2] = {west_stone,
			{west_stone.x + static_cast<int32>(static_cast<int64>(west_stone.x - here.x) * past / d),
				west_stone.y + static_cast<int32>(static_cast<int64>(west_stone.y - here.y) * past / d)}};
		const command_movement_data data = {0, NONE, 0, 0};
		handle_movement_command(COMMAND_FROM_STREAM, &data, 1, &walk->walking, 2, to);
	}
};

const menu_game games[] = {{0, 0x2545F4DEu}, {1, 0xBF477719u}, {2, 0x5948F954u}, {3, 0x9517D291u},
	{4, 0xA3D4E276u}, {1, 0x631C5942u}};

// A swordsman the player walks over the west stone's spot is carried to the
// far stone while it walks, and stands within two cells of where the stone
// put it: the scene's order on gives way to the player's own, as every
// script's order does, and the player gives it none. (With its old path, it
// went back to the west stone in one step once its fade-in ended; with its
// old waypoints, it would walk the 30 cells back.)
TEST_F(level_script_carry_menu_game, a_soldier_the_west_stone_carries_stays_where_it_was_put)
{
	for (int32 g = 0; g < 3; ++g)
	{
		const menu_game &setup = games[g];
		SCOPED_TRACE(testing::Message() << "difficulty " << setup.difficulty << " seed " << std::hex << setup.seed);
		const carry_game result = play(setup, true);
		if (HasFatalFailure()) return;
		ASSERT_EQ(result.soldiers.size(), 1u) << "the stone carries one soldier once";
		const carried_soldier &soldier = result.soldiers[0];
		SCOPED_TRACE(testing::Message() << "soldier " << soldier.identifier << " carried at tick " << soldier.tick);
		EXPECT_TRUE(soldier.was_walking);
		EXPECT_FALSE(soldier.ordered);
		EXPECT_LE(soldier.farthest, 2 * WORLD_ONE);
	}
}

// Left to themselves and with a swordsman walked over the west stone: only
// a script's carry moves a unit more than three cells in a tick ('regroup'
// at 384 moves walking archers too).
TEST_F(level_script_carry_menu_game, no_unit_moves_more_than_three_cells_in_a_tick_unless_a_script_carries_it)
{
	int32 carries = 0;
	for (bool walker : {false, true})
	{
		for (const menu_game &setup : games)
		{
			SCOPED_TRACE(testing::Message() << "difficulty " << setup.difficulty << " seed " << std::hex << setup.seed
											<< (walker ? ", a swordsman walked over the stone" : ""));
			const carry_game result = play(setup, walker);
			if (HasFatalFailure()) return;
			EXPECT_EQ(result.long_steps, 0) << "first: " << result.first_long_step;
			carries += result.script_carries;
		}
	}
	// The exception is not idle: scripts did carry units in these games.
	EXPECT_GT(carries, 0);
}

} // namespace
