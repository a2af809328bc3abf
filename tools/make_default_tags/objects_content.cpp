#include "objects_content.h"

#include <cstring>

#include "collections_content.h"
#include "default_tags.h"
#include "weather_content.h"
#include "projectiles_content.h"
#include "units_content.h"
#include "x_files.h"
#include "geometry.h"
#include "models.h"
#include "tag_files/tag_files.h"

namespace {

object_definition base_definition(uint16 flags, int16 gravity, int16 elasticity, int16 vitality, int16 vitality_delta)
{
	object_definition definition = *get_default_object_definition();
	definition.flags = flags;
	definition.gravity = gravity;
	definition.elasticity = elasticity;
	definition.maximum_vitality = vitality;
	definition.maximum_vitality_delta = vitality_delta;
	return definition;
}

object_definition body(void)
{
	return base_definition(_object_definition_is_solid_flag | _draw_selection_box_flag | _draw_vitality_box_flag |
			_object_cannot_be_deflected_flag,
		-2, 32, 256, 32);
}

object_definition arrow(void)
{
	return base_definition(_object_cannot_be_deflected_flag, -2, 64, 64, 0);
}

object_definition bomb(void)
{
	return base_definition(_object_cannot_be_deflected_flag, -3, 128, 64, 0);
}

object_definition effect(void)
{
	return base_definition(_object_cannot_be_deflected_flag | _ignore_model_and_object_collisions_flag, 0, 128, 256, 0);
}

object_definition debris(void)
{
	return base_definition(_object_cannot_be_deflected_flag | _ignore_model_and_object_collisions_flag, -2, 96, 256, 0);
}

object_definition tree(void)
{
	object_definition definition =
		base_definition(_object_definition_is_solid_flag | _object_cannot_be_deflected_flag, -2, 128, 1024, 0);
	definition.effect_modifiers[_effect_modifier_explosive_damage] = 512; // fire: twice
	definition.effect_modifiers[_effect_modifier_close_range_physical_damage] = 64;
	definition.effect_modifiers[_effect_modifier_long_range_physical_damage] = 64;
	return definition;
}

object_definition rock(void)
{
	object_definition definition =
		base_definition(_object_definition_is_solid_flag | _object_cannot_be_deflected_flag, -2, 128, 2048, 0);
	definition.effect_modifiers[_effect_modifier_close_range_physical_damage] = 0;
	definition.effect_modifiers[_effect_modifier_long_range_physical_damage] = 0;
	return definition;
}

object_definition post(void)
{
	return base_definition(_object_definition_is_solid_flag | _object_cannot_be_deflected_flag, -2, 128, 256, 0);
}

template <typename record>
void append_swapped(std::vector<uint8> *bytes, const record *records, int32 count, const byte_swap_code *codes)
{
	const size_t at = bytes->size();
	bytes->resize(at + sizeof(record) * static_cast<size_t>(count));
	if (count > 0) byte_swap_move("content", bytes->data() + at, records, sizeof(record), count, codes);
}

/* ---------- the hut */

const int16 hut_size = 1024, hut_height = 512;

const short_world_point3d hut_vertices[8] = {
	{0, 0, 0}, {hut_size, 0, 0}, {hut_size, hut_size, 0}, {0, hut_size, 0},
	{0, 0, hut_height}, {hut_size, 0, hut_height}, {hut_size, hut_size, hut_height}, {0, hut_size, hut_height}};

struct hut_face
{
	world_vector3d normal;
	int32 d;
	int16 corners[4]; // any order around the face
};

// Outward normals, n.p + d = 0 on each face.
const hut_face hut_faces[5] = {
	{{0, -TRIG_MAGNITUDE, 0}, 0, {0, 1, 5, 4}},
	{{TRIG_MAGNITUDE, 0, 0}, -TRIG_MAGNITUDE * hut_size, {1, 2, 6, 5}},
	{{0, TRIG_MAGNITUDE, 0}, -TRIG_MAGNITUDE * hut_size, {2, 3, 7, 6}},
	{{-TRIG_MAGNITUDE, 0, 0}, 0, {3, 0, 4, 7}},
	{{0, 0, TRIG_MAGNITUDE}, -TRIG_MAGNITUDE * hut_height, {4, 5, 6, 7}}};

int64 winding(const short_world_point3d *points, const world_vector3d &normal, int16 a, int16 b, int16 c)
{
	const short_world_point3d &p = points[a], &q = points[b], &r = points[c];
	const int64 ux = q.x - p.x, uy = q.y - p.y, uz = q.z - p.z;
	const int64 vx = r.x - p.x, vy = r.y - p.y, vz = r.z - p.z;
	return (uy * vz - uz * vy) * normal.i + (uz * vx - ux * vz) * normal.j + (ux * vy - uy * vx) * normal.k;
}

} // namespace

geometry_surface model_surface(const short_world_point3d *points, const world_vector3d &normal, int32 d, int16 a,
	int16 b, int16 c)
{
	// Clockwise seen from the normal's side, as the point-in-triangle test expects.
	if (winding(points, normal, a, b, c) > 0) std::swap(b, c);
	geometry_surface surface = {};
	surface.normal = normal;
	surface.d = d;
	const int16 corners[3] = {a, b, c};
	surface.bounds.minimum_corner = points[a];
	surface.bounds.maximum_corner = points[a];
	for (int16 i = 0; i < 3; ++i)
	{
		const short_world_point3d &v = points[corners[i]];
		surface.corners[i].vertex_index = corners[i];
		surface.bounds.minimum_corner = {MIN(surface.bounds.minimum_corner.x, v.x), MIN(surface.bounds.minimum_corner.y, v.y),
			MIN(surface.bounds.minimum_corner.z, v.z)};
		surface.bounds.maximum_corner = {MAX(surface.bounds.maximum_corner.x, v.x), MAX(surface.bounds.maximum_corner.y, v.y),
			MAX(surface.bounds.maximum_corner.z, v.z)};
	}
	surface.material_index = 0;
	surface.next_negative_surface_index = NONE;
	surface.next_parallel_surface_index = NONE;
	surface.next_positive_surface_index = NONE;
	surface.dependency_table_index = NONE;
	return surface;
}

namespace {

// Each face spans the stone texture once across; the walls, twice as wide as
// high, take half its height, so that the stones keep their shape.
geometry_surface hut_surface(const hut_face &face, int16 a, int16 b, int16 c)
{
	geometry_surface surface = model_surface(hut_vertices, face.normal, face.d, a, b, c);
	// The ground the hut stands on is hidden under it: its walls sort by their nearest corner.
	surface.flags = _geometry_surface_uses_closest_z_flag;
	for (geometry_corner &corner : surface.corners)
	{
		const short_world_point3d &p = hut_vertices[corner.vertex_index];
		const int32 across = face.normal.i ? p.y : p.x;
		const int32 up = face.normal.k ? p.y : hut_height - p.z;
		corner.interpolants[0] = static_cast<int16>(static_cast<uint16>(across * 65535 / hut_size));
		corner.interpolants[1] = static_cast<int16>(static_cast<uint16>(up * 65535 / (face.normal.k ? hut_size : 2 * hut_height)));
	}
	return surface;
}

/* ---------- the cottage */

// 768 x 512 walls 384 high under a ridged roof at 45 degrees (ridge at 640,
// along x), and a double-sided pennant on the ridge.
const int16 cottage_width = 768, cottage_depth = 512, cottage_wall = 384, cottage_ridge = 640;
const int16 diagonal = 11585; // TRIG_MAGNITUDE / sqrt 2

const short_world_point3d cottage_vertices[] = {{0, 0, 0}, {cottage_width, 0, 0}, {cottage_width, cottage_depth, 0},
	{0, cottage_depth, 0}, {0, 0, cottage_wall}, {cottage_width, 0, cottage_wall},
	{cottage_width, cottage_depth, cottage_wall}, {0, cottage_depth, cottage_wall}, {0, cottage_depth / 2, cottage_ridge},
	{cottage_width, cottage_depth / 2, cottage_ridge}, {cottage_width / 2, cottage_depth / 2, cottage_ridge},
	{cottage_width / 2, cottage_depth / 2, cottage_ridge + 192}, {cottage_width / 2 + 160, cottage_depth / 2, cottage_ridge + 96}};
const int16 cottage_vertex_count = static_cast<int16>(NUMBEROF(cottage_vertices));

// How a face's corners take their place in its texture.
enum
{
	_map_long_wall, // across x, up the wall
	_map_end_wall, // across y, up the wall
	_map_gable, // across y, from the eaves to the ridge
	_map_roof, // across x, from the eaves to the ridge
	_map_pennant
};

struct cottage_triangle
{
	world_vector3d normal;
	int16 corners[3];
	uint16 flags;
	int16 mapping;
};

const cottage_triangle cottage_triangles[] = {
	{{0, -TRIG_MAGNITUDE, 0}, {0, 1, 5}, 0, _map_long_wall}, {{0, -TRIG_MAGNITUDE, 0}, {0, 5, 4}, 0, _map_long_wall},
	{{TRIG_MAGNITUDE, 0, 0}, {1, 2, 6}, 0, _map_end_wall}, {{TRIG_MAGNITUDE, 0, 0}, {1, 6, 5}, 0, _map_end_wall},
	{{TRIG_MAGNITUDE, 0, 0}, {5, 6, 9}, 0, _map_gable},
	{{0, TRIG_MAGNITUDE, 0}, {2, 3, 7}, 0, _map_long_wall}, {{0, TRIG_MAGNITUDE, 0}, {2, 7, 6}, 0, _map_long_wall},
	{{-TRIG_MAGNITUDE, 0, 0}, {3, 0, 4}, 0, _map_end_wall}, {{-TRIG_MAGNITUDE, 0, 0}, {3, 4, 7}, 0, _map_end_wall},
	{{-TRIG_MAGNITUDE, 0, 0}, {7, 4, 8}, 0, _map_gable},
	{{0, -diagonal, diagonal}, {4, 5, 9}, 0, _map_roof}, {{0, -diagonal, diagonal}, {4, 9, 8}, 0, _map_roof},
	{{0, diagonal, diagonal}, {6, 7, 8}, 0, _map_roof}, {{0, diagonal, diagonal}, {6, 8, 9}, 0, _map_roof},
	{{0, -TRIG_MAGNITUDE, 0}, {10, 11, 12}, _geometry_surface_no_backface_cull_flag, _map_pennant}};

// A 16-bit texture fraction (65,535 = the far edge) of value within span.
int16 texture_fraction(int32 value, int32 span)
{
	return static_cast<int16>(static_cast<uint16>(PIN(value, 0, span) * 65535 / span));
}

void map_cottage_corners(geometry_surface *surface, int16 mapping)
{
	for (geometry_corner &corner : surface->corners)
	{
		const short_world_point3d &p = cottage_vertices[corner.vertex_index];
		int16 u = 0, v = 0;
		switch (mapping)
		{
		case _map_long_wall: u = texture_fraction(p.x, cottage_width), v = texture_fraction(cottage_wall - p.z, cottage_wall); break;
		case _map_end_wall: u = texture_fraction(p.y, cottage_depth), v = texture_fraction(cottage_wall - p.z, cottage_wall); break;
		case _map_gable:
			u = texture_fraction(p.y, cottage_depth), v = texture_fraction(cottage_ridge - p.z, cottage_ridge - cottage_wall);
			break;
		case _map_roof:
			u = texture_fraction(p.x, cottage_width), v = texture_fraction(cottage_ridge - p.z, cottage_ridge - cottage_wall);
			break;
		default:
			u = texture_fraction(p.x - cottage_width / 2, 160), v = texture_fraction(cottage_ridge + 192 - p.z, 192);
			break;
		}
		corner.interpolants[0] = u;
		corner.interpolants[1] = v;
	}
}

} // namespace

// A material drawn from a sequence of the scenery collection.
geometry_material textured_material(const char *name, int16 sequence_index)
{
	geometry_material material = {};
	strncpy(material.name, name, sizeof(material.name) - 1);
	material.sequence_index = sequence_index;
	material.collection_index = NONE;
	material.color_table_index = NONE;
	material.bitmap_index = NONE;
	return material;
}

// The 'geom' data of its materials, points and surfaces; the bounds and
// centre come from the points.
std::vector<uint8> geometry_tag_data(const std::vector<geometry_material> &materials, const short_world_point3d *points,
	int16 point_count, const std::vector<geometry_surface> &surfaces, int16 height)
{
	std::vector<geometry_vertex> vertices(static_cast<size_t>(point_count));
	short_world_rectangle3d bounds = {points[0], points[0]};
	for (int16 i = 0; i < point_count; ++i)
	{
		vertices[static_cast<size_t>(i)].point = points[i];
		bounds.minimum_corner = {MIN(bounds.minimum_corner.x, points[i].x), MIN(bounds.minimum_corner.y, points[i].y),
			MIN(bounds.minimum_corner.z, points[i].z)};
		bounds.maximum_corner = {MAX(bounds.maximum_corner.x, points[i].x), MAX(bounds.maximum_corner.y, points[i].y),
			MAX(bounds.maximum_corner.z, points[i].z)};
	}
	geometry_definition header = {};
	header.collection_reference_tag = DEFAULT_SCENERY_REFERENCE_TAG;
	header.material_count = static_cast<int16>(materials.size());
	header.vertex_count = point_count;
	header.surface_count = static_cast<int16>(surfaces.size());
	header.dependency_count = 0;
	header.center = {static_cast<short_world_distance>((bounds.minimum_corner.x + bounds.maximum_corner.x) / 2),
		static_cast<short_world_distance>((bounds.minimum_corner.y + bounds.maximum_corner.y) / 2), 0};
	header.height = height;
	header.materials_offset = 0;
	header.materials_size = static_cast<int32>(sizeof(geometry_material) * materials.size());
	header.vertices_offset = header.materials_offset + header.materials_size;
	header.vertices_size = static_cast<int32>(sizeof(geometry_vertex) * vertices.size());
	header.surfaces_offset = (header.vertices_offset + header.vertices_size + 3) & ~3;
	header.surfaces_size = static_cast<int32>(sizeof(geometry_surface) * surfaces.size());
	header.data_offset = sizeof(geometry_definition);
	header.data_size = header.surfaces_offset + header.surfaces_size;
	header.bounds = bounds;
	header.collection_reference_index = NONE;

	std::vector<uint8> bytes;
	append_swapped(&bytes, &header, 1, geometry_definition_bs_data);
	append_swapped(&bytes, materials.data(), static_cast<int32>(materials.size()), geometry_material_bs_data);
	append_swapped(&bytes, vertices.data(), point_count, geometry_vertex_bs_data);
	bytes.resize(static_cast<size_t>(header.data_offset + header.surfaces_offset));
	append_swapped(&bytes, surfaces.data(), static_cast<int32>(surfaces.size()), geometry_surface_bs_data);
	return bytes;
}

static std::vector<uint8> model_tag_data(file_tag geometry_tag, int16 vertex_count, uint16 vertex_flags_below,
	const model_mesh_cell_data *cells, int16 cell_count)
{
	std::vector<geometry_vertex_data> vertex_flags(static_cast<size_t>(vertex_count));
	for (int16 i = 0; i < vertex_count; ++i) vertex_flags[static_cast<size_t>(i)].flags = i < 4 ? vertex_flags_below : 0;
	model_permutation_data permutation = {};
	permutation.collection_index = NONE;
	permutation.color_table_index = NONE;

	model_definition header = {};
	header.geometry_tag = geometry_tag;
	header.geometry_index = NONE;
	header.model_geometry_vertex_count = vertex_count;
	header.model_permutation_count = 1;
	header.model_cell_count = cell_count;
	header.model_geometry_vertex_offset = 0;
	header.model_geometry_vertex_size = static_cast<int32>(sizeof(geometry_vertex_data) * vertex_flags.size());
	header.model_permutations_offset = header.model_geometry_vertex_size;
	header.model_permutations_size = sizeof(model_permutation_data);
	header.model_cell_offset = header.model_permutations_offset + header.model_permutations_size;
	header.model_cell_size = static_cast<int32>(sizeof(model_mesh_cell_data) * static_cast<size_t>(cell_count));
	header.data_offset = sizeof(model_definition);
	header.data_size = header.model_cell_offset + header.model_cell_size;

	std::vector<uint8> bytes;
	append_swapped(&bytes, &header, 1, model_definition_bs_data);
	append_swapped(&bytes, vertex_flags.data(), vertex_count, geometry_vertex_data_bs_data);
	append_swapped(&bytes, &permutation, 1, model_permutation_data_bs_data);
	append_swapped(&bytes, cells, cell_count, model_mesh_cell_data_bs_data);
	return bytes;
}

const default_object_entry default_objects[] = {
	{DEFAULT_BODY_OBJECT_TAG, "unit body", body},
	{DEFAULT_ARROW_OBJECT_TAG, "arrow", arrow},
	{DEFAULT_BOMB_OBJECT_TAG, "bomb", bomb},
	{DEFAULT_EFFECT_OBJECT_TAG, "effect", effect},
	{DEFAULT_DEBRIS_OBJECT_TAG, "debris", debris},
	{DEFAULT_TREE_OBJECT_TAG, "tree", tree},
	{DEFAULT_ROCK_OBJECT_TAG, "rock", rock},
	{DEFAULT_POST_OBJECT_TAG, "fence post", post},
};
const int32 number_of_default_objects = static_cast<int32>(NUMBEROF(default_objects));

std::vector<uint8> object_definition_tag_data(const object_definition &definition)
{
	std::vector<uint8> bytes;
	append_swapped(&bytes, &definition, 1, object_definition_bs_data);
	return bytes;
}

std::vector<uint8> hut_geometry_tag_data(void)
{
	std::vector<geometry_surface> surfaces;
	for (const hut_face &face : hut_faces)
	{
		surfaces.push_back(hut_surface(face, face.corners[0], face.corners[1], face.corners[2]));
		surfaces.push_back(hut_surface(face, face.corners[0], face.corners[2], face.corners[3]));
	}
	return geometry_tag_data({textured_material("stone", _default_scenery_stone_sequence)}, hut_vertices, 8, surfaces,
		hut_height);
}

std::vector<uint8> hut_model_tag_data(void)
{
	const model_mesh_cell_data cells[4] = {{0, 0, _mesh_cell_is_impassable_walking_flag, 0},
		{1, 0, _mesh_cell_is_impassable_walking_flag, 0}, {0, 1, _mesh_cell_is_impassable_walking_flag, 0},
		{1, 1, _mesh_cell_is_impassable_walking_flag, 0}};
	return model_tag_data(DEFAULT_HUT_MODEL_TAG, 8, _vertex_deforms_mesh_flag, cells, 4); // the bottom corners deform
}

std::vector<uint8> cottage_geometry_tag_data(void)
{
	// Material 0 the walls (and the pennant), 1 the thatched roof.
	std::vector<geometry_surface> surfaces;
	for (const cottage_triangle &t : cottage_triangles)
	{
		const short_world_point3d &p = cottage_vertices[t.corners[0]];
		const int32 d = -(t.normal.i * p.x + t.normal.j * p.y + t.normal.k * p.z);
		geometry_surface surface = model_surface(cottage_vertices, t.normal, d, t.corners[0], t.corners[1], t.corners[2]);
		surface.flags = t.flags;
		surface.material_index = t.mapping == _map_roof ? 1 : 0;
		map_cottage_corners(&surface, t.mapping);
		surfaces.push_back(surface);
	}
	return geometry_tag_data({textured_material("wall", _default_scenery_wall_sequence),
		textured_material("thatch", _default_scenery_thatch_sequence)}, cottage_vertices, cottage_vertex_count, surfaces,
		cottage_ridge);
}

std::vector<uint8> cottage_model_tag_data(void)
{
	const model_mesh_cell_data cells[2] = {{0, 0, _mesh_cell_is_impassable_walking_flag, 0},
		{1, 0, _mesh_cell_is_impassable_walking_flag, 0}};
	return model_tag_data(DEFAULT_COTTAGE_MODEL_TAG, cottage_vertex_count, 0, cells, 2);
}

bool make_default_object_tags(std::vector<int32> *handles)
{
	for (int32 i = 0; i < number_of_default_objects; ++i)
	{
		const std::vector<uint8> bytes = object_definition_tag_data(default_objects[i].make());
		const int32 handle = tag_file_new_with_subgroup_tag(OBJECT_DEFINITION_GROUP_TAG, default_objects[i].name,
			default_objects[i].subgroup_tag, OBJECT_DEFINITION_VERSION_NUMBER, bytes.data(), static_cast<int32>(bytes.size()));
		if (handle == NONE) return false;
		handles->push_back(handle);
	}
	const std::vector<uint8> geometry = hut_geometry_tag_data();
	const std::vector<uint8> model = hut_model_tag_data();
	const int32 geometry_handle = tag_file_new_with_subgroup_tag(GEOMETRY_GROUP_TAG, "stone hut", DEFAULT_HUT_MODEL_TAG,
		GEOMETRY_VERSION_NUMBER, geometry.data(), static_cast<int32>(geometry.size()));
	const int32 model_handle = tag_file_new_with_subgroup_tag(MODEL_GROUP_TAG, "stone hut", DEFAULT_HUT_MODEL_TAG,
		MODEL_VERSION_NUMBER, model.data(), static_cast<int32>(model.size()));
	if (geometry_handle == NONE || model_handle == NONE) return false;
	handles->push_back(geometry_handle);
	handles->push_back(model_handle);
	const std::vector<uint8> cottage_geometry = cottage_geometry_tag_data();
	const std::vector<uint8> cottage_model = cottage_model_tag_data();
	const int32 cottage_geometry_handle = tag_file_new_with_subgroup_tag(GEOMETRY_GROUP_TAG, "thatched cottage",
		DEFAULT_COTTAGE_MODEL_TAG, GEOMETRY_VERSION_NUMBER, cottage_geometry.data(),
		static_cast<int32>(cottage_geometry.size()));
	const int32 cottage_model_handle = tag_file_new_with_subgroup_tag(MODEL_GROUP_TAG, "thatched cottage",
		DEFAULT_COTTAGE_MODEL_TAG, MODEL_VERSION_NUMBER, cottage_model.data(), static_cast<int32>(cottage_model.size()));
	if (cottage_geometry_handle == NONE || cottage_model_handle == NONE) return false;
	handles->push_back(cottage_geometry_handle);
	handles->push_back(cottage_model_handle);
	return true;
}

bool list_default_object_tags(const char *directory, FILE *out)
{
	bool listed = true;
	for (int16 index = 0; index < NUMBER_OF_FOUNDATION_TAG_FILES; ++index)
	{
		file_reference file;
		tag_file_header header;
		if (!default_tags_file_reference(directory, tag_file_strings[_tag_file_string_foundation_folder],
				tag_file_strings[FIRST_FOUNDATION_TAG_FILENAME + index], &file) ||
			!tag_file_open_monolithic_file(&file, &header))
		{
			listed = false;
			continue;
		}
		int32 length = 0;
		uint8 *bytes = static_cast<uint8 *>(file_read_into_memory(&file, &length));
		const int64 first = static_cast<int64>(sizeof(tag_file_header)) +
			static_cast<int64>(sizeof(tag_file_entry_point)) * header.entry_point_count;
		if (!bytes || header.tag_count < 0 || first + static_cast<int64>(sizeof(tag_header)) * header.tag_count > length)
		{
			dispose_pointer(bytes);
			listed = false;
			continue;
		}
		for (int32 i = 0; i < header.tag_count; ++i)
		{
			tag_header stored;
			memcpy(&stored, bytes + first + sizeof(tag_header) * i, sizeof(stored));
			byte_swap_data("tag header", &stored, sizeof(stored), 1, tag_header_byte_swapping_data);
			if (stored.group_tag != OBJECT_DEFINITION_GROUP_TAG && stored.group_tag != GEOMETRY_GROUP_TAG &&
				stored.group_tag != MODEL_GROUP_TAG && !is_default_projectile_content_group(stored.group_tag) &&
				!is_default_weather_content_group(stored.group_tag) &&
				!is_default_unit_content_group(stored.group_tag))
			{
				continue;
			}
			char group[5], subgroup[5];
			snprintf(group, sizeof(group), "%4.4s", tag_to_string(stored.group_tag));
			snprintf(subgroup, sizeof(subgroup), "%4.4s", tag_to_string(stored.subgroup_tag));
			fprintf(out, "'%s' '%s': %.*s\n", group, subgroup, static_cast<int>(sizeof(stored.name)), stored.name);
		}
		dispose_pointer(bytes);
	}
	return listed;
}
