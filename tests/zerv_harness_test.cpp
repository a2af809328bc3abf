// Whole games through the headless harness, and the determinism of their
// per-tick digest trails.
#include <gtest/gtest.h>

#include <vector>

#include "CoreLibrary/cseries/test_hooks.h"
#include "support/zerv_harness.h"
#include "zerv.h"

namespace {

class zerv_harness : public zerv_harness_fixture
{
protected:
	// Plays the setup to its end in frames of elapsed ticks; the trail of it.
	std::vector<harness_digest_entry> play(new_game_data *setup, int16 elapsed)
	{
		EXPECT_TRUE(harness_start_map(setup));
		if (elapsed > maximum_ticks_per_frame_table[_game_type_local]) set_maximum_ticks_per_frame(elapsed);
		for (int32 frame = 0; frame < 100000 && !harness_game_is_finished(); ++frame)
		{
			harness_run_frames(1, elapsed);
		}
		std::vector<harness_digest_entry> trail = harness_digest_trail();
		harness_end_map();
		return trail;
	}

	static void expect_same_trail(const std::vector<harness_digest_entry> &a, const std::vector<harness_digest_entry> &b)
	{
		ASSERT_EQ(a.size(), b.size());
		for (size_t i = 0; i < a.size(); ++i)
		{
			ASSERT_EQ(a[i].game_time, b[i].game_time) << "entry " << i;
			ASSERT_EQ(a[i].digest, b[i].digest) << "game time " << a[i].game_time;
		}
	}
};

TEST_F(zerv_harness, the_default_local_game_ends_at_18300_with_a_defeat)
{
	new_game_data setup;
	harness_default_setup(&setup);
	ASSERT_TRUE(harness_start_map(&setup));
	service_trace_enable(true);

	int32 frames = 0;
	while (!harness_game_is_finished() && frames < 40000)
	{
		harness_run_frames(1, 1);
		frames += 1;
	}
	EXPECT_EQ(game->game_time, 18300);
	EXPECT_EQ(game->endgame_state, _endgame_state_defeat);
	EXPECT_EQ(game->game_time_at_end, 18000);
	EXPECT_TRUE(game_flags_test(_game_is_over_flag));
	EXPECT_EQ(get_zerv_test_hooks()->game_over_count, 1);
	EXPECT_EQ(service_trace_find("zerv_game_is_over", 0) != NONE, true);

	// Later frames run no ticks and never end the game again.
	harness_run_frames(50, 4);
	EXPECT_EQ(game->game_time, 18300);
	EXPECT_EQ(get_zerv_test_hooks()->game_over_count, 1);

	const std::vector<harness_digest_entry> &trail = harness_digest_trail();
	ASSERT_EQ(trail.size(), 18300u);
	EXPECT_EQ(trail.front().game_time, 1);
	EXPECT_EQ(trail.back().game_time, 18300);
	EXPECT_TRUE(harness_write_digest_trail(ZERV_BINARY_DIR "/digest_trail.txt"));
	harness_end_map();
}

TEST_F(zerv_harness, two_runs_leave_identical_trails)
{
	new_game_data setup;
	harness_default_setup(&setup);
	const std::vector<harness_digest_entry> first = play(&setup, 1);
	const std::vector<harness_digest_entry> second = play(&setup, 1);
	ASSERT_EQ(first.size(), 18300u);
	expect_same_trail(first, second);
}

TEST_F(zerv_harness, frame_splits_do_not_change_the_trail)
{
	new_game_data setup;
	harness_default_setup(&setup);
	const std::vector<harness_digest_entry> single = play(&setup, 1);
	const std::vector<harness_digest_entry> threes = play(&setup, 3);
	const std::vector<harness_digest_entry> large = play(&setup, 1800);
	expect_same_trail(single, threes);
	expect_same_trail(single, large);
}

TEST_F(zerv_harness, a_map_after_another_matches_a_fresh_one)
{
	new_game_data b;
	harness_default_setup(&b);
	const std::vector<harness_digest_entry> fresh = play(&b, 4);

	new_game_data a;
	harness_default_setup(&a);
	a.parameters.random_seed = 99;
	a.parameters.time_limit = 900;
	a.parameters.pregame_time_limit = 60;
	ASSERT_TRUE(harness_start_map(&a));
	game->speed = _game_speed_four_times;
	harness_run_frames(77, 3);
	suspend_end_game(TRUE);
	end_game(TRUE);
	harness_run_frames(5, 2);
	harness_end_map();

	expect_same_trail(fresh, play(&b, 4));
}

TEST_F(zerv_harness, digests_see_the_seed_and_the_clock)
{
	new_game_data setup;
	harness_default_setup(&setup);
	ASSERT_TRUE(harness_start_map(&setup));
	const uint64 before = zerv_state_digest();
	EXPECT_EQ(zerv_state_digest(), before);
	game->game_time += 1;
	EXPECT_NE(zerv_state_digest(), before);
	game->game_time -= 1;
	// What depends on how ticks fall into frames stays out.
	game_local_time_set(1234);
	game->fractional_local_time = 77;
	game->reserve_time = 9;
	EXPECT_EQ(zerv_state_digest(), before);
	harness_end_map();
}

}
