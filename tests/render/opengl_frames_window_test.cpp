// The demo's terrain drawn through OpenGL (llvmpipe under Xvfb) against the
// software rasterizer's frame of the same view.
#include "opengl_window_fixture.h"

#include <cmath>
#include <set>

#include "hardware/OpenGL/gl_prefs.h"
#include "hardware/OpenGL/setup_opengl.h"
#include "hardware/hardware_rasterizers.h"
#include "render/render.h"
#include "support/render_views.h"

namespace {

class opengl_frames : public opengl_window_test
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

struct frame_difference
{
	double mean;
	double share_above_48;
	int32 worst_block;
	int32 colours;
};

frame_difference compare_frames(const bitmap_data *opengl, const bitmap_data *software, int32 width, int32 height)
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

}

TEST_F(opengl_frames, OpenGLFrames_demo_terrain_matches_the_software_frame)
{
	new_game_data setup;
	harness_demo_setup(&setup, 2);
	ASSERT_TRUE(harness_start_map(&setup));
	if (!start_opengl()) GTEST_SKIP() << "no OpenGL device";
	const int32 width = active_screen.width, height = active_screen.height;
	const uint32 terrain_only = _render_view_omit_objects_flag | _render_view_omit_models_flag |
		_render_view_omit_rasterization_effects_flag;

	rectangle2d bounds;
	set_rectangle2d(&bounds, 0, 0, static_cast<int16>(width), static_cast<int16>(height));
	view_data view;
	prepare_observer_view(&view, initialize_render_bitmap_hardware(&bounds));
	ASSERT_NE(view.screen, nullptr);
	view.flags |= terrain_only;
	render_scene(&view);
	bitmap_data *opengl = new_bitmap(width, height, width * 4, _32bit_encoding, 0);
	copy_bits_from_render_view_hardware(&bounds, opengl);

	bitmap_data *software = new_bitmap(width, height, width * 4, _32bit_encoding, 0);
	prepare_observer_view(&view, software);
	view.rasterizer_code = _rasterizer_software;
	view.flags |= terrain_only;
	render_scene(&view);

	dump_frame_when_asked(opengl, "terrain_opengl");
	dump_frame_when_asked(software, "terrain_software");
	const frame_difference difference = compare_frames(opengl, software, width, height);
	printf("mean d %.2f, above 48 %.4f, worst block %d, colours %d\n", difference.mean, difference.share_above_48,
		static_cast<int>(difference.worst_block), static_cast<int>(difference.colours));
	// OpenGL filters bilinearly and software samples nearest at half
	// horizontal resolution, so the frames differ a little (a mean of about
	// 0.5 on the demo's smooth grass); a missing, black or flipped terrain,
	// swapped channels or a wrong shading table differ by far more.
	EXPECT_LE(difference.mean, 14.0);
	EXPECT_LE(difference.share_above_48, 0.04);
	EXPECT_LE(difference.worst_block, 24);
	EXPECT_GT(difference.colours, 256);
	dispose_pointer(opengl);
	dispose_pointer(software);
}
