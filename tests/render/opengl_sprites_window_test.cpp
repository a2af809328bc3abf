// Sprites drawn through OpenGL (llvmpipe under Xvfb) in their colours: the
// first level's bomb cache, and a volley's glowing bomb, flash and sparks
// against the software rasterizer's frames of the same views.
#include "opengl_window_fixture.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "hardware/OpenGL/gl_prefs.h"
#include "hardware/OpenGL/render_opengl.h"
#include "hardware/OpenGL/setup_opengl.h"
#include "hardware/OpenGL/utilities_opengl.h"
#include "hardware/hardware_rasterizers.h"
#include "interface.h"
#include "objects.h"
#include "observer.h"
#include "render/render.h"
#include "shapes.h"
#include "support/render_views.h"
#include "world.h"

namespace {

// The generated effects collection and its sequences, by name.
const file_tag effects_collection_tag = TAG("efct");

int16 effects_sequence(int16 effects, const char *name)
{
	char lower[64];
	snprintf(lower, sizeof(lower), "%s", name);
	return get_named_sequence_index(effects, lower);
}

class opengl_sprites : public opengl_window_test
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

	bool start(file_tag map_tag)
	{
		new_game_data setup;
		if (map_tag == HARNESS_DEMO_MAP_TAG) harness_demo_setup(&setup, 2);
		else harness_battle_setup(&setup, map_tag);
		if (!harness_start_map(&setup)) return false;
		set_local_random_seed(0x5EED);
		return rasterizer_initialized;
	}

	// The camera's view through GL, read back.
	const bitmap_data *draw_opengl(const std::string &name)
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
		dump_frame_when_asked(read, name + "_opengl");
		return read;
	}

	// The same view drawn by the software rasterizer.
	const bitmap_data *draw_software(const std::string &name)
	{
		const int16 width = active_screen.width, height = active_screen.height;
		if (!software) software = new_bitmap(width, height, width * 4, _32bit_encoding, 0);
		for (int32 y = 0; y < height; ++y) memset(software->row_addresses[y], 0, static_cast<size_t>(width) * 4);
		view_data view;
		prepare_observer_view(&view, software);
		view.rasterizer_code = _rasterizer_software;
		render_scene(&view);
		dump_frame_when_asked(software, name + "_software");
		return software;
	}

	bitmap_data *read = nullptr, *software = nullptr;
};

struct drawn_sprite
{
	render_rectangle_geometry geometry;
	bitmap_identifier texture;
	int8 owner;
	world_point2d position;
};

// The last frame's object sprites from the collection.
std::vector<drawn_sprite> drawn_sprites(int16 collection)
{
	std::vector<drawn_sprite> sprites;
	const render_surface_list *list = last_render_surface_list();
	if (!list) return sprites;
	for (const render_surface *s = list->first_surface; s; s = s->next_surface)
	{
		if (surface_subtype(s) != _surface_subtype_object_rectangle) continue;
		const render_rectangle *rectangle = reinterpret_cast<const render_rectangle *>(s);
		if (static_cast<int32>(bitmap_identifier_collection(rectangle->texture)) != collection) continue;
		const object_data *object = rectangle->object_index == NONE ? nullptr : get_object_data(rectangle->object_index);
		sprites.push_back({rectangle->geometry, rectangle->texture, object ? object->owner : static_cast<int8>(NONE),
			object ? world_point2d{object->location.position.x, object->location.position.y} : world_point2d{0, 0}});
	}
	return sprites;
}

// A sprite's rectangle in a frame: its pixels, the near-black ones, and
// those of the sprite's own hue (the glow's cyan, or the flash's and the
// sparks' yellow).
struct sprite_pixels
{
	int32 area, black, hue;
};

sprite_pixels count_sprite_pixels(const bitmap_data *frame, const render_rectangle_geometry &g, bool cyan)
{
	sprite_pixels counts = {};
	for (int32 y = std::max<int32>(g.y0, 0); y < std::min<int32>(g.y1, frame->height); ++y)
	{
		const uint32 *row = reinterpret_cast<const uint32 *>(frame->row_addresses[y]);
		for (int32 x = std::max<int32>(g.x0, 0); x < std::min<int32>(g.x1, frame->width); ++x)
		{
			const int32 r = (row[x] >> 16) & 0xFF, gr = (row[x] >> 8) & 0xFF, b = row[x] & 0xFF;
			counts.area += 1;
			counts.black += std::max(r, std::max(gr, b)) < 24;
			counts.hue += cyan ? gr > r + 48 && b > r + 48 : r > b + 64 && gr > b + 32;
		}
	}
	return counts;
}

}

// The six bombs behind the player's line, in every drawing configuration:
// the glow's cyan, nothing near black, as the software frame has them.
TEST_F(opengl_sprites, OpenGLSprites_the_first_levels_bomb_cache_shows_as_cyan_discs)
{
	const struct
	{
		const char *name, *settings;
		bool shaders, depth_test;
	} configurations[] = {
		{ "default", "", true, true },
		{ "no shaders", "UseShaders = 0\n", false, true },
		{ "painter's order", "UseDepthTest = 0\n", false, false },
	};
	const world_point2d cache_centre = {45 * WORLD_ONE + WORLD_ONE / 2, 51 * WORLD_ONE + WORLD_ONE / 2};
	for (const auto &configuration : configurations)
	{
		if (!select_opengl(1024, 768, 0, configuration.settings)) GTEST_SKIP() << "no OpenGL device";
		ASSERT_TRUE(start(TAG("l1  "))) << configuration.name;
		EXPECT_EQ(gl_prefs.use_shaders != 0, configuration.shaders) << configuration.name;
		EXPECT_EQ(gl_prefs.use_depth_test != 0, configuration.depth_test) << configuration.name;
		initialize_ingame_fades_for_new_game(); // the level opens on a fade from black
		observer_location look;
		get_observer_location(&look);
		look.position = cache_centre;
		set_actual_observer_location_and_zoom(&look, nullptr);
		const bitmap_data *frame = draw_opengl(std::string("bomb_cache ") + configuration.name);
		ASSERT_NE(frame, nullptr);
		std::vector<drawn_sprite> bombs;
		for (const drawn_sprite &sprite : drawn_sprites(get_collection_index(effects_collection_tag)))
		{
			if (sprite.owner == _object_is_dormant_projectile && std::abs(sprite.position.x - cache_centre.x) <= 2 * WORLD_ONE &&
				std::abs(sprite.position.y - cache_centre.y) <= 2 * WORLD_ONE)
			{
				bombs.push_back(sprite);
			}
		}
		EXPECT_EQ(bombs.size(), 6u) << configuration.name;
		std::vector<sprite_pixels> drawn;
		for (const drawn_sprite &bomb : bombs) drawn.push_back(count_sprite_pixels(frame, bomb.geometry, true));
		const bitmap_data *plain = draw_software(std::string("bomb_cache ") + configuration.name);
		for (size_t i = 0; i < bombs.size(); ++i)
		{
			const sprite_pixels expected = count_sprite_pixels(plain, bombs[i].geometry, true);
			printf("%s: bomb at %d, %d: %d pixels, %d black, %d cyan (software %d cyan)\n", configuration.name,
				bombs[i].geometry.x0, bombs[i].geometry.y0, drawn[i].area, drawn[i].black, drawn[i].hue, expected.hue);
			EXPECT_EQ(drawn[i].black, 0) << configuration.name << ", bomb " << i;
			EXPECT_GE(drawn[i].hue, drawn[i].area / 4) << configuration.name << ", bomb " << i;
			EXPECT_GE(expected.hue, expected.area / 4) << configuration.name << ", bomb " << i;
		}
		EXPECT_EQ(opengl_api.glGetError(), static_cast<GLenum>(GL_NO_ERROR));
		harness_end_map();
	}
}

// The demo's first thrown bomb followed close up from its flight to its
// burst: its glow, the flash and the sparks keep their colours through
// OpenGL, as much of each as the software frame shows, and never black.
TEST_F(opengl_sprites, OpenGLSprites_a_volleys_effects_match_the_software_frames)
{
	if (!select_opengl(1024, 768, 0)) GTEST_SKIP() << "no OpenGL device";
	ASSERT_TRUE(start(HARNESS_DEMO_MAP_TAG));
	const int16 effects = get_collection_index(effects_collection_tag);
	ASSERT_NE(effects, NONE);
	const int16 glow = effects_sequence(effects, "glow");
	ASSERT_NE(glow, NONE);
	const int16 glow_bitmap = get_sequence_bitmap_index(effects, glow, 0, 0, nullptr, nullptr);
	harness_run_ticks(600);
	const fixed zoom = 2 * FIXED_ONE;
	std::vector<int16> kinds_seen;
	for (int32 tick = 600; tick < 630; ++tick)
	{
		ASSERT_EQ(harness_run_ticks(1), 1);
		// The camera keeps just short of the bomb while it flies.
		for (int16 i = 0; i < object_array.maximum_count; ++i)
		{
			const object_data *object = get_object_data(i);
			if (!object || !object->identifier || object->owner != _object_is_projectile) continue;
			if (object->shape_collection_index != effects || object->shape_sequence_index != glow) continue;
			observer_location look;
			get_observer_location(&look);
			look.position = {object->location.position.x, static_cast<world_distance>(object->location.position.y + 1024)};
			set_actual_observer_location_and_zoom(&look, &zoom);
			break;
		}
		const std::string name = "volley tick " + std::to_string(tick);
		const bitmap_data *frame = draw_opengl(name);
		ASSERT_NE(frame, nullptr);
		const std::vector<drawn_sprite> sprites = drawn_sprites(effects);
		std::vector<sprite_pixels> drawn;
		for (const drawn_sprite &sprite : sprites)
		{
			const int16 bitmap = static_cast<int16>(bitmap_identifier_bitmap(sprite.texture));
			drawn.push_back(count_sprite_pixels(frame, sprite.geometry, bitmap == glow_bitmap));
		}
		const bitmap_data *plain = draw_software(name);
		for (size_t i = 0; i < sprites.size(); ++i)
		{
			const int16 bitmap = static_cast<int16>(bitmap_identifier_bitmap(sprites[i].texture));
			const sprite_pixels expected = count_sprite_pixels(plain, sprites[i].geometry, bitmap == glow_bitmap);
			EXPECT_EQ(drawn[i].black, 0) << name << ", bitmap " << bitmap;
			// Filtering blurs the edges: about as many pixels of the hue, a few fewer.
			EXPECT_GE(drawn[i].hue, expected.hue * 2 / 3 - 1) << name << ", bitmap " << bitmap;
			EXPECT_LE(drawn[i].hue, expected.hue + 3) << name << ", bitmap " << bitmap;
			if (expected.hue > 0 && std::find(kinds_seen.begin(), kinds_seen.end(), bitmap) == kinds_seen.end())
				kinds_seen.push_back(bitmap);
		}
	}
	EXPECT_EQ(opengl_api.glGetError(), static_cast<GLenum>(GL_NO_ERROR));
	// The glow, the flash and the sparks were all looked at.
	for (const char *sequence : {"glow", "explosion", "spark"})
	{
		const int16 bitmap = get_sequence_bitmap_index(effects, effects_sequence(effects, sequence), 0, 0, nullptr, nullptr);
		EXPECT_NE(std::find(kinds_seen.begin(), kinds_seen.end(), bitmap), kinds_seen.end()) << sequence;
	}
}
