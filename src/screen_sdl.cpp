// The SDL side of the screen: video start-up, the window with its icon,
// caption and X11 properties, and its pixels.
#include <SDL/SDL.h>
#include <SDL/SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "screen.h"

#include "error_manager.h"
#include "hardware/OpenGL/setup_opengl_sdl.h"
#include "linux_utilities.h"

#define PRODUCT_TITLE "Zerv II"

// The input side (input_sdl.cpp).
void sdl_pump_events(void);
boolean sdl_get_grab_mode(void);
void sdl_set_grab_mode(boolean on);
// The mode query (setup_software_sdl.cpp).
int32 sdl_list_modes(boolean opengl, int16 *widths, int16 *heights, int32 maximum_count);
void sdl_get_desktop_size(int16 *width, int16 *height);

struct sdl_screen_globals_data
{
	SDL_Surface *icon;
	boolean surface_locked;
	// The cursor's state and the video driver, kept for a restart of video.
	int cursor_shown;
	char video_driver[32];
};

static sdl_screen_globals_data sdl_screen_globals = {NULL, FALSE, SDL_ENABLE, ""};

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
	if (sdl_screen_globals.icon) SDL_FreeSurface(sdl_screen_globals.icon);
	sdl_screen_globals.icon = NULL;
	SDL_Quit();
}

static boolean sdl_initialize_video(void)
{
	static bool exit_handler_registered = false;

	// The environment is read by SDL_Init.
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
	if (!sdl_screen_globals.icon)
	{
		sdl_screen_globals.icon = SDL_CreateRGBSurface(SDL_SWSURFACE, SCREEN_ICON_SIZE, SCREEN_ICON_SIZE, 32, 0xFF,
			0xFF00, 0xFF0000, 0xFF000000);
		if (sdl_screen_globals.icon && SDL_LockSurface(sdl_screen_globals.icon) == 0)
		{
			const uint8 *pixels = get_screen_icon_pixels();
			for (int32 y = 0; y < SCREEN_ICON_SIZE; ++y)
			{
				memcpy(static_cast<uint8 *>(sdl_screen_globals.icon->pixels) + y * sdl_screen_globals.icon->pitch,
					pixels + y * SCREEN_ICON_SIZE * 4, SCREEN_ICON_SIZE * 4);
			}
			SDL_UnlockSurface(sdl_screen_globals.icon);
		}
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

// _NET_WM_DESKTOP_FILE and _NET_WM_ICON on the window manager's window.
static void set_x11_window_properties(void)
{
	SDL_SysWMinfo info;
	memset(&info, 0, sizeof(info));
	info.version.major = 1;
	info.version.minor = 2;
	info.version.patch = 14;
	if (SDL_GetWMInfo(&info) <= 0 || info.subsystem != SDL_SYSWM_X11) return;
	Display *display = info.info.x11.display;
	const Window window = info.info.x11.wmwindow;
	info.info.x11.lock_func();
	const char *desktop_file = getenv("GIO_LAUNCHED_DESKTOP_FILE");
	if (desktop_file)
	{
		XChangeProperty(display, window, XInternAtom(display, "_NET_WM_DESKTOP_FILE", False), XA_STRING, 8,
			PropModeReplace, reinterpret_cast<const unsigned char *>(desktop_file), static_cast<int>(strlen(desktop_file) + 1));
	}
	// Format 32 reads C longs: width, height, then (A << 24) | (R << 16) | (G << 8) | B.
	std::vector<long> icon(2 + SCREEN_ICON_SIZE * SCREEN_ICON_SIZE);
	icon[0] = SCREEN_ICON_SIZE;
	icon[1] = SCREEN_ICON_SIZE;
	const uint8 *pixels = get_screen_icon_pixels();
	for (int32 i = 0; i < SCREEN_ICON_SIZE * SCREEN_ICON_SIZE; ++i)
	{
		const uint8 *p = pixels + 4 * i;
		icon[2 + i] = static_cast<long>((static_cast<unsigned long>(p[3]) << 24) | (static_cast<unsigned long>(p[0]) << 16) |
			(static_cast<unsigned long>(p[1]) << 8) | p[2]);
	}
	XChangeProperty(display, window, XInternAtom(display, "_NET_WM_ICON", False), XA_CARDINAL, 32, PropModeReplace,
		reinterpret_cast<const unsigned char *>(icon.data()), static_cast<int>(icon.size()));
	XFlush(display);
	info.info.x11.unlock_func();
}

/* ---------- X errors while a window is made */

// Xlib's own handler ends the process on any error; a driver that cannot make
// an OpenGL context raises one (BadValue on GLX context creation). While a
// window is made, errors are kept here instead, and the failure is reported.
struct x_error_trap_data
{
	int (*previous)(Display *, XErrorEvent *);
	Display *display;
	boolean caught;
	char text[160];
	int request_code, minor_code;
};

static x_error_trap_data x_error_trap;

static int trap_x_error(Display *display, XErrorEvent *event)
{
	if (!x_error_trap.caught)
	{
		x_error_trap.caught = TRUE;
		XGetErrorText(display, event->error_code, x_error_trap.text, sizeof(x_error_trap.text));
		x_error_trap.request_code = event->request_code;
		x_error_trap.minor_code = event->minor_code;
	}
	return 0;
}

static Display *sdl_x11_display(void)
{
	SDL_SysWMinfo info;
	memset(&info, 0, sizeof(info));
	SDL_VERSION(&info.version);
	if (SDL_GetWMInfo(&info) <= 0 || info.subsystem != SDL_SYSWM_X11) return NULL;
	return info.info.x11.display;
}

static void begin_x_error_trap(void)
{
	memset(&x_error_trap, 0, sizeof(x_error_trap));
	x_error_trap.display = sdl_x11_display();
	if (x_error_trap.display) XSync(x_error_trap.display, False);
	x_error_trap.previous = XSetErrorHandler(trap_x_error);
}

// True when an X error arose since the trap began.
static boolean end_x_error_trap(void)
{
	// The errors of the requests just made arrive before the handler goes.
	Display *display = sdl_x11_display();
	if (display) XSync(display, False);
	XSetErrorHandler(x_error_trap.previous);
	return x_error_trap.caught;
}

// Starts SDL's video and its keyboard settings again; a few tries a short
// wait apart, as the X server may be busy letting a client go.
static boolean restart_video(void)
{
	// The same driver again: SDL would otherwise try others, down to a text console.
	const char *chosen = getenv("SDL_VIDEODRIVER");
	const std::string chosen_driver = chosen ? chosen : "";
	if (sdl_screen_globals.video_driver[0]) setenv("SDL_VIDEODRIVER", sdl_screen_globals.video_driver, 1);
	// Waits of 0.1, 0.2, 0.4 and 0.8 s: a server reset takes a few milliseconds.
	const int32 tries = 5;
	boolean started = FALSE;
	for (int32 attempt = 0; attempt < tries && !started; ++attempt)
	{
		if (attempt) SDL_Delay(static_cast<Uint32>(50 << attempt));
		started = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
	}
	if (chosen) setenv("SDL_VIDEODRIVER", chosen_driver.c_str(), 1);
	else unsetenv("SDL_VIDEODRIVER");
	if (!started)
	{
		log_message(MODULE_NAME, __LINE__, "Couldn't restart SDL video: %s; the next window tries again", SDL_GetError());
		return FALSE;
	}
	SDL_EnableUNICODE(1);
	SDL_EnableKeyRepeat(SDL_DEFAULT_REPEAT_DELAY, SDL_DEFAULT_REPEAT_INTERVAL);
	SDL_ShowCursor(sdl_screen_globals.cursor_shown);
	return TRUE;
}

// SDL keeps a half-made OpenGL window's state after the context failed, and
// the next software window would draw through it: video starts afresh. A
// connection of our own stays open meanwhile: were SDL's the X server's last
// client, the server would reset as it closed, and the reopen would race the
// reset.
static void restart_video_after_failed_context(void)
{
	sdl_screen_globals.cursor_shown = SDL_ShowCursor(SDL_QUERY);
	if (!SDL_VideoDriverName(sdl_screen_globals.video_driver, sizeof(sdl_screen_globals.video_driver)))
	{
		sdl_screen_globals.video_driver[0] = 0;
	}
	Display *held = XOpenDisplay(NULL);
	SDL_QuitSubSystem(SDL_INIT_VIDEO);
	restart_video();
	if (held) XCloseDisplay(held);
}

static boolean sdl_create_window(int16 width, int16 height, uint32 flags)
{
	const boolean windowed = !(flags & _sdl_window_fullscreen_flag);
	const boolean opengl = (flags & _sdl_window_opengl_flag) != 0;
	const Uint32 sdl_flags = (opengl ? SDL_OPENGL : SDL_SWSURFACE) | (windowed ? 0 : SDL_FULLSCREEN);
	const int bit_depth = active_screen.bit_depth;
	// A restart that found no display left video off: try again now.
	if (!SDL_WasInit(SDL_INIT_VIDEO) && !restart_video()) return FALSE;
	// The icon must be set before the video mode.
	if (sdl_screen_globals.icon) SDL_WM_SetIcon(sdl_screen_globals.icon, NULL);
	begin_x_error_trap();
	SDL_Surface *surface = SDL_SetVideoMode(width, height, bit_depth, sdl_flags);
	if (surface && windowed) surface = SDL_SetVideoMode(width, height, bit_depth, sdl_flags);
	if (end_x_error_trap())
	{
		// A context the server refused cannot draw, even where SDL kept a surface.
		const boolean failed = opengl || !surface;
		log_message(MODULE_NAME, __LINE__, "SDL_SetVideoMode()%s: %s (X error %s, request %d.%d)",
			failed ? " failed" : " raised an X error", surface ? "the window system refused a request" : SDL_GetError(),
			x_error_trap.text, x_error_trap.request_code, x_error_trap.minor_code);
		if (failed)
		{
			if (opengl) restart_video_after_failed_context();
			return FALSE;
		}
	}
	if (!surface)
	{
		log_message(MODULE_NAME, __LINE__, "SDL_SetVideoMode() failed: %s", SDL_GetError());
		if (opengl) restart_video_after_failed_context();
		return FALSE;
	}
	if (!windowed) sdl_set_grab_mode(TRUE);
	SDL_WM_SetCaption(PRODUCT_TITLE, PRODUCT_TITLE);
	set_x11_window_properties();
	if (!opengl)
	{
		SDL_FillRect(surface, NULL, SDL_MapRGB(surface->format, 0, 0, 0));
		SDL_Flip(surface);
	}
	return TRUE;
}

static uint8 *sdl_lock_surface(int32 *bytes_per_row)
{
	SDL_Surface *surface = SDL_GetVideoSurface();
	if (!surface) return NULL;
	if (SDL_MUSTLOCK(surface))
	{
		if (SDL_LockSurface(surface) < 0) return NULL;
		sdl_screen_globals.surface_locked = TRUE;
	}
	*bytes_per_row = surface->pitch;
	return static_cast<uint8 *>(surface->pixels);
}

static void sdl_unlock_surface(void)
{
	SDL_Surface *surface = SDL_GetVideoSurface();
	if (surface && sdl_screen_globals.surface_locked) SDL_UnlockSurface(surface);
	sdl_screen_globals.surface_locked = FALSE;
}

static boolean sdl_is_fullscreen(void)
{
	SDL_Surface *surface = SDL_GetVideoSurface();
	return surface && (surface->flags & SDL_FULLSCREEN);
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
	procedures.create_sdl_window = sdl_create_window;
	procedures.list_modes = sdl_list_modes;
	procedures.get_desktop_size = sdl_get_desktop_size;
	procedures.lock_surface = sdl_lock_surface;
	procedures.unlock_surface = sdl_unlock_surface;
	procedures.is_fullscreen = sdl_is_fullscreen;
	procedures.display_backbuffer = sdl_display_backbuffer;
	procedures.toggle_windowed_mode = sdl_toggle_windowed_mode;
	procedures.iconify_window = sdl_iconify_window;
	procedures.pump_events = sdl_pump_events;
	procedures.get_grab_mode = sdl_get_grab_mode;
	procedures.set_grab_mode = sdl_set_grab_mode;
	install_sdl_opengl_procedures(&procedures);
	install_platform_procedures(&procedures);
}
