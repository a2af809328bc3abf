// Set-up shared by the fuzz targets that work on files. Each target is built
// from its one .cpp, so everything here is inline.
//
// Every input runs in a folder of the target's own under /dev/shm (or /tmp),
// so it never touches the caller's files; the caller's folder comes back
// before anything is reported, so that the fuzzer's own files land where it
// was told.
#ifndef ZERV_FUZZ_SUPPORT_H
#define ZERV_FUZZ_SUPPORT_H

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

inline std::string fuzz_directory;
inline std::string caller_directory;

inline void leave_fuzz_directory(void)
{
	if (!caller_directory.empty() && chdir(caller_directory.c_str()) != 0) std::abort();
}

inline void check(bool condition)
{
	if (condition) return;
	leave_fuzz_directory();
	std::abort();
}

inline int remove_fuzz_entry(const char *path, const struct stat *, int, struct FTW *)
{
	return remove(path);
}

inline void remove_fuzz_directory(void)
{
	if (fuzz_directory.empty()) return;
	leave_fuzz_directory();
	nftw(fuzz_directory.c_str(), remove_fuzz_entry, 16, FTW_DEPTH | FTW_PHYS);
}

// Memory-backed where the system has it: loaders read and write through the
// file layer, and a disk's syncs would cost more than the work under test.
inline const char *fuzz_root(void)
{
	struct stat status;
	const bool memory = stat("/dev/shm", &status) == 0 && S_ISDIR(status.st_mode) && access("/dev/shm", W_OK) == 0;
	return memory ? "/dev/shm" : "/tmp";
}

// Makes the folder "<root>/zerv-<name>-fuzz-XXXXXX" and runs set_up inside it on
// the first call; every call then enters it.
inline void enter_fuzz_directory(const char *name, void (*set_up)(void))
{
	if (fuzz_directory.empty())
	{
		char buffer[4096];
		if (!getcwd(buffer, sizeof(buffer))) std::abort();
		caller_directory = buffer;
		std::string pattern = std::string(fuzz_root()) + "/zerv-" + name + "-fuzz-XXXXXX";
		if (!mkdtemp(pattern.data())) std::abort();
		fuzz_directory = pattern;
		atexit(remove_fuzz_directory);
		check(chdir(fuzz_directory.c_str()) == 0);
		if (set_up) set_up();
	}
	check(chdir(fuzz_directory.c_str()) == 0);
}

// Holds an input's work in the target's own folder, so that runs side by side
// never share the tag files they write; leaves it for the fuzzer's own paths.
struct fuzz_directory_scope
{
	explicit fuzz_directory_scope(const char *name) { enter_fuzz_directory(name, nullptr); }
	~fuzz_directory_scope() { leave_fuzz_directory(); }
	fuzz_directory_scope(const fuzz_directory_scope &) = delete;
	fuzz_directory_scope &operator=(const fuzz_directory_scope &) = delete;
};

inline bool write_file(const char *path, const uint8_t *data, size_t size)
{
	FILE *file = fopen(path, "wb");
	if (!file) return false;
	const bool written = size == 0 || fwrite(data, 1, size, file) == size;
	return fclose(file) == 0 && written;
}

#endif
