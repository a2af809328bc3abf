// A query script on the benchmark battle: the enemy army filtered into the
// band between the front rows, counted by a unit test and tallied.
#include <gtest/gtest.h>

#include <vector>

#include "map_actions/map_action_accessors.h"
#include "map_actions/map_actions.h"
#include "monsters.h"
#include "objects.h"
#include "support/battle_script.h"
#include "support/zerv_harness.h"
#include "world.h"
#include "zerv.h"

namespace {

using level_query_script = zerv_harness_fixture;

int16 new_action(const char (&tag)[5], uint32 flags)
{
	const int16 index = new_map_action(NONE);
	set_map_action_tag(index, TAG(tag));
	get_map_action(index)->flags = flags;
	get_map_action(index)->deactivation_mode = _map_action_deactivates_never;
	return index;
}

void add(int16 action, const char (&field)[5], int16 type, int32 count, const void *data)
{
	map_action_parameter parameter;
	ASSERT_TRUE(new_map_action_parameter(&parameter, action, TAG(field), type));
	if (count > 0)
	{
		ASSERT_TRUE(set_map_action_parameter(&parameter, count, data));
	}
}

void results(int16 from, int16 to)
{
	const int16 identifier = get_map_action_identifier(to);
	add(from, "resu", _parameter_action_identifier, 1, &identifier);
}

TEST_F(level_query_script, the_midfield_tally_moves_once_the_armies_cross)
{
	new_game_data setup;
	harness_battle_setup(&setup, TAG("bnch"));
	ASSERT_TRUE(harness_start_map(&setup));
	const uint32 watching = _map_action_initially_active_flag | _map_action_no_initial_delay_flag;
	const int16 b0 = new_action("geom", watching), b1 = new_action("geom", watching), b2 = new_action("tuni", watching);
	const int16 b3 = new_action("math", 0);
	get_map_action(b3)->deactivation_mode = _map_action_deactivates_on_trigger;
	const field_tag subjects = TAG("subj"), result = TAG("resu");
	const int32 team = 1, more_than = 20, one = 1, zero = 0;
	add(b0, "team", _parameter_integer, 1, &team);
	results(b0, b1);
	add(b0, "insi", _parameter_field_name, 1, &subjects);
	add(b1, "subj", _parameter_monster_identifier, 0, nullptr);
	const world_point2d band[4] = {{99 * WORLD_ONE, 122 * WORLD_ONE}, {99 * WORLD_ONE, 134 * WORLD_ONE},
		{137 * WORLD_ONE, 134 * WORLD_ONE}, {137 * WORLD_ONE, 122 * WORLD_ONE}};
	add(b1, "poly", _parameter_world_point2d, 4, band);
	add(b1, "clpo", _parameter_flag, 0, nullptr);
	results(b1, b2);
	add(b1, "insi", _parameter_field_name, 1, &subjects);
	add(b2, "subj", _parameter_monster_identifier, 0, nullptr);
	add(b2, "___>", _parameter_integer, 1, &more_than);
	const int16 tally_identifier = get_map_action_identifier(b3);
	add(b2, "acos", _parameter_action_identifier, 1, &tally_identifier);
	add(b3, "lact", _parameter_action_identifier, 1, &tally_identifier);
	add(b3, "lfld", _parameter_field_name, 1, &result);
	add(b3, "rint", _parameter_integer, 1, &one);
	add(b3, "+___", _parameter_flag, 0, nullptr);
	add(b3, "resu", _parameter_integer, 1, &zero);
	for (int16 b : {b0, b1, b2}) activate_map_action(b);

	auto tally = [&]() {
		int32 value = -1;
		get_map_action_integer(b3, TAG("resu"), &value);
		return value;
	};
	int32 in_band = 0;
	for (int16 i = 0; i < monster_array.count; ++i)
	{
		const monster_data *monster = get_monster_data(i);
		const object_data *object = monster ? get_object_data(monster->object_index) : nullptr;
		if (!object || monster->owner_team_index != 1) continue;
		const world_point2d p = {object->location.position.x, object->location.position.y};
		in_band += point_in_polygon_test(&p, band, 4, TRUE) ? 1 : 0;
	}
	EXPECT_LE(in_band, more_than) << "the armies start apart";
	run_battle_script(TAG("bnch"), 600, 1);
	EXPECT_GT(tally(), 0) << "enemies stood in the band";
	EXPECT_TRUE(harness_write_test_digest_trail(harness_digest_trail()));
	harness_end_map();
}

} // namespace
