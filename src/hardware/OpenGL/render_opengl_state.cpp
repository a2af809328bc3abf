// The GL state cache and the generated shader programs of the back end.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "hardware/OpenGL/gl_prefs.h"
#include "hardware/OpenGL/setup_opengl.h"
#include "hardware/OpenGL/render_opengl.h"
#include "CoreLibrary/zerv/error_manager.h"

#define KEY(texture_count, world_scale, color, zerv_depth, tinting, lod_bias) \
	{ static_cast<uint32>((texture_count) | ((world_scale) << 3) | ((color) << 4) | ((zerv_depth) << 5) | \
		((tinting) << 6) | ((lod_bias) << 7)), 0 }

static const shader_data shader_keys[NUMBER_OF_SHADER_MODES] =
{
	KEY(0, 0, 0, 0, 0, 0), // none
	KEY(2, 1, 1, 0, 0, 0), // fixed multitexture
	KEY(0, 0, 1, 0, 0, 0), // basic colour
	KEY(1, 0, 1, 0, 0, 0), // basic texture
	KEY(1, 1, 0, 0, 1, 0), // world texture
	KEY(1, 1, 0, 1, 1, 1), // sprite
	KEY(0, 1, 0, 1, 0, 0), // depth
	KEY(1, 1, 0, 0, 0, 0), // mesh 0
	KEY(2, 1, 0, 0, 0, 0),
	KEY(3, 1, 0, 0, 0, 0),
	KEY(4, 1, 0, 0, 0, 0)
};

shader_data shaders[NUMBER_OF_SHADER_MODES];
shader_program programs[MAXIMUM_SHADER_PROGRAMS];
int32 program_count;
const char *const texture_uniform_names[4] = { "texture0", "texture1", "texture2", "texture3" };
projection_mode_data projections[NUMBER_OF_PROJECTION_MODES];
opengl_state_cache_data opengl_state;

/* ---------- vertices and matrices */

static int16 saturate_int16(float value)
{
	if (!(value == value)) return 0;
	if (value >= 32767.0f) return 32767;
	if (value <= -32768.0f) return -32768;
	return static_cast<int16>(value);
}

void set_opengl_vertex_position(opengl_vertex *vertex, float x, float y, float z, float w)
{
	vertex->x = saturate_int16(x);
	vertex->y = saturate_int16(y);
	vertex->z = saturate_int16(z);
	vertex->w = saturate_int16(w);
}

void opengl_ortho_matrix(float *m, float left, float right, float bottom, float top, float near_value,
	float far_value)
{
	memset(m, 0, 16 * sizeof(float));
	m[0] = 2.0f / (right - left);
	m[5] = 2.0f / (top - bottom);
	m[10] = -2.0f / (far_value - near_value);
	m[12] = -(right + left) / (right - left);
	m[13] = -(top + bottom) / (top - bottom);
	m[14] = -(far_value + near_value) / (far_value - near_value);
	m[15] = 1.0f;
}

void opengl_frustum_matrix(float *m, float left, float right, float bottom, float top, float near_value,
	float far_value)
{
	memset(m, 0, 16 * sizeof(float));
	m[0] = 2.0f * near_value / (right - left);
	m[5] = 2.0f * near_value / (top - bottom);
	m[8] = (right + left) / (right - left);
	m[9] = (top + bottom) / (top - bottom);
	m[10] = -(far_value + near_value) / (far_value - near_value);
	m[11] = -1.0f;
	m[14] = -2.0f * far_value * near_value / (far_value - near_value);
}

/* ---------- queued vertices */

int32 batched_vertex_count_opengl;

void flush_batched_vertices_opengl(void)
{
	if (batched_vertex_count_opengl <= 0) return;
	const int32 count = batched_vertex_count_opengl;
	batched_vertex_count_opengl = 0;
	if (opengl_api.glDrawArrays) opengl_api.glDrawArrays(GL_TRIANGLES, 0, count);
}

opengl_vertex *reserve_batched_vertices_opengl(int32 count)
{
	if (count <= 0 || count > MAXIMUM_OPENGL_VERTICES) return NULL;
	if (batched_vertex_count_opengl + count > MAXIMUM_OPENGL_VERTICES) flush_batched_vertices_opengl();
	opengl_vertex *first = &render_verts[batched_vertex_count_opengl];
	batched_vertex_count_opengl += count;
	return first;
}

// Every GL state change below draws the queue first, under the state it was
// queued with.
static inline void before_state_change(void)
{
	if (batched_vertex_count_opengl > 0) flush_batched_vertices_opengl();
}

/* ---------- the state cache */

void reset_opengl_state_cache(void)
{
	batched_vertex_count_opengl = 0;
	opengl_state.current_shader_mode = _shader_none;
	opengl_state.current_program = -1;
	opengl_state.shader_state_flags_opengl = 0;
	opengl_state.current_texture_unit = -1;
	opengl_state.current_client_texture_unit = -1;
	for (int32 i = 0; i < 4; ++i) opengl_state.current_texture[i] = -1;
	opengl_state.current_matrix_mode = -1;
	opengl_state.current_projection_mode = _projection_mode_none;
	opengl_state.current_depth_mode = _depth_mode_none;
	opengl_state.current_blend_mode = -1;
}

static void select_texture_unit(int32 unit)
{
	if (opengl_state.current_texture_unit == unit) return;
	before_state_change();
	opengl_api.glActiveTexture(GL_TEXTURE0 + unit);
	opengl_state.current_texture_unit = unit;
}

static void select_client_texture_unit(int32 unit)
{
	if (opengl_state.current_client_texture_unit == unit) return;
	before_state_change();
	opengl_api.glClientActiveTexture(GL_TEXTURE0 + unit);
	opengl_state.current_client_texture_unit = unit;
}

static void set_unit_enabled(int32 unit, boolean enabled)
{
	before_state_change();
	select_texture_unit(unit);
	if (enabled) opengl_api.glEnable(GL_TEXTURE_2D);
	else opengl_api.glDisable(GL_TEXTURE_2D);
	if (unit == 0 || !gl_prefs.use_shaders)
	{
		select_client_texture_unit(unit);
		if (enabled) opengl_api.glEnableClientState(GL_TEXTURE_COORD_ARRAY);
		else opengl_api.glDisableClientState(GL_TEXTURE_COORD_ARRAY);
	}
	opengl_state.shader_state_flags_opengl ^= 1 << unit;
}

void bind_texture_unit_opengl(int32 unit, int32 name)
{
	if (unit < 0 || unit > 3) return;
	const boolean enabled = (opengl_state.shader_state_flags_opengl >> unit) & 1;
	if (name == -1)
	{
		if (enabled) set_unit_enabled(unit, FALSE);
		return;
	}
	if (enabled && opengl_state.current_texture[unit] == name) return;
	if (!enabled) set_unit_enabled(unit, TRUE);
	before_state_change();
	select_texture_unit(unit);
	opengl_api.glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(name));
	opengl_state.current_texture[unit] = name;
}

void bind_texture_unit_for_update_opengl(int32 unit, int32 name)
{
	if (unit < 0 || unit > 3) return;
	// The texture's contents are about to change.
	before_state_change();
	select_texture_unit(unit);
	bind_texture_unit_opengl(unit, name);
}

void reset_texture_matrix_opengl(void)
{
	before_state_change();
	select_texture_unit(0);
	opengl_api.glMatrixMode(GL_TEXTURE);
	opengl_api.glLoadIdentity();
	opengl_api.glMatrixMode(GL_MODELVIEW);
	opengl_state.current_matrix_mode = GL_MODELVIEW;
}

void load_texture_matrix_opengl(const float *matrix)
{
	before_state_change();
	select_texture_unit(0);
	opengl_api.glMatrixMode(GL_TEXTURE);
	opengl_api.glLoadMatrixf(matrix);
	opengl_api.glMatrixMode(GL_MODELVIEW);
	opengl_state.current_matrix_mode = GL_MODELVIEW;
}

void set_detail_texture_combine_opengl(void)
{
	before_state_change();
	select_texture_unit(1);
	opengl_api.glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
	opengl_api.glTexEnvi(GL_TEXTURE_ENV, GL_RGB_SCALE, 2);
}

void set_shader_mode_opengl(int32 mode)
{
	if (mode < 0 || mode >= NUMBER_OF_SHADER_MODES || mode == opengl_state.current_shader_mode) return;
	before_state_change();
	const shader_data *shader = &shaders[mode];
	const uint32 wanted = shader_state_flags(shader);
	for (int32 unit = 0; unit < 4; ++unit)
	{
		const boolean enabled = (opengl_state.shader_state_flags_opengl >> unit) & 1;
		const boolean used = (wanted >> unit) & 1;
		if (enabled && !used) bind_texture_unit_opengl(unit, -1);
	}
	const uint32 differs = static_cast<uint32>(opengl_state.shader_state_flags_opengl) ^ wanted;
	if (use_fixed_function_fog && (differs & _fog_flag))
	{
		if (wanted & _fog_flag) opengl_api.glEnable(GL_FOG);
		else opengl_api.glDisable(GL_FOG);
		opengl_state.shader_state_flags_opengl ^= _fog_flag;
	}
	if (gl_prefs.use_shaders)
	{
		if (differs & _tint_flag)
		{
			if (wanted & _tint_flag) opengl_api.glEnableVertexAttribArray(6);
			else opengl_api.glDisableVertexAttribArray(6);
			opengl_state.shader_state_flags_opengl ^= _tint_flag;
		}
		if (opengl_state.current_program != static_cast<int32>(shader->program))
		{
			opengl_api.glUseProgram(shader->program);
			opengl_state.current_program = static_cast<int32>(shader->program);
		}
	}
	opengl_state.current_shader_mode = mode;
}

void set_render_mode_opengl(int32 shader_mode, int32 projection_mode, int32 depth_mode, int32 blend_mode)
{
	set_shader_mode_opengl(shader_mode);
	if (projection_mode != opengl_state.current_projection_mode && projection_mode >= 0 &&
		projection_mode < NUMBER_OF_PROJECTION_MODES)
	{
		before_state_change();
		const projection_mode_data *projection = &projections[projection_mode];
		opengl_api.glViewport(projection->viewport[0], projection->viewport[1], projection->viewport[2],
			projection->viewport[3]);
		opengl_api.glMatrixMode(GL_PROJECTION);
		opengl_api.glLoadMatrixf(projection->proj_mat);
		opengl_api.glMatrixMode(GL_MODELVIEW);
		opengl_api.glLoadMatrixf(projection->view_mat);
		opengl_state.current_matrix_mode = GL_MODELVIEW;
		opengl_state.current_projection_mode = projection_mode;
	}
	if (gl_prefs.use_depth_test && depth_mode != opengl_state.current_depth_mode)
	{
		before_state_change();
		const int32 changed = depth_mode ^ opengl_state.current_depth_mode;
		if (changed & _depth_mode_test)
		{
			if (depth_mode & _depth_mode_test) opengl_api.glEnable(GL_DEPTH_TEST);
			else opengl_api.glDisable(GL_DEPTH_TEST);
		}
		if (changed & _depth_mode_write) opengl_api.glDepthMask((depth_mode & _depth_mode_write) ? GL_TRUE : GL_FALSE);
		opengl_state.current_depth_mode = depth_mode;
	}
	if (blend_mode != opengl_state.current_blend_mode)
	{
		before_state_change();
		switch (blend_mode)
		{
		case _blend_mode_replace:
			opengl_api.glDisable(GL_BLEND);
			break;
		case _blend_mode_alpha:
			opengl_api.glEnable(GL_BLEND);
			opengl_api.glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
			break;
		default:
			opengl_api.glEnable(GL_BLEND);
			// Fixed-function fog fades the colour, so the texels cannot stay premultiplied.
			if (use_fixed_function_fog) opengl_api.glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
			else opengl_api.glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
			break;
		}
		opengl_state.current_blend_mode = blend_mode;
	}
}

/* ---------- shader texts */

struct shader_text_data
{
	char lines[SHADER_TEXT_MAXIMUM_LINES][SHADER_TEXT_MAXIMUM_LINE_LENGTH];
	int32 count;
};

static shader_text_data shader_text;

void shader_append(const char *format, ...)
{
	if (shader_text.count >= SHADER_TEXT_MAXIMUM_LINES) return;
	va_list arguments;
	va_start(arguments, format);
	vsnprintf(shader_text.lines[shader_text.count], SHADER_TEXT_MAXIMUM_LINE_LENGTH, format, arguments);
	va_end(arguments);
	shader_text.count += 1;
}

static uint32 compile_shader_text(GLenum type)
{
	const GLchar *strings[SHADER_TEXT_MAXIMUM_LINES];
	for (int32 i = 0; i < shader_text.count; ++i) strings[i] = shader_text.lines[i];
	const uint32 shader = opengl_api.glCreateShader(type);
	opengl_api.glShaderSource(shader, shader_text.count, strings, NULL);
	opengl_api.glCompileShader(shader);
	shader_text.count = 0;
	return shader;
}

static void log_info(const char *title, uint32 object, boolean program)
{
	GLchar text[SHADER_LOG_MAXIMUM_LENGTH + 1];
	GLsizei length = 0;
	text[0] = 0;
	if (program) opengl_api.glGetProgramInfoLog(object, SHADER_LOG_MAXIMUM_LENGTH, &length, text);
	else opengl_api.glGetShaderInfoLog(object, SHADER_LOG_MAXIMUM_LENGTH, &length, text);
	if (length < 0) length = 0;
	if (length > SHADER_LOG_MAXIMUM_LENGTH) length = SHADER_LOG_MAXIMUM_LENGTH;
	text[length] = 0;
	if (text[0]) log_message(MODULE_NAME, __LINE__, "%s log:\n%s", title, text);
}

void link_program_opengl(uint32 program, uint32 vertex_shader, uint32 fragment_shader)
{
	opengl_api.glLinkProgram(program);
	GLint status = GL_FALSE;
	opengl_api.glGetProgramiv(program, GL_LINK_STATUS, &status);
	if (status == GL_TRUE) return;
	log_info("program", program, TRUE);
	log_info("vertex shader", vertex_shader, FALSE);
	log_info("fragment shader", fragment_shader, FALSE);
}

static void vertex_text(const shader_data *shader)
{
	const int32 textures = shader_texture_count(shader);
	if (shader_tinting(shader))
	{
		shader_append("attribute vec4 in_tint_kpqr;\n");
		shader_append("varying vec4 tint_kpqr;\n");
	}
	shader_append("void main() {\n");
	if (shader_tinting(shader)) shader_append("tint_kpqr = in_tint_kpqr;\n");
	if (textures > 0)
	{
		shader_append("gl_TexCoord[0] = gl_MultiTexCoord0;\n");
		for (int32 i = 1; i < textures; ++i)
		{
			shader_append("gl_TexCoord[%d] = gl_TextureMatrix[0][%d] * gl_MultiTexCoord0;\n", static_cast<int>(i),
				static_cast<int>(i));
		}
	}
	if (shader_color(shader) || shader_tinting(shader) || textures > 1) shader_append("gl_FrontColor = gl_Color;\n");
	if (shader_world_scale(shader)) shader_append("vec4 pos = gl_Vertex*%.8f;\n", 1.0 / 512.0);
	else shader_append("vec4 pos = gl_Vertex;\n");
	shader_append("gl_Position = gl_ProjectionMatrix * vec4(pos.xyz, 1.0);\n");
	if (shader_zerv_depth(shader))
	{
		shader_append("gl_Position.z = (gl_ProjectionMatrix * vec4(0, 0, pos.w, 1.0)).z*pos.z/pos.w;");
	}
	shader_append("}");
}

static void fragment_text(const shader_data *shader)
{
	const int32 textures = shader_texture_count(shader);
	for (int32 i = 0; i < textures; ++i) shader_append("uniform sampler2D texture%d;\n", static_cast<int>(i));
	if (shader_tinting(shader)) shader_append("varying vec4 tint_kpqr;\n");
	shader_append("void main() {\n");
	if (textures == 0 && !shader_color(shader))
	{
		shader_append("gl_FragColor = vec4(0, 0, 0, 0);\n");
		shader_append("}");
		return;
	}
	char bias[32] = "";
	if (shader_lod_bias(shader)) snprintf(bias, sizeof(bias), ", %.2f", static_cast<double>(gl_prefs.texture_lod_bias));
	if (textures > 0 && shader_color(shader))
		shader_append("vec4 color = gl_Color * texture2D(texture0, gl_TexCoord[0].st%s);\n", bias);
	else if (textures > 0)
		shader_append("vec4 color = texture2D(texture0, gl_TexCoord[0].st%s);\n", bias);
	else
		shader_append("vec4 color = gl_Color;\n");
	if (textures > 1)
	{
		static const char channels[] = "rgb";
		for (int32 i = 1; i < textures; ++i)
		{
			shader_append("vec4 d%d = 2.0*texture2D(texture%d, gl_TexCoord[%d].pq) - 1.0;\n", static_cast<int>(i),
				static_cast<int>(i), static_cast<int>(i));
		}
		shader_append("vec4 detail = 1.0 + ");
		for (int32 i = 1; i < textures; ++i)
		{
			shader_append(i < textures - 1 ? "d%d * gl_Color.%c + " : "d%d * gl_Color.%c;\n", static_cast<int>(i),
				channels[i - 1]);
		}
		shader_append("color *= detail;\n");
	}
	if (shader_tinting(shader))
	{
		shader_append("const vec3 L = vec3(0.4, 0.6, 0.2);\n");
		shader_append("vec4 tint_xyza = gl_Color;\n");
		shader_append("color *= tint_xyza.a;\n");
		shader_append("color.rgb = color.rgb*tint_kpqr.x + color.a*tint_kpqr.yzw + dot(L,color.rgb)*tint_xyza.xyz;\n");
	}
	if (fog_can_be_enabled_opengl)
	{
		shader_append("float fogFactor = exp(-gl_Fog.density * (gl_FragCoord.z / gl_FragCoord.w));\n");
		shader_append("fogFactor = clamp(fogFactor, 0.0, 1.0);\n");
		if (shader_world_scale(shader) && shader_tinting(shader))
			shader_append("color.rgb = mix(color.a*gl_Fog.color.rgb, color.rgb, fogFactor);\n");
		else
			shader_append("color.rgb = mix(gl_Fog.color.rgb, color.rgb, fogFactor);\n");
	}
	shader_append("gl_FragColor = color;\n");
	shader_append("}");
}

void build_shader(shader_data *shader)
{
	if (program_count >= MAXIMUM_SHADER_PROGRAMS)
	{
		log_message(MODULE_NAME, __LINE__, "OpenGL: no room for another shader program");
		return;
	}
	shader_program *slot = &programs[program_count];
	shader_text.count = 0;
	vertex_text(shader);
	slot->vertex_shader = compile_shader_text(GL_VERTEX_SHADER);
	fragment_text(shader);
	slot->fragment_shader = compile_shader_text(GL_FRAGMENT_SHADER);
	slot->program = opengl_api.glCreateProgram();
	opengl_api.glAttachShader(slot->program, slot->vertex_shader);
	opengl_api.glAttachShader(slot->program, slot->fragment_shader);
	if (shader_tinting(shader)) opengl_api.glBindAttribLocation(slot->program, 6, "in_tint_kpqr");
	link_program_opengl(slot->program, slot->vertex_shader, slot->fragment_shader);
	program_count += 1;
	const int32 textures = shader_texture_count(shader);
	if (textures > 0)
	{
		opengl_api.glUseProgram(slot->program);
		opengl_state.current_program = static_cast<int32>(slot->program);
		for (int32 i = 0; i < textures; ++i)
		{
			const GLint location = opengl_api.glGetUniformLocation(slot->program, texture_uniform_names[i]);
			if (location != -1) opengl_api.glUniform1i(location, i);
		}
	}
	shader->program = slot->program;
}

void build_shader_programs(boolean world_scale)
{
	for (int32 mode = _shader_first_opengl2; mode < NUMBER_OF_SHADER_MODES; ++mode)
	{
		if (shader_world_scale(&shaders[mode]) == world_scale) build_shader(&shaders[mode]);
	}
}

void dispose_shader_programs(void)
{
	if (program_count > 0 && opengl_api.glUseProgram)
	{
		opengl_api.glUseProgram(0);
		for (int32 i = 0; i < program_count; ++i)
		{
			opengl_api.glDeleteProgram(programs[i].program);
			opengl_api.glDeleteShader(programs[i].vertex_shader);
			opengl_api.glDeleteShader(programs[i].fragment_shader);
		}
	}
	memset(programs, 0, sizeof(programs));
	program_count = 0;
	for (int32 mode = 0; mode < NUMBER_OF_SHADER_MODES; ++mode)
	{
		const uint32 flags = shader_state_flags(&shaders[mode]);
		shaders[mode] = shader_keys[mode];
		set_shader_state_flags(&shaders[mode], flags);
	}
	opengl_state.current_program = -1;
}

void reset_render_opengl_state(void)
{
	memset(programs, 0, sizeof(programs));
	program_count = 0;
	for (int32 mode = 0; mode < NUMBER_OF_SHADER_MODES; ++mode) shaders[mode] = shader_keys[mode];
	memset(projections, 0, sizeof(projections));
	reset_opengl_state_cache();
	shader_text.count = 0;
	reset_render_opengl_drawing_state();
}

// Keys are fixed from the start.
static struct shader_keys_at_start
{
	shader_keys_at_start()
	{
		for (int32 mode = 0; mode < NUMBER_OF_SHADER_MODES; ++mode) shaders[mode] = shader_keys[mode];
		reset_opengl_state_cache();
	}
} shader_keys_at_start_instance;
