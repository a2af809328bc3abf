// Tag headers in memory, shadowing, lookup, reading and the loading of
// monolithic, foundation and local files.
#include "tag_files/tag_files_private.h"

#include <cstdlib>

#include "bitmap_text.h"
#include "error_manager.h"
#include "linux_utilities.h"
#include "memory.h"
#include "mesh.h"
#include "zerv_networking/zerv_networking.h"

tag_file_global_data tag_file_globals;

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

const file_tag unrestricted_group_tags[NUMBER_OF_UNRESTRICTED_GROUP_TAGS + 1] =
{
	TAG("obpc"), TAG("form"), TAG("stli"), TAG("pref"), TAG("reco"), TAG("save"), TAG("font"), TAG("inte"),
	TAG("dmap"), TAG("dtex"), TAG("temp"), static_cast<file_tag>(NONE)
};

#define TAG_FILE_HEADER_SIZE static_cast<int32>(sizeof(tag_file_header))
#define TAG_FILE_ENTRY_POINT_SIZE static_cast<int32>(sizeof(tag_file_entry_point))
#define TAG_HEADER_SIZE static_cast<int32>(sizeof(tag_header))
#define FIRST_GROUP_LIST_CAPACITY 64
#define MESH_GROUP_TAG TAG("mesh")
#define STRING_LIST_GROUP_TAG TAG("stli")

/* ---------- small helpers */

int tag_files_compare_names(const char *a, const char *b)
{
	return cseries::strcasecmp(a, b);
}

const char *tag_files_path_text(const file_reference *file, char *buffer)
{
	if (!file_location_get_full_path(file->location, file->path, buffer))
	{
		snprintf(buffer, MAXIMUM_FILE_PATH_SIZE, "%s", file->path);
	}
	return buffer;
}

const char *tag_files_file_name(const file_reference *file, char *buffer)
{
	// The last part of the path as it is: splitting off an extension would lose a trailing period.
	const char *slash = strrchr(file->path, '/');
	snprintf(buffer, MAXIMUM_FILE_PATH_SIZE, "%s", slash ? slash + 1 : file->path);
	return buffer;
}

boolean tag_files_skip_listed_name(const char *name)
{
	return name[0] == '.' || strcmp(name, "vssver.scc") == 0 || strcmp(name, "Icon\r") == 0;
}

boolean tag_group_is_unrestricted(file_tag group_tag)
{
	for (const file_tag *tag = unrestricted_group_tags; *tag != static_cast<file_tag>(NONE); ++tag)
	{
		if (*tag == group_tag) return TRUE;
	}
	return FALSE;
}

file_tag next_free_subgroup_tag(file_tag subgroup_tag)
{
	file_tag next = subgroup_tag + 1;
	if (next == static_cast<file_tag>(NONE)) next += 1;
	return next;
}

boolean tag_group_local_folder(file_tag group_tag, file_reference *folder)
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

boolean tag_header_local_file(const tag_header *header, file_reference *file)
{
	char name[TAG_NAME_LENGTH];
	memcpy(name, header->name, sizeof(name));
	name[TAG_NAME_LENGTH - 1] = 0;
	return name[0] && tag_group_local_folder(header->group_tag, file) && file_reference_set_name(file, name);
}

boolean fix_tag_file_name(char *name)
{
	boolean changed = FALSE;
	int32 index = 0;
	for (;;)
	{
		const int32 start = index;
		if (get_next_character(name, &index) == 0) break;
		if (index > TAG_NAME_LENGTH - 1)
		{
			name[start] = 0;
			changed = TRUE;
			break;
		}
		if (index - start == 1 && strchr("\\/|\"<>*?:", name[start]))
		{
			name[start] = '_';
			changed = TRUE;
		}
	}
	size_t length = strlen(name);
	while (length > 0 && (name[length - 1] == ' ' || name[length - 1] == '.')) name[--length] = 0;
	return changed;
}

boolean tag_file_name_is_clean(const char *name)
{
	char copy[MAXIMUM_FILE_PATH_SIZE];
	const size_t length = strlen(name);
	if (length >= TAG_NAME_LENGTH) return FALSE;
	memcpy(copy, name, length + 1);
	fix_tag_file_name(copy);
	return strcmp(copy, name) == 0;
}

// A stored 32-byte name passes when it is terminated and clean.
static boolean stored_tag_name_is_clean(const char *stored_name)
{
	char name[TAG_NAME_LENGTH + 1];
	memcpy(name, stored_name, TAG_NAME_LENGTH);
	name[TAG_NAME_LENGTH] = 0;
	return tag_file_name_is_clean(name);
}

/* ---------- records and handles */

tag_header *tag_header_get(int32 handle)
{
	data_array *headers = tag_file_globals.tag_headers;
	// A bare index is no handle: only a full handle proves the record is the one meant.
	if (!headers || handle == NONE || static_cast<uint32>(handle) < 0x10000) return nullptr;
	return static_cast<tag_header *>(datum_get(headers, handle));
}

static tag_header *tag_header_at(int32 index)
{
	return static_cast<tag_header *>(datum_get(tag_file_globals.tag_headers, index));
}

int32 tag_header_handle_from_index(int32 index)
{
	const tag_header *header = tag_header_at(index);
	if (!header) return NONE;
	return static_cast<int32>((static_cast<uint32>(static_cast<uint16>(header->identifier)) << 16) |
		static_cast<uint32>(index));
}

boolean tag_header_is_visible(const tag_header *header)
{
	return !(header->flags & _tag_header_is_shadowed_flag);
}

boolean tag_header_is_local(const tag_header *header)
{
	return header->owner_index == NONE;
}

tag_file_datum *tag_file_datum_get(int32 index)
{
	data_array *files = tag_file_globals.tag_files;
	if (!files || index < 0 || index >= MAXIMUM_SIMULTANEOUS_TAG_FILES) return nullptr;
	return static_cast<tag_file_datum *>(datum_get(files, index));
}

/* ---------- the (group, subgroup) index */

static uint32 subgroup_index_hash(file_tag group_tag, file_tag subgroup_tag)
{
	uint32 hash = group_tag * 0x9E3779B1u ^ subgroup_tag * 0x85EBCA77u;
	hash ^= hash >> 16;
	hash *= 0x7FEB352Du;
	hash ^= hash >> 15;
	return hash & (SUBGROUP_INDEX_SIZE - 1);
}

static void clear_subgroup_index(void)
{
	tag_file_global_data *g = &tag_file_globals;
	// The index starts zeroed and only entries made used are ever written,
	// so zeroing those leaves it all zero again.
	if (g->subgroup_index)
	{
		for (int32 i = 0; i < g->subgroup_index_used; ++i)
			memset(&g->subgroup_index[g->subgroup_index_used_slots[i]], 0, sizeof(subgroup_index_entry));
	}
	g->subgroup_index_used = 0;
}

static subgroup_index_entry *find_subgroup_entry(file_tag group_tag, file_tag subgroup_tag, boolean create);

// Rebuilds the index from the group lists, whose order is the order of addition.
static void rebuild_subgroup_index(void)
{
	tag_file_global_data *g = &tag_file_globals;
	clear_subgroup_index();
	for (int32 group_index = 0; group_index < NUMBER_OF_TAG_GROUPS; ++group_index)
	{
		const tag_group_list *list = &g->group_lists[group_index];
		for (int32 i = 0; i < list->count; ++i)
		{
			const int16 index = list->indexes[i];
			const tag_header *header = tag_header_at(index);
			subgroup_index_entry *entry = find_subgroup_entry(header->group_tag, header->subgroup_tag, TRUE);
			g->next_in_pair[index] = NONE;
			g->previous_in_pair[index] = entry->last;
			if (entry->last == NONE) entry->first = index;
			else g->next_in_pair[entry->last] = index;
			entry->last = index;
			if (tag_header_is_visible(header)) entry->visible = index;
		}
	}
}

static subgroup_index_entry *find_subgroup_entry(file_tag group_tag, file_tag subgroup_tag, boolean create)
{
	tag_file_global_data *g = &tag_file_globals;
	if (!g->subgroup_index) return nullptr;
	uint32 slot = subgroup_index_hash(group_tag, subgroup_tag);
	for (;;)
	{
		subgroup_index_entry *entry = &g->subgroup_index[slot];
		if (!entry->used)
		{
			if (!create) return nullptr;
			// Entries of pairs whose tags are gone stay behind; too many of them and the index is rebuilt.
			if (g->subgroup_index_used >= MAXIMUM_SUBGROUP_INDEX_USED)
			{
				rebuild_subgroup_index();
				return find_subgroup_entry(group_tag, subgroup_tag, TRUE);
			}
			entry->used = TRUE;
			entry->group_tag = group_tag;
			entry->subgroup_tag = subgroup_tag;
			entry->first = entry->last = entry->visible = NONE;
			g->subgroup_index_used_slots[g->subgroup_index_used] = static_cast<int32>(slot);
			g->subgroup_index_used += 1;
			return entry;
		}
		if (entry->group_tag == group_tag && entry->subgroup_tag == subgroup_tag) return entry;
		slot = (slot + 1) & (SUBGROUP_INDEX_SIZE - 1);
	}
}

/* ---------- shadowing */

// Whether header beats the pair's current winner: the last local tag wins; then a tag of the preferred
// owner file (none when it is NONE, as local tags are the only ones owned by NONE); then the higher file
// record, ties keeping the first.
static boolean tag_header_beats(const tag_header *header, const tag_header *best, int16 preferred_owner_index)
{
	if (tag_header_is_local(header)) return TRUE;
	if (tag_header_is_local(best)) return FALSE;
	if (header->owner_index == preferred_owner_index) return TRUE;
	if (best->owner_index == preferred_owner_index) return FALSE;
	return header->owner_index > best->owner_index;
}

void update_tag_header_shadows(file_tag group_tag, file_tag subgroup_tag)
{
	update_tag_header_shadows_for_owner_index(group_tag, subgroup_tag, NONE);
}

void update_tag_header_shadows_for_owner_index(file_tag group_tag, file_tag subgroup_tag, int16 owner_index)
{
	tag_file_global_data *g = &tag_file_globals;
	subgroup_index_entry *entry = find_subgroup_entry(group_tag, subgroup_tag, FALSE);
	if (!entry) return;

	int16 winner = NONE;
	for (int16 index = entry->first; index != NONE; index = g->next_in_pair[index])
	{
		tag_header *header = tag_header_at(index);
		header->flags |= _tag_header_is_shadowed_flag;
		if (winner == NONE || tag_header_beats(header, tag_header_at(winner), owner_index)) winner = index;
	}
	if (winner != NONE) tag_header_at(winner)->flags &= static_cast<uint8>(~_tag_header_is_shadowed_flag);
	entry->visible = winner;
}

/* ---------- adding and deleting headers */

int32 add_tag_header(const tag_header *source)
{
	tag_file_global_data *g = &tag_file_globals;
	const int32 group_index = tag_group_get_index(source->group_tag);
	if (!g->tag_headers || group_index == NONE) return NONE;

	const int32 handle = datum_new(g->tag_headers);
	if (handle == NONE)
	{
		char name[TAG_NAME_LENGTH];
		memcpy(name, source->name, sizeof(name));
		name[TAG_NAME_LENGTH - 1] = 0;
		error_message(_error_array_full, MODULE_NAME, __LINE__, "there are no more free tag_headers for '%s'", name);
		return NONE;
	}
	const int16 index = static_cast<int16>(static_cast<uint32>(handle) & 0xFFFF);
	tag_header *header = tag_header_at(index);
	const int16 identifier = header->identifier;
	*header = *source;
	header->identifier = identifier;
	header->flags = 0;
	header->name[TAG_NAME_LENGTH - 1] = 0;

	tag_group_list *list = &g->group_lists[group_index];
	if (list->count == list->capacity)
	{
		const int32 capacity = list->capacity ? MIN(list->capacity * 2, MAXIMUM_SIMULTANEOUS_TAG_HEADERS) :
			FIRST_GROUP_LIST_CAPACITY;
		int16 *indexes = static_cast<int16 *>(realloc_pointer(list->indexes, sizeof(int16) * capacity));
		if (!indexes)
		{
			error_message(_error_out_of_memory, MODULE_NAME, __LINE__,
				"couldn't allocate memory for group tag_header_indexes");
			datum_delete(g->tag_headers, handle);
			return NONE;
		}
		list->indexes = indexes;
		list->capacity = capacity;
	}
	list->indexes[list->count++] = index;

	subgroup_index_entry *entry = find_subgroup_entry(header->group_tag, header->subgroup_tag, TRUE);
	g->next_in_pair[index] = NONE;
	g->previous_in_pair[index] = entry->last;
	if (entry->last == NONE) entry->first = index;
	else g->next_in_pair[entry->last] = index;
	entry->last = index;

	update_tag_header_shadows(header->group_tag, header->subgroup_tag);
	return handle;
}

void delete_tag_header(int32 handle)
{
	tag_file_global_data *g = &tag_file_globals;
	tag_header *header = tag_header_get(handle);
	if (!header) return;
	const int16 index = static_cast<int16>(static_cast<uint32>(handle) & 0xFFFF);
	const file_tag group_tag = header->group_tag;
	const file_tag subgroup_tag = header->subgroup_tag;
	if (g->single_file_handle == handle) tag_files_flush();

	tag_group_list *list = &g->group_lists[tag_group_get_index(group_tag)];
	for (int32 i = 0; i < list->count; ++i)
	{
		if (list->indexes[i] != index) continue;
		memmove(list->indexes + i, list->indexes + i + 1, sizeof(int16) * (list->count - i - 1));
		list->count -= 1;
		break;
	}

	subgroup_index_entry *entry = find_subgroup_entry(group_tag, subgroup_tag, FALSE);
	if (entry)
	{
		const int16 previous = g->previous_in_pair[index];
		const int16 next = g->next_in_pair[index];
		if (previous == NONE) entry->first = next;
		else g->next_in_pair[previous] = next;
		if (next == NONE) entry->last = previous;
		else g->previous_in_pair[next] = previous;
		if (entry->visible == index) entry->visible = NONE;
	}

	datum_delete(g->tag_headers, handle);
	update_tag_header_shadows(group_tag, subgroup_tag);
}

/* ---------- start-up and shut-down */

void create_tag_folders(void)
{
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
			error_message(_error_file_system_create, MODULE_NAME, __LINE__, "couldn't create tags folder '%s'.",
				tag_file_strings[folder_string]);
		}
	}
}

static data_array *new_tag_file_array(data_array *data, const char *name, int16 maximum_count, int16 size)
{
	if (!data) data = data_new(name, maximum_count, size);
	if (!data)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate memory for tag file globals");
		return nullptr;
	}
	data_make_valid(data);
	return data;
}

void tag_files_initialize(void)
{
	tag_file_global_data *g = &tag_file_globals;
	if (!g->close_registered)
	{
		atexit(tag_files_close);
		g->close_registered = TRUE;
	}
	file_location_set_volume(_file_location_volume, TAG_FILE_VOLUME_NAME);
	create_tag_folders();
	if (g->tag_headers) tag_files_close();

	for (tag_group_list &list : g->group_lists) list.count = 0;
	for (boolean &found : g->foundation_files_found_flags) found = FALSE;
	g->temporary_plugin_index = NONE;
	g->temporary_plugin_file_index = NONE;
	g->qel_plugin_index = NONE;
	g->single_file_handle = NONE;
	g->readahead_owner_index = NONE;
	g->previous_requested_patch_version = NONE;
	g->patch_version = NONE;
	g->cached_local_entry_points_flag = FALSE;

	g->tag_headers = new_tag_file_array(g->tag_headers, "tag header", MAXIMUM_SIMULTANEOUS_TAG_HEADERS,
		sizeof(tag_header));
	g->tag_files = new_tag_file_array(g->tag_files, "tag file", MAXIMUM_SIMULTANEOUS_TAG_FILES,
		sizeof(tag_file_datum));
	g->plugins = new_tag_file_array(g->plugins, "tag file plugin", MAXIMUM_PLUGIN_INDEXES, sizeof(plugin_datum));
	g->entry_points = new_tag_file_array(g->entry_points, "tag file entry points", MAXIMUM_SIMULTANEOUS_ENTRY_POINTS,
		sizeof(entry_point_datum));
	if (!g->next_in_pair) g->next_in_pair = static_cast<int16 *>(new_pointer(sizeof(int16) * MAXIMUM_SIMULTANEOUS_TAG_HEADERS));
	if (!g->previous_in_pair)
		g->previous_in_pair = static_cast<int16 *>(new_pointer(sizeof(int16) * MAXIMUM_SIMULTANEOUS_TAG_HEADERS));
	if (!g->subgroup_index)
	{
		// Zeroed, with the list of used slots behind the entries.
		g->subgroup_index = static_cast<subgroup_index_entry *>(new_pointer_z(
			sizeof(subgroup_index_entry) * SUBGROUP_INDEX_SIZE + sizeof(int32) * MAXIMUM_SUBGROUP_INDEX_USED));
		g->subgroup_index_used = 0;
		g->subgroup_index_used_slots =
			g->subgroup_index ? reinterpret_cast<int32 *>(g->subgroup_index + SUBGROUP_INDEX_SIZE) : nullptr;
	}
	if (!g->next_in_pair || !g->previous_in_pair || !g->subgroup_index)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate memory for tag file globals");
		return;
	}
	clear_subgroup_index();
}

void tag_files_reset_readahead(void)
{
	tag_file_globals.readahead_owner_index = NONE;
	tag_file_globals.readahead_start = 0;
}

void tag_files_flush(void)
{
	tag_file_global_data *g = &tag_file_globals;
	if (g->single_file.handle) file_close(&g->single_file);
	g->single_file_handle = NONE;
	g->single_file_permissions = 0;
}

void tag_files_close(void)
{
	tag_file_global_data *g = &tag_file_globals;
	tag_files_flush();
	if (g->tag_files)
	{
		for (int32 index = 0; index < MAXIMUM_SIMULTANEOUS_TAG_FILES; ++index)
		{
			tag_file_datum *datum = tag_file_datum_get(index);
			if (datum && datum->file.handle) file_close(&datum->file);
		}
		data_delete_all(g->tag_files);
	}
	if (g->tag_headers)
	{
		// Identifiers go on counting, so that a handle from before the reopening names nothing.
		const int16 next_identifier = g->tag_headers->next_identifier;
		data_delete_all(g->tag_headers);
		g->tag_headers->next_identifier = next_identifier;
	}
	for (tag_group_list &list : g->group_lists)
	{
		free_and_clear(&list.indexes);
		list.count = 0;
		list.capacity = 0;
	}
	clear_subgroup_index();
	free_and_clear(&g->readahead_buffer);
	tag_files_reset_readahead();
	g->temporary_plugin_index = NONE;
	g->temporary_plugin_file_index = NONE;
	g->open = FALSE;
}

boolean tag_files_all_foundation_files_present(void)
{
	return tag_file_globals.all_foundation_files_present;
}

void tag_files_reset_for_tests(void)
{
	tag_file_global_data *g = &tag_file_globals;
	tag_files_close();
	g->foundation_files_checked = FALSE;
	for (boolean &found : g->foundation_files_found_flags) found = FALSE;
	g->cached_local_entry_points_flag = FALSE;
	g->all_foundation_files_present = FALSE;
	g->local_folder_disabled = FALSE;
	g->foundation_checksum = 0;
	g->patch_count = 0;
	g->patch_checksum = 0;
	g->patch_version = NONE;
	g->previous_requested_patch_version = NONE;
	tag_files_reset_plugin_catalogue();
}

/* ---------- lookup */

int32 tag_file_open(file_tag group_tag, file_tag subgroup_tag)
{
	const subgroup_index_entry *entry = find_subgroup_entry(group_tag, subgroup_tag, FALSE);
	return entry && entry->visible != NONE ? tag_header_handle_from_index(entry->visible) : NONE;
}

boolean tag_file_exists(file_tag group_tag, file_tag subgroup_tag)
{
	const subgroup_index_entry *entry = find_subgroup_entry(group_tag, subgroup_tag, FALSE);
	return entry && entry->first != NONE;
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

boolean tag_matches(const tag_header *header, const tag_file_info *filter)
{
	if (!tag_header_is_visible(header)) return FALSE;
	if (!filter) return TRUE;
	if (filter->name[0])
	{
		char name[TAG_NAME_LENGTH];
		char wanted[TAG_NAME_LENGTH];
		memcpy(name, header->name, sizeof(name));
		memcpy(wanted, filter->name, sizeof(wanted));
		name[TAG_NAME_LENGTH - 1] = wanted[TAG_NAME_LENGTH - 1] = 0;
		if (tag_files_compare_names(name, wanted) != 0) return FALSE;
	}
	if (filter->subgroup_tag != static_cast<file_tag>(NONE) && header->subgroup_tag != filter->subgroup_tag) return FALSE;
	if (filter->group_tag != static_cast<file_tag>(NONE) && header->group_tag != filter->group_tag) return FALSE;
	if (filter->version != NONE && header->version < filter->version) return FALSE;
	if (filter->type != NONE && header->type != filter->type) return FALSE;
	if (filter->foundation_tag_file_index != NONE &&
		header->foundation_tag_file_index != filter->foundation_tag_file_index)
	{
		return FALSE;
	}
	if (filter->size != NONE && static_cast<int32>(header->size) != filter->size) return FALSE;
	if (filter->user_data != 0xFFFFFFFF && header->user_data != filter->user_data) return FALSE;
	return TRUE;
}

int32 tag_file_enumerate(const tag_file_info *filter, int32 *handles, int32 maximum_count)
{
	tag_file_global_data *g = &tag_file_globals;
	if (!g->tag_headers || maximum_count == 0) return 0;
	int32 count = 0;
	auto consider = [&](int32 index) -> boolean {
		const tag_header *header = tag_header_at(index);
		if (!header || !tag_matches(header, filter)) return TRUE;
		if (handles) handles[count] = tag_header_handle_from_index(index);
		count += 1;
		return maximum_count < 0 || count < maximum_count;
	};

	if (!filter || filter->group_tag == static_cast<file_tag>(NONE))
	{
		for (int32 index = 0; index < g->tag_headers->count; ++index)
		{
			if (!consider(index)) break;
		}
	}
	else
	{
		const int32 group_index = tag_group_get_index(filter->group_tag);
		if (group_index == NONE) return 0;
		const tag_group_list *list = &g->group_lists[group_index];
		for (int32 i = 0; i < list->count; ++i)
		{
			if (!consider(list->indexes[i])) break;
		}
	}
	return count;
}

boolean tag_file_info_get(int32 handle, tag_file_info *info)
{
	memset(info, 0, sizeof(*info));
	const tag_header *header = tag_header_get(handle);
	if (!header || !tag_header_is_visible(header)) return FALSE;
	memcpy(info->name, header->name, TAG_NAME_LENGTH);
	info->name[TAG_NAME_LENGTH - 1] = 0;
	info->user_data = header->user_data;
	info->version = header->version;
	info->foundation_tag_file_index = header->foundation_tag_file_index;
	info->type = header->type;
	info->owner_index = header->owner_index;
	info->size = static_cast<int32>(header->size);
	info->group_tag = header->group_tag;
	info->subgroup_tag = header->subgroup_tag;
	return TRUE;
}

const char *tag_file_name_get(int32 handle)
{
	const tag_header *header = tag_header_get(handle);
	return header ? header->name : "<unknown>";
}

file_tag tag_file_get_header_group(int32 handle)
{
	tag_file_info info;
	return tag_file_info_get(handle, &info) ? info.group_tag : static_cast<file_tag>(NONE);
}

file_tag tag_file_get_header_subgroup(int32 handle)
{
	tag_file_info info;
	return tag_file_info_get(handle, &info) ? info.subgroup_tag : static_cast<file_tag>(NONE);
}

int32 tag_file_get_header_data_size(int32 handle)
{
	tag_file_info info;
	return tag_file_info_get(handle, &info) ? info.size : NONE;
}

uint32 tag_file_get_header_user_data(int32 handle)
{
	tag_file_info info;
	return tag_file_info_get(handle, &info) ? info.user_data : 0xFFFFFFFF;
}

int16 tag_file_get_header_version(int32 handle)
{
	tag_file_info info;
	return tag_file_info_get(handle, &info) ? info.version : static_cast<int16>(NONE);
}

int16 tag_file_get_tag_file_type(int32 handle)
{
	tag_file_info info;
	return tag_file_info_get(handle, &info) ? info.type : static_cast<int16>(NONE);
}

int16 tag_file_get_tag_file_foundation_tag_file_index(int32 handle)
{
	tag_file_info info;
	return tag_file_info_get(handle, &info) ? info.foundation_tag_file_index : static_cast<int16>(NONE);
}

int32 tag_file_get_file_offset(int32 handle)
{
	const tag_header *header = tag_header_get(handle);
	return header ? static_cast<int32>(header->offset) : NONE;
}

int32 tag_file_get_headers(file_tag group_tag, int32 *handles)
{
	tag_file_info filter;
	tag_file_info_new(&filter);
	filter.group_tag = group_tag;
	if (group_tag == static_cast<file_tag>(NONE)) return 0;
	return tag_file_enumerate(&filter, handles, MAXIMUM_HEADERS_PER_GROUP_QUERY);
}

int32 tag_file_get_indexed_header(file_tag group_tag, int32 n)
{
	tag_file_global_data *g = &tag_file_globals;
	const int32 group_index = tag_group_get_index(group_tag);
	if (n < 0 || n >= MAXIMUM_HEADERS_PER_GROUP_QUERY || group_index == NONE || !g->tag_headers) return NONE;
	const tag_group_list *list = &g->group_lists[group_index];
	int32 seen = 0;
	for (int32 i = 0; i < list->count; ++i)
	{
		if (!tag_header_is_visible(tag_header_at(list->indexes[i]))) continue;
		if (seen == n) return tag_header_handle_from_index(list->indexes[i]);
		seen += 1;
	}
	return NONE;
}

int32 tag_file_count_subgroup_headers(file_tag group_tag)
{
	return tag_file_get_headers(group_tag, nullptr);
}

/* ---------- reading */

boolean tag_files_open_single_file(int32 handle, uint16 permissions, const char *caller)
{
	tag_file_global_data *g = &tag_file_globals;
	const tag_header *header = tag_header_get(handle);
	if (!header) return FALSE;
	if (g->single_file_handle == handle && g->single_file.handle &&
		(g->single_file_permissions & permissions) == permissions)
	{
		return TRUE;
	}
	tag_files_flush();

	file_reference file;
	char path[MAXIMUM_FILE_PATH_SIZE];
	if (!tag_header_local_file(header, &file) || !file_open(&file, permissions))
	{
		error_message(_error_file_system_open, MODULE_NAME, __LINE__, "couldn't open local tag file '%s'",
			tag_header_local_file(header, &file) ? tag_files_path_text(&file, path) : header->name);
		error_message(_error_warning, MODULE_NAME, __LINE__, "single_file_open() failed in %s %s", caller, header->name);
		return FALSE;
	}
	// The open stream moves into the single-file slot.
	memcpy(&g->single_file, &file, sizeof(file));
	g->single_file_handle = handle;
	g->single_file_permissions = permissions;
	return TRUE;
}

// Checks that a read lies inside the tag.
static boolean tag_read_is_inside(const tag_header *header, int32 offset, int32 size)
{
	if (offset >= 0 && size >= 0 && static_cast<int64>(offset) + size <= static_cast<int64>(header->size)) return TRUE;
	error_message(_error_out_of_bounds, MODULE_NAME, __LINE__, "read of #%d bytes at #%d is outside tag '%s'",
		static_cast<int>(size), static_cast<int>(offset), header->name);
	return FALSE;
}

static boolean read_local_tag(int32 handle, int32 offset, int32 size, void *buffer,
	const char *caller)
{
	tag_file_global_data *g = &tag_file_globals;
	if (!tag_files_open_single_file(handle, _permission_read_flag, caller)) return FALSE;
	const int32 file_offset = LOCAL_TAG_DATA_OFFSET + offset;
	if (file_read_from_position(&g->single_file, file_offset, size, buffer)) return TRUE;
	char path[MAXIMUM_FILE_PATH_SIZE];
	error_message(_error_file_system_read, MODULE_NAME, __LINE__, "couldn't read #%d bytes from offset #%d in local tag '%s'",
		static_cast<int>(size), static_cast<int>(file_offset), tag_files_path_text(&g->single_file, path));
	return FALSE;
}

static boolean read_from_tag_file(tag_file_datum *datum, uint32 file_offset, int32 size, void *buffer,
	const char *caller)
{
	if (datum && file_read_from_position(&datum->file, static_cast<int32>(file_offset), size, buffer)) return TRUE;
	error_message(_error_warning, MODULE_NAME, __LINE__, "file_read_from_position() failed in %s", caller);
	return FALSE;
}

boolean tag_file_read(int32 handle, int32 offset, int32 size, void *buffer)
{
	const tag_header *header = tag_header_get(handle);
	if (!header || !tag_header_is_visible(header)) return FALSE;
	if (!tag_read_is_inside(header, offset, size)) return FALSE;
	if (size == 0) return TRUE;
	if (!buffer) return FALSE;
	if (tag_header_is_local(header)) return read_local_tag(handle, offset, size, buffer, "tag_file_read()");
	return read_from_tag_file(tag_file_datum_get(header->owner_index), header->offset + static_cast<uint32>(offset), size,
		buffer, "tag_file_read()");
}

// Fills the window with count bytes at start; an unfilled window holds nothing.
static boolean fill_readahead_window(tag_file_datum *datum, int16 owner_index, uint32 start, uint32 count,
	const char *caller)
{
	tag_file_global_data *g = &tag_file_globals;
	if (!read_from_tag_file(datum, start, static_cast<int32>(count), g->readahead_buffer, caller))
	{
		tag_files_reset_readahead();
		return FALSE;
	}
	g->readahead_owner_index = owner_index;
	g->readahead_start = start;
	return TRUE;
}

boolean tag_file_read_ahead(int32 handle, int32 offset, int32 size, void *buffer)
{
	tag_file_global_data *g = &tag_file_globals;
	const tag_header *header = tag_header_get(handle);
	if (!header || !tag_header_is_visible(header)) return FALSE;
	if (!tag_read_is_inside(header, offset, size)) return FALSE;
	if (size == 0) return TRUE;
	if (!buffer) return FALSE;
	if (tag_header_is_local(header))
	{
		return read_local_tag(handle, offset, size, buffer, "tag_file_read_ahead()");
	}

	const int16 owner_index = header->owner_index;
	tag_file_datum *datum = tag_file_datum_get(owner_index);
	const uint32 file_size = datum ? datum->header.size : 0;
	const uint32 at = header->offset + static_cast<uint32>(offset);
	if (!datum || !g->readahead_buffer || at > file_size)
	{
		return read_from_tag_file(datum, at, size, buffer, "tag_file_read()");
	}

	const uint32 length = MIN(static_cast<uint32>(READAHEAD_LENGTH), file_size - at);
	const boolean must_fill = owner_index != g->readahead_owner_index || at < g->readahead_start;
	const uint32 start = must_fill ? at : g->readahead_start;
	uint8 *destination = static_cast<uint8 *>(buffer);

	if (static_cast<uint32>(size) > length)
	{
		return read_from_tag_file(datum, at, size, buffer, "tag_file_read()");
	}

	const uint32 end = start + length;
	if (at >= end)
	{
		if (!fill_readahead_window(datum, owner_index, at, length, "tag_file_read_ahead()")) return FALSE;
		memcpy(destination, g->readahead_buffer, static_cast<size_t>(size));
		return TRUE;
	}

	if (must_fill && !fill_readahead_window(datum, owner_index, at, length, "tag_file_read()")) return FALSE;
	const uint32 first_part = MIN(static_cast<uint32>(size), end - at);
	memcpy(destination, g->readahead_buffer + (at - start), first_part);
	if (first_part < static_cast<uint32>(size))
	{
		const uint32 refill = MIN(static_cast<uint32>(READAHEAD_LENGTH), file_size - end);
		if (!fill_readahead_window(datum, owner_index, end, refill, "tag_file_read_ahead()")) return FALSE;
		memcpy(destination + first_part, g->readahead_buffer, static_cast<uint32>(size) - first_part);
	}
	return TRUE;
}

/* ---------- monolithic files */

boolean tag_file_open_monolithic_file(file_reference *file, tag_file_header *header)
{
	char path[MAXIMUM_FILE_PATH_SIZE];
	char file_name[MAXIMUM_FILE_PATH_SIZE];
	tag_files_path_text(file, path);
	tag_files_file_name(file, file_name);

	if (!file_open(file, _permission_read_flag)) return FALSE;
	const int32 length = file_get_eof(file);
	const boolean read = file_read_from_position(file, 0, TAG_FILE_HEADER_SIZE, header);
	file_close(file);
	if (!read)
	{
		error_message(_error_data_corrupted, MODULE_NAME, __LINE__, "the monolithic file '%s' has no header", path);
		return FALSE;
	}
	byte_swap_data("tag file header", header, TAG_FILE_HEADER_SIZE, 1, tag_file_header_byte_swapping_data);
	header->url[TAG_FILE_URL_LENGTH - 1] = 0;

	if (strlen(file_name) >= TAG_NAME_LENGTH || !tag_file_name_is_clean(file_name))
	{
		error_message(_error_data_corrupted, MODULE_NAME, __LINE__, "the monolithic file '%s' has a bad name", path);
		return FALSE;
	}
	memset(header->name, 0, sizeof(header->name));
	strcpy(header->name, file_name);

	const int64 tag_count = header->tag_count;
	const int64 entry_point_count = header->entry_point_count;
	const int64 size = header->size;
	if (tag_count >= MAXIMUM_SIMULTANEOUS_TAG_HEADERS || header->signature != TAG_FILE_HEADER_SIGNATURE ||
		size <= TAG_HEADER_SIZE * tag_count || size != static_cast<int64>(length))
	{
		return FALSE;
	}
	// The counts must describe blocks that fit in the file.
	if (entry_point_count < 0 || tag_count < 0 ||
		TAG_FILE_HEADER_SIZE + TAG_FILE_ENTRY_POINT_SIZE * entry_point_count + TAG_HEADER_SIZE * tag_count > size)
	{
		error_message(_error_data_corrupted, MODULE_NAME, __LINE__, "the monolithic file '%s' has a bad header", path);
		return FALSE;
	}
	return TRUE;
}

// Reads and checks the tag headers; NULL (reported) when they can't be read
// or any is invalid. The caller frees the block.
static tag_header *read_monolithic_tag_headers(file_reference *file, const tag_file_header *header)
{
	char path[MAXIMUM_FILE_PATH_SIZE];
	tag_files_path_text(file, path);
	const int32 tag_count = header->tag_count;
	const int64 data_start = TAG_FILE_HEADER_SIZE + static_cast<int64>(TAG_FILE_ENTRY_POINT_SIZE) * header->entry_point_count +
		static_cast<int64>(TAG_HEADER_SIZE) * tag_count;
	tag_header *headers = static_cast<tag_header *>(new_pointer(sizeof(tag_header) * MAX(tag_count, 1)));
	if (!headers)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate memory for tag file globals");
		return nullptr;
	}
	const boolean opened_here = file->handle == nullptr;
	boolean read = !opened_here || file_open(file, _permission_read_flag);
	const int32 length = read ? file_get_eof(file) : NONE;
	read = read && file_read_from_position(file,
		TAG_FILE_HEADER_SIZE + TAG_FILE_ENTRY_POINT_SIZE * header->entry_point_count, TAG_HEADER_SIZE * tag_count, headers);
	if (opened_here && file->handle) file_close(file);
	if (!read)
	{
		error_message(_error_data_corrupted, MODULE_NAME, __LINE__, "couldn't read tags from the monolithic file '%s'", path);
		dispose_pointer(headers);
		return nullptr;
	}

	byte_swap_data("tag header", headers, TAG_HEADER_SIZE, tag_count, tag_header_byte_swapping_data);
	boolean valid = TRUE;
	for (int32 i = 0; i < tag_count; ++i)
	{
		const tag_header *tag = &headers[i];
		if (!stored_tag_name_is_clean(tag->name) || tag->signature != TAG_HEADER_SIGNATURE ||
			tag->size > MAXIMUM_TAG_DATA_SIZE || static_cast<int64>(tag->offset) < data_start ||
			static_cast<int64>(tag->offset) + static_cast<int64>(tag->size) > static_cast<int64>(length))
		{
			error_message(_error_data_corrupted, MODULE_NAME, __LINE__, "found an invalid tag in the monolithic file '%s'",
				path);
			valid = FALSE;
		}
	}
	if (!valid)
	{
		dispose_pointer(headers);
		return nullptr;
	}
	return headers;
}

// Adds the tags of a validated file; the record index, or NONE.
static int16 add_tags_from_validated_file(file_reference *file, const tag_file_header *header)
{
	tag_file_global_data *g = &tag_file_globals;
	if (!g->tag_files || !g->tag_headers) return NONE;
	tag_header *headers = read_monolithic_tag_headers(file, header);
	if (!headers) return NONE;

	const int32 record = datum_new(g->tag_files);
	if (record == NONE || !file_open(file, _permission_read_flag))
	{
		if (record != NONE) datum_delete(g->tag_files, record);
		dispose_pointer(headers);
		return NONE;
	}
	const int16 index = static_cast<int16>(static_cast<uint32>(record) & 0xFFFF);
	tag_file_datum *datum = tag_file_datum_get(index);
	datum->header = *header;
	// The open stream moves into the record.
	memcpy(&datum->file, file, sizeof(*file));
	file->handle = nullptr;
	file->locked = FALSE;

	int32 unknown_groups = 0;
	for (int32 i = 0; i < header->tag_count; ++i)
	{
		tag_header *tag = &headers[i];
		if (tag_group_get_index(tag->group_tag) == NONE)
		{
			unknown_groups += 1;
			continue;
		}
		if (header->type == _tag_file_type_add_on && !tag_group_is_unrestricted(tag->group_tag)) continue;
		tag->identifier = 0;
		tag->flags = 0;
		tag->type = static_cast<uint8>(header->type);
		tag->owner_index = static_cast<int8>(index);
		if (add_tag_header(tag) == NONE) break;
	}
	if (unknown_groups)
	{
		log_message(nullptr, NONE, "skipped %d tags of unknown groups in '%s'", static_cast<int>(unknown_groups),
			header->name);
	}
	dispose_pointer(headers);
	return index;
}

boolean add_tags_from_monolithic_file(file_reference *file, const tag_file_header *header, boolean validate_only)
{
	if (validate_only)
	{
		tag_header *headers = read_monolithic_tag_headers(file, header);
		dispose_pointer(headers);
		return headers != nullptr;
	}
	return add_tags_from_validated_file(file, header) != NONE;
}

boolean tag_files_check_capacity(const char *file_name, int32 tag_count)
{
	const data_array *headers = tag_file_globals.tag_headers;
	if (!headers) return FALSE;
	const int32 available = headers->maximum_count - headers->total_count;
	if (tag_count <= available) return TRUE;
	log_message(nullptr, NONE, "Can't add tags from %s! - new tag_count %d > available: %d of %d", file_name,
		static_cast<int>(tag_count), static_cast<int>(available), static_cast<int>(headers->maximum_count));
	return FALSE;
}

int16 tag_files_load_monolithic_file(file_reference *file, const int16 *accepted_types, int32 accepted_type_count,
	tag_file_header *header, boolean *validated)
{
	if (validated) *validated = FALSE;
	if (!tag_file_open_monolithic_file(file, header)) return NONE;
	if (validated) *validated = TRUE;
	boolean accepted = accepted_type_count == 0;
	for (int32 i = 0; i < accepted_type_count; ++i)
	{
		if (header->type == accepted_types[i]) accepted = TRUE;
	}
	if (!accepted || !tag_files_check_capacity(header->name, header->tag_count)) return NONE;
	return add_tags_from_validated_file(file, header);
}

void tag_files_remove_tag_file(int16 tag_file_index)
{
	tag_file_global_data *g = &tag_file_globals;
	tag_file_datum *datum = tag_file_datum_get(tag_file_index);
	if (!datum) return;
	for (int32 index = 0; index < g->tag_headers->count; ++index)
	{
		const tag_header *header = tag_header_at(index);
		if (header && header->owner_index == tag_file_index) delete_tag_header(tag_header_handle_from_index(index));
	}
	if (datum->file.handle) file_close(&datum->file);
	datum_delete(g->tag_files, tag_file_index);
	if (g->readahead_owner_index == tag_file_index) tag_files_reset_readahead();
}

/* ---------- entry points */

boolean tag_files_add_entry_point(const tag_file_entry_point *entry_point, int16 plugin_index,
	boolean local_folder_flag, int16 priority)
{
	tag_file_global_data *g = &tag_file_globals;
	char name[TAG_NAME_LENGTH];
	memcpy(name, entry_point->name, sizeof(name));
	name[TAG_NAME_LENGTH - 1] = 0;
	const int32 handle = g->entry_points ? datum_new(g->entry_points) : NONE;
	if (handle == NONE)
	{
		log_message(nullptr, NONE, "Warning: Mesh limit of %d exceeded... Mesh \"%s\" -NOT LOADED-",
			MAXIMUM_SIMULTANEOUS_ENTRY_POINTS, name);
		return FALSE;
	}
	entry_point_datum *datum = static_cast<entry_point_datum *>(datum_get(g->entry_points, handle));
	datum->plugin_index = plugin_index;
	datum->priority = priority;
	datum->local_folder_flag = local_folder_flag;
	datum->subgroup_tag = entry_point->subgroup_tag;
	datum->user_data = entry_point->user_data;
	memcpy(datum->name, name, sizeof(name));
	memcpy(datum->printed_name, entry_point->printed_name, sizeof(datum->printed_name));
	datum->printed_name[sizeof(datum->printed_name) - 1] = 0;
	return TRUE;
}

boolean add_entry_points_from_monolithic_file(file_reference *file, const tag_file_header *header,
	int16 plugin_index)
{
	const int32 count = header->entry_point_count;
	if (count <= 0) return TRUE;
	tag_file_entry_point *entry_points =
		static_cast<tag_file_entry_point *>(new_pointer(sizeof(tag_file_entry_point) * count));
	if (!entry_points)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate memory for tag file globals");
		return FALSE;
	}
	const boolean opened_here = file->handle == nullptr;
	boolean read = !opened_here || file_open(file, _permission_read_flag);
	read = read && file_read_from_position(file, TAG_FILE_HEADER_SIZE, TAG_FILE_ENTRY_POINT_SIZE * count, entry_points);
	if (opened_here && file->handle) file_close(file);
	if (!read)
	{
		char path[MAXIMUM_FILE_PATH_SIZE];
		error_message(_error_data_corrupted, MODULE_NAME, __LINE__,
			"couldn't read entry points from the monolithic file '%s'", tag_files_path_text(file, path));
		dispose_pointer(entry_points);
		return FALSE;
	}
	byte_swap_data("tag file entry point", entry_points, TAG_FILE_ENTRY_POINT_SIZE, count,
		tag_file_entry_point_byte_swapping_data);
	const int16 priority = plugin_index == NONE ? FOUNDATION_ENTRY_POINT_PRIORITY : PLUGIN_ENTRY_POINT_PRIORITY;
	for (int32 i = 0; i < count; ++i) tag_files_add_entry_point(&entry_points[i], plugin_index, FALSE, priority);
	dispose_pointer(entry_points);
	return TRUE;
}

// The map's printed name: the first line of its description string list.
static boolean read_printed_name(file_tag mesh_subgroup_tag, char *printed_name)
{
	mesh_header mesh;
	if (!read_mesh_header(mesh_subgroup_tag, &mesh)) return FALSE;
	const int32 handle = tag_file_open(STRING_LIST_GROUP_TAG, mesh.map_description_string_list_tag);
	if (handle == NONE) return FALSE;
	char text[64];
	const int32 size = MIN(tag_file_get_header_data_size(handle), static_cast<int32>(sizeof(text)) - 1);
	if (size < 0 || !tag_file_read(handle, 0, size, text)) return FALSE;
	text[size] = 0;
	text[strcspn(text, "\r\n")] = 0;
	memset(printed_name, 0, 64);
	strcpy(printed_name, text);
	return TRUE;
}

tag_file_entry_point *build_entry_points_for_tag_indexes(const int32 *handles, int32 count, int32 *entry_point_count)
{
	tag_file_entry_point *list = nullptr;
	int32 used = 0;
	int32 capacity = 0;
	*entry_point_count = 0;
	for (int32 i = 0; i < count; ++i)
	{
		const tag_header *header = tag_header_get(handles[i]);
		if (!header || header->group_tag != MESH_GROUP_TAG) continue;
		if (used == capacity)
		{
			capacity = capacity ? capacity * 2 : 16;
			tag_file_entry_point *grown = static_cast<tag_file_entry_point *>(
				realloc_pointer(list, sizeof(tag_file_entry_point) * capacity));
			if (!grown)
			{
				dispose_pointer(list);
				return nullptr;
			}
			list = grown;
		}
		tag_file_entry_point *entry_point = &list[used++];
		memset(entry_point, 0, sizeof(*entry_point));
		entry_point->subgroup_tag = header->subgroup_tag;
		entry_point->user_data = header->user_data;
		memcpy(entry_point->name, header->name, TAG_NAME_LENGTH);
		entry_point->name[TAG_NAME_LENGTH - 1] = 0;
		if (!read_printed_name(header->subgroup_tag, entry_point->printed_name))
		{
			memset(entry_point->printed_name, 0, sizeof(entry_point->printed_name));
			strcpy(entry_point->printed_name, entry_point->name);
		}
	}
	*entry_point_count = used;
	return list;
}

void tag_files_add_local_entry_points(void)
{
	tag_file_global_data *g = &tag_file_globals;
	tag_file_info filter;
	tag_file_info_new(&filter);
	filter.group_tag = MESH_GROUP_TAG;
	filter.type = _tag_file_type_local;
	const int32 count = tag_file_enumerate(&filter, nullptr, NONE);
	int32 *handles = static_cast<int32 *>(new_pointer(sizeof(int32) * MAX(count, 1)));
	if (!handles) return;
	tag_file_enumerate(&filter, handles, count);
	int32 entry_point_count = 0;
	tag_file_entry_point *entry_points = build_entry_points_for_tag_indexes(handles, count, &entry_point_count);
	for (int32 i = 0; i < entry_point_count; ++i)
	{
		tag_files_add_entry_point(&entry_points[i], NONE, TRUE, LOCAL_ENTRY_POINT_PRIORITY);
	}
	dispose_pointer(entry_points);
	dispose_pointer(handles);
	g->cached_local_entry_points_flag = TRUE;
}

/* ---------- foundation and local tags */

boolean foundation_file_reference(int16 foundation_index, int16 location, file_reference *file)
{
	file_reference_create(file, location);
	return file_reference_add_directory(file, tag_file_strings[_tag_file_string_foundation_folder]) &&
		file_reference_set_name(file, tag_file_strings[FIRST_FOUNDATION_TAG_FILENAME + foundation_index]);
}

boolean load_foundation_tags(void)
{
	tag_file_global_data *g = &tag_file_globals;
	g->all_foundation_files_present = TRUE;
	g->foundation_checksum = static_cast<uint32>(get_current_minor_version() - 2) ^ 0x102;

	for (int16 i = 0; i < NUMBER_OF_FOUNDATION_TAG_FILES; ++i)
	{
		boolean found = FALSE;
		for (int16 location = 0; location < NUMBER_OF_FILE_LOCATIONS && !found; ++location)
		{
			file_reference file;
			tag_file_header header;
			const int16 accepted_type = _tag_file_type_foundation;
			if (!foundation_file_reference(i, location, &file) || !file_exists(&file)) continue;
			const int16 record = tag_files_load_monolithic_file(&file, &accepted_type, 1, &header, nullptr);
			if (record == NONE) continue;
			found = TRUE;
			g->foundation_checksum ^= header.checksum;
			if (!g->foundation_files_found_flags[i])
			{
				add_entry_points_from_monolithic_file(&tag_file_datum_get(record)->file, &header, NONE);
				g->foundation_files_found_flags[i] = TRUE;
			}
		}
		if (!found) g->all_foundation_files_present = FALSE;
	}

	if (!g->foundation_files_checked)
	{
		g->foundation_files_checked = TRUE;
		if (!g->all_foundation_files_present)
		{
			show_message_box("Could not find all the foundation files.");
			log_message(nullptr, NONE, "Could not find all the foundation files.");
			exit(255);
		}
	}
	return g->all_foundation_files_present;
}

// Reads one listed local file's header; FALSE when the file is no local tag of the group.
static boolean read_local_tag_header(file_reference *file, file_tag group_tag, tag_header *header)
{
	char name[MAXIMUM_FILE_PATH_SIZE];
	tag_files_file_name(file, name);
	// A name the tag could not be opened under again is no tag.
	if (tag_files_skip_listed_name(name) || !tag_file_name_is_clean(name)) return FALSE;
	if (!file_open(file, _permission_read_flag)) return FALSE;
	const int32 length = file_get_eof(file);
	const boolean read = length >= TAG_HEADER_SIZE && file_read_from_position(file, 0, TAG_HEADER_SIZE, header);
	file_close(file);
	if (!read) return FALSE;

	byte_swap_data("tag header", header, TAG_HEADER_SIZE, 1, tag_header_byte_swapping_data);
	memset(header->name, 0, sizeof(header->name));
	strcpy(header->name, name);
	if (header->offset != LOCAL_TAG_DATA_OFFSET || static_cast<uint8>(header->owner_index) != LOCAL_TAG_HEADER_OWNER_INDEX ||
		header->foundation_tag_file_index < NONE || header->foundation_tag_file_index >= NUMBER_OF_FOUNDATION_TAG_FILES ||
		header->type != _tag_file_type_local || header->group_tag != group_tag ||
		header->signature != TAG_HEADER_SIGNATURE)
	{
		return FALSE;
	}
	header->size = static_cast<uint32>(length - TAG_HEADER_SIZE);
	header->owner_index = NONE;
	header->identifier = 0;
	header->flags = 0;
	return TRUE;
}

boolean load_local_tags(void)
{
	tag_file_global_data *g = &tag_file_globals;
	if (!g->tag_headers) return FALSE;
	for (int32 group_index = 0; group_index < NUMBER_OF_TAG_GROUPS; ++group_index)
	{
		const tag_group *group = &tag_groups[group_index];
		if (g->local_folder_disabled && !tag_group_is_unrestricted(group->group_tag)) continue;
		file_reference folder;
		if (!tag_group_local_folder(group->group_tag, &folder) || !file_exists(&folder)) continue;

		file_reference file;
		find_files_start(0, &folder);
		while (find_files_next(&file))
		{
			tag_header header;
			if (!(file.flags & has_filename_flag) || !read_local_tag_header(&file, group->group_tag, &header)) continue;
			if (group->flags & _tag_group_renames_duplicates_flag)
			{
				while (tag_file_open(header.group_tag, header.subgroup_tag) != NONE)
				{
					header.subgroup_tag = next_free_subgroup_tag(header.subgroup_tag);
				}
			}
			add_tag_header(&header);
		}
		find_files_end();
	}
	return TRUE;
}
