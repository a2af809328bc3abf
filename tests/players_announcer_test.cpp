// The announcer's queue as the players and the game clock fill it.
#include <gtest/gtest.h>

#include <vector>

#include "players_test_support.h"

namespace {

class players_announcer : public players_fixture
{
protected:
	void SetUp() override
	{
		players_fixture::SetUp();
		get_game_sounds_test_hooks()->ignore_mute = TRUE;
	}

	static std::vector<int16> queued(void)
	{
		int16 sounds[MAXIMUM_SOUND_QUEUE_SIZE];
		const int16 count = get_queued_game_sounds(sounds, MAXIMUM_SOUND_QUEUE_SIZE);
		return std::vector<int16>(sounds, sounds + count);
	}
};

TEST_F(players_announcer, casualties_merge_and_repeats_are_heard_once)
{
	queue_game_sound(_game_sound_casualty);
	queue_game_sound(_game_sound_flag_captured);
	queue_game_sound(_game_sound_casualty);
	queue_game_sound(_game_sound_casualty);
	queue_game_sound(_game_sound_flag_captured);
	EXPECT_EQ(queued(), (std::vector<int16>{_game_sound_casualties, _game_sound_flag_captured}));
}

TEST_F(players_announcer, a_fifth_announcement_is_dropped_and_bad_sounds_ignored)
{
	for (int16 sound : {0, 1, 2, 3, 4}) queue_game_sound(sound);
	queue_game_sound(NONE);
	queue_game_sound(NUMBER_OF_GAME_SOUNDS);
	EXPECT_EQ(queued(), (std::vector<int16>{0, 1, 2, 3}));

	initialize_game_sounds_for_new_map();
	EXPECT_TRUE(queued().empty());
}

TEST_F(players_announcer, a_cooperative_game_hears_only_its_own_announcements_and_a_muted_one_none)
{
	record.option_flags |= _game_option_cooperative_flag;
	queue_game_sound(_game_sound_flag_captured);
	queue_game_sound(_game_sound_victory_imminent);
	queue_game_sound(_game_sound_incoming_whisper);
	EXPECT_EQ(queued(), (std::vector<int16>{_game_sound_incoming_whisper}));

	initialize_game_sounds_for_new_map();
	get_game_sounds_test_hooks()->ignore_mute = FALSE;
	queue_game_sound(_game_sound_incoming_whisper);
	EXPECT_TRUE(queued().empty());
}

} // namespace
