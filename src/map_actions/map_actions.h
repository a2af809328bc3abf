// The map-action manager: a map's script of actions, their parameters and the
// script debug log.
#ifndef MAP_ACTIONS_H
#define MAP_ACTIONS_H

#include "cseries.h"

typedef file_tag field_tag;
typedef uint32 (*action_proc_pointer)(int16 action_index);

// Result bits of an action procedure.
enum
{
	_map_action_proc_executed_bit,
	_map_action_proc_succeeded_bit,
	_map_action_proc_deactivate_bit,

	_map_action_proc_executed_flag = 1 << _map_action_proc_executed_bit,
	_map_action_proc_succeeded_flag = 1 << _map_action_proc_succeeded_bit,
	_map_action_proc_deactivate_flag = 1 << _map_action_proc_deactivate_bit
};

// Parameter search flags.
enum
{
	_dont_resolve_links_bit,
	_return_empty_arrays_bit,
	_dont_return_single_elements_bit,

	_dont_resolve_links_flag = 1 << _dont_resolve_links_bit,
	_return_empty_arrays_flag = 1 << _return_empty_arrays_bit,
	_dont_return_single_elements_flag = 1 << _dont_return_single_elements_bit
};

enum // parameter types used here
{
	_parameter_flag = 0
};

enum // set_map_action_debug_status
{
	_map_action_debug_on,
	_map_action_debug_off,
	_map_action_debug_toggle
};

#define MAP_ACTION_FREQUENCY 32

// A found parameter.
struct map_action_parameter
{
	field_tag field_name;
	int16 type;
	int16 count;
	int16 action_index;
	int16 parameter_index;
};

void initialize_map_actions(void);
void initialize_map_actions_for_new_map(void);
void dispose_map_actions_from_old_map(void);
// The scheduler, once per game tick.
void update_map_actions(void);

void import_map_actions(int16 map_action_count, int32 map_action_buffer_size, void *buffer, boolean byte_swap);
void preload_map_action_tags(void);

// NONE when no action has this identifier.
int16 action_identifier_to_action_index(int16 action_identifier);
void set_map_action_success(int16 action_index);
void set_map_action_error(int16 action_index);

// True when the action (or, without _dont_resolve_links_flag, one it links to)
// has a matching parameter; result may be NULL to test presence.
boolean get_map_action_parameter(map_action_parameter *result, int16 action_index, uint32 flags, field_tag field_name,
	int16 type);

void set_map_action_debug_status(int16 new_status);
boolean get_map_action_debug_status(void);
// Script debug and error lines in the log file.
void map_action_debug(int16 action_index, const char *format, ...) ATTRIBUTE_PRINTF(2, 3);
void map_action_error(int16 action_index, const char *format, ...) ATTRIBUTE_PRINTF(2, 3);

// The procedures.
uint32 endgame_action_proc(int16 action_index); // 'endg'

// Test hooks: the answers of parameter lookups while the store is not built.
#define MAXIMUM_TEST_MAP_ACTION_PARAMETERS 16
struct map_actions_test_hooks_data
{
	int16 parameter_count;
	struct
	{
		int16 action_index; // NONE matches any action
		field_tag field_name;
		int16 type;
	} parameters[MAXIMUM_TEST_MAP_ACTION_PARAMETERS];
	// The 'noce' celebration: calls and the team named last.
	int32 celebration_count;
	int16 last_celebrating_team;
};

map_actions_test_hooks_data *get_map_actions_test_hooks(void);
void reset_map_actions_test_hooks(void);
// Answers get_map_action_parameter for (action, field, type) with true.
void test_add_map_action_parameter(int16 action_index, field_tag field_name, int16 type);

#endif
