#include "foundation_files.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

const char *const foundation_file_names[5] = {
	"small install",
	"medium install",
	"large install",
	"international small install",
	"international large install"};

namespace
{
bool copy_file(const std::string &from, const std::string &to)
{
	FILE *source = fopen(from.c_str(), "rb");
	if (!source) return false;
	FILE *destination = fopen(to.c_str(), "wb");
	bool copied = destination != nullptr;
	char buffer[65536];
	size_t count;
	while (copied && (count = fread(buffer, 1, sizeof(buffer), source)) > 0)
	{
		copied = fwrite(buffer, 1, count, destination) == count;
	}
	copied = copied && !ferror(source);
	fclose(source);
	if (destination && fclose(destination) != 0) copied = false;
	return copied;
}

// Copies the regular files of one generated folder (the default set's files only).
bool copy_generated_folder(const std::string &name, const std::string &directory)
{
	const std::string from = std::string(ZERV_BINARY_DIR) + "/" + name;
	const std::string to = directory + "/" + name;
	if (mkdir(to.c_str(), 0755) != 0 && errno != EEXIST) return false;
	DIR *folder = opendir(from.c_str());
	if (!folder) return false;
	std::vector<std::string> files;
	for (struct dirent *entry = readdir(folder); entry; entry = readdir(folder))
	{
		// The cache and hidden files are the game's own, not the generated set.
		if (entry->d_name[0] == '.' || std::string(entry->d_name) == "cache") continue;
		struct stat status;
		if (stat((from + "/" + entry->d_name).c_str(), &status) == 0 && S_ISREG(status.st_mode)) files.push_back(entry->d_name);
	}
	closedir(folder);
	std::sort(files.begin(), files.end());
	for (const std::string &file : files)
	{
		if (!copy_file(from + "/" + file, to + "/" + file)) return false;
	}
	return true;
}
}

bool install_placeholder_foundation_files(const std::string &directory)
{
	return copy_generated_folder("tags", directory) && copy_generated_folder("plugins", directory);
}
