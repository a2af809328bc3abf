// The game binary run as a child process, as a player starts it, by the
// process and window tests and the start-up timing.
#ifndef ZERV_GAME_PROCESS_H
#define ZERV_GAME_PROCESS_H

#include <sys/types.h>

#include <string>

// Sleeps that long, carrying on through signals.
void sleep_milliseconds(int milliseconds);

// Makes folder and copies the game binary into it, beside the generated tag
// set; *copy is the copy's path. Fails the test where any step fails.
void install_game_copy(const std::string &binary, const std::string &folder, std::string *copy);

// Starts the program with no arguments in the environment given, reading
// /dev/null, its output in output_folder's game.out and game.err. False
// where it does not start.
bool spawn_game(const std::string &program, const std::string &output_folder, char *const environment[], pid_t *pid);

#endif
