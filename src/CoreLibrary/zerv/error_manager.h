// Error reporting and the log file "zerv_log.txt".
#ifndef ERROR_MANAGER_H
#define ERROR_MANAGER_H

#include <cstddef>
#include <cstdio>

#include "cseries.h"

enum
{
	_error_none,
	_error_unknown,
	_error_user_quit,
	_error_file_system_read,
	_error_file_system_write,
	_error_file_system_open,
	_error_file_system_create,
	_error_file_system_general,
	_error_out_of_memory,
	_error_data_version,
	_error_data_corrupted,
	_error_data_missing,
	_error_data_mismatch,
	_error_array_full,
	_error_fatal_recursion,
	_error_out_of_bounds,
	_error_assertion_failure,
	_error_out_of_sync,
	_error_warning,
	NUMBER_OF_ERROR_CODES
};

#define ERROR_MESSAGE_BUFFER_MAXIMUM_SIZE 1024
#define ERROR_MESSAGE_MAXIMUM_LENGTH 256
#define ERROR_LOG_ENTRY_MAXIMUM_LENGTH 1024
#define ERROR_BUILD_LABEL "Build 377"
#define ERROR_LOG_FILE_NAME "zerv_log.txt"

extern const char *error_message_strings[NUMBER_OF_ERROR_CODES];

// Reports name the module, the source file's base name without folder or
// extension, never the build machine's path to it.
template <size_t size>
struct module_name_text
{
	char text[size];
};

template <size_t size>
constexpr module_name_text<size> module_name_from_path(const char (&path)[size])
{
	module_name_text<size> name{};
	size_t start = 0;
	for (size_t i = 0; i + 1 < size; ++i)
	{
		if (path[i] == '/' || path[i] == '\\') start = i + 1;
	}
	size_t end = size - 1;
	for (size_t i = start; i + 1 < size; ++i)
	{
		if (path[i] == '.') end = i;
	}
	for (size_t i = start; i < end; ++i) name.text[i - start] = path[i];
	return name;
}

// Expanded where it is used, so that __FILE__ is the caller's.
#define MODULE_NAME \
	([]() -> const char * { \
		static constexpr module_name_text module_name = module_name_from_path(__FILE__); \
		return module_name.text; \
	}())

struct error_globals_data
{
	int16 code;
	int16 permutation;
	boolean recursion_lock;
	boolean ignore;
	int16 message_buffer_size;
	char message_buffer[ERROR_MESSAGE_BUFFER_MAXIMUM_SIZE];
	FILE *debug_file;
	// Only a log this process created is ever renamed by a crash.
	boolean log_opened_by_this_process;
};

// NULL until initialize_error_state.
extern error_globals_data *error_globals;

void initialize_error_state(const char *app_name);
void error_message(int16 code, const char *file, int32 line, const char *format, ...) ATTRIBUTE_PRINTF(4, 5);
boolean handle_error(void);
void log_message(const char *file, int32 line, const char *format, ...) ATTRIBUTE_PRINTF(3, 4);
void write_to_error_file(const char *string, boolean print_date);
void set_ignore_errors(boolean ignore);
void reset_error_state(void);
void dispose_error_state(void);
void log_file_crash_handler(void);

// The stored code, _error_none without error state.
int16 get_error_code(void);
// The log's file descriptor for writers that must not allocate (the crash
// path); -1 while the log is closed.
int get_log_file_descriptor(void);

// Test hooks.
struct error_manager_test_hooks_data
{
	// While set, dates in the log use the fixed time below instead of the clock.
	boolean use_fixed_time;
	int32 year, month, day, hour, minute, second; // month 1-12
};

error_manager_test_hooks_data *get_error_manager_test_hooks(void);
void reset_error_manager_test_hooks(void);

#endif
