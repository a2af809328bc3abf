// Text on 1024 x 768 destinations in the generated interface font: a wrapped
// 2,000-character paragraph drawn opaque and transparent (characters_per_us),
// and its measuring and wrapping alone.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "bench_directory.h"
#include "bitmap_text.h"
#include "definitions.h"
#include "fonts_content.h"
#include "shapes.h"
#include "string_definitions.h"
#include "tag_files/tag_files.h"

namespace
{
const int32 width = 1024, height = 768;

std::string paragraph(void)
{
	std::string text;
	const char *const words[] = {"the ", "valley ", "holds ", "|bbold|p ", "armies ", "under ", "a ", "quiet ",
		"|iitalic|p ", "sky, ", "and "};
	for (int32 i = 0; text.size() < 2000; ++i) text += words[i % 11];
	text.resize(2000);
	return text;
}

// The interface font, loaded once in a scratch folder.
int16 interface_font(void)
{
	static int16 font = NONE;
	static std::string directory;
	if (font != NONE) return font;
	std::string previous;
	if (!enter_bench_directory("text", &directory, &previous, true)) return NONE;
	tag_files_reset_for_tests();
	tag_files_initialize();
	preinitialize_definitions();
	initialize_shapes();
	initialize_shapes_for_new_map(FALSE);
	initialize_string_definitions();
	initialize_string_definitions_for_new_map();
	initialize_font_definitions();
	initialize_font_definitions_for_new_map();
	std::vector<int32> handles;
	make_default_font_tags(&handles);
	font = font_tag_to_font_index(DEFAULT_INTERFACE_FONT_TAG);
	leave_bench_directory(previous);
	return font;
}

struct bitmap_deleter
{
	void operator()(bitmap_data *bitmap) const { dispose_pointer(bitmap); }
};

void BM_draw_string(benchmark::State &state, int32 encoding, fixed_fraction transparency)
{
	const int16 font = interface_font();
	const std::string text = paragraph();
	const int32 depth = get_encoding_byte_depth(static_cast<int16>(encoding));
	std::unique_ptr<bitmap_data, bitmap_deleter> destination(new_bitmap(width, height, width * depth, encoding, 0));
	rectangle2d bounds;
	set_rectangle2d(&bounds, 0, 0, width, height);
	for (auto _ : state)
	{
		draw_string(destination.get(), NULL, &bounds, NULL, font, NONE, &white, text.c_str(), _draw_string_wrap_flag,
			transparency);
		benchmark::ClobberMemory();
	}
	state.counters["characters_per_us"] = benchmark::Counter(static_cast<double>(text.size()) * state.iterations() / 1e6,
		benchmark::Counter::kIsRate);
}

void BM_string_width(benchmark::State &state)
{
	const int16 font = interface_font();
	const std::string text = paragraph();
	for (auto _ : state) benchmark::DoNotOptimize(string_width(font, NONE, text.c_str()));
}

void BM_wrap_string(benchmark::State &state)
{
	const int16 font = interface_font();
	const std::string text = paragraph();
	for (auto _ : state)
	{
		const char *rest = text.c_str();
		wrap_string_result result;
		do
		{
			wrap_string(rest, NONE, font, width, _draw_string_wrap_flag, &result);
			rest += result.line_length;
		} while (result.state != _wrap_string_end_of_string && result.line_length > 0);
		benchmark::DoNotOptimize(rest);
	}
}

BENCHMARK_CAPTURE(BM_draw_string, 16/opaque, _16bit_565_encoding, 0);
BENCHMARK_CAPTURE(BM_draw_string, 16/transparent, _16bit_565_encoding, 0x6000);
BENCHMARK_CAPTURE(BM_draw_string, 32/opaque, _32bit_encoding, 0);
BENCHMARK_CAPTURE(BM_draw_string, 32/transparent, _32bit_encoding, 0x6000);
BENCHMARK(BM_string_width);
BENCHMARK(BM_wrap_string);
}
