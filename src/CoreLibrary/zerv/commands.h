// Commands: the self-describing records that carry every order through the
// game, their header swap and the incoming queue.
#ifndef COMMANDS_H
#define COMMANDS_H

#include "cseries.h"
#include "byte_swapping.h"

enum // verbs
{
	_command_null,
	_command_sync,
	_command_general,
	_command_movement,
	_command_target,
	_command_attack_location,
	_command_pick_up,
	_command_rename,
	_command_rotation,
	_command_drop_player,
	_command_chat,
	_command_detach,
	_command_unit_adjustment,
	_command_sketch,
	_command_ally,
	_command_preset_selection,
	_command_sync_formation,
	_command_inventory,
	_command_inventory_drop,
	_command_inventory_prev,
	_command_inventory_next,
	NUMBER_OF_COMMAND_VERBS
};

#define MAXIMUM_COMMAND_SIZE 4096
#define INCOMING_QUEUE_BUFFER_SIZE 12288
#define OUTGOING_QUEUE_BUFFER_SIZE 2048

// 8 bytes at the head of every command; the payload follows.
struct command_header
{
	int16 size; // header included
	int8 verb;
	uint8 player_index; // 255 while unset
	int32 time;
};
STORED_SIZE(command_header, 8);

inline constexpr byte_swap_code command_header_byte_swapping_data[] =
{
	_begin_bs_array, 1,
	_2byte, 2, _4byte,
	_end_bs_array
};
static_assert(get_byte_swap_struct_size(command_header_byte_swapping_data) == sizeof(command_header));

void byte_swap_command_header(command_header *command);
// A host-order header whose size lies within 8..4096 and within the bytes
// available from its start.
boolean command_framing_is_valid(const command_header *command, int32 bytes_available);

boolean queue_incoming_command(command_header *command);
int32 free_space_in_incoming_queue(void);

#endif
