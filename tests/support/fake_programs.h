// Fake "zenity" and "xmessage" that record their arguments instead of showing
// anything.
#ifndef ZERV_FAKE_PROGRAMS_H
#define ZERV_FAKE_PROGRAMS_H

#include <string>
#include <vector>

struct fake_program_options
{
	bool zenity = true;
	bool xmessage = true;
	// Exit status of each fake.
	int exit_status = 0;
	// How long each fake runs before it exits.
	int run_milliseconds = 0;
};

// Writes the fakes into "<directory>/fake-bin" and puts that folder first on
// PATH (the old PATH is restored by restore_fake_programs_path). Each fake
// writes its arguments, one per line, to "<directory>/fake-bin/<name>.args".
// Returns the folder, or "" on failure.
std::string install_fake_programs(const std::string &directory, const fake_program_options &options = {});
// Restricts PATH to the fake folder alone, so that real programs are not found.
void fake_programs_only_on_path(const std::string &fake_folder);
void restore_fake_programs_path(void);

// The arguments a fake received (empty when it did not run).
std::vector<std::string> fake_program_arguments(const std::string &fake_folder, const char *name);
bool fake_program_ran(const std::string &fake_folder, const char *name);

#endif
