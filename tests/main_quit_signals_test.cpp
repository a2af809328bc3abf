// Every way the program ends keeps the film of the game being played: an
// interrupt or a termination request (in a child process, which it ends) and
// a closed window each leave a film that replays the game tick for tick.
#include "main_test_fixture.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "CoreLibrary/cseries/linux_utilities.h"
#include "recording_test_support.h"
#include "tag_files/tag_files.h"

namespace {

#define QUIT_TEST_TICKS 500

class quit_signals : public main_program_test
{
protected:
	// The game's own trail, as "game_time digest" lines.
	static std::vector<harness_digest_entry> read_trail(const std::string &path)
	{
		std::vector<harness_digest_entry> trail;
		FILE *file = fopen(path.c_str(), "r");
		if (!file) return trail;
		int time = 0;
		unsigned long long digest = 0;
		while (fscanf(file, "%d %llx", &time, &digest) == 2) trail.push_back({time, static_cast<uint64>(digest)});
		fclose(file);
		return trail;
	}

	// Starts the recorded game and plays it with the fixed orders.
	static bool play_recorded_game(void)
	{
		new_game_data setup;
		harness_demo_setup(&setup);
		harness_set_command_script(film_orders(0, QUIT_TEST_TICKS - 1));
		if (!harness_start_map(&setup)) return false;
		game->state = _game_state_running;
		return harness_run_ticks(QUIT_TEST_TICKS) == QUIT_TEST_TICKS;
	}

	// A child plays the game as the main loop runs it, writes its trail and
	// is sent the signal; the main loop's next pass must end it.
	void interrupt_a_recorded_game(int signal_number, const char *line)
	{
		const std::string trail_path = harness_directory() + "/live_trail.txt";
		fflush(NULL);
		const pid_t child = fork();
		ASSERT_GE(child, 0);
		if (child == 0)
		{
			initialize_crash_handler();
			set_quit_signals_deferred(TRUE);
			if (!play_recorded_game() || !harness_write_digest_trail(trail_path)) _exit(2);
			raise(signal_number);
			update_everything();
			_exit(3);
		}
		int status = 0;
		ASSERT_EQ(waitpid(child, &status, 0), child);
		ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
		ASSERT_EQ(WEXITSTATUS(status), 255);
		const std::string log = log_text();
		const std::string ending = std::string(line) + "\nClosing Zerv.\n";
		ASSERT_GE(log.size(), ending.size());
		EXPECT_EQ(log.substr(log.size() - ending.size()), ending) << log;

		const std::vector<harness_digest_entry> live = read_trail(trail_path);
		ASSERT_EQ(live.size(), static_cast<size_t>(QUIT_TEST_TICKS));
		// The child's film joins the tags this process knows, and a shell's
		// map context names the last recording, as the menu's does.
		ASSERT_TRUE(tag_files_open(FALSE, nullptr, 0, NONE));
		ASSERT_TRUE(initialize_zerv_for_new_map(NULL));
		expect_film_replays(live);
	}

	static void expect_film_replays(const std::vector<harness_digest_entry> &live)
	{
		ASSERT_TRUE(harness_replay_film());
		harness_run_replay(1);
		EXPECT_EQ(get_recording_state(), _state_replay_done);
		expect_same_trail(harness_digest_trail(), live);
		harness_end_map();
	}
};

TEST_F(quit_signals, an_interrupted_game_keeps_its_film)
{
	interrupt_a_recorded_game(SIGINT, "<SIGINT>");
}

TEST_F(quit_signals, a_terminated_game_keeps_its_film)
{
	interrupt_a_recorded_game(SIGTERM, "<SIGTERM>");
}

// A second interrupt while the first waits for the main loop ends the
// process at once: a loop that never comes round is not waited for.
TEST_F(quit_signals, a_second_interrupt_while_one_is_pending_ends_at_once)
{
	int pipe_ends[2];
	ASSERT_EQ(pipe(pipe_ends), 0);
	fflush(NULL);
	const pid_t child = fork();
	ASSERT_GE(child, 0);
	if (child == 0)
	{
		close(pipe_ends[0]);
		initialize_crash_handler();
		set_quit_signals_deferred(TRUE);
		raise(SIGINT);
		// Still running: the first interrupt is only pending.
		if (write(pipe_ends[1], "p", 1) != 1) _exit(2);
		raise(SIGINT);
		_exit(3);
	}
	close(pipe_ends[1]);
	char mark = 0;
	const ssize_t got = read(pipe_ends[0], &mark, 1);
	close(pipe_ends[0]);
	int status = 0;
	ASSERT_EQ(waitpid(child, &status, 0), child);
	EXPECT_EQ(got, 1) << "the first interrupt ended the process";
	ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
	EXPECT_EQ(WEXITSTATUS(status), 255);
	const std::string log = log_text();
	const std::string ending = "<SIGINT>\nClosing Zerv.\n";
	ASSERT_GE(log.size(), ending.size());
	EXPECT_EQ(log.substr(log.size() - ending.size()), ending) << log;
	EXPECT_EQ(log.find("<SIGINT>"), log.size() - ending.size()) << log;
}

TEST_F(quit_signals, a_closed_window_keeps_the_film)
{
	ASSERT_TRUE(play_recorded_game());
	const std::vector<harness_digest_entry> live = harness_digest_trail();
	headless_request_quit_after_passes(1);
	for (int32 pass = 0; pass < 4 && game->state != _game_state_over; ++pass) update_everything();
	ASSERT_EQ(game->state, _game_state_over);
	expect_film_replays(live);
}

}
