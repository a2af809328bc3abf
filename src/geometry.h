// Geometries ('geom'): the polygon data of 3D models (materials, vertices,
// triangular surfaces with planes and BSP links, a bounding box) and the
// 9-bit fixed-point matrix operations between geometry space and the world.
#ifndef GEOMETRY_H
#define GEOMETRY_H

#include <cstddef>

#include "cseries.h"
#include "world_units.h"
#include "byte_swapping.h"
#include "definitions.h"

#define GEOMETRY_GROUP_TAG TAG("geom")
#define GEOMETRY_VERSION_NUMBER 1
#define MAXIMUM_GEOMETRY_DEFINITIONS_PER_MAP 128
#define MAXIMUM_MATERIALS_PER_GEOMETRY 32
#define MAXIMUM_VERTICES_PER_GEOMETRY 2048
#define MAXIMUM_SURFACES_PER_GEOMETRY 512
#define MAXIMUM_GEOMETRY_MATERIAL_NAME_LENGTH 32
#define NUMBER_OF_GEOMETRY_CORNER_INTERPOLANTS 2
#define NUMBER_OF_ENCODED_GEOMETRY_CORNER_NORMALS 1024
#define NUMBER_OF_SURFACE_CORNERS 3

#define GEOMETRY_NORMAL_SCALE 512
#define GEOMETRY_MINIMUM_SCALE 102
#define GEOMETRY_MAXIMUM_SCALE 1536
#define GEOMETRY_MATRIX_BITS 9
// Trigonometric matrices (16384 = 1.0) become geometry matrices (512 = 1.0).
#define TRIG_TO_GEOMETRY_MATRIX_SHIFT 5

enum // geometry definition flags
{
	_geometry_definition_is_mesh_aligned_bit,
	_geometry_definition_is_object_bit,

	_geometry_definition_is_mesh_aligned_flag = FLAG(_geometry_definition_is_mesh_aligned_bit),
	_geometry_definition_is_object_flag = FLAG(_geometry_definition_is_object_bit)
};

enum // geometry surface flags
{
	_geometry_surface_is_transparent_bit,
	_geometry_surface_no_backface_cull_bit,
	_geometry_surface_under_mesh_bit,
	_geometry_surface_reflective_bit,
	_geometry_surface_uses_closest_z_bit,
	_geometry_surface_negative_bit,
	_geometry_surface_does_not_stop_projectiles_bit,
	_geometry_surface_mesh_aligned_closest_z_bit, // set at load

	_geometry_surface_is_transparent_flag = FLAG(_geometry_surface_is_transparent_bit),
	_geometry_surface_no_backface_cull_flag = FLAG(_geometry_surface_no_backface_cull_bit),
	_geometry_surface_under_mesh_flag = FLAG(_geometry_surface_under_mesh_bit),
	_geometry_surface_reflective_flag = FLAG(_geometry_surface_reflective_bit),
	_geometry_surface_uses_closest_z_flag = FLAG(_geometry_surface_uses_closest_z_bit),
	_geometry_surface_negative_flag = FLAG(_geometry_surface_negative_bit),
	_geometry_surface_does_not_stop_projectiles_flag = FLAG(_geometry_surface_does_not_stop_projectiles_bit),
	_geometry_surface_mesh_aligned_closest_z_flag = FLAG(_geometry_surface_mesh_aligned_closest_z_bit)
};

/* ---------- stored records (big-endian in the tag) */

// 128 bytes. The slots are 32-bit fields, zero on disk; the addresses live
// in a side table by definition index.
struct geometry_definition
{
	uint32 flags;
	file_tag collection_reference_tag;
	int16 material_count;
	int16 vertex_count;
	int16 surface_count;
	int16 dependency_count;
	short_world_point3d center;
	int16 height;
	int32 obsolete;
	int32 materials_offset, materials_size;
	uint32 materials; // slot
	int32 vertices_offset, vertices_size;
	uint32 vertices; // slot
	int32 surfaces_offset, surfaces_size;
	uint32 surfaces; // slot
	int32 dependency_list_offset, dependency_size;
	uint32 dependency_list; // slot
	int32 data_offset, data_size;
	uint32 data; // slot
	short_world_rectangle3d bounds;
	uint8 unused[26];
	int16 collection_reference_index; // filled at load
};
STORED_SIZE(geometry_definition, 128);
static_assert(offsetof(geometry_definition, materials_offset) == 28 && offsetof(geometry_definition, data_offset) == 76 &&
	offsetof(geometry_definition, bounds) == 88 && offsetof(geometry_definition, collection_reference_index) == 126);

struct geometry_material
{
	char name[MAXIMUM_GEOMETRY_MATERIAL_NAME_LENGTH];
	int16 sequence_index;
	uint8 unused[24];
	int16 collection_index;
	int16 color_table_index;
	int16 bitmap_index;
};
STORED_SIZE(geometry_material, 64);

struct geometry_vertex
{
	short_world_point3d point;
};
STORED_SIZE(geometry_vertex, 6);

struct geometry_corner
{
	int16 interpolants[NUMBER_OF_GEOMETRY_CORNER_INTERPOLANTS];
	int16 vertex_index;
	int16 encoded_normal;
};
STORED_SIZE(geometry_corner, 8);

struct geometry_surface
{
	uint16 flags;
	world_vector3d normal; // 16384 = 1.0
	int32 d; // n.p + d is 0 on the plane
	short_world_rectangle3d bounds;
	uint16 transparency;
	int16 material_index;
	geometry_corner corners[NUMBER_OF_SURFACE_CORNERS];
	int16 next_negative_surface_index;
	int16 next_parallel_surface_index;
	int16 next_positive_surface_index;
	int16 obsolete;
	int16 dependency_table_index;
	int16 unused;
};
STORED_SIZE(geometry_surface, 64);
static_assert(offsetof(geometry_surface, d) == 8 && offsetof(geometry_surface, corners) == 28 &&
	offsetof(geometry_surface, next_negative_surface_index) == 52);

extern const byte_swap_code geometry_definition_bs_data[];
extern const byte_swap_code geometry_material_bs_data[];
extern const byte_swap_code geometry_vertex_bs_data[];
extern const byte_swap_code geometry_surface_bs_data[];
extern const byte_swap_code geometry_corner_bs_data[];

// The tables of a loaded geometry (native addresses inside its data block).
struct geometry_tables
{
	uint8 *data;
	geometry_material *materials;
	geometry_vertex *vertices;
	geometry_surface *surfaces;
	int16 *dependency_list; // NULL when dependency_count is 0
};

/* ---------- the group */

void initialize_geometry_definitions(void);
void initialize_geometry_definitions_for_new_map(void);
void dispose_geometry_definitions_from_old_map(void);
definition_globals *get_geometry_definitions(void);

void geometry_definition_dependencies(void *definition, report_definition_dependency_proc report);
boolean postprocess_geometry_definition(definition_globals *definitions, int16 definition_index, int32 tag_handle,
	void *definition);
boolean convert_geometry_definition(definition_globals *definitions, int32 tag_handle, int16 stored_version,
	const void *stored_definition, void *definition);
// The preloader's hook: reads the geometry's data block ahead of its postprocess.
boolean load_geometry_data(file_tag subgroup, geometry_definition *definition, boolean read_ahead);

int16 geometry_definition_tag_to_index(file_tag subgroup);
// Loads a tag's data as it lies in the file (the header at 0, the block at
// data_offset) under subgroup, without a tag; the index or NONE. For tests
// and the fuzz target.
int16 new_geometry_definition_from_tag_data(file_tag subgroup, const void *tag_data, int32 tag_data_size);

// The same for any group whose definitions carry a data block: the header is
// swapped and added, the block (checked against the data) handed to install
// as a fetched block, then the group's postprocess runs.
typedef void (*install_data_block_proc)(int16 definition_index, uint8 *block);
// The preloader's read of a definition's block from its tag, installed as fetched.
boolean fetch_definition_data_block(definition_globals *definitions, file_tag subgroup, int32 offset, int32 size,
	boolean read_ahead, const char *kind, install_data_block_proc install);
// A definition's header from in-memory tag bytes, swapped (new_pointer; the
// caller disposes it); NULL, with an error line, when the bytes are too short.
uint8 *new_definition_header_from_tag_data(definition_globals *definitions, file_tag subgroup, const void *tag_data,
	int32 tag_data_size);
// Runs the group's postprocess on a definition just made; NONE (and the
// definition deleted) when it refuses.
int16 postprocess_new_definition(definition_globals *definitions, int16 index);
int16 new_definition_from_tag_data(definition_globals *definitions, file_tag subgroup, const void *tag_data,
	int32 tag_data_size, int32 data_offset_field, install_data_block_proc install);
// NULL for an index that holds no loaded geometry.
geometry_definition *get_geometry_definition(int16 geometry_index);
// NULL unless the geometry's tables are in place.
const geometry_tables *get_geometry_tables(int16 geometry_index);

/* ---------- maths (matrices at 512 = 1.0) */

void transform_model_point3d(world_point3d *result, const matrix3x3 *matrix, const world_point3d *origin,
	const world_point3d *point);
void transform_geometry_point_to_world(const world_point3d *origin, const world_point3d *center,
	const world_point3d *point, const matrix3x3 *geometry_to_world, world_point3d *result);
void transform_world_point_to_geometry(const world_point3d *origin, const world_point3d *center,
	const world_point3d *point, const matrix3x3 *world_to_geometry, world_point3d *result);
void rotate_model_vector(world_vector3d *result, const matrix3x3 *matrix, const world_vector3d *vector);
void get_geometry_matrices(const world_vector3d *forward, const world_vector3d *up, const world_vector3d *scale,
	matrix3x3 *geometry_to_world, matrix3x3 *world_to_geometry);
void downshift_trig_matrix_into_world_matrix(matrix3x3 *matrix);
void world_matrix_inverse(const matrix3x3 *matrix, matrix3x3 *result);
int16 world_matrix_cofactor(const matrix3x3 *matrix, int16 row, int16 column);
int16 world_matrix_determinant(const matrix3x3 *matrix);
void calculate_geometry_cell_width_and_height(const geometry_definition *definition, int16 *width, int16 *height);

// Shared with the model loader: whether a table of count records of
// record_size bytes lies inside a block of block_size bytes at offset, aligned.
boolean geometry_table_is_inside(int32 offset, int32 size, int32 count, int32 record_size, int32 block_size,
	int32 alignment);
// Allocates and reads size bytes at offset of the tag (kind names the group
// in the texts); NULL with the error set when the block is outside the tag,
// cannot be allocated or cannot be read.
// "<kind> <tag> has a bad <field>." with the data-corrupted code.
void report_bad_definition_field(const char *kind, int32 tag_handle, const char *field);
uint8 *read_definition_data_block(int32 tag_handle, int32 offset, int32 size, boolean read_ahead, const char *kind);

#endif
