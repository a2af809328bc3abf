#include "render/render_wireframe.h"

#include <cstdio>
#include <cstring>

#include "render/render.h"
#include "bitmap_drawing.h"
#include "bitmap_text.h"
#include "game_preferences.h"
#include "game_statistics.h"
#include "input/actions.h"
#include "interface.h"
#include "mesh.h"
#include "models.h"
#include "objects.h"
#include "selection.h"
#include "shapes.h"
#include "world.h"
#include "zerv.h"

#define MESH_VERTEX_TEXT_SIZE 256
#define WIREFRAME_TEXT_FLAGS 16
#define NEAREST_LINE_DEPTH (-34)

const rgb_color wireframe_color = {65535, 0, 0, 0};
const rgb_color selection_color = {65535, 65535, 0, 0};
const rgb_color model_wireframe_color = {0, 0, 65535, 0};
static const rgb_color contesting_range_color = {65535, 0, 0, 0};

int32 visible_flag_object_indexes[MAXIMUM_VISIBLE_FLAGS];
int16 visible_flag_count = 0;

static render_wireframe_test_hooks_data wireframe_hooks;

render_wireframe_test_hooks_data *get_render_wireframe_test_hooks(void)
{
	return &wireframe_hooks;
}

static void wire_line(bitmap_data *screen, const rgb_color *color, point2d p0, point2d p1)
{
	wireframe_hooks.lines_drawn += 1;
	draw_line(screen, color, 0, NULL, NULL, p0, p1);
}

/* ---------- triangles */

void draw_surface_triangles(bitmap_data *screen, const render_triangle *triangle)
{
	if (!screen || !triangle) return;
	for (int32 i = 0; i < 3; ++i)
	{
		wire_line(screen, &wireframe_color, triangle->corners[i].vertex->screen,
			triangle->corners[(i + 1) % 3].vertex->screen);
	}
}

static void draw_edge(bitmap_data *screen, const render_triangle *triangle, int32 a, int32 b)
{
	wire_line(screen, &wireframe_color, triangle->corners[a].vertex->screen, triangle->corners[b].vertex->screen);
}

static boolean on_submesh_boundary(const render_vertex *vertex)
{
	return (vertex->mesh_vertex.x % 32) == 0 || (vertex->mesh_vertex.y % 32) == 0;
}

static boolean mesh_vertex_inside_map(const render_vertex *vertex)
{
	return mesh_is_loaded() && vertex->mesh_vertex.x >= 0 && vertex->mesh_vertex.y >= 0 &&
		vertex->mesh_vertex.x < mesh_globals->mesh_width && vertex->mesh_vertex.y < mesh_globals->mesh_height;
}

static void fill_terrain_triangle(bitmap_data *screen, const render_triangle *triangle)
{
	for (int32 i = 0; i < 3; ++i)
	{
		if (!mesh_vertex_inside_map(triangle->corners[i].vertex)) return;
	}
	int32 sx = 0, sy = 0;
	for (int32 i = 0; i < 3; ++i)
	{
		sx += triangle->corners[i].vertex->mesh_vertex.x;
		sy += triangle->corners[i].vertex->mesh_vertex.y;
	}
	const world_point2d centroid = {sx * WORLD_ONE / 3, sy * WORLD_ONE / 3};
	if (get_mesh_terrain_type(&centroid) == _terrain_grass) return;
	const point2d points[3] = {triangle->corners[0].vertex->screen, triangle->corners[1].vertex->screen,
		triangle->corners[2].vertex->screen};
	fill_polygon(screen, &wireframe_color, NULL, 32768, get_transparency_table(0), points, 3);
}

static void draw_mesh_vertex_readout(bitmap_data *screen)
{
	int16 x = 0, y = 0;
	get_last_action_pointer(&x, &y);
	x = static_cast<int16>(PIN(x, 0, screen->width - 1));
	y = static_cast<int16>(PIN(y, 0, screen->height - 1));
	pick_state state;
	const point2d point = {x, y};
	new_pick_by_point_state(&state, &point, _pick_mesh_vertices_flag);
	if (pick(&state) != _pick_mesh_vertices_flag || !mesh_is_loaded()) return;
	if (state.cell_x < 0 || state.cell_y < 0 || state.cell_x >= mesh_globals->mesh_width ||
		state.cell_y >= mesh_globals->mesh_height)
	{
		return;
	}
	const mesh_cell *cell = get_mesh_cell(state.cell_x, state.cell_y);
	char text[MESH_VERTEX_TEXT_SIZE];
	snprintf(text, sizeof(text), "Mesh Vertex = (%d, %d, %d, 0x%x)", state.cell_x, state.cell_y, cell->height,
		cell->flags);
	rectangle2d bounds;
	set_rectangle2d(&bounds, 0, 0, 640, 480);
	draw_string(screen, NULL, &bounds, NULL, get_interface_font_index(1), -1, &white, text, WIREFRAME_TEXT_FLAGS, 0);
}

void rasterize_wireframe_over_surfaces(bitmap_data *screen, uint32 exclude_flags, int16 wireframe_mode)
{
	render_surface_list *list = last_render_surface_list();
	if (!screen) return;
	const uint32 skipped = exclude_flags | _surface_discarded_flag | _surface_reflection_flag;
	for (render_surface *surface = list ? list->first_surface : NULL; surface; surface = surface->next_surface)
	{
		if (surface_type(surface) != _surface_type_triangle || (surface_flags(surface) & skipped)) continue;
		const render_triangle *triangle = reinterpret_cast<const render_triangle *>(surface);
		const boolean mesh = surface_subtype(surface) == _surface_subtype_mesh_triangle;
		switch (wireframe_mode)
		{
		case WIREFRAME_TRIANGLES: draw_surface_triangles(screen, triangle); break;
		case WIREFRAME_CELLS:
			if (!mesh) break;
			draw_edge(screen, triangle, 0, 1);
			draw_edge(screen, triangle, 1, 2);
			break;
		case WIREFRAME_SUBMESHES:
			if (!mesh) break;
			for (int32 i = 0; i < 3; ++i)
			{
				if (on_submesh_boundary(triangle->corners[i].vertex) &&
					on_submesh_boundary(triangle->corners[(i + 1) % 3].vertex))
				{
					draw_edge(screen, triangle, i, (i + 1) % 3);
				}
			}
			break;
		case TERRAIN_FILLED_TRIANGLES:
			if (!mesh) break;
			fill_terrain_triangle(screen, triangle);
			draw_surface_triangles(screen, triangle);
			break;
		case WIREFRAME_MESH_TRIANGLES:
			if (mesh) draw_surface_triangles(screen, triangle);
			break;
		case WIREFRAME_MODEL_TRIANGLES:
			if (surface_subtype(surface) == _surface_subtype_model_triangle) draw_surface_triangles(screen, triangle);
			break;
		case WIREFRAME_REFLECTION_TRIANGLES:
		case REFLECTION_FILLED_TRIANGLES: break;
		default: debug_printf("What is wireframe_mode: %d", wireframe_mode); break;
		}
	}
	draw_mesh_vertex_readout(screen);
}

/* ---------- world-space lines */

static boolean within_line_distance(const view_data *view, const world_point3d *p)
{
	const int64 dx = p->x - view->location.position.x, dy = p->y - view->location.position.y,
				dz = p->z - view->location.position.z;
	return dx * dx + dy * dy + dz * dz < static_cast<int64>(MAXIMUM_LINE3D_DISTANCE) * MAXIMUM_LINE3D_DISTANCE;
}

static void to_viewer(const view_data *view, const world_point3d *p, int64 out[3])
{
	const int64 dx = p->x - view->location.position.x, dy = p->y - view->location.position.y,
				dz = p->z - view->location.position.z;
	const matrix3x3 *m = &view->world_to_viewer_rotation;
	for (int32 i = 0; i < 3; ++i) out[i] = (m->n[0][i] * dx + m->n[1][i] * dy + m->n[2][i] * dz) >> 14;
}

static int16 clamp_projected(long double value)
{
	if (!(value > -32768.0L)) return -32768;
	if (!(value < 32767.0L)) return 32767;
	return static_cast<int16>(value);
}

static point2d project_line_end(const view_data *view, const int64 p[3])
{
	const long double depth = static_cast<long double>(p[2]);
	return {clamp_projected(view->xk - static_cast<long double>(p[0]) * view->world_to_screen_x / depth),
		clamp_projected(view->yk + static_cast<long double>(p[1]) * view->world_to_screen_y / depth)};
}

static boolean projected_on_screen(const view_data *view, point2d p)
{
	return p.x >= 0 && p.x <= view->screen_width && p.y >= 0 && p.y <= view->screen_height;
}

void draw_line3d(view_data *view, const world_point3d *p0, const world_point3d *p1, const rgb_color *color)
{
	if (!view || !view->screen || !p0 || !p1 || !color) return;
	if (!within_line_distance(view, p0) || !within_line_distance(view, p1)) return;
	int64 a[3], b[3];
	to_viewer(view, p0, a);
	to_viewer(view, p1, b);
	if (a[2] >= NEAREST_LINE_DEPTH && b[2] >= NEAREST_LINE_DEPTH) return;
	// An end at or behind the viewer is moved along the line to the nearest drawn depth.
	int64 *near_end = a[2] >= NEAREST_LINE_DEPTH ? a : b[2] >= NEAREST_LINE_DEPTH ? b : NULL;
	if (near_end)
	{
		const int64 *far_end = near_end == a ? b : a;
		const int64 span = near_end[2] - far_end[2];
		const int64 step = NEAREST_LINE_DEPTH - far_end[2];
		for (int32 i = 0; i < 2; ++i) near_end[i] = far_end[i] + (near_end[i] - far_end[i]) * step / span;
		near_end[2] = NEAREST_LINE_DEPTH;
	}
	const point2d s0 = project_line_end(view, a), s1 = project_line_end(view, b);
	if (!projected_on_screen(view, s0) && !projected_on_screen(view, s1)) return;
	wire_line(view->screen, color, s0, s1);
}

static world_point3d circle_point(const world_point2d *center, int32 dx, int32 dy)
{
	const int32 limit_x = mesh_is_loaded() ? mesh_globals->mesh_width * WORLD_ONE - 1 : 0;
	const int32 limit_y = mesh_is_loaded() ? mesh_globals->mesh_height * WORLD_ONE - 1 : 0;
	world_point2d p = {PIN(center->x + dx, 0, limit_x), PIN(center->y + dy, 0, limit_y)};
	const int32 z = mesh_is_loaded() ? get_mesh_height(&p, _true_height) : 0;
	return {p.x, p.y, z};
}

void rasterize_circle(view_data *view, const world_point2d *center, world_distance radius, const rgb_color *color)
{
	if (!view || !center || !sine_table || !cosine_table) return;
	const int32 segments = radius * 6 < 8704 ? MINIMUM_CIRCLE_SEGMENTS : (radius * 6) >> 9;
	world_point3d previous = circle_point(center, radius, 0);
	for (int32 i = 1; i <= segments; ++i)
	{
		const int32 turn = (i << 16) / segments;
		const int32 index = ((turn + 32) & 0xFFFF) >> TRIG_TABLE_ANGLE_BITS;
		const world_point3d point =
			circle_point(center, (cosine_table[index] * radius) >> 14, (sine_table[index] * radius) >> 14);
		if (previous.z != NONRENDERED_CELL_HEIGHT && point.z != NONRENDERED_CELL_HEIGHT)
		{
			draw_line3d(view, &previous, &point, color);
		}
		previous = point;
	}
}

void draw_cube(view_data *view, const world_point3d *p0, const world_point3d *p1, const rgb_color *color)
{
	if (!view || !p0 || !p1) return;
	world_point3d corners[8];
	for (int32 i = 0; i < 8; ++i)
	{
		corners[i] = {(i & 1) ? p1->x : p0->x, (i & 2) ? p1->y : p0->y, (i & 4) ? p1->z : p0->z};
	}
	// The p0-x face (corners 0, 2, 6, 4), the p1-x face (1, 3, 7, 5) and the edges joining them.
	static const int8 face[4] = {0, 2, 6, 4};
	for (int32 i = 0; i < 4; ++i)
	{
		draw_line3d(view, &corners[face[i]], &corners[face[(i + 1) % 4]], color);
	}
	for (int32 i = 0; i < 4; ++i)
	{
		draw_line3d(view, &corners[face[i] + 1], &corners[face[(i + 1) % 4] + 1], color);
	}
	for (int32 i = 0; i < 4; ++i) draw_line3d(view, &corners[face[i]], &corners[face[i] + 1], color);
}

void rasterize_model_bounds(int16 model_index, boolean selected)
{
	const model_data *model = get_model_data(model_index);
	view_data *view = last_render_view();
	if (!model || !view) return;
	draw_cube(view, &model->bounds.minimum_corner, &model->bounds.maximum_corner,
		selected ? &selection_color : &model_wireframe_color);
}

/* ---------- flags */

void record_visible_flags(const mesh_region *region)
{
	visible_flag_count = 0;
	const game_preferences *preferences = get_game_preferences();
	if (!region || !region->spans || !mesh_is_loaded() || !preferences ||
		!(preferences->flags & _game_pref_show_contesting_radius_flag))
	{
		return;
	}
	for (int32 y = region->y0; y < region->y1; ++y)
	{
		const mesh_span *span = &region->spans[y - region->y0];
		for (int32 x = span->x0; x < span->x1; ++x)
		{
			if (x < 0 || y < 0 || x >= mesh_globals->mesh_width || y >= mesh_globals->mesh_height) continue;
			int32 guard = 0;
			for (int16 index = get_mesh_cell(x, y)->first_object_index; index != NONE && guard < MAXIMUM_OBJECTS_PER_MAP;
				 ++guard)
			{
				const object_data *object = get_object_data(index);
				if (!object) break;
				if (object->owner == _object_is_flag &&
					!(object->flags & (_object_is_invisible_flag | _object_is_not_rendered_flag)) &&
					visible_flag_count < MAXIMUM_VISIBLE_FLAGS)
				{
					visible_flag_object_indexes[visible_flag_count++] = index;
				}
				index = object->next_object_index;
			}
		}
	}
}

void rasterize_flag_contesting_ranges(view_data *view)
{
	if (!view) return;
	const world_distance radius = game && game->scoring == _game_scoring_cattle_drive ? CATTLE_DRIVE_CONTESTING_RADIUS
		: FLAG_CONTESTING_RADIUS;
	for (int32 i = 0; i < visible_flag_count; ++i)
	{
		const object_data *object = get_object_data(static_cast<int16>(visible_flag_object_indexes[i]));
		if (!object) continue;
		const world_point2d center = {object->location.position.x, object->location.position.y};
		rasterize_circle(view, &center, radius, &contesting_range_color);
	}
}
