// A game entered with the OpenGL device under Xvfb: the set-up's log lines,
// frames without GL errors, and everything given back when the game ends.
#include "opengl_window_fixture.h"

#include <SDL/SDL.h>
#include <SDL/SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "hardware/OpenGL/setup_opengl.h"
#include "hardware/OpenGL/render_opengl.h"
#include "zerv.h"

namespace {

class OpenGLLifeCycle : public opengl_window_test
{
protected:
	void SetUp() override
	{
		opengl_window_test::SetUp();
		if (HasFatalFailure()) return;
		enter_state(_game_state_displaying_main_menu);
		harness_default_setup(&main_globals.new_game_data);
	}
	void TearDown() override
	{
		if (game->state == _game_state_running) enter_state(_game_state_displaying_main_menu);
		main_program_test::TearDown();
	}
};

}

TEST_F(OpenGLLifeCycle, a_game_runs_and_ends_through_opengl)
{
	int16 device_index = NONE, mode_index = NONE;
	for (int16 i = 0; i < get_screen_device_count(); ++i)
	{
		if (get_screen_device(i)->rasterizer_code == _rasterizer_opengl) device_index = i;
	}
	if (device_index == NONE) GTEST_SKIP() << "no OpenGL device";
	const device_info *device = get_screen_device(device_index);
	for (int16 i = 0; i < device->mode_count; ++i)
	{
		if (device->modes[i].width == 1024 && device->modes[i].height == 768) mode_index = i;
	}
	ASSERT_NE(mode_index, NONE);
	active_screen.prefs.device_index = device_index;
	active_screen.prefs.mode_index = mode_index;
	active_screen.prefs.flags |= _screen_pref_windowed_flag;
	active_screen.prefs.texture_cache_size = 64;

	enter_state(_game_state_running);
	ASSERT_EQ(game->state, _game_state_running);
	ASSERT_TRUE(rasterizer_initialized);
	for (int32 frame = 0; frame < 5; ++frame) idle_zerv(1, FALSE);
	EXPECT_GE(frame_index, 1);
	EXPECT_EQ(opengl_api.glGetError(), static_cast<GLenum>(GL_NO_ERROR));
	const std::string log = log_text();
	EXPECT_NE(log.find("Running OpenGL at 1024 x 768"), std::string::npos) << log;
	EXPECT_NE(log.find("UseShaders=1"), std::string::npos) << log;

	enter_state(_game_state_displaying_main_menu);
	EXPECT_FALSE(rasterizer_initialized);
	EXPECT_EQ(program_count, 0);
	EXPECT_EQ(cached_bitmap_count, 0);
	EXPECT_EQ(active_screen.rasterizer_code, _rasterizer_software);
}

namespace {

// A machine whose OpenGL driver cannot load: the test runs again in a child
// process whose first device scan sees LIBGL_DRIVERS_PATH at an empty folder.
const char *const missing_driver_variable = "ZERV_TEST_OPENGL_DRIVER_MISSING";

class OpenGLDriverMissing : public main_program_test
{
protected:
	void SetUp() override
	{
		install_sdl_platform();
		main_program_test::SetUp();
		if (HasFatalFailure()) return;
		set_screen_parameters(-2, -2);
		screen_preferences_before = active_screen.prefs;
	}
	void TearDown() override
	{
		if (game->state == _game_state_running) enter_state(_game_state_displaying_main_menu);
		active_screen.prefs = screen_preferences_before;
		main_program_test::TearDown();
	}

	// Back at the menu after a game, its 640 x 480 window is what the X server shows.
	void expect_the_menu_window(void)
	{
		enter_state(_game_state_displaying_main_menu);
		idle_zerv(1, FALSE);
		const SDL_Surface *surface = SDL_GetVideoSurface();
		ASSERT_NE(surface, nullptr);
		EXPECT_EQ(surface->w, 640);
		EXPECT_EQ(surface->h, 480);
		EXPECT_FALSE(surface->flags & SDL_FULLSCREEN);
		SDL_SysWMinfo info;
		memset(&info, 0, sizeof(info));
		SDL_VERSION(&info.version);
		ASSERT_GT(SDL_GetWMInfo(&info), 0);
		XWindowAttributes attributes;
		ASSERT_NE(XGetWindowAttributes(info.info.x11.display, info.info.x11.wmwindow, &attributes), 0);
		EXPECT_EQ(attributes.width, 640);
		EXPECT_EQ(attributes.height, 480);
		EXPECT_EQ(attributes.map_state, IsViewable);
	}

	// A folder of no OpenGL drivers and the command that runs this test again
	// in a child with 'variables' set and LIBGL_DRIVERS_PATH at that folder,
	// its output in child.txt. Bounded: a child that hangs fails the test
	// rather than the run.
	std::string child_command(const std::string &variables, const std::string &output)
	{
		const std::string empty = harness_directory() + "/no drivers";
		if (mkdir(empty.c_str(), 0777) != 0) return "";
		const ::testing::TestInfo *test = ::testing::UnitTest::GetInstance()->current_test_info();
		char self[4096] = {};
		if (readlink("/proc/self/exe", self, sizeof(self) - 1) <= 0) return "";
		return variables + " LIBGL_DRIVERS_PATH='" + empty + "' timeout 100 '" + self + "' --gtest_filter=" +
			test->test_suite_name() + "." + test->name() + " > '" + output + "' 2>&1";
	}

	screen_parameters screen_preferences_before;
};

}

TEST_F(OpenGLDriverMissing, the_menu_and_training_run_in_software)
{
	if (!getenv(missing_driver_variable))
	{
		const std::string output = harness_directory() + "/child.txt";
		const std::string command = child_command(std::string(missing_driver_variable) + "=1", output);
		ASSERT_FALSE(command.empty());
		// The child's full-screen game takes the pointer: this process lets go of it.
		SDL_Surface *surface = SDL_GetVideoSurface();
		if (surface && (surface->flags & SDL_FULLSCREEN)) SDL_WM_ToggleFullScreen(surface);
		SDL_WM_GrabInput(SDL_GRAB_OFF);
		const int status = system(command.c_str());
		EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << read_test_file(output);
		return;
	}

	// The scan left OpenGL out and said why.
	for (int16 i = 0; i < get_screen_device_count(); ++i)
	{
		EXPECT_NE(get_screen_device(i)->rasterizer_code, _rasterizer_opengl);
	}
	std::string log = log_text();
	const size_t scan = log.find("Scanning for OpenGL devices...");
	ASSERT_NE(scan, std::string::npos) << log;
	EXPECT_NE(log.find("SDL_SetVideoMode() failed", scan), std::string::npos) << log;

	// The menu draws in its software window.
	enter_state(_game_state_displaying_main_menu);
	idle_zerv(1, FALSE);
	SDL_Surface *surface = SDL_GetVideoSurface();
	ASSERT_NE(surface, nullptr);
	EXPECT_FALSE(surface->flags & SDL_OPENGL);
	int32 lit = 0;
	ASSERT_EQ(SDL_LockSurface(surface), 0);
	for (int32 y = 0; y < surface->h; ++y)
	{
		const uint32 *row = reinterpret_cast<const uint32 *>(static_cast<const uint8 *>(surface->pixels) + y * surface->pitch);
		for (int32 x = 0; x < surface->w; ++x) lit += (row[x] & 0xFFFFFF) != 0;
	}
	SDL_UnlockSurface(surface);
	EXPECT_GT(lit, surface->w * surface->h / 4);

	// Training, as the menu starts it, runs in software.
	ASSERT_TRUE(setup_single_player_game(TRAINING_MAP_MESH_TAG));
	enter_state(_game_state_running);
	ASSERT_EQ(game->state, _game_state_running);
	for (int32 frame = 0; frame < 5; ++frame) idle_zerv(1, FALSE);
	EXPECT_EQ(active_screen.rasterizer_code, _rasterizer_software);
	log = log_text();
	EXPECT_NE(log.find("Running Software at "), std::string::npos) << log;
	EXPECT_NE(log.find("Starting mesh \"Training Valley\""), std::string::npos) << log;
	expect_the_menu_window();

	// An OpenGL device the scan reported whose context then fails: the game
	// falls back to a software window of the device's size, and the menu
	// after it has its own size again.
	device_info opengl = {};
	opengl.rasterizer_code = _rasterizer_opengl;
	opengl.extra_data.opengl2_device = TRUE;
	strcpy(opengl.name, "OpenGL");
	opengl.modes[opengl.mode_count++] = {0, 1024, 768, 32, 0};
	active_screen.prefs.device_index = static_cast<int16>(report_device(&opengl) - 1);
	active_screen.prefs.mode_index = 0;
	ASSERT_TRUE(setup_single_player_game(TRAINING_MAP_MESH_TAG));
	enter_state(_game_state_running);
	ASSERT_EQ(game->state, _game_state_running);
	for (int32 frame = 0; frame < 3; ++frame) idle_zerv(1, FALSE);
	EXPECT_EQ(active_screen.rasterizer_code, _rasterizer_software);
	EXPECT_NE(log_text().find("falling back to Software"), std::string::npos) << log_text();
	ASSERT_NE(SDL_GetVideoSurface(), nullptr);
	EXPECT_EQ(SDL_GetVideoSurface()->w, 1024);
	expect_the_menu_window();
}

namespace {

const char *const video_restart_variable = "ZERV_TEST_VIDEO_RESTART";

Display *sdl_display(void)
{
	SDL_SysWMinfo info;
	memset(&info, 0, sizeof(info));
	SDL_VERSION(&info.version);
	if (SDL_GetWMInfo(&info) <= 0 || info.subsystem != SDL_SYSWM_X11) return NULL;
	return info.info.x11.display;
}

// Whether the server still holds the mark put on its root window: a reset
// clears every property.
bool root_marked(Display *display)
{
	Atom type = None;
	int format = 0;
	unsigned long count = 0, left = 0;
	unsigned char *data = NULL;
	const Atom mark = XInternAtom(display, "ZERV_TEST_MARK", False);
	const int status = XGetWindowProperty(display, DefaultRootWindow(display), mark, 0, 1, False, XA_CARDINAL, &type,
		&format, &count, &left, &data);
	if (data) XFree(data);
	return status == Success && type == XA_CARDINAL && count == 1;
}

}

// A failed OpenGL window restarts SDL's video on a display connection of its
// own, so the X server never loses its last client and resets under the
// reopen; with no display at all the restart says so and the next window
// starts video again.
TEST_F(OpenGLDriverMissing, video_restarts_without_the_x_server_resetting)
{
	if (!getenv(video_restart_variable))
	{
		const std::string output = harness_directory() + "/child.txt";
		// Only X: a console driver SDL might fall back on would hide a failure.
		const std::string command = child_command(std::string(video_restart_variable) + "=1 SDL_VIDEODRIVER=x11", output);
		ASSERT_FALSE(command.empty());
		// The child runs on a server of its own, whose only client it is, so
		// the server resets whenever the child's last connection closes.
		const std::string script = harness_directory() + "/child.sh";
		const std::string server_output = harness_directory() + "/server.txt";
		ASSERT_TRUE(write_test_file(script, command + "\n"));
		const std::string run = std::string("'" ZERV_SOURCE_DIR "/tests/support/run_with_display.sh' --own-server sh '") +
			script + "' > '" + server_output + "' 2>&1";
		const int status = system(run.c_str());
		EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
			<< read_test_file(server_output) << read_test_file(output);
		return;
	}

	Display *display = sdl_display();
	ASSERT_NE(display, nullptr);
	const long one = 1;
	XChangeProperty(display, DefaultRootWindow(display), XInternAtom(display, "ZERV_TEST_MARK", False), XA_CARDINAL,
		32, PropModeReplace, reinterpret_cast<const unsigned char *>(&one), 1);
	XSync(display, False);
	ASSERT_TRUE(root_marked(display));

	EXPECT_FALSE(create_sdl_window(640, 480, _sdl_window_opengl_flag));
	ASSERT_TRUE(create_sdl_window(640, 480, 0));
	display = sdl_display();
	ASSERT_NE(display, nullptr);
	EXPECT_TRUE(root_marked(display)) << "the server reset while video restarted";

	// No display to restart on: logged, and the next window starts video.
	Display *keeper = XOpenDisplay(NULL);
	ASSERT_NE(keeper, nullptr);
	const std::string real_display = getenv("DISPLAY");
	setenv("DISPLAY", ":65000", 1);
	EXPECT_FALSE(create_sdl_window(640, 480, _sdl_window_opengl_flag));
	EXPECT_FALSE(SDL_WasInit(SDL_INIT_VIDEO));
	EXPECT_NE(log_text().find("Couldn't restart SDL video"), std::string::npos) << log_text();
	setenv("DISPLAY", real_display.c_str(), 1);
	EXPECT_TRUE(create_sdl_window(640, 480, 0));
	ASSERT_NE(SDL_GetVideoSurface(), nullptr);
	EXPECT_EQ(SDL_GetVideoSurface()->w, 640);
	XCloseDisplay(keeper);
}
