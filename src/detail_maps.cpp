// Detail maps and detail textures. Every offset, run and index read from a
// tag is checked; the decoded pixels and index arrays live here, never in
// the stored records' slots.
#include "detail_maps.h"

#include "definitions.h"
#include "error_manager.h"
#include "hardware/hardware_rasterizers.h"
#include "memory.h"
#include "screen.h"
#include "tag_files/tag_files.h"
#include "tessik1/tessik1.h"

/* ---------- state */

struct detail_maps_globals_data
{
	boolean detail_mapping_active;
	boolean textures_set_up, maps_set_up; // the groups were set up for this map
	mesh_cell_detail_info *layer_info;
	int32 layer_width, layer_height;
	int32 compacted_entry_count; // entries in use after the last load's compaction, entry 0 included
	// Held only while a detail map loads.
	uint8 *v_indices, *t_indices;
	// Held only while create_detail_texture_hardware runs.
	const detail_texture_definition *creating_definition;
	const uint8 *creating_pixels;
};

static detail_maps_globals_data detail_maps_globals;
static boolean refuse_layer_allocation_for_tests = FALSE;

const uint32 *detail_map_layer_info = nullptr;
int32 detail_map_layer_row_cells = 0;
uint32 hardware_format_detail_textures[NUMBER_OF_DETAIL_MAP_ENTRIES];
float detail_texture_scales[NUMBER_OF_DETAIL_MAP_ENTRIES][2];

static_assert(sizeof(mesh_cell_detail_info) == 2 * sizeof(uint32));

static definition_globals detail_map_definitions = {
	"detail_maps",
	DETAIL_MAP_DEFINITION_GROUP_TAG,
	DETAIL_MAP_DEFINITION_VERSION_NUMBER,
	MAXIMUM_DETAIL_MAP_DEFINITIONS_PER_MAP,
	static_cast<int16>(sizeof(detail_map_definition)),
	detail_maps_dependencies,
	postprocess_detail_maps,
	nullptr,
	nullptr,
	detail_map_definition_bs_data,
	0,
	nullptr, nullptr, nullptr, NONE, 0, nullptr, nullptr, nullptr};

static definition_globals detail_texture_definitions = {
	"detail_textures",
	DETAIL_TEXTURE_DEFINITION_GROUP_TAG,
	DETAIL_TEXTURE_DEFINITION_VERSION_NUMBER,
	MAXIMUM_DETAIL_TEXTURE_DEFINITIONS_PER_MAP,
	static_cast<int16>(sizeof(detail_texture_definition)),
	nullptr,
	postprocess_detail_texture_definition,
	nullptr,
	nullptr,
	detail_texture_definition_bs_data,
	0,
	nullptr, nullptr, nullptr, NONE, 0, nullptr, nullptr, nullptr};

static void publish_layer_info(void)
{
	detail_maps_globals_data *g = &detail_maps_globals;
	detail_map_layer_info = g->layer_info ? &g->layer_info[0].triangle_info[0] : nullptr;
	detail_map_layer_row_cells = g->layer_info ? g->layer_width : 0;
}

static void free_index_arrays(void)
{
	free_and_clear(&detail_maps_globals.v_indices);
	free_and_clear(&detail_maps_globals.t_indices);
}

/* ---------- life cycle */

definition_globals *get_detail_map_definitions(void)
{
	return &detail_map_definitions;
}

definition_globals *get_detail_texture_definitions(void)
{
	return &detail_texture_definitions;
}

void initialize_detail_textures(void)
{
	initialize_definitions(&detail_texture_definitions);
}

void initialize_detail_maps(void)
{
	initialize_definitions(&detail_map_definitions);
	dispose_detail_map_data();
}

void initialize_detail_textures_for_new_map(void)
{
	if (!detail_texture_definitions.definitions) return;
	initialize_definitions_for_new_map(&detail_texture_definitions);
	detail_maps_globals.textures_set_up = TRUE;
}

void initialize_detail_maps_for_new_map(void)
{
	if (!detail_map_definitions.definitions) return;
	initialize_definitions_for_new_map(&detail_map_definitions);
	detail_maps_globals.maps_set_up = TRUE;
}

void dispose_detail_textures_from_old_map(void)
{
	definition_globals *definitions = &detail_texture_definitions;
	if (definitions->definitions && definitions->count > 0)
	{
		for (int16 i = 0; i < definitions->count; ++i)
		{
			detail_texture_definition *definition =
				static_cast<detail_texture_definition *>(try_and_get_definition(definitions, i));
			if (definition && (definitions->flags[i] & _definition_postprocessed_flag))
			{
				dispose_detail_texture_hardware(definition);
			}
		}
	}
	if (definitions->definitions) dispose_definitions_from_old_map(definitions);
	detail_maps_globals.textures_set_up = FALSE;
}

void dispose_detail_maps_from_old_map(void)
{
	if (detail_map_definitions.definitions) dispose_definitions_from_old_map(&detail_map_definitions);
	detail_maps_globals.maps_set_up = FALSE;
	dispose_detail_map_data();
}

void dispose_detail_map_data(void)
{
	detail_maps_globals_data *g = &detail_maps_globals;
	free_and_clear(&g->layer_info);
	g->layer_width = g->layer_height = 0;
	free_index_arrays();
	memset(hardware_format_detail_textures, 0, sizeof(hardware_format_detail_textures));
	memset(detail_texture_scales, 0, sizeof(detail_texture_scales));
	g->detail_mapping_active = FALSE;
	publish_layer_info();
}

boolean detail_maps_enabled(void)
{
	return (active_screen.rasterizer_code == _rasterizer_opengl || active_screen.rasterizer_code == _rasterizer_dx11) &&
		(active_screen.prefs.flags & _screen_pref_landscape_textures_flag);
}

boolean detail_maps_set_up(void)
{
	return detail_maps_globals.textures_set_up || detail_maps_globals.maps_set_up;
}

boolean detail_maps_active(void)
{
	return detail_maps_globals.detail_mapping_active;
}

void toggle_detail_maps(void)
{
	detail_maps_globals.detail_mapping_active =
		(!detail_maps_globals.detail_mapping_active && detail_map_layer_info != nullptr) ? TRUE : FALSE;
}

/* ---------- detail maps */

void detail_maps_dependencies(void *, void (*)(file_tag, file_tag, int16 *)) {}

int16 detail_map_definition_tag_to_index(file_tag subgroup_tag)
{
	if (!detail_map_definitions.definitions || detail_map_definitions.count < 0) return NONE;
	return definition_tag_to_index(&detail_map_definitions, subgroup_tag);
}

const detail_map_definition *get_detail_map_definition(int16 definition_index)
{
	return static_cast<const detail_map_definition *>(try_and_get_definition(&detail_map_definitions, definition_index));
}

uint32 make_tdl(uint32 a, uint32 b, uint32 c)
{
	if (a == 0 && b == 0 && c == 0) return 0x40000000;

	uint32 sorted[3] = {a, b, c};
	for (int32 i = 1; i < 3; ++i)
	{
		for (int32 j = i; j > 0 && sorted[j - 1] > sorted[j]; --j)
		{
			uint32 t = sorted[j];
			sorted[j] = sorted[j - 1];
			sorted[j - 1] = t;
		}
	}
	uint32 word = (a == b && b == c) ? 0 : 0x40000000;
	int32 k = 0;
	for (int32 i = 0; i < 3; ++i)
	{
		uint32 u = sorted[i];
		if (u == 0 || (i > 0 && u == sorted[i - 1])) continue;
		word |= (u & 0x7F) << (9 + 7 * k);
		if (a == u) word |= 1u << (3 * k);
		if (b == u) word |= 1u << (3 * k + 1);
		if (c == u) word |= 1u << (3 * k + 2);
		k += 1;
	}
	return word;
}

void postprocess_detail_map(detail_map_entry *entries, uint8 *v_indices, int32 v_count, uint8 *t_indices,
	int32 t_count)
{
	uint8 folded[NUMBER_OF_DETAIL_MAP_ENTRIES];
	for (int32 i = 0; i < NUMBER_OF_DETAIL_MAP_ENTRIES; ++i)
	{
		folded[i] = static_cast<uint8>(i);
		// Entry 0 keeps its place; an entry equal to it becomes "none".
		for (int32 j = 0; j < i; ++j)
		{
			if (folded[j] == j && entries[j].dtex_id == entries[i].dtex_id &&
				entries[j].pixels_per_cell == entries[i].pixels_per_cell)
			{
				folded[i] = static_cast<uint8>(j);
				break;
			}
		}
	}

	bool used[NUMBER_OF_DETAIL_MAP_ENTRIES] = {};
	used[0] = true;
	for (int32 i = 0; i < v_count; ++i) used[folded[v_indices[i]]] = true;
	for (int32 i = 0; i < t_count; ++i) used[folded[t_indices[i]]] = true;

	uint8 position[NUMBER_OF_DETAIL_MAP_ENTRIES];
	detail_map_entry compacted[NUMBER_OF_DETAIL_MAP_ENTRIES];
	memset(compacted, 0, sizeof(compacted));
	int32 count = 0;
	for (int32 i = 0; i < NUMBER_OF_DETAIL_MAP_ENTRIES; ++i)
	{
		if (folded[i] == i && used[i])
		{
			position[i] = static_cast<uint8>(count);
			compacted[count++] = entries[i];
		}
	}
	for (int32 i = count; i < NUMBER_OF_DETAIL_MAP_ENTRIES; ++i) compacted[i].dtex_id = static_cast<file_tag>(NONE);
	detail_maps_globals.compacted_entry_count = count;
	uint8 remap[NUMBER_OF_DETAIL_MAP_ENTRIES];
	for (int32 i = 0; i < NUMBER_OF_DETAIL_MAP_ENTRIES; ++i) remap[i] = used[folded[i]] ? position[folded[i]] : 0;

	for (int32 i = 0; i < v_count; ++i) v_indices[i] = remap[v_indices[i]];
	for (int32 i = 0; i < t_count; ++i) t_indices[i] = remap[t_indices[i]];
	memcpy(entries, compacted, sizeof(compacted));
}

int32 load_detail_map_detail_textures(int32 tag_handle, const detail_map_entry *entries)
{
	int16 owner_index = NONE;
	tag_file_info info;
	if (tag_handle != NONE && tag_file_info_get(tag_handle, &info)) owner_index = info.owner_index;

	const boolean previous_ignore = error_globals ? error_globals->ignore : FALSE;
	set_ignore_errors(TRUE);
	int32 loaded = 0;
	bool missing = false;
	for (int32 i = 0; i < NUMBER_OF_DETAIL_MAP_ENTRIES; ++i)
	{
		hardware_format_detail_textures[i] = 0;
		detail_texture_scales[i][0] = detail_texture_scales[i][1] = 0.0f;
		if (entries[i].dtex_id == static_cast<file_tag>(NONE)) continue;

		update_tag_header_shadows_for_owner_index(DETAIL_TEXTURE_DEFINITION_GROUP_TAG, entries[i].dtex_id, owner_index);
		int16 index = detail_texture_definitions.definitions && detail_texture_definitions.count >= 0
			? definition_tag_to_index(&detail_texture_definitions, entries[i].dtex_id) : static_cast<int16>(NONE);
		const detail_texture_definition *texture =
			static_cast<const detail_texture_definition *>(try_and_get_definition(&detail_texture_definitions, index));
		if (!texture || texture->width == 0 || texture->height == 0)
		{
			missing = true;
			continue;
		}
		hardware_format_detail_textures[i] = texture->hardware_format;
		detail_texture_scales[i][0] = static_cast<float>(entries[i].pixels_per_cell + 1) / static_cast<float>(texture->width);
		detail_texture_scales[i][1] = static_cast<float>(entries[i].pixels_per_cell + 1) / static_cast<float>(texture->height);
		loaded += 1;
	}
	set_ignore_errors(previous_ignore);

	if (missing)
	{
		log_message(nullptr, NONE, "Warning: Detail map not applied because some textures could not be found.");
		memset(hardware_format_detail_textures, 0, sizeof(hardware_format_detail_textures));
		memset(detail_texture_scales, 0, sizeof(detail_texture_scales));
		detail_maps_globals.detail_mapping_active = FALSE;
		return NONE;
	}
	return loaded;
}

static inline uint32 vertex_index(const uint8 *v, int32 width, int32 height, int32 x, int32 y)
{
	return (x < width && y < height) ? v[y * width + x] : 0;
}

void build_detail_map_layer_words(mesh_cell_detail_info *cells, int32 width, int32 height, const uint8 *v,
	const uint8 *t)
{
	struct corner_rule
	{
		int8 dx, dy, word, triangle; // triangle 0 first, 1 second
		int8 bx, by, cx, cy;
	};
	// Per 2 x 2 block: the cell, its word, which triangle, and the vertices b and c (a is the centre).
	static const corner_rule rules[8] = {
		{0, 0, 0, 0, 0, 0, 0, 1},
		{0, 0, 1, 1, 1, 0, 0, 0},
		{1, 0, 0, 0, 2, 0, 1, 0},
		{1, 0, 1, 1, 2, 1, 2, 0},
		{1, 1, 0, 1, 2, 2, 2, 1},
		{1, 1, 1, 0, 1, 2, 2, 2},
		{0, 1, 0, 1, 0, 2, 1, 2},
		{0, 1, 1, 0, 0, 1, 0, 2},
	};

	for (int32 y = 0; y < height; y += 2)
	{
		for (int32 x = 0; x < width; x += 2)
		{
			uint32 centre = vertex_index(v, width, height, x + 1, y + 1);
			for (const corner_rule &rule : rules)
			{
				int32 cx = x + rule.dx, cy = y + rule.dy;
				// An odd side leaves half a block outside the table.
				if (cx >= width || cy >= height) continue;
				uint32 triangle = t[(cy * width + cx) * 2 + rule.triangle];
				cells[cy * width + cx].triangle_info[rule.word] = triangle
					? (triangle << 9) | 7
					: make_tdl(centre, vertex_index(v, width, height, x + rule.bx, y + rule.by),
						  vertex_index(v, width, height, x + rule.cx, y + rule.cy));
			}
		}
	}
}

// Reads run-length pairs (value, run - 1) from data into count bytes; a run
// past the end is cut. FALSE when the data end first.
static boolean decode_detail_map_runs(const uint8 *data, int32 size, uint8 *out, int32 count, int32 *used_bytes)
{
	int32 filled = 0, position = 0;
	while (filled < count)
	{
		if (position + 2 > size) return FALSE;
		uint8 value = data[position];
		int32 run = data[position + 1] + 1;
		position += 2;
		if (run > count - filled) run = count - filled;
		memset(out + filled, value, static_cast<size_t>(run));
		filled += run;
	}
	*used_bytes = position;
	return TRUE;
}

// The tag's bytes from offset to its end; NULL with the read text logged.
static uint8 *read_detail_tag_tail(int32 tag_handle, uint32 offset, int32 minimum, int32 *size, const char *kind)
{
	const char *name = tag_file_name_get(tag_handle);
	int32 tag_size = tag_file_get_header_data_size(tag_handle);
	if (tag_size < 0 || offset > static_cast<uint32>(tag_size) || static_cast<int64>(tag_size) - offset < minimum)
	{
		error_message(_error_file_system_read, MODULE_NAME, __LINE__, "couldn't read data from %s %s.", kind, name);
		return nullptr;
	}
	*size = tag_size - static_cast<int32>(offset);
	uint8 *data = static_cast<uint8 *>(new_pointer(*size > 0 ? static_cast<size_t>(*size) : 1));
	if (!data)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "allocation of %d bytes failed for data from %s %s",
			static_cast<int>(*size), kind, name);
		return nullptr;
	}
	if (*size > 0 && !tag_file_read(tag_handle, static_cast<int32>(offset), *size, data))
	{
		error_message(_error_file_system_read, MODULE_NAME, __LINE__, "couldn't read data from %s %s.", kind, name);
		dispose_pointer(data);
		return nullptr;
	}
	return data;
}

static boolean read_detail_map_indexes(int32 tag_handle, uint32 offset, uint8 *out, int32 count)
{
	const char *name = tag_file_name_get(tag_handle);
	int32 size;
	uint8 *data = read_detail_tag_tail(tag_handle, offset, 0, &size, "detail map");
	if (!data) return FALSE;
	int32 used;
	boolean read = decode_detail_map_runs(data, size, out, count, &used);
	dispose_pointer(data);
	if (!read)
	{
		error_message(_error_file_system_read, MODULE_NAME, __LINE__, "couldn't read data from detail map %s.", name);
		return FALSE;
	}
	for (int32 i = 0; i < count; ++i)
	{
		if (out[i] >= NUMBER_OF_DETAIL_MAP_ENTRIES)
		{
			error_message(_error_data_corrupted, MODULE_NAME, __LINE__, "detail map %s uses detail texture #%d of 128.",
				name, static_cast<int>(out[i]));
			return FALSE;
		}
	}
	return TRUE;
}

boolean postprocess_detail_maps(definition_globals *, int16, int32 tag_handle, void *definition)
{
	detail_maps_globals_data *g = &detail_maps_globals;
	detail_map_definition *map = static_cast<detail_map_definition *>(definition);
	const char *name = tag_handle == NONE ? "<unknown>" : tag_file_name_get(tag_handle);
	map->v_indices = map->t_indices = map->entries = 0;

	if (map->width < 1 || map->width > MAXIMUM_DETAIL_MAP_SIDE || map->height < 1 || map->height > MAXIMUM_DETAIL_MAP_SIDE)
	{
		error_message(_error_data_corrupted, MODULE_NAME, __LINE__, "detail map %s has bad dimensions (#%d x #%d).", name,
			static_cast<int>(map->width), static_cast<int>(map->height));
		return FALSE;
	}
	const int32 width = static_cast<int32>(map->width), height = static_cast<int32>(map->height);
	const int32 vertex_count = width * height;

	// 1. The entries and both index arrays.
	detail_map_entry entries[NUMBER_OF_DETAIL_MAP_ENTRIES];
	{
		int32 size;
		uint8 *data = read_detail_tag_tail(tag_handle, map->entries_offset, sizeof(entries), &size, "detail map");
		if (!data) return FALSE;
		memcpy(entries, data, sizeof(entries));
		dispose_pointer(data);
		byte_swap_data("detail map entries", entries, sizeof(detail_map_entry), NUMBER_OF_DETAIL_MAP_ENTRIES,
			detail_map_entry_bs_data);
	}

	dispose_detail_map_data();
	g->v_indices = static_cast<uint8 *>(new_pointer(static_cast<size_t>(vertex_count)));
	g->t_indices = static_cast<uint8 *>(new_pointer(static_cast<size_t>(vertex_count) * 2));
	if (!g->v_indices || !g->t_indices)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "allocation of %d bytes failed for data from detail map %s",
			vertex_count * 3, name);
		free_index_arrays();
		return FALSE;
	}
	if (!read_detail_map_indexes(tag_handle, map->v_indices_offset, g->v_indices, vertex_count) ||
		!read_detail_map_indexes(tag_handle, map->t_indices_offset, g->t_indices, vertex_count * 2))
	{
		free_index_arrays();
		return FALSE;
	}

	// 2. Compaction.
	g->detail_mapping_active = TRUE;
	postprocess_detail_map(entries, g->v_indices, vertex_count, g->t_indices, vertex_count * 2);

	// 3. The textures; 4. the layer words, only with every texture there.
	int32 loaded = load_detail_map_detail_textures(tag_handle, entries);
	if (loaded > 0)
	{
		const size_t bytes = sizeof(mesh_cell_detail_info) * static_cast<size_t>(vertex_count);
		g->layer_info = refuse_layer_allocation_for_tests ? nullptr
			: static_cast<mesh_cell_detail_info *>(new_pointer_z(bytes));
		if (!g->layer_info)
		{
			error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "allocation of %d bytes failed for data from detail map %s",
				static_cast<int>(bytes), name);
			dispose_detail_map_data();
			return FALSE;
		}
		g->layer_width = width;
		g->layer_height = height;
		build_detail_map_layer_words(g->layer_info, width, height, g->v_indices, g->t_indices);
	}
	g->detail_mapping_active = g->layer_info != nullptr;
	publish_layer_info();

	// 5. The indexes are not kept.
	free_index_arrays();
	return TRUE;
}

/* ---------- detail textures */

boolean postprocess_detail_texture_definition(definition_globals *, int16, int32 tag_handle, void *definition)
{
	detail_texture_definition *texture = static_cast<detail_texture_definition *>(definition);
	const char *name = tag_handle == NONE ? "<unknown>" : tag_file_name_get(tag_handle);
	texture->pixels24 = 0;
	texture->hardware_format = 0;

	const int32 tag_size = tag_handle == NONE ? 0 : tag_file_get_header_data_size(tag_handle);
	uint8 length_bytes[4];
	int32 length = 0;
	if (tag_size >= DETAIL_TEXTURE_STREAM_OFFSET &&
		tag_file_read(tag_handle, DETAIL_TEXTURE_STREAM_LENGTH_OFFSET, 4, length_bytes))
	{
		// Stored little-endian, unlike the rest of the tag.
		length = static_cast<int32>(static_cast<uint32>(length_bytes[0]) | (static_cast<uint32>(length_bytes[1]) << 8) |
			(static_cast<uint32>(length_bytes[2]) << 16) | (static_cast<uint32>(length_bytes[3]) << 24));
	}
	if (length <= 0 || length > tag_size - DETAIL_TEXTURE_STREAM_OFFSET)
	{
		error_message(_error_file_system_read, MODULE_NAME, __LINE__, "couldn't read data from detail texture %s.", name);
		return FALSE;
	}
	uint8 *stream = static_cast<uint8 *>(new_pointer(static_cast<size_t>(length)));
	if (!stream)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "allocation of %d bytes failed for data from detail texture %s",
			static_cast<int>(length), name);
		return FALSE;
	}
	if (!tag_file_read(tag_handle, DETAIL_TEXTURE_STREAM_OFFSET, length, stream))
	{
		error_message(_error_file_system_read, MODULE_NAME, __LINE__, "couldn't read data from detail texture %s.", name);
		dispose_pointer(stream);
		return FALSE;
	}

	uint8 *pixels;
	int32 width, height;
	boolean decoded = tessik1_decode(&pixels, &width, &height, stream, length);
	dispose_pointer(stream);
	if (!decoded)
	{
		error_message(_error_data_corrupted, MODULE_NAME, __LINE__, "detail texture %s is corrupt.", name);
		return FALSE;
	}
	texture->width = static_cast<uint32>(width);
	texture->height = static_cast<uint32>(height);

	detail_maps_globals.creating_definition = texture;
	detail_maps_globals.creating_pixels = pixels;
	create_detail_texture_hardware(texture);
	detail_maps_globals.creating_definition = nullptr;
	detail_maps_globals.creating_pixels = nullptr;
	dispose_pointer(pixels);
	return TRUE;
}

const uint8 *detail_texture_pixels24(const detail_texture_definition *definition)
{
	return definition && definition == detail_maps_globals.creating_definition ? detail_maps_globals.creating_pixels
																			 : nullptr;
}

/* ---------- tests */

int32 detail_map_compacted_entry_count(void)
{
	return detail_maps_globals.compacted_entry_count;
}

void set_detail_map_layer_info_for_tests(const uint32 *words, int32 row_cells, boolean active)
{
	detail_map_layer_info = words;
	detail_map_layer_row_cells = words ? row_cells : 0;
	detail_maps_globals.detail_mapping_active = active;
}

void set_detail_map_layer_allocation_refused_for_tests(boolean refused)
{
	refuse_layer_allocation_for_tests = refused;
}

void reset_detail_maps_test_hooks(void)
{
	refuse_layer_allocation_for_tests = FALSE;
	dispose_detail_map_data();
	detail_maps_globals.textures_set_up = detail_maps_globals.maps_set_up = FALSE;
	detail_maps_globals.creating_definition = nullptr;
	detail_maps_globals.creating_pixels = nullptr;
}
