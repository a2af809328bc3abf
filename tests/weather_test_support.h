// Shared set-up of the wind, weather, mesh effect, lightning and fire tests:
// the projectile test map with the generated weather tags and those modules
// started for it.
#ifndef WEATHER_TEST_SUPPORT_H
#define WEATHER_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include "effects_content.h"
#include "fire.h"
#include "lightning.h"
#include "local_projectiles.h"
#include "mesh_effects.h"
#include "particle_system.h"
#include "projectiles_test_support.h"
#include "tag_files/tag_files.h"
#include "weather_content.h"
#include "wind.h"
#include "world.h"

class weather_test_map : public projectiles_test_map
{
protected:
	void SetUp() override
	{
		projectiles_test_map::SetUp();
		std::vector<int32> handles;
		// The weather draws from the particle collection.
		ASSERT_TRUE(make_default_effects_tags(&handles));
		ASSERT_TRUE(make_default_weather_tags(&handles));
		initialize_wind();
		initialize_mesh_effects();
		initialize_lightning();
		initialize_fire();
		initialize_particle_system();
		// Rain splashes into the ripple group: the local groups' definitions load
		// with the map, but no group is made. Fires and their mirrors do not
		// hang on it: the fire tests run with groups made, and one compares.
		initialize_local_projectiles();
		initialize_local_projectiles_for_new_map();
		get_local_projectiles_test_hooks()->module_off = TRUE;
		initialize_mesh_effects_for_new_map();
		initialize_lightning_for_new_map();
		reset_fire_test_hooks();
		reset_lightning_test_hooks();
		reset_mesh_effects_test_hooks();
		reset_particle_system_test_hooks();
	}
	void TearDown() override
	{
		dispose_weather();
		projectiles_test_map::TearDown();
	}
	static void dispose_weather(void)
	{
		dispose_particle_system_from_old_map();
		dispose_fire_from_old_map();
		dispose_lightning_from_old_map();
		dispose_mesh_effects_from_old_map();
		dispose_wind_from_old_map();
		dispose_local_projectiles_from_old_map();
		get_local_projectiles_test_hooks()->module_off = FALSE;
		reset_fire_test_hooks();
		reset_lightning_test_hooks();
		reset_mesh_effects_test_hooks();
		reset_particle_system_test_hooks();
	}
	// The map burns from here on.
	static void start_fire_module(void)
	{
		mesh_globals->header->flags |= _mesh_can_catch_fire_flag;
		initialize_fire_for_new_map();
	}
	// A stored record under a new subgroup, loaded (and postprocessed) as a tag would be.
	template <typename record>
	static int16 load_record(definition_globals *definitions, file_tag subgroup, const record &r, const byte_swap_code *codes)
	{
		const std::vector<uint8> bytes = stored_record_bytes(&r, static_cast<int32>(sizeof(record)), codes);
		if (tag_file_new_with_subgroup_tag(definitions->group, "variant", subgroup, definitions->current_version, bytes.data(),
				static_cast<int32>(bytes.size())) == NONE)
		{
			return NONE;
		}
		return definition_tag_to_index(definitions, subgroup);
	}
	static void set_terrain(int32 x, int32 y, int16 low, int16 high)
	{
		mesh_cell *cell = get_mesh_cell(x, y);
		cell->flags = static_cast<uint16>((cell->flags & ~0xFF) | low | (high << 4));
	}
};

#endif
