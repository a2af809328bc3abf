// A recording stand-in for the GL entry-point table: every call is logged as
// text, and the few answers the back end reads are kept here.
#ifndef RECORDING_GL_H
#define RECORDING_GL_H

#include <map>
#include <set>
#include <string>
#include <vector>

#include "hardware/OpenGL/opengl_api.h"

struct recording_gl_data
{
	std::vector<std::string> calls;
	std::string version = "2.1 Recording";
	std::string renderer = "Recording renderer";
	std::string vendor = "Recording vendor";
	std::string extensions = "GL_ARB_multitexture GL_EXT_texture_filter_anisotropic";
	boolean null_strings = FALSE;
	// Names glXGetProcAddress cannot find.
	std::set<std::string> missing_entry_points;
	std::vector<std::string> looked_up;
	GLint link_status = GL_TRUE;
	std::string program_log, vertex_log, fragment_log;
	float max_anisotropy = 16.0f;
	GLint unpack_alignment = 4;

	GLuint next_name = 1;
	int32 live_textures = 0, live_programs = 0, live_shaders = 0;
	GLuint bound_texture = 0;
	std::map<GLuint, std::pair<GLint, GLint>> level0_sizes;
	// The strings of each glShaderSource, in call order.
	std::vector<std::vector<std::string>> shader_sources;
	std::set<GLuint> vertex_shaders;
	// Each glReadPixels call's y.
	std::vector<int32> read_rows;
	int32 swaps = 0;
	int32 set_attribute_calls = 0;
	int32 last_depth_size = -1, last_swap_interval = -1;
	// What glGetError answers next, first to last; then no error.
	std::vector<GLenum> pending_errors;
};

recording_gl_data *get_recording_gl(void);
// Fills the GL table and the platform's GL procedures with the recorder.
void install_recording_gl(void);
void reset_recording_gl(void);
// How many logged calls start with the text.
int32 recording_gl_count(const std::string &prefix);
// Calls logged since the given index.
std::vector<std::string> recording_gl_calls_since(size_t first);

struct render_surface_list;
// Draws the scene of the surface categories (and the painter's-order list,
// when given) through the OpenGL back end on a 1024 x 768 frame buffer, as a
// running game would; the calls it logged.
std::vector<std::string> rasterize_recorded_opengl_scene(render_surface_list *list);

#endif
