// The menu played as a person plays it: clicks and key presses pushed as SDL
// events, read by the platform layer and run through the main loop.
#include "main_test_fixture.h"

#include <SDL/SDL.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "interface.h"
#include "sniffing.h"
#include "CoreLibrary/cseries/test_hooks.h"

namespace {

class MenuPlay : public main_program_test
{
protected:
	void SetUp() override
	{
		install_sdl_platform();
		main_program_test::SetUp();
		if (HasFatalFailure()) return;
		test_set_manual_clock(true);
		// The sampler runs as in the main program, its turns made by the test.
		set_keyboard_queue_task_state(TRUE);
		set_screen_parameters(-2, -2);
		enter_state(_game_state_displaying_main_menu);
		ASSERT_NE(find_open_dialog(MAIN_MENU_DIALOG_TAG_640_480), nullptr);
	}

	void TearDown() override
	{
		set_keyboard_queue_task_state(FALSE);
		main_program_test::TearDown();
	}

	// Passes of the main loop, the sampler turning as its timer would, until
	// done() or the limit.
	static bool run_until(const std::function<bool()> &done, int32 passes)
	{
		for (int32 i = 0; i < passes && !done(); ++i)
		{
			run_input_sampler_turns(2);
			update_everything();
		}
		return done();
	}

	static void push_button(int16 type, int32 x, int32 y)
	{
		SDL_Event event = {};
		event.type = static_cast<Uint8>(type);
		event.button.button = SDL_BUTTON_LEFT;
		event.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
		event.button.x = static_cast<Uint16>(x);
		event.button.y = static_cast<Uint16>(y);
		ASSERT_EQ(SDL_PushEvent(&event), 0);
	}

	// A click at the centre of a menu button.
	static void click_menu_button(int16 item)
	{
		const dialog_data *dialog = find_open_dialog(MAIN_MENU_DIALOG_TAG_640_480);
		ASSERT_NE(dialog, nullptr);
		const dialog_item_state *button = find_dialog_item_state(dialog, item);
		ASSERT_NE(button, nullptr);
		const int32 x = dialog->bounds.left + (button->bounds.left + button->bounds.right) / 2;
		const int32 y = dialog->bounds.top + (button->bounds.top + button->bounds.bottom) / 2;
		push_button(SDL_MOUSEBUTTONDOWN, x, y);
		push_button(SDL_MOUSEBUTTONUP, x, y);
	}

	// A key pressed, held for a few passes, and let go.
	static void press_key(SDLKey key)
	{
		SDL_Event event = {};
		event.type = SDL_KEYDOWN;
		event.key.state = SDL_PRESSED;
		event.key.keysym.sym = key;
		ASSERT_EQ(SDL_PushEvent(&event), 0);
		run_until([] { return false; }, 3);
		event.type = SDL_KEYUP;
		event.key.state = SDL_RELEASED;
		ASSERT_EQ(SDL_PushEvent(&event), 0);
		run_until([] { return false; }, 1);
	}

	bool game_started(const char *mesh_name)
	{
		const std::string line = std::string("Starting mesh \"") + mesh_name + "\"...";
		return run_until([&] { return game->state == _game_state_running && game->game_time > 30; }, 200) &&
			log_text().find(line) != std::string::npos;
	}

	// Waits for the test case and past its grace period, when a wrong key fades "wrong".
	static bool armed_past_grace(int16 test_case)
	{
		if (!run_until([&] { return get_sniffing_state()->test_case == test_case; }, 200)) return false;
		const int32 armed = game->game_time;
		return run_until([&] { return game->game_time > armed + 160; }, 200);
	}

	static int32 wrong_fades(void)
	{
		return least_call_count(&get_interface_test_hooks()->calls, "set_ingame_fade");
	}
};

TEST_F(MenuPlay, clicking_new_game_starts_the_first_level)
{
	click_menu_button(iNEW_GAME);
	ASSERT_TRUE(game_started("First Level")) << log_text();
	EXPECT_EQ(game->type, _game_type_local);
	EXPECT_EQ(main_globals.new_game_data.parameters.scenario_tag, TAG("l1  "));
	EXPECT_EQ(main_globals.new_game_data.parameters.difficulty_level, get_game_preferences()->difficulty_level);
}

// Each game's per-tick digests, by the kind of game that ran the tick.
struct typed_trails
{
	std::vector<std::pair<int32, uint64>> live, replayed;
};

void record_typed_digest(int32 game_time, void *data)
{
	typed_trails *trails = static_cast<typed_trails *>(data);
	if (game->type == _game_type_local) trails->live.emplace_back(game_time, zerv_state_digest());
	if (game->type == _game_type_replay) trails->replayed.emplace_back(game_time, zerv_state_digest());
}

int32 occurrences(const std::string &text, const std::string &line)
{
	int32 count = 0;
	for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) count += 1;
	return count;
}

// A short game, then Replay clicked: the film plays the game tick for tick to
// its end, and the menu comes back with the film started once.
TEST_F(MenuPlay, replay_plays_the_last_game_to_its_end_and_returns_to_the_menu)
{
	typed_trails trails;
	set_zerv_tick_hook(record_typed_digest, &trails);
	click_menu_button(iNEW_GAME);
	ASSERT_TRUE(game_started("First Level")) << log_text();
	ASSERT_TRUE(run_until([] { return game->game_time >= 200; }, 400));
	// Leaving the game as its quit dialog does.
	end_game_and_change_state();
	const auto menu_is_back = [] {
		return game->state == _game_state_displaying_main_menu && find_open_dialog(MAIN_MENU_DIALOG_TAG_640_480);
	};
	ASSERT_TRUE(run_until(menu_is_back, 20));
	ASSERT_FALSE(trails.live.empty());
	EXPECT_TRUE(dialog_item_flags(MAIN_MENU_DIALOG_TAG_640_480, iREPLAY_GAME) & _dialog_item_enabled_flag);

	click_menu_button(iREPLAY_GAME);
	ASSERT_TRUE(run_until([] { return game->state == _game_state_running && game->type == _game_type_replay; }, 20))
		<< "the click started no replay\n" << log_text();
	ASSERT_TRUE(run_until(menu_is_back, 1000)) << "the replay did not end at game time " << game->game_time;
	// The menu stays, and shows no film again by itself.
	run_until([] { return false; }, 60);
	set_zerv_tick_hook(nullptr, nullptr);

	EXPECT_TRUE(menu_is_back());
	EXPECT_FALSE(main_module.running_user_replay);
	const std::string log = log_text();
	EXPECT_EQ(occurrences(log, "Replaying film"), 1) << log;
	EXPECT_EQ(occurrences(log, "Quitting replay..."), 1) << log;
	ASSERT_EQ(trails.replayed.size(), trails.live.size());
	for (size_t i = 0; i < trails.live.size(); ++i)
	{
		ASSERT_EQ(trails.replayed[i].first, trails.live[i].first) << "entry " << i;
		ASSERT_EQ(trails.replayed[i].second, trails.live[i].second) << "tick " << trails.live[i].first;
	}
}

// The asked key passes each step without a "wrong", even after the grace
// period; another camera key then fades "wrong" once; the chain ends in victory.
TEST_F(MenuPlay, training_is_finished_with_the_keys)
{
	click_menu_button(iTRAINING_MAP);
	ASSERT_TRUE(game_started("Training Valley")) << log_text();
	EXPECT_EQ(main_globals.new_game_data.player_count, 3);
	const int32 fades = wrong_fades();

	ASSERT_TRUE(armed_past_grace(51));
	press_key(SDLK_COMMA);
	ASSERT_TRUE(armed_past_grace(52));
	EXPECT_EQ(wrong_fades(), fades) << "the asked key fades \"wrong\"";

	press_key(SDLK_HOME);
	run_until([] { return false; }, 40);
	EXPECT_EQ(wrong_fades(), fades + 1) << "another camera key fades \"wrong\" once";
	EXPECT_EQ(get_sniffing_state()->test_case, 52);
	press_key(SDLK_UP);

	ASSERT_TRUE(armed_past_grace(55));
	press_key(SDLK_PAGEDOWN);
	EXPECT_TRUE(run_until([] { return game->endgame_state == _endgame_state_victory; }, 200));
	EXPECT_EQ(wrong_fades(), fades + 1);
}

}
