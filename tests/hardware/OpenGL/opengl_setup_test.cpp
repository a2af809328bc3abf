// The OpenGL set-up on the recording GL: settings and their forcing rules, the
// texture budget, the device probe and entry points, the generated shader
// texts and the GL state cache.
#include "hardware/OpenGL/opengl_support.h"

#include <cmath>

#include "hardware/OpenGL/render_opengl.h"
#include "hardware/OpenGL/utilities_opengl.h"
#include "render/render.h"

namespace
{
const char *const forcing_device = "OpenGL: Forcing UseShaders=0 because the device does not support OpenGL 2.0";
const char *const forcing_depth = "OpenGL: Forcing UseShaders=0 because UseDepthTest=0";
const char *const forcing_mipmaps = "OpenGL: Forcing UseMipMaps=0 because UseShaders=0";
}

class OpenGLSettings : public opengl_fixture {};

TEST_F(OpenGLSettings, device_and_settings_give_the_forcing_lines_and_flags)
{
	struct case_data
	{
		int32 version;
		const char *settings;
		boolean shaders, mipmaps;
		const char *lines[2];
	};
	const case_data cases[] =
	{
		{ 0x20000, "", TRUE, TRUE, { NULL, NULL } },
		{ 0x10001, "", FALSE, FALSE, { NULL, NULL } },
		{ 0x10001, "UseShaders = 1\n", FALSE, FALSE, { forcing_device, NULL } },
		{ 0x10001, "UseShaders = 1\nUseMipMaps = 1\n", FALSE, FALSE, { forcing_device, forcing_mipmaps } },
		{ 0x20000, "UseDepthTest = 0\n", FALSE, FALSE, { forcing_depth, forcing_mipmaps } },
		{ 0x20000, "UseShaders = 0\n", FALSE, FALSE, { forcing_mipmaps, NULL } },
		{ 0x20000, "UseMipMaps = 0\nReuseContext = 0\n", TRUE, FALSE, { NULL, NULL } },
	};
	for (const case_data &c : cases)
	{
		SCOPED_TRACE(c.settings);
		write_settings(c.settings);
		const size_t before[3] = { count_in_log(forcing_device), count_in_log(forcing_depth), count_in_log(forcing_mipmaps) };
		read_opengl_settings(c.version >= 0x20000);
		EXPECT_EQ(gl_prefs.use_shaders, c.shaders);
		EXPECT_EQ(gl_prefs.use_mip_maps, c.mipmaps);
		EXPECT_TRUE(gl_prefs.reuse_context);
		const char *all[3] = { forcing_device, forcing_depth, forcing_mipmaps };
		for (int32 i = 0; i < 3; ++i)
		{
			const bool expected = (c.lines[0] && !strcmp(c.lines[0], all[i])) || (c.lines[1] && !strcmp(c.lines[1], all[i]));
			EXPECT_EQ(count_in_log(all[i]) - before[i], expected ? 1u : 0u) << all[i];
		}
	}
	// The device's defaults are written again before each reading.
	write_settings("");
	read_opengl_settings(FALSE);
	EXPECT_FALSE(gl_prefs_defaults.use_npo2_textures);
	read_opengl_settings(TRUE);
	EXPECT_TRUE(gl_prefs.use_npo2_textures);
	// A bias that is not a number would reach the sprite shader as "nan".
	write_settings("TextureLodBias = nan\n");
	read_opengl_settings(TRUE);
	EXPECT_FLOAT_EQ(gl_prefs.texture_lod_bias, -0.5f);
	EXPECT_NE(log_text().find("TextureLodBias"), std::string::npos);
}

TEST_F(OpenGLSettings, the_texture_budget_is_clamped_as_a_signed_value)
{
	EXPECT_EQ(compute_opengl_texture_budget(1024, 768, 1024, 768, 32, 12), 33554432u);
	EXPECT_EQ(compute_opengl_texture_budget(1920, 1080, 1920, 1080, 32, 12), 26591232u);
	// Larger than the start: the floor, doubled (unsigned it gave 32 MB).
	EXPECT_EQ(compute_opengl_texture_budget(2560, 1600, 2560, 1600, 32, 12), 25165824u);
	EXPECT_EQ(compute_opengl_texture_budget(1024, 768, 1024, 768, 32, 64), 67108864u);
	EXPECT_EQ(compute_opengl_texture_budget(1024, 768, 1024, 768, 32, 13), 13631488u);
	EXPECT_EQ(compute_opengl_texture_budget(1024, 768, 1024, 768, 32, 8), 33554432u);

	// A 32-bit colour map and font atlas charge 1 MB + 256 KB at map start
	// and give it back.
	write_settings("Use32BitTextures = 1\n");
	active_screen.prefs.texture_cache_size = 12;
	ASSERT_TRUE(initialize_opengl_rasterizer_for_new_map());
	EXPECT_EQ(gAvailableTextureMemory, 33554432u - 1048576u - 262144u);
	dispose_opengl_rasterizer_from_old_map();
	EXPECT_EQ(gAvailableTextureMemory, 33554432u);
	EXPECT_EQ(get_recording_gl()->live_textures, 0);
	EXPECT_EQ(get_recording_gl()->live_programs, 0);
}

class OpenGLProbe : public opengl_fixture {};

TEST_F(OpenGLProbe, versions_and_strings_decide_the_device)
{
	struct case_data
	{
		const char *version;
		boolean null_strings;
		int32 devices;
		boolean opengl2;
	};
	const case_data cases[] =
	{
		{ "1.0 Mesa", FALSE, 0, FALSE }, { "1.1", FALSE, 1, FALSE }, { "2.0.1 Vendor", FALSE, 1, TRUE },
		{ "4.5 (Compatibility Profile) Mesa 22.3.6", FALSE, 1, TRUE }, { "garbage", FALSE, 0, FALSE },
		{ "2.1", TRUE, 0, FALSE },
	};
	for (const case_data &c : cases)
	{
		SCOPED_TRACE(c.version);
		clear_screen_devices();
		get_recording_gl()->version = c.version;
		get_recording_gl()->null_strings = c.null_strings;
		get_recording_gl()->renderer = std::string(100, 'r');
		query_opengl_devices();
		ASSERT_EQ(get_screen_device_count(), c.devices);
		if (!c.devices) continue;
		const device_info *device = get_screen_device(0);
		EXPECT_EQ(device->rasterizer_code, _rasterizer_opengl);
		EXPECT_STREQ(device->name, "OpenGL");
		EXPECT_EQ(device->extra_data.opengl2_device, c.opengl2);
		EXPECT_EQ(strlen(device->extra_data.renderer), 63u);
		EXPECT_STREQ(device->extra_data.vendor, "Recording vendor");
	}
	EXPECT_TRUE(get_screen_test_hooks()->window_opengl);
}

TEST_F(OpenGLProbe, a_game_whose_context_cannot_be_made_plays_in_software)
{
	write_settings("");
	get_screen_test_hooks()->fail_open_window_count = 1;
	EXPECT_TRUE(initialize_rasterizer_for_new_map());
	EXPECT_FALSE(rasterizer_initialized);
	EXPECT_EQ(active_screen.rasterizer_code, _rasterizer_software);
	EXPECT_EQ(active_screen.width, 1024);
	EXPECT_FALSE(get_screen_test_hooks()->window_opengl);
	EXPECT_NE(log_text().find("Running Software at 1024 x 768"), std::string::npos) << log_text();
	EXPECT_EQ(get_screen_test_hooks()->window_width, 1024);
}

TEST_F(OpenGLProbe, entry_points_are_looked_up_in_order_with_the_mipmap_fallbacks)
{
	write_settings("");
	ASSERT_TRUE(SetupOpenGLContext());
	const std::vector<std::string> &looked = get_recording_gl()->looked_up;
	ASSERT_EQ(looked.size(), static_cast<size_t>(NUMBER_OF_OPENGL2_ENTRY_POINTS));
	for (int32 i = 0; i < NUMBER_OF_OPENGL2_ENTRY_POINTS; ++i) EXPECT_EQ(looked[i], opengl2_entry_point_names[i]);
	EXPECT_TRUE(opengl_has_generate_mipmap);

	get_recording_gl()->looked_up.clear();
	get_recording_gl()->missing_entry_points = { "glGenerateMipmap" };
	ASSERT_TRUE(SetupOpenGLContext());
	EXPECT_EQ(get_recording_gl()->looked_up.back(), "glGenerateMipmapEXT");
	EXPECT_TRUE(opengl_has_generate_mipmap);
	EXPECT_TRUE(gl_prefs.use_mip_maps);

	// With neither spelling: no mipmaps, detail textures through GLU.
	get_recording_gl()->missing_entry_points = { "glGenerateMipmap", "glGenerateMipmapEXT" };
	ASSERT_TRUE(SetupOpenGLContext());
	EXPECT_FALSE(opengl_has_generate_mipmap);
	EXPECT_FALSE(gl_prefs.use_mip_maps);
	EXPECT_NE(log_text().find("OpenGL: Forcing UseMipMaps=0 because glGenerateMipmap is missing"), std::string::npos);
	const size_t first = get_recording_gl()->calls.size();
	const uint8 pixels[4 * 4 * 3] = {};
	EXPECT_NE(upload_detail_texture_opengl(4, 4, pixels), 0u);
	EXPECT_EQ(recording_gl_count("gluBuild2DMipmaps"), 1);
	(void)first;

	// Without shaders nothing is looked up.
	get_recording_gl()->looked_up.clear();
	write_settings("UseShaders = 0\n");
	ASSERT_TRUE(SetupOpenGLContext());
	EXPECT_TRUE(get_recording_gl()->looked_up.empty());
	EXPECT_NE(log_text().find("OpenGL: initialized with ErasePreviousFrame=0, Use32BitTextures=0, "
		"UseAppleClientStorage=1, UseDepthTest=1, UseShaders=0, UpdateCMapChunked=1"), std::string::npos);
}

TEST_F(OpenGLProbe, a_missing_link_entry_point_ends_the_process)
{
	GTEST_FLAG_SET(death_test_style, "threadsafe");
	write_settings("");
	get_recording_gl()->missing_entry_points = { "glLinkProgram" };
	EXPECT_EXIT(SetupOpenGLContext(), ::testing::ExitedWithCode(255), "");
}

class OpenGLShaders : public opengl_fixture
{
protected:
	static std::string joined(const std::vector<std::string> &lines)
	{
		std::string text;
		for (const std::string &line : lines) text += line;
		return text;
	}
};

TEST_F(OpenGLShaders, texts_reach_the_compiler_line_by_line)
{
	write_settings("");
	ASSERT_TRUE(initialize_opengl_rasterizer_for_new_map());
	initialize_opengl_mesh_parameters_for_new_map();
	EXPECT_EQ(program_count, 9);
	const std::vector<std::vector<std::string>> &sources = get_recording_gl()->shader_sources;
	ASSERT_EQ(sources.size(), 18u);
	// Modes 2 and 3 first, then 4 to 10: the sprite is the fourth program.
	const std::vector<std::string> sprite_vertex =
	{
		"attribute vec4 in_tint_kpqr;\n", "varying vec4 tint_kpqr;\n", "void main() {\n", "tint_kpqr = in_tint_kpqr;\n",
		"gl_TexCoord[0] = gl_MultiTexCoord0;\n", "gl_FrontColor = gl_Color;\n", "vec4 pos = gl_Vertex*0.00195312;\n",
		"gl_Position = gl_ProjectionMatrix * vec4(pos.xyz, 1.0);\n",
		"gl_Position.z = (gl_ProjectionMatrix * vec4(0, 0, pos.w, 1.0)).z*pos.z/pos.w;", "}"
	};
	EXPECT_EQ(sources[6], sprite_vertex);
	const std::vector<std::string> sprite_fragment =
	{
		"uniform sampler2D texture0;\n", "varying vec4 tint_kpqr;\n", "void main() {\n",
		"vec4 color = texture2D(texture0, gl_TexCoord[0].st, -0.50);\n", "const vec3 L = vec3(0.4, 0.6, 0.2);\n",
		"vec4 tint_xyza = gl_Color;\n", "color *= tint_xyza.a;\n",
		"color.rgb = color.rgb*tint_kpqr.x + color.a*tint_kpqr.yzw + dot(L,color.rgb)*tint_xyza.xyz;\n",
		"gl_FragColor = color;\n", "}"
	};
	EXPECT_EQ(sources[7], sprite_fragment);
	const std::vector<std::string> depth_fragment = { "void main() {\n", "gl_FragColor = vec4(0, 0, 0, 0);\n", "}" };
	EXPECT_EQ(sources[9], depth_fragment);
	const std::vector<std::string> mesh_1_fragment =
	{
		"uniform sampler2D texture0;\n", "uniform sampler2D texture1;\n", "void main() {\n",
		"vec4 color = texture2D(texture0, gl_TexCoord[0].st);\n",
		"vec4 d1 = 2.0*texture2D(texture1, gl_TexCoord[1].pq) - 1.0;\n", "vec4 detail = 1.0 + ", "d1 * gl_Color.r;\n",
		"color *= detail;\n", "gl_FragColor = color;\n", "}"
	};
	EXPECT_EQ(sources[13], mesh_1_fragment);
	EXPECT_NE(joined(sources[16]).find("gl_TexCoord[3] = gl_TextureMatrix[0][3] * gl_MultiTexCoord0;\n"), std::string::npos);
	EXPECT_NE(joined(sources[17]).find("d1 * gl_Color.r + d2 * gl_Color.g + d3 * gl_Color.b;\n"), std::string::npos);
	// The tint attribute is bound only for the two tinting modes; samplers on units 0..n-1.
	EXPECT_EQ(recording_gl_count("glBindAttribLocation"), 2);
	EXPECT_EQ(recording_gl_count("glUniform1i(3,3)"), 1);
	EXPECT_EQ(recording_gl_count("glUniform1i("), 1 + 1 + 1 + 1 + 2 + 3 + 4);

	// With fog, the depth program's fragment text stays the same and the
	// tinting world programs fade by alpha.
	fog_can_be_enabled_opengl = TRUE;
	build_shader(&shaders[_shader_depth]);
	EXPECT_EQ(sources.back(), depth_fragment);
	build_shader(&shaders[_shader_world_texture]);
	EXPECT_NE(joined(sources.back()).find("float fogFactor = exp(-gl_Fog.density * (gl_FragCoord.z / gl_FragCoord.w));\n"
		"fogFactor = clamp(fogFactor, 0.0, 1.0);\ncolor.rgb = mix(color.a*gl_Fog.color.rgb, color.rgb, fogFactor);\n"
		"gl_FragColor = color;\n"), std::string::npos);
	EXPECT_EQ(program_count, MAXIMUM_SHADER_PROGRAMS);
	// A twelfth program is refused.
	build_shader(&shaders[_shader_depth]);
	EXPECT_EQ(program_count, MAXIMUM_SHADER_PROGRAMS);
	EXPECT_NE(log_text().find("no room for another shader program"), std::string::npos);

	// A second map starts from no programs.
	dispose_opengl_rasterizer_from_old_map();
	fog_can_be_enabled_opengl = FALSE;
	ASSERT_TRUE(initialize_opengl_rasterizer_for_new_map());
	initialize_opengl_mesh_parameters_for_new_map();
	EXPECT_EQ(program_count, 9);
}

TEST_F(OpenGLShaders, link_logs_are_written_only_when_not_empty_and_capped)
{
	write_settings("");
	ASSERT_TRUE(initialize_opengl_rasterizer_for_new_map());
	recording_gl_data *gl = get_recording_gl();
	gl->link_status = GL_FALSE;
	gl->program_log = std::string(5000, 'p');
	gl->fragment_log = "fragment trouble";
	build_shader(&shaders[_shader_basic_color]);
	const std::string log = log_text();
	EXPECT_NE(log.find("program log:\n" + std::string(200, 'p')), std::string::npos);
	EXPECT_EQ(log.find(std::string(2048, 'p')), std::string::npos);
	EXPECT_EQ(log.find("vertex shader log:"), std::string::npos);
	EXPECT_NE(log.find("fragment shader log:\nfragment trouble"), std::string::npos);
}

class OpenGLState : public opengl_fixture {};

TEST_F(OpenGLState, the_cache_sends_only_what_changed)
{
	write_settings("");
	ASSERT_TRUE(initialize_opengl_rasterizer_for_new_map());
	set_render_mode_opengl(_shader_basic_color, _projection_mode_ortho, _depth_mode_full, _blend_mode_alpha);
	size_t first = get_recording_gl()->calls.size();
	set_render_mode_opengl(_shader_basic_color, _projection_mode_ortho, _depth_mode_full, _blend_mode_alpha);
	EXPECT_TRUE(recording_gl_calls_since(first).empty());

	set_render_mode_opengl(_shader_basic_color, _projection_mode_ortho, _depth_mode_test, _blend_mode_alpha);
	EXPECT_EQ(recording_gl_calls_since(first), std::vector<std::string>{ "glDepthMask(0)" });
	first = get_recording_gl()->calls.size();
	set_render_mode_opengl(_shader_basic_color, _projection_mode_ortho, _depth_mode_test, _blend_mode_premultiplied_alpha);
	EXPECT_EQ(recording_gl_calls_since(first), (std::vector<std::string>{ "glEnable(3042)", "glBlendFunc(1,771)" }));

	// Fixed-function fog fades colours, so premultiplied blending takes the source alpha.
	use_fixed_function_fog = TRUE;
	set_render_mode_opengl(_shader_basic_color, _projection_mode_ortho, _depth_mode_test, _blend_mode_replace);
	first = get_recording_gl()->calls.size();
	set_render_mode_opengl(_shader_basic_color, _projection_mode_ortho, _depth_mode_test, _blend_mode_premultiplied_alpha);
	EXPECT_EQ(recording_gl_calls_since(first), (std::vector<std::string>{ "glEnable(3042)", "glBlendFunc(770,771)" }));
	use_fixed_function_fog = FALSE;

	// Binding the same texture twice sends nothing; another mode turns unused units off.
	bind_texture_unit_opengl(1, 7);
	first = get_recording_gl()->calls.size();
	bind_texture_unit_opengl(1, 7);
	EXPECT_TRUE(recording_gl_calls_since(first).empty());
	set_shader_mode_opengl(_shader_basic_texture);
	EXPECT_EQ(opengl_state.shader_state_flags_opengl & _texture_x_mask, 0);

	// A new map forgets the cache: the first request sets everything.
	dispose_opengl_rasterizer_from_old_map();
	ASSERT_TRUE(initialize_opengl_rasterizer_for_new_map());
	EXPECT_EQ(opengl_state.current_blend_mode, -1);
	EXPECT_EQ(opengl_state.current_projection_mode, _projection_mode_none);
	first = get_recording_gl()->calls.size();
	set_render_mode_opengl(_shader_basic_color, _projection_mode_ortho, _depth_mode_none, _blend_mode_alpha);
	EXPECT_GE(recording_gl_calls_since(first).size(), 5u);
}

TEST_F(OpenGLState, the_depth_mode_is_left_alone_without_the_depth_test)
{
	write_settings("UseDepthTest = 0\n");
	ASSERT_TRUE(initialize_opengl_rasterizer_for_new_map());
	set_render_mode_opengl(_shader_basic_color, _projection_mode_ortho, _depth_mode_none, _blend_mode_alpha);
	const size_t first = get_recording_gl()->calls.size();
	set_render_mode_opengl(_shader_basic_color, _projection_mode_ortho, _depth_mode_full, _blend_mode_alpha);
	EXPECT_TRUE(recording_gl_calls_since(first).empty());
}

TEST_F(OpenGLState, the_scene_projection_puts_viewer_points_where_the_frame_core_does)
{
	struct size_data { int16 width, height, x0, y0; };
	const size_data sizes[] = { { 640, 480, 0, 0 }, { 1024, 768, 0, 0 }, { 800, 500, 100, 140 } };
	for (const size_data &size : sizes)
	{
		SCOPED_TRACE(size.width);
		active_screen.width = 1024;
		active_screen.height = 768;
		write_settings("");
		ASSERT_TRUE(initialize_opengl_rasterizer_for_new_map());
		bitmap_data screen = {};
		screen.width = size.width;
		screen.height = size.height;
		screen.x0 = size.x0;
		screen.y0 = size.y0;
		screen.encoding = _opengl_frame_buffer_encoding;
		view_data view;
		memset(&view, 0, sizeof(view));
		view.screen = &screen;
		view.tan_half_fov = 0.75f;
		view.vertical_offset = -1 / 7.f;
		update_view_data(&view);
		rasterize_scene_opengl(&view, NULL);
		const projection_mode_data *p = &projections[_projection_mode_perspective];
		const short_world_point3d points[] = { { 2896, 5834, -13771 }, { -700, -300, -2000 }, { 0, 0, -512 },
			{ 4000, -2500, -30000 } };
		for (const short_world_point3d &v : points)
		{
			// GL: the model-view's 1/512, the projection, the divide, then the viewport (rows from the bottom).
			const float x = v.x / 512.0f, y = v.y / 512.0f, z = v.z / 512.0f;
			const float clip_x = p->proj_mat[0] * x + p->proj_mat[8] * z + p->proj_mat[12];
			const float clip_y = p->proj_mat[5] * y + p->proj_mat[9] * z + p->proj_mat[13];
			const float clip_w = p->proj_mat[11] * z + p->proj_mat[15];
			const float window_x = p->viewport[0] + (clip_x / clip_w + 1) * 0.5f * p->viewport[2];
			const float window_y = active_screen.height - (p->viewport[1] + (clip_y / clip_w + 1) * 0.5f * p->viewport[3]);
			// The frame core, in the destination bitmap, offset by its origin.
			const float frame_x = view.xk - static_cast<float>(v.x) * view.world_to_screen_x / v.z + screen.x0;
			const float frame_y = static_cast<float>(v.y) * view.world_to_screen_y / v.z + view.yk + screen.y0;
			EXPECT_NEAR(window_x, frame_x, 0.5f);
			EXPECT_NEAR(window_y, frame_y, 0.5f);
		}
		dispose_opengl_rasterizer_from_old_map();
	}
}

TEST_F(OpenGLState, projections_put_viewer_points_where_the_frame_projects_them)
{
	// glOrtho maps the screen's pixels to the unit cube, y down.
	float m[16];
	opengl_ortho_matrix(m, 0, 1024, 768, 0, 0, 32767);
	EXPECT_FLOAT_EQ(m[0] * 1024 + m[12], 1.0f);
	EXPECT_FLOAT_EQ(m[5] * 768 + m[13], -1.0f);
	EXPECT_FLOAT_EQ(m[13], 1.0f);
	// glFrustum: a point on the view's right edge lands on x = 1.
	opengl_frustum_matrix(m, -0.4f, 0.4f, -0.3f, 0.3f, 0.5f, 64.0f);
	const float x = 0.8f, z = -1.0f; // right * 2 at depth 1
	const float clip_x = m[0] * x + m[8] * z, clip_w = -z;
	EXPECT_NEAR(clip_x / clip_w, 1.0f, 1e-6f);
	EXPECT_FLOAT_EQ(m[11], -1.0f);
}
