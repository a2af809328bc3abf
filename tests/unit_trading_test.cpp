// Unit trading: placements by unit type, the points rule, the grace period,
// and the markers a unit adjustment leaves visible.
#include <gtest/gtest.h>

#include "least_layer.h"
#include "memory.h"
#include "unit_trading.h"
#include "commands.h"
#include "units_test_support.h"

namespace {

class unit_trading : public units_test_map
{
protected:
	void SetUp() override
	{
		units_test_map::SetUp();
		// Row 0 fixed (one visible), row 1 tradable (four visible, one hidden), both of
		// one unit type; row 2 cheap tradable units (two visible, two hidden).
		map.palette = {test_palette_entry(_marker_monster, TAG("u0  "), 0), test_palette_entry(_marker_monster, TAG("u0  "), 0),
			test_palette_entry(_marker_monster, TAG("u2  "), 0)};
		for (marker_palette_entry &entry : map.palette) entry.extra_flags = 0xFFFF;
		map.palette[1].flags = _marker_palette_may_be_traded_flag;
		map.palette[2].flags = _marker_palette_may_be_traded_flag;
		map.markers.clear();
		int16 identifier = 1;
		auto add = [&](int16 row, bool visible) {
			marker_data marker = test_marker(_marker_monster, identifier++, row);
			marker.location.position = {static_cast<world_distance>(identifier * 1024), 2048, 0};
			if (!visible) marker.flags |= _marker_is_invisible_flag;
			map.markers.push_back(marker);
		};
		add(0, true);
		for (int16 i = 0; i < 4; ++i) add(1, true);
		add(1, false);
		add(2, true);
		add(2, true);
		add(2, false);
		add(2, false);
		start_modules(1720);
		kind = new_kind(TAG("kind"), [](monster_definition *definition) { definition->cost = 20; });
		cheap = new_kind(TAG("chea"), [](monster_definition *definition) { definition->cost = 5; });
		ours = new_unit_type(TAG("u0  "), kind, 0, TAG("sold"));
		scouts = new_unit_type(TAG("u2  "), cheap, 0, TAG("scou"));
		get_marker_palette_entry(_marker_monster, 0)->tag_index = ours;
		get_marker_palette_entry(_marker_monster, 1)->tag_index = ours;
		get_marker_palette_entry(_marker_monster, 2)->tag_index = scouts;
		record.option_flags |= _game_option_allow_unit_trading_flag;
		record.time_state = _game_time_pregame;
	}
	static int32 visible_markers(int16 row)
	{
		int32 count = 0;
		scan_markers_state state;
		new_scan_markers_state(&state, _marker_monster, row, NONE);
		while (const marker_data *marker = scan_markers(&state)) count += !(marker->flags & _marker_is_invisible_flag);
		return count;
	}
	int16 kind = NONE, cheap = NONE, ours = NONE, scouts = NONE;
};

TEST_F(unit_trading, placements_join_rows_of_one_unit_type_and_sort_by_cost)
{
	int16 count = 0;
	monster_placement *placements = get_monster_placement_data(0, &count);
	ASSERT_NE(placements, nullptr);
	ASSERT_EQ(count, 2);
	EXPECT_EQ(placements[0].unit_type, ours);
	EXPECT_EQ(placements[0].count, 5);
	EXPECT_EQ(placements[0].minimum_count, 1);
	EXPECT_EQ(placements[0].maximum_count, 6);
	EXPECT_EQ(placements[0].cost_per_unit, 20);
	EXPECT_TRUE(placements[0].flags & _placement_can_be_traded_flag);
	EXPECT_EQ(placements[1].unit_type, scouts);
	EXPECT_EQ(placements[1].minimum_count, 0);
	EXPECT_EQ(placements[1].maximum_count, 4);
	dispose_pointer(placements);

	placements = get_monster_placement_data(1, &count);
	EXPECT_EQ(count, 0) << "the other team has none";
	dispose_pointer(placements);
}

TEST_F(unit_trading, spare_points_raise_requests_in_placement_order)
{
	// 5 × 20 + 2 × 5 = 110 points. Asking 3 and 2 spends 70; the 40 left raise
	// the first request to 5.
	const int16 counts[] = {3, 2};
	adjust_unit_placement(0, 2, counts);
	EXPECT_EQ(visible_markers(0) + visible_markers(1), 5);
	EXPECT_EQ(visible_markers(2), 2);

	const int16 shift[] = {4, 4};
	adjust_unit_placement(0, 2, shift); // 80 + 20 = 100: the 10 left buy nothing
	EXPECT_EQ(visible_markers(0) + visible_markers(1), 4);
	EXPECT_EQ(visible_markers(2), 4);
}

TEST_F(unit_trading, bad_requests_change_nothing)
{
	const int16 too_many[] = {6, 4}; // 120 + 20 > 110
	const int16 below_minimum[] = {0, 4};
	const int16 counts[] = {5, 2};
	adjust_unit_placement(0, 2, too_many);
	adjust_unit_placement(0, 2, below_minimum);
	adjust_unit_placement(0, 1, counts);
	adjust_unit_placement(0, 16, counts);
	adjust_unit_placement(-1, 2, counts);
	adjust_unit_placement(40, 2, counts);
	adjust_unit_placement(1, 0, counts);
	EXPECT_EQ(visible_markers(1), 4);
	EXPECT_EQ(visible_markers(2), 2);
	EXPECT_EQ(get_error_code(), _error_none) << "a command from a peer is never fatal";

	const int16 shift[] = {4, 4};
	record.time_state = _game_time_countdown;
	record.original_time_limit = 9000;
	record.time_remaining = 9000 - UNIT_ADJUSTMENT_GRACE_PERIOD;
	adjust_unit_placement(0, 2, shift);
	EXPECT_EQ(visible_markers(2), 2) << "450 ticks into the countdown is too late";
	record.time_remaining += 1;
	adjust_unit_placement(0, 2, shift);
	EXPECT_EQ(visible_markers(2), 4);
}

TEST_F(unit_trading, closing_sends_the_counts_and_disposing_sends_nothing)
{
	command_queue_data *outgoing = get_outgoing_command_queue();
	const int32 free_before = outgoing ? command_queue_free_space(outgoing) : 0;
	dispose_unit_trading_dialog();
	close_unit_trading_dialog();
	if (outgoing)
	{
		EXPECT_EQ(command_queue_free_space(outgoing), free_before) << "no dialog, nothing sent";
	}
	EXPECT_FALSE(unit_trading_dialog_visible(nullptr));
}

} // namespace
