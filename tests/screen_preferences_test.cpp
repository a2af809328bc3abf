// The screen preferences record: defaults, repairs, conversion, the stored
// file, similar modes, the resolution order and the panel.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "CoreLibrary/input/sdl_input.h"
#include "bitmap_dialogs/dialogs.h"
#include "input/actions.h"
#include "screen_preferences.h"
#include "support/tag_files_test_directory.h"
#include "support/test_directory.h"
#include "tag_files/tag_files.h"

namespace
{
class screen_preferences : public tag_files_test_directory
{
protected:
	void SetUp() override
	{
		tag_files_test_directory::SetUp();
		clear_screen_devices();
		saved_prefs = active_screen.prefs;
		device_info software = {};
		software.rasterizer_code = _rasterizer_software;
		strcpy(software.name, "Software");
		const device_mode_info modes[] = {{0, 640, 480, 32, 0}, {0, 800, 600, 32, 0}, {0, 800, 600, 32, 60},
			{_device_mode_preferred_flag, 1024, 768, 32, 0}};
		for (const device_mode_info &mode : modes) software.modes[software.mode_count++] = mode;
		report_device(&software);
		device_info opengl = software;
		opengl.rasterizer_code = _rasterizer_opengl;
		opengl.extra_data.opengl2_device = TRUE;
		strcpy(opengl.name, "OpenGL");
		report_device(&opengl);
	}
	void TearDown() override
	{
		free_preferences(&screen_preferences_globals);
		active_screen.prefs = saved_prefs;
		clear_screen_devices();
		close_all_dialogs();
		tag_files_test_directory::TearDown();
	}
	screen_parameters valid(void)
	{
		screen_parameters p = {};
		p.texture_cache_size = 64;
		p.flags = _screen_pref_landscape_filtering_flag;
		p.device_index = 0;
		p.mode_index = 1;
		p.gamma = DEFAULT_GAMMA;
		p.max_fps = 60;
		return p;
	}
	screen_parameters saved_prefs;
};
}

TEST_F(screen_preferences, defaults_follow_the_machine_and_the_devices)
{
	EXPECT_EQ(texture_cache_default_for_memory(1024), 144);
	EXPECT_EQ(texture_cache_default_for_memory(512), 12);
	EXPECT_EQ(texture_cache_default_for_memory(8192), 512);
	EXPECT_EQ(texture_cache_default_for_memory(1000), 134); // an odd quarter rounds down to even
	screen_parameters p;
	default_screen_parameters(&p);
	EXPECT_EQ(p.device_index, 1); // the OpenGL device
	EXPECT_EQ(p.flags, 226);
	EXPECT_EQ(p.gamma, 256);
	EXPECT_EQ(p.max_fps, -90);
	EXPECT_EQ(p.width, p.mode_index >= 0 ? get_screen_device(1)->modes[p.mode_index].width : 0);
}

TEST_F(screen_preferences, verification_repairs_or_replaces)
{
	const std::pair<int32, int32> fps[] = {{0, -90}, {14, -90}, {-14, -90}, {15, 15}, {-300, -300}, {301, -90},
		{-32768, -90}};
	for (const auto &row : fps)
	{
		screen_parameters p = valid();
		p.max_fps = static_cast<int16>(row.first);
		EXPECT_TRUE(verify_screen_parameters(&p));
		EXPECT_EQ(p.max_fps, row.second) << row.first;
	}
	const std::pair<int32, int32> caches[] = {{11, 12}, {513, 512}, {100, 100}};
	for (const auto &row : caches)
	{
		screen_parameters p = valid();
		p.texture_cache_size = static_cast<uint16>(row.first);
		EXPECT_TRUE(verify_screen_parameters(&p));
		EXPECT_EQ(p.texture_cache_size, row.second);
	}
	screen_parameters p = valid();
	p.texture_cache_size = 0;
	verify_screen_parameters(&p);
	EXPECT_EQ(p.texture_cache_size, get_machine_specific_texture_cache_default());
	for (int16 gamma : {127, 342})
	{
		p = valid();
		p.gamma = gamma;
		EXPECT_FALSE(verify_screen_parameters(&p));
		EXPECT_EQ(p.gamma, DEFAULT_GAMMA);
		EXPECT_EQ(p.max_fps, DEFAULT_MAX_FPS);
	}
	p = valid();
	p.gamma = 341;
	EXPECT_TRUE(verify_screen_parameters(&p));

	// A stored size picks the closest mode; the first of equal scores wins.
	p = valid();
	p.width = 810;
	p.height = 610;
	EXPECT_TRUE(verify_screen_parameters(&p));
	EXPECT_EQ(p.mode_index, 3); // sought as a preferred mode
	device_mode_info wanted = {0, 800, 600, 32, 60};
	int16 mode = NONE;
	EXPECT_TRUE(find_mode_similar_to(0, &wanted, &mode));
	EXPECT_EQ(mode, 2);
	const device_mode_info tied = {0, 800, 600, 32, NONE}; // modes 1 and 2 score alike
	EXPECT_TRUE(find_mode_similar_to(0, &tied, &mode));
	EXPECT_EQ(mode, 1);
	EXPECT_FALSE(find_mode_similar_to(7, &wanted, &mode));
	EXPECT_EQ(mode, NONE);
}

TEST_F(screen_preferences, the_resolution_list_sorts_by_what_it_reads)
{
	auto compare = [](const char *a, const char *b)
	{
		return resolution_list_sort_proc(a, static_cast<int32>(strlen(a)), b, static_cast<int32>(strlen(b)));
	};
	EXPECT_LT(compare("640 x 480", "|i800 x 600|p"), 0);
	EXPECT_GT(compare("|i800 x 600|p", "800 x 480"), 0);
	EXPECT_LT(compare("Other", "640 x 480"), 0);
	EXPECT_LT(compare("900", "640 x 480"), 0);
	EXPECT_EQ(compare("640 x 480, 32 bpp, 60 Hz", "640 x 480"), 0);
	// Only the given length is read.
	EXPECT_LT(resolution_list_sort_proc("1024 x 768", 4, "640 x 480", 9), 0);
}

TEST_F(screen_preferences, the_stored_record_and_older_versions)
{
	screen_parameters p = valid();
	ASSERT_TRUE(save_screen_parameters(&p));
	std::string file = read_test_file("preferences/screen preferences");
	ASSERT_EQ(file.size(), 80u);
	screen_parameters loaded;
	load_screen_parameters(&loaded);
	EXPECT_EQ(memcmp(&loaded, &p, sizeof(p)), 0);

	// Version 3 converts with a new cache size; version 2 gives the defaults.
	const size_t version_offset = offsetof(tag_header, version);
	for (int16 version : {3, 2})
	{
		std::string old = file;
		old[version_offset] = 0;
		old[version_offset + 1] = static_cast<char>(version);
		ASSERT_TRUE(write_test_file("preferences/screen preferences", old));
		// The local tags are loaded again, as a new start would.
		tag_files_close();
		load_local_tags();
		load_screen_parameters(&loaded);
		if (version == 3)
		{
			EXPECT_EQ(loaded.mode_index, 1);
			EXPECT_EQ(loaded.max_fps, 60);
			EXPECT_EQ(loaded.texture_cache_size, get_machine_specific_texture_cache_default());
		}
		else
		{
			EXPECT_EQ(loaded.max_fps, DEFAULT_MAX_FPS);
		}
	}
	screen_parameters converted;
	EXPECT_FALSE(convert_screen_parameters(file.data() + 64, &converted, 2));
}

TEST_F(screen_preferences, the_panel_edits_the_live_record)
{
	active_screen.prefs = valid();
	active_screen.prefs.flags |= _screen_pref_fog_enabled_flag | _screen_pref_windowed_flag |
		_screen_pref_fullscreen_windowed_flag | _screen_pref_opengl_turbo_flag;
	dialog_data *dialog = new_dialog(TAG("gfxp"), NULL, NULL, 0, 0);
	ASSERT_NE(dialog, nullptr);
	screen_preferences_panel_handler(dialog, _setup_verb, 0);
	EXPECT_EQ(get_string_list_selected_identifier(dialog, iRASTERIZER_LIST), 0);
	EXPECT_EQ(get_string_list_selected_identifier(dialog, iRESOLUTION_LIST), 1);
	EXPECT_EQ(bitmap_get_listbox_row_count(dialog, iRESOLUTION_LIST), 4);
	EXPECT_TRUE(get_checkbox_state(dialog, iMAX_FPS_CHECKBOX));

	char name[64];
	get_button_control_name(dialog, iHIGH_RESOLUTION, name, sizeof(name));
	EXPECT_STREQ(name, "Landscape Textures");

	// Another device keeps fog, windowed and full-screen windowed.
	select_string_list_by_identifier(dialog, iRASTERIZER_LIST, 1);
	screen_preferences_panel_handler(dialog, _handle_itemhit_verb, iRASTERIZER_LIST);
	EXPECT_EQ(active_screen.prefs.device_index, 1);
	EXPECT_TRUE(active_screen.prefs.flags & _screen_pref_fullscreen_windowed_flag);
	EXPECT_FALSE(active_screen.prefs.flags & _screen_pref_opengl_turbo_flag);
	EXPECT_TRUE(active_screen.prefs.flags & _screen_pref_windowed_flag);

	// Commit stores the live record; discard reads it back.
	const screen_parameters committed = active_screen.prefs;
	screen_preferences_panel_handler(dialog, _commit_verb, 0);
	active_screen.prefs.gamma = 200;
	screen_preferences_panel_handler(dialog, _discard_verb, 0);
	EXPECT_EQ(active_screen.prefs.gamma, committed.gamma);
	dispose_dialog(dialog);
}

// Fog and vsync survive a device that cannot use them; on one that can, vsync
// and the frame limit exclude each other unless Shift is held.
TEST_F(screen_preferences, fog_and_vsync_outlive_the_software_device)
{
	active_screen.prefs = valid();
	active_screen.prefs.device_index = 1;
	active_screen.prefs.flags = _screen_pref_fog_enabled_flag | _screen_pref_vsync_enabled_flag;
	dialog_data *dialog = new_dialog(TAG("gfxp"), NULL, NULL, 0, 0);
	ASSERT_NE(dialog, nullptr);
	screen_preferences_panel_handler(dialog, _setup_verb, 0);
	EXPECT_TRUE(get_checkbox_state(dialog, iFOG));

	select_string_list_by_identifier(dialog, iRASTERIZER_LIST, 0);
	screen_preferences_panel_handler(dialog, _handle_itemhit_verb, iRASTERIZER_LIST);
	EXPECT_FALSE(get_checkbox_state(dialog, iFOG)) << "shown unchecked on the software device";
	screen_preferences_panel_handler(dialog, _handle_itemhit_verb, iGAMMA);
	EXPECT_TRUE(active_screen.prefs.flags & _screen_pref_fog_enabled_flag);
	active_screen.prefs.flags |= _screen_pref_vsync_enabled_flag;
	screen_preferences_panel_handler(dialog, _handle_itemhit_verb, iGAMMA);
	EXPECT_TRUE(active_screen.prefs.flags & _screen_pref_vsync_enabled_flag);
	select_string_list_by_identifier(dialog, iRASTERIZER_LIST, 1);
	screen_preferences_panel_handler(dialog, _handle_itemhit_verb, iRASTERIZER_LIST);
	EXPECT_TRUE(active_screen.prefs.flags & _screen_pref_fog_enabled_flag);
	EXPECT_TRUE(get_checkbox_state(dialog, iFOG));

	for (boolean shift : {TRUE, FALSE})
	{
		headless_set_key_held(_key_shift, shift);
		set_checkbox_state(dialog, iVSYNC, FALSE);
		set_checkbox_state(dialog, iMAX_FPS_CHECKBOX, TRUE);
		screen_preferences_panel_handler(dialog, _handle_itemhit_verb, iMAX_FPS_CHECKBOX);
		set_checkbox_state(dialog, iVSYNC, TRUE);
		screen_preferences_panel_handler(dialog, _handle_itemhit_verb, iVSYNC);
		EXPECT_TRUE(get_checkbox_state(dialog, iVSYNC)) << shift;
		EXPECT_EQ(get_checkbox_state(dialog, iMAX_FPS_CHECKBOX) != 0, shift != 0) << shift;
		set_checkbox_state(dialog, iMAX_FPS_CHECKBOX, TRUE);
		screen_preferences_panel_handler(dialog, _handle_itemhit_verb, iMAX_FPS_CHECKBOX);
		EXPECT_TRUE(get_checkbox_state(dialog, iMAX_FPS_CHECKBOX)) << shift;
		EXPECT_EQ(get_checkbox_state(dialog, iVSYNC) != 0, shift != 0) << shift;
	}
	headless_set_key_held(_key_shift, FALSE);
	dispose_dialog(dialog);
}
