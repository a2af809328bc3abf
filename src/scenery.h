// Scenery: the static furniture of a map placed by markers, with its terrain
// marks, damage response, ruins and animations.
#ifndef SCENERY_H
#define SCENERY_H

#include "cseries.h"
#include "world_units.h"
#include "data.h"
#include "scenery_definitions.h"

struct damage_definition;
struct damage_data;
struct marker_data;
struct marker_palette_entry;
struct object_data;
struct zerv_digest;

#define MAXIMUM_ANIMATING_SCENERY_PER_MAP 128
#define CELL_MARKING_SCAN_RADIUS 3
// Terrain bytes: type 14 on both triangles blocks, type 6 frees.
#define BLOCKED_CELL_TERRAIN 0xEE
#define FREE_CELL_TERRAIN 0x66

enum // animating scenery flags
{
	_scenery_animates_backwards_bit,
	_scenery_is_on_fire_bit,

	_scenery_animates_backwards_flag = FLAG(_scenery_animates_backwards_bit),
	_scenery_is_on_fire_flag = FLAG(_scenery_is_on_fire_bit)
};

struct animating_scenery_data
{
	int16 identifier;
	uint16 flags;
	int16 object_index;
	int16 shape_collection_index;
	int16 shape_sequence_index;
	int16 shape_frame_index;
	int16 shape_phase;
	int16 shape_ticks_per_frame;
	int32 ticks_elapsed;
};

extern datum_globals animating_scenery_array; // "anim. scenery"

void initialize_scenery(void);
void initialize_scenery_for_new_map(void);
void dispose_scenery_from_old_map(void);

int16 new_scenery(marker_data *marker);
void new_scenery_palette_entry(marker_palette_entry *entry);
void accelerate_scenery(int16 object_index, const damage_definition *definition, damage_data *data);
void mark_cells_for_scenery(const world_point2d *center, world_distance radius, boolean impassable);
// Writes a terrain byte into a cell inside the grid (cells not rendered keep
// theirs); TRUE when the byte changed.
boolean set_cell_terrain_byte(int32 x, int32 y, uint8 terrain);
int16 new_animating_scenery(int16 object_index, uint16 flags);
animating_scenery_data *get_animating_scenery_data(int16 index);
void update_animating_scenery(void);
void get_animation_parameters_for_scenery(int16 index, int16 *sequence, int16 *frame);
// The model animation frame a vitality calls for: the last frame, or by the
// lost share of vitality, clamped to the animation's frames.
int16 scenery_vitality_frame(int16 frames, short_fixed vitality, short_fixed maximum_vitality, boolean last_frame);
void vitality_affects_model_animation(object_data *object, boolean last_frame);

void fold_scenery_digest(zerv_digest *digest);

#endif
