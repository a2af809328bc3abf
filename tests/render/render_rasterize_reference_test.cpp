// The sprite and textured-triangle rasterizers against the loops they
// replaced, kept here as the reference: over many random sprites and
// triangles on random backgrounds, both leave every pixel the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "bitmaps.h"
#include "collections_content.h"
#include "shapes.h"
#include "shapes_test_support.h"
#include "render/render.h"
#include "render/render_triangle_rows.h"
#include "world.h"

uint32 blend_pixel_32bit(const uint8 *table, int32 level, uint32 destination, uint32 source);
int64 texture_gradient(int64 numerator, int64 area2);
void blend_normal_pixels_32bit(uint32 *line, int32 x, int32 stop, const uint64 *addends, const uint64 *levels);
void blend_normal_pixels_one_level_32bit(uint32 *line, int32 x, int32 stop, const uint64 *addends, int32 level);
uint32 blend_normal_pixel_32bit(uint32 destination, uint32 source, int32 level);
void begin_software_scene_blends(void);
void end_software_scene_blends(void);

namespace reference {

using namespace software_rasterizer;

inline uint32 blend_pixel(const uint8 *table, int32 level, uint32 destination, uint32 source)
{
	const uint8 *t = table + level * 1024;
	uint32 result = 0xFF000000u;
	for (int32 shift = 0; shift < 24; shift += 8)
	{
		const uint32 d = (destination >> shift) & 255, s = (source >> shift) & 255;
		result |= static_cast<uint32>(t[(d >> 3) * 32 + (s >> 3)] * 8) << shift;
	}
	return result;
}


// The texture, colours and blending of one textured surface.
struct texture_setup
{
	bitmap_data *bitmap;
	const uint32 *shading;
	const uint8 *table; // NULL: opaque
	int32 level; // the surface's level, added to 16-bit texels' own
};

boolean setup_texture(const render_surface *surface, bitmap_identifier texture, texture_setup *setup)
{
	if (surface->transparency == 0xFFFF) return FALSE; // wholly transparent
	setup->bitmap = get_bitmap(bitmap_identifier_collection(texture), bitmap_identifier_bitmap(texture));
	setup->shading = static_cast<const uint32 *>(get_shading_table(bitmap_identifier_collection(texture),
		bitmap_identifier_color_table(texture), bitmap_identifier_permutation(texture)));
	if (!setup->bitmap || !setup->shading || setup->bitmap->width < 1 || setup->bitmap->height < 1) return FALSE;
	const uint16 flags = surface_flags(surface);
	const boolean four_bit = (setup->bitmap->flags & _4bit_transparency_encoded_flag) != 0;
	setup->table = NULL;
	setup->level = 0;
	if (surface->transparency || (flags & _surface_transparent_flag))
	{
		const int16 mode = (flags & _surface_transparent_overlay_flag) && !four_bit ? 1 : 0;
		setup->table = static_cast<const uint8 *>(get_transparency_table(mode));
		if (!four_bit) setup->level = surface->transparency >> 12;
	}
	return TRUE;
}

// One texel into one pixel: 8-bit texels skip index 0; 16-bit texels carry a
// level in bits 8-11 and are blended, index 0 included.
inline void draw_texel(uint32 *pixel, const texture_setup *setup, uint32 texel, boolean wide,
	fixed_fraction transparency)
{
	if (!wide)
	{
		if (texel == 0) return;
		*pixel = setup->table ? blend_pixel(setup->table, setup->level, *pixel, setup->shading[texel])
							  : setup->shading[texel];
		return;
	}
	if (!setup->table) return;
	const uint32 level = std::max<uint32>(static_cast<uint16>(texel << 4), transparency) >> 12;
	*pixel = blend_pixel(setup->table, static_cast<int32>(level), *pixel, setup->shading[texel & 255]);
}

void rasterize_textured_triangle(bitmap_data *destination, render_surface *surface, boolean model)
{
	if (!destination_is_32bit(destination)) return;
	render_triangle *triangle = reinterpret_cast<render_triangle *>(surface);
	texture_setup texture;
	if (!setup_texture(surface, triangle->texture, &texture)) return;
	const bitmap_data *bitmap = texture.bitmap;
	const int16 flags = bitmap->flags;
	boolean wide;
	if (model)
	{
		wide = (flags & (_4bit_light_mask_encoded_flag | _4bit_transparency_encoded_flag)) != 0;
	}
	else
	{
		if (!(flags & _power_of_two_flag) || (flags & _4bit_light_mask_encoded_flag)) return;
		wide = (flags & _4bit_transparency_encoded_flag) != 0;
	}
	if (flags & _1bit_transparency_encoded_flag) return; // row spans are for sprites
	if (bitmap->width_bits < 0 || bitmap->width_bits > 15 || bitmap->height_bits < 0 || bitmap->height_bits > 15) return;

	triangle_setup setup;
	if (!setup_triangle(triangle->corners, &setup)) return;
	const point2d &p0 = setup.top->vertex->screen, &p1 = setup.middle->vertex->screen, &p2 = setup.bottom->vertex->screen;
	int64 gradient[2][2];
	// Interpolants are unsigned 16-bit fractions of the texture.
	const int64 base[2] = {static_cast<int64>(static_cast<uint16>(setup.top->interpolants[0])) << 16,
		static_cast<int64>(static_cast<uint16>(setup.top->interpolants[1])) << 16};
	for (int32 k = 0; k < 2; ++k)
	{
		const long double a1 =
			static_cast<long double>((static_cast<int64>(static_cast<uint16>(setup.middle->interpolants[k])) << 16) - base[k]);
		const long double a2 =
			static_cast<long double>((static_cast<int64>(static_cast<uint16>(setup.bottom->interpolants[k])) << 16) - base[k]);
		const long double area = static_cast<long double>(setup.area2);
		gradient[k][0] = static_cast<int64>((a1 * (p2.y - p0.y) - a2 * (p1.y - p0.y)) / area);
		gradient[k][1] = static_cast<int64>((a2 * (p1.x - p0.x) - a1 * (p2.x - p0.x)) / area);
	}
	const int32 width_shift = 32 - bitmap->width_bits, height_shift = 32 - bitmap->height_bits;
	const int32 column_mask = bitmap->width - 1, row_mask = bitmap->height - 1;
	walk_triangle_rows(&setup, destination->height, destination->width, [&](int32 y, int32 x0, int32 x1) {
		uint32 *pixels = reinterpret_cast<uint32 *>(destination->row_addresses[y]);
		int64 u = base[0] + gradient[0][0] * (x0 - p0.x) + gradient[0][1] * (y - p0.y);
		int64 v = base[1] + gradient[1][0] * (x0 - p0.x) + gradient[1][1] * (y - p0.y);
		for (int32 x = x0; x < x1; ++x, u += gradient[0][0], v += gradient[1][0])
		{
			// 64-bit shifts: a one-texel side (0 bits) shifts by 32.
			const int32 column = static_cast<int32>(static_cast<uint64>(static_cast<uint32>(u)) >> width_shift) & column_mask;
			const int32 row = static_cast<int32>(static_cast<uint64>(static_cast<uint32>(v)) >> height_shift) & row_mask;
			const uint8 *source = bitmap->row_addresses[row];
			const uint32 texel = wide ? reinterpret_cast<const uint16 *>(source)[column] : source[column];
			draw_texel(&pixels[x], &texture, texel, wide, surface->transparency);
		}
	});
}


// Sprites: row-span bitmaps scaled into the rectangle, mirrored as flagged.
void rasterize_rectangle(bitmap_data *destination, render_surface *surface)
{
	if (!destination_is_32bit(destination)) return;
	render_rectangle *rectangle = reinterpret_cast<render_rectangle *>(surface);
	texture_setup texture;
	if (!setup_texture(surface, rectangle->texture, &texture)) return;
	const bitmap_data *bitmap = texture.bitmap;
	if (!(bitmap->flags & _1bit_transparency_encoded_flag)) return;
	render_rectangle_geometry &g = rectangle->geometry;
	if (g.x1 <= g.x0 || g.y1 <= g.y0) return; // empty rectangles would divide by zero
	if (g.clip_top < 0) g.clip_top = 0;
	if (g.clip_bottom > destination->height) g.clip_bottom = destination->height;
	const boolean light_mask = (bitmap->flags & _4bit_light_mask_encoded_flag) != 0;
	const boolean four_bit = (bitmap->flags & _4bit_transparency_encoded_flag) != 0;
	const boolean wide = light_mask || four_bit;
	if (wide && !texture.table) return;

	const uint16 flags = surface_flags(surface);
	const int64 x_step = (static_cast<int64>(bitmap->width) << 16) / (g.x1 - g.x0);
	const int64 y_step = (static_cast<int64>(bitmap->height) << 16) / (g.y1 - g.y0);
	const int32 y_first = std::max<int32>(g.y0, g.clip_top), y_last = std::min<int32>(g.y1, g.clip_bottom);
	for (int32 y = y_first; y < y_last; ++y)
	{
		int32 source_row = static_cast<int32>(((y - g.y0) * y_step) >> 16);
		if (flags & _surface_mirror_vertical_flag) source_row = bitmap->height - 1 - source_row;
		if (source_row < 0 || source_row >= bitmap->height) continue;
		const uint8 *row = bitmap->row_addresses[source_row];
		int16 span_count, pixel_count;
		memcpy(&span_count, row, 2);
		memcpy(&pixel_count, row + 2, 2);
		const uint8 *spans = row + ROW_SPAN_HEADER_SIZE;
		const uint8 *pixels = spans + 4 * span_count;
		uint32 *line = reinterpret_cast<uint32 *>(destination->row_addresses[y]);
		int32 pixel_index = 0;
		for (int32 i = 0; i < span_count; ++i)
		{
			encoded_span span;
			memcpy(&span, spans + 4 * i, sizeof(span));
			const int32 length = span.end - span.start;
			if (length <= 0 || span.start < 0 || span.end > bitmap->width || pixel_index + length > pixel_count) break;
			// The span's screen columns through the step, mirrored when flagged.
			const int32 start = (flags & _surface_mirror_horizontal_flag) ? bitmap->width - span.end : span.start;
			const int32 x_begin = g.x0 + static_cast<int32>(((static_cast<int64>(start) << 16) + x_step - 1) / x_step);
			const int32 x_end = g.x0 + static_cast<int32>(((static_cast<int64>(start + length) << 16) + x_step - 1) / x_step);
			for (int32 x = std::max<int32>(x_begin, 0); x < std::min<int32>(x_end, destination->width); ++x)
			{
				int32 source_column = static_cast<int32>(((x - g.x0) * x_step) >> 16) - start;
				if (source_column < 0 || source_column >= length) continue;
				if (flags & _surface_mirror_horizontal_flag) source_column = length - 1 - source_column;
				const int32 index = pixel_index + source_column;
				if (!wide)
				{
					const uint8 texel = pixels[index];
					line[x] = texture.table ? blend_pixel(texture.table, texture.level, line[x], texture.shading[texel])
											: texture.shading[texel];
					continue;
				}
				uint16 texel;
				memcpy(&texel, pixels + 2 * index, 2);
				int32 level;
				if (light_mask) level = std::min<int32>(((texel >> 8) & 15) + texture.level, 15); // clamped to the table
				else level = std::max<uint32>(static_cast<uint16>(texel << 4), surface->transparency) >> 12;
				line[x] = blend_pixel(texture.table, level, line[x], texture.shading[texel & 255]);
			}
			pixel_index += length;
		}
	}
}


static const int16 secondary_address_offset_table[16] = {-1, -512, -511, -512, -513, 0, 0, 1, -1, 0, 0, 513, 512, 511,
	512, 1};

// Terrain: the colour map through the shadow map, in pairs of pixels,
// filtered by a neighbouring texel when flagged.
void rasterize_mesh_triangle(bitmap_data *destination, render_surface *surface)
{
	const boolean filtered = (surface_flags(surface) & _surface_filtered_flag) && volatile_color_map_blend_table;
	render_triangle *triangle = reinterpret_cast<render_triangle *>(surface);
	triangle_setup setup;
	if (!setup_triangle(triangle->corners, &setup)) return;
	const point2d &p0 = setup.top->vertex->screen;
	int64 uv0[2], du[2], dv[2];
	terrain_gradients(setup, uv0, du, dv);
	walk_triangle_rows(&setup, destination->height, destination->width, [&](int32 y, int32 x0, int32 x1) {
		uint32 *pixels = reinterpret_cast<uint32 *>(destination->row_addresses[y]);
		uint32 u = static_cast<uint32>(static_cast<int32>(uv0[0] + du[0] * (x0 - p0.x) + du[1] * (y - p0.y)));
		uint32 v = static_cast<uint32>(static_cast<int32>(uv0[1] + dv[0] * (x0 - p0.x) + dv[1] * (y - p0.y)));
		const uint32 step_u = static_cast<uint32>(static_cast<int32>(du[0] * 2)), step_v = static_cast<uint32>(static_cast<int32>(dv[0] * 2));
		if (x1 - x0 == 1)
		{
			const uint32 index = ((v >> 21) & 511) * 512 + ((u >> 21) & 511);
			pixels[x0] = volatile_color_map_shading_table[(volatile_shadow_map[index] << 8) | volatile_color_map[index]];
			return;
		}
		// Pairs; an odd last pixel repeats the last pair's colour.
		uint32 colour = 0;
		int32 x = x0;
		for (; x + 1 < x1; x += 2, u += step_u, v += step_v)
		{
			const uint32 index = ((v >> 21) & 511) * 512 + ((u >> 21) & 511);
			if (filtered)
			{
				const int32 index2 = static_cast<int32>(index) + secondary_address_offset_table[((u >> 19) & 3) + ((v >> 17) & 12)];
				colour = volatile_color_map_shading_table[(volatile_shadow_map[index2] << 8) |
					volatile_color_map_blend_table[(volatile_color_map[index2] << 8) | volatile_color_map[index]]];
			}
			else
			{
				colour = volatile_color_map_shading_table[(volatile_shadow_map[index] << 8) | volatile_color_map[index]];
			}
			pixels[x] = pixels[x + 1] = colour;
		}
		if (x < x1) pixels[x] = colour;
	});
}

} // namespace reference

namespace {

class render_rasterize_reference : public shapes_test_directory
{
protected:
	void SetUp() override
	{
		shapes_test_directory::SetUp();
		std::vector<int32> handles;
		ASSERT_TRUE(make_default_collection_tags(&handles));
		for (const file_tag tag : {DEFAULT_EFFECTS_COLLECTION_TAG, DEFAULT_SCENERY_COLLECTION_TAG, DEFAULT_UNIT_COLLECTION_TAG})
		{
			const int16 collection = get_collection_index(tag);
			ASSERT_NE(collection, NONE);
			for (int16 i = 0; i < get_collection_bitmap_count(collection); ++i) textures.push_back({collection, i});
		}
		initialize_render();
		render_scene(NULL);
		for (bitmap_data *&screen : screens)
		{
			screen = new_bitmap(97, 61, 97 * 4, _32bit_encoding, 0);
			ASSERT_NE(screen, nullptr);
		}
	}
	void TearDown() override
	{
		for (bitmap_data *screen : screens) dispose_pointer(screen);
		shapes_test_directory::TearDown();
	}

	// The same random background in both screens.
	void fill_screens(void)
	{
		for (int32 y = 0; y < screens[0]->height; ++y)
		{
			for (int32 x = 0; x < screens[0]->width; ++x)
			{
				const uint32 colour = static_cast<uint32>(random());
				reinterpret_cast<uint32 *>(screens[0]->row_addresses[y])[x] = colour;
				reinterpret_cast<uint32 *>(screens[1]->row_addresses[y])[x] = colour;
			}
		}
	}
	// Whether the two screens differ.
	bool screen_changed(void) const
	{
		for (int32 y = 0; y < screens[0]->height; ++y)
		{
			if (memcmp(screens[0]->row_addresses[y], screens[1]->row_addresses[y], screens[0]->width * 4)) return true;
		}
		return false;
	}
	int32 between(int32 low, int32 high) { return low + static_cast<int32>(random() % static_cast<uint32>(high - low + 1)); }
	// Corners over the screen and beyond its edges (one triangle in eight large),
	// with texture coordinates anywhere in their range (the terrain's whole map and its wrap).
	void place_random_corners(render_triangle *triangle, render_vertex vertices[3], int32 trial)
	{
		const int32 reach = trial % 8 == 0 ? 400 : 120;
		for (int32 c = 0; c < 3; ++c)
		{
			vertices[c].screen = {static_cast<int16>(between(-reach, reach)), static_cast<int16>(between(-reach / 2, reach / 2))};
			triangle->corners[c].vertex = &vertices[c];
			triangle->corners[c].interpolants[0] = static_cast<int16>(random());
			triangle->corners[c].interpolants[1] = static_cast<int16>(random());
		}
	}

	// A bitmap with every one of the wanted flags and none of the refused ones.
	bitmap_identifier random_texture(int32 wanted, int32 refused)
	{
		for (int32 tries = 0;; ++tries)
		{
			const std::pair<int16, int16> &t = textures[random() % textures.size()];
			const int32 flags = get_bitmap(t.first, t.second)->flags;
			if (tries < 100000 && ((flags & refused) || (flags & wanted) != wanted)) continue;
			return build_bitmap_identifier(static_cast<uint32>(t.first), static_cast<uint32>(t.second), 0, 0);
		}
	}
	static boolean is_wide(bitmap_identifier texture)
	{
		const int32 flags = get_bitmap(bitmap_identifier_collection(texture), bitmap_identifier_bitmap(texture))->flags;
		return (flags & (_4bit_transparency_encoded_flag | _4bit_light_mask_encoded_flag)) != 0;
	}
	uint16 random_surface_bits(int16 type, int16 subtype)
	{
		render_surface surface;
		memset(&surface, 0, sizeof(surface));
		set_surface_type(&surface, type, subtype);
		uint32 flags = 0;
		if (random() & 1) flags |= _surface_transparent_flag;
		if (random() & 1) flags |= _surface_transparent_overlay_flag;
		if (random() & 1) flags |= _surface_mirror_horizontal_flag;
		if (random() & 1) flags |= _surface_mirror_vertical_flag;
		set_surface_flags(&surface, flags);
		return surface.bits;
	}

	std::mt19937 random{0x5EED};
	std::vector<std::pair<int16, int16>> textures;
	bitmap_data *screens[2] = {};
};

}

// Each channel of each level's table, every destination and source byte.
TEST_F(render_rasterize_reference, blending_agrees_for_every_level_and_channel_value)
{
	for (int16 mode = 0; mode < 2; ++mode)
	{
		const uint8 *table = static_cast<const uint8 *>(get_transparency_table(mode));
		ASSERT_NE(table, nullptr);
		int32 differing = 0;
		for (int32 level = 0; level < 16; ++level)
		{
			for (uint32 d = 0; d < 256; ++d)
			{
				for (uint32 s = 0; s < 256; ++s)
				{
					// The other channels take other values, high byte set or not.
					const uint32 destination = d | ((d ^ 0x5A) << 8) | ((255 - d) << 16) | ((s & 1) << 31);
					const uint32 source = s | ((255 - s) << 8) | ((s ^ 0xA5) << 16) | ((d & 1) << 24);
					differing += blend_pixel_32bit(table, level, destination, source) !=
						reference::blend_pixel(table, level, destination, source);
				}
			}
		}
		EXPECT_EQ(differing, 0) << "mode " << mode;
	}
}

// Sprites of every bitmap, sized from a pixel to several screens, placed
// partly off every edge, mirrored, clipped and blended at random.
TEST_F(render_rasterize_reference, sprites_draw_the_same_pixels_as_before)
{
	int32 drawing = 0, wide_drawing = 0, differing = 0;
	for (int32 trial = 0; trial < 12000; ++trial)
	{
		fill_screens();
		render_rectangle sprite;
		memset(&sprite, 0, sizeof(sprite));
		sprite.surface.bits = random_surface_bits(_surface_type_rectangle, _surface_subtype_object_rectangle);
		sprite.surface.transparency = static_cast<fixed_fraction>(random() & 1 ? random() : 0);
		const int32 width = trial % 4 == 0 ? between(1, 400) : between(1, 60);
		const int32 height = trial % 4 == 1 ? between(1, 300) : between(1, 50);
		const int32 x0 = between(-width - 5, 100), y0 = between(-height - 5, 65);
		sprite.geometry.x0 = static_cast<int16>(x0);
		sprite.geometry.x1 = static_cast<int16>(x0 + width);
		sprite.geometry.y0 = static_cast<int16>(y0);
		sprite.geometry.y1 = static_cast<int16>(y0 + height);
		sprite.geometry.clip_top = static_cast<int16>(random() & 1 ? between(-10, 40) : -32768);
		sprite.geometry.clip_bottom = static_cast<int16>(random() & 1 ? between(20, 70) : 32767);
		// A third 16-bit, a third of those read as light masks (no content has one).
		sprite.texture = random_texture(_1bit_transparency_encoded_flag | (trial % 3 == 0 ? _4bit_transparency_encoded_flag : 0), 0);
		bitmap_data *bitmap = get_bitmap(bitmap_identifier_collection(sprite.texture), bitmap_identifier_bitmap(sprite.texture));
		const int16 saved_flags = bitmap->flags;
		if (trial % 9 == 0) bitmap->flags = static_cast<int16>((bitmap->flags & ~_4bit_transparency_encoded_flag) | _4bit_light_mask_encoded_flag);
		render_rectangle copy = sprite;
		reference::rasterize_rectangle(screens[0], &sprite.surface);
		drawing += screen_changed();
		wide_drawing += screen_changed() && is_wide(sprite.texture);
		rasterize_rectangle_32bit(screens[1], &copy.surface);
		differing += screen_changed() || memcmp(&sprite, &copy, sizeof(sprite)) != 0;
		bitmap->flags = saved_flags;
	}
	EXPECT_EQ(differing, 0);
	EXPECT_GT(drawing, 4000) << "most sprites draw something";
	EXPECT_GT(wide_drawing, 400) << "16-bit sprites among them";
}

// The normal table's blend by its formula, four pixels at a time, one at a
// time and one alone, against the table: every level, destination and
// source byte of each channel, in runs of every length from every alignment.
TEST_F(render_rasterize_reference, normal_blends_by_formula_agree_with_the_table)
{
	const uint8 *table = static_cast<const uint8 *>(get_transparency_table(0));
	ASSERT_NE(table, nullptr);
	std::vector<uint32> line(256 + 8), expected(256 + 8), one_line(line.size()), one_expected(line.size());
	std::vector<uint64> addends(line.size()), levels(line.size()), one_addends(line.size());
	int32 differing = 0;
	for (int32 level = 0; level < 16; ++level)
	{
		for (uint32 s = 0; s < 256; ++s)
		{
			const uint32 source = s | ((255 - s) << 8) | ((s ^ 0xA5) << 16) | (level << 24);
			const int32 first = static_cast<int32>(s % 8), stop = first + 1 + static_cast<int32>((s * 7 + level) % 256);
			for (size_t x = 0; x < line.size(); ++x)
			{
				const uint32 d = static_cast<uint32>(x + s) & 255;
				line[x] = expected[x] = one_line[x] = one_expected[x] = d | ((d ^ 0x5A) << 8) | ((255 - d) << 16) | ((s & 1) << 31);
				// Levels and sources by column as sprites keep them; a neighbour's level differs.
				const int32 column_level = (x & 1) ? level : 15 - level;
				const uint32 column_source = (x & 2) ? source : ~source;
				levels[x] = static_cast<uint64>(column_level) * 0x0001000100010001ull;
				const uint64 weight = static_cast<uint64>(15 - column_level);
				addends[x] = (weight * ((column_source >> 3) & 31) + 7) | ((weight * ((column_source >> 11) & 31) + 7) << 16) |
					((weight * ((column_source >> 19) & 31) + 7) << 32);
				// One level for the whole run, as 8-bit sprites have.
				const uint64 one_weight = static_cast<uint64>(15 - level);
				one_addends[x] = (one_weight * ((column_source >> 3) & 31) + 7) |
					((one_weight * ((column_source >> 11) & 31) + 7) << 16) | ((one_weight * ((column_source >> 19) & 31) + 7) << 32);
				if (static_cast<int32>(x) >= first && static_cast<int32>(x) < stop)
				{
					one_expected[x] = blend_pixel_32bit(table, level, one_expected[x], column_source);
					expected[x] = blend_pixel_32bit(table, column_level, expected[x], column_source);
					differing += blend_normal_pixel_32bit(line[x], column_source, column_level) != expected[x];
				}
			}
			blend_normal_pixels_32bit(line.data(), first, stop, addends.data(), levels.data());
			blend_normal_pixels_one_level_32bit(one_line.data(), first, stop, one_addends.data(), level);
			differing += (line != expected) + (one_line != one_expected);
		}
	}
	EXPECT_EQ(differing, 0);
}

// Rows whose spans overlap (no content's do) are drawn span by span, as before.
TEST_F(render_rasterize_reference, sprites_with_overlapping_spans_draw_as_before)
{
	int32 overlapping_rows = 0, differing = 0, drawing = 0;
	for (const std::pair<int16, int16> &t : textures)
	{
		bitmap_data *bitmap = get_bitmap(t.first, t.second);
		if (!(bitmap->flags & _1bit_transparency_encoded_flag)) continue;
		// A row's first two spans made one, the shorter twice (so the row
		// keeps within its pixels): it blends twice; put back afterwards.
		std::vector<std::vector<uint8>> saved;
		for (int32 y = 0; y < bitmap->height; ++y)
		{
			uint8 *row = bitmap->row_addresses[y];
			int16 span_count;
			memcpy(&span_count, row, 2);
			saved.emplace_back(row + ROW_SPAN_HEADER_SIZE, row + ROW_SPAN_HEADER_SIZE + 4 * span_count);
			if (span_count < 2) continue;
			encoded_span spans[2];
			memcpy(spans, row + ROW_SPAN_HEADER_SIZE, sizeof(spans));
			const encoded_span shorter = spans[0].end - spans[0].start <= spans[1].end - spans[1].start ? spans[0] : spans[1];
			memcpy(row + ROW_SPAN_HEADER_SIZE, &shorter, 4);
			memcpy(row + ROW_SPAN_HEADER_SIZE + 4, &shorter, 4);
			overlapping_rows += 1;
		}
		for (int32 trial = 0; trial < 8; ++trial)
		{
			fill_screens();
			render_rectangle sprite;
			memset(&sprite, 0, sizeof(sprite));
			sprite.surface.bits = random_surface_bits(_surface_type_rectangle, _surface_subtype_object_rectangle);
			sprite.surface.transparency = static_cast<fixed_fraction>(random() | 0x1000);
			const int32 width = between(10, 300), height = between(10, 200);
			const int32 x0 = between(-width / 2, 60), y0 = between(-height / 2, 40);
			sprite.geometry = {};
			sprite.geometry.x0 = static_cast<int16>(x0);
			sprite.geometry.x1 = static_cast<int16>(x0 + width);
			sprite.geometry.y0 = static_cast<int16>(y0);
			sprite.geometry.y1 = static_cast<int16>(y0 + height);
			sprite.geometry.clip_top = -32768;
			sprite.geometry.clip_bottom = 32767;
			sprite.texture = build_bitmap_identifier(static_cast<uint32>(t.first), static_cast<uint32>(t.second), 0, 0);
			render_rectangle copy = sprite;
			reference::rasterize_rectangle(screens[0], &sprite.surface);
			drawing += screen_changed();
			rasterize_rectangle_32bit(screens[1], &copy.surface);
			differing += screen_changed();
		}
		for (int32 y = 0; y < bitmap->height; ++y)
		{
			if (!saved[y].empty()) memcpy(bitmap->row_addresses[y] + ROW_SPAN_HEADER_SIZE, saved[y].data(), saved[y].size());
		}
	}
	EXPECT_EQ(differing, 0);
	EXPECT_GT(overlapping_rows, 0) << "some rows have several spans";
	EXPECT_GT(drawing, 0);
}

// Object and model triangles of every bitmap with random corners and texture
// coordinates, a few of them beyond the screen's edges.
TEST_F(render_rasterize_reference, textured_triangles_draw_the_same_pixels_as_before)
{
	int32 drawing = 0, wide_drawing = 0, small_wide_drawing = 0, differing = 0, run_lengths = 0;
	for (int32 trial = 0; trial < 12000; ++trial)
	{
		// Runs of trials share one scene's kept blends of small textures, by level floor.
		if (trial % 3000 == 0) begin_software_scene_blends();
		if (trial % 3000 == 1500) end_software_scene_blends();
		fill_screens();
		render_vertex vertices[3];
		memset(vertices, 0, sizeof(vertices));
		render_triangle triangle;
		memset(&triangle, 0, sizeof(triangle));
		const boolean model = random() & 1;
		triangle.surface.bits = random_surface_bits(_surface_type_triangle,
			model ? _surface_subtype_model_triangle : _surface_subtype_object_triangle);
		triangle.surface.transparency = static_cast<fixed_fraction>(random() & 1 ? random() : 0);
		place_random_corners(&triangle, vertices, trial);
		triangle.texture = random_texture(trial % 3 == 0 ? _4bit_transparency_encoded_flag : 0, _1bit_transparency_encoded_flag);
		// The old loops read past the one row address of a run-length bitmap: now they draw nothing.
		const boolean run_length = get_bitmap(bitmap_identifier_collection(triangle.texture),
			bitmap_identifier_bitmap(triangle.texture))->flags & _no_row_address_table_flag;
		if (!run_length) reference::rasterize_textured_triangle(screens[0], &triangle.surface, model);
		drawing += screen_changed();
		wide_drawing += screen_changed() && is_wide(triangle.texture);
		const bitmap_data *bitmap = get_bitmap(bitmap_identifier_collection(triangle.texture), bitmap_identifier_bitmap(triangle.texture));
		small_wide_drawing += screen_changed() && is_wide(triangle.texture) && bitmap->width * bitmap->height <= 256;
		run_lengths += run_length;
		if (model) rasterize_model_triangle_32bit(screens[1], &triangle.surface);
		else rasterize_triangle_32bit(screens[1], &triangle.surface);
		differing += screen_changed();
	}
	EXPECT_EQ(differing, 0);
	EXPECT_GT(drawing, 2000) << "many triangles draw something";
	EXPECT_GT(wide_drawing, 200) << "16-bit textures among them";
	EXPECT_GT(small_wide_drawing, 100) << "small 16-bit textures among them";
	EXPECT_GT(run_lengths, 0);
}

// Terrain triangles, filtered or not, over random volatile maps and tables:
// long rows (the pairs worked out four at a time) and short ones.
TEST_F(render_rasterize_reference, terrain_triangles_draw_the_same_pixels_as_before)
{
	const int32 guard = VOLATILE_MAP_GUARD, cells = VOLATILE_MAP_WIDTH * VOLATILE_MAP_WIDTH;
	std::vector<uint8> colours(cells + 2 * guard), shadows(cells + 2 * guard), blends(65536);
	std::vector<uint32> shading(65536);
	for (uint8 &c : colours) c = static_cast<uint8>(random());
	for (uint8 &c : shadows) c = static_cast<uint8>(random());
	for (uint8 &c : blends) c = static_cast<uint8>(random());
	for (uint32 &c : shading) c = static_cast<uint32>(random());
	uint8 *const saved_colour = volatile_color_map, *const saved_shadow = volatile_shadow_map;
	const uint32 *const saved_shading = volatile_color_map_shading_table;
	const uint8 *const saved_blend = volatile_color_map_blend_table;
	volatile_color_map = colours.data() + guard;
	volatile_shadow_map = shadows.data() + guard;
	volatile_color_map_shading_table = shading.data();
	volatile_color_map_blend_table = blends.data();
	int32 drawing = 0, differing = 0;
	for (int32 trial = 0; trial < 20000; ++trial)
	{
		fill_screens();
		render_vertex vertices[3];
		memset(vertices, 0, sizeof(vertices));
		render_triangle triangle;
		memset(&triangle, 0, sizeof(triangle));
		render_surface bits;
		memset(&bits, 0, sizeof(bits));
		set_surface_type(&bits, _surface_type_triangle, _surface_subtype_mesh_triangle);
		set_surface_flags(&bits, trial % 4 ? _surface_filtered_flag : 0);
		triangle.surface.bits = bits.bits;
		place_random_corners(&triangle, vertices, trial);
		if (trial % 2)
		{
			// Neighbouring corners: magnified cells, as near views draw them.
			for (int32 c = 1; c < 3; ++c)
			{
				for (int32 k = 0; k < 2; ++k)
				{
					triangle.corners[c].interpolants[k] = static_cast<int16>(triangle.corners[0].interpolants[k] + between(-3, 3));
				}
			}
		}
		reference::rasterize_mesh_triangle(screens[0], &triangle.surface);
		drawing += screen_changed();
		rasterize_mesh_triangle_32bit(screens[1], &triangle.surface);
		differing += screen_changed();
	}
	volatile_color_map = saved_colour;
	volatile_shadow_map = saved_shadow;
	volatile_color_map_shading_table = saved_shading;
	volatile_color_map_blend_table = saved_blend;
	EXPECT_EQ(differing, 0);
	EXPECT_GT(drawing, 8000);
}

// The gradient's double division against the long double one it replaced,
// over texture coordinate differences and screen corners drawn from their
// whole ranges, the extremes included.
TEST(render_rasterize_gradients, the_double_quotient_truncates_as_the_long_double_one)
{
	std::mt19937_64 random(0x5EED);
	const int64 coordinate_extremes[] = {-(INT64_C(1) << 32) + 1, -(INT64_C(1) << 32) + 65536, -65536, -1, 0, 1, 65535,
		(INT64_C(1) << 32) - 65536, (INT64_C(1) << 32) - 1};
	const int32 screen_extremes[] = {-65535, -32768, -1, 0, 1, 2, 3, 32767, 65535};
	int32 differing = 0;
	for (int32 trial = 0; trial < 4000000; ++trial)
	{
		const bool extreme = trial % 4 == 0;
		const auto coordinate = [&]() {
			return extreme ? coordinate_extremes[random() % 9] :
				static_cast<int64>(random() % ((INT64_C(1) << 33) - 1)) - ((INT64_C(1) << 32) - 1);
		};
		const auto screen = [&]() {
			return extreme ? screen_extremes[random() % 9] : static_cast<int32>(random() % 131071) - 65535;
		};
		// Small areas too: they leave the largest quotients.
		const int32 shrink = static_cast<int32>(random() % 17);
		const int32 d1 = screen() >> shrink, d2 = screen() >> shrink, e1 = screen() >> shrink, e2 = screen() >> shrink;
		const int64 area2 = static_cast<int64>(d1) * e2 - static_cast<int64>(d2) * e1;
		if (area2 == 0) continue;
		const int64 a1 = coordinate(), a2 = coordinate();
		const long double expected = (static_cast<long double>(a1) * e2 - static_cast<long double>(a2) * e1) /
			static_cast<long double>(area2);
		differing += texture_gradient(a1 * e2 - a2 * e1, area2) != static_cast<int64>(expected);
		differing += texture_gradient(a1 * e2 - a2 * e1, area2) != (a1 * e2 - a2 * e1) / area2;
	}
	EXPECT_EQ(differing, 0);
}
