#include "fake_programs.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

bool saved_path_valid = false;
std::string saved_path;
bool saved_path_was_set = false;

void save_path_once(void)
{
	if (saved_path_valid) return;
	const char *path = getenv("PATH");
	saved_path_was_set = path != NULL;
	saved_path = path ? path : "";
	saved_path_valid = true;
}

bool write_fake(const std::string &folder, const char *name, const fake_program_options &options)
{
	std::string path = folder + "/" + name;
	FILE *file = fopen(path.c_str(), "w");
	if (!file) return false;
	// The arguments go to a temporary file renamed into place, so that a reader
	// never sees half a list.
	fprintf(file,
		"#!/bin/sh\n"
		"out=\"%s/%s.args\"\n"
		": > \"$out.tmp\"\n"
		"for a in \"$@\"; do printf '%%s\\n' \"$a\" >> \"$out.tmp\"; done\n"
		"/bin/mv \"$out.tmp\" \"$out\"\n",
		folder.c_str(), name);
	if (options.run_milliseconds > 0)
	{
		fprintf(file, "/bin/sleep %d.%03d\n", options.run_milliseconds / 1000, options.run_milliseconds % 1000);
	}
	fprintf(file, "exit %d\n", options.exit_status);
	if (fclose(file) != 0) return false;
	return chmod(path.c_str(), 0755) == 0;
}

}

std::string install_fake_programs(const std::string &directory, const fake_program_options &options)
{
	std::string folder = directory + "/fake-bin";
	if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) return "";
	if (options.zenity && !write_fake(folder, "zenity", options)) return "";
	if (options.xmessage && !write_fake(folder, "xmessage", options)) return "";

	save_path_once();
	std::string path = folder;
	if (!saved_path.empty()) path += ":" + saved_path;
	setenv("PATH", path.c_str(), 1);
	return folder;
}

void fake_programs_only_on_path(const std::string &fake_folder)
{
	save_path_once();
	setenv("PATH", fake_folder.c_str(), 1);
}

void restore_fake_programs_path(void)
{
	if (!saved_path_valid) return;
	if (saved_path_was_set) setenv("PATH", saved_path.c_str(), 1);
	else unsetenv("PATH");
	saved_path_valid = false;
}

std::vector<std::string> fake_program_arguments(const std::string &fake_folder, const char *name)
{
	std::vector<std::string> arguments;
	std::ifstream stream(fake_folder + "/" + name + ".args");
	std::string line;
	while (std::getline(stream, line)) arguments.push_back(line);
	return arguments;
}

bool fake_program_ran(const std::string &fake_folder, const char *name)
{
	struct stat status;
	return stat((fake_folder + "/" + name + ".args").c_str(), &status) == 0;
}
