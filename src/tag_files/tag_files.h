// The tag-file manager: tag headers, lookup, reading and the tag-set opening
// sequence, plus local tags and the single-instance lock.
#ifndef TAG_FILES_H
#define TAG_FILES_H

#include "cseries.h"
#include "byte_swapping.h"

struct file_reference;

/* ---------- constants */

#define TAG_HEADER_SIGNATURE TAG("zrv2")
#define TAG_FILE_HEADER_SIGNATURE TAG("dng2")

#define TAG_NAME_LENGTH 32 // with the terminator
#define TAG_FILE_URL_LENGTH 64 // with the terminator
#define LOCAL_TAG_HEADER_OWNER_INDEX 255
#define LOCAL_TAG_DATA_OFFSET 64
#define FOUNDATION_TAG_FILE_VERSION 0

#define MAXIMUM_SIMULTANEOUS_TAG_HEADERS 32000
#define MAXIMUM_SIMULTANEOUS_TAG_FILES 32
#define MAXIMUM_PLUGIN_INDEXES 1024
#define MAXIMUM_SIMULTANEOUS_ENTRY_POINTS 8192
#define MAXIMUM_ENCODED_PLUGIN_BUFFER_SIZE 512
#define MAXIMUM_ENCODED_PLUGINS 16
#define READAHEAD_LENGTH 16384
#define MAXIMUM_HEADERS_PER_GROUP_QUERY 2048
#define BUILD_MONOLITHIC_FILE_BUFFER_SIZE 524288
// Largest data size a tag may declare.
#define MAXIMUM_TAG_DATA_SIZE 0x7FFFFFFF

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

enum // blocks of a monolithic file, in file order
{
	_tag_file_block_header,
	_tag_file_block_entry_points,
	_tag_file_block_tag_headers,
	_tag_file_block_tag_data,
	NUMBER_OF_TAG_FILE_BLOCKS
};

enum // tag header flags
{
	_tag_header_is_shadowed_bit,
	NUMBER_OF_TAG_HEADER_FLAGS,

	_tag_header_is_shadowed_flag = FLAG(_tag_header_is_shadowed_bit)
};

enum // tag file header flags
{
	_tag_file_is_game_critical_bit,
	NUMBER_OF_TAG_FILE_FLAGS,

	_tag_file_is_game_critical_flag = FLAG(_tag_file_is_game_critical_bit)
};

enum // plugin flags, in the version field of a plugin's file header
{
	_plugin_load_order_reversed_bit,
	_plugin_compatible_with_vqel_bit,
	_plugin_relies_on_another_plugin_bit,
	_plugin_load_order_enforced_bit,
	NUMBER_OF_PLUGIN_FLAGS,

	_plugin_load_order_reversed_flag = FLAG(_plugin_load_order_reversed_bit),
	_plugin_compatible_with_vqel_flag = FLAG(_plugin_compatible_with_vqel_bit),
	_plugin_relies_on_another_plugin_flag = FLAG(_plugin_relies_on_another_plugin_bit),
	_plugin_load_order_enforced_flag = FLAG(_plugin_load_order_enforced_bit)
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
#define NUMBER_OF_UNRESTRICTED_GROUP_TAGS 11
// The lock file in the local folder.
#define EXCLUSIVE_MODE_FILE_NAME "zerv2"
// The volume name of file location 1.
#define TAG_FILE_VOLUME_NAME "zerv2"
#define TAG_FILE_CACHE_FILE_NAME "cache"

extern const char *const tag_file_strings[NUMBER_OF_TAG_FILE_STRINGS];
// The groups taken from add-on files and from a restricted local folder; ended by NONE.
extern const file_tag unrestricted_group_tags[NUMBER_OF_UNRESTRICTED_GROUP_TAGS + 1];

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

// 128 bytes at the start of every monolithic file; big-endian there.
struct tag_file_header
{
	int16 type;
	int16 version; // foundation 0; patches and add-ons their number; plugins the flag word; cache -1
	char name[TAG_NAME_LENGTH];
	char url[TAG_FILE_URL_LENGTH];
	int16 entry_point_count;
	int16 tag_count;
	uint32 checksum; // running CRC of all tag data in tag order
	uint32 flags;
	uint32 size; // file length
	uint32 header_checksum; // CRC of these 128 stored bytes with this field 0
	uint8 unused[4];
	file_tag signature; // TAG_FILE_HEADER_SIGNATURE
};
STORED_SIZE(tag_file_header, 128);

inline constexpr byte_swap_code tag_file_header_byte_swapping_data[] =
{
	_begin_bs_array, 1,
	_2byte, _2byte, TAG_NAME_LENGTH + TAG_FILE_URL_LENGTH, // type, version, name, url
	_2byte, _2byte, // counts
	_4byte, _4byte, _4byte, _4byte, // checksum, flags, size, header checksum
	4, _4byte, // unused, signature
	_end_bs_array
};
static_assert(get_byte_swap_struct_size(tag_file_header_byte_swapping_data) == sizeof(tag_file_header));

// 112 bytes: one playable map of a monolithic file.
struct tag_file_entry_point
{
	file_tag subgroup_tag; // of the map's 'mesh' tag
	uint8 unused[8];
	uint32 user_data;
	char name[TAG_NAME_LENGTH];
	char printed_name[64];
};
STORED_SIZE(tag_file_entry_point, 112);

inline constexpr byte_swap_code tag_file_entry_point_byte_swapping_data[] =
{
	_begin_bs_array, 1,
	_4byte, 8, _4byte, TAG_NAME_LENGTH + 64,
	_end_bs_array
};
static_assert(get_byte_swap_struct_size(tag_file_entry_point_byte_swapping_data) == sizeof(tag_file_entry_point));

/* ---------- catalogue records (in memory) */

struct plugin_datum
{
	int16 identifier;
	int16 version; // flag word for plugins, version number for patches and add-ons
	char name[TAG_NAME_LENGTH]; // the file name
	char url[TAG_FILE_URL_LENGTH];
	uint32 checksum;
	int16 type;
	int16 original_plugin_index; // used while sorting
	boolean game_critical;
	boolean mesh_plugin; // the file has entry points
	boolean hidden;
};

struct entry_point_datum
{
	int16 identifier;
	int16 plugin_index; // NONE for foundation and local maps
	int16 priority; // 32767 local, -1 plugins, 0 foundation files
	int16 unused;
	boolean local_folder_flag;
	file_tag subgroup_tag;
	uint32 user_data;
	char name[TAG_NAME_LENGTH];
	char printed_name[64];
};

#define LOCAL_ENTRY_POINT_PRIORITY 32767
#define PLUGIN_ENTRY_POINT_PRIORITY (-1)
#define FOUNDATION_ENTRY_POINT_PRIORITY 0

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
void create_tag_folders(void);

/* ---------- loading steps */

// Whether the name check leaves the name alone; it replaces the characters
// that file systems refuse, cuts at 31 bytes and trims trailing spaces and
// periods. TRUE when it replaced or cut (trimming alone does not count).
boolean fix_tag_file_name(char *name);
// Opens, reads and checks a monolithic file's header (host order into
// header, name replaced by the file's own); the file is closed again.
boolean tag_file_open_monolithic_file(file_reference *file, tag_file_header *header);
// Adds the tags of a validated monolithic file; validate_only checks the tag
// headers without adding anything. FALSE when a tag is invalid.
boolean add_tags_from_monolithic_file(file_reference *file, const tag_file_header *header, boolean validate_only);
// Whether tag_count headers fit in the "tag header" array; logs when not.
boolean tag_files_check_capacity(const char *file_name, int32 tag_count);
// The handle of the new header, NONE when the array is full.
int32 add_tag_header(const tag_header *header);
void delete_tag_header(int32 handle);
boolean load_foundation_tags(void);
boolean add_entry_points_from_monolithic_file(file_reference *file, const tag_file_header *header,
	int16 plugin_index);
// The entry points of the 'mesh' tags among handles, in host order; the
// caller frees the list with dispose_pointer. NULL (count 0) when none.
tag_file_entry_point *build_entry_points_for_tag_indexes(const int32 *handles, int32 count,
	int32 *entry_point_count);
boolean load_local_tags(void);
boolean load_patch_tags(int16 requested_patch_version);
boolean load_plugin_tags(const int16 *plugin_indexes, int16 plugin_count);

/* ---------- shadowing */

void update_tag_header_shadows(file_tag group_tag, file_tag subgroup_tag);
// The same walk, but a tag of the owner file beats the tags of other files.
void update_tag_header_shadows_for_owner_index(file_tag group_tag, file_tag subgroup_tag, int16 owner_index);

/* ---------- lookup (handles: identifier << 16 | index; NONE when absent) */

int32 tag_file_open(file_tag group_tag, file_tag subgroup_tag);
boolean tag_file_exists(file_tag group_tag, file_tag subgroup_tag);
void tag_file_info_new(tag_file_info *info);
boolean tag_matches(const tag_header *header, const tag_file_info *filter);
// maximum_count -1: no limit.
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
// The tag's data offset in its file; -1 for a stale handle.
int32 tag_file_get_file_offset(int32 handle);
// handles holds MAXIMUM_HEADERS_PER_GROUP_QUERY entries.
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
// buffer holds MAXIMUM_ENCODED_PLUGIN_BUFFER_SIZE bytes; returns the bytes used.
int32 tag_file_plugins_encode(const int16 *plugin_indexes, int16 plugin_count, void *buffer);
// plugin_indexes holds MAXIMUM_ENCODED_PLUGINS entries. The lines naming
// missing plugins go to missing_text (missing_text_size bytes, always
// terminated) when it is given.
boolean tag_file_plugins_decode(int16 *plugin_indexes, int16 *plugin_count, const void *buffer, int32 length,
	char *missing_text, int32 missing_text_size = 0);
int32 tag_file_plugins_decode_missing(const void *buffer, int32 length, missing_plugin_info *missing,
	int32 maximum_count);
// The count an encoded list holds; NONE when the list is not well formed.
int16 tag_file_plugins_encoded_count(const void *buffer, int32 length);
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
// The required files found in "plugins" (each counted once).
int32 tag_files_count_required_files(void);
// preloads: count (group, subgroup) pairs of file_tags in host order.
boolean tag_files_build_cache(const void *preloads, int32 count);
boolean tag_files_open_cache(void);
void tag_files_close_cache(void);

/* ---------- local tags and writing */

// The subgroup tag derived from a name: "a b c" gives 'a bc'.
file_tag tag_files_string_to_tag(const char *name);
// Creates the local tag; a visible tag of the group with the same name
// (any case) is replaced, and a file tag's subgroup is kept so that the new
// tag shadows it. NONE on failure, with any old tag intact.
int32 tag_file_new(file_tag group_tag, const char *name, int16 version);
// The same with a random free subgroup; an existing local tag of that exact
// name is overwritten.
int32 tag_file_new_with_random_subgroup_tag(file_tag group_tag, const char *name, int16 version);
// The one creation path: writes the whole file (header and the size bytes of
// data, in stored order) at once, then replaces the visible local tag of
// that subgroup and any local tag of that file name.
int32 tag_file_new_with_subgroup_tag(file_tag group_tag, const char *name, file_tag subgroup_tag, int16 version,
	const void *data, int32 size);
// Makes the group's folder when missing; FALSE when it cannot.
boolean single_file_create(const char *name, file_tag group_tag);
boolean tag_file_write(int32 *handle, int32 offset, int32 size, const void *data);
boolean tag_file_write_byte_swapped(int32 *handle, int32 offset, int32 element_size, int32 count, void *data,
	const byte_swap_code *codes);
// Turns a tag of a monolithic file into a local copy that shadows it,
// replacing *handle.
boolean copy_tag_to_local_folder_if_necessary(int32 *handle);
boolean tag_file_info_set(int32 *handle, const tag_file_info *info);
boolean tag_file_name_set(int32 *handle, const char *name);
boolean tag_file_set_header_version(int32 *handle, int16 version);
boolean tag_file_set_header_user_data(int32 *handle, uint32 user_data);
boolean tag_file_set_tag_file_foundation_tag_file_index(int32 *handle, int16 foundation_tag_file_index);
boolean tag_file_delete(int32 handle);
// Writes a monolithic file of the tags (in list order) in one replacement;
// url (may be NULL) goes into the header.
boolean build_monolithic_file_from_tag_indexes(const file_reference *file, int16 type, int16 version,
	const int32 *handles, int32 count, const char *url = nullptr);
boolean tag_files_build_foundation_files(void);
boolean set_exclusive_mode(void);
void release_exclusive_mode(void);
// Text in a static buffer; "" when the date can't be read.
const char *get_tag_modification_date(int32 handle);

/* ---------- tests */

// Back to the start-up state: the first-run exit, found flags, cached
// entry points and the catalogues.
void tag_files_reset_for_tests(void);

#endif
