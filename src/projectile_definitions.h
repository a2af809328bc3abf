// Projectile definitions ('proj'): how a kind of projectile looks, flies,
// detonates and what it becomes.
#ifndef PROJECTILE_DEFINITIONS_H
#define PROJECTILE_DEFINITIONS_H

#include <cstddef>

#include "cseries.h"
#include "world_units.h"
#include "byte_swapping.h"
#include "damage.h"
#include "definitions.h"

#define PROJECTILE_DEFINITION_GROUP_TAG TAG("proj")
#define PROJECTILE_DEFINITION_VERSION_NUMBER 1
#define MAXIMUM_PROJECTILE_DEFINITIONS_PER_MAP 1024
#define MAXIMUM_PROJECTILE_SOUNDS 4

enum // projectile definition flags
{
	_projectile_uses_owner_color_table_index_bit,
	_projectile_is_guided_bit,
	_projectile_is_bloody_do_not_draw_bit,
	_projectile_detonates_when_animation_loops_bit,
	_projectile_detonates_when_transfer_loops_bit,
	_projectile_detonates_at_rest_bit,
	_projectile_affected_by_wind_bit,
	_projectile_animates_at_rest_bit,
	_projectile_becomes_dormant_at_rest_bit,
	_projectile_can_animate_backwards_bit,
	_projectile_contrail_frequency_reset_after_bouncing_bit,
	_projectile_can_be_mirrored_bit,
	_projectile_is_promoted_at_end_of_lifespan_bit,
	_projectile_is_melee_attack_bit,
	_projectile_cannot_be_accelerated_bit,
	_projectile_bloodies_landscape_bit,
	_projectile_is_on_fire_bit,
	_projectile_remains_after_detonation_bit,
	_projectile_passes_through_target_bit,
	_projectile_cannot_be_mirrored_vertically_bit,
	_projectile_floats_bit,
	_projectile_is_media_surface_effect_bit,
	_projectile_damage_proportional_to_mana_bit,
	_projectile_only_destroyed_by_lifespan_bit,
	_projectile_is_lightning_bit,
	_projectile_chooses_nearby_target_bit,
	_projectile_continually_detonates_bit,
	_projectile_makes_owner_monster_visible_bit,
	_projectile_can_set_landscape_on_fire_bit,
	_projectile_centered_on_target_bit,
	_projectile_marks_target_has_having_been_chosen_bit,
	_projectile_definition_detonates_immediately_bit,
	NUMBER_OF_PROJECTILE_DEFINITION_FLAGS
};

enum : uint32
{
	_projectile_uses_owner_color_table_index_flag = FLAG(_projectile_uses_owner_color_table_index_bit),
	_projectile_is_guided_flag = FLAG(_projectile_is_guided_bit),
	_projectile_is_bloody_do_not_draw_flag = FLAG(_projectile_is_bloody_do_not_draw_bit),
	_projectile_detonates_when_animation_loops_flag = FLAG(_projectile_detonates_when_animation_loops_bit),
	_projectile_detonates_when_transfer_loops_flag = FLAG(_projectile_detonates_when_transfer_loops_bit),
	_projectile_detonates_at_rest_flag = FLAG(_projectile_detonates_at_rest_bit),
	_projectile_affected_by_wind_flag = FLAG(_projectile_affected_by_wind_bit),
	_projectile_animates_at_rest_flag = FLAG(_projectile_animates_at_rest_bit),
	_projectile_becomes_dormant_at_rest_flag = FLAG(_projectile_becomes_dormant_at_rest_bit),
	_projectile_can_animate_backwards_flag = FLAG(_projectile_can_animate_backwards_bit),
	_projectile_contrail_frequency_reset_after_bouncing_flag = FLAG(_projectile_contrail_frequency_reset_after_bouncing_bit),
	_projectile_can_be_mirrored_flag = FLAG(_projectile_can_be_mirrored_bit),
	_projectile_is_promoted_at_end_of_lifespan_flag = FLAG(_projectile_is_promoted_at_end_of_lifespan_bit),
	_projectile_is_melee_attack_flag = FLAG(_projectile_is_melee_attack_bit),
	_projectile_cannot_be_accelerated_flag = FLAG(_projectile_cannot_be_accelerated_bit),
	_projectile_bloodies_landscape_flag = FLAG(_projectile_bloodies_landscape_bit),
	_projectile_is_on_fire_flag = FLAG(_projectile_is_on_fire_bit),
	_projectile_remains_after_detonation_flag = FLAG(_projectile_remains_after_detonation_bit),
	_projectile_passes_through_target_flag = FLAG(_projectile_passes_through_target_bit),
	_projectile_cannot_be_mirrored_vertically_flag = FLAG(_projectile_cannot_be_mirrored_vertically_bit),
	_projectile_floats_flag = FLAG(_projectile_floats_bit),
	_projectile_is_media_surface_effect_flag = FLAG(_projectile_is_media_surface_effect_bit),
	_projectile_damage_proportional_to_mana_flag = FLAG(_projectile_damage_proportional_to_mana_bit),
	_projectile_only_destroyed_by_lifespan_flag = FLAG(_projectile_only_destroyed_by_lifespan_bit),
	_projectile_is_lightning_flag = FLAG(_projectile_is_lightning_bit),
	_projectile_chooses_nearby_target_flag = FLAG(_projectile_chooses_nearby_target_bit),
	_projectile_continually_detonates_flag = FLAG(_projectile_continually_detonates_bit),
	_projectile_makes_owner_monster_visible_flag = FLAG(_projectile_makes_owner_monster_visible_bit),
	_projectile_can_set_landscape_on_fire_flag = FLAG(_projectile_can_set_landscape_on_fire_bit),
	_projectile_centered_on_target_flag = FLAG(_projectile_centered_on_target_bit),
	_projectile_marks_target_has_having_been_chosen_flag = FLAG(_projectile_marks_target_has_having_been_chosen_bit),
	_projectile_definition_detonates_immediately_flag = FLAG(_projectile_definition_detonates_immediately_bit)
};

enum // sequences
{
	_projectile_in_flight_sequence,
	_projectile_detonation_stain_sequence,
	_projectile_bounce_stain_sequence,
	NUMBER_OF_PROJECTILE_SEQUENCES
};

enum // sounds
{
	_projectile_sound_flight,
	_projectile_sound_rebound
};

enum // classes
{
	_projectile_class_unknown,
	_projectile_class_head,
	_projectile_class_arm,
	_projectile_class_leg,
	_projectile_class_torso,
	_projectile_class_bloody_chunk,
	_projectile_class_lethal_object,
	_projectile_class_nonlethal_object,
	_projectile_class_explosive_object,
	_projectile_class_potentially_explosive_object,
	_projectile_class_item,
	NUMBER_OF_PROJECTILE_CLASSES
};

// 256 bytes, big-endian in the tag; the fields from 224 are resolved at load.
struct projectile_definition
{
	uint32 flags;
	file_tag collection_tag;
	int16 sequence_indexes[NUMBER_OF_PROJECTILE_SEQUENCES];
	int16 splash_or_rebound_effect_type;
	file_tag detonation_projectile_group_tag;
	file_tag contrail_projectile_tag;
	int16 ticks_between_contrails;
	int16 maximum_contrail_count;
	file_tag object_tag;
	short_fixed inertia_lower_bound, inertia_delta;
	short_world_distance random_initial_velocity;
	int16 volume;
	int16 tracking_priority;
	uint16 promotion_on_detonation_fraction;
	uint16 detonation_frequency;
	uint16 media_detonation_frequency;
	short_world_distance detonation_velocity;
	int16 projectile_class;
	file_tag lightning_tag;
	uint8 unused[4];
	file_tag sound_tags[MAXIMUM_PROJECTILE_SOUNDS];
	short_fixed animation_rate_lower_bound, animation_rate_delta;
	int16 lifespan_lower_bound, lifespan_delta;
	uint16 initial_contrail_frequency, final_contrail_frequency, contrail_frequency_delta;
	angle guided_turning_speed;
	file_tag promoted_projectile_tag;
	file_tag promotion_projectile_group_tag;
	short_world_distance maximum_safe_acceleration;
	uint16 acceleration_detonation_fraction;
	damage_definition damage;
	file_tag artifact_tag;
	file_tag target_detonation_projectile_group_tag;
	file_tag geometry_tag;
	int16 delay_lower_bound, delay_delta;
	file_tag local_projectile_group_tag;
	int16 nearby_target_radius, exclude_nearby_target_radius;
	file_tag promotion_unit_tag;
	uint8 unused3[74];
	uint8 unused3c;
	uint8 use_accel;

	int16 local_projectile_group_type;
	int16 geometry_index;
	int16 target_detonation_projectile_group_type;
	int16 lightning_index;
	int16 artifact_index;
	int16 detonation_projectile_group_type;
	int16 contrail_projectile_type;
	int16 promotion_projectile_group_type;
	int16 promoted_projectile_type;
	int16 sound_indexes[MAXIMUM_PROJECTILE_SOUNDS];
	int16 collection_index;
	int16 color_table_index;
	int16 object_type;
};
STORED_SIZE(projectile_definition, 256);
static_assert(offsetof(projectile_definition, damage) == 104 && offsetof(projectile_definition, promotion_unit_tag) == 144 &&
	offsetof(projectile_definition, use_accel) == 223 && offsetof(projectile_definition, local_projectile_group_type) == 224 &&
	offsetof(projectile_definition, sound_indexes) == 242 && offsetof(projectile_definition, object_type) == 254);

extern const byte_swap_code projectile_definition_bs_data[];

definition_globals *get_projectile_definitions(void);
void initialize_projectile_definitions(void);
void initialize_projectile_definitions_for_new_map(void);
void dispose_projectile_definitions_from_old_map(void);

const projectile_definition *get_default_projectile_definition(void);
boolean postprocess_projectile_definition(definition_globals *definitions, int16 definition_index, int32 tag_handle,
	void *definition);
// Loads on demand; NONE when missing or refused.
int16 projectile_definition_tag_to_index(file_tag tag);
// NULL for an index that holds no definition.
projectile_definition *get_projectile_definition(int16 projectile_type);
int16 new_projectile_definition_from_tag_data(file_tag subgroup, const void *tag_data, int32 tag_data_size);

// A stored fixed-size record from bytes, swapped and postprocessed as the
// loader does; NONE when too short or refused.
int16 new_flat_definition_from_tag_data(definition_globals *definitions, file_tag subgroup, const void *tag_data,
	int32 tag_data_size);
// Present: neither 0 nor NONE.
inline boolean definition_tag_is_present(file_tag tag)
{
	return tag != 0 && tag != static_cast<file_tag>(NONE);
}

#endif
