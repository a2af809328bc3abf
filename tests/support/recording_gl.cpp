#include "recording_gl.h"

#include <cstdio>
#include <cstring>

#include "hardware/OpenGL/render_opengl.h"
#include "render/render.h"
#include "screen.h"

static recording_gl_data recording;

recording_gl_data *get_recording_gl(void)
{
	return &recording;
}

static void append_argument(std::string &text, double value)
{
	char buffer[64];
	snprintf(buffer, sizeof(buffer), "%g", value);
	text += buffer;
}

static void append_argument(std::string &text, float value) { append_argument(text, static_cast<double>(value)); }
static void append_argument(std::string &text, int value) { text += std::to_string(value); }
static void append_argument(std::string &text, unsigned value) { text += std::to_string(value); }
static void append_argument(std::string &text, unsigned char value) { text += std::to_string(value); }
static void append_argument(std::string &text, const char *value) { text += value ? value : "null"; }
static void append_argument(std::string &text, const void *value) { text += value ? "p" : "null"; }

static void append_arguments(std::string &) {}

template <typename first_type, typename... rest_types>
static void append_arguments(std::string &text, first_type first, rest_types... rest)
{
	append_argument(text, first);
	if (sizeof...(rest)) text += ",";
	append_arguments(text, rest...);
}

template <typename... argument_types>
static void record(const char *name, argument_types... arguments)
{
	std::string text = name;
	text += "(";
	append_arguments(text, arguments...);
	text += ")";
	recording.calls.push_back(text);
}

template <typename type> static type default_answer() { return type{}; }
template <> void default_answer<void>() {}

#define RECORDER(type, name, parameters, arguments) \
	static type recorded_##name parameters \
	{ \
		record_##name arguments; \
		return default_answer<type>(); \
	}
#define RECORD_NAMED(type, name, parameters, arguments) \
	template <typename... argument_types> static void record_##name(argument_types... a) { record(#name, a...); }
OPENGL_API_1X(RECORD_NAMED)
OPENGL_API_20(RECORD_NAMED)
OPENGL_API_1X(RECORDER)
OPENGL_API_20(RECORDER)

/* ---------- answers */

static const GLubyte *answer_glGetString(GLenum name)
{
	record("glGetString", static_cast<unsigned>(name));
	if (recording.null_strings) return NULL;
	const std::string *text = name == GL_VERSION ? &recording.version : name == GL_RENDERER ? &recording.renderer :
		name == GL_VENDOR ? &recording.vendor : &recording.extensions;
	return reinterpret_cast<const GLubyte *>(text->c_str());
}

static GLenum answer_glGetError(void)
{
	record("glGetError");
	if (recording.pending_errors.empty()) return GL_NO_ERROR;
	const GLenum error = recording.pending_errors.front();
	recording.pending_errors.erase(recording.pending_errors.begin());
	return error;
}

static void answer_glGetIntegerv(GLenum name, GLint *value)
{
	record("glGetIntegerv", static_cast<unsigned>(name));
	*value = name == GL_UNPACK_ALIGNMENT ? recording.unpack_alignment : 0;
}

static void answer_glGetFloatv(GLenum name, GLfloat *value)
{
	record("glGetFloatv", static_cast<unsigned>(name));
	*value = name == GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT ? recording.max_anisotropy : 0.0f;
}

static void answer_glPixelStorei(GLenum name, GLint value)
{
	record("glPixelStorei", static_cast<unsigned>(name), value);
	if (name == GL_UNPACK_ALIGNMENT) recording.unpack_alignment = value;
}

static void answer_glGenTextures(GLsizei count, GLuint *names)
{
	record("glGenTextures", count);
	for (GLsizei i = 0; i < count; ++i) names[i] = recording.next_name++;
	recording.live_textures += count;
}

static void answer_glDeleteTextures(GLsizei count, const GLuint *names)
{
	record("glDeleteTextures", count);
	for (GLsizei i = 0; i < count; ++i) recording.level0_sizes.erase(names[i]);
	recording.live_textures -= count;
}

static void answer_glBindTexture(GLenum target, GLuint name)
{
	record("glBindTexture", static_cast<unsigned>(target), name);
	recording.bound_texture = name;
}

static void answer_glTexImage2D(GLenum target, GLint level, GLint internal_format, GLsizei width, GLsizei height,
	GLint border, GLenum format, GLenum type, const GLvoid *pixels)
{
	record("glTexImage2D", static_cast<unsigned>(target), level, internal_format, width, height, border,
		static_cast<unsigned>(format), static_cast<unsigned>(type), pixels);
	if (level == 0) recording.level0_sizes[recording.bound_texture] = { width, height };
}

static void answer_glGetTexLevelParameteriv(GLenum target, GLint level, GLenum name, GLint *value)
{
	record("glGetTexLevelParameteriv", static_cast<unsigned>(target), level, static_cast<unsigned>(name));
	auto found = recording.level0_sizes.find(recording.bound_texture);
	*value = found == recording.level0_sizes.end() ? 0 : name == GL_TEXTURE_WIDTH ? found->second.first :
		found->second.second;
}

static void answer_glReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type,
	GLvoid *pixels)
{
	record("glReadPixels", x, y, width, height, static_cast<unsigned>(format), static_cast<unsigned>(type));
	recording.read_rows.push_back(y);
	uint32 *out = static_cast<uint32 *>(pixels);
	for (GLsizei row = 0; row < height; ++row)
	{
		for (GLsizei column = 0; column < width; ++column)
		{
			out[row * width + column] = 0xFF000000u | (static_cast<uint32>(y + row) << 12) | static_cast<uint32>(x + column);
		}
	}
}

static GLuint answer_glCreateShader(GLenum type)
{
	record("glCreateShader", static_cast<unsigned>(type));
	recording.live_shaders += 1;
	if (type == GL_VERTEX_SHADER) recording.vertex_shaders.insert(recording.next_name);
	return recording.next_name++;
}

static void answer_glDeleteShader(GLuint shader)
{
	record("glDeleteShader", shader);
	if (shader) recording.live_shaders -= 1;
}

static void answer_glShaderSource(GLuint shader, GLsizei count, const GLchar *const *strings, const GLint *lengths)
{
	record("glShaderSource", shader, count, static_cast<const void *>(lengths));
	std::vector<std::string> lines;
	for (GLsizei i = 0; i < count; ++i) lines.push_back(strings[i]);
	recording.shader_sources.push_back(lines);
}

static GLuint answer_glCreateProgram(void)
{
	record("glCreateProgram");
	recording.live_programs += 1;
	return recording.next_name++;
}

static void answer_glDeleteProgram(GLuint program)
{
	record("glDeleteProgram", program);
	if (program) recording.live_programs -= 1;
}

static void answer_glGetProgramiv(GLuint program, GLenum name, GLint *value)
{
	record("glGetProgramiv", program, static_cast<unsigned>(name));
	*value = name == GL_LINK_STATUS ? recording.link_status : 0;
}

static void copy_log(const std::string &log, GLsizei maximum, GLsizei *length, GLchar *text)
{
	const GLsizei n = static_cast<GLsizei>(std::min<size_t>(log.size(), static_cast<size_t>(maximum - 1)));
	memcpy(text, log.data(), static_cast<size_t>(n));
	text[n] = 0;
	if (length) *length = n;
}

static void answer_glGetProgramInfoLog(GLuint program, GLsizei maximum, GLsizei *length, GLchar *text)
{
	record("glGetProgramInfoLog", program);
	copy_log(recording.program_log, maximum, length, text);
}

static void answer_glGetShaderInfoLog(GLuint shader, GLsizei maximum, GLsizei *length, GLchar *text)
{
	record("glGetShaderInfoLog", shader);
	copy_log(recording.vertex_shaders.count(shader) ? recording.vertex_log : recording.fragment_log, maximum, length, text);
}

static GLint answer_glGetUniformLocation(GLuint program, const GLchar *name)
{
	record("glGetUniformLocation", program, name);
	return strncmp(name, "texture", 7) == 0 ? name[7] - '0' : -1;
}

/* ---------- the platform's GL procedures */

static void recording_set_attributes(int32 depth_size, int32 swap_interval)
{
	recording.set_attribute_calls += 1;
	recording.last_depth_size = depth_size;
	recording.last_swap_interval = swap_interval;
}

static void fill_1x(opengl_api_data *api)
{
#define FILL(type, name, parameters, arguments) api->name = recorded_##name;
	OPENGL_API_1X(FILL)
#undef FILL
	api->glGetString = answer_glGetString;
	api->glGetError = answer_glGetError;
	api->glGetIntegerv = answer_glGetIntegerv;
	api->glGetFloatv = answer_glGetFloatv;
	api->glPixelStorei = answer_glPixelStorei;
	api->glGenTextures = answer_glGenTextures;
	api->glDeleteTextures = answer_glDeleteTextures;
	api->glBindTexture = answer_glBindTexture;
	api->glTexImage2D = answer_glTexImage2D;
	api->glGetTexLevelParameteriv = answer_glGetTexLevelParameteriv;
	api->glReadPixels = answer_glReadPixels;
}

static boolean recording_load_api(opengl_api_data *api)
{
	fill_1x(api);
	return TRUE;
}

static void *recording_get_proc_address(const char *name)
{
	recording.looked_up.push_back(name);
	if (recording.missing_entry_points.count(name)) return NULL;
	opengl_api_data api = {};
#define FILL(type, name, parameters, arguments) api.name = recorded_##name;
	OPENGL_API_20(FILL)
#undef FILL
	api.glCreateShader = answer_glCreateShader;
	api.glDeleteShader = answer_glDeleteShader;
	api.glShaderSource = answer_glShaderSource;
	api.glCreateProgram = answer_glCreateProgram;
	api.glDeleteProgram = answer_glDeleteProgram;
	api.glGetProgramiv = answer_glGetProgramiv;
	api.glGetProgramInfoLog = answer_glGetProgramInfoLog;
	api.glGetShaderInfoLog = answer_glGetShaderInfoLog;
	api.glGetUniformLocation = answer_glGetUniformLocation;
	std::string wanted = name;
	if (wanted == "glGenerateMipmapEXT") wanted = "glGenerateMipmap";
	for (int32 i = 0; i < NUMBER_OF_OPENGL2_ENTRY_POINTS; ++i)
	{
		if (wanted == opengl2_entry_point_names[i]) return *opengl2_entry_point_slot(&api, i);
	}
	return NULL;
}

static void recording_swap_buffers(void)
{
	recording.swaps += 1;
	record("swap");
}

static boolean recording_set_swap_interval(int32 interval)
{
	record("swap_interval", interval);
	return TRUE;
}

static const char *recording_error_string(void)
{
	return "recording";
}

void install_recording_gl(void)
{
	platform_procedures_data procedures = *get_platform_procedures();
	procedures.opengl_set_attributes = recording_set_attributes;
	procedures.opengl_load_api = recording_load_api;
	procedures.opengl_get_proc_address = recording_get_proc_address;
	procedures.opengl_swap_buffers = recording_swap_buffers;
	procedures.opengl_set_swap_interval = recording_set_swap_interval;
	procedures.opengl_error_string = recording_error_string;
	install_platform_procedures(&procedures);
	fill_1x(&opengl_api);
}

void reset_recording_gl(void)
{
	recording = recording_gl_data{};
}

int32 recording_gl_count(const std::string &prefix)
{
	int32 count = 0;
	for (const std::string &call : recording.calls) count += call.compare(0, prefix.size(), prefix) == 0;
	return count;
}

std::vector<std::string> recording_gl_calls_since(size_t first)
{
	if (first >= recording.calls.size()) return {};
	return std::vector<std::string>(recording.calls.begin() + static_cast<long>(first), recording.calls.end());
}

std::vector<std::string> rasterize_recorded_opengl_scene(render_surface_list *list)
{
	bitmap_data screen = {};
	screen.width = 1024;
	screen.height = 768;
	screen.encoding = _opengl_frame_buffer_encoding;
	view_data view;
	memset(&view, 0, sizeof(view));
	view.screen = &screen;
	view.tan_half_fov = 0.75f;
	update_view_data(&view);
	const size_t first = get_recording_gl()->calls.size();
	rasterize_scene_opengl(&view, list);
	return recording_gl_calls_since(first);
}
