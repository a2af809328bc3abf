// The software rasterizer's triangle set-up and row walk, shared with the
// tests that hold its replaced inner loops as their reference.
#ifndef RENDER_TRIANGLE_ROWS_H
#define RENDER_TRIANGLE_ROWS_H

#include <utility>

#include "bitmaps.h"
#include "render/render.h"

namespace software_rasterizer {

enum
{
	_triangle_before_left_turning_point,
	_triangle_before_right_turning_point,
	_triangle_after_turning_point,
	_triangle_done
};

inline boolean destination_is_32bit(const bitmap_data *destination)
{
	return destination && destination->pixel_upshift == 2 && destination->width > 0 && destination->height > 0;
}

// A triangle's rows: edges in 16.16 stepped once per row, interpolants with
// constant gradients.
struct triangle_setup
{
	const render_corner *top, *middle, *bottom;
	int64 area2; // doubled signed area
};

struct triangle_edge
{
	int32 x, step; // 16.16
};

inline triangle_edge make_edge(const point2d &upper, const point2d &lower)
{
	triangle_edge edge;
	edge.x = upper.x * 65536;
	const int32 dy = lower.y - upper.y;
	edge.step = dy > 0 ? static_cast<int32>((static_cast<int64>(lower.x - upper.x) * 65536) / dy) : 0;
	return edge;
}

inline boolean setup_triangle(const render_corner *corners, triangle_setup *setup)
{
	const render_corner *c[3] = {&corners[0], &corners[1], &corners[2]};
	for (int32 i = 0; i < 2; ++i)
	{
		for (int32 j = 0; j < 2 - i; ++j)
		{
			if (c[j]->vertex->screen.y > c[j + 1]->vertex->screen.y) std::swap(c[j], c[j + 1]);
		}
	}
	setup->top = c[0];
	setup->middle = c[1];
	setup->bottom = c[2];
	const point2d &a = c[0]->vertex->screen, &b = c[1]->vertex->screen, &d = c[2]->vertex->screen;
	setup->area2 = static_cast<int64>(b.x - a.x) * (d.y - a.y) - static_cast<int64>(d.x - a.x) * (b.y - a.y);
	return setup->area2 != 0;
}

// The terrain's map coordinates (interpolants << 24) at the top corner, and
// their gradients over x and y, divided exactly in 64 bits.
inline void terrain_gradients(const triangle_setup &setup, int64 uv0[2], int64 du[2], int64 dv[2])
{
	const point2d &p0 = setup.top->vertex->screen, &p1 = setup.middle->vertex->screen, &p2 = setup.bottom->vertex->screen;
	const auto axis = [&](int32 k, int64 *origin, int64 gradient[2]) {
		*origin = static_cast<int64>(setup.top->interpolants[k]) << 24;
		const int64 a1 = (static_cast<int64>(setup.middle->interpolants[k]) << 24) - *origin;
		const int64 a2 = (static_cast<int64>(setup.bottom->interpolants[k]) << 24) - *origin;
		gradient[0] = (a1 * (p2.y - p0.y) - a2 * (p1.y - p0.y)) / setup.area2;
		gradient[1] = (a2 * (p1.x - p0.x) - a1 * (p2.x - p0.x)) / setup.area2;
	};
	axis(0, &uv0[0], du);
	axis(1, &uv0[1], dv);
}

// Walks the rows of a triangle and hands each clipped row to draw (y, x0, x1).
template <typename row_proc>
void walk_triangle_rows(const triangle_setup *setup, int32 height, int32 width, row_proc draw)
{
	const point2d &t = setup->top->vertex->screen, &m = setup->middle->vertex->screen, &b = setup->bottom->vertex->screen;
	triangle_edge long_edge = make_edge(t, b);
	triangle_edge short_edge = make_edge(t, m);
	// The middle corner right of the long edge puts the short edges on the right.
	int32 state = setup->area2 > 0 ? _triangle_before_left_turning_point : _triangle_before_right_turning_point;
	for (int32 y = t.y; y < b.y && state != _triangle_done; ++y)
	{
		if (y == m.y && state != _triangle_after_turning_point)
		{
			short_edge = make_edge(m, b);
			state = _triangle_after_turning_point;
		}
		if (y >= height) break;
		if (y >= 0)
		{
			const boolean short_on_left = setup->area2 < 0;
			int32 x0 = (short_on_left ? short_edge.x : long_edge.x) >> 16;
			int32 x1 = (short_on_left ? long_edge.x : short_edge.x) >> 16;
			if (x0 < 0) x0 = 0;
			if (x1 > width) x1 = width;
			if (x0 < x1) draw(y, x0, x1);
		}
		long_edge.x += long_edge.step;
		short_edge.x += short_edge.step;
	}
}

} // namespace software_rasterizer

#endif
