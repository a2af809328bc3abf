// The main menu as drawn: the golden frames, input on the buttons, fading.
#include "main_test_fixture.h"

#include <cstdio>
#include <string>

#include "bitmap_drawing.h"
#include "crc.h"
#include "world.h"

namespace {

class MainMenuFrame : public main_program_test
{
protected:
	void SetUp() override
	{
		main_program_test::SetUp();
		// A fresh headless window for this test.
		set_screen_parameters(-2, -2);
	}

	// The first drawn frame after entering the menu.
	uint32 draw_frame(void)
	{
		rectangle2d frame;
		get_game_screen_bounds(&frame);
		bitmap_data *back_buffer = get_render_destination(0, &frame);
		EXPECT_NE(back_buffer, nullptr);
		render_dialogs(back_buffer);
		release_render_destination(back_buffer);
		return frame_digest();
	}

	uint32 frame_digest(void)
	{
		const screen_test_hooks_data *hooks = get_screen_test_hooks();
		std::string bytes;
		for (int32 y = 0; y < 480; ++y)
		{
			for (int32 x = 0; x < 640; ++x)
			{
				uint32 pixel;
				memcpy(&pixel, hooks->surface_pixels + y * hooks->surface_bytes_per_row + 4 * x, 4);
				pixel &= 0x00FFFFFF;
				for (int b = 0; b < 4; ++b) bytes.push_back(static_cast<char>((pixel >> (8 * b)) & 0xFF));
			}
		}
		return calculate_data_crc(bytes.data(), static_cast<int32>(bytes.size()));
	}

	uint32 pixel(int32 x, int32 y)
	{
		const screen_test_hooks_data *hooks = get_screen_test_hooks();
		uint32 value;
		memcpy(&value, hooks->surface_pixels + y * hooks->surface_bytes_per_row + 4 * x, 4);
		return value;
	}

	void dump(const char *path)
	{
		const screen_test_hooks_data *hooks = get_screen_test_hooks();
		FILE *file = fopen(path, "wb");
		fprintf(file, "P6\n640 480\n255\n");
		for (int32 y = 0; y < 480; ++y)
			for (int32 x = 0; x < 640; ++x)
			{
				const uint8 *p = hooks->surface_pixels + y * hooks->surface_bytes_per_row + 4 * x;
				fputc(p[2], file);
				fputc(p[1], file);
				fputc(p[0], file);
			}
		fclose(file);
	}
};

// The first frames of a fresh directory with the generated set: New Game,
// Training Map, Preferences and Quit enabled, the other four disabled.
const uint32 golden_static_menu = 0xB829FFF8u;
const uint32 golden_overlay_menu = 0x0762CD1Eu;

action_data menu_key(int16 key)
{
	action_data action;
	clear_action(&action);
	action.key_code = key;
	return action;
}

action_data click_action(int16 x, int16 y)
{
	action_data action;
	clear_action(&action);
	set_action_flag(&action, _left_mouse_button_pressed_bit, TRUE);
	action.pointer = {x, y};
	return action;
}

// The centre of a menu button on screen.
point2d button_centre(int16 item)
{
	const dialog_data *dialog = find_open_dialog(MAIN_MENU_DIALOG_TAG_640_480);
	const dialog_item_state *state = find_dialog_item_state(dialog, item);
	return {static_cast<int16>(dialog->bounds.left + (state->bounds.left + state->bounds.right) / 2),
		static_cast<int16>(dialog->bounds.top + (state->bounds.top + state->bounds.bottom) / 2)};
}

TEST_F(MainMenuFrame, the_static_and_overlay_menus_draw_their_golden_frames)
{
	enter_state(_game_state_displaying_main_menu);
	// Drawing is not simulation: the synchronised stream stays where it was.
	const uint32 seed = get_random_seed();
	const uint32 a = draw_frame();
	EXPECT_EQ(get_random_seed(), seed);
	if (getenv("ZERV_DUMP_FRAMES")) dump("/tmp/zerv_menu_a.ppm");
	EXPECT_EQ(a, golden_static_menu) << std::hex << a;

	get_game_preferences()->flags &= ~_game_pref_static_main_menu_flag;
	enter_state(_game_state_displaying_main_menu);
	const uint32 b = draw_frame();
	if (getenv("ZERV_DUMP_FRAMES")) dump("/tmp/zerv_menu_b.ppm");
	EXPECT_EQ(b, golden_overlay_menu) << std::hex << b;

	// Idle frames fade the buttons away and change the picture.
	for (int32 i = 0; i < TICKS_UNTIL_BUTTONS_START_FADING_OUT + BUTTON_FADEOUT_TICKS + 2; ++i) main_menu_idle();
	EXPECT_TRUE(dialogs_are_dirty(NULL, NULL));
	EXPECT_NE(draw_frame(), b);
}

TEST_F(MainMenuFrame, a_faded_button_leaves_the_top_five_bits_of_the_backdrop)
{
	enter_state(_game_state_displaying_main_menu);
	dialog_data *dialog = find_open_dialog(MAIN_MENU_DIALOG_TAG_640_480);
	ASSERT_NE(dialog, nullptr);
	bitmap_set_item_visible(dialog, iQUIT, FALSE);
	draw_frame();
	const point2d at = button_centre(iQUIT);
	const int16 probe_x = static_cast<int16>(at.x - 80), probe_y = at.y; // inside the face, left of the label
	const uint32 backdrop = pixel(probe_x, probe_y);

	bitmap_set_item_visible(dialog, iQUIT, TRUE);
	set_button_transparency(dialog, iQUIT, 65535);
	draw_frame();
	EXPECT_EQ(pixel(probe_x, probe_y) & 0x00FFFFFF, backdrop & 0x00F8F8F8);
}

TEST_F(MainMenuFrame, keys_and_clicks_reach_the_buttons)
{
	enter_state(_game_state_displaying_main_menu);
	draw_frame();

	// N opens the new-game dialog, which answers at once and closes.
	action_data n = menu_key(_key_n);
	EXPECT_TRUE(dialogs_handled_action(&n));
	EXPECT_EQ(least_call_argument(&get_dialogs_test_hooks()->calls, "new_dialog", 0), NEW_GAME_DIALOG_TAG);
	EXPECT_EQ(find_open_dialog(NEW_GAME_DIALOG_TAG), nullptr);
	EXPECT_NE(main_globals.desired_state, _game_state_displaying_trailer);

	// A disabled button ignores a click, which the dialog still takes.
	const point2d continue_button = button_centre(iCONTINUE_GAME);
	action_data click = click_action(continue_button.x, continue_button.y);
	EXPECT_TRUE(dialogs_handled_action(&click));
	EXPECT_NE(main_globals.desired_state, _game_state_displaying_trailer);

	for (int32 way = 0; way < 3; ++way)
	{
		main_globals.desired_state = NONE;
		const point2d quit = button_centre(iQUIT);
		action_data action = way == 0 ? menu_key(_key_q) : way == 1 ? menu_key(_key_escape) :
			click_action(quit.x, quit.y);
		EXPECT_TRUE(dialogs_handled_action(&action)) << way;
		EXPECT_EQ(main_globals.desired_state, _game_state_displaying_trailer) << way;
	}

	// A key that no button has goes on to the game.
	action_data other = menu_key(_key_z);
	EXPECT_FALSE(dialogs_handled_action(&other));
}

TEST_F(MainMenuFrame, only_a_change_makes_the_dialogs_dirty)
{
	enter_state(_game_state_displaying_main_menu);
	EXPECT_TRUE(dialogs_are_dirty(NULL, NULL));
	draw_frame();
	EXPECT_FALSE(dialogs_are_dirty(NULL, NULL));
	dialog_data *dialog = find_open_dialog(MAIN_MENU_DIALOG_TAG_640_480);
	set_button_transparency(dialog, iNEW_GAME, 0);
	bitmap_set_item_enabled(dialog, iNEW_GAME, TRUE);
	EXPECT_FALSE(dialogs_are_dirty(NULL, NULL));
	set_button_transparency(dialog, iNEW_GAME, 0x1000);
	EXPECT_TRUE(dialogs_are_dirty(NULL, NULL));
	draw_frame();
	rectangle2d bounds = dialog->bounds;
	move_dialog(dialog, &bounds);
	EXPECT_FALSE(dialogs_are_dirty(NULL, NULL));
	offset_rectangle2d(&bounds, 1, 0);
	move_dialog(dialog, &bounds);
	EXPECT_TRUE(dialogs_are_dirty(NULL, NULL));
}

TEST_F(MainMenuFrame, a_frame_the_screen_asks_to_clear_is_black_outside_the_dialogs)
{
	enter_state(_game_state_displaying_main_menu);
	dialog_data *dialog = find_open_dialog(MAIN_MENU_DIALOG_TAG_640_480);
	ASSERT_NE(dialog, nullptr);
	rectangle2d bounds = dialog->bounds;
	offset_rectangle2d(&bounds, 320, 0);
	move_dialog(dialog, &bounds);

	rectangle2d frame;
	get_game_screen_bounds(&frame);
	bitmap_data *back_buffer = get_linear_backbuffer(&frame);
	ASSERT_NE(back_buffer, nullptr);
	const rgb_color white = {0xFFFF, 0xFFFF, 0xFFFF, 0};
	fill_rectangle_clipped(back_buffer, &white, &frame, &frame, 0, NULL);
	release_linear_backbuffer(back_buffer);

	get_dialogs_test_hooks()->report_must_clear = TRUE;
	idle_zerv(0, TRUE);
	for (int32 y = 0; y < 480; y += 7)
	{
		for (int32 x = 0; x < bounds.left - frame.left; x += 5)
		{
			ASSERT_EQ(pixel(x, y) & 0x00FFFFFF, 0u) << x << "," << y;
		}
	}
}

}
