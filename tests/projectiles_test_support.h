// Shared set-up of the damage, projectile, scenery and connector tests: the
// flat test map with the generated collections, objects, scenery, projectiles
// and groups, and the modules that own them started for a map.
#ifndef PROJECTILES_TEST_SUPPORT_H
#define PROJECTILES_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include "connectors.h"
#include "damage.h"
#include "fire.h"
#include "flags.h"
#include "lightning.h"
#include "local_projectiles.h"
#include "monsters.h"
#include "objects_content.h"
#include "objects_test_support.h"
#include "projectiles.h"
#include "projectiles_content.h"
#include "scenery.h"
#include "zerv.h"

class projectiles_test_map : public objects_test_map
{
protected:
	void SetUp() override
	{
		objects_test_map::SetUp();
		// A game a harness test left behind keeps its clock, which the projectile
		// rules read: these maps run without one, as in a fresh process (the
		// directory fixture puts the pointer back).
		game = nullptr;
		std::vector<int32> handles;
		ASSERT_TRUE(make_default_collection_tags(&handles));
		ASSERT_TRUE(make_default_object_tags(&handles));
		ASSERT_TRUE(make_default_projectile_tags(&handles));
		initialize_projectiles();
		initialize_explosions();
		initialize_scenery();
		initialize_connectors();
		initialize_monsters();
		start_modules(1720);
		reset_test_hooks();
	}
	void TearDown() override
	{
		dispose_modules();
		reset_test_hooks();
		objects_test_map::TearDown();
	}
	static void reset_test_hooks(void)
	{
		reset_monsters_test_hooks();
		reset_lightning_test_hooks();
		reset_fire_test_hooks();
		reset_local_projectiles_test_hooks();
		reset_connectors_test_hooks();
	}
	static void dispose_modules(void)
	{
		dispose_connectors_from_old_map();
		dispose_explosions_from_old_map();
		dispose_projectiles_from_old_map();
		dispose_scenery_from_old_map();
		dispose_monsters_from_old_map();
	}
	// A fresh map state at a version: empty arrays and definitions reloaded.
	void start_modules(int16 version)
	{
		dispose_modules();
		game_play_version = version;
		initialize_objects_for_new_map();
		ASSERT_TRUE(map.load());
		initialize_scenery_for_new_map();
		initialize_projectiles_for_new_map();
		initialize_monsters_for_new_map();
		initialize_explosions_for_new_map();
		initialize_connectors_for_new_map();
		initialize_internal_projectiles_for_new_map();
	}
	static int16 projectile_type(file_tag tag)
	{
		return projectile_definition_tag_to_index(tag);
	}
	// A projectile of tag at a point with a velocity; NONE when refused.
	static int16 launch(file_tag tag, world_distance x, world_distance y, world_distance z, int16 i = 0, int16 j = 0,
		int16 k = 0, uint16 flags = 0)
	{
		new_projectile_data request;
		initialize_new_projectile_data(&request);
		request.type = projectile_type(tag);
		request.flags = flags;
		request.location.position = {x, y, z};
		request.location.velocity = {i, j, k};
		return new_projectile(&request);
	}
	// A loaded copy of a generated definition, changed by edit, under a new tag.
	template <typename edit_proc>
	static int16 variant(file_tag base, file_tag tag, edit_proc edit)
	{
		projectile_definition definition = *get_projectile_definition(projectile_type(base));
		edit(&definition);
		const int16 index = new_definition(get_projectile_definitions(), tag, &definition);
		// Found by its tag like a loaded one.
		if (index != NONE) get_projectile_definitions()->flags[index] |= _definition_postprocessed_flag;
		return index;
	}
	// A scenery object of a generated kind standing at a point.
	static int16 place_scenery(file_tag tag, world_distance x, world_distance y)
	{
		const int16 type = scenery_definition_tag_to_index(tag);
		const scenery_definition *definition = get_scenery_definition(type);
		if (!definition) return NONE;
		new_object_data request = {};
		request.type = definition->object_type;
		request.owner = _object_is_scenery;
		request.owner_index = type;
		request.scale = 256;
		request.location.position = {x, y, 0};
		const collection_reference *reference = get_collection_reference(definition->collection_reference_index);
		request.collection_index = reference ? reference->collection_index : static_cast<int16>(NONE);
		const int16 object_index = new_object(&request);
		if (object_index == NONE) return NONE;
		set_object_shape(object_index, definition->sequence_indexes[_scenery_sequence_undamaged], 256, _transfer_mode_none,
			0, 0, FALSE);
		if (definition->flags & _scenery_is_solid_flag) get_object_data(object_index)->flags |= _object_is_solid_flag;
		return object_index;
	}
	static int32 projectiles_in_use(void)
	{
		return projectile_array.total_count;
	}
};

#endif
