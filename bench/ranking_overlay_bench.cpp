// The ranking overlay over 'demo' in its first seconds (the full rankings):
// one team box per team and one per member, at two screen sizes.
#include <benchmark/benchmark.h>

#include <cstring>

#include "bitmaps.h"
#include "CoreLibrary/cseries/memory.h"
#include "game_statistics.h"
#include "main.h"
#include "players.h"
#include "ranking_overlay.h"
#include "render/render.h"
#include "support/zerv_harness.h"
#include "zerv.h"

namespace {

// Args: players (4 or 16, spread over the demo's teams), screen width (height 3/4 of it).
void BM_rasterize_rankings(benchmark::State &state)
{
	new_game_data setup;
	harness_demo_setup(&setup, static_cast<int16>(state.range(0)));
	if (!harness_initialize() || !harness_start_map(&setup))
	{
		state.SkipWithError("the demo did not start");
		harness_shutdown();
		return;
	}
	harness_run_ticks(20);
	force_player_statistics_update();
	const int16 saved_state = game->state;
	game->state = _game_state_running;
	const int32 width = static_cast<int32>(state.range(1)), height = width * 3 / 4;
	bitmap_data *screen = new_bitmap(width, height, width * 4, _32bit_encoding, 0);
	view_data view;
	memset(&view, 0, sizeof(view));
	view.screen = screen;
	for (auto _ : state) rasterize_rankings(&view);
	state.counters["teams"] = get_team_count();
	game->state = saved_state;
	dispose_pointer(screen);
	harness_end_map();
	harness_shutdown();
}
BENCHMARK(BM_rasterize_rankings)->Args({4, 640})->Args({4, 1024})->Args({16, 640})->Args({16, 1024})
	->Unit(benchmark::kMicrosecond);

} // namespace
