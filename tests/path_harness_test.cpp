// Searches, layouts and a move order on the demo valley, written as trails
// that the 64-bit and 32-bit builds must write identically.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CoreLibrary/zerv/commands.h"
#include "formations.h"
#include "monster_commands.h"
#include "monsters.h"
#include "objects.h"
#include "zerv.h"
#include "mesh.h"
#include "path.h"
#include "support/zerv_harness.h"

class path_harness : public zerv_harness_fixture {};

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer allocator sees every block: malloc, new_pointer and operator new alike.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void *, size_t),
	void (*free_hook)(const volatile void *));
volatile int32 harness_allocations_seen = 0;
volatile bool harness_counting_allocations = false;
void harness_count_allocation(const volatile void *, size_t)
{
	if (harness_counting_allocations) harness_allocations_seen = harness_allocations_seen + 1;
}
void harness_ignore_free(const volatile void *) {}
#endif

// Among real units the obstacle search and the avoidance point run, and
// allocate nothing either. Each unit keeps a live path to a neighbour, so the
// adjustment goes on to gather its obstacles.
TEST_F(path_harness, obstacle_searches_among_units_allocate_nothing)
{
#if defined(__SANITIZE_ADDRESS__)
	static const bool installed = __sanitizer_install_malloc_and_free_hooks(harness_count_allocation, harness_ignore_free) != 0;
	ASSERT_TRUE(installed);
#endif
	new_game_data setup;
	harness_battle_setup(&setup, TAG("demo"));
	ASSERT_TRUE(harness_start_map(&setup));
	std::vector<int16> units;
	for (int16 i = 0; i < monster_array.count; ++i)
	{
		const monster_data *monster = get_monster_data(i);
		if (monster && monster->owner_team_index == 0) units.push_back(i);
	}
	ASSERT_GE(units.size(), 2u);
	int32 searched = 0, pulled_back = 0;
#if defined(__SANITIZE_ADDRESS__)
	harness_allocations_seen = 0;
	harness_counting_allocations = true;
#endif
	for (int32 pass = 0; pass < 50; ++pass)
	{
		for (size_t k = 0; k + 1 < units.size(); ++k)
		{
			monster_data *monster = get_monster_data(units[k]);
			const object_data *other = get_object_data(get_monster_data(units[k + 1])->object_index);
			const object_data *own = get_object_data(monster->object_index);
			// Aimed at a neighbour: the destination is pulled back out of it.
			monster->flags &= ~static_cast<uint32>(_monster_has_valid_target_index_flag);
			path_variables v = {};
			v.terrain_impassability_flags = monster->terrain_impassability_flags;
			v.owner_object_index = monster->object_index;
			v.p0 = {own->location.position.x, own->location.position.y};
			v.p1 = {other->location.position.x, other->location.position.y};
			delete_path(&monster->path_index);
			monster->path_index = new_path(units[k], &v);
			if (monster->path_index == PATH_MUST_BE_RECOMPUTED) monster->path_index = NONE;
			if (!get_path_data(monster->path_index)) continue;
			adjust_path_destination_for_obstacles(units[k]);
			searched += get_obstruction_avoidance_globals()->obstacle_count > 0;
			pulled_back += monster->path_destination.x != other->location.position.x ||
				monster->path_destination.y != other->location.position.y;
			delete_path(&monster->path_index);
		}
	}
#if defined(__SANITIZE_ADDRESS__)
	harness_counting_allocations = false;
	EXPECT_EQ(harness_allocations_seen, 0);
#endif
	EXPECT_GE(searched, 50) << "the obstacle search found the neighbours";
	EXPECT_GT(pulled_back, 0);
	harness_end_map();
}

TEST_F(path_harness, searches_and_layouts_on_the_demo_valley_agree_across_builds)
{
	new_game_data setup;
	harness_demo_setup(&setup);
	ASSERT_TRUE(harness_start_map(&setup));
	ASSERT_TRUE(mesh_is_loaded());
	const int32 width = mesh_globals->mesh_width * WORLD_ONE, height = mesh_globals->mesh_height * WORLD_ONE;
	uint32 seed = 0x5EA7C4u;
	auto next = [&seed](int32 n) {
		seed = seed * 1664525u + 1013904223u;
		return static_cast<int32>((seed >> 8) % static_cast<uint32>(n));
	};
	std::vector<harness_digest_entry> trail;
	for (int32 i = 0; i < 300; ++i)
	{
		path_variables v = {};
		v.terrain_impassability_flags = static_cast<uint16>(FLAG(_terrain_media_human_depth) |
			FLAG(_terrain_media_giant_depth) | FLAG(_terrain_media_deep) | FLAG(_terrain_walking_impassable));
		v.p0 = {next(width), next(height)};
		v.p1 = {next(width), next(height)};
		int16 index = new_path(NONE, &v);
		zerv_digest digest;
		zerv_digest_begin(&digest);
		zerv_digest_int16(&digest, index);
		zerv_digest_int16(&digest, static_cast<int16>(v.flags));
		zerv_digest_int32(&digest, v.p1.x);
		zerv_digest_int32(&digest, v.p1.y);
		if (const postprocessed_path_data *p = get_path_data(index))
		{
			zerv_digest_int32(&digest, p->waypoint.x);
			zerv_digest_int32(&digest, p->waypoint.y);
		}
		delete_path(&index);
		trail.push_back({i, digest.hash});
	}
	// Every layout, the floating-point ones at both versions.
	for (const int16 version : {static_cast<int16>(1300), static_cast<int16>(1720)})
	{
		game_play_version = version;
		for (int16 type = 0; type < MAXIMUM_NUMBER_OF_FORMATIONS; ++type)
		{
			world_point2d points[126];
			angle facings[126];
			const world_point2d center = {next(width), next(height)};
			build_formation(NONE, type, &center, points, facings, static_cast<angle>(next(65536)), 103);
			zerv_digest digest;
			zerv_digest_begin(&digest);
			zerv_digest_bytes(&digest, points, static_cast<int32>(103 * sizeof(world_point2d)));
			zerv_digest_bytes(&digest, facings, static_cast<int32>(103 * sizeof(angle)));
			trail.push_back({1000 + version + type, digest.hash});
		}
	}
	EXPECT_TRUE(harness_write_test_digest_trail(trail));
	harness_end_map();
}

namespace {

// Player 0's units on 'demo', ordered in box formation to the valley's middle
// through the real builder, executed at tick 20, the first tick the intake
// has not covered; then the game runs on. Returns the digest trail from the start.
std::vector<harness_digest_entry> demo_move_order_trail(int16 elapsed, int32 *moved, int32 *order_tick)
{
	new_game_data setup;
	harness_demo_setup(&setup);
	EXPECT_TRUE(harness_start_map(&setup));
	if (!game || !mesh_is_loaded()) return {};
	// Frame splits cover different ticks ahead: run until the first tick the
	// intake has not covered is the same in every run.
	while (game->target_time < 20 && harness_run_ticks(elapsed, elapsed) > 0) {}
	std::vector<int16> units;
	std::vector<world_point2d> before;
	for (int16 i = 0; i < monster_array.count && units.size() < MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND; ++i)
	{
		const monster_data *monster = get_monster_data(i);
		const object_data *object = monster ? get_object_data(monster->object_index) : nullptr;
		if (!object || monster->owner_player_index != 0) continue;
		units.push_back(i);
		before.push_back({object->location.position.x, object->location.position.y});
	}
	EXPECT_FALSE(units.empty());
	command_movement_data data = {};
	data.flags = _command_movement_formation_flag;
	data.formation_index = _formation_box;
	const world_point2d destination = {mesh_globals->mesh_width * WORLD_ONE / 2, mesh_globals->mesh_height * WORLD_ONE / 2};
	handle_movement_command(NONE, &data, static_cast<int16>(units.size()), units.data(), 1, &destination);
	harness_command_script script;
	*order_tick = game->target_time;
	harness_capture_commands(game->target_time, 0, &script);
	EXPECT_EQ(script.size(), 1u);
	harness_set_command_script(script);
	harness_run_ticks(152, elapsed);
	*moved = 0;
	for (size_t i = 0; i < units.size(); ++i)
	{
		const monster_data *monster = get_monster_data(units[i]);
		const object_data *object = monster ? get_object_data(monster->object_index) : nullptr;
		if (object && (object->location.position.x != before[i].x || object->location.position.y != before[i].y)) *moved += 1;
	}
	std::vector<harness_digest_entry> trail = harness_digest_trail();
	harness_set_command_script({});
	harness_end_map();
	return trail;
}

} // namespace

TEST_F(path_harness, a_move_order_on_the_demo_valley_repeats_across_runs_frame_splits_and_builds)
{
	int32 moved = 0, tick = 0, other_tick = 0;
	const std::vector<harness_digest_entry> first = demo_move_order_trail(1, &moved, &tick);
	ASSERT_GT(first.size(), 150u);
	EXPECT_GT(moved, 0);
	harness_clear_digest_trail();
	const std::vector<harness_digest_entry> second = demo_move_order_trail(1, &moved, &other_tick);
	EXPECT_EQ(other_tick, tick);
	harness_clear_digest_trail();
	const std::vector<harness_digest_entry> split = demo_move_order_trail(4, &moved, &other_tick);
	EXPECT_EQ(other_tick, tick);
	ASSERT_EQ(second.size(), first.size());
	// The split run stops a few ticks earlier: compare what both ran.
	ASSERT_GT(split.size(), 150u);
	for (size_t i = 0; i < first.size(); ++i)
	{
		EXPECT_EQ(second[i].game_time, first[i].game_time);
		EXPECT_EQ(second[i].digest, first[i].digest) << "tick " << first[i].game_time;
		if (i >= split.size()) continue;
		EXPECT_EQ(split[i].game_time, first[i].game_time);
		EXPECT_EQ(split[i].digest, first[i].digest) << "tick " << first[i].game_time;
	}
	EXPECT_TRUE(harness_write_test_digest_trail(first));
}

// A peer's formation definition that could not be laid out (a row that never
// fills, a zero arc or spacing) is refused with the command; a sound one passes.
TEST_F(path_harness, the_sync_formation_command_refuses_a_definition_that_cannot_be_laid_out)
{
	new_game_data setup;
	harness_demo_setup(&setup);
	ASSERT_TRUE(harness_start_map(&setup));
	command_validation_limits limits;
	get_command_validation_limits(&limits, TRUE);
	const auto reason_for = [&limits](void (*change)(formation_definition *)) {
		formation_definition d = *get_default_formation_definition();
		change(&d);
		handle_sync_formation_command(COMMAND_FROM_STREAM, &d);
		void *command = dequeue_outgoing_command();
		EXPECT_NE(command, nullptr);
		if (!command) return std::string("not queued");
		command_header header;
		command_read_header(command, &header);
		header.player_index = 1;
		command_write_header(command, &header);
		const char *reason = nullptr;
		const boolean valid = command_payload_is_valid(command, &limits, &reason);
		return valid ? std::string() : std::string(reason ? reason : "?");
	};
	EXPECT_EQ(reason_for([](formation_definition *) {}), "");
	EXPECT_EQ(reason_for([](formation_definition *d) { d->unused = 9; }), "");
	EXPECT_EQ(reason_for([](formation_definition *d) { d->maximum_units_per_short_line_row = 0; }),
		"bad formation definition");
	EXPECT_EQ(reason_for([](formation_definition *d) { d->maximum_units_per_long_line_row = -3; }),
		"bad formation definition");
	EXPECT_EQ(reason_for([](formation_definition *d) { d->shallow_encirclement_arc_length = 0; }),
		"bad formation definition");
	EXPECT_EQ(reason_for([](formation_definition *d) { d->minimum_mob_unit_separation = 0; }),
		"bad formation definition");
	EXPECT_EQ(reason_for([](formation_definition *d) { d->minimum_encirclement_radius = 0; }),
		"bad formation definition");
	harness_end_map();
}
