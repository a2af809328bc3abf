// The game binary as a player runs it: started beside the generated tag set,
// New Game chosen with its key in the menu's window, and an interrupt or a
// termination request a few seconds into the First Level. The film is whole
// and replays the game tick for tick.
#include "main_test_fixture.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "recording_test_support.h"
#include "support/game_process.h"
#include "tag_files/tag_files.h"

extern char **environ;

namespace {

// Generous: a loaded two-core machine starts and loads slowly.
const int ready_timeout_milliseconds = 60000;
const int exit_timeout_milliseconds = 30000;
const int play_milliseconds = 5000;

int ignore_x_error(Display *, XErrorEvent *)
{
	return 0;
}

class GameQuitSignals : public main_program_test
{
protected:
	void SetUp() override
	{
		main_program_test::SetUp();
		if (HasFatalFailure()) return;
		game_folder = harness_directory() + "/game";
		ASSERT_NO_FATAL_FAILURE(install_game_copy(ZERV_GAME_BINARY, game_folder, &binary));
		display = XOpenDisplay(nullptr);
		ASSERT_NE(display, nullptr) << "no X display";
		previous_handler = XSetErrorHandler(ignore_x_error);
	}

	void TearDown() override
	{
		if (pid > 0 && !exited())
		{
			kill(pid, SIGKILL);
			waitpid(pid, nullptr, 0);
		}
		if (display)
		{
			XSetErrorHandler(previous_handler);
			XCloseDisplay(display);
		}
		main_program_test::TearDown();
	}

	std::string game_log(void) const { return read_test_file(game_folder + "/zerv_log.txt"); }

	bool exited(void)
	{
		if (!has_exited && waitpid(pid, &status, WNOHANG) == pid) has_exited = true;
		return has_exited;
	}

	void start_game(void) { ASSERT_TRUE(spawn_game(binary, game_folder, environ, &pid)); }

	// Waits until the game's log holds the line; fails when the game stops first.
	void wait_for_log_line(const std::string &line)
	{
		for (int waited = 0;; waited += 50)
		{
			ASSERT_FALSE(exited()) << "the game stopped, status " << status << "\nlog:\n" << game_log();
			if (game_log().find(line) != std::string::npos) return;
			ASSERT_LT(waited, ready_timeout_milliseconds) << "no \"" << line << "\"; log:\n" << game_log();
			sleep_milliseconds(50);
		}
	}

	// A mapped window named as the game names its own, searched two levels
	// down (a window manager puts a frame round it).
	Window named_game_window(Window parent, int depth)
	{
		Window root, up, *children = nullptr;
		unsigned int count = 0;
		Window found = None;
		if (!XQueryTree(display, parent, &root, &up, &children, &count)) return None;
		for (unsigned int i = 0; i < count && found == None; ++i)
		{
			XWindowAttributes attributes;
			if (!XGetWindowAttributes(display, children[i], &attributes) || attributes.map_state != IsViewable) continue;
			char *name = nullptr;
			if (XFetchName(display, children[i], &name) && name)
			{
				if (strcmp(name, "Zerv II") == 0) found = children[i];
				XFree(name);
			}
			if (found == None && depth > 1) found = named_game_window(children[i], depth - 1);
		}
		if (children) XFree(children);
		return found;
	}

	Window game_window(void)
	{
		for (int waited = 0; waited < ready_timeout_milliseconds; waited += 50)
		{
			const Window found = named_game_window(DefaultRootWindow(display), 2);
			if (found != None) return found;
			sleep_milliseconds(50);
		}
		return None;
	}

	// A key pressed and let go in the window, as the keyboard sends it.
	void press_key(Window window, KeySym key)
	{
		// The window may go as the game starts: that error is not the test's.
		XSetErrorHandler(ignore_x_error);
		XKeyEvent event = {};
		event.display = display;
		event.window = window;
		event.root = DefaultRootWindow(display);
		event.subwindow = None;
		event.time = CurrentTime;
		event.same_screen = True;
		event.keycode = XKeysymToKeycode(display, key);
		event.type = KeyPress;
		XSendEvent(display, window, True, KeyPressMask, reinterpret_cast<XEvent *>(&event));
		XFlush(display);
		sleep_milliseconds(100);
		event.type = KeyRelease;
		XSendEvent(display, window, True, KeyReleaseMask, reinterpret_cast<XEvent *>(&event));
		XSync(display, False);
	}

	// The player's way in: the menu, then New Game by its key.
	void play_the_first_level(void)
	{
		start_game();
		if (HasFatalFailure()) return;
		wait_for_log_line("Loading Patch Files Succeeded\n");
		if (HasFatalFailure()) return;
		// The menu answers keys once its dialog is up; a few presses are
		// harmless, since the first starts the game.
		for (int tries = 0; tries < 20 && game_log().find("Starting mesh \"First Level\"") == std::string::npos; ++tries)
		{
			ASSERT_FALSE(exited()) << "the game stopped, status " << status << "\nlog:\n" << game_log();
			const Window window = game_window();
			ASSERT_NE(window, None) << "no game window; log:\n" << game_log();
			press_key(window, XK_n);
			sleep_milliseconds(500);
		}
		wait_for_log_line("Starting mesh \"First Level\"");
		if (HasFatalFailure()) return;
		sleep_milliseconds(play_milliseconds);
		ASSERT_FALSE(exited()) << "the game stopped, status " << status << "\nlog:\n" << game_log();
	}

	// The game's films join the tags this process knows.
	void take_the_films(void)
	{
		const std::string from = game_folder + "/recordings", to = harness_directory() + "/recordings";
		mkdir(to.c_str(), 0755);
		DIR *directory = opendir(from.c_str());
		ASSERT_NE(directory, nullptr) << "the game kept no film";
		while (struct dirent *entry = readdir(directory))
		{
			const std::string name = entry->d_name;
			if (name == "." || name == "..") continue;
			ASSERT_TRUE(write_test_file(to + "/" + name, read_test_file(from + "/" + name)));
		}
		closedir(directory);
		ASSERT_TRUE(tag_files_open(FALSE, nullptr, 0, NONE));
		// A shell's map context names the last recording, as the menu's does.
		ASSERT_TRUE(initialize_zerv_for_new_map(NULL));
	}

	void quit_a_game_with(int signal_number, const char *line)
	{
		play_the_first_level();
		if (HasFatalFailure()) return;
		ASSERT_EQ(kill(pid, signal_number), 0);
		for (int waited = 0; !exited(); waited += 10)
		{
			ASSERT_LT(waited, exit_timeout_milliseconds) << "the game did not stop";
			sleep_milliseconds(10);
		}
		ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
		EXPECT_EQ(WEXITSTATUS(status), 255);
		const std::string log = game_log();
		const std::string ending = std::string(line) + "\nClosing Zerv.\n";
		ASSERT_GE(log.size(), ending.size()) << log;
		EXPECT_EQ(log.substr(log.size() - ending.size()), ending) << log;

		take_the_films();
		if (HasFatalFailure()) return;
		const int32 film = get_last_recording_handle();
		ASSERT_NE(film, NONE);
		const std::vector<uint8> data = harness_tag_data(film);
		ASSERT_GE(data.size(), 12u);
		// The signal is taken between frames and the film gets its last block
		// with the tick the game had reached: its end lies near the ticks
		// played. The game ran for five seconds, 150 ticks at full speed; even
		// a machine slowed to half of that plays 75. A film left unfinished
		// says 0, and one finished at an early block ends short of that.
		const int32 ending_time = static_cast<int32>(get_big_endian(data, 8, 4));
		const int32 ticks_in_play = play_milliseconds * TICKS_PER_SECOND / 1000;
		EXPECT_GE(ending_time, ticks_in_play / 2) << "the film's end is not near the ticks played";
		printf("the film ends at tick %d\n", static_cast<int>(ending_time));

		// The replay plays the film to that end, its last block whole...
		harness_end_map();
		new_game_data setup = {};
		ASSERT_TRUE(enter_replay_immediately(tag_file_get_header_subgroup(film), &setup));
		new_game_data recorded = setup;
		// The shell's map goes first; that turns the start into the replay.
		harness_end_map();
		harness_clear_digest_trail();
		ASSERT_TRUE(harness_start_map(&setup));
		harness_run_replay(1);
		EXPECT_EQ(get_recording_state(), _state_replay_done);
		EXPECT_EQ(game->game_time, ending_time);
		EXPECT_EQ(log_text().find("ends early"), std::string::npos) << log_text();
		const std::vector<harness_digest_entry> replayed = harness_digest_trail();
		harness_end_map();

		// ...and tick for tick as the game played: the same setup played live
		// (the player gave no order) reaches the same digests.
		recorded.parameters.type = _game_type_local;
		ASSERT_TRUE(harness_start_map(&recorded));
		harness_run_ticks(ending_time);
		expect_same_trail(replayed, harness_digest_trail());
		harness_end_map();
	}

	std::string game_folder;
	std::string binary;
	Display *display = nullptr;
	XErrorHandler previous_handler = nullptr;
	pid_t pid = -1;
	int status = 0;
	bool has_exited = false;
};

TEST_F(GameQuitSignals, an_interrupted_first_level_keeps_its_whole_film)
{
	quit_a_game_with(SIGINT, "<SIGINT>");
}

TEST_F(GameQuitSignals, a_terminated_first_level_keeps_its_whole_film)
{
	quit_a_game_with(SIGTERM, "<SIGTERM>");
}

}
