// Whole views drawn through OpenGL (llvmpipe under Xvfb) with the device
// active from map start, as a game has it: pinned digests for the demo's
// start, lake and battle (a unit selected), fog on the training map and
// detail maps; then the demo, the bench map and the demo again in one
// process, with a GL frame every third tick leaving the simulation's trail as
// it is headless; the same views against the software frames in each
// configuration.
#include "opengl_window_fixture.h"

#include "crc.h"
#include "interface.h"
#include "hardware/OpenGL/gl_prefs.h"
#include "hardware/OpenGL/render_opengl.h"
#include "hardware/OpenGL/setup_opengl.h"
#include "hardware/OpenGL/utilities_opengl.h"
#include "hardware/hardware_rasterizers.h"
#include "mesh.h"
#include "objects.h"
#include "render/render.h"
#include "support/render_views.h"
#include "world.h"

namespace {

// Live texture names, counted through the entry-point table.
int32 live_textures = 0;
decltype(opengl_api.glGenTextures) driver_gen_textures = nullptr;
decltype(opengl_api.glDeleteTextures) driver_delete_textures = nullptr;

void counting_gen_textures(GLsizei count, GLuint *names)
{
	driver_gen_textures(count, names);
	live_textures += count;
}

void counting_delete_textures(GLsizei count, const GLuint *names)
{
	for (GLsizei i = 0; i < count; ++i) live_textures -= names[i] != 0;
	driver_delete_textures(count, names);
}

class opengl_views : public opengl_map_views_test
{
protected:
	// The OpenGL device at the size with compared-frame settings, before the
	// map starts, its texture names counted; false without one.
	bool use_opengl(int16 width, int16 height, uint32 extra_flags, const char *settings = "")
	{
		if (!select_opengl(width, height, extra_flags, settings)) return false;
		if (opengl_api.glGenTextures && opengl_api.glGenTextures != counting_gen_textures)
		{
			driver_gen_textures = opengl_api.glGenTextures;
			driver_delete_textures = opengl_api.glDeleteTextures;
			opengl_api.glGenTextures = counting_gen_textures;
			opengl_api.glDeleteTextures = counting_delete_textures;
		}
		return true;
	}

	// The camera's view through GL, read back; its digest over the low 24 bits, rows top down.
	uint32 draw(const observer_location *location = nullptr)
	{
		if (location) set_actual_observer_location_and_zoom(location, nullptr);
		if (!read_opengl_view()) return 0;
		const int16 width = active_screen.width, height = active_screen.height;
		std::vector<uint32> pixels(static_cast<size_t>(width) * height);
		for (int32 y = 0; y < height; ++y)
		{
			const uint32 *row = reinterpret_cast<const uint32 *>(read->row_addresses[y]);
			for (int32 x = 0; x < width; ++x) pixels[static_cast<size_t>(y) * width + x] = row[x] & 0x00FFFFFFu;
		}
		dump_frame_when_asked(read, "opengl_" + std::to_string(dumps++));
		return calculate_data_crc(pixels.data(), static_cast<int32>(pixels.size() * 4));
	}

	// The same view drawn by the software rasterizer into a zeroed 32-bit bitmap.
	const bitmap_data *draw_software(void)
	{
		draw_software_view();
		dump_frame_when_asked(software, "software_" + std::to_string(dumps - 1));
		return software;
	}

	int32 lit_pixels(void) const
	{
		int32 lit = 0;
		for (int32 y = 0; y < read->height; ++y)
		{
			const uint32 *row = reinterpret_cast<const uint32 *>(read->row_addresses[y]);
			for (int32 x = 0; x < read->width; ++x) lit += (row[x] & 0xFFFFFF) != 0;
		}
		return lit;
	}

	static bool pinned_driver(void)
	{
		const char *renderer = reinterpret_cast<const char *>(opengl_api.glGetString(GL_RENDERER));
		const char *version = reinterpret_cast<const char *>(opengl_api.glGetString(GL_VERSION));
		if (!renderer || !version || strncmp(renderer, "llvmpipe", 8) != 0) return false;
		const size_t length = strlen(version), suffix = strlen("Mesa 22.3.6");
		return length >= suffix && strcmp(version + length - suffix, "Mesa 22.3.6") == 0;
	}

	int32 dumps = 0;
};

// The drawn unit whose picture lies nearest the centre of the last view.
int16 unit_nearest_the_centre(void)
{
	const render_surface_list *list = last_render_surface_list();
	if (!list) return NONE;
	const int32 cx = active_screen.width / 2, cy = active_screen.height / 2;
	int16 nearest = NONE;
	int64 best = 0;
	for (const render_surface *s = list->first_surface; s; s = s->next_surface)
	{
		if (surface_subtype(s) != _surface_subtype_object_rectangle) continue;
		const render_rectangle *rectangle = reinterpret_cast<const render_rectangle *>(s);
		const object_data *object = rectangle->object_index == NONE ? nullptr : get_object_data(rectangle->object_index);
		if (!object || object->owner != _object_is_monster) continue;
		const int64 dx = (rectangle->geometry.x0 + rectangle->geometry.x1) / 2 - cx;
		const int64 dy = (rectangle->geometry.y0 + rectangle->geometry.y1) / 2 - cy;
		if (nearest == NONE || dx * dx + dy * dy < best)
		{
			nearest = rectangle->object_index;
			best = dx * dx + dy * dy;
		}
	}
	return nearest;
}

}

TEST_F(opengl_views, OpenGLFrames_views_keep_their_pinned_digests)
{
	if (!use_opengl(1024, 768, 0)) GTEST_SKIP() << "no OpenGL device";
	std::vector<std::pair<std::string, uint32>> frames;
	ASSERT_TRUE(start(HARNESS_DEMO_MAP_TAG));
	observer_location start_location;
	get_observer_location(&start_location);
	frames.push_back({ "demo start", draw() });
	EXPECT_GT(lit_pixels(), 1024 * 768 / 2);
	const observer_location lake = { animated_lake_centre(), 0, 0 };
	frames.push_back({ "demo lake", draw(&lake) });
	// The same view again gives the same frame.
	EXPECT_EQ(draw(&start_location), frames[0].second);
	harness_run_ticks(300);
	// The battle with the unit nearest the view's centre selected: its frame
	// and bars are drawn over the scene.
	const uint32 unselected = draw();
	const int16 selected = unit_nearest_the_centre();
	ASSERT_NE(selected, NONE) << "units draw in the battle view";
	get_object_data(selected)->flags |= _object_is_selected_flag;
	frames.push_back({ "demo battle tick 300 selected", draw() });
	get_object_data(selected)->flags &= ~_object_is_selected_flag;
	EXPECT_NE(frames.back().second, unselected);
	EXPECT_EQ(opengl_api.glGetError(), static_cast<GLenum>(GL_NO_ERROR));
	harness_end_map();

	// Fog on the training map, after map start and before its first tick.
	ASSERT_TRUE(use_opengl(1024, 768, _screen_pref_fog_enabled_flag));
	ASSERT_TRUE(start(TAG("l1  ")));
	EXPECT_TRUE(fog_can_be_enabled_opengl);
	// The level opens on a dawn fade from black: the fog is looked at without it.
	initialize_ingame_fades_for_new_game();
	frames.push_back({ "l1 fog", draw() });
	harness_end_map();

	// Detail maps on the demo's terrain.
	ASSERT_TRUE(use_opengl(1024, 768, _screen_pref_landscape_textures_flag));
	ASSERT_TRUE(start(HARNESS_DEMO_MAP_TAG));
	EXPECT_TRUE(detail_maps_active());
	frames.push_back({ "demo detail", draw() });
	EXPECT_NE(frames.back().second, frames[0].second);
	EXPECT_EQ(opengl_api.glGetError(), static_cast<GLenum>(GL_NO_ERROR));

	const uint32 pinned[] = { 0xb97004e4u, 0x6612a8acu, 0x57ccaaf0u, 0x0a3cb1b1u, 0x6daece0fu };
	ASSERT_EQ(frames.size(), NUMBEROF(pinned));
	const bool assert_digests = pinned_driver();
	for (size_t i = 0; i < frames.size(); ++i)
	{
		printf("%s %08x\n", frames[i].first.c_str(), frames[i].second);
		if (assert_digests)
		{
			EXPECT_EQ(frames[i].second, pinned[i]) << frames[i].first << std::hex << " 0x" << frames[i].second;
		}
	}
}

TEST_F(opengl_views, OpenGLLifeCycle_demo_bench_demo_and_the_headless_trail)
{
	// The headless trail: 300 ticks of the demo.
	new_game_data setup;
	harness_demo_setup(&setup, 2);
	ASSERT_TRUE(harness_start_map(&setup));
	harness_clear_digest_trail();
	ASSERT_EQ(harness_run_ticks(300), 300);
	const std::vector<harness_digest_entry> plain = harness_digest_trail();
	harness_end_map();

	if (!use_opengl(640, 480, 0)) GTEST_SKIP() << "no OpenGL device";
	live_textures = 0;
	ASSERT_TRUE(start(HARNESS_DEMO_MAP_TAG));
	const uint32 budget = gAvailableTextureMemory;
	const uint32 first_frame = draw();
	harness_clear_digest_trail();
	int32 frames = 0;
	for (int32 tick = 0; tick < 300; ++tick)
	{
		ASSERT_EQ(harness_run_ticks(1), 1);
		if (tick % 3 == 2)
		{
			draw();
			frames += 1;
		}
	}
	EXPECT_EQ(frames, 100);
	EXPECT_EQ(opengl_api.glGetError(), static_cast<GLenum>(GL_NO_ERROR));
	const std::vector<harness_digest_entry> drawn = harness_digest_trail();
	ASSERT_EQ(drawn.size(), plain.size());
	for (size_t i = 0; i < plain.size(); ++i)
	{
		ASSERT_EQ(drawn[i].game_time, plain[i].game_time);
		ASSERT_EQ(drawn[i].digest, plain[i].digest) << "tick " << plain[i].game_time;
	}
	harness_end_map();
	EXPECT_FALSE(rasterizer_initialized);
	EXPECT_EQ(program_count, 0);
	EXPECT_EQ(live_textures, 0);

	ASSERT_TRUE(start(TAG("bnch")));
	draw();
	EXPECT_EQ(opengl_api.glGetError(), static_cast<GLenum>(GL_NO_ERROR));
	harness_end_map();
	EXPECT_EQ(program_count, 0);
	EXPECT_EQ(live_textures, 0);

	ASSERT_TRUE(start(HARNESS_DEMO_MAP_TAG));
	EXPECT_EQ(gAvailableTextureMemory, budget) << "the budget is whole again at map start";
	EXPECT_EQ(draw(), first_frame) << "the first frame repeats on a second start";
	EXPECT_EQ(opengl_api.glGetError(), static_cast<GLenum>(GL_NO_ERROR));
	harness_end_map();
	EXPECT_EQ(program_count, 0);
	EXPECT_EQ(live_textures, 0);
}

// The demo's start, lake and battle (a unit selected) through OpenGL in each
// configuration against the software frame of the same view.
TEST_F(opengl_views, OpenGLFrames_whole_views_match_the_software_frames)
{
	const struct
	{
		const char *name, *settings;
	} configurations[] = {
		{ "default", "" },
		{ "16-bit textures", "Use32BitTextures = 0\n" },
		{ "no shaders", "UseShaders = 0\n" },
		{ "painter's order", "UseDepthTest = 0\n" },
	};
	for (const auto &configuration : configurations)
	{
		if (!use_opengl(1024, 768, 0, configuration.settings)) GTEST_SKIP() << "no OpenGL device";
		ASSERT_TRUE(start(HARNESS_DEMO_MAP_TAG)) << configuration.name;
		observer_location start_location;
		get_observer_location(&start_location);
		const observer_location lake = { animated_lake_centre(), 0, 0 };
		for (int32 view = 0; view < 3; ++view)
		{
			int16 selected = NONE;
			if (view == 0) draw(&start_location);
			else if (view == 1) draw(&lake);
			else
			{
				set_actual_observer_location_and_zoom(&start_location, nullptr);
				harness_run_ticks(300);
				draw();
				selected = unit_nearest_the_centre();
				ASSERT_NE(selected, NONE);
				get_object_data(selected)->flags |= _object_is_selected_flag;
				draw();
			}
			const frame_difference difference = compare_frames(read, draw_software(), read->width, read->height);
			if (selected != NONE) get_object_data(selected)->flags &= ~_object_is_selected_flag;
			printf("%s, view %d: mean d %.2f, above 48 %.4f, worst block %d, colours %d\n", configuration.name, view,
				difference.mean, difference.share_above_48, static_cast<int>(difference.worst_block),
				static_cast<int>(difference.colours));
			EXPECT_LE(difference.mean, 14.0) << configuration.name << ", view " << view;
			EXPECT_LE(difference.share_above_48, 0.04) << configuration.name << ", view " << view;
			EXPECT_LE(difference.worst_block, 24) << configuration.name << ", view " << view;
			EXPECT_GT(difference.colours, 256) << configuration.name << ", view " << view;
		}
		EXPECT_EQ(opengl_api.glGetError(), static_cast<GLenum>(GL_NO_ERROR));
		harness_end_map();
	}
}

// The demo's detail-mapped terrain keeps its brightness without shaders and
// in painter's order, where fixed-function units draw the detail.
TEST_F(opengl_views, OpenGLFrames_detail_maps_keep_their_brightness_without_shaders)
{
	const char *settings[] = { "", "UseShaders = 0\n", "UseDepthTest = 0\n" };
	double means[3][3] = {};
	for (int32 configuration = 0; configuration < 3; ++configuration)
	{
		if (!use_opengl(1024, 768, _screen_pref_landscape_textures_flag, settings[configuration]))
			GTEST_SKIP() << "no OpenGL device";
		ASSERT_TRUE(start(HARNESS_DEMO_MAP_TAG));
		ASSERT_TRUE(detail_maps_active());
		draw();
		for (int32 y = 0; y < read->height; ++y)
		{
			const uint32 *row = reinterpret_cast<const uint32 *>(read->row_addresses[y]);
			for (int32 x = 0; x < read->width; ++x)
			{
				for (int32 c = 0; c < 3; ++c) means[configuration][c] += (row[x] >> (16 - 8 * c)) & 0xFF;
			}
		}
		for (double &mean : means[configuration]) mean /= static_cast<double>(read->width) * read->height;
		printf("configuration %d: mean RGB %.1f, %.1f, %.1f\n", static_cast<int>(configuration),
			means[configuration][0], means[configuration][1], means[configuration][2]);
		EXPECT_EQ(opengl_api.glGetError(), static_cast<GLenum>(GL_NO_ERROR));
		harness_end_map();
	}
	for (int32 configuration = 1; configuration < 3; ++configuration)
	{
		for (int32 c = 0; c < 3; ++c) EXPECT_NEAR(means[configuration][c], means[0][c], 4.0) << settings[configuration] << c;
	}
}
