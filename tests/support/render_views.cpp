#include "support/render_views.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <algorithm>

#include "bitmaps.h"
#include "damage.h"
#include "mesh.h"
#include "monsters.h"
#include "objects.h"
#include "observer.h"
#include "projectiles.h"
#include "render/render.h"
#include "shapes.h"
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

bool glow_cyan(int32 r, int32 g, int32 b)
{
	return g > r + 48 && b > r + 48;
}

static bool flash_yellow(int32 r, int32 g, int32 b)
{
	return r > b + 64 && g > b + 32;
}

sprite_pixels count_sprite_pixels(const bitmap_data *frame, const render_rectangle_geometry &g, bool cyan)
{
	return count_sprite_pixels(frame, g, cyan ? glow_cyan : flash_yellow);
}

static bool near_black(uint32 pixel)
{
	return std::max(std::max((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF), pixel & 0xFF) < 24;
}

// One pixel into the counts.
bool smoke_grey(int32 r, int32 g, int32 b)
{
	return std::max(r, std::max(g, b)) - std::min(r, std::min(g, b)) <= 24 && std::max(r, std::max(g, b)) >= 64;
}

bool arrow_warm(int32 r, int32 g, int32 b)
{
	return r >= g + 32 && r >= b + 64;
}

bool arrow_light(int32 r, int32 g, int32 b)
{
	return std::max(r, std::max(g, b)) - std::min(r, std::min(g, b)) <= 40 && std::min(r, std::min(g, b)) >= 140;
}

static void count_pixel(sprite_pixels *counts, uint32 pixel, pixel_hue hue)
{
	counts->area += 1;
	counts->black += near_black(pixel);
	counts->hue += hue((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
}

sprite_pixels count_sprite_pixels(const bitmap_data *frame, const render_rectangle_geometry &g, pixel_hue hue)
{
	sprite_pixels counts = {};
	for (int32 y = std::max<int32>(g.y0, 0); y < std::min<int32>(g.y1, frame->height); ++y)
	{
		const uint32 *row = reinterpret_cast<const uint32 *>(frame->row_addresses[y]);
		for (int32 x = std::max<int32>(g.x0, 0); x < std::min<int32>(g.x1, frame->width); ++x) count_pixel(&counts, row[x], hue);
	}
	return counts;
}

std::vector<uint32> frame_pixels(const bitmap_data *frame)
{
	std::vector<uint32> pixels;
	for (int32 y = 0; frame && y < frame->height; ++y)
	{
		const uint32 *row = reinterpret_cast<const uint32 *>(frame->row_addresses[y]);
		pixels.insert(pixels.end(), row, row + frame->width);
	}
	return pixels;
}

// An object quad is built as two triangles, (0, 3, 2) and (2, 1, 0), the
// second starting where the first ends.
std::vector<drawn_quad> drawn_quads(int16 collection, int16 bitmap)
{
	std::vector<drawn_quad> quads;
	const render_surface_list *list = last_render_surface_list();
	if (!list) return quads;
	std::vector<const render_triangle *> triangles;
	for (const render_surface *s = list->first_surface; s; s = s->next_surface)
	{
		if (surface_subtype(s) != _surface_subtype_object_triangle) continue;
		const render_triangle *triangle = reinterpret_cast<const render_triangle *>(s);
		if (bitmap_identifier_collection(triangle->texture) == collection &&
			bitmap_identifier_bitmap(triangle->texture) == bitmap)
			triangles.push_back(triangle);
	}
	std::vector<bool> used(triangles.size(), false);
	for (size_t i = 0; i < triangles.size(); ++i)
	{
		for (size_t j = i + 1; j < triangles.size() && !used[i]; ++j)
		{
			const render_triangle *first = triangles[i], *second = triangles[j];
			if (used[j] || second->corners[0].vertex != first->corners[2].vertex ||
				second->corners[2].vertex != first->corners[0].vertex)
				continue;
			used[i] = used[j] = true;
			const render_vertex *corners[4] = {first->corners[0].vertex, second->corners[1].vertex,
				first->corners[2].vertex, first->corners[1].vertex};
			drawn_quad quad = {};
			bool shown = true;
			for (int32 k = 0; k < 4; ++k)
			{
				shown = shown && (corners[k]->flags & _vertex_screen_transformed_flag) &&
					!(corners[k]->flags & _vertex_discarded_flag);
				quad.corners[k] = corners[k]->screen;
			}
			quad.texture = first->texture;
			if (shown) quads.push_back(quad);
		}
	}
	return quads;
}

// Whether the pixel centre (x, y) lies inside the quad (either winding).
static bool inside_quad(const drawn_quad &quad, int32 x, int32 y)
{
	int32 positive = 0, negative = 0;
	for (int32 i = 0; i < 4; ++i)
	{
		const point2d &a = quad.corners[i], &b = quad.corners[(i + 1) % 4];
		const int64 cross = static_cast<int64>(b.x - a.x) * (2 * y + 1 - 2 * a.y) - static_cast<int64>(b.y - a.y) * (2 * x + 1 - 2 * a.x);
		positive += cross > 0;
		negative += cross < 0;
	}
	return positive == 0 || negative == 0;
}

sprite_pixels count_quad_pixels(const bitmap_data *frame, const drawn_quad &quad, pixel_hue hue,
	const std::vector<uint32> *beneath)
{
	sprite_pixels counts = {};
	int32 x0 = frame->width, y0 = frame->height, x1 = 0, y1 = 0;
	for (const point2d &corner : quad.corners)
	{
		x0 = std::min<int32>(x0, corner.x);
		y0 = std::min<int32>(y0, corner.y);
		x1 = std::max<int32>(x1, corner.x + 1);
		y1 = std::max<int32>(y1, corner.y + 1);
	}
	const bool compared = beneath && beneath->size() == static_cast<size_t>(frame->width) * static_cast<size_t>(frame->height);
	for (int32 y = std::max<int32>(y0, 0); y < std::min<int32>(y1, frame->height); ++y)
	{
		const uint32 *row = reinterpret_cast<const uint32 *>(frame->row_addresses[y]);
		for (int32 x = std::max<int32>(x0, 0); x < std::min<int32>(x1, frame->width); ++x)
		{
			if (!inside_quad(quad, x, y)) continue;
			if (!compared)
			{
				count_pixel(&counts, row[x], hue);
				continue;
			}
			const uint32 under = (*beneath)[static_cast<size_t>(y) * static_cast<size_t>(frame->width) + x];
			if (((row[x] ^ under) & 0xFFFFFF) == 0) continue;
			count_pixel(&counts, row[x], hue);
			// A pixel dark already beneath (a unit's boots) is not the quad's doing.
			if (near_black(under)) counts.black -= near_black(row[x]);
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

bool is_projectile_of_type(int16 object_index, int16 projectile_type)
{
	const object_data *object = get_object_data(object_index);
	if (!object || object->owner != _object_is_projectile) return false;
	const projectile_data *projectile = get_projectile_data(object->owner_index);
	return projectile && projectile->type == projectile_type;
}

bool burn_a_bomb_thrower(world_point2d *spot)
{
	for (int16 i = 0; i < monster_array.maximum_count; ++i)
	{
		const monster_data *monster = get_monster_data(i);
		if (!monster || !monster->identifier || monster->ammunition_count <= 0) continue;
		const object_data *object = get_object_data(monster->object_index);
		if (!object) continue;
		*spot = {object->location.position.x, object->location.position.y};
		damage_definition fire = {};
		fire.type = _damage_fire;
		damage_data blow;
		initialize_damage_data(&blow);
		blow.epicenter = object->location.position;
		kill_monster(i, &fire, &blow, _monster_death_soft);
		return true;
	}
	return false;
}

// An arrow in flight: a projectile drawn from the effects collection's arrow.
static const object_data *an_arrow_in_flight(void)
{
	const int16 effects = get_collection_index(TAG("efct"));
	char name[] = "arrow";
	const int16 arrow = effects == NONE ? static_cast<int16>(NONE) : get_named_sequence_index(effects, name);
	for (int16 i = 0; i < object_array.maximum_count && arrow != NONE; ++i)
	{
		const object_data *object = get_object_data(i);
		if (!object || !object->identifier || object->owner != _object_is_projectile) continue;
		if (object->shape_collection_index == effects && object->shape_sequence_index == arrow) return object;
	}
	return nullptr;
}

bool run_to_the_first_arrow(int32 max_ticks)
{
	for (int32 tick = 0; tick < max_ticks && !an_arrow_in_flight(); ++tick)
	{
		if (harness_run_ticks(1) != 1) return false;
	}
	return an_arrow_in_flight() != nullptr;
}

void follow_an_arrow(fixed zoom)
{
	if (const object_data *object = an_arrow_in_flight())
	{
		observer_location look;
		get_observer_location(&look);
		look.position = {object->location.position.x, object->location.position.y};
		set_actual_observer_location_and_zoom(&look, &zoom);
	}
}

std::vector<int16> hide_objects_of_sequence(int16 collection, int16 sequence)
{
	std::vector<int16> hidden;
	for (int16 i = 0; i < object_array.maximum_count; ++i)
	{
		object_data *object = get_object_data(i);
		if (!object || !object->identifier || (object->flags & _object_is_invisible_flag)) continue;
		if (object->shape_collection_index != collection || object->shape_sequence_index != sequence) continue;
		object->flags |= _object_is_invisible_flag;
		hidden.push_back(i);
	}
	return hidden;
}

void show_objects(const std::vector<int16> &objects)
{
	for (int16 i : objects)
	{
		if (object_data *object = get_object_data(i)) object->flags &= ~_object_is_invisible_flag;
	}
}
