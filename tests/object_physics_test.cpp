// move_object: the edge of the mesh, hovering and falling, floors, ceilings
// and media, collisions with other objects and how the mover ends up.
#include <gtest/gtest.h>

#include "objects_test_support.h"

namespace {

class object_physics : public objects_test_map
{
protected:
	int16 definition(int16 gravity, int16 elasticity, uint16 flags = 0)
	{
		object_definition d = *get_default_object_definition();
		d.flags = flags;
		d.gravity = gravity;
		d.elasticity = elasticity;
		return new_definition(get_object_definitions(), TAG("phys"), &d);
	}

	int16 mover(int16 type, world_distance x, world_distance y, world_distance z, world_vector3d velocity)
	{
		const int16 index = make_object(x, y, z);
		object_data *object = get_object_data(index);
		object->type = type;
		object->location.velocity = velocity;
		return index;
	}

	const world_point3d &position(int16 index) { return get_object_data(index)->location.position; }
	const world_vector3d &velocity(int16 index) { return get_object_data(index)->location.velocity; }
};

TEST_F(object_physics, the_edge_of_the_mesh_turns_objects_back)
{
	const int16 flying = definition(0, 128);
	const int16 a = mover(flying, 1000, 5000, 300, {-20, 0, 0});
	EXPECT_TRUE(move_object(a) & _object_struck_edge_of_mesh_flag);
	EXPECT_EQ(position(a).x, 992);
	EXPECT_EQ(velocity(a).i, 20);
	const int16 b = mover(flying, 5000, map.height() * 512 - 1000, 300, {0, 20, 0});
	EXPECT_TRUE(move_object(b) & _object_struck_edge_of_mesh_flag);
	EXPECT_EQ(position(b).y, map.height() * 512 - 992 - 1);
	EXPECT_EQ(velocity(b).j, -20);
}

TEST_F(object_physics, falling_bouncing_and_coming_to_rest)
{
	const int16 bouncy = definition(0, 256);
	const int16 slow = mover(bouncy, 5000, 5000, 1, {2, 0, -2});
	uint32 result = move_object(slow);
	EXPECT_TRUE(result & _object_struck_ground_flag);
	EXPECT_EQ(position(slow).z, 0);
	EXPECT_EQ(velocity(slow).i, 0);
	EXPECT_TRUE(get_object_data(slow)->flags & _object_at_rest_flag);
	EXPECT_TRUE(get_object_data(slow)->flags & _object_on_ground_flag);

	const int16 quick = mover(bouncy, 9000, 9000, 1, {3, 0, -2});
	result = move_object(quick);
	EXPECT_TRUE(result & _object_struck_ground_flag);
	EXPECT_EQ(velocity(quick).i, 3);
	EXPECT_EQ(velocity(quick).k, 2);
	EXPECT_FALSE(get_object_data(quick)->flags & _object_at_rest_flag);

	// Gravity until the terminal velocity; the height above the floor is kept.
	object_definition heavy = *get_default_object_definition();
	heavy.gravity = -10;
	heavy.terminal_velocity = -15;
	const int16 falling = mover(new_definition(get_object_definitions(), TAG("hevy"), &heavy), 12000, 12000, 1000, {0, 0, 0});
	move_object(falling);
	EXPECT_EQ(velocity(falling).k, -10);
	move_object(falling);
	EXPECT_EQ(velocity(falling).k, -20);
	move_object(falling);
	EXPECT_EQ(velocity(falling).k, -20);
	EXPECT_EQ(position(falling).z, 950);
	EXPECT_EQ(get_object_data(falling)->location.height, 950);
}

TEST_F(object_physics, hovering_ceilings_and_media)
{
	const int16 hover = mover(definition(0, 128, _maintains_constant_height_above_ground_flag), 5000, 5000, 700, {0, 0, 0});
	get_object_data(hover)->desired_height_above_ground = 100;
	move_object(hover);
	EXPECT_EQ(position(hover).z, 668);
	move_object(hover);
	EXPECT_EQ(position(hover).z, 636);

	// An indoor map stops objects at its ceiling.
	dispose_objects_from_old_map();
	map.header.flags |= _mesh_is_indoor_map_flag;
	map.header.ceiling_height = 300;
	for (int32 y = 20; y < 30; ++y)
	{
		for (int32 x = 20; x < 30; ++x)
		{
			map.cell(x, y).flags |= _mesh_cell_triangle_media_flags;
			map.cell(x, y).media_height = 100;
		}
	}
	map.coverage.assign(static_cast<size_t>(map.height() * 8 * (map.width() + 1)), 0);
	map.coverage.resize(static_cast<size_t>(
		build_media_coverage_from_cells(map.cells.data(), map.width(), map.height(), map.coverage.data(),
			static_cast<int32>(map.coverage.size()))));
	ASSERT_TRUE(map.load());
	initialize_objects_for_new_map();
	const int16 flying = definition(0, 128);
	const int16 rising = mover(flying, 5000, 5000, 290, {0, 0, 50});
	EXPECT_TRUE(move_object(rising) & _object_struck_ceiling_flag);
	EXPECT_EQ(position(rising).z, 300);

	const int16 diver = mover(flying, 25 * 512, 25 * 512, 200, {0, 0, -150});
	uint32 result = move_object(diver);
	EXPECT_TRUE(result & _object_entered_media_flag);
	EXPECT_TRUE(get_object_data(diver)->flags & _object_partially_under_media_flag);
	EXPECT_FALSE(get_object_data(diver)->flags & _object_wholly_under_media_flag);
	get_object_data(diver)->location.velocity = {0, 0, 100};
	result = move_object(diver);
	EXPECT_TRUE(result & _object_exited_media_flag);
	EXPECT_FALSE(get_object_data(diver)->flags & _object_partially_under_media_flag);
}

TEST_F(object_physics, objects_collide_through_the_cell_chains)
{
	const int16 flying = definition(0, 128);
	// A side hit puts the mover R + 32 from the other's centre and bounces it.
	const int16 other = make_object(5150, 5000, 0);
	const int16 side = mover(flying, 5000, 5000, 0, {100, 0, 0});
	uint32 result = move_object(side);
	EXPECT_TRUE(result & _object_struck_object_flag);
	EXPECT_EQ(MOVE_RESULT_STRUCK_OBJECT_INDEX(result), other);
	EXPECT_EQ(position(side).x, 5150 - (128 + RADIUS_OVERESTIMATION_AMOUNT));
	EXPECT_EQ(velocity(side).i, -50);

	// A permeable mover is struck softly and, from 1301, keeps its point.
	get_object_data(side)->location.position = {5000, 5000, 0};
	get_object_data(side)->location.velocity = {100, 0, 0};
	get_object_data(side)->flags |= _object_is_permeable_flag;
	result = move_object(side);
	EXPECT_TRUE(result & _object_struck_object_softly_flag);
	EXPECT_EQ(position(side).x, 5100);
	EXPECT_EQ(velocity(side).i, 100);
	game_play_version = 1300;
	get_object_data(side)->location.position = {5000, 5000, 0};
	move_object(side);
	EXPECT_EQ(position(side).x, 5150 - 160);
	game_play_version = 1720;

	// Objects that cannot be accelerated pass through others, except at 1500.
	const int16 ghost = mover(flying, 5000, 7000, 0, {100, 0, 0});
	make_object(5150, 7000, 0);
	get_object_data(ghost)->flags |= _object_cannot_be_accelerated_flag;
	EXPECT_FALSE(move_object(ghost) & _object_struck_object_flag);
	game_play_version = 1500;
	get_object_data(ghost)->location.position = {5000, 7000, 0};
	EXPECT_TRUE(move_object(ghost) & _object_struck_object_flag);
	game_play_version = 1720;

	// Landing on one object while overlapping a second stops the mover.
	const int16 tall = make_object(9010, 9000, 0);
	get_object_data(tall)->height1 = 200;
	const int16 low = make_object(9010, 9000, 0);
	const int16 dropping = mover(flying, 9000, 9000, 200, {0, 0, -100});
	result = move_object(dropping);
	EXPECT_TRUE(result & _object_struck_objects_flag);
	EXPECT_EQ(MOVE_RESULT_STRUCK_OBJECT_INDEX(result), low); // the head of the chain is met first
	EXPECT_EQ(position(dropping).z, 0);
	EXPECT_EQ(velocity(dropping).k, 0);

	// A mover that changes cells moves to the head of the new chain.
	const int16 walker = mover(flying, 20 * 512 + 500, 20 * 512 + 10, 0, {30, 0, 0});
	EXPECT_TRUE(move_object(walker) & _object_changed_cells_flag);
	EXPECT_EQ(chain_of_cell(21, 20).front(), walker);
	EXPECT_TRUE(chain_of_cell(20, 20).empty());
}

// A mover whose bottom was level with the other's top lands on it, one whose
// top was level with the other's bottom is held under it: level counts as
// above and below, not as a side hit. A dormant projectile is met as any
// object, without the stop an active one makes.
TEST_F(object_physics, level_edges_count_as_above_and_below_and_only_active_projectiles_stop_movers)
{
	const int16 flying = definition(0, 128);
	make_object(9000, 11000, 0);
	const int16 landing = mover(flying, 9000, 11000, 128, {0, 0, -50});
	EXPECT_TRUE(move_object(landing) & _object_struck_object_flag);
	EXPECT_EQ(position(landing).x, 9000);
	EXPECT_EQ(position(landing).z, 128);
	EXPECT_EQ(velocity(landing).k, 25);

	make_object(9000, 13000, 300);
	const int16 rising = mover(flying, 9000, 13000, 172, {0, 0, 50});
	EXPECT_TRUE(move_object(rising) & _object_struck_object_flag);
	EXPECT_EQ(position(rising).x, 9000);
	EXPECT_EQ(position(rising).z, 300);
	EXPECT_EQ(velocity(rising).k, -25);

	for (const int8 owner : {_object_is_dormant_projectile, _object_is_projectile})
	{
		const world_distance y = owner == _object_is_projectile ? 17000 : 15000;
		const int16 other = make_object(5150, y, 0);
		get_object_data(other)->owner = owner;
		const int16 side = mover(flying, 5000, y, 0, {100, 0, 0});
		const uint32 result = move_object(side);
		EXPECT_TRUE(result & _object_struck_object_flag) << static_cast<int32>(owner);
		EXPECT_EQ(MOVE_RESULT_STRUCK_OBJECT_INDEX(result), other);
		if (owner == _object_is_projectile)
		{
			EXPECT_EQ(position(side).x, 5000) << "stopped at its old point";
			EXPECT_EQ(velocity(side).i, 0);
		}
		else
		{
			EXPECT_EQ(position(side).x, 5150 - (128 + RADIUS_OVERESTIMATION_AMOUNT));
			EXPECT_EQ(velocity(side).i, -50);
		}
	}
}

// From 1701 a host that changes cells takes its parasite into the new chain:
// the host never strikes its own parasite.
TEST_F(object_physics, a_host_does_not_strike_its_own_parasite)
{
	const int16 flying = definition(0, 128);
	const int16 host = mover(flying, 20 * 512 + 500, 24 * 512 + 10, 0, {30, 0, 0});
	const int16 parasite = make_object(20 * 512 + 500, 24 * 512 + 10, 0);
	get_object_data(parasite)->flags |= _object_is_solid_flag;
	add_parasitic_object(host, parasite);
	EXPECT_TRUE(move_object(host) & _object_changed_cells_flag);
	EXPECT_EQ(chain_of_cell(21, 24).front(), host);
	for (int32 tick = 0; tick < 3; ++tick) EXPECT_FALSE(move_object(host) & (_object_struck_object_flag | _object_struck_objects_flag));
	EXPECT_EQ(velocity(host).i, 30);

	// A second parasite replaces the first, which is not left behind.
	const int16 second = make_object(20 * 512 + 500, 24 * 512 + 10, 0);
	add_parasitic_object(host, second);
	EXPECT_EQ(get_object_data(host)->parasitic_object_index, second);
	EXPECT_EQ(get_object_data(parasite), nullptr);
}

} // namespace
