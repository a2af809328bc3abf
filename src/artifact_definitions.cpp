#include "artifact_definitions.h"

#include <cstring>

#include "error_manager.h"
#include "monsters.h"
#include "projectile_definitions.h"
#include "shapes.h"
#include "string_definitions.h"
#include "tag_files/tag_files.h"
#include "zerv.h"


// The override attack is swapped with the record, once, by the loader: a
// retried postprocess never swaps it again.
constexpr byte_swap_code artifact_definition_bs_data[] = {
	_begin_bs_array, 1,
	_4byte, _4byte, // flags, monster_restriction_tag
	_2byte, _2byte, _2byte, _2byte, // charges, monster_restriction_type
	_4byte, // collection_tag
	_begin_bs_array, MAXIMUM_NUMBER_OF_ARTIFACT_SEQUENCES, _2byte, _end_bs_array,
	_begin_bs_array, MAXIMUM_NUMBER_OF_ARTIFACT_PROJECTILES, _4byte, _end_bs_array,
	_4byte, // bonus_monster_flags
	_2byte, _2byte, // monster_override_type, expiry_timer
	_begin_bs_array, MAXIMUM_NUMBER_OF_EFFECT_MODIFIERS, _2byte, _end_bs_array,
	MONSTER_ATTACK_DEFINITION_BS_CODES,
	_4byte, _4byte, // string list, monster_override_tag
	_2byte, _2byte, // collection_index, special_ability_string_list_index
	_begin_bs_array, MAXIMUM_NUMBER_OF_ARTIFACT_PROJECTILES, _2byte, _end_bs_array,
	_end_bs_array};
static_assert(get_byte_swap_struct_size(artifact_definition_bs_data) == sizeof(artifact_definition));

static constexpr file_tag no_tag = static_cast<file_tag>(NONE);

static artifact_definition make_default_artifact_definition(void)
{
	artifact_definition d = {};
	d.monster_restriction_tag = no_tag;
	d.monster_restriction_type = NONE;
	d.collection_tag = no_tag;
	for (int16 &sequence : d.sequence_indexes) sequence = NONE;
	for (file_tag &tag : d.projectile_tags) tag = no_tag;
	d.monster_override_type = NONE;
	for (short_fixed &modifier : d.bonus_effect_modifiers) modifier = 256;
	d.override_attack.projectile_tag = no_tag;
	d.override_attack.minimum_range = d.override_attack.maximum_range = 512;
	for (monster_attack_sequence &sequence : d.override_attack.sequences)
	{
		sequence.flags = 1;
		sequence.sequence_index = NONE;
	}
	d.override_attack.repetitions = 1;
	d.override_attack.initial_velocity_lower_bound = 25;
	d.override_attack.recovery_time = 30;
	d.override_attack.recovery_time_experience_delta = 3;
	d.override_attack.projectile_type = NONE;
	d.special_ability_string_list_tag = no_tag;
	d.monster_override_tag = no_tag;
	d.collection_index = NONE;
	d.special_ability_string_list_index = NONE;
	for (int16 &type : d.projectile_types) type = NONE;
	return d;
}

static const artifact_definition default_artifact_definition = make_default_artifact_definition();

static void artifact_definition_dependencies(void *definition, report_definition_dependency_proc report)
{
	artifact_definition *artifact = static_cast<artifact_definition *>(definition);
	report(TAG("mons"), artifact->monster_override_tag, &artifact->monster_override_type);
	report(TAG("mons"), artifact->monster_restriction_tag, &artifact->monster_restriction_type);
}

static definition_globals artifact_definitions = {
	"artifact",
	ARTIFACT_DEFINITION_GROUP_TAG,
	ARTIFACT_DEFINITION_VERSION_NUMBER,
	MAXIMUM_ARTIFACT_DEFINITIONS_PER_MAP,
	static_cast<int16>(sizeof(artifact_definition)),
	artifact_definition_dependencies,
	postprocess_artifact_definition,
	nullptr,
	&default_artifact_definition,
	artifact_definition_bs_data,
	0,
	nullptr, nullptr, nullptr, NONE, 0, nullptr, nullptr, nullptr};

definition_globals *get_artifact_definitions(void)
{
	return &artifact_definitions;
}

const artifact_definition *get_default_artifact_definition(void)
{
	return &default_artifact_definition;
}

void initialize_artifact_definitions(void)
{
	// Always afresh: a second start-up (tests) re-registers the group.
	initialize_definitions(&artifact_definitions);
}

void initialize_artifact_definitions_for_new_map(void)
{
	if (artifact_definitions.definitions) initialize_definitions_for_new_map(&artifact_definitions);
}

void dispose_artifact_definitions_from_old_map(void)
{
	if (artifact_definitions.definitions) dispose_definitions_from_old_map(&artifact_definitions);
}

static inline boolean tag_is_present(file_tag tag)
{
	return tag != 0 && tag != no_tag;
}

// A present tag must resolve; an absent one leaves NONE.
static boolean resolve_present_tag(const char *name, const char *what, file_tag tag, int16 (*resolve)(file_tag), int16 *slot)
{
	*slot = NONE;
	if (!tag_is_present(tag)) return TRUE;
	*slot = resolve(tag);
	if (*slot != NONE) return TRUE;
	error_message(_error_data_missing, MODULE_NAME, __LINE__, "artifact %s has no %s '%s'.", name, what, tag_to_string(tag));
	return FALSE;
}

boolean postprocess_artifact_definition(definition_globals *, int16, int32 tag_handle, void *definition)
{
	artifact_definition *artifact = static_cast<artifact_definition *>(definition);
	const char *name = tag_handle == NONE ? "<unknown>" : tag_file_name_get(tag_handle);

	artifact->collection_index = get_collection_index(artifact->collection_tag);
	if (artifact->collection_index == NONE ||
		!verify_sequence_index(artifact->collection_index, artifact->sequence_indexes[_artifact_sequence_inventory]))
	{
		error_message(_error_data_missing, MODULE_NAME, __LINE__, "artifact %s has no collection '%s' or inventory sequence.",
			name, tag_to_string(artifact->collection_tag));
		return FALSE;
	}
	if (game_play_version > 1720)
	{
		for (int16 i = 0; i < MAXIMUM_NUMBER_OF_ARTIFACT_PROJECTILES; ++i)
		{
			if (!resolve_present_tag(name, "projectile", artifact->projectile_tags[i], projectile_definition_tag_to_index,
					&artifact->projectile_types[i]))
			{
				return FALSE;
			}
		}
	}
	if (artifact->flags & _artifact_overrides_owner_monster_flag)
	{
		artifact->monster_override_type = monster_definition_tag_to_index(artifact->monster_override_tag);
		if (artifact->monster_override_type == NONE) artifact->flags &= ~static_cast<uint32>(_artifact_overrides_owner_monster_flag);
	}
	if ((artifact->flags & _artifact_restricted_by_collection_flag) && !tag_is_present(artifact->monster_restriction_tag))
	{
		artifact->flags &= ~static_cast<uint32>(_artifact_restricted_by_collection_flag);
	}
	if (game_play_version >= 1511 && (artifact->flags & _artifact_restricted_by_collection_flag))
	{
		artifact->monster_restriction_type = monster_definition_tag_to_index(artifact->monster_restriction_tag);
	}
	if (artifact->expiry_timer < 1) artifact->flags &= ~static_cast<uint32>(_artifact_has_timed_expiry_flag);

	monster_attack_definition *attack = &artifact->override_attack;
	return resolve_present_tag(name, "attack projectile", attack->projectile_tag, projectile_definition_tag_to_index,
			   &attack->projectile_type) &&
		resolve_present_tag(name, "string list", artifact->special_ability_string_list_tag, string_list_tag_to_string_index,
			&artifact->special_ability_string_list_index);
}

int16 artifact_definition_tag_to_index(file_tag tag)
{
	return definition_tag_to_index(&artifact_definitions, tag);
}

artifact_definition *get_artifact_definition(int16 artifact_index)
{
	return static_cast<artifact_definition *>(try_and_get_definition(&artifact_definitions, artifact_index));
}

int16 get_artifact_projectile_type(const artifact_definition *definition, int16 which)
{
	if (!definition || which < 0 || which >= MAXIMUM_NUMBER_OF_ARTIFACT_PROJECTILES) return NONE;
	const int16 type = definition->projectile_types[which];
	return get_projectile_definition(type) ? type : static_cast<int16>(NONE);
}

int16 new_artifact_definition_from_tag_data(file_tag subgroup, const void *tag_data, int32 tag_data_size)
{
	return new_flat_definition_from_tag_data(&artifact_definitions, subgroup, tag_data, tag_data_size);
}
