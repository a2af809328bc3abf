// The tracking camera: which objects it lists and replaces, how it moves to a
// new target, how long a finished projectile holds it, and that it never
// touches the synchronised random stream.
#include <gtest/gtest.h>

#include "object_tracking.h"
#include "objects_test_support.h"
#include "observer.h"

namespace {

class object_tracking : public objects_test_map
{
protected:
	void SetUp() override
	{
		objects_test_map::SetUp();
		set_camera_control_flags(_camera_controlled_by_object_tracking_flag);
		initialize_object_tracking_for_new_map();
	}
	void TearDown() override
	{
		set_camera_control_flags(0);
		initialize_object_tracking_for_new_map();
		reset_observer_test_hooks();
		objects_test_map::TearDown();
	}

	int16 trackable(int16 owner, int16 priority, world_distance x, world_distance y)
	{
		new_object_data data = {};
		data.type = NONE;
		data.owner = owner;
		data.owner_index = 0;
		data.tracking_priority = priority;
		data.scale = 256;
		data.location.position = {x, y, 0};
		data.location.velocity = {10, 0, 0};
		data.collection_index = collection_index;
		return new_object(&data);
	}

	static world_point2d camera(void)
	{
		observer_location location;
		get_observer_location(&location);
		return location.position;
	}
};

TEST_F(object_tracking, the_list_keeps_the_five_highest)
{
	const uint32 draws = zerv_random_draw_count();
	for (int16 p = 1; p <= 5; ++p) trackable(_object_is_projectile, p, 5000 + p * 10, 5000);
	const tracking_globals_data *globals = get_tracking_globals();
	const int16 low = trackable(_object_is_projectile, 1, 6000, 5000);
	for (const tracking_list_entry &entry : globals->list) EXPECT_NE(entry.object_index, low);
	const int16 higher = trackable(_object_is_projectile, 3, 6000, 5000);
	EXPECT_EQ(globals->list[0].object_index, higher);
	EXPECT_EQ(globals->list[0].type, _entry_is_projectile);
	EXPECT_EQ(globals->list[0].duration, PROJECTILE_TRACKING_TIME);

	// Slow non-units are not offered, and nothing is listed while tracking is off.
	new_object_data still = {};
	still.type = NONE;
	still.tracking_priority = 9;
	still.scale = 256;
	still.location.position = {7000, 7000, 0};
	still.collection_index = collection_index;
	const int16 resting = new_object(&still);
	EXPECT_FALSE(object_can_be_tracked(resting));
	set_camera_control_flags(0);
	trackable(_object_is_projectile, 9, 7000, 7000);
	for (const tracking_list_entry &entry : globals->list) EXPECT_LT(entry.priority, 9);
	EXPECT_EQ(zerv_random_draw_count(), draws);
}

TEST_F(object_tracking, near_targets_are_flown_to_far_ones_jumped_to)
{
	const uint32 draws = zerv_random_draw_count();
	const int16 first = trackable(_object_is_monster, 1, 5000, 5000);
	update_object_tracking();
	const tracking_globals_data *globals = get_tracking_globals();
	EXPECT_EQ(globals->object_index, first);
	EXPECT_EQ(globals->step_index, NONE); // the very first target is jumped to
	track_object();
	EXPECT_EQ(camera().x, 5000);

	const int16 near_one = trackable(_object_is_monster, 2, 8000, 5000);
	update_object_tracking();
	EXPECT_EQ(globals->object_index, near_one);
	EXPECT_EQ(globals->step_index, 0);
	for (int32 frame = 1; frame < NUMBER_OF_INTERPOLANT_STEPS; ++frame)
	{
		track_object();
		EXPECT_GT(camera().x, 5000);
		EXPECT_LT(camera().x, 8000) << frame;
	}
	track_object();
	EXPECT_EQ(camera().x, 8000);
	EXPECT_EQ(globals->step_index, NONE);

	const int16 far_one = trackable(_object_is_monster, 3, 8000, 8000 + 5120);
	update_object_tracking();
	EXPECT_EQ(globals->object_index, far_one);
	EXPECT_EQ(globals->step_index, NONE);
	track_object();
	EXPECT_EQ(camera().y, 8000 + 5120);
	EXPECT_EQ(zerv_random_draw_count(), draws);
}

TEST_F(object_tracking, a_finished_projectile_holds_the_camera_briefly)
{
	const int16 arrow = trackable(_object_is_projectile, 5, 5000, 5000);
	update_object_tracking();
	const tracking_globals_data *globals = get_tracking_globals();
	ASSERT_EQ(globals->object_index, arrow);
	delete_object(arrow);
	for (int32 tick = 1; tick < PROJECTILE_TRACKING_TIME; ++tick)
	{
		update_object_tracking();
		ASSERT_NE(globals->list_index, NONE) << tick;
	}
	update_object_tracking();
	EXPECT_EQ(globals->list_index, NONE);

	// Through the camera layer: the tick runs tracking only under its flag.
	const int16 unit = trackable(_object_is_monster, 1, 9000, 9000);
	set_camera_control_flags(0);
	update_camera_tracking();
	EXPECT_EQ(globals->list_index, NONE);
	set_camera_control_flags(_camera_controlled_by_object_tracking_flag);
	update_camera_tracking();
	handle_camera_control();
	EXPECT_EQ(globals->object_index, unit);
	EXPECT_EQ(camera().x, 9000);
}

} // namespace
