// The headless harness: drives the game core without a window. Initialize
// once per process, set up a map, run frames or ticks, take the per-tick
// digest trail, end the map.
#ifndef ZERV_HARNESS_H
#define ZERV_HARNESS_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "zerv.h"

// Makes a fresh "zerv-test-XXXXXX" working directory with the game's folders,
// the foundation files and the fake message-box programs, and starts the core
// with initialize_zerv (again on each later call, as a fresh process would).
// False on failure.
// With trace_start_up the service trace records the core's start-up.
bool harness_initialize(bool trace_start_up = false);
// Leaves and removes the working directory (kept with ZERV_KEEP_TEST_DIRS).
void harness_shutdown(void);
const std::string &harness_directory(void);
const std::string &harness_fake_program_folder(void);

// A local game on the default map with fixed seeds and one human of build
// 377 on team 0.
void harness_default_setup(new_game_data *setup);
// The generated demo map, "Demo Valley".
#define HARNESS_DEMO_MAP_TAG TAG("demo")

// A local game on 'demo' with the default setup's seeds: player_count
// (1..16) players of build 377 with distinct identifiers, free to join either
// of the map's teams, the last of more than two a computer, all starting in
// white so that the appearances must be arbitrated; player 0 is local.
void harness_demo_setup(new_game_data *setup, int16 player_count = 4);
// Two players of build 377 on the map: a local human on team 0 and a
// computer on team 1, difficulty 2, default options. Without a computer
// opponent player 1 is a second human, which keeps the maps' computer-team
// scripts shut.
void harness_battle_setup(new_game_data *setup, file_tag map_tag, bool computer_opponent = true);
// The battle setup as a demo-type game of two computers: no map action runs
// and the scheduler hands each team to the attack AI in turn.
void harness_ai_battle_setup(new_game_data *setup, file_tag map_tag);
// The first level 'l1  ' as harness_battle_setup plays it: for the tests of the level's content.
void harness_level_setup(new_game_data *setup, bool computer_opponent = true);
#define HARNESS_FIRST_LEVEL_MAP_TAG TAG("l1  ")
// 'demo' with unit trading allowed and a 300-tick pregame: two players per
// team, player 0 local and captain of team 0, player 2 captain of team 1.
void harness_trading_setup(new_game_data *setup);
// initialize_zerv_for_new_map, then loaded and local time 0 as the main
// program does after a successful start.
bool harness_start_map(new_game_data *setup);
// Per frame: local time advances by elapsed, then update_zerv (elapsed).
void harness_run_frames(int32 frames, int16 elapsed);
// Frames of elapsed until game_time has advanced by ticks, the game has
// finished, or a frame limit is reached; returns the ticks that ran.
int32 harness_run_ticks(int32 ticks, int16 elapsed = 1);
void harness_end_map(void);

// True once the game has run its ending to the last tick.
bool harness_game_is_finished(void);

// One digest after every executed tick, recorded from harness_start_map on.
struct harness_digest_entry
{
	int32 game_time;
	uint64 digest;
};
const std::vector<harness_digest_entry> &harness_digest_trail(void);
void harness_clear_digest_trail(void);
// "game_time digest" lines; true on success.
bool harness_write_digest_trail(const std::string &path);
// Several trails in one file, each after a "# name" line; true on success.
struct harness_named_trail
{
	std::string name;
	std::vector<harness_digest_entry> trail;
};
bool harness_write_digest_trails(const std::string &path, const std::vector<harness_named_trail> &trails);

// The trail of the running test as "digest_trails/<suite>.<test>.txt" in the
// build tree, which the 64-bit and 32-bit trees compare file by file.
bool harness_write_test_digest_trail(const std::vector<harness_digest_entry> &trail);

// Commands scripted by tick: each command's bytes with its header in host
// order and its player set. The local intake queues an entry (unsniffed,
// keeping its tick and player) in the frame whose intake covers its tick.
struct harness_command_entry
{
	int32 tick;
	std::vector<uint8> command;
};
typedef std::vector<harness_command_entry> harness_command_script;

// Moves what the real builders queued outgoing into the script, for the tick
// and player given.
void harness_capture_commands(int32 tick, int16 player, harness_command_script *script);
// Sorts the script by tick (stably) and feeds it through the intake; an entry
// whose tick has passed, or one the queue refuses, fails the test. An empty
// script removes it.
void harness_set_command_script(const harness_command_script &script);

// Fixture: harness_initialize before each test, harness_shutdown after.
class zerv_harness_fixture : public ::testing::Test
{
protected:
	void SetUp() override;
	void TearDown() override;
};

#endif
