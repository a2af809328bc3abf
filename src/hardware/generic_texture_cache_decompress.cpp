// The texture decoder: one collection bitmap, seen through one shading table,
// into the pixels of a hardware texture. Each combination of encoder, source
// reader and alpha source is its own loop.
#include "hardware/generic_texture_cache.h"

#include <new>
#include <stdexcept>

#include "bitmap_drawing.h"
#include "bitmaps.h"
#include "memory.h"
#include "shading_tables.h"
#include "shapes.h"

namespace {

/* ---------- alpha of one source pixel */

struct pixel_alpha
{
	uint32 a8; // 0..255
	uint32 opaque; // the 1555 alpha bit, 0 or 0x8000
	uint32 nibble; // the 4444 alpha nibble in place
};

// Rows and spans need not be aligned: every multi-byte read goes through memcpy.
template <typename type>
inline type load_unaligned(const void *p)
{
	type v;
	memcpy(&v, p, sizeof(v));
	return v;
}

struct decompress_opaque
{
	typedef uint8 source_type;
	static inline uint32 index(source_type p) { return p; }
	static inline pixel_alpha alpha(source_type p)
	{
		return p ? pixel_alpha{255, 0x8000, 0xF000} : pixel_alpha{0, 0, 0};
	}
};

struct decompress_masked
{
	typedef uint16 source_type;
	static inline uint32 index(source_type p) { return p & 0xFF; }
	static inline pixel_alpha alpha(source_type p)
	{
		uint32 t = (p >> ENCODED_TRANSPARENCY_BIT_OFFSET) & 15;
		return pixel_alpha{(15 - t) * 17, t <= 7 ? 0x8000u : 0u, (15 - t) << 12};
	}
};

struct overlay_none
{
	template <typename reader>
	inline pixel_alpha alpha(typename reader::source_type p) const { return reader::alpha(p); }
};

// Alpha from the brightest channel of the colour table's entry.
struct overlay_maxrgb
{
	const rgb_color *colors;

	template <typename reader>
	inline pixel_alpha alpha(typename reader::source_type p) const
	{
		const rgb_color &c = colors[reader::index(p)];
		uint32 m = c.red > c.green ? c.red : c.green;
		if (c.blue > m) m = c.blue;
		return pixel_alpha{m >> 8, m & 0x8000, m & 0xF000};
	}
};

/* ---------- encoders */

struct encode_32bit_argb_8888
{
	typedef uint32 dest_type;
	static constexpr bool premultiplied = false;
	static constexpr uint32 alpha_mask = 0xFF000000;
	const uint32 *s;
	inline dest_type operator()(uint32 i, pixel_alpha a) const { return (a.a8 << 24) | s[i]; }
	inline dest_type color(uint32 i) const { return s[i] & 0x00FFFFFF; }
};

struct encode_16bit_argb_1555
{
	typedef uint16 dest_type;
	static constexpr bool premultiplied = false;
	static constexpr uint32 alpha_mask = 0x8000;
	const uint16 *s;
	inline dest_type operator()(uint32 i, pixel_alpha a) const { return static_cast<uint16>(s[i] | a.opaque); }
	inline dest_type color(uint32 i) const { return static_cast<uint16>(s[i] & 0x7FFF); }
};

struct encode_16bit_argb_4444
{
	typedef uint16 dest_type;
	static constexpr bool premultiplied = false;
	static constexpr uint32 alpha_mask = 0xF000;
	const uint16 *s;
	static inline uint32 reduce(uint32 v) { return ((v >> 3) & 0xF00) | ((v >> 2) & 0xF0) | ((v >> 1) & 0xF); }
	inline dest_type operator()(uint32 i, pixel_alpha a) const { return static_cast<uint16>(reduce(s[i]) | a.nibble); }
	inline dest_type color(uint32 i) const { return static_cast<uint16>(reduce(s[i])); }
};

struct encode_32bit_argb_8888_premultiply_alpha
{
	typedef uint32 dest_type;
	static constexpr bool premultiplied = true;
	static constexpr uint32 alpha_mask = 0xFF000000;
	const uint32 *s;
	inline dest_type operator()(uint32 i, pixel_alpha a) const
	{
		uint32 v = s[i], f = a.a8 + 1;
		return ((((v & 0xFF00) * f) >> 8) & 0xFF00) | ((((v & 0xFF00FF) * f) >> 8) & 0xFF00FF) | (a.a8 << 24);
	}
	inline dest_type color(uint32) const { return 0; }
};

struct encode_16bit_argb_1555_premultiply_alpha
{
	typedef uint16 dest_type;
	static constexpr bool premultiplied = true;
	static constexpr uint32 alpha_mask = 0x8000;
	const uint16 *s;
	inline dest_type operator()(uint32 i, pixel_alpha a) const
	{
		return a.opaque ? static_cast<uint16>(s[i] | 0x8000) : static_cast<uint16>(0);
	}
	inline dest_type color(uint32) const { return 0; }
};

struct encode_16bit_argb_4444_premultiply_alpha
{
	typedef uint16 dest_type;
	static constexpr bool premultiplied = true;
	static constexpr uint32 alpha_mask = 0xF000;
	const uint16 *s;
	inline dest_type operator()(uint32 i, pixel_alpha a) const
	{
		uint32 v = s[i], f = (a.nibble >> 12) + 1;
		uint32 r = (((v >> 10) & 31) * f) >> 5, g = (((v >> 5) & 31) * f) >> 5, b = ((v & 31) * f) >> 5;
		return static_cast<uint16>((r << 8) | (g << 4) | b | a.nibble);
	}
	inline dest_type color(uint32) const { return 0; }
};

template <typename dest_type>
inline dest_type *dest_row_at(void *dest, int32 stride, int32 y)
{
	return reinterpret_cast<dest_type *>(static_cast<uint8 *>(dest) + static_cast<int64>(stride) * y);
}

template <typename dest_type>
void dilate(int32 width, int32 height, void *dest, int32 stride, uint32 mask)
{
	static const int8 neighbours[8][2] = {{-1, -1}, {0, -1}, {1, -1}, {-1, 0}, {1, 0}, {-1, 1}, {0, 1}, {1, 1}};
	for (int32 y = 0; y < height; ++y)
	{
		dest_type *row = dest_row_at<dest_type>(dest, stride, y);
		for (int32 x = 0; x < width; ++x)
		{
			if (row[x] & mask) continue;
			for (const int8 *n : neighbours)
			{
				int32 nx = x + n[0], ny = y + n[1];
				if (nx < 0 || ny < 0 || nx >= width || ny >= height) continue;
				dest_type v = dest_row_at<dest_type>(dest, stride, ny)[nx];
				if (v & mask)
				{
					row[x] = static_cast<dest_type>(v & ~mask);
					break;
				}
			}
		}
	}
}

} // namespace

void dilate_nonpremultiplied_colors(int32 width, int32 height, void *dest_row, int32 dest_stride, uint32 alpha_mask)
{
	if (!dest_row || width < 1 || height < 1) return;
	if (alpha_mask & 0xFFFF0000) dilate<uint32>(width, height, dest_row, dest_stride, alpha_mask);
	else dilate<uint16>(width, height, dest_row, dest_stride, alpha_mask);
}

template <typename encoder, typename reader, typename overlay>
static void decompress_and_copy_pixels_template(const bitmap_data *bitmap, const color_table *, void *dest_row,
	int32 dest_stride, boolean border, encoder encode, reader, overlay alpha_source)
{
	typedef typename encoder::dest_type dest_type;
	typedef typename reader::source_type source_type;
	const int32 width = bitmap->width, height = bitmap->height;
	const int32 b = border ? 1 : 0;
	const int32 w = width + 2 * b, h = height + 2 * b;

	if (border)
	{
		memset(dest_row_at<dest_type>(dest_row, dest_stride, 0), 0, sizeof(dest_type) * w);
		memset(dest_row_at<dest_type>(dest_row, dest_stride, h - 1), 0, sizeof(dest_type) * w);
	}

	if (!(bitmap->flags & _1bit_transparency_encoded_flag))
	{
		const bool no_table = (bitmap->flags & _no_row_address_table_flag) != 0;
		for (int32 y = 0; y < height; ++y)
		{
			const uint8 *source =
				no_table ? bitmap->row_addresses[0] + static_cast<int64>(bitmap->bytes_per_row) * y : bitmap->row_addresses[y];
			dest_type *dest = dest_row_at<dest_type>(dest_row, dest_stride, y + b);
			if (border) *dest++ = 0;
			for (int32 x = 0; x < width; ++x)
			{
				source_type p = load_unaligned<source_type>(source + x * sizeof(source_type));
				dest[x] = encode(reader::index(p), alpha_source.template alpha<reader>(p));
			}
			if (border) dest[width] = 0;
		}
		if (!encoder::premultiplied) dilate<dest_type>(w, h, dest_row, dest_stride, encoder::alpha_mask);
		return;
	}

	for (int32 y = 0; y < height; ++y)
	{
		const uint8 *row = bitmap->row_addresses[y];
		int32 span_count = load_unaligned<int16>(row);
		const uint8 *spans = row + ROW_SPAN_HEADER_SIZE;
		const uint8 *pixels = row + ROW_SPAN_HEADER_SIZE + 4 * span_count;
		dest_type *dest = dest_row_at<dest_type>(dest_row, dest_stride, y + b);

		int32 cursor = 0, previous_end = 0;
		bool any = false;
		dest_type last_color = 0;
		for (int32 s = 0; s < span_count; ++s)
		{
			const int32 stored_start = load_unaligned<int16>(spans + 4 * s);
			int32 start = stored_start, end = load_unaligned<int16>(spans + 4 * s + 2);
			const uint8 *span_pixels = pixels;
			if (end > start) pixels += (end - start) * static_cast<int32>(sizeof(source_type));
			// Spans are clamped to the row and to the previous span's end.
			if (start < previous_end) start = previous_end;
			if (end > width) end = width;
			if (end <= start) continue;
			span_pixels += (start - stored_start) * static_cast<int32>(sizeof(source_type));
			auto pixel_at = [&](int32 i) { return load_unaligned<source_type>(span_pixels + i * sizeof(source_type)); };

			const int32 first = start + b;
			dest_type first_color = encode.color(reader::index(pixel_at(0)));
			for (int32 x = cursor; x < first; ++x)
			{
				dest[x] = encoder::premultiplied ? 0 : (any && x == cursor) ? last_color : first_color;
			}
			for (int32 x = start; x < end; ++x)
			{
				source_type p = pixel_at(x - start);
				dest[x + b] = encode(reader::index(p), alpha_source.template alpha<reader>(p));
			}
			last_color = encode.color(reader::index(pixel_at(end - start - 1)));
			cursor = end + b;
			previous_end = end;
			any = true;
		}
		for (int32 x = cursor; x < w; ++x) dest[x] = (any && !encoder::premultiplied) ? last_color : 0;
	}
}

template <typename encoder, typename decompressor>
static void decompress_with_overlay(const bitmap_data *bitmap, const color_table *colors, void *dest_row,
	int32 dest_stride, boolean border, encoder encode, decompressor decompress, bool overlay)
{
	if (overlay)
		decompress_and_copy_pixels_template(bitmap, colors, dest_row, dest_stride, border, encode, decompress,
			overlay_maxrgb{colors->colors});
	else
		decompress_and_copy_pixels_template(bitmap, colors, dest_row, dest_stride, border, encode, decompress, overlay_none());
}

template <typename encoder>
static void decompress_with_encoder(const bitmap_data *bitmap, const color_table *colors, void *dest_row,
	int32 dest_stride, boolean border, encoder encode)
{
	const bool masked = (bitmap->flags & _4bit_transparency_encoded_flag) != 0;
	const bool overlay = (bitmap->flags & _bitmap_is_overlay_flag) && colors;
	if (masked)
		decompress_with_overlay(bitmap, colors, dest_row, dest_stride, border, encode, decompress_masked(), overlay);
	else
		decompress_with_overlay(bitmap, colors, dest_row, dest_stride, border, encode, decompress_opaque(), overlay);
}

// One encoding's plain or premultiplied encoder over its shading table.
template <typename plain, typename premultiplied, typename table_entry>
static void decompress_with_encoding(const bitmap_data *bitmap, const color_table *colors, void *dest_row,
	int32 dest_stride, boolean border, boolean premultiply_alpha, const table_entry *table)
{
	if (premultiply_alpha)
		decompress_with_encoder(bitmap, colors, dest_row, dest_stride, border, premultiplied{table});
	else
		decompress_with_encoder(bitmap, colors, dest_row, dest_stride, border, plain{table});
}

void decompress_and_copy_pixels(const bitmap_data *bitmap, const color_table *color_table, void *dest_row,
	int16 dest_encoding, int32 dest_stride, const void *shading_table, boolean premultiply_alpha, boolean border)
{
	if (!bitmap || !dest_row || !shading_table || bitmap->width < 1 || bitmap->height < 1) return;
	const uint32 *s32 = static_cast<const uint32 *>(shading_table);
	const uint16 *s16 = static_cast<const uint16 *>(shading_table);
	switch (dest_encoding)
	{
	case _16bit_xrgb_1555_texture_encoding:
	case _16bit_argb_1555_texture_encoding:
		decompress_with_encoding<encode_16bit_argb_1555, encode_16bit_argb_1555_premultiply_alpha>(bitmap, color_table,
			dest_row, dest_stride, border, premultiply_alpha, s16);
		break;
	case _16bit_argb_4444_texture_encoding:
		decompress_with_encoding<encode_16bit_argb_4444, encode_16bit_argb_4444_premultiply_alpha>(bitmap, color_table,
			dest_row, dest_stride, border, premultiply_alpha, s16);
		break;
	case _32bit_xrgb_8888_texture_encoding:
	case _32bit_argb_8888_texture_encoding:
		decompress_with_encoding<encode_32bit_argb_8888, encode_32bit_argb_8888_premultiply_alpha>(bitmap, color_table,
			dest_row, dest_stride, border, premultiply_alpha, s32);
		break;
	default:
		break;
	}
}

/* ---------- true-colour run-length streams */

namespace {

// Walks a stream; emit(r, g, b, alpha_bits, hue) for a coloured pixel, clear(count) for transparent ones.
// Returns the pixels produced; reads never pass size.
template <typename emit_proc, typename clear_proc>
int32 walk_run_length_stream(const uint8 *stream, int64 size, int32 pixel_count, emit_proc emit, clear_proc clear)
{
	int64 position = 0;
	int32 produced = 0;
	uint32 previous = 0;
	while (produced < pixel_count)
	{
		// Run state.
		if (position + 1 > size) break;
		int32 count = stream[position++];
		if ((previous & 31) == 31)
		{
			for (int32 i = 0; i < count && produced < pixel_count; ++i)
			{
				if (position + 3 > size) return produced;
				emit(stream[position], stream[position + 1], stream[position + 2], 31u, previous >> 5);
				position += 3;
				produced += 1;
			}
		}
		else
		{
			if (count > pixel_count - produced) count = pixel_count - produced;
			clear(count);
			produced += count;
		}
		// Literal state.
		while (produced < pixel_count)
		{
			if (position + 1 > size) return produced;
			uint32 header = stream[position++];
			uint32 a = header & 31;
			if (a == 0)
			{
				clear(1);
			}
			else
			{
				if (position + 3 > size) return produced;
				emit(stream[position], stream[position + 1], stream[position + 2], a, header >> 5);
				position += 3;
			}
			produced += 1;
			if (a == 0 || a == 31)
			{
				previous = header;
				break;
			}
		}
	}
	return produced;
}

} // namespace

boolean check_run_length_stream(const uint8 *stream, int32 size, int32 pixel_count)
{
	if (pixel_count <= 0) return TRUE;
	if (!stream || size <= 0) return FALSE;
	int32 produced = walk_run_length_stream(stream, size, pixel_count, [](uint32, uint32, uint32, uint32, uint32) {},
		[](int32) {});
	return produced >= pixel_count;
}

void decompress_run_length_pixels(const bitmap_data *bitmap, const shading_table_header *shading_header, uint8 *dest,
	int32 dest_stride)
{
	if (!bitmap || !dest || bitmap->width < 1 || bitmap->height < 1) return;
	const int32 width = bitmap->width;
	const int32 count = width * bitmap->height;
	int32 x = 0, y = 0;
	auto advance = [&]()
	{
		if (++x == width)
		{
			x = 0;
			y += 1;
		}
	};
	auto emit = [&](uint32 r, uint32 g, uint32 b, uint32 a, uint32 hue)
	{
		if (hue > 0 && shading_header && static_cast<int32>(hue) <= shading_header->hue_change_count &&
			hue <= MAXIMUM_SHADING_TABLE_HUE_CHANGES)
		{
			const shading_table_hue_change_data &change = shading_header->hue_change_data[hue - 1];
			rgb_color rgb = {static_cast<uint16>(r << 8), static_cast<uint16>(g << 8), static_cast<uint16>(b << 8), 0};
			hsv_color hsv;
			rgb_color_to_hsv_color(&rgb, &hsv);
			const hsv_color &replacement = change.replacement_color;
			hsv.hue = (replacement.flags & 1) ? static_cast<uint16>(replacement.hue + (change.median_hue - hsv.hue))
											  : static_cast<uint16>(replacement.hue + (hsv.hue - change.median_hue));
			hsv.saturation = static_cast<uint16>((static_cast<uint32>(replacement.saturation) * hsv.saturation) >> 16);
			hsv.value = static_cast<uint16>((static_cast<uint32>(replacement.value) * hsv.value) >> 16);
			hsv_color_to_rgb_color(&hsv, &rgb);
			r = rgb.red >> 8;
			g = rgb.green >> 8;
			b = rgb.blue >> 8;
		}
		uint8 *p = dest + static_cast<int64>(dest_stride) * y + x * 4;
		p[0] = static_cast<uint8>(b);
		p[1] = static_cast<uint8>(g);
		p[2] = static_cast<uint8>(r);
		p[3] = static_cast<uint8>((a * 1053) >> 7);
		advance();
	};
	auto clear = [&](int32 n)
	{
		for (int32 i = 0; i < n; ++i)
		{
			memset(dest + static_cast<int64>(dest_stride) * y + x * 4, 0, 4);
			advance();
		}
	};
	// Checked at collection load: the stream holds every pixel.
	walk_run_length_stream(bitmap->row_addresses[0], INT64_MAX, count, emit, clear);
}

/* ---------- the cache's conversion */

static size_t scratch_limit_for_tests = 0;

void set_texture_cache_scratch_limit_for_tests(size_t bytes)
{
	scratch_limit_for_tests = bytes;
}

// A failed growth is a texture that cannot be had, not an exception through the lookup.
boolean cache::grow_scratch(size_t bytes)
{
	try
	{
		if (scratch_limit_for_tests && bytes > scratch_limit_for_tests && bytes > conversion_scratch.capacity())
		{
			throw std::bad_alloc();
		}
		conversion_scratch.resize(bytes);
	}
	catch (const std::bad_alloc &)
	{
		return FALSE;
	}
	catch (const std::length_error &)
	{
		return FALSE;
	}
	return TRUE;
}

boolean cache::build_item_bitmap(cache_value *value, const cached_texture_descriptor *descriptor)
{
	cached_texture_data *texture = &value->texture;
	bitmap_data *bitmap = descriptor->bitmap;
	texture->bitmap = bitmap;
	texture->shading_header = descriptor->shading_header;
	texture->mipmap_count = 1;
	if (!bitmap || bitmap->width < 1 || bitmap->height < 1) return FALSE;
	const int32 width = bitmap->width, height = bitmap->height;

	// Untinted: a plain 32-bit copy of whatever the bitmap holds.
	if (!descriptor->shading_table)
	{
		const size_t bytes = static_cast<size_t>(width) * 4 * height;
		if (!grow_scratch(bytes)) return FALSE;
		memset(conversion_scratch.data(), 0, bytes);
		alignas(bitmap_data) uint8 storage[sizeof(bitmap_data)] = {};
		bitmap_data *temporary = reinterpret_cast<bitmap_data *>(storage);
		temporary->width = static_cast<int16>(width);
		temporary->height = static_cast<int16>(height);
		temporary->bytes_per_row = static_cast<int16>(width * 4);
		temporary->flags = _no_row_address_table_flag;
		temporary->logical_bit_depth = _32bit;
		temporary->pixel_upshift = 2;
		temporary->encoding = _32bit_encoding;
		temporary->row_addresses[0] = conversion_scratch.data();
		point2d origin = {0, 0};
		copy_bitmap(temporary, &origin, bitmap, nullptr, nullptr, 0, nullptr);
		texture->adjusted_width = texture->hardware_width = static_cast<uint16>(width);
		texture->adjusted_height = texture->hardware_height = static_cast<uint16>(height);
		texture->flags = static_cast<uint16>(descriptor->usage_flags);
		texture->encoding = _32bit_xrgb_8888_texture_encoding;
		texture->pixels = conversion_scratch.data();
		return TRUE;
	}

	if (bitmap->flags & _power_of_two_flag) bitmap->flags &= static_cast<int16>(~_bitmap_is_overlay_flag);

	const bool run_length = (bitmap->flags & _bitmap_extended_encoding_flag) && bitmap->encoding == 1 &&
		!(bitmap->flags & _1bit_transparency_encoded_flag);
	int16 encoding;
	if (run_length) encoding = _32bit_argb_8888_texture_encoding;
	else if (bitmap->flags & (_bitmap_color_key_transparency_flag | _1bit_transparency_encoded_flag |
		_4bit_transparency_encoded_flag | _bitmap_is_overlay_flag))
	{
		encoding = _32bit_textures ? _32bit_argb_8888_texture_encoding
			: (bitmap->flags & (_4bit_transparency_encoded_flag | _bitmap_is_overlay_flag)) ? _16bit_argb_4444_texture_encoding
			: _16bit_argb_1555_texture_encoding;
	}
	else encoding = _32bit_textures ? _32bit_xrgb_8888_texture_encoding : _16bit_xrgb_1555_texture_encoding;

	const boolean border = (descriptor->usage_flags & _texture_border_flag) != 0;
	const int32 w = width + (border ? 2 : 0), h = height + (border ? 2 : 0);
	texture->adjusted_width = texture->hardware_width = static_cast<uint16>(w);
	texture->adjusted_height = texture->hardware_height = static_cast<uint16>(h);
	if (!npo2_textures)
	{
		texture->hardware_width = static_cast<uint16>(next_highest_power_of_two(w));
		texture->hardware_height = static_cast<uint16>(next_highest_power_of_two(h));
	}
	if (descriptor->usage_flags & _texture_mipmaps_flag)
	{
		int32 larger = texture->hardware_width > texture->hardware_height ? texture->hardware_width : texture->hardware_height;
		texture->mipmap_count = static_cast<uint8>(1 + find_first_one(larger));
	}
	texture->flags = static_cast<uint16>(descriptor->usage_flags);
	texture->encoding = static_cast<int8>(encoding);
	const int32 stride = w * get_encoding_byte_depth(encoding);
	const size_t bytes = static_cast<size_t>(h) * stride + 4;
	if (!grow_scratch(bytes)) return FALSE;

	if (run_length)
	{
		// Laid out like palette bitmaps: inside a cleared border when there is one.
		memset(conversion_scratch.data(), 0, bytes);
		uint8 *first = conversion_scratch.data() + (border ? stride + 4 : 0);
		decompress_run_length_pixels(bitmap, descriptor->shading_header, first, stride);
	}
	else
	{
		const color_table *colors = (bitmap->flags & _bitmap_in_collection_flag)
			? get_color_table(bitmap->collection_index, 0) : nullptr;
		decompress_and_copy_pixels(bitmap, colors, conversion_scratch.data(), encoding, stride, descriptor->shading_table,
			(descriptor->usage_flags & _texture_premultiply_flag) != 0, border);
	}
	texture->pixels = conversion_scratch.data();
	return TRUE;
}
