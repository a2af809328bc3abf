// A map's preload list, recorded while space is held at the end of its load,
// builds the tag cache on the map's next start and only then.
#include <gtest/gtest.h>

#include <string>

#include "CoreLibrary/cseries/test_hooks.h"
#include "CoreLibrary/input/sdl_input.h"
#include "input/actions.h"
#include "preload_definitions.h"
#include "support/test_directory.h"
#include "support/zerv_harness.h"
#include "tag_files/tag_files.h"
#include "x_files.h"
#include "zerv.h"

namespace {

class zerv_preload : public zerv_harness_fixture
{
protected:
	void SetUp() override
	{
		zerv_harness_fixture::SetUp();
		harness_default_setup(&setup);
		service_trace_enable(true);
	}

	void TearDown() override
	{
		headless_set_key_held(_key_space, FALSE);
		zerv_harness_fixture::TearDown();
	}

	// Starts and ends the map; true when the start succeeded. The trace keeps
	// the start only.
	bool play_map(void)
	{
		service_trace_clear();
		const bool started = harness_start_map(&setup);
		trace = service_trace_string();
		harness_end_map();
		return started;
	}

	int32 find(const char *name)
	{
		return service_trace_find(name, 0);
	}

	new_game_data setup;
	std::string trace;
};

TEST_F(zerv_preload, the_recorded_list_builds_the_cache_on_the_next_start_only)
{
	const file_tag map = setup.parameters.scenario_tag;
	ASSERT_FALSE(tag_file_exists(PRELOAD_DEFINITION_GROUP_TAG, map));

	// Space held: the list is written last; there was none to cache yet.
	headless_set_key_held(_key_space, TRUE);
	ASSERT_TRUE(play_map());
	headless_set_key_held(_key_space, FALSE);
	EXPECT_NE(trace.find("report_dependencies_for_new_map"), std::string::npos) << trace;
	EXPECT_EQ(trace.find("tag_files_build_cache"), std::string::npos) << trace;
	EXPECT_EQ(trace.find("tag_files_open_cache"), std::string::npos) << trace;
	ASSERT_TRUE(tag_file_exists(PRELOAD_DEFINITION_GROUP_TAG, map));

	// The next start loads the list, builds the cache from it and opens it
	// before the definitions load.
	service_trace_clear();
	ASSERT_TRUE(harness_start_map(&setup));
	const preload_definition *preload = preload_definition_get();
	ASSERT_NE(preload, nullptr);
	EXPECT_TRUE(test_file_exists("tags/cache"));
	const int32 build = find("tag_files_build_cache");
	ASSERT_NE(build, NONE) << service_trace_string();
	EXPECT_LT(find("initialize_preloading_for_new_map"), build);
	EXPECT_LT(find("open_map_loading_progress_dialog"), build);
	EXPECT_LT(build, find("tag_files_open_cache"));
	EXPECT_LT(find("tag_files_open_cache"), find("initialize_game_sounds_for_new_map"));
	EXPECT_EQ(find("report_dependencies_for_new_map"), NONE);
	harness_end_map();

	// Built for this map already: opened without building again.
	ASSERT_TRUE(play_map());
	EXPECT_EQ(trace.find("tag_files_build_cache"), std::string::npos) << trace;
	EXPECT_NE(trace.find("tag_files_open_cache"), std::string::npos) << trace;
}

TEST_F(zerv_preload, a_failed_build_never_opens_the_cache_of_another_map)
{
	// The first map's cache is on disk.
	headless_set_key_held(_key_space, TRUE);
	ASSERT_TRUE(play_map());
	headless_set_key_held(_key_space, FALSE);
	ASSERT_TRUE(play_map());
	ASSERT_TRUE(test_file_exists("tags/cache"));
	const std::string first_cache = read_test_file("tags/cache");

	// A second map records its list, then its build fails.
	setup.parameters.scenario_tag = TAG("l2  ");
	headless_set_key_held(_key_space, TRUE);
	ASSERT_TRUE(play_map());
	headless_set_key_held(_key_space, FALSE);
	single_file_replace_inject_failure(_single_file_replace_fail_rename);
	play_map();
	single_file_replace_inject_failure(_single_file_replace_fail_none);
	EXPECT_NE(trace.find("tag_files_build_cache"), std::string::npos) << trace;
	EXPECT_EQ(trace.find("tag_files_open_cache"), std::string::npos) << trace;
	EXPECT_EQ(read_test_file("tags/cache"), first_cache);

	// Tried again on its next start.
	ASSERT_TRUE(play_map());
	EXPECT_NE(trace.find("tag_files_build_cache"), std::string::npos) << trace;
	EXPECT_NE(trace.find("tag_files_open_cache"), std::string::npos) << trace;
}

}
