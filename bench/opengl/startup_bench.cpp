// Start-up: the game binary started from its command line in a fresh folder
// beside the generated tag set, timed to the first picture of its main menu in
// its window (run under a display). Prints each start and the minimum, median
// and maximum in milliseconds. --starts=N sets the number of starts (5).
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/game_start_timing.h"

int main(int argc, char **argv)
{
	int starts = 5;
	for (int i = 1; i < argc; ++i)
	{
		if (strncmp(argv[i], "--starts=", 9) == 0) starts = std::max(1, atoi(argv[i] + 9));
	}
	char scratch[] = "/tmp/zerv-startup-bench-XXXXXX";
	if (!mkdtemp(scratch))
	{
		perror("mkdtemp");
		return 1;
	}
	std::vector<double> times;
	int failures = 0;
	for (int i = 0; i < starts; ++i)
	{
		// A fresh folder each time: no preferences or caches from the last start.
		const std::string folder = std::string(scratch) + "/start" + std::to_string(i);
		const game_start_timing::start_result result =
			game_start_timing::time_game_start(ZERV_GAME_BINARY, folder, 30000.0);
		if (result.milliseconds < 0 || !result.menu_entered)
		{
			fprintf(stderr, "start %d: no main menu drawn\n%s\n", i, result.log.c_str());
			failures += 1;
			continue;
		}
		printf("start %d: %.1f ms to the drawn main menu\n", i, result.milliseconds);
		times.push_back(result.milliseconds);
	}
	const std::string command = std::string("rm -rf '") + scratch + "'";
	if (system(command.c_str()) != 0) fprintf(stderr, "couldn't remove %s\n", scratch);
	if (times.empty()) return 1;
	std::sort(times.begin(), times.end());
	printf("start-up to the drawn main menu: min %.1f ms, median %.1f ms, max %.1f ms over %zu starts (goal < 1000 ms)\n",
		times.front(), times[times.size() / 2], times.back(), times.size());
	return failures ? 1 : 0;
}
