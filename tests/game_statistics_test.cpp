// Scoring and rankings as the units report them: counters, rankings, the ends
// of games and the permanent rankings.
#include <gtest/gtest.h>

#include <vector>

#include "flags.h"
#include "game_statistics.h"
#include "players_test_support.h"

namespace {

class game_statistics_fixture : public players_fixture
{
protected:
	void SetUp() override
	{
		players_fixture::SetUp();
		get_game_sounds_test_hooks()->ignore_mute = TRUE;
		reset_game_statistics_test_hooks();
		record.type = _game_type_local;
		record.time_state = _game_time_no_countdown;
		initialize_player_statistics();
		initialize_flags();
		initialize_flags_for_new_map();
	}

	void TearDown() override
	{
		dispose_player_statistics_from_old_map();
		dispose_flags_from_old_map();
		reset_game_statistics_test_hooks();
		players_fixture::TearDown();
	}

	// One player per team; unit type p belongs to player p: cost 1, vitality 256.
	void start(std::initializer_list<int16> types, int16 local_index = 0)
	{
		std::vector<new_player_data> players;
		uint32 identifier = 1;
		for (int16 type : types)
		{
			new_player_data player = make_player(identifier++);
			player.type = type;
			players.push_back(player);
		}
		get_players_test_hooks()->team_count = static_cast<int16>(players.size());
		initialize_players_for_new_map(static_cast<int16>(players.size()), players.data(), local_index);
		game_statistics_test_hooks_data *hooks = get_game_statistics_test_hooks();
		hooks->unit_type_count = static_cast<int16>(players.size());
		for (int16 p = 0; p < static_cast<int16>(players.size()); ++p) hooks->unit_types[p] = {p, 0, 1, 256};
		initialize_player_statistics_for_new_map();
		for (int16 p = 0; p < static_cast<int16>(players.size()); ++p) adjust_unit_statistics(p, 5, 5 * 256);
	}

	static int16 team_of_player(int16 player)
	{
		return get_player_data(player)->team_index;
	}

	static const team_ranking_data *ranking_of_team(int16 team)
	{
		for (int16 i = 0; i < get_team_count(); ++i)
		{
			if (get_team_rankings()[i].team_index == team) return &get_team_rankings()[i];
		}
		return nullptr;
	}

	static std::vector<int16> queued(void)
	{
		int16 sounds[MAXIMUM_SOUND_QUEUE_SIZE];
		const int16 count = get_queued_game_sounds(sounds, MAXIMUM_SOUND_QUEUE_SIZE);
		return std::vector<int16>(sounds, sounds + count);
	}
};

using game_statistics_counters = game_statistics_fixture;
using game_statistics_rankings = game_statistics_fixture;
using game_statistics_damage = game_statistics_fixture;

TEST_F(game_statistics_counters, samples_merge_at_the_exact_tick_and_rerankings_follow_the_version)
{
	record.scoring = _game_scoring_custom;
	start({_player_is_human, _player_is_human});
	int16 samples = 0;
	int32 ticks_per_sample = 0, ticks_this_sample = 0;
	for (int32 i = 0; i < 20 * 301 - 1; ++i) update_player_statistics();
	get_player_statistics_sample_range(&samples, &ticks_per_sample, &ticks_this_sample);
	EXPECT_EQ(samples, 20);
	EXPECT_EQ(ticks_per_sample, 300);
	update_player_statistics();
	get_player_statistics_sample_range(&samples, &ticks_per_sample, &ticks_this_sample);
	EXPECT_EQ(samples, 11);
	EXPECT_EQ(ticks_per_sample, 600);
	EXPECT_EQ(ticks_this_sample, 0);

	// The first call re-ranks, then every 15 calls (every 16 up to 1510).
	for (int16 version : {1720, 1510})
	{
		game_play_version = version;
		initialize_player_statistics_for_new_map();
		update_player_statistics();
		EXPECT_EQ(get_ranking_sequence(), 1);
		const int32 period = version > 1510 ? 15 : 16;
		for (int32 i = 0; i < period - 1; ++i) update_player_statistics();
		EXPECT_EQ(get_ranking_sequence(), 1) << version;
		update_player_statistics();
		EXPECT_EQ(get_ranking_sequence(), 2) << version;
	}

	// Hours of play: a 16-bit sample length would have wrapped at 38400.
	game_play_version = 1720;
	initialize_player_statistics_for_new_map();
	for (int32 i = 0; i < 400000; ++i) update_player_statistics();
	get_player_statistics_sample_range(&samples, &ticks_per_sample, &ticks_this_sample);
	EXPECT_EQ(ticks_per_sample, 38400);
	EXPECT_GE(samples, 1);
	EXPECT_LE(samples, MAXIMUM_NUMBER_OF_SAMPLES);
}

TEST_F(game_statistics_rankings, attrition_scores_damage_with_its_tie_break_and_equal_scores_share_a_place)
{
	record.scoring = _game_scoring_attrition;
	start({_player_is_human, _player_is_human, _player_is_computer});
	record.game_time = 10;
	adjust_damage_statistics(0, 1, 250, FALSE, FALSE, FALSE, TRUE, 1);
	force_player_statistics_update();
	record.game_time = 40;
	adjust_damage_statistics(1, 0, 250, FALSE, FALSE, FALSE, TRUE, 0);
	force_player_statistics_update();

	// 250 damage on 256 vitality at cost 1 weighs 250: a score of 2 for both.
	const team_ranking_data *first = ranking_of_team(team_of_player(0));
	const team_ranking_data *second = ranking_of_team(team_of_player(1));
	const team_ranking_data *third = ranking_of_team(team_of_player(2));
	ASSERT_TRUE(first && second && third);
	EXPECT_EQ(first->score, 2);
	EXPECT_EQ(second->score, 2);
	EXPECT_EQ(first->place, 0) << "team 0 reached the score first";
	EXPECT_EQ(second->place, 1);
	EXPECT_EQ(third->place, 2);
	EXPECT_EQ(get_team_rankings()[0].team_index, team_of_player(0));

	// Custom scoring without flags: everyone scores 0 and shares first place.
	record.scoring = _game_scoring_custom;
	force_player_statistics_update();
	for (int16 i = 0; i < get_team_count(); ++i) EXPECT_EQ(get_team_rankings()[i].place, 0);

	// A score beyond 16 bits keeps the best score saturated, not wrapped.
	record.scoring = _game_scoring_attrition;
	adjust_damage_statistics(0, 1, 32767, FALSE, FALSE, FALSE, TRUE, 1);
	get_game_statistics_test_hooks()->unit_types[1].cost = 2000;
	adjust_damage_statistics(0, 1, 32767, FALSE, FALSE, FALSE, TRUE, 1);
	force_player_statistics_update();
	EXPECT_GT(ranking_of_team(team_of_player(0))->score, 32767);
	EXPECT_EQ(get_team_data(team_of_player(0))->maximum_number_of_flags_owned, 32767);
}

TEST_F(game_statistics_rankings, a_game_over_adds_permanent_scores_by_place_once)
{
	record.scoring = _game_scoring_attrition;
	start({_player_is_human, _player_is_human, _player_is_human});
	adjust_damage_statistics(0, 2, 256, FALSE, FALSE, FALSE, TRUE, 2);
	adjust_damage_statistics(0, 2, 256, FALSE, FALSE, FALSE, TRUE, 2);
	adjust_damage_statistics(1, 2, 256, FALSE, FALSE, FALSE, TRUE, 2);
	force_player_statistics_update();
	game_flags_set(_game_is_over_flag);
	update_player_statistics();
	update_player_statistics();

	int16 count = 0;
	const permanent_player_ranking_data *permanent = get_permanent_player_rankings(&count);
	ASSERT_EQ(count, 3);
	const fixed scores[3] = {65536, 32768, 21845};
	for (int16 i = 0; i < 3; ++i)
	{
		EXPECT_EQ(permanent[i].player_index, i);
		EXPECT_EQ(permanent[i].score, scores[i]) << i;
		for (int16 s = 0; s < 3; ++s) EXPECT_EQ(permanent[i].standings[s], s == i ? 1 : 0) << i << " " << s;
	}
	EXPECT_EQ(permanent[0].total_damage, 512);

	// The next map of a continued game finds each player's record by identity.
	initialize_player_statistics_for_new_map();
	permanent = get_permanent_player_rankings(&count);
	EXPECT_EQ(count, 3);
	EXPECT_EQ(permanent[2].score, 21845);
	EXPECT_EQ(permanent[2].player_index, 2);
}

TEST_F(game_statistics_rankings, two_teams_left_break_alliances_and_the_last_one_standing_wins)
{
	record.scoring = _game_scoring_custom;
	record.option_flags |= _game_option_allow_alliances_flag;
	start({_player_is_human, _player_is_human, _player_is_human}, 2);
	const int16 t0 = team_of_player(0), t1 = team_of_player(1), t2 = team_of_player(2);
	ally_with_team(t0, t1, TRUE);
	force_player_statistics_update();
	EXPECT_TRUE(teams_are_allied(t0, t1)) << "three teams alive";

	// Team 2 loses its units: it is out, and the two left are enemies again.
	adjust_damage_statistics(0, 2, 256, TRUE, FALSE, FALSE, TRUE, 2);
	adjust_unit_statistics_for_elimination(2, -4, 0);
	ally_with_team(t1, t0, TRUE);
	force_player_statistics_update();
	EXPECT_TRUE(get_team_data(t2)->flags & _team_has_been_eliminated_flag);
	EXPECT_FALSE(teams_are_allied(t0, t1));
	EXPECT_FALSE(teams_are_allied(t1, t0));
	// The local player lost the unit: a casualty first.
	EXPECT_EQ(queued(), (std::vector<int16>{_game_sound_casualty, _game_sound_player_eliminated, _game_sound_alliance_broken}));
	EXPECT_FALSE(game_flags_test(_game_is_over_flag));

	// Team 1 follows: team 0 stands alone and wins.
	adjust_unit_statistics_for_elimination(1, -5, 0);
	force_player_statistics_update();
	EXPECT_TRUE(game_flags_test(_game_is_over_flag));
	EXPECT_EQ(record.winning_team_index, t0);
}

TEST_F(game_statistics_rankings, king_of_the_hill_gives_the_last_team_the_time_left)
{
	record.scoring = _game_scoring_king_of_the_hill;
	start({_player_is_human, _player_is_human});
	record.time_remaining = 900;
	adjust_unit_statistics_for_elimination(1, -5, 0);
	force_player_statistics_update();
	EXPECT_TRUE(game_flags_test(_game_is_over_flag));
	EXPECT_EQ(get_team_data(team_of_player(0))->game_time_of_possession, 900);
	EXPECT_EQ(get_team_rankings()[0].score, 900);
}

TEST_F(game_statistics_rankings, the_last_human_dropping_ends_the_game_from_1501_and_computers_play_on)
{
	record.scoring = _game_scoring_custom;
	for (int16 version : {1500, 1501})
	{
		game_play_version = version;
		start({_player_is_human, _player_is_computer});
		force_player_statistics_update();
		EXPECT_FALSE(game_flags_test(_game_is_over_flag));
		get_player_data(0)->flags |= _player_has_been_dropped_flag;
		force_player_statistics_update();
		EXPECT_EQ(game_flags_test(_game_is_over_flag), version >= 1501) << version;
		game_flags_store(0);
	}

	// A game that never had a human with a team (the menu's demo) runs on.
	start({_player_is_computer, _player_is_computer});
	for (int32 i = 0; i < 100; ++i) update_player_statistics();
	EXPECT_FALSE(game_flags_test(_game_is_over_flag));
}

TEST_F(game_statistics_rankings, assassination_and_hunting_score_target_kills)
{
	record.scoring = _game_scoring_assassination;
	start({_player_is_human, _player_is_human});
	const int16 t0 = team_of_player(0), t1 = team_of_player(1);
	record.game_time = 77;
	// An own target killed by its own team costs that team a point.
	adjust_damage_statistics(0, 0, 256, TRUE, TRUE, FALSE, TRUE, 0);
	EXPECT_EQ(get_team_data(t0)->score, -1);
	adjust_damage_statistics(1, 0, 256, TRUE, TRUE, FALSE, TRUE, 0);
	EXPECT_EQ(get_team_data(t1)->score, 1);
	EXPECT_EQ(get_team_data(t1)->game_time_at_last_score, 77);
	// Not a target, or ambient life: no points.
	adjust_damage_statistics(1, 0, 256, TRUE, FALSE, FALSE, TRUE, 0);
	adjust_damage_statistics(1, 0, 256, TRUE, TRUE, TRUE, TRUE, 0);
	EXPECT_EQ(get_team_data(t1)->score, 1);

	record.scoring = _game_scoring_hunting;
	adjust_damage_statistics(0, 0, 256, TRUE, TRUE, FALSE, TRUE, 0);
	EXPECT_EQ(get_team_data(t0)->score, 0);
}

TEST_F(game_statistics_rankings, bad_indexes_are_ignored_and_unknown_scorings_have_no_names)
{
	record.scoring = _game_scoring_custom;
	start({_player_is_human, _player_is_human});
	adjust_unit_statistics(MAXIMUM_UNIT_DEFINITIONS_PER_MAP, 1, 1);
	adjust_unit_statistics(-2, 1, 1);
	adjust_player_score(MAXIMUM_PLAYERS_PER_MAP, 5);
	adjust_player_score(-2, 5);
	adjust_damage_statistics(0, MAXIMUM_UNIT_DEFINITIONS_PER_MAP, 100, TRUE, FALSE, FALSE, TRUE, 0);
	adjust_damage_statistics(600, 1, 100, TRUE, FALSE, FALSE, TRUE, 0);
	score_points(5, 1);
	score_points(NONE, 1);
	eliminate_team(7);
	EXPECT_EQ(get_unit_statistics(MAXIMUM_UNIT_DEFINITIONS_PER_MAP), nullptr);
	EXPECT_EQ(get_unit_statistics(1)->current_count, 5);
	EXPECT_STREQ(get_game_scoring_string(NUMBER_OF_GAME_SCORING_TYPES), "");
	EXPECT_STREQ(get_game_rules_string(NONE), "");
	adjust_player_score(NONE, 5);
	statistics_sample sum;
	sum_player_statistics_sample_range(0, 1, &sum);
	EXPECT_EQ(sum.unattributed.score, 5);

	// Nothing ranked yet: no winner is chosen.
	initialize_player_statistics_for_new_map();
	finalize_winning_team();
	EXPECT_EQ(record.winning_team_index, NONE);
}

TEST_F(game_statistics_damage, damage_is_weighted_by_cost_and_casualties_are_announced_for_the_local_player)
{
	record.scoring = _game_scoring_custom;
	start({_player_is_human, _player_is_human}, 0);
	zerv_digest before;
	zerv_digest_begin(&before);
	player_statistics_fold_digest(&before);
	game_statistics_test_hooks_data *hooks = get_game_statistics_test_hooks();
	hooks->unit_types[1].cost = 3;
	hooks->unit_types[1].maximum_vitality = 512;
	adjust_damage_statistics(0, 1, 100, FALSE, FALSE, FALSE, TRUE, 1);
	statistics_sample sum;
	sum_player_statistics_sample_range(0, 1, &sum);
	EXPECT_EQ(sum.players[0].damage_against[1], 150); // 3 x (100 x 256 / 512)
	EXPECT_EQ(get_unit_statistics(0)->damage, 150);
	EXPECT_EQ(get_unit_statistics(1)->current_vitality, 5 * 256 + 150);
	zerv_digest after;
	zerv_digest_begin(&after);
	player_statistics_fold_digest(&after);
	EXPECT_NE(after.hash, before.hash) << "the digest sees the statistics";

	// Without an aggressor the damage lands in the unattributed row; a kill counts.
	adjust_damage_statistics(NONE, 1, 100, TRUE, FALSE, FALSE, TRUE, 1);
	sum_player_statistics_sample_range(0, 1, &sum);
	EXPECT_EQ(sum.unattributed.damage_against[1], 150);
	EXPECT_EQ(sum.unattributed.kills_against[1], 1);
	EXPECT_EQ(get_unit_statistics(1)->current_count, 4);
	EXPECT_TRUE(queued().empty()) << "not the local player's unit";

	adjust_damage_statistics(1, 0, 100, TRUE, FALSE, FALSE, TRUE, 0);
	EXPECT_EQ(get_unit_statistics(1)->kills, 1);
	EXPECT_EQ(queued(), (std::vector<int16>{_game_sound_casualty}));

	// A unit without vitality weighs nothing.
	hooks->unit_types[1].maximum_vitality = 0;
	adjust_damage_statistics(0, 1, 100, FALSE, FALSE, FALSE, TRUE, 1);
	EXPECT_EQ(get_unit_statistics(0)->damage, 150);
}

} // namespace
