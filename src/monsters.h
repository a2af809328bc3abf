// Units (monsters): the unit record, its flags and actions, and every entry
// point of the units module. The module is split into files by concern
// (creation, actions, damage, visibility, veterans, death, commands, movement,
// targeting).
#ifndef MONSTERS_H
#define MONSTERS_H

#include <cstddef>

#include "cseries.h"
#include "data.h"
#include "world_units.h"
#include "monster_definitions.h"
#include "unit_definitions.h"
#include "object_definitions.h"
#include "data.h"

struct damage_definition;
struct damage_data;
struct marker_data;
struct marker_palette_entry;

/* ---------- constants */

#define MAXIMUM_MONSTERS_PER_MAP 400
#define MONSTER_SPEED_VARIANCE 7
#define MINIMUM_MULTIPLE_SOUND_MONSTER_COUNT 3
#define MAXIMUM_WAYPOINTS_PER_MONSTER 4
#define MAXIMUM_HELD_OBJECTS_PER_MONSTER 9
#define MONSTER_NAME_LENGTH 18
#define MONSTER_FLYING_HEIGHT 2048
#define MAXIMUM_FLYING_RAISE_HEIGHT 512
#define MONSTER_TRACKING_PRIORITY 25

// Timers of the action state machine (ticks) and animation rates (8.8).
#define HEALING_TIME 75
#define HOLD_TIME 1590
#define STONING_TIME 45
#define PARALYSIS_TIME 30
#define PARALYSIS_DURATION_LOWER_BOUND 150
#define PARALYSIS_DURATION_DELTA 210
#define PARALYSIS_RECOVERY_TIME 30
#define IDLE_ANIMATION_RATE_LOWER_BOUND 768
#define IDLE_ANIMATION_RATE_DELTA 128
#define IDLE_SEQUENCE_TRANSITION_FRACTION 16384
#define CELEBRATION_ANIMATION_RATE_LOWER_BOUND 256
#define CELEBRATION_ANIMATION_RATE_DELTA 256
#define TAUNTING_ANIMATION_RATE_LOWER_BOUND 256
#define TAUNTING_ANIMATION_RATE_DELTA 256
#define ENDGAME_CELEBRATIONS_LOWER_BOUND 30
#define ENDGAME_CELEBRATIONS_DELTA 20
#define TIMES_TO_TAUNT_LOWER_BOUND 3
#define TIMES_TO_TAUNT_DELTA 3
#define SCAN_FOR_TARGETS_COUNT 64
#define SCAN_FOR_TARGETS_MASK 63
#define CONFUSION_WANDER_RADIUS_LOWER_BOUND 512

// Movement (see the movement files).
#define TICKS_UNTIL_UPDATING_MONSTER_YAW 15
#define MINIMUM_DISTANCE_FROM_PATH_DESTINATION 85
#define STATIONARY_TURN_ANGULAR_CUTOFF 16384
#define MINIMUM_PICK_UP_DISTANCE 256
#define MAXIMUM_REPEATED_OBSTRUCTIONS_BEFORE_STOPPING 30
#define MINIMUM_PAUSING_TIME 10
#define AVERAGE_MONSTER_VELOCITY_COUNT 16
#define RETREAT_DISTANCE 4096
#define RETREAT_SCAN_RADIUS 10
#define RETREATING_ARC 21845
#define SKITTISH_FLEEING_RADIUS 2048
#define PROPELLING_TIMER 10
#define PROPULSION_SPEED 110
#define MINIMUM_CARRIED_OBJECT_VELOCITY 10
#define MONSTER_CONTRAIL_FADE_OUT_TIME 60

// Targeting and attacks.
#define CLOSEST_MOST_APPROPRIATE_TARGET_DIAMETER 10240
#define DEAD_TARGET_SCAN_DIAMETER 6144
#define BECOMING_IDLE_TARGET_SCAN_DIAMETER 2048
#define TRY_AND_SWITCH_TARGET_DISTANCE_THRESHHOLD 2048
#define TRY_AND_SWITCH_TARGET_ANGULAR_DIFFERENCE_THRESHHOLD 4096
#define MAXIMUM_AIM_MONSTER_DISTANCE 10240
#define MAXIMUM_AIM_MONSTER_TIME 300
#define MINIMUM_DISTANCE_TO_LEAD_TARGET 7680
#define DELAY_BETWEEN_EVALUATING_ATTACKS 15
#define DELAY_BETWEEN_ATTACKS_DELTA 6
#define ESTIMATED_DELAY_BEFORE_ATTACKING 45
#define ELEVATED_PROJECTILE_PITCH 4096
#define DECLINED_PROJECTILE_PITCH 64512
#define ABORTED_ATTACK_ERROR_ANGLE 4096
#define MINIMUM_LOB_HEIGHT_DIFFERENCE 768
#define MINIMUM_LOB_DISTANCE 2048
#define MINIMUM_CHARGING_RANGE 4096
#define PROXIMITY_TO_TARGET_DISTANCE 2048
#define MINIMUM_PROJECTILE_VELOCITY_FRACTION 25
#define TARGET_LOCATION_OBSTRUCTION_CHECK_DISTANCE 768
#define DEFAULT_OBJECT_CHECK_DISTANCE 2048
#define MAXIMUM_RELEVANT_EXPERIENCE 5

#ifndef ARTIFACT_ATTACK_INDEX
#define ARTIFACT_ATTACK_INDEX (-69)
#endif

/* ---------- unit flags */

enum // flags
{
	_monster_has_valid_target_bit,
	_monster_responding_to_command_bit,
	_monster_responding_to_target_command_bit,
	_monster_has_valid_target_index_bit,
	_monster_has_valid_target_location_bit,
	_monster_needs_new_path_bit,
	_monster_needs_to_stop_bit,
	_monster_has_obstructed_path_bit,
	_monster_in_proximity_to_target_bit,
	_monster_has_looped_waypoints_bit,
	_monster_has_back_and_forth_looped_waypoints_bit,
	_monster_looping_back_through_waypoints_bit,
	_monster_has_final_desired_yaw_bit,
	_monster_has_attacked_bit,
	_monster_wants_to_pick_up_object_bit,
	_monster_attack_was_aborted_bit,
	_monster_did_not_get_targeting_solution_bit,
	_monster_is_evading_obstacle_to_attack_bit,
	_monster_evading_obstacle_bit,
	_monster_needs_to_retreat_bit,
	_monster_is_retreating_bit,
	_monster_should_close_on_target_bit,
	_monster_was_stopped_bit,
	_monster_will_use_special_ability_bit,
	_monster_is_using_special_ability_bit,
	_monster_has_celebrated_bit,
	_monster_healing_cannot_be_stopped_bit,
	_monster_has_received_user_command_bit,
	_monster_ignores_user_commands_bit,
	_monster_target_has_caused_melee_damage_bit,
	_monster_has_left_the_mesh_bit,
	_monster_standing_ground_bit,
	NUMBER_OF_MONSTER_FLAGS,

	_monster_is_teleporting_in_bit = _monster_has_celebrated_bit
};

enum : uint32
{
	_monster_has_valid_target_flag = FLAG(_monster_has_valid_target_bit),
	_monster_responding_to_command_flag = FLAG(_monster_responding_to_command_bit),
	_monster_responding_to_target_command_flag = FLAG(_monster_responding_to_target_command_bit),
	_monster_has_valid_target_index_flag = FLAG(_monster_has_valid_target_index_bit),
	_monster_has_valid_target_location_flag = FLAG(_monster_has_valid_target_location_bit),
	_monster_needs_new_path_flag = FLAG(_monster_needs_new_path_bit),
	_monster_needs_to_stop_flag = FLAG(_monster_needs_to_stop_bit),
	_monster_has_obstructed_path_flag = FLAG(_monster_has_obstructed_path_bit),
	_monster_in_proximity_to_target_flag = FLAG(_monster_in_proximity_to_target_bit),
	_monster_has_looped_waypoints_flag = FLAG(_monster_has_looped_waypoints_bit),
	_monster_has_back_and_forth_looped_waypoints_flag = FLAG(_monster_has_back_and_forth_looped_waypoints_bit),
	_monster_looping_back_through_waypoints_flag = FLAG(_monster_looping_back_through_waypoints_bit),
	_monster_has_final_desired_yaw_flag = FLAG(_monster_has_final_desired_yaw_bit),
	_monster_has_attacked_flag = FLAG(_monster_has_attacked_bit),
	_monster_wants_to_pick_up_object_flag = FLAG(_monster_wants_to_pick_up_object_bit),
	_monster_attack_was_aborted_flag = FLAG(_monster_attack_was_aborted_bit),
	_monster_did_not_get_targeting_solution_flag = FLAG(_monster_did_not_get_targeting_solution_bit),
	_monster_is_evading_obstacle_to_attack_flag = FLAG(_monster_is_evading_obstacle_to_attack_bit),
	_monster_evading_obstacle_flag = FLAG(_monster_evading_obstacle_bit),
	_monster_needs_to_retreat_flag = FLAG(_monster_needs_to_retreat_bit),
	_monster_is_retreating_flag = FLAG(_monster_is_retreating_bit),
	_monster_should_close_on_target_flag = FLAG(_monster_should_close_on_target_bit),
	_monster_was_stopped_flag = FLAG(_monster_was_stopped_bit),
	_monster_will_use_special_ability_flag = FLAG(_monster_will_use_special_ability_bit),
	_monster_is_using_special_ability_flag = FLAG(_monster_is_using_special_ability_bit),
	_monster_has_celebrated_flag = FLAG(_monster_has_celebrated_bit),
	_monster_is_teleporting_in_flag = FLAG(_monster_is_teleporting_in_bit),
	_monster_healing_cannot_be_stopped_flag = FLAG(_monster_healing_cannot_be_stopped_bit),
	_monster_has_received_user_command_flag = FLAG(_monster_has_received_user_command_bit),
	_monster_ignores_user_commands_flag = FLAG(_monster_ignores_user_commands_bit),
	_monster_target_has_caused_melee_damage_flag = FLAG(_monster_target_has_caused_melee_damage_bit),
	_monster_has_left_the_mesh_flag = FLAG(_monster_has_left_the_mesh_bit),
	_monster_standing_ground_flag = FLAG(_monster_standing_ground_bit)
};

enum // extra flags
{
	_monster_actually_moved_extra_bit,
	_monster_has_no_visibility_extra_bit,
	_monster_is_invisible_extra_bit,
	_monster_does_not_autotarget_extra_bit,
	_monster_cannot_be_autotargeted_extra_bit,
	_monster_failed_to_attack_extra_bit,
	_monster_evading_left_extra_bit,
	_monster_evading_right_extra_bit,
	_monster_is_confused_extra_bit,
	_monster_ignores_model_collisions_extra_bit,
	_monster_wants_to_run_extra_bit,
	_monster_is_netgame_target_extra_bit,
	_monster_is_ambient_life_extra_bit,
	_monster_is_hunted_creature_extra_bit,
	_monster_is_berserk_extra_bit,
	_monster_chain_lightning_prevention_extra_bit,
	_monster_inside_object_extra_bit,
	_monster_inside_object_allowed_extra_bit,
	_monster_has_deferred_movement_command_extra_bit,
	_monster_is_uncontrollable_extra_bit,
	_monster_deviating_left_extra_bit,
	_monster_should_use_closest_range_attack_extra_bit,
	_monster_should_spawn_entrance_proj_group_extra_bit,
	_monster_is_being_traded_extra_bit,
	_monster_was_stoned_prior_to_heal_extra_bit,
	_monster_immobile_extra_bit,
	_monster_deferred_uses_special_extra_bit,
	_monster_will_use_old_collision_detection_extra_bit,
	NUMBER_OF_MONSTER_EXTRA_FLAGS
};

enum : uint32
{
	_monster_actually_moved_extra_flag = FLAG(_monster_actually_moved_extra_bit),
	_monster_has_no_visibility_extra_flag = FLAG(_monster_has_no_visibility_extra_bit),
	_monster_is_invisible_extra_flag = FLAG(_monster_is_invisible_extra_bit),
	_monster_does_not_autotarget_extra_flag = FLAG(_monster_does_not_autotarget_extra_bit),
	_monster_cannot_be_autotargeted_extra_flag = FLAG(_monster_cannot_be_autotargeted_extra_bit),
	_monster_failed_to_attack_extra_flag = FLAG(_monster_failed_to_attack_extra_bit),
	_monster_evading_left_extra_flag = FLAG(_monster_evading_left_extra_bit),
	_monster_evading_right_extra_flag = FLAG(_monster_evading_right_extra_bit),
	_monster_is_confused_extra_flag = FLAG(_monster_is_confused_extra_bit),
	_monster_ignores_model_collisions_extra_flag = FLAG(_monster_ignores_model_collisions_extra_bit),
	_monster_wants_to_run_extra_flag = FLAG(_monster_wants_to_run_extra_bit),
	_monster_is_netgame_target_extra_flag = FLAG(_monster_is_netgame_target_extra_bit),
	_monster_is_ambient_life_extra_flag = FLAG(_monster_is_ambient_life_extra_bit),
	_monster_is_hunted_creature_extra_flag = FLAG(_monster_is_hunted_creature_extra_bit),
	_monster_is_berserk_extra_flag = FLAG(_monster_is_berserk_extra_bit),
	_monster_chain_lightning_prevention_extra_flag = FLAG(_monster_chain_lightning_prevention_extra_bit),
	_monster_inside_object_extra_flag = FLAG(_monster_inside_object_extra_bit),
	_monster_inside_object_allowed_extra_flag = FLAG(_monster_inside_object_allowed_extra_bit),
	_monster_has_deferred_movement_command_extra_flag = FLAG(_monster_has_deferred_movement_command_extra_bit),
	_monster_is_uncontrollable_extra_flag = FLAG(_monster_is_uncontrollable_extra_bit),
	_monster_deviating_left_extra_flag = FLAG(_monster_deviating_left_extra_bit),
	_monster_should_use_closest_range_attack_extra_flag = FLAG(_monster_should_use_closest_range_attack_extra_bit),
	_monster_should_spawn_entrance_proj_group_extra_flag = FLAG(_monster_should_spawn_entrance_proj_group_extra_bit),
	_monster_is_being_traded_extra_flag = FLAG(_monster_is_being_traded_extra_bit),
	_monster_was_stoned_prior_to_heal_extra_flag = FLAG(_monster_was_stoned_prior_to_heal_extra_bit),
	_monster_immobile_extra_flag = FLAG(_monster_immobile_extra_bit),
	_monster_deferred_uses_special_extra_flag = FLAG(_monster_deferred_uses_special_extra_bit),
	_monster_will_use_old_collision_detection_extra_flag = FLAG(_monster_will_use_old_collision_detection_extra_bit)
};

enum // what the unit status display must redraw (display_dirty_flags)
{
	_monster_name_dirty_bit,
	_monster_experience_dirty_bit,
	_monster_flavor_dirty_bit,
	_monster_items_dirty_bit,
	_monster_type_dirty_bit,
	_monster_head_shot_dirty_bit,
	_monster_special_ability_dirty_bit,
	_monster_ammunition_dirty_bit,

	_monster_name_dirty_flag = FLAG(_monster_name_dirty_bit),
	_monster_experience_dirty_flag = FLAG(_monster_experience_dirty_bit),
	_monster_flavor_dirty_flag = FLAG(_monster_flavor_dirty_bit),
	_monster_items_dirty_flag = FLAG(_monster_items_dirty_bit),
	_monster_type_dirty_flag = FLAG(_monster_type_dirty_bit),
	_monster_head_shot_dirty_flag = FLAG(_monster_head_shot_dirty_bit),
	_monster_special_ability_dirty_flag = FLAG(_monster_special_ability_dirty_bit),
	_monster_ammunition_dirty_flag = FLAG(_monster_ammunition_dirty_bit),
	_monster_all_dirty_flags = 255
};

/* ---------- actions, permutations and death kinds (one enumeration) */

enum
{
	_monster_action_none,
	_monster_action_idle, // 1
	_monster_action_celebrating,
	_monster_action_taunting,
	_monster_action_moving,
	_monster_action_turning,
	_monster_action_holding_for_attack,
	_monster_action_aiming_attack,
	_monster_action_attacking, // 8
	_monster_action_blocking,
	_monster_action_picking_up,
	_monster_action_being_healed,
	_monster_action_being_held,
	_monster_action_stoned,
	_monster_action_paralyzed,
	_monster_action_taking_damage, // 15
	_monster_action_dying, // 16

	_monster_is_teleporting, // 17
	_monster_action_permutation_walking,
	_monster_action_permutation_running,
	_monster_action_permutation_gliding,
	_monster_action_permutation_turning_to_stone,
	_monster_action_permutation_stoned,
	_monster_action_permutation_being_paralyzed,
	_monster_action_permutation_paralyzed,
	_monster_action_permutation_recovering_from_paralysis, // 25
	_monster_idle_primary,
	_monster_idle_transition_to_primary,
	_monster_idle_secondary,
	_monster_idle_transition_to_secondary, // 29
	_monster_special_ability_explode, // 30
	_monster_special_ability_dark_vision,
	_monster_special_ability_light_vision,
	_monster_special_ability_dark_taunt,
	_monster_special_ability_light_taunt,
	_monster_special_ability_relic_search,
	_monster_special_ability_place_projectile,
	_monster_special_ability_drop, // 37
	_monster_death_soft, // 38
	_monster_death_hard,
	_monster_death_disintegration, // 40
	_monster_immobile, // 41
	_monster_action_being_propelled, // 42
	_monster_death_fire, // 43
	NUMBER_OF_MONSTER_ACTIONS
};
static_assert(_monster_action_dying == 16 && _monster_idle_transition_to_secondary == 29 && _monster_death_soft == 38 &&
	_monster_action_being_propelled == 42 && _monster_death_fire == 43);

/* ---------- internal projectile groups */

enum
{
	_internal_projectile_group_healing_start,
	_internal_projectile_group_healing_effect,
	_internal_projectile_group_paralysis_start,
	_internal_projectile_group_paralysis_effect,
	_internal_projectile_group_paralysis_done,
	_internal_projectile_group_stoning_start,
	_internal_projectile_group_stoning_effect,
	_internal_projectile_group_stone_impact_effect,
	_internal_projectile_group_stone_detonation_effect,
	_internal_projectile_group_teleport_in,
	_internal_projectile_group_teleport_out,
	_internal_projectile_group_vessel_in,
	_internal_projectile_group_vessel_out,
	_internal_projectile_group_hold_effect,
	NUMBER_OF_INTERNAL_PROJECTILE_GROUPS
};

struct internal_projectile_group
{
	file_tag tag;
	int16 index; // NONE when the map has no such group
};

/* ---------- evaluate_monster result */

enum
{
	_evaluate_monster_controllable_bit,
	_evaluate_monster_friendly_bit,
	_evaluate_monster_owned_bit,

	_evaluate_monster_controllable_flag = FLAG(_evaluate_monster_controllable_bit),
	_evaluate_monster_friendly_flag = FLAG(_evaluate_monster_friendly_bit),
	_evaluate_monster_owned_flag = FLAG(_evaluate_monster_owned_bit)
};

/* ---------- the unit record (never stored: films replay commands) */

struct monster_data
{
	int16 identifier; // 0: free record
	int16 type; // 'mons' index
	uint32 flags;
	uint32 extra_flags;

	int16 object_index;
	int16 carrying_object_index;
	int16 artifact_index;
	int16 local_projectile_group_index; // machine-local effect
	int16 unit_type; // 'unit' index

	int8 owner_team_index;
	int8 owner_player_index;
	uint8 cell_impassability_flags;
	int8 ticks_until_updating;
	uint16 terrain_impassability_flags;
	int16 repeated_obstruction_count; // also the attack's repetition counter
	int16 path_index;
	short_world_distance path_segment_length;
	int8 waypoint_count, waypoint_index;
	angle desired_yaw, final_desired_yaw;
	world_point2d waypoints[MAXIMUM_WAYPOINTS_PER_MONSTER];
	world_point2d path_destination;
	world_point2d target_location, last_target_location;
	short_world_distance target_location_height;

	int16 target_monster_index;
	int16 deferred_target_index;
	int16 attack_timer;
	int16 confusion_timer;
	int16 estimated_projectile_flight_time;
	angle estimated_projectile_pitch;
	short_world_distance projectile_initial_velocity;
	int16 avoiding_object_index;
	int16 pick_up_object_index, pick_up_object_identifier;
	int16 aggressor_monster_index;
	int16 internal_command_identifier;
	short_fixed mana;
	short_world_distance base_movement_speed;

	int16 formation_identifier, formation_position, formation_index, last_formation_index;
	angle formation_angle;
	short_world_distance height_over_mesh;

	int8 action;
	int8 action_permutation;
	int8 ammunition_count;
	uint8 display_dirty_flags; // machine-local
	uint8 experience;
	int8 battles_survived;
	int8 original_name_string_index;
	int8 maximum_artifacts_carried;
	int8 held_object_count;
	int16 held_object_indexes[MAXIMUM_HELD_OBJECTS_PER_MONSTER];
	int16 current_local_projectile_group_index; // machine-local
	int16 current_overhead_text_index; // machine-local

	uint32 artifact_timer;
	int32 carried_artifact_flags;
	int16 orig_type;
	short_world_distance orig_base_movement_speed;
	struct monster_map_action_data *monster_map_action_data; // NULL none
	int32 marker_index;
	angle propelled_yaw;
	int16 propelled_timer;
	int16 propulsion_speed;
	char name[MONSTER_NAME_LENGTH];
};

/* ---------- the array and module globals */

extern datum_globals monster_array; // "monster"
extern internal_projectile_group internal_projectile_groups[NUMBER_OF_INTERNAL_PROJECTILE_GROUPS];

// NULL for an index that holds no unit. Inline: every unit update asks many times.
inline monster_data *get_monster_data(int16 monster_index)
{
	if (!monster_array.data || monster_index < 0 || monster_index >= MAXIMUM_MONSTERS_PER_MAP) return nullptr;
	// The array always holds MAXIMUM_MONSTERS_PER_MAP records of this type.
	monster_data *monster = static_cast<monster_data *>(monster_array.data) + monster_index;
	return monster->identifier != 0 ? monster : nullptr;
}
// The unit at index when its identifier still matches; NULL otherwise.
monster_data *get_monster_data_by_identifier(int16 monster_index, int16 identifier);
// The definitions of a live unit's current kind and unit type; NULL without one.
monster_definition *get_monster_definition_for_monster(int16 monster_index);
// The class of the unit's definition; NONE when there is no such unit.
int16 get_monster_class(int16 monster_index);

/* ---------- module hooks */

void initialize_monsters(void);
void initialize_monsters_for_new_map(void);
void dispose_monsters_from_old_map(void);
void initialize_internal_projectile_groups_for_new_map(void);
void preload_monster_sequences(void);
void unmark_monsters_being_traded(void);

/* ---------- creation and removal */

// The unit index or NONE; also written to the marker's data_index (except
// when the marker names no palette entry).
int16 new_monster(marker_data *marker);
// The unit being killed inside its own creation, NONE otherwise: it never respawns.
int16 get_monster_being_created(void);
int16 new_monster_at_location(file_tag unit_tag, const world_point3d *location, int16 owner_player_index,
	uint32 new_monster_flags, uint32 new_monster_extra_flags);
void delete_monster(int16 monster_index, boolean permanent);
// Prepares a unit palette row before its markers are placed.
void new_monster_palette_entry(marker_palette_entry *entry);

/* ---------- queries on lists of indexes (in place; each returns the new count) */

void monster_indexes_to_monster_identifiers(const int16 *indexes, int16 *identifiers, int16 count);
int16 monster_identifiers_to_monster_indexes(const int16 *identifiers, int16 *indexes, int16 count);
// The one way a unit's identifier changes: it keeps the identifier lookup current.
void set_monster_identifier(int16 monster_index, int16 identifier);
int16 remove_incapacitated_monster_indexes(int16 *indexes, int16 count);
int16 remove_monster_indexes_under_user_control(int16 *indexes, int16 count);
int16 remove_monsters_that_have_left_the_mesh(int16 *indexes, int16 count);
// The integer mean of the objects' x and y, and the largest extent from it; (-1, -1) and 0 for none.
world_distance get_centerpoint_of_monster_indexes(int16 count, const int16 *indexes, world_point2d *center);
// _evaluate_monster_* bits for the local player.
uint16 evaluate_monster(int16 monster_index);

/* ---------- names and sounds */

const char *get_monster_spelling(int16 monster_type, int16 count);
const char *get_monster_name(int16 monster_index);
void play_monster_sound(int16 monster_index, int16 sound_type);
void play_monsters_sound(const int16 *indexes, int16 count, int16 sound_type);

// Every live unit of the team gets _monster_has_celebrated_flag.
void mark_team_monsters_as_celebrated(int16 team_index);

/* ---------- the action state machine */

void set_monster_action(int16 monster_index, int16 action, int16 permutation);
void set_most_appropriate_monster_action(int16 monster_index);
void set_monster_movement_animation(int16 monster_index, int16 permutation);
void set_monster_action_holding_for_attack(int16 monster_index);
void make_monster_taunt(int16 monster_index);
void make_monster_celebrate(int16 monster_index);
void update_monsters(void);
void update_monsters_13(void);
void monster_confused(int16 monster_index);
void monster_idle(int16 monster_index);
void monster_attacking(int16 monster_index);
void monster_picking_up(int16 monster_index);
void monster_being_healed(int16 monster_index);
void monster_being_held(int16 monster_index);
void monster_paralyzed(int16 monster_index);
void monster_being_propelled(int16 monster_index);

/* ---------- damage response, items and experience */

// Effect modifiers: _effect_modifier_* of object_definitions.h.

enum // pick-up result bits
{
	_monster_could_pick_up_object_bit,
	_monster_could_pick_up_flag_bit,
	_monster_could_pick_up_ammunition_bit,
	_monster_could_pick_up_by_promoting_bit,
	_monster_could_pick_up_additional_bit,
	_monster_could_pick_up_artifact_charge_bit,

	_monster_could_pick_up_object_flag = FLAG(_monster_could_pick_up_object_bit),
	_monster_could_pick_up_flag_flag = FLAG(_monster_could_pick_up_flag_bit),
	_monster_could_pick_up_ammunition_flag = FLAG(_monster_could_pick_up_ammunition_bit),
	_monster_could_pick_up_by_promoting_flag = FLAG(_monster_could_pick_up_by_promoting_bit),
	_monster_could_pick_up_additional_flag = FLAG(_monster_could_pick_up_additional_bit),
	_monster_could_pick_up_artifact_charge_flag = FLAG(_monster_could_pick_up_artifact_charge_bit)
};

// Called by cause_damage; may set the damage data's flags and detonation group.
void accelerate_monster(const damage_definition *definition, damage_data *data, int16 monster_index);
// The modifier table in force (NUMBER_OF_EFFECT_MODIFIERS 8.8 values).
const short_fixed *get_monster_effect_modifiers(int16 monster_index);
int16 get_relevant_experience(int16 monster_index);
uint16 monster_could_pick_up_object(int16 monster_index, int16 object_index, int16 object_identifier);
uint16 give_object_to_monster(int16 monster_index, int16 object_index);
void switch_monster_artifact(int16 monster_index);
void give_artifacts_from_projectile_group(int16 monster_index, int16 projectile_group_type);
void set_monster_magical_invisibility(int16 monster_index, boolean on);

/* ---------- visibility (fog of war) */

// Two bits per mesh cell in the fog-of-war buffers, sixteen cells to a word,
// the first cell in the lowest bits.
enum
{
	_visibility_bit,
	_close_visibility_bit,

	_visibility_flag = FLAG(_visibility_bit),
	_close_visibility_flag = FLAG(_close_visibility_bit)
};

// Visibility kinds: _visibility_bitmap_* of monster_definitions.h.

#define MAXIMUM_VISIBILITY_BITMAP_BUFFER_SIZE 8192

// The local player's front buffer; NULL counts as every cell seen closely.
extern uint32 *visibility_front_buffer;
extern uint32 *visibility_permanent_buffer;

// The two visibility bits of a cell of the front buffer (3 without a buffer).
int16 get_cell_visibility(int32 cell_x, int32 cell_y);
void initialize_monster_visibility(void);
void dispose_monster_visibility_from_old_map(void);
void initialize_monster_visibility_for_new_map(void);
void build_monster_visibility(int16 monster_index);
void build_initial_monster_visibility(void);
void rasterize_visibility_bitmap(int16 kind, int32 cell_x, int32 cell_y);
void swap_visibility_buffers(void);
void get_center_of_visibility_buffer(struct point2d *point);
boolean should_draw_overhead_observer_position(void);

/* ---------- veterans */

#define MAXIMUM_MONSTER_INITIALIZERS_PER_MAP 400
#define MONSTER_INITIALIZER_STORED_SIZE 40

enum
{
	_monster_initializer_used_bit,
	_monster_initializer_used_flag = FLAG(_monster_initializer_used_bit)
};

// In memory in host order; 40 bytes big-endian on the wire and in films.
struct monster_initializer
{
	uint32 flags;
	uint32 owner_player_identifier;
	file_tag unit_tag;
	file_tag monster_tag;
	uint8 experience;
	int8 battles_survived;
	int8 color_table_permutation;
	int8 original_name_string_index;
	int16 pad; // not swapped
	char name[MONSTER_NAME_LENGTH];
};
STORED_SIZE(monster_initializer, 40);

void initialize_monster_initializers(void);
void reset_monster_initializers(void);
void mark_monster_initializers_as_unused(void);
void backup_monster_initializers(void);
void restore_monster_initializers_from_backup(void);
void build_monster_initializers(void);
// The veteran to place for the unit type, marked used; NULL for none.
monster_initializer *get_monster_initializer(int16 unit_type);
// size = count × 40; with a buffer, the records are written big-endian.
void export_monster_initializers(void *buffer, int32 *size);
// FALSE (store emptied) for a size that is not whole records or above the store.
boolean import_monster_initializers(const void *buffer, int32 size);
monster_initializer *get_monster_initializers(int16 *count);

/* ---------- death, ownership and hiding */

#define MAXIMUM_NUMBER_OF_MONSTER_DIED_PROCS 8
#define MAXIMUM_MONSTER_DIED_PROCS MAXIMUM_NUMBER_OF_MONSTER_DIED_PROCS

enum // died flags
{
	_monster_died_show_censored_death_bit,
	_monster_died_clear_presets_bit,

	_monster_died_show_censored_death_flag = FLAG(_monster_died_show_censored_death_bit),
	_monster_died_clear_presets_flag = FLAG(_monster_died_clear_presets_bit),

	// The three calls made: hiding, owner change or non-permanent deletion, death or permanent deletion.
	_monster_died_hidden = 0,
	_monster_died_changed_owner = 2,
	_monster_died_deleted = 3
};

enum // show and hide effects
{
	_monster_visibility_effect_none = -1,
	_monster_visibility_effect_definition,
	_monster_visibility_effect_teleport,
	_monster_visibility_effect_vessel,
	_monster_visibility_effect_fade
};

enum // how a unit leaves the world: the hide effect it goes with
{
	_monster_exit_world_gate = _monster_visibility_effect_teleport
};

typedef void (*monster_died_proc)(int16 monster_index, uint16 flags);

// FALSE (with a line) when all eight slots are taken; a procedure already
// registered is not added twice.
boolean register_monster_died_proc(monster_died_proc proc);
// The first slot is kept for the units' own procedure, monster_died.
void set_monster_died_first_proc(monster_died_proc proc);
void call_monster_died_procs(int16 monster_index, uint16 flags);
// The units' own died procedure: other units forget the dead one.
void monster_died(int16 monster_index, uint16 flags);

// The damage data may be NULL only for disintegration.
void kill_monster(int16 monster_index, const damage_definition *definition, damage_data *data, int16 death_kind);
int16 make_monster_visible(int16 marker_identifier, int16 effect);
void make_monster_invisible(int16 marker_identifier, int16 effect);
// What hiding does to the unit itself, without an effect or the marker.
void hide_monster(int16 monster_index);
void detach_monster(int16 monster_index, int16 player_index, boolean silent);
// The unit trading dialog's counts for a team, applied at the command's tick.
void adjust_unit_placement(int16 team_index, int16 count, const int16 *counts);
void change_monster_owner(int16 monster_index, int16 player_index);
void monster_player_control_changed(int16 monster_index);
void monster_change_identifier(int16 monster_index);
int16 find_player_unit_type_for_monster(int16 player_index, int16 monster_index);
void eliminate_units_of_losing_team(int16 team_index);
void crossfade_monster_color_table_permutation(int16 monster_index, int16 permutation, int16 ticks);

/* ---------- orders (command execution) */

void stop_monsters(int16 count, const int16 *monster_indexes, boolean stop, boolean guard, boolean special);
void set_monster_target_index(int16 monster_index, uint16 target_flags, int16 target_index);
void set_monster_target_location(int16 monster_index, const world_point3d *point, uint16 attack_location_flags);
void pair_attackers_with_targets(uint16 target_flags, int16 attacker_count, int16 target_count,
	const int16 *attackers, const int16 *targets);
void monster_command_drop_projectile(monster_data *monster, int16 monster_index, int16 slot);
// Also used by scatter, retreat, confused units and fire.
void set_monster_waypoints(int16 monster_index, int16 count, const world_point2d *waypoints, uint16 movement_flags,
	angle final_facing);

/* ---------- movement and collision */

struct world_rectangle2d
{
	world_distance x0, y0, x1, y1;
};

void monster_needs_new_path(int16 monster_index);
// A script has set the unit's object down elsewhere (a gate, 'moma'): the unit
// keeps no path, waypoints or item to fetch from where it was; it goes after
// its target, if any, from where it stands, and otherwise stands there.
void monster_carried_by_script(int16 monster_index);
void monster_moving(int16 monster_index);
struct object_data;
struct monster_definition;
// monster_moving for the unit update, which holds the unit's live record, its object's and its
// kind's, each as get_*_data / get_monster_definition would give it: none NULL.
void monster_moving_with_records(int16 monster_index, monster_data *monster, object_data *object,
	const monster_definition *definition);
// One tick of travel; _object_struck_* bits, the struck object's index in the upper 16 bits.
uint32 move_monster_object(int16 object_index);
void calculate_monster_speed(int16 monster_index);
void find_monster_smooth_velocity(int16 object_index, world_vector3d *velocity);
world_distance get_height_for_new_position(const world_point2d *point, boolean floats_on_media,
	boolean keeps_height_above_ground, short_world_distance height_over_mesh, boolean *in_media);
void update_monster_location_height(int16 monster_index);
uint8 build_cell_impassability_flags(uint16 terrain_impassability_flags, const world_point2d *position);
// Refreshes the units' impassability around one cell after its terrain changed.
void update_monster_impassability_for_cell(int32 x, int32 y);
boolean indoor_cell_obstruction_proc(int32 x, int32 y, void *data);
void report_obstructed_cell_bounds(int32 x, int32 y, struct world_rectangle2d *rectangles, int16 *count,
	world_distance margin);
int16 check_for_object_obstruction(int16 object_index, const world_point3d *from, const world_point3d *to,
	world_distance check_distance, angle pitch, boolean test_height, boolean units_always_block, boolean wide);
boolean check_for_ground_obstruction(const world_point3d *from, const world_point3d *to, angle pitch,
	boolean *obstructed, const object_definition *projectile_object_definition);
boolean use_monster_pathfinding_radius(int16 monster_index, int16 other_monster_index);
boolean generate_point_of_retreat(int16 monster_index, const world_point2d *from, world_point2d *point, angle *facing);

/* ---------- targeting and attacks */

enum // scan modes
{
	_closest_most_appropriate_target_periodic_scan,
	_closest_most_appropriate_target_target_died_scan,
	_closest_most_appropriate_target_second_target_died_scan,
	_closest_most_appropriate_target_becoming_idle_scan
};

enum // switch flags
{
	_switch_target_command_override_flag = 1,
	_switch_target_activate_adjacents_flag = 2,
	_switch_target_close_range_flag = 4,
	_switch_target_suppress_melee_attacks_flag = 8
};

enum // attack choice modes
{
	_choose_best_possible_attack_index,
	_choose_best_immediate_attack_index,
	_choose_special_ability_attack_index,
	_choose_reflexive_special_ability_attack_index
};

enum // attack handling modes
{
	_monster_attack_aim,
	_monster_attack_execute,
	_monster_attack_abort
};

enum // where a distance lies against an attack's range
{
	_attack_in_range,
	_attack_under_minimum_range_bit,
	_attack_over_maximum_range_bit
};

enum // special ability modes
{
	_special_ability_immediate,
	_special_ability_any_target,
	_special_ability_enemy_target,
	_special_ability_ground
};

int16 closest_most_appropriate_target(int16 monster_index, int16 mode);
// The shortest distance that the died scan's longest lengthening (past a
// quarter turn off the unit's facing) takes to critical or beyond.
world_distance died_scan_angle_free_distance(world_distance critical);
boolean try_and_switch_target_indexes(int16 monster_index, int16 candidate_index, uint16 switch_flags);
// TRUE when try_and_switch_target_indexes refuses every candidate, changing nothing.
boolean target_switch_is_refused_for_every_candidate(int16 monster_index, uint16 switch_flags);
// The unit's attack by index (ARTIFACT_ATTACK_INDEX: its artifact's); NULL without one.
const monster_attack_definition *get_monster_attack_definition(int16 monster_index, int16 attack_index);
boolean validate_monster_attack_use(int16 monster_index, int16 attack_index);
int16 choose_monster_attack_index(int16 monster_index, int16 mode);
int16 get_monster_special_ability_mode(int16 monster_index, int16 *string_index);
boolean special_ability_can_be_used_against_friendlies(int16 monster_index);
int16 get_monster_attack_sequence_index(const monster_attack_definition *attack, angle pitch);
void get_monster_target_location(int16 monster_index, world_point3d *point, int16 aim_part, int16 lead_ticks);
world_distance linear_distance_to_enemy(int16 monster_index);
world_distance linear_distance_to_best_point_of_attack(int16 monster_index);
boolean monster_wants_to_charge(int16 monster_index, world_distance distance);
boolean aim_monster(int16 chaser_index, int16 target_index, world_point2d *point);
boolean try_monster_attack(int16 monster_index);
boolean handle_monster_attack(int16 monster_index, int16 attack_index, int16 mode);

// Attack flags the record names only by number.
// The last attack tried went ahead.
constexpr int32 _monster_attack_went_ahead_extra_bit = 15;
constexpr uint32 _monster_attack_went_ahead_extra_flag = FLAG(_monster_attack_went_ahead_extra_bit);

enum // aim flags and projectile aim results
{
	_aim_projectile_indirect_bit,
	_aim_projectile_check_gravity_bit,
	_aim_projectile_indirect_flag = FLAG(_aim_projectile_indirect_bit),
	_aim_projectile_check_gravity_flag = FLAG(_aim_projectile_check_gravity_bit),

	_projectile_aim_unsolved = 0,
	_projectile_aim_solved = 1
};

// The pieces of the attack code that tests and the fuzz target reach.
boolean validate_monster_attack_against_target(const monster_attack_definition *attack, boolean giant, boolean flying,
	boolean undead);
void adjust_ranges_for_height_difference(int16 monster_index, const monster_attack_definition *attack, world_distance dz,
	world_distance d, world_distance *minimum, world_distance *maximum);
boolean aim_projectile(int16 monster_index, const monster_attack_definition *attack, const world_point3d *origin,
	world_point3d *target, angle *pitch, int16 *flight_time);
boolean aim_projectile_fixed_pitch(int16 monster_index, const monster_attack_definition *attack, const world_point3d *origin,
	const world_point3d *target, angle *pitch, int16 *flight_time);
void try_evasive_maneuvers(int16 monster_index, int16 obstacle_object_index);
// TRUE when the blast would spare friends: 3 x friendly vitality <= enemy vitality.
boolean preflight_area_of_effect_projectile(int16 monster_index, int16 projectile_type, const world_point3d *target_point);
// The scan square in cells (corner and side) and the point distances are taken from.
void get_target_scan_square(int16 monster_index, int16 mode, int32 *x0, int32 *y0, int32 *size, world_point2d *centre);
// Arithmetic cores, without units: the general solution (which may move the
// target to the farthest reach), the fixed-pitch solution and the intercept.
int16 solve_projectile_aim(int32 velocity, int32 gravity, boolean indirect, const world_point3d *origin, world_point3d *target,
	angle *pitch, int16 *flight_time);
boolean solve_fixed_pitch_aim(int32 maximum_velocity, int32 gravity, const world_point3d *unit_position,
	const world_point3d *origin, const world_point3d *target, angle *pitch, int16 *flight_time, int32 *velocity);
boolean solve_interception(world_distance dx, world_distance dy, int32 vx, int32 vy, int32 speed, int32 *lead_ticks);
// Rounded to the nearest integer; equals isqrt below 2^32.
uint64 rounded_square_root64(uint64 x);

/* ---------- digest */

struct zerv_digest;
// Every synchronised field of each live unit, then the kinds' name counters.
void fold_monsters_digest(zerv_digest *digest);

/* ---------- test hooks */

// Calls into the stand-ins, counted for tests.
struct monsters_test_hooks_data
{
	int32 impassability_updates;
	int32 last_impassability_x, last_impassability_y;
	int32 accelerate_monster_calls;
	int32 location_height_updates;
	int32 kill_monster_calls;
	int32 monster_needs_new_path_calls;
	int32 monster_moving_calls;
	int32 handle_monster_attack_calls;
	int32 closest_target_calls;
	// Set: every target scan weighs each candidate in full as often as it comes up.
	boolean target_scans_weigh_every_candidate;
	// Periodic scans per unit index, and visibility buffer swaps.
	uint8 scans[MAXIMUM_MONSTERS_PER_MAP];
	int32 last_scan_time[MAXIMUM_MONSTERS_PER_MAP];
	int32 visibility_swaps;
	int32 crossfade_calls;
	int16 last_crossfade_permutation;
	// Per unit index, the game time at which a script last carried its object
	// (NONE when none has).
	int32 last_script_carry_time[MAXIMUM_MONSTERS_PER_MAP];
};
monsters_test_hooks_data *get_monsters_test_hooks(void);
void reset_monsters_test_hooks(void);

#endif
