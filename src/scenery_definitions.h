// Scenery definitions ('scen'): trees, rocks, walls, barrels and banners.
#ifndef SCENERY_DEFINITIONS_H
#define SCENERY_DEFINITIONS_H

#include <cstddef>

#include "cseries.h"
#include "world_units.h"
#include "byte_swapping.h"
#include "definitions.h"

#define SCENERY_DEFINITION_GROUP_TAG TAG("scen")
#define SCENERY_DEFINITION_VERSION_NUMBER 2
#define MAXIMUM_SCENERY_DEFINITIONS_PER_MAP 96
#define MAXIMUM_SCENERY_PROJECTILE_GROUPS 4
#define MAXIMUM_SCENERY_SEQUENCES 6

enum // scenery flags
{
	_scenery_is_solid_bit,
	_scenery_has_random_facing_bit,
	_scenery_is_large_object_bit,
	_scenery_is_netgame_flag_bit,
	_scenery_respects_monster_visibility_bit,
	_scenery_adjusts_model_permutation_bit,
	_scenery_animates_bit,
	_scenery_marks_terrain_impassable_bit,
	_scenery_vitality_affects_model_animation_bit,
	_scenery_destruction_starts_model_animation_bit,
	NUMBER_OF_SCENERY_FLAGS,

	_scenery_is_solid_flag = FLAG(_scenery_is_solid_bit),
	_scenery_has_random_facing_flag = FLAG(_scenery_has_random_facing_bit),
	_scenery_is_large_object_flag = FLAG(_scenery_is_large_object_bit),
	_scenery_is_netgame_flag_flag = FLAG(_scenery_is_netgame_flag_bit),
	_scenery_respects_monster_visibility_flag = FLAG(_scenery_respects_monster_visibility_bit),
	_scenery_adjusts_model_permutation_flag = FLAG(_scenery_adjusts_model_permutation_bit),
	_scenery_animates_flag = FLAG(_scenery_animates_bit),
	_scenery_marks_terrain_impassable_flag = FLAG(_scenery_marks_terrain_impassable_bit),
	_scenery_vitality_affects_model_animation_flag = FLAG(_scenery_vitality_affects_model_animation_bit),
	_scenery_destruction_starts_model_animation_flag = FLAG(_scenery_destruction_starts_model_animation_bit)
};

enum
{
	_scenery_impact_projectile_group,
	_scenery_detonation_projectile_group
};

enum
{
	_scenery_sequence_undamaged,
	_scenery_sequence_ruined
};

// 128 bytes, big-endian in the tag; the fields from 112 are resolved at load.
struct scenery_definition
{
	uint32 flags;
	file_tag collection_reference_tag;
	file_tag object_tag;
	file_tag projectile_tag;
	int16 valid_netgame_scoring_type;
	int16 netgame_flag_number;
	uint8 unused[4];
	file_tag projectile_group_tags[MAXIMUM_SCENERY_PROJECTILE_GROUPS];
	int16 sequence_indexes[MAXIMUM_SCENERY_SEQUENCES];
	int16 model_permutation_delta;
	uint8 unused2[58];
	int16 projectile_group_types[MAXIMUM_SCENERY_PROJECTILE_GROUPS];
	int16 collection_reference_index;
	int16 impact_projectile_group_type;
	int16 object_type;
	int16 projectile_type;
};
STORED_SIZE(scenery_definition, 128);
static_assert(offsetof(scenery_definition, projectile_group_tags) == 24 &&
	offsetof(scenery_definition, sequence_indexes) == 40 && offsetof(scenery_definition, projectile_group_types) == 112);

extern const byte_swap_code scenery_definition_bs_data[];

definition_globals *get_scenery_definitions(void);
void initialize_scenery_definitions(void);
void initialize_scenery_definitions_for_new_map(void);
void dispose_scenery_definitions_from_old_map(void);

const scenery_definition *get_default_scenery_definition(void);
boolean postprocess_scenery_definition(definition_globals *definitions, int16 definition_index, int32 tag_handle,
	void *definition);
int16 scenery_definition_tag_to_index(file_tag tag);
scenery_definition *get_scenery_definition(int16 scenery_type);
int16 new_scenery_definition_from_tag_data(file_tag subgroup, const void *tag_data, int32 tag_data_size);

#endif
