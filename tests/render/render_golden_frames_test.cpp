// Whole frames of the generated maps rendered headless into memory bitmaps:
// their CRCs are pinned, the same in the 64-bit and 32-bit trees.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bitmaps.h"
#include "CoreLibrary/cseries/crc.h"
#include "input/actions.h"
#include "mesh.h"
#include "observer.h"
#include "render/render.h"
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

	bool start(file_tag map_tag)
	{
		new_game_data setup;
		if (map_tag == HARNESS_DEMO_MAP_TAG) harness_demo_setup(&setup, 2);
		else harness_battle_setup(&setup, map_tag);
		return harness_start_map(&setup);
	}

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
		memset(&view, 0, sizeof(view));
		build_observer_view(&view, 0);
		view.screen = bitmap;
		view.flags |= flags;
		render_scene(&view);
		uint32 crc = 0xFFFFFFFFu;
		for (int32 row = 0; row < bitmap->height; ++row) crc = crc32_update(crc, bitmap->row_addresses[row], bitmap->width * 4);
		dump(bitmap);
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

	// ZERV_DUMP_FRAMES=folder writes each frame as a PPM for a look.
	void dump(const bitmap_data *bitmap)
	{
		const char *folder = getenv("ZERV_DUMP_FRAMES");
		if (!folder) return;
		const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
		const std::string path = std::string(folder) + "/" + info->name() + "_" + std::to_string(dumps++) + ".ppm";
		FILE *file = fopen(path.c_str(), "wb");
		if (!file) return;
		fprintf(file, "P6\n%d %d\n255\n", bitmap->width, bitmap->height);
		for (int32 row = 0; row < bitmap->height; ++row)
		{
			const uint32 *pixels = reinterpret_cast<const uint32 *>(bitmap->row_addresses[row]);
			for (int32 x = 0; x < bitmap->width; ++x)
			{
				const uint8 rgb[3] = {static_cast<uint8>(pixels[x] >> 16), static_cast<uint8>(pixels[x] >> 8),
					static_cast<uint8>(pixels[x])};
				fwrite(rgb, 1, 3, file);
			}
		}
		fclose(file);
	}

	std::vector<bitmap_data *> bitmaps;
	int32 dumps = 0;
};

}

TEST_F(render_golden_frames, the_demo_start_view_draws_terrain)
{
	ASSERT_TRUE(start(HARNESS_DEMO_MAP_TAG));
	bitmap_data *bitmap = screen(640, 480);
	ASSERT_NE(bitmap, nullptr);
	const uint32 first = render(bitmap, 0);
	EXPECT_GT(lit_pixels(bitmap), 640 * 480 / 2);
	EXPECT_GT(get_render_test_hooks()->surfaces_per_category[_surface_category_mesh], 100);
	// The same view again gives the same frame.
	EXPECT_EQ(render(bitmap, 0), first);
	ASSERT_NE(volatile_color_map_blend_table, nullptr);
	const uint32 filtered = render(bitmap, _render_view_filtering_flag);
	EXPECT_NE(filtered, first);
}
