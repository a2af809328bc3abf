#include "foundation_files.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

const char *const foundation_file_names[5] = {
	"small install",
	"medium install",
	"large install",
	"international small install",
	"international large install"};

bool install_placeholder_foundation_files(const std::string &directory)
{
	std::string folder = directory + "/tags";
	if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) return false;
	for (const char *name : foundation_file_names)
	{
		FILE *file = fopen((folder + "/" + name).c_str(), "ab");
		if (!file) return false;
		if (fclose(file) != 0) return false;
	}
	return true;
}
