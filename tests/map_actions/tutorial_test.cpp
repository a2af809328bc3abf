// The training map played headless through its tutorial steps to victory.
#include <gtest/gtest.h>

#include <vector>

#include "commands.h"
#include "formations.h"
#include "interface.h"
#include "input/actions.h"
#include "map_actions/map_actions.h"
#include "mesh.h"
#include "data.h"
#include "monster_commands.h"
#include "monster_definitions.h"
#include "monsters.h"
#include "players.h"
#include "recording.h"
#include "sniffing.h"
#include "support/zerv_harness.h"
#include "zerv.h"
#include "training_script.h"

namespace {

class tutorial : public zerv_harness_fixture
{
protected:
	void TearDown() override
	{
		harness_end_map();
		// The game record outlives the map: leave its clock as a fresh process has it.
		game->game_time = 0;
		zerv_harness_fixture::TearDown();
	}

	// Runs until the test case is armed (false after limit ticks).
	static bool run_until_armed(int16 test_case, int32 limit = 200)
	{
		for (int32 t = 0; t < limit; ++t)
		{
			if (get_sniffing_state()->test_case == test_case) return true;
			harness_run_ticks(1);
		}
		return get_sniffing_state()->test_case == test_case;
	}

	static action_data sample_with(int16 bit, int16 key_code = NONE)
	{
		action_data sample;
		clear_action(&sample);
		if (bit != NONE) set_action_flag(&sample, bit, TRUE);
		sample.key_code = key_code;
		return sample;
	}

	static std::vector<int16> my_units(void)
	{
		std::vector<int16> units;
		for (int16 i = 0; i < monster_array.count; ++i)
		{
			const monster_data *monster = get_monster_data(i);
			if (monster && monster->owner_player_index == player_globals.local_player_index &&
				get_monster_class(i) != _monster_class_ambient_life)
			{
				units.push_back(i);
			}
		}
		return units;
	}
};

TEST_F(tutorial, the_training_map_is_played_to_victory_with_wrong_input_swallowed)
{
	new_game_data setup;
	harness_default_setup(&setup);
	setup.parameters.scenario_tag = TAG("mt00");
	setup.parameters.difficulty_level = 2;
	ASSERT_TRUE(harness_start_map(&setup));
	ASSERT_EQ(game->type, _game_type_local);
	// Its steps hang on local input outside the command stream: no film could replay them.
	EXPECT_NE(get_recording_state(), _state_recording);

	// The map: a training map of one team, its own script, eleven animals.
	EXPECT_TRUE(get_mesh_header()->flags & _mesh_is_training_map_flag);
	EXPECT_EQ(get_mesh_header()->team_count, 1);
	EXPECT_EQ(map_action_array.total_count - 11, 8) << "the chain and one action per animal";
	int16 animals = 0;
	for (int16 i = 0; i < monster_array.count; ++i) animals += get_monster_class(i) == _monster_class_ambient_life;
	EXPECT_EQ(animals, 11);

	// Each step passes on the press of its key alone, as the window reports it.
	const struct { int16 test_case, key; } steps[] = {
		{51, _key_comma}, {52, _key_up_arrow}, {55, _key_minus}};
	for (const auto &step : steps)
	{
		ASSERT_TRUE(run_until_armed(step.test_case));
		const int16 armed = step.test_case;
		action_data wrong = sample_with(NONE, _key_q);
		handle_action_sniffing(&wrong);
		EXPECT_EQ(wrong.key_code, NONE) << "swallowed during case " << armed;
		action_data press = sample_with(NONE, step.key);
		handle_action_sniffing(&press);
		EXPECT_EQ(press.key_code, step.key) << "case " << armed;
		EXPECT_EQ(get_sniffing_state()->test_case, _no_test) << "case " << armed;
		harness_run_ticks(40);
	}
	harness_run_ticks(80);
	EXPECT_TRUE(game_flags_test(_game_is_over_flag) || game_flags_test(_game_is_ending_flag));
	EXPECT_EQ(game->endgame_state, _endgame_state_victory);
	EXPECT_TRUE(harness_write_test_digest_trail(harness_digest_trail()));
}

TEST_F(tutorial, another_camera_key_after_the_grace_period_fades_wrong_once)
{
	new_game_data setup;
	harness_default_setup(&setup);
	setup.parameters.scenario_tag = TAG("mt00");
	ASSERT_TRUE(harness_start_map(&setup));
	ASSERT_TRUE(run_until_armed(51));
	const least_call_log *calls = &get_interface_test_hooks()->calls;
	const int32 fades = least_call_count(calls, "set_ingame_fade");

	// Within the grace period a wrong key is swallowed without a word.
	action_data early = sample_with(NONE, _key_up_arrow);
	handle_action_sniffing(&early);
	EXPECT_EQ(early.key_code, NONE);
	harness_run_ticks(200);
	EXPECT_EQ(least_call_count(calls, "set_ingame_fade"), fades);

	// After it, once per interval, however often the key comes.
	for (int32 i = 0; i < 3; ++i)
	{
		action_data late = sample_with(NONE, _key_up_arrow);
		handle_action_sniffing(&late);
		EXPECT_EQ(late.key_code, NONE);
		action_data held = sample_with(_move_forward_bit);
		handle_action_sniffing(&held);
		EXPECT_FALSE(test_action_flag(&held, _move_forward_bit));
	}
	harness_run_ticks(40);
	EXPECT_EQ(least_call_count(calls, "set_ingame_fade"), fades + 1);
	EXPECT_EQ(get_sniffing_state()->test_case, 51);
}

// The chain goes on past the camera wherever a map asks for orders: the
// generator's five-step chain in place of the map's own.
TEST_F(tutorial, a_chain_of_orders_takes_a_scatter_and_a_vanguard_march)
{
	const int16 cases[] = {51, 52, 55, 101, 161};
	const map_action_section section = training_script_section(cases, 5);
	ASSERT_EQ(section.count, 12);
	mesh_test_hooks_data *hooks = get_mesh_test_hooks();
	hooks->map_actions = section.bytes.data();
	hooks->map_action_count = section.count;
	hooks->map_action_buffer_size = static_cast<int32>(section.bytes.size());

	new_game_data setup;
	harness_default_setup(&setup);
	setup.parameters.scenario_tag = TAG("mt00");
	setup.parameters.difficulty_level = 2;
	ASSERT_TRUE(harness_start_map(&setup));
	EXPECT_EQ(map_action_array.total_count - 11, 12);
	const std::vector<int16> units = my_units();
	ASSERT_FALSE(units.empty());

	const struct { int16 test_case, bit; } steps[] = {
		{51, _orbit_left_bit}, {52, _move_forward_bit}, {55, _zoom_in_bit}};
	for (const auto &step : steps)
	{
		ASSERT_TRUE(run_until_armed(step.test_case));
		action_data right = sample_with(step.bit);
		handle_action_sniffing(&right);
		EXPECT_EQ(get_sniffing_state()->test_case, _no_test) << "case " << step.test_case;
		harness_run_ticks(40);
	}

	// Scatter: a wrong order is dropped, the right one passes.
	ASSERT_TRUE(run_until_armed(101));
	const command_general_data stop = {0, _command_general_stop};
	handle_general_command(COMMAND_FROM_STREAM, &stop, static_cast<int16>(units.size()), units.data());
	harness_run_ticks(1);
	EXPECT_EQ(get_sniffing_state()->test_case, 101);
	const command_general_data scatter = {0, _command_general_scatter};
	handle_general_command(COMMAND_FROM_STREAM, &scatter, static_cast<int16>(units.size()), units.data());
	harness_run_ticks(1);
	EXPECT_EQ(get_sniffing_state()->test_case, _no_test);

	ASSERT_TRUE(run_until_armed(161));
	EXPECT_FALSE(game_flags_test(_game_is_over_flag) || game_flags_test(_game_is_ending_flag));
	command_movement_data march = {};
	march.flags = _command_movement_formation_flag;
	march.formation_index = _formation_vanguard;
	const world_point2d ahead = {42 * WORLD_ONE, 50 * WORLD_ONE};
	handle_movement_command(COMMAND_FROM_STREAM, &march, static_cast<int16>(units.size()), units.data(), 1, &ahead);
	harness_run_ticks(80);
	EXPECT_TRUE(game_flags_test(_game_is_over_flag) || game_flags_test(_game_is_ending_flag));
	EXPECT_EQ(game->endgame_state, _endgame_state_victory);
	EXPECT_TRUE(harness_write_test_digest_trail(harness_digest_trail()));
}

} // namespace
