// Units on the benchmark map 'bnch' (256 × 256 cells, 400 units): one sight
// stamp of each kind into the back buffer, the swap every 64 ticks makes, a
// blow a unit survives, a bomb that kills one, and the other units forgetting
// a dead one.
#include <benchmark/benchmark.h>

#include "bench_generator.h"
#include "bench_map.h"
#include "damage.h"
#include "mesh.h"
#include "objects.h"
#include "monster_visibility.h"

namespace {

bool start_map(benchmark::State &state)
{
	return start_bench_map(state, TAG("bnch"), [] { return visibility_globals.initialized != FALSE; });
}

void BM_build_monster_visibility(benchmark::State &state)
{
	if (!start_map(state)) return;
	const int16 kind = static_cast<int16>(state.range(0));
	bench_generator generator = {0x51647u};
	int32 points[256][2];
	for (auto &point : points)
	{
		point[0] = generator.below(mesh_globals->mesh_width);
		point[1] = generator.below(mesh_globals->mesh_height);
	}
	int32 i = 0;
	for (auto _ : state)
	{
		rasterize_visibility_bitmap(kind, points[i & 255][0], points[i & 255][1]);
		++i;
	}
	state.counters["ns_per_stamp"] = benchmark::Counter(static_cast<double>(state.iterations()),
		benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
	end_bench_map();
}
BENCHMARK(BM_build_monster_visibility)->DenseRange(0, 3);

void BM_swap_visibility_buffers(benchmark::State &state)
{
	if (!start_map(state)) return;
	for (auto _ : state)
	{
		rasterize_visibility_bitmap(_visibility_bitmap_nearsighted, 128, 128);
		swap_visibility_buffers();
	}
	state.counters["cells"] = static_cast<double>(mesh_globals->mesh_width * mesh_globals->mesh_height);
	end_bench_map();
}
BENCHMARK(BM_swap_visibility_buffers);

} // namespace

namespace {

// Up to 64 live units of the map.
int32 live_units(int16 *units)
{
	int32 count = 0;
	for (int16 i = 0; i < MAXIMUM_MONSTERS_PER_MAP && count < 64; ++i)
	{
		const monster_data *monster = get_monster_data(i);
		if (monster && monster->action != _monster_action_dying) units[count++] = i;
	}
	return count;
}

// Arg 0: a unit of 'bnch' hit by an arrow-like blow it survives (restored
// after), in ns. Arg 1: a bomb that kills the unit, with its death's groups,
// in µs; the map starts again untimed once its first 64 units are dead.
void BM_accelerate_monster(benchmark::State &state)
{
	if (!start_map(state)) return;
	const bool lethal = state.range(0) != 0;
	int16 victims[64];
	int32 count = live_units(victims);
	if (count == 0)
	{
		state.SkipWithError("no units");
		end_bench_map();
		return;
	}
	damage_definition arrow = {};
	arrow.type = _damage_steel_slashing;
	arrow.flags = _damage_is_long_range_flag | _damage_does_not_make_monsters_flinch_flag;
	damage_definition bomb = {};
	bomb.type = _damage_explosion;
	bomb.flags = _damage_area_of_effect_flag;
	int32 i = 0;
	for (auto _ : state)
	{
		if (lethal && i == count)
		{
			state.PauseTiming();
			end_bench_map();
			if (!start_map(state)) return;
			count = live_units(victims);
			i = 0;
			state.ResumeTiming();
		}
		const int16 victim = victims[i++ % count];
		object_data *object = get_object_data(get_monster_data(victim)->object_index);
		damage_data data;
		initialize_damage_data(&data);
		data.epicenter = object->location.position;
		if (lethal)
		{
			data.epicenter.x += WORLD_ONE / 4;
			data.damage = 4 * object->maximum_vitality + 256;
			accelerate_monster(&bomb, &data, victim);
		}
		else
		{
			data.damage = 10;
			accelerate_monster(&arrow, &data, victim);
			object->vitality = object->maximum_vitality;
		}
	}
	end_bench_map();
}
BENCHMARK(BM_accelerate_monster)->Arg(0)->Arg(1)->Unit(benchmark::kNanosecond);

// Every other unit of 'bnch' forgets a dead one (the record is kept).
void BM_monster_died(benchmark::State &state)
{
	if (!start_map(state)) return;
	int32 i = 0;
	for (auto _ : state)
	{
		monster_died(static_cast<int16>(i++ % MAXIMUM_MONSTERS_PER_MAP), _monster_died_deleted);
	}
	state.counters["units"] = static_cast<double>(monster_array.total_count);
	end_bench_map();
}
BENCHMARK(BM_monster_died);

} // namespace
