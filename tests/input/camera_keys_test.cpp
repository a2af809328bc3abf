// The camera's keys against the running game's hot keys: a camera key moves
// the camera and switches nothing else.
#include "main_test_fixture.h"

namespace {

class camera_keys : public running_game_test
{
protected:
	// Leaving the game disposes its map and gives back the default screen,
	// for the tests after.
	void TearDown() override
	{
		if (game->state == _game_state_running) enter_state(_game_state_over);
		main_program_test::TearDown();
	}

	// The hot-key row a press reaches, NONE for none.
	static int16 hot_key_row(int16 key_code, uint16 modifiers)
	{
		get_main_test_hooks()->hot_key_row = -2;
		action_data action = key_action(key_code, modifiers);
		process_action(&action);
		return get_main_test_hooks()->hot_key_row;
	}
};

TEST_F(camera_keys, no_camera_key_is_a_hot_key)
{
	const uint16 modifier_sets[] = {0, _shift_down, _control_down, _command_down, _option_down,
		_shift_down | _control_down};
	int32 zoom_keys = 0;
	for (int16 key = 0; key < NUMBER_OF_KEYS; ++key)
	{
		const int16 bit = camera_action_bit_for_key(key);
		if (bit == NONE) continue;
		zoom_keys += bit == _zoom_in_bit || bit == _zoom_out_bit;
		for (const uint16 modifiers : modifier_sets)
		{
			const int16 row = hot_key_row(key, modifiers);
			// The up arrow's row acts only with Shift and the chat display's
			// bit, which no key press carries: the arrow stays the camera's.
			if (key == _key_up_arrow)
			{
				EXPECT_EQ(row, _key_up_arrow);
				EXPECT_FALSE(main_module.clear_display_chat);
				continue;
			}
			EXPECT_EQ(row, NONE) << "camera key " << key << " with modifiers " << modifiers;
		}
	}
	EXPECT_EQ(zoom_keys, 2);

	// The hot key that once shared its key with the zoom keeps its row.
	const auto flags = active_screen.prefs.flags;
	EXPECT_EQ(hot_key_row(_key_page_up, 0), _key_page_up);
	EXPECT_EQ(camera_action_bit_for_key(_key_page_up), NONE);
	EXPECT_EQ(camera_action_bit_for_key(_key_page_down), NONE);
	active_screen.prefs.flags = flags;
}

}
