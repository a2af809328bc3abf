// The game started as a player starts it, timed from its command line to the
// first picture of its main menu on the X display. Header-only: it needs X11,
// which only the window tests and the OpenGL-side benchmarks link.
#ifndef ZERV_GAME_START_TIMING_H
#define ZERV_GAME_START_TIMING_H

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/foundation_files.h"
#include "support/game_process.h"

extern char **environ;

namespace game_start_timing {

// Windows vanish while they are read; their errors are not the caller's.
inline int ignore_x_error(Display *, XErrorEvent *) { return 0; }

inline std::string read_whole_file(const std::string &path)
{
	std::string text;
	if (FILE *file = fopen(path.c_str(), "rb"))
	{
		char buffer[4096];
		size_t count;
		while ((count = fread(buffer, 1, sizeof(buffer), file)) > 0) text.append(buffer, count);
		fclose(file);
	}
	return text;
}

inline void dump_image(const XImage *image, const char *folder)
{
	FILE *file = fopen((std::string(folder) + "/startup_first_picture.ppm").c_str(), "wb");
	if (!file) return;
	fprintf(file, "P6\n%d %d\n255\n", image->width, image->height);
	for (int y = 0; y < image->height; ++y)
	{
		for (int x = 0; x < image->width; ++x)
		{
			const unsigned long pixel = XGetPixel(const_cast<XImage *>(image), x, y);
			const unsigned char rgb[3] = {static_cast<unsigned char>(pixel >> 16), static_cast<unsigned char>(pixel >> 8),
				static_cast<unsigned char>(pixel)};
			fwrite(rgb, 1, 3, file);
		}
	}
	fclose(file);
}

// Whether a mapped top-level window of at least 320 x 240 shows a pixel that
// is not black. With ZERV_DUMP_FRAMES=folder the picture found is written
// there for a look.
inline bool a_window_shows_a_picture(Display *display)
{
	Window root, parent, *children = nullptr;
	unsigned int count = 0;
	if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) return false;
	bool shown = false;
	for (unsigned int i = 0; i < count && !shown; ++i)
	{
		XWindowAttributes attributes;
		if (!XGetWindowAttributes(display, children[i], &attributes) || attributes.map_state != IsViewable) continue;
		if (attributes.width < 320 || attributes.height < 240) continue;
		XImage *image = XGetImage(display, children[i], 0, 0, static_cast<unsigned>(attributes.width),
			static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
		if (!image) continue;
		for (int y = 0; y < image->height && !shown; y += 3)
		{
			for (int x = 0; x < image->width; x += 3)
			{
				if (XGetPixel(image, x, y) & 0x00FFFFFFu)
				{
					shown = true;
					break;
				}
			}
		}
		const char *dump_folder = getenv("ZERV_DUMP_FRAMES");
		if (shown && dump_folder) dump_image(image, dump_folder);
		XDestroyImage(image);
	}
	if (children) XFree(children);
	return shown;
}

struct start_result
{
	double milliseconds = -1; // to the first picture; -1 when none came
	bool menu_entered = false; // the log says the main menu was entered
	std::string log;
};

// Copies the game and the generated tag set into folder (made if missing),
// starts it there on the current display and waits, up to timeout_ms, for
// its first picture; then interrupts it. The timing starts just before the
// spawn, so the process's own loading is counted.
inline start_result time_game_start(const std::string &binary, const std::string &folder, double timeout_ms)
{
	start_result result;
	mkdir(folder.c_str(), 0755);
	if (!install_placeholder_foundation_files(folder)) return result;
	const std::string game = folder + "/zerv";
	{
		const std::string contents = read_whole_file(binary);
		FILE *file = fopen(game.c_str(), "wb");
		if (contents.empty() || !file) return result;
		const bool written = fwrite(contents.data(), 1, contents.size(), file) == contents.size();
		if (fclose(file) != 0 || !written || chmod(game.c_str(), 0755) != 0) return result;
	}
	Display *display = XOpenDisplay(nullptr);
	if (!display) return result;
	XErrorHandler previous = XSetErrorHandler(ignore_x_error);

	pid_t pid = -1;
	const auto start = std::chrono::steady_clock::now();
	const bool spawned = spawn_game(game, folder, environ, &pid);
	bool exited = false;
	if (spawned)
	{
		for (;;)
		{
			const double elapsed =
				std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
			if (a_window_shows_a_picture(display))
			{
				result.milliseconds = elapsed;
				break;
			}
			int status = 0;
			if (waitpid(pid, &status, WNOHANG) == pid)
			{
				exited = true;
				break;
			}
			if (elapsed > timeout_ms) break;
			const struct timespec pause = {0, 2000000};
			nanosleep(&pause, nullptr);
		}
		if (!exited)
		{
			// An interrupt closes the game; a hung one is killed.
			kill(pid, SIGINT);
			int status = 0;
			for (int waited = 0; waitpid(pid, &status, WNOHANG) != pid; waited += 10)
			{
				if (waited == 10000) kill(pid, SIGKILL);
				const struct timespec pause = {0, 10000000};
				nanosleep(&pause, nullptr);
			}
		}
	}
	XSetErrorHandler(previous);
	XCloseDisplay(display);
	result.log = read_whole_file(folder + "/zerv_log.txt");
	result.menu_entered = result.log.find("Loading Patch Files Succeeded") != std::string::npos;
	return result;
}

} // namespace game_start_timing

#endif
