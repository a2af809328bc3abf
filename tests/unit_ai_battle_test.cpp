// The First Level's unit AI: the shield wall, the bombers, the reserve and
// the ambush behind the computer team's gate, played through the game core.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "first_level_content.h"
#include "level_unit_ai_script.h"
#include "map_actions/map_action_accessors.h"
#include "map_actions/map_actions.h"
#include "markers.h"
#include "mesh.h"
#include "mesh_content.h"
#include "monster_commands.h"
#include "monsters.h"
#include "objects.h"
#include "projectile_definitions.h"
#include "projectiles.h"
#include "support/zerv_harness.h"
#include "tag_files/tag_files.h"
#include "zerv.h"

namespace {

class unit_ai_level_fixture : public zerv_harness_fixture
{
protected:
	void TearDown() override
	{
		zerv_harness_fixture::TearDown();
		tag_files_reset_for_tests();
	}
};

using unit_ai_content_level = unit_ai_level_fixture;
using level_endings = unit_ai_level_fixture;

int16 find_action(const char *name)
{
	for (int16 i = 0; i < MAXIMUM_MAP_ACTIONS_PER_MAP; ++i)
	{
		if (get_map_action(i) && strcmp(get_map_action_name(i), name) == 0) return i;
	}
	return NONE;
}

bool has_record(const char *name)
{
	return get_map_action_parameter(nullptr, find_action(name), _return_empty_arrays_flag, TAG("#glo"),
		_parameter_character);
}

bool scout_hidden(int16 identifier)
{
	const marker_data *marker = get_marker_by_identifier(_marker_monster, identifier);
	return marker && (marker->flags & _marker_is_invisible_flag);
}

int16 unit_index(int16 identifier)
{
	for (int16 i = 0; i < monster_array.count; ++i)
	{
		const monster_data *monster = get_monster_data(i);
		if (monster && monster->identifier == identifier) return i;
	}
	return NONE;
}

world_point2d unit_location(int16 identifier)
{
	const monster_data *monster = get_monster_data(unit_index(identifier));
	if (!monster) return {NONE, NONE};
	const world_point3d &p = get_object_data(monster->object_index)->location.position;
	return {p.x, p.y};
}

bool any_moved(const std::vector<world_point2d> &before, std::initializer_list<int16> identifiers)
{
	size_t i = 0;
	bool moved = false;
	for (int16 identifier : identifiers)
	{
		const world_point2d now = unit_location(identifier);
		moved |= now.x != before[i].x || now.y != before[i].y;
		++i;
	}
	return moved;
}

TEST_F(unit_ai_content_level, the_level_holds_the_actions_in_order_and_hides_the_two_scouts)
{
	const map_description level = first_level_map();
	new_game_data setup;
	harness_level_setup(&setup);
	ASSERT_TRUE(harness_start_map(&setup));
	const file_tag tags[LEVEL_UNIT_AI_ACTION_COUNT] = {TAG("legi"), static_cast<file_tag>(NONE),
		static_cast<file_tag>(NONE), TAG("girl"), TAG("mele"), TAG("assa")};
	// After the computer team's gate and its nine actions.
	const int16 gate = find_action("computer team");
	ASSERT_NE(gate, NONE);
	int16 previous = static_cast<int16>(gate + LEVEL_GROUP_AI_ACTION_COUNT - 1);
	for (int32 i = 0; i < LEVEL_UNIT_AI_ACTION_COUNT; ++i)
	{
		const int16 index = find_action(level_unit_ai_action_names[i]);
		ASSERT_NE(index, NONE) << level_unit_ai_action_names[i];
		EXPECT_EQ(index, previous + 1) << level_unit_ai_action_names[i];
		EXPECT_EQ(get_map_action_tag(index), tags[i]) << level_unit_ai_action_names[i];
		previous = index;
	}
	// The gate names the group AI's roots, then these, then the ending's two
	// watches and its long battle's clock.
	int16 roots[16];
	EXPECT_EQ(get_combined_map_action_parameter(gate, TAG("acos"),
		_parameter_action_identifier, roots, 16), 9);
	EXPECT_EQ(roots[6], get_map_action_identifier(find_action("light thin")));
	EXPECT_EQ(roots[7], get_map_action_identifier(find_action("dark thin")));
	EXPECT_EQ(roots[8], get_map_action_identifier(find_action("long battle")));
	EXPECT_EQ(roots[3], get_map_action_identifier(find_action("shield wall")));
	EXPECT_EQ(roots[5], get_map_action_identifier(find_action("ambush")));
	// The scouts come last, hidden, on dry cells.
	const int32 width = level.header.submesh_width * SUBMESH_WIDTH;
	for (int32 i = 0; i < LEVEL_UNIT_AI_SCOUT_COUNT; ++i)
	{
		const marker_data &scout = level.markers[level.markers.size() - LEVEL_UNIT_AI_SCOUT_COUNT + i];
		EXPECT_EQ(scout.identifier, LEVEL_UNIT_AI_FIRST_SCOUT + i);
		EXPECT_TRUE(scout.flags & _marker_is_invisible_flag);
		const mesh_cell &cell = level.cells[static_cast<size_t>((scout.location.position.y / WORLD_ONE) * width +
			scout.location.position.x / WORLD_ONE)];
		EXPECT_FALSE(cell.flags & (_mesh_cell_triangle_media_flags | _mesh_vertex_is_media_flag)) << i;
		EXPECT_TRUE(scout_hidden(static_cast<int16>(LEVEL_UNIT_AI_FIRST_SCOUT + i)));
	}
	harness_end_map();
}

TEST_F(unit_ai_content_level, with_a_human_on_team_1_no_unit_ai_runs)
{
	new_game_data setup;
	harness_level_setup(&setup);
	setup.players[1].type = _player_is_human;
	ASSERT_TRUE(harness_start_map(&setup));
	harness_run_ticks(160);
	for (const char *name : level_unit_ai_action_names) EXPECT_FALSE(has_record(name)) << name;
	EXPECT_TRUE(scout_hidden(LEVEL_UNIT_AI_FIRST_SCOUT));
	EXPECT_TRUE(scout_hidden(LEVEL_UNIT_AI_FIRST_SCOUT + 1));
	harness_end_map();
}

// The normal game (difficulty 2) from the first orders to its end: the run
// stops as soon as a winner is known (near tick 2650).
TEST_F(unit_ai_content_level, the_wall_and_bombers_give_orders_the_ambush_shows_its_scouts_and_a_winner_is_found)
{
	new_game_data setup;
	harness_level_setup(&setup);
	ASSERT_EQ(setup.parameters.difficulty_level, 2);
	ASSERT_TRUE(harness_start_map(&setup));
	std::vector<world_point2d> wall, bombers;
	for (int16 id : {31, 32, 33, 34, 35, 36}) wall.push_back(unit_location(id));
	for (int16 id : {41, 42}) bombers.push_back(unit_location(id));
	harness_run_ticks(64);
	EXPECT_TRUE(has_record("shield wall"));
	EXPECT_TRUE(has_record("bombers"));
	EXPECT_TRUE(any_moved(wall, {31, 32, 33, 34, 35, 36}));
	EXPECT_TRUE(any_moved(bombers, {41, 42}));
	int32 shown = NONE;
	while (game->game_time < 1000 && shown == NONE)
	{
		harness_run_ticks(16);
		if (!scout_hidden(LEVEL_UNIT_AI_FIRST_SCOUT) && !scout_hidden(LEVEL_UNIT_AI_FIRST_SCOUT + 1)) shown = game->game_time;
	}
	EXPECT_NE(shown, NONE) << "the ambush's scouts never appeared";
	while (game->game_time < 5400 && !harness_game_is_finished()) harness_run_ticks(32);
	EXPECT_TRUE(harness_game_is_finished()) << "still playing at tick " << game->game_time;
	EXPECT_NE(game->winning_team_index, NONE);
	harness_end_map();
}

// The hard game places the reserve pair, which the wall's attack sends in.
TEST_F(unit_ai_content_level, at_difficulty_3_the_reserve_joins_when_the_wall_attacks)
{
	new_game_data setup;
	harness_level_setup(&setup);
	setup.parameters.difficulty_level = 3;
	ASSERT_TRUE(harness_start_map(&setup));
	const world_point2d reserve[2] = {unit_location(45), unit_location(46)};
	ASSERT_NE(reserve[0].x, NONE);
	int32 joined = NONE;
	while (joined == NONE && game->game_time < 5400 && !harness_game_is_finished())
	{
		harness_run_ticks(32);
		if (has_record("reserve")) joined = game->game_time;
	}
	ASSERT_NE(joined, NONE) << "the wall never attacked";
	EXPECT_FALSE(get_map_action(find_action("reserve"))->flags & _map_action_initially_active_flag);
	harness_run_ticks(64);
	EXPECT_TRUE(any_moved({reserve[0], reserve[1]}, {45, 46})) << "joined at tick " << joined;
	harness_end_map();
}

// The computer's two throwers lob their own rounds in the normal game.
TEST_F(unit_ai_content_level, the_bombers_throw_before_tick_2000)
{
	new_game_data setup;
	harness_level_setup(&setup);
	ASSERT_TRUE(harness_start_map(&setup));
	const int16 bomb = projectile_definition_tag_to_index(TAG("bomb"));
	ASSERT_NE(bomb, NONE);
	const int16 throwers[2] = {unit_index(41), unit_index(42)};
	ASSERT_NE(throwers[0], NONE);
	ASSERT_NE(throwers[1], NONE);
	int32 first_throw = NONE;
	while (first_throw == NONE && game->game_time < 2000 && !harness_game_is_finished())
	{
		harness_run_ticks(1);
		for (int16 p = 0; p < projectile_array.count; ++p)
		{
			const projectile_data *projectile = get_projectile_data(p);
			if (projectile && projectile->type == bomb &&
				(projectile->owner_monster_index == throwers[0] || projectile->owner_monster_index == throwers[1]))
			{
				first_throw = game->game_time;
			}
		}
	}
	EXPECT_NE(first_throw, NONE) << "no bomb thrown by tick " << game->game_time;
	harness_end_map();
}

// Units ordered past each edge stop at the level's wall: none leaves the map,
// which would keep its side in the game.
TEST_F(unit_ai_content_level, no_walk_leaves_the_level)
{
	new_game_data setup;
	harness_level_setup(&setup, false);
	ASSERT_TRUE(harness_start_map(&setup));
	const world_distance east = mesh_globals->mesh_width * WORLD_ONE - 1;
	const world_distance north = mesh_globals->mesh_height * WORLD_ONE - 1;
	// Scouts of both sides, each away from the other army (the south holds the
	// player's army).
	struct walk
	{
		int16 identifier;
		world_point2d to;
		world_distance nearest; // to the edge it was sent at
		int32 left; // the tick it left the map
	};
	walk walks[3] = {{24, {0, 50 * WORLD_ONE}, 0, NONE}, {23, {east, 20 * WORLD_ONE}, 0, NONE},
		{43, {24 * WORLD_ONE, north}, 0, NONE}};
	for (walk &w : walks)
	{
		const int16 index = unit_index(w.identifier);
		ASSERT_NE(index, NONE) << w.identifier;
		const command_movement_data data = {0, NONE, 0, 0};
		handle_movement_command(-2, &data, 1, &index, 1, &w.to);
		w.nearest = north;
	}
	while (game->game_time < 2400)
	{
		harness_run_ticks(20);
		for (walk &w : walks)
		{
			const monster_data *monster = get_monster_data(unit_index(w.identifier));
			if (!monster) continue;
			if (w.left == NONE && (monster->flags & _monster_has_left_the_mesh_flag)) w.left = game->game_time;
			const world_point2d at = unit_location(w.identifier);
			const world_distance to_edge = w.to.x == 0 ? at.x : w.to.x == east ? east - at.x : w.to.y == 0 ? at.y : north - at.y;
			w.nearest = std::min(w.nearest, to_edge);
		}
	}
	// Each reached the wall two cells in, and no nearer.
	for (const walk &w : walks)
	{
		EXPECT_EQ(w.left, NONE) << w.identifier;
		EXPECT_GE(w.nearest, 2 * WORLD_ONE) << w.identifier;
		EXPECT_LT(w.nearest, 3 * WORLD_ONE) << w.identifier;
	}
	harness_end_map();
}

// Left to itself at every difficulty and seed, the level is won before the
// clock's first minutes run out: nobody walks off the map and stays counted.
TEST_F(level_endings, every_difficulty_ends_with_a_winner)
{
	for (int16 difficulty = 0; difficulty <= 4; ++difficulty)
	{
		for (uint32 seed : {0x5EED1234u, 0x0000BEEFu, 0x13572468u, 0xC0FFEE01u})
		{
			new_game_data setup;
			harness_level_setup(&setup);
			setup.parameters.difficulty_level = difficulty;
			setup.parameters.random_seed = seed;
			setup.parameters.initial_team_random_seed = static_cast<uint16>(seed);
			ASSERT_TRUE(harness_start_map(&setup));
			while (game->game_time < 7200 && !harness_game_is_finished()) harness_run_ticks(64);
			SCOPED_TRACE(testing::Message() << "difficulty " << difficulty << " seed " << std::hex << seed);
			EXPECT_TRUE(harness_game_is_finished()) << "still playing at tick " << std::dec << game->game_time;
			EXPECT_NE(game->winning_team_index, NONE);
			harness_end_map();
		}
	}
}

} // namespace
