// Shape collections: sprites, textures, sequences, colour and shading tables.
// No collection loads yet: every lookup answers none.
#ifndef SHAPES_H
#define SHAPES_H

#include "cseries.h"
#include "world_units.h"
#include "bitmaps.h"

#define COLLECTION_GROUP_TAG TAG(".256")
#define COLLECTION_VERSION_NUMBER 4
#define MAXIMUM_SHADING_TABLES_PER_COLLECTION 128

enum
{
	_sequence_uses_mirroring_bit,
	_sequence_has_frame_data_bit,
	_sequence_has_no_rotation_bit,

	_sequence_uses_mirroring_flag = 1 << _sequence_uses_mirroring_bit,
	_sequence_has_frame_data_flag = 1 << _sequence_has_frame_data_bit,
	_sequence_has_no_rotation_flag = 1 << _sequence_has_no_rotation_bit
};

enum
{
	_add_shading_table_for_lighting,
	_add_shading_table_for_tinting
};

enum
{
	_transparency_normal,
	_transparency_overlay,
	NUMBER_OF_TRANSPARENCY_MODES
};

#define NUMBER_OF_SEQUENCE_SOUNDS 3

struct sequence_data
{
	uint32 flags;
	fixed pixels_to_world;
	int16 number_of_views;
	int16 frames_per_view;
	int16 ticks_per_frame;
	int16 key_frame;
	int16 loop_frame;
	int16 sound_indexes[NUMBER_OF_SEQUENCE_SOUNDS];
	file_tag sound_tags[NUMBER_OF_SEQUENCE_SOUNDS];
	int16 transfer_mode;
	int16 transfer_period;
	fixed radius;
	fixed height0;
	fixed height1;
	short_world_distance world_radius;
	short_world_distance world_height0;
	short_world_distance world_height1;
	int16 unused[3];
};
STORED_SIZE(sequence_data, 64);

// Followed by one bitmap-instance index per view.
struct sequence_frame_data
{
	int16 shadow_map_index;
	short_world_point3d key_point;
	int16 unused[19];
};
STORED_SIZE(sequence_frame_data, 46);

struct bitmap_instance_data
{
	uint32 flags;
	fixed_fraction minimum_light_intensity;
	fixed_fraction maximum_light_intensity;
	fixed_fraction transparency;
	int16 lowres_bitmap_index;
	point2d registration_point;
	short_world_distance world_top, world_left, world_right, world_bottom;
	point2d key_point;
	int16 bitmap_index;
	int16 highres_bitmap_index;
	fixed highres_pixels_to_world;
	point2d highres_registration_point;
	int16 unused2[4];
	uint8 extractor_data[16];
};
STORED_SIZE(bitmap_instance_data, 64);

struct fixed_bitmap_coordinate2d
{
	fixed x, y;
};

struct shadow_map_data
{
	uint32 flags;
	fixed_bitmap_coordinate2d registration_point;
	int16 bitmap_index;
	int16 unused;
	uint8 extractor_data[16];
};
STORED_SIZE(shadow_map_data, 32);

void initialize_shapes(void);
void initialize_shapes_for_new_map(boolean is_main_menu);
void dispose_shapes_from_old_map(void);

// NONE (-1) when absent.
int16 get_collection_index(file_tag collection_tag);
boolean is_resolution_collection(file_tag collection_tag);

bitmap_data *get_bitmap(int16 collection_index, int16 bitmap_index);
bitmap_instance_data *get_bitmap_instance(int16 collection_index, int16 bitmap_instance_index);
sequence_data *get_sequence(int16 collection_index, int16 sequence_index);
sequence_frame_data *get_sequence_frame(sequence_data *sequence, int16 collection_index, int16 sequence_index,
	int16 frame_index);
shadow_map_data *get_shadow_map(int16 collection_index, int16 shadow_map_index);
color_table *get_color_table(int16 collection_index, int16 color_table_index);
void *get_shading_table(int16 collection_index, int16 shading_table_index, int16 permutation);
void *get_blend_table(int16 collection_index);
void *get_remapping_table(int16 collection_index);
void *get_transparency_table(int16 transparency_mode);
uint8 *get_submesh_bitmap_base_address(int16 collection_index, int16 bitmap_index, boolean write_enable);

boolean verify_sequence_index(int16 collection_index, int16 sequence_index);
void preload_sequence_index(int16 collection_index, int16 sequence_index, boolean *had_to_purge);
void preload_submesh_cache(void);
void equalize_sequence_collision_rectangles(int16 collection_index, int16 primary_sequence_index,
	int16 secondary_sequence_index);
void report_preloaded_bitmaps(file_tag mesh_tag, file_tag preload_subgroup);

// Shading tables; each returns the new table's index.
int16 add_shading_table_to_collection_index(int16 collection_index, const rgb_color *replacement_colors, int16 mode,
	fixed_fraction tint_fraction, const rgb_color *tint_color);
int16 add_adjusted_shading_table_to_collection_index(int16 collection_index, const rgb_color *replacement_colors,
	const rgb_color *primary_color, const rgb_color *secondary_color, int16 mode, boolean use_global_tint,
	fixed_fraction tint_fraction, const rgb_color *tint_color);
// -1 on failure.
int16 add_shading_table_to_mesh(int16 collection_index, fixed_fraction dark_color_fraction, const rgb_color *dark_color,
	int16 transition_point, fixed_fraction light_color_fraction, const rgb_color *light_color);
// Builds nothing; the stored blend table is used as it is.
boolean add_blend_table_to_collection_index(int16 collection_index);
void set_shading_table_permutation_data(int16 permutation_index, int16 mode, fixed_fraction tint_fraction,
	const rgb_color *tint_color);
void set_global_tint_color(const rgb_color *tint_color, fixed_fraction tint_fraction);

// Collection references ('core').
int16 custom_collection_reference(int16 collection_reference_index, const rgb_color *primary_color,
	const rgb_color *secondary_color, boolean use_global_tint);
int16 get_collection_reference_permutation(int16 collection_reference_index, int16 color_table_index);

struct shapes_test_hooks_data
{
	least_call_log calls;
};

shapes_test_hooks_data *get_shapes_test_hooks(void);
void reset_shapes_test_hooks(void);

#endif
