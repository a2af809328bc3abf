#include "preload_definitions.h"

#include <cinttypes>
#include <string>

#include "definitions.h"
#include "error_manager.h"
#include "quicksort.h"
#include "screen.h"
#include "shapes.h"
#include "tag_files/tag_files.h"
#include "tag_groups.h"
#include "x_files.h"
#include "CoreLibrary/input/sdl_input.h"
#include "input/actions.h"

#define PRELOAD_DATA_HEADER_SIZE static_cast<int32>(sizeof(preload_definition))
#define MESH_DEFINITION_GROUP_TAG TAG("mesh")
#define COLLECTION_DEFINITION_GROUP_TAG TAG(".256")
// Twice the entries, so that probing stays short.
#define PRELOAD_HANDLE_SET_SIZE (2 * MAXIMUM_PRELOAD_DATA_ENTRIES)

static const preload_definition default_preload_definition = {0, PRELOAD_DATA_HEADER_SIZE, 0, 0, 0, 0, 0, 0};

static definition_globals preload_definitions =
{
	"preload", PRELOAD_DEFINITION_GROUP_TAG, PRELOAD_DEFINITION_VERSION_NUMBER, MAXIMUM_PRELOAD_DEFINITIONS_PER_MAP,
	static_cast<int16>(sizeof(preload_definition)), nullptr, nullptr, nullptr, &default_preload_definition,
	preload_definition_byte_swapping_data, 0,
	nullptr, nullptr, nullptr, NONE, 0, nullptr, nullptr, nullptr
};

struct preload_globals_data
{
	preload_data *data; // the list's entries in host order; NULL without a list
};

static preload_globals_data preload_globals;

// One tag a map needed, with where it lies.
struct dependency_entry
{
	file_tag group;
	file_tag subgroup;
	int32 foundation_tag_file_index;
	int32 file_offset;
	int32 tag_handle;
};

/* ---------- loading */

void initialize_preloading(void)
{
	initialize_definitions(&preload_definitions);
}

static void drop_preload_list(int16 definition_index)
{
	free_and_clear(&preload_globals.data);
	delete_definition(&preload_definitions, definition_index);
}

void initialize_preloading_for_new_map(file_tag mesh_tag)
{
	// One list per map: whatever an earlier map left goes.
	free_and_clear(&preload_globals.data);
	dispose_definitions_from_old_map(&preload_definitions);
	initialize_definitions_for_new_map(&preload_definitions);

	if (mesh_tag == static_cast<file_tag>(NONE) || !tag_file_exists(PRELOAD_DEFINITION_GROUP_TAG, mesh_tag)) return;

	const int16 definition_index = definition_tag_to_index(&preload_definitions, mesh_tag);
	if (definition_index == NONE) return;

	const preload_definition *preload =
		static_cast<const preload_definition *>(try_and_get_definition(&preload_definitions, definition_index));
	const int32 tag_handle = get_definition_tag_header(&preload_definitions, definition_index);
	const int64 tag_size = tag_file_get_header_data_size(tag_handle);
	const int32 count = preload->preload_data_count;
	const int32 offset = preload->preload_data_offset;
	const int32 size = preload->preload_data_size;

	if (count < 0 || count > MAXIMUM_PRELOAD_DATA_ENTRIES ||
		static_cast<int64>(size) != static_cast<int64>(sizeof(preload_data)) * count ||
		offset < PRELOAD_DATA_HEADER_SIZE || static_cast<int64>(offset) + size > tag_size)
	{
		error_message(_error_data_corrupted, MODULE_NAME, __LINE__, "invalid preload data for map %s",
			tag_to_string(mesh_tag));
		drop_preload_list(definition_index);
		// The list is only rewritten after a start that succeeds, so a damaged
		// local list would fail every later start of this map: it goes, and the
		// next successful start records a fresh one.
		if (tag_file_get_tag_file_type(tag_handle) == _tag_file_type_local) tag_file_delete(tag_handle);
		return;
	}
	if (count == 0) return;

	preload_globals.data = static_cast<preload_data *>(new_pointer(static_cast<size_t>(size)));
	if (!preload_globals.data)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate #%d bytes for preloading data",
			static_cast<int>(size));
		drop_preload_list(definition_index);
		return;
	}
	if (!tag_file_read(tag_handle, offset, size, preload_globals.data))
	{
		error_message(_error_file_system_read, MODULE_NAME, __LINE__, "couldn't write read preload data for map %s",
			tag_to_string(mesh_tag));
		drop_preload_list(definition_index);
		return;
	}
	byte_swap_data("preload data", preload_globals.data, static_cast<int32>(sizeof(preload_data)), count,
		preload_data_byte_swapping_data);
}

void dispose_preloading_from_old_map(void)
{
	free_and_clear(&preload_globals.data);
	dispose_definitions_from_old_map(&preload_definitions);
}

preload_definition *preload_definition_get(void)
{
	if (preload_definitions.count <= 0) return nullptr;
	return static_cast<preload_definition *>(try_and_get_definition(&preload_definitions, 0));
}

const preload_data *preload_definition_get_data(void)
{
	return preload_definition_get() ? preload_globals.data : nullptr;
}

const preload_definition *get_default_preload_definition(void)
{
	return &default_preload_definition;
}

void fetch_preloaded_definitions(void)
{
}

/* ---------- writing */

static int preload_data_sort_func(const void *a, const void *b)
{
	const dependency_entry *entry_a = static_cast<const dependency_entry *>(a);
	const dependency_entry *entry_b = static_cast<const dependency_entry *>(b);

	if (entry_a->foundation_tag_file_index != entry_b->foundation_tag_file_index)
	{
		return entry_a->foundation_tag_file_index < entry_b->foundation_tag_file_index ? -1 : 1;
	}
	if (entry_a->file_offset != entry_b->file_offset) return entry_a->file_offset < entry_b->file_offset ? -1 : 1;
	return 0;
}

static definition_globals *find_registered_group(file_tag group_tag)
{
	for (int16 i = 0; i < get_cached_definition_globals_count(); ++i)
	{
		definition_globals *definitions = get_cached_definition_globals(i);
		if (definitions->group == group_tag) return definitions;
	}
	return nullptr;
}

// Adds the handle to the set; FALSE when it was already there.
static boolean add_to_handle_set(int32 *set, int32 handle)
{
	uint32 slot = (static_cast<uint32>(handle) * 2654435761u) % PRELOAD_HANDLE_SET_SIZE;
	while (set[slot] != NONE)
	{
		if (set[slot] == handle) return FALSE;
		slot = (slot + 1) % PRELOAD_HANDLE_SET_SIZE;
	}
	set[slot] = handle;
	return TRUE;
}

// Every loaded definition whose tag is found, each tag once, at most
// MAXIMUM_PRELOAD_DATA_ENTRIES.
static int32 collect_dependencies(dependency_entry *entries, int32 *handle_set)
{
	int32 count = 0;

	for (int32 i = 0; i < PRELOAD_HANDLE_SET_SIZE; ++i) handle_set[i] = NONE;
	for (int16 group_index = 0; group_index < get_cached_definition_globals_count(); ++group_index)
	{
		definition_globals *definitions = get_cached_definition_globals(group_index);
		for (int16 i = 0; i < definitions->count; ++i)
		{
			const file_tag group = get_definition_group(definitions, i);
			const file_tag subgroup = get_definition_subgroup(definitions, i);
			if (subgroup == static_cast<file_tag>(NONE)) continue;
			if (group == COLLECTION_DEFINITION_GROUP_TAG && is_resolution_collection(subgroup)) continue;

			const int32 tag_handle = tag_file_open(group, subgroup);
			if (tag_handle == NONE || !add_to_handle_set(handle_set, tag_handle)) continue;
			if (count >= MAXIMUM_PRELOAD_DATA_ENTRIES) return count;

			dependency_entry *entry = &entries[count++];
			entry->group = group;
			entry->subgroup = subgroup;
			entry->foundation_tag_file_index = tag_file_get_tag_file_foundation_tag_file_index(tag_handle);
			entry->file_offset = tag_file_get_file_offset(tag_handle);
			entry->tag_handle = tag_handle;
		}
	}
	return count;
}

static void write_dependency_text(file_tag mesh_tag, const dependency_entry *entries, int32 count)
{
	const int32 mesh_handle = tag_file_open(MESH_DEFINITION_GROUP_TAG, mesh_tag);
	const char *mesh_name = mesh_handle == NONE ? "<unknown>" : tag_file_name_get(mesh_handle);
	char line[512];
	std::string text;

	snprintf(line, sizeof(line), "%s, Count= %d\r", mesh_name, static_cast<int>(count));
	text += line;
	for (int32 i = 0; i < count; ++i)
	{
		const dependency_entry *entry = &entries[i];
		snprintf(line, sizeof(line), "[%d, %d] %s, %s ~ %s \n", static_cast<int>(entry->foundation_tag_file_index),
			static_cast<int>(entry->file_offset), tag_group_get_name(entry->group), tag_to_string(entry->subgroup),
			tag_file_name_get(entry->tag_handle));
		text += line;
	}

	char name[MAXIMUM_FILE_PATH_SIZE];
	snprintf(name, sizeof(name), "%s dependencies.txt", mesh_name);
	file_reference folder;
	file_reference_create(&folder, _file_location_working_directory);
	if (!single_file_replace(&folder, name, text.data(), static_cast<int32>(text.size())))
	{
		log_message(MODULE_NAME, __LINE__, "couldn't write '%s'", name);
	}
}

void report_dependencies_for_new_map(file_tag mesh_tag)
{
	const definition_globals *meshes = find_registered_group(MESH_DEFINITION_GROUP_TAG);
	if (!meshes || meshes->count < 0) return;

	const size_t entries_size = sizeof(dependency_entry) * MAXIMUM_PRELOAD_DATA_ENTRIES;
	const size_t set_size = sizeof(int32) * PRELOAD_HANDLE_SET_SIZE;
	uint8 *block = static_cast<uint8 *>(new_pointer(entries_size + set_size));
	if (!block)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate #%d bytes for preloading data to save",
			static_cast<int>(entries_size + set_size));
		return;
	}
	dependency_entry *entries = reinterpret_cast<dependency_entry *>(block);
	int32 *handle_set = reinterpret_cast<int32 *>(block + entries_size);

	const int32 count = collect_dependencies(entries, handle_set);
	qsort_private(entries, count, sizeof(dependency_entry), preload_data_sort_func);

	// The whole tag: header, then each entry's group and subgroup, big-endian.
	const int32 data_size = PRELOAD_DATA_HEADER_SIZE + static_cast<int32>(sizeof(preload_data)) * count;
	uint8 *data = static_cast<uint8 *>(new_pointer(static_cast<size_t>(data_size)));
	if (!data)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate #%d bytes for preloading data to save",
			static_cast<int>(data_size));
		dispose_pointer(block);
		return;
	}
	preload_definition header = default_preload_definition;
	header.preload_data_count = count;
	header.preload_data_offset = PRELOAD_DATA_HEADER_SIZE;
	header.preload_data_size = static_cast<int32>(sizeof(preload_data)) * count;
	byte_swap_move("preload definition", data, &header, PRELOAD_DATA_HEADER_SIZE, 1,
		preload_definition_byte_swapping_data);
	preload_data *list = reinterpret_cast<preload_data *>(data + PRELOAD_DATA_HEADER_SIZE);
	for (int32 i = 0; i < count; ++i)
	{
		const preload_data entry = {entries[i].group, entries[i].subgroup};
		byte_swap_move("preload data", &list[i], &entry, static_cast<int32>(sizeof(preload_data)), 1,
			preload_data_byte_swapping_data);
	}

	// The tag takes the mesh's own subgroup, so that the next load finds it
	// whatever the characters of the name.
	const int32 tag_handle = tag_file_new_with_subgroup_tag(PRELOAD_DEFINITION_GROUP_TAG, tag_to_string(mesh_tag),
		mesh_tag, PRELOAD_DEFINITION_VERSION_NUMBER, data, data_size);
	dispose_pointer(data);
	if (tag_handle == NONE)
	{
		error_message(_error_file_system_write, MODULE_NAME, __LINE__, "couldn't write header for preload data for map %s",
			tag_to_string(mesh_tag));
		dispose_pointer(block);
		return;
	}

	if (key_down(_key_shift)) write_dependency_text(mesh_tag, entries, count);
	dispose_pointer(block);
	report_preloaded_bitmaps(mesh_tag, mesh_tag);
}
