// The definition loader: every kind of definition a map uses is read from its
// tag on first request, converted from stored order and from older versions,
// postprocessed by its module, and kept until the map is left.
#ifndef DEFINITIONS_H
#define DEFINITIONS_H

#include "cseries.h"
#include "byte_swapping.h"

/* ---------- constants */

#define MAXIMUM_DEFINITION_STACK_SIZE 8
#define MAXIMUM_NUMBER_OF_CACHED_DEFINITION_GLOBALS 64
#define DEFINITION_GROUP_NAME_LENGTH 32

// The subgroup of an orphaned definition: readable by index, never found by tag.
#define ORPHANED_DEFINITION_SUBGROUP_TAG TAG("????")

enum // per-definition flags
{
	_definition_postprocessed_bit, // passed version handling and postprocess
	_definition_fetched_bit,       // data block already read by the preload path
	NUMBER_OF_DEFINITION_FLAGS,

	_definition_postprocessed_flag = FLAG(_definition_postprocessed_bit),
	_definition_fetched_flag = FLAG(_definition_fetched_bit)
};

/* ---------- procedures */

struct definition_globals;

// Receives one tag a definition needs and where its index goes.
typedef void (*report_definition_dependency_proc)(file_tag group_tag, file_tag subgroup_tag, int16 *index);
// Reports every tag the definition needs; kept with the group, not called by the loader.
typedef void (*report_definition_dependencies_proc)(void *definition, report_definition_dependency_proc report);
// Resolves the definition's references; FALSE rejects it.
typedef boolean (*postprocess_definition_proc)(definition_globals *definitions, int16 definition_index,
	int32 tag_handle, void *definition);
// Rewrites the slot from a copy of an older stored version; TRUE when done.
typedef boolean (*convert_definition_proc)(definition_globals *definitions, int32 tag_handle, int16 stored_version,
	const void *stored_definition, void *definition);

/* ---------- a definition group */

// One static record per group, owned by its module, which fills the first
// eleven fields; the loader fills the rest. A loader-read group's size is the
// stored size on every build: pointer slots in such records are 32-bit fields.
struct definition_globals
{
	char name[DEFINITION_GROUP_NAME_LENGTH];
	file_tag group;
	int32 current_version;
	int16 maximum_count;
	int16 size;
	report_definition_dependencies_proc dependencies;
	postprocess_definition_proc postprocess;
	convert_definition_proc convert;
	const void *default_initializer;
	const byte_swap_code *byte_swapping_data; // NULL: the data are bytes
	uint32 code;

	// Filled by initialize_definitions.
	void *definitions; // maximum_count records of size bytes
	file_tag *subgroup_tags; // NONE for a deleted definition
	uint16 *flags;
	int16 count; // -1 while the group is not set up for a map
	int16 stack_size;
	file_tag *stack; // MAXIMUM_DEFINITION_STACK_SIZE subgroups being read
	// The tag group of each definition (one group may hold several tag
	// groups' lists) and the handle of its tag (NONE when deleted).
	file_tag *group_tags;
	int32 *tag_handles;
};

/* ---------- change count */

// Advanced by every change this loader makes to any group's tables or records,
// so that a module keeping answers derived from them knows when to drop them.
extern uint32 definitions_generation;

/* ---------- life cycle */

// Forgets every registered group; runs before any group is initialised.
void preinitialize_definitions(void);
// Allocates the group's tables and registers it; out of memory is fatal.
void initialize_definitions(definition_globals *definitions);
// Empties a group that is not set up; a group already set up keeps its definitions.
void initialize_definitions_for_new_map(definition_globals *definitions);
void dispose_definitions_from_old_map(definition_globals *definitions);

/* ---------- loading and lookup */

// The index of the definition with that subgroup, loading it if needed; NONE on failure.
int16 definition_tag_to_index(definition_globals *definitions, file_tag subgroup_tag);
// Copies definition into the next slot under the subgroup; NONE when the group is full.
int16 new_definition(definition_globals *definitions, file_tag subgroup_tag, const void *definition);
// The same for a definition of another tag group held by this group (string
// lists hold 'temp' and 'ditl' lists), whose tag handle is already known.
int16 new_definition_for_group(definition_globals *definitions, file_tag group_tag, file_tag subgroup_tag,
	int32 tag_handle, const void *definition);
// A loaded definition with that subgroup, newest first; NONE when none.
int16 subgroup_tag_to_definition_index(definition_globals *definitions, file_tag subgroup_tag);
// The same, keyed by (group, subgroup).
int16 group_subgroup_tag_to_definition_index(definition_globals *definitions, file_tag group_tag,
	file_tag subgroup_tag);

file_tag get_definition_subgroup(definition_globals *definitions, int16 definition_index);
// The definition's tag group (the group's own for most groups); NONE out of range.
file_tag get_definition_group(definition_globals *definitions, int16 definition_index);
// NONE for a deleted definition.
int32 get_definition_tag_header(definition_globals *definitions, int16 definition_index);
// "<unknown>" when it has no tag.
const char *get_definition_name(definition_globals *definitions, int16 definition_index);
const void *get_default_definition(definition_globals *definitions);
// NULL for a deleted definition or an index out of range. Inline: unit
// updates look up their kind's definition millions of times a battle.
inline void *try_and_get_definition(definition_globals *definitions, int16 definition_index)
{
	if (!definitions || !definitions->definitions || definition_index < 0 || definition_index >= definitions->count)
	{
		return nullptr;
	}
	if (definitions->subgroup_tags[definition_index] == static_cast<file_tag>(NONE)) return nullptr;
	return static_cast<uint8 *>(definitions->definitions) +
		static_cast<size_t>(definition_index) * static_cast<size_t>(definitions->size);
}
// The newest definition is removed (TRUE); any other is only marked deleted (FALSE).
boolean delete_definition(definition_globals *definitions, int16 definition_index);
// Keeps the index valid but no longer finds the definition by tag.
void orphan_definition(definition_globals *definitions, int16 definition_index);

/* ---------- registered groups */

int16 get_cached_definition_globals_count(void);
definition_globals *get_cached_definition_globals(int16 index);
// Whether the registered group of that tag group is set up for a map, so that
// asking it for a definition stores no error; false when none is registered.
boolean definition_group_is_set_up(file_tag group_tag);

#endif
