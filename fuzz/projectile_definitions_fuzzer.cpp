// Arbitrary bytes as a definition of this module's groups. The first byte
// picks the group: 0 'proj', 1 'prgr', 2 'scen', 3 'conn', 4 'arti'; the rest
// loads from memory through the group's descriptor and postprocess, with the
// generated set beside it so that references resolve. One thing of that kind
// is then made on a small map (a projectile, a group, a scenery object struck
// by an explosion, a fence of two generated posts) and run for 30 ticks.
// Seeds are the generated tags of each group.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "connectors.h"
#include "damage.h"
#include "definitions.h"
#include "error_manager.h"
#include "map_fuzz_support.h"
#include "objects.h"
#include "monsters.h"
#include "projectiles.h"
#include "scenery.h"
#include "zerv.h"

namespace {

const file_tag fuzz_tag = TAG("fuzz");
std::vector<uint8> flat_map_bytes;

void set_up_fuzz_directory(void)
{
	open_generated_tag_set(false);
	initialize_connectors();
	start_generated_tag_set_map(false);
	initialize_connectors_for_new_map();
	flat_map_bytes = grass_map_tag_data();
}

const world_distance middle = 16 * WORLD_ONE;

// Past this many live projectiles and explosions a swarm only repeats the same
// paths at a growing cost per input: the ticks stop there.
const int16 maximum_live_effects = 48;

void run_ticks(void)
{
	for (int32 tick = 0; tick < 30; ++tick)
	{
		if (projectile_array.total_count + explosion_array.total_count > maximum_live_effects) break;
		update_projectiles();
		update_explosions();
		update_connectors();
		update_animating_scenery();
	}
}

int16 scenery_object(int16 type, world_distance x, world_distance y)
{
	const scenery_definition *definition = get_scenery_definition(type);
	const collection_reference *reference = definition ? get_collection_reference(definition->collection_reference_index) : nullptr;
	if (!reference) return NONE;
	new_object_data request = {};
	request.type = definition->object_type;
	request.owner = _object_is_scenery;
	request.owner_index = type;
	request.scale = 256;
	request.location.position = {x, y, 0};
	request.collection_index = reference->collection_index;
	const int16 object_index = new_object(&request);
	if (object_index == NONE) return NONE;
	set_object_shape(object_index, definition->sequence_indexes[_scenery_sequence_undamaged], 256, _transfer_mode_none, 0, 0, FALSE);
	return object_index;
}

void exercise_projectile(int16 type)
{
	new_projectile_data request;
	initialize_new_projectile_data(&request);
	request.type = type;
	request.location.position = {middle, middle, 600};
	request.location.velocity = {25, -10, 30};
	request.flags = _projectile_has_valid_target_location_flag;
	request.target_location = {middle + 2000, middle, 0};
	new_projectile(&request);
	run_ticks();
}

void exercise_group(int16 type)
{
	// Small bursts keep the target fast; the loader has already met the stored counts.
	projectile_group_definition *definition = get_projectile_group_definition(type);
	for (projectile_group_part_definition &part : definition->parts)
	{
		part.count_lower_bound = static_cast<int16>(PIN(part.count_lower_bound, -8, 8));
		part.count_delta = static_cast<int16>(PIN(part.count_delta, -8, 8));
	}
	new_object_data request = {};
	request.type = NONE;
	request.scale = 256;
	request.location.position = {middle, middle, 200};
	request.collection_index = NONE;
	const int16 bounds = new_object(&request);
	new_projectile_group_data group = {};
	group.flags = _new_projectile_group_delayed_flag;
	group.type = type;
	group.owner_object_index = group.bounds_object_index = bounds;
	group.owner_monster_index = NONE;
	group.epicenter = {middle, middle, 100};
	group.velocity = 40;
	new_projectile_group(&group);
	run_ticks();
}

void exercise_scenery(int16 type)
{
	const int16 object_index = scenery_object(type, middle, middle);
	if (object_index == NONE) return;
	new_animating_scenery(object_index, 0);
	const scenery_definition *definition = get_scenery_definition(type);
	const world_point2d p = {middle, middle};
	mark_cells_for_scenery(&p, definition->flags & 0xFF ? 700 : 100, TRUE);
	damage_definition blow = {};
	blow.type = _damage_explosion;
	blow.flags = _damage_area_of_effect_flag;
	blow.damage_lower_bound = 300;
	blow.radius_lower_bound = 1500;
	blow.rate_of_expansion = 200;
	blow.damage_to_velocity = 1024;
	damage_data data;
	initialize_damage_data(&data);
	data.epicenter = {middle + 100, middle, 0};
	cause_damage(NONE, &blow, &data);
	run_ticks();
	mark_cells_for_scenery(&p, 700, FALSE);
}

void exercise_fence(int16 type)
{
	const int16 post = scenery_definition_tag_to_index(DEFAULT_POST_SCENERY_TAG);
	new_connector_data request = {};
	request.type = type;
	request.connector_count = 2;
	for (int16 i = 0; i < 2; ++i)
	{
		const int16 object_index = scenery_object(post, middle + 1500 * i, middle + 700 * i);
		request.object_id[i] = {object_index, object_index == NONE ? static_cast<int16>(NONE) : get_object_data(object_index)->identifier};
	}
	const int16 connector = new_connector(&request);
	run_ticks();
	if (request.object_id[1].object_index != NONE) delete_object(request.object_id[1].object_index);
	run_ticks();
	if (connector != NONE) delete_connector(connector);
}

void exercise_artifact(int16 type)
{
	const artifact_definition *artifact = get_artifact_definition(type);
	check(artifact != nullptr);
	for (int16 i = 0; i < MAXIMUM_NUMBER_OF_ARTIFACT_PROJECTILES; ++i)
	{
		const int16 projectile = get_artifact_projectile_type(artifact, i);
		check(projectile == NONE || get_projectile_definition(projectile) != nullptr);
	}
}

struct fuzz_group
{
	definition_globals *(*definitions)(void);
	int16 (*load)(file_tag, const void *, int32);
	void (*exercise)(int16);
};

const fuzz_group groups[] = {
	{get_projectile_definitions, new_projectile_definition_from_tag_data, exercise_projectile},
	{get_projectile_group_definitions, new_projectile_group_definition_from_tag_data, exercise_group},
	{get_scenery_definitions, new_scenery_definition_from_tag_data, exercise_scenery},
	{get_connector_definitions, new_connector_definition_from_tag_data, exercise_fence},
	{get_artifact_definitions, new_artifact_definition_from_tag_data, exercise_artifact},
};

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	if (size < 1 || size > 64 * 1024) return 0;
	enter_fuzz_directory("projectile", set_up_fuzz_directory);
	const fuzz_group &group = groups[data[0] % NUMBEROF(groups)];
	// Fresh records for every input; the generated definitions stay loaded.
	initialize_data_for_new_map(&object_array);
	initialize_data_for_new_map(&projectile_array);
	initialize_data_for_new_map(&explosion_array);
	initialize_data_for_new_map(&animating_scenery_array);
	initialize_data_for_new_map(&connector_array);
	load_fuzz_map(flat_map_bytes);
	const int16 type = group.load(fuzz_tag, data + 1, static_cast<int32>(size - 1));
	if (type != NONE)
	{
		group.exercise(type);
		delete_definition(group.definitions(), type);
	}
	// A refused load leaves an error behind; the next input starts clean.
	handle_error();
	dispose_mesh_from_old_map();
	leave_fuzz_directory();
	return 0;
}
