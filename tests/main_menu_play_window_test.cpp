// The menu played as a person plays it: clicks and key presses pushed as SDL
// events, read by the platform layer and run through the main loop.
#include "main_test_fixture.h"

#include <SDL/SDL.h>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "bitmaps.h"
#include "interface.h"
#include "monsters.h"
#include "objects.h"
#include "sniffing.h"
#include "hardware/hardware_rasterizers.h"
#include "support/render_views.h"
#include "CoreLibrary/cseries/test_hooks.h"

namespace {

// The team's units drawn in the last frame with the centre of their picture
// in the middle of the window (four fifths across, three fifths down) and at
// least a sixty-fourth of its height tall (12 px of 768); dying units do not count.
int32 readable_units_in_the_middle(int8 team)
{
	rectangle2d bounds;
	get_game_screen_bounds(&bounds);
	const int32 width = rectangle2d_width(&bounds), height = rectangle2d_height(&bounds);
	int32 count = 0;
	for (const drawn_sprite &sprite : drawn_sprites())
	{
		if (sprite.owner != _object_is_monster) continue;
		const monster_data *monster = get_monster_data(get_object_data(sprite.object_index)->owner_index);
		if (!monster || monster->owner_team_index != team || monster->action == _monster_action_dying) continue;
		const render_rectangle_geometry &g = sprite.geometry;
		const int32 x = (g.x0 + g.x1) / 2, y = (g.y0 + g.y1) / 2;
		const bool in_the_middle = x >= width / 10 && x < width - width / 10 && y >= height / 5 && y < height - height / 5;
		if (in_the_middle && g.y1 - g.y0 >= height / 64) count += 1;
	}
	return count;
}

class MenuPlay : public main_program_test
{
protected:
	void SetUp() override
	{
		install_sdl_platform();
		main_program_test::SetUp();
		if (HasFatalFailure()) return;
		screen_preferences_before = active_screen.prefs;
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
		if (game->state == _game_state_running) enter_state(_game_state_displaying_main_menu);
		if (swap_of_the_window) restore_the_swap();
		active_screen.prefs = screen_preferences_before;
		main_program_test::TearDown();
	}

	screen_parameters screen_preferences_before;

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

	// Games start on the device in a 1024 x 768 window; false without one.
	static bool prefer_device(int16 rasterizer)
	{
		for (int16 device = 0; device < get_screen_device_count(); ++device)
		{
			const device_info *info = get_screen_device(device);
			if (info->rasterizer_code != rasterizer) continue;
			for (int16 mode = 0; mode < info->mode_count; ++mode)
			{
				if (info->modes[mode].width != 1024 || info->modes[mode].height != 768) continue;
				active_screen.prefs.device_index = device;
				active_screen.prefs.mode_index = mode;
				active_screen.prefs.flags |= _screen_pref_windowed_flag;
				return true;
			}
		}
		return false;
	}

	static bool prefer_opengl(void)
	{
		return prefer_device(_rasterizer_opengl);
	}

	// Every frame the OpenGL window shows is read back just before its swap:
	// the mean of each channel over the game screen, red first.
	struct frame_means
	{
		double red, green, blue;
	};
	static std::vector<frame_means> shown_frames;
	static void (*swap_of_the_window)(void);

	static void read_back_and_swap(void)
	{
		rectangle2d bounds;
		get_game_screen_bounds(&bounds);
		const int32 width = rectangle2d_width(&bounds), height = rectangle2d_height(&bounds);
		bitmap_data *frame = new_bitmap(static_cast<int16>(width), static_cast<int16>(height), static_cast<int16>(width * 4),
			_32bit_encoding, 0);
		if (frame)
		{
			copy_bits_from_render_view_hardware(&bounds, frame);
			double sums[3] = {};
			for (int32 y = 0; y < height; ++y)
			{
				const uint32 *row = reinterpret_cast<const uint32 *>(frame->row_addresses[y]);
				for (int32 x = 0; x < width; ++x)
				{
					for (int32 c = 0; c < 3; ++c) sums[c] += (row[x] >> (8 * c)) & 0xFF;
				}
			}
			const double pixels = static_cast<double>(width) * height;
			shown_frames.push_back({sums[2] / pixels, sums[1] / pixels, sums[0] / pixels});
			dispose_pointer(frame);
		}
		swap_of_the_window();
	}

	static void read_back_every_frame(void)
	{
		platform_procedures_data procedures = *get_platform_procedures();
		swap_of_the_window = procedures.opengl_swap_buffers;
		procedures.opengl_swap_buffers = read_back_and_swap;
		install_platform_procedures(&procedures);
	}

	static void restore_the_swap(void)
	{
		platform_procedures_data procedures = *get_platform_procedures();
		procedures.opengl_swap_buffers = swap_of_the_window;
		install_platform_procedures(&procedures);
		swap_of_the_window = NULL;
		shown_frames.clear();
	}

	// Past the dawn fade, each army of the First Level has units in the middle of
	// the window at a readable height, for a few seconds of its opening.
	static void expect_the_armies_meeting_in_the_middle(const char *game_kind)
	{
		for (const int32 tick : {90, 150, 210})
		{
			ASSERT_TRUE(run_until([&] { return game->game_time >= tick; }, 400)) << game_kind;
			for (int8 team = 0; team < 2; ++team)
			{
				EXPECT_GE(readable_units_in_the_middle(team), 3) << game_kind << ", team " << static_cast<int>(team) << " at tick "
					<< game->game_time;
			}
		}
	}
};

std::vector<MenuPlay::frame_means> MenuPlay::shown_frames;
void (*MenuPlay::swap_of_the_window)(void) = NULL;

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
	// Dialogs whose art the tag set lacks draw no background and log nothing.
	EXPECT_EQ(occurrences(log, "Error:"), 0) << log;
	ASSERT_EQ(trails.replayed.size(), trails.live.size());
	for (size_t i = 0; i < trails.live.size(); ++i)
	{
		ASSERT_EQ(trails.replayed[i].first, trails.live[i].first) << "entry " << i;
		ASSERT_EQ(trails.replayed[i].second, trails.live[i].second) << "tick " << trails.live[i].first;
	}
}

// New Game opens on the meadow where the armies meet, and so does its film,
// which keeps its own camera: the camera starts there rather than gliding to
// the player's back line, from where the computer's army was drawn 7 to 9 px
// tall along the window's top edge. The opening leaves the camera to the
// player's keys.
TEST_F(MenuPlay, new_game_and_its_film_open_where_the_armies_meet)
{
	ASSERT_TRUE(prefer_device(_rasterizer_software));
	click_menu_button(iNEW_GAME);
	ASSERT_TRUE(game_started("First Level")) << log_text();
	expect_the_armies_meeting_in_the_middle("New Game");
	if (HasFatalFailure()) return;

	observer_location before, after;
	get_observer_location(&before);
	const fixed zoom = get_observer_zoom_factor();
	press_key(SDLK_UP);
	press_key(SDLK_PERIOD);
	press_key(SDLK_EQUALS);
	get_observer_location(&after);
	EXPECT_NE(after.position.y, before.position.y) << "the arrow key moves the camera";
	EXPECT_NE(after.yaw, before.yaw) << "period orbits the camera";
	EXPECT_GT(get_observer_zoom_factor(), zoom) << "equals zooms in";

	end_game_and_change_state();
	ASSERT_TRUE(run_until([] {
		return game->state == _game_state_displaying_main_menu && find_open_dialog(MAIN_MENU_DIALOG_TAG_640_480);
	}, 20));
	click_menu_button(iREPLAY_GAME);
	ASSERT_TRUE(run_until([] { return game->state == _game_state_running && game->type == _game_type_replay; }, 20));
	expect_the_armies_meeting_in_the_middle("its film");
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
	press_key(SDLK_MINUS);
	EXPECT_TRUE(run_until([] { return game->endgame_state == _endgame_state_victory; }, 200));
	EXPECT_EQ(wrong_fades(), fades + 1);
}

// Under OpenGL a wrong key turns the frames red for a moment, as in software.
TEST_F(MenuPlay, a_wrong_key_fades_the_opengl_frames_red)
{
	if (!prefer_opengl()) GTEST_SKIP() << "no OpenGL device";
	click_menu_button(iTRAINING_MAP);
	ASSERT_TRUE(game_started("Training Valley")) << log_text();
	ASSERT_EQ(active_screen.rasterizer_code, _rasterizer_opengl);
	ASSERT_TRUE(armed_past_grace(51));
	const int32 fades = wrong_fades();

	read_back_every_frame();
	run_until([] { return false; }, 4);
	ASSERT_FALSE(shown_frames.empty());
	const frame_means before = shown_frames.back();
	shown_frames.clear();
	press_key(SDLK_HOME);
	run_until([] { return false; }, 30);
	ASSERT_EQ(wrong_fades(), fades + 1);
	ASSERT_FALSE(shown_frames.empty());
	double reddest = 0;
	for (const frame_means &frame : shown_frames) reddest = std::max(reddest, frame.red - frame.green);
	// The valley is green (about R 39, G 90); the fade starts nearly all red.
	EXPECT_GT(reddest, 150.0);
	const frame_means after = shown_frames.back();
	EXPECT_LT(after.red - after.green, before.red - before.green + 20.0) << "the red fades away";
}

}
