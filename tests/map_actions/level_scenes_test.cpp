// The first level played to its end with its scenes, three test-only scenes
// added: "hold fire" keeps every outcome pinnable, "to the stone" walks a
// scout onto the west stone's spot so that the stones carry it, "surrender"
// ends the game.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "game_statistics.h"
#include "map_actions/map_actions_test_support.h"
#include "markers.h"
#include "mesh.h"
#include "objects.h"
#include "projectiles.h"

namespace {

const char golden_path[] = ZERV_SOURCE_DIR "/tests/map_actions/golden/level_scenes_log.txt";
// Team 1 surrenders at 1024; the re-ranking after it (every 15 ticks) finds
// one team left and ends the game, and the ending then runs its 300 ticks
// before the game is finished at 1334.
const int32 level_scenes_surrender_tick = 1024;
const int32 level_scenes_end_tick = 1334;
// The stones wake at 448; the player's first scout is sent to the west one.
const int32 level_scenes_west_stone_tick = 448;
const int16 level_scenes_scout = 23;

class level_scenes : public map_actions_fixture
{
protected:
	static void units(int16 action_index, std::initializer_list<std::pair<int16, int16>> ranges)
	{
		std::vector<int16> list;
		for (const auto &range : ranges)
			for (int16 i = range.first; i <= range.second; ++i) list.push_back(i);
		add(action_index, "subj", _parameter_monster_identifier, static_cast<int32>(list.size()), list.data());
	}

	static int16 timed_control(const char *name, int32 tick)
	{
		const int16 index = action("ctrl", _map_action_initially_active_flag, _map_action_deactivates_on_trigger, name);
		set_map_action_trigger_time(index, tick, 0);
		return index;
	}

	// The "### MA" and "XXX MA" lines, without their stamps.
	static std::string action_lines(const std::string &log)
	{
		std::istringstream in(log);
		std::string line, lines;
		while (std::getline(in, line))
		{
			size_t at = line.find("### MA ");
			if (at == std::string::npos) at = line.find("XXX MA ");
			if (at != std::string::npos) lines += line.substr(at) + "\n";
		}
		return lines;
	}

	static int32 visible_cache_items(void)
	{
		int32 visible = 0;
		for (int16 identifier = 701; identifier <= 716; ++identifier)
		{
			const marker_data *marker = get_marker_by_identifier(_marker_projectile, identifier);
			const object_data *object = marker ? get_object_data(marker->data_index) : nullptr;
			if (object && object->identifier == identifier && !(object->flags & _object_is_invisible_flag)) ++visible;
		}
		return visible;
	}
};

TEST_F(level_scenes, play_to_the_end)
{
	harness_end_map();
	// A human on team 1: the scenes play without the computer team.
	harness_level_setup(&setup, false);
	ASSERT_TRUE(harness_start_map(&setup));
	ASSERT_EQ(game_play_version, 1720);
	set_map_action_debug_status(_map_action_debug_on);

	const int16 hold_fire = timed_control("hold fire", 0);
	units(hold_fire, {{11, 24}, {31, 44}});
	const uint8 on = 1;
	add(hold_fire, "dnat", _parameter_flag, 1, &on);
	const int16 surrender = timed_control("surrender", level_scenes_surrender_tick);
	// The ambush's hidden scouts (50, 51) and the caster (52) give up too.
	units(surrender, {{31, 52}});
	flag(surrender, "elim");
	// As the stones wake, one of the player's scouts is sent onto the west
	// stone's spot: the stone carries it to the far stone, whose scene walks
	// it on.
	const int16 to_the_stone = action("move", _map_action_initially_active_flag, _map_action_deactivates_on_trigger,
		"to the stone");
	set_map_action_trigger_time(to_the_stone, level_scenes_west_stone_tick, 0);
	units(to_the_stone, {{level_scenes_scout, level_scenes_scout}});
	const world_point2d west_stone = {32 * WORLD_ONE, 63 * WORLD_ONE};
	add(to_the_stone, "wayp", _parameter_world_point2d, 1, &west_stone);
	activate_map_action(hold_fire);
	activate_map_action(to_the_stone);
	activate_map_action(surrender);
	// The charm hands the other side's scout over; a unit that changes owner
	// takes a fresh identifier, so it is followed by its record.
	int16 charmed = NONE;
	for (int16 i = 0; i < monster_array.count; ++i)
	{
		const monster_data *monster = get_monster_data(i);
		if (monster && monster->identifier == 44) charmed = i;
	}
	ASSERT_NE(charmed, NONE);

	int32 held_fire = 0;
	bool barricade_seen = false;
	int32 cache_after_reveal = -1;
	int16 winner_before_surrender = NONE;
	int16 charmed_team = NONE;
	while (!harness_game_is_finished() && game->game_time < 1600)
	{
		harness_run_ticks(1);
		const int32 tick = game->game_time;
		if (tick == 8)
		{
			for (int16 i = 0; i < monster_array.count; ++i)
			{
				const monster_data *monster = get_monster_data(i);
				if (monster && (monster->extra_flags & _monster_does_not_autotarget_extra_flag)) ++held_fire;
			}
		}
		if (tick == 170)
		{
			barricade_seen = true;
			for (int32 x = 27; x <= 32; ++x) EXPECT_EQ(get_mesh_cell(x, 68)->flags & 0xFF, 0xEE) << x;
		}
		if (tick == 640) cache_after_reveal = visible_cache_items();
		// The charm at 384 hands it over; the battle may kill it later.
		if (tick == 416 && get_monster_data(charmed)) charmed_team = get_monster_data(charmed)->owner_team_index;
		if (tick < level_scenes_surrender_tick && game->winning_team_index != NONE)
		{
			winner_before_surrender = game->winning_team_index;
		}
	}
	const std::string log = log_text();
	EXPECT_EQ(held_fire, 28);
	EXPECT_NE(log.find("hiding 6 objects"), std::string::npos);
	EXPECT_TRUE(barricade_seen);
	EXPECT_NE(log.find("[mece] barricade:  Cell out of bounds: -1 not in [0, 64] or 68 not in [0, 96]!"), std::string::npos);
	EXPECT_NE(log.find("no more waves to bring in (success)"), std::string::npos);
	// The stones carried the scout, and the far stone's scene walked it on to its waypoint.
	EXPECT_NE(log.find("[geom] west stone:  1 monsters inside geometry (added to subj)"), std::string::npos);
	EXPECT_NE(log.find("[gate] far stone:  no more waves to bring in (success)"), std::string::npos);
	EXPECT_NE(log.find("[tuni] scout arrived:  count: 1>0"), std::string::npos);
	EXPECT_NE(log.find("[move] scout moves on:  #1 monsters moved"), std::string::npos);
	EXPECT_NE(log.find("[move] scout moves on:  succeeded"), std::string::npos);
	EXPECT_EQ(cache_after_reveal, 1);
	EXPECT_EQ(winner_before_surrender, NONE);
	EXPECT_EQ(charmed_team, 0);
	ASSERT_TRUE(harness_game_is_finished()) << "still playing at tick " << game->game_time;
	EXPECT_EQ(game->winning_team_index, 0);
	EXPECT_EQ(game->game_time, level_scenes_end_tick) << game->game_time;

	const std::string lines = action_lines(log);
	if (getenv("ZERV_UPDATE_GOLDEN"))
	{
		std::ofstream(golden_path, std::ios::binary) << lines;
	}
	std::ifstream golden(golden_path, std::ios::binary);
	std::stringstream expected;
	expected << golden.rdbuf();
	EXPECT_EQ(lines, expected.str());
	EXPECT_TRUE(harness_write_test_digest_trail(harness_digest_trail()));
}

} // namespace
