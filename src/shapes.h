// Shape collections ('.256'): sprites, interface pictures, landscape colour
// maps and their sequences, loaded as one block per collection and fixed up
// in place. Collections are addressed by their definition index.
#ifndef SHAPES_H
#define SHAPES_H

#include "cseries.h"
#include "byte_swapping.h"
#include "world_units.h"
#include "bitmaps.h"
#include "definitions.h"
#include "shape_file.h"
#include "shading_tables.h"

/* ---------- constants */

#define COLLECTION_GROUP_TAG TAG(".256")
#define COLLECTION_VERSION_NUMBER 4
#define MAXIMUM_COLLECTIONS_PER_MAP 256
#define MAXIMUM_BITMAPS_PER_COLLECTION 16384 // bitmap indexes are 14 bits
#define MAXIMUM_SEQUENCES_PER_COLLECTION 256
#define MAXIMUM_SHADING_TABLES_PER_COLLECTION 128
#define MAXIMUM_HUE_CHANGES_PER_COLLECTION 8 // only the first 8 are used
#define PIXELS_TO_WORLD_MULTIPLIER 10
#define COLLECTION_NAME_LENGTH 64 // 63 characters and the terminator
#define NUMBER_OF_SEQUENCE_SOUNDS 3
#ifndef TRANSPARENCY_TABLE_SIZE
#define TRANSPARENCY_TABLE_SIZE 16384
#endif

enum // collection_header flags (run time)
{
	_collection_header_initialized_bit,
	NUMBER_OF_COLLECTION_HEADER_FLAGS,

	_collection_header_initialized_flag = FLAG(_collection_header_initialized_bit)
};

enum // collection_header user_data_flags
{
	_collection_can_be_used_for_textures_bit,
	_collection_can_be_used_for_monsters_bit,
	_collection_can_be_used_for_projectiles_bit,
	_collection_can_be_used_for_scenery_bit,
	_collection_can_be_used_for_atmospheric_effect_bit,
	_collection_can_be_used_for_interface_bit,
	_collection_can_be_used_for_unknown3_bit,
	_collection_can_be_used_for_unknown4_bit,
	_collection_is_color_map_bit,
	NUMBER_OF_COLLECTION_USER_DATA_FLAGS,

	_collection_can_be_used_for_textures_flag = FLAG(_collection_can_be_used_for_textures_bit),
	_collection_can_be_used_for_monsters_flag = FLAG(_collection_can_be_used_for_monsters_bit),
	_collection_can_be_used_for_projectiles_flag = FLAG(_collection_can_be_used_for_projectiles_bit),
	_collection_can_be_used_for_scenery_flag = FLAG(_collection_can_be_used_for_scenery_bit),
	_collection_can_be_used_for_atmospheric_effect_flag = FLAG(_collection_can_be_used_for_atmospheric_effect_bit),
	_collection_can_be_used_for_interface_flag = FLAG(_collection_can_be_used_for_interface_bit),
	_collection_can_be_used_for_unknown3_flag = FLAG(_collection_can_be_used_for_unknown3_bit),
	_collection_can_be_used_for_unknown4_flag = FLAG(_collection_can_be_used_for_unknown4_bit),
	_collection_is_color_map_flag = FLAG(_collection_is_color_map_bit)
};

enum // bitmap_instance_data flags
{
	_bitmap_instance_mirror_horizontal_bit,
	_bitmap_instance_mirror_vertical_bit,
	_bitmap_instance_transparent_bit,
	_bitmap_instance_keypoint_obscured_bit,
	_bitmap_instance_texture_bit,
	_bitmap_instance_highres_bit,
	NUMBER_OF_BITMAP_INSTANCE_FLAGS,

	_bitmap_instance_mirror_horizontal_flag = FLAG(_bitmap_instance_mirror_horizontal_bit),
	_bitmap_instance_mirror_vertical_flag = FLAG(_bitmap_instance_mirror_vertical_bit),
	_bitmap_instance_transparent_flag = FLAG(_bitmap_instance_transparent_bit),
	_bitmap_instance_keypoint_obscured_flag = FLAG(_bitmap_instance_keypoint_obscured_bit),
	_bitmap_instance_texture_flag = FLAG(_bitmap_instance_texture_bit),
	_bitmap_instance_highres_flag = FLAG(_bitmap_instance_highres_bit)
};

enum // sequence_data flags
{
	_sequence_uses_mirroring_bit,
	_sequence_has_frame_data_bit,
	_sequence_has_no_rotation_bit,
	NUMBER_OF_SEQUENCE_FLAGS,

	_sequence_uses_mirroring_flag = FLAG(_sequence_uses_mirroring_bit),
	_sequence_has_frame_data_flag = FLAG(_sequence_has_frame_data_bit),
	_sequence_has_no_rotation_flag = FLAG(_sequence_has_no_rotation_bit)
};

enum // count_sequence_bitmaps modes
{
	_count_sequence_bitmaps,
	_count_sequence_frames,
	_count_sequence_views,
	NUMBER_OF_COUNT_SEQUENCE_MODES
};

enum // add_shading_table_to_collection_index modes
{
	_add_shading_table_for_lighting,
	_add_shading_table_for_tinting
};

enum // transparency tables
{
	_transparency_normal,
	_transparency_overlay,
	NUMBER_OF_TRANSPARENCY_MODES
};

/* ---------- stored records (big-endian in the tag) */

// Every address slot is 0 on disk and never read: the native pointers live
// in the collection's side record.
struct collection_header
{
	uint32 flags;
	uint32 user_data_flags;
	int16 unused1[28];

	int32 color_table_count, color_tables_offset, color_tables_size;
	uint32 color_tables;
	int32 hue_change_count, hue_changes_offset, hue_changes_size;
	uint32 hue_changes;
	int32 bitmap_count, bitmap_references_offset, bitmap_references_size;
	uint32 bitmap_references;
	int32 bitmap_instance_count, bitmap_instances_offset, bitmap_instances_size;
	uint32 bitmap_instances;
	int32 sequence_count, sequence_references_offset, sequence_references_size;
	uint32 sequence_references;
	int32 shadow_map_count, shadow_maps_offset, shadow_maps_size;
	uint32 shadow_maps;
	int32 blend_table_count, blend_table_offset, blend_table_size;
	uint32 blend_table;
	int32 remapping_table_count, remapping_table_offset, remapping_table_size;
	uint32 remapping_table;

	int32 shading_table_count; // run time, not swapped
	uint32 shading_table_pointers; // run time, not swapped
	int16 unused3[24];

	int32 data_offset; // of the data block in the tag's data
	int32 data_size;
	int32 data_delta;
	uint32 data;
	int16 unused2[20];
	uint8 extractor_data[16];
};
STORED_SIZE(collection_header, 320);
static_assert(offsetof(collection_header, color_table_count) == 64 &&
	offsetof(collection_header, remapping_table_count) == 176 && offsetof(collection_header, shading_table_count) == 192 &&
	offsetof(collection_header, data_offset) == 248 && offsetof(collection_header, data) == 260 &&
	offsetof(collection_header, extractor_data) == 304);

// The eight sections in header order.
enum
{
	_collection_section_color_tables,
	_collection_section_hue_changes,
	_collection_section_bitmap_references,
	_collection_section_bitmap_instances,
	_collection_section_sequence_references,
	_collection_section_shadow_maps,
	_collection_section_blend_table,
	_collection_section_remapping_table,
	NUMBER_OF_COLLECTION_SECTIONS
};

#define COLLECTION_SECTION(section) (64 + 16 * (section)) // byte offset of its count in the header

inline constexpr byte_swap_code collection_header_byte_swapping_data[] =
{
	_begin_bs_array, 1,
	_4byte, _4byte, 56,
	_begin_bs_array, NUMBER_OF_COLLECTION_SECTIONS, _4byte, _4byte, _4byte, 4, _end_bs_array,
	56,
	_4byte, _4byte, _4byte,
	4, 40, 16,
	_end_bs_array
};
static_assert(get_byte_swap_struct_size(collection_header_byte_swapping_data) == sizeof(collection_header));

struct sequence_reference
{
	char name[COLLECTION_NAME_LENGTH];
	int32 offset; // of the sequence in the data block
	int32 size;
	uint32 sequence;
	int16 unused[18];
	uint8 extractor_data[16];
};
STORED_SIZE(sequence_reference, 128);

inline constexpr byte_swap_code sequence_reference_byte_swapping_data[] =
{
	_begin_bs_array, 1,
	COLLECTION_NAME_LENGTH, _4byte, _4byte, 4, 36, 16,
	_end_bs_array
};
static_assert(get_byte_swap_struct_size(sequence_reference_byte_swapping_data) == sizeof(sequence_reference));

#define MAXIMUM_NUMBER_OF_SHADED_BITMAP_REFERENCES 6

struct bitmap_reference
{
	char name[COLLECTION_NAME_LENGTH];
	int32 offset; // of the stored bitmap in the data block
	int32 size;
	uint32 bitmap;
	int16 width, height;

	// Run time, not swapped; set at load.
	int16 shaded_hardware_addresses[MAXIMUM_NUMBER_OF_SHADED_BITMAP_REFERENCES];
	int16 dirty;
	int16 disk_cache_index;
	uint32 base_address;
	uint32 hardware_format;
	uint32 hardware_address;
	int16 hardware_texture_cache_index;
	int16 pad;

	uint8 extractor_data[16];
};
STORED_SIZE(bitmap_reference, 128);
static_assert(offsetof(bitmap_reference, shaded_hardware_addresses) == 80 &&
	offsetof(bitmap_reference, extractor_data) == 112);

inline constexpr byte_swap_code bitmap_reference_byte_swapping_data[] =
{
	_begin_bs_array, 1,
	COLLECTION_NAME_LENGTH, _4byte, _4byte, 4, _2byte, _2byte, 32, 16,
	_end_bs_array
};
static_assert(get_byte_swap_struct_size(bitmap_reference_byte_swapping_data) == sizeof(bitmap_reference));

struct bitmap_instance_data
{
	uint32 flags;
	fixed_fraction minimum_light_intensity;
	fixed_fraction maximum_light_intensity;
	fixed_fraction transparency;
	int16 lowres_bitmap_index; // run time: bitmap_index as first built
	point2d registration_point;
	short_world_distance world_top, world_left, world_right, world_bottom;
	point2d key_point;
	int16 bitmap_index;
	int16 highres_bitmap_index; // NONE for none
	fixed highres_pixels_to_world;
	point2d highres_registration_point;
	int16 unused2[4];
	uint8 extractor_data[16];
};
STORED_SIZE(bitmap_instance_data, 64);

inline constexpr byte_swap_code bitmap_instance_byte_swapping_data[] =
{
	_begin_bs_array, 1,
	_4byte, _2byte, _2byte, _2byte, 2, // flags, light intensities, transparency; lowres index is run time
	_2byte, _2byte, // registration point
	_2byte, _2byte, _2byte, _2byte, // world bounds
	_2byte, _2byte, // key point
	_2byte, _2byte, _4byte, _2byte, _2byte, // bitmap indexes, high-resolution scale and point
	_2byte, _2byte, _2byte, _2byte, 16,
	_end_bs_array
};
static_assert(get_byte_swap_struct_size(bitmap_instance_byte_swapping_data) == sizeof(bitmap_instance_data));

struct fixed_bitmap_coordinate2d
{
	fixed x, y;
};

enum // shadow map flags
{
	_shadow_is_light_map_bit,
	_shadow_is_light_map_flag = FLAG(_shadow_is_light_map_bit)
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

inline constexpr byte_swap_code shadow_map_byte_swapping_data[] =
{
	_begin_bs_array, 1,
	_4byte, _4byte, _4byte, _2byte, 2, 16,
	_end_bs_array
};
static_assert(get_byte_swap_struct_size(shadow_map_byte_swapping_data) == sizeof(shadow_map_data));

struct sequence_data
{
	uint32 flags;
	fixed pixels_to_world;
	int16 number_of_views;
	int16 frames_per_view;
	int16 ticks_per_frame;
	int16 key_frame;
	int16 loop_frame;
	int16 sound_indexes[NUMBER_OF_SEQUENCE_SOUNDS]; // run time: resolved from the tags
	file_tag sound_tags[NUMBER_OF_SEQUENCE_SOUNDS]; // first frame, key frame, last frame
	int16 transfer_mode;
	int16 transfer_period;
	fixed radius;
	fixed height0;
	fixed height1;
	short_world_distance world_radius; // derived
	short_world_distance world_height0;
	short_world_distance world_height1;
	int16 unused[3];
};
STORED_SIZE(sequence_data, 64);

inline constexpr byte_swap_code sequence_data_byte_swapping_data[] =
{
	_begin_bs_array, 1,
	_4byte, _4byte,
	_2byte, _2byte, _2byte, _2byte, _2byte,
	6, // sound indexes: run time
	_4byte, _4byte, _4byte,
	_2byte, _2byte,
	_4byte, _4byte, _4byte,
	_2byte, _2byte, _2byte, 6,
	_end_bs_array
};
static_assert(get_byte_swap_struct_size(sequence_data_byte_swapping_data) == sizeof(sequence_data));

// Followed by one bitmap-instance index (i16) per view.
struct sequence_frame_data
{
	int16 shadow_map_index;
	short_world_point3d key_point; // derived
	int16 unused[19];
};
STORED_SIZE(sequence_frame_data, 46);

inline constexpr byte_swap_code sequence_frame_byte_swapping_data[] =
{
	_begin_bs_array, 1,
	_2byte, _2byte, _2byte, _2byte, 38,
	_end_bs_array
};
static_assert(get_byte_swap_struct_size(sequence_frame_byte_swapping_data) == sizeof(sequence_frame_data));

// Bytes of a sequence with frames frames of views views.
#define SEQUENCE_FRAME_SIZE(views) (static_cast<int64>(sizeof(sequence_frame_data)) + 2 * static_cast<int64>(views))

/* ---------- module state */

struct shapes_globals_data
{
	int16 bit_depth;
	int16 encoding;
	int16 shading_bits;
	int16 shading_tables; // levels of a lighting table
	int32 shading_table_size; // one level
	int32 lighting_shading_tables_size;
	int32 tinting_shading_tables_size;
	uint8 *transparency_tables; // two tables of TRANSPARENCY_TABLE_SIZE
	boolean initialized;
	boolean highres_active;
};

// NULL before initialize_shapes.
shapes_globals_data *get_shapes_globals(void);
definition_globals *get_collection_definitions(void);

/* ---------- life cycle */

void initialize_shapes(void);
void initialize_shapes_for_new_map(boolean is_main_menu);
void dispose_shapes_from_old_map(void);

/* ---------- loading (definition hooks; public for the preload path and tests) */

boolean postprocess_collection_header(definition_globals *definitions, int16 definition_index, int32 tag_handle,
	void *header);
boolean load_collection_header_data(int32 tag_handle, collection_header *header, boolean readahead);
boolean collection_header_version_convert(definition_globals *definitions, int32 tag_handle, int16 stored_version,
	const void *stored_definition, void *definition);
// Both run on the first lookup; FALSE when the collection is not loaded.
boolean build_collection_pointers(int16 collection_index);
void build_redundant_collection_data(int16 collection_index);

/* ---------- collections */

// NONE when absent or refused.
int16 get_collection_index(file_tag collection_tag);
// As get_collection_index, but NONE without loading when no such tag exists.
int16 try_and_get_collection_index(file_tag collection_tag);
void delete_collection(int16 collection_index);
const char *get_collection_name(int16 collection_index);
int16 get_collection_bitmap_count(int16 collection_index);
int16 get_collection_sequence_count(int16 collection_index);
color_table *get_color_table(int16 collection_index, int16 color_table_index);

// The built header, NULL for a collection that is not loaded.
collection_header *get_collection_header(int16 collection_index);
// The first hue changes (at most MAXIMUM_HUE_CHANGES_PER_COLLECTION) and their count.
hue_change *get_collection_hue_changes(int16 collection_index, int16 *count);
// The collection's MAXIMUM_SHADING_TABLES_PER_COLLECTION table slots; the
// header's shading_table_count says how many are filled.
void **get_collection_shading_table_pointers(int16 collection_index);

/* ---------- bitmaps */

bitmap_data *get_bitmap(int16 collection_index, int16 bitmap_index);
void preload_bitmap(int16 collection_index, int16 bitmap_index, boolean readahead, boolean *had_to_purge);
bitmap_reference *get_bitmap_reference(int16 collection_index, int16 bitmap_index);
bitmap_instance_data *get_bitmap_instance(int16 collection_index, int16 bitmap_instance_index);
shadow_map_data *get_shadow_map(int16 collection_index, int16 shadow_map_index);

/* ---------- sequences */

sequence_reference *get_sequence_reference(int16 collection_index, int16 sequence_index);

// The sequence list of each built collection once asked, with its count (0: not
// kept). Kept while definitions_generation stays kept_sequence_lists_generation;
// a collection's list is dropped when its side data are freed.
struct kept_sequence_list
{
	sequence_data **sequences;
	int32 count;
};
extern kept_sequence_list kept_sequence_lists[MAXIMUM_COLLECTIONS_PER_MAP];
extern uint32 kept_sequence_lists_generation;
// get_sequence by the header's checks, keeping the list it finds.
sequence_data *get_sequence_checked(int16 collection_index, int16 sequence_index);

// Out of range falls back to sequence 0; NULL for a collection that is not
// loaded or has no sequences. Inline: every object animates every tick.
inline sequence_data *get_sequence(int16 collection_index, int16 sequence_index)
{
	if (kept_sequence_lists_generation == definitions_generation &&
		static_cast<uint16>(collection_index) < MAXIMUM_COLLECTIONS_PER_MAP)
	{
		const kept_sequence_list &list = kept_sequence_lists[collection_index];
		if (list.count > 0)
		{
			const int32 index = sequence_index;
			return list.sequences[index >= 0 && index < list.count ? index : 0];
		}
	}
	return get_sequence_checked(collection_index, sequence_index);
}
const char *get_sequence_name(int16 collection_index, int16 sequence_index);
// Frame 0 outside [0, frames_per_view); NULL when the sequence has no frames.
sequence_frame_data *get_sequence_frame(sequence_data *sequence, int16 collection_index, int16 sequence_index,
	int16 frame_index);
// View NONE numbers every bitmap of the sequence. NONE when there is none.
int16 get_sequence_bitmap_index(int16 collection_index, int16 sequence_index, int16 view, int16 bitmap_index,
	point2d *registration_point, point2d *key_point);
bitmap_data *get_sequence_bitmap(int16 collection_index, int16 sequence_index, int16 view, int16 bitmap_index,
	point2d *registration_point, point2d *key_point);
int32 count_sequence_bitmaps(int16 collection_index, int16 sequence_index, int16 mode);
boolean verify_sequence_index(int16 collection_index, int16 sequence_index);
boolean verify_bitmap_index(int16 collection_index, int16 bitmap_index);
void preload_sequence_index(int16 collection_index, int16 sequence_index, boolean *had_to_purge);
void equalize_sequence_collision_rectangles(int16 collection_index, int16 primary_sequence_index,
	int16 secondary_sequence_index);
// Names compare with ASCII case folding; NONE when none matches.
int16 get_named_bitmap_index(int16 collection_index, const char *name);
int16 get_named_sequence_index(int16 collection_index, const char *name);
void get_rgb_color_from_sequence(int16 collection_index, int16 sequence_index, int16 color_index, rgb_color *color);

/* ---------- tables and other calls */

void *get_transparency_table(int16 transparency_mode);
void *get_blend_table(int16 collection_index);
void *get_remapping_table(int16 collection_index);
int16 get_shapes_encoding(void);
uint8 *get_submesh_bitmap_base_address(int16 collection_index, int16 bitmap_index, boolean write_enable);
// The record get_submesh_bitmap_base_address reads the address from (NULL: none),
// not marked changed. Bitmap records move or go only when a collection's side
// data are built or freed, which bumps collection_side_data_generation: a record
// found stays the answer while it and definitions_generation stay as they were.
bitmap_data *get_submesh_bitmap(int16 collection_index, int16 bitmap_index);
extern uint32 collection_side_data_generation;
void toggle_highres_sprites(void);
void *get_shapes_bitmap_cache(void);
void *get_shapes_submesh_cache(void);
void preload_submesh_cache(void);
void debug_shapes_memory_usage(file_tag mesh_tag);
// Writes the bitmap into its place in the collection's tag.
boolean write_bitmap_to_collection(int16 collection_index, int16 bitmap_index, const bitmap_data *bitmap);
// Writes the (empty) list of preloaded bitmaps into the map's 'prel' tag.
void report_preloaded_bitmaps(file_tag mesh_tag, file_tag preload_tag);

/* ---------- test hooks */

typedef int16 (*resolve_sequence_sound_proc)(file_tag sound_tag);

struct shapes_test_hooks_data
{
	least_call_log calls;

	// When set, shading tables take this pixel format whatever the rasterizer.
	boolean force_pixel_format;
	int16 forced_bit_depth, forced_encoding;
	// Resolves a sequence's sound tag (NONE: not loaded); without it every
	// sound tag is missing.
	resolve_sequence_sound_proc resolve_sequence_sound;
};

shapes_test_hooks_data *get_shapes_test_hooks(void);
void reset_shapes_test_hooks(void);

#include "collection_references.h"

#endif
