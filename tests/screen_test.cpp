// Screen devices and modes from injected platform answers, the default
// choice, the resolution rows, window fallbacks and the frame rate.
#include <gtest/gtest.h>

#include <string>

#include "CoreLibrary/cseries/test_hooks.h"
#include "main.h"
#include "screen.h"
#include "screen_preferences.h"
#include "zerv.h"
#include "support/tag_files_test_directory.h"

namespace
{
class screen_devices : public tag_files_test_directory
{
protected:
	void SetUp() override
	{
		tag_files_test_directory::SetUp();
		use_headless_platform();
		clear_screen_devices();
		saved_screen = active_screen;
		// Earlier tests may have chosen a mode and made buffers: start with
		// neither, as a new process does.
		dispose_pointer(active_screen.offscreen_pixels_structure);
		dispose_pointer(active_screen.screen_pixels_structure);
		active_screen = get_default_active_screen();
	}
	void TearDown() override
	{
		clear_screen_devices();
		dispose_pointer(active_screen.offscreen_pixels_structure);
		dispose_pointer(active_screen.screen_pixels_structure);
		active_screen = saved_screen;
		active_screen.offscreen_pixels_structure = active_screen.screen_pixels_structure = NULL;
		*get_frame_rate_sample_data() = frame_rate_sample_data{};
		test_set_manual_clock(false);
		use_headless_platform();
		tag_files_test_directory::TearDown();
	}
	void answer(std::initializer_list<std::pair<int16, int16>> sizes)
	{
		screen_test_hooks_data *hooks = get_screen_test_hooks();
		hooks->mode_answer = _headless_modes_list;
		hooks->listed_mode_count = 0;
		for (const auto &size : sizes)
		{
			hooks->listed_widths[hooks->listed_mode_count] = size.first;
			hooks->listed_heights[hooks->listed_mode_count++] = size.second;
		}
	}
	std::string sizes(int16 device_index)
	{
		std::string text;
		const device_info *device = get_screen_device(device_index);
		for (int16 i = 0; device && i < device->mode_count; ++i)
			text += std::to_string(device->modes[i].width) + "x" + std::to_string(device->modes[i].height) + " ";
		return text;
	}
	device_info device_with(int16 code, std::initializer_list<device_mode_info> modes)
	{
		device_info device = {};
		device.rasterizer_code = code;
		for (const device_mode_info &mode : modes) device.modes[device.mode_count++] = mode;
		return device;
	}
	active_color_environment saved_screen;
};
}

TEST_F(screen_devices, the_mode_query_adds_windowed_sizes_to_a_single_desktop_mode)
{
	answer({{1366, 768}});
	query_software_device();
	EXPECT_EQ(sizes(0), "1366x768 640x480 800x600 ");
	answer({{1920, 1080}});
	query_software_device();
	EXPECT_EQ(sizes(1), "1920x1080 640x480 800x600 1024x768 1280x800 1440x900 ");
	EXPECT_STREQ(get_screen_device(1)->name, "Software");

	// Duplicates and small sizes are left out; no windowed sizes for two modes.
	answer({{1024, 768}, {320, 200}, {1024, 768}, {800, 600}, {640, 479}});
	query_software_device();
	EXPECT_EQ(sizes(2), "1024x768 800x600 ");

	// "Any size" gives one mode per resolution row; nothing gives no device.
	get_screen_test_hooks()->mode_answer = _headless_modes_any;
	query_software_device();
	ASSERT_EQ(get_screen_device(3)->mode_count, 15);
	EXPECT_EQ(get_screen_device(3)->modes[14].width, 2560);
	EXPECT_EQ(get_screen_device(3)->modes[14].height, 1920);
	get_screen_test_hooks()->mode_answer = _headless_modes_none;
	query_software_device();
	EXPECT_EQ(get_screen_device_count(), 4);

	// At most 256 modes, and then no windowed sizes.
	screen_test_hooks_data *hooks = get_screen_test_hooks();
	hooks->mode_answer = _headless_modes_list;
	hooks->listed_mode_count = 260;
	for (int32 i = 0; i < 260; ++i)
	{
		hooks->listed_widths[i] = static_cast<int16>(700 + i);
		hooks->listed_heights[i] = 500;
	}
	query_software_device();
	EXPECT_EQ(get_screen_device(4)->mode_count, 256);

	// A 33rd device is not added.
	clear_screen_devices();
	const device_info device = device_with(_rasterizer_software, {{0, 640, 480, 32, 0}});
	for (int32 i = 0; i < 33; ++i) report_device(&device);
	EXPECT_EQ(get_screen_device_count(), MAXIMUM_DISPLAY_DEVICE_COUNT);
}

TEST_F(screen_devices, the_scan_logs_and_the_default_choice_prefers_the_desktop)
{
	get_screen_test_hooks()->desktop_width = 1280;
	get_screen_test_hooks()->desktop_height = 1024;
	initialize_screen();
	const std::string log = log_text();
	EXPECT_NE(log.find("Scanning for software devices..."), std::string::npos);
	EXPECT_NE(log.find("\tFound 1 to use"), std::string::npos);
	EXPECT_NE(log.find("Scanning for OpenGL devices..."), std::string::npos);
	EXPECT_NE(log.find("\tFound 0 to use"), std::string::npos);
	EXPECT_EQ(active_screen.width, 640);
	EXPECT_EQ(get_screen_test_hooks()->window_width, 640);

	clear_screen_devices();
	device_info software = device_with(_rasterizer_software, {{0, 1024, 768, 32, 0}, {0, 1280, 1024, 32, 60},
		{0, 1280, 1024, 32, 75}, {0, 1280, 1024, 32, 75}, {_device_mode_invalid_flag, 1280, 1024, 32, 85}});
	report_device(&software);
	int16 device = NONE, mode = NONE;
	select_best_device_found(&device, &mode);
	EXPECT_EQ(device, 0);
	EXPECT_EQ(mode, 3); // the highest usable refresh, the later on a tie

	// Without the desktop size: the first mode above 640 x 480 that fits.
	clear_screen_devices();
	software = device_with(_rasterizer_software, {{0, 640, 480, 32, 0}, {0, 1600, 1200, 32, 0}, {0, 800, 600, 32, 0}});
	report_device(&software);
	select_best_device_found(&device, &mode);
	EXPECT_EQ(mode, 2);
}

TEST_F(screen_devices, a_640_desktop_may_take_the_640_mode)
{
	get_screen_test_hooks()->desktop_width = 640;
	get_screen_test_hooks()->desktop_height = 480;
	initialize_screen();
	clear_screen_devices();
	const device_info software = device_with(_rasterizer_software, {{0, 1024, 768, 32, 0}, {0, 640, 300, 32, 0}});
	report_device(&software);
	int16 device = NONE, mode = NONE;
	select_best_device_found(&device, &mode);
	EXPECT_EQ(mode, 1);
}

TEST_F(screen_devices, resolution_rows_and_reallocation_and_fallback)
{
	const std::pair<int16, int16> rows[] = {{799, 640}, {800, 800}, {1365, 1360}, {5000, 2560}};
	const int16 saved_width = active_screen.resolution_width;
	for (const auto &row : rows)
	{
		active_screen.resolution_width = row.first;
		EXPECT_EQ(get_active_resolution_data()->width, row.second) << row.first;
	}
	active_screen.resolution_width = saved_width;

	answer({{1024, 768}});
	initialize_screen();
	screen_test_hooks_data *hooks = get_screen_test_hooks();
	const int32 allocations = hooks->pixel_structure_allocations;
	set_screen_parameters(NONE, NONE);
	EXPECT_EQ(hooks->pixel_structure_allocations, allocations);

	// A mode that fails falls back to the previous window, then to 640 x 480.
	hooks->fail_open_window_count = 1;
	active_screen.device_index = 0;
	active_screen.mode_index = 0;
	set_screen_parameters(NONE, NONE);
	EXPECT_EQ(hooks->pixel_structure_allocations, allocations + 1);
	EXPECT_EQ(hooks->window_width, 640);
	EXPECT_EQ(active_screen.width, 640);
	EXPECT_NE(log_text().find("Falling back to the previous window"), std::string::npos);
	hooks->fail_open_window_count = 2;
	active_screen.mode_index = 1;
	set_screen_parameters(0, 0);
	EXPECT_TRUE(hooks->windowed);
	EXPECT_NE(log_text().find("Falling back to a 640 x 480 window."), std::string::npos);

	// The window's pixels are the render destination.
	rectangle2d bounds;
	get_game_screen_bounds(&bounds);
	bitmap_data *destination = get_render_destination(0, &bounds);
	ASSERT_NE(destination, nullptr);
	EXPECT_EQ(destination->width, 640);
	EXPECT_EQ(destination->row_addresses[1] - destination->row_addresses[0], hooks->surface_bytes_per_row);
	release_render_destination(destination);

	// Running, a failing mode names the window that opened, not the mode.
	game_data running = {};
	running.state = _game_state_running;
	game_data *saved_game = game;
	game = &running;
	hooks->fail_open_window_count = 2;
	active_screen.mode_index = 0;
	set_screen_parameters(0, 1);
	game = saved_game;
	EXPECT_EQ(active_screen.mode, nullptr);
	EXPECT_EQ(active_screen.device, nullptr);
	EXPECT_NE(log_text().find("Running Software at 640 x 480"), std::string::npos);
	EXPECT_EQ(log_text().find("Running Software at 1024 x 768"), std::string::npos);
	hooks->fail_open_window_count = 0;
	set_screen_parameters(0, 1); // a window of its mode again
}

TEST_F(screen_devices, the_frame_rate_needs_a_complete_bucket)
{
	test_set_manual_clock(true);
	test_set_manual_clock_time(100000);
	frame_rate_sample_data *rate = get_frame_rate_sample_data();
	update_fps_only();
	EXPECT_EQ(rate->current_fps, 0.0f);
	for (int32 frame = 0; frame < 120; ++frame)
	{
		test_advance_manual_clock(frame % 3 == 2 ? 16 : 17);
		update_fps_only();
	}
	EXPECT_NEAR(rate->current_fps, 60.0f, 2.0f);
	toggle_frame_rate_display();
	EXPECT_EQ(rate->statistics_display_mode, 1);
	toggle_frame_rate_display();
	EXPECT_EQ(rate->statistics_display_mode, 0);
}
