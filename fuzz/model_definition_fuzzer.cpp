// Arbitrary bytes as an object, geometry or model definition. The first byte
// picks the group: 0 'obje', 1 'geom' (loaded under the generated hut's model),
// 2 'mode' (beside the generated hut's geometry). The rest is the tag's data,
// loaded from memory through the group's descriptor and postprocess. A loaded object definition moves an
// object about a small map; a loaded model is placed on it, 64 segments are
// tested against it and it is removed; then everything is disposed.
// Seeds are the generated 'obje' tags and the hut pair.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "collections_content.h"
#include "definitions.h"
#include "geometry.h"
#include "map_fuzz_support.h"
#include "models.h"
#include "objects.h"
#include "zerv.h"

namespace {

const file_tag fuzz_tag = TAG("fuzz");
std::vector<uint8> flat_map_bytes;
std::vector<uint8> hut_model;
std::vector<uint8> hut_geometry;

void set_up_fuzz_directory(void)
{
	open_fuzz_tag_set();
	for (int32 i = 0; i < number_of_default_collections; ++i)
	{
		if (default_collections[i].subgroup_tag == DEFAULT_SCENERY_COLLECTION_TAG)
		{
			check(make_collection_tag(DEFAULT_SCENERY_COLLECTION_TAG, "scenery", default_collections[i].make()) != NONE);
		}
	}
	for (int32 i = 0; i < number_of_default_collection_references; ++i)
	{
		if (default_collection_references[i].subgroup_tag == DEFAULT_SCENERY_REFERENCE_TAG)
		{
			check(make_collection_reference_tag(DEFAULT_SCENERY_REFERENCE_TAG, "scenery",
				default_collection_references[i].make()) != NONE);
		}
	}
	hut_geometry = hut_geometry_tag_data();
	initialize_shapes_for_new_map(FALSE);
	// The hut's model, naming the geometry under test.
	hut_model = hut_model_tag_data();
	hut_model[4] = 'f';
	hut_model[5] = 'u';
	hut_model[6] = 'z';
	hut_model[7] = 'z';

	// A flat 32 x 32 map with a ridge.
	flat_map_bytes = grass_map_tag_data(nullptr, 20);
}

void exercise_object_definition(int16 type)
{
	check(get_object_definition(type) != nullptr);
	new_object_data request = {};
	request.type = type;
	request.scale = 256;
	request.location.position = {8 * WORLD_ONE, 8 * WORLD_ONE, 900};
	request.location.velocity = {70, 40, 0};
	request.collection_index = NONE;
	const int16 mover = new_object(&request);
	request.location.position = {9 * WORLD_ONE, 8 * WORLD_ONE + 300, 0};
	const int16 block = new_object(&request);
	check(mover != NONE && block != NONE);
	get_object_data(block)->flags |= _object_is_solid_flag;
	get_object_data(block)->radius = 200;
	get_object_data(block)->height1 = 300;
	get_object_data(mover)->radius = 50;
	for (int32 tick = 0; tick < 24; ++tick)
	{
		move_object(mover);
		const world_point3d &p = get_object_data(mover)->location.position;
		check(p.x >= EDGE_OF_MESH_BUFFER && p.x < SUBMESH_WIDTH * WORLD_ONE - EDGE_OF_MESH_BUFFER);
		check(p.y >= EDGE_OF_MESH_BUFFER && p.y < SUBMESH_WIDTH * WORLD_ONE - EDGE_OF_MESH_BUFFER);
	}
	delete_object(mover);
	delete_object(block);
}

void exercise_model(int16 type)
{
	new_model_data request = {type, 0, {16 * WORLD_ONE, 16 * WORLD_ONE, 0}, HUT_MODEL_YAW, HUT_MODEL_PITCH, NONE};
	const int16 model = new_model(&request);
	if (model == NONE) return;
	for (int32 i = 0; i < 64; ++i)
	{
		const int32 angle_index = i * 16;
		const world_point3d from = {16 * WORLD_ONE + ((cosine_table[angle_index % 1024] * 3) >> 5),
			16 * WORLD_ONE + ((sine_table[angle_index % 1024] * 3) >> 5), (i * 37) % 1400 - 200};
		world_point3d to = {16 * WORLD_ONE + (i % 7) * 60 - 180, 16 * WORLD_ONE + (i % 5) * 80 - 160, (i * 53) % 900};
		world_vector3d normal;
		int16 struck = NONE;
		if (object_hit_model(&from, &to, &normal, &struck, static_cast<world_distance>(i % 3) * 20)) check(struck == model);
		boolean near_blocked, far_blocked;
		if (i % 16 == 0) check_for_model_obstruction(&from, &to, static_cast<angle>(i * 1024), &near_blocked, &far_blocked, i % 32 == 0);
	}
	world_point2d centre;
	get_model_centerpoint(model, &centre);
	delete_model(model);
	check(get_model_index_from_mesh_cell(16, 16) == NONE);
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	if (size < 1 || size > 1024 * 1024) return 0;
	enter_fuzz_directory("model", set_up_fuzz_directory);
	game_play_version = MAXIMUM_GAME_PLAY_VERSION;
	const int32 selector = data[0] % 3;
	const uint8_t *bytes = data + 1;
	const int32 length = static_cast<int32>(size - 1);

	dispose_models_from_old_map();
	initialize_models_for_new_map();
	dispose_objects_from_old_map();
	initialize_objects_for_new_map();
	load_fuzz_map(flat_map_bytes);

	if (selector == 0)
	{
		if (length >= static_cast<int32>(sizeof(object_definition)))
		{
			object_definition definition;
			byte_swap_move("object definition", &definition, bytes, sizeof(definition), 1, object_definition_bs_data);
			const int16 type = new_definition(get_object_definitions(), fuzz_tag, &definition);
			if (type != NONE) exercise_object_definition(type);
		}
	}
	else
	{
		const bool geometry = selector == 1;
		check(new_geometry_definition_from_tag_data(geometry ? fuzz_tag : DEFAULT_HUT_MODEL_TAG,
			geometry ? bytes : hut_geometry.data(), geometry ? length : static_cast<int32>(hut_geometry.size())) != NONE ||
			geometry);
		const int16 type = geometry
			? new_model_definition_from_tag_data(fuzz_tag, hut_model.data(), static_cast<int32>(hut_model.size()))
			: new_model_definition_from_tag_data(fuzz_tag, bytes, length);
		if (type != NONE) exercise_model(type);
	}
	dispose_mesh_from_old_map();
	leave_fuzz_directory();
	return 0;
}
