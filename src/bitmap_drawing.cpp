#include "bitmap_drawing.h"

#include <algorithm>

#include "hardware/hardware_rasterizers.h"
#include "shading_tables.h"
#include "shapes.h"

const rgb_color white = {65535, 65535, 65535, 0};
const rgb_color black = {0, 0, 0, 0};
const rgb_color red = {65535, 0, 0, 0};
const rgb_color green = {0, 65535, 0, 0};
const rgb_color blue = {0, 0, 65535, 0};

const uint8 tile_rectangle_flags[NUMBER_OF_TILE_RECTANGLE_STATES] = {0, 53, 54, 57, 58, 36, 33, 40, 34};

#define LEVEL_BLOCK_SIZE 1024

/* ---------- pixels */

static inline uint32 load_pixel(const uint8 *p, int16 upshift)
{
	switch (upshift)
	{
	case 0: return p[0];
	case 1: return pixel_load16(p);
	default: return pixel_load32(p);
	}
}

static inline const uint8 *level_block(const void *table, fixed_fraction transparency)
{
	return static_cast<const uint8 *>(table) + ((transparency >> 2) & 0x3C00);
}

uint8 *bitmap_row_address(const bitmap_data *bitmap, int32 row)
{
	if (bitmap->flags & _no_row_address_table_flag)
		return bitmap->row_addresses[0] + static_cast<intptr_t>(row) * bitmap->bytes_per_row;
	return bitmap->row_addresses[row];
}

/* ---------- clip windows */

struct clip_window
{
	int32 left, top, right, bottom;
};

static clip_window make_clip_window(const bitmap_data *destination, const rectangle2d *clip)
{
	clip_window window = {0, 0, destination->width, destination->height};
	if (clip)
	{
		window.left = MAX(window.left, static_cast<int32>(clip->left));
		window.top = MAX(window.top, static_cast<int32>(clip->top));
		window.right = MIN(window.right, static_cast<int32>(clip->right));
		window.bottom = MIN(window.bottom, static_cast<int32>(clip->bottom));
	}
	return window;
}

static inline boolean clip_window_empty(const clip_window &window)
{
	return window.left >= window.right || window.top >= window.bottom;
}

/* ---------- solid and blended pixels (lines, polygons, fills) */

// One mode for a line, polygon or fill, with its pixel and level block.
struct pen_data
{
	int16 mode; // a line mode
	uint32 pixel;
	const uint8 *level;
};

static boolean destination_refused(const bitmap_data *destination)
{
	return !destination || (destination->flags & _bitmap_undrawable_flags) != 0;
}

// FALSE when nothing can be drawn into the destination.
static boolean choose_pen(const bitmap_data *destination, const rgb_color *color, fixed_fraction transparency,
	const void *transparency_table, boolean allow_8bit, pen_data *pen)
{
	pen->pixel = rgb_color_to_pixel(color, destination->encoding, transparency);
	pen->level = NULL;
	if (is_hardware_encoding(destination->encoding))
	{
		pen->mode = _draw_line_hardware;
		return TRUE;
	}
	if (destination->logical_bit_depth == _8bit)
	{
		pen->mode = _draw_line_8bit;
		pen->pixel = color->red & 0xFF;
		return allow_8bit;
	}
	switch (destination->encoding)
	{
	case _16bit_555_encoding: pen->mode = _draw_line_16bit_555; break;
	case _16bit_565_encoding: pen->mode = _draw_line_16bit_565; break;
	case _32bit_encoding: pen->mode = _draw_line_32bit; break;
	default: return FALSE;
	}
	if (transparency)
	{
		// A blend needs its table.
		if (!transparency_table) return FALSE;
		pen->mode += 1;
		pen->level = level_block(transparency_table, transparency);
	}
	return TRUE;
}

static inline void plot(uint8 *row, int32 x, const pen_data &pen)
{
	switch (pen.mode)
	{
	case _draw_line_8bit: row[x] = static_cast<uint8>(pen.pixel); break;
	case _draw_line_16bit_555:
	case _draw_line_16bit_565: pixel_store16(row + 2 * x, pen.pixel); break;
	case _draw_line_transparent_16bit_555: pixel_store16(row + 2 * x, blend_pixel_555(pixel_load16(row + 2 * x), pen.pixel, pen.level)); break;
	case _draw_line_transparent_16bit_565: pixel_store16(row + 2 * x, blend_pixel_565(pixel_load16(row + 2 * x), pen.pixel, pen.level)); break;
	case _draw_line_32bit: pixel_store32(row + 4 * x, pen.pixel); break;
	case _draw_line_transparent_32bit: pixel_store32(row + 4 * x, blend_pixel_32(pixel_load32(row + 4 * x), pen.pixel, pen.level)); break;
	default: break;
	}
}

static void fill_span(uint8 *row, int32 left, int32 right, const pen_data &pen)
{
	switch (pen.mode)
	{
	case _draw_line_16bit_555:
	case _draw_line_16bit_565:
		if (!(reinterpret_cast<uintptr_t>(row) & 1))
			std::fill(reinterpret_cast<uint16 *>(row) + left, reinterpret_cast<uint16 *>(row) + right, static_cast<uint16>(pen.pixel));
		else
			for (int32 x = left; x < right; ++x) pixel_store16(row + 2 * x, pen.pixel);
		break;
	case _draw_line_32bit:
		if (!(reinterpret_cast<uintptr_t>(row) & 3))
			std::fill(reinterpret_cast<uint32 *>(row) + left, reinterpret_cast<uint32 *>(row) + right, pen.pixel);
		else
			for (int32 x = left; x < right; ++x) pixel_store32(row + 4 * x, pen.pixel);
		break;
	default:
		for (int32 x = left; x < right; ++x) plot(row, x, pen);
		break;
	}
}

/* ---------- lines */

void draw_line(bitmap_data *destination, const rgb_color *color, fixed_fraction transparency,
	const void *transparency_table, const rectangle2d *clipping_rectangle, point2d p0, point2d p1)
{
	if (destination_refused(destination) || !color) return;
	pen_data pen;
	if (!choose_pen(destination, color, transparency, transparency_table, TRUE, &pen)) return;
	if (p1.y < p0.y)
	{
		const point2d t = p0;
		p0 = p1;
		p1 = t;
	}
	if (pen.mode == _draw_line_hardware)
	{
		draw_line_hardware(destination, static_cast<int32>(pen.pixel), p0, p1);
		return;
	}

	const clip_window window = make_clip_window(destination, clipping_rectangle);
	int32 x = p0.x, y = p0.y;
	const int32 x1 = p1.x, y1 = p1.y;
	const int32 dx = x1 - x, dy = y1 - y;
	const int32 ax = 2 * (dx < 0 ? -dx : dx), ay = 2 * (dy < 0 ? -dy : dy);
	const int32 sx = (dx > 0) - (dx < 0), sy = (dy > 0) - (dy < 0);
	auto put = [&]()
	{
		if (x >= window.left && x < window.right && y >= window.top && y < window.bottom)
			plot(bitmap_row_address(destination, y), x, pen);
	};
	if (ax > ay)
	{
		int32 error = ay - ax / 2;
		for (;;)
		{
			put();
			if (x == x1) break;
			if (error >= 0)
			{
				y += sy;
				error -= ax;
			}
			x += sx;
			error += ay;
		}
	}
	else
	{
		int32 error = ax - ay / 2;
		for (;;)
		{
			put();
			if (y == y1) break;
			if (error >= 0)
			{
				x += sx;
				error -= ay;
			}
			y += sy;
			error += ax;
		}
	}
}

void frame_rectangle_clipped(bitmap_data *destination, const rgb_color *color, const rectangle2d *rectangle,
	const rectangle2d *clip, fixed_fraction transparency, const void *transparency_table)
{
	if (!rectangle) return;
	const int16 l = rectangle->left, t = rectangle->top;
	const int16 r = static_cast<int16>(rectangle->right - 1), b = static_cast<int16>(rectangle->bottom - 1);
	draw_line(destination, color, transparency, transparency_table, clip, {l, t}, {r, t});
	draw_line(destination, color, transparency, transparency_table, clip, {r, t}, {r, b});
	draw_line(destination, color, transparency, transparency_table, clip, {r, b}, {l, b});
	draw_line(destination, color, transparency, transparency_table, clip, {l, b}, {l, t});
}

void frame_polygon(bitmap_data *destination, const rgb_color *color, const rectangle2d *clipping_rectangle,
	fixed_fraction transparency, const void *transparency_table, const point2d *vertices, int32 vertex_count)
{
	if (!vertices || vertex_count < 1) return;
	for (int32 i = 0; i < vertex_count; ++i)
	{
		draw_line(destination, color, transparency, transparency_table, clipping_rectangle, vertices[i],
			vertices[(i + 1) % vertex_count]);
	}
}

/* ---------- polygons */

void fill_polygon(bitmap_data *destination, const rgb_color *color, const rectangle2d *clipping_rectangle,
	fixed_fraction transparency, const void *transparency_table, const point2d *vertices, int32 vertex_count)
{
	if (destination_refused(destination) || !color || !vertices || vertex_count < 1) return;
	// Each vertex makes one edge: more than the edge table holds draw nothing.
	if (vertex_count > MAXIMUM_EDGES_PER_POLYGON) return;
	pen_data pen;
	if (!choose_pen(destination, color, transparency, transparency_table, FALSE, &pen)) return;
	const clip_window window = make_clip_window(destination, clipping_rectangle);
	if (pen.mode == _draw_line_hardware)
	{
		fill_polygon_hardware(destination, static_cast<int32>(pen.pixel), vertices, vertex_count);
		return;
	}

	polygon_edge edges[MAXIMUM_EDGES_PER_POLYGON];
	polygon_edge *vertical = NULL;
	int32 edge_count = 0;
	for (int32 i = 0; i < vertex_count; ++i)
	{
		const point2d a = vertices[i == 0 ? vertex_count - 1 : i - 1], b = vertices[i];
		if (a.y == b.y) continue;
		const point2d upper = a.y < b.y ? a : b, lower = a.y < b.y ? b : a;
		polygon_edge *edge = &edges[edge_count++];
		edge->y0 = upper.y;
		edge->y1 = lower.y;
		edge->x = static_cast<int64>(upper.x) << 16;
		edge->dx = (static_cast<int64>(lower.x - upper.x) << 16) / (lower.y - upper.y);
		polygon_edge **link = &vertical;
		while (*link && (*link)->y0 < edge->y0) link = &(*link)->next_vertical_edge;
		edge->next_vertical_edge = *link;
		*link = edge;
	}
	if (!vertical || clip_window_empty(window)) return;

	for (polygon_edge *edge = vertical; edge; edge = edge->next_vertical_edge)
	{
		if (edge->y0 < window.top) edge->x += edge->dx * (window.top - edge->y0);
	}

	for (int32 y = MAX(static_cast<int32>(vertical->y0), window.top); y < window.bottom; ++y)
	{
		polygon_edge *active = NULL;
		for (polygon_edge *edge = vertical; edge && edge->y0 <= y; edge = edge->next_vertical_edge)
		{
			if (y >= edge->y1) continue;
			polygon_edge **link = &active;
			while (*link && (*link)->x < edge->x) link = &(*link)->next_horizontal_edge;
			edge->next_horizontal_edge = *link;
			*link = edge;
		}
		if (!active) break;

		uint8 *row = bitmap_row_address(destination, y);
		for (polygon_edge *first = active; first && first->next_horizontal_edge;
			first = first->next_horizontal_edge->next_horizontal_edge)
		{
			const polygon_edge *second = first->next_horizontal_edge;
			const int64 left = MAX(static_cast<int64>(window.left), first->x >> 16);
			const int64 right = MIN(static_cast<int64>(window.right), (second->x + 0xFFFF) >> 16);
			if (left < right) fill_span(row, static_cast<int32>(left), static_cast<int32>(right), pen);
		}
		for (polygon_edge *edge = active; edge; edge = edge->next_horizontal_edge) edge->x += edge->dx;
	}
}

/* ---------- rectangles */

void fill_rectangle_clipped(bitmap_data *destination, const rgb_color *color, const rectangle2d *rectangle,
	const rectangle2d *clip, fixed_fraction transparency, const void *transparency_table)
{
	if (!transparency_table) transparency_table = get_transparency_table(0);
	if (destination_refused(destination) || !color || !rectangle) return;

	int32 left = rectangle->left, top = rectangle->top, right = rectangle->right, bottom = rectangle->bottom;
	if (clip)
	{
		left = MAX(left, static_cast<int32>(clip->left));
		top = MAX(top, static_cast<int32>(clip->top));
		right = MIN(right, static_cast<int32>(clip->right));
		bottom = MIN(bottom, static_cast<int32>(clip->bottom));
	}
	pen_data pen;
	if (!choose_pen(destination, color, transparency, transparency_table, FALSE, &pen)) return;
	left = PIN(left, 0, static_cast<int32>(destination->width));
	right = PIN(right, 0, static_cast<int32>(destination->width));
	top = PIN(top, 0, static_cast<int32>(destination->height));
	bottom = PIN(bottom, 0, static_cast<int32>(destination->height));
	// An empty or inverted rectangle never reaches the hardware.
	if (left >= right || top >= bottom) return;
	if (pen.mode == _draw_line_hardware)
	{
		fill_rectangle_hardware(destination, static_cast<int32>(pen.pixel), left, right, top, bottom);
		return;
	}
	fill_span(bitmap_row_address(destination, top), left, right, pen);
	const boolean solid = pen.mode == _draw_line_16bit_555 || pen.mode == _draw_line_16bit_565 ||
		pen.mode == _draw_line_32bit;
	const int32 upshift = destination->pixel_upshift;
	const uint8 *first_row = bitmap_row_address(destination, top) + (static_cast<intptr_t>(left) << upshift);
	for (int32 y = top + 1; y < bottom; ++y)
	{
		// A solid row is the same bytes every time.
		if (solid) memcpy(bitmap_row_address(destination, y) + (static_cast<intptr_t>(left) << upshift), first_row,
			static_cast<size_t>(right - left) << upshift);
		else fill_span(bitmap_row_address(destination, y), left, right, pen);
	}
}

/* ---------- copies */

int16 calculate_copy_bitmap_mode(const bitmap_data *destination, const bitmap_data *source,
	const void *source_color_table, fixed_fraction transparency, const uint8 **transparency_table)
{
	if (!destination || !source) return NONE;
	auto advance = [&]()
	{
		if (transparency_table && *transparency_table) *transparency_table = level_block(*transparency_table, transparency);
	};
	const int32 sflags = source->flags;
	const int16 dencoding = destination->encoding;
	int16 mode = NONE;

	if (is_hardware_encoding(dencoding))
	{
		return _copy_to_hardware;
	}
	else if (destination->logical_bit_depth == _16bit)
	{
		if (source->logical_bit_depth == _32bit)
		{
			if (dencoding == _16bit_555_encoding) mode = _copy_32bit_to_16bit_555;
			else if (dencoding == _16bit_565_encoding) mode = _copy_32bit_to_16bit_565;
		}
		else if (!(sflags & (_4bit_transparency_encoded_flag | _grayscale_bitmap_flag)))
		{
			if (transparency == 0)
			{
				if (source->logical_bit_depth == _8bit) mode = _copy_8bit_to_16bit;
				else if (source->encoding == _16bit_555_encoding && dencoding == _16bit_565_encoding)
					mode = _copy_16bit_555_to_16bit_565;
				else if (source->encoding == _16bit_565_encoding && dencoding == _16bit_555_encoding)
					mode = _copy_16bit_565_to_16bit_555;
				else mode = _copy_16bit_to_16bit;
			}
			else
			{
				const boolean with_table = source_color_table != NULL;
				if (dencoding == _16bit_555_encoding)
					mode = with_table ? _copy_8bit_transparency_to_16bit_555 : _copy_16bit_transparency_to_16bit_555;
				else if (dencoding == _16bit_565_encoding)
					mode = with_table ? _copy_8bit_transparency_to_16bit_565 : _copy_16bit_transparency_to_16bit_565;
				if (mode != NONE) advance();
			}
		}
		else if ((sflags & _4bit_transparency_encoded_flag) &&
			!(sflags & (_bitmap_color_key_transparency_flag | _grayscale_bitmap_flag)))
		{
			const boolean constant = (transparency >> 12) != 0;
			if (dencoding == _16bit_555_encoding)
				mode = constant ? _copy_8bit_constant_and_encoded_transparency_to_16bit_555 :
					_copy_8bit_encoded_transparency_to_16bit_555;
			else if (dencoding == _16bit_565_encoding)
				mode = constant ? _copy_8bit_constant_and_encoded_transparency_to_16bit_565 :
					_copy_8bit_encoded_transparency_to_16bit_565;
		}
	}
	else if (destination->logical_bit_depth == _32bit)
	{
		if (!(sflags & (_4bit_transparency_encoded_flag | _grayscale_bitmap_flag)))
		{
			if (transparency == 0)
			{
				switch (source->logical_bit_depth)
				{
				case _16bit:
					if (source->encoding == _16bit_555_encoding) mode = _copy_16bit_555_to_32bit;
					else if (source->encoding == _16bit_565_encoding) mode = _copy_16bit_565_to_32bit;
					break;
				case _32bit: mode = _copy_32bit_to_32bit; break;
				case _8bit: mode = _copy_8bit_to_32bit; break;
				default: break;
				}
			}
			else if (dencoding == _32bit_encoding)
			{
				mode = _copy_8bit_transparency_to_32bit;
				advance();
			}
		}
		else if ((sflags & _4bit_transparency_encoded_flag) &&
			!(sflags & (_bitmap_color_key_transparency_flag | _grayscale_bitmap_flag)))
		{
			mode = (transparency >> 12) == 0 ? _copy_8bit_encoded_transparency_to_32bit :
				_copy_8bit_constant_and_encoded_transparency_to_32bit;
		}
	}

	if (sflags & _bitmap_color_key_transparency_flag)
	{
		switch (mode)
		{
		case _copy_8bit_to_16bit: mode = _copy_8bit_to_16bit_color_key; break;
		case _copy_8bit_transparency_to_16bit_555: mode = _copy_8bit_transparency_to_16bit_555_color_key; break;
		case _copy_8bit_transparency_to_16bit_565: mode = _copy_8bit_transparency_to_16bit_565_color_key; break;
		case _copy_8bit_to_32bit: mode = _copy_8bit_to_32bit_color_key; break;
		case _copy_8bit_transparency_to_32bit: mode = _copy_8bit_transparency_to_32bit_color_key; break;
		default: break;
		}
	}
	return mode;
}

// Whether the mode reads the source colour table.
static boolean copy_mode_reads_color_table(int16 mode)
{
	switch (mode)
	{
	case _copy_to_hardware:
	case _copy_16bit_to_16bit:
	case _copy_16bit_555_to_32bit:
	case _copy_16bit_565_to_32bit:
	case _copy_32bit_to_16bit_555:
	case _copy_32bit_to_16bit_565:
	case _copy_16bit_555_to_16bit_565:
	case _copy_16bit_565_to_16bit_555:
	case _copy_16bit_transparency_to_16bit_565:
	case _copy_16bit_transparency_to_16bit_555:
	case _copy_32bit_to_32bit:
		return FALSE;
	default:
		return TRUE;
	}
}

// Whether the mode blends through a level block.
static boolean copy_mode_blends(int16 mode)
{
	switch (mode)
	{
	case _copy_16bit_transparency_to_16bit_565:
	case _copy_16bit_transparency_to_16bit_555:
	case _copy_8bit_transparency_to_16bit_555:
	case _copy_8bit_transparency_to_16bit_555_color_key:
	case _copy_8bit_transparency_to_16bit_565:
	case _copy_8bit_transparency_to_16bit_565_color_key:
	case _copy_8bit_transparency_to_32bit:
	case _copy_8bit_transparency_to_32bit_color_key:
	case _copy_8bit_encoded_transparency_to_16bit_555:
	case _copy_8bit_constant_and_encoded_transparency_to_16bit_555:
	case _copy_8bit_encoded_transparency_to_16bit_565:
	case _copy_8bit_constant_and_encoded_transparency_to_16bit_565:
	case _copy_8bit_encoded_transparency_to_32bit:
	case _copy_8bit_constant_and_encoded_transparency_to_32bit:
		return TRUE;
	default:
		return FALSE;
	}
}

struct copy_context
{
	const void *colors; // T
	const uint8 *level; // the call's level block
	const uint8 *table; // the table's level 0, for pixel levels
	int32 call_level;
	int16 source_upshift;
};

template <int16 mode>
static inline void copy_pixel(uint8 *d, const uint8 *s, const copy_context &c)
{
	const uint32 sp = load_pixel(s, c.source_upshift);
	const uint32 index = sp & 0xFF;
	const uint16 *t16 = static_cast<const uint16 *>(c.colors);
	const uint32 *t32 = static_cast<const uint32 *>(c.colors);
	const int32 pixel_level = static_cast<int32>((sp >> ENCODED_TRANSPARENCY_BIT_OFFSET) & TRANSPARENCY_MASK);
	switch (mode)
	{
	case _copy_8bit_to_16bit: pixel_store16(d, t16[index]); break;
	case _copy_16bit_to_16bit: pixel_store16(d, sp); break;
	case _copy_16bit_555_to_32bit:
		pixel_store32(d, 0xFF000000u | (((sp >> 10) & 31) << 19) | (((sp >> 5) & 31) << 11) | ((sp & 31) << 3));
		break;
	case _copy_16bit_565_to_32bit:
		pixel_store32(d, 0xFF000000u | (((sp >> 11) & 31) << 19) | (((sp >> 6) & 31) << 11) | ((sp & 31) << 3));
		break;
	case _copy_32bit_to_16bit_555:
		pixel_store16(d, ((((sp >> 16) & 255) >> 3) << 10) | ((((sp >> 8) & 255) >> 3) << 5) | ((sp & 255) >> 3));
		break;
	case _copy_32bit_to_16bit_565:
		pixel_store16(d, ((((sp >> 16) & 255) >> 3) << 11) | ((((sp >> 8) & 255) >> 3) << 6) | ((sp & 255) >> 3));
		break;
	case _copy_16bit_555_to_16bit_565: pixel_store16(d, (sp & 0x3F) | ((sp & 0x7FE0) << 1)); break;
	case _copy_16bit_565_to_16bit_555: pixel_store16(d, ((sp >> 1) & 0x7FE0) | (sp & 0x1F)); break;
	case _copy_16bit_transparency_to_16bit_565: pixel_store16(d, blend_pixel_565(pixel_load16(d), sp, c.level)); break;
	case _copy_16bit_transparency_to_16bit_555: pixel_store16(d, blend_pixel_555(pixel_load16(d), sp, c.level)); break;
	case _copy_8bit_transparency_to_16bit_555_color_key:
		if (!index) break;
		[[fallthrough]];
	case _copy_8bit_transparency_to_16bit_555: pixel_store16(d, blend_pixel_555(pixel_load16(d), t16[index], c.level)); break;
	case _copy_8bit_to_16bit_color_key:
		if (index) pixel_store16(d, t16[index]);
		break;
	case _copy_8bit_encoded_transparency_to_16bit_555:
	case _copy_8bit_constant_and_encoded_transparency_to_16bit_555:
	{
		const int32 level = mode == _copy_8bit_encoded_transparency_to_16bit_555 ? pixel_level :
			MAX(pixel_level, c.call_level);
		pixel_store16(d, level ? blend_pixel_555(pixel_load16(d), t16[index], c.table + level * LEVEL_BLOCK_SIZE) : t16[index]);
		break;
	}
	case _copy_8bit_transparency_to_16bit_565_color_key:
		if (!index) break;
		[[fallthrough]];
	case _copy_8bit_transparency_to_16bit_565: pixel_store16(d, blend_pixel_565(pixel_load16(d), t16[index], c.level)); break;
	case _copy_8bit_encoded_transparency_to_16bit_565:
	case _copy_8bit_constant_and_encoded_transparency_to_16bit_565:
	{
		const int32 level = mode == _copy_8bit_encoded_transparency_to_16bit_565 ? pixel_level :
			MAX(pixel_level, c.call_level);
		pixel_store16(d, level ? blend_pixel_565(pixel_load16(d), t16[index], c.table + level * LEVEL_BLOCK_SIZE) : t16[index]);
		break;
	}
	case _copy_8bit_to_32bit: pixel_store32(d, t32[index]); break;
	case _copy_8bit_to_32bit_color_key:
		if (index) pixel_store32(d, t32[index]);
		break;
	case _copy_32bit_to_32bit: pixel_store32(d, sp); break;
	case _copy_8bit_transparency_to_32bit_color_key:
		if (!index) break;
		[[fallthrough]];
	case _copy_8bit_transparency_to_32bit: pixel_store32(d, blend_pixel_32(pixel_load32(d), t32[index], c.level)); break;
	case _copy_8bit_encoded_transparency_to_32bit:
	case _copy_8bit_constant_and_encoded_transparency_to_32bit:
	{
		const int32 level = mode == _copy_8bit_encoded_transparency_to_32bit ? pixel_level :
			MAX(pixel_level, c.call_level);
		pixel_store32(d, level ? blend_pixel_32(pixel_load32(d), t32[index], c.table + level * LEVEL_BLOCK_SIZE) : t32[index]);
		break;
	}
	default: break;
	}
}

// count pixels from s (stepping by the source's size) to d.
template <int16 mode>
static void copy_run(uint8 *d, const uint8 *s, int32 count, int16 destination_upshift, const copy_context &c)
{
	// Same-format rows are plain byte copies.
	if constexpr (mode == _copy_16bit_to_16bit || mode == _copy_32bit_to_32bit)
	{
		memcpy(d, s, static_cast<size_t>(count) << destination_upshift);
		return;
	}
	const int32 ds = 1 << destination_upshift, ss = 1 << c.source_upshift;
	for (int32 i = 0; i < count; ++i, d += ds, s += ss) copy_pixel<mode>(d, s, c);
}

typedef void (*copy_run_proc)(uint8 *d, const uint8 *s, int32 count, int16 destination_upshift, const copy_context &c);

static copy_run_proc get_copy_run(int16 mode)
{
	static const copy_run_proc table[NUMBER_OF_COPY_BITMAP_MODES] = {
		copy_run<0>, copy_run<1>, copy_run<2>, copy_run<3>, copy_run<4>, copy_run<5>, copy_run<6>, copy_run<7>,
		copy_run<8>, copy_run<9>, copy_run<10>, copy_run<11>, copy_run<12>, copy_run<13>, copy_run<14>,
		copy_run<15>, copy_run<16>, copy_run<17>, copy_run<18>, copy_run<19>, copy_run<20>, copy_run<21>,
		copy_run<22>, copy_run<23>, copy_run<24>, copy_run<25>, copy_run<26>};
	return table[mode];
}

void copy_bitmap(bitmap_data *destination, const point2d *destination_point, bitmap_data *source,
	const rectangle2d *clip, const void *source_color_table, fixed_fraction transparency,
	const void *transparency_table)
{
	if (!destination || !source || !destination_point) return;
	clip_window window = make_clip_window(destination, clip);
	if (clip_window_empty(window)) return;
	const int32 px = destination_point->x, py = destination_point->y;
	window.left = MAX(window.left, px);
	window.top = MAX(window.top, py);
	window.right = MIN(window.right, px + source->width);
	window.bottom = MIN(window.bottom, py + source->height);
	if (clip_window_empty(window)) return;
	const int32 left = window.left - px, right = window.right - px, top = window.top - py, bottom = window.bottom - py;

	const uint8 *table = static_cast<const uint8 *>(transparency_table);
	const int16 mode = calculate_copy_bitmap_mode(destination, source, source_color_table, transparency, &table);
	if (mode == NONE) return;
	if (mode == _copy_to_hardware)
	{
		rectangle2d source_rectangle;
		set_rectangle2d(&source_rectangle, static_cast<int16>(left), static_cast<int16>(top), static_cast<int16>(right),
			static_cast<int16>(bottom));
		point2d corner = {static_cast<int16>(window.left), static_cast<int16>(window.top)};
		copy_bitmap_hardware(destination, source, static_cast<const color_table *>(source_color_table),
			&source_rectangle, corner, transparency);
		return;
	}
	// Modes that look pixels up or blend cannot run without their tables.
	if (copy_mode_reads_color_table(mode) && !source_color_table) return;
	if (copy_mode_blends(mode) && !transparency_table) return;

	copy_context context;
	context.colors = source_color_table;
	context.level = table;
	context.table = static_cast<const uint8 *>(transparency_table);
	context.call_level = transparency >> 12;
	context.source_upshift = source->pixel_upshift;
	const copy_run_proc run = get_copy_run(mode);
	const int16 dup = destination->pixel_upshift;
	const int16 sup = source->pixel_upshift;

	for (int32 row = top; row < bottom; ++row)
	{
		uint8 *d = bitmap_row_address(destination, window.top + row - top) + (static_cast<intptr_t>(window.left) << dup);
		const uint8 *s = bitmap_row_address(source, row);
		if (source->flags & _1bit_transparency_encoded_flag)
		{
			int16 span_count;
			memcpy(&span_count, s, sizeof(span_count));
			const uint8 *pixels = s + ROW_SPAN_HEADER_SIZE + 4 * span_count;
			for (int32 i = 0; i < span_count; ++i)
			{
				int16 span[2];
				memcpy(span, s + ROW_SPAN_HEADER_SIZE + 4 * i, sizeof(span));
				const int32 start = span[0], end = span[1];
				if (start >= right) break;
				const int32 visible_start = MAX(start, left), visible_end = MIN(end, right);
				if (visible_start < visible_end)
				{
					run(d + (static_cast<intptr_t>(visible_start - left) << dup),
						pixels + (static_cast<intptr_t>(visible_start - start) << sup), visible_end - visible_start, dup,
						context);
				}
				pixels += static_cast<intptr_t>(MAX(0, end - start)) << sup;
			}
		}
		else
		{
			run(d, s + (static_cast<intptr_t>(left) << sup), right - left, dup, context);
		}
	}
}

void mirror_bitmap_horizontally(bitmap_data *bitmap)
{
	if (!bitmap || bitmap->bytes_per_row == NONE) return;
	if (bitmap->logical_bit_depth != _8bit && bitmap->logical_bit_depth != _16bit) return;
	// Row-span rows are runs, not pixel rows: reversing them would scramble them.
	if (bitmap->flags & _1bit_transparency_encoded_flag) return;
	const int32 size = bitmap->logical_bit_depth / 8;
	for (int32 y = 0; y < bitmap->height; ++y)
	{
		uint8 *row = bitmap_row_address(bitmap, y);
		for (int32 a = 0, b = bitmap->width - 1; a < b; ++a, --b)
		{
			uint8 t[2];
			memcpy(t, row + a * size, size);
			memmove(row + a * size, row + b * size, size);
			memcpy(row + b * size, t, size);
		}
	}
}

/* ---------- sequences */

// Temporary shading tables have 32-bit entries: only 32-bit and hardware
// destinations can use them.
static boolean takes_temporary_shading_table(const bitmap_data *destination)
{
	return destination && (destination->logical_bit_depth == _32bit || is_hardware_encoding(destination->encoding));
}

void draw_bitmap_from_sequence(bitmap_data *destination, int16 collection_index, int16 sequence_index,
	int16 view_index, int16 bitmap_index, rectangle2d *frame, const rectangle2d *clip,
	const void *replacement_colors_or_shading_table, fixed_fraction transparency, int16 transparency_mode,
	uint32 flags, int16 inset)
{
	if (!destination || !frame) return;
	point2d registration = {0, 0};
	bitmap_data *bitmap = get_sequence_bitmap(collection_index, sequence_index, view_index, bitmap_index,
		&registration, NULL);
	if (!bitmap) return;

	const void *shading_table = NULL;
	void *temporary = NULL;
	if (flags & _draw_bitmap_explicit_shading_table_provided_flag)
	{
		shading_table = replacement_colors_or_shading_table;
	}
	else
	{
		if (!takes_temporary_shading_table(destination)) return;
		temporary = new_temporary_shading_table(collection_index,
			static_cast<const rgb_color *>(replacement_colors_or_shading_table), TRUE);
		if (!temporary) return;
		shading_table = temporary;
	}
	const void *transparency_table = get_transparency_table(transparency_mode);

	const int32 width = bitmap->width, height = bitmap->height;
	const int32 frame_width = rectangle2d_width(frame), frame_height = rectangle2d_height(frame);
	int32 x, y;
	if (flags & _draw_bitmap_right_justified_flag) x = frame->right - width - inset;
	else if (flags & _draw_bitmap_left_justified_flag) x = frame->left + inset;
	else x = frame->left - width / 2 + frame_width / 2;
	if (flags & _draw_bitmap_top_justified_flag) y = frame->top + inset;
	else if (flags & _draw_bitmap_bottom_justified_flag) y = frame->bottom - height - inset;
	else y = frame->top - height / 2 + frame_height / 2;
	if (flags & _draw_bitmap_respect_registration_point_flag)
	{
		x += width / 2 - registration.x;
		y += height / 2 - registration.y;
	}
	if (flags & _draw_bitmap_return_adjusted_bounds_flag)
	{
		set_rectangle2d(frame, static_cast<int16>(x), static_cast<int16>(y), static_cast<int16>(x + width),
			static_cast<int16>(y + height));
	}
	const point2d at = {static_cast<int16>(x), static_cast<int16>(y)};
	copy_bitmap(destination, &at, bitmap, clip, shading_table, transparency, transparency_table);
	if (temporary) dispose_temporary_shading_table(temporary);
}

void tile_and_bevel_rectangle(bitmap_data *destination, int16 collection_index, int16 sequence_index,
	int16 view_index, const rectangle2d *bounds, const rectangle2d *clip, const rgb_color *replacement_colors,
	fixed_fraction transparency, int16 transparency_mode, const int16 *tile_state_map)
{
	if (!takes_temporary_shading_table(destination) || !bounds) return;
	rectangle2d window = *bounds;
	if (clip)
	{
		window.left = MAX(window.left, clip->left);
		window.top = MAX(window.top, clip->top);
		window.right = MIN(window.right, clip->right);
		window.bottom = MIN(window.bottom, clip->bottom);
	}
	if (window.left >= window.right || window.top >= window.bottom) return;
	void *shading_table = new_temporary_shading_table(collection_index, replacement_colors, TRUE);
	if (!shading_table) return;
	const void *transparency_table = get_transparency_table(transparency_mode);

	// The bevels' limits: top and bottom bevels left/right, left and right bevels top/bottom.
	int32 top_left = bounds->left, top_right = bounds->right, bottom_left = bounds->left, bottom_right = bounds->right;
	int32 left_top = bounds->top, left_bottom = bounds->bottom, right_top = bounds->top, right_bottom = bounds->bottom;
	const int32 count = MIN(count_sequence_bitmaps(collection_index, sequence_index, _count_sequence_frames),
		static_cast<int32>(NUMBER_OF_TILE_RECTANGLE_STATES));
	for (int32 i = 0; i < count; ++i)
	{
		const int16 bitmap_index = tile_state_map ? tile_state_map[i] : static_cast<int16>(i);
		if (bitmap_index < 0 || bitmap_index >= NUMBER_OF_TILE_RECTANGLE_STATES) continue;
		bitmap_data *bitmap = get_sequence_bitmap(collection_index, sequence_index, view_index, bitmap_index, NULL, NULL);
		if (!bitmap) continue;
		const int32 w = bitmap->width, h = bitmap->height;
		// A piece without size cannot tile anything.
		if (w < 1 || h < 1) continue;
		const uint8 f = tile_rectangle_flags[bitmap_index];

		int32 top = (f & _tile_rectangle_bottom_justified_flag) ? bounds->bottom - h : bounds->top;
		int32 bottom = (f & _tile_rectangle_top_justified_flag) ? bounds->top + h : bounds->bottom;
		int32 left = (f & _tile_rectangle_right_justified_flag) ? bounds->right - w : bounds->left;
		int32 right = (f & _tile_rectangle_left_justified_flag) ? bounds->left + w : bounds->right;

		const boolean is_top = (f & _tile_rectangle_top_justified_flag) != 0;
		const boolean is_bottom = (f & _tile_rectangle_bottom_justified_flag) != 0;
		const boolean is_left = (f & _tile_rectangle_left_justified_flag) != 0;
		const boolean is_right = (f & _tile_rectangle_right_justified_flag) != 0;
		if (f & _tile_rectangle_respect_bevel_inset_flag)
		{
			if (is_top)
			{
				left = MAX(left, top_left);
				right = MIN(right, top_right);
			}
			if (is_bottom)
			{
				left = MAX(left, bottom_left);
				right = MIN(right, bottom_right);
			}
			if (is_left)
			{
				top = MAX(top, left_top);
				bottom = MIN(bottom, left_bottom);
			}
			if (is_right)
			{
				top = MAX(top, right_top);
				bottom = MIN(bottom, right_bottom);
			}
		}
		if (f & _tile_rectangle_set_bevel_inset_flag)
		{
			if (is_top && is_left)
			{
				top_left = right;
				left_top = bottom;
			}
			if (is_bottom && is_left)
			{
				bottom_left = right;
				left_bottom = top;
			}
			if (is_top && is_right)
			{
				top_right = left;
				right_top = bottom;
			}
			if (is_bottom && is_right)
			{
				bottom_right = left;
				right_bottom = top;
			}
		}

		const int32 columns = right > left ? (right - left + w - 1) / w : 0;
		const int32 rows = bottom > top ? (bottom - top + h - 1) / h : 0;
		for (int32 row = 0; row < rows; ++row)
		{
			for (int32 column = 0; column < columns; ++column)
			{
				const point2d at = {static_cast<int16>(left + column * w), static_cast<int16>(top + row * h)};
				copy_bitmap(destination, &at, bitmap, &window, shading_table, transparency, transparency_table);
			}
		}
	}
	dispose_temporary_shading_table(shading_table);
}
