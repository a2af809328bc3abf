// Whole games through the headless harness, and the determinism of their
// per-tick digest trails.
#include <gtest/gtest.h>

#include <vector>

#include "CoreLibrary/cseries/test_hooks.h"
#include "CoreLibrary/zerv/directions.h"
#include "markers.h"
#include "mesh.h"
#include "monster_visibility.h"
#include "objects.h"
#include "players.h"
#include "support/zerv_harness.h"
#include "world.h"
#include "zerv.h"

namespace {

// The default game runs 18000 ticks after its pregame; the tests that play it
// several times play a shorter one (the whole length is checked once).
constexpr int32 SHORT_GAME_TIME_LIMIT = 3600;

class zerv_harness : public zerv_harness_fixture
{
protected:
	// Plays the setup to its end in frames of elapsed ticks; the trail of it.
	std::vector<harness_digest_entry> play(new_game_data *setup, int16 elapsed)
	{
		EXPECT_TRUE(harness_start_map(setup));
		if (elapsed > maximum_ticks_per_frame_table[_game_type_local]) set_maximum_ticks_per_frame(elapsed);
		for (int32 frame = 0; frame < 100000 && !harness_game_is_finished(); ++frame)
		{
			harness_run_frames(1, elapsed);
		}
		std::vector<harness_digest_entry> trail = harness_digest_trail();
		harness_end_map();
		return trail;
	}

	static void expect_same_trail(const std::vector<harness_digest_entry> &a, const std::vector<harness_digest_entry> &b)
	{
		ASSERT_EQ(a.size(), b.size());
		for (size_t i = 0; i < a.size(); ++i)
		{
			ASSERT_EQ(a[i].game_time, b[i].game_time) << "entry " << i;
			ASSERT_EQ(a[i].digest, b[i].digest) << "game time " << a[i].game_time;
		}
	}
};

TEST_F(zerv_harness, the_default_local_game_ends_at_18300_with_a_defeat)
{
	new_game_data setup;
	harness_default_setup(&setup);
	ASSERT_TRUE(harness_start_map(&setup));
	service_trace_enable(true);

	int32 frames = 0;
	while (!harness_game_is_finished() && frames < 40000)
	{
		harness_run_frames(1, 1);
		frames += 1;
	}
	EXPECT_EQ(game->game_time, 18300);
	EXPECT_EQ(game->endgame_state, _endgame_state_defeat);
	EXPECT_EQ(game->game_time_at_end, 18000);
	EXPECT_TRUE(game_flags_test(_game_is_over_flag));
	EXPECT_EQ(get_zerv_test_hooks()->game_over_count, 1);
	EXPECT_EQ(service_trace_find("zerv_game_is_over", 0) != NONE, true);

	// Later frames run no ticks and never end the game again.
	harness_run_frames(50, 4);
	EXPECT_EQ(game->game_time, 18300);
	EXPECT_EQ(get_zerv_test_hooks()->game_over_count, 1);

	const std::vector<harness_digest_entry> &trail = harness_digest_trail();
	ASSERT_EQ(trail.size(), 18300u);
	EXPECT_EQ(trail.front().game_time, 1);
	EXPECT_EQ(trail.back().game_time, 18300);
	std::vector<harness_named_trail> trails = {{"default local game", trail}};
	harness_end_map();

	// The trail the 64-bit and 32-bit trees compare: this game, then 'demo'
	// with four players, so that terrain, markers and teams are covered too.
	new_game_data demo;
	harness_demo_setup(&demo, 4);
	ASSERT_TRUE(harness_start_map(&demo));
	// Run to its finish: the map's script ends it.
	harness_run_ticks(40000);
	EXPECT_TRUE(harness_game_is_finished());
	EXPECT_NE(game->winning_team_index, NONE) << "the battle has a winner";
	trails.push_back({"demo, four players", harness_digest_trail()});
	harness_end_map();

	// The fog is per machine and stays out of the state digest: its own
	// trail, every 64 ticks of the first 1024 of 'demo' (a side has fallen by
	// tick 1400 or so).
	new_game_data fog;
	harness_demo_setup(&fog, 4);
	ASSERT_TRUE(harness_start_map(&fog));
	std::vector<harness_digest_entry> visibility;
	for (int32 i = 0; i < 16 && !harness_game_is_finished(); ++i)
	{
		harness_run_ticks(64);
		visibility.push_back({game->game_time, static_cast<uint64>(monster_visibility_digest())});
	}
	EXPECT_EQ(visibility.size(), 16u);
	trails.push_back({"demo visibility every 64 ticks", visibility});
	harness_end_map();

	// The benchmark battle: 400 units for 600 ticks.
	new_game_data battle;
	harness_battle_setup(&battle, TAG("bnch"));
	ASSERT_TRUE(harness_start_map(&battle));
	EXPECT_EQ(harness_run_ticks(600), 600);
	trails.push_back({"bnch battle, 600 ticks", harness_digest_trail()});
	harness_end_map();
	EXPECT_TRUE(harness_write_digest_trails(ZERV_BINARY_DIR "/digest_trail.txt", trails));
}

TEST_F(zerv_harness, two_runs_leave_identical_trails)
{
	new_game_data setup;
	harness_default_setup(&setup);
	setup.parameters.time_limit = SHORT_GAME_TIME_LIMIT;
	const std::vector<harness_digest_entry> first = play(&setup, 1);
	const std::vector<harness_digest_entry> second = play(&setup, 1);
	ASSERT_EQ(first.size(), static_cast<size_t>(SHORT_GAME_TIME_LIMIT + 300));
	expect_same_trail(first, second);
}

TEST_F(zerv_harness, frame_splits_do_not_change_the_trail)
{
	new_game_data setup;
	harness_default_setup(&setup);
	setup.parameters.time_limit = SHORT_GAME_TIME_LIMIT;
	const std::vector<harness_digest_entry> single = play(&setup, 1);
	const std::vector<harness_digest_entry> threes = play(&setup, 3);
	const std::vector<harness_digest_entry> large = play(&setup, 1800);
	expect_same_trail(single, threes);
	expect_same_trail(single, large);
}

TEST_F(zerv_harness, a_map_after_another_matches_a_fresh_one)
{
	new_game_data b;
	harness_default_setup(&b);
	b.parameters.time_limit = SHORT_GAME_TIME_LIMIT;
	const std::vector<harness_digest_entry> fresh = play(&b, 4);

	new_game_data a;
	harness_default_setup(&a);
	a.parameters.random_seed = 99;
	a.parameters.time_limit = 900;
	a.parameters.pregame_time_limit = 60;
	ASSERT_TRUE(harness_start_map(&a));
	game->speed = _game_speed_four_times;
	harness_run_frames(77, 3);
	suspend_end_game(TRUE);
	end_game(TRUE);
	harness_run_frames(5, 2);
	harness_end_map();

	expect_same_trail(fresh, play(&b, 4));
}

// The core started, ended and started again in one process plays the demo
// map as it did the first time.
TEST_F(zerv_harness, a_restarted_core_plays_the_same_trail)
{
	std::vector<harness_digest_entry> trails[2];
	for (int32 run = 0; run < 2; ++run)
	{
		if (run == 1)
		{
			harness_shutdown();
			ASSERT_TRUE(harness_initialize());
		}
		new_game_data setup;
		harness_demo_setup(&setup, 4);
		ASSERT_TRUE(harness_start_map(&setup));
		ASSERT_EQ(harness_run_ticks(200), 200);
		trails[run] = harness_digest_trail();
		harness_end_map();
	}
	expect_same_trail(trails[0], trails[1]);
}

TEST_F(zerv_harness, digests_see_the_seed_and_the_clock)
{
	new_game_data setup;
	harness_default_setup(&setup);
	ASSERT_TRUE(harness_start_map(&setup));
	const uint64 before = zerv_state_digest();
	EXPECT_EQ(zerv_state_digest(), before);
	game->game_time += 1;
	EXPECT_NE(zerv_state_digest(), before);
	game->game_time -= 1;
	// What depends on how ticks fall into frames stays out.
	game_local_time_set(1234);
	game->fractional_local_time = 77;
	game->reserve_time = 9;
	EXPECT_EQ(zerv_state_digest(), before);
	harness_end_map();
}

/* ---------- the demo map with four players */

TEST_F(zerv_harness, demo_starts_through_the_core_with_four_players)
{
	new_game_data setup;
	harness_demo_setup(&setup, 4);
	ASSERT_TRUE(harness_start_map(&setup));
	ASSERT_TRUE(mesh_is_loaded());

	EXPECT_EQ(mesh_globals->mesh_width, 64);
	EXPECT_EQ(mesh_globals->mesh_height, 96);
	EXPECT_EQ(mesh_globals->cell_count, 64 * 96);
	EXPECT_EQ(direction_delta_cell[_direction_north], 64);

	// Fresh cells; a cell with either triangle wet counts with its surface.
	int32 lowest = 32767, highest = -32768, second_only = 0;
	for (int32 i = 0; i < mesh_globals->cell_count; ++i)
	{
		const mesh_cell *cell = &mesh_globals->mesh_cells[i];
		// Only scenery stands in the chains at the start.
		if (cell->first_object_index != NONE)
		{
			ASSERT_NE(get_object_data(cell->first_object_index), nullptr) << i;
		}
		// Only the demo's hut (cells 31-32 x 47-48) and the cottage by the lake
		// (cells 19-20 x 49-50) stand on the map.
		const int32 x = i % 64, y = i / 64;
		const bool hut = x >= 31 && x <= 32 && y >= 47 && y <= 48, cottage = x >= 19 && x <= 20 && y >= 49 && y <= 50;
		const int16 hut_model = mesh_globals->mesh_cells[47 * 64 + 31].model_index;
		ASSERT_NE(hut_model, NONE);
		const int16 expected = hut ? hut_model : cottage ? static_cast<int16>(1 - hut_model) : static_cast<int16>(NONE);
		ASSERT_EQ(cell->model_index, expected) << i;
		const uint16 media = cell->flags & _mesh_cell_triangle_media_flags;
		if (media == _mesh_cell_triangle1_is_media_flag) second_only += 1;
		const int32 h = media ? cell->media_height : cell->height;
		lowest = MIN(lowest, h);
		highest = MAX(highest, h);
	}
	EXPECT_GT(second_only, 0);
	EXPECT_EQ(mesh_globals->min_cell_height, lowest);
	EXPECT_EQ(mesh_globals->max_cell_height, highest);

	EXPECT_EQ(count_markers(_marker_team), 2);
	EXPECT_EQ(count_markers(_marker_scenery), 16);
	EXPECT_EQ(count_markers(_marker_monster), 36);
	EXPECT_EQ(count_markers(_marker_sound_source), 2);
	EXPECT_EQ(count_markers(_marker_model), 2); // the hut and the cottage
	EXPECT_EQ(count_markers(_marker_projectile), 1);
	EXPECT_EQ(mesh_globals->marker_count, 59);
	// Trading: archers and throwers of both teams, and each team's hidden three.
	int32 tradable = 0, hidden = 0;
	for (int32 i = 0; i < mesh_globals->marker_palette_count; ++i)
	{
		tradable += (mesh_globals->marker_palette[i].flags & _marker_palette_may_be_traded_flag) != 0;
	}
	for (int32 i = 0; i < mesh_globals->marker_count; ++i)
	{
		const marker_data &marker = mesh_globals->markers[i];
		hidden += marker.type == _marker_monster && (marker.flags & _marker_is_invisible_flag);
	}
	EXPECT_EQ(tradable, 4);
	EXPECT_EQ(hidden, 6);

	// Two teams from the palette, whatever the header says; every player on one.
	EXPECT_EQ(get_team_count(), 2);
	EXPECT_EQ(get_player_count(), 4);
	int16 players_per_team[2] = {0, 0};
	for (int16 i = 0; i < 4; ++i)
	{
		const player_data *player = get_player_data(i);
		ASSERT_NE(player, nullptr);
		ASSERT_GE(player->team_index, 0);
		ASSERT_LT(player->team_index, 2);
		players_per_team[player->team_index] += 1;
	}
	EXPECT_EQ(players_per_team[0] + players_per_team[1], 4);
	EXPECT_EQ(player_globals.actual_number_of_teams, (players_per_team[0] > 0) + (players_per_team[1] > 0));
	EXPECT_EQ(player_globals.local_player_index, 0);
	EXPECT_EQ(player_globals.local_player_team_index, get_player_data(0)->team_index);
	EXPECT_EQ(get_player_data(3)->type, _player_is_computer);
	harness_end_map();
	EXPECT_FALSE(mesh_is_loaded());
	EXPECT_EQ(get_player_count(), 0);
}

TEST_F(zerv_harness, demo_with_four_players_digests_the_same_twice)
{
	std::vector<harness_digest_entry> trails[2];
	for (int32 run = 0; run < 2; ++run)
	{
		new_game_data setup;
		harness_demo_setup(&setup, 4);
		ASSERT_TRUE(harness_start_map(&setup));
		if (run == 0)
		{
			// A stain moves the synchronised stream once, drawn or not (there is
			// no renderer here); a local one never does.
			const uint32 draws = zerv_random_draw_count();
			const world_point2d p = {10 * WORLD_ONE, 10 * WORLD_ONE};
			stain_mesh(0, 0, &p);
			EXPECT_EQ(zerv_random_draw_count(), draws + 1);
			local_stain_mesh(0, 0, &p);
			bloody_mesh(&p);
			EXPECT_EQ(zerv_random_draw_count(), draws + 1);
		}
		else
		{
			zerv_random(); // the same draw without the stain
		}
		ASSERT_EQ(harness_run_ticks(600), 600);
		trails[run] = harness_digest_trail();
		harness_end_map();
	}
	ASSERT_EQ(trails[0].size(), 600u);
	expect_same_trail(trails[0], trails[1]);
}

// Changes one value, checks the digest sees it, and puts it back.
template <typename T>
void expect_digested(T *field, const char *what)
{
	const uint64 before = zerv_state_digest();
	const T saved = *field;
	*field = static_cast<T>(saved ^ static_cast<T>(0x10));
	EXPECT_NE(zerv_state_digest(), before) << what;
	*field = saved;
	EXPECT_EQ(zerv_state_digest(), before) << what;
}

TEST_F(zerv_harness, the_demo_digest_covers_terrain_markers_players_and_teams)
{
	new_game_data setup;
	harness_demo_setup(&setup, 4);
	ASSERT_TRUE(harness_start_map(&setup));
	ASSERT_EQ(harness_run_ticks(30), 30);

	// The last cell, marker and palette row: every one is digested, not a prefix.
	mesh_cell *cell = &mesh_globals->mesh_cells[mesh_globals->cell_count - 1];
	expect_digested(&cell->height, "height");
	expect_digested(&cell->normal, "normal");
	expect_digested(&cell->flags, "flags");
	expect_digested(&cell->first_object_index, "first_object_index");
	expect_digested(&cell->media_height, "media_height");
	expect_digested(&cell->model_index, "model_index");
	expect_digested(&mesh_globals->min_cell_height, "min_cell_height");
	expect_digested(&mesh_globals->max_cell_height, "max_cell_height");

	ASSERT_GT(mesh_globals->marker_count, 0);
	marker_data *marker = &mesh_globals->markers[mesh_globals->marker_count - 1];
	expect_digested(&marker->identifier, "identifier");
	expect_digested(&marker->data_index, "data_index");
	expect_digested(&marker->data_identifier, "data_identifier");
	ASSERT_GT(mesh_globals->marker_palette_count, 0);
	marker_palette_entry *row = &mesh_globals->marker_palette[mesh_globals->marker_palette_count - 1];
	expect_digested(&row->count, "count");
	expect_digested(&row->tag_index, "tag_index");

	player_data *player = get_player_data(3);
	ASSERT_NE(player, nullptr);
	expect_digested(&player->team_index, "player team_index");
	expect_digested(&player->unique_identifier, "unique_identifier");
	expect_digested(&player->appearance.primary_color.red, "primary colour");
	team_data *team = get_team_data(1);
	ASSERT_NE(team, nullptr);
	expect_digested(&team->score, "score");
	expect_digested(&team->captain_player_index, "captain_player_index");

	// The local player is not shared state: the machines of one game differ in it.
	const uint64 with_local = zerv_state_digest();
	const player_globals_data saved_globals = player_globals;
	player_globals.local_player_index = NONE;
	player_globals.local_player_team_index = NONE;
	player_globals.local_player_is_team_captain = !player_globals.local_player_is_team_captain;
	EXPECT_EQ(zerv_state_digest(), with_local);
	player_globals = saved_globals;
	expect_digested(&player_globals.actual_number_of_teams, "actual_number_of_teams");

	// The record arrays' own bookkeeping, which the next new record follows.
	for (datum_globals *array : {&player_array, &team_array})
	{
		expect_digested(&array->next_identifier, array->name);
		expect_digested(&array->first_free_index, array->name);
		expect_digested(&array->total_count, array->name);
	}
	harness_end_map();
}

}
