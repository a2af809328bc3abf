// Projectile flight: impacts and the kinetic exception, guided overshoot,
// contrail frequencies and a bomb's fuse through its explosion and group.
#include <gtest/gtest.h>

#include "projectiles_test_support.h"

namespace {

class projectile_flight : public projectiles_test_map
{
protected:
	// Ticks of update_projectiles (and explosions) until the projectile's record is gone; -1 when it lasts.
	static int32 ticks_until_gone(int16 projectile_index, int32 limit)
	{
		const int16 identifier = get_projectile_data(projectile_index)->identifier;
		for (int32 tick = 1; tick <= limit; ++tick)
		{
			update_projectiles();
			update_explosions();
			const projectile_data *projectile = get_projectile_data(projectile_index);
			if (!projectile || projectile->identifier != identifier) return tick;
		}
		return -1;
	}
};

TEST_F(projectile_flight, an_arrow_detonates_where_it_lands_unless_a_slow_kinetic_blow)
{
	const int16 arrow = launch(TAG("arro"), 5000, 5000, 300, 0, 0, -40);
	const int32 ticks = ticks_until_gone(arrow, 60);
	EXPECT_GT(ticks, 0);
	EXPECT_EQ(object_array.total_count, 0);

	// Falling slowly westward: no detonation, and no draw for it.
	variant(TAG("arro"), TAG("kine"), [](projectile_definition *d) {
		d->damage.type = _damage_kinetic;
		d->lifespan_lower_bound = 1000;
	});
	variant(TAG("kine"), TAG("acce"), [](projectile_definition *d) { d->use_accel = 1; });
	variant(TAG("kine"), TAG("two "), [](projectile_definition *d) { d->use_accel = 2; });
	const int16 slow = launch(TAG("kine"), 5000, 5000, 20, -10, 0, -10);
	EXPECT_EQ(ticks_until_gone(slow, 40), -1);
	EXPECT_GT(ticks_until_gone(launch(TAG("acce"), 6000, 5000, 20, -10, 0, -10), 40), 0);
	EXPECT_EQ(ticks_until_gone(launch(TAG("two "), 7000, 5000, 20, -10, 0, -10), 40), -1) << "only a use_accel of 1 lifts it";
	start_modules(1500);
	variant(TAG("arro"), TAG("acce"), [](projectile_definition *d) {
		d->damage.type = _damage_kinetic;
		d->lifespan_lower_bound = 1000;
		d->use_accel = 1;
		d->maximum_safe_acceleration = 1000; // too slow for the fast-impact rule

	});
	EXPECT_EQ(ticks_until_gone(launch(TAG("acce"), 6000, 5000, 20, -10, 0, -10), 40), -1) << "use_accel counts from 1501";
}

TEST_F(projectile_flight, a_guided_projectile_passing_its_target_by_64_detonates)
{
	const int16 floating = object_definition_tag_to_index(DEFAULT_EFFECT_OBJECT_TAG);
	variant(TAG("arro"), TAG("guid"), [floating](projectile_definition *d) {
		d->flags |= _projectile_is_guided_flag;
		d->object_type = floating;
		d->lifespan_lower_bound = 0;
	});
	new_projectile_data request;
	initialize_new_projectile_data(&request);
	request.type = projectile_type(TAG("guid"));
	request.flags = _projectile_has_valid_target_location_flag;
	request.location.position = {5000, 5000, 300};
	request.location.velocity = {-20, 0, 0};
	request.target_location = {6000, 5000, 300};
	const int16 guided = new_projectile(&request);
	ASSERT_NE(guided, NONE);
	EXPECT_EQ(get_projectile_data(guided)->guided_speed, 20);
	const int32 ticks = ticks_until_gone(guided, 20);
	EXPECT_GE(ticks, 4);
	EXPECT_LE(ticks, 5);
}

TEST_F(projectile_flight, the_contrail_frequency_stops_at_its_final_value)
{
	variant(TAG("arro"), TAG("trai"), [](projectile_definition *d) {
		d->contrail_projectile_tag = DEFAULT_SPARK_PROJECTILE_TAG;
		d->contrail_projectile_type = projectile_definition_tag_to_index(DEFAULT_SPARK_PROJECTILE_TAG);
		d->ticks_between_contrails = 0;
		d->initial_contrail_frequency = 65535;
		d->final_contrail_frequency = 30000;
		d->contrail_frequency_delta = 20000;
	});
	const int16 trail = launch(TAG("trai"), 5000, 5000, 5000, 0, 0, 0);
	const uint16 expected[] = {45535, 30000, 30000};
	for (uint16 frequency : expected)
	{
		update_projectiles();
		ASSERT_NE(get_projectile_data(trail), nullptr);
		EXPECT_EQ(get_projectile_data(trail)->contrail_frequency, frequency);
	}
	EXPECT_GE(get_projectile_data(trail)->contrail_count, 1);
}

TEST_F(projectile_flight, bounce_stains_stay_64_apart_and_fire_draws_on_its_own_ticks)
{
	object_definition bouncy = *get_object_definition(object_definition_tag_to_index(DEFAULT_ARROW_OBJECT_TAG));
	bouncy.elasticity = 240;
	const int16 bouncy_type = new_definition(get_object_definitions(), TAG("bnce"), &bouncy);
	variant(TAG("arro"), TAG("skip"), [bouncy_type](projectile_definition *d) {
		d->object_type = bouncy_type;
		d->detonation_frequency = 0;
		d->lifespan_lower_bound = 1000;
		d->sequence_indexes[_projectile_bounce_stain_sequence] = _default_effects_scorch_sequence;
	});
	const int16 skipping = launch(TAG("skip"), 5000, 5000, 400, 12, 0, -30);
	std::vector<world_point2d> stains = {get_projectile_data(skipping)->last_bounce_stain_position};
	for (int32 tick = 0; tick < 150 && get_projectile_data(skipping); ++tick)
	{
		update_projectiles();
		const world_point2d p = get_projectile_data(skipping)->last_bounce_stain_position;
		if (p.x != stains.back().x || p.y != stains.back().y) stains.push_back(p);
	}
	ASSERT_GE(stains.size(), 3u);
	for (size_t i = 1; i < stains.size(); ++i) EXPECT_GE(distance2d(&stains[i - 1], &stains[i]), MINIMUM_BOUNCE_STAIN_SEPARATION);

	// On fire, dry, no weather: a draw only on the ticks where (time + index) & 31 is 0.
	start_modules(1720);
	variant(TAG("arro"), TAG("fire"), [](projectile_definition *d) {
		d->flags |= _projectile_is_on_fire_flag;
		d->lifespan_lower_bound = 1000;
	});
	const int16 first = launch(TAG("fire"), 5000, 5000, 5000);
	const int16 second = launch(TAG("fire"), 6000, 5000, 5000);
	ASSERT_EQ(first, 0);
	ASSERT_EQ(second, 1);
	uint32 draws = zerv_random_draw_count();
	update_projectiles();
	EXPECT_EQ(zerv_random_draw_count() - draws, 1u) << "only index 0 at time 0";
	EXPECT_NE(get_projectile_data(first), nullptr) << "a density of 0 never promotes";
	delete_object(get_projectile_data(first)->object_index);
	delete_datum(&projectile_array, first);
	draws = zerv_random_draw_count();
	update_projectiles();
	EXPECT_EQ(zerv_random_draw_count(), draws);
}

TEST_F(projectile_flight, a_bomb_burns_its_fuse_then_explodes_and_throws_its_group)
{
	const int16 post = place_scenery(TAG("post"), 5300, 5000);
	const int16 bomb = launch(TAG("bomb"), 5000, 5000, 0);
	const int16 lifespan = get_projectile_data(bomb)->lifespan;
	EXPECT_GE(lifespan, 60);
	EXPECT_LT(lifespan, 75);
	int32 most_explosions = 0, most_projectiles = 0;
	const int16 identifier = get_projectile_data(bomb)->identifier;
	int32 gone_at = -1;
	for (int32 tick = 1; tick <= 90; ++tick)
	{
		update_projectiles();
		most_explosions = MAX(most_explosions, static_cast<int32>(explosion_array.total_count));
		most_projectiles = MAX(most_projectiles, static_cast<int32>(projectile_array.count));
		update_explosions();
		const projectile_data *projectile = get_projectile_data(bomb);
		if (gone_at < 0 && (!projectile || projectile->identifier != identifier)) gone_at = tick;
	}
	EXPECT_EQ(gone_at, lifespan);
	EXPECT_EQ(most_explosions, 1);
	EXPECT_GE(most_projectiles, 8) << "the bomb, one flash and six or more sparks";
	EXPECT_LT(get_object_data(post)->vitality, 256);
}

} // namespace

namespace {

using projectile_acceleration = projectile_flight;

// Only a use_accel of 1 turns on the acceleration rules: a definition with 2
// plays as one with 0 in the fast bounce, the push from damage and the soft
// impact alike.
TEST_F(projectile_acceleration, only_a_use_accel_of_one_turns_the_rules_on)
{
	object_definition bouncy = *get_object_definition(object_definition_tag_to_index(DEFAULT_ARROW_OBJECT_TAG));
	bouncy.elasticity = 240;
	const int16 bouncy_type = new_definition(get_object_definitions(), TAG("bnce"), &bouncy);
	int32 fast_bounce[3], pushed[3], soft[3];
	for (uint8 value = 0; value <= 2; ++value)
	{
		const auto edit = [value](projectile_definition *d) {
			d->use_accel = value;
			d->lifespan_lower_bound = 1000;
			d->maximum_safe_acceleration = 1;
			d->acceleration_detonation_fraction = 65535;
		};
		// Bouncing faster than three times the safe acceleration.
		variant(TAG("arro"), TAG("fast"), [&](projectile_definition *d) {
			edit(d);
			d->object_type = bouncy_type;
			d->detonation_frequency = 0;
		});
		fast_bounce[value] = ticks_until_gone(launch(TAG("fast"), 5000, 5000, 300, 0, 0, -40), 30);

		// Pushed harder than the safe acceleration by a blow that does no harm.
		variant(TAG("arro"), TAG("push"), edit);
		const int16 floating = launch(TAG("push"), 8000, 5000, 5000);
		damage_definition blow = {};
		blow.type = _damage_explosion;
		damage_data data;
		initialize_damage_data(&data);
		data.velocity = 50;
		data.epicenter = {8000, 4900, 5000};
		accelerate_projectile(&blow, &data, get_projectile_data(floating)->object_index);
		pushed[value] = get_projectile_data(floating) ? 0 : 1;
		if (get_projectile_data(floating)) ticks_until_gone(floating, 200);

		// Through a permeable object: the detonation keeps the projectile
		// unless the rules are on.
		const int16 curtain = make_object(11150, 5000, 4000);
		get_object_data(curtain)->flags |= _object_is_permeable_flag;
		get_object_data(curtain)->height1 = 2000;
		variant(TAG("arro"), TAG("soft"), edit);
		const int16 passing = launch(TAG("soft"), 11000, 5000, 5000, 100, 0, 0);
		const int16 identifier = get_projectile_data(passing)->identifier;
		update_projectiles();
		update_explosions();
		soft[value] = get_projectile_data(passing) && get_projectile_data(passing)->identifier == identifier ? 0 : 1;
		if (soft[value] == 0) ticks_until_gone(passing, 200);
		delete_object(curtain);
		for (int32 tick = 0; tick < 40; ++tick) update_explosions();
	}
	EXPECT_GT(fast_bounce[1], 0) << "a fast bounce detonates";
	EXPECT_EQ(fast_bounce[0], -1);
	EXPECT_EQ(fast_bounce[2], -1);
	EXPECT_EQ(pushed[1], 1) << "a hard push detonates";
	EXPECT_EQ(pushed[0], 0);
	EXPECT_EQ(pushed[2], 0);
	EXPECT_EQ(soft[1], 1) << "a soft impact detonates it for good";
	EXPECT_EQ(soft[0], 0);
	EXPECT_EQ(soft[2], 0);
}

// The first bounce stain keeps 64 from where the projectile was made, as
// every later one keeps 64 from the one before.
TEST_F(projectile_acceleration, the_first_bounce_stain_keeps_its_distance_from_the_spawn_point)
{
	variant(TAG("arro"), TAG("drop"), [](projectile_definition *d) {
		d->detonation_frequency = 0;
		d->lifespan_lower_bound = 1000;
		d->sequence_indexes[_projectile_bounce_stain_sequence] = _default_effects_scorch_sequence;
	});
	const int16 dropped = launch(TAG("drop"), 5000, 5000, 200, 3, 0, 0);
	// Landed: down on the ground at the end of some tick.
	bool landed = false;
	for (int32 tick = 0; tick < 60 && get_projectile_data(dropped); ++tick)
	{
		update_projectiles();
		const object_data *object = get_object_data(get_projectile_data(dropped)->object_index);
		const world_point2d under = {object->location.position.x, object->location.position.y};
		landed = landed || object->location.position.z <= get_mesh_height(&under, _land_height);
	}
	ASSERT_NE(get_projectile_data(dropped), nullptr);
	const object_data *object = get_object_data(get_projectile_data(dropped)->object_index);
	ASSERT_LT(object->location.position.x - 5000, MINIMUM_BOUNCE_STAIN_SEPARATION) << "came down near its start";
	ASSERT_GT(object->location.position.x, 5000);
	EXPECT_TRUE(landed);
	EXPECT_EQ(get_projectile_data(dropped)->last_bounce_stain_position.x, 5000) << "no stain so near the spawn point";
	EXPECT_EQ(get_projectile_data(dropped)->last_bounce_stain_position.y, 5000);
}

} // namespace
