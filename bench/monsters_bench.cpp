// Units on the benchmark map 'bnch' (400 units in two armies) through the
// headless harness: the per-tick unit update idle and fighting, creation from
// the markers, and a whole map start.
#include <benchmark/benchmark.h>

#include "bench_battle.h"

#include <vector>

#include "markers.h"
#include "mesh.h"
#include "monsters.h"
#include "objects.h"
#include "support/zerv_harness.h"
#include "zerv.h"

namespace {

const int32 ticks_per_iteration = SCAN_FOR_TARGETS_COUNT;

void per_item_counters(benchmark::State &state, double items, const char *name)
{
	state.counters[name] = benchmark::Counter(items, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void run_ticks(void)
{
	for (int32 t = 0; t < ticks_per_iteration; ++t)
	{
		game->game_time += 1;
		update_monsters();
	}
}

void BM_update_monsters_idle(benchmark::State &state)
{
	if (!start_benchmark_battle(state)) return;
	for (auto _ : state) run_ticks();
	per_item_counters(state, static_cast<double>(state.iterations()) * ticks_per_iteration * monster_array.total_count,
		"ns_per_unit_tick");
	end_benchmark_battle();
}
BENCHMARK(BM_update_monsters_idle)->Arg(MAXIMUM_MONSTERS_PER_MAP);

// Each unit's facing enemy: the unit of the other army in the same file and rank.
std::vector<int16> facing_enemies(void)
{
	std::vector<int16> enemies(MAXIMUM_MONSTERS_PER_MAP, NONE);
	for (int16 a = 0; a < monster_array.count; ++a)
	{
		const monster_data *attacker = get_monster_data(a);
		if (!attacker) continue;
		const object_data *from = get_object_data(attacker->object_index);
		for (int16 b = 0; b < monster_array.count && enemies[a] == NONE; ++b)
		{
			const monster_data *target = get_monster_data(b);
			if (!target || target->owner_team_index == attacker->owner_team_index) continue;
			const object_data *to = get_object_data(target->object_index);
			if (from->location.position.x == to->location.position.x &&
				from->location.position.y + to->location.position.y == 256 * WORLD_ONE)
			{
				enemies[a] = b;
			}
		}
	}
	return enemies;
}

void arm(const std::vector<int16> &enemies)
{
	for (int16 i = 0; i < monster_array.count; ++i)
	{
		monster_data *monster = get_monster_data(i);
		if (!monster || enemies[i] == NONE || monster->action == _monster_action_attacking) continue;
		monster->target_monster_index = enemies[i];
		set_monster_action(i, _monster_action_attacking, 0);
		monster->flags |= _monster_has_valid_target_flag | _monster_has_valid_target_index_flag;
		monster->flags &= ~static_cast<uint32>(_monster_attack_was_aborted_flag);
	}
}

void BM_update_monsters_fighting(benchmark::State &state)
{
	if (!start_benchmark_battle(state)) return;
	const std::vector<int16> enemies = facing_enemies();
	for (auto _ : state)
	{
		state.PauseTiming();
		arm(enemies);
		state.ResumeTiming();
		run_ticks();
	}
	per_item_counters(state, static_cast<double>(state.iterations()) * ticks_per_iteration * monster_array.total_count,
		"ns_per_unit_tick");
	end_benchmark_battle();
}
BENCHMARK(BM_update_monsters_fighting)->Arg(MAXIMUM_MONSTERS_PER_MAP);

void BM_new_monsters(benchmark::State &state)
{
	if (!start_benchmark_battle(state)) return;
	std::vector<marker_data *> markers;
	for (int32 i = 0; i < mesh_globals->marker_count; ++i)
	{
		if (mesh_globals->markers[i].type == _marker_monster) markers.push_back(&mesh_globals->markers[i]);
	}
	int64 made = 0;
	for (auto _ : state)
	{
		state.PauseTiming();
		for (int16 i = 0; i < monster_array.count; ++i)
		{
			if (get_monster_data(i)) delete_monster(i, TRUE);
		}
		state.ResumeTiming();
		for (marker_data *marker : markers) made += new_monster(marker) != NONE;
	}
	per_item_counters(state, static_cast<double>(made), "us_per_unit");
	end_benchmark_battle();
}
BENCHMARK(BM_new_monsters)->Arg(MAXIMUM_MONSTERS_PER_MAP)->Unit(benchmark::kMicrosecond);

void BM_map_start_bnch(benchmark::State &state)
{
	if (!harness_initialize())
	{
		state.SkipWithError("the harness did not start");
		return;
	}
	new_game_data setup;
	harness_battle_setup(&setup, TAG("bnch"));
	for (auto _ : state)
	{
		if (!harness_start_map(&setup))
		{
			state.SkipWithError("the benchmark map did not start");
			break;
		}
		harness_end_map();
	}
	harness_shutdown();
}
BENCHMARK(BM_map_start_bnch)->Unit(benchmark::kMillisecond);

} // namespace
