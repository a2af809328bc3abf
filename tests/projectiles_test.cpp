// Projectiles: creation and its draws, refusals and load shedding, groups,
// sleep and wake, fades and the promotion limit.
#include <gtest/gtest.h>

#include <cstring>

#include "console/console.h"
#include "projectiles_test_support.h"

namespace {

class projectiles_on_a_map : public projectiles_test_map
{
};

TEST_F(projectiles_on_a_map, creation_draws_in_order_and_repeats_under_one_seed)
{
	const int16 still = variant(TAG("sprk"), TAG("stil"), [](projectile_definition *d) { d->random_initial_velocity = 0; });
	const int16 fixed = variant(TAG("sprk"), TAG("fixd"), [](projectile_definition *d) {
		d->random_initial_velocity = 0;
		d->lifespan_delta = 0;
	});
	ASSERT_NE(fixed, NONE);
	auto draws_of = [&](file_tag tag) {
		const uint32 before = zerv_random_draw_count();
		EXPECT_NE(launch(tag, 5000, 5000, 100, 10, 0, 0), NONE);
		return zerv_random_draw_count() - before;
	};
	const uint32 spark = draws_of(TAG("sprk")), without_spread = draws_of(TAG("stil")), plain = draws_of(TAG("fixd"));
	EXPECT_EQ(spark, without_spread + 3) << "one draw per axis";
	EXPECT_EQ(without_spread, plain + 1) << "the lifespan";
	(void)still;
	// Detonating on either loop draws only the view, not a frame and a phase.
	constexpr uint32 loop_flags = _projectile_detonates_when_animation_loops_flag | _projectile_detonates_when_transfer_loops_flag;
	variant(TAG("fixd"), TAG("anlp"), [](projectile_definition *d) {
		d->flags = (d->flags & ~loop_flags) | _projectile_detonates_when_animation_loops_flag;
	});
	variant(TAG("fixd"), TAG("trlp"), [](projectile_definition *d) {
		d->flags = (d->flags & ~loop_flags) | _projectile_detonates_when_transfer_loops_flag;
	});
	variant(TAG("fixd"), TAG("nolp"), [](projectile_definition *d) { d->flags &= ~loop_flags; });
	const uint32 animation_loop = draws_of(TAG("anlp"));
	EXPECT_EQ(draws_of(TAG("trlp")), animation_loop);
	EXPECT_EQ(draws_of(TAG("nolp")), animation_loop + 2);

	set_random_seed(99);
	const projectile_data first = *get_projectile_data(launch(TAG("sprk"), 5000, 5000, 100, 10, 0, 0));
	const world_location3d first_location = get_object_data(first.object_index)->location;
	set_random_seed(99);
	const projectile_data second = *get_projectile_data(launch(TAG("sprk"), 5000, 5000, 100, 10, 0, 0));
	const world_location3d second_location = get_object_data(second.object_index)->location;
	EXPECT_EQ(first.lifespan, second.lifespan);
	EXPECT_EQ(memcmp(&first_location.velocity, &second_location.velocity, sizeof(world_vector3d)), 0);
}

TEST_F(projectiles_on_a_map, refusals_leave_nothing_behind)
{
	// No unit in range, and a melee blow without a target.
	variant(TAG("arro"), TAG("seek"), [](projectile_definition *d) { d->flags |= _projectile_chooses_nearby_target_flag; });
	EXPECT_EQ(launch(TAG("seek"), 5000, 5000, 0), NONE);
	EXPECT_EQ(launch(TAG("swrd"), 5000, 5000, 0), NONE);
	EXPECT_EQ(projectiles_in_use(), 0);
	EXPECT_EQ(object_array.total_count, 0);

	// A fade needs an object; a wake needs a dormant one.
	EXPECT_EQ(fade_object(TRUE, 17, 0, 10), NONE);
	const int16 arrow = launch(TAG("arro"), 5000, 5000, 0);
	EXPECT_EQ(wake_projectile(get_projectile_data(arrow)->object_index, NONE), NONE);
}

TEST_F(projectiles_on_a_map, load_shedding_refuses_blood_and_idle_effects)
{
	variant(TAG("sprk"), TAG("blod"), [](projectile_definition *d) { d->flags |= _projectile_bloodies_landscape_flag; });
	variant(TAG("flsh"), TAG("unit"), [](projectile_definition *d) { d->promotion_unit_tag = TAG("wolf"); });
	for (int32 i = 0; i < 924; ++i) ASSERT_NE(launch(TAG("arro"), 2000 + i, 3000, 0), NONE);
	EXPECT_NE(launch(TAG("blod"), 4000, 4000, 0), NONE) << "924 in use still allows blood";
	EXPECT_EQ(launch(TAG("blod"), 4000, 4000, 0), NONE);
	while (projectiles_in_use() < 985) ASSERT_NE(launch(TAG("arro"), 3000, 3000, 0), NONE);
	EXPECT_EQ(launch(TAG("flsh"), 4000, 4000, 0), NONE);
	EXPECT_NE(launch(TAG("unit"), 4000, 4000, 0), NONE) << "from 1709 a promotion unit keeps it";
	EXPECT_NE(launch(TAG("arro"), 4000, 4000, 0), NONE) << "damage keeps it";

	start_modules(1708);
	while (projectiles_in_use() < 985) ASSERT_NE(launch(TAG("arro"), 3000, 3000, 0), NONE);
	EXPECT_EQ(launch(TAG("flsh"), 4000, 4000, 0), NONE);
	variant(TAG("flsh"), TAG("unit"), [](projectile_definition *d) { d->promotion_unit_tag = TAG("wolf"); });
	EXPECT_EQ(launch(TAG("unit"), 4000, 4000, 0), NONE);
}

TEST_F(projectiles_on_a_map, records_take_their_flags_from_the_version_and_the_request)
{
	const int16 flash = launch(TAG("flsh"), 4000, 4000, 0);
	EXPECT_TRUE(get_projectile_data(flash)->flags & _projectile_has_no_lifespan_flag);
	const int16 masonry = launch(TAG("arro"), 4000, 4000, 0, 0, 0, 0, _projectile_is_masonary_flag);
	const int16 smoking = launch(TAG("arro"), 4000, 4000, 0, 0, 0, 0, _projectile_is_smoking_flag);
	EXPECT_EQ(get_object_data(get_projectile_data(masonry)->object_index)->color_table_permutation, MASONARY_COLOR_PERMUTATION);
	EXPECT_EQ(get_object_data(get_projectile_data(smoking)->object_index)->color_table_permutation, SMOKING_COLOR_PERMUTATION);
	EXPECT_TRUE(get_object_data(get_projectile_data(launch(TAG("bomb"), 4000, 4000, 0))->object_index)->flags &
		_object_must_be_included_in_explosions_flag);

	start_modules(1700);
	EXPECT_FALSE(get_projectile_data(launch(TAG("flsh"), 4000, 4000, 0))->flags & _projectile_has_no_lifespan_flag);
}

TEST_F(projectiles_on_a_map, delayed_groups_hide_their_projectiles_for_under_30_ticks)
{
	const int16 bounds = make_object(8000, 8000, 0);
	new_projectile_group_data group = {};
	group.flags = _new_projectile_group_delayed_flag;
	group.type = projectile_group_definition_tag_to_index(DEFAULT_BOOM_GROUP_TAG);
	group.owner_object_index = group.bounds_object_index = bounds;
	group.owner_monster_index = NONE;
	group.epicenter = {8000, 8000, 0};
	group.velocity = 20;
	new_projectile_group(&group);
	ASSERT_GE(projectiles_in_use(), 7);
	for (int16 i = 0; i < projectile_array.count; ++i)
	{
		const projectile_data *projectile = get_projectile_data(i);
		if (!projectile) continue;
		EXPECT_LT(projectile->delay, PROJECTILE_GROUP_DELAY_DELTA);
		const bool hidden = (get_object_data(projectile->object_index)->flags & _object_is_invisible_flag) != 0;
		EXPECT_TRUE(projectile->delay == 0 || hidden);
	}
	// Without a bounds object the parts start at the epicenter.
	group.bounds_object_index = NONE;
	group.flags = _new_projectile_group_central_flag;
	const int32 before = projectiles_in_use();
	new_projectile_group(&group);
	EXPECT_GT(projectiles_in_use(), before);
}

TEST_F(projectiles_on_a_map, group_parts_draw_in_order_and_fall_back_on_their_fail_projectile)
{
	const int16 spark = projectile_type(DEFAULT_SPARK_PROJECTILE_TAG), flash = projectile_type(DEFAULT_FLASH_PROJECTILE_TAG);
	projectile_group_definition definition = *get_default_projectile_group_definition();
	definition.number_of_parts = 1;
	definition.parts[0].projectile_type = spark;
	definition.parts[0].fail_projectile_type = flash;
	definition.parts[0].count_lower_bound = 3;
	definition.parts[0].appearing_fraction = 0;
	const int16 failing = new_definition(get_projectile_group_definitions(), TAG("fail"), &definition);
	definition.parts[0].count_lower_bound = 1;
	definition.parts[0].appearing_fraction = 65535;
	const int16 single = new_definition(get_projectile_group_definitions(), TAG("one "), &definition);
	ASSERT_NE(single, NONE);
	const int16 bounds = make_object(8000, 8000, 0);
	new_projectile_group_data group = {};
	group.type = failing;
	group.owner_object_index = group.bounds_object_index = bounds;
	group.owner_monster_index = NONE;
	group.epicenter = {8000, 8000, 0};
	new_projectile_group(&group);
	ASSERT_EQ(projectiles_in_use(), 3);
	for (int16 i = 0; i < 3; ++i) EXPECT_EQ(get_projectile_data(i)->type, flash);

	// One part projectile: appearing, fraction, x and y, then the projectile's own draws.
	uint32 before = zerv_random_draw_count();
	ASSERT_NE(launch(DEFAULT_SPARK_PROJECTILE_TAG, 8000, 8000, 0), NONE);
	const uint32 own = zerv_random_draw_count() - before;
	group.type = single;
	before = zerv_random_draw_count();
	new_projectile_group(&group);
	EXPECT_EQ(zerv_random_draw_count() - before, own + 4);
	group.flags = _new_projectile_group_delayed_flag;
	before = zerv_random_draw_count();
	new_projectile_group(&group);
	EXPECT_EQ(zerv_random_draw_count() - before, own + 5) << "and last its delay";
}

TEST_F(projectiles_on_a_map, sleep_and_wake_keep_the_object)
{
	const int16 arrow = launch(TAG("arro"), 4000, 4000, 0);
	const int16 object_index = get_projectile_data(arrow)->object_index;
	sleep_projectile(arrow);
	EXPECT_EQ(projectiles_in_use(), 0);
	const object_data *object = get_object_data(object_index);
	ASSERT_NE(object, nullptr);
	EXPECT_EQ(object->owner, _object_is_dormant_projectile);
	EXPECT_EQ(object->owner_index, projectile_type(TAG("arro")));
	EXPECT_TRUE(object->flags & _object_at_rest_flag);

	// With every record taken the dormant object stays as it was.
	while (launch(TAG("arro"), 9000, 9000, 0) != NONE) {}
	const object_data before = *object;
	EXPECT_EQ(wake_projectile(object_index, NONE), NONE);
	EXPECT_EQ(memcmp(&before, get_object_data(object_index), sizeof(before)), 0);

	delete_datum(&projectile_array, 5);
	const int16 woken = wake_projectile(object_index, NONE);
	ASSERT_NE(woken, NONE);
	EXPECT_EQ(get_projectile_data(woken)->object_index, object_index);
	EXPECT_EQ(get_object_data(object_index)->owner, _object_is_projectile);
	EXPECT_EQ(get_object_data(object_index)->owner_index, woken);
}

TEST_F(projectiles_on_a_map, the_257th_nested_promotion_is_refused_and_printed_once)
{
	const int16 loop = variant(TAG("flsh"), TAG("loop"), [](projectile_definition *d) {
		d->flags |= _projectile_definition_detonates_immediately_flag;
		d->promotion_on_detonation_fraction = 65535;
	});
	get_projectile_definition(loop)->promoted_projectile_type = loop;
	reset_console_test_hooks();
	EXPECT_EQ(launch(TAG("loop"), 4000, 4000, 0), NONE);
	EXPECT_EQ(least_call_count(&get_console_test_hooks()->calls, "cprintf"), 1);
	EXPECT_NE(strstr(least_call_text(&get_console_test_hooks()->calls, "cprintf"),
				  "### projectile promotion failed on '<unknown>' (loop): exceeded 256 promotions"),
		nullptr)
		<< least_call_text(&get_console_test_hooks()->calls, "cprintf");
	EXPECT_EQ(projectiles_in_use(), 0);
	EXPECT_EQ(object_array.total_count, 0);
	reset_console_test_hooks();
}

} // namespace
