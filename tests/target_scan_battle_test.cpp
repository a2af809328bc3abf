// The target scan weighs each candidate once however often the walk brings it
// up (in its own cell and through every ally that targets it): over a battle
// where units close in, fire, die and switch targets all the time, its answers
// match the scan that weighs every candidate each time it comes up.
#include <gtest/gtest.h>

#include <cstring>

#include "monsters.h"
#include "objects.h"
#include "support/battle_script.h"
#include "support/zerv_harness.h"
#include "zerv.h"

namespace {

class target_scan_battle : public zerv_harness_fixture
{
protected:
	void TearDown() override
	{
		set_zerv_tick_hook(nullptr, nullptr);
		get_monsters_test_hooks()->target_scans_weigh_every_candidate = FALSE;
		harness_end_map();
		zerv_harness_fixture::TearDown();
	}
};

TEST_F(target_scan_battle, answers_match_the_scan_that_weighs_every_candidate_after_every_tick_of_bnch)
{
	new_game_data setup;
	harness_battle_setup(&setup, TAG("bnch"));
	ASSERT_TRUE(harness_start_map(&setup));
	static int32 ticks, scans, found, differing;
	ticks = scans = found = differing = 0;
	set_zerv_tick_hook(
		[](int32, void *) {
			// A sixth of the units a tick, in turn.
			const int32 turn = ticks++ % 6;
			monsters_test_hooks_data *hooks = get_monsters_test_hooks();
			for (int16 index = static_cast<int16>(turn); index < MAXIMUM_MONSTERS_PER_MAP; index += 6)
			{
				monster_data *monster = get_monster_data(index);
				if (!monster) continue;
				// Each kind of scan, and the died scan once more as if the unit
				// closed in on its target (a closer candidate of any score then
				// replaces the best); the unit's flags are put back after.
				const uint32 flags = monster->flags;
				for (int16 mode = _closest_most_appropriate_target_periodic_scan;
					 mode <= _closest_most_appropriate_target_becoming_idle_scan + 1; ++mode)
				{
					const boolean closing = mode > _closest_most_appropriate_target_becoming_idle_scan;
					const int16 scan = closing ? static_cast<int16>(_closest_most_appropriate_target_target_died_scan) : mode;
					if (closing) monster->flags |= _monster_should_close_on_target_flag;
					hooks->target_scans_weigh_every_candidate = FALSE;
					const int16 answer = closest_most_appropriate_target(index, scan);
					hooks->target_scans_weigh_every_candidate = TRUE;
					const int16 expected = closest_most_appropriate_target(index, scan);
					hooks->target_scans_weigh_every_candidate = FALSE;
					monster->flags = flags;
					++scans;
					found += expected != NONE;
					differing += answer != expected;
				}
			}
		},
		nullptr);
	run_battle_script(TAG("bnch"), 480, 1);
	EXPECT_GE(ticks, 480);
	EXPECT_EQ(differing, 0) << "of " << scans << " scans";
	// The battle really fought: most scans found someone.
	EXPECT_GT(found, scans / 3);
}

// A unit whose switch refuses every candidate skips its scan: after every tick
// of a battle, each such unit (a sixth a tick, in turn, under each kind of
// switch) is offered every live unit, and each offer is refused with the
// unit's record and object left as they were.
TEST_F(target_scan_battle, a_switch_said_to_refuse_every_candidate_refuses_each_and_changes_nothing)
{
	new_game_data setup;
	harness_battle_setup(&setup, TAG("bnch"));
	ASSERT_TRUE(harness_start_map(&setup));
	static int32 ticks, refusing, open, offers, taken, changed;
	ticks = refusing = open = offers = taken = changed = 0;
	set_zerv_tick_hook(
		[](int32, void *) {
			static const uint16 kinds[] = {
				_switch_target_activate_adjacents_flag | _switch_target_suppress_melee_attacks_flag, 0,
				_switch_target_close_range_flag, _switch_target_command_override_flag | _switch_target_close_range_flag};
			const int32 turn = ticks % 6;
			const uint16 switch_flags = kinds[(ticks / 6) % 4];
			++ticks;
			for (int16 index = static_cast<int16>(turn); index < MAXIMUM_MONSTERS_PER_MAP; index += 6)
			{
				monster_data *monster = get_monster_data(index);
				if (!monster) continue;
				if (!target_switch_is_refused_for_every_candidate(index, switch_flags))
				{
					++open;
					continue;
				}
				++refusing;
				const object_data *object = get_object_data(monster->object_index);
				monster_data monster_before = *monster;
				object_data object_before = {};
				if (object) object_before = *object;
				for (int16 candidate = 0; candidate < MAXIMUM_MONSTERS_PER_MAP; ++candidate)
				{
					if (!get_monster_data(candidate)) continue;
					++offers;
					taken += try_and_switch_target_indexes(index, candidate, switch_flags) ? 1 : 0;
					changed += memcmp(&monster_before, monster, sizeof(monster_data)) != 0 ||
						(object && memcmp(&object_before, object, sizeof(object_data)) != 0);
					monster_before = *monster;
					if (object) object_before = *object;
				}
			}
		},
		nullptr);
	run_battle_script(TAG("bnch"), 360, 1);
	EXPECT_GE(ticks, 360);
	EXPECT_EQ(taken, 0) << "of " << offers << " offers";
	EXPECT_EQ(changed, 0);
	// Both answers are common.
	EXPECT_GT(refusing, 1000);
	EXPECT_GT(open, 1000);
}

} // namespace
