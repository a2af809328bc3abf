// Projectiles: everything that flies, falls, lies or burns with a life of its
// own, each owning one object; their creation, flight and detonation.
#ifndef PROJECTILES_H
#define PROJECTILES_H

#include "cseries.h"
#include "world_units.h"
#include "data.h"
#include "damage.h"
#include "projectile_definitions.h"
#include "projectile_group_definitions.h"

struct marker_data;
struct marker_palette_entry;
struct zerv_digest;

/* ---------- constants */

#define MAXIMUM_PROJECTILES_PER_MAP 1024
#define GUIDED_PROJECTILE_MASK 7
#define GUIDED_PROJECTILE_THRESHOLD_DISTANCE 64
#define PROJECTILE_GOT_TIME_MASK 31
#define PROJECTILE_GROUP_DELAY_DELTA 30
#define MINIMUM_BOUNCE_STAIN_SEPARATION 64
#define MAXIMUM_STAIN_HEIGHT 1536
#define MINIMUM_VELOCITY_FOR_KINETIC_DAMAGE 16
#define MAXIMUM_PROMOTION_RECURSION_DEPTH 256

enum // projectile flags
{
	_projectile_detonates_immediately_bit,
	_projectile_cannot_detonate_bit,
	_projectile_is_masonary_bit,
	_projectile_is_smoking_bit,
	_projectile_has_valid_target_location_bit,
	_projectile_originated_from_uncontrollable_monster_bit,
	_projectile_originated_from_ambient_life_monster_bit,
	_projectile_originated_from_monster_with_no_visibility_bit,
	_projectile_has_no_lifespan_bit,
	NUMBER_OF_PROJECTILE_FLAGS,

	_projectile_detonates_immediately_flag = FLAG(_projectile_detonates_immediately_bit),
	_projectile_cannot_detonate_flag = FLAG(_projectile_cannot_detonate_bit),
	_projectile_is_masonary_flag = FLAG(_projectile_is_masonary_bit),
	_projectile_is_smoking_flag = FLAG(_projectile_is_smoking_bit),
	_projectile_has_valid_target_location_flag = FLAG(_projectile_has_valid_target_location_bit),
	_projectile_originated_from_uncontrollable_monster_flag = FLAG(_projectile_originated_from_uncontrollable_monster_bit),
	_projectile_originated_from_ambient_life_monster_flag = FLAG(_projectile_originated_from_ambient_life_monster_bit),
	_projectile_originated_from_monster_with_no_visibility_flag =
		FLAG(_projectile_originated_from_monster_with_no_visibility_bit),
	_projectile_has_no_lifespan_flag = FLAG(_projectile_has_no_lifespan_bit),
	_projectile_origin_flags = _projectile_originated_from_uncontrollable_monster_flag |
		_projectile_originated_from_ambient_life_monster_flag | _projectile_originated_from_monster_with_no_visibility_flag
};

enum // new_projectile_group_data flags
{
	_new_projectile_group_uses_vector_bit,
	_new_projectile_group_uses_epicenter_as_origin_bit,
	_new_projectile_group_has_masonary_source_bit,
	_new_projectile_group_has_smoking_source_bit,
	_new_projectile_group_cannot_detonate_bit,
	_new_projectile_group_detonate_explosives_bit,
	_new_projectile_group_central_bit,
	_new_projectile_group_delayed_bit,
	_new_projectile_group_no_blood_bit,

	_new_projectile_group_uses_vector_flag = FLAG(_new_projectile_group_uses_vector_bit),
	_new_projectile_group_uses_epicenter_as_origin_flag = FLAG(_new_projectile_group_uses_epicenter_as_origin_bit),
	_new_projectile_group_has_masonary_source_flag = FLAG(_new_projectile_group_has_masonary_source_bit),
	_new_projectile_group_has_smoking_source_flag = FLAG(_new_projectile_group_has_smoking_source_bit),
	_new_projectile_group_cannot_detonate_flag = FLAG(_new_projectile_group_cannot_detonate_bit),
	_new_projectile_group_detonate_explosives_flag = FLAG(_new_projectile_group_detonate_explosives_bit),
	_new_projectile_group_central_flag = FLAG(_new_projectile_group_central_bit),
	_new_projectile_group_delayed_flag = FLAG(_new_projectile_group_delayed_bit),
	_new_projectile_group_no_blood_flag = FLAG(_new_projectile_group_no_blood_bit)
};

enum // internal projectiles
{
	_internal_projectile_masonary_dust,
	_internal_projectile_smoke_trail,
	NUMBER_OF_INTERNAL_PROJECTILES
};

// The object colour permutations of masonry and smoking sources.
#define MASONARY_COLOR_PERMUTATION 1
#define SMOKING_COLOR_PERMUTATION 4

/* ---------- records */

struct projectile_data
{
	int16 identifier;
	uint16 flags;
	int16 type; // NONE: a fade record
	int16 object_index;
	int16 target_monster_index;
	int16 owner_unit_index;
	int16 owner_monster_index;
	short_fixed damage_scale;
	int16 ticks_since_last_contrail;
	int16 contrail_count;
	int16 lifespan;
	uint16 contrail_frequency;
	uint16 particle_system_density;
	int16 delay;
	world_point2d last_bounce_stain_position;
	int16 lightning_index, lightning_identifier;
	world_point3d target_location;
	int16 visible_projectile_group_type;
	int16 original_owner_unit_index;
	world_distance guided_speed;
	world_distance last_distance_to_target;
	int16 local_projectile_group_index;
	// Set while the projectile is detonating, so a nested blow does not detonate it again.
	int16 detonating;
};

struct new_projectile_data
{
	int16 type;
	uint16 flags;
	world_location3d location;
	short_fixed damage_scale;
	int16 owner_monster_index;
	int16 owner_projectile_index;
	int16 owner_object_index;
	int16 target_monster_index;
	world_point3d target_location;
};

struct new_projectile_group_data
{
	uint32 flags;
	int16 type;
	int16 owner_object_index;
	int16 bounds_object_index;
	int16 owner_monster_index;
	world_point3d epicenter;
	short_world_distance velocity;
	world_vector3d vector;
};

extern datum_globals projectile_array; // "projectile"

/* ---------- life cycle */

void initialize_projectiles(void);
void initialize_projectiles_for_new_map(void);
void initialize_internal_projectiles_for_new_map(void);
void dispose_projectiles_from_old_map(void);
boolean preload_projectile_sequences(void);

/* ---------- creation */

projectile_data *get_projectile_data(int16 projectile_index);
// The projectile type an object stands for, dormant or in flight; NONE for any
// other object or none.
int16 get_object_projectile_type(const struct object_data *object);
// A blank request: owners and target NONE, full damage scale.
void initialize_new_projectile_data(new_projectile_data *data);
int16 new_projectile(new_projectile_data *data);
void new_projectile_group(new_projectile_group_data *data);
int16 new_projectile_group_part(new_projectile_group_data *data, short_fixed position_lower_bound,
	short_fixed position_delta, int16 projectile_type, uint32 part_flags, boolean no_blood);
int16 new_projectile_from_marker(marker_data *marker);
void new_projectile_palette_entry(marker_palette_entry *entry);
void orphan_monster_projectiles(int16 monster_index, uint16 flags);
int16 get_internal_projectile_type(int16 which);

/* ---------- flight and detonation */

void update_projectiles(void);
void detonate_projectile(const world_point3d *epicenter, short_world_distance velocity, int16 projectile_index,
	int16 obstacle_object_index, boolean remains_after_detonation);
void promote_projectile(int16 projectile_index);
void sleep_projectile(int16 projectile_index);
int16 wake_projectile(int16 object_index, int16 new_owner_monster_index);
int16 fade_object(boolean out, int16 object_index, int16 delay_ticks, int16 fade_ticks);
void accelerate_projectile(const damage_definition *definition, damage_data *data, int16 object_index);

/* ---------- digest */

void fold_projectiles_digest(zerv_digest *digest);

#endif
