// The tag-file manager: tag headers, lookup, reading and the tag-set opening
// sequence, plus local tags and the single-instance lock.
#ifndef TAG_FILES_H
#define TAG_FILES_H

#include "cseries.h"
#include "byte_swapping.h"

/* ---------- constants */

#define TAG_HEADER_SIGNATURE TAG("zrv2")
#define TAG_FILE_HEADER_SIGNATURE TAG("dng2")

#define TAG_NAME_LENGTH 32 // with the terminator
#define LOCAL_TAG_HEADER_OWNER_INDEX 255
#define LOCAL_TAG_DATA_OFFSET 64

#define MAXIMUM_SIMULTANEOUS_TAG_HEADERS 32000
#define MAXIMUM_SIMULTANEOUS_TAG_FILES 32
#define MAXIMUM_PLUGIN_INDEXES 1024
#define MAXIMUM_SIMULTANEOUS_ENTRY_POINTS 8192
#define MAXIMUM_ENCODED_PLUGIN_BUFFER_SIZE 512
#define MAXIMUM_ENCODED_PLUGINS 16
#define READAHEAD_LENGTH 16384

enum // tag file types
{
	_tag_file_type_local,
	_tag_file_type_plugin,
	_tag_file_type_patch,
	_tag_file_type_foundation,
	_tag_file_type_cache,
	_tag_file_type_interface,
	_tag_file_type_add_on,
	NUMBER_OF_TAG_FILE_TYPES
};

enum // tag header flags
{
	_tag_header_is_shadowed_bit,
	NUMBER_OF_TAG_HEADER_FLAGS,

	_tag_header_is_shadowed_flag = FLAG(_tag_header_is_shadowed_bit)
};

enum // names of the tag folders and foundation files
{
	_tag_file_string_local_folder,
	_tag_file_string_plugin_folder,
	_tag_file_string_foundation_folder,
	_tag_file_string_small_install_filename,
	_tag_file_string_medium_install_filename,
	_tag_file_string_large_install_filename,
	_tag_file_string_small_interface_install_filename,
	_tag_file_string_large_interface_install_filename,
	NUMBER_OF_TAG_FILE_STRINGS
};

#define FIRST_FOUNDATION_TAG_FILENAME _tag_file_string_small_install_filename
#define NUMBER_OF_FOUNDATION_TAG_FILES 5

extern const char *const tag_file_strings[NUMBER_OF_TAG_FILE_STRINGS];

/* ---------- stored records */

// 64 bytes; big-endian in files.
struct tag_header
{
	int16 identifier; // in memory: the record identifier of the "tag header" array
	uint8 flags;
	uint8 type; // tag file type of the file that holds the tag
	char name[TAG_NAME_LENGTH];
	file_tag group_tag;
	file_tag subgroup_tag;
	uint32 offset;
	uint32 size;
	uint32 user_data;
	int16 version;
	int8 foundation_tag_file_index; // -1 none, 0..4
	int8 owner_index; // -1 (255 in files) for a local tag
	file_tag signature; // TAG_HEADER_SIGNATURE
};
STORED_SIZE(tag_header, 64);

inline constexpr byte_swap_code tag_header_byte_swapping_data[] =
{
	_begin_bs_array, 1,
	_2byte, 2, TAG_NAME_LENGTH, // identifier, flags, type, name
	_4byte, _4byte, _4byte, _4byte, _4byte, // group, subgroup, offset, size, user data
	_2byte, 2, _4byte, // version, foundation and owner indexes, signature
	_end_bs_array
};
static_assert(get_byte_swap_struct_size(tag_header_byte_swapping_data) == sizeof(tag_header));

/* ---------- public descriptions */

struct tag_file_info
{
	char name[TAG_NAME_LENGTH];
	uint32 user_data;
	int16 version;
	int16 foundation_tag_file_index;
	int16 type;
	int16 owner_index;
	int32 size;
	file_tag group_tag;
	file_tag subgroup_tag;
};

struct plugin_info
{
	char name[32];
	char url[64];
	boolean game_critical;
	boolean hidden;
	boolean mesh_plugin;
	int16 type;
	int16 version;
};

struct entry_point_info
{
	int16 plugin_index;
	char printed_name[64];
	char name[32];
	file_tag subgroup_tag;
	uint32 user_data;
};

// Defined with the networking layer, which shows the missing plugins.
struct missing_plugin_info;

/* ---------- start-up, opening and shut-down */

void tag_files_initialize(void);
// Closes and reopens the whole tag set; patch_version -1 means the highest
// complete version.
boolean tag_files_open(boolean local_folder_disabled, const int16 *plugin_indexes, int16 plugin_count,
	int16 patch_version);
void tag_files_close(void);
void tag_files_flush(void);
boolean tag_files_all_foundation_files_present(void);

/* ---------- lookup (handles: identifier << 16 | index; NONE when absent) */

int32 tag_file_open(file_tag group_tag, file_tag subgroup_tag);
boolean tag_file_exists(file_tag group_tag, file_tag subgroup_tag);
void tag_file_info_new(tag_file_info *info);
int32 tag_file_enumerate(const tag_file_info *filter, int32 *handles, int32 maximum_count);
boolean tag_file_info_get(int32 handle, tag_file_info *info);
const char *tag_file_name_get(int32 handle);
file_tag tag_file_get_header_group(int32 handle);
file_tag tag_file_get_header_subgroup(int32 handle);
int32 tag_file_get_header_data_size(int32 handle);
uint32 tag_file_get_header_user_data(int32 handle);
int16 tag_file_get_header_version(int32 handle);
int16 tag_file_get_tag_file_type(int32 handle);
int16 tag_file_get_tag_file_foundation_tag_file_index(int32 handle);
int32 tag_file_get_headers(file_tag group_tag, int32 *handles);
int32 tag_file_get_indexed_header(file_tag group_tag, int32 n);
int32 tag_file_count_subgroup_headers(file_tag group_tag);

/* ---------- reading */

boolean tag_file_read(int32 handle, int32 offset, int32 size, void *buffer);
boolean tag_file_read_ahead(int32 handle, int32 offset, int32 size, void *buffer);

/* ---------- plugins, patches and checksums */

void tag_files_update_available_plugins(void);
int16 tag_file_get_plugin_count(void);
boolean tag_file_indexed_plugin_get(int16 index, plugin_info *info);
int16 get_qel_plugin_index(void);
int32 tag_file_entry_points_get(entry_point_info *entries);
int32 tag_file_plugins_encode(const int16 *plugin_indexes, int16 plugin_count, void *buffer);
boolean tag_file_plugins_decode(int16 *plugin_indexes, int16 *plugin_count, const void *buffer, int32 length,
	char *missing_text);
int32 tag_file_plugins_decode_missing(const void *buffer, int32 length, missing_plugin_info *missing,
	int32 maximum_count);
void tag_file_plugin_open_temporary(int16 plugin_index);
void tag_file_plugin_close_temporary(void);
boolean tag_files_build_plugin_indices_for_entrypoint(int16 *out_indexes, int16 *out_count, int16 out_maximum,
	const int16 *in_indexes, int16 in_count, int16 in_maximum, int16 entrypoint_plugin_index,
	const char *mesh_tag_required_plugin, boolean *use_vqel);
int16 tag_files_get_patch_version(void);
int16 tag_files_get_current_patch_version(void);
uint32 tag_files_get_patch_checksum(int16 version);
uint32 tag_files_get_foundation_checksum(void);
void refresh_foundation_checksum(void);
boolean tag_files_required_patches_present(void);
boolean tag_files_build_cache(const void *preloads, int32 count);
boolean tag_files_open_cache(void);
void tag_files_close_cache(void);

/* ---------- local tags and the lock */

boolean set_exclusive_mode(void);
void release_exclusive_mode(void);

#endif
