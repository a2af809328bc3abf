// Projectiles, explosions and damage on the benchmark map 'bnch' through the
// headless harness: arrows in flight and landing among packed trees, arrow
// creation, a bomb's explosion from creation to full size, and explosions
// updating their references. Points come from a fixed local generator.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench_generator.h"
#include "damage.h"
#include "mesh.h"
#include "objects.h"
#include "projectiles.h"
#include "projectiles_content.h"
#include "support/zerv_harness.h"

namespace {

const int32 tree_count = 2000, arrow_count = 500, flight_ticks = 30;
const int32 zone_first_cell = 100, zone_cells = 48;

void per_item_counters(benchmark::State &state, double items, const char *name)
{
	state.counters[name] = benchmark::Counter(items, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

world_point2d zone_point(bench_generator *generator)
{
	return {zone_first_cell * WORLD_ONE + generator->below(zone_cells * WORLD_ONE),
		zone_first_cell * WORLD_ONE + generator->below(zone_cells * WORLD_ONE)};
}

// 'bnch' with its own objects gone and 2,000 'tree' scenery objects packed in the zone.
bool start_battle(benchmark::State &state, std::vector<int16> *trees)
{
	new_game_data setup;
	harness_battle_setup(&setup, TAG("bnch"));
	if (!harness_initialize() || !harness_start_map(&setup) || !mesh_is_loaded())
	{
		state.SkipWithError("the benchmark map did not start");
		harness_shutdown();
		return false;
	}
	for (int16 i = 0; i < object_array.count; ++i) delete_object(i);
	const int16 type = scenery_definition_tag_to_index(DEFAULT_TREE_SCENERY_TAG);
	const scenery_definition *tree = get_scenery_definition(type);
	bench_generator generator = {0x7EE5u};
	for (int32 i = 0; i < tree_count && tree; ++i)
	{
		const world_point2d p = zone_point(&generator);
		new_object_data data = {};
		data.type = tree->object_type;
		data.owner = _object_is_scenery;
		data.owner_index = type;
		data.scale = 256;
		data.location.position = {p.x, p.y, get_mesh_height(&p, _true_height)};
		data.collection_index = NONE;
		const int16 index = new_object(&data);
		if (index == NONE) break;
		object_data *object = get_object_data(index);
		object->flags = (object->flags & ~_object_is_invisible_flag) | _object_is_solid_flag | _object_at_rest_flag;
		object->radius = 48;
		object->height1 = 300;
		trees->push_back(index);
	}
	return true;
}

void end_battle(void)
{
	harness_end_map();
	harness_shutdown();
}

// Trees back to whole health after being hit.
void restore_trees(const std::vector<int16> &trees)
{
	for (int16 index : trees)
	{
		object_data *object = get_object_data(index);
		if (!object) continue;
		object->owner = _object_is_scenery;
		object->vitality = object->maximum_vitality;
		object->location.velocity = {0, 0, 0};
	}
}

void remove_projectiles(void)
{
	for (int16 i = 0; i < projectile_array.count; ++i)
	{
		projectile_data *projectile = get_projectile_data(i);
		if (!projectile) continue;
		delete_object(projectile->object_index);
		delete_datum(&projectile_array, i);
	}
	for (int16 i = 0; i < explosion_array.count; ++i)
	{
		if (get_explosion_data(i)) delete_datum(&explosion_array, i);
	}
}

int16 launch_arrow(bench_generator *generator, bool landing)
{
	const world_point2d p = zone_point(generator);
	new_projectile_data request;
	initialize_new_projectile_data(&request);
	request.type = projectile_definition_tag_to_index(DEFAULT_ARROW_PROJECTILE_TAG);
	const world_distance ground = get_mesh_height(&p, _true_height);
	// Steep upward flights stay aloft for the 30 ticks; landing ones come down into the trees.
	request.location.position = {p.x, p.y, ground + (landing ? 200 : 2000)};
	request.location.velocity = {static_cast<int16>(generator->below(21) - 10), static_cast<int16>(generator->below(21) - 10),
		static_cast<int16>(landing ? -20 : 90)};
	return new_projectile(&request);
}

void BM_update_projectiles(benchmark::State &state)
{
	const bool landing = state.range(0) != 0;
	std::vector<int16> trees;
	if (!start_battle(state, &trees)) return;
	bench_generator generator = {0xA770u};
	for (auto _ : state)
	{
		state.PauseTiming();
		remove_projectiles();
		restore_trees(trees);
		for (int32 i = 0; i < arrow_count; ++i) launch_arrow(&generator, landing);
		state.ResumeTiming();
		for (int32 tick = 0; tick < flight_ticks; ++tick) update_projectiles();
	}
	per_item_counters(state, static_cast<double>(state.iterations()) * arrow_count * flight_ticks, "ns_per_projectile_tick");
	end_battle();
}
BENCHMARK(BM_update_projectiles)->ArgName("500_landing")->Arg(0)->Arg(1);

void BM_new_projectile(benchmark::State &state)
{
	std::vector<int16> trees;
	if (!start_battle(state, &trees)) return;
	bench_generator generator = {0x0A40u};
	for (auto _ : state)
	{
		const int16 index = launch_arrow(&generator, false);
		projectile_data *projectile = get_projectile_data(index);
		if (!projectile) continue;
		delete_object(projectile->object_index);
		delete_datum(&projectile_array, index);
	}
	per_item_counters(state, static_cast<double>(state.iterations()), "ns_per_projectile");
	end_battle();
}
BENCHMARK(BM_new_projectile);

damage_definition bomb_damage(void)
{
	return get_projectile_definition(projectile_definition_tag_to_index(DEFAULT_BOMB_PROJECTILE_TAG))->damage;
}

void BM_cause_damage(benchmark::State &state)
{
	std::vector<int16> trees;
	if (!start_battle(state, &trees)) return;
	const damage_definition damage = bomb_damage();
	bench_generator generator = {0xB00Au};
	double hits = 0;
	for (auto _ : state)
	{
		// Sixteen bombs a round, so that pausing the clock weighs little.
		state.PauseTiming();
		remove_projectiles();
		restore_trees(trees);
		damage_data data[16];
		for (damage_data &one : data)
		{
			initialize_damage_data(&one);
			const world_point2d p = zone_point(&generator);
			one.epicenter = {p.x, p.y, get_mesh_height(&p, _true_height)};
		}
		state.ResumeTiming();
		for (damage_data &one : data)
		{
			cause_damage(NONE, &damage, &one);
			const explosion_data *explosion = get_explosion_data(0);
			hits += explosion ? explosion->object_reference_count : 0;
			while (explosion_array.total_count > 0) update_explosions();
		}
	}
	per_item_counters(state, hits, "ns_per_object_hit");
	end_battle();
}
BENCHMARK(BM_cause_damage);

void BM_update_explosions(benchmark::State &state)
{
	std::vector<int16> trees;
	if (!start_battle(state, &trees)) return;
	damage_definition damage = bomb_damage();
	damage.radius_lower_bound = MAXIMUM_EXPLOSION_RADIUS;
	damage.radius_delta = 0;
	damage.damage_lower_bound = 0; // references are walked, trees stay
	damage.damage_delta = 0;
	double references = 0;
	for (auto _ : state)
	{
		state.PauseTiming();
		remove_projectiles();
		restore_trees(trees);
		for (int32 i = 0; i < MAXIMUM_EXPLOSIONS_PER_MAP; ++i)
		{
			damage_data data;
			initialize_damage_data(&data);
			const world_point2d p = {(zone_first_cell + zone_cells / 2) * WORLD_ONE + 8 * i, (zone_first_cell + zone_cells / 2) * WORLD_ONE};
			data.epicenter = {p.x, p.y, 0};
			cause_damage(NONE, &damage, &data);
		}
		for (int16 i = 0; i < explosion_array.count; ++i)
		{
			const explosion_data *explosion = get_explosion_data(i);
			references += explosion ? explosion->object_reference_count : 0;
		}
		state.ResumeTiming();
		while (explosion_array.total_count > 0) update_explosions();
	}
	per_item_counters(state, references, "ns_per_reference");
	end_battle();
}
BENCHMARK(BM_update_explosions);

} // namespace
