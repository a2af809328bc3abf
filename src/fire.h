// Fire: terrain cells that burn, damage what stands near them and spread.
#ifndef FIRE_H
#define FIRE_H

#include "cseries.h"
#include "world_units.h"
#include "sound/sound_manager.h"

#define MAXIMUM_CELLS_ON_FIRE_PER_MAP 128
#define NUMBER_OF_FIRE_PROJECTILE_GROUPS 5
#define NUMBER_OF_SMOKE_PROJECTILE_GROUPS 3
#define SPREADING_CHANCE_DELTA 21845
#define MAXIMUM_TIMES_FIRE_CAN_SPREAD 3
#define TICKS_TILL_SPREADING_LOWER_BOUND 120
#define TICKS_TILL_SPREADING_DELTA 150
#define FIRE_DURATION_LOWER_BOUND 90
#define FIRE_DURATION_DELTA 120
#define MODEL_SEARCH_RADIUS 1
#define MESH_CELL_SEARCH_RADIUS 2
#define RETREAT_CELL_RADIUS 1
#define FIRE_DAMAGE_MASK 7
#define MAXIMUM_AMBIENT_SOUND_RADIUS 24576
#define MAXIMUM_NUMBER_OF_FIRE_SOUND_SOURCES 64
#define NUMBER_OF_FIRE_SOURCES_TO_REPORT 1
#define MAXIMUM_RAW_AMBIENT_SOUNDS 7
#define FIRE_PROJECTILE_GROUP_TAG TAG("fire")
#define SMOKE_PROJECTILE_GROUP_TAG TAG("smff")
#define DEFAULT_AMBIENT_FIRE_SOUND_TAG TAG("amfi")
// The flame mirror's start-up and ending transitions.
#define FIRE_MIRROR_TRANSITION_TICKS 150

struct fire_cell_data
{
	int16 identifier;
	uint16 flags;
	int16 x, y;
	fixed_fraction chance_of_spreading;
	int16 fire_mirror_group_index;
	int16 owner_unit_index;
	int16 owner_monster_index;
	int16 owner_monster_identifier;
	// Updates left for a fire without a flame mirror; 0 while a mirror decides.
	int32 ticks_until_burnt_out;
};

struct new_fire_cell_data
{
	int16 x, y;
	fixed_fraction chance_of_spreading;
	int16 owner_unit_index;
	int16 owner_monster_index;
	int16 owner_monster_identifier;
};

struct fire_globals_data
{
	int16 fire_groups[NUMBER_OF_FIRE_PROJECTILE_GROUPS];
	int16 smoke_groups[NUMBER_OF_SMOKE_PROJECTILE_GROUPS];
	int32 ticks_until_fire_can_spread;
};

extern const fixed_fraction terrain_starting_chance[16];
extern const fixed_fraction terrain_spreading_chance[16];

void initialize_fire(void);
void initialize_fire_for_new_map(void);
void dispose_fire_from_old_map(void);
void update_fire(void);

void try_to_start_fire(int16 owner_unit_index, int16 owner_monster_index, int16 owner_monster_identifier, int32 cell_x,
	int32 cell_y);
void start_fire(const new_fire_cell_data *data);
void mark_as_burnable(new_fire_cell_data *burnable_cells, int16 *burnable_cell_count, int32 cell_x, int32 cell_y,
	fixed_fraction source_chance_of_spreading, int16 owner_unit_index, int16 owner_monster_index,
	int16 owner_monster_identifier);
void tell_nearby_monsters_to_recalculate_paths(int32 cell_x, int32 cell_y, boolean make_units_retreat);
void extinguish_fire_in_cell(int32 cell_x, int32 cell_y);
// Whether a fire burns in the cell.
boolean cell_is_on_fire(int32 cell_x, int32 cell_y);
void orphan_monster_fires(int16 monster_index, uint16 flags);
void report_fire_as_sound_source(void *context, int16 *count, report_ambient_sound_source_proc report);

fire_cell_data *get_fire_cell_data(int16 index);
const fire_globals_data *get_fire_globals(void);
// A cell's chance from its two terrain fields.
fixed_fraction cell_fire_chance(const fixed_fraction *table, uint16 cell_flags);

struct zerv_digest;
void fold_fire_digest(zerv_digest *digest);

// Test hooks: the sound and listener the sound least layer cannot give yet.
struct fire_test_hooks_data
{
	// Fires put out, counted for the mirror groups' tests.
	int32 extinguish_calls;
	boolean has_ambient_sound;
	int16 ambient_sound_index;
	int16 volume_lower_bound, volume_delta;
	world_distance inner_radius, outer_radius;
	boolean has_listener;
	world_point3d listener;
};
fire_test_hooks_data *get_fire_test_hooks(void);
void reset_fire_test_hooks(void);

#endif
