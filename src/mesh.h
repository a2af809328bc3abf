// The terrain mesh: the map's 'mesh' tag with its 1024-byte header and data
// block (cells, marker palette, markers, map actions, media coverage, LOD data
// and saved connectors), and every query on the loaded cells.
#ifndef MESH_H
#define MESH_H

#include <cstddef>

#include "cseries.h"
#include "bitmaps.h"
#include "world_units.h"
#include "media.h"
#include "definitions.h"

struct marker_data;
struct marker_palette_entry;
struct view_data;
struct mesh_region;
struct zerv_digest;

/* ---------- constants */

#define MESH_DEFINITION_GROUP_TAG TAG("mesh")
#define MESH_VERSION_NUMBER 11
#define MINIMUM_CONVERTIBLE_MESH_VERSION 5
#define MAXIMUM_MESH_DEFINITIONS_PER_MAP 1
#define SUBMESH_WIDTH 32
#define MAXIMUM_SUBMESH_WIDTH 8
#define MAXIMUM_SUBMESH_HEIGHT 8
#define MESH_HEADER_EDITOR_DATA_SIZE 16
#define NUMBER_OF_NEXT_MESH_TAGS 2
#define NUMBER_OF_CUTSCENE_MOVIE_TAGS 3
#define NUMBER_OF_STORYLINE_STRING_TAGS 4
#define NUMBER_OF_SCREEN_COLLECTION_TAGS 3
#define MESH_CUTSCENE_NAMES_SIZE 192
#define MESH_CUTSCENE_NAME_SIZE 64
#define MESH_PLUGIN_NAME_SIZE 32

// Limits of the data block's sections.
#define MAXIMUM_MESH_MARKER_COUNT 32767
#define MAXIMUM_MESH_MAP_ACTION_COUNT 1024
#define MAXIMUM_MESH_MAP_ACTION_BUFFER_SIZE (64 * 1024 + 98304) // the records and a full parameter area
#define MAXIMUM_SAVED_CONNECTOR_IDENTIFIERS 31

// Terrain texture pixels per cell (world >> 6) and per submesh map.
#define MESH_TEXELS_PER_CELL 8
#define SUBMESH_TEXTURE_SIZE 256

// Header flags, bits 16-31 (bits 0-15 are the scoring types the map offers).
enum
{
	_mesh_is_single_player_entry_point_bit = 16,
	_mesh_supports_unit_trading_bit,
	_mesh_supports_veterans_bit,
	_mesh_has_limited_terrain_visibility_bit,
	_mesh_is_complete_bit,
	_mesh_can_be_used_by_demo_bit,
	_mesh_leaves_overhead_map_closed_bit,
	_mesh_is_training_map_bit,
	_mesh_can_catch_fire_bit,
	_mesh_is_indoor_map_bit,
	_mesh_has_terrain_following_camera_bit,
	_mesh_overhead_map_doesnt_scroll_bit,
	_mesh_models_dont_limit_rendering_bit,
	_mesh_uses_anticlump_bit,
	_mesh_uses_vqel_bit,
	_mesh_requires_plugin_bit,
	NUMBER_OF_MESH_HEADER_FLAGS // 32
};

enum : uint32
{
	_mesh_is_single_player_entry_point_flag = FLAG(_mesh_is_single_player_entry_point_bit),
	_mesh_supports_unit_trading_flag = FLAG(_mesh_supports_unit_trading_bit),
	_mesh_supports_veterans_flag = FLAG(_mesh_supports_veterans_bit),
	_mesh_has_limited_terrain_visibility_flag = FLAG(_mesh_has_limited_terrain_visibility_bit),
	_mesh_is_complete_flag = FLAG(_mesh_is_complete_bit),
	_mesh_can_be_used_by_demo_flag = FLAG(_mesh_can_be_used_by_demo_bit),
	_mesh_leaves_overhead_map_closed_flag = FLAG(_mesh_leaves_overhead_map_closed_bit),
	_mesh_is_training_map_flag = FLAG(_mesh_is_training_map_bit),
	_mesh_can_catch_fire_flag = FLAG(_mesh_can_catch_fire_bit),
	_mesh_is_indoor_map_flag = FLAG(_mesh_is_indoor_map_bit),
	_mesh_has_terrain_following_camera_flag = FLAG(_mesh_has_terrain_following_camera_bit),
	_mesh_overhead_map_doesnt_scroll_flag = FLAG(_mesh_overhead_map_doesnt_scroll_bit),
	_mesh_models_dont_limit_rendering_flag = FLAG(_mesh_models_dont_limit_rendering_bit),
	_mesh_uses_anticlump_flag = FLAG(_mesh_uses_anticlump_bit),
	_mesh_uses_vqel_flag = FLAG(_mesh_uses_vqel_bit),
	_mesh_requires_plugin_flag = FLAG(_mesh_requires_plugin_bit)
};

// The scoring types a map offers are bits 0-15 of its flags.
#define MESH_SCORING_FLAGS_MASK 0xFFFFu

enum
{
	_mesh_extra_is_last_level_of_scenario_bit,
	NUMBER_OF_MESH_EXTRA_FLAGS,

	_mesh_extra_is_last_level_of_scenario_flag = FLAG(_mesh_extra_is_last_level_of_scenario_bit)
};

/* ---------- the header */

// 1024 bytes, big-endian in the tag. The slots are filled in memory only:
// 0 on disk, ignored on reading, never swapped; the addresses they stood for
// live in mesh_globals.
struct mesh_header
{
	file_tag landscape_collection_tag;
	file_tag media_tag;
	int16 submesh_width;
	int16 submesh_height;
	int32 mesh_offset;
	int32 mesh_size;
	uint32 mesh; // slot
	int32 data_offset;
	int32 data_size;
	uint32 data; // slot
	int32 marker_palette_entries;
	int32 marker_palette_offset;
	int32 marker_palette_size;
	uint32 marker_palette; // slot
	int32 marker_count;
	int32 markers_offset;
	int32 markers_size;
	uint32 markers; // slot
	file_tag mesh_lighting_tag;
	file_tag connector_tag;
	uint32 flags;
	file_tag particle_system_tag;
	int32 team_count;
	short_fixed dark_fraction;
	short_fixed light_fraction;
	rgb_color dark_color;
	rgb_color light_color;
	fixed transition_point;
	int16 ceiling_height;
	int16 unused1;
	rectangle2d edge_of_mesh_buffer_zones;
	file_tag global_ambient_sound_tag;
	int32 map_action_count;
	int32 map_actions_offset;
	int32 map_action_buffer_size;
	file_tag map_description_string_list_tag;
	file_tag postgame_collection_tag;
	file_tag pregame_collection_tag;
	file_tag overhead_map_collection_tag;
	file_tag next_mesh_tags[NUMBER_OF_NEXT_MESH_TAGS];
	file_tag cutscene_movie_tags[NUMBER_OF_CUTSCENE_MOVIE_TAGS];
	file_tag storyline_string_tags[NUMBER_OF_STORYLINE_STRING_TAGS];
	int32 media_coverage_region_offset;
	int32 media_coverage_region_size;
	uint32 media_coverage_region; // slot
	int32 mesh_LOD_data_offset;
	int32 mesh_LOD_data_size;
	uint32 mesh_LOD_data; // slot
	rgb_color global_tint_color;
	short_fixed global_tint_fraction;
	int16 pad;
	file_tag wind_tag;
	file_tag screen_collection_tags[NUMBER_OF_SCREEN_COLLECTION_TAGS];
	rgb_color blood_color;
	file_tag picture_caption_string_list_tag;
	file_tag narration_sound_tag;
	file_tag win_ambient_sound_tag;
	file_tag loss_ambient_sound_tag;
	uint32 reverb_environment;
	float reverb_volume;
	float reverb_decay_time;
	float reverb_damping;
	int32 connector_count;
	int32 connectors_offset;
	int32 connectors_size;
	uint32 connectors; // slot
	char cutscene_names[MESH_CUTSCENE_NAMES_SIZE];
	file_tag hints_string_list_tag;
	rgb_color fog_color;
	float fog_density;
	file_tag difficulty_level_override_string_list_tag;
	file_tag team_names_override_string_list_tag; // 0 or NONE: none
	char plugin_name[MESH_PLUGIN_NAME_SIZE];
	uint32 extra_flags;
	uint8 unused[442];
	// Filled at load.
	int16 connector_type;
	int16 map_description_string_index;
	int16 overhead_map_collection_index;
	int16 landscape_collection_index;
	int16 global_ambient_sound_index;
	int16 media_type;
	int16 hints_string_list_index;
	uint8 editor_data[MESH_HEADER_EDITOR_DATA_SIZE];
};
STORED_SIZE(mesh_header, 1024);
static_assert(offsetof(mesh_header, team_count) == 84);
static_assert(offsetof(mesh_header, dark_color) == 92);
static_assert(offsetof(mesh_header, edge_of_mesh_buffer_zones) == 116);
static_assert(offsetof(mesh_header, next_mesh_tags) == 156);
static_assert(offsetof(mesh_header, media_coverage_region_offset) == 192);
static_assert(offsetof(mesh_header, wind_tag) == 228);
static_assert(offsetof(mesh_header, reverb_volume) == 272);
static_assert(offsetof(mesh_header, connectors) == 296);
static_assert(offsetof(mesh_header, cutscene_names) == 300);
static_assert(offsetof(mesh_header, hints_string_list_tag) == 492);
static_assert(offsetof(mesh_header, plugin_name) == 516);
static_assert(offsetof(mesh_header, extra_flags) == 548);
static_assert(offsetof(mesh_header, connector_type) == 994);
static_assert(offsetof(mesh_header, editor_data) == 1008);

extern const byte_swap_code mesh_header_bs_data[];

/* ---------- cells */

enum
{
	_mesh_vertex_is_media_bit = 8,
	_mesh_cell_was_or_is_on_fire_bit,
	_mesh_vertex_is_animated_media_bit,
	_mesh_cell_triangle0_is_media_bit,
	_mesh_cell_triangle1_is_media_bit,
	_mesh_cell_has_reflection_bit,
	_mesh_cell_is_not_rendered_bit,
	NUMBER_OF_MESH_FLAGS, // 15

	_mesh_vertex_is_media_flag = FLAG(_mesh_vertex_is_media_bit),
	_mesh_cell_was_or_is_on_fire_flag = FLAG(_mesh_cell_was_or_is_on_fire_bit),
	_mesh_vertex_is_animated_media_flag = FLAG(_mesh_vertex_is_animated_media_bit),
	_mesh_cell_triangle0_is_media_flag = FLAG(_mesh_cell_triangle0_is_media_bit),
	_mesh_cell_triangle1_is_media_flag = FLAG(_mesh_cell_triangle1_is_media_bit),
	_mesh_cell_has_reflection_flag = FLAG(_mesh_cell_has_reflection_bit),
	_mesh_cell_is_not_rendered_flag = FLAG(_mesh_cell_is_not_rendered_bit),

	_mesh_cell_triangle_media_flags = _mesh_cell_triangle0_is_media_flag | _mesh_cell_triangle1_is_media_flag
};

// Terrain types: bits 0-3 of a cell's flags for its second triangle, 4-7 for its first.
enum
{
	_terrain_media_dwarf_depth,
	_terrain_media_human_depth,
	_terrain_media_giant_depth,
	_terrain_media_deep,
	NUMBER_OF_MEDIA_TERRAIN_TYPES,

	_terrain_sloped = NUMBER_OF_MEDIA_TERRAIN_TYPES,
	_terrain_steep,
	_terrain_grass,
	_terrain_desert,
	_terrain_rocky,
	_terrain_marsh,
	_terrain_snow,
	_terrain_forest,
	_terrain_bog_special,
	_terrain_unused,
	_terrain_walking_impassable,
	_terrain_flying_impassable,
	NUMBER_OF_TERRAIN_TYPES
};

#define DEFAULT_TERRAIN_TYPE _terrain_grass

#define CELL_TERRAIN_MASK 255
#define CELL_TERRAIN_TYPE_BITS 4
#define CELL_TERRAIN_TYPE_MASK 15

// 12 bytes in the file and in memory. height and media_height belong to the
// cell's south-west vertex.
struct mesh_cell
{
	short_world_distance height;
	uint16 normal; // high byte: first triangle's precalculated normal, low byte: second's
	uint16 flags;
	int16 first_object_index; // not swapped; -1 at load
	short_world_distance media_height;
	int16 model_index; // not swapped; -1 at load
};
STORED_SIZE(mesh_cell, 12);

extern const byte_swap_code mesh_cell_bs_data[];

// 64 bytes: the marker identifiers of one saved connector.
struct saved_connector_data
{
	int16 identifiers[MAXIMUM_SAVED_CONNECTOR_IDENTIFIERS];
	int16 count;
};
STORED_SIZE(saved_connector_data, 64);

extern const byte_swap_code saved_connector_data_bs_data[];

/* ---------- queries: triangles, heights, normals, LOD */

// Triangle indexes of a cell (the table's rows): even cells 0 (v > u) and 1,
// odd cells 2 (v < 512 - u) and 3.
enum
{
	_even_cell_first_triangle,
	_even_cell_second_triangle,
	_odd_cell_first_triangle,
	_odd_cell_second_triangle,
	NUMBER_OF_MESH_TRIANGLE_INDEXES
};

// Seven grid directions (_direction_none for the cell itself) and a spare byte.
struct mesh_subdivision_direction_data
{
	uint8 origin, horizontal, vertical, right, left, right_vector, left_vector;
	uint8 unused;
};

extern const mesh_subdivision_direction_data mesh_subdivision_directions[NUMBER_OF_MESH_TRIANGLE_INDEXES];

enum
{
	_true_height,
	_land_height,
	_media_height,
	NUMBER_OF_MESH_HEIGHT_TYPES
};

#define NONRENDERED_CELL_HEIGHT (-4096)

#define NUMBER_OF_PRECALCULATED_NORMALS 256
#define PRECALCULATED_NORMAL_BITS 8
#define PRECALCULATED_NORMAL_MASK 255
#define FIRST_RING_ELEVATION 16416
#define RING_ELEVATION_SEPARATION 1092

// 16 bytes: a unit normal (16384 = 1.0), its yaw and its angle from the vertical.
struct precalculated_normal_data
{
	world_vector3d normal;
	int16 yaw;
	int16 elevation;
	int16 unused[3];
};
STORED_SIZE(precalculated_normal_data, 16);

// One 16-bit word per coarse cell of 2 x 2 cells.
#define LOD_DETAIL_BIT_START 0
#define LOD_VISIBLE_BIT_START 4
#define LOD_REFLECTION_BIT_START 8
#define LOD_DETAIL_BITS 0x000Fu
#define LOD_VISIBLE_BITS 0x00F0u
#define LOD_REFLECTION_BITS 0xFF00u
#define PARALLEL_SLOPE_CUTOFF 128

enum // coarse cell edges
{
	_LOD_south_edge_bit,
	_LOD_east_edge_bit,
	_LOD_north_edge_bit,
	_LOD_west_edge_bit,

	_LOD_south_edge_flag = FLAG(_LOD_south_edge_bit),
	_LOD_east_edge_flag = FLAG(_LOD_east_edge_bit),
	_LOD_north_edge_flag = FLAG(_LOD_north_edge_bit),
	_LOD_west_edge_flag = FLAG(_LOD_west_edge_bit)
};

// Called for each crossed cell (cell coordinates, possibly off the map); true stops the walk.
typedef boolean (*cell_obstruction_proc)(int32 cell_x, int32 cell_y, const world_point2d *p0, const world_point2d *p1);

/* ---------- module state */

struct mesh_globals_data
{
	// The loaded map; mesh_cells is NULL without one.
	int32 mesh_width, mesh_height; // cells
	int16 submesh_width, submesh_height;
	mesh_cell *mesh_cells;
	int32 cell_count;
	short_world_distance min_cell_height, max_cell_height;
	int16 time_until_building_effects;
	int16 surface_effect_local_projectile_group;
	precalculated_normal_data *precalculated_normals; // NUMBER_OF_PRECALCULATED_NORMALS

	file_tag mesh_tag;
	int16 mesh_definition_index;
	int16 media_type;
	int16 landscape_collection_index;
	mesh_header *header; // the loaded definition

	// The data block as read, and its sections decoded into their own arrays.
	uint8 *data;
	int32 data_size;
	marker_palette_entry *marker_palette;
	int32 marker_palette_count;
	marker_data *markers;
	int32 marker_count;
	uint16 *media_coverage_region;
	int32 media_coverage_region_size; // bytes
	int32 *media_coverage_row_starts; // word index of each texel row, NULL without coverage
	uint16 *mesh_LOD_data;
	int32 mesh_LOD_data_size; // bytes
	saved_connector_data *connectors;
	int32 connector_count;
	const uint8 *map_actions; // validated raw bytes inside data
	int32 map_action_count;
	int32 map_action_buffer_size;
};

// Allocated by initialize_mesh.
extern mesh_globals_data *mesh_globals;

/* ---------- life cycle and loading */

// Start-up: registers the 'mesh' definitions and builds the normal table.
void initialize_mesh(void);
boolean initialize_mesh_for_new_map(file_tag mesh_tag);
void dispose_mesh_from_old_map(void);

// Reads, byte-swaps and converts the header of a map without loading it;
// false when the tag cannot be opened or read, or is too short, too old or too new.
boolean read_mesh_header(file_tag subgroup, mesh_header *header);
// The preloader's hook: reads the map's data block ahead of the map load.
boolean load_mesh_header_data(file_tag subgroup, boolean readahead);

// Definition callbacks of the 'mesh' group.
void mesh_dependencies(void *definition, report_definition_dependency_proc report);
boolean postprocess_mesh_header(definition_globals *definitions, int16 definition_index, int32 tag_handle,
	void *definition);
boolean convert_mesh_header(definition_globals *definitions, int32 tag_handle, int16 old_version,
	const void *old_header, void *new_header);
definition_globals *get_mesh_definitions(void);

// Converts a host-order header of a stored version (5..11) to version 11 in
// place; false (header untouched) for other versions.
boolean convert_mesh_header_to_current_version(mesh_header *header, int16 version);

// Loads a map from a tag's data as it lies in the file (the big-endian header
// at offset 0, the data block at data_offset): converts, validates, decodes
// and precalculates everything that needs no other tag. The map stays loaded
// until dispose_mesh_from_old_map. Used by tests, the fuzz target and the
// benchmarks; the definition loader path does the same through the tag.
boolean load_mesh_from_tag_data(const void *tag_data, int32 tag_data_size, int16 version, const char *name);

// The loaded map's header, NULL without a map.
mesh_header *get_mesh_header(void);
boolean mesh_is_loaded(void);

// Whether a map with these header flags offers the game scoring type (the
// king of the hill variant shares its bit with king of the hill).
int16 mesh_scoring_flag_bit(int16 scoring);
boolean mesh_flags_offer_scoring(uint32 mesh_flags, int16 scoring);

// Writes the stained colour maps to "stained_maps" when that folder exists.
void save_color_map_to_file(void);
// Writes "Stained map- <time>.bmp" (" #2", " #3" ... when taken) into
// "stained_maps" from one 256 x 256 colour map per submesh, row by row.
boolean write_stained_color_map(int16 submesh_width, int16 submesh_height, const uint8 *const *color_maps,
	const color_table *colors);

// Folds every cell's simulation fields and the height bounds into the state digest.
void fold_mesh_digest(zerv_digest *digest);

/* ---------- writing a map (src/mesh_writer.cpp: the generator, tests, fuzz seeds) */

// A map's contents in host order. The header's counts, offsets and sizes are
// filled by the writer; everything else in it is written as given.
struct mesh_tag_contents
{
	mesh_header header;
	const mesh_cell *cells; // submesh_width x submesh_height x 32 x 32, row by row
	const marker_palette_entry *palette;
	int32 palette_count;
	const marker_data *markers;
	int32 marker_count;
	const uint16 *media_coverage_region;
	int32 media_coverage_region_words;
	const uint16 *LOD_data;
	int32 LOD_data_words;
	const saved_connector_data *connectors;
	int32 connector_count;
	const uint8 *map_actions; // the section as stored (already big-endian)
	int32 map_action_count;
	int32 map_action_buffer_size;
};

// The tag's data as stored: the big-endian header at 0 and the data block
// right after it. The caller frees the result with dispose_pointer; NULL
// when it cannot be allocated or the contents do not fit.
uint8 *build_mesh_tag_data(const mesh_tag_contents *contents, int32 *size);

// A header with every optional reference unset (NONE) and version-11 defaults.
void initialize_mesh_header(mesh_header *header, int16 submesh_width, int16 submesh_height);

// The coverage rows of a map whose media lies on whole triangles: per texel
// row the columns where media toggles, each row ended by width x 8. Returns
// the words written, or -1 when maximum_words is too small.
int32 build_media_coverage_from_cells(const mesh_cell *cells, int32 width, int32 height, uint16 *words,
	int32 maximum_words);

/* ---------- queries (src/mesh_queries.cpp) */

// Any (x, y), and while no map is loaded; get_mesh_cell's slow path.
mesh_cell *get_mesh_cell_anywhere(int32 x, int32 y);
// The cell at (x, y); a position off the grid maps into it by the fixed rule.
// Inline for the common in-grid case: movement asks for cells all the time.
inline mesh_cell *get_mesh_cell(int32 x, int32 y)
{
	const mesh_globals_data *globals = mesh_globals;
	if (globals && globals->mesh_cells && x >= 0 && x < globals->mesh_width && y >= 0 && y < globals->mesh_height)
	{
		return &globals->mesh_cells[y * globals->mesh_width + x];
	}
	return get_mesh_cell_anywhere(x, y);
}
// The flat index get_mesh_cell uses (always inside the cell array).
int32 get_mesh_cell_index(int32 x, int32 y);
int16 get_mesh_triangle_index(world_distance x, world_distance y);
short_world_distance get_mesh_height(const world_point2d *p, int16 height_type);
short_world_distance interpolate_triangle_height(world_distance x, world_distance y, int16 t, int32 o, int32 h,
	int32 v_height);
int16 get_mesh_terrain_type(const world_point2d *p);
boolean get_mesh_reflectivity(const world_point2d *p);
const world_vector3d *get_mesh_normal(const world_point2d *p);
// The second triangle's normal when which is 0, the first's otherwise.
const world_vector3d *get_cell_triangle_normal(const mesh_cell *cell, int16 which);
const precalculated_normal_data *get_precalculated_normal(int16 index);
boolean obstruction_in_cells_crossed_by_segment(const world_point2d *p0, const world_point2d *p1,
	cell_obstruction_proc obstruction_check);

// Rectangles are half-open (x0 <= x < x1).
void precalculate_mesh_flags(int32 x0, int32 y0, int32 x1, int32 y1);
void precalculate_mesh_normals(int32 x0, int32 y0, int32 x1, int32 y1);
void precalculate_cell_normals(int32 x, int32 y);
void postprocess_mesh(int32 x0, int32 y0, int32 x1, int32 y1);
void reset_mesh_terrain_types(int32 x0, int32 y0, int32 x1, int32 y1);
// These take any two corners.
void make_cell_region_high_LOD(int32 x0, int32 y0, int32 x1, int32 y1);
void recalculate_LOD_for_cell_region(int32 x0, int32 y0, int32 x1, int32 y1);
void eliminate_cracks_for_coarse_cell(int32 x, int32 y, uint16 *LOD_data, int32 LOD_width, int32 LOD_data_size);
// The normal table of initialize_mesh, built into normals (256 entries).
void build_precalculated_normal_table(precalculated_normal_data *normals);

// Terrain maps: colour map 2n and shadow map 2n + 1 of the landscape collection.
uint8 *get_submesh_color_map_base_address(int16 submesh, boolean write_enable);
uint8 *get_submesh_shadow_map_base_address(int16 submesh, boolean write_enable);
// Texel coordinates (world >> 6); 0 off the map or without the bitmap.
uint8 get_mesh_color_map_pixel(int32 x, int32 y);
uint8 get_mesh_shadow_map_pixel(int32 x, int32 y);
void *get_color_map_shading_table(void);
void *get_color_map_blend_table(void);
// NONE for a slot outside 0..15 or without media.
int16 get_mesh_media_projectile_group_type(int16 slot);
// Whether texel (x, y) lies under media by the map's coverage rows: an odd
// number of toggles strictly below x. False off the map or without coverage.
// The renderer's mesh_texture_pixel_is_media answers the same.
boolean mesh_coverage_texel_is_media(int32 x, int32 y);

// Stamps a sprite into the terrain maps; stain_mesh draws from the
// synchronised stream, the others from the local one.
void stain_mesh(int16 collection_index, int16 sequence_index, const world_point2d *p);
void local_stain_mesh(int16 collection_index, int16 sequence_index, const world_point2d *p);
void bloody_mesh(const world_point2d *p);
void darken_mesh_footprint(const world_point2d *p);
void build_media_local_projectile_effects(view_data *view, mesh_region *region);

/* ---------- test hooks */

struct mesh_test_hooks_data
{
	// When the map's tag cannot be loaded, a map start builds a flat 2 x 2
	// submesh map without tags and succeeds instead of failing.
	boolean initialize_for_new_map_answer;
	int32 initialize_for_new_map_count;
	file_tag last_mesh_tag;
	int32 dispose_count;
	// The game's state when the mesh was last disposed (NONE before).
	int16 state_at_last_dispose;
	int32 read_mesh_header_count;
	// The local time of the stained-map export while use_fixed_time is set.
	boolean use_fixed_time;
	int32 month, day, hour, minute; // month 1-12
	// When set, a map start imports this script (a stored map-action section,
	// big-endian) in place of its mesh's own.
	const void *map_actions;
	int16 map_action_count;
	int32 map_action_buffer_size;
};

mesh_test_hooks_data *get_mesh_test_hooks(void);
void reset_mesh_test_hooks(void);

#endif
