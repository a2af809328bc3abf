// The OpenGL back end on the machine's driver (llvmpipe under Xvfb): every
// generated program compiles and links, and 2D drawing reads back as drawn.
#include <gtest/gtest.h>

#include <cstdlib>

#include "CoreLibrary/zerv/error_manager.h"
#include "hardware/OpenGL/gl_prefs.h"
#include "hardware/OpenGL/render_opengl.h"
#include "hardware/OpenGL/setup_opengl.h"
#include "hardware/OpenGL/utilities_opengl.h"
#include "hardware/hardware_rasterizers.h"
#include "screen.h"
#include "support/test_directory.h"

namespace
{
class opengl_window : public zerv_test_directory
{
protected:
	void SetUp() override
	{
		// One llvmpipe code path on every x86-64 processor.
		setenv("LP_NATIVE_VECTOR_WIDTH", "128", 1);
		zerv_test_directory::SetUp();
		initialize_error_state("zerv");
		install_sdl_platform();
		initialize_screen();
		int16 device_index = NONE;
		for (int16 i = 0; i < get_screen_device_count(); ++i)
		{
			if (get_screen_device(i)->rasterizer_code == _rasterizer_opengl) device_index = i;
		}
		if (device_index == NONE) GTEST_SKIP() << "no OpenGL device";
		const device_info *device = get_screen_device(device_index);
		int16 mode_index = 0;
		for (int16 i = 0; i < device->mode_count; ++i)
		{
			if (device->modes[i].width == 1024 && device->modes[i].height == 768) mode_index = i;
		}
		active_screen.prefs.flags = _screen_pref_windowed_flag;
		active_screen.prefs.texture_cache_size = 64;
		set_active_screen(device_index, mode_index);
		gl_prefs_defaults.erase_previous_frame = TRUE;
		ASSERT_TRUE(initialize_opengl_rasterizer_for_new_map());
		started = true;
	}
	void TearDown() override
	{
		if (started) dispose_opengl_rasterizer_from_old_map();
		gl_prefs_defaults.erase_previous_frame = FALSE;
		set_active_screen(NONE, NONE);
		zerv_test_directory::TearDown();
	}

	static void expect_programs_linked(int32 first, int32 count)
	{
		for (int32 i = first; i < first + count; ++i)
		{
			GLint status = GL_FALSE;
			opengl_api.glGetProgramiv(programs[i].program, GL_LINK_STATUS, &status);
			EXPECT_EQ(status, GL_TRUE) << "program " << i;
			const uint32 objects[3] = { programs[i].program, programs[i].vertex_shader, programs[i].fragment_shader };
			for (int32 k = 0; k < 3; ++k)
			{
				GLchar log[2048] = "";
				GLsizei length = 0;
				if (k == 0) opengl_api.glGetProgramInfoLog(objects[k], sizeof(log), &length, log);
				else opengl_api.glGetShaderInfoLog(objects[k], sizeof(log), &length, log);
				EXPECT_EQ(std::string(log).find("error"), std::string::npos) << log;
				if (renderer_is_llvmpipe())
				{
					EXPECT_EQ(length, 0) << log;
				}
			}
		}
	}

	static bool renderer_is_llvmpipe(void)
	{
		const char *renderer = reinterpret_cast<const char *>(opengl_api.glGetString(GL_RENDERER));
		return renderer && strncmp(renderer, "llvmpipe", 8) == 0;
	}

	bool started = false;
};

class OpenGLShaders : public opengl_window {};
class OpenGL2D : public opengl_window {};

TEST_F(OpenGLShaders, all_generated_programs_compile_and_link_with_and_without_fog)
{
	initialize_opengl_mesh_parameters_for_new_map();
	ASSERT_EQ(program_count, 9);
	expect_programs_linked(0, 9);
	dispose_shader_programs();
	fog_can_be_enabled_opengl = TRUE;
	build_shader_programs(TRUE);
	ASSERT_EQ(program_count, 7);
	expect_programs_linked(0, 7);
	fog_can_be_enabled_opengl = FALSE;
	EXPECT_EQ(opengl_api.glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(OpenGL2D, fills_and_dialog_tiles_read_back_exactly)
{
	rectangle2d bounds;
	set_rectangle2d(&bounds, 0, 0, 1024, 768);
	bitmap_data *frame = initialize_render_bitmap_hardware(&bounds);
	ASSERT_NE(frame, nullptr);
	opengl_api.glClearColor(0, 0, 0, 0);
	opengl_api.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
	fill_rectangle_hardware(frame, static_cast<int32>(0xFFC04020u), 10, 60, 20, 50);

	// A dialog bitmap wider than one 256-texel tile.
	bitmap_data *dialog = new_bitmap(300, 40, 1200, _32bit_encoding, 0);
	ASSERT_NE(dialog, nullptr);
	for (int32 y = 0; y < 40; ++y)
	{
		uint32 *row = reinterpret_cast<uint32 *>(dialog->row_addresses[y]);
		for (int32 x = 0; x < 300; ++x) row[x] = 0xFF000000u | static_cast<uint32>(x << 8) | static_cast<uint32>(y * 5);
	}
	rectangle2d at;
	set_rectangle2d(&at, 100, 200, 400, 240);
	draw_bitmap_opengl(dialog, &at, 0);

	bitmap_data *read = new_bitmap(1024, 768, 4096, _32bit_encoding, 0);
	ASSERT_NE(read, nullptr);
	copy_bits_from_render_view_hardware(&bounds, read);
	const uint32 *row = reinterpret_cast<const uint32 *>(read->row_addresses[30]);
	EXPECT_EQ(row[10] & 0xFFFFFF, 0xC04020u);
	EXPECT_EQ(row[59] & 0xFFFFFF, 0xC04020u);
	EXPECT_EQ(row[60] & 0xFFFFFF, 0u);
	EXPECT_EQ(reinterpret_cast<const uint32 *>(read->row_addresses[19])[10] & 0xFFFFFF, 0u);
	int32 wrong = 0;
	for (int32 y = 0; y < 40; ++y)
	{
		const uint32 *out = reinterpret_cast<const uint32 *>(read->row_addresses[200 + y]) + 100;
		const uint32 *in = reinterpret_cast<const uint32 *>(dialog->row_addresses[y]);
		for (int32 x = 0; x < 300; ++x) wrong += (out[x] & 0xFFFFFF) != (in[x] & 0xFFFFFF);
	}
	EXPECT_EQ(wrong, 0);
	EXPECT_EQ(opengl_api.glGetError(), static_cast<GLenum>(GL_NO_ERROR));
	dispose_bitmap_cache_hardware(dialog);
	dispose_pointer(dialog);
	dispose_pointer(read);
}
} // namespace
