// Writing a map's 'mesh' data in its stored form, through the same records
// and descriptors the loader reads with.
#include "mesh.h"

#include "markers.h"

void initialize_mesh_header(mesh_header *header, int16 submesh_width, int16 submesh_height)
{
	memset(header, 0, sizeof(*header));
	const file_tag none = static_cast<file_tag>(NONE);
	header->landscape_collection_tag = none;
	header->media_tag = none;
	header->submesh_width = submesh_width;
	header->submesh_height = submesh_height;
	header->mesh_lighting_tag = none;
	header->connector_tag = none;
	header->particle_system_tag = none;
	header->global_ambient_sound_tag = none;
	header->map_description_string_list_tag = none;
	header->postgame_collection_tag = none;
	header->pregame_collection_tag = none;
	header->overhead_map_collection_tag = none;
	for (file_tag &tag : header->next_mesh_tags) tag = none;
	for (file_tag &tag : header->cutscene_movie_tags) tag = none;
	for (file_tag &tag : header->storyline_string_tags) tag = none;
	header->wind_tag = none;
	for (file_tag &tag : header->screen_collection_tags) tag = none;
	header->picture_caption_string_list_tag = none;
	header->narration_sound_tag = none;
	header->win_ambient_sound_tag = none;
	header->loss_ambient_sound_tag = none;
	header->hints_string_list_tag = none;
	header->difficulty_level_override_string_list_tag = none;
	header->team_names_override_string_list_tag = none;
	// The lighting and fog a converted header gets.
	convert_mesh_header_to_current_version(header, 7);
	header->connector_tag = none;
	header->hints_string_list_tag = none;
	header->connector_type = NONE;
	header->map_description_string_index = NONE;
	header->overhead_map_collection_index = NONE;
	header->landscape_collection_index = NONE;
	header->global_ambient_sound_index = NONE;
	header->media_type = NONE;
	header->hints_string_list_index = NONE;
}

uint8 *build_mesh_tag_data(const mesh_tag_contents *contents, int32 *size)
{
	const mesh_header *source = &contents->header;
	if (source->submesh_width < 1 || source->submesh_width > MAXIMUM_SUBMESH_WIDTH || source->submesh_height < 1 ||
		source->submesh_height > MAXIMUM_SUBMESH_HEIGHT || !contents->cells)
	{
		return nullptr;
	}
	const int32 cell_count = source->submesh_width * SUBMESH_WIDTH * source->submesh_height * SUBMESH_WIDTH;

	const int64 sizes[] = {
		static_cast<int64>(cell_count) * static_cast<int64>(sizeof(mesh_cell)),
		static_cast<int64>(contents->palette_count) * static_cast<int64>(sizeof(marker_palette_entry)),
		static_cast<int64>(contents->marker_count) * static_cast<int64>(sizeof(marker_data)),
		static_cast<int64>(contents->map_action_buffer_size),
		static_cast<int64>(contents->media_coverage_region_words) * 2,
		static_cast<int64>(contents->LOD_data_words) * 2,
		static_cast<int64>(contents->connector_count) * static_cast<int64>(sizeof(saved_connector_data)),
	};
	int64 offsets[NUMBEROF(sizes)];
	int64 block_size = 0;
	for (size_t i = 0; i < NUMBEROF(sizes); ++i)
	{
		if (sizes[i] < 0) return nullptr;
		offsets[i] = block_size;
		block_size += sizes[i];
	}
	const int64 total = static_cast<int64>(sizeof(mesh_header)) + block_size;
	if (total > INT32_MAX) return nullptr;

	uint8 *data = static_cast<uint8 *>(new_pointer_z(static_cast<size_t>(total)));
	if (!data) return nullptr;
	uint8 *block = data + sizeof(mesh_header);

	mesh_header header = *source;
	header.mesh_offset = static_cast<int32>(offsets[0]);
	header.mesh_size = static_cast<int32>(sizes[0]);
	header.data_offset = static_cast<int32>(sizeof(mesh_header));
	header.data_size = static_cast<int32>(block_size);
	header.marker_palette_entries = contents->palette_count;
	header.marker_palette_offset = static_cast<int32>(offsets[1]);
	header.marker_palette_size = static_cast<int32>(sizes[1]);
	header.marker_count = contents->marker_count;
	header.markers_offset = static_cast<int32>(offsets[2]);
	header.markers_size = static_cast<int32>(sizes[2]);
	header.map_action_count = contents->map_action_count;
	header.map_actions_offset = static_cast<int32>(offsets[3]);
	header.map_action_buffer_size = contents->map_action_buffer_size;
	header.media_coverage_region_offset = static_cast<int32>(offsets[4]);
	header.media_coverage_region_size = static_cast<int32>(sizes[4]);
	header.mesh_LOD_data_offset = static_cast<int32>(offsets[5]);
	header.mesh_LOD_data_size = static_cast<int32>(sizes[5]);
	header.connector_count = contents->connector_count;
	header.connectors_offset = static_cast<int32>(offsets[6]);
	header.connectors_size = static_cast<int32>(sizes[6]);
	header.mesh = header.data = header.marker_palette = header.markers = 0;
	header.media_coverage_region = header.mesh_LOD_data = header.connectors = 0;
	byte_swap_data("mesh header", &header, sizeof(header), 1, mesh_header_bs_data);
	memcpy(data, &header, sizeof(header));

	uint8 *cells = block + offsets[0];
	memcpy(cells, contents->cells, static_cast<size_t>(sizes[0]));
	byte_swap_data("mesh cells", cells, sizeof(mesh_cell), cell_count, mesh_cell_bs_data);

	if (contents->palette_count > 0)
	{
		marker_palette_entry *palette = reinterpret_cast<marker_palette_entry *>(block + offsets[1]);
		memcpy(palette, contents->palette, static_cast<size_t>(sizes[1]));
		byte_swap_marker_palette(palette, contents->palette_count);
	}
	if (contents->marker_count > 0)
	{
		marker_data *markers = reinterpret_cast<marker_data *>(block + offsets[2]);
		memcpy(markers, contents->markers, static_cast<size_t>(sizes[2]));
		byte_swap_marker_list_out(markers, contents->marker_count);
	}
	if (sizes[3] > 0 && contents->map_actions) memcpy(block + offsets[3], contents->map_actions, static_cast<size_t>(sizes[3]));
	if (sizes[4] > 0)
	{
		memcpy(block + offsets[4], contents->media_coverage_region, static_cast<size_t>(sizes[4]));
		byte_swap_memory("media coverage region", block + offsets[4], contents->media_coverage_region_words, _2byte);
	}
	if (sizes[5] > 0)
	{
		memcpy(block + offsets[5], contents->LOD_data, static_cast<size_t>(sizes[5]));
		byte_swap_memory("mesh LOD data", block + offsets[5], contents->LOD_data_words, _2byte);
	}
	if (sizes[6] > 0)
	{
		memcpy(block + offsets[6], contents->connectors, static_cast<size_t>(sizes[6]));
		byte_swap_data("saved connectors", block + offsets[6], sizeof(saved_connector_data), contents->connector_count,
			saved_connector_data_bs_data);
	}

	*size = static_cast<int32>(total);
	return data;
}

static bool texel_is_media(const mesh_cell *cells, int32 width, int32 tx, int32 ty)
{
	const int32 x = tx / MESH_TEXELS_PER_CELL, y = ty / MESH_TEXELS_PER_CELL;
	const mesh_cell *cell = &cells[y * width + x];
	if (!(cell->flags & _mesh_cell_triangle_media_flags)) return false;
	// The texel's centre decides which triangle it belongs to.
	const world_distance wx = x * WORLD_ONE + (tx % MESH_TEXELS_PER_CELL) * 64 + 32;
	const world_distance wy = y * WORLD_ONE + (ty % MESH_TEXELS_PER_CELL) * 64 + 32;
	const int16 t = get_mesh_triangle_index(wx, wy);
	const bool first = t == _even_cell_first_triangle || t == _odd_cell_first_triangle;
	return (cell->flags & (first ? _mesh_cell_triangle0_is_media_flag : _mesh_cell_triangle1_is_media_flag)) != 0;
}

int32 build_media_coverage_from_cells(const mesh_cell *cells, int32 width, int32 height, uint16 *words,
	int32 maximum_words)
{
	const int32 texel_width = width * MESH_TEXELS_PER_CELL;
	int32 count = 0;
	for (int32 ty = 0; ty < height * MESH_TEXELS_PER_CELL; ++ty)
	{
		// Texel 0 cannot start media: a toggle marks the texel before the run.
		bool inside = false;
		for (int32 tx = 1; tx < texel_width; ++tx)
		{
			if (texel_is_media(cells, width, tx, ty) == inside) continue;
			if (count >= maximum_words) return -1;
			words[count++] = static_cast<uint16>(tx - 1);
			inside = !inside;
		}
		if (count >= maximum_words) return -1;
		words[count++] = static_cast<uint16>(texel_width);
	}
	return count;
}
