// Local tags: creating, writing, renaming and deleting them; building
// monolithic files; the single-instance lock and modification dates.
#include "tag_files/tag_files_private.h"

#include <clocale>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include "bitmap_dialogs/screens.h"
#include "crc_quib.h"
#include "error_manager.h"
#include "memory.h"
#include "world.h"

#define MAXIMUM_SAME_NAME_TAGS 1024
#define LOCAL_TAG_PERMISSIONS (_permission_read_flag | _permission_write_flag | _permission_append_flag)
#define PROGRESS_STEPS 40

/* ---------- names and subgroups */

file_tag tag_files_string_to_tag(const char *name)
{
	uint8 bytes[4] = { ' ', ' ', ' ', ' ' };
	char copy[TAG_NAME_LENGTH];
	snprintf(copy, sizeof(copy), "%s", name ? name : "");
	strlwr(copy);

	static const char delimiters[] = " \t\n()[]{}?!:;-";
	int32 word = 0;
	const char *p = copy;
	while (*p && word < 3)
	{
		while (*p && strchr(delimiters, *p)) ++p;
		if (!*p) break;
		const int32 first_byte = word == 0 ? 0 : word == 1 ? 2 : 3;
		const int32 limit = word == 0 ? 4 : word == 1 ? 2 : 1;
		for (int32 i = 0; p[i] && !strchr(delimiters, p[i]) && i < limit; ++i) bytes[first_byte + i] = static_cast<uint8>(p[i]);
		while (*p && !strchr(delimiters, *p)) ++p;
		word += 1;
	}
	return (static_cast<file_tag>(bytes[0]) << 24) | (static_cast<file_tag>(bytes[1]) << 16) |
		(static_cast<file_tag>(bytes[2]) << 8) | bytes[3];
}

// Copies at most 31 characters and applies the name check; FALSE for an empty result.
static boolean checked_tag_name(const char *name, char *checked)
{
	memset(checked, 0, TAG_NAME_LENGTH);
	if (!name) return FALSE;
	snprintf(checked, TAG_NAME_LENGTH, "%s", name);
	fix_tag_file_name(checked);
	return checked[0] != 0;
}

/* ---------- the one creation path */

// A local tag's stored header: unused bytes zeroed, owner 255, offset 64.
static void make_stored_local_header(const tag_header *source, tag_header *stored)
{
	memset(stored, 0, sizeof(*stored));
	stored->type = _tag_file_type_local;
	memcpy(stored->name, source->name, TAG_NAME_LENGTH);
	stored->name[TAG_NAME_LENGTH - 1] = 0;
	const size_t length = strlen(stored->name);
	memset(stored->name + length, 0, TAG_NAME_LENGTH - length);
	stored->group_tag = source->group_tag;
	stored->subgroup_tag = source->subgroup_tag;
	stored->offset = LOCAL_TAG_DATA_OFFSET;
	stored->size = source->size;
	stored->user_data = source->user_data;
	stored->version = source->version;
	stored->foundation_tag_file_index = source->foundation_tag_file_index;
	stored->owner_index = static_cast<int8>(LOCAL_TAG_HEADER_OWNER_INDEX);
	stored->signature = TAG_HEADER_SIGNATURE;
	byte_swap_data("tag header", stored, sizeof(*stored), 1, tag_header_byte_swapping_data);
}

static boolean make_group_folder(file_tag group_tag, file_reference *folder)
{
	if (!tag_group_local_folder(group_tag, folder)) return FALSE;
	if (file_exists(folder)) return TRUE;
	// The local folder itself may be missing too.
	const tag_group *group = tag_group_get(group_tag);
	if (!(group->flags & _tag_group_is_local_flag))
	{
		file_reference local;
		file_reference_create(&local, _file_location_working_directory);
		if (file_reference_add_directory(&local, tag_file_strings[_tag_file_string_local_folder]) && !file_exists(&local))
		{
			file_create(&local);
		}
	}
	if (file_create(folder)) return TRUE;
	char path[MAXIMUM_FILE_PATH_SIZE];
	error_message(_error_file_system_create, MODULE_NAME, __LINE__, "couldn't create tag subfolder '%s'",
		tag_files_path_text(folder, path));
	return FALSE;
}

boolean single_file_create(const char *name, file_tag group_tag)
{
	file_reference file;
	if (!make_group_folder(group_tag, &file) || !file_reference_set_name(&file, name)) return FALSE;
	// An existing file is kept as it is: only the creation path replaces files.
	if (file_exists(&file) || file_create(&file)) return TRUE;
	char path[MAXIMUM_FILE_PATH_SIZE];
	error_message(_error_file_system_create, MODULE_NAME, __LINE__, "couldn't create local tag file '%s'",
		tag_files_path_text(&file, path));
	return FALSE;
}

// Writes the whole file of a local tag in one replacement.
static boolean write_local_tag_file(const tag_header *header, const void *data, int32 size)
{
	file_reference folder;
	if (!make_group_folder(header->group_tag, &folder)) return FALSE;
	const int64 file_size = static_cast<int64>(LOCAL_TAG_DATA_OFFSET) + size;
	if (size < 0 || file_size > INT32_MAX || (size > 0 && !data)) return FALSE;
	uint8 *bytes = static_cast<uint8 *>(new_pointer(static_cast<size_t>(file_size)));
	if (!bytes)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate #%d bytes to '%s' to local folder.",
			static_cast<int>(file_size), header->name);
		return FALSE;
	}
	tag_header stored;
	make_stored_local_header(header, &stored);
	memcpy(bytes, &stored, sizeof(stored));
	if (size > 0) memcpy(bytes + LOCAL_TAG_DATA_OFFSET, data, static_cast<size_t>(size));

	// The single open local file holds its lock, which would refuse the replacement.
	tag_files_flush();
	const boolean written = single_file_replace(&folder, header->name, bytes, static_cast<int32>(file_size));
	dispose_pointer(bytes);
	if (!written)
	{
		file_reference file;
		char path[MAXIMUM_FILE_PATH_SIZE];
		file_reference_copy(&file, &folder);
		file_reference_set_name(&file, header->name);
		error_message(_error_file_system_create, MODULE_NAME, __LINE__, "couldn't create local tag file '%s'",
			tag_files_path_text(&file, path));
	}
	return written;
}

static boolean delete_local_tag_file(const tag_header *header)
{
	file_reference file;
	tag_files_flush();
	if (tag_header_local_file(header, &file) && file_delete(&file)) return TRUE;
	char path[MAXIMUM_FILE_PATH_SIZE];
	error_message(_error_file_system_create, MODULE_NAME, __LINE__, "couldn't delete local tag file '%s'",
		tag_header_local_file(header, &file) ? tag_files_path_text(&file, path) : header->name);
	return FALSE;
}

// Writes the file first; only once it is in place are the replaced tags
// dropped (their files deleted when named otherwise) and the new header added.
static int32 create_local_tag(const tag_header *model, const void *data, int32 size, const int32 *replaced,
	int32 replaced_count)
{
	tag_file_global_data *g = &tag_file_globals;
	tag_header header = *model;
	header.identifier = 0;
	header.flags = 0;
	header.type = _tag_file_type_local;
	header.offset = LOCAL_TAG_DATA_OFFSET;
	header.size = static_cast<uint32>(size);
	header.owner_index = NONE;
	header.signature = TAG_HEADER_SIGNATURE;
	if (!write_local_tag_file(&header, data, size)) return NONE;

	for (int32 i = 0; i < replaced_count; ++i)
	{
		const tag_header *old = tag_header_get(replaced[i]);
		if (!old || !tag_header_is_local(old)) continue;
		if (strcmp(old->name, header.name) != 0) delete_local_tag_file(old);
		delete_tag_header(replaced[i]);
	}
	// One file per name: a local tag read from the file just replaced is gone.
	if (g->tag_headers)
	{
		const tag_group_list *list = &g->group_lists[tag_group_get_index(header.group_tag)];
		for (int32 i = list->count - 1; i >= 0; --i)
		{
			const int32 handle = tag_header_handle_from_index(list->indexes[i]);
			const tag_header *old = tag_header_get(handle);
			if (old && tag_header_is_local(old) && strcmp(old->name, header.name) == 0) delete_tag_header(handle);
		}
	}
	return add_tag_header(&header);
}

static boolean model_local_header(file_tag group_tag, const char *name, file_tag subgroup_tag, int16 version,
	tag_header *header)
{
	const tag_group *group = tag_group_get(group_tag);
	memset(header, 0, sizeof(*header));
	if (!group || !checked_tag_name(name, header->name) || subgroup_tag == static_cast<file_tag>(NONE)) return FALSE;
	header->group_tag = group_tag;
	header->subgroup_tag = subgroup_tag;
	header->version = version;
	header->foundation_tag_file_index = static_cast<int8>(group->default_foundation_tag_file_index);
	return TRUE;
}

// The visible tags of a group with a name (any case), in list order.
static int32 list_same_name_tags(file_tag group_tag, const char *name, int32 *handles)
{
	tag_file_info filter;
	tag_file_info_new(&filter);
	filter.group_tag = group_tag;
	snprintf(filter.name, sizeof(filter.name), "%s", name);
	return tag_file_enumerate(&filter, handles, MAXIMUM_SAME_NAME_TAGS);
}

// The subgroup for a named tag: that of the last same-name tag, so the new
// tag takes its place, else the one derived from the name, made free.
static file_tag named_tag_subgroup(file_tag group_tag, const char *name, const int32 *same_name, int32 same_name_count)
{
	if (same_name_count > 0)
	{
		const file_tag subgroup_tag = tag_file_get_header_subgroup(same_name[same_name_count - 1]);
		if (subgroup_tag != static_cast<file_tag>(NONE)) return subgroup_tag;
	}
	file_tag subgroup_tag = tag_files_string_to_tag(name);
	if (subgroup_tag == static_cast<file_tag>(NONE)) subgroup_tag = next_free_subgroup_tag(subgroup_tag);
	while (tag_file_open(group_tag, subgroup_tag) != NONE) subgroup_tag = next_free_subgroup_tag(subgroup_tag);
	return subgroup_tag;
}

int32 tag_file_new(file_tag group_tag, const char *name, int16 version)
{
	static int32 same_name[MAXIMUM_SAME_NAME_TAGS];
	tag_header header;
	if (!model_local_header(group_tag, name, 0, version, &header)) return NONE;
	const int32 count = list_same_name_tags(group_tag, header.name, same_name);
	header.subgroup_tag = named_tag_subgroup(group_tag, header.name, same_name, count);
	return create_local_tag(&header, nullptr, 0, same_name, count);
}

int32 tag_file_new_with_random_subgroup_tag(file_tag group_tag, const char *name, int16 version)
{
	tag_header header;
	if (!model_local_header(group_tag, name, 0, version, &header)) return NONE;
	do
	{
		file_tag subgroup_tag = 0;
		for (int32 i = 0; i < 4; ++i)
		{
			const file_tag character = static_cast<file_tag>(local_random() % 95 + 32);
			subgroup_tag |= character << (8 * i);
		}
		header.subgroup_tag = subgroup_tag;
	} while (tag_file_exists(group_tag, header.subgroup_tag));
	return create_local_tag(&header, nullptr, 0, nullptr, 0);
}

int32 tag_file_new_with_subgroup_tag(file_tag group_tag, const char *name, file_tag subgroup_tag, int16 version,
	const void *data, int32 size)
{
	tag_header header;
	if (!model_local_header(group_tag, name, subgroup_tag, version, &header)) return NONE;
	const int32 visible = tag_file_open(group_tag, subgroup_tag);
	return create_local_tag(&header, data, size, &visible, visible == NONE ? 0 : 1);
}

/* ---------- copy-on-write */

boolean copy_tag_to_local_folder_if_necessary(int32 *handle)
{
	static int32 same_name[MAXIMUM_SAME_NAME_TAGS];
	const tag_header *source = tag_header_get(*handle);
	if (!source) return FALSE;
	if (tag_header_is_local(source)) return TRUE;

	const int32 count = list_same_name_tags(source->group_tag, source->name, same_name);
	for (int32 i = 0; i < count; ++i)
	{
		const tag_header *other = tag_header_get(same_name[i]);
		if (other && tag_header_is_local(other))
		{
			error_message(_error_warning, MODULE_NAME, __LINE__,
				"can't copy monolithic tag '%s' to local folder because a local tag already has the same name.",
				source->name);
			return FALSE;
		}
	}

	const int32 size = static_cast<int32>(source->size);
	void *data = new_pointer(static_cast<size_t>(MAX(size, 1)));
	if (!data)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate #%d bytes to '%s' to local folder.",
			static_cast<int>(size), source->name);
		return FALSE;
	}
	int32 new_handle = NONE;
	if (tag_file_read(*handle, 0, size, data))
	{
		// One step: the copy appears with its data and fields, or not at all.
		tag_header header;
		model_local_header(source->group_tag, source->name, 0, source->version, &header);
		// The source's own subgroup: a same-name tag of another file may be listed last.
		header.subgroup_tag = source->subgroup_tag;
		header.user_data = source->user_data;
		header.foundation_tag_file_index = source->foundation_tag_file_index;
		new_handle = header.name[0] ? create_local_tag(&header, data, size, nullptr, 0) : NONE;
	}
	dispose_pointer(data);
	if (new_handle == NONE) return FALSE;
	*handle = new_handle;
	return TRUE;
}

/* ---------- writing */

boolean tag_file_write(int32 *handle, int32 offset, int32 size, const void *data)
{
	tag_file_global_data *g = &tag_file_globals;
	const tag_header *header = tag_header_get(*handle);
	if (!header || !tag_header_is_visible(header)) return FALSE;
	if (offset < 0 || size < 0 || (size > 0 && !data) ||
		static_cast<int64>(LOCAL_TAG_DATA_OFFSET) + offset + size > INT32_MAX)
	{
		return FALSE;
	}
	if (!copy_tag_to_local_folder_if_necessary(handle)) return FALSE;
	if (!tag_files_open_single_file(*handle, LOCAL_TAG_PERMISSIONS, "tag_file_write()")) return FALSE;

	const int32 file_offset = LOCAL_TAG_DATA_OFFSET + offset;
	char path[MAXIMUM_FILE_PATH_SIZE];
	if (!file_write_to_position(&g->single_file, file_offset, size, data))
	{
		error_message(_error_file_system_write, MODULE_NAME, __LINE__,
			"couldn't write #%d bytes to offset #%d in local tag '%s'", static_cast<int>(size),
			static_cast<int>(file_offset), tag_files_path_text(&g->single_file, path));
		return FALSE;
	}
	const int32 length = file_get_eof(&g->single_file);
	if (length < LOCAL_TAG_DATA_OFFSET) return FALSE;
	tag_header_get(*handle)->size = static_cast<uint32>(length - LOCAL_TAG_DATA_OFFSET);
	return TRUE;
}

boolean tag_file_write_byte_swapped(int32 *handle, int32 offset, int32 element_size, int32 count, void *data,
	const byte_swap_code *codes)
{
	const int64 size = static_cast<int64>(element_size) * count;
	if (element_size < 0 || count < 0 || size > INT32_MAX) return FALSE;
	if (!codes || size == 0) return tag_file_write(handle, offset, static_cast<int32>(size), data);
	byte_swap_data("tag data", data, element_size, count, codes);
	const boolean written = tag_file_write(handle, offset, static_cast<int32>(size), data);
	// The caller's records come back in host order whatever happened.
	byte_swap_data("tag data", data, element_size, count, codes);
	return written;
}

/* ---------- header fields */

static boolean rewrite_local_header(int32 handle)
{
	tag_file_global_data *g = &tag_file_globals;
	const tag_header *header = tag_header_get(handle);
	if (!tag_files_open_single_file(handle, LOCAL_TAG_PERMISSIONS, "tag_file_info_set()")) return FALSE;
	tag_header stored;
	make_stored_local_header(header, &stored);
	return file_write_to_position(&g->single_file, 0, sizeof(stored), &stored);
}

boolean tag_file_info_set(int32 *handle, const tag_file_info *info)
{
	const tag_header *header = tag_header_get(*handle);
	if (!header || !tag_header_is_visible(header) || !info) return FALSE;
	if (info->foundation_tag_file_index < NONE || info->foundation_tag_file_index >= NUMBER_OF_FOUNDATION_TAG_FILES)
	{
		return FALSE;
	}
	if (!copy_tag_to_local_folder_if_necessary(handle)) return FALSE;
	tag_header *target = tag_header_get(*handle);
	const tag_header saved = *target;

	char name[TAG_NAME_LENGTH];
	boolean renamed = FALSE;
	if (!checked_tag_name(info->name, name)) return FALSE;
	if (strcmp(name, target->name) != 0)
	{
		tag_files_flush();
		static int32 same_name[MAXIMUM_SAME_NAME_TAGS];
		const int32 count = list_same_name_tags(target->group_tag, name, same_name);
		for (int32 i = 0; i < count; ++i)
		{
			if (same_name[i] != *handle) return FALSE;
		}
		file_reference file;
		file_reference renamed_file;
		if (!tag_header_local_file(target, &file)) return FALSE;
		file_reference_copy(&renamed_file, &file);
		// A file already under the new name is never overwritten.
		if (!file_reference_set_name(&renamed_file, name) || file_exists(&renamed_file) || !file_rename(&file, name))
		{
			return FALSE;
		}
		memset(target->name, 0, sizeof(target->name));
		strcpy(target->name, name);
		renamed = TRUE;
	}
	target->user_data = info->user_data;
	target->version = info->version;
	target->foundation_tag_file_index = static_cast<int8>(info->foundation_tag_file_index);

	if (rewrite_local_header(*handle)) return TRUE;

	// The old fields stay, in memory and on disk.
	tag_files_flush();
	if (renamed)
	{
		file_reference file;
		if (tag_header_local_file(target, &file)) file_rename(&file, saved.name);
	}
	*target = saved;
	return FALSE;
}

boolean tag_file_name_set(int32 *handle, const char *name)
{
	tag_file_info info;
	if (!name || !tag_file_info_get(*handle, &info)) return FALSE;
	memset(info.name, 0, sizeof(info.name));
	snprintf(info.name, sizeof(info.name), "%s", name);
	return tag_file_info_set(handle, &info);
}

boolean tag_file_set_header_version(int32 *handle, int16 version)
{
	tag_file_info info;
	if (!tag_file_info_get(*handle, &info)) return FALSE;
	info.version = version;
	return tag_file_info_set(handle, &info);
}

boolean tag_file_set_header_user_data(int32 *handle, uint32 user_data)
{
	tag_file_info info;
	if (!tag_file_info_get(*handle, &info)) return FALSE;
	info.user_data = user_data;
	return tag_file_info_set(handle, &info);
}

boolean tag_file_set_tag_file_foundation_tag_file_index(int32 *handle, int16 foundation_tag_file_index)
{
	tag_file_info info;
	if (!tag_file_info_get(*handle, &info)) return FALSE;
	info.foundation_tag_file_index = foundation_tag_file_index;
	return tag_file_info_set(handle, &info);
}

/* ---------- deleting */

boolean tag_file_delete(int32 handle)
{
	const tag_header *header = tag_header_get(handle);
	if (!header || !tag_header_is_visible(header)) return FALSE;
	if (!tag_header_is_local(header))
	{
		error_message(_error_warning, MODULE_NAME, __LINE__, "can't delete '%s' because it is not a local tag.",
			header->name);
		return FALSE;
	}
	if (!delete_local_tag_file(header)) return FALSE;
	delete_tag_header(handle);
	return TRUE;
}

/* ---------- monolithic files */

void tag_files_put_big_endian_32(uint8 *bytes, uint32 value)
{
	bytes[0] = static_cast<uint8>(value >> 24);
	bytes[1] = static_cast<uint8>(value >> 16);
	bytes[2] = static_cast<uint8>(value >> 8);
	bytes[3] = static_cast<uint8>(value);
}

boolean build_monolithic_file_from_tag_indexes(const file_reference *file, int16 type, int16 version,
	const int32 *handles, int32 count, const char *url)
{
	char path[MAXIMUM_FILE_PATH_SIZE];
	char file_name[MAXIMUM_FILE_PATH_SIZE];
	tag_files_path_text(file, path);
	tag_files_file_name(file, file_name);
	if (!file_name[0] || count < 0 || (count > 0 && !handles)) return FALSE;

	// Tags of the local-only groups never go into a monolithic file.
	int32 *kept = static_cast<int32 *>(new_pointer(sizeof(int32) * MAX(count, 1)));
	if (!kept)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate memory for new monolithic file '%s'",
			path);
		return FALSE;
	}
	int32 tag_count = 0;
	int64 data_size = 0;
	for (int32 i = 0; i < count; ++i)
	{
		const tag_header *header = tag_header_get(handles[i]);
		const tag_group *group = header ? tag_group_get(header->group_tag) : nullptr;
		if (group && (group->flags & _tag_group_is_local_flag)) continue;
		kept[tag_count++] = handles[i];
		if (header) data_size += header->size;
	}

	int32 entry_point_count = 0;
	tag_file_entry_point *entry_points = build_entry_points_for_tag_indexes(kept, tag_count, &entry_point_count);
	const int64 data_start = static_cast<int64>(sizeof(tag_file_header)) +
		static_cast<int64>(sizeof(tag_file_entry_point)) * entry_point_count + static_cast<int64>(sizeof(tag_header)) * tag_count;
	const int64 file_size = data_start + data_size;
	if (tag_count >= MAXIMUM_SIMULTANEOUS_TAG_HEADERS || entry_point_count > INT16_MAX || file_size > INT32_MAX)
	{
		error_message(_error_file_system_write, MODULE_NAME, __LINE__, "couldn't create and open new monolithic file '%s'",
			path);
		dispose_pointer(entry_points);
		dispose_pointer(kept);
		return FALSE;
	}
	uint8 *bytes = static_cast<uint8 *>(new_pointer_z(static_cast<size_t>(file_size)));
	if (!bytes)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate memory for new monolithic file '%s'",
			path);
		dispose_pointer(entry_points);
		dispose_pointer(kept);
		return FALSE;
	}

	uint8 *entry_point_block = bytes + sizeof(tag_file_header);
	if (entry_point_count > 0)
	{
		memcpy(entry_point_block, entry_points, sizeof(tag_file_entry_point) * entry_point_count);
		byte_swap_data("tag file entry point", entry_point_block, sizeof(tag_file_entry_point), entry_point_count,
			tag_file_entry_point_byte_swapping_data);
	}
	dispose_pointer(entry_points);

	tag_header *header_block = reinterpret_cast<tag_header *>(entry_point_block + sizeof(tag_file_entry_point) * entry_point_count);
	uint32 checksum;
	crc_new(&checksum);
	boolean game_critical = FALSE;
	boolean built = TRUE;
	int32 progress = 0;
	uint32 data_offset = static_cast<uint32>(data_start);
	for (int32 i = 0; i < tag_count && built; ++i)
	{
		if (type == _tag_file_type_cache)
		{
			const int32 index = (i * PROGRESS_STEPS) / tag_count;
			if (index != progress)
			{
				progress = index;
				update_map_loading_progress_dialog();
			}
		}
		const tag_header *source = tag_header_get(kept[i]);
		if (!source)
		{
			built = FALSE;
			break;
		}
		const tag_group *group = tag_group_get(source->group_tag);
		if (group && (group->flags & _tag_group_is_game_critical_flag)) game_critical = TRUE;

		tag_header stored;
		memset(&stored, 0, sizeof(stored));
		memcpy(stored.name, source->name, TAG_NAME_LENGTH);
		stored.name[TAG_NAME_LENGTH - 1] = 0;
		const size_t name_length = strlen(stored.name);
		memset(stored.name + name_length, 0, TAG_NAME_LENGTH - name_length);
		stored.type = static_cast<uint8>(type);
		stored.group_tag = source->group_tag;
		stored.subgroup_tag = source->subgroup_tag;
		stored.offset = data_offset;
		stored.size = source->size;
		stored.user_data = source->user_data;
		stored.version = source->version;
		stored.foundation_tag_file_index = source->foundation_tag_file_index;
		stored.owner_index = static_cast<int8>(LOCAL_TAG_HEADER_OWNER_INDEX);
		stored.signature = TAG_HEADER_SIGNATURE;
		const int32 size = static_cast<int32>(source->size);
		memcpy(&header_block[i], &stored, sizeof(stored));

		for (int32 done = 0; done < size && built;)
		{
			const int32 piece = MIN(size - done, BUILD_MONOLITHIC_FILE_BUFFER_SIZE);
			if (!tag_file_read(kept[i], done, piece, bytes + data_offset + done))
			{
				built = FALSE;
				break;
			}
			crc_checksum_buffer(&checksum, bytes + data_offset + done, piece);
			done += piece;
		}
		data_offset += static_cast<uint32>(size);
	}
	byte_swap_data("tag header", header_block, sizeof(tag_header), tag_count, tag_header_byte_swapping_data);

	if (built)
	{
		tag_file_header header;
		memset(&header, 0, sizeof(header));
		header.type = type;
		header.version = version;
		char name[MAXIMUM_FILE_PATH_SIZE];
		snprintf(name, sizeof(name), "%s", file_name);
		if (strlen(name) >= TAG_NAME_LENGTH) name[TAG_NAME_LENGTH - 1] = 0;
		fix_tag_file_name(name);
		strcpy(header.name, name);
		if (url) snprintf(header.url, sizeof(header.url), "%s", url);
		header.entry_point_count = static_cast<int16>(entry_point_count);
		header.tag_count = static_cast<int16>(tag_count);
		header.checksum = checksum;
		header.flags = game_critical ? _tag_file_is_game_critical_flag : 0;
		header.size = static_cast<uint32>(file_size);
		header.header_checksum = 0;
		header.signature = TAG_FILE_HEADER_SIGNATURE;
		byte_swap_data("tag file header", &header, sizeof(header), 1, tag_file_header_byte_swapping_data);
		uint32 header_checksum;
		crc_new(&header_checksum);
		crc_checksum_buffer(&header_checksum, &header, sizeof(header));
		memcpy(bytes, &header, sizeof(header));
		tag_files_put_big_endian_32(bytes + offsetof(tag_file_header, header_checksum), header_checksum);

		// Built whole in memory, then put in place in one replacement: the old
		// file stays as it was until the new one is complete.
		file_reference folder;
		file_reference_copy(&folder, file);
		file_path_remove_name(folder.path);
		folder.flags &= static_cast<uint16>(~has_filename_flag);
		if (!single_file_replace(&folder, file_name, bytes, static_cast<int32>(file_size)))
		{
			error_message(_error_file_system_write, MODULE_NAME, __LINE__,
				"couldn't create and open new monolithic file '%s'", path);
			built = FALSE;
		}
	}
	else
	{
		error_message(_error_file_system_write, MODULE_NAME, __LINE__, "failed to write to new monolithic file");
	}
	dispose_pointer(bytes);
	dispose_pointer(kept);
	return built;
}

boolean tag_files_build_foundation_files(void)
{
	tag_file_global_data *g = &tag_file_globals;
	if (!g->tag_headers) return FALSE;
	int32 *handles = static_cast<int32 *>(new_pointer(sizeof(int32) * MAXIMUM_SIMULTANEOUS_TAG_HEADERS));
	if (!handles) return FALSE;
	boolean all_built = TRUE;
	for (int16 foundation_index = 0; foundation_index < NUMBER_OF_FOUNDATION_TAG_FILES; ++foundation_index)
	{
		int32 count = 0;
		for (int32 index = 0; index < g->tag_headers->count; ++index)
		{
			const int32 handle = tag_header_handle_from_index(index);
			const tag_header *header = tag_header_get(handle);
			if (header && tag_header_is_visible(header) && header->foundation_tag_file_index == foundation_index)
			{
				handles[count++] = handle;
			}
		}
		file_reference file;
		if (!foundation_file_reference(foundation_index, _file_location_working_directory, &file) ||
			!build_monolithic_file_from_tag_indexes(&file, _tag_file_type_foundation, FOUNDATION_TAG_FILE_VERSION, handles,
				count))
		{
			all_built = FALSE;
		}
	}
	dispose_pointer(handles);
	return all_built;
}

/* ---------- the single-instance lock */

static boolean exclusive_mode_file(file_reference *file)
{
	file_reference_create(file, _file_location_working_directory);
	return file_reference_add_directory(file, tag_file_strings[_tag_file_string_local_folder]) &&
		file_reference_set_name(file, EXCLUSIVE_MODE_FILE_NAME);
}

// Makes the lock file when it is missing; an existing one is never emptied.
static void create_lock_file(const char *path)
{
	const int fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
	if (fd >= 0) close(fd);
}

boolean set_exclusive_mode(void)
{
	tag_file_global_data *g = &tag_file_globals;
	if (g->exclusive_mode_held)
	{
		if (g->exclusive_mode_process == static_cast<int32>(getpid())) return TRUE;
		// Inherited across fork: the lock is the parent's, and closing it here would release it.
		memset(&g->exclusive_file, 0, sizeof(g->exclusive_file));
		g->exclusive_mode_held = FALSE;
	}

	file_reference file;
	char path[MAXIMUM_FILE_PATH_SIZE];
	if (!exclusive_mode_file(&file)) return FALSE;
	tag_files_path_text(&file, path);
	for (int32 attempt = 0; attempt < 2; ++attempt)
	{
		create_lock_file(path);
		file_reference locked;
		file_reference_copy(&locked, &file);
		if (!file_open(&locked, _permission_read_flag | _permission_write_flag)) return FALSE;
		// A releasing instance may have unlinked the file before we locked it.
		struct stat held, named;
		if (fstat(fileno(locked.handle), &held) == 0 && stat(path, &named) == 0 && held.st_dev == named.st_dev &&
			held.st_ino == named.st_ino)
		{
			memcpy(&g->exclusive_file, &locked, sizeof(locked));
			g->exclusive_mode_held = TRUE;
			g->exclusive_mode_process = static_cast<int32>(getpid());
			if (!g->exclusive_release_registered)
			{
				atexit(release_exclusive_mode);
				g->exclusive_release_registered = TRUE;
			}
			return TRUE;
		}
		file_close(&locked);
	}
	return FALSE;
}

void release_exclusive_mode(void)
{
	tag_file_global_data *g = &tag_file_globals;
	if (!g->exclusive_mode_held || g->exclusive_mode_process != static_cast<int32>(getpid())) return;
	// Unlinked while still locked, so that no one locks a file about to vanish.
	file_delete(&g->exclusive_file);
	file_close(&g->exclusive_file);
	g->exclusive_mode_held = FALSE;
}

/* ---------- modification dates */

const char *get_tag_modification_date(int32 handle)
{
	static char date_text[256];
	date_text[0] = 0;
	const tag_header *header = tag_header_get(handle);
	file_reference file;
	struct tm date;
	if (!header || !tag_header_local_file(header, &file) || !file_get_modification_date(&file, &date)) return date_text;
	// Month names in the C locale whatever the user's.
	locale_t c_locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
	if (!c_locale) return date_text;
	if (strftime_l(date_text, sizeof(date_text), "%b %d, %Y %I:%M %p", &date, c_locale) == 0) date_text[0] = 0;
	freelocale(c_locale);
	return date_text;
}
