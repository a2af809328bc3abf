// The trading game of the harness: 'demo' in its pregame with unit trading,
// two players a team, the local player captain of team 0.
#include <gtest/gtest.h>

#include <utility>

#include "bitmap_dialogs/dialogs.h"
#include "game_preferences.h"
#include "interface.h"
#include "monsters.h"
#include "memory.h"
#include "players.h"
#include "screen.h"
#include "support/zerv_harness.h"
#include "unit_trading.h"
#include "zerv.h"

namespace {

TEST(unit_trading_harness, the_trading_game_starts_in_pregame_with_the_local_captain)
{
	ASSERT_TRUE(harness_initialize());
	new_game_data setup;
	harness_trading_setup(&setup);
	ASSERT_TRUE(harness_start_map(&setup));
	EXPECT_EQ(game->time_state, _game_time_pregame);
	EXPECT_TRUE(game->option_flags & _game_option_allow_unit_trading_flag);
	EXPECT_EQ(get_player_count(), 4);
	EXPECT_EQ(player_globals.local_player_index, 0);
	EXPECT_TRUE(player_globals.local_player_is_team_captain);
	const player_data *local = get_player_data(0);
	ASSERT_NE(local, nullptr);
	EXPECT_EQ(get_team_data(local->team_index)->captain_player_index, 0);
	EXPECT_EQ(get_player_data(2)->team_index, get_player_data(3)->team_index);
	EXPECT_NE(get_player_data(2)->team_index, local->team_index);

	// With the status bar hidden, the view starts below the trading dialog.
	rectangle2d dialog_bounds, frame, screen;
	ASSERT_TRUE(unit_trading_dialog_visible(&dialog_bounds));
	if (rectangle2d_height(&dialog_bounds) == 0)
	{
		// The headless dialog has no picture to size it: give it one.
		set_rectangle2d(&dialog_bounds, 0, 0, 200, 90);
		move_dialog(unit_trading_globals.dialog, &dialog_bounds);
		ASSERT_TRUE(unit_trading_dialog_visible(&dialog_bounds));
	}
	ASSERT_EQ(rectangle2d_height(&dialog_bounds), 90);
	game_preferences *preferences = get_game_preferences();
	const uint32 saved_flags = preferences->flags;
	preferences->flags &= ~static_cast<uint32>(_game_pref_use_transparency_flag);
	set_status_bar_visibility(FALSE);
	calculate_destination_frame(&frame);
	get_game_screen_bounds(&screen);
	EXPECT_EQ(frame.top, screen.top + rectangle2d_height(&dialog_bounds));
	preferences->flags = saved_flags;

	harness_run_ticks(400);
	EXPECT_NE(game->time_state, _game_time_pregame) << "the pregame ends after 300 ticks";
	EXPECT_FALSE(unit_trading_dialog_visible(nullptr)) << "the end of the pregame closes the dialog";
	harness_end_map();
	harness_shutdown();
}

// The count controls open with their limits already narrowed by the points:
// with every point spent on the counts placed, no row can rise above its
// count until another row gives some up.
TEST(unit_trading_harness, the_dialog_opens_with_limits_narrowed_by_the_points)
{
	ASSERT_TRUE(harness_initialize());
	new_game_data setup;
	harness_trading_setup(&setup);
	ASSERT_TRUE(harness_start_map(&setup));
	dialog_data *dialog = unit_trading_globals.dialog;
	ASSERT_NE(dialog, nullptr);
	const auto limits = [dialog](int16 row) {
		const int16 item = static_cast<int16>(FIRST_VARIABLE_ITEM + row * NUMBER_OF_ROW_ITEMS + _row_item_count);
		for (int32 i = 0; i < dialog->item_state_count; ++i)
		{
			const dialog_item_state &state = dialog->item_states[i];
			if (state.item == item) return std::pair<int32, int32>{state.minimum, state.maximum};
		}
		return std::pair<int32, int32>{NONE, NONE};
	};
	int16 narrowed = 0;
	for (int16 row = 0; row < unit_trading_globals.monster_placement_count; ++row)
	{
		const monster_placement &placement = unit_trading_globals.monster_placements[row];
		if (!(placement.flags & _placement_can_be_traded_flag)) continue;
		EXPECT_EQ(limits(row).first, placement.minimum_count) << row;
		EXPECT_EQ(limits(row).second, placement.cost_per_unit > 0 ? placement.count : placement.maximum_count) << row;
		narrowed += placement.cost_per_unit > 0 && placement.count < placement.maximum_count;
	}
	EXPECT_GT(narrowed, 0) << "a row that could hold more";
	harness_end_map();
	harness_shutdown();
}

// Up to 1700 a trading pregame marks no unit as being traded; above, the
// placed units stop and are marked.
TEST(unit_trading_harness, units_are_marked_as_traded_only_above_1700)
{
	ASSERT_TRUE(harness_initialize());
	new_game_data setup;
	harness_trading_setup(&setup);
	ASSERT_TRUE(harness_start_map(&setup));
	const auto marked = [] {
		int32 count = 0;
		for (int16 i = 0; i < monster_array.count; ++i)
		{
			const monster_data *monster = get_monster_data(i);
			count += monster && (monster->extra_flags & _monster_is_being_traded_extra_flag);
		}
		return count;
	};
	const int16 version = game_play_version;
	for (const int16 v : {1700, 1701})
	{
		unmark_monsters_being_traded();
		game_play_version = v;
		initialize_monster_placements_for_new_map();
		if (v == 1700) EXPECT_EQ(marked(), 0);
		else EXPECT_GT(marked(), 0);
	}
	game_play_version = version;
	harness_end_map();
	harness_shutdown();
}

// At 1710 the dialog shows only the tradable rows, but the adjustment needs
// every placement: the fixed rows go out with their own counts, and the
// adjustment places the team again.
TEST(unit_trading_harness, the_dialog_sends_every_placement_and_the_adjustment_takes_effect)
{
	ASSERT_TRUE(harness_initialize());
	new_game_data setup;
	harness_trading_setup(&setup);
	ASSERT_TRUE(harness_start_map(&setup));
	dispose_unit_trading_dialog();
	game_play_version = 1710;
	open_unit_trading_dialog();
	ASSERT_NE(unit_trading_globals.dialog, nullptr);
	int16 tradable = 0;
	for (int16 i = 0; i < unit_trading_globals.monster_placement_count; ++i)
	{
		tradable += (unit_trading_globals.monster_placements[i].flags & _placement_can_be_traded_flag) != 0;
	}
	EXPECT_LT(tradable, unit_trading_globals.monster_placement_count) << "some rows are fixed";
	// The first tradable row down to nothing, the second up to its maximum.
	const monster_placement first = unit_trading_globals.monster_placements[0];
	const monster_placement second = unit_trading_globals.monster_placements[1];
	ASSERT_GT(first.count, 0);
	ASSERT_LT(second.count, second.maximum_count);
	set_double_arrow_control_value(unit_trading_globals.dialog, static_cast<int16>(FIRST_VARIABLE_ITEM) + static_cast<int16>(_row_item_count), first.minimum_count,
		first.maximum_count, 0);
	set_double_arrow_control_value(unit_trading_globals.dialog, static_cast<int16>(FIRST_VARIABLE_ITEM) + static_cast<int16>(NUMBER_OF_ROW_ITEMS) + static_cast<int16>(_row_item_count),
		second.minimum_count, second.maximum_count, second.maximum_count);
	close_unit_trading_dialog();
	harness_command_script script;
	harness_capture_commands(game->target_time, 0, &script);
	ASSERT_EQ(script.size(), 1u);
	harness_set_command_script(script);
	harness_run_ticks(5);
	int16 count = 0;
	monster_placement *after = get_monster_placement_data(get_player_data(0)->team_index, &count);
	ASSERT_NE(after, nullptr);
	for (int16 i = 0; i < count; ++i)
	{
		if (after[i].palette_index == first.palette_index)
		{
			EXPECT_EQ(after[i].count, 0);
		}
		if (after[i].palette_index == second.palette_index)
		{
			EXPECT_EQ(after[i].count, second.maximum_count);
		}
	}
	dispose_pointer(after);
	harness_set_command_script({});
	harness_end_map();
	harness_shutdown();
}

} // namespace
