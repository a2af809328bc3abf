// The OpenGL back end's set-up: the device probe, the settings, the context
// and window, the texture budget, the 2.0 entry points, the generated shader
// programs and the GL state cache.
#ifndef SETUP_OPENGL_H
#define SETUP_OPENGL_H

#include "cseries.h"
#include "hardware/OpenGL/opengl_api.h"

struct device_info;

/* ---------- shaders */

enum // shader modes
{
	_shader_none,
	_shader_fixed_multitexture,
	_shader_basic_color,
	_shader_basic_texture,
	_shader_world_texture,
	_shader_sprite,
	_shader_depth,
	_shader_mesh_0,
	_shader_mesh_1,
	_shader_mesh_2,
	_shader_mesh_3,
	NUMBER_OF_SHADER_MODES,

	_shader_first_opengl2 = _shader_basic_color
};

enum // state flags
{
	_texture_0_bit,
	_texture_1_bit,
	_texture_2_bit,
	_texture_3_bit,
	_fog_bit,
	_tint_bit,

	_texture_0_flag = 1 << _texture_0_bit,
	_texture_1_flag = 1 << _texture_1_bit,
	_texture_2_flag = 1 << _texture_2_bit,
	_texture_3_flag = 1 << _texture_3_bit,
	_fog_flag = 1 << _fog_bit,
	_tint_flag = 1 << _tint_bit,
	_texture_x_mask = _texture_0_flag | _texture_1_flag | _texture_2_flag | _texture_3_flag
};

struct shader_data
{
	// Packed from the low bit: texture_count 3, world_scale 1, color 1,
	// zerv_depth 1, tinting 1, lod_bias 1, state_flags 8.
	uint32 key;
	uint32 program;
};

static inline int32 shader_texture_count(const shader_data *s) { return static_cast<int32>(s->key & 7); }
static inline boolean shader_world_scale(const shader_data *s) { return (s->key >> 3) & 1; }
static inline boolean shader_color(const shader_data *s) { return (s->key >> 4) & 1; }
static inline boolean shader_zerv_depth(const shader_data *s) { return (s->key >> 5) & 1; }
static inline boolean shader_tinting(const shader_data *s) { return (s->key >> 6) & 1; }
static inline boolean shader_lod_bias(const shader_data *s) { return (s->key >> 7) & 1; }
static inline uint32 shader_state_flags(const shader_data *s) { return (s->key >> 8) & 0xFF; }
static inline void set_shader_state_flags(shader_data *s, uint32 flags)
{
	s->key = (s->key & ~0xFF00u) | ((flags & 0xFF) << 8);
}

#define MAXIMUM_SHADER_PROGRAMS 11
#define SHADER_TEXT_MAXIMUM_LINES 64
#define SHADER_TEXT_MAXIMUM_LINE_LENGTH 128
#define SHADER_LOG_MAXIMUM_LENGTH 2048

struct shader_program
{
	uint32 program, vertex_shader, fragment_shader;
};

extern shader_data shaders[NUMBER_OF_SHADER_MODES];
extern shader_program programs[MAXIMUM_SHADER_PROGRAMS];
extern int32 program_count;
extern const char *const texture_uniform_names[4];

/* ---------- projections, depth and blending */

enum
{
	_projection_mode_none = -1,
	_projection_mode_ortho,
	_projection_mode_perspective,
	NUMBER_OF_PROJECTION_MODES
};

enum
{
	_depth_mode_none,
	_depth_mode_test,
	_depth_mode_write,
	_depth_mode_full
};

enum
{
	_blend_mode_replace,
	_blend_mode_alpha,
	_blend_mode_premultiplied_alpha
};

struct projection_mode_data
{
	float proj_mat[16]; // column order
	float view_mat[16];
	int32 viewport[4];
	float unproject_y_bias, unproject_y_scale;
};

extern projection_mode_data projections[NUMBER_OF_PROJECTION_MODES];

// The GL state as last set; -1 is "not set", so the next request sets it.
struct opengl_state_cache_data
{
	int32 current_shader_mode;
	int32 current_program;
	int32 shader_state_flags_opengl;
	int32 current_texture_unit;
	int32 current_client_texture_unit;
	int32 current_texture[4];
	int32 current_matrix_mode;
	int32 current_projection_mode;
	int32 current_depth_mode;
	int32 current_blend_mode;
};

extern opengl_state_cache_data opengl_state;

/* ---------- vertices */

struct opengl_vertex
{
	int16 x, y, z, w;
	// With shaders s, t, p, q; without, unit 0's s, t then unit 1's.
	float texture[4];
	uint8 tint[4]; // attribute 6
	uint8 color[4]; // RGBA
};
static_assert(sizeof(opengl_vertex) == 32, "the vertex layout is fixed");

#define MAXIMUM_OPENGL_VERTICES 24576
extern opengl_vertex render_verts[MAXIMUM_OPENGL_VERTICES];

// Fills a vertex position, each value range-checked and saturated.
void set_opengl_vertex_position(opengl_vertex *vertex, float x, float y, float z, float w);

// A scene's single surfaces are queued as triangles at the front of
// render_verts and drawn together: a software driver pays far more for a draw
// than for its few vertices. The queue is drawn before any change of GL state,
// texture contents or texture names, and before anything else writes the
// vertices.
extern int32 batched_vertex_count_opengl;
// Room for count more vertices at the queue's end (the queue is drawn first
// when full).
opengl_vertex *reserve_batched_vertices_opengl(int32 count);
void flush_batched_vertices_opengl(void);

/* ---------- globals of the set-up */

#define OPENGL_UNLIMITED_TEXTURE_MEMORY 0xFFFFFFFFu

extern uint32 gAvailableTextureMemory;
extern boolean gClientStorageExt;
extern float max_anisotropy;
extern boolean fog_can_be_enabled_opengl;
extern boolean use_fixed_function_fog;
extern boolean rasterizer_initialized;
extern boolean whole_model_transparent_hack_required;
// Whether a glGenerateMipmap entry point was found.
extern boolean opengl_has_generate_mipmap;

/* ---------- entry points */

void query_opengl_devices(void);
// major << 16 | minor; 0 when missing or unparsable.
int32 getOpenGLVersion(void);
void copy_gl_string(char *destination, int32 length, GLenum name);
// Whether the name stands in the list as a whole word.
boolean poorManCheckExtension(const char *name, const char *extension_list);

boolean SetupOpenGLContext(void);
boolean setup_opengl_context(const device_info *device);
void dispose_opengl_context(int32 reason);
void create_opengl_window(void);
void dispose_opengl_window(void);
void my_opengl_shutdown(void);

// The budget of step 5 of the set-up (signed, clamped).
uint32 compute_opengl_texture_budget(int32 window_width, int32 window_height, int32 screen_width,
	int32 screen_height, int32 bit_depth, int32 texture_cache_megabytes);
// Reads the settings with the device's and detail maps' defaults and applies
// the forcing rules.
void read_opengl_settings(boolean opengl2_device);
// Looks the 2.0 names up; a missing one ends the process.
void lookup_opengl2_entry_points(void);

boolean initialize_opengl_rasterizer_for_new_map(void);
void initialize_opengl_mesh_parameters_for_new_map(void);
void dispose_opengl_rasterizer_from_old_map(void);

void set_render_mode_opengl(int32 shader_mode, int32 projection_mode, int32 depth_mode, int32 blend_mode);
void set_shader_mode_opengl(int32 mode);
void bind_texture_unit_opengl(int32 unit, int32 name);
void bind_texture_unit_for_update_opengl(int32 unit, int32 name);
void reset_texture_matrix_opengl(void);
// Loads unit 0's texture matrix, whichever unit was selected last.
void load_texture_matrix_opengl(const float *matrix);
// Fixed-function detail passes: unit 1 scales its product by two, so a mid-grey
// detail texel leaves the colour map as it is.
void set_detail_texture_combine_opengl(void);
void reset_opengl_state_cache(void);

void shader_append(const char *format, ...) ATTRIBUTE_PRINTF(1, 2);
void build_shader(shader_data *shader);
void link_program_opengl(uint32 program, uint32 vertex_shader, uint32 fragment_shader);
// Builds the programs of modes 2 to 10 with (or without) world scale.
void build_shader_programs(boolean world_scale);
void dispose_shader_programs(void);

void set_vsync_interval_opengl(int32 interval);
void platform_set_vsync_interval_opengl(int32 interval);
void copy_opengl_world_to_screen(void);
void lod_bias_debug(void);

// glOrtho and glFrustum as GL builds them, column order.
void opengl_ortho_matrix(float *m, float left, float right, float bottom, float top, float near_value,
	float far_value);
void opengl_frustum_matrix(float *m, float left, float right, float bottom, float top, float near_value,
	float far_value);

// Installs the back end's table in the hardware seam (done when an OpenGL
// device is the active screen at map start).
void install_opengl_back_end(void);

// Test hooks: every global of the back end back to its start.
void reset_opengl_test_hooks(void);

#endif
