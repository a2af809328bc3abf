// The command stream: the record every shared order travels as, the codec that
// writes and reads its packed big-endian payload, the two ring queues, and the
// checks every untrusted command passes before anything reads it.
//
// In the queues the header is in host order and the payload big-endian; in
// films and on the wire the whole command is big-endian. Commands may start at
// any byte, so headers and items are read by copying into aligned locals.
#ifndef COMMANDS_H
#define COMMANDS_H

#include "cseries.h"
#include "world_units.h"
#include "formations.h"
#include "overhead_map.h" // sketch_point2d

#define MAXIMUM_COMMAND_SIZE 4096
#define OUTGOING_QUEUE_BUFFER_SIZE 2048
#define INCOMING_QUEUE_BUFFER_SIZE 12288
// The ring keeps one byte free, so the outgoing queue takes at most this.
#define MAXIMUM_OUTGOING_COMMAND_SIZE (OUTGOING_QUEUE_BUFFER_SIZE - 1)
// The largest command a film block holds; the local intake drops larger ones
// so that what runs is what is recorded.
#define MAXIMUM_RECORDABLE_COMMAND_SIZE 2048
#define MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND 126
#define MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND_13 30
#define MAXIMUM_POINTS_PER_SKETCH_COMMAND 20
#define MAXIMUM_COMMAND_NAME_LENGTH 17
#define MAXIMUM_COMMAND_CHAT_LENGTH 192
// Points in commands lie within this many world units of the origin, so that
// sums and differences of two of them fit 32 bits.
#define MAXIMUM_COMMAND_POINT_COORDINATE (1 << 24)
#define NO_COMMAND_PLAYER 255

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

enum // general command types
{
	_command_general_stop,
	_command_general_scatter,
	_command_general_retreat,
	_command_general_special_ability,
	_command_general_guard,
	_command_general_taunt,
	_command_general_celebrate,
	NUMBER_OF_GENERAL_COMMAND_TYPES
};

enum // movement flags
{
	_command_movement_loop_bit,
	_command_movement_loop_back_and_forth_bit,
	_command_movement_preserves_target_index_bit,
	_command_movement_formation_bit,
	_command_movement_final_facing_bit,
	_command_movement_run_bit,
	_command_movement_last_waypoint_is_centerpoint_bit,

	_command_movement_loop_flag = 1 << _command_movement_loop_bit,
	_command_movement_loop_back_and_forth_flag = 1 << _command_movement_loop_back_and_forth_bit,
	_command_movement_preserves_target_index_flag = 1 << _command_movement_preserves_target_index_bit,
	_command_movement_formation_flag = 1 << _command_movement_formation_bit,
	_command_movement_final_facing_flag = 1 << _command_movement_final_facing_bit,
	_command_movement_run_flag = 1 << _command_movement_run_bit,
	_command_movement_last_waypoint_is_centerpoint_flag = 1 << _command_movement_last_waypoint_is_centerpoint_bit
};

enum // target flags
{
	_command_target_close_bit,
	_command_target_special_ability_bit,
	_command_target_dont_override_local_ai_bit,
	_command_target_attack_closest_bit,
	_command_target_dont_override_existing_target_bit,
	_command_target_use_command_bit,
	_command_target_player_initiated_bit,
	_command_target_attack_individual_bit,
	_command_target_use_closest_attack_bit,

	_command_target_close_flag = 1 << _command_target_close_bit,
	_command_target_special_ability_flag = 1 << _command_target_special_ability_bit,
	_command_target_dont_override_local_ai_flag = 1 << _command_target_dont_override_local_ai_bit,
	_command_target_attack_closest_flag = 1 << _command_target_attack_closest_bit,
	_command_target_dont_override_existing_target_flag = 1 << _command_target_dont_override_existing_target_bit,
	_command_target_use_command_flag = 1 << _command_target_use_command_bit,
	_command_target_player_initiated_flag = 1 << _command_target_player_initiated_bit,
	_command_target_attack_individual_flag = 1 << _command_target_attack_individual_bit,
	_command_target_use_closest_attack_flag = 1 << _command_target_use_closest_attack_bit
};

enum // attack-location flags
{
	_command_attack_location_special_ability_bit,
	_command_attack_location_ignore_model_collision_bit,
	_command_attack_location_from_map_action_bit,

	_command_attack_location_special_ability_flag = 1 << _command_attack_location_special_ability_bit,
	_command_attack_location_ignore_model_collision_flag = 1 << _command_attack_location_ignore_model_collision_bit,
	_command_attack_location_from_map_action_flag = 1 << _command_attack_location_from_map_action_bit
};

enum // chat flags
{
	_command_chat_private_bit,
	_command_chat_private_flag = 1 << _command_chat_private_bit
};

enum // sketch flags
{
	_command_sketch_start_bit,
	_command_sketch_erase_bit,
	_command_sketch_start_flag = 1 << _command_sketch_start_bit,
	_command_sketch_erase_flag = 1 << _command_sketch_erase_bit
};

/* ---------- records */

struct command_header
{
	int16 size; // header included
	uint8 verb;
	uint8 player_index; // NO_COMMAND_PLAYER while unset
	int32 time;
};
STORED_SIZE(command_header, 8);

struct command_sync_data
{
	uint16 flags;
	uint16 unused;
	uint32 last_synchronization_verification_seed;
	int32 last_synchronization_verification_time;
};
STORED_SIZE(command_sync_data, 12);

struct command_general_data
{
	uint16 flags;
	int16 type;
};
STORED_SIZE(command_general_data, 4);

struct command_movement_data
{
	uint16 flags;
	int16 formation_index;
	uint16 final_facing; // angle
	uint16 pad;
};
STORED_SIZE(command_movement_data, 8);

struct command_target_data
{
	uint16 flags;
};
STORED_SIZE(command_target_data, 2);

struct command_attack_location_data
{
	uint16 flags;
	uint16 pad;
	world_point3d point;
};
STORED_SIZE(command_attack_location_data, 16);

struct command_pick_up_data
{
	uint16 flags;
	uint16 pad;
	int16 object_index;
	int16 object_identifier;
};
STORED_SIZE(command_pick_up_data, 8);

struct command_rename_data
{
	uint16 flags;
};
STORED_SIZE(command_rename_data, 2);

struct command_rotation_data
{
	uint16 flags;
	uint16 rotation_angle; // angle
	world_point2d center;
};
STORED_SIZE(command_rotation_data, 12);

struct command_chat_data
{
	uint16 flags;
};
STORED_SIZE(command_chat_data, 2);

struct command_detach_data
{
	uint16 flags;
	int16 new_owner_player_index;
};
STORED_SIZE(command_detach_data, 4);

struct command_unit_adjustment_data
{
	uint16 flags;
};
STORED_SIZE(command_unit_adjustment_data, 2);

struct command_sketch_data
{
	uint16 flags;
};
STORED_SIZE(command_sketch_data, 2);

struct command_ally_data
{
	uint16 flags;
	uint16 pad;
	int16 team0;
	int16 team1;
};
STORED_SIZE(command_ally_data, 8);

struct command_preset_selection_data
{
	uint16 flags;
	int16 preset_index;
};
STORED_SIZE(command_preset_selection_data, 4);

struct command_sync_formation_data
{
	formation_definition definition;
};
STORED_SIZE(command_sync_formation_data, 40);

struct command_inventory_data
{
	int16 type;
	int16 number;
};
STORED_SIZE(command_inventory_data, 4);

extern const byte_swap_code command_header_byte_swapping_data[];
extern const byte_swap_code command_sync_data_byte_swapping_data[];
extern const byte_swap_code command_general_data_byte_swapping_data[];
extern const byte_swap_code command_movement_data_byte_swapping_data[];
extern const byte_swap_code command_target_data_byte_swapping_data[];
extern const byte_swap_code command_attack_location_data_byte_swapping_data[];
extern const byte_swap_code command_pick_up_data_byte_swapping_data[];
extern const byte_swap_code command_rename_data_byte_swapping_data[];
extern const byte_swap_code command_rotation_data_byte_swapping_data[];
extern const byte_swap_code command_chat_data_byte_swapping_data[];
extern const byte_swap_code command_detach_data_byte_swapping_data[];
extern const byte_swap_code command_unit_adjustment_data_byte_swapping_data[];
extern const byte_swap_code command_sketch_data_byte_swapping_data[];
extern const byte_swap_code command_ally_data_byte_swapping_data[];
extern const byte_swap_code command_preset_selection_data_byte_swapping_data[];
extern const byte_swap_code command_sync_formation_data_byte_swapping_data[];
extern const byte_swap_code command_inventory_data_byte_swapping_data[];
// Array elements.
extern const byte_swap_code command_int16_byte_swapping_data[];
extern const byte_swap_code sketch_point2d_byte_swapping_data[];
// world_point2d elements use world_point2d_byte_swapping_data.

/* ---------- header access (commands may be misaligned) */

void command_read_header(const void *command, command_header *header);
void command_write_header(void *command, const command_header *header);

// Swaps the 8-byte header in place between host order and big-endian (size and
// time; the verb and player bytes are left alone). Its own inverse.
void byte_swap_command_header(void *command);

/* ---------- codec */

struct command_codec_state
{
	uint8 *header;  // the command being written or read
	uint16 offset;  // the next byte; 8 right after the header
	boolean failed; // a read or write went past the command: nothing more
};

// Starts a command: size 8, the verb, player NO_COMMAND_PLAYER, time 0. The
// buffer holds MAXIMUM_COMMAND_SIZE bytes.
void command_encode_new(command_codec_state *state, void *buffer, int16 verb);
// Appends a fixed record, swapped; the header's size follows the cursor.
void command_encode_data(command_codec_state *state, int32 size, const void *record, const byte_swap_code *codes);
// Appends a 16-bit count, then (count and element size nonzero) the elements.
void command_encode_array(command_codec_state *state, int16 count, int32 element_size, const void *elements,
	const byte_swap_code *codes);
// Appends at most n characters of text and a NUL.
void command_encode_string(command_codec_state *state, const char *text, int32 n);

// Points the cursor at the payload (the verb is not used).
void command_decode_new(command_codec_state *state, void *command, int16 verb);
// The next record, swapped to host order in place (copy it out before use: it
// may be misaligned); NULL when it overruns the command.
const void *command_decode_data(command_codec_state *state, int32 size, const byte_swap_code *codes);
// The elements of the next counted array, swapped in place; the count goes to
// *count (0 on failure). NULL when empty or on failure.
const void *command_decode_array(command_codec_state *state, int16 *count, int32 element_size,
	const byte_swap_code *codes);
// The string at the cursor, NUL-forced after at most n characters and never
// beyond the command; NULL when it overruns.
const char *command_decode_string(command_codec_state *state, int32 n);

/* ---------- validation of untrusted commands */

// The header in host order, bytes_available the bytes that follow its start:
// 8 <= size <= MAXIMUM_COMMAND_SIZE and size <= bytes_available.
boolean command_framing_is_valid(const command_header *header, int32 bytes_available);

// What the payload checks compare indexes against.
struct command_validation_limits
{
	int16 player_count;
	int32 object_count; // the size of the object array
	boolean from_stream; // a player 255 may only send null, sync and ally
};
// The limits of the running game (zero counts without one).
void get_command_validation_limits(command_validation_limits *limits, boolean from_stream);

// Walks the verb's payload layout without changing it (header in host order,
// payload big-endian, framing already valid). False, with a reason naming the
// fault, for any layout or range fault.
boolean command_payload_is_valid(const void *command, const command_validation_limits *limits,
	const char **reason);

// Decodes the whole payload by the verb's layout (in place, once); false when
// an item fails. For tools and tests: the executors decode their own verbs.
boolean command_decode_payload(void *command);

// Drops a command with the one log line and counts it for tests.
void report_dropped_command(const void *command, const char *reason);

/* ---------- queues */

struct command_queue_data
{
	const char *name;
	int32 read_offset;
	int32 write_offset;
	int32 wrap_offset; // end of the valid data at the top of the ring
	int32 buffer_size;
	uint8 *buffer; // follows the record in the same allocation
	boolean initialized;
};

// One allocation holding the record and its buffer; NULL on failure.
command_queue_data *new_command_queue(const char *name, int32 buffer_size);
void delete_command_queue(command_queue_data *queue);
void reset_command_queue(command_queue_data *queue);
// The shared ring write: false when it does not fit (or framing is bad).
boolean command_queue(command_queue_data *queue, const void *command);
// The shared ring read: the next command whose time is not after now (any time
// when all_times), or NULL. A command left in place stays queued.
void *command_dequeue(command_queue_data *queue, boolean all_times, int32 now);
// Free bytes of the ring, without reserve.
int32 command_queue_free_space(const command_queue_data *queue);

void initialize_commands(void);
void initialize_commands_for_new_map(void);
void dispose_commands_from_old_map(void);

// A refusal is silent.
void queue_outgoing_command(const void *command);
// The next outgoing command or NULL; it stays in the ring until overwritten.
void *dequeue_outgoing_command(void);
// False when refused (the game is then declared out of sync once).
boolean queue_incoming_command(const void *command);
void *dequeue_incoming_command(int32 now);
// Free bytes of the incoming ring less MAXIMUM_COMMAND_SIZE, at least 0.
int32 free_space_in_incoming_queue(void);
void flush_incoming_queue(void);
int16 get_local_command_latency(void);

// Tests and the fuzz target.
command_queue_data *get_incoming_command_queue(void);
command_queue_data *get_outgoing_command_queue(void);

/* ---------- local intake */

// Each frame of a local or demo game: every outgoing command, stamped with
// target_time and the local player, goes through sniffing into the incoming
// queue and, when accepted there, to the film; then the scripted commands due
// in [target_time, target_time + intake).
void local_command_intake(int32 target_time, int32 intake);

// Tests: a script of commands fed by the local intake, which calls the
// procedure with the ticks now due. It queues each with queue_scripted_command.
typedef void (*command_script_proc)(int32 first_tick, int32 end_tick, void *data);
void set_command_script_hook(command_script_proc proc, void *data);
// Queues a scripted command (its own tick and player, unsniffed) and records it
// when accepted; false when refused.
boolean queue_scripted_command(const void *command);

/* ---------- test hooks */

struct commands_test_hooks_data
{
	int32 dropped_count;
	char last_dropped_reason[64];
	char last_dropped_line[128];
};
commands_test_hooks_data *get_commands_test_hooks(void);
void reset_commands_test_hooks(void);

#endif
