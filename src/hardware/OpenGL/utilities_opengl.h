// Texture uploads under the back end's byte budget, the terrain colour-map
// and font atlas textures, detail textures and the frame-buffer utilities.
#ifndef UTILITIES_OPENGL_H
#define UTILITIES_OPENGL_H

#include "cseries.h"
#include "bitmaps.h"
#include "hardware/OpenGL/opengl_api.h"
#include "shading_tables.h"

#include "hardware/generic_texture_cache.h"

struct mesh_header;
struct detail_texture_definition;

enum TOGLImagePixelType
{
	kOGLPixel_RGB16,
	kOGLPixel_ARGB16,
	kOGLPixel_ARGB16_4444,
	kOGLPixel_RGB32,
	kOGLPixel_ARGB32,
	NUMBER_OF_OGL_PIXEL_TYPES
};

enum
{
	kOGLNoErr,
	kOGLError,
	kOGLOutOfMemory,
	kOGLNotSupported,
	kOGLOutOfDate,
	kOGLParamErr,
	kOGLGestaltUnknown,
	kOGLDisplayModeUnsupported
};

struct TOGLImage
{
	uint8 channels;
	int16 width, height;
	int16 rowBytes;
	void *pixmap;
};

struct gl_client_texture
{
	GLuint name;
	void *pixmapCacheStorage;
	uint32 internal_bytes;
	TOGLImage data;
};

struct opengl_pixel_format
{
	GLint internal_format;
	GLenum type;
	int32 bytes_per_texel;
};

extern const opengl_pixel_format opengl_pixel_formats[NUMBER_OF_OGL_PIXEL_TYPES];

// SHADING_TABLES32 (256) and SHADING_TABLES16 (64) levels of 256 colours.
#define SHADING_TABLES_SIZE32 (SHADING_TABLES32 * 256 * 4)
#define SHADING_TABLES_SIZE16 (SHADING_TABLES16 * 256 * 2)
#define VOLATILE_CMAP_TEXTURE_SIZE 512
#define VOLATILE_CMAP_CHUNK_SIZE 64

extern void *volatile_cmap_shading_table;
extern gl_client_texture volatile_cmap_texture;
extern GLuint volatile_cmap_texture_name_opengl;
extern void *volatile_cmap_pixmap;
extern gl_client_texture font_texture;
extern void *font_pixmap;
extern GLuint font_texture_name_opengl;

int32 new_texture_opengl(int32 format, const TOGLImage *image, gl_client_texture *texture);
int32 update_texture_opengl(int32 format, const TOGLImage *image, gl_client_texture *texture);
void delete_texture_opengl(gl_client_texture *texture);

void initialize_texture_cache_for_new_map_opengl(void);
void dispose_texture_cache_from_old_map_opengl(void);

void initialize_volatile_cmap_shading_table_opengl(const mesh_header *header);
void dispose_volatile_cmap_shading_table_opengl(void);
void initialize_volatile_cmap_texture_opengl(void);
// Re-shades the chunks named in the coverage list (entry e: row e >> 3, column e & 7).
void update_volatile_cmap_texture_opengl(const uint8 *coverage_list, int32 coverage_count);
void dispose_volatile_cmap_texture_opengl(void);

void initialize_font_texture_opengl(bitmap_data *font_bitmap);
void update_font_texture_opengl(bitmap_data *font_bitmap);
void dispose_font_texture_opengl(void);

void create_detail_texture_opengl(detail_texture_definition *definition);
void dispose_detail_texture_opengl(detail_texture_definition *definition);
// A detail texture from RGB pixels, rows width x 3 bytes; 0 on failure.
GLuint upload_detail_texture_opengl(int32 width, int32 height, const uint8 *pixels24);
void delete_texture_name_opengl(GLuint name);

bitmap_data *initialize_opengl_render_bitmap(const rectangle2d *bounds);
void clear_opengl_backbuffer(void);
void copy_bits_from_opengl_render_buffer(const rectangle2d *bounds, bitmap_data *destination);

// Logs a pending GL error with what raised it.
void gl_debug(const char *what, const char *file, int32 line);
const char *gl_error_name(GLenum error);

void reset_utilities_opengl_state(void);

#endif
