// Every test runs in a fresh temporary working directory.
#ifndef ZERV_TEST_DIRECTORY_H
#define ZERV_TEST_DIRECTORY_H

#include <gtest/gtest.h>

#include <string>

// Makes "zerv-test-XXXXXX" under $TMPDIR (or /tmp) and changes into it; returns
// its path, or "" on failure.
std::string make_test_directory(void);
// Changes back to previous_directory and removes directory with everything in
// it, unless ZERV_KEEP_TEST_DIRS is set.
void remove_test_directory(const std::string &directory, const std::string &previous_directory);
// Removes a directory tree; true on success.
bool remove_directory_tree(const std::string &path);

// Fixture: a fresh working directory for each test, with every module's test
// hooks reset before and after, and the core's game record and version put
// back for tests that swap in their own.
class zerv_test_directory : public ::testing::Test
{
protected:
	void SetUp() override;
	void TearDown() override;

	std::string test_directory;
	std::string previous_directory;
	// False in a death test's child, which works in its parent's directory.
	bool owns_directory = true;

private:
	struct game_data *saved_game = nullptr;
	int16_t saved_game_play_version = 0;
};

// Death tests in the "threadsafe" style run the test again in a new process.
// The fixture shares its directory through the environment, so that such a
// child works in it (and the parent can inspect what it left) instead of
// making its own.
void share_test_directory_with_death_tests(const std::string &directory);
void stop_sharing_test_directory(void);

// Writes contents to path (relative to the working directory); true on success.
bool write_test_file(const std::string &path, const std::string &contents);
// Reads a whole file; "" when it cannot be read.
std::string read_test_file(const std::string &path);
bool test_file_exists(const std::string &path);

#endif
