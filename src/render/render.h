// The frame renderer: the view handed over by the camera, the per-frame
// surface arena, the visible terrain region, surface lists and their
// clipping, sorting and categories, and the effect registries.
#ifndef RENDER_H
#define RENDER_H

#include "cseries.h"
#include "world_units.h"
#include "bitmaps.h"

/* ---------- the arena */

// Pointer-bearing records at most double on 64 bits; vertices do not grow.
#define RENDER_MEMORY_POOL_SIZE (static_cast<int32>(sizeof(void *) == 4 ? 2097152 : 4194304))
#define RENDER_MEMORY_SIZE RENDER_MEMORY_POOL_SIZE

/* ---------- the view */

enum
{
	_render_view_filtering_bit,
	_render_view_omit_objects_bit,
	_render_view_omit_models_bit,
	_render_view_omit_media_bit,
	_render_view_omit_rasterization_effects_bit,
	_render_view_omit_reflections_bit,
	_render_view_omit_selections_bit,
	_render_view_screen_clipping_bit,
	_render_view_cursor_bit,
	_render_view_must_draw_bit,
	_render_view_moved_bit,
	_render_view_free_bit,

	_render_view_filtering_flag = FLAG(_render_view_filtering_bit),
	_render_view_omit_objects_flag = FLAG(_render_view_omit_objects_bit),
	_render_view_omit_models_flag = FLAG(_render_view_omit_models_bit),
	_render_view_omit_media_flag = FLAG(_render_view_omit_media_bit),
	_render_view_omit_rasterization_effects_flag = FLAG(_render_view_omit_rasterization_effects_bit),
	_render_view_omit_reflections_flag = FLAG(_render_view_omit_reflections_bit),
	_render_view_omit_selections_flag = FLAG(_render_view_omit_selections_bit),
	_render_view_screen_clipping_flag = FLAG(_render_view_screen_clipping_bit),
	_render_view_cursor_flag = FLAG(_render_view_cursor_bit),
	_render_view_must_draw_flag = FLAG(_render_view_must_draw_bit),
	_render_view_moved_flag = FLAG(_render_view_moved_bit),
	_render_view_free_flag = FLAG(_render_view_free_bit)
};

struct render_surface;
struct render_surface_list;
struct render_map_overlay;
struct mesh_region;
struct bitmap_instance_data;

struct view_data
{
	bitmap_data *screen; // the destination bitmap
	uint32 flags;
	float tan_half_fov;
	float vertical_offset, horizontal_offset;
	float left, right, bottom, top;
	world_location3d location;
	int32 tick_count;
	int16 game_ticks_elapsed; // since the last view
	rectangle2d hole;
	mesh_region *region;
	int16 x0, y0;
	int16 region_x0, region_y0;
	int16 world_to_screen_x, world_to_screen_y;
	int16 clip_left, clip_right, clip_top, clip_bottom;
	int16 xk, yk;
	int16 screen_width, screen_height, half_screen_width, half_screen_height;
	matrix3x3 world_to_viewer_rotation;
	int16 media_wobble_phase, media_reflection_phase;
	int16 rasterizer_code;
	render_surface_list *main_surface_list;
	render_map_overlay *shadow_map_overlays, *light_map_overlays;
};

/* ---------- surfaces */

enum
{
	_surface_discarded_bit,
	_surface_media_bit,
	_surface_reflection_bit,
	_surface_transparent_bit,
	_surface_filtered_bit,
	_surface_mirror_horizontal_bit,
	_surface_mirror_vertical_bit,
	_surface_transparent_overlay_bit,
	_surface_not_dithered_bit,
	_surface_precise_z_bit,
	NUMBER_OF_SURFACE_FLAGS,

	_surface_discarded_flag = FLAG(_surface_discarded_bit),
	_surface_media_flag = FLAG(_surface_media_bit),
	_surface_reflection_flag = FLAG(_surface_reflection_bit),
	_surface_transparent_flag = FLAG(_surface_transparent_bit),
	_surface_filtered_flag = FLAG(_surface_filtered_bit),
	_surface_mirror_horizontal_flag = FLAG(_surface_mirror_horizontal_bit),
	_surface_mirror_vertical_flag = FLAG(_surface_mirror_vertical_bit),
	_surface_transparent_overlay_flag = FLAG(_surface_transparent_overlay_bit),
	_surface_not_dithered_flag = FLAG(_surface_not_dithered_bit),
	_surface_precise_z_flag = FLAG(_surface_precise_z_bit)
};

enum
{
	_surface_type_triangle,
	_surface_type_polygon,
	_surface_type_rectangle,
	NUMBER_OF_SURFACE_TYPES
};

enum
{
	_surface_subtype_mesh_triangle,
	_surface_subtype_model_triangle,
	_surface_subtype_object_triangle,
	_surface_subtype_object_rectangle,
	_surface_subtype_filled_rectangle,
	_surface_subtype_text_rectangle,
	NUMBER_OF_SURFACE_SUBTYPES
};

struct render_surface
{
	render_surface *previous_surface, *next_surface;
	world_distance precise_z; // the sort key
	short_world_distance obj_view_y;
	short_world_distance z; // viewer space; nearer is closer to 0
	fixed_fraction transparency;
	// flags bits 0-9, type 10-11, subtype 12-14, extra bit 15: through the helpers below.
	uint16 bits;
};

#define SURFACE_FLAGS_MASK 0x03FFu
#define SURFACE_TYPE_SHIFT 10
#define SURFACE_SUBTYPE_SHIFT 12
#define SURFACE_EXTRA_BIT 0x8000u

static inline uint16 surface_flags(const render_surface *s) { return static_cast<uint16>(s->bits & SURFACE_FLAGS_MASK); }
static inline int16 surface_type(const render_surface *s) { return static_cast<int16>((s->bits >> SURFACE_TYPE_SHIFT) & 3); }
static inline int16 surface_subtype(const render_surface *s)
{
	return static_cast<int16>((s->bits >> SURFACE_SUBTYPE_SHIFT) & 7);
}
static inline void set_surface_flags(render_surface *s, uint32 flags)
{
	s->bits = static_cast<uint16>((s->bits & ~SURFACE_FLAGS_MASK) | (flags & SURFACE_FLAGS_MASK));
}
static inline void set_surface_type(render_surface *s, int16 type, int16 subtype)
{
	s->bits = static_cast<uint16>((s->bits & (SURFACE_FLAGS_MASK | SURFACE_EXTRA_BIT)) |
		((type & 3) << SURFACE_TYPE_SHIFT) | ((subtype & 7) << SURFACE_SUBTYPE_SHIFT));
}

// 32 bits naming one collection bitmap through one shading table.
typedef uint32 bitmap_identifier;

static inline bitmap_identifier build_bitmap_identifier(uint32 collection_index, uint32 bitmap_index,
	uint32 color_table_index, uint32 permutation)
{
	return (collection_index & 0xFF) | ((bitmap_index & 0x3FFF) << 8) | ((color_table_index & 0x7F) << 22) |
		((permutation & 7) << 29);
}
static inline int16 bitmap_identifier_collection(bitmap_identifier id) { return static_cast<int16>(id & 0xFF); }
static inline int16 bitmap_identifier_bitmap(bitmap_identifier id) { return static_cast<int16>((id >> 8) & 0x3FFF); }
static inline int16 bitmap_identifier_color_table(bitmap_identifier id) { return static_cast<int16>((id >> 22) & 0x7F); }
static inline int16 bitmap_identifier_permutation(bitmap_identifier id) { return static_cast<int16>(id >> 29); }

enum
{
	_vertex_out_left_flag = 1,
	_vertex_on_left_flag = 2,
	_vertex_out_right_flag = 4,
	_vertex_on_right_flag = 8,
	_vertex_out_top_flag = 16,
	_vertex_on_top_flag = 32,
	_vertex_out_bottom_flag = 64,
	_vertex_on_bottom_flag = 128,
	_vertex_discarded_flag = 256,
	_vertex_screen_transformed_flag = 512,
	_vertex_clipped_flag = 1024,
	_vertex_out_flags = 85
};

struct render_vertex
{
	uint16 flags;
	point2d mesh_vertex; // column and row of a terrain vertex, or a builder's own tag
	short_world_point3d p; // viewer space
	point2d screen;
};

struct render_corner
{
	render_vertex *vertex;
	int16 interpolants[2]; // u, v
};

// The texture key sits at one offset in every triangle and rectangle kind, so
// that categories mixing them sort through one field.
#define RENDER_TEXTURE_KEY_OFFSET (sizeof(render_surface) + 3 * sizeof(render_corner))

struct render_triangle
{
	render_surface surface;
	render_corner corners[3];
	bitmap_identifier texture;
	uint32 detail; // the terrain texturing word
};

struct render_model_triangle
{
	render_surface surface;
	render_corner corners[3];
	bitmap_identifier texture;
	uint16 model_index, triangle_index;
};

struct render_rectangle_geometry
{
	int16 x0, y0, x1, y1;
	int16 clip_top, clip_bottom;
	rectangle2d viewer_rect;
	int16 viewer_clip_top, viewer_clip_bottom;
};

struct render_rectangle
{
	render_surface surface;
	render_rectangle_geometry geometry;
	uint8 padding[RENDER_TEXTURE_KEY_OFFSET - sizeof(render_surface) - sizeof(render_rectangle_geometry)];
	bitmap_identifier texture;
	int16 object_index; // -1 without an object
};

struct render_filled_rectangle
{
	render_surface surface;
	render_rectangle_geometry geometry;
	rgb_color color;
};

struct render_text_rectangle
{
	render_surface surface;
	render_rectangle_geometry geometry;
	int16 style;
	int16 font_index;
	rgb_color color;
	uint32 text_flags;
	char string[1]; // zero-terminated, stored behind the record
};

static_assert(offsetof(render_triangle, texture) == RENDER_TEXTURE_KEY_OFFSET);
static_assert(offsetof(render_model_triangle, texture) == RENDER_TEXTURE_KEY_OFFSET);
static_assert(offsetof(render_rectangle, texture) == RENDER_TEXTURE_KEY_OFFSET);

struct render_surface_list
{
	render_surface *first_surface, *last_surface;
	int32 surface_count;
	int32 override_precise_z; // when not 0, given to every surface added
};

/* ---------- the visible region */

#define MAXIMUM_VIEW_DISTANCE 32768
#define NUMBER_OF_PROJECTED_POINTS 5
#define MAXIMUM_MESH_REGION_WIDTH 64
#define MAXIMUM_FRUSTUM_CORNERS (4 * NUMBER_OF_PROJECTED_POINTS)

struct mesh_span
{
	int16 x0, x1;
};

struct mesh_region
{
	int16 original_x0, original_y0; // corner of the 64 x 64 cell window
	int16 y0, y1; // vertex rows; cells lie in rows y0 to y1 - 1
	int16 x0, x1;
	mesh_span *spans; // one per row from y0
	render_vertex *vertices[MAXIMUM_MESH_REGION_WIDTH * MAXIMUM_MESH_REGION_WIDTH];
	int16 frustum_corner_count;
	world_point2d frustum_corners[MAXIMUM_FRUSTUM_CORNERS];
};

static inline render_vertex **mesh_region_vertex_slot(mesh_region *region, int32 column, int32 row)
{
	return &region->vertices[(row - region->original_y0) * MAXIMUM_MESH_REGION_WIDTH + (column - region->original_x0)];
}

/* ---------- categories and statistics */

enum
{
	_surface_category_media,
	_surface_category_mesh,
	_surface_category_reflective_objects,
	_surface_category_opaque_objects,
	_surface_category_reflections,
	_surface_category_text_rectangles,
	_surface_category_translucent_objects,
	_surface_category_discarded,
	NUMBER_OF_SURFACE_CATEGORIES
};

struct surface_category
{
	const char *name;
	int32 sort_offset; // -1: none
	uint32 sort_mask;
	boolean sorted;
	render_surface **surfaces;
	int32 count;
};

extern surface_category surface_categories[NUMBER_OF_SURFACE_CATEGORIES];

struct render_surface_count_data
{
	int16 triangle_count, mesh_triangle_count, reflected_mesh_triangle_count, media_triangle_count,
		transparent_mesh_triangle_count, model_triangle_count, reflected_model_triangle_count, rectangle_count,
		reflected_rectangle_count;
};

struct render_statistics
{
	int32 used_memory, total_memory;
	render_surface_count_data extant, discarded;
};

/* ---------- effects */

typedef void (*postrasterization_effect_proc)(view_data *view);
typedef void (*prerender_effect_proc)(view_data *view, mesh_region *region, render_surface_list *surfaces);
typedef void (*rasterize_surfaces_proc)(void *context, render_surface **surfaces, int32 count);

#define MAXIMUM_NUMBER_OF_REGISTERED_PRE_EFFECTS 2

struct pre_effect
{
	int32 priority;
	prerender_effect_proc procedure;
};

/* ---------- the bitmap surface utilities' arguments */

struct render_quad_data
{
	render_vertex *vertices[4]; // A, B, C, D
	uint16 flags;
	fixed_fraction transparency;
	int16 collection_index;
	int16 color_table_index;
	const bitmap_instance_data *instance;
	short_world_distance surface_z;
	// Texture fractions (65,536 = once across) at A-B and C-D, and at the top
	// (A, D) and bottom (B, C); all zero spans the texture once.
	uint16 u_back, u_front, v_top, v_bottom;
};

struct extended_bitmap_surface_data
{
	uint16 flags; // bit 0 reflection, bit 1 laid along the direction
	int16 collection_index, color_table_index;
	fixed_fraction transparency;
	world_distance overlap_amount;
	int16 world_left, world_right, world_top, world_bottom;
	int16 horizontal_scale, vertical_scale; // 256 = 1.0
};

enum
{
	_top_plane,
	_bottom_plane,
	_left_plane,
	_right_plane
};

/* ---------- terrain (render_mesh.cpp) */

#define MINIMUM_SHADOW_MAP_INTENSITY 64
#define MAXIMUM_SHADOW_MAP_INTENSITY 255
#define MAXIMUM_SHADOW_MAP_WIDTH 32
#define TOTAL_VOLATILE_SUBTEXTURE_CELL_WIDTH 8
#define FRACTIONAL_PIXEL_BITS 6
#define PIXEL_ONE 63
#define VOLATILE_MAP_WIDTH 512
#define VOLATILE_MAP_GUARD 516
#define VOLATILE_MAP_ALLOCATION (VOLATILE_MAP_WIDTH * VOLATILE_MAP_WIDTH + 2 * VOLATILE_MAP_GUARD)

struct render_map_overlay
{
	short_world_distance x0, y0; // relative to the volatile maps' origin
	uint8 collection_index, color_table_index;
	uint16 bitmap_index;
	fixed_fraction density;
	render_map_overlay *next_map_overlay;
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
	_shadow_map_overlay,
	_light_map_overlay,
	_copy_shadow_map,

	_volatile_overlay_shadow_maps = _shadow_map_overlay,
	_volatile_overlay_light_maps = _light_map_overlay,
	_volatile_overlay_animated_model_shadow_maps = _copy_shadow_map
};

extern uint8 *volatile_color_map, *volatile_shadow_map;
extern uint8 *volatile_coverage_map;
extern uint8 *volatile_coverage_list;
extern int32 volatile_coverage_list_size;
extern int16 volatile_x0, volatile_y0;
extern boolean volatile_maps_changed;
extern const uint32 *volatile_color_map_shading_table; // 65536 colours: shadow << 8 | colour
extern const uint8 *volatile_color_map_blend_table; // 65536 colour indexes
#define volatile_coverage_map_size 64

/* ---------- life cycle and frames */

void initialize_render(void);
// False when the renderer cannot start the map.
boolean initialize_render_for_new_map(void);
void dispose_render_from_old_map(void);

view_data *last_render_view(void);
render_surface_list *last_render_surface_list(void);
void render_scene(view_data *view);
void get_render_statistics(render_statistics *statistics);
boolean point_in_visible_mesh_region(const world_point2d *point, const mesh_region *region);
short_world_point3d *transform_world_point_to_viewer_space(const view_data *view, const world_point3d *world_point,
	short_world_point3d *result, boolean reflected);

// From the per-frame arena; running out ends the process.
void *render_malloc(int32 size);
// One scratch block ending at the arena's end, the same for every call.
void *render_temporary(int32 size);

void new_surface_list(render_surface_list *list);
void add_surface_to_surface_list(render_surface_list *list, render_surface *surface);
void register_prerender_effect(int32 priority, prerender_effect_proc procedure);
void rasterize_surface_category(void *context, int16 category_index, int32 max_chunk_size, boolean sort,
	uint32 user_mask, rasterize_surfaces_proc rasterize);
void sort_surface_category(int16 category_index, uint32 user_mask);

void clip_affine_vertex_to_all_planes(const view_data *view, render_vertex *vertex);
void clip_surface(const view_data *view, render_surface *surface);
void clip_corners_to_plane(const view_data *view, int16 plane, const render_corner *in_corner,
	const render_corner *out_corner, render_corner *result);
int16 clip_perspective_triangle_to_all_planes(const view_data *view, const render_triangle *triangle,
	render_corner *corners);

void build_bitmap_surface_rectangle(const bitmap_instance_data *instance, render_surface_list *surfaces,
	int16 collection_index, int16 color_table_index, fixed_fraction transparency,
	const short_world_point3d *transformed_position, const rectangle2d *viewer_rect, int16 x0, int16 x1, int16 y0,
	int16 y1);
void quad_into_triangles(view_data *view, render_quad_data *data, render_surface_list *surfaces);
void build_extended_bitmap_surface_triangles(const bitmap_instance_data *instance,
	const short_world_point3d *transformed_position, const world_vector3d *direction, view_data *view,
	render_surface_list *surfaces, const extended_bitmap_surface_data *data);

// Reachable from tests.
void update_view_data(view_data *view);
void build_scene(view_data *view, render_surface_list *surfaces);
void postprocess_scene(view_data *view, render_surface_list *surfaces);
int16 categorize_surface(render_surface *surface);
mesh_region *build_mesh_region(view_data *view);
extern mesh_region *last_region;
extern int32 last_ticks;

/* ---------- terrain (render_mesh.cpp) */

void build_mesh_surface_list(view_data *view, mesh_region *region);
void build_volatile_maps(view_data *view, mesh_region *region);
void rasterize_shadow_map_overlays(render_map_overlay *overlays, int16 mode);
void rasterize_volatile_shadow_map_overlay(int16 mode, fixed_fraction density, const uint8 *overlay,
	int32 bytes_per_row, int32 width, int32 height, world_distance x0, world_distance y0);
void rasterize_permanent_overlay(const permanent_overlay_data *overlay);
void initialize_media_coverage_region(const uint16 *media_coverage_region, int32 media_coverage_region_size);
void dispose_media_coverage_region(void);
boolean mesh_texture_pixel_is_media(int32 x, int32 y);
// 64 x 64-texel tiles of 6 x 6 cells for a tiled hardware path (no caller).
void build_volatile_subtexture(int32 subtexture_index, uint8 *buffer, boolean color);
void build_volatile_subtexture_16bit(int32 subtexture_index, uint16 *buffer);
void build_volatile_subtexture_32bit(int32 subtexture_index, uint32 *buffer);

/* ---------- the rasterizer (render_rasterize.cpp) */

#define MAXIMUM_NUMBER_OF_REGISTERED_POST_EFFECTS 8

struct post_effect
{
	int32 priority; // higher runs earlier
	postrasterization_effect_proc function_pointer;
};

extern post_effect post_effects[MAXIMUM_NUMBER_OF_REGISTERED_POST_EFFECTS];
extern int16 number_of_registered_post_effects;

void initialize_rasterizer(void);
boolean initialize_rasterizer_for_new_map(void);
void dispose_rasterizer_from_old_map(void);
void rasterize_scene(view_data *view, render_surface_list *surfaces);
void register_postrasterization_effect(int32 priority, postrasterization_effect_proc procedure);
int32 compare_post_effects(const void *a, const void *b);
void rasterize_text_rectangles(void *context, render_surface **rectangles, int32 count);
void rasterize_mesh_triangle_32bit(bitmap_data *destination, render_surface *surface);
void rasterize_filled_rectangle_32bit(bitmap_data *destination, render_surface *surface);
void rasterize_triangle_32bit(bitmap_data *destination, render_surface *surface);
void rasterize_model_triangle_32bit(bitmap_data *destination, render_surface *surface);
void rasterize_rectangle_32bit(bitmap_data *destination, render_surface *surface);

struct z_buffer_data;

// One pixel format's drawing procedures; the 32-bit set is the only one.
struct rasterization_procs
{
	void (*rasterize_model_triangle)(bitmap_data *destination, render_surface *surface);
	void (*rasterize_mesh_triangle)(bitmap_data *destination, render_surface *surface);
	void (*rasterize_triangle)(bitmap_data *destination, render_surface *surface);
	void (*rasterize_rectangle)(bitmap_data *destination, render_surface *surface);
	void (*rasterize_filled_rectangle)(bitmap_data *destination, render_surface *surface);
	void (*rasterize_reflection_map)(view_data *view, z_buffer_data *z_buffer);
};

extern const rasterization_procs procs_32bit;

/* ---------- the reflection map (nothing draws it yet) */

#define REFLECTION_MAP_WIDTH_BITS 9
#define REFLECTION_MAP_WIDTH (1 << REFLECTION_MAP_WIDTH_BITS)
#define REFLECTION_MAP_INTERPOLANT_DOWNSHIFT 23

enum
{
	_z_empty,
	_z_solid
};

// One run of a z-buffer row: it ends before x1 and starts where the previous run ended.
struct z_buffer_node
{
	int16 x1;
	int16 type;
	z_buffer_node *next;
};

// Row i of the lists is screen row y0 + i; each row's first run starts at x0.
struct z_buffer_data
{
	int16 width, height;
	int16 x0, y0, x1, y1;
	z_buffer_node **rows;
};

extern uint8 *reflection_map; // REFLECTION_MAP_WIDTH squared texels, or NULL
extern uint32 *reflection_map_shading_table; // 256 colours, or NULL

void rasterize_reflection_map_32bit(view_data *view, z_buffer_data *z_buffer);

/* ---------- test hooks */

struct render_test_hooks_data
{
	int32 frames_rendered;
	int32 surfaces_per_category[NUMBER_OF_SURFACE_CATEGORIES];
	int32 media_coverage_initializations;
};

render_test_hooks_data *get_render_test_hooks(void);
void reset_render_test_hooks(void);

#endif
