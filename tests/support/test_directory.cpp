#include "test_directory.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "CoreLibrary/zerv/error_manager.h"
#include "fake_programs.h"
#include "tag_files/tag_files.h"
#include "zerv.h"
#include "test_hooks_all.h"

std::string make_test_directory(void)
{
	const char *temporary = getenv("TMPDIR");
	std::string pattern = (temporary && *temporary) ? temporary : "/tmp";
	pattern += "/zerv-test-XXXXXX";
	std::vector<char> name(pattern.begin(), pattern.end());
	name.push_back(0);
	if (!mkdtemp(name.data())) return "";
	if (chdir(name.data()) != 0) return "";
	return std::string(name.data());
}

bool remove_directory_tree(const std::string &path)
{
	struct stat status;
	if (lstat(path.c_str(), &status) != 0) return errno == ENOENT;
	if (!S_ISDIR(status.st_mode)) return unlink(path.c_str()) == 0;

	// A test may leave a folder read-only.
	chmod(path.c_str(), 0700);
	bool success = true;
	DIR *directory = opendir(path.c_str());
	if (directory)
	{
		std::vector<std::string> entries;
		while (struct dirent *entry = readdir(directory))
		{
			if (strcmp(entry->d_name, ".") && strcmp(entry->d_name, "..")) entries.push_back(entry->d_name);
		}
		closedir(directory);
		for (const std::string &entry : entries)
		{
			if (!remove_directory_tree(path + "/" + entry)) success = false;
		}
	}
	return rmdir(path.c_str()) == 0 && success;
}

void remove_test_directory(const std::string &directory, const std::string &previous_directory)
{
	if (!previous_directory.empty() && chdir(previous_directory.c_str()) != 0) {}
	if (directory.empty()) return;
	if (getenv("ZERV_KEEP_TEST_DIRS")) return;
	remove_directory_tree(directory);
}

namespace {
const char shared_directory_variable[] = "ZERV_SHARED_TEST_DIRECTORY";
}

void share_test_directory_with_death_tests(const std::string &directory)
{
	setenv(shared_directory_variable, directory.c_str(), 1);
}

void stop_sharing_test_directory(void)
{
	unsetenv(shared_directory_variable);
}

void zerv_test_directory::SetUp()
{
	char buffer[4096];
	previous_directory = getcwd(buffer, sizeof(buffer)) ? buffer : "/";
	reset_all_test_hooks();
	saved_game = game;
	saved_game_play_version = game_play_version;
	const char *shared = getenv(shared_directory_variable);
	if (shared && *shared && chdir(shared) == 0)
	{
		owns_directory = false;
		test_directory = shared;
		return;
	}
	test_directory = make_test_directory();
	ASSERT_FALSE(test_directory.empty()) << "cannot make a temporary directory";
	share_test_directory_with_death_tests(test_directory);
}

void zerv_test_directory::TearDown()
{
	// The log of this test lives in its directory.
	dispose_error_state();
	restore_fake_programs_path();
	reset_all_test_hooks();
	game = saved_game;
	game_play_version = saved_game_play_version;
	if (owns_directory)
	{
		// A lock taken here must not outlive the folder it lives in.
		release_exclusive_mode();
		stop_sharing_test_directory();
		remove_test_directory(test_directory, previous_directory);
	}
	else if (chdir(previous_directory.c_str()) != 0)
	{
	}
}

bool write_test_file(const std::string &path, const std::string &contents)
{
	std::ofstream stream(path, std::ios::binary | std::ios::trunc);
	if (!stream) return false;
	stream.write(contents.data(), static_cast<std::streamsize>(contents.size()));
	return static_cast<bool>(stream);
}

std::string read_test_file(const std::string &path)
{
	std::ifstream stream(path, std::ios::binary);
	if (!stream) return "";
	std::ostringstream contents;
	contents << stream.rdbuf();
	return contents.str();
}

bool test_file_exists(const std::string &path)
{
	struct stat status;
	return stat(path.c_str(), &status) == 0;
}
