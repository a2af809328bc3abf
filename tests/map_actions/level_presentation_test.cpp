// The first level's presentation as played: its seven actions by name, its
// animals after every other marker, the ranking overlay's frame once the dawn
// has faded, the storm and the strike at their ticks, and its film replayed
// to the live trail.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "bitmaps.h"
#include "CoreLibrary/cseries/crc.h"
#include "map_actions/map_actions.h"
#include "memory.h"
#include "monster_definitions.h"
#include "monsters.h"
#include "objects.h"
#include "observer.h"
#include "particle_system.h"
#include "projectile_definitions.h"
#include "projectiles.h"
#include "render/render.h"
#include "main.h"
#include "recording_test_support.h"
#include "support/recording_harness.h"
#include "support/render_views.h"
#include "world.h"
#include "zerv.h"

namespace {

// The level's values that other content moves: re-pinned here only.
const int32 level_animal_count = 11;
// 640 x 480 at tick 100, the overlay's boxes over the level's first view; the same in both trees.
const uint32 level_overlay_frame_crc = 0xa66ed9c2u;

const char *const presentation_names[] = {"opening view", "dawn", "brook", "swirl", "storm", "strike", "thunder"};

class level_presentation : public zerv_harness_fixture
{
protected:
	void TearDown() override
	{
		harness_end_map();
		game->game_time = 0;
		zerv_harness_fixture::TearDown();
	}

	static bool is_animal(const monster_data *monster)
	{
		const monster_definition *kind = monster ? get_monster_definition(monster->type) : nullptr;
		return kind && kind->monster_class == _monster_class_ambient_life;
	}

	// The frame as the running game draws it, effects and overlay included.
	static uint32 overlay_frame(void)
	{
		bitmap_data *bitmap = new_bitmap(640, 480, 640 * 4, _32bit_encoding, 0);
		if (!bitmap) return 0;
		for (int32 row = 0; row < bitmap->height; ++row) memset(bitmap->row_addresses[row], 0, 640 * 4);
		const int16 state = game->state;
		game->state = _game_state_running;
		view_data view;
		memset(&view, 0, sizeof(view));
		build_observer_view(&view, 0);
		view.screen = bitmap;
		render_scene(&view);
		game->state = state;
		uint32 crc = 0xFFFFFFFFu;
		for (int32 row = 0; row < bitmap->height; ++row) crc = crc32_update(crc, bitmap->row_addresses[row], 640 * 4);
		dump_frame_when_asked(bitmap, "level_overlay");
		dispose_pointer(bitmap);
		return ~crc;
	}
};

TEST_F(level_presentation, the_level_opens_storms_strikes_and_replays_from_its_film)
{
	new_game_data setup;
	harness_level_setup(&setup);
	// The weather, the footprints and the shared flame and smoke groups the
	// map makes as it starts draw the machine's own stream: the same stream
	// whatever ran before in this process.
	set_local_random_seed(0x5EED);
	ASSERT_TRUE(harness_start_map(&setup));
	set_local_random_seed(0x5EED);

	for (const char *name : presentation_names)
	{
		int16 found = 0;
		for (int16 i = 0; i < MAXIMUM_MAP_ACTIONS_PER_MAP; ++i)
		{
			const char *action = get_map_action_name(i);
			if (action && !strcmp(action, name)) found += 1;
		}
		EXPECT_EQ(found, 1) << name;
	}

	// The animals' markers come after every other, so none takes record 0.
	std::vector<int16> animals;
	std::vector<world_point2d> starts;
	for (int16 i = 0; i < monster_array.count; ++i)
	{
		const monster_data *monster = get_monster_data(i);
		if (!monster) continue;
		if (!is_animal(monster)) continue;
		animals.push_back(i);
		const object_data *object = get_object_data(monster->object_index);
		starts.push_back({object->location.position.x, object->location.position.y});
	}
	ASSERT_EQ(static_cast<int32>(animals.size()), level_animal_count);
	EXPECT_NE(animals.front(), 0);

	// Between the dawn's end (60) and the overlay's (150).
	harness_run_ticks(100);
	const uint32 frame = overlay_frame();
	EXPECT_EQ(frame, level_overlay_frame_crc) << std::hex << " 0x" << frame;

	harness_run_ticks(200);
	// The armies and the ambush may kill an animal that strays near them; an
	// animal may rest a while, but most of the living have wandered.
	int32 living = 0, moved = 0;
	for (size_t a = 0; a < animals.size(); ++a)
	{
		const monster_data *monster = get_monster_data(animals[a]);
		if (!monster || !is_animal(monster)) continue;
		living += 1;
		const object_data *object = get_object_data(monster->object_index);
		moved += object->location.position.x != starts[a].x || object->location.position.y != starts[a].y;
	}
	EXPECT_GT(living, 0);
	EXPECT_GE(2 * moved, living) << moved << " of " << living << " living animals moved";

	harness_run_ticks(640 - game->game_time);
	const short_fixed calm = get_particle_globals()->target_particle_number_multiplier;
	harness_run_ticks(2);
	EXPECT_EQ(get_particle_globals()->target_particle_number_multiplier, 384);
	EXPECT_NE(calm, 384);

	// One bolt from the storm at 896, at the nearest of team 1's army; the
	// casters' own bolts have owners.
	const int16 bolt = projectile_definition_tag_to_index(TAG("bolt"));
	ASSERT_NE(bolt, NONE);
	auto storm_bolts = [bolt](std::vector<int16> *targets)
	{
		int32 count = 0;
		for (int16 p = 0; p < projectile_array.count; ++p)
		{
			const projectile_data *projectile = get_projectile_data(p);
			if (!projectile || projectile->type != bolt || projectile->owner_monster_index != NONE) continue;
			count += 1;
			const monster_data *target = get_monster_data(projectile->target_monster_index);
			if (targets) targets->push_back(target ? target->identifier : static_cast<int16>(NONE));
		}
		return count;
	};
	harness_run_ticks(895 - game->game_time);
	EXPECT_EQ(storm_bolts(nullptr), 0);
	harness_run_ticks(2);
	std::vector<int16> targets;
	EXPECT_EQ(storm_bolts(&targets), 1);
	// One of the computer's units.
	for (int16 identifier : targets)
	{
		EXPECT_GE(identifier, 31);
		EXPECT_LE(identifier, 54);
	}

	const std::vector<harness_digest_entry> live = harness_digest_trail();
	ASSERT_TRUE(harness_replay_film());
	harness_run_replay(1);
	expect_same_trail(harness_digest_trail(), live);
}

} // namespace
