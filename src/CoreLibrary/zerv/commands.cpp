#include "commands.h"

#include <cstdio>
#include <cstring>

#include "error_manager.h"
#include "zerv.h"
#include "players.h"
#include "objects.h"
#include "recording.h"
#include "sniffing.h"

/* ---------- byte swapping */

constexpr byte_swap_code command_header_byte_swapping_data[] = {
	_begin_bs_array, 1, _2byte, 1, 1, _4byte, _end_bs_array};
constexpr byte_swap_code command_sync_data_byte_swapping_data[] = {
	_begin_bs_array, 1, _2byte, 2, _4byte, _4byte, _end_bs_array};
constexpr byte_swap_code command_general_data_byte_swapping_data[] = {
	_begin_bs_array, 1, _2byte, _2byte, _end_bs_array};
constexpr byte_swap_code command_movement_data_byte_swapping_data[] = {
	_begin_bs_array, 1, _2byte, _2byte, _2byte, 2, _end_bs_array};
constexpr byte_swap_code command_target_data_byte_swapping_data[] = {
	_begin_bs_array, 1, _2byte, _end_bs_array};
constexpr byte_swap_code command_attack_location_data_byte_swapping_data[] = {
	_begin_bs_array, 1, _2byte, 2, _4byte, _4byte, _4byte, _end_bs_array};
constexpr byte_swap_code command_pick_up_data_byte_swapping_data[] = {
	_begin_bs_array, 1, _2byte, 2, _2byte, _2byte, _end_bs_array};
constexpr byte_swap_code command_rename_data_byte_swapping_data[] = {
	_begin_bs_array, 1, _2byte, _end_bs_array};
constexpr byte_swap_code command_rotation_data_byte_swapping_data[] = {
	_begin_bs_array, 1, _2byte, _2byte, _4byte, _4byte, _end_bs_array};
constexpr byte_swap_code command_chat_data_byte_swapping_data[] = {
	_begin_bs_array, 1, _2byte, _end_bs_array};
constexpr byte_swap_code command_detach_data_byte_swapping_data[] = {
	_begin_bs_array, 1, _2byte, _2byte, _end_bs_array};
constexpr byte_swap_code command_unit_adjustment_data_byte_swapping_data[] = {
	_begin_bs_array, 1, _2byte, _end_bs_array};
constexpr byte_swap_code command_sketch_data_byte_swapping_data[] = {
	_begin_bs_array, 1, _2byte, _end_bs_array};
constexpr byte_swap_code command_ally_data_byte_swapping_data[] = {
	_begin_bs_array, 1, _2byte, 2, _2byte, _2byte, _end_bs_array};
constexpr byte_swap_code command_preset_selection_data_byte_swapping_data[] = {
	_begin_bs_array, 1, _2byte, _2byte, _end_bs_array};
constexpr byte_swap_code command_sync_formation_data_byte_swapping_data[] = {
	_begin_bs_array, 1,
	_2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte,
	_2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte,
	2,
	_end_bs_array};
constexpr byte_swap_code command_inventory_data_byte_swapping_data[] = {
	_begin_bs_array, 1, _2byte, _2byte, _end_bs_array};
constexpr byte_swap_code command_int16_byte_swapping_data[] = {
	_begin_bs_array, 1, _2byte, _end_bs_array};
constexpr byte_swap_code sketch_point2d_byte_swapping_data[] = {
	_begin_bs_array, 1, 2, _end_bs_array};

static_assert(get_byte_swap_struct_size(command_header_byte_swapping_data) == sizeof(command_header));
static_assert(get_byte_swap_struct_size(command_sync_data_byte_swapping_data) == sizeof(command_sync_data));
static_assert(get_byte_swap_struct_size(command_general_data_byte_swapping_data) == sizeof(command_general_data));
static_assert(get_byte_swap_struct_size(command_movement_data_byte_swapping_data) == sizeof(command_movement_data));
static_assert(get_byte_swap_struct_size(command_target_data_byte_swapping_data) == sizeof(command_target_data));
static_assert(get_byte_swap_struct_size(command_attack_location_data_byte_swapping_data) ==
	sizeof(command_attack_location_data));
static_assert(get_byte_swap_struct_size(command_pick_up_data_byte_swapping_data) == sizeof(command_pick_up_data));
static_assert(get_byte_swap_struct_size(command_rename_data_byte_swapping_data) == sizeof(command_rename_data));
static_assert(get_byte_swap_struct_size(command_rotation_data_byte_swapping_data) == sizeof(command_rotation_data));
static_assert(get_byte_swap_struct_size(command_chat_data_byte_swapping_data) == sizeof(command_chat_data));
static_assert(get_byte_swap_struct_size(command_detach_data_byte_swapping_data) == sizeof(command_detach_data));
static_assert(get_byte_swap_struct_size(command_unit_adjustment_data_byte_swapping_data) ==
	sizeof(command_unit_adjustment_data));
static_assert(get_byte_swap_struct_size(command_sketch_data_byte_swapping_data) == sizeof(command_sketch_data));
static_assert(get_byte_swap_struct_size(command_ally_data_byte_swapping_data) == sizeof(command_ally_data));
static_assert(get_byte_swap_struct_size(command_preset_selection_data_byte_swapping_data) ==
	sizeof(command_preset_selection_data));
static_assert(get_byte_swap_struct_size(command_sync_formation_data_byte_swapping_data) ==
	sizeof(command_sync_formation_data));
static_assert(get_byte_swap_struct_size(command_inventory_data_byte_swapping_data) == sizeof(command_inventory_data));
static_assert(get_byte_swap_struct_size(command_int16_byte_swapping_data) == sizeof(int16));
static_assert(get_byte_swap_struct_size(sketch_point2d_byte_swapping_data) == sizeof(sketch_point2d));

/* ---------- header access */

void command_read_header(const void *command, command_header *header)
{
	memcpy(header, command, sizeof(command_header));
}

void command_write_header(void *command, const command_header *header)
{
	memcpy(command, header, sizeof(command_header));
}

void byte_swap_command_header(void *command)
{
	byte_swap_data("command_header", command, sizeof(command_header), 1, command_header_byte_swapping_data);
}

static int16 command_size_of(const void *command)
{
	command_header header;
	command_read_header(command, &header);
	return header.size;
}

/* ---------- codec */

static void codec_set_size(command_codec_state *state)
{
	command_header header;
	command_read_header(state->header, &header);
	header.size = static_cast<int16>(state->offset);
	command_write_header(state->header, &header);
}

void command_encode_new(command_codec_state *state, void *buffer, int16 verb)
{
	command_header header;

	header.size = sizeof(command_header);
	header.verb = static_cast<uint8>(verb);
	header.player_index = NO_COMMAND_PLAYER;
	header.time = 0;
	state->header = static_cast<uint8 *>(buffer);
	state->offset = sizeof(command_header);
	state->failed = FALSE;
	command_write_header(buffer, &header);
}

// True when n more bytes fit the encoding buffer.
static boolean encode_room(command_codec_state *state, int32 n)
{
	if (state->failed || n < 0 || static_cast<int32>(state->offset) + n > MAXIMUM_COMMAND_SIZE)
	{
		state->failed = TRUE;
		return FALSE;
	}
	return TRUE;
}

void command_encode_data(command_codec_state *state, int32 size, const void *record, const byte_swap_code *codes)
{
	if (!encode_room(state, size)) return;
	uint8 *p = state->header + state->offset;
	memcpy(p, record, size);
	if (codes) byte_swap_data("command data", p, size, 1, codes);
	state->offset = static_cast<uint16>(state->offset + size);
	codec_set_size(state);
}

void command_encode_array(command_codec_state *state, int16 count, int32 element_size, const void *elements,
	const byte_swap_code *codes)
{
	const int32 n = count > 0 && element_size > 0 ? count * element_size : 0;
	if (count < 0 || !encode_room(state, 2 + n))
	{
		state->failed = TRUE;
		return;
	}
	uint8 *p = state->header + state->offset;
	p[0] = static_cast<uint8>(static_cast<uint16>(count) >> 8);
	p[1] = static_cast<uint8>(count);
	if (n > 0)
	{
		memcpy(p + 2, elements, n);
		if (codes) byte_swap_data("command array", p + 2, element_size, count, codes);
	}
	state->offset = static_cast<uint16>(state->offset + 2 + n);
	codec_set_size(state);
}

void command_encode_string(command_codec_state *state, const char *text, int32 n)
{
	int32 length = 0;
	if (text)
	{
		while (length < n && text[length]) length += 1;
	}
	if (!encode_room(state, length + 1)) return;
	uint8 *p = state->header + state->offset;
	if (length > 0) memcpy(p, text, length);
	p[length] = 0;
	state->offset = static_cast<uint16>(state->offset + length + 1);
	codec_set_size(state);
}

void command_decode_new(command_codec_state *state, void *command, int16)
{
	state->header = static_cast<uint8 *>(command);
	state->offset = sizeof(command_header);
	state->failed = FALSE;
}

// True when n more bytes lie within the command.
static boolean decode_room(command_codec_state *state, int32 n)
{
	if (state->failed || n < 0 || static_cast<int32>(state->offset) + n > command_size_of(state->header))
	{
		state->failed = TRUE;
		return FALSE;
	}
	return TRUE;
}

const void *command_decode_data(command_codec_state *state, int32 size, const byte_swap_code *codes)
{
	if (!decode_room(state, size)) return NULL;
	uint8 *p = state->header + state->offset;
	if (codes) byte_swap_data("command data", p, size, 1, codes);
	state->offset = static_cast<uint16>(state->offset + size);
	return p;
}

static int16 read_big_endian_int16(const uint8 *p)
{
	return static_cast<int16>(static_cast<uint16>((p[0] << 8) | p[1]));
}

const void *command_decode_array(command_codec_state *state, int16 *count, int32 element_size,
	const byte_swap_code *codes)
{
	*count = 0;
	if (!decode_room(state, 2)) return NULL;
	uint8 *p = state->header + state->offset;
	const int16 n = read_big_endian_int16(p);
	const int32 bytes = n > 0 && element_size > 0 ? n * element_size : 0;
	if (n < 0 || static_cast<int32>(state->offset) + 2 + bytes > command_size_of(state->header))
	{
		state->failed = TRUE;
		return NULL;
	}
	// The count is swapped in place like the rest, so the command is decoded once.
	byte_swap_memory("command count", p, 1, _2byte);
	if (bytes > 0 && codes) byte_swap_data("command array", p + 2, element_size, n, codes);
	state->offset = static_cast<uint16>(state->offset + 2 + bytes);
	*count = n;
	return bytes > 0 ? p + 2 : NULL;
}

const char *command_decode_string(command_codec_state *state, int32 n)
{
	const int32 remaining = command_size_of(state->header) - state->offset;
	if (state->failed || remaining < 1 || n < 0)
	{
		state->failed = TRUE;
		return NULL;
	}
	char *p = reinterpret_cast<char *>(state->header + state->offset);
	int32 length = 0;
	while (length < n && length < remaining && p[length]) length += 1;
	if (length >= remaining)
	{
		// No room for the NUL inside the command.
		state->failed = TRUE;
		return NULL;
	}
	p[length] = 0;
	state->offset = static_cast<uint16>(state->offset + length + 1);
	return p;
}

/* ---------- validation */

boolean command_framing_is_valid(const command_header *header, int32 bytes_available)
{
	return header->size >= static_cast<int16>(sizeof(command_header)) && header->size <= MAXIMUM_COMMAND_SIZE &&
		header->size <= bytes_available;
}

void get_command_validation_limits(command_validation_limits *limits, boolean from_stream)
{
	limits->player_count = get_player_count();
	limits->object_count = object_array.data ? object_array.maximum_count : 0;
	limits->from_stream = from_stream;
}

namespace
{
	enum // payload items
	{
		_item_end,
		_item_data,
		_item_monster_list,
		_item_points,
		_item_int16s,
		_item_sketch_points,
		_item_string
	};

	struct payload_item
	{
		int16 kind;
		int16 size; // record size, or the string's n
	};

	struct verb_layout
	{
		payload_item items[5];
	};

	const verb_layout verb_layouts[NUMBER_OF_COMMAND_VERBS] = {
		{{{_item_end, 0}}}, // null
		{{{_item_data, sizeof(command_sync_data)}, {_item_end, 0}}},
		{{{_item_data, sizeof(command_general_data)}, {_item_monster_list, 0}, {_item_end, 0}}},
		{{{_item_data, sizeof(command_movement_data)}, {_item_monster_list, 0}, {_item_points, 0}, {_item_end, 0}}},
		{{{_item_data, sizeof(command_target_data)}, {_item_monster_list, 0}, {_item_monster_list, 0},
			{_item_end, 0}}},
		{{{_item_data, sizeof(command_attack_location_data)}, {_item_monster_list, 0}, {_item_end, 0}}},
		{{{_item_data, sizeof(command_pick_up_data)}, {_item_monster_list, 0}, {_item_end, 0}}},
		{{{_item_data, sizeof(command_rename_data)}, {_item_monster_list, 0},
			{_item_string, MAXIMUM_COMMAND_NAME_LENGTH}, {_item_end, 0}}},
		{{{_item_data, sizeof(command_rotation_data)}, {_item_monster_list, 0}, {_item_end, 0}}},
		{{{_item_end, 0}}}, // drop player
		{{{_item_data, sizeof(command_chat_data)}, {_item_string, MAXIMUM_COMMAND_CHAT_LENGTH}, {_item_end, 0}}},
		{{{_item_data, sizeof(command_detach_data)}, {_item_monster_list, 0}, {_item_end, 0}}},
		{{{_item_data, sizeof(command_unit_adjustment_data)}, {_item_int16s, 0}, {_item_end, 0}}},
		{{{_item_data, sizeof(command_sketch_data)}, {_item_sketch_points, 0}, {_item_end, 0}}},
		{{{_item_data, sizeof(command_ally_data)}, {_item_end, 0}}},
		{{{_item_data, sizeof(command_preset_selection_data)}, {_item_int16s, 0}, {_item_end, 0}}},
		{{{_item_data, sizeof(command_sync_formation_data)}, {_item_end, 0}}},
		{{{_item_data, sizeof(command_inventory_data)}, {_item_monster_list, 0}, {_item_end, 0}}},
		{{{_item_data, sizeof(command_inventory_data)}, {_item_monster_list, 0}, {_item_end, 0}}},
		{{{_item_data, sizeof(command_inventory_data)}, {_item_monster_list, 0}, {_item_end, 0}}},
		{{{_item_data, sizeof(command_inventory_data)}, {_item_monster_list, 0}, {_item_end, 0}}},
	};

	int32 read_big_endian_int32(const uint8 *p)
	{
		return static_cast<int32>((static_cast<uint32>(p[0]) << 24) | (static_cast<uint32>(p[1]) << 16) |
			(static_cast<uint32>(p[2]) << 8) | p[3]);
	}

	boolean coordinate_in_range(int32 value)
	{
		return value >= -MAXIMUM_COMMAND_POINT_COORDINATE && value <= MAXIMUM_COMMAND_POINT_COORDINATE;
	}

	// Range checks on the big-endian fixed record of a verb.
	const char *check_record(int16 verb, const uint8 *record, const command_validation_limits *limits)
	{
		switch (verb)
		{
			case _command_general:
			{
				const int16 type = read_big_endian_int16(record + 2);
				if (type < 0 || type >= NUMBER_OF_GENERAL_COMMAND_TYPES) return "bad general type";
				break;
			}
			case _command_movement:
			{
				const uint16 flags = static_cast<uint16>(read_big_endian_int16(record));
				const int16 formation_index = read_big_endian_int16(record + 2);
				if ((flags & _command_movement_formation_flag) &&
					(formation_index < 0 || formation_index >= MAXIMUM_NUMBER_OF_FORMATIONS))
				{
					return "index out of range";
				}
				break;
			}
			case _command_attack_location:
				for (int32 i = 0; i < 3; ++i)
				{
					if (!coordinate_in_range(read_big_endian_int32(record + 4 + 4 * i))) return "point out of range";
				}
				break;
			case _command_pick_up:
			{
				const int16 object_index = read_big_endian_int16(record + 4);
				if (object_index != NONE && (object_index < 0 || object_index >= limits->object_count))
				{
					return "index out of range";
				}
				break;
			}
			case _command_rotation:
				if (!coordinate_in_range(read_big_endian_int32(record + 4)) ||
					!coordinate_in_range(read_big_endian_int32(record + 8)))
				{
					return "point out of range";
				}
				break;
			case _command_detach:
			{
				const int16 owner = read_big_endian_int16(record + 2);
				if (owner != NONE && (owner < 0 || owner >= limits->player_count)) return "index out of range";
				break;
			}
			case _command_preset_selection:
			{
				const int16 preset_index = read_big_endian_int16(record + 2);
				if (preset_index < 0 || preset_index > 15) return "index out of range";
				break;
			}
			case _command_sync_formation:
			{
				command_sync_formation_data data;
				memcpy(&data, record, sizeof(data));
				byte_swap_data("formation definition", &data, sizeof(data), 1,
					command_sync_formation_data_byte_swapping_data);
				if (!formation_definition_is_valid(&data.definition)) return "bad formation definition";
				break;
			}
			case _command_inventory:
			case _command_inventory_drop:
			case _command_inventory_prev:
			case _command_inventory_next:
			{
				const int16 number = read_big_endian_int16(record + 2);
				if (number < -1 || number > 8) return "index out of range";
				break;
			}
		}
		return NULL;
	}
}

boolean command_payload_is_valid(const void *command, const command_validation_limits *limits, const char **reason)
{
	command_header header;
	const char *fault = NULL;

	command_read_header(command, &header);
	const uint8 *bytes = static_cast<const uint8 *>(command);
	const int32 size = header.size;
	int32 offset = sizeof(command_header);

	if (!command_framing_is_valid(&header, size)) fault = "bad size";
	else if (header.verb >= NUMBER_OF_COMMAND_VERBS) fault = "unknown verb";
	else if (header.player_index == NO_COMMAND_PLAYER)
	{
		if (limits->from_stream && header.verb != _command_null && header.verb != _command_sync &&
			header.verb != _command_ally)
		{
			fault = "no sender";
		}
	}
	else if (header.player_index >= limits->player_count) fault = "player out of range";

	if (!fault)
	{
		for (const payload_item *item = verb_layouts[header.verb].items; !fault && item->kind != _item_end; ++item)
		{
			const int32 remaining = size - offset;
			switch (item->kind)
			{
				case _item_data:
					if (remaining < item->size) fault = "payload overruns the command";
					else
					{
						fault = check_record(header.verb, bytes + offset, limits);
						offset += item->size;
					}
					break;
				case _item_monster_list:
				case _item_points:
				case _item_int16s:
				case _item_sketch_points:
				{
					if (remaining < 2)
					{
						fault = "payload overruns the command";
						break;
					}
					const int16 count = read_big_endian_int16(bytes + offset);
					const int32 element_size = item->kind == _item_points ? 8 : 2;
					if (count < 0) fault = "negative count";
					else if (remaining - 2 < count * element_size) fault = "payload overruns the command";
					else
					{
						if (item->kind == _item_points)
						{
							for (int32 i = 0; !fault && i < 2 * count; ++i)
							{
								if (!coordinate_in_range(read_big_endian_int32(bytes + offset + 2 + 4 * i)))
								{
									fault = "point out of range";
								}
							}
						}
						offset += 2 + count * element_size;
					}
					break;
				}
				case _item_string:
				{
					int32 length = 0;
					while (length < item->size && length < remaining && bytes[offset + length]) length += 1;
					if (length >= remaining) fault = "unterminated string";
					else offset += length + 1;
					break;
				}
			}
		}
	}

	if (reason) *reason = fault;
	return fault == NULL;
}

static const byte_swap_code *const record_swaps[NUMBER_OF_COMMAND_VERBS] = {
	NULL, command_sync_data_byte_swapping_data, command_general_data_byte_swapping_data,
	command_movement_data_byte_swapping_data, command_target_data_byte_swapping_data,
	command_attack_location_data_byte_swapping_data, command_pick_up_data_byte_swapping_data,
	command_rename_data_byte_swapping_data, command_rotation_data_byte_swapping_data, NULL,
	command_chat_data_byte_swapping_data, command_detach_data_byte_swapping_data,
	command_unit_adjustment_data_byte_swapping_data, command_sketch_data_byte_swapping_data,
	command_ally_data_byte_swapping_data, command_preset_selection_data_byte_swapping_data,
	command_sync_formation_data_byte_swapping_data, command_inventory_data_byte_swapping_data,
	command_inventory_data_byte_swapping_data, command_inventory_data_byte_swapping_data,
	command_inventory_data_byte_swapping_data};

boolean command_decode_payload(void *command)
{
	command_header header;
	command_codec_state state;
	int16 count;

	command_read_header(command, &header);
	if (header.verb >= NUMBER_OF_COMMAND_VERBS) return FALSE;
	command_decode_new(&state, command, header.verb);
	for (const payload_item *item = verb_layouts[header.verb].items; item->kind != _item_end; ++item)
	{
		switch (item->kind)
		{
			case _item_data:
				if (!command_decode_data(&state, item->size, record_swaps[header.verb])) return FALSE;
				break;
			case _item_monster_list:
			case _item_int16s:
				command_decode_array(&state, &count, sizeof(int16), command_int16_byte_swapping_data);
				break;
			case _item_points:
				command_decode_array(&state, &count, sizeof(world_point2d), world_point2d_byte_swapping_data);
				break;
			case _item_sketch_points:
				command_decode_array(&state, &count, sizeof(sketch_point2d), sketch_point2d_byte_swapping_data);
				break;
			case _item_string:
				command_decode_string(&state, item->size);
				break;
		}
		if (state.failed) return FALSE;
	}
	return TRUE;
}

/* ---------- drops */

static commands_test_hooks_data commands_test_hooks;

commands_test_hooks_data *get_commands_test_hooks(void)
{
	return &commands_test_hooks;
}

static void clear_command_script(void);

void reset_commands_test_hooks(void)
{
	memset(&commands_test_hooks, 0, sizeof(commands_test_hooks));
	clear_command_script();
}

void report_dropped_command(const void *command, const char *reason)
{
	command_header header;
	command_read_header(command, &header);
	snprintf(commands_test_hooks.last_dropped_line, sizeof(commands_test_hooks.last_dropped_line),
		"dropped command #%d from player #%d for tick %d: %s", header.verb, header.player_index,
		static_cast<int>(header.time), reason);
	log_message(MODULE_NAME, __LINE__, "%s", commands_test_hooks.last_dropped_line);
	commands_test_hooks.dropped_count += 1;
	snprintf(commands_test_hooks.last_dropped_reason, sizeof(commands_test_hooks.last_dropped_reason), "%s", reason);
}

/* ---------- rings */

command_queue_data *new_command_queue(const char *name, int32 buffer_size)
{
	const size_t record_size = (sizeof(command_queue_data) + 15) & ~static_cast<size_t>(15);
	uint8 *block = static_cast<uint8 *>(new_pointer(record_size + buffer_size));
	if (!block) return NULL;
	command_queue_data *queue = reinterpret_cast<command_queue_data *>(block);
	queue->name = name;
	queue->buffer_size = buffer_size;
	queue->buffer = block + record_size;
	queue->read_offset = queue->write_offset = queue->wrap_offset = 0;
	queue->initialized = FALSE;
	memset(queue->buffer, 0, buffer_size);
	return queue;
}

void delete_command_queue(command_queue_data *queue)
{
	if (queue) dispose_pointer(queue);
}

void reset_command_queue(command_queue_data *queue)
{
	queue->read_offset = queue->write_offset = queue->wrap_offset = 0;
	queue->initialized = TRUE;
}

boolean command_queue(command_queue_data *queue, const void *command)
{
	command_header header;

	if (!queue || !command) return FALSE;
	command_read_header(command, &header);
	if (!command_framing_is_valid(&header, header.size)) return FALSE;

	const int32 s = header.size;
	const int32 b = queue->buffer_size;
	const int32 r = queue->read_offset;
	int32 w = queue->write_offset;
	boolean accept;

	if (w >= r)
	{
		if (w + s <= b) accept = b - w + r > s;
		else if (r > 0)
		{
			// A refused wrap stays: the reader finds the data up to wrap_offset.
			queue->wrap_offset = w;
			w = queue->write_offset = 0;
			accept = r > s;
		}
		else accept = FALSE;
	}
	else accept = r - w > s;

	if (!accept) return FALSE;
	memcpy(queue->buffer + w, command, s);
	queue->write_offset = w + s;
	return TRUE;
}

void *command_dequeue(command_queue_data *queue, boolean all_times, int32 now)
{
	if (!queue) return NULL;
	if (queue->read_offset > queue->write_offset && queue->read_offset >= queue->wrap_offset)
	{
		queue->read_offset = 0;
	}
	if (queue->read_offset == queue->write_offset) return NULL;

	uint8 *command = queue->buffer + queue->read_offset;
	command_header header;
	command_read_header(command, &header);
	if (!all_times && header.time > now) return NULL;
	queue->read_offset += header.size;
	return command;
}

int32 command_queue_free_space(const command_queue_data *queue)
{
	if (!queue) return 0;
	const int32 r = queue->read_offset, w = queue->write_offset;
	return r > w ? r - w : r - w + queue->buffer_size;
}

/* ---------- the two queues */

static command_queue_data *incoming_queue = NULL;
static command_queue_data *outgoing_queue = NULL;

command_queue_data *get_incoming_command_queue(void)
{
	return incoming_queue;
}

command_queue_data *get_outgoing_command_queue(void)
{
	return outgoing_queue;
}

void initialize_commands(void)
{
	delete_command_queue(incoming_queue);
	delete_command_queue(outgoing_queue);
	incoming_queue = outgoing_queue = NULL;

	incoming_queue = new_command_queue("incoming", INCOMING_QUEUE_BUFFER_SIZE);
	if (!incoming_queue)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate incoming command queues");
		return;
	}
	outgoing_queue = new_command_queue("outgoing", OUTGOING_QUEUE_BUFFER_SIZE);
	if (!outgoing_queue)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate outgoing command queues");
	}
}

void initialize_commands_for_new_map(void)
{
	if (incoming_queue) reset_command_queue(incoming_queue);
	if (outgoing_queue) reset_command_queue(outgoing_queue);
}

void dispose_commands_from_old_map(void)
{
	if (incoming_queue) incoming_queue->initialized = FALSE;
	if (outgoing_queue) outgoing_queue->initialized = FALSE;
}

// Framing is checked at every door into a ring: a bad size would loop or run
// past the buffer on the way out.
static boolean framing_accepts(const void *command)
{
	command_header header;
	command_read_header(command, &header);
	if (command_framing_is_valid(&header, header.size)) return TRUE;
	report_dropped_command(command, "bad size");
	return FALSE;
}

void queue_outgoing_command(const void *command)
{
	if (!command || !framing_accepts(command)) return;
	command_queue(outgoing_queue, command);
}

void *dequeue_outgoing_command(void)
{
	return command_dequeue(outgoing_queue, TRUE, 0);
}

boolean queue_incoming_command(const void *command)
{
	if (!command || !framing_accepts(command)) return FALSE;
	if (command_queue(incoming_queue, command)) return TRUE;
	if (game && !game_flags_test(_game_is_out_of_sync_flag)) game_is_out_of_sync(MODULE_NAME, __LINE__);
	return FALSE;
}

void *dequeue_incoming_command(int32 now)
{
	return command_dequeue(incoming_queue, FALSE, now);
}

int32 free_space_in_incoming_queue(void)
{
	if (!incoming_queue) return 0;
	const int32 space = command_queue_free_space(incoming_queue) - MAXIMUM_COMMAND_SIZE;
	return space > 0 ? space : 0;
}

void flush_incoming_queue(void)
{
	if (!incoming_queue) return;
	while (command_dequeue(incoming_queue, TRUE, 0)) {}
}

int16 get_local_command_latency(void)
{
	return 0;
}

/* ---------- local intake */

static command_script_proc command_script = NULL;
static void *command_script_data = NULL;

void set_command_script_hook(command_script_proc proc, void *data)
{
	command_script = proc;
	command_script_data = proc ? data : NULL;
}

boolean queue_scripted_command(const void *command)
{
	if (!queue_incoming_command(command)) return FALSE;
	record_incoming_command(static_cast<command_header *>(const_cast<void *>(command)));
	return TRUE;
}

void local_command_intake(int32 target_time, int32 intake)
{
	uint8 copy[MAXIMUM_COMMAND_SIZE];
	void *command;

	while ((command = dequeue_outgoing_command()) != NULL)
	{
		command_header header;
		command_read_header(command, &header);
		// A film block holds no more, and what runs must be what is recorded.
		if (header.size > MAXIMUM_RECORDABLE_COMMAND_SIZE)
		{
			report_dropped_command(command, "bad size");
			continue;
		}
		memcpy(copy, command, header.size);
		header.time = target_time;
		header.player_index = player_globals.local_player_index == NONE ?
			static_cast<uint8>(NO_COMMAND_PLAYER) : static_cast<uint8>(player_globals.local_player_index);
		command_write_header(copy, &header);
		if (!handle_command_sniffing(reinterpret_cast<command_header *>(copy))) continue;
		if (queue_incoming_command(copy)) record_incoming_command(reinterpret_cast<command_header *>(copy));
	}

	if (command_script && intake > 0) command_script(target_time, target_time + intake, command_script_data);
}

static void clear_command_script(void)
{
	command_script = NULL;
	command_script_data = NULL;
}
