// Turning a setup's player list into player and team records: observers,
// prohibited slots, team formation, slots and the local player.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "players_test_support.h"

namespace {

class players_setup : public players_fixture
{
protected:
	void start(std::vector<new_player_data> &players, int16 team_count, int16 local = NONE)
	{
		get_players_test_hooks()->team_count = team_count;
		initialize_players_for_new_map(static_cast<int16>(players.size()), players.data(), local);
	}

	static std::vector<new_player_data> free_players(int32 count)
	{
		std::vector<new_player_data> players;
		for (int32 i = 0; i < count; ++i) players.push_back(make_player(static_cast<uint32>(i + 1)));
		return players;
	}

	std::vector<int16> teams(int16 count)
	{
		std::vector<int16> result;
		for (int16 i = 0; i < count; ++i) result.push_back(team_of(i));
		return result;
	}
};

TEST_F(players_setup, a_map_without_unit_teams_gives_nobody_a_team)
{
	std::vector<new_player_data> players = {make_player(1, NONE, 0), make_player(2, 2, 1), make_player(3, 2)};
	const uint32 draws = zerv_random_draw_count();
	start(players, 0, 0);

	EXPECT_EQ(get_team_count(), 0);
	EXPECT_EQ(get_player_count(), 3);
	EXPECT_EQ(teams(3), (std::vector<int16>{NONE, NONE, NONE}));
	EXPECT_EQ(player_globals.actual_number_of_teams, 0);
	EXPECT_EQ(player_globals.local_player_index, 0);
	EXPECT_EQ(player_globals.local_player_team_index, NONE);
	EXPECT_EQ(zerv_random_draw_count(), draws);
}

// Five free players and two teams, seed 1: the draws promote players 1 and 0,
// then send 3 to 1, 2 to 0 and 4 to 0.
TEST_F(players_setup, five_free_players_form_two_teams_from_the_synchronised_stream)
{
	std::vector<new_player_data> players = free_players(5);
	const uint32 draws = zerv_random_draw_count();
	start(players, 2, 3);

	EXPECT_EQ(zerv_random_draw_count() - draws, 8u);
	EXPECT_EQ(get_random_seed(), 2388811721u);
	const uint32 expected_captains[] = {1, 2, 1, 2, 1};
	for (int i = 0; i < 5; ++i) EXPECT_EQ(players[i].team_captain_identifier, expected_captains[i]) << i;

	// Patch level 2: the captains' slots are (0xDEAD + position) mod 2.
	EXPECT_EQ(teams(5), (std::vector<int16>{1, 0, 1, 0, 1}));
	EXPECT_EQ(get_team_data(1)->number_of_players, 3);
	EXPECT_EQ(get_team_data(1)->original_number_of_players, 3);
	EXPECT_EQ(get_team_data(1)->captain_player_index, 0);
	EXPECT_EQ(get_team_data(0)->number_of_players, 2);
	EXPECT_EQ(get_team_data(0)->captain_player_index, 1);
	EXPECT_EQ(get_team_data(0)->game_time_at_elimination, NONE);
	EXPECT_EQ(get_team_data(0)->game_time_at_last_capture, NONE);
	EXPECT_EQ(player_globals.actual_number_of_teams, 2);
	EXPECT_EQ(player_globals.local_player_team_index, 0);
	EXPECT_FALSE(player_globals.local_player_is_team_captain);
	for (int16 i = 0; i < 5; ++i) EXPECT_EQ(get_player_data(i)->original_team_index, team_of(i));
}

TEST_F(players_setup, from_patch_level_3_slots_come_from_the_team_seed_and_the_stream_is_restored)
{
	set_patch_level(3);
	std::vector<new_player_data> players = free_players(5);
	const uint32 draws = zerv_random_draw_count();
	start(players, 2, 1);

	// The two slot draws from seed 0xDEAD give 0 and 1.
	EXPECT_EQ(zerv_random_draw_count() - draws, 10u);
	EXPECT_EQ(get_random_seed(), 2388811721u);
	EXPECT_EQ(teams(5), (std::vector<int16>{0, 1, 0, 1, 0}));
	EXPECT_TRUE(player_globals.local_player_is_team_captain);
	EXPECT_EQ(player_globals.local_player_team_index, 1);
}

TEST_F(players_setup, too_many_captains_dissolve_the_smallest_team_and_lone_captains_step_down)
{
	record.initial_team_random_seed = 0;
	std::vector<new_player_data> players = {make_player(1, 1), make_player(2, 2), make_player(3, 3), make_player(4, 3)};
	const uint32 draws = zerv_random_draw_count();
	start(players, 2);

	// Captain 1 (the first of the smallest) is dissolved; its player joins the
	// only smallest captain left, 2.
	EXPECT_EQ(zerv_random_draw_count() - draws, 2u);
	EXPECT_EQ(players[0].team_captain_identifier, 2u);
	EXPECT_EQ(players[1].team_captain_identifier, 2u);
	EXPECT_EQ(players[2].team_captain_identifier, 3u);
	EXPECT_EQ(teams(4), (std::vector<int16>{1, 1, 0, 0}));

	// Three free players and three teams: nobody is drawn, and nobody stays captain.
	std::vector<new_player_data> alone = free_players(3);
	alone[1].team_captain_identifier = alone[1].unique_identifier;
	start(alone, 3);
	EXPECT_EQ(alone[1].team_captain_identifier, static_cast<uint32>(NONE));
	EXPECT_EQ(player_globals.actual_number_of_teams, 3);
}

TEST_F(players_setup, the_setup_limits_the_teams_only_below_the_playable_count)
{
	std::vector<new_player_data> players = free_players(3);
	record.maximum_teams = 2;
	start(players, 4);
	EXPECT_EQ(player_globals.actual_number_of_teams, 2);

	players = free_players(3);
	record.maximum_teams = 5;
	const uint32 draws = zerv_random_draw_count();
	start(players, 4);
	EXPECT_EQ(zerv_random_draw_count(), draws);
	EXPECT_EQ(player_globals.actual_number_of_teams, 3);
}

TEST_F(players_setup, prohibited_slots_are_never_given)
{
	prohibit(0, {0, -1, 16, 0});
	prohibit(5, {1});  // another scoring
	prohibit(0, {});   // no slot named
	std::vector<new_player_data> players = {make_player(1, NONE, 0), make_player(2), make_player(3)};
	for (uint32 seed = 1; seed < 40; ++seed)
	{
		std::vector<new_player_data> copy = players;
		set_random_seed(seed);
		start(copy, 3);
		// One prohibited slot leaves two playable teams.
		EXPECT_EQ(player_globals.actual_number_of_teams, 2) << seed;
		EXPECT_EQ(get_team_data(0)->number_of_players, 0) << seed;
		for (int16 i = 0; i < 3; ++i) EXPECT_NE(team_of(i), 0) << seed;
	}

	// Every slot prohibited: no playable team, nobody drawn.
	prohibit(0, {1, 2});
	std::vector<new_player_data> copy = players;
	start(copy, 3);
	EXPECT_EQ(teams(3), (std::vector<int16>{NONE, NONE, NONE}));
}

TEST_F(players_setup, a_taken_slot_passes_to_the_next_free_one)
{
	std::vector<new_player_data> players = {make_player(1, NONE, 1), make_player(2, NONE, 1)};
	start(players, 3);
	EXPECT_EQ(teams(2), (std::vector<int16>{1, 2}));

	players = {make_player(1, NONE, 2), make_player(2, NONE, 2)};
	start(players, 3);
	EXPECT_EQ(teams(2), (std::vector<int16>{2, 0}));
}

TEST_F(players_setup, a_slot_outside_the_map_counts_as_none)
{
	record.initial_team_random_seed = 1;
	std::vector<new_player_data> players = {make_player(1, NONE, 7), make_player(2, NONE, -5)};
	start(players, 2);
	// (1 + position) mod 2, not the "outside becomes 0" fallback.
	EXPECT_EQ(teams(2), (std::vector<int16>{1, 0}));
}

TEST_F(players_setup, observers_leave_play_moved_to_the_end_in_reverse)
{
	std::vector<new_player_data> players = {make_player(1), make_player(50, NONE, 1, _player_is_observer_flag),
		make_player(2, 50), make_player(3)};
	start(players, 2, 3);

	const uint32 expected_order[] = {1, 3, 2, 50};
	for (int i = 0; i < 4; ++i) EXPECT_EQ(players[i].unique_identifier, expected_order[i]) << i;
	EXPECT_EQ(players[2].team_captain_identifier, static_cast<uint32>(NONE));
	EXPECT_EQ(player_globals.local_player_index, 1);
	EXPECT_NE(team_of(0), NONE);
	EXPECT_NE(team_of(1), NONE);
	for (int16 i = 2; i < 4; ++i)
	{
		// The observer asked for slot 1, which scoring would index: no slot.
		EXPECT_EQ(team_of(i), NONE) << i;
		EXPECT_EQ(get_player_data(i)->original_team_index, NONE) << i;
		EXPECT_TRUE(get_player_data(i)->flags & _player_has_been_dropped_flag) << i;
	}
	EXPECT_FALSE(get_player_data(0)->flags & _player_has_been_dropped_flag);
}

TEST_F(players_setup, a_local_observer_has_no_player_and_sees_everything_unless_cooperative)
{
	record.option_flags |= _game_option_limited_visibility_flag;
	std::vector<new_player_data> players = {make_player(1), make_player(2), make_player(9, NONE, NONE, _player_is_observer_flag)};
	start(players, 2, 2);
	EXPECT_EQ(player_globals.local_player_index, NONE);
	EXPECT_EQ(player_globals.local_player_team_index, NONE);
	EXPECT_FALSE(record.option_flags & _game_option_limited_visibility_flag);

	record.option_flags |= _game_option_limited_visibility_flag | _game_option_cooperative_flag;
	players = {make_player(1), make_player(2), make_player(9, NONE, NONE, _player_is_observer_flag)};
	start(players, 2, 2);
	EXPECT_EQ(player_globals.local_player_index, NONE);
	EXPECT_TRUE(record.option_flags & _game_option_limited_visibility_flag);
}

TEST_F(players_setup, a_cooperative_observer_leading_all_but_two_frees_its_followers)
{
	record.option_flags |= _game_option_cooperative_flag | _game_option_team_captain_chosen_flag;
	auto setup = [] {
		return std::vector<new_player_data>{make_player(10, NONE, NONE, _player_is_observer_flag), make_player(11, 10),
			make_player(12, 10), make_player(13), make_player(14)};
	};

	std::vector<new_player_data> players = setup();
	start(players, 1);
	EXPECT_TRUE(record.option_flags & _game_option_allow_multiplayer_teams_flag);
	EXPECT_FALSE(record.option_flags & _game_option_team_captain_chosen_flag);
	const uint32 expected_order[] = {11, 12, 13, 14, 10};
	for (int i = 0; i < 5; ++i) EXPECT_EQ(players[i].unique_identifier, expected_order[i]) << i;
	// The first draw from seed 1 is even: the first two follow player 0.
	EXPECT_EQ(players[0].team_captain_identifier, 11u);
	EXPECT_EQ(players[1].team_captain_identifier, 11u);
	EXPECT_EQ(teams(5), (std::vector<int16>{0, 0, NONE, NONE, NONE}));
	EXPECT_EQ(get_team_data(0)->number_of_players, 2);

	// Before 1501 the followers leave play with the observer.
	game_play_version = 1500;
	record.option_flags = _game_option_cooperative_flag | _game_option_team_captain_chosen_flag;
	players = setup();
	start(players, 1);
	EXPECT_EQ(record.option_flags, _game_option_cooperative_flag | _game_option_team_captain_chosen_flag);
	const uint32 old_order[] = {13, 14, 12, 11, 10};
	for (int i = 0; i < 5; ++i) EXPECT_EQ(players[i].unique_identifier, old_order[i]) << i;
}

TEST_F(players_setup, captain_chains_resolve_in_one_pass_in_player_order)
{
	std::vector<new_player_data> players = {make_player(1, 2), make_player(2, 3), make_player(3, 3)};
	start(players, 2);
	EXPECT_EQ(team_of(0), NONE);
	EXPECT_NE(team_of(2), NONE);
	EXPECT_EQ(team_of(1), team_of(2));
	EXPECT_EQ(get_team_data(team_of(2))->number_of_players, 2);
}

TEST_F(players_setup, an_identity_equal_to_none_does_not_stall_team_forming)
{
	for (uint32 seed = 1; seed < 20; ++seed)
	{
		std::vector<new_player_data> players = {make_player(0xFFFFFFFFu), make_player(2), make_player(3)};
		set_random_seed(seed);
		start(players, 2);
		EXPECT_EQ(player_globals.actual_number_of_teams, 2) << seed;
		for (int16 i = 0; i < 3; ++i) EXPECT_NE(team_of(i), NONE) << seed << " " << i;
	}
}

TEST_F(players_setup, a_bad_player_count_or_local_index_is_refused)
{
	std::vector<new_player_data> players = free_players(MAXIMUM_PLAYERS_PER_MAP + 1);
	reset_error_state();
	start(players, 2, 0);
	EXPECT_EQ(get_error_code(), _error_data_corrupted);
	EXPECT_EQ(get_player_count(), 0);
	EXPECT_EQ(get_team_count(), 2);
	EXPECT_EQ(player_globals.local_player_index, NONE);

	reset_error_state();
	get_players_test_hooks()->team_count = 2;
	initialize_players_for_new_map(-1, players.data(), 0);
	EXPECT_EQ(get_error_code(), _error_data_corrupted);
	EXPECT_EQ(get_player_count(), 0);

	reset_error_state();
	players = free_players(2);
	start(players, 2, 5);
	EXPECT_EQ(get_error_code(), _error_none);
	EXPECT_EQ(player_globals.local_player_index, NONE);
	EXPECT_EQ(get_player_count(), 2);
}

TEST_F(players_setup, names_are_terminated_and_records_take_their_entry_appearance)
{
	std::vector<new_player_data> players = free_players(2);
	memset(players[0].appearance.name, 'x', sizeof(players[0].appearance.name));
	memset(players[0].appearance.team_name, 'y', sizeof(players[0].appearance.team_name));
	players[1].appearance.caste_bitmap_index = 7;
	start(players, 2);
	EXPECT_EQ(strlen(get_player_data(0)->appearance.name), static_cast<size_t>(MAXIMUM_PLAYER_NAME_LENGTH));
	EXPECT_EQ(strlen(get_player_data(0)->appearance.team_name), static_cast<size_t>(MAXIMUM_PLAYER_NAME_LENGTH));
	EXPECT_EQ(get_player_data(1)->appearance.caste_bitmap_index, 7);
	EXPECT_EQ(get_player_data(1)->unique_identifier, 2u);
}

TEST_F(players_setup, lookups_deletion_and_victory_ignore_bad_indexes)
{
	get_game_sounds_test_hooks()->ignore_mute = TRUE;
	std::vector<new_player_data> players = free_players(3);
	start(players, 2);

	EXPECT_EQ(player_identifier_to_player_index(3), 2);
	EXPECT_EQ(player_identifier_to_player_index(0xFFFFFFFFu), NONE);
	delete_player(NONE);
	delete_player(MAXIMUM_PLAYERS_PER_MAP);
	delete_player(1000);
	delete_player(1);
	EXPECT_EQ(player_identifier_to_player_index(2), NONE);
	EXPECT_EQ(get_player_data(1), nullptr);
	EXPECT_EQ(get_player_count(), 3);

	team_is_about_to_win(NONE);
	team_is_about_to_win(MAXIMUM_TEAMS_PER_MAP);
	team_is_about_to_win(5); // no such team on this map
	int16 sounds[MAXIMUM_SOUND_QUEUE_SIZE];
	EXPECT_EQ(get_queued_game_sounds(sounds, MAXIMUM_SOUND_QUEUE_SIZE), 0);
	team_is_about_to_win(1);
	team_is_about_to_win(1);
	EXPECT_TRUE(get_team_data(1)->flags & _team_is_about_to_win_flag);
	EXPECT_FALSE(get_team_data(0)->flags & _team_is_about_to_win_flag);
	ASSERT_EQ(get_queued_game_sounds(sounds, MAXIMUM_SOUND_QUEUE_SIZE), 1);
	EXPECT_EQ(sounds[0], _game_sound_victory_imminent);
}

TEST_F(players_setup, records_outlive_the_map_until_resurrected)
{
	std::vector<new_player_data> players = free_players(3);
	start(players, 2);
	dispose_players_from_old_map();
	EXPECT_EQ(get_player_count(), 0);
	ressurect_players_from_old_map();
	EXPECT_EQ(get_player_count(), 3);
	EXPECT_EQ(get_team_count(), 2);
	EXPECT_EQ(get_player_data(2)->unique_identifier, 3u);
}

} // namespace
