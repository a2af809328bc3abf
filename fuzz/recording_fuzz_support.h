// What the film and saved-game targets share: the walk a replay or a restore
// makes over a file that passed the whole-file check.
#ifndef RECORDING_FUZZ_SUPPORT_H
#define RECORDING_FUZZ_SUPPORT_H

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "CoreLibrary/zerv/commands.h"
#include "recording_file.h"

namespace recording_fuzz
{
inline void check(bool condition)
{
	if (!condition) std::abort();
}

// What the replay reads of a file that passed: every block within the
// readable end, every command within its block.
inline void walk_blocks(const uint8_t *data, int32 size, const recording_file_summary *summary)
{
	check(summary->header.data_offset >= RECORDING_FILE_HEADER_SIZE);
	check(summary->playable_end >= summary->header.data_offset && summary->playable_end <= size);
	int32 offset = summary->header.data_offset;
	int32 blocks = 0;
	int32 commands = 0;
	while (offset + RECORDING_BLOCK_HEADER_SIZE <= summary->playable_end)
	{
		recording_block_header block;
		memcpy(&block, data + offset, sizeof(block));
		byte_swap_recording_block_header(&block);
		check(block.size >= 0 && block.size <= RECORDING_BUFFER_SIZE);
		check(offset + RECORDING_BLOCK_HEADER_SIZE + block.size <= summary->playable_end);
		int32 inside = 0;
		for (int16 i = 0; i < block.command_count; ++i)
		{
			command_header command;
			check(inside + static_cast<int32>(sizeof(command)) <= block.size);
			memcpy(&command, data + offset + RECORDING_BLOCK_HEADER_SIZE + inside, sizeof(command));
			byte_swap_command_header(&command);
			check(command.size >= static_cast<int16>(sizeof(command)) && inside + command.size <= block.size);
			check(command.verb < NUMBER_OF_COMMAND_VERBS);
			check(command.player_index == 255 || command.player_index < summary->header.game.player_count);
			inside += command.size;
		}
		check(inside == block.size);
		commands += block.command_count;
		blocks += 1;
		offset += RECORDING_BLOCK_HEADER_SIZE + block.size;
		if (block.flags & _block_header_last_flag) break;
	}
	check(blocks == summary->block_count && commands == summary->command_count);
	for (int16 i = summary->header.game.player_count; i < MAXIMUM_PLAYERS_PER_MAP; ++i)
	{
		check(summary->header.game.players[i].unique_identifier == 0);
	}
}
}


#endif
