// Texture uploads, the colour-map and font textures, detail textures and the
// frame-buffer utilities of the OpenGL back end.
#include "hardware/OpenGL/utilities_opengl.h"

#include <cstring>

#include "hardware/OpenGL/gl_prefs.h"
#include "hardware/OpenGL/setup_opengl.h"
#include "CoreLibrary/zerv/error_manager.h"
#include "hardware/hardware_rasterizers.h"
#include "render/render.h"
#include "detail_maps.h"
#include "mesh.h"
#include "screen.h"
#include "shading_tables.h"
#include "shapes.h"

const opengl_pixel_format opengl_pixel_formats[NUMBER_OF_OGL_PIXEL_TYPES] =
{
	{ GL_RGB5, GL_UNSIGNED_SHORT_1_5_5_5_REV, 2 },
	{ GL_RGB5_A1, GL_UNSIGNED_SHORT_1_5_5_5_REV, 2 },
	{ GL_RGBA4, GL_UNSIGNED_SHORT_4_4_4_4_REV, 2 },
	{ GL_RGB8, GL_UNSIGNED_INT_8_8_8_8_REV, 4 },
	{ GL_RGBA8, GL_UNSIGNED_INT_8_8_8_8_REV, 4 }
};

void *volatile_cmap_shading_table;
gl_client_texture volatile_cmap_texture;
GLuint volatile_cmap_texture_name_opengl;
void *volatile_cmap_pixmap;
gl_client_texture font_texture;
void *font_pixmap;
GLuint font_texture_name_opengl;

static bitmap_data opengl_render_bitmap;
static int32 volatile_cmap_format;
static int32 font_format;

/* ---------- uploads */

// GL keeps one flag per kind of error; a lost context may answer forever.
#define MAXIMUM_PENDING_GL_ERRORS 16

static const opengl_pixel_format *pixel_format(int32 format)
{
	if (format < 0 || format >= NUMBER_OF_OGL_PIXEL_TYPES)
	{
		error_message(_error_assertion_failure, MODULE_NAME, __LINE__, "unanticipated image pixel format");
		return NULL;
	}
	return &opengl_pixel_formats[format];
}

int32 update_texture_opengl(int32 format, const TOGLImage *image, gl_client_texture *texture)
{
	const opengl_pixel_format *pixels = pixel_format(format);
	if (!pixels || !image || !texture) return kOGLParamErr;
	// Only this upload's own errors count: drop what earlier calls left.
	for (int32 i = 0; i < MAXIMUM_PENDING_GL_ERRORS && opengl_api.glGetError() != GL_NO_ERROR; ++i) {}
	bind_texture_unit_for_update_opengl(0, static_cast<int32>(texture->name));
	GLint width = -1, height = -1;
	opengl_api.glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
	opengl_api.glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
	// Both sides decide: a new height must redefine the level.
	if (width == texture->data.width && height == texture->data.height)
	{
		opengl_api.glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, image->width, image->height, GL_BGRA, pixels->type,
			image->pixmap);
	}
	else
	{
		opengl_api.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
		opengl_api.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
		opengl_api.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
		opengl_api.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
		opengl_api.glTexImage2D(GL_TEXTURE_2D, 0, pixels->internal_format, texture->data.width, texture->data.height, 0,
			GL_BGRA, pixels->type, texture->data.pixmap);
	}
	return opengl_api.glGetError() == GL_NO_ERROR ? kOGLNoErr : kOGLError;
}

int32 new_texture_opengl(int32 format, const TOGLImage *image, gl_client_texture *texture)
{
	const opengl_pixel_format *pixels = pixel_format(format);
	if (!pixels || !image || !texture) return kOGLParamErr;
	const int64 size = static_cast<int64>(image->width) * image->height * pixels->bytes_per_texel;
	if (gAvailableTextureMemory != OPENGL_UNLIMITED_TEXTURE_MEMORY && size > static_cast<int64>(gAvailableTextureMemory))
	{
		return kOGLOutOfMemory;
	}
	memset(texture, 0, sizeof(*texture));
	opengl_api.glGenTextures(1, &texture->name);
	if (!texture->name) return kOGLOutOfMemory;
	texture->internal_bytes = static_cast<uint32>(size);
	texture->data = *image;
	const int32 result = update_texture_opengl(format, image, texture);
	if (result != kOGLNoErr)
	{
		opengl_api.glDeleteTextures(1, &texture->name);
		memset(texture, 0, sizeof(*texture));
		return result;
	}
	if (gAvailableTextureMemory != OPENGL_UNLIMITED_TEXTURE_MEMORY) gAvailableTextureMemory -= static_cast<uint32>(size);
	return kOGLNoErr;
}

void delete_texture_opengl(gl_client_texture *texture)
{
	if (!texture || !texture->name) return;
	flush_batched_vertices_opengl();
	for (int32 unit = 0; unit < 4; ++unit)
	{
		if (opengl_state.current_texture[unit] == static_cast<int32>(texture->name)) opengl_state.current_texture[unit] = -1;
	}
	opengl_api.glDeleteTextures(1, &texture->name);
	if (gAvailableTextureMemory != OPENGL_UNLIMITED_TEXTURE_MEMORY) gAvailableTextureMemory += texture->internal_bytes;
	memset(texture, 0, sizeof(*texture));
}

/* ---------- the texture cache */

static int32 texture_pixel_format(int32 encoding)
{
	switch (encoding)
	{
	case _16bit_xrgb_1555_texture_encoding: return kOGLPixel_RGB16;
	case _16bit_argb_1555_texture_encoding: return kOGLPixel_ARGB16;
	case _16bit_argb_4444_texture_encoding: return kOGLPixel_ARGB16_4444;
	case _32bit_xrgb_8888_texture_encoding: return kOGLPixel_RGB32;
	case _32bit_argb_8888_texture_encoding: return kOGLPixel_ARGB32;
	default: return NONE;
	}
}

static boolean upload_cached_texture(GLuint name, const cached_texture_data *texture)
{
	const int32 format = texture_pixel_format(texture->encoding);
	if (format == NONE || !texture->pixels) return FALSE;
	const opengl_pixel_format *pixels = &opengl_pixel_formats[format];
	bind_texture_unit_for_update_opengl(0, static_cast<int32>(name));
	if (texture->adjusted_width != texture->hardware_width || texture->adjusted_height != texture->hardware_height)
	{
		opengl_api.glTexImage2D(GL_TEXTURE_2D, 0, pixels->internal_format, texture->hardware_width,
			texture->hardware_height, 0, GL_BGRA, pixels->type, NULL);
		opengl_api.glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, texture->adjusted_width, texture->adjusted_height, GL_BGRA,
			pixels->type, texture->pixels);
	}
	else
	{
		opengl_api.glTexImage2D(GL_TEXTURE_2D, 0, pixels->internal_format, texture->adjusted_width,
			texture->adjusted_height, 0, GL_BGRA, pixels->type, texture->pixels);
	}
	if ((texture->flags & _texture_mipmaps_flag) && opengl_api.glGenerateMipmap) opengl_api.glGenerateMipmap(GL_TEXTURE_2D);
	return TRUE;
}

static void *new_cached_texture_opengl(void *user_context, bitmap_data *bitmap, cached_texture_data *texture)
{
	(void)user_context;
	(void)bitmap;
	if (!texture || texture_pixel_format(texture->encoding) == NONE) return NULL;
	GLuint name = 0;
	opengl_api.glGenTextures(1, &name);
	if (!name) return NULL;
	bind_texture_unit_for_update_opengl(0, static_cast<int32>(name));
	const GLint wrap = (texture->flags & _texture_clamp_to_border_flag) ? GL_CLAMP_TO_BORDER : GL_CLAMP_TO_EDGE;
	opengl_api.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
	opengl_api.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
	opengl_api.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
	opengl_api.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
		(texture->flags & _texture_mipmaps_flag) ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR);
	if ((texture->flags & _texture_anisotropic_flag) && (active_screen.prefs.flags & _screen_pref_anisotropic_filtering_flag))
	{
		opengl_api.glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, max_anisotropy);
	}
	else if (!(texture->flags & _texture_anisotropic_flag) && texture->mipmap_count > 1)
	{
		// Five less than the count, never below the base level.
		opengl_api.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, MAX(0, texture->mipmap_count - 5));
	}
	if (!upload_cached_texture(name, texture))
	{
		delete_texture_name_opengl(name);
		return NULL;
	}
	return reinterpret_cast<void *>(static_cast<uintptr_t>(name));
}

static void *update_cached_texture_opengl(void *user_context, bitmap_data *bitmap, cached_texture_data *texture)
{
	(void)user_context;
	(void)bitmap;
	const GLuint name = static_cast<GLuint>(reinterpret_cast<uintptr_t>(texture ? texture->user_data : NULL));
	if (!name || !upload_cached_texture(name, texture)) return NULL;
	return texture->user_data;
}

static void delete_cached_texture_opengl(void *user_context, void *handle)
{
	(void)user_context;
	delete_texture_name_opengl(static_cast<GLuint>(reinterpret_cast<uintptr_t>(handle)));
}

void initialize_texture_cache_for_new_map_opengl(void)
{
	int16 bit_depth = 32, encoding = _32bit_encoding;
	get_bit_depth_and_encoding_hardware(&bit_depth, &encoding);
	initialize_texture_cache_for_new_map(NULL, bit_depth == 32, gl_prefs.use_npo2_textures,
		gl_prefs.use_apple_client_storage && gClientStorageExt,
		static_cast<int32>(static_cast<uint32>(active_screen.prefs.texture_cache_size) << 20), new_cached_texture_opengl,
		update_cached_texture_opengl, delete_cached_texture_opengl);
}

void dispose_texture_cache_from_old_map_opengl(void)
{
	dispose_texture_cache_from_old_map();
}

/* ---------- the terrain colour map */

void initialize_volatile_cmap_shading_table_opengl(const mesh_header *header)
{
	dispose_volatile_cmap_shading_table_opengl();
	if (!header || !mesh_globals) return;
	const int16 landscape = mesh_globals->landscape_collection_index;
	const color_table *colors = landscape != NONE ? get_color_table(landscape, 0) : NULL;
	if (!colors) return;
	const boolean wide = gl_prefs.use_32bit_textures;
	volatile_cmap_shading_table = new_pointer_z(wide ? SHADING_TABLES_SIZE32 : SHADING_TABLES_SIZE16);
	if (!volatile_cmap_shading_table) return;
	build_colored_shading_table(wide ? 32 : 16, wide ? _32bit_encoding : _16bit_555_encoding,
		wide ? SHADING_TABLES32 : SHADING_TABLES16, colors, volatile_cmap_shading_table, header->dark_fraction,
		&header->dark_color, header->transition_point, header->light_fraction, &header->light_color);
}

void dispose_volatile_cmap_shading_table_opengl(void)
{
	dispose_pointer(volatile_cmap_shading_table);
	volatile_cmap_shading_table = NULL;
}

void initialize_volatile_cmap_texture_opengl(void)
{
	dispose_volatile_cmap_texture_opengl();
	volatile_cmap_format = gl_prefs.use_32bit_textures ? kOGLPixel_RGB32 : kOGLPixel_RGB16;
	const int32 bytes = opengl_pixel_formats[volatile_cmap_format].bytes_per_texel;
	volatile_cmap_pixmap = new_pointer_z(static_cast<size_t>(VOLATILE_CMAP_TEXTURE_SIZE) * VOLATILE_CMAP_TEXTURE_SIZE * bytes);
	if (!volatile_cmap_pixmap) return;
	TOGLImage image = { 4, VOLATILE_CMAP_TEXTURE_SIZE, VOLATILE_CMAP_TEXTURE_SIZE,
		static_cast<int16>(VOLATILE_CMAP_TEXTURE_SIZE * bytes), volatile_cmap_pixmap };
	if (new_texture_opengl(volatile_cmap_format, &image, &volatile_cmap_texture) != kOGLNoErr) return;
	volatile_cmap_texture_name_opengl = volatile_cmap_texture.name;
	if (active_screen.prefs.flags & _screen_pref_anisotropic_filtering_flag)
	{
		opengl_api.glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, max_anisotropy);
	}
}

static void shade_chunk(int32 entry)
{
	const int32 row0 = (entry >> 3) * VOLATILE_CMAP_CHUNK_SIZE, column0 = (entry & 7) * VOLATILE_CMAP_CHUNK_SIZE;
	const boolean wide = volatile_cmap_format == kOGLPixel_RGB32;
	for (int32 y = row0; y < row0 + VOLATILE_CMAP_CHUNK_SIZE; ++y)
	{
		for (int32 x = column0; x < column0 + VOLATILE_CMAP_CHUNK_SIZE; ++x)
		{
			const int32 at = y * VOLATILE_MAP_WIDTH + x;
			const uint32 colour = volatile_color_map ? volatile_color_map[at] : 0;
			const uint32 shadow = volatile_shadow_map ? volatile_shadow_map[at] : 0;
			if (wide)
			{
				const uint32 *table = static_cast<const uint32 *>(volatile_cmap_shading_table);
				static_cast<uint32 *>(volatile_cmap_pixmap)[at] = table ? table[(shadow << 8) | colour] : 0;
			}
			else
			{
				const uint16 *table = static_cast<const uint16 *>(volatile_cmap_shading_table);
				static_cast<uint16 *>(volatile_cmap_pixmap)[at] = table ? table[((shadow >> 2) << 8) | colour] : 0;
			}
		}
	}
}

void update_volatile_cmap_texture_opengl(const uint8 *coverage_list, int32 coverage_count)
{
	if (!volatile_cmap_pixmap || !volatile_cmap_texture.name) return;
	const opengl_pixel_format *format = &opengl_pixel_formats[volatile_cmap_format];
	const int32 bytes = format->bytes_per_texel;
	if (!coverage_list) coverage_count = 0;
	for (int32 i = 0; i < coverage_count; ++i)
	{
		const int32 entry = coverage_list[i];
		if (entry < 0 || entry >= 64) continue;
		shade_chunk(entry);
		if (gl_prefs.update_cmap_chunked)
		{
			bind_texture_unit_for_update_opengl(0, static_cast<int32>(volatile_cmap_texture.name));
			opengl_api.glPixelStorei(GL_UNPACK_ROW_LENGTH, VOLATILE_CMAP_TEXTURE_SIZE);
			const uint8 *first = static_cast<const uint8 *>(volatile_cmap_pixmap) +
				(static_cast<size_t>((entry >> 3) * VOLATILE_CMAP_CHUNK_SIZE) * VOLATILE_CMAP_TEXTURE_SIZE +
				(entry & 7) * VOLATILE_CMAP_CHUNK_SIZE) * bytes;
			opengl_api.glTexSubImage2D(GL_TEXTURE_2D, 0, (entry & 7) * VOLATILE_CMAP_CHUNK_SIZE,
				(entry >> 3) * VOLATILE_CMAP_CHUNK_SIZE, VOLATILE_CMAP_CHUNK_SIZE, VOLATILE_CMAP_CHUNK_SIZE, GL_BGRA,
				format->type, first);
			opengl_api.glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
		}
	}
	if (!gl_prefs.update_cmap_chunked)
	{
		bind_texture_unit_for_update_opengl(0, static_cast<int32>(volatile_cmap_texture.name));
		opengl_api.glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, VOLATILE_CMAP_TEXTURE_SIZE, VOLATILE_CMAP_TEXTURE_SIZE,
			GL_BGRA, format->type, volatile_cmap_pixmap);
	}
}

void dispose_volatile_cmap_texture_opengl(void)
{
	delete_texture_opengl(&volatile_cmap_texture);
	volatile_cmap_texture_name_opengl = 0;
	dispose_pointer(volatile_cmap_pixmap);
	volatile_cmap_pixmap = NULL;
}

/* ---------- the font atlas */

void update_font_texture_opengl(bitmap_data *font_bitmap)
{
	if (!font_bitmap || !font_pixmap || !font_texture.name) return;
	const int32 width = font_texture.data.width, height = font_texture.data.height;
	for (int32 y = 0; y < height && y < font_bitmap->height; ++y)
	{
		const uint8 *row = font_bitmap->row_addresses[y];
		for (int32 x = 0; x < width && x < font_bitmap->width; ++x)
		{
			const uint32 a = row ? row[x] : 0;
			if (font_format == kOGLPixel_ARGB32)
				static_cast<uint32 *>(font_pixmap)[y * width + x] = (a << 24) | 0x00FFFFFFu;
			else
				static_cast<uint16 *>(font_pixmap)[y * width + x] = static_cast<uint16>(((a >> 4) << 12) | 0x0FFF);
		}
	}
	update_texture_opengl(font_format, &font_texture.data, &font_texture);
}

void initialize_font_texture_opengl(bitmap_data *font_bitmap)
{
	dispose_font_texture_opengl();
	if (!font_bitmap || font_bitmap->width <= 0 || font_bitmap->height <= 0) return;
	font_format = gl_prefs.use_32bit_textures ? kOGLPixel_ARGB32 : kOGLPixel_ARGB16_4444;
	const int32 bytes = opengl_pixel_formats[font_format].bytes_per_texel;
	font_pixmap = new_pointer_z(static_cast<size_t>(font_bitmap->width) * font_bitmap->height * bytes);
	if (!font_pixmap) return;
	TOGLImage image = { 4, font_bitmap->width, font_bitmap->height, static_cast<int16>(font_bitmap->width * bytes),
		font_pixmap };
	if (new_texture_opengl(font_format, &image, &font_texture) != kOGLNoErr) return;
	font_texture_name_opengl = font_texture.name;
	update_font_texture_opengl(font_bitmap);
}

void dispose_font_texture_opengl(void)
{
	delete_texture_opengl(&font_texture);
	font_texture_name_opengl = 0;
	dispose_pointer(font_pixmap);
	font_pixmap = NULL;
}

/* ---------- detail textures */

GLuint upload_detail_texture_opengl(int32 width, int32 height, const uint8 *pixels24)
{
	if (width <= 0 || height <= 0 || !pixels24 || !opengl_api.glGenTextures) return 0;
	GLuint name = 0;
	opengl_api.glGenTextures(1, &name);
	if (!name) return 0;
	bind_texture_unit_for_update_opengl(0, static_cast<int32>(name));
	GLint alignment = 1;
	opengl_api.glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
	const int32 row_bytes = width * 3;
	const int32 lowest = row_bytes & -row_bytes;
	const boolean change = lowest == 1 || lowest == 2 || lowest == 4 || lowest == 8;
	if (change) opengl_api.glPixelStorei(GL_UNPACK_ALIGNMENT, lowest);
	if (opengl_has_generate_mipmap && opengl_api.glGenerateMipmap)
	{
		opengl_api.glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, width, height, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels24);
		opengl_api.glGenerateMipmap(GL_TEXTURE_2D);
	}
	else
	{
		opengl_api.gluBuild2DMipmaps(GL_TEXTURE_2D, GL_RGB8, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels24);
	}
	if (change) opengl_api.glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
	opengl_api.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
	opengl_api.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
	if (active_screen.prefs.flags & _screen_pref_anisotropic_filtering_flag)
	{
		opengl_api.glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, max_anisotropy);
	}
	return name;
}

void delete_texture_name_opengl(GLuint name)
{
	if (!name || !opengl_api.glDeleteTextures) return;
	flush_batched_vertices_opengl();
	for (int32 unit = 0; unit < 4; ++unit)
	{
		if (opengl_state.current_texture[unit] == static_cast<int32>(name)) opengl_state.current_texture[unit] = -1;
	}
	opengl_api.glDeleteTextures(1, &name);
}

// A detail texture keeps its GL name in hardware_format.
void create_detail_texture_opengl(detail_texture_definition *definition)
{
	if (!definition) return;
	definition->hardware_format = upload_detail_texture_opengl(static_cast<int32>(definition->width),
		static_cast<int32>(definition->height), detail_texture_pixels24(definition));
}

void dispose_detail_texture_opengl(detail_texture_definition *definition)
{
	if (!definition) return;
	delete_texture_name_opengl(definition->hardware_format);
	definition->hardware_format = 0;
}

/* ---------- the frame buffer */

bitmap_data *initialize_opengl_render_bitmap(const rectangle2d *bounds)
{
	memset(&opengl_render_bitmap, 0, sizeof(opengl_render_bitmap));
	if (!bounds) return &opengl_render_bitmap;
	opengl_render_bitmap.width = static_cast<int16>(bounds->right - bounds->left);
	opengl_render_bitmap.height = static_cast<int16>(bounds->bottom - bounds->top);
	opengl_render_bitmap.flags = _no_row_address_table_flag;
	opengl_render_bitmap.logical_bit_depth = 32;
	opengl_render_bitmap.pixel_upshift = 2;
	opengl_render_bitmap.encoding = _opengl_frame_buffer_encoding;
	opengl_render_bitmap.x0 = bounds->left;
	opengl_render_bitmap.y0 = bounds->top;
	return &opengl_render_bitmap;
}

void clear_opengl_backbuffer(void)
{
	if (!opengl_api.glClear) return;
	opengl_api.glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
	opengl_api.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
	copy_opengl_world_to_screen();
}

void copy_bits_from_opengl_render_buffer(const rectangle2d *bounds, bitmap_data *destination)
{
	if (!bounds || !destination || !opengl_api.glReadPixels) return;
	// Rows are read as 32-bit pixels; any other destination would overflow.
	if (destination->logical_bit_depth != 32 || destination->bytes_per_row <= 0) return;
	const int32 width = MIN(static_cast<int32>(bounds->right - bounds->left), destination->bytes_per_row / 4);
	const int32 height = MIN(static_cast<int32>(bounds->bottom - bounds->top), static_cast<int32>(destination->height));
	const int32 columns = MIN(width, static_cast<int32>(destination->width));
	if (columns <= 0 || height <= 0) return;
	opengl_api.glReadBuffer(GL_BACK);
	opengl_api.glPixelStorei(GL_PACK_ALIGNMENT, 4);
	for (int32 row = 0; row < height; ++row)
	{
		const int32 y = bounds->top + row;
		uint8 *target = (destination->flags & _no_row_address_table_flag) ?
			destination->row_addresses[0] + static_cast<size_t>(row) * destination->bytes_per_row :
			destination->row_addresses[row];
		if (!target) continue;
		opengl_api.glReadPixels(bounds->left, active_screen.height - 1 - y, columns, 1, GL_BGRA,
			GL_UNSIGNED_INT_8_8_8_8_REV, target);
	}
	destination->encoding = _32bit_encoding;
}

/* ---------- diagnostics */

const char *gl_error_name(GLenum error)
{
	switch (error)
	{
	case GL_INVALID_ENUM: return "GL_INVALID_ENUM";
	case GL_INVALID_VALUE: return "GL_INVALID_VALUE";
	case GL_INVALID_OPERATION: return "GL_INVALID_OPERATION";
	case GL_STACK_OVERFLOW: return "GL_STACK_OVERFLOW";
	case GL_STACK_UNDERFLOW: return "GL_STACK_UNDERFLOW";
	case GL_OUT_OF_MEMORY: return "GL_OUT_OF_MEMORY";
	default: return "(unknown error)";
	}
}

void gl_debug(const char *what, const char *file, int32 line)
{
	if (!opengl_api.glGetError) return;
	const GLenum error = opengl_api.glGetError();
	if (error == GL_NO_ERROR) return;
	log_message(MODULE_NAME, __LINE__, "OpenGL error: %s generated %s at %s:%d", what, gl_error_name(error), file,
		static_cast<int>(line));
}

void reset_utilities_opengl_state(void)
{
	dispose_pointer(volatile_cmap_shading_table);
	dispose_pointer(volatile_cmap_pixmap);
	dispose_pointer(font_pixmap);
	volatile_cmap_shading_table = NULL;
	volatile_cmap_pixmap = NULL;
	font_pixmap = NULL;
	memset(&volatile_cmap_texture, 0, sizeof(volatile_cmap_texture));
	memset(&font_texture, 0, sizeof(font_texture));
	volatile_cmap_texture_name_opengl = 0;
	font_texture_name_opengl = 0;
	memset(&opengl_render_bitmap, 0, sizeof(opengl_render_bitmap));
}
