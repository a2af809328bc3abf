#include <gtest/gtest.h>

#include "CoreLibrary/zerv/shape_file.h"

namespace
{
rgb_color make_rgb(uint16 red, uint16 green, uint16 blue, uint16 flags = 0)
{
	rgb_color color = {red, green, blue, flags};
	return color;
}

uint16 hue_of(const rgb_color &color)
{
	hsv_color hsv;
	rgb_color_to_hsv_color(&color, &hsv);
	return hsv.hue;
}

bool effected(const hue_change &change, int32 i)
{
	return (change.colors_effected[i / 8] >> (i % 8)) & 1;
}

// Red, green, blue, grey, a red just short of the full turn, a weak red.
color_table sample_table(void)
{
	color_table table;
	memset(&table, 0, sizeof(table));
	table.color_count = 6;
	table.colors[0] = make_rgb(65535, 0, 0);
	table.colors[1] = make_rgb(0, 65535, 0);
	table.colors[2] = make_rgb(0, 0, 65535);
	table.colors[3] = make_rgb(30000, 30000, 30000);
	table.colors[4] = make_rgb(65535, 0, 2000);
	table.colors[5] = make_rgb(40000, 30000, 30000);
	return table;
}
}

TEST(shape_file_views, displayed_and_mirrored_views)
{
	EXPECT_EQ(number_of_displayed_views_in_sequence(1), 1);
	EXPECT_EQ(number_of_displayed_views_in_sequence(2), 2);
	EXPECT_EQ(number_of_displayed_views_in_sequence(8), 5);
	EXPECT_EQ(mirror_sequence_view(8, 5), 3);
	EXPECT_EQ(mirror_sequence_view(8, 3), 5);
	EXPECT_EQ(number_of_displayed_views_in_sequence(5), 3);
	for (int16 view = 0; view < 5; ++view) EXPECT_EQ(mirror_sequence_view(5, view), 5 - view);
}

TEST(shape_file_hue_changes, ranges_wrap_and_saturation_must_exceed_the_minimum)
{
	const color_table table = sample_table();
	hue_change change;
	memset(&change, 0xFF, sizeof(change));

	// Wrapping: from near the end of the circle round to just past 0.
	change.hue0 = 60000;
	change.hue1 = 1000;
	change.minimum_saturation = 0;
	update_colors_effected_by_hue_change(&table, &change);
	EXPECT_TRUE(effected(change, 0));
	EXPECT_TRUE(effected(change, 4));
	EXPECT_FALSE(effected(change, 1));
	EXPECT_FALSE(effected(change, 2));
	EXPECT_FALSE(effected(change, 3)); // grey: saturation 0 is not above 0
	for (int32 i = 6; i < 256; ++i) ASSERT_FALSE(effected(change, i)) << i;

	// Plain range: hue0 included, hue1 excluded.
	change.hue0 = hue_of(table.colors[1]);
	change.hue1 = hue_of(table.colors[2]);
	update_colors_effected_by_hue_change(&table, &change);
	EXPECT_TRUE(effected(change, 1));
	EXPECT_FALSE(effected(change, 2));

	// The weak red's saturation (10000 / 40000 of the full scale) is not
	// above a minimum of 20000, the pure red's is.
	change.hue0 = 60000;
	change.hue1 = 1000;
	change.minimum_saturation = 20000;
	update_colors_effected_by_hue_change(&table, &change);
	EXPECT_TRUE(effected(change, 0));
	EXPECT_FALSE(effected(change, 5));
}

TEST(shape_file_colorize, recolours_marked_colours_and_ignores_bits_beyond_the_count)
{
	const color_table original = sample_table();
	color_table colorized;
	memset(&colorized, 0x5A, sizeof(colorized));

	hue_change changes[3];
	memset(changes, 0, sizeof(changes));
	// Change 0: red (colour 0) and an unused slot 200 beyond the count.
	changes[0].colors_effected[0] = 1;
	changes[0].colors_effected[200 / 8] = 1 << (200 % 8);
	changes[0].median_hue = 0;
	// Change 1 is switched off by its replacement's unused flag.
	changes[1].colors_effected[0] = 2;
	// Change 2 mirrors blue round the median with the reversed flag.
	changes[2].colors_effected[0] = 4;
	changes[2].median_hue = 10000;

	rgb_color replacements[3];
	replacements[0] = make_rgb(0, 65535, 0);               // full green
	replacements[1] = make_rgb(0, 0, 65535, 4);            // unused
	replacements[2] = make_rgb(65535, 0, 0, 1);            // red, reversed

	colorize_color_table(&original, &colorized, changes, replacements, 3);

	EXPECT_EQ(colorized.color_count, 6);
	// Red became green; saturation and value are products of full scales,
	// which only fit when computed in 32 unsigned bits.
	EXPECT_LT(colorized.colors[0].red, 16);
	EXPECT_GT(colorized.colors[0].green, 65500);
	EXPECT_LT(colorized.colors[0].blue, 16);
	// Unused replacement: green stays green.
	EXPECT_EQ(colorized.colors[1].green, 65535);
	EXPECT_EQ(colorized.colors[1].red, 0);
	// Reversed: hue = 0 + (10000 - 43690), wrapped.
	EXPECT_NEAR(hue_of(colorized.colors[2]), static_cast<uint16>(10000 - 43690), 8);
	// Unmarked colours are copied unchanged.
	EXPECT_EQ(colorized.colors[3].red, 30000);
	// Nothing beyond the count is read or written.
	EXPECT_EQ(colorized.colors[200].red, 0x5A5A);
	EXPECT_EQ(colorized.colors[6].red, 0x5A5A);
}

TEST(shape_file_colorize, later_changes_see_earlier_results)
{
	color_table original;
	memset(&original, 0, sizeof(original));
	original.color_count = 1;
	original.colors[0] = make_rgb(65535, 0, 0);

	hue_change changes[2];
	memset(changes, 0, sizeof(changes));
	changes[0].colors_effected[0] = 1;
	changes[1].colors_effected[0] = 1;
	changes[1].median_hue = hue_of(make_rgb(0, 65535, 0));
	rgb_color replacements[2] = {make_rgb(0, 65535, 0), make_rgb(0, 0, 65535)};

	color_table colorized;
	colorize_color_table(&original, &colorized, changes, replacements, 2);
	// Red to green by the first, then green to blue by the second.
	EXPECT_GT(colorized.colors[0].blue, 65000);
	EXPECT_LT(colorized.colors[0].red, 64);
	EXPECT_LT(colorized.colors[0].green, 64);
}
