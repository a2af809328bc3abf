// Model animations: a sequence of models shown in place one frame at a time,
// stepped on the game tick so the cells they block change in step everywhere.
#ifndef MODEL_ANIMATIONS_H
#define MODEL_ANIMATIONS_H

#include <cstddef>

#include "cseries.h"
#include "world_units.h"
#include "byte_swapping.h"
#include "data.h"
#include "definitions.h"

struct marker_data;
struct marker_palette_entry;
struct mesh_region;
struct zerv_digest;

#define MODEL_ANIMATION_GROUP_TAG TAG("anim")
#define MODEL_ANIMATION_VERSION_NUMBER 1
#define MAXIMUM_MODEL_ANIMATION_DEFINITIONS_PER_MAP 8
#define MAXIMUM_MODEL_ANIMATIONS_PER_MAP 32
#define MAXIMUM_FRAMES_PER_MODEL_ANIMATION 31

enum // definition flags
{
	_random_initial_frame_bit,
	_animation_cycles_bit,
	_animation_back_and_forth_bit,
	_animation_initially_running_bit,
	_random_initial_frame_flag = FLAG(_random_initial_frame_bit),
	_animation_cycles_flag = FLAG(_animation_cycles_bit),
	_animation_back_and_forth_flag = FLAG(_animation_back_and_forth_bit),
	_animation_initially_running_flag = FLAG(_animation_initially_running_bit)
};

enum // record flags
{
	_private_animating_forward_bit,
	_private_animating_back_and_forth_bit,
	_private_animating_cycling_bit,
	_private_animating_forward_flag = FLAG(_private_animating_forward_bit),
	_private_animating_back_and_forth_flag = FLAG(_private_animating_back_and_forth_bit),
	_private_animating_cycling_flag = FLAG(_private_animating_cycling_bit)
};

enum // states
{
	_animation_stopped,
	_animation_running
};

// The level-of-detail table's per-cell drawn bits of one 2 x 2 block.
#define LOD_CELL_0_VISIBLE_FLAG 16 // (2i, 2j)
#define LOD_CELL_1_VISIBLE_FLAG 32 // (2i+1, 2j)
#define LOD_CELL_2_VISIBLE_FLAG 64 // (2i+1, 2j+1)
#define LOD_CELL_3_VISIBLE_FLAG 128 // (2i, 2j+1)

// 16 bytes.
struct model_animation_frame_definition
{
	uint32 flags;
	file_tag model_tag;
	int16 model_type; // filled at load
	int16 permutation_index;
	int16 unused[2];
};
STORED_SIZE(model_animation_frame_definition, 16);

// 1024 bytes, big-endian in the tag; the shadow maps sit in a side table.
struct model_animation_definition
{
	uint32 flags;
	int16 number_of_frames;
	int16 ticks_per_frame; // a frame lasts this many ticks plus one
	model_animation_frame_definition frames[MAXIMUM_FRAMES_PER_MODEL_ANIMATION];
	int16 unused[222];
	int16 shadow_map_width, shadow_map_height, shadow_bytes_per_row;
	int16 pad;
	short_world_distance origin_offset_x, origin_offset_y;
	file_tag forward_sound_tag, backward_sound_tag;
	int16 forward_sound_type, backward_sound_type; // filled at load
	int16 unused2[20];
	int32 shadow_maps_offset, shadow_maps_size;
	uint32 shadow_maps; // slot: zero on disk
};
STORED_SIZE(model_animation_definition, 1024);
static_assert(offsetof(model_animation_definition, shadow_map_width) == 948 &&
	offsetof(model_animation_definition, forward_sound_tag) == 960 &&
	offsetof(model_animation_definition, shadow_maps_offset) == 1012);

extern const byte_swap_code model_animation_definition_bs_data[];

struct model_animation_data
{
	int16 identifier;
	uint16 flags;
	int16 type;
	int16 state;
	world_location3d location;
	int16 ticks_elapsed;
	int16 current_frame_index; // NONE before the first frame
	int16 current_model_index; // NONE for none
	int16 current_model_identifier; // guards against a model deleted elsewhere
};

struct new_model_animation_data
{
	uint16 flags;
	int16 type;
	world_location3d location;
};

extern datum_globals model_animation_array; // "model animation"

void initialize_model_animations(void);
void initialize_model_animations_for_new_map(void);
void dispose_model_animations_from_old_map(void);
definition_globals *get_model_animation_definitions(void);
boolean postprocess_model_animation_definition(definition_globals *definitions, int16 definition_index,
	int32 tag_handle, void *definition);
void model_animation_definition_dependencies(void *definition, report_definition_dependency_proc report);
int16 get_model_animation_definition_index(file_tag tag);
model_animation_definition *get_model_animation_definition(int16 definition_index);
// In-memory tag bytes (the header at 0, the maps at shadow_maps_offset); NONE when refused.
int16 new_model_animation_definition_from_tag_data(file_tag subgroup, const void *tag_data, int32 tag_data_size);
// The frame's shadow map, NULL for none.
const uint8 *get_model_animation_shadow_map(int16 definition_index, int16 frame);

int16 new_model_animation(const new_model_animation_data *data);
int16 new_model_animation_from_marker(marker_data *marker);
void new_model_animation_palette_entry(marker_palette_entry *entry);
int16 model_animation_identifier_to_model_animation_index(int16 identifier);
int16 model_animation_identifiers_to_model_animation_indexes(const int16 *identifiers, int16 *indexes, int16 count);
model_animation_data *get_model_animation_data(int16 model_animation_index);
void delete_model_animation(int16 model_animation_index);
void advance_model_animation(int16 model_animation_index);
void update_model_animations(void);
void play_model_animation_sound(int16 model_animation_index, int16 sound_index);
void rasterize_visible_animating_shadows(mesh_region *region);
// Sets the drawn bits of the 2 x 2 blocks x0..x1, y0..y1 (clipped to the table)
// from their cells' not-rendered flags.
void refresh_LOD_cell_visibility(int32 x0, int32 y0, int32 x1, int32 y1);

// A model the animations may hold is gone.
void update_model_animations_for_deleted_model(int16 model_index);

// The animation driving the model; NONE when none does.
int16 get_model_animation_index_from_current_model_index(int16 model_index);
// Frames of the animation and the one it shows (0 without one).
int16 get_model_animation_frame_count(int16 model_animation_index);
int16 get_model_animation_frame(int16 model_animation_index);
// A frame outside the animation's is ignored.
void jump_model_animation_to_frame(int16 model_animation_index, int16 frame);
void start_model_animation(int16 model_animation_index);

void fold_model_animations_digest(zerv_digest *digest);

// Failures the tests cannot cause otherwise.
struct model_animations_test_hooks_data
{
	boolean fail_shadow_map_allocation, fail_shadow_map_read;
};

model_animations_test_hooks_data *get_model_animations_test_hooks(void);
void reset_model_animations_test_hooks(void);

#endif
