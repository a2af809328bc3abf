// Arbitrary bytes as a model animation, a local physics or a particle group
// definition. The first byte picks the group (its value mod 3: 0 'anim',
// 1 'phys', 2 'lpgr') and, divided by 3, the frames' elapsed ticks (mod 7);
// the rest loads from memory beside the generated set. An animation runs 64
// ticks and lays its shadow; a group (a physics definition drives a copy of
// the sparks) runs 30 frames, each building its surface list for a 32 x 24
// view without rasterizing, then is turned off and run out. Small particle
// and group limits keep every input short; the grass map stays loaded between
// inputs and is loaded afresh after an animation.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "bitmaps.h"
#include "error_manager.h"
#include "map_fuzz_support.h"
#include "model_animations.h"
#include "render/render.h"

namespace {

const file_tag fuzz_tag = TAG("fuzz");
std::vector<uint8> flat_map_bytes;
const world_distance middle = 16 * WORLD_ONE;
const int16 fuzz_particle_limit = 24, fuzz_group_limit = 8;

void set_up_fuzz_directory(void)
{
	open_generated_tag_set(true);
	initialize_model_animations();
	initialize_render();
	start_generated_tag_set_map(true);
	get_local_projectiles_test_hooks()->module_off = FALSE;
	flat_map_bytes = grass_map_tag_data();
	load_fuzz_map(flat_map_bytes);
}

// A view from the west of the map's middle at the observer's pitch, its
// region built: what the frame driver draws into (the frames of one input
// share it, as they share the frame arena).
mesh_region *new_fuzz_view(view_data *view, bitmap_data *screen, render_surface_list *list, int16 elapsed)
{
	render_scene(nullptr); // empties the frame arena
	memset(view, 0, sizeof(*view));
	memset(screen, 0, sizeof(*screen));
	screen->width = 32;
	screen->height = 24;
	view->screen = screen;
	view->tan_half_fov = 0.75f;
	view->vertical_offset = -1 / 7.f;
	view->location.position = {middle - 6 * WORLD_ONE, middle, 3 * WORLD_ONE};
	view->location.pitch = -6144;
	view->game_ticks_elapsed = elapsed;
	update_view_data(view);
	new_surface_list(list);
	view->main_surface_list = list;
	return build_mesh_region(view);
}

void exercise_animation(int16 type, int16 elapsed)
{
	new_model_animation_data request = {};
	request.type = type;
	request.location.position = {middle, middle, 0};
	request.location.pitch = 49152;
	const int16 animation = new_model_animation(&request);
	if (animation == NONE) return;
	if (elapsed & 1) start_model_animation(animation);
	view_data view;
	bitmap_data screen;
	render_surface_list list;
	mesh_region *region = new_fuzz_view(&view, &screen, &list, 1);
	for (int32 tick = 0; tick < 64; ++tick)
	{
		update_model_animations();
		if (tick % 16 == 0) rasterize_visible_animating_shadows(region);
	}
	jump_model_animation_to_frame(animation, elapsed);
	delete_model_animation(animation);
}

void exercise_group(int16 type, int16 elapsed)
{
	new_local_projectile_group_data request = {};
	request.type = type;
	request.center = {middle, middle, 256};
	request.central_object_index = request.central_object_identifier = NONE;
	request.bounds_object_index = request.bounds_object_identifier = NONE;
	request.group_opacity = 65535;
	request.yaw = static_cast<angle>(elapsed * 9000);
	request.color_table_index = NONE;
	const int16 group = new_local_projectile_group(&request);
	view_data view;
	bitmap_data screen;
	render_surface_list list;
	mesh_region *region = new_fuzz_view(&view, &screen, &list, elapsed);
	for (int32 frame = 0; frame < 30; ++frame)
	{
		new_surface_list(&list);
		build_local_projectiles_surface_list(&view, region);
	}
	if (group != NONE) turn_local_projectile_group_off(group);
	view.game_ticks_elapsed = MAXIMUM_ELAPSED_TICKS_PER_UPDATE;
	for (int32 frame = 0; frame < 12 && local_projectile_group_array.total_count > 0; ++frame)
	{
		new_surface_list(&list);
		build_local_projectiles_surface_list(&view, region);
	}
}

// The physics drives a copy of the generated sparks.
void exercise_physics(int16 type, int16 elapsed)
{
	const local_projectile_group_definition *sparks =
		get_local_projectile_group_definition(local_projectile_group_definition_tag_to_index(TAG("sprk")));
	check(sparks != nullptr);
	local_projectile_group_definition copy = *sparks;
	copy.physics_tag = fuzz_tag;
	copy.physics_index = type;
	exercise_group(new_definition(get_local_projectile_group_definitions(), fuzz_tag, &copy), elapsed);
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	if (size < 1 || size > 64 * 1024) return 0;
	enter_fuzz_directory("local-effects", set_up_fuzz_directory);
	const int32 selector = data[0] % 3;
	const int16 elapsed = static_cast<int16>((data[0] / 3) % 7);
	const uint8 *bytes = data + 1;
	const int32 count = static_cast<int32>(size - 1);
	initialize_models_for_new_map();
	initialize_model_animations_for_new_map();
	initialize_local_projectiles_for_new_map();
	set_local_projectile_capacities(fuzz_group_limit, fuzz_particle_limit);
	set_local_random_seed(data[0]);
	if (selector == 0)
	{
		const int16 type = new_model_animation_definition_from_tag_data(fuzz_tag, bytes, count);
		if (type != NONE) exercise_animation(type, elapsed);
	}
	else if (selector == 1)
	{
		const int16 type = new_local_physics_definition_from_tag_data(fuzz_tag, bytes, count);
		if (type != NONE) exercise_physics(type, elapsed);
	}
	else
	{
		const int16 type = new_local_projectile_group_definition_from_tag_data(fuzz_tag, bytes, count);
		if (type != NONE) exercise_group(type, elapsed);
	}
	// A refused load leaves an error behind; the next input starts clean.
	handle_error();
	dispose_local_projectiles_from_old_map();
	dispose_model_animations_from_old_map();
	dispose_models_from_old_map();
	// Particles leave the map as it was; an animation's models marked its cells.
	if (selector == 0)
	{
		dispose_mesh_from_old_map();
		load_fuzz_map(flat_map_bytes);
	}
	leave_fuzz_directory();
	return 0;
}
