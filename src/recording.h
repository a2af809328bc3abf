// Films and saved games.
#ifndef RECORDING_H
#define RECORDING_H

#include "cseries.h"

struct new_game_data;
struct command_header;
struct observer_location;
struct cached_line;

enum
{
	_state_uninitialized,
	_state_recording,
	_state_starting_replay,
	_state_replaying,
	_state_replay_finishing,
	_state_replay_done
};

#define RECORDING_BUFFER_SIZE 2048
#define NORMAL_REPLAY_SPEED_INDEX 5
#define SAVE_GAME_SNAPSHOT_WIDTH 160
#define SAVE_GAME_SNAPSHOT_HEIGHT 120

void initialize_recording(void);
void initialize_recording_for_new_map(new_game_data *game);
void dispose_recording_from_old_map(void);
void record_incoming_command(command_header *command);
void update_replay(int32 ticks);
void stop_recording(void);
void recording_crash_handler(void);

boolean replay_manager(new_game_data *game);
boolean enter_replay_immediately(file_tag subgroup, new_game_data *game);
boolean save_game(void);
boolean can_save_game(void);
boolean save_game_exists(void);
boolean replay_saved_game_available(void);
boolean continue_saved_game(new_game_data *game, int32 *end_time, observer_location *observer,
	fixed *zoom, cached_line *lines, int16 *line_count);
boolean revert_to_last_saved_game(new_game_data *game, int32 *end_time, observer_location *observer,
	fixed *zoom, cached_line *lines, int16 *line_count);
boolean could_revert_to_last_saved_game(void);
void reset_last_saved_game(void);
const char *get_saved_game_name(void);
boolean replay_over(void);
boolean game_is_solo_replay(void);
int16 get_replay_game_type(void);
const char *get_replay_string(int16 index);

// Tests: the commands handed to record_incoming_command.
struct recording_test_hooks_data
{
	int32 recorded_command_count;
	uint8 last_recorded_command[RECORDING_BUFFER_SIZE]; // as handed over, header in host order
};
recording_test_hooks_data *get_recording_test_hooks(void);
void reset_recording_test_hooks(void);

// The local time as ctime gives it, without the weekday and the newline, with
// each ':' replaced by '.'; a static buffer.
const char *get_recording_time_string(void);

#endif
