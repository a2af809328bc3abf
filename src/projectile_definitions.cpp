#include "projectile_definitions.h"

#include <cstring>

#include "artifact_definitions.h"
#include "error_manager.h"
#include "geometry.h"
#include "lightning.h"
#include "local_projectiles.h"
#include "memory.h"
#include "object_definitions.h"
#include "projectile_group_definitions.h"
#include "shapes.h"
#include "tag_files/tag_files.h"

constexpr byte_swap_code projectile_definition_bs_data[] = {
	_begin_bs_array, 1,
	_4byte, _4byte, // flags, collection_tag
	_2byte, _2byte, _2byte, _2byte, // sequences, splash type
	_4byte, _4byte, // detonation group, contrail
	_2byte, _2byte, // contrails
	_4byte, // object_tag
	_2byte, _2byte, _2byte, _2byte, _2byte, // inertia, random velocity, volume, tracking
	_2byte, _2byte, _2byte, _2byte, _2byte, // fractions, detonation velocity, class
	_4byte, 4, // lightning_tag, unused
	_begin_bs_array, MAXIMUM_PROJECTILE_SOUNDS, _4byte, _end_bs_array,
	_2byte, _2byte, _2byte, _2byte, // animation rate, lifespan
	_2byte, _2byte, _2byte, _2byte, // contrail frequencies, turning speed
	_4byte, _4byte, // promoted projectile, promotion group
	_2byte, _2byte, // maximum_safe_acceleration, acceleration_detonation_fraction
	DAMAGE_DEFINITION_BS_CODES,
	_4byte, _4byte, _4byte, // artifact, target detonation group, geometry
	_2byte, _2byte, // delay
	_4byte, // local group
	_2byte, _2byte, // nearby target radii
	_4byte, // promotion unit
	76, // unused3, unused3c, use_accel
	_begin_bs_array, 9, _2byte, _end_bs_array,
	_begin_bs_array, MAXIMUM_PROJECTILE_SOUNDS, _2byte, _end_bs_array,
	_2byte, _2byte, _2byte,
	_end_bs_array};
static_assert(get_byte_swap_struct_size(projectile_definition_bs_data) == sizeof(projectile_definition));

static constexpr file_tag no_tag = static_cast<file_tag>(NONE);

static projectile_definition make_default_projectile_definition(void)
{
	projectile_definition d = {};
	d.collection_tag = d.detonation_projectile_group_tag = d.contrail_projectile_tag = d.object_tag = no_tag;
	d.lightning_tag = d.promoted_projectile_tag = d.promotion_projectile_group_tag = d.artifact_tag = no_tag;
	d.target_detonation_projectile_group_tag = d.geometry_tag = d.local_projectile_group_tag = no_tag;
	d.promotion_unit_tag = no_tag;
	for (file_tag &tag : d.sound_tags) tag = no_tag;
	for (int16 &sequence : d.sequence_indexes) sequence = NONE;
	d.maximum_contrail_count = 32767;
	d.inertia_lower_bound = 256;
	d.detonation_frequency = d.media_detonation_frequency = 65535;
	d.initial_contrail_frequency = d.acceleration_detonation_fraction = 65535;
	d.animation_rate_lower_bound = 256;
	d.guided_turning_speed = 546;
	d.projectile_class = NONE;
	d.damage.type = _damage_explosion;
	d.local_projectile_group_type = d.geometry_index = d.target_detonation_projectile_group_type = NONE;
	d.lightning_index = d.artifact_index = d.detonation_projectile_group_type = d.contrail_projectile_type = NONE;
	d.promotion_projectile_group_type = d.promoted_projectile_type = NONE;
	for (int16 &sound : d.sound_indexes) sound = NONE;
	d.collection_index = d.color_table_index = d.object_type = NONE;
	return d;
}

static const projectile_definition default_projectile_definition = make_default_projectile_definition();

static void projectile_definition_dependencies(void *definition, report_definition_dependency_proc report)
{
	projectile_definition *d = static_cast<projectile_definition *>(definition);
	report(TAG(".256"), d->collection_tag, &d->collection_index);
	report(OBJECT_DEFINITION_GROUP_TAG, d->object_tag, &d->object_type);
	report(PROJECTILE_GROUP_DEFINITION_GROUP_TAG, d->detonation_projectile_group_tag, &d->detonation_projectile_group_type);
	report(PROJECTILE_GROUP_DEFINITION_GROUP_TAG, d->promotion_projectile_group_tag, &d->promotion_projectile_group_type);
	report(PROJECTILE_DEFINITION_GROUP_TAG, d->contrail_projectile_tag, &d->contrail_projectile_type);
	report(PROJECTILE_DEFINITION_GROUP_TAG, d->promoted_projectile_tag, &d->promoted_projectile_type);
}

static definition_globals projectile_definitions = {
	"projectile",
	PROJECTILE_DEFINITION_GROUP_TAG,
	PROJECTILE_DEFINITION_VERSION_NUMBER,
	MAXIMUM_PROJECTILE_DEFINITIONS_PER_MAP,
	static_cast<int16>(sizeof(projectile_definition)),
	projectile_definition_dependencies,
	postprocess_projectile_definition,
	nullptr,
	&default_projectile_definition,
	projectile_definition_bs_data,
	0,
	nullptr, nullptr, nullptr, NONE, 0, nullptr, nullptr, nullptr};

definition_globals *get_projectile_definitions(void)
{
	return &projectile_definitions;
}

const projectile_definition *get_default_projectile_definition(void)
{
	return &default_projectile_definition;
}

void initialize_projectile_definitions(void)
{
	// Always afresh: a second start-up (tests) re-registers the group.
	initialize_definitions(&projectile_definitions);
}

void initialize_projectile_definitions_for_new_map(void)
{
	if (projectile_definitions.definitions) initialize_definitions_for_new_map(&projectile_definitions);
}

void dispose_projectile_definitions_from_old_map(void)
{
	if (projectile_definitions.definitions) dispose_definitions_from_old_map(&projectile_definitions);
}

// A present tag that does not resolve rejects the definition with a line.
static boolean resolve_reference(const char *name, const char *field, file_tag tag, int16 resolved, int16 *slot)
{
	*slot = definition_tag_is_present(tag) ? resolved : static_cast<int16>(NONE);
	if (definition_tag_is_present(tag) && resolved == NONE)
	{
		error_message(_error_data_missing, MODULE_NAME, __LINE__, "projectile %s has no %s '%s'.", name, field,
			tag_to_string(tag));
		return FALSE;
	}
	return TRUE;
}

static int16 resolve_sound(file_tag tag)
{
	if (!definition_tag_is_present(tag)) return NONE;
	const resolve_sequence_sound_proc resolve = get_shapes_test_hooks()->resolve_sequence_sound;
	return resolve ? resolve(tag) : static_cast<int16>(NONE);
}

static int16 resolve_if_present(file_tag tag, int16 (*resolve)(file_tag))
{
	return definition_tag_is_present(tag) ? resolve(tag) : static_cast<int16>(NONE);
}

boolean postprocess_projectile_definition(definition_globals *, int16, int32 tag_handle, void *definition)
{
	projectile_definition *d = static_cast<projectile_definition *>(definition);
	const char *name = tag_handle == NONE ? "<unknown>" : tag_file_name_get(tag_handle);

	d->object_type = object_definition_tag_to_index(d->object_tag);
	if (d->object_type == NONE)
	{
		error_message(_error_data_missing, MODULE_NAME, __LINE__, "projectile %s has no object '%s'.", name,
			tag_to_string(d->object_tag));
		return FALSE;
	}
	// An explosion that never grows never reaches anything and never ends.
	if (d->damage.type != NONE && (d->damage.flags & _damage_area_of_effect_flag) &&
		!(d->damage.flags & _damage_instantaneous_flag) && d->damage.rate_of_expansion <= 0 &&
		static_cast<int32>(d->damage.radius_lower_bound) + d->damage.radius_delta > 0)
	{
		error_message(_error_data_corrupted, MODULE_NAME, __LINE__, "projectile %s has a bad damage rate_of_expansion.",
			name);
		return FALSE;
	}
	if (!resolve_reference(name, "contrail", d->contrail_projectile_tag,
			resolve_if_present(d->contrail_projectile_tag, projectile_definition_tag_to_index), &d->contrail_projectile_type) ||
		!resolve_reference(name, "detonation group", d->detonation_projectile_group_tag,
			resolve_if_present(d->detonation_projectile_group_tag, projectile_group_definition_tag_to_index),
			&d->detonation_projectile_group_type) ||
		!resolve_reference(name, "artifact", d->artifact_tag,
			resolve_if_present(d->artifact_tag, artifact_definition_tag_to_index), &d->artifact_index) ||
		!resolve_reference(name, "promoted projectile", d->promoted_projectile_tag,
			resolve_if_present(d->promoted_projectile_tag, projectile_definition_tag_to_index), &d->promoted_projectile_type) ||
		!resolve_reference(name, "promotion group", d->promotion_projectile_group_tag,
			resolve_if_present(d->promotion_projectile_group_tag, projectile_group_definition_tag_to_index),
			&d->promotion_projectile_group_type) ||
		!resolve_reference(name, "target detonation group", d->target_detonation_projectile_group_tag,
			resolve_if_present(d->target_detonation_projectile_group_tag, projectile_group_definition_tag_to_index),
			&d->target_detonation_projectile_group_type) ||
		!resolve_reference(name, "geometry", d->geometry_tag,
			resolve_if_present(d->geometry_tag, geometry_definition_tag_to_index), &d->geometry_index) ||
		!resolve_reference(name, "local projectile group", d->local_projectile_group_tag,
			resolve_if_present(d->local_projectile_group_tag, local_projectile_group_definition_tag_to_index),
			&d->local_projectile_group_type))
	{
		return FALSE;
	}
	// Sounds that do not resolve are none, the rebound sound too: there is no sound layer to ask.
	for (int16 i = 0; i < MAXIMUM_PROJECTILE_SOUNDS; ++i) d->sound_indexes[i] = resolve_sound(d->sound_tags[i]);
	d->lightning_index = resolve_if_present(d->lightning_tag, lightning_definition_tag_to_index);
	if ((d->flags & _projectile_is_lightning_flag) && d->lightning_index == NONE)
	{
		error_message(_error_data_missing, MODULE_NAME, __LINE__, "lightning projectile %s has no lightning '%s'.", name,
			tag_to_string(d->lightning_tag));
		return FALSE;
	}
	d->collection_index = get_collection_index(d->collection_tag);
	for (int16 i = 0; i < NUMBER_OF_PROJECTILE_SEQUENCES; ++i)
	{
		if (d->sequence_indexes[i] == NONE) continue;
		if (d->collection_index == NONE || !verify_sequence_index(d->collection_index, d->sequence_indexes[i]))
		{
			error_message(_error_data_corrupted, MODULE_NAME, __LINE__, "projectile %s has a bad sequence #%d.", name,
				static_cast<int>(d->sequence_indexes[i]));
			return FALSE;
		}
	}
	d->color_table_index = 0;
	if (!(d->flags & _projectile_uses_owner_color_table_index_flag) && d->collection_index != NONE)
	{
		// A tinting table: the masonry and smoking permutations are tints.
		const int16 table = add_shading_table_to_collection_index(d->collection_index, nullptr,
			_add_shading_table_for_tinting, 0, nullptr);
		d->color_table_index = table == NONE ? static_cast<int16>(0) : table;
	}
	if (!(d->flags & _projectile_is_melee_attack_flag)) d->damage.flags |= _damage_is_long_range_flag;
	return TRUE;
}

int16 projectile_definition_tag_to_index(file_tag tag)
{
	return definition_tag_to_index(&projectile_definitions, tag);
}

projectile_definition *get_projectile_definition(int16 projectile_type)
{
	return static_cast<projectile_definition *>(try_and_get_definition(&projectile_definitions, projectile_type));
}

int16 new_projectile_definition_from_tag_data(file_tag subgroup, const void *tag_data, int32 tag_data_size)
{
	return new_flat_definition_from_tag_data(&projectile_definitions, subgroup, tag_data, tag_data_size);
}

int16 new_flat_definition_from_tag_data(definition_globals *definitions, file_tag subgroup, const void *tag_data,
	int32 tag_data_size)
{
	uint8 *record = new_definition_header_from_tag_data(definitions, subgroup, tag_data, tag_data_size);
	if (!record) return NONE;
	const int16 index = new_definition_for_group(definitions, definitions->group, subgroup, NONE, record);
	dispose_pointer(record);
	return index == NONE ? NONE : postprocess_new_definition(definitions, index);
}
