// The private X server of the window tests (tests/support/run_with_display.sh):
// a server that cannot take a display number, or dies before it has said which,
// is started again; one slow to say its number is waited for until the line is
// whole; one that never starts fails the run with that message, and the command
// never runs without a display.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "support/test_directory.h"

namespace {

class private_x_server : public zerv_test_directory
{
protected:
	static std::string real_xvfb(void)
	{
		const char *path = getenv("PATH");
		std::string folders = path ? path : "";
		for (size_t start = 0; start <= folders.size();)
		{
			size_t end = folders.find(':', start);
			if (end == std::string::npos) end = folders.size();
			const std::string candidate = folders.substr(start, end - start) + "/Xvfb";
			if (end > start && access(candidate.c_str(), X_OK) == 0) return candidate;
			start = end + 1;
		}
		return "";
	}

	// A fake Xvfb first on PATH: its first `failures` starts write the first
	// digit of a number, no newline, and die as a server that lost the race
	// for it does; later starts are the real server.
	std::string install_fake_xvfb(int failures, const std::string &real)
	{
		const std::string folder = test_directory + "/fake-bin";
		mkdir(folder.c_str(), 0755);
		const std::string fake = folder + "/Xvfb";
		const std::string count = test_directory + "/xvfb-starts";
		std::string text = "#!/bin/sh\n"
						   "n=$(cat '" + count + "' 2>/dev/null || echo 0)\n"
						   "n=$((n + 1))\n"
						   "echo $n > '" + count + "'\n"
						   "if [ $n -le " + std::to_string(failures) + " ]; then\n"
						   "  printf 7 >&3\n"
						   "  echo 'Cannot write display number to fd 3' >&2\n"
						   "  exit 1\n"
						   "fi\n";
		text += real.empty() ? "exit 1\n" : "exec '" + real + "' \"$@\"\n";
		if (!write_test_file(fake, text) || chmod(fake.c_str(), 0755) != 0) return "";
		return folder;
	}

	// A fake Xvfb first on PATH that says its number slowly: it starts the real
	// server on a free display of three digits, writes the number's first
	// digit, stays up a while as a slow server does, then writes the rest and
	// the newline, and serves until it is stopped. The number it gave is kept
	// in xvfb-number.
	std::string install_slowly_speaking_xvfb(const std::string &real)
	{
		const std::string folder = test_directory + "/fake-bin";
		mkdir(folder.c_str(), 0755);
		const std::string fake = folder + "/Xvfb";
		const std::string count = test_directory + "/xvfb-starts";
		const std::string said = test_directory + "/xvfb-number";
		const std::string ready = test_directory + "/xvfb-ready";
		const std::string text = "#!/bin/sh\n"
								 "n=$(cat '" + count + "' 2>/dev/null || echo 0)\n"
								 "echo $((n + 1)) > '" + count + "'\n"
								 // The caller's -displayfd goes; the real server gets one of its own.
								 "skip=\n"
								 "for a do\n"
								 "  shift\n"
								 "  if [ -n \"$skip\" ]; then skip=; continue; fi\n"
								 "  if [ \"$a\" = -displayfd ]; then skip=1; continue; fi\n"
								 "  set -- \"$@\" \"$a\"\n"
								 "done\n"
								 "server=\n"
								 "trap 'kill $server 2>/dev/null; wait $server; exit 0' TERM INT\n"
								 "d=$((100 + $$ % 800))\n"
								 "for try in 1 2 3 4 5 6 7 8 9 10; do\n"
								 "  d=$((d + 1))\n"
								 "  [ -e /tmp/.X$d-lock ] || [ -e /tmp/.X11-unix/X$d ] && continue\n"
								 "  : > '" + ready + "'\n"
								 "  '" + real + "' :$d -displayfd 4 \"$@\" 4>'" + ready + "' &\n"
								 "  server=$!\n"
								 "  while [ ! -s '" + ready + "' ] && kill -0 $server 2>/dev/null; do sleep 0.1; done\n"
								 "  if [ \"$(cat '" + ready + "')\" = $d ]; then\n"
								 "    echo $d > '" + said + "'\n"
								 "    printf %s \"${d%??}\" >&3\n"
								 "    sleep 2\n"
								 "    printf '%s\\n' \"${d#?}\" >&3\n"
								 "    exec 3>&-\n"
								 "    wait $server\n"
								 "    exit $?\n"
								 "  fi\n"
								 "  wait $server\n"
								 "done\n"
								 "exit 1\n";
		if (!write_test_file(fake, text) || chmod(fake.c_str(), 0755) != 0) return "";
		return folder;
	}

	// Runs the command under a server of its own, with the fake first on
	// PATH; the script's status, its output in *output.
	int run_with_own_server(const std::string &fake_folder, const std::string &command, std::string *output)
	{
		const std::string script = test_directory + "/command.sh";
		if (!write_test_file(script, command + "\n")) return -1;
		const std::string out = test_directory + "/run.txt";
		const std::string run = "PATH='" + fake_folder + "':\"$PATH\" '" ZERV_SOURCE_DIR
								"/tests/support/run_with_display.sh' --own-server sh '" + script + "' > '" + out +
			"' 2>&1";
		const int status = system(run.c_str());
		*output = read_test_file(out);
		return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
	}

	int xvfb_starts(void) { return atoi(read_test_file(test_directory + "/xvfb-starts").c_str()); }
};

TEST_F(private_x_server, a_server_that_dies_at_start_is_started_again)
{
	const std::string real = real_xvfb();
	if (real.empty()) GTEST_SKIP() << "no Xvfb";
	const std::string fakes = install_fake_xvfb(2, real);
	ASSERT_FALSE(fakes.empty());
	const std::string seen = test_directory + "/display.txt";
	std::string output;
	// The command proves its display answers.
	const int status =
		run_with_own_server(fakes, "echo \"$DISPLAY\" > '" + seen + "' && xdpyinfo > /dev/null || exit 9", &output);
	EXPECT_EQ(status, 0) << output;
	EXPECT_EQ(xvfb_starts(), 3) << output;
	const std::string display = read_test_file(seen);
	EXPECT_EQ(display.rfind(":", 0), 0u) << display;
	EXPECT_NE(display, ":7\n") << "the number of a server that died";
}

TEST_F(private_x_server, a_server_that_never_starts_fails_the_run_without_the_command)
{
	const std::string fakes = install_fake_xvfb(1000, "");
	ASSERT_FALSE(fakes.empty());
	const std::string ran = test_directory + "/ran.txt";
	std::string output;
	const int status = run_with_own_server(fakes, "echo \"$DISPLAY\" > '" + ran + "'", &output);
	EXPECT_NE(status, 0) << output;
	EXPECT_NE(output.find("Xvfb could not be started"), std::string::npos) << output;
	EXPECT_FALSE(test_file_exists(ran)) << "the command ran with display " << read_test_file(ran);
	EXPECT_EQ(xvfb_starts(), 5) << output;
}

// The number is read once its line is whole: a server still writing it is
// waited for, not taken at its first digit.
TEST_F(private_x_server, a_server_slow_to_say_its_number_is_waited_for)
{
	const std::string real = real_xvfb();
	if (real.empty()) GTEST_SKIP() << "no Xvfb";
	const std::string fakes = install_slowly_speaking_xvfb(real);
	ASSERT_FALSE(fakes.empty());
	const std::string seen = test_directory + "/display.txt";
	std::string output;
	const int status =
		run_with_own_server(fakes, "echo \"$DISPLAY\" > '" + seen + "' && xdpyinfo > /dev/null || exit 9", &output);
	const std::string said = read_test_file(test_directory + "/xvfb-number");
	ASSERT_FALSE(said.empty()) << "the fake found no free display; " << output;
	EXPECT_EQ(read_test_file(seen), ":" + said) << output;
	EXPECT_EQ(status, 0) << output;
	EXPECT_EQ(xvfb_starts(), 1) << output;
}

}
