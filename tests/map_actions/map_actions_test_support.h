// Building scripts in a running map's store, for the map-action tests.
#ifndef MAP_ACTIONS_TEST_SUPPORT_H
#define MAP_ACTIONS_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "attack_ai.h"
#include "data.h"
#include "map_actions/map_action_accessors.h"
#include "map_actions/map_actions.h"
#include "monster_definitions.h"
#include "monsters.h"
#include "objects.h"
#include "players.h"
#include "support/test_directory.h"
#include "support/zerv_harness.h"
#include "world.h"
#include "zerv.h"

// Units taken from the running map's armies by team and kind, the rest
// removed, and each placed by hand: for fixtures that set up small fights.
class hand_placed_units
{
protected:
	static bool is_kind(int16 index, file_tag kind)
	{
		const monster_data *monster = get_monster_data(index);
		return monster && get_unit_definition(monster->unit_type)->parent_unit_tag == kind;
	}

	bool is_taken(int16 index) const
	{
		for (int16 t : taken)
			if (t == index) return true;
		return false;
	}

	// n units of the team and kind, not yet taken.
	std::vector<int16> take(int16 team, file_tag kind, size_t n)
	{
		std::vector<int16> result;
		for (int16 i = 0; i < monster_array.count && result.size() < n; ++i)
		{
			const monster_data *monster = get_monster_data(i);
			if (!monster || monster->owner_team_index != team || !is_kind(i, kind) || is_taken(i)) continue;
			result.push_back(i);
			taken.push_back(i);
		}
		EXPECT_EQ(result.size(), n);
		return result;
	}

	// One unit of the team and kind for each cell, to stand at the cell's
	// centre once keep_only_taken has removed the rest.
	std::vector<int16> take_at(int16 team, file_tag kind, std::initializer_list<std::pair<int32, int32>> cells)
	{
		const std::vector<int16> result = take(team, kind, cells.size());
		size_t i = 0;
		for (const auto &cell : cells)
		{
			if (i < result.size()) pending.push_back({result[i++], cell});
		}
		return result;
	}

	// Removes every unit not taken, then places those taken at a cell, in the order taken.
	void keep_only_taken(void)
	{
		for (int16 i = 0; i < monster_array.count; ++i)
			if (!is_taken(i) && get_monster_data(i)) delete_monster(i, TRUE);
		for (const auto &p : pending)
		{
			place(p.first, p.second.first * WORLD_ONE + WORLD_ONE_HALF, p.second.second * WORLD_ONE + WORLD_ONE_HALF);
		}
		pending.clear();
	}

	static object_data *object_of(int16 index) { return get_object_data(get_monster_data(index)->object_index); }

	// At rest at the point, facing yaw.
	static void place(int16 index, world_distance x, world_distance y, angle yaw = 0)
	{
		const int16 object_index = get_monster_data(index)->object_index;
		disconnect_object_from_mesh(object_index);
		object_data *object = get_object_data(object_index);
		object->location.position.x = x;
		object->location.position.y = y;
		object->location.yaw = yaw;
		object->location.velocity.i = 0;
		object->location.velocity.j = 0;
		reconnect_object_to_mesh(object_index);
	}

	std::vector<int16> taken;
	std::vector<std::pair<int16, std::pair<int32, int32>>> pending;
};

class map_actions_fixture : public zerv_harness_fixture
{
protected:
	void SetUp() override
	{
		zerv_harness_fixture::SetUp();
		harness_default_setup(&setup);
		ASSERT_TRUE(harness_start_map(&setup));
		reset_map_actions_test_hooks();
		reset_monsters_test_hooks();
		saved_version = game_play_version;
	}

	void TearDown() override
	{
		game_play_version = saved_version;
		harness_end_map();
		reset_map_actions_test_hooks();
		reset_monsters_test_hooks();
		zerv_harness_fixture::TearDown();
	}

	static int16 action(const char (&tag)[5], uint32 flags = 0, int16 mode = _map_action_deactivates_never,
		const char *name = nullptr)
	{
		const int16 index = new_map_action(NONE);
		EXPECT_NE(index, NONE);
		set_map_action_tag(index, TAG(tag));
		get_map_action(index)->flags = flags;
		get_map_action(index)->deactivation_mode = mode;
		if (name) set_map_action_name(index, name);
		return index;
	}

	static int16 id(int16 index) { return get_map_action_identifier(index); }

	static void ids(int16 index, const char (&name)[5], std::initializer_list<int16> indexes)
	{
		std::vector<int16> list;
		for (int16 i : indexes) list.push_back(i == NONE ? static_cast<int16>(NONE) : id(i));
		add(index, name, _parameter_action_identifier, static_cast<int32>(list.size()), list.data());
	}

	static void flag(int16 index, const char (&name)[5]) { add(index, name, _parameter_flag, 0, nullptr); }

	static void integer(int16 index, const char (&name)[5], int32 value)
	{
		add(index, name, _parameter_integer, 1, &value);
	}

	static void distance(int16 index, const char (&name)[5], world_distance value)
	{
		add(index, name, _parameter_world_distance, 1, &value);
	}

	static void fixed_value(int16 index, const char (&name)[5], fixed value)
	{
		add(index, name, _parameter_fixed, 1, &value);
	}

	static void add(int16 index, const char (&name)[5], int16 type, int32 count, const void *data)
	{
		map_action_parameter parameter;
		ASSERT_TRUE(new_map_action_parameter(&parameter, index, TAG(name), type));
		if (count > 0)
		{
			ASSERT_TRUE(set_map_action_parameter(&parameter, count, data));
		}
	}

	// Units by index, stored as their identifiers.
	static void subjects(int16 index, const char (&name)[5], const std::vector<int16> &indexes)
	{
		std::vector<int16> identifiers;
		for (int16 i : indexes) identifiers.push_back(get_monster_data(i)->identifier);
		add(index, name, _parameter_monster_identifier, static_cast<int32>(identifiers.size()), identifiers.data());
	}
	static void points(int16 index, const char (&name)[5], const std::vector<world_point2d> &list)
	{
		add(index, name, _parameter_world_point2d, static_cast<int32>(list.size()), list.data());
	}

	static int32 integer_of(int16 index, const char (&name)[5])
	{
		int32 value = -12345;
		get_map_action_integer(index, TAG(name), &value);
		return value;
	}

	static bool active(int16 index) { return (get_map_action(index)->flags & _map_action_is_active_flag) != 0; }

	// One scheduler pass at the given tick.
	static void pass_at(int32 tick)
	{
		game->game_time = tick;
		update_map_actions();
	}

	static std::string log_text(void) { return read_test_file("zerv_log.txt"); }

	static size_t occurrences(const std::string &text, const std::string &what)
	{
		size_t count = 0;
		for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
		return count;
	}

	new_game_data setup;
	int16 saved_version = 0;
};

// The demo armies on their map, with each team's units listed and the store's
// debug checks on.
class demo_armies_actions_fixture : public map_actions_fixture
{
protected:
	void SetUp() override
	{
		map_actions_fixture::SetUp();
		harness_end_map();
		harness_battle_setup(&setup, TAG("demo"));
		ASSERT_TRUE(harness_start_map(&setup));
		set_map_action_debug_status(_map_action_debug_on);
		for (int16 i = 0; i < monster_array.count; ++i)
		{
			const monster_data *monster = get_monster_data(i);
			if (monster && monster->owner_team_index == 0) team0.push_back(i);
			if (monster && monster->owner_team_index == 1) team1.push_back(i);
		}
		ASSERT_GE(team0.size(), least_team0_units());
		ASSERT_GE(team1.size(), 3u);
	}
	void TearDown() override
	{
		set_map_action_debug_status(_map_action_debug_off);
		map_actions_fixture::TearDown();
	}

	// How many units of team 0 the cases need.
	virtual size_t least_team0_units(void) const { return 3; }

	std::vector<int16> team0, team1;
};

#endif
