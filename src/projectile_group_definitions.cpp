#include "projectile_group_definitions.h"

#include "error_manager.h"
#include "local_projectiles.h"
#include "mesh_effects.h"
#include "projectile_definitions.h"
#include "shapes.h"
#include "tag_files/tag_files.h"

constexpr byte_swap_code projectile_group_definition_bs_data[] = {
	_begin_bs_array, 1,
	_4byte, _2byte, 2, // flags, number_of_parts, pad
	_4byte, _4byte, _4byte, // mesh effect, sound, local group
	6, _2byte, _2byte, _2byte,
	_begin_bs_array, MAXIMUM_NUMBER_OF_PARTS_PER_PROJECTILE_GROUP,
		_4byte, _4byte, _2byte, _2byte, _2byte, _2byte, 4, _2byte, _2byte, _4byte, _2byte, _2byte,
	_end_bs_array,
	_end_bs_array};
static_assert(get_byte_swap_struct_size(projectile_group_definition_bs_data) == sizeof(projectile_group_definition));

static constexpr file_tag no_tag = static_cast<file_tag>(NONE);

static const projectile_group_part_definition default_projectile_group_part_definition = {
	no_tag, 0, 1, 0, 0, 256, {}, 65535, 0, no_tag, NONE, NONE};

static projectile_group_definition make_default_projectile_group_definition(void)
{
	projectile_group_definition d = {};
	d.mesh_effect_tag = d.sound_tag = d.local_projectile_group_tag = no_tag;
	d.local_projectile_group_type = d.mesh_effect_type = d.sound_index = NONE;
	for (projectile_group_part_definition &part : d.parts) part = default_projectile_group_part_definition;
	return d;
}

static const projectile_group_definition default_projectile_group_definition = make_default_projectile_group_definition();

static void projectile_group_definition_dependencies(void *definition, report_definition_dependency_proc report)
{
	projectile_group_definition *d = static_cast<projectile_group_definition *>(definition);
	const int16 count = static_cast<int16>(PIN(d->number_of_parts, 0, MAXIMUM_NUMBER_OF_PARTS_PER_PROJECTILE_GROUP));
	for (int16 i = 0; i < count; ++i) report(PROJECTILE_DEFINITION_GROUP_TAG, d->parts[i].projectile_tag, &d->parts[i].projectile_type);
}

static definition_globals projectile_group_definitions = {
	"projectile group",
	PROJECTILE_GROUP_DEFINITION_GROUP_TAG,
	PROJECTILE_GROUP_DEFINITION_VERSION_NUMBER,
	MAXIMUM_PROJECTILE_GROUP_DEFINITIONS_PER_MAP,
	static_cast<int16>(sizeof(projectile_group_definition)),
	projectile_group_definition_dependencies,
	postprocess_projectile_group_definition,
	nullptr,
	&default_projectile_group_definition,
	projectile_group_definition_bs_data,
	0,
	nullptr, nullptr, nullptr, NONE, 0, nullptr, nullptr, nullptr};

definition_globals *get_projectile_group_definitions(void)
{
	return &projectile_group_definitions;
}

const projectile_group_definition *get_default_projectile_group_definition(void)
{
	return &default_projectile_group_definition;
}

const projectile_group_part_definition *get_default_projectile_group_part_definition(void)
{
	return &default_projectile_group_part_definition;
}

void initialize_projectile_group_definitions(void)
{
	// Always afresh: a second start-up (tests) re-registers the group.
	initialize_definitions(&projectile_group_definitions);
}

void initialize_projectile_group_definitions_for_new_map(void)
{
	if (projectile_group_definitions.definitions) initialize_definitions_for_new_map(&projectile_group_definitions);
}

void dispose_projectile_group_definitions_from_old_map(void)
{
	if (projectile_group_definitions.definitions) dispose_definitions_from_old_map(&projectile_group_definitions);
}

boolean postprocess_projectile_group_definition(definition_globals *, int16, int32 tag_handle, void *definition)
{
	projectile_group_definition *d = static_cast<projectile_group_definition *>(definition);
	const char *name = tag_handle == NONE ? "<unknown>" : tag_file_name_get(tag_handle);
	if (d->number_of_parts < 0 || d->number_of_parts > MAXIMUM_NUMBER_OF_PARTS_PER_PROJECTILE_GROUP)
	{
		error_message(_error_data_corrupted, MODULE_NAME, __LINE__, "projectile group %s has %d parts (at most %d).", name,
			static_cast<int>(d->number_of_parts), MAXIMUM_NUMBER_OF_PARTS_PER_PROJECTILE_GROUP);
		return FALSE;
	}
	// Missing optional references become none.
	d->mesh_effect_type = definition_tag_is_present(d->mesh_effect_tag) ?
		mesh_effect_definition_tag_to_index(d->mesh_effect_tag) : static_cast<int16>(NONE);
	d->local_projectile_group_type = definition_tag_is_present(d->local_projectile_group_tag) ?
		local_projectile_group_definition_tag_to_index(d->local_projectile_group_tag) : static_cast<int16>(NONE);
	const resolve_sequence_sound_proc resolve_sound = get_shapes_test_hooks()->resolve_sequence_sound;
	d->sound_index = definition_tag_is_present(d->sound_tag) && resolve_sound ? resolve_sound(d->sound_tag) :
		static_cast<int16>(NONE);
	for (int16 i = 0; i < d->number_of_parts; ++i)
	{
		projectile_group_part_definition *part = &d->parts[i];
		part->projectile_type = projectile_definition_tag_to_index(part->projectile_tag);
		if (part->projectile_type == NONE)
		{
			error_message(_error_data_missing, MODULE_NAME, __LINE__, "projectile group %s has no projectile '%s'.", name,
				tag_to_string(part->projectile_tag));
			return FALSE;
		}
		part->fail_projectile_type = definition_tag_is_present(part->fail_projectile_tag) ?
			projectile_definition_tag_to_index(part->fail_projectile_tag) : static_cast<int16>(NONE);
	}
	return TRUE;
}

int16 projectile_group_definition_tag_to_index(file_tag tag)
{
	return definition_tag_to_index(&projectile_group_definitions, tag);
}

projectile_group_definition *get_projectile_group_definition(int16 group_type)
{
	return static_cast<projectile_group_definition *>(try_and_get_definition(&projectile_group_definitions, group_type));
}

int16 new_projectile_group_definition_from_tag_data(file_tag subgroup, const void *tag_data, int32 tag_data_size)
{
	return new_flat_definition_from_tag_data(&projectile_group_definitions, subgroup, tag_data, tag_data_size);
}
