// The map-scripting layer before the action store exists: the end-of-game
// action, the script debug switch, the unit memory pool and the answers the
// rest of the game relies on.
#include <gtest/gtest.h>

#include <string>

#include "map_actions/map_actions.h"
#include "monster_ambient_life.h"
#include "players.h"
#include "sniffing.h"
#include "support/test_directory.h"
#include "support/zerv_harness.h"
#include "world.h"
#include "zerv.h"

namespace {

const int16 action = 3;

class map_actions_least : public zerv_harness_fixture
{
protected:
	void SetUp() override
	{
		zerv_harness_fixture::SetUp();
		harness_default_setup(&setup);
		ASSERT_TRUE(harness_start_map(&setup));
	}

	void TearDown() override
	{
		harness_end_map();
		zerv_harness_fixture::TearDown();
	}

	static void flag(const char (&name)[5])
	{
		test_add_map_action_parameter(action, TAG(name), _parameter_flag);
	}

	new_game_data setup;
};

TEST_F(map_actions_least, endg_does_nothing_once_the_light_team_has_won)
{
	game->winning_team_index = _light_team_index;
	flag("ligh");
	const uint32 draws = zerv_random_draw_count();
	EXPECT_EQ(endgame_action_proc(action), 0u);
	EXPECT_EQ(game->endgame_state, _endgame_state_none);
	EXPECT_EQ(game->time_state, _game_time_countdown);
	EXPECT_EQ(zerv_random_draw_count(), draws);
}

TEST_F(map_actions_least, endg_gives_its_verdicts)
{
	flag("ligh");
	EXPECT_EQ(endgame_action_proc(action), 0u);
	EXPECT_EQ(game->winning_team_index, _light_team_index);
	EXPECT_EQ(game->endgame_state, _endgame_state_victory);
	EXPECT_EQ(game->time_state, _game_time_ending);
	harness_end_map();

	ASSERT_TRUE(harness_start_map(&setup));
	reset_map_actions_test_hooks();
	flag("ligh");
	flag("fail");
	endgame_action_proc(action);
	EXPECT_EQ(game->endgame_state, _endgame_state_alternate_victory);
	harness_end_map();

	ASSERT_TRUE(harness_start_map(&setup));
	reset_map_actions_test_hooks();
	flag("fail"); // without 'ligh' the defeat stands
	endgame_action_proc(action);
	EXPECT_EQ(game->winning_team_index, _dark_team_index);
	EXPECT_EQ(game->endgame_state, _endgame_state_defeat);
	EXPECT_EQ(get_map_actions_test_hooks()->celebration_count, 0);
}

TEST_F(map_actions_least, a_suspended_end_keeps_the_verdict_until_it_ends_for_real)
{
	suspend_end_game(TRUE);
	flag("ligh");
	endgame_action_proc(action);
	EXPECT_EQ(game->endgame_state, _endgame_state_victory);
	EXPECT_EQ(game->time_state, _game_time_suspended_ending);

	game->target_time = game->game_time + 100;
	harness_run_frames(10, 1);
	EXPECT_EQ(game->endgame_state, _endgame_state_victory);

	suspend_end_game(FALSE);
	harness_run_frames(1, 1);
	EXPECT_EQ(game->time_state, _game_time_ending);
	EXPECT_EQ(game->endgame_state, _endgame_state_defeat);
}

TEST_F(map_actions_least, noce_marks_the_winning_team)
{
	flag("noce");
	endgame_action_proc(action);
	EXPECT_EQ(get_map_actions_test_hooks()->celebration_count, 1);
	EXPECT_EQ(get_map_actions_test_hooks()->last_celebrating_team, _dark_team_index);
}

TEST_F(map_actions_least, the_victory_line_is_written_only_while_debugging)
{
	flag("ligh");
	endgame_action_proc(action);
	EXPECT_EQ(read_test_file("zerv_log.txt").find("victory (endgame_state==#"), std::string::npos);

	set_map_action_debug_status(_map_action_debug_toggle);
	EXPECT_TRUE(get_map_action_debug_status());
	game->winning_team_index = NONE;
	endgame_action_proc(action);
	std::string log = read_test_file("zerv_log.txt");
	EXPECT_NE(log.find("--- map action debugging on\n"), std::string::npos);
	EXPECT_NE(log.find("### MA ["), std::string::npos);
	EXPECT_NE(log.find(":  team 0 victory (endgame_state==#1\n"), std::string::npos);

	set_map_action_debug_status(_map_action_debug_toggle);
	EXPECT_FALSE(get_map_action_debug_status());
	log = read_test_file("zerv_log.txt");
	EXPECT_NE(log.find("--- map action debugging off\n"), std::string::npos);
}

TEST_F(map_actions_least, an_action_with_debg_writes_its_lines_alone)
{
	flag("debg");
	map_action_debug(action, "hello from %d", 3);
	map_action_debug(action + 1, "not from %d", 4);
	map_action_debug(NONE, "nor from the script");
	const std::string log = read_test_file("zerv_log.txt");
	EXPECT_NE(log.find(":  hello from 3\n"), std::string::npos);
	EXPECT_EQ(log.find("not from 4"), std::string::npos);
	EXPECT_EQ(log.find("nor from the script"), std::string::npos);
}

TEST_F(map_actions_least, debugging_ends_with_the_map_and_odd_modes_do_nothing)
{
	set_map_action_debug_status(_map_action_debug_on);
	set_map_action_debug_status(7);
	EXPECT_TRUE(get_map_action_debug_status());
	harness_end_map();
	ASSERT_TRUE(harness_start_map(&setup));
	EXPECT_FALSE(get_map_action_debug_status());
	set_map_action_debug_status(_map_action_debug_off);
	EXPECT_EQ(read_test_file("zerv_log.txt").find("map action debugging off"), std::string::npos)
		<< "turning off while off writes nothing";
}

TEST_F(map_actions_least, long_script_lines_are_cut_not_overflowed)
{
	const std::string long_text(5000, 'x');
	set_map_action_debug_status(_map_action_debug_on);
	map_action_debug(NONE, "%s", long_text.c_str());
	map_action_error(action, "%s", long_text.c_str());
	const std::string log = read_test_file("zerv_log.txt");
	const size_t at = log.find("XXX MA [");
	ASSERT_NE(at, std::string::npos);
	EXPECT_LT(log.find('\n', at) - at, 512u);
	EXPECT_NE(log.find("--- xxxx"), std::string::npos);
}

}
