// Objects: the physical presence of everything that stands, flies or lies
// on the terrain, the per-cell object chains through which they are found,
// their shape animation, and the physics step move_object.
#ifndef OBJECTS_H
#define OBJECTS_H

#include "cseries.h"
#include "world_units.h"
#include "data.h"
#include "object_definitions.h"

struct mesh_cell;
struct zerv_digest;

/* ---------- constants */

#define MAXIMUM_OBJECTS_PER_MAP 8192
#define MAXIMUM_OBJECTS_PER_MAP_13 4096

enum // owner kinds
{
	_object_is_garbage,
	_object_is_scenery,
	_object_is_monster,
	_object_is_projectile,
	_object_is_dormant_projectile,
	_object_is_special_projectile,
	_object_is_flag,
	_object_is_monster_placeholder,
	_object_is_local_projectile_group_placeholder,
	_object_is_sound_source_placeholder,
	_object_is_observer_placeholder,
	NUMBER_OF_OBJECT_OWNER_TYPES
};

enum // object flags
{
	_object_animation_new_frame_bit,
	_object_animation_key_frame_bit,
	_object_animation_last_frame_bit,
	_object_animation_transfer_mode_finished_bit,
	_object_on_ground_bit,
	_object_on_media_bit,
	_object_partially_under_media_bit,
	_object_wholly_under_media_bit,
	_object_at_rest_bit,
	_object_is_invisible_bit,
	_object_is_solid_bit,
	_object_floats_on_land_bit,
	_object_floats_on_media_bit,
	_object_is_permeable_bit,
	_object_is_media_surface_effect_bit,
	_object_cannot_be_accelerated_bit,
	_object_is_selected_bit,
	_object_is_horizontally_mirrored_bit,
	_object_is_vertically_mirrored_bit,
	_object_animates_backwards_bit,
	_object_is_flag_bit,
	_object_has_no_shadow_bit,
	_object_must_be_included_in_explosions_bit,
	_object_pausing_for_obstacle_to_move_bit,
	_object_cannot_collide_with_mesh_bit,
	_object_was_chosen_to_take_damage_bit,
	_object_respects_monster_visibility_bit,
	_object_invisible_on_overhead_map_bit,
	_object_is_rendered_transparently_bit,
	_object_is_not_rendered_bit,
	_object_is_attack_highlighted_bit,
	_object_is_mouseover_highlighted_bit,
	NUMBER_OF_OBJECT_FLAGS // 32
};

enum : uint32
{
	_object_animation_new_frame_flag = FLAG(_object_animation_new_frame_bit),
	_object_animation_key_frame_flag = FLAG(_object_animation_key_frame_bit),
	_object_animation_last_frame_flag = FLAG(_object_animation_last_frame_bit),
	_object_animation_transfer_mode_finished_flag = FLAG(_object_animation_transfer_mode_finished_bit),
	_object_on_ground_flag = FLAG(_object_on_ground_bit),
	_object_on_media_flag = FLAG(_object_on_media_bit),
	_object_partially_under_media_flag = FLAG(_object_partially_under_media_bit),
	_object_wholly_under_media_flag = FLAG(_object_wholly_under_media_bit),
	_object_at_rest_flag = FLAG(_object_at_rest_bit),
	_object_is_invisible_flag = FLAG(_object_is_invisible_bit),
	_object_is_solid_flag = FLAG(_object_is_solid_bit),
	_object_floats_on_land_flag = FLAG(_object_floats_on_land_bit),
	_object_floats_on_media_flag = FLAG(_object_floats_on_media_bit),
	_object_is_permeable_flag = FLAG(_object_is_permeable_bit),
	_object_is_media_surface_effect_flag = FLAG(_object_is_media_surface_effect_bit),
	_object_cannot_be_accelerated_flag = FLAG(_object_cannot_be_accelerated_bit),
	_object_is_selected_flag = FLAG(_object_is_selected_bit),
	_object_is_horizontally_mirrored_flag = FLAG(_object_is_horizontally_mirrored_bit),
	_object_is_vertically_mirrored_flag = FLAG(_object_is_vertically_mirrored_bit),
	_object_animates_backwards_flag = FLAG(_object_animates_backwards_bit),
	_object_is_flag_flag = FLAG(_object_is_flag_bit),
	_object_has_no_shadow_flag = FLAG(_object_has_no_shadow_bit),
	_object_must_be_included_in_explosions_flag = FLAG(_object_must_be_included_in_explosions_bit),
	_object_pausing_for_obstacle_to_move_flag = FLAG(_object_pausing_for_obstacle_to_move_bit),
	_object_cannot_collide_with_mesh_flag = FLAG(_object_cannot_collide_with_mesh_bit),
	_object_was_chosen_to_take_damage_flag = FLAG(_object_was_chosen_to_take_damage_bit),
	_object_respects_monster_visibility_flag = FLAG(_object_respects_monster_visibility_bit),
	_object_invisible_on_overhead_map_flag = FLAG(_object_invisible_on_overhead_map_bit),
	_object_is_rendered_transparently_flag = FLAG(_object_is_rendered_transparently_bit),
	_object_is_not_rendered_flag = FLAG(_object_is_not_rendered_bit),
	_object_is_attack_highlighted_flag = FLAG(_object_is_attack_highlighted_bit),
	_object_is_mouseover_highlighted_flag = FLAG(_object_is_mouseover_highlighted_bit),

	_object_animation_flags = _object_animation_new_frame_flag | _object_animation_key_frame_flag |
		_object_animation_last_frame_flag | _object_animation_transfer_mode_finished_flag,
	_object_physics_status_flags = _object_on_ground_flag | _object_on_media_flag | _object_partially_under_media_flag |
		_object_wholly_under_media_flag | _object_at_rest_flag,
	// Selection, highlights and the gore-lock hide: local to one machine.
	_object_local_flags = _object_is_selected_flag | _object_is_not_rendered_flag | _object_is_attack_highlighted_flag |
		_object_is_mouseover_highlighted_flag
};

enum // extra flags
{
	_object_is_being_carried_extra_bit,
	NUMBER_OF_OBJECT_EXTRA_FLAGS,

	_object_is_being_carried_extra_flag = FLAG(_object_is_being_carried_extra_bit)
};

enum // transfer modes
{
	_transfer_mode_none,
	_transfer_mode_transparent_fade_out,
	_transfer_mode_transparent_fade_in,
	_transfer_mode_shrink_out,
	_transfer_mode_shrink_in,
	_transfer_mode_transparent_appearing,
	_transfer_mode_transparent_disappearing,
	_transfer_mode_transparent_cycle,
	NUMBER_OF_TRANSFER_MODES
};

enum // set_object_shape flags
{
	_random_sequence_frame_bit,
	_random_sequence_phase_bit,
	_random_transfer_mode_phase_bit,
	_random_view_bit,
	_loop_sequence_frame_bit,
	_ignore_duplicate_sequences_bit,

	_random_sequence_frame_flag = FLAG(_random_sequence_frame_bit),
	_random_sequence_phase_flag = FLAG(_random_sequence_phase_bit),
	_random_transfer_mode_phase_flag = FLAG(_random_transfer_mode_phase_bit),
	_random_view_flag = FLAG(_random_view_bit),
	_loop_sequence_frame_flag = FLAG(_loop_sequence_frame_bit),
	_ignore_duplicate_sequences_flag = FLAG(_ignore_duplicate_sequences_bit)
};

enum // new_object_data flags
{
	_new_object_on_ground_bit,
	_new_object_on_ground_flag = FLAG(_new_object_on_ground_bit)
};

enum // get_object_point modes
{
	_object_point_location,
	_object_point_center
};

enum // get_object_sequence_ticks modes
{
	_object_ticks_until_key_frame,
	_object_ticks_until_last_frame,
	_object_ticks_until_next_frame
};

// The move result: low bits below, the last object struck in the high 16 bits.
enum
{
	_object_struck_ground_bit,
	_object_struck_ceiling_bit,
	_object_struck_object_bit,
	_object_struck_objects_bit,
	_object_struck_cell_bit,
	_object_struck_edge_of_mesh_bit,
	_object_struck_object_softly_bit,
	_object_changed_cells_bit,
	_object_entered_media_bit,
	_object_exited_media_bit,

	_object_struck_ground_flag = FLAG(_object_struck_ground_bit),
	_object_struck_ceiling_flag = FLAG(_object_struck_ceiling_bit),
	_object_struck_object_flag = FLAG(_object_struck_object_bit),
	_object_struck_objects_flag = FLAG(_object_struck_objects_bit),
	_object_struck_cell_flag = FLAG(_object_struck_cell_bit),
	_object_struck_edge_of_mesh_flag = FLAG(_object_struck_edge_of_mesh_bit),
	_object_struck_object_softly_flag = FLAG(_object_struck_object_softly_bit),
	_object_changed_cells_flag = FLAG(_object_changed_cells_bit),
	_object_entered_media_flag = FLAG(_object_entered_media_bit),
	_object_exited_media_flag = FLAG(_object_exited_media_bit)
};

#define MOVE_RESULT_STRUCK_OBJECT_INDEX(result) (static_cast<int16>(static_cast<uint32>(result) >> 16))

// Physics constants.
#define EDGE_OF_MESH_BUFFER 992
#define MAXIMUM_OBJECT_HEIGHT_ADJUSTMENT_PER_TICK 32
#define RADIUS_OVERESTIMATION_AMOUNT 32
#define ZERO_FRICTION_MAGNITUDE 2048
#define MINIMUM_OBJECT_VELOCITY 5
#define MAXIMUM_PARALLEL_OBSTRUCTION_DISTANCE 1024
#define NEAREST_OBSTRUCTION_SLOP 170
// A hovering object with nothing under it and no model probes from here.
#define OBJECT_MODEL_PROBE_HEIGHT 4096
#define OBJECT_NO_GROUND_DROP 380

// The byte of shape_collection_index and shape_sequence_index that means none.
#define NO_SHAPE_INDEX 255

/* ---------- records (in memory only) */

struct object_data
{
	int16 identifier; // 0: free
	short_fixed scale;
	uint32 flags;
	world_location3d location;
	short_world_distance radius;
	short_world_distance height0;
	short_world_distance height1;
	int16 owner_index;
	int8 owner;
	int8 animating_scenery_index;
	uint8 shape_collection_index; // 255: none
	uint8 shape_sequence_index; // 255: none
	uint8 color_table_index;
	uint8 color_table_permutation;
	int8 shape_frame_index;
	int8 shape_phase;
	int8 shape_ticks_per_frame;
	int8 shape_view_index;
	uint8 tracking_priority;
	int8 transfer_mode;
	int8 transfer_phase;
	int8 transfer_period;
	int16 next_object_index;
	int16 parasitic_object_index;
	int16 transparent_object_index;
	int8 geometry_index;
	uint8 dormant_proj_flags;
	int16 state;
	int16 type;
	short_fixed vitality;
	short_fixed maximum_vitality;
	short_world_distance desired_height_above_ground;
	uint16 extra_flags;
	int16 expiry;
	int16 original_owner_unit_index;
};

struct new_object_data
{
	uint16 flags;
	int16 type;
	int16 owner;
	int16 owner_index;
	int16 tracking_priority;
	short_fixed scale;
	world_location3d location;
	int16 collection_index;
	int16 color_table_index;
};

struct object_render_data
{
	int16 bitmap_instance_index;
	int16 shadow_map_index;
	int16 transfer_mode;
	uint16 transfer_phase; // 65536 = the whole period (capped at 65535)
};

// Walks the objects of a rectangle of cells: rows in increasing y, cells in
// increasing x, each chain from its head. The next index is read before an
// object is handed out, but nothing may relink the chains during the walk.
struct object_cell_walk
{
	int32 x0, x1, y1; // inclusive, inside the mesh
	int32 x, y;
	const uint64 *occupied; // row y's bits
	int16 next_object_index;
};

/* ---------- the array */

extern datum_globals object_array; // "object"

// NULL for an index not in use. Inline: asked on every move and scan.
inline object_data *get_object_data(int16 object_index)
{
	// datum_in_use's checks; the records are object_data (the declared size,
	// never changed), so the address takes no size read from the globals.
	if (!object_array.data || object_index < 0 || object_index >= object_array.maximum_count) return nullptr;
	object_data *object = static_cast<object_data *>(object_array.data) + object_index;
	return object->identifier != 0 ? object : nullptr;
}

/* ---------- the cell walk */

// The occupied cells of row y, a bit per cell (bit x & 63 of word x >> 6):
// every cell heading a chain has its bit set. Only with a map.
const uint64 *object_cell_occupancy_row(int32 y);
// For code that writes cell heads directly (snapshots, test worlds).
void rebuild_object_cell_occupancy(void);
// Whether the bits are exactly the cells that head a chain.
boolean object_cell_occupancy_matches_heads(void);

// The first x in from..to (inclusive) whose bit is set in a row, -1 if none.
inline int32 next_occupied_cell(const uint64 *row, int32 from, int32 to)
{
	if (from > to) return -1;
	int32 word = from >> 6;
	const int32 last = to >> 6;
	uint64 bits = row[word] & (~uint64{0} << (from & 63));
	for (;;)
	{
		if (bits)
		{
			const int32 x = (word << 6) + __builtin_ctzll(bits);
			return x <= to ? x : -1;
		}
		if (++word > last) return -1;
		bits = row[word];
	}
}

// Cells are clamped into the mesh; an empty walk without a map.
void start_object_cell_walk(object_cell_walk *walk, int32 x0, int32 y0, int32 x1, int32 y1);
// Moves to the next cell with objects; false at the end.
boolean advance_object_cell_walk(object_cell_walk *walk);

// The next object index, NONE at the end. Inline: every physics step and
// area scan runs through it.
inline int16 next_object_in_cell_walk(object_cell_walk *walk)
{
	if (walk->next_object_index == NONE && !advance_object_cell_walk(walk)) return NONE;
	const int16 object_index = walk->next_object_index;
	walk->next_object_index = static_cast<const object_data *>(object_array.data)[object_index].next_object_index;
	return object_index;
}

/* ---------- life cycle */

void initialize_objects(void);
void initialize_objects_for_new_map(void);
void dispose_objects_from_old_map(void);

/* ---------- creation and deletion */

int16 new_object(new_object_data *data);
void delete_object(int16 object_index);
int16 duplicate_object(int16 object_index);
void replace_object(int16 old_object_index, int16 new_object_index);
void add_parasitic_object(int16 parent_object_index, int16 parasitic_object_index);

/* ---------- cells */

void disconnect_object_from_mesh(int16 object_index);
void disconnect_object_from_cell(int16 object_index, mesh_cell *cell, boolean update_parasites);
void reconnect_object_to_mesh(int16 object_index);
void reconnect_objects_to_mesh(void);


/* ---------- shape */

void animate_object(int16 object_index);
// animate_object for a caller that holds the object's record (object_index's, in use).
void animate_object_record(int16 object_index, object_data *object);
void set_object_shape(int16 object_index, int16 sequence_index, short_fixed animation_rate, int16 transfer_mode,
	int16 transfer_period, uint16 flags, boolean use_native);
void get_object_render_data(object_render_data *data, const world_point3d *camera, int16 object_index);
// The same for an object record outside the array (a local sprite) and a sequence and frame other than
// its own (animating scenery); NONE keeps the object's.
void get_object_render_data_for_frame(object_render_data *data, const world_point3d *camera, const object_data *object,
	int16 sequence_index, int16 frame_index);

/* ---------- physics */

uint32 move_object(int16 object_index);

/* ---------- queries */

void _play_object_sound(int16 object_index, int16 sound_index);
void get_object_point(int16 mode, int16 object_index, world_point3d *point);
void get_object_key_point(int16 object_index, int16 sequence_index, int16 frame_index, angle yaw, world_point3d *point);
int32 get_object_sequence_ticks(int16 object_index, int16 mode);
int16 nearest_obstruction(int16 transparent_object_index, const world_point3d *origin, angle yaw, angle pitch,
	world_distance radius);
int16 object_identifiers_to_object_indexes(const int16 *identifiers, int16 *indexes, int16 count);

// Whether the projectile owning the object passes through its target (the
// projectiles' answer; false until they exist).
boolean object_projectile_passes_through_target(int16 object_index);

/* ---------- digest */

void fold_objects_digest(zerv_digest *digest);

#endif
