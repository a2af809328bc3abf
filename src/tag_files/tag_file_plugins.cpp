// The plugin catalogue, patches, the tag-set opening sequence, the plugin
// order of one map, encoded plugin lists, checksums and the cache file.
#include "tag_files/tag_files_private.h"

#include "bitmap_dialogs/screens.h"
#include "error_manager.h"
#include "memory.h"
#include "metaserver/metaserver.h"
#include "quicksort.h"
#include "tag_files/required_tag_files.h"
#include "zerv.h"
#include "zerv_networking/zerv_networking.h"

#define MAXIMUM_MISSING_DEPENDENCIES 16
#define ENCODED_PLUGIN_NAME_LENGTH 32
#define ENCODED_PLUGIN_URL_LENGTH 64

static const int16 plugin_folder_types[] =
{
	_tag_file_type_plugin, _tag_file_type_patch, _tag_file_type_interface, _tag_file_type_add_on
};

/* ---------- the catalogue */

static plugin_datum *plugin_get(int32 plugin_index)
{
	data_array *plugins = tag_file_globals.plugins;
	if (!plugins || plugin_index < 0 || plugin_index >= plugins->count) return nullptr;
	return static_cast<plugin_datum *>(datum_get(plugins, plugin_index));
}

static entry_point_datum *entry_point_get(int32 index)
{
	data_array *entry_points = tag_file_globals.entry_points;
	if (!entry_points || index < 0 || index >= entry_points->count) return nullptr;
	return static_cast<entry_point_datum *>(datum_get(entry_points, index));
}

static boolean plugin_folder_reference(const char *name, file_reference *file)
{
	file_reference_create(file, _file_location_working_directory);
	if (!file_reference_add_directory(file, tag_file_strings[_tag_file_string_plugin_folder])) return FALSE;
	return name ? file_reference_set_name(file, name) : TRUE;
}

// The next file of a folder listing that opens as a tag file (its header read); FALSE at the listing's end.
static boolean find_next_tag_file(file_reference *file, tag_file_header *header)
{
	while (find_files_next(file))
	{
		char name[MAXIMUM_FILE_PATH_SIZE];
		if (!(file->flags & has_filename_flag) || tag_files_skip_listed_name(tag_files_file_name(file, name))) continue;
		if (tag_file_open_monolithic_file(file, header)) return TRUE;
	}
	return FALSE;
}

static boolean is_qel_plugin_name(const char *name, int32 which)
{
	return strcmp(name, qel_plugins[which].name) == 0;
}

void tag_files_reset_plugin_catalogue(void)
{
	tag_file_global_data *g = &tag_file_globals;
	if (g->plugins) data_delete_all(g->plugins);
	if (g->entry_points) data_delete_all(g->entry_points);
	g->qel_plugin_index = NONE;
}

int16 tag_file_get_plugin_count(void)
{
	const data_array *plugins = tag_file_globals.plugins;
	return plugins ? plugins->count : 0;
}

boolean tag_file_indexed_plugin_get(int16 index, plugin_info *info)
{
	const plugin_datum *plugin = plugin_get(index);
	if (!plugin) return FALSE;
	memset(info, 0, sizeof(*info));
	memcpy(info->name, plugin->name, sizeof(info->name));
	memcpy(info->url, plugin->url, sizeof(info->url));
	info->game_critical = plugin->game_critical;
	info->hidden = plugin->hidden;
	info->mesh_plugin = plugin->mesh_plugin;
	info->type = plugin->type;
	info->version = plugin->version;
	return TRUE;
}

int16 get_qel_plugin_index(void)
{
	return tag_file_globals.qel_plugin_index;
}

static int compare_plugins_by_name(const void *a, const void *b)
{
	const plugin_datum *first = static_cast<const plugin_datum *>(a);
	const plugin_datum *second = static_cast<const plugin_datum *>(b);
	const int order = tag_files_compare_names(first->name, second->name);
	return order ? order : strcmp(first->name, second->name);
}

// Fills a new plugin record from a validated header; NONE when the array is full.
static int16 add_plugin(file_reference *file, const tag_file_header *header)
{
	tag_file_global_data *g = &tag_file_globals;
	const int32 handle = datum_new(g->plugins);
	if (handle == NONE)
	{
		log_message(nullptr, NONE, "Warning: Plugin limit of %d exceeded... %s -NOT LOADED-", MAXIMUM_PLUGIN_INDEXES,
			header->name);
		return NONE;
	}
	const int16 index = static_cast<int16>(static_cast<uint32>(handle) & 0xFFFF);
	if (!add_entry_points_from_monolithic_file(file, header, index))
	{
		datum_delete(g->plugins, handle);
		return NONE;
	}

	plugin_datum *plugin = plugin_get(index);
	memcpy(plugin->name, header->name, sizeof(plugin->name));
	memcpy(plugin->url, header->url, sizeof(plugin->url));
	plugin->name[TAG_NAME_LENGTH - 1] = 0;
	plugin->url[TAG_FILE_URL_LENGTH - 1] = 0;
	plugin->version = header->version;
	plugin->type = header->type;
	plugin->game_critical = (header->flags & _tag_file_is_game_critical_flag) ? TRUE : FALSE;
	plugin->checksum = header->checksum;
	plugin->mesh_plugin = header->entry_point_count != 0;
	plugin->hidden = FALSE;
	plugin->original_plugin_index = index;

	if (plugin->type == _tag_file_type_plugin && plugin->version != NONE)
	{
		const char *url = plugin->url;
		if (!url[0] || strstr(url, "http:") || strstr(url, "www.") || strstr(url, ".com") || strstr(url, ".net"))
		{
			plugin->version &= static_cast<int16>(~_plugin_relies_on_another_plugin_flag);
		}
		if (plugin->version == static_cast<int16>(_plugin_load_order_reversed_flag) &&
			strncmp(url, QEL_PLUGIN_HOST_PREFIX, strlen(QEL_PLUGIN_HOST_PREFIX)) == 0 &&
			(is_qel_plugin_name(plugin->name, 0) || is_qel_plugin_name(plugin->name, 1)))
		{
			plugin->hidden = TRUE;
			plugin->version &= static_cast<int16>(~_plugin_load_order_reversed_flag);
			if (is_qel_plugin_name(plugin->name, 1)) g->qel_plugin_index = index;
		}
	}
	return index;
}

void tag_files_update_available_plugins(void)
{
	tag_file_global_data *g = &tag_file_globals;
	if (!g->plugins || !g->entry_points) return;
	// Plugin indexes are about to change under the temporary plugin.
	tag_file_plugin_close_temporary();
	g->qel_plugin_index = NONE;
	data_delete_all(g->plugins);
	for (int32 index = 0; index < g->entry_points->count; ++index)
	{
		const entry_point_datum *entry_point = entry_point_get(index);
		if (entry_point && entry_point->plugin_index != NONE)
		{
			datum_delete(g->entry_points, index);
		}
	}

	file_reference folder;
	if (plugin_folder_reference(nullptr, &folder))
	{
		file_reference file;
		tag_file_header header;
		find_files_start(0, &folder);
		while (find_next_tag_file(&file, &header))
		{
			boolean wanted = FALSE;
			for (int16 type : plugin_folder_types) wanted = wanted || header.type == type;
			if (!wanted || !tag_files_check_capacity(header.name, header.tag_count)) continue;
			if (!add_tags_from_monolithic_file(&file, &header, TRUE)) continue;
			add_plugin(&file, &header);
		}
		find_files_end();
	}

	// Indexes become positions in name order.
	int16 new_indexes[MAXIMUM_PLUGIN_INDEXES];
	for (int16 &index : new_indexes) index = NONE;
	data_sort(g->plugins, compare_plugins_by_name);
	for (int16 index = 0; index < g->plugins->count; ++index)
	{
		plugin_datum *plugin = plugin_get(index);
		if (plugin->original_plugin_index >= 0 && plugin->original_plugin_index < MAXIMUM_PLUGIN_INDEXES)
		{
			new_indexes[plugin->original_plugin_index] = index;
		}
		plugin->original_plugin_index = index;
	}
	for (int32 index = 0; index < g->entry_points->count; ++index)
	{
		entry_point_datum *entry_point = entry_point_get(index);
		if (entry_point && entry_point->plugin_index != NONE)
		{
			entry_point->plugin_index = new_indexes[entry_point->plugin_index];
		}
	}
	if (g->qel_plugin_index != NONE) g->qel_plugin_index = new_indexes[g->qel_plugin_index];

	load_patch_tags(tag_files_get_patch_version());
}

int32 tag_file_entry_points_get(entry_point_info *entries)
{
	tag_file_global_data *g = &tag_file_globals;
	if (!g->entry_points) return 0;
	const boolean restricted = g->local_folder_disabled;
	int32 count = 0;
	for (int32 i = 0; i < g->entry_points->count; ++i)
	{
		const entry_point_datum *entry_point = entry_point_get(i);
		if (!entry_point || (restricted && entry_point->local_folder_flag)) continue;
		boolean hidden = FALSE;
		for (int32 j = 0; j < g->entry_points->count && !hidden; ++j)
		{
			const entry_point_datum *other = entry_point_get(j);
			if (j == i || !other || (restricted && other->local_folder_flag)) continue;
			if (other->plugin_index != entry_point->plugin_index || other->priority < entry_point->priority) continue;
			hidden = tag_files_compare_names(other->name, entry_point->name) == 0 ||
				tag_files_compare_names(other->printed_name, entry_point->printed_name) == 0;
		}
		if (hidden) continue;
		if (entries)
		{
			entry_point_info *info = &entries[count];
			memset(info, 0, sizeof(*info));
			info->plugin_index = entry_point->plugin_index;
			memcpy(info->printed_name, entry_point->printed_name, sizeof(info->printed_name));
			memcpy(info->name, entry_point->name, sizeof(info->name));
			info->subgroup_tag = entry_point->subgroup_tag;
			info->user_data = entry_point->user_data;
		}
		count += 1;
	}
	return count;
}

/* ---------- opening a tag set */

boolean load_plugin_tags(const int16 *plugin_indexes, int16 plugin_count)
{
	boolean result = TRUE;
	for (int16 i = 0; i < plugin_count; ++i)
	{
		const plugin_datum *plugin = plugin_get(plugin_indexes[i]);
		boolean validated = FALSE;
		int16 record = NONE;
		file_reference file;
		tag_file_header header;
		if (plugin && plugin_folder_reference(plugin->name, &file))
		{
			record = tag_files_load_monolithic_file(&file, plugin_folder_types, NUMBEROF(plugin_folder_types),
				&header, &validated);
		}
		if (record == NONE)
		{
			log_message(nullptr, NONE, "Failed to load plugin %s - plugin opened = %d, new tags added = %d",
				plugin ? plugin->name : "<unknown>", validated ? 1 : 0, 0);
			result = FALSE;
		}
	}
	return result;
}

static int compare_add_ons(const void *a, const void *b)
{
	const int16 first = *static_cast<const int16 *>(a);
	const int16 second = *static_cast<const int16 *>(b);
	const int16 first_version = plugin_get(first)->version;
	const int16 second_version = plugin_get(second)->version;
	if (first_version != second_version) return first_version < second_version ? -1 : 1;
	return first < second ? -1 : first > second ? 1 : 0;
}

static void append_patch_index(int16 plugin_index)
{
	tag_file_global_data *g = &tag_file_globals;
	if (g->patch_count < MAXIMUM_PLUGIN_INDEXES) g->patch_plugin_indexes[g->patch_count++] = plugin_index;
}

boolean load_patch_tags(int16 requested)
{
	tag_file_global_data *g = &tag_file_globals;
	if (requested == 0) return TRUE;
	const boolean logging = requested >= 2 && requested != g->previous_requested_patch_version;
	const int16 highest = tag_files_get_patch_version();
	const int16 last_version = game_play_version < 1301 ? highest : requested;
	const boolean counts_checksum = requested == highest;
	if (counts_checksum) g->patch_checksum = 0;
	g->patch_count = 0;
	const int16 plugin_count = tag_file_get_plugin_count();

	if (logging)
	{
		log_message(nullptr, NONE, "Loading Patch Files...");
		if (chosen_interface[0])
		{
			boolean known = FALSE;
			for (int16 i = 0; i < plugin_count && !known; ++i)
			{
				const plugin_datum *plugin = plugin_get(i);
				known = plugin && plugin->type == _tag_file_type_interface && strcmp(plugin->name, chosen_interface) == 0;
			}
			if (!known) chosen_interface[0] = 0;
		}
	}

	boolean outcome = TRUE;
	for (int16 version = 2; version <= last_version; ++version)
	{
		boolean supplied = FALSE;
		for (int16 i = 0; i < plugin_count; ++i)
		{
			const plugin_datum *plugin = plugin_get(i);
			if (!plugin || plugin->version != version) continue;
			if (plugin->type == _tag_file_type_patch || plugin->type == _tag_file_type_add_on)
			{
				const boolean interface_patch = strstr(plugin->name, "Interface") != nullptr;
				if (version > requested && !interface_patch && plugin->type != _tag_file_type_add_on) continue;
				if (chosen_interface[0] && interface_patch) continue;
				if (logging) log_message(nullptr, NONE, "  %s", plugin->name);
				append_patch_index(i);
				if (plugin->type == _tag_file_type_patch && counts_checksum) g->patch_checksum ^= plugin->checksum;
				supplied = TRUE;
			}
			else if (plugin->type == _tag_file_type_interface && chosen_interface[0] &&
				strcmp(plugin->name, chosen_interface) == 0)
			{
				if (logging) log_message(nullptr, NONE, "  %s", plugin->name);
				for (int16 j = 0; j < plugin_count; ++j)
				{
					const plugin_datum *base = plugin_get(j);
					if (!base || strcmp(base->name, BASE_INTERFACE_PATCH_NAME) != 0) continue;
					if (logging) log_message(nullptr, NONE, "  %s", base->name);
					append_patch_index(j);
				}
				append_patch_index(i);
				if (counts_checksum) g->patch_checksum ^= plugin->checksum;
				supplied = TRUE;
			}
		}
		if (version <= requested)
		{
			if (!supplied)
			{
				g->patch_count = 0;
				g->previous_requested_patch_version = requested;
				return FALSE;
			}
		}
	}

	g->foundation_checksum ^= g->patch_checksum;
	outcome = load_plugin_tags(g->patch_plugin_indexes, g->patch_count);

	// Add-ons of later versions load after the patches.
	int16 add_ons[MAXIMUM_PLUGIN_INDEXES];
	int16 add_on_count = 0;
	for (int16 i = 0; i < plugin_count; ++i)
	{
		const plugin_datum *plugin = plugin_get(i);
		if (plugin && plugin->type == _tag_file_type_add_on && plugin->version > last_version) add_ons[add_on_count++] = i;
	}
	if (add_on_count)
	{
		qsort_private(add_ons, add_on_count, sizeof(int16), compare_add_ons);
		for (int16 i = 0; i < add_on_count; ++i)
		{
			if (logging) log_message(nullptr, NONE, "  %s", plugin_get(add_ons[i])->name);
		}
		outcome = load_plugin_tags(add_ons, add_on_count) && outcome;
	}

	if (logging) log_message(nullptr, NONE, "Loading Patch Files Succeeded");
	g->previous_requested_patch_version = requested;
	return outcome;
}

boolean tag_files_open(boolean local_folder_disabled, const int16 *plugin_indexes, int16 plugin_count,
	int16 patch_version)
{
	tag_file_global_data *g = &tag_file_globals;
	tag_files_close();
	if (!g->tag_headers) return FALSE;
	g->readahead_buffer = static_cast<uint8 *>(new_pointer(READAHEAD_LENGTH));
	if (!g->readahead_buffer)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate %d bytes for readahead buffer",
			READAHEAD_LENGTH);
		return FALSE;
	}
	if (patch_version == NONE) patch_version = tag_files_get_patch_version();
	g->patch_version = patch_version;

	const boolean foundation = load_foundation_tags();
	const boolean patches = load_patch_tags(patch_version);
	const boolean plugins = load_plugin_tags(plugin_indexes, plugin_indexes ? plugin_count : 0);
	if (!patches || !plugins)
	{
		g->open = FALSE;
		log_message(nullptr, NONE, "Error: tag_file_open - foundation=%d patch=%d plugin=%d local=%d", foundation ? 1 : 0,
			patches ? 1 : 0, plugins ? 1 : 0, 0);
		return FALSE;
	}

	g->open = TRUE;
	g->local_folder_disabled = local_folder_disabled;
	load_local_tags();
	if (!local_folder_disabled && !g->cached_local_entry_points_flag) tag_files_add_local_entry_points();
	return TRUE;
}

/* ---------- encoded plugin lists */

int32 tag_file_plugins_encode(const int16 *plugin_indexes, int16 plugin_count, void *buffer)
{
	uint8 *bytes = static_cast<uint8 *>(buffer);
	memset(bytes, 0, MAXIMUM_ENCODED_PLUGIN_BUFFER_SIZE);
	int32 offset = 2;
	int16 encoded = 0;
	for (int16 i = 0; i < plugin_count && encoded < MAXIMUM_ENCODED_PLUGINS; ++i)
	{
		const plugin_datum *plugin = plugin_indexes ? plugin_get(plugin_indexes[i]) : nullptr;
		if (!plugin) continue;
		const int32 name_length = mstrnlen(plugin->name, ENCODED_PLUGIN_NAME_LENGTH - 1);
		const int32 url_length = mstrnlen(plugin->url, ENCODED_PLUGIN_URL_LENGTH - 1);
		const int32 needed = 4 + name_length + 1 + url_length + 1;
		if (offset + needed > MAXIMUM_ENCODED_PLUGIN_BUFFER_SIZE) break;
		tag_files_put_big_endian_32(bytes + offset, plugin->checksum);
		memcpy(bytes + offset + 4, plugin->name, name_length);
		memcpy(bytes + offset + 4 + name_length + 1, plugin->url, url_length);
		offset += needed;
		encoded += 1;
	}
	// The count is the number of entries actually written.
	bytes[0] = static_cast<uint8>(static_cast<uint16>(encoded) >> 8);
	bytes[1] = static_cast<uint8>(encoded);
	return offset;
}

struct encoded_plugin_entry
{
	uint32 checksum;
	const char *name;
	const char *url;
};

// A terminated string of at most maximum_length bytes (terminator included) at *offset.
static const char *decode_plugin_text(const uint8 *bytes, int32 length, int32 *offset, int32 maximum_length)
{
	const int32 available = MIN(maximum_length, length - *offset);
	for (int32 i = 0; i < available; ++i)
	{
		if (bytes[*offset + i] == 0)
		{
			const char *text = reinterpret_cast<const char *>(bytes + *offset);
			*offset += i + 1;
			return text;
		}
	}
	return nullptr;
}

static boolean decode_plugin_entry(const uint8 *bytes, int32 length, int32 *offset, encoded_plugin_entry *entry)
{
	if (*offset + 4 > length) return FALSE;
	const uint8 *p = bytes + *offset;
	entry->checksum = (static_cast<uint32>(p[0]) << 24) | (static_cast<uint32>(p[1]) << 16) |
		(static_cast<uint32>(p[2]) << 8) | p[3];
	int32 position = *offset + 4;
	entry->name = decode_plugin_text(bytes, length, &position, ENCODED_PLUGIN_NAME_LENGTH);
	if (!entry->name) return FALSE;
	entry->url = decode_plugin_text(bytes, length, &position, ENCODED_PLUGIN_URL_LENGTH);
	if (!entry->url) return FALSE;
	*offset = position;
	return TRUE;
}

// The encoded count, or NONE when the list can't be decoded at all.
static int16 decode_plugin_count(const void *buffer, int32 length)
{
	if (!buffer || length < 0 || length > MAXIMUM_ENCODED_PLUGIN_BUFFER_SIZE) return NONE;
	if (length == 0) return 0;
	if (length < 2) return NONE;
	const uint8 *bytes = static_cast<const uint8 *>(buffer);
	const int16 count = static_cast<int16>((bytes[0] << 8) | bytes[1]);
	return count >= 0 && count <= MAXIMUM_ENCODED_PLUGINS ? count : static_cast<int16>(NONE);
}

static int16 find_available_plugin(const encoded_plugin_entry *entry)
{
	for (int16 i = 0; i < tag_file_get_plugin_count(); ++i)
	{
		const plugin_datum *plugin = plugin_get(i);
		if (plugin && plugin->checksum == entry->checksum && tag_files_compare_names(plugin->name, entry->name) == 0) return i;
	}
	return NONE;
}

// Appends one whole line; a line that does not fit is left out.
static void append_missing_line(char *text, int32 text_size, const char *name, const char *url)
{
	if (!text || text_size <= 0) return;
	char line[ENCODED_PLUGIN_NAME_LENGTH + ENCODED_PLUGIN_URL_LENGTH + 32];
	const char *prefix = strncmp(url, "http://", 7) == 0 ? "" : "http://";
	snprintf(line, sizeof(line), "%s - %s%s\r", name, prefix, url);
	const size_t used = strlen(text);
	if (used + strlen(line) < static_cast<size_t>(text_size)) strcat(text, line);
}

boolean tag_file_plugins_decode(int16 *plugin_indexes, int16 *plugin_count, const void *buffer, int32 length,
	char *missing_text, int32 missing_text_size)
{
	*plugin_count = 0;
	if (missing_text && missing_text_size > 0) missing_text[0] = 0;
	const int16 count = decode_plugin_count(buffer, length);
	if (count == NONE) return FALSE;

	const uint8 *bytes = static_cast<const uint8 *>(buffer);
	boolean result = TRUE;
	int32 offset = 2;
	for (int16 i = 0; i < count; ++i)
	{
		encoded_plugin_entry entry;
		if (!decode_plugin_entry(bytes, length, &offset, &entry))
		{
			// Nothing after an entry that does not decode can be found again.
			append_missing_line(missing_text, missing_text_size, "<unknown>", "<unknown>");
			result = FALSE;
			break;
		}
		const int16 index = find_available_plugin(&entry);
		if (index == NONE)
		{
			append_missing_line(missing_text, missing_text_size, entry.name, entry.url);
			result = FALSE;
			continue;
		}
		if (plugin_indexes) plugin_indexes[*plugin_count] = index;
		*plugin_count += 1;
	}
	return result;
}

int16 tag_file_plugins_encoded_count(const void *buffer, int32 length)
{
	return decode_plugin_count(buffer, length);
}

int32 tag_file_plugins_decode_missing(const void *buffer, int32 length, missing_plugin_info *missing,
	int32 maximum_count)
{
	const int16 count = decode_plugin_count(buffer, length);
	if (count == NONE) return 0;
	const uint8 *bytes = static_cast<const uint8 *>(buffer);
	int32 found = 0;
	int32 offset = 2;
	for (int16 i = 0; i < count && found < maximum_count; ++i)
	{
		encoded_plugin_entry entry;
		if (!decode_plugin_entry(bytes, length, &offset, &entry)) break;
		if (find_available_plugin(&entry) != NONE) continue;
		if (missing)
		{
			missing_plugin_info *info = &missing[found];
			memset(info, 0, sizeof(*info));
			snprintf(info->name, sizeof(info->name), "%s", entry.name);
			snprintf(info->url, sizeof(info->url), "%s", entry.url);
			info->checksum = entry.checksum;
		}
		found += 1;
	}
	return found;
}

/* ---------- the temporary plugin */

void tag_file_plugin_close_temporary(void)
{
	tag_file_global_data *g = &tag_file_globals;
	if (g->temporary_plugin_file_index != NONE) tag_files_remove_tag_file(g->temporary_plugin_file_index);
	g->temporary_plugin_index = NONE;
	g->temporary_plugin_file_index = NONE;
}

void tag_file_plugin_open_temporary(int16 plugin_index)
{
	tag_file_global_data *g = &tag_file_globals;
	if (g->temporary_plugin_index == plugin_index && plugin_index != NONE) return;
	if (g->temporary_plugin_index != NONE) tag_file_plugin_close_temporary();
	const plugin_datum *plugin = plugin_get(plugin_index);
	if (!plugin || !g->tag_files) return;

	for (int32 index = 0; index < MAXIMUM_SIMULTANEOUS_TAG_FILES; ++index)
	{
		const tag_file_datum *datum = tag_file_datum_get(index);
		if (datum && datum->header.checksum == plugin->checksum &&
			tag_files_compare_names(datum->header.name, plugin->name) == 0)
		{
			g->temporary_plugin_index = plugin_index;
			return;
		}
	}
	file_reference file;
	tag_file_header header;
	g->temporary_plugin_index = plugin_index;
	if (plugin_folder_reference(plugin->name, &file))
	{
		g->temporary_plugin_file_index = tag_files_load_monolithic_file(&file, plugin_folder_types,
			NUMBEROF(plugin_folder_types), &header, nullptr);
	}
}

/* ---------- the plugin order of one map */

struct plugin_order_list
{
	int16 indexes[MAXIMUM_PLUGIN_INDEXES];
	int32 count;
};

static boolean order_list_contains(const plugin_order_list *list, int16 plugin_index)
{
	for (int32 i = 0; i < list->count; ++i)
	{
		if (list->indexes[i] == plugin_index) return TRUE;
	}
	return FALSE;
}

static void order_list_append(plugin_order_list *list, int16 plugin_index)
{
	if (!order_list_contains(list, plugin_index) && list->count < MAXIMUM_PLUGIN_INDEXES)
	{
		list->indexes[list->count++] = plugin_index;
	}
}

static int16 find_tagset_plugin(const char *name)
{
	for (int16 i = 0; i < tag_file_get_plugin_count(); ++i)
	{
		const plugin_datum *plugin = plugin_get(i);
		if (plugin && plugin->type == _tag_file_type_plugin && strcmp(plugin->name, name) == 0) return i;
	}
	return NONE;
}

// The flag word of a plugin; -1 for other kinds of file.
static int16 plugin_flags(const plugin_datum *plugin)
{
	return plugin->type == _tag_file_type_plugin ? plugin->version : static_cast<int16>(NONE);
}

static boolean has_plugin_flag(int16 flags, uint32 flag)
{
	return flags != NONE && (static_cast<uint16>(flags) & flag) != 0;
}

static boolean is_tagsets_last_map_name(const char *name)
{
	for (const char *listed : tagsets_last_map_plugin_names)
	{
		if (strcmp(name, listed) == 0) return TRUE;
	}
	return FALSE;
}

// Resolves a plugin name that a map or plugin depends on.
static void add_dependency(plugin_order_list *list, const char *name, boolean *use_vqel,
	char missing[MAXIMUM_MISSING_DEPENDENCIES][TAG_FILE_URL_LENGTH], int32 *missing_count)
{
	if (is_qel_plugin_name(name, 0) || is_qel_plugin_name(name, 1))
	{
		*use_vqel = TRUE;
		return;
	}
	const int16 index = find_tagset_plugin(name);
	if (index != NONE)
	{
		order_list_append(list, index);
	}
	else if (*missing_count < MAXIMUM_MISSING_DEPENDENCIES)
	{
		snprintf(missing[*missing_count], TAG_FILE_URL_LENGTH, "%s", name);
		*missing_count += 1;
	}
}

boolean tag_files_build_plugin_indices_for_entrypoint(int16 *out_indexes, int16 *out_count, int16 out_maximum,
	const int16 *in_indexes, int16 in_count, int16 in_maximum, int16 entrypoint_plugin_index,
	const char *mesh_tag_required_plugin, boolean *use_vqel)
{
	static plugin_order_list list;
	char missing[MAXIMUM_MISSING_DEPENDENCIES][TAG_FILE_URL_LENGTH];
	int32 missing_count = 0;
	list.count = 0;
	*out_count = 0;

	const int32 given = in_indexes ? MIN(in_count, in_maximum) : 0;
	for (int32 i = 0; i < given; ++i)
	{
		const plugin_datum *plugin = plugin_get(in_indexes[i]);
		if (!plugin || (plugin->mesh_plugin && in_indexes[i] != entrypoint_plugin_index)) continue;
		order_list_append(&list, in_indexes[i]);
	}

	if (mesh_tag_required_plugin && mesh_tag_required_plugin[0])
	{
		char name[TAG_FILE_URL_LENGTH];
		snprintf(name, sizeof(name), "%s", mesh_tag_required_plugin);
		add_dependency(&list, name, use_vqel, missing, &missing_count);
	}
	for (int32 i = 0; i < list.count; ++i)
	{
		const plugin_datum *plugin = plugin_get(list.indexes[i]);
		if (!has_plugin_flag(plugin_flags(plugin), _plugin_relies_on_another_plugin_flag)) continue;
		char url[TAG_FILE_URL_LENGTH];
		memcpy(url, plugin->url, sizeof(url));
		add_dependency(&list, url, use_vqel, missing, &missing_count);
	}
	if (*use_vqel && plugin_get(tag_file_globals.qel_plugin_index))
	{
		order_list_append(&list, tag_file_globals.qel_plugin_index);
	}

	boolean enforced = FALSE;
	boolean tagsets_last = FALSE;
	for (int32 i = 0; i < list.count && !tagsets_last; ++i)
	{
		const plugin_datum *plugin = plugin_get(list.indexes[i]);
		const int16 flags = plugin_flags(plugin);
		if (has_plugin_flag(flags, _plugin_load_order_enforced_flag)) enforced = TRUE;
		if (!enforced)
		{
			if (plugin->mesh_plugin && has_plugin_flag(flags, _plugin_load_order_reversed_flag)) tagsets_last = TRUE;
			if (!plugin->mesh_plugin && strcmp(plugin->name, TAGSETS_LAST_TAGSET_PLUGIN_NAME) == 0) tagsets_last = TRUE;
		}
		if (plugin->mesh_plugin && is_tagsets_last_map_name(plugin->name)) tagsets_last = TRUE;
	}

	int16 classes[MAXIMUM_PLUGIN_INDEXES];
	for (int32 i = 0; i < list.count; ++i)
	{
		const plugin_datum *plugin = plugin_get(list.indexes[i]);
		const int16 flags = plugin_flags(plugin);
		int16 order_class;
		if (enforced)
		{
			order_class = plugin->mesh_plugin ? 3 : (tagsets_last ? 4 : 2);
		}
		else if (!plugin->mesh_plugin)
		{
			order_class = (tagsets_last || has_plugin_flag(flags, _plugin_load_order_reversed_flag)) ? 4 : 2;
		}
		else if (has_plugin_flag(flags, _plugin_load_order_reversed_flag))
		{
			order_class = 1;
		}
		else if (has_plugin_flag(flags, _plugin_load_order_enforced_flag))
		{
			order_class = 5;
		}
		else
		{
			order_class = 3;
		}
		classes[i] = order_class;
	}

	for (int16 order_class = 1; order_class <= 5; ++order_class)
	{
		for (int32 i = 0; i < list.count; ++i)
		{
			if (classes[i] != order_class || *out_count >= out_maximum) continue;
			boolean repeated = FALSE;
			for (int16 j = 0; j < *out_count; ++j) repeated = repeated || out_indexes[j] == list.indexes[i];
			if (!repeated) out_indexes[(*out_count)++] = list.indexes[i];
		}
	}

	if (missing_count == 0) return TRUE;
	char question[256];
	snprintf(question, sizeof(question),
		"Missing tagset plugin required: \"%s\". (With some old plugins, this message may appear even if everything is fine.) Continue anyways?",
		missing[0]);
	return metaserver_query_dialog(question);
}

/* ---------- versions and checksums */

int16 tag_files_get_patch_version(void)
{
	int16 version = 1;
	for (;;)
	{
		boolean found = FALSE;
		for (int16 i = 0; i < tag_file_get_plugin_count() && !found; ++i)
		{
			const plugin_datum *plugin = plugin_get(i);
			found = plugin && plugin->type == _tag_file_type_patch && plugin->version == version + 1;
		}
		if (!found) return version;
		version += 1;
	}
}

int16 tag_files_get_current_patch_version(void)
{
	return tag_file_globals.patch_version;
}

// The first patch of that version in catalogue order: an interface patch
// shares its version with a numbered one and, sorting first by name, answers.
uint32 tag_files_get_patch_checksum(int16 version)
{
	for (int16 i = 0; i < tag_file_get_plugin_count(); ++i)
	{
		const plugin_datum *plugin = plugin_get(i);
		if (plugin && plugin->type == _tag_file_type_patch && plugin->version == version)
		{
			return plugin->checksum;
		}
	}
	return 0;
}

uint32 tag_files_get_foundation_checksum(void)
{
	return tag_file_globals.foundation_checksum;
}

void refresh_foundation_checksum(void)
{
	tag_file_global_data *g = &tag_file_globals;
	uint32 checksum = static_cast<uint32>(get_current_minor_version() - 2) ^ 0x102;
	for (int16 i = 0; i < NUMBER_OF_FOUNDATION_TAG_FILES; ++i)
	{
		for (int16 location = 0; location < NUMBER_OF_FILE_LOCATIONS; ++location)
		{
			file_reference file;
			tag_file_header header;
			if (!foundation_file_reference(i, location, &file) || !file_exists(&file)) continue;
			if (!tag_file_open_monolithic_file(&file, &header) || header.type != _tag_file_type_foundation) continue;
			checksum ^= header.checksum;
			break;
		}
	}
	g->foundation_checksum = checksum ^ g->patch_checksum;
}

int32 tag_files_count_required_files(void)
{
	boolean counted[NUMBER_OF_REQUIRED_TAG_FILES] = {};
	int32 count = 0;
	file_reference folder;
	if (!plugin_folder_reference(nullptr, &folder) || !file_exists(&folder)) return 0;

	file_reference file;
	tag_file_header header;
	find_files_start(0, &folder);
	while (find_next_tag_file(&file, &header))
	{
		for (int32 i = 0; i < NUMBER_OF_REQUIRED_TAG_FILES; ++i)
		{
			const known_tag_file *required = &required_tag_files[i];
			if (!counted[i] && header.type == required->type && header.checksum == required->checksum &&
				strcmp(header.name, required->name) == 0)
			{
				counted[i] = TRUE;
				count += 1;
			}
		}
	}
	find_files_end();
	return count;
}

boolean tag_files_required_patches_present(void)
{
	const int16 error_before = get_error_code();
	const int32 count = tag_files_count_required_files();
	if (error_before == _error_none && get_error_code() != _error_none) handle_error();
	return count == NUMBER_OF_REQUIRED_TAG_FILES;
}

/* ---------- the cache file */

static boolean cache_file_reference(file_reference *file)
{
	file_reference_create(file, _file_location_working_directory);
	return file_reference_add_directory(file, tag_file_strings[_tag_file_string_foundation_folder]) &&
		file_reference_set_name(file, TAG_FILE_CACHE_FILE_NAME);
}

struct cache_entry
{
	int32 handle;
	int32 owner_index;
	uint32 offset;
};

static int compare_cache_entries(const void *a, const void *b)
{
	const cache_entry *first = static_cast<const cache_entry *>(a);
	const cache_entry *second = static_cast<const cache_entry *>(b);
	if (first->owner_index != second->owner_index) return first->owner_index < second->owner_index ? -1 : 1;
	if (first->offset != second->offset) return first->offset < second->offset ? -1 : 1;
	return 0;
}

boolean tag_files_build_cache(const void *preloads, int32 count)
{
	const file_tag *pairs = static_cast<const file_tag *>(preloads);
	if (!pairs || count < 0) count = 0;
	cache_entry *entries = static_cast<cache_entry *>(new_pointer(sizeof(cache_entry) * MAX(count, 1)));
	int32 *handles = static_cast<int32 *>(new_pointer(sizeof(int32) * MAX(count, 1)));
	if (!entries || !handles)
	{
		dispose_pointer(entries);
		dispose_pointer(handles);
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate memory for new monolithic file '%s'",
			TAG_FILE_CACHE_FILE_NAME);
		return FALSE;
	}

	int32 used = 0;
	for (int32 i = 0; i < count; ++i)
	{
		const int32 handle = tag_file_open(pairs[2 * i], pairs[2 * i + 1]);
		const tag_header *header = tag_header_get(handle);
		if (!header || tag_header_is_local(header)) continue;
		const tag_file_datum *datum = tag_file_datum_get(header->owner_index);
		if (!datum || file_reference_get_location(&datum->file) != _file_location_volume) continue;
		boolean repeated = FALSE;
		for (int32 j = 0; j < used && !repeated; ++j) repeated = entries[j].handle == handle;
		if (repeated) continue;
		entries[used].handle = handle;
		entries[used].owner_index = header->owner_index;
		entries[used].offset = header->offset;
		used += 1;
	}
	qsort_private(entries, used, sizeof(cache_entry), compare_cache_entries);
	for (int32 i = 0; i < used; ++i) handles[i] = entries[i].handle;

	file_reference file;
	const boolean built = cache_file_reference(&file) &&
		build_monolithic_file_from_tag_indexes(&file, _tag_file_type_cache, NONE, handles, used);
	dispose_pointer(entries);
	dispose_pointer(handles);
	return built;
}

boolean tag_files_open_cache(void)
{
	file_reference file;
	tag_file_header header;
	const int16 accepted_type = _tag_file_type_cache;
	if (!cache_file_reference(&file) || !file_exists(&file)) return FALSE;
	return tag_files_load_monolithic_file(&file, &accepted_type, 1, &header, nullptr) != NONE;
}

void tag_files_close_cache(void)
{
	for (int16 index = 0; index < MAXIMUM_SIMULTANEOUS_TAG_FILES; ++index)
	{
		const tag_file_datum *datum = tag_file_datum_get(index);
		if (datum && datum->header.type == _tag_file_type_cache) tag_files_remove_tag_file(index);
	}
}
