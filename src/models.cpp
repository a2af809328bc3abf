#include "models.h"

#include "error_manager.h"
#include "geometry.h"
#include "markers.h"
#include "memory.h"
#include "mesh.h"
#include "model_animations.h"
#include "monsters.h"
#include "shapes.h"
#include "tag_files/tag_files.h"
#include "world.h"
#include "zerv.h"

/* ---------- stored layouts */

constexpr byte_swap_code model_definition_bs_data[] = {
	_begin_bs_array, 1,
	_4byte, _4byte, // flags, geometry_tag
	2, // geometry_index: filled at load
	_2byte, _2byte, _2byte, // counts
	_4byte, _4byte, 4, // vertex flags
	_4byte, _4byte, 4, // permutations
	_4byte, _4byte, 4, // cells
	_4byte, _4byte, 4, // data
	_end_bs_array};
static_assert(get_byte_swap_struct_size(model_definition_bs_data) == sizeof(model_definition));

constexpr byte_swap_code geometry_vertex_data_bs_data[] = {_begin_bs_array, 1, _4byte, _end_bs_array};
static_assert(get_byte_swap_struct_size(geometry_vertex_data_bs_data) == sizeof(geometry_vertex_data));

constexpr byte_swap_code model_permutation_data_bs_data[] = {
	_begin_bs_array, 1, _2byte, MODEL_PERMUTATION_SIZE, 26, _2byte, _2byte, _end_bs_array};
static_assert(get_byte_swap_struct_size(model_permutation_data_bs_data) == sizeof(model_permutation_data));

constexpr byte_swap_code model_mesh_cell_data_bs_data[] = {_begin_bs_array, 1, _2byte, _2byte, _2byte, _2byte, _end_bs_array};
static_assert(get_byte_swap_struct_size(model_mesh_cell_data_bs_data) == sizeof(model_mesh_cell_data));

/* ---------- module state */

datum_globals model_array = {"model", MAXIMUM_MODELS_PER_MAP, sizeof(model_data), 0};

static definition_globals model_definitions = {
	"model",
	MODEL_GROUP_TAG,
	MODEL_VERSION_NUMBER,
	MAXIMUM_MODEL_DEFINITIONS_PER_MAP,
	static_cast<int16>(sizeof(model_definition)),
	model_definition_dependencies,
	postprocess_model_definition,
	convert_model_definition,
	nullptr,
	model_definition_bs_data,
	0,
	nullptr, nullptr, nullptr, NONE, 0, nullptr, nullptr, nullptr};

struct model_globals_data
{
	model_definition_tables tables[MAXIMUM_MODEL_DEFINITIONS_PER_MAP];
	precalculated_model_normal *normals;
	int16 normal_count;
	point_in_surface_triangle_proc call_point_in_surface_triangle;
	// The 3D ends of the segment the cell walk of an obstruction test follows.
	world_point3d segment_start, segment_end;
};

static model_globals_data *model_globals = nullptr;

definition_globals *get_model_definitions(void)
{
	return &model_definitions;
}

model_data *get_model_data(int16 model_index)
{
	return static_cast<model_data *>(try_and_get_datum(&model_array, model_index));
}

point_in_surface_triangle_proc get_point_in_surface_triangle_proc(void)
{
	return model_globals ? model_globals->call_point_in_surface_triangle : point_in_surface_triangle;
}

static inline world_point3d short_to_world(const short_world_point3d &p)
{
	return world_point3d{p.x, p.y, p.z};
}

static inline bool mesh_ready(void)
{
	return mesh_globals && mesh_globals->mesh_cells;
}

static inline bool cell_is_inside(int32 x, int32 y)
{
	return mesh_ready() && x >= 0 && y >= 0 && x < mesh_globals->mesh_width && y < mesh_globals->mesh_height;
}

static inline mesh_cell *cell_at(int32 x, int32 y)
{
	return &mesh_globals->mesh_cells[y * mesh_globals->mesh_width + x];
}

/* ---------- the normal table */

static int16 build_model_normal_table(precalculated_model_normal *normals)
{
	int16 count = 0;
	for (int32 elevation = MODEL_FIRST_RING_ELEVATION; elevation > MODEL_LAST_RING_ELEVATION;
		 elevation -= MODEL_RING_ELEVATION_SEPARATION)
	{
		// Truncated indexes throughout: the rounded ones give another table.
		const int32 c = cosine_table[(elevation & 0xFFFF) >> TRIG_TABLE_ANGLE_BITS];
		const int16 s = sine_table[(elevation & 0xFFFF) >> TRIG_TABLE_ANGLE_BITS];
		const int32 n = c * 4 / MODEL_RING_ELEVATION_SEPARATION + 1;
		if (n <= 0) continue;
		const int32 step = FULL_CIRCLE / n;
		for (int32 e = 0; e < n && count < NUMBER_OF_PRECALCULATED_MODEL_NORMALS; ++e)
		{
			const int32 yaw = (32 + e * step) & 0xFFFF;
			const int32 index = yaw >> TRIG_TABLE_ANGLE_BITS;
			precalculated_model_normal *normal = &normals[count++];
			normal->normal.i = static_cast<int16>((c * cosine_table[index]) >> TRIG_SHIFT);
			normal->normal.j = static_cast<int16>((c * sine_table[index]) >> TRIG_SHIFT);
			normal->normal.k = s;
			normal->unused = 0;
		}
	}
	return count;
}

int16 get_precalculated_model_normal_count(void)
{
	return model_globals ? model_globals->normal_count : 0;
}

int16 match_precalculated_model_normal(const world_vector3d *vector)
{
	if (!model_globals) return NONE;
	int16 best = NONE;
	int64 best_distance = 0;
	for (int16 i = 0; i < model_globals->normal_count; ++i)
	{
		const world_vector3d *n = &model_globals->normals[i].normal;
		const int64 di = static_cast<int64>(n->i) - vector->i, dj = static_cast<int64>(n->j) - vector->j,
					dk = static_cast<int64>(n->k) - vector->k;
		const int64 distance = di * di + dj * dj + dk * dk;
		if (best == NONE || distance < best_distance)
		{
			best = i;
			best_distance = distance;
		}
	}
	return best;
}

void get_model_normal(int16 index, world_vector3d *vector)
{
	if (!model_globals || index < 0 || index >= model_globals->normal_count)
	{
		*vector = {0, 0, TRIG_MAGNITUDE};
		return;
	}
	*vector = model_globals->normals[index].normal;
}

/* ---------- life cycle */

static void release_model_tables(int16 index)
{
	free_and_clear(&model_globals->tables[index].data);
	model_globals->tables[index] = {};
}

void initialize_models(void)
{
	if (model_globals) return;
	model_globals = static_cast<model_globals_data *>(new_pointer_z(sizeof(model_globals_data)));
	const size_t normal_bytes = sizeof(precalculated_model_normal) * NUMBER_OF_PRECALCULATED_MODEL_NORMALS;
	precalculated_model_normal *normals = static_cast<precalculated_model_normal *>(new_pointer_z(normal_bytes));
	if (!model_globals || !normals)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__,
			"couldn't allocate #%d bytes for precalculated model normal table.", static_cast<int>(normal_bytes));
		free_and_clear(&normals);
		free_and_clear(&model_globals);
		return;
	}
	model_globals->normals = normals;
	model_globals->normal_count = build_model_normal_table(normals);
	model_globals->call_point_in_surface_triangle = point_in_surface_triangle;
	initialize_data(&model_array);
	initialize_definitions(&model_definitions);
	initialize_geometry_definitions();
}

void initialize_models_for_new_map(void)
{
	if (!model_globals) return;
	initialize_data_for_new_map(&model_array);
	for (int16 i = 0; i < MAXIMUM_MODEL_DEFINITIONS_PER_MAP; ++i) release_model_tables(i);
	initialize_definitions_for_new_map(&model_definitions);
	initialize_geometry_definitions_for_new_map();
	model_globals->call_point_in_surface_triangle =
		game_play_version < 1701 ? point_in_surface_triangle_old : point_in_surface_triangle;
}

void dispose_model_definitions_from_old_map(void)
{
	if (!model_globals) return;
	for (int16 i = 0; i < MAXIMUM_MODEL_DEFINITIONS_PER_MAP; ++i) release_model_tables(i);
	dispose_definitions_from_old_map(&model_definitions);
}

void dispose_models_from_old_map(void)
{
	if (!model_globals) return;
	dispose_data_from_old_map(&model_array);
	dispose_model_definitions_from_old_map();
	dispose_geometry_definitions_from_old_map();
}

/* ---------- loading */

model_definition *get_model_definition(int16 definition_index)
{
	return static_cast<model_definition *>(try_and_get_definition(&model_definitions, definition_index));
}

const model_definition_tables *get_model_definition_tables(int16 definition_index)
{
	if (!model_globals || !get_model_definition(definition_index)) return nullptr;
	const model_definition_tables *tables = &model_globals->tables[definition_index];
	return tables->cells || tables->permutations ? tables : nullptr;
}

int16 get_model_definition_index(file_tag tag)
{
	return definition_tag_to_index(&model_definitions, tag);
}

void model_definition_dependencies(void *definition, report_definition_dependency_proc report)
{
	model_definition *model = static_cast<model_definition *>(definition);
	report(GEOMETRY_GROUP_TAG, model->geometry_tag, &model->geometry_index);
}

boolean convert_model_definition(definition_globals *, int32, int16, const void *, void *)
{
	return FALSE; // only version 4 exists
}

static void install_model_block(int16 index, uint8 *block)
{
	release_model_tables(index);
	model_globals->tables[index].data = block;
}

boolean load_model_data(file_tag subgroup, model_definition *definition, boolean read_ahead)
{
	return model_globals && definition && fetch_definition_data_block(&model_definitions, subgroup,
		definition->data_offset, definition->data_size, read_ahead, "model", install_model_block);
}

int16 new_model_definition_from_tag_data(file_tag subgroup, const void *tag_data, int32 tag_data_size)
{
	if (!model_globals) return NONE;
	return new_definition_from_tag_data(&model_definitions, subgroup, tag_data, tag_data_size,
		offsetof(model_definition, data_offset), install_model_block);
}

static const char *check_model_layout(const model_definition *model)
{
	const int32 size = model->data_size;
	if (model->model_geometry_vertex_count < 0 || model->model_geometry_vertex_count > MAXIMUM_VERTICES_PER_GEOMETRY)
	{
		return "model_geometry_vertex_count";
	}
	if (model->model_permutation_count < 1) return "model_permutation_count";
	if (model->model_cell_count < 0 || model->model_cell_count > MAXIMUM_CELLS_PER_MODEL) return "model_cell_count";
	if (!geometry_table_is_inside(model->model_geometry_vertex_offset, model->model_geometry_vertex_size,
			model->model_geometry_vertex_count, sizeof(geometry_vertex_data), size, 4))
	{
		return "vertex flag table";
	}
	if (!geometry_table_is_inside(model->model_permutations_offset, model->model_permutations_size,
			model->model_permutation_count, sizeof(model_permutation_data), size, 2))
	{
		return "permutation table";
	}
	if (!geometry_table_is_inside(model->model_cell_offset, model->model_cell_size, model->model_cell_count,
			sizeof(model_mesh_cell_data), size, 2))
	{
		return "cell table";
	}
	return nullptr;
}

// A failure after the swaps frees the block, so a retry reads and swaps afresh.
static boolean fail_model_postprocess(definition_globals *definitions, int16 index)
{
	release_model_tables(index);
	definitions->flags[index] &= static_cast<uint16>(~_definition_fetched_flag);
	return FALSE;
}

boolean postprocess_model_definition(definition_globals *definitions, int16 definition_index, int32 tag_handle,
	void *definition)
{
	model_definition *model = static_cast<model_definition *>(definition);
	if (!model_globals || definition_index < 0 || definition_index >= MAXIMUM_MODEL_DEFINITIONS_PER_MAP) return FALSE;
	model_definition_tables *tables = &model_globals->tables[definition_index];
	const char *name = tag_handle == NONE ? "<unknown>" : tag_file_name_get(tag_handle);

	const char *bad_field = check_model_layout(model);
	if (bad_field)
	{
		report_bad_definition_field("model", tag_handle, bad_field);
		return FALSE;
	}
	if (!(definitions->flags[definition_index] & _definition_fetched_flag) || !tables->data)
	{
		release_model_tables(definition_index);
		tables->data = read_definition_data_block(tag_handle, model->data_offset, model->data_size, FALSE, "model");
		if (!tables->data) return FALSE;
	}
	tables->vertex_flags = reinterpret_cast<geometry_vertex_data *>(tables->data + model->model_geometry_vertex_offset);
	tables->permutations = reinterpret_cast<model_permutation_data *>(tables->data + model->model_permutations_offset);
	tables->cells = reinterpret_cast<model_mesh_cell_data *>(tables->data + model->model_cell_offset);
	byte_swap_data("model vertex flags", tables->vertex_flags, sizeof(geometry_vertex_data),
		model->model_geometry_vertex_count, geometry_vertex_data_bs_data);
	byte_swap_data("model premutation", tables->permutations, sizeof(model_permutation_data),
		model->model_permutation_count, model_permutation_data_bs_data);
	byte_swap_data("model cell", tables->cells, sizeof(model_mesh_cell_data), model->model_cell_count,
		model_mesh_cell_data_bs_data);

	model->geometry_index = geometry_definition_tag_to_index(model->geometry_tag);
	const geometry_definition *geometry = get_geometry_definition(model->geometry_index);
	if (!geometry || !get_geometry_tables(model->geometry_index))
	{
		error_message(_error_unknown, MODULE_NAME, __LINE__, "unable to get geometry '%s' for model %s.",
			tag_to_string(model->geometry_tag), name);
		return fail_model_postprocess(definitions, definition_index);
	}
	if (model->model_geometry_vertex_count < geometry->vertex_count)
	{
		report_bad_definition_field("model", tag_handle, "model_geometry_vertex_count");
		return fail_model_postprocess(definitions, definition_index);
	}
	const collection_reference *reference = get_collection_reference(geometry->collection_reference_index);
	if (!reference || reference->number_of_permutations < 1)
	{
		report_bad_definition_field("model", tag_handle, "geometry collection reference");
		return fail_model_postprocess(definitions, definition_index);
	}
	for (int16 i = 0; i < model->model_permutation_count; ++i)
	{
		model_permutation_data *permutation = &tables->permutations[i];
		int32 which = permutation->collection_reference_permutation % reference->number_of_permutations;
		if (which < 0) which += reference->number_of_permutations;
		permutation->collection_index = reference->collection_index;
		permutation->color_table_index = reference->color_table_indexes[which];
	}
	return TRUE;
}

/* ---------- placing and removing */

static const geometry_definition *model_geometry(const model_data *model, const geometry_tables **tables)
{
	const model_definition *definition = get_model_definition(model->type);
	if (!definition) return nullptr;
	if (tables) *tables = get_geometry_tables(definition->geometry_index);
	return get_geometry_definition(definition->geometry_index);
}

static void model_point_to_world(const model_data *model, const geometry_definition *geometry,
	const world_point3d *point, world_point3d *result)
{
	const world_point3d center = short_to_world(geometry->center);
	transform_geometry_point_to_world(&model->location, &center, point, &model->geometry_to_world_matrix, result);
}

void compute_model_bounds_from_geometry(int16 model_index)
{
	model_data *model = get_model_data(model_index);
	const geometry_definition *geometry = model ? model_geometry(model, nullptr) : nullptr;
	if (!geometry) return;
	const world_point3d minimum = short_to_world(geometry->bounds.minimum_corner);
	const world_point3d maximum = short_to_world(geometry->bounds.maximum_corner);
	model_point_to_world(model, geometry, &minimum, &model->bounds.minimum_corner);
	model_point_to_world(model, geometry, &maximum, &model->bounds.maximum_corner);
}

// The box of cells under the model's bounds, in the mesh.
struct cell_box
{
	int32 x0, y0, x1, y1;
};

static cell_box model_cell_box(const model_data *model)
{
	const world_rectangle3d *b = &model->bounds;
	cell_box box;
	box.x0 = MIN(b->minimum_corner.x, b->maximum_corner.x) >> WORLD_FRACTIONAL_BITS;
	box.x1 = (MAX(b->minimum_corner.x, b->maximum_corner.x) - 1) >> WORLD_FRACTIONAL_BITS;
	box.y0 = MIN(b->minimum_corner.y, b->maximum_corner.y) >> WORLD_FRACTIONAL_BITS;
	box.y1 = (MAX(b->minimum_corner.y, b->maximum_corner.y) - 1) >> WORLD_FRACTIONAL_BITS;
	box.x0 = MAX(box.x0, 0);
	box.y0 = MAX(box.y0, 0);
	box.x1 = MIN(box.x1, mesh_globals->mesh_width - 1);
	box.y1 = MIN(box.y1, mesh_globals->mesh_height - 1);
	return box;
}

static void set_cell_terrain(mesh_cell *cell, int32 terrain, int32 x, int32 y)
{
	cell->flags = static_cast<uint16>((cell->flags & ~CELL_TERRAIN_MASK) | (terrain << CELL_TERRAIN_TYPE_BITS) | terrain);
	update_monster_impassability_for_cell(x, y);
}

boolean modify_cells_under_model(int16 model_index, boolean adding_model)
{
	model_data *model = get_model_data(model_index);
	const model_definition_tables *tables = model ? get_model_definition_tables(model->type) : nullptr;
	const model_definition *definition = model ? get_model_definition(model->type) : nullptr;
	const geometry_tables *geometry_data = nullptr;
	const geometry_definition *geometry = model ? model_geometry(model, &geometry_data) : nullptr;
	if (!tables || !definition || !geometry || !mesh_ready()) return FALSE;
	const cell_box box = model_cell_box(model);

	// Conflicts first: a model that cannot be placed changes nothing.
	if (adding_model)
	{
		boolean clear = TRUE;
		for (int32 y = box.y0; y <= box.y1; ++y)
		{
			for (int32 x = box.x0; x <= box.x1; ++x)
			{
				const int16 other = cell_at(x, y)->model_index;
				if (other == NONE || other == model_index) continue;
				log_message(MODULE_NAME, __LINE__, "cell (%d, %d) contains more than one model!", static_cast<int>(x),
					static_cast<int>(y));
				clear = FALSE;
			}
		}
		if (!clear) return FALSE;
	}

	// 1-3. The covered cells, each once.
	model->x0 = model->location.x >> WORLD_FRACTIONAL_BITS;
	model->y0 = model->location.y >> WORLD_FRACTIONAL_BITS;
	int32 extent_x = 1, extent_y = 1;
	int32 done[MAXIMUM_CELLS_PER_MODEL][2];
	int32 done_count = 0;
	for (int16 i = 0; i < definition->model_cell_count; ++i)
	{
		const model_mesh_cell_data *covered = &tables->cells[i];
		const world_point3d local = {covered->x * WORLD_ONE + WORLD_ONE_HALF, covered->y * WORLD_ONE + WORLD_ONE_HALF, 0};
		world_point3d world;
		model_point_to_world(model, geometry, &local, &world);
		const int32 x = world.x >> WORLD_FRACTIONAL_BITS, y = world.y >> WORLD_FRACTIONAL_BITS;
		if (!cell_is_inside(x, y)) continue;
		bool seen = false;
		for (int32 d = 0; d < done_count && !seen; ++d) seen = done[d][0] == x && done[d][1] == y;
		if (seen) continue;
		done[done_count][0] = x;
		done[done_count][1] = y;
		done_count += 1;

		mesh_cell *cell = cell_at(x, y);
		int32 terrain = NONE;
		if (covered->flags & _model_mesh_cell_replaces_mesh_flag)
		{
			if (adding_model) cell->flags |= _mesh_cell_is_not_rendered_flag;
			else cell->flags &= static_cast<uint16>(~_mesh_cell_is_not_rendered_flag);
			terrain = adding_model ? _terrain_walking_impassable : _terrain_grass;
		}
		if (covered->flags & (_mesh_cell_is_impassable_walking_flag | _mesh_cell_is_impassable_flying_flag))
		{
			terrain = !adding_model ? _terrain_grass
				: (covered->flags & _mesh_cell_is_impassable_flying_flag) ? _terrain_flying_impassable
																		  : _terrain_walking_impassable;
		}
		if (terrain != NONE) set_cell_terrain(cell, terrain, x, y);
		extent_x = MAX(extent_x, x - model->x0);
		extent_y = MAX(extent_y, y - model->y0);
	}
	model->x1 = model->x0 + extent_x;
	model->y1 = model->y0 + extent_y;

	// 4-5. The box and its reflections.
	bool reflection = false;
	for (int32 y = box.y0; y <= box.y1; ++y)
	{
		for (int32 x = box.x0; x <= box.x1; ++x)
		{
			mesh_cell *cell = cell_at(x, y);
			cell->model_index = adding_model ? model_index : static_cast<int16>(NONE);
			if (cell->flags & _mesh_cell_has_reflection_flag) reflection = true;
		}
	}
	for (int16 i = 0; !reflection && i < geometry->surface_count; ++i)
	{
		if (geometry_data->surfaces[i].flags & _geometry_surface_reflective_flag) reflection = true;
	}
	if (reflection) model->flags |= _model_has_reflection_flag;
	else model->flags &= static_cast<uint16>(~_model_has_reflection_flag);
	return TRUE;
}

static void deform_terrain_under_model(const model_data *model)
{
	const model_definition_tables *tables = get_model_definition_tables(model->type);
	const geometry_tables *geometry_data = nullptr;
	const geometry_definition *geometry = model_geometry(model, &geometry_data);
	if (!tables || !geometry || !geometry_data) return;
	for (int16 i = 0; i < geometry->vertex_count; ++i)
	{
		if (!(tables->vertex_flags[i].flags & _vertex_deforms_mesh_flag)) continue;
		const world_point3d local = short_to_world(geometry_data->vertices[i].point);
		world_point3d world;
		model_point_to_world(model, geometry, &local, &world);
		if ((world.x & (WORLD_ONE - 1)) || (world.y & (WORLD_ONE - 1))) continue;
		const int32 x = world.x >> WORLD_FRACTIONAL_BITS, y = world.y >> WORLD_FRACTIONAL_BITS;
		if (cell_is_inside(x, y)) cell_at(x, y)->height = static_cast<short_world_distance>(world.z);
	}
}

int16 new_model(const new_model_data *data)
{
	if (!model_globals || data->type == NONE || !get_model_definition_tables(data->type)) return NONE;
	const int16 model_index = new_datum(&model_array);
	if (model_index == NONE) return NONE;
	model_data *model = get_model_data(model_index);

	model->type = data->type;
	model->model_permutation = data->permutation_index;
	model->location = data->position;
	matrix3x3 rotation;
	build_rotation_matrix(&rotation, data->yaw, data->pitch);
	model->forward_vector = {rotation.n[0][0], rotation.n[1][0], rotation.n[2][0]};
	model->up_vector = {rotation.n[0][2], rotation.n[1][2], rotation.n[2][2]};
	model->scale_vector = {GEOMETRY_NORMAL_SCALE, GEOMETRY_NORMAL_SCALE, GEOMETRY_NORMAL_SCALE};
	model->current_yaw = data->yaw;
	model->current_pitch = data->pitch;
	model->transparency = 0;
	model->owner_model_animation_index = NONE;
	get_geometry_matrices(&model->forward_vector, &model->up_vector, &model->scale_vector,
		&model->geometry_to_world_matrix, &model->world_to_geometry_matrix);
	compute_model_bounds_from_geometry(model_index);

	if (!modify_cells_under_model(model_index, TRUE))
	{
		if (game_play_version >= 1716) update_model_animations_for_deleted_model(model_index);
		delete_datum(&model_array, model_index);
		return NONE;
	}
	model->destroyed_materials = 0xFFFFFFFFu;
	model->permutation_crossfade_amount = 0;
	model->desired_model_permutation = model->model_permutation;
	model->owner_model_animation_index = data->owner_model_animation_index;
	deform_terrain_under_model(model);
	return model_index;
}

int16 new_model_from_marker(marker_data *marker)
{
	marker_palette_entry *entry = get_marker_palette_entry(_marker_model, marker->palette_index);
	if (!entry || entry->tag_index == NONE) return NONE;
	int16 permutation;
	memcpy(&permutation, marker->user_data, sizeof(permutation));
	const model_definition *definition = get_model_definition(entry->tag_index);
	if (!definition || permutation < 0 || permutation >= definition->model_permutation_count)
	{
		log_message(MODULE_NAME, __LINE__, "model marker #%d names permutation #%d, which its model does not have.",
			static_cast<int>(marker->identifier), static_cast<int>(permutation));
		return NONE;
	}
	new_model_data request;
	request.type = entry->tag_index;
	request.permutation_index = permutation;
	request.position = marker->location.position;
	request.yaw = marker->location.yaw;
	request.pitch = marker->location.pitch;
	request.owner_model_animation_index = NONE;
	const int16 model_index = new_model(&request);
	if (model_index == NONE) return NONE;
	// The record is known by its marker's identifier (0 would mark it free).
	if (marker->identifier != 0) set_datum_identifier(&model_array, model_index, marker->identifier);
	marker->data_index = model_index;
	entry->count += 1;
	return model_index;
}

void new_model_palette_entry(marker_palette_entry *entry)
{
	if (entry->team_index == 0) entry->team_index = NONE;
	entry->tag_index = get_model_definition_index(entry->tag);
}

void delete_model(int16 model_index)
{
	if (!get_model_data(model_index)) return;
	modify_cells_under_model(model_index, FALSE);
	if (game_play_version >= 1716) update_model_animations_for_deleted_model(model_index);
	delete_datum(&model_array, model_index);
}

/* ---------- lookups */

int16 model_identifier_to_model_index(int16 identifier)
{
	if (identifier == 0) return NONE;
	for (int16 i = 0; i < model_array.count; ++i)
	{
		const model_data *model = get_model_data(i);
		if (model && model->identifier == identifier) return i;
	}
	return NONE;
}

int16 model_identifiers_to_model_indexes(const int16 *identifiers, int16 *indexes, int16 count)
{
	int16 found = 0;
	for (int16 i = 0; i < count; ++i)
	{
		const int16 index = model_identifier_to_model_index(identifiers[i]);
		if (index != NONE) indexes[found++] = index;
	}
	return found;
}

void get_model_centerpoint(int16 model_index, world_point2d *point)
{
	const model_data *model = get_model_data(model_index);
	const geometry_definition *geometry = model ? model_geometry(model, nullptr) : nullptr;
	if (!model) return;
	point->x = model->location.x + (geometry ? geometry->center.x : 0);
	point->y = model->location.y + (geometry ? geometry->center.y : 0);
}

int16 get_model_index_from_mesh_cell(int32 x, int32 y)
{
	return cell_is_inside(x, y) ? cell_at(x, y)->model_index : static_cast<int16>(NONE);
}

/* ---------- segments against boxes */

struct clip_parameters
{
	int64 entry, exit;
};

// One face: false when the segment is rejected.
static bool clip_face(int64 q, int64 p, clip_parameters *clip)
{
	if (q > 32768 || q < -32768)
	{
		q /= DOWNSHIFT_MAGNITUDE;
		p /= DOWNSHIFT_MAGNITUDE;
	}
	if (p == 0) return q <= 0; // parallel: outside the face rejects
	const int64 t = (q * 65536) / p;
	if (p > 0) clip->entry = MAX(clip->entry, t);
	else clip->exit = MIN(clip->exit, t);
	return clip->entry <= clip->exit;
}

static inline int16 delta16(world_distance a, world_distance b)
{
	return static_cast<int16>(static_cast<uint16>(static_cast<uint32>(b) - static_cast<uint32>(a)));
}

static bool clip_segment_2d(world_distance xmin, world_distance xmax, world_distance ymin, world_distance ymax,
	world_distance x0, world_distance y0, int16 dx, int16 dy, clip_parameters *clip)
{
	return clip_face(static_cast<int64>(xmin) - x0, dx, clip) && clip_face(static_cast<int64>(x0) - xmax, -dx, clip) &&
		clip_face(static_cast<int64>(ymin) - y0, dy, clip) && clip_face(static_cast<int64>(y0) - ymax, -dy, clip);
}

boolean intersects_with_model_bounding_box(int16 model_index, const world_point3d *p0, const world_point3d *p1)
{
	const model_data *model = get_model_data(model_index);
	if (!model) return FALSE;
	const world_rectangle3d *b = &model->bounds;
	const world_distance xmin = MIN(b->minimum_corner.x, b->maximum_corner.x), xmax = MAX(b->minimum_corner.x, b->maximum_corner.x);
	const world_distance ymin = MIN(b->minimum_corner.y, b->maximum_corner.y), ymax = MAX(b->minimum_corner.y, b->maximum_corner.y);
	const world_distance zmin = MIN(b->minimum_corner.z, b->maximum_corner.z), zmax = MAX(b->minimum_corner.z, b->maximum_corner.z);
	const int16 dx = delta16(p0->x, p1->x), dy = delta16(p0->y, p1->y), dz = delta16(p0->z, p1->z);
	clip_parameters clip = {0, 65536};
	return clip_segment_2d(xmin, xmax, ymin, ymax, p0->x, p0->y, dx, dy, &clip) &&
		clip_face(static_cast<int64>(zmin) - p0->z, dz, &clip) && clip_face(static_cast<int64>(p0->z) - zmax, -dz, &clip);
}

int16 clip_line_to_box(world_distance xmin, world_distance xmax, world_distance ymin, world_distance ymax,
	const world_point2d *p0, const world_point2d *p1, world_point2d *clip_pt)
{
	const int16 dx = delta16(p0->x, p1->x), dy = delta16(p0->y, p1->y);
	if (dx == 0 && dy == 0) return NONE;
	clip_parameters clip = {0, 65536};
	if (!clip_segment_2d(xmin, xmax, ymin, ymax, p0->x, p0->y, dx, dy, &clip)) return NONE;
	clip_pt->x = static_cast<world_distance>(p0->x + ((static_cast<int64>(dx) * clip.entry) >> 16));
	clip_pt->y = static_cast<world_distance>(p0->y + ((static_cast<int64>(dy) * clip.entry) >> 16));
	auto near_line = [](world_distance a, world_distance b) {
		const int64 difference = static_cast<int64>(a) - b;
		return difference > -FIXED_POINT_TOLERANCE && difference < FIXED_POINT_TOLERANCE;
	};
	if (near_line(clip_pt->y, ymin) || near_line(clip_pt->y, ymax)) return _clip_y;
	if (near_line(clip_pt->x, xmin) || near_line(clip_pt->x, xmax)) return _clip_x;
	return NONE;
}

/* ---------- points in triangles */

static inline int32 truncate32(int64 value)
{
	return static_cast<int32>(static_cast<uint32>(static_cast<uint64>(value)));
}

static const short_world_point3d &corner_point(const geometry_surface *surface, const geometry_vertex *vertices, int c)
{
	return vertices[surface->corners[c].vertex_index].point;
}

boolean point_in_surface_triangle(const geometry_surface *surface, const geometry_vertex *vertices,
	const world_point3d *point)
{
	for (int edge = 0; edge < NUMBER_OF_SURFACE_CORNERS; ++edge)
	{
		const short_world_point3d &s = corner_point(surface, vertices, edge);
		const short_world_point3d &e = corner_point(surface, vertices, (edge + 1) % NUMBER_OF_SURFACE_CORNERS);
		const int64 ax = static_cast<int64>(point->x) - s.x, ay = static_cast<int64>(point->y) - s.y,
					az = static_cast<int64>(point->z) - s.z;
		const int64 ex = static_cast<int64>(e.x) - s.x, ey = static_cast<int64>(e.y) - s.y, ez = static_cast<int64>(e.z) - s.z;
		const int64 cx = (ay * ez - az * ey) >> TRIG_SHIFT;
		const int64 cy = (az * ex - ax * ez) >> TRIG_SHIFT;
		const int64 cz = (ax * ey - ay * ex) >> TRIG_SHIFT;
		const int32 dot = truncate32(truncate32(cx) * static_cast<int64>(surface->normal.i) +
			truncate32(cy) * static_cast<int64>(surface->normal.j) + truncate32(cz) * static_cast<int64>(surface->normal.k));
		if (dot < 0) return FALSE;
	}
	return TRUE;
}

boolean point_in_surface_triangle_old(const geometry_surface *surface, const geometry_vertex *vertices,
	const world_point3d *point)
{
	for (int edge = 0; edge < NUMBER_OF_SURFACE_CORNERS; ++edge)
	{
		const short_world_point3d &s = corner_point(surface, vertices, edge);
		const short_world_point3d &e = corner_point(surface, vertices, (edge + 1) % NUMBER_OF_SURFACE_CORNERS);
		const world_vector3d a = {delta16(s.x, point->x), delta16(s.y, point->y), delta16(s.z, point->z)};
		const world_vector3d d = {delta16(s.x, e.x), delta16(s.y, e.y), delta16(s.z, e.z)};
		world_vector3d cross;
		world_cross_product3d(&a, &d, &cross);
		const int32 dot = truncate32(static_cast<int64>(cross.i) * surface->normal.i +
			static_cast<int64>(cross.j) * surface->normal.j + static_cast<int64>(cross.k) * surface->normal.k);
		if (dot < 0) return FALSE;
	}
	return TRUE;
}

/* ---------- segments against models */

static inline int sign_of(int64 value)
{
	return value < 0 ? -1 : value > 0 ? 1 : 0;
}

boolean object_hit_model_index(int16 model_index, const world_point3d *old_position, world_point3d *new_position,
	world_vector3d *collision_normal, world_distance radius)
{
	if (!intersects_with_model_bounding_box(model_index, old_position, new_position)) return FALSE;
	const model_data *model = get_model_data(model_index);
	const geometry_tables *tables = nullptr;
	const geometry_definition *geometry = model_geometry(model, &tables);
	if (!geometry || !tables) return FALSE;
	const world_point3d center = short_to_world(geometry->center);

	world_point3d g0, g1;
	transform_world_point_to_geometry(&model->location, &center, old_position, &model->world_to_geometry_matrix, &g0);
	transform_world_point_to_geometry(&model->location, &center, new_position, &model->world_to_geometry_matrix, &g1);
	const world_vector3d d = {delta16(g0.x, g1.x), delta16(g0.y, g1.y), delta16(g0.z, g1.z)};
	const point_in_surface_triangle_proc inside = get_point_in_surface_triangle_proc();

	int64 best_t = 513;
	const geometry_surface *best_surface = nullptr;
	world_point3d best_point = g0;
	for (int16 i = 0; i < geometry->surface_count; ++i)
	{
		const geometry_surface *surface = &tables->surfaces[i];
		if (surface->flags & _geometry_surface_does_not_stop_projectiles_flag) continue;
		const int32 s0 = point_in_plane_test(&surface->normal, surface->d, &g0);
		const int32 s1 = point_in_plane_test(&surface->normal, surface->d, &g1);
		if (sign_of(s0) == sign_of(s1)) continue;
		int64 denominator = static_cast<int64>(surface->normal.i) * d.i + static_cast<int64>(surface->normal.j) * d.j +
			static_cast<int64>(surface->normal.k) * d.k;
		if (denominator == 0) continue;
		int64 numerator = -static_cast<int64>(s0);
		if (s0 > MODEL_SEGMENT_DOWNSHIFT_LIMIT || s0 < -MODEL_SEGMENT_DOWNSHIFT_LIMIT)
		{
			numerator /= DOWNSHIFT_MAGNITUDE;
			denominator /= DOWNSHIFT_MAGNITUDE;
			if (denominator == 0) continue;
		}
		const int64 t = (numerator * 512) / denominator;
		if (t > 512 || t >= best_t) continue;
		const world_point3d point = {static_cast<world_distance>(g0.x + ((d.i * t) >> 9)),
			static_cast<world_distance>(g0.y + ((d.j * t) >> 9)), static_cast<world_distance>(g0.z + ((d.k * t) >> 9))};
		if (!inside(surface, tables->vertices, &point)) continue;
		best_t = t;
		best_surface = surface;
		best_point = point;
	}
	if (!best_surface) return FALSE;

	world_vector3d normal;
	rotate_model_vector(&normal, &model->geometry_to_world_matrix, &best_surface->normal);
	*collision_normal = normal;
	if (radius != 0 && normal.k < DONT_TRANSLATE_OBJECT_OUT_BY_RADIUS_K)
	{
		best_point.x += (static_cast<int64>(best_surface->normal.i) * radius) >> TRIG_SHIFT;
		best_point.y += (static_cast<int64>(best_surface->normal.j) * radius) >> TRIG_SHIFT;
		best_point.z += (static_cast<int64>(best_surface->normal.k) * radius) >> TRIG_SHIFT;
	}
	model_point_to_world(model, geometry, &best_point, new_position);
	return TRUE;
}

boolean object_hit_model(const world_point3d *old_position, world_point3d *new_position,
	world_vector3d *collision_normal, int16 *model_collided_index, world_distance radius)
{
	if (!mesh_ready()) return FALSE;
	const int16 first = get_model_index_from_mesh_cell(old_position->x >> WORLD_FRACTIONAL_BITS,
		old_position->y >> WORLD_FRACTIONAL_BITS);
	if (first != NONE && object_hit_model_index(first, old_position, new_position, collision_normal, radius))
	{
		*model_collided_index = first;
		return TRUE;
	}
	const int16 second = get_model_index_from_mesh_cell(new_position->x >> WORLD_FRACTIONAL_BITS,
		new_position->y >> WORLD_FRACTIONAL_BITS);
	if (second != NONE && second != first &&
		object_hit_model_index(second, old_position, new_position, collision_normal, radius))
	{
		*model_collided_index = second;
		return TRUE;
	}
	return FALSE;
}

boolean hit_model_in_cell(int32 x, int32 y, const world_point2d *, const world_point2d *)
{
	const int16 model_index = get_model_index_from_mesh_cell(x, y);
	if (model_index == NONE || !model_globals) return FALSE;
	world_point3d end = model_globals->segment_end;
	world_vector3d normal;
	return object_hit_model_index(model_index, &model_globals->segment_start, &end, &normal, 0);
}

static boolean model_obstructs_segment(const world_point3d *start, const world_point3d *end)
{
	model_globals->segment_start = *start;
	model_globals->segment_end = *end;
	const world_point2d p0 = {start->x, start->y}, p1 = {end->x, end->y};
	return obstruction_in_cells_crossed_by_segment(&p0, &p1, hit_model_in_cell);
}

void check_for_model_obstruction(const world_point3d *origin, const world_point3d *target, angle pitch,
	boolean *obstructed_near, boolean *obstructed_far, boolean force_old_way)
{
	*obstructed_near = *obstructed_far = FALSE;
	if (!model_globals || !mesh_ready()) return;
	const point_in_surface_triangle_proc chosen = model_globals->call_point_in_surface_triangle;
	if (force_old_way) model_globals->call_point_in_surface_triangle = point_in_surface_triangle_old;

	const world_distance distance = distance3d(origin, target);
	if (distance < OBSTRUCTION_CHECK_DISTANCE)
	{
		*obstructed_near = *obstructed_far = model_obstructs_segment(origin, target);
	}
	else
	{
		const int64 k = 0x8000000 / distance;
		const int64 dx = ((static_cast<int64>(target->x) - origin->x) * k) >> 16;
		const int64 dy = ((static_cast<int64>(target->y) - origin->y) * k) >> 16;
		const int64 h = isqrt(static_cast<uint32>(MIN(dx * dx + dy * dy, static_cast<int64>(0xFFFFFFFFu))));
		const angle half_pitch = static_cast<angle>(static_cast<int16>(pitch) / 2);
		const int32 sine = angle_sine(half_pitch), cosine = angle_cosine(half_pitch);
		// A level cosine of 0 would divide by 0: the rise saturates there.
		const int64 rise = cosine == 0 ? (sine < 0 ? -32767 : 32767) : h * sine / cosine;
		const world_point3d near_end = {static_cast<world_distance>(origin->x + dx),
			static_cast<world_distance>(origin->y + dy), static_cast<world_distance>(origin->z + rise)};
		const world_point3d far_start = {static_cast<world_distance>(target->x - dx),
			static_cast<world_distance>(target->y - dy), static_cast<world_distance>(target->z + rise)};
		*obstructed_near = model_obstructs_segment(origin, &near_end);
		*obstructed_far = model_obstructs_segment(&far_start, target);
	}
	model_globals->call_point_in_surface_triangle = chosen;
}

/* ---------- digest */

static void fold_point(zerv_digest *digest, const world_point3d *p)
{
	zerv_digest_int32(digest, p->x);
	zerv_digest_int32(digest, p->y);
	zerv_digest_int32(digest, p->z);
}

static void fold_vector(zerv_digest *digest, const world_vector3d *v)
{
	zerv_digest_int16(digest, v->i);
	zerv_digest_int16(digest, v->j);
	zerv_digest_int16(digest, v->k);
}

void fold_models_digest(zerv_digest *digest)
{
	zerv_digest_uint32(digest, datum_globals_digest(&model_array));
	if (!model_array.data || model_array.count < 0) return;
	for (int16 i = 0; i < model_array.count; ++i)
	{
		const model_data *model = get_model_data(i);
		if (!model) continue;
		zerv_digest_int16(digest, i);
		zerv_digest_int16(digest, model->identifier);
		zerv_digest_int16(digest, static_cast<int16>(model->flags));
		zerv_digest_int16(digest, model->type);
		zerv_digest_int16(digest, model->model_permutation);
		fold_point(digest, &model->location);
		fold_vector(digest, &model->up_vector);
		fold_vector(digest, &model->forward_vector);
		fold_vector(digest, &model->scale_vector);
		zerv_digest_int32(digest, model->x0);
		zerv_digest_int32(digest, model->x1);
		zerv_digest_int32(digest, model->y0);
		zerv_digest_int32(digest, model->y1);
		zerv_digest_uint32(digest, model->destroyed_materials);
		zerv_digest_int16(digest, model->desired_model_permutation);
		zerv_digest_int16(digest, static_cast<int16>(model->permutation_crossfade_amount));
		zerv_digest_int16(digest, static_cast<int16>(model->current_yaw));
		zerv_digest_int16(digest, static_cast<int16>(model->current_pitch));
		zerv_digest_int16(digest, static_cast<int16>(model->transparency));
		zerv_digest_int16(digest, model->owner_model_animation_index);
		fold_point(digest, &model->bounds.minimum_corner);
		fold_point(digest, &model->bounds.maximum_corner);
		for (int r = 0; r < 3; ++r)
		{
			for (int c = 0; c < 3; ++c)
			{
				zerv_digest_int16(digest, model->geometry_to_world_matrix.n[r][c]);
				zerv_digest_int16(digest, model->world_to_geometry_matrix.n[r][c]);
			}
		}
	}
}
