// The map-action manager: a map's script of actions, their typed parameters in
// one buffer per map, the scheduler and the script debug log.
#ifndef MAP_ACTIONS_H
#define MAP_ACTIONS_H

#include "byte_swapping.h"
#include "cseries.h"

typedef file_tag field_tag;
typedef file_tag action_tag;
typedef uint32 (*action_proc_pointer)(int16 action_index);

#define MAXIMUM_MAP_ACTIONS_PER_MAP 1024
#define PARAMETER_BUFFER_SIZE 98304
#define PARAMETER_ALIGNMENT 4
#define MAXIMUM_TRIGGER_STACK_SIZE 4
#define MAXIMUM_FIND_MAP_ACTION_PARAMETER_STACK_SIZE 64
#define MAXIMUM_LOCAL_ACTION_IDENTIFIERS 30
#define MAP_ACTION_FREQUENCY 32
#define MAP_ACTION_RECORD_SIZE 64

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

// Bits 0-4 come from the map; 5-8 are run-time state.
enum
{
	_map_action_initially_active_bit,
	_map_action_activates_only_once_bit,
	_map_action_no_initial_delay_bit,
	_map_action_only_initial_delay_bit,
	_map_action_deleted_on_deactivation_bit,
	_map_action_is_active_bit,
	_map_action_succeeded_bit,
	_map_action_has_been_activated_bit,
	_map_action_was_just_activated_bit,
	NUMBER_OF_MAP_ACTION_FLAGS,

	_map_action_initially_active_flag = 1 << _map_action_initially_active_bit,
	_map_action_activates_only_once_flag = 1 << _map_action_activates_only_once_bit,
	_map_action_no_initial_delay_flag = 1 << _map_action_no_initial_delay_bit,
	_map_action_only_initial_delay_flag = 1 << _map_action_only_initial_delay_bit,
	_map_action_deleted_on_deactivation_flag = 1 << _map_action_deleted_on_deactivation_bit,
	_map_action_is_active_flag = 1 << _map_action_is_active_bit,
	_map_action_succeeded_flag = 1 << _map_action_succeeded_bit,
	_map_action_has_been_activated_flag = 1 << _map_action_has_been_activated_bit,
	_map_action_was_just_activated_flag = 1 << _map_action_was_just_activated_bit
};

enum
{
	_map_action_deactivates_on_trigger,
	_map_action_deactivates_on_execution,
	_map_action_deactivates_on_successful_execution,
	_map_action_deactivates_never,
	_map_action_deactivates_on_failed_execution,
	NUMBER_OF_MAP_ACTION_DEACTIVATION_MODES
};

enum // parameter types
{
	_parameter_flag,
	_parameter_character,
	_parameter_monster_identifier,
	_parameter_action_identifier,
	_parameter_angle,
	_parameter_integer,
	_parameter_world_distance,
	_parameter_field_name,
	_parameter_fixed,
	_parameter_projectile_group_tag,
	_parameter_string_list_tag,
	_parameter_sound_tag,
	_parameter_projectile_tag,
	_parameter_world_point2d,
	_parameter_world_rectangle2d,
	_parameter_object_identifier,
	_parameter_model_identifier,
	_parameter_sound_source_identifier,
	_parameter_world_point3d,
	_parameter_local_projectile_group_identifier,
	_parameter_model_animation_identifier,
	NUMBER_OF_MAP_ACTION_PARAMETER_TYPES
};

// Parameter search flags.
enum
{
	_dont_resolve_links_bit,
	_return_empty_arrays_bit,
	_only_return_one_element_arrays_bit,

	_dont_resolve_links_flag = 1 << _dont_resolve_links_bit,
	_return_empty_arrays_flag = 1 << _return_empty_arrays_bit,
	_only_return_one_element_arrays_flag = 1 << _only_return_one_element_arrays_bit
};

enum // set_map_action_debug_status
{
	_map_action_debug_on,
	_map_action_debug_off,
	_map_action_debug_toggle
};

// One record of the "map action" array; stored big-endian with this layout.
struct map_action
{
	int16 identifier;
	int16 deactivation_mode;
	action_tag tag;
	uint32 flags;
	int32 trigger_time_lower_bound;
	int32 trigger_time_delta;
	int16 parameter_count;
	int16 parameters_size;
	int32 parameters_offset;
	int16 visual_indent;
	uint8 unused[30];
	int32 trigger_time;
};
STORED_SIZE(map_action, 64);

struct map_action_parameter_header
{
	int16 type;
	int16 count;
	field_tag field_name;
};
STORED_SIZE(map_action_parameter_header, 8);

struct parameter_definition
{
	int32 size;
	const byte_swap_code *byte_swap_data;
};

extern const byte_swap_code map_action_byte_swap_data[];
extern const byte_swap_code map_action_parameter_header_byte_swap_data[];
extern const parameter_definition parameter_definitions[NUMBER_OF_MAP_ACTION_PARAMETER_TYPES];

struct map_action_globals_data
{
	boolean initialized;
	boolean debug;
	boolean initial_actions_activated;
	int32 parameter_buffer_size;
	int32 maximum_parameter_buffer_size;
	uint8 *parameter_buffer;
	int16 trigger_stack_size;
	int16 trigger_stack[MAXIMUM_TRIGGER_STACK_SIZE];
	int32 map_actions_state;
};

extern map_action_globals_data *map_action_globals;
extern struct datum_globals map_action_array; // "map action"

// A handle to one parameter; valid until its action's parameter list changes.
struct map_action_parameter
{
	field_tag field_name;
	int16 type;
	int16 count;
	int16 action_index;
	int16 parameter_index;
};

struct find_map_action_parameter_state
{
	uint32 flags;
	uint32 field_name_filter; // NONE for any
	int16 type_filter;        // NONE for any
	int16 stack_index;
	int16 stack_size;
	int32 offsets_state; // map_actions_state when the entries' offsets were found
	struct
	{
		int16 action_index;
		int16 parameter_index;
		int32 parameter_offset; // of the header at parameter_index, NONE when not known
	} stack[MAXIMUM_FIND_MAP_ACTION_PARAMETER_STACK_SIZE];
};

/* ---------- life cycle and scheduler */

void initialize_map_actions(void);
void initialize_map_actions_for_new_map(void);
void dispose_map_actions_from_old_map(void);
void update_map_actions(void);

void activate_map_action(int16 action_index);
void deactivate_map_action(int16 action_index);
uint32 trigger_map_action(int16 action_index);
void set_map_action_success(int16 action_index);
void set_map_action_failure(int16 action_index);
void set_map_action_error(int16 action_index);

void set_map_action_debug_status(int16 new_status);
boolean get_map_action_debug_status(void);
void map_action_debug(int16 action_index, const char *format, ...) ATTRIBUTE_PRINTF(2, 3);
void map_action_error(int16 action_index, const char *format, ...) ATTRIBUTE_PRINTF(2, 3);

/* ---------- records */

// The live record, else NULL (also for NONE and indexes outside the array).
map_action *get_map_action(int16 action_index);
void set_map_action_tag(int16 action_index, action_tag tag);
action_tag get_map_action_tag(int16 action_index);
int16 get_map_action_identifier(int16 action_index);
boolean set_map_action_name(int16 action_index, const char *name);
// At most 255 characters, cut at the parameter's end; valid until the next call of four.
const char *get_map_action_name(int16 action_index);
void set_map_action_trigger_time(int16 action_index, int32 trigger_time_lower_bound, int32 trigger_time_delta);
int16 action_identifier_to_action_index(int16 action_identifier);
map_action *get_map_action_by_identifier(int16 action_identifier);

/* ---------- search */

void new_find_map_action_parameter_state(find_map_action_parameter_state *state, int16 action_index, uint32 flags,
	field_tag field_name_filter, int16 type_filter);
boolean find_next_map_action_parameter(find_map_action_parameter_state *state, map_action_parameter *result);
boolean get_map_action_parameter(map_action_parameter *result, int16 action_index, uint32 flags, field_tag field_name,
	int16 type);

/* ---------- parameters */

int32 get_parameter_size(int16 type, int32 count, boolean align);
map_action_parameter_header *get_map_action_parameter_header(int16 action_index, int16 parameter_index);
boolean build_map_action_parameter(map_action_parameter *parameter, int16 action_index, int16 parameter_index);
void *extract_parameter_array_address(const map_action_parameter *parameter);

boolean new_map_action_parameter(map_action_parameter *parameter, int16 action_index, field_tag field_name, int16 type);
boolean set_unique_map_action_parameter(int16 action_index, field_tag field_name, int16 type, int32 count,
	const void *data);
boolean set_map_action_parameter(map_action_parameter *parameter, int32 new_count, const void *new_data);
boolean append_to_map_action_parameter(map_action_parameter *parameter, int32 appended_count, const void *new_data);
boolean copy_map_action_parameter(const map_action_parameter *source, map_action_parameter *destination);
boolean delete_map_action_parameter(map_action_parameter *parameter);
boolean set_map_action_parameter_type(map_action_parameter *parameter, int16 type);
boolean set_map_action_parameter_field_name(map_action_parameter *parameter, field_tag field_name);
// new_count NONE deletes the parameter.
boolean adjust_map_action_parameter_size(int16 action_index, int16 parameter_index, int32 new_count);
boolean adjust_map_action_parameters_size(int16 action_index, int32 new_parameters_size);

/* ---------- actions */

int16 new_map_action(int16 parent_action_index);
void delete_map_action(int16 action_index);

/* ---------- map data */

// Checks the section whole; false (one error line, an empty store) when it is damaged.
boolean import_map_actions(int16 map_action_count, int32 map_action_buffer_size, const void *buffer, boolean byte_swap);
void preload_map_action_tags(void);
// The definition index a scripted tag names (projectile group or projectile); NONE otherwise.
int16 resolve_map_action_tag(int16 parameter_type, file_tag tag);
int32 get_map_action_parameter_buffer_size(void);
// A new_pointer block (the caller disposes it) holding the section, big-endian; NULL when empty or out of memory.
void *export_map_actions(int16 *map_action_count, int32 *map_action_buffer_size);
void offset_map_actions(int32 dx, int32 dy);

struct zerv_digest;
void map_actions_fold_digest(zerv_digest *digest);

/* ---------- test hooks */

typedef int16 (*map_action_tag_resolver)(int16 parameter_type, file_tag tag);
struct map_actions_test_hooks_data
{
	// Answers type 9, 11 and 12 tags at load when set.
	map_action_tag_resolver resolve_tag;
	// Replaces every procedure when set.
	action_proc_pointer answer_every_tag;
};

map_actions_test_hooks_data *get_map_actions_test_hooks(void);
void reset_map_actions_test_hooks(void);

#endif
