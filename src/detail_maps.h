// Detail maps ('dmap') and detail textures ('dtex') that overlay the terrain
// with the hardware rasterizers, and the switch that turns them on and off.
// Drawing only: nothing here is simulation state.
#ifndef DETAIL_MAPS_H
#define DETAIL_MAPS_H

#include "cseries.h"
#include "byte_swapping.h"

struct definition_globals;

#define DETAIL_MAP_DEFINITION_GROUP_TAG TAG("dmap")
#define DETAIL_TEXTURE_DEFINITION_GROUP_TAG TAG("dtex")

#define DETAIL_MAP_DEFINITION_VERSION_NUMBER 2
#define DETAIL_TEXTURE_DEFINITION_VERSION_NUMBER 1
#define MAXIMUM_DETAIL_MAP_DEFINITIONS_PER_MAP 1
#define MAXIMUM_DETAIL_TEXTURE_DEFINITIONS_PER_MAP 128
#define NUMBER_OF_DETAIL_MAP_ENTRIES 128
// The largest mesh, in cells.
#define MAXIMUM_DETAIL_MAP_SIDE 256
// The stored byte count of a 'dtex' tag, then its image stream.
#define DETAIL_TEXTURE_STREAM_LENGTH_OFFSET 16
#define DETAIL_TEXTURE_STREAM_OFFSET 20

/* ---------- stored records */

struct detail_map_definition
{
	uint32 width, height; // vertices across and down: the mesh's cells
	uint32 v_indices_offset;
	uint32 v_indices; // slot
	uint32 t_indices_offset;
	uint32 t_indices; // slot
	uint32 entries_offset;
	uint32 entries; // slot
	uint8 unused[224];
};
STORED_SIZE(detail_map_definition, 256);

inline constexpr byte_swap_code detail_map_definition_bs_data[] =
{
	_begin_bs_array, 1,
	_4byte, _4byte, _4byte, _4byte, _4byte, _4byte, _4byte, _4byte, 224,
	_end_bs_array
};
static_assert(get_byte_swap_struct_size(detail_map_definition_bs_data) == sizeof(detail_map_definition));

struct detail_map_entry
{
	file_tag dtex_id; // NONE: empty
	uint8 pixels_per_cell;
	uint8 r, g, b;
	uint8 unused[24];
	char name[32];
};
STORED_SIZE(detail_map_entry, 64);

inline constexpr byte_swap_code detail_map_entry_bs_data[] =
{
	_begin_bs_array, 1,
	_4byte, 60,
	_end_bs_array
};
static_assert(get_byte_swap_struct_size(detail_map_entry_bs_data) == sizeof(detail_map_entry));

struct detail_texture_definition
{
	uint32 width, height;
	uint32 pixels24; // slot: the pixels live in the module (detail_texture_pixels24)
	uint32 hardware_format; // the back end's texture handle; 0 for none
};
STORED_SIZE(detail_texture_definition, 16);

inline constexpr byte_swap_code detail_texture_definition_bs_data[] =
{
	_begin_bs_array, 1,
	_4byte, _4byte, 8,
	_end_bs_array
};
static_assert(get_byte_swap_struct_size(detail_texture_definition_bs_data) == sizeof(detail_texture_definition));

// The two triangles' layer words of one cell.
struct mesh_cell_detail_info
{
	uint32 triangle_info[2];
};
STORED_SIZE(mesh_cell_detail_info, 8);

/* ---------- state the renderer reads */

// Two words per cell, row after row, detail_map_layer_row_cells cells a row; NULL and 0 without one.
extern const uint32 *detail_map_layer_info;
extern int32 detail_map_layer_row_cells;
// Per entry: the back end's texture handle (0 none) and the texture's scales.
extern uint32 hardware_format_detail_textures[NUMBER_OF_DETAIL_MAP_ENTRIES];
extern float detail_texture_scales[NUMBER_OF_DETAIL_MAP_ENTRIES][2];

/* ---------- life cycle */

void initialize_detail_textures(void);
void initialize_detail_maps(void);
void initialize_detail_textures_for_new_map(void);
void initialize_detail_maps_for_new_map(void);
void dispose_detail_textures_from_old_map(void);
void dispose_detail_maps_from_old_map(void);
// Frees the layer words, clears the texture handles and turns detail mapping off.
void dispose_detail_map_data(void);

// True only with an OpenGL-class rasterizer and landscape textures chosen.
boolean detail_maps_enabled(void);
// Whether the groups were set up for the map now loaded, so their dispose must run.
boolean detail_maps_set_up(void);
boolean detail_maps_active(void);
// Turns detail mapping off, or on only when layer words exist.
void toggle_detail_maps(void);

/* ---------- loading */

definition_globals *get_detail_map_definitions(void);
definition_globals *get_detail_texture_definitions(void);
// Loads the detail map stored under the landscape collection's tag; NONE when it fails.
int16 detail_map_definition_tag_to_index(file_tag subgroup_tag);
const detail_map_definition *get_detail_map_definition(int16 definition_index);

boolean postprocess_detail_maps(definition_globals *definitions, int16 definition_index, int32 tag_handle,
	void *definition);
boolean postprocess_detail_texture_definition(definition_globals *definitions, int16 definition_index,
	int32 tag_handle, void *definition);
void detail_maps_dependencies(void *definition, void (*report)(file_tag, file_tag, int16 *));

// Folds entries with the same texture and pixels per cell, drops unused ones
// (entry 0, "none", stays) and rewrites the indexes.
void postprocess_detail_map(detail_map_entry *entries, uint8 *v_indices, int32 v_count, uint8 *t_indices,
	int32 t_count);
// The number of textures loaded, or NONE when one is missing.
int32 load_detail_map_detail_textures(int32 tag_handle, const detail_map_entry *entries);
// The blend word of a triangle's three vertex indexes.
uint32 make_tdl(uint32 a, uint32 b, uint32 c);
// Layer words for a width x height map from its vertex and triangle indexes.
void build_detail_map_layer_words(mesh_cell_detail_info *cells, int32 width, int32 height, const uint8 *v_indices,
	const uint8 *t_indices);

// The decoded pixels while create_detail_texture_hardware runs for it; NULL otherwise.
const uint8 *detail_texture_pixels24(const detail_texture_definition *definition);

/* ---------- tests */

// Entries left by the last compaction (entry 0 included): every layer word's indexes lie below it.
int32 detail_map_compacted_entry_count(void);

// Points the renderer's view at the given words and sets the switch.
void set_detail_map_layer_info_for_tests(const uint32 *words, int32 row_cells, boolean active);
// The layer words' allocation fails while set.
void set_detail_map_layer_allocation_refused_for_tests(boolean refused);
// Frees everything and turns detail mapping off.
void reset_detail_maps_test_hooks(void);

#endif
