// The detail-texture codec on the generated textures and on 256 x 256 random
// bytes (its worst case), beside a memcpy of the same output.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "detail_content.h"
#include "memory.h"
#include "tessik1/tessik1.h"

namespace {

struct codec_input
{
	std::vector<uint8> pixels;
	int32 width, height;
};

codec_input input_for(int64 which)
{
	if (which < 6)
	{
		return {default_detail_texture_pixels(static_cast<int32>(which)), default_detail_textures[which].width,
			default_detail_textures[which].height};
	}
	codec_input noise = {std::vector<uint8>(256 * 256 * 3), 256, 256};
	uint32 state = 12345;
	for (uint8 &b : noise.pixels) b = static_cast<uint8>((state = state * 1664525u + 1013904223u) >> 24);
	return noise;
}

// Seconds per memcpy of bytes, measured in this run.
double memcpy_seconds(size_t bytes)
{
	std::vector<uint8> from(bytes, 7), to(bytes);
	const int32 rounds = 200;
	auto start = std::chrono::steady_clock::now();
	for (int32 i = 0; i < rounds; ++i)
	{
		memcpy(to.data(), from.data(), bytes);
		benchmark::DoNotOptimize(to.data());
		benchmark::ClobberMemory();
	}
	return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / rounds;
}

void BM_tessik1_decode(benchmark::State &state)
{
	const codec_input input = input_for(state.range(0));
	uint8 *stream;
	const int32 length = tessik1_encode(input.pixels.data(), input.width, input.height, &stream);
	const size_t bytes = input.pixels.size();
	auto start = std::chrono::steady_clock::now();
	for (auto _ : state)
	{
		uint8 *pixels;
		int32 width, height;
		tessik1_decode(&pixels, &width, &height, stream, length);
		benchmark::DoNotOptimize(pixels);
		dispose_pointer(pixels);
	}
	const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
		static_cast<double>(state.iterations());
	dispose_pointer(stream);
	state.counters["MB_per_s"] = benchmark::Counter(static_cast<double>(bytes) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
	state.counters["vs_memcpy"] = seconds / memcpy_seconds(bytes);
}
BENCHMARK(BM_tessik1_decode)->ArgName("grs0")->Arg(0);
BENCHMARK(BM_tessik1_decode)->ArgName("snd0")->Arg(5);
BENCHMARK(BM_tessik1_decode)->ArgName("noise256")->Arg(6);

void BM_tessik1_encode(benchmark::State &state)
{
	const codec_input input = input_for(0);
	for (auto _ : state)
	{
		uint8 *stream;
		benchmark::DoNotOptimize(tessik1_encode(input.pixels.data(), input.width, input.height, &stream));
		dispose_pointer(stream);
	}
	state.counters["MB_per_s"] = benchmark::Counter(static_cast<double>(input.pixels.size()) / 1e6,
		benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_tessik1_encode)->ArgName("grs0")->Arg(0);

} // namespace
