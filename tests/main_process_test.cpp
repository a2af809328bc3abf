// The game binary as a player starts it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/fake_programs.h"
#include "support/test_directory.h"

extern char **environ;

namespace {

const char version_line[] = "Zerv II v1.7.2 Linux - Build 377\n";
const char foundation_failure[] = "Could not find all the foundation files.";

struct process_result
{
	int exit_status = -1;
	std::string out;
	std::string err;
};

// Runs program with arguments in the working directory, its output captured
// in files there.
process_result run_program(const std::string &program, const std::vector<std::string> &arguments)
{
	process_result result;
	std::vector<char *> argv;
	std::vector<std::string> copies;
	copies.push_back(program);
	for (const std::string &argument : arguments) copies.push_back(argument);
	for (std::string &copy : copies) argv.push_back(copy.data());
	argv.push_back(nullptr);

	posix_spawn_file_actions_t actions;
	posix_spawn_file_actions_init(&actions);
	posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
	posix_spawn_file_actions_addopen(&actions, 1, "program.out", O_WRONLY | O_CREAT | O_TRUNC, 0644);
	posix_spawn_file_actions_addopen(&actions, 2, "program.err", O_WRONLY | O_CREAT | O_TRUNC, 0644);

	pid_t pid = 0;
	int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
	posix_spawn_file_actions_destroy(&actions);
	if (spawned != 0) return result;

	int status = 0;
	if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
	result.out = read_test_file("program.out");
	result.err = read_test_file("program.err");
	return result;
}

// The game works in its own folder, so each test runs its own copy.
std::string copy_game_binary(const std::string &directory)
{
	std::string copy = directory + "/zerv";
	std::string contents = read_test_file(ZERV_GAME_BINARY);
	if (contents.empty() || !write_test_file(copy, contents)) return "";
	if (chmod(copy.c_str(), 0755) != 0) return "";
	return copy;
}

class ProgramProcess : public zerv_test_directory
{
protected:
	void SetUp() override
	{
		zerv_test_directory::SetUp();
		if (HasFatalFailure()) return;
		const char *display = getenv("DISPLAY");
		saved_display = display ? display : "";
		had_display = display != nullptr;
		game = copy_game_binary(test_directory);
		ASSERT_FALSE(game.empty());
	}

	void TearDown() override
	{
		if (had_display)
		{
			setenv("DISPLAY", saved_display.c_str(), 1);
		}
		else
		{
			unsetenv("DISPLAY");
		}
		zerv_test_directory::TearDown();
	}

	std::string game;
	std::string saved_display;
	bool had_display = false;
};

TEST_F(ProgramProcess, VersionPrintsTheLineAndLeavesNoLog)
{
	ASSERT_EQ(mkdir("elsewhere", 0755), 0);
	ASSERT_EQ(chdir("elsewhere"), 0);
	process_result result = run_program(game, {"--version", "--mesh", "l1"});
	EXPECT_EQ(result.exit_status, 0);
	EXPECT_EQ(result.out, version_line);
	EXPECT_EQ(result.err, "");
	EXPECT_FALSE(test_file_exists("zerv_log.txt"));
	EXPECT_FALSE(test_file_exists(test_directory + "/zerv_log.txt"));
	EXPECT_FALSE(test_file_exists(test_directory + "/preferences"));
}

TEST_F(ProgramProcess, VersionCountsOnlyAsTheFirstArgument)
{
	unsetenv("DISPLAY");
	process_result result = run_program(game, {"-x", "--version"});
	EXPECT_EQ(result.exit_status, 255);
	EXPECT_EQ(result.out.find("Zerv II v1.7.2"), std::string::npos);
}

TEST_F(ProgramProcess, WithoutTagsOrDisplayItStopsWithTheReason)
{
	unsetenv("DISPLAY");
	process_result result = run_program(game, {});
	EXPECT_EQ(result.exit_status, 255);
	EXPECT_NE(result.err.find(foundation_failure), std::string::npos) << result.err;

	// The log lies beside the game, whatever the working directory was.
	std::string log = read_test_file(test_directory + "/zerv_log.txt");
	EXPECT_NE(log.find(foundation_failure), std::string::npos) << log;
}

TEST_F(ProgramProcess, MessageBoxProgramsGetTheirArguments)
{
	setenv("DISPLAY", ":97", 1);
	std::string fakes = install_fake_programs(test_directory);
	ASSERT_FALSE(fakes.empty());
	fake_programs_only_on_path(fakes);

	process_result result = run_program(game, {});
	EXPECT_EQ(result.exit_status, 255);
	std::vector<std::string> zenity = fake_program_arguments(fakes, "zenity");
	ASSERT_EQ(zenity.size(), 3u);
	EXPECT_EQ(zenity[0], "--error");
	EXPECT_EQ(zenity[1], "--text");
	EXPECT_NE(zenity[2].find(foundation_failure), std::string::npos) << zenity[2];
	EXPECT_FALSE(fake_program_ran(fakes, "xmessage"));
	restore_fake_programs_path();
}

TEST_F(ProgramProcess, WithoutZenityTheBoxComesFromXmessage)
{
	setenv("DISPLAY", ":97", 1);
	fake_program_options options;
	options.zenity = false;
	std::string fakes = install_fake_programs(test_directory, options);
	ASSERT_FALSE(fakes.empty());
	fake_programs_only_on_path(fakes);

	process_result result = run_program(game, {});
	EXPECT_EQ(result.exit_status, 255);
	std::vector<std::string> xmessage = fake_program_arguments(fakes, "xmessage");
	ASSERT_EQ(xmessage.size(), 6u);
	const char *expected[] = {"-buttons", "OK:101", "-default", "OK", "-center"};
	for (size_t i = 0; i < 5; ++i) EXPECT_EQ(xmessage[i], expected[i]) << i;
	EXPECT_NE(xmessage[5].find(foundation_failure), std::string::npos) << xmessage[5];
	restore_fake_programs_path();
}

}
