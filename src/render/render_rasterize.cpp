// The last stage of a frame: the software rasterizer for 32-bit screens, text
// rectangles and the post-rasterization effects.
#include "render/render.h"
#include "render/render_triangle_rows.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "bitmap_text.h"
#include "error_manager.h"
#include "hardware/hardware_rasterizers.h"
#include "quicksort.h"
#include "screen.h"
#include "shapes.h"
#include "world.h"

using namespace software_rasterizer;

post_effect post_effects[MAXIMUM_NUMBER_OF_REGISTERED_POST_EFFECTS];
int16 number_of_registered_post_effects = 0;

#define FILTER_WIDTH 4
#define FILTER_WIDTH_BITS 2

// The largest transparency: the surface is not seen at all.
#define FULLY_TRANSPARENT_SURFACE 65535

static const int16 secondary_address_offset_table[FILTER_WIDTH * FILTER_WIDTH] = {-1, -512, -511, -512, -513, 0, 0, 1,
	-1, 0, 0, 513, 512, 511, 512, 1};

enum
{
	_rasterize_state_media,
	_rasterize_state_reflections,
	_rasterize_state_primary
};

/* ---------- post effects */

int32 compare_post_effects(const void *a, const void *b)
{
	return static_cast<const post_effect *>(b)->priority - static_cast<const post_effect *>(a)->priority;
}

void register_postrasterization_effect(int32 priority, postrasterization_effect_proc procedure)
{
	// A second start-up in one process registers nothing twice.
	for (int32 i = 0; i < number_of_registered_post_effects; ++i)
	{
		if (post_effects[i].function_pointer == procedure) return;
	}
	if (number_of_registered_post_effects >= MAXIMUM_NUMBER_OF_REGISTERED_POST_EFFECTS)
	{
		log_message(nullptr, NONE, "### post-rasterization effect with priority %d refused: the table holds %d",
			priority, MAXIMUM_NUMBER_OF_REGISTERED_POST_EFFECTS);
		return;
	}
	post_effects[number_of_registered_post_effects].priority = priority;
	post_effects[number_of_registered_post_effects].function_pointer = procedure;
	number_of_registered_post_effects += 1;
	qsort_private(post_effects, number_of_registered_post_effects, sizeof(post_effect), compare_post_effects);
}

/* ---------- map set-up */

void initialize_rasterizer(void) {}

static void clear_bitmap_to_black(bitmap_data *bitmap)
{
	const size_t bytes = static_cast<size_t>(bitmap->width) << bitmap->pixel_upshift;
	for (int32 row = 0; row < bitmap->height; ++row)
	{
		if (bitmap->row_addresses[row]) memset(bitmap->row_addresses[row], 0, bytes);
	}
}

static void clear_backbuffer(boolean hardware)
{
	if (hardware) render_begin_hardware();
	rectangle2d bounds;
	memset(&bounds, 0, sizeof(bounds));
	get_game_screen_bounds(&bounds);
	offset_rectangle2d(&bounds, static_cast<int16>(-bounds.left), static_cast<int16>(-bounds.top));
	bitmap_data *buffer = get_linear_backbuffer(&bounds);
	if (buffer)
	{
		clear_bitmap_to_black(buffer);
		release_linear_backbuffer(buffer);
	}
	if (hardware) render_end_hardware(TRUE);
}

boolean initialize_rasterizer_for_new_map(void)
{
	boolean result = TRUE;
	boolean hardware = active_screen.rasterizer_code != _rasterizer_software;
	if (hardware && !initialize_hardware_rasterizer_for_new_map())
	{
		const opengl_rasterizer_procedures *back_end = get_opengl_rasterizer_procedures();
		if (back_end && back_end->initialize_opengl_rasterizer_for_new_map)
		{
			// The back end found no context (a driver that cannot load): the game still plays.
			fall_back_to_software_screen();
			hardware = FALSE;
		}
		else
		{
			result = FALSE;
		}
	}
	if (clear_linear_backbuffer_hardware()) return result;
	clear_backbuffer(hardware);
	return result;
}

void dispose_rasterizer_from_old_map(void)
{
	if (active_screen.rasterizer_code != _rasterizer_software) dispose_hardware_rasterizer_from_old_map();
}

/* ---------- terrain */

static inline uint32 terrain_colour(uint32 index)
{
	return volatile_color_map_shading_table[(volatile_shadow_map[index] << 8) | volatile_color_map[index]];
}

void rasterize_mesh_triangle_32bit(bitmap_data *destination, render_surface *surface)
{
	if (!destination_is_32bit(destination) || !volatile_color_map_shading_table || !volatile_color_map) return;
	const uint16 flags = surface_flags(surface);
	if (flags & _surface_reflection_flag) return; // no builder makes them; no reflection blend exists
	const boolean filtered = (flags & _surface_filtered_flag) && volatile_color_map_blend_table;
	render_triangle *triangle = reinterpret_cast<render_triangle *>(surface);
	triangle_setup setup;
	if (!setup_triangle(triangle->corners, &setup)) return;

	const point2d &p0 = setup.top->vertex->screen;
	int64 uv0[2], du[2], dv[2];
	terrain_gradients(setup, uv0, du, dv);
	const uint32 *shading = volatile_color_map_shading_table;
	const uint8 *blend = volatile_color_map_blend_table;
	walk_triangle_rows(&setup, destination->height, destination->width, [&](int32 y, int32 x0, int32 x1) {
		uint32 *pixels = reinterpret_cast<uint32 *>(destination->row_addresses[y]);
		int32 u = static_cast<int32>(uv0[0] + du[0] * (x0 - p0.x) + du[1] * (y - p0.y));
		int32 v = static_cast<int32>(uv0[1] + dv[0] * (x0 - p0.x) + dv[1] * (y - p0.y));
		const int32 du2 = static_cast<int32>(du[0] * 2), dv2 = static_cast<int32>(dv[0] * 2);
		const int32 count = x1 - x0;
		if (count == 1)
		{
			pixels[x0] = terrain_colour(((static_cast<uint32>(v) >> 21) & 511) * 512 + ((static_cast<uint32>(u) >> 21) & 511));
			return;
		}
		// Pairs of pixels; the map wraps: so do the coordinates, without signed overflow.
		// The tables are read through locals: the pixel stores could alias globals.
		const uint8 *const color_map = volatile_color_map, *const shadow_map = volatile_shadow_map;
		const uint32 *const colours = shading;
		uint32 uu = static_cast<uint32>(u), vv = static_cast<uint32>(v);
		const uint32 step_u = static_cast<uint32>(du2), step_v = static_cast<uint32>(dv2);
		uint32 colour = 0;
		int32 x = x0;
		if (filtered)
		{
			const uint8 *const blends = blend;
#if defined(__SSE2__)
			// Four pairs at a time: their map indexes and filter offsets
			// worked out side by side, the table reads one by one.
			if (x + 8 <= x1)
			{
				alignas(16) uint32 indexes[4], corners[4];
				__m128i u4 = _mm_setr_epi32(static_cast<int32>(uu), static_cast<int32>(uu + step_u),
					static_cast<int32>(uu + 2 * step_u), static_cast<int32>(uu + 3 * step_u));
				__m128i v4 = _mm_setr_epi32(static_cast<int32>(vv), static_cast<int32>(vv + step_v),
					static_cast<int32>(vv + 2 * step_v), static_cast<int32>(vv + 3 * step_v));
				const __m128i step_u4 = _mm_set1_epi32(static_cast<int32>(4 * step_u));
				const __m128i step_v4 = _mm_set1_epi32(static_cast<int32>(4 * step_v));
				const __m128i column_mask = _mm_set1_epi32(511), row_mask = _mm_set1_epi32(511 << 9);
				const __m128i three = _mm_set1_epi32(3), twelve = _mm_set1_epi32(12);
				for (; x + 8 <= x1; x += 8, uu += 4 * step_u, vv += 4 * step_v)
				{
					_mm_store_si128(reinterpret_cast<__m128i *>(indexes),
						_mm_or_si128(_mm_and_si128(_mm_srli_epi32(v4, 12), row_mask), _mm_and_si128(_mm_srli_epi32(u4, 21), column_mask)));
					_mm_store_si128(reinterpret_cast<__m128i *>(corners),
						_mm_or_si128(_mm_and_si128(_mm_srli_epi32(u4, 19), three), _mm_and_si128(_mm_srli_epi32(v4, 17), twelve)));
					u4 = _mm_add_epi32(u4, step_u4);
					v4 = _mm_add_epi32(v4, step_v4);
					uint32 *const out = pixels + x;
#pragma GCC unroll 4
					for (int32 k = 0; k < 4; ++k)
					{
						const uint32 index = indexes[k];
						const int32 index2 = static_cast<int32>(index) + secondary_address_offset_table[corners[k]];
						colour = colours[(static_cast<uint32>(shadow_map[index2]) << 8) |
							blends[(static_cast<uint32>(color_map[index2]) << 8) | color_map[index]]];
						out[2 * k] = out[2 * k + 1] = colour;
					}
				}
			}
#endif
			for (; x + 1 < x1; x += 2, uu += step_u, vv += step_v)
			{
				const uint32 index = ((vv >> 21) & 511) * 512 + ((uu >> 21) & 511);
				const int32 index2 = static_cast<int32>(index) + secondary_address_offset_table[((uu >> 19) & 3) + ((vv >> 17) & 12)];
				colour = colours[(shadow_map[index2] << 8) | blends[(color_map[index2] << 8) | color_map[index]]];
				pixels[x] = pixels[x + 1] = colour;
			}
		}
		else
		{
			for (; x + 1 < x1; x += 2, uu += step_u, vv += step_v)
			{
				const uint32 index = ((vv >> 21) & 511) * 512 + ((uu >> 21) & 511);
				colour = colours[(shadow_map[index] << 8) | color_map[index]];
				pixels[x] = pixels[x + 1] = colour;
			}
		}
		if (x < x1) pixels[x] = colour;
	});
}

/* ---------- filled rectangles */

// Each channel's top five bits of destination and source pick the level's
// entry, which comes back times 8 (ORed in, as the table's bytes may exceed 31).
static inline uint32 blend_pixel_at(const uint8 *t, uint32 destination, uint32 source)
{
	const uint32 blue = t[((destination << 2) & 0x3E0) | ((source >> 3) & 31)];
	const uint32 green = t[((destination >> 6) & 0x3E0) | ((source >> 11) & 31)];
	const uint32 red = t[((destination >> 14) & 0x3E0) | ((source >> 19) & 31)];
	return 0xFF000000u | (red << 19) | (green << 11) | (blue << 3);
}

static inline uint32 blend_pixel(const uint8 *table, int32 level, uint32 destination, uint32 source)
{
	return blend_pixel_at(table + level * 1024, destination, source);
}

uint32 blend_pixel_32bit(const uint8 *table, int32 level, uint32 destination, uint32 source)
{
	return blend_pixel(table, level, destination, source);
}

void rasterize_filled_rectangle_32bit(bitmap_data *destination, render_surface *surface)
{
	if (!destination_is_32bit(destination)) return;
	const render_filled_rectangle *rectangle = reinterpret_cast<const render_filled_rectangle *>(surface);
	const render_rectangle_geometry &g = rectangle->geometry;
	const uint32 colour = (static_cast<uint32>(rectangle->color.red >> 8) << 16) |
		(static_cast<uint32>(rectangle->color.green >> 8) << 8) | (rectangle->color.blue >> 8);
	const int32 x0 = std::max<int32>(g.x0, 0), x1 = std::min<int32>(g.x1, destination->width);
	const int32 y0 = std::max<int32>(std::max<int32>(g.y0, g.clip_top), 0);
	const int32 y1 = std::min<int32>(std::min<int32>(g.y1, destination->height), g.clip_bottom);
	if (x0 >= x1 || y0 >= y1) return;
	// Wholly transparent: level 15 would still cut each channel to five bits.
	if (surface->transparency == FULLY_TRANSPARENT_SURFACE) return;
	const uint8 *table = static_cast<const uint8 *>(get_transparency_table(0));
	const int32 level = surface->transparency >> 12;
	for (int32 y = y0; y < y1; ++y)
	{
		uint32 *pixels = reinterpret_cast<uint32 *>(destination->row_addresses[y]);
		for (int32 x = x0; x < x1; ++x) pixels[x] = table ? blend_pixel(table, level, pixels[x], colour) : colour;
	}
}

/* ---------- objects, models and sprites */

namespace {

// The texture, colours and blending of one textured surface.
struct texture_setup
{
	bitmap_data *bitmap;
	const uint32 *shading;
	const uint8 *table; // NULL: opaque
	int32 level; // the surface's level, added to 16-bit texels' own
};

}

// A texture's bitmap and shading table, kept through one software scene: the
// same identifier finds the same two, and a bitmap's first look-up has
// already marked it (the later ones change nothing).
namespace {

struct scene_texture
{
	bitmap_identifier texture;
	boolean found;
	bitmap_data *bitmap;
	const uint32 *shading;
};

enum { scene_texture_slots = 64 };
scene_texture scene_textures[scene_texture_slots];
boolean scene_textures_live = FALSE;

}

static void look_up_texture(bitmap_identifier texture, bitmap_data **bitmap, const uint32 **shading)
{
	scene_texture *slot = NULL;
	if (scene_textures_live)
	{
		slot = &scene_textures[(static_cast<uint32>(texture) * 2654435761u) >> 26];
		if (slot->found && slot->texture == texture)
		{
			*bitmap = slot->bitmap;
			*shading = slot->shading;
			return;
		}
	}
	*bitmap = get_bitmap(bitmap_identifier_collection(texture), bitmap_identifier_bitmap(texture));
	*shading = static_cast<const uint32 *>(get_shading_table(bitmap_identifier_collection(texture),
		bitmap_identifier_color_table(texture), bitmap_identifier_permutation(texture)));
	if (slot) *slot = {texture, TRUE, *bitmap, *shading};
}

static boolean setup_texture(const render_surface *surface, bitmap_identifier texture, texture_setup *setup)
{
	// Wholly transparent surfaces draw nothing, as on the hardware path: the
	// level-15 blend would still tint what lies beneath.
	if (surface->transparency == FULLY_TRANSPARENT_SURFACE) return FALSE;
	look_up_texture(texture, &setup->bitmap, &setup->shading);
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

// The screen rows of a small triangle lie far apart in memory, and the
// blending reads them: ask for all of their lines at once rather than wait
// for each row in turn.
static inline void prefetch_small_triangle(const bitmap_data *destination, const point2d &top, const point2d &middle,
	const point2d &bottom)
{
	const int32 left = std::max<int32>(std::min<int32>(std::min<int32>(top.x, middle.x), bottom.x), 0);
	const int32 right = std::min<int32>(std::max<int32>(std::max<int32>(top.x, middle.x), bottom.x), destination->width - 1);
	const int32 first = std::max<int32>(top.y, 0), last = std::min<int32>(bottom.y, destination->height - 1);
	if (right < left || last < first || right - left > 48 || last - first > 48) return;
	for (int32 y = first; y <= last; ++y)
	{
		const uint8 *row = destination->row_addresses[y];
		for (int32 x = left & ~15; x <= right; x += 16) __builtin_prefetch(row + x * 4, 1);
	}
}

// A texture gradient, the numerator over the doubled area truncated toward
// zero. Both are whole numbers well inside a double's 53 bits (|numerator| <
// 2^50: 33-bit coordinate differences times 17-bit screen differences), so
// the quotient's rounding error, at most |quotient| / 2^53, is smaller than
// 1 / |area|, the least distance from a fraction numerator / area to a whole
// number: the truncated double is the exact quotient's truncation (a long
// double gives the same, only slower).
int64 texture_gradient(int64 numerator, int64 area2)
{
	return static_cast<int64>(static_cast<double>(numerator) / static_cast<double>(area2));
}

static boolean is_normal_transparency_table(const uint8 *table);

// One pixel's blend through the normal table's formula (see
// blend_normal_pixels_32bit), the channels side by side.
uint32 blend_normal_pixel_32bit(uint32 destination, uint32 source, int32 level)
{
#if defined(__SSE2__)
	const __m128i zero = _mm_setzero_si128();
	const __m128i d = _mm_srli_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int32>(destination)), zero), 3);
	const __m128i s = _mm_srli_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int32>(source)), zero), 3);
	const __m128i l = _mm_set1_epi16(static_cast<int16>(level));
	const __m128i w = _mm_sub_epi16(_mm_set1_epi16(15), l);
	__m128i sum = _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(d, l), _mm_mullo_epi16(s, w)), _mm_set1_epi16(7));
	sum = _mm_slli_epi16(_mm_mulhi_epu16(sum, _mm_set1_epi16(4370)), 3);
	return static_cast<uint32>(_mm_cvtsi128_si32(_mm_packus_epi16(sum, sum))) | 0xFF000000u;
#else
	uint32 result = 0xFF000000u;
	for (int32 channel = 0; channel < 3; ++channel)
	{
		const uint32 shift = 8 * channel + 3;
		const uint32 sum = level * ((destination >> shift) & 31) + (15 - level) * ((source >> shift) & 31) + 7;
		result |= ((sum * 4370) >> 16) << shift;
	}
	return result;
#endif
}

static inline uint64 normal_blend_addend(int32 level, uint32 source);

// Small 16-bit textures (the rain's streaks) blended through the normal table:
// a texel's colour and level depend on the texel and the surface's level floor
// alone (max(a, t) >> 12 is max(a >> 12, t >> 12)), so each texel's blend
// inputs (the addend and level of blend_normal_pixels_32bit) are worked out
// once and the pixels read them by texel index.
namespace {

enum { maximum_small_texels = 256, small_texel_levels = 16 };

struct small_texel_blend
{
	uint64 addend, level;
};

struct small_texture_blends
{
	const bitmap_data *bitmap;
	uint8 *const *rows;
	const uint32 *shading;
	alignas(16) small_texel_blend texels[maximum_small_texels];
};

// Kept for one software scene, whose textures and shading tables nothing
// changes while it draws; by the level floor.
small_texture_blends small_texture_cache[small_texel_levels];
boolean small_texture_cache_live = FALSE;

void fill_small_texture_blends(small_texel_blend *texels, const bitmap_data *bitmap, const uint32 *shading, uint32 floor)
{
	for (int32 row = 0; row < bitmap->height; ++row)
	{
		const uint16 *line = reinterpret_cast<const uint16 *>(bitmap->row_addresses[row]);
		for (int32 column = 0; column < bitmap->width; ++column)
		{
			const uint32 texel = line[column];
			const int32 level = static_cast<int32>(std::max<uint32>(static_cast<uint16>(texel << 4) >> 12, floor));
			small_texel_blend &blend = texels[(row << bitmap->width_bits) | column];
			blend.addend = normal_blend_addend(level, shading[texel & 255]);
			blend.level = static_cast<uint64>(level) * 0x0001000100010001ull;
		}
	}
}

}

void begin_software_scene_blends(void)
{
	for (small_texture_blends &blends : small_texture_cache) blends.bitmap = NULL;
	small_texture_cache_live = TRUE;
	for (scene_texture &slot : scene_textures) slot.found = FALSE;
	scene_textures_live = TRUE;
}

void end_software_scene_blends(void)
{
	small_texture_cache_live = FALSE;
	scene_textures_live = FALSE;
}

static inline boolean is_small_texture(const bitmap_data *bitmap)
{
	return bitmap->width == 1 << bitmap->width_bits && bitmap->height == 1 << bitmap->height_bits &&
		bitmap->width * bitmap->height <= maximum_small_texels;
}

static void rasterize_textured_triangle(bitmap_data *destination, render_surface *surface, boolean model)
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
	// Without a row table the pixels are stored run-length: nothing to sample.
	if (flags & _no_row_address_table_flag) return;
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
		const int64 a1 = (static_cast<int64>(static_cast<uint16>(setup.middle->interpolants[k])) << 16) - base[k];
		const int64 a2 = (static_cast<int64>(static_cast<uint16>(setup.bottom->interpolants[k])) << 16) - base[k];
		gradient[k][0] = texture_gradient(a1 * (p2.y - p0.y) - a2 * (p1.y - p0.y), setup.area2);
		gradient[k][1] = texture_gradient(a2 * (p1.x - p0.x) - a1 * (p2.x - p0.x), setup.area2);
	}
	const int32 width_shift = 32 - bitmap->width_bits, height_shift = 32 - bitmap->height_bits;
	const int32 column_mask = bitmap->width - 1, row_mask = bitmap->height - 1;
	if (wide && !texture.table) return; // 16-bit texels are only ever blended
	const uint32 *shading = texture.shading;
	const uint8 *table = texture.table;
	const uint8 *level_table = table ? table + texture.level * 1024 : NULL;
	const boolean normal = table && table == get_transparency_table(0) && is_normal_transparency_table(table);
	const uint32 transparency = surface->transparency;
	uint8 *const *rows = bitmap->row_addresses;
	prefetch_small_triangle(destination, p0, p1, p2);
#if defined(__SSE2__)
	if (wide && normal && is_small_texture(bitmap))
	{
		const uint32 floor = transparency >> 12;
		alignas(16) small_texel_blend local[maximum_small_texels];
		const small_texel_blend *texels = local;
		if (small_texture_cache_live)
		{
			small_texture_blends &cached = small_texture_cache[floor];
			if (cached.bitmap != bitmap || cached.rows != rows || cached.shading != shading)
			{
				fill_small_texture_blends(cached.texels, bitmap, shading, floor);
				cached.bitmap = bitmap;
				cached.rows = rows;
				cached.shading = shading;
			}
			texels = cached.texels;
		}
		else
		{
			fill_small_texture_blends(local, bitmap, shading, floor);
		}
		// Only the low 32 bits of u and v reach a texel.
		const uint32 du32 = static_cast<uint32>(gradient[0][0]), dv32 = static_cast<uint32>(gradient[1][0]);
		const __m128i u_lanes = _mm_setr_epi32(0, static_cast<int32>(du32), static_cast<int32>(2 * du32), static_cast<int32>(3 * du32));
		const __m128i v_lanes = _mm_setr_epi32(0, static_cast<int32>(dv32), static_cast<int32>(2 * dv32), static_cast<int32>(3 * dv32));
		const __m128i du4 = _mm_set1_epi32(static_cast<int32>(4 * du32)), dv4 = _mm_set1_epi32(static_cast<int32>(4 * dv32));
		// Shifts of 32 leave 0, as the 64-bit ones do.
		const __m128i column_shift = _mm_cvtsi32_si128(width_shift), row_shift = _mm_cvtsi32_si128(height_shift);
		const __m128i index_shift = _mm_cvtsi32_si128(bitmap->width_bits);
		const __m128i columns4 = _mm_set1_epi32(column_mask), rows4 = _mm_set1_epi32(row_mask);
		const __m128i zero = _mm_setzero_si128(), fifteenth = _mm_set1_epi16(4370);
		const __m128i opaque = _mm_set1_epi32(static_cast<int32>(0xFF000000u));
		const int32 width_bits = bitmap->width_bits;
		// The rows as walk_triangle_rows gives them, u and v kept modulo 2^32
		// from the screen's origin: u = u0 + du * x + du_y * y, as the 64-bit
		// sums' low halves are.
		const uint32 du_y = static_cast<uint32>(gradient[0][1]), dv_y = static_cast<uint32>(gradient[1][1]);
		const uint32 u_origin = static_cast<uint32>(base[0]) - du32 * static_cast<uint32>(p0.x) - du_y * static_cast<uint32>(p0.y);
		const uint32 v_origin = static_cast<uint32>(base[1]) - dv32 * static_cast<uint32>(p0.x) - dv_y * static_cast<uint32>(p0.y);
		triangle_edge long_edge = make_edge(p0, p2), short_edge = make_edge(p0, p1);
		const boolean short_on_left = setup.area2 < 0;
		boolean turned = FALSE;
		const int32 height = destination->height, width = destination->width;
		uint32 u_row = u_origin + du_y * static_cast<uint32>(p0.y), v_row = v_origin + dv_y * static_cast<uint32>(p0.y);
		for (int32 y = p0.y; y < p2.y; ++y, u_row += du_y, v_row += dv_y, long_edge.x += long_edge.step, short_edge.x += short_edge.step)
		{
			if (y == p1.y && !turned)
			{
				short_edge = make_edge(p1, p2);
				turned = TRUE;
			}
			if (y >= height) break;
			if (y < 0) continue;
			int32 x0 = (short_on_left ? short_edge.x : long_edge.x) >> 16;
			int32 x1 = (short_on_left ? long_edge.x : short_edge.x) >> 16;
			if (x0 < 0) x0 = 0;
			if (x1 > width) x1 = width;
			if (x0 >= x1) continue;
			uint32 *pixels = reinterpret_cast<uint32 *>(destination->row_addresses[y]);
			uint32 u = u_row + du32 * static_cast<uint32>(x0);
			uint32 v = v_row + dv32 * static_cast<uint32>(x0);
			int32 x = x0;
			if (x + 4 <= x1)
			{
				__m128i u4 = _mm_add_epi32(_mm_set1_epi32(static_cast<int32>(u)), u_lanes);
				__m128i v4 = _mm_add_epi32(_mm_set1_epi32(static_cast<int32>(v)), v_lanes);
				for (; x + 4 <= x1; x += 4, u += 4 * du32, v += 4 * dv32)
				{
					const __m128i index = _mm_or_si128(_mm_sll_epi32(_mm_and_si128(_mm_srl_epi32(v4, row_shift), rows4), index_shift),
						_mm_and_si128(_mm_srl_epi32(u4, column_shift), columns4));
					u4 = _mm_add_epi32(u4, du4);
					v4 = _mm_add_epi32(v4, dv4);
					const __m128i e0 = _mm_load_si128(reinterpret_cast<const __m128i *>(texels + _mm_cvtsi128_si32(index)));
					const __m128i e1 = _mm_load_si128(reinterpret_cast<const __m128i *>(texels + _mm_cvtsi128_si32(_mm_shuffle_epi32(index, 0x55))));
					const __m128i e2 = _mm_load_si128(reinterpret_cast<const __m128i *>(texels + _mm_cvtsi128_si32(_mm_shuffle_epi32(index, 0xAA))));
					const __m128i e3 = _mm_load_si128(reinterpret_cast<const __m128i *>(texels + _mm_cvtsi128_si32(_mm_shuffle_epi32(index, 0xFF))));
					const __m128i destination4 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(pixels + x));
					__m128i low = _mm_srli_epi16(_mm_unpacklo_epi8(destination4, zero), 3);
					__m128i high = _mm_srli_epi16(_mm_unpackhi_epi8(destination4, zero), 3);
					low = _mm_add_epi16(_mm_mullo_epi16(low, _mm_unpackhi_epi64(e0, e1)), _mm_unpacklo_epi64(e0, e1));
					high = _mm_add_epi16(_mm_mullo_epi16(high, _mm_unpackhi_epi64(e2, e3)), _mm_unpacklo_epi64(e2, e3));
					low = _mm_slli_epi16(_mm_mulhi_epu16(low, fifteenth), 3);
					high = _mm_slli_epi16(_mm_mulhi_epu16(high, fifteenth), 3);
					_mm_storeu_si128(reinterpret_cast<__m128i *>(pixels + x), _mm_or_si128(_mm_packus_epi16(low, high), opaque));
				}
			}
			for (; x < x1; ++x, u += du32, v += dv32)
			{
				const int32 column = static_cast<int32>(static_cast<uint64>(u) >> width_shift) & column_mask;
				const int32 row = static_cast<int32>(static_cast<uint64>(v) >> height_shift) & row_mask;
				const __m128i e = _mm_load_si128(reinterpret_cast<const __m128i *>(texels + ((row << width_bits) | column)));
				__m128i sum = _mm_srli_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int32>(pixels[x])), zero), 3);
				sum = _mm_add_epi16(_mm_mullo_epi16(sum, _mm_unpackhi_epi64(e, e)), e);
				sum = _mm_slli_epi16(_mm_mulhi_epu16(sum, fifteenth), 3);
				pixels[x] = static_cast<uint32>(_mm_cvtsi128_si32(_mm_packus_epi16(sum, sum))) | 0xFF000000u;
			}
		}
		return;
	}
#endif
	walk_triangle_rows(&setup, destination->height, destination->width, [&](int32 y, int32 x0, int32 x1) {
		uint32 *pixels = reinterpret_cast<uint32 *>(destination->row_addresses[y]);
		int64 u = base[0] + gradient[0][0] * (x0 - p0.x) + gradient[0][1] * (y - p0.y);
		int64 v = base[1] + gradient[1][0] * (x0 - p0.x) + gradient[1][1] * (y - p0.y);
		const int64 du = gradient[0][0], dv = gradient[1][0];
		// 64-bit shifts: a one-texel side (0 bits) shifts by 32.
		const auto column_of = [&](int64 value) {
			return static_cast<int32>(static_cast<uint64>(static_cast<uint32>(value)) >> width_shift) & column_mask;
		};
		const auto row_of = [&](int64 value) {
			return static_cast<int32>(static_cast<uint64>(static_cast<uint32>(value)) >> height_shift) & row_mask;
		};
		if (wide && normal)
		{
			// A 16-bit texel carries its own level in bits 8-11.
			int32 x = x0;
#if defined(__SSE2__)
			// Four pixels at a time: texel coordinates, levels and the blend
			// side by side, the texels and colours read one by one. Only
			// the low 32 bits of u and v reach a texel.
			if (x + 4 <= x1)
			{
				const uint32 u32 = static_cast<uint32>(u), v32 = static_cast<uint32>(v);
				const uint32 du32 = static_cast<uint32>(du), dv32 = static_cast<uint32>(dv);
				__m128i u4 = _mm_setr_epi32(static_cast<int32>(u32), static_cast<int32>(u32 + du32),
					static_cast<int32>(u32 + 2 * du32), static_cast<int32>(u32 + 3 * du32));
				__m128i v4 = _mm_setr_epi32(static_cast<int32>(v32), static_cast<int32>(v32 + dv32),
					static_cast<int32>(v32 + 2 * dv32), static_cast<int32>(v32 + 3 * dv32));
				const __m128i du4 = _mm_set1_epi32(static_cast<int32>(4 * du32)), dv4 = _mm_set1_epi32(static_cast<int32>(4 * dv32));
				// Shifts of 32 leave 0, as the 64-bit ones do.
				const __m128i column_shift = _mm_cvtsi32_si128(width_shift), row_shift = _mm_cvtsi32_si128(height_shift);
				const __m128i columns4 = _mm_set1_epi32(column_mask), rows4 = _mm_set1_epi32(row_mask);
				const __m128i low_half = _mm_set1_epi32(0xFFFF), floor = _mm_set1_epi32(static_cast<int32>(transparency));
				const __m128i zero = _mm_setzero_si128(), fifteen = _mm_set1_epi16(15), seven = _mm_set1_epi16(7);
				const __m128i fifteenth = _mm_set1_epi16(4370), opaque = _mm_set1_epi32(static_cast<int32>(0xFF000000u));
				alignas(16) int32 columns[4], texel_rows[4];
				alignas(16) uint32 texels[4], sources[4];
				for (; x + 4 <= x1; x += 4, u += 4 * du, v += 4 * dv)
				{
					_mm_store_si128(reinterpret_cast<__m128i *>(columns), _mm_and_si128(_mm_srl_epi32(u4, column_shift), columns4));
					_mm_store_si128(reinterpret_cast<__m128i *>(texel_rows), _mm_and_si128(_mm_srl_epi32(v4, row_shift), rows4));
					u4 = _mm_add_epi32(u4, du4);
					v4 = _mm_add_epi32(v4, dv4);
#pragma GCC unroll 4
					for (int32 k = 0; k < 4; ++k)
					{
						const uint32 texel = reinterpret_cast<const uint16 *>(rows[texel_rows[k]])[columns[k]];
						texels[k] = texel;
						sources[k] = shading[texel & 255];
					}
					// max(texel << 4 in 16 bits, transparency) >> 12, each lane below 2^16.
					const __m128i own = _mm_and_si128(_mm_slli_epi32(_mm_load_si128(reinterpret_cast<const __m128i *>(texels)), 4), low_half);
					const __m128i level = _mm_srli_epi32(_mm_add_epi16(_mm_subs_epu16(own, floor), floor), 12);
					const __m128i paired = _mm_or_si128(level, _mm_slli_epi32(level, 16));
					const __m128i level_low = _mm_unpacklo_epi32(paired, paired), level_high = _mm_unpackhi_epi32(paired, paired);
					const __m128i source = _mm_load_si128(reinterpret_cast<const __m128i *>(sources));
					const __m128i destination = _mm_loadu_si128(reinterpret_cast<const __m128i *>(pixels + x));
					__m128i low = _mm_add_epi16(
						_mm_mullo_epi16(_mm_srli_epi16(_mm_unpacklo_epi8(destination, zero), 3), level_low),
						_mm_mullo_epi16(_mm_srli_epi16(_mm_unpacklo_epi8(source, zero), 3), _mm_sub_epi16(fifteen, level_low)));
					__m128i high = _mm_add_epi16(
						_mm_mullo_epi16(_mm_srli_epi16(_mm_unpackhi_epi8(destination, zero), 3), level_high),
						_mm_mullo_epi16(_mm_srli_epi16(_mm_unpackhi_epi8(source, zero), 3), _mm_sub_epi16(fifteen, level_high)));
					low = _mm_slli_epi16(_mm_mulhi_epu16(_mm_add_epi16(low, seven), fifteenth), 3);
					high = _mm_slli_epi16(_mm_mulhi_epu16(_mm_add_epi16(high, seven), fifteenth), 3);
					_mm_storeu_si128(reinterpret_cast<__m128i *>(pixels + x), _mm_or_si128(_mm_packus_epi16(low, high), opaque));
				}
			}
#endif
			for (; x < x1; ++x, u += du, v += dv)
			{
				const uint32 texel = reinterpret_cast<const uint16 *>(rows[row_of(v)])[column_of(u)];
				const uint32 level = std::max<uint32>(static_cast<uint16>(texel << 4), transparency) >> 12;
				pixels[x] = blend_normal_pixel_32bit(pixels[x], shading[texel & 255], static_cast<int32>(level));
			}
		}
		else if (wide)
		{
			for (int32 x = x0; x < x1; ++x, u += du, v += dv)
			{
				const uint32 texel = reinterpret_cast<const uint16 *>(rows[row_of(v)])[column_of(u)];
				const uint32 level = std::max<uint32>(static_cast<uint16>(texel << 4), transparency) >> 12;
				pixels[x] = blend_pixel_at(table + level * 1024, pixels[x], shading[texel & 255]);
			}
		}
		else if (level_table && normal)
		{
			for (int32 x = x0; x < x1; ++x, u += du, v += dv)
			{
				const uint32 texel = rows[row_of(v)][column_of(u)];
				if (texel) pixels[x] = blend_normal_pixel_32bit(pixels[x], shading[texel], texture.level);
			}
		}
		else if (level_table)
		{
			for (int32 x = x0; x < x1; ++x, u += du, v += dv)
			{
				const uint32 texel = rows[row_of(v)][column_of(u)];
				if (texel) pixels[x] = blend_pixel_at(level_table, pixels[x], shading[texel]);
			}
		}
		else
		{
			for (int32 x = x0; x < x1; ++x, u += du, v += dv)
			{
				const uint32 texel = rows[row_of(v)][column_of(u)];
				if (texel) pixels[x] = shading[texel];
			}
		}
	});
}

void rasterize_triangle_32bit(bitmap_data *destination, render_surface *surface)
{
	rasterize_textured_triangle(destination, surface, FALSE);
}

void rasterize_model_triangle_32bit(bitmap_data *destination, render_surface *surface)
{
	rasterize_textured_triangle(destination, surface, TRUE);
}

// A constant source blended over a run of pixels: the source's channels pick
// their table rows once, each pixel's destination channels the entries.
static inline void blend_run_by_table(const uint8 *t, uint32 *line, int32 x, int32 stop, uint32 source)
{
	const uint8 *const blue = t + ((source >> 3) & 31), *const green = t + ((source >> 11) & 31),
					   *const red = t + ((source >> 19) & 31);
	for (; x < stop; ++x)
	{
		const uint32 destination = line[x];
		line[x] = 0xFF000000u | (static_cast<uint32>(red[(destination >> 14) & 0x3E0]) << 19) |
			(static_cast<uint32>(green[(destination >> 6) & 0x3E0]) << 11) |
			(static_cast<uint32>(blue[(destination << 2) & 0x3E0]) << 3);
	}
}

// The normal transparency table holds, for level l, destination a and source
// b (five bits each), (l * a + (15 - l) * b + 7) / 15: whether a table is
// that one, checked once while the same table is in use.
static boolean is_normal_transparency_table(const uint8 *table)
{
	static const uint8 *checked = NULL;
	static boolean normal = FALSE;
	if (table == checked) return normal;
	normal = TRUE;
	for (int32 level = 0; level < 16 && normal; ++level)
	{
		for (int32 a = 0; a < 32; ++a)
		{
			for (int32 b = 0; b < 32; ++b)
			{
				if (table[(level << 10) | (a << 5) | b] != (level * a + (15 - level) * b + 7) / 15) normal = FALSE;
			}
		}
	}
	checked = table;
	return normal;
}

// A pixel's blend through the normal table's formula: per channel, its
// addend is (15 - level) * source + 7 in 16 bits (blue lowest), level the
// destination's weight. The sums stay below 473, where (x * 4370) >> 16 is
// x / 15.
static inline uint64 normal_blend_addend(int32 level, uint32 source)
{
	const uint64 weight = static_cast<uint64>(15 - level);
	return (weight * ((source >> 3) & 31) + 7) | ((weight * ((source >> 11) & 31) + 7) << 16) |
		((weight * ((source >> 19) & 31) + 7) << 32);
}

static inline uint64 normal_blend_level(int32 level)
{
	return static_cast<uint64>(level) * 0x0001000100010001ull;
}

#if !defined(__SSE2__)
static inline uint32 blend_normal_pixel(uint32 destination, uint64 addend, uint32 level)
{
	uint32 result = 0xFF000000u;
	for (int32 channel = 0; channel < 3; ++channel)
	{
		const uint32 sum = level * ((destination >> (8 * channel + 3)) & 31) +
			static_cast<uint32>((addend >> (16 * channel)) & 0xFFFF);
		result |= ((sum * 4370) >> 16) << (8 * channel + 3);
	}
	return result;
}
#endif

// line[x] for x in [x, stop) blended with the addends and levels kept for
// each screen column (or one level for all), four pixels at a time.
template <bool one_level>
static inline void blend_normal_columns(uint32 *line, int32 x, int32 stop, const uint64 *addends, const uint64 *levels,
	uint64 level)
{
#if defined(__SSE2__)
	const __m128i fifteenth = _mm_set1_epi16(4370);
	const __m128i opaque = _mm_set1_epi32(static_cast<int32>(0xFF000000u));
	const __m128i zero = _mm_setzero_si128();
	const __m128i levels4 = _mm_set1_epi16(static_cast<int16>(level & 0xFFFF));
	// Pointers stepped side by side: no index arithmetic per four pixels.
	uint32 *pixel = line + x;
	uint32 *const end = line + stop;
	const uint64 *addend = addends + x;
	const uint64 *pixel_level = one_level ? NULL : levels + x;
	for (int32 blocks = (stop - x) >> 2; blocks > 0; --blocks, pixel += 4, addend += 4)
	{
		const __m128i destination = _mm_loadu_si128(reinterpret_cast<const __m128i *>(pixel));
		__m128i low = _mm_srli_epi16(_mm_unpacklo_epi8(destination, zero), 3);
		__m128i high = _mm_srli_epi16(_mm_unpackhi_epi8(destination, zero), 3);
		const __m128i level_low = one_level ? levels4 : _mm_loadu_si128(reinterpret_cast<const __m128i *>(pixel_level));
		const __m128i level_high = one_level ? levels4 : _mm_loadu_si128(reinterpret_cast<const __m128i *>(pixel_level + 2));
		if (!one_level) pixel_level += 4;
		low = _mm_add_epi16(_mm_mullo_epi16(low, level_low), _mm_loadu_si128(reinterpret_cast<const __m128i *>(addend)));
		high = _mm_add_epi16(_mm_mullo_epi16(high, level_high), _mm_loadu_si128(reinterpret_cast<const __m128i *>(addend + 2)));
		low = _mm_slli_epi16(_mm_mulhi_epu16(low, fifteenth), 3);
		high = _mm_slli_epi16(_mm_mulhi_epu16(high, fifteenth), 3);
		_mm_storeu_si128(reinterpret_cast<__m128i *>(pixel), _mm_or_si128(_mm_packus_epi16(low, high), opaque));
	}
	// The last one to three pixels one at a time, each still in SSE2 lanes.
	for (; pixel < end; ++pixel, ++addend)
	{
		const __m128i level_lanes = one_level ? levels4 : _mm_loadl_epi64(reinterpret_cast<const __m128i *>(pixel_level++));
		__m128i sum = _mm_srli_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int32>(*pixel)), zero), 3);
		sum = _mm_add_epi16(_mm_mullo_epi16(sum, level_lanes), _mm_loadl_epi64(reinterpret_cast<const __m128i *>(addend)));
		sum = _mm_slli_epi16(_mm_mulhi_epu16(sum, fifteenth), 3);
		*pixel = static_cast<uint32>(_mm_cvtsi128_si32(_mm_packus_epi16(sum, sum))) | 0xFF000000u;
	}
#else
	for (; x < stop; ++x)
	{
		line[x] = blend_normal_pixel(line[x], addends[x], static_cast<uint32>((one_level ? level : levels[x]) & 0xFFFF));
	}
#endif
}

void blend_normal_pixels_32bit(uint32 *line, int32 x, int32 stop, const uint64 *addends, const uint64 *levels)
{
	blend_normal_columns<false>(line, x, stop, addends, levels, 0);
}

void blend_normal_pixels_one_level_32bit(uint32 *line, int32 x, int32 stop, const uint64 *addends, int32 level)
{
	blend_normal_columns<true>(line, x, stop, addends, NULL, static_cast<uint64>(level));
}

namespace {

// A sprite's blended pixels by screen column for the source row last drawn:
// magnified sprites draw each source row on several screen rows.
struct sprite_row_cache
{
	std::vector<uint64> addends, levels;
	std::vector<std::pair<int32, int32>> runs; // screen columns [first, stop)
};

sprite_row_cache sprite_rows;

}

// Sprites: row-span bitmaps scaled into the rectangle, mirrored as flagged.
// Source column c covers the screen columns x0 + ceil((c << 16) / step) up to
// that of c + 1: each texel is a run of pixels with one source colour.
void rasterize_rectangle_32bit(bitmap_data *destination, render_surface *surface)
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
	const boolean mirror_horizontal = (flags & _surface_mirror_horizontal_flag) != 0;
	// At least 1: a 16-bit screen width is below a bitmap's width << 16.
	const int64 x_step = (static_cast<int64>(bitmap->width) << 16) / (g.x1 - g.x0);
	const int64 y_step = (static_cast<int64>(bitmap->height) << 16) / (g.y1 - g.y0);
	const int32 y_first = std::max<int32>(g.y0, g.clip_top), y_last = std::min<int32>(g.y1, g.clip_bottom);
	if (y_first >= y_last) return;
	const int32 screen_width = destination->width;
	// Each source column's first screen column, clipped to the screen, walked
	// once for the sprite rather than divided out for every span of every row.
	enum { maximum_table_columns = 1024 };
	int32 column_table[maximum_table_columns + 1];
	const boolean tabled = bitmap->width <= maximum_table_columns && g.x1 - g.x0 <= 4 * maximum_table_columns;
	if (tabled)
	{
		int64 reached = 0; // q * step for the offset q below
		int32 offset = 0;
		for (int32 c = 0; c <= bitmap->width; ++c)
		{
			const int64 target = static_cast<int64>(c) << 16;
			while (reached < target) reached += x_step, ++offset;
			column_table[c] = std::min<int32>(std::max<int32>(g.x0 + offset, 0), screen_width);
		}
	}
	const auto column_x = [&](int32 c) {
		if (tabled) return column_table[c];
		const int32 x = g.x0 + static_cast<int32>(((static_cast<int64>(c) << 16) + x_step - 1) / x_step);
		return std::min<int32>(std::max<int32>(x, 0), screen_width);
	};
	const uint32 *shading = texture.shading;
	const uint8 *table = texture.table;
	const int32 level_bias = texture.level;
	const uint32 transparency = surface->transparency;
	const auto texel_level = [&](uint16 texel) {
		if (light_mask) return std::min<int32>(((texel >> 8) & 15) + level_bias, 15); // clamped to the table
		return static_cast<int32>(std::max<uint32>(static_cast<uint16>(texel << 4), transparency) >> 12);
	};
	// The normal table's blends go through the column cache; a row whose
	// spans are out of order (so might overlap) draws span by span.
	const boolean cached = table && table == get_transparency_table(0) && is_normal_transparency_table(table);
	sprite_row_cache &cache = sprite_rows;
	if (cached && cache.addends.size() < static_cast<size_t>(screen_width))
	{
		cache.addends.resize(screen_width);
		cache.levels.resize(screen_width);
	}
	int32 cached_row = NONE;
	boolean cached_row_in_order = FALSE;
	for (int32 y = y_first; y < y_last; ++y)
	{
		int32 source_row = static_cast<int32>(((y - g.y0) * y_step) >> 16);
		if (flags & _surface_mirror_vertical_flag) source_row = bitmap->height - 1 - source_row;
		if (source_row < 0 || source_row >= bitmap->height) continue;
		uint32 *line = reinterpret_cast<uint32 *>(destination->row_addresses[y]);
		if (cached && source_row == cached_row && cached_row_in_order)
		{
			for (const std::pair<int32, int32> &run : cache.runs)
			{
				if (wide) blend_normal_pixels_32bit(line, run.first, run.second, cache.addends.data(), cache.levels.data());
				else blend_normal_pixels_one_level_32bit(line, run.first, run.second, cache.addends.data(), level_bias);
			}
			continue;
		}
		const uint8 *row = bitmap->row_addresses[source_row];
		int16 span_count, pixel_count;
		memcpy(&span_count, row, 2);
		memcpy(&pixel_count, row + 2, 2);
		const uint8 *spans = row + ROW_SPAN_HEADER_SIZE;
		const uint8 *pixels = spans + 4 * span_count;
		// One pass keeps the row's runs in the cache, the next draws: the
		// first, when the runs are out of order, draws itself.
		const int32 passes = cached ? 2 : 1;
		for (int32 pass = 0; pass < passes; ++pass)
		{
			const boolean keep = cached && pass == 0;
			if (keep)
			{
				cache.runs.clear();
				cached_row = source_row;
				cached_row_in_order = TRUE;
			}
			else if (cached && cached_row_in_order)
			{
				for (const std::pair<int32, int32> &run : cache.runs)
				{
					if (wide) blend_normal_pixels_32bit(line, run.first, run.second, cache.addends.data(), cache.levels.data());
					else blend_normal_pixels_one_level_32bit(line, run.first, run.second, cache.addends.data(), level_bias);
				}
				break;
			}
			int32 pixel_index = 0;
			for (int32 i = 0; i < span_count; ++i)
			{
				encoded_span span;
				memcpy(&span, spans + 4 * i, sizeof(span));
				const int32 length = span.end - span.start;
				if (length <= 0 || span.start < 0 || span.end > bitmap->width || pixel_index + length > pixel_count) break;
				// The span's source columns in screen order, mirrored when flagged.
				const int32 start = mirror_horizontal ? bitmap->width - span.end : span.start;
				const int32 first_index = mirror_horizontal ? pixel_index + length - 1 : pixel_index;
				const int32 direction = mirror_horizontal ? -1 : 1;
				int32 x = column_x(start);
				const int32 span_stop = column_x(start + length);
				pixel_index += length;
				if (x >= span_stop) continue;
				if (keep)
				{
					// In order: right of every earlier run, or left of every one when mirrored.
					if (!cache.runs.empty() && (mirror_horizontal ? span_stop > cache.runs.back().first :
						x < cache.runs.back().second))
					{
						cached_row_in_order = FALSE;
						break;
					}
					cache.runs.emplace_back(x, span_stop);
				}
				for (int32 k = 0; k < length && x < screen_width; ++k)
				{
					const int32 stop = column_x(start + k + 1);
					if (x < stop)
					{
						const int32 index = first_index + direction * k;
						uint32 source;
						int32 level = level_bias;
						if (!wide)
						{
							source = shading[pixels[index]];
						}
						else
						{
							uint16 texel;
							memcpy(&texel, pixels + 2 * index, 2);
							level = texel_level(texel);
							source = shading[texel & 255];
						}
						if (keep)
						{
							std::fill(cache.addends.data() + x, cache.addends.data() + stop, normal_blend_addend(level, source));
							if (wide) std::fill(cache.levels.data() + x, cache.levels.data() + stop, normal_blend_level(level));
						}
						else if (!table) std::fill(line + x, line + stop, source);
						else blend_run_by_table(table + level * 1024, line, x, stop, source);
					}
					x = stop;
				}
			}
			if (keep && !cached_row_in_order) cache.runs.clear();
		}
	}
}

/* ---------- the reflection map */

uint8 *reflection_map = NULL;
uint32 *reflection_map_shading_table = NULL;

// The trigonometric entry of the negated angle.
static inline int32 reflection_trig_index(angle a)
{
	return static_cast<int32>(((32u - static_cast<uint32>(a)) & 0xFFFFu) >> TRIG_TABLE_ANGLE_BITS);
}

void rasterize_reflection_map_32bit(view_data *view, z_buffer_data *z_buffer)
{
	if (!view || !z_buffer || !z_buffer->rows || !reflection_map || !reflection_map_shading_table) return;
	bitmap_data *destination = view->screen;
	if (!destination_is_32bit(destination) || !sine_table || !cosine_table) return;
	const int32 yaw_index = reflection_trig_index(view->location.yaw);
	const int32 pitch_index = reflection_trig_index(view->location.pitch);
	const int32 sine_yaw = sine_table[yaw_index], cosine_yaw = cosine_table[yaw_index];
	const int32 sine_pitch = sine_table[pitch_index], cosine_pitch = cosine_table[pitch_index];
	const int32 focal = std::max<int32>(view->world_to_screen_x, 1);
	const int32 rows = std::min<int32>(z_buffer->height, z_buffer->y1 - z_buffer->y0);
	for (int32 row = 0; row < rows; ++row)
	{
		const int32 y = z_buffer->y0 + row;
		if (y < 0 || y >= destination->height) continue;
		uint32 *line = reinterpret_cast<uint32 *>(destination->row_addresses[y]);
		// The row's ray, tipped by the pitch: its height over the plane is the perspective divisor.
		const int32 dy = view->half_screen_height - y;
		const int32 forward = (focal * cosine_pitch - dy * sine_pitch) >> 14;
		const int32 z = std::max<int32>(std::abs((focal * sine_pitch + dy * cosine_pitch) >> 14), 1);
		int32 x_start = z_buffer->x0;
		int32 runs = 0;
		for (const z_buffer_node *node = z_buffer->rows[row]; node && runs < z_buffer->width;
			 node = node->next, ++runs)
		{
			const int32 x_end = std::min<int32>(node->x1, z_buffer->x1);
			if (node->type != _z_solid && x_end > x_start)
			{
				// Turned by the yaw, each column steps the plane point by (-sin, cos) over z.
				const int32 dx = x_start - view->half_screen_width;
				const int64 world_x = static_cast<int64>(forward) * cosine_yaw - static_cast<int64>(dx) * sine_yaw;
				const int64 world_y = static_cast<int64>(forward) * sine_yaw + static_cast<int64>(dx) * cosine_yaw;
				// Modulo 2^32: only the low bits reach the texel.
				uint32 u = static_cast<uint32>((world_x << 15) / z);
				uint32 v = static_cast<uint32>((world_y << 15) / z);
				const uint32 du = static_cast<uint32>((-static_cast<int64>(sine_yaw) << 15) / z);
				const uint32 dv = static_cast<uint32>((static_cast<int64>(cosine_yaw) << 15) / z);
				debug_printf("(x,y)==(#%d,#%d),z==#%d u==#%d,du==#%d v==#%d,dv==#%d", x_start, y, z,
					static_cast<int32>(u), static_cast<int32>(du), static_cast<int32>(v), static_cast<int32>(dv));
				for (int32 x = x_start; x < x_end; ++x, u += du, v += dv)
				{
					if (x < 0 || x >= destination->width) continue;
					const uint32 texel = ((v >> REFLECTION_MAP_INTERPOLANT_DOWNSHIFT) << REFLECTION_MAP_WIDTH_BITS) |
						(u >> REFLECTION_MAP_INTERPOLANT_DOWNSHIFT);
					line[x] = reflection_map_shading_table[reflection_map[texel]];
				}
			}
			x_start = std::max<int32>(x_start, node->x1);
		}
	}
}

const rasterization_procs procs_32bit = {rasterize_model_triangle_32bit, rasterize_mesh_triangle_32bit,
	rasterize_triangle_32bit, rasterize_rectangle_32bit, rasterize_filled_rectangle_32bit,
	rasterize_reflection_map_32bit};

/* ---------- the scene */

static void rasterize_scene_software(view_data *view, render_surface_list *surfaces)
{
	bitmap_data *destination = view->screen;
	if (!destination_is_32bit(destination)) return;
	// Past the map's edge no surface is drawn: cleared to black, the view
	// shows nothing of the frames before there.
	clear_bitmap_to_black(destination);
	begin_software_scene_blends();
	for (int32 state = _rasterize_state_media; state <= _rasterize_state_primary; ++state)
	{
		for (render_surface *surface = surfaces->last_surface; surface; surface = surface->previous_surface)
		{
			const uint16 flags = surface_flags(surface);
			if (flags & _surface_discarded_flag) continue;
			boolean chosen;
			switch (state)
			{
			case _rasterize_state_media: chosen = (flags & _surface_media_flag) != 0; break;
			case _rasterize_state_reflections: chosen = (flags & _surface_reflection_flag) != 0; break;
			default: chosen = !(flags & (_surface_media_flag | _surface_reflection_flag)); break;
			}
			if (!chosen) continue;
			switch (surface_subtype(surface))
			{
			case _surface_subtype_mesh_triangle: procs_32bit.rasterize_mesh_triangle(destination, surface); break;
			case _surface_subtype_model_triangle: procs_32bit.rasterize_model_triangle(destination, surface); break;
			case _surface_subtype_object_triangle: procs_32bit.rasterize_triangle(destination, surface); break;
			case _surface_subtype_object_rectangle: procs_32bit.rasterize_rectangle(destination, surface); break;
			case _surface_subtype_filled_rectangle:
				procs_32bit.rasterize_filled_rectangle(destination, surface);
				break;
			default: break; // text rectangles come after the scene
			}
		}
	}
	end_software_scene_blends();
}

void rasterize_text_rectangles(void *context, render_surface **rectangles, int32 count)
{
	view_data *view = static_cast<view_data *>(context);
	for (int32 i = 0; i < count; ++i)
	{
		render_text_rectangle *text = reinterpret_cast<render_text_rectangle *>(rectangles[i]);
		rectangle2d bounds;
		set_rectangle2d(&bounds, text->geometry.x0, text->geometry.y0, text->geometry.x1, text->geometry.y1);
		draw_string(view->screen, NULL, &bounds, NULL, text->font_index, text->style, &text->color, text->string,
			text->text_flags, text->surface.transparency);
	}
}

void rasterize_scene(view_data *view, render_surface_list *surfaces)
{
	if (!view || !surfaces || !view->screen) return;
	if (is_hardware_encoding(view->screen->encoding)) rasterize_scene_hardware(view, surfaces);
	else rasterize_scene_software(view, surfaces);
	rasterize_surface_category(view, _surface_category_text_rectangles, -1, FALSE, 0, rasterize_text_rectangles);
	if (view->flags & _render_view_omit_rasterization_effects_flag)
	{
		update_fps_only();
		return;
	}
	for (int32 i = 0; i < number_of_registered_post_effects; ++i) post_effects[i].function_pointer(view);
}
