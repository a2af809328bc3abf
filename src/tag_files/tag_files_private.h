// State shared by the three halves of the tag-file manager: lookup and
// reading, plugins and patches, and writing.
#ifndef TAG_FILES_PRIVATE_H
#define TAG_FILES_PRIVATE_H

#include "tag_files/tag_files.h"

#include "data_quib.h"
#include "tag_groups.h"
#include "x_files.h"

// A record of the "tag file" array: one open monolithic file.
struct tag_file_datum
{
	int16 identifier;
	int16 unused;
	tag_file_header header; // host order, name replaced by the file's own
	file_reference file; // open while its tags are loaded
};

// The tag-header indexes of one group, in the order they were added.
struct tag_group_list
{
	int32 count;
	int32 capacity;
	int16 *indexes;
};

// The headers of one (group, subgroup) pair, linked in the order they were
// added, with the one that shadowing left visible.
struct subgroup_index_entry
{
	file_tag group_tag;
	file_tag subgroup_tag;
	int16 first;
	int16 last;
	int16 visible;
	int16 used;
};

#define SUBGROUP_INDEX_SIZE 65536
// Entries added before the index is rebuilt.
#define MAXIMUM_SUBGROUP_INDEX_USED ((SUBGROUP_INDEX_SIZE * 3) / 4)

struct tag_file_global_data
{
	boolean all_foundation_files_present;
	boolean local_folder_disabled;
	boolean open;
	boolean foundation_files_found_flags[NUMBER_OF_FOUNDATION_TAG_FILES];
	boolean cached_local_entry_points_flag;
	uint8 *readahead_buffer;
	uint32 foundation_checksum;
	int16 patch_plugin_indexes[MAXIMUM_PLUGIN_INDEXES];
	int16 patch_count;
	uint32 patch_checksum;
	int16 patch_version;
	int16 qel_plugin_index;
	int16 temporary_plugin_index;
	int16 temporary_plugin_file_index;

	boolean close_registered;
	boolean foundation_files_checked; // the first foundation load of the run is over
	int16 previous_requested_patch_version;

	data_array *tag_headers;
	data_array *tag_files;
	data_array *plugins;
	data_array *entry_points;
	tag_group_list group_lists[NUMBER_OF_TAG_GROUPS];
	int16 *next_in_pair; // per header index
	int16 *previous_in_pair;
	subgroup_index_entry *subgroup_index;
	int32 subgroup_index_used;
	// The slots of the used entries in order of use (in the index's block),
	// so clearing touches only those.
	int32 *subgroup_index_used_slots;

	// The single open local file.
	int32 single_file_handle;
	uint16 single_file_permissions;
	file_reference single_file;

	// The read-ahead window; owner NONE when it holds nothing.
	int16 readahead_owner_index;
	uint32 readahead_start;

	// The single-instance lock.
	boolean exclusive_mode_held;
	int32 exclusive_mode_process;
	boolean exclusive_release_registered;
	file_reference exclusive_file;
};

extern tag_file_global_data tag_file_globals;

/* ---------- tag_files.cpp */

// The header a full handle names; NULL for NONE, a bare index or a stale handle.
tag_header *tag_header_get(int32 handle);
int32 tag_header_handle_from_index(int32 index);
boolean tag_header_is_visible(const tag_header *header);
boolean tag_header_is_local(const tag_header *header);
tag_file_datum *tag_file_datum_get(int32 index);
boolean tag_group_is_unrestricted(file_tag group_tag);
// The folder of a group's local tags, and one local tag's file.
boolean tag_group_local_folder(file_tag group_tag, file_reference *folder);
boolean tag_header_local_file(const tag_header *header, file_reference *file);
// Whether a name passes the name check unchanged (trimming included).
boolean tag_file_name_is_clean(const char *name);
// The subgroup after subgroup, never NONE.
file_tag next_free_subgroup_tag(file_tag subgroup_tag);
// Opens the local file of a tag as the single open file; permissions are the
// file layer's flags; caller names the operation in the failure report.
boolean tag_files_open_single_file(int32 handle, uint16 permissions, const char *caller);
void tag_files_reset_readahead(void);
// Opens, validates, checks capacity and adds a file's tags; the record index
// or NONE. *validated tells whether the validating open succeeded.
int16 tag_files_load_monolithic_file(file_reference *file, const int16 *accepted_types, int32 accepted_type_count,
	tag_file_header *header, boolean *validated);
// Drops a record's tags, closes its file and frees it.
void tag_files_remove_tag_file(int16 tag_file_index);
boolean tag_files_add_entry_point(const tag_file_entry_point *entry_point, int16 plugin_index,
	boolean local_folder_flag, int16 priority);
void tag_files_add_local_entry_points(void);
// The file of a foundation index at a file location (0, 1 or 2).
boolean foundation_file_reference(int16 foundation_index, int16 location, file_reference *file);
// The full path of a reference, for messages.
const char *tag_files_path_text(const file_reference *file, char *buffer);
// The file's own name (name and extension).
const char *tag_files_file_name(const file_reference *file, char *buffer);
// Whether a listed file is one that the tag folders always skip.
boolean tag_files_skip_listed_name(const char *name);
int tag_files_compare_names(const char *a, const char *b); // ASCII, case-insensitive

/* ---------- tag_file_plugins.cpp */

void tag_files_reset_plugin_catalogue(void);

/* ---------- tag_file_writing.cpp */

// Stored checksums are big-endian whatever the host.
void tag_files_put_big_endian_32(uint8 *bytes, uint32 value);

#endif
