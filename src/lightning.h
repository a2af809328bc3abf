// Lightning: the bolt of a lightning projectile, from its source to its target.
#ifndef LIGHTNING_H
#define LIGHTNING_H

#include <cstddef>

#include "cseries.h"
#include "world_units.h"
#include "byte_swapping.h"
#include "damage.h"
#include "definitions.h"

#define LIGHTNING_GROUP_TAG TAG("ligh")
#define LIGHTNING_DEFINITION_GROUP_TAG LIGHTNING_GROUP_TAG
#define LIGHTNING_VERSION_NUMBER 1
#define MAXIMUM_LIGHTNING_DEFINITIONS_PER_MAP 16
#define MAXIMUM_LIGHTNING_STRIKES_PER_MAP 32
#define ZERO_REFRACTION_DENSITY_HEIGHT (-512)
#define ZERO_SHADOW_DENSITY_HEIGHT 3072
#define MAXIMUM_SHADOW_SHIFT 1536
// Stored counts above these could exhaust the frame arena.
#define MAXIMUM_APPARENT_NUMBER_OF_BOLTS 16
#define MAXIMUM_FORK_SEGMENTS 64
// Segments (main, fork and reflection) one frame may draw.
#define MAXIMUM_LIGHTNING_SEGMENTS_PER_FRAME 4096

enum // lightning states
{
	_lightning_on_way_to_target,
	_lightning_shocking_target,
	_lightning_fading,
	NUMBER_OF_LIGHTNING_STATES
};

enum // lightning definition flags
{
	_lightning_duration_based_on_length_bit,
	_lightning_scars_ground_bit,
	_lightning_moves_objects_bit,
	_lightning_ignores_collisions_with_models_bit,
	_lightning_has_qel_collision_radius_bit,
	NUMBER_OF_LIGHTNING_DEFINITION_FLAGS,

	_lightning_duration_based_on_length_flag = FLAG(_lightning_duration_based_on_length_bit),
	_lightning_scars_ground_flag = FLAG(_lightning_scars_ground_bit),
	_lightning_moves_objects_flag = FLAG(_lightning_moves_objects_bit),
	_lightning_ignores_collisions_with_models_flag = FLAG(_lightning_ignores_collisions_with_models_bit),
	_lightning_has_qel_collision_radius_flag = FLAG(_lightning_has_qel_collision_radius_bit)
};

enum // lightning sequences
{
	_lightning_sequence_fork,
	_lightning_sequence_main_bolt,
	_lightning_sequence_stain,
	NUMBER_OF_LIGHTNING_SEQUENCES
};

// 64 bytes, big-endian in the tag.
struct lightning_definition
{
	uint32 flags;
	file_tag collection_reference_tag;
	int32 shock_duration;
	int32 fade_duration;
	int32 bolt_length;
	int16 sequence_indexes[NUMBER_OF_LIGHTNING_SEQUENCES];
	short_world_distance velocity;
	short_fixed scale;
	int16 fork_segment_minimum;
	int16 fork_segment_delta;
	short_world_distance fork_overlap_amount;
	short_world_distance main_bolt_overlap_amount;
	angle angular_limit;
	damage_definition damage;
	int16 apparent_number_of_bolts;
	// Filled at load.
	int16 collection_reference_index;
	int16 collection_index;
	int16 color_table_index;
};
STORED_SIZE(lightning_definition, 64);
static_assert(offsetof(lightning_definition, velocity) == 26 && offsetof(lightning_definition, damage) == 40 &&
	offsetof(lightning_definition, apparent_number_of_bolts) == 56);

extern const byte_swap_code lightning_definition_bs_data[];

struct lightning_data
{
	int16 identifier;
	int16 type;
	int16 color_table_index;
	int16 source_object_index, source_object_identifier;
	int16 target_object_index, target_object_identifier;
	world_point3d start, end;
	world_point3d start_control_point, end_control_point;
	world_point3d last_stained_location;
	int32 ticks_elapsed;
	int32 ticks_elapsed_in_state;
	int32 time_to_target;
	int16 number_of_points;
	int16 state;
	world_point3d tip;
};

struct new_lightning_data
{
	int16 type;
	int16 source_object_index;
	int16 target_object_index;
	world_point3d p0, p1;
};

struct lightning_globals_data
{
	int32 ticks_until_next_strike;
};

// What the projectile following a bolt reads each tick.
struct lightning_state_data
{
	int16 state;
	world_point3d tip, end;
	int16 target_object_index;
	uint32 definition_flags;
};

void initialize_lightning(void);
boolean initialize_lightning_for_new_map(void);
void dispose_lightning_from_old_map(void);
void update_lightning(void);

// NONE when the module is not ready, the type is NONE or the array is full.
int16 new_lightning(const new_lightning_data *data);
lightning_data *get_lightning_data(int16 lightning_index);
// A null pointer keeps that end.
void change_lightning_endpoints(int16 lightning_index, const world_point3d *start, const world_point3d *end);
void stop_lightning(int16 lightning_index);
// NONE for a free index.
int16 get_lightning_state(int16 lightning_index);
// FALSE when the slot is free or holds another bolt.
boolean get_lightning_follow_state(int16 lightning_index, int16 lightning_identifier, lightning_state_data *state);
// Sets (or clears, with NONE) the struck object and moves the end.
void set_lightning_target(int16 lightning_index, int16 object_index, const world_point3d *end);

definition_globals *get_lightning_definitions(void);
const lightning_definition *get_default_lightning_definition(void);
boolean postprocess_lightning(definition_globals *definitions, int16 definition_index, int32 tag_handle, void *definition);
int16 lightning_definition_tag_to_index(file_tag tag);
lightning_definition *get_lightning_definition(int16 type);

// The ground light's intensity for a point h above the mesh; 0 draws nothing.
int32 lightning_ground_intensity(int32 h, boolean light_map);
struct view_data;
void render_lightning_shadow(view_data *view, const world_point3d *point, int16 collection_index, int16 sequence_index);

struct zerv_digest;
void fold_lightning_digest(zerv_digest *digest);

// Test hooks: what the last frames drew.
struct lightning_test_hooks_data
{
	int32 segments_drawn, fork_segments_drawn, reflections_drawn;
	int32 sprites_added; // surfaces handed to the frame
	int32 light_maps_drawn, shadows_drawn;
	uint32 surface_checksum;
	int32 segment_budget; // 0: MAXIMUM_LIGHTNING_SEGMENTS_PER_FRAME
};
lightning_test_hooks_data *get_lightning_test_hooks(void);
void reset_lightning_test_hooks(void);

#endif
