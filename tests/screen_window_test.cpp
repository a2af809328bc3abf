// The SDL window under a real X server (Xvfb when there is no display).
#include <gtest/gtest.h>

#include <SDL/SDL.h>

#include <cstdlib>

#include "CoreLibrary/input/sdl_input.h"
#include "input/actions.h"
#include "screen.h"

class Window : public ::testing::Test
{
protected:
	void SetUp() override
	{
		reset_sdl_input_test_hooks();
		reset_actions_test_hooks();
		setenv("SDL_VIDEO_WINDOW_POS", "10,10", 1);
		install_sdl_platform();
		initialize_screen();
	}
};

TEST_F(Window, OpensABlack640By480WindowWithTheTitle)
{
	EXPECT_EQ(getenv("SDL_VIDEO_WINDOW_POS"), nullptr);
	ASSERT_NE(getenv("SDL_VIDEO_CENTERED"), nullptr);
	EXPECT_STREQ(getenv("SDL_VIDEO_CENTERED"), "1");

	SDL_Surface *surface = SDL_GetVideoSurface();
	ASSERT_NE(surface, nullptr);
	EXPECT_EQ(surface->w, 640);
	EXPECT_EQ(surface->h, 480);
	EXPECT_EQ(surface->format->BitsPerPixel, 32);
	EXPECT_FALSE(surface->flags & SDL_FULLSCREEN);

	char *title = NULL, *icon = NULL;
	SDL_WM_GetCaption(&title, &icon);
	ASSERT_NE(title, nullptr);
	EXPECT_STREQ(title, "Zerv II");

	ASSERT_EQ(SDL_LockSurface(surface), 0);
	const Uint32 *pixels = static_cast<const Uint32 *>(surface->pixels);
	EXPECT_EQ(pixels[0] & 0xFFFFFF, 0u);
	EXPECT_EQ(pixels[(surface->pitch / 4) * 479 + 639] & 0xFFFFFF, 0u);
	SDL_UnlockSurface(surface);

	// Showing frames and the cursor work with the window up.
	display_backbuffer(NULL, NULL, NULL, NULL);
	rectangle2d bounds;
	get_game_screen_bounds(&bounds);
	EXPECT_EQ(rectangle2d_width(&bounds), 640);
	EXPECT_EQ(rectangle2d_height(&bounds), 480);
}

TEST_F(Window, QuitEventReachesTheMainProgramOnTheNextPump)
{
	SDL_Event event = {};
	event.type = SDL_QUIT;
	ASSERT_EQ(SDL_PushEvent(&event), 0);
	EXPECT_EQ(get_sdl_input_test_hooks()->close_requests, 0);
	pump_platform_events();
	EXPECT_EQ(get_sdl_input_test_hooks()->close_requests, 1);
	pump_platform_events();
	EXPECT_EQ(get_sdl_input_test_hooks()->close_requests, 1);
}

TEST_F(Window, KeyPressBecomesASampleWithItsCodeAndModifiers)
{
	get_actions_test_hooks()->capture_actions = TRUE;

	SDL_Event event = {};
	event.type = SDL_KEYDOWN;
	event.key.state = SDL_PRESSED;
	event.key.keysym.sym = SDLK_F4;
	event.key.keysym.mod = static_cast<SDLMod>(KMOD_LSHIFT);
	ASSERT_EQ(SDL_PushEvent(&event), 0);
	event.key.keysym.sym = SDLK_SPACE;
	event.key.keysym.mod = KMOD_NONE;
	event.key.keysym.unicode = ' ';
	ASSERT_EQ(SDL_PushEvent(&event), 0);
	pump_platform_events();

	EXPECT_TRUE(key_down(_key_f4));
	EXPECT_TRUE(key_down(_key_space));
	update_actions();
	actions_test_hooks_data *hooks = get_actions_test_hooks();
	ASSERT_EQ(hooks->captured_count, 2);
	EXPECT_EQ(hooks->captured[0].key_code, _key_f4);
	EXPECT_EQ(hooks->captured[0].modifiers, _shift_down);
	EXPECT_EQ(hooks->captured[1].key_code, _key_space);
	EXPECT_EQ(hooks->captured[1].ascii_code, ' ');

	event.type = SDL_KEYUP;
	event.key.state = SDL_RELEASED;
	ASSERT_EQ(SDL_PushEvent(&event), 0);
	pump_platform_events();
	EXPECT_FALSE(key_down(_key_space));
}
