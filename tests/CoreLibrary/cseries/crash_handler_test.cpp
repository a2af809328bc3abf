#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#if !defined(__SANITIZE_ADDRESS__)
#include <malloc.h>
#endif

#include "CoreLibrary/cseries/linux_utilities.h"
#include "CoreLibrary/zerv/error_manager.h"
#include "support/test_directory.h"

namespace {

class crash_handler : public zerv_test_directory
{
protected:
	void SetUp() override
	{
		zerv_test_directory::SetUp();
		GTEST_FLAG_SET(death_test_style, "threadsafe");
	}
};

std::vector<std::string> crash_logs(void)
{
	std::vector<std::string> names;
	DIR *directory = opendir(".");
	if (!directory) return names;
	while (struct dirent *entry = readdir(directory))
	{
		std::string name = entry->d_name;
		if (name.rfind("zerv_crashlog- ", 0) == 0 && name.size() > 4 && name.substr(name.size() - 4) == ".txt")
		{
			names.push_back(name);
		}
	}
	closedir(directory);
	return names;
}

std::vector<std::string> lines_of(const std::string &text)
{
	std::vector<std::string> lines;
	size_t start = 0;
	while (start < text.size())
	{
		size_t end = text.find('\n', start);
		if (end == std::string::npos) end = text.size();
		lines.push_back(text.substr(start, end - start));
		start = end + 1;
	}
	return lines;
}

// Standard output of the child goes to a file the parent can read.
void start_crashing_process(void)
{
	int output = open("stdout.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
	if (output >= 0) dup2(output, STDOUT_FILENO);
	initialize_error_state("zerv");
	log_message(NULL, -1, "running");
	initialize_crash_handler();
}

void film_procedure(void)
{
	write_test_file("film_saved", "yes");
}

void faulting_film_procedure(void)
{
	write_test_file("film_started", "yes");
	raise(SIGSEGV);
}

void at_exit_marker(void)
{
	write_test_file("at_exit_ran", "yes");
}

// Hidden from the optimiser, which would otherwise reject the write.
volatile uintptr_t bad_address = 16;
volatile int recursion_sink;
volatile bool keep_recursing = true;

int overflow_the_stack(int depth)
{
	volatile char padding[4096];
	padding[0] = static_cast<char>(depth);
	recursion_sink = padding[0];
	if (!keep_recursing) return 0;
	return overflow_the_stack(depth + 1) + padding[0];
}

std::atomic<bool> allocator_fault_coming{false};

void fault_inside_the_allocator(void)
{
	allocator_fault_coming = true;
	*reinterpret_cast<volatile int *>(bad_address) = 1;
}

#if defined(__SANITIZE_ADDRESS__)
const size_t faulting_allocation_size = 12345;
std::atomic<bool> allocator_hook_armed{false};

void fault_while_holding_the_heap(void)
{
	allocator_hook_armed = true;
	void *volatile block = malloc(faulting_allocation_size);
	free(block);
}
#else
ssize_t faulting_write(void *, const char *, size_t)
{
	fault_inside_the_allocator();
	return 0;
}

// The allocator prints its statistics while holding the main arena's lock.
void fault_while_holding_the_heap(void)
{
	cookie_io_functions_t functions = {};
	functions.write = faulting_write;
	FILE *faulting = fopencookie(NULL, "w", functions);
	if (!faulting) _exit(4);
	setvbuf(faulting, NULL, _IONBF, 0);
	stderr = faulting;
	malloc_stats();
}
#endif

}

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's allocator calls this from inside every allocation.
extern "C" void __sanitizer_malloc_hook(const volatile void *, size_t size)
{
	if (size == faulting_allocation_size && allocator_hook_armed) fault_inside_the_allocator();
}
#endif

namespace {

// The crash log holds the running line, the signal line and 1 to 64 frames.
void expect_crash_log_with(const char *description)
{
	std::vector<std::string> logs = crash_logs();
	ASSERT_EQ(1u, logs.size());
	EXPECT_FALSE(test_file_exists(ERROR_LOG_FILE_NAME));
	std::vector<std::string> lines = lines_of(read_test_file(logs[0]));
	size_t at = 0;
	while (at < lines.size() && lines[at] != "running") ++at;
	ASSERT_LT(at + 1, lines.size());
	EXPECT_EQ(description, lines[at + 1]);
	size_t frames = lines.size() - (at + 2);
	EXPECT_GE(frames, 1u);
	EXPECT_LE(frames, 64u);
}

}

TEST_F(crash_handler, SegmentationFaultLeavesACrashLogAndExits255)
{
	EXPECT_EXIT(
		{
			start_crashing_process();
			set_crash_film_procedure(film_procedure);
			raise(SIGSEGV);
		},
		::testing::ExitedWithCode(255), "");
	expect_crash_log_with(strsignal(SIGSEGV));
	EXPECT_EQ(std::string(strsignal(SIGSEGV)) + "\n", read_test_file("stdout.txt"));
	EXPECT_TRUE(test_file_exists("film_saved"));
}

TEST_F(crash_handler, RealFaultIsHandled)
{
	EXPECT_EXIT(
		{
			start_crashing_process();
			*reinterpret_cast<volatile int *>(bad_address) = 1;
		},
		::testing::ExitedWithCode(255), "");
	expect_crash_log_with(strsignal(SIGSEGV));
}

TEST_F(crash_handler, AbortIsHandled)
{
	EXPECT_EXIT(
		{
			start_crashing_process();
			abort();
		},
		::testing::ExitedWithCode(255), "");
	expect_crash_log_with(strsignal(SIGABRT));
}

TEST_F(crash_handler, StackOverflowIsHandledOnItsOwnStack)
{
	EXPECT_EXIT(
		{
			start_crashing_process();
			recursion_sink = overflow_the_stack(0);
		},
		::testing::ExitedWithCode(255), "");
	expect_crash_log_with(strsignal(SIGSEGV));
}

TEST_F(crash_handler, FaultInsideTheFilmProcedureStillExits255)
{
	EXPECT_EXIT(
		{
			start_crashing_process();
			set_crash_film_procedure(faulting_film_procedure);
			raise(SIGBUS);
		},
		::testing::ExitedWithCode(255), "");
	EXPECT_TRUE(test_file_exists("film_started"));
	// The log is still kept.
	EXPECT_EQ(1u, crash_logs().size());
}

TEST_F(crash_handler, InterruptLogsTwoLinesAndSkipsAtExitHandlers)
{
	EXPECT_EXIT(
		{
			start_crashing_process();
			atexit(at_exit_marker);
			raise(SIGINT);
		},
		::testing::ExitedWithCode(255), "");
	std::string log = read_test_file(ERROR_LOG_FILE_NAME);
	EXPECT_EQ("running\n<SIGINT>\nClosing Zerv.\n", log.substr(log.find("running\n")));
	EXPECT_FALSE(test_file_exists("at_exit_ran"));
	EXPECT_TRUE(crash_logs().empty());
}

TEST_F(crash_handler, FaultsOnTwoThreadsWithTheHeapLockedStillLeaveACrashLog)
{
	EXPECT_EXIT(
		{
			start_crashing_process();
			// A hang ends the child by the alarm, not with 255.
			alarm(10);
			std::thread second([] {
				while (!allocator_fault_coming) usleep(1000);
				usleep(50 * 1000);
				*reinterpret_cast<volatile int *>(bad_address) = 2;
			});
			fault_while_holding_the_heap();
			second.join();
			_exit(3);
		},
		::testing::ExitedWithCode(255), "");
	expect_crash_log_with(strsignal(SIGSEGV));
}
