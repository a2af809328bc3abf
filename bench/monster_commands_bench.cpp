// A formation order for a full list: 126 units, 4 waypoints, re-formed every
// time (the slot assignment is quadratic in the units).
#include <benchmark/benchmark.h>

#include <cstring>

#include "bare_unit_object.h"
#include "support/zerv_harness.h"

#include "data.h"
#include "monster_commands.h"
#include "monsters.h"
#include "objects.h"

namespace {

int16 bench_unit(world_distance x, world_distance y)
{
	const int16 index = new_datum(&monster_array);
	if (index == NONE) return NONE;
	monster_data *monster = get_monster_data(index);
	if (!monster) return NONE;
	const int16 identifier = monster->identifier;
	memset(monster, 0, sizeof(*monster));
	monster->identifier = identifier;
	monster->type = NONE;
	monster->target_monster_index = monster->deferred_target_index = NONE;
	monster->formation_identifier = monster->formation_position = NONE;
	monster->object_index = new_bare_unit_object(index, x, y);
	return index;
}

void BM_execute_movement_command(benchmark::State &state)
{
	new_game_data setup;
	harness_battle_setup(&setup, HARNESS_DEMO_MAP_TAG);
	if (!harness_initialize() || !harness_start_map(&setup))
	{
		state.SkipWithError("harness set-up failed");
		harness_shutdown();
		return;
	}
	set_zerv_tick_hook(nullptr, nullptr);
	int16 units[MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND];
	for (int16 i = 0; i < MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND; ++i)
	{
		units[i] = bench_unit(4000 + 230 * (i % 14), 4000 + 230 * (i / 14));
		if (units[i] == NONE)
		{
			state.SkipWithError("no room for the units");
			harness_end_map();
			harness_shutdown();
			return;
		}
	}
	const world_point2d waypoints[4] = {{12000, 12000}, {20000, 12000}, {20000, 20000}, {12000, 20000}};
	command_movement_data data = {_command_movement_formation_flag | _command_movement_final_facing_flag, 0, 0, 0};
	int64 orders = 0;
	for (auto _ : state)
	{
		// Half a turn each time: the group re-forms.
		data.final_facing = static_cast<angle>((orders & 1) ? 32768 : 0);
		handle_movement_command(-2, &data, MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND, units, 4, waypoints);
		orders += 1;
	}
	harness_end_map();
	harness_shutdown();
}
BENCHMARK(BM_execute_movement_command)->Unit(benchmark::kMicrosecond);

}
