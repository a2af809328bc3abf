// Formation layouts worked out by hand, definitions per player, identifiers
// and the stored 'form' record.
#include <gtest/gtest.h>

#include <vector>

#include "byte_swapping.h"
#include "CoreLibrary/zerv/error_manager.h"
#include "default_tags.h"
#include "definitions.h"
#include "formations.h"
#include "world.h"
#include "zerv.h"

namespace
{
struct layout
{
	std::vector<world_point2d> points;
	std::vector<angle> facings;
};

layout build(int16 type, int16 count, angle facing = 0, world_point2d center = {100000, 100000}, int16 player = NONE)
{
	layout l;
	l.points.assign(static_cast<size_t>(MAX(count, static_cast<int16>(1))), world_point2d{-7, -7});
	l.facings.assign(l.points.size(), 0xBEEF);
	build_formation(player, type, &center, l.points.data(), l.facings.data(), facing, count);
	return l;
}

class formations : public ::testing::Test
{
protected:
	void SetUp() override
	{
		initialize_world();
		initialize_formations();
		initialize_formations_for_new_map();
		game_play_version = 1720;
	}
	void TearDown() override
	{
		dispose_formations_from_old_map();
		initialize_formations();
	}
};
} // namespace

TEST_F(formations, one_unit_stands_at_the_centre_whatever_the_type)
{
	for (int16 type = 0; type < MAXIMUM_NUMBER_OF_FORMATIONS; ++type)
	{
		const layout l = build(type, 1, 12345);
		EXPECT_EQ(l.points[0].x, 100000) << type;
		EXPECT_EQ(l.points[0].y, 100000) << type;
		EXPECT_EQ(l.facings[0], 12345) << type;
	}
	// Nothing is written for none.
	const layout none = build(_formation_box, 0);
	EXPECT_EQ(none.points[0].x, -7);
}

TEST_F(formations, lines_fill_centred_rows_front_to_back)
{
	// Facing east: forward is +x, across is +y.
	const layout eight = build(_formation_short_line, 8);
	const int32 across[] = {-960, -320, 320, 960};
	for (int32 i = 0; i < 8; ++i)
	{
		EXPECT_EQ(eight.points[i].y, 100000 + across[i % 4]) << i;
		EXPECT_EQ(eight.points[i].x, i < 4 ? 100000 : 100000 - 640) << i;
		EXPECT_EQ(eight.facings[i], 0);
	}
	const layout long8 = build(_formation_long_line, 8);
	for (int32 i = 0; i < 8; ++i) EXPECT_EQ(long8.points[i].x, 100000);
	EXPECT_EQ(long8.points[0].y, 100000 - 2240);
	const layout long9 = build(_formation_long_line, 9);
	EXPECT_EQ(long9.points[8].x, 100000 - 640);
	EXPECT_EQ(long9.points[8].y, 100000);
	EXPECT_TRUE(formation_is_line(NONE, _formation_long_line, 8));
	EXPECT_FALSE(formation_is_line(NONE, _formation_long_line, 9));
	EXPECT_TRUE(formation_is_line(NONE, _formation_deep_encirclement, 100));
	EXPECT_FALSE(formation_is_line(NONE, _formation_box, 2));
	EXPECT_FALSE(formation_is_line(NONE, 10, 1));
	EXPECT_FALSE(formation_is_line(NONE, -1, 1));

	// Box rows hold the ceiling of the square root: 5 -> 3 + 2, 7 -> 3 + 3 + 1.
	const layout box5 = build(_formation_box, 5);
	EXPECT_EQ(box5.points[0].y, 100000 - 640);
	EXPECT_EQ(box5.points[2].y, 100000 + 640);
	EXPECT_EQ(box5.points[3].y, 100000 - 320);
	EXPECT_EQ(box5.points[4].y, 100000 + 320);
	EXPECT_EQ(box5.points[3].x, 100000 - 640);
	const layout box7 = build(_formation_box, 7);
	EXPECT_EQ(box7.points[5].x, 100000 - 640);
	EXPECT_EQ(box7.points[6].x, 100000 - 1280);
	EXPECT_EQ(box7.points[6].y, 100000);
}

TEST_F(formations, staggered_rows_alternate_and_the_option_centres_a_row_of_two)
{
	// m = 4, S = 1024: even rows at +-512, +-1536; odd rows at 0, +-1024, +-2048.
	const layout eleven = build(_formation_staggered_line, 11);
	const int32 expected[] = {-1536, -512, 512, 1536, -2048, -1024, 0, 1024, 2048, -512, 512};
	for (int32 i = 0; i < 11; ++i) EXPECT_EQ(eleven.points[i].y - 100000, expected[i]) << i;
	EXPECT_EQ(eleven.points[4].x, 100000 - 1024);
	EXPECT_EQ(eleven.points[9].x, 100000 - 2048);

	game_data *saved_game = game;
	static game_data local_game = {};
	game = &local_game;
	game->option_flags &= ~static_cast<uint32>(_game_option_uses_qel_flag);
	const layout plain = build(_formation_staggered_line, 6);
	EXPECT_EQ(plain.points[4].y - 100000, -1024);
	EXPECT_EQ(plain.points[5].y - 100000, 0);
	game->option_flags |= _game_option_uses_qel_flag;
	const layout qel = build(_formation_staggered_line, 6);
	EXPECT_EQ(qel.points[4].y - 100000, -512);
	EXPECT_EQ(qel.points[5].y - 100000, 512);
	game = saved_game;
}

TEST_F(formations, the_mob_follows_its_centre_only)
{
	const layout a = build(_formation_mob, 20, 0, {50000, 60000});
	const layout b = build(_formation_mob, 20, 0, {50000, 60000});
	const layout moved = build(_formation_mob, 20, 0, {50512, 60000});
	int32 differing = 0;
	for (int32 i = 0; i < 20; ++i)
	{
		EXPECT_EQ(a.points[i].x, b.points[i].x);
		EXPECT_EQ(a.points[i].y, b.points[i].y);
		if (moved.points[i].x - 512 != a.points[i].x || moved.points[i].y != a.points[i].y) differing += 1;
		// W = 768 x (isqrt(20) + 2) = 4608 around the centre.
		EXPECT_GE(a.points[i].x, 50000 - 2304);
		EXPECT_LT(a.points[i].x, 50000 + 2304);
	}
	EXPECT_GT(differing, 0);
	EXPECT_EQ(a.points[0].x, 50000);
	// The first draw by hand: state 60000 ^ 50000, one step, remainder 4608.
	uint32 state = 60000u ^ 50000u;
	state = state * 1664525u + 1013904223u;
	EXPECT_EQ(a.points[1].x, 50000 - 2304 + static_cast<int32>(state % 4608u));
}

TEST_F(formations, encirclements_radius_arc_and_ends)
{
	// Shallow of 3: computed radius 1024 is raised to 1536, so the arc is 10922.
	const layout three = build(_formation_shallow_encirclement, 3, 0, {0, 0});
	EXPECT_EQ(three.facings[0], static_cast<angle>(-5461));
	EXPECT_EQ(three.facings[1], 0);
	EXPECT_EQ(three.facings[2], 5461);
	// The middle unit stands on the circle's near side, R ahead of the centre less R.
	EXPECT_EQ(three.points[1].x, 0);
	EXPECT_EQ(three.points[1].y, 0);

	// Two units stand at the arc's two ends: radius raised to 1536 gives T = 5461.
	const layout two = build(_formation_deep_encirclement, 2, 0, {0, 0});
	EXPECT_EQ(two.facings[0], static_cast<angle>(-2730));
	EXPECT_EQ(two.facings[1], 2731);
	EXPECT_EQ(two.points[0].x, 1536 - ((1536 * static_cast<int64>(angle_cosine(static_cast<angle>(-2730)))) >> 14));
}

TEST_F(formations, vanguard_apex_moves_only_in_y_and_circle_radius_is_pinned)
{
	// Facing 8192 (north-east): the apex moves along y only.
	const layout v = build(_formation_vanguard, 5, 8192, {10000, 10000});
	const int64 s = angle_sine(8192);
	EXPECT_EQ(v.points[0].x, 10000);
	EXPECT_EQ(v.points[0].y, 10000 + static_cast<int32>((1 * 512 * s) >> 14));
	const layout even = build(_formation_vanguard, 4, 0, {10000, 10000});
	EXPECT_EQ(even.points[0].y, 10000 + 256);
	EXPECT_EQ(even.points[1].y, 10000 - 256);
	EXPECT_EQ(even.points[2].x, 10000 - 512);
	EXPECT_EQ(even.points[2].y, 10000 + 768);

	formation_definition wide = *get_default_formation_definition();
	wide.circle_unit_separation = 1051;
	set_formation_definition_for_player(3, &wide);
	const layout circle = build(_formation_circle, 103, 0, {0, 0}, 3);
	EXPECT_EQ(circle.points[0].x, 17228);
	EXPECT_EQ(circle.points[0].y, 0);
}

TEST_F(formations, large_separations_do_not_wrap)
{
	formation_definition far = *get_default_formation_definition();
	far.box_unit_separation = 32767;
	far.circle_unit_separation = 32767;
	set_formation_definition_for_player(0, &far);
	const layout box = build(_formation_box, 126, 16384, {0, 0}, 0);
	// Twelve rows back at 32767 each: well past 32-bit products of the cosine.
	EXPECT_EQ(box.points[125].y, -((125 / 12) * 32767));
	const layout circle = build(_formation_circle, 126, 0, {0, 0}, 0);
	EXPECT_GT(circle.points[0].x, 600000);
}

TEST_F(formations, bad_indexes_and_definitions_fall_back)
{
	const layout wild = build(42, 8);
	const layout first = build(_formation_short_line, 8);
	for (int32 i = 0; i < 8; ++i) EXPECT_EQ(wild.points[i].y, first.points[i].y);
	EXPECT_FALSE(valid_formation_index(10));
	EXPECT_FALSE(valid_formation_index(-1));
	EXPECT_TRUE(valid_formation_index(9));

	formation_definition changed = *get_default_formation_definition();
	changed.short_line_unit_separation = 100;
	set_formation_definition_for_player(255, &changed);
	set_formation_definition_for_player(-2, &changed);
	for (int16 p = 0; p < MAXIMUM_FORMATION_PLAYERS; ++p)
	{
		EXPECT_EQ(get_formation_definition_for_player(p)->short_line_unit_separation, 640) << p;
	}
	EXPECT_EQ(build(_formation_short_line, 2, 0, {0, 0}, 255).points[0].y, -320);

	// Definitions that could not be laid out are refused and the default stays.
	const auto refused = [](void (*damage)(formation_definition *)) {
		formation_definition d = *get_default_formation_definition();
		damage(&d);
		return !formation_definition_is_valid(&d);
	};
	EXPECT_TRUE(refused([](formation_definition *d) { d->maximum_units_per_long_line_row = 0; }));
	EXPECT_TRUE(refused([](formation_definition *d) { d->deep_encirclement_arc_length = 0; }));
	EXPECT_TRUE(refused([](formation_definition *d) { d->minimum_mob_unit_separation = 0; }));
	EXPECT_TRUE(refused([](formation_definition *d) { d->minimum_encirclement_radius = 0; }));
	EXPECT_FALSE(refused([](formation_definition *d) { d->unused = 5; }));
	formation_definition looping = *get_default_formation_definition();
	looping.maximum_units_per_short_line_row = 0;
	set_formation_definition_for_player(2, &looping);
	EXPECT_EQ(get_formation_definition_for_player(2)->maximum_units_per_short_line_row, 4);
	set_formation_definition_for_player(2, &changed);
	EXPECT_EQ(get_formation_definition_for_player(2)->short_line_unit_separation, 100);
}

TEST_F(formations, identifiers_restart_each_map_and_wrap)
{
	EXPECT_EQ(get_formation_identifier(), 0);
	EXPECT_EQ(get_formation_identifier(), 1);
	dispose_formations_from_old_map();
	initialize_formations_for_new_map();
	EXPECT_EQ(get_formation_identifier(), 0);
	for (int32 i = 1; i < 32767; ++i) get_formation_identifier();
	EXPECT_EQ(get_formation_identifier(), 32767);
	EXPECT_EQ(get_formation_identifier(), 0);
	// Without 'infn' every name is empty.
	EXPECT_STREQ(get_formation_name(0), "");
	EXPECT_STREQ(get_formation_name(12), "");
}

TEST_F(formations, the_stored_record_is_big_endian_and_swaps_every_field)
{
	const std::vector<uint8> bytes = default_formation_definition_bytes();
	const uint8 expected[40] = {0, 4, 2, 128, 0, 8, 2, 128, 0, 4, 4, 0, 0, 4, 4, 0, 2, 128, 3, 0,
		1, 128, 6, 0, 3, 0, 64, 0, 85, 85, 1, 0, 2, 0, 2, 0, 3, 0, 0, 0};
	ASSERT_EQ(bytes.size(), 40u);
	for (int32 i = 0; i < 40; ++i) EXPECT_EQ(bytes[i], expected[i]) << i;
	formation_definition swapped;
	memcpy(&swapped, bytes.data(), sizeof(swapped));
	byte_swap_data("formation", &swapped, sizeof(swapped), 1, formation_definition_bs_data);
	EXPECT_EQ(memcmp(&swapped, get_default_formation_definition(), sizeof(swapped)), 0);
}

TEST_F(formations, the_loader_refuses_definitions_that_cannot_be_laid_out)
{
	initialize_error_state("zerv");
	initialize_formation_definitions();
	initialize_definitions_for_new_map(get_formation_definitions());
	std::vector<uint8> bytes = default_formation_definition_bytes();
	int16 index = new_formation_definition_from_tag_data(TAG("good"), bytes.data(), static_cast<int32>(bytes.size()));
	ASSERT_NE(index, NONE);
	EXPECT_EQ(memcmp(try_and_get_definition(get_formation_definitions(), index), get_default_formation_definition(), 40), 0);
	delete_definition(get_formation_definitions(), index);
	// A row maximum of 0, then a zero mob separation.
	for (const int32 offset : {4, 18})
	{
		std::vector<uint8> bad = bytes;
		bad[offset] = 0;
		bad[offset + 1] = 0;
		EXPECT_EQ(new_formation_definition_from_tag_data(TAG("bad "), bad.data(), static_cast<int32>(bad.size())), NONE)
			<< offset;
		handle_error();
	}
	EXPECT_EQ(new_formation_definition_from_tag_data(TAG("shrt"), bytes.data(), 20), NONE);
	handle_error();
	dispose_formation_definitions_from_old_map();
}
