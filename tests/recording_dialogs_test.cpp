// The film, load and save dialogs with the player's answers injected, and
// the copies of the last recording.
#include <gtest/gtest.h>

#include "bitmap_dialogs/dialogs.h"
#include "bitmap_dialogs/screens.h"
#include "main_globals.h"
#include "recording_test_support.h"
#include "tag_files/tag_files.h"
#include "zerv_networking/zerv_networking.h"

#include <cstddef>

namespace {

class recording_dialogs : public zerv_harness_fixture
{
};

int32 saved_ending_time(const char *name)
{
	const std::vector<uint8> data = harness_tag_data(harness_find_tag(SAVED_GAME_GROUP_TAG, name));
	return data.size() < 12 ? NONE : static_cast<int32>(get_big_endian(data, 8, 4));
}

TEST_F(recording_dialogs, the_save_dialog_saves_under_its_name_only_when_told_and_asks_before_replacing)
{
	new_game_data setup;
	harness_demo_setup(&setup);
	ASSERT_TRUE(harness_start_map(&setup));
	harness_run_ticks(30);
	const std::string name = get_replay_string(1);

	inject_modal_dialog_answer(iCANCEL_SAVE);
	EXPECT_TRUE(save_game());
	EXPECT_FALSE(save_game_exists());

	inject_modal_dialog_answer(iSAVE_GAME);
	EXPECT_TRUE(save_game());
	EXPECT_EQ(saved_ending_time(name.c_str()), 30);
	EXPECT_TRUE(could_revert_to_last_saved_game());

	// The name is taken: without leave to replace, the dialog stays and nothing changes.
	harness_run_ticks(10);
	get_screens_test_hooks()->replace_answer = 0;
	inject_modal_dialog_answer(iSAVE_GAME);
	EXPECT_TRUE(save_game());
	EXPECT_EQ(saved_ending_time(name.c_str()), 30);
	get_screens_test_hooks()->replace_answer = 1;
	inject_modal_dialog_answer(iSAVE_GAME);
	EXPECT_TRUE(save_game());
	EXPECT_EQ(saved_ending_time(name.c_str()), 40);
	harness_end_map();
	EXPECT_EQ(open_dialog_count(), 0);
}

TEST_F(recording_dialogs, the_load_dialog_restores_the_chosen_game_and_deletes_after_asking)
{
	new_game_data setup;
	harness_demo_setup(&setup);
	ASSERT_TRUE(harness_start_map(&setup));
	harness_run_ticks(60);
	ASSERT_TRUE(harness_save_game("Chosen"));
	harness_end_map();
	reset_last_saved_game();

	main_global_data *m = &main_globals;
	inject_modal_dialog_answer(iLOAD_GAME);
	ASSERT_TRUE(continue_saved_game(&m->new_game_data, &m->save_game_ticks, &m->save_game_observer,
		&m->save_game_zoom_factor, m->cached_console_text, &m->cached_console_line_count));
	EXPECT_EQ(m->save_game_ticks, 60);
	EXPECT_EQ(m->new_game_data.parameters.type, _game_type_replay);
	EXPECT_EQ(get_recording_state(), _state_starting_replay);
	EXPECT_TRUE(could_revert_to_last_saved_game());
	harness_end_map();
	EXPECT_EQ(get_recording_state(), _state_replaying);
	harness_end_map();

	get_screens_test_hooks()->delete_answer = 1;
	inject_modal_dialog_answer(iDELETE_GAME);
	inject_modal_dialog_answer(iCANCEL_LOAD);
	EXPECT_FALSE(continue_saved_game(&m->new_game_data, &m->save_game_ticks, &m->save_game_observer,
		&m->save_game_zoom_factor, m->cached_console_text, &m->cached_console_line_count));
	EXPECT_FALSE(save_game_exists());
	EXPECT_FALSE(could_revert_to_last_saved_game());
}

TEST_F(recording_dialogs, the_film_dialog_starts_films_and_keeps_copies_of_the_last_one)
{
	record_demo_film(40);
	const std::vector<uint8> last = harness_tag_data(get_last_recording_handle());
	ASSERT_FALSE(last.empty());

	new_game_data setup;
	inject_modal_dialog_answer(iCANCEL_REPLAY);
	EXPECT_FALSE(replay_manager(&setup));
	EXPECT_TRUE(replay_over());

	// Kept under a new name, then started from the list.
	snprintf(get_screens_test_hooks()->put_tag_name, SCREENS_ANSWER_NAME_LENGTH, "%s", "Kept Film");
	inject_modal_dialog_answer(iSAVE_LAST_REPLAY);
	inject_modal_dialog_answer(iBEGIN_REPLAY);
	ASSERT_TRUE(replay_manager(&setup));
	EXPECT_EQ(harness_tag_data(harness_find_tag(RECORDING_GROUP_TAG, "Kept Film")), last);
	EXPECT_EQ(setup.parameters.type, _game_type_replay);
	EXPECT_EQ(get_recording_state(), _state_starting_replay);
	harness_end_map();
	harness_end_map();

	inject_modal_dialog_answer(iREPLAY_LAST_GAME);
	ASSERT_TRUE(replay_manager(&setup));
	EXPECT_STREQ(get_saved_game_name(), get_replay_string(0));
	harness_end_map();
	harness_end_map();
	EXPECT_EQ(open_dialog_count(), 0);
}

// Unanswered, the dialog a person opened takes what they would choose: the
// last game, else the selected film; shown again by itself, it closes.
TEST_F(recording_dialogs, the_film_dialog_answers_for_a_person_only)
{
	record_demo_film(40);
	new_game_data setup;
	EXPECT_FALSE(reopen_replay_manager(&setup));
	EXPECT_TRUE(replay_over());

	ASSERT_TRUE(replay_manager(&setup));
	EXPECT_STREQ(get_saved_game_name(), get_replay_string(0));
	harness_end_map();
	harness_end_map();

	ASSERT_TRUE(duplicate_last_replay_as("Kept Film"));
	ASSERT_TRUE(tag_file_delete(get_last_recording_handle()));
	ASSERT_TRUE(replay_manager(&setup));
	EXPECT_STREQ(get_saved_game_name(), "Kept Film");
	harness_end_map();
	harness_end_map();
	EXPECT_EQ(open_dialog_count(), 0);
}

// A selected film whose plugins are missing: the dialog a person opened
// leaves "Find Plugins" to be asked for, with the film's map there or not.
TEST_F(recording_dialogs, the_film_dialog_never_takes_find_plugins_for_a_person)
{
	record_demo_film(40);
	ASSERT_TRUE(duplicate_last_replay_as("Kept Film"));
	ASSERT_TRUE(tag_file_delete(get_last_recording_handle()));
	std::vector<uint8> film = harness_tag_data(harness_find_tag(RECORDING_GROUP_TAG, "Kept Film"));
	const size_t parameters = FILM_GAME_OFFSET + offsetof(new_game_data, parameters);
	const size_t plugins = parameters + offsetof(new_game_parameter_data, plugin_data);
	ASSERT_GT(film.size(), plugins + 32);
	// One plugin nobody has: count, checksum, name, url.
	const uint8 lost[] = {0, 1, 0x5A, 0x17, 0x00, 0x42, 'L', 'o', 's', 't', 0, 0};
	memcpy(&film[plugins], lost, sizeof(lost));
	const size_t count = parameters + offsetof(new_game_parameter_data, plugin_count);
	film[count] = 0;
	film[count + 1] = 1;
	ASSERT_NE(harness_write_tag(RECORDING_GROUP_TAG, "Kept Film", film), NONE);

	const least_call_log *calls = &get_zerv_networking_test_hooks()->calls;
	new_game_data setup;
	for (const bool map_missing : {false, true})
	{
		if (map_missing)
		{
			const size_t scenario = parameters + offsetof(new_game_parameter_data, scenario_tag);
			const uint8 nowhere[] = {'z', 'z', '9', '9'};
			memcpy(&film[scenario], nowhere, sizeof(nowhere));
			ASSERT_NE(harness_write_tag(RECORDING_GROUP_TAG, "Kept Film", film), NONE);
		}
		const int32 shown = least_call_count(calls, "open_missing_plugins_dialog");
		EXPECT_FALSE(replay_manager(&setup)) << "map missing " << map_missing;
		EXPECT_EQ(least_call_count(calls, "open_missing_plugins_dialog"), shown) << "map missing " << map_missing;
		EXPECT_TRUE(replay_over());

		// Asked for, the button shows what is missing.
		inject_modal_dialog_answer(iBEGIN_REPLAY);
		EXPECT_FALSE(replay_manager(&setup));
		EXPECT_EQ(least_call_count(calls, "open_missing_plugins_dialog"), shown + 1) << "map missing " << map_missing;
	}
	EXPECT_EQ(open_dialog_count(), 0);
}

TEST_F(recording_dialogs, a_crash_keeps_the_film_so_far_under_its_own_name)
{
	new_game_data setup;
	harness_demo_setup(&setup);
	ASSERT_TRUE(harness_start_map(&setup));
	harness_run_ticks(25);
	record_command(chat_command(game->game_time, 50));
	recording_crash_handler();
	EXPECT_EQ(get_recording_state(), _state_uninitialized);
	const std::vector<uint8> last = harness_tag_data(get_last_recording_handle());
	recording_file_summary summary;
	ASSERT_TRUE(validate_recording_data(last.data(), static_cast<int32>(last.size()), _normal_recording_type, "last",
		&summary, nullptr, 0));
	EXPECT_EQ(summary.command_count, 2) << "the first tick's formation definition and the chat line";
	EXPECT_EQ(summary.header.recording_ending_time, 25);

	int32 handles[8];
	tag_file_info filter;
	tag_file_info_new(&filter);
	filter.group_tag = RECORDING_GROUP_TAG;
	const int32 count = tag_file_enumerate(&filter, handles, 8);
	ASSERT_EQ(count, 2);
	bool found = false;
	for (int32 i = 0; i < count; ++i)
	{
		const std::string name = tag_file_name_get(handles[i]);
		if (name.rfind("Crash- ", 0) != 0) continue;
		found = true;
		EXPECT_EQ(name.find(':'), std::string::npos);
		EXPECT_EQ(harness_tag_data(handles[i]), last);
	}
	EXPECT_TRUE(found);
	harness_end_map();
}

}
