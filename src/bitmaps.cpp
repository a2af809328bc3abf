#include "bitmaps.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "hardware/hardware_rasterizers.h"

static bitmaps_test_hooks_data bitmaps_hooks;

bitmaps_test_hooks_data *get_bitmaps_test_hooks(void)
{
	return &bitmaps_hooks;
}

void reset_bitmaps_test_hooks(void)
{
	clear_least_call_log(&bitmaps_hooks.calls);
	bitmaps_hooks.debug_trace_count = 0;
	bitmaps_hooks.last_debug_trace[0] = 0;
}

/* ---------- unaligned, byte-order-explicit access */

// Row-span rows of 8-bit pixels pack tightly, so headers may lie at odd addresses.
static inline int16 load_native_int16(const uint8 *p)
{
	int16 value;
	memcpy(&value, p, sizeof(value));
	return value;
}

static inline int16 load_big_endian_int16(const uint8 *p)
{
	return static_cast<int16>(static_cast<uint16>((p[0] << 8) | p[1]));
}

static inline void swap_2byte(uint8 *p, int32 count)
{
	for (int32 i = 0; i < count; ++i, p += 2)
	{
		const uint8 t = p[0];
		p[0] = p[1];
		p[1] = t;
	}
}

/* ---------- bitmaps */

static const int16 encoding_byte_depths[NUMBER_OF_BITMAP_ENCODINGS] = {2, 2, 4, 2, 1, 2, 2, 2, 4, 4, 0, 0, 0, 0, 0, 0};

int16 get_encoding_byte_depth(int16 encoding)
{
	if (encoding < 0 || encoding >= NUMBER_OF_BITMAP_ENCODINGS) return 0;
	return encoding_byte_depths[encoding];
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

int32 sizeof_bitmap(int32 height, int32 flags)
{
	// A height of 0 still gets the record's own row slot.
	const int32 rows = (flags & _no_row_address_table_flag) ? 1 : MAX(1, height);
	return BITMAP_HEADER_FIXED_SIZE + static_cast<int32>(sizeof(uint8 *)) * rows;
}

int32 sizeof_stored_bitmap(int32 height, int32 flags)
{
	if (flags & _no_row_address_table_flag) return STORED_BITMAP_HEADER_SIZE;
	return BITMAP_HEADER_FIXED_SIZE + 4 * MAX(0, height);
}

bitmap_data *new_bitmap(int32 width, int32 height, int32 bytes_per_row, int32 encoding, int32 flags)
{
	if (encoding < 0 || encoding >= NUMBER_OF_BITMAP_ENCODINGS) return NULL;
	if (width < 0 || height < 0 || bytes_per_row < 0) return NULL;
	if (width > INT16_MAX || height > INT16_MAX || bytes_per_row > INT16_MAX) return NULL;

	const int32 depth = get_encoding_byte_depth(static_cast<int16>(encoding));
	if (width * depth > bytes_per_row) return NULL;

	const int32 header_size = sizeof_bitmap(height, flags);
	// Empty row-span rows are 4 bytes each, so the row walk stays inside.
	const int32 row_bytes = (flags & _1bit_transparency_encoded_flag) ? MAX(bytes_per_row, ROW_SPAN_HEADER_SIZE) :
		bytes_per_row;
	const size_t size = static_cast<size_t>(header_size) + static_cast<size_t>(height) * static_cast<size_t>(row_bytes);
	// Zero-filled, pixels included, so snapshots of new bitmaps reproduce.
	bitmap_data *bitmap = static_cast<bitmap_data *>(new_pointer_z(size));
	if (!bitmap) return NULL;

	bitmap->width = static_cast<int16>(width);
	bitmap->height = static_cast<int16>(height);
	bitmap->bytes_per_row = static_cast<int16>(bytes_per_row);
	bitmap->logical_bit_depth = static_cast<int16>(8 * depth);
	bitmap->encoding = static_cast<int16>(encoding);
	bitmap->flags = static_cast<int16>(flags | _bitmap_extended_encoding_flag);
	bitmap->pixel_upshift = static_cast<int16>(depth >> 1);
	bitmap->row_addresses[0] = reinterpret_cast<uint8 *>(bitmap) + header_size;
	precalculate_bitmap_row_addresses(bitmap);
	postprocess_extracted_bitmap(bitmap);
	return bitmap;
}

void set_bitmap_encoding(bitmap_data *bitmap, int16 encoding)
{
	if (!bitmap) return;
	const int16 depth = get_encoding_byte_depth(encoding);
	bitmap->encoding = encoding;
	bitmap->logical_bit_depth = static_cast<int16>(depth * 8);
	bitmap->pixel_upshift = static_cast<int16>(depth >> 1);
}

int32 row_span_row_size(int32 span_count, int32 pixel_count, int16 pixel_upshift, int32 flags)
{
	int32 size = ROW_SPAN_HEADER_SIZE + 4 * span_count + (pixel_count << pixel_upshift);
	if (flags & _word_aligned_encoding_flag) size = (size + 1) & ~1;
	return size;
}

void precalculate_bitmap_row_addresses(bitmap_data *bitmap)
{
	if (!bitmap || (bitmap->flags & _no_row_address_table_flag)) return;

	uint8 *address = bitmap->row_addresses[0];
	for (int32 row = 0; row < bitmap->height; ++row)
	{
		bitmap->row_addresses[row] = address;
		if (bitmap->flags & _1bit_transparency_encoded_flag)
		{
			address += row_span_row_size(load_native_int16(address), load_native_int16(address + 2),
				bitmap->pixel_upshift, bitmap->flags);
		}
		else
		{
			address += bitmap->bytes_per_row;
		}
	}
}

int32 next_highest_power_of_two(int32 x)
{
	int32 result = 1;
	while (result < x && result < (1 << 30)) result <<= 1;
	return result;
}

int16 find_first_one(int32 k)
{
	int16 halvings = 0;
	while (k > 1)
	{
		k >>= 1;
		halvings += 1;
	}
	return halvings;
}

static boolean is_power_of_two(int32 x)
{
	return x > 0 && (x & (x - 1)) == 0;
}

void postprocess_extracted_bitmap(bitmap_data *bitmap)
{
	if (!bitmap) return;

	bitmap->flags = static_cast<int16>(bitmap->flags & ~(_bitmap_obsolete_flags | _bitmap_postprocessed_flags));

	if (!(bitmap->flags & _1bit_transparency_encoded_flag) && is_power_of_two(bitmap->width) &&
		is_power_of_two(bitmap->height))
	{
		bitmap->flags = static_cast<int16>(bitmap->flags | _power_of_two_flag);
		bitmap->width_bits = find_first_one(bitmap->width);
		bitmap->height_bits = find_first_one(bitmap->height);
	}
	else
	{
		bitmap->width_bits = bitmap->height_bits = 0;
	}

	if (!(bitmap->flags & _bitmap_extended_encoding_flag)) bitmap->encoding = _16bit_555_encoding;

	int32 hardware_width = next_highest_power_of_two(bitmap->width);
	int32 hardware_height = next_highest_power_of_two(bitmap->height);
	if (rasterizer_requires_square_textures()) hardware_width = hardware_height = MAX(hardware_width, hardware_height);
	bitmap->hardware_width = static_cast<int16>(hardware_width);
	bitmap->hardware_height = static_cast<int16>(hardware_height);
	bitmap->hardware_width_bits = find_first_one(hardware_width);
	bitmap->hardware_height_bits = find_first_one(hardware_height);

	bitmap->hardware_format = 0;
	for (int16 &address : bitmap->shaded_hardware_addresses) address = 0;
}

void byte_swap_bitmap(bitmap_data *bitmap)
{
	byte_swap_data("bitmap data", bitmap, STORED_BITMAP_HEADER_SIZE, 1, bitmap_data_byte_swapping_data);
}

static boolean is_run_length_bitmap(const bitmap_data *bitmap)
{
	return (bitmap->flags & _bitmap_extended_encoding_flag) && bitmap->encoding == _16bit_565_encoding &&
		!(bitmap->flags & _1bit_transparency_encoded_flag);
}

// Converts in either direction: the counts are read from the native side.
static void swap_bitmap_pixels(bitmap_data *bitmap, boolean to_native)
{
	if (!bitmap || is_run_length_bitmap(bitmap)) return;

	uint8 *row = bitmap->row_addresses[0];
	if (bitmap->flags & _1bit_transparency_encoded_flag)
	{
		for (int32 y = 0; y < bitmap->height; ++y)
		{
			if (to_native) swap_2byte(row, 2);
			const int16 span_count = load_native_int16(row);
			const int16 pixel_count = load_native_int16(row + 2);
			if (!to_native) swap_2byte(row, 2);

			swap_2byte(row + ROW_SPAN_HEADER_SIZE, 2 * span_count);
			if (bitmap->logical_bit_depth == _16bit)
				swap_2byte(row + ROW_SPAN_HEADER_SIZE + 4 * span_count, pixel_count);
			row += row_span_row_size(span_count, pixel_count, bitmap->pixel_upshift, bitmap->flags);
		}
	}
	else if (bitmap->logical_bit_depth == _16bit)
	{
		for (int32 y = 0; y < bitmap->height; ++y, row += bitmap->bytes_per_row) swap_2byte(row, bitmap->width);
	}
}

void byte_swap_bitmap_pixels(bitmap_data *bitmap)
{
	swap_bitmap_pixels(bitmap, TRUE);
}

void byte_swap_bitmap_pixels_out(bitmap_data *bitmap)
{
	swap_bitmap_pixels(bitmap, FALSE);
}

static boolean bitmap_fault(char *fault, int32 fault_size, const char *format, ...) ATTRIBUTE_PRINTF(3, 4);

static boolean bitmap_fault(char *fault, int32 fault_size, const char *format, ...)
{
	if (fault && fault_size > 0)
	{
		va_list arguments;
		va_start(arguments, format);
		vsnprintf(fault, static_cast<size_t>(fault_size), format, arguments);
		va_end(arguments);
	}
	return FALSE;
}

boolean check_stored_bitmap(const bitmap_data *bitmap, const void *pixels, int32 pixel_bytes, char *fault,
	int32 fault_size)
{
	if (fault && fault_size > 0) fault[0] = 0;
	if (!bitmap) return bitmap_fault(fault, fault_size, "header");
	if (bitmap->width < 0) return bitmap_fault(fault, fault_size, "width (%d)", bitmap->width);
	if (bitmap->height < 0) return bitmap_fault(fault, fault_size, "height (%d)", bitmap->height);
	if (pixel_bytes < 0) return bitmap_fault(fault, fault_size, "size (%d)", pixel_bytes);

	const int16 depth = bitmap->logical_bit_depth;
	if ((depth != _8bit && depth != _16bit && depth != _32bit) ||
		bitmap->pixel_upshift != get_pixel_upshift_for_bit_depth(depth))
		return bitmap_fault(fault, fault_size, "bit depth (%d)", depth);

	if (bitmap->flags & _bitmap_extended_encoding_flag)
	{
		const int16 encoding = bitmap->encoding;
		if (encoding < 0 || encoding > _32bit_argb_8888_texture_encoding ||
			get_encoding_byte_depth(encoding) * 8 != depth)
			return bitmap_fault(fault, fault_size, "encoding (%d)", encoding);
		// The run-length stream is walked with the decoder's own walker, so the decoder can trust it.
		if (is_run_length_bitmap(bitmap))
		{
			if (!check_run_length_stream(static_cast<const uint8 *>(pixels), pixel_bytes,
					static_cast<int32>(bitmap->width) * bitmap->height))
				return bitmap_fault(fault, fault_size, "run-length stream");
			return TRUE;
		}
	}

	const uint8 *p = static_cast<const uint8 *>(pixels);
	const int32 width = bitmap->width, upshift = bitmap->pixel_upshift;
	if (bitmap->flags & _1bit_transparency_encoded_flag)
	{
		if (bitmap->flags & _no_row_address_table_flag)
			return bitmap_fault(fault, fault_size, "row table flags (%d)", bitmap->flags);

		int64 offset = 0;
		for (int32 y = 0; y < bitmap->height; ++y)
		{
			if (offset + ROW_SPAN_HEADER_SIZE > pixel_bytes) return bitmap_fault(fault, fault_size, "row %d", y);
			const int32 span_count = load_big_endian_int16(p + offset);
			const int32 pixel_count = load_big_endian_int16(p + offset + 2);
			if (span_count < 0 || pixel_count < 0 || pixel_count > width)
				return bitmap_fault(fault, fault_size, "counts of row %d", y);
			const int32 row_size = row_span_row_size(span_count, pixel_count, bitmap->pixel_upshift, bitmap->flags);
			if (offset + row_size > pixel_bytes) return bitmap_fault(fault, fault_size, "row %d", y);

			int32 previous_end = 0, sum = 0;
			for (int32 s = 0; s < span_count; ++s)
			{
				const int32 start = load_big_endian_int16(p + offset + ROW_SPAN_HEADER_SIZE + 4 * s);
				const int32 end = load_big_endian_int16(p + offset + ROW_SPAN_HEADER_SIZE + 4 * s + 2);
				if (start < previous_end || end < start || end > width)
					return bitmap_fault(fault, fault_size, "spans of row %d", y);
				sum += end - start;
				previous_end = end;
			}
			if (sum != pixel_count) return bitmap_fault(fault, fault_size, "pixel count of row %d", y);
			offset += row_size;
		}
	}
	else
	{
		const int32 row_bytes = bitmap->bytes_per_row;
		if (row_bytes < (width << upshift) || (row_bytes & ((1 << upshift) - 1)) != 0)
			return bitmap_fault(fault, fault_size, "bytes per row (%d)", row_bytes);
		if (bitmap->height > 0 &&
			static_cast<int64>(bitmap->height - 1) * row_bytes + (width << upshift) > pixel_bytes)
			return bitmap_fault(fault, fault_size, "rows (%d)", bitmap->height);
	}
	return TRUE;
}

void map_bytes(uint8 *buffer, const uint8 *table, int32 size)
{
	if (!buffer || !table) return;
	for (int32 i = 0; i < size; ++i) buffer[i] = table[buffer[i]];
}

static void debug_trace(const char *text)
{
	bitmaps_hooks.debug_trace_count += 1;
	snprintf(bitmaps_hooks.last_debug_trace, sizeof(bitmaps_hooks.last_debug_trace), "%s", text);
	debug_printf("%s", text);
}

void remap_bitmap(bitmap_data *bitmap, const color_table *source_colors, const color_table *destination_colors)
{
	if (!bitmap || !source_colors || !destination_colors) return;

	uint8 map[PIXEL8_MAXIMUM_COLORS];
	// Indexes the source table does not hold keep their value.
	for (int32 i = 0; i < PIXEL8_MAXIMUM_COLORS; ++i) map[i] = static_cast<uint8>(i);
	const int32 count = color_table_usable_count(source_colors);
	for (int32 i = 1; i < count; ++i)
	{
		const int16 index = closest_color_in_color_table(destination_colors, &source_colors->colors[i]);
		map[i] = static_cast<uint8>(index == NONE ? 255 : index);
	}

	if ((bitmap->flags & _bitmap_undrawable_flags) || bitmap->logical_bit_depth != _8bit)
	{
		char text[64];
		snprintf(text, sizeof(text), "remap_bitmap(%p, ...) failed", static_cast<void *>(bitmap));
		debug_trace(text);
		return;
	}

	uint8 *row = bitmap->row_addresses[0];
	for (int32 y = 0; y < bitmap->height; ++y, row += bitmap->bytes_per_row) map_bytes(row, map, bitmap->width);
}

/* ---------- decompression */

static inline uint16 load_uint16(const uint8 *p)
{
	uint16 value;
	memcpy(&value, p, sizeof(value));
	return value;
}

static inline void store_uint16(uint8 *p, uint16 value)
{
	memcpy(p, &value, sizeof(value));
}

static uint32 load_source_pixel(const uint8 *p, int16 upshift)
{
	switch (upshift)
	{
	case 0: return p[0];
	case 1: return load_uint16(p);
	default:
	{
		uint32 value;
		memcpy(&value, p, sizeof(value));
		return value;
	}
	}
}

// The 8- or 88-bit value of one source pixel.
static uint16 decompressed_pixel(const color_table *colors, const bitmap_data *bitmap, uint32 pixel)
{
	const uint16 index = static_cast<uint16>(pixel & 0xFF);
	uint16 alpha;
	if (bitmap->flags & _4bit_transparency_encoded_flag)
	{
		const uint16 level = static_cast<uint16>((pixel >> ENCODED_TRANSPARENCY_BIT_OFFSET) & TRANSPARENCY_MASK);
		alpha = static_cast<uint16>((15 - level) * 17);
	}
	else if ((bitmap->flags & _bitmap_is_overlay_flag) && colors)
	{
		const rgb_color *color = &colors->colors[index];
		alpha = static_cast<uint16>(MAX(color->red, MAX(color->green, color->blue)) >> 8);
	}
	else
	{
		alpha = index ? 255 : 0;
	}
	return static_cast<uint16>(index | (alpha << 8));
}

void decompress_bitmap(const color_table *colors, const bitmap_data *bitmap, void *buffer, int32 width, int32 height,
	int32 bytes_per_row, int16 mode, boolean postprocess)
{
	if (!bitmap || !buffer || width < 0 || height < 0 || bytes_per_row < 0) return;
	if (mode != _decompress_bitmap_8 && mode != _decompress_bitmap_88) return;

	const int32 pixel_size = mode == _decompress_bitmap_88 ? 2 : 1;
	// The buffer may be narrower than the bitmap: write only what it holds.
	const int32 picture_width = MIN(width, bytes_per_row / pixel_size);
	const int32 columns = MIN(static_cast<int32>(bitmap->width), picture_width);
	uint8 *out_row = static_cast<uint8 *>(buffer);
	const int16 upshift = bitmap->pixel_upshift;

	for (int32 y = 0; y < height; ++y, out_row += bytes_per_row)
	{
		memset(out_row, 0, static_cast<size_t>(bytes_per_row));
		if (y >= bitmap->height) continue;

		auto put = [&](int32 x, uint32 pixel)
		{
			if (x < 0 || x >= columns) return;
			const uint16 value = decompressed_pixel(colors, bitmap, pixel);
			if (pixel_size == 1) out_row[x] = static_cast<uint8>(value);
			else store_uint16(out_row + 2 * x, value);
		};

		if (bitmap->flags & _1bit_transparency_encoded_flag)
		{
			const uint8 *row = bitmap->row_addresses[y];
			const int32 span_count = load_native_int16(row);
			const uint8 *source = row + ROW_SPAN_HEADER_SIZE + 4 * span_count;
			for (int32 s = 0; s < span_count; ++s)
			{
				const int32 start = load_native_int16(row + ROW_SPAN_HEADER_SIZE + 4 * s);
				const int32 end = load_native_int16(row + ROW_SPAN_HEADER_SIZE + 4 * s + 2);
				for (int32 x = start; x < end; ++x, source += 1 << upshift) put(x, load_source_pixel(source, upshift));
			}
		}
		else
		{
			const uint8 *row = (bitmap->flags & _no_row_address_table_flag) ?
				bitmap->row_addresses[0] + static_cast<int32>(y) * bitmap->bytes_per_row : bitmap->row_addresses[y];
			for (int32 x = 0; x < columns; ++x) put(x, load_source_pixel(row + (x << upshift), upshift));
		}
	}

	if (postprocess && mode == _decompress_bitmap_88 && picture_width > 0)
	{
		uint8 *base = static_cast<uint8 *>(buffer);
		auto at = [&](int32 x, int32 y) { return base + static_cast<int64>(y) * bytes_per_row + 2 * x; };
		for (int32 pass = 0; pass < POSTPROCESS_PASSES; ++pass)
		{
			for (int32 y = 0; y < height; ++y)
			{
				for (int32 x = 0; x < picture_width; ++x)
				{
					if (load_uint16(at(x, y)) != 0) continue;
					// Right, below, left, above, wrapping round the edges.
					const int32 xs[4] = {(x + 1) % picture_width, x, (x + picture_width - 1) % picture_width, x};
					const int32 ys[4] = {y, (y + 1) % height, y, (y + height - 1) % height};
					for (int32 n = 0; n < 4; ++n)
					{
						const uint16 neighbour = load_uint16(at(xs[n], ys[n]));
						if (neighbour)
						{
							store_uint16(at(x, y), static_cast<uint16>(neighbour & 0xFF));
							break;
						}
					}
				}
			}
		}
	}
}

/* ---------- colours */

rgb_color *set_rgb_color(rgb_color *color, uint16 red_component, uint16 green_component, uint16 blue_component)
{
	color->red = red_component;
	color->green = green_component;
	color->blue = blue_component;
	color->flags = 0;
	return color;
}

hsv_color *set_hsv_color(hsv_color *color, uint16 hue, uint16 saturation, uint16 value)
{
	color->hue = hue;
	color->saturation = saturation;
	color->value = value;
	color->flags = 0;
	return color;
}

int32 sizeof_color_table(int32 count)
{
	return static_cast<int32>(sizeof(color_table) - sizeof(rgb_color) * MAXIMUM_COLOR_TABLE_COLORS) +
		static_cast<int32>(sizeof(rgb_color)) * count;
}

int32 color_table_usable_count(const color_table *colors)
{
	if (!colors) return 0;
	return PIN(colors->color_count, 0, MAXIMUM_COLOR_TABLE_COLORS);
}

void byte_swap_color_table(color_table *colors)
{
	byte_swap_data("color table", colors, sizeof(color_table), 1, color_table_byte_swapping_data);
}

int16 closest_color_in_color_table(const color_table *colors, const rgb_color *color)
{
	const int32 count = color_table_usable_count(colors);
	int16 best = NONE;
	int64 best_distance = 0;
	for (int32 i = 0; i < count; ++i)
	{
		const rgb_color *entry = &colors->colors[i];
		const int32 dr = (static_cast<int32>(color->red) - entry->red) >> 4;
		const int32 dg = (static_cast<int32>(color->green) - entry->green) >> 4;
		const int32 db = (static_cast<int32>(color->blue) - entry->blue) >> 4;
		const int64 distance = 2 * static_cast<int64>(dr) * dr + 5 * static_cast<int64>(dg) * dg +
			static_cast<int64>(db) * db;
		if (best == NONE || distance < best_distance)
		{
			best = static_cast<int16>(i);
			best_distance = distance;
		}
	}
	return best;
}

uint32 rgb_color_to_pixel(const rgb_color *color, int16 encoding, fixed_fraction transparency)
{
	const uint32 r = color->red, g = color->green, b = color->blue;
	const uint32 pixel32 = ((r << 8) & 0xFF0000) | (g & 0xFF00) | (b >> 8);
	switch (encoding)
	{
	case _16bit_555_encoding: return ((r >> 1) & 0x7C00) | ((g >> 6) & 0x03E0) | (b >> 11);
	case _16bit_565_encoding: return (r & 0xF800) | ((g >> 5) & 0x07E0) | (b >> 11);
	case _32bit_encoding: return pixel32;
	case _8bit_encoding: return r & 0xFF;
	case _3dfx_frame_buffer_encoding:
	case _direct3d_frame_buffer_encoding:
	case _rave_frame_buffer_encoding:
	case _opengl_frame_buffer_encoding:
	case _dx11_frame_buffer_encoding:
		return pixel32 | (static_cast<uint32>(255 - (transparency >> 8)) << 24);
	default: return pixel32;
	}
}

// Truncates toward zero and keeps the low 16 bits (a hue of 65536 wraps to 0).
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

/* ---------- rectangles and points */

rectangle2d *set_rectangle2d(rectangle2d *rectangle, int16 left, int16 top, int16 right, int16 bottom)
{
	rectangle->left = left;
	rectangle->top = top;
	rectangle->right = right;
	rectangle->bottom = bottom;
	return rectangle;
}

point2d *set_point2d(point2d *point, int16 x, int16 y)
{
	point->x = x;
	point->y = y;
	return point;
}

point2d *offset_point2d(point2d *point, int16 dx, int16 dy)
{
	point->x = static_cast<int16>(point->x + dx);
	point->y = static_cast<int16>(point->y + dy);
	return point;
}

int16 rectangle2d_width(const rectangle2d *rectangle)
{
	return static_cast<int16>(rectangle->right - rectangle->left);
}

int16 rectangle2d_height(const rectangle2d *rectangle)
{
	return static_cast<int16>(rectangle->bottom - rectangle->top);
}

rectangle2d *inset_rectangle2d(rectangle2d *rectangle, int16 dx, int16 dy)
{
	rectangle->left = static_cast<int16>(rectangle->left + dx);
	rectangle->right = static_cast<int16>(rectangle->right - dx);
	rectangle->top = static_cast<int16>(rectangle->top + dy);
	rectangle->bottom = static_cast<int16>(rectangle->bottom - dy);
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

rectangle2d *scale_rectangle2d(const rectangle2d *bounds, const rectangle2d *source, rectangle2d *destination,
	short_fixed scale)
{
	const int64 bounds_width = rectangle2d_width(bounds), bounds_height = rectangle2d_height(bounds);
	const int64 width = rectangle2d_width(source), height = rectangle2d_height(source);
	int64 fitted_width = 0, fitted_height = 0;

	// An empty source has no proportions: it fits as nothing.
	if (width > 0 && height > 0)
	{
		if (bounds_height * width > bounds_width * height)
		{
			fitted_width = bounds_width;
			fitted_height = bounds_width * height / width;
		}
		else
		{
			fitted_width = bounds_height * width / height;
			fitted_height = bounds_height;
		}
	}
	fitted_width = (fitted_width * scale) >> 8;
	fitted_height = (fitted_height * scale) >> 8;

	destination->left = static_cast<int16>(bounds->left + (bounds_width - fitted_width) / 2);
	destination->top = static_cast<int16>(bounds->top + (bounds_height - fitted_height) / 2);
	destination->right = static_cast<int16>(destination->left + fitted_width);
	destination->bottom = static_cast<int16>(destination->top + fitted_height);
	return destination;
}

boolean union_rectangles2d(const rectangle2d *r1, const rectangle2d *r2, rectangle2d *intersection)
{
	const int16 left = MAX(r1->left, r2->left), right = MIN(r1->right, r2->right);
	const int16 top = MAX(r1->top, r2->top), bottom = MIN(r1->bottom, r2->bottom);
	if (left < right && top < bottom)
	{
		set_rectangle2d(intersection, left, top, right, bottom);
		return TRUE;
	}
	set_rectangle2d(intersection, 0, 0, 0, 0);
	return FALSE;
}

boolean point2d_in_rectangle2d(const rectangle2d *rectangle, const point2d *point)
{
	return point->x >= rectangle->left && point->x < rectangle->right && point->y >= rectangle->top &&
		point->y < rectangle->bottom;
}

boolean interior_rectangle2d(const rectangle2d *outer, const rectangle2d *inner)
{
	return inner->left >= outer->left && inner->right <= outer->right && inner->top >= outer->top &&
		inner->bottom <= outer->bottom;
}

boolean equal_rectangle2d(const rectangle2d *r1, const rectangle2d *r2)
{
	return r1->top == r2->top && r1->left == r2->left && r1->bottom == r2->bottom && r1->right == r2->right;
}

boolean equal_point2d(const point2d *p1, const point2d *p2)
{
	return p1->x == p2->x && p1->y == p2->y;
}
