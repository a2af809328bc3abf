// Tests of the units on 'demo' with its two armies: the map starts before each
// test and ends after it, and the play version and the units' test hooks are
// put back.
#ifndef DEMO_ARMIES_FIXTURE_H
#define DEMO_ARMIES_FIXTURE_H

#include <gtest/gtest.h>

#include "monsters.h"
#include "support/zerv_harness.h"
#include "zerv.h"

class demo_armies_fixture : public zerv_harness_fixture
{
protected:
	void SetUp() override
	{
		zerv_harness_fixture::SetUp();
		new_game_data setup;
		harness_battle_setup(&setup, TAG("demo"));
		ASSERT_TRUE(harness_start_map(&setup));
		saved_version = game_play_version;
		reset_monsters_test_hooks();
	}
	void TearDown() override
	{
		game_play_version = saved_version;
		harness_end_map();
		reset_monsters_test_hooks();
		zerv_harness_fixture::TearDown();
	}
	int16 saved_version = 0;
};

#endif
