// Ambient life: harmless animals and bystanders that move about on their own
// through a map action per unit, with each unit's state in a small record of
// a per-map memory pool.
#ifndef MONSTER_AMBIENT_LIFE_H
#define MONSTER_AMBIENT_LIFE_H

#include "cseries.h"
#include "world_units.h"

#define MAP_ACTION_MEMORY_POOL_SIZE 4096

enum // the kinds with a record
{
	_ambient_life_chicken,
	_ambient_life_deer,
	_ambient_life_peasant,
	_ambient_life_soaring,
	NUMBER_OF_AMBIENT_LIFE_KINDS
};

struct chicken_action_data
{
	int32 ticks_until_next_movement;
	world_point2d original_position;
};
static_assert(sizeof(chicken_action_data) == 12);

enum // deer_action_data flags
{
	_deer_was_previously_retreating_bit,
	_deer_was_previously_retreating_flag = FLAG(_deer_was_previously_retreating_bit)
};

struct deer_action_data
{
	uint32 flags;
	int32 ticks_until_next_movement;
	world_point2d original_position;
	short_fixed last_vitality;
	int16 padding;
};
static_assert(sizeof(deer_action_data) == 20);

struct peasant_action_data
{
	int32 ticks_until_next_movement;
	world_point2d original_position;
};
static_assert(sizeof(peasant_action_data) == 12);

struct soaring_action_data
{
	int32 ticks_until_next_movement;
	int32 ticks_until_glide_transition;
};
static_assert(sizeof(soaring_action_data) == 8);

extern const chicken_action_data default_chicken_action_data;
extern const deer_action_data default_deer_action_data;
extern const peasant_action_data default_peasant_action_data;
extern const soaring_action_data default_soaring_action_data;

void initialize_chicken_action_data_to_default(int16 monster_index);
void initialize_deer_action_data_to_default(int16 monster_index);
void initialize_peasant_action_data_to_default(int16 monster_index);
void initialize_soaring_action_data_to_default(int16 monster_index);

void initialize_monster_map_action_memory_pool(void);
void initialize_monster_map_action_memory_pool_for_new_map(void);
void create_map_action_for_monster(int16 monster_index, file_tag map_action_tag);

// The bytes still free in the pool; 0 when it could not be allocated.
int32 get_monster_map_action_memory_pool_free_space(void);
// The unit's record when it is of that kind; NULL otherwise.
void *get_monster_ambient_life_record(int16 monster_index, int16 kind);
// The record's byte offset in the pool, NONE without one.
int32 get_monster_ambient_life_pool_offset(int16 monster_index);

struct zerv_digest;
void ambient_life_fold_digest(zerv_digest *digest);

#endif
