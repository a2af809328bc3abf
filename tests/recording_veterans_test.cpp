// Films carry the veterans the game started with: the ones in place once the
// map start has restored them, not the store as it stood before.
#include <gtest/gtest.h>

#include <vector>

#include "monster_initializers.h"
#include "recording_test_support.h"
#include "support/recording_harness.h"
#include "tag_files/tag_files.h"

namespace {

#define VETERAN_FILM_TICKS 600

class recording_veterans : public zerv_harness_fixture
{
protected:
	void TearDown() override
	{
		harness_end_map();
		harness_set_command_script({});
		reset_monster_initializers();
		monster_initializer_globals->backup_count = 0;
		zerv_harness_fixture::TearDown();
	}

	// Veterans of the local player's own army, taken from a first game.
	static void prime_the_store(void)
	{
		new_game_data setup;
		harness_demo_setup(&setup);
		ASSERT_TRUE(harness_start_map(&setup));
		harness_run_ticks(1, 1);
		build_monster_initializers();
		harness_end_map();
		int16 count = 0;
		monster_initializer *records = get_monster_initializers(&count);
		ASSERT_GT(count, 1);
		for (int16 i = 0; i < count; ++i) records[i].experience = static_cast<uint8>(40 + i % 3);
	}

	static int32 most_experience_on_the_map(void)
	{
		int32 most = 0;
		for (int16 i = 0; i < monster_array.count; ++i)
		{
			const monster_data *monster = get_monster_data(i);
			if (monster) most = MAX(most, static_cast<int32>(monster->experience));
		}
		return most;
	}
};

TEST_F(recording_veterans, a_retried_game_replays_with_the_veterans_it_was_played_with)
{
	prime_the_store();
	// The retry's veterans are the backup; the store holds what the failed attempt left.
	backup_monster_initializers();
	const int16 kept = monster_initializer_globals->backup_count;
	monster_initializer_globals->count = 1;
	monster_initializer_globals->data[0].experience = 3;

	new_game_data setup;
	harness_demo_setup(&setup);
	setup.parameters.option_flags |= _game_option_allow_veterans_flag | _game_option_restore_veterans_flag;
	harness_set_command_script(film_orders(0, VETERAN_FILM_TICKS - 1));
	ASSERT_TRUE(harness_start_map(&setup));
	ASSERT_GE(most_experience_on_the_map(), 40) << "the veterans stand on the map";
	harness_run_ticks(VETERAN_FILM_TICKS, 1);
	const std::vector<harness_digest_entry> live = harness_digest_trail();
	harness_end_map();
	harness_set_command_script({});

	const std::vector<uint8> film = harness_tag_data(get_last_recording_handle());
	recording_file_summary summary;
	ASSERT_TRUE(validate_recording_data(film.data(), static_cast<int32>(film.size()), _normal_recording_type, "veterans",
		&summary, nullptr, 0));
	EXPECT_EQ(summary.header.monster_initializers_length, kept * MONSTER_INITIALIZER_STORED_SIZE);

	// The replaying process's own store does not matter.
	reset_monster_initializers();
	monster_initializer_globals->backup_count = 0;
	for (const int16 elapsed : {1, 1800})
	{
		SCOPED_TRACE(testing::Message() << "frames of " << elapsed);
		ASSERT_TRUE(harness_replay_film());
		EXPECT_GE(most_experience_on_the_map(), 40);
		harness_run_replay(elapsed);
		EXPECT_FALSE(game_flags_test(_game_is_out_of_sync_flag));
		expect_same_trail(harness_digest_trail(), live);
	}
}

// The section holds whole 40-byte records, at most the store's 400; a film
// that breaks this never starts, and the store is left alone.
TEST_F(recording_veterans, the_section_takes_whole_records_up_to_the_store)
{
	record_demo_film(30);
	const std::vector<uint8> bare = harness_tag_data(get_last_recording_handle());
	ASSERT_GT(bare.size(), static_cast<size_t>(RECORDING_FILE_HEADER_SIZE));
	ASSERT_EQ(get_big_endian(bare, 24, 4), 0u);

	// A film with veterans inserted after the header: offsets after it move along.
	const auto with_section = [&bare](int32 length, int32 stated) {
		std::vector<uint8> film(bare.begin(), bare.begin() + RECORDING_FILE_HEADER_SIZE);
		for (int32 i = 0; i < length; ++i)
		{
			// Unknown tags: nothing on the map takes them.
			film.push_back(static_cast<uint8>(i % MONSTER_INITIALIZER_STORED_SIZE < 16 ? 0x7F : 1));
		}
		film.insert(film.end(), bare.begin() + RECORDING_FILE_HEADER_SIZE, bare.end());
		put_big_endian(&film, 24, static_cast<uint32>(stated), 4);
		put_big_endian(&film, 28, static_cast<uint32>(RECORDING_FILE_HEADER_SIZE + stated), 4);
		put_big_endian(&film, 4, get_big_endian(bare, 4, 4) + static_cast<uint32>(length), 4);
		return film;
	};
	struct section
	{
		int32 length, stated;
		bool valid;
	};
	for (const section &s : {section{16000, 16000, true}, section{40, 40, true}, section{16040, 16040, false},
			 section{41, 41, false}, section{40, 39, false}})
	{
		SCOPED_TRACE(testing::Message() << s.length << " bytes stated as " << s.stated);
		const std::vector<uint8> film = with_section(s.length, s.stated);
		const int32 handle = harness_write_tag(RECORDING_GROUP_TAG, "Veteran Film", film);
		ASSERT_NE(handle, NONE);
		monster_initializer_globals->count = 7;
		harness_end_map();
		new_game_data setup;
		EXPECT_EQ(enter_replay_immediately(tag_file_get_header_subgroup(handle), &setup) != FALSE, s.valid);
		if (!s.valid)
		{
			EXPECT_TRUE(replay_over());
			EXPECT_EQ(monster_initializer_globals->count, 7);
			continue;
		}
		ASSERT_TRUE(harness_start_map(&setup));
		EXPECT_EQ(monster_initializer_globals->count, s.length / MONSTER_INITIALIZER_STORED_SIZE);
		EXPECT_EQ(monster_initializer_globals->backup_count, monster_initializer_globals->count);
		harness_end_map();
	}
}

} // namespace
