// What is recorded and how, and what a damaged film or saved game gets.
#include <gtest/gtest.h>

#include <dirent.h>

#include "error_manager.h"
#include "recording_test_support.h"
#include "support/test_directory.h"
#include "tag_files/tag_files.h"

namespace {

class recording_rules : public zerv_harness_fixture
{
protected:
	// The demo map for 200 ticks, recorded, with a chat command in each of the first 150.
	static void record_demo_with_chats(void)
	{
		new_game_data setup;
		harness_demo_setup(&setup);
		ASSERT_TRUE(harness_start_map(&setup));
		while (game->game_time < 200)
		{
			if (game->game_time < 150) record_command(chat_command(game->game_time, 40));
			harness_run_ticks(1);
		}
	}
};

class recording_damaged : public zerv_harness_fixture
{
};

TEST_F(recording_rules, only_local_and_network_games_off_the_training_map_are_recorded)
{
	struct kind
	{
		int16 type;
		file_tag map;
		bool recorded;
	};
	for (const kind &k : {kind{_game_type_local, TAG("mt00"), false}, kind{_game_type_replay, TAG("demo"), false},
			 kind{_game_type_demo, TAG("demo"), false}, kind{_game_type_local, TAG("demo"), true},
			 kind{_game_type_networked, TAG("demo"), true}})
	{
		SCOPED_TRACE(testing::Message() << "type " << k.type);
		new_game_data setup;
		harness_demo_setup(&setup);
		setup.parameters.type = k.type;
		setup.parameters.scenario_tag = k.map;
		initialize_recording_for_new_map(&setup);
		begin_recording_for_new_map();
		EXPECT_EQ(get_recording_state() == _state_recording, k.recorded);
		EXPECT_EQ(save_game_as("Never") != FALSE, false);
		stop_recording();
	}
	EXPECT_EQ(harness_find_tag(SAVED_GAME_GROUP_TAG, "Never"), NONE);
}

TEST_F(recording_rules, blocks_hold_what_fits_and_null_commands_are_never_recorded)
{
	new_game_data setup;
	harness_demo_setup(&setup);
	ASSERT_TRUE(harness_start_map(&setup));
	harness_run_ticks(10);
	// The first block already holds the formation definition the first tick shared.
	ASSERT_EQ(get_recording_test_hooks()->recorded_command_count, 1);
	record_command(chat_command(game->game_time, 2000));
	record_command(chat_command(game->game_time, 8, 0, _command_null));
	EXPECT_EQ(get_recording_test_hooks()->blocks_written, 0);
	record_command(chat_command(game->game_time, 16));
	EXPECT_EQ(get_recording_test_hooks()->blocks_written, 1);
	// Too big for a block: refused, never torn across two.
	record_command(chat_command(game->game_time, 2049));
	EXPECT_EQ(get_recording_test_hooks()->commands_refused, 1);
	harness_run_ticks(10);
	const int32 ending = game->game_time;
	harness_end_map();

	const std::vector<uint8> film = harness_tag_data(get_last_recording_handle());
	recording_file_summary summary;
	ASSERT_TRUE(validate_recording_data(film.data(), static_cast<int32>(film.size()), _normal_recording_type, "film",
		&summary, nullptr, 0));
	EXPECT_EQ(summary.block_count, 2);
	EXPECT_EQ(summary.command_count, 3);
	EXPECT_EQ(summary.header.recording_ending_time, ending);
	EXPECT_TRUE(summary.has_last_block);
	EXPECT_EQ(get_big_endian(film, static_cast<size_t>(summary.header.data_offset) + 4, 2), 48u + 2000u);
	EXPECT_EQ(get_big_endian(film, static_cast<size_t>(summary.header.data_offset) + 8 + 2048 + 4, 2), 16u);
}

TEST_F(recording_rules, an_empty_last_block_still_ends_the_replay_at_the_ending_time)
{
	// No orders, and ended before the first synchronisation check: the only
	// block is the empty last one.
	new_game_data setup;
	harness_demo_setup(&setup);
	ASSERT_TRUE(harness_start_map(&setup));
	// Not even the formation definition the first tick shares goes out.
	harness_run_ticks(1);
	while (dequeue_outgoing_command()) {}
	harness_run_ticks(150 - game->game_time);
	const std::vector<harness_digest_entry> live = harness_digest_trail();
	harness_end_map();
	const std::vector<uint8> film = harness_tag_data(get_last_recording_handle());
	recording_file_summary summary;
	ASSERT_TRUE(validate_recording_data(film.data(), static_cast<int32>(film.size()), _normal_recording_type, "film",
		&summary, nullptr, 0));
	EXPECT_EQ(summary.block_count, 1);
	EXPECT_EQ(summary.command_count, 0);
	EXPECT_EQ(summary.header.recording_ending_time, 150);
	ASSERT_TRUE(harness_replay_film());
	harness_run_replay(1);
	EXPECT_EQ(game->game_time, 150);
	expect_same_trail(harness_digest_trail(), live);
	harness_end_map();
}

// The target tick waits for the commands of the ticks it lets run, however
// long the frames.
TEST_F(recording_rules, a_replay_never_runs_past_commands_it_has_not_read)
{
	ASSERT_NO_FATAL_FAILURE(record_demo_with_chats());
	harness_end_map();
	ASSERT_TRUE(harness_replay_film());
	game->speed = _game_speed_sixty_four_times;
	harness_run_replay(1800);
	EXPECT_EQ(game->game_time, 200);
	EXPECT_EQ(get_recording_test_hooks()->late_commands, 0);
	harness_end_map();
}

// A start that fails before the veterans are in place leaves the last
// game's film alone.
TEST_F(recording_rules, a_map_start_that_fails_early_keeps_the_last_recording)
{
	record_demo_film(50);
	const std::vector<uint8> last = harness_tag_file_bytes(RECORDING_GROUP_TAG, get_replay_string(0));
	ASSERT_FALSE(last.empty());
	new_game_data setup;
	harness_demo_setup(&setup);
	snprintf(get_zerv_test_hooks()->failing_slot, sizeof(get_zerv_test_hooks()->failing_slot), "%s",
		"initialize_mesh_for_new_map");
	EXPECT_FALSE(harness_start_map(&setup));
	get_zerv_test_hooks()->failing_slot[0] = 0;
	EXPECT_NE(get_recording_state(), _state_recording);
	EXPECT_EQ(harness_tag_file_bytes(RECORDING_GROUP_TAG, get_replay_string(0)), last);
	harness_end_map();
}

TEST_F(recording_rules, two_games_leave_one_last_recording)
{
	record_demo_film(20);
	record_demo_film(30);
	int32 handles[8];
	tag_file_info filter;
	tag_file_info_new(&filter);
	filter.group_tag = RECORDING_GROUP_TAG;
	EXPECT_EQ(tag_file_enumerate(&filter, handles, 8), 1);
	int32 files = 0;
	DIR *folder = opendir((harness_directory() + "/recordings").c_str());
	ASSERT_NE(folder, nullptr);
	while (dirent *entry = readdir(folder)) files += entry->d_name[0] != '.';
	closedir(folder);
	EXPECT_EQ(files, 1);
	EXPECT_TRUE(replay_saved_game_available());
}

// A film whose last block never made it (a failed append, a killed game)
// plays to its last complete block.
TEST_F(recording_rules, a_film_without_its_last_block_plays_to_its_last_complete_one)
{
	int32 last_time = NONE;
	new_game_data setup;
	harness_demo_setup(&setup);
	ASSERT_TRUE(harness_start_map(&setup));
	while (game->game_time < 400)
	{
		if (game->game_time < 150)
		{
			record_command(chat_command(game->game_time, 40));
			last_time = game->game_time;
		}
		harness_run_ticks(1);
	}
	const std::vector<harness_digest_entry> live = harness_digest_trail();
	get_recording_test_hooks()->fail_block_writes = 1;
	harness_end_map();

	const std::vector<uint8> film = harness_tag_data(get_last_recording_handle());
	recording_file_summary summary;
	ASSERT_TRUE(validate_recording_data(film.data(), static_cast<int32>(film.size()), _normal_recording_type, "film",
		&summary, nullptr, 0));
	EXPECT_TRUE(summary.torn);
	EXPECT_FALSE(summary.has_last_block);
	ASSERT_GT(summary.block_count, 1);
	ASSERT_TRUE(harness_replay_film());
	harness_run_replay(1);
	EXPECT_TRUE(replay_over());
	EXPECT_GE(game->game_time, summary.last_command_time + 1);
	EXPECT_LE(game->game_time, last_time + 1);
	std::vector<harness_digest_entry> expected(live.begin(), live.begin() + game->game_time);
	expect_same_trail(harness_digest_trail(), expected);
	harness_end_map();

	// Cut inside a block: the same.
	std::vector<uint8> cut(film.begin(), film.end() - 100);
	const int32 handle = harness_write_tag(RECORDING_GROUP_TAG, "Cut", cut);
	ASSERT_TRUE(validate_recording_data(cut.data(), static_cast<int32>(cut.size()), _normal_recording_type, "Cut",
		&summary, nullptr, 0));
	EXPECT_TRUE(summary.torn);
	ASSERT_TRUE(harness_replay_film(tag_file_get_header_subgroup(handle)));
	harness_run_replay(1);
	EXPECT_TRUE(replay_over());
	harness_end_map();
}

// The block header and its commands are written apart: a failure of either
// names what was lost, and the film still plays to its last complete block.
TEST_F(recording_rules, a_failed_command_write_says_so_and_leaves_a_torn_film)
{
	ASSERT_NO_FATAL_FAILURE(record_demo_with_chats());
	get_recording_test_hooks()->fail_command_data_writes = 1;
	harness_end_map();
	EXPECT_NE(read_test_file(harness_directory() + "/" ERROR_LOG_FILE_NAME).find("couldn't write command data to recording"),
		std::string::npos);
	const std::vector<uint8> film = harness_tag_data(get_last_recording_handle());
	recording_file_summary summary;
	ASSERT_TRUE(validate_recording_data(film.data(), static_cast<int32>(film.size()), _normal_recording_type, "film",
		&summary, nullptr, 0));
	EXPECT_TRUE(summary.torn);
	EXPECT_FALSE(summary.has_last_block);
}

struct damage
{
	const char *what;
	size_t offset;
	int32 width;
	uint32 value;
	const char *text;
};

// The film with one damage: validation refuses it with the damage's text.
std::vector<uint8> refused_copy(const std::vector<uint8> &film, const damage &d)
{
	std::vector<uint8> broken = film;
	put_big_endian(&broken, d.offset, d.value, d.width);
	char error[256];
	EXPECT_FALSE(validate_recording_data(broken.data(), static_cast<int32>(broken.size()), _normal_recording_type,
		"Broken", nullptr, error, sizeof(error)));
	EXPECT_NE(strstr(error, d.text), nullptr) << error;
	return broken;
}

// Each header rule broken alone.
const damage film_damages[] = {
	{"version 4", 0, 2, 4, "recording 'Broken' is too new. (4 <= 3)"},
	{"version 0", 0, 2, 0, "bad version"},
	{"type", 2, 2, 1, "type 1 where 0 belongs"},
	{"data_offset", 4, 4, 2601, "bad data_offset"},
	{"ending time", 8, 4, 0x80000000u, "bad recording_ending_time"},
	{"snapshot_offset", 12, 4, 0, "bad snapshot_offset"},
	{"snapshot_length", 16, 4, 8, "bad monster_initializers_offset"},
	{"initializers offset", 20, 4, 2604, "bad monster_initializers_offset"},
	{"initializers length", 24, 4, 41, "bad monster_initializers_length"},
	{"initializers too long", 24, 4, 16040, "bad monster_initializers_length"},
	{"placement offset", 28, 4, 2700, "bad monster_placement_offset"},
	{"placement length", 32, 4, 0xFFFFFFFFu, "bad monster_placement_length"},
	{"game type", FILM_GAME_OFFSET, 2, 0, "bad game type"},
	{"player count", FILM_GAME_OFFSET + 556, 2, 17, "damaged game setup"},
	{"local player", FILM_GAME_OFFSET + 558, 2, 9, "damaged game setup"},
};

TEST_F(recording_damaged, each_broken_header_rule_is_refused_with_its_text_and_nothing_starts)
{
	record_demo_film_with_commands(100, 20, 40);
	const std::vector<uint8> film = harness_tag_data(get_last_recording_handle());
	ASSERT_FALSE(film.empty());
	for (const damage &d : film_damages)
	{
		SCOPED_TRACE(d.what);
		const std::vector<uint8> broken = refused_copy(film, d);

		const int32 handle = harness_write_tag(RECORDING_GROUP_TAG, "Broken", broken);
		ASSERT_NE(handle, NONE);
		new_game_data setup;
		EXPECT_FALSE(enter_replay_immediately(tag_file_get_header_subgroup(handle), &setup));
		EXPECT_TRUE(replay_over());
	}
	// A header cut short.
	std::vector<uint8> short_film(film.begin(), film.begin() + 2599);
	EXPECT_FALSE(validate_recording_data(short_film.data(), 2599, _normal_recording_type, "Short", nullptr, nullptr, 0));
}

TEST_F(recording_damaged, broken_blocks_and_commands_are_refused)
{
	record_demo_film_with_commands(100, 20, 40);
	const std::vector<uint8> film = harness_tag_data(get_last_recording_handle());
	recording_file_summary summary;
	ASSERT_TRUE(validate_recording_data(film.data(), static_cast<int32>(film.size()), _normal_recording_type, "film",
		&summary, nullptr, 0));
	const size_t block = static_cast<size_t>(summary.header.data_offset);
	const size_t command = block + 8;
	const damage block_damages[] = {
		{"block size", block + 4, 2, 2049, "block size 2049"},
		{"negative block size", block + 4, 2, 0xFFFF, "block size -1"},
		{"command count", block + 6, 2, 1000, "command_count"},
		{"fewer commands", block + 6, 2, 19, "commands take"},
		{"command size", command, 2, 7, "bad size"},
		{"command past its block", command, 2, 2000, "bad size"},
		{"verb", command + 2, 1, 21, "unknown verb"},
		{"player", command + 3, 1, 4, "names player 4"},
	};
	for (const damage &d : block_damages)
	{
		SCOPED_TRACE(d.what);
		refused_copy(film, d);
	}
	// The unset sender is allowed; bytes after the last block are not read.
	std::vector<uint8> fine = film;
	put_big_endian(&fine, command + 3, 255, 1);
	fine.push_back(0xEE);
	EXPECT_TRUE(validate_recording_data(fine.data(), static_cast<int32>(fine.size()), _normal_recording_type, "Fine",
		nullptr, nullptr, 0));
}

TEST_F(recording_damaged, saved_game_fields_are_checked_and_a_torn_saved_game_is_refused)
{
	new_game_data setup;
	harness_demo_setup(&setup);
	ASSERT_TRUE(harness_start_map(&setup));
	harness_run_ticks(40);
	record_command(chat_command(game->game_time, 60));
	ASSERT_TRUE(harness_save_game("Damaged"));
	harness_end_map();
	const std::vector<uint8> saved = harness_tag_data(harness_find_tag(SAVED_GAME_GROUP_TAG, "Damaged"));
	ASSERT_TRUE(validate_recording_data(saved.data(), static_cast<int32>(saved.size()), _saved_game_recording_type,
		"Damaged", nullptr, nullptr, 0));
	const size_t header = RECORDING_FILE_HEADER_SIZE;
	const damage save_damages[] = {
		{"type", 2, 2, 0, "type 0 where 1 belongs"},
		{"snapshot length", 16, 4, 2607, "bad"},
		{"width", header, 2, 161, "bad snapshot_length"},
		{"encoding", header + 16, 2, 1, "bad snapshot_length"},
		{"zoom", header + 20, 4, 0, "bad zoom_factor"},
		{"line count", header + 2604, 2, 11, "bad cached_console_line_count"},
		{"line owner", header + 24, 2, 16, "console line of player 16"},
	};
	for (const damage &d : save_damages)
	{
		SCOPED_TRACE(d.what);
		std::vector<uint8> broken = saved;
		if (strcmp(d.what, "line owner") == 0) put_big_endian(&broken, header + 2604, 1, 2);
		put_big_endian(&broken, d.offset, d.value, d.width);
		char error[256];
		EXPECT_FALSE(validate_recording_data(broken.data(), static_cast<int32>(broken.size()),
			_saved_game_recording_type, "Broken", nullptr, error, sizeof(error)));
		EXPECT_NE(strstr(error, d.text), nullptr) << error;
	}
	std::vector<uint8> torn(saved.begin(), saved.end() - 8);
	char error[256];
	EXPECT_FALSE(validate_recording_data(torn.data(), static_cast<int32>(torn.size()), _saved_game_recording_type, "Torn",
		nullptr, error, sizeof(error)));
	EXPECT_NE(strstr(error, "without its last block"), nullptr) << error;
	// A film is not a saved game, nor the other way round.
	EXPECT_FALSE(validate_recording_data(saved.data(), static_cast<int32>(saved.size()), _normal_recording_type, "Saved",
		nullptr, nullptr, 0));
}

TEST_F(recording_damaged, random_byte_flips_never_crash_the_reader)
{
	record_demo_film_with_commands(100, 30, 40);
	const std::vector<uint8> film = harness_tag_data(get_last_recording_handle());
	new_game_data setup;
	harness_demo_setup(&setup);
	ASSERT_TRUE(harness_start_map(&setup));
	harness_run_ticks(20);
	record_command(chat_command(game->game_time, 60));
	ASSERT_TRUE(harness_save_game("Flips"));
	harness_end_map();
	const std::vector<uint8> saved = harness_tag_data(harness_find_tag(SAVED_GAME_GROUP_TAG, "Flips"));
	uint32 seed = 12345;
	auto next = [&seed]() { return seed = seed * 1103515245u + 12345u, seed >> 8; };
	for (const std::vector<uint8> *source : {&film, &saved})
	{
		const int16 type = source == &film ? _normal_recording_type : _saved_game_recording_type;
		int32 accepted = 0;
		for (int32 i = 0; i < 1000; ++i)
		{
			std::vector<uint8> flipped = *source;
			const int32 flips = 1 + static_cast<int32>(next() % 4);
			for (int32 j = 0; j < flips; ++j) flipped[next() % flipped.size()] ^= static_cast<uint8>(1 + next() % 255);
			if (next() % 8 == 0) flipped.resize(next() % flipped.size());
			recording_file_summary summary;
			if (validate_recording_data(flipped.data(), static_cast<int32>(flipped.size()), type, "Flipped", &summary,
					nullptr, 0))
			{
				accepted += 1;
				EXPECT_LE(summary.playable_end, static_cast<int32>(flipped.size()));
			}
		}
		EXPECT_GT(accepted, 0);
	}
}

}

namespace {

class recording_seeds : public zerv_harness_fixture
{
};

// The fuzz targets start from a film and a saved game of the generated
// 'demo'; ZERV_WRITE_FILM_SEEDS=<source folder> writes them afresh.
TEST_F(recording_seeds, the_committed_seeds_are_a_sound_film_and_saved_game)
{
	const std::string corpus = std::string(ZERV_SOURCE_DIR) + "/fuzz/corpus/";
	if (getenv("ZERV_WRITE_FILM_SEEDS"))
	{
		new_game_data setup;
		harness_demo_setup(&setup);
		ASSERT_TRUE(harness_start_map(&setup));
		for (int32 i = 0; i < 120; ++i)
		{
			record_command(chat_command(game->game_time, static_cast<int16>(12 + i % 50), static_cast<uint8>(i % 4)));
			harness_run_ticks(1);
		}
		record_command(chat_command(game->game_time, 30, 255));
		ASSERT_TRUE(harness_save_game("Seed"));
		harness_run_ticks(10);
		harness_end_map();
		ASSERT_TRUE(write_bytes(corpus + "film_fuzzer/demo_film", harness_tag_data(get_last_recording_handle())));
		ASSERT_TRUE(write_bytes(corpus + "saved_game_fuzzer/demo_saved_game",
			harness_tag_data(harness_find_tag(SAVED_GAME_GROUP_TAG, "Seed"))));
	}
	const std::vector<uint8> film = read_bytes(corpus + "film_fuzzer/demo_film");
	const std::vector<uint8> saved = read_bytes(corpus + "saved_game_fuzzer/demo_saved_game");
	recording_file_summary summary;
	ASSERT_TRUE(validate_recording_data(film.data(), static_cast<int32>(film.size()), _normal_recording_type, "seed",
		&summary, nullptr, 0));
	EXPECT_GT(summary.block_count, 1);
	EXPECT_TRUE(summary.has_last_block);
	ASSERT_TRUE(validate_recording_data(saved.data(), static_cast<int32>(saved.size()), _saved_game_recording_type,
		"seed", &summary, nullptr, 0));
	EXPECT_GT(summary.command_count, 100);
}

}
