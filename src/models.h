// Models: fixed pieces of 3D geometry placed on the terrain mesh, their
// definitions ('mode'), the cells they cover, the collision queries that go
// through each cell's model, and the table of precalculated model normals.
#ifndef MODELS_H
#define MODELS_H

#include <cstddef>

#include "cseries.h"
#include "world_units.h"
#include "byte_swapping.h"
#include "data.h"
#include "definitions.h"

struct marker_data;
struct marker_palette_entry;
struct geometry_surface;
struct geometry_vertex;
struct zerv_digest;

#define MODEL_GROUP_TAG TAG("mode")
#define MODEL_VERSION_NUMBER 4
#define MAXIMUM_MODEL_DEFINITIONS_PER_MAP 512
#define MAXIMUM_MODELS_PER_MAP 512
#define MAXIMUM_CELLS_PER_MODEL 128
#define MODEL_PERMUTATION_SIZE 32
#define NUMBER_OF_PRECALCULATED_MODEL_NORMALS 2599
#define MODEL_RING_ELEVATION_SEPARATION 728
#define MODEL_FIRST_RING_ELEVATION 16416
#define MODEL_LAST_RING_ELEVATION (-17072)
#define OBSTRUCTION_CHECK_DISTANCE 2048
#define DONT_TRANSLATE_OBJECT_OUT_BY_RADIUS_K 16184
#define FIXED_POINT_TOLERANCE 2
#define DOWNSHIFT_MAGNITUDE 256
#define MODEL_SEGMENT_DOWNSHIFT_LIMIT 0x400000

enum // model flags
{
	_model_has_reflection_bit,
	_model_has_reflection_flag = FLAG(_model_has_reflection_bit)
};

enum // vertex flags
{
	_vertex_deforms_mesh_bit,
	_vertex_is_media_bit,
	_vertex_wobbles_when_media_bit,

	_vertex_deforms_mesh_flag = FLAG(_vertex_deforms_mesh_bit),
	_vertex_is_media_flag = FLAG(_vertex_is_media_bit),
	_vertex_wobbles_when_media_flag = FLAG(_vertex_wobbles_when_media_bit)
};

enum // covered cell flags
{
	_model_mesh_cell_replaces_mesh_bit,
	_mesh_cell_is_impassable_walking_bit,
	_mesh_cell_is_impassable_flying_bit,
	_mesh_cell_overlapped_by_model_bit,

	_model_mesh_cell_replaces_mesh_flag = FLAG(_model_mesh_cell_replaces_mesh_bit),
	_mesh_cell_is_impassable_walking_flag = FLAG(_mesh_cell_is_impassable_walking_bit),
	_mesh_cell_is_impassable_flying_flag = FLAG(_mesh_cell_is_impassable_flying_bit),
	_mesh_cell_overlapped_by_model_flag = FLAG(_mesh_cell_overlapped_by_model_bit)
};

enum // clip_line_to_box results
{
	_clip_x,
	_clip_y
};

/* ---------- stored records (big-endian in the tag) */

// 64 bytes; the slots are 32-bit fields, zero on disk.
struct model_definition
{
	uint32 flags;
	file_tag geometry_tag;
	int16 geometry_index; // filled at load
	int16 model_geometry_vertex_count;
	int16 model_permutation_count;
	int16 model_cell_count;
	int32 model_geometry_vertex_offset, model_geometry_vertex_size;
	uint32 vertex_flags; // slot
	int32 model_permutations_offset, model_permutations_size;
	uint32 model_permutations; // slot
	int32 model_cell_offset, model_cell_size;
	uint32 model_cells; // slot
	int32 data_offset, data_size;
	uint32 data; // slot
};
STORED_SIZE(model_definition, 64);
static_assert(offsetof(model_definition, model_geometry_vertex_offset) == 16 &&
	offsetof(model_definition, data_offset) == 52);

struct geometry_vertex_data
{
	uint32 flags;
};
STORED_SIZE(geometry_vertex_data, 4);

struct model_permutation_data
{
	int16 collection_reference_permutation;
	uint8 permutations[MODEL_PERMUTATION_SIZE];
	uint8 unused[26];
	int16 collection_index; // filled at load
	int16 color_table_index; // filled at load
};
STORED_SIZE(model_permutation_data, 64);

struct model_mesh_cell_data
{
	int16 x, y; // geometry cells
	uint16 flags;
	int16 unused;
};
STORED_SIZE(model_mesh_cell_data, 8);

extern const byte_swap_code model_definition_bs_data[];
extern const byte_swap_code geometry_vertex_data_bs_data[];
extern const byte_swap_code model_permutation_data_bs_data[];
extern const byte_swap_code model_mesh_cell_data_bs_data[];

// The tables of a loaded definition (native addresses inside its block).
struct model_definition_tables
{
	uint8 *data;
	geometry_vertex_data *vertex_flags;
	model_permutation_data *permutations;
	model_mesh_cell_data *cells;
};

/* ---------- placed models */

// Two corners as transformed, never reordered.
struct world_rectangle3d
{
	world_point3d minimum_corner, maximum_corner;
};

struct model_data
{
	int16 identifier;
	uint16 flags;
	int16 type;
	int16 model_permutation;
	world_point3d location;
	world_vector3d up_vector;
	world_vector3d forward_vector;
	world_vector3d scale_vector; // 512 = 1.0
	int32 x0, x1, y0, y1;
	uint32 destroyed_materials;
	int16 desired_model_permutation;
	uint16 permutation_crossfade_amount;
	angle current_yaw, current_pitch;
	uint16 transparency;
	int16 owner_model_animation_index;
	world_rectangle3d bounds;
	matrix3x3 geometry_to_world_matrix;
	matrix3x3 world_to_geometry_matrix;
};

struct new_model_data
{
	int16 type;
	int16 permutation_index;
	world_point3d position;
	angle yaw, pitch;
	int16 owner_model_animation_index;
};

// 8 bytes: a unit normal, 16384 = 1.0.
struct precalculated_model_normal
{
	world_vector3d normal;
	int16 unused;
};
STORED_SIZE(precalculated_model_normal, 8);

typedef boolean (*point_in_surface_triangle_proc)(const geometry_surface *surface, const geometry_vertex *vertices,
	const world_point3d *point);

extern datum_globals model_array; // "model"

/* ---------- life cycle */

void initialize_models(void);
void initialize_models_for_new_map(void);
void dispose_models_from_old_map(void);
void dispose_model_definitions_from_old_map(void);
definition_globals *get_model_definitions(void);

/* ---------- loading */

int16 get_model_definition_index(file_tag tag);
boolean postprocess_model_definition(definition_globals *definitions, int16 definition_index, int32 tag_handle,
	void *definition);
boolean convert_model_definition(definition_globals *definitions, int32 tag_handle, int16 stored_version,
	const void *stored_definition, void *definition);
void model_definition_dependencies(void *definition, report_definition_dependency_proc report);
boolean load_model_data(file_tag subgroup, model_definition *definition, boolean read_ahead);
// Loads a tag's data as it lies in the file, without a tag (tests, the fuzz
// target); its geometry must be loaded already. The index or NONE.
int16 new_model_definition_from_tag_data(file_tag subgroup, const void *tag_data, int32 tag_data_size);
model_definition *get_model_definition(int16 definition_index);
// NULL unless the definition's tables are in place.
const model_definition_tables *get_model_definition_tables(int16 definition_index);

/* ---------- placing and removing */

int16 new_model(const new_model_data *data);
int16 new_model_from_marker(marker_data *marker);
void new_model_palette_entry(marker_palette_entry *entry);
void delete_model(int16 model_index);
// FALSE (nothing changed) when adding finds a cell of the box already taken.
boolean modify_cells_under_model(int16 model_index, boolean adding_model);

/* ---------- lookups */

model_data *get_model_data(int16 model_index);
int16 model_identifier_to_model_index(int16 identifier);
int16 model_identifiers_to_model_indexes(const int16 *identifiers, int16 *indexes, int16 count);
void get_model_centerpoint(int16 model_index, world_point2d *point);
int16 get_model_index_from_mesh_cell(int32 x, int32 y);

/* ---------- collision */

void check_for_model_obstruction(const world_point3d *origin, const world_point3d *target, angle pitch,
	boolean *obstructed_near, boolean *obstructed_far, boolean force_old_way);
boolean intersects_with_model_bounding_box(int16 model_index, const world_point3d *p0, const world_point3d *p1);
boolean object_hit_model_index(int16 model_index, const world_point3d *old_position, world_point3d *new_position,
	world_vector3d *collision_normal, world_distance radius);
boolean hit_model_in_cell(int32 x, int32 y, const world_point2d *p0, const world_point2d *p1);
boolean object_hit_model(const world_point3d *old_position, world_point3d *new_position,
	world_vector3d *collision_normal, int16 *model_collided_index, world_distance radius);
int16 clip_line_to_box(world_distance xmin, world_distance xmax, world_distance ymin, world_distance ymax,
	const world_point2d *p0, const world_point2d *p1, world_point2d *clip_pt);
boolean point_in_surface_triangle(const geometry_surface *surface, const geometry_vertex *vertices,
	const world_point3d *point);
boolean point_in_surface_triangle_old(const geometry_surface *surface, const geometry_vertex *vertices,
	const world_point3d *point);
// The map's choice of test.
point_in_surface_triangle_proc get_point_in_surface_triangle_proc(void);

/* ---------- normals and bounds */

int16 match_precalculated_model_normal(const world_vector3d *vector);
void get_model_normal(int16 index, world_vector3d *vector);
int16 get_precalculated_model_normal_count(void);
void compute_model_bounds_from_geometry(int16 model_index);

/* ---------- digest */

void fold_models_digest(zerv_digest *digest);

#endif
