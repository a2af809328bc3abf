// Unit definitions ('unit'): a unit kind paired with its colours.
#include "unit_definitions.h"

#include <cstdio>

#include "collection_references.h"
#include "error_manager.h"
#include "monster_definitions.h"
#include "projectile_definitions.h"
#include "tag_files/tag_files.h"

// Only the two tags are stored data; the rest is left alone.
constexpr byte_swap_code unit_definition_bs_data[] = {_begin_bs_array, 1, _4byte, _4byte, 120, _end_bs_array};
static_assert(get_byte_swap_struct_size(unit_definition_bs_data) == sizeof(unit_definition));

static unit_definition make_default_unit_definition(void)
{
	unit_definition d = {};
	d.monster_tag = d.collection_reference_tag = static_cast<file_tag>(NONE);
	return d;
}

static const unit_definition default_unit_definition = make_default_unit_definition();

static definition_globals unit_definitions = {
	"unit",
	UNIT_DEFINITION_GROUP_TAG,
	UNIT_DEFINITION_VERSION_NUMBER,
	MAXIMUM_UNIT_DEFINITIONS_PER_MAP,
	static_cast<int16>(sizeof(unit_definition)),
	unit_definition_dependencies,
	postprocess_unit_definition,
	nullptr,
	&default_unit_definition,
	unit_definition_bs_data,
	0,
	nullptr, nullptr, nullptr, NONE, 0, nullptr, nullptr, nullptr};

definition_globals *get_unit_definitions(void)
{
	return &unit_definitions;
}

const unit_definition *get_default_unit_definition(void)
{
	return &default_unit_definition;
}

int32 get_unit_definition_tag_header_user_data(void)
{
	return NONE;
}

void initialize_unit_definitions(void)
{
	initialize_definitions(&unit_definitions);
}

void initialize_unit_definitions_for_new_map(void)
{
	if (unit_definitions.definitions) initialize_definitions_for_new_map(&unit_definitions);
}

void dispose_unit_definitions_from_old_map(void)
{
	if (unit_definitions.definitions) dispose_definitions_from_old_map(&unit_definitions);
}

void unit_definition_dependencies(void *definition, report_definition_dependency_proc report)
{
	unit_definition *d = static_cast<unit_definition *>(definition);
	report(TAG("core"), d->collection_reference_tag, &d->collection_reference_index);
	report(TAG("mons"), d->monster_tag, &d->monster_type);
}

boolean postprocess_unit_definition(definition_globals *definitions, int16 definition_index, int32 tag_handle,
	void *definition)
{
	unit_definition *d = static_cast<unit_definition *>(definition);
	d->monster_type = monster_definition_tag_to_index(d->monster_tag);
	d->collection_reference_index = definition_tag_to_index(get_collection_reference_definitions(),
		d->collection_reference_tag);
	const monster_definition *monster = get_monster_definition(d->monster_type);
	const collection_reference *reference = get_collection_reference(d->collection_reference_index);
	if (!monster || !reference) return FALSE;
	if (monster->collection_tag != reference->collection_tag)
	{
		// Both texts are copied: the conversion returns a shared buffer.
		char reference_text[16], monster_text[16];
		snprintf(reference_text, sizeof(reference_text), "%s", tag_to_string(reference->collection_tag));
		snprintf(monster_text, sizeof(monster_text), "%s", tag_to_string(monster->collection_tag));
		error_message(_error_data_mismatch, MODULE_NAME, __LINE__,
			"%s unit definition has mismatched collection reference (%s) and monster (%s).",
			tag_handle == NONE ? "<unknown>" : tag_file_name_get(tag_handle), reference_text, monster_text);
		return FALSE;
	}
	d->player_index = NONE;
	d->parent_unit_tag = get_definition_subgroup(definitions, definition_index);
	return TRUE;
}

int16 unit_definition_tag_to_index(file_tag tag)
{
	return definition_tag_to_index(&unit_definitions, tag);
}

unit_definition *get_unit_definition(int16 unit_type)
{
	return static_cast<unit_definition *>(try_and_get_definition(&unit_definitions, unit_type));
}

int16 custom_unit_definition(file_tag unit_tag, const rgb_color *primary_color, const rgb_color *secondary_color)
{
	const int16 parent = subgroup_tag_to_definition_index(&unit_definitions, unit_tag);
	const unit_definition *original = get_unit_definition(parent);
	if (!original) return NONE;
	const unit_definition copy = *original;
	const int16 index = new_definition(&unit_definitions, unit_tag, &copy);
	unit_definition *custom = get_unit_definition(index);
	if (!custom) return NONE;
	// Resolved already, and never found by tag: a lookup of the tag keeps
	// finding the plain unit, and no reload resets the copy's owner.
	unit_definitions.flags[index] |= _definition_postprocessed_flag;
	orphan_definition(&unit_definitions, index);
	const int16 reference = custom_collection_reference(copy.collection_reference_tag, primary_color, secondary_color, TRUE);
	if (reference != NONE) custom->collection_reference_index = reference;
	custom->parent_unit_tag = unit_tag;
	return index;
}

int16 new_unit_definition_from_tag_data(file_tag subgroup, const void *tag_data, int32 tag_data_size)
{
	return new_flat_definition_from_tag_data(&unit_definitions, subgroup, tag_data, tag_data_size);
}
