#include "shape_file.h"

// Colours a table really holds; bits and entries beyond them mean nothing.
static int32 usable_color_count(const color_table *colors)
{
	return PIN(colors->color_count, 0, MAXIMUM_COLOR_TABLE_COLORS);
}

int16 number_of_displayed_views_in_sequence(int16 number_of_views)
{
	return number_of_views < 3 ? number_of_views : static_cast<int16>(number_of_views / 2 + 1);
}

int16 mirror_sequence_view(int16 number_of_views, int16 view)
{
	return static_cast<int16>(2 * number_of_displayed_views_in_sequence(number_of_views) - view +
		(number_of_views & 1) - 2);
}

void update_colors_effected_by_hue_change(const color_table *colors, hue_change *change)
{
	const int32 color_count = usable_color_count(colors);

	memset(change->colors_effected, 0, sizeof(change->colors_effected));
	for (int32 i = 0; i < color_count; ++i)
	{
		hsv_color hsv;
		rgb_color_to_hsv_color(&colors->colors[i], &hsv);

		const boolean in_range = change->hue0 <= change->hue1 ?
			(hsv.hue >= change->hue0 && hsv.hue < change->hue1) :
			(hsv.hue >= change->hue0 || hsv.hue < change->hue1);
		if (in_range && hsv.saturation > change->minimum_saturation)
		{
			change->colors_effected[i >> 3] |= static_cast<uint8>(1u << (i & 7));
		}
	}
}

void colorize_color_table(const color_table *original, color_table *colorized, const hue_change *hue_changes,
	const rgb_color *replacement_colors, int16 hue_change_count)
{
	const int32 color_count = usable_color_count(original);

	if (colorized != original) memmove(colorized, original, static_cast<size_t>(sizeof_color_table(color_count)));

	for (int16 k = 0; k < hue_change_count; ++k)
	{
		const hue_change *change = &hue_changes[k];
		hsv_color replacement;

		if (replacement_colors[k].flags & _color_unused_flag) continue;
		rgb_color_to_hsv_color(&replacement_colors[k], &replacement);

		for (int32 i = 0; i < color_count; ++i)
		{
			if (!(change->colors_effected[i >> 3] & (1u << (i & 7)))) continue;

			hsv_color hsv;
			rgb_color_to_hsv_color(&colorized->colors[i], &hsv);
			// 16-bit wrap-around on the hue circle.
			if (replacement.flags & _color_reversed_flag)
			{
				hsv.hue = static_cast<uint16>(replacement.hue + (change->median_hue - hsv.hue));
			}
			else
			{
				hsv.hue = static_cast<uint16>(replacement.hue + (hsv.hue - change->median_hue));
			}
			// Both products fit in 32 unsigned bits.
			hsv.saturation = static_cast<uint16>((static_cast<uint32>(hsv.saturation) * replacement.saturation) >> 16);
			hsv.value = static_cast<uint16>((static_cast<uint32>(hsv.value) * replacement.value) >> 16);
			hsv_color_to_rgb_color(&hsv, &colorized->colors[i]);
		}
	}
}

void assert_shape_file_constants(void)
{
}
