// Loading the map's 'mesh' tag: the header through the definition loader
// (conversion from older versions, references), then the data block, checked
// section by section before anything in it is used, decoded into its own
// arrays; and the export of the stained colour maps.
#include "mesh.h"

#include "byte_swap_records.h"

#include <sys/stat.h>

#include <cstdio>
#include <ctime>

#include "bitmap_dialogs/screens.h"
#include "local_projectiles.h"
#include "collection_references.h"
#include "detail_maps.h"
#include "directions.h"
#include "error_manager.h"
#include "main.h"
#include "map_actions/map_actions.h"
#include "markers.h"
#include "players.h"
#include "render/render.h"
#include "shapes.h"
#include "string_definitions.h"
#include "tag_files/tag_files.h"
#include "world.h"
#include "x_files.h"
#include "zerv.h"

#define AMBIENT_SOUND_DEFINITION_GROUP_TAG TAG("amso")
#define CONNECTOR_DEFINITION_GROUP_TAG TAG("conn")
#define STAINED_MAPS_FOLDER_NAME "stained_maps"
#define BMP_HEADERS_SIZE 54
#define BMP_PALETTE_SIZE 1024
#define BMP_PIXEL_OFFSET (BMP_HEADERS_SIZE + BMP_PALETTE_SIZE)
#define KING_OF_THE_HILL_SCORING 9
#define KING_OF_THE_HILL_QEL_SCORING 14
#define STAND_IN_SUBMESH_SIZE 2

mesh_globals_data *mesh_globals = nullptr;

/* ---------- stored layouts */

constexpr byte_swap_code mesh_header_bs_data[] = {
	_begin_bs_array, 1,
	_4byte, _4byte, // landscape_collection_tag, media_tag
	_2byte, _2byte, // submesh_width, submesh_height
	_4byte, _4byte, 4, // mesh_offset, mesh_size, slot
	_4byte, _4byte, 4, // data_offset, data_size, slot
	_4byte, _4byte, _4byte, 4, // marker palette entries, offset, size, slot
	_4byte, _4byte, _4byte, 4, // markers count, offset, size, slot
	_4byte, _4byte, _4byte, _4byte, _4byte, // lighting, connector, flags, particle system, team_count
	_2byte, _2byte, // dark_fraction, light_fraction
	_2byte, _2byte, _2byte, _2byte, // dark_color
	_2byte, _2byte, _2byte, _2byte, // light_color
	_4byte, // transition_point
	_2byte, 2, // ceiling_height, unused1
	_2byte, _2byte, _2byte, _2byte, // edge_of_mesh_buffer_zones
	_4byte, // global_ambient_sound_tag
	_4byte, _4byte, _4byte, // map actions count, offset, buffer size
	_4byte, _4byte, _4byte, _4byte, // description, postgame, pregame, overhead map
	_begin_bs_array, NUMBER_OF_NEXT_MESH_TAGS, _4byte, _end_bs_array,
	_begin_bs_array, NUMBER_OF_CUTSCENE_MOVIE_TAGS, _4byte, _end_bs_array,
	_begin_bs_array, NUMBER_OF_STORYLINE_STRING_TAGS, _4byte, _end_bs_array,
	_4byte, _4byte, 4, // media coverage offset, size, slot
	_4byte, _4byte, 4, // LOD offset, size, slot
	_2byte, _2byte, _2byte, _2byte, // global_tint_color
	_2byte, 2, // global_tint_fraction, pad
	_4byte, // wind_tag
	_begin_bs_array, NUMBER_OF_SCREEN_COLLECTION_TAGS, _4byte, _end_bs_array,
	_2byte, _2byte, _2byte, _2byte, // blood_color
	_4byte, _4byte, _4byte, _4byte, // caption, narration, win and loss sounds
	_4byte, // reverb_environment
	_4byte, _4byte, _4byte, // reverb volume, decay time, damping
	_4byte, _4byte, _4byte, 4, // connectors count, offset, size, slot
	MESH_CUTSCENE_NAMES_SIZE,
	_4byte, // hints_string_list_tag
	_2byte, _2byte, _2byte, _2byte, // fog_color
	_4byte, // fog_density
	_4byte, _4byte, // difficulty and team names overrides
	MESH_PLUGIN_NAME_SIZE,
	_4byte, // extra_flags
	442, // unused
	14, // filled at load
	MESH_HEADER_EDITOR_DATA_SIZE,
	_end_bs_array};
static_assert(get_byte_swap_struct_size(mesh_header_bs_data) == sizeof(mesh_header));

constexpr byte_swap_code mesh_cell_bs_data[] = {
	_begin_bs_array, 1, _2byte, _2byte, _2byte, 2, _2byte, 2, _end_bs_array};
static_assert(get_byte_swap_struct_size(mesh_cell_bs_data) == sizeof(mesh_cell));

constexpr byte_swap_code saved_connector_data_bs_data[] = {
	_begin_bs_array, 1, _begin_bs_array, MAXIMUM_SAVED_CONNECTOR_IDENTIFIERS + 1, _2byte, _end_bs_array, _end_bs_array};
static_assert(get_byte_swap_struct_size(saved_connector_data_bs_data) == sizeof(saved_connector_data));

/* ---------- module state */

static definition_globals mesh_definitions = {
	"mesh",
	MESH_DEFINITION_GROUP_TAG,
	MESH_VERSION_NUMBER,
	MAXIMUM_MESH_DEFINITIONS_PER_MAP,
	static_cast<int16>(sizeof(mesh_header)),
	mesh_dependencies,
	postprocess_mesh_header,
	convert_mesh_header,
	nullptr,
	mesh_header_bs_data,
	0,
	nullptr, nullptr, nullptr, NONE, 0, nullptr, nullptr, nullptr};

// The header of a map loaded without the definition loader.
static mesh_header loose_mesh_header;
// A block read ahead by the preloader, waiting for the map load.
static uint8 *fetched_data_block = nullptr;
static int32 fetched_data_block_size = 0;
static file_tag fetched_data_block_tag = static_cast<file_tag>(NONE);

static mesh_test_hooks_data mesh_test_hooks;

mesh_test_hooks_data *get_mesh_test_hooks(void)
{
	return &mesh_test_hooks;
}

void reset_mesh_test_hooks(void)
{
	mesh_test_hooks = {};
	mesh_test_hooks.last_mesh_tag = static_cast<file_tag>(NONE);
	mesh_test_hooks.state_at_last_dispose = NONE;
}

definition_globals *get_mesh_definitions(void)
{
	return &mesh_definitions;
}

mesh_header *get_mesh_header(void)
{
	return mesh_globals && mesh_globals->mesh_cells ? mesh_globals->header : nullptr;
}

boolean mesh_is_loaded(void)
{
	return mesh_globals && mesh_globals->mesh_cells ? TRUE : FALSE;
}

/* ---------- scoring bits */

int16 mesh_scoring_flag_bit(int16 scoring)
{
	if (scoring == KING_OF_THE_HILL_QEL_SCORING) return KING_OF_THE_HILL_SCORING;
	return scoring;
}

boolean mesh_flags_offer_scoring(uint32 mesh_flags, int16 scoring)
{
	const int16 bit = mesh_scoring_flag_bit(scoring);
	if (bit < 0 || bit > 15) return FALSE;
	return (mesh_flags & FLAG(bit)) ? TRUE : FALSE;
}

/* ---------- conversion */

static void set_rgb(rgb_color *color, uint16 red, uint16 green, uint16 blue)
{
	color->red = red;
	color->green = green;
	color->blue = blue;
	color->flags = 0;
}

boolean convert_mesh_header_to_current_version(mesh_header *header, int16 version)
{
	if (version < MINIMUM_CONVERTIBLE_MESH_VERSION || version > MESH_VERSION_NUMBER) return FALSE;

	for (int16 next = static_cast<int16>(version + 1); next <= MESH_VERSION_NUMBER; ++next)
	{
		switch (next)
		{
		case 6: header->particle_system_tag = static_cast<file_tag>(NONE); break;
		case 7: break;
		case 8:
			header->dark_fraction = 230;
			set_rgb(&header->dark_color, 0, 0, 3932);
			header->transition_point = 62259;
			header->light_fraction = 25;
			set_rgb(&header->light_color, 65535, 41287, 0);
			break;
		case 9: header->connector_tag = static_cast<file_tag>(NONE); break;
		case 10: memset(header->cutscene_names, 0, sizeof(header->cutscene_names)); break;
		case 11:
			header->hints_string_list_tag = static_cast<file_tag>(NONE);
			set_rgb(&header->fog_color, 65535, 65535, 65535);
			header->fog_density = 0.0f;
			break;
		}
	}
	return TRUE;
}

boolean convert_mesh_header(definition_globals *, int32, int16 old_version, const void *old_header, void *new_header)
{
	if (old_version >= MESH_VERSION_NUMBER) return FALSE;
	mesh_header header;
	memcpy(&header, old_header, sizeof(header));
	if (!convert_mesh_header_to_current_version(&header, old_version)) return FALSE;
	memcpy(new_header, &header, sizeof(header));
	return TRUE;
}

// Text fields are used as C strings: each ends inside its field.
static void terminate_mesh_header_text(mesh_header *header)
{
	header->plugin_name[MESH_PLUGIN_NAME_SIZE - 1] = 0;
	for (int32 i = MESH_CUTSCENE_NAME_SIZE - 1; i < MESH_CUTSCENE_NAMES_SIZE; i += MESH_CUTSCENE_NAME_SIZE)
	{
		header->cutscene_names[i] = 0;
	}
}

/* ---------- reading the header alone */

boolean read_mesh_header(file_tag subgroup, mesh_header *header)
{
	mesh_test_hooks.read_mesh_header_count += 1;
	if (!header) return FALSE;

	const int32 handle = tag_file_open(MESH_DEFINITION_GROUP_TAG, subgroup);
	if (handle == NONE) return FALSE;
	if (tag_file_get_header_data_size(handle) < static_cast<int32>(sizeof(mesh_header))) return FALSE;

	mesh_header stored;
	if (!tag_file_read(handle, 0, sizeof(stored), &stored)) return FALSE;
	byte_swap_data("mesh header", &stored, sizeof(stored), 1, mesh_header_bs_data);
	if (!convert_mesh_header_to_current_version(&stored, tag_file_get_header_version(handle))) return FALSE;
	terminate_mesh_header_text(&stored);
	*header = stored;
	return TRUE;
}

/* ---------- references */

void mesh_dependencies(void *definition, report_definition_dependency_proc report)
{
	mesh_header *header = static_cast<mesh_header *>(definition);
	report(COLLECTION_GROUP_TAG, header->landscape_collection_tag, &header->landscape_collection_index);
	report(MEDIA_DEFINITION_GROUP_TAG, header->media_tag, &header->media_type);
}

static bool tag_is_set(file_tag tag)
{
	return tag != static_cast<file_tag>(NONE);
}

static void copy_team_names_override(const mesh_header *header)
{
	const file_tag tag = header->team_names_override_string_list_tag;
	if (!game || game->type != _game_type_local || tag == 0 || !tag_is_set(tag)) return;

	const int16 list_index = string_list_tag_to_string_index(tag);
	new_game_data *setup = get_new_game_data();
	if (list_index == NONE || !setup) return;
	const int16 string_count = count_strings_in_list(list_index);
	for (int16 i = 0; i < 3 && i < string_count; ++i)
	{
		// A missing string leaves the name alone.
		const char *text = get_string_from_list(list_index, i);
		if (!text) continue;
		char *name = setup->players[i].appearance.name;
		strncpy(name, text, MAXIMUM_PLAYER_NAME_LENGTH);
		name[MAXIMUM_PLAYER_NAME_LENGTH] = 0;
	}
}

boolean postprocess_mesh_header(definition_globals *, int16, int32, void *definition)
{
	mesh_header *header = static_cast<mesh_header *>(definition);
	terminate_mesh_header_text(header);

	header->connector_type = NONE;
	header->map_description_string_index = NONE;
	header->overhead_map_collection_index = NONE;
	header->global_ambient_sound_index = NONE;
	header->hints_string_list_index = NONE;

	// 1. The required references.
	header->landscape_collection_index = get_collection_index(header->landscape_collection_tag);
	header->media_type = media_definition_tag_to_index(header->media_tag);
	if (header->landscape_collection_index == NONE || header->media_type == NONE) return FALSE;
	if (!add_blend_table_to_collection_index(header->landscape_collection_index)) return FALSE;
	if (add_shading_table_to_mesh(header->landscape_collection_index, header->dark_fraction, &header->dark_color,
			header->transition_point, header->light_fraction, &header->light_color) == NONE)
	{
		return FALSE;
	}
	set_global_tint_color(&header->global_tint_color, header->global_tint_fraction);

	// 2. The detail map shares the landscape's tag; its layer table's stride is the mesh width.
	if (detail_maps_enabled() && tag_file_exists(DETAIL_MAP_DEFINITION_GROUP_TAG, header->landscape_collection_tag))
	{
		const detail_map_definition *detail_map =
			get_detail_map_definition(detail_map_definition_tag_to_index(header->landscape_collection_tag));
		if (detail_map && (detail_map->width != static_cast<uint32>(header->submesh_width) * SUBMESH_WIDTH ||
			detail_map->height != static_cast<uint32>(header->submesh_height) * SUBMESH_WIDTH))
		{
			dispose_detail_map_data();
			log_message(nullptr, NONE, "Warning: Detail map not applied because its dimensions do not match mesh.");
		}
	}

	// 3. Optional references: each missing one fails the map, but all are tried.
	boolean resolved = TRUE;
	if (tag_is_set(header->global_ambient_sound_tag))
	{
		header->global_ambient_sound_index =
			resolve_definition_reference(AMBIENT_SOUND_DEFINITION_GROUP_TAG, header->global_ambient_sound_tag);
		if (header->global_ambient_sound_index == NONE) resolved = FALSE;
	}
	if (tag_is_set(header->overhead_map_collection_tag))
	{
		header->overhead_map_collection_index = get_collection_index(header->overhead_map_collection_tag);
		if (header->overhead_map_collection_index == NONE) resolved = FALSE;
	}
	if (tag_is_set(header->map_description_string_list_tag))
	{
		header->map_description_string_index = string_list_tag_to_string_index(header->map_description_string_list_tag);
		if (header->map_description_string_index == NONE)
			resolved = FALSE;
		else
			orphan_string_list_definition(header->map_description_string_index);
	}
	if (tag_is_set(header->connector_tag))
	{
		header->connector_type = resolve_definition_reference(CONNECTOR_DEFINITION_GROUP_TAG, header->connector_tag);
		if (header->connector_type == NONE) resolved = FALSE;
	}
	if (tag_is_set(header->hints_string_list_tag))
	{
		header->hints_string_list_index = string_list_tag_to_string_index(header->hints_string_list_tag);
		if (header->hints_string_list_index == NONE)
			resolved = FALSE;
		else
			orphan_string_list_definition(header->hints_string_list_index);
	}

	// 4. Local games may rename the first three players.
	copy_team_names_override(header);
	return resolved;
}

/* ---------- checking and decoding the data block */

struct mesh_section
{
	const char *name;
	int32 offset;
	int32 size;
};

static void report_bad_section(const char *mesh_name, const mesh_section *section, int32 block_size)
{
	error_message(_error_data_corrupted, MODULE_NAME, __LINE__,
		"mesh '%s' has a bad %s section (offset #%d, size #%d, block #%d bytes).", mesh_name, section->name,
		static_cast<int>(section->offset), static_cast<int>(section->size), static_cast<int>(block_size));
}

// The section lies inside the block and holds count records of record_size bytes.
static bool section_is_inside(const mesh_section *section, int32 block_size, int32 count, int32 record_size)
{
	if (section->size < 0 || count < 0) return false;
	if (static_cast<int64>(count) * record_size > section->size) return false;
	if (section->size == 0) return true; // an empty section may point anywhere
	return section->offset >= 0 && static_cast<int64>(section->offset) + section->size <= block_size;
}

// Every texel row ends in a terminator inside the section; row_starts (when
// given) receives each row's first word.
static bool coverage_rows_are_terminated(const uint16 *words, int32 word_count, int32 width, int32 height,
	int32 *row_starts)
{
	const int32 row_count = height * MESH_TEXELS_PER_CELL;
	const int32 terminator = width * MESH_TEXELS_PER_CELL;
	int32 position = 0;
	for (int32 row = 0; row < row_count; ++row)
	{
		if (row_starts) row_starts[row] = position;
		for (;;)
		{
			if (position >= word_count) return false;
			if (words[position++] >= terminator) break;
		}
	}
	return true;
}

static void free_decoded_sections(void)
{
	free_and_clear(&mesh_globals->mesh_cells);
	free_and_clear(&mesh_globals->marker_palette);
	free_and_clear(&mesh_globals->markers);
	free_and_clear(&mesh_globals->media_coverage_region);
	free_and_clear(&mesh_globals->media_coverage_row_starts);
	free_and_clear(&mesh_globals->mesh_LOD_data);
	free_and_clear(&mesh_globals->connectors);
	mesh_globals->cell_count = 0;
	mesh_globals->marker_palette_count = 0;
	mesh_globals->marker_count = 0;
	mesh_globals->media_coverage_region_size = 0;
	mesh_globals->mesh_LOD_data_size = 0;
	mesh_globals->connector_count = 0;
	mesh_globals->map_actions = nullptr;
	mesh_globals->map_action_count = 0;
	mesh_globals->map_action_buffer_size = 0;
}

// A copy of size bytes at block + offset in its own aligned allocation;
// NULL (with the out-of-memory line) when it cannot be had.
static void *copy_section(const uint8 *block, const mesh_section *section, const char *mesh_name)
{
	void *copy = new_pointer(section->size > 0 ? static_cast<size_t>(section->size) : 1);
	if (!copy)
	{
		log_message(nullptr, NONE, "couldn't allocate #%d bytes for the %s of mesh %s.", static_cast<int>(section->size),
			section->name, mesh_name);
		return nullptr;
	}
	if (section->size > 0) memcpy(copy, block + section->offset, static_cast<size_t>(section->size));
	return copy;
}

static bool submesh_sizes_are_valid(const mesh_header *header, const char *mesh_name)
{
	if (header->submesh_width >= 1 && header->submesh_width <= MAXIMUM_SUBMESH_WIDTH && header->submesh_height >= 1 &&
		header->submesh_height <= MAXIMUM_SUBMESH_HEIGHT)
	{
		return true;
	}
	error_message(_error_data_corrupted, MODULE_NAME, __LINE__, "mesh '%s' has a bad size (#%d x #%d submeshes).",
		mesh_name, header->submesh_width, header->submesh_height);
	return false;
}

static bool data_block_is_inside_tag(const mesh_header *header, int32 tag_size, const char *mesh_name)
{
	if (header->data_offset >= 0 && header->data_size >= 0 &&
		static_cast<int64>(header->data_offset) + header->data_size <= tag_size)
	{
		return true;
	}
	error_message(_error_data_corrupted, MODULE_NAME, __LINE__,
		"mesh '%s' has a bad data block (offset #%d, size #%d, tag #%d bytes).", mesh_name,
		static_cast<int>(header->data_offset), static_cast<int>(header->data_size), static_cast<int>(tag_size));
	return false;
}

// Checks every section, then decodes each into its own array. Nothing is
// kept on failure.
static bool decode_mesh_data(const mesh_header *header, const uint8 *block, int32 block_size, const char *mesh_name)
{
	const int32 width = header->submesh_width * SUBMESH_WIDTH;
	const int32 height = header->submesh_height * SUBMESH_WIDTH;
	const int32 cell_count = width * height;

	const mesh_section cells = {"cells", header->mesh_offset, header->mesh_size};
	const mesh_section palette = {"marker palette", header->marker_palette_offset, header->marker_palette_size};
	const mesh_section markers = {"markers", header->markers_offset, header->markers_size};
	const mesh_section actions = {"map actions", header->map_actions_offset, header->map_action_buffer_size};
	const mesh_section coverage = {"media coverage", header->media_coverage_region_offset,
		header->media_coverage_region_size};
	const mesh_section LOD = {"LOD", header->mesh_LOD_data_offset, header->mesh_LOD_data_size};
	const mesh_section connectors = {"connectors", header->connectors_offset, header->connectors_size};

	struct check
	{
		const mesh_section *section;
		bool good;
	};
	const int32 LOD_size = (width / 2) * (height / 2) * static_cast<int32>(sizeof(uint16));
	const check checks[] = {
		{&cells, header->mesh_size == cell_count * static_cast<int32>(sizeof(mesh_cell)) &&
				section_is_inside(&cells, block_size, cell_count, sizeof(mesh_cell))},
		{&palette, section_is_inside(&palette, block_size, header->marker_palette_entries, sizeof(marker_palette_entry))},
		{&markers, header->marker_count <= MAXIMUM_MESH_MARKER_COUNT &&
				section_is_inside(&markers, block_size, header->marker_count, sizeof(marker_data))},
		{&actions, header->map_action_count <= MAXIMUM_MESH_MAP_ACTION_COUNT &&
				header->map_action_buffer_size <= MAXIMUM_MESH_MAP_ACTION_BUFFER_SIZE &&
				section_is_inside(&actions, block_size, header->map_action_count, 64)},
		{&coverage, (header->media_coverage_region_size & 1) == 0 && section_is_inside(&coverage, block_size, 0, 1)},
		{&LOD, (header->mesh_LOD_data_size == 0 || header->mesh_LOD_data_size == LOD_size) &&
				section_is_inside(&LOD, block_size, 0, 1)},
		{&connectors, section_is_inside(&connectors, block_size, header->connector_count, sizeof(saved_connector_data))},
	};
	for (const check &c : checks)
	{
		if (!c.good)
		{
			report_bad_section(mesh_name, c.section, block_size);
			return false;
		}
	}

	// Decode: every section gets its own aligned copy in host order.
	const mesh_section used_palette = {palette.name, palette.offset,
		header->marker_palette_entries * static_cast<int32>(sizeof(marker_palette_entry))};
	const mesh_section used_markers = {markers.name, markers.offset,
		header->marker_count * static_cast<int32>(sizeof(marker_data))};
	const mesh_section used_connectors = {connectors.name, connectors.offset,
		header->connector_count * static_cast<int32>(sizeof(saved_connector_data))};

	mesh_globals->mesh_cells = static_cast<mesh_cell *>(copy_section(block, &cells, mesh_name));
	mesh_globals->marker_palette = static_cast<marker_palette_entry *>(copy_section(block, &used_palette, mesh_name));
	mesh_globals->markers = static_cast<marker_data *>(copy_section(block, &used_markers, mesh_name));
	mesh_globals->media_coverage_region = static_cast<uint16 *>(copy_section(block, &coverage, mesh_name));
	mesh_globals->mesh_LOD_data = header->mesh_LOD_data_size > 0
		? static_cast<uint16 *>(copy_section(block, &LOD, mesh_name)) : nullptr;
	mesh_globals->connectors = static_cast<saved_connector_data *>(copy_section(block, &used_connectors, mesh_name));
	if (!mesh_globals->mesh_cells || !mesh_globals->marker_palette || !mesh_globals->markers ||
		!mesh_globals->media_coverage_region || (header->mesh_LOD_data_size > 0 && !mesh_globals->mesh_LOD_data) ||
		!mesh_globals->connectors)
	{
		free_decoded_sections();
		return false;
	}

	mesh_globals->cell_count = cell_count;
	mesh_globals->marker_palette_count = header->marker_palette_entries;
	mesh_globals->marker_count = header->marker_count;
	mesh_globals->media_coverage_region_size = header->media_coverage_region_size;
	mesh_globals->mesh_LOD_data_size = header->mesh_LOD_data_size;
	mesh_globals->connector_count = header->connector_count;

	byte_swap_records<mesh_cell_bs_data>(mesh_globals->mesh_cells, sizeof(mesh_cell), cell_count);
	byte_swap_marker_palette(mesh_globals->marker_palette, mesh_globals->marker_palette_count);
	byte_swap_marker_list(mesh_globals->markers, mesh_globals->marker_count);
	byte_swap_memory("media coverage region", mesh_globals->media_coverage_region,
		mesh_globals->media_coverage_region_size / 2, _2byte);
	if (mesh_globals->mesh_LOD_data)
	{
		byte_swap_memory("mesh LOD data", mesh_globals->mesh_LOD_data, mesh_globals->mesh_LOD_data_size / 2, _2byte);
	}
	byte_swap_data("saved connectors", mesh_globals->connectors, sizeof(saved_connector_data),
		mesh_globals->connector_count, saved_connector_data_bs_data);

	// The decoded contents must be usable too.
	const char *marker_fault = check_marker_data(mesh_globals->markers, mesh_globals->marker_count,
		mesh_globals->marker_palette, mesh_globals->marker_palette_count);
	const mesh_section *bad = nullptr;
	if (marker_fault) bad = &markers;
	for (int32 i = 0; !bad && i < mesh_globals->connector_count; ++i)
	{
		const int16 count = mesh_globals->connectors[i].count;
		if (count < 0 || count > MAXIMUM_SAVED_CONNECTOR_IDENTIFIERS) bad = &connectors;
	}
	if (!bad && mesh_globals->media_coverage_region_size > 0)
	{
		mesh_globals->media_coverage_row_starts =
			static_cast<int32 *>(new_pointer(sizeof(int32) * static_cast<size_t>(height * MESH_TEXELS_PER_CELL)));
		if (!mesh_globals->media_coverage_row_starts ||
			!coverage_rows_are_terminated(mesh_globals->media_coverage_region, mesh_globals->media_coverage_region_size / 2,
				width, height, mesh_globals->media_coverage_row_starts))
		{
			bad = &coverage;
		}
	}
	if (bad)
	{
		if (marker_fault) log_message(nullptr, NONE, "mesh '%s': %s", mesh_name, marker_fault);
		report_bad_section(mesh_name, bad, block_size);
		free_decoded_sections();
		return false;
	}

	if (header->map_action_count > 0 || header->map_action_buffer_size > 0)
	{
		mesh_globals->map_actions = block + actions.offset;
	}
	mesh_globals->map_action_count = header->map_action_count;
	mesh_globals->map_action_buffer_size = header->map_action_buffer_size;
	return true;
}

/* ---------- installing a loaded map */

static void release_data_block(void)
{
	free_and_clear(&mesh_globals->data);
	mesh_globals->data_size = 0;
}

static void release_fetched_block(void)
{
	free_and_clear(&fetched_data_block);
	fetched_data_block_size = 0;
	fetched_data_block_tag = static_cast<file_tag>(NONE);
}

static void compute_height_bounds(void)
{
	int32 lowest = 32767, highest = -32768;
	for (int32 i = 0; i < mesh_globals->cell_count; ++i)
	{
		const mesh_cell *cell = &mesh_globals->mesh_cells[i];
		const int32 h = (cell->flags & _mesh_cell_triangle_media_flags) ? cell->media_height : cell->height;
		lowest = MIN(lowest, h);
		highest = MAX(highest, h);
	}
	mesh_globals->min_cell_height = static_cast<short_world_distance>(lowest);
	mesh_globals->max_cell_height = static_cast<short_world_distance>(highest);
}

static void set_up_media_surface_effects(void)
{
	mesh_globals->surface_effect_local_projectile_group = NONE;
	mesh_globals->time_until_building_effects = 0;
	const media_definition *media = get_media_definition(mesh_globals->media_type);
	if (media && media->surface_effect_local_projectile_group_type != NONE)
	{
		// One group holds every surface particle of the map; the effects
		// wait for their first build.
		const world_point3d origin = {0, 0, 0};
		mesh_globals->surface_effect_local_projectile_group =
			new_local_projectile_group(media->surface_effect_local_projectile_group_type, &origin, NONE);
		mesh_globals->time_until_building_effects = NONE;
	}
}

static void release_map(void);

// Steps 2 and 4-10 of a map load once header and block are in hand. The
// block becomes the module's; on failure everything is released.
static boolean install_mesh(mesh_header *header, uint8 *block, int32 block_size, file_tag mesh_tag,
	const char *mesh_name)
{
	mesh_globals->data = block;
	mesh_globals->data_size = block_size;

	if (!submesh_sizes_are_valid(header, mesh_name) || !decode_mesh_data(header, block, block_size, mesh_name))
	{
		release_data_block();
		return FALSE;
	}

	mesh_globals->header = header;
	mesh_globals->mesh_tag = mesh_tag;
	mesh_globals->submesh_width = header->submesh_width;
	mesh_globals->submesh_height = header->submesh_height;
	mesh_globals->mesh_width = header->submesh_width * SUBMESH_WIDTH;
	mesh_globals->mesh_height = header->submesh_height * SUBMESH_WIDTH;
	mesh_globals->media_type = header->media_type;
	mesh_globals->landscape_collection_index = header->landscape_collection_index;
	recalculate_mesh_deltas(mesh_globals->mesh_width);

	initialize_media_coverage_region(mesh_globals->media_coverage_region_size > 0
			? mesh_globals->media_coverage_region : nullptr,
		mesh_globals->media_coverage_region_size);
	const boolean script_replaced = mesh_test_hooks.map_actions != nullptr;
	if (!import_map_actions(
			script_replaced ? mesh_test_hooks.map_action_count : static_cast<int16>(mesh_globals->map_action_count),
			script_replaced ? mesh_test_hooks.map_action_buffer_size : mesh_globals->map_action_buffer_size,
			script_replaced ? mesh_test_hooks.map_actions : mesh_globals->map_actions, TRUE))
	{
		// A damaged script fails the load.
		dispose_media_coverage_region();
		release_map();
		return FALSE;
	}

	for (int32 i = 0; i < mesh_globals->cell_count; ++i)
	{
		mesh_globals->mesh_cells[i].first_object_index = NONE;
		mesh_globals->mesh_cells[i].model_index = NONE;
	}
	precalculate_mesh_flags(0, 0, mesh_globals->mesh_width, mesh_globals->mesh_height);
	compute_height_bounds();
	preload_map_action_tags();
	set_up_media_surface_effects();
	return TRUE;
}

static void release_map(void)
{
	if (!mesh_globals) return;
	free_decoded_sections();
	release_data_block();
	mesh_globals->header = nullptr;
	mesh_globals->mesh_width = 0;
	mesh_globals->mesh_height = 0;
	mesh_globals->submesh_width = 0;
	mesh_globals->submesh_height = 0;
	mesh_globals->mesh_tag = static_cast<file_tag>(NONE);
	mesh_globals->mesh_definition_index = NONE;
	mesh_globals->media_type = NONE;
	mesh_globals->landscape_collection_index = NONE;
}

/* ---------- reading the block from the tag */

// The one read of a map's data block, for the preloader and the map load alike.
static uint8 *read_mesh_data_block(int32 tag_handle, const mesh_header *header, boolean readahead,
	const char *mesh_name)
{
	if (!data_block_is_inside_tag(header, tag_file_get_header_data_size(tag_handle), mesh_name)) return nullptr;

	uint8 *block = static_cast<uint8 *>(new_pointer(header->data_size > 0 ? static_cast<size_t>(header->data_size) : 1));
	if (!block)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate #%d bytes for mesh data for %s.",
			static_cast<int>(header->data_size), mesh_name);
		return nullptr;
	}
	const boolean read = header->data_size == 0 ? TRUE
		: readahead ? tag_file_read_ahead(tag_handle, header->data_offset, header->data_size, block)
					: tag_file_read(tag_handle, header->data_offset, header->data_size, block);
	if (!read)
	{
		error_message(_error_file_system_read, MODULE_NAME, __LINE__, "couldn't read mesh data from %s.", mesh_name);
		dispose_pointer(block);
		return nullptr;
	}
	return block;
}

boolean load_mesh_header_data(file_tag subgroup, boolean readahead)
{
	const int16 index = subgroup_tag_to_definition_index(&mesh_definitions, subgroup);
	mesh_header *header = static_cast<mesh_header *>(try_and_get_definition(&mesh_definitions, index));
	if (!header) return FALSE;

	const int32 handle = get_definition_tag_header(&mesh_definitions, index);
	release_fetched_block();
	uint8 *block = read_mesh_data_block(handle, header, readahead, get_definition_name(&mesh_definitions, index));
	if (!block) return FALSE;
	fetched_data_block = block;
	fetched_data_block_size = header->data_size;
	fetched_data_block_tag = subgroup;
	mesh_definitions.flags[index] |= _definition_fetched_flag;
	return TRUE;
}

/* ---------- a map without tags, for tests that need only a running map */

static boolean install_stand_in_map(file_tag mesh_tag)
{
	mesh_header *header = &loose_mesh_header;
	memset(header, 0, sizeof(*header));
	header->submesh_width = STAND_IN_SUBMESH_SIZE;
	header->submesh_height = STAND_IN_SUBMESH_SIZE;
	header->landscape_collection_tag = static_cast<file_tag>(NONE);
	header->media_tag = static_cast<file_tag>(NONE);
	header->landscape_collection_index = NONE;
	header->media_type = NONE;
	const int32 cells = STAND_IN_SUBMESH_SIZE * SUBMESH_WIDTH * STAND_IN_SUBMESH_SIZE * SUBMESH_WIDTH;
	header->mesh_size = cells * static_cast<int32>(sizeof(mesh_cell));
	header->data_size = header->mesh_size;

	uint8 *block = static_cast<uint8 *>(new_pointer_z(static_cast<size_t>(header->data_size)));
	if (!block) return FALSE;
	const mesh_cell grass = {0, 0, static_cast<uint16>((_terrain_grass << CELL_TERRAIN_TYPE_BITS) | _terrain_grass),
		NONE, 0, NONE};
	for (int32 i = 0; i < cells; ++i)
	{
		mesh_cell stored = grass;
		byte_swap_data("mesh cells", &stored, sizeof(stored), 1, mesh_cell_bs_data);
		memcpy(block + i * sizeof(mesh_cell), &stored, sizeof(stored));
	}
	return install_mesh(header, block, header->data_size, mesh_tag, "stand-in");
}

/* ---------- life cycle */

void initialize_mesh(void)
{
	if (!mesh_globals)
	{
		mesh_globals = static_cast<mesh_globals_data *>(new_pointer_z(sizeof(mesh_globals_data)));
		precalculated_normal_data *normals = static_cast<precalculated_normal_data *>(
			new_pointer(sizeof(precalculated_normal_data) * NUMBER_OF_PRECALCULATED_NORMALS));
		if (!mesh_globals || !normals)
		{
			error_message(_error_out_of_memory, MODULE_NAME, __LINE__,
				"couldn't allocate #%d bytes for precalculated normal table.",
				static_cast<int>(sizeof(precalculated_normal_data) * NUMBER_OF_PRECALCULATED_NORMALS));
			return;
		}
		mesh_globals->precalculated_normals = normals;
		mesh_globals->mesh_tag = static_cast<file_tag>(NONE);
		mesh_globals->mesh_definition_index = NONE;
		mesh_globals->media_type = NONE;
		mesh_globals->landscape_collection_index = NONE;
		mesh_globals->surface_effect_local_projectile_group = NONE;
		build_precalculated_normal_table(normals);
	}
	// Also on a restarted core, whose definition start-up emptied the list of
	// groups the preload report walks.
	initialize_definitions(&mesh_definitions);
}

boolean initialize_mesh_for_new_map(file_tag mesh_tag)
{
	mesh_test_hooks.initialize_for_new_map_count += 1;
	mesh_test_hooks.last_mesh_tag = mesh_tag;
	if (!mesh_globals) return FALSE;
	release_map();

	// 1. The header through the definition loader.
	initialize_definitions_for_new_map(&mesh_definitions);
	if (mesh_test_hooks.initialize_for_new_map_answer && !tag_file_exists(MESH_DEFINITION_GROUP_TAG, mesh_tag))
	{
		update_map_loading_progress_dialog();
		return install_stand_in_map(mesh_tag);
	}
	const int16 index = definition_tag_to_index(&mesh_definitions, mesh_tag);
	update_map_loading_progress_dialog();
	mesh_header *header = static_cast<mesh_header *>(try_and_get_definition(&mesh_definitions, index));
	if (!header)
	{
		release_fetched_block();
		return FALSE;
	}
	const char *mesh_name = get_definition_name(&mesh_definitions, index);
	const int32 handle = get_definition_tag_header(&mesh_definitions, index);
	terminate_mesh_header_text(header);

	// 3. The data block, unless the preloader has it already.
	uint8 *block = nullptr;
	if ((mesh_definitions.flags[index] & _definition_fetched_flag) && fetched_data_block &&
		fetched_data_block_tag == mesh_tag && fetched_data_block_size == header->data_size)
	{
		block = fetched_data_block;
		fetched_data_block = nullptr;
		release_fetched_block();
	}
	else
	{
		release_fetched_block();
		if (!submesh_sizes_are_valid(header, mesh_name)) return FALSE;
		block = read_mesh_data_block(handle, header, FALSE, mesh_name);
		if (!block) return FALSE;
	}

	if (!install_mesh(header, block, header->data_size, mesh_tag, mesh_name)) return FALSE;
	mesh_globals->mesh_definition_index = index;
	return TRUE;
}

boolean load_mesh_from_tag_data(const void *tag_data, int32 tag_data_size, int16 version, const char *name)
{
	if (!mesh_globals) return FALSE;
	release_map();
	if (!tag_data || tag_data_size < static_cast<int32>(sizeof(mesh_header)))
	{
		error_message(_error_data_corrupted, MODULE_NAME, __LINE__, "mesh '%s' is too short for its header (#%d bytes).",
			name, static_cast<int>(tag_data ? tag_data_size : 0));
		return FALSE;
	}

	mesh_header *header = &loose_mesh_header;
	memcpy(header, tag_data, sizeof(*header));
	byte_swap_data("mesh header", header, sizeof(*header), 1, mesh_header_bs_data);
	if (version > MESH_VERSION_NUMBER)
	{
		error_message(_error_data_version, MODULE_NAME, __LINE__, "mesh definition for '%s' is too new (#%d>#%d).", name,
			version, MESH_VERSION_NUMBER);
		return FALSE;
	}
	if (!convert_mesh_header_to_current_version(header, version))
	{
		error_message(_error_data_version, MODULE_NAME, __LINE__, "mesh definition for '%s' is too old (#%d<#%d).", name,
			version, MESH_VERSION_NUMBER);
		return FALSE;
	}
	terminate_mesh_header_text(header);
	header->landscape_collection_index = NONE;
	header->media_type = NONE;
	if (!submesh_sizes_are_valid(header, name) || !data_block_is_inside_tag(header, tag_data_size, name)) return FALSE;

	uint8 *block = static_cast<uint8 *>(new_pointer(header->data_size > 0 ? static_cast<size_t>(header->data_size) : 1));
	if (!block) return FALSE;
	if (header->data_size > 0)
	{
		memcpy(block, static_cast<const uint8 *>(tag_data) + header->data_offset, static_cast<size_t>(header->data_size));
	}
	return install_mesh(header, block, header->data_size, static_cast<file_tag>(NONE), name);
}

void dispose_mesh_from_old_map(void)
{
	mesh_test_hooks.dispose_count += 1;
	mesh_test_hooks.state_at_last_dispose = game ? game->state : static_cast<int16>(NONE);
	if (!mesh_globals) return;

	if (mesh_globals->mesh_cells)
	{
		dispose_media_coverage_region();
		dispose_map_actions_from_old_map();
		save_color_map_to_file();
		release_map();
	}
	release_fetched_block();
	if (mesh_definitions.definitions) dispose_definitions_from_old_map(&mesh_definitions);
}

/* ---------- digest */

void fold_mesh_digest(zerv_digest *digest)
{
	if (!mesh_globals || !mesh_globals->mesh_cells) return;
	zerv_digest_int32(digest, mesh_globals->mesh_width);
	zerv_digest_int32(digest, mesh_globals->mesh_height);
	zerv_digest_int16(digest, mesh_globals->min_cell_height);
	zerv_digest_int16(digest, mesh_globals->max_cell_height);
	for (int32 i = 0; i < mesh_globals->cell_count; ++i)
	{
		const mesh_cell *cell = &mesh_globals->mesh_cells[i];
		zerv_digest_int16(digest, cell->height);
		zerv_digest_int16(digest, static_cast<int16>(cell->normal));
		zerv_digest_int16(digest, static_cast<int16>(cell->flags));
		zerv_digest_int16(digest, cell->first_object_index);
		zerv_digest_int16(digest, cell->media_height);
		zerv_digest_int16(digest, cell->model_index);
	}
}

/* ---------- the stained colour map */

static const char *const month_names[12] = {
	"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// "%b %e %H.%M" in ASCII, whatever the locale.
static void format_export_time(char *buffer, size_t size)
{
	int32 month, day, hour, minute;
	if (mesh_test_hooks.use_fixed_time)
	{
		month = mesh_test_hooks.month - 1;
		day = mesh_test_hooks.day;
		hour = mesh_test_hooks.hour;
		minute = mesh_test_hooks.minute;
	}
	else
	{
		const time_t now = time(nullptr);
		struct tm local;
		if (!localtime_r(&now, &local)) memset(&local, 0, sizeof(local));
		month = local.tm_mon;
		day = local.tm_mday;
		hour = local.tm_hour;
		minute = local.tm_min;
	}
	snprintf(buffer, size, "%s %2d %02d.%02d", month_names[PIN(month, 0, 11)], static_cast<int>(PIN(day, 0, 99)),
		static_cast<int>(PIN(hour, 0, 99)), static_cast<int>(PIN(minute, 0, 99)));
}

static void put_le16(uint8 *p, uint32 value)
{
	p[0] = static_cast<uint8>(value);
	p[1] = static_cast<uint8>(value >> 8);
}

static void put_le32(uint8 *p, uint32 value)
{
	put_le16(p, value);
	put_le16(p + 2, value >> 16);
}

static bool stained_maps_folder_exists(void)
{
	char path[MAXIMUM_FILE_PATH_SIZE];
	struct stat status;
	if (!file_location_get_full_path(0, STAINED_MAPS_FOLDER_NAME, path)) return false;
	return stat(path, &status) == 0 && S_ISDIR(status.st_mode);
}

void save_color_map_to_file(void)
{
	if (!mesh_globals || !mesh_globals->mesh_cells || !stained_maps_folder_exists()) return;
	log_message(nullptr, NONE, "Exporting stained colormap...");

	const int16 collection = mesh_globals->landscape_collection_index;
	const color_table *colors = collection == NONE ? nullptr : get_color_table(collection, 0);
	const int32 submeshes = mesh_globals->submesh_width * mesh_globals->submesh_height;
	const uint8 *maps[MAXIMUM_SUBMESH_WIDTH * MAXIMUM_SUBMESH_HEIGHT];
	bool complete = colors != nullptr;
	for (int16 n = 0; complete && n < submeshes; ++n)
	{
		maps[n] = get_submesh_color_map_base_address(n, FALSE);
		if (!maps[n]) complete = false;
	}
	if (!complete)
	{
		log_message(nullptr, NONE, "Stained colormap not exported: the map has no colour maps or colour table.");
		return;
	}
	write_stained_color_map(mesh_globals->submesh_width, mesh_globals->submesh_height, maps, colors);
}

boolean write_stained_color_map(int16 submesh_width, int16 submesh_height, const uint8 *const *color_maps,
	const color_table *colors)
{
	if (submesh_width < 1 || submesh_width > MAXIMUM_SUBMESH_WIDTH || submesh_height < 1 ||
		submesh_height > MAXIMUM_SUBMESH_HEIGHT || !color_maps || !colors)
	{
		return FALSE;
	}
	const int32 width = submesh_width * SUBMESH_TEXTURE_SIZE;
	const int32 height = submesh_height * SUBMESH_TEXTURE_SIZE;
	const int32 file_size = BMP_PIXEL_OFFSET + width * height;
	uint8 *image = static_cast<uint8 *>(new_pointer_z(static_cast<size_t>(file_size)));
	if (!image) return FALSE;

	image[0] = 'B';
	image[1] = 'M';
	put_le32(image + 2, static_cast<uint32>(file_size));
	put_le32(image + 10, BMP_PIXEL_OFFSET);
	put_le32(image + 14, 40);
	put_le32(image + 18, static_cast<uint32>(width));
	put_le32(image + 22, static_cast<uint32>(height));
	put_le16(image + 26, 1);
	put_le16(image + 28, 8);

	const int32 color_count = PIN(colors->color_count, 0, 256);
	for (int32 i = 0; i < color_count; ++i)
	{
		uint8 *entry = image + BMP_HEADERS_SIZE + 4 * i;
		entry[0] = static_cast<uint8>(colors->colors[i].blue >> 8);
		entry[1] = static_cast<uint8>(colors->colors[i].green >> 8);
		entry[2] = static_cast<uint8>(colors->colors[i].red >> 8);
	}

	// Submesh (x, y) shows at block column submesh_width - 1 - x, block row y,
	// each of its rows reversed; the file holds the rows bottom-up.
	uint8 *pixels = image + BMP_PIXEL_OFFSET;
	for (int32 file_row = 0; file_row < height; ++file_row)
	{
		const int32 image_row = height - 1 - file_row;
		const int32 submesh_y = image_row / SUBMESH_TEXTURE_SIZE;
		const int32 row = image_row % SUBMESH_TEXTURE_SIZE;
		uint8 *out = pixels + file_row * width;
		for (int32 column = 0; column < width; ++column)
		{
			const int32 submesh_x = submesh_width - 1 - column / SUBMESH_TEXTURE_SIZE;
			const int32 texel = SUBMESH_TEXTURE_SIZE - 1 - column % SUBMESH_TEXTURE_SIZE;
			out[column] = color_maps[submesh_y * submesh_width + submesh_x][row * SUBMESH_TEXTURE_SIZE + texel];
		}
	}

	file_reference folder;
	file_reference_create(&folder, 0);
	char stamp[32];
	char name[64] = "";
	format_export_time(stamp, sizeof(stamp));
	bool written = false;
	if (file_reference_add_directory(&folder, STAINED_MAPS_FOLDER_NAME))
	{
		// Two exports in one minute keep both files.
		for (int32 copy = 1; copy < 1000; ++copy)
		{
			if (copy == 1)
				snprintf(name, sizeof(name), "Stained map- %s.bmp", stamp);
			else
				snprintf(name, sizeof(name), "Stained map- %s #%d.bmp", stamp, static_cast<int>(copy));
			file_reference candidate;
			file_reference_copy(&candidate, &folder);
			if (!file_reference_set_name(&candidate, name)) break;
			if (file_exists(&candidate)) continue;
			written = single_file_replace(&folder, name, image, file_size);
			break;
		}
	}
	dispose_pointer(image);
	if (written)
		log_message(nullptr, NONE, "Stained colormap saved to %s/%s", STAINED_MAPS_FOLDER_NAME, name);
	else
		log_message(nullptr, NONE, "Stained colormap could not be written.");
	return written ? TRUE : FALSE;
}
