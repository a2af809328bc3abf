// A started first level with its armies listed, for the order and world procs.
#ifndef PROCS_TEST_SUPPORT_H
#define PROCS_TEST_SUPPORT_H

#include <vector>

#include "map_actions/map_actions_test_support.h"
#include "objects.h"

class level_procs_fixture : public map_actions_fixture
{
protected:
	void SetUp() override
	{
		map_actions_fixture::SetUp();
		harness_end_map();
		// The level without its computer team: the tests give the orders.
		harness_level_setup(&setup, false);
		ASSERT_TRUE(harness_start_map(&setup));
		set_map_action_debug_status(_map_action_debug_on);
		for (int16 i = 0; i < monster_array.count; ++i)
		{
			const monster_data *monster = get_monster_data(i);
			if (!monster || (monster->extra_flags & _monster_is_invisible_extra_flag)) continue;
			if (monster->owner_team_index == 0) team0.push_back(i);
			if (monster->owner_team_index == 1) team1.push_back(i);
		}
		ASSERT_GE(team0.size(), 5u);
		ASSERT_GE(team1.size(), 5u);
	}
	void TearDown() override
	{
		set_map_action_debug_status(_map_action_debug_off);
		map_actions_fixture::TearDown();
	}

	static int16 identifier_of(int16 index) { return get_monster_data(index)->identifier; }
	static object_data *object_of(int16 index) { return get_object_data(get_monster_data(index)->object_index); }
	static void value(int16 action, const char (&name)[5], uint8 v) { add(action, name, _parameter_flag, 1, &v); }
	static std::vector<int16> first(const std::vector<int16> &list, size_t n)
	{
		return std::vector<int16>(list.begin(), list.begin() + static_cast<std::ptrdiff_t>(n));
	}

	std::vector<int16> team0, team1;
};

#endif
