// Unit orders: the builders every caller uses to issue a command, and the
// executors that carry commands out at their tick on every machine.
#ifndef MONSTER_COMMANDS_H
#define MONSTER_COMMANDS_H

#include "cseries.h"
#include "world_units.h"
#include "commands.h"

// The verbs refused before the game's clock starts: general, movement, target,
// attack location, pick up and rotation.
#define INVALID_PREGAME_COMMAND_FLAGS 380
#define SCATTER_DISTANCE 2048
#define ANGULAR_FORMATION_THRESHOLD 16384
#define MAXIMUM_SEPARATION_DISTANCE 30720
#define MAXIMUM_MOVEMENT_WAYPOINTS 4
// A destination row per waypoint, plus one for an appended centre.
#define MAXIMUM_DESTINATION_ROWS (MAXIMUM_MOVEMENT_WAYPOINTS + 1)
// The command identifier of an order from the command stream.
#define COMMAND_FROM_STREAM (-1)

/* ---------- builders: -1 queues the command outgoing, any other identifier
   executes it at once on this machine with that identifier */

void handle_general_command(int16 command_identifier, const command_general_data *data, int16 count,
	const int16 *monster_indexes);
void handle_movement_command(int16 command_identifier, const command_movement_data *data, int16 count,
	const int16 *monster_indexes, int16 waypoint_count, const world_point2d *waypoints);
void handle_target_command(int16 command_identifier, const command_target_data *data, int16 attacker_count,
	const int16 *attacker_indexes, int16 target_count, const int16 *target_indexes);
void handle_attack_location_command(int16 command_identifier, const command_attack_location_data *data, int16 count,
	const int16 *monster_indexes);
void handle_pick_up_command(int16 command_identifier, const command_pick_up_data *data, int16 count,
	const int16 *monster_indexes);
void handle_rename_command(int16 command_identifier, const command_rename_data *data, int16 count,
	const int16 *monster_indexes, const char *name);
void handle_rotation_command(int16 command_identifier, const command_rotation_data *data, int16 count,
	const int16 *monster_indexes);
void handle_detach_command(int16 command_identifier, const command_detach_data *data, int16 count,
	const int16 *monster_indexes);
void handle_ally_command(int16 command_identifier, const command_ally_data *data);
void handle_sync_formation_command(int16 command_identifier, const formation_definition *definition);
void handle_inventory_command(int16 command_identifier, const command_inventory_data *data, int16 count,
	const int16 *monster_indexes);
void handle_inventory_drop_command(int16 command_identifier, const command_inventory_data *data, int16 count,
	const int16 *monster_indexes);
void handle_inventory_prev_command(int16 command_identifier, const command_inventory_data *data, int16 count,
	const int16 *monster_indexes);
void handle_inventory_next_command(int16 command_identifier, const command_inventory_data *data, int16 count,
	const int16 *monster_indexes);

// Always queued outgoing.
void queue_chat_command(const command_chat_data *data, const char *text);
void queue_sketch_command(uint16 flags, int16 count, const sketch_point2d *points);
void queue_unit_adjustment_command(uint16 flags, int16 count, const int16 *counts);
void queue_preset_selection_command(const command_preset_selection_data *data, int16 count,
	const int16 *identifiers);
void queue_sync_command(void);

// Fill the caller's MAXIMUM_COMMAND_SIZE buffer and return it.
void *build_null_command(void *buffer);
void *build_drop_player_command(void *buffer, int16 player_index);
void *build_sync_command(void *buffer);

/* ---------- execution */

// Every command due at game_time, in queue order.
void execute_monster_commands(int32 game_time);

enum // monster list filters
{
	_monster_list_unfiltered,
	_monster_list_obeying
};
// The unit indexes of the next monster list that obey (filter 1) or all that
// still exist (filter 0), in list order; at most 126 (30 under 1300).
int16 command_decode_monster_list(void *command, command_codec_state *state, int16 command_identifier,
	int16 *monster_indexes, int16 filter);

// Executors: the command as queued (payload big-endian, decoded in place).
void execute_general_command(void *command, int16 command_identifier);
void execute_movement_command(void *command, int16 command_identifier);
void execute_rotation_command(void *command, int16 command_identifier);
void execute_target_command(void *command, int16 command_identifier);
void execute_pick_up_command(void *command, int16 command_identifier);
void execute_rename_command(void *command, int16 command_identifier);
void execute_inventory_command(void *command, int16 command_identifier);
void execute_inventory_drop_command(void *command, int16 command_identifier);
void execute_inventory_prev_command(void *command, int16 command_identifier);
void execute_inventory_next_command(void *command, int16 command_identifier);

/* ---------- movement orders */

// Destination rows (one per waypoint, plus an appended centre) of slots in
// list order, and one facing per slot. Returns the rows written.
int16 build_movement_command_destinations(const command_movement_data *data, int16 player_index,
	const int16 *monster_indexes, int16 monster_count, const world_point2d *waypoints, int16 waypoint_count,
	world_point2d destinations[MAXIMUM_DESTINATION_ROWS][MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND], angle *facings);
// Sort comparison on the shared key table: key[b] - key[a] as 32 bits.
int compare_monster_distances_to_destination(const void *a, const void *b);
void set_monster_distance_key(int16 slot, int32 key);

/* ---------- movement (the entry points are in monsters.h) */

// One neighbouring triangle behind a bit of cell_impassability_flags.
struct cell_impassability_offset
{
	int8 dx, dy;
	int8 triangle; // NONE: the bit is never set
};
// [0] odd parity (x xor y odd), [1] even.
extern const cell_impassability_offset cell_impassability_offsets[2][8];

// What a running charger adds to its speed: percent of it, or a fifth when
// the percentage is below 1 (extended precision, truncated).
int32 charging_speed_bonus(int32 speed, int8 percent);

// For tests and benchmarks.
struct monster_movement_counters
{
	int64 moves;               // calls of move_monster_object that tried to move
	int64 struck_object_moves;
	int64 contacts;
	int64 path_requests;
};
monster_movement_counters *get_monster_movement_counters(void);
void reset_monster_movement_counters(void);

/* ---------- debugging */

extern const char *const general_command_names[NUMBER_OF_GENERAL_COMMAND_TYPES];
void debug_monster_command(const void *command, const int16 *monster_indexes, int16 count, const char *name);
void toggle_monster_command_debug_status(void);
boolean get_monster_command_debug_status(void);

#endif
