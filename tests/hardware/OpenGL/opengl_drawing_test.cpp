// The OpenGL back end's uploads, frame-buffer utilities and batching on the
// recording GL.
#include "hardware/OpenGL/opengl_support.h"

#include <algorithm>

#include "hardware/OpenGL/render_opengl.h"
#include "hardware/OpenGL/utilities_opengl.h"
#include "bitmap_dialogs/dialogs.h"
#include "detail_maps.h"
#include "render/render.h"

class OpenGLUploads : public opengl_fixture
{
protected:
	void start(const std::string &settings)
	{
		write_settings(settings);
		ASSERT_TRUE(initialize_opengl_rasterizer_for_new_map());
	}
};

TEST_F(OpenGLUploads, same_sizes_are_refilled_and_new_sizes_redefined)
{
	start("");
	uint32 pixels[8 * 8] = {};
	TOGLImage image = { 4, 8, 8, 32, pixels };
	gl_client_texture texture;
	const uint32 budget = gAvailableTextureMemory;
	ASSERT_EQ(new_texture_opengl(kOGLPixel_RGB32, &image, &texture), kOGLNoErr);
	EXPECT_EQ(gAvailableTextureMemory, budget - 256);
	EXPECT_EQ(recording_gl_count("glTexImage2D(3553,0,32849,8,8"), 1);
	EXPECT_EQ(update_texture_opengl(kOGLPixel_RGB32, &image, &texture), kOGLNoErr);
	EXPECT_EQ(recording_gl_count("glTexSubImage2D(3553,0,0,0,8,8"), 1);
	// Same width, new height: the level is defined again.
	texture.data.height = 4;
	image.height = 4;
	EXPECT_EQ(update_texture_opengl(kOGLPixel_RGB32, &image, &texture), kOGLNoErr);
	EXPECT_EQ(recording_gl_count("glTexImage2D(3553,0,32849,8,4"), 1);
	delete_texture_opengl(&texture);
	EXPECT_EQ(gAvailableTextureMemory, budget);

	// An exhausted budget makes nothing.
	gAvailableTextureMemory = 100;
	const int32 live = get_recording_gl()->live_textures;
	EXPECT_EQ(new_texture_opengl(kOGLPixel_RGB32, &image, &texture), kOGLOutOfMemory);
	EXPECT_EQ(get_recording_gl()->live_textures, live);
	EXPECT_EQ(gAvailableTextureMemory, 100u);
	gAvailableTextureMemory = budget;
}

TEST_F(OpenGLUploads, an_unknown_pixel_format_is_fatal)
{
	GTEST_FLAG_SET(death_test_style, "threadsafe");
	start("");
	uint32 pixels[4] = {};
	TOGLImage image = { 4, 2, 2, 8, pixels };
	gl_client_texture texture;
	EXPECT_DEATH(new_texture_opengl(NUMBER_OF_OGL_PIXEL_TYPES, &image, &texture), "");
}

TEST_F(OpenGLUploads, the_colour_map_shades_named_chunks)
{
	start("Use32BitTextures = 1\n");
	uint32 *table = static_cast<uint32 *>(new_pointer_z(SHADING_TABLES_SIZE32));
	for (int32 i = 0; i < 65536; ++i) table[i] = 0xFF000000u | static_cast<uint32>(i);
	volatile_cmap_shading_table = table;
	uint8 colors[VOLATILE_MAP_WIDTH * VOLATILE_MAP_WIDTH], shadows[VOLATILE_MAP_WIDTH * VOLATILE_MAP_WIDTH];
	for (int32 i = 0; i < VOLATILE_MAP_WIDTH * VOLATILE_MAP_WIDTH; ++i)
	{
		colors[i] = static_cast<uint8>(i);
		shadows[i] = static_cast<uint8>(i >> 9);
	}
	uint8 *saved_colors = volatile_color_map, *saved_shadows = volatile_shadow_map;
	volatile_color_map = colors;
	volatile_shadow_map = shadows;

	const uint8 list[] = { 9, 63 };
	update_volatile_cmap_texture_opengl(list, 2);
	EXPECT_EQ(recording_gl_count("glTexSubImage2D(3553,0,64,64,64,64"), 1);
	EXPECT_EQ(recording_gl_count("glTexSubImage2D(3553,0,448,448,64,64"), 1);
	const uint32 *texels = static_cast<const uint32 *>(volatile_cmap_pixmap);
	const int32 at = 70 * VOLATILE_MAP_WIDTH + 80;
	EXPECT_EQ(texels[at], table[(shadows[at] << 8) | colors[at]]);
	EXPECT_EQ(texels[0], 0u); // chunk 0 was not named
	// Chunked with an empty list: nothing.
	const size_t first = get_recording_gl()->calls.size();
	update_volatile_cmap_texture_opengl(list, 0);
	EXPECT_EQ(recording_gl_calls_since(first).size(), 0u);
	// Whole: one upload even for an empty list.
	gl_prefs.update_cmap_chunked = FALSE;
	update_volatile_cmap_texture_opengl(list, 0);
	EXPECT_EQ(recording_gl_count("glTexSubImage2D(3553,0,0,0,512,512"), 1);

	volatile_color_map = saved_colors;
	volatile_shadow_map = saved_shadows;
}

TEST_F(OpenGLUploads, font_coverage_becomes_white_with_alpha_and_detail_rows_align)
{
	start("Use32BitTextures = 1\n");
	bitmap_data *font = new_bitmap(4, 2, 4, _8bit_encoding, 0);
	ASSERT_NE(font, nullptr);
	font->row_addresses[0][0] = 255;
	font->row_addresses[0][1] = 0;
	font->row_addresses[1][3] = 0x80;
	initialize_font_texture_opengl(font);
	const uint32 *texels = static_cast<const uint32 *>(font_pixmap);
	ASSERT_NE(texels, nullptr);
	EXPECT_EQ(texels[0], 0xFFFFFFFFu);
	EXPECT_EQ(texels[1], 0x00FFFFFFu);
	EXPECT_EQ(texels[7], 0x80FFFFFFu);
	dispose_font_texture_opengl();
	gl_prefs.use_32bit_textures = FALSE;
	initialize_font_texture_opengl(font);
	const uint16 *small = static_cast<const uint16 *>(font_pixmap);
	EXPECT_EQ(small[0], 0xFFFF);
	EXPECT_EQ(small[1], 0x0FFF);
	dispose_font_texture_opengl();
	dispose_pointer(font);

	// 300 bytes a row load at alignment 4, then the old alignment comes back.
	static uint8 pixels[128 * 4 * 3];
	get_recording_gl()->unpack_alignment = 1;
	size_t first = get_recording_gl()->calls.size();
	const GLuint name = upload_detail_texture_opengl(100, 4, pixels);
	std::vector<std::string> calls = recording_gl_calls_since(first);
	EXPECT_NE(std::find(calls.begin(), calls.end(), "glPixelStorei(3317,4)"), calls.end());
	EXPECT_EQ(get_recording_gl()->unpack_alignment, 1);
	delete_texture_name_opengl(name);
	first = get_recording_gl()->calls.size();
	delete_texture_name_opengl(upload_detail_texture_opengl(128, 4, pixels));
	calls = recording_gl_calls_since(first);
	EXPECT_EQ(std::count_if(calls.begin(), calls.end(), [](const std::string &c) { return c.rfind("glPixelStorei(3317", 0) == 0; }), 0);
}

class OpenGLFrameBuffer : public opengl_fixture {};

TEST_F(OpenGLFrameBuffer, the_render_bitmap_and_the_read_back)
{
	write_settings("");
	ASSERT_TRUE(initialize_opengl_rasterizer_for_new_map());
	rectangle2d bounds;
	set_rectangle2d(&bounds, 10, 20, 110, 70);
	bitmap_data *render = initialize_render_bitmap_hardware(&bounds);
	ASSERT_NE(render, nullptr);
	EXPECT_EQ(render->encoding, _opengl_frame_buffer_encoding);
	EXPECT_EQ(render->flags & _no_row_address_table_flag, _no_row_address_table_flag);
	EXPECT_EQ(render->row_addresses[0], nullptr);
	EXPECT_EQ(render->width, 100);
	EXPECT_EQ(render->x0, 10);
	EXPECT_EQ(render->y0, 20);

	// A destination smaller than the rectangle gets only what fits.
	bitmap_data *small = new_bitmap(3, 2, 12, _32bit_encoding, 0);
	ASSERT_NE(small, nullptr);
	set_rectangle2d(&bounds, 5, 7, 15, 17);
	copy_bits_from_render_view_hardware(&bounds, small);
	EXPECT_EQ(get_recording_gl()->read_rows, (std::vector<int32>{ 768 - 1 - 7, 768 - 1 - 8 }));
	EXPECT_EQ(recording_gl_count("glReadPixels(5,760,3,1"), 1);
	const uint32 *row1 = reinterpret_cast<const uint32 *>(small->row_addresses[1]);
	EXPECT_EQ(row1[2], 0xFF000000u | (759u << 12) | 7u);
	EXPECT_EQ(small->encoding, _32bit_encoding);
	dispose_pointer(small);
	// A 16-bit destination gets nothing.
	bitmap_data *narrow = new_bitmap(4, 4, 8, _16bit_555_encoding, 0);
	get_recording_gl()->read_rows.clear();
	copy_bits_from_render_view_hardware(&bounds, narrow);
	EXPECT_TRUE(get_recording_gl()->read_rows.empty());
	dispose_pointer(narrow);
}

class OpenGLBatching : public opengl_fixture
{
protected:
	void SetUp() override
	{
		opengl_fixture::SetUp();
		write_settings("");
		ASSERT_TRUE(initialize_opengl_rasterizer_for_new_map());
	}
};

TEST_F(OpenGLBatching, dialog_bitmaps_are_cut_into_tiles_and_uploaded_when_changed)
{
	bitmap_data *small = new_bitmap(300, 200, 1200, _32bit_encoding, 0);
	bitmap_data *large = new_bitmap(600, 600, 2400, _32bit_encoding, 0);
	rectangle2d bounds;
	set_rectangle2d(&bounds, 0, 0, 300, 200);
	draw_bitmap_opengl(small, &bounds, 0);
	EXPECT_EQ(cached_bitmaps[0].num_textures, 2);
	EXPECT_EQ(recording_gl_count("glTexSubImage2D(3553,0,0,0,256,200"), 1);
	EXPECT_EQ(recording_gl_count("glTexSubImage2D(3553,0,0,0,44,200"), 1);
	const size_t draws = static_cast<size_t>(recording_gl_count("glDrawArrays"));
	draw_bitmap_opengl(large, &bounds, 0);
	EXPECT_EQ(cached_bitmaps[1].num_textures, 10);
	EXPECT_EQ(static_cast<size_t>(recording_gl_count("glDrawArrays")), draws + 9);
	// Unchanged: drawn again without an upload; changed: uploaded once more.
	const int32 uploads = recording_gl_count("glTexSubImage2D");
	draw_bitmap_opengl(small, &bounds, 0);
	EXPECT_EQ(recording_gl_count("glTexSubImage2D"), uploads);
	small->flags |= _bitmap_changed_flag;
	draw_bitmap_opengl(small, &bounds, 32768);
	EXPECT_EQ(recording_gl_count("glTexSubImage2D"), uploads + 2);
	EXPECT_FALSE(small->flags & _bitmap_changed_flag);
	// Disposal closes the gap.
	dispose_bitmap_cache_opengl(small);
	EXPECT_EQ(cached_bitmap_count, 1);
	EXPECT_EQ(cached_bitmaps[0].bitmap, large);
	dispose_bitmap_cache_opengl(large);
	EXPECT_EQ(cached_bitmap_count, 0);
	dispose_pointer(small);
	dispose_pointer(large);
}

TEST_F(OpenGLBatching, a_drawn_dialog_is_uploaded_again_and_its_disposal_leaves_the_cache)
{
	dialog_data *dialog = new_dialog(TAG("test"), NULL, NULL, 0, 0);
	ASSERT_NE(dialog, nullptr);
	rectangle2d bounds;
	set_rectangle2d(&bounds, 10, 10, 110, 60);
	move_dialog(dialog, &bounds);
	dialog_rasterization_data rasterization;
	const int32 before = recording_gl_count("glTexSubImage2D");
	draw_dialog_hardware(dialog);
	get_rasterization_data_for_dialog(dialog, &rasterization);
	ASSERT_TRUE(rasterize_dialog_hardware(&rasterization));
	ASSERT_EQ(cached_bitmap_count, 1);
	const int32 uploads = recording_gl_count("glTexSubImage2D") - before;
	ASSERT_GT(uploads, 0);
	// Drawing the dialog again marks its bitmap changed, so the tiles follow.
	draw_dialog_hardware(dialog);
	ASSERT_TRUE(rasterize_dialog_hardware(&rasterization));
	EXPECT_EQ(recording_gl_count("glTexSubImage2D"), before + 2 * uploads);
	dispose_dialog(dialog);
	EXPECT_EQ(cached_bitmap_count, 0);
}

TEST_F(OpenGLBatching, the_seventeenth_live_dialog_bitmap_is_fatal)
{
	GTEST_FLAG_SET(death_test_style, "threadsafe");
	bitmap_data *bitmaps[MAXIMUM_CACHED_BITMAPS + 1];
	rectangle2d bounds;
	set_rectangle2d(&bounds, 0, 0, 8, 8);
	for (int32 i = 0; i <= MAXIMUM_CACHED_BITMAPS; ++i) bitmaps[i] = new_bitmap(8, 8, 32, _32bit_encoding, 0);
	for (int32 i = 0; i < MAXIMUM_CACHED_BITMAPS; ++i) draw_bitmap_opengl(bitmaps[i], &bounds, 0);
	EXPECT_DEATH(draw_bitmap_opengl(bitmaps[MAXIMUM_CACHED_BITMAPS], &bounds, 0), "");
	// With one disposed there is room again.
	dispose_bitmap_cache_opengl(bitmaps[3]);
	draw_bitmap_opengl(bitmaps[MAXIMUM_CACHED_BITMAPS], &bounds, 0);
	EXPECT_EQ(cached_bitmap_count, MAXIMUM_CACHED_BITMAPS);
	dispose_cached_bitmaps_opengl();
	for (bitmap_data *bitmap : bitmaps) dispose_pointer(bitmap);
}

TEST_F(OpenGLBatching, fills_lines_and_polygons)
{
	bitmap_data *frame = initialize_render_bitmap_hardware(NULL);
	frame->x0 = 5;
	frame->y0 = 6;
	size_t first = get_recording_gl()->calls.size();
	fill_rectangle_opengl(frame, static_cast<int32>(0x00102030u), 0, 10, 0, 10);
	EXPECT_EQ(render_verts[0].color[3], 0);
	EXPECT_EQ(render_verts[0].color[0], 0x10);
	EXPECT_EQ(render_verts[2].x, 15);
	EXPECT_EQ(render_verts[2].y, 16);
	EXPECT_EQ(recording_gl_calls_since(first).back(), "glDrawArrays(6,0,4)");
	point2d points[4] = { { 0, 0 }, { 4, 0 }, { 4, 4 }, { 0, 4 } };
	fill_polygon_opengl(frame, -1, points, 3);
	EXPECT_EQ(get_recording_gl()->calls.back(), "glDrawArrays(4,0,3)");
	fill_polygon_opengl(frame, -1, points, 4);
	EXPECT_EQ(get_recording_gl()->calls.back(), "glDrawArrays(6,0,4)");
	// Too few or too many points draw nothing.
	first = get_recording_gl()->calls.size();
	fill_polygon_opengl(frame, -1, points, 2);
	fill_polygon_opengl(frame, -1, points, MAXIMUM_OPENGL_VERTICES + 1);
	EXPECT_TRUE(recording_gl_calls_since(first).empty());
	draw_line_opengl(frame, -1, points[0], points[2]);
	EXPECT_EQ(get_recording_gl()->calls.back(), "glDrawArrays(3,0,2)");
}

TEST_F(OpenGLBatching, depth_values_on_worked_and_degenerate_inputs)
{
	// A worked filled-rectangle edge: r = (oy*-m22 + z*m21) / ((y*s + b)*z*-m22 + z*m21).
	const float oy = 100, z = -1000, y = 10, m21 = 0.5f, m22 = 0.8f, s = 0.002f, b = -0.5f;
	const float r = (oy * -m22 + z * m21) / ((y * s + b) * z * -m22 + z * m21);
	const float expected = -8454402.0f / (r * z) - 33025.0078125f;
	EXPECT_EQ(filled_rectangle_edge_depth(oy, z, y, m21, m22, s, b), static_cast<int16>(expected));
	// A zero denominator or a non-positive r keep the plain z; huge values clamp.
	EXPECT_EQ(filled_rectangle_edge_depth(oy, z, 0, 0, 0, s, b), -1000);
	EXPECT_EQ(filled_rectangle_edge_depth(-oy * 100, z, y, m21, m22, s, b), -1000);
	EXPECT_EQ(filled_rectangle_edge_depth(oy, -0.0001f, y, m21, m22, s, b), 32767);
	EXPECT_EQ(sprite_edge_w(oy, z, y, m21, m22), static_cast<int16>(z * ((oy * -m22 + z * m21) / (y * -m22 + z * m21))));
	EXPECT_EQ(sprite_edge_w(oy, z, z * m21 / m22, m21, m22), -1000);
	EXPECT_EQ(sprite_edge_w(1e30f, z, y, m21, m22), -32768);
}

TEST_F(OpenGLUploads, mipmapped_textures_stop_five_levels_short_never_below_the_base)
{
	start("");
	ASSERT_NE(cache_singleton, nullptr);
	uint32 pixels[64 * 64] = {};
	cached_texture_data texture = {};
	texture.pixels = pixels;
	texture.encoding = _32bit_argb_8888_texture_encoding;
	texture.flags = _texture_mipmaps_flag;
	const struct { uint16 size; uint8 levels; int32 max_level; } cases[] = { { 64, 7, 2 }, { 8, 4, 0 } };
	for (const auto &c : cases)
	{
		texture.adjusted_width = texture.adjusted_height = texture.hardware_width = texture.hardware_height = c.size;
		texture.mipmap_count = c.levels;
		const size_t first = get_recording_gl()->calls.size();
		void *handle = cache_singleton->user_new_item(NULL, NULL, &texture);
		ASSERT_NE(handle, nullptr);
		const std::vector<std::string> calls = recording_gl_calls_since(first);
		EXPECT_EQ(std::count(calls.begin(), calls.end(), "glTexParameteri(3553,33085," + std::to_string(c.max_level) + ")"),
			1) << c.size;
		EXPECT_EQ(std::count(calls.begin(), calls.end(), "glGenerateMipmap(3553)"), 1);
		cache_singleton->user_delete_item(NULL, handle);
	}
}

// Draws a scene whose only surfaces are the given ones, of one category; the
// GL calls it made.
static std::vector<std::string> draw_scene_of(int32 category, render_surface **surfaces, int32 count)
{
	surface_category saved[NUMBER_OF_SURFACE_CATEGORIES];
	memcpy(saved, surface_categories, sizeof(saved));
	for (surface_category &each : surface_categories) each.count = 0;
	surface_categories[category].surfaces = surfaces;
	surface_categories[category].count = count;
	const std::vector<std::string> calls = rasterize_recorded_opengl_scene(NULL);
	memcpy(surface_categories, saved, sizeof(saved));
	return calls;
}

static std::vector<std::string> draw_translucent_scene(render_surface **surfaces, int32 count)
{
	return draw_scene_of(_surface_category_translucent_objects, surfaces, count);
}

TEST_F(OpenGLBatching, fixed_function_depth_lay_skips_triangles_reaching_the_eye)
{
	dispose_opengl_rasterizer_from_old_map();
	write_settings("UseShaders = 0\n");
	ASSERT_TRUE(initialize_opengl_rasterizer_for_new_map());
	// One triangle in front of the eye, one with a corner at the eye's plane.
	render_vertex vertices[6] = {};
	const short_world_point3d points[6] = { { 0, 0, -1000 }, { 100, 0, -1000 }, { 0, 100, -1000 }, { 0, 0, -1000 },
		{ 100, 0, 0 }, { 0, 100, -1000 } };
	render_triangle triangles[2] = {};
	render_surface *pointers[2];
	for (int32 t = 0; t < 2; ++t)
	{
		set_surface_type(&triangles[t].surface, _surface_type_triangle, _surface_subtype_mesh_triangle);
		triangles[t].surface.z = -1000;
		for (int32 c = 0; c < 3; ++c)
		{
			vertices[t * 3 + c].p = points[t * 3 + c];
			triangles[t].corners[c].vertex = &vertices[t * 3 + c];
		}
		pointers[t] = &triangles[t].surface;
	}
	const std::vector<std::string> calls = draw_scene_of(_surface_category_mesh, pointers, 2);
	const auto lay = std::find(calls.begin(), calls.end(), "glColorMask(0,0,0,0)");
	ASSERT_NE(lay, calls.end());
	const auto draw = std::find_if(lay, calls.end(), [](const std::string &call) { return call.rfind("glDrawArrays", 0) == 0; });
	ASSERT_NE(draw, calls.end());
	EXPECT_EQ(*draw, "glDrawArrays(4,0,3)");
}


TEST_F(OpenGLBatching, single_surfaces_share_a_draw_until_the_state_or_a_texture_changes)
{
	// Three filled rectangles among the translucent surfaces: one draw of
	// their six triangles, made before the colour mask is put back.
	render_filled_rectangle rectangles[3] = {};
	render_surface *pointers[3];
	for (int32 i = 0; i < 3; ++i)
	{
		set_surface_type(&rectangles[i].surface, _surface_type_rectangle, _surface_subtype_filled_rectangle);
		rectangles[i].geometry = { static_cast<int16>(10 * i), 0, static_cast<int16>(10 * i + 8), 8, 0, 768, {}, 0, 0 };
		pointers[i] = &rectangles[i].surface;
	}
	std::vector<std::string> calls = draw_translucent_scene(pointers, 3);
	const auto drawn = std::find(calls.begin(), calls.end(), "glDrawArrays(4,0,18)");
	ASSERT_NE(drawn, calls.end());
	EXPECT_EQ(std::count_if(calls.begin(), calls.end(), [](const std::string &call) { return call.rfind("glDrawArrays", 0) == 0; }), 1);
	EXPECT_LT(drawn, std::find(calls.begin(), calls.end(), "glColorMask(1,1,1,1)"));
	// The depth is laid again only around them: x 0 to 28, y 0 to 8, four
	// pixels wider, clipped to the screen and turned upwards.
	const auto scissor = std::find(calls.begin(), calls.end(), "glScissor(0,756,32,12)");
	ASSERT_GT(calls.end() - scissor, 2);
	EXPECT_EQ(scissor[1], "glEnable(3089)");
	EXPECT_EQ(scissor[2], "glClear(256)");
	EXPECT_LT(std::find(calls.begin(), calls.end(), "glDisable(3089)"), drawn);
	EXPECT_EQ(batched_vertex_count_opengl, 0);
	// The second fan triangle repeats the first corner and the third.
	EXPECT_EQ(render_verts[3].x, render_verts[0].x);
	EXPECT_EQ(render_verts[4].y, render_verts[2].y);
	EXPECT_EQ(render_verts[5].x, 0);
	EXPECT_EQ(render_verts[5].y, 8);

	// A queue is drawn before a change of blending and before a texture is
	// bound for an update, even one already bound; a full queue is drawn first.
	set_render_mode_opengl(_shader_basic_color, _projection_mode_ortho, _depth_mode_none, _blend_mode_alpha);
	size_t first = get_recording_gl()->calls.size();
	ASSERT_NE(reserve_batched_vertices_opengl(3), nullptr);
	set_render_mode_opengl(_shader_basic_color, _projection_mode_ortho, _depth_mode_none, _blend_mode_alpha);
	EXPECT_TRUE(recording_gl_calls_since(first).empty());
	set_render_mode_opengl(_shader_basic_color, _projection_mode_ortho, _depth_mode_none, _blend_mode_replace);
	calls = recording_gl_calls_since(first);
	ASSERT_GE(calls.size(), 2u);
	EXPECT_EQ(calls[0], "glDrawArrays(4,0,3)");
	bind_texture_unit_opengl(0, 7);
	reserve_batched_vertices_opengl(6);
	first = get_recording_gl()->calls.size();
	bind_texture_unit_for_update_opengl(0, 7);
	calls = recording_gl_calls_since(first);
	ASSERT_FALSE(calls.empty());
	EXPECT_EQ(calls[0], "glDrawArrays(4,0,6)");
	reserve_batched_vertices_opengl(MAXIMUM_OPENGL_VERTICES - 3);
	first = get_recording_gl()->calls.size();
	EXPECT_EQ(reserve_batched_vertices_opengl(6), &render_verts[0]);
	EXPECT_EQ(recording_gl_calls_since(first), std::vector<std::string>{ "glDrawArrays(4,0," + std::to_string(MAXIMUM_OPENGL_VERTICES - 3) + ")" });
	EXPECT_EQ(reserve_batched_vertices_opengl(MAXIMUM_OPENGL_VERTICES + 1), nullptr);
	flush_batched_vertices_opengl();
}

TEST_F(OpenGLBatching, a_translucent_triangle_reaching_the_eye_lays_the_whole_depth)
{
	render_vertex vertices[3] = {};
	const short_world_point3d points[3] = { { 0, 0, -1000 }, { 100, 0, 0 }, { 0, 100, -1000 } };
	render_triangle triangle = {};
	set_surface_type(&triangle.surface, _surface_type_triangle, _surface_subtype_model_triangle);
	for (int32 c = 0; c < 3; ++c)
	{
		vertices[c].p = points[c];
		triangle.corners[c].vertex = &vertices[c];
	}
	render_surface *pointer = &triangle.surface;
	// The depth lay's scissor, apart from the one the view's clear takes.
	const auto depth_lay_scissors = [](const std::vector<std::string> &calls) {
		int32 count = 0;
		for (size_t i = 0; i + 2 < calls.size(); ++i) count += calls[i].rfind("glScissor", 0) == 0 && calls[i + 2] == "glClear(256)";
		return count;
	};
	std::vector<std::string> calls = draw_translucent_scene(&pointer, 1);
	EXPECT_EQ(depth_lay_scissors(calls), 0);
	// In front of the eye it is bounded by its projected corners.
	vertices[1].p.z = -1000;
	calls = draw_translucent_scene(&pointer, 1);
	EXPECT_EQ(depth_lay_scissors(calls), 1);
}

// Terrain with detail layers and cut sprites.
class OpenGLTerrainDetail : public opengl_fixture
{
protected:
	void start(const std::string &settings)
	{
		write_settings(settings);
		ASSERT_TRUE(initialize_opengl_rasterizer_for_new_map());
		static const uint32 layer_words[2] = {};
		set_detail_map_layer_info_for_tests(layer_words, 1, TRUE);
		memcpy(saved_textures, hardware_format_detail_textures, sizeof(saved_textures));
		memcpy(saved_scales, detail_texture_scales, sizeof(saved_scales));
		for (int32 i = 1; i < 8; ++i)
		{
			hardware_format_detail_textures[i] = static_cast<uint32>(100 + i);
			detail_texture_scales[i][0] = detail_texture_scales[i][1] = static_cast<float>(i);
		}
	}
	void TearDown() override
	{
		memcpy(hardware_format_detail_textures, saved_textures, sizeof(saved_textures));
		memcpy(detail_texture_scales, saved_scales, sizeof(saved_scales));
		reset_detail_maps_test_hooks();
		opengl_fixture::TearDown();
	}

	// A terrain triangle in front of the eye with the detail word.
	render_surface *triangle(uint32 detail)
	{
		const size_t t = used++;
		render_triangle *surface = &triangles[t];
		*surface = {};
		set_surface_type(&surface->surface, _surface_type_triangle, _surface_subtype_mesh_triangle);
		surface->surface.z = -1000;
		surface->detail = detail;
		for (int32 c = 0; c < 3; ++c)
		{
			render_vertex *vertex = &vertices[t * 3 + c];
			*vertex = {};
			vertex->p = { static_cast<int16>(100 * c), static_cast<int16>(50 * (c == 2)), -1000 };
			vertex->mesh_vertex = { static_cast<int16>(c + 1), static_cast<int16>(c + 2) };
			surface->corners[c].vertex = vertex;
		}
		return &surface->surface;
	}

	// A layer of the detail word: its corner mask and texture index.
	static uint32 layer(int32 n, uint32 mask, uint32 index) { return (mask << (3 * n)) | (index << (9 + 7 * n)); }

	render_triangle triangles[4];
	render_vertex vertices[12];
	size_t used = 0;
	uint32 saved_textures[NUMBER_OF_DETAIL_MAP_ENTRIES];
	float saved_scales[NUMBER_OF_DETAIL_MAP_ENTRIES][2];
};

static bool starts_with(const std::string &call, const char *prefix) { return call.rfind(prefix, 0) == 0; }

TEST_F(OpenGLTerrainDetail, every_run_loads_its_scales_into_unit_0s_matrix)
{
	start("");
	ASSERT_TRUE(gl_prefs.use_shaders);
	// Two runs: two layers, then one.
	render_surface *surfaces[2] = { triangle(layer(0, 7, 1) | layer(1, 3, 2)), triangle(layer(0, 5, 3)) };
	std::string unit = "glActiveTexture(" + std::to_string(GL_TEXTURE0 + opengl_state.current_texture_unit) + ")";
	const std::vector<std::string> calls = draw_scene_of(_surface_category_mesh, surfaces, 2);
	std::string matrix = "none";
	int32 loads = 0;
	for (const std::string &call : calls)
	{
		if (starts_with(call, "glActiveTexture(")) unit = call;
		else if (starts_with(call, "glMatrixMode(")) matrix = call;
		else if (starts_with(call, "glLoadMatrixf(") && matrix == "glMatrixMode(5890)")
		{
			loads += 1;
			EXPECT_EQ(unit, "glActiveTexture(33984)") << "texture matrix load " << loads;
		}
	}
	EXPECT_EQ(loads, 2);
}

TEST_F(OpenGLTerrainDetail, without_shaders_unit_1_doubles_its_product)
{
	start("UseShaders = 0\n");
	render_surface *surfaces[1] = { triangle((1u << 30) | layer(0, 7, 1)) };
	const std::vector<std::string> calls = draw_scene_of(_surface_category_mesh, surfaces, 1);
	const auto combine = std::find(calls.begin(), calls.end(), "glTexEnvi(8960,8704,34160)");
	ASSERT_NE(combine, calls.end());
	EXPECT_NE(std::find(combine, calls.end(), "glTexEnvi(8960,34163,2)"), calls.end());
	const auto unit = std::find_if(std::make_reverse_iterator(combine), calls.rend(),
		[](const std::string &call) { return starts_with(call, "glActiveTexture("); });
	ASSERT_NE(unit, calls.rend());
	EXPECT_EQ(*unit, "glActiveTexture(33985)");
	// Before any terrain is drawn.
	EXPECT_LT(combine, std::find_if(calls.begin(), calls.end(), [](const std::string &call) { return starts_with(call, "glDrawArrays"); }));
}

TEST_F(OpenGLTerrainDetail, painters_order_draws_the_plain_pass_and_each_layer)
{
	start("UseDepthTest = 0\n");
	// With the plain pass and two layers; then one layer alone.
	render_surface *first = triangle((1u << 30) | layer(0, 3, 5) | layer(1, 4, 6));
	render_surface *second = triangle(layer(0, 1, 7));
	first->next_surface = second;
	second->previous_surface = first;
	render_surface_list list = { first, second, 2, 0 };
	const std::vector<std::string> calls = rasterize_recorded_opengl_scene(&list);
	std::vector<std::string> draws_and_binds;
	for (const std::string &call : calls)
	{
		if (starts_with(call, "glDrawArrays") || starts_with(call, "glBindTexture(3553,10")) draws_and_binds.push_back(call);
	}
	// Drawn from the last surface back: the lone layer, then plain, layer 5, layer 6.
	const std::vector<std::string> expected = { "glBindTexture(3553,107)", "glDrawArrays(4,0,3)", "glDrawArrays(4,0,3)",
		"glBindTexture(3553,105)", "glDrawArrays(4,0,3)", "glBindTexture(3553,106)", "glDrawArrays(4,0,3)" };
	EXPECT_EQ(draws_and_binds, expected);
	// The last pass: layer 6's corner bits as alphas, its scale on unit 1's coordinates.
	for (int32 c = 0; c < 3; ++c)
	{
		EXPECT_EQ(render_verts[c].color[3], c == 2 ? 255 : 0) << c;
		EXPECT_EQ(render_verts[c].texture[2], -(c + 1) * 6.0f) << c;
		EXPECT_EQ(render_verts[c].texture[3], (c + 2) * 6.0f) << c;
	}
}

TEST(OpenGLSprites, a_cut_sprite_reaches_no_further_than_its_clip_rows)
{
	// 100 rows on screen over 1,000 viewer units, a 10 x 20 bitmap.
	render_rectangle_geometry g = { 0, 100, 50, 200, -32768, 32767, {}, 32767, -32768 };
	set_rectangle2d(&g.viewer_rect, -250, 1000, 250, 0); // y upwards
	opengl_sprite_quad whole, quad;
	ASSERT_TRUE(opengl_sprite_quad_geometry(&g, 0, 10, 20, 10, 20, 16, 32, &whole));
	EXPECT_LT(whole.y0, 0.0f); // half a texel out
	EXPECT_GT(whole.y1, 1000.0f);

	// Wading: cut at screen row 150, half way down.
	g.clip_bottom = 150;
	ASSERT_TRUE(opengl_sprite_quad_geometry(&g, 0, 10, 20, 10, 20, 16, 32, &quad));
	EXPECT_GE(quad.y0, 500.0f);
	EXPECT_FLOAT_EQ(quad.y1, whole.y1);
	EXPECT_NEAR(quad.v_bottom, (whole.v_top + whole.v_bottom) / 2, 0.02f);
	// Mirrored top to bottom, the quad's top shows the bitmap's bottom row and
	// the cut keeps the half shown above the line.
	ASSERT_TRUE(opengl_sprite_quad_geometry(&g, _surface_mirror_vertical_flag, 10, 20, 10, 20, 16, 32, &quad));
	EXPECT_FLOAT_EQ(quad.v_top, whole.v_bottom);
	EXPECT_NEAR(quad.v_bottom, (whole.v_top + whole.v_bottom) / 2, 0.02f);

	// Its submerged copy keeps the rows below the line.
	g.clip_bottom = 32767;
	g.clip_top = 150;
	ASSERT_TRUE(opengl_sprite_quad_geometry(&g, 0, 10, 20, 10, 20, 16, 32, &quad));
	EXPECT_LE(quad.y1, 500.0f);
	EXPECT_FLOAT_EQ(quad.y0, whole.y0);
	EXPECT_NEAR(quad.v_top, (whole.v_top + whole.v_bottom) / 2, 0.02f);
	// Cut above its top row: nothing is left.
	g.clip_top = 200;
	EXPECT_FALSE(opengl_sprite_quad_geometry(&g, 0, 10, 20, 10, 20, 16, 32, &quad));
}

TEST_F(OpenGLUploads, an_update_reports_only_its_own_errors)
{
	start("");
	uint32 pixels[8 * 8] = {};
	TOGLImage image = { 4, 8, 8, 32, pixels };
	gl_client_texture texture;
	ASSERT_EQ(new_texture_opengl(kOGLPixel_RGB32, &image, &texture), kOGLNoErr);
	// Errors an earlier call left behind.
	get_recording_gl()->pending_errors = { GL_INVALID_ENUM, GL_INVALID_OPERATION };
	EXPECT_EQ(update_texture_opengl(kOGLPixel_RGB32, &image, &texture), kOGLNoErr);
	delete_texture_opengl(&texture);
}
