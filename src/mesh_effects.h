// Mesh effects: circular waves that ripple the terrain, drawn as shockwave rings.
#ifndef MESH_EFFECTS_H
#define MESH_EFFECTS_H

#include <cstddef>

#include "cseries.h"
#include "world_units.h"
#include "byte_swapping.h"
#include "definitions.h"

#define MESH_EFFECT_DEFINITION_GROUP_TAG TAG("meef")
#define MESH_EFFECT_DEFINITION_VERSION_NUMBER 1
#define MAXIMUM_MESH_EFFECT_DEFINITIONS_PER_MAP 32
#define MAXIMUM_MESH_EFFECTS_PER_MAP 16
#define MAXIMUM_RADIAL_POINTS 48

enum // mesh effect definition flags
{
	_mesh_effect_is_inverted_bit,
	_mesh_effect_has_shockwave_bit,
	NUMBER_OF_MESH_EFFECT_DEFINITION_FLAGS,

	_mesh_effect_is_inverted_flag = FLAG(_mesh_effect_is_inverted_bit),
	_mesh_effect_has_shockwave_flag = FLAG(_mesh_effect_has_shockwave_bit)
};

// 36 bytes, big-endian in the tag.
struct mesh_effect_definition
{
	uint32 flags;
	short_world_distance amplitude;
	short_world_distance cutoff_radius;
	short_fixed dissipation;
	short_world_distance velocity;
	short_world_distance epicenter_offset;
	int16 camera_shaking_type;
	file_tag collection_reference_tag;
	int16 sequence_index;
	int16 number_of_radial_points;
	short_world_distance shockwave_thickness;
	short_world_distance shockwave_height_offset;
	// Filled at load.
	int16 collection_reference_index;
	int16 collection_index;
	int16 color_table_index;
	int16 pad;
};
STORED_SIZE(mesh_effect_definition, 36);
static_assert(offsetof(mesh_effect_definition, collection_reference_tag) == 16 &&
	offsetof(mesh_effect_definition, collection_reference_index) == 28);

extern const byte_swap_code mesh_effect_definition_bs_data[];

struct mesh_effect_data
{
	int16 identifier;
	uint16 flags;
	int16 type;
	int16 sequence_ticks_per_frame;
	int16 cell_origin_x, cell_origin_y; // the epicentre's nearest vertex
	world_distance initial_origin_height;
	int32 elapsed_time;
	int16 current_frame;
	int16 ticks_per_frame; // the frame tick counter
};

struct new_mesh_effect_data
{
	uint16 flags;
	int16 type;
	world_point2d origin;
};

void initialize_mesh_effects(void);
void initialize_mesh_effects_for_new_map(void);
void dispose_mesh_effects_from_old_map(void);
void update_mesh_effects(void);

// The effect's index; -1 when the type is -1, unknown or the array is full.
int16 new_mesh_effect(const new_mesh_effect_data *data);
mesh_effect_data *get_mesh_effect_data(int16 index);

definition_globals *get_mesh_effect_definitions(void);
const mesh_effect_definition *get_default_mesh_effect_definition(void);
int32 get_mesh_effect_definition_tag_header_user_data(const mesh_effect_definition *definition);
boolean postprocess_mesh_effect_definition(definition_globals *definitions, int16 definition_index, int32 tag_handle,
	void *definition);
int16 mesh_effect_definition_tag_to_index(file_tag tag);
mesh_effect_definition *get_mesh_effect_definition(int16 type);

struct view_data;
struct mesh_region;
void render_shockwave(view_data *view, const world_point2d *epicenter, world_distance radius, world_distance height,
	int32 transparency, const mesh_effect_data *effect);
// The ring's transparency for a front radius (0 opaque .. 65535).
int32 shockwave_transparency(world_distance radius, short_world_distance cutoff_radius);

struct zerv_digest;
void fold_mesh_effects_digest(zerv_digest *digest);

// Test hooks: the last ring built and the surfaces counted.
struct mesh_effects_test_hooks_data
{
	int32 rings_rendered, quads_rendered;
	int32 quads_added; // surfaces handed to the frame
	int32 last_transparency;
	int16 last_point_count;
	world_point2d last_outer_points[MAXIMUM_RADIAL_POINTS];
};
mesh_effects_test_hooks_data *get_mesh_effects_test_hooks(void);
void reset_mesh_effects_test_hooks(void);

#endif
