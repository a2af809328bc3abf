// How the OpenGL back end batches a frame's surfaces, on the recording GL with
// the default collections loaded: each draw is logged with the GL state it
// was made in.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "collections_content.h"
#include "detail_maps.h"
#include "hardware/OpenGL/gl_prefs.h"
#include "hardware/OpenGL/render_opengl.h"
#include "hardware/OpenGL/setup_opengl.h"
#include "hardware/OpenGL/utilities_opengl.h"
#include "inifile.h"
#include "render/render.h"
#include "screen.h"
#include "shapes_test_support.h"
#include "support/recording_gl.h"

namespace {

struct logged_draw
{
	int32 shader, depth, blend, count;
	int32 texture0, texture1;
	std::vector<opengl_vertex> vertices; // the first few
};

std::vector<logged_draw> draws;

// Stands in for the recorder's glDrawArrays: the draw goes into the call log
// as "draw" and, with its state and first vertices, into the draw log.
void logging_draw_arrays(GLenum mode, GLint first, GLsizei count)
{
	(void)mode;
	logged_draw draw = {opengl_state.current_shader_mode, opengl_state.current_depth_mode,
		opengl_state.current_blend_mode, count, opengl_state.current_texture[0], opengl_state.current_texture[1], {}};
	for (GLsizei i = 0; i < count && i < 12; ++i) draw.vertices.push_back(render_verts[first + i]);
	draws.push_back(draw);
	get_recording_gl()->calls.push_back("draw");
}

class opengl_scene_batching : public shapes_test_directory
{
protected:
	void SetUp() override
	{
		shapes_test_directory::SetUp();
		std::vector<int32> handles;
		ASSERT_TRUE(make_default_collection_tags(&handles));
		effects = get_collection_index(DEFAULT_EFFECTS_COLLECTION_TAG);
		ASSERT_NE(effects, NONE);
		ASSERT_NE(get_bitmap(effects, 1), nullptr);
		initialize_render();
		render_scene(NULL);
		install_recording_gl();
		device_info device = {};
		device.rasterizer_code = _rasterizer_opengl;
		device.mode_count = 1;
		snprintf(device.name, sizeof(device.name), "OpenGL");
		device.extra_data.opengl_version = 0x20001;
		device.extra_data.opengl2_device = TRUE;
		device.modes[0] = {0, 1024, 768, 32, 0};
		clear_screen_devices();
		report_device(&device);
		active_screen.prefs.flags = _screen_pref_windowed_flag;
		active_screen.prefs.texture_cache_size = 64;
		set_active_screen(0, 0);
		memcpy(saved_categories, surface_categories, sizeof(saved_categories));
	}
	void TearDown() override
	{
		memcpy(surface_categories, saved_categories, sizeof(saved_categories));
		if (rasterizer_initialized) dispose_opengl_rasterizer_from_old_map();
		install_recording_gl(); // the recorder's own glDrawArrays again
		reset_detail_maps_test_hooks();
		inifile_free();
		clear_screen_devices();
		set_active_screen(NONE, NONE);
		draws.clear();
		reset_recording_gl();
		shapes_test_directory::TearDown();
	}

	void start(const std::string &settings)
	{
		inifile_free();
		mkdir("preferences", 0777);
		ASSERT_TRUE(write_test_file("preferences/poweruser.txt", "[Renderer.OpenGL]\n" + settings));
		inifile_load();
		ASSERT_TRUE(initialize_opengl_rasterizer_for_new_map());
		opengl_api.glDrawArrays = logging_draw_arrays;
	}

	// Surfaces that live through the test, all on three vertices in front of the eye.
	render_triangle *triangle(int16 subtype, uint16 flags)
	{
		render_triangle *t = static_cast<render_triangle *>(render_malloc(sizeof(render_triangle)));
		memset(t, 0, sizeof(*t));
		set_surface_type(&t->surface, _surface_type_triangle, subtype);
		set_surface_flags(&t->surface, flags);
		t->surface.z = -1000;
		for (int32 c = 0; c < 3; ++c) t->corners[c].vertex = &vertices[c];
		return t;
	}
	render_surface *model_triangle(int16 bitmap, uint32 permutation, uint16 flags = 0)
	{
		render_triangle *t = triangle(_surface_subtype_model_triangle, flags);
		t->texture = build_bitmap_identifier(static_cast<uint32>(effects), static_cast<uint32>(bitmap), 0, permutation);
		return &t->surface;
	}
	render_surface *terrain(uint32 detail, uint16 flags = 0)
	{
		render_triangle *t = triangle(_surface_subtype_mesh_triangle, flags);
		t->detail = detail;
		return &t->surface;
	}
	render_surface *filled_rectangle(fixed_fraction transparency, uint16 flags = 0)
	{
		render_filled_rectangle *r = static_cast<render_filled_rectangle *>(render_malloc(sizeof(render_filled_rectangle)));
		memset(r, 0, sizeof(*r));
		set_surface_type(&r->surface, _surface_type_rectangle, _surface_subtype_filled_rectangle);
		set_surface_flags(&r->surface, flags | _surface_transparent_flag);
		r->surface.transparency = transparency;
		r->geometry = {10, 10, 20, 20, -32768, 32767, {0, 0, 0, 0}, 0, 0};
		r->color = {0xFF00, 0x8000, 0x4000, 0};
		return &r->surface;
	}

	// Draws a frame whose categories hold the given surfaces (the surfaces
	// list, when given, is the painter's order); the calls it made from the
	// first draw on.
	std::vector<std::string> draw_frame(std::vector<render_surface *> (&categories)[NUMBER_OF_SURFACE_CATEGORIES],
		render_surface_list *list = nullptr)
	{
		for (int32 c = 0; c < NUMBER_OF_SURFACE_CATEGORIES; ++c)
		{
			surface_categories[c].surfaces = categories[c].data();
			surface_categories[c].count = static_cast<int32>(categories[c].size());
			surface_categories[c].sorted = FALSE;
		}
		draws.clear();
		return rasterize_recorded_opengl_scene(list);
	}

	int16 effects = NONE;
	render_vertex vertices[3] = {{0, {0, 0}, {0, 0, -1000}, {0, 0}}, {0, {1, 0}, {100, 0, -1000}, {0, 0}},
		{0, {2, 0}, {0, 100, -1000}, {0, 0}}};
	surface_category saved_categories[NUMBER_OF_SURFACE_CATEGORIES];
};

// The vertex counts of the first draws (all of them by default).
std::vector<int32> draw_counts(size_t first_draws = SIZE_MAX)
{
	std::vector<int32> counts;
	for (size_t i = 0; i < draws.size() && i < first_draws; ++i) counts.push_back(draws[i].count);
	return counts;
}

}

// With the depth buffer: reflective objects, media, reflections, opaque
// objects and terrain in turn; then the depth is laid again with colour
// writes off, and the translucent surfaces are drawn with alpha writes off.
TEST_F(opengl_scene_batching, categories_are_drawn_in_order_around_the_depth_lay)
{
	start("");
	std::vector<render_surface *> categories[NUMBER_OF_SURFACE_CATEGORIES];
	categories[_surface_category_reflective_objects] = {model_triangle(0, 0, _surface_media_flag)};
	categories[_surface_category_media] = {terrain(0, _surface_media_flag), terrain(0, _surface_media_flag)};
	categories[_surface_category_reflections] = {filled_rectangle(0, _surface_reflection_flag)};
	categories[_surface_category_opaque_objects] = {model_triangle(0, 0), model_triangle(0, 0), model_triangle(0, 0)};
	categories[_surface_category_mesh] = {terrain(0), terrain(0), terrain(0), terrain(0)};
	categories[_surface_category_translucent_objects] = {filled_rectangle(0), filled_rectangle(0)};
	const std::vector<std::string> calls = draw_frame(categories);
	std::vector<std::string> order;
	for (const std::string &call : calls)
	{
		if (call == "draw" || call.rfind("glColorMask", 0) == 0 || call.rfind("glClear(", 0) == 0) order.push_back(call);
	}
	const std::vector<std::string> expected = {"glClear(16640)", "draw", "draw", "draw", "draw", "draw", "glClear(256)",
		"glColorMask(0,0,0,0)", "draw", "draw", "glColorMask(1,1,1,0)", "draw", "glColorMask(1,1,1,1)"};
	EXPECT_EQ(order, expected);
	ASSERT_EQ(draws.size(), 8u);
	const struct
	{
		int32 shader, depth, blend, count;
	} states[] = {
		{_shader_world_texture, _depth_mode_test, _blend_mode_replace, 3},
		{_shader_mesh_0, _depth_mode_full, _blend_mode_replace, 6},
		{_shader_basic_color, _depth_mode_none, _blend_mode_alpha, 6},
		{_shader_world_texture, _depth_mode_full, _blend_mode_replace, 9},
		{_shader_mesh_0, _depth_mode_full, _blend_mode_replace, 12},
		{_shader_world_texture, _depth_mode_full, _blend_mode_replace, 9},
		{_shader_depth, _depth_mode_full, _blend_mode_replace, 12},
		{_shader_basic_color, _depth_mode_test, _blend_mode_alpha, 12},
	};
	for (size_t i = 0; i < draws.size(); ++i)
	{
		EXPECT_EQ(draws[i].shader, states[i].shader) << i;
		EXPECT_EQ(draws[i].depth, states[i].depth) << i;
		EXPECT_EQ(draws[i].blend, states[i].blend) << i;
		EXPECT_EQ(draws[i].count, states[i].count) << i;
	}
}

// Textured objects draw in runs of one texture: a change of collection,
// bitmap or colour table (the low 29 bits) starts a run, a change of
// permutation alone does not, and no run holds more than 8,192 triangles.
// Terrain without detail maps goes in plain chunks of 8,192.
TEST_F(opengl_scene_batching, runs_are_cut_at_8192_and_where_the_texture_changes)
{
	start("");
	std::vector<render_surface *> categories[NUMBER_OF_SURFACE_CATEGORIES];
	std::vector<render_surface *> &opaque = categories[_surface_category_opaque_objects];
	for (int32 i = 0; i < 8197; ++i) opaque.push_back(model_triangle(0, i < 4000 ? 0 : 3));
	opaque.push_back(model_triangle(1, 3));
	opaque.push_back(model_triangle(1, 3));
	for (int32 i = 0; i < 8193; ++i) categories[_surface_category_mesh].push_back(terrain(0));
	draw_frame(categories);
	ASSERT_EQ(draw_counts(5), (std::vector<int32>{3 * 8192, 3 * 5, 3 * 2, 3 * 8192, 3}));
	for (int32 i = 0; i < 3; ++i) EXPECT_EQ(draws[i].shader, _shader_world_texture) << i;
	EXPECT_EQ(draws[0].texture0, draws[1].texture0);
	EXPECT_NE(draws[1].texture0, draws[2].texture0);
	EXPECT_EQ(draws[3].shader, _shader_mesh_0);
}

// With detail maps and shaders, terrain runs share the masked detail word
// (texture indexes; the corner masks may differ). A word with layer 1 alone
// draws with two textures, its corner bits in the red channel.
TEST_F(opengl_scene_batching, detail_runs_share_their_textures_and_carry_the_corner_bits)
{
	start("");
	const uint32 word = 1;
	set_detail_map_layer_info_for_tests(&word, 1, TRUE);
	hardware_format_detail_textures[5] = 41;
	hardware_format_detail_textures[6] = 42;
	std::vector<render_surface *> categories[NUMBER_OF_SURFACE_CATEGORIES];
	categories[_surface_category_mesh] = {terrain((5u << 9) | 5u), terrain((5u << 9) | 2u), terrain((6u << 9) | 7u)};
	draw_frame(categories);
	ASSERT_EQ(draw_counts(2), (std::vector<int32>{6, 3}));
	EXPECT_EQ(draws[0].shader, _shader_mesh_1);
	const uint8 red[6] = {255, 0, 255, 0, 255, 0};
	for (int32 v = 0; v < 6; ++v)
	{
		EXPECT_EQ(draws[0].vertices[v].color[0], red[v]) << v;
		EXPECT_EQ(draws[0].vertices[v].color[1], 0) << v;
		EXPECT_EQ(draws[0].vertices[v].color[2], 0) << v;
	}
	EXPECT_EQ(draws[1].vertices[0].color[0], 255);
}

// Without shaders the detail passes go by sort key: every base pass first,
// then the layers grouped by detail texture in ascending order, each layer's
// corner bits as the vertex alpha.
TEST_F(opengl_scene_batching, multipass_terrain_draws_base_passes_then_layers_by_texture)
{
	start("UseShaders = 0\n");
	const uint32 word = 1;
	set_detail_map_layer_info_for_tests(&word, 1, TRUE);
	hardware_format_detail_textures[3] = 33;
	hardware_format_detail_textures[7] = 77;
	const uint32 base = 1u << 30;
	std::vector<render_surface *> categories[NUMBER_OF_SURFACE_CATEGORIES];
	categories[_surface_category_mesh] = {terrain(base | (7u << 9) | 1u), terrain((3u << 9) | 2u | (7u << 16) | (4u << 3)),
		terrain(base)};
	draw_frame(categories);
	ASSERT_EQ(draw_counts(3), (std::vector<int32>{6, 3, 6}));
	EXPECT_EQ(draws[0].shader, _shader_mesh_0);
	EXPECT_EQ(draws[0].blend, _blend_mode_replace);
	EXPECT_EQ(draws[1].shader, _shader_fixed_multitexture);
	EXPECT_EQ(draws[1].blend, _blend_mode_alpha);
	EXPECT_EQ(draws[1].texture1, 33);
	EXPECT_EQ(draws[2].texture1, 77);
	const uint8 alphas[3][6] = {{255, 255, 255, 255, 255, 255}, {0, 255, 0}, {255, 0, 0, 0, 0, 255}};
	for (int32 d = 0; d < 3; ++d)
	{
		for (int32 v = 0; v < draws[d].count; ++v) EXPECT_EQ(draws[d].vertices[v].color[3], alphas[d][v]) << d << " " << v;
	}
}

// Without the depth buffer the list is drawn far to near in three passes
// (media, reflections, the rest); terrain is drawn even when discarded,
// nothing else is.
TEST_F(opengl_scene_batching, painters_order_draws_discarded_terrain)
{
	start("UseDepthTest = 0\n");
	render_surface_list list;
	new_surface_list(&list);
	for (render_surface *surface : {terrain(0, _surface_discarded_flag), filled_rectangle(0, _surface_discarded_flag),
			 filled_rectangle(0, _surface_reflection_flag), terrain(0, _surface_media_flag)})
	{
		add_surface_to_surface_list(&list, surface);
	}
	std::vector<render_surface *> categories[NUMBER_OF_SURFACE_CATEGORIES];
	draw_frame(categories, &list);
	ASSERT_EQ(draw_counts(), (std::vector<int32>{3, 6, 3}));
	EXPECT_EQ(draws[0].shader, _shader_fixed_multitexture);
	EXPECT_EQ(draws[1].shader, _shader_basic_color);
	EXPECT_EQ(draws[2].shader, _shader_fixed_multitexture);
}

// The largest transparency draws with alpha 0, which the blending (and the
// shaders' premultiplying) turn into nothing seen: a filled rectangle is still
// sent, in its colour, and so is a textured triangle.
TEST_F(opengl_scene_batching, the_largest_transparency_draws_with_alpha_0)
{
	start("");
	std::vector<render_surface *> categories[NUMBER_OF_SURFACE_CATEGORIES];
	render_surface *triangle = model_triangle(0, 0, _surface_transparent_flag);
	triangle->transparency = 65535;
	categories[_surface_category_translucent_objects] = {filled_rectangle(65535), triangle};
	draw_frame(categories);
	ASSERT_EQ(draw_counts(), (std::vector<int32>{6, 3}));
	for (int32 v = 0; v < 6; ++v) EXPECT_EQ(draws[0].vertices[v].color[3], 0) << v;
	EXPECT_EQ(draws[0].vertices[0].color[0], 0xFF);
	for (int32 v = 0; v < 3; ++v) EXPECT_EQ(draws[1].vertices[v].color[3], 0) << v;
}

// Past the map's edge no surface is drawn, so each frame first clears its
// view to ClearColor (depth with it), within the view's rectangle; with
// ErasePreviousFrame the whole window is cleared.
TEST_F(opengl_scene_batching, each_frame_first_clears_its_view)
{
	std::vector<render_surface *> categories[NUMBER_OF_SURFACE_CATEGORIES];
	categories[_surface_category_mesh] = {terrain(0)};
	const auto before_the_first_draw = [](const std::vector<std::string> &calls) {
		std::vector<std::string> clearing;
		for (const std::string &call : calls)
		{
			if (call == "draw") break;
			if (call.rfind("glClear", 0) == 0 || call.rfind("glScissor", 0) == 0 || call.rfind("glEnable(3089", 0) == 0 ||
				call.rfind("glDisable(3089", 0) == 0)
			{
				clearing.push_back(call);
			}
		}
		return clearing;
	};
	start("ClearColor = 0x336699\n");
	EXPECT_EQ(before_the_first_draw(draw_frame(categories)),
		(std::vector<std::string>{"glClearColor(0.2,0.4,0.6,0)", "glScissor(0,0,1024,768)", "glEnable(3089)", "glClear(16640)",
			"glDisable(3089)"}));
	dispose_opengl_rasterizer_from_old_map();
	start("ErasePreviousFrame = 1\nUseDepthTest = 0\n");
	EXPECT_EQ(before_the_first_draw(draw_frame(categories)), (std::vector<std::string>{"glClearColor(0,0,0,0)", "glClear(16384)"}));
}
