// Particles on the first level through the headless harness: 20 groups of 250
// particles of one kind (or a mix) advanced by frames of 1 and 6 ticks, the
// whole frame driver, and 256 mirrors over shared flame and smoke groups.
// Fixed local seeds; times read as ns per particle or per mirror.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench_map.h"
#include "local_projectiles.h"
#include "mirror_groups.h"
#include "world.h"

namespace {

const int32 group_count = 20;

bool start_level(benchmark::State &state)
{
	if (!start_bench_map(state, HARNESS_FIRST_LEVEL_MAP_TAG)) return false;
	set_local_projectile_capacities(LOCAL_PROJECTILE_GROUP_CAPACITY, LOCAL_PROJECTILE_CAPACITY);
	return true;
}

// Groups of a kind that keep their particles: the definition's own flags
// would let bursts die away, so each group is topped up as it runs.
std::vector<int16> make_groups(const std::vector<file_tag> &kinds, int16 particles)
{
	std::vector<int16> groups;
	set_local_random_seed(0x5EED);
	for (int32 i = 0; i < group_count; ++i)
	{
		const int16 type = local_projectile_group_definition_tag_to_index(kinds[static_cast<size_t>(i) % kinds.size()]);
		local_projectile_group_definition *definition = get_local_projectile_group_definition(type);
		if (!definition) continue;
		definition->flags &= ~static_cast<uint32>(_group_projectiles_never_get_recreated_flag |
			_group_has_startup_transition_flag | _group_delete_after_particles_are_gone_flag);
		new_local_projectile_group_data request = {};
		request.type = type;
		request.center = {(20 + 2 * i) * WORLD_ONE, 40 * WORLD_ONE, 1024};
		request.central_object_index = request.central_object_identifier = NONE;
		request.bounds_object_index = request.bounds_object_identifier = NONE;
		request.group_opacity = 65535;
		request.color_table_index = NONE;
		const int16 index = new_local_projectile_group(&request);
		if (index == NONE) continue;
		set_local_projectile_group_target_number(index, particles);
		maintain_target_number_of_projectiles(index, particles);
		groups.push_back(index);
	}
	return groups;
}

void BM_local_particles_update(benchmark::State &state, std::vector<file_tag> kinds)
{
	const int16 particles = static_cast<int16>(state.range(0) / group_count);
	const int16 ticks = static_cast<int16>(state.range(1));
	if (!start_level(state)) return;
	const std::vector<int16> groups = make_groups(kinds, particles);
	// Bursts thin out between top-ups: each update counts the particles it left.
	double updated = 0;
	for (auto _ : state)
	{
		for (int16 group : groups) update_local_projectile_group(group, ticks);
		updated += local_projectile_array.total_count;
	}
	state.counters["ns_per_particle"] = benchmark::Counter(updated, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
	end_bench_map();
}
BENCHMARK_CAPTURE(BM_local_particles_update, blood, std::vector<file_tag>{TAG("blod")})->Args({5000, 1})->Args({5000, 6});
BENCHMARK_CAPTURE(BM_local_particles_update, debris, std::vector<file_tag>{TAG("debr")})->Args({5000, 1})->Args({5000, 6});
BENCHMARK_CAPTURE(BM_local_particles_update, sparks, std::vector<file_tag>{TAG("sprk")})->Args({5000, 1})->Args({5000, 6});
BENCHMARK_CAPTURE(BM_local_particles_update, mixed,
	std::vector<file_tag>{TAG("blod"), TAG("debr"), TAG("sprk"), TAG("swrl"), TAG("dust")})->Args({5000, 1})->Args({5000, 6});

// The whole frame driver over the mixed groups, one tick a frame, drawing into
// a 1024 x 768 view of them.
void BM_local_particles_frame(benchmark::State &state, std::vector<file_tag> kinds)
{
	const int16 particles = static_cast<int16>(state.range(0) / group_count);
	if (!start_level(state)) return;
	make_groups(kinds, particles);
	bench_view frame;
	frame.time_frames(state, 1024, 768, {39 * WORLD_ONE, 40 * WORLD_ONE}, 1, build_local_projectiles_surface_list);
	state.counters["ns_per_particle"] = ns_per_item(local_projectile_array.total_count);
	end_bench_map();
}
BENCHMARK_CAPTURE(BM_local_particles_frame, mixed,
	std::vector<file_tag>{TAG("blod"), TAG("debr"), TAG("sprk"), TAG("swrl"), TAG("dust")})->Arg(5000);

// Five flame and three smoke groups of 32 particles shared by the mirrors, which
// stand on the ground over the level's south-west 32 x 32 cells.
bool start_mirrors(benchmark::State &state, int32 mirrors)
{
	if (!start_level(state)) return false;
	std::vector<int16> shared;
	for (file_tag kind : {TAG("fire"), TAG("fire"), TAG("fire"), TAG("fire"), TAG("fire"), TAG("smff"), TAG("smff"), TAG("smff")})
	{
		new_local_projectile_group_data request = {};
		request.type = local_projectile_group_definition_tag_to_index(kind);
		request.flags = _group_is_never_visible_flag;
		request.center = {30 * WORLD_ONE, 30 * WORLD_ONE, 512};
		request.central_object_index = request.central_object_identifier = NONE;
		request.bounds_object_index = request.bounds_object_identifier = NONE;
		request.group_opacity = 65535;
		request.color_table_index = NONE;
		const int16 index = new_local_projectile_group(&request);
		if (index == NONE) continue;
		set_local_projectile_group_target_number(index, 32);
		maintain_target_number_of_projectiles(index, 32);
		shared.push_back(index);
	}
	for (int32 i = 0; i < mirrors && !shared.empty(); ++i)
	{
		const world_point2d at = {(i % 16) * 2 * WORLD_ONE + WORLD_ONE_HALF, (i / 16) * 2 * WORLD_ONE + WORLD_ONE_HALF};
		new_mirror_group_data request = {shared[static_cast<size_t>(i) % shared.size()],
			{at.x, at.y, get_mesh_height(&at, _true_height)}, -1, 30, 30,
			get_local_projectile_group_data(shared[static_cast<size_t>(i) % shared.size()])->type, _group_is_never_visible_flag};
		new_mirror_group(&request);
	}
	return true;
}

void BM_mirror_groups_update(benchmark::State &state)
{
	if (!start_mirrors(state, static_cast<int32>(state.range(0)))) return;
	for (auto _ : state) update_mirror_groups();
	state.counters["ns_per_mirror"] = ns_per_item(mirror_group_array.total_count);
	end_bench_map();
}
BENCHMARK(BM_mirror_groups_update)->Arg(256);

// The mirrors drawn, fully faded in, into a 1024 x 768 view of their cells.
void BM_mirror_groups_surface_list(benchmark::State &state)
{
	if (!start_mirrors(state, static_cast<int32>(state.range(0)))) return;
	for (int32 tick = 0; tick < 31; ++tick) update_mirror_groups();
	bench_view frame;
	frame.time_frames(state, 1024, 768, {16 * WORLD_ONE, 16 * WORLD_ONE}, 0, build_mirror_groups_surface_list);
	state.counters["ns_per_mirror"] = ns_per_item(mirror_group_array.total_count);
	state.counters["ns_per_mirrored_particle"] = ns_per_item(mirror_group_array.total_count * 32.0);
	end_bench_map();
}
BENCHMARK(BM_mirror_groups_surface_list)->Arg(256);

} // namespace
