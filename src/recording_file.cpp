#include "recording_file.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "CoreLibrary/zerv/commands.h"

int32 save_game_snapshot_pixel_bytes(int16 width, int16 height, int16 encoding)
{
	if (width <= 0 || height <= 0) return 0;
	return static_cast<int32>(width) * height * (encoding == SAVE_GAME_SNAPSHOT_ENCODING ? 4 : 2);
}

void byte_swap_recording_file_header(recording_file_header *header)
{
	byte_swap_data("recording file header", header, sizeof(*header), 1, recording_file_header_byte_swapping_data);
	byte_swap_new_game_data(&header->game);
}

void byte_swap_recording_block_header(recording_block_header *header)
{
	byte_swap_data("recording block header", header, sizeof(*header), 1, recording_block_header_byte_swapping_data);
}

void byte_swap_save_game_header(save_game_header *header)
{
	byte_swap_data("save game header", header, sizeof(*header), 1, save_game_header_byte_swapping_data);
}

void byteswap_snapshot_data(void *pixels, int16 width, int16 height, int16 encoding)
{
	if (!pixels || width <= 0 || height <= 0) return;
	const int32 count = static_cast<int32>(width) * height;
	byte_swap_memory("snapshot", pixels, count, encoding == SAVE_GAME_SNAPSHOT_ENCODING ? _4byte : _2byte);
}

void build_recording_file_header(recording_file_header *header, int16 type, const new_game_data *game,
	int32 ending_time, int32 initializers_length, int32 placement_length, int32 snapshot_length)
{
	memset(header, 0, sizeof(*header));
	header->version = RECORDING_VERSION;
	header->type = type;
	header->recording_ending_time = ending_time;
	header->snapshot_offset = RECORDING_FILE_HEADER_SIZE;
	header->snapshot_length = snapshot_length;
	header->monster_initializers_offset = header->snapshot_offset + snapshot_length;
	header->monster_initializers_length = initializers_length;
	header->monster_placement_offset = header->monster_initializers_offset + initializers_length;
	header->monster_placement_length = placement_length;
	header->data_offset = header->monster_placement_offset + placement_length;

	const int16 count = PIN(game->player_count, 0, MAXIMUM_PLAYERS_PER_MAP);
	header->game.parameters = game->parameters;
	header->game.player_count = game->player_count;
	header->game.local_player_index = game->local_player_index;
	memcpy(header->game.players, game->players, sizeof(new_player_data) * static_cast<size_t>(count));
}

static boolean fail(char *error, int32 error_size, const char *format, ...) ATTRIBUTE_PRINTF(3, 4);

static boolean fail(char *error, int32 error_size, const char *format, ...)
{
	if (error && error_size > 0)
	{
		va_list arguments;
		va_start(arguments, format);
		vsnprintf(error, static_cast<size_t>(error_size), format, arguments);
		va_end(arguments);
	}
	return FALSE;
}

boolean validate_recording_block(const recording_block_header *block, const uint8 *data, int16 player_count,
	char *error, int32 error_size, int32 *last_command_time)
{
	if (block->size < 0 || block->size > RECORDING_BUFFER_SIZE)
	{
		return fail(error, error_size, "block size %d is outside 0..%d", block->size, RECORDING_BUFFER_SIZE);
	}
	if (block->command_count < 0 || block->command_count > block->size / static_cast<int16>(sizeof(command_header)))
	{
		return fail(error, error_size, "block command_count %d is outside 0..%d", block->command_count,
			block->size / static_cast<int16>(sizeof(command_header)));
	}
	int32 offset = 0;
	for (int16 i = 0; i < block->command_count; ++i)
	{
		command_header command;
		const int32 left = block->size - offset;
		if (left < static_cast<int32>(sizeof(command)))
		{
			return fail(error, error_size, "command %d of the block has no room for its header", i);
		}
		memcpy(&command, data + offset, sizeof(command));
		byte_swap_command_header(&command);
		if (!command_framing_is_valid(&command, left))
		{
			return fail(error, error_size, "command %d of the block has a bad size (%d of %d bytes left)", i,
				command.size, left);
		}
		if (command.verb >= NUMBER_OF_COMMAND_VERBS)
		{
			return fail(error, error_size, "command %d of the block has an unknown verb (%d)", i, command.verb);
		}
		if (command.player_index != NO_COMMAND_PLAYER && command.player_index >= player_count)
		{
			return fail(error, error_size, "command %d of the block names player %d of %d", i, command.player_index,
				player_count);
		}
		if (last_command_time) *last_command_time = command.time;
		offset += command.size;
	}
	if (offset != block->size)
	{
		return fail(error, error_size, "the block's commands take %d of its %d bytes", offset, block->size);
	}
	return TRUE;
}

// The checks of the fields of a header read in host order.
static boolean validate_header(const recording_file_header *header, int32 size, int16 expected_type, const char *name,
	char *error, int32 error_size)
{
	if (header->version < 1)
	{
		return fail(error, error_size, "recording '%s' has a bad version (%d)", name, header->version);
	}
	if (header->version > RECORDING_VERSION)
	{
		return fail(error, error_size, "recording '%s' is too new. (%d <= %d)", name, header->version, RECORDING_VERSION);
	}
	if (header->type != expected_type)
	{
		return fail(error, error_size, "recording '%s' has type %d where %d belongs", name, header->type, expected_type);
	}
	if (header->snapshot_offset != RECORDING_FILE_HEADER_SIZE)
	{
		return fail(error, error_size, "recording '%s' has a bad snapshot_offset (%d)", name, header->snapshot_offset);
	}
	if (header->recording_ending_time < 0)
	{
		return fail(error, error_size, "recording '%s' has a bad recording_ending_time (%d)", name,
			header->recording_ending_time);
	}
	const int64 initializers_offset = static_cast<int64>(RECORDING_FILE_HEADER_SIZE) + header->snapshot_length;
	if (header->monster_initializers_offset != initializers_offset)
	{
		return fail(error, error_size, "recording '%s' has a bad monster_initializers_offset (%d)", name,
			header->monster_initializers_offset);
	}
	if (header->monster_initializers_length < 0 || header->monster_initializers_length > MAXIMUM_MONSTER_INITIALIZERS_LENGTH ||
		header->monster_initializers_length % MONSTER_INITIALIZER_SIZE != 0)
	{
		return fail(error, error_size, "recording '%s' has a bad monster_initializers_length (%d)", name,
			header->monster_initializers_length);
	}
	const int64 placement_offset = initializers_offset + header->monster_initializers_length;
	if (header->monster_placement_offset != placement_offset)
	{
		return fail(error, error_size, "recording '%s' has a bad monster_placement_offset (%d)", name,
			header->monster_placement_offset);
	}
	if (header->monster_placement_length < 0)
	{
		return fail(error, error_size, "recording '%s' has a bad monster_placement_length (%d)", name,
			header->monster_placement_length);
	}
	const int64 data_offset = placement_offset + header->monster_placement_length;
	if (header->data_offset != data_offset || data_offset > size)
	{
		return fail(error, error_size, "recording '%s' has a bad data_offset (%d of %d bytes)", name, header->data_offset,
			size);
	}
	const new_game_data *game = &header->game;
	if (game->parameters.type != _game_type_networked && game->parameters.type != _game_type_local)
	{
		return fail(error, error_size, "recording '%s' has a bad game type (%d)", name, game->parameters.type);
	}
	if (!setup_is_sound(game))
	{
		return fail(error, error_size, "recording '%s' has a damaged game setup (%d players)", name, game->player_count);
	}
	return TRUE;
}

static boolean validate_save_game_header(save_game_header *header, int32 snapshot_length, const char *name,
	char *error, int32 error_size)
{
	if (snapshot_length != SAVE_GAME_HEADER_SIZE)
	{
		const int32 pixels = save_game_snapshot_pixel_bytes(SAVE_GAME_SNAPSHOT_WIDTH, SAVE_GAME_SNAPSHOT_HEIGHT,
			header->encoding);
		if (header->snapshot_width != SAVE_GAME_SNAPSHOT_WIDTH || header->snapshot_height != SAVE_GAME_SNAPSHOT_HEIGHT ||
			snapshot_length != SAVE_GAME_HEADER_SIZE + pixels)
		{
			return fail(error, error_size, "saved game '%s' has a bad snapshot_length (%d for %dx%d, encoding %d)", name,
				snapshot_length, header->snapshot_width, header->snapshot_height, header->encoding);
		}
	}
	if (header->cached_console_line_count < 0 || header->cached_console_line_count > MAXIMUM_CACHED_CONSOLE_LINES)
	{
		return fail(error, error_size, "saved game '%s' has a bad cached_console_line_count (%d)", name,
			header->cached_console_line_count);
	}
	for (int32 i = 0; i < MAXIMUM_CACHED_CONSOLE_LINES; ++i)
	{
		cached_line *line = &header->cached_console_text[i];
		if (i < header->cached_console_line_count && line->owner_player_index != NONE &&
			(line->owner_player_index < 0 || line->owner_player_index >= MAXIMUM_PLAYERS_PER_MAP))
		{
			return fail(error, error_size, "saved game '%s' has a console line of player %d", name,
				line->owner_player_index);
		}
		line->text[CACHED_CONSOLE_LINE_LENGTH - 1] = 0;
	}
	if (header->zoom_factor <= 0)
	{
		return fail(error, error_size, "saved game '%s' has a bad zoom_factor (%d)", name, header->zoom_factor);
	}
	return TRUE;
}

boolean validate_recording_data(const void *data, int32 size, int16 expected_type, const char *name,
	recording_file_summary *summary, char *error, int32 error_size)
{
	const uint8 *bytes = static_cast<const uint8 *>(data);
	recording_file_summary local;
	recording_file_summary *s = summary ? summary : &local;
	memset(s, 0, sizeof(*s));
	s->last_command_time = NONE;
	if (!name) name = "";
	if (error && error_size > 0) error[0] = 0;

	if (!bytes || size < RECORDING_FILE_HEADER_SIZE)
	{
		return fail(error, error_size, "couldn't read the header for recording '%s'", name);
	}
	memcpy(&s->header, bytes, sizeof(s->header));
	byte_swap_recording_file_header(&s->header);
	recording_file_header *header = &s->header;
	if (!validate_header(header, size, expected_type, name, error, error_size)) return FALSE;
	// Only the used player records are stored; the rest must not carry anything in.
	for (int16 i = header->game.player_count; i < MAXIMUM_PLAYERS_PER_MAP; ++i)
	{
		memset(&header->game.players[i], 0, sizeof(header->game.players[i]));
	}

	if (expected_type == _saved_game_recording_type)
	{
		if (header->snapshot_length < SAVE_GAME_HEADER_SIZE)
		{
			return fail(error, error_size, "saved game '%s' has a bad snapshot_length (%d)", name, header->snapshot_length);
		}
		memcpy(&s->save_header, bytes + header->snapshot_offset, sizeof(s->save_header));
		byte_swap_save_game_header(&s->save_header);
		if (!validate_save_game_header(&s->save_header, header->snapshot_length, name, error, error_size)) return FALSE;
	}
	else if (header->snapshot_length != 0)
	{
		return fail(error, error_size, "recording '%s' has a bad snapshot_length (%d)", name, header->snapshot_length);
	}

	int32 offset = header->data_offset;
	s->playable_end = offset;
	char reason[256];
	for (;;)
	{
		const int32 left = size - offset;
		if (left == 0) break;
		if (left < RECORDING_BLOCK_HEADER_SIZE)
		{
			s->torn = TRUE;
			break;
		}
		recording_block_header block;
		memcpy(&block, bytes + offset, sizeof(block));
		byte_swap_recording_block_header(&block);
		if (block.size >= 0 && block.size <= RECORDING_BUFFER_SIZE && block.size > left - RECORDING_BLOCK_HEADER_SIZE)
		{
			s->torn = TRUE;
			break;
		}
		int32 last_time = s->last_command_time;
		if (!validate_recording_block(&block, bytes + offset + RECORDING_BLOCK_HEADER_SIZE,
				header->game.player_count, reason, sizeof(reason), &last_time))
		{
			return fail(error, error_size, "recording '%s' at offset %d: %s", name, offset, reason);
		}
		s->last_command_time = last_time;
		s->block_count += 1;
		s->command_count += block.command_count;
		offset += RECORDING_BLOCK_HEADER_SIZE + block.size;
		s->playable_end = offset;
		if (block.flags & _block_header_last_flag)
		{
			s->has_last_block = TRUE;
			break;
		}
	}
	if (!s->has_last_block)
	{
		s->torn = TRUE;
		if (expected_type == _saved_game_recording_type)
		{
			return fail(error, error_size, "saved game '%s' ends without its last block", name);
		}
	}
	return TRUE;
}
