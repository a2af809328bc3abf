// Object definitions ('obje'): the physical constants of a kind of object
// (gravity, elasticity, vitality, scale, damage modifiers).
#ifndef OBJECT_DEFINITIONS_H
#define OBJECT_DEFINITIONS_H

#include <cstddef>

#include "cseries.h"
#include "world_units.h"
#include "byte_swapping.h"
#include "definitions.h"

#define OBJECT_DEFINITION_GROUP_TAG TAG("obje")
#define OBJECT_DEFINITION_VERSION_NUMBER 1
#define MAXIMUM_OBJECT_DEFINITIONS_PER_MAP 256

enum // object_definition flags
{
	_draw_selection_box_bit,
	_draw_vitality_box_bit,
	_maintains_constant_height_above_ground_bit,
	_ignore_model_and_object_collisions_bit,
	_object_definition_is_solid_bit,
	_object_cannot_be_deflected_bit,
	_object_ignores_area_of_effect_damage_bit,
	_object_not_accelerated_by_damage_bit,
	NUMBER_OF_OBJECT_DEFINITION_FLAGS,

	_draw_selection_box_flag = FLAG(_draw_selection_box_bit),
	_draw_vitality_box_flag = FLAG(_draw_vitality_box_bit),
	_maintains_constant_height_above_ground_flag = FLAG(_maintains_constant_height_above_ground_bit),
	_ignore_model_and_object_collisions_flag = FLAG(_ignore_model_and_object_collisions_bit),
	_object_definition_is_solid_flag = FLAG(_object_definition_is_solid_bit),
	_object_cannot_be_deflected_flag = FLAG(_object_cannot_be_deflected_bit),
	_object_ignores_area_of_effect_damage_flag = FLAG(_object_ignores_area_of_effect_damage_bit),
	_object_not_accelerated_by_damage_flag = FLAG(_object_not_accelerated_by_damage_bit)
};

enum // effect modifiers
{
	_effect_modifier_close_range_physical_damage,
	_effect_modifier_long_range_physical_damage,
	_effect_modifier_explosive_damage,
	_effect_modifier_electrical_damage,
	_effect_modifier_magical_damage,
	_effect_modifier_paralysis,
	_effect_modifier_stone,
	_effect_modifier_gas_damage,
	_effect_modifier_confusion,
	NUMBER_OF_EFFECT_MODIFIERS
};

#define MAXIMUM_NUMBER_OF_EFFECT_MODIFIERS 16

// 64 bytes, big-endian in the tag.
struct object_definition
{
	uint16 flags;
	short_world_distance gravity;
	short_fixed elasticity;
	short_world_distance terminal_velocity; // 0: no limit
	short_fixed maximum_vitality;
	short_fixed maximum_vitality_delta;
	short_fixed scale_lower_bound;
	short_fixed scale_delta;
	short_fixed effect_modifiers[MAXIMUM_NUMBER_OF_EFFECT_MODIFIERS];
	short_fixed minimum_damage;
	uint8 unused[14];
};
STORED_SIZE(object_definition, 64);
static_assert(offsetof(object_definition, effect_modifiers) == 16 && offsetof(object_definition, minimum_damage) == 48);

extern const byte_swap_code object_definition_bs_data[];

void initialize_object_definitions(void);
void initialize_object_definitions_for_new_map(void);
void dispose_object_definitions_from_old_map(void);
definition_globals *get_object_definitions(void);

const object_definition *get_default_object_definition(void);
// Loads on demand; NONE when missing or refused.
int16 object_definition_tag_to_index(file_tag subgroup_tag);
// NULL for an index that holds no definition.
object_definition *get_object_definition(int16 definition_index);

#endif
