// The texture decoder on 256 x 256 sources and the texture cache's hit and
// miss paths, with idle callbacks.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "bitmaps.h"
#include "hardware/generic_texture_cache.h"

// Allocations through operator new while counting is on: the cache's map nodes
// and scratch come from here. The replacement pairs malloc with free itself;
// inlined callers make GCC see operator new's block reach free.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
static std::atomic<bool> counting_allocations{false};
static std::atomic<int64> counted_allocations{0};

void *operator new(size_t size)
{
	if (counting_allocations.load(std::memory_order_relaxed)) counted_allocations.fetch_add(1, std::memory_order_relaxed);
	void *block = std::malloc(size ? size : 1);
	if (!block) throw std::bad_alloc();
	return block;
}

void operator delete(void *block) noexcept
{
	std::free(block);
}

void operator delete(void *block, size_t) noexcept
{
	std::free(block);
}

namespace {

struct source_bitmap
{
	std::vector<uint8> storage;
	bitmap_data *bitmap;

	source_bitmap(int32 width, int32 height, int32 bytes_per_pixel, int32 flags, size_t pixel_bytes)
	{
		const size_t header = sizeof(bitmap_data) + sizeof(uint8 *) * static_cast<size_t>(height);
		storage.assign(header + pixel_bytes, 0);
		bitmap = reinterpret_cast<bitmap_data *>(storage.data());
		bitmap->width = static_cast<int16>(width);
		bitmap->height = static_cast<int16>(height);
		bitmap->bytes_per_row = static_cast<int16>(width * bytes_per_pixel);
		bitmap->flags = static_cast<int16>(flags);
		bitmap->logical_bit_depth = static_cast<int16>(8 * bytes_per_pixel);
		bitmap->pixel_upshift = static_cast<int16>(bytes_per_pixel >> 1);
		bitmap->hardware_width = static_cast<int16>(width);
		bitmap->hardware_height = static_cast<int16>(height);
		for (int32 y = 0; y < height; ++y) bitmap->row_addresses[y] = storage.data() + header + static_cast<size_t>(y) * width * bytes_per_pixel;
	}
};

enum { _plain_8888, _masked_4444, _rowspan_8888, _overlay_8888, _premultiply_8888, _runlength_8888 };

double memcpy_seconds(size_t bytes)
{
	std::vector<uint8> from(bytes, 7), to(bytes);
	auto start = std::chrono::steady_clock::now();
	for (int32 i = 0; i < 200; ++i)
	{
		memcpy(to.data(), from.data(), bytes);
		benchmark::DoNotOptimize(to.data());
		benchmark::ClobberMemory();
	}
	return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / 200;
}

void BM_texture_decode(benchmark::State &state)
{
	const int32 kind = static_cast<int32>(state.range(0)), side = 256;
	std::vector<uint32> table(256);
	for (uint32 i = 0; i < 256; ++i) table[i] = i * 0x010203u & 0xFFFFFF;
	std::unique_ptr<color_table> colors(new color_table());
	for (int32 i = 0; i < 256; ++i) colors->colors[i] = {static_cast<uint16>(i * 257), 0, 0, 0};

	std::unique_ptr<source_bitmap> source;
	if (kind == _masked_4444)
	{
		source.reset(new source_bitmap(side, side, 2, _4bit_transparency_encoded_flag, side * side * 2));
		uint16 *p = reinterpret_cast<uint16 *>(source->bitmap->row_addresses[0]);
		for (int32 i = 0; i < side * side; ++i) p[i] = static_cast<uint16>((i & 0xFF) | ((i >> 8) & 15) << 8);
	}
	else if (kind == _rowspan_8888)
	{
		// Two spans a row, half the row in pixels.
		const int32 row = ROW_SPAN_HEADER_SIZE + 8 + side / 2;
		source.reset(new source_bitmap(side, side, 1, _1bit_transparency_encoded_flag, static_cast<size_t>(row) * side));
		uint8 *first = source->bitmap->row_addresses[0];
		for (int32 y = 0; y < side; ++y)
		{
			uint8 *r = first + y * row;
			source->bitmap->row_addresses[y] = r;
			const int16 words[6] = {2, static_cast<int16>(side / 2), 16, 80, 128, 192};
			memcpy(r, words, sizeof(words));
			for (int32 i = 0; i < side / 2; ++i) r[12 + i] = static_cast<uint8>(i + y);
		}
	}
	else if (kind == _runlength_8888)
	{
		// Literals of half alpha, a full-alpha one ending each group, then an opaque run.
		std::vector<uint8> stream;
		int32 produced = 0;
		while (produced < side * side)
		{
			stream.push_back(0);
			for (int32 i = 0; i < 6; ++i) { stream.push_back(16); stream.push_back(1); stream.push_back(2); stream.push_back(3); }
			stream.push_back(31); stream.push_back(9); stream.push_back(8); stream.push_back(7);
			stream.push_back(8);
			for (int32 i = 0; i < 8; ++i) { stream.push_back(100); stream.push_back(50); stream.push_back(25); }
			stream.push_back(0);
			produced += 16;
		}
		source.reset(new source_bitmap(side, side, 2, _bitmap_extended_encoding_flag, stream.size()));
		source->bitmap->encoding = 1;
		memcpy(source->bitmap->row_addresses[0], stream.data(), stream.size());
	}
	else
	{
		source.reset(new source_bitmap(side, side, 1, kind == _overlay_8888 ? _bitmap_is_overlay_flag : 0, side * side));
		uint8 *p = source->bitmap->row_addresses[0];
		for (int32 i = 0; i < side * side; ++i) p[i] = static_cast<uint8>(i * 7 + 1);
	}

	const int16 encoding = kind == _masked_4444 ? _16bit_argb_4444_texture_encoding : _32bit_argb_8888_texture_encoding;
	const int32 depth = get_encoding_byte_depth(encoding);
	std::vector<uint8> dest(static_cast<size_t>(side) * side * depth + 4);
	std::vector<uint16> table16(256);
	for (uint32 i = 0; i < 256; ++i) table16[i] = static_cast<uint16>(i * 131 & 0x7FFF);
	auto start = std::chrono::steady_clock::now();
	for (auto _ : state)
	{
		if (kind == _runlength_8888) decompress_run_length_pixels(source->bitmap, nullptr, dest.data(), side * 4);
		else
			decompress_and_copy_pixels(source->bitmap, kind == _overlay_8888 ? colors.get() : nullptr, dest.data(), encoding,
				side * depth, kind == _masked_4444 ? static_cast<const void *>(table16.data()) : table.data(),
				kind == _premultiply_8888, FALSE);
		benchmark::DoNotOptimize(dest.data());
	}
	const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
		static_cast<double>(state.iterations());
	state.counters["Mpixels_per_s"] = benchmark::Counter(side * side / 1e6, benchmark::Counter::kIsIterationInvariantRate);
	state.counters["vs_memcpy"] = seconds / memcpy_seconds(static_cast<size_t>(side) * side * depth);
}
BENCHMARK(BM_texture_decode)->ArgName("8bit_8888")->Arg(_plain_8888);
BENCHMARK(BM_texture_decode)->ArgName("masked_4444")->Arg(_masked_4444);
BENCHMARK(BM_texture_decode)->ArgName("rowspan_8888_dilate")->Arg(_rowspan_8888);
BENCHMARK(BM_texture_decode)->ArgName("overlay_8888")->Arg(_overlay_8888);
BENCHMARK(BM_texture_decode)->ArgName("premultiply_8888")->Arg(_premultiply_8888);
BENCHMARK(BM_texture_decode)->ArgName("runlength_8888")->Arg(_runlength_8888);

uintptr_t idle_handles = 0;
void *idle_new(void *, bitmap_data *, cached_texture_data *) { return reinterpret_cast<void *>(++idle_handles); }
void *idle_update(void *, bitmap_data *, cached_texture_data *texture) { return texture->user_data; }
void idle_delete(void *, void *) {}

void BM_texture_cache_hit(benchmark::State &state)
{
	const int32 count = static_cast<int32>(state.range(0));
	std::vector<std::unique_ptr<source_bitmap>> bitmaps;
	std::vector<uint32> table(256, 0x00808080);
	initialize_texture_cache_for_new_map(nullptr, TRUE, TRUE, FALSE, 1 << 30, idle_new, idle_update, idle_delete);
	std::vector<cached_texture_descriptor> descriptors;
	for (int32 i = 0; i < count; ++i)
	{
		bitmaps.emplace_back(new source_bitmap(8, 8, 1, 0, 64));
		descriptors.push_back({static_cast<bitmap_identifier>(i), bitmaps.back()->bitmap, nullptr, table.data(), 0});
		texture_cache_lookup(&descriptors.back());
	}
	int32 next = 0;
	counted_allocations = 0;
	counting_allocations = true;
	for (auto _ : state)
	{
		benchmark::DoNotOptimize(texture_cache_lookup(&descriptors[next]));
		next = next + 1 == count ? 0 : next + 1;
	}
	counting_allocations = false;
	// A hit relinks one list entry and allocates nothing.
	state.counters["allocations_per_lookup"] =
		static_cast<double>(counted_allocations.load()) / static_cast<double>(state.iterations());
	dispose_texture_cache_from_old_map();
}
BENCHMARK(BM_texture_cache_hit)->Arg(2000);

// The bare conversion of one bitmap into a reused buffer, as a miss does it.
double bare_conversion_seconds(bitmap_data *bitmap, const uint32 *table)
{
	const int32 stride = bitmap->width * 4;
	std::vector<uint8> dest(static_cast<size_t>(stride) * bitmap->height + 4);
	auto start = std::chrono::steady_clock::now();
	for (int32 i = 0; i < 200; ++i)
	{
		decompress_and_copy_pixels(bitmap, nullptr, dest.data(), _32bit_xrgb_8888_texture_encoding, stride, table, FALSE, FALSE);
		benchmark::DoNotOptimize(dest.data());
		benchmark::ClobberMemory();
	}
	return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / 200;
}

void BM_texture_cache_miss(benchmark::State &state)
{
	const int32 side = static_cast<int32>(state.range(0)), resident = 16;
	std::vector<std::unique_ptr<source_bitmap>> bitmaps;
	std::vector<uint32> table(256, 0x00808080);
	// One more bitmap than fits: every lookup misses and evicts one.
	initialize_texture_cache_for_new_map(nullptr, TRUE, TRUE, FALSE, resident * side * side * 4, idle_new, idle_update,
		idle_delete);
	std::vector<cached_texture_descriptor> descriptors;
	for (int32 i = 0; i <= resident; ++i)
	{
		bitmaps.emplace_back(new source_bitmap(side, side, 1, 0, static_cast<size_t>(side) * side));
		descriptors.push_back({static_cast<bitmap_identifier>(i), bitmaps.back()->bitmap, nullptr, table.data(), 0});
	}
	int32 next = 0;
	counted_allocations = 0;
	counting_allocations = true;
	auto start = std::chrono::steady_clock::now();
	for (auto _ : state)
	{
		benchmark::DoNotOptimize(texture_cache_lookup(&descriptors[next]));
		next = next == resident ? 0 : next + 1;
	}
	const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
		static_cast<double>(state.iterations());
	counting_allocations = false;
	// A miss allocates its map node.
	state.counters["allocations_per_lookup"] =
		static_cast<double>(counted_allocations.load()) / static_cast<double>(state.iterations());
	dispose_texture_cache_from_old_map();
	// Beside the miss: converting the same bitmap without the cache.
	const double bare = bare_conversion_seconds(bitmaps[0]->bitmap, table.data());
	state.counters["bare_conversion_us"] = bare * 1e6;
	state.counters["vs_bare_conversion"] = seconds / bare;
}
BENCHMARK(BM_texture_cache_miss)->Arg(64);

} // namespace
