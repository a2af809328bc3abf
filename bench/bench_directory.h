// Scratch folders of the benchmarks under /tmp. Every benchmark that enters
// one goes back to the caller's folder when it ends, so that the benchmarks
// after it in the same program start where the program was started.
#ifndef ZERV_BENCH_DIRECTORY_H
#define ZERV_BENCH_DIRECTORY_H

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// Removes a folder and all in it; a failure is only reported.
inline void remove_bench_directory(const std::string &directory)
{
	if (directory.empty()) return;
	const std::string command = "rm -rf '" + directory + "'";
	if (system(command.c_str()) != 0) fprintf(stderr, "couldn't remove %s\n", directory.c_str());
}

// The folders kept for the whole run, removed at exit.
inline std::vector<std::string> bench_directories_kept;

inline void remove_kept_bench_directories(void)
{
	for (const std::string &directory : bench_directories_kept) remove_bench_directory(directory);
}

// Remembers the caller's folder in *previous_directory and enters *directory;
// when that is empty, the folder "/tmp/zerv-<name>-bench-XXXXXX" is made
// first, and with kept it stays for the whole run and is removed at exit.
inline bool enter_bench_directory(const char *name, std::string *directory, std::string *previous_directory,
	bool kept)
{
	char previous[4096];
	if (!getcwd(previous, sizeof(previous))) return false;
	*previous_directory = previous;
	if (directory->empty())
	{
		std::string pattern = std::string("/tmp/zerv-") + name + "-bench-XXXXXX";
		if (!mkdtemp(pattern.data())) return false;
		*directory = pattern;
		if (kept)
		{
			if (bench_directories_kept.empty()) atexit(remove_kept_bench_directories);
			bench_directories_kept.push_back(pattern);
		}
	}
	return chdir(directory->c_str()) == 0;
}

inline void leave_bench_directory(const std::string &previous_directory)
{
	if (!previous_directory.empty() && chdir(previous_directory.c_str()) != 0) fprintf(stderr, "couldn't go back\n");
}

#endif
