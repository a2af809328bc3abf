// Scenery: creation from markers, terrain marks that overlapping scenery
// keeps, ruins, netgame flags, the vitality frame and animating records.
#include <gtest/gtest.h>

#include "projectiles_test_support.h"

namespace {

class scenery_on_a_map : public projectiles_test_map
{
protected:
	void SetUp() override
	{
		projectiles_test_map::SetUp();
		map.palette = {test_palette_entry(_marker_scenery, TAG("rock")), test_palette_entry(_marker_scenery, TAG("tree")),
			test_palette_entry(_marker_scenery, TAG("post"))};
		for (marker_palette_entry &entry : map.palette) entry.extra_flags = 0xFFFF;
		ASSERT_TRUE(map.load());
		for (int16 i = 0; i < 3; ++i) new_scenery_palette_entry(get_marker_palette_entry(_marker_scenery, i));
	}
	static int16 make(int16 palette_index, world_distance x, world_distance y)
	{
		marker_data marker = test_marker(_marker_scenery, static_cast<int16>(600 + x / 64), palette_index);
		marker.location.position = {x, y, 0};
		return new_scenery(&marker);
	}
	static uint8 terrain(int32 x, int32 y)
	{
		return static_cast<uint8>(get_mesh_cell(x, y)->flags & CELL_TERRAIN_MASK);
	}
	static void smash(int16 object_index)
	{
		damage_definition definition = {};
		definition.type = _damage_explosion;
		damage_data data;
		initialize_damage_data(&data);
		data.damage = 20000;
		data.epicenter = get_object_data(object_index)->location.position;
		accelerate_scenery(object_index, &definition, &data);
	}
};

// A piece draws from the synchronised stream once for its colour table, then for
// its scale, its facing and its shape, and no more: every later draw of the map
// hangs on the count. Each piece's draws are compared with the same object's
// other draws taken apart: its vitality's, the scale's, the facing's two and the
// shape drawn again.
TEST_F(scenery_on_a_map, a_piece_draws_its_colour_table_once)
{
	for (int16 palette_index = 0; palette_index < 3; ++palette_index)
	{
		const uint32 before = zerv_random_draw_count();
		const int16 piece = make(palette_index, 4000 + 1500 * palette_index, 9000);
		ASSERT_NE(piece, NONE);
		const uint32 drawn = zerv_random_draw_count() - before;
		const scenery_definition *definition =
			get_scenery_definition(get_marker_palette_entry(_marker_scenery, palette_index)->tag_index);
		const object_data *object = get_object_data(piece);
		const uint32 shape_before = zerv_random_draw_count();
		set_object_shape(piece, definition->sequence_indexes[_scenery_sequence_undamaged], 256, _transfer_mode_none, 0,
			_random_sequence_frame_flag | _random_sequence_phase_flag | _random_transfer_mode_phase_flag | _random_view_flag |
				_ignore_duplicate_sequences_flag,
			FALSE);
		const uint32 shape = zerv_random_draw_count() - shape_before;
		const uint32 facing = (definition->flags & _scenery_has_random_facing_flag) ? 2 : 0;
		const object_definition *kind = get_object_definition(object->type);
		const uint32 vitality = kind->maximum_vitality_delta > 0 ? 1 : 0;
		const uint32 scale = kind->scale_delta > 0 ? 1 : 0;
		EXPECT_EQ(drawn, vitality + 1 + scale + facing + shape) << "palette entry " << palette_index;
	}
}

TEST_F(scenery_on_a_map, overlapping_rocks_keep_their_cell_blocked)
{
	const int16 a = make(0, 10 * 512 + 100, 10 * 512 + 100);
	const int16 b = make(0, 10 * 512 + 400, 10 * 512 + 300);
	ASSERT_NE(a, NONE);
	ASSERT_NE(b, NONE);
	EXPECT_EQ(terrain(10, 10), BLOCKED_CELL_TERRAIN);
	EXPECT_NE(terrain(11, 10), BLOCKED_CELL_TERRAIN) << "a small radius blocks one cell";
	smash(a);
	EXPECT_EQ(get_object_data(a), nullptr);
	EXPECT_EQ(terrain(10, 10), BLOCKED_CELL_TERRAIN);
	smash(b);
	EXPECT_EQ(terrain(10, 10), FREE_CELL_TERRAIN);

	// Large radii mark the cells a corner of which lies inside; off the grid nothing is touched.
	mark_cells_for_scenery(&(const world_point2d &)world_point2d{20 * 512, 20 * 512}, 600, TRUE);
	EXPECT_EQ(terrain(20, 20), BLOCKED_CELL_TERRAIN);
	EXPECT_EQ(terrain(19, 19), BLOCKED_CELL_TERRAIN);
	EXPECT_NE(terrain(22, 20), BLOCKED_CELL_TERRAIN);
	const world_point2d corner = {-2000, -2000};
	mark_cells_for_scenery(&corner, 3000, TRUE);
	mark_cells_for_scenery(&corner, 3000, FALSE);
	EXPECT_EQ(terrain(0, 0), FREE_CELL_TERRAIN);
}

TEST_F(scenery_on_a_map, a_destroyed_tree_stays_as_a_ruin_and_reports_no_group)
{
	// It blocked its cell while it stood; the ruin does not.
	scenery_definition *kind = get_scenery_definition(get_marker_palette_entry(_marker_scenery, 1)->tag_index);
	const uint32 kind_flags = kind->flags;
	kind->flags |= _scenery_marks_terrain_impassable_flag;
	const int16 tree = make(1, 5000, 5000);
	kind->flags = kind_flags;
	ASSERT_NE(tree, NONE);
	EXPECT_TRUE(get_object_data(tree)->flags & _object_is_solid_flag);
	EXPECT_EQ(terrain(9, 9), BLOCKED_CELL_TERRAIN);
	kind->flags |= _scenery_marks_terrain_impassable_flag;
	smash(tree);
	kind->flags = kind_flags;
	EXPECT_EQ(terrain(9, 9), FREE_CELL_TERRAIN);
	const object_data *ruin = get_object_data(tree);
	ASSERT_NE(ruin, nullptr);
	EXPECT_EQ(ruin->owner, _object_is_garbage);
	EXPECT_FALSE(ruin->flags & _object_is_solid_flag);
	EXPECT_EQ(ruin->shape_sequence_index, _default_scenery_stump_sequence);

	// A rock's impact group is reported to the blow.
	const int16 rock = make(0, 8000, 8000);
	damage_definition definition = {};
	definition.type = _damage_explosion;
	damage_data data;
	initialize_damage_data(&data);
	data.damage = 10;
	data.epicenter = {8000, 8000, 0};
	accelerate_scenery(rock, &definition, &data);
	EXPECT_TRUE(data.flags & _damage_data_reported_projectile_group_flag);
	EXPECT_EQ(data.detonation_projectile_group_type, projectile_group_definition_tag_to_index(DEFAULT_CHIP_GROUP_TAG));
}

TEST_F(scenery_on_a_map, flag_scenery_under_another_scoring_is_removed)
{
	scenery_definition flag = default_post_scenery();
	flag.flags |= _scenery_is_netgame_flag_flag | _scenery_marks_terrain_impassable_flag;
	flag.valid_netgame_scoring_type = 5;
	const std::vector<uint8> bytes = stored_record_bytes(&flag, sizeof(flag), scenery_definition_bs_data);
	const int16 type = new_scenery_definition_from_tag_data(TAG("flag"), bytes.data(), static_cast<int32>(bytes.size()));
	ASSERT_NE(type, NONE);
	get_marker_palette_entry(_marker_scenery, 2)->tag_index = type;
	const int32 objects = object_array.total_count;
	EXPECT_EQ(make(2, 6000, 6000), NONE);
	EXPECT_EQ(object_array.total_count, objects);
	EXPECT_EQ(terrain(11, 11), FREE_CELL_TERRAIN) << "nothing stands there to block it";
}

TEST_F(scenery_on_a_map, the_vitality_frame_stays_inside_the_animation)
{
	EXPECT_EQ(scenery_vitality_frame(10, 0, 0, FALSE), (9 * 255) >> 8);
	EXPECT_EQ(scenery_vitality_frame(10, 100, 100, FALSE), 0) << "full vitality gives frame 0, not -1";
	EXPECT_EQ(scenery_vitality_frame(10, -500, 100, FALSE), 9);
	EXPECT_EQ(scenery_vitality_frame(10, 50, 100, TRUE), 9);
	EXPECT_EQ(scenery_vitality_frame(0, 50, 100, FALSE), 0);
}

TEST_F(scenery_on_a_map, animating_scenery_wraps_to_the_loop_frame_or_backwards_to_the_last)
{
	const int16 forwards = make_object(3000, 3000, 0);
	const int16 backwards = make_object(3500, 3000, 0);
	for (int16 object_index : {forwards, backwards})
	{
		set_object_shape(object_index, _test_walking_sequence, 256, _transfer_mode_none, 0, 0, FALSE);
		get_object_data(object_index)->shape_frame_index = 4;
	}
	const int16 f = new_animating_scenery(forwards, 0);
	const int16 b = new_animating_scenery(backwards, _scenery_animates_backwards_flag);
	get_animating_scenery_data(b)->shape_frame_index = 0;
	for (int32 tick = 0; tick < 4; ++tick) update_animating_scenery(); // three ticks per frame
	int16 sequence, frame;
	get_animation_parameters_for_scenery(f, &sequence, &frame);
	EXPECT_EQ(frame, 1) << "past the end wraps to the loop frame";
	get_animation_parameters_for_scenery(b, &sequence, &frame);
	EXPECT_EQ(frame, 4);
	EXPECT_EQ(get_animating_scenery_data(f)->ticks_elapsed, 4);
}

} // namespace
