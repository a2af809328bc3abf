#include <gtest/gtest.h>

#include <pwd.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "CoreLibrary/cseries/linux_utilities.h"
#include "CoreLibrary/cseries/test_hooks.h"
#include "support/fake_programs.h"
#include "support/test_directory.h"

namespace {

class linux_utilities : public zerv_test_directory
{
protected:
	void SetUp() override
	{
		zerv_test_directory::SetUp();
		const char *display = getenv("DISPLAY");
		had_display = display != NULL;
		if (display) saved_display = display;
		// The fakes stand in for a desktop.
		setenv("DISPLAY", ":97", 1);
	}

	void TearDown() override
	{
		if (had_display) setenv("DISPLAY", saved_display.c_str(), 1);
		else unsetenv("DISPLAY");
		zerv_test_directory::TearDown();
	}

	bool had_display = false;
	std::string saved_display;
};

int64 now_milliseconds(void)
{
	struct timespec now;
	clock_gettime(CLOCK_MONOTONIC, &now);
	return static_cast<int64>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

const char awkward_message[] = "Could not find all the foundation files.\n'quoted' \"double\" $HOME `x` ; *";

pid_t test_process = 0;
std::string at_exit_marker;

void write_marker_outside_the_test_process(void)
{
	if (getpid() != test_process) write_test_file(at_exit_marker, "ran");
}

int cursor_hides = 0;
int cursor_shows = 0;
void count_hide(void) { ++cursor_hides; }
void count_show(void) { ++cursor_shows; }

}

TEST_F(linux_utilities, ZenityGetsExactlyItsThreeArguments)
{
	std::string fakes = install_fake_programs(test_directory);
	ASSERT_FALSE(fakes.empty());
	show_message_box(awkward_message);
	EXPECT_EQ((std::vector<std::string>{"--error", "--text", "Could not find all the foundation files.",
		"'quoted' \"double\" $HOME `x` ; *"}),
		fake_program_arguments(fakes, "zenity"));
	EXPECT_FALSE(fake_program_ran(fakes, "xmessage"));
}

TEST_F(linux_utilities, XmessageWithOneButtonWhenZenityIsMissing)
{
	fake_program_options options;
	options.zenity = false;
	std::string fakes = install_fake_programs(test_directory, options);
	ASSERT_FALSE(fakes.empty());
	fake_programs_only_on_path(fakes);
	show_message_box("The tags are damaged.");
	EXPECT_EQ((std::vector<std::string>{"-buttons", "OK:101", "-default", "OK", "-center", "The tags are damaged."}),
		fake_program_arguments(fakes, "xmessage"));
}

TEST_F(linux_utilities, WithoutAProgramTheTextGoesToStandardErrorPromptly)
{
	fake_program_options options;
	options.zenity = false;
	options.xmessage = false;
	std::string fakes = install_fake_programs(test_directory, options);
	ASSERT_FALSE(fakes.empty());
	fake_programs_only_on_path(fakes);

	// The child must not run the parent's at-exit handlers.
	test_process = getpid();
	at_exit_marker = test_directory + "/at_exit_ran";
	static bool registered = false;
	if (!registered) atexit(write_marker_outside_the_test_process);
	registered = true;

	::testing::internal::CaptureStderr();
	int64 start = now_milliseconds();
	show_message_box("nobody shows this");
	int64 elapsed = now_milliseconds() - start;
	std::string error_output = ::testing::internal::GetCapturedStderr();

	EXPECT_LT(elapsed, 2000);
	EXPECT_EQ("nobody shows this\n", error_output);
	EXPECT_FALSE(test_file_exists(at_exit_marker));
}

TEST_F(linux_utilities, WithoutADisplayTheTextGoesToStandardError)
{
	std::string fakes = install_fake_programs(test_directory);
	unsetenv("DISPLAY");
	::testing::internal::CaptureStderr();
	show_message_box("no display here");
	EXPECT_EQ("no display here\n", ::testing::internal::GetCapturedStderr());
	EXPECT_FALSE(fake_program_ran(fakes, "zenity"));
	EXPECT_FALSE(fake_program_ran(fakes, "xmessage"));
}

TEST_F(linux_utilities, WaitsUntilTheBoxIsClosed)
{
	fake_program_options options;
	options.run_milliseconds = 300;
	std::string fakes = install_fake_programs(test_directory, options);
	ASSERT_FALSE(fakes.empty());
	::testing::internal::CaptureStderr();
	int64 start = now_milliseconds();
	show_message_box("wait for me");
	int64 elapsed = now_milliseconds() - start;
	EXPECT_EQ("", ::testing::internal::GetCapturedStderr());
	EXPECT_GE(elapsed, 280);
	EXPECT_TRUE(fake_program_ran(fakes, "zenity"));
}

TEST_F(linux_utilities, CapturedMessageBoxesShowNothing)
{
	std::string fakes = install_fake_programs(test_directory);
	get_linux_utilities_test_hooks()->capture_message_boxes = TRUE;
	show_message_box("first");
	show_message_box("second");
	EXPECT_EQ(2, get_linux_utilities_test_hooks()->message_box_count);
	EXPECT_STREQ("second", get_linux_utilities_test_hooks()->last_message_box);
	EXPECT_FALSE(fake_program_ran(fakes, "zenity"));
}

TEST_F(linux_utilities, FullNameIsCutAtItsComma)
{
	linux_utilities_test_hooks_data *hooks = get_linux_utilities_test_hooks();
	hooks->use_fake_password_entry = TRUE;
	hooks->fake_password_entry_exists = TRUE;
	strcpy(hooks->fake_login_name, "alee");
	strcpy(hooks->fake_full_name, "Ann Lee,Room 4");

	char name[64];
	get_name_from_system(name, 32, FALSE);
	EXPECT_STREQ("Ann Lee", name);
	get_name_from_system(name, 4, FALSE);
	EXPECT_STREQ("Ann", name);
	get_name_from_system(name, 32, TRUE);
	EXPECT_STREQ("alee", name);
	get_name_from_system(name, 1, FALSE);
	EXPECT_STREQ("", name);

	strcpy(name, "untouched");
	get_name_from_system(name, 0, FALSE);
	EXPECT_STREQ("untouched", name);

	cut_full_name_at_comma(name, 64, ",starts with a comma");
	EXPECT_STREQ("", name);
	cut_full_name_at_comma(name, 64, "No Comma");
	EXPECT_STREQ("No Comma", name);
}

TEST_F(linux_utilities, NameFallsBackToLoginNameThenPlayer)
{
	linux_utilities_test_hooks_data *hooks = get_linux_utilities_test_hooks();
	hooks->use_fake_password_entry = TRUE;
	hooks->fake_password_entry_exists = TRUE;
	strcpy(hooks->fake_login_name, "alee");
	strcpy(hooks->fake_full_name, ",,,");

	char name[32];
	get_name_from_system(name, sizeof(name), FALSE);
	EXPECT_STREQ("alee", name);

	hooks->fake_password_entry_exists = FALSE;
	get_name_from_system(name, sizeof(name), FALSE);
	EXPECT_STREQ("player", name);
	get_name_from_system(name, 4, TRUE);
	EXPECT_STREQ("pla", name);
}

TEST_F(linux_utilities, NameOfTheRealUser)
{
	struct passwd *entry = getpwuid(geteuid());
	char name[256];
	get_name_from_system(name, sizeof(name), TRUE);
	if (entry) EXPECT_STREQ(entry->pw_name, name);
	else EXPECT_STREQ("player", name);
}

// Leaves slashes on the stack below the caller, where the next call keeps its
// path buffer: a readlink result left unterminated would run on into them.
__attribute__((noinline)) static void leave_slashes_on_the_stack(void)
{
	volatile char slashes[3 * 4096];
	for (size_t i = 0; i < sizeof(slashes); ++i) slashes[i] = '/';
}

TEST_F(linux_utilities, WorkingDirectoryIsTheExecutablesFolder)
{
	char executable[4096];
	ssize_t length = readlink("/proc/self/exe", executable, sizeof(executable) - 1);
	ASSERT_GT(length, 0);
	executable[length] = 0;
	std::string folder(executable);
	folder.erase(folder.rfind('/'));

	get_linux_utilities_test_hooks()->skip_working_directory_change = TRUE;
	leave_slashes_on_the_stack();
	initialize_working_directory();
	EXPECT_EQ(folder, get_linux_utilities_test_hooks()->working_directory);
	char current[4096];
	ASSERT_NE(nullptr, getcwd(current, sizeof(current)));
	EXPECT_EQ(test_directory, current);

	get_linux_utilities_test_hooks()->skip_working_directory_change = FALSE;
	initialize_working_directory();
	ASSERT_NE(nullptr, getcwd(current, sizeof(current)));
	EXPECT_EQ(folder, current);
}

TEST_F(linux_utilities, MachineTickCountFollowsTheManualClock)
{
	test_set_manual_clock(true);
	test_set_manual_clock_time(0);
	EXPECT_EQ(0u, machine_tick_count());
	test_advance_manual_clock(250);
	EXPECT_EQ(250u, machine_tick_count());
	test_set_manual_clock_time(0xFFFFFFF0u);
	test_advance_manual_clock(0x20);
	EXPECT_EQ(0x10u, machine_tick_count());

	test_set_manual_clock(false);
	uint32 first = machine_tick_count();
	usleep(60 * 1000);
	uint32 second = machine_tick_count();
	EXPECT_GE(static_cast<uint32>(second - first), 50u);
	EXPECT_LT(static_cast<uint32>(second - first), 2000u);
}

TEST_F(linux_utilities, CursorCallsGoToTheScreenLayerWhenItIsUp)
{
	cursor_hides = cursor_shows = 0;
	hide_cursor();
	show_cursor();
	set_cursor_procedures(count_hide, count_show);
	hide_cursor();
	show_cursor();
	show_cursor();
	set_cursor_procedures(NULL, NULL);
	hide_cursor();
	kill_screen_saver();
	EXPECT_EQ(1, cursor_hides);
	EXPECT_EQ(2, cursor_shows);
}
