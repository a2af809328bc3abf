// State shared by the store and the scheduler, outside the stored records.
#ifndef MAP_ACTIONS_PRIVATE_H
#define MAP_ACTIONS_PRIVATE_H

#include "map_actions/map_actions.h"

#define MAXIMUM_CACHED_MAP_ACTION_PARAMETERS 64
#define MAXIMUM_REMEMBERED_MISSING_PROCEDURES 64
// Room for one block (at most 32767 bytes) past the parameter buffer's capacity.
#define PARAMETER_BUFFER_SCRATCH_SIZE 32768

struct map_action_lookup_cache
{
	int16 action_index;
	uint32 link_flag;
	int32 game_time;
	int32 map_actions_state;
	int16 found_count;
	boolean exhausted;
	map_action_parameter handles[MAXIMUM_CACHED_MAP_ACTION_PARAMETERS];
	find_map_action_parameter_state search;
};

struct map_action_store_data
{
	map_action_lookup_cache cache;
	int16 *identifier_to_index; // 65536 entries: the index last given the identifier, checked on use
	// Whether any action carries a 'debg' flag, as of debg_memo_state (NONE: not known).
	int32 debg_memo_state;
	boolean any_debg;
	// Guards against activation and deactivation cycles.
	uint32 being_activated[MAXIMUM_MAP_ACTIONS_PER_MAP / 32];
	uint32 being_deactivated[MAXIMUM_MAP_ACTIONS_PER_MAP / 32];
	int32 offset_watermark; // no live action's parameters_offset is higher
	int16 missing_procedure_count;
	action_tag missing_procedures[MAXIMUM_REMEMBERED_MISSING_PROCEDURES];
};

extern map_action_store_data map_action_store;

// Header and data padded to 4: the step from one header to the next.
static inline int32 parameter_extent(int16 type, int32 count)
{
	const int32 size = type >= 0 && type < NUMBER_OF_MAP_ACTION_PARAMETER_TYPES ? parameter_definitions[type].size : 1;
	return static_cast<int32>(sizeof(map_action_parameter_header)) +
		((count * size + PARAMETER_ALIGNMENT - 1) & ~(PARAMETER_ALIGNMENT - 1));
}

void map_actions_changed(void);
// Empties the lookup cache.
void clear_map_action_store(void);
int32 find_parameter_offset(int16 action_index, int16 parameter_index);
// Every live action's own parameters, in index and parameter order.
typedef void (*map_action_parameter_visitor)(int16 action_index, map_action_parameter_header *header, void *context);
void walk_all_parameters(map_action_parameter_visitor visit, void *context);

#endif
