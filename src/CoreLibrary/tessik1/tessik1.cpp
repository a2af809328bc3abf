// The detail-texture codec. Streams are 32-bit little-endian words read from
// their most significant bit. Every read is bounded by the stored length.
#include "tessik1/tessik1.h"

#include <bit>
#include <utility>

#include "memory.h"
#include "x_files.h"

/* ---------- helpers */

static inline int32 unzig(uint32 z)
{
	return static_cast<int32>(z >> 1) ^ -static_cast<int32>(z & 1);
}

static inline uint8 zig(int32 value)
{
	int32 s = static_cast<int8>(static_cast<uint8>(value));
	return static_cast<uint8>(s >= 0 ? 2 * s : -2 * s - 1);
}

static inline int32 predict(int32 l, int32 u, int32 c)
{
	int32 lo = l < u ? l : u;
	int32 hi = l < u ? u : l;

	if (c >= hi) return (hi + 7 * lo) >> 3;
	if (c <= lo) return (lo + 7 * hi) >> 3;
	return l + u - c;
}

static inline int32 blocks_for(int32 side)
{
	return (side + TESSIK1_BLOCK_SIZE - 1) / TESSIK1_BLOCK_SIZE;
}

/* ---------- bit reader */

namespace {

struct bit_reader
{
	const uint8 *data;
	int32 length;
	int32 position; // next byte to load
	uint64 buffer; // valid bits left-aligned
	int32 count;
	int64 consumed;
	// Whole words only: a word's bytes are stored low byte first but read from
	// bit 31 down, so the missing bytes of a short last word would be the first
	// bits read.
	int64 available;

	void start(const uint8 *bytes, int32 size)
	{
		data = bytes;
		length = size;
		position = 0;
		buffer = 0;
		count = 0;
		consumed = 0;
		available = static_cast<int64>(size) / 4 * 32;
	}

	inline void refill()
	{
		while (count <= 32)
		{
			uint32 word = 0;
			if (position + 4 <= length)
			{
				word = static_cast<uint32>(data[position]) | (static_cast<uint32>(data[position + 1]) << 8) |
					(static_cast<uint32>(data[position + 2]) << 16) | (static_cast<uint32>(data[position + 3]) << 24);
				position += 4;
			}
			buffer |= static_cast<uint64>(word) << (32 - count);
			count += 32;
		}
	}

	// n at most 24.
	inline uint32 read(int32 n)
	{
		if (n == 0) return 0;
		refill();
		uint32 value = static_cast<uint32>(buffer >> (64 - n));
		buffer <<= n;
		count -= n;
		consumed += n;
		return value;
	}

	// The number of 1 bits before the next 0, modulo 256. The zero padding
	// after the data ends every run.
	inline uint32 read_unary()
	{
		uint32 q = 0;
		for (;;)
		{
			refill();
			int32 ones = std::countl_zero(~buffer);
			if (ones < count)
			{
				q += static_cast<uint32>(ones);
				// Two steps: ones + 1 may be 64.
				buffer <<= ones;
				buffer <<= 1;
				count -= ones + 1;
				consumed += ones + 1;
				return q & 0xFF;
			}
			q += static_cast<uint32>(count);
			consumed += count;
			buffer = 0;
			count = 0;
			if (consumed > available) return 0;
		}
	}

	bool overrun() const { return consumed > available; }
};

} // namespace

/* ---------- decoding */

boolean tessik1_decode(uint8 **pixels24, int32 *width, int32 *height, const void *compressed_data,
	int32 compressed_len)
{
	*pixels24 = nullptr;
	*width = 0;
	*height = 0;
	if (!compressed_data || compressed_len <= 0) return FALSE;

	bit_reader reader;
	reader.start(static_cast<const uint8 *>(compressed_data), compressed_len);
	int32 w = static_cast<int32>(reader.read(12));
	int32 h = static_cast<int32>(reader.read(12));
	int32 mode = static_cast<int32>(reader.read(2));
	if (w == 0 || h == 0 || mode >= TESSIK1_NUMBER_OF_MODES) return FALSE;

	int32 blocks_wide = blocks_for(w), blocks_high = blocks_for(h);
	int32 block_count = blocks_wide * blocks_high;
	// The parameters alone must fit in the data before anything is allocated.
	if (TESSIK1_HEADER_BITS + 9 * static_cast<int64>(block_count) > reader.available) return FALSE;

	uint8 *parameters = static_cast<uint8 *>(new_pointer(static_cast<size_t>(block_count) * 3));
	if (!parameters) return FALSE;
	for (int32 i = 0; i < block_count * 3; ++i) parameters[i] = static_cast<uint8>(reader.read(3));

	uint8 *pixels = static_cast<uint8 *>(new_pointer(static_cast<size_t>(w) * h * 3));
	if (!pixels)
	{
		dispose_pointer(parameters);
		return FALSE;
	}

	bool failed = false;
	int32 row_bytes = w * 3;
	for (int32 y = 0; y < h && !failed; ++y)
	{
		int32 b = y == 0 ? 0 : mode;
		int32 o1 = (b + 2) % 3, o2 = (b + 1) % 3;
		const uint8 *row_parameters = parameters + (y / TESSIK1_BLOCK_SIZE) * blocks_wide * 3;
		uint8 *p = pixels + y * row_bytes;

		for (int32 x = 0; x < w; ++x, p += 3)
		{
			const uint8 *k = row_parameters + (x / TESSIK1_BLOCK_SIZE) * 3;
			uint32 z[3];
			for (int32 s = 0; s < 3; ++s)
			{
				if (k[s] == 7)
				{
					z[s] = 0;
				}
				else
				{
					uint32 q = reader.read_unary();
					z[s] = ((q << k[s]) | reader.read(k[s])) & 0xFF;
				}
			}

			if (x == 0 && y == 0)
			{
				p[0] = static_cast<uint8>(z[0]);
				p[1] = static_cast<uint8>(z[1]);
				p[2] = static_cast<uint8>(z[2]);
			}
			else if (y == 0 || x == 0)
			{
				const uint8 *n = y == 0 ? p - 3 : p - row_bytes;
				int32 base = n[b] - unzig(z[0]);
				p[b] = static_cast<uint8>(base);
				p[o1] = static_cast<uint8>(base - (n[b] - n[o1]) + unzig(z[1]));
				p[o2] = static_cast<uint8>(base - (n[b] - n[o2]) + unzig(z[2]));
			}
			else
			{
				const uint8 *l = p - 3, *u = p - row_bytes, *c = u - 3;
				int32 base = predict(l[b], u[b], c[b]) - unzig(z[0]);
				p[b] = static_cast<uint8>(base);
				p[o1] = static_cast<uint8>(base -
					(predict(l[b] - l[o1], u[b] - u[o1], c[b] - c[o1]) & 0xFF) + unzig(z[1]));
				p[o2] = static_cast<uint8>(base -
					(predict(l[b] - l[o2], u[b] - u[o2], c[b] - c[o2]) & 0xFF) + unzig(z[2]));
			}
		}
		failed = reader.overrun();
	}

	dispose_pointer(parameters);
	if (failed)
	{
		dispose_pointer(pixels);
		return FALSE;
	}
	*pixels24 = pixels;
	*width = w;
	*height = h;
	return TRUE;
}

int32 tessik1_decode_stream_to_buffer(uint8 **pixels24, int32 *width, int32 *height, file_reference *stream)
{
	*pixels24 = nullptr;
	*width = 0;
	*height = 0;

	uint8 length_bytes[4];
	if (!file_read(stream, 4, length_bytes)) return 0;
	int32 length = static_cast<int32>(static_cast<uint32>(length_bytes[0]) | (static_cast<uint32>(length_bytes[1]) << 8) |
		(static_cast<uint32>(length_bytes[2]) << 16) | (static_cast<uint32>(length_bytes[3]) << 24));
	int32 position = file_get_position(stream);
	int32 eof = file_get_eof(stream);
	if (length <= 0 || position < 0 || eof < position || length > eof - position) return 0;

	uint8 *data = static_cast<uint8 *>(new_pointer(static_cast<size_t>(length)));
	if (!data) return 0;
	int32 consumed = 0;
	if (file_read(stream, length, data) && tessik1_decode(pixels24, width, height, data, length))
	{
		consumed = length + 4;
	}
	dispose_pointer(data);
	return consumed;
}

/* ---------- encoding */

template <int32 mode>
static void transform_mode(const uint8 *pixels24, int32 width, int32 height, uint8 *residuals)
{
	int32 row_bytes = width * 3;
	for (int32 y = 0; y < height; ++y)
	{
		int32 b = y == 0 ? 0 : mode;
		int32 o1 = (b + 2) % 3, o2 = (b + 1) % 3;
		const uint8 *p = pixels24 + y * row_bytes;
		uint8 *r = residuals + y * row_bytes;

		for (int32 x = 0; x < width; ++x, p += 3, r += 3)
		{
			if (x == 0 && y == 0)
			{
				r[0] = p[0];
				r[1] = p[1];
				r[2] = p[2];
			}
			else if (y == 0 || x == 0)
			{
				const uint8 *n = y == 0 ? p - 3 : p - row_bytes;
				r[0] = zig(n[b] - p[b]);
				r[1] = zig(p[o1] - p[b] + (n[b] - n[o1]));
				r[2] = zig(p[o2] - p[b] + (n[b] - n[o2]));
			}
			else
			{
				const uint8 *l = p - 3, *u = p - row_bytes, *c = u - 3;
				r[0] = zig(predict(l[b], u[b], c[b]) - p[b]);
				r[1] = zig(p[o1] - p[b] + (predict(l[b] - l[o1], u[b] - u[o1], c[b] - c[o1]) & 0xFF));
				r[2] = zig(p[o2] - p[b] + (predict(l[b] - l[o2], u[b] - u[o2], c[b] - c[o2]) & 0xFF));
			}
		}
	}
}

void _tessik1_transform2(const uint8 *pixels24, int32 width, int32 height, int32 mode, uint8 *residuals)
{
	switch (mode)
	{
	case 0: transform_mode<0>(pixels24, width, height, residuals); break;
	case 1: transform_mode<1>(pixels24, width, height, residuals); break;
	case 2: transform_mode<2>(pixels24, width, height, residuals); break;
	default: break;
	}
}

void k_Map::calc_block_k(int32 x0, int32 y0, int32 x1, int32 y1, int32 image_width, const uint8 *residuals,
	uint8 *k0, uint8 *k1, uint8 *k2)
{
	uint8 *results[3] = {k0, k1, k2};
	for (int32 s = 0; s < 3; ++s)
	{
		int64 shifted[7] = {};
		int64 count = 0;
		bool all_zero = true;
		for (int32 y = y0; y < y1; ++y)
		{
			const uint8 *r = residuals + (static_cast<int64>(y) * image_width + x0) * 3 + s;
			for (int32 x = x0; x < x1; ++x, r += 3)
			{
				uint32 v = *r;
				all_zero = all_zero && v == 0;
				for (int32 k = 0; k < 7; ++k) shifted[k] += v >> k;
			}
			count += x1 - x0;
		}
		if (all_zero)
		{
			*results[s] = 7;
			continue;
		}

		int32 k = 0;
		int64 cost = shifted[0] + count;
		while (k < 6)
		{
			int64 next = shifted[k + 1] + count * (k + 2);
			if (next > cost) break;
			k += 1;
			cost = next;
		}
		*results[s] = static_cast<uint8>(k);
		total_bits += cost;
	}
}

namespace {

struct bit_writer
{
	uint8 *data;
	int32 length;
	int32 position;
	uint64 buffer; // pending bits, right-aligned
	int32 count;

	void flush_word()
	{
		uint32 word = static_cast<uint32>(buffer >> (count - 32));
		count -= 32;
		if (position + 4 <= length)
		{
			data[position] = static_cast<uint8>(word);
			data[position + 1] = static_cast<uint8>(word >> 8);
			data[position + 2] = static_cast<uint8>(word >> 16);
			data[position + 3] = static_cast<uint8>(word >> 24);
		}
		position += 4;
	}

	// n at most 24.
	void write(uint32 value, int32 n)
	{
		buffer = (buffer << n) | (value & ((1u << n) - 1));
		count += n;
		if (count >= 32) flush_word();
	}

	void finish()
	{
		if (count > 0)
		{
			buffer <<= 32 - count;
			count = 32;
			flush_word();
		}
	}
};

} // namespace

int32 tessik1_encode(const uint8 *pixels24, int32 width, int32 height, uint8 **output)
{
	*output = nullptr;
	if (!pixels24 || width < 1 || height < 1 || width > TESSIK1_MAXIMUM_SIDE || height > TESSIK1_MAXIMUM_SIDE) return 0;

	size_t bytes = static_cast<size_t>(width) * height * 3;
	k_Map maps[2];
	uint8 *residuals[2] = {static_cast<uint8 *>(new_pointer(bytes)), static_cast<uint8 *>(new_pointer(bytes))};
	int32 blocks_wide = blocks_for(width), blocks_high = blocks_for(height);
	for (k_Map &map : maps)
	{
		map.blocks_wide = blocks_wide;
		map.blocks_high = blocks_high;
		map.k = static_cast<uint8 *>(new_pointer(static_cast<size_t>(blocks_wide) * blocks_high * 3));
	}
	if (!residuals[0] || !residuals[1] || !maps[0].k || !maps[1].k)
	{
		for (int32 i = 0; i < 2; ++i)
		{
			dispose_pointer(residuals[i]);
			dispose_pointer(maps[i].k);
		}
		return 0;
	}

	// Slot 0 keeps the best mode so far, slot 1 is the trial.
	int32 best_mode = NONE;
	for (int32 mode = 0; mode < TESSIK1_NUMBER_OF_MODES; ++mode)
	{
		int32 trial = best_mode == NONE ? 0 : 1;
		k_Map &map = maps[trial];
		_tessik1_transform2(pixels24, width, height, mode, residuals[trial]);
		map.total_bits = 9 * static_cast<int64>(blocks_wide) * blocks_high;
		for (int32 by = 0; by < blocks_high; ++by)
		{
			for (int32 bx = 0; bx < blocks_wide; ++bx)
			{
				uint8 *k = map.k + (by * blocks_wide + bx) * 3;
				int32 x0 = bx * TESSIK1_BLOCK_SIZE, y0 = by * TESSIK1_BLOCK_SIZE;
				int32 x1 = x0 + TESSIK1_BLOCK_SIZE < width ? x0 + TESSIK1_BLOCK_SIZE : width;
				int32 y1 = y0 + TESSIK1_BLOCK_SIZE < height ? y0 + TESSIK1_BLOCK_SIZE : height;
				map.calc_block_k(x0, y0, x1, y1, width, residuals[trial], k, k + 1, k + 2);
			}
		}
		if (best_mode == NONE)
		{
			best_mode = mode;
		}
		else if (map.total_bits < maps[0].total_bits)
		{
			best_mode = mode;
			std::swap(maps[0], maps[1]);
			std::swap(residuals[0], residuals[1]);
		}
	}

	int64 length = ((maps[0].total_bits + 89) & ~static_cast<int64>(31)) / 8;
	uint8 *data = length <= 0x7FFFFFFF ? static_cast<uint8 *>(new_pointer_z(static_cast<size_t>(length))) : nullptr;
	if (data)
	{
		bit_writer writer = {data, static_cast<int32>(length), 0, 0, 0};
		writer.write(static_cast<uint32>(width), 12);
		writer.write(static_cast<uint32>(height), 12);
		writer.write(static_cast<uint32>(best_mode), 2);
		for (int32 i = 0; i < blocks_wide * blocks_high * 3; ++i) writer.write(maps[0].k[i], 3);
		for (int32 y = 0; y < height; ++y)
		{
			const uint8 *row_k = maps[0].k + (y / TESSIK1_BLOCK_SIZE) * blocks_wide * 3;
			const uint8 *r = residuals[0] + static_cast<size_t>(y) * width * 3;
			for (int32 x = 0; x < width; ++x, r += 3)
			{
				const uint8 *k = row_k + (x / TESSIK1_BLOCK_SIZE) * 3;
				for (int32 s = 0; s < 3; ++s)
				{
					if (k[s] == 7) continue;
					uint32 q = static_cast<uint32>(r[s]) >> k[s];
					while (q >= 24)
					{
						writer.write(0xFFFFFF, 24);
						q -= 24;
					}
					// q ones then a zero, then k bits of the remainder.
					writer.write(((1u << q) - 1) << 1, static_cast<int32>(q) + 1);
					writer.write(r[s] & ((1u << k[s]) - 1), k[s]);
				}
			}
		}
		writer.finish();
		*output = data;
	}

	for (int32 i = 0; i < 2; ++i)
	{
		dispose_pointer(residuals[i]);
		dispose_pointer(maps[i].k);
	}
	return data ? static_cast<int32>(length) : 0;
}

int32 tessik1_encode_buffer_to_stream(const uint8 *pixels24, int32 width, int32 height, file_reference *output)
{
	uint8 *data;
	int32 length = tessik1_encode(pixels24, width, height, &data);
	if (length <= 0) return 0;

	uint8 length_bytes[4] = {static_cast<uint8>(length), static_cast<uint8>(length >> 8),
		static_cast<uint8>(length >> 16), static_cast<uint8>(length >> 24)};
	boolean written = file_write(output, 4, length_bytes) && file_write(output, length, data);
	dispose_pointer(data);
	return written ? length + 4 : 0;
}
