// Unit definitions ('unit'): a unit kind ('mons') paired with the collection
// reference ('core') that gives it its colours.
#ifndef UNIT_DEFINITIONS_H
#define UNIT_DEFINITIONS_H

#include <cstddef>

#include "cseries.h"
#include "byte_swapping.h"
#include "definitions.h"

#define UNIT_DEFINITION_GROUP_TAG TAG("unit")
#define UNIT_DEFINITION_VERSION_NUMBER 1
#define MAXIMUM_UNIT_DEFINITIONS_PER_MAP 512

enum // error code of the collection mismatch line
{
	_unit_definition_mismatch_error_code = 12
};

// 128 bytes, big-endian in the tag; only the two tags are stored data.
struct unit_definition
{
	file_tag monster_tag;
	file_tag collection_reference_tag;
	int16 unused[55]; // not swapped

	// Run time, not swapped.
	int16 player_index;
	file_tag parent_unit_tag;
	int16 monster_type;
	int16 collection_reference_index;
};
STORED_SIZE(unit_definition, 128);
static_assert(offsetof(unit_definition, player_index) == 118 && offsetof(unit_definition, parent_unit_tag) == 120 &&
	offsetof(unit_definition, collection_reference_index) == 126);

extern const byte_swap_code unit_definition_bs_data[];

definition_globals *get_unit_definitions(void);
void initialize_unit_definitions(void);
void initialize_unit_definitions_for_new_map(void);
void dispose_unit_definitions_from_old_map(void);

const unit_definition *get_default_unit_definition(void);
int32 get_unit_definition_tag_header_user_data(void);

void unit_definition_dependencies(void *definition, report_definition_dependency_proc report);
boolean postprocess_unit_definition(definition_globals *definitions, int16 definition_index, int32 tag_handle,
	void *definition);

// Loads on demand; NONE when missing or refused.
int16 unit_definition_tag_to_index(file_tag tag);
// NULL for an index that holds no definition.
unit_definition *get_unit_definition(int16 unit_type);
// A recoloured copy of the unit with that tag (its parent; without colours a
// plain copy), or NONE when no such unit is loaded or the group is full.
int16 custom_unit_definition(file_tag unit_tag, const struct rgb_color *primary_color,
	const struct rgb_color *secondary_color);
int16 new_unit_definition_from_tag_data(file_tag subgroup, const void *tag_data, int32 tag_data_size);

#endif
