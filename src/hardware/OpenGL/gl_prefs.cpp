#include "hardware/OpenGL/gl_prefs.h"

#include <cstddef>

gl_prefs_data gl_prefs;

gl_prefs_data gl_prefs_defaults =
{
	0, // clear colour
	FALSE, // erase previous frame
	TRUE, // reuse context
	-0.5f, // texture level-of-detail bias
	FALSE, // 32-bit textures: whether detail maps are enabled
	TRUE, // client storage
	TRUE, // depth test
	FALSE, // mip maps: whether the device supports OpenGL 2.0
	FALSE, // non-power-of-two textures: the same
	FALSE, // shaders: the same
	TRUE // colour map updated in chunks
};

// The key order differs from the record order.
const ini_entry gl_prefs_definition[] =
{
	{ "ClearColor", ini_int, static_cast<int32>(offsetof(gl_prefs_data, clear_color)) },
	{ "ErasePreviousFrame", ini_bool, static_cast<int32>(offsetof(gl_prefs_data, erase_previous_frame)) },
	{ "ReuseContext", ini_bool, static_cast<int32>(offsetof(gl_prefs_data, reuse_context)) },
	{ "TextureLodBias", ini_float, static_cast<int32>(offsetof(gl_prefs_data, texture_lod_bias)) },
	{ "Use32BitTextures", ini_bool, static_cast<int32>(offsetof(gl_prefs_data, use_32bit_textures)) },
	{ "UseAppleClientStorage", ini_bool, static_cast<int32>(offsetof(gl_prefs_data, use_apple_client_storage)) },
	{ "UseDepthTest", ini_bool, static_cast<int32>(offsetof(gl_prefs_data, use_depth_test)) },
	{ "UseNPO2Textures", ini_bool, static_cast<int32>(offsetof(gl_prefs_data, use_npo2_textures)) },
	{ "UseMipMaps", ini_bool, static_cast<int32>(offsetof(gl_prefs_data, use_mip_maps)) },
	{ "UseShaders", ini_bool, static_cast<int32>(offsetof(gl_prefs_data, use_shaders)) },
	{ "UpdateCMapChunked", ini_bool, static_cast<int32>(offsetof(gl_prefs_data, update_cmap_chunked)) },
	{ nullptr, ini_bool, 0 }
};

ini_section gl_prefs_section =
{
	GL_PREFS_SECTION_NAME, nullptr, nullptr, gl_prefs_definition, &gl_prefs, &gl_prefs_defaults
};
