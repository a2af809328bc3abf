#include "support/game_process.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <time.h>

#include <cerrno>

#include "support/foundation_files.h"
#include "support/test_directory.h"

void sleep_milliseconds(int milliseconds)
{
	struct timespec pause = {milliseconds / 1000, (milliseconds % 1000) * 1000000L};
	while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {}
}

void install_game_copy(const std::string &binary, const std::string &folder, std::string *copy)
{
	ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
	ASSERT_TRUE(install_placeholder_foundation_files(folder));
	*copy = folder + "/zerv";
	const std::string contents = read_test_file(binary);
	ASSERT_FALSE(contents.empty());
	ASSERT_TRUE(write_test_file(*copy, contents));
	ASSERT_EQ(chmod(copy->c_str(), 0755), 0);
}

bool spawn_game(const std::string &program, const std::string &output_folder, char *const environment[], pid_t *pid)
{
	std::string name = program;
	char *argv[] = {name.data(), nullptr};
	const std::string out = output_folder + "/game.out", err = output_folder + "/game.err";
	posix_spawn_file_actions_t actions;
	posix_spawn_file_actions_init(&actions);
	posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
	posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
	posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
	const int spawned = posix_spawn(pid, program.c_str(), &actions, nullptr, argv, environment);
	posix_spawn_file_actions_destroy(&actions);
	return spawned == 0;
}
