// Films: recording a game on the generated 'demo', replaying it tick for
// tick, across builds and as an observer.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "CoreLibrary/zerv/commands.h"
#include "support/recording_harness.h"
#include "recording_test_support.h"
#include "tag_files/tag_files.h"

namespace {

class recording_film : public zerv_harness_fixture
{
};

TEST_F(recording_film, replays_match_the_live_game_tick_for_tick_at_any_frame_length)
{
	const std::vector<harness_digest_entry> live = record_demo_film(FILM_TEST_TICKS);
	ASSERT_FALSE(live.empty());
	ASSERT_NE(get_last_recording_handle(), NONE);

	struct frames
	{
		int16 elapsed;
		int16 speed;
	};
	for (const frames &f : {frames{1, _game_speed_normal}, frames{1, _game_speed_sixty_four_times},
			 frames{1800, _game_speed_normal}, frames{1, _game_speed_normal}})
	{
		SCOPED_TRACE(testing::Message() << "frames of " << f.elapsed << " at speed " << f.speed);
		ASSERT_TRUE(harness_replay_film());
		EXPECT_FALSE(replay_over());
		EXPECT_EQ(get_replay_game_type(), _game_type_local);
		EXPECT_TRUE(game_is_solo_replay());
		game->speed = f.speed;
		harness_run_replay(f.elapsed);
		EXPECT_TRUE(replay_over());
		EXPECT_EQ(get_recording_state(), _state_replay_done);
		EXPECT_FALSE(game_flags_test(_game_is_out_of_sync_flag));
		expect_same_trail(harness_digest_trail(), live);
	}
	harness_end_map();
	EXPECT_EQ(get_recording_state(), _state_uninitialized);
}

// The 64-bit and 32-bit trees each leave their film here; the test below,
// pointed at the other tree's, replays it.
TEST_F(recording_film, leaves_its_film_for_the_other_build)
{
	const std::vector<harness_digest_entry> live = record_demo_film(FILM_TEST_TICKS);
	const std::vector<uint8> film = harness_tag_data(get_last_recording_handle());
	ASSERT_GT(film.size(), static_cast<size_t>(RECORDING_FILE_HEADER_SIZE));
	const std::string folder = std::string(ZERV_BINARY_DIR) + "/films";
	ASSERT_TRUE(mkdir(folder.c_str(), 0777) == 0 || errno == EEXIST);
	ASSERT_TRUE(write_bytes(folder + "/demo.reco", film));
	recording_file_summary summary;
	ASSERT_TRUE(validate_recording_data(film.data(), static_cast<int32>(film.size()), _normal_recording_type, "demo",
		&summary, nullptr, 0));
	ASSERT_TRUE(write_bytes(folder + "/demo_data_section.bin",
		std::vector<uint8>(film.begin() + summary.header.data_offset, film.end())));
	const harness_named_trail named = {"demo", live};
	ASSERT_TRUE(harness_write_digest_trails(folder + "/demo_trail.txt", {named}));
}

TEST_F(recording_film, replays_the_other_builds_film)
{
	const char *folder = getenv("ZERV_FOREIGN_FILMS");
	if (!folder) GTEST_SKIP() << "ZERV_FOREIGN_FILMS names the other tree's films folder";
	const std::vector<uint8> film = read_bytes(std::string(folder) + "/demo.reco");
	ASSERT_FALSE(film.empty());
	std::ifstream trail_file(std::string(folder) + "/demo_trail.txt");
	std::vector<harness_digest_entry> recorded;
	std::string line;
	while (std::getline(trail_file, line))
	{
		if (line.empty() || line[0] == '#') continue;
		int time = 0;
		unsigned long long digest = 0;
		ASSERT_EQ(sscanf(line.c_str(), "%d %llx", &time, &digest), 2);
		recorded.push_back({time, static_cast<uint64>(digest)});
	}
	ASSERT_FALSE(recorded.empty());

	const int32 handle = harness_write_tag(RECORDING_GROUP_TAG, "Foreign Film", film);
	ASSERT_NE(handle, NONE);
	ASSERT_TRUE(harness_replay_film(tag_file_get_header_subgroup(handle)));
	harness_run_replay(30);
	expect_same_trail(harness_digest_trail(), recorded);
	harness_end_map();
}

// Rewritten as a networked film, the viewer watches as an observer; the
// game itself must not notice.
TEST_F(recording_film, a_networked_film_replays_for_an_observer_and_a_cooperative_one_keeps_its_player)
{
	const std::vector<harness_digest_entry> live = record_demo_film(600);
	std::vector<uint8> film = harness_tag_data(get_last_recording_handle());
	ASSERT_FALSE(film.empty());
	film[FILM_GAME_OFFSET + 0] = 0;
	film[FILM_GAME_OFFSET + 1] = _game_type_networked;
	set_option_bit(&film, _game_option_limited_visibility_flag, true);

	for (const bool cooperative : {false, true})
	{
		SCOPED_TRACE(cooperative ? "cooperative" : "observer");
		set_option_bit(&film, _game_option_cooperative_flag, cooperative);
		const int32 handle = harness_write_tag(RECORDING_GROUP_TAG, "Network Film", film);
		ASSERT_NE(handle, NONE);
		harness_end_map();
		new_game_data setup;
		ASSERT_TRUE(enter_replay_immediately(tag_file_get_header_subgroup(handle), &setup));
		EXPECT_EQ(get_replay_game_type(), _game_type_networked);
		EXPECT_EQ(game_is_solo_replay() != FALSE, cooperative);
		EXPECT_EQ(setup.local_player_index, cooperative ? 0 : NONE);
		EXPECT_EQ((setup.parameters.option_flags & _game_option_limited_visibility_flag) != 0, cooperative);
		harness_end_map();
		harness_clear_digest_trail();
		ASSERT_TRUE(harness_start_map(&setup));
		harness_run_replay(30);
		// The cooperative game differs in its options; the observer's must not differ at all.
		if (!cooperative) expect_same_trail(harness_digest_trail(), live);
	}
	harness_end_map();
}

}
