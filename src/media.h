// Media definitions ('medi'): the water or other liquid a map's header names,
// with its reflection tint, splash projectile groups and surface effects.
#ifndef MEDIA_H
#define MEDIA_H

#include <cstddef>

#include "cseries.h"
#include "bitmaps.h"
#include "world_units.h"
#include "definitions.h"

#define MEDIA_DEFINITION_GROUP_TAG TAG("medi")
#define MEDIA_DEFINITION_VERSION_NUMBER 1
#define MAXIMUM_MEDIA_DEFINITIONS_PER_MAP 2

enum
{
	_media_does_not_reflect_bit,
	NUMBER_OF_MEDIA_DEFINITION_FLAGS,

	_media_does_not_reflect_flag = FLAG(_media_does_not_reflect_bit)
};

enum // projectile group slots
{
	_media_projectile_group_small_splash,
	_media_projectile_group_medium_splash,
	_media_projectile_group_large_splash,
	_media_projectile_group_bloody_splash,
	_media_projectile_group_floating_splash,
	_media_projectile_group_steam_splash,
	_media_projectile_group_disturbance,
	NUMBER_OF_MEDIA_DEFINITION_PROJECTILE_GROUPS
};

#define MAXIMUM_NUMBER_OF_MEDIA_DEFINITION_PROJECTILE_GROUPS 16

// The shading permutation the reflection tint goes into.
#define MEDIA_REFLECTION_SHADING_PERMUTATION 3

// 256 bytes, big-endian in the tag; the fields from 218 on are filled at load.
struct media_definition
{
	uint32 flags;
	file_tag collection_reference_tag;
	uint8 unused[16];
	file_tag projectile_group_tags[MAXIMUM_NUMBER_OF_MEDIA_DEFINITION_PROJECTILE_GROUPS];
	short_fixed reflection_tint_fraction;
	rgb_color reflection_tint_color;
	fixed_fraction surface_effect_density;
	file_tag surface_effect_local_projectile_group_tag; // 0 or NONE: none
	world_vector3d wobble_magnitude;
	world_vector3d wobble_phase_multiplier;
	int16 effects_per_cell;
	int16 time_between_building_effects; // ticks
	fixed_fraction reflection_transparency;
	uint8 unused2[96];

	// Filled at load.
	int16 surface_effect_local_projectile_group;
	int16 surface_effect_local_projectile_group_type;
	int16 collection_reference_index;
	int16 projectile_group_types[MAXIMUM_NUMBER_OF_MEDIA_DEFINITION_PROJECTILE_GROUPS];
};
STORED_SIZE(media_definition, 256);
static_assert(offsetof(media_definition, reflection_tint_fraction) == 88);
static_assert(offsetof(media_definition, surface_effect_local_projectile_group_tag) == 100);
static_assert(offsetof(media_definition, unused2) == 122);
static_assert(offsetof(media_definition, surface_effect_local_projectile_group) == 218);

extern const byte_swap_code media_definition_bs_data[];
extern const media_definition default_media_definition;

void initialize_media_definitions(void);
void initialize_media_definitions_for_new_map(void);
void dispose_media_definitions_from_old_map(void);

// Loads the definition on demand; NONE when missing or rejected.
int16 media_definition_tag_to_index(file_tag media_tag);
// NULL for a bad index.
media_definition *get_media_definition(int16 media_index);
const media_definition *get_default_media_definition(void);
boolean postprocess_media_definition(definition_globals *definitions, int16 definition_index, int32 tag_handle,
	void *definition);
definition_globals *get_media_definitions(void);

// The index of a definition of any registered group (collection references,
// projectile groups, ambient sounds ...); NONE when the group is not
// registered or the tag does not resolve.
int16 resolve_definition_reference(file_tag group_tag, file_tag subgroup_tag);

#endif
