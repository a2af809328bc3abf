#include "error_manager.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <ctime>

#include "recording.h"
#include "system_information.h"

const char *error_message_strings[NUMBER_OF_ERROR_CODES] = {
	"None",
	"Unknown",
	"User Quit or Cancel",
	"File system Read",
	"File system Write",
	"File system Open",
	"File system Create",
	"File system General",
	"Out of Memory",
	"Data Version Mismatch",
	"Data Corrupted",
	"Data Missing",
	"Data Mismatch",
	"Array Full",
	"Fatal Recursion",
	"Array Out of Bounds",
	"Assertion Failure",
	"Out of Sync",
	"Warning"};

error_globals_data *error_globals = NULL;

namespace {

// Where the log was created, so that a crash renames that file even after a
// change of directory.
char log_file_path[4096 + 64];
char log_file_directory[4096];
bool exit_handler_registered = false;
// The log's descriptor, kept apart from its stream so that the crash path
// never touches stdio.
int log_file_descriptor = -1;
// Set by the first caller of the crash path; two faulting threads rename once.
int crash_log_taken = 0;

error_manager_test_hooks_data error_manager_test_hooks;

bool error_code_is_fatal(int32 code)
{
	return code == _error_out_of_memory || code == _error_assertion_failure || code == _error_out_of_sync;
}

const char *error_code_name(int32 code)
{
	return (code >= 0 && code < NUMBER_OF_ERROR_CODES) ? error_message_strings[code] : "Unknown";
}

// The part of a source path after its last backslash.
const char *source_file_name(const char *file)
{
	const char *backslash = strrchr(file, '\\');
	return backslash ? backslash + 1 : file;
}

// Formats into buffer; a cut text still ends in a newline when the full one
// would have.
void format_entry(char *buffer, size_t size, const char *format, ...) ATTRIBUTE_PRINTF(3, 4);
void format_entry(char *buffer, size_t size, const char *format, ...)
{
	va_list arguments;
	va_start(arguments, format);
	int length = vsnprintf(buffer, size, format, arguments);
	va_end(arguments);
	if (length < 0)
	{
		buffer[0] = 0;
	}
	else if (static_cast<size_t>(length) >= size && size > 1)
	{
		buffer[size - 2] = '\n';
	}
}

void write_date_prefix(FILE *file)
{
	int32 year, month, day, hour, minute, second;
	if (error_manager_test_hooks.use_fixed_time)
	{
		year = error_manager_test_hooks.year;
		month = error_manager_test_hooks.month;
		day = error_manager_test_hooks.day;
		hour = error_manager_test_hooks.hour;
		minute = error_manager_test_hooks.minute;
		second = error_manager_test_hooks.second;
	}
	else
	{
		time_t now = time(NULL);
		struct tm local;
		if (!localtime_r(&now, &local)) memset(&local, 0, sizeof(local));
		year = local.tm_year + 1900;
		month = local.tm_mon + 1;
		day = local.tm_mday;
		hour = local.tm_hour;
		minute = local.tm_min;
		second = local.tm_sec;
	}
	fprintf(file, "%04d-%02d-%02d %02d:%02d:%02d  ",
		static_cast<int>(year), static_cast<int>(month), static_cast<int>(day),
		static_cast<int>(hour), static_cast<int>(minute), static_cast<int>(second));
}

void describe_system(char *buffer, size_t size)
{
	switch (sys_info.type)
	{
	case _system_type_macintosh: snprintf(buffer, size, "MacOS %lx (Intel)", static_cast<unsigned long>(sys_info.better_version)); break;
	case _system_type_win95: snprintf(buffer, size, "Win95"); break;
	case _system_type_win98: snprintf(buffer, size, "Win98"); break;
	case _system_type_winME: snprintf(buffer, size, "WinME"); break;
	case _system_type_winNT: snprintf(buffer, size, "Modern Windows %f", static_cast<double>(sys_info.version)); break;
	case _system_type_linux: snprintf(buffer, size, "Linux"); break;
	default: snprintf(buffer, size, "Unknown Operating System"); break;
	}
}

// The log stays locked while it is open. A second instance started beside a
// running one must not truncate that instance's log, so it goes without one.
static FILE *open_log_file(void)
{
	const int fd = open(ERROR_LOG_FILE_NAME, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
	if (fd < 0) return NULL;
	if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ftruncate(fd, 0) != 0)
	{
		close(fd);
		return NULL;
	}
	FILE *file = fdopen(fd, "w");
	if (!file) close(fd);
	return file;
}

void close_log_file(void)
{
	if (error_globals && error_globals->debug_file)
	{
		fclose(error_globals->debug_file);
		error_globals->debug_file = NULL;
	}
	log_file_descriptor = -1;
}

// Copies source after the text already in buffer; async-signal-safe.
void append_text(char *buffer, size_t size, const char *source)
{
	size_t length = strlen(buffer);
	while (*source && length + 1 < size) buffer[length++] = *source++;
	buffer[length] = 0;
}

}

void initialize_error_state(const char *app_name)
{
	if (!error_globals)
	{
		error_globals = static_cast<error_globals_data *>(calloc(1, sizeof(error_globals_data)));
		if (!error_globals) _exit(-1 & 0xff);
	}
	else
	{
		// Started again (tests do this in a fresh directory): the old log is done.
		close_log_file();
		memset(error_globals, 0, sizeof(*error_globals));
	}

	log_file_path[0] = 0;
	log_file_directory[0] = 0;
	crash_log_taken = 0;
	error_globals->debug_file = open_log_file();
	if (error_globals->debug_file)
	{
		log_file_descriptor = fileno(error_globals->debug_file);
		error_globals->log_opened_by_this_process = TRUE;
		if (getcwd(log_file_directory, sizeof(log_file_directory)))
		{
			snprintf(log_file_path, sizeof(log_file_path), "%s/%s", log_file_directory, ERROR_LOG_FILE_NAME);
		}
		else
		{
			log_file_directory[0] = 0;
		}
	}

	if (!exit_handler_registered)
	{
		atexit(dispose_error_state);
		exit_handler_registered = true;
	}

	char system_description[64];
	char opening[ERROR_LOG_ENTRY_MAXIMUM_LENGTH];
	describe_system(system_description, sizeof(system_description));
	format_entry(opening, sizeof(opening), "\n%s %s running under %s ----------------------------------------------\n",
		app_name ? app_name : "", ERROR_BUILD_LABEL, system_description);
	write_to_error_file(opening, TRUE);

	error_globals->code = _error_none;
	error_globals->permutation = 0;
	error_globals->message_buffer_size = 0;
	error_globals->ignore = FALSE;
}

void error_message(int16 code, const char *file, int32 line, const char *format, ...)
{
	bool fatal = error_code_is_fatal(code);

	if (!error_globals)
	{
		// Nothing to store in yet; a fatal error still ends the process.
		if (fatal) exit(code);
		return;
	}

	// Fatal codes are stored even while errors are ignored.
	if (fatal || (!error_globals->ignore && error_globals->code == _error_none))
	{
		error_globals->code = code;
		error_globals->permutation = -1;
	}

	if (format)
	{
		char message[ERROR_MESSAGE_MAXIMUM_LENGTH];
		char message_line[ERROR_MESSAGE_MAXIMUM_LENGTH + 1];
		char entry[ERROR_LOG_ENTRY_MAXIMUM_LENGTH];
		va_list arguments;

		va_start(arguments, format);
		if (vsnprintf(message, sizeof(message), format, arguments) < 0) message[0] = 0;
		va_end(arguments);
		snprintf(message_line, sizeof(message_line), "%s\n", message);

		if (file)
		{
			int32 stored = error_globals->code;
			if (stored == _error_assertion_failure)
			{
				format_entry(entry, sizeof(entry), "%s in %s, line #%d: %s", fatal ? "halt" : "pause",
					source_file_name(file), static_cast<int>(line), message_line);
			}
			else
			{
				format_entry(entry, sizeof(entry), "Error: %s in %s, line #%d: %s", error_code_name(stored),
					source_file_name(file), static_cast<int>(line), message_line);
			}
			write_to_error_file(entry, FALSE);
		}
		else
		{
			write_to_error_file(message_line, FALSE);
		}

		size_t length = strlen(message_line);
		size_t used = static_cast<size_t>(error_globals->message_buffer_size);
		if (used + length < ERROR_MESSAGE_BUFFER_MAXIMUM_SIZE)
		{
			memcpy(error_globals->message_buffer + used, message_line, length + 1);
			error_globals->message_buffer_size = static_cast<int16>(used + length);
		}
	}

	if (fatal) handle_error();
}

boolean handle_error(void)
{
	if (!error_globals || error_globals->code == _error_none) return FALSE;
	if (error_globals->recursion_lock) return FALSE;

	error_globals->recursion_lock = TRUE;
	int32 code = error_globals->code;
	if (error_code_is_fatal(code))
	{
		log_message(NULL, -1, "handle_error: exiting with code %d", static_cast<int>(code));
		exit(code);
	}

	error_globals->code = _error_none;
	error_globals->permutation = 0;
	error_globals->message_buffer_size = 0;
	error_globals->message_buffer[0] = 0;
	error_globals->ignore = FALSE;
	error_globals->recursion_lock = FALSE;
	return TRUE;
}

void log_message(const char *file, int32 line, const char *format, ...)
{
	if (!format) return;
	if (!error_globals || !error_globals->debug_file) return;

	char message[ERROR_MESSAGE_MAXIMUM_LENGTH];
	char entry[ERROR_LOG_ENTRY_MAXIMUM_LENGTH];
	va_list arguments;

	va_start(arguments, format);
	if (vsnprintf(message, sizeof(message), format, arguments) < 0) message[0] = 0;
	va_end(arguments);

	if (file)
	{
		format_entry(entry, sizeof(entry), "%s, line #%d: %s\n", source_file_name(file), static_cast<int>(line), message);
	}
	else
	{
		format_entry(entry, sizeof(entry), "%s\n", message);
	}
	write_to_error_file(entry, FALSE);
}

void write_to_error_file(const char *string, boolean print_date)
{
	if (!error_globals || !error_globals->debug_file || !string) return;
	if (print_date) write_date_prefix(error_globals->debug_file);
	fputs(string, error_globals->debug_file);
	fflush(error_globals->debug_file);
}

void set_ignore_errors(boolean ignore)
{
	if (error_globals) error_globals->ignore = ignore;
}

void reset_error_state(void)
{
	if (!error_globals) return;
	error_globals->code = _error_none;
	error_globals->permutation = 0;
	error_globals->message_buffer_size = 0;
	error_globals->message_buffer[0] = 0;
	error_globals->ignore = FALSE;
}

void dispose_error_state(void)
{
	close_log_file();
}

// Runs inside a signal handler, perhaps with the heap or a stdio lock held:
// only async-signal-safe calls. The stream is abandoned, not closed (fclose
// frees); every line was flushed when written.
void log_file_crash_handler(void)
{
	// A log of an earlier run must survive: only ours is renamed.
	if (!error_globals || !error_globals->log_opened_by_this_process) return;
	if (__atomic_exchange_n(&crash_log_taken, 1, __ATOMIC_SEQ_CST)) return;
	error_globals->log_opened_by_this_process = FALSE;
	if (log_file_descriptor >= 0) close(log_file_descriptor);
	log_file_descriptor = -1;
	error_globals->debug_file = NULL;

	char crash_name[1024] = "zerv_crashlog- ";
	append_text(crash_name, sizeof(crash_name), get_recording_time_string());
	append_text(crash_name, sizeof(crash_name), ".txt");
	if (log_file_path[0])
	{
		char crash_path[sizeof(log_file_directory) + sizeof(crash_name) + 1] = "";
		append_text(crash_path, sizeof(crash_path), log_file_directory);
		append_text(crash_path, sizeof(crash_path), "/");
		append_text(crash_path, sizeof(crash_path), crash_name);
		rename(log_file_path, crash_path);
	}
	else
	{
		rename(ERROR_LOG_FILE_NAME, crash_name);
	}
}

int16 get_error_code(void)
{
	return error_globals ? error_globals->code : static_cast<int16>(_error_none);
}

int get_log_file_descriptor(void)
{
	return (error_globals && error_globals->debug_file) ? log_file_descriptor : -1;
}

error_manager_test_hooks_data *get_error_manager_test_hooks(void)
{
	return &error_manager_test_hooks;
}

void reset_error_manager_test_hooks(void)
{
	memset(&error_manager_test_hooks, 0, sizeof(error_manager_test_hooks));
}
