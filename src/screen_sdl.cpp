// The SDL side of the screen: video start-up and the window.
#include <SDL/SDL.h>

#include <cstdio>

#include <cstdlib>

#include "screen.h"

#include "error_manager.h"
#include "linux_utilities.h"

#define PRODUCT_TITLE "Zerv II"

// The input side (input_sdl.cpp).
void sdl_pump_events(void);
boolean sdl_get_grab_mode(void);
void sdl_set_grab_mode(boolean on);

static void sdl_hide_cursor(void)
{
	if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_ShowCursor(SDL_DISABLE);
}

static void sdl_show_cursor(void)
{
	if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_ShowCursor(SDL_ENABLE);
}

// At exit: leave full screen and shut SDL down.
static void restore_world_device(void)
{
	set_cursor_procedures(NULL, NULL);
	SDL_Surface *surface = SDL_GetVideoSurface();
	if (surface && (surface->flags & SDL_FULLSCREEN)) SDL_WM_ToggleFullScreen(surface);
	SDL_Quit();
}

static boolean sdl_initialize_video(void)
{
	static bool exit_handler_registered = false;

	unsetenv("SDL_VIDEO_WINDOW_POS");
	setenv("SDL_VIDEO_CENTERED", "1", 1);
	// SDL's own signal handlers would hide the crash handler.
	if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_NOPARACHUTE) < 0)
	{
		log_message(MODULE_NAME, __LINE__, "Couldn't initialize SDL: %s", SDL_GetError());
		// The log may not be open yet; the player still learns why.
		fprintf(stderr, "Couldn't initialize SDL: %s\n", SDL_GetError());
		exit(1);
	}
	if (!exit_handler_registered)
	{
		atexit(restore_world_device);
		exit_handler_registered = true;
	}
	SDL_EnableUNICODE(1);
	SDL_EnableKeyRepeat(SDL_DEFAULT_REPEAT_DELAY, SDL_DEFAULT_REPEAT_INTERVAL);
	set_cursor_procedures(sdl_hide_cursor, sdl_show_cursor);
	return TRUE;
}

static boolean sdl_open_window(int16 width, int16 height, int16 bit_depth, boolean windowed)
{
	const Uint32 flags = SDL_SWSURFACE | (windowed ? 0 : SDL_FULLSCREEN);
	SDL_Surface *surface = SDL_SetVideoMode(width, height, bit_depth, flags);
	if (!surface)
	{
		log_message(MODULE_NAME, __LINE__, "SDL_SetVideoMode() failed: %s", SDL_GetError());
		return FALSE;
	}
	SDL_WM_SetCaption(PRODUCT_TITLE, PRODUCT_TITLE);
	SDL_FillRect(surface, NULL, SDL_MapRGB(surface->format, 0, 0, 0));
	SDL_Flip(surface);
	return TRUE;
}

static void sdl_display_backbuffer(void)
{
	SDL_Surface *surface = SDL_GetVideoSurface();
	if (surface) SDL_Flip(surface);
}

static void sdl_toggle_windowed_mode(void)
{
	SDL_Surface *surface = SDL_GetVideoSurface();
	if (surface) SDL_WM_ToggleFullScreen(surface);
}

static void sdl_iconify_window(void)
{
	if (SDL_GetVideoSurface()) SDL_WM_IconifyWindow();
}

void install_sdl_platform(void)
{
	platform_procedures_data procedures = {};
	procedures.initialize_video = sdl_initialize_video;
	procedures.open_window = sdl_open_window;
	procedures.display_backbuffer = sdl_display_backbuffer;
	procedures.toggle_windowed_mode = sdl_toggle_windowed_mode;
	procedures.iconify_window = sdl_iconify_window;
	procedures.pump_events = sdl_pump_events;
	procedures.get_grab_mode = sdl_get_grab_mode;
	procedures.set_grab_mode = sdl_set_grab_mode;
	install_platform_procedures(&procedures);
}
