#include "support/render_views.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bitmaps.h"
#include "mesh.h"
#include "observer.h"
#include "render/render.h"

world_point2d animated_lake_centre(void)
{
	int64 x = 0, y = 0, count = 0;
	for (int32 row = 0; row < mesh_globals->mesh_height; ++row)
	{
		for (int32 column = 0; column < mesh_globals->mesh_width; ++column)
		{
			if (!(get_mesh_cell(column, row)->flags & _mesh_vertex_is_animated_media_flag)) continue;
			x += column;
			y += row;
			count += 1;
		}
	}
	if (count == 0) return {0, 0};
	return {static_cast<world_distance>((x / count) << WORLD_FRACTIONAL_BITS),
		static_cast<world_distance>((y / count) << WORLD_FRACTIONAL_BITS)};
}

void prepare_observer_view(view_data *view, bitmap_data *screen, int32 elapsed_ticks)
{
	memset(view, 0, sizeof(*view));
	build_observer_view(view, elapsed_ticks);
	view->screen = screen;
}

void dump_frame_when_asked(const bitmap_data *bitmap, const std::string &name)
{
	const char *folder = getenv("ZERV_DUMP_FRAMES");
	if (!folder || !bitmap) return;
	FILE *file = fopen((std::string(folder) + "/" + name + ".ppm").c_str(), "wb");
	if (!file) return;
	fprintf(file, "P6\n%d %d\n255\n", bitmap->width, bitmap->height);
	for (int32 row = 0; row < bitmap->height; ++row)
	{
		const uint32 *pixels = reinterpret_cast<const uint32 *>(bitmap->row_addresses[row]);
		for (int32 x = 0; x < bitmap->width; ++x)
		{
			const uint8 rgb[3] = {static_cast<uint8>(pixels[x] >> 16), static_cast<uint8>(pixels[x] >> 8),
				static_cast<uint8>(pixels[x])};
			fwrite(rgb, 1, 3, file);
		}
	}
	fclose(file);
}
