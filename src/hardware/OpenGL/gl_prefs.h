// OpenGL settings read from the section "Renderer.OpenGL" of the settings file.
#ifndef GL_PREFS_H
#define GL_PREFS_H

#include "cseries.h"
#include "inifile.h"

#define GL_PREFS_SECTION_NAME "Renderer.OpenGL"

struct gl_prefs_data
{
	int32 clear_color;
	boolean erase_previous_frame;
	boolean reuse_context;
	float texture_lod_bias;
	boolean use_32bit_textures;
	boolean use_apple_client_storage;
	boolean use_depth_test;
	boolean use_mip_maps;
	boolean use_npo2_textures;
	boolean use_shaders;
	boolean update_cmap_chunked;
};

// The settings as read.
extern gl_prefs_data gl_prefs;
// The defaults; those that depend on the device and on detail maps are set by
// the renderer before every reading.
extern gl_prefs_data gl_prefs_defaults;
extern const ini_entry gl_prefs_definition[];
extern ini_section gl_prefs_section;

#endif
