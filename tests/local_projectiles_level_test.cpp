// The first level played and drawn in software: the particle groups its
// units, projectiles, rain and markers make are judged by the surfaces the
// frames hand the rasterizer and by the pixels, not by how many exist.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "bitmaps.h"
#include "lightning.h"
#include "CoreLibrary/cseries/crc.h"
#include "CoreLibrary/cseries/tags_and_strings.h"
#include "local_projectiles.h"
#include "memory.h"
#include "mesh.h"
#include "objects.h"
#include "observer.h"
#include "projectile_definitions.h"
#include "projectiles.h"
#include "render/render.h"
#include "shapes.h"
#include "support/render_views.h"
#include "support/zerv_harness.h"
#include "world.h"
#include "zerv.h"

namespace {

const file_tag kind_tags[] = {TAG("blod"), TAG("debr"), TAG("rppl"), TAG("swrl")};
const int32 number_of_kinds = static_cast<int32>(NUMBEROF(kind_tags));
const int32 blood = 0, debris = 1, ripples = 2;

class local_projectiles_level : public zerv_harness_fixture
{
protected:
	void TearDown() override
	{
		if (screen) dispose_pointer(screen);
		harness_end_map();
		zerv_harness_fixture::TearDown();
	}

	// The first level started on a fixed machine stream, its kinds learnt,
	// and a 320 x 240 screen to draw it in.
	void start_level(void)
	{
		new_game_data setup;
		harness_level_setup(&setup);
		set_local_random_seed(0x5EED);
		ASSERT_TRUE(harness_start_map(&setup));
		set_local_random_seed(0x5EED);
		learn_kinds();
		screen = new_bitmap(320, 240, 320 * 4, _32bit_encoding, 0);
		ASSERT_NE(screen, nullptr);
	}

	// The particle sprites of each kind, as (collection, bitmap) pairs.
	void learn_kinds(void)
	{
		for (int32 k = 0; k < number_of_kinds; ++k)
		{
			types[k] = local_projectile_group_definition_tag_to_index(kind_tags[k]);
			ASSERT_NE(types[k], NONE);
			const local_projectile_group_definition *definition = get_local_projectile_group_definition(types[k]);
			const int16 collection = definition->collection_index;
			const int16 sequence = definition->sequence_indexes[0];
			const int32 count = count_sequence_bitmaps(collection, sequence, _count_sequence_bitmaps);
			ASSERT_GT(count, 0);
			for (int32 i = 0; i < count; ++i)
			{
				sprites[k].insert({collection, get_sequence_bitmap_index(collection, sequence, NONE,
					static_cast<int16>(i), nullptr, nullptr)});
			}
		}
	}

	uint32 render(int32 elapsed)
	{
		for (int32 row = 0; row < screen->height; ++row) memset(screen->row_addresses[row], 0, screen->width * 4);
		view_data view;
		prepare_observer_view(&view, screen, elapsed);
		render_scene(&view);
		uint32 crc = 0xFFFFFFFFu;
		for (int32 row = 0; row < screen->height; ++row) crc = crc32_update(crc, screen->row_addresses[row], screen->width * 4);
		return ~crc;
	}

	std::vector<uint32> pixels(void) const
	{
		std::vector<uint32> copy;
		for (int32 row = 0; row < screen->height; ++row)
		{
			const uint32 *line = reinterpret_cast<const uint32 *>(screen->row_addresses[row]);
			copy.insert(copy.end(), line, line + screen->width);
		}
		return copy;
	}

	// The least transparency of each kind's sprites in the last frame.
	void note_drawn(int32 least[])
	{
		for (int32 k = 0; k < number_of_kinds; ++k) least[k] = 65536;
		for (render_surface *s = last_render_surface_list()->first_surface; s; s = s->next_surface)
		{
			if (surface_subtype(s) != _surface_subtype_object_rectangle) continue;
			const render_rectangle *rectangle = reinterpret_cast<render_rectangle *>(s);
			if (rectangle->object_index != NONE) continue;
			const std::pair<int16, int16> sprite = {bitmap_identifier_collection(rectangle->texture),
				bitmap_identifier_bitmap(rectangle->texture)};
			for (int32 k = 0; k < number_of_kinds; ++k)
			{
				if (sprites[k].count(sprite)) least[k] = std::min<int32>(least[k], s->transparency);
			}
		}
	}

	// Where a group of a kind not yet seen drawn has a particle (or starts one).
	bool target_of(const bool seen[], world_point2d *target)
	{
		for (int32 k = 0; k < number_of_kinds; ++k)
		{
			if (seen[k]) continue;
			for (int16 g = 0; g < local_projectile_group_array.count; ++g)
			{
				const local_projectile_group_data *group = get_local_projectile_group_data(g);
				if (!group || group->type != types[k]) continue;
				const local_projectile_data *particle = get_local_projectile_data(group->first_projectile_index);
				*target = {group->center.x + (particle ? particle->offset.x : 0),
					group->center.y + (particle ? particle->offset.y : 0)};
				// Splashes and ripples are made only where the camera looks.
				if (k == ripples && !particle) *target = animated_lake_centre();
				return true;
			}
		}
		return false;
	}

	bitmap_data *screen = nullptr;
	int16 types[number_of_kinds] = {};
	std::set<std::pair<int16, int16>> sprites[number_of_kinds];
};

}

TEST_F(local_projectiles_level, the_first_level_draws_its_blood_debris_ripples_and_swirl)
{
	ASSERT_NO_FATAL_FAILURE(start_level());

	const int32 step = 3;
	bool seen[number_of_kinds] = {};
	bool compared = false;
	std::set<std::pair<int16, int16>> followed_through_fog;
	int32 faint = 0;
	std::string first_faint;
	observer_location camera;
	get_observer_location(&camera);
	// Past the dawn's fade from black, so that what is drawn can be seen.
	harness_run_ticks(60);
	while (game->game_time < 1500)
	{
		if (harness_run_ticks(step) == 0) break;
		world_point2d target;
		if (target_of(seen, &target))
		{
			camera.position = target;
			set_actual_observer_location_and_zoom(&camera, nullptr);
		}
		render(step);
		int32 least[number_of_kinds];
		note_drawn(least);
		for (int32 k = 0; k < number_of_kinds; ++k)
		{
			if (seen[k] || least[k] >= 65535) continue;
			seen[k] = true;
			dump_frame_when_asked(screen, std::string("level_") + tag_to_string(kind_tags[k]));
		}

		// A burst of blood or debris in view changes the frame's pixels: the
		// same frame without those particles differs.
		// A bolt's drawing takes a new shape every frame: none may be in the air.
		bool bolt = false;
		for (int16 l = 0; l < MAXIMUM_LIGHTNING_STRIKES_PER_MAP; ++l) bolt = bolt || get_lightning_data(l) != nullptr;
		if (!compared && !bolt && (least[blood] <= 65535 || least[debris] <= 65535))
		{
			compared = true;
			dump_frame_when_asked(screen, "level_burst");
			// Drawn again without elapsed time, the frame settles.
			const uint32 again = render(0);
			ASSERT_EQ(render(0), again);
			const std::vector<uint32> with = pixels();
			std::vector<int16> hidden;
			for (int16 g = 0; g < local_projectile_group_array.count; ++g)
			{
				local_projectile_group_data *group = get_local_projectile_group_data(g);
				if (!group || (group->type != types[blood] && group->type != types[debris]) ||
					(group->flags & _group_is_never_visible_flag))
				{
					continue;
				}
				group->flags |= _group_is_never_visible_flag;
				hidden.push_back(g);
			}
			render(0);
			dump_frame_when_asked(screen, "level_burst_without_it");
			const std::vector<uint32> without = pixels();
			for (int16 g : hidden) get_local_projectile_group_data(g)->flags &= ~_group_is_never_visible_flag;
			EXPECT_EQ(render(0), again) << "the particles are back";
			// A sprite drawn fully transparent still tints its pixels a little.
			int32 changed = 0;
			for (size_t i = 0; i < with.size(); ++i)
			{
				int32 most = 0;
				for (int32 shift = 0; shift < 24; shift += 8)
				{
					most = std::max(most, std::abs(static_cast<int32>((with[i] >> shift) & 0xFF) -
						static_cast<int32>((without[i] >> shift) & 0xFF)));
				}
				changed += most > 32;
			}
			// The burst's drops are drawn where the machine's stream puts them,
			// a stream the flames share, and a chip's shade is faint: half a
			// dozen plain pixels at the least.
			EXPECT_GE(changed, 6) << "pixels the burst changes plainly";
		}

		// Groups the fog does not govern keep the full opacity their makers
		// gave them; the shared flame and smoke groups are never drawn.
		for (int16 g = 0; g < local_projectile_group_array.count; ++g)
		{
			const local_projectile_group_data *group = get_local_projectile_group_data(g);
			if (!group || (group->flags & _group_is_never_visible_flag)) continue;
			const std::pair<int16, int16> key = {g, group->identifier};
			const object_data *central = get_object_data(group->central_object_index);
			if (central && (central->flags & _object_respects_monster_visibility_flag)) followed_through_fog.insert(key);
			if (followed_through_fog.count(key) || group->group_opacity == 65535) continue;
			if (!faint++) first_faint = "type " + std::to_string(group->type) + " at tick " + std::to_string(game->game_time);
		}
	}
	EXPECT_EQ(faint, 0) << "groups below full opacity, the first of " << first_faint;
	EXPECT_TRUE(compared) << "no blood or debris was drawn";
	for (int32 k = 0; k < number_of_kinds; ++k)
	{
		EXPECT_TRUE(seen[k]) << "no visible surface of '" << tag_to_string(kind_tags[k]) << "'";
	}
}

namespace {

// The mean of the red, green and blue bytes of a box of a 32-bit frame.
double box_mean(const std::vector<uint32> &pixels, int32 width, int32 x0, int32 y0, int32 x1, int32 y1)
{
	int64 sum = 0, count = 0;
	for (int32 y = y0; y < y1; ++y)
	{
		for (int32 x = x0; x < x1; ++x)
		{
			const uint32 p = pixels[static_cast<size_t>(y * width + x)];
			sum += ((p >> 16) & 255) + ((p >> 8) & 255) + (p & 255);
			count += 3;
		}
	}
	return count ? static_cast<double>(sum) / static_cast<double>(count) : 0.0;
}

}

// A volley of six bombs lands on a quiet cell of the level (6, 5) and bursts,
// drawn in software looking north at it (the cell fills the box 130-190 x
// 80-120 of the frame). The chips each burst throws shade the ground under
// them, a few scattered marks: in no frame of the bursts does the debris
// darken any 4 x 4 block round the burst (110-210 x 60-140) below the floor,
// against the same frame drawn without it.
TEST_F(local_projectiles_level, a_volley_s_debris_shades_the_ground_without_blotting_it)
{
	ASSERT_NO_FATAL_FAILURE(start_level());
	const int32 cell_x = 6, cell_y = 5;
	const observer_location look = {{static_cast<world_distance>(cell_x * WORLD_ONE + WORLD_ONE / 2),
		static_cast<world_distance>(cell_y * WORLD_ONE + WORLD_ONE / 2)}, QUARTER_CIRCLE, 0};
	const fixed zoom = 2 * FIXED_ONE;
	const auto frame = [&](int32 ticks) {
		harness_run_ticks(ticks);
		set_actual_observer_location_and_zoom(&look, &zoom);
		render(ticks);
	};
	// Past the level's fade from black.
	for (int32 i = 0; i < 120; ++i) frame(1);

	// Six bombs lobbed short, landing a few texels apart; their fuses burst them in turn.
	const int16 bomb = projectile_definition_tag_to_index(TAG("bomb"));
	ASSERT_NE(bomb, NONE);
	for (int32 i = 0; i < 6; ++i)
	{
		new_projectile_data request = {};
		request.type = bomb;
		request.damage_scale = 256;
		request.owner_monster_index = request.owner_projectile_index = request.owner_object_index = NONE;
		request.target_monster_index = NONE;
		const world_point2d where = {static_cast<world_distance>(cell_x * WORLD_ONE + WORLD_ONE / 2 + 96 * (i % 3) - 96),
			static_cast<world_distance>(cell_y * WORLD_ONE + WORLD_ONE / 2 + 128 * (i / 3) - 64)};
		request.location.position = {where.x, where.y, static_cast<world_distance>(get_mesh_height(&where, _true_height) + 128)};
		request.location.velocity = {static_cast<short_world_distance>(4 * (i % 3) - 4), 0, 8};
		request.target_location = request.location.position;
		ASSERT_NE(new_projectile(&request), NONE) << i;
	}

	double floor_seen = 1.0;
	int32 frames_with_debris = 0;
	for (int32 tick = 0; tick < 180; ++tick)
	{
		frame(1);
		int32 least[number_of_kinds];
		note_drawn(least);
		if (least[debris] > 65535) continue;
		frames_with_debris += 1;
		const std::vector<uint32> with = pixels();
		std::vector<int16> hidden;
		for (int16 g = 0; g < local_projectile_group_array.count; ++g)
		{
			local_projectile_group_data *group = get_local_projectile_group_data(g);
			if (!group || group->type != types[debris] || (group->flags & _group_is_never_visible_flag)) continue;
			group->flags |= _group_is_never_visible_flag;
			hidden.push_back(g);
		}
		// The terrain's shades are built again only for a new tick or a moved
		// camera: a step aside and back draws the ground without the chips.
		observer_location aside = look;
		aside.position.x += 1;
		set_actual_observer_location_and_zoom(&aside, &zoom);
		render(0);
		set_actual_observer_location_and_zoom(&look, &zoom);
		render(0);
		const std::vector<uint32> without = pixels();
		for (int16 g : hidden) get_local_projectile_group_data(g)->flags &= ~_group_is_never_visible_flag;
		double darkest = 1.0;
		for (int32 by = 60; by < 140; by += 4)
		{
			for (int32 bx = 110; bx < 210; bx += 4)
			{
				const double plain = box_mean(without, screen->width, bx, by, bx + 4, by + 4);
				if (plain > 0) darkest = std::min(darkest, box_mean(with, screen->width, bx, by, bx + 4, by + 4) / plain);
			}
		}
		if (darkest < floor_seen)
		{
			floor_seen = darkest;
			dump_frame_when_asked(screen, "volley_without_debris");
			set_actual_observer_location_and_zoom(&aside, &zoom);
			render(0);
			set_actual_observer_location_and_zoom(&look, &zoom);
			render(0);
			dump_frame_when_asked(screen, "volley_debris_darkest");
		}
	}
	EXPECT_GT(frames_with_debris, 10);
	// Chip shades a cell across stacked into a blot at half the light (0.47);
	// chip-sized ones leave the darkest block at about four fifths.
	EXPECT_GT(floor_seen, 0.7) << "the darkest block against the ground without the debris";
}
