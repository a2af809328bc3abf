// Logic, timing and arithmetic procedures; each takes the action index and
// returns the result bits.
#ifndef GENERAL_ACTION_PROCS_H
#define GENERAL_ACTION_PROCS_H

#include "map_actions/map_actions.h"

// 32.32 fixed point: an integer i is i << 32, a 16.16 fixed f is f << 16.
typedef int64 long_fixed;

#define MAXIMUM_ACTION_IDENTIFIERS_PER_LIST 32
#define MAXIMUM_DELAY_SUBJECTS 400
#define MAXIMUM_KEYS_PER_LOCK 8
#define MAXIMUM_STATES_PER_LOCK 8
#define MAXIMUM_DESIRED_SCORING_TYPES 10
#define DEFAULT_INITIAL_DELAY_BEFORE_ERRORS 150

uint32 action_list_action_proc(int16 action_index);   // 'acli'
uint32 sniffer_action_proc(int16 action_index);       // 'snif'
uint32 delay_action_proc(int16 action_index);         // 'dela'
uint32 endgame_action_proc(int16 action_index);       // 'endg'
uint32 lock_action_proc(int16 action_index);          // 'lock'
uint32 mission_action_proc(int16 action_index);       // 'miss'
uint32 munger_action_proc(int16 action_index);        // 'mung'
uint32 math_action_proc(int16 action_index);          // 'math'
uint32 goal_action_proc(int16 action_index);          // 'goal'
uint32 game_type_action_proc(int16 action_index);     // 'ngty'
uint32 netgame_time_action_proc(int16 action_index);  // 'plan'
uint32 player_count_action_proc(int16 action_index);  // 'plyc'

long_fixed get_operand(int16 action_index, field_tag integer_name, field_tag fixed_name, field_tag action_name,
	field_tag field_name_name, field_tag negate_name, field_tag not_name);

// The munger's operations: kind 0 takes the target and an operand parameter, kind 1 the target only.
// The operand's elements are at data (a copy, not the buffer).
typedef void (*munger_parameter_proc)(int16 target_action_index, const map_action_parameter *operand, const void *data);
typedef void (*munger_action_operation)(int16 target_action_index);
struct munger_proc
{
	field_tag field_name;
	int16 kind;
	munger_parameter_proc parameter_proc;
	munger_action_operation action_proc;
};
#define NUMBER_OF_MUNGER_PROCS 8
extern const munger_proc munger_procs[NUMBER_OF_MUNGER_PROCS];

void munger_insert_parameter(int16 target_action_index, const map_action_parameter *operand, const void *data);
void munger_replace_parameter(int16 target_action_index, const map_action_parameter *operand, const void *data);
void munger_delete_parameter(int16 target_action_index, const map_action_parameter *operand, const void *data);
void munger_append_parameter(int16 target_action_index, const map_action_parameter *operand, const void *data);

#endif
