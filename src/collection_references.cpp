#include "collection_references.h"

#include "error_manager.h"
#include "shape_file.h"
#include "shapes.h"
#include "tag_files/tag_files.h"
#include "world.h"
#include "zerv.h"

#include "shading_tables.h"

static const collection_reference default_collection_reference = {static_cast<file_tag>(NONE), 0, 0, {}, {}, 0, {}, 0, {}};

struct collection_references_globals_data
{
	rgb_color global_tint_color;
	short_fixed global_tint_fraction;
};

static collection_references_globals_data collection_references_globals;

static definition_globals collection_reference_definitions =
{
	"collection reference", COLLECTION_REFERENCE_GROUP_TAG, COLLECTION_REFERENCE_VERSION_NUMBER,
	MAXIMUM_COLLECTION_REFERENCES_PER_MAP, static_cast<int16>(sizeof(collection_reference)),
	collection_reference_dependencies, postprocess_collection_reference, NULL, &default_collection_reference,
	collection_reference_byte_swapping_data, 0,
	NULL, NULL, NULL, NONE, 0, NULL, NULL, NULL
};

/* ---------- life cycle */

void initialize_collection_references(void)
{
	memset(&collection_references_globals, 0, sizeof(collection_references_globals));
	initialize_definitions(&collection_reference_definitions);
}

void initialize_collection_references_for_new_map(void)
{
	initialize_definitions_for_new_map(&collection_reference_definitions);
}

void dispose_collection_references_from_old_map(void)
{
	dispose_definitions_from_old_map(&collection_reference_definitions);
}

definition_globals *get_collection_reference_definitions(void)
{
	return &collection_reference_definitions;
}

/* ---------- definition hooks */

void collection_reference_dependencies(void *definition, report_definition_dependency_proc report)
{
	collection_reference *reference = static_cast<collection_reference *>(definition);
	if (reference && report) report(COLLECTION_GROUP_TAG, reference->collection_tag, &reference->collection_index);
}

boolean postprocess_collection_reference(definition_globals *, int16, int32 tag_handle, void *definition)
{
	collection_reference *reference = static_cast<collection_reference *>(definition);

	// Run-time fields never come from the file.
	for (int32 p = 0; p < MAXIMUM_PERMUTATIONS_PER_COLLECTION_REFERENCE; ++p) reference->color_table_indexes[p] = NONE;
	reference->collection_index = get_collection_index(reference->collection_tag);
	if (reference->collection_index == NONE) return FALSE;

	if (reference->number_of_permutations < 1)
	{
		error_message(_error_data_corrupted, MODULE_NAME, __LINE__, "collection reference %s has no permutations.",
			tag_file_name_get(tag_handle));
		return FALSE;
	}
	if (reference->number_of_permutations > MAXIMUM_PERMUTATIONS_PER_COLLECTION_REFERENCE)
	{
		error_message(_error_out_of_bounds, MODULE_NAME, __LINE__, "%s #%d not in [#%d,#%d) for \"%s\" collection",
			"permutation count", static_cast<int>(reference->number_of_permutations), 1,
			MAXIMUM_PERMUTATIONS_PER_COLLECTION_REFERENCE + 1, get_collection_name(reference->collection_index));
		return FALSE;
	}

	const rgb_color *tint_color = &reference->tint_color;
	short_fixed tint_fraction = reference->tint_fraction;
	if (reference->tint_color.flags & _color_use_global_tint_flag)
	{
		tint_color = &collection_references_globals.global_tint_color;
		tint_fraction = collection_references_globals.global_tint_fraction;
	}

	boolean result = TRUE;
	for (int32 p = 0; p < reference->number_of_permutations; ++p)
	{
		const int16 table_index = add_shading_table_to_collection_index(reference->collection_index, reference->colors[p],
			_add_shading_table_for_tinting, tint_fraction, tint_color);
		reference->color_table_indexes[p] = table_index;
		// The other permutations are still built.
		if (table_index == NONE) result = FALSE;
	}
	return result;
}

/* ---------- lookups */

boolean test_collection_replacement_colors(int16 collection_index, const rgb_color *permutation_colors,
	const rgb_color *primary_color, const rgb_color *secondary_color)
{
	int16 count = 0;
	const hue_change *hue_changes = get_collection_hue_changes(collection_index, &count);
	if (!hue_changes || !permutation_colors) return FALSE;

	for (int32 i = 0; i < count && i < NUMBER_OF_REPLACEMENT_COLORS_PER_PERMUTATION; ++i)
	{
		if (permutation_colors[i].flags & _color_unused_flag) continue;
		if ((hue_changes[i].flags & _hue_change_primary_flag) && primary_color &&
			!(primary_color->flags & _color_unused_flag))
		{
			return TRUE;
		}
		if ((hue_changes[i].flags & _hue_change_secondary_flag) && secondary_color &&
			!(secondary_color->flags & _color_unused_flag))
		{
			return TRUE;
		}
	}
	return FALSE;
}

const collection_reference *get_default_collection_reference(void)
{
	return &default_collection_reference;
}

uint32 get_collection_reference_tag_header_user_data(const collection_reference *reference)
{
	return reference ? reference->collection_tag : static_cast<uint32>(NONE);
}

collection_reference *get_collection_reference(int16 collection_reference_index)
{
	return static_cast<collection_reference *>(
		try_and_get_definition(&collection_reference_definitions, collection_reference_index));
}

int16 custom_collection_reference(file_tag base_tag, const rgb_color *primary_color, const rgb_color *secondary_color,
	boolean use_global_tint)
{
	if (base_tag == static_cast<file_tag>(NONE) || !primary_color || !secondary_color) return NONE;
	if (collection_reference_definitions.count < 0) return NONE;
	const int16 base_index = definition_tag_to_index(&collection_reference_definitions, base_tag);
	const collection_reference *base = get_collection_reference(base_index);
	if (!base) return NONE;

	if (game_play_version > 1300)
	{
		if (base->flags & _core_override_player_tints_flag) return NONE;
		boolean takes_colors = FALSE;
		for (int32 p = 0; p < base->number_of_permutations && p < MAXIMUM_PERMUTATIONS_PER_COLLECTION_REFERENCE; ++p)
		{
			if (test_collection_replacement_colors(base->collection_index, base->colors[p], primary_color, secondary_color))
			{
				takes_colors = TRUE;
				break;
			}
		}
		if (!takes_colors) return NONE;
	}
	if (base->number_of_permutations < 1) return NONE;

	// The copy is found by index only, so every call starts from the true base.
	collection_reference copy = *base;
	const int16 copy_index = new_definition(&collection_reference_definitions, base_tag, &copy);
	if (copy_index == NONE) return NONE;
	collection_reference_definitions.flags[copy_index] |= _definition_postprocessed_flag;
	orphan_definition(&collection_reference_definitions, copy_index);
	collection_reference *custom = get_collection_reference(copy_index);

	const int16 permutation = static_cast<int16>(zerv_random() % static_cast<uint16>(custom->number_of_permutations));

	const boolean keeps_base_tint = game_play_version > 1600 && !(custom->tint_color.flags & _color_use_global_tint_flag);
	const rgb_color *tint_color = keeps_base_tint ? &custom->tint_color : NULL;
	const short_fixed tint_fraction = keeps_base_tint ? custom->tint_fraction : 0;

	const int16 table_index = add_adjusted_shading_table_to_collection_index(custom->collection_index,
		custom->colors[permutation], primary_color, secondary_color, _add_shading_table_for_tinting, use_global_tint,
		tint_fraction, tint_color);
	if (table_index == NONE) return copy_index;

	custom->color_table_indexes[0] = table_index;
	custom->number_of_permutations = 1;
	return copy_index;
}

int16 get_collection_reference_permutation(int16 collection_reference_index, int16 color_table_index)
{
	const collection_reference *reference = get_collection_reference(collection_reference_index);
	if (!reference) return 0;
	for (int16 p = 0; p < reference->number_of_permutations && p < MAXIMUM_PERMUTATIONS_PER_COLLECTION_REFERENCE; ++p)
	{
		if (reference->color_table_indexes[p] == color_table_index) return p;
	}
	return 0;
}

/* ---------- the global tint */

const rgb_color *get_global_tint_color(void)
{
	return &collection_references_globals.global_tint_color;
}

short_fixed get_global_tint_fraction(void)
{
	return collection_references_globals.global_tint_fraction;
}

void set_global_tint_color(const rgb_color *tint_color, short_fixed tint_fraction)
{
	if (tint_color) collection_references_globals.global_tint_color = *tint_color;
	else memset(&collection_references_globals.global_tint_color, 0, sizeof(rgb_color));
	collection_references_globals.global_tint_fraction = tint_fraction;
}
