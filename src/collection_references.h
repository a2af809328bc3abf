// Collection references ('core'): a collection bound to up to five colour
// permutations, each made into a tinting shading table when loaded.
#ifndef COLLECTION_REFERENCES_H
#define COLLECTION_REFERENCES_H

#include "cseries.h"
#include "byte_swapping.h"
#include "bitmaps.h"
#include "definitions.h"

#define COLLECTION_REFERENCE_GROUP_TAG TAG("core")
#define COLLECTION_REFERENCE_VERSION_NUMBER 1
#define MAXIMUM_COLLECTION_REFERENCES_PER_MAP 512
#define MAXIMUM_PERMUTATIONS_PER_COLLECTION_REFERENCE 5
#define NUMBER_OF_REPLACEMENT_COLORS_PER_PERMUTATION 8

enum // collection_reference flags
{
	_core_override_player_tints_bit,
	NUMBER_OF_COLLECTION_REFERENCE_FLAGS,

	_core_override_player_tints_flag = FLAG(_core_override_player_tints_bit)
};

// 384 bytes; big-endian in the tag.
struct collection_reference
{
	file_tag collection_tag;
	int16 number_of_permutations; // 1..5
	short_fixed tint_fraction;
	rgb_color colors[MAXIMUM_PERMUTATIONS_PER_COLLECTION_REFERENCE][NUMBER_OF_REPLACEMENT_COLORS_PER_PERMUTATION];
	rgb_color tint_color;
	uint16 flags;
	int16 unused[17];

	// Run time.
	int16 collection_index;
	int16 color_table_indexes[MAXIMUM_PERMUTATIONS_PER_COLLECTION_REFERENCE];
};
STORED_SIZE(collection_reference, 384);
static_assert(offsetof(collection_reference, tint_color) == 328 && offsetof(collection_reference, flags) == 336 &&
	offsetof(collection_reference, collection_index) == 372);

inline constexpr byte_swap_code collection_reference_byte_swapping_data[] =
{
	_begin_bs_array, 1,
	_4byte, _2byte, _2byte,
	_begin_bs_array, MAXIMUM_PERMUTATIONS_PER_COLLECTION_REFERENCE * NUMBER_OF_REPLACEMENT_COLORS_PER_PERMUTATION,
		_2byte, _2byte, _2byte, _2byte,
	_end_bs_array,
	_2byte, _2byte, _2byte, _2byte, // tint colour
	_2byte, // flags
	34, 2, 10, // unused, then the run-time collection and table indexes
	_end_bs_array
};
static_assert(get_byte_swap_struct_size(collection_reference_byte_swapping_data) == sizeof(collection_reference));

void initialize_collection_references(void);
void initialize_collection_references_for_new_map(void);
void dispose_collection_references_from_old_map(void);
definition_globals *get_collection_reference_definitions(void);

void collection_reference_dependencies(void *definition, report_definition_dependency_proc report);
boolean postprocess_collection_reference(definition_globals *definitions, int16 definition_index, int32 tag_handle,
	void *definition);

// Whether one of the collection's hue changes would take the primary or the
// secondary colour together with that permutation's colour.
boolean test_collection_replacement_colors(int16 collection_index, const rgb_color *permutation_colors,
	const rgb_color *primary_color, const rgb_color *secondary_color);

const collection_reference *get_default_collection_reference(void);
uint32 get_collection_reference_tag_header_user_data(const collection_reference *reference);
// A team-coloured one-permutation copy of the base reference; its index or NONE.
int16 custom_collection_reference(file_tag base_tag, const rgb_color *primary_color, const rgb_color *secondary_color,
	boolean use_global_tint);
// The permutation whose table is color_table_index; 0 when none.
int16 get_collection_reference_permutation(int16 collection_reference_index, int16 color_table_index);
// NULL when the index holds no reference.
collection_reference *get_collection_reference(int16 collection_reference_index);

const rgb_color *get_global_tint_color(void);
short_fixed get_global_tint_fraction(void);
void set_global_tint_color(const rgb_color *tint_color, short_fixed tint_fraction);

#endif
