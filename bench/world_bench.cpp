// World maths over fixed-seed inputs. Each operation is measured per item, so
// its cost reads as a ratio to the plain-sum baseline over the same points.
#include <benchmark/benchmark.h>

#include <vector>

#include "world.h"

namespace {

const int32 point_pair_count = 1000000;
const int32 vector_count = 100000;

struct point_pairs
{
	std::vector<world_point3d> p0, p1;
};

// Fixed seed, independent of both random streams; some deltas exceed the
// saturation limit on purpose.
const point_pairs &get_point_pairs(void)
{
	static point_pairs pairs;
	if (pairs.p0.empty())
	{
		uint32 seed = 0x5EED1234u;
		auto next = [&seed](void) -> world_distance {
			seed = seed * 1664525u + 1013904223u;
			return static_cast<world_distance>(seed >> 16) - 32768 + static_cast<world_distance>((seed >> 8) & 0x3FFF);
		};
		pairs.p0.resize(point_pair_count);
		pairs.p1.resize(point_pair_count);
		for (int32 i = 0; i < point_pair_count; ++i)
		{
			pairs.p0[i].x = next();
			pairs.p0[i].y = next();
			pairs.p0[i].z = next();
			pairs.p1[i].x = next();
			pairs.p1[i].y = next();
			pairs.p1[i].z = next();
		}
		initialize_world();
	}
	return pairs;
}

void BM_baseline_sum(benchmark::State &state)
{
	const point_pairs &pairs = get_point_pairs();
	for (auto _ : state)
	{
		int64 total = 0;
		for (int32 i = 0; i < point_pair_count; ++i) total += pairs.p0[i].x - pairs.p1[i].x;
		benchmark::DoNotOptimize(total);
	}
	state.SetItemsProcessed(state.iterations() * point_pair_count);
}
BENCHMARK(BM_baseline_sum)->Unit(benchmark::kMillisecond);

void BM_isqrt(benchmark::State &state)
{
	const point_pairs &pairs = get_point_pairs();
	for (auto _ : state)
	{
		uint32 total = 0;
		for (int32 i = 0; i < point_pair_count; ++i)
		{
			const uint32 x = static_cast<uint32>(pairs.p0[i].x) * 2654435761u + static_cast<uint32>(pairs.p1[i].y);
			total += isqrt(x);
		}
		benchmark::DoNotOptimize(total);
	}
	state.SetItemsProcessed(state.iterations() * point_pair_count);
}
BENCHMARK(BM_isqrt)->Unit(benchmark::kMillisecond);

void BM_distance2d(benchmark::State &state)
{
	const point_pairs &pairs = get_point_pairs();
	for (auto _ : state)
	{
		int64 total = 0;
		for (int32 i = 0; i < point_pair_count; ++i)
		{
			const world_point2d a = {pairs.p0[i].x, pairs.p0[i].y}, b = {pairs.p1[i].x, pairs.p1[i].y};
			total += distance2d(&a, &b);
		}
		benchmark::DoNotOptimize(total);
	}
	state.SetItemsProcessed(state.iterations() * point_pair_count);
}
BENCHMARK(BM_distance2d)->Unit(benchmark::kMillisecond);

void BM_distance3d(benchmark::State &state)
{
	const point_pairs &pairs = get_point_pairs();
	for (auto _ : state)
	{
		int64 total = 0;
		for (int32 i = 0; i < point_pair_count; ++i) total += distance3d(&pairs.p0[i], &pairs.p1[i]);
		benchmark::DoNotOptimize(total);
	}
	state.SetItemsProcessed(state.iterations() * point_pair_count);
}
BENCHMARK(BM_distance3d)->Unit(benchmark::kMillisecond);

void BM_guess_distance2d(benchmark::State &state)
{
	const point_pairs &pairs = get_point_pairs();
	for (auto _ : state)
	{
		int64 total = 0;
		for (int32 i = 0; i < point_pair_count; ++i) total += guess_distance2d(&pairs.p0[i], &pairs.p1[i]);
		benchmark::DoNotOptimize(total);
	}
	state.SetItemsProcessed(state.iterations() * point_pair_count);
}
BENCHMARK(BM_guess_distance2d)->Unit(benchmark::kMillisecond);

void BM_arctangent(benchmark::State &state)
{
	const point_pairs &pairs = get_point_pairs();
	for (auto _ : state)
	{
		uint32 total = 0;
		for (int32 i = 0; i < vector_count; ++i) total += arctangent(pairs.p0[i].x, pairs.p0[i].y);
		benchmark::DoNotOptimize(total);
	}
	state.SetItemsProcessed(state.iterations() * vector_count);
}
BENCHMARK(BM_arctangent)->Unit(benchmark::kMillisecond);

void BM_zerv_random(benchmark::State &state)
{
	for (auto _ : state)
	{
		set_random_seed(1);
		uint32 total = 0;
		for (int32 i = 0; i < point_pair_count; ++i) total += zerv_random();
		benchmark::DoNotOptimize(total);
	}
	state.SetItemsProcessed(state.iterations() * point_pair_count);
}
BENCHMARK(BM_zerv_random)->Unit(benchmark::kMillisecond);

}
