// Unit kinds ('mons'): what a unit looks like, how it moves and fights, what
// it sounds like and the lists that name it.
#ifndef MONSTER_DEFINITIONS_H
#define MONSTER_DEFINITIONS_H

#include <cstddef>

#include "cseries.h"
#include "world_units.h"
#include "byte_swapping.h"
#include "definitions.h"

#define MONSTER_DEFINITION_GROUP_TAG TAG("mons")
#define MONSTER_DEFINITION_VERSION_NUMBER 1
#define MAXIMUM_MONSTER_DEFINITIONS_PER_MAP 128

#define MAXIMUM_NUMBER_OF_MONSTER_SEQUENCES 26
#define NUMBER_OF_MONSTER_TERRAIN_TYPES 16
#define MAXIMUM_NUMBER_OF_ATTACKS_PER_MONSTER 4
#define MAXIMUM_NUMBER_OF_MONSTER_ATTACK_SEQUENCES 4
#define MAXIMUM_NUMBER_OF_SOUNDS_PER_MONSTER 10
#define MAXIMUM_ARTIFACTS_CARRIED_PER_MONSTER 9
#define MONSTER_PRELOAD_SEQUENCE_MASK 3091 // idle, moving, turning and both secondary-idle sequences

/* ---------- definition flags */

enum
{
	_monster_translates_continuously_bit,
	_monster_holds_with_clear_shot_bit,
	_monster_floats_bit,
	_monster_flies_bit,
	_monster_allows_projectiles_to_pass_through_bit,
	_monster_experience_proportional_to_damage_bit,
	_monster_is_anti_missile_unit_bit,
	_monster_is_anti_missile_target_bit,
	_monster_turns_to_stone_when_killed_bit,
	_monster_concentrates_on_single_attacker_bit,
	_monster_is_undead_bit,
	_monster_cannot_be_autotargeted_bit,
	_monster_is_giant_sized_bit,
	_monster_does_not_respect_visibility_bit,
	_monster_is_not_solid_bit,
	_monster_leaves_contrail_bit,
	_monster_invisible_on_overhead_map_bit,
	_monster_cannot_be_healed_bit,
	_monster_does_not_drop_ammo_when_dying_bit,
	_monster_is_inanimate_object_bit,
	_monster_is_skittish_bit,
	_monster_carries_multiple_artifacts_bit,
	_monster_has_burning_death_bit,
	_monster_can_be_propelled_bit,
	_monster_raise_to_flying_height_bit,
	_monster_targetable_if_ambient_bit,
	_monster_boosted_by_captain_bit,
	_monster_is_captain_bit,
	_monster_always_uses_entrance_proj_group_bit,
	_monster_can_extend_charge_duration_bit,
	_monster_ignores_terrain_costs_for_impassability_bit,
	_monster_has_limited_charge_duration_bit,
	NUMBER_OF_MONSTER_DEFINITION_FLAGS
};

enum : uint32
{
	_monster_translates_continuously_flag = FLAG(_monster_translates_continuously_bit),
	_monster_holds_with_clear_shot_flag = FLAG(_monster_holds_with_clear_shot_bit),
	_monster_floats_flag = FLAG(_monster_floats_bit),
	_monster_flies_flag = FLAG(_monster_flies_bit),
	_monster_allows_projectiles_to_pass_through_flag = FLAG(_monster_allows_projectiles_to_pass_through_bit),
	_monster_experience_proportional_to_damage_flag = FLAG(_monster_experience_proportional_to_damage_bit),
	_monster_is_anti_missile_unit_flag = FLAG(_monster_is_anti_missile_unit_bit),
	_monster_is_anti_missile_target_flag = FLAG(_monster_is_anti_missile_target_bit),
	_monster_turns_to_stone_when_killed_flag = FLAG(_monster_turns_to_stone_when_killed_bit),
	_monster_concentrates_on_single_attacker_flag = FLAG(_monster_concentrates_on_single_attacker_bit),
	_monster_is_undead_flag = FLAG(_monster_is_undead_bit),
	_monster_cannot_be_autotargeted_flag = FLAG(_monster_cannot_be_autotargeted_bit),
	_monster_is_giant_sized_flag = FLAG(_monster_is_giant_sized_bit),
	_monster_does_not_respect_visibility_flag = FLAG(_monster_does_not_respect_visibility_bit),
	_monster_is_not_solid_flag = FLAG(_monster_is_not_solid_bit),
	_monster_leaves_contrail_flag = FLAG(_monster_leaves_contrail_bit),
	_monster_invisible_on_overhead_map_flag = FLAG(_monster_invisible_on_overhead_map_bit),
	_monster_cannot_be_healed_flag = FLAG(_monster_cannot_be_healed_bit),
	_monster_does_not_drop_ammo_when_dying_flag = FLAG(_monster_does_not_drop_ammo_when_dying_bit),
	_monster_is_inanimate_object_flag = FLAG(_monster_is_inanimate_object_bit),
	_monster_is_skittish_flag = FLAG(_monster_is_skittish_bit),
	_monster_carries_multiple_artifacts_flag = FLAG(_monster_carries_multiple_artifacts_bit),
	_monster_has_burning_death_flag = FLAG(_monster_has_burning_death_bit),
	_monster_can_be_propelled_flag = FLAG(_monster_can_be_propelled_bit),
	_monster_raise_to_flying_height_flag = FLAG(_monster_raise_to_flying_height_bit),
	_monster_targetable_if_ambient_flag = FLAG(_monster_targetable_if_ambient_bit),
	_monster_boosted_by_captain_flag = FLAG(_monster_boosted_by_captain_bit),
	_monster_is_captain_flag = FLAG(_monster_is_captain_bit),
	_monster_always_uses_entrance_proj_group_flag = FLAG(_monster_always_uses_entrance_proj_group_bit),
	_monster_can_extend_charge_duration_flag = FLAG(_monster_can_extend_charge_duration_bit),
	_monster_ignores_terrain_costs_for_impassability_flag = FLAG(_monster_ignores_terrain_costs_for_impassability_bit),
	_monster_has_limited_charge_duration_flag = FLAG(_monster_has_limited_charge_duration_bit)
};

/* ---------- sequences, sounds, classes, allegiances, spellings */

enum // monster sequences: indexes into sequence_indexes
{
	_monster_sequence_idle,
	_monster_sequence_moving,
	_monster_sequence_placeholder,
	_monster_sequence_pausing_for_obstacle,
	_monster_sequence_turning,
	_monster_sequence_blocking,
	_monster_sequence_taking_damage,
	_monster_sequence_picking_up_object,
	_monster_sequence_head_shots,
	_monster_sequence_celebration,
	_monster_sequence_transition_to_secondary_idle,
	_monster_sequence_secondary_idle,
	_monster_sequence_transition_to_primary_idle,
	_monster_sequence_running,
	_monster_sequence_ammunition_icon,
	_monster_sequence_holding_for_attack,
	_monster_sequence_taunting,
	_monster_sequence_gliding,
	_monster_sequence_propelled,
	NUMBER_OF_MONSTER_SEQUENCES
};

enum
{
	_monster_sequence_idle_flag = FLAG(_monster_sequence_idle),
	_monster_sequence_moving_flag = FLAG(_monster_sequence_moving),
	_monster_sequence_placeholder_flag = FLAG(_monster_sequence_placeholder),
	_monster_sequence_pausing_for_obstacle_flag = FLAG(_monster_sequence_pausing_for_obstacle),
	_monster_sequence_turning_flag = FLAG(_monster_sequence_turning),
	_monster_sequence_blocking_flag = FLAG(_monster_sequence_blocking),
	_monster_sequence_taking_damage_flag = FLAG(_monster_sequence_taking_damage),
	_monster_sequence_picking_up_object_flag = FLAG(_monster_sequence_picking_up_object),
	_monster_sequence_head_shots_flag = FLAG(_monster_sequence_head_shots),
	_monster_sequence_celebration_flag = FLAG(_monster_sequence_celebration),
	_monster_sequence_transition_to_secondary_idle_flag = FLAG(_monster_sequence_transition_to_secondary_idle),
	_monster_sequence_secondary_idle_flag = FLAG(_monster_sequence_secondary_idle),
	_monster_sequence_transition_to_primary_idle_flag = FLAG(_monster_sequence_transition_to_primary_idle),
	_monster_sequence_running_flag = FLAG(_monster_sequence_running),
	_monster_sequence_ammunition_icon_flag = FLAG(_monster_sequence_ammunition_icon),
	_monster_sequence_holding_for_attack_flag = FLAG(_monster_sequence_holding_for_attack),
	_monster_sequence_taunting_flag = FLAG(_monster_sequence_taunting),
	_monster_sequence_gliding_flag = FLAG(_monster_sequence_gliding),
	_monster_sequence_propelled_flag = FLAG(_monster_sequence_propelled)
};

enum // monster sound types
{
	_monster_sound_attack_order,
	_monster_sound_multiple_attack_order,
	_monster_sound_unused1,
	_monster_sound_move_order,
	_monster_sound_multiple_move_order,
	_monster_sound_selection,
	_monster_sound_multiple_selection,
	_monster_sound_hit_friendly_unit,
	_monster_sound_hit_by_friendly_unit,
	_monster_sound_attack_obstructed_by_friendly_unit,
	_monster_sound_unused2,
	_monster_sound_attack_enemy_with_friendly_units_nearby,
	_monster_sound_unused3,
	_monster_sound_caused_enemy_death,
	_monster_sound_caused_friendly_death,
	_monster_sound_caused_death_of_enemy_undead,
	NUMBER_OF_MONSTER_SOUND_TYPES
};

enum
{
	_monster_sound_attack_order_flag = FLAG(_monster_sound_attack_order),
	_monster_sound_multiple_attack_order_flag = FLAG(_monster_sound_multiple_attack_order),
	_monster_sound_unused1_flag = FLAG(_monster_sound_unused1),
	_monster_sound_move_order_flag = FLAG(_monster_sound_move_order),
	_monster_sound_multiple_move_order_flag = FLAG(_monster_sound_multiple_move_order),
	_monster_sound_selection_flag = FLAG(_monster_sound_selection),
	_monster_sound_multiple_selection_flag = FLAG(_monster_sound_multiple_selection),
	_monster_sound_hit_friendly_unit_flag = FLAG(_monster_sound_hit_friendly_unit),
	_monster_sound_hit_by_friendly_unit_flag = FLAG(_monster_sound_hit_by_friendly_unit),
	_monster_sound_attack_obstructed_by_friendly_unit_flag = FLAG(_monster_sound_attack_obstructed_by_friendly_unit),
	_monster_sound_unused2_flag = FLAG(_monster_sound_unused2),
	_monster_sound_attack_enemy_with_friendly_units_nearby_flag =
		FLAG(_monster_sound_attack_enemy_with_friendly_units_nearby),
	_monster_sound_unused3_flag = FLAG(_monster_sound_unused3),
	_monster_sound_caused_enemy_death_flag = FLAG(_monster_sound_caused_enemy_death),
	_monster_sound_caused_friendly_death_flag = FLAG(_monster_sound_caused_friendly_death),
	_monster_sound_caused_death_of_enemy_undead_flag = FLAG(_monster_sound_caused_death_of_enemy_undead)
};

enum // monster classes
{
	_monster_class_melee,
	_monster_class_missile,
	_monster_class_suicide,
	_monster_class_special,
	_monster_class_harmless,
	_monster_class_ambient_life,
	_monster_class_invisible_observer,
	NUMBER_OF_MONSTER_CLASSES
};

enum
{
	_monster_class_melee_flag = FLAG(_monster_class_melee),
	_monster_class_missile_flag = FLAG(_monster_class_missile),
	_monster_class_suicide_flag = FLAG(_monster_class_suicide),
	_monster_class_special_flag = FLAG(_monster_class_special),
	_monster_class_harmless_flag = FLAG(_monster_class_harmless),
	_monster_class_ambient_life_flag = FLAG(_monster_class_ambient_life),
	_monster_class_invisible_observer_flag = FLAG(_monster_class_invisible_observer)
};

enum // allegiances
{
	_monster_allegiance_light,
	_monster_allegiance_dark,
	NUMBER_OF_MONSTER_ALLEGIANCES,

	_monster_allegiance_light_flag = FLAG(_monster_allegiance_light),
	_monster_allegiance_dark_flag = FLAG(_monster_allegiance_dark)
};

enum // strings of the spelling list
{
	_monster_spelling_singular_index,
	_monster_spelling_plural_index,
	_monster_spelling_inventory_none_index,
	NUMBER_OF_MONSTER_SPELLINGS,

	_monster_spelling_singular_flag = FLAG(_monster_spelling_singular_index),
	_monster_spelling_plural_flag = FLAG(_monster_spelling_plural_index),
	_monster_spelling_inventory_none_flag = FLAG(_monster_spelling_inventory_none_index)
};

enum // visibility kinds (a definition's visibility_type)
{
	_visibility_bitmap_nearsighted,
	_visibility_bitmap_farsighted,
	_visibility_bitmap_submerged,
	_visibility_bitmap_2020,
	NUMBER_OF_VISIBILITY_BITMAPS
};

/* ---------- behaviour bits carried in terrain-cost bytes */

#define HACK_FLAGS_LOW_TERRAIN_INDEX 6
#define HACK_FLAGS_HIGH_TERRAIN_INDEX 7
#define MORE_HACK_FLAGS_TERRAIN_INDEX 4

enum // bits of terrain_costs byte 6 (decoded into hack_flags bits 0-7)
{
	_hack_doesnt_close_on_target_cost = 1,
	_hack_resizable_selection_box_cost = 2,
	_hack_unit_can_charge_cost = 4,
	_hack_turns_in_a_curve_cost = 8,
	_hack_enemies_cant_see_mana_cost = 16,
	_hack_mana_isnt_shown_cost = 32,
	_hack_mixes_missile_melee_behaviour_cost = 64,
	_hack_has_long_range_eyesight_cost = 128
};

enum // bits of terrain_costs byte 7 (decoded into hack_flags bits 8-15)
{
	_hack_double_click_monster_type_cost = 1,
	_hack_missile_attack_ignores_height_cost = 2,
	_hack_doesnt_flinch_heal_cost = 4,
	_hack_chases_enemy_during_recovery_cost = 8,
	_hack_walks_on_water_cost = 16,
	_hack_doesnt_auto_target_cost = 32,
	_hack_extra_aggressive_missile_cost = 64,
	_hack_increased_chance_to_block_cost = 128
};

enum // bits of terrain_costs byte 4 (decoded into more_hack_flags)
{
	_hack_moves_to_shoot_uphill_cost = 1,
	_hack_shift_click_targets_group_cost = 2,
	_hack_walks_around_blockage_cost = 4,
	_hack_chases_intelligently_cost = 8,
	_hack_responds_to_enemies_cost = 16, // never decoded: only the game options set the behaviour
	_hack_can_target_flying_cost = 128
};

enum // bits of hack_flags (a 16-bit word tested unsigned)
{
	_hack_doesnt_close_on_target_bit,
	_hack_resizable_selection_box_bit,
	_hack_unit_can_charge_bit,
	_hack_turns_in_a_curve_bit,
	_hack_enemies_cant_see_mana_bit,
	_hack_mana_isnt_shown_bit,
	_hack_mixes_missile_melee_behaviour_bit,
	_hack_has_long_range_eyesight_bit,
	_hack_double_click_monster_type_bit,
	_hack_missile_attack_ignores_height_bit,
	_hack_doesnt_flinch_heal_bit,
	_hack_chases_enemy_during_recovery_bit,
	_hack_walks_on_water_bit,
	_hack_doesnt_auto_target_bit,
	_hack_extra_aggressive_missile_bit,
	_hack_increased_chance_to_block_bit,
	NUMBER_OF_HACK_FLAGS
};

enum : uint16 // in hack_flags
{
	_hack_doesnt_close_on_target_flag = FLAG(_hack_doesnt_close_on_target_bit),
	_hack_resizable_selection_box_flag = FLAG(_hack_resizable_selection_box_bit),
	_hack_unit_can_charge_flag = FLAG(_hack_unit_can_charge_bit),
	_hack_turns_in_a_curve_flag = FLAG(_hack_turns_in_a_curve_bit),
	_hack_enemies_cant_see_mana_flag = FLAG(_hack_enemies_cant_see_mana_bit),
	_hack_mana_isnt_shown_flag = FLAG(_hack_mana_isnt_shown_bit),
	_hack_mixes_missile_melee_behaviour_flag = FLAG(_hack_mixes_missile_melee_behaviour_bit),
	_hack_has_long_range_eyesight_flag = FLAG(_hack_has_long_range_eyesight_bit),
	_hack_double_click_monster_type_flag = FLAG(_hack_double_click_monster_type_bit),
	_hack_missile_attack_ignores_height_flag = FLAG(_hack_missile_attack_ignores_height_bit),
	_hack_doesnt_flinch_heal_flag = FLAG(_hack_doesnt_flinch_heal_bit),
	_hack_chases_enemy_during_recovery_flag = FLAG(_hack_chases_enemy_during_recovery_bit),
	_hack_walks_on_water_flag = FLAG(_hack_walks_on_water_bit),
	_hack_doesnt_auto_target_flag = FLAG(_hack_doesnt_auto_target_bit),
	_hack_extra_aggressive_missile_flag = FLAG(_hack_extra_aggressive_missile_bit),
	_hack_increased_chance_to_block_flag = 0x8000
};

enum // bits of more_hack_flags (an 8-bit word)
{
	_hack_moves_to_shoot_uphill_bit,
	_hack_shift_click_targets_group_bit,
	_hack_can_target_flying_bit,
	_hack_walks_around_blockage_bit,
	_hack_chases_intelligently_bit,
	_hack_responds_to_enemies_bit,
	NUMBER_OF_MORE_HACK_FLAGS
};

enum : uint8 // in more_hack_flags
{
	_hack_moves_to_shoot_uphill_flag = FLAG(_hack_moves_to_shoot_uphill_bit),
	_hack_shift_click_targets_group_flag = FLAG(_hack_shift_click_targets_group_bit),
	_hack_can_target_flying_flag = FLAG(_hack_can_target_flying_bit),
	_hack_walks_around_blockage_flag = FLAG(_hack_walks_around_blockage_bit),
	_hack_chases_intelligently_flag = FLAG(_hack_chases_intelligently_bit),
	_hack_responds_to_enemies_flag = FLAG(_hack_responds_to_enemies_bit)
};

/* ---------- attacks */

enum // attack flags (the 16-bit flags word)
{
	_monster_attack_is_indirect_bit,
	_monster_attack_does_not_require_solution_bit,
	_monster_attack_aimed_at_targets_feet_bit,
	_monster_attack_leads_target_bit,
	_monster_attack_uses_ammunition_bit,
	_monster_attack_uses_carried_projectile_bit,
	_monster_attack_is_reflexive_bit,
	_monster_attack_is_special_ability_bit,
	_monster_attack_cannot_be_aborted_bit,
	_monster_attack_is_primary_bit,
	_monster_attack_avoids_friendly_units_bit,
	_monster_attack_vs_giant_sized_bit,
	_monster_attack_prohibited_vs_giant_sized_bit,
	_monster_attack_is_fixed_pitch_bit,
	_monster_attack_dont_try_to_shoot_over_nearby_units_bit,
	_monster_attack_lob_to_hit_lower_nearby_units_bit,
	NUMBER_OF_MONSTER_ATTACK_FLAGS
};

enum : uint16
{
	_monster_attack_is_indirect_flag = FLAG(_monster_attack_is_indirect_bit),
	_monster_attack_does_not_require_solution_flag = FLAG(_monster_attack_does_not_require_solution_bit),
	_monster_attack_aimed_at_targets_feet_flag = FLAG(_monster_attack_aimed_at_targets_feet_bit),
	_monster_attack_leads_target_flag = FLAG(_monster_attack_leads_target_bit),
	_monster_attack_uses_ammunition_flag = FLAG(_monster_attack_uses_ammunition_bit),
	_monster_attack_uses_carried_projectile_flag = FLAG(_monster_attack_uses_carried_projectile_bit),
	_monster_attack_is_reflexive_flag = FLAG(_monster_attack_is_reflexive_bit),
	_monster_attack_is_special_ability_flag = FLAG(_monster_attack_is_special_ability_bit),
	_monster_attack_cannot_be_aborted_flag = FLAG(_monster_attack_cannot_be_aborted_bit),
	_monster_attack_is_primary_flag = FLAG(_monster_attack_is_primary_bit),
	_monster_attack_avoids_friendly_units_flag = FLAG(_monster_attack_avoids_friendly_units_bit),
	_monster_attack_vs_giant_sized_flag = FLAG(_monster_attack_vs_giant_sized_bit),
	_monster_attack_prohibited_vs_giant_sized_flag = FLAG(_monster_attack_prohibited_vs_giant_sized_bit),
	_monster_attack_is_fixed_pitch_flag = FLAG(_monster_attack_is_fixed_pitch_bit),
	_monster_attack_dont_try_to_shoot_over_nearby_units_flag =
		FLAG(_monster_attack_dont_try_to_shoot_over_nearby_units_bit),
	_monster_attack_lob_to_hit_lower_nearby_units_flag = 0x8000
};

enum // attack extra flags (the 16-bit extra_flags word)
{
	_monster_attack_can_be_used_against_friendlies_extra_bit,
	_monster_attack_gives_projectile_to_target_bit,
	_monster_attack_player_can_interrupt_bit,
	_monster_attack_vs_flying_bit,
	_monster_attack_prohibited_vs_flying_bit,
	_monster_attack_does_not_require_recovery_time_bit,
	_monster_attack_vs_undead_bit,
	_monster_attack_prohibited_vs_undead_bit,
	NUMBER_OF_MONSTER_ATTACK_EXTRA_FLAGS
};

enum : uint16
{
	_monster_attack_can_be_used_against_friendlies_extra_flag =
		FLAG(_monster_attack_can_be_used_against_friendlies_extra_bit),
	_monster_attack_gives_projectile_to_target_flag = FLAG(_monster_attack_gives_projectile_to_target_bit),
	_monster_attack_player_can_interrupt_flag = FLAG(_monster_attack_player_can_interrupt_bit),
	_monster_attack_vs_flying_flag = FLAG(_monster_attack_vs_flying_bit),
	_monster_attack_prohibited_vs_flying_flag = FLAG(_monster_attack_prohibited_vs_flying_bit),
	_monster_attack_does_not_require_recovery_time_flag = FLAG(_monster_attack_does_not_require_recovery_time_bit),
	_monster_attack_vs_undead_flag = FLAG(_monster_attack_vs_undead_bit),
	_monster_attack_prohibited_vs_undead_flag = FLAG(_monster_attack_prohibited_vs_undead_bit)
};

enum // attack sequence flags
{
	_sequence_normal_bit,
	_sequence_declinated_bit,
	_sequence_elevated_bit,
	NUMBER_OF_ATTACK_SEQUENCE_FLAGS,

	_sequence_normal_flag = FLAG(_sequence_normal_bit),
	_sequence_declinated_flag = FLAG(_sequence_declinated_bit),
	_sequence_elevated_flag = FLAG(_sequence_elevated_bit)
};

struct monster_attack_sequence
{
	uint16 flags;
	int16 sequence_index;
	uint16 skip_fraction;
	int16 unused; // not swapped
};

// 64 bytes, big-endian in unit and artifact definitions.
struct monster_attack_definition
{
	uint16 flags;
	uint16 miss_fraction;
	file_tag projectile_tag;
	short_world_distance minimum_range, maximum_range;
	monster_attack_sequence sequences[MAXIMUM_NUMBER_OF_MONSTER_ATTACK_SEQUENCES];
	int16 repetitions;
	short_world_distance initial_velocity_lower_bound, initial_velocity_delta, initial_velocity_error;
	int16 recovery_time;
	int16 recovery_time_experience_delta;
	short_world_distance velocity_improvement_with_experience;
	short_fixed mana_cost;
	uint16 extra_flags;
	int16 projectile_type; // run time, not swapped
};
STORED_SIZE(monster_attack_definition, 64);

// Each sequence's unused word and the run-time projectile_type are left alone.
#define MONSTER_ATTACK_DEFINITION_BS_CODES \
	_2byte, _2byte, _4byte, _2byte, _2byte, \
	_begin_bs_array, 4, _2byte, _2byte, _2byte, 2, _end_bs_array, \
	_2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, 2
extern const byte_swap_code monster_attack_definition_bs_data[]; // "monster attack"

/* ---------- the definition */

// 1024 bytes, big-endian in the tag; bytes 548 on are run time.
struct monster_definition
{
	uint32 flags;
	file_tag collection_tag;
	int16 sequence_indexes[MAXIMUM_NUMBER_OF_MONSTER_SEQUENCES];

	file_tag burning_death_projectile_group_tag;
	int16 burning_death_projectile_group_type; // run time

	uint8 experience_kill_bonus;
	uint8 experience_bonus_radius;
	fixed_fraction propelled_system_shock;
	fixed_fraction damage_to_propulsion;

	int8 terrain_costs[NUMBER_OF_MONSTER_TERRAIN_TYPES];
	uint16 terrain_impassability_flags; // run time
	short_world_distance pathfinding_radius;
	uint8 movement_modifiers[NUMBER_OF_MONSTER_TERRAIN_TYPES];

	fixed_fraction absorbed_fraction;
	short_world_distance warning_distance;
	short_world_distance critical_distance;
	short_fixed healing_fraction;
	int16 initial_ammunition_lower_bound;
	int16 initial_ammunition_delta;
	short_world_distance activation_distance;
	int16 unused;
	angle turning_speed;
	short_world_distance base_movement_speed;
	fixed_fraction left_handed_fraction;
	int16 size;
	file_tag object_tag;
	int16 number_of_attacks;
	int16 desired_projectile_volume;

	monster_attack_definition attacks[MAXIMUM_NUMBER_OF_ATTACKS_PER_MONSTER];

	file_tag map_action_tag;
	int16 attack_frequency_lower_bound;
	int16 attack_frequency_delta;
	file_tag exploding_projectile_group_tag;
	int16 hack_flags; // run time; tested as uint16
	int16 maximum_ammunition_count;
	fixed_fraction hard_death_system_shock;
	fixed_fraction flinch_system_shock;
	file_tag melee_impact_projectile_group_tag;
	file_tag dying_projectile_group_tag;
	file_tag spelling_string_list_tag;
	file_tag names_string_list_tag;
	file_tag flavor_string_list_tag;
	uint8 use_attack_frequency;
	int8 more_hack_flags; // run time
	int16 monster_class;
	int16 monster_allegiance;
	int16 experience_point_value;
	file_tag sound_tags[MAXIMUM_NUMBER_OF_SOUNDS_PER_MONSTER];
	file_tag blocked_impact_projectile_group_tag;
	file_tag absorbed_impact_projectile_group_tag;
	file_tag ammunition_projectile_tag;
	int16 visibility_type;
	int16 combined_power;
	short_world_distance longest_range;
	int16 cost;
	int8 sound_types[MAXIMUM_NUMBER_OF_SOUNDS_PER_MONSTER];
	int16 enemy_experience_kill_bonus;
	file_tag entrance_projectile_group_tag;
	file_tag local_projectile_group_tag;
	file_tag special_ability_string_list_tag;
	file_tag exit_projectile_group_tag;
	short_fixed maximum_mana;
	short_fixed mana_recharge_rate;
	fixed_fraction berserk_system_shock;
	fixed_fraction berserk_vitality;
	int16 maximum_artifacts_carried;
	int16 unused1234;
	file_tag initial_artifacts_projectile_group_tag;

	int16 unused2[210];

	// Run time from here: postprocess sets each before use.
	int16 next_name_string_index;
	int16 ammunition_projectile_type;
	int16 sound_indexes[MAXIMUM_NUMBER_OF_SOUNDS_PER_MONSTER];
	int16 spelling_string_list_index;
	int16 names_string_list_index;
	int16 flavor_string_list_index;
	int16 special_ability_string_list_index;
	int16 exploding_projectile_group_type;
	int16 melee_impact_projectile_group_type;
	int16 dying_projectile_group_type;
	int16 blocked_impact_projectile_group_type;
	int16 absorbed_impact_projectile_group_type;
	int16 entrance_projectile_group_type;
	int16 exit_projectile_group_type;
	int16 local_projectile_group_type;
	int16 collection_index;
	int16 object_type;
	int16 initial_artifacts_projectile_group_type;
	int16 unused12345;
};
STORED_SIZE(monster_definition, 1024);
static_assert(offsetof(monster_definition, burning_death_projectile_group_tag) == 60 &&
	offsetof(monster_definition, terrain_costs) == 72 && offsetof(monster_definition, movement_modifiers) == 92 &&
	offsetof(monster_definition, object_tag) == 132 && offsetof(monster_definition, attacks) == 140 &&
	offsetof(monster_definition, map_action_tag) == 396 && offsetof(monster_definition, use_attack_frequency) == 436 &&
	offsetof(monster_definition, sound_tags) == 444 && offsetof(monster_definition, sound_types) == 504 &&
	offsetof(monster_definition, initial_artifacts_projectile_group_tag) == 544 &&
	offsetof(monster_definition, unused2) == 548 && offsetof(monster_definition, next_name_string_index) == 968 &&
	offsetof(monster_definition, sound_indexes) == 972 && offsetof(monster_definition, spelling_string_list_index) == 992 &&
	offsetof(monster_definition, exploding_projectile_group_type) == 1000 &&
	offsetof(monster_definition, collection_index) == 1016 &&
	offsetof(monster_definition, initial_artifacts_projectile_group_type) == 1020);

extern const byte_swap_code monster_definition_bs_data[];

/* ---------- the group */

definition_globals *get_monster_definitions(void);
void initialize_monster_definitions(void);
void initialize_monster_definitions_for_new_map(void);
void dispose_monster_definitions_from_old_map(void);

const monster_definition *get_default_monster_definition(void);
const monster_attack_definition *get_default_monster_attack_definition(void);
int32 get_monster_definition_tag_header_user_data(void);

void monster_definition_dependencies(void *definition, report_definition_dependency_proc report);
boolean postprocess_monster_definition(definition_globals *definitions, int16 definition_index, int32 tag_handle,
	void *definition);

// Loads on demand; NONE when missing or refused.
int16 monster_definition_tag_to_index(file_tag tag);
// The group itself, so that the lookup below inlines: every unit asks for
// its kind several times a tick.
extern definition_globals monster_definitions;
// Each kind's record once found (NULL: not kept), kept while definitions_generation
// stays kept_monster_definitions_generation: only the loader moves or removes records.
extern monster_definition *kept_monster_definitions[MAXIMUM_MONSTER_DEFINITIONS_PER_MAP];
extern uint32 kept_monster_definitions_generation;
// get_monster_definition by the group's checks, keeping what it finds.
monster_definition *get_monster_definition_checked(int16 monster_type);
// NULL for an index that holds no definition.
inline monster_definition *get_monster_definition(int16 monster_type)
{
	if (kept_monster_definitions_generation == definitions_generation &&
		static_cast<uint16>(monster_type) < MAXIMUM_MONSTER_DEFINITIONS_PER_MAP)
	{
		monster_definition *definition = kept_monster_definitions[monster_type];
		if (definition) return definition;
	}
	return get_monster_definition_checked(monster_type);
}
// A stored record from bytes, swapped and postprocessed as the loader does; NONE when refused.
int16 new_monster_definition_from_tag_data(file_tag subgroup, const void *tag_data, int32 tag_data_size);

#endif
