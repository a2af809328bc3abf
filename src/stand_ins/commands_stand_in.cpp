// The command queues are not built yet: the incoming queue takes every
// command and holds none of them.
#include "CoreLibrary/zerv/commands.h"

void byte_swap_command_header(command_header *command)
{
	byte_swap_data("command header", command, sizeof(command_header), 1, command_header_byte_swapping_data);
}

boolean command_framing_is_valid(const command_header *command, int32 bytes_available)
{
	return command && command->size >= static_cast<int16>(sizeof(command_header)) && command->size <= MAXIMUM_COMMAND_SIZE &&
		command->size <= bytes_available;
}

boolean queue_incoming_command(command_header *) { return TRUE; }

int32 free_space_in_incoming_queue(void) { return INCOMING_QUEUE_BUFFER_SIZE - MAXIMUM_COMMAND_SIZE; }
