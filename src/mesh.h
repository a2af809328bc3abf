// The terrain mesh: the map's 'mesh' tag with its 1024-byte header, and the
// media definitions the header names.
#ifndef MESH_H
#define MESH_H

#include <cstddef>

#include "cseries.h"
#include "bitmaps.h"

#define MESH_DEFINITION_GROUP_TAG TAG("mesh")
#define MESH_VERSION_NUMBER 11
#define MEDIA_DEFINITION_GROUP_TAG TAG("medi")
#define MEDIA_DEFINITION_VERSION_NUMBER 1
#define MAXIMUM_MEDIA_DEFINITIONS_PER_MAP 2
#define SUBMESH_WIDTH 32
#define MAXIMUM_SUBMESH_WIDTH 8
#define MAXIMUM_SUBMESH_HEIGHT 8
#define MESH_HEADER_EDITOR_DATA_SIZE 16
#define NUMBER_OF_NEXT_MESH_TAGS 2
#define NUMBER_OF_CUTSCENE_MOVIE_TAGS 3
#define NUMBER_OF_STORYLINE_STRING_TAGS 4
#define NUMBER_OF_SCREEN_COLLECTION_TAGS 3
#define MESH_CUTSCENE_NAMES_SIZE 192
#define MESH_PLUGIN_NAME_SIZE 32

// Header flags, bits 16-31 (bits 0-15 are the scoring types the map offers).
enum : uint32
{
	_mesh_is_single_player_entry_point_flag = 0x10000,
	_mesh_supports_unit_trading_flag = 0x20000,
	_mesh_supports_veterans_flag = 0x40000,
	_mesh_has_limited_terrain_visibility_flag = 0x80000,
	_mesh_is_complete_flag = 0x100000,
	_mesh_can_be_used_by_demo_flag = 0x200000,
	_mesh_leaves_overhead_map_closed_flag = 0x400000,
	_mesh_is_training_map_flag = 0x800000,
	_mesh_can_catch_fire_flag = 0x1000000,
	_mesh_is_indoor_map_flag = 0x2000000,
	_mesh_has_terrain_following_camera_flag = 0x4000000,
	_mesh_overhead_map_doesnt_scroll_flag = 0x8000000,
	_mesh_models_dont_limit_rendering_flag = 0x10000000,
	_mesh_uses_anticlump_flag = 0x20000000,
	_mesh_uses_vqel_flag = 0x40000000,
	_mesh_requires_plugin_flag = 0x80000000
};
#define NUMBER_OF_MESH_HEADER_FLAGS 32

enum : uint32
{
	_mesh_extra_is_last_level_of_scenario_flag = 1
};

// 1024 bytes, big-endian in the tag. The slots are filled in memory only.
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
	file_tag team_names_override_string_list_tag;
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
static_assert(offsetof(mesh_header, dark_color) == 92);
static_assert(offsetof(mesh_header, edge_of_mesh_buffer_zones) == 116);
static_assert(offsetof(mesh_header, next_mesh_tags) == 156);
static_assert(offsetof(mesh_header, wind_tag) == 228);
static_assert(offsetof(mesh_header, cutscene_names) == 300);
static_assert(offsetof(mesh_header, plugin_name) == 516);
static_assert(offsetof(mesh_header, connector_type) == 994);
static_assert(offsetof(mesh_header, editor_data) == 1008);

void initialize_mesh(void);
boolean initialize_mesh_for_new_map(file_tag mesh_tag);
void dispose_mesh_from_old_map(void);
// Reads and byte-swaps the header of a map without loading it; false when the
// tag cannot be opened or read.
boolean read_mesh_header(file_tag subgroup, mesh_header *header);

// The media definitions ('medi') that the map's header names.
void initialize_media_definitions(void);
void initialize_media_definitions_for_new_map(void);
void dispose_media_definitions_from_old_map(void);
// Loads the definition on demand; NONE when missing.
int16 media_definition_tag_to_index(file_tag media_tag);

// Test hooks.
struct mesh_test_hooks_data
{
	// What initialize_mesh_for_new_map answers (false by default: no map).
	boolean initialize_for_new_map_answer;
	int32 initialize_for_new_map_count;
	file_tag last_mesh_tag;
	int32 dispose_count;
	// The game's state when the mesh was last disposed (NONE before).
	int16 state_at_last_dispose;
	int32 read_mesh_header_count;
};

mesh_test_hooks_data *get_mesh_test_hooks(void);
void reset_mesh_test_hooks(void);

#endif
