// The main menu in a real window (Xvfb when there is no display): the golden
// frame read back from SDL and from the X server, the window's properties,
// the modes found, and a click on Quit.
#include "main_test_fixture.h"

#include <SDL/SDL.h>
#include <SDL/SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <functional>
#include <string>

#include "crc.h"

namespace {

// The same literal as the headless test of the menu frame.
const uint32 golden_static_menu = 0xB829FFF8u;

uint32 digest_pixels(const std::function<uint32(int32, int32)> &pixel)
{
	std::string bytes;
	bytes.reserve(640 * 480 * 4);
	for (int32 y = 0; y < 480; ++y)
	{
		for (int32 x = 0; x < 640; ++x)
		{
			const uint32 value = pixel(x, y) & 0x00FFFFFF;
			for (int b = 0; b < 4; ++b) bytes.push_back(static_cast<char>((value >> (8 * b)) & 0xFF));
		}
	}
	return calculate_data_crc(bytes.data(), static_cast<int32>(bytes.size()));
}

bool wm_info(SDL_SysWMinfo *info)
{
	memset(info, 0, sizeof(*info));
	SDL_VERSION(&info->version);
	return SDL_GetWMInfo(info) > 0 && info->subsystem == SDL_SYSWM_X11;
}

class MenuWindow : public main_program_test
{
protected:
	void SetUp() override
	{
		setenv("GIO_LAUNCHED_DESKTOP_FILE", "/usr/share/applications/zerv.desktop", 1);
		install_sdl_platform();
		main_program_test::SetUp();
		if (HasFatalFailure()) return;
		// The window of this test.
		set_screen_parameters(-2, -2);
		enter_state(_game_state_displaying_main_menu);
		ASSERT_NO_FATAL_FAILURE(draw_dialogs_into_back_buffer());
		rectangle2d frame;
		get_game_screen_bounds(&frame);
		display_backbuffer(NULL, NULL, &frame, &frame);
	}
};

TEST_F(MenuWindow, the_menu_frame_matches_from_sdl_and_from_the_server)
{
	SDL_Surface *surface = SDL_GetVideoSurface();
	ASSERT_NE(surface, nullptr);
	ASSERT_EQ(surface->format->BytesPerPixel, 4);
	ASSERT_EQ(SDL_LockSurface(surface), 0);
	const uint32 from_sdl = digest_pixels([&](int32 x, int32 y) {
		return static_cast<const Uint32 *>(surface->pixels)[y * (surface->pitch / 4) + x];
	});
	SDL_UnlockSurface(surface);
	EXPECT_EQ(from_sdl, golden_static_menu) << std::hex << from_sdl;

	SDL_SysWMinfo info;
	ASSERT_TRUE(wm_info(&info));
	info.info.x11.lock_func();
	XSync(info.info.x11.display, False);
	XImage *image = XGetImage(info.info.x11.display, info.info.x11.window, 0, 0, 640, 480, AllPlanes, ZPixmap);
	info.info.x11.unlock_func();
	ASSERT_NE(image, nullptr);
	const uint32 from_server = digest_pixels([&](int32 x, int32 y) { return static_cast<uint32>(XGetPixel(image, x, y)); });
	XDestroyImage(image);
	EXPECT_EQ(from_server, golden_static_menu) << std::hex << from_server;
}

TEST_F(MenuWindow, the_window_carries_its_icon_and_desktop_file_and_modes)
{
	SDL_SysWMinfo info;
	ASSERT_TRUE(wm_info(&info));
	Display *display = info.info.x11.display;
	info.info.x11.lock_func();
	Atom type;
	int format;
	unsigned long count = 0, after = 0;
	unsigned char *data = NULL;
	ASSERT_EQ(XGetWindowProperty(display, info.info.x11.wmwindow, XInternAtom(display, "_NET_WM_ICON", False), 0, 20000,
		False, XA_CARDINAL, &type, &format, &count, &after, &data), Success);
	ASSERT_NE(data, nullptr);
	EXPECT_EQ(format, 32);
	EXPECT_EQ(count, 16386u);
	const long *values = reinterpret_cast<const long *>(data);
	EXPECT_EQ(values[0], 128);
	EXPECT_EQ(values[1], 128);
	XFree(data);
	data = NULL;
	ASSERT_EQ(XGetWindowProperty(display, info.info.x11.wmwindow, XInternAtom(display, "_NET_WM_DESKTOP_FILE", False), 0,
		1000, False, XA_STRING, &type, &format, &count, &after, &data), Success);
	ASSERT_NE(data, nullptr);
	EXPECT_STREQ(reinterpret_cast<const char *>(data), "/usr/share/applications/zerv.desktop");
	XFree(data);
	info.info.x11.unlock_func();

	// The project's X server offers one 1024 x 768 mode; two windowed sizes join it.
	const device_info *software = get_screen_device(0);
	ASSERT_NE(software, nullptr);
	std::string sizes;
	for (int16 i = 0; i < software->mode_count; ++i)
		sizes += std::to_string(software->modes[i].width) + "x" + std::to_string(software->modes[i].height) + " ";
	EXPECT_EQ(sizes, "1024x768 640x480 800x600 ");
}

TEST_F(MenuWindow, a_pushed_click_on_quit_asks_for_the_trailer)
{
	const dialog_data *dialog = find_open_dialog(MAIN_MENU_DIALOG_TAG_640_480);
	ASSERT_NE(dialog, nullptr);
	const dialog_item_state *quit = find_dialog_item_state(dialog, iQUIT);
	ASSERT_NE(quit, nullptr);
	SDL_Event event = {};
	event.type = SDL_MOUSEBUTTONDOWN;
	event.button.button = SDL_BUTTON_LEFT;
	event.button.state = SDL_PRESSED;
	event.button.x = static_cast<Uint16>(dialog->bounds.left + (quit->bounds.left + quit->bounds.right) / 2);
	event.button.y = static_cast<Uint16>(dialog->bounds.top + (quit->bounds.top + quit->bounds.bottom) / 2);
	ASSERT_EQ(SDL_PushEvent(&event), 0);

	get_actions_test_hooks()->capture_actions = TRUE;
	pump_platform_events();
	run_input_sampler_turns(1);
	update_actions();
	actions_test_hooks_data *hooks = get_actions_test_hooks();
	ASSERT_GE(hooks->captured_count, 1);
	main_globals.desired_state = NONE;
	for (int32 i = 0; i < hooks->captured_count; ++i) dialogs_handled_action(&hooks->captured[i]);
	EXPECT_EQ(main_globals.desired_state, _game_state_displaying_trailer);
}

}
