#include "linux_utilities.h"

#include <execinfo.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "error_manager.h"
#include "recording.h"
#include "test_hooks.h"

namespace {

linux_utilities_test_hooks_data linux_utilities_test_hooks;

void (*crash_film_procedure)(void) = recording_crash_handler;
void (*quit_film_procedure)(void) = stop_recording;

// While the main loop runs it takes an interrupt or a termination request
// itself, between frames, where the film can be finished safely.
std::atomic<bool> quit_signals_deferred{false};
std::atomic<int> pending_quit_signal{0};
std::atomic<void (*)(void)> hide_cursor_procedure{nullptr};
std::atomic<void (*)(void)> show_cursor_procedure{nullptr};

// The thread handling a crash (0 for none), and how deep its own faults go.
std::atomic<pid_t> crash_thread{0};
std::atomic<int32> crash_depth{0};

// Large enough for the handler's own frames; a stack overflow cannot be
// handled on the faulting stack.
alignas(16) char crash_signal_stack[64 * 1024];

const int crash_signals[] = {SIGBUS, SIGSEGV, SIGABRT, SIGTRAP, SIGILL, SIGFPE, SIGSYS, SIGXCPU, SIGXFSZ};

uint64 monotonic_milliseconds(void)
{
	struct timespec now;
	clock_gettime(CLOCK_MONOTONIC, &now);
	return static_cast<uint64>(now.tv_sec) * 1000u + static_cast<uint64>(now.tv_nsec) / 1000000u;
}

void write_all(int descriptor, const char *text, size_t length)
{
	while (length > 0)
	{
		ssize_t written = write(descriptor, text, length);
		if (written < 0)
		{
			if (errno == EINTR) continue;
			return;
		}
		text += written;
		length -= static_cast<size_t>(written);
	}
}

void message_to_standard_error(const char *msg)
{
	write_all(STDERR_FILENO, msg, strlen(msg));
	write_all(STDERR_FILENO, "\n", 1);
}

void copy_name(char *name, int32 max_length, const char *source, size_t source_length)
{
	size_t length = MIN(source_length, static_cast<size_t>(max_length - 1));
	memcpy(name, source, length);
	name[length] = 0;
}

const char *quit_signal_line(int signal_number)
{
	return signal_number == SIGTERM ? "<SIGTERM>" : "<SIGINT>";
}

// Outside the main loop, or asked a second time, the process ends at once.
void quit_signal_handler(int signal_number)
{
	int none = 0;
	if (quit_signals_deferred.load() && pending_quit_signal.compare_exchange_strong(none, signal_number)) return;
	log_message(NULL, -1, "%s", quit_signal_line(signal_number));
	log_message(NULL, -1, "Closing Zerv.");
	_exit(-1 & 0xff);
}

void write_line(int descriptor, const char *text)
{
	if (descriptor < 0) return;
	write_all(descriptor, text, strlen(text));
	write_all(descriptor, "\n", 1);
}

// The fault may have come with the heap or a stdio lock held, so nothing here
// allocates or takes a stream's lock: the log is written through its
// descriptor.
void crash_handler(int signal_number)
{
	const pid_t self = gettid();
	pid_t handler = 0;
	if (!crash_thread.compare_exchange_strong(handler, self))
	{
		if (handler == self)
		{
			// A fault while handling the first one: keep the log if we can, then go.
			if (++crash_depth == 1) log_file_crash_handler();
			_exit(-1 & 0xff);
		}
		// Another thread writes the crash log and ends the process; should it
		// stall, the log is still kept.
		struct timespec pause = {0, 100 * 1000 * 1000};
		for (int32 turn = 0; turn < 50; ++turn) nanosleep(&pause, NULL);
		log_file_crash_handler();
		_exit(-1 & 0xff);
	}

	const char *description = sigdescr_np(signal_number);
	if (!description) description = "Unknown signal";
	write_line(STDOUT_FILENO, description);
	const int descriptor = get_log_file_descriptor();
	write_line(descriptor, description);

	void *frames[64];
	int frame_count = backtrace(frames, static_cast<int>(NUMBEROF(frames)));
	if (descriptor >= 0) backtrace_symbols_fd(frames, frame_count, descriptor);

	if (crash_film_procedure) crash_film_procedure();
	log_file_crash_handler();
	_exit(-1 & 0xff);
}

}

uint32 machine_tick_count(void)
{
	if (test_manual_clock_is_on()) return test_manual_clock_time();
	static const uint64 start = monotonic_milliseconds();
	return static_cast<uint32>(monotonic_milliseconds() - start);
}

void show_message_box(const char *msg)
{
	if (!msg) msg = "";

	if (linux_utilities_test_hooks.capture_message_boxes)
	{
		linux_utilities_test_hooks.message_box_count += 1;
		snprintf(linux_utilities_test_hooks.last_message_box, sizeof(linux_utilities_test_hooks.last_message_box), "%s", msg);
		return;
	}

	const char *display = getenv("DISPLAY");
	if (!display || !*display)
	{
		message_to_standard_error(msg);
		return;
	}

	// Everything the child needs is built before the fork.
	char *message = const_cast<char *>(msg);
	char *zenity_arguments[] = {const_cast<char *>("zenity"), const_cast<char *>("--error"),
		const_cast<char *>("--text"), message, NULL};
	char *xmessage_arguments[] = {const_cast<char *>("xmessage"), const_cast<char *>("-buttons"),
		const_cast<char *>("OK:101"), const_cast<char *>("-default"), const_cast<char *>("OK"),
		const_cast<char *>("-center"), message, NULL};

	// The write end closes on a successful exec; a byte on it means that no
	// program started.
	int status_pipe[2];
	if (pipe2(status_pipe, O_CLOEXEC) != 0)
	{
		message_to_standard_error(msg);
		return;
	}

	pid_t child = fork();
	if (child < 0)
	{
		close(status_pipe[0]);
		close(status_pipe[1]);
		message_to_standard_error(msg);
		return;
	}
	if (child == 0)
	{
		close(status_pipe[0]);
		execvp(zenity_arguments[0], zenity_arguments);
		execvp(xmessage_arguments[0], xmessage_arguments);
		char failed = 1;
		ssize_t ignored = write(status_pipe[1], &failed, 1);
		(void)ignored;
		// No at-exit handlers and no second flush of stdio in the child.
		_exit(1);
	}

	close(status_pipe[1]);
	char report = 0;
	ssize_t got;
	do
	{
		got = read(status_pipe[0], &report, 1);
	} while (got < 0 && errno == EINTR);
	close(status_pipe[0]);

	int status;
	while (waitpid(child, &status, 0) < 0 && errno == EINTR) {}

	if (got == 1) message_to_standard_error(msg);
}

void alert_user(int16, int16 resource_number, int16 error_number, int32 identifier)
{
	log_message(NULL, -1, "Alerting user for resource number:%d error number:%d identifier:%d",
		static_cast<int>(resource_number), static_cast<int>(error_number), static_cast<int>(identifier));
}

void cut_full_name_at_comma(char *name, int32 max_length, const char *full_name)
{
	if (!name || max_length <= 0) return;
	if (!full_name) full_name = "";
	const char *comma = strchr(full_name, ',');
	copy_name(name, max_length, full_name, comma ? static_cast<size_t>(comma - full_name) : strlen(full_name));
}

void get_name_from_system(char *name, int32 max_length, boolean login_name)
{
	if (!name || max_length <= 0) return;

	std::string login;
	std::string full_name;
	bool found = false;
	if (linux_utilities_test_hooks.use_fake_password_entry)
	{
		found = linux_utilities_test_hooks.fake_password_entry_exists;
		login = linux_utilities_test_hooks.fake_login_name;
		full_name = linux_utilities_test_hooks.fake_full_name;
	}
	else
	{
		long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
		std::vector<char> buffer(suggested > 0 ? static_cast<size_t>(suggested) : 16384);
		struct passwd entry;
		struct passwd *result = NULL;
		int error;
		while ((error = getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &result)) == ERANGE &&
			buffer.size() < (1u << 20))
		{
			buffer.resize(buffer.size() * 2);
		}
		if (error == 0 && result)
		{
			found = true;
			login = entry.pw_name ? entry.pw_name : "";
			full_name = entry.pw_gecos ? entry.pw_gecos : "";
		}
	}

	if (!found)
	{
		copy_name(name, max_length, "player", 6);
		return;
	}
	if (!login_name)
	{
		cut_full_name_at_comma(name, max_length, full_name.c_str());
		if (name[0]) return;
		// An empty full name: the login name is the next best.
	}
	copy_name(name, max_length, login.c_str(), login.size());
}

void initialize_crash_handler(void)
{
	stack_t alternate;
	memset(&alternate, 0, sizeof(alternate));
	alternate.ss_sp = crash_signal_stack;
	alternate.ss_size = sizeof(crash_signal_stack);
	sigaltstack(&alternate, NULL);

	// The first backtrace loads the unwinder; doing that inside a crash may
	// allocate.
	void *frames[4];
	backtrace(frames, static_cast<int>(NUMBEROF(frames)));
	// Likewise the time zone, read on the first local-time conversion.
	get_recording_time_string();

	struct sigaction action;
	memset(&action, 0, sizeof(action));
	sigemptyset(&action.sa_mask);
	action.sa_flags = SA_ONSTACK;
	action.sa_handler = quit_signal_handler;
	sigaction(SIGINT, &action, NULL);
	sigaction(SIGTERM, &action, NULL);

	// A fault inside the handler must reach it again (for the guard), not the
	// default action.
	action.sa_flags = SA_ONSTACK | SA_NODEFER;
	action.sa_handler = crash_handler;
	for (int signal_number : crash_signals) sigaction(signal_number, &action, NULL);
}

void set_crash_film_procedure(void (*procedure)(void))
{
	crash_film_procedure = procedure;
}

void set_quit_signals_deferred(boolean deferred)
{
	quit_signals_deferred.store(deferred != FALSE);
}

void honour_quit_signal(void)
{
	const int signal_number = pending_quit_signal.load();
	if (signal_number == 0) return;
	log_message(NULL, -1, "%s", quit_signal_line(signal_number));
	// The work of a normal quit: the film gets its last block and its end.
	if (quit_film_procedure) quit_film_procedure();
	log_message(NULL, -1, "Closing Zerv.");
	_exit(-1 & 0xff);
}

void set_quit_film_procedure(void (*procedure)(void))
{
	quit_film_procedure = procedure;
}

void initialize_working_directory(void)
{
	char path[4096];
	ssize_t length = readlink("/proc/self/exe", path, sizeof(path));
	// A full buffer may hold a cut path.
	if (length <= 0 || static_cast<size_t>(length) >= sizeof(path)) return;
	path[length] = 0;

	char *slash = strrchr(path, '/');
	if (!slash) return;
	if (slash == path) slash[1] = 0;
	else *slash = 0;

	if (linux_utilities_test_hooks.skip_working_directory_change)
	{
		snprintf(linux_utilities_test_hooks.working_directory, sizeof(linux_utilities_test_hooks.working_directory), "%s", path);
		return;
	}
	if (chdir(path) != 0) {}
}

void hide_cursor(void)
{
	void (*procedure)(void) = hide_cursor_procedure.load();
	if (procedure) procedure();
}

void show_cursor(void)
{
	void (*procedure)(void) = show_cursor_procedure.load();
	if (procedure) procedure();
}

void set_cursor_procedures(void (*hide)(void), void (*show)(void))
{
	hide_cursor_procedure.store(hide);
	show_cursor_procedure.store(show);
}

void kill_screen_saver(void)
{
}

linux_utilities_test_hooks_data *get_linux_utilities_test_hooks(void)
{
	return &linux_utilities_test_hooks;
}

void reset_linux_utilities_test_hooks(void)
{
	memset(&linux_utilities_test_hooks, 0, sizeof(linux_utilities_test_hooks));
	crash_film_procedure = recording_crash_handler;
	quit_film_procedure = stop_recording;
	quit_signals_deferred.store(false);
	pending_quit_signal.store(0);
}
