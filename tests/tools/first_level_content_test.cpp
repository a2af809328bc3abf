// The first level: its markers and unit identifiers beside the untouched
// demo, and the level played through the game core with its gate, shrine,
// swirl and ripples, whose particles never reach the simulation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "bitmaps.h"
#include "shapes.h"
#include "damage.h"
#include "demo_script.h"
#include "effects_content.h"
#include "fire.h"
#include "lightning.h"
#include "mesh_effects.h"
#include "mirror_groups.h"
#include "first_level_content.h"
#include "first_level_script.h"
#include "level_group_ai_script.h"
#include "level_scenes_content.h"
#include "projectiles.h"
#include "projectiles_content.h"
#include "projectile_definitions.h"
#include "CoreLibrary/zerv/string_definitions.h"
#include "units_content.h"
#include "level_unit_ai_script.h"
#include "unit_query_level_actions.h"
#include "weather_content.h"
#include "local_projectiles.h"
#include "map_actions/map_actions.h"
#include "markers.h"
#include "monster_definitions.h"
#include "monsters.h"
#include "mesh.h"
#include "mesh_content.h"
#include "model_animations.h"
#include "model_effects.h"
#include "models.h"
#include "objects.h"
#include "observer.h"
#include "particle_system.h"
#include "players.h"
#include "projectiles.h"
#include "render/render.h"
#include "sound/sound_manager.h"
#include "support/zerv_harness.h"
#include "world.h"
#include "../../bench/bench_first_level_view.h"

namespace {

int32 count_of(const map_description &map, int16 type)
{
	int32 count = 0;
	for (const marker_data &marker : map.markers) count += marker.type == type;
	return count;
}

TEST(first_level_content, the_level_adds_its_markers_and_numbers_its_units_and_the_demo_stays)
{
	const map_description demo = demo_map();
	const map_description level = first_level_map();
	EXPECT_EQ(demo.markers.size(), 59u);
	// The showcase's 4, the scenes' 10, Very Hard's two archers, two casters, eleven
	// animals and the ambush's two scouts, these last.
	EXPECT_EQ(level.markers.size(), 80u + NUMBER_OF_LEVEL_SCENE_MARKERS);
	for (const marker_data &marker : demo.markers)
	{
		if (marker.type == _marker_monster) { EXPECT_EQ(marker.identifier, 0); }
	}
	std::map<int16, int32> seen;
	for (const marker_data &marker : level.markers)
	{
		if (marker.type == _marker_monster) seen[marker.identifier] += 1;
	}
	EXPECT_EQ(seen.size(), 43u);
	EXPECT_EQ(seen[0], FIRST_LEVEL_ANIMAL_COUNT);
	for (int16 id = 11; id <= 55; ++id)
	{
		const bool used = id <= 28 || (id >= 31 && id <= 54);
		EXPECT_EQ(seen.count(id), used ? 1u : 0u) << id;
	}
	const size_t animals_end = level.markers.size() - LEVEL_UNIT_AI_SCOUT_COUNT;
	for (size_t i = animals_end - FIRST_LEVEL_ANIMAL_COUNT; i < animals_end; ++i)
	{
		const marker_data &animal = level.markers[i];
		ASSERT_EQ(animal.type, _marker_monster);
		int32 row = -1, seen_rows = -1;
		for (const marker_palette_entry &entry : level.palette)
		{
			++row;
			if (entry.type == _marker_monster && ++seen_rows == animal.palette_index) break;
		}
		EXPECT_TRUE(level.palette[static_cast<size_t>(row)].flags & _marker_palette_ambient_life_flag) << i;
	}
	for (const marker_data &marker : level.markers)
	{
		if (marker.identifier != FIRST_LEVEL_TEAM0_CASTER_IDENTIFIER && marker.identifier != FIRST_LEVEL_TEAM1_CASTER_IDENTIFIER) continue;
		EXPECT_EQ(marker.location.position.x, FIRST_LEVEL_CASTER_CELL_X * WORLD_ONE);
		EXPECT_EQ(marker.location.position.y, (marker.identifier == FIRST_LEVEL_TEAM0_CASTER_IDENTIFIER
			? FIRST_LEVEL_TEAM0_CASTER_CELL_Y : FIRST_LEVEL_TEAM1_CASTER_CELL_Y) * WORLD_ONE);
	}

	// Its own script: the presentation's seven, the unit queries' eight, the computer team's ten, the unit AI's six,
	// the scenes and the ending.
	EXPECT_EQ(level.actions.count, FIRST_LEVEL_PRESENTATION_ACTION_COUNT + UNIT_QUERY_LEVEL_ACTION_COUNT +
		LEVEL_GROUP_AI_ACTION_COUNT + LEVEL_UNIT_AI_ACTION_COUNT + NUMBER_OF_LEVEL_SCENES +
		FIRST_LEVEL_ENDING_ACTION_COUNT);
	EXPECT_EQ(demo.actions.count, DEMO_SCRIPT_ACTION_COUNT);

	// Rain, wind and a meadow that burns between the armies; the demo holds none of it.
	EXPECT_TRUE(level.header.flags & _mesh_can_catch_fire_flag);
	EXPECT_EQ(level.header.wind_tag, DEFAULT_GUST_WIND_TAG);
	EXPECT_EQ(level.header.particle_system_tag, DEFAULT_RAIN_PARTICLE_SYSTEM_TAG);
	EXPECT_FALSE(demo.header.flags & _mesh_can_catch_fire_flag);
	EXPECT_NE(demo.header.particle_system_tag, DEFAULT_RAIN_PARTICLE_SYSTEM_TAG);
	const int32 width = level.header.submesh_width * SUBMESH_WIDTH;
	int32 burnable = 0, forest = 0;
	for (int32 y = FIRST_LEVEL_MEADOW_FIRST_ROW; y <= FIRST_LEVEL_MEADOW_LAST_ROW; ++y)
	{
		for (int32 x = 24; x < 60; ++x)
		{
			const uint16 flags = level.cells[static_cast<size_t>(y * width + x)].flags;
			if (flags & _mesh_cell_triangle_media_flags) continue;
			burnable += cell_fire_chance(terrain_starting_chance, flags) > 0;
			forest += (flags & CELL_TERRAIN_TYPE_MASK) == _terrain_forest;
		}
	}
	EXPECT_GT(burnable, 7 * 30);
	EXPECT_GT(forest, 0);
	EXPECT_EQ(count_of(level, _marker_model_animation), 2);
	EXPECT_EQ(count_of(level, _marker_local_projectile_group), 1);
	EXPECT_EQ(count_of(level, _marker_model), count_of(demo, _marker_model) + 1 + NUMBER_OF_LEVEL_STONES);
	EXPECT_EQ(level.header.media_tag, RIPPLING_WATER_MEDIA_TAG);
	EXPECT_EQ(demo.header.media_tag, VALLEY_LAKE_MEDIA_TAG);
}

class level_effects : public zerv_harness_fixture
{
protected:
	void TearDown() override
	{
		harness_end_map();
		zerv_harness_fixture::TearDown();
	}

	static int16 data_of(int16 type, int16 identifier)
	{
		const marker_data *marker = get_marker_by_identifier(type, identifier);
		return marker ? marker->data_index : static_cast<int16>(NONE);
	}

	// 'level effects': an effect on the hut at tick 60, the lamp broken at
	// 200, the swirl off at 300; between ticks the frame driver runs the
	// groups as a long-paused frame would, unless the module is off.
	static std::vector<harness_digest_entry> play(bool module_off, uint32 local_seed, int32 driver_calls,
		int32 render_every = 0, int32 *most_particles = nullptr, bool fill_groups_at_300 = false)
	{
		get_local_projectiles_test_hooks()->module_off = module_off;
		set_local_random_seed(local_seed);
		new_game_data setup;
		harness_level_setup(&setup);
		EXPECT_TRUE(harness_start_map(&setup));
		view_data view = {};
		view.game_ticks_elapsed = 6;
		bitmap_data *screen = render_every ? new_bitmap(320, 240, 320 * 4, _32bit_encoding, 0) : nullptr;
		// Looking at the swirl, the hut and the lake's eastern shore.
		const observer_location look = {{FIRST_LEVEL_SWIRL_CELL_X * WORLD_ONE, (FIRST_LEVEL_SWIRL_CELL_Y + 4) * WORLD_ONE}, 0, 0};
		if (screen) set_actual_observer_location_and_zoom(&look, nullptr);
		for (int32 tick = 1; tick <= 400; ++tick)
		{
			harness_run_ticks(1);
			for (int32 k = 0; k < driver_calls; ++k) build_local_projectiles_surface_list(&view, nullptr);
			if (screen && tick % render_every == 0)
			{
				view_data frame;
				memset(&frame, 0, sizeof(frame));
				build_observer_view(&frame, render_every);
				frame.screen = screen;
				frame.game_ticks_elapsed = static_cast<int16>(render_every);
				render_scene(&frame);
				if (most_particles) *most_particles = std::max<int32>(*most_particles, local_projectile_array.total_count);
			}
			if (tick == 60)
			{
				const int16 hut = get_model_index_from_mesh_cell(DEMO_HUT_CELL_X - 1, DEMO_HUT_CELL_Y - 1);
				new_model_effect_data request = {};
				request.flags = _scale_model_flag;
				request.duration = 300;
				request.delta_yaw = 64;
				request.new_permutation = request.set_permutation = request.material_fading_index = NONE;
				request.initial_scale = 512;
				request.final_scale = 640;
				request.projectile_type_to_create = static_cast<file_tag>(NONE);
				EXPECT_TRUE(new_model_effect(hut, NONE, &request));
			}
			if (tick == 200)
			{
				damage_definition damage = {};
				damage.type = _damage_explosion;
				damage.damage_lower_bound = 4096;
				damage_data data;
				initialize_damage_data(&data);
				data.scale = 256;
				cause_damage(data_of(_marker_scenery, FIRST_LEVEL_LAMP_IDENTIFIER), &damage, &data);
			}
			if (tick == 300 && fill_groups_at_300)
			{
				// Every group the map may hold, so the simulation's own burst and dust groups find no room.
				const world_point3d lake = {20 * WORLD_ONE, 60 * WORLD_ONE, 0};
				const int16 blood = local_projectile_group_definition_tag_to_index(TAG("blod"));
				while (new_local_projectile_group(blood, &lake, NONE) != NONE) {}
				EXPECT_EQ(local_projectile_group_array.total_count, MAXIMUM_LOCAL_PROJECTILE_GROUPS_PER_MAP);
			}
			if (tick == 300)
			{
				const int16 swirl = local_projectile_group_identifier_to_local_projectile_group_index(FIRST_LEVEL_SWIRL_IDENTIFIER);
				if (swirl != NONE) turn_local_projectile_group_off(swirl);
			}
		}
		std::vector<harness_digest_entry> trail = harness_digest_trail();
		harness_end_map();
		if (screen) dispose_pointer(screen);
		get_local_projectiles_test_hooks()->module_off = FALSE;
		return trail;
	}
};

TEST_F(level_effects, the_level_starts_its_gate_shrine_swirl_and_ripples)
{
	new_game_data setup;
	harness_level_setup(&setup);
	ASSERT_TRUE(harness_start_map(&setup));
	EXPECT_EQ(mesh_globals->marker_count, 80 + NUMBER_OF_LEVEL_SCENE_MARKERS);
	EXPECT_EQ(mesh_globals->map_action_count, FIRST_LEVEL_PRESENTATION_ACTION_COUNT + UNIT_QUERY_LEVEL_ACTION_COUNT +
		LEVEL_GROUP_AI_ACTION_COUNT + LEVEL_UNIT_AI_ACTION_COUNT + NUMBER_OF_LEVEL_SCENES +
		FIRST_LEVEL_ENDING_ACTION_COUNT);
	// The only ends are the ending's victory and defeat, neither active at the start.
	int32 ends = 0;
	for (int16 i = 0; i < map_action_array.total_count; ++i)
	{
		if (get_map_action_tag(i) != TAG("endg")) continue;
		ends += 1;
		EXPECT_FALSE(get_map_action(i)->flags & _map_action_initially_active_flag) << i;
	}
	EXPECT_EQ(ends, 2);
	const int16 gate = data_of(_marker_model_animation, FIRST_LEVEL_GATE_IDENTIFIER);
	ASSERT_NE(gate, NONE);
	EXPECT_EQ(get_model_animation_data(gate)->identifier, FIRST_LEVEL_GATE_IDENTIFIER);
	EXPECT_NE(local_projectile_group_identifier_to_local_projectile_group_index(FIRST_LEVEL_SWIRL_IDENTIFIER), NONE);
	EXPECT_NE(data_of(_marker_scenery, FIRST_LEVEL_LAMP_IDENTIFIER), NONE);
	EXPECT_NE(model_identifier_to_model_index(FIRST_LEVEL_SHRINE_IDENTIFIER), NONE);
	EXPECT_NE(mesh_globals->surface_effect_local_projectile_group, NONE);
	// The storm's strike starts at the brook's source: well above the ground,
	// or its bolt strikes the ground where it starts and shows nothing.
	world_point3d brook = {};
	get_ambient_sound_source_location(FIRST_LEVEL_SOUND_SOURCE_IDENTIFIER, &brook);
	const world_point2d under_brook = {brook.x, brook.y};
	EXPECT_GE(brook.z - get_mesh_height(&under_brook, _true_height), 1024);
	// The scenes' pieces: the stones, the mast of stone frames, the cache, the cries, and
	// a thrower that takes bombs as its kind's volume.
	for (int16 i = 0; i < NUMBER_OF_LEVEL_STONES; ++i)
		EXPECT_NE(model_identifier_to_model_index(static_cast<int16>(LEVEL_FIRST_STONE_IDENTIFIER + i)), NONE) << i;
	const int16 mast = data_of(_marker_model_animation, LEVEL_MAST_IDENTIFIER);
	ASSERT_NE(mast, NONE);
	EXPECT_NE(get_model_animation_data(mast)->current_model_index, NONE);
	for (int16 i = 0; i < NUMBER_OF_LEVEL_CACHE_BOMBS; ++i)
	{
		const int16 bomb = data_of(_marker_projectile, static_cast<int16>(LEVEL_FIRST_CACHE_BOMB_IDENTIFIER + i));
		ASSERT_NE(bomb, NONE) << i;
		ASSERT_NE(get_object_data(bomb), nullptr) << i;
		EXPECT_EQ(get_object_projectile_type(get_object_data(bomb)), projectile_definition_tag_to_index(DEMO_BOMB_TAG)) << i;
	}
	EXPECT_NE(string_list_tag_to_string_index(BATTLE_CRIES_STRING_LIST_TAG), NONE);
	const monster_definition *thrower = get_monster_definition(monster_definition_tag_to_index(default_unit_kind_tags[2]));
	const projectile_definition *bomb = get_projectile_definition(projectile_definition_tag_to_index(DEMO_BOMB_TAG));
	ASSERT_TRUE(thrower && bomb);
	EXPECT_EQ(thrower->desired_projectile_volume, bomb->volume);
	EXPECT_NE(thrower->desired_projectile_volume, NONE);

	// The gate opens and closes, and only the open gate lets units through.
	bool passable = false, blocked = false;
	for (int32 tick = 0; tick < 240; ++tick)
	{
		harness_run_ticks(1);
		const model_animation_data *animation = get_model_animation_data(gate);
		ASSERT_NE(animation->current_model_index, NONE) << tick;
		const bool open = animation->current_frame_index == 3;
		bool any_blocked = false;
		for (int32 y = FIRST_LEVEL_GATE_CELL_Y - 2; y <= FIRST_LEVEL_GATE_CELL_Y + 2; ++y)
		{
			for (int32 x = FIRST_LEVEL_GATE_CELL_X - 2; x <= FIRST_LEVEL_GATE_CELL_X + 2; ++x)
			{
				any_blocked |= (get_mesh_cell(x, y)->flags & 0xFF) == 0xEE; // walking-impassable on both triangles
			}
		}
		if (open) passable |= !any_blocked;
		else blocked |= any_blocked;
	}
	EXPECT_TRUE(passable);
	EXPECT_TRUE(blocked);
}

TEST_F(level_effects, particles_never_reach_the_simulation)
{
	const uint32 draws_before = zerv_random_draw_count();
	const std::vector<harness_digest_entry> off = play(true, 1, 0);
	const uint32 draws_off = zerv_random_draw_count() - draws_before;
	const std::vector<harness_digest_entry> on = play(false, 99, 50);
	const uint32 draws_on = zerv_random_draw_count() - draws_before - draws_off;
	ASSERT_EQ(off.size(), on.size());
	for (size_t i = 0; i < off.size(); ++i) ASSERT_EQ(off[i].digest, on[i].digest) << "tick " << off[i].game_time;
	EXPECT_EQ(draws_on, draws_off);
	EXPECT_TRUE(harness_write_test_digest_trail(on));

	// Drawn every fourth tick, the particles live and die by the frames alone.
	int32 most = 0;
	const std::vector<harness_digest_entry> drawn = play(false, 7, 0, 4, &most);
	ASSERT_EQ(drawn.size(), off.size());
	for (size_t i = 0; i < off.size(); ++i) ASSERT_EQ(off[i].digest, drawn[i].digest) << "tick " << off[i].game_time;
	EXPECT_GT(most, 0);

	// A full group array from tick 300 on changes nothing either.
	const std::vector<harness_digest_entry> full = play(false, 3, 1, 0, nullptr, true);
	ASSERT_EQ(full.size(), off.size());
	for (size_t i = 0; i < off.size(); ++i) ASSERT_EQ(off[i].digest, full[i].digest) << "tick " << off[i].game_time;
}

TEST_F(level_effects, the_broken_lamp_cracks_the_shrine)
{
	play(false, 5, 1);
	new_game_data setup;
	harness_level_setup(&setup);
	ASSERT_TRUE(harness_start_map(&setup));
	const int16 shrine = model_identifier_to_model_index(FIRST_LEVEL_SHRINE_IDENTIFIER);
	ASSERT_NE(shrine, NONE);
	const int16 lamp = data_of(_marker_scenery, FIRST_LEVEL_LAMP_IDENTIFIER);
	ASSERT_NE(lamp, NONE);
	damage_definition damage = {};
	damage.type = _damage_explosion;
	damage.damage_lower_bound = 4096;
	damage_data data;
	initialize_damage_data(&data);
	data.scale = 256;
	cause_damage(lamp, &damage, &data);
	EXPECT_EQ(model_effect_array.total_count, 1);
	harness_run_ticks(31);
	EXPECT_EQ(get_model_data(shrine)->model_permutation, 1);
	EXPECT_EQ(model_effect_array.total_count, 0);
}

// Lightning on the rainy meadow between the armies sets it alight.
TEST_F(level_effects, a_bolt_sets_the_rainy_meadow_alight)
{
	new_game_data setup;
	harness_level_setup(&setup);
	ASSERT_TRUE(harness_start_map(&setup));
	const world_point2d meadow = {40 * WORLD_ONE, FIRST_LEVEL_MEADOW_FIRST_ROW * WORLD_ONE};
	EXPECT_GT(particle_system_intensity(&meadow), 0) << "it rains";
	const int16 bolt = projectile_definition_tag_to_index(DEFAULT_BOLT_PROJECTILE_TAG);
	ASSERT_NE(bolt, NONE);
	const int32 row = (FIRST_LEVEL_MEADOW_FIRST_ROW + FIRST_LEVEL_MEADOW_LAST_ROW) / 2;
	for (int32 x = 26; x < 58; x += 4)
	{
		const world_point2d cell = {x * WORLD_ONE + WORLD_ONE_HALF, row * WORLD_ONE + WORLD_ONE_HALF};
		const world_distance ground = get_mesh_height(&cell, _true_height);
		new_projectile_data request;
		initialize_new_projectile_data(&request);
		request.type = bolt;
		request.flags = _projectile_has_valid_target_location_flag;
		request.location.position = {cell.x, cell.y, ground + 1536};
		request.target_location = {cell.x, cell.y, ground};
		ASSERT_NE(new_projectile(&request), NONE) << x;
	}
	int32 burning = 0;
	for (int32 tick = 0; tick < 120 && burning == 0; ++tick)
	{
		harness_run_ticks(1);
		for (int32 y = FIRST_LEVEL_MEADOW_FIRST_ROW; y <= FIRST_LEVEL_MEADOW_LAST_ROW; ++y)
		{
			for (int32 x = 24; x < 60; ++x) burning += cell_is_on_fire(x, y) ? 1 : 0;
		}
	}
	EXPECT_GT(burning, 0) << "no bolt lit the meadow";
}

// A group tied to a unit shows by its visibility type: to the unit's owner,
// its team, its allies or its enemies, as the local player stands to it;
// before 1601 to everyone.
TEST_F(level_effects, a_units_group_shows_by_its_visibility_type)
{
	new_game_data setup;
	harness_level_setup(&setup);
	ASSERT_TRUE(harness_start_map(&setup));
	ASSERT_EQ(player_globals.local_player_team_index, 0);
	int16 own = NONE, enemy = NONE;
	for (int16 i = 0; i < monster_array.count; ++i)
	{
		const monster_data *monster = get_monster_data(i);
		if (!monster) continue;
		if (own == NONE && monster->owner_team_index == 0 && monster->owner_player_index == player_globals.local_player_index &&
			!(monster->flags & _monster_ignores_user_commands_flag))
		{
			own = i;
		}
		if (enemy == NONE && monster->owner_team_index == 1) enemy = i;
	}
	ASSERT_NE(own, NONE);
	ASSERT_NE(enemy, NONE);

	// A ring of dust with no motion, hovering over the swirl's cell, seen
	// from 1500 west of it looking east.
	local_projectile_group_definition d =
		*get_local_projectile_group_definition(local_projectile_group_definition_tag_to_index(TAG("dust")));
	d.flags = _group_projectiles_always_start_at_first_animation_frame_flag;
	d.physics_index = NONE;
	const world_point2d at = {FIRST_LEVEL_SWIRL_CELL_X * WORLD_ONE, FIRST_LEVEL_SWIRL_CELL_Y * WORLD_ONE};
	const world_point3d center = {at.x, at.y, get_mesh_height(&at, _true_height) + 256};
	render_surface_list list;
	view_data view = {};
	view.screen_width = 640;
	view.screen_height = 480;
	view.xk = 320;
	view.yk = 240;
	view.world_to_screen_x = view.world_to_screen_y = 320;
	view.location.position = {center.x - 1500, center.y, center.z};
	view.world_to_viewer_rotation.n[1][0] = 16384;
	view.world_to_viewer_rotation.n[2][1] = 16384;
	view.world_to_viewer_rotation.n[0][2] = -16384;
	view.main_surface_list = &list;
	mesh_span spans[9];
	for (mesh_span &span : spans) span = {static_cast<int16>(FIRST_LEVEL_SWIRL_CELL_X - 4), static_cast<int16>(FIRST_LEVEL_SWIRL_CELL_X + 5)};
	mesh_region region = {};
	region.spans = spans;
	region.y0 = static_cast<int16>(FIRST_LEVEL_SWIRL_CELL_Y - 4);
	region.y1 = static_cast<int16>(FIRST_LEVEL_SWIRL_CELL_Y + 5);
	auto shown = [&](uint8 type, int16 unit) {
		d.visibility_type = type;
		new_local_projectile_group_data request = {};
		request.type = new_definition(get_local_projectile_group_definitions(), static_cast<file_tag>(TAG("vis0") + type), &d);
		request.center = center;
		request.central_object_index = request.central_object_identifier = NONE;
		request.bounds_object_index = request.bounds_object_identifier = NONE;
		request.group_opacity = 65535;
		request.color_table_index = NONE;
		// The level's own groups draw too: what the new one adds counts.
		new_surface_list(&list);
		build_local_projectiles_surface_list(&view, &region);
		const int32 before = list.surface_count;
		const int16 group = new_local_projectile_group(&request);
		set_local_projectile_group_monster_index(group, unit);
		new_surface_list(&list);
		build_local_projectiles_surface_list(&view, &region);
		const int32 after = list.surface_count;
		delete_local_projectile_group(group);
		return after > before;
	};
	// Everyone, owner only, team only, allies, enemies.
	const bool to_own[] = {true, true, true, true, false}, to_enemy[] = {true, false, false, false, true};
	for (uint8 type = 0; type < NUMBER_OF_LOCAL_PROJECTILE_VISIBILITY_TYPES; ++type)
	{
		EXPECT_EQ(shown(type, own), to_own[type]) << static_cast<int>(type);
		EXPECT_EQ(shown(type, enemy), to_enemy[type]) << static_cast<int>(type);
	}
	const auto version = game_play_version;
	game_play_version = 1600;
	EXPECT_TRUE(shown(_visible_to_owner_enemies_only, own));
	game_play_version = version;
}

// A playable battle: the same 900 ticks twice, both armies still under their
// players' orders and still fighting, nobody handed the win.
TEST_F(level_effects, the_level_plays_the_same_twice_and_is_fought_out)
{
	std::vector<harness_digest_entry> trails[2];
	for (std::vector<harness_digest_entry> &trail : trails)
	{
		new_game_data setup;
		harness_level_setup(&setup);
		ASSERT_TRUE(harness_start_map(&setup));
		int16 first_casualty_tick = NONE;
		int16 units_at_start[2] = {0, 0};
		for (int32 tick = 0; tick <= 900; ++tick)
		{
			if (tick) harness_run_ticks(1);
			int16 alive[2] = {0, 0};
			for (int16 i = 0; i < monster_array.count; ++i)
			{
				const monster_data *monster = get_monster_data(i);
				if (!monster || monster->owner_team_index < 0 || monster->owner_team_index > 1) continue;
				const monster_definition *kind = get_monster_definition(monster->type);
				if (kind && kind->monster_class == _monster_class_ambient_life) continue;
				alive[monster->owner_team_index] += 1;
			}
			if (!tick) { units_at_start[0] = alive[0]; units_at_start[1] = alive[1]; }
			if (first_casualty_tick == NONE && (alive[0] < units_at_start[0] || alive[1] < units_at_start[1]))
			{
				first_casualty_tick = static_cast<int16>(tick);
			}
			ASSERT_EQ(game->winning_team_index, NONE) << tick;
			ASSERT_EQ(game->endgame_state, 0) << tick;
			ASSERT_GT(alive[0], 0) << tick;
			ASSERT_GT(alive[1], 0) << tick;
		}
		// Each team's fourteen and its caster; the animals count for nobody.
		EXPECT_EQ(units_at_start[0], 15);
		EXPECT_EQ(units_at_start[1], 15);
		// The fighting is real before the 900th tick, and still undecided.
		EXPECT_NE(first_casualty_tick, NONE);
		trail = harness_digest_trail();
		harness_end_map();
	}
	ASSERT_EQ(trails[0].size(), trails[1].size());
	for (size_t i = 0; i < trails[0].size(); ++i) ASSERT_EQ(trails[0][i].digest, trails[1][i].digest) << i;
	EXPECT_TRUE(harness_write_test_digest_trail(trails[0]));
}

} // namespace

// The benchmark's rainy, burning meadow: the weather's sprites reach the
// frame's surfaces (at the weather's pre-render depth), not only its count.
TEST_F(level_effects, the_rain_over_the_burning_meadow_is_drawn)
{
	ASSERT_TRUE(start_first_level_fire_view());
	bitmap_data *screen = new_bitmap(640, 480, 640 * 4, _32bit_encoding, 0);
	ASSERT_NE(screen, nullptr);
	view_data view;
	prepare_observer_view(&view, screen, 3);
	get_particle_system_test_hooks()->sprites_drawn = 0;
	render_scene(&view);
	dump_frame_when_asked(screen, "l1_rain_fire");
	int32 rain = 0;
	for (const render_surface *s = last_render_surface_list()->first_surface; s; s = s->next_surface)
	{
		rain += s->precise_z == -2 ? 1 : 0;
	}
	const int32 sprites = get_particle_system_test_hooks()->sprites_drawn;
	EXPECT_GT(sprites, 0);
	EXPECT_GT(rain, sprites / 4) << "sprites " << sprites;
	EXPECT_LE(rain, 2 * sprites);
	// The scene reads through the rain: drawn again with one drop, most of the
	// frame's pixels stay close to the rainy frame's.
	const size_t size = static_cast<size_t>(screen->height) * static_cast<size_t>(screen->bytes_per_row);
	const std::vector<uint8> rainy(screen->row_addresses[0], screen->row_addresses[0] + size);
	get_particle_system_test_hooks()->sprite_budget = 1;
	prepare_observer_view(&view, screen, 0);
	render_scene(&view);
	get_particle_system_test_hooks()->sprite_budget = 0;
	int32 veiled = 0;
	for (size_t i = 0; i + 4 <= size; i += 4)
	{
		int32 difference = 0;
		for (size_t c = 0; c < 3; ++c) difference += std::abs(rainy[i + c] - screen->row_addresses[0][i + c]);
		veiled += difference > 48 ? 1 : 0;
	}
	EXPECT_LT(veiled, screen->width * screen->height / 4) << veiled << " pixels veiled";
	dispose_pointer(screen);
	// The flames and smoke are sprites, which the software rasterizer draws
	// only from row spans.
	for (file_tag tag : {FIRE_PROJECTILE_GROUP_TAG, SMOKE_PROJECTILE_GROUP_TAG})
	{
		const local_projectile_group_definition *group =
			get_local_projectile_group_definition(local_projectile_group_definition_tag_to_index(tag));
		ASSERT_NE(group, nullptr);
		const int16 bitmap = get_sequence_bitmap_index(group->collection_index, group->sequence_indexes[0], 0, 0, nullptr,
			nullptr);
		const bitmap_data *picture = get_bitmap(group->collection_index, bitmap);
		ASSERT_NE(picture, nullptr);
		EXPECT_TRUE(picture->flags & _1bit_transparency_encoded_flag) << tag_to_string(tag);
	}
}

// A bolt striking the meadow and the shockwave it raises reach the frame's
// surfaces, not only their counts.
TEST_F(level_effects, effects_render_holds_the_strike_and_its_shockwave)
{
	ASSERT_TRUE(start_first_level_fire_view());
	const world_point2d ground = {bench_first_level_fire_cell_x * WORLD_ONE, bench_first_level_fire_cell_y * WORLD_ONE};
	const world_distance height = get_mesh_height(&ground, _true_height);
	const new_lightning_data strike = {lightning_definition_tag_to_index(DEFAULT_BOLT_LIGHTNING_TAG), NONE, NONE,
		{ground.x - 256, ground.y + 1024, height + 1024}, {ground.x, ground.y, height}};
	ASSERT_NE(strike.type, NONE);
	ASSERT_NE(new_lightning(&strike), NONE);
	const new_mesh_effect_data shock = {0, mesh_effect_definition_tag_to_index(DEFAULT_SHOCK_MESH_EFFECT_TAG), ground};
	ASSERT_NE(shock.type, NONE);
	ASSERT_NE(new_mesh_effect(&shock), NONE);
	harness_run_ticks(8);
	bitmap_data *screen = new_bitmap(640, 480, 640 * 4, _32bit_encoding, 0);
	ASSERT_NE(screen, nullptr);
	view_data view;
	prepare_observer_view(&view, screen, 3);
	reset_lightning_test_hooks();
	get_mesh_effects_test_hooks()->quads_added = 0;
	render_scene(&view);
	dump_frame_when_asked(screen, "l1_strike_shockwave");
	EXPECT_GT(get_lightning_test_hooks()->segments_drawn, 0);
	EXPECT_GT(get_lightning_test_hooks()->sprites_added, 0);
	EXPECT_GT(get_mesh_effects_test_hooks()->quads_added, 0);
	dispose_pointer(screen);
	// Every ring quad lays the picture's cross-section, from its rim to the
	// ring's inner edge down a narrow middle strip, not the whole picture,
	// which would draw a chain of small rings.
	const mesh_effect_definition *ring = get_mesh_effect_definition(shock.type);
	const int16 bitmap = get_sequence_bitmap_index(ring->collection_index, ring->sequence_index, 0, 0, nullptr, nullptr);
	const bitmap_data *picture = get_bitmap(ring->collection_index, bitmap);
	ASSERT_NE(picture, nullptr);
	int32 ring_triangles = 0;
	for (const render_surface *s = last_render_surface_list()->first_surface; s; s = s->next_surface)
	{
		if (surface_type(s) != _surface_type_triangle) continue;
		const render_triangle *t = reinterpret_cast<const render_triangle *>(s);
		if (bitmap_identifier_collection(t->texture) != ring->collection_index ||
			bitmap_identifier_bitmap(t->texture) != bitmap)
		{
			continue;
		}
		ring_triangles += 1;
		for (const render_corner &corner : t->corners)
		{
			const int32 column = static_cast<uint16>(corner.interpolants[0]) * picture->width / 65536;
			const int32 row = static_cast<uint16>(corner.interpolants[1]) * picture->height / 65536;
			EXPECT_NEAR(column, picture->width / 2, picture->width / 16);
			EXPECT_LT(row, picture->height / 2);
		}
	}
	EXPECT_GE(ring_triangles, 2 * get_mesh_effects_test_hooks()->quads_added);
}

// Left to itself (no strike injected), the level's casters find their aim and
// strike: their bolts light the meadow and the battle still ends with a winner
// within three minutes (its ending ran at tick 4,140 when last pinned).
TEST_F(level_effects, left_to_itself_the_casters_strike_the_meadow_burns_and_a_winner_is_found)
{
	new_game_data setup;
	harness_level_setup(&setup);
	ASSERT_TRUE(harness_start_map(&setup));
	const int16 bolt = projectile_definition_tag_to_index(DEFAULT_BOLT_PROJECTILE_TAG);
	ASSERT_NE(bolt, NONE);
	std::map<int16, int16> seen; // projectile index -> identifier of the last caster's bolt there
	int32 casts[2] = {0, 0}, meadow_fires = 0, most_projectiles = 0;
	while (game->game_time < 5400 && !harness_game_is_finished())
	{
		harness_run_ticks(1);
		for (int16 p = 0; p < projectile_array.count; ++p)
		{
			const projectile_data *projectile = get_projectile_data(p);
			const monster_data *owner = projectile && projectile->type == bolt ? get_monster_data(projectile->owner_monster_index) : nullptr;
			if (!owner || seen[p] == projectile->identifier) continue;
			seen[p] = projectile->identifier;
			if (owner->identifier == FIRST_LEVEL_TEAM0_CASTER_IDENTIFIER) casts[0] += 1;
			if (owner->identifier == FIRST_LEVEL_TEAM1_CASTER_IDENTIFIER) casts[1] += 1;
			EXPECT_NE(projectile->lightning_index, NONE);
		}
		for (int16 i = 0; i < MAXIMUM_CELLS_ON_FIRE_PER_MAP; ++i)
		{
			const fire_cell_data *fire = get_fire_cell_data(i);
			meadow_fires += fire && fire->y >= FIRST_LEVEL_MEADOW_FIRST_ROW && fire->y <= FIRST_LEVEL_MEADOW_LAST_ROW &&
				(fire->owner_monster_identifier == FIRST_LEVEL_TEAM0_CASTER_IDENTIFIER ||
					fire->owner_monster_identifier == FIRST_LEVEL_TEAM1_CASTER_IDENTIFIER);
		}
		most_projectiles = std::max<int32>(most_projectiles, projectile_array.total_count);
	}
	EXPECT_GT(casts[0], 0);
	EXPECT_GT(casts[1], 0);
	EXPECT_GT(meadow_fires, 0) << "no caster's bolt lit the meadow";
	EXPECT_LT(most_projectiles, MAXIMUM_PROJECTILES_PER_MAP / 4);
	EXPECT_TRUE(harness_game_is_finished()) << "still playing at tick " << game->game_time;
	EXPECT_NE(game->winning_team_index, NONE);
}

// A picture's texel: its transparency level (0 opaque, 15 clear) and colour.
struct picture_texel
{
	int32 level;
	rgb_color colour;
};

picture_texel texel_of(const bitmap_data *picture, const color_table *colours, int32 x, int32 y)
{
	if (picture->flags & _4bit_transparency_encoded_flag)
	{
		uint16 pixel;
		memcpy(&pixel, picture->row_addresses[y] + 2 * x, 2);
		return {(pixel >> ENCODED_TRANSPARENCY_BIT_OFFSET) & 15, colours->colors[pixel & 255]};
	}
	const uint8 index = picture->row_addresses[y][x];
	return {index ? 0 : 15, colours->colors[index]};
}

// The bolt's pictures as the renderer lays them, columns along a segment and
// rows across it: mostly clear, a white-hot core a few rows wide down the
// middle of every column, and on each side of it a blue glow, partly clear.
// (Opaque blue blobs drew the bolt as a band a river wide.)
TEST_F(level_effects, the_bolts_pictures_are_a_white_core_in_a_fading_glow)
{
	new_game_data setup;
	harness_level_setup(&setup);
	ASSERT_TRUE(harness_start_map(&setup));
	const lightning_definition *bolt = get_lightning_definition(lightning_definition_tag_to_index(DEFAULT_BOLT_LIGHTNING_TAG));
	ASSERT_NE(bolt, nullptr);
	const color_table *colours = get_color_table(bolt->collection_index, 0);
	ASSERT_NE(colours, nullptr);
	for (int16 stroke : {_lightning_sequence_fork, _lightning_sequence_main_bolt})
	{
		SCOPED_TRACE(stroke == _lightning_sequence_fork ? "fork" : "main bolt");
		const int16 bitmap = get_sequence_bitmap_index(bolt->collection_index, bolt->sequence_indexes[stroke], 0, 0, nullptr,
			nullptr);
		const bitmap_data *picture = get_bitmap(bolt->collection_index, bitmap);
		ASSERT_NE(picture, nullptr);
		const int32 width = picture->width, height = picture->height;
		int32 clear = 0;
		for (int32 x = 0; x < width; ++x)
		{
			int32 core_top = height, core_bottom = -1, glow_above = 0, glow_below = 0;
			for (int32 y = 0; y < height; ++y)
			{
				const picture_texel t = texel_of(picture, colours, x, y);
				clear += t.level >= 12;
				const bool white = t.colour.red >= 50000 && t.colour.green >= 50000 && t.colour.blue >= 50000;
				if (t.level <= 2 && white) core_top = std::min(core_top, y), core_bottom = std::max(core_bottom, y);
			}
			ASSERT_GE(core_bottom, 0) << "column " << x << " has no white-hot core";
			EXPECT_LE(core_bottom - core_top + 1, std::max(2, height / 8)) << "column " << x;
			EXPECT_LE(std::abs(core_top + core_bottom + 1 - height), 2) << "column " << x << ": the core off the middle";
			for (int32 y = 0; y < height; ++y)
			{
				const picture_texel t = texel_of(picture, colours, x, y);
				const bool glow = t.level >= 3 && t.level <= 13 && t.colour.blue > t.colour.red;
				glow_above += glow && y < core_top;
				glow_below += glow && y > core_bottom;
			}
			EXPECT_GT(glow_above, 0) << "column " << x;
			EXPECT_GT(glow_below, 0) << "column " << x;
		}
		EXPECT_GE(2 * clear, width * height) << clear << " of " << width * height << " texels clear or nearly";
	}
}

// At their largest, a flame stands no higher than a soldier and a quarter and
// a smoke puff is no more than two and a half soldiers high (the old ones
// were three soldiers high and more, eight or more of each to a burning cell).
TEST_F(level_effects, a_flame_stands_about_a_soldiers_height_and_a_smoke_puff_not_much_more)
{
	new_game_data setup;
	harness_level_setup(&setup);
	ASSERT_TRUE(harness_start_map(&setup));
	// The height of a sequence's first picture as drawn at the scale (256 whole),
	// from its first frame's instance (the index after the frame's record).
	const auto drawn_height = [](int16 collection, int16 sequence, int32 scale) {
		sequence_data *data = get_sequence(collection, sequence);
		const sequence_frame_data *frame = data ? get_sequence_frame(data, collection, sequence, 0) : nullptr;
		if (!frame) return 0;
		int16 instance_index;
		memcpy(&instance_index, reinterpret_cast<const uint8 *>(frame) + sizeof(sequence_frame_data), sizeof(instance_index));
		const bitmap_instance_data *instance = get_bitmap_instance(collection, instance_index);
		return instance ? (static_cast<int32>(instance->world_top - instance->world_bottom) * scale) >> 8 : 0;
	};
	int32 soldier = 0;
	for (int16 i = 0; i < monster_array.count && !soldier; ++i)
	{
		const monster_data *monster = get_monster_data(i);
		const monster_definition *kind = monster ? get_monster_definition(monster->type) : nullptr;
		if (!kind || kind->monster_class == _monster_class_ambient_life) continue;
		const object_data *object = get_object_data(monster->object_index);
		soldier = drawn_height(object->shape_collection_index, object->shape_sequence_index, object->scale);
	}
	ASSERT_GT(soldier, 0);
	const struct { file_tag group; int32 most; const char *name; } effects[] = {
		{FIRE_PROJECTILE_GROUP_TAG, 5 * soldier / 4, "flame"}, {SMOKE_PROJECTILE_GROUP_TAG, 5 * soldier / 2, "smoke puff"}};
	for (const auto &effect : effects)
	{
		const local_projectile_group_definition *group =
			get_local_projectile_group_definition(local_projectile_group_definition_tag_to_index(effect.group));
		ASSERT_NE(group, nullptr);
		const int32 height = drawn_height(group->collection_index, group->sequence_indexes[0],
			group->scale_lower_bound + group->scale_delta);
		EXPECT_GT(height, 0) << effect.name;
		EXPECT_LE(height, effect.most) << effect.name << " against a soldier " << soldier << " high";
	}
}

// A group marker with bit 0 of its flags makes no group; the same marker
// without it makes one.
TEST_F(level_effects, a_group_marker_with_bit_0_makes_no_group)
{
	new_game_data setup;
	harness_level_setup(&setup);
	ASSERT_TRUE(harness_start_map(&setup));
	const marker_data *found = nullptr;
	for (int32 i = 0; i < mesh_globals->marker_count && !found; ++i)
	{
		const marker_data *marker = &mesh_globals->markers[i];
		const marker_palette_entry *entry = marker->type == _marker_local_projectile_group ?
			get_marker_palette_entry(_marker_local_projectile_group, marker->palette_index) : nullptr;
		if (entry && entry->tag_index != NONE) found = marker;
	}
	ASSERT_NE(found, nullptr) << "the level has a group marker";
	marker_data copy = *found;
	copy.identifier = 0;
	copy.flags |= 1;
	const int16 groups = local_projectile_group_array.total_count;
	EXPECT_EQ(new_local_projectile_group_from_marker(&copy), NONE);
	EXPECT_EQ(local_projectile_group_array.total_count, groups);
	copy.flags &= ~1u;
	const int16 made = new_local_projectile_group_from_marker(&copy);
	EXPECT_NE(made, NONE);
	if (made != NONE) delete_local_projectile_group(made);
}

// The shade of the mesh's shadow texels over a cell, summed; every texel is
// first set to the given light.
int64 lit_cell_shadow_sum(int32 cell_x, int32 cell_y, int32 light = NONE)
{
	int64 sum = 0;
	for (int32 y = cell_y * MESH_TEXELS_PER_CELL; y < (cell_y + 1) * MESH_TEXELS_PER_CELL; ++y)
	{
		for (int32 x = cell_x * MESH_TEXELS_PER_CELL; x < (cell_x + 1) * MESH_TEXELS_PER_CELL; ++x)
		{
			const int16 submesh = static_cast<int16>((y / SUBMESH_TEXTURE_SIZE) * mesh_globals->submesh_width + x / SUBMESH_TEXTURE_SIZE);
			uint8 *map = get_submesh_shadow_map_base_address(submesh, TRUE);
			if (!map) continue;
			uint8 *texel = &map[(y % SUBMESH_TEXTURE_SIZE) * SUBMESH_TEXTURE_SIZE + x % SUBMESH_TEXTURE_SIZE];
			if (light != NONE) *texel = static_cast<uint8>(light);
			sum += *texel;
		}
	}
	return sum;
}

// The shared flame groups sit at the map centre; a cell burning far from it
// is scorched under its own flames, not half a map away, by the scorch's own
// shadow.
TEST_F(level_effects, a_new_flame_stains_the_burning_cell)
{
	new_game_data setup;
	harness_level_setup(&setup);
	ASSERT_TRUE(harness_start_map(&setup));
	const int32 x = 6, y = 5;
	const new_fire_cell_data burning = {x, y, 65535, NONE, NONE, NONE};
	start_fire(&burning);
	const fire_cell_data *fire = get_fire_cell_data(0);
	ASSERT_NE(fire, nullptr);
	const mirror_group_data *flames = get_mirror_group_data(fire->fire_mirror_group_index);
	ASSERT_NE(flames, nullptr);
	const int16 shared = flames->parent_projectile_group_index;
	const local_projectile_group_data *group = get_local_projectile_group_data(shared);
	ASSERT_NE(group, nullptr);
	const int32 away_x = (group->center.x + flames->center.x) >> 9, away_y = (group->center.y + flames->center.y) >> 9;
	ASSERT_LT(away_x, mesh_globals->mesh_width);
	ASSERT_LT(away_y, mesh_globals->mesh_height);
	const int64 here = lit_cell_shadow_sum(x, y, 200), there = lit_cell_shadow_sum(away_x, away_y, 200);
	ASSERT_GT(here, 0);
	ASSERT_GT(there, 0);
	const int32 stains_left = flames->stains_left;
	new_local_projectile_data particle = {};
	particle.owner_index = shared;
	particle.owner_identifier = group->identifier;
	ASSERT_NE(new_local_projectile(&particle), NONE);
	EXPECT_EQ(flames->stains_left, stains_left - 1);
	EXPECT_LT(lit_cell_shadow_sum(x, y), here);
	EXPECT_EQ(lit_cell_shadow_sum(away_x, away_y), there);
}

// The mean of the red, green and blue bytes of a box of a 32-bit frame.
double frame_box_mean(const bitmap_data *screen, int32 x0, int32 y0, int32 x1, int32 y1)
{
	int64 sum = 0, count = 0;
	for (int32 y = y0; y < y1; ++y)
	{
		const uint32 *pixels = reinterpret_cast<const uint32 *>(screen->row_addresses[y]);
		for (int32 x = x0; x < x1; ++x)
		{
			sum += ((pixels[x] >> 16) & 255) + ((pixels[x] >> 8) & 255) + (pixels[x] & 255);
			count += 3;
		}
	}
	return count ? static_cast<double>(sum) / static_cast<double>(count) : 0.0;
}

// A quiet cell of the level, (6, 5), drawn in software as a game draws it:
// looking north from its centre, the cell lies in the middle of the frame's
// upper half (the box 130-190 x 80-120); the bottom rows show ground farther off.
struct quiet_cell_view
{
	static constexpr int16 x = 6, y = 5;
	bitmap_data *screen = new_bitmap(320, 240, 320 * 4, _32bit_encoding, 0);

	// Stains and flames draw from the local stream: seeded, a frame does not
	// hang on what tests ran before it in the same process.
	quiet_cell_view() { set_local_random_seed(0x5C0C4u); }
	~quiet_cell_view() { if (screen) dispose_pointer(screen); }

	// Runs the ticks of one frame, then draws it.
	void draw(int16 ticks)
	{
		harness_run_ticks(ticks);
		const observer_location look = {{static_cast<world_distance>(x * WORLD_ONE + WORLD_ONE / 2),
			static_cast<world_distance>(y * WORLD_ONE + WORLD_ONE / 2)}, QUARTER_CIRCLE, 0};
		const fixed zoom = 2 * FIXED_ONE;
		set_actual_observer_location_and_zoom(&look, &zoom);
		view_data view;
		prepare_observer_view(&view, screen, ticks);
		render_scene(&view);
	}
	double cell_mean(void) const { return frame_box_mean(screen, 130, 80, 190, 120); }
};

// Drawn in software as a game draws it, a flame on a quiet corner of the
// level leaves the ground it burnt darker once it is out; the rest of the
// view stays as it was.
TEST_F(level_effects, a_burnt_out_flame_leaves_its_ground_darker_in_the_frame)
{
	new_game_data setup;
	harness_level_setup(&setup);
	ASSERT_TRUE(harness_start_map(&setup));
	get_particle_system_test_hooks()->particles_idle = FALSE;
	quiet_cell_view frame;
	ASSERT_NE(frame.screen, nullptr);
	bitmap_data *screen = frame.screen;
	const auto draw = [&frame](void) { frame.draw(3); };
	const int16 x = frame.x, y = frame.y;
	// Past the level's fade from black.
	for (int32 i = 0; i < 40; ++i) draw();
	dump_frame_when_asked(screen, "l1_before_the_flame");
	const double cell_before = frame.cell_mean();
	const double rest_before = frame_box_mean(screen, 0, 170, 320, 240);
	const new_fire_cell_data burning = {x, y, 65535, NONE, NONE, NONE};
	start_fire(&burning);
	ASSERT_TRUE(cell_is_on_fire(x, y));
	// Its flames and the frames that keep them alive, until the fire is out (at most 509 ticks).
	for (int32 frame = 0; frame < 200 && cell_is_on_fire(x, y); ++frame) draw();
	EXPECT_FALSE(cell_is_on_fire(x, y));
	draw();
	dump_frame_when_asked(screen, "l1_after_the_flame");
	const double cell_after = frame.cell_mean();
	// A burn about a cell across, not a hole: darker by a tenth or more over
	// the box around the cell, and nowhere near black.
	EXPECT_LT(cell_after, cell_before * 0.9) << cell_before << " -> " << cell_after;
	EXPECT_GT(cell_after, cell_before * 0.6) << cell_before << " -> " << cell_after;
	EXPECT_NEAR(frame_box_mean(screen, 0, 170, 320, 240), rest_before, 2.0);
}

// A volley of bombs lands on one spot and each blast burns its scorch into
// the terrain maps: drawn in software, the stacked stains leave the ground
// darker and mottled, never a black hole in it.
TEST_F(level_effects, a_volley_of_bombs_scorches_the_ground_without_holing_it)
{
	new_game_data setup;
	harness_level_setup(&setup);
	ASSERT_TRUE(harness_start_map(&setup));
	const projectile_definition *bomb = get_projectile_definition(projectile_definition_tag_to_index(DEFAULT_BOMB_PROJECTILE_TAG));
	ASSERT_NE(bomb, nullptr);
	const int16 stain = bomb->sequence_indexes[_projectile_detonation_stain_sequence];
	ASSERT_NE(stain, NONE);
	quiet_cell_view frame;
	ASSERT_NE(frame.screen, nullptr);
	bitmap_data *screen = frame.screen;
	const int16 x = frame.x, y = frame.y;
	// Past the level's fade from black.
	for (int32 i = 0; i < 120; ++i) frame.draw(1);
	dump_frame_when_asked(screen, "l1_before_the_volley");
	const double cell_before = frame.cell_mean();
	// Six blasts a few texels apart, as a thrower's volley lands.
	for (int32 i = 0; i < 6; ++i)
	{
		const world_point2d where = {static_cast<world_distance>(x * WORLD_ONE + WORLD_ONE / 2 + 24 * (i % 3) - 24),
			static_cast<world_distance>(y * WORLD_ONE + WORLD_ONE / 2 + 32 * (i / 3) - 16)};
		stain_mesh(bomb->collection_index, stain, &where);
	}
	frame.draw(1);
	dump_frame_when_asked(screen, "l1_after_the_volley");
	const double cell_after = frame.cell_mean();
	EXPECT_LT(cell_after, cell_before * 0.9) << cell_before << " -> " << cell_after;
	EXPECT_GT(cell_after, cell_before * 0.6) << cell_before << " -> " << cell_after;
	// Nowhere in the burn is the ground near black (a volley of the old,
	// black stains left blocks at a tenth of the brightness).
	double darkest = cell_before;
	for (int32 by = 80; by < 120; by += 4)
	{
		for (int32 bx = 130; bx < 190; bx += 4) darkest = std::min(darkest, frame_box_mean(screen, bx, by, bx + 4, by + 4));
	}
	EXPECT_GT(darkest, cell_before * 0.3) << cell_before << " -> " << darkest;
}

// Sparks that fall in the valley's lake, on the level and on the demo, ripple
// it and are gone: a splash there throws no sparks of its own.
TEST_F(level_effects, a_splash_in_the_lake_throws_no_sparks)
{
	for (bool level : {true, false})
	{
		new_game_data setup;
		if (level) harness_level_setup(&setup);
		else
		{
			harness_default_setup(&setup);
			setup.parameters.scenario_tag = DEMO_MAP_MESH_TAG;
		}
		ASSERT_TRUE(harness_start_map(&setup));
		const world_point2d lake = {20 * WORLD_ONE, 60 * WORLD_ONE};
		const world_distance surface = get_mesh_height(&lake, _media_height);
		ASSERT_GT(surface, get_mesh_height(&lake, _land_height)) << "the point is in the lake";
		const int16 spark = projectile_definition_tag_to_index(DEFAULT_SPARK_PROJECTILE_TAG);
		ASSERT_NE(spark, NONE);
		for (int16 i = 0; i < 8; ++i)
		{
			new_projectile_data request;
			initialize_new_projectile_data(&request);
			request.type = spark;
			request.location.position = {static_cast<world_distance>(lake.x + 64 * i), lake.y,
				static_cast<world_distance>(surface + 256)};
			request.location.velocity = {0, 0, -24};
			ASSERT_NE(new_projectile(&request), NONE) << i;
		}
		int32 most = 0;
		for (int32 tick = 0; tick < 240; ++tick)
		{
			harness_run_ticks(1);
			int32 sparks = 0;
			for (int16 p = 0; p < projectile_array.count; ++p)
			{
				const projectile_data *projectile = get_projectile_data(p);
				const object_data *object = projectile && projectile->type == spark ? get_object_data(projectile->object_index) : nullptr;
				sparks += object && std::abs(object->location.position.x - lake.x) < 8 * WORLD_ONE &&
					std::abs(object->location.position.y - lake.y) < 8 * WORLD_ONE;
			}
			most = std::max(most, sparks);
		}
		EXPECT_LE(most, 8) << (level ? "level" : "demo") << ": a splash in the lake threw more sparks";
		harness_end_map();
	}
}
