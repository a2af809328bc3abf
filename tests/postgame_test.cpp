// The post-game report, the lobby standings and the ranking overlay, on a
// 'demo' battle; the report also after whole games of 'demo' and the First Level.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bitmap_drawing.h"
#include "bitmaps.h"
#include "bitmap_text.h"
#include "game_statistics.h"
#include "input/actions.h"
#include "interface.h"
#include "CoreLibrary/input/sdl_input.h"
#include "memory.h"
#include "monster_definitions.h"
#include "monsters.h"
#include "objects.h"
#include "overhead_map.h"
#include "players.h"
#include "postgame.h"
#include "ranking_overlay.h"
#include "render/render.h"
#include "support/render_views.h"
#include "support/zerv_harness.h"
#include "main.h"
#include "main_globals.h"
#include "zerv.h"

namespace {

std::vector<std::string> report_strings(void)
{
	const encoded_postgame_report *report = get_encoded_postgame_report();
	std::vector<std::string> strings;
	int32 offset = 0;
	for (int16 i = 0; i < report->string_count; ++i) strings.push_back(get_next_encoded_postgame_report_string(report, &offset));
	return strings;
}

class postgame : public zerv_harness_fixture
{
protected:
	void SetUp() override
	{
		zerv_harness_fixture::SetUp();
		new_game_data setup;
		harness_battle_setup(&setup, HARNESS_DEMO_MAP_TAG);
		ASSERT_TRUE(harness_start_map(&setup));
		harness_run_ticks(40);
		force_player_statistics_update();
	}

	void TearDown() override
	{
		harness_end_map();
		// The game record outlives the map: leave its clock as a fresh process has it.
		game->game_time = 0;
		zerv_harness_fixture::TearDown();
	}
};

// The overlay draws in the running state, which the harness does not enter.
class ranking_overlay : public postgame
{
protected:
	void SetUp() override
	{
		postgame::SetUp();
		saved_state = game->state;
		game->state = _game_state_running;
	}
	void TearDown() override
	{
		game->state = saved_state;
		postgame::TearDown();
	}
	int16 saved_state = 0;

	// Over a screen of one colour (0x00RRGGBB), as the world under the overlay.
	static std::vector<uint8> draw_overlay(int32 width, int32 height, const char *name = "ranking_overlay",
		uint32 background = 0)
	{
		std::vector<uint8> drawn;
		bitmap_data *screen = new_bitmap(width, height, width * 4, _32bit_encoding, 0);
		if (!screen) return drawn;
		for (int32 y = 0; y < height; ++y)
		{
			uint32 *row = reinterpret_cast<uint32 *>(bitmap_row_address(screen, y));
			std::fill(row, row + width, background);
		}
		view_data view = {};
		view.screen = screen;
		rasterize_rankings(&view);
		dump_frame_when_asked(screen, name);
		for (int32 y = 0; y < height; ++y)
		{
			const uint8 *row = bitmap_row_address(screen, y);
			drawn.insert(drawn.end(), row, row + width * 4);
		}
		dispose_pointer(screen);
		return drawn;
	}

	// The ranking of the human player's team, whose box the overlay draws; null without one.
	static team_ranking_data *human_players_ranking(void)
	{
		team_ranking_data *shown = nullptr;
		for (int16 r = 0; r < get_team_count() && !shown; ++r)
		{
			const team_data *team = get_team_data(get_team_rankings()[r].team_index);
			const player_data *captain = team ? get_player_data(team->captain_player_index) : nullptr;
			if (captain && captain->type == _player_is_human) shown = &get_team_rankings()[r];
		}
		return shown;
	}
};

TEST_F(postgame, report_of_a_demo_battle)
{
	encode_postgame_report();
	const encoded_postgame_report *report = get_encoded_postgame_report();
	const std::vector<std::string> strings = report_strings();
	ASSERT_GE(strings.size(), 7u);
	EXPECT_EQ(strings[0], "Demo Valley (Normal)");
	EXPECT_TRUE(report->valid_table_flags & _postgame_title_flag);
	EXPECT_TRUE(report->valid_table_flags & _postgame_survivors_table_flag);
	EXPECT_TRUE(report->valid_table_flags & _postgame_kill_ratio_flag);
	EXPECT_GE(report->table_row_counts[1], 1);
	EXPECT_NE(strings[1].find(" survivors"), std::string::npos);
	EXPECT_EQ(strings[2], "Kind");
	// A row: kind, share of the damage, kills, "n of m".
	EXPECT_NE(strings[7].find('%'), std::string::npos);
	EXPECT_NE(strings[9].find(" of "), std::string::npos);
	int32 used = 0;
	for (const std::string &s : strings) used += static_cast<int32>(s.size()) + 1;
	EXPECT_EQ(used, report->string_buffer_size);

	// The reader gives "" outside the buffer and stops at its end.
	for (int32 before : {-1, -2000})
	{
		int32 offset = before;
		EXPECT_STREQ(get_next_encoded_postgame_report_string(report, &offset), "") << before;
		EXPECT_EQ(offset, before);
	}
	int32 offset;
	offset = POSTGAME_REPORT_STRING_BUFFER_SIZE;
	EXPECT_STREQ(get_next_encoded_postgame_report_string(report, &offset), "");

	// A local team without a captain: an empty report.
	team_data *team = get_team_data(player_globals.local_player_team_index);
	const int16 captain = team->captain_player_index;
	team->captain_player_index = NONE;
	encode_postgame_report();
	team->captain_player_index = captain;
	EXPECT_EQ(report->valid_table_flags, 0u);
	EXPECT_EQ(report->string_count, 0);
}

TEST_F(postgame, standings_codes_players_and_no_local_player)
{
	for (int16 code : {static_cast<int16>(_game_ended_normally), static_cast<int16>(_game_ended_with_server_loss),
			 static_cast<int16>(_game_ended_with_player_quit)})
	{
		build_hollax_net_game_standings(code);
		EXPECT_EQ(get_hollax_net_game_standings()->game_ended_code, code);
	}
	const hollax_net_game_standings *standings = get_hollax_net_game_standings();
	EXPECT_EQ(standings->number_of_players, get_player_count());
	EXPECT_EQ(standings->actual_time_elapsed, game->game_time);
	EXPECT_EQ(standings->teams[0].present, 1);
	EXPECT_EQ(standings->teams[15].present, 0);
	EXPECT_EQ(standings->players[0].player_finished_game_flag, 1);

	// A negative total damage keeps its sign through the shift.
	player_ranking_data *rankings = get_player_rankings();
	int16 r = 0;
	while (rankings[r].player_index != 0) ++r;
	const int32 saved = rankings[r].total_damage;
	rankings[r].total_damage = -512;
	build_hollax_net_game_standings(_game_ended_normally);
	rankings[r].total_damage = saved;
	EXPECT_EQ(standings->players[0].points_killed, -2);

	const int16 local = player_globals.local_player_index;
	player_globals.local_player_index = NONE;
	build_hollax_net_game_standings(_game_ended_normally);
	player_globals.local_player_index = local;
	const hollax_net_game_standings zero = {};
	EXPECT_EQ(memcmp(standings, &zero, sizeof(zero)), 0);
}

// Whole games, each played to its end with an idle player.
class finished_game : public zerv_harness_fixture
{
protected:
	void TearDown() override
	{
		if (started) harness_end_map();
		game->game_time = 0;
		zerv_harness_fixture::TearDown();
	}

	std::vector<std::string> play_to_the_end(file_tag map)
	{
		new_game_data setup;
		harness_battle_setup(&setup, map);
		started = harness_start_map(&setup);
		if (!started) return {};
		while (game->game_time < 6000 && !harness_game_is_finished()) harness_run_ticks(64);
		EXPECT_TRUE(harness_game_is_finished());
		encode_postgame_report();
		return report_strings();
	}

	bool started = false;
};

// The local player's team won this battle and dealt more than it took: both
// ratios above 1.
TEST_F(finished_game, the_demo_battle_reports_its_ratios)
{
	const std::vector<std::string> strings = play_to_the_end(HARNESS_DEMO_MAP_TAG);
	ASSERT_GE(strings.size(), 2u);
	EXPECT_EQ(game->winning_team_index, 0);
	EXPECT_EQ(strings[strings.size() - 2], "Damage ratio 1.95");
	EXPECT_EQ(strings.back(), "Kill ratio 1.75");
}

// The level's animals count for the player's palette but fight for no one:
// no table names them, though the game has them.
TEST_F(finished_game, the_first_level_reports_no_animal)
{
	const std::vector<std::string> strings = play_to_the_end(HARNESS_FIRST_LEVEL_MAP_TAG);
	ASSERT_FALSE(strings.empty());
	std::vector<std::string> animals;
	const definition_globals *monsters = get_monster_definitions();
	for (int16 m = 0; monsters && m < monsters->count; ++m)
	{
		const monster_definition *kind = get_monster_definition(m);
		if (!kind || kind->monster_class != _monster_class_ambient_life) continue;
		animals.push_back(get_monster_spelling(m, 1));
		animals.push_back(get_monster_spelling(m, 2));
	}
	ASSERT_GE(animals.size(), 8u);
	for (const std::string &s : strings)
	{
		for (const std::string &animal : animals) EXPECT_EQ(s.find(animal), std::string::npos) << s;
	}
	EXPECT_NE(std::find(strings.begin(), strings.end(), "Swordsmen"), strings.end());
}

TEST_F(ranking_overlay, visibility_clock_titles_and_stars)
{
	const int32 saved_time = game->game_time, saved_limit = game->original_time_limit, saved_remaining = game->time_remaining;
	const int16 saved_state = game->time_state;
	game->time_state = _game_time_countdown;
	game->original_time_limit = 18000;
	game->game_time = 200;
	game->time_remaining = 17800;
	EXPECT_EQ(get_ranking_display_level(), _ranking_display_none);
	game->game_time = 1800 + 149;
	game->time_remaining = 18000 - game->game_time;
	EXPECT_EQ(get_ranking_display_level(), _ranking_display_title);
	game->game_time = 1800 + 150;
	game->time_remaining = 18000 - game->game_time;
	EXPECT_EQ(get_ranking_display_level(), _ranking_display_none);
	game->time_remaining = 899;
	EXPECT_EQ(get_ranking_display_level(), _ranking_display_title);
	game->game_time = 100;
	EXPECT_EQ(get_ranking_display_level(), _ranking_display_full);
	game->time_state = _game_time_no_countdown;
	game->game_time = 5000;
	EXPECT_EQ(get_ranking_display_level(), _ranking_display_none);
	// Caps lock shows the rankings only when the input definition binds it so.
	input_definition *input = get_input_definition();
	const uint8 saved_action = input->caps_lock_action;
	headless_set_key_held(_key_caps_lock, TRUE);
	EXPECT_EQ(get_ranking_display_level(), _ranking_display_none);
	input->caps_lock_action = 3;
	EXPECT_EQ(get_ranking_display_level(), _ranking_display_full);
	headless_set_key_held(_key_caps_lock, FALSE);
	EXPECT_EQ(get_ranking_display_level(), _ranking_display_none);
	input->caps_lock_action = saved_action;

	char clock[64];
	format_ranking_clock(1800 * 3 + 30 * 7, clock, sizeof(clock));
	EXPECT_STREQ(clock, "3:07\r");
	format_ranking_clock(108000 + 30, clock, sizeof(clock));
	EXPECT_STREQ(clock, "1:00:01\r");
	format_ranking_clock(2 * 2592000, clock, sizeof(clock));
	EXPECT_STREQ(clock, "2 days 0:00:00\r");

	char title[128], right[64];
	const uint32 saved_options = game->option_flags;
	const int16 saved_endgame = game->endgame_state;
	game->option_flags |= _game_option_cooperative_flag;
	game_flags_set(_game_is_over_flag);
	for (int16 state : {1, 2, 3})
	{
		game->endgame_state = state;
		get_ranking_title(title, sizeof(title), right, sizeof(right));
		EXPECT_STREQ(title, state == 1 ? "VICTORY" : "DEFEAT") << state;
	}
	game_flags_clear(_game_is_over_flag);
	game->option_flags = saved_options;
	game->endgame_state = saved_endgame;
	game->game_time = saved_time;
	game->original_time_limit = saved_limit;
	game->time_remaining = saved_remaining;
	game->time_state = saved_state;

	point2d star[10];
	get_star_points(100, 50, 22, star);
	EXPECT_EQ(star[0].x, 111);
	EXPECT_EQ(star[0].y, 52);
	EXPECT_EQ(star[4].x, 116);
	EXPECT_EQ(star[4].y, 69);
}

TEST_F(ranking_overlay, draws_at_two_sizes)
{
	for (int32 width : {640, 1024})
	{
		const int32 height = width == 640 ? 480 : 768;
		game->game_time = 10;
		const std::vector<uint8> drawn = draw_overlay(width, height);
		EXPECT_NE(std::count(drawn.begin(), drawn.end(), 0), static_cast<long>(drawn.size())) << "the boxes of the first seconds";
	}
}

// One line of the debug limits every 22 pixels, monsters only for a replay or
// an unfinished map, the render arena last; nothing of the rankings.
TEST_F(ranking_overlay, the_limits_draw_one_line_per_array)
{
	const int32 width = 640, height = 480, line = RANKING_BOUNDS_HEIGHT * width * 4;
	// '#' for each 22-pixel line with anything drawn in it, '.' for an empty one.
	const auto lines = [&](const std::vector<uint8> &drawn) {
		std::string painted;
		for (auto first = drawn.begin() + RANKING_VERTICAL_SPACING * width * 4; drawn.end() - first >= line; first += line)
		{
			painted += std::any_of(first, first + line, [](uint8 b) { return b != 0; }) ? '#' : '.';
		}
		return painted.substr(0, painted.find_last_of('#') + 1);
	};
	game->game_time = 10;
	int16 count_right, maximum_right, name_left;
	get_data_limit_columns(&count_right, &maximum_right, &name_left);
	// A floating text in use shows in its line's count.
	const int16 texts_before = count_overhead_texts();
	overhead_text_data floating = {};
	floating.monster_index = 0;
	floating.timer = 30;
	const int16 added = new_overhead_text(&floating);
	ASSERT_NE(added, NONE);
	main_module.display_limits = TRUE;
	const std::vector<uint8> limits = draw_overlay(width, height, "limits");
	const int16 saved_type = game->type;
	game->type = _game_type_replay;
	const std::vector<uint8> replay_limits = draw_overlay(width, height, "limits_of_a_replay");
	game->type = saved_type;
	main_module.display_limits = FALSE;
	delete_overhead_text(added);

	// Objects, projectiles, local projectiles, local projectile groups, overhead
	// texts, explosions, the parameter buffer and the render arena; no ranking box below.
	EXPECT_EQ(lines(limits), "########");
	EXPECT_EQ(lines(replay_limits), "#########");
	// Each line's label, right of the counts, as the label alone draws it.
	const auto label_column = [&](const std::vector<uint8> &drawn, int32 index) {
		std::vector<uint8> column;
		for (int32 y = 0; y < RANKING_BOUNDS_HEIGHT; ++y)
		{
			const auto row = drawn.begin() + ((RANKING_VERTICAL_SPACING + index * RANKING_BOUNDS_HEIGHT + y) * width + name_left) * 4;
			column.insert(column.end(), row, row + (width - name_left) * 4);
		}
		return column;
	};
	const auto expect_labels = [&](const std::vector<uint8> &drawn, const std::vector<const char *> &labels) {
		for (int32 i = 0; i < static_cast<int32>(labels.size()); ++i)
		{
			bitmap_data *alone = new_bitmap(width, height, width * 4, _32bit_encoding, 0);
			ASSERT_NE(alone, nullptr);
			draw_data_limit(alone, static_cast<int16>(RANKING_VERTICAL_SPACING + i * RANKING_BOUNDS_HEIGHT), "", "", labels[i]);
			std::vector<uint8> expected;
			for (int32 y = 0; y < height; ++y)
			{
				const uint8 *row = bitmap_row_address(alone, y);
				expected.insert(expected.end(), row, row + width * 4);
			}
			dispose_pointer(alone);
			EXPECT_TRUE(label_column(drawn, i) == label_column(expected, i)) << "line " << i << " is not \"" << labels[i] << "\"";
		}
	};
	expect_labels(limits,
		{"objects:", "projectiles:", "local projs:", "local proj grps:", "overhead texts:", "explosions:", "MA params size:", ""});
	expect_labels(replay_limits, {"objects:", "projectiles:", "local projs:", "monsters:", "local proj grps:", "overhead texts:",
		"explosions:", "MA params size:", ""});
	// The overhead texts' counts, left of the label: those in use of the 32.
	{
		bitmap_data *alone = new_bitmap(width, height, width * 4, _32bit_encoding, 0);
		ASSERT_NE(alone, nullptr);
		const int32 index = 4;
		const std::string in_use = std::to_string(texts_before + 1) + "  /";
		draw_data_limit(alone, static_cast<int16>(RANKING_VERTICAL_SPACING + index * RANKING_BOUNDS_HEIGHT), in_use.c_str(), "32", "");
		bool same = true;
		for (int32 y = 0; y < RANKING_BOUNDS_HEIGHT; ++y)
		{
			const int32 row = RANKING_VERTICAL_SPACING + index * RANKING_BOUNDS_HEIGHT + y;
			const auto drawn_row = limits.begin() + row * width * 4;
			same = same && std::equal(drawn_row, drawn_row + name_left * 4, bitmap_row_address(alone, row));
		}
		dispose_pointer(alone);
		EXPECT_TRUE(same) << "the overhead texts' line does not read \"" << in_use << " 32\"";
	}
	// The monsters' line comes fourth: the first three lines stay, the rest move down.
	const auto fourth = static_cast<std::ptrdiff_t>(RANKING_VERTICAL_SPACING * width * 4 + 3 * line);
	EXPECT_TRUE(std::equal(limits.begin(), limits.begin() + fourth, replay_limits.begin()));
	EXPECT_FALSE(std::equal(limits.begin(), limits.begin() + fourth + line, replay_limits.begin()));
}

// The counts' columns hold a 4-digit array count and the render arena's
// "N K /" whole: the same ink as the text drawn alone where nothing can cut it.
TEST_F(ranking_overlay, the_limits_read_large_counts_whole)
{
	const int32 width = 640, height = 480;
	int16 count_right, maximum_right, name_left;
	get_data_limit_columns(&count_right, &maximum_right, &name_left);
	ASSERT_LT(count_right, maximum_right);
	ASSERT_LT(maximum_right, name_left);
	// The inked columns of [x0, x1) in one limit line, trimmed to the ink.
	const auto ink = [&](const std::vector<uint8> &drawn, int32 line, int32 x0, int32 x1) {
		const int32 top = RANKING_VERTICAL_SPACING + line * RANKING_BOUNDS_HEIGHT;
		int32 left = x1, right = x0 - 1;
		for (int32 y = top; y < top + RANKING_BOUNDS_HEIGHT; ++y)
			for (int32 x = x0; x < x1; ++x)
			{
				const uint8 *p = drawn.data() + (y * width + x) * 4;
				if (p[0] | p[1] | p[2]) left = std::min(left, x), right = std::max(right, x);
			}
		std::vector<uint8> columns;
		for (int32 y = top; y < top + RANKING_BOUNDS_HEIGHT && right >= left; ++y)
		{
			const auto row = drawn.begin() + (y * width + left) * 4;
			columns.insert(columns.end(), row, row + (right - left + 1) * 4);
		}
		return columns;
	};
	const auto alone = [&](int32 line, const std::string &text) {
		bitmap_data *screen = new_bitmap(width, height, width * 4, _32bit_encoding, 0);
		std::vector<uint8> drawn(static_cast<size_t>(width) * height * 4);
		if (!screen) return drawn;
		rectangle2d box;
		set_rectangle2d(&box, 0, static_cast<int16>(RANKING_VERTICAL_SPACING + line * RANKING_BOUNDS_HEIGHT),
			static_cast<int16>(width), static_cast<int16>(RANKING_VERTICAL_SPACING + (line + 1) * RANKING_BOUNDS_HEIGHT));
		const rgb_color white = {65535, 65535, 65535, 0};
		draw_string(screen, nullptr, &box, &box, get_interface_font_index(1), NONE, &white, text.c_str(),
			_draw_string_right_justified_flag | _draw_string_center_vertical_flag, 0);
		for (int32 y = 0; y < height; ++y)
		{
			memcpy(drawn.data() + static_cast<size_t>(y) * width * 4, bitmap_row_address(screen, y), width * 4);
		}
		dispose_pointer(screen);
		return ink(drawn, line, 0, width);
	};

	game->game_time = 10;
	const int16 saved_objects = object_array.total_count;
	object_array.total_count = 1234;
	// A frame of the battle, its arena then filled to over 600 K.
	{
		bitmap_data *frame = new_bitmap(width, height, width * 4, _32bit_encoding, 0);
		ASSERT_NE(frame, nullptr);
		view_data view = {};
		prepare_observer_view(&view, frame);
		render_scene(&view);
		dispose_pointer(frame);
	}
	render_statistics statistics = {};
	get_render_statistics(&statistics);
	ASSERT_GT(statistics.total_memory, 0);
	if (statistics.used_memory < 600 * 1024)
	{
		ASSERT_NE(render_malloc(600 * 1024 - statistics.used_memory), nullptr);
	}
	get_render_statistics(&statistics);
	main_module.display_limits = TRUE;
	const std::vector<uint8> limits = draw_overlay(width, height, "limits_with_large_counts");
	main_module.display_limits = FALSE;
	object_array.total_count = saved_objects;

	const std::string arena = std::to_string(statistics.used_memory / 1024) + " K /";
	const std::string arena_size = std::to_string(statistics.total_memory / 1024) + " K";
	ASSERT_GE(arena.size(), 7u);
	EXPECT_TRUE(ink(limits, 0, 0, count_right) == alone(0, "1234  /")) << "the objects' count is cut";
	EXPECT_TRUE(ink(limits, 7, 0, count_right) == alone(7, arena)) << "\"" << arena << "\" is cut";
	EXPECT_TRUE(ink(limits, 7, count_right, maximum_right) == alone(7, arena_size)) << "\"" << arena_size << "\" is cut";
	// The widest counts still fit their columns.
	const int16 font = get_interface_font_index(1);
	const int32 leading = get_font_definition(font)->leading_width;
	EXPECT_LT(string_width(font, NONE, "32767  /"), count_right - leading);
	EXPECT_LT(string_width(font, NONE, "4096 K /"), count_right - leading);
}

// A team without units fades out, except in a deathmatch game; attrition
// scoring alone does not keep it bright.
TEST_F(ranking_overlay, a_team_without_units_fades_unless_deathmatch)
{
	// The box drawn is the human player's team.
	team_ranking_data *shown = human_players_ranking();
	ASSERT_NE(shown, nullptr);
	ASSERT_GT(shown->extant_unit_count, 0);
	const int32 saved_units = shown->extant_unit_count;
	const uint32 saved_options = game->option_flags;
	const int16 saved_scoring = game->scoring;
	game->game_time = 10;
	game->scoring = _game_scoring_attrition;
	game->option_flags &= ~static_cast<uint32>(_game_option_deathmatch_flag);
	const std::vector<uint8> with_units = draw_overlay(640, 480, "with_units");
	shown->extant_unit_count = 0;
	const std::vector<uint8> attrition_without_units = draw_overlay(640, 480, "attrition_without_units");
	game->option_flags |= _game_option_deathmatch_flag;
	const std::vector<uint8> deathmatch_without_units = draw_overlay(640, 480, "deathmatch_without_units");
	shown->extant_unit_count = saved_units;
	game->option_flags = saved_options;
	game->scoring = saved_scoring;

	EXPECT_NE(attrition_without_units, with_units);
	EXPECT_EQ(deathmatch_without_units, with_units);

	// Inside the team box, under the title's, over black: a fill at transparency
	// t keeps (15 - t / 4096) fifteenths of each five-bit channel, rounded.
	const player_data *captain = get_player_data(get_team_data(shown->team_index)->captain_player_index);
	const rgb_color colour = captain->appearance.primary_color;
	const auto pixel = [](const std::vector<uint8> &drawn) {
		const int32 x = RANKING_HORIZONTAL_SPACING + 1, y = 2 * RANKING_VERTICAL_SPACING + RANKING_BOUNDS_HEIGHT + 1;
		uint32 value;
		memcpy(&value, drawn.data() + (y * 640 + x) * 4, sizeof(value));
		return value & 0xFFFFFF;
	};
	const auto blended = [&](int32 transparency) {
		const auto channel = [&](uint16 c) { return static_cast<uint32>(((15 - (transparency >> 12)) * (c >> 11) + 7) / 15) << 3; };
		return channel(colour.red) << 16 | channel(colour.green) << 8 | channel(colour.blue);
	};
	EXPECT_EQ(pixel(with_units), blended(32768));
	EXPECT_EQ(pixel(attrition_without_units), blended(57344));
}

// A white player's row stays readable: with units left or none, over a dark,
// a middle and a bright world (the camera anywhere), the name's pixels stand
// out from the box's fill as much as its ink drawn alone on black.
TEST_F(ranking_overlay, a_white_players_row_keeps_its_text_readable)
{
	team_ranking_data *shown = human_players_ranking();
	ASSERT_NE(shown, nullptr);
	const team_data *team = get_team_data(shown->team_index);
	ASSERT_EQ(team->original_number_of_players, 1);
	player_data *captain = get_player_data(team->captain_player_index);
	const rgb_color saved_colour = captain->appearance.primary_color;
	const int32 saved_units = shown->extant_unit_count;
	const uint32 saved_options = game->option_flags;
	game->option_flags &= ~static_cast<uint32>(_game_option_deathmatch_flag);
	captain->appearance.primary_color = {65535, 65535, 65535, 0};
	game->game_time = 10;

	const int32 width = 640, height = 480;
	// The team's box is the second, under the title's.
	const int32 top = 2 * RANKING_VERTICAL_SPACING + RANKING_BOUNDS_HEIGHT, bottom = top + RANKING_BOUNDS_HEIGHT;
	const int16 font = get_interface_font_index(1);
	const int32 left = RANKING_HORIZONTAL_SPACING + 5;
	const int32 right = left + 2 * get_font_definition(font)->leading_width + string_width(font, NONE, captain->appearance.name);
	const auto luminance = [](const uint8 *p) { return (299 * p[2] + 587 * p[1] + 114 * p[0]) / 1000; };
	// The name's ink, white on black, alone.
	int32 ink = 0;
	{
		bitmap_data *alone = new_bitmap(width, height, width * 4, _32bit_encoding, 0);
		ASSERT_NE(alone, nullptr);
		rectangle2d box;
		set_rectangle2d(&box, static_cast<int16>(left), static_cast<int16>(top), static_cast<int16>(width),
			static_cast<int16>(bottom));
		const rgb_color white = {65535, 65535, 65535, 0};
		draw_string(alone, nullptr, &box, &box, font, NONE, &white, captain->appearance.name,
			_draw_string_center_vertical_flag, 0);
		for (int32 y = top; y < bottom; ++y)
			for (int32 x = left; x < right; ++x) ink += luminance(bitmap_row_address(alone, y) + 4 * x) >= 128;
		dispose_pointer(alone);
	}
	ASSERT_GT(ink, 20);

	for (const int32 units : {saved_units, 0})
	{
		shown->extant_unit_count = units;
		for (const uint32 world : {0x000000u, 0x808080u, 0xB4D2E6u, 0xFFFFFFu})
		{
			char name[64];
			snprintf(name, sizeof(name), "white_player_%s_over_%06x", units ? "with_units" : "without_units",
				static_cast<unsigned>(world));
			const std::vector<uint8> drawn = draw_overlay(width, height, name, world);
			// The fill as drawn, in the box's first column where no text reaches.
			const int32 fill = luminance(drawn.data() + ((top + 1) * width + RANKING_HORIZONTAL_SPACING) * 4);
			int32 standing_out = 0;
			for (int32 y = top; y < bottom; ++y)
				for (int32 x = left - 1; x <= right; ++x)
				{
					standing_out += std::abs(luminance(drawn.data() + (y * width + x) * 4) - fill) >= 96;
				}
			EXPECT_GE(standing_out, ink) << "units " << units << ", world " << std::hex << world << ", fill " << std::dec << fill;
		}
	}
	shown->extant_unit_count = saved_units;
	captain->appearance.primary_color = saved_colour;
	game->option_flags = saved_options;
}

// The hardware path's fan from the star's centre covers what the software
// path fills: the same pixels, notches left clear.
TEST_F(ranking_overlay, the_hardware_star_fan_covers_the_software_star)
{
	const int16 ally = 1;
	ASSERT_NE(get_team_data(ally), nullptr);
	std::vector<uint8> drawn[2];
	for (int32 hardware = 0; hardware < 2; ++hardware)
	{
		bitmap_data *screen = new_bitmap(200, 40, 200 * 4, _32bit_encoding, 0);
		ASSERT_NE(screen, nullptr);
		rectangle2d box;
		set_rectangle2d(&box, 5, 5, 195, 27);
		const rgb_color dark = {0, 0, 0, 0};
		rasterize_ranking_box(screen, &box, &dark, 0, "", "", "", 20, &ally, 1, hardware != 0);
		for (int32 y = 0; y < 40; ++y)
		{
			const uint8 *row = bitmap_row_address(screen, y);
			drawn[hardware].insert(drawn[hardware].end(), row, row + 200 * 4);
		}
		dispose_pointer(screen);
	}
	EXPECT_EQ(drawn[0], drawn[1]);
	EXPECT_NE(std::count(drawn[0].begin(), drawn[0].end(), 0), static_cast<long>(drawn[0].size()));

	point2d fan[12];
	ASSERT_EQ(get_star_fill_points(100, 50, 22, TRUE, fan), 12);
	EXPECT_EQ(fan[0].x, 111);
	EXPECT_EQ(fan[0].y, 61);
	EXPECT_EQ(fan[11].x, fan[1].x);
	EXPECT_EQ(fan[11].y, fan[1].y);
}

} // namespace
