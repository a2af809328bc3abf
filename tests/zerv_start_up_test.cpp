// Start-up failures of the game core end the process with their box and log
// line; a failed map start cleans up after itself.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "CoreLibrary/cseries/linux_utilities.h"
#include "support/fake_programs.h"
#include "support/foundation_files.h"
#include "support/test_directory.h"
#include "zerv.h"

namespace {

class zerv_start_up : public zerv_test_directory
{
protected:
	void SetUp() override
	{
		zerv_test_directory::SetUp();
		ASSERT_TRUE(install_placeholder_foundation_files(test_directory));
		fake_folder = install_fake_programs(test_directory);
		ASSERT_FALSE(fake_folder.empty());
		GTEST_FLAG_SET(death_test_style, "threadsafe");
	}

	// In the death test's child: start the core with one slot failing.
	static void start_with_failing_slot(const char *name)
	{
		setenv("DISPLAY", ":99", 1); // the fake box program runs instead of stderr
		get_linux_utilities_test_hooks()->skip_working_directory_change = TRUE;
		snprintf(get_zerv_test_hooks()->failing_slot, sizeof(get_zerv_test_hooks()->failing_slot), "%s", name);
		initialize_zerv();
	}

	std::string fake_folder;
};

TEST_F(zerv_start_up, a_held_lock_ends_the_start_with_its_box_and_log_line)
{
	EXPECT_EXIT(start_with_failing_slot("set_exclusive_mode"), ::testing::ExitedWithCode(255), "");
	EXPECT_EQ(read_test_file(fake_folder + "/zenity.args"),
		"--error\n--text\nCannot set exclusive mode.\n"
		"Zerv II is already running, or the Zerv directory is marked read-only.\n\n");
	EXPECT_NE(read_test_file("zerv_log.txt")
				  .find("Cannot set exclusive mode. Zerv II is already running, or the Zerv directory is marked "
						"read-only.\n"),
		std::string::npos);
}

TEST_F(zerv_start_up, missing_patches_end_the_start_with_their_box_and_log_line)
{
	EXPECT_EXIT(start_with_failing_slot("tag_files_required_patches_present"), ::testing::ExitedWithCode(255), "");
	EXPECT_EQ(read_test_file(fake_folder + "/zenity.args"),
		"--error\n--text\nCould not find all the required patch files.\n"
		"Please re-install the 1.7.2 Linux update.\n\n");
	EXPECT_NE(read_test_file("zerv_log.txt")
				  .find("Could not find all the required patch files. Please re-install the 1.7.2 Linux update.\n"),
		std::string::npos);
}

}
