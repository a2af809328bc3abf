#include "render/render_models.h"

#include <algorithm>
#include <cstring>

#include "render/render.h"
#include "geometry.h"
#include "media.h"
#include "mesh.h"
#include "models.h"
#include "shapes.h"
#include "world.h"

#define GEOMETRY_FLAG_128 0x80 // with closest z: drawn a little nearer still

namespace {

struct cached_vertex
{
	boolean transformed;
	boolean in_visible_region;
	short_world_point3d view;
};

}

// Reset on every call: a geometry's vertices are transformed once per call.
static cached_vertex cached_vertices[MAXIMUM_VERTICES_PER_GEOMETRY];
static render_vertex *vertex_translation_table[MAXIMUM_VERTICES_PER_GEOMETRY];
static render_model_triangle *surfaces_to_render[MAXIMUM_SURFACES_PER_GEOMETRY];
static uint8 model_marks[MAXIMUM_MODELS_PER_MAP];

static const media_definition *map_media(void)
{
	return mesh_globals ? get_media_definition(mesh_globals->media_type) : NULL;
}

static void transform_geometry_vertex(view_data *view, mesh_region *region, const geometry_vertex *vertex,
	const world_point3d *origin, const world_point3d *center, const matrix3x3 *geometry_to_world, boolean reflection,
	cached_vertex *cached)
{
	const world_point3d point = {vertex->point.x, vertex->point.y, vertex->point.z};
	world_point3d world;
	transform_geometry_point_to_world(origin, center, &point, geometry_to_world, &world);
	if (reflection && mesh_is_loaded())
	{
		const world_point2d p = {world.x, world.y};
		const media_definition *media = map_media();
		if (media && sine_table && world.z > get_mesh_height(&p, _media_height))
		{
			// The waves of the terrain's media, by the vertex's cell.
			const uint32 phase = static_cast<uint32>((world.x >> WORLD_FRACTIONAL_BITS) * 377 +
				(world.y >> WORLD_FRACTIONAL_BITS) * 211) + static_cast<uint32>(view->tick_count);
			const int16 frequencies[3] = {media->wobble_phase_multiplier.i, media->wobble_phase_multiplier.j,
				media->wobble_phase_multiplier.k};
			const int16 amplitudes[3] = {media->wobble_magnitude.i, media->wobble_magnitude.j, media->wobble_magnitude.k};
			int32 offsets[3];
			for (int32 i = 0; i < 3; ++i)
			{
				const uint32 index = ((static_cast<uint32>(frequencies[i]) * phase + 32) & 0xFFFF) >> TRIG_TABLE_ANGLE_BITS;
				offsets[i] = (amplitudes[i] * sine_table[index]) >> 14;
			}
			world.x += offsets[0];
			world.y += offsets[1];
			world.z += offsets[2];
		}
	}
	transform_world_point_to_viewer_space(view, &world, &cached->view, reflection);
	const world_point2d p = {world.x, world.y};
	cached->in_visible_region = cached->view.z < -34 && point_in_visible_mesh_region(&p, region);
	cached->transformed = TRUE;
}

static render_vertex *translated_vertex(int16 vertex_index, int16 model_index)
{
	render_vertex *&vertex = vertex_translation_table[vertex_index];
	if (vertex) return vertex;
	vertex = static_cast<render_vertex *>(render_malloc(sizeof(render_vertex)));
	memset(vertex, 0, sizeof(*vertex));
	vertex->mesh_vertex = {model_index, vertex_index};
	vertex->p = cached_vertices[vertex_index].view;
	return vertex;
}

// A surface's dependency entry: a count, then that many surface indexes.
static void apply_dependencies(const geometry_definition *geometry, const geometry_tables *tables, int32 kept_count)
{
	if (!tables->dependency_list) return;
	for (int32 i = 0; i < kept_count; ++i)
	{
		render_model_triangle *triangle = surfaces_to_render[i];
		const geometry_surface *surface = &tables->surfaces[triangle->triangle_index];
		const int32 entry = surface->dependency_table_index;
		if (entry < 0 || entry >= geometry->dependency_count) continue;
		const int32 count = tables->dependency_list[entry];
		if (count <= 0 || entry + count >= geometry->dependency_count) continue;
		for (int32 k = 1; k <= count; ++k)
		{
			const int16 dependency = tables->dependency_list[entry + k];
			for (int32 j = 0; j < kept_count; ++j)
			{
				render_model_triangle *other = surfaces_to_render[j];
				if (j == i || other->triangle_index != dependency) continue;
				if (other->surface.z >= triangle->surface.z)
				{
					triangle->surface.z = static_cast<short_world_distance>(std::min<int32>(other->surface.z + 1, -1));
				}
			}
		}
	}
}

void render_geometry(view_data *view, mesh_region *region, int16 model_index, int16 geometry_index,
	const world_point3d *geometry_origin, const world_vector3d *geometry_up_vector,
	const world_vector3d *geometry_rotation_vector, const world_vector3d *geometry_scale_vector, boolean reflection,
	uint16 geometry_transparency)
{
	if (!view || !region || !view->main_surface_list) return;
	geometry_definition *geometry = get_geometry_definition(geometry_index);
	const geometry_tables *tables = get_geometry_tables(geometry_index);
	if (!geometry || !tables || !tables->surfaces || !tables->vertices || !tables->materials) return;
	const int32 vertex_count = std::min<int32>(geometry->vertex_count, MAXIMUM_VERTICES_PER_GEOMETRY);
	const int32 surface_count = std::min<int32>(geometry->surface_count, MAXIMUM_SURFACES_PER_GEOMETRY);
	if (vertex_count <= 0 || surface_count <= 0) return;
	memset(cached_vertices, 0, vertex_count * sizeof(cached_vertex));
	memset(vertex_translation_table, 0, vertex_count * sizeof(render_vertex *));

	matrix3x3 geometry_to_world, world_to_geometry;
	get_geometry_matrices(geometry_rotation_vector, geometry_up_vector, geometry_scale_vector, &geometry_to_world,
		&world_to_geometry);
	const world_point3d center = {geometry->center.x, geometry->center.y, geometry->center.z};
	world_point3d viewer;
	transform_world_point_to_geometry(geometry_origin, &center, &view->location.position, &world_to_geometry, &viewer);
	const boolean reflection_flagged = reflection && !(view->flags & _render_view_omit_media_flag);

	int32 kept = 0;
	boolean any_transparent = FALSE;
	for (int32 s = 0; s < surface_count; ++s)
	{
		geometry_surface *surface = &tables->surfaces[s];
		// Indexes out of range skip the surface rather than read outside the tables.
		if (surface->material_index < 0 || surface->material_index >= geometry->material_count) continue;
		boolean indexes_ok = TRUE;
		for (int32 c = 0; c < NUMBER_OF_SURFACE_CORNERS; ++c)
		{
			const int16 v = surface->corners[c].vertex_index;
			if (v < 0 || v >= vertex_count) indexes_ok = FALSE;
		}
		if (!indexes_ok) continue;
		const geometry_material *material = &tables->materials[surface->material_index];
		if (material->collection_index == NONE || material->bitmap_index == NONE) continue;

		const boolean double_sided = (surface->flags & _geometry_surface_no_backface_cull_flag) != 0;
		const boolean behind = point_in_plane_test(&surface->normal, surface->d, &viewer) < 0;
		if (behind && !double_sided) continue;
		boolean visible = FALSE;
		for (int32 c = 0; c < NUMBER_OF_SURFACE_CORNERS; ++c)
		{
			const int16 v = surface->corners[c].vertex_index;
			if (!cached_vertices[v].transformed)
			{
				transform_geometry_vertex(view, region, &tables->vertices[v], geometry_origin, &center, &geometry_to_world,
					reflection, &cached_vertices[v]);
			}
			if (cached_vertices[v].in_visible_region) visible = TRUE;
		}
		if (!visible) continue;
		if (double_sided)
		{
			// Renderer-only: nothing in the simulation reads this bit.
			if (behind) surface->flags |= _geometry_surface_negative_flag;
			else surface->flags &= static_cast<uint16>(~_geometry_surface_negative_flag);
		}
		const boolean reversed = (reflection ? 1 : 0) ^ ((surface->flags & _geometry_surface_negative_flag) && double_sided ? 1 : 0);

		const boolean closest = (surface->flags & _geometry_surface_uses_closest_z_flag) != 0;
		int32 z = cached_vertices[surface->corners[0].vertex_index].view.z;
		for (int32 c = 1; c < NUMBER_OF_SURFACE_CORNERS; ++c)
		{
			const int32 d = cached_vertices[surface->corners[c].vertex_index].view.z;
			z = closest ? std::max(z, d) : std::min(z, d);
		}
		if (surface->flags & _geometry_surface_under_mesh_flag) z -= MODEL_UNDER_MESH_Z_BIAS;
		if (closest && (surface->flags & GEOMETRY_FLAG_128)) z -= MODEL_CLOSEST_Z_BIAS;
		uint32 flags = reflection_flagged ? _surface_reflection_flag : 0;
		if (surface->flags & _geometry_surface_reflective_flag)
		{
			if (reflection) continue;
			flags |= _surface_media_flag;
		}
		if (z >= 0) continue;

		const uint16 transparency = std::max<uint16>(geometry_transparency, surface->transparency);
		if (transparency || (surface->flags & _geometry_surface_is_transparent_flag)) flags |= _surface_transparent_flag;
		else
		{
			const bitmap_data *bitmap = get_bitmap(material->collection_index, material->bitmap_index);
			if (bitmap && (bitmap->flags & (_bitmap_color_key_transparency_flag | _1bit_transparency_encoded_flag |
							   _4bit_transparency_encoded_flag)))
			{
				flags |= _surface_transparent_flag;
			}
		}
		if (flags & _surface_transparent_flag) any_transparent = TRUE;

		render_model_triangle *triangle =
			static_cast<render_model_triangle *>(render_malloc(sizeof(render_model_triangle)));
		memset(triangle, 0, sizeof(*triangle));
		set_surface_type(&triangle->surface, _surface_type_triangle, _surface_subtype_model_triangle);
		set_surface_flags(&triangle->surface, flags);
		triangle->surface.transparency = transparency;
		triangle->surface.z = static_cast<short_world_distance>(std::max<int32>(z, -32768));
		triangle->texture = build_bitmap_identifier(static_cast<uint32>(material->collection_index),
			static_cast<uint32>(material->bitmap_index), static_cast<uint32>(material->color_table_index) & 127u,
			reflection ? 3u : 0u);
		triangle->model_index = static_cast<uint16>(model_index);
		triangle->triangle_index = static_cast<uint16>(s);
		for (int32 c = 0; c < NUMBER_OF_SURFACE_CORNERS; ++c)
		{
			const geometry_corner *corner = &surface->corners[reversed ? NUMBER_OF_SURFACE_CORNERS - 1 - c : c];
			triangle->corners[c].vertex = translated_vertex(corner->vertex_index, model_index);
			triangle->corners[c].interpolants[0] = corner->interpolants[0];
			triangle->corners[c].interpolants[1] = corner->interpolants[1];
		}
		surfaces_to_render[kept++] = triangle;
	}

	apply_dependencies(geometry, tables, kept);
	if (any_transparent && geometry_transparency)
	{
		for (int32 i = 0; i < kept; ++i)
		{
			set_surface_flags(&surfaces_to_render[i]->surface,
				surface_flags(&surfaces_to_render[i]->surface) | _surface_transparent_flag);
		}
	}
	for (int32 i = 0; i < kept; ++i) add_surface_to_surface_list(view->main_surface_list, &surfaces_to_render[i]->surface);
}

void render_model_permutation(view_data *view, mesh_region *region, int16 model_index, int16 permutation_index,
	uint16 transparency)
{
	model_data *model = get_model_data(model_index);
	if (!view || !model) return;
	const model_definition *definition = get_model_definition(model->type);
	const model_definition_tables *model_tables = get_model_definition_tables(model->type);
	if (!definition || !model_tables || !model_tables->permutations || definition->model_permutation_count <= 0) return;
	int32 permutation = permutation_index % definition->model_permutation_count;
	if (permutation < 0) permutation += definition->model_permutation_count;
	const model_permutation_data *entry = &model_tables->permutations[permutation];

	geometry_definition *geometry = get_geometry_definition(definition->geometry_index);
	const geometry_tables *tables = get_geometry_tables(definition->geometry_index);
	if (!geometry || !tables || !tables->materials) return;
	for (int32 m = 0; m < geometry->material_count; ++m)
	{
		geometry_material *material = &tables->materials[m];
		if (material->sequence_index == NONE) continue;
		material->collection_index = entry->collection_index;
		material->color_table_index = entry->color_table_index;
		material->bitmap_index = NONE;
		const sequence_data *sequence = entry->collection_index == NONE ? NULL
			: get_sequence(entry->collection_index, material->sequence_index);
		if (!sequence) continue;
		const int32 ticks_per_frame = std::max<int32>(sequence->ticks_per_frame, 1); // 0 would divide by zero
		int32 frame = (model_index + view->tick_count + m) / ticks_per_frame;
		if (m < MODEL_PERMUTATION_SIZE) frame += entry->permutations[m];
		const int16 bitmap_index = get_sequence_bitmap_index(entry->collection_index, material->sequence_index, 0,
			static_cast<int16>(frame & 0x7FFF), NULL, NULL);
		const bitmap_data *bitmap = bitmap_index == NONE ? NULL : get_bitmap(entry->collection_index, bitmap_index);
		if (bitmap && (bitmap->flags & _power_of_two_flag)) material->bitmap_index = bitmap_index;
	}

	render_geometry(view, region, model_index, definition->geometry_index, &model->location, &model->up_vector,
		&model->forward_vector, &model->scale_vector, FALSE, transparency);
	if (!(view->flags & _render_view_omit_reflections_flag) && (model->flags & _model_has_reflection_flag))
	{
		const media_definition *media = map_media();
		const uint32 reflection_transparency = media ? media->reflection_transparency : 0;
		const uint32 product = ((65535u - transparency) * (65535u - reflection_transparency)) >> 16;
		render_geometry(view, region, model_index, definition->geometry_index, &model->location, &model->up_vector,
			&model->forward_vector, &model->scale_vector, TRUE, static_cast<uint16>(65535u - product));
	}
}

void build_models_surface_list(view_data *view, mesh_region *region)
{
	if (!view || !region || !region->spans || !mesh_is_loaded()) return;
	memset(model_marks, 0, sizeof(model_marks));
	for (int32 y = region->y0; y < region->y1; ++y)
	{
		const mesh_span *span = &region->spans[y - region->y0];
		for (int32 x = span->x0; x < span->x1; ++x)
		{
			const int16 model_index = get_model_index_from_mesh_cell(x, y);
			if (model_index < 0 || model_index >= MAXIMUM_MODELS_PER_MAP || model_marks[model_index]) continue;
			model_marks[model_index] = 1;
			const model_data *model = get_model_data(model_index);
			if (!model) continue;
			render_model_permutation(view, region, model_index, model->model_permutation, model->transparency);
			if (model->desired_model_permutation != model->model_permutation)
			{
				// The permutation being faded to comes in as the cross-fade runs.
				const uint32 faded = 65535u - (((65535u - model->transparency) * model->permutation_crossfade_amount) >> 16);
				render_model_permutation(view, region, model_index, model->desired_model_permutation,
					static_cast<uint16>(faded));
			}
		}
	}
}
