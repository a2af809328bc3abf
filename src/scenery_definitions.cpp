#include "scenery_definitions.h"

#include "collection_references.h"
#include "error_manager.h"
#include "object_definitions.h"
#include "projectile_definitions.h"
#include "projectile_group_definitions.h"
#include "shapes.h"
#include "tag_files/tag_files.h"

constexpr byte_swap_code scenery_definition_bs_data[] = {
	_begin_bs_array, 1,
	_4byte, _4byte, _4byte, _4byte, // flags, collection reference, object, projectile
	_2byte, _2byte, 4, // netgame scoring type and flag number, unused
	_begin_bs_array, MAXIMUM_SCENERY_PROJECTILE_GROUPS, _4byte, _end_bs_array,
	_begin_bs_array, MAXIMUM_SCENERY_SEQUENCES, _2byte, _end_bs_array,
	_2byte, 58, // model_permutation_delta, unused2
	_begin_bs_array, MAXIMUM_SCENERY_PROJECTILE_GROUPS, _2byte, _end_bs_array,
	_2byte, _2byte, _2byte, _2byte,
	_end_bs_array};
static_assert(get_byte_swap_struct_size(scenery_definition_bs_data) == sizeof(scenery_definition));

static constexpr file_tag no_tag = static_cast<file_tag>(NONE);

static scenery_definition make_default_scenery_definition(void)
{
	scenery_definition d = {};
	d.collection_reference_tag = d.object_tag = d.projectile_tag = no_tag;
	d.valid_netgame_scoring_type = NONE;
	for (file_tag &tag : d.projectile_group_tags) tag = no_tag;
	for (int16 &sequence : d.sequence_indexes) sequence = NONE;
	for (int16 &type : d.projectile_group_types) type = NONE;
	d.collection_reference_index = d.impact_projectile_group_type = d.object_type = d.projectile_type = NONE;
	return d;
}

static const scenery_definition default_scenery_definition = make_default_scenery_definition();

static void scenery_definition_dependencies(void *definition, report_definition_dependency_proc report)
{
	scenery_definition *d = static_cast<scenery_definition *>(definition);
	report(OBJECT_DEFINITION_GROUP_TAG, d->object_tag, &d->object_type);
	report(TAG("core"), d->collection_reference_tag, &d->collection_reference_index);
	report(PROJECTILE_DEFINITION_GROUP_TAG, d->projectile_tag, &d->projectile_type);
	for (int16 i = 0; i < 2; ++i)
	{
		report(PROJECTILE_GROUP_DEFINITION_GROUP_TAG, d->projectile_group_tags[i], &d->projectile_group_types[i]);
	}
}

static definition_globals scenery_definitions = {
	"scenery",
	SCENERY_DEFINITION_GROUP_TAG,
	SCENERY_DEFINITION_VERSION_NUMBER,
	MAXIMUM_SCENERY_DEFINITIONS_PER_MAP,
	static_cast<int16>(sizeof(scenery_definition)),
	scenery_definition_dependencies,
	postprocess_scenery_definition,
	nullptr,
	&default_scenery_definition,
	scenery_definition_bs_data,
	0,
	nullptr, nullptr, nullptr, NONE, 0, nullptr, nullptr, nullptr};

definition_globals *get_scenery_definitions(void)
{
	return &scenery_definitions;
}

const scenery_definition *get_default_scenery_definition(void)
{
	return &default_scenery_definition;
}

void initialize_scenery_definitions(void)
{
	// Always afresh: a second start-up (tests) re-registers the group.
	initialize_definitions(&scenery_definitions);
}

void initialize_scenery_definitions_for_new_map(void)
{
	if (scenery_definitions.definitions) initialize_definitions_for_new_map(&scenery_definitions);
}

void dispose_scenery_definitions_from_old_map(void)
{
	if (scenery_definitions.definitions) dispose_definitions_from_old_map(&scenery_definitions);
}

static boolean fail_scenery(const char *name, const char *what, file_tag tag)
{
	error_message(_error_data_missing, MODULE_NAME, __LINE__, "scenery %s has no %s '%s'.", name, what, tag_to_string(tag));
	return FALSE;
}

boolean postprocess_scenery_definition(definition_globals *, int16, int32 tag_handle, void *definition)
{
	scenery_definition *d = static_cast<scenery_definition *>(definition);
	const char *name = tag_handle == NONE ? "<unknown>" : tag_file_name_get(tag_handle);
	d->collection_reference_index = definition_tag_to_index(get_collection_reference_definitions(), d->collection_reference_tag);
	const collection_reference *reference = get_collection_reference(d->collection_reference_index);
	if (!reference) return fail_scenery(name, "collection reference", d->collection_reference_tag);
	d->object_type = object_definition_tag_to_index(d->object_tag);
	if (d->object_type == NONE) return fail_scenery(name, "object", d->object_tag);
	d->projectile_type = NONE;
	if (definition_tag_is_present(d->projectile_tag))
	{
		d->projectile_type = projectile_definition_tag_to_index(d->projectile_tag);
		if (d->projectile_type == NONE) return fail_scenery(name, "projectile", d->projectile_tag);
	}
	for (int16 i = 0; i < MAXIMUM_SCENERY_PROJECTILE_GROUPS; ++i)
	{
		d->projectile_group_types[i] = NONE;
		if (i > _scenery_detonation_projectile_group || !definition_tag_is_present(d->projectile_group_tags[i])) continue;
		d->projectile_group_types[i] = projectile_group_definition_tag_to_index(d->projectile_group_tags[i]);
		if (d->projectile_group_types[i] == NONE) return fail_scenery(name, "projectile group", d->projectile_group_tags[i]);
	}
	d->impact_projectile_group_type = d->projectile_group_types[_scenery_impact_projectile_group];
	const int16 ruined = d->sequence_indexes[_scenery_sequence_ruined];
	if (ruined != NONE && !verify_sequence_index(reference->collection_index, ruined))
	{
		error_message(_error_data_corrupted, MODULE_NAME, __LINE__, "scenery %s has a bad ruined sequence #%d.", name,
			static_cast<int>(ruined));
		return FALSE;
	}
	return TRUE;
}

int16 scenery_definition_tag_to_index(file_tag tag)
{
	return definition_tag_to_index(&scenery_definitions, tag);
}

scenery_definition *get_scenery_definition(int16 scenery_type)
{
	return static_cast<scenery_definition *>(try_and_get_definition(&scenery_definitions, scenery_type));
}

int16 new_scenery_definition_from_tag_data(file_tag subgroup, const void *tag_data, int32 tag_data_size)
{
	return new_flat_definition_from_tag_data(&scenery_definitions, subgroup, tag_data, tag_data_size);
}
