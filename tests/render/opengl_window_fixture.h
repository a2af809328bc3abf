// The OpenGL window tests' common set-up: the SDL platform with llvmpipe's
// vector width pinned, and the OpenGL device chosen with the settings the
// compared and pinned frames are drawn with.
#ifndef OPENGL_WINDOW_FIXTURE_H
#define OPENGL_WINDOW_FIXTURE_H

#include "main_test_fixture.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "bitmaps.h"
#include "hardware/OpenGL/setup_opengl.h"
#include "hardware/hardware_rasterizers.h"
#include "inifile.h"
#include "render/render.h"
#include "support/render_views.h"

class opengl_window_test : public main_program_test
{
protected:
	void SetUp() override
	{
		setenv("LP_NATIVE_VECTOR_WIDTH", "128", 1);
		install_sdl_platform();
		main_program_test::SetUp();
		if (HasFatalFailure()) return;
		set_screen_parameters(-2, -2);
	}

	// Makes the OpenGL device active in its width x height mode with the
	// preference flags and extra settings lines given; false without such a
	// device and mode.
	bool select_opengl(int16 width, int16 height, uint32 preference_flags, const char *settings = "")
	{
		int16 device_index = NONE, mode_index = NONE;
		for (int16 i = 0; i < get_screen_device_count(); ++i)
		{
			if (get_screen_device(i)->rasterizer_code == _rasterizer_opengl) device_index = i;
		}
		if (device_index == NONE) return false;
		const device_info *device = get_screen_device(device_index);
		for (int16 i = 0; i < device->mode_count; ++i)
		{
			if (device->modes[i].width == width && device->modes[i].height == height) mode_index = i;
		}
		if (mode_index == NONE) return false;
		mkdir("preferences", 0777);
		const std::string lines = std::string("[Renderer.OpenGL]\nErasePreviousFrame = 1\nClearColor = 0\n") +
			(strstr(settings, "Use32BitTextures") ? "" : "Use32BitTextures = 1\n") + settings;
		write_test_file("preferences/poweruser.txt", lines);
		inifile_free();
		inifile_load();
		active_screen.prefs.flags = _screen_pref_windowed_flag | preference_flags;
		active_screen.prefs.texture_cache_size = 64;
		set_active_screen(device_index, mode_index);
		return active_screen.rasterizer_code == _rasterizer_opengl;
	}
};

// A started map drawn through the OpenGL device at 1024 x 768; the map and
// the device are let go after each test.
class opengl_started_map_test : public opengl_window_test
{
protected:
	void TearDown() override
	{
		if (started) dispose_hardware_rasterizer_from_old_map();
		set_active_screen(NONE, NONE);
		harness_end_map();
		main_program_test::TearDown();
	}

	// The OpenGL device at 1024 x 768 with compared-frame settings, set up for the loaded map.
	bool start_opengl(void)
	{
		if (!select_opengl(1024, 768, 0)) return false;
		started = initialize_hardware_rasterizer_for_new_map();
		if (started) initialize_rasterizer_mesh_parameters_for_new_map();
		return started;
	}

	bool started = false;
};

// A map's views drawn through OpenGL and read back, against the same views
// drawn by the software rasterizer.
class opengl_map_views_test : public opengl_window_test
{
protected:
	void TearDown() override
	{
		harness_end_map();
		if (read) dispose_pointer(read);
		if (software) dispose_pointer(software);
		set_active_screen(NONE, NONE);
		main_program_test::TearDown();
	}

	// The map started for its frames; false unless OpenGL draws it.
	bool start(file_tag map_tag) { return start_map_for_frames(map_tag) && rasterizer_initialized; }

	// The camera's view through GL, read back into read; null where the
	// device gives no bitmap to draw into.
	const bitmap_data *read_opengl_view(void)
	{
		const int16 width = active_screen.width, height = active_screen.height;
		rectangle2d bounds;
		set_rectangle2d(&bounds, 0, 0, width, height);
		view_data view;
		prepare_observer_view(&view, initialize_render_bitmap_hardware(&bounds));
		if (!view.screen) return nullptr;
		render_scene(&view);
		if (!read) read = new_bitmap(width, height, width * 4, _32bit_encoding, 0);
		copy_bits_from_render_view_hardware(&bounds, read);
		return read;
	}

	// The same view drawn by the software rasterizer into a zeroed 32-bit
	// bitmap, software.
	const bitmap_data *draw_software_view(void)
	{
		const int16 width = active_screen.width, height = active_screen.height;
		if (!software) software = new_bitmap(width, height, width * 4, _32bit_encoding, 0);
		for (int32 y = 0; y < height; ++y) memset(software->row_addresses[y], 0, static_cast<size_t>(width) * 4);
		view_data view;
		prepare_observer_view(&view, software);
		view.rasterizer_code = _rasterizer_software;
		render_scene(&view);
		return software;
	}

	bitmap_data *read = nullptr, *software = nullptr;
};

// How an OpenGL frame differs from the software frame of the same view: d is
// a pixel's largest channel difference over the low 24 bits; blocks are
// 32 x 32 pixels, compared by their per-channel means.
struct frame_difference
{
	double mean;
	double share_above_48;
	int32 worst_block;
	int32 colours;
};

inline frame_difference compare_frames(const bitmap_data *opengl, const bitmap_data *software, int32 width, int32 height)
{
	frame_difference result = {};
	int64 total = 0, above = 0;
	std::set<uint32> colours;
	const int32 blocks_x = width / 32, blocks_y = height / 32;
	std::vector<int64> sums(static_cast<size_t>(blocks_x * blocks_y * 6), 0);
	for (int32 y = 0; y < height; ++y)
	{
		const uint32 *a = reinterpret_cast<const uint32 *>(opengl->row_addresses[y]);
		const uint32 *b = reinterpret_cast<const uint32 *>(software->row_addresses[y]);
		for (int32 x = 0; x < width; ++x)
		{
			int32 d = 0;
			colours.insert(a[x] & 0xFFFFFF);
			for (int32 c = 0; c < 3; ++c)
			{
				const int32 ca = (a[x] >> (8 * c)) & 0xFF, cb = (b[x] >> (8 * c)) & 0xFF;
				d = std::max(d, std::abs(ca - cb));
				if (x / 32 < blocks_x && y / 32 < blocks_y)
				{
					const size_t block = static_cast<size_t>((y / 32) * blocks_x + x / 32) * 6;
					sums[block + c] += ca;
					sums[block + 3 + c] += cb;
				}
			}
			total += d;
			above += d > 48;
		}
	}
	for (size_t block = 0; block < sums.size(); block += 6)
	{
		for (int32 c = 0; c < 3; ++c)
		{
			const int32 difference = static_cast<int32>(std::llabs(sums[block + c] - sums[block + 3 + c]) / (32 * 32));
			result.worst_block = std::max(result.worst_block, difference);
		}
	}
	result.mean = static_cast<double>(total) / (static_cast<double>(width) * height);
	result.share_above_48 = static_cast<double>(above) / (static_cast<double>(width) * height);
	result.colours = static_cast<int32>(colours.size());
	return result;
}

#endif
