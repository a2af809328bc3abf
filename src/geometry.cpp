#include "geometry.h"

#include "collection_references.h"
#include "error_manager.h"
#include "memory.h"
#include "tag_files/tag_files.h"
#include "world.h"

/* ---------- stored layouts */

constexpr byte_swap_code geometry_definition_bs_data[] = {
	_begin_bs_array, 1,
	_4byte, _4byte, // flags, collection_reference_tag
	_2byte, _2byte, _2byte, _2byte, // counts
	_2byte, _2byte, _2byte, _2byte, // center, height
	_4byte, // obsolete
	_4byte, _4byte, 4, // materials
	_4byte, _4byte, 4, // vertices
	_4byte, _4byte, 4, // surfaces
	_4byte, _4byte, 4, // dependency list
	_4byte, _4byte, 4, // data
	_2byte, _2byte, _2byte, _2byte, _2byte, _2byte, // bounds
	26, // unused
	2, // collection_reference_index: filled at load
	_end_bs_array};
static_assert(get_byte_swap_struct_size(geometry_definition_bs_data) == sizeof(geometry_definition));

constexpr byte_swap_code geometry_material_bs_data[] = {
	_begin_bs_array, 1,
	MAXIMUM_GEOMETRY_MATERIAL_NAME_LENGTH, _2byte, 24, _2byte, _2byte, _2byte,
	_end_bs_array};
static_assert(get_byte_swap_struct_size(geometry_material_bs_data) == sizeof(geometry_material));

constexpr byte_swap_code geometry_vertex_bs_data[] = {_begin_bs_array, 1, _2byte, _2byte, _2byte, _end_bs_array};
static_assert(get_byte_swap_struct_size(geometry_vertex_bs_data) == sizeof(geometry_vertex));

constexpr byte_swap_code geometry_corner_bs_data[] = {_begin_bs_array, 1, _2byte, _2byte, _2byte, _2byte, _end_bs_array};
static_assert(get_byte_swap_struct_size(geometry_corner_bs_data) == sizeof(geometry_corner));

constexpr byte_swap_code geometry_surface_bs_data[] = {
	_begin_bs_array, 1,
	_2byte, _2byte, _2byte, _2byte, // flags, normal
	_4byte, // d
	_2byte, _2byte, _2byte, _2byte, _2byte, _2byte, // bounds
	_2byte, _2byte, // transparency, material_index
	_begin_bs_array, NUMBER_OF_SURFACE_CORNERS, _2byte, _2byte, _2byte, _2byte, _end_bs_array,
	_2byte, _2byte, _2byte, _2byte, _2byte, _2byte,
	_end_bs_array};
static_assert(get_byte_swap_struct_size(geometry_surface_bs_data) == sizeof(geometry_surface));

static constexpr byte_swap_code geometry_dependency_bs_data[] = {_begin_bs_array, 1, _2byte, _end_bs_array};

/* ---------- the group */

static definition_globals geometry_definitions = {
	"geometry",
	GEOMETRY_GROUP_TAG,
	GEOMETRY_VERSION_NUMBER,
	MAXIMUM_GEOMETRY_DEFINITIONS_PER_MAP,
	static_cast<int16>(sizeof(geometry_definition)),
	geometry_definition_dependencies,
	postprocess_geometry_definition,
	convert_geometry_definition,
	nullptr,
	geometry_definition_bs_data,
	0,
	nullptr, nullptr, nullptr, NONE, 0, nullptr, nullptr, nullptr};

// By definition index: the data blocks and the tables inside them.
static geometry_tables geometry_table_slots[MAXIMUM_GEOMETRY_DEFINITIONS_PER_MAP];

definition_globals *get_geometry_definitions(void)
{
	return &geometry_definitions;
}

static void release_geometry_tables(int16 index)
{
	free_and_clear(&geometry_table_slots[index].data);
	geometry_table_slots[index] = {};
}

void initialize_geometry_definitions(void)
{
	if (geometry_definitions.definitions) return;
	initialize_definitions(&geometry_definitions);
}

void initialize_geometry_definitions_for_new_map(void)
{
	if (!geometry_definitions.definitions) return;
	for (int16 i = 0; i < MAXIMUM_GEOMETRY_DEFINITIONS_PER_MAP; ++i) release_geometry_tables(i);
	initialize_definitions_for_new_map(&geometry_definitions);
}

void dispose_geometry_definitions_from_old_map(void)
{
	for (int16 i = 0; i < MAXIMUM_GEOMETRY_DEFINITIONS_PER_MAP; ++i) release_geometry_tables(i);
	if (geometry_definitions.definitions) dispose_definitions_from_old_map(&geometry_definitions);
}

void geometry_definition_dependencies(void *definition, report_definition_dependency_proc report)
{
	geometry_definition *geometry = static_cast<geometry_definition *>(definition);
	report(COLLECTION_REFERENCE_GROUP_TAG, geometry->collection_reference_tag, &geometry->collection_reference_index);
}

boolean convert_geometry_definition(definition_globals *, int32, int16, const void *, void *)
{
	return FALSE; // only version 1 exists
}

int16 geometry_definition_tag_to_index(file_tag subgroup)
{
	return definition_tag_to_index(&geometry_definitions, subgroup);
}

geometry_definition *get_geometry_definition(int16 geometry_index)
{
	return static_cast<geometry_definition *>(try_and_get_definition(&geometry_definitions, geometry_index));
}

const geometry_tables *get_geometry_tables(int16 geometry_index)
{
	if (!get_geometry_definition(geometry_index)) return nullptr;
	const geometry_tables *tables = &geometry_table_slots[geometry_index];
	return tables->surfaces || tables->data ? tables : nullptr;
}

/* ---------- loading */

boolean geometry_table_is_inside(int32 offset, int32 size, int32 count, int32 record_size, int32 block_size,
	int32 alignment)
{
	if (count < 0 || size < 0 || offset < 0) return FALSE;
	if (static_cast<int64>(count) * record_size > size) return FALSE;
	if (static_cast<int64>(offset) + size > block_size) return FALSE;
	return count == 0 || offset % alignment == 0;
}

// The data block lies inside the bytes and its copy is allocated; NULL with
// the error logged otherwise.
static uint8 *new_definition_data_block(const char *kind, const char *name, int32 offset, int32 size,
	int32 total_size)
{
	if (offset < 0 || size < 0 || static_cast<int64>(offset) + size > total_size)
	{
		error_message(_error_data_corrupted, MODULE_NAME, __LINE__,
			"%s %s has a bad data block (offset #%d, size #%d, tag #%d bytes).", kind, name, static_cast<int>(offset),
			static_cast<int>(size), static_cast<int>(total_size));
		return nullptr;
	}
	uint8 *block = static_cast<uint8 *>(new_pointer(size > 0 ? static_cast<size_t>(size) : 1));
	if (!block) error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "allocation failed for data from %s %s.", kind, name);
	return block;
}

uint8 *read_definition_data_block(int32 tag_handle, int32 offset, int32 size, boolean read_ahead, const char *kind)
{
	const char *name = tag_handle == NONE ? "<unknown>" : tag_file_name_get(tag_handle);
	const int32 tag_size = tag_handle == NONE ? 0 : tag_file_get_header_data_size(tag_handle);
	uint8 *block = new_definition_data_block(kind, name, offset, size, tag_size);
	if (!block) return nullptr;
	const boolean read = size == 0 ? TRUE
		: read_ahead ? tag_file_read_ahead(tag_handle, offset, size, block)
					 : tag_file_read(tag_handle, offset, size, block);
	if (!read)
	{
		error_message(_error_file_system_read, MODULE_NAME, __LINE__, "couldn't read data from %s %s.", kind, name);
		dispose_pointer(block);
		return nullptr;
	}
	return block;
}

boolean fetch_definition_data_block(definition_globals *definitions, file_tag subgroup, int32 offset, int32 size,
	boolean read_ahead, const char *kind, install_data_block_proc install)
{
	const int16 index = subgroup_tag_to_definition_index(definitions, subgroup);
	if (index == NONE) return FALSE;
	uint8 *block = read_definition_data_block(get_definition_tag_header(definitions, index), offset, size, read_ahead, kind);
	if (!block) return FALSE;
	install(index, block);
	definitions->flags[index] |= _definition_fetched_flag;
	return TRUE;
}

static void install_geometry_block(int16 index, uint8 *block)
{
	release_geometry_tables(index);
	geometry_table_slots[index].data = block;
}

boolean load_geometry_data(file_tag subgroup, geometry_definition *definition, boolean read_ahead)
{
	return definition && fetch_definition_data_block(&geometry_definitions, subgroup, definition->data_offset,
		definition->data_size, read_ahead, "geometry", install_geometry_block);
}

uint8 *new_definition_header_from_tag_data(definition_globals *definitions, file_tag subgroup, const void *tag_data,
	int32 tag_data_size)
{
	const char *name = tag_to_string(subgroup);
	if (!tag_data || tag_data_size < definitions->size)
	{
		error_message(_error_data_corrupted, MODULE_NAME, __LINE__, "%s %s is too short (#%d bytes, header #%d bytes).",
			definitions->name, name, static_cast<int>(tag_data ? tag_data_size : 0), static_cast<int>(definitions->size));
		return NULL;
	}
	uint8 *header = static_cast<uint8 *>(new_pointer(static_cast<size_t>(definitions->size)));
	if (!header)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "allocation failed for %s %s.", definitions->name, name);
		return NULL;
	}
	memcpy(header, tag_data, static_cast<size_t>(definitions->size));
	byte_swap_data(definitions->name, header, definitions->size, 1, definitions->byte_swapping_data);
	return header;
}

int16 postprocess_new_definition(definition_globals *definitions, int16 index)
{
	definitions->flags[index] |= _definition_postprocessed_flag;
	if (definitions->postprocess &&
		!definitions->postprocess(definitions, index, NONE, try_and_get_definition(definitions, index)))
	{
		definitions->flags[index] &= static_cast<uint16>(~_definition_postprocessed_flag);
		delete_definition(definitions, index);
		return NONE;
	}
	return index;
}

int16 new_definition_from_tag_data(definition_globals *definitions, file_tag subgroup, const void *tag_data,
	int32 tag_data_size, int32 data_offset_field, install_data_block_proc install)
{
	uint8 *header = new_definition_header_from_tag_data(definitions, subgroup, tag_data, tag_data_size);
	if (!header) return NONE;
	int32 data_offset, data_size;
	memcpy(&data_offset, header + data_offset_field, sizeof(data_offset));
	memcpy(&data_size, header + data_offset_field + 4, sizeof(data_size));
	// The block comes first, so that a refusal leaves no definition behind.
	uint8 *block = new_definition_data_block(definitions->name, tag_to_string(subgroup), data_offset, data_size, tag_data_size);
	const int16 index = block ? new_definition_for_group(definitions, definitions->group, subgroup, NONE, header) : NONE;
	dispose_pointer(header);
	if (index == NONE)
	{
		dispose_pointer(block);
		return NONE;
	}

	if (data_size > 0) memcpy(block, static_cast<const uint8 *>(tag_data) + data_offset, static_cast<size_t>(data_size));
	install(index, block);
	definitions->flags[index] |= _definition_fetched_flag;
	return postprocess_new_definition(definitions, index);
}

int16 new_geometry_definition_from_tag_data(file_tag subgroup, const void *tag_data, int32 tag_data_size)
{
	return new_definition_from_tag_data(&geometry_definitions, subgroup, tag_data, tag_data_size,
		offsetof(geometry_definition, data_offset), install_geometry_block);
}

void report_bad_definition_field(const char *kind, int32 tag_handle, const char *field)
{
	error_message(_error_data_corrupted, MODULE_NAME, __LINE__, "%s %s has a bad %s.", kind,
		tag_handle == NONE ? "<unknown>" : tag_file_name_get(tag_handle), field);
}

// Counts and table placement, before anything is swapped.
static const char *check_geometry_layout(const geometry_definition *geometry)
{
	const int32 size = geometry->data_size;
	if (geometry->material_count < 0 || geometry->material_count > MAXIMUM_MATERIALS_PER_GEOMETRY) return "material_count";
	if (geometry->vertex_count < 0 || geometry->vertex_count > MAXIMUM_VERTICES_PER_GEOMETRY) return "vertex_count";
	if (geometry->surface_count < 0 || geometry->surface_count > MAXIMUM_SURFACES_PER_GEOMETRY) return "surface_count";
	if (geometry->dependency_count < 0) return "dependency_count";
	if (!geometry_table_is_inside(geometry->materials_offset, geometry->materials_size, geometry->material_count,
			sizeof(geometry_material), size, 2))
	{
		return "material table";
	}
	if (!geometry_table_is_inside(geometry->vertices_offset, geometry->vertices_size, geometry->vertex_count,
			sizeof(geometry_vertex), size, 2))
	{
		return "vertex table";
	}
	if (!geometry_table_is_inside(geometry->surfaces_offset, geometry->surfaces_size, geometry->surface_count,
			sizeof(geometry_surface), size, 4))
	{
		return "surface table";
	}
	if (geometry->dependency_count > 0 &&
		!geometry_table_is_inside(geometry->dependency_list_offset, geometry->dependency_size,
			geometry->dependency_count, sizeof(int16), size, 2))
	{
		return "dependency list";
	}
	return nullptr;
}

static bool surface_link_is_valid(int16 link, int16 surface_count)
{
	return link == NONE || (link >= 0 && link < surface_count);
}

// Indexes inside the swapped tables.
static const char *check_geometry_indexes(const geometry_definition *geometry, const geometry_tables *tables)
{
	for (int16 i = 0; i < geometry->surface_count; ++i)
	{
		const geometry_surface *surface = &tables->surfaces[i];
		if (surface->material_index < 0 || surface->material_index >= geometry->material_count) return "material_index";
		for (int16 c = 0; c < NUMBER_OF_SURFACE_CORNERS; ++c)
		{
			const int16 vertex = surface->corners[c].vertex_index;
			if (vertex < 0 || vertex >= geometry->vertex_count) return "vertex_index";
		}
		if (!surface_link_is_valid(surface->next_negative_surface_index, geometry->surface_count) ||
			!surface_link_is_valid(surface->next_parallel_surface_index, geometry->surface_count) ||
			!surface_link_is_valid(surface->next_positive_surface_index, geometry->surface_count))
		{
			return "surface link";
		}
	}
	return nullptr;
}

boolean postprocess_geometry_definition(definition_globals *definitions, int16 definition_index, int32 tag_handle,
	void *definition)
{
	geometry_definition *geometry = static_cast<geometry_definition *>(definition);
	if (definition_index < 0 || definition_index >= MAXIMUM_GEOMETRY_DEFINITIONS_PER_MAP) return FALSE;
	geometry_tables *tables = &geometry_table_slots[definition_index];

	const char *bad_field = check_geometry_layout(geometry);
	if (bad_field)
	{
		report_bad_definition_field("geometry", tag_handle, bad_field);
		return FALSE;
	}

	// 1. The data block, unless the preloader has it.
	if (!(definitions->flags[definition_index] & _definition_fetched_flag) || !tables->data)
	{
		release_geometry_tables(definition_index);
		tables->data = read_definition_data_block(tag_handle, geometry->data_offset, geometry->data_size, FALSE,
			"geometry");
		if (!tables->data) return FALSE;
	}
	uint8 *data = tables->data;

	// 2. The tables and the collection reference.
	tables->materials = reinterpret_cast<geometry_material *>(data + geometry->materials_offset);
	tables->vertices = reinterpret_cast<geometry_vertex *>(data + geometry->vertices_offset);
	tables->surfaces = reinterpret_cast<geometry_surface *>(data + geometry->surfaces_offset);
	geometry->collection_reference_index =
		definition_tag_to_index(get_collection_reference_definitions(), geometry->collection_reference_tag);
	if (geometry->collection_reference_index == NONE)
	{
		error_message(_error_unknown, MODULE_NAME, __LINE__, "unable to get collection reference '%s' for geometry %s.",
			tag_to_string(geometry->collection_reference_tag), tag_file_name_get(tag_handle));
		release_geometry_tables(definition_index);
		definitions->flags[definition_index] &= static_cast<uint16>(~_definition_fetched_flag);
		return FALSE;
	}

	// 3-4. The dependency list and the swaps.
	tables->dependency_list = geometry->dependency_count > 0
		? reinterpret_cast<int16 *>(data + geometry->dependency_list_offset) : nullptr;
	byte_swap_data("geometry material", tables->materials, sizeof(geometry_material), geometry->material_count,
		geometry_material_bs_data);
	byte_swap_data("geometry vertex", tables->vertices, sizeof(geometry_vertex), geometry->vertex_count,
		geometry_vertex_bs_data);
	byte_swap_data("geometry surface", tables->surfaces, sizeof(geometry_surface), geometry->surface_count,
		geometry_surface_bs_data);
	if (tables->dependency_list)
	{
		byte_swap_data("geometry dependency list", tables->dependency_list, sizeof(int16), geometry->dependency_count,
			geometry_dependency_bs_data);
	}

	bad_field = check_geometry_indexes(geometry, tables);
	if (bad_field)
	{
		// The block was swapped: a retry must read it afresh.
		report_bad_definition_field("geometry", tag_handle, bad_field);
		release_geometry_tables(definition_index);
		definitions->flags[definition_index] &= static_cast<uint16>(~_definition_fetched_flag);
		return FALSE;
	}

	// 5. Mesh-aligned geometries draw their closest-z surfaces against the mesh.
	if (geometry->flags & _geometry_definition_is_mesh_aligned_flag)
	{
		for (int16 i = 0; i < geometry->surface_count; ++i)
		{
			if (tables->surfaces[i].flags & _geometry_surface_uses_closest_z_flag)
			{
				tables->surfaces[i].flags |= _geometry_surface_mesh_aligned_closest_z_flag;
			}
		}
	}
	return TRUE;
}

/* ---------- maths */

static inline int16 truncate16(int64 value)
{
	return static_cast<int16>(static_cast<uint16>(static_cast<uint64>(value) & 0xFFFF));
}

static inline int32 product9(int32 a, int32 b)
{
	return static_cast<int32>((static_cast<int64>(a) * b) >> GEOMETRY_MATRIX_BITS);
}

static void model_product(const matrix3x3 *m, int64 dx, int64 dy, int64 dz, int16 out[3])
{
	for (int c = 0; c < 3; ++c)
	{
		const int64 sum = m->n[0][c] * dx + m->n[1][c] * dy + m->n[2][c] * dz;
		out[c] = truncate16(sum >> GEOMETRY_MATRIX_BITS);
	}
}

void transform_model_point3d(world_point3d *result, const matrix3x3 *matrix, const world_point3d *origin,
	const world_point3d *point)
{
	int16 out[3];
	model_product(matrix, static_cast<int64>(point->x) - origin->x, static_cast<int64>(point->y) - origin->y,
		static_cast<int64>(point->z) - origin->z, out);
	result->x = out[0];
	result->y = out[1];
	result->z = out[2];
}

static bool is_identity_shortcut(const matrix3x3 *m)
{
	return m->n[0][0] == GEOMETRY_NORMAL_SCALE && m->n[1][1] == GEOMETRY_NORMAL_SCALE &&
		m->n[2][2] == GEOMETRY_NORMAL_SCALE;
}

void transform_geometry_point_to_world(const world_point3d *origin, const world_point3d *center,
	const world_point3d *point, const matrix3x3 *geometry_to_world, world_point3d *result)
{
	world_point3d offset;
	if (is_identity_shortcut(geometry_to_world))
	{
		offset.x = truncate16(static_cast<int64>(point->x) - center->x);
		offset.y = truncate16(static_cast<int64>(point->y) - center->y);
		offset.z = truncate16(static_cast<int64>(point->z) - center->z);
	}
	else
	{
		transform_model_point3d(&offset, geometry_to_world, center, point);
	}
	result->x = origin->x + offset.x;
	result->y = origin->y + offset.y;
	result->z = origin->z + offset.z;
}

void transform_world_point_to_geometry(const world_point3d *origin, const world_point3d *center,
	const world_point3d *point, const matrix3x3 *world_to_geometry, world_point3d *result)
{
	if (is_identity_shortcut(world_to_geometry))
	{
		result->x = truncate16(static_cast<int64>(truncate16(static_cast<int64>(point->x) - origin->x)) + center->x);
		result->y = truncate16(static_cast<int64>(truncate16(static_cast<int64>(point->y) - origin->y)) + center->y);
		result->z = truncate16(static_cast<int64>(truncate16(static_cast<int64>(point->z) - origin->z)) + center->z);
		return;
	}
	world_point3d local;
	transform_model_point3d(&local, world_to_geometry, origin, point);
	result->x = local.x + center->x;
	result->y = local.y + center->y;
	result->z = local.z + center->z;
}

void rotate_model_vector(world_vector3d *result, const matrix3x3 *matrix, const world_vector3d *vector)
{
	int16 out[3];
	model_product(matrix, vector->i, vector->j, vector->k, out);
	result->i = out[0];
	result->j = out[1];
	result->k = out[2];
}

void downshift_trig_matrix_into_world_matrix(matrix3x3 *matrix)
{
	for (int r = 0; r < 3; ++r)
	{
		for (int c = 0; c < 3; ++c) matrix->n[r][c] = static_cast<int16>(matrix->n[r][c] >> TRIG_TO_GEOMETRY_MATRIX_SHIFT);
	}
}

void get_geometry_matrices(const world_vector3d *forward, const world_vector3d *up, const world_vector3d *scale,
	matrix3x3 *geometry_to_world, matrix3x3 *world_to_geometry)
{
	build_rotation_matrix3d(geometry_to_world, forward, up);
	downshift_trig_matrix_into_world_matrix(geometry_to_world);
	if (scale->i == GEOMETRY_NORMAL_SCALE && scale->j == GEOMETRY_NORMAL_SCALE && scale->k == GEOMETRY_NORMAL_SCALE)
	{
		build_inverse_rotation_matrix3d(world_to_geometry, forward, up);
		downshift_trig_matrix_into_world_matrix(world_to_geometry);
		return;
	}
	// Held in range so that the matrix stays invertible.
	const int32 factors[3] = {PIN(scale->i, GEOMETRY_MINIMUM_SCALE, GEOMETRY_MAXIMUM_SCALE),
		PIN(scale->j, GEOMETRY_MINIMUM_SCALE, GEOMETRY_MAXIMUM_SCALE),
		PIN(scale->k, GEOMETRY_MINIMUM_SCALE, GEOMETRY_MAXIMUM_SCALE)};
	for (int r = 0; r < 3; ++r)
	{
		for (int c = 0; c < 3; ++c) geometry_to_world->n[r][c] = truncate16(product9(geometry_to_world->n[r][c], factors[c]));
	}
	world_matrix_inverse(geometry_to_world, world_to_geometry);
}

int16 world_matrix_cofactor(const matrix3x3 *matrix, int16 row, int16 column)
{
	int rows[2], columns[2];
	for (int i = 0, r = 0, c = 0; i < 3; ++i)
	{
		if (i != row) rows[r++] = i;
		if (i != column) columns[c++] = i;
	}
	const int32 minor = product9(matrix->n[rows[0]][columns[0]], matrix->n[rows[1]][columns[1]]) -
		product9(matrix->n[rows[0]][columns[1]], matrix->n[rows[1]][columns[0]]);
	return truncate16((row + column) & 1 ? -static_cast<int64>(minor) : minor);
}

int16 world_matrix_determinant(const matrix3x3 *matrix)
{
	int64 determinant = 0;
	for (int16 c = 0; c < 3; ++c)
	{
		determinant += truncate16(product9(matrix->n[0][c], world_matrix_cofactor(matrix, 0, c)));
	}
	return truncate16(determinant);
}

void world_matrix_inverse(const matrix3x3 *matrix, matrix3x3 *result)
{
	const int32 determinant = world_matrix_determinant(matrix);
	if (determinant == 0)
	{
		*result = {{{GEOMETRY_NORMAL_SCALE, 0, 0}, {0, GEOMETRY_NORMAL_SCALE, 0}, {0, 0, GEOMETRY_NORMAL_SCALE}}};
		return;
	}
	matrix3x3 inverse;
	for (int16 r = 0; r < 3; ++r)
	{
		for (int16 c = 0; c < 3; ++c)
		{
			const int64 cofactor = world_matrix_cofactor(matrix, c, r);
			inverse.n[r][c] = truncate16(cofactor * GEOMETRY_NORMAL_SCALE / determinant);
		}
	}
	*result = inverse;
}

void calculate_geometry_cell_width_and_height(const geometry_definition *definition, int16 *width, int16 *height)
{
	*width = truncate16((static_cast<int32>(definition->bounds.maximum_corner.x) + WORLD_ONE - 1) >> WORLD_FRACTIONAL_BITS);
	*height = truncate16((static_cast<int32>(definition->bounds.maximum_corner.y) + WORLD_ONE - 1) >> WORLD_FRACTIONAL_BITS);
}
