// Targeting and attacks in the 'bnch' crowd (400 units): the target scan,
// the attack choice, an aimed attack with its line-of-fire and friendly-fire
// tests, and the projectile solution alone.
#include <benchmark/benchmark.h>

#include "bench_battle.h"

#include "monsters.h"
#include "objects.h"
#include "support/zerv_harness.h"
#include "world.h"
#include "zerv.h"

namespace {

// Every unit takes the enemy nearest to it, so that choices and aims have a target.
void pair_everyone(void)
{
	for (int16 i = 0; i < monster_array.count; ++i)
	{
		monster_data *monster = get_monster_data(i);
		const object_data *object = monster ? get_object_data(monster->object_index) : nullptr;
		if (!object) continue;
		int16 best = NONE;
		world_distance best_distance = 0;
		for (int16 j = 0; j < monster_array.count; ++j)
		{
			const monster_data *other = get_monster_data(j);
			const object_data *other_object = other ? get_object_data(other->object_index) : nullptr;
			if (!other_object || other->owner_team_index == monster->owner_team_index) continue;
			const world_point2d a = {object->location.position.x, object->location.position.y};
			const world_point2d b = {other_object->location.position.x, other_object->location.position.y};
			const world_distance d = distance2d(&a, &b);
			if (best == NONE || d < best_distance)
			{
				best = j;
				best_distance = d;
			}
		}
		monster->target_monster_index = best;
		monster->flags |= _monster_has_valid_target_flag | _monster_has_valid_target_index_flag;
	}
}

void BM_closest_most_appropriate_target(benchmark::State &state)
{
	if (!start_benchmark_battle(state)) return;
	int16 unit = 0;
	for (auto _ : state)
	{
		benchmark::DoNotOptimize(closest_most_appropriate_target(unit, _closest_most_appropriate_target_periodic_scan));
		unit = static_cast<int16>((unit + 1) % monster_array.count);
	}
	state.SetItemsProcessed(state.iterations());
	end_benchmark_battle();
}
BENCHMARK(BM_closest_most_appropriate_target);

void BM_choose_monster_attack_index(benchmark::State &state)
{
	if (!start_benchmark_battle(state)) return;
	pair_everyone();
	int16 unit = 0;
	for (auto _ : state)
	{
		benchmark::DoNotOptimize(choose_monster_attack_index(unit, _choose_best_possible_attack_index));
		unit = static_cast<int16>((unit + 1) % monster_array.count);
	}
	state.SetItemsProcessed(state.iterations());
	end_benchmark_battle();
}
BENCHMARK(BM_choose_monster_attack_index);

void BM_handle_monster_attack_aim(benchmark::State &state)
{
	if (!start_benchmark_battle(state)) return;
	pair_everyone();
	int16 unit = 0;
	for (auto _ : state)
	{
		benchmark::DoNotOptimize(handle_monster_attack(unit, 0, _monster_attack_aim));
		unit = static_cast<int16>((unit + 1) % monster_array.count);
	}
	state.SetItemsProcessed(state.iterations());
	end_benchmark_battle();
}
BENCHMARK(BM_handle_monster_attack_aim)->Name("BM_handle_monster_attack/aim");

void BM_aim_projectile(benchmark::State &state)
{
	initialize_world();
	const world_point3d origin = {8000, 8000, 300};
	int32 step = 0;
	for (auto _ : state)
	{
		world_point3d target = {9000 + (step & 4095), 8000 + ((step >> 3) & 1023), 0};
		angle pitch = 0;
		int16 flight_time = 0;
		benchmark::DoNotOptimize(solve_projectile_aim(140, -2, (step & 1) != 0, &origin, &target, &pitch, &flight_time));
		++step;
	}
	state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_aim_projectile);

} // namespace
