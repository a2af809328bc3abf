// Terrain surfaces: the mesh triangles of the visible region, the volatile
// colour and shadow maps around the viewer and the overlays splatted into them.
#include "render/render.h"

#include <algorithm>
#include <vector>
#include <cstring>

#include "console/console.h"
#include "detail_maps.h"
#include "error_manager.h"
#include "mesh.h"
#include "shapes.h"
#include "world.h"
#include "test_hooks.h"

uint8 *volatile_color_map = NULL, *volatile_shadow_map = NULL;
uint8 *volatile_coverage_map = NULL;
uint8 *volatile_coverage_list = NULL;
int32 volatile_coverage_list_size = 0;
int16 volatile_x0 = 0, volatile_y0 = 0;
boolean volatile_maps_changed = FALSE;
const uint32 *volatile_color_map_shading_table = NULL;
const uint8 *volatile_color_map_blend_table = NULL;

/* ---------- tessellation */

namespace {

struct block_context
{
	view_data *view;
	mesh_region *region;
	render_vertex *vertices[3][3]; // [row offset][column offset]
	int16 u[3][3], v[3][3];
	uint16 flags, media_flags;
	uint32 texture;
};

}

// (column offset, row offset) of the fan's sides: first end, midpoint, other end.
static const int8 side_points[4][3][2] = {{{2, 0}, {1, 0}, {0, 0}}, {{2, 2}, {2, 1}, {2, 0}},
	{{0, 2}, {1, 2}, {2, 2}}, {{0, 0}, {0, 1}, {0, 2}}};

static render_triangle *build_block_triangle(block_context *block, const int8 (&a)[2], const int8 (&b)[2],
	const int8 (&c)[2], boolean media, uint32 detail)
{
	const int8 *points[3] = {a, b, c};
	render_vertex *vertices[3];
	for (int32 i = 0; i < 3; ++i)
	{
		vertices[i] = block->vertices[points[i][1]][points[i][0]];
		if (!vertices[i] || (vertices[i]->flags & _vertex_discarded_flag)) return NULL;
	}
	render_triangle *triangle = static_cast<render_triangle *>(render_malloc(sizeof(render_triangle)));
	memset(triangle, 0, sizeof(*triangle));
	set_surface_type(&triangle->surface, _surface_type_triangle, _surface_subtype_mesh_triangle);
	set_surface_flags(&triangle->surface, media ? block->media_flags : block->flags);
	triangle->texture = block->texture;
	triangle->detail = detail;
	short_world_distance z = vertices[0]->p.z;
	for (int32 i = 0; i < 3; ++i)
	{
		if (vertices[i]->p.z < z) z = vertices[i]->p.z;
		triangle->corners[i].vertex = vertices[i];
		triangle->corners[i].interpolants[0] = block->u[points[i][1]][points[i][0]];
		triangle->corners[i].interpolants[1] = block->v[points[i][1]][points[i][0]];
	}
	triangle->surface.z = z;
	add_surface_to_surface_list(block->view->main_surface_list, &triangle->surface);
	return triangle;
}

static const int8 block_centre[2] = {1, 1};

static void build_block_fan(block_context *block, uint16 word)
{
	for (int32 side = 0; side < 4; ++side)
	{
		const int8(&first)[2] = *reinterpret_cast<const int8(*)[2]>(side_points[side][0]);
		const int8(&middle)[2] = *reinterpret_cast<const int8(*)[2]>(side_points[side][1]);
		const int8(&other)[2] = *reinterpret_cast<const int8(*)[2]>(side_points[side][2]);
		if (!(word & (1u << side)))
		{
			build_block_triangle(block, block_centre, first, other, (word & (1u << (8 + 2 * side))) != 0, 0);
			continue;
		}
		if (word & (1u << (4 + (side + 1) % 4)))
		{
			build_block_triangle(block, block_centre, first, middle, (word & (1u << (9 + 2 * side))) != 0, 0);
		}
		if (word & (1u << (4 + side)))
		{
			build_block_triangle(block, block_centre, middle, other, (word & (1u << (8 + 2 * side))) != 0, 0);
		}
	}
}

// Detail maps: the full fan of eight halves, each with its cell's detail word;
// each half-block's triangles take the half's farthest depth so that layered
// passes sort together.
static void build_block_detail_fan(block_context *block, uint16 word, int32 column, int32 row)
{
	// Side halves in fan order map to cells: side 0 (top row) covers cells 1, 0; side 1 cells 2, 1; side 2
	// cells 3, 2; side 3 cells 0, 3.
	render_triangle *slots[8] = {};
	for (int32 side = 0; side < 4; ++side)
	{
		const int8(&first)[2] = *reinterpret_cast<const int8(*)[2]>(side_points[side][0]);
		const int8(&middle)[2] = *reinterpret_cast<const int8(*)[2]>(side_points[side][1]);
		const int8(&other)[2] = *reinterpret_cast<const int8(*)[2]>(side_points[side][2]);
		for (int32 half = 0; half < 2; ++half)
		{
			const int32 cell = half == 0 ? (side + 1) % 4 : side;
			if (!(word & (1u << (4 + cell)))) continue;
			static const int8 cell_offsets[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
			const int32 cx = column + cell_offsets[cell][0], cy = row + cell_offsets[cell][1];
			uint32 detail = 0;
			if (detail_map_layer_info && detail_map_layer_row_cells > 0 && cx < detail_map_layer_row_cells)
			{
				detail = detail_map_layer_info[(cy * detail_map_layer_row_cells + cx) * 2 + half];
			}
			const boolean media = (word & (1u << (half == 0 ? 9 + 2 * side : 8 + 2 * side))) != 0;
			slots[side * 2 + half] = half == 0 ? build_block_triangle(block, block_centre, first, middle, media, detail)
											   : build_block_triangle(block, block_centre, middle, other, media, detail);
		}
	}
	for (int32 group = 0; group < 2; ++group)
	{
		short_world_distance z = 32767;
		for (int32 i = group * 4; i < group * 4 + 4; ++i)
		{
			if (slots[i] && slots[i]->surface.z < z) z = slots[i]->surface.z;
		}
		for (int32 i = group * 4; i < group * 4 + 4; ++i)
		{
			if (!slots[i]) continue;
			slots[i]->surface.z = z;
			slots[i]->surface.precise_z = static_cast<world_distance>(z) * 16384;
		}
	}
}

static void build_mesh_block(block_context *block, int32 column, int32 row)
{
	mesh_region *region = block->region;
	const view_data *view = block->view;
	const boolean cell_units = view->rasterizer_code == 0 || view->rasterizer_code == 5 || view->rasterizer_code == 6;
	for (int32 r = 0; r < 3; ++r)
	{
		for (int32 c = 0; c < 3; ++c)
		{
			const int32 x = column + c, y = row + r;
			render_vertex *vertex = NULL;
			if (x >= region->original_x0 && x < region->original_x0 + MAXIMUM_MESH_REGION_WIDTH &&
				y >= region->original_y0 && y < region->original_y0 + MAXIMUM_MESH_REGION_WIDTH)
			{
				vertex = *mesh_region_vertex_slot(region, x, y);
			}
			block->vertices[r][c] = vertex;
			if (cell_units)
			{
				block->u[r][c] = static_cast<int16>(column - region->x0 + c);
				block->v[r][c] = static_cast<int16>(row - region->y0 + r);
			}
			else
			{
				block->u[r][c] = static_cast<int16>(((column % 6) + 1 + c) * 8192);
				block->v[r][c] = static_cast<int16>(((row % 6) + 1 + r) * 8192);
			}
		}
	}
	block->texture = cell_units ? 0 : build_bitmap_identifier(0, static_cast<uint32>((row / 6) * 256 + column / 6), 0, 0);

	const int32 LOD_width = mesh_globals->mesh_width / 2;
	const int32 index = LOD_width * (row / 2) + column / 2;
	uint16 word = 0x00F0; // all cells rendered, no splits
	if (mesh_globals->mesh_LOD_data && index >= 0 &&
		index < mesh_globals->mesh_LOD_data_size / static_cast<int32>(sizeof(uint16)))
	{
		word = mesh_globals->mesh_LOD_data[index];
	}

	if (detail_maps_active())
	{
		build_block_detail_fan(block, word, column, row);
		return;
	}
	if (!(word & LOD_DETAIL_BITS))
	{
		const boolean media = (word & (1u << 8)) != 0;
		static const int8 p00[2] = {0, 0}, p20[2] = {2, 0}, p02[2] = {0, 2}, p22[2] = {2, 2};
		if ((((row ^ column) >> 1) & 1) == 0)
		{
			build_block_triangle(block, p22, p20, p00, media, 0);
			build_block_triangle(block, p00, p02, p22, media, 0);
		}
		else
		{
			build_block_triangle(block, p20, p00, p02, media, 0);
			build_block_triangle(block, p02, p22, p20, media, 0);
		}
		return;
	}
	build_block_fan(block, word);
}

void build_mesh_surface_list(view_data *view, mesh_region *region)
{
	if (!view || !region || !mesh_is_loaded() || !mesh_globals->header) return;
	if (region->y1 <= region->y0) return;
	block_context block;
	memset(&block, 0, sizeof(block));
	block.view = view;
	block.region = region;
	const uint16 filtered = (view->flags & _render_view_filtering_flag) ? _surface_filtered_flag : 0;
	block.flags = filtered;
	block.media_flags = static_cast<uint16>(_surface_media_flag | filtered);

	const int32 row_end = std::min<int32>((region->y1 + 1) & ~1, region->original_y0 + 62);
	for (int32 row = region->y0 & ~1; row < row_end; row += 2)
	{
		int32 x0 = 32767, x1 = -32768;
		for (int32 r = row; r < row + 2; ++r)
		{
			if (r < region->y0 || r >= region->y1) continue;
			const mesh_span *span = &region->spans[r - region->y0];
			x0 = std::min<int32>(x0, span->x0);
			x1 = std::max<int32>(x1, span->x1);
		}
		if (x1 < x0) continue;
		const int32 column_end = std::min<int32>((x1 + 1) & ~1, region->original_x0 + 62);
		for (int32 column = x0 & ~1; column < column_end; column += 2) build_mesh_block(&block, column, row);
	}
}

/* ---------- volatile maps */

static void copy_submesh_piece(int32 row, int32 column, int32 cells)
{
	const int32 submesh = (row / SUBMESH_WIDTH) * mesh_globals->submesh_width + column / SUBMESH_WIDTH;
	const uint8 *color = get_submesh_color_map_base_address(static_cast<int16>(submesh), FALSE);
	const uint8 *shadow = get_submesh_shadow_map_base_address(static_cast<int16>(submesh), FALSE);
	const int32 source_offset = (row % SUBMESH_WIDTH) * 8 * SUBMESH_TEXTURE_SIZE + (column % SUBMESH_WIDTH) * 8;
	const int32 destination_offset = (row - volatile_y0) * 8 * VOLATILE_MAP_WIDTH + (column - volatile_x0) * 8;
	for (int32 line = 0; line < 8; ++line)
	{
		uint8 *color_row = volatile_color_map + destination_offset + line * VOLATILE_MAP_WIDTH;
		uint8 *shadow_row = volatile_shadow_map + destination_offset + line * VOLATILE_MAP_WIDTH;
		if (color) memcpy(color_row, color + source_offset + line * SUBMESH_TEXTURE_SIZE, cells * 8);
		else memset(color_row, 0, cells * 8);
		if (shadow) memcpy(shadow_row, shadow + source_offset + line * SUBMESH_TEXTURE_SIZE, cells * 8);
		else memset(shadow_row, 0, cells * 8);
	}
}

static void mark_coverage_block(int32 block_row, int32 block_column)
{
	if (block_row > 7 || block_column < 0 || block_column > 7 || block_row < 0) return;
	const int32 index = block_row * 8 + block_column;
	if (volatile_coverage_map[index]) return;
	volatile_coverage_map[index] = 1;
	volatile_coverage_list[volatile_coverage_list_size++] = static_cast<uint8>(index);
}

void build_volatile_maps(view_data *view, mesh_region *region)
{
	(void)view;
	if (!region || !volatile_color_map || !volatile_coverage_map) return;
	volatile_maps_changed = TRUE;
	volatile_x0 = region->x0;
	volatile_y0 = region->y0;
	memset(volatile_coverage_map, 0, volatile_coverage_map_size);
	volatile_coverage_list_size = 0;
	if (!mesh_is_loaded() || region->y1 < region->y0) return;

	for (int32 row = region->y0; row <= region->y1; ++row)
	{
		const mesh_span *span = &region->spans[row - region->y0];
		if (span->x0 >= span->x1) continue;
		const int32 block_row = (row - volatile_y0) >> 3;
		for (int32 bc = (span->x0 - volatile_x0) >> 3; bc <= (span->x1 - volatile_x0) >> 3; ++bc)
		{
			mark_coverage_block(block_row, bc);
			if (((row - volatile_y0) & 7) == 7) mark_coverage_block(std::min<int32>(block_row + 1, 7), bc);
		}
		if (row >= mesh_globals->mesh_height || row - volatile_y0 >= MAXIMUM_MESH_REGION_WIDTH) continue;
		int32 column = span->x0;
		const int32 end = std::min<int32>(span->x1, std::min<int32>(mesh_globals->mesh_width,
			volatile_x0 + MAXIMUM_MESH_REGION_WIDTH));
		while (column < end)
		{
			const int32 piece_end = std::min<int32>(end, (column / SUBMESH_WIDTH + 1) * SUBMESH_WIDTH);
			copy_submesh_piece(row, column, piece_end - column);
			column = piece_end;
		}
	}
}

/* ---------- overlays */

void rasterize_volatile_shadow_map_overlay(int16 mode, fixed_fraction density, const uint8 *overlay,
	int32 bytes_per_row, int32 width, int32 height, world_distance x0, world_distance y0)
{
	if (!overlay || !volatile_shadow_map || width < 1 || height < 1) return;
	const int32 tx = x0 >> FRACTIONAL_PIXEL_BITS, ty = y0 >> FRACTIONAL_PIXEL_BITS;
	if (tx > 511 || ty > 511 || tx + width <= 0 || ty + height <= 0) return;
	// The overlay's columns that land on the map.
	const int32 c_first = std::max<int32>(0, -tx), c_stop = static_cast<int32>(std::min<int64>(width, 512 - static_cast<int64>(tx)));
	if (mode == _copy_shadow_map)
	{
		for (int32 r = 0; r < height; ++r)
		{
			const int32 y = ty + r;
			if (y < 0 || y > 511) continue;
			const uint8 *source = overlay + static_cast<intptr_t>(r) * bytes_per_row;
			uint8 *s = &volatile_shadow_map[y * VOLATILE_MAP_WIDTH];
			for (int32 c = c_first; c < c_stop; ++c)
			{
				if (source[c] < s[tx + c]) s[tx + c] = source[c];
			}
		}
		return;
	}
	const int32 fx = PIXEL_ONE - (x0 & PIXEL_ONE), fy = PIXEL_ONE - (y0 & PIXEL_ONE);
	// Each overlay row's weighted values once, with a zero column left of the
	// first and zero rows above the first: a(c, r) is row_values[r][c + 1].
	enum { stack_width = 256 };
	int32 stack_buffer[2 * (stack_width + 1)];
	std::vector<int32> heap_buffer;
	int32 *buffer = stack_buffer;
	if (width > stack_width)
	{
		heap_buffer.resize(2 * (static_cast<size_t>(width) + 1));
		buffer = heap_buffer.data();
	}
	int32 *above = buffer, *values = buffer + width + 1;
	std::fill(above, above + width + 1, 0);
	for (int32 r = 0; r < height; ++r)
	{
		const uint8 *source = overlay + static_cast<intptr_t>(r) * bytes_per_row;
		values[0] = 0;
		for (int32 c = 0; c < width; ++c) values[c + 1] = static_cast<int32>((static_cast<uint32>(source[c]) * density) >> 16);
		const int32 y = ty + r;
		if (y >= 0 && y <= 511)
		{
			uint8 *const line = &volatile_shadow_map[y * VOLATILE_MAP_WIDTH];
			for (int32 c = c_first; c < c_stop; ++c)
			{
				uint8 *const s = line + tx + c;
				const int32 h0 = fx * values[c + 1] + (PIXEL_ONE - fx) * values[c];
				const int32 h1 = fx * above[c + 1] + (PIXEL_ONE - fx) * above[c];
				const int32 value = (fy * h0 + (PIXEL_ONE - fy) * h1) >> 12;
				if (mode == _light_map_overlay)
				{
					*s = static_cast<uint8>(std::min<int32>(*s + value, MAXIMUM_SHADOW_MAP_INTENSITY));
				}
				else if (values[c + 1] != 0)
				{
					const int32 darker = std::max<int32>(MINIMUM_SHADOW_MAP_INTENSITY, ((255 - value) * *s) >> 8);
					*s = static_cast<uint8>(std::min<int32>(*s, darker));
				}
			}
		}
		std::swap(above, values);
	}
}

void rasterize_shadow_map_overlays(render_map_overlay *overlays, int16 mode)
{
	for (render_map_overlay *overlay = overlays; overlay; overlay = overlay->next_map_overlay)
	{
		const bitmap_data *bitmap = get_bitmap(overlay->collection_index, static_cast<int16>(overlay->bitmap_index));
		if (!bitmap) continue;
		if (bitmap->width >= MAXIMUM_SHADOW_MAP_WIDTH)
		{
			const char *name = get_collection_name(overlay->collection_index);
			cprintf(FALSE, "### %s shadow width #%d not in [#%d,#%d]", name ? name : "", bitmap->width, 0,
				MAXIMUM_SHADOW_MAP_WIDTH);
			continue;
		}
		rasterize_volatile_shadow_map_overlay(mode, overlay->density, bitmap->row_addresses[0], bitmap->bytes_per_row,
			bitmap->width, bitmap->height, overlay->x0, overlay->y0);
	}
}

/* ---------- volatile subtextures */

#define SUBTEXTURE_WIDTH 64
#define SUBTEXTURE_BORDER 4

// Walks the 56 x 56 inner texels of a 6 x 6-cell tile and the 4-texel border
// of its neighbours, clipped to the maps; proc (destination index, map index).
template <typename texel_proc>
static void walk_volatile_subtexture(int32 subtexture_index, texel_proc proc)
{
	const int32 tile_row = subtexture_index / 256, tile_column = subtexture_index % 256;
	const int32 origin_x = (tile_column * 6 - volatile_x0) * MESH_TEXELS_PER_CELL;
	const int32 origin_y = (tile_row * 6 - volatile_y0) * MESH_TEXELS_PER_CELL;
	for (int32 r = SUBTEXTURE_BORDER; r < SUBTEXTURE_WIDTH - SUBTEXTURE_BORDER; ++r)
	{
		const int32 y = origin_y - SUBTEXTURE_BORDER + (r - SUBTEXTURE_BORDER);
		if (y < 0 || y >= VOLATILE_MAP_WIDTH) continue;
		for (int32 c = SUBTEXTURE_BORDER; c < SUBTEXTURE_WIDTH - SUBTEXTURE_BORDER; ++c)
		{
			const int32 x = origin_x - SUBTEXTURE_BORDER + (c - SUBTEXTURE_BORDER);
			if (x < 0 || x >= VOLATILE_MAP_WIDTH) continue;
			proc(r * SUBTEXTURE_WIDTH + c, y * VOLATILE_MAP_WIDTH + x);
		}
	}
}

void build_volatile_subtexture(int32 subtexture_index, uint8 *buffer, boolean color)
{
	if (!buffer || !volatile_color_map) return;
	const uint8 *map = color ? volatile_color_map : volatile_shadow_map;
	walk_volatile_subtexture(subtexture_index, [&](int32 to, int32 from) { buffer[to] = map[from]; });
}

void build_volatile_subtexture_16bit(int32 subtexture_index, uint16 *buffer)
{
	const uint16 *table = reinterpret_cast<const uint16 *>(volatile_color_map_shading_table);
	if (!buffer || !volatile_color_map || !table) return;
	walk_volatile_subtexture(subtexture_index, [&](int32 to, int32 from) {
		buffer[to] = table[((volatile_shadow_map[from] >> 2) << 8) | volatile_color_map[from]];
	});
}

void build_volatile_subtexture_32bit(int32 subtexture_index, uint32 *buffer)
{
	if (!buffer || !volatile_color_map || !volatile_color_map_shading_table) return;
	walk_volatile_subtexture(subtexture_index, [&](int32 to, int32 from) {
		buffer[to] = volatile_color_map_shading_table[(volatile_shadow_map[from] << 8) | volatile_color_map[from]];
	});
}

/* ---------- media coverage */

void initialize_media_coverage_region(const uint16 *media_coverage_region, int32 media_coverage_region_size)
{
	service_trace("initialize_media_coverage_region");
	get_render_test_hooks()->media_coverage_initializations += 1;
	(void)media_coverage_region;
	(void)media_coverage_region_size;
	volatile_color_map_shading_table = static_cast<const uint32 *>(get_color_map_shading_table());
	volatile_color_map_blend_table = static_cast<const uint8 *>(get_color_map_blend_table());
}

void dispose_media_coverage_region(void)
{
	volatile_color_map_shading_table = NULL;
	volatile_color_map_blend_table = NULL;
}

// The mesh decodes and checks the coverage rows at load; one implementation.
boolean mesh_texture_pixel_is_media(int32 x, int32 y)
{
	return mesh_coverage_texel_is_media(x, y);
}

// A stain burnt into the mesh's own maps: shadows darken, colours blend,
// texels under media are spared and texels off the mesh skipped.
void rasterize_permanent_overlay(const permanent_overlay_data *overlay)
{
	if (!overlay || !mesh_is_loaded()) return;
	const int16 collection = overlay->collection_index, sequence_index = overlay->sequence_index;
	sequence_data *sequence = get_sequence(collection, sequence_index);
	if (!sequence || sequence->number_of_views < 1 || sequence->frames_per_view < 1) return;
	const int16 frame_index = static_cast<int16>(overlay->index % sequence->frames_per_view);
	const int16 view = static_cast<int16>(overlay->index % sequence->number_of_views);
	const sequence_frame_data *frame = get_sequence_frame(sequence, collection, sequence_index, frame_index);
	point2d registration = {0, 0};
	bitmap_data *color = get_sequence_bitmap(collection, sequence_index, view, frame_index, &registration, NULL);
	const shadow_map_data *shadow_map = frame ? get_shadow_map(collection, frame->shadow_map_index) : NULL;
	const bitmap_data *shadow = shadow_map ? get_bitmap(collection, shadow_map->bitmap_index) : NULL;
	if (!color || !shadow || color->width != shadow->width || color->height != shadow->height) return;
	if ((color->flags | shadow->flags) & (_1bit_transparency_encoded_flag | _4bit_transparency_encoded_flag)) return;

	const int32 left = overlay->origin.x - registration.x, top = overlay->origin.y - registration.y;
	const boolean mirror_horizontal = (local_random() & 1) != 0;
	const boolean mirror_vertical = (local_random() & 1) != 0;

	const int16 landscape = mesh_globals->landscape_collection_index;
	if (!(color->flags & _postprocessed_bitmap_flag))
	{
		const color_table *source = get_color_table(collection, 0);
		const color_table *destination = get_color_table(landscape, 0);
		if (source && destination) remap_bitmap(color, source, destination);
		color->flags |= _postprocessed_bitmap_flag;
	}
	const uint8 *blend = volatile_color_map_blend_table;
	const int32 texels_wide = mesh_globals->mesh_width * MESH_TEXELS_PER_CELL;
	const int32 texels_high = mesh_globals->mesh_height * MESH_TEXELS_PER_CELL;
	// A stain's texels mostly fall in one submesh: its maps are asked for again
	// only when the submesh changes (asking marks them changed, which is idempotent).
	int16 held_submesh = NONE;
	uint8 *color_map = nullptr, *shadow_map_texels = nullptr;
	for (int32 r = 0; r < color->height; ++r)
	{
		const int32 y = top + r;
		if (y < 0 || y >= texels_high) continue;
		const int32 source_row = mirror_vertical ? color->height - 1 - r : r;
		for (int32 c = 0; c < color->width; ++c)
		{
			const int32 x = left + c;
			if (x < 0 || x >= texels_wide || mesh_texture_pixel_is_media(x, y)) continue;
			const int32 source_column = mirror_horizontal ? color->width - 1 - c : c;
			const int16 submesh = static_cast<int16>((y / SUBMESH_TEXTURE_SIZE) * mesh_globals->submesh_width +
				x / SUBMESH_TEXTURE_SIZE);
			if (submesh != held_submesh)
			{
				color_map = get_submesh_color_map_base_address(submesh, TRUE);
				shadow_map_texels = get_submesh_shadow_map_base_address(submesh, TRUE);
				if (!color_map || !shadow_map_texels) return;
				held_submesh = submesh;
			}
			const int32 offset = (y % SUBMESH_TEXTURE_SIZE) * SUBMESH_TEXTURE_SIZE + x % SUBMESH_TEXTURE_SIZE;
			const uint8 darkness = shadow->row_addresses[source_row][source_column];
			shadow_map_texels[offset] = static_cast<uint8>(((255 - darkness) * shadow_map_texels[offset]) >> 8);
			const uint8 stain = color->row_addresses[source_row][source_column];
			if (stain && blend) color_map[offset] = blend[color_map[offset] * 256 + stain];
		}
	}
}
