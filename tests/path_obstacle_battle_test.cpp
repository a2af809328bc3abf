// The obstacle search leaves its gather out when the waypoint is kept
// whatever the box holds, and the right run takes the left run's first step
// as its own: every adjustment of a battle, made again as first written from
// the same unit record, must leave the same unit and the same list.
#include <gtest/gtest.h>

#include "path.h"
#include "support/battle_script.h"
#include "support/zerv_harness.h"
#include "zerv.h"

namespace {

class path_obstacle_battle : public zerv_harness_fixture
{
protected:
	void TearDown() override
	{
		reset_path_test_hooks();
		harness_end_map();
		zerv_harness_fixture::TearDown();
	}
};

TEST_F(path_obstacle_battle, every_adjustment_of_bnch_answers_as_when_the_box_is_always_gathered)
{
	new_game_data setup;
	harness_battle_setup(&setup, TAG("bnch"));
	ASSERT_TRUE(harness_start_map(&setup));
	reset_path_test_hooks();
	path_test_hooks_data *hooks = get_path_test_hooks();
	hooks->compare_obstacle_adjustments = TRUE;
	run_battle_script(TAG("bnch"), 450, 1);
	const path_test_hooks_data seen = *hooks;
	reset_path_test_hooks();
	EXPECT_GT(seen.adjustments_compared, 1000);
	EXPECT_EQ(seen.adjustments_differing, 0);
	// The shortcuts are taken, or the comparison proves nothing.
	EXPECT_GT(seen.gathers_left_out, 50);
	EXPECT_GT(seen.first_steps_kept, 50);
}

} // namespace
