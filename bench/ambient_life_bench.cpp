// Ambient life on the first level: n animals of one kind added to the
// level's own, and one pass of their actions, in ns per animal.
#include <benchmark/benchmark.h>

#include <vector>

#include "map_actions/ambient_life/ambient_life_procs.h"
#include "map_actions/map_actions.h"
#include "mesh.h"
#include "monster_ambient_life.h"
#include "monsters.h"
#include "objects.h"
#include "unit_definitions.h"
#include "support/zerv_harness.h"
#include "world.h"

namespace {

struct ambient_kind
{
	file_tag tag;
	uint32 (*proc)(int16 action_index);
};

const ambient_kind kinds[] = {
	{TAG("chic"), chicken_action_proc}, {TAG("deer"), deer_action_proc}, {TAG("peas"), peasant_action_proc},
	{TAG("soar"), soaring_action_proc}};

// Args: kind (0 chicken, 1 deer, 2 peasant, 3 bird), animals added (as many as the pool takes).
void BM_ambient_life_pass(benchmark::State &state)
{
	const ambient_kind &kind = kinds[state.range(0)];
	new_game_data setup;
	harness_level_setup(&setup);
	if (!harness_initialize() || !harness_start_map(&setup))
	{
		state.SkipWithError("the first level did not start");
		harness_shutdown();
		return;
	}
	// On a grid over the middle of the level, one cell apart.
	const int32 wanted = static_cast<int32>(state.range(1));
	// The player whose unit row of the kind the level's own animals come from.
	int16 owner = NONE;
	definition_globals *units = get_unit_definitions();
	for (int16 i = 0; i < units->count && owner == NONE; ++i)
	{
		const unit_definition *unit = get_unit_definition(i);
		if (unit && unit->parent_unit_tag == kind.tag) owner = unit->player_index;
	}
	const int32 width = mesh_globals->mesh_width, height = mesh_globals->mesh_height;
	int32 made = 0;
	for (int32 i = 0; i < wanted * 4 && made < wanted; ++i)
	{
		const world_point2d ground = {static_cast<world_distance>((width / 4 + i % (width / 2)) * WORLD_ONE),
			static_cast<world_distance>((height / 4 + i / (width / 2)) * WORLD_ONE)};
		const world_point3d location = {ground.x, ground.y, get_mesh_height(&ground, _true_height)};
		const int16 index = new_monster_at_location(kind.tag, &location, owner, 0, 0);
		if (index == NONE) break;
		made += 1;
	}
	std::vector<int16> actions;
	for (int16 a = 0; a < map_action_array.count; ++a)
	{
		const map_action *action = get_map_action(a);
		if (action && action->tag == kind.tag) actions.push_back(a);
	}
	for (auto _ : state)
	{
		for (int16 a : actions) benchmark::DoNotOptimize(kind.proc(a));
	}
	const double animals = static_cast<double>(actions.size());
	state.counters["animals"] = animals;
	state.counters["ns_per_animal"] = benchmark::Counter(animals * static_cast<double>(state.iterations()),
		benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
	harness_end_map();
	harness_shutdown();
}
BENCHMARK(BM_ambient_life_pass)
	->Args({0, 32})->Args({0, 128})->Args({0, 341})
	->Args({1, 32})->Args({1, 128})->Args({1, 192})
	->Args({2, 32})->Args({2, 128})->Args({2, 341})
	->Args({3, 32})->Args({3, 128})->Args({3, 512});

} // namespace
