// The players module inside whole map starts: the core's hook fills the
// records from the setup, and games digest the same on every run.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "console/console.h"
#include "players.h"
#include "recording.h"
#include "zerv_hooks.h"
#include "support/zerv_harness.h"
#include "zerv.h"

namespace {

class players_harness : public zerv_harness_fixture
{
protected:
	static void four_player_setup(new_game_data *setup)
	{
		harness_default_setup(setup);
		setup->player_count = 4;
		for (int16 i = 1; i < 4; ++i)
		{
			new_player_data *player = &setup->players[i];
			*player = setup->players[0];
			player->unique_identifier = static_cast<uint32>(i + 1);
			player->team_index = NONE;
			player->type = i == 3 ? _player_is_computer : _player_is_human;
			snprintf(player->appearance.name, sizeof(player->appearance.name), "Player %d", i + 1);
		}
		// All four start white: the arbitration must part them.
	}

	std::vector<harness_digest_entry> play(int32 ticks)
	{
		new_game_data setup;
		four_player_setup(&setup);
		reset_players_test_hooks();
		get_players_test_hooks()->team_count = 2;
		EXPECT_TRUE(harness_start_map(&setup));
		harness_run_ticks(ticks);
		std::vector<harness_digest_entry> trail = harness_digest_trail();
		harness_end_map();
		return trail;
	}
};

TEST_F(players_harness, a_four_player_map_start_fills_the_records)
{
	new_game_data setup;
	four_player_setup(&setup);
	get_players_test_hooks()->team_count = 2;
	ASSERT_TRUE(harness_start_map(&setup));

	EXPECT_EQ(get_player_count(), 4);
	EXPECT_EQ(get_team_count(), 2);
	EXPECT_EQ(player_globals.local_player_index, 0);
	EXPECT_EQ(player_globals.actual_number_of_teams, 2);
	EXPECT_EQ(get_player_data(0)->team_index, 0);
	EXPECT_EQ(player_globals.local_player_team_index, 0);
	EXPECT_EQ(get_player_data(3)->type, _player_is_computer);
	int32 white = 0;
	for (int16 i = 0; i < 4; ++i)
	{
		const rgb_color *color = &get_player_data(i)->appearance.primary_color;
		if (color->red == 65535 && color->green == 65535 && color->blue == 65535) white += 1;
	}
	EXPECT_LE(white, 2); // at most one leader and its follower keep white
	// Until films exist no game is a replay; the film would record a local game.
	EXPECT_FALSE(game_is_solo_replay());
	EXPECT_EQ(get_replay_game_type(), _game_type_local);
	harness_end_map();
	EXPECT_EQ(get_player_count(), 0);
}

TEST_F(players_harness, six_hundred_ticks_digest_the_same_twice)
{
	const std::vector<harness_digest_entry> first = play(600);
	const std::vector<harness_digest_entry> second = play(600);
	ASSERT_GE(first.size(), 600u);
	ASSERT_EQ(first.size(), second.size());
	for (size_t i = 0; i < first.size(); ++i)
	{
		ASSERT_EQ(first[i].game_time, second[i].game_time);
		ASSERT_EQ(first[i].digest, second[i].digest) << "game time " << first[i].game_time;
	}
}

TEST_F(players_harness, only_the_captain_of_a_shared_team_is_told_so)
{
	new_game_data setup;
	four_player_setup(&setup);
	get_players_test_hooks()->team_count = 2;
	ASSERT_TRUE(harness_start_map(&setup));
	team_data *team = get_team_data(player_globals.local_player_team_index);
	ASSERT_NE(team, nullptr);

	team->captain_player_index = 1;
	get_console_test_hooks()->popup_ticks = 0;
	zerv_service_team_captain_notification();
	EXPECT_EQ(get_console_test_hooks()->popup_ticks, 0);

	team->captain_player_index = player_globals.local_player_index;
	team->original_number_of_players = 1;
	zerv_service_team_captain_notification();
	EXPECT_EQ(get_console_test_hooks()->popup_ticks, 0);

	team->original_number_of_players = 2;
	zerv_service_team_captain_notification();
	EXPECT_EQ(get_console_test_hooks()->popup_ticks, 150);
	harness_end_map();
}

} // namespace
