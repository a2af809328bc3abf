// The reference views of 'demo' as PNG files: the armies from the start
// camera, the cottage across the lake with its reflection, the hut, the fence
// and two trees close up. Each is written into the build tree and must equal the copy kept in
// tests/render/reference/ (ZERV_UPDATE_REFERENCE_VIEWS=1 rewrites the copies).
#include <gtest/gtest.h>

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "bitmaps.h"
#include "observer.h"
#include "render/render.h"
#include "support/render_views.h"
#include "support/zerv_harness.h"
#include "world.h"
#include "zerv.h"

namespace {

const int32 view_width = 640, view_height = 480;

// RGB rows, top first.
typedef std::vector<uint8> rgb_image;

bool write_png(const std::string &path, const rgb_image &pixels)
{
	FILE *file = fopen(path.c_str(), "wb");
	if (!file) return false;
	png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
	png_infop info = png ? png_create_info_struct(png) : nullptr;
	if (!png || !info || setjmp(png_jmpbuf(png)))
	{
		png_destroy_write_struct(&png, &info);
		fclose(file);
		return false;
	}
	png_init_io(png, file);
	png_set_IHDR(png, info, view_width, view_height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
		PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
	png_set_compression_level(png, 9);
	png_write_info(png, info);
	for (int32 y = 0; y < view_height; ++y)
		png_write_row(png, const_cast<png_bytep>(pixels.data() + static_cast<size_t>(y) * view_width * 3));
	png_write_end(png, nullptr);
	png_destroy_write_struct(&png, &info);
	return fclose(file) == 0;
}

// Empty when the file is missing or not a 640 x 480 8-bit RGB picture.
rgb_image read_png(const std::string &path)
{
	FILE *file = fopen(path.c_str(), "rb");
	if (!file) return {};
	png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
	png_infop info = png ? png_create_info_struct(png) : nullptr;
	rgb_image pixels;
	if (!png || !info || setjmp(png_jmpbuf(png)))
	{
		png_destroy_read_struct(&png, &info, nullptr);
		fclose(file);
		return {};
	}
	png_init_io(png, file);
	png_read_info(png, info);
	if (png_get_image_width(png, info) == static_cast<png_uint_32>(view_width) &&
		png_get_image_height(png, info) == static_cast<png_uint_32>(view_height) && png_get_bit_depth(png, info) == 8 &&
		png_get_color_type(png, info) == PNG_COLOR_TYPE_RGB)
	{
		pixels.resize(static_cast<size_t>(view_width) * view_height * 3);
		for (int32 y = 0; y < view_height; ++y) png_read_row(png, pixels.data() + static_cast<size_t>(y) * view_width * 3, nullptr);
	}
	png_destroy_read_struct(&png, &info, nullptr);
	fclose(file);
	return pixels;
}

class render_reference_views : public zerv_harness_fixture
{
protected:
	void TearDown() override
	{
		harness_end_map();
		zerv_harness_fixture::TearDown();
	}

	rgb_image render(const observer_location *location, fixed zoom)
	{
		if (location) set_actual_observer_location_and_zoom(location, &zoom);
		bitmap_data *bitmap = new_bitmap(view_width, view_height, view_width * 4, _32bit_encoding, 0);
		if (!bitmap) return {};
		view_data view;
		prepare_observer_view(&view, bitmap);
		render_scene(&view);
		rgb_image pixels;
		for (int32 y = 0; y < view_height; ++y)
		{
			const uint32 *row = reinterpret_cast<const uint32 *>(bitmap->row_addresses[y]);
			for (int32 x = 0; x < view_width; ++x)
			{
				pixels.push_back(static_cast<uint8>(row[x] >> 16));
				pixels.push_back(static_cast<uint8>(row[x] >> 8));
				pixels.push_back(static_cast<uint8>(row[x]));
			}
		}
		dispose_pointer(bitmap);
		return pixels;
	}
};

}

TEST_F(render_reference_views, the_reference_views_match_the_kept_pictures)
{
	new_game_data setup;
	harness_demo_setup(&setup, 2);
	ASSERT_TRUE(harness_start_map(&setup));
	set_local_random_seed(0x5EED); // as the golden frames: footprints draw on the machine's stream

	const struct
	{
		const char *name;
		bool start_camera;
		observer_location location;
	} views[] = {
		{"demo_armies", true, {}},
		{"demo_cottage", false, {{20 * WORLD_ONE + 384, 51 * WORLD_ONE + 200}, 49152 - 1024, 0}},
		{"demo_hut", false, {{32 * WORLD_ONE, 48 * WORLD_ONE + 256}, 16384 - 2048, 0}},
		{"demo_fence", false, {{45 * WORLD_ONE, 21 * WORLD_ONE + 256}, 16384 + 8192, 0}},
		{"demo_trees", false, {{30 * WORLD_ONE, 41 * WORLD_ONE}, 16384, 0}},
	};
	const std::string written = std::string(ZERV_BINARY_DIR) + "/reference_views";
	mkdir(written.c_str(), 0755);
	const std::string kept = std::string(ZERV_SOURCE_DIR) + "/tests/render/reference";
	const bool update = getenv("ZERV_UPDATE_REFERENCE_VIEWS") != nullptr;
	for (const auto &view : views)
	{
		const rgb_image pixels = view.start_camera ? render(nullptr, FIXED_ONE) : render(&view.location, 2 * FIXED_ONE);
		ASSERT_EQ(pixels.size(), static_cast<size_t>(view_width) * view_height * 3) << view.name;
		const std::string name = std::string(view.name) + ".png";
		ASSERT_TRUE(write_png(written + "/" + name, pixels)) << view.name;
		if (update)
		{
			ASSERT_TRUE(write_png(kept + "/" + name, pixels)) << view.name;
		}
		EXPECT_EQ(read_png(written + "/" + name), pixels) << view.name << ": the writer and the reader agree";
		const rgb_image reference = read_png(kept + "/" + name);
		ASSERT_FALSE(reference.empty()) << kept << "/" << name;
		int32 differing = 0;
		for (size_t i = 0; i < pixels.size(); i += 3) differing += memcmp(&pixels[i], &reference[i], 3) != 0;
		EXPECT_EQ(differing, 0) << view.name;
		struct stat status;
		ASSERT_EQ(stat((kept + "/" + name).c_str(), &status), 0);
		EXPECT_LE(status.st_size, 300 * 1024) << view.name;
	}
	const fixed zoom = FIXED_ONE;
	set_actual_observer_location_and_zoom(nullptr, &zoom);
}
