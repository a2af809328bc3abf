// Markers: everything a map places at its start (scenery, units, sound
// sources, models, projectiles ...) and the marker palette whose rows name
// the definition and the owning team.
#ifndef MARKERS_H
#define MARKERS_H

#include <cstddef>

#include "cseries.h"
#include "world_units.h"
#include "byte_swapping.h"

struct zerv_digest;

/* ---------- constants */

enum // marker types
{
	_marker_team,
	_marker_scenery,
	_marker_unused1,
	_marker_monster,
	_marker_unused2,
	_marker_sound_source,
	_marker_model,
	_marker_unused3,
	_marker_unused4,
	_marker_projectile,
	_marker_local_projectile_group,
	_marker_model_animation,
	NUMBER_OF_MARKER_TYPES
};

enum // marker flags
{
	_marker_is_invisible_bit,
	_marker_is_stone_bit,
	_marker_detonates_immediately_bit,
	_marker_is_invisible_observer_bit,
	_marker_is_netgame_target_bit,
	_marker_respawns_bit,
	_marker_manual_respawn_bit,
	_marker_remembers_location_bit,
	_marker_uses_monster_entrance_bit,
	NUMBER_OF_MARKER_FLAGS,

	_marker_is_invisible_flag = FLAG(_marker_is_invisible_bit),
	_marker_is_stone_flag = FLAG(_marker_is_stone_bit),
	_marker_detonates_immediately_flag = FLAG(_marker_detonates_immediately_bit),
	_marker_is_invisible_observer_flag = FLAG(_marker_is_invisible_observer_bit),
	_marker_is_netgame_target_flag = FLAG(_marker_is_netgame_target_bit),
	_marker_respawns_flag = FLAG(_marker_respawns_bit),
	_marker_manual_respawn_flag = FLAG(_marker_manual_respawn_bit),
	_marker_remembers_location_flag = FLAG(_marker_remembers_location_bit),
	_marker_uses_monster_entrance_flag = FLAG(_marker_uses_monster_entrance_bit)
};

enum // palette flags
{
	_marker_palette_uncontrollable_bit,
	_marker_palette_may_be_traded_bit,
	_marker_palette_may_use_veterans_bit,
	_marker_palette_must_use_veterans_bit,
	_marker_palette_ambient_life_bit,
	_marker_palette_hunted_creature_bit,
	NUMBER_OF_MARKER_PALETTE_FLAGS,

	_marker_palette_uncontrollable_flag = FLAG(_marker_palette_uncontrollable_bit),
	_marker_palette_may_be_traded_flag = FLAG(_marker_palette_may_be_traded_bit),
	_marker_palette_may_use_veterans_flag = FLAG(_marker_palette_may_use_veterans_bit),
	_marker_palette_must_use_veterans_flag = FLAG(_marker_palette_must_use_veterans_bit),
	_marker_palette_ambient_life_flag = FLAG(_marker_palette_ambient_life_bit),
	_marker_palette_hunted_creature_flag = FLAG(_marker_palette_hunted_creature_bit)
};

#define MARKER_USER_DATA_SIZE 16
#define MARKER_TYPE_NAME_LENGTH 32
#define FIRST_FRESH_MARKER_IDENTIFIER 1000
#define MAXIMUM_MARKER_IDENTIFIER 32767
// Unit palette rows name a team 0..15 (or none).
#define MAXIMUM_MARKER_TEAM_INDEX 15
#define MAP_LOADING_PROGRESS_STEPS_AFTER_MARKERS 20

/* ---------- stored records */

// 64 bytes, big-endian in the mesh data block.
struct marker_data
{
	uint32 flags;
	int16 type;
	int16 palette_index; // among the palette rows of this type
	int16 identifier; // unique within its type
	int16 minimum_difficulty_level;
	world_location3d location;
	uint8 user_data[MARKER_USER_DATA_SIZE]; // swapped by the type's own descriptor
	uint8 unused[8];
	int16 data_index; // what was created from the marker, -1 none; not swapped
	int16 data_identifier; // not swapped
};
STORED_SIZE(marker_data, 64);
static_assert(offsetof(marker_data, location) == 12);
static_assert(offsetof(marker_data, user_data) == 36);
static_assert(offsetof(marker_data, data_index) == 60);

// 32 bytes, big-endian in the mesh data block.
struct marker_palette_entry
{
	int16 type;
	uint16 flags;
	file_tag tag;
	int16 team_index;
	int16 pad; // not swapped
	uint32 extra_flags; // bit n allows the row under game scoring type n
	uint8 unused[12]; // not swapped
	int16 count; // filled at run time
	int16 tag_index; // filled at run time
};
STORED_SIZE(marker_palette_entry, 32);
static_assert(offsetof(marker_palette_entry, extra_flags) == 12);
static_assert(offsetof(marker_palette_entry, count) == 28);

extern const byte_swap_code marker_data_bs_data[];
extern const byte_swap_code marker_palette_entry_bs_data[];
// The user data of model markers: eight 16-bit words (the first is the
// permutation). Sound sources use the sound manager's descriptor.
extern const byte_swap_code model_user_data_bs_data[];

/* ---------- the marker table */

typedef void (*new_marker_palette_entry_proc)(marker_palette_entry *entry);
typedef int16 (*new_data_from_marker_proc)(marker_data *marker);
typedef void (*delete_data_from_marker_proc)(int16 data_index);

// A slot left empty means the type has no such procedure.
struct marker_type_definition
{
	file_tag group_tag; // NONE: none
	char name[MARKER_TYPE_NAME_LENGTH];
	new_marker_palette_entry_proc new_palette_entry;
	new_data_from_marker_proc new_from_marker;
	delete_data_from_marker_proc delete_data;
	const byte_swap_code *user_data_bs_data;
};

extern const marker_type_definition marker_table[NUMBER_OF_MARKER_TYPES];

/* ---------- iterators */

struct scan_markers_state
{
	int16 type; // filters, NONE any
	int16 palette_index;
	int16 data_index;
	int32 result_marker_index;
	int32 internal_index;
};

struct scan_marker_palette_state
{
	file_tag tag; // filter, NONE any
	int16 type; // filter, NONE any
	int32 result_palette_index;
	int32 typed_index;
	int32 internal_index;
};

/* ---------- module state */

struct marker_statistics
{
	int32 markers_created;
	int32 palette_entries_added;
};

struct marker_globals_data
{
	marker_statistics statistics;
	// Bit n: the incomplete-palette warning for type n was logged; types
	// outside the table share bit NUMBER_OF_MARKER_TYPES.
	uint32 incomplete_palette_warning_mask;
};

/* ---------- life cycle */

void initialize_markers(void);
// Clears the palette's run-time fields and gives fresh identifiers.
void initialize_markers_for_new_map(void);
void add_markers_to_new_map(void);

/* ---------- lookup */

void new_scan_markers_state(scan_markers_state *state, int16 type_filter, int16 palette_index_filter,
	int16 data_index_filter);
marker_data *scan_markers(scan_markers_state *state);
int32 count_markers(int16 type);

void new_scan_marker_palette_state(scan_marker_palette_state *state, int16 type_filter, file_tag tag_filter);
marker_palette_entry *scan_marker_palette(scan_marker_palette_state *state);
int32 count_marker_palette_entries(int16 type);
marker_palette_entry *get_marker_palette_entry(int16 type, int32 index);

marker_data *get_marker_by_index(int32 marker_index);
int32 get_marker_index(const marker_data *marker);
marker_data *get_marker_by_identifier(int16 type, int16 identifier);
marker_data *get_marker_by_data_index(int16 type, int16 data_index);
marker_data *get_marker_by_data_index_and_identifier(int16 type, int16 data_index, int16 identifier);
// Sets *array to the whole list and returns its length (the type is not a filter).
int32 get_marker_array_of_type(int16 type, marker_data **array);

file_tag marker_type_to_tag_group(int16 type);
const char *marker_type_to_group_name(int16 type);

/* ---------- the type procedures */

void add_marker_palette_entry_for_type(int16 type, marker_palette_entry *entry);
int16 create_data_from_marker(int16 type, marker_data *marker);
void delete_data_associated_with_marker(marker_data *marker);

/* ---------- stored order */

// File to memory: each record, then its user data by its (now native) type.
void byte_swap_marker_list(marker_data *markers, int32 count);
// Memory to file: the user data, then the record.
void byte_swap_marker_list_out(marker_data *markers, int32 count);
void byte_swap_marker_palette(marker_palette_entry *palette, int32 count);
// Sorts the loaded list by type, highest first, with the program's own sort
// (the same order of equal types on every machine).
void sort_markers_before_saving(void);
// Sorts any list the same way (the generator's lists).
void sort_marker_list(marker_data *markers, int32 count);
int compare_marker_data(const void *a, const void *b);

/* ---------- checks on a map's marker data (before it is used) */

// Why a marker section is unusable: NULL when it is fine.
const char *check_marker_data(const marker_data *markers, int32 marker_count, const marker_palette_entry *palette,
	int32 palette_count);

// Folds each marker's identifier and created datum and each palette row's
// run-time fields into the state digest.
void fold_markers_digest(zerv_digest *digest);

/* ---------- scoring */

boolean palette_compatible_with_game_scoring(const marker_palette_entry *entry);

/* ---------- test hooks */

struct markers_test_hooks_data
{
	// Procedures that stand in for a type's slots while set.
	new_marker_palette_entry_proc new_palette_entry[NUMBER_OF_MARKER_TYPES];
	new_data_from_marker_proc new_from_marker[NUMBER_OF_MARKER_TYPES];
	delete_data_from_marker_proc delete_data[NUMBER_OF_MARKER_TYPES];
	int32 progress_steps; // map-loading progress steps taken by add_markers_to_new_map
};

markers_test_hooks_data *get_markers_test_hooks(void);
void reset_markers_test_hooks(void);
marker_globals_data *get_marker_globals(void);

#endif
