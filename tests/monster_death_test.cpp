// Units leaving: killing and its drops, other units forgetting the dead one,
// new identifiers, owner changes and their guards, elimination.
#include <gtest/gtest.h>

#include <string>

#include "least_layer.h"
#include "projectile_group_definitions.h"
#include "support/zerv_harness.h"
#include "units_content.h"
#include "units_test_support.h"

namespace {

class monster_death : public units_test_map
{
protected:
	void SetUp() override
	{
		units_test_map::SetUp();
		kind = new_kind(TAG("kind"));
		ours = new_unit_type(TAG("u0  "), kind, 0, TAG("sold"));
		theirs = new_unit_type(TAG("u1  "), kind, 1, TAG("sold"));
	}
	// A sleeping arrow on the ground, as a carried object is.
	int16 dormant_arrow(world_distance x, world_distance y)
	{
		const int16 projectile = launch(DEFAULT_ARROW_PROJECTILE_TAG, x, y, 0);
		const int16 object = get_projectile_data(projectile)->object_index;
		sleep_projectile(projectile);
		return object;
	}
	int16 kind = NONE, ours = NONE, theirs = NONE;
};

TEST_F(monster_death, a_new_identifier_is_the_smallest_free_one_from_32768)
{
	int16 units[4];
	for (int16 i = 0; i < 4; ++i) units[i] = place_unit(kind, ours, 1000 + 500 * i, 1000);
	delete_monster(units[1], TRUE);
	auto carried = [](uint16 value) {
		for (int16 i = 0; i < MAXIMUM_MONSTERS_PER_MAP; ++i)
		{
			const monster_data *monster = get_monster_data(i);
			if (monster && static_cast<uint16>(monster->identifier) == value) return true;
		}
		return false;
	};
	const uint16 before = static_cast<uint16>(get_monster_data(units[3])->identifier);
	monster_change_identifier(units[3]);
	const uint16 after = static_cast<uint16>(get_monster_data(units[3])->identifier);
	EXPECT_NE(after, before) << "its own identifier counts as taken";
	for (uint16 value = 0x8000; value < after; ++value) EXPECT_TRUE(carried(value)) << value;
	int32 holders = 0;
	for (int16 i = 0; i < MAXIMUM_MONSTERS_PER_MAP; ++i) holders += get_monster_data(i) && static_cast<uint16>(get_monster_data(i)->identifier) == after;
	EXPECT_EQ(holders, 1);
}

TEST_F(monster_death, a_carried_object_also_held_is_thrown_once)
{
	const int16 unit = place_unit(kind, ours, 4000, 4000);
	const int16 object = dormant_arrow(4000, 4000);
	monster_data *monster = get_monster_data(unit);
	monster->carrying_object_index = object;
	monster->held_object_indexes[0] = object;
	monster->held_object_count = 1;
	const int32 projectiles_before = projectiles_in_use();
	damage_data data;
	initialize_damage_data(&data);
	data.epicenter = {4000, 4000, 0};
	kill_monster(unit, nullptr, &data, _monster_death_soft);
	EXPECT_EQ(get_monster_data(unit), nullptr);
	EXPECT_EQ(projectiles_in_use(), projectiles_before + 1) << "one projectile takes over the object";
	const object_data *thrown = get_object_data(object);
	ASSERT_NE(thrown, nullptr);
	EXPECT_EQ(thrown->owner, _object_is_projectile);
	EXPECT_EQ(get_projectile_data(thrown->owner_index)->object_index, object);
}

TEST_F(monster_death, a_death_without_damage_data_uses_the_units_own_place)
{
	const int16 group = projectile_group_definition_tag_to_index(TAG("boom"));
	ASSERT_NE(group, NONE);
	const int16 bleeding = new_kind(TAG("bled"), [group](monster_definition *definition) { definition->dying_projectile_group_type = group; });
	const int16 unit = place_unit(bleeding, ours, 4000, 4000);
	const int16 body = get_monster_data(unit)->object_index;
	const int32 before = projectiles_in_use();
	kill_monster(unit, nullptr, nullptr, _monster_death_soft);
	EXPECT_EQ(get_monster_data(unit), nullptr);
	EXPECT_EQ(get_object_data(body), nullptr);
	EXPECT_GT(projectiles_in_use(), before) << "the dying group still plays";
	EXPECT_EQ(get_monsters_test_hooks()->kill_monster_calls, 1);
}

TEST_F(monster_death, other_units_forget_the_dead_and_look_for_another_target)
{
	const int16 dead = place_unit(kind, theirs, 4000, 4000);
	const int16 hunter = place_unit(kind, ours, 5000, 4000);
	auto aim = [&](void) {
		monster_data *monster = get_monster_data(hunter);
		monster->target_monster_index = dead;
		monster->aggressor_monster_index = dead;
		monster->flags |= _monster_has_valid_target_flag | _monster_has_valid_target_index_flag;
		monster->extra_flags |= _monster_is_berserk_extra_flag;
		monster->action = _monster_action_moving;
	};
	aim();
	monster_died(dead, _monster_died_deleted);
	const monster_data *monster = get_monster_data(hunter);
	EXPECT_EQ(monster->target_monster_index, NONE);
	EXPECT_EQ(monster->aggressor_monster_index, NONE);
	EXPECT_FALSE(monster->flags & _monster_has_valid_target_flag);
	EXPECT_TRUE(monster->flags & _monster_attack_was_aborted_flag);
	EXPECT_EQ(monster->action, _monster_action_idle) << "no candidate: back to idle";
	EXPECT_FALSE(monster->extra_flags & _monster_is_berserk_extra_flag);

	// A unit off the mesh only drops its references.
	aim();
	get_monster_data(hunter)->flags |= _monster_has_left_the_mesh_flag;
	monster_died(dead, _monster_died_deleted);
	EXPECT_EQ(get_monster_data(hunter)->target_monster_index, NONE);
	EXPECT_EQ(get_monster_data(hunter)->action, _monster_action_moving);
}

// Who the hunter of a dead unit targets next, by rules version: a deferred
// target is taken from 1301 and becomes a fresh target order above 1710
// (which also skips the alliance test for a special ability); a refused switch
// only calms a berserk unit below 1718 and sends it idle from then on.
TEST_F(monster_death, retargeting_after_a_death_follows_the_rules_version)
{
	enum { none, other_enemy, friend_unit };
	struct row
	{
		int16 version;
		int16 deferred;
		boolean uses_special, no_autotarget;
		int16 target, deferred_after;
		int8 action, waypoints;
		boolean berserk, final_yaw, responding, will_use_special;
	};
	const int8 moving = _monster_action_moving, idle = _monster_action_idle;
	// A berserk unit has no allies: the friendly rows start calm.
	const row rows[] = {
		{1300, other_enemy, FALSE, FALSE, other_enemy, other_enemy, moving, 2, TRUE, TRUE, FALSE, FALSE},
		{1301, other_enemy, FALSE, FALSE, other_enemy, none, moving, 2, TRUE, TRUE, FALSE, FALSE},
		{1710, other_enemy, FALSE, FALSE, other_enemy, none, moving, 2, TRUE, TRUE, FALSE, FALSE},
		{1711, other_enemy, FALSE, FALSE, other_enemy, none, moving, 0, TRUE, TRUE, TRUE, FALSE},
		{1710, friend_unit, TRUE, FALSE, none, friend_unit, moving, 2, FALSE, TRUE, FALSE, FALSE},
		{1711, friend_unit, TRUE, FALSE, friend_unit, none, moving, 0, FALSE, TRUE, TRUE, TRUE},
		{1717, none, FALSE, TRUE, none, none, moving, 2, FALSE, TRUE, FALSE, FALSE},
		{1718, none, FALSE, TRUE, none, none, idle, 0, FALSE, FALSE, FALSE, FALSE},
	};
	for (const row &r : rows)
	{
		game_play_version = r.version;
		const int16 hunter = place_unit(kind, ours, 5000, 4000);
		const int16 dead = place_unit(kind, theirs, 4000, 4000);
		// The friend stands beyond every scan square: only the deferred target can name it.
		const int16 units[] = {NONE, place_unit(kind, theirs, 3000, 4000), place_unit(kind, ours, 5000, 15000)};
		monster_data *monster = get_monster_data(hunter);
		monster->target_monster_index = monster->aggressor_monster_index = dead;
		monster->deferred_target_index = units[r.deferred];
		monster->flags |= _monster_has_valid_target_flag | _monster_has_valid_target_index_flag |
			_monster_responding_to_command_flag | _monster_has_final_desired_yaw_flag;
		if (r.deferred != friend_unit) monster->extra_flags |= _monster_is_berserk_extra_flag;
		// Bodies without a shape are invisible, and scans pass invisible bodies by.
		for (int16 unit : units)
		{
			if (unit != NONE) object_of(unit)->flags &= ~static_cast<uint32>(_object_is_invisible_flag);
		}
		if (r.uses_special) monster->extra_flags |= _monster_deferred_uses_special_extra_flag;
		if (r.no_autotarget) monster->extra_flags |= _monster_does_not_autotarget_extra_flag;
		monster->action = _monster_action_moving;
		monster->waypoint_count = 2;

		monster_died(dead, _monster_died_deleted);
		const std::string at = "at " + std::to_string(r.version);
		monster = get_monster_data(hunter);
		EXPECT_EQ(monster->target_monster_index, units[r.target]) << at;
		EXPECT_EQ(monster->aggressor_monster_index, NONE) << at;
		EXPECT_EQ(monster->deferred_target_index, units[r.deferred_after]) << at;
		EXPECT_EQ(monster->action, r.action) << at;
		EXPECT_EQ(monster->waypoint_count, r.waypoints) << at;
		EXPECT_EQ((monster->extra_flags & _monster_is_berserk_extra_flag) != 0, r.berserk) << at;
		EXPECT_EQ((monster->flags & _monster_has_final_desired_yaw_flag) != 0, r.final_yaw) << at;
		EXPECT_EQ((monster->flags & _monster_responding_to_command_flag) != 0, r.responding) << at;
		EXPECT_EQ((monster->flags & _monster_will_use_special_ability_flag) != 0, r.will_use_special) << at;
		EXPECT_EQ((monster->flags & _monster_has_valid_target_index_flag) != 0, r.target != none) << at;
		if (r.uses_special)
		{
			EXPECT_EQ((monster->extra_flags & _monster_deferred_uses_special_extra_flag) != 0, r.version <= 1710) << at;
		}
		for (int16 i = 0; i < MAXIMUM_MONSTERS_PER_MAP; ++i)
		{
			if (get_monster_data(i)) delete_monster(i, TRUE);
		}
	}
}

TEST_F(monster_death, owner_changes_guard_the_player_index_and_move_statistics)
{
	const int16 unit = place_unit(kind, ours, 4000, 4000);
	const int16 identifier = get_monster_data(unit)->identifier;
	detach_monster(unit, 57, FALSE);
	change_monster_owner(unit, -3);
	change_monster_owner(unit, 16);
	EXPECT_EQ(get_monster_data(unit)->owner_player_index, 0);
	EXPECT_EQ(get_monster_data(unit)->identifier, identifier);
	EXPECT_EQ(find_player_unit_type_for_monster(99, unit), NONE);
	EXPECT_EQ(find_player_unit_type_for_monster(1, unit), theirs);
	EXPECT_EQ(find_player_unit_type_for_monster(0, unit), ours);

	change_monster_owner(unit, 1);
	const monster_data *monster = get_monster_data(unit);
	ASSERT_NE(monster, nullptr);
	EXPECT_EQ(monster->owner_player_index, 1);
	EXPECT_EQ(monster->owner_team_index, 1);
	EXPECT_EQ(monster->unit_type, theirs);
	EXPECT_LT(monster->identifier, 0) << "a new identifier from 0x8000";
	const least_call_log *log = &get_game_statistics_test_hooks()->calls;
	EXPECT_EQ(least_call_count(log, "adjust_unit_statistics"), 2);
	EXPECT_EQ(least_call_argument(log, "adjust_unit_statistics", 0), theirs);
	EXPECT_EQ(least_call_argument(log, "adjust_unit_statistics", 1), 1);

	// A player without the kind cannot take the unit.
	const int16 odd_kind = new_kind(TAG("oddk"));
	const int16 odd = place_unit(odd_kind, new_unit_type(TAG("u0 o"), odd_kind, 0, TAG("odd ")), 5000, 4000);
	ASSERT_EQ(find_player_unit_type_for_monster(1, odd), NONE);
	detach_monster(odd, 1, FALSE);
	EXPECT_NE(get_monster_data(odd)->unit_type, NONE);
	EXPECT_EQ(get_monster_data(odd)->owner_player_index, 0);
	EXPECT_EQ(least_call_count(log, "adjust_unit_statistics"), 2);
}

TEST_F(monster_death, an_eliminated_team_is_disintegrated)
{
	place_unit(kind, ours, 1000, 1000);
	place_unit(kind, theirs, 2000, 1000);
	place_unit(kind, theirs, 3000, 1000);
	eliminate_units_of_losing_team(1);
	EXPECT_EQ(monster_array.total_count, 1);
	EXPECT_EQ(get_monsters_test_hooks()->kill_monster_calls, 2);
}

} // namespace

namespace {

// The generated kinds' blood: dying, exploding and melee impact groups.
class monster_death_content : public zerv_harness_fixture
{
};

TEST_F(monster_death_content, the_kinds_name_and_resolve_their_blood_groups)
{
	new_game_data setup;
	harness_battle_setup(&setup, TAG("demo"));
	ASSERT_TRUE(harness_start_map(&setup));
	const int16 dying = projectile_group_definition_tag_to_index(DEFAULT_UNIT_DYING_GROUP_TAG);
	const int16 exploding = projectile_group_definition_tag_to_index(DEFAULT_UNIT_EXPLODING_GROUP_TAG);
	const int16 blood = projectile_group_definition_tag_to_index(DEFAULT_BLOOD_GROUP_TAG);
	ASSERT_NE(dying, NONE);
	ASSERT_NE(exploding, NONE);
	ASSERT_NE(blood, NONE);
	EXPECT_EQ(get_projectile_group_definition(dying)->parts[0].count_lower_bound, 3);
	EXPECT_EQ(get_projectile_group_definition(exploding)->parts[0].count_lower_bound, 6);
	EXPECT_EQ(get_projectile_group_definition(blood)->parts[0].count_lower_bound, 2);
	const projectile_definition *chunk =
		get_projectile_definition(get_projectile_group_definition(dying)->parts[0].projectile_type);
	ASSERT_NE(chunk, nullptr);
	EXPECT_EQ(chunk->projectile_class, _projectile_class_bloody_chunk);
	for (int16 kind = 0; kind < NUMBER_OF_DEFAULT_UNIT_KINDS; ++kind)
	{
		const monster_definition *definition = get_monster_definition(monster_definition_tag_to_index(default_unit_kind_tags[kind]));
		ASSERT_NE(definition, nullptr);
		EXPECT_EQ(definition->dying_projectile_group_type, dying) << kind;
		EXPECT_EQ(definition->exploding_projectile_group_type, exploding) << kind;
		EXPECT_EQ(definition->melee_impact_projectile_group_type, (kind == 0 || kind == 3) ? blood : static_cast<int16>(NONE)) << kind;
	}
	harness_end_map();
}

} // namespace
