// Local projectiles: visual-only particles in groups, advanced at render time
// by the frame's elapsed ticks and drawing only the local random stream.
#ifndef LOCAL_PROJECTILES_H
#define LOCAL_PROJECTILES_H

#include <cstddef>

#include "cseries.h"
#include "world_units.h"
#include "byte_swapping.h"
#include "data.h"
#include "definitions.h"

struct marker_data;
struct marker_palette_entry;

#define LOCAL_PROJECTILE_GROUP_DEFINITION_GROUP_TAG TAG("lpgr")
#define LOCAL_PROJECTILE_GROUP_DEFINITION_VERSION_NUMBER 1
#define MAXIMUM_LOCAL_PROJECTILE_GROUP_DEFINITIONS_PER_MAP 128
#define LOCAL_PHYSICS_DEFINITION_GROUP_TAG TAG("phys")
#define LOCAL_PHYSICS_DEFINITION_VERSION_NUMBER 1
#define MAXIMUM_LOCAL_PHYSICS_DEFINITIONS_PER_MAP 128
#define SIZEOF_PHYSICS_BUFFER 30 // 16-bit words

#define MAXIMUM_LOCAL_PROJECTILE_GROUPS_PER_MAP 256
#define MAXIMUM_LOCAL_PROJECTILES_PER_MAP 768
// Room the arrays are allocated with; only the benchmark raises the counts to it.
#define LOCAL_PROJECTILE_GROUP_CAPACITY 1024
#define LOCAL_PROJECTILE_CAPACITY 8192
#define MAXIMUM_ELAPSED_TICKS_PER_UPDATE 6

/* ---------- local physics ('phys') */

enum // local physics types
{
	_linear,
	_cylindrical,
	_spherical_spring,
	_point_attractor,
	_converging,
	_explosive_gas,
	NUMBER_OF_LOCAL_PHYSICS_TYPES
};

enum
{
	_linear_projectiles_originate_within_bounds_bit,
	_linear_projectiles_respect_group_yaw_bit,
	_linear_projectiles_originate_within_bounds_flag = FLAG(_linear_projectiles_originate_within_bounds_bit),
	_linear_projectiles_respect_group_yaw_flag = FLAG(_linear_projectiles_respect_group_yaw_bit)
};
enum
{
	_spherical_spring_random_time_offsets_bit,
	_spherical_spring_random_time_offsets_flag = FLAG(_spherical_spring_random_time_offsets_bit)
};
enum
{
	_point_attractor_maintain_minimum_height_above_mesh_bit,
	_point_attractor_maintain_minimum_height_above_mesh_flag =
		FLAG(_point_attractor_maintain_minimum_height_above_mesh_bit)
};
enum
{
	_converging_particles_diverge_bit,
	_converging_particles_diverge_flag = FLAG(_converging_particles_diverge_bit)
};

struct linear_physics_definition
{
	uint32 flags;
	fixed_vector3d linear_acceleration;
	fixed_vector3d initial_linear_velocity_min;
	fixed_vector3d initial_linear_velocity_delta;
	fixed_vector3d random_acceleration;
	int16 unused[4];
};
STORED_SIZE(linear_physics_definition, 60);

struct cylindrical_physics_definition
{
	uint32 flags;
	angle angular_acceleration;
	angle initial_angular_velocity_min;
	angle initial_angular_velocity_delta;
	short_world_distance initial_z_deviation;
	fixed attraction_constant;
	fixed radial_velocity;
	fixed z_acceleration;
	int16 unused[18];
};
STORED_SIZE(cylindrical_physics_definition, 60);

struct spherical_spring_physics_definition
{
	uint32 flags;
	angle initial_angular_velocity_min;
	angle initial_angular_velocity_delta;
	fixed attraction_constant;
	int16 unused[24];
};
STORED_SIZE(spherical_spring_physics_definition, 60);

struct point_attractor_physics_definition
{
	uint32 flags;
	fixed maximum_velocity;
	fixed radial_velocity;
	fixed attraction_constant;
	short_world_distance minimum_height_above_mesh;
	int16 unused[21];
};
STORED_SIZE(point_attractor_physics_definition, 60);

struct converging_physics_definition
{
	uint32 flags;
	angle initial_angular_velocity_min;
	angle initial_angular_velocity_delta;
	angle phi_min;
	angle phi_delta;
	int16 unused[24];
};
STORED_SIZE(converging_physics_definition, 60);

struct explosive_gas_physics_definition
{
	uint32 flags;
	fixed starting_velocity_min;
	fixed starting_velocity_delta;
	fixed radial_acceleration;
	fixed_vector3d linear_acceleration;
	short_fixed drag;
	int16 unused[15];
};
STORED_SIZE(explosive_gas_physics_definition, 60);

// 64 bytes: the type, then its record in the buffer.
struct local_physics_definition
{
	int16 type;
	int16 pad;
	int16 buffer[SIZEOF_PHYSICS_BUFFER];
};
STORED_SIZE(local_physics_definition, 64);

/* ---------- group definitions ('lpgr') */

enum // group definition flags
{
	_group_projectiles_never_get_recreated_bit,
	_group_projectiles_affected_by_wind_bit,
	_group_projectiles_deleted_when_it_hits_the_ground_bit,
	_group_projectiles_deleted_after_time_expires_bit,
	_group_projectiles_deleted_after_animation_completes_bit,
	_group_projectiles_does_not_animate_bit,
	_group_has_startup_transition_bit,
	_group_has_finite_duration_bit,
	_group_has_ending_transition_bit,
	_group_startup_transition_affects_transparency_bit,
	_group_startup_transition_affects_target_number_bit,
	_group_always_update_physics_bit,
	_group_particles_stay_relative_to_the_center_bit,
	_group_ending_transition_affects_transparency_bit,
	_group_ending_transition_affects_target_number_bit,
	_group_ending_transition_stop_creating_particles_bit,
	_group_delete_after_particles_are_gone_bit,
	_group_startup_transition_affects_horizontal_scale_bit,
	_group_startup_transition_affects_vertical_scale_bit,
	_group_ending_transition_affects_horizontal_scale_bit,
	_group_ending_transition_affects_vertical_scale_bit,
	_group_projectiles_are_created_symmetrically_bit,
	_group_projectiles_dont_respect_height_above_ground_bit,
	_group_projectiles_always_start_at_first_animation_frame_bit,
	_group_casts_reflections_bit,
	_group_is_media_surface_effect_bit,
	_group_update_per_tick_bit,
	_group_uses_owner_color_table_index_bit,
	NUMBER_OF_LOCAL_PROJECTILE_GROUP_DEFINITION_FLAGS
};

enum : uint32
{
	_group_projectiles_never_get_recreated_flag = FLAG(_group_projectiles_never_get_recreated_bit),
	_group_projectiles_affected_by_wind_flag = FLAG(_group_projectiles_affected_by_wind_bit),
	_group_projectiles_deleted_when_it_hits_the_ground_flag = FLAG(_group_projectiles_deleted_when_it_hits_the_ground_bit),
	_group_projectiles_deleted_after_time_expires_flag = FLAG(_group_projectiles_deleted_after_time_expires_bit),
	_group_projectiles_deleted_after_animation_completes_flag =
		FLAG(_group_projectiles_deleted_after_animation_completes_bit),
	_group_projectiles_does_not_animate_flag = FLAG(_group_projectiles_does_not_animate_bit),
	_group_has_startup_transition_flag = FLAG(_group_has_startup_transition_bit),
	_group_has_finite_duration_flag = FLAG(_group_has_finite_duration_bit),
	_group_has_ending_transition_flag = FLAG(_group_has_ending_transition_bit),
	_group_startup_transition_affects_transparency_flag = FLAG(_group_startup_transition_affects_transparency_bit),
	_group_startup_transition_affects_target_number_flag = FLAG(_group_startup_transition_affects_target_number_bit),
	_group_always_update_physics_flag = FLAG(_group_always_update_physics_bit),
	_group_particles_stay_relative_to_the_center_flag = FLAG(_group_particles_stay_relative_to_the_center_bit),
	_group_ending_transition_affects_transparency_flag = FLAG(_group_ending_transition_affects_transparency_bit),
	_group_ending_transition_affects_target_number_flag = FLAG(_group_ending_transition_affects_target_number_bit),
	_group_ending_transition_stop_creating_particles_flag = FLAG(_group_ending_transition_stop_creating_particles_bit),
	_group_delete_after_particles_are_gone_flag = FLAG(_group_delete_after_particles_are_gone_bit),
	_group_startup_transition_affects_horizontal_scale_flag =
		FLAG(_group_startup_transition_affects_horizontal_scale_bit),
	_group_startup_transition_affects_vertical_scale_flag = FLAG(_group_startup_transition_affects_vertical_scale_bit),
	_group_ending_transition_affects_horizontal_scale_flag = FLAG(_group_ending_transition_affects_horizontal_scale_bit),
	_group_ending_transition_affects_vertical_scale_flag = FLAG(_group_ending_transition_affects_vertical_scale_bit),
	_group_projectiles_are_created_symmetrically_flag = FLAG(_group_projectiles_are_created_symmetrically_bit),
	_group_projectiles_dont_respect_height_above_ground_flag =
		FLAG(_group_projectiles_dont_respect_height_above_ground_bit),
	_group_projectiles_always_start_at_first_animation_frame_flag =
		FLAG(_group_projectiles_always_start_at_first_animation_frame_bit),
	_group_casts_reflections_flag = FLAG(_group_casts_reflections_bit),
	_group_is_media_surface_effect_flag = FLAG(_group_is_media_surface_effect_bit),
	_group_update_per_tick_flag = FLAG(_group_update_per_tick_bit),
	_group_uses_owner_color_table_index_flag = FLAG(_group_uses_owner_color_table_index_bit)
};

enum // transfer modes
{
	_transfer_mode_normal,
	_transfer_mode_fade_in_over_time,
	_transfer_mode_fade_in_over_animation,
	_transfer_mode_fade_out_over_time,
	_transfer_mode_fade_out_over_animation,
	NUMBER_OF_LOCAL_PROJECTILE_TRANSFER_MODES
};

enum // visibility types
{
	_visible_to_everyone,
	_visible_to_owner_only,
	_visible_to_owner_team_only,
	_visible_to_owner_allies_only,
	_visible_to_owner_enemies_only,
	NUMBER_OF_LOCAL_PROJECTILE_VISIBILITY_TYPES
};

// 128 bytes, big-endian in the tag.
struct local_projectile_group_definition
{
	uint32 flags;
	file_tag collection_reference_tag;
	file_tag physics_tag;
	int16 sequence_indexes[2]; // the particle's, then the mirrored groups' stain
	short_fixed scale_lower_bound, scale_delta;
	short_fixed animation_rate_lower_bound, animation_rate_delta;
	int16 target_number_lower_bound, target_number_delta;
	world_distance radius_lower_bound, radius_delta;
	int32 expiration_time_lower_bound, expiration_time_delta;
	int16 transfer_mode;
	short_world_distance height_offset;
	int16 startup_transition_time_lower_bound, startup_transition_time_delta;
	int16 ending_transition_time_lower_bound, ending_transition_time_delta;
	int32 duration_lower_bound, duration_delta;
	short_fixed starting_hscale0, starting_hscale1, starting_vscale0, starting_vscale1;
	short_fixed ending_hscale0, ending_hscale1, ending_vscale0, ending_vscale1;
	uint8 visibility_type;
	uint8 unused_char;
	int16 unused[19];
	int16 collection_reference_index; // filled at load
	int16 collection_index; // filled at load
	int16 color_table_index; // NONE at load
	int16 physics_index; // filled at load; NONE without physics
};
STORED_SIZE(local_projectile_group_definition, 128);
static_assert(offsetof(local_projectile_group_definition, transfer_mode) == 44 &&
	offsetof(local_projectile_group_definition, starting_hscale0) == 64 &&
	offsetof(local_projectile_group_definition, visibility_type) == 80 &&
	offsetof(local_projectile_group_definition, collection_reference_index) == 120);

extern const byte_swap_code local_physics_definition_bs_data[];
extern const byte_swap_code local_projectile_group_definition_bs_data[];

/* ---------- groups and particles (in memory only) */

enum // group flags
{
	_group_is_never_visible_bit,
	_group_is_internal_fire_group_bit,
	_group_is_never_visible_flag = FLAG(_group_is_never_visible_bit),
	_group_is_internal_fire_group_flag = FLAG(_group_is_internal_fire_group_bit)
};

enum // group states
{
	_state_starting_up,
	_state_running,
	_state_ending
};


struct local_projectile_group_data
{
	int16 identifier;
	uint8 flags;
	uint8 state;
	int16 type;
	int16 target_number;
	int16 current_number;
	int16 first_projectile_index;
	world_point3d center;
	world_point2d bounds[2]; // the group's rectangle
	int32 duration;
	int16 startup_transition_time, ending_transition_time;
	int16 central_object_index, central_object_identifier;
	int16 color_table_index;
	short_world_distance bounds_radius, bounds_height0, bounds_height1;
	world_point3d bounds_position;
	fixed_fraction group_opacity;
	angle yaw;
	int16 monster_index;
	int16 transition_ticks_elapsed;
};

enum // particle flags
{
	_local_projectile_horizontally_mirrored_bit,
	_local_projectile_vertically_mirrored_bit,
	_local_projectile_animates_backwards_bit,
	_local_projectile_horizontally_mirrored_flag = FLAG(_local_projectile_horizontally_mirrored_bit),
	_local_projectile_vertically_mirrored_flag = FLAG(_local_projectile_vertically_mirrored_bit),
	_local_projectile_animates_backwards_flag = FLAG(_local_projectile_animates_backwards_bit)
};

struct linear_physics
{
	fixed_vector3d velocity;
};
struct cylindrical_physics
{
	angle theta, theta_velocity;
	world_distance radius, initial_z_deviation;
	int32 period, ticks_elapsed;
	fixed z_velocity;
};
struct spherical_spring_physics
{
	angle theta, theta_velocity, phi, phi_velocity;
	world_distance initial_radius;
	int32 period, ticks_elapsed;
};
struct point_attractor_physics
{
	fixed_vector3d velocity;
};
struct converging_physics
{
	angle theta, theta_velocity, phi, phi_velocity;
	world_distance initial_radius;
	int32 time_to_converge, ticks_elapsed;
};
struct explosive_gas_physics
{
	fixed_vector3d velocity, acceleration;
};

union local_projectile_physics
{
	linear_physics linear;
	cylindrical_physics cylindrical;
	spherical_spring_physics spring;
	point_attractor_physics attractor;
	converging_physics converging;
	explosive_gas_physics gas;
};
static_assert(sizeof(local_projectile_physics) <= 32);

struct local_projectile_data
{
	int16 identifier;
	int16 owner_index, owner_identifier;
	int16 next_projectile_index;
	local_projectile_physics physics;
	world_point3d offset;
	angle yaw;
	short_fixed scale;
	uint8 sequence_index, frame_index, phase, ticks_per_frame, view_index, flags;
	int16 permutation_index;
	int32 ticks_elapsed, expiration_time;
	world_location3d sound_location;
};

struct new_local_projectile_group_data
{
	int16 type;
	uint8 flags;
	world_point3d center;
	int32 duration;
	int16 startup_transition_time, ending_transition_time;
	int16 central_object_index, central_object_identifier;
	int16 bounds_object_index, bounds_object_identifier;
	fixed_fraction group_opacity;
	angle yaw;
	int16 color_table_index;
};

struct new_local_projectile_data
{
	int16 owner_index, owner_identifier;
	uint8 flags;
	angle yaw;
	world_point3d offset;
	local_projectile_physics initial_physics;
};

extern datum_globals local_projectile_group_array; // "local proj grps"
extern datum_globals local_projectile_array; // "local projs"

/* ---------- life cycle */

void initialize_local_projectiles(void);
void initialize_local_projectiles_for_new_map(void);
void dispose_local_projectiles_from_old_map(void);
// Advances every group once by ticks after a saved game has been restored.
void saved_game_update_local_projectile_groups(int32 ticks);
struct view_data;
struct mesh_region;
void build_local_projectiles_surface_list(view_data *view, mesh_region *region);
void render_local_projectile(view_data *view, mesh_region *region, boolean reflected,
	const local_projectile_group_data *group, int16 particle_index, const world_point3d *center, int16 type,
	fixed_fraction opacity, int16 hscale, int16 vscale);

/* ---------- definitions */

definition_globals *get_local_physics_definitions(void);
definition_globals *get_local_projectile_group_definitions(void);
boolean postprocess_local_projectile_group_definition(definition_globals *definitions, int16 definition_index,
	int32 tag_handle, void *definition);
void local_projectile_group_definition_dependencies(void *definition, report_definition_dependency_proc report);
boolean postprocess_local_physics_definition(definition_globals *definitions, int16 definition_index,
	int32 tag_handle, void *definition);
// NONE when the tag is missing or refused.
int16 local_projectile_group_definition_tag_to_index(file_tag tag);
int16 local_physics_definition_tag_to_index(file_tag tag);
local_projectile_group_definition *get_local_projectile_group_definition(int16 type);
local_physics_definition *get_local_physics_definition(int16 type);
// In-memory tags, swapped and postprocessed as loaded (tests, the fuzz target).
int16 new_local_physics_definition_from_tag_data(file_tag subgroup, const void *tag_data, int32 tag_data_size);
int16 new_local_projectile_group_definition_from_tag_data(file_tag subgroup, const void *tag_data,
	int32 tag_data_size);
// The stored form of a physics definition, for the content generator.
void local_physics_definition_to_stored(const local_physics_definition *definition, uint8 *stored);

/* ---------- groups */

int16 new_local_projectile_group(const new_local_projectile_group_data *data);
// A visual group at a point, in the owner object's colours, following the
// owner when asked; NONE when none starts.
int16 new_local_projectile_group(int16 type, const world_point3d *origin, int16 owner_object_index,
	boolean follow_owner = FALSE);
int16 new_local_projectile_group_from_marker(marker_data *marker);
void new_local_projectile_group_palette_entry(marker_palette_entry *entry);
int16 local_projectile_group_identifier_to_local_projectile_group_index(int16 identifier);
int16 local_projectile_group_identifiers_to_local_projectile_group_indexes(const int16 *identifiers, int16 *indexes,
	int16 count);
// Detaches the group from its unit and lets it end.
void turn_local_projectile_group_off(int16 group_index);
// Frees the group, its particles and (for shared groups) its mirrors at once.
void delete_local_projectile_group(int16 group_index);
void move_local_projectile_group(int16 group_index, const world_point3d *point);
void set_local_projectile_group_center(int16 group_index, const world_point3d *point);
// Keeps the group centred on the object while its identifier matches.
void set_local_projectile_group_central_object(int16 group_index, int16 object_index, int16 object_identifier);
void set_local_projectile_group_target_number(int16 group_index, int16 target_number);
void set_local_projectile_group_opacity(int16 group_index, fixed_fraction opacity);
void set_local_projectile_group_monster_index(int16 group_index, int16 monster_index);
// One particle at a world point, and no more made for the group.
void create_stationary_projectile(int16 group_index, const world_point3d *point);
// NULL for an index not in use.
local_projectile_group_data *get_local_projectile_group_data(int16 group_index);
local_projectile_data *get_local_projectile_data(int16 projectile_index);

/* ---------- named steps (reachable from tests) */

void handle_local_projectile_group_states(int16 group_index, int16 ticks, fixed_fraction *opacity, int16 *target,
	int16 *hscale, int16 *vscale);
void maintain_target_number_of_projectiles(int16 group_index, int16 target);
int16 new_local_projectile(const new_local_projectile_data *data);
void update_local_projectile(int16 projectile_index, int16 ticks);
void delete_local_projectile(int16 projectile_index);
// Advances one group by ticks (steps 1-4 of the frame driver, without drawing).
void update_local_projectile_group(int16 group_index, int16 ticks);

/* ---------- test hooks */

struct local_projectiles_test_hooks_data
{
	boolean module_off; // no group is made while set
};

local_projectiles_test_hooks_data *get_local_projectiles_test_hooks(void);
void reset_local_projectiles_test_hooks(void);
// Raises (or restores) the per-map counts up to the arrays' room.
void set_local_projectile_capacities(int16 groups, int16 particles);

#endif
