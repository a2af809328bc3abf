// Start-up failures through the real tag-file manager: a second instance
// holding the single-instance lock, and a missing required file, each end the
// start with one message box, one log line and status 255.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/fake_programs.h"
#include "support/foundation_files.h"
#include "support/test_directory.h"
#include "tag_files/tag_files.h"
#include "zerv.h"

namespace {

const char lock_box[] =
	"Cannot set exclusive mode.\nZerv II is already running, or the Zerv directory is marked read-only.\n";
const char lock_log_line[] =
	"\nCannot set exclusive mode. Zerv II is already running, or the Zerv directory is marked read-only.\n";
const char patches_box[] = "Could not find all the required patch files.\nPlease re-install the 1.7.2 Linux update.\n";
const char patches_log_line[] =
	"\nCould not find all the required patch files. Please re-install the 1.7.2 Linux update.\n";

// A zenity that keeps each call's exact argument vector (NUL-separated, one
// file per call): the message holds line ends, so a line-per-argument record
// could not tell one argument from several.
bool install_recording_zenity(const std::string &fake_folder, const std::string &calls_folder)
{
	if (mkdir(calls_folder.c_str(), 0755) != 0 && errno != EEXIST) return false;
	const std::string script = "#!/bin/sh\n"
							   "n=$(/bin/ls \"" + calls_folder + "\" | /usr/bin/wc -l)\n"
							   "printf '%s\\0' \"$@\" > \"" + calls_folder + "/call-$n\"\n"
							   "exit 0\n";
	const std::string path = fake_folder + "/zenity";
	return write_test_file(path, script) && chmod(path.c_str(), 0755) == 0;
}

// The argument vectors of every recorded call, in call order.
std::vector<std::vector<std::string>> recorded_calls(const std::string &calls_folder)
{
	std::vector<std::string> names;
	if (DIR *folder = opendir(calls_folder.c_str()))
	{
		while (struct dirent *entry = readdir(folder))
		{
			if (entry->d_name[0] != '.') names.push_back(entry->d_name);
		}
		closedir(folder);
	}
	std::sort(names.begin(), names.end());
	std::vector<std::vector<std::string>> calls;
	for (const std::string &name : names)
	{
		const std::string contents = read_test_file(calls_folder + "/" + name);
		std::vector<std::string> arguments;
		size_t start = 0;
		for (size_t end; (end = contents.find('\0', start)) != std::string::npos; start = end + 1)
		{
			arguments.push_back(contents.substr(start, end - start));
		}
		calls.push_back(arguments);
	}
	return calls;
}

// Another running instance: a child process that takes the lock through the
// engine's own call and keeps it until released.
class lock_holder
{
public:
	bool start(void)
	{
		int ready[2], release[2];
		if (pipe(ready) != 0) return false;
		if (pipe(release) != 0)
		{
			close(ready[0]);
			close(ready[1]);
			return false;
		}
		pid = fork();
		if (pid == 0)
		{
			close(ready[0]);
			close(release[1]);
			const char held = set_exclusive_mode() ? 1 : 0;
			if (write(ready[1], &held, 1) != 1) _exit(2);
			char ignored;
			while (read(release[0], &ignored, 1) < 0 && errno == EINTR) {}
			_exit(0); // keeps the file, like an instance that is killed
		}
		close(ready[1]);
		close(release[0]);
		release_end = release[1];
		char held = 0;
		const bool answered = pid > 0 && read(ready[0], &held, 1) == 1;
		close(ready[0]);
		return answered && held == 1;
	}

	~lock_holder()
	{
		if (release_end >= 0) close(release_end);
		if (pid > 0) waitpid(pid, nullptr, 0);
	}

private:
	pid_t pid = -1;
	int release_end = -1;
};

// True when someone else holds the lock on path.
bool lock_is_held_elsewhere(const char *path)
{
	const int fd = open(path, O_RDONLY | O_CLOEXEC);
	if (fd < 0) return false;
	const bool held = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
	close(fd);
	return held;
}

class zerv_start_up_failures : public zerv_test_directory
{
protected:
	void SetUp() override
	{
		zerv_test_directory::SetUp();
		if (HasFatalFailure()) return;
		GTEST_FLAG_SET(death_test_style, "threadsafe");
		ASSERT_TRUE(install_placeholder_foundation_files(test_directory));
		fake_folder = install_fake_programs(test_directory);
		ASSERT_FALSE(fake_folder.empty());
		calls_folder = test_directory + "/zenity-calls";
		ASSERT_TRUE(install_recording_zenity(fake_folder, calls_folder));
	}

	// Runs in the death test's child.
	static void start_zerv(void)
	{
		setenv("DISPLAY", ":99", 1); // the box goes to the fake program, not to stderr
		initialize_zerv();
	}

	void expect_one_box(const char *text)
	{
		const std::vector<std::vector<std::string>> calls = recorded_calls(calls_folder);
		ASSERT_EQ(calls.size(), 1u) << "one message box";
		const std::vector<std::string> expected = {"--error", "--text", text};
		EXPECT_EQ(calls[0], expected);
	}

	void expect_log_line(const char *line)
	{
		const std::string log = read_test_file("zerv_log.txt");
		const std::string wanted = line;
		const size_t at = log.find(wanted);
		EXPECT_NE(at, std::string::npos) << log;
		EXPECT_EQ(log.find(wanted, at + 1), std::string::npos) << "logged once\n" << log;
	}

	void remove_required_file(const char *name)
	{
		const std::string path = test_directory + "/plugins/" + name;
		unlink(path.c_str());
		ASSERT_FALSE(test_file_exists(path));
	}

	std::string fake_folder;
	std::string calls_folder;
};

TEST_F(zerv_start_up_failures, a_second_instance_holding_the_lock_ends_the_start)
{
	// Only the parent starts the other instance; the death test's child runs
	// this body again and must find the lock taken.
	lock_holder other_instance;
	if (owns_directory)
	{
		ASSERT_EQ(mkdir("local", 0755), 0);
		ASSERT_TRUE(other_instance.start());
	}

	EXPECT_EXIT(start_zerv(), ::testing::ExitedWithCode(255), "");

	expect_one_box(lock_box);
	expect_log_line(lock_log_line);
	// The refused instance leaves the running one's lock alone.
	EXPECT_TRUE(lock_is_held_elsewhere("local/zerv2"));
}

TEST_F(zerv_start_up_failures, a_missing_required_patch_ends_the_start)
{
	remove_required_file("Patch 3");

	EXPECT_EXIT(start_zerv(), ::testing::ExitedWithCode(255), "");

	expect_one_box(patches_box);
	expect_log_line(patches_log_line);
	// The instance gave its lock back on the way out.
	EXPECT_FALSE(test_file_exists("local/zerv2"));
}

// A damaged required file counts as missing: one box, no crash.
TEST_F(zerv_start_up_failures, a_damaged_required_patch_ends_the_start)
{
	const std::string path = test_directory + "/plugins/Patch 4";
	ASSERT_EQ(truncate(path.c_str(), 100), 0);

	EXPECT_EXIT(start_zerv(), ::testing::ExitedWithCode(255), "");

	expect_one_box(patches_box);
	expect_log_line(patches_log_line);
}

TEST_F(zerv_start_up_failures, a_missing_compatibility_plugin_ends_the_start)
{
	remove_required_file("Compatibility Rules 2");

	EXPECT_EXIT(start_zerv(), ::testing::ExitedWithCode(255), "");

	expect_one_box(patches_box);
	expect_log_line(patches_log_line);
}

}
