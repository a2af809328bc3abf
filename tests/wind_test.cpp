// Wind: which draws it takes, how it moves, and that it belongs to one map.
#include "weather_test_support.h"

namespace {

class wind_on_a_map : public weather_test_map
{
protected:
	// Written as a tag, loaded by the map start (one wind per map).
	static file_tag wind(const wind_definition &d, file_tag tag = TAG("wvar"))
	{
		const std::vector<uint8> bytes = stored_record_bytes(&d, static_cast<int32>(sizeof(d)), wind_definition_byte_swapping_data);
		EXPECT_NE(tag_file_new_with_subgroup_tag(WIND_DEFINITION_GROUP_TAG, "variant", tag, WIND_DEFINITION_VERSION_NUMBER,
			bytes.data(), static_cast<int32>(bytes.size())), NONE);
		return tag;
	}
};

TEST_F(wind_on_a_map, draws_and_velocity)
{
	// Zero deltas: after start-up only the interval draws, once per change.
	wind_definition calm = *get_default_wind_definition();
	calm.time_between_adjustments_lower_bound = 10;
	calm.time_between_adjustments_delta = 5;
	calm.maximum_adjustment_per_tick = 1000;
	calm.velocity_lower_bound = {65536, -65536, 300};
	ASSERT_TRUE(initialize_wind_for_new_map(wind(calm)));
	fixed_vector3d v;
	get_wind_velocity(&v);
	EXPECT_EQ(v.i, 65536);
	EXPECT_EQ(v.j, -65536);
	EXPECT_EQ(v.k, 256) << "the low 8 bits are dropped";
	uint32 draws = zerv_random_draw_count();
	for (int32 tick = 0; tick < 30; ++tick) update_wind();
	const uint32 interval_draws = zerv_random_draw_count() - draws;
	EXPECT_GE(interval_draws, 2u);
	EXPECT_LE(interval_draws, 3u);

	// A negative delta draws nothing; adjustment 0 keeps the start velocity.
	dispose_wind_from_old_map();
	wind_definition still = calm;
	still.time_between_adjustments_lower_bound = 1;
	still.time_between_adjustments_delta = 0;
	still.maximum_adjustment_per_tick = 0;
	still.velocity_lower_bound = {0, 0, 0};
	still.velocity_delta = {-131072, 131072, 255};
	const file_tag still_tag = wind(still, TAG("wstl"));
	draws = zerv_random_draw_count();
	ASSERT_TRUE(initialize_wind_for_new_map(still_tag));
	EXPECT_EQ(zerv_random_draw_count() - draws, 1u) << "only j's delta keeps whole units";
	get_wind_velocity(&v);
	const fixed_vector3d start = v;
	for (int32 tick = 0; tick < 50; ++tick) update_wind();
	get_wind_velocity(&v);
	EXPECT_EQ(v.i, start.i);
	EXPECT_EQ(v.j, start.j);
	EXPECT_EQ(v.k, start.k);
}

TEST_F(wind_on_a_map, a_missing_wind_and_the_next_map)
{
	ASSERT_TRUE(initialize_wind_for_new_map(DEFAULT_GUST_WIND_TAG));
	for (int32 tick = 0; tick < 100; ++tick) update_wind();
	fixed_vector3d v;
	get_wind_velocity(&v);
	EXPECT_TRUE(v.i != 0 || v.j != 0);
	dispose_wind_from_old_map();

	// Map B names no wind, then a missing one: still air, with the line.
	EXPECT_FALSE(initialize_wind_for_new_map(static_cast<file_tag>(NONE)));
	get_wind_velocity(&v);
	EXPECT_EQ(v.i, 0);
	EXPECT_EQ(v.j, 0);
	reset_error_state();
	EXPECT_FALSE(initialize_wind_for_new_map(TAG("nope")));
	EXPECT_NE(get_error_code(), _error_none);
	reset_error_state();
	get_wind_velocity(&v);
	EXPECT_EQ(v.i, 0);
	EXPECT_EQ(v.j, 0);
	EXPECT_EQ(get_local_wind(), nullptr);
}

} // namespace
