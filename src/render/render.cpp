#include "render/render.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "error_manager.h"
#include "mesh.h"
#include "media.h"
#include "shapes.h"
#include "world.h"
#include "screen.h"
#include "local_projectiles.h"
#include "interface.h"
#include "render/radix_sort.h"
#include "render/render_objects.h"
#include "render/render_models.h"
#include "render/render_wireframe.h"
#include "connectors.h"
#include "render/render_world_builders.h"

static render_test_hooks_data render_hooks;

render_test_hooks_data *get_render_test_hooks(void)
{
	return &render_hooks;
}

void reset_render_test_hooks(void)
{
	memset(&render_hooks, 0, sizeof(render_hooks));
}

/* ---------- globals */

namespace {

struct render_globals_data
{
	boolean initialized;
	render_surface_list *last_surface_list;
	view_data *last_view;
	int16 rasterizer_code;
};

}

static uint8 *render_memory_pool = NULL;
static uint8 *top_of_render_memory_pool = NULL;
static render_globals_data render_globals_storage;
static render_globals_data *render_globals = &render_globals_storage;

static pre_effect pre_effects[MAXIMUM_NUMBER_OF_REGISTERED_PRE_EFFECTS];
static int16 number_of_registered_pre_effects = 0;

mesh_region *last_region = NULL;
int32 last_ticks = 0;

surface_category surface_categories[NUMBER_OF_SURFACE_CATEGORIES] = {
	{"Media", offsetof(render_triangle, detail), 0x3FFFFE00, FALSE, NULL, 0},
	{"Mesh", offsetof(render_triangle, detail), 0x3FFFFE00, FALSE, NULL, 0},
	{"Reflective Objects", RENDER_TEXTURE_KEY_OFFSET, 0xFFFFFFFF, FALSE, NULL, 0},
	{"Opaque Objects", RENDER_TEXTURE_KEY_OFFSET, 0xFFFFFFFF, FALSE, NULL, 0},
	{"Reflections", -1, 0, FALSE, NULL, 0},
	{"Text Rectangles", -1, 0, FALSE, NULL, 0},
	{"Translucent Objects", -1, 0, FALSE, NULL, 0},
	{"Discarded Surfaces", -1, 0, FALSE, NULL, 0}};

/* ---------- the arena */

static void allocate_render_memory_pool(void)
{
	if (render_memory_pool) return;
	render_memory_pool = static_cast<uint8 *>(calloc(1, RENDER_MEMORY_POOL_SIZE));
	if (!render_memory_pool)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "unable to allocate %d bytes for render_memory_pool",
			RENDER_MEMORY_POOL_SIZE);
		return;
	}
	top_of_render_memory_pool = render_memory_pool;
}

static void reset_render_memory_pool(void)
{
	allocate_render_memory_pool();
	top_of_render_memory_pool = render_memory_pool;
}

// The error manager ends the program with the error's own code (8) before the
// exit below, as it does for every fatal error; the exit is only its backstop.
[[noreturn]] static void out_of_render_memory(void)
{
	error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "Out of render memory!");
	exit(-1);
}

void *render_malloc(int32 size)
{
	if (size < 0) return NULL;
	allocate_render_memory_pool();
	if (!render_memory_pool) out_of_render_memory();

	// In 64 bits, so that a size near 2 GB cannot wrap round to a small block.
	const int64 rounded = (static_cast<int64>(size) + sizeof(void *) - 1) & ~static_cast<int64>(sizeof(void *) - 1);
	const int64 used = top_of_render_memory_pool - render_memory_pool;
	if (used + rounded >= RENDER_MEMORY_POOL_SIZE) out_of_render_memory();
	void *block = top_of_render_memory_pool;
	top_of_render_memory_pool += rounded;
	return block;
}

void *render_temporary(int32 size)
{
	allocate_render_memory_pool();
	if (!render_memory_pool || size < 0) out_of_render_memory();
	const int64 rounded = (static_cast<int64>(size) + sizeof(void *) - 1) & ~static_cast<int64>(sizeof(void *) - 1);
	const int64 used = top_of_render_memory_pool - render_memory_pool;
	if (RENDER_MEMORY_POOL_SIZE - rounded < used) out_of_render_memory();
	return render_memory_pool + RENDER_MEMORY_POOL_SIZE - rounded;
}

/* ---------- life cycle */

// Zeroed, with guard bytes before and after; the pointer is past the first guard.
static uint8 *allocate_volatile_map(const char *name)
{
	uint8 *block = static_cast<uint8 *>(calloc(1, VOLATILE_MAP_ALLOCATION));
	if (!block)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "unable to allocate %d bytes for volatile %s map.",
			VOLATILE_MAP_ALLOCATION, name);
		return NULL;
	}
	return block + VOLATILE_MAP_GUARD;
}

static void initialize_scene(void)
{
	volatile_coverage_map = static_cast<uint8 *>(calloc(1, 2 * volatile_coverage_map_size));
	if (!volatile_coverage_map)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "unable to allocate %d bytes for volatile coverage map.",
			volatile_coverage_map_size);
		return;
	}
	volatile_coverage_list = volatile_coverage_map + volatile_coverage_map_size;
	volatile_coverage_list_size = 0;

	volatile_color_map = allocate_volatile_map("color");
	volatile_shadow_map = allocate_volatile_map("shadow");
	if (!volatile_color_map || !volatile_shadow_map) return;

	register_postrasterization_effect(3, rasterize_flag_contesting_ranges);
}

void initialize_render(void)
{
	allocate_render_memory_pool();
	render_globals->initialized = FALSE;
	if (!volatile_color_map) initialize_scene();
	initialize_rasterizer();
	initialize_local_sprites();
}

boolean initialize_render_for_new_map(void)
{
	initialize_local_sprites_for_new_map();
	if (!render_globals) return FALSE;
	render_globals->initialized = FALSE;
	render_globals->last_surface_list = NULL;
	render_globals->last_view = NULL;
	last_region = NULL;
	if (!initialize_rasterizer_for_new_map()) return FALSE;
	render_globals->initialized = TRUE;
	render_globals->rasterizer_code = active_screen.rasterizer_code;
	return TRUE;
}

void dispose_render_from_old_map(void)
{
	if (!render_globals || !render_globals->initialized) return;
	render_globals->initialized = FALSE;
	dispose_rasterizer_from_old_map();
}

view_data *last_render_view(void)
{
	return render_globals && render_globals->initialized ? render_globals->last_view : NULL;
}

render_surface_list *last_render_surface_list(void)
{
	return render_globals ? render_globals->last_surface_list : NULL;
}

/* ---------- the view */

static int16 truncate_to_int16(double value)
{
	if (!(value > -32768.0 && value < 32768.0)) return value > 0 ? 32767 : -32768;
	return static_cast<int16>(value);
}

void update_view_data(view_data *view)
{
	const int32 width = view->screen->width;
	const int32 height = view->screen->height;
	view->screen_width = static_cast<int16>(width);
	view->screen_height = static_cast<int16>(height);
	view->half_screen_width = static_cast<int16>(width >> 1);
	view->half_screen_height = static_cast<int16>(height >> 1);

	const float scale = static_cast<float>(view->half_screen_width) / view->tan_half_fov + 0.5f;
	view->world_to_screen_x = view->world_to_screen_y = truncate_to_int16(scale);

	const float tv = view->tan_half_fov * static_cast<float>(height) / static_cast<float>(width);
	view->left = (2.0f * view->horizontal_offset - 1.0f) * view->tan_half_fov;
	view->right = (2.0f * view->horizontal_offset + 1.0f) * view->tan_half_fov;
	view->bottom = (2.0f * view->vertical_offset - 1.0f) * tv;
	view->top = (2.0f * view->vertical_offset + 1.0f) * tv;

	build_rotation_matrix(&view->world_to_viewer_rotation, view->location.yaw, view->location.pitch);
	view->x0 = static_cast<int16>(view->location.position.x >> WORLD_FRACTIONAL_BITS);
	view->y0 = static_cast<int16>(view->location.position.y >> WORLD_FRACTIONAL_BITS);

	const int16 h = truncate_to_int16(static_cast<float>(width) * view->horizontal_offset + 0.5f);
	const int16 v = truncate_to_int16(static_cast<float>(height) * view->vertical_offset + 0.5f);
	view->xk = view->clip_right = static_cast<int16>(view->half_screen_width + h);
	view->clip_left = static_cast<int16>(view->half_screen_width - h);
	view->yk = view->clip_top = static_cast<int16>(view->half_screen_height + v);
	view->clip_bottom = static_cast<int16>(view->half_screen_height - v);
}

// A view that would divide by zero draws nothing.
static boolean view_is_drawable(const view_data *view)
{
	return view->screen && view->screen->width >= 1 && view->screen->height >= 1 && std::isfinite(view->tan_half_fov) &&
		view->tan_half_fov > 0.0f && std::isfinite(view->vertical_offset) && std::isfinite(view->horizontal_offset);
}

static void clear_surface_categories(void)
{
	for (surface_category &category : surface_categories)
	{
		category.surfaces = NULL;
		category.count = 0;
		category.sorted = FALSE;
	}
}

void render_scene(view_data *view)
{
	reset_render_memory_pool();
	clear_surface_categories();
	if (!view || !render_memory_pool) return;
	render_hooks.frames_rendered += 1;
	if (!view_is_drawable(view))
	{
		last_region = NULL;
		return;
	}

	update_view_data(view);
	const view_data *last = render_globals ? render_globals->last_view : NULL;
	if (!last || last->screen_width != view->screen_width || last->screen_height != view->screen_height ||
		last->location.position.x != view->location.position.x ||
		last->location.position.y != view->location.position.y ||
		last->location.position.z != view->location.position.z || last->location.yaw != view->location.yaw ||
		last->location.pitch != view->location.pitch)
	{
		view->flags |= _render_view_moved_flag;
	}
	else
	{
		view->flags &= ~static_cast<uint32>(_render_view_moved_flag);
	}

	// Before the copy: the builders work on the copy.
	if (view->rasterizer_code != 0) view->flags |= _render_view_screen_clipping_flag;
	view_data *copy = static_cast<view_data *>(render_malloc(sizeof(view_data)));
	*copy = *view;
	if (render_globals) render_globals->last_view = copy;

	render_surface_list *surfaces = static_cast<render_surface_list *>(render_malloc(sizeof(render_surface_list)));
	new_surface_list(surfaces);
	build_scene(copy, surfaces);
	postprocess_scene(copy, surfaces);
	rasterize_scene(copy, surfaces);
	if (render_globals) render_globals->last_surface_list = surfaces;

	for (int32 i = 0; i < NUMBER_OF_SURFACE_CATEGORIES; ++i) render_hooks.surfaces_per_category[i] += surface_categories[i].count;
}

/* ---------- viewer space */

static inline int32 rotate_component(const matrix3x3 *m, int32 i, int32 dx, int32 dy, int32 dz)
{
	return static_cast<int32>((static_cast<int64>(m->n[0][i]) * dx + static_cast<int64>(m->n[1][i]) * dy +
		static_cast<int64>(m->n[2][i]) * dz) >> 14);
}

static inline boolean fits_int16(int32 value)
{
	return value >= -32768 && value <= 32767;
}

short_world_point3d *transform_world_point_to_viewer_space(const view_data *view, const world_point3d *world_point,
	short_world_point3d *result, boolean reflected)
{
	if (!view || !world_point || !result) return result;
	const world_point3d *viewer = &view->location.position;
	const int32 dx = world_point->x - viewer->x;
	const int32 dy = world_point->y - viewer->y;
	int32 dz = world_point->z - viewer->z;
	int32 mirrored_dz = dz;
	boolean above_media = FALSE;
	if (reflected && mesh_is_loaded())
	{
		const world_point2d p = {world_point->x, world_point->y};
		const int32 media = get_mesh_height(&p, _media_height);
		mirrored_dz = 2 * media - world_point->z - viewer->z;
		above_media = world_point->z > media;
	}
	const matrix3x3 *m = &view->world_to_viewer_rotation;
	const int32 xz_dz = reflected && above_media ? mirrored_dz : dz;
	result->x = static_cast<short_world_distance>(rotate_component(m, 0, dx, dy, xz_dz));
	result->y = static_cast<short_world_distance>(rotate_component(m, 1, dx, dy, reflected ? mirrored_dz : dz));
	result->z = static_cast<short_world_distance>(rotate_component(m, 2, dx, dy, xz_dz));
	return result;
}

/* ---------- the visible region */

static void compute_frustum_polygon(const view_data *view, world_point2d *points)
{
	const world_point3d *viewer = &view->location.position;
	const float slopes[4][2] = {{view->left, view->top}, {view->right, view->top}, {view->left, view->bottom},
		{view->right, view->bottom}};
	world_point2d ground[NUMBER_OF_PROJECTED_POINTS];
	ground[0] = {viewer->x, viewer->y};
	const matrix3x3 *m = &view->world_to_viewer_rotation;
	const int32 min_height = mesh_globals ? mesh_globals->min_cell_height : 0;
	for (int32 i = 0; i < 4; ++i)
	{
		const int32 v[3] = {static_cast<int32>(slopes[i][0] * 16384.0f), static_cast<int32>(slopes[i][1] * 16384.0f),
			-16384};
		int32 ray[3];
		for (int32 j = 0; j < 3; ++j)
		{
			ray[j] = static_cast<int32>(
				((static_cast<int64>(m->n[j][0]) * v[0] + static_cast<int64>(m->n[j][1]) * v[1] +
					static_cast<int64>(m->n[j][2]) * v[2]) >> 14) * 2);
		}
		int64 t16 = 65536;
		if (ray[2] != 0)
		{
			const int64 t = (static_cast<int64>(min_height - viewer->z) << 16) / ray[2];
			if (t > 0 && t < 65536) t16 = t;
		}
		ground[i + 1].x = static_cast<world_distance>(viewer->x + ((ray[0] * t16) >> 16));
		ground[i + 1].y = static_cast<world_distance>(viewer->y + ((ray[1] * t16) >> 16));
	}
	for (int32 i = 0; i < NUMBER_OF_PROJECTED_POINTS; ++i)
	{
		for (int32 k = 0; k < 4; ++k)
		{
			points[i * 4 + k].x = ground[i].x + ((k & 1) ? 1536 : -1536);
			points[i * 4 + k].y = ground[i].y + ((k & 2) ? 1536 : -1536);
		}
	}
}

static inline int64 cross2d(const world_point2d &o, const world_point2d &a, const world_point2d &b)
{
	return static_cast<int64>(a.x - o.x) * (b.y - o.y) - static_cast<int64>(a.y - o.y) * (b.x - o.x);
}

static inline int64 distance2(const world_point2d &a)
{
	return static_cast<int64>(a.x) * a.x + static_cast<int64>(a.y) * a.y;
}

// Graham scan about the lowest point; returns the corner count.
static int32 convex_hull(world_point2d *points, int32 count, world_point2d *hull)
{
	int32 pivot = 0;
	for (int32 i = 1; i < count; ++i)
	{
		if (points[i].y < points[pivot].y || (points[i].y == points[pivot].y && points[i].x < points[pivot].x)) pivot = i;
	}
	std::swap(points[0], points[pivot]);
	const world_point2d origin = points[0];
	for (int32 i = 0; i < count; ++i)
	{
		points[i].x -= origin.x;
		points[i].y -= origin.y;
	}
	const world_point2d zero = {0, 0};
	// angle_sort: selection by cross product, the farther of collinear points first.
	for (int32 i = 1; i < count; ++i)
	{
		int32 best = i;
		for (int32 j = i + 1; j < count; ++j)
		{
			const int64 c = cross2d(zero, points[j], points[best]);
			if (c > 0 || (c == 0 && distance2(points[j]) > distance2(points[best]))) best = j;
		}
		std::swap(points[i], points[best]);
	}
	// angle_sort_unique: keep the first (farthest) of each direction.
	int32 unique = 1;
	for (int32 i = 1; i < count; ++i)
	{
		if (points[i].x == 0 && points[i].y == 0) continue;
		if (unique > 1 && cross2d(zero, points[unique - 1], points[i]) == 0) continue;
		points[unique++] = points[i];
	}
	int32 top = 0;
	for (int32 i = 0; i < unique; ++i)
	{
		while (top >= 2 && cross2d(hull[top - 2], hull[top - 1], points[i]) <= 0) top -= 1;
		hull[top++] = points[i];
	}
	for (int32 i = 0; i < top; ++i)
	{
		hull[i].x = (hull[i].x + origin.x) >> WORLD_FRACTIONAL_BITS;
		hull[i].y = (hull[i].y + origin.y) >> WORLD_FRACTIONAL_BITS;
	}
	return top;
}

static world_point2d polygon_center(const view_data *view, const world_point2d *corners, int32 count)
{
	int64 sx = 0, sy = 0, area = 0;
	for (int32 i = 0; i < count; ++i)
	{
		const world_point2d &a = corners[i];
		const world_point2d &b = corners[(i + 1) % count];
		const int64 c = static_cast<int64>(a.x) * b.y - static_cast<int64>(a.y) * b.x;
		sx += (a.x + b.x) * c;
		sy += (a.y + b.y) * c;
		area += c;
	}
	world_point2d center = {view->x0, view->y0};
	if (area != 0)
	{
		center.x = static_cast<world_distance>(sx / (3 * area));
		center.y = static_cast<world_distance>(sy / (3 * area));
	}
	const int32 dx = center.x - view->x0, dy = center.y - view->y0;
	const uint32 d = isqrt(static_cast<uint32>(dx * dx + dy * dy));
	if (d > 30)
	{
		center.x = view->x0 + dx * 30 / static_cast<int32>(d);
		center.y = view->y0 + dy * 30 / static_cast<int32>(d);
	}
	if (count > 0)
	{
		int32 min_x = corners[0].x, max_x = corners[0].x, min_y = corners[0].y, max_y = corners[0].y;
		for (int32 i = 1; i < count; ++i)
		{
			min_x = std::min<int32>(min_x, corners[i].x);
			max_x = std::max<int32>(max_x, corners[i].x);
			min_y = std::min<int32>(min_y, corners[i].y);
			max_y = std::max<int32>(max_y, corners[i].y);
		}
		if (center.x - 30 < min_x) center.x = min_x + 30;
		if (center.x + 30 > max_x) center.x = max_x - 30;
		if (center.y - 30 < min_y) center.y = min_y + 30;
		if (center.y + 30 > max_y) center.y = max_y - 30;
	}
	return center;
}

// Narrow or short maps clamp the origin to 0 rather than going negative.
static int16 region_origin(int32 center, int32 mesh_size)
{
	int32 origin = std::max<int32>(center - 32, 0) & ~1;
	origin = std::min<int32>(origin, mesh_size - MAXIMUM_MESH_REGION_WIDTH);
	return static_cast<int16>(std::max<int32>(origin, 0));
}

namespace {

struct span_builder
{
	mesh_region *region;
	mesh_span *spans; // 64 rows from original_y0
	int32 last_column, last_row; // inclusive, on the mesh
};

}

static void extend_spans(span_builder *builder, int32 column, int32 row)
{
	mesh_region *region = builder->region;
	if (row < region->original_y0 || row > builder->last_row) return;
	if (column > builder->last_column) column = builder->last_column;
	if (column < region->original_x0) column = region->original_x0;
	mesh_span *span = &builder->spans[row - region->original_y0];
	span->x0 = static_cast<int16>(std::min<int32>(span->x0, column));
	span->x1 = static_cast<int16>(std::max<int32>(span->x1, column));
	region->y0 = static_cast<int16>(std::min<int32>(region->y0, row));
	region->y1 = static_cast<int16>(std::max<int32>(region->y1, row));
	region->x0 = static_cast<int16>(std::min<int32>(region->x0, column));
	region->x1 = static_cast<int16>(std::max<int32>(region->x1, column));
}

// Integer Bresenham over cells, both ends included.
static void DDA(span_builder *builder, world_point2d a, world_point2d b)
{
	const int32 dx = std::abs(b.x - a.x), dy = -std::abs(b.y - a.y);
	const int32 sx = a.x < b.x ? 1 : -1, sy = a.y < b.y ? 1 : -1;
	int32 error = dx + dy;
	for (;;)
	{
		extend_spans(builder, a.x, a.y);
		if (a.x == b.x && a.y == b.y) break;
		const int32 e2 = 2 * error;
		if (e2 >= dy)
		{
			error += dy;
			a.x += sx;
		}
		if (e2 <= dx)
		{
			error += dx;
			a.y += sy;
		}
	}
}

static void inflate_region(mesh_region *region)
{
	const int32 rows = region->y1 - region->y0 + 1;
	mesh_span original[MAXIMUM_MESH_REGION_WIDTH];
	memcpy(original, region->spans, rows * sizeof(mesh_span));
	for (int32 r = 0; r < rows; ++r)
	{
		if (original[r].x0 > original[r].x1) continue;
		const int16 x0 = static_cast<int16>(std::max<int32>(original[r].x0 - 2, region->x0));
		const int16 x1 = static_cast<int16>(std::min<int32>(original[r].x1 + 2, region->x1));
		for (int32 k = std::max<int32>(r - 2, 0); k <= std::min<int32>(r + 2, rows - 1); ++k)
		{
			mesh_span *span = &region->spans[k];
			span->x0 = std::min(span->x0, x0);
			span->x1 = std::max(span->x1, x1);
		}
	}
}

static render_vertex *build_region_vertex(view_data *view, int32 column, int32 row)
{
	const mesh_cell *cell = get_mesh_cell(column, row);
	int32 height = cell->height;
	world_point3d p = {column << WORLD_FRACTIONAL_BITS, row << WORLD_FRACTIONAL_BITS, 0};
	const boolean models_dont_limit = (mesh_globals->header->flags & _mesh_models_dont_limit_rendering_flag) != 0;
	if (!(view->flags & _render_view_omit_media_flag) && (cell->flags & _mesh_vertex_is_media_flag) &&
		(!models_dont_limit || cell->model_index == NONE))
	{
		height = cell->media_height;
		if (cell->flags & _mesh_vertex_is_animated_media_flag)
		{
			const media_definition *media = get_media_definition(mesh_globals->media_type);
			if (media && sine_table)
			{
				// In uint32: the product passes 31 bits, and only the low 16 are used.
				const uint32 phase = static_cast<uint32>(column * 377 + row * 211) + static_cast<uint32>(view->tick_count);
				int32 offsets[3];
				for (int32 i = 0; i < 3; ++i)
				{
					const int16 frequency = i == 0 ? media->wobble_phase_multiplier.i
						: i == 1 ? media->wobble_phase_multiplier.j : media->wobble_phase_multiplier.k;
					const int16 amplitude = i == 0 ? media->wobble_magnitude.i
						: i == 1 ? media->wobble_magnitude.j : media->wobble_magnitude.k;
					const uint32 index = ((static_cast<uint32>(frequency) * phase + 32) & 0xFFFF) >> 6;
					offsets[i] = (amplitude * sine_table[index]) >> 14;
				}
				p.x += offsets[0];
				p.y += offsets[1];
				height += offsets[2];
			}
		}
	}
	p.z = height;

	const world_point3d *viewer = &view->location.position;
	const int32 dx = p.x - viewer->x, dy = p.y - viewer->y, dz = p.z - viewer->z;
	const matrix3x3 *m = &view->world_to_viewer_rotation;
	const int32 x = rotate_component(m, 0, dx, dy, dz);
	const int32 y = rotate_component(m, 1, dx, dy, dz);
	const int32 z = rotate_component(m, 2, dx, dy, dz);
	if (!fits_int16(x) || !fits_int16(y) || !fits_int16(z)) return NULL;

	render_vertex *vertex = static_cast<render_vertex *>(render_malloc(sizeof(render_vertex)));
	vertex->flags = 0;
	vertex->mesh_vertex = {static_cast<int16>(column), static_cast<int16>(row)};
	vertex->p = {static_cast<short_world_distance>(x), static_cast<short_world_distance>(y),
		static_cast<short_world_distance>(z)};
	vertex->screen = {0, 0};
	clip_affine_vertex_to_all_planes(view, vertex);
	return vertex;
}

mesh_region *build_mesh_region(view_data *view)
{
	mesh_region *region = static_cast<mesh_region *>(render_malloc(sizeof(mesh_region)));
	memset(region, 0, sizeof(*region));
	mesh_span *spans = static_cast<mesh_span *>(render_malloc(MAXIMUM_MESH_REGION_WIDTH * sizeof(mesh_span)));
	region->spans = spans;
	for (int32 i = 0; i < MAXIMUM_MESH_REGION_WIDTH; ++i) spans[i] = {32767, -32768};
	if (!mesh_is_loaded() || mesh_globals->mesh_width < 1 || mesh_globals->mesh_height < 1) return region;

	world_point2d points[MAXIMUM_FRUSTUM_CORNERS];
	compute_frustum_polygon(view, points);
	region->frustum_corner_count =
		static_cast<int16>(convex_hull(points, MAXIMUM_FRUSTUM_CORNERS, region->frustum_corners));
	const world_point2d center = polygon_center(view, region->frustum_corners, region->frustum_corner_count);
	region->original_x0 = region_origin(center.x, mesh_globals->mesh_width);
	region->original_y0 = region_origin(center.y, mesh_globals->mesh_height);

	span_builder builder = {region, spans,
		std::min<int32>(region->original_x0 + MAXIMUM_MESH_REGION_WIDTH - 1, mesh_globals->mesh_width - 1),
		std::min<int32>(region->original_y0 + MAXIMUM_MESH_REGION_WIDTH - 1, mesh_globals->mesh_height - 1)};
	region->y0 = region->x0 = 32767;
	region->y1 = region->x1 = -32768;
	for (int32 i = 0; i < region->frustum_corner_count; ++i)
	{
		DDA(&builder, region->frustum_corners[i], region->frustum_corners[(i + 1) % region->frustum_corner_count]);
	}
	if (region->y1 < region->y0)
	{
		region->y0 = region->y1 = region->x0 = region->x1 = 0;
		return region;
	}
	region->spans = spans + (region->y0 - region->original_y0);

	for (int32 row = region->y0; row <= region->y1; ++row)
	{
		mesh_span *span = &region->spans[row - region->y0];
		const int32 first = span->x0, last = span->x1;
		*span = {32767, -32768};
		for (int32 column = first; column <= last; ++column)
		{
			render_vertex *vertex = build_region_vertex(view, column, row);
			if (!vertex) continue;
			*mesh_region_vertex_slot(region, column, row) = vertex;
			boolean counts = !(vertex->flags & (_vertex_out_left_flag | _vertex_out_right_flag | _vertex_out_top_flag |
				_vertex_discarded_flag));
			if (!counts && (mesh_globals->header->flags & _mesh_models_dont_limit_rendering_flag) &&
				get_mesh_cell(column, row)->model_index != NONE)
			{
				counts = TRUE;
			}
			if (counts)
			{
				span->x0 = static_cast<int16>(std::min<int32>(span->x0, column));
				span->x1 = static_cast<int16>(std::max<int32>(span->x1, column));
			}
		}
	}
	inflate_region(region);
	return region;
}

boolean point_in_visible_mesh_region(const world_point2d *point, const mesh_region *region)
{
	if (!point || !region || !region->spans) return FALSE;
	const int32 column = point->x >> WORLD_FRACTIONAL_BITS;
	const int32 row = point->y >> WORLD_FRACTIONAL_BITS;
	if (row < region->y0 || row >= region->y1) return FALSE;
	const mesh_span *span = &region->spans[row - region->y0];
	return column >= span->x0 && column < span->x1 ? TRUE : FALSE;
}

/* ---------- the scene */

void build_scene(view_data *view, render_surface_list *surfaces)
{
	mesh_region *region = build_mesh_region(view);
	view->region = region;
	view->region_x0 = region->x0;
	view->region_y0 = region->y0;
	last_region = region;
	view->main_surface_list = surfaces;
	view->shadow_map_overlays = view->light_map_overlays = NULL;

	if (!(view->flags & _render_view_omit_rasterization_effects_flag))
	{
		for (int32 i = 0; i < number_of_registered_pre_effects; ++i)
		{
			surfaces->override_precise_z = pre_effects[i].priority;
			pre_effects[i].procedure(view, region, surfaces);
		}
		surfaces->override_precise_z = 0;
	}

	build_media_local_projectile_effects(view, region);
	build_particle_system_splashes(view, region);
	build_mesh_effect_surface_list(view, region);
	build_lightning_surface_list(view, region);
	build_connector_surface_list(view, region);
	build_local_projectiles_surface_list(view, region);
	if (mesh_globals && mesh_globals->header && (mesh_globals->header->flags & _mesh_can_catch_fire_flag))
	{
		build_mirror_groups_surface_list(view, region);
	}
	if (!(view->flags & _render_view_omit_objects_flag)) build_objects_surface_list(view, region);
	if (!(view->flags & _render_view_omit_models_flag)) build_models_surface_list(view, region);
	build_mesh_surface_list(view, region);

	if (!(view->flags & _render_view_moved_flag) && view->tick_count == last_ticks) return;
	build_volatile_maps(view, region);
	rasterize_shadow_map_overlays(view->shadow_map_overlays, _shadow_map_overlay);
	rasterize_shadow_map_overlays(view->light_map_overlays, _light_map_overlay);
	if (!(view->flags & _render_view_omit_models_flag)) rasterize_visible_animating_shadows(region);
	last_ticks = view->tick_count;
}

/* ---------- surface lists */

void new_surface_list(render_surface_list *list)
{
	list->first_surface = list->last_surface = NULL;
	list->surface_count = 0;
	list->override_precise_z = 0;
}

void add_surface_to_surface_list(render_surface_list *list, render_surface *surface)
{
	if (list->override_precise_z != 0)
	{
		surface->precise_z = list->override_precise_z;
	}
	else if (!(surface_flags(surface) & _surface_precise_z_flag))
	{
		surface->precise_z = static_cast<world_distance>(surface->z) * 16384;
	}
	surface->previous_surface = list->last_surface;
	surface->next_surface = NULL;
	if (list->last_surface) list->last_surface->next_surface = surface;
	else list->first_surface = surface;
	list->last_surface = surface;
	list->surface_count += 1;
}

void register_prerender_effect(int32 priority, prerender_effect_proc procedure)
{
	// A second start-up in one process registers nothing twice.
	for (int32 i = 0; i < number_of_registered_pre_effects; ++i)
	{
		if (pre_effects[i].procedure == procedure) return;
	}
	if (number_of_registered_pre_effects >= MAXIMUM_NUMBER_OF_REGISTERED_PRE_EFFECTS)
	{
		log_message(nullptr, NONE, "### pre-render effect with priority %d refused: the table holds %d", priority,
			MAXIMUM_NUMBER_OF_REGISTERED_PRE_EFFECTS);
		return;
	}
	pre_effects[number_of_registered_pre_effects].priority = priority;
	pre_effects[number_of_registered_pre_effects].procedure = procedure;
	number_of_registered_pre_effects += 1;
}

/* ---------- clipping */

void clip_affine_vertex_to_all_planes(const view_data *view, render_vertex *vertex)
{
	vertex->flags |= _vertex_screen_transformed_flag | _vertex_clipped_flag;
	if (vertex->p.z >= 0)
	{
		vertex->flags |= _vertex_discarded_flag;
		return;
	}
	const float inverse = 1.0f / static_cast<float>(vertex->p.z);
	const float fx = static_cast<float>(view->xk) -
		static_cast<float>(vertex->p.x) * static_cast<float>(view->world_to_screen_x) * inverse;
	const float fy = static_cast<float>(vertex->p.y) * static_cast<float>(view->world_to_screen_y) * inverse +
		static_cast<float>(view->yk);
	if (!(fx > -32769.0f && fx < 32768.0f && fy > -32769.0f && fy < 32768.0f))
	{
		vertex->flags |= _vertex_discarded_flag;
		return;
	}
	int32 x = static_cast<int32>(fx), y = static_cast<int32>(fy);
	if (vertex->flags & _vertex_on_top_flag) y = 0;
	else if (y < 1) vertex->flags |= _vertex_out_top_flag;
	if (vertex->flags & _vertex_on_bottom_flag) y = view->screen_height;
	else if (y >= view->screen_height) vertex->flags |= _vertex_out_bottom_flag;
	if (vertex->flags & _vertex_on_left_flag) x = 0;
	else if (x < 1) vertex->flags |= _vertex_out_left_flag;
	if (vertex->flags & _vertex_on_right_flag) x = view->screen_width;
	else if (x >= view->screen_width) vertex->flags |= _vertex_out_right_flag;
	vertex->screen.x = static_cast<int16>(x);
	vertex->screen.y = static_cast<int16>(y);
}

void clip_surface(const view_data *view, render_surface *surface)
{
	if (surface_type(surface) != _surface_type_triangle || (surface_flags(surface) & _surface_discarded_flag)) return;
	render_corner *corners = reinterpret_cast<render_triangle *>(surface)->corners;
	uint16 common = _vertex_out_flags;
	boolean discard = FALSE;
	for (int32 i = 0; i < 3; ++i)
	{
		render_vertex *vertex = corners[i].vertex;
		if (!(vertex->flags & _vertex_clipped_flag)) clip_affine_vertex_to_all_planes(view, vertex);
		common &= vertex->flags;
		if (vertex->flags & _vertex_discarded_flag) discard = TRUE;
	}
	if (!discard && !common)
	{
		const point2d &a = corners[0].vertex->screen, &b = corners[1].vertex->screen, &c = corners[2].vertex->screen;
		const int64 winding = static_cast<int64>(b.x - a.x) * (c.y - a.y) - static_cast<int64>(b.y - a.y) * (c.x - a.x);
		if (winding <= 0) discard = TRUE;
	}
	if (discard || common) set_surface_flags(surface, surface_flags(surface) | _surface_discarded_flag);
}

static const uint16 plane_on_flags[4] = {_vertex_on_top_flag, _vertex_on_bottom_flag, _vertex_on_left_flag,
	_vertex_on_right_flag};
static const uint16 plane_out_flags[4] = {_vertex_out_top_flag, _vertex_out_bottom_flag, _vertex_out_left_flag,
	_vertex_out_right_flag};

// Signed distance of a viewer-space point from a plane, positive inside.
static int64 plane_distance(const view_data *view, int16 plane, const short_world_point3d &p)
{
	// Plane slopes are clip extents over the projection scale; multiply through.
	const int64 depth = -static_cast<int64>(p.z);
	switch (plane)
	{
	case _top_plane: return static_cast<int64>(view->clip_top) * depth - static_cast<int64>(p.y) * view->world_to_screen_y;
	case _bottom_plane:
		return static_cast<int64>(view->clip_bottom) * depth + static_cast<int64>(p.y) * view->world_to_screen_y;
	case _left_plane: return static_cast<int64>(view->clip_left) * depth + static_cast<int64>(p.x) * view->world_to_screen_x;
	default: return static_cast<int64>(view->clip_right) * depth - static_cast<int64>(p.x) * view->world_to_screen_x;
	}
}

void clip_corners_to_plane(const view_data *view, int16 plane, const render_corner *in_corner,
	const render_corner *out_corner, render_corner *result)
{
	const render_vertex *a = in_corner->vertex, *b = out_corner->vertex;
	const int64 da = plane_distance(view, plane, a->p), db = plane_distance(view, plane, b->p);
	int64 t = da - db != 0 ? (da << 16) / (da - db) : 65536;
	if (t > 65536) t = 65536;
	if (t < 0) t = 0;
	render_vertex *vertex = static_cast<render_vertex *>(render_malloc(sizeof(render_vertex)));
	vertex->flags = static_cast<uint16>((a->flags & b->flags) & ~(_vertex_out_flags | _vertex_discarded_flag |
		_vertex_screen_transformed_flag | _vertex_clipped_flag));
	vertex->flags |= plane_on_flags[plane & 3];
	vertex->mesh_vertex = a->mesh_vertex;
	vertex->p.x = static_cast<short_world_distance>(a->p.x + (((b->p.x - a->p.x) * t) >> 16));
	vertex->p.y = static_cast<short_world_distance>(a->p.y + (((b->p.y - a->p.y) * t) >> 16));
	vertex->p.z = static_cast<short_world_distance>(a->p.z + (((b->p.z - a->p.z) * t) >> 16));
	clip_affine_vertex_to_all_planes(view, vertex);
	result->vertex = vertex;
	for (int32 i = 0; i < 2; ++i)
	{
		const int32 difference = out_corner->interpolants[i] - in_corner->interpolants[i];
		result->interpolants[i] =
			static_cast<int16>(in_corner->interpolants[i] + (difference >> 8) * static_cast<int32>(t >> 8));
	}
}

enum
{
	_testing_first_vertex,
	_searching_cw_for_in_out_transition,
	_searching_ccw_for_out_in_transition,
	_searching_cw_for_out_in_transition
};

#define MAXIMUM_CLIPPED_CORNERS 16

int16 clip_perspective_triangle_to_all_planes(const view_data *view, const render_triangle *triangle,
	render_corner *corners)
{
	render_corner polygon[MAXIMUM_CLIPPED_CORNERS];
	int32 count = 3;
	for (int32 i = 0; i < 3; ++i)
	{
		polygon[i] = triangle->corners[i];
		if (!(polygon[i].vertex->flags & _vertex_clipped_flag)) clip_affine_vertex_to_all_planes(view, polygon[i].vertex);
		if (polygon[i].vertex->flags & _vertex_discarded_flag) return 0;
	}
	for (int16 plane = _top_plane; plane <= _right_plane && count > 0; ++plane)
	{
		const uint16 out = plane_out_flags[plane];
		int32 state = _testing_first_vertex;
		int32 in_out = -1, out_in = -1;
		// Find the last in vertex before an out one (clockwise) and the first in after the out run.
		for (int32 i = 0; i < count; ++i)
		{
			const boolean is_out = (polygon[i].vertex->flags & out) != 0;
			const boolean next_out = (polygon[(i + 1) % count].vertex->flags & out) != 0;
			if (state == _testing_first_vertex) state = is_out ? _searching_cw_for_out_in_transition : _searching_cw_for_in_out_transition;
			if (!is_out && next_out) in_out = i;
			if (is_out && !next_out) out_in = i;
		}
		if (in_out < 0)
		{
			if (polygon[0].vertex->flags & out) return 0; // wholly out
			continue;
		}
		state = _searching_ccw_for_out_in_transition;
		(void)state;
		render_corner a, b;
		clip_corners_to_plane(view, plane, &polygon[in_out], &polygon[(in_out + 1) % count], &a);
		clip_corners_to_plane(view, plane, &polygon[(out_in + 1) % count], &polygon[out_in], &b);
		render_corner next[MAXIMUM_CLIPPED_CORNERS];
		int32 n = 0;
		for (int32 i = (out_in + 1) % count;; i = (i + 1) % count)
		{
			next[n++] = polygon[i];
			if (i == in_out) break;
		}
		if (n + 2 > MAXIMUM_CLIPPED_CORNERS) return 0;
		next[n++] = a;
		next[n++] = b;
		memcpy(polygon, next, n * sizeof(render_corner));
		count = n;
	}
	memcpy(corners, polygon, count * sizeof(render_corner));
	return static_cast<int16>(count);
}

/* ---------- sorting and categories */

int16 categorize_surface(render_surface *surface)
{
	uint16 flags = surface_flags(surface);
	const int16 subtype = surface_subtype(surface);
	if (subtype == _surface_subtype_mesh_triangle)
	{
		return flags & _surface_media_flag ? _surface_category_media : _surface_category_mesh;
	}
	if (flags & _surface_discarded_flag) return _surface_category_discarded;
	if (flags & _surface_media_flag) return _surface_category_reflective_objects;
	if (flags & _surface_reflection_flag) return _surface_category_reflections;
	// Only a surface still headed for the transparent test learns its bitmap's transparency.
	if (!(flags & _surface_transparent_flag) &&
		(subtype == _surface_subtype_model_triangle || subtype == _surface_subtype_object_triangle))
	{
		const bitmap_identifier texture = reinterpret_cast<render_triangle *>(surface)->texture;
		const bitmap_data *bitmap =
			get_bitmap(bitmap_identifier_collection(texture), bitmap_identifier_bitmap(texture));
		if (bitmap && (bitmap->flags & (_bitmap_color_key_transparency_flag | _1bit_transparency_encoded_flag |
						  _4bit_transparency_encoded_flag)))
		{
			flags |= _surface_transparent_flag;
			set_surface_flags(surface, flags);
		}
	}
	if (flags & _surface_transparent_flag)
	{
		return subtype == _surface_subtype_text_rectangle ? _surface_category_text_rectangles
														  : _surface_category_translucent_objects;
	}
	if (subtype == _surface_subtype_model_triangle) return _surface_category_opaque_objects;
	if (subtype == _surface_subtype_text_rectangle) return _surface_category_text_rectangles;
	return _surface_category_translucent_objects;
}

void postprocess_scene(view_data *view, render_surface_list *surfaces)
{
	clear_surface_categories();
	const int32 count = surfaces->surface_count;
	if (count <= 0) return;

	render_surface **pointers = static_cast<render_surface **>(render_malloc(count * sizeof(render_surface *)));
	// One scratch block: keys, temp0 and temp1.
	uint32 *keys = static_cast<uint32 *>(render_temporary(count * 3 * sizeof(uint32)));
	uint32 *temp0 = keys + count, *temp1 = temp0 + count;
	render_surface **unsorted = static_cast<render_surface **>(render_malloc(count * sizeof(render_surface *)));
	int32 n = 0;
	for (render_surface *surface = surfaces->first_surface; surface && n < count; surface = surface->next_surface)
	{
		clip_surface(view, surface);
		unsorted[n] = surface;
		keys[n] = static_cast<uint32>(surface->precise_z);
		n += 1;
	}
	const uint32 *order = fastradix(keys, temp0, temp1, n, MAXIMUM_RADIX_PASSES, radix_mode_indices);

	// Relink descending: first is the largest key, last the smallest.
	render_surface *previous = NULL;
	for (int32 i = n - 1; i >= 0; --i)
	{
		render_surface *surface = unsorted[order[i]];
		surface->previous_surface = previous;
		surface->next_surface = NULL;
		if (previous) previous->next_surface = surface;
		else surfaces->first_surface = surface;
		previous = surface;
	}
	surfaces->last_surface = previous;

	int16 *categories = static_cast<int16 *>(render_malloc(n * sizeof(int16)));
	int32 counts[NUMBER_OF_SURFACE_CATEGORIES] = {};
	for (int32 i = 0; i < n; ++i)
	{
		categories[i] = categorize_surface(unsorted[order[i]]);
		counts[categories[i]] += 1;
	}
	int32 start = 0;
	for (int32 c = 0; c < NUMBER_OF_SURFACE_CATEGORIES; ++c)
	{
		surface_categories[c].surfaces = pointers + start;
		surface_categories[c].count = 0;
		start += counts[c];
	}
	for (int32 i = 0; i < n; ++i)
	{
		surface_category *category = &surface_categories[categories[i]];
		category->surfaces[category->count++] = unsorted[order[i]];
	}
}

static inline uint32 surface_key(const render_surface *surface, int32 offset)
{
	uint32 key;
	memcpy(&key, reinterpret_cast<const uint8 *>(surface) + offset, sizeof(key));
	return key;
}

void sort_surface_category(int16 category_index, uint32 user_mask)
{
	if (category_index < 0 || category_index >= NUMBER_OF_SURFACE_CATEGORIES) return;
	surface_category *category = &surface_categories[category_index];
	if (category->sort_offset < 0 || category->sorted || category->count <= 1) return;
	const uint32 mask = user_mask ? user_mask : category->sort_mask;
	void *temp = render_temporary(static_cast<int32>(RADIX_SORT_STRUCT_POINTERS_TEMP_SIZE(category->count)));
	radix_sort_struct_pointers2(reinterpret_cast<void **>(category->surfaces), temp, category->count,
		category->sort_offset, mask, TRUE);
	category->sorted = TRUE;
}

void rasterize_surface_category(void *context, int16 category_index, int32 max_chunk_size, boolean sort,
	uint32 user_mask, rasterize_surfaces_proc rasterize)
{
	if (category_index < 0 || category_index >= NUMBER_OF_SURFACE_CATEGORIES || !rasterize) return;
	surface_category *category = &surface_categories[category_index];
	if (category->count <= 0) return;
	if (sort && category->sort_offset >= 0)
	{
		if (!category->sorted && category->count > 1) sort_surface_category(category_index, category->sort_mask);
		category->sorted = TRUE;
		const uint32 mask = user_mask ? user_mask : category->sort_mask;
		int32 first = 0;
		while (first < category->count)
		{
			const uint32 key = surface_key(category->surfaces[first], category->sort_offset) & mask;
			int32 end = first + 1;
			while (end < category->count && (max_chunk_size <= 0 ? FALSE : end - first < max_chunk_size) &&
				(surface_key(category->surfaces[end], category->sort_offset) & mask) == key)
			{
				end += 1;
			}
			rasterize(context, category->surfaces + first, end - first);
			first = end;
		}
		return;
	}
	if (max_chunk_size <= 0)
	{
		rasterize(context, category->surfaces, category->count);
		return;
	}
	for (int32 first = 0; first < category->count; first += max_chunk_size)
	{
		rasterize(context, category->surfaces + first, std::min(max_chunk_size, category->count - first));
	}
}

/* ---------- statistics */

static inline void count_up(int16 *count)
{
	if (*count < INT16_MAX) *count += 1; // saturate rather than wrap
}

void get_render_statistics(render_statistics *statistics)
{
	if (!statistics || !render_globals || !render_globals->last_surface_list) return;
	memset(statistics, 0, sizeof(*statistics));
	statistics->used_memory = static_cast<int32>(top_of_render_memory_pool - render_memory_pool);
	statistics->total_memory = RENDER_MEMORY_POOL_SIZE;
	for (const render_surface *surface = render_globals->last_surface_list->first_surface; surface;
		 surface = surface->next_surface)
	{
		const uint16 flags = surface_flags(surface);
		render_surface_count_data *counts =
			flags & _surface_discarded_flag ? &statistics->discarded : &statistics->extant;
		const boolean reflected = (flags & _surface_reflection_flag) != 0;
		if (surface_type(surface) == _surface_type_triangle)
		{
			count_up(&counts->triangle_count);
			if (surface_subtype(surface) == _surface_subtype_mesh_triangle)
			{
				count_up(reflected ? &counts->reflected_mesh_triangle_count : &counts->mesh_triangle_count);
			}
			else if (surface_subtype(surface) == _surface_subtype_model_triangle)
			{
				count_up(reflected ? &counts->reflected_model_triangle_count : &counts->model_triangle_count);
			}
		}
		else if (surface_type(surface) == _surface_type_rectangle)
		{
			count_up(reflected ? &counts->reflected_rectangle_count : &counts->rectangle_count);
		}
	}
}

/* ---------- bitmap surface utilities */

void build_bitmap_surface_rectangle(const bitmap_instance_data *instance, render_surface_list *surfaces,
	int16 collection_index, int16 color_table_index, fixed_fraction transparency,
	const short_world_point3d *transformed_position, const rectangle2d *viewer_rect, int16 x0, int16 x1, int16 y0,
	int16 y1)
{
	if (!instance || !surfaces || !transformed_position) return;
	render_rectangle *rectangle = static_cast<render_rectangle *>(render_malloc(sizeof(render_rectangle)));
	memset(rectangle, 0, sizeof(*rectangle));
	uint32 flags = 0;
	if (instance->flags & _bitmap_instance_mirror_horizontal_flag) flags |= _surface_mirror_horizontal_flag;
	if (instance->flags & _bitmap_instance_mirror_vertical_flag) flags |= _surface_mirror_vertical_flag;
	if ((instance->flags & _bitmap_instance_transparent_flag) || transparency) flags |= _surface_transparent_flag;
	set_surface_type(&rectangle->surface, _surface_type_rectangle, _surface_subtype_object_rectangle);
	set_surface_flags(&rectangle->surface, flags);
	rectangle->surface.transparency = transparency;
	rectangle->surface.obj_view_y = transformed_position->y;
	rectangle->surface.z = transformed_position->z;
	rectangle->texture = build_bitmap_identifier(static_cast<uint32>(collection_index),
		static_cast<uint32>(instance->bitmap_index), static_cast<uint32>(color_table_index & 127), 0);
	rectangle->geometry = {x0, y0, x1, y1, -32768, 32767, {0, 0, 0, 0}, 32767, -32768};
	if (viewer_rect) rectangle->geometry.viewer_rect = *viewer_rect;
	rectangle->object_index = NONE;
	add_surface_to_surface_list(surfaces, &rectangle->surface);
}

static void build_quad_triangle(render_quad_data *data, render_surface_list *surfaces, const int32 (&order)[3],
	const int16 (&interpolants)[3][2])
{
	render_triangle *triangle = static_cast<render_triangle *>(render_malloc(sizeof(render_triangle)));
	memset(triangle, 0, sizeof(*triangle));
	set_surface_type(&triangle->surface, _surface_type_triangle, _surface_subtype_object_triangle);
	set_surface_flags(&triangle->surface, data->flags);
	triangle->surface.transparency = data->transparency;
	triangle->surface.z = data->surface_z;
	const uint32 permutation = (data->flags & _surface_reflection_flag) ? 3 : 0;
	triangle->texture = build_bitmap_identifier(static_cast<uint32>(data->collection_index),
		data->instance ? static_cast<uint32>(data->instance->bitmap_index) : 0,
		static_cast<uint32>(data->color_table_index & 127), permutation);
	for (int32 i = 0; i < 3; ++i)
	{
		triangle->corners[i].vertex = data->vertices[order[i]];
		triangle->corners[i].interpolants[0] = interpolants[i][0];
		triangle->corners[i].interpolants[1] = interpolants[i][1];
	}
	add_surface_to_surface_list(surfaces, &triangle->surface);
}

void quad_into_triangles(view_data *view, render_quad_data *data, render_surface_list *surfaces)
{
	(void)view;
	if (!data || !surfaces) return;
	// The quad spans its texture: 0 to 65,535 in 16-bit fractions.
	uint16 u0 = data->u_back, u1 = data->u_front, v0 = data->v_top, v1 = data->v_bottom;
	if (!u0 && !u1 && !v0 && !v1) u0 = 0, u1 = 65535, v0 = 65535, v1 = 0;
	const int16 a[2] = {static_cast<int16>(u0), static_cast<int16>(v0)}, b[2] = {static_cast<int16>(u0), static_cast<int16>(v1)};
	const int16 c[2] = {static_cast<int16>(u1), static_cast<int16>(v1)}, d[2] = {static_cast<int16>(u1), static_cast<int16>(v0)};
	build_quad_triangle(data, surfaces, {0, 3, 2}, {{a[0], a[1]}, {d[0], d[1]}, {c[0], c[1]}});
	build_quad_triangle(data, surfaces, {2, 1, 0}, {{c[0], c[1]}, {b[0], b[1]}, {a[0], a[1]}});
}

void build_extended_bitmap_surface_triangles(const bitmap_instance_data *instance,
	const short_world_point3d *transformed_position, const world_vector3d *direction, view_data *view,
	render_surface_list *surfaces, const extended_bitmap_surface_data *data)
{
	if (!instance || !transformed_position || !direction || !view || !surfaces || !data) return;
	const boolean reflection = (data->flags & 1) != 0;
	const int32 world_k = reflection ? -direction->k : direction->k;
	const matrix3x3 *m = &view->world_to_viewer_rotation;
	const int32 d[3] = {rotate_component(m, 0, direction->i, direction->j, world_k),
		rotate_component(m, 1, direction->i, direction->j, world_k),
		rotate_component(m, 2, direction->i, direction->j, world_k)};
	// Squares summed wide: a long direction's would pass 31 bits.
	const int64 squared = static_cast<int64>(d[0]) * d[0] + static_cast<int64>(d[1]) * d[1] + static_cast<int64>(d[2]) * d[2];
	const uint32 length = isqrt(static_cast<uint32>(std::min<int64>(squared, UINT32_MAX)));
	if (length == 0) return;
	const int64 ax = (static_cast<int64>(d[0]) << 16) / length, ay = (static_cast<int64>(d[1]) << 16) / length,
				az = (static_cast<int64>(d[2]) << 16) / length;
	const int64 reach = static_cast<int64>(length) + data->overlap_amount;
	const int64 px = -ay, py = ax;
	int64 top = (static_cast<int64>(data->world_top) * data->vertical_scale) >> 8;
	int64 bottom = (static_cast<int64>(data->world_bottom) * data->vertical_scale) >> 8;
	const int64 left = (static_cast<int64>(data->world_left) * data->horizontal_scale) >> 8;
	const int64 right = (static_cast<int64>(data->world_right) * data->horizontal_scale) >> 8;
	if (reflection)
	{
		const int64 old_top = top;
		top = -bottom;
		bottom = -old_top;
	}
	const int64 along[4] = {(data->flags & 2) ? -right : -reach, (data->flags & 2) ? -right : -reach,
		(data->flags & 2) ? -left : 0, (data->flags & 2) ? -left : 0};
	const int64 across[4] = {top, bottom, bottom, top};
	render_quad_data quad;
	memset(&quad, 0, sizeof(quad));
	for (int32 i = 0; i < 4; ++i)
	{
		render_vertex *vertex = static_cast<render_vertex *>(render_malloc(sizeof(render_vertex)));
		memset(vertex, 0, sizeof(*vertex));
		vertex->p.x = static_cast<short_world_distance>(transformed_position->x + ((along[i] * ax + across[i] * px) >> 16));
		vertex->p.y = static_cast<short_world_distance>(transformed_position->y + ((along[i] * ay + across[i] * py) >> 16));
		vertex->p.z = static_cast<short_world_distance>(transformed_position->z + ((along[i] * az) >> 16));
		quad.vertices[i] = vertex;
	}
	quad.flags = static_cast<uint16>(_surface_transparent_flag |
		(reflection ? (_surface_reflection_flag | _surface_mirror_vertical_flag) : 0));
	quad.collection_index = data->collection_index;
	quad.color_table_index = data->color_table_index;
	quad.transparency = data->transparency;
	quad.instance = instance;
	quad.surface_z = transformed_position->z;
	quad_into_triangles(view, &quad, surfaces);
}
