#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <string_view>
#include <vector>

#include "CoreLibrary/cseries/linux_utilities.h"
#include "CoreLibrary/zerv/error_manager.h"
#include "CoreLibrary/zerv/system_information.h"
#include "recording.h"
#include "support/test_directory.h"

namespace {

class ErrorManager : public zerv_test_directory
{
protected:
	void SetUp() override
	{
		zerv_test_directory::SetUp();
		GTEST_FLAG_SET(death_test_style, "threadsafe");
	}
};

using LogFile = ErrorManager;

std::string log_text(void)
{
	return read_test_file(ERROR_LOG_FILE_NAME);
}

// The log after its opening entry.
std::string log_body(void)
{
	std::string text = log_text();
	size_t dashes = text.find("---\n");
	return dashes == std::string::npos ? text : text.substr(dashes + 4);
}

std::vector<std::string> files_starting_with(const std::string &prefix)
{
	std::vector<std::string> names;
	DIR *directory = opendir(".");
	if (!directory) return names;
	while (struct dirent *entry = readdir(directory))
	{
		std::string name = entry->d_name;
		if (name.compare(0, prefix.size(), prefix) == 0) names.push_back(name);
	}
	closedir(directory);
	return names;
}

}

TEST_F(ErrorManager, FirstNonFatalCodeIsKeptAndNamedByLaterEntries)
{
	initialize_error_state("zerv 32-Bit");
	error_message(_error_file_system_open, "C:\\src\\files\\game.cpp", 10, "cannot open %s", "a");
	error_message(_error_data_corrupted, "src/files/tags.cpp", 20, "bad tag");

	EXPECT_EQ(_error_file_system_open, get_error_code());
	EXPECT_EQ(-1, error_globals->permutation);
	EXPECT_EQ("Error: File system Open in game.cpp, line #10: cannot open a\n"
		"Error: File system Open in src/files/tags.cpp, line #20: bad tag\n",
		log_body());
	EXPECT_STREQ("cannot open a\nbad tag\n", error_globals->message_buffer);
	EXPECT_EQ(static_cast<int16>(strlen("cannot open a\nbad tag\n")), error_globals->message_buffer_size);

	EXPECT_TRUE(handle_error());
	EXPECT_EQ(_error_none, get_error_code());
	EXPECT_EQ(0, error_globals->permutation);
	EXPECT_EQ(0, error_globals->message_buffer_size);
	EXPECT_FALSE(error_globals->recursion_lock);

	// The next error is stored again.
	error_message(_error_data_missing, NULL, -1, "no mesh");
	EXPECT_EQ(_error_data_missing, get_error_code());
	EXPECT_NE(std::string::npos, log_body().find("bad tag\nno mesh\n"));
}

TEST_F(ErrorManager, HandleErrorWithNothingStoredChangesNothing)
{
	initialize_error_state("zerv");
	set_ignore_errors(TRUE);
	error_message(_error_warning, NULL, -1, "ignored");
	int16 size = error_globals->message_buffer_size;

	EXPECT_FALSE(handle_error());
	EXPECT_TRUE(error_globals->ignore);
	EXPECT_EQ(size, error_globals->message_buffer_size);

	reset_error_state();
	EXPECT_FALSE(error_globals->ignore);
	EXPECT_EQ(0, error_globals->message_buffer_size);
}

TEST_F(ErrorManager, IgnoredReportIsLoggedAsNoneAndStoresNothing)
{
	initialize_error_state("zerv");
	set_ignore_errors(TRUE);
	error_message(_error_file_system_read, "detail.cpp", 7, "missing texture");
	EXPECT_EQ(_error_none, get_error_code());
	EXPECT_EQ("Error: None in detail.cpp, line #7: missing texture\n", log_body());
}

TEST_F(ErrorManager, FatalCodeUnderIgnoreStillEndsTheProcess)
{
	EXPECT_EXIT(
		{
			initialize_error_state("zerv");
			set_ignore_errors(TRUE);
			error_message(_error_out_of_sync, "sync.cpp", 3, "checksums differ");
		},
		::testing::ExitedWithCode(_error_out_of_sync), "");
	std::string body = log_body();
	EXPECT_EQ("Error: Out of Sync in sync.cpp, line #3: checksums differ\nhandle_error: exiting with code 17\n", body);
}

TEST_F(ErrorManager, OutOfMemoryLogsAndExitsWithEight)
{
	EXPECT_EXIT(
		{
			initialize_error_state("zerv");
			error_message(_error_warning, NULL, -1, "first");
			error_message(_error_out_of_memory, NULL, -1, "couldn't allocate #%d bytes for game_data.", 1234);
		},
		::testing::ExitedWithCode(8), "");
	EXPECT_EQ("first\ncouldn't allocate #1234 bytes for game_data.\nhandle_error: exiting with code 8\n", log_body());
}

TEST_F(ErrorManager, AssertionReportsUseHaltOrPause)
{
	EXPECT_EXIT(
		{
			initialize_error_state("zerv");
			error_message(_error_assertion_failure, "a\\b\\units.cpp", 99, "index %d", 5);
		},
		::testing::ExitedWithCode(_error_assertion_failure), "");
	EXPECT_EQ("halt in units.cpp, line #99: index 5\nhandle_error: exiting with code 16\n", log_body());

	// A stored assertion (left behind by a handler that did not exit) turns
	// later reports into pauses.
	initialize_error_state("zerv");
	error_globals->code = _error_assertion_failure;
	error_message(_error_warning, "units.cpp", 100, "later");
	EXPECT_EQ("pause in units.cpp, line #100: later\n", log_body());
}

TEST_F(ErrorManager, LongTextsAreCut)
{
	initialize_error_state("zerv");

	std::string long_message(300, 'm');
	error_message(_error_warning, NULL, -1, "%s", long_message.c_str());
	EXPECT_EQ(std::string(255, 'm') + "\n", log_body());
	EXPECT_EQ(256, error_globals->message_buffer_size);

	// An entry stops at 1023 characters, its newline included.
	initialize_error_state("zerv");
	std::string long_file(1200, 'f');
	error_message(_error_warning, long_file.c_str(), 1, "short");
	std::string entry = log_body();
	ASSERT_EQ(1023u, entry.size());
	EXPECT_EQ(0u, entry.find("Error: Warning in ffff"));
	EXPECT_EQ('\n', entry.back());

	// A logged message stops at 255 characters too; the entry around it at 1023.
	initialize_error_state("zerv");
	log_message(NULL, -1, "%s", std::string(2000, 'x').c_str());
	EXPECT_EQ(std::string(255, 'x') + "\n", log_body());
	initialize_error_state("zerv");
	log_message(long_file.c_str(), 2, "short");
	EXPECT_EQ(1023u, log_body().size());
}

TEST_F(ErrorManager, FullMessageBufferDropsLinesButStillLogs)
{
	initialize_error_state("zerv");
	std::string line(254, 'a');
	for (int i = 0; i < 5; ++i) error_message(_error_warning, NULL, -1, "%s", line.c_str());

	// Four lines of 255 bytes fill 1020; a fifth does not fit below 1024.
	EXPECT_EQ(1020, error_globals->message_buffer_size);
	EXPECT_EQ(1020u, strlen(error_globals->message_buffer));
	std::string body = log_body();
	size_t count = 0;
	for (size_t at = body.find(line); at != std::string::npos; at = body.find(line, at + 1)) ++count;
	EXPECT_EQ(5u, count);
}

static_assert(std::string_view(module_name_from_path("/home/someone/zerv/src/data.cpp").text) == "data");
static_assert(std::string_view(module_name_from_path("C:\\src\\shapes.cpp").text) == "shapes");
static_assert(std::string_view(module_name_from_path("x_files_posix.cpp").text) == "x_files_posix");

TEST_F(ErrorManager, ReportsNameTheModuleNotTheBuildPath)
{
	initialize_error_state("zerv");
	error_message(_error_data_corrupted, MODULE_NAME, 7, "bad");
	log_message(MODULE_NAME, 8, "plain");
	EXPECT_EQ("Error: Data Corrupted in error_manager_test, line #7: bad\nerror_manager_test, line #8: plain\n", log_body());
}

TEST_F(ErrorManager, LogMessageFormsAndNullFormat)
{
	initialize_error_state("zerv");
	log_message("C:\\zerv\\main.cpp", 42, "value %d", 7);
	log_message("src/main.cpp", 43, "plain");
	log_message(NULL, -1, NULL);
	log_message(NULL, -1, "no file");
	write_to_error_file("raw", FALSE);
	EXPECT_EQ("main.cpp, line #42: value 7\nsrc/main.cpp, line #43: plain\nno file\nraw", log_body());
}

TEST_F(ErrorManager, AlertUserLogsItsLastThreeArguments)
{
	initialize_error_state("zerv");
	alert_user(1, 128, -3, 70000);
	EXPECT_EQ("Alerting user for resource number:128 error number:-3 identifier:70000\n", log_body());
}

TEST_F(LogFile, OpeningEntryUnderInjectedClock)
{
	error_manager_test_hooks_data *hooks = get_error_manager_test_hooks();
	hooks->use_fixed_time = TRUE;
	hooks->year = 2031;
	hooks->month = 2;
	hooks->day = 3;
	hooks->hour = 4;
	hooks->minute = 5;
	hooks->second = 6;
	initialize_system_info();

	initialize_error_state("Zerv 32-Bit");
	EXPECT_EQ("2031-02-03 04:05:06  \nZerv 32-Bit Build 377 running under Linux ----------------------------------------------\n",
		log_text());

	write_to_error_file("dated\n", TRUE);
	EXPECT_NE(std::string::npos, log_text().find("----\n2031-02-03 04:05:06  dated\n"));
}

TEST_F(LogFile, IsTruncatedAtStartAndFlushedPerLine)
{
	ASSERT_TRUE(write_test_file(ERROR_LOG_FILE_NAME, "an old run's log\n"));
	initialize_error_state("zerv");
	EXPECT_EQ(std::string::npos, log_text().find("old run"));

	// Readable at once, without closing.
	log_message(NULL, -1, "line one");
	EXPECT_EQ("line one\n", log_body());
	log_message(NULL, -1, "line two");
	EXPECT_EQ("line one\nline two\n", log_body());

	dispose_error_state();
	log_message(NULL, -1, "after close");
	write_to_error_file("after close", TRUE);
	EXPECT_EQ("line one\nline two\n", log_body());
}

TEST_F(LogFile, CrashRenamesTheLogAndTheNextStartBeginsAfresh)
{
	initialize_error_state("zerv");
	log_message(NULL, -1, "before the crash");
	std::string expected_start = std::string("zerv_crashlog- ") + get_recording_time_string();
	log_file_crash_handler();

	EXPECT_FALSE(test_file_exists(ERROR_LOG_FILE_NAME));
	std::vector<std::string> crash_logs = files_starting_with("zerv_crashlog- ");
	ASSERT_EQ(1u, crash_logs.size());
	// The clock may pass a second boundary between the two readings.
	EXPECT_EQ(expected_start.substr(0, expected_start.size() - 7), crash_logs[0].substr(0, expected_start.size() - 7));
	EXPECT_EQ(".txt", crash_logs[0].substr(crash_logs[0].size() - 4));
	EXPECT_NE(std::string::npos, read_test_file(crash_logs[0]).find("before the crash\n"));

	initialize_error_state("zerv");
	EXPECT_EQ("", log_body());
	EXPECT_NE(std::string::npos, log_text().find("running under"));
	EXPECT_EQ(1u, files_starting_with("zerv_crashlog- ").size());
}

TEST_F(LogFile, CrashLogFollowsTheLogAcrossADirectoryChange)
{
	initialize_error_state("zerv");
	ASSERT_EQ(0, mkdir("elsewhere", 0755));
	ASSERT_EQ(0, chdir("elsewhere"));
	log_file_crash_handler();
	ASSERT_EQ(0, chdir(".."));
	EXPECT_EQ(1u, files_starting_with("zerv_crashlog- ").size());
}

TEST_F(LogFile, CrashBeforeStartKeepsAnEarlierRunsLog)
{
	ASSERT_TRUE(write_test_file(ERROR_LOG_FILE_NAME, "the previous run\n"));
	// A fresh process, where the error state was never set up.
	EXPECT_EXIT(
		{
			log_file_crash_handler();
			_exit(error_globals == NULL ? 0 : 3);
		},
		::testing::ExitedWithCode(0), "");
	EXPECT_EQ("the previous run\n", log_text());
	EXPECT_TRUE(files_starting_with("zerv_crashlog- ").empty());
}

TEST_F(LogFile, UncreatableLogCausesNoCrash)
{
	// A directory in its place defeats even root.
	ASSERT_EQ(0, mkdir(ERROR_LOG_FILE_NAME, 0755));
	initialize_error_state("zerv");
	EXPECT_EQ(-1, get_log_file_descriptor());
	log_message(NULL, -1, "nowhere");
	error_message(_error_file_system_write, "f.cpp", 1, "still stored");
	EXPECT_EQ(_error_file_system_write, get_error_code());
	EXPECT_TRUE(handle_error());
	log_file_crash_handler();
	struct stat status;
	ASSERT_EQ(0, stat(ERROR_LOG_FILE_NAME, &status));
	EXPECT_TRUE(S_ISDIR(status.st_mode));
	EXPECT_TRUE(files_starting_with("zerv_crashlog- ").empty());
}
