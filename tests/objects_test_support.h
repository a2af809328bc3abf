// Shared set-up of the object tests: a flat test map, the object array, a
// small collection whose sequences the shape tests animate, and helpers that
// walk the cell chains.
#ifndef OBJECTS_TEST_SUPPORT_H
#define OBJECTS_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "collections_content.h"
#include "mesh_test_map.h"
#include "models.h"
#include "objects.h"
#include "shapes_test_support.h"

#define OBJECT_TEST_COLLECTION_TAG TAG("objt")

enum
{
	_test_walking_sequence, // 8 views, 5 frames, 3 ticks, transfer period 10, key frame 2, loop frame 1
	_test_empty_sequence, // no views, no frames
	_test_slow_sequence, // 1 view, 2 frames, 100 ticks per frame, transfer period 100
	NUMBER_OF_TEST_SEQUENCES
};

inline collection_description object_test_collection(void)
{
	collection_description collection = {};
	collection.user_data_flags = _collection_can_be_used_for_monsters_flag;
	collection.colors.color_count = 2;
	collection_bitmap_description bitmap = plain_collection_bitmap("dot", 4, 4, _8bit);
	std::fill(bitmap.pixels.begin(), bitmap.pixels.end(), 1);
	collection.bitmaps.push_back(bitmap);
	for (int16 i = 0; i < 41; ++i)
	{
		bitmap_instance_data instance = {};
		instance.bitmap_index = 0;
		instance.highres_bitmap_index = NONE;
		instance.key_point = {static_cast<int16>(i), 0};
		collection.instances.push_back(instance);
	}
	auto sequence = [](const char *name, int16 views, int16 frames, int16 ticks, int16 period) {
		collection_sequence_description s;
		s.name = name;
		s.sequence = {};
		s.sequence.pixels_to_world = FIXED_ONE;
		s.sequence.number_of_views = views;
		s.sequence.frames_per_view = frames;
		s.sequence.ticks_per_frame = ticks;
		s.sequence.key_frame = frames > 2 ? 2 : 0;
		s.sequence.loop_frame = frames > 1 ? 1 : 0;
		s.sequence.transfer_period = period;
		s.sequence.radius = 64 * FIXED_ONE;
		s.sequence.height0 = 0;
		s.sequence.height1 = 128 * FIXED_ONE;
		for (int32 i = 0; i < NUMBER_OF_SEQUENCE_SOUNDS; ++i) s.sequence.sound_tags[i] = static_cast<file_tag>(NONE);
		for (int16 f = 0; f < frames; ++f)
		{
			s.shadow_map_indexes.push_back(NONE);
			for (int16 v = 0; v < views; ++v) s.instance_indexes.push_back(static_cast<int16>(f * views + v));
		}
		return s;
	};
	collection.sequences.push_back(sequence("walking", 8, 5, 3, 10));
	collection.sequences.push_back(sequence("empty", 0, 0, 3, 10));
	collection.sequences.push_back(sequence("slow", 1, 2, 100, 100));
	return collection;
}

class objects_test_map : public shapes_test_directory
{
protected:
	void SetUp() override
	{
		shapes_test_directory::SetUp();
		initialize_mesh_test_modules();
		game_play_version = 1720;
		ASSERT_TRUE(map.load());
		initialize_objects();
		initialize_objects_for_new_map();
		collection_index = NONE;
		if (make_collection_tag(OBJECT_TEST_COLLECTION_TAG, "objects test", object_test_collection()) != NONE)
		{
			collection_index = get_collection_index(OBJECT_TEST_COLLECTION_TAG);
		}
		ASSERT_NE(collection_index, NONE) << log_text();
		set_random_seed(1);
	}
	void TearDown() override
	{
		dispose_objects_from_old_map();
		dispose_mesh_from_old_map();
		shapes_test_directory::TearDown();
	}

	// An object of the default definition, solid unless asked.
	int16 make_object(world_distance x, world_distance y, world_distance z, bool solid = true, int16 radius = 64)
	{
		new_object_data data = {};
		data.type = NONE;
		data.scale = 256;
		data.location.position = {x, y, z};
		data.collection_index = collection_index;
		const int16 index = new_object(&data);
		if (index == NONE) return NONE;
		object_data *object = get_object_data(index);
		if (solid) object->flags |= _object_is_solid_flag;
		object->radius = radius;
		object->height0 = 0;
		object->height1 = 128;
		return index;
	}

	// Every object index reachable from any cell chain, in order.
	static std::vector<int16> chained_objects(void)
	{
		std::vector<int16> found;
		for (int32 i = 0; i < mesh_globals->cell_count; ++i)
		{
			for (int16 o = mesh_globals->mesh_cells[i].first_object_index; o != NONE && found.size() < 20000;
				 o = static_cast<object_data *>(object_array.data)[o].next_object_index)
			{
				found.push_back(o);
			}
		}
		return found;
	}

	static std::vector<int16> chain_of_cell(int32 x, int32 y)
	{
		std::vector<int16> found;
		for (int16 o = get_mesh_cell(x, y)->first_object_index; o != NONE && found.size() < 20000;
			 o = static_cast<object_data *>(object_array.data)[o].next_object_index)
		{
			found.push_back(o);
		}
		return found;
	}

	test_map map;
	int16 collection_index = NONE;
};

#endif
