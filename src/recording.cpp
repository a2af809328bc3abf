// Films and saved games: every recorded game's commands go into a film in
// blocks; a replay feeds them back at their ticks; a saved game is the film
// so far with a picture, the camera and the console, restored by replaying
// it to its tick.
#include "recording.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "CoreLibrary/zerv/commands.h"
#include "CoreLibrary/zerv/error_manager.h"
#include "CoreLibrary/zerv/string_definitions.h"
#include "bitmap_dialogs/dialogs.h"
#include "bitmap_dialogs/screens.h"
#include "console/console.h"
#include "main.h"
#include "monster_initializers.h"
#include "observer.h"
#include "render/render.h"
#include "screen.h"
#include "bitmaps.h"
#include "shapes.h"
#include "tag_files/tag_files.h"
#include "world.h"
#include "zerv.h"
#include "zerv_networking/zerv_networking.h"

#define SAVED_GAME_BACKGROUND_TAG TAG("insg")
#define REPLAY_DIALOG_BACKGROUND_TAG TAG("invs")
#define LOAD_DIALOG_BACKGROUND_TAG TAG("in#1")
#define LAST_RECORDING_STRING 0
#define SAVED_GAME_NAME_STRING 1
#define SAVED_REPLAY_NAME_STRING 2

struct recording_globals_data
{
	int16 state;
	int16 original_game_type;
	uint8 buffer[RECORDING_BUFFER_SIZE];
	int16 buffer_size;
	int16 command_count;
	file_tag recording_group_tag;
	file_tag recording_subgroup_tag;
	int32 recording_tag_offset;
	file_tag last_save_game_tag;
	boolean solo_replay;
	int16 replay_speed;
	boolean game_can_be_reentered;
	int32 recording_end_time;
	int32 oldest_command_in_buffer_time;
	char last_save_game_name[TAG_NAME_LENGTH];
	char begin_replay_button_name[64];

	// The setup handed to the map start, kept before the players module
	// reorders it, and whether that game is recorded.
	new_game_data recorded_setup;
	boolean recording_pending;
	// Replays: the end of the readable blocks, and whether the last was read.
	int32 playable_end;
	boolean last_block_read;
	// The list row of the last film started from the dialog.
	int32 last_replay_row;
	// Whether a person meets the film dialog: it was opened by their click,
	// not shown again by itself after a replay.
	boolean replay_dialog_attended;
	// The veterans of the film being started, put in place by its map start.
	uint8 veterans[MAXIMUM_MONSTER_INITIALIZERS_LENGTH];
	int32 veterans_length;
	boolean veterans_pending;
};

static recording_globals_data *recording_globals = nullptr;
static recording_test_hooks_data recording_test_hooks;

recording_test_hooks_data *get_recording_test_hooks(void)
{
	return &recording_test_hooks;
}

void reset_recording_test_hooks(void)
{
	memset(&recording_test_hooks, 0, sizeof(recording_test_hooks));
}

int16 get_recording_state(void)
{
	return recording_globals ? recording_globals->state : static_cast<int16>(_state_uninitialized);
}

/* ---------- helpers */

static void set_big_endian_32(uint8 *bytes, int32 value)
{
	const uint32 v = static_cast<uint32>(value);
	bytes[0] = static_cast<uint8>(v >> 24);
	bytes[1] = static_cast<uint8>(v >> 16);
	bytes[2] = static_cast<uint8>(v >> 8);
	bytes[3] = static_cast<uint8>(v);
}

// Copies a name, cut to fit and always terminated.
static void copy_name(char *destination, size_t size, const char *source)
{
	const size_t length = source ? strnlen(source, size - 1) : 0;
	if (length > 0) memcpy(destination, source, length);
	destination[length] = 0;
}

static const char *subgroup_text(file_tag subgroup)
{
	static char text[5];
	for (int32 i = 0; i < 4; ++i) text[i] = static_cast<char>((subgroup >> (24 - 8 * i)) & 0xFF);
	text[4] = 0;
	return text;
}

// A free subgroup drawn the way the tag writer draws one.
static file_tag random_free_subgroup(file_tag group_tag)
{
	file_tag subgroup_tag;
	do
	{
		subgroup_tag = 0;
		for (int32 i = 0; i < 4; ++i)
		{
			const file_tag character = static_cast<file_tag>(local_random() % 95 + 32);
			subgroup_tag |= character << (8 * i);
		}
	} while (tag_file_exists(group_tag, subgroup_tag));
	return subgroup_tag;
}

// The visible tags of the group with the name, in list order.
static int32 tags_named(file_tag group_tag, const char *name, int32 *handles, int32 maximum)
{
	tag_file_info filter;
	tag_file_info_new(&filter);
	filter.group_tag = group_tag;
	copy_name(filter.name, sizeof(filter.name), name);
	return tag_file_enumerate(&filter, handles, maximum);
}

// The subgroup a tag of that name takes: a same-name tag's, so the new one
// replaces it, else one derived from the name and made free.
static file_tag named_subgroup(file_tag group_tag, const char *name)
{
	int32 handles[16];
	const int32 count = tags_named(group_tag, name, handles, NUMBEROF(handles));
	if (count > 0) return tag_file_get_header_subgroup(handles[count - 1]);
	file_tag subgroup_tag = tag_files_string_to_tag(name);
	if (subgroup_tag == static_cast<file_tag>(NONE) || tag_file_exists(group_tag, subgroup_tag))
	{
		subgroup_tag = random_free_subgroup(group_tag);
	}
	return subgroup_tag;
}

// The whole data of a tag (freed with dispose_pointer), or NULL.
static uint8 *read_whole_tag(int32 handle, int32 *size)
{
	const int32 length = tag_file_get_header_data_size(handle);
	if (length < 0) return nullptr;
	uint8 *data = static_cast<uint8 *>(new_pointer(static_cast<size_t>(MAX(length, 1))));
	if (!data) return nullptr;
	if (length > 0 && !tag_file_read(handle, 0, length, data))
	{
		dispose_pointer(data);
		return nullptr;
	}
	*size = length;
	return data;
}

// Grows as bytes are appended; one allocation handed to the creation path.
struct byte_builder
{
	uint8 *data = nullptr;
	int32 size = 0;
	int32 capacity = 0;
	bool failed = false;

	~byte_builder() { dispose_pointer(data); }

	void append(const void *bytes, int32 count)
	{
		if (failed || count <= 0) return;
		if (static_cast<int64>(size) + count > INT32_MAX)
		{
			failed = true;
			return;
		}
		if (size + count > capacity)
		{
			int64 wanted = MAX(static_cast<int64>(capacity) * 2, static_cast<int64>(size) + count);
			wanted = MAX(wanted, static_cast<int64>(4096));
			if (wanted > INT32_MAX) wanted = INT32_MAX;
			uint8 *grown = static_cast<uint8 *>(new_pointer(static_cast<size_t>(wanted)));
			if (!grown)
			{
				failed = true;
				return;
			}
			if (size > 0) memcpy(grown, data, static_cast<size_t>(size));
			dispose_pointer(data);
			data = grown;
			capacity = static_cast<int32>(wanted);
		}
		memcpy(data + size, bytes, static_cast<size_t>(count));
		size += count;
	}
};

static void append_block(byte_builder *builder, uint32 flags, const uint8 *commands, int16 size, int16 count)
{
	recording_block_header block = {flags, size, count};
	byte_swap_recording_block_header(&block);
	builder->append(&block, sizeof(block));
	builder->append(commands, size);
}

static void append_header(byte_builder *builder, const recording_file_header *header)
{
	recording_file_header stored = *header;
	byte_swap_recording_file_header(&stored);
	builder->append(&stored, sizeof(stored));
}

/* ---------- strings */

// The names are read while a map (or the menu's shell) has its string lists,
// and kept for the calls between maps.
#define CACHED_REPLAY_STRINGS 3
static char cached_replay_strings[CACHED_REPLAY_STRINGS][TAG_NAME_LENGTH];
static int16 cached_replay_string_count = NONE;

static void cache_replay_strings(void)
{
	const int16 list = string_list_tag_to_string_index(RECORDING_STRING_LIST_TAG);
	cached_replay_string_count = MIN(count_strings_in_list(list), static_cast<int16>(CACHED_REPLAY_STRINGS));
	for (int16 i = 0; i < CACHED_REPLAY_STRINGS; ++i)
	{
		copy_name(cached_replay_strings[i], sizeof(cached_replay_strings[i]),
			i < cached_replay_string_count ? get_string_from_list(list, i) : "");
	}
}

const char *get_replay_string(int16 index)
{
	if (cached_replay_string_count == NONE) return UNTITLED_REPLAY_NAME;
	if (index > 1 && cached_replay_string_count < 3) return UNTITLED_REPLAY_NAME;
	if (index < 0 || index >= cached_replay_string_count) return UNTITLED_REPLAY_NAME;
	const char *text = cached_replay_strings[index];
	return text[0] ? text : UNTITLED_REPLAY_NAME;
}

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

int32 get_last_recording_handle(void)
{
	int32 handles[16];
	const int32 count = tags_named(RECORDING_GROUP_TAG, get_replay_string(LAST_RECORDING_STRING), handles, NUMBEROF(handles));
	return count > 0 ? handles[count - 1] : NONE;
}

// Every last recording but keep (NONE: all of them); one film keeps the name.
static void delete_last_recordings_except(int32 keep)
{
	int32 handles[16];
	const int32 count = tags_named(RECORDING_GROUP_TAG, get_replay_string(LAST_RECORDING_STRING), handles, NUMBEROF(handles));
	const file_tag kept = keep == NONE ? static_cast<file_tag>(NONE) : tag_file_get_header_subgroup(keep);
	for (int32 i = 0; i < count; ++i)
	{
		if (tag_file_get_header_subgroup(handles[i]) != kept) tag_file_delete(handles[i]);
	}
}

/* ---------- veterans */

static_assert(MAXIMUM_MONSTER_INITIALIZERS_LENGTH == MAXIMUM_MONSTER_INITIALIZERS_PER_MAP * MONSTER_INITIALIZER_STORED_SIZE &&
	MONSTER_INITIALIZER_SIZE == MONSTER_INITIALIZER_STORED_SIZE, "a film's veteran section holds the whole store");

// The store as the map start left it, big-endian; its length in bytes.
static int32 export_veterans(uint8 *buffer, int32 size)
{
	int32 length = 0;
	export_monster_initializers(nullptr, &length);
	if (length < 0 || length > size) return 0;
	export_monster_initializers(buffer, &length);
	return length;
}

// The film's veterans replace the store once the map start has reset and
// backed it up, so store and backup stand as they stood in the recorded game.
static void restore_film_veterans(void)
{
	recording_globals_data *r = recording_globals;
	r->veterans_pending = FALSE;
	if (!import_monster_initializers(r->veterans, r->veterans_length)) return;
	backup_monster_initializers();
}

/* ---------- life cycle */

// At exit nothing may stop the process: a film that can't be closed is logged.
static bool exiting = false;

static void stop_recording_at_exit(void)
{
	exiting = true;
	stop_recording();
}

#define report_film_error(code, ...) \
	(exiting ? log_message(MODULE_NAME, __LINE__, __VA_ARGS__) : error_message(code, MODULE_NAME, __LINE__, __VA_ARGS__))

void initialize_recording(void)
{
	if (!recording_globals)
	{
		recording_globals = static_cast<recording_globals_data *>(new_pointer(sizeof(recording_globals_data)));
		if (!recording_globals)
		{
			error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate recording globals");
			return;
		}
	}
	memset(recording_globals, 0, sizeof(*recording_globals));
	cached_replay_string_count = NONE;
	recording_globals->state = _state_uninitialized;
	recording_globals->original_game_type = NONE;
	recording_globals->last_save_game_tag = static_cast<file_tag>(NONE);
	recording_globals->replay_speed = NORMAL_REPLAY_SPEED_INDEX;
	recording_globals->last_replay_row = NONE;

	// Registered once per process however often the core starts.
	static bool registered = false;
	if (!registered)
	{
		atexit(stop_recording_at_exit);
		registered = true;
	}
}

void initialize_recording_for_new_map(new_game_data *setup)
{
	recording_globals_data *r = recording_globals;
	if (!r) return;
	cache_replay_strings();
	r->recording_pending = FALSE;
	if (!setup) return;
	const int16 type = setup->parameters.type;
	if (type != _game_type_replay) r->veterans_pending = FALSE;
	if (type != _game_type_replay) r->original_game_type = type;
	if (type == _game_type_networked ||
		(type == _game_type_local && setup->parameters.scenario_tag != TRAINING_MAP_TAG))
	{
		r->recorded_setup = *setup;
		r->recording_pending = TRUE;
	}
}

// Writes the header of a film or saved game at the start of the tag, read
// back in host order into header.
static boolean write_recording_header(int32 *handle, int16 type, const new_game_data *setup, int32 ending_time,
	int32 initializers_length, int32 placement_length, int32 snapshot_length, recording_file_header *header)
{
	build_recording_file_header(header, type, setup, ending_time, initializers_length, placement_length,
		snapshot_length);
	recording_file_header stored = *header;
	byte_swap_recording_file_header(&stored);
	recording_file_header check;
	if (!tag_file_write(handle, 0, sizeof(stored), &stored) || !tag_file_read(*handle, 0, sizeof(check), &check) ||
		memcmp(&check, &stored, sizeof(check)) != 0)
	{
		error_message(_error_file_system_write, MODULE_NAME, __LINE__, "couldn't write new game data to recording");
		return FALSE;
	}
	return TRUE;
}

// Creates the film with its header and veterans; state 1 on success.
static boolean start_recording(const new_game_data *setup)
{
	recording_globals_data *r = recording_globals;
	int32 handle = tag_file_new_with_random_subgroup_tag(RECORDING_GROUP_TAG, get_replay_string(LAST_RECORDING_STRING),
		RECORDING_VERSION);
	if (handle == NONE)
	{
		error_message(_error_file_system_create, MODULE_NAME, __LINE__, "couldn't create new recording");
		return FALSE;
	}

	static uint8 veterans[MAXIMUM_MONSTER_INITIALIZERS_LENGTH];
	const int32 veterans_length = export_veterans(veterans, sizeof(veterans));

	recording_file_header header;
	if (!write_recording_header(&handle, _normal_recording_type, setup, 0, veterans_length, 0, 0, &header))
	{
		tag_file_delete(handle);
		return FALSE;
	}
	if (veterans_length > 0 && !tag_file_write(&handle, header.monster_initializers_offset, veterans_length, veterans))
	{
		error_message(_error_file_system_write, MODULE_NAME, __LINE__, "Unable to write the monster_initializers");
		tag_file_delete(handle);
		return FALSE;
	}
	// The new film is the last recording now; no older one keeps the name.
	delete_last_recordings_except(handle);

	r->state = _state_recording;
	r->recording_group_tag = RECORDING_GROUP_TAG;
	r->recording_subgroup_tag = tag_file_get_header_subgroup(handle);
	r->buffer_size = 0;
	r->command_count = 0;
	r->recording_tag_offset = header.data_offset;
	return TRUE;
}

void begin_recording_for_new_map(void)
{
	recording_globals_data *r = recording_globals;
	if (!r) return;
	if (r->veterans_pending && (r->state == _state_starting_replay || r->state == _state_replaying)) restore_film_veterans();
	if (!r->recording_pending) return;
	r->recording_pending = FALSE;
	start_recording(&r->recorded_setup);
}

// Writes the buffered commands as one block; the last block also sets the
// ending time. A failure leaves the earlier blocks readable.
static boolean flush_recording_buffer(boolean last)
{
	recording_globals_data *r = recording_globals;
	boolean written = TRUE;
	int32 handle = tag_file_open(r->recording_group_tag, r->recording_subgroup_tag);
	if (handle == NONE)
	{
		report_film_error(_error_file_system_read, "couldn't read recording tag header for flushing");
		written = FALSE;
	}
	else
	{
		recording_block_header header = {last ? static_cast<uint32>(_block_header_last_flag) : 0u, r->buffer_size,
			r->command_count};
		byte_swap_recording_block_header(&header);
		const int32 size = RECORDING_BLOCK_HEADER_SIZE + r->buffer_size;
		// The header and the commands go out as two writes, each with its own failure.
		boolean block_written;
		if (recording_test_hooks.fail_block_writes > 0)
		{
			recording_test_hooks.fail_block_writes -= 1;
			block_written = FALSE;
		}
		else
		{
			block_written = tag_file_write(&handle, r->recording_tag_offset, RECORDING_BLOCK_HEADER_SIZE, &header);
		}
		if (!block_written)
		{
			report_film_error(_error_file_system_write, "couldn't write block header to recording");
			written = FALSE;
		}
		else
		{
			if (recording_test_hooks.fail_command_data_writes > 0)
			{
				recording_test_hooks.fail_command_data_writes -= 1;
				block_written = FALSE;
			}
			else if (r->buffer_size > 0)
			{
				block_written = tag_file_write(&handle, r->recording_tag_offset + RECORDING_BLOCK_HEADER_SIZE,
					r->buffer_size, r->buffer);
			}
			if (!block_written)
			{
				report_film_error(_error_file_system_write, "couldn't write command data to recording");
				written = FALSE;
			}
		}
		if (block_written)
		{
			recording_test_hooks.blocks_written += 1;
			r->recording_tag_offset += size;
			if (last)
			{
				// Only the ending time changes in the header.
				uint8 ending[4];
				set_big_endian_32(ending, game ? game->game_time : 0);
				if (!tag_file_write(&handle, offsetof(recording_file_header, recording_ending_time), 4, ending))
				{
					report_film_error(_error_file_system_write, "couldn't write new game data to recording");
					written = FALSE;
				}
			}
		}
	}
	r->buffer_size = 0;
	r->command_count = 0;
	return written;
}

void record_incoming_command(command_header *command)
{
	recording_globals_data *r = recording_globals;
	if (!command) return;
	command_header header;
	command_read_header(command, &header);
	recording_test_hooks.recorded_command_count += 1;
	if (header.size > 0 && header.size <= RECORDING_BUFFER_SIZE)
	{
		memcpy(recording_test_hooks.last_recorded_command, command, static_cast<size_t>(header.size));
	}
	if (!r || r->state != _state_recording || header.verb == _command_null) return;
	// The intake drops such commands before they run; a film block could not hold one.
	if (header.size < static_cast<int16>(sizeof(command_header)) || header.size > RECORDING_BUFFER_SIZE)
	{
		recording_test_hooks.commands_refused += 1;
		log_message(MODULE_NAME, __LINE__, "film refused command #%d of %d bytes for tick %d", header.verb, header.size,
			header.time);
		return;
	}
	if (r->buffer_size > 0 && r->buffer_size + header.size > RECORDING_BUFFER_SIZE) flush_recording_buffer(FALSE);

	uint8 *copy = r->buffer + r->buffer_size;
	memcpy(copy, command, static_cast<size_t>(header.size));
	byte_swap_command_header(copy);
	r->buffer_size += header.size;
	r->command_count += 1;
}

void stop_recording(void)
{
	recording_globals_data *r = recording_globals;
	if (!r || r->state != _state_recording) return;
	flush_recording_buffer(TRUE);
	tag_files_flush();
	r->state = _state_uninitialized;
}

void dispose_recording_from_old_map(void)
{
	recording_globals_data *r = recording_globals;
	if (!r) return;
	r->recording_pending = FALSE;
	switch (r->state)
	{
	case _state_recording:
		flush_recording_buffer(TRUE);
		tag_files_flush();
		r->state = _state_uninitialized;
		break;
	case _state_starting_replay:
		r->state = _state_replaying;
		break;
	default:
		r->state = _state_uninitialized;
		break;
	}
}

void recording_crash_handler(void)
{
	recording_globals_data *r = recording_globals;
	if (!r || r->state != _state_recording) return;
	flush_recording_buffer(TRUE);
	tag_files_flush();
	r->state = _state_uninitialized;
	log_message(MODULE_NAME, __LINE__, "Recording Buffers Flushed");

	char name[TAG_NAME_LENGTH];
	static const char prefix[] = "Crash- ";
	memcpy(name, prefix, sizeof(prefix));
	copy_name(name + sizeof(prefix) - 1, sizeof(name) - (sizeof(prefix) - 1), get_recording_time_string());
	if (duplicate_last_replay_as(name)) log_message(MODULE_NAME, __LINE__, "Saved Recording To '%s'", name);
}

/* ---------- replays */

static boolean private_start_replay(file_tag subgroup, new_game_data *setup, boolean is_film,
	recording_file_summary *summary_out)
{
	recording_globals_data *r = recording_globals;
	if (!r || !setup) return FALSE;
	const file_tag group = is_film ? RECORDING_GROUP_TAG : SAVED_GAME_GROUP_TAG;
	const int32 handle = tag_file_open(group, subgroup);
	if (handle == NONE)
	{
		error_message(_error_file_system_open, MODULE_NAME, __LINE__, "couldn't open recording tag '%s'",
			subgroup_text(subgroup));
		return FALSE;
	}
	const char *name = tag_file_name_get(handle);
	int32 size = 0;
	uint8 *data = read_whole_tag(handle, &size);
	if (!data)
	{
		error_message(_error_file_system_read, MODULE_NAME, __LINE__, "couldn't read the header for recording '%s'", name);
		return FALSE;
	}
	static recording_file_summary summary;
	char reason[256];
	const boolean valid = validate_recording_data(data, size,
		is_film ? _normal_recording_type : _saved_game_recording_type, name, &summary, reason, sizeof(reason));
	// Validation holds the section to whole records within the store and the data.
	if (valid)
	{
		r->veterans_length = summary.header.monster_initializers_length;
		if (r->veterans_length > 0)
		{
			memcpy(r->veterans, data + summary.header.monster_initializers_offset, static_cast<size_t>(r->veterans_length));
		}
	}
	dispose_pointer(data);
	if (!valid)
	{
		error_message(_error_file_system_read, MODULE_NAME, __LINE__, "%s", reason);
		return FALSE;
	}
	if (summary.torn)
	{
		log_message(MODULE_NAME, __LINE__, "film '%s' ends early; it plays to its last complete block", name);
	}

	*setup = summary.header.game;
	log_message(MODULE_NAME, __LINE__, is_film ? "Replaying film \"%s\" ..." : "Loading saved game \"%s\" ...", name);

	const int16 recorded_type = setup->parameters.type;
	r->game_can_be_reentered = recorded_type == _game_type_local;
	r->solo_replay = recorded_type == _game_type_local ||
		(setup->parameters.option_flags & _game_option_cooperative_flag) != 0;
	r->original_game_type = recorded_type;
	setup->parameters.type = _game_type_replay;
	game_play_version = compute_game_play_version(setup, compute_minimum_build_number(setup));
	if (!r->solo_replay)
	{
		// The viewer watches as an observer.
		setup->parameters.option_flags &= ~_game_option_limited_visibility_flag;
		setup->local_player_index = NONE;
	}

	r->state = _state_starting_replay;
	r->recording_pending = FALSE;
	r->veterans_pending = TRUE;
	r->recording_group_tag = group;
	r->recording_subgroup_tag = subgroup;
	r->buffer_size = 0;
	r->command_count = 0;
	r->recording_tag_offset = summary.header.data_offset;
	r->replay_speed = NORMAL_REPLAY_SPEED_INDEX;
	r->oldest_command_in_buffer_time = 0;
	r->recording_end_time = summary.header.recording_ending_time;
	// A film cut short ends with its last command's tick.
	if (summary.torn && summary.last_command_time != NONE)
	{
		r->recording_end_time = MAX(r->recording_end_time, summary.last_command_time + 1);
	}
	r->playable_end = summary.playable_end;
	r->last_block_read = FALSE;
	if (summary_out) *summary_out = summary;
	return TRUE;
}

boolean enter_replay_immediately(file_tag subgroup, new_game_data *setup)
{
	return private_start_replay(subgroup, setup, TRUE, nullptr);
}

static void end_replay_with_read_failure(void)
{
	recording_globals->state = _state_replay_done;
}

static void reached_last_block(void)
{
	recording_globals_data *r = recording_globals;
	r->state = _state_replay_finishing;
	r->last_block_read = TRUE;
	r->oldest_command_in_buffer_time = r->recording_end_time;
}

// Reads the next block and queues its commands.
static void read_replay_block(void)
{
	recording_globals_data *r = recording_globals;
	const boolean saved_game = r->recording_group_tag == SAVED_GAME_GROUP_TAG;
	const int32 handle = tag_file_open(r->recording_group_tag, r->recording_subgroup_tag);
	if (handle == NONE)
	{
		error_message(_error_file_system_read, MODULE_NAME, __LINE__,
			"couldn't read recording tag header in update_replay()");
		end_replay_with_read_failure();
		return;
	}
	const char *name = tag_file_name_get(handle);
	if (r->recording_tag_offset + RECORDING_BLOCK_HEADER_SIZE > r->playable_end)
	{
		// A film without its last block ends after the last complete one.
		reached_last_block();
		return;
	}
	recording_block_header block;
	if (!tag_file_read_ahead(handle, r->recording_tag_offset, sizeof(block), &block))
	{
		error_message(_error_file_system_read, MODULE_NAME, __LINE__,
			"couldn't read block header from replay '%s' offset: 0x%x size to read: %d size got: %d", name,
			static_cast<unsigned>(r->recording_tag_offset), 8, 8);
		end_replay_with_read_failure();
		return;
	}
	byte_swap_recording_block_header(&block);
	static uint8 commands[RECORDING_BUFFER_SIZE];
	char reason[256];
	if (block.size < 0 || block.size > RECORDING_BUFFER_SIZE ||
		r->recording_tag_offset + RECORDING_BLOCK_HEADER_SIZE + block.size > r->playable_end ||
		!tag_file_read_ahead(handle, r->recording_tag_offset + RECORDING_BLOCK_HEADER_SIZE, block.size, commands) ||
		!validate_recording_block(&block, commands, MAXIMUM_PLAYERS_PER_MAP, reason, sizeof(reason), nullptr))
	{
		error_message(_error_file_system_read, MODULE_NAME, __LINE__, "couldn't read command data from replay '%s'", name);
		end_replay_with_read_failure();
		return;
	}
	r->recording_tag_offset += RECORDING_BLOCK_HEADER_SIZE;

	int32 offset = 0;
	for (int16 i = 0; i < block.command_count; ++i)
	{
		uint8 *command = commands + offset;
		byte_swap_command_header(command);
		command_header header;
		command_read_header(command, &header);
		offset += header.size;
		if (saved_game && header.time > r->recording_end_time) break;
		if (header.verb == _command_null) continue;
		if (header.time >= r->oldest_command_in_buffer_time)
		{
			if (header.time < game->game_time) recording_test_hooks.late_commands += 1;
			queue_incoming_command(command);
			r->oldest_command_in_buffer_time = header.time;
		}
	}
	r->recording_tag_offset += block.size;
	if (block.flags & _block_header_last_flag) reached_last_block();
}

void update_replay(int32 ticks)
{
	recording_globals_data *r = recording_globals;
	if (!r || !game) return;
	const boolean saved_game = r->recording_group_tag == SAVED_GAME_GROUP_TAG;

	if (r->state == _state_replay_finishing && game->game_time >= r->recording_end_time)
	{
		if (saved_game)
		{
			if (!duplicate_current_recording_into_last_recording()) r->state = _state_replay_done;
		}
		else
		{
			r->state = _state_replay_done;
		}
		return;
	}
	if (r->state == _state_replaying && free_space_in_incoming_queue() >= RECORDING_BUFFER_SIZE) read_replay_block();
	if (r->state != _state_replaying && r->state != _state_replay_finishing) return;

	// The target never passes a tick whose commands may still be unread.
	const int32 limit = r->last_block_read ? r->recording_end_time : r->oldest_command_in_buffer_time;
	int32 target = saved_game ? limit : MIN(game->target_time + MAX(ticks, 0), limit);
	game->target_time = MAX(game->target_time, target);
}

boolean replay_over(void)
{
	const int16 state = get_recording_state();
	return state == _state_uninitialized || state == _state_recording || state == _state_replay_done;
}

boolean game_is_solo_replay(void)
{
	return recording_globals ? recording_globals->solo_replay : FALSE;
}

int16 get_replay_game_type(void)
{
	return recording_globals ? recording_globals->original_game_type : static_cast<int16>(NONE);
}

const char *get_saved_game_name(void)
{
	recording_globals_data *r = recording_globals;
	if (!r || r->state == _state_uninitialized) return "";
	const int32 handle = tag_file_open(r->recording_group_tag, r->recording_subgroup_tag);
	const char *name = handle == NONE ? nullptr : tag_file_name_get(handle);
	return name ? name : "";
}

boolean restore_resumed_recording(void)
{
	return get_recording_state() == _state_recording;
}

/* ---------- copies */

// Replaces the tag of that subgroup with the bytes through the one creation path.
static int32 write_whole_tag(file_tag group_tag, const char *name, file_tag subgroup, const void *data, int32 size)
{
	return tag_file_new_with_subgroup_tag(group_tag, name, subgroup, RECORDING_VERSION, data, size);
}

boolean duplicate_last_replay(file_tag subgroup)
{
	const int32 last = get_last_recording_handle();
	const int32 target = tag_file_open(RECORDING_GROUP_TAG, subgroup);
	if (last == NONE || target == NONE) return FALSE;
	int32 size = 0;
	uint8 *data = read_whole_tag(last, &size);
	if (!data) return FALSE;
	char name[TAG_NAME_LENGTH];
	copy_name(name, sizeof(name), tag_file_name_get(target));
	const boolean written = write_whole_tag(RECORDING_GROUP_TAG, name, subgroup, data, size) != NONE;
	dispose_pointer(data);
	return written;
}

boolean duplicate_last_replay_as(const char *name)
{
	const int32 last = get_last_recording_handle();
	if (last == NONE || !name) return FALSE;
	int32 size = 0;
	uint8 *data = read_whole_tag(last, &size);
	if (!data) return FALSE;
	const boolean written = write_whole_tag(RECORDING_GROUP_TAG, name, random_free_subgroup(RECORDING_GROUP_TAG), data,
		size) != NONE;
	dispose_pointer(data);
	return written;
}

boolean save_last_replay(const char *name, int32 *handle_out)
{
	if (handle_out) *handle_out = NONE;
	if (get_last_recording_handle() == NONE) return FALSE;
	const char *default_name = name && name[0] ? name : get_replay_string(SAVED_REPLAY_NAME_STRING);
	const int32 handle = bitmap_standard_put_tag("Save Film As:", RECORDING_GROUP_TAG, default_name, RECORDING_VERSION);
	if (handle == NONE) return FALSE;
	const file_tag subgroup = tag_file_get_header_subgroup(handle);
	if (!duplicate_last_replay(subgroup)) return FALSE;
	if (handle_out) *handle_out = tag_file_open(RECORDING_GROUP_TAG, subgroup);
	return TRUE;
}

// At the saved tick: the saved game's commands up to it become the new last
// recording, and recording goes on into it.
boolean duplicate_current_recording_into_last_recording(void)
{
	recording_globals_data *r = recording_globals;
	const int32 handle = tag_file_open(r->recording_group_tag, r->recording_subgroup_tag);
	if (handle == NONE)
	{
		error_message(_error_file_system_general, MODULE_NAME, __LINE__,
			"Unable to duplicate the current recording into last recording!");
		return FALSE;
	}
	int32 size = 0;
	uint8 *data = read_whole_tag(handle, &size);
	recording_file_summary summary;
	char reason[256];
	if (!data || !validate_recording_data(data, size, _saved_game_recording_type, tag_file_name_get(handle), &summary,
			reason, sizeof(reason)))
	{
		error_message(_error_file_system_read, MODULE_NAME, __LINE__, "Unable to read the current recording header (%s:%s)!",
			"save", subgroup_text(r->recording_subgroup_tag));
		dispose_pointer(data);
		return FALSE;
	}

	recording_file_header header;
	new_game_data setup = summary.header.game;
	setup.parameters.type = _game_type_local;
	build_recording_file_header(&header, _normal_recording_type, &setup, 0, summary.header.monster_initializers_length,
		0, 0);
	byte_builder film;
	append_header(&film, &header);
	film.append(data + summary.header.monster_initializers_offset, summary.header.monster_initializers_length);

	// Only the commands up to the saved tick, every block without its last flag.
	int32 offset = summary.header.data_offset;
	while (offset + RECORDING_BLOCK_HEADER_SIZE <= summary.playable_end)
	{
		recording_block_header block;
		memcpy(&block, data + offset, sizeof(block));
		byte_swap_recording_block_header(&block);
		const uint8 *commands = data + offset + RECORDING_BLOCK_HEADER_SIZE;
		int16 kept_size = 0;
		int16 kept_count = 0;
		for (int16 i = 0; i < block.command_count; ++i)
		{
			command_header command;
			memcpy(&command, commands + kept_size, sizeof(command));
			byte_swap_command_header(&command);
			if (command.time > r->recording_end_time) break;
			kept_size += command.size;
			kept_count += 1;
		}
		append_block(&film, 0, commands, kept_size, kept_count);
		offset += RECORDING_BLOCK_HEADER_SIZE + block.size;
		if (block.flags & _block_header_last_flag) break;
	}
	dispose_pointer(data);
	if (film.failed)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't read new recording header!");
		return FALSE;
	}

	const int32 film_handle = write_whole_tag(RECORDING_GROUP_TAG, get_replay_string(LAST_RECORDING_STRING),
		random_free_subgroup(RECORDING_GROUP_TAG), film.data, film.size);
	if (film_handle == NONE)
	{
		error_message(_error_file_system_write, MODULE_NAME, __LINE__, "couldn't write block header to last recording");
		return FALSE;
	}
	// The old last recording goes only once its replacement is in place.
	delete_last_recordings_except(film_handle);

	r->state = _state_recording;
	r->recorded_setup = setup;
	r->original_game_type = _game_type_local;
	r->recording_group_tag = RECORDING_GROUP_TAG;
	r->recording_subgroup_tag = tag_file_get_header_subgroup(film_handle);
	r->buffer_size = 0;
	r->command_count = 0;
	r->recording_tag_offset = film.size;
	r->game_can_be_reentered = TRUE;
	r->solo_replay = FALSE;
	return TRUE;
}

/* ---------- saved games */

// Only a recorded game can be saved: its film is the saved game's past.
boolean can_save_game(void)
{
	recording_globals_data *r = recording_globals;
	return r && game && game->type == _game_type_local && r->state == _state_recording &&
		r->recorded_setup.parameters.scenario_tag != TRAINING_MAP_TAG;
}

boolean save_game_exists(void)
{
	return tag_file_count_subgroup_headers(SAVED_GAME_GROUP_TAG) > 0;
}

boolean replay_saved_game_available(void)
{
	return tag_file_count_subgroup_headers(RECORDING_GROUP_TAG) > 0;
}

// The observer's view drawn once by the software renderer into a 160 x 120
// picture of 32-bit pixels, big-endian; black where nothing is drawn.
static uint32 *take_snapshot(void)
{
	const int32 pixels = save_game_snapshot_pixel_bytes(SAVE_GAME_SNAPSHOT_WIDTH, SAVE_GAME_SNAPSHOT_HEIGHT,
		SAVE_GAME_SNAPSHOT_ENCODING);
	uint32 *snapshot = static_cast<uint32 *>(new_pointer(static_cast<size_t>(pixels)));
	if (!snapshot)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "Unable to allocate the snapshot");
		return nullptr;
	}
	memset(snapshot, 0, static_cast<size_t>(pixels));

	bitmap_data *bitmap = new_bitmap(SAVE_GAME_SNAPSHOT_WIDTH, SAVE_GAME_SNAPSHOT_HEIGHT, SAVE_GAME_SNAPSHOT_WIDTH * 4,
		_32bit_encoding, 0);
	if (bitmap && game && game->loaded)
	{
		view_data view;
		memset(&view, 0, sizeof(view));
		build_observer_view(&view, 0);
		view.screen = bitmap;
		// A picture in memory: the software path whatever draws the screen.
		view.rasterizer_code = _rasterizer_software;
		render_scene(&view);
		for (int16 y = 0; y < SAVE_GAME_SNAPSHOT_HEIGHT; ++y)
		{
			memcpy(snapshot + y * SAVE_GAME_SNAPSHOT_WIDTH, bitmap->row_addresses[y], SAVE_GAME_SNAPSHOT_WIDTH * 4);
		}
	}
	dispose_pointer(bitmap);
	byteswap_snapshot_data(snapshot, SAVE_GAME_SNAPSHOT_WIDTH, SAVE_GAME_SNAPSHOT_HEIGHT, SAVE_GAME_SNAPSHOT_ENCODING);
	return snapshot;
}

static boolean write_saved_game(const char *name, const uint32 *snapshot)
{
	recording_globals_data *r = recording_globals;
	const int32 film = tag_file_open(r->recording_group_tag, r->recording_subgroup_tag);
	if (film == NONE || r->state != _state_recording)
	{
		error_message(_error_file_system_read, MODULE_NAME, __LINE__, "Unable to read the current recording tag");
		return FALSE;
	}
	recording_file_header film_header;
	if (!tag_file_read(film, 0, sizeof(film_header), &film_header))
	{
		error_message(_error_file_system_read, MODULE_NAME, __LINE__, "Unable to read the current recording for the save");
		return FALSE;
	}
	byte_swap_recording_file_header(&film_header);
	const int32 copied = r->recording_tag_offset - film_header.monster_initializers_offset;
	if (film_header.monster_initializers_offset < RECORDING_FILE_HEADER_SIZE || copied < 0)
	{
		error_message(_error_file_system_read, MODULE_NAME, __LINE__, "Unable to read the current recording for the save");
		return FALSE;
	}

	const int32 pixel_bytes = snapshot ? save_game_snapshot_pixel_bytes(SAVE_GAME_SNAPSHOT_WIDTH,
		SAVE_GAME_SNAPSHOT_HEIGHT, SAVE_GAME_SNAPSHOT_ENCODING) : 0;
	recording_file_header header;
	build_recording_file_header(&header, _saved_game_recording_type, &film_header.game, game->game_time,
		film_header.monster_initializers_length, film_header.monster_placement_length, SAVE_GAME_HEADER_SIZE + pixel_bytes);

	save_game_header save;
	memset(&save, 0, sizeof(save));
	save.snapshot_width = SAVE_GAME_SNAPSHOT_WIDTH;
	save.snapshot_height = SAVE_GAME_SNAPSHOT_HEIGHT;
	get_observer_location(&save.observer);
	save.zoom_factor = get_observer_zoom_factor();
	if (save.zoom_factor <= 0) save.zoom_factor = FIXED_ONE;
	save.encoding = SAVE_GAME_SNAPSHOT_ENCODING;
	save_cached_console_text(save.cached_console_text, &save.cached_console_line_count);
	save.cached_console_line_count = PIN(save.cached_console_line_count, 0, MAXIMUM_CACHED_CONSOLE_LINES);
	byte_swap_save_game_header(&save);

	byte_builder saved;
	append_header(&saved, &header);
	saved.append(&save, sizeof(save));
	saved.append(snapshot, pixel_bytes);
	uint8 *section = static_cast<uint8 *>(new_pointer(static_cast<size_t>(MAX(copied, 1))));
	if (!section)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "Unable to allocate buffer for save game");
		return FALSE;
	}
	if (copied > 0 && !tag_file_read(film, film_header.monster_initializers_offset, copied, section))
	{
		dispose_pointer(section);
		error_message(_error_file_system_read, MODULE_NAME, __LINE__, "Unable to read the current recording for the save");
		return FALSE;
	}
	saved.append(section, copied);
	dispose_pointer(section);
	append_block(&saved, _block_header_last_flag, r->buffer, r->buffer_size, r->command_count);
	if (saved.failed)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "Unable to allocate buffer for save game");
		return FALSE;
	}

	// Assembled whole, written at once: a failure leaves any old saved game as it was.
	const file_tag subgroup = named_subgroup(SAVED_GAME_GROUP_TAG, name);
	const int32 handle = tag_file_new_with_subgroup_tag(SAVED_GAME_GROUP_TAG, name, subgroup, RECORDING_VERSION,
		saved.data, saved.size);
	if (handle == NONE)
	{
		error_message(_error_file_system_write, MODULE_NAME, __LINE__, "Unable to write the recording up to this point");
		return FALSE;
	}
	copy_name(r->last_save_game_name, sizeof(r->last_save_game_name), tag_file_name_get(handle));
	r->last_save_game_tag = tag_file_get_header_subgroup(handle);
	return TRUE;
}

boolean save_game_as(const char *name)
{
	if (!recording_globals || !name || !name[0] || !can_save_game()) return FALSE;
	uint32 *snapshot = take_snapshot();
	if (!snapshot) return FALSE;
	const boolean saved = write_saved_game(name, snapshot);
	dispose_pointer(snapshot);
	return saved;
}

static boolean name_has_visible_character(const char *name)
{
	for (const char *c = name; *c; ++c)
	{
		if (static_cast<unsigned char>(*c) > ' ') return TRUE;
	}
	return FALSE;
}

boolean save_game(void)
{
	recording_globals_data *r = recording_globals;
	if (!r || !can_save_game()) return FALSE;
	if (tag_file_open(r->recording_group_tag, r->recording_subgroup_tag) == NONE)
	{
		error_message(_error_file_system_read, MODULE_NAME, __LINE__, "Unable to read the current recording tag");
		return FALSE;
	}
	uint32 *snapshot = take_snapshot();
	if (!snapshot) return FALSE;
	dialog_data *dialog = new_dialog(SAVE_GAME_DIALOG_TAG, NULL, NULL, 0, 0);
	if (!dialog)
	{
		dispose_pointer(snapshot);
		return FALSE;
	}
	set_dialog_background(dialog, try_and_get_collection_index(SAVED_GAME_BACKGROUND_TAG), 0);
	append_tags_to_tag_list(dialog, iSAVE_GAMES_LIST, SAVED_GAME_GROUP_TAG, valid_replay_or_save_version);
	set_snapshot_item_data(dialog, iSAVE_GAME_SNAPSHOT, reinterpret_cast<const byte *>(snapshot),
		SAVE_GAME_SNAPSHOT_WIDTH, SAVE_GAME_SNAPSHOT_HEIGHT, SAVE_GAME_SNAPSHOT_ENCODING);
	set_bitmap_dialog_edit_item_text(dialog, iSAVE_GAME_NAME,
		r->last_save_game_tag != static_cast<file_tag>(NONE) && r->last_save_game_name[0] ? r->last_save_game_name :
		get_replay_string(SAVED_GAME_NAME_STRING));

	boolean result = TRUE;
	char name[TAG_NAME_LENGTH];
	for (;;)
	{
		get_bitmap_dialog_edit_item_text(dialog, iSAVE_GAME_NAME, name, sizeof(name));
		const boolean named = name_has_visible_character(name);
		bitmap_set_item_enabled(dialog, iSAVE_GAME, named);
		const int16 item_hit = modal_dialog(dialog);
		if (item_hit == iSAVE_GAME)
		{
			if (!named || !unique_name_or_desires_replacement(SAVED_GAME_GROUP_TAG, name)) continue;
			result = write_saved_game(name, snapshot);
			break;
		}
		if (item_hit == iCANCEL_SAVE || item_hit == NONE) break;
		if (item_hit == iSAVE_GAMES_LIST)
		{
			const int32 selected = get_tag_list_selected_header(dialog, iSAVE_GAMES_LIST);
			if (selected != NONE) set_bitmap_dialog_edit_item_text(dialog, iSAVE_GAME_NAME, tag_file_name_get(selected));
		}
	}
	dispose_dialog(dialog);
	dispose_pointer(snapshot);
	return result;
}

void *read_save_game_snapshot(int32 handle, int16 *width, int16 *height, int16 *encoding)
{
	if (tag_file_get_header_group(handle) != SAVED_GAME_GROUP_TAG) return nullptr;
	recording_file_header header;
	save_game_header save;
	const int32 size = tag_file_get_header_data_size(handle);
	if (!tag_file_read(handle, 0, sizeof(header), &header)) return nullptr;
	byte_swap_recording_file_header(&header);
	if (header.snapshot_offset != RECORDING_FILE_HEADER_SIZE || header.snapshot_length < SAVE_GAME_HEADER_SIZE ||
		!tag_file_read(handle, header.snapshot_offset, sizeof(save), &save))
	{
		return nullptr;
	}
	byte_swap_save_game_header(&save);
	// The picture's size must be what the section holds, and lie within the tag.
	const int32 pixels = save_game_snapshot_pixel_bytes(save.snapshot_width, save.snapshot_height, save.encoding);
	if (pixels <= 0 || save.snapshot_width > SAVE_GAME_SNAPSHOT_WIDTH || save.snapshot_height > SAVE_GAME_SNAPSHOT_HEIGHT ||
		header.snapshot_length != SAVE_GAME_HEADER_SIZE + pixels ||
		static_cast<int64>(header.snapshot_offset) + header.snapshot_length > size)
	{
		return nullptr;
	}
	void *data = new_pointer(static_cast<size_t>(pixels));
	if (!data) return nullptr;
	if (!tag_file_read(handle, header.snapshot_offset + SAVE_GAME_HEADER_SIZE, pixels, data))
	{
		dispose_pointer(data);
		return nullptr;
	}
	if (width) *width = save.snapshot_width;
	if (height) *height = save.snapshot_height;
	if (encoding) *encoding = save.encoding;
	return data;
}

boolean valid_replay_or_save_version(int32 handle)
{
	const file_tag group = tag_file_get_header_group(handle);
	if (group != RECORDING_GROUP_TAG && group != SAVED_GAME_GROUP_TAG) return FALSE;
	if (tag_file_get_header_version(handle) > RECORDING_VERSION) return FALSE;
	uint8 version[2];
	if (!tag_file_read(handle, 0, sizeof(version), version)) return FALSE;
	const int16 stored = static_cast<int16>((version[0] << 8) | version[1]);
	return stored <= RECORDING_VERSION ? TRUE : FALSE;
}

/* ---------- restoring */

static boolean restore_saved_game_tag(file_tag subgroup, new_game_data *setup, int32 *end_time,
	observer_location *observer, fixed *zoom, cached_line *lines, int16 *line_count)
{
	recording_globals_data *r = recording_globals;
	// The game being recorded is closed first.
	stop_recording();
	recording_file_summary summary;
	if (!private_start_replay(subgroup, setup, FALSE, &summary)) return FALSE;
	r->last_save_game_tag = subgroup;
	if (end_time) *end_time = summary.header.recording_ending_time;
	if (observer) *observer = summary.save_header.observer;
	if (zoom) *zoom = summary.save_header.zoom_factor;
	if (lines)
	{
		memcpy(lines, summary.save_header.cached_console_text, sizeof(summary.save_header.cached_console_text));
	}
	if (line_count) *line_count = summary.save_header.cached_console_line_count;
	return TRUE;
}

static void show_missing_plugins(const new_game_data *setup)
{
	static missing_plugin_info missing[MAXIMUM_MISSING_REPLAY_PLUGINS];
	const int32 count = tag_file_plugins_decode_missing(setup->parameters.plugin_data, MAXIMUM_PLUGIN_DATA_SIZE,
		missing, MAXIMUM_MISSING_REPLAY_PLUGINS);
	if (count > 0) open_missing_plugins_dialog(missing, static_cast<int16>(count), 2);
}

static boolean read_recorded_setup(int32 handle, recording_file_header *header)
{
	if (!tag_file_read(handle, 0, sizeof(*header), header)) return FALSE;
	byte_swap_recording_file_header(header);
	return header->version >= 1 && header->version <= RECORDING_VERSION && setup_is_sound(&header->game);
}

static int32 count_missing_plugins(const new_game_data *setup)
{
	int16 indexes[MAXIMUM_ENCODED_PLUGINS];
	int16 count = 0;
	char missing[256];
	missing[0] = 0;
	tag_file_plugins_decode(indexes, &count, setup->parameters.plugin_data, MAXIMUM_PLUGIN_DATA_SIZE, missing,
		sizeof(missing));
	return missing[0] ? 1 : 0;
}

// The load dialog: the subgroup of the chosen saved game, or NONE.
file_tag select_game_to_load_dialog(void)
{
	dialog_data *dialog = new_dialog(STANDARD_GET_SAVEGAME_TAG, NULL, NULL, 0, 0);
	if (!dialog) return static_cast<file_tag>(NONE);
	set_dialog_background(dialog, try_and_get_collection_index(LOAD_DIALOG_BACKGROUND_TAG), 0);
	append_tags_to_tag_list(dialog, iSAVED_GAMES_LIST, SAVED_GAME_GROUP_TAG, valid_replay_or_save_version);
	bitmap_set_listbox_doubleclick_itemhit(dialog, iSAVED_GAMES_LIST, iLOAD_GAME);
	if (bitmap_get_listbox_row_count(dialog, iSAVED_GAMES_LIST) > 0) bitmap_select_list_item(dialog, iSAVED_GAMES_LIST, 0);

	file_tag result = static_cast<file_tag>(NONE);
	for (;;)
	{
		const int32 selected = get_tag_list_selected_header(dialog, iSAVED_GAMES_LIST);
		bitmap_set_item_enabled(dialog, iLOAD_GAME, selected != NONE);
		bitmap_set_item_enabled(dialog, iDELETE_GAME, selected != NONE);
		set_snapshot_item_tag_header(dialog, iSNAPSHOT, selected);
		set_bitmap_dialog_static_item_text(dialog, iDATE, selected != NONE ? get_tag_modification_date(selected) : "");

		const int16 item_hit = modal_dialog(dialog);
		if (item_hit == iCANCEL_LOAD || item_hit == NONE) break;
		if (item_hit == iLOAD_GAME && selected != NONE)
		{
			recording_file_header header;
			if (!read_recorded_setup(selected, &header)) continue;
			if (count_missing_plugins(&header.game) > 0)
			{
				show_missing_plugins(&header.game);
				continue;
			}
			result = tag_file_get_header_subgroup(selected);
			break;
		}
		if (item_hit == iDELETE_GAME && selected != NONE &&
			sure_you_want_to_delete(selected, SAVED_GAME_GROUP_TAG) == 1)
		{
			const int32 row = bitmap_get_listbox_value(dialog, iSAVED_GAMES_LIST);
			tag_file_delete(selected);
			bitmap_empty_list(dialog, iSAVED_GAMES_LIST);
			append_tags_to_tag_list(dialog, iSAVED_GAMES_LIST, SAVED_GAME_GROUP_TAG, valid_replay_or_save_version);
			const int32 count = bitmap_get_listbox_row_count(dialog, iSAVED_GAMES_LIST);
			if (count > 0) bitmap_select_list_item(dialog, iSAVED_GAMES_LIST, PIN(row - 1, 0, count - 1));
		}
	}
	dispose_dialog(dialog);
	return result;
}

boolean continue_saved_game(new_game_data *setup, int32 *end_time, observer_location *observer, fixed *zoom,
	cached_line *lines, int16 *line_count)
{
	recording_globals_data *r = recording_globals;
	if (!r) return FALSE;
	const file_tag subgroup = select_game_to_load_dialog();
	if (subgroup == static_cast<file_tag>(NONE)) return FALSE;
	const int32 handle = tag_file_open(SAVED_GAME_GROUP_TAG, subgroup);
	if (handle != NONE) copy_name(r->last_save_game_name, sizeof(r->last_save_game_name), tag_file_name_get(handle));
	return restore_saved_game_tag(subgroup, setup, end_time, observer, zoom, lines, line_count);
}

boolean revert_to_last_saved_game(new_game_data *setup, int32 *end_time, observer_location *observer, fixed *zoom,
	cached_line *lines, int16 *line_count)
{
	if (!could_revert_to_last_saved_game())
	{
		change_single_player_map(static_cast<file_tag>(NONE), 0);
		return FALSE;
	}
	return restore_saved_game_tag(recording_globals->last_save_game_tag, setup, end_time, observer, zoom, lines,
		line_count);
}

boolean could_revert_to_last_saved_game(void)
{
	recording_globals_data *r = recording_globals;
	return r && r->last_save_game_tag != static_cast<file_tag>(NONE) &&
		tag_file_open(SAVED_GAME_GROUP_TAG, r->last_save_game_tag) != NONE;
}

void reset_last_saved_game(void)
{
	if (!recording_globals) return;
	recording_globals->last_save_game_tag = static_cast<file_tag>(NONE);
	recording_globals->last_save_game_name[0] = 0;
}

/* ---------- the film dialog */

static boolean film_map_is_available(const recording_file_header *header)
{
	return get_mesh_display_name_in_plugin_list(header->game.parameters.scenario_tag, nullptr, 0,
		header->game.parameters.plugin_data, MAXIMUM_PLUGIN_DATA_SIZE);
}

// What a person would choose: the last game when it can be replayed, else the
// selected film. Nobody answers a dialog that reopened by itself.
static void set_replay_dialog_default(dialog_data *dialog, boolean last_playable, boolean film_startable)
{
	int16 item = NONE;
	if (recording_globals->replay_dialog_attended)
	{
		if (last_playable) item = iREPLAY_LAST_GAME;
		else if (film_startable) item = iBEGIN_REPLAY;
	}
	set_default_dialog_item(dialog, item);
}

void setup_replay_dialog_to_match_header(dialog_data *dialog)
{
	recording_globals_data *r = recording_globals;
	const int32 last = get_last_recording_handle();
	recording_file_header header;
	const boolean last_playable = last != NONE && read_recorded_setup(last, &header) && film_map_is_available(&header);
	bitmap_set_item_enabled(dialog, iREPLAY_LAST_GAME, last_playable);
	bitmap_set_item_enabled(dialog, iSAVE_LAST_REPLAY, last_playable);

	const int32 selected = get_tag_list_selected_header(dialog, iRECORDINGS_TO_GET_LIST);
	const boolean chosen = selected != NONE && read_recorded_setup(selected, &header);
	bitmap_set_item_enabled(dialog, iGAME_PANEL, chosen);
	bitmap_set_item_enabled(dialog, iREPLAY_PLAYER_LIST, chosen);
	bitmap_set_item_enabled(dialog, iDELETE_REPLAY, chosen);
	bitmap_set_item_enabled(dialog, iRENAME_REPLAY, chosen && selected != last);
	clear_player_list(dialog, iREPLAY_PLAYER_LIST);
	if (!chosen)
	{
		bitmap_set_item_enabled(dialog, iBEGIN_REPLAY, FALSE);
		set_replay_dialog_default(dialog, last_playable, FALSE);
		return;
	}
	set_game_control_description(dialog, iGAME_PANEL, &header.game.parameters);
	set_game_graphic_is_replay(dialog, iGAME_PANEL, TRUE);
	if (header.game.parameters.type == _game_type_networked)
	{
		for (int16 i = 0; i < PIN(header.game.player_count, 0, MAXIMUM_PLAYERS_PER_MAP); ++i)
		{
			add_player_to_list(dialog, iREPLAY_PLAYER_LIST, &header.game.players[i]);
		}
	}
	const boolean missing = count_missing_plugins(&header.game) > 0;
	if (film_map_is_available(&header))
	{
		set_button_control_name(dialog, iBEGIN_REPLAY, missing ? "Find Plugins" : r->begin_replay_button_name);
		bitmap_set_item_enabled(dialog, iBEGIN_REPLAY, TRUE);
	}
	else
	{
		set_button_control_name(dialog, iBEGIN_REPLAY, "Find Plugins");
		bitmap_set_item_enabled(dialog, iBEGIN_REPLAY, missing);
	}
	set_replay_dialog_default(dialog, last_playable, film_map_is_available(&header) && !missing);
}

static void refill_replay_list(dialog_data *dialog, int32 row)
{
	bitmap_empty_list(dialog, iRECORDINGS_TO_GET_LIST);
	append_tags_to_tag_list(dialog, iRECORDINGS_TO_GET_LIST, RECORDING_GROUP_TAG, valid_replay_or_save_version);
	const int32 count = bitmap_get_listbox_row_count(dialog, iRECORDINGS_TO_GET_LIST);
	if (count > 0 && row != NONE) bitmap_select_list_item(dialog, iRECORDINGS_TO_GET_LIST, PIN(row, 0, count - 1));
	setup_replay_dialog_to_match_header(dialog);
}

static boolean run_replay_manager(new_game_data *setup)
{
	recording_globals_data *r = recording_globals;
	if (!r || !setup) return FALSE;
	dialog_data *dialog = new_dialog(STANDARD_GET_REPLAY_TAG, NULL, NULL, 0, 0);
	if (!dialog) return FALSE;
	set_dialog_background(dialog, try_and_get_collection_index(REPLAY_DIALOG_BACKGROUND_TAG), 0);
	bitmap_set_list_maximum_row_count(dialog, iRECORDINGS_TO_GET_LIST, MAXIMUM_REPLAY_LIST_ROWS);
	bitmap_set_listbox_doubleclick_itemhit(dialog, iRECORDINGS_TO_GET_LIST, iBEGIN_REPLAY);
	get_button_control_name(dialog, iBEGIN_REPLAY, r->begin_replay_button_name, sizeof(r->begin_replay_button_name));
	for (int16 item : {static_cast<int16>(iREPLAY_HELP_TEXT), static_cast<int16>(iREPLAY_HELP_TEXT_2)})
	{
		rectangle2d bounds;
		get_dialog_item_bounds(dialog, item, &bounds);
		bounds.bottom -= 16;
		set_dialog_item_bounds(dialog, item, &bounds);
	}
	refill_replay_list(dialog, r->last_replay_row == NONE ? 0 : r->last_replay_row);

	boolean started = FALSE;
	for (;;)
	{
		const int16 item_hit = modal_dialog(dialog);
		const int32 selected = get_tag_list_selected_header(dialog, iRECORDINGS_TO_GET_LIST);
		const int32 row = bitmap_get_listbox_value(dialog, iRECORDINGS_TO_GET_LIST);
		if (item_hit == iCANCEL_REPLAY || item_hit == NONE) break;
		switch (item_hit)
		{
		case iBEGIN_REPLAY:
		{
			recording_file_header header;
			if (selected == NONE || !read_recorded_setup(selected, &header)) break;
			char name[64];
			get_button_control_name(dialog, iBEGIN_REPLAY, name, sizeof(name));
			if (strcmp(name, r->begin_replay_button_name) != 0 && count_missing_plugins(&header.game) > 0)
			{
				show_missing_plugins(&header.game);
				break;
			}
			started = enter_replay_immediately(tag_file_get_header_subgroup(selected), setup);
			if (started) r->last_replay_row = row;
			break;
		}
		case iREPLAY_LAST_GAME:
		{
			const int32 last = get_last_recording_handle();
			if (last != NONE) started = enter_replay_immediately(tag_file_get_header_subgroup(last), setup);
			break;
		}
		case iSAVE_LAST_REPLAY:
		{
			int32 saved = NONE;
			if (save_last_replay(nullptr, &saved))
			{
				refill_replay_list(dialog, row);
				for (int32 i = 0; i < bitmap_get_listbox_row_count(dialog, iRECORDINGS_TO_GET_LIST); ++i)
				{
					const dialog_list_row *list_row = get_dialog_list_row(dialog, iRECORDINGS_TO_GET_LIST, i);
					if (list_row && list_row->identifier == saved) bitmap_select_list_item(dialog, iRECORDINGS_TO_GET_LIST, i);
				}
				setup_replay_dialog_to_match_header(dialog);
			}
			break;
		}
		case iDELETE_REPLAY:
			if (selected != NONE && sure_you_want_to_delete(selected, RECORDING_GROUP_TAG) == 1)
			{
				tag_file_delete(selected);
				refill_replay_list(dialog, row > 0 ? row - 1 : 0);
			}
			break;
		case iRENAME_REPLAY:
			if (selected != NONE && selected != get_last_recording_handle())
			{
				bitmap_rename_tag(selected, "Rename Film:", RECORDING_GROUP_TAG);
				refill_replay_list(dialog, row);
			}
			break;
		case iRECORDINGS_TO_GET_LIST:
			setup_replay_dialog_to_match_header(dialog);
			break;
		default:
			break;
		}
		if (started) break;
	}
	dispose_dialog(dialog);
	tag_file_plugin_close_temporary();
	return started;
}

boolean replay_manager(new_game_data *setup)
{
	if (!recording_globals) return FALSE;
	recording_globals->replay_dialog_attended = TRUE;
	const boolean started = run_replay_manager(setup);
	recording_globals->replay_dialog_attended = FALSE;
	return started;
}

boolean reopen_replay_manager(new_game_data *setup)
{
	if (!recording_globals) return FALSE;
	recording_globals->replay_dialog_attended = FALSE;
	return run_replay_manager(setup);
}
