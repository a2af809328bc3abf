// The stored form of films and saved games, and the check a whole file
// passes before any of it is replayed. Shared by the game and the fuzz
// targets, so nothing here touches the tag files or the game.
#ifndef RECORDING_FILE_H
#define RECORDING_FILE_H

#include "cseries.h"
#include "byte_swapping.h"
#include "zerv.h"
#include "observer.h"
#include "console/console.h"

#define RECORDING_VERSION 3
#define RECORDING_BUFFER_SIZE 2048
#define SAVE_GAME_SNAPSHOT_WIDTH 160
#define SAVE_GAME_SNAPSHOT_HEIGHT 120
#define SAVE_GAME_SNAPSHOT_ENCODING 2
#define MONSTER_INITIALIZER_SIZE 40
#define MAXIMUM_MONSTER_INITIALIZERS_LENGTH 16000

enum // recording types
{
	_normal_recording_type,
	_saved_game_recording_type,
	NUMBER_OF_RECORDING_TYPES
};

enum // block header flags
{
	_block_header_last_bit,
	NUMBER_OF_BLOCK_HEADER_FLAGS,

	_block_header_last_flag = FLAG(_block_header_last_bit)
};

// 2600 bytes at the start of every film and saved game; big-endian there.
struct recording_file_header
{
	int16 version;
	int16 type;
	int32 data_offset;
	int32 recording_ending_time;
	int32 snapshot_offset;
	int32 snapshot_length;
	int32 monster_initializers_offset;
	int32 monster_initializers_length;
	int32 monster_placement_offset;
	int32 monster_placement_length;
	new_game_data game; // swapped by byte_swap_new_game_data
	uint32 public_tags_checksum;
	uint32 private_tags_checksum;
};
STORED_SIZE(recording_file_header, 2600);

inline constexpr byte_swap_code recording_file_header_byte_swapping_data[] =
{
	_begin_bs_array, 1,
	_2byte, _2byte,
	_4byte, _4byte, _4byte, _4byte, _4byte, _4byte, _4byte, _4byte,
	static_cast<byte_swap_code>(sizeof(new_game_data)),
	_4byte, _4byte,
	_end_bs_array
};
static_assert(get_byte_swap_struct_size(recording_file_header_byte_swapping_data) == sizeof(recording_file_header));

// 8 bytes in front of each block of commands.
struct recording_block_header
{
	uint32 flags;
	int16 size;
	int16 command_count;
};
STORED_SIZE(recording_block_header, 8);

inline constexpr byte_swap_code recording_block_header_byte_swapping_data[] =
{
	_begin_bs_array, 1,
	_4byte, _2byte, _2byte,
	_end_bs_array
};
static_assert(get_byte_swap_struct_size(recording_block_header_byte_swapping_data) == sizeof(recording_block_header));

// 2608 bytes at snapshot_offset of a saved game, the pixels after it.
struct save_game_header
{
	int16 snapshot_width;
	int16 snapshot_height;
	observer_location observer;
	int16 encoding;
	int16 unused_short;
	fixed zoom_factor;
	cached_line cached_console_text[MAXIMUM_CACHED_CONSOLE_LINES];
	int16 cached_console_line_count;
	int16 pad;
};
STORED_SIZE(save_game_header, 2608);

inline constexpr byte_swap_code save_game_header_byte_swapping_data[] =
{
	_begin_bs_array, 1,
	_2byte, _2byte,
	_4byte, _4byte, _2byte, 2, // observer: position, yaw, padding
	_2byte, _2byte, _4byte,
	_begin_bs_array, MAXIMUM_CACHED_CONSOLE_LINES, _2byte, CACHED_CONSOLE_LINE_LENGTH, _end_bs_array,
	_2byte, 2,
	_end_bs_array
};
static_assert(get_byte_swap_struct_size(save_game_header_byte_swapping_data) == sizeof(save_game_header));

#define RECORDING_FILE_HEADER_SIZE static_cast<int32>(sizeof(recording_file_header))
#define RECORDING_BLOCK_HEADER_SIZE static_cast<int32>(sizeof(recording_block_header))
#define SAVE_GAME_HEADER_SIZE static_cast<int32>(sizeof(save_game_header))

// Bytes of a snapshot's pixels.
int32 save_game_snapshot_pixel_bytes(int16 width, int16 height, int16 encoding);

// Host order to stored order and back (the conversion is its own inverse).
void byte_swap_recording_file_header(recording_file_header *header);
void byte_swap_recording_block_header(recording_block_header *header);
void byte_swap_save_game_header(save_game_header *header);
void byteswap_snapshot_data(void *pixels, int16 width, int16 height, int16 encoding);

// Fills a header for a film or saved game of the setup: version 3, the
// offsets and lengths in file order, only the used player records.
void build_recording_file_header(recording_file_header *header, int16 type, const new_game_data *game,
	int32 ending_time, int32 initializers_length, int32 placement_length, int32 snapshot_length);

// What a whole file holds, found by validate_recording_data (host order).
struct recording_file_summary
{
	recording_file_header header;
	save_game_header save_header; // saved games only
	int32 block_count;
	int32 command_count;
	// Where the readable blocks end: after the last-flag block, or after the
	// last complete block of a film that lacks it.
	int32 playable_end;
	boolean has_last_block;
	boolean torn; // a film cut short: it plays to its last complete block
	int32 last_command_time; // NONE without commands
};

// Checks every field and walks every block and command of the stored bytes
// of a film (type 0) or saved game (type 1). On failure the reason, naming
// the file and the field, goes to error.
boolean validate_recording_data(const void *data, int32 size, int16 expected_type, const char *name,
	recording_file_summary *summary, char *error, int32 error_size);

// The checks of the block header and its commands alone; data holds the
// block's size bytes.
boolean validate_recording_block(const recording_block_header *block, const uint8 *data, int16 player_count,
	char *error, int32 error_size, int32 *last_command_time);

#endif
