// Damage and explosions: every blow, heal and push enters through cause_damage,
// at once or through an explosion that spreads over the following ticks.
#ifndef DAMAGE_H
#define DAMAGE_H

#include <cstddef>

#include "cseries.h"
#include "world_units.h"
#include "byte_swapping.h"
#include "data.h"

struct zerv_digest;

/* ---------- constants */

#define MAXIMUM_EXPLOSIONS_PER_MAP 64
#define MAXIMUM_EXPLOSIONS_PER_MAP_15 24
#define MAXIMUM_EXPLOSIONS_PER_MAP_13 16
#define MAXIMUM_OBJECT_REFERENCES_PER_EXPLOSION 88
#define MAXIMUM_EXPLOSION_RADIUS 4096
#define MAXIMUM_VELOCITY_DUE_TO_EXPLOSION 256
// A bit per owner kind: scenery, monster, projectile, dormant projectile, flag.
#define ACCELERATEABLE_OBJECT_OWNER_FLAGS 94
// The radius of a reference already hit.
#define EXPLOSION_REFERENCE_HIT 32767

enum // damage types
{
	_damage_explosion,
	_damage_magical,
	_damage_hold,
	_damage_healing,
	_damage_kinetic,
	_damage_steel_slashing,
	_damage_stoning,
	_damage_claws_slashing,
	_damage_explosive_electricity,
	_damage_fire,
	_damage_gas,
	_damage_charm,
	NUMBER_OF_DAMAGE_TYPES
};

enum // damage flags
{
	_damage_proportional_to_velocity_bit,
	_damage_area_of_effect_bit,
	_damage_does_not_interrupt_events_bit,
	_damage_is_long_range_bit,
	_damage_can_cause_paralysis_bit,
	_damage_can_stun_bit,
	_damage_cannot_be_blocked_bit,
	_damage_cannot_be_healed_bit,
	_damage_does_not_effect_monsters_bit,
	_damage_detonates_explosives_immediately_bit,
	_damage_proportional_to_mana_bit,
	_damage_can_destroy_large_object_bit,
	_damage_instantaneous_bit,
	_damage_cannot_hurt_owner_bit,
	_damage_does_not_make_monsters_flinch_bit,
	_damage_can_cause_confusion_bit,
	NUMBER_OF_DAMAGE_FLAGS
};

enum : uint16
{
	_damage_proportional_to_velocity_flag = FLAG(_damage_proportional_to_velocity_bit),
	_damage_area_of_effect_flag = FLAG(_damage_area_of_effect_bit),
	_damage_does_not_interrupt_events_flag = FLAG(_damage_does_not_interrupt_events_bit),
	_damage_is_long_range_flag = FLAG(_damage_is_long_range_bit),
	_damage_can_cause_paralysis_flag = FLAG(_damage_can_cause_paralysis_bit),
	_damage_can_stun_flag = FLAG(_damage_can_stun_bit),
	_damage_cannot_be_blocked_flag = FLAG(_damage_cannot_be_blocked_bit),
	_damage_cannot_be_healed_flag = FLAG(_damage_cannot_be_healed_bit),
	_damage_does_not_effect_monsters_flag = FLAG(_damage_does_not_effect_monsters_bit),
	_damage_detonates_explosives_immediately_flag = FLAG(_damage_detonates_explosives_immediately_bit),
	_damage_proportional_to_mana_flag = FLAG(_damage_proportional_to_mana_bit),
	_damage_can_destroy_large_object_flag = FLAG(_damage_can_destroy_large_object_bit),
	_damage_instantaneous_flag = FLAG(_damage_instantaneous_bit),
	_damage_cannot_hurt_owner_flag = FLAG(_damage_cannot_hurt_owner_bit),
	_damage_does_not_make_monsters_flinch_flag = FLAG(_damage_does_not_make_monsters_flinch_bit),
	_damage_can_cause_confusion_flag = FLAG(_damage_can_cause_confusion_bit)
};

enum // damage_data flags (the caller's and the receivers')
{
	_damage_data_reported_projectile_group_bit, // the receiver named a detonation group
	_damage_data_continually_detonating_bit,

	_damage_data_reported_projectile_group_flag = FLAG(_damage_data_reported_projectile_group_bit),
	_damage_data_continually_detonating_flag = FLAG(_damage_data_continually_detonating_bit)
};

enum // damage_object result flags
{
	_damage_result_paralysis_flag = 1,
	_damage_result_absorbed_flag = 2,
	_damage_result_confusion_flag = 4,
	_damage_result_stun_flag = 8,
	_damage_result_charmed_flag = 16
};

/* ---------- records */

// 16 bytes, big-endian inside 'proj' and 'ligh' definitions.
struct damage_definition
{
	int16 type; // NONE: no damage
	uint16 flags;
	short_fixed damage_lower_bound;
	short_fixed damage_delta;
	short_world_distance radius_lower_bound;
	short_world_distance radius_delta;
	short_world_distance rate_of_expansion;
	short_fixed damage_to_velocity;
};
STORED_SIZE(damage_definition, 16);

// The eight 16-bit fields, for descriptors that embed a damage definition.
#define DAMAGE_DEFINITION_BS_CODES _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte
extern const byte_swap_code damage_definition_bs_data[];

struct damage_data
{
	int16 owner_unit_index;
	int16 owner_monster_index;
	int16 owner_monster_identifier;
	int16 detonation_projectile_group_type;
	world_point3d epicenter;
	world_vector3d vector;
	short_fixed scale;
	short_world_distance velocity; // out
	short_fixed damage; // out
	uint16 flags;
	short_fixed mana_used;
	float mana_proportion; // 0: not used
};

struct object_reference
{
	int16 object_index;
	int16 object_identifier;
	int16 radius; // distance from the epicenter; 32767 once hit
	int16 unused;
};

struct explosion_data
{
	int16 identifier;
	int16 object_reference_count;
	short_world_distance current_radius;
	short_world_distance maximum_radius;
	damage_definition damage;
	damage_data data;
	object_reference object_references[MAXIMUM_OBJECT_REFERENCES_PER_EXPLOSION];
};

extern datum_globals explosion_array; // "explosion"

/* ---------- interface */

void initialize_explosions(void);
void initialize_explosions_for_new_map(void);
void dispose_explosions_from_old_map(void);
void update_explosions(void);

explosion_data *get_explosion_data(int16 explosion_index);

void cause_damage(int16 object_index, const damage_definition *definition, damage_data *data);
void accelerate_object(int16 object_index, const damage_definition *definition, damage_data *data);
// Owned by the objects module: applies damage to the object's vitality.
boolean damage_object(int16 object_index, const damage_definition *definition, int32 damage,
	uint16 absorbed_fraction, uint32 *result_flags, int32 *damage_applied);

void orphan_monster_explosions(int16 monster_index, uint16 flags);

// A blank damage_data with every owner NONE and full scale.
void initialize_damage_data(damage_data *data);

void fold_explosions_digest(zerv_digest *digest);

#endif
