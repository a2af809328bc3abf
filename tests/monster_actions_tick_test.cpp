// What a unit does next, the per-tick steps and the action handlers, on the
// demo armies.
#include <gtest/gtest.h>

#include "demo_armies_fixture.h"

#include "game_statistics.h"
#include "local_projectiles.h"
#include "markers.h"
#include "mesh.h"
#include "monsters.h"
#include "objects.h"
#include "shapes.h"
#include "support/zerv_harness.h"
#include "units_content.h"
#include "world.h"
#include "zerv.h"

namespace {

class monster_ticks_on_a_map : public demo_armies_fixture
{
protected:
	void SetUp() override
	{
		demo_armies_fixture::SetUp();
		saved_time_state = game->time_state;
		saved_scoring = game->scoring;
	}
	void TearDown() override
	{
		game->time_state = saved_time_state;
		game->scoring = saved_scoring;
		game->winning_team_index = NONE;
		demo_armies_fixture::TearDown();
	}
	static int16 unit_of(file_tag kind, int16 team = 0)
	{
		for (int16 i = 0; i < monster_array.count; ++i)
		{
			const monster_data *monster = get_monster_data(i);
			if (monster && monster->owner_team_index == team &&
				get_unit_definition(monster->unit_type)->parent_unit_tag == kind)
			{
				return i;
			}
		}
		return NONE;
	}
	static object_data *object_of(int16 monster_index)
	{
		return get_object_data(get_monster_data(monster_index)->object_index);
	}
	static monster_definition *definition_of(int16 monster_index)
	{
		return get_monster_definition(get_monster_data(monster_index)->type);
	}
	// The object's next animation step ends its sequence.
	static void at_last_frame(int16 monster_index)
	{
		object_data *object = object_of(monster_index);
		const sequence_data *sequence = get_sequence(object->shape_collection_index, object->shape_sequence_index);
		ASSERT_NE(sequence, nullptr);
		object->shape_frame_index = static_cast<int8>(sequence->frames_per_view - 1);
		object->shape_ticks_per_frame = 1;
		object->shape_phase = 0;
	}
	static void tick(void)
	{
		update_monsters();
		game->game_time += 1;
	}
	int16 saved_time_state = 0, saved_scoring = 0;
};

TEST_F(monster_ticks_on_a_map, deciding_what_comes_next)
{
	const int16 index = unit_of(DEFAULT_SWORDSMAN_TAG);
	const int16 enemy = unit_of(DEFAULT_SWORDSMAN_TAG, 1);
	const int16 friend_ = unit_of(DEFAULT_ARCHER_TAG);
	monster_data *monster = get_monster_data(index);
	monster_definition *definition = definition_of(index);

	// The winners celebrate once; ambient life never does.
	game->winning_team_index = 0;
	set_most_appropriate_monster_action(index);
	EXPECT_EQ(monster->action, _monster_action_celebrating);
	EXPECT_TRUE(monster->flags & _monster_has_celebrated_flag);
	set_most_appropriate_monster_action(index);
	EXPECT_EQ(monster->action, _monster_action_idle);
	monster->flags &= ~static_cast<uint32>(_monster_has_celebrated_flag);
	monster->extra_flags |= _monster_is_ambient_life_extra_flag;
	set_most_appropriate_monster_action(index);
	EXPECT_EQ(monster->action, _monster_action_idle);
	monster->extra_flags &= ~static_cast<uint32>(_monster_is_ambient_life_extra_flag);
	game->winning_team_index = NONE;

	// Going for an object beats fighting.
	monster->flags |= _monster_wants_to_pick_up_object_flag | _monster_has_valid_target_flag;
	set_most_appropriate_monster_action(index);
	EXPECT_EQ(monster->action, _monster_action_moving);
	monster->flags &= ~static_cast<uint32>(_monster_wants_to_pick_up_object_flag);

	// A target: hold for it, unless retreating.
	set_monster_action(index, _monster_action_idle, 0);
	monster->flags |= _monster_has_valid_target_flag;
	set_most_appropriate_monster_action(index);
	EXPECT_EQ(monster->action, _monster_action_holding_for_attack);
	monster->flags |= _monster_is_retreating_flag | _monster_has_obstructed_path_flag;
	set_most_appropriate_monster_action(index);
	EXPECT_EQ(monster->action, _monster_action_moving);
	EXPECT_TRUE(monster->flags & _monster_needs_new_path_flag);
	EXPECT_FALSE(monster->flags & _monster_has_obstructed_path_flag);
	monster->flags &= ~static_cast<uint32>(_monster_is_retreating_flag);

	// Chasing during recovery: hold only for a target that hurt it in melee or a friend.
	definition->hack_flags = static_cast<int16>(static_cast<uint16>(definition->hack_flags) |
		_hack_chases_enemy_during_recovery_flag);
	const struct
	{
		int16 target;
		uint32 flags;
		int16 action;
	} chases[] = {
		{NONE, 0, _monster_action_moving},
		{enemy, 0, _monster_action_moving},
		{enemy, _monster_target_has_caused_melee_damage_flag, _monster_action_holding_for_attack},
		{friend_, 0, _monster_action_holding_for_attack},
	};
	for (const auto &chase : chases)
	{
		set_monster_action(index, _monster_action_idle, 0);
		monster->flags |= _monster_has_valid_target_flag | chase.flags;
		monster->flags &= ~static_cast<uint32>(_monster_needs_new_path_flag);
		monster->target_monster_index = chase.target;
		set_most_appropriate_monster_action(index);
		EXPECT_EQ(monster->action, chase.action) << chase.target << " " << chase.flags;
		EXPECT_EQ((monster->flags & _monster_needs_new_path_flag) != 0, chase.action == _monster_action_moving);
	}
	definition->hack_flags = static_cast<int16>(static_cast<uint16>(definition->hack_flags) &
		~static_cast<uint16>(_hack_chases_enemy_during_recovery_flag));

	// Waypoints left: move on; a turning runner keeps running.
	set_monster_action(index, _monster_action_idle, 0);
	monster->flags &= ~static_cast<uint32>(_monster_has_valid_target_flag | _monster_target_has_caused_melee_damage_flag);
	set_monster_action(index, _monster_action_turning, 0);
	monster->waypoint_count = 3;
	monster->waypoint_index = 1;
	monster->extra_flags |= _monster_wants_to_run_extra_flag;
	set_most_appropriate_monster_action(index);
	EXPECT_EQ(monster->action, _monster_action_moving);
	EXPECT_EQ(monster->action_permutation, _monster_action_permutation_running);
	monster->extra_flags &= ~static_cast<uint32>(_monster_wants_to_run_extra_flag);
	monster->waypoint_index = 3;

	// None left: the idle scan; a missing target means idle.
	set_monster_action(index, _monster_action_holding_for_attack, 0);
	set_most_appropriate_monster_action(index);
	EXPECT_EQ(monster->action, _monster_action_idle);
}

TEST_F(monster_ticks_on_a_map, the_tick_steps_and_their_older_rules)
{
	const int16 index = unit_of(DEFAULT_ARCHER_TAG);
	monster_data *monster = get_monster_data(index);
	monster_definition *definition = definition_of(index);

	// The entrance waits for the game to leave its pregame; 1300 has none.
	monster->extra_flags |= _monster_should_spawn_entrance_proj_group_extra_flag;
	game->time_state = _game_time_pregame;
	tick();
	EXPECT_TRUE(monster->extra_flags & _monster_should_spawn_entrance_proj_group_extra_flag);
	game->time_state = saved_time_state == _game_time_pregame ? _game_time_pregame + 1 : saved_time_state;
	update_monsters_13();
	EXPECT_TRUE(monster->extra_flags & _monster_should_spawn_entrance_proj_group_extra_flag);
	tick();
	EXPECT_FALSE(monster->extra_flags & _monster_should_spawn_entrance_proj_group_extra_flag);

	// Mana: recharge to the maximum, drain to 0, and immobile units keep theirs.
	definition->maximum_mana = 100;
	const struct
	{
		int16 rate, mana;
		uint32 extra;
		int16 now, now_13;
	} manas[] = {
		{5, 50, 0, 55, 55},
		{5, 98, 0, 100, 100},
		{-5, 50, 0, 45, 45},
		{-5, 3, 0, 0, NONE}, // 1300 has no drain rule of its own
		{-5, 100, 0, 95, 100},
		{5, 50, _monster_immobile_extra_flag, 50, 55},
	};
	for (const auto &mana : manas)
	{
		for (int32 rules = 0; rules < 2; ++rules)
		{
			definition->mana_recharge_rate = mana.rate;
			monster->mana = mana.mana;
			monster->extra_flags = (monster->extra_flags & ~static_cast<uint32>(_monster_immobile_extra_flag)) | mana.extra;
			if (rules) update_monsters_13();
			else update_monsters();
			const int16 expected = rules ? mana.now_13 : mana.now;
			if (expected == NONE) continue;
			EXPECT_EQ(monster->mana, expected) << mana.rate << " " << mana.mana << " rules " << rules;
		}
	}
	monster->extra_flags &= ~static_cast<uint32>(_monster_immobile_extra_flag);
	definition->maximum_mana = 0;

	// A lost target: later rules also drop has-valid-target; 1300 keeps it, and
	// its artifact timer stands still.
	monster->target_monster_index = NONE;
	monster->flags |= _monster_has_valid_target_flag | _monster_has_valid_target_index_flag;
	monster->artifact_timer = 10;
	update_monsters_13();
	EXPECT_TRUE(monster->flags & _monster_has_valid_target_flag);
	EXPECT_FALSE(monster->flags & _monster_has_valid_target_index_flag);
	EXPECT_EQ(monster->artifact_timer, 10);
	monster->flags |= _monster_has_valid_target_flag | _monster_has_valid_target_index_flag;
	update_monsters();
	EXPECT_FALSE(monster->flags & (_monster_has_valid_target_flag | _monster_has_valid_target_index_flag));
	monster->artifact_timer = 0;

	// The scan re-aims a mover at its destination; later rules keep a final
	// yaw it was given. The
	// mover must not take an enemy in the same scan: that would aim it there.
	set_monster_action(index, _monster_action_moving, 0);
	monster->flags |= _monster_has_final_desired_yaw_flag;
	monster->extra_flags |= _monster_does_not_autotarget_extra_flag;
	game->game_time = index; // its turn in the scan
	monster->desired_yaw = 1234;
	update_monsters();
	EXPECT_EQ(monster->target_monster_index, NONE);
	EXPECT_EQ(monster->desired_yaw, 1234);
	// Standing at its destination, the mover asked for a new path, which would
	// turn it to its final yaw before this scan's aim could be seen.
	monster->flags &= ~static_cast<uint32>(_monster_needs_new_path_flag);
	update_monsters_13();
	EXPECT_EQ(monster->target_monster_index, NONE);
	EXPECT_NE(monster->desired_yaw, 1234) << "the older scan re-aims the mover";
	monster->extra_flags &= ~static_cast<uint32>(_monster_does_not_autotarget_extra_flag);
	set_monster_action(index, _monster_action_idle, 0);

	// Confusion ends: below 1511 the unit obeys again, below 1501 even a held
	// unit re-decides; its effect always ends.
	const struct
	{
		int16 version;
		bool obeys, redecides;
	} endings[] = {{1500, true, true}, {1501, true, false}, {1511, false, false}};
	for (const auto &ending : endings)
	{
		game_play_version = ending.version;
		set_monster_action(index, _monster_action_being_held, 0);
		monster->extra_flags |= _monster_is_confused_extra_flag | _monster_does_not_autotarget_extra_flag;
		monster->flags |= _monster_ignores_user_commands_flag;
		monster->confusion_timer = 2;
		new_local_projectile_group_data request = {};
		request.type = 0;
		request.center = object_of(index)->location.position;
		request.central_object_index = request.bounds_object_index = NONE;
		request.group_opacity = 65535;
		const int16 swirl = new_local_projectile_group(&request);
		ASSERT_NE(swirl, NONE);
		ASSERT_NE(get_local_projectile_group_data(swirl)->state, _state_ending);
		monster->local_projectile_group_index = swirl;
		update_monsters();
		EXPECT_TRUE(monster->extra_flags & _monster_is_confused_extra_flag) << ending.version;
		update_monsters();
		EXPECT_FALSE(monster->extra_flags & (_monster_is_confused_extra_flag | _monster_does_not_autotarget_extra_flag));
		EXPECT_EQ((monster->flags & _monster_ignores_user_commands_flag) == 0, ending.obeys) << ending.version;
		EXPECT_EQ(monster->action != _monster_action_being_held, ending.redecides) << ending.version;
		EXPECT_EQ(monster->local_projectile_group_index, NONE);
		EXPECT_EQ(get_local_projectile_group_data(swirl)->state, _state_ending) << "the group is ending";
		delete_local_projectile_group(swirl);
	}
	// 1300 always obeys and re-decides.
	set_monster_action(index, _monster_action_being_held, 0);
	monster->extra_flags |= _monster_is_confused_extra_flag;
	monster->flags |= _monster_ignores_user_commands_flag;
	monster->confusion_timer = 1;
	update_monsters_13();
	EXPECT_FALSE(monster->flags & _monster_ignores_user_commands_flag);
	EXPECT_NE(monster->action, _monster_action_being_held);
}

TEST_F(monster_ticks_on_a_map, countdowns_of_celebrating_taunting_and_blocking)
{
	const int16 index = unit_of(DEFAULT_SWORDSMAN_TAG);
	monster_data *monster = get_monster_data(index);
	object_data *object = object_of(index);

	// Each celebration restarts the sequence at its loop frame.
	set_monster_action(index, _monster_action_celebrating, 2);
	sequence_data *sequence = get_sequence(object->shape_collection_index, object->shape_sequence_index);
	ASSERT_NE(sequence, nullptr);
	ASSERT_GT(sequence->frames_per_view, 1);
	const int16 loop_frame = sequence->loop_frame;
	sequence->loop_frame = 1;
	at_last_frame(index);
	tick();
	EXPECT_EQ(monster->action, _monster_action_celebrating);
	EXPECT_EQ(monster->action_permutation, 1);
	EXPECT_EQ(object->shape_frame_index, 1);
	EXPECT_EQ(object->shape_phase, 0) << "restarted, although the sequence is unchanged";
	EXPECT_GE(object->shape_ticks_per_frame, MAX(1, sequence->ticks_per_frame * CELEBRATION_ANIMATION_RATE_LOWER_BOUND >> 8));
	at_last_frame(index);
	tick();
	sequence->loop_frame = loop_frame;
	EXPECT_NE(monster->action, _monster_action_celebrating);

	// Taunts end after their count of last frames.
	set_monster_action(index, _monster_action_taunting, 2);
	object->shape_frame_index = 0;
	object->shape_phase = 0;
	object->shape_ticks_per_frame = 100;
	tick();
	EXPECT_EQ(monster->action, _monster_action_taunting) << "no last frame yet";
	at_last_frame(index);
	tick();
	EXPECT_EQ(monster->action_permutation, 1);
	at_last_frame(index);
	tick();
	EXPECT_NE(monster->action, _monster_action_taunting);

	// Blocks count ticks, and end below 0.
	set_monster_action(index, _monster_action_blocking, 1);
	tick();
	EXPECT_EQ(monster->action, _monster_action_blocking);
	tick();
	EXPECT_NE(monster->action, _monster_action_blocking);
}

TEST_F(monster_ticks_on_a_map, held_healed_to_death_and_propelled_units)
{
	const int16 index = unit_of(DEFAULT_SCOUT_TAG);
	monster_data *monster = get_monster_data(index);
	// The armies' first scan gave the scout a target; these rules are about a
	// unit without one, which takes none from its neighbours either.
	monster->target_monster_index = NONE;
	monster->flags &= ~static_cast<uint32>(_monster_has_valid_target_flag | _monster_has_valid_target_index_flag |
		_monster_has_valid_target_location_flag);
	monster->extra_flags |= _monster_does_not_autotarget_extra_flag;

	// A hold ends in the colour's state above 1510, in a decision before.
	const struct
	{
		int16 version, colour, action, permutation;
	} holds[] = {
		{1511, 1, _monster_action_stoned, _monster_action_permutation_stoned},
		{1511, 2, _monster_action_paralyzed, _monster_action_permutation_paralyzed},
		{1510, 1, _monster_action_idle, _monster_idle_primary},
	};
	for (const auto &hold : holds)
	{
		game_play_version = hold.version;
		set_monster_action(index, _monster_action_being_held, 0);
		EXPECT_EQ(monster->attack_timer, HOLD_TIME);
		object_of(index)->color_table_permutation = hold.colour;
		monster_being_held(index);
		EXPECT_EQ(monster->action, _monster_action_being_held) << "the hold lasts its time";
		monster->attack_timer = NONE;
		monster_being_held(index);
		EXPECT_EQ(monster->action, hold.action) << hold.version << " " << hold.colour;
		EXPECT_EQ(monster->action_permutation, hold.permutation) << hold.version << " " << hold.colour;
		object_of(index)->color_table_permutation = 0;
	}
	game_play_version = saved_version;

	// Propulsion: the velocity follows the yaw to the nearest table entry and
	// slows by 1 a tick; a strike ends it in taking damage.
	set_monster_action(index, _monster_action_being_propelled, 0);
	monster->propelled_yaw = static_cast<angle>(0xFFF0);
	monster->propulsion_speed = 1000;
	monster->propelled_timer = 3;
	monster_being_propelled(index);
	EXPECT_EQ(object_of(index)->location.velocity.i, 1000);
	EXPECT_EQ(object_of(index)->location.velocity.j, 0);
	EXPECT_EQ(monster->propulsion_speed, 999);
	EXPECT_EQ(monster->propelled_timer, 2);
	EXPECT_EQ(monster->action, _monster_action_being_propelled);
	// Thrown hard enough westwards, it strikes the mesh edge.
	monster->flags |= _monster_wants_to_pick_up_object_flag;
	monster->propelled_yaw = HALF_CIRCLE;
	monster->propulsion_speed = static_cast<int16>(object_of(index)->location.position.x);
	monster_being_propelled(index);
	EXPECT_EQ(monster->action, _monster_action_taking_damage);
	EXPECT_EQ(monster->propulsion_speed, 0);
	EXPECT_TRUE(monster->flags & _monster_needs_new_path_flag);
	// The timer runs out: re-decide with no speed left.
	set_monster_action(index, _monster_action_being_propelled, 0);
	monster->propulsion_speed = 5;
	monster->propelled_timer = 0;
	monster->flags &= ~static_cast<uint32>(_monster_needs_new_path_flag);
	monster_being_propelled(index);
	EXPECT_EQ(monster->action, _monster_action_moving) << "it still wants the object";
	EXPECT_EQ(monster->propulsion_speed, 0);
	EXPECT_TRUE(monster->flags & _monster_needs_new_path_flag);
	monster->flags &= ~static_cast<uint32>(_monster_wants_to_pick_up_object_flag);
	monster->extra_flags &= ~static_cast<uint32>(_monster_does_not_autotarget_extra_flag);

	// A harmful heal that kills books the kill and rewards an enemy healer.
	const int16 victim = unit_of(DEFAULT_ARCHER_TAG);
	const int16 healer = unit_of(DEFAULT_ARCHER_TAG, 1);
	monster_definition *definition = definition_of(victim);
	definition->healing_fraction = 0;
	definition->experience_point_value = -7;
	get_monster_data(healer)->experience = 250;
	const struct
	{
		int16 version;
		int16 healer;
		bool netgame;
		int32 experience;
	} kills[] = {{1511, healer, true, 255}, {1510, healer, false, 255}, {1511, NONE, true, 0}};
	for (const auto &kill : kills)
	{
		game_play_version = kill.version;
		int16 unit = victim;
		if (!get_monster_data(victim))
		{
			unit = unit_of(DEFAULT_ARCHER_TAG);
		}
		ASSERT_NE(unit, NONE);
		monster_data *target = get_monster_data(unit);
		target->extra_flags |= _monster_is_hunted_creature_extra_flag;
		if (kill.healer != NONE) get_monster_data(kill.healer)->experience = 250;
		target->aggressor_monster_index = kill.healer;
		set_monster_action(unit, _monster_action_being_healed, 0);
		object_of(unit)->vitality = -1;
		target->attack_timer = NONE;
		least_call_log *calls = &get_game_statistics_test_hooks()->calls;
		clear_least_call_log(calls);
		monster_being_healed(unit);
		EXPECT_EQ(get_monster_data(unit), nullptr) << kill.version;
		EXPECT_EQ(least_call_count(calls, "adjust_damage_statistics"), 1);
		EXPECT_EQ(least_call_argument(calls, "adjust_damage_statistics", 2), 0) << "no damage";
		EXPECT_EQ(least_call_argument(calls, "adjust_damage_statistics", 3), 1) << "died";
		EXPECT_EQ(least_call_argument(calls, "adjust_damage_statistics", 4), kill.netgame ? 1 : 0) << kill.version;
		if (kill.healer != NONE)
		{
			EXPECT_EQ(get_monster_data(healer)->experience, kill.experience);
		}
	}
	// A healer of the victim's own team gains nothing.
	const int16 last = unit_of(DEFAULT_ARCHER_TAG);
	const int16 friend_ = unit_of(DEFAULT_SWORDSMAN_TAG);
	ASSERT_NE(last, NONE);
	get_monster_data(friend_)->experience = 3;
	get_monster_data(last)->aggressor_monster_index = friend_;
	set_monster_action(last, _monster_action_being_healed, 0);
	object_of(last)->vitality = -1;
	get_monster_data(last)->attack_timer = NONE;
	monster_being_healed(last);
	EXPECT_EQ(get_monster_data(last), nullptr);
	EXPECT_EQ(get_monster_data(friend_)->experience, 3);
}

} // namespace
