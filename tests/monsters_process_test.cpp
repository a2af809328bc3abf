// The benchmark battle in a process of its own: 1,000 ticks of 400 units
// within a bounded memory footprint.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include "monsters.h"
#include "support/zerv_harness.h"
#include "zerv.h"

namespace {

using monsters_process = zerv_harness_fixture;

TEST_F(monsters_process, the_benchmark_battle_runs_1000_ticks_in_under_64_megabytes)
{
	new_game_data setup;
	harness_battle_setup(&setup, TAG("bnch"));
	ASSERT_TRUE(harness_start_map(&setup));
	EXPECT_EQ(monster_array.total_count, MAXIMUM_MONSTERS_PER_MAP);
	EXPECT_EQ(harness_run_ticks(1000), 1000);
	// The armies fight: some fall, and the rest are still at it.
	EXPECT_LT(monster_array.total_count, MAXIMUM_MONSTERS_PER_MAP);
	EXPECT_GT(monster_array.total_count, 0);
	harness_end_map();
	rusage usage = {};
	ASSERT_EQ(getrusage(RUSAGE_SELF, &usage), 0);
	EXPECT_LT(usage.ru_maxrss, 64 * 1024) << "kilobytes";
}

} // namespace
