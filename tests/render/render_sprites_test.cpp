// Sprites in the software rasterizer's frames: the first level's bomb cache
// shows, every sprite a battle draws is in the row-span format the software
// path draws sprites from, burning bombs smoke and arrows fly in their colours.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "bitmaps.h"
#include "collections_content.h"
#include "interface.h"
#include "objects.h"
#include "observer.h"
#include "projectile_definitions.h"
#include "projectiles.h"
#include "render/render.h"
#include "shading_tables.h"
#include "shapes.h"
#include "support/render_views.h"
#include "support/zerv_harness.h"
#include "world.h"

namespace {

// The middle of the first level's bomb cache, behind team 0's line.
const world_point2d cache_centre = {45 * WORLD_ONE + WORLD_ONE / 2, 51 * WORLD_ONE + WORLD_ONE / 2};

class render_sprites : public zerv_harness_fixture
{
protected:
	void TearDown() override
	{
		if (screen) dispose_pointer(screen);
		harness_end_map();
		zerv_harness_fixture::TearDown();
	}

	bool start(file_tag map_tag) { return start_map_for_frames(map_tag); }

	// The camera's view into a zeroed bitmap of the size.
	const bitmap_data *draw(int32 width, int32 height, const std::string &name = std::string())
	{
		if (screen && (screen->width != width || screen->height != height))
		{
			dispose_pointer(screen);
			screen = nullptr;
		}
		if (!screen) screen = new_bitmap(width, height, width * 4, _32bit_encoding, 0);
		if (!screen) return nullptr;
		for (int32 row = 0; row < height; ++row) memset(screen->row_addresses[row], 0, static_cast<size_t>(width) * 4);
		view_data view;
		prepare_observer_view(&view, screen);
		render_scene(&view);
		if (!name.empty()) dump_frame_when_asked(screen, name);
		return screen;
	}

	bitmap_data *screen = nullptr;
};

// Whether a sprite is one of the cache's dormant bombs (its cells lie
// within two of the middle one's).
bool in_the_bomb_cache(const drawn_sprite &sprite)
{
	return sprite.owner == _object_is_dormant_projectile && std::abs(sprite.position.x - cache_centre.x) <= 2 * WORLD_ONE &&
		std::abs(sprite.position.y - cache_centre.y) <= 2 * WORLD_ONE;
}

// Each of the cache's bombs holds the glow's cyan and nothing near black.
void expect_cyan_discs(const bitmap_data *frame, const std::vector<drawn_sprite> &sprites)
{
	int32 discs = 0;
	for (const drawn_sprite &sprite : sprites)
	{
		if (!in_the_bomb_cache(sprite)) continue;
		discs += 1;
		const render_rectangle_geometry &g = sprite.geometry;
		const sprite_pixels counts = count_sprite_pixels(frame, g, true);
		EXPECT_GE(counts.hue, (g.x1 - g.x0) * (g.y1 - g.y0) / 4) << "a disc at " << g.x0 << ", " << g.y0;
		EXPECT_EQ(counts.black, 0) << "a disc at " << g.x0 << ", " << g.y0;
	}
	EXPECT_EQ(discs, 6);
}

}

// The bombs a thrower can pick up, drawn where the level places them.
TEST_F(render_sprites, the_first_levels_bomb_cache_shows_as_cyan_discs)
{
	ASSERT_TRUE(start(TAG("l1  ")));
	initialize_ingame_fades_for_new_game(); // the level opens on a fade from black
	observer_location look;
	get_observer_location(&look);
	look.position = cache_centre;
	set_actual_observer_location_and_zoom(&look, nullptr);
	const bitmap_data *frame = draw(1024, 768, "bomb_cache_software");
	ASSERT_NE(frame, nullptr);
	expect_cyan_discs(frame, drawn_sprites());
}

// Every object sprite of the demo's battle and of the first level's opening
// (glowing bombs, their sparks and flashes, blood and debris) is drawn from
// row spans: the software rasterizer draws no other sprite.
TEST_F(render_sprites, every_sprite_a_battle_draws_is_in_row_spans)
{
	std::set<std::pair<int32, int32>> seen;
	for (const file_tag map : {HARNESS_DEMO_MAP_TAG, TAG("l1  ")})
	{
		ASSERT_TRUE(start(map));
		for (int32 tick = 0; tick < 900; ++tick)
		{
			if (harness_run_ticks(1) != 1) break;
			ASSERT_NE(draw(320, 240), nullptr);
			for (const drawn_sprite &sprite : drawn_sprites())
			{
				const int16 collection = static_cast<int16>(bitmap_identifier_collection(sprite.texture));
				const int16 bitmap = static_cast<int16>(bitmap_identifier_bitmap(sprite.texture));
				if (!seen.insert({collection, bitmap}).second) continue;
				const bitmap_data *data = get_bitmap(collection, bitmap);
				ASSERT_NE(data, nullptr);
				EXPECT_TRUE(data->flags & _1bit_transparency_encoded_flag)
					<< get_collection_name(collection) << " bitmap " << bitmap << " at tick " << tick;
			}
		}
		harness_end_map();
	}
	// The effects the battles are looked at for were drawn.
	ASSERT_TRUE(start(HARNESS_DEMO_MAP_TAG));
	const int16 effects = get_collection_index(DEFAULT_EFFECTS_COLLECTION_TAG);
	for (const int16 sequence : {_default_effects_glow_sequence, _default_effects_spark_sequence,
			 _default_effects_explosion_sequence})
	{
		const int16 bitmap = get_sequence_bitmap_index(effects, sequence, 0, 0, nullptr, nullptr);
		EXPECT_TRUE(seen.count({effects, bitmap})) << "effects sequence " << sequence;
	}
}

// The demo's first thrown bomb followed close up: its glow in flight, then
// the sparks of its burst, whose 4-bit transparency the software path draws
// only for transparent surfaces. (Its flash lasts a tick, here behind the
// burst's dust; the OpenGL frame tests look at it.)
TEST_F(render_sprites, a_volleys_glow_and_sparks_show)
{
	ASSERT_TRUE(start(HARNESS_DEMO_MAP_TAG));
	const int16 effects = get_collection_index(DEFAULT_EFFECTS_COLLECTION_TAG);
	const int16 glow = get_sequence_bitmap_index(effects, _default_effects_glow_sequence, 0, 0, nullptr, nullptr);
	const int16 spark = get_sequence_bitmap_index(effects, _default_effects_spark_sequence, 0, 0, nullptr, nullptr);
	// The volley is followed from its first thrown bomb, whenever the battle
	// comes to it.
	ASSERT_TRUE(run_to_the_first_thrown_bomb(effects, _default_effects_glow_sequence, 3000));
	const int32 first_tick = game->game_time;
	const fixed zoom = 2 * FIXED_ONE;
	int32 shown[2] = {};
	for (int32 tick = first_tick; tick < first_tick + 90; ++tick)
	{
		ASSERT_EQ(harness_run_ticks(1), 1);
		follow_a_glowing_bomb(effects, _default_effects_glow_sequence, zoom);
		const bitmap_data *frame = draw(1024, 768, "volley_" + std::to_string(tick));
		ASSERT_NE(frame, nullptr);
		for (const drawn_sprite &sprite : drawn_sprites())
		{
			if (static_cast<int16>(bitmap_identifier_collection(sprite.texture)) != effects) continue;
			const int16 bitmap = static_cast<int16>(bitmap_identifier_bitmap(sprite.texture));
			const int32 kind = bitmap == glow ? 0 : bitmap == spark ? 1 : NONE;
			if (kind == NONE) continue;
			shown[kind] += count_sprite_pixels(frame, sprite.geometry, kind == 0).hue;
		}
	}
	EXPECT_GT(shown[0], 300) << "the glow's cyan";
	EXPECT_GT(shown[1], 200) << "the sparks' yellow";
}

// A bomb thrower killed by fire drops its bombs alight: each trails smoke,
// grey puffs and not more of the bomb's cyan glow (which read as a heap of
// bombs), and the charred bombs themselves are dark but never black.
TEST_F(render_sprites, a_burning_bomb_throwers_bombs_trail_grey_smoke)
{
	ASSERT_TRUE(start(HARNESS_DEMO_MAP_TAG));
	world_point2d spot;
	ASSERT_TRUE(burn_a_bomb_thrower(&spot));
	const int16 effects = get_collection_index(DEFAULT_EFFECTS_COLLECTION_TAG);
	const int16 glow = get_sequence_bitmap_index(effects, _default_effects_glow_sequence, 0, 0, nullptr, nullptr);
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
		const bitmap_data *frame = draw(1024, 768, "burning_bombs_" + std::to_string(tick));
		ASSERT_NE(frame, nullptr);
		for (const drawn_sprite &sprite : drawn_sprites(effects))
		{
			if (is_projectile_of_type(sprite.object_index, smoke))
			{
				puffs += 1;
				const sprite_pixels g = count_sprite_pixels(frame, sprite.geometry, smoke_grey);
				const sprite_pixels c = count_sprite_pixels(frame, sprite.geometry, glow_cyan);
				grey.area += g.area, grey.hue += g.hue, grey.black += g.black;
				cyan.hue += c.hue;
			}
			else if (bitmap_identifier_bitmap(sprite.texture) == glow &&
				bitmap_identifier_permutation(sprite.texture) == SMOKING_COLOR_PERMUTATION)
			{
				charred += 1;
				EXPECT_EQ(count_sprite_pixels(frame, sprite.geometry, glow_cyan).black, 0) << "a charred bomb at tick " << tick;
			}
		}
	}
	EXPECT_GT(charred, 30) << "the dropped bombs burn";
	EXPECT_GT(puffs, 30) << "and smoke";
	EXPECT_GT(grey.hue, grey.area / 4) << "the smoke is grey";
	EXPECT_LT(cyan.hue, grey.hue / 20) << "not the bomb's glow";
	EXPECT_EQ(grey.black, 0);
}

// An arrow in flight, followed close up, shows its wooden shaft and red vanes
// and its light steel head and feathers, and nothing near black: the pixels
// counted are those the arrow changes in the view drawn without it.
TEST_F(render_sprites, an_arrow_in_flight_shows_its_shaft_head_and_fletching)
{
	ASSERT_TRUE(start(HARNESS_DEMO_MAP_TAG));
	ASSERT_TRUE(run_to_the_first_arrow(3000));
	const int16 effects = get_collection_index(DEFAULT_EFFECTS_COLLECTION_TAG);
	const int16 arrow = get_sequence_bitmap_index(effects, _default_effects_arrow_sequence, 0, 0, nullptr, nullptr);
	const fixed zoom = 6 * FIXED_ONE;
	int32 quads = 0;
	sprite_pixels warm = {}, light = {};
	for (int32 tick = 0; tick < 20; ++tick)
	{
		follow_an_arrow(zoom);
		const std::vector<int16> hidden = hide_objects_of_sequence(effects, _default_effects_arrow_sequence);
		const std::vector<uint32> beneath = frame_pixels(draw(1024, 768));
		show_objects(hidden);
		const bitmap_data *frame = draw(1024, 768, "arrow_" + std::to_string(tick));
		ASSERT_NE(frame, nullptr);
		for (const drawn_quad &quad : drawn_quads(effects, arrow))
		{
			quads += 1;
			const sprite_pixels w = count_quad_pixels(frame, quad, arrow_warm, &beneath);
			warm.area += w.area, warm.black += w.black, warm.hue += w.hue;
			light.hue += count_quad_pixels(frame, quad, arrow_light, &beneath).hue;
		}
		ASSERT_EQ(harness_run_ticks(1), 1);
	}
	EXPECT_GE(quads, 20);
	EXPECT_GT(warm.area, 20 * 200) << "the arrow is drawn";
	EXPECT_EQ(warm.black, 0);
	EXPECT_GT(warm.hue, warm.area / 2) << "wood and red vanes";
	EXPECT_GT(light.hue, warm.area / 10) << "a steel head and white feathers";
}

// Projectiles take a tinting table: the masonry permutation is the stone
// tint, as on the hardware path, not a second copy of the plain colours.
TEST_F(render_sprites, a_projectiles_table_tints_by_permutation)
{
	ASSERT_TRUE(start(HARNESS_DEMO_MAP_TAG));
	const projectile_definition *bomb = get_projectile_definition(projectile_definition_tag_to_index(TAG("bomb")));
	ASSERT_NE(bomb, nullptr);
	const uint32 *plain = static_cast<const uint32 *>(get_shading_table(bomb->collection_index, bomb->color_table_index,
		_shading_table_normal));
	const uint32 *stone = static_cast<const uint32 *>(get_shading_table(bomb->collection_index, bomb->color_table_index,
		MASONARY_COLOR_PERMUTATION));
	ASSERT_TRUE(plain && stone);
	short_fixed fraction;
	rgb_color tint;
	const int16 mode = get_shading_table_permutation_data(MASONARY_COLOR_PERMUTATION, &fraction, &tint);
	std::vector<uint32> expected(256);
	build_shading_table(_32bit, _32bit_encoding, 1, get_color_table(bomb->collection_index, 0), expected.data(), mode,
		fraction, &tint, 0, nullptr);
	EXPECT_EQ(memcmp(stone, expected.data(), 256 * 4), 0);
	EXPECT_NE(memcmp(stone, plain, 256 * 4), 0);
}
