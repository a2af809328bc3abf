// The single-player post-game screen: the report's strings in their tables,
// drawn, and Continue handing on to the epilogue.
#include "main_test_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bitmap_dialogs/postgame_screen.h"
#include "players.h"

namespace {

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

	rectangle2d frame;
	get_game_screen_bounds(&frame);
	bitmap_data *back_buffer = get_render_destination(0, &frame);
	ASSERT_NE(back_buffer, nullptr);
	render_dialogs(back_buffer);
	release_render_destination(back_buffer);
	const screen_test_hooks_data *hooks = get_screen_test_hooks();
	int64 lit = 0;
	for (int32 y = 0; y < 480; ++y)
		for (int32 x = 0; x < 640; ++x) lit += (hooks->surface_pixels[y * hooks->surface_bytes_per_row + 4 * x + 1] != 0);
	EXPECT_GT(lit, 2000);
	if (getenv("ZERV_DUMP_FRAMES"))
	{
		FILE *file = fopen("/tmp/zerv_postgame_screen.ppm", "wb");
		fprintf(file, "P6\n640 480\n255\n");
		for (int32 y = 0; y < 480; ++y)
			for (int32 x = 0; x < 640; ++x)
			{
				const uint8 *p = hooks->surface_pixels + y * hooks->surface_bytes_per_row + 4 * x;
				fputc(p[2], file), fputc(p[1], file), fputc(p[0], file);
			}
		fclose(file);
	}

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
