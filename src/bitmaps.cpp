#include "bitmaps.h"

#include <cmath>

static bitmaps_test_hooks_data bitmaps_hooks;

bitmaps_test_hooks_data *get_bitmaps_test_hooks(void)
{
	return &bitmaps_hooks;
}

void reset_bitmaps_test_hooks(void)
{
	clear_least_call_log(&bitmaps_hooks.calls);
}

/* ---------- colours */

int32 sizeof_color_table(int32 count)
{
	return static_cast<int32>(sizeof(color_table) - sizeof(rgb_color) * MAXIMUM_COLOR_TABLE_COLORS) +
		static_cast<int32>(sizeof(rgb_color)) * count;
}

int16 get_pixel_upshift_for_bit_depth(int16 depth)
{
	switch (depth)
	{
	case _16bit: return 1;
	case _32bit: return 2;
	default: return 0;
	}
}

// Truncates toward zero and keeps the low 16 bits.
static uint16 truncate_to_uint16(double x)
{
	return static_cast<uint16>(static_cast<int32>(x));
}

hsv_color *rgb_color_to_hsv_color(const rgb_color *rgb, hsv_color *hsv)
{
	const double r = rgb->red / 65535.0;
	const double g = rgb->green / 65535.0;
	const double b = rgb->blue / 65535.0;
	const double maximum = MAX(r, MAX(g, b));
	const double minimum = MIN(r, MIN(g, b));
	const double delta = maximum - minimum;
	const uint16 flags = rgb->flags;

	hsv->flags = flags;
	if (maximum == 0.0)
	{
		hsv->hue = hsv->saturation = hsv->value = 0;
		return hsv;
	}

	const double s = delta / maximum;
	hsv->value = truncate_to_uint16(maximum * 65535.0);
	if (s == 0.0)
	{
		hsv->hue = hsv->saturation = 0;
		return hsv;
	}

	double h;
	if (maximum == r) h = (g - b) / delta;
	else if (maximum == g) h = (b - r) / delta + 2.0;
	else h = (r - g) / delta + 4.0;
	h /= 6.0;
	if (h < 0.0) h += 1.0;

	hsv->hue = truncate_to_uint16(h * 65536.0);
	hsv->saturation = truncate_to_uint16(s * 65535.0);
	return hsv;
}

rgb_color *hsv_color_to_rgb_color(const hsv_color *hsv, rgb_color *rgb)
{
	const double s = hsv->saturation / 65535.0;
	const double v = hsv->value / 65535.0;
	double r, g, b;

	if (s == 0.0)
	{
		r = g = b = v;
	}
	else
	{
		const double h = hsv->hue / 65536.0 * 6.0;
		const int32 i = static_cast<int32>(std::floor(h));
		const double f = h - i;
		const double p = v * (1.0 - s);
		const double q = v * (1.0 - s * f);
		const double t = v * (1.0 - s * (1.0 - f));

		switch (i)
		{
		case 0: r = v; g = t; b = p; break;
		case 1: r = q; g = v; b = p; break;
		case 2: r = p; g = v; b = t; break;
		case 3: r = p; g = q; b = v; break;
		case 4: r = t; g = p; b = v; break;
		default: r = v; g = p; b = q; break;
		}
	}

	rgb->red = truncate_to_uint16(r * 65535.0);
	rgb->green = truncate_to_uint16(g * 65535.0);
	rgb->blue = truncate_to_uint16(b * 65535.0);
	rgb->flags = hsv->flags;
	return rgb;
}

/* ---------- bitmaps */

void precalculate_bitmap_row_addresses(bitmap_data *bitmap)
{
	if (!bitmap || (bitmap->flags & _no_row_address_table_flag)) return;

	uint8 *address = bitmap->row_addresses[0];
	for (int32 row = 0; row < bitmap->height; ++row)
	{
		bitmap->row_addresses[row] = address;
		if (bitmap->flags & _1bit_transparency_encoded_flag)
		{
			int16 span_count, pixel_count;
			memcpy(&span_count, address, sizeof(span_count));
			memcpy(&pixel_count, address + 2, sizeof(pixel_count));
			int32 length = 4 + 4 * static_cast<int32>(span_count) +
				(static_cast<int32>(pixel_count) << bitmap->pixel_upshift);
			if (bitmap->flags & _word_aligned_encoding_flag) length = (length + 1) & ~1;
			address += length;
		}
		else
		{
			address += bitmap->bytes_per_row;
		}
	}
}

void mirror_bitmap_horizontally(bitmap_data *bitmap)
{
	least_call(&bitmaps_hooks.calls, "mirror_bitmap_horizontally", bitmap);
}

/* ---------- rectangles */

rectangle2d *set_rectangle2d(rectangle2d *rectangle, int16 left, int16 top, int16 right, int16 bottom)
{
	rectangle->left = left;
	rectangle->top = top;
	rectangle->right = right;
	rectangle->bottom = bottom;
	return rectangle;
}

rectangle2d *offset_rectangle2d(rectangle2d *rectangle, int16 dx, int16 dy)
{
	rectangle->left = static_cast<int16>(rectangle->left + dx);
	rectangle->right = static_cast<int16>(rectangle->right + dx);
	rectangle->top = static_cast<int16>(rectangle->top + dy);
	rectangle->bottom = static_cast<int16>(rectangle->bottom + dy);
	return rectangle;
}

int16 rectangle2d_width(const rectangle2d *rectangle)
{
	return static_cast<int16>(rectangle->right - rectangle->left);
}

int16 rectangle2d_height(const rectangle2d *rectangle)
{
	return static_cast<int16>(rectangle->bottom - rectangle->top);
}

rectangle2d *adjust_rectangle2d(const rectangle2d *bounds, const rectangle2d *source, rectangle2d *destination,
	int16 mode)
{
	const int32 bounds_width = rectangle2d_width(bounds), bounds_height = rectangle2d_height(bounds);
	const int32 source_width = rectangle2d_width(source), source_height = rectangle2d_height(source);
	int32 dx = 0, dy = 0;

	switch (mode)
	{
	case _adjust_rectangle_center:
		dx = bounds->left - source->left + bounds_width / 2 - source_width / 2;
		dy = bounds->top - source->top + bounds_height / 2 - source_height / 2;
		break;
	case _adjust_rectangle_alert:
		// A third of the free height above, two thirds below.
		dx = bounds->left - source->left + (bounds_width - source_width) / 2;
		dy = bounds->top - source->top + (bounds_height - source_height) / 3;
		break;
	default:
		break;
	}

	*destination = *source;
	return offset_rectangle2d(destination, static_cast<int16>(dx), static_cast<int16>(dy));
}

/* ---------- 2D drawing */

void fill_rectangle_clipped(bitmap_data *destination, const rgb_color *color, const rectangle2d *rectangle,
	const rectangle2d *clip, fixed_fraction transparency, const void *transparency_table)
{
	least_call(&bitmaps_hooks.calls, "fill_rectangle_clipped", destination, color, rectangle, clip, transparency,
		transparency_table);
}

void frame_polygon(bitmap_data *destination, const rgb_color *color, const rectangle2d *clipping_rectangle,
	fixed_fraction transparency, const void *transparency_table, const point2d *vertices, int32 vertex_count)
{
	least_call(&bitmaps_hooks.calls, "frame_polygon", destination, color, clipping_rectangle, transparency,
		transparency_table, vertices, vertex_count);
}

void fill_polygon(bitmap_data *destination, const rgb_color *color, const rectangle2d *clipping_rectangle,
	fixed_fraction transparency, const void *transparency_table, const point2d *vertices, int32 vertex_count)
{
	least_call(&bitmaps_hooks.calls, "fill_polygon", destination, color, clipping_rectangle, transparency,
		transparency_table, vertices, vertex_count);
}
