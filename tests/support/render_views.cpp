#include "support/render_views.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <algorithm>

#include "bitmaps.h"
#include "mesh.h"
#include "objects.h"
#include "observer.h"
#include "render/render.h"
#include "support/zerv_harness.h"
#include "world.h"

bool start_map_for_frames(file_tag map_tag)
{
	new_game_data setup;
	if (map_tag == HARNESS_DEMO_MAP_TAG) harness_demo_setup(&setup, 2);
	else harness_battle_setup(&setup, map_tag);
	if (!harness_start_map(&setup)) return false;
	set_local_random_seed(0x5EED);
	return true;
}

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

static std::vector<drawn_sprite> sprites_drawn(bool of_one_collection, int16 collection)
{
	std::vector<drawn_sprite> sprites;
	const render_surface_list *list = last_render_surface_list();
	if (!list) return sprites;
	for (const render_surface *s = list->first_surface; s; s = s->next_surface)
	{
		if (surface_subtype(s) != _surface_subtype_object_rectangle) continue;
		const render_rectangle *rectangle = reinterpret_cast<const render_rectangle *>(s);
		if (of_one_collection && static_cast<int32>(bitmap_identifier_collection(rectangle->texture)) != collection) continue;
		const object_data *object = rectangle->object_index == NONE ? nullptr : get_object_data(rectangle->object_index);
		sprites.push_back({rectangle->geometry, rectangle->texture, object ? object->owner : static_cast<int8>(NONE),
			object ? world_point2d{object->location.position.x, object->location.position.y} : world_point2d{0, 0},
			rectangle->object_index});
	}
	return sprites;
}

std::vector<drawn_sprite> drawn_sprites(void)
{
	return sprites_drawn(false, NONE);
}

std::vector<drawn_sprite> drawn_sprites(int16 collection)
{
	return sprites_drawn(true, collection);
}

sprite_pixels count_sprite_pixels(const bitmap_data *frame, const render_rectangle_geometry &g, bool cyan)
{
	sprite_pixels counts = {};
	for (int32 y = std::max<int32>(g.y0, 0); y < std::min<int32>(g.y1, frame->height); ++y)
	{
		const uint32 *row = reinterpret_cast<const uint32 *>(frame->row_addresses[y]);
		for (int32 x = std::max<int32>(g.x0, 0); x < std::min<int32>(g.x1, frame->width); ++x)
		{
			const int32 r = (row[x] >> 16) & 0xFF, gr = (row[x] >> 8) & 0xFF, b = row[x] & 0xFF;
			counts.area += 1;
			counts.black += std::max(r, std::max(gr, b)) < 24;
			counts.hue += cyan ? gr > r + 48 && b > r + 48 : r > b + 64 && gr > b + 32;
		}
	}
	return counts;
}

static const object_data *a_glowing_bomb(int16 effects, int16 glow_sequence)
{
	for (int16 i = 0; i < object_array.maximum_count; ++i)
	{
		const object_data *object = get_object_data(i);
		if (!object || !object->identifier || object->owner != _object_is_projectile) continue;
		if (object->shape_collection_index == effects && object->shape_sequence_index == glow_sequence) return object;
	}
	return nullptr;
}

bool run_to_the_first_thrown_bomb(int16 effects, int16 glow_sequence, int32 max_ticks)
{
	for (int32 tick = 0; tick < max_ticks; ++tick)
	{
		if (a_glowing_bomb(effects, glow_sequence)) return true;
		if (harness_run_ticks(1) != 1) return false;
	}
	return a_glowing_bomb(effects, glow_sequence) != nullptr;
}

void follow_a_glowing_bomb(int16 effects, int16 glow_sequence, fixed zoom)
{
	if (const object_data *object = a_glowing_bomb(effects, glow_sequence))
	{
		observer_location look;
		get_observer_location(&look);
		look.position = {object->location.position.x, static_cast<world_distance>(object->location.position.y + 1024)};
		set_actual_observer_location_and_zoom(&look, &zoom);
	}
}
