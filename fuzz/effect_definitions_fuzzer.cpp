// Arbitrary bytes as a weather or strike definition. The first byte picks the
// group: 0 'part', 1 'wind', 2 'meef', 3 'ligh'; the rest loads from memory
// through the group's descriptor and postprocess, with the generated set
// beside it. The loaded definition then runs on a small map for 30 ticks
// (the weather also for 4 particle frames) and is let go. Seeds are the
// generated tags of each group.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "definitions.h"
#include "error_manager.h"
#include "lightning.h"
#include "map_fuzz_support.h"
#include "mesh_effects.h"
#include "particle_system.h"
#include "render/render_world_builders.h"
#include "weather_content.h"
#include "wind.h"
#include "zerv.h"

namespace {

const file_tag fuzz_tag = TAG("fuzz");
std::vector<uint8> flat_map_bytes;
const world_distance middle = 16 * WORLD_ONE;

void set_up_fuzz_directory(void)
{
	open_generated_tag_set(true);
	initialize_wind();
	initialize_particle_system();
	initialize_mesh_effects();
	initialize_lightning();
	std::vector<int32> handles;
	check(make_default_weather_tags(&handles));
	start_generated_tag_set_map(true);
	flat_map_bytes = grass_map_tag_data();
}

void exercise_particle_system(int16 type)
{
	// Few particles keep the target fast; the loader has met the stored count.
	particle_system_definition *system =
		static_cast<particle_system_definition *>(try_and_get_definition(get_particle_system_definitions(), type));
	system->number_of_particles = static_cast<int16>(PIN(system->number_of_particles, -64, 256));
	if (initialize_particle_system_for_new_map(fuzz_tag))
	{
		for (int32 tick = 0; tick < 30; ++tick) update_particle_clock();
		const world_point2d p = {middle, middle};
		(void)particle_system_intensity(&p);
		switch_snowing_states();
		for (int32 frame = 0; frame < 4; ++frame) update_particles(1 + frame);
	}
	dispose_particle_system_from_old_map();
}

void exercise_wind(int16)
{
	if (initialize_wind_for_new_map(fuzz_tag))
	{
		for (int32 tick = 0; tick < 30; ++tick) update_wind();
	}
	dispose_wind_from_old_map();
}

void exercise_mesh_effect(int16 type)
{
	mesh_effect_definition *effect = get_mesh_effect_definition(type);
	effect->cutoff_radius = static_cast<int16>(PIN(effect->cutoff_radius, -1, 4096));
	const new_mesh_effect_data request = {0, type, {middle, middle}};
	new_mesh_effect(&request);
	for (int32 tick = 0; tick < 30; ++tick) update_mesh_effects();
	build_mesh_effect_surface_list(nullptr, nullptr);
	delete_definition(get_mesh_effect_definitions(), type);
}

void exercise_lightning(int16 type)
{
	const new_lightning_data request = {type, NONE, NONE, {middle, middle, 800}, {middle + 3000, middle - 1000, 0}};
	new_lightning(&request);
	for (int32 tick = 0; tick < 30; ++tick)
	{
		update_lightning();
		if (tick % 10 == 0) build_lightning_surface_list(nullptr, nullptr);
	}
	delete_definition(get_lightning_definitions(), type);
}

struct fuzz_group
{
	definition_globals *(*definitions)(void);
	void (*exercise)(int16);
};

const fuzz_group groups[] = {
	{get_particle_system_definitions, exercise_particle_system},
	{get_wind_definitions, exercise_wind},
	{get_mesh_effect_definitions, exercise_mesh_effect},
	{get_lightning_definitions, exercise_lightning},
};

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	if (size < 1 || size > 64 * 1024) return 0;
	enter_fuzz_directory("effect", set_up_fuzz_directory);
	const fuzz_group &group = groups[data[0] % NUMBEROF(groups)];
	load_fuzz_map(flat_map_bytes);
	initialize_mesh_effects_for_new_map();
	initialize_lightning_for_new_map();
	initialize_definitions_for_new_map(group.definitions());
	const int16 type = new_flat_definition_from_tag_data(group.definitions(), fuzz_tag, data + 1, static_cast<int32>(size - 1));
	if (type != NONE) group.exercise(type);
	// A refused load leaves an error behind; the next input starts clean.
	handle_error();
	dispose_lightning_from_old_map();
	dispose_mesh_effects_from_old_map();
	dispose_mesh_from_old_map();
	leave_fuzz_directory();
	return 0;
}
