// One tick of travel against terrain and other objects, on the demo map with
// a unit kind made in memory.
#include <cstring>

#include "bare_unit_object.h"
#include "support/zerv_harness.h"

#include "artifact_definitions.h"
#include "data.h"
#include "definitions.h"
#include "mesh.h"
#include "monster_commands.h"
#include "monster_definitions.h"
#include "monsters.h"
#include "objects.h"
#include "path.h"
#include "projectile_definitions.h"
#include "projectiles_content.h"
#include "shapes.h"
#include "units_content.h"

namespace {

class monster_movement_collision : public zerv_harness_fixture
{
protected:
	int16 kind = NONE;

	void SetUp() override
	{
		zerv_harness_fixture::SetUp();
		new_game_data setup;
		harness_battle_setup(&setup, HARNESS_DEMO_MAP_TAG);
		ASSERT_TRUE(harness_start_map(&setup));
		game_play_version = 1720;
		initialize_monster_definitions();
		initialize_monster_definitions_for_new_map();
		monster_definition definition = *get_default_monster_definition();
		definition.flags = 0;
		definition.hack_flags = 0;
		definition.size = 0;
		definition.pathfinding_radius = 100;
		definition.monster_class = _monster_class_melee;
		for (uint8 &modifier : definition.movement_modifiers) modifier = 255;
		kind = new_definition(get_monster_definitions(), TAG("tstk"), &definition);
		ASSERT_NE(kind, NONE);
		// Flat grass around the test area.
		for (int32 y = 10; y < 30; ++y)
		{
			for (int32 x = 10; x < 30; ++x) set_cell(x, y, _terrain_grass, _terrain_grass);
		}
	}

	void TearDown() override
	{
		reset_path_test_hooks();
		dispose_monster_definitions_from_old_map();
		zerv_harness_fixture::TearDown();
	}

	static void set_cell(int32 x, int32 y, int16 first, int16 second)
	{
		mesh_cell *cell = get_mesh_cell(x, y);
		cell->flags = static_cast<uint16>((cell->flags & ~CELL_TERRAIN_MASK) | (first << 4) | second);
		cell->model_index = NONE;
	}

	int16 unit(world_distance x, world_distance y, uint16 mask = 0)
	{
		const int16 index = new_datum(&monster_array);
		monster_data *monster = get_monster_data(index);
		const int16 identifier = monster->identifier;
		memset(monster, 0, sizeof(*monster));
		monster->identifier = identifier;
		monster->type = kind;
		monster->target_monster_index = monster->deferred_target_index = NONE;
		monster->carrying_object_index = monster->artifact_index = NONE;
		monster->pick_up_object_index = NONE;
		monster->terrain_impassability_flags = mask;
		monster->object_index = new_bare_unit_object(index, x, y);
		object_data *object = get_object_data(monster->object_index);
		object->flags |= _object_is_solid_flag;
		object->flags &= ~_object_is_invisible_flag;
		object->radius = 64;
		object->height0 = 0;
		object->height1 = 200;
		const world_point2d p = {x, y};
		monster->cell_impassability_flags = build_cell_impassability_flags(mask, &p);
		return index;
	}

	static object_data *o(int16 index) { return get_object_data(get_monster_data(index)->object_index); }

	static uint32 step(int16 index, short_world_distance dx, short_world_distance dy)
	{
		object_data *object = o(index);
		object->location.velocity = {dx, dy, 0};
		return move_monster_object(get_monster_data(index)->object_index);
	}

	static constexpr uint16 mask = 1u << _terrain_media_deep;
};

TEST_F(monster_movement_collision, a_barred_triangle_nudges_onto_its_diagonal)
{
	// Even cell (20, 20), point (100, 300) within it, its bit-1 triangle barred.
	set_cell(20, 20, _terrain_media_deep, _terrain_grass);
	const int16 a = unit(20 * WORLD_ONE + 150, 20 * WORLD_ONE + 20, mask);
	get_monster_data(a)->cell_impassability_flags = 1;
	const uint32 result = step(a, -50, 280);
	EXPECT_TRUE(result & _object_struck_cell_flag);
	EXPECT_EQ(o(a)->location.position.x, 20 * WORLD_ONE + 300);
	EXPECT_EQ(o(a)->location.position.y, 20 * WORLD_ONE + 299);

	// The other three nudges: even bit 2, odd bit 1, odd bit 2.
	const struct
	{
		int32 cell_x;
		uint8 barred;
		world_distance x0, y0, x1, y1, nudged_x, nudged_y;
	} nudges[] = {{22, 2, 250, 300, 300, 100, 100, 101}, {21, 1, 480, 100, 400, 50, 461, 51}, {23, 2, 50, 300, 100, 450, 61, 449}};
	for (const auto &n : nudges)
	{
		set_cell(n.cell_x, 20, _terrain_media_deep, _terrain_grass);
		const int16 b = unit(n.cell_x * WORLD_ONE + n.x0, 20 * WORLD_ONE + n.y0, mask);
		get_monster_data(b)->cell_impassability_flags = n.barred;
		EXPECT_TRUE(step(b, static_cast<short_world_distance>(n.x1 - n.x0), static_cast<short_world_distance>(n.y1 - n.y0)) &
			_object_struck_cell_flag) << n.cell_x;
		EXPECT_EQ(o(b)->location.position.x, n.cell_x * WORLD_ONE + n.nudged_x) << n.cell_x;
		EXPECT_EQ(o(b)->location.position.y, 20 * WORLD_ONE + n.nudged_y) << n.cell_x;
	}
}

TEST_F(monster_movement_collision, a_model_cell_beside_the_step_clips_it_and_one_across_a_corner_does_not)
{
	// A blocked model cell west, east, south and north of the cell stepped in
	// (each in its own corner of the flat area): the step stops at its margin.
	const struct
	{
		int32 cx, cy, dx, dy;
		world_distance x0, y0;
		short_world_distance vx, vy;
		world_distance clipped_x, clipped_y;
	} sides[] = {{13, 13, -1, 0, 100, 256, -50, 0, 64, 256}, {13, 26, 1, 0, 412, 256, 50, 0, 448, 256},
		{26, 13, 0, -1, 256, 100, 0, -50, 256, 64}, {26, 26, 0, 1, 256, 412, 0, 50, 256, 448}};
	for (const auto &side : sides)
	{
		set_cell(side.cx + side.dx, side.cy + side.dy, _terrain_walking_impassable, _terrain_walking_impassable);
		get_mesh_cell(side.cx + side.dx, side.cy + side.dy)->model_index = 0;
		const int16 a = unit(side.cx * WORLD_ONE + side.x0, side.cy * WORLD_ONE + side.y0);
		EXPECT_TRUE(step(a, side.vx, side.vy) & _object_struck_cell_flag) << side.cx << "," << side.cy;
		EXPECT_EQ(o(a)->location.position.x, side.cx * WORLD_ONE + side.clipped_x) << side.cx << "," << side.cy;
		EXPECT_EQ(o(a)->location.position.y, side.cy * WORLD_ONE + side.clipped_y) << side.cx << "," << side.cy;
	}

	// Across a corner only: no rectangle, the step is taken whole.
	set_cell(19, 19, _terrain_walking_impassable, _terrain_walking_impassable);
	get_mesh_cell(19, 19)->model_index = 0;
	const int16 b = unit(20 * WORLD_ONE + 100, 20 * WORLD_ONE + 100);
	EXPECT_FALSE(step(b, -50, -50) & _object_struck_cell_flag);
	EXPECT_EQ(o(b)->location.position.x, 20 * WORLD_ONE + 50);
	EXPECT_EQ(o(b)->location.position.y, 20 * WORLD_ONE + 50);
}

TEST_F(monster_movement_collision, a_kind_added_after_steps_were_taken_meets_others_at_its_wider_reach)
{
	// Steps are taken while only the narrow kind (pathfinding radius 100) exists.
	const int16 a = unit(20 * WORLD_ONE + 290, 20 * WORLD_ONE);
	step(a, 10, 0);
	monster_definition wide = *get_monster_definition(kind);
	wide.pathfinding_radius = 600;
	const int16 wide_kind = new_definition(get_monster_definitions(), TAG("tstw"), &wide);
	ASSERT_NE(wide_kind, NONE);
	const int16 b = unit(21 * WORLD_ONE + 400, 20 * WORLD_ONE);
	get_monster_data(b)->type = wide_kind;

	// 562 apart after the step: inside the allies' joint reach of 700, so the
	// step is pushed out to it.
	const uint32 result = step(a, 50, 0);
	ASSERT_TRUE(result & _object_struck_object_flag);
	EXPECT_EQ(static_cast<int16>(result >> 16), get_monster_data(b)->object_index);
	EXPECT_EQ(o(b)->location.position.x - o(a)->location.position.x, 100 + 600);
}

TEST_F(monster_movement_collision, the_edge_margin_stops_a_unit_leaving_the_map)
{
	const int16 a = unit(1000, 20 * WORLD_ONE);
	ASSERT_EQ(o(a)->owner, _object_is_monster);
	ASSERT_EQ(o(a)->owner_index, a);
	ASSERT_NE(get_monster_definition_for_monster(a), nullptr);
	ASSERT_FALSE(o(a)->flags & _object_pausing_for_obstacle_to_move_flag);
	const uint32 result = step(a, -100, 0);
	EXPECT_TRUE(result & _object_struck_edge_of_mesh_flag);
	EXPECT_EQ(o(a)->location.position.x, 992);
}

TEST_F(monster_movement_collision, units_push_out_and_a_second_contact_refuses)
{
	const int16 a = unit(20 * WORLD_ONE, 20 * WORLD_ONE);
	const int16 b = unit(20 * WORLD_ONE + 300, 20 * WORLD_ONE);
	uint32 result = step(a, 200, 0);
	ASSERT_TRUE(result & _object_struck_object_flag);
	EXPECT_EQ(static_cast<int16>(result >> 16), get_monster_data(b)->object_index);
	// Allies at rest are soft obstacles: pushed out to the two pathfinding radii.
	EXPECT_EQ(o(b)->location.position.x - o(a)->location.position.x, 100 + 100);

	const int16 c = unit(20 * WORLD_ONE + 100, 20 * WORLD_ONE + 180);
	const world_point3d before = o(a)->location.position;
	result = step(a, 40, 40);
	EXPECT_TRUE(result & _object_struck_objects_flag);
	EXPECT_EQ(o(a)->location.position.x, before.x);
	EXPECT_EQ(o(a)->location.position.y, before.y);
	(void)c;

	// A permeable object is touched softly.
	o(b)->flags |= _object_is_permeable_flag;
	const int16 d = unit(24 * WORLD_ONE, 24 * WORLD_ONE);
	const int16 e = unit(24 * WORLD_ONE + 250, 24 * WORLD_ONE);
	o(e)->flags |= _object_is_permeable_flag;
	result = step(d, 100, 0);
	EXPECT_TRUE(result & _object_struck_object_softly_flag);
}

TEST_F(monster_movement_collision, terrain_in_the_mask_stops_a_crossing_by_the_a_b_rule)
{
	// Moving from (20, 20) to (21, 21) diagonally, water in (21, 21) only:
	// neither A = (20, 21) nor B = (21, 20) is water.
	set_cell(21, 21, _terrain_grass, _terrain_media_deep);
	const world_distance x = 21 * WORLD_ONE - 10, y = 21 * WORLD_ONE - 10;

	game_play_version = 1500;
	int16 a = unit(x, y, mask);
	step(a, 20, 20);
	EXPECT_EQ(o(a)->location.position.x, x) << "below 1501 the unit stays";
	EXPECT_EQ(o(a)->location.position.y, y);

	// The same crossing elsewhere, from 1501.
	game_play_version = 1501;
	set_cell(25, 25, _terrain_grass, _terrain_media_deep);
	const world_distance x2 = 25 * WORLD_ONE - 10, y2 = 25 * WORLD_ONE - 10;
	a = unit(x2, y2, mask);
	step(a, 20, 20);
	EXPECT_EQ(o(a)->location.position.x, x2) << "from 1501 it takes A = (old x, new y)";
	EXPECT_EQ(o(a)->location.position.y, y2 + 20);
}

// A moving unit's step: base speed times the terrain's modifier, doubled
// when running, a percentage more for a charging kind; footprints darken
// soft ground.
class monster_movement_speed_steps : public monster_movement_collision
{
protected:
	int32 row = 12;

	// Each mover walks its own row, clear of the ones before it.
	int16 mover(int16 permutation)
	{
		const world_distance y = row * WORLD_ONE + 256;
		row += 2;
		const int16 index = unit(20 * WORLD_ONE + 256, y);
		monster_data *monster = get_monster_data(index);
		monster->action = _monster_action_moving;
		monster->action_permutation = static_cast<int8>(permutation);
		monster->base_movement_speed = 512;
		monster->ticks_until_updating = 100;
		monster->path_destination = {28 * WORLD_ONE, y};
		monster->path_segment_length = 4000;
		o(index)->location.yaw = 0;
		monster->desired_yaw = 0;
		return index;
	}

	world_distance travelled(int16 permutation)
	{
		const int16 index = mover(permutation);
		const world_distance x = o(index)->location.position.x;
		monster_moving(index);
		return o(index)->location.position.x - x;
	}
};

TEST_F(monster_movement_speed_steps, terrain_running_and_charging_set_the_step)
{
	monster_definition *definition = get_monster_definition(kind);
	definition->flags |= _monster_translates_continuously_flag;
	EXPECT_EQ(travelled(_monster_action_permutation_walking), 512);
	definition->movement_modifiers[_terrain_grass] = 127;
	EXPECT_EQ(travelled(_monster_action_permutation_walking), 256);
	definition->movement_modifiers[_terrain_grass] = 255;
	// Running without a running sequence is walking.
	definition->sequence_indexes[_monster_sequence_running] = NONE;
	EXPECT_EQ(travelled(_monster_action_permutation_running), 512);
	definition->sequence_indexes[_monster_sequence_running] = 0;
	EXPECT_EQ(travelled(_monster_action_permutation_running), 1024);
	definition->hack_flags = static_cast<int16>(_hack_unit_can_charge_flag);
	definition->terrain_costs[8] = 13;
	EXPECT_EQ(travelled(_monster_action_permutation_running), (131072 + 17039) / 256);
	definition->terrain_costs[8] = 0;
	EXPECT_EQ(travelled(_monster_action_permutation_running), (131072 + 131072 / 5) / 256);
}

TEST_F(monster_movement_speed_steps, a_footprint_darkens_desert_but_not_grass)
{
	monster_definition *definition = get_monster_definition(kind);
	definition->flags |= _monster_translates_continuously_flag;
	// The foot lands half a radius to the unit's right: (x + 512, y - 32) after the step.
	const int32 tx = (20 * WORLD_ONE + 256 + 512) >> 6;
	const int32 grass_ty = (12 * WORLD_ONE + 256 - 32) >> 6, desert_ty = (14 * WORLD_ONE + 256 - 32) >> 6;
	const uint8 grass_before = get_mesh_shadow_map_pixel(tx, grass_ty);
	const uint8 desert_before = get_mesh_shadow_map_pixel(tx, desert_ty);
	ASSERT_GT(desert_before, 80);
	for (int32 x = 19; x < 23; ++x) set_cell(x, 14, _terrain_desert, _terrain_desert);
	travelled(_monster_action_permutation_walking);
	EXPECT_EQ(get_mesh_shadow_map_pixel(tx, grass_ty), grass_before) << "grass keeps its shade";
	travelled(_monster_action_permutation_walking);
	const int32 darker = desert_before - get_mesh_shadow_map_pixel(tx, desert_ty);
	EXPECT_GE(darker, 6);
	EXPECT_LE(darker, 9);
}

// Footprints keep their shadow map's record from step to step: once the
// landscape collection is freed and built again, they darken the new map.
TEST_F(monster_movement_speed_steps, footprints_follow_the_shadow_map_when_its_collection_is_built_again)
{
	get_monster_definition(kind)->flags |= _monster_translates_continuously_flag;
	for (int32 y = 12; y < 20; y += 2)
	{
		for (int32 x = 19; x < 23; ++x) set_cell(x, y, _terrain_desert, _terrain_desert);
	}
	const int32 tx = (20 * WORLD_ONE + 256 + 512) >> 6;
	auto darkened = [&](int32 at_row) {
		const int32 ty = (at_row * WORLD_ONE + 256 - 32) >> 6;
		const int32 before = get_mesh_shadow_map_pixel(tx, ty);
		travelled(_monster_action_permutation_walking);
		return before - get_mesh_shadow_map_pixel(tx, ty);
	};
	EXPECT_GE(darkened(12), 6);
	EXPECT_GE(darkened(14), 6);

	const int16 collection = mesh_globals->landscape_collection_index;
	delete_collection(collection);
	EXPECT_EQ(get_mesh_shadow_map_pixel(tx, (16 * WORLD_ONE + 256 - 32) >> 6), 0) << "no map while it is gone";
	travelled(_monster_action_permutation_walking); // row 16: nothing to darken
	const int16 again = get_collection_index(get_mesh_header()->landscape_collection_tag);
	ASSERT_NE(again, NONE);
	mesh_globals->landscape_collection_index = again;
	const int32 fresh = darkened(18);
	EXPECT_GE(fresh, 6);
	EXPECT_LE(fresh, 9);
}

}

namespace {

// A melee blow at an enemy squaring up to the attacker: the target raises its
// guard for the blow's wind-up and its timer grows by 30, or by 30 plus its
// kind's bonus (not below -29) for kinds good at blocking.
class monster_movement_blocking : public zerv_harness_fixture
{
protected:
	int16 attacker = NONE, target = NONE;

	void SetUp() override
	{
		zerv_harness_fixture::SetUp();
		new_game_data setup;
		harness_battle_setup(&setup, HARNESS_DEMO_MAP_TAG);
		ASSERT_TRUE(harness_start_map(&setup));
		const int16 swordsman = monster_definition_tag_to_index(default_unit_kind_tags[0]);
		for (int16 i = 0; i < monster_array.count; ++i)
		{
			const monster_data *monster = get_monster_data(i);
			if (!monster || monster->type != swordsman) continue;
			if (attacker == NONE) attacker = i;
			else if (target == NONE && monster->owner_team_index != get_monster_data(attacker)->owner_team_index) target = i;
		}
		ASSERT_NE(target, NONE);
		get_monster_definition(swordsman)->sequence_indexes[_monster_sequence_blocking] =
			get_monster_definition(swordsman)->sequence_indexes[_monster_sequence_idle];
	}

	// The attacker finishes aiming at a target holding for attack against it.
	int16 blow(int16 timer)
	{
		monster_data *a = get_monster_data(attacker);
		monster_data *b = get_monster_data(target);
		a->flags |= _monster_has_valid_target_flag | _monster_has_valid_target_index_flag;
		a->target_monster_index = target;
		set_monster_action(attacker, _monster_action_aiming_attack, 0);
		a->desired_yaw = get_object_data(a->object_index)->location.yaw;
		b->flags |= _monster_has_valid_target_flag | _monster_has_valid_target_index_flag;
		b->target_monster_index = attacker;
		set_monster_action(target, _monster_action_holding_for_attack, NONE);
		b->attack_timer = timer;
		monster_moving(attacker);
		EXPECT_EQ(a->action, _monster_action_attacking);
		return b->attack_timer;
	}
};

TEST_F(monster_movement_blocking, a_target_squaring_up_blocks_by_its_kinds_bonus)
{
	EXPECT_EQ(blow(0), 30);
	const int32 windup = get_object_sequence_ticks(get_monster_data(attacker)->object_index, _object_ticks_until_key_frame) + 4;
	ASSERT_GE(windup, 5);
	ASSERT_LE(windup, 29);
	EXPECT_EQ(get_monster_data(target)->action, _monster_action_blocking);
	EXPECT_EQ(get_monster_data(target)->action_permutation, windup);

	EXPECT_EQ(blow(10), 10) << "a target still recovering does not block";
	EXPECT_NE(get_monster_data(target)->action, _monster_action_blocking);

	monster_definition *kind = get_monster_definition(get_monster_data(target)->type);
	kind->hack_flags = static_cast<int16>(static_cast<uint16>(kind->hack_flags) | _hack_increased_chance_to_block_flag);
	kind->terrain_costs[5] = -50;
	EXPECT_EQ(blow(0), 1);
	kind->terrain_costs[5] = 10;
	EXPECT_EQ(blow(0), 40);
}

}

namespace {

// A charger near its enemy runs; when its charge is limited it walks on at
// its next re-plan while running, unless its kind can extend the charge.
TEST_F(monster_movement_speed_steps, a_limited_charger_stops_running_when_it_re_plans)
{
	game_play_version = 1650;
	monster_definition *definition = get_monster_definition(kind);
	definition->hack_flags = static_cast<int16>(_hack_unit_can_charge_flag);
	definition->sequence_indexes[_monster_sequence_running] = 0;
	definition->terrain_costs[10] = 8;
	auto replan = [&](uint32 flags) {
		definition->flags = flags;
		const int16 a = mover(_monster_action_permutation_running);
		const int16 enemy = unit(o(a)->location.position.x + 400, o(a)->location.position.y + 400);
		get_monster_data(enemy)->owner_team_index = 1;
		monster_data *monster = get_monster_data(a);
		monster->aggressor_monster_index = enemy;
		monster->extra_flags |= _monster_wants_to_run_extra_flag;
		const world_point2d far = {28 * WORLD_ONE, o(a)->location.position.y};
		set_monster_waypoints(a, 1, &far, 0, 0);
		monster->action_permutation = _monster_action_permutation_running;
		monster_needs_new_path(a);
		return monster->action_permutation;
	};
	EXPECT_EQ(replan(_monster_can_extend_charge_duration_flag), _monster_action_permutation_running);
	EXPECT_EQ(replan(0), _monster_action_permutation_walking);
}

}

namespace {

// The walk-around step belongs to more_hack_flags: a kind with it steps back
// to where it was rather than onto a pushed-out point its kind may not enter.
// The same bit of hack_flags (turning in a curve) has nothing to do with it.
TEST_F(monster_movement_collision, walking_around_a_blockage_is_a_bit_of_more_hack_flags)
{
	monster_definition *definition = get_monster_definition(kind);
	definition->terrain_impassability_flags = mask;
	// A bumps into B, 300 to its east, and is pushed back to 200 from B: 100
	// east of where it stood, in the same cell. Only the kind's mask knows water.
	const auto bump = [&](int32 row, uint8 more_hacks, uint16 hacks) {
		definition->more_hack_flags = static_cast<int8>(more_hacks);
		definition->hack_flags = static_cast<int16>(hacks);
		const int16 a = unit(20 * WORLD_ONE + 50, row * WORLD_ONE + 256);
		update_monster_location_height(a);
		update_monster_location_height(unit(20 * WORLD_ONE + 350, row * WORLD_ONE + 256));
		const uint32 result = step(a, 200, 0);
		EXPECT_TRUE(result & _object_struck_object_flag) << row;
		return o(a)->location.position.x - (20 * WORLD_ONE + 50);
	};
	for (int32 row : {12, 14, 16, 18}) set_cell(20, row, _terrain_media_deep, _terrain_grass);

	EXPECT_EQ(bump(12, _hack_walks_around_blockage_flag, 0), 0) << "stays put";
	EXPECT_EQ(bump(14, 0, _hack_turns_in_a_curve_flag), 100) << "the other word's bit";
	EXPECT_EQ(bump(20, _hack_walks_around_blockage_flag, 0), 100) << "passable ground";
	game_play_version = 1300;
	EXPECT_EQ(bump(16, _hack_walks_around_blockage_flag, 0), 100) << "not before 1301";
}

// A melee unit lets go of a flying target unless its kind can reach flyers
// (a bit of more_hack_flags); under 1300 none can.
TEST_F(monster_movement_collision, melee_units_drop_flying_targets_unless_their_kind_reaches_them)
{
	monster_definition flyer = *get_monster_definition(kind);
	flyer.flags |= _monster_flies_flag;
	const int16 flying_kind = new_definition(get_monster_definitions(), TAG("tstf"), &flyer);
	ASSERT_NE(flying_kind, NONE);
	monster_definition *definition = get_monster_definition(kind);
	const int16 target = unit(24 * WORLD_ONE, 20 * WORLD_ONE);
	get_monster_data(target)->type = flying_kind;
	const auto keeps = [&](uint8 more_hacks, uint16 hacks) {
		definition->more_hack_flags = static_cast<int8>(more_hacks);
		definition->hack_flags = static_cast<int16>(hacks);
		const int16 a = unit(20 * WORLD_ONE, 20 * WORLD_ONE);
		monster_data *monster = get_monster_data(a);
		monster->flags |= _monster_has_valid_target_flag | _monster_has_valid_target_index_flag;
		monster->target_monster_index = target;
		monster->action = _monster_action_idle;
		monster_moving(a);
		return (monster->flags & _monster_has_valid_target_index_flag) != 0;
	};
	EXPECT_TRUE(keeps(_hack_can_target_flying_flag, 0));
	EXPECT_FALSE(keeps(0, _hack_unit_can_charge_flag)) << "the same bit of hack_flags";
	EXPECT_FALSE(keeps(0, 0));
	definition->monster_class = _monster_class_missile;
	EXPECT_TRUE(keeps(0, 0)) << "missile units keep flyers";
	definition->monster_class = _monster_class_melee;
	game_play_version = 1300;
	EXPECT_FALSE(keeps(_hack_can_target_flying_flag, 0));
}

// A path request answered "recompute" is asked again in the same tick. A
// sound pathfinder answers at the second call (its destination then being
// the start); one that never does is given up on after 16 calls.
TEST_F(monster_movement_collision, a_path_request_answered_recompute_is_repeated_at_most_sixteen_times)
{
	// Boxed in by water: the first search has no step to make.
	for (int32 y = 19; y <= 21; ++y)
	{
		for (int32 x = 19; x <= 21; ++x) set_cell(x, y, _terrain_media_deep, _terrain_media_deep);
	}
	set_cell(20, 20, _terrain_grass, _terrain_grass);
	const world_point2d far = {26 * WORLD_ONE, 20 * WORLD_ONE + 256};
	const auto requests = [&](world_distance x, world_distance y, int32 forced) {
		const int16 a = unit(x, y, mask);
		set_monster_waypoints(a, 1, &far, 0, 0);
		get_path_test_hooks()->forced_recomputes = forced;
		reset_monster_movement_counters();
		monster_needs_new_path(a);
		EXPECT_NE(get_monster_data(a)->path_index, PATH_MUST_BE_RECOMPUTED);
		return get_monster_movement_counters()->path_requests;
	};
	EXPECT_EQ(requests(20 * WORLD_ONE + 256, 20 * WORLD_ONE + 256, 0), 2);
	EXPECT_EQ(requests(12 * WORLD_ONE, 12 * WORLD_ONE, 0), 1) << "open ground";
	EXPECT_EQ(requests(12 * WORLD_ONE, 14 * WORLD_ONE, 1), 2);
	EXPECT_EQ(requests(12 * WORLD_ONE, 16 * WORLD_ONE, 100), 16);
	EXPECT_EQ(get_path_test_hooks()->forced_recomputes, 100 - 16);
}

// A unit holding an artifact that overrides its kind and is always slow when
// held moves at the override kind's speed when that is slower.
TEST_F(monster_movement_speed_steps, a_held_slow_artifact_sets_the_speed_of_the_step)
{
	monster_definition *definition = get_monster_definition(kind);
	definition->flags |= _monster_translates_continuously_flag;
	monster_definition override_kind = *definition;
	override_kind.base_movement_speed = 200;
	const int16 slow = new_definition(get_monster_definitions(), TAG("tsls"), &override_kind);
	const int16 flask = artifact_definition_tag_to_index(DEFAULT_FLASK_ARTIFACT_TAG);
	ASSERT_NE(flask, NONE);
	artifact_definition artifact_copy = *get_artifact_definition(flask);
	artifact_copy.monster_override_type = slow;
	const int16 artifact = new_definition(get_artifact_definitions(), TAG("tsla"), &artifact_copy);
	projectile_definition projectile_copy =
		*get_projectile_definition(projectile_definition_tag_to_index(DEFAULT_BOMB_PROJECTILE_TAG));
	projectile_copy.artifact_index = artifact;
	const int16 projectile = new_definition(get_projectile_definitions(), TAG("tslp"), &projectile_copy);
	ASSERT_NE(slow, NONE);
	ASSERT_NE(artifact, NONE);
	ASSERT_NE(projectile, NONE);

	const uint32 both = _artifact_overrides_owner_monster_flag | _artifact_always_slow_when_held_flag;
	const auto step_holding = [&](uint32 artifact_flags, int16 override_speed, bool carried) {
		get_artifact_definition(artifact)->flags = artifact_flags;
		get_monster_definition(slow)->base_movement_speed = override_speed;
		const int16 index = mover(_monster_action_permutation_walking);
		monster_data *monster = get_monster_data(index);
		const int16 held = new_bare_unit_object(index, o(index)->location.position.x, o(index)->location.position.y);
		get_object_data(held)->owner = _object_is_dormant_projectile;
		get_object_data(held)->owner_index = projectile;
		monster->held_object_indexes[0] = held;
		monster->held_object_count = 1;
		if (carried)
		{
			monster->carrying_object_index = held;
			monster->artifact_index = artifact;
		}
		calculate_monster_speed(index);
		const world_distance x = o(index)->location.position.x;
		monster_moving(index);
		return o(index)->location.position.x - x;
	};
	EXPECT_EQ(step_holding(both, 200, false), 200);
	EXPECT_EQ(step_holding(_artifact_always_slow_when_held_flag, 200, false), 512);
	EXPECT_EQ(step_holding(_artifact_overrides_owner_monster_flag, 200, false), 512);
	EXPECT_EQ(step_holding(both, 800, false), 512) << "never faster";
	EXPECT_EQ(step_holding(both, 200, true), 200);
	EXPECT_EQ(step_holding(both | _artifact_cannot_be_holstered_flag, 200, true), 512)
		<< "an artifact in hand that cannot be put away leaves the speed alone";
}

// Bumping an ally: one walking on makes the unit wait 10 ticks; one standing
// still is an obstruction, and the 30th in a row makes the unit wait 30 ticks
// (not while it has a target to reach).
TEST_F(monster_movement_speed_steps, bumping_allies_pauses_ten_ticks_behind_walkers_and_thirty_after_thirty_bumps)
{
	get_monster_definition(kind)->flags |= _monster_translates_continuously_flag;
	// 64 a tick into an ally 250 ahead: struck every tick, pushed back to 200 from it.
	const auto bumper = [&](int16 ally_action) {
		const int16 index = mover(_monster_action_permutation_walking);
		monster_data *monster = get_monster_data(index);
		monster->base_movement_speed = 64;
		monster->path_segment_length = 32000;
		const int16 ally = unit(o(index)->location.position.x + 250, o(index)->location.position.y);
		update_monster_location_height(ally);
		get_monster_data(ally)->action = ally_action;
		return index;
	};
	const auto pausing = [&](int16 index) { return (o(index)->flags & _object_pausing_for_obstacle_to_move_flag) != 0; };

	monster_definition *definition = get_monster_definition(kind);
	const int16 walking = 0, waiting_sequence = 1;
	definition->sequence_indexes[_monster_sequence_moving] = walking;
	definition->sequence_indexes[_monster_sequence_pausing_for_obstacle] = waiting_sequence;
	const int16 a = bumper(_monster_action_moving);
	// Shapes from the collection of a unit of the map's own.
	for (int16 i = 0; i < monster_array.count && o(a)->shape_collection_index == NO_SHAPE_INDEX; ++i)
	{
		const monster_data *other = get_monster_data(i);
		if (other && other->type != kind) o(a)->shape_collection_index = o(i)->shape_collection_index;
	}
	set_object_shape(get_monster_data(a)->object_index, walking, 256, _transfer_mode_none, 0, 0, FALSE);
	ASSERT_EQ(o(a)->shape_sequence_index, walking);
	monster_moving(a);
	ASSERT_TRUE(pausing(a));
	EXPECT_EQ(o(a)->shape_sequence_index, waiting_sequence) << "the pausing sequence shows";
	EXPECT_EQ(get_monster_data(a)->attack_timer, MINIMUM_PAUSING_TIME);
	EXPECT_EQ(get_monster_data(a)->repeated_obstruction_count, 0);
	const world_point3d waiting = o(a)->location.position;
	// Waits while the timer counts down and goes on when it falls below 0;
	// turned away from the ally meanwhile, it then walks off.
	o(a)->location.yaw = 16384;
	get_monster_data(a)->desired_yaw = 16384;
	for (int32 tick = 0; tick < MINIMUM_PAUSING_TIME; ++tick) monster_moving(a);
	EXPECT_TRUE(pausing(a));
	monster_moving(a);
	EXPECT_FALSE(pausing(a));
	EXPECT_EQ(o(a)->shape_sequence_index, walking) << "and the walking one comes back";
	EXPECT_EQ(o(a)->location.position.y, waiting.y);
	monster_moving(a);
	EXPECT_EQ(o(a)->location.position.y, waiting.y + 64) << "walking on";

	const int16 b = bumper(_monster_action_idle);
	for (int32 bump = 1; bump < MAXIMUM_REPEATED_OBSTRUCTIONS_BEFORE_STOPPING; ++bump)
	{
		monster_moving(b);
		ASSERT_FALSE(pausing(b)) << bump;
	}
	EXPECT_EQ(get_monster_data(b)->repeated_obstruction_count, MAXIMUM_REPEATED_OBSTRUCTIONS_BEFORE_STOPPING - 1);
	monster_moving(b);
	EXPECT_TRUE(pausing(b));
	EXPECT_EQ(get_monster_data(b)->attack_timer, MAXIMUM_REPEATED_OBSTRUCTIONS_BEFORE_STOPPING);
	EXPECT_EQ(get_monster_data(b)->repeated_obstruction_count, 0);

	const int16 c = bumper(_monster_action_idle);
	get_monster_data(c)->flags |= _monster_has_valid_target_index_flag;
	for (int32 bump = 0; bump < MAXIMUM_REPEATED_OBSTRUCTIONS_BEFORE_STOPPING + 2; ++bump) monster_moving(c);
	EXPECT_FALSE(pausing(c));
	EXPECT_EQ(get_monster_data(c)->repeated_obstruction_count, MAXIMUM_REPEATED_OBSTRUCTIONS_BEFORE_STOPPING + 2);
}

}
