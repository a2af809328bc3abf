// The drawing half of the OpenGL back end: scene surfaces by categories (with
// the depth buffer) or in painter's order, and the two-dimensional calls.
#include "hardware/OpenGL/render_opengl.h"

#include <cmath>
#include <cstring>
#include <utility>

#include "hardware/OpenGL/gl_prefs.h"
#include "hardware/OpenGL/setup_opengl.h"
#include "hardware/OpenGL/utilities_opengl.h"
#include "CoreLibrary/zerv/error_manager.h"
#include "bitmap_dialogs/dialogs.h"
#include "bitmap_text.h"
#include "detail_maps.h"
#include "game_preferences.h"
#include "render/radix_sort.h"
#include "render/render.h"
#include "screen.h"

bitmap_tex_cache_entry_data cached_bitmaps[MAXIMUM_CACHED_BITMAPS];
int32 cached_bitmap_count;
tint_shader_data current_tint_shader;
int32 filled_rectangle_depth_mode, rectangle_depth_mode, model_triangle_depth_mode;
int32 frame_index;
boolean rasterizing_scene;
const uint8 zero_one[2] = { 0, 255 };

static const view_data *scene_view;
// A non-null context: the opaque objects lay depth at their true positions.
static int32 rasterize_depth_context_true;

/* ---------- vertices */

static void set_color(opengl_vertex *vertex, int32 argb)
{
	const uint32 c = static_cast<uint32>(argb);
	vertex->color[0] = static_cast<uint8>(c >> 16);
	vertex->color[1] = static_cast<uint8>(c >> 8);
	vertex->color[2] = static_cast<uint8>(c);
	vertex->color[3] = static_cast<uint8>(c >> 24);
}

static void set_2d_vertex(opengl_vertex *vertex, const bitmap_data *destination, float x, float y, int32 argb)
{
	const float x0 = destination ? destination->x0 : 0, y0 = destination ? destination->y0 : 0;
	set_opengl_vertex_position(vertex, x + x0, y + y0, 0.0f, 1.0f);
	memset(vertex->texture, 0, sizeof(vertex->texture));
	memset(vertex->tint, 0, sizeof(vertex->tint));
	set_color(vertex, argb);
}

static void draw_vertices(GLenum mode, int32 count)
{
	if (count > 0) opengl_api.glDrawArrays(mode, 0, count);
}

// A quad given as a fan goes to the queue as the fan's two triangles.
static void queue_quad(const opengl_vertex corners[4])
{
	opengl_vertex *v = reserve_batched_vertices_opengl(6);
	if (!v) return;
	v[0] = corners[0];
	v[1] = corners[1];
	v[2] = corners[2];
	v[3] = corners[0];
	v[4] = corners[2];
	v[5] = corners[3];
}

/* ---------- depth formulas */

static int16 clamp_int16(double value)
{
	if (!(value == value)) return 0;
	if (value >= 32767.0) return 32767;
	if (value <= -32768.0) return -32768;
	return static_cast<int16>(value);
}

int16 filled_rectangle_edge_depth(float oy, float z, float y_edge, float m21, float m22, float unproject_scale,
	float unproject_bias)
{
	const float denominator = (y_edge * unproject_scale + unproject_bias) * z * (-m22) + z * m21;
	if (denominator == 0.0f || !std::isfinite(denominator)) return clamp_int16(z);
	const float r = (oy * (-m22) + z * m21) / denominator;
	if (!(r > 0.0f) || !std::isfinite(r)) return clamp_int16(z);
	const float depth = -8454402.0f / (r * z) - 33025.0078125f;
	if (!std::isfinite(depth)) return clamp_int16(z);
	return clamp_int16(depth);
}

int16 sprite_edge_w(float oy, float z, float y_edge, float m21, float m22)
{
	const float denominator = y_edge * (-m22) + z * m21;
	if (denominator == 0.0f || !std::isfinite(denominator)) return clamp_int16(z);
	float ratio = (oy * (-m22) + z * m21) / denominator;
	if (!std::isfinite(ratio)) return clamp_int16(z);
	if (ratio < 0.0f) ratio = 0.0f;
	return clamp_int16(z * ratio);
}

/* ---------- 2D */

static bitmap_tex_cache_entry_data *find_cached_bitmap(const bitmap_data *bitmap)
{
	for (int32 i = 0; i < cached_bitmap_count; ++i)
	{
		if (cached_bitmaps[i].bitmap == bitmap) return &cached_bitmaps[i];
	}
	return NULL;
}

static void upload_bitmap_tiles(bitmap_tex_cache_entry_data *entry, GLint internal_format, GLenum type)
{
	const bitmap_data *bitmap = entry->bitmap;
	const int32 upshift = bitmap->pixel_upshift;
	const int32 bytes = 1 << upshift;
	const size_t staging_size = static_cast<size_t>(65536) << upshift;
	uint8 *staging = static_cast<uint8 *>(new_pointer(staging_size));
	if (!staging)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate %d bytes of memory for pixmap",
			static_cast<int>(staging_size));
		return;
	}
	int32 tile = 0;
	for (int32 y = 0; y < bitmap->height; y += HARDWARE_BITMAP_SIZE)
	{
		for (int32 x = 0; x < bitmap->width && tile < entry->num_textures; x += HARDWARE_BITMAP_SIZE, ++tile)
		{
			const int32 width = MIN(HARDWARE_BITMAP_SIZE, bitmap->width - x);
			const int32 height = MIN(HARDWARE_BITMAP_SIZE, bitmap->height - y);
			const int32 padded = (width + 7) & ~7;
			memset(staging, 0, static_cast<size_t>(padded) * height * bytes);
			for (int32 row = 0; row < height; ++row)
			{
				const uint8 *source = bitmap->row_addresses[y + row];
				if (source) memcpy(staging + static_cast<size_t>(row) * padded * bytes, source + (x << upshift),
					static_cast<size_t>(width) * bytes);
			}
			bind_texture_unit_for_update_opengl(0, static_cast<int32>(entry->textures[tile]));
			opengl_api.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
			opengl_api.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
			opengl_api.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
			opengl_api.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
			opengl_api.glTexImage2D(GL_TEXTURE_2D, 0, internal_format, HARDWARE_BITMAP_SIZE, HARDWARE_BITMAP_SIZE, 0,
				GL_BGRA, type, NULL);
			opengl_api.glPixelStorei(GL_UNPACK_ROW_LENGTH, padded);
			opengl_api.glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_BGRA, type, staging);
			opengl_api.glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
		}
	}
	dispose_pointer(staging);
}

void draw_bitmap_opengl(bitmap_data *bitmap, const rectangle2d *bounds, int32 transparency)
{
	flush_batched_vertices_opengl();
	if (!bitmap || !bounds || !opengl_api.glDrawArrays) return;
	const boolean changed = (bitmap->flags & _bitmap_changed_flag) != 0;
	bitmap->flags = static_cast<int16>(bitmap->flags & ~_bitmap_changed_flag);
	GLint internal_format;
	GLenum type;
	if (bitmap->logical_bit_depth == 16)
	{
		internal_format = GL_RGB5;
		type = GL_UNSIGNED_SHORT_1_5_5_5_REV;
	}
	else if (bitmap->logical_bit_depth == 32)
	{
		internal_format = GL_RGB8;
		type = GL_UNSIGNED_INT_8_8_8_8_REV;
	}
	else
	{
		return;
	}
	if (bitmap->width <= 0 || bitmap->height <= 0) return;
	const uint32 t = static_cast<uint32>(transparency) & 0xFFFF;
	const int32 alpha = t == 0 ? 255 : static_cast<int32>((255 * (65535 - t)) >> 16);
	set_render_mode_opengl(_shader_basic_texture, _projection_mode_ortho, _depth_mode_none,
		t == 0 ? _blend_mode_replace : _blend_mode_alpha);

	bitmap_tex_cache_entry_data *entry = find_cached_bitmap(bitmap);
	boolean upload = changed;
	if (!entry)
	{
		if (cached_bitmap_count >= MAXIMUM_CACHED_BITMAPS)
		{
			error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "MAXIMUM_CACHED_BITMAPS exceeded!");
			return;
		}
		const int32 count = (((bitmap->height + 255) >> 8) * (bitmap->width + 255)) / 256;
		uint32 *names = static_cast<uint32 *>(new_pointer_z(sizeof(uint32) * static_cast<size_t>(count)));
		if (!names)
		{
			error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "could not allocate %d texture ids!",
				static_cast<int>(count));
			return;
		}
		opengl_api.glGenTextures(count, names);
		entry = &cached_bitmaps[cached_bitmap_count++];
		entry->textures = names;
		entry->num_textures = count;
		entry->bitmap = bitmap;
		upload = TRUE;
	}
	if (upload) upload_bitmap_tiles(entry, internal_format, type);

	const int32 color = static_cast<int32>((static_cast<uint32>(alpha) << 24) | 0x00FFFFFFu);
	int32 tile = 0;
	for (int32 y = 0; y < bitmap->height; y += HARDWARE_BITMAP_SIZE)
	{
		for (int32 x = 0; x < bitmap->width && tile < entry->num_textures; x += HARDWARE_BITMAP_SIZE, ++tile)
		{
			const float width = static_cast<float>(MIN(HARDWARE_BITMAP_SIZE, bitmap->width - x));
			const float height = static_cast<float>(MIN(HARDWARE_BITMAP_SIZE, bitmap->height - y));
			const float left = static_cast<float>(bounds->left + x), top = static_cast<float>(bounds->top + y);
			const float s = width / HARDWARE_BITMAP_SIZE, tt = height / HARDWARE_BITMAP_SIZE;
			bind_texture_unit_opengl(0, static_cast<int32>(entry->textures[tile]));
			const float corners[4][4] =
			{
				{ left, top, 0, 0 }, { left + width, top, s, 0 }, { left + width, top + height, s, tt },
				{ left, top + height, 0, tt }
			};
			for (int32 i = 0; i < 4; ++i)
			{
				set_2d_vertex(&render_verts[i], NULL, corners[i][0], corners[i][1], color);
				render_verts[i].texture[0] = corners[i][2];
				render_verts[i].texture[1] = corners[i][3];
			}
			draw_vertices(GL_TRIANGLE_FAN, 4);
		}
	}
}

void download_control_or_status_bar_opengl(dialog_rasterization_data *rasterization, int16 slot)
{
	(void)slot;
	if (!rasterization || !rasterization->dialog || !rasterization->bitmap) return;
	rectangle2d bounds;
	get_dialog_bounds(rasterization->dialog, &bounds);
	const game_preferences *preferences = get_game_preferences();
	const int32 transparency = preferences && (preferences->flags & _game_pref_use_transparency_flag) ? 45875 : 0;
	draw_bitmap_opengl(rasterization->bitmap, &bounds, transparency);
}

static void free_cached_bitmap(int32 index)
{
	flush_batched_vertices_opengl();
	bitmap_tex_cache_entry_data *entry = &cached_bitmaps[index];
	if (entry->textures && entry->num_textures > 0 && opengl_api.glDeleteTextures)
	{
		for (int32 i = 0; i < entry->num_textures; ++i)
		{
			for (int32 unit = 0; unit < 4; ++unit)
			{
				if (opengl_state.current_texture[unit] == static_cast<int32>(entry->textures[i]))
					opengl_state.current_texture[unit] = -1;
			}
		}
		opengl_api.glDeleteTextures(entry->num_textures, entry->textures);
	}
	dispose_pointer(entry->textures);
	memmove(&cached_bitmaps[index], &cached_bitmaps[index + 1],
		sizeof(cached_bitmaps[0]) * static_cast<size_t>(cached_bitmap_count - index - 1));
	cached_bitmap_count -= 1;
	memset(&cached_bitmaps[cached_bitmap_count], 0, sizeof(cached_bitmaps[0]));
}

void dispose_bitmap_cache_opengl(bitmap_data *bitmap)
{
	for (int32 i = 0; i < cached_bitmap_count; ++i)
	{
		if (cached_bitmaps[i].bitmap == bitmap)
		{
			free_cached_bitmap(i);
			return;
		}
	}
}

void dispose_cached_bitmaps_opengl(void)
{
	while (cached_bitmap_count > 0) free_cached_bitmap(cached_bitmap_count - 1);
}

void stretch_copy_bitmap_opengl(bitmap_data *destination, bitmap_data *source, const color_table *source_color_table,
	const rectangle2d *source_rectangle, const rectangle2d *destination_rectangle, uint32 transparency,
	boolean smooth)
{
	flush_batched_vertices_opengl();
	(void)smooth; // the cached texture's own filtering applies
	if (!opengl_api.glDrawArrays || !source || !source_rectangle || !destination_rectangle) return;
	cached_texture_descriptor descriptor = {};
	descriptor.identifier = 0xFFFFFFFFu;
	descriptor.bitmap = source;
	descriptor.shading_table = const_cast<color_table *>(source_color_table);
	cached_texture_data *texture = texture_cache_lookup(&descriptor);
	if (!texture || !texture->user_data || !texture->hardware_width || !texture->hardware_height) return;
	set_render_mode_opengl(_shader_basic_texture, _projection_mode_ortho, _depth_mode_none, _blend_mode_alpha);
	bind_texture_unit_opengl(0, static_cast<int32>(reinterpret_cast<uintptr_t>(texture->user_data)));
	const float hw = texture->hardware_width, hh = texture->hardware_height;
	const float s0 = source_rectangle->left / hw, t0 = source_rectangle->top / hh;
	const float s1 = MIN(static_cast<int32>(source_rectangle->right), static_cast<int32>(source->width)) / hw;
	const float t1 = MIN(static_cast<int32>(source_rectangle->bottom), static_cast<int32>(source->height)) / hh;
	const int32 color = static_cast<int32>((((65535u - (transparency & 0xFFFF)) >> 8) << 24) | 0x00FFFFFFu);
	const float corners[4][4] =
	{
		{ static_cast<float>(destination_rectangle->left), static_cast<float>(destination_rectangle->top), s0, t0 },
		{ static_cast<float>(destination_rectangle->right), static_cast<float>(destination_rectangle->top), s1, t0 },
		{ static_cast<float>(destination_rectangle->right), static_cast<float>(destination_rectangle->bottom), s1, t1 },
		{ static_cast<float>(destination_rectangle->left), static_cast<float>(destination_rectangle->bottom), s0, t1 }
	};
	for (int32 i = 0; i < 4; ++i)
	{
		set_2d_vertex(&render_verts[i], destination, corners[i][0], corners[i][1], color);
		render_verts[i].texture[0] = corners[i][2];
		render_verts[i].texture[1] = corners[i][3];
	}
	draw_vertices(GL_TRIANGLE_FAN, 4);
}

void fill_rectangle_opengl(bitmap_data *destination, int32 color, int32 left, int32 right, int32 top, int32 bottom)
{
	flush_batched_vertices_opengl();
	if (!opengl_api.glDrawArrays) return;
	set_render_mode_opengl(_shader_basic_color, _projection_mode_ortho, _depth_mode_none, _blend_mode_alpha);
	set_2d_vertex(&render_verts[0], destination, static_cast<float>(left), static_cast<float>(top), color);
	set_2d_vertex(&render_verts[1], destination, static_cast<float>(right), static_cast<float>(top), color);
	set_2d_vertex(&render_verts[2], destination, static_cast<float>(right), static_cast<float>(bottom), color);
	set_2d_vertex(&render_verts[3], destination, static_cast<float>(left), static_cast<float>(bottom), color);
	draw_vertices(GL_TRIANGLE_FAN, 4);
}

void draw_line_opengl(bitmap_data *destination, int32 color, point2d p0, point2d p1)
{
	flush_batched_vertices_opengl();
	if (!opengl_api.glDrawArrays) return;
	set_render_mode_opengl(_shader_basic_color, _projection_mode_ortho, _depth_mode_none, _blend_mode_alpha);
	set_2d_vertex(&render_verts[0], destination, p0.x, p0.y, color);
	set_2d_vertex(&render_verts[1], destination, p1.x, p1.y, color);
	draw_vertices(GL_LINE_STRIP, 2);
}

void fill_polygon_opengl(bitmap_data *destination, int32 color, const point2d *vertices, int32 vertex_count)
{
	flush_batched_vertices_opengl();
	// Fewer than three points make no area; more than the buffer would overrun it.
	if (!opengl_api.glDrawArrays || !vertices || vertex_count < 3 || vertex_count > MAXIMUM_OPENGL_VERTICES) return;
	set_render_mode_opengl(_shader_basic_color, _projection_mode_ortho, _depth_mode_none, _blend_mode_alpha);
	for (int32 i = 0; i < vertex_count; ++i) set_2d_vertex(&render_verts[i], destination, vertices[i].x, vertices[i].y, color);
	draw_vertices(vertex_count == 3 ? GL_TRIANGLES : GL_TRIANGLE_FAN, vertex_count);
}

void draw_character_to_opengl_frame_buffer(bitmap_data *destination, const font_character *character, int32 color,
	int32 x0, int32 y0, int32 x, int32 y, int32 width, int32 height)
{
	flush_batched_vertices_opengl();
	if (!opengl_api.glDrawArrays || !character || width <= 0 || height <= 0) return;
	bitmap_data *changed = hardware_font_changed();
	if (changed) update_font_texture_opengl(changed);
	if (!font_texture_name_opengl) return;
	int16 origin_x = 0, origin_y = 0;
	if (!get_hardware_font_character_origin(const_cast<font_character *>(character), &origin_x, &origin_y)) return;
	set_render_mode_opengl(_shader_basic_texture, _projection_mode_ortho, _depth_mode_none, _blend_mode_alpha);
	bind_texture_unit_opengl(0, static_cast<int32>(font_texture_name_opengl));
	const float atlas_width = font_texture.data.width > 0 ? font_texture.data.width : 256.0f;
	const float atlas_height = font_texture.data.height > 0 ? font_texture.data.height : 256.0f;
	const float s0 = (origin_x + x) / atlas_width, t0 = (origin_y + y) / atlas_height;
	const float s1 = (origin_x + x + width) / atlas_width, t1 = (origin_y + y + height) / atlas_height;
	const float left = static_cast<float>(x0), top = static_cast<float>(y0);
	const float corners[4][4] =
	{
		{ left, top, s0, t0 }, { left + width, top, s1, t0 }, { left + width, top + height, s1, t1 },
		{ left, top + height, s0, t1 }
	};
	for (int32 i = 0; i < 4; ++i)
	{
		set_2d_vertex(&render_verts[i], destination, corners[i][0], corners[i][1], color);
		render_verts[i].texture[0] = corners[i][2];
		render_verts[i].texture[1] = corners[i][3];
	}
	draw_vertices(GL_TRIANGLE_FAN, 4);
}

/* ---------- the scene */

static void terrain_vertex(opengl_vertex *vertex, const render_corner *corner, uint8 alpha)
{
	const render_vertex *v = corner->vertex;
	set_opengl_vertex_position(vertex, v->p.x, v->p.y, v->p.z, 1.0f);
	vertex->texture[0] = corner->interpolants[0] / 64.0f;
	vertex->texture[1] = corner->interpolants[1] / 64.0f;
	vertex->texture[2] = 0.0f;
	vertex->texture[3] = 0.0f;
	memset(vertex->tint, 0, sizeof(vertex->tint));
	vertex->color[0] = vertex->color[1] = vertex->color[2] = 255;
	vertex->color[3] = alpha;
}

static void rasterize_mesh_chunk(void *context, render_surface **surfaces, int32 count)
{
	flush_batched_vertices_opengl();
	(void)context;
	set_render_mode_opengl(_shader_mesh_0, _projection_mode_perspective, _depth_mode_full, _blend_mode_replace);
	bind_texture_unit_opengl(0, static_cast<int32>(volatile_cmap_texture_name_opengl));
	int32 n = 0;
	for (int32 i = 0; i < count && n + 3 <= MAXIMUM_OPENGL_VERTICES; ++i)
	{
		if (surface_subtype(surfaces[i]) != _surface_subtype_mesh_triangle) continue;
		const render_triangle *triangle = reinterpret_cast<const render_triangle *>(surfaces[i]);
		for (int32 c = 0; c < 3; ++c) terrain_vertex(&render_verts[n++], &triangle->corners[c], 255);
	}
	draw_vertices(GL_TRIANGLES, n);
}

// The detail word: corner masks in bits 0-8 (three per layer), texture
// indexes in 9-15, 16-22 and 23-29, the plain base pass in bit 30.
static int32 detail_layer_mask(uint32 word, int32 layer) { return static_cast<int32>((word >> (3 * layer)) & 7); }
static int32 detail_layer_index(uint32 word, int32 layer) { return static_cast<int32>((word >> (9 + 7 * layer)) & 0x7F); }
#define DETAIL_BASE_PASS_FLAG (1u << 30)

static void rasterize_detail_chunk(void *context, render_surface **surfaces, int32 count)
{
	flush_batched_vertices_opengl();
	(void)context;
	if (count <= 0) return;
	const uint32 word = reinterpret_cast<const render_triangle *>(surfaces[0])->detail;
	int32 layers = 0;
	for (int32 layer = 0; layer < 3; ++layer) layers += detail_layer_mask(word, layer) != 0;
	float matrix[16] = { 1, 1, 0, 0 };
	for (int32 layer = 0; layer < layers; ++layer)
	{
		const int32 index = detail_layer_index(word, layer);
		matrix[4 * (layer + 1) + 2] = detail_texture_scales[index][0];
		matrix[4 * (layer + 1) + 3] = detail_texture_scales[index][1];
	}
	set_render_mode_opengl(_shader_mesh_0 + layers, _projection_mode_perspective, _depth_mode_full, _blend_mode_replace);
	bind_texture_unit_opengl(0, static_cast<int32>(volatile_cmap_texture_name_opengl));
	// The matrix is unit 0's: the previous run left a layer's unit selected.
	load_texture_matrix_opengl(matrix);
	for (int32 layer = 0; layer < layers; ++layer)
	{
		bind_texture_unit_opengl(layer + 1,
			static_cast<int32>(hardware_format_detail_textures[detail_layer_index(word, layer)]));
	}
	int32 n = 0;
	for (int32 i = 0; i < count && n + 3 <= MAXIMUM_OPENGL_VERTICES; ++i)
	{
		const render_triangle *triangle = reinterpret_cast<const render_triangle *>(surfaces[i]);
		for (int32 c = 0; c < 3; ++c)
		{
			opengl_vertex *v = &render_verts[n++];
			terrain_vertex(v, &triangle->corners[c], 255);
			v->texture[2] = static_cast<float>(-triangle->corners[c].vertex->mesh_vertex.x);
			v->texture[3] = static_cast<float>(triangle->corners[c].vertex->mesh_vertex.y);
			for (int32 layer = 0; layer < 3; ++layer)
			{
				v->color[layer] = layer < layers ? zero_one[(detail_layer_mask(triangle->detail, layer) >> c) & 1] : 0;
			}
		}
	}
	draw_vertices(GL_TRIANGLES, n);
}

static void rasterize_mesh_multipass_2tmu(int16 category)
{
	flush_batched_vertices_opengl();
	const surface_category *entries = &surface_categories[category];
	const int32 count = MIN(entries->count, static_cast<int32>(65536)); // the key holds 16 bits of index
	// Up to four passes a triangle: the base and three layers.
	uint32 *keys = static_cast<uint32 *>(render_temporary(static_cast<int32>(sizeof(uint32)) * count * 4 * 3));
	if (!keys) return;
	uint32 *temp0 = keys + count * 4, *temp1 = temp0 + count * 4;
	int32 key_count = 0;
	for (int32 i = 0; i < count; ++i)
	{
		const uint32 word = reinterpret_cast<const render_triangle *>(entries->surfaces[i])->detail;
		if (word & DETAIL_BASE_PASS_FLAG) keys[key_count++] = static_cast<uint32>(i) << 8;
		for (int32 layer = 0; layer < 3; ++layer)
		{
			const int32 index = detail_layer_index(word, layer);
			if (index) keys[key_count++] = (static_cast<uint32>(index) << 24) | (static_cast<uint32>(i) << 8) | layer;
		}
	}
	const uint32 *sorted = fastradix(keys, temp0, temp1, key_count, MAXIMUM_RADIX_PASSES, radix_mode_keys);
	for (int32 first = 0; first < key_count;)
	{
		const uint32 texture = sorted[first] >> 24;
		int32 end = first;
		while (end < key_count && (sorted[end] >> 24) == texture && end - first < MAXIMUM_OPENGL_CHUNK_SIZE) ++end;
		if (texture == 0)
		{
			set_render_mode_opengl(_shader_mesh_0, _projection_mode_perspective, _depth_mode_full, _blend_mode_replace);
			bind_texture_unit_opengl(0, static_cast<int32>(volatile_cmap_texture_name_opengl));
		}
		else
		{
			set_render_mode_opengl(_shader_fixed_multitexture, _projection_mode_perspective, _depth_mode_full,
				_blend_mode_alpha);
			bind_texture_unit_opengl(0, static_cast<int32>(volatile_cmap_texture_name_opengl));
			bind_texture_unit_opengl(1, static_cast<int32>(hardware_format_detail_textures[texture]));
		}
		int32 n = 0;
		for (int32 k = first; k < end; ++k)
		{
			const render_triangle *triangle =
				reinterpret_cast<const render_triangle *>(entries->surfaces[(sorted[k] >> 8) & 0xFFFF]);
			const int32 layer = static_cast<int32>(sorted[k] & 0xFF);
			for (int32 c = 0; c < 3; ++c)
			{
				opengl_vertex *v = &render_verts[n++];
				const render_vertex *p = triangle->corners[c].vertex;
				terrain_vertex(v, &triangle->corners[c], texture ? zero_one[(detail_layer_mask(triangle->detail, layer) >> c) & 1] : 255);
				if (texture)
				{
					v->texture[2] = -p->mesh_vertex.x * detail_texture_scales[texture][0];
					v->texture[3] = p->mesh_vertex.y * detail_texture_scales[texture][1];
				}
			}
		}
		draw_vertices(GL_TRIANGLES, n);
		first = end;
	}
}

static void rasterize_mesh_category(int16 category)
{
	if (surface_categories[category].count == 0) return;
	set_render_mode_opengl(_shader_mesh_0, _projection_mode_perspective, _depth_mode_full, _blend_mode_replace);
	if (detail_maps_active())
	{
		if (gl_prefs.use_shaders)
		{
			rasterize_surface_category(NULL, category, MAXIMUM_OPENGL_CHUNK_SIZE, TRUE, 0, rasterize_detail_chunk);
			reset_texture_matrix_opengl();
		}
		else
		{
			rasterize_mesh_multipass_2tmu(category);
		}
		return;
	}
	rasterize_surface_category(NULL, category, MAXIMUM_OPENGL_CHUNK_SIZE, FALSE, 0, rasterize_mesh_chunk);
}

static void rasterize_opengl_filled_rectangle(const render_surface *surface)
{
	const render_filled_rectangle *rectangle = reinterpret_cast<const render_filled_rectangle *>(surface);
	const render_rectangle_geometry *g = &rectangle->geometry;
	const int32 top = MAX(g->y0, g->clip_top), bottom = MIN(g->y1, g->clip_bottom);
	if (top >= bottom || g->x0 >= g->x1) return;
	const bitmap_data *screen = scene_view ? scene_view->screen : NULL;
	const float ox = screen ? screen->x0 : 0, oy = screen ? screen->y0 : 0;
	const uint32 alpha = (65535u - surface->transparency) >> 8;
	const uint32 argb = (alpha << 24) | ((rectangle->color.red >> 8) << 16) | ((rectangle->color.green >> 8) << 8) |
		(rectangle->color.blue >> 8);
	int16 depth_top = surface->z, depth_bottom = surface->z;
	if (surface->z < 0 && filled_rectangle_depth_mode && gl_prefs.use_shaders && scene_view)
	{
		const projection_mode_data *p = &projections[_projection_mode_perspective];
		const float m21 = scene_view->world_to_viewer_rotation.n[2][1] / 16384.0f;
		const float m22 = scene_view->world_to_viewer_rotation.n[2][2] / 16384.0f;
		depth_top = filled_rectangle_edge_depth(surface->obj_view_y, surface->z, static_cast<float>(top), m21, m22,
			p->unproject_y_scale, p->unproject_y_bias);
		depth_bottom = filled_rectangle_edge_depth(surface->obj_view_y, surface->z, static_cast<float>(bottom), m21, m22,
			p->unproject_y_scale, p->unproject_y_bias);
	}
	set_render_mode_opengl(_shader_basic_color, _projection_mode_ortho, filled_rectangle_depth_mode, _blend_mode_alpha);
	const float corners[4][3] =
	{
		{ static_cast<float>(g->x0), static_cast<float>(top), static_cast<float>(depth_top) },
		{ static_cast<float>(g->x1), static_cast<float>(top), static_cast<float>(depth_top) },
		{ static_cast<float>(g->x1), static_cast<float>(bottom), static_cast<float>(depth_bottom) },
		{ static_cast<float>(g->x0), static_cast<float>(bottom), static_cast<float>(depth_bottom) }
	};
	opengl_vertex quad[4];
	for (int32 i = 0; i < 4; ++i)
	{
		opengl_vertex *v = &quad[i];
		set_opengl_vertex_position(v, corners[i][0] + ox, corners[i][1] + oy, corners[i][2], 1.0f);
		memset(v->texture, 0, sizeof(v->texture));
		memset(v->tint, 0, sizeof(v->tint));
		set_color(v, static_cast<int32>(argb));
	}
	queue_quad(quad);
}

/* ---------- textured surfaces */

static cached_texture_data *source_tinted_texture_opengl(bitmap_identifier word, int32 cache_flags, fixed_fraction transparency)
{
	if (!gl_prefs.use_mip_maps) cache_flags &= ~_texture_mipmaps_flag;
	if (cache_flags & _texture_border_flag)
	{
		if (gl_prefs.use_npo2_textures) cache_flags = (cache_flags & ~_texture_border_flag) | _texture_clamp_to_border_flag;
		else cache_flags &= ~_texture_mipmaps_flag;
	}
	if (use_fixed_function_fog) cache_flags &= ~_texture_premultiply_flag;
	const int32 permutation = bitmap_identifier_permutation(word);
	if (gl_prefs.use_shaders || (cache_flags & _texture_untinted_flag)) word = (word & 0x1FFFFFFFu) | (7u << 29);
	if (gl_prefs.use_shaders) cache_flags |= _texture_untinted_flag;
	cached_texture_descriptor descriptor = {};
	descriptor.identifier = word;
	descriptor.usage_flags = cache_flags;
	cached_texture_data *texture = texture_cache_lookup(&descriptor);
	if (!texture || !texture->user_data) return NULL;
	const uint8 a = static_cast<uint8>((65535u - static_cast<uint16>(transparency)) >> 8);
	tint_shader_data *tint = &current_tint_shader;
	if (gl_prefs.use_shaders)
	{
		if (texture->shading_header)
		{
			const uint8 *bytes = texture->shading_header->tint_shader_data[permutation & 7];
			memcpy(tint->tint_kpqr, bytes, 4);
			memcpy(tint->color, bytes + 4, 3);
		}
		else
		{
			const uint8 plain[8] = { 255, 0, 0, 0, 0, 0, 0, 0 };
			memcpy(tint, plain, sizeof(plain));
		}
	}
	else
	{
		const uint8 c = (cache_flags & _texture_premultiply_flag) ? a : 255;
		memset(tint->tint_kpqr, 0, sizeof(tint->tint_kpqr));
		tint->color[0] = tint->color[1] = tint->color[2] = c;
	}
	tint->color[3] = a;
	bind_texture_unit_opengl(0, static_cast<int32>(reinterpret_cast<uintptr_t>(texture->user_data)));
	return texture;
}

static void textured_vertex(opengl_vertex *vertex, const render_corner *corner)
{
	const render_vertex *v = corner->vertex;
	set_opengl_vertex_position(vertex, v->p.x, v->p.y, v->p.z, 1.0f);
	vertex->texture[0] = static_cast<uint16>(corner->interpolants[0]) / 65535.0f;
	vertex->texture[1] = static_cast<uint16>(corner->interpolants[1]) / 65535.0f;
	vertex->texture[2] = vertex->texture[3] = 0.0f;
	memcpy(vertex->tint, current_tint_shader.tint_kpqr, 4);
	memcpy(vertex->color, current_tint_shader.color, 4);
}

static const int32 model_cache_flags = _texture_premultiply_flag | _texture_mipmaps_flag | _texture_anisotropic_flag;

static void rasterize_opengl_model_triangle(const render_surface *surface)
{
	const render_triangle *triangle = reinterpret_cast<const render_triangle *>(surface);
	if (!source_tinted_texture_opengl(triangle->texture, model_cache_flags, surface->transparency)) return;
	int32 depth = model_triangle_depth_mode;
	if (surface_flags(surface) & _surface_transparent_flag) depth &= ~_depth_mode_write;
	set_render_mode_opengl(_shader_world_texture, _projection_mode_perspective, depth, _blend_mode_premultiplied_alpha);
	opengl_vertex *v = reserve_batched_vertices_opengl(3);
	for (int32 c = 0; c < 3; ++c) textured_vertex(&v[c], &triangle->corners[c]);
}

static void rasterize_model_texture_chunk(void *context, render_surface **surfaces, int32 count)
{
	flush_batched_vertices_opengl();
	(void)context;
	if (count <= 0) return;
	const render_triangle *first = reinterpret_cast<const render_triangle *>(surfaces[0]);
	if (!source_tinted_texture_opengl(first->texture, model_cache_flags, 0)) return;
	int32 n = 0;
	for (int32 i = 0; i < count && n + 3 <= MAXIMUM_OPENGL_VERTICES; ++i)
	{
		const render_triangle *triangle = reinterpret_cast<const render_triangle *>(surfaces[i]);
		for (int32 c = 0; c < 3; ++c) textured_vertex(&render_verts[n++], &triangle->corners[c]);
	}
	draw_vertices(GL_TRIANGLES, n);
}

static int16 saturate_viewer(float value)
{
	if (!(value == value)) return 0;
	return static_cast<int16>(value >= 32767.0f ? 32767.0f : value <= -32768.0f ? -32768.0f : value);
}

boolean opengl_sprite_quad_geometry(const render_rectangle_geometry *g, uint16 flags, int32 bw, int32 bh,
	int32 adjusted_width, int32 adjusted_height, int32 hardware_width, int32 hardware_height, opengl_sprite_quad *quad)
{
	if (bw <= 0 || bh <= 0 || hardware_width <= 0 || hardware_height <= 0) return FALSE;
	const int32 left = g->viewer_rect.left, right = g->viewer_rect.right;
	const int32 rect_top = g->viewer_rect.top, rect_bottom = g->viewer_rect.bottom;
	// The screen rows the rectangle is cut at (a wading unit's water line) in
	// viewer units, taken inwards so no vertex lies beyond them.
	float clip_top = g->viewer_clip_top, clip_bottom = g->viewer_clip_bottom;
	const int32 rows = g->y1 - g->y0, span = rect_top - rect_bottom;
	if (rows > 0 && span > 0)
	{
		const float per_row = static_cast<float>(span) / static_cast<float>(rows);
		if (g->clip_top > g->y0) clip_top = MIN(clip_top, std::floor(rect_top - (g->clip_top - g->y0) * per_row));
		if (g->clip_bottom < g->y1)
			clip_bottom = MAX(clip_bottom, std::ceil(rect_top - (g->clip_bottom - g->y0) * per_row));
	}
	const float top = MIN(static_cast<float>(rect_top), clip_top);
	const float bottom = MAX(static_cast<float>(rect_bottom), clip_bottom);
	if (top <= bottom || right <= left) return FALSE;
	const int32 hx = (right - left) / bw / 2;
	const int32 hy = span / bh / 2;
	const float x0 = static_cast<float>(left - hx), x1 = static_cast<float>(right + hx);
	const float y0 = MAX(bottom - hy, clip_bottom);
	const float y1 = MIN(top + hy, clip_top);
	// The bitmap sits centred in the adjusted size, half a texel out on each side.
	const float ox = (adjusted_width - bw) / 2.0f, oy = (adjusted_height - bh) / 2.0f;
	const float hw = static_cast<float>(hardware_width), hh = static_cast<float>(hardware_height);
	float u0 = (ox - 0.5f) / hw, u1 = (ox + bw + 0.5f) / hw;
	// v at the quad's top and bottom edges: a vertical mirror turns the bitmap
	// first, and the cut fractions are taken of what is shown.
	float v_top = (oy - 0.5f) / hh, v_bottom = (oy + bh + 0.5f) / hh;
	if (flags & _surface_mirror_vertical_flag) std::swap(v_top, v_bottom);
	const float full = static_cast<float>(span + 2 * hy);
	if (full > 0)
	{
		const float shown = v_bottom - v_top;
		const float cut_top = (rect_top + hy - y1) / full, cut_bottom = (y0 - (rect_bottom - hy)) / full;
		v_top += shown * cut_top;
		v_bottom -= shown * cut_bottom;
	}
	if (flags & _surface_mirror_horizontal_flag) std::swap(u0, u1);
	*quad = { x0, x1, y0, y1, u0, u1, v_top, v_bottom };
	return TRUE;
}

static void rasterize_opengl_rectangle(const render_surface *surface)
{
	const render_rectangle *rectangle = reinterpret_cast<const render_rectangle *>(surface);
	cached_texture_data *texture = source_tinted_texture_opengl(rectangle->texture,
		_texture_premultiply_flag | _texture_border_flag | _texture_mipmaps_flag, surface->transparency);
	if (!texture || !texture->bitmap) return;
	const bitmap_data *bitmap = texture->bitmap;
	const int32 bw = bitmap->width, bh = bitmap->height;
	// A bitmap without pixels has no texel to size.
	if (bw <= 0 || bh <= 0 || !texture->hardware_width || !texture->hardware_height) return;
	render_rectangle_geometry geometry = rectangle->geometry;
	const render_rectangle_geometry *g = &geometry;
	const rectangle2d empty = {};
	if (!memcmp(&geometry.viewer_rect, &empty, sizeof(empty)) && scene_view && surface->z < 0 &&
		scene_view->world_to_screen_x > 0)
	{
		// Built without its viewer rectangle: take it from the screen
		// rectangle at the surface's depth, through the frame's projection.
		const float scale = -static_cast<float>(surface->z) / scene_view->world_to_screen_x;
		geometry.viewer_rect.left = saturate_viewer((g->x0 - scene_view->xk) * scale);
		geometry.viewer_rect.right = saturate_viewer((g->x1 - scene_view->xk) * scale);
		geometry.viewer_rect.top = saturate_viewer((scene_view->yk - g->y0) * scale);
		geometry.viewer_rect.bottom = saturate_viewer((scene_view->yk - g->y1) * scale);
	}
	opengl_sprite_quad cut;
	if (!opengl_sprite_quad_geometry(g, surface_flags(surface), bw, bh, texture->adjusted_width, texture->adjusted_height,
		texture->hardware_width, texture->hardware_height, &cut))
	{
		return;
	}
	const float x0 = cut.x0, x1 = cut.x1, y0 = cut.y0, y1 = cut.y1, z = surface->z;
	const float u0 = cut.u0, u1 = cut.u1, v_top = cut.v_top, v_bottom = cut.v_bottom;
	float w_top = z, w_bottom = z;
	if (gl_prefs.use_shaders && rectangle_depth_mode && scene_view)
	{
		const float m21 = scene_view->world_to_viewer_rotation.n[2][1] / 16384.0f;
		const float m22 = scene_view->world_to_viewer_rotation.n[2][2] / 16384.0f;
		w_top = sprite_edge_w(surface->obj_view_y, z, y1, m21, m22);
		w_bottom = sprite_edge_w(surface->obj_view_y, z, y0, m21, m22);
	}
	set_render_mode_opengl(_shader_sprite, _projection_mode_perspective, rectangle_depth_mode,
		_blend_mode_premultiplied_alpha);
	const float corners[4][5] =
	{
		{ x0, y1, w_top, u0, v_top }, { x1, y1, w_top, u1, v_top }, { x1, y0, w_bottom, u1, v_bottom },
		{ x0, y0, w_bottom, u0, v_bottom }
	};
	opengl_vertex quad[4];
	for (int32 i = 0; i < 4; ++i)
	{
		opengl_vertex *v = &quad[i];
		set_opengl_vertex_position(v, corners[i][0], corners[i][1], z, corners[i][2]);
		v->texture[0] = corners[i][3];
		v->texture[1] = corners[i][4];
		v->texture[2] = v->texture[3] = 0.0f;
		memcpy(v->tint, current_tint_shader.tint_kpqr, 4);
		memcpy(v->color, current_tint_shader.color, 4);
	}
	queue_quad(quad);
}

static void rasterize_depth_chunk(void *context, render_surface **surfaces, int32 count)
{
	flush_batched_vertices_opengl();
	const boolean true_positions = context != NULL;
	if (count <= 0) return;
	const int32 bias = surface_subtype(surfaces[0]) == _surface_subtype_mesh_triangle ? -128 : 0;
	int32 n = 0;
	for (int32 i = 0; i < count && n + 3 <= MAXIMUM_OPENGL_VERTICES; ++i)
	{
		const render_surface *surface = surfaces[i];
		if (surface_type(surface) != _surface_type_triangle) continue;
		const render_triangle *triangle = reinterpret_cast<const render_triangle *>(surface);
		const float d = static_cast<float>(surface->z + bias);
		for (int32 c = 0; c < 3; ++c)
		{
			opengl_vertex *v = &render_verts[n++];
			const render_vertex *p = triangle->corners[c].vertex;
			if (true_positions || gl_prefs.use_shaders)
			{
				set_opengl_vertex_position(v, p->p.x, p->p.y, p->p.z, true_positions ? 1.0f : d);
			}
			else
			{
				// Along the eye ray to the sort depth; a vertex at or behind the eye has no ray.
				if (p->p.z >= 0)
				{
					n -= 1 + c;
					break;
				}
				set_opengl_vertex_position(v, p->p.x * d / p->p.z, p->p.y * d / p->p.z, d, 1.0f);
			}
			memset(v->texture, 0, sizeof(v->texture));
			memcpy(v->tint, current_tint_shader.tint_kpqr, 4);
			memset(v->color, 255, sizeof(v->color));
		}
	}
	draw_vertices(GL_TRIANGLES, n);
}

static void rasterize_translucent(void *context, render_surface **surfaces, int32 count)
{
	(void)context;
	for (int32 i = 0; i < count; ++i)
	{
		switch (surface_subtype(surfaces[i]))
		{
		case _surface_subtype_model_triangle:
		case _surface_subtype_object_triangle:
			rasterize_opengl_model_triangle(surfaces[i]);
			break;
		case _surface_subtype_object_rectangle:
			rasterize_opengl_rectangle(surfaces[i]);
			break;
		case _surface_subtype_filled_rectangle:
			rasterize_opengl_filled_rectangle(surfaces[i]);
			break;
		default:
			break;
		}
	}
}

static void rasterize_textured_category(int16 category, int32 depth_mode)
{
	if (surface_categories[category].count == 0) return;
	set_render_mode_opengl(_shader_world_texture, _projection_mode_perspective, depth_mode, _blend_mode_replace);
	// Runs share the low 29 bits of the texture word: the permutation is the tint's.
	rasterize_surface_category(NULL, category, MAXIMUM_OPENGL_CHUNK_SIZE, TRUE, 0x1FFFFFFFu,
		rasterize_model_texture_chunk);
}

static void set_all_surface_depth_modes(int32 mode)
{
	filled_rectangle_depth_mode = mode;
	rectangle_depth_mode = mode;
	model_triangle_depth_mode = mode;
}

/* ---------- where the translucent surfaces reach */

struct screen_bounds
{
	float left, top, right, bottom; // whole-screen pixels, y downwards
};

static void widen_bounds(screen_bounds *bounds, float x, float y)
{
	bounds->left = MIN(bounds->left, x);
	bounds->right = MAX(bounds->right, x);
	bounds->top = MIN(bounds->top, y);
	bounds->bottom = MAX(bounds->bottom, y);
}

// A viewer-space point as the perspective projection places it on the
// screen; false at or behind the eye.
static boolean project_viewer_point(const view_data *view, float x, float y, float z, float *sx, float *sy)
{
	if (!(z < 0.0f)) return FALSE;
	const float x0 = view->screen ? view->screen->x0 : 0, y0 = view->screen ? view->screen->y0 : 0;
	*sx = x0 + view->xk + x * view->world_to_screen_x / -z;
	*sy = y0 + view->yk - y * view->world_to_screen_y / -z;
	return TRUE;
}

// Widens the bounds by the screen area a translucent surface can cover as its
// drawing places it (a sprite's half-texel margins taken at their largest);
// false when the surface cannot be bounded.
static boolean widen_by_translucent_surface(const view_data *view, const render_surface *surface, screen_bounds *bounds)
{
	float sx, sy;
	switch (surface_subtype(surface))
	{
	case _surface_subtype_model_triangle:
	case _surface_subtype_object_triangle:
	{
		const render_triangle *triangle = reinterpret_cast<const render_triangle *>(surface);
		for (int32 c = 0; c < 3; ++c)
		{
			const short_world_point3d &p = triangle->corners[c].vertex->p;
			if (!project_viewer_point(view, p.x, p.y, p.z, &sx, &sy)) return FALSE;
			widen_bounds(bounds, sx, sy);
		}
		return TRUE;
	}
	case _surface_subtype_object_rectangle:
	{
		const render_rectangle_geometry *g = &reinterpret_cast<const render_rectangle *>(surface)->geometry;
		const float z = surface->z;
		float left = g->viewer_rect.left, right = g->viewer_rect.right;
		float rect_top = g->viewer_rect.top, rect_bottom = g->viewer_rect.bottom;
		const rectangle2d empty = {};
		if (!memcmp(&g->viewer_rect, &empty, sizeof(empty)))
		{
			// Built without its viewer rectangle: the drawing takes it from the
			// screen rectangle, as here, or draws nothing.
			if (!(z < 0.0f)) return TRUE;
			const float scale = -z / view->world_to_screen_x;
			left = (g->x0 - view->xk) * scale;
			right = (g->x1 - view->xk) * scale;
			rect_top = (view->yk - g->y0) * scale;
			rect_bottom = (view->yk - g->y1) * scale;
		}
		const float width = right - left, height = rect_top - rect_bottom;
		const float top = MIN(rect_top + height / 2, static_cast<float>(g->viewer_clip_top));
		const float bottom = MAX(rect_bottom - height / 2, static_cast<float>(g->viewer_clip_bottom));
		if (!project_viewer_point(view, left - width / 2, top, z, &sx, &sy)) return FALSE;
		widen_bounds(bounds, sx, sy);
		if (!project_viewer_point(view, right + width / 2, bottom, z, &sx, &sy)) return FALSE;
		widen_bounds(bounds, sx, sy);
		return TRUE;
	}
	case _surface_subtype_filled_rectangle:
	{
		const render_rectangle_geometry *g = &reinterpret_cast<const render_filled_rectangle *>(surface)->geometry;
		const float x0 = view->screen ? view->screen->x0 : 0, y0 = view->screen ? view->screen->y0 : 0;
		widen_bounds(bounds, x0 + g->x0, y0 + MAX(g->y0, g->clip_top));
		widen_bounds(bounds, x0 + g->x1, y0 + MIN(g->y1, g->clip_bottom));
		return TRUE;
	}
	default:
		return TRUE; // drawn nowhere
	}
}

// The window rectangle (GL's, y upwards) that the translucent surfaces can
// reach, a few pixels wider; false when it cannot be told.
static boolean translucent_scissor(GLint *x, GLint *y, GLsizei *width, GLsizei *height)
{
	const view_data *view = scene_view;
	if (!view || view->world_to_screen_x <= 0 || view->world_to_screen_y <= 0) return FALSE;
	const surface_category *category = &surface_categories[_surface_category_translucent_objects];
	screen_bounds bounds = { 1e9f, 1e9f, -1e9f, -1e9f };
	for (int32 i = 0; i < category->count; ++i)
	{
		if (!widen_by_translucent_surface(view, category->surfaces[i], &bounds)) return FALSE;
	}
	*x = *y = *width = *height = 0;
	if (bounds.left > bounds.right || bounds.top > bounds.bottom) return TRUE;
	const float margin = 4.0f, screen_width = active_screen.width, screen_height = active_screen.height;
	const float left = MAX(0.0f, std::floor(bounds.left - margin));
	const float right = MIN(screen_width, std::ceil(bounds.right + margin));
	const float top = MAX(0.0f, std::floor(bounds.top - margin));
	const float bottom = MIN(screen_height, std::ceil(bounds.bottom + margin));
	if (right <= left || bottom <= top) return TRUE;
	*x = static_cast<GLint>(left);
	*y = static_cast<GLint>(screen_height - bottom);
	*width = static_cast<GLsizei>(right - left);
	*height = static_cast<GLsizei>(bottom - top);
	return TRUE;
}

static void rasterize_scene_chunked(void)
{
	rasterize_textured_category(_surface_category_reflective_objects, _depth_mode_test);
	rasterize_mesh_category(_surface_category_media);
	if (surface_categories[_surface_category_reflections].count > 0)
	{
		set_all_surface_depth_modes(_depth_mode_none);
		rasterize_surface_category(NULL, _surface_category_reflections, 0x7FFFFFFF, FALSE, 0, rasterize_translucent);
	}
	rasterize_textured_category(_surface_category_opaque_objects, _depth_mode_full);
	rasterize_mesh_category(_surface_category_mesh);

	// Lay the depth again so translucent surfaces test against sort depths,
	// only where they can reach: a software driver pays for every pixel.
	flush_batched_vertices_opengl();
	GLint scissor_x, scissor_y;
	GLsizei scissor_width, scissor_height;
	const boolean scissored = opengl_api.glScissor &&
		translucent_scissor(&scissor_x, &scissor_y, &scissor_width, &scissor_height);
	if (scissored)
	{
		opengl_api.glScissor(scissor_x, scissor_y, scissor_width, scissor_height);
		opengl_api.glEnable(GL_SCISSOR_TEST);
	}
	opengl_api.glClear(GL_DEPTH_BUFFER_BIT);
	opengl_api.glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
	if (surface_categories[_surface_category_opaque_objects].count > 0)
	{
		set_render_mode_opengl(gl_prefs.use_shaders ? _shader_world_texture : _shader_depth, _projection_mode_perspective,
			_depth_mode_full, _blend_mode_replace);
		rasterize_surface_category(gl_prefs.use_shaders ? &rasterize_depth_context_true : NULL,
			_surface_category_opaque_objects, MAXIMUM_OPENGL_CHUNK_SIZE, FALSE, 0, rasterize_depth_chunk);
	}
	if (surface_categories[_surface_category_mesh].count > 0)
	{
		set_render_mode_opengl(_shader_depth, _projection_mode_perspective, _depth_mode_full, _blend_mode_replace);
		rasterize_surface_category(NULL, _surface_category_mesh, MAXIMUM_OPENGL_CHUNK_SIZE, FALSE, 0,
			rasterize_depth_chunk);
	}
	if (scissored) opengl_api.glDisable(GL_SCISSOR_TEST);
	opengl_api.glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
	if (surface_categories[_surface_category_translucent_objects].count > 0)
	{
		set_all_surface_depth_modes(_depth_mode_test);
		rasterize_surface_category(NULL, _surface_category_translucent_objects, 0x7FFFFFFF, FALSE, 0,
			rasterize_translucent);
	}
	flush_batched_vertices_opengl();
	opengl_api.glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
}

// One terrain triangle in painter's order: the plain pass, then each detail
// layer blended over it through its corner bits, as the depth-tested passes do.
static void rasterize_sorted_terrain_triangle(const render_triangle *triangle)
{
	set_render_mode_opengl(_shader_fixed_multitexture, _projection_mode_perspective, _depth_mode_full,
		_blend_mode_alpha);
	bind_texture_unit_opengl(0, static_cast<int32>(volatile_cmap_texture_name_opengl));
	const boolean detailed = detail_maps_active();
	const uint32 word = triangle->detail;
	if (!detailed || (word & DETAIL_BASE_PASS_FLAG))
	{
		bind_texture_unit_opengl(1, -1);
		opengl_vertex *v = reserve_batched_vertices_opengl(3);
		if (v) for (int32 c = 0; c < 3; ++c) terrain_vertex(&v[c], &triangle->corners[c], 255);
	}
	if (!detailed) return;
	for (int32 layer = 0; layer < 3; ++layer)
	{
		const int32 mask = detail_layer_mask(word, layer), index = detail_layer_index(word, layer);
		if (!mask || !index) continue;
		bind_texture_unit_opengl(1, static_cast<int32>(hardware_format_detail_textures[index]));
		opengl_vertex *v = reserve_batched_vertices_opengl(3);
		if (!v) continue;
		for (int32 c = 0; c < 3; ++c)
		{
			const render_vertex *p = triangle->corners[c].vertex;
			terrain_vertex(&v[c], &triangle->corners[c], zero_one[(mask >> c) & 1]);
			v[c].texture[2] = -p->mesh_vertex.x * detail_texture_scales[index][0];
			v[c].texture[3] = p->mesh_vertex.y * detail_texture_scales[index][1];
		}
	}
}

static void rasterize_scene_sorted(render_surface_list *surfaces)
{
	if (!surfaces) return;
	for (int32 pass = 0; pass < 3; ++pass)
	{
		for (render_surface *surface = surfaces->last_surface; surface; surface = surface->previous_surface)
		{
			const uint16 flags = surface_flags(surface);
			const boolean media = (flags & _surface_media_flag) != 0;
			const boolean reflection = (flags & _surface_reflection_flag) != 0;
			const int32 wanted = media ? 0 : reflection ? 1 : 2;
			if (wanted != pass) continue;
			const int16 subtype = surface_subtype(surface);
			if (subtype == _surface_subtype_mesh_triangle)
			{
				// Discarded terrain is still drawn: nothing else covers its place.
				rasterize_sorted_terrain_triangle(reinterpret_cast<const render_triangle *>(surface));
				continue;
			}
			if (flags & _surface_discarded_flag) continue;
			model_triangle_depth_mode = pass == 2 ? _depth_mode_full : _depth_mode_none;
			rectangle_depth_mode = _depth_mode_none;
			filled_rectangle_depth_mode = _depth_mode_none;
			render_surface *one[1] = { surface };
			rasterize_translucent(NULL, one, 1);
		}
	}
}

void rasterize_scene_opengl(view_data *view, render_surface_list *surfaces)
{
	if (!view || !opengl_api.glDrawArrays) return;
	scene_view = view;
	opengl_state.current_depth_mode = _depth_mode_none;
	if (gl_prefs.use_depth_test)
	{
		opengl_api.glDepthMask(GL_TRUE);
		opengl_state.current_depth_mode = _depth_mode_write;
	}
	// Past the map's edge no surface is drawn: the view's colour is cleared
	// every frame, so that nothing of the frames before shows there; with
	// ErasePreviousFrame the whole window is.
	const int32 x0 = view->screen ? view->screen->x0 : 0, y0 = view->screen ? view->screen->y0 : 0;
	const uint32 c = static_cast<uint32>(gl_prefs.clear_color);
	opengl_api.glClearColor(((c >> 16) & 0xFF) / 255.0f, ((c >> 8) & 0xFF) / 255.0f, (c & 0xFF) / 255.0f, 0.0f);
	GLbitfield clear = GL_COLOR_BUFFER_BIT;
	if (gl_prefs.use_depth_test) clear |= GL_DEPTH_BUFFER_BIT;
	const boolean scissored = !gl_prefs.erase_previous_frame && opengl_api.glScissor;
	if (scissored)
	{
		opengl_api.glScissor(x0, active_screen.height - (y0 + view->screen_height), view->screen_width, view->screen_height);
		opengl_api.glEnable(GL_SCISSOR_TEST);
	}
	opengl_api.glClear(clear);
	if (scissored) opengl_api.glDisable(GL_SCISSOR_TEST);

	projection_mode_data *p = &projections[_projection_mode_perspective];
	// The frame core projects through its whole-pixel centre and scale, and 2D
	// overlays use its screen positions: the frustum follows them rather than
	// the exact view tangents (those differ by up to a pixel and a half).
	float left = view->left, right = view->right, bottom = view->bottom, top = view->top;
	if (view->world_to_screen_x > 0 && view->world_to_screen_y > 0)
	{
		const float kx = view->world_to_screen_x, ky = view->world_to_screen_y;
		left = -view->xk / kx;
		right = (view->screen_width - view->xk) / kx;
		top = view->yk / ky;
		bottom = -(view->screen_height - view->yk) / ky;
	}
	opengl_frustum_matrix(p->proj_mat, left * 0.5f, right * 0.5f, bottom * 0.5f, top * 0.5f, 0.5f, 64.0f);
	memset(p->view_mat, 0, sizeof(p->view_mat));
	p->view_mat[0] = p->view_mat[5] = p->view_mat[10] = 1.0f / 512.0f;
	p->view_mat[15] = 1.0f;
	p->viewport[0] = x0;
	p->viewport[1] = active_screen.height - (y0 + view->screen_height);
	p->viewport[2] = view->screen_width;
	p->viewport[3] = view->screen_height;
	p->unproject_y_bias = p->proj_mat[5] != 0.0f ? -(1.0f + p->proj_mat[9]) / p->proj_mat[5] : 0.0f;
	p->unproject_y_scale = view->half_screen_height && p->proj_mat[5] != 0.0f ?
		1.0f / (view->half_screen_height * p->proj_mat[5]) : 0.0f;
	// The projection may have changed with the view.
	if (opengl_state.current_projection_mode == _projection_mode_perspective)
		opengl_state.current_projection_mode = _projection_mode_none;

	if (volatile_maps_changed)
	{
		update_volatile_cmap_texture_opengl(volatile_coverage_list, volatile_coverage_list_size);
		volatile_maps_changed = FALSE;
	}
	if (!gl_prefs.use_shaders && detail_maps_active()) set_detail_texture_combine_opengl();
	reset_texture_matrix_opengl();
	for (int32 unit = 3; unit >= 0; --unit) bind_texture_unit_opengl(unit, -1);
	frame_index += 1;
	rasterizing_scene = TRUE;
	if (gl_prefs.use_depth_test) rasterize_scene_chunked();
	else rasterize_scene_sorted(surfaces);
	flush_batched_vertices_opengl();
	rasterizing_scene = FALSE;
	scene_view = NULL;
}

void reset_render_opengl_drawing_state(void)
{
	for (int32 i = 0; i < cached_bitmap_count; ++i) dispose_pointer(cached_bitmaps[i].textures);
	memset(cached_bitmaps, 0, sizeof(cached_bitmaps));
	cached_bitmap_count = 0;
	memset(&current_tint_shader, 0, sizeof(current_tint_shader));
	filled_rectangle_depth_mode = rectangle_depth_mode = model_triangle_depth_mode = 0;
	frame_index = 0;
	rasterizing_scene = FALSE;
	scene_view = NULL;
}
