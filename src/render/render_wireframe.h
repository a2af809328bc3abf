// Diagnostic drawing over a rendered frame: triangle edges in several modes
// with the mesh vertex under the pointer, lines, circles and boxes projected
// from world space, and the contesting radius around flags.
#ifndef RENDER_WIREFRAME_H
#define RENDER_WIREFRAME_H

#include "cseries.h"
#include "world_units.h"
#include "bitmaps.h"

struct view_data;
struct mesh_region;
struct render_triangle;

enum // wireframe_mode
{
	WIREFRAME_TRIANGLES,
	WIREFRAME_CELLS,
	WIREFRAME_SUBMESHES,
	TERRAIN_FILLED_TRIANGLES,
	WIREFRAME_MESH_TRIANGLES,
	WIREFRAME_MODEL_TRIANGLES,
	WIREFRAME_REFLECTION_TRIANGLES,
	REFLECTION_FILLED_TRIANGLES,
	NUMBER_OF_WIREFRAME_MODES
};

#define MINIMUM_CIRCLE_SEGMENTS 16
#define MAXIMUM_VISIBLE_FLAGS 32
#define MAXIMUM_LINE3D_DISTANCE 30720 // 60 cells from the view location
#define FLAG_CONTESTING_RADIUS 2560
#define CATTLE_DRIVE_CONTESTING_RADIUS 2048

extern const rgb_color wireframe_color, selection_color, model_wireframe_color;
extern int32 visible_flag_object_indexes[MAXIMUM_VISIBLE_FLAGS];
extern int16 visible_flag_count;

void rasterize_wireframe_over_surfaces(bitmap_data *screen, uint32 exclude_flags, int16 wireframe_mode);
void draw_surface_triangles(bitmap_data *screen, const render_triangle *triangle);
void draw_line3d(view_data *view, const world_point3d *p0, const world_point3d *p1, const rgb_color *color);
void rasterize_circle(view_data *view, const world_point2d *center, world_distance radius, const rgb_color *color);
void draw_cube(view_data *view, const world_point3d *p0, const world_point3d *p1, const rgb_color *color);
// No caller draws model bounds; kept for debugging.
void rasterize_model_bounds(int16 model_index, boolean selected);
// No caller records flags, so the circles stay off; kept for debugging.
void record_visible_flags(const mesh_region *region);
void rasterize_flag_contesting_ranges(view_data *view);

struct render_wireframe_test_hooks_data
{
	int32 lines_drawn;
};
render_wireframe_test_hooks_data *get_render_wireframe_test_hooks(void);

#endif
