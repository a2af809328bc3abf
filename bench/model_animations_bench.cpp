// Model effects and animations on the first level: 16 effects turning and
// scaling the stone hut's copies, and 32 gates stepping their frames.
#include <benchmark/benchmark.h>

#include "bench_map.h"
#include "model_animations.h"
#include "model_effects.h"
#include "models.h"

namespace {

void BM_update_model_effects(benchmark::State &state)
{
	if (!start_bench_map(state, HARNESS_FIRST_LEVEL_MAP_TAG)) return;
	const int16 hut = get_model_definition_index(TAG("hut "));
	for (int32 i = 0; i < state.range(0); ++i)
	{
		new_model_data model = {hut, 0, {(4 + 3 * (i % 8)) * 512, (8 + 3 * (i / 8)) * 512, 0}, 16384, 49152, NONE};
		const int16 index = new_model(&model);
		new_model_effect_data request = {};
		request.flags = _scale_model_flag;
		request.duration = 30000;
		request.delta_yaw = 64;
		request.new_permutation = request.set_permutation = request.material_fading_index = NONE;
		request.initial_scale = request.final_scale = 512;
		request.projectile_type_to_create = static_cast<file_tag>(NONE);
		if (index != NONE) new_model_effect(index, NONE, &request);
	}
	// Records made outside the checks may run forever; the benchmark's do.
	for (int16 i = 0; i < model_effect_array.count; ++i)
	{
		if (model_effect_data *effect = get_model_effect_data(i)) effect->duration = INFINITE_DURATION;
	}
	for (auto _ : state) update_model_effects();
	state.counters["ns_per_effect"] = ns_per_item(model_effect_array.total_count);
	end_bench_map();
}
BENCHMARK(BM_update_model_effects)->Arg(16);

void BM_update_model_animations(benchmark::State &state)
{
	if (!start_bench_map(state, HARNESS_FIRST_LEVEL_MAP_TAG)) return;
	const int16 gate = get_model_animation_definition_index(TAG("gate"));
	for (int32 i = 1; i < state.range(0); ++i)
	{
		new_model_animation_data request = {};
		request.type = gate;
		request.location.position = {(4 + 3 * (i % 8)) * 512, (60 + 3 * (i / 8)) * 512, 0};
		request.location.pitch = 49152;
		new_model_animation(&request);
	}
	for (auto _ : state) update_model_animations();
	state.counters["ns_per_animation"] = ns_per_item(model_animation_array.total_count);
	end_bench_map();
}
BENCHMARK(BM_update_model_animations)->Arg(32);

} // namespace
