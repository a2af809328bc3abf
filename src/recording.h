// Films and saved games.
#ifndef RECORDING_H
#define RECORDING_H

#include "cseries.h"
#include "recording_file.h"

struct new_game_data;
struct command_header;
struct observer_location;
struct cached_line;
struct dialog_data;

#define RECORDING_GROUP_TAG TAG("reco")
#define SAVED_GAME_GROUP_TAG TAG("save")
#define RECORDING_STRING_LIST_TAG TAG("inrf")
#define STANDARD_GET_REPLAY_TAG TAG("serd")
#define STANDARD_GET_SAVEGAME_TAG TAG("opsg")
#define SAVE_GAME_DIALOG_TAG TAG("sagd")
#define TRAINING_MAP_TAG TAG("mt00")
#define UNTITLED_REPLAY_NAME "Untitled Replay"
#define MAXIMUM_REPLAY_LIST_ROWS 2048
#define MAXIMUM_MISSING_REPLAY_PLUGINS 64

enum // items of the film dialog
{
	iBEGIN_REPLAY = 1,
	iCANCEL_REPLAY = 2,
	iRECORDINGS_TO_GET_LIST = 3,
	iGAME_PANEL = 5,
	iREPLAY_PLAYER_LIST = 6,
	iSAVE_LAST_REPLAY = 7,
	iDELETE_REPLAY = 8,
	iREPLAY_LAST_GAME = 9,
	iREPLAY_HELP_TEXT = 10,
	iREPLAY_HELP_TEXT_2 = 12,
	iRENAME_REPLAY = 13
};

enum // items of the load dialog
{
	iLOAD_GAME = 1,
	iCANCEL_LOAD = 2,
	iSAVED_GAMES_LIST = 4,
	iSNAPSHOT = 5,
	iDELETE_GAME = 6,
	iDATE = 7
};

enum // items of the save dialog
{
	iSAVE_GAME = 1,
	iCANCEL_SAVE = 2,
	iSAVE_GAME_NAME = 3,
	iSAVE_GAMES_LIST = 4,
	iSAVE_GAME_SNAPSHOT = 6
};

enum
{
	_state_uninitialized,
	_state_recording,
	_state_starting_replay,
	_state_replaying,
	_state_replay_finishing,
	_state_replay_done
};

#define NORMAL_REPLAY_SPEED_INDEX 5

void initialize_recording(void);
void initialize_recording_for_new_map(new_game_data *game);
// Creates the film of a game that initialize_recording_for_new_map chose to
// record, once the veterans are in place.
void begin_recording_for_new_map(void);
void dispose_recording_from_old_map(void);
void record_incoming_command(command_header *command);
void update_replay(int32 ticks);
void stop_recording(void);
void recording_crash_handler(void);

// The film dialog opened by a person; true when a replay was started.
boolean replay_manager(new_game_data *game);
// The film dialog shown again after a user's replay. Nobody has chosen
// anything yet: unless an answer comes, it closes.
boolean reopen_replay_manager(new_game_data *game);
boolean enter_replay_immediately(file_tag subgroup, new_game_data *game);
boolean save_game(void);
// The writer behind the save dialog: the game so far as the saved game of
// that name (replacing one of the same name). False leaves any old one as it was.
boolean save_game_as(const char *name);
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
// True once a restore reached its saved tick and recording goes on.
boolean restore_resumed_recording(void);
// The snapshot pixels of a saved game (big-endian, freed with
// dispose_pointer) with their size and encoding; NULL on failure.
void *read_save_game_snapshot(int32 handle, int16 *width, int16 *height, int16 *encoding);
boolean save_last_replay(const char *name, int32 *handle_out);
boolean duplicate_last_replay(file_tag subgroup);
boolean duplicate_last_replay_as(const char *name);
// The handle of the last game's film, NONE when there is none.
int32 get_last_recording_handle(void);
boolean valid_replay_or_save_version(int32 handle);
// At a restore's saved tick: the saved game so far becomes the new last
// recording, and recording goes on into it.
boolean duplicate_current_recording_into_last_recording(void);
// The load dialog: the subgroup of the chosen saved game, NONE when cancelled.
file_tag select_game_to_load_dialog(void);
// The film dialog's items for the selected film and the last recording.
void setup_replay_dialog_to_match_header(dialog_data *dialog);
boolean replay_over(void);
boolean game_is_solo_replay(void);
int16 get_replay_game_type(void);
const char *get_replay_string(int16 index);

// The local time as ctime gives it, without the weekday and the newline, with
// each ':' replaced by '.'; a static buffer.
const char *get_recording_time_string(void);

int16 get_recording_state(void);

struct recording_test_hooks_data
{
	// The commands handed to record_incoming_command, recorded or not.
	int32 recorded_command_count;
	uint8 last_recorded_command[RECORDING_BUFFER_SIZE]; // as handed over, header in host order
	// Block writes of the live film fail while positive (each counts down).
	int32 fail_block_writes;
	int32 fail_command_data_writes; // the commands after a written block header
	int32 blocks_written;
	int32 commands_refused; // over the film buffer
	int32 late_commands; // replayed after the game passed their tick
};
recording_test_hooks_data *get_recording_test_hooks(void);
void reset_recording_test_hooks(void);

#endif
