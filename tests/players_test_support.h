// Shared set-up of the players tests: a game record of their own, the error
// state, and the players module ready for a map.
#ifndef PLAYERS_TEST_SUPPORT_H
#define PLAYERS_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "CoreLibrary/zerv/error_manager.h"
#include "alliances.h"
#include "map_actions/map_actions.h"
#include "players.h"
#include "support/test_directory.h"
#include "world.h"
#include "zerv.h"

class players_fixture : public zerv_test_directory
{
protected:
	void SetUp() override
	{
		zerv_test_directory::SetUp();
		initialize_error_state("players test");
		saved_game = game;
		saved_game_play_version = game_play_version;
		memset(&record, 0, sizeof(record));
		record.state = NONE;
		record.scoring = 0;
		record.option_flags = 0; // patch level 2
		record.initial_team_random_seed = 0xDEAD;
		record.maximum_teams = NONE;
		record.winning_team_index = NONE;
		game = &record;
		game_play_version = 1720;
		reset_players_test_hooks();
		reset_game_sounds_test_hooks();
		initialize_players();
		initialize_map_actions();
		initialize_map_actions_for_new_map();
		initialize_game_sounds();
		initialize_game_sounds_for_new_map();
		set_random_seed(1);
	}

	void TearDown() override
	{
		dispose_players_from_old_map();
		dispose_map_actions_from_old_map();
		dispose_game_sounds_from_old_map();
		reset_players_test_hooks();
		reset_game_sounds_test_hooks();
		game = saved_game;
		game_play_version = saved_game_play_version;
		dispose_error_state();
		zerv_test_directory::TearDown();
	}

	static new_player_data make_player(uint32 unique_identifier, uint32 captain = static_cast<uint32>(NONE),
		int16 team_index = NONE, uint16 flags = 0)
	{
		new_player_data player;
		memset(&player, 0, sizeof(player));
		player.unique_identifier = unique_identifier;
		player.team_captain_identifier = captain;
		player.team_index = team_index;
		player.flags = flags;
		player.type = _player_is_human;
		// Colours far apart, so that arbitration leaves them alone.
		player.appearance.primary_color = replacement_colors[unique_identifier % NUMBER_OF_REPLACEMENT_COLORS];
		player.appearance.secondary_color = player.appearance.primary_color;
		snprintf(player.appearance.name, sizeof(player.appearance.name), "player %u", unique_identifier);
		return player;
	}

	void set_patch_level(int16 level)
	{
		record.option_flags &= ~(_game_option_patch_version_bit0_flag | _game_option_patch_version_bit1_flag);
		record.option_flags |= static_cast<uint32>(level - GAME_OPTION_PATCH_LEVEL_BASE) << GAME_OPTION_PATCH_LEVEL_SHIFT;
	}

	// A 'prta' action with one integer list: the scoring, then team slots.
	static void prohibit(int32 scoring, std::initializer_list<int32> teams)
	{
		int32 values[32];
		int32 count = 0;
		values[count++] = scoring;
		for (int32 team : teams) values[count++] = team;
		const int16 action = new_map_action(NONE);
		ASSERT_NE(action, NONE);
		set_map_action_tag(action, TAG("prta"));
		ASSERT_TRUE(set_unique_map_action_parameter(action, TAG("team"), _parameter_integer, count, values));
	}

	static int16 team_of(int16 player_index)
	{
		const player_data *player = get_player_data(player_index);
		return player ? player->team_index : static_cast<int16>(-2);
	}

	game_data record;
	game_data *saved_game = nullptr;
	int16 saved_game_play_version = 0;
};

#endif
