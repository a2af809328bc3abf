// A unit's response to damage: holds, blocks, trading invulnerability, the
// throw and its numbers, death kinds, the attacker's experience and the
// statistics booking.
#include <gtest/gtest.h>

#include "least_layer.h"
#include "projectile_group_definitions.h"
#include "units_test_support.h"

namespace {

class monster_damage : public units_test_map
{
protected:
	void SetUp() override
	{
		units_test_map::SetUp();
		kind = new_kind(TAG("kind"), [](monster_definition *definition) {
			definition->flinch_system_shock = 16384;
			definition->hard_death_system_shock = 40000;
		});
		ours = new_unit_type(TAG("u0  "), kind, 0, TAG("sold"));
		theirs = new_unit_type(TAG("u1  "), kind, 1, TAG("sold"));
	}
	static damage_definition blow(int16 type, uint16 flags = 0)
	{
		damage_definition definition = {};
		definition.type = type;
		definition.flags = flags;
		return definition;
	}
	static damage_data from(int16 attacker, int16 damage, world_point3d epicenter = {0, 0, 0})
	{
		damage_data data;
		initialize_damage_data(&data);
		const monster_data *monster = get_monster_data(attacker);
		data.owner_monster_index = attacker;
		data.owner_monster_identifier = monster ? monster->identifier : static_cast<int16>(NONE);
		data.damage = damage;
		data.epicenter = epicenter;
		return data;
	}
	int16 kind = NONE, ours = NONE, theirs = NONE;
};

TEST_F(monster_damage, hold_holds_for_its_damage_and_a_held_unit_ignores_more)
{
	const int16 unit = place_unit(kind, ours, 4000, 4000);
	const damage_definition hold = blow(_damage_hold);
	damage_data data = from(NONE, 128);
	accelerate_monster(&hold, &data, unit);
	EXPECT_EQ(get_monster_data(unit)->action, _monster_action_being_held);
	EXPECT_EQ(get_monster_data(unit)->attack_timer, 15);
	EXPECT_TRUE(data.flags & _damage_data_reported_projectile_group_flag);
	EXPECT_EQ(data.detonation_projectile_group_type, NONE);
	data = from(NONE, 256);
	accelerate_monster(&hold, &data, unit);
	EXPECT_EQ(get_monster_data(unit)->attack_timer, 15);
	EXPECT_FALSE(data.flags & _damage_data_reported_projectile_group_flag);
}

TEST_F(monster_damage, a_block_against_the_own_target_stops_the_blow_unless_it_cannot_be_blocked)
{
	const int16 blocked_group = projectile_group_definition_tag_to_index(TAG("boom"));
	const int16 blocker_kind = new_kind(TAG("blok"), [blocked_group](monster_definition *definition) {
		definition->blocked_impact_projectile_group_type = blocked_group;
	});
	const int16 blocker = place_unit(blocker_kind, ours, 4000, 4000);
	const int16 attacker = place_unit(kind, theirs, 4300, 4000);
	get_monster_data(blocker)->action = _monster_action_blocking;
	get_monster_data(blocker)->target_monster_index = attacker;
	const int16 full = object_of(blocker)->vitality;

	const damage_definition kinetic = blow(_damage_kinetic);
	damage_data data = from(attacker, 64);
	accelerate_monster(&kinetic, &data, blocker);
	EXPECT_EQ(object_of(blocker)->vitality, full);
	EXPECT_EQ(data.detonation_projectile_group_type, blocked_group);

	const damage_definition unblockable = blow(_damage_kinetic, _damage_cannot_be_blocked_flag);
	data = from(attacker, 64);
	accelerate_monster(&unblockable, &data, blocker);
	EXPECT_EQ(object_of(blocker)->vitality, full - 32) << "half the blow gets through";
	EXPECT_EQ(data.detonation_projectile_group_type, blocked_group);
}

TEST_F(monster_damage, a_unit_being_traded_takes_nothing_but_still_reacts)
{
	const int16 unit = place_unit(kind, ours, 4000, 4000);
	const int16 attacker = place_unit(kind, theirs, 4300, 4000);
	get_monster_data(unit)->extra_flags |= _monster_is_being_traded_extra_flag;
	const int16 full = object_of(unit)->vitality;
	const damage_definition kinetic = blow(_damage_kinetic);
	damage_data data = from(attacker, 200);
	accelerate_monster(&kinetic, &data, unit);
	EXPECT_EQ(object_of(unit)->vitality, full);
	EXPECT_EQ(get_monster_data(unit)->aggressor_monster_index, attacker);
}

TEST_F(monster_damage, the_throw_follows_its_long_double_formula_and_keeps_the_destination_quirk)
{
	const int16 thrown_kind = new_kind(TAG("thrw"), [](monster_definition *definition) {
		definition->flags |= _monster_can_be_propelled_flag;
		definition->propelled_system_shock = 8192;
		definition->flinch_system_shock = 8192;
		definition->hard_death_system_shock = 65535;
		definition->damage_to_propulsion = 65535;
	});
	const int16 unit = place_unit(thrown_kind, ours, 20000, 30000);
	const int16 maximum = object_of(unit)->maximum_vitality;
	const int16 damage = static_cast<int16>(maximum / 2);
	const damage_definition explosion = blow(_damage_kinetic);
	const damage_definition explosion_blow = blow(_damage_explosion);
	damage_data data = from(NONE, damage, {10000, 30000, 0});
	data.velocity = 40;
	accelerate_monster(&explosion, &data, unit);
	const monster_data *monster = get_monster_data(unit);
	ASSERT_NE(monster, nullptr);
	ASSERT_EQ(monster->action, _monster_action_being_propelled);
	const long double k = 65535 * 0.75L / 65535.0L;
	const long double m = 6; // kinetic: min(velocity, 6)
	const int32 strength = static_cast<int32>(((static_cast<long double>(damage) * m) * k) * 256.0L);
	EXPECT_EQ(monster->propelled_timer, static_cast<int16>((static_cast<int64>(strength) * 10) / 65536));
	EXPECT_EQ(monster->propulsion_speed, static_cast<int16>((static_cast<int64>(strength) * 110) / 65536));
	// The origin is west of the unit: 2 × 20000 − 10000 capped by the mesh width in cells.
	EXPECT_EQ(monster->path_destination.x, mesh_globals->mesh_width);
	EXPECT_EQ(monster->path_destination.y, 30000) << "equal coordinates keep the unit's own";
	EXPECT_EQ(monster->propelled_yaw, arctangent(10000, 0)) << "away from the origin";

	// Thrown again, weaker: the first throw's numbers stay.
	const int16 timer = monster->propelled_timer;
	data = from(NONE, static_cast<int16>(maximum / 4), {30000, 30000, 0});
	data.velocity = 40;
	const int16 vitality_before = object_of(unit)->vitality;
	accelerate_monster(&explosion, &data, unit);
	monster = get_monster_data(unit);
	EXPECT_LT(object_of(unit)->vitality, vitality_before);
	EXPECT_EQ(monster->action, _monster_action_being_propelled);
	EXPECT_EQ(monster->propelled_timer, timer);
	EXPECT_EQ(monster->path_destination.x, mesh_globals->mesh_width);
	EXPECT_EQ(monster->propelled_yaw, arctangent(-10000, 0)) << "only the yaw follows the new origin";

	// Where double and long double part: an explosion of 170 at velocity 55
	// on a kind of propulsion 16705 throws for 1 tick at 12 (11 in double).
	const int16 light_kind = new_kind(TAG("lite"), [](monster_definition *definition) {
		definition->flags |= _monster_can_be_propelled_flag;
		definition->propelled_system_shock = 1;
		definition->flinch_system_shock = 1;
		definition->hard_death_system_shock = 65535;
		definition->damage_to_propulsion = 16705;
	});
	const int16 light = place_unit(light_kind, ours, 20000, 20000);
	object_of(light)->maximum_vitality = object_of(light)->vitality = 30000;
	data = from(NONE, 170, {10000, 20000, 0});
	data.velocity = 55;
	accelerate_monster(&explosion_blow, &data, light);
	ASSERT_EQ(get_monster_data(light)->action, _monster_action_being_propelled);
	EXPECT_EQ(get_monster_data(light)->propelled_timer, 1);
	EXPECT_EQ(get_monster_data(light)->propulsion_speed, 12);
}

TEST_F(monster_damage, a_killer_gains_experience_up_to_255_and_deaths_pick_their_kind)
{
	const int16 valued = new_kind(TAG("valu"), [](monster_definition *definition) {
		definition->experience_point_value = -40;
		definition->hard_death_system_shock = 40000;
	});
	const int16 killer = place_unit(kind, ours, 4000, 4000);
	get_monster_data(killer)->experience = 230;
	const int16 victim = place_unit(valued, theirs, 4300, 4000);
	const damage_definition kinetic = blow(_damage_kinetic);
	damage_data data = from(killer, 30000);
	accelerate_monster(&kinetic, &data, victim);
	EXPECT_EQ(get_monster_data(victim), nullptr);
	EXPECT_EQ(get_monster_data(killer)->experience, 255);
	const least_call_log *log = &get_game_statistics_test_hooks()->calls;
	ASSERT_EQ(least_call_count(log, "adjust_damage_statistics"), 1);
	EXPECT_EQ(least_call_argument(log, "adjust_damage_statistics", 0), ours);
	EXPECT_EQ(least_call_argument(log, "adjust_damage_statistics", 1), theirs);
	EXPECT_EQ(least_call_argument(log, "adjust_damage_statistics", 3), 1) << "died";
	EXPECT_EQ(least_call_argument(log, "adjust_damage_statistics", 7), 1) << "booked to the victim's owner";

	// A victim that dies confused or berserk still pays its killer.
	for (const uint32 state : {static_cast<uint32>(_monster_is_confused_extra_flag), static_cast<uint32>(_monster_is_berserk_extra_flag)})
	{
		get_monster_data(killer)->experience = 0;
		const int16 mad = place_unit(valued, theirs, 4300, 4200);
		get_monster_data(mad)->extra_flags |= state;
		data = from(killer, 30000);
		accelerate_monster(&kinetic, &data, mad);
		EXPECT_EQ(get_monster_data(mad), nullptr);
		EXPECT_EQ(get_monster_data(killer)->experience, 40) << state;
	}
}

TEST_F(monster_damage, statistics_book_uncontrolled_victims_to_no_player)
{
	const int16 attacker = place_unit(kind, ours, 4000, 4000);
	const int16 victim = place_unit(kind, theirs, 4300, 4000);
	const damage_definition kinetic = blow(_damage_kinetic);
	const struct
	{
		int16 version;
		int16 scoring;
		uint32 flags, extra_flags;
		int32 calls; // 0: not booked
		int64 aggressor, flag, uncontrolled, player;
	} cases[] = {
		{1720, 0, 0, 0, 1, ours, 0, 0, 1},
		{1720, 0, _monster_ignores_user_commands_flag, _monster_has_no_visibility_extra_flag, 1, NONE, 0, 1, NONE},
		{1720, 0, _monster_ignores_user_commands_flag, 0, 1, ours, 0, 0, 1},
		{1695, 0, _monster_ignores_user_commands_flag, 0, 0, 0, 0, 0, 0},
		{1695, 0, _monster_ignores_user_commands_flag, _monster_is_netgame_target_extra_flag, 1, ours, 1, 0, 1},
		{1720, 11, _monster_ignores_user_commands_flag, _monster_has_no_visibility_extra_flag | _monster_is_netgame_target_extra_flag, 1,
			ours, 1, 0, 1},
		{1300, 0, _monster_ignores_user_commands_flag, _monster_is_ambient_life_extra_flag, 0, 0, 0, 0, 0},
		{1720, 0, 0, _monster_is_ambient_life_extra_flag, 1, ours, 0, 1, 1},
	};
	for (const auto &c : cases)
	{
		reset_game_statistics_test_hooks();
		game_play_version = c.version;
		record.scoring = c.scoring;
		monster_data *monster = get_monster_data(victim);
		monster->flags = c.flags;
		monster->extra_flags = c.extra_flags;
		object_of(victim)->vitality = object_of(victim)->maximum_vitality;
		damage_data data = from(attacker, 1);
		accelerate_monster(&kinetic, &data, victim);
		const least_call_log *log = &get_game_statistics_test_hooks()->calls;
		ASSERT_EQ(least_call_count(log, "adjust_damage_statistics"), c.calls) << c.version << " " << c.flags << " " << c.extra_flags;
		if (!c.calls) continue;
		EXPECT_EQ(least_call_argument(log, "adjust_damage_statistics", 0), c.aggressor) << c.version;
		EXPECT_EQ(least_call_argument(log, "adjust_damage_statistics", 4), c.flag) << c.version;
		EXPECT_EQ(least_call_argument(log, "adjust_damage_statistics", 5), c.uncontrolled) << c.version;
		EXPECT_EQ(least_call_argument(log, "adjust_damage_statistics", 7), c.player) << c.version;
	}
}

} // namespace

namespace {

// Whether a unit shot at from afar backs off from its attacker: a missile
// unit beyond its activation distance does, unless it obeys a target order
// or the blow is explosive under the qel or anticlump options.
class monster_damage_retreat : public monster_damage
{
protected:
	bool retreats(int16 victim_kind, world_distance distance, uint16 flags, int16 type = _damage_kinetic,
		uint32 victim_flags = 0)
	{
		const int16 victim = place_unit(victim_kind, ours, 4000, 4000);
		const int16 attacker = place_unit(kind, theirs, 4000 + distance, 4000);
		get_monster_data(victim)->flags |= victim_flags;
		const damage_definition shot = blow(type, static_cast<uint16>(_damage_is_long_range_flag | flags));
		damage_data data = from(attacker, 4, {4000, 4000, 0});
		accelerate_monster(&shot, &data, victim);
		const monster_data *monster = get_monster_data(victim);
		EXPECT_EQ(monster->target_monster_index, attacker) << "the victim turns on its attacker";
		const bool result = (monster->flags & _monster_needs_to_retreat_flag) != 0;
		delete_monster(victim, TRUE);
		delete_monster(attacker, TRUE);
		return result;
	}
};

TEST_F(monster_damage_retreat, missile_units_back_off_from_far_attackers_only)
{
	const int16 archer = new_kind(TAG("arch"), [](monster_definition *definition) {
		definition->monster_class = _monster_class_missile;
		definition->activation_distance = 1024;
	});
	EXPECT_TRUE(retreats(archer, 2048, 0));
	EXPECT_FALSE(retreats(archer, 512, 0));
	EXPECT_FALSE(retreats(archer, 2048, 0, _damage_kinetic, _monster_responding_to_target_command_flag));
	record.option_flags |= _game_option_uses_qel_flag;
	EXPECT_FALSE(retreats(archer, 2048, 0, _damage_explosion));
	EXPECT_TRUE(retreats(archer, 2048, 0, _damage_kinetic));
}

// A missile unit shot from afar gives up a target it failed to attack, unless
// an order gave it: the switch to the shooter replaces it, and a unit the
// switch refuses keeps its target rather than standing idle.
TEST_F(monster_damage_retreat, a_failed_target_gives_way_to_the_shooter_unless_ordered)
{
	const int16 archer = new_kind(TAG("arch"), [](monster_definition *definition) {
		definition->monster_class = _monster_class_missile;
		definition->activation_distance = 4096;
	});
	for (const bool ordered : {false, true})
	{
		for (const bool friend_shoots : {false, true})
		{
			const int16 victim = place_unit(archer, ours, 4000, 4000);
			const int16 old_target = place_unit(kind, theirs, 4000, 4600);
			const int16 attacker = place_unit(kind, friend_shoots ? ours : theirs, 5000, 4000);
			monster_data *monster = get_monster_data(victim);
			monster->target_monster_index = old_target;
			monster->flags |= _monster_has_valid_target_flag | _monster_has_valid_target_index_flag |
				(ordered ? static_cast<uint32>(_monster_responding_to_target_command_flag) : 0u);
			monster->extra_flags |= _monster_failed_to_attack_extra_flag;
			const damage_definition shot = blow(_damage_kinetic, _damage_is_long_range_flag);
			damage_data data = from(attacker, 4, {4000, 4000, 0});
			accelerate_monster(&shot, &data, victim);
			monster = get_monster_data(victim);
			EXPECT_EQ(monster->target_monster_index, ordered || friend_shoots ? old_target : attacker) << ordered << friend_shoots;
			EXPECT_TRUE(monster->flags & _monster_has_valid_target_flag) << ordered << friend_shoots;
			for (const int16 unit : {victim, old_target, attacker}) delete_monster(unit, TRUE);
		}
	}
}

} // namespace

namespace {

// Confusion's timer comes from the mana spent, else from the blow, and a
// confused unit is not confused again.
TEST_F(monster_damage, confusion_times_from_mana_then_from_the_blow_and_does_not_restart)
{
	const damage_definition confusing = blow(_damage_kinetic, _damage_can_cause_confusion_flag);
	const int16 attacker = place_unit(kind, theirs, 4300, 4000);
	auto confuse = [&](int16 unit, int16 damage, int16 mana) {
		damage_data data = from(attacker, damage);
		data.mana_used = mana;
		accelerate_monster(&confusing, &data, unit);
		return get_monster_data(unit);
	};
	const int16 by_mana = place_unit(kind, ours, 4000, 4000);
	EXPECT_EQ(confuse(by_mana, 8, 512)->confusion_timer, 12);
	EXPECT_TRUE(get_monster_data(by_mana)->extra_flags & _monster_is_confused_extra_flag);
	EXPECT_TRUE(get_monster_data(by_mana)->extra_flags & _monster_does_not_autotarget_extra_flag);
	EXPECT_EQ(confuse(by_mana, 8, 2560)->confusion_timer, 12) << "already confused";

	const int16 by_blow = place_unit(kind, ours, 4000, 4200);
	EXPECT_EQ(confuse(by_blow, 128, 0)->confusion_timer, 15);
	game_play_version = 1300;
	const int16 old_rules = place_unit(kind, ours, 4000, 4400);
	EXPECT_EQ(confuse(old_rules, 128, 0)->confusion_timer, 0) << "under 1300 only mana counts";
}

} // namespace

namespace {

// Back to a floating kind: it floats on land and on media, as when created.
TEST_F(monster_damage, switching_back_to_a_floating_kind_floats_on_land_and_media)
{
	const int16 floater = new_kind(TAG("flot"), [](monster_definition *definition) { definition->flags |= _monster_floats_flag; });
	const int16 unit = place_unit(kind, ours, 4000, 4000);
	get_monster_data(unit)->orig_type = floater;
	switch_monster_artifact(unit);
	EXPECT_EQ(get_monster_data(unit)->type, floater);
	EXPECT_EQ(object_of(unit)->flags & (_object_floats_on_land_flag | _object_floats_on_media_flag),
		static_cast<uint32>(_object_floats_on_land_flag | _object_floats_on_media_flag));
}

} // namespace

namespace {

// A unit that dies in its own explosion leaves it without an owner: the
// write-back of the blow does not bring the dead unit back, and later
// victims name no aggressor.
TEST_F(monster_damage, an_owner_killed_by_its_own_explosion_stays_cleared)
{
	const int16 owner = place_unit(kind, ours, 4000, 4000);
	const int16 later = place_unit(kind, theirs, 4600, 4000);
	for (const int16 unit : {owner, later}) object_of(unit)->flags &= ~static_cast<uint32>(_object_is_invisible_flag);
	object_of(owner)->vitality = 1;
	object_of(later)->vitality = 30000;
	damage_definition definition = blow(_damage_kinetic, _damage_area_of_effect_flag);
	definition.damage_lower_bound = 100;
	definition.radius_lower_bound = 1000;
	definition.rate_of_expansion = 100;
	damage_data data = from(owner, 0, {4000, 4000, 0});
	cause_damage(NONE, &definition, &data);
	ASSERT_EQ(explosion_array.total_count, 1);
	for (int32 tick = 0; tick < 12 && explosion_array.total_count; ++tick)
	{
		update_explosions();
		for (int16 i = 0; i < explosion_array.count; ++i)
		{
			if (get_explosion_data(i) && !get_monster_data(owner))
			{
				EXPECT_EQ(get_explosion_data(i)->data.owner_monster_index, NONE);
			}
		}
	}
	EXPECT_EQ(get_monster_data(owner), nullptr) << "the owner died in its blast";
	ASSERT_NE(get_monster_data(later), nullptr);
	EXPECT_LT(object_of(later)->vitality, 30000) << "the later victim was hit";
	EXPECT_NE(get_monster_data(later)->aggressor_monster_index, owner);
	EXPECT_NE(get_monster_data(later)->target_monster_index, owner);
}

} // namespace
