// Alliances between teams and the announcer's playing of its queue.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CoreLibrary/tag_files/x_files.h"
#include "console/console.h"
#include "definitions.h"
#include "players_test_support.h"
#include "string_definitions.h"
#include "tag_files/tag_files.h"

namespace {

class alliances_fixture : public players_fixture
{
protected:
	void SetUp() override
	{
		players_fixture::SetUp();
		tag_files_reset_for_tests();
		tag_files_initialize();
		preinitialize_definitions();
		initialize_string_definitions();
		initialize_string_definitions_for_new_map();
		reset_console_test_hooks();
		get_game_sounds_test_hooks()->ignore_mute = TRUE;
		record.type = _game_type_networked;
	}

	void TearDown() override
	{
		dispose_string_definitions_from_old_map();
		reset_console_test_hooks();
		tag_files_reset_for_tests();
		reset_x_files_test_hooks();
		players_fixture::TearDown();
	}

	static void write_list(file_tag subgroup, const std::vector<std::string> &lines)
	{
		std::string text;
		for (size_t i = 0; i < lines.size(); ++i) text += (i ? "\r" : "") + lines[i];
		ASSERT_NE(tag_file_new_with_subgroup_tag(STRING_LIST_DEFINITION_GROUP_TAG, "list", subgroup, 1, text.data(),
			static_cast<int32>(text.size())), NONE);
	}

	// Three players, one team each; player 0 is the local one.
	void start(void)
	{
		std::vector<new_player_data> players = {make_player(1), make_player(2), make_player(3)};
		get_players_test_hooks()->team_count = 3;
		initialize_players_for_new_map(3, players.data(), 0);
	}

	static int16 team_of_player(int16 player)
	{
		return get_player_data(player)->team_index;
	}

	static std::vector<int16> queued(void)
	{
		int16 sounds[MAXIMUM_SOUND_QUEUE_SIZE];
		const int16 count = get_queued_game_sounds(sounds, MAXIMUM_SOUND_QUEUE_SIZE);
		return std::vector<int16>(sounds, sounds + count);
	}

	static uint64 alliances_digest(void)
	{
		zerv_digest digest;
		zerv_digest_begin(&digest);
		alliances_fold_digest(&digest);
		return digest.hash;
	}

	static int32 console_lines(void)
	{
		return least_call_count(&get_console_test_hooks()->calls, "cprintf");
	}

	static std::string last_console_line(void)
	{
		return least_call_text(&get_console_test_hooks()->calls, "cprintf");
	}
};

using alliances_matrix = alliances_fixture;
using alliances_texts = alliances_fixture;
using alliances_announcer = alliances_fixture;

TEST_F(alliances_matrix, alliances_go_one_way_only_when_the_game_allows_them)
{
	start();
	const int16 a = team_of_player(1), b = team_of_player(2);
	ally_with_team(a, b, TRUE);
	EXPECT_FALSE(teams_are_allied(a, b)) << "the game does not allow alliances";

	record.option_flags |= _game_option_allow_alliances_flag;
	ally_with_team(a, b, TRUE);
	EXPECT_TRUE(teams_are_allied(a, b));
	EXPECT_FALSE(teams_are_allied(b, a));
	EXPECT_TRUE(teams_are_allied(9, 9)) << "a team is its own ally, even outside the map";
	EXPECT_FALSE(teams_are_allied(a, 9));
	EXPECT_FALSE(teams_are_allied(NONE, a));
	ally_with_team(a, 9, TRUE);
	EXPECT_FALSE(teams_are_allied(a, 9));

	// The matrix is shared state: the digest sees it.
	const uint64 allied_digest = alliances_digest();
	break_all_alliances();
	EXPECT_NE(alliances_digest(), allied_digest);
	EXPECT_FALSE(teams_are_allied(a, b));
	EXPECT_EQ(queued(), (std::vector<int16>{_game_sound_alliance_broken}));
	initialize_game_sounds_for_new_map();
	break_all_alliances();
	EXPECT_TRUE(queued().empty()) << "nothing was set";
}

TEST_F(alliances_texts, the_lines_name_the_local_team_and_a_replay_names_every_team)
{
	write_list(ALLIANCE_STRING_LIST_TAG, {"%s joins %s.", "%s leaves %s.", "your team"});
	start();
	record.option_flags |= _game_option_allow_alliances_flag;
	const int16 local = team_of_player(0), other = team_of_player(1), third = team_of_player(2);

	ally_with_team(other, local, TRUE);
	EXPECT_EQ(last_console_line(), "player 2 joins your team.");
	EXPECT_TRUE(queued().empty()) << "only the local team's own choices are announced";

	ally_with_team(local, other, TRUE);
	EXPECT_EQ(console_lines(), 1);
	EXPECT_EQ(queued(), (std::vector<int16>{_game_sound_alliance_formed}));

	record.type = _game_type_replay;
	ally_with_team(third, local, TRUE);
	EXPECT_EQ(last_console_line(), "player 3 joins player 1.");
	ally_with_team(local, other, FALSE);
	EXPECT_EQ(last_console_line(), "player 1 leaves player 2.");
	EXPECT_EQ(queued(), (std::vector<int16>{_game_sound_alliance_formed, _game_sound_alliance_broken}));
}

TEST_F(alliances_texts, a_hostile_format_falls_back_to_the_built_in_one)
{
	write_list(ALLIANCE_STRING_LIST_TAG, {"%s%n%s%s", "%d leaves", "your team"});
	start();
	record.option_flags |= _game_option_allow_alliances_flag;
	ally_with_team(team_of_player(1), team_of_player(2), TRUE);
	EXPECT_EQ(last_console_line(), "player 2 / player 3");
	ally_with_team(team_of_player(1), team_of_player(2), FALSE);
	EXPECT_EQ(last_console_line(), "player 2 / player 3");
}

TEST_F(alliances_announcer, announcements_play_in_turn_with_their_lines_and_a_22_tick_gap)
{
	std::vector<std::string> lines(NUMBER_OF_GAME_SOUNDS, "line");
	lines[_game_sound_five_minutes_remaining] = "Five minutes.";
	lines[_game_sound_one_minute_remaining] = " ";
	write_list(GAME_SOUND_STRING_LIST_TAG, lines);
	initialize_game_sounds_for_new_map();
	queue_game_sound(_game_sound_five_minutes_remaining);
	queue_game_sound(_game_sound_one_minute_remaining);

	update_game_sounds(1);
	EXPECT_EQ(get_game_sounds_test_hooks()->last_played_sound, _game_sound_five_minutes_remaining);
	EXPECT_EQ(last_console_line(), "Five minutes.");
	EXPECT_EQ(queued(), (std::vector<int16>{_game_sound_one_minute_remaining}));

	// The call that finds the first ended counts too: 22 calls later the next starts.
	int32 calls = 0;
	while (get_game_sounds_test_hooks()->played_count < 2 && calls < 100)
	{
		update_game_sounds(1);
		calls += 1;
	}
	EXPECT_EQ(calls, 23);
	EXPECT_EQ(get_game_sounds_test_hooks()->last_played_sound, _game_sound_one_minute_remaining);
	EXPECT_EQ(console_lines(), 1) << "a single space prints nothing";
	update_game_sounds(100);
	EXPECT_EQ(get_game_sounds_test_hooks()->played_count, 2);
}

} // namespace
