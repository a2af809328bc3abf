// The weather particle system: a synchronised two-state weather clock and
// visual-only falling particles in a box of cells tiled over the map.
#ifndef PARTICLE_SYSTEM_H
#define PARTICLE_SYSTEM_H

#include <cstddef>

#include "cseries.h"
#include "world_units.h"
#include "byte_swapping.h"
#include "definitions.h"

#define PARTICLE_SYSTEM_GROUP_TAG TAG("part")
#define PARTICLE_SYSTEMS_VERSION_NUMBER 1
#define MAXIMUM_PARTICLE_SYSTEMS_PER_MAP 1
#define MAXIMUM_PARTICLES_PER_MAP 8192
#define MAXIMUM_PARTICLE_BOX_WIDTH 64
// Sprites one frame may draw.
#define MAXIMUM_PARTICLE_SPRITES_PER_FRAME 8192

enum // particle system flags
{
	_particle_system_states_last_indefinitely_bit,
	_particle_system_does_not_affect_projectiles_bit,
	_particle_system_transparency_varies_with_distance_bit,
	NUMBER_OF_PARTICLE_SYSTEM_FLAGS,

	_particle_system_states_last_indefinitely_flag = FLAG(_particle_system_states_last_indefinitely_bit),
	_particle_system_does_not_affect_projectiles_flag = FLAG(_particle_system_does_not_affect_projectiles_bit),
	_particle_system_transparency_varies_with_distance_flag = FLAG(_particle_system_transparency_varies_with_distance_bit)
};

struct state_variables
{
	int16 duration_lower_bound, duration_delta;
	fixed_fraction value_lower_bound, value_delta;
	int16 transition_lower_bound, transition_delta;
};

// 128 bytes, big-endian in the tag.
struct particle_system_definition
{
	uint32 flags;
	file_tag collection_reference_tag;
	world_distance minimum_view_distance;
	world_distance transparency_rolloff_point;
	world_distance transparency_cutoff_point;
	int16 sequence_index;
	int16 number_of_particles;
	int16 maximum_particle_number_delta;
	short_fixed scale;
	fixed_vector3d velocity_lower_bound;
	fixed_vector3d velocity_delta;
	short_fixed x0_particle_number, x1_particle_number;
	short_fixed y0_particle_number, y1_particle_number;
	state_variables state[2];
	file_tag ambient_sound_tag;
	file_tag splash_local_projectile_group_tag;
	int16 box_width;
	short_world_distance box_top_height;
	short_world_distance box_bottom_height;
	int16 max_splashes_per_cell;
	int16 time_between_building_effects;
	uint8 unused[16];
	// Filled at load.
	int16 collection_reference_index;
	int16 collection_index;
	int16 color_table_index;
	int16 ambient_sound_index;
	int16 splash_local_projectile_group_type;
};
STORED_SIZE(particle_system_definition, 128);
static_assert(offsetof(particle_system_definition, velocity_lower_bound) == 28 &&
	offsetof(particle_system_definition, velocity_delta) == 40 &&
	offsetof(particle_system_definition, x0_particle_number) == 52 && offsetof(particle_system_definition, state) == 60 &&
	offsetof(particle_system_definition, ambient_sound_tag) == 84 &&
	offsetof(particle_system_definition, splash_local_projectile_group_tag) == 88 &&
	offsetof(particle_system_definition, box_width) == 92 &&
	offsetof(particle_system_definition, time_between_building_effects) == 100 &&
	offsetof(particle_system_definition, collection_reference_index) == 118);

extern const byte_swap_code particle_system_definition_bs_data[];

struct particle_globals
{
	int16 state;
	int32 ticks_per_state;
	boolean in_transition;
	int32 transition_period;
	fixed_fraction old_amplitude, amplitude;
	short_fixed target_particle_number_multiplier;
	int16 splash_projectile_group;
	int32 time_until_building_effects;
	world_distance world_box_width;
	int16 *cell_particle_list; // box_width² chain heads
};

struct particle_data
{
	int16 identifier;
	int16 shape_view_index;
	int16 shape_frame_index;
	int16 phase;
	short_world_point3d position;
	int16 next_in_cell;
	fixed_vector3d velocity;
};

void initialize_particle_system(void);
// FALSE without a particle system (tag 0 or NONE) or when it is missing.
boolean initialize_particle_system_for_new_map(file_tag particle_system_tag);
void dispose_particle_system_from_old_map(void);
void update_particle_clock(void);
void update_particles(int32 ticks_elapsed);

fixed_fraction particle_system_density(const world_point2d *position);
// The weather's density at a point (fixed_fraction); 0 without weather or
// when the system does not affect projectiles.
uint16 particle_system_intensity(const world_point2d *point);
boolean particle_system_ambient_sound(const world_point3d *position, int16 *ambient_sound_index, short_fixed *volume);
void set_target_particle_number_multiplier(short_fixed multiplier);
void switch_snowing_states(void);
void generate_particles(void);

definition_globals *get_particle_system_definitions(void);
const particle_system_definition *get_default_particle_system_definition(void);
int32 get_particle_system_tag_header_user_data(const particle_system_definition *particle_system);
boolean postprocess_particle_system(definition_globals *definitions, int16 definition_index, int32 tag_handle,
	void *definition);
// The map's system, NULL without weather.
const particle_system_definition *get_local_particle_system(void);
const particle_globals *get_particle_globals(void);
int16 get_particle_count(void);
particle_data *get_particle_data(int16 index);
// s of the transition's curve, 0..65535, for the amplitude between old and new.
int32 particle_transition_fraction(int32 period, int32 ticks_left, boolean rising);

struct view_data;
struct mesh_region;
struct render_surface_list;
void build_particle_system_splashes(view_data *view, mesh_region *region);
void build_particle_system_surface_list(view_data *view, mesh_region *region, render_surface_list *surfaces);

struct zerv_digest;
void fold_particle_clock_digest(zerv_digest *digest);

// Test hooks: the camera point the particle count follows and what was drawn.
struct particle_system_test_hooks_data
{
	boolean has_camera;
	world_point2d camera;
	int32 sprites_drawn, splashes_made;
	int32 sprite_budget; // 0: MAXIMUM_PARTICLE_SPRITES_PER_FRAME
	// Headless games leave the visual particles still unless a test wants them.
	boolean particles_idle;
	// Draws the drops that would hang past the land as well.
	boolean drops_past_the_land;
};
particle_system_test_hooks_data *get_particle_system_test_hooks(void);
void reset_particle_system_test_hooks(void);

#endif
