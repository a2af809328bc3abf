// Projectile group definitions ('prgr'): bursts of projectiles in parts.
#ifndef PROJECTILE_GROUP_DEFINITIONS_H
#define PROJECTILE_GROUP_DEFINITIONS_H

#include <cstddef>

#include "cseries.h"
#include "world_units.h"
#include "byte_swapping.h"
#include "definitions.h"

#define PROJECTILE_GROUP_DEFINITION_GROUP_TAG TAG("prgr")
#define PROJECTILE_GROUP_DEFINITION_VERSION_NUMBER 1
#define MAXIMUM_PROJECTILE_GROUP_DEFINITIONS_PER_MAP 768
#define MAXIMUM_NUMBER_OF_PARTS_PER_PROJECTILE_GROUP 15

enum // part flags
{
	_projectile_group_part_is_central_bit,
	_projectile_group_part_is_on_ground_bit,

	_projectile_group_part_is_central_flag = FLAG(_projectile_group_part_is_central_bit),
	_projectile_group_part_is_on_ground_flag = FLAG(_projectile_group_part_is_on_ground_bit)
};

// 32 bytes.
struct projectile_group_part_definition
{
	file_tag projectile_tag;
	uint32 flags;
	int16 count_lower_bound, count_delta;
	short_fixed position_lower_bound, position_delta;
	uint8 obsolete[4];
	uint16 appearing_fraction;
	int16 unused;
	file_tag fail_projectile_tag;
	int16 fail_projectile_type;
	int16 projectile_type;
};
STORED_SIZE(projectile_group_part_definition, 32);

// 512 bytes, big-endian in the tag.
struct projectile_group_definition
{
	uint32 flags;
	int16 number_of_parts;
	int16 pad;
	file_tag mesh_effect_tag;
	file_tag sound_tag;
	file_tag local_projectile_group_tag;
	uint8 unused[6];
	int16 local_projectile_group_type;
	int16 mesh_effect_type;
	int16 sound_index;
	projectile_group_part_definition parts[MAXIMUM_NUMBER_OF_PARTS_PER_PROJECTILE_GROUP];
};
STORED_SIZE(projectile_group_definition, 512);
static_assert(offsetof(projectile_group_definition, local_projectile_group_type) == 26 &&
	offsetof(projectile_group_definition, parts) == 32);

extern const byte_swap_code projectile_group_definition_bs_data[];

definition_globals *get_projectile_group_definitions(void);
void initialize_projectile_group_definitions(void);
void initialize_projectile_group_definitions_for_new_map(void);
void dispose_projectile_group_definitions_from_old_map(void);

const projectile_group_definition *get_default_projectile_group_definition(void);
const projectile_group_part_definition *get_default_projectile_group_part_definition(void);
boolean postprocess_projectile_group_definition(definition_globals *definitions, int16 definition_index,
	int32 tag_handle, void *definition);
int16 projectile_group_definition_tag_to_index(file_tag tag);
projectile_group_definition *get_projectile_group_definition(int16 group_type);
int16 new_projectile_group_definition_from_tag_data(file_tag subgroup, const void *tag_data, int32 tag_data_size);

#endif
