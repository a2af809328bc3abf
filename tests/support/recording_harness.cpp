#include "recording_harness.h"

#include <cstdio>

#include "main_globals.h"
#include "tag_files/tag_files.h"

namespace {

void start_trail(void)
{
	harness_clear_digest_trail();
}

}

bool harness_replay_film(file_tag subgroup)
{
	harness_end_map();
	if (subgroup == static_cast<file_tag>(NONE))
	{
		const int32 last = get_last_recording_handle();
		if (last == NONE) return false;
		subgroup = tag_file_get_header_subgroup(last);
	}
	new_game_data setup;
	memset(&setup, 0, sizeof(setup));
	if (!enter_replay_immediately(subgroup, &setup)) return false;
	// The shell's map (the menu's) goes first; that turns the start into the replay.
	harness_end_map();
	start_trail();
	return harness_start_map(&setup);
}

int32 harness_run_replay(int16 elapsed, int32 maximum_frames)
{
	const int32 start = game->game_time;
	for (int32 frame = 0; frame < maximum_frames && !replay_over() && !harness_game_is_finished(); ++frame)
	{
		harness_run_frames(1, elapsed);
	}
	return game->game_time - start;
}

bool harness_save_game(const char *name)
{
	return save_game_as(name) != FALSE;
}

bool harness_restore_last_saved_game(void)
{
	harness_end_map();
	main_global_data *m = &main_globals;
	if (!revert_to_last_saved_game(&m->new_game_data, &m->save_game_ticks, &m->save_game_observer,
			&m->save_game_zoom_factor, m->cached_console_text, &m->cached_console_line_count))
	{
		return false;
	}
	m->restoring_from_save_game = TRUE;
	harness_end_map();
	start_trail();
	enter_running_state();
	return game->loaded && !game_flags_test(_game_is_disabled_flag) && restore_resumed_recording();
}

int32 harness_find_tag(file_tag group_tag, const char *name)
{
	tag_file_info filter;
	tag_file_info_new(&filter);
	filter.group_tag = group_tag;
	snprintf(filter.name, sizeof(filter.name), "%s", name);
	int32 handles[16];
	const int32 count = tag_file_enumerate(&filter, handles, 16);
	return count > 0 ? handles[count - 1] : NONE;
}

std::vector<uint8> harness_tag_data(int32 handle)
{
	const int32 size = tag_file_get_header_data_size(handle);
	std::vector<uint8> data(static_cast<size_t>(size > 0 ? size : 0));
	if (size <= 0 || !tag_file_read(handle, 0, size, data.data())) data.clear();
	return data;
}

int32 harness_write_tag(file_tag group_tag, const char *name, const std::vector<uint8> &data)
{
	const int32 existing = harness_find_tag(group_tag, name);
	file_tag subgroup = existing != NONE ? tag_file_get_header_subgroup(existing) : tag_files_string_to_tag(name);
	return tag_file_new_with_subgroup_tag(group_tag, name, subgroup, RECORDING_VERSION, data.data(),
		static_cast<int32>(data.size()));
}

std::vector<uint8> harness_tag_file_bytes(file_tag group_tag, const char *name)
{
	const char *folder = group_tag == SAVED_GAME_GROUP_TAG ? "saved games" : "recordings";
	const std::string path = harness_directory() + "/" + folder + "/" + name;
	std::vector<uint8> bytes;
	FILE *file = fopen(path.c_str(), "rb");
	if (!file) return bytes;
	uint8 buffer[65536];
	size_t got;
	while ((got = fread(buffer, 1, sizeof(buffer), file)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
	fclose(file);
	return bytes;
}
