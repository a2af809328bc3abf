// Saved games: saving at a tick, restoring through the shell's own path,
// and the film that goes on from there.
#include <gtest/gtest.h>

#include "CoreLibrary/tag_files/x_files.h"
#include "bitmap_dialogs/screens.h"
#include "console/console.h"
#include "observer.h"
#include "main_globals.h"
#include "recording_test_support.h"
#include "tag_files/tag_files.h"

namespace {

class recording_save : public zerv_harness_fixture
{
};

const int32 save_tick = 600;
const int32 end_tick = 1200; // both sides still stand

// Plays 'demo' to the saved tick, saves, plays on to the end tick (chat
// commands recorded before and after the save) and ends the map.
std::vector<harness_digest_entry> play_and_save(const char *name)
{
	new_game_data setup;
	harness_demo_setup(&setup);
	harness_set_command_script(film_orders(0, end_tick));
	if (!harness_start_map(&setup)) return {};
	while (game->game_time < end_tick && !harness_game_is_finished())
	{
		if (game->game_time == save_tick && !harness_save_game(name)) return {};
		harness_run_ticks(1, 1);
	}
	std::vector<harness_digest_entry> trail = harness_digest_trail();
	harness_end_map();
	harness_set_command_script({});
	return trail;
}

int32 count_chat_commands(const std::vector<uint8> &film)
{
	recording_file_summary summary;
	if (!validate_recording_data(film.data(), static_cast<int32>(film.size()), _normal_recording_type, "film", &summary,
			nullptr, 0))
	{
		return NONE;
	}
	int32 count = 0;
	for (int32 offset = summary.header.data_offset; offset + 8 <= summary.playable_end;)
	{
		const int32 size = static_cast<int16>(get_big_endian(film, static_cast<size_t>(offset) + 4, 2));
		for (int32 inside = 0; inside < size;)
		{
			const size_t at = static_cast<size_t>(offset + 8 + inside);
			count += film[at + 2] == _command_chat;
			inside += static_cast<int16>(get_big_endian(film, at, 2));
		}
		offset += 8 + size;
	}
	return count;
}

std::vector<harness_digest_entry> prefix(const std::vector<harness_digest_entry> &trail, int32 tick)
{
	std::vector<harness_digest_entry> result;
	for (const harness_digest_entry &entry : trail)
	{
		if (entry.game_time <= tick) result.push_back(entry);
	}
	return result;
}

TEST_F(recording_save, a_restored_game_goes_on_as_the_uninterrupted_one_and_its_new_film_replays_it)
{
	const std::vector<harness_digest_entry> original = play_and_save("Slot");
	ASSERT_FALSE(original.empty());
	ASSERT_TRUE(could_revert_to_last_saved_game());
	const int32 orders = count_chat_commands(harness_tag_data(get_last_recording_handle()));
	EXPECT_EQ(orders, static_cast<int32>(film_orders(0, end_tick).size()));

	ASSERT_TRUE(harness_restore_last_saved_game());
	EXPECT_EQ(game->game_time, save_tick);
	EXPECT_EQ(game->type, _game_type_local);
	EXPECT_EQ(get_recording_state(), _state_recording);
	EXPECT_EQ(game_local_time_get(), game->target_time);
	EXPECT_FALSE(restoring_from_saved_game());
	// The camera and the console come back with it; the progress dialog closes.
	EXPECT_EQ(least_call_count(&get_console_test_hooks()->calls, "restore_cached_console_text"), 1);
	EXPECT_EQ(least_call_count(&get_observer_test_hooks()->calls, "set_actual_observer_location_and_zoom"), 1);
	EXPECT_EQ(least_call_count(&get_screens_test_hooks()->calls, "close_save_game_progress_dialog"), 1);
	expect_same_trail(harness_digest_trail(), prefix(original, save_tick));

	// The orders after the saved tick come again, as the player gives them again.
	harness_set_command_script(film_orders(save_tick + 1, end_tick));
	while (game->game_time < end_tick && !harness_game_is_finished()) harness_run_ticks(1, 1);
	const std::vector<harness_digest_entry> restored = harness_digest_trail();
	harness_end_map();
	harness_set_command_script({});
	ASSERT_FALSE(restored.empty());
	EXPECT_EQ(restored.front().game_time, 1);
	expect_same_trail(restored, original);

	// The restored game's film holds the commands before and after the save.
	recording_file_summary summary;
	const std::vector<uint8> film = harness_tag_data(get_last_recording_handle());
	ASSERT_TRUE(validate_recording_data(film.data(), static_cast<int32>(film.size()), _normal_recording_type, "last",
		&summary, nullptr, 0));
	EXPECT_EQ(count_chat_commands(film), orders);
	EXPECT_EQ(summary.header.game.parameters.type, _game_type_local);
	ASSERT_TRUE(harness_replay_film());
	harness_run_replay(30);
	expect_same_trail(harness_digest_trail(), original);
	harness_end_map();

	// One last recording, whatever was copied.
	int32 handles[8];
	tag_file_info filter;
	tag_file_info_new(&filter);
	filter.group_tag = RECORDING_GROUP_TAG;
	snprintf(filter.name, sizeof(filter.name), "%s", get_replay_string(0));
	EXPECT_EQ(tag_file_enumerate(&filter, handles, 8), 1);
}

TEST_F(recording_save, saving_twice_under_one_name_keeps_the_second_and_a_deleted_one_cannot_be_reverted_to)
{
	new_game_data setup;
	harness_demo_setup(&setup);
	ASSERT_TRUE(harness_start_map(&setup));
	EXPECT_FALSE(could_revert_to_last_saved_game());
	harness_run_ticks(100);
	ASSERT_TRUE(harness_save_game("Twice"));
	harness_run_ticks(100);
	ASSERT_TRUE(harness_save_game("Twice"));
	EXPECT_STREQ(get_saved_game_name(), get_replay_string(0));

	const int32 handle = harness_find_tag(SAVED_GAME_GROUP_TAG, "Twice");
	ASSERT_NE(handle, NONE);
	EXPECT_EQ(tag_file_count_subgroup_headers(SAVED_GAME_GROUP_TAG), 1);
	const std::vector<uint8> data = harness_tag_data(handle);
	recording_file_summary summary;
	ASSERT_TRUE(validate_recording_data(data.data(), static_cast<int32>(data.size()), _saved_game_recording_type, "Twice",
		&summary, nullptr, 0));
	EXPECT_EQ(summary.header.recording_ending_time, 200);
	EXPECT_EQ(summary.header.snapshot_length, SAVE_GAME_HEADER_SIZE + 160 * 120 * 4);
	EXPECT_TRUE(save_game_exists());

	int16 width = 0, height = 0, encoding = 0;
	void *pixels = read_save_game_snapshot(handle, &width, &height, &encoding);
	ASSERT_NE(pixels, nullptr);
	EXPECT_EQ(width, 160);
	EXPECT_EQ(height, 120);
	EXPECT_EQ(encoding, 2);
	// The terrain under the camera is in the picture.
	const uint8 *bytes = static_cast<const uint8 *>(pixels);
	int32 lit = 0;
	for (int32 i = 0; i < 160 * 120 * 4; ++i) lit += bytes[i] != 0;
	EXPECT_GT(lit, 160 * 120);
	dispose_pointer(pixels);

	EXPECT_TRUE(could_revert_to_last_saved_game());
	ASSERT_TRUE(tag_file_delete(handle));
	EXPECT_FALSE(could_revert_to_last_saved_game());
	reset_last_saved_game();
	harness_end_map();
}

// A snapshot whose stated size disagrees with its section is not read.
TEST_F(recording_save, a_snapshot_is_read_only_when_its_size_matches_its_section)
{
	new_game_data setup;
	harness_demo_setup(&setup);
	ASSERT_TRUE(harness_start_map(&setup));
	harness_run_ticks(30);
	ASSERT_TRUE(harness_save_game("Picture"));
	harness_end_map();
	std::vector<uint8> data = harness_tag_data(harness_find_tag(SAVED_GAME_GROUP_TAG, "Picture"));
	ASSERT_FALSE(data.empty());
	// Width at the start of the saved-game header: half the picture the section holds.
	put_big_endian(&data, RECORDING_FILE_HEADER_SIZE, 80, 2);
	const int32 handle = harness_write_tag(SAVED_GAME_GROUP_TAG, "Picture", data);
	ASSERT_NE(handle, NONE);
	EXPECT_EQ(read_save_game_snapshot(handle, nullptr, nullptr, nullptr), nullptr);
}

// Nothing a restore needs may be missing when it reaches the saved tick: a
// game that ends first, or a saved game that vanishes midway, fails the start.
TEST_F(recording_save, a_restore_that_cannot_reach_its_tick_fails_to_the_menu)
{
	new_game_data setup;
	harness_demo_setup(&setup);
	setup.parameters.time_limit = 200;
	ASSERT_TRUE(harness_start_map(&setup));
	harness_run_ticks(100);
	ASSERT_TRUE(harness_save_game("Short"));
	harness_end_map();

	// Claimed saved past the game's end.
	std::vector<uint8> data = harness_tag_data(harness_find_tag(SAVED_GAME_GROUP_TAG, "Short"));
	put_big_endian(&data, 8, 5000, 4);
	ASSERT_NE(harness_write_tag(SAVED_GAME_GROUP_TAG, "Short", data), NONE);
	EXPECT_FALSE(harness_restore_last_saved_game());
	EXPECT_TRUE(game_flags_test(_game_is_disabled_flag));
	EXPECT_FALSE(restoring_from_saved_game());
	EXPECT_NE(get_recording_state(), _state_recording);

	// The tag goes away after the start.
	put_big_endian(&data, 8, 100, 4);
	ASSERT_NE(harness_write_tag(SAVED_GAME_GROUP_TAG, "Short", data), NONE);
	harness_end_map();
	main_global_data *m = &main_globals;
	ASSERT_TRUE(revert_to_last_saved_game(&m->new_game_data, &m->save_game_ticks, &m->save_game_observer,
		&m->save_game_zoom_factor, m->cached_console_text, &m->cached_console_line_count));
	ASSERT_TRUE(tag_file_delete(harness_find_tag(SAVED_GAME_GROUP_TAG, "Short")));
	m->restoring_from_save_game = TRUE;
	harness_end_map();
	enter_running_state();
	EXPECT_TRUE(game_flags_test(_game_is_disabled_flag));
	EXPECT_FALSE(restoring_from_saved_game());
	EXPECT_EQ(get_recording_state(), _state_replay_done);
	harness_end_map();
}

// Every creation-path failure leaves the file it would replace as it was.
TEST_F(recording_save, failed_writes_leave_the_old_files_byte_identical)
{
	const std::vector<harness_digest_entry> original = play_and_save("Kept");
	ASSERT_FALSE(original.empty());
	ASSERT_TRUE(duplicate_last_replay_as("Copy"));
	const std::vector<uint8> saved = harness_tag_file_bytes(SAVED_GAME_GROUP_TAG, "Kept");
	const std::vector<uint8> copy = harness_tag_file_bytes(RECORDING_GROUP_TAG, "Copy");
	const std::vector<uint8> last = harness_tag_file_bytes(RECORDING_GROUP_TAG, get_replay_string(0));
	ASSERT_FALSE(saved.empty());
	ASSERT_FALSE(copy.empty());
	ASSERT_FALSE(last.empty());

	for (int16 stage = _single_file_replace_fail_create; stage < NUMBER_OF_SINGLE_FILE_REPLACE_FAILURES; ++stage)
	{
		SCOPED_TRACE(testing::Message() << "failure stage " << stage);
		new_game_data setup;
		harness_demo_setup(&setup);
		ASSERT_TRUE(harness_start_map(&setup));
		harness_run_ticks(50);
		single_file_replace_inject_failure(stage);
		EXPECT_FALSE(harness_save_game("Kept"));
		single_file_replace_inject_failure(_single_file_replace_fail_none);
		harness_end_map();
		EXPECT_EQ(harness_tag_file_bytes(SAVED_GAME_GROUP_TAG, "Kept"), saved);
		// That game's film is the last recording now.
		const std::vector<uint8> current_last = harness_tag_file_bytes(RECORDING_GROUP_TAG, get_replay_string(0));

		single_file_replace_inject_failure(stage);
		EXPECT_FALSE(duplicate_last_replay(tag_file_get_header_subgroup(harness_find_tag(RECORDING_GROUP_TAG, "Copy"))));
		single_file_replace_inject_failure(_single_file_replace_fail_none);
		EXPECT_EQ(harness_tag_file_bytes(RECORDING_GROUP_TAG, "Copy"), copy);

		// The restore's copy into a new last recording fails: the old one stays.
		main_global_data *m = &main_globals;
		ASSERT_TRUE(revert_to_last_saved_game(&m->new_game_data, &m->save_game_ticks, &m->save_game_observer,
			&m->save_game_zoom_factor, m->cached_console_text, &m->cached_console_line_count));
		m->restoring_from_save_game = TRUE;
		harness_end_map();
		single_file_replace_inject_failure(stage);
		enter_running_state();
		single_file_replace_inject_failure(_single_file_replace_fail_none);
		EXPECT_TRUE(game_flags_test(_game_is_disabled_flag));
		harness_end_map();
		EXPECT_EQ(harness_tag_file_bytes(RECORDING_GROUP_TAG, get_replay_string(0)), current_last);
	}
}

}
