#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <limits>
#include <string>

#include "CoreLibrary/cseries/crc.h"
#include "CoreLibrary/tag_files/preferences.h"
#include "CoreLibrary/zerv/error_manager.h"
#include "game_preferences.h"
#include "support/tag_files_test_directory.h"
#include "support/test_directory.h"
#include "tag_files/tag_files.h"

namespace
{
class GamePreferences : public tag_files_test_directory
{
protected:
	void TearDown() override
	{
		free_preferences(&game_preferences_globals);
		tag_files_test_directory::TearDown();
	}

	// A new start-up of the program.
	static game_preferences *start_up(void)
	{
		free_preferences(&game_preferences_globals);
		initialize_game_preferences();
		return static_cast<game_preferences *>(game_preferences_globals.data);
	}

	static std::string stored_file(void) { return read_test_file("preferences/game"); }

	static uint32 stored_data_crc(void)
	{
		const std::string bytes = stored_file();
		if (bytes.size() < 64) return 0;
		return calculate_data_crc(bytes.data() + 64, static_cast<int32>(bytes.size() - 64));
	}

	// Stores a record as the program would, after changes made by change.
	template <typename change_procedure>
	static void store_changed(change_procedure change)
	{
		game_preferences *preferences = start_up();
		change(preferences);
		write_game_preferences();
	}
};
}

TEST_F(GamePreferences, FirstAndSecondStartUp)
{
	game_preferences *preferences = start_up();
	ASSERT_NE(preferences, nullptr);
	EXPECT_EQ(get_game_preferences(), preferences);
	EXPECT_EQ(preferences->run_count, 1);
	EXPECT_EQ(preferences->flags, 318u);
	EXPECT_EQ(preferences->difficulty_level, 2);
	EXPECT_EQ(preferences->number_of_solo_levels_visited, 1);
	EXPECT_EQ(preferences->solo_levels_visited[0], TAG("l1  "));
	EXPECT_EQ(preferences->overhead_map_scale_relative_to_default, 1.0f);

	std::string bytes = stored_file();
	ASSERT_EQ(bytes.size(), 2376u);
	EXPECT_EQ(bytes.substr(4, 5), std::string("game\0", 5));
	EXPECT_EQ(bytes.substr(36, 8), "prefgame");
	EXPECT_EQ(static_cast<uint8>(bytes[56]), 0);
	EXPECT_EQ(static_cast<uint8>(bytes[57]), 1);
	EXPECT_EQ(bytes.substr(60, 4), "zrv2");
	EXPECT_EQ(stored_data_crc(), 0x3BDF45E5u);

	preferences = start_up();
	EXPECT_EQ(preferences->run_count, 2);
	EXPECT_EQ(stored_file().size(), 2376u);
	EXPECT_EQ(stored_data_crc(), 0xAF23A6C8u);
}

TEST_F(GamePreferences, BeforeLoadingAnswersVerifiedDefaults)
{
	const game_preferences *preferences = get_game_preferences();
	ASSERT_NE(preferences, nullptr);
	EXPECT_EQ(preferences->flags, 318u);
	EXPECT_EQ(preferences->run_count, 0);
	mark_solo_level_as_visited(TAG("l2  "));
	EXPECT_FALSE(test_file_exists("preferences/game"));
}

TEST_F(GamePreferences, LoadingRepairsTheStoredRecord)
{
	store_changed([](game_preferences *p) {
		p->flags = 0;
		p->difficulty_level = 9;
		memset(p->no_blood_password, 'x', sizeof(p->no_blood_password));
		p->number_of_solo_levels_visited = 301;
		p->overhead_map_scale_relative_to_default = 0.0f;
		p->current_tip_index = -4;
		p->solo_plugin_count = 17;
		memset(p->solo_plugin_data, 0xAB, sizeof(p->solo_plugin_data));
		p->multi_plugin_count = -1;
		p->multi_plugin_data[0] = 1;
	});
	game_preferences *p = start_up();
	EXPECT_EQ(p->flags, static_cast<uint32>(_game_pref_static_main_menu_flag));
	EXPECT_EQ(p->difficulty_level, 4);
	EXPECT_EQ(p->no_blood_password[63], 0);
	EXPECT_EQ(p->no_blood_password[62], 'x');
	EXPECT_EQ(p->number_of_solo_levels_visited, 0);
	EXPECT_EQ(p->overhead_map_scale_relative_to_default, 1.0f);
	EXPECT_EQ(p->current_tip_index, 0);
	EXPECT_EQ(p->solo_plugin_count, 0);
	EXPECT_EQ(p->solo_plugin_data[0], 0);
	EXPECT_EQ(p->solo_plugin_data[511], 0);
	EXPECT_EQ(p->multi_plugin_count, 0);
	EXPECT_EQ(p->multi_plugin_data[0], 0);

	store_changed([](game_preferences *p) {
		p->difficulty_level = -3;
		p->number_of_solo_levels_visited = -2;
		p->overhead_map_scale_relative_to_default = std::numeric_limits<float>::quiet_NaN();
		p->solo_plugin_count = 16;
		p->solo_plugin_data[0] = 0x5A;
	});
	p = start_up();
	EXPECT_EQ(p->difficulty_level, 0);
	EXPECT_EQ(p->number_of_solo_levels_visited, 0);
	EXPECT_EQ(p->overhead_map_scale_relative_to_default, 1.0f);
	EXPECT_EQ(p->solo_plugin_count, 16);
	EXPECT_EQ(p->solo_plugin_data[0], 0x5A);

	store_changed([](game_preferences *p) {
		p->overhead_map_scale_relative_to_default = -std::numeric_limits<float>::infinity();
		p->run_count = 32767;
	});
	p = start_up();
	EXPECT_EQ(p->overhead_map_scale_relative_to_default, 1.0f);
	EXPECT_EQ(p->run_count, 32767);

	store_changed([](game_preferences *p) { p->overhead_map_scale_relative_to_default = 2.5f; });
	EXPECT_EQ(start_up()->overhead_map_scale_relative_to_default, 2.5f);
}

TEST_F(GamePreferences, VisitedLevels)
{
	game_preferences *p = start_up();
	EXPECT_TRUE(solo_level_visited(TAG("l1  ")));
	EXPECT_FALSE(solo_level_visited(TAG("l2  ")));

	mark_solo_level_as_visited(TAG("l2  "));
	EXPECT_TRUE(solo_level_visited(TAG("l2  ")));
	EXPECT_EQ(p->number_of_solo_levels_visited, 2);
	EXPECT_EQ(start_up()->number_of_solo_levels_visited, 2);

	// Marking a listed map writes nothing.
	ASSERT_EQ(remove("preferences/game"), 0);
	mark_solo_level_as_visited(TAG("l2  "));
	EXPECT_FALSE(test_file_exists("preferences/game"));

	p = get_game_preferences();
	for (uint32 i = p->number_of_solo_levels_visited; i < 300; ++i) mark_solo_level_as_visited(TAG("m000") + i);
	EXPECT_EQ(p->number_of_solo_levels_visited, 300);
	mark_solo_level_as_visited(TAG("zzzz"));
	EXPECT_EQ(p->number_of_solo_levels_visited, 300);
	EXPECT_FALSE(solo_level_visited(TAG("zzzz")));
	EXPECT_EQ(start_up()->number_of_solo_levels_visited, 300);
}
