// Films and saved games through the headless harness: replay the last or a
// named film, save under a name, restore the way the shell does.
#ifndef RECORDING_HARNESS_H
#define RECORDING_HARNESS_H

#include <string>
#include <vector>

#include "zerv_harness.h"
#include "recording.h"

// Ends the running map (closing its film), starts the replay of the 'reco'
// tag of subgroup (NONE: the last recording) and its map. The digest trail
// starts afresh.
bool harness_replay_film(file_tag subgroup = static_cast<file_tag>(NONE));
// Frames of elapsed until the replay is over, the game has finished or a
// frame limit is reached; returns the ticks that ran.
int32 harness_run_replay(int16 elapsed, int32 maximum_frames = 100000);
// The writer behind the save dialog.
bool harness_save_game(const char *name);
// Ends the running map and restores the last saved game through the shell's
// own path (revert, then the running state's start). The trail starts afresh.
bool harness_restore_last_saved_game(void);
// The handle of a tag, NONE when absent.
int32 harness_find_tag(file_tag group_tag, const char *name);
// The data of a tag, empty when it can't be read.
std::vector<uint8> harness_tag_data(int32 handle);
// Writes the bytes as the data of a local tag (replacing a same-name one).
int32 harness_write_tag(file_tag group_tag, const char *name, const std::vector<uint8> &data);
// The data of a tag's file on disk, with its 64-byte local header.
std::vector<uint8> harness_tag_file_bytes(file_tag group_tag, const char *name);

#endif
