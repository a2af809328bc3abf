// The single-player post-game screen: the report's strings in their tables,
// drawn, and Continue handing on to the epilogue.
#include "main_test_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bitmap_text.h"
#include "CoreLibrary/zerv/string_definitions.h"
#include "postgame.h"

#include "bitmap_dialogs/postgame_screen.h"
#include "players.h"

namespace {

// The screen's 640 x 480 surface written as a PPM file for a look; false
// where the file cannot be opened.
bool write_screen_ppm(const std::string &path)
{
	FILE *file = fopen(path.c_str(), "wb");
	if (!file) return false;
	const screen_test_hooks_data *hooks = get_screen_test_hooks();
	fprintf(file, "P6\n640 480\n255\n");
	for (int32 y = 0; y < 480; ++y)
		for (int32 x = 0; x < 640; ++x)
		{
			const uint8 *p = hooks->surface_pixels + y * hooks->surface_bytes_per_row + 4 * x;
			fputc(p[2], file), fputc(p[1], file), fputc(p[0], file);
		}
	fclose(file);
	return true;
}

class postgame_screen : public main_program_test
{
protected:
	void SetUp() override
	{
		main_program_test::SetUp();
		set_screen_parameters(-2, -2);
	}

	void TearDown() override
	{
		close_postgame_screen();
		game->game_time = 0;
		main_program_test::TearDown();
	}

	// A 'demo' battle's report, as a local game leaves it; the map is gone.
	void play_and_report(boolean with_captain)
	{
		new_game_data setup;
		harness_battle_setup(&setup, HARNESS_DEMO_MAP_TAG);
		ASSERT_TRUE(harness_start_map(&setup));
		harness_run_ticks(40);
		force_player_statistics_update();
		team_data *team = get_team_data(player_globals.local_player_team_index);
		const int16 captain = team->captain_player_index;
		if (!with_captain) team->captain_player_index = NONE;
		encode_postgame_report();
		team->captain_player_index = captain;
		harness_end_map();
		main_globals.new_game_data = setup;
		main_globals.new_game_data.parameters.type = _game_type_local;
		main_globals.new_game_data.parameters.scenario_tag = HARNESS_DEMO_MAP_TAG;
		cache_endgame_state(_endgame_state_victory);
	}

	static std::string item_text(int16 item)
	{
		const dialog_item_state *state = find_dialog_item_state(get_postgame_screen(), item);
		return state ? state->text : "<none>";
	}
};

TEST_F(postgame_screen, shows_the_report_in_its_tables_and_continues_to_the_epilogue)
{
	play_and_report(TRUE);
	const encoded_postgame_report *report = get_encoded_postgame_report();
	ASSERT_TRUE(report->valid_table_flags & _postgame_survivors_table_flag);
	enter_state(_game_state_displaying_mesh_epilogue);
	ASSERT_EQ(game->state, _game_state_displaying_mesh_epilogue);
	dialog_data *screen = get_postgame_screen();
	ASSERT_NE(screen, nullptr);

	// Every string of the report, in its order; a survivors row's cells side by side.
	int32 offset = 0;
	for (int16 i = 0; i < report->string_count; ++i)
	{
		EXPECT_EQ(item_text(static_cast<int16>(iPOSTGAME_FIRST_TEXT + i)),
			get_next_encoded_postgame_report_string(report, &offset)) << i;
	}
	EXPECT_EQ(item_text(iPOSTGAME_FIRST_TEXT), "Demo Valley (Normal)");
	const dialog_item_state *kind = find_dialog_item_state(screen, iPOSTGAME_FIRST_TEXT + 6);
	const dialog_item_state *share = find_dialog_item_state(screen, iPOSTGAME_FIRST_TEXT + 7);
	ASSERT_TRUE(kind && share);
	EXPECT_EQ(kind->bounds.top, share->bounds.top);
	EXPECT_LT(kind->bounds.right, share->bounds.right);
	// Nothing overlaps the Continue button.
	const dialog_item_state *button = find_dialog_item_state(screen, iPOSTGAME_CONTINUE);
	for (int16 i = 0; i < report->string_count; ++i)
	{
		EXPECT_LE(find_dialog_item_state(screen, static_cast<int16>(iPOSTGAME_FIRST_TEXT + i))->bounds.bottom,
			button->bounds.top) << i;
	}

	ASSERT_NO_FATAL_FAILURE(draw_dialogs_into_back_buffer());
	const screen_test_hooks_data *hooks = get_screen_test_hooks();
	int64 lit = 0;
	for (int32 y = 0; y < 480; ++y)
		for (int32 x = 0; x < 640; ++x) lit += (hooks->surface_pixels[y * hooks->surface_bytes_per_row + 4 * x + 1] != 0);
	EXPECT_GT(lit, 2000);
	if (getenv("ZERV_DUMP_FRAMES")) write_screen_ppm("/tmp/zerv_postgame_screen.ppm");

	// Return goes on once; the epilogue decides where (the demo map closes its scenario).
	main_globals.desired_state = NONE;
	action_data enter = key_action(_key_return);
	EXPECT_TRUE(dialogs_handled_action(&enter));
	EXPECT_EQ(main_globals.desired_state, _game_state_displaying_epilogue);
	EXPECT_EQ(least_call_count(&get_screens_test_hooks()->calls, "display_mesh_epilogue"), 1);
	action_data escape = key_action(_key_escape);
	dialogs_handled_action(&escape);
	EXPECT_EQ(least_call_count(&get_screens_test_hooks()->calls, "display_mesh_epilogue"), 1);
	enter_state(_game_state_displaying_main_menu);
	EXPECT_EQ(get_postgame_screen(), nullptr);
}

// A full report, every table at five rows and the longest kinds and a hero's
// name with his kind: every heading and cell is drawn whole, apart from its
// neighbours by at least a space, and all above the Continue button.
TEST_F(postgame_screen, a_full_report_keeps_every_heading_and_cell_apart)
{
	new_game_data setup;
	harness_battle_setup(&setup, HARNESS_DEMO_MAP_TAG);
	ASSERT_TRUE(harness_start_map(&setup));
	const int16 list = string_list_tag_to_string_index(SOLO_POSTGAME_STRING_LIST_TAG);
	ASSERT_NE(list, NONE);
	encoded_postgame_report report = {};
	const auto add = [&](const std::string &text) {
		ASSERT_LT(report.string_buffer_size + static_cast<int32>(text.size()) + 1, 1024);
		memcpy(report.strings + report.string_buffer_size, text.c_str(), text.size() + 1);
		report.string_buffer_size += static_cast<int32>(text.size()) + 1;
		report.string_count += 1;
	};
	const auto entry = [&](int16 index) { return std::string(get_string_from_list(list, index)); };
	const auto format = [&](int16 index, auto... values) {
		char text[256];
		// The report's own formats, as the writer fills them.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
		snprintf(text, sizeof(text), get_string_from_list(list, index), values...);
#pragma GCC diagnostic pop
		return std::string(text);
	};
	add("Demo Valley (Very Hard)");
	add(format(_solo_multiple_survivors_header, 45));
	for (int16 h : {_solo_kills_unit_header, _solo_survivors_damage_inflicted_header, _solo_survivors_kills_header,
		_solo_survivors_casualties_header}) add(entry(h));
	for (int16 r = 0; r < 5; ++r)
	{
		add(format(_solo_unit_type_format, "Lightning Casters"));
		add(format(_solo_percentile_format, 100.0));
		add(format(_solo_integer_format, 999));
		add(format(_solo_side_by_side_integer_format, 100, 100));
	}
	for (int16 h : {_solo_heroes_header, _solo_heroes_name_header, _solo_heroes_battles_header, _solo_heroes_experience_header})
	{
		add(entry(h));
	}
	for (const char *name : {"Nils", "Roderic", "Fenwick", "Dunmore", "Gideon"})
	{
		add(format(_solo_name_and_type_format, name, "Lightning Caster"));
		add(format(_solo_integer_format, 99));
		add(format(_solo_integer_format, 999));
	}
	add(format(_solo_kills_header, 999));
	add(entry(_solo_kills_unit_header));
	add(entry(_solo_kills_dead_header));
	for (const char *kind : {"Lightning Casters", "Bomb Throwers", "Swordsmen", "Archers", "Scouts"})
	{
		add(format(_solo_unit_type_format, kind));
		add(format(_solo_integer_format, 999));
	}
	add(format(_solo_damage_ratio, 123.45));
	add(format(_solo_kill_ratio, 12.5));
	// The fonts are the map's: it stays loaded while the screen is measured.
	struct end_map
	{
		~end_map() { harness_end_map(); }
	} end_map_after;
	report.valid_table_flags = _postgame_title_flag | _postgame_survivors_table_flag | _postgame_heroes_table_flag |
		_postgame_kills_table_flag | _postgame_damage_ratio_flag | _postgame_kill_ratio_flag;
	report.table_row_counts[1] = report.table_row_counts[2] = report.table_row_counts[3] = 5;
	ASSERT_TRUE(open_postgame_screen(&report, HARNESS_DEMO_MAP_TAG));
	dialog_data *screen = get_postgame_screen();
	ASSERT_NE(screen, nullptr);

	// Where each item's text is drawn: its pen row, as draw_string lays it out.
	struct drawn_text
	{
		std::string text;
		rectangle2d bounds;
		int32 left, right;
	};
	std::vector<drawn_text> texts;
	int32 offset = 0;
	for (int16 i = 0; i < report.string_count; ++i)
	{
		const dialog_item_state *item = find_dialog_item_state(screen, static_cast<int16>(iPOSTGAME_FIRST_TEXT + i));
		ASSERT_NE(item, nullptr) << i;
		const char *expected = get_next_encoded_postgame_report_string(&report, &offset);
		ASSERT_STREQ(item->text, expected);
		const font_definition *font = get_font_definition(item->text_font_index);
		ASSERT_NE(font, nullptr);
		const int32 width = string_width(item->text_font_index, item->text_style, item->text);
		const int32 box = rectangle2d_width(&item->bounds);
		// draw_string cuts a line as wide as the box less its leading.
		EXPECT_LT(width, box - font->leading_width) << "\"" << item->text << "\" is cut";
		int32 left = item->bounds.left + font->leading_width;
		if (item->text_flags & _draw_string_center_horizontal_flag) left = item->bounds.left + ((box - width) >> 1);
		else if (item->text_flags & _draw_string_right_justified_flag)
		{
			left = item->bounds.right - width - font->leading_width;
		}
		texts.push_back({item->text, item->bounds, left, left + width});
		EXPECT_GE(left, 0) << item->text;
		EXPECT_LE(left + width, 640) << item->text;
	}
	const int16 space = string_width(texts.empty() ? NONE : find_dialog_item_state(screen, iPOSTGAME_FIRST_TEXT)->text_font_index,
		NONE, " ");
	ASSERT_GT(space, 0);
	for (size_t a = 0; a < texts.size(); ++a)
	{
		for (size_t b = a + 1; b < texts.size(); ++b)
		{
			const drawn_text &first = texts[a].left <= texts[b].left ? texts[a] : texts[b];
			const drawn_text &second = texts[a].left <= texts[b].left ? texts[b] : texts[a];
			if (first.bounds.bottom <= second.bounds.top || second.bounds.bottom <= first.bounds.top) continue;
			EXPECT_GE(second.left - first.right, space) << "\"" << first.text << "\" runs into \"" << second.text << "\"";
		}
	}
	const dialog_item_state *button = find_dialog_item_state(screen, iPOSTGAME_CONTINUE);
	for (const drawn_text &text : texts) EXPECT_LE(text.bounds.bottom, button->bounds.top) << text.text;

	if (getenv("ZERV_DUMP_FRAMES"))
	{
		ASSERT_NO_FATAL_FAILURE(draw_dialogs_into_back_buffer());
		ASSERT_TRUE(write_screen_ppm(std::string(getenv("ZERV_DUMP_FRAMES")) + "/postgame_full_report.ppm"));
	}
}

TEST_F(postgame_screen, an_empty_report_and_the_training_map_go_straight_on)
{
	play_and_report(FALSE);
	EXPECT_EQ(get_encoded_postgame_report()->valid_table_flags, 0u);
	enter_state(_game_state_displaying_mesh_epilogue);
	EXPECT_EQ(get_postgame_screen(), nullptr);
	EXPECT_NE(game->state, _game_state_displaying_mesh_epilogue);

	play_and_report(TRUE);
	main_globals.new_game_data.parameters.scenario_tag = TRAINING_MAP_MESH_TAG;
	enter_state(_game_state_displaying_mesh_epilogue);
	EXPECT_EQ(get_postgame_screen(), nullptr);
	EXPECT_EQ(game->state, _game_state_displaying_main_menu);
}

} // namespace
