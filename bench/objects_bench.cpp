// Object work on the benchmark map 'bnch' through the headless harness: the
// shared cell walk over circles, rays, the physics and animation tick,
// creation and deletion, and segments against the stone hut. Each layout
// holds exactly 2,000 'body' objects spread over the map or packed into a
// 48 x 48-cell battle zone. Points come from a fixed local generator, never
// from the simulation's stream; times read as ns per object or per query.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench_generator.h"
#include "mesh.h"
#include "models.h"
#include "objects.h"
#include "objects_content.h"
#include "support/zerv_harness.h"
#include "world.h"

namespace {

const int32 object_count = 2000;
const int32 zone_first_cell = 100, zone_cells = 48;
const int32 query_count = 1000;

enum
{
	_spread_layout,
	_packed_layout
};

world_point2d layout_point(bench_generator *generator, int64 layout)
{
	if (layout == _packed_layout)
	{
		const world_distance x = zone_first_cell * WORLD_ONE + generator->below(zone_cells * WORLD_ONE);
		const world_distance y = zone_first_cell * WORLD_ONE + generator->below(zone_cells * WORLD_ONE);
		return {x, y};
	}
	const world_distance extent = mesh_globals->mesh_width * WORLD_ONE - 2 * EDGE_OF_MESH_BUFFER;
	const world_distance x = EDGE_OF_MESH_BUFFER + generator->below(extent);
	const world_distance y = EDGE_OF_MESH_BUFFER + generator->below(extent);
	return {x, y};
}

// The battle map with its own objects gone and 2,000 bodies in the layout.
// False (with the benchmark skipped) when the map cannot be had.
bool start_battle(benchmark::State &state, int64 layout, std::vector<int16> *objects)
{
	if (!harness_initialize())
	{
		state.SkipWithError("harness set-up failed");
		return false;
	}
	new_game_data setup;
	harness_battle_setup(&setup, TAG("bnch"));
	if (!harness_start_map(&setup) || !mesh_is_loaded())
	{
		state.SkipWithError("the benchmark map did not start");
		harness_shutdown();
		return false;
	}
	for (int16 i = 0; i < object_array.count; ++i) delete_object(i);
	const int16 body = object_definition_tag_to_index(DEFAULT_BODY_OBJECT_TAG);
	bench_generator generator = {0x0B1Eu};
	for (int32 i = 0; i < object_count; ++i)
	{
		const world_point2d p = layout_point(&generator, layout);
		new_object_data data = {};
		data.type = body;
		data.scale = 256;
		data.location.position = {p.x, p.y, 0};
		data.location.position.z = get_mesh_height(&p, _true_height);
		data.collection_index = NONE;
		const int16 index = new_object(&data);
		if (index == NONE) break;
		object_data *object = get_object_data(index);
		object->flags &= ~_object_is_invisible_flag;
		object->radius = 64;
		object->height1 = 160;
		objects->push_back(index);
	}
	return true;
}

void end_battle(void)
{
	harness_end_map();
	harness_shutdown();
}

void per_item_counters(benchmark::State &state, double items, const char *name)
{
	state.counters[name] = benchmark::Counter(items, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_objects_in_circle(benchmark::State &state)
{
	const world_distance radius = static_cast<world_distance>(state.range(0));
	const int64 layout = state.range(1);
	std::vector<int16> objects;
	if (!start_battle(state, layout, &objects)) return;
	bench_generator generator = {0xC12Cu};
	std::vector<world_point2d> centres;
	for (int32 i = 0; i < query_count; ++i) centres.push_back(layout_point(&generator, layout));

	int64 examined = 0, cells = 0, inside = 0;
	for (auto _ : state)
	{
		for (const world_point2d &c : centres)
		{
			const int32 x0 = (c.x - radius) >> WORLD_FRACTIONAL_BITS, x1 = (c.x + radius) >> WORLD_FRACTIONAL_BITS;
			const int32 y0 = (c.y - radius) >> WORLD_FRACTIONAL_BITS, y1 = (c.y + radius) >> WORLD_FRACTIONAL_BITS;
			cells += static_cast<int64>(x1 - x0 + 1) * (y1 - y0 + 1);
			object_cell_walk walk;
			start_object_cell_walk(&walk, x0, y0, x1, y1);
			for (int16 i = next_object_in_cell_walk(&walk); i != NONE; i = next_object_in_cell_walk(&walk))
			{
				const object_data *object = get_object_data(i);
				const int64 dx = object->location.position.x - c.x, dy = object->location.position.y - c.y;
				examined += 1;
				inside += dx * dx + dy * dy <= static_cast<int64>(radius) * radius;
			}
		}
	}
	benchmark::DoNotOptimize(inside);
	per_item_counters(state, static_cast<double>(examined), "ns_per_object");
	per_item_counters(state, static_cast<double>(cells + examined), "ns_per_cell_and_object");
	per_item_counters(state, static_cast<double>(state.iterations()) * query_count, "ns_per_query");
	state.SetItemsProcessed(examined);
	end_battle();
}
BENCHMARK(BM_objects_in_circle)->ArgsProduct({{512, 1024, 2048, 4096}, {_spread_layout, _packed_layout}});

void BM_nearest_obstruction(benchmark::State &state)
{
	std::vector<int16> objects;
	if (!start_battle(state, _packed_layout, &objects)) return;
	bench_generator generator = {0x5A75u};
	std::vector<world_point3d> origins;
	std::vector<angle> yaws;
	for (int32 i = 0; i < query_count; ++i)
	{
		const world_point2d p = layout_point(&generator, _packed_layout);
		origins.push_back({p.x, p.y, get_mesh_height(&p, _true_height) + 64});
		yaws.push_back(static_cast<angle>(generator.below(65536)));
	}
	int64 found = 0;
	for (auto _ : state)
	{
		for (int32 i = 0; i < query_count; ++i) found += nearest_obstruction(NONE, &origins[i], yaws[i], 0, 32) != NONE;
	}
	benchmark::DoNotOptimize(found);
	per_item_counters(state, static_cast<double>(state.iterations()) * query_count, "ns_per_ray");
	state.SetItemsProcessed(state.iterations() * query_count);
	end_battle();
}
BENCHMARK(BM_nearest_obstruction);

void BM_object_tick(benchmark::State &state)
{
	const bool packed = state.range(0) == _packed_layout;
	std::vector<int16> objects;
	if (!start_battle(state, packed ? _packed_layout : _spread_layout, &objects)) return;
	// 400 walkers that meet nothing, or all 2,000 packed bodies.
	if (!packed)
	{
		objects.resize(400);
		for (int16 index : objects) get_object_data(index)->flags &= ~_object_is_solid_flag;
	}
	bench_generator generator = {0x7153u};
	for (int16 index : objects)
	{
		object_data *object = get_object_data(index);
		object->location.velocity = {static_cast<int16>(generator.below(9) - 4), static_cast<int16>(generator.below(9) - 4), 0};
	}
	for (auto _ : state)
	{
		for (int16 index : objects)
		{
			move_object(index);
			animate_object(index);
			object_data *object = get_object_data(index);
			// Keep walking: a body at rest starts again, turned.
			if (object->location.velocity.i == 0 && object->location.velocity.j == 0)
			{
				object->location.velocity = {static_cast<int16>(generator.below(9) - 4), static_cast<int16>(generator.below(9) - 4), 0};
			}
		}
	}
	per_item_counters(state, static_cast<double>(state.iterations()) * objects.size(), "ns_per_object");
	state.SetItemsProcessed(state.iterations() * static_cast<int64>(objects.size()));
	end_battle();
}
BENCHMARK(BM_object_tick)->Arg(_spread_layout)->Arg(_packed_layout);

void BM_new_delete_object(benchmark::State &state)
{
	std::vector<int16> objects;
	if (!start_battle(state, _packed_layout, &objects)) return;
	bench_generator generator = {0xDE1Eu};
	const int16 body = object_definition_tag_to_index(DEFAULT_BODY_OBJECT_TAG);
	std::vector<world_point2d> points;
	for (int32 i = 0; i < query_count; ++i) points.push_back(layout_point(&generator, _packed_layout));
	for (auto _ : state)
	{
		for (const world_point2d &p : points)
		{
			new_object_data data = {};
			data.type = body;
			data.scale = 256;
			data.location.position = {p.x, p.y, 0};
			data.collection_index = NONE;
			delete_object(new_object(&data));
		}
	}
	per_item_counters(state, static_cast<double>(state.iterations()) * query_count, "ns_per_pair");
	state.SetItemsProcessed(state.iterations() * query_count);
	end_battle();
}
BENCHMARK(BM_new_delete_object);

void BM_object_hit_model(benchmark::State &state)
{
	const bool through_model = state.range(0) != 0;
	std::vector<int16> objects;
	if (!start_battle(state, _spread_layout, &objects)) return;
	const world_distance hut_x = 60 * WORLD_ONE, hut_y = 60 * WORLD_ONE;
	const world_point2d hut_point = {hut_x, hut_y};
	new_model_data request = {get_model_definition_index(DEFAULT_HUT_MODEL_TAG), 0,
		{hut_x, hut_y, get_mesh_height(&hut_point, _true_height)}, HUT_MODEL_YAW, HUT_MODEL_PITCH, NONE};
	if (new_model(&request) == NONE)
	{
		state.SkipWithError("the hut could not be placed");
		end_battle();
		return;
	}
	bench_generator generator = {0x4117u};
	std::vector<world_point3d> starts, ends;
	for (int32 i = 0; i < query_count; ++i)
	{
		const world_distance base_x = through_model ? hut_x - 512 : 20 * WORLD_ONE;
		const world_point3d from = {base_x + generator.below(1024), hut_y - 512 + generator.below(1024), 100 + generator.below(600)};
		starts.push_back(from);
		ends.push_back({from.x + generator.below(64) - 32, from.y + generator.below(64) - 32, from.z - 40});
	}
	int64 hits = 0;
	for (auto _ : state)
	{
		for (int32 i = 0; i < query_count; ++i)
		{
			world_point3d end = ends[i];
			world_vector3d normal;
			int16 model;
			hits += object_hit_model(&starts[i], &end, &normal, &model, 16);
		}
	}
	benchmark::DoNotOptimize(hits);
	per_item_counters(state, static_cast<double>(state.iterations()) * query_count, "ns_per_segment");
	state.SetItemsProcessed(state.iterations() * query_count);
	end_battle();
}
BENCHMARK(BM_object_hit_model)->Arg(1)->Arg(0);

} // namespace
