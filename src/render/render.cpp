#include "render/render.h"

#include <cstdlib>

#include "error_manager.h"
#include "mesh.h"

static render_test_hooks_data render_hooks;

// The per-frame arena: reset by every render_scene.
static uint8 *render_memory = NULL;
static int32 render_memory_used = 0;

render_test_hooks_data *get_render_test_hooks(void)
{
	return &render_hooks;
}

void reset_render_test_hooks(void)
{
	clear_least_call_log(&render_hooks.calls);
}

#define LEAST(...) least_call(&render_hooks.calls, __VA_ARGS__)

void initialize_render(void)
{
	LEAST("initialize_render");
}

boolean initialize_render_for_new_map(void)
{
	LEAST("initialize_render_for_new_map");
	return TRUE;
}

void dispose_render_from_old_map(void)
{
	LEAST("dispose_render_from_old_map");
}

void render_scene(view_data *view)
{
	LEAST("render_scene", view);
	render_memory_used = 0;
}

void *render_malloc(int32 size)
{
	if (size < 0) return NULL;
	if (!render_memory)
	{
		render_memory = static_cast<uint8 *>(calloc(1, RENDER_MEMORY_SIZE));
		if (!render_memory)
		{
			error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate #%d bytes for render memory.",
				RENDER_MEMORY_SIZE);
			return NULL;
		}
	}

	// Keep every block aligned for any record; in 64 bits, so that a size near
	// 2 GB cannot wrap round to a small block.
	const int64 rounded = (static_cast<int64>(size) + 7) & ~static_cast<int64>(7);
	if (rounded > static_cast<int64>(RENDER_MEMORY_SIZE) - render_memory_used)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "Out of render memory!");
		return NULL;
	}
	void *block = render_memory + render_memory_used;
	render_memory_used += static_cast<int32>(rounded);
	return block;
}

void register_postrasterization_effect(int16 priority, postrasterization_effect_proc procedure)
{
	LEAST("register_postrasterization_effect", priority, reinterpret_cast<void *>(procedure));
}

void register_prerender_effect(int16 priority, prerender_effect_proc procedure)
{
	LEAST("register_prerender_effect", priority, reinterpret_cast<void *>(procedure));
}

void initialize_media_coverage_region(const uint32 *media_coverage_region, int32 media_coverage_region_size)
{
	LEAST("initialize_media_coverage_region", media_coverage_region, media_coverage_region_size);
}

void dispose_media_coverage_region(void)
{
	LEAST("dispose_media_coverage_region");
}

boolean mesh_texture_pixel_is_media(int32 x, int32 y)
{
	return mesh_coverage_texel_is_media(x, y);
}

// Cells lie between vertex rows and columns, so rows and spans are half-open.
boolean point_in_visible_mesh_region(const world_point2d *point, const mesh_region *region)
{
	LEAST("point_in_visible_mesh_region", point, region);
	if (!point || !region || !region->spans) return FALSE;
	const int32 column = point->x >> WORLD_FRACTIONAL_BITS;
	const int32 row = point->y >> WORLD_FRACTIONAL_BITS;
	if (row < region->y0 || row >= region->y1) return FALSE;
	const int16 *span = region->spans[row - region->y0];
	return column >= span[0] && column < span[1] ? TRUE : FALSE;
}

short_world_point3d *transform_world_point_to_viewer_space(const view_data *view, const world_point3d *world_point,
	short_world_point3d *result, boolean reflected)
{
	LEAST("transform_world_point_to_viewer_space", view, world_point, result, reflected);
	if (result) *result = short_world_point3d{0, 0, 0};
	return result;
}

void quad_into_triangles(view_data *view, render_quad_data *data, render_surface_list *surfaces)
{
	LEAST("quad_into_triangles", view, data, surfaces);
}

void build_bitmap_surface_rectangle(view_data *view, bitmap_surface_rectangle_data *data,
	render_surface_list *surfaces)
{
	LEAST("build_bitmap_surface_rectangle", view, data, surfaces);
}

void build_extended_bitmap_surface_triangles(const bitmap_instance_data *instance,
	const short_world_point3d *viewer_point, const world_vector3d *delta, view_data *view,
	render_surface_list *surfaces, const extended_bitmap_surface_data *parameters)
{
	LEAST("build_extended_bitmap_surface_triangles", instance, viewer_point, delta, view, surfaces, parameters);
}

void rasterize_permanent_overlay(const permanent_overlay_data *overlay)
{
	LEAST("rasterize_permanent_overlay", overlay);
}

void rasterize_volatile_shadow_map_overlay(int16 kind, int16 intensity, const uint8 *map, int32 bytes_per_row,
	int32 width, int32 height, world_distance x, world_distance y)
{
	LEAST("rasterize_volatile_shadow_map_overlay", kind, intensity, map, bytes_per_row, width, height, x, y);
}
