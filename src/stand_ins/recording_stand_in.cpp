// Films and saved games are not recorded yet: every query answers "none",
// and no game is a replay.
#include "recording.h"

#include <cstring>
#include <ctime>

#include "zerv.h"

// The type of the game being played, which a film would record.
static int16 original_game_type = NONE;

void initialize_recording(void) { original_game_type = NONE; }

void initialize_recording_for_new_map(new_game_data *game_setup)
{
	original_game_type = game_setup ? game_setup->parameters.type : static_cast<int16>(NONE);
}

void dispose_recording_from_old_map(void) {}
static recording_test_hooks_data recording_test_hooks;

recording_test_hooks_data *get_recording_test_hooks(void)
{
	return &recording_test_hooks;
}

void reset_recording_test_hooks(void)
{
	memset(&recording_test_hooks, 0, sizeof(recording_test_hooks));
}

void record_incoming_command(command_header *command)
{
	int16 size;
	memcpy(&size, command, sizeof(size));
	recording_test_hooks.recorded_command_count += 1;
	if (size > 0 && size <= RECORDING_BUFFER_SIZE) memcpy(recording_test_hooks.last_recorded_command, command, size);
}
void update_replay(int32) {}
void stop_recording(void) {}
void recording_crash_handler(void) {}

boolean replay_manager(new_game_data *) { return FALSE; }
boolean enter_replay_immediately(file_tag, new_game_data *) { return FALSE; }
boolean save_game(void) { return FALSE; }
boolean can_save_game(void) { return FALSE; }
boolean save_game_exists(void) { return FALSE; }
boolean replay_saved_game_available(void) { return FALSE; }

boolean continue_saved_game(new_game_data *, int32 *, observer_location *, fixed *, cached_line *, int16 *)
{
	return FALSE;
}

boolean revert_to_last_saved_game(new_game_data *, int32 *, observer_location *, fixed *, cached_line *, int16 *)
{
	return FALSE;
}

boolean could_revert_to_last_saved_game(void) { return FALSE; }
void reset_last_saved_game(void) {}
const char *get_saved_game_name(void) { return ""; }
// Nothing is being replayed, so any replay is over.
boolean replay_over(void) { return TRUE; }
boolean game_is_solo_replay(void) { return FALSE; }
int16 get_replay_game_type(void) { return original_game_type; }
const char *get_replay_string(int16) { return "Untitled Replay"; }

const char *get_recording_time_string(void)
{
	static char buffer[64];
	time_t now = time(NULL);
	struct tm local;
	char text[32];

	buffer[0] = 0;
	if (!localtime_r(&now, &local) || !asctime_r(&local, text)) return buffer;
	// "Www Mmm dd hh:mm:ss yyyy\n": drop the weekday and the newline.
	const char *start = text;
	const char *blank = strchr(text, ' ');
	if (blank) start = blank + 1;
	size_t length = 0;
	while (start[length] && start[length] != '\n' && length + 1 < sizeof(buffer))
	{
		buffer[length] = start[length] == ':' ? '.' : start[length];
		++length;
	}
	buffer[length] = 0;
	return buffer;
}
