// 'demo' with both captains giving orders through the command stream: moves
// that keep the group's shape, formations, rotations, scatters, retreats and
// back-and-forth patrols must play the same tick for tick however the game
// is run, and on the 64-bit and 32-bit builds alike.
#include <gtest/gtest.h>

#include <vector>

#include "support/zerv_harness.h"

#include "CoreLibrary/zerv/commands.h"
#include "formations.h"
#include "monster_commands.h"
#include "monsters.h"
#include "objects.h"
#include "world.h"
#include "zerv.h"

namespace {

constexpr int32 DEMO_ORDERS_TICKS = 1200;
constexpr uint32 FIRST_LOCAL_SEED = 0x1234;
constexpr uint32 OTHER_LOCAL_SEED = 0xCAFEF00D;

enum demo_order_kind
{
	_keep_shape_move,
	_formation_move,
	_rotation,
	_scatter,
	_retreat,
	_back_and_forth
};

struct demo_order
{
	int32 tick;
	int16 player; // the captain of a team orders the units it owns
	demo_order_kind kind;
	int16 formation_index;
};

// Player 0 leads team 0 (north), player 1 team 1 (south); the armies meet
// in the middle of the map by their own scans unless held back.
constexpr demo_order demo_orders[] = {
	{20, 0, _keep_shape_move, NONE},
	{30, 1, _formation_move, _formation_vanguard},
	{140, 0, _rotation, NONE},
	{150, 1, _keep_shape_move, NONE},
	{260, 0, _formation_move, _formation_box},
	{270, 1, _scatter, NONE},
	{380, 0, _back_and_forth, NONE},
	{390, 1, _rotation, NONE},
	{450, 1, _retreat, NONE},
	{520, 0, _scatter, NONE},
	{560, 1, _back_and_forth, NONE},
	{600, 0, _retreat, NONE},
	{700, 0, _formation_move, _formation_short_line},
	{800, 1, _keep_shape_move, NONE},
};

struct demo_army
{
	std::vector<int16> units;
	world_point2d centre;
};

demo_army army_of(int16 player)
{
	demo_army army;
	for (int16 i = 0; i < monster_array.count; ++i)
	{
		const monster_data *monster = get_monster_data(i);
		if (monster && monster->owner_player_index == player) army.units.push_back(i);
	}
	army.centre = {0, 0};
	get_centerpoint_of_monster_indexes(static_cast<int16>(army.units.size()), army.units.data(), &army.centre);
	return army;
}

world_point2d offset(const world_point2d &point, world_distance dx, world_distance dy)
{
	return {point.x + dx, point.y + dy};
}

// Builds every order with the game's builders from the armies as they stand
// at the start, so that the script is the same however the game is then run.
harness_command_script build_demo_orders(void)
{
	harness_command_script script;
	const demo_army armies[2] = {army_of(0), army_of(1)};
	for (const demo_order &order : demo_orders)
	{
		const demo_army &army = armies[order.player];
		const demo_army &enemy = armies[1 - order.player];
		// Towards the enemy is +y for team 0 and -y for team 1.
		const world_distance forward = enemy.centre.y > army.centre.y ? 1 : -1;
		const int16 count = static_cast<int16>(army.units.size());
		const int16 *units = army.units.data();
		switch (order.kind)
		{
			case _keep_shape_move:
			{
				const command_movement_data data = {0, NONE, 0, 0};
				const world_point2d to = offset(army.centre, -2500, forward * 1000);
				handle_movement_command(COMMAND_FROM_STREAM, &data, count, units, 1, &to);
				break;
			}
			case _formation_move:
			{
				const command_movement_data data = {_command_movement_formation_flag | _command_movement_final_facing_flag,
					order.formation_index, static_cast<uint16>(forward > 0 ? 16384 : 49152), 0};
				const world_point2d to[2] = {offset(army.centre, 1500, forward * 1000),
					offset(army.centre, 2500, forward * 2500)};
				handle_movement_command(COMMAND_FROM_STREAM, &data, count, units, 2, to);
				break;
			}
			case _rotation:
			{
				const command_rotation_data data = {0, 16384, army.centre};
				handle_rotation_command(COMMAND_FROM_STREAM, &data, count, units);
				break;
			}
			case _scatter:
			case _retreat:
			{
				const command_general_data data = {0,
					static_cast<int16>(order.kind == _scatter ? _command_general_scatter : _command_general_retreat)};
				handle_general_command(COMMAND_FROM_STREAM, &data, count, units);
				break;
			}
			case _back_and_forth:
			{
				const command_movement_data data = {
					_command_movement_loop_flag | _command_movement_loop_back_and_forth_flag | _command_movement_run_flag,
					NONE, 0, 0};
				const world_point2d to[3] = {offset(army.centre, 2000, 0), offset(army.centre, 2000, forward * 1500),
					offset(army.centre, -2000, forward * 1500)};
				handle_movement_command(COMMAND_FROM_STREAM, &data, count, units, 3, to);
				break;
			}
		}
		const size_t before = script.size();
		harness_capture_commands(order.tick, order.player, &script);
		EXPECT_EQ(script.size(), before + 1) << "the order for tick " << order.tick << " was not queued";
	}
	return script;
}

class monster_waypoints_demo_orders : public zerv_harness_fixture
{
protected:
	void TearDown() override
	{
		harness_set_command_script({});
		harness_end_map();
		zerv_harness_fixture::TearDown();
	}

	static void start(bool with_orders, uint32 local_seed)
	{
		new_game_data setup;
		harness_demo_setup(&setup);
		ASSERT_TRUE(harness_start_map(&setup));
		set_local_random_seed(local_seed);
		harness_set_command_script(with_orders ? build_demo_orders() : harness_command_script());
	}

	// The first DEMO_ORDERS_TICKS entries of the trail (a frame of several
	// ticks may run past the end).
	static std::vector<harness_digest_entry> finish(void)
	{
		std::vector<harness_digest_entry> trail = harness_digest_trail();
		EXPECT_GE(trail.size(), static_cast<size_t>(DEMO_ORDERS_TICKS));
		if (trail.size() > static_cast<size_t>(DEMO_ORDERS_TICKS)) trail.resize(DEMO_ORDERS_TICKS);
		EXPECT_EQ(get_zerv_test_hooks()->out_of_sync_reports, 0);
		EXPECT_EQ(get_commands_test_hooks()->dropped_count, 0) << get_commands_test_hooks()->last_dropped_line;
		harness_set_command_script({});
		harness_end_map();
		return trail;
	}

	static std::vector<harness_digest_entry> play(int16 elapsed, uint32 local_seed)
	{
		start(true, local_seed);
		if (elapsed > maximum_ticks_per_frame_table[_game_type_local]) set_maximum_ticks_per_frame(elapsed);
		// The frames really carry several ticks each (a few at the start run none).
		int32 frames = 0;
		while (game->game_time < DEMO_ORDERS_TICKS && frames < 2 * DEMO_ORDERS_TICKS)
		{
			harness_run_frames(1, elapsed);
			frames += 1;
		}
		EXPECT_LE(frames, DEMO_ORDERS_TICKS / elapsed + 16) << "frames of " << elapsed;
		// The machine's own stream is drawn in play: another seed is a real test.
		EXPECT_NE(get_local_random_seed(), local_seed);
		return finish();
	}

	static void expect_same_trail(const std::vector<harness_digest_entry> &a, const std::vector<harness_digest_entry> &b,
		const char *what)
	{
		ASSERT_EQ(a.size(), b.size()) << what;
		for (size_t i = 0; i < a.size(); ++i)
		{
			ASSERT_EQ(a[i].game_time, b[i].game_time) << what << ", entry " << i;
			ASSERT_EQ(a[i].digest, b[i].digest) << what << ", game time " << a[i].game_time;
		}
	}

	static world_point2d position_of(int16 unit)
	{
		const monster_data *monster = get_monster_data(unit);
		const object_data *object = monster ? get_object_data(monster->object_index) : nullptr;
		return object ? world_point2d{object->location.position.x, object->location.position.y} : world_point2d{-1, -1};
	}
};

// Each order reaches the units of the player who gave it at its tick, and the
// game then differs from the one left to the armies' own scans.
TEST_F(monster_waypoints_demo_orders, each_order_takes_hold_of_its_units_at_its_tick)
{
	// Between the second and the third order: the first move has had time to tell.
	constexpr int32 COMPARED_TICK = 120;
	static_assert(COMPARED_TICK > demo_orders[1].tick && COMPARED_TICK < demo_orders[2].tick, "between them");

	// The game without orders, for comparison.
	start(false, FIRST_LOCAL_SEED);
	const int16 first_unit = army_of(demo_orders[0].player).units.at(0);
	harness_run_ticks(COMPARED_TICK);
	const world_point2d idle_position = position_of(first_unit);
	const std::vector<harness_digest_entry> idle = harness_digest_trail();
	harness_end_map();

	start(true, FIRST_LOCAL_SEED);
	const demo_army armies[2] = {army_of(0), army_of(1)};
	for (const demo_order &order : demo_orders)
	{
		if (game->game_time <= COMPARED_TICK && order.tick > COMPARED_TICK)
		{
			harness_run_ticks(COMPARED_TICK - game->game_time);
			EXPECT_LT(position_of(first_unit).x, idle_position.x - 300) << "the first move goes west";
			EXPECT_NE(harness_digest_trail().back().digest, idle.back().digest);
		}
		harness_run_ticks(order.tick - game->game_time);
		ASSERT_EQ(game->game_time, order.tick);
		if (&order == &demo_orders[0])
		{
			// Nothing acts before its tick.
			const std::vector<harness_digest_entry> &trail = harness_digest_trail();
			ASSERT_EQ(trail.size(), static_cast<size_t>(order.tick));
			for (int32 i = 0; i < order.tick; ++i) ASSERT_EQ(trail[i].digest, idle[i].digest) << "tick " << i + 1;
		}
		harness_run_ticks(1);
		int32 living = 0, holding = 0;
		for (int16 unit : armies[order.player].units)
		{
			const monster_data *monster = get_monster_data(unit);
			if (!monster) continue;
			living += 1;
			bool held = monster->waypoint_count > 0;
			if (order.kind == _back_and_forth)
			{
				held = held && (monster->flags & _monster_has_back_and_forth_looped_waypoints_flag);
			}
			if (order.kind == _formation_move)
			{
				held = held && monster->last_formation_index == order.formation_index && monster->waypoint_count == 2;
			}
			holding += held;
		}
		EXPECT_GT(living, 0) << "player " << order.player << " has no units left at tick " << order.tick;
		// A retreat leaves a unit with no way back where it stands.
		if (order.kind == _retreat)
		{
			EXPECT_GT(holding, 0) << "the retreat for tick " << order.tick << " reached no unit";
		}
		else
		{
			EXPECT_EQ(holding, living) << "the order of player " << order.player << " for tick " << order.tick;
		}
	}
	EXPECT_EQ(get_zerv_test_hooks()->out_of_sync_reports, 0);
	EXPECT_EQ(get_commands_test_hooks()->dropped_count, 0) << get_commands_test_hooks()->last_dropped_line;
}

// One trail: twice in one process, in frames of one and of four ticks, and
// with another seed of the machine's own random stream. The 64-bit and 32-bit
// trees compare the file it writes.
TEST_F(monster_waypoints_demo_orders, play_one_trail_however_they_are_run)
{
	const std::vector<harness_digest_entry> first = play(1, FIRST_LOCAL_SEED);
	ASSERT_EQ(first.size(), static_cast<size_t>(DEMO_ORDERS_TICKS));
	expect_same_trail(first, play(1, FIRST_LOCAL_SEED), "a second run");
	expect_same_trail(first, play(4, FIRST_LOCAL_SEED), "frames of four ticks");
	expect_same_trail(first, play(1, OTHER_LOCAL_SEED), "another local seed");
	EXPECT_TRUE(harness_write_digest_trails(ZERV_BINARY_DIR "/demo_orders_trail.txt", {{"demo orders", first}}));
}

} // namespace
