// The OpenGL back end's set-up: probe, settings, context, budget, entry
// points, per-map state and fog, and the frame's swap.
#include "hardware/OpenGL/setup_opengl.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "hardware/OpenGL/gl_prefs.h"
#include "hardware/OpenGL/render_opengl.h"
#include "hardware/OpenGL/setup_opengl_sdl.h"
#include "hardware/OpenGL/utilities_opengl.h"
#include "hardware/hardware_rasterizers.h"
#include "CoreLibrary/zerv/error_manager.h"
#include "CoreLibrary/input/sdl_input.h"
#include "bitmap_text.h"
#include "console/console.h"
#include "detail_maps.h"
#include "interface.h"
#include "mesh.h"
#include "screen.h"

/* ---------- the table */

opengl_api_data opengl_api;

const char *const opengl2_entry_point_names[NUMBER_OF_OPENGL2_ENTRY_POINTS] =
{
	"glAttachShader", "glCompileShader", "glCreateProgram", "glDeleteProgram", "glCreateShader", "glDeleteShader",
	"glGetProgramInfoLog", "glGetProgramiv", "glGetShaderInfoLog", "glGetUniformLocation", "glLinkProgram",
	"glShaderSource", "glUniform1i", "glUseProgram", "glBindAttribLocation", "glEnableVertexAttribArray",
	"glDisableVertexAttribArray", "glVertexAttribPointer", "glGenerateMipmap"
};

void **opengl2_entry_point_slot(opengl_api_data *api, int32 index)
{
	void **slots[NUMBER_OF_OPENGL2_ENTRY_POINTS] =
	{
		reinterpret_cast<void **>(&api->glAttachShader), reinterpret_cast<void **>(&api->glCompileShader),
		reinterpret_cast<void **>(&api->glCreateProgram), reinterpret_cast<void **>(&api->glDeleteProgram),
		reinterpret_cast<void **>(&api->glCreateShader), reinterpret_cast<void **>(&api->glDeleteShader),
		reinterpret_cast<void **>(&api->glGetProgramInfoLog), reinterpret_cast<void **>(&api->glGetProgramiv),
		reinterpret_cast<void **>(&api->glGetShaderInfoLog), reinterpret_cast<void **>(&api->glGetUniformLocation),
		reinterpret_cast<void **>(&api->glLinkProgram), reinterpret_cast<void **>(&api->glShaderSource),
		reinterpret_cast<void **>(&api->glUniform1i), reinterpret_cast<void **>(&api->glUseProgram),
		reinterpret_cast<void **>(&api->glBindAttribLocation),
		reinterpret_cast<void **>(&api->glEnableVertexAttribArray),
		reinterpret_cast<void **>(&api->glDisableVertexAttribArray),
		reinterpret_cast<void **>(&api->glVertexAttribPointer), reinterpret_cast<void **>(&api->glGenerateMipmap)
	};
	return index >= 0 && index < NUMBER_OF_OPENGL2_ENTRY_POINTS ? slots[index] : NULL;
}

void clear_opengl_api(void)
{
	opengl_api = opengl_api_data{};
}

/* ---------- globals */

uint32 gAvailableTextureMemory;
boolean gClientStorageExt;
float max_anisotropy;
boolean fog_can_be_enabled_opengl;
boolean use_fixed_function_fog;
boolean rasterizer_initialized;
boolean whole_model_transparent_hack_required;
boolean opengl_has_generate_mipmap;
opengl_vertex render_verts[MAXIMUM_OPENGL_VERTICES];

static boolean opengl_shutdown_registered;

static const platform_procedures_data *platform(void)
{
	return get_platform_procedures();
}

/* ---------- the device */

int32 getOpenGLVersion(void)
{
	if (!opengl_api.glGetString) return 0;
	const char *version = reinterpret_cast<const char *>(opengl_api.glGetString(GL_VERSION));
	int major = 0, minor = 0;
	if (!version || sscanf(version, "%d.%d", &major, &minor) != 2) return 0;
	if (major < 0 || minor < 0 || major > 0x7FFF || minor > 0xFFFF) return 0;
	return (static_cast<int32>(major) << 16) | minor;
}

void copy_gl_string(char *destination, int32 length, GLenum name)
{
	if (length <= 0) return;
	const char *text = opengl_api.glGetString ? reinterpret_cast<const char *>(opengl_api.glGetString(name)) : NULL;
	if (!text) text = "";
	snprintf(destination, static_cast<size_t>(length), "%s", text);
}

boolean poorManCheckExtension(const char *name, const char *extension_list)
{
	if (!name || !extension_list || !*name) return FALSE;
	const size_t length = strlen(name);
	for (const char *p = strstr(extension_list, name); p; p = strstr(p + 1, name))
	{
		const boolean start = p == extension_list || p[-1] == ' ';
		const boolean end = p[length] == '\0' || p[length] == ' ';
		if (start && end) return TRUE;
	}
	return FALSE;
}

static int32 depth_size(void)
{
	return gl_prefs.use_depth_test ? 24 : 0;
}

void query_opengl_devices(void)
{
	const platform_procedures_data *procedures = platform();
	if (!procedures->opengl_set_attributes || !procedures->opengl_load_api) return;
	// Before the first reading the defaults stand for the settings.
	if (!rasterizer_initialized && !gl_prefs.reuse_context) gl_prefs = gl_prefs_defaults;
	procedures->opengl_set_attributes(depth_size(), 0);
	if (!create_sdl_window(DEFAULT_SCREEN_WIDTH, DEFAULT_SCREEN_HEIGHT, _sdl_window_opengl_flag)) return;
	if (!procedures->opengl_load_api(&opengl_api)) return;
	const int32 version = getOpenGLVersion();
	if (version <= 0x10000) return;
	device_info_opengl device;
	memset(&device, 0, sizeof(device));
	copy_gl_string(device.renderer, sizeof(device.renderer), GL_RENDERER);
	copy_gl_string(device.vendor, sizeof(device.vendor), GL_VENDOR);
	device.opengl_version = version;
	device.opengl2_device = version >= 0x20000;
	display_device_query_and_report_modes(_rasterizer_opengl, "OpenGL", &device);
}

/* ---------- settings */

void read_opengl_settings(boolean opengl2_device)
{
	gl_prefs_defaults.use_32bit_textures = detail_maps_enabled();
	gl_prefs_defaults.use_npo2_textures = opengl2_device;
	gl_prefs_defaults.use_mip_maps = opengl2_device;
	gl_prefs_defaults.use_shaders = opengl2_device;
	gl_prefs = gl_prefs_defaults;
	inifile_readsec(&gl_prefs_section);
	gl_prefs.reuse_context = TRUE;
	if (!std::isfinite(gl_prefs.texture_lod_bias))
	{
		// "nan" would reach the sprite shader's text.
		log_message(MODULE_NAME, __LINE__, "OpenGL: TextureLodBias is not a number; using %.2f",
			static_cast<double>(gl_prefs_defaults.texture_lod_bias));
		gl_prefs.texture_lod_bias = -0.5f;
	}
	if (gl_prefs.use_shaders && !opengl2_device)
	{
		gl_prefs.use_shaders = FALSE;
		log_message(MODULE_NAME, __LINE__, "OpenGL: Forcing UseShaders=0 because the device does not support OpenGL 2.0");
	}
	else if (gl_prefs.use_shaders && !gl_prefs.use_depth_test)
	{
		gl_prefs.use_shaders = FALSE;
		log_message(MODULE_NAME, __LINE__, "OpenGL: Forcing UseShaders=0 because UseDepthTest=0");
	}
	if (gl_prefs.use_mip_maps && !gl_prefs.use_shaders)
	{
		gl_prefs.use_mip_maps = FALSE;
		log_message(MODULE_NAME, __LINE__, "OpenGL: Forcing UseMipMaps=0 because UseShaders=0");
	}
}

/* ---------- context and window */

uint32 compute_opengl_texture_budget(int32 window_width, int32 window_height, int32 screen_width,
	int32 screen_height, int32 bit_depth, int32 texture_cache_megabytes)
{
	const int64 bytes_per_pixel = bit_depth == 16 ? 2 : bit_depth == 32 ? 4 : bit_depth / 8;
	int64 budget = 29884416 - (static_cast<int64>(window_width) * window_height +
		static_cast<int64>(screen_width) * screen_height) * bytes_per_pixel;
	// Signed: a screen larger than the start gets the floor, not 32 MB.
	if (budget < 12582912) budget = 12582912;
	if (budget > 20971520) budget = 20971520;
	budget *= 2;
	if (budget > 33554432) budget = 33554432;
	const int64 preference = static_cast<int64>(texture_cache_megabytes) * 1048576;
	if (preference > 12582912) budget = preference;
	if (budget >= static_cast<int64>(OPENGL_UNLIMITED_TEXTURE_MEMORY)) budget = OPENGL_UNLIMITED_TEXTURE_MEMORY - 1;
	return static_cast<uint32>(budget);
}

void create_opengl_window(void)
{
}

void dispose_opengl_window(void)
{
}

void dispose_opengl_context(int32 reason)
{
	(void)reason;
}

void my_opengl_shutdown(void)
{
	dispose_opengl_context(1);
}

boolean setup_opengl_context(const device_info *device)
{
	(void)device;
	const platform_procedures_data *procedures = platform();
	const int32 interval = (active_screen.prefs.flags & _screen_pref_vsync_enabled_flag) ? 1 : 0;
	if (procedures->opengl_set_attributes) procedures->opengl_set_attributes(depth_size(), interval);
	const uint32 flags = _sdl_window_opengl_flag |
		((active_screen.prefs.flags & _screen_pref_windowed_flag) ? 0 : _sdl_window_fullscreen_flag);
	if (!create_sdl_window(active_screen.width, active_screen.height, flags))
	{
		// The window layer has logged the system's reason.
		dispose_opengl_window();
		return FALSE;
	}
	if (procedures->opengl_load_api && !procedures->opengl_load_api(&opengl_api))
	{
		log_message(MODULE_NAME, __LINE__, "OpenGL: no context after the window was made");
		dispose_opengl_window();
		return FALSE;
	}
	return opengl_api.glGetString != NULL;
}

void lookup_opengl2_entry_points(void)
{
	void *(*lookup)(const char *) = platform()->opengl_get_proc_address;
	opengl_has_generate_mipmap = FALSE;
	for (int32 i = 0; i < NUMBER_OF_OPENGL2_ENTRY_POINTS; ++i)
	{
		const char *name = opengl2_entry_point_names[i];
		void *address = lookup ? lookup(name) : NULL;
		void **slot = opengl2_entry_point_slot(&opengl_api, i);
		if (i == NUMBER_OF_OPENGL2_ENTRY_POINTS - 1)
		{
			// Not a 2.0 name: without it mipmaps are off and detail textures
			// use GLU.
			if (!address && lookup) address = lookup("glGenerateMipmapEXT");
			*slot = address;
			opengl_has_generate_mipmap = address != NULL;
			if (!address && gl_prefs.use_mip_maps)
			{
				gl_prefs.use_mip_maps = FALSE;
				log_message(MODULE_NAME, __LINE__, "OpenGL: Forcing UseMipMaps=0 because glGenerateMipmap is missing");
			}
			continue;
		}
		if (!address)
		{
			log_message(MODULE_NAME, __LINE__, "glGetProcAddress(%s) failed!", name);
			exit(-1);
		}
		*slot = address;
	}
}

boolean SetupOpenGLContext(void)
{
	const device_info *device = get_screen_device(active_screen.device_index);
	const boolean opengl2 = device ? device->extra_data.opengl2_device : FALSE;
	read_opengl_settings(opengl2);
	if (!opengl_shutdown_registered)
	{
		atexit(my_opengl_shutdown);
		opengl_shutdown_registered = TRUE;
	}
	create_opengl_window();
	if (!setup_opengl_context(device)) return FALSE;

	int16 window_width = active_screen.width, window_height = active_screen.height;
	get_true_screen_dimensions(&window_width, &window_height);
	gAvailableTextureMemory = compute_opengl_texture_budget(window_width, window_height, active_screen.width,
		active_screen.height, active_screen.bit_depth, active_screen.prefs.texture_cache_size);

	if (gl_prefs.use_shaders) lookup_opengl2_entry_points();
	else opengl_has_generate_mipmap = FALSE;

	set_vsync_interval_opengl(-1);
	opengl_api.glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
	max_anisotropy = 1.0f;
	if (active_screen.prefs.flags & _screen_pref_anisotropic_filtering_flag)
	{
		opengl_api.glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &max_anisotropy);
	}
	const char *extensions = reinterpret_cast<const char *>(opengl_api.glGetString(GL_EXTENSIONS));
	gClientStorageExt = gl_prefs.use_apple_client_storage && poorManCheckExtension("GL_APPLE_client_storage", extensions);
	log_message(MODULE_NAME, __LINE__,
		"OpenGL: initialized with ErasePreviousFrame=%d, Use32BitTextures=%d, UseAppleClientStorage=%d, UseDepthTest=%d, UseShaders=%d, UpdateCMapChunked=%d",
		gl_prefs.erase_previous_frame ? 1 : 0, gl_prefs.use_32bit_textures ? 1 : 0,
		gl_prefs.use_apple_client_storage ? 1 : 0, gl_prefs.use_depth_test ? 1 : 0, gl_prefs.use_shaders ? 1 : 0,
		gl_prefs.update_cmap_chunked ? 1 : 0);
	return TRUE;
}

/* ---------- per map */

boolean initialize_opengl_rasterizer_for_new_map(void)
{
	rasterizer_initialized = FALSE;
	if (!SetupOpenGLContext()) return FALSE;
	fog_can_be_enabled_opengl = FALSE;
	use_fixed_function_fog = FALSE;
	const opengl_api_data &gl = opengl_api;
	gl.glDepthFunc(GL_LEQUAL);
	gl.glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
	gl.glActiveTexture(GL_TEXTURE0);
	gl.glMatrixMode(GL_TEXTURE);
	gl.glLoadIdentity();
	for (int32 unit = 3; unit >= 0; --unit)
	{
		gl.glActiveTexture(GL_TEXTURE0 + unit);
		gl.glDisable(GL_TEXTURE_2D);
		gl.glClientActiveTexture(GL_TEXTURE0 + unit);
		gl.glDisableClientState(GL_TEXTURE_COORD_ARRAY);
	}
	gl.glDisable(GL_FOG);
	reset_opengl_state_cache();
	gl.glDepthMask(GL_FALSE);
	gl.glDisable(GL_DEPTH_TEST);

	const int32 w = active_screen.width, h = active_screen.height;
	projection_mode_data *ortho = &projections[_projection_mode_ortho];
	opengl_ortho_matrix(ortho->proj_mat, 0.0f, static_cast<float>(w), static_cast<float>(h), 0.0f, 0.0f, 32767.0f);
	memset(ortho->view_mat, 0, sizeof(ortho->view_mat));
	for (int32 i = 0; i < 4; ++i) ortho->view_mat[i * 5] = 1.0f;
	ortho->viewport[0] = 0;
	ortho->viewport[1] = 0;
	ortho->viewport[2] = w;
	ortho->viewport[3] = h;

	const boolean shaders_on = gl_prefs.use_shaders;
	gl.glEnableClientState(GL_VERTEX_ARRAY);
	gl.glVertexPointer(shaders_on ? 4 : 3, GL_SHORT, sizeof(opengl_vertex), &render_verts[0].x);
	gl.glEnableClientState(GL_COLOR_ARRAY);
	gl.glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(opengl_vertex), render_verts[0].color);
	gl.glClientActiveTexture(GL_TEXTURE0);
	gl.glTexCoordPointer(shaders_on ? 4 : 2, GL_FLOAT, sizeof(opengl_vertex), render_verts[0].texture);
	if (shaders_on)
	{
		gl.glVertexAttribPointer(6, 4, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(opengl_vertex), render_verts[0].tint);
	}
	else if (detail_maps_enabled())
	{
		gl.glClientActiveTexture(GL_TEXTURE1);
		gl.glTexCoordPointer(2, GL_FLOAT, sizeof(opengl_vertex), &render_verts[0].texture[2]);
		gl.glClientActiveTexture(GL_TEXTURE0);
	}
	opengl_state.current_client_texture_unit = 0;

	for (int32 mode = 0; mode < NUMBER_OF_SHADER_MODES; ++mode)
	{
		shader_data *shader = &shaders[mode];
		const uint32 flags = ((1u << shader_texture_count(shader)) - 1) | (shader_tinting(shader) ? _tint_flag : 0) |
			(shader_world_scale(shader) ? _fog_flag : 0);
		set_shader_state_flags(shader, flags);
		shader->program = 0;
	}
	dispose_shader_programs();
	if (shaders_on) build_shader_programs(FALSE);

	initialize_texture_cache_for_new_map_opengl();
	initialize_volatile_cmap_texture_opengl();
	initialize_font_texture_opengl(initialize_hardware_font(get_interface_font_index(1)));
	rasterizer_initialized = TRUE;
	whole_model_transparent_hack_required = !shaders_on;
	return TRUE;
}

void initialize_opengl_mesh_parameters_for_new_map(void)
{
	const mesh_header *header = get_mesh_header();
	const boolean fog = (active_screen.prefs.flags & _screen_pref_fog_enabled_flag) && header &&
		header->fog_density != 0.0f;
	if (opengl_api.glEnable)
	{
		if (fog)
		{
			const GLfloat color[4] =
			{
				header->fog_color.red * 1.525902e-5f, header->fog_color.green * 1.525902e-5f,
				header->fog_color.blue * 1.525902e-5f, 1.0f
			};
			opengl_api.glFogi(GL_FOG_MODE, GL_EXP);
			opengl_api.glFogfv(GL_FOG_COLOR, color);
			opengl_api.glFogf(GL_FOG_DENSITY, header->fog_density * 512.0f);
		}
		else
		{
			opengl_api.glDisable(GL_FOG);
		}
	}
	fog_can_be_enabled_opengl = fog;
	use_fixed_function_fog = fog && !gl_prefs.use_shaders;
	initialize_volatile_cmap_shading_table_opengl(header);
	if (gl_prefs.use_shaders && rasterizer_initialized) build_shader_programs(TRUE);
}

void dispose_opengl_rasterizer_from_old_map(void)
{
	if (rasterizer_initialized)
	{
		dispose_hardware_font();
		dispose_font_texture_opengl();
		dispose_texture_cache_from_old_map_opengl();
		dispose_volatile_cmap_shading_table_opengl();
		dispose_volatile_cmap_texture_opengl();
		dispose_cached_bitmaps_opengl();
		dispose_shader_programs();
		for (int32 i = 0; i < 2; ++i)
		{
			opengl_api.glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
			opengl_api.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
			copy_opengl_world_to_screen();
		}
		rasterizer_initialized = FALSE;
	}
	dispose_opengl_context(0);
	whole_model_transparent_hack_required = FALSE;
}

/* ---------- frames */

void platform_set_vsync_interval_opengl(int32 interval)
{
	const platform_procedures_data *procedures = platform();
	if (procedures->opengl_set_swap_interval) procedures->opengl_set_swap_interval(interval);
}

void set_vsync_interval_opengl(int32 interval)
{
	if (interval == -1) interval = (active_screen.prefs.flags & _screen_pref_vsync_enabled_flag) ? 1 : 0;
	platform_set_vsync_interval_opengl(interval);
}

void copy_opengl_world_to_screen(void)
{
	const platform_procedures_data *procedures = platform();
	if (procedures->opengl_swap_buffers) procedures->opengl_swap_buffers();
}

void lod_bias_debug(void)
{
	boolean changed = FALSE;
	if (key_down(75))
	{
		gl_prefs.texture_lod_bias += 0.001f;
		changed = TRUE;
	}
	if (key_down(74))
	{
		gl_prefs.texture_lod_bias -= 0.001f;
		changed = TRUE;
	}
	if (changed) cprintf(FALSE, "lod bias = %.2f", static_cast<double>(gl_prefs.texture_lod_bias));
}

/* ---------- the seam */

void install_opengl_back_end(void)
{
	// The seam keeps the table's address.
	static opengl_rasterizer_procedures procedures = {};
	procedures.initialize_opengl_rasterizer_for_new_map = initialize_opengl_rasterizer_for_new_map;
	procedures.initialize_opengl_mesh_parameters_for_new_map = initialize_opengl_mesh_parameters_for_new_map;
	procedures.dispose_opengl_rasterizer_from_old_map = dispose_opengl_rasterizer_from_old_map;
	procedures.initialize_opengl_render_bitmap = initialize_opengl_render_bitmap;
	procedures.clear_opengl_backbuffer = clear_opengl_backbuffer;
	procedures.copy_opengl_world_to_screen = copy_opengl_world_to_screen;
	procedures.download_control_or_status_bar_opengl = download_control_or_status_bar_opengl;
	procedures.draw_bitmap_opengl = draw_bitmap_opengl;
	procedures.copy_bits_from_opengl_render_buffer = copy_bits_from_opengl_render_buffer;
	procedures.set_vsync_interval_opengl = set_vsync_interval_opengl;
	procedures.create_detail_texture_opengl = create_detail_texture_opengl;
	procedures.dispose_detail_texture_opengl = dispose_detail_texture_opengl;
	procedures.dispose_bitmap_cache_opengl = dispose_bitmap_cache_opengl;
	procedures.rasterize_scene_opengl = rasterize_scene_opengl;
	procedures.draw_character_to_opengl_frame_buffer = draw_character_to_opengl_frame_buffer;
	procedures.draw_line_opengl = draw_line_opengl;
	procedures.fill_rectangle_opengl = fill_rectangle_opengl;
	procedures.stretch_copy_bitmap_opengl = stretch_copy_bitmap_opengl;
	procedures.fill_polygon_opengl = fill_polygon_opengl;
	install_opengl_rasterizer_procedures(&procedures);
}

void reset_opengl_test_hooks(void)
{
	if (rasterizer_initialized && opengl_api.glClear) dispose_opengl_rasterizer_from_old_map();
	reset_render_opengl_state();
	reset_utilities_opengl_state();
	clear_opengl_api();
	gAvailableTextureMemory = 0;
	gClientStorageExt = FALSE;
	max_anisotropy = 0.0f;
	fog_can_be_enabled_opengl = FALSE;
	use_fixed_function_fog = FALSE;
	rasterizer_initialized = FALSE;
	whole_model_transparent_hack_required = FALSE;
	opengl_has_generate_mipmap = FALSE;
	// The device's and detail maps' defaults as they stand before any device.
	gl_prefs_defaults.use_32bit_textures = FALSE;
	gl_prefs_defaults.use_npo2_textures = FALSE;
	gl_prefs_defaults.use_mip_maps = FALSE;
	gl_prefs_defaults.use_shaders = FALSE;
	gl_prefs = gl_prefs_defaults;
}
