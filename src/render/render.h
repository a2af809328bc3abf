// The frame renderer: the view handed over by the camera, the per-frame
// surface arena, surface builders and the effect registries. Nothing is drawn
// yet.
#ifndef RENDER_H
#define RENDER_H

#include "cseries.h"
#include "world_units.h"
#include "bitmaps.h"

#define RENDER_MEMORY_SIZE (2 * 1024 * 1024)

enum
{
	_render_view_omit_reflections_bit = 5,
	_render_view_omit_reflections_flag = 1 << _render_view_omit_reflections_bit
};

struct render_surface;
struct bitmap_instance_data;
struct render_surface_list;
struct render_quad_data;
struct bitmap_surface_rectangle_data;
struct extended_bitmap_surface_data;

struct view_data
{
	uint32 flags;
	int32 game_ticks_elapsed; // since the last frame
	render_surface_list *main_surface_list;

	// The screen and the projection.
	int16 screen_width, screen_height;
	int16 half_screen_width, half_screen_height;
	int32 world_to_screen_scale;
	world_location3d origin;
	bitmap_data *screen; // what the frame is drawn on
};

// Rows y0..y1 of visible cells, one x span per row from y0 (end exclusive).
struct mesh_region
{
	int16 y0, y1;
	int16 (*spans)[2];
};

struct permanent_overlay_data
{
	uint8 collection_index;
	uint8 sequence_index;
	uint16 index; // frame: index mod frames per view; view: index mod views
	point2d origin; // texture pixels
};

enum
{
	_volatile_overlay_shadow_maps,
	_volatile_overlay_light_maps,
	_volatile_overlay_animated_model_shadow_maps
};

typedef void (*postrasterization_effect_proc)(view_data *view);
typedef void (*prerender_effect_proc)(view_data *view, mesh_region *region, render_surface_list *surfaces);

void initialize_render(void);
// False when the renderer cannot start the map.
boolean initialize_render_for_new_map(void);
void dispose_render_from_old_map(void);

void render_scene(view_data *view);
// From the per-frame arena; an overflow stops the program.
void *render_malloc(int32 size);

void register_postrasterization_effect(int16 priority, postrasterization_effect_proc procedure);
void register_prerender_effect(int16 priority, prerender_effect_proc procedure);

void initialize_media_coverage_region(const uint32 *media_coverage_region, int32 media_coverage_region_size);
void dispose_media_coverage_region(void);
boolean mesh_texture_pixel_is_media(int32 x, int32 y);
boolean point_in_visible_mesh_region(const world_point2d *point, const mesh_region *region);

short_world_point3d *transform_world_point_to_viewer_space(const view_data *view, const world_point3d *world_point,
	short_world_point3d *result, boolean reflected);
void quad_into_triangles(view_data *view, render_quad_data *data, render_surface_list *surfaces);
void build_bitmap_surface_rectangle(view_data *view, bitmap_surface_rectangle_data *data,
	render_surface_list *surfaces);
void build_extended_bitmap_surface_triangles(const bitmap_instance_data *instance,
	const short_world_point3d *viewer_point, const world_vector3d *delta, view_data *view,
	render_surface_list *surfaces, const extended_bitmap_surface_data *parameters);

void rasterize_permanent_overlay(const permanent_overlay_data *overlay);
void rasterize_volatile_shadow_map_overlay(int16 kind, int16 intensity, const uint8 *map, int32 bytes_per_row,
	int32 width, int32 height, world_distance x, world_distance y);

struct render_test_hooks_data
{
	least_call_log calls;
};

render_test_hooks_data *get_render_test_hooks(void);
void reset_render_test_hooks(void);

#endif
