// 2D drawing on 1024 x 768 destinations: whole-screen fills and full-size
// copies, each reported against a memcpy of the same destination bytes in
// the same run (vs_memcpy: the drawing's time over memcpy's).
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <cstring>
#include <vector>

#include "bitmap_drawing.h"
#include "shading_tables.h"

namespace
{
const int32 width = 1024, height = 768;

struct bitmap_deleter
{
	void operator()(bitmap_data *bitmap) const { dispose_pointer(bitmap); }
};

bitmap_data *make_bitmap(int32 encoding, int32 flags = 0)
{
	const int32 depth = get_encoding_byte_depth(static_cast<int16>(encoding));
	bitmap_data *bitmap = new_bitmap(width, height, width * depth, encoding, flags);
	for (int32 y = 0; y < height; ++y)
		for (int32 x = 0; x < width * depth; ++x) bitmap->row_addresses[y][x] = static_cast<uint8>((x * 7 + y * 3) | 1);
	return bitmap;
}

// Seconds per memcpy of the destination's bytes.
double memcpy_seconds(size_t bytes)
{
	std::vector<uint8> from(bytes, 1), to(bytes);
	const int32 rounds = 20;
	const auto start = std::chrono::steady_clock::now();
	for (int32 i = 0; i < rounds; ++i)
	{
		memcpy(to.data(), from.data(), bytes);
		benchmark::DoNotOptimize(to.data());
		benchmark::ClobberMemory();
	}
	return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / rounds;
}

template <typename procedure>
void run_against_memcpy(benchmark::State &state, size_t destination_bytes, procedure draw)
{
	const double baseline = memcpy_seconds(destination_bytes);
	double total = 0;
	int64_t runs = 0;
	for (auto _ : state)
	{
		const auto start = std::chrono::steady_clock::now();
		draw();
		benchmark::ClobberMemory();
		total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
		runs += 1;
	}
	state.counters["vs_memcpy"] = runs && baseline > 0 ? (total / static_cast<double>(runs)) / baseline : 0.0;
}

const std::vector<uint8> &normal_transparency_table(void)
{
	static std::vector<uint8> table;
	if (table.empty())
	{
		table.resize(TRANSPARENCY_TABLE_SIZE);
		build_transparency_table(0, table.data());
	}
	return table;
}

void BM_fill_rectangle(benchmark::State &state, int32 encoding, fixed_fraction transparency)
{
	std::unique_ptr<bitmap_data, bitmap_deleter> destination(make_bitmap(encoding));
	rectangle2d all;
	set_rectangle2d(&all, 0, 0, width, height);
	const rgb_color colour = {40000, 20000, 10000, 0};
	const size_t bytes = static_cast<size_t>(destination->bytes_per_row) * height;
	run_against_memcpy(state, bytes, [&] {
		fill_rectangle_clipped(destination.get(), &colour, &all, NULL, transparency, normal_transparency_table().data());
	});
}

void BM_copy_bitmap(benchmark::State &state, int32 destination_encoding, int32 source_encoding, int32 source_flags,
	bool row_span)
{
	std::unique_ptr<bitmap_data, bitmap_deleter> destination(make_bitmap(destination_encoding));
	std::unique_ptr<bitmap_data, bitmap_deleter> source;
	std::vector<uint8> row_span_pixels;
	if (row_span)
	{
		// Half of every row in runs of 16 pixels, 16 apart.
		const int32 runs = width / 32;
		const int32 row_size = ROW_SPAN_HEADER_SIZE + 4 * runs + 16 * runs;
		// A full row's room per row; the packed rows need less.
		source.reset(new_bitmap(width, height, width, _8bit_encoding, _1bit_transparency_encoded_flag | source_flags));
		uint8 *row = source->row_addresses[0];
		for (int32 y = 0; y < height; ++y, row += row_size)
		{
			int16 header[2] = {static_cast<int16>(runs), static_cast<int16>(16 * runs)};
			memcpy(row, header, sizeof(header));
			for (int32 r = 0; r < runs; ++r)
			{
				int16 span[2] = {static_cast<int16>(32 * r), static_cast<int16>(32 * r + 16)};
				memcpy(row + ROW_SPAN_HEADER_SIZE + 4 * r, span, sizeof(span));
			}
			memset(row + ROW_SPAN_HEADER_SIZE + 4 * runs, 9, static_cast<size_t>(16 * runs));
		}
		precalculate_bitmap_row_addresses(source.get());
	}
	else
	{
		source.reset(make_bitmap(source_encoding, source_flags));
	}
	std::vector<uint32> colors(256);
	for (uint32 i = 0; i < 256; ++i) colors[i] = destination_encoding == _32bit_encoding ? i * 0x010101u : i * 0x421u;
	const point2d origin = {0, 0};
	const size_t bytes = static_cast<size_t>(destination->bytes_per_row) * height;
	run_against_memcpy(state, bytes, [&] {
		copy_bitmap(destination.get(), &origin, source.get(), NULL, colors.data(), 0, NULL);
	});
}

BENCHMARK_CAPTURE(BM_fill_rectangle, 16/opaque, _16bit_565_encoding, 0);
BENCHMARK_CAPTURE(BM_fill_rectangle, 16/blended, _16bit_565_encoding, 0x8000);
BENCHMARK_CAPTURE(BM_fill_rectangle, 32/opaque, _32bit_encoding, 0);
BENCHMARK_CAPTURE(BM_fill_rectangle, 32/blended, _32bit_encoding, 0x8000);
BENCHMARK_CAPTURE(BM_copy_bitmap, 16to16, _16bit_565_encoding, _16bit_565_encoding, 0, false);
BENCHMARK_CAPTURE(BM_copy_bitmap, 32to32, _32bit_encoding, _32bit_encoding, 0, false);
BENCHMARK_CAPTURE(BM_copy_bitmap, 8to16, _16bit_565_encoding, _8bit_encoding, 0, false);
BENCHMARK_CAPTURE(BM_copy_bitmap, 8to32, _32bit_encoding, _8bit_encoding, 0, false);
BENCHMARK_CAPTURE(BM_copy_bitmap, 8to32_key, _32bit_encoding, _8bit_encoding, _bitmap_color_key_transparency_flag, false);
BENCHMARK_CAPTURE(BM_copy_bitmap, rowspan_to_32, _32bit_encoding, _8bit_encoding, 0, true);
}
