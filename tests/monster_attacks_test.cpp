// Targeting and attacks: the scan, switching, attack lookup and choice, the
// aiming arithmetic, the line of fire, firing and recovery.
#include <vector>

#include "alliances.h"
#include "artifact_definitions.h"
#include "players.h"
#include "projectiles_test_support.h"
#include "units_test_support.h"
#include "world.h"
#include "zerv.h"

namespace
{

/* ---------- arithmetic without units */

class monster_attacks_arithmetic : public ::testing::Test
{
protected:
	void SetUp() override { initialize_world(); }
};

TEST_F(monster_attacks_arithmetic, rounded_root_matches_isqrt_below_two_to_the_32_and_is_exact_above)
{
	for (uint32 x : {0u, 1u, 2u, 3u, 99u, 65535u, 4294836225u, 4294967295u}) EXPECT_EQ(rounded_square_root64(x), isqrt(x)) << x;
	// 8000 behind along x: the discriminant of the intercept is 6,400,000,000.
	EXPECT_EQ(rounded_square_root64(6400000000ull), 80000u);
	EXPECT_EQ(rounded_square_root64(6400080000ull), 80000u);  // 80000.4999...
	EXPECT_EQ(rounded_square_root64(6400080001ull), 80001u);  // past the half
	EXPECT_EQ(rounded_square_root64(0xFFFFFFFFFFFFFFFFull), 4294967296ull);
}

// The died scan takes the angle only from this distance on: for every
// critical distance a kind can hold, every distance below it stays below the
// critical distance however far off the facing, and every one from it on
// reaches it past a quarter turn (an eighth, a sixth and a quarter more).
TEST_F(monster_attacks_arithmetic, died_scan_angle_free_distance_splits_every_distance_at_the_longest_lengthening)
{
	const auto longest = [](int32 d) {
		d += d / 8;
		d += d / 6;
		return d + d / 4;
	};
	int32 shortest = 0; // the first distance whose longest reaches critical, found by walking up
	int32 failures = 0;
	for (int32 critical = -32768; critical <= 32767; ++critical)
	{
		while (longest(shortest) < critical) ++shortest;
		if (died_scan_angle_free_distance(critical) != shortest && ++failures < 10)
		{
			ADD_FAILURE() << "critical " << critical << ": " << died_scan_angle_free_distance(critical) << " not " << shortest;
		}
	}
	// The longest lengthening rises with every distance the scan can measure,
	// so from the first on, every distance reaches the critical one.
	for (int32 d = 1; d <= 32767; ++d) ASSERT_LT(longest(d - 1), longest(d)) << d;
	EXPECT_EQ(failures, 0);
}

TEST_F(monster_attacks_arithmetic, projectile_aim_takes_direct_and_indirect_roots_and_falls_back_to_farthest_reach)
{
	const world_point3d origin = {1000, 1000, 100};
	world_point3d target = {5000, 1000, 100};
	angle direct_pitch = 0, indirect_pitch = 0;
	int16 direct_time = 0, indirect_time = 0;
	ASSERT_EQ(solve_projectile_aim(300, -10, FALSE, &origin, &target, &direct_pitch, &direct_time), _projectile_aim_solved);
	ASSERT_EQ(solve_projectile_aim(300, -10, TRUE, &origin, &target, &indirect_pitch, &indirect_time), _projectile_aim_solved);
	EXPECT_GT(direct_pitch, 0);
	EXPECT_LT(direct_pitch, 8192);
	EXPECT_GT(indirect_pitch, 8192);
	EXPECT_LT(indirect_pitch, QUARTER_CIRCLE);
	EXPECT_GT(indirect_time, direct_time);
	EXPECT_EQ(target.x, 5000); // a solved shot leaves the point alone

	// Far beyond reach: aimed at the farthest point along the line, unsolved.
	world_point3d far = {30000, 1000, 100};
	angle pitch = 0;
	int16 time = 7;
	ASSERT_EQ(solve_projectile_aim(300, -10, FALSE, &origin, &far, &pitch, &time), _projectile_aim_unsolved);
	EXPECT_EQ(time, 0);
	EXPECT_EQ(pitch, 8192);
	EXPECT_NEAR(far.x, 1000 + 300 * 300 / 10, 60);
	EXPECT_EQ(far.y, 1000);

	// No gravity: straight at it.
	world_point3d level = {4000, 1000, 100};
	ASSERT_EQ(solve_projectile_aim(100, 0, FALSE, &origin, &level, &pitch, &time), _projectile_aim_solved);
	EXPECT_EQ(pitch, 0);
	EXPECT_EQ(time, 30);

	// Exact roots: v 200, g -2, 3000 ahead.
	const world_point3d zero = {0, 0, 0};
	world_point3d ahead = {3000, 0, 0};
	ASSERT_EQ(solve_projectile_aim(200, -2, FALSE, &zero, &ahead, &pitch, &time), _projectile_aim_solved);
	EXPECT_EQ(pitch, 768);
	EXPECT_EQ(time, 15);
	ASSERT_EQ(solve_projectile_aim(200, -2, TRUE, &zero, &ahead, &pitch, &time), _projectile_aim_solved);
	EXPECT_EQ(pitch, 15360);
	EXPECT_EQ(time, 199);

	// A square too large for 64 bits is no solution, not a wrapped one.
	world_point3d huge = {1000, 1000, 2000000000};
	EXPECT_EQ(solve_projectile_aim(32767, -32768, FALSE, &origin, &huge, &pitch, &time), _projectile_aim_unsolved);
}

TEST_F(monster_attacks_arithmetic, fixed_pitch_needs_falling_gravity_a_whole_tick_and_a_speed_in_the_window)
{
	const world_point3d unit = {1000, 1000, 0};
	const world_point3d origin = {1000, 1000, 100};
	const world_point3d target = {3000, 1000, 0};
	angle pitch = 0;
	int16 time = 0;
	int32 velocity = 0;
	ASSERT_TRUE(solve_fixed_pitch_aim(1000, -10, &unit, &origin, &target, &pitch, &time, &velocity));
	EXPECT_EQ(pitch, 8192);
	EXPECT_GT(time, 0);
	const int32 needed = velocity;
	// The window: at most the maximum, at least 25/256 of it.
	EXPECT_FALSE(solve_fixed_pitch_aim(needed - 1, -10, &unit, &origin, &target, &pitch, &time, &velocity));
	EXPECT_TRUE(solve_fixed_pitch_aim(needed, -10, &unit, &origin, &target, &pitch, &time, &velocity));
	EXPECT_TRUE(solve_fixed_pitch_aim((needed * 256) / 25, -10, &unit, &origin, &target, &pitch, &time, &velocity));
	EXPECT_FALSE(solve_fixed_pitch_aim((needed * 256) / 25 + 20, -10, &unit, &origin, &target, &pitch, &time, &velocity));
	// Rising or no gravity, or a flight under one tick, is no solution (and no division by zero).
	EXPECT_FALSE(solve_fixed_pitch_aim(1000, 0, &unit, &origin, &target, &pitch, &time, &velocity));
	EXPECT_FALSE(solve_fixed_pitch_aim(1000, 10, &unit, &origin, &target, &pitch, &time, &velocity));
	const world_point3d close = {1001, 1000, 99};
	EXPECT_FALSE(solve_fixed_pitch_aim(1000, -32000, &unit, &origin, &close, &pitch, &time, &velocity));
}

TEST_F(monster_attacks_arithmetic, interception_caps_the_lead_and_refuses_far_or_unsolvable_chases)
{
	int32 lead = 0;
	// A slow target just ahead of a fast chaser: a = -1500, b = 2000,
	// c = 10000, the root of 64000000 is 8000, t = 10000 / 3000 = 3.
	ASSERT_TRUE(solve_interception(800, 0, 10, 0, 40, &lead));
	EXPECT_EQ(lead, 24);
	// A faster target coming on: both roots count, 1 and 10; the smaller wins.
	ASSERT_TRUE(solve_interception(800, 0, -50, 0, 40, &lead));
	EXPECT_EQ(lead, 8);
	// Eighths cut toward zero (b = 2 x (-2608 - 1448) = -8112, c = 163² + 241²)
	// and the root of 24156744 rounds up to 4915: t = 3197 / 246 = 12, where a
	// floored root would give 13.
	ASSERT_TRUE(solve_interception(-1304, -1931, 16, 6, 13, &lead));
	EXPECT_EQ(lead, 96);
	// A target as fast as the chaser: a = 0.
	EXPECT_FALSE(solve_interception(800, 0, 40, 0, 40, &lead));
	// Nearly as fast: the lead would be long, and is capped.
	ASSERT_TRUE(solve_interception(10000, 0, 39, 0, 40, &lead));
	EXPECT_EQ(lead, MAXIMUM_AIM_MONSTER_TIME);
	EXPECT_FALSE(solve_interception(10240, 0, 1, 0, 40, &lead));
	EXPECT_FALSE(solve_interception(0, -10240, 1, 0, 40, &lead));
	EXPECT_TRUE(solve_interception(10239, 0, 1, 0, 40, &lead));
}

/* ---------- units on the test map */

constexpr file_tag MELEE_KIND_TAG = TAG("tmel");
constexpr file_tag MISSILE_KIND_TAG = TAG("tmis");

class monster_attacks_test : public projectiles_test_map
{
protected:
	void SetUp() override
	{
		projectiles_test_map::SetUp();
		game_play_version = 1720;
	}

	template <typename edit_proc>
	int16 make_kind(file_tag tag, int16 monster_class, edit_proc edit)
	{
		monster_definition definition = *get_default_monster_definition();
		definition.monster_class = monster_class;
		definition.number_of_attacks = 1;
		definition.critical_distance = 1024;
		definition.activation_distance = 4096;
		definition.warning_distance = 2048;
		definition.base_movement_speed = 40;
		definition.turning_speed = 2048;
		definition.ammunition_projectile_type = NONE;
		definition.special_ability_string_list_index = NONE;
		for (monster_attack_definition &attack : definition.attacks)
		{
			attack = *get_default_monster_attack_definition();
			attack.flags = _monster_attack_is_primary_flag;
			attack.projectile_type = projectile_type(monster_class == _monster_class_melee ? TAG("swrd") : TAG("arro"));
			attack.minimum_range = 0;
			attack.maximum_range = monster_class == _monster_class_melee ? 300 : 6000;
			attack.initial_velocity_lower_bound = 200;
			attack.initial_velocity_delta = 0;
			attack.miss_fraction = 0;
			attack.recovery_time = 30;
			for (monster_attack_sequence &sequence : attack.sequences) sequence.sequence_index = NONE;
		}
		edit(&definition);
		const int16 index = new_definition(get_monster_definitions(), tag, &definition);
		if (index != NONE) get_monster_definitions()->flags[index] |= _definition_postprocessed_flag;
		return index;
	}
	int16 make_kind(file_tag tag, int16 monster_class)
	{
		return make_kind(tag, monster_class, [](monster_definition *) {});
	}

	int16 make_unit(int16 type, int8 team, world_distance x, world_distance y, angle yaw = 0)
	{
		const int16 object_index = make_object(x, y, 0, true, 100);
		if (object_index == NONE) return NONE;
		const int16 index = new_datum(&monster_array);
		monster_data *monster = get_monster_data(index);
		if (!monster) return NONE;
		const monster_definition *definition = get_monster_definition(type);
		monster->type = monster->orig_type = type;
		monster->object_index = object_index;
		monster->carrying_object_index = monster->artifact_index = NONE;
		monster->local_projectile_group_index = monster->current_local_projectile_group_index = NONE;
		monster->target_monster_index = monster->deferred_target_index = monster->aggressor_monster_index = NONE;
		monster->pick_up_object_index = monster->avoiding_object_index = monster->path_index = NONE;
		monster->owner_team_index = team;
		monster->owner_player_index = NONE;
		monster->action = _monster_action_idle;
		monster->action_permutation = NONE;
		monster->base_movement_speed = definition->base_movement_speed;
		monster->desired_yaw = yaw;
		monster->repeated_obstruction_count = 0;
		for (int16 &held : monster->held_object_indexes) held = NONE;
		object_data *object = get_object_data(object_index);
		object->owner = _object_is_monster;
		object->owner_index = index;
		object->location.yaw = yaw;
		object->vitality = 100;
		return index;
	}
	static monster_data *unit(int16 index) { return get_monster_data(index); }
	static void aim_at(int16 attacker, int16 target)
	{
		unit(attacker)->target_monster_index = target;
		unit(attacker)->flags |= _monster_has_valid_target_flag | _monster_has_valid_target_index_flag;
	}
	static std::vector<uint16> draws_from(uint32 seed, int32 count)
	{
		const uint32 saved = get_random_seed();
		set_random_seed(seed);
		std::vector<uint16> values;
		for (int32 i = 0; i < count; ++i) values.push_back(zerv_random());
		set_random_seed(saved);
		return values;
	}
};

TEST_F(monster_attacks_test, scan_finds_the_nearer_of_equals_in_cell_order_and_skips_the_confused_and_the_untargetable)
{
	const int16 melee = make_kind(MELEE_KIND_TAG, _monster_class_melee);
	const int16 scout = make_unit(melee, 0, 8000, 8000);
	const int16 far = make_unit(melee, 1, 9500, 8000);
	const int16 near = make_unit(melee, 1, 9000, 8000);
	EXPECT_EQ(closest_most_appropriate_target(scout, _closest_most_appropriate_target_periodic_scan), near);

	// At equal distance the first found in cell order (rows, then columns) wins.
	const int16 below = make_unit(melee, 1, 8000, 7000);
	(void)below;
	const int16 left = make_unit(melee, 1, 7000, 8000);
	get_object_data(unit(near)->object_index)->flags |= _object_is_invisible_flag;
	get_object_data(unit(far)->object_index)->flags |= _object_is_invisible_flag;
	EXPECT_EQ(closest_most_appropriate_target(scout, _closest_most_appropriate_target_periodic_scan), below);
	unit(below)->extra_flags |= _monster_cannot_be_autotargeted_extra_flag;
	EXPECT_EQ(closest_most_appropriate_target(scout, _closest_most_appropriate_target_periodic_scan), left);
	unit(left)->extra_flags |= _monster_cannot_be_autotargeted_extra_flag;
	EXPECT_EQ(closest_most_appropriate_target(scout, _closest_most_appropriate_target_periodic_scan), NONE);

	unit(left)->extra_flags &= ~static_cast<uint32>(_monster_cannot_be_autotargeted_extra_flag);
	unit(scout)->extra_flags |= _monster_is_confused_extra_flag;
	EXPECT_EQ(closest_most_appropriate_target(scout, _closest_most_appropriate_target_periodic_scan), NONE);
}

TEST_F(monster_attacks_test, becoming_idle_a_unit_takes_only_allies_targets_and_lets_go_unless_it_closes)
{
	const int16 melee = make_kind(MELEE_KIND_TAG, _monster_class_melee);
	const int16 idle = make_unit(melee, 0, 8000, 8000);
	const int16 enemy = make_unit(melee, 1, 8600, 8000);
	const int16 distant_enemy = make_unit(melee, 1, 20000, 20000);
	EXPECT_EQ(closest_most_appropriate_target(idle, _closest_most_appropriate_target_becoming_idle_scan), NONE);
	(void)enemy;
	const int16 friend_unit = make_unit(melee, 0, 8400, 8200);
	aim_at(friend_unit, distant_enemy);
	EXPECT_EQ(closest_most_appropriate_target(idle, _closest_most_appropriate_target_becoming_idle_scan), distant_enemy);
	unit(friend_unit)->flags |= _monster_responding_to_target_command_flag;
	EXPECT_EQ(closest_most_appropriate_target(idle, _closest_most_appropriate_target_becoming_idle_scan), NONE);

	// Becoming idle, a unit takes that target and closes on it; a kind that
	// does not close on its target stays idle and lets the target go again.
	unit(friend_unit)->flags &= ~static_cast<uint32>(_monster_responding_to_target_command_flag);
	set_most_appropriate_monster_action(idle);
	EXPECT_EQ(unit(idle)->target_monster_index, distant_enemy);
	EXPECT_EQ(unit(idle)->action, _monster_action_moving);
	monster_definition *kind = get_monster_definition(melee);
	kind->hack_flags = static_cast<int16>(static_cast<uint16>(kind->hack_flags) | _hack_doesnt_close_on_target_flag);
	const int16 stay = make_unit(melee, 0, 8000, 8200);
	set_most_appropriate_monster_action(stay);
	EXPECT_EQ(unit(stay)->action, _monster_action_idle);
	EXPECT_EQ(unit(stay)->target_monster_index, NONE);
	EXPECT_FALSE(unit(stay)->flags & (_monster_has_valid_target_flag | _monster_has_valid_target_index_flag));
}

TEST_F(monster_attacks_test, scan_square_leans_forward_for_four_facings_and_berserk_units_scan_twenty_unbiased)
{
	const int16 melee = make_kind(MELEE_KIND_TAG, _monster_class_melee);
	const int16 scout = make_unit(melee, 0, 32 * 512 + 256, 48 * 512 + 256);
	int32 x0, y0, size;
	world_point2d centre;
	struct
	{
		angle facing;
		int32 x0, y0;
	} cases[] = {{0, 32 - 2, 48 - 4}, {QUARTER_CIRCLE, 32 - 4, 48 - 2}, {HALF_CIRCLE, 32 - 6, 48 - 4}, {49152, 32 - 4, 48 - 6}};
	for (const auto &c : cases)
	{
		get_object_data(unit(scout)->object_index)->location.yaw = c.facing;
		get_target_scan_square(scout, _closest_most_appropriate_target_periodic_scan, &x0, &y0, &size, &centre);
		EXPECT_EQ(size, 9); // (4096 >> 9) + 1 cells without a target
		EXPECT_EQ(x0, c.x0) << c.facing;
		EXPECT_EQ(y0, c.y0) << c.facing;
	}
	unit(scout)->extra_flags |= _monster_is_berserk_extra_flag;
	get_target_scan_square(scout, _closest_most_appropriate_target_periodic_scan, &x0, &y0, &size, &centre);
	EXPECT_EQ(size, 20);
	EXPECT_EQ(x0, 32 - 10);
	EXPECT_EQ(y0, 48 - 10);
	// Near the edge the square is pulled inside the mesh.
	get_object_data(unit(scout)->object_index)->location.position = {100, 100, 0};
	get_target_scan_square(scout, _closest_most_appropriate_target_periodic_scan, &x0, &y0, &size, &centre);
	EXPECT_EQ(x0, 0);
	EXPECT_EQ(y0, 0);
}

TEST_F(monster_attacks_test, target_died_scan_penalises_candidates_off_the_facing_from_1301)
{
	const int16 melee = make_kind(MELEE_KIND_TAG, _monster_class_melee);
	const int16 scout = make_unit(melee, 0, 8000, 8000, 0);
	const int16 dead = make_unit(melee, 1, 9000, 8000);
	aim_at(scout, dead);
	const int16 ahead = make_unit(melee, 1, 9100, 8000);
	const int16 behind = make_unit(melee, 1, 7000, 8000);
	(void)ahead;
	// 1100 ahead against 1000 behind: behind loses once penalised.
	EXPECT_EQ(closest_most_appropriate_target(scout, _closest_most_appropriate_target_target_died_scan), ahead);
	game_play_version = 1300;
	EXPECT_EQ(closest_most_appropriate_target(scout, _closest_most_appropriate_target_target_died_scan), behind);
}

TEST_F(monster_attacks_test, switching_keeps_or_takes_the_candidate_and_sets_the_exact_flags)
{
	const int16 melee = make_kind(MELEE_KIND_TAG, _monster_class_melee);
	const int16 unit_index = make_unit(melee, 0, 8000, 8000);
	const int16 current = make_unit(melee, 1, 11000, 8000);
	const int16 candidate = make_unit(melee, 1, 8500, 8000);
	const int16 ally = make_unit(melee, 0, 8200, 8000);
	EXPECT_FALSE(try_and_switch_target_indexes(unit_index, ally, 0));

	aim_at(unit_index, current);
	// The candidate does not attack this unit: kept.
	EXPECT_FALSE(try_and_switch_target_indexes(unit_index, candidate, 0));
	aim_at(candidate, unit_index);
	unit(unit_index)->flags |= _monster_target_has_caused_melee_damage_flag;
	EXPECT_FALSE(try_and_switch_target_indexes(unit_index, candidate, 0));
	unit(unit_index)->flags &= ~static_cast<uint32>(_monster_target_has_caused_melee_damage_flag);
	aim_at(current, unit_index);
	EXPECT_FALSE(try_and_switch_target_indexes(unit_index, candidate, 0)); // T attacks this unit
	unit(current)->flags = 0;
	unit(unit_index)->flags |= _monster_responding_to_command_flag;
	EXPECT_FALSE(try_and_switch_target_indexes(unit_index, candidate, 0));
	unit(unit_index)->flags &= ~static_cast<uint32>(_monster_responding_to_command_flag);

	unit(unit_index)->flags |= _monster_in_proximity_to_target_flag | _monster_is_retreating_flag | _monster_was_stopped_flag;
	unit(unit_index)->extra_flags |= _monster_failed_to_attack_extra_flag | _monster_attack_went_ahead_extra_flag;
	// 3000 against 500: more than 2048 nearer.
	ASSERT_TRUE(try_and_switch_target_indexes(unit_index, candidate, 0));
	const monster_data *m = unit(unit_index);
	EXPECT_EQ(m->target_monster_index, candidate);
	EXPECT_EQ(m->flags & (_monster_in_proximity_to_target_flag | _monster_is_retreating_flag | _monster_was_stopped_flag), 0u);
	EXPECT_EQ(m->extra_flags & (_monster_failed_to_attack_extra_flag | _monster_attack_went_ahead_extra_flag), 0u);
	const uint32 set = _monster_has_valid_target_flag | _monster_has_valid_target_index_flag | _monster_needs_new_path_flag |
		_monster_attack_was_aborted_flag;
	EXPECT_EQ(m->flags & set, set);
	EXPECT_FALSE(m->flags & _monster_needs_to_retreat_flag);
}

TEST_F(monster_attacks_test, close_range_switch_of_a_unit_that_concentrates_needs_an_angle_margin)
{
	const int16 focused = make_kind(MELEE_KIND_TAG, _monster_class_melee,
		[](monster_definition *d) { d->flags |= _monster_concentrates_on_single_attacker_flag; });
	const int16 unit_index = make_unit(focused, 0, 8000, 8000, 0);
	const int16 current = make_unit(focused, 1, 8000, 9000); // a quarter turn off the yaw
	const int16 candidate = make_unit(focused, 1, 9000, 8000); // dead ahead
	aim_at(unit_index, current);
	aim_at(candidate, unit_index);
	// Same distance: the 2048 rule keeps it, the angle rule switches.
	EXPECT_FALSE(try_and_switch_target_indexes(unit_index, candidate, 0));
	EXPECT_TRUE(try_and_switch_target_indexes(unit_index, candidate, _switch_target_close_range_flag));
	// 4096 is not enough.
	aim_at(unit_index, current);
	get_object_data(unit(current)->object_index)->location.position = {9000, 8000 + 414, 0};
	EXPECT_FALSE(try_and_switch_target_indexes(unit_index, candidate, _switch_target_close_range_flag));
}

TEST_F(monster_attacks_test, switching_decides_fleeing_by_class)
{
	const int16 melee = make_kind(MELEE_KIND_TAG, _monster_class_melee);
	const int16 bomber = make_kind(TAG("tsui"), _monster_class_suicide);
	const int16 harmless = make_kind(TAG("thar"), _monster_class_harmless);
	const int16 missile = make_kind(MISSILE_KIND_TAG, _monster_class_missile);
	const int16 suicide_enemy = make_unit(bomber, 1, 9000, 8000);
	const int16 swordsman = make_unit(melee, 0, 8000, 8000);
	ASSERT_TRUE(try_and_switch_target_indexes(swordsman, suicide_enemy, 0));
	EXPECT_TRUE(unit(swordsman)->flags & _monster_needs_to_retreat_flag);
	const int16 rabbit = make_unit(harmless, 0, 8000, 9000);
	ASSERT_TRUE(try_and_switch_target_indexes(rabbit, suicide_enemy, 0));
	EXPECT_TRUE(unit(rabbit)->flags & _monster_needs_to_retreat_flag);
	const int16 archer = make_unit(missile, 0, 8000, 9500);
	unit(archer)->flags |= _monster_needs_to_retreat_flag;
	ASSERT_TRUE(try_and_switch_target_indexes(archer, suicide_enemy, 0));
	EXPECT_FALSE(unit(archer)->flags & _monster_needs_to_retreat_flag);
	const int16 sapper = make_unit(bomber, 0, 7000, 8000);
	ASSERT_TRUE(try_and_switch_target_indexes(sapper, make_unit(melee, 1, 6000, 8000), 0));
	EXPECT_TRUE(unit(sapper)->flags & _monster_needs_to_retreat_flag);
	// Above 1700 a confused or berserk unit never flees.
	const int16 mad = make_unit(harmless, 0, 8000, 10000);
	unit(mad)->extra_flags |= _monster_is_berserk_extra_flag;
	ASSERT_TRUE(try_and_switch_target_indexes(mad, suicide_enemy, 0));
	EXPECT_FALSE(unit(mad)->flags & _monster_needs_to_retreat_flag);
}

TEST_F(monster_attacks_test, activate_adjacents_asks_only_units_of_the_team_and_class_in_the_square)
{
	const int16 melee = make_kind(MELEE_KIND_TAG, _monster_class_melee, [](monster_definition *d) {
		d->critical_distance = 512;
		d->activation_distance = 512;
	});
	const int16 missile = make_kind(MISSILE_KIND_TAG, _monster_class_missile);
	const int16 leader = make_unit(melee, 0, 8000, 8000);
	const int16 close_friend = make_unit(melee, 0, 8600, 8000);
	const int16 far_friend = make_unit(melee, 0, 9400, 8000);  // in the 9-cell square, beyond 1024
	const int16 outside = make_unit(melee, 0, 14000, 8000);
	const int16 other_class = make_unit(missile, 0, 8000, 8600);
	const int16 enemy = make_unit(melee, 1, 8000, 9000);
	game_play_version = 1301;
	ASSERT_TRUE(try_and_switch_target_indexes(leader, enemy, _switch_target_activate_adjacents_flag));
	EXPECT_EQ(unit(close_friend)->target_monster_index, enemy);
	EXPECT_EQ(unit(far_friend)->target_monster_index, NONE);
	EXPECT_EQ(unit(outside)->target_monster_index, NONE);
	EXPECT_EQ(unit(other_class)->target_monster_index, NONE);
	// Under 1300 melee units answer across the whole square.
	game_play_version = 1300;
	unit(leader)->flags = 0;
	ASSERT_TRUE(try_and_switch_target_indexes(leader, enemy, _switch_target_activate_adjacents_flag));
	EXPECT_EQ(unit(far_friend)->target_monster_index, enemy);
}

TEST_F(monster_attacks_test, lookup_clamps_every_index_and_use_checks_carried_ammunition_and_mana)
{
	const int16 kind = make_kind(MISSILE_KIND_TAG, _monster_class_missile, [](monster_definition *d) {
		d->number_of_attacks = 3;
		for (int16 i = 0; i < 4; ++i) d->attacks[i].maximum_range = static_cast<short_world_distance>(1000 * (i + 1));
		d->maximum_mana = 10;
	});
	const int16 archer = make_unit(kind, 0, 8000, 8000);
	const monster_definition *definition = get_monster_definition(kind);
	for (int16 version : {1500, 1601})
	{
		game_play_version = version;
		EXPECT_EQ(get_monster_attack_definition(archer, 7), &definition->attacks[2]) << version;
		EXPECT_EQ(get_monster_attack_definition(archer, -3), &definition->attacks[0]) << version;
	}
	// -69 without an artifact is the kind's first attack, also at 1510, and an
	// attack with it aims like one.
	game_play_version = 1510;
	EXPECT_EQ(get_monster_attack_definition(archer, ARTIFACT_ATTACK_INDEX), &definition->attacks[0]);
	aim_at(archer, make_unit(kind, 1, 11000, 8000));
	EXPECT_TRUE(handle_monster_attack(archer, ARTIFACT_ATTACK_INDEX, _monster_attack_aim));
	unit(archer)->flags = 0;

	monster_attack_definition *attack = &get_monster_definition(kind)->attacks[0];
	attack->mana_cost = 5;
	unit(archer)->mana = 4;
	EXPECT_FALSE(validate_monster_attack_use(archer, 0));
	unit(archer)->mana = 5;
	EXPECT_TRUE(validate_monster_attack_use(archer, 0));
	// A gain: only while the pool has room for it, from 1301.
	attack->mana_cost = -3;
	unit(archer)->mana = 8;
	game_play_version = 1301;
	EXPECT_FALSE(validate_monster_attack_use(archer, 0));
	game_play_version = 1300;
	EXPECT_TRUE(validate_monster_attack_use(archer, 0));
	attack->mana_cost = 0;

	game_play_version = 1720;
	attack->flags |= _monster_attack_uses_ammunition_flag;
	attack->repetitions = -4;
	unit(archer)->ammunition_count = 2;
	EXPECT_TRUE(validate_monster_attack_use(archer, 0));
	unit(archer)->ammunition_count = 0;
	EXPECT_TRUE(validate_monster_attack_use(archer, 0)); // refilled when it fires
	game_play_version = 1300;
	EXPECT_FALSE(validate_monster_attack_use(archer, 0));
	attack->flags &= ~static_cast<uint16>(_monster_attack_uses_ammunition_flag);

	attack->flags |= _monster_attack_uses_carried_projectile_flag;
	EXPECT_FALSE(validate_monster_attack_use(archer, 0));
}

TEST_F(monster_attacks_test, choice_follows_the_range_examples)
{
	const int16 kind = make_kind(MISSILE_KIND_TAG, _monster_class_missile, [](monster_definition *d) {
		d->number_of_attacks = 2;
		d->attacks[0].minimum_range = 0;
		d->attacks[0].maximum_range = 1000;
		d->attacks[1].minimum_range = 5000;
		d->attacks[1].maximum_range = 8000;
		d->hack_flags = static_cast<int16>(_hack_missile_attack_ignores_height_flag);
	});
	const int16 archer = make_unit(kind, 0, 8000, 8000);
	const int16 enemy = make_unit(kind, 1, 11000, 8000);
	aim_at(archer, enemy);
	// 3000 away: attack 0 over its maximum, attack 1 under its minimum.
	EXPECT_EQ(choose_monster_attack_index(archer, _choose_best_possible_attack_index), 0);
	EXPECT_EQ(choose_monster_attack_index(archer, _choose_best_immediate_attack_index), NONE);
	get_monster_definition(kind)->attacks[0].minimum_range = 4000;
	get_monster_definition(kind)->attacks[0].maximum_range = 4500;
	EXPECT_EQ(choose_monster_attack_index(archer, _choose_best_possible_attack_index), 1);

	// A missile unit without should-close never takes a non-primary, non-special attack.
	get_monster_definition(kind)->attacks[0] = get_monster_definition(kind)->attacks[1];
	get_monster_definition(kind)->attacks[0].minimum_range = 0;
	get_monster_definition(kind)->attacks[0].flags = 0;
	EXPECT_EQ(choose_monster_attack_index(archer, _choose_best_immediate_attack_index), NONE);
	unit(archer)->flags |= _monster_should_close_on_target_flag;
	EXPECT_EQ(choose_monster_attack_index(archer, _choose_best_immediate_attack_index), 0);
}

TEST_F(monster_attacks_test, closest_range_preference_moves_to_the_primary_attack_at_its_minimum)
{
	const int16 kind = make_kind(MISSILE_KIND_TAG, _monster_class_melee, [](monster_definition *d) {
		d->number_of_attacks = 2;
		d->attacks[0].flags = _monster_attack_is_primary_flag;
		d->attacks[0].minimum_range = 2000;
		d->attacks[0].maximum_range = 8000;
		d->attacks[1].flags = 0;
		d->attacks[1].minimum_range = 0;
		d->attacks[1].maximum_range = 4000;
		d->hack_flags = static_cast<int16>(_hack_missile_attack_ignores_height_flag);
	});
	const int16 fighter = make_unit(kind, 0, 8000, 8000);
	const int16 enemy = make_unit(kind, 1, 9000, 8000);
	aim_at(fighter, enemy);
	unit(fighter)->extra_flags |= _monster_should_use_closest_range_attack_extra_flag;
	EXPECT_EQ(choose_monster_attack_index(fighter, _choose_best_immediate_attack_index), 1);
	get_object_data(unit(enemy)->object_index)->location.position.x = 10000; // 2000: the primary's minimum
	EXPECT_EQ(choose_monster_attack_index(fighter, _choose_best_immediate_attack_index), 0);
}

TEST_F(monster_attacks_test, target_restrictions_for_giants_fliers_and_undead_around_1510)
{
	monster_attack_definition attack = *get_default_monster_attack_definition();
	attack.flags = _monster_attack_vs_giant_sized_flag;
	EXPECT_FALSE(validate_monster_attack_against_target(&attack, FALSE, FALSE, FALSE));
	EXPECT_TRUE(validate_monster_attack_against_target(&attack, TRUE, FALSE, FALSE));
	attack.flags = _monster_attack_prohibited_vs_giant_sized_flag;
	EXPECT_FALSE(validate_monster_attack_against_target(&attack, TRUE, FALSE, FALSE));
	attack.flags = 0;
	attack.extra_flags = _monster_attack_prohibited_vs_flying_flag | _monster_attack_vs_undead_flag;
	game_play_version = 1510;
	EXPECT_TRUE(validate_monster_attack_against_target(&attack, FALSE, TRUE, FALSE));
	game_play_version = 1511;
	EXPECT_FALSE(validate_monster_attack_against_target(&attack, FALSE, TRUE, TRUE));
	EXPECT_FALSE(validate_monster_attack_against_target(&attack, FALSE, FALSE, FALSE));
	EXPECT_TRUE(validate_monster_attack_against_target(&attack, FALSE, FALSE, TRUE));
}

TEST_F(monster_attacks_test, retreating_unit_lowers_its_distance_once_per_attack_examined)
{
	const int16 kind = make_kind(MELEE_KIND_TAG, _monster_class_melee, [](monster_definition *d) {
		d->number_of_attacks = 2;
		d->turning_speed = 0; // 45 ticks of the target's speed: 45 x 40 = 1800
		d->attacks[0].minimum_range = 0;
		d->attacks[0].maximum_range = 2000;
		d->attacks[1] = d->attacks[0];
		d->attacks[1].maximum_range = 500;
	});
	const int16 runner = make_unit(kind, 0, 8000, 8000);
	const int16 chaser = make_unit(kind, 1, 12000, 8000);
	aim_at(runner, chaser);
	unit(runner)->flags |= _monster_is_retreating_flag;
	get_monster_definition(kind)->attacks[0].maximum_range = 100; // 4000 - 1800 is still out
	// Second attack: 4000 - 3600 = 400, in range only because d fell twice.
	EXPECT_EQ(choose_monster_attack_index(runner, _choose_best_immediate_attack_index), 1);
	unit(runner)->flags &= ~static_cast<uint32>(_monster_is_retreating_flag);
	EXPECT_EQ(choose_monster_attack_index(runner, _choose_best_immediate_attack_index), NONE);

}

TEST_F(monster_attacks_test, height_raises_the_maximum_and_a_lob_drops_the_minimum_near_lower_targets)
{
	const int16 kind = make_kind(MISSILE_KIND_TAG, _monster_class_missile);
	const int16 archer = make_unit(kind, 0, 8000, 8000);
	monster_attack_definition attack = get_monster_definition(kind)->attacks[0];
	attack.initial_velocity_lower_bound = 200;
	attack.initial_velocity_delta = 56;
	world_distance minimum = 1000, maximum = 6000;
	adjust_ranges_for_height_difference(archer, &attack, 1024, 5000, &minimum, &maximum);
	EXPECT_EQ(maximum, 6000 + ((13369344 / 256) * 1024 >> 16));
	EXPECT_EQ(minimum, 1000);
	minimum = 1000;
	maximum = 6000;
	attack.flags |= _monster_attack_lob_to_hit_lower_nearby_units_flag;
	adjust_ranges_for_height_difference(archer, &attack, -769, 2047, &minimum, &maximum);
	EXPECT_EQ(minimum, 0);
	minimum = 1000;
	adjust_ranges_for_height_difference(archer, &attack, -769, 2048, &minimum, &maximum);
	EXPECT_EQ(minimum, 1000);
	// Far below, the maximum never falls under the minimum.
	maximum = 1200;
	adjust_ranges_for_height_difference(archer, &attack, -30000, 5000, &minimum, &maximum);
	EXPECT_EQ(maximum, 1000);
	// Kinds that ignore height keep the maximum.
	get_monster_definition(kind)->hack_flags = static_cast<int16>(_hack_missile_attack_ignores_height_flag);
	maximum = 6000;
	adjust_ranges_for_height_difference(archer, &attack, 1024, 5000, &minimum, &maximum);
	EXPECT_EQ(maximum, 6000);
}

TEST_F(monster_attacks_test, aim_monster_leads_only_targets_not_far_ahead_and_clamps_to_the_mesh)
{
	const int16 kind = make_kind(MELEE_KIND_TAG, _monster_class_melee);
	const int16 chaser = make_unit(kind, 0, 10000, 10000);
	const int16 target = make_unit(kind, 1, 18000, 10000);
	get_object_data(unit(target)->object_index)->location.velocity = {20, 0, 0};
	world_point2d point = {0, 0};
	// 8000 ahead of the chaser along x (dx = 8000 > 7680): no lead.
	ASSERT_TRUE(aim_monster(chaser, target, &point));
	EXPECT_EQ(point.x, 18000);
	// 8000 behind (dx = -8000): led.
	get_object_data(unit(target)->object_index)->location.position.x = 2000;
	get_object_data(unit(target)->object_index)->location.velocity = {-20, 0, 0};
	ASSERT_TRUE(aim_monster(chaser, target, &point));
	EXPECT_LT(point.x, 2000);
	// Led far past the edge: clamped.
	get_object_data(unit(target)->object_index)->location.position.x = 600;
	ASSERT_TRUE(aim_monster(chaser, target, &point));
	EXPECT_EQ(point.x, 0);
	// A model near the target: no lead.
	get_object_data(unit(target)->object_index)->location.position.x = 4000;
	get_mesh_cell((4000 >> 9) + 2, (10000 >> 9) - 2)->model_index = 0;
	ASSERT_TRUE(aim_monster(chaser, target, &point));
	EXPECT_EQ(point.x, 4000);
	get_mesh_cell((4000 >> 9) + 2, (10000 >> 9) - 2)->model_index = NONE;
	// Too far: nothing.
	get_object_data(unit(target)->object_index)->location.position.x = 10000 + 10240;
	EXPECT_FALSE(aim_monster(chaser, target, &point));
}

TEST_F(monster_attacks_test, friendly_fire_preflight_weighs_vitality_three_to_one)
{
	const int16 kind = make_kind(MISSILE_KIND_TAG, _monster_class_missile);
	const int16 archer = make_unit(kind, 0, 2000, 2000);
	const int16 friend_unit = make_unit(kind, 0, 10000, 10000);
	const int16 enemy = make_unit(kind, 1, 10100, 10000);
	get_object_data(unit(friend_unit)->object_index)->vitality = 100;
	get_object_data(unit(enemy)->object_index)->vitality = 300;
	const world_point3d point = {10050, 10000, 0};
	const int16 bomb = projectile_type(TAG("bomb"));
	EXPECT_TRUE(preflight_area_of_effect_projectile(archer, bomb, &point));
	get_object_data(unit(enemy)->object_index)->vitality = 299;
	EXPECT_FALSE(preflight_area_of_effect_projectile(archer, bomb, &point));
	get_object_data(unit(friend_unit)->object_index)->flags |= _object_is_invisible_flag;
	EXPECT_TRUE(preflight_area_of_effect_projectile(archer, bomb, &point));

	// An attack that avoids friends holds its fire, unless the player ordered it.
	get_object_data(unit(friend_unit)->object_index)->flags &= ~static_cast<uint32>(_object_is_invisible_flag);
	get_monster_definition(kind)->attacks[0].flags |= _monster_attack_avoids_friendly_units_flag;
	get_object_data(unit(archer)->object_index)->location.position = {7000, 10000, 0};
	aim_at(archer, enemy);
	EXPECT_FALSE(handle_monster_attack(archer, 0, _monster_attack_aim));
	unit(archer)->flags |= _monster_responding_to_target_command_flag;
	EXPECT_TRUE(handle_monster_attack(archer, 0, _monster_attack_aim));
}

TEST_F(monster_attacks_test, evasion_turns_a_quarter_away_and_keeps_its_side)
{
	const int16 kind = make_kind(MELEE_KIND_TAG, _monster_class_melee);
	const int16 runner = make_unit(kind, 0, 8000, 8000, 0);
	const int16 rock = make_object(9000, 8200, 0, true, 100); // ahead, to the left
	try_evasive_maneuvers(runner, rock);
	const monster_data *m = unit(runner);
	const angle a = arctangent(1000, 200);
	EXPECT_EQ(m->desired_yaw, static_cast<angle>(a - QUARTER_CIRCLE));
	EXPECT_TRUE(m->extra_flags & _monster_evading_left_extra_flag);
	// Entering the moving action ends evading-to-attack; the evasion itself stays.
	EXPECT_TRUE(m->flags & _monster_evading_obstacle_flag);
	EXPECT_EQ(m->path_segment_length, 100 + 85 + 100);
	EXPECT_EQ(m->action, _monster_action_moving);
	// Still evading, now facing past it on the other side: keeps turning left.
	unit(runner)->desired_yaw = static_cast<angle>(a - 2000);
	try_evasive_maneuvers(runner, rock);
	EXPECT_EQ(unit(runner)->desired_yaw, static_cast<angle>(a - QUARTER_CIRCLE));
	// Behind it: nothing.
	unit(runner)->desired_yaw = HALF_CIRCLE;
	unit(runner)->path_segment_length = 0;
	try_evasive_maneuvers(runner, rock);
	EXPECT_EQ(unit(runner)->path_segment_length, 0);
}

TEST_F(monster_attacks_test, line_of_fire_passes_enemies_and_waits_for_a_moving_ally)
{
	const int16 kind = make_kind(MISSILE_KIND_TAG, _monster_class_missile);
	const int16 archer = make_unit(kind, 0, 8000, 8000);
	const int16 enemy = make_unit(kind, 1, 11000, 8000);
	const int16 in_between = make_unit(kind, 1, 9500, 8000);
	aim_at(archer, enemy);
	get_object_data(unit(in_between)->object_index)->height1 = 2048; // tall enough to stand in the line of fire
	EXPECT_TRUE(handle_monster_attack(archer, 0, _monster_attack_aim));
	EXPECT_EQ(unit(archer)->action, _monster_action_aiming_attack);

	unit(in_between)->owner_team_index = 0;
	unit(in_between)->action = _monster_action_moving;
	EXPECT_FALSE(handle_monster_attack(archer, 0, _monster_attack_aim));
	EXPECT_FALSE(unit(archer)->flags & _monster_evading_obstacle_flag); // it waits for the ally
	unit(in_between)->action = _monster_action_idle;
	EXPECT_FALSE(handle_monster_attack(archer, 0, _monster_attack_aim));
	EXPECT_TRUE(unit(archer)->flags & _monster_evading_obstacle_flag);

	// An ally beside the target, out of the archer's own check, blocks only the
	// line seen from the target: no shot, and no step aside either.
	const int16 second_archer = make_unit(kind, 0, 8000, 14000);
	const int16 second_enemy = make_unit(kind, 1, 11000, 14000);
	const int16 beside_target = make_unit(kind, 0, 10500, 14000);
	aim_at(second_archer, second_enemy);
	EXPECT_FALSE(handle_monster_attack(second_archer, 0, _monster_attack_aim));
	EXPECT_EQ(unit(second_archer)->action, _monster_action_idle);
	EXPECT_FALSE(unit(second_archer)->flags & _monster_evading_obstacle_flag);
	unit(beside_target)->owner_team_index = 1;
	EXPECT_TRUE(handle_monster_attack(second_archer, 0, _monster_attack_aim));
	EXPECT_EQ(unit(second_archer)->action, _monster_action_aiming_attack);
}

TEST_F(monster_attacks_test, an_aimed_unit_facing_its_target_attacks_with_the_aimed_attack)
{
	const int16 kind = make_kind(MISSILE_KIND_TAG, _monster_class_missile);
	const int16 archer = make_unit(kind, 0, 8000, 8000);
	const int16 enemy = make_unit(kind, 1, 11000, 8000);
	aim_at(archer, enemy);
	ASSERT_TRUE(handle_monster_attack(archer, 0, _monster_attack_aim));
	ASSERT_EQ(unit(archer)->action, _monster_action_aiming_attack);
	get_object_data(unit(archer)->object_index)->location.yaw = unit(archer)->desired_yaw;
	monster_moving(archer);
	EXPECT_EQ(unit(archer)->action, _monster_action_attacking);
	// The key frame fires the attack named by the permutation: none would fire nothing.
	EXPECT_EQ(unit(archer)->action_permutation, 0);
}

TEST_F(monster_attacks_test, abort_after_firing_does_nothing_and_before_firing_scatters_a_shot)
{
	const int16 kind = make_kind(MISSILE_KIND_TAG, _monster_class_missile);
	const int16 archer = make_unit(kind, 0, 8000, 8000);
	const int16 enemy = make_unit(kind, 1, 11000, 8000);
	aim_at(archer, enemy);
	ASSERT_TRUE(handle_monster_attack(archer, 0, _monster_attack_aim));
	unit(archer)->flags |= _monster_has_attacked_flag;
	const int16 timer = unit(archer)->attack_timer;
	const uint32 draws = zerv_random_draw_count();
	EXPECT_FALSE(handle_monster_attack(archer, 0, _monster_attack_abort));
	EXPECT_EQ(zerv_random_draw_count(), draws);
	EXPECT_EQ(unit(archer)->attack_timer, timer);

	unit(archer)->flags &= ~static_cast<uint32>(_monster_has_attacked_flag);
	const int32 before = projectiles_in_use();
	EXPECT_TRUE(handle_monster_attack(archer, 0, _monster_attack_abort));
	ASSERT_EQ(projectiles_in_use(), before + 1);
	EXPECT_TRUE(unit(archer)->flags & _monster_has_attacked_flag);
	// A second execute of a fired attack fires nothing but adds recovery again.
	const int16 after_abort = unit(archer)->attack_timer;
	EXPECT_TRUE(handle_monster_attack(archer, 0, _monster_attack_execute));
	EXPECT_EQ(projectiles_in_use(), before + 1);
	EXPECT_GE(unit(archer)->attack_timer, after_abort + 30);
	EXPECT_LE(unit(archer)->attack_timer, after_abort + 35);
}

TEST_F(monster_attacks_test, one_aimed_attack_draws_in_a_fixed_order)
{
	const int16 kind = make_kind(MISSILE_KIND_TAG, _monster_class_missile, [](monster_definition *d) {
		d->attacks[0].initial_velocity_delta = 40;
		d->attacks[0].initial_velocity_error = 3;
		d->attacks[0].miss_fraction = 1000;
		d->attacks[0].sequences[0].flags = _sequence_normal_flag;
		d->attacks[0].sequences[0].sequence_index = 0;
		d->attacks[0].sequences[1] = d->attacks[0].sequences[0];
	});
	const int16 archer = make_unit(kind, 0, 8000, 8000);
	const int16 enemy = make_unit(kind, 1, 11000, 8000);
	aim_at(archer, enemy);
	set_random_seed(12345);
	const std::vector<uint16> expected = draws_from(12345, 16);
	const uint32 start = zerv_random_draw_count();
	ASSERT_TRUE(handle_monster_attack(archer, 0, _monster_attack_aim));
	// Aim: the sequence, the velocity, the recovery.
	EXPECT_EQ(zerv_random_draw_count() - start, 3u);
	EXPECT_EQ(unit(archer)->projectile_initial_velocity, 200 + ((40 * static_cast<uint32>(expected[1])) >> 16));
	const int16 timer = 30 + static_cast<int16>((static_cast<uint32>(expected[2]) * 3) >> 15);
	EXPECT_EQ(unit(archer)->attack_timer, timer);
	ASSERT_TRUE(handle_monster_attack(archer, 0, _monster_attack_execute));
	// Execute: the sequence, the miss draw (fires), i, j, k, what the new
	// projectile draws, then the recovery.
	const uint32 used = zerv_random_draw_count() - start;
	EXPECT_EQ(used, 12u);
	EXPECT_GE(expected[4], 1000u);
	EXPECT_EQ(unit(archer)->attack_timer, timer + 30 + static_cast<int16>((static_cast<uint32>(expected[used - 1]) * 3) >> 15));
	const std::vector<uint16> pinned = {1337, 1084, 35596, 41609, 59639, 7370, 32498, 35936, 39066, 51344, 2611, 48745};
	EXPECT_EQ(std::vector<uint16>(expected.begin(), expected.begin() + 12), pinned);
	EXPECT_EQ(get_random_seed(), 3194601925u);
}

TEST_F(monster_attacks_test, recovery_wraps_in_sixteen_bits_and_the_frequency_draw_comes_first)
{
	const int16 kind = make_kind(MISSILE_KIND_TAG, _monster_class_missile, [](monster_definition *d) {
		d->attacks[0].flags |= _monster_attack_is_reflexive_flag;
		d->attacks[0].recovery_time = 1000;
		d->use_attack_frequency = 1;
		d->attack_frequency_lower_bound = 10;
		d->attack_frequency_delta = 10; // span 0: no draw
	});
	const int16 archer = make_unit(kind, 0, 8000, 8000);
	unit(archer)->attack_timer = 32000;
	const uint32 draws = zerv_random_draw_count();
	ASSERT_TRUE(handle_monster_attack(archer, 0, _monster_attack_aim));
	EXPECT_EQ(zerv_random_draw_count(), draws); // no sequences, no velocity delta, no frequency span
	EXPECT_EQ(unit(archer)->attack_timer, static_cast<int16>(static_cast<uint16>(33000)));
}

TEST_F(monster_attacks_test, using_up_a_carried_object_closes_the_slots_carries_the_next_and_deletes_the_thrown_one)
{
	const int16 kind = make_kind(MISSILE_KIND_TAG, _monster_class_missile, [](monster_definition *d) {
		d->attacks[0].flags |= _monster_attack_uses_carried_projectile_flag | _monster_attack_is_reflexive_flag;
	});
	const int16 thrower = make_unit(kind, 0, 8000, 8000);
	const int16 first = make_object(8000, 8000, 0, false);
	const int16 second = make_object(8000, 8000, 0, false);
	get_object_data(first)->owner_index = projectile_type(TAG("bomb"));
	get_object_data(second)->owner_index = projectile_type(TAG("bomb"));
	monster_data *m = unit(thrower);
	m->held_object_indexes[0] = first;
	m->held_object_indexes[1] = second;
	m->held_object_count = 2;
	m->carrying_object_index = first;
	ASSERT_TRUE(handle_monster_attack(thrower, 0, _monster_attack_execute));
	EXPECT_EQ(m->held_object_count, 1);
	EXPECT_EQ(m->held_object_indexes[0], second);
	EXPECT_EQ(m->held_object_indexes[1], NONE);
	EXPECT_EQ(m->carrying_object_index, second);
	// The projectile took the thrown object's identifier: the object is gone.
	EXPECT_EQ(get_object_data(first), nullptr);

	// The last one: slots empty, nothing carried.
	m->flags &= ~static_cast<uint32>(_monster_has_attacked_flag);
	ASSERT_TRUE(handle_monster_attack(thrower, 0, _monster_attack_execute));
	EXPECT_EQ(m->held_object_count, 0);
	EXPECT_EQ(m->carrying_object_index, NONE);
	EXPECT_EQ(get_object_data(second), nullptr);
}

TEST_F(monster_attacks_test, ammunition_refills_except_when_aborting_and_the_velocity_error_stays_within_bounds)
{
	const int16 kind = make_kind(MISSILE_KIND_TAG, _monster_class_missile, [](monster_definition *d) {
		d->attacks[0].flags |= _monster_attack_uses_ammunition_flag | _monster_attack_is_reflexive_flag;
		d->attacks[0].repetitions = -3;
		d->attacks[0].initial_velocity_error = 4;
	});
	get_monster_definition(kind)->attacks[0].projectile_type =
		variant(TAG("arro"), TAG("tarr"), [](projectile_definition *p) { p->random_initial_velocity = 0; });
	const int16 archer = make_unit(kind, 0, 8000, 8000);
	unit(archer)->projectile_initial_velocity = 200;
	ASSERT_TRUE(handle_monster_attack(archer, 0, _monster_attack_execute));
	EXPECT_EQ(unit(archer)->ammunition_count, 3);
	ASSERT_TRUE(handle_monster_attack(archer, 0, _monster_attack_execute)); // already fired: no change
	EXPECT_EQ(unit(archer)->ammunition_count, 3);
	unit(archer)->flags &= ~static_cast<uint32>(_monster_has_attacked_flag);
	ASSERT_TRUE(handle_monster_attack(archer, 0, _monster_attack_execute));
	EXPECT_EQ(unit(archer)->ammunition_count, 2);
	unit(archer)->ammunition_count = 0;
	unit(archer)->flags &= ~static_cast<uint32>(_monster_has_attacked_flag);
	ASSERT_TRUE(handle_monster_attack(archer, 0, _monster_attack_abort));
	EXPECT_EQ(unit(archer)->ammunition_count, 0);

	// Every shot straight ahead at 200: i within 200 ± 4, j and k within ± 4.
	for (int32 shot = 0; shot < 40; ++shot)
	{
		unit(archer)->flags &= ~static_cast<uint32>(_monster_has_attacked_flag);
		unit(archer)->ammunition_count = 5;
		std::vector<bool> old(MAXIMUM_PROJECTILES_PER_MAP, false);
		for (int16 p = 0; p < projectile_array.count; ++p) old[p] = get_projectile_data(p) != nullptr;
		ASSERT_TRUE(handle_monster_attack(archer, 0, _monster_attack_execute));
		int32 fresh = 0;
		for (int16 p = 0; p < projectile_array.count; ++p)
		{
			const projectile_data *projectile = get_projectile_data(p);
			const object_data *object = projectile && !old[p] ? get_object_data(projectile->object_index) : nullptr;
			if (!object) continue;
			fresh += 1;
			EXPECT_LE(std::abs(object->location.velocity.i - 200), 4);
			EXPECT_LE(std::abs(object->location.velocity.j), 4);
			EXPECT_LE(std::abs(object->location.velocity.k), 4);
		}
		EXPECT_EQ(fresh, 1);
	}
}

TEST_F(monster_attacks_test, attacking_an_ally_breaks_the_alliance_and_the_deferred_target_is_taken_up)
{
	const int16 kind = make_kind(MISSILE_KIND_TAG, _monster_class_missile);
	const int16 archer = make_unit(kind, 0, 8000, 8000);
	const int16 other = make_unit(kind, 1, 9000, 8000);
	const int16 later = make_unit(kind, 1, 9000, 9000);
	aim_at(archer, other);
	if (game && get_team_count() >= 2)
	{
		game->option_flags |= _game_option_allow_alliances_flag;
		ally_with_team(1, 0, TRUE);
		ASSERT_TRUE(monsters_are_allied(other, archer));
		ASSERT_TRUE(handle_monster_attack(archer, 0, _monster_attack_aim));
		EXPECT_FALSE(teams_are_allied(1, 0));
		game->option_flags &= ~static_cast<uint32>(_game_option_allow_alliances_flag);
	}
	unit(archer)->deferred_target_index = later;
	unit(archer)->action_permutation = NONE;
	ASSERT_TRUE(handle_monster_attack(archer, 0, _monster_attack_execute));
	EXPECT_EQ(unit(archer)->target_monster_index, later);
	EXPECT_EQ(unit(archer)->deferred_target_index, NONE);
}

} // namespace

namespace {

class monster_attacks_with_teams : public units_test_map
{
protected:
	// A missile kind whose one attack is edited.
	template <typename edit_proc>
	static int16 missile_kind(file_tag tag, edit_proc edit)
	{
		return new_kind(tag, [edit](monster_definition *d) {
			d->monster_class = _monster_class_missile;
			d->number_of_attacks = 1;
			d->attacks[0] = *get_default_monster_attack_definition();
			d->attacks[0].flags = _monster_attack_is_primary_flag;
			d->attacks[0].maximum_range = 6000;
			d->attacks[0].initial_velocity_lower_bound = 200;
			d->attacks[0].miss_fraction = 0;
			for (monster_attack_sequence &sequence : d->attacks[0].sequences) sequence.sequence_index = NONE;
			edit(&d->attacks[0]);
		});
	}
	static void aim_at(int16 attacker, int16 target)
	{
		monster_data *monster = get_monster_data(attacker);
		monster->target_monster_index = target;
		monster->flags |= _monster_has_valid_target_flag | _monster_has_valid_target_index_flag;
	}
};

TEST_F(monster_attacks_with_teams, a_unit_too_near_keeps_retreating_until_it_needs_to_retreat)
{
	const int16 shy = missile_kind(TAG("kind"), [](monster_attack_definition *attack) {
		attack->projectile_type = projectile_type(TAG("arro"));
		attack->minimum_range = 2000;
	});
	const int16 archer = place_unit(shy, new_unit_type(TAG("u0  "), shy, 0, TAG("arch")), 8000, 10000);
	aim_at(archer, place_unit(shy, new_unit_type(TAG("u1  "), shy, 1, TAG("arch")), 8500, 10000));
	for (int32 pass = 0; pass < 2; ++pass)
	{
		monster_needs_new_path(archer);
		EXPECT_TRUE(get_monster_data(archer)->flags & _monster_is_retreating_flag) << pass;
	}

	// While it retreats, the immediate choice counts the target 45 ticks of
	// its speed nearer for each attack it examines: 500 is 320 for the first
	// and 140 for the second, which reaches only 200.
	monster_definition *kind = get_monster_definition(shy);
	kind->turning_speed = 0;
	kind->number_of_attacks = 2;
	kind->attacks[1] = kind->attacks[0];
	kind->attacks[1].minimum_range = 0;
	kind->attacks[1].maximum_range = 200;
	get_monster_data(get_monster_data(archer)->target_monster_index)->base_movement_speed = 4;
	EXPECT_EQ(choose_monster_attack_index(archer, _choose_best_immediate_attack_index), 1);
	kind->attacks[1].maximum_range = 139;
	EXPECT_EQ(choose_monster_attack_index(archer, _choose_best_immediate_attack_index), NONE);
	kind->number_of_attacks = 1;
	// And what it does next is to keep moving away.
	set_most_appropriate_monster_action(archer);
	EXPECT_EQ(get_monster_data(archer)->action, _monster_action_moving);
	EXPECT_TRUE(get_monster_data(archer)->flags & _monster_is_retreating_flag);

	get_monster_data(archer)->flags |= _monster_needs_to_retreat_flag;
	monster_needs_new_path(archer);
	EXPECT_FALSE(get_monster_data(archer)->flags & (_monster_is_retreating_flag | _monster_needs_to_retreat_flag));
}

TEST_F(monster_attacks_with_teams, an_attacker_killed_by_its_own_shot_still_breaks_the_alliance)
{
	// A shot that bursts at once around the archer, strong enough to kill it.
	const int16 burst = variant(TAG("arro"), TAG("tbur"), [](projectile_definition *d) {
		d->flags |= _projectile_definition_detonates_immediately_flag;
		d->damage.type = _damage_kinetic;
		d->damage.flags = _damage_instantaneous_flag | _damage_area_of_effect_flag;
		d->damage.damage_lower_bound = 0x7FFF;
		d->damage.damage_delta = 0;
		d->damage.radius_lower_bound = 300;
		d->damage.radius_delta = 0;
		d->detonation_projectile_group_type = NONE;
	});
	ASSERT_NE(burst, NONE);
	const int16 kind = missile_kind(TAG("kind"), [burst](monster_attack_definition *attack) { attack->projectile_type = burst; });
	const int16 archer = place_unit(kind, new_unit_type(TAG("u0  "), kind, 0, TAG("arch")), 8000, 8000);
	const int16 other = place_unit(kind, new_unit_type(TAG("u1  "), kind, 1, TAG("arch")), 9000, 8000);
	const int16 identifier = get_monster_data(archer)->identifier;
	for (const int16 unit : {archer, other})
	{
		object_of(unit)->vitality = 100;
		object_of(unit)->flags &= ~static_cast<uint32>(_object_is_invisible_flag);
	}
	aim_at(archer, other);
	get_monster_data(archer)->action_permutation = NONE;
	record.option_flags |= _game_option_allow_alliances_flag;
	ally_with_team(1, 0, TRUE);
	ASSERT_TRUE(monsters_are_allied(other, archer));
	handle_monster_attack(archer, 0, _monster_attack_execute);
	const monster_data *after = get_monster_data(archer);
	ASSERT_TRUE(!after || after->identifier != identifier) << "the shot did not kill its archer";
	EXPECT_FALSE(teams_are_allied(1, 0));
	EXPECT_NE(get_monster_data(other), nullptr);
}

} // namespace

namespace {

using monster_turning = monster_attacks_with_teams;

// More than a quarter turn from its heading, a unit whose kind can turn in
// place turns, whether it was moving or holding.
TEST_F(monster_turning, a_holding_unit_far_off_its_heading_turns_in_place)
{
	for (const bool can_turn : {true, false})
	{
		const int16 kind = new_kind(can_turn ? TAG("turn") : TAG("stif"), [can_turn](monster_definition *d) {
			d->flags |= _monster_translates_continuously_flag;
			d->turning_speed = 512;
			d->sequence_indexes[_monster_sequence_turning] = can_turn ? 0 : NONE;
		});
		const int16 unit = place_unit(kind, new_unit_type(can_turn ? TAG("u0  ") : TAG("u0 b"), kind, 0, TAG("turn")), 8000,
			can_turn ? 8000 : 12000);
		monster_data *monster = get_monster_data(unit);
		monster->action = _monster_action_holding_for_attack;
		object_of(unit)->location.yaw = 0;
		monster->desired_yaw = 31130;
		monster_moving(unit);
		EXPECT_EQ(get_monster_data(unit)->action, can_turn ? _monster_action_turning : _monster_action_holding_for_attack)
			<< can_turn;
	}
}

} // namespace
