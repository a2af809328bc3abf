// Artifact definitions ('arti'): items a unit can carry, with their charges,
// override attack, override unit kind and bonus effect modifiers.
#ifndef ARTIFACT_DEFINITIONS_H
#define ARTIFACT_DEFINITIONS_H

#include <cstddef>

#include "cseries.h"
#include "world_units.h"
#include "byte_swapping.h"
#include "definitions.h"
#include "object_definitions.h"
#include "monster_definitions.h"

#define ARTIFACT_DEFINITION_GROUP_TAG TAG("arti")
#define ARTIFACT_DEFINITION_VERSION_NUMBER 1
#define MAXIMUM_ARTIFACT_DEFINITIONS_PER_MAP 128
#define ARTIFACT_ATTACK_INDEX (-69)
#define MONSTER_DEFINITION_GROUP_TAG_FOR_ARTIFACTS TAG("mons")

enum // artifact flags
{
	_artifact_overrides_owner_attack_bit,
	_artifact_vanishes_after_last_charge_bit,
	_artifact_overrides_owner_monster_bit,
	_artifact_keeps_charge_bit,
	_artifact_restrict_overrides_bit,
	_artifact_cannot_be_holstered_bit,
	_artifact_cannot_be_discarded_bit,
	_artifact_has_timed_expiry_bit,
	_artifact_restricted_by_collection_bit,
	_artifact_use_original_death_bit,
	_artifact_dont_drop_on_death_bit,
	_artifact_display_charges_as_percent_bit,
	_artifact_always_slow_when_held_bit,
	_artifact_overrides_monster_yaw_bit,
	_artifact_override_monster_doesnt_use_charges_bit,
	_artifact_override_attack_hides_other_monster_attacks_bit,
	_artifact_does_not_override_monster_effect_modifiers_bit,
	_artifact_projectile_pickup_adds_charges_bit,
	NUMBER_OF_ARTIFACT_FLAGS
};

enum : uint32
{
	_artifact_overrides_owner_attack_flag = FLAG(_artifact_overrides_owner_attack_bit),
	_artifact_vanishes_after_last_charge_flag = FLAG(_artifact_vanishes_after_last_charge_bit),
	_artifact_overrides_owner_monster_flag = FLAG(_artifact_overrides_owner_monster_bit),
	_artifact_keeps_charge_flag = FLAG(_artifact_keeps_charge_bit),
	_artifact_restrict_overrides_flag = FLAG(_artifact_restrict_overrides_bit),
	_artifact_cannot_be_holstered_flag = FLAG(_artifact_cannot_be_holstered_bit),
	_artifact_cannot_be_discarded_flag = FLAG(_artifact_cannot_be_discarded_bit),
	_artifact_has_timed_expiry_flag = FLAG(_artifact_has_timed_expiry_bit),
	_artifact_restricted_by_collection_flag = FLAG(_artifact_restricted_by_collection_bit),
	_artifact_use_original_death_flag = FLAG(_artifact_use_original_death_bit),
	_artifact_dont_drop_on_death_flag = FLAG(_artifact_dont_drop_on_death_bit),
	_artifact_display_charges_as_percent_flag = FLAG(_artifact_display_charges_as_percent_bit),
	_artifact_always_slow_when_held_flag = FLAG(_artifact_always_slow_when_held_bit),
	_artifact_overrides_monster_yaw_flag = FLAG(_artifact_overrides_monster_yaw_bit),
	_artifact_override_monster_doesnt_use_charges_flag = FLAG(_artifact_override_monster_doesnt_use_charges_bit),
	_artifact_override_attack_hides_other_monster_attacks_flag =
		FLAG(_artifact_override_attack_hides_other_monster_attacks_bit),
	_artifact_does_not_override_monster_effect_modifiers_flag =
		FLAG(_artifact_does_not_override_monster_effect_modifiers_bit),
	_artifact_projectile_pickup_adds_charges_flag = FLAG(_artifact_projectile_pickup_adds_charges_bit)
};

enum
{
	_artifact_sequence_inventory,
	MAXIMUM_NUMBER_OF_ARTIFACT_SEQUENCES = 4
};

enum
{
	_artifact_projectile_tag,
	MAXIMUM_NUMBER_OF_ARTIFACT_PROJECTILES = 4
};


// 168 bytes, big-endian in the tag; the resolved fields from 156.
struct artifact_definition
{
	uint32 flags;
	file_tag monster_restriction_tag;
	int16 maximum_charges;
	int16 initial_charges_lower_bound, initial_charges_delta;
	int16 monster_restriction_type;
	file_tag collection_tag;
	int16 sequence_indexes[MAXIMUM_NUMBER_OF_ARTIFACT_SEQUENCES];
	file_tag projectile_tags[MAXIMUM_NUMBER_OF_ARTIFACT_PROJECTILES];
	uint32 bonus_monster_flags;
	int16 monster_override_type;
	int16 expiry_timer;
	short_fixed bonus_effect_modifiers[MAXIMUM_NUMBER_OF_EFFECT_MODIFIERS];
	monster_attack_definition override_attack;
	file_tag special_ability_string_list_tag;
	file_tag monster_override_tag;
	int16 collection_index;
	int16 special_ability_string_list_index;
	int16 projectile_types[MAXIMUM_NUMBER_OF_ARTIFACT_PROJECTILES];
};
STORED_SIZE(artifact_definition, 168);
static_assert(offsetof(artifact_definition, bonus_effect_modifiers) == 52 &&
	offsetof(artifact_definition, override_attack) == 84 && offsetof(artifact_definition, projectile_types) == 160);

extern const byte_swap_code artifact_definition_bs_data[];

definition_globals *get_artifact_definitions(void);
void initialize_artifact_definitions(void);
void initialize_artifact_definitions_for_new_map(void);
void dispose_artifact_definitions_from_old_map(void);

const artifact_definition *get_default_artifact_definition(void);
boolean postprocess_artifact_definition(definition_globals *definitions, int16 definition_index, int32 tag_handle,
	void *definition);
int16 artifact_definition_tag_to_index(file_tag tag);
artifact_definition *get_artifact_definition(int16 artifact_index);
// The projectile type of slot which; NONE for a value that names no loaded
// projectile definition (older versions keep the stored value unresolved).
int16 get_artifact_projectile_type(const artifact_definition *definition, int16 which);
// Loads a stored record from bytes, as the loader would; NONE when refused.
int16 new_artifact_definition_from_tag_data(file_tag subgroup, const void *tag_data, int32 tag_data_size);

#endif
