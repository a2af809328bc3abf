// The order primitives under the play versions where their rules change, and
// the spread pairing of attackers that only squared distances past 2^31
// bring about.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CoreLibrary/zerv/commands.h"
#include "monster_commands.h"
#include "units_test_support.h"

namespace {

// Every version at which one of the three primitives changes, with its
// neighbour below.
constexpr int16 versions[] = {1300, 1301, 1500, 1501, 1600, 1601, 1690, 1691, 1710, 1711};

class monster_commands_versions : public units_test_map
{
protected:
	void SetUp() override
	{
		units_test_map::SetUp();
		melee = new_kind(TAG("mele"), [](monster_definition *d) { d->attacks[0].extra_flags = 0; });
		interruptible = new_kind(TAG("intr"), [](monster_definition *d) {
			d->attacks[0].extra_flags = _monster_attack_player_can_interrupt_flag;
		});
		missile = new_kind(TAG("miss"), [](monster_definition *d) {
			d->monster_class = _monster_class_missile;
			d->hack_flags = static_cast<int16>(_hack_mixes_missile_melee_behaviour_flag);
		});
		ours = new_unit_type(TAG("u0  "), melee, 0, TAG("sold"));
		theirs = new_unit_type(TAG("u1  "), melee, 1, TAG("sold"));
		enemy = place_unit(melee, theirs, 30000, 30000);
	}

	// One of our units of a kind at (x, y).
	int16 ours_at(int16 kind, world_distance x, world_distance y)
	{
		const int16 index = place_unit(kind, ours, x, y);
		EXPECT_NE(index, NONE);
		return index;
	}
	static monster_data *m(int16 index) { return get_monster_data(index); }
	static bool has(int16 index, uint32 flag) { return (m(index)->flags & flag) != 0; }
	static bool has_extra(int16 index, uint32 flag) { return (m(index)->extra_flags & flag) != 0; }

	int16 melee = NONE, interruptible = NONE, missile = NONE, ours = NONE, theirs = NONE, enemy = NONE;
};

TEST_F(monster_commands_versions, stop_forgets_a_deferred_order_from_1301_and_only_melee_units_stand_ground)
{
	for (int16 version : versions)
	{
		game_play_version = version;
		const int16 unit = ours_at(melee, 4000, 4000);
		m(unit)->extra_flags |= _monster_has_deferred_movement_command_extra_flag;
		m(unit)->deferred_target_index = enemy;
		stop_monsters(1, &unit, TRUE, TRUE, FALSE);
		EXPECT_EQ(m(unit)->deferred_target_index == NONE, version >= 1301) << version;
		EXPECT_EQ(!has_extra(unit, _monster_has_deferred_movement_command_extra_flag), version >= 1301) << version;
		const uint32 stopped = _monster_needs_to_stop_flag | _monster_was_stopped_flag | _monster_standing_ground_flag;
		EXPECT_EQ(m(unit)->flags & stopped, stopped) << version;
	}
	const int16 archer = ours_at(missile, 5000, 4000);
	stop_monsters(1, &archer, FALSE, TRUE, TRUE);
	EXPECT_FALSE(has(archer, _monster_standing_ground_flag));
	EXPECT_FALSE(has(archer, _monster_was_stopped_flag));
	EXPECT_TRUE(has(archer, _monster_will_use_special_ability_flag));

	// An attack the player may cut short is cut short; another goes on.
	const int16 swinging = ours_at(interruptible, 6000, 4000);
	const int16 committed = ours_at(melee, 7000, 4000);
	const int16 both[] = {swinging, committed};
	for (int16 unit : both)
	{
		m(unit)->action = _monster_action_attacking;
		m(unit)->action_permutation = 0;
	}
	stop_monsters(2, both, TRUE, FALSE, FALSE);
	EXPECT_EQ(m(swinging)->action, _monster_action_holding_for_attack);
	EXPECT_EQ(m(committed)->action, _monster_action_attacking);
}

TEST_F(monster_commands_versions, target_index_orders_follow_the_version_table)
{
	for (int16 version : versions)
	{
		game_play_version = version;
		const std::string at = std::to_string(version);

		// Up to 1300 a unit guarded against chain lightning ignores the order;
		// from 1301 it obeys and its waypoints are dropped.
		const int16 guarded = ours_at(melee, 4000, 4000);
		m(guarded)->extra_flags |= _monster_chain_lightning_prevention_extra_flag;
		m(guarded)->waypoint_count = 2;
		m(guarded)->waypoint_index = 1;
		set_monster_target_index(guarded, 0, enemy);
		EXPECT_EQ(m(guarded)->target_monster_index == enemy, version >= 1301) << at;
		EXPECT_EQ(m(guarded)->waypoint_index == 0, version >= 1301) << at;

		// A unit in an attack it may not cut short defers the order from 1301.
		// With a deferred move pending it still counts as having a target from
		// 1501, and above 1690 only when it had a target index or location.
		for (bool had_location : {false, true})
		{
			const int16 busy = ours_at(melee, 5000, 4000);
			m(busy)->action = _monster_action_aiming_attack;
			m(busy)->action_permutation = 0;
			m(busy)->extra_flags |= _monster_has_deferred_movement_command_extra_flag;
			if (had_location) m(busy)->flags |= _monster_has_valid_target_location_flag;
			set_monster_target_index(busy, _command_target_special_ability_flag, enemy);
			if (version == 1300)
			{
				EXPECT_EQ(m(busy)->target_monster_index, enemy) << at;
				EXPECT_EQ(m(busy)->deferred_target_index, NONE) << at;
				continue;
			}
			EXPECT_EQ(m(busy)->target_monster_index, NONE) << at;
			EXPECT_EQ(m(busy)->deferred_target_index, enemy) << at;
			EXPECT_TRUE(has_extra(busy, _monster_deferred_uses_special_extra_flag)) << at;
			EXPECT_FALSE(has_extra(busy, _monster_has_deferred_movement_command_extra_flag)) << at;
			const bool counts = version >= 1501 && (version <= 1690 || had_location);
			EXPECT_EQ(has(busy, _monster_has_valid_target_flag), counts) << at << " location " << had_location;
		}

		// An attack that may be cut short is, from 1301; the order is taken.
		const int16 swinging = ours_at(interruptible, 6000, 4000);
		m(swinging)->action = _monster_action_aiming_attack;
		m(swinging)->action_permutation = 0;
		set_monster_target_index(swinging, 0, enemy);
		EXPECT_EQ(m(swinging)->target_monster_index, enemy) << at;
		EXPECT_EQ(m(swinging)->action == _monster_action_holding_for_attack, version >= 1301) << at;

		// Clearing the target: above 1690 the unit no longer has one at all.
		const int16 fighting = ours_at(melee, 7000, 4000);
		m(fighting)->flags |= _monster_has_valid_target_flag | _monster_has_valid_target_index_flag;
		m(fighting)->target_monster_index = enemy;
		set_monster_target_index(fighting, 0, NONE);
		EXPECT_EQ(m(fighting)->target_monster_index, NONE) << at;
		EXPECT_FALSE(has(fighting, _monster_has_valid_target_index_flag)) << at;
		EXPECT_EQ(has(fighting, _monster_has_valid_target_flag), version <= 1690) << at;

		// The same target again with the close flag re-plans from 1711; the
		// flag itself takes effect on every version.
		const int16 closing = ours_at(melee, 8000, 4000);
		m(closing)->flags |= _monster_has_valid_target_flag | _monster_has_valid_target_index_flag;
		m(closing)->target_monster_index = enemy;
		set_monster_target_index(closing, _command_target_close_flag, enemy);
		EXPECT_TRUE(has(closing, _monster_should_close_on_target_flag)) << at;
		EXPECT_EQ(has(closing, _monster_needs_new_path_flag), version >= 1711) << at;
		EXPECT_EQ(has(closing, _monster_attack_was_aborted_flag), version >= 1711) << at;
	}
}

// Responding to enemies is a bit of more_hack_flags: such a kind re-plans on
// every target order, and answers to the player only for special orders.
// The same bit of hack_flags (mana not shown) means nothing here.
TEST_F(monster_commands_versions, kinds_responding_to_enemies_are_read_from_more_hack_flags)
{
	const int16 responder_kind = new_kind(TAG("resp"), [](monster_definition *d) {
		d->more_hack_flags = static_cast<int8>(_hack_responds_to_enemies_flag);
	});
	const int16 quiet_kind = new_kind(TAG("quie"), [](monster_definition *d) {
		d->hack_flags = static_cast<int16>(_hack_mana_isnt_shown_flag);
	});
	ASSERT_EQ(static_cast<uint16>(_hack_mana_isnt_shown_flag), static_cast<uint16>(_hack_responds_to_enemies_flag));

	const int16 responder = ours_at(responder_kind, 4000, 4000);
	set_monster_target_index(responder, 0, enemy);
	EXPECT_FALSE(has(responder, _monster_responding_to_command_flag));
	EXPECT_TRUE(has(responder, _monster_needs_new_path_flag));
	const int16 told = ours_at(responder_kind, 5000, 4000);
	set_monster_target_index(told, _command_target_use_command_flag, enemy);
	EXPECT_TRUE(has(told, _monster_responding_to_command_flag));

	const int16 quiet = ours_at(quiet_kind, 6000, 4000);
	set_monster_target_index(quiet, 0, enemy);
	EXPECT_TRUE(has(quiet, _monster_responding_to_command_flag));
}

TEST_F(monster_commands_versions, attack_location_orders_follow_the_version_table)
{
	const world_point3d point = {9000, 9000, 40};
	for (int16 version : versions)
	{
		game_play_version = version;
		const std::string at = std::to_string(version);

		// Guarded against chain lightning: ignored up to 1300 only.
		const int16 guarded = ours_at(melee, 4000, 4000);
		m(guarded)->extra_flags |= _monster_chain_lightning_prevention_extra_flag;
		set_monster_target_location(guarded, &point, 0);
		EXPECT_EQ(has(guarded, _monster_has_valid_target_location_flag), version >= 1301) << at;

		// An aiming unit: obeys up to 1300; from 1301 it ignores the order but
		// still loses its waypoints.
		const int16 busy = ours_at(melee, 5000, 4000);
		m(busy)->action = _monster_action_aiming_attack;
		m(busy)->action_permutation = 0;
		m(busy)->waypoint_count = 2;
		set_monster_target_location(busy, &point, 0);
		EXPECT_EQ(has(busy, _monster_has_valid_target_location_flag), version == 1300) << at;
		EXPECT_EQ(m(busy)->waypoint_count, 0) << at;

		// Above 1300 the target unit is forgotten.
		const int16 retargeted = ours_at(melee, 6000, 4000);
		m(retargeted)->target_monster_index = enemy;
		set_monster_target_location(retargeted, &point, 0);
		EXPECT_EQ(m(retargeted)->target_monster_index == NONE, version > 1300) << at;
		EXPECT_EQ(m(retargeted)->target_location.x, point.x) << at;
		EXPECT_EQ(m(retargeted)->target_location_height, point.z) << at;

		// A map action's order uses the old collision test above 1710; the
		// unit stops running either way.
		const int16 scripted = ours_at(melee, 7000, 4000);
		m(scripted)->extra_flags |= _monster_wants_to_run_extra_flag | _monster_should_use_closest_range_attack_extra_flag;
		set_monster_target_location(scripted, &point, _command_attack_location_from_map_action_flag);
		EXPECT_EQ(has_extra(scripted, _monster_will_use_old_collision_detection_extra_flag), version > 1710) << at;
		EXPECT_FALSE(has_extra(scripted, _monster_wants_to_run_extra_flag)) << at;
		EXPECT_FALSE(has_extra(scripted, _monster_should_use_closest_range_attack_extra_flag)) << at;
	}
}

// Squared distances are 32-bit values here: only targets 46341 or more from
// the attackers' centre wrap past 2^31, and only then (with an attacker of a
// kind mixing missile and melee behaviour, without the close flag, from 1301)
// are attackers spread by load instead of paired target by target. So far
// off, every distance saturates at 32767 and the loads alone decide: the
// attacker farthest from the targets takes the first listed one. Paired
// target by target, the farther target takes the nearer attacker first.
TEST_F(monster_commands_versions, spread_pairing_needs_separations_past_46340)
{
	// The test map is 64 x 96 cells: the attackers at one corner, the targets
	// towards the other along (28000, 41750), 50270 long at 100 percent; the
	// first listed target 2000 beyond the second, the second attacker 540
	// nearer to both.
	const world_point2d centre = {2150, 2225};
	const auto pair = [&](int32 percent, int16 first_kind, uint16 flags) {
		const int16 attackers[] = {ours_at(first_kind, 2000, 2000), ours_at(melee, 2300, 2450)};
		const world_distance x = centre.x + 28000 * percent / 100, y = centre.y + 41750 * percent / 100;
		const int16 targets[] = {
			place_unit(melee, theirs, x + 28000 * 2000 / 50270, y + 41750 * 2000 / 50270),
			place_unit(melee, theirs, x, y)};
		pair_attackers_with_targets(flags, 2, 2, attackers, targets);
		std::vector<int16> chosen;
		for (int16 attacker : attackers)
		{
			const int16 target = m(attacker)->target_monster_index;
			chosen.push_back(target == targets[0] ? 0 : target == targets[1] ? 1 : NONE);
		}
		return chosen;
	};
	const std::vector<int16> spread = {0, 1}, paired = {1, 0};
	EXPECT_EQ(pair(100, missile, 0), spread);
	EXPECT_EQ(pair(93, missile, 0), spread) << "46751 away";
	EXPECT_EQ(pair(92, missile, 0), paired) << "46248 away: no wrap";
	EXPECT_EQ(pair(100, missile, _command_target_close_flag), paired);
	EXPECT_EQ(pair(100, melee, 0), paired) << "no attacker mixing behaviours";
	game_play_version = 1300;
	EXPECT_EQ(pair(100, missile, 0), paired);
}

}
