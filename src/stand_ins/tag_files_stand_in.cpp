// Thin tag-file manager: checks for the foundation files and serves the local
// 'pref' tags; every other lookup finds nothing.
#include "tag_files/tag_files.h"

#include <cstdlib>

#include "error_manager.h"
#include "linux_utilities.h"
#include "tag_groups.h"
#include "x_files.h"

const char *const tag_file_strings[NUMBER_OF_TAG_FILE_STRINGS] =
{
	"local",
	"plugins",
	"tags",
	"small install",
	"medium install",
	"large install",
	"international small install",
	"international large install"
};

#define MAXIMUM_STAND_IN_LOCAL_TAGS 64
#define FIRST_STAND_IN_IDENTIFIER 0x8000

// One local tag that a lookup found: its header in host order and its file.
struct stand_in_local_tag
{
	uint16 identifier; // 0 when the slot is free
	tag_header header;
	file_reference file;
};

struct tag_files_stand_in_globals_data
{
	boolean initialized;
	boolean open;
	boolean foundation_checked;
	boolean all_foundation_files_present;
	uint16 next_identifier;
	stand_in_local_tag local_tags[MAXIMUM_STAND_IN_LOCAL_TAGS];
};

static tag_files_stand_in_globals_data tag_files_stand_in_globals;

/* ---------- helpers */

static boolean foundation_file_exists(int16 foundation_index)
{
	const char *name = tag_file_strings[FIRST_FOUNDATION_TAG_FILENAME + foundation_index];
	for (int16 location = 0; location < NUMBER_OF_FILE_LOCATIONS; ++location)
	{
		if (!file_location_is_valid(location)) continue;
		file_reference file;
		file_reference_create(&file, location);
		if (file_reference_add_directory(&file, tag_file_strings[_tag_file_string_foundation_folder]) &&
			file_reference_set_name(&file, name) && file_exists(&file))
		{
			return TRUE;
		}
	}
	return FALSE;
}

// Whether the name check leaves a tag name unchanged: none of the characters
// that file systems refuse, and at most 31 characters.
static boolean tag_name_is_clean(const char *name)
{
	size_t length = 0;
	for (const char *p = name; *p; ++p, ++length)
	{
		if (strchr("\\/|\"<>*?:", *p)) return FALSE;
	}
	return length > 0 && length < TAG_NAME_LENGTH;
}

// The folder that holds a group's local tags.
static boolean local_folder_for_group(file_tag group_tag, file_reference *folder)
{
	const tag_group *group = tag_group_get(group_tag);
	if (!group) return FALSE;
	file_reference_create(folder, _file_location_working_directory);
	if (!(group->flags & _tag_group_is_local_flag) &&
		!file_reference_add_directory(folder, tag_file_strings[_tag_file_string_local_folder]))
	{
		return FALSE;
	}
	return file_reference_add_directory(folder, group->name);
}

// Reads and checks the header of one local tag file; FALSE when the file is
// not a local tag of the group.
static boolean read_local_tag_header(file_reference *file, file_tag group_tag, tag_header *header)
{
	char file_name[MAXIMUM_FILE_PATH_SIZE];
	file_reference_get_name(file, _file_name_name_flag | _file_name_extension_flag, file_name);
	if (file_name[0] == '.') return FALSE;

	file_reference reader;
	file_reference_copy(&reader, file);
	if (!file_open(&reader, _permission_read_flag)) return FALSE;
	const int32 length = file_get_eof(&reader);
	const boolean read = length >= static_cast<int32>(sizeof(tag_header)) &&
		file_read_from_position(&reader, 0, sizeof(tag_header), header);
	file_close(&reader);
	if (!read) return FALSE;

	byte_swap_data("tag header", header, sizeof(tag_header), 1, tag_header_byte_swapping_data);
	// The stored name is ignored: the file's own name, cut to 31 characters, is the tag's.
	memset(header->name, 0, sizeof(header->name));
	memcpy(header->name, file_name, strnlen(file_name, TAG_NAME_LENGTH - 1));
	if (!tag_name_is_clean(header->name)) return FALSE;
	if (header->offset != LOCAL_TAG_DATA_OFFSET || static_cast<uint8>(header->owner_index) != LOCAL_TAG_HEADER_OWNER_INDEX ||
		header->foundation_tag_file_index < NONE ||
		header->foundation_tag_file_index >= NUMBER_OF_FOUNDATION_TAG_FILES || header->type != _tag_file_type_local ||
		header->group_tag != group_tag || header->signature != TAG_HEADER_SIGNATURE)
	{
		return FALSE;
	}
	header->size = static_cast<uint32>(length - static_cast<int32>(sizeof(tag_header)));
	header->owner_index = static_cast<int8>(NONE);
	header->flags = 0;
	return TRUE;
}

static stand_in_local_tag *get_local_tag(int32 handle)
{
	const uint32 index = static_cast<uint32>(handle) & 0xFFFF;
	const uint16 identifier = static_cast<uint16>(static_cast<uint32>(handle) >> 16);
	if (handle == NONE || index >= MAXIMUM_STAND_IN_LOCAL_TAGS) return nullptr;
	stand_in_local_tag *tag = &tag_files_stand_in_globals.local_tags[index];
	return (tag->identifier != 0 && tag->identifier == identifier) ? tag : nullptr;
}

static int32 find_local_tag(file_tag group_tag, file_tag subgroup_tag)
{
	tag_files_stand_in_globals_data *globals = &tag_files_stand_in_globals;

	// Only the preference records are served, straight from their folder, so
	// that a record written a moment ago is found.
	if (group_tag != TAG("pref")) return NONE;

	file_reference folder;
	if (!local_folder_for_group(group_tag, &folder)) return NONE;

	boolean found = FALSE;
	tag_header winner;
	file_reference winner_file;
	if (file_exists(&folder))
	{
		file_reference file;
		tag_header header;
		find_files_start(0, &folder);
		while (find_files_next(&file))
		{
			if (!(file.flags & has_filename_flag)) continue;
			if (read_local_tag_header(&file, group_tag, &header) && header.subgroup_tag == subgroup_tag)
			{
				// Files come in byte order of their names; the last one wins.
				winner = header;
				file_reference_copy(&winner_file, &file);
				found = TRUE;
			}
		}
		find_files_end();
	}

	int32 free_index = NONE;
	int32 index = NONE;
	for (int32 i = 0; i < MAXIMUM_STAND_IN_LOCAL_TAGS; ++i)
	{
		stand_in_local_tag *tag = &globals->local_tags[i];
		if (tag->identifier == 0)
		{
			if (free_index == NONE) free_index = i;
		}
		else if (tag->header.group_tag == group_tag && tag->header.subgroup_tag == subgroup_tag)
		{
			index = i;
		}
	}
	if (!found)
	{
		if (index != NONE) globals->local_tags[index].identifier = 0;
		return NONE;
	}
	if (index == NONE)
	{
		if (free_index == NONE) return NONE;
		index = free_index;
		if (globals->next_identifier < FIRST_STAND_IN_IDENTIFIER) globals->next_identifier = FIRST_STAND_IN_IDENTIFIER;
		globals->local_tags[index].identifier = globals->next_identifier;
		globals->next_identifier = static_cast<uint16>(globals->next_identifier + 1);
	}
	stand_in_local_tag *tag = &globals->local_tags[index];
	tag->header = winner;
	tag->header.identifier = static_cast<int16>(tag->identifier);
	file_reference_copy(&tag->file, &winner_file);
	return static_cast<int32>((static_cast<uint32>(tag->identifier) << 16) | static_cast<uint32>(index));
}

/* ---------- start-up, opening and shut-down */

void tag_files_initialize(void)
{
	tag_files_stand_in_globals_data *globals = &tag_files_stand_in_globals;
	if (!globals->initialized)
	{
		atexit(tag_files_close);
		globals->initialized = TRUE;
	}
	const int16 folders[] =
	{
		_tag_file_string_local_folder, _tag_file_string_plugin_folder, _tag_file_string_foundation_folder
	};
	for (int16 folder_string : folders)
	{
		file_reference folder;
		file_reference_create(&folder, _file_location_working_directory);
		if (file_reference_add_directory(&folder, tag_file_strings[folder_string]) && !file_exists(&folder) &&
			!file_create(&folder))
		{
			error_message(_error_file_system_create, __FILE__, __LINE__, "couldn't create tags folder '%s'.",
				tag_file_strings[folder_string]);
		}
	}
}

boolean tag_files_open(boolean, const int16 *, int16, int16)
{
	tag_files_stand_in_globals_data *globals = &tag_files_stand_in_globals;
	tag_files_close();

	globals->all_foundation_files_present = TRUE;
	for (int16 i = 0; i < NUMBER_OF_FOUNDATION_TAG_FILES; ++i)
	{
		if (!foundation_file_exists(i)) globals->all_foundation_files_present = FALSE;
	}
	if (!globals->foundation_checked)
	{
		globals->foundation_checked = TRUE;
		if (!globals->all_foundation_files_present)
		{
			show_message_box("Could not find all the foundation files.");
			log_message(nullptr, 0, "Could not find all the foundation files.");
			exit(-1);
		}
	}
	globals->open = TRUE;
	return TRUE;
}

void tag_files_close(void)
{
	tag_files_stand_in_globals_data *globals = &tag_files_stand_in_globals;
	for (stand_in_local_tag &tag : globals->local_tags) tag.identifier = 0;
	globals->open = FALSE;
}

void tag_files_flush(void)
{
}

boolean tag_files_all_foundation_files_present(void)
{
	return tag_files_stand_in_globals.all_foundation_files_present;
}

/* ---------- lookup */

int32 tag_file_open(file_tag group_tag, file_tag subgroup_tag)
{
	return find_local_tag(group_tag, subgroup_tag);
}

boolean tag_file_exists(file_tag group_tag, file_tag subgroup_tag)
{
	return find_local_tag(group_tag, subgroup_tag) != NONE;
}
void tag_file_info_new(tag_file_info *info)
{
	memset(info, 0, sizeof(*info));
	info->user_data = 0xFFFFFFFF;
	info->version = NONE;
	info->foundation_tag_file_index = NONE;
	info->type = NONE;
	info->owner_index = NONE;
	info->size = NONE;
	info->group_tag = static_cast<file_tag>(NONE);
	info->subgroup_tag = static_cast<file_tag>(NONE);
}
int32 tag_file_enumerate(const tag_file_info *, int32 *, int32) { return 0; }
boolean tag_file_info_get(int32, tag_file_info *) { return FALSE; }
const char *tag_file_name_get(int32) { return "<unknown>"; }
file_tag tag_file_get_header_group(int32) { return static_cast<file_tag>(NONE); }
file_tag tag_file_get_header_subgroup(int32) { return static_cast<file_tag>(NONE); }
int32 tag_file_get_header_data_size(int32 handle)
{
	const stand_in_local_tag *tag = get_local_tag(handle);
	return tag ? static_cast<int32>(tag->header.size) : NONE;
}
uint32 tag_file_get_header_user_data(int32) { return 0xFFFFFFFF; }
int16 tag_file_get_header_version(int32 handle)
{
	const stand_in_local_tag *tag = get_local_tag(handle);
	return tag ? tag->header.version : static_cast<int16>(NONE);
}
int16 tag_file_get_tag_file_type(int32) { return NONE; }
int16 tag_file_get_tag_file_foundation_tag_file_index(int32) { return NONE; }
int32 tag_file_get_headers(file_tag, int32 *) { return 0; }
int32 tag_file_get_indexed_header(file_tag, int32) { return NONE; }
int32 tag_file_count_subgroup_headers(file_tag) { return 0; }

boolean tag_file_read(int32 handle, int32 offset, int32 size, void *buffer)
{
	const stand_in_local_tag *tag = get_local_tag(handle);
	if (!tag || !buffer || offset < 0 || size < 0 ||
		static_cast<int64>(offset) + size > static_cast<int64>(tag->header.size))
	{
		return FALSE;
	}
	if (size == 0) return TRUE;

	file_reference reader;
	file_reference_copy(&reader, &tag->file);
	if (!file_open(&reader, _permission_read_flag)) return FALSE;
	const boolean read = file_read_from_position(&reader, LOCAL_TAG_DATA_OFFSET + offset, size, buffer);
	file_close(&reader);
	return read;
}

boolean tag_file_read_ahead(int32 handle, int32 offset, int32 size, void *buffer)
{
	return tag_file_read(handle, offset, size, buffer);
}

void tag_files_update_available_plugins(void) {}
int16 tag_file_get_plugin_count(void) { return 0; }
boolean tag_file_indexed_plugin_get(int16, plugin_info *) { return FALSE; }
int16 get_qel_plugin_index(void) { return NONE; }
int32 tag_file_entry_points_get(entry_point_info *) { return 0; }
int32 tag_file_plugins_encode(const int16 *, int16, void *) { return 0; }
boolean tag_file_plugins_decode(int16 *, int16 *plugin_count, const void *, int32, char *)
{
	if (plugin_count) *plugin_count = 0;
	return TRUE;
}
int32 tag_file_plugins_decode_missing(const void *, int32, missing_plugin_info *, int32) { return 0; }
void tag_file_plugin_open_temporary(int16) {}
void tag_file_plugin_close_temporary(void) {}
boolean tag_files_build_plugin_indices_for_entrypoint(int16 *, int16 *out_count, int16, const int16 *, int16, int16,
	int16, const char *, boolean *)
{
	if (out_count) *out_count = 0;
	return TRUE;
}
int16 tag_files_get_patch_version(void) { return 5; }
int16 tag_files_get_current_patch_version(void) { return 5; }
uint32 tag_files_get_patch_checksum(int16) { return 0; }
uint32 tag_files_get_foundation_checksum(void) { return 0; }
void refresh_foundation_checksum(void) {}
boolean tag_files_required_patches_present(void) { return TRUE; }
boolean tag_files_build_cache(const void *, int32) { return FALSE; }
boolean tag_files_open_cache(void) { return FALSE; }
void tag_files_close_cache(void) {}

boolean set_exclusive_mode(void) { return TRUE; }
void release_exclusive_mode(void) {}
