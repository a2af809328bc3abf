// Pathfinding and formations on the benchmark map 'bnch' through the headless
// harness: single searches across the map, around and into the lake, a whole
// box-formation move order of 126 units, and every formation type.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench_map.h"
#include "formations.h"
#include "definitions.h"
#include "mesh.h"
#include "monster_commands.h"
#include "monster_definitions.h"
#include "monsters.h"
#include "objects.h"
#include "path.h"
#include "world.h"

namespace {

// Human depth and deeper, and walking-impassable.
const uint16 bench_mask = static_cast<uint16>(FLAG(_terrain_media_human_depth) | FLAG(_terrain_media_giant_depth) |
	FLAG(_terrain_media_deep) | FLAG(_terrain_walking_impassable));

world_point2d centre_of(int32 x, int32 y)
{
	return {x * WORLD_ONE + WORLD_ONE_HALF, y * WORLD_ONE + WORLD_ONE_HALF};
}

int16 timed_path(world_point2d p0, world_point2d p1)
{
	path_variables variables = {};
	variables.terrain_impassability_flags = bench_mask;
	variables.owner_object_index = NONE;
	variables.p0 = p0;
	variables.p1 = p1;
	return new_path(NONE, &variables);
}

void BM_new_path(benchmark::State &state)
{
	if (!start_bench_map(state, TAG("bnch"))) return;
	static const int32 cases[][4] = {{40, 40, 200, 200}, {30, 60, 66, 60}, {60, 60, 48, 60}};
	const int32 *c = cases[state.range(0)];
	for (auto _ : state)
	{
		int16 index = timed_path(centre_of(c[0], c[1]), centre_of(c[2], c[3]));
		benchmark::DoNotOptimize(index);
		state.PauseTiming();
		delete_path(&index);
		state.ResumeTiming();
	}
	state.counters["nodes"] = get_path_test_hooks()->nodes_used;
	end_bench_map();
}
BENCHMARK(BM_new_path)->Unit(benchmark::kMicrosecond)->Arg(0)->Name("BM_new_path/across");
BENCHMARK(BM_new_path)->Unit(benchmark::kMicrosecond)->Arg(1)->Name("BM_new_path/lake_detour");
BENCHMARK(BM_new_path)->Unit(benchmark::kMicrosecond)->Arg(2)->Name("BM_new_path/unreachable");

// 126 units of one kind in a 12 x 11 block at cell (40, 40) ordered to
// (200, 200) in box formation through the real command: the executor lays out
// the slots and gives each unit its waypoint, then each unit's search to its
// slot. Deleting the paths and restoring the units are not timed.
void BM_move_order_126(benchmark::State &state)
{
	if (!start_bench_map(state, TAG("bnch"))) return;
	const int32 count = 126;
	// The map's own armies make room for the block.
	for (int16 i = 0; i < MAXIMUM_MONSTERS_PER_MAP; ++i)
	{
		if (get_monster_data(i)) delete_monster(i, TRUE);
	}
	std::vector<int16> units;
	for (int32 i = 0; i < count; ++i)
	{
		const world_point2d p = centre_of(40 + i % 12, 40 + i / 12);
		const world_point3d where = {p.x, p.y, 0};
		const int16 unit = new_monster_at_location(TAG("sold"), &where, 0, 0, 0);
		if (unit == NONE || !get_monster_data(unit)) break;
		units.push_back(unit);
	}
	if (units.size() != static_cast<size_t>(count))
	{
		state.SkipWithError("the block did not fit");
		end_bench_map();
		return;
	}
	std::vector<monster_data> saved_units;
	std::vector<object_data> saved_objects;
	for (int16 unit : units)
	{
		const monster_data *monster = get_monster_data(unit);
		saved_units.push_back(*monster);
		saved_objects.push_back(*get_object_data(monster->object_index));
	}

	command_movement_data data = {};
	data.flags = _command_movement_formation_flag;
	data.formation_index = _formation_box;
	const world_point2d target = centre_of(200, 200);
	handle_movement_command(COMMAND_FROM_STREAM, &data, count, units.data(), 1, &target);
	void *queued = dequeue_outgoing_command();
	if (!queued)
	{
		state.SkipWithError("the order was not queued");
		end_bench_map();
		return;
	}
	command_header header;
	command_read_header(queued, &header);
	header.player_index = 0;
	std::vector<uint8> order(static_cast<uint8 *>(queued), static_cast<uint8 *>(queued) + header.size);
	command_write_header(order.data(), &header);
	std::vector<uint8> command(order);

	int64 searches = 0;
	for (auto _ : state)
	{
		// The executor decodes in place.
		state.PauseTiming();
		command = order;
		state.ResumeTiming();
		execute_movement_command(command.data(), COMMAND_FROM_STREAM);
		for (int16 unit : units)
		{
			monster_data *monster = get_monster_data(unit);
			const object_data *object = get_object_data(monster->object_index);
			path_variables request = {};
			request.terrain_impassability_flags = monster->terrain_impassability_flags;
			request.owner_object_index = monster->object_index;
			request.p0 = {object->location.position.x, object->location.position.y};
			request.p1 = monster->waypoints[0];
			monster->path_index = new_path(unit, &request);
			searches += monster->path_index >= 0;
		}
		state.PauseTiming();
		for (size_t i = 0; i < units.size(); ++i)
		{
			monster_data *monster = get_monster_data(units[i]);
			delete_path(&monster->path_index);
			*get_object_data(monster->object_index) = saved_objects[i];
			*monster = saved_units[i];
		}
		state.ResumeTiming();
	}
	state.counters["paths"] = benchmark::Counter(static_cast<double>(searches), benchmark::Counter::kAvgIterations);
	end_bench_map();
}
BENCHMARK(BM_move_order_126)->Unit(benchmark::kMillisecond);

// The same block walking through itself towards (200, 200): every unit's
// waypoint bent around its neighbours. Units are bare records on the map.
void BM_adjust_path_destination(benchmark::State &state)
{
	if (!start_bench_map(state, TAG("bnch"))) return;
	// The map's own armies make room for the block.
	for (int16 i = 0; i < MAXIMUM_MONSTERS_PER_MAP; ++i)
	{
		if (get_monster_data(i)) delete_monster(i, TRUE);
	}
	monster_definition d = *get_default_monster_definition();
	d.pathfinding_radius = 162;
	d.size = 1;
	d.flags = 0;
	const int16 kind = new_definition_for_group(get_monster_definitions(), MONSTER_DEFINITION_GROUP_TAG, TAG("crwd"), NONE, &d);
	std::vector<int16> units;
	for (int32 i = 0; i < 126 && kind != NONE; ++i)
	{
		const world_point2d p = centre_of(40 + i % 12, 40 + i / 12);
		const int16 object_index = new_datum(&object_array), monster_index = new_datum(&monster_array);
		if (object_index == NONE || monster_index == NONE) break;
		object_data *object = get_object_data(object_index);
		object->flags = _object_is_solid_flag;
		object->location.position = {p.x, p.y, 0};
		object->location.yaw = 8192;
		object->radius = 128;
		object->owner = _object_is_monster;
		object->owner_index = monster_index;
		mesh_cell *cell = get_mesh_cell(p.x >> WORLD_FRACTIONAL_BITS, p.y >> WORLD_FRACTIONAL_BITS);
		object->next_object_index = cell->first_object_index;
		cell->first_object_index = object_index;
		rebuild_object_cell_occupancy();
		monster_data *monster = get_monster_data(monster_index);
		monster->type = kind;
		monster->object_index = object_index;
		monster->avoiding_object_index = NONE;
		monster->target_monster_index = NONE;
		monster->desired_yaw = 8192;
		monster->action = _monster_action_moving;
		monster->base_movement_speed = 100;
		monster->path_index = new_datum(&path_array);
		if (monster->path_index == NONE) break;
		get_path_data(monster->path_index)->waypoint = {p.x + 4096, p.y + 4096};
		units.push_back(monster_index);
	}
	if (units.size() != 126) state.SkipWithError("the crowd did not fit");
	for (auto _ : state)
	{
		for (int16 unit : units) adjust_path_destination_for_obstacles(unit);
	}
	end_bench_map();
}
BENCHMARK(BM_adjust_path_destination)->Unit(benchmark::kMicrosecond)->Name("BM_adjust_path_destination/crowd126");

void BM_build_formation(benchmark::State &state)
{
	initialize_world();
	initialize_formations();
	initialize_formations_for_new_map();
	const int16 type = static_cast<int16>(state.range(0)), count = static_cast<int16>(state.range(1));
	std::vector<world_point2d> slots(count);
	std::vector<angle> facings(count);
	const world_point2d center = centre_of(100, 100);
	for (auto _ : state)
	{
		build_formation(NONE, type, &center, slots.data(), facings.data(), 8192, count);
		benchmark::DoNotOptimize(slots.data());
	}
	dispose_formations_from_old_map();
}
BENCHMARK(BM_build_formation)->ArgsProduct({benchmark::CreateDenseRange(0, 9, 1), {126}})->ArgNames({"type", "units"});

} // namespace
