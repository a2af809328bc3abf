// Films and saved games through the headless harness: a live game against
// its replay, saving, restoring, and the whole-file check. The per-tick
// digest is off in every timed part.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "CoreLibrary/zerv/commands.h"
#include "main_globals.h"
#include "support/recording_harness.h"
#include "zerv.h"

namespace {

const int32 bench_ticks = 3000;
const int16 frame_ticks = 1800;

bool ensure_harness(void)
{
	static bool ready = [] {
		const bool initialized = harness_initialize();
		atexit(harness_shutdown);
		return initialized;
	}();
	return ready;
}

void bench_setup(new_game_data *setup, file_tag map)
{
	if (map == TAG("bnch")) harness_battle_setup(setup, map);
	else harness_demo_setup(setup);
}

void run_frames_until(int32 ticks, bool replay)
{
	set_maximum_ticks_per_frame(frame_ticks);
	while (game->game_time < ticks && !harness_game_is_finished() && !(replay && replay_over()))
	{
		const int32 before = game->game_time;
		harness_run_frames(1, frame_ticks);
		if (replay && game->game_time == before && replay_over()) break;
	}
}

void set_rate_counters(benchmark::State &state, int64 ticks)
{
	state.counters["ticks_per_second"] = benchmark::Counter(static_cast<double>(ticks), benchmark::Counter::kIsRate);
	state.counters["times_real_time"] =
		benchmark::Counter(static_cast<double>(ticks) / 30.0, benchmark::Counter::kIsRate);
}

// Plays the map live to the bench tick; its film is the last recording.
bool record_film(file_tag map)
{
	new_game_data setup;
	bench_setup(&setup, map);
	if (!harness_start_map(&setup)) return false;
	set_zerv_tick_hook(nullptr, nullptr);
	run_frames_until(bench_ticks, false);
	harness_end_map();
	return get_last_recording_handle() != NONE;
}

void BM_live_game(benchmark::State &state, file_tag map)
{
	if (!ensure_harness()) return state.SkipWithError("harness set-up failed");
	new_game_data setup;
	bench_setup(&setup, map);
	int64 ticks = 0;
	for (auto _ : state)
	{
		state.PauseTiming();
		if (!harness_start_map(&setup)) return state.SkipWithError("map start failed");
		set_zerv_tick_hook(nullptr, nullptr);
		state.ResumeTiming();
		run_frames_until(bench_ticks, false);
		state.PauseTiming();
		ticks += game->game_time;
		harness_end_map();
		state.ResumeTiming();
	}
	set_rate_counters(state, ticks);
}
BENCHMARK_CAPTURE(BM_live_game, demo, TAG("demo"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_live_game, bnch, TAG("bnch"))->Unit(benchmark::kMillisecond);

void BM_replay_film(benchmark::State &state, file_tag map)
{
	if (!ensure_harness()) return state.SkipWithError("harness set-up failed");
	if (!record_film(map)) return state.SkipWithError("no film");
	int64 ticks = 0;
	for (auto _ : state)
	{
		state.PauseTiming();
		if (!harness_replay_film()) return state.SkipWithError("replay start failed");
		set_zerv_tick_hook(nullptr, nullptr);
		state.ResumeTiming();
		run_frames_until(bench_ticks + 1, true);
		state.PauseTiming();
		ticks += game->game_time;
		harness_end_map();
		state.ResumeTiming();
	}
	set_rate_counters(state, ticks);
}
BENCHMARK_CAPTURE(BM_replay_film, demo, TAG("demo"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_replay_film, bnch, TAG("bnch"))->Unit(benchmark::kMillisecond);

void BM_save_game(benchmark::State &state, file_tag map)
{
	if (!ensure_harness()) return state.SkipWithError("harness set-up failed");
	new_game_data setup;
	bench_setup(&setup, map);
	if (!harness_start_map(&setup)) return state.SkipWithError("map start failed");
	set_zerv_tick_hook(nullptr, nullptr);
	run_frames_until(bench_ticks, false);
	for (auto _ : state)
	{
		if (!harness_save_game("Bench")) return state.SkipWithError("save failed");
	}
	state.counters["bytes"] = static_cast<double>(harness_tag_data(harness_find_tag(SAVED_GAME_GROUP_TAG, "Bench")).size());
	harness_end_map();
}
BENCHMARK_CAPTURE(BM_save_game, bnch, TAG("bnch"))->Unit(benchmark::kMillisecond);

void BM_restore_saved_game(benchmark::State &state, file_tag map)
{
	if (!ensure_harness()) return state.SkipWithError("harness set-up failed");
	new_game_data setup;
	bench_setup(&setup, map);
	if (!harness_start_map(&setup)) return state.SkipWithError("map start failed");
	set_zerv_tick_hook(nullptr, nullptr);
	run_frames_until(bench_ticks, false);
	if (!harness_save_game("Restore")) return state.SkipWithError("save failed");
	harness_end_map();
	int64 ticks = 0;
	for (auto _ : state)
	{
		if (!harness_restore_last_saved_game()) return state.SkipWithError("restore failed");
		state.PauseTiming();
		set_zerv_tick_hook(nullptr, nullptr);
		ticks += game->game_time;
		harness_end_map();
		state.ResumeTiming();
	}
	set_rate_counters(state, ticks);
	state.counters["bytes"] = static_cast<double>(harness_tag_data(harness_find_tag(SAVED_GAME_GROUP_TAG, "Restore")).size());
}
BENCHMARK_CAPTURE(BM_restore_saved_game, bnch, TAG("bnch"))->Unit(benchmark::kMillisecond);

// A 1 MB film built in memory: full blocks of small commands.
std::vector<uint8> build_film(int32 size)
{
	new_game_data setup;
	harness_demo_setup(&setup);
	recording_file_header header;
	build_recording_file_header(&header, _normal_recording_type, &setup, 100000, 0, 0, 0);
	byte_swap_recording_file_header(&header);
	std::vector<uint8> film(reinterpret_cast<uint8 *>(&header), reinterpret_cast<uint8 *>(&header) + sizeof(header));
	int32 time = 0;
	while (static_cast<int32>(film.size()) < size)
	{
		const bool last = static_cast<int32>(film.size()) + 8 + RECORDING_BUFFER_SIZE >= size;
		recording_block_header block = {last ? static_cast<uint32>(_block_header_last_flag) : 0u, RECORDING_BUFFER_SIZE,
			RECORDING_BUFFER_SIZE / 32};
		byte_swap_recording_block_header(&block);
		film.insert(film.end(), reinterpret_cast<uint8 *>(&block), reinterpret_cast<uint8 *>(&block) + sizeof(block));
		for (int32 i = 0; i < RECORDING_BUFFER_SIZE / 32; ++i)
		{
			uint8 command[32] = {};
			command_header h = {32, _command_chat, 0, time++ / 8};
			memcpy(command, &h, sizeof(h));
			byte_swap_command_header(reinterpret_cast<command_header *>(command));
			film.insert(film.end(), command, command + sizeof(command));
		}
		if (last) break;
	}
	return film;
}

void BM_validate_film(benchmark::State &state)
{
	const std::vector<uint8> film = build_film(1 << 20);
	recording_file_summary summary;
	for (auto _ : state)
	{
		if (!validate_recording_data(film.data(), static_cast<int32>(film.size()), _normal_recording_type, "bench",
				&summary, nullptr, 0))
		{
			return state.SkipWithError("film refused");
		}
		benchmark::DoNotOptimize(summary.command_count);
	}
	state.SetBytesProcessed(static_cast<int64>(state.iterations()) * static_cast<int64>(film.size()));
}
BENCHMARK(BM_validate_film)->Unit(benchmark::kMicrosecond);

}
