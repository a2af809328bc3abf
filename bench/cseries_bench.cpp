// Core utilities: byte swapping, sorting and CRC throughput.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "byte_swapping.h"
#include "crc.h"
#include "quicksort.h"
#include "render/radix_sort.h"

namespace
{
	constexpr byte_swap_code fourteen_byte_codes[] = {_begin_bs_array, 2, _2byte, _4byte, 1, _end_bs_array};

	constexpr byte_swap_code record_64_codes[] = {_begin_bs_array, 1, _4byte, _4byte, _2byte, _2byte, 8,
		_begin_bs_array, 4, _4byte, _2byte, _2byte, _end_bs_array, _4byte, _2byte, _2byte, 4, _end_bs_array};
	static_assert(get_byte_swap_struct_size(record_64_codes) == 64);

	std::vector<uint8_t> random_bytes(size_t size)
	{
		std::mt19937 random(1);
		std::vector<uint8_t> bytes(size);
		for (auto &b : bytes) b = static_cast<uint8_t>(random());
		return bytes;
	}
}

static void BM_byte_swap_data_14_byte_records(benchmark::State &state)
{
	const int32 count = (16 << 20) / 14;
	std::vector<uint8_t> bytes = random_bytes(static_cast<size_t>(count) * 14);
	for (auto _ : state)
	{
		byte_swap_data("bench", bytes.data(), 14, count, fourteen_byte_codes);
		benchmark::ClobberMemory();
	}
	state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * count * 14);
}
BENCHMARK(BM_byte_swap_data_14_byte_records)->Unit(benchmark::kMillisecond);

static void BM_byte_swap_data_64_byte_records(benchmark::State &state)
{
	const int32 count = 32000;
	std::vector<uint8_t> bytes = random_bytes(static_cast<size_t>(count) * 64);
	for (auto _ : state)
	{
		byte_swap_data("bench", bytes.data(), 64, count, record_64_codes);
		benchmark::ClobberMemory();
	}
	state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * count * 64);
}
BENCHMARK(BM_byte_swap_data_64_byte_records)->Unit(benchmark::kMicrosecond);

// Arguments: key count, passes (the key range follows from them).
static void BM_fastradix(benchmark::State &state)
{
	const int32 count = static_cast<int32>(state.range(0));
	const int32 passes = static_cast<int32>(state.range(1));
	const uint32 limit = passes == 1 ? 2048 : (passes == 2 ? 0x400000 : 0);
	std::mt19937 random(2);
	std::vector<uint32> original(static_cast<size_t>(count));
	for (auto &k : original) k = limit ? static_cast<uint32>(random()) % limit : static_cast<uint32>(random());
	std::vector<uint32> keys(original), temp0(count), temp1(count);
	for (auto _ : state)
	{
		benchmark::DoNotOptimize(fastradix(keys.data(), temp0.data(), temp1.data(), count, passes, radix_mode_indices));
	}
	state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * count);
}
BENCHMARK(BM_fastradix)->ArgsProduct({{4096, 16384, 65536}, {1, 2, 3}});

namespace
{
	struct sort_record
	{
		int32 key;
		int32 payload[3];
	};

	int compare_sort_records(const void *a, const void *b)
	{
		const int32 x = static_cast<const sort_record *>(a)->key;
		const int32 y = static_cast<const sort_record *>(b)->key;
		return (x > y) - (x < y);
	}
}

static void BM_qsort_private(benchmark::State &state)
{
	const int32 count = static_cast<int32>(state.range(0));
	std::mt19937 random(3);
	std::vector<sort_record> original(static_cast<size_t>(count));
	for (auto &r : original) r.key = static_cast<int32>(random() % 1000);
	std::vector<sort_record> table;
	for (auto _ : state)
	{
		state.PauseTiming();
		table = original;
		state.ResumeTiming();
		qsort_private(table.data(), count, sizeof(sort_record), compare_sort_records);
		benchmark::ClobberMemory();
	}
	state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * count);
}
BENCHMARK(BM_qsort_private)->Arg(400)->Arg(8192);

static void BM_calculate_data_crc(benchmark::State &state)
{
	const std::vector<uint8_t> bytes = random_bytes(1 << 20);
	for (auto _ : state)
	{
		benchmark::DoNotOptimize(calculate_data_crc(bytes.data(), static_cast<int32>(bytes.size())));
	}
	state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_calculate_data_crc)->Unit(benchmark::kMicrosecond);
