// Shading-table builders and bitmap row work over a fixed colour table. The
// tinting figures are per table (8 permutations of one level and their
// shaders), the lighting figures per whole lighting table.
#include <benchmark/benchmark.h>

#include <vector>

#include "bitmaps.h"
#include "shading_tables.h"
#include "CoreLibrary/zerv/shape_file.h"

namespace {

color_table make_colors(void)
{
	color_table colors = {};
	colors.color_count = 256;
	for (int32 i = 0; i < 256; ++i)
	{
		colors.colors[i].red = static_cast<uint16>(i * 257 * 7);
		colors.colors[i].green = static_cast<uint16>(i * 1031 + 500);
		colors.colors[i].blue = static_cast<uint16>(65535 - i * 199);
	}
	return colors;
}

void build_tinting_table(const color_table *colors, int16 bit_depth, int16 encoding, uint8 *data,
	uint8 shaders[NUMBER_OF_SHADING_TABLE_PERMUTATIONS][TINT_SHADER_SIZE])
{
	const int32 level_size = bit_depth == 32 ? SHADING_TABLE_SIZE32 : SHADING_TABLE_SIZE16;
	const rgb_color global = {65535, 32768, 0, 0};
	for (int16 p = 0; p < NUMBER_OF_SHADING_TABLE_PERMUTATIONS; ++p)
	{
		short_fixed fraction;
		rgb_color color;
		const int16 mode = get_shading_table_permutation_data(p, &fraction, &color);
		build_shading_table(bit_depth, encoding, 1, colors, data + p * level_size, mode, fraction, &color, 64, &global);
		build_tinting_shader(shaders[p], mode, fraction, &color, 64, &global);
	}
}

void BM_build_transparency_table(benchmark::State &state)
{
	std::vector<uint8> table(TRANSPARENCY_TABLE_SIZE);
	const int16 mode = static_cast<int16>(state.range(0));
	for (auto _ : state)
	{
		build_transparency_table(mode, table.data());
		benchmark::DoNotOptimize(table.data());
	}
}
BENCHMARK(BM_build_transparency_table)->Arg(0)->Arg(1);

// Arguments: bit depth, encoding, and whether the colours are first recoloured
// by 8 hue changes (the adjusted, team-coloured case).
void BM_tinting_table(benchmark::State &state)
{
	const int16 bit_depth = static_cast<int16>(state.range(0));
	const int16 encoding = static_cast<int16>(state.range(1));
	const bool adjusted = state.range(2) != 0;
	const color_table original = make_colors();
	hue_change hue_changes[8] = {};
	rgb_color replacements[8];
	for (int32 k = 0; k < 8; ++k)
	{
		hue_changes[k].median_hue = static_cast<uint16>(k * 8000);
		for (int32 i = k; i < 256; i += 8) hue_changes[k].colors_effected[i >> 3] |= static_cast<uint8>(1 << (i & 7));
		replacements[k] = {static_cast<uint16>(k * 8000), 40000, static_cast<uint16>(65535 - k * 8000), 0};
	}
	std::vector<uint8> data(TINTING_SHADING_TABLES_SIZE32);
	uint8 shaders[NUMBER_OF_SHADING_TABLE_PERMUTATIONS][TINT_SHADER_SIZE];
	color_table colors;
	for (auto _ : state)
	{
		colors = original;
		if (adjusted) colorize_color_table(&original, &colors, hue_changes, replacements, 8);
		build_tinting_table(&colors, bit_depth, encoding, data.data(), shaders);
		benchmark::DoNotOptimize(data.data());
	}
}
BENCHMARK(BM_tinting_table)
	->Args({16, _16bit_555_encoding, 0})->Args({16, _16bit_565_encoding, 0})->Args({32, _32bit_encoding, 0})
	->Args({16, _16bit_555_encoding, 1})->Args({16, _16bit_565_encoding, 1})->Args({32, _32bit_encoding, 1});

// Arguments: bit depth, levels (64 at 16-bit, 256 at 32-bit, which is also
// the landscape table of add_shading_table_to_mesh).
void BM_lighting_table(benchmark::State &state)
{
	const int16 bit_depth = static_cast<int16>(state.range(0));
	const int16 levels = static_cast<int16>(state.range(1));
	const color_table colors = make_colors();
	const rgb_color dark = {0, 0, 8192, 0}, light = {65535, 65535, 50000, 0};
	std::vector<uint8> data(LIGHTING_SHADING_TABLES_SIZE32);
	const int16 encoding = bit_depth == 32 ? _32bit_encoding : _16bit_565_encoding;
	for (auto _ : state)
	{
		build_colored_shading_table(bit_depth, encoding, levels, &colors, data.data(), 192, &dark, 0x8000, 128, &light);
		benchmark::DoNotOptimize(data.data());
	}
}
BENCHMARK(BM_lighting_table)->Args({16, 64})->Args({32, 256})->Unit(benchmark::kMicrosecond);

void BM_build_blend_table(benchmark::State &state)
{
	const color_table colors = make_colors();
	std::vector<uint8> table(BLEND_TABLE_SIZE);
	for (auto _ : state)
	{
		build_blend_table(&colors, table.data());
		benchmark::DoNotOptimize(table.data());
	}
}
BENCHMARK(BM_build_blend_table)->Unit(benchmark::kMillisecond);

// Row-span rows of a 64 x 64 sprite: check, convert and index them, as a
// collection load does for each bitmap.
void BM_row_span_bitmap(benchmark::State &state)
{
	std::vector<uint8> stored;
	for (int32 y = 0; y < 64; ++y)
	{
		const int32 spans = 1 + (y & 3);
		int32 pixels = 0;
		std::vector<uint8> row = {0, static_cast<uint8>(spans), 0, 0};
		for (int32 s = 0; s < spans; ++s)
		{
			const int32 start = s * 16 + (y & 7), end = start + 5;
			row.insert(row.end(), {0, static_cast<uint8>(start), 0, static_cast<uint8>(end)});
			pixels += end - start;
		}
		row[3] = static_cast<uint8>(pixels);
		row.insert(row.end(), static_cast<size_t>(pixels), 7);
		if (row.size() & 1) row.push_back(0);
		stored.insert(stored.end(), row.begin(), row.end());
	}
	const int32 flags = _1bit_transparency_encoded_flag | _word_aligned_encoding_flag;
	std::vector<uint8> header(static_cast<size_t>(sizeof_bitmap(64, flags)));
	bitmap_data *bitmap = reinterpret_cast<bitmap_data *>(header.data());
	std::vector<uint8> pixels(stored.size());
	for (auto _ : state)
	{
		pixels = stored;
		memset(header.data(), 0, header.size());
		bitmap->width = bitmap->height = 64;
		bitmap->logical_bit_depth = 8;
		bitmap->flags = static_cast<int16>(flags);
		bitmap->row_addresses[0] = pixels.data();
		char fault[64];
		benchmark::DoNotOptimize(check_stored_bitmap(bitmap, pixels.data(), static_cast<int32>(pixels.size()), fault,
			sizeof(fault)));
		byte_swap_bitmap_pixels(bitmap);
		precalculate_bitmap_row_addresses(bitmap);
		postprocess_extracted_bitmap(bitmap);
		benchmark::DoNotOptimize(bitmap->row_addresses[63]);
	}
}
BENCHMARK(BM_row_span_bitmap);

} // namespace
