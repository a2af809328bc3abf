// Fog of war: the sight bitmaps, word stamping against the cell-by-cell rule,
// swaps with and without limited visibility, and which units stamp.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "monster_visibility.h"
#include "units_test_support.h"

namespace {

class monster_visibility : public units_test_map
{
protected:
	void SetUp() override
	{
		units_test_map::SetUp();
		reset_monster_visibility_test_hooks();
		initialize_monster_visibility_for_new_map();
		ASSERT_TRUE(visibility_globals.initialized);
	}
	void TearDown() override
	{
		reset_monster_visibility_test_hooks();
		units_test_map::TearDown();
	}
	static int32 width(void) { return mesh_globals->mesh_width; }
	static int32 height(void) { return mesh_globals->mesh_height; }
	static int16 cell(const uint32 *buffer, int32 x, int32 y)
	{
		const int32 index = y * width() + x;
		return static_cast<int16>((buffer[index >> 4] >> ((index & 15) * 2)) & 3);
	}
	// The stamp as the rule states it: cell k of row i onto column x0 - R + origin + k.
	static void reference_stamp(std::vector<uint8> *cells, int16 kind, int32 x0, int32 y0)
	{
		const visibility_bitmap *bitmap = get_visibility_bitmap(kind);
		for (int16 i = 0; i < bitmap->diameter; ++i)
		{
			const int32 row = y0 - bitmap->radius + i;
			if (row < 0 || row >= height()) continue;
			const visibility_bitmap_row *data = get_visibility_bitmap_row(bitmap, i);
			for (int16 k = 0; k < data->width; ++k)
			{
				const int32 column = x0 - bitmap->radius + data->horizontal_origin + k;
				if (column < 0 || column >= width()) continue;
				(*cells)[static_cast<size_t>(row * width() + column)] |= static_cast<uint8>(get_visibility_bitmap_cell(data, k));
			}
		}
	}
};

TEST_F(monster_visibility, bitmaps_follow_the_circle_rule_and_fit_one_block)
{
	EXPECT_LE(get_visibility_bitmap_block_size(), MAXIMUM_VISIBILITY_BITMAP_BUFFER_SIZE);
	const visibility_bitmap *farsighted = get_visibility_bitmap(_visibility_bitmap_farsighted);
	ASSERT_NE(farsighted, nullptr);
	EXPECT_EQ(farsighted->diameter, 57);
	const visibility_bitmap_row *middle = get_visibility_bitmap_row(farsighted, 28);
	EXPECT_EQ(middle->width, 57);
	EXPECT_EQ(middle->horizontal_origin, 0);
	int32 threes = 0;
	for (int16 k = 0; k < middle->width; ++k) threes += get_visibility_bitmap_cell(middle, k) == 3;
	EXPECT_EQ(threes, 53);
	EXPECT_EQ(get_visibility_bitmap_cell(middle, 1), 1);
	EXPECT_EQ(get_visibility_bitmap_cell(middle, 2), 3);
	EXPECT_EQ(get_visibility_bitmap(NUMBER_OF_VISIBILITY_BITMAPS), nullptr);
	EXPECT_EQ(get_visibility_bitmap(-1), nullptr);
	for (int16 kind = 0; kind < NUMBER_OF_VISIBILITY_BITMAPS; ++kind)
	{
		const visibility_bitmap *bitmap = get_visibility_bitmap(kind);
		const int32 R = visibility_types[kind].outer_radius;
		ASSERT_EQ(bitmap->diameter, 2 * R + 1);
		const visibility_bitmap_row *top = get_visibility_bitmap_row(bitmap, 0);
		EXPECT_EQ(top->horizontal_origin + top->width / 2, R) << "every row is centred";
		for (int16 k = 0; k < top->width; ++k) EXPECT_EQ(get_visibility_bitmap_cell(top, k), 1) << "the top row is all ring";
	}
}

TEST_F(monster_visibility, word_stamping_equals_the_cell_rule_at_the_edges)
{
	std::vector<uint8> reference(static_cast<size_t>(width() * height()), 0);
	uint32 seed = 12345;
	auto next = [&seed](int32 n) {
		seed = seed * 1103515245u + 12345u;
		return static_cast<int32>((seed >> 8) % static_cast<uint32>(n));
	};
	for (int32 i = 0; i < 200; ++i)
	{
		const int16 kind = static_cast<int16>(next(NUMBER_OF_VISIBILITY_BITMAPS));
		const int32 x = next(width() + 80) - 40, y = next(height() + 80) - 40;
		rasterize_visibility_bitmap(kind, x, y);
		reference_stamp(&reference, kind, x, y);
	}
	int32 mismatches = 0;
	for (int32 y = 0; y < height(); ++y)
	{
		for (int32 x = 0; x < width(); ++x) mismatches += cell(visibility_globals.back_buffer, x, y) != reference[static_cast<size_t>(y * width() + x)];
	}
	EXPECT_EQ(mismatches, 0);
	EXPECT_EQ(visibility_globals.number_of_visibility_bitmaps_rasterized, 200);
}

// A stamp wholly on the mesh across takes the pre-shifted rows: each kind at
// every cell of a word, clipped at the top and bottom or not, alone on a clear
// buffer so no stray or missing bit hides under another stamp.
TEST_F(monster_visibility, stamps_at_every_cell_of_a_word_equal_the_cell_rule)
{
	const size_t words = static_cast<size_t>(visibility_globals.buffer_size / 4);
	int32 stamps = 0, mismatches = 0;
	for (int16 kind = 0; kind < NUMBER_OF_VISIBILITY_BITMAPS; ++kind)
	{
		const int32 R = visibility_types[kind].outer_radius;
		const int32 rows[] = {R, 3, height() - 2, height() / 2 + 7};
		for (const int32 y : rows)
		{
			for (int32 x = R; x < R + 16 && x + R < width(); ++x)
			{
				memset(visibility_globals.back_buffer, 0, words * 4);
				std::vector<uint8> reference(static_cast<size_t>(width() * height()), 0);
				rasterize_visibility_bitmap(kind, x, y);
				reference_stamp(&reference, kind, x, y);
				++stamps;
				for (int32 cy = 0; cy < height(); ++cy)
				{
					for (int32 cx = 0; cx < width(); ++cx)
					{
						mismatches += cell(visibility_globals.back_buffer, cx, cy) != reference[static_cast<size_t>(cy * width() + cx)];
					}
				}
			}
		}
	}
	// Nearsighted and submerged at all 16 cells, farsighted at 8 on this 64-cell mesh.
	EXPECT_EQ(stamps, (16 + 8 + 16) * 4);
	EXPECT_EQ(mismatches, 0);
}

TEST_F(monster_visibility, a_corner_stamp_keeps_the_on_mesh_quarter)
{
	rasterize_visibility_bitmap(_visibility_bitmap_submerged, 0, 0);
	EXPECT_EQ(cell(visibility_globals.back_buffer, 0, 0), 3);
	EXPECT_EQ(cell(visibility_globals.back_buffer, 12, 0), 1);
	EXPECT_EQ(cell(visibility_globals.back_buffer, 13, 0), 0);
	EXPECT_EQ(cell(visibility_globals.back_buffer, 0, 12), 1);
	EXPECT_EQ(cell(visibility_globals.back_buffer, width() - 1, 0), 0) << "nothing wraps to the far edge";
	EXPECT_EQ(cell(visibility_globals.back_buffer, width() - 1, height() - 1), 0);
}

TEST_F(monster_visibility, swaps_with_and_without_limited_visibility)
{
	for (int32 i = 0; i < visibility_globals.buffer_size / 4; ++i)
	{
		ASSERT_EQ(visibility_globals.front_buffer[i] | visibility_globals.back_buffer[i] | visibility_globals.permanent_buffer[i], 0u);
	}
	EXPECT_FALSE(should_draw_overhead_observer_position());

	// Without limited visibility a swap without stamps keeps the centre and opens the back buffer.
	swap_visibility_buffers();
	EXPECT_EQ(visibility_globals.back_buffer[0], 0xFFFFFFFFu);
	EXPECT_EQ(visibility_globals.back_buffer[visibility_globals.buffer_size / 4 - 1], 0xFFFFFFFFu);
	point2d center;
	get_center_of_visibility_buffer(&center);
	EXPECT_EQ(center.x, 0);

	rasterize_visibility_bitmap(_visibility_bitmap_nearsighted, 10, 20);
	rasterize_visibility_bitmap(_visibility_bitmap_nearsighted, 21, 31);
	for (int32 i = 0; i < visibility_globals.buffer_size / 4; ++i) ASSERT_EQ(visibility_globals.back_buffer[i], 0xFFFFFFFFu);
	swap_visibility_buffers();
	get_center_of_visibility_buffer(&center);
	EXPECT_EQ(center.x, 15) << "stamps on an open buffer still count for the centre";
	EXPECT_EQ(center.y, 25);
	EXPECT_TRUE(should_draw_overhead_observer_position());
	swap_visibility_buffers();
	get_center_of_visibility_buffer(&center);
	EXPECT_EQ(center.x, 15) << "no stamps: the centre stays";

	// Limited visibility: without stamps nothing moves but the sums.
	record.option_flags |= _game_option_limited_visibility_flag;
	swap_visibility_buffers();
	const uint32 before = monster_visibility_digest();
	uint32 *front = visibility_globals.front_buffer;
	swap_visibility_buffers();
	EXPECT_EQ(visibility_globals.front_buffer, front);
	EXPECT_EQ(monster_visibility_digest(), before);
	rasterize_visibility_bitmap(_visibility_bitmap_nearsighted, 40, 40);
	swap_visibility_buffers(); // the back buffer was opened before: it is cleared now
	rasterize_visibility_bitmap(_visibility_bitmap_nearsighted, 40, 40);
	swap_visibility_buffers();
	EXPECT_EQ(cell(visibility_front_buffer, 40, 40), 3);
	EXPECT_EQ(cell(visibility_front_buffer, 10, 80), 0);
	EXPECT_EQ(visibility_globals.back_buffer[0], 0u) << "limited visibility clears the new back buffer";
	EXPECT_EQ(cell(visibility_permanent_buffer, 10, 20), 3) << "everything seen stays in the permanent buffer";
}

// A stamp repeated before the back buffer changes adds nothing and is left out;
// once the buffer is swapped, cleared or replaced it is made again.
TEST_F(monster_visibility, a_repeated_stamp_counts_and_is_made_again_after_each_change_of_buffer)
{
	record.option_flags |= _game_option_limited_visibility_flag;
	swap_visibility_buffers();
	const size_t words = static_cast<size_t>(visibility_globals.buffer_size / 4);
	auto back = [&]() { return std::vector<uint32>(visibility_globals.back_buffer, visibility_globals.back_buffer + words); };
	rasterize_visibility_bitmap(_visibility_bitmap_nearsighted, 40, 40);
	const std::vector<uint32> once = back();
	rasterize_visibility_bitmap(_visibility_bitmap_nearsighted, 40, 40);
	EXPECT_EQ(back(), once);
	rasterize_visibility_bitmap(_visibility_bitmap_farsighted, 40, 40);
	EXPECT_NE(back(), once) << "another kind at the cell is stamped";
	EXPECT_EQ(visibility_globals.number_of_visibility_bitmaps_rasterized, 3) << "every stamp counts for the centre";
	for (int32 window = 0; window < 3; ++window)
	{
		swap_visibility_buffers();
		ASSERT_EQ(cell(visibility_globals.back_buffer, 40, 40), 0);
		rasterize_visibility_bitmap(_visibility_bitmap_nearsighted, 40, 40);
		ASSERT_EQ(back(), once) << "the stamp is made again after a swap, window " << window;
	}
	memset(visibility_globals.back_buffer, 0, words * 4);
	rebuild_visibility_bitmaps_for_tests();
	rasterize_visibility_bitmap(_visibility_bitmap_nearsighted, 40, 40);
	EXPECT_EQ(back(), once) << "after new bitmaps";
	initialize_monster_visibility_for_new_map();
	rasterize_visibility_bitmap(_visibility_bitmap_nearsighted, 40, 40);
	EXPECT_EQ(back(), once) << "on new buffers";
}

TEST_F(monster_visibility, without_bitmaps_or_with_a_bad_kind_nothing_is_stamped)
{
	rasterize_visibility_bitmap(7, 10, 10);
	rasterize_visibility_bitmap(-1, 10, 10);
	EXPECT_EQ(visibility_globals.number_of_visibility_bitmaps_rasterized, 0);
	get_monster_visibility_test_hooks()->fail_bitmap_block = TRUE;
	rebuild_visibility_bitmaps_for_tests();
	rasterize_visibility_bitmap(_visibility_bitmap_farsighted, 10, 10);
	rasterize_visibility_bitmap(_visibility_bitmap_farsighted, 20, 10);
	EXPECT_EQ(visibility_globals.number_of_visibility_bitmaps_rasterized, 0);
	EXPECT_EQ(get_monster_visibility_test_hooks()->refused_stamps, 2);
	EXPECT_EQ(visibility_globals.back_buffer[0], 0u);
}

TEST_F(monster_visibility, the_local_team_stamps_and_the_initial_pass_fills_both_buffers)
{
	const int16 kind = new_kind(TAG("kind"));
	const int16 ours = new_unit_type(TAG("u0  "), kind, 0, TAG("sold"));
	const int16 theirs = new_unit_type(TAG("u1  "), kind, 1, TAG("sold"));
	const int16 own = place_unit(kind, ours, 10 * 512, 10 * 512);
	const int16 enemy = place_unit(kind, theirs, 50 * 512, 80 * 512);
	ASSERT_NE(own, NONE);
	ASSERT_NE(enemy, NONE);
	ASSERT_NE(get_unit_definition(ours), nullptr);
	ASSERT_EQ(get_unit_definition(ours)->player_index, 0);
	ASSERT_NE(get_player_data(0), nullptr);
	ASSERT_EQ(get_player_data(0)->team_index, 0);
	ASSERT_EQ(get_monster_data(own)->owner_team_index, 0);
	ASSERT_EQ(get_monster_data(enemy)->owner_team_index, 1);
	player_globals.local_player_team_index = 0;
	record.option_flags |= _game_option_limited_visibility_flag;

	build_initial_monster_visibility();
	EXPECT_EQ(cell(visibility_globals.front_buffer, 10, 10), 3);
	EXPECT_EQ(cell(visibility_globals.back_buffer, 10, 10), 3);
	EXPECT_EQ(cell(visibility_globals.front_buffer, 50, 80), 0) << "the enemy does not see for us";

	get_monster_data(own)->flags |= _monster_has_left_the_mesh_flag;
	build_monster_visibility(own);
	EXPECT_EQ(visibility_globals.number_of_visibility_bitmaps_rasterized, 1) << "only the initial pass stamped";
	get_monster_data(own)->flags &= ~static_cast<uint32>(_monster_has_left_the_mesh_flag);

	player_globals.local_player_team_index = NONE;
	build_monster_visibility(enemy);
	EXPECT_EQ(visibility_globals.number_of_visibility_bitmaps_rasterized, 2) << "without a local team every unit stamps";

	object_of(enemy)->flags |= _object_wholly_under_media_flag;
	swap_visibility_buffers();
	build_monster_visibility(enemy);
	EXPECT_EQ(cell(visibility_globals.back_buffer, 50 + 12, 80), 1) << "a submerged unit sees 12 cells";
	EXPECT_EQ(cell(visibility_globals.back_buffer, 50 + 13, 80), 0);

	get_monster_data(enemy)->extra_flags |= _monster_has_no_visibility_extra_flag;
	const int16 before = visibility_globals.number_of_visibility_bitmaps_rasterized;
	build_monster_visibility(enemy);
	EXPECT_EQ(visibility_globals.number_of_visibility_bitmaps_rasterized, before);
}

} // namespace

namespace {

// The centre is the mean of the swap's stamps; a limited-visibility swap
// with nothing stamped keeps the centre and the buffers it had.
TEST_F(monster_visibility, the_centre_is_the_stamps_mean_and_an_empty_limited_swap_keeps_everything)
{
	record.option_flags |= _game_option_limited_visibility_flag;
	rasterize_visibility_bitmap(_visibility_bitmap_nearsighted, 10, 10);
	rasterize_visibility_bitmap(_visibility_bitmap_nearsighted, 21, 31);
	swap_visibility_buffers();
	point2d centre = {};
	get_center_of_visibility_buffer(&centre);
	EXPECT_EQ(centre.x, 15);
	EXPECT_EQ(centre.y, 20);
	EXPECT_NE(cell(visibility_globals.front_buffer, 10, 10), 0);
	rasterize_visibility_bitmap(_visibility_bitmap_nearsighted, 40, 40);
	swap_visibility_buffers();
	get_center_of_visibility_buffer(&centre);
	EXPECT_EQ(centre.x, 40) << "the earlier stamps do not count again";
	EXPECT_EQ(centre.y, 40);

	const uint32 *front = visibility_globals.front_buffer;
	swap_visibility_buffers();
	get_center_of_visibility_buffer(&centre);
	EXPECT_EQ(centre.x, 40);
	EXPECT_EQ(centre.y, 40);
	EXPECT_EQ(visibility_globals.front_buffer, front) << "nothing stamped: no swap";
}

} // namespace
