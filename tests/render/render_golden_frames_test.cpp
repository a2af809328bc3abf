// Whole frames of the generated maps rendered headless into memory bitmaps:
// their CRCs are pinned, the same in the 64-bit and 32-bit trees.
#include <gtest/gtest.h>

#include "world.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "bitmaps.h"
#include "CoreLibrary/cseries/crc.h"
#include "input/actions.h"
#include "mesh.h"
#include "mesh_content.h"
#include "models.h"
#include "observer.h"
#include "objects.h"
#include "render/render.h"
#include "render/render_objects.h"
#include "support/render_views.h"
#include "support/zerv_harness.h"
#include "zerv.h"

namespace {

class render_golden_frames : public zerv_harness_fixture
{
protected:
	void TearDown() override
	{
		for (bitmap_data *bitmap : bitmaps) dispose_pointer(bitmap);
		bitmaps.clear();
		harness_end_map();
		zerv_harness_fixture::TearDown();
	}

	bool start(file_tag map_tag) { return start_map_for_frames(map_tag); }

	bitmap_data *screen(int32 width, int32 height)
	{
		bitmap_data *bitmap = new_bitmap(width, height, width * 4, _32bit_encoding, 0);
		if (bitmap) bitmaps.push_back(bitmap);
		return bitmap;
	}

	// The camera's view of the frame, with the given changes, into a zeroed bitmap.
	uint32 render(bitmap_data *bitmap, uint32 flags, const observer_location *location = nullptr)
	{
		if (location) set_actual_observer_location_and_zoom(location, nullptr);
		for (int32 row = 0; row < bitmap->height; ++row) memset(bitmap->row_addresses[row], 0, bitmap->width * 4);
		view_data view;
		prepare_observer_view(&view, bitmap);
		view.flags |= flags;
		render_scene(&view);
		uint32 crc = 0xFFFFFFFFu;
		for (int32 row = 0; row < bitmap->height; ++row) crc = crc32_update(crc, bitmap->row_addresses[row], bitmap->width * 4);
		const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
		dump_frame_when_asked(bitmap, std::string(info->name()) + "_" + std::to_string(dumps++));
		return ~crc;
	}

	static int32 lit_pixels(const bitmap_data *bitmap)
	{
		int32 lit = 0;
		for (int32 row = 0; row < bitmap->height; ++row)
		{
			const uint32 *pixels = reinterpret_cast<const uint32 *>(bitmap->row_addresses[row]);
			for (int32 x = 0; x < bitmap->width; ++x) lit += (pixels[x] & 0xFFFFFF) != 0;
		}
		return lit;
	}

	std::vector<bitmap_data *> bitmaps;
	int32 dumps = 0;
};

}

TEST_F(render_golden_frames, the_demo_and_bench_views_match_their_pinned_crcs)
{
	ASSERT_TRUE(start(HARNESS_DEMO_MAP_TAG));
	bitmap_data *small = screen(640, 480);
	bitmap_data *large = screen(1024, 768);
	ASSERT_TRUE(small && large);
	std::vector<std::pair<std::string, uint32>> frames;

	const uint32 start_view = render(small, 0);
	EXPECT_GT(lit_pixels(small), 640 * 480 / 2);
	EXPECT_GT(get_render_test_hooks()->surfaces_per_category[_surface_category_mesh], 100);
	frames.push_back({"demo start 640x480", start_view});
	observer_location start_location;
	get_observer_location(&start_location);

	ASSERT_NE(volatile_color_map_blend_table, nullptr);
	const observer_location lake = {animated_lake_centre(), 0, 0};
	frames.push_back({"demo lake 1024x768 filtered", render(large, _render_view_filtering_flag, &lake)});
	EXPECT_GT(surface_categories[_surface_category_media].count, 0);
	frames.push_back({"demo lake 1024x768", render(large, 0, &lake)});
	EXPECT_NE(frames[1].second, frames[2].second);
	const observer_location ridge = {{32 * WORLD_ONE, 60 * WORLD_ONE}, 16384, 0};
	frames.push_back({"demo ridge 640x480", render(small, _render_view_filtering_flag, &ridge)});
	const observer_location corner = {{0, 0}, 8192, 0};
	frames.push_back({"demo corner 640x480", render(small, 0, &corner)});

	// A-B-A: the start view again gives its frame again.
	EXPECT_EQ(render(small, 0, &start_location), start_view);
	harness_end_map();

	ASSERT_TRUE(start(TAG("bnch")));
	EXPECT_NE(volatile_color_map_blend_table, nullptr) << "both landscapes carry a blend table";
	const observer_location centre = {{128 * WORLD_ONE, 128 * WORLD_ONE}, 0, 0};
	frames.push_back({"bnch centre 1024x768", render(large, _render_view_filtering_flag, &centre)});
	EXPECT_GT(lit_pixels(large), 1024 * 768 / 2);

	harness_end_map();

	// The demo battle at ticks 300 and 900, then with an object highlighted and caps lock held.
	ASSERT_TRUE(start(HARNESS_DEMO_MAP_TAG));
	harness_run_ticks(300);
	frames.push_back({"demo battle tick 300 640x480", render(small, 0)});
	harness_run_ticks(600);
	frames.push_back({"demo battle tick 900 640x480", render(small, 0)});
	int16 shown = NONE;
	for (render_surface *s = last_render_surface_list()->first_surface; s && shown == NONE; s = s->next_surface)
	{
		if (surface_subtype(s) == _surface_subtype_object_rectangle) shown = reinterpret_cast<render_rectangle *>(s)->object_index;
	}
	ASSERT_NE(shown, NONE) << "objects draw in the battle view";
	get_object_data(shown)->flags |= _object_is_attack_highlighted_flag;
	get_render_objects_test_hooks()->caps_lock_held = TRUE;
	frames.push_back({"demo battle tick 900 highlighted 640x480", render(small, 0)});
	get_render_objects_test_hooks()->caps_lock_held = NONE;
	get_object_data(shown)->flags &= ~_object_is_attack_highlighted_flag;
	EXPECT_NE(frames[frames.size() - 1].second, frames[frames.size() - 2].second);

	const uint32 pinned[] = {0x45ba8b9au, 0x7b267fddu, 0xff8c0d55u, 0x0848a5b9u, 0xd604659cu, 0xab52362eu, 0x401e0637u, 0xe9f4b4e0u,
		0x522e7900u};
	ASSERT_EQ(frames.size(), NUMBEROF(pinned));
	const std::string path = std::string(ZERV_BINARY_DIR) + "/frame_digests.txt";
	FILE *file = fopen(path.c_str(), "w");
	ASSERT_NE(file, nullptr);
	for (size_t i = 0; i < frames.size(); ++i)
	{
		fprintf(file, "%s %08x\n", frames[i].first.c_str(), frames[i].second);
		EXPECT_EQ(frames[i].second, pinned[i]) << frames[i].first << std::hex << " 0x" << frames[i].second;
	}
	fclose(file);
}

// The reference views: the cottage across the lake, the hut, the fence and
// two trees close up. The hut and the cottage each change many pixels of many colours
// between their view drawn with and without them.
TEST_F(render_golden_frames, the_reference_views_show_the_models_and_the_fence)
{
	ASSERT_TRUE(start(HARNESS_DEMO_MAP_TAG));
	bitmap_data *bitmap = screen(640, 480);
	ASSERT_NE(bitmap, nullptr);
	const struct
	{
		const char *name;
		observer_location location;
		int32 model_cell_x, model_cell_y;
	} views[] = {
		{"cottage", {{20 * WORLD_ONE + 384, 51 * WORLD_ONE + 200}, 49152 - 1024, 0}, DEMO_COTTAGE_CELL_X, DEMO_COTTAGE_CELL_Y},
		{"hut", {{32 * WORLD_ONE, 48 * WORLD_ONE + 256}, 16384 - 2048, 0}, DEMO_HUT_CELL_X, DEMO_HUT_CELL_Y},
		{"fence", {{45 * WORLD_ONE, 21 * WORLD_ONE + 256}, 16384 + 8192, 0}, NONE, NONE},
		{"trees", {{30 * WORLD_ONE, 41 * WORLD_ONE}, 16384, 0}, NONE, NONE},
	};
	std::vector<uint32> crcs;
	const fixed near_zoom = 2 * FIXED_ONE, plain_zoom = FIXED_ONE; // the closest the player can come
	for (const auto &view : views)
	{
		set_actual_observer_location_and_zoom(nullptr, &near_zoom);
		crcs.push_back(render(bitmap, 0, &view.location));
		if (view.model_cell_x == NONE) continue;
		std::vector<uint32> with(static_cast<size_t>(bitmap->width * bitmap->height));
		for (int32 row = 0; row < bitmap->height; ++row)
			memcpy(&with[static_cast<size_t>(row * bitmap->width)], bitmap->row_addresses[row], bitmap->width * 4);
		const int16 model = get_model_index_from_mesh_cell(view.model_cell_x, view.model_cell_y);
		ASSERT_NE(model, NONE) << view.name;
		delete_model(model);
		render(bitmap, 0, &view.location);
		int32 changed = 0;
		std::set<uint32> colours;
		for (int32 row = 0; row < bitmap->height; ++row)
		{
			const uint32 *pixels = reinterpret_cast<const uint32 *>(bitmap->row_addresses[row]);
			for (int32 x = 0; x < bitmap->width; ++x)
			{
				const uint32 drawn = with[static_cast<size_t>(row * bitmap->width + x)];
				if (drawn == pixels[x]) continue;
				changed += 1;
				colours.insert(drawn & 0xFFFFFF);
			}
		}
		EXPECT_GT(changed, 400) << view.name;
		EXPECT_GT(colours.size(), 8u) << view.name;
	}
	set_actual_observer_location_and_zoom(nullptr, &plain_zoom);
	const uint32 pinned[] = {0x24ddd19au, 0x713bc122u, 0x4b158032u, 0xd1ba6aecu};
	ASSERT_EQ(crcs.size(), NUMBEROF(pinned));
	for (size_t i = 0; i < crcs.size(); ++i) EXPECT_EQ(crcs[i], pinned[i]) << views[i].name << std::hex << " 0x" << crcs[i];
}

// With a map loaded, a view whose field of view is 0, negative or infinite
// builds no surface and leaves the bitmap as it was.
TEST_F(render_golden_frames, degenerate_fields_of_view_draw_nothing)
{
	ASSERT_TRUE(start(HARNESS_DEMO_MAP_TAG));
	bitmap_data *bitmap = screen(64, 48);
	ASSERT_NE(bitmap, nullptr);
	view_data plain;
	prepare_observer_view(&plain, bitmap);
	render_scene(&plain);
	EXPECT_GT(lit_pixels(bitmap), 0) << "the same view with a sound field of view draws";
	// A hardware rasterizer's view gains screen clipping before the builders'
	// copy is made, so the builders see it too.
	EXPECT_FALSE(plain.flags & _render_view_screen_clipping_flag);
	plain.rasterizer_code = 1;
	render_scene(&plain);
	EXPECT_TRUE(plain.flags & _render_view_screen_clipping_flag);
	ASSERT_NE(last_render_view(), nullptr);
	EXPECT_TRUE(last_render_view()->flags & _render_view_screen_clipping_flag);
	for (float fov : {0.0f, -1.0f, 1.0f / 0.0f})
	{
		for (int32 row = 0; row < bitmap->height; ++row) memset(bitmap->row_addresses[row], 0, bitmap->width * 4);
		view_data view;
		prepare_observer_view(&view, bitmap);
		view.tan_half_fov = fov;
		render_scene(&view);
		for (const surface_category &category : surface_categories) EXPECT_EQ(category.count, 0) << fov;
		EXPECT_EQ(lit_pixels(bitmap), 0) << fov;
	}
}

// Looking up at the sky draws nothing: every terrain triangle is culled.
TEST_F(render_golden_frames, the_sky_draws_nothing)
{
	ASSERT_TRUE(start(HARNESS_DEMO_MAP_TAG));
	bitmap_data *bitmap = screen(640, 480);
	ASSERT_NE(bitmap, nullptr);
	view_data view;
	prepare_observer_view(&view, bitmap);
	view.location.pitch = 12000;
	render_scene(&view);
	EXPECT_EQ(lit_pixels(bitmap), 0);
}

// Moving the camera changes the frame; moving back restores it.
TEST_F(render_golden_frames, the_camera_moves_the_frame_and_back)
{
	ASSERT_TRUE(start(HARNESS_DEMO_MAP_TAG));
	bitmap_data *bitmap = screen(640, 480);
	ASSERT_NE(bitmap, nullptr);
	const uint32 before = render(bitmap, 0);
	action_data action;
	clear_action(&action);
	set_action_flag(&action, _move_forward_bit, TRUE);
	for (int32 i = 0; i < 4; ++i) update_observer_physics_variables_for_action(&action);
	EXPECT_NE(render(bitmap, 0), before);
	clear_action(&action);
	set_action_flag(&action, _move_backward_bit, TRUE);
	for (int32 i = 0; i < 4; ++i) update_observer_physics_variables_for_action(&action);
	EXPECT_EQ(render(bitmap, 0), before);
}

// Rendering every frame leaves the simulation's per-tick digests as they are.
TEST_F(render_golden_frames, rendering_leaves_the_simulation_untouched)
{
	ASSERT_TRUE(start(HARNESS_DEMO_MAP_TAG));
	harness_clear_digest_trail();
	for (int32 frame = 0; frame < 900; ++frame) harness_run_frames(1, 1);
	const std::vector<harness_digest_entry> plain = harness_digest_trail();
	harness_end_map();

	ASSERT_TRUE(start(HARNESS_DEMO_MAP_TAG));
	harness_clear_digest_trail();
	bitmap_data *bitmap = screen(320, 240);
	ASSERT_NE(bitmap, nullptr);
	for (int32 frame = 0; frame < 900; ++frame)
	{
		harness_run_frames(1, 1);
		view_data view;
		prepare_observer_view(&view, bitmap, 1);
		render_scene(&view);
	}
	const std::vector<harness_digest_entry> rendered = harness_digest_trail();
	ASSERT_EQ(plain.size(), rendered.size());
	ASSERT_GT(plain.size(), 100u);
	for (size_t i = 0; i < plain.size(); ++i)
	{
		ASSERT_EQ(plain[i].game_time, rendered[i].game_time);
		ASSERT_EQ(plain[i].digest, rendered[i].digest) << "tick " << plain[i].game_time;
	}
}

// Start-up fills the post-effect table exactly, by descending priority.
TEST_F(render_golden_frames, start_up_registers_the_eight_post_effects)
{
	std::vector<int32> priorities;
	for (int32 i = 0; i < number_of_registered_post_effects; ++i) priorities.push_back(post_effects[i].priority);
	EXPECT_EQ(priorities, (std::vector<int32>{3, 3, 2, 1, 1, 0, -100, -500}));
}
