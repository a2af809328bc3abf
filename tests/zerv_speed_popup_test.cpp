// The speed popup takes its title and texts from the 'inrs' string list of the
// default tag set, not from the "%dx" fallback.
#include <gtest/gtest.h>

#include "console/console.h"
#include "support/zerv_harness.h"
#include "zerv.h"

namespace {

class zerv_speed_popup : public zerv_harness_fixture
{
protected:
	void SetUp() override
	{
		zerv_harness_fixture::SetUp();
		harness_default_setup(&setup);
	}

	void expect_popup(const char *text)
	{
		EXPECT_STREQ(get_console_test_hooks()->popup_title, "Game Speed");
		EXPECT_STREQ(get_console_test_hooks()->popup_text, text);
		EXPECT_EQ(get_console_test_hooks()->popup_ticks, 15);
	}

	new_game_data setup;
};

// Below normal speed the fallback would print "0x", and at normal "1x".
TEST_F(zerv_speed_popup, local_game_speeds_are_named_by_the_string_list)
{
	ASSERT_TRUE(harness_start_map(&setup));

	adjust_game_speed(FALSE, FALSE);
	expect_popup("1/2x");
	adjust_game_speed(FALSE, TRUE);
	expect_popup("Normal");
	adjust_game_speed(FALSE, FALSE);
	adjust_game_speed(FALSE, FALSE);
	expect_popup("1/4x");
	adjust_game_speed(TRUE, TRUE);
	expect_popup("64x");
}

TEST_F(zerv_speed_popup, a_stopped_replay_is_named_by_the_string_list)
{
	ASSERT_TRUE(harness_start_map(&setup));
	game->type = _game_type_replay;

	adjust_game_speed(FALSE, TRUE);
	expect_popup("Stopped");
	adjust_game_speed(TRUE, FALSE);
	expect_popup("1/16x");
}

}
