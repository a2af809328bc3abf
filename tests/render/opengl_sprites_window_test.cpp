// Sprites drawn through OpenGL (llvmpipe under Xvfb) in their colours: the
// first level's bomb cache, a volley's glowing bomb, flash and sparks, a
// burning bomb thrower's smoking bombs and an arrow in flight, against the
// software rasterizer's frames of the same views.
#include "opengl_window_fixture.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "hardware/OpenGL/gl_prefs.h"
#include "hardware/OpenGL/render_opengl.h"
#include "hardware/OpenGL/setup_opengl.h"
#include "hardware/OpenGL/utilities_opengl.h"
#include "hardware/hardware_rasterizers.h"
#include "interface.h"
#include "objects.h"
#include "observer.h"
#include "projectiles.h"
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

class opengl_sprites : public opengl_map_views_test
{
protected:
	// The camera's view through GL, read back.
	const bitmap_data *draw_opengl(const std::string &name)
	{
		const bitmap_data *frame = read_opengl_view();
		dump_frame_when_asked(frame, name + "_opengl");
		return frame;
	}

	// The same view drawn by the software rasterizer.
	const bitmap_data *draw_software(const std::string &name)
	{
		const bitmap_data *frame = draw_software_view();
		dump_frame_when_asked(frame, name + "_software");
		return frame;
	}
};

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

namespace {

// A rectangle's mean colour in a frame, channel by channel.
std::vector<int32> mean_colour(const bitmap_data *frame, const render_rectangle_geometry &g)
{
	int64 sums[3] = {};
	int64 count = 0;
	for (int32 y = std::max<int32>(g.y0, 0); y < std::min<int32>(g.y1, frame->height); ++y)
	{
		const uint32 *row = reinterpret_cast<const uint32 *>(frame->row_addresses[y]);
		for (int32 x = std::max<int32>(g.x0, 0); x < std::min<int32>(g.x1, frame->width); ++x, ++count)
		{
			for (int32 c = 0; c < 3; ++c) sums[c] += (row[x] >> (16 - 8 * c)) & 0xFF;
		}
	}
	std::vector<int32> mean(3, 0);
	for (int32 c = 0; c < 3 && count; ++c) mean[c] = static_cast<int32>(sums[c] / count);
	return mean;
}

}

// A bomb thrower killed by fire, its spot followed close up while its bombs
// burn: OpenGL draws each smoke puff and each charred bomb in the colours of
// the software frame, the smoke grey and not the bomb's cyan, nothing black.
TEST_F(opengl_sprites, OpenGLSprites_a_burning_bomb_throwers_spot_matches_the_software_frames)
{
	if (!select_opengl(1024, 768, 0)) GTEST_SKIP() << "no OpenGL device";
	ASSERT_TRUE(start(HARNESS_DEMO_MAP_TAG));
	world_point2d spot;
	ASSERT_TRUE(burn_a_bomb_thrower(&spot));
	const int16 effects = get_collection_index(effects_collection_tag);
	const int16 glow = get_sequence_bitmap_index(effects, effects_sequence(effects, "glow"), 0, 0, nullptr, nullptr);
	const int16 smoke = get_internal_projectile_type(_internal_projectile_smoke_trail);
	ASSERT_NE(smoke, NONE);
	observer_location look;
	get_observer_location(&look);
	look.position = spot;
	const fixed zoom = 3 * FIXED_ONE;
	set_actual_observer_location_and_zoom(&look, &zoom);
	int32 puffs = 0, charred = 0;
	sprite_pixels grey = {}, cyan = {};
	for (int32 tick = 1; tick <= 30; ++tick)
	{
		ASSERT_EQ(harness_run_ticks(1), 1);
		const std::string name = "burning bombs tick " + std::to_string(tick);
		const bitmap_data *frame = draw_opengl(name);
		ASSERT_NE(frame, nullptr);
		struct seen { render_rectangle_geometry geometry; bool puff; std::vector<int32> mean; };
		std::vector<seen> sprites;
		for (const drawn_sprite &sprite : drawn_sprites(effects))
		{
			const bool puff = is_projectile_of_type(sprite.object_index, smoke);
			const bool burnt = bitmap_identifier_bitmap(sprite.texture) == glow &&
				bitmap_identifier_permutation(sprite.texture) == SMOKING_COLOR_PERMUTATION;
			if (!puff && !burnt) continue;
			sprites.push_back({sprite.geometry, puff, mean_colour(frame, sprite.geometry)});
			EXPECT_EQ(count_sprite_pixels(frame, sprite.geometry, glow_cyan).black, 0) << name;
			if (!puff)
			{
				charred += 1;
				continue;
			}
			puffs += 1;
			const sprite_pixels g = count_sprite_pixels(frame, sprite.geometry, smoke_grey);
			grey.area += g.area, grey.hue += g.hue;
			cyan.hue += count_sprite_pixels(frame, sprite.geometry, glow_cyan).hue;
		}
		// The spot: every puff and bomb in one box.
		render_rectangle_geometry spot_box = {32767, 32767, -32768, -32768, -32768, 32767, {0, 0, 0, 0}, 32767, -32768};
		for (const seen &sprite : sprites)
		{
			spot_box.x0 = std::min(spot_box.x0, sprite.geometry.x0), spot_box.y0 = std::min(spot_box.y0, sprite.geometry.y0);
			spot_box.x1 = std::max(spot_box.x1, sprite.geometry.x1), spot_box.y1 = std::max(spot_box.y1, sprite.geometry.y1);
		}
		const std::vector<int32> spot_mean = sprites.empty() ? std::vector<int32>(3, 0) : mean_colour(frame, spot_box);
		const bitmap_data *plain = draw_software(name);
		// A puff made where its bomb lies is as near as the bomb: which of the
		// two is drawn over the other is the back end's own, and a sprite's
		// mean may differ by that much. The spot as a whole may not.
		for (const seen &sprite : sprites)
		{
			const std::vector<int32> expected = mean_colour(plain, sprite.geometry);
			for (int32 c = 0; c < 3; ++c)
			{
				EXPECT_NEAR(sprite.mean[c], expected[c], 40) << name << (sprite.puff ? ", a puff" : ", a charred bomb") <<
					" at " << sprite.geometry.x0 << ", " << sprite.geometry.y0 << ", channel " << c;
			}
		}
		if (sprites.empty()) continue;
		const std::vector<int32> expected = mean_colour(plain, spot_box);
		printf("%s: spot %d,%d,%d (software %d,%d,%d)\n", name.c_str(), spot_mean[0], spot_mean[1], spot_mean[2],
			expected[0], expected[1], expected[2]);
		for (int32 c = 0; c < 3; ++c) EXPECT_NEAR(spot_mean[c], expected[c], 12) << name << ", channel " << c;
	}
	EXPECT_GT(charred, 30);
	EXPECT_GT(puffs, 30);
	EXPECT_GT(grey.hue, grey.area / 4) << "the smoke is grey";
	EXPECT_LT(cyan.hue, grey.hue / 20) << "not the bomb's glow";
	EXPECT_EQ(opengl_api.glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// An arrow in flight, followed close up, through OpenGL: the pixels it draws
// (those that differ from the view without it) keep its wood and red vanes,
// about as many as in the software frame, and none is near black.
TEST_F(opengl_sprites, OpenGLSprites_an_arrow_in_flight_keeps_its_colours)
{
	if (!select_opengl(1024, 768, 0)) GTEST_SKIP() << "no OpenGL device";
	ASSERT_TRUE(start(HARNESS_DEMO_MAP_TAG));
	ASSERT_TRUE(run_to_the_first_arrow(3000));
	const int16 effects = get_collection_index(effects_collection_tag);
	const int16 arrow_sequence = effects_sequence(effects, "arrow");
	const int16 arrow = get_sequence_bitmap_index(effects, arrow_sequence, 0, 0, nullptr, nullptr);
	const fixed zoom = 6 * FIXED_ONE;
	sprite_pixels drawn = {}, expected = {};
	int32 quads = 0;
	for (int32 tick = 0; tick < 20; ++tick)
	{
		follow_an_arrow(zoom);
		const std::string name = "arrow tick " + std::to_string(tick);
		const std::vector<int16> hidden = hide_objects_of_sequence(effects, arrow_sequence);
		const std::vector<uint32> beneath_opengl = frame_pixels(read_opengl_view());
		const std::vector<uint32> beneath_software = frame_pixels(draw_software_view());
		show_objects(hidden);
		const bitmap_data *plain = draw_software(name);
		std::vector<drawn_quad> shown = drawn_quads(effects, arrow);
		for (const drawn_quad &quad : shown)
		{
			const sprite_pixels counts = count_quad_pixels(plain, quad, arrow_warm, &beneath_software);
			expected.area += counts.area, expected.black += counts.black, expected.hue += counts.hue;
		}
		const bitmap_data *frame = draw_opengl(name);
		ASSERT_NE(frame, nullptr);
		shown = drawn_quads(effects, arrow);
		for (const drawn_quad &quad : shown)
		{
			quads += 1;
			const sprite_pixels counts = count_quad_pixels(frame, quad, arrow_warm, &beneath_opengl);
			drawn.area += counts.area, drawn.black += counts.black, drawn.hue += counts.hue;
		}
		ASSERT_EQ(harness_run_ticks(1), 1);
	}
	printf("arrow: %d quads; OpenGL %d pixels, %d black, %d warm; software %d pixels, %d black, %d warm\n", quads,
		drawn.area, drawn.black, drawn.hue, expected.area, expected.black, expected.hue);
	EXPECT_GE(quads, 20);
	EXPECT_GT(drawn.area, 20 * 200) << "the arrow is drawn";
	EXPECT_EQ(drawn.black, 0);
	EXPECT_EQ(expected.black, 0);
	EXPECT_GT(drawn.hue, drawn.area / 2) << "wood and red vanes";
	EXPECT_GT(expected.hue, expected.area / 2);
	EXPECT_GE(drawn.hue, expected.hue * 3 / 4);
	EXPECT_LE(drawn.hue, expected.hue * 5 / 4);
	EXPECT_EQ(opengl_api.glGetError(), static_cast<GLenum>(GL_NO_ERROR));
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
	// The volley is followed from its first thrown bomb, whenever the battle
	// comes to it.
	ASSERT_TRUE(run_to_the_first_thrown_bomb(effects, glow, 3000));
	const int32 first_tick = game->game_time;
	const fixed zoom = 2 * FIXED_ONE;
	std::vector<int16> kinds_seen;
	// The flash lasts a tick and may be hidden by the burst's dust: bombs are
	// followed until each kind has shown (or for 300 ticks).
	const auto bitmap_of = [&](const char *sequence)
	{ return get_sequence_bitmap_index(effects, effects_sequence(effects, sequence), 0, 0, nullptr, nullptr); };
	const int16 kinds[] = {bitmap_of("glow"), bitmap_of("explosion"), bitmap_of("spark")};
	const auto all_seen = [&]
	{
		for (int16 kind : kinds)
			if (std::find(kinds_seen.begin(), kinds_seen.end(), kind) == kinds_seen.end()) return false;
		return true;
	};
	for (int32 tick = first_tick; tick < first_tick + 300 && !all_seen(); ++tick)
	{
		ASSERT_EQ(harness_run_ticks(1), 1);
		// The camera keeps just short of the bomb while it flies.
		follow_a_glowing_bomb(effects, glow, zoom);
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
			// Filtering blurs the edges: about as many pixels of the hue, a few more or fewer.
			EXPECT_GE(drawn[i].hue, expected.hue * 2 / 3 - 2) << name << ", bitmap " << bitmap;
			EXPECT_LE(drawn[i].hue, expected.hue * 5 / 4 + 4) << name << ", bitmap " << bitmap;
			if (expected.hue > 0 && std::find(kinds_seen.begin(), kinds_seen.end(), bitmap) == kinds_seen.end())
				kinds_seen.push_back(bitmap);
		}
	}
	EXPECT_EQ(opengl_api.glGetError(), static_cast<GLenum>(GL_NO_ERROR));
	// The glow, the flash and the sparks were all looked at.
	EXPECT_TRUE(all_seen()) << kinds_seen.size() << " of the three kinds shown";
}
