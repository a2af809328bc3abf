#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CoreLibrary/input/sdl_input.h"
#include "CoreLibrary/zerv/error_manager.h"
#include "CoreLibrary/zerv/preload_definitions.h"
#include "definitions.h"
#include "input/actions.h"
#include "support/tag_files_test_directory.h"
#include "tag_files/tag_files.h"

namespace
{
constexpr byte_swap_code one_long_byte_swapping_data[] = {_begin_bs_array, 1, _4byte, _end_bs_array};

definition_globals fake_mesh_definitions =
{
	"mesh", TAG("mesh"), 1, 1, 4, nullptr, nullptr, nullptr, nullptr, one_long_byte_swapping_data, 0,
	nullptr, nullptr, nullptr, NONE, 0, nullptr, nullptr, nullptr
};

definition_globals fake_unit_definitions =
{
	"unit", TAG("unit"), 1, 64, 4, nullptr, nullptr, nullptr, nullptr, one_long_byte_swapping_data, 0,
	nullptr, nullptr, nullptr, NONE, 0, nullptr, nullptr, nullptr
};

definition_globals fake_collection_definitions =
{
	"collection", TAG(".256"), 1, 8, 4, nullptr, nullptr, nullptr, nullptr, one_long_byte_swapping_data, 0,
	nullptr, nullptr, nullptr, NONE, 0, nullptr, nullptr, nullptr
};

const file_tag map_tag = TAG("L1(x");

int32 write_tag(file_tag group, file_tag subgroup, const char *name, const void *data, int32 size)
{
	return tag_file_new_with_subgroup_tag(group, name, subgroup, 1, data, size);
}

int32 write_long_tag(file_tag group, file_tag subgroup, const char *name)
{
	const uint8 bytes[4] = {0, 0, 0, 1};
	return write_tag(group, subgroup, name, bytes, sizeof(bytes));
}

// A 'prel' tag for map_tag from big-endian words.
int32 write_preload_tag(const std::vector<uint32> &words)
{
	std::vector<uint8> bytes;
	for (uint32 word : words)
	{
		for (int32 shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<uint8>(word >> shift));
	}
	return write_tag(TAG("prel"), map_tag, "L1(x", bytes.data(), static_cast<int32>(bytes.size()));
}

std::vector<preload_data> loaded_list(void)
{
	std::vector<preload_data> list;
	const preload_definition *preload = preload_definition_get();
	if (!preload) return list;
	const preload_data *data = preload_definition_get_data();
	for (int32 i = 0; i < preload->preload_data_count; ++i) list.push_back(data[i]);
	return list;
}

bool list_holds(const std::vector<preload_data> &list, file_tag group, file_tag subgroup)
{
	for (const preload_data &entry : list)
	{
		if (entry.group == group && entry.subgroup == subgroup) return true;
	}
	return false;
}

class preload_lists : public tag_files_test_directory
{
protected:
	void SetUp() override
	{
		tag_files_test_directory::SetUp();
		preinitialize_definitions();
		initialize_preloading();
		initialize_definitions(&fake_mesh_definitions);
		initialize_definitions(&fake_unit_definitions);
	}
	void TearDown() override
	{
		headless_set_key_held(_key_shift, FALSE);
		dispose_preloading_from_old_map();
		dispose_definitions_from_old_map(&fake_mesh_definitions);
		dispose_definitions_from_old_map(&fake_unit_definitions);
		tag_files_test_directory::TearDown();
	}

	// Loads the map's mesh and two units, as a map load would.
	static void load_map(void)
	{
		initialize_definitions_for_new_map(&fake_mesh_definitions);
		initialize_definitions_for_new_map(&fake_unit_definitions);
		ASSERT_NE(definition_tag_to_index(&fake_mesh_definitions, map_tag), NONE);
		ASSERT_NE(definition_tag_to_index(&fake_unit_definitions, TAG("bbbb")), NONE);
		ASSERT_NE(definition_tag_to_index(&fake_unit_definitions, TAG("aaaa")), NONE);
	}

	static void unload_map(void)
	{
		dispose_definitions_from_old_map(&fake_mesh_definitions);
		dispose_definitions_from_old_map(&fake_unit_definitions);
		dispose_preloading_from_old_map();
	}

	static void write_tags(void)
	{
		ASSERT_NE(write_long_tag(TAG("mesh"), map_tag, "Level One"), NONE);
		ASSERT_NE(write_long_tag(TAG("unit"), TAG("aaaa"), "unit a"), NONE);
		ASSERT_NE(write_long_tag(TAG("unit"), TAG("bbbb"), "unit b"), NONE);
	}
};
}

TEST_F(preload_lists, a_written_list_is_found_again_under_the_mesh_subgroup)
{
	write_tags();
	EXPECT_EQ(preload_definition_get(), nullptr);

	// Without the mesh group set up nothing is written.
	report_dependencies_for_new_map(map_tag);
	EXPECT_FALSE(tag_file_exists(TAG("prel"), map_tag));

	load_map();
	report_dependencies_for_new_map(map_tag);
	EXPECT_TRUE(tag_file_exists(TAG("prel"), map_tag));
	EXPECT_FALSE(test_file_exists("Level One dependencies.txt"));
	unload_map();

	initialize_preloading_for_new_map(map_tag);
	const preload_definition *preload = preload_definition_get();
	ASSERT_NE(preload, nullptr);
	EXPECT_EQ(preload->preload_data_count, 3);
	EXPECT_EQ(preload->preload_data_offset, 32);
	EXPECT_EQ(preload->preload_data_size, 24);
	const std::vector<preload_data> list = loaded_list();
	EXPECT_TRUE(list_holds(list, TAG("mesh"), map_tag));
	EXPECT_TRUE(list_holds(list, TAG("unit"), TAG("aaaa")));
	EXPECT_TRUE(list_holds(list, TAG("unit"), TAG("bbbb")));

	// Loading the next map's list replaces this one.
	initialize_preloading_for_new_map(TAG("none"));
	EXPECT_EQ(preload_definition_get(), nullptr);
	EXPECT_EQ(preload_definition_get_data(), nullptr);
}

TEST_F(preload_lists, equal_keys_give_the_same_list_every_time)
{
	write_tags();
	std::vector<preload_data> first;
	for (int32 run = 0; run < 4; ++run)
	{
		// The map's own list is loaded from the second run on, and listed too.
		initialize_preloading_for_new_map(map_tag);
		load_map();
		report_dependencies_for_new_map(map_tag);
		unload_map();
		initialize_preloading_for_new_map(map_tag);
		const std::vector<preload_data> list = loaded_list();
		ASSERT_EQ(list.size(), run == 0 ? 3u : 4u);
		if (run <= 1)
		{
			first = list;
			continue;
		}
		for (size_t i = 0; i < first.size(); ++i)
		{
			EXPECT_EQ(list[i].group, first[i].group);
			EXPECT_EQ(list[i].subgroup, first[i].subgroup);
		}
	}
}

TEST_F(preload_lists, shift_held_also_writes_the_text_report)
{
	write_tags();
	load_map();
	headless_set_key_held(_key_shift, TRUE);
	report_dependencies_for_new_map(map_tag);
	const std::string text = read_test_file("Level One dependencies.txt");
	EXPECT_EQ(text.rfind("Level One, Count= 3\r", 0), 0u) << text;
	EXPECT_NE(text.find(" ~ unit a \n"), std::string::npos) << text;
	EXPECT_NE(text.find("L1(x ~ Level One \n"), std::string::npos) << text;
}

TEST_F(preload_lists, corrupt_headers_are_rejected_and_the_list_dropped)
{
	const std::vector<std::vector<uint32>> corrupt =
	{
		{2, 32, 8, 0, 0, 0, 0, 0, TAG("unit"), TAG("aaaa"), TAG("unit"), TAG("bbbb")}, // size is not 8 x count
		{9000, 32, 72000, 0, 0, 0, 0, 0},                                                // too many
		{0xFFFFFFFF, 32, 0xFFFFFFF8, 0, 0, 0, 0, 0},                                     // negative
		{1, 16, 8, 0, 0, 0, 0, 0, TAG("unit"), TAG("aaaa")},                            // inside the header
		{2, 32, 16, 0, 0, 0, 0, 0, TAG("unit"), TAG("aaaa")},                           // beyond the tag
		{1, 0x7FFFFFFC, 8, 0, 0, 0, 0, 0, TAG("unit"), TAG("aaaa")},                    // offset + size wraps
	};
	for (const std::vector<uint32> &words : corrupt)
	{
		ASSERT_NE(write_preload_tag(words), NONE);
		initialize_preloading_for_new_map(map_tag);
		EXPECT_EQ(preload_definition_get(), nullptr) << words[0];
		EXPECT_NE(log_text().find("invalid preload data for map L1(x"), std::string::npos);
		// The damaged local list is gone, so the map's next start can record a new one.
		EXPECT_FALSE(tag_file_exists(PRELOAD_DEFINITION_GROUP_TAG, map_tag)) << words[0];
	}

	ASSERT_NE(write_preload_tag({1, 32, 8, 0, 0, 0, 0, 0, TAG("unit"), TAG("aaaa")}), NONE);
	initialize_preloading_for_new_map(map_tag);
	ASSERT_NE(preload_definition_get(), nullptr);
	const std::vector<preload_data> list = loaded_list();
	ASSERT_EQ(list.size(), 1u);
	EXPECT_EQ(list[0].group, TAG("unit"));
	EXPECT_EQ(list[0].subgroup, TAG("aaaa"));
}

TEST_F(preload_lists, per_resolution_interface_art_stays_out_of_the_list)
{
	write_tags();
	// The menu's control bar, a wide screen's status bar, and an ordinary collection.
	const file_tag collections[3] = {TAG("icb6"), TAG("}^sI"), TAG("rock")};
	const char *names[3] = {"menu control bar", "wide status bar", "rock"};
	for (int32 i = 0; i < 3; ++i) ASSERT_NE(write_long_tag(TAG(".256"), collections[i], names[i]), NONE);
	initialize_definitions(&fake_collection_definitions);
	load_map();
	initialize_definitions_for_new_map(&fake_collection_definitions);
	for (const file_tag collection : collections)
	{
		ASSERT_NE(definition_tag_to_index(&fake_collection_definitions, collection), NONE);
	}
	report_dependencies_for_new_map(map_tag);
	dispose_definitions_from_old_map(&fake_collection_definitions);
	unload_map();

	initialize_preloading_for_new_map(map_tag);
	const std::vector<preload_data> list = loaded_list();
	EXPECT_EQ(list.size(), 4u);
	EXPECT_TRUE(list_holds(list, TAG(".256"), TAG("rock")));
	EXPECT_FALSE(list_holds(list, TAG(".256"), TAG("icb6")));
	EXPECT_FALSE(list_holds(list, TAG(".256"), TAG("}^sI")));
}

TEST_F(preload_lists, entries_follow_their_foundation_file_whatever_the_loading_order)
{
	write_tags();
	const file_tag units[3] = {TAG("cccc"), TAG("aaaa"), TAG("bbbb")};
	const int16 foundation_indexes[3] = {4, 0, 2};
	for (int32 i = 0; i < 3; ++i)
	{
		int32 handle = tag_file_open(TAG("unit"), units[i]);
		if (handle == NONE) handle = write_long_tag(TAG("unit"), units[i], "unit c");
		ASSERT_NE(handle, NONE);
		ASSERT_TRUE(tag_file_set_tag_file_foundation_tag_file_index(&handle, foundation_indexes[i]));
	}
	int32 mesh = tag_file_open(TAG("mesh"), map_tag);
	ASSERT_TRUE(tag_file_set_tag_file_foundation_tag_file_index(&mesh, 3));

	initialize_definitions_for_new_map(&fake_mesh_definitions);
	initialize_definitions_for_new_map(&fake_unit_definitions);
	for (int32 i = 0; i < 3; ++i) ASSERT_NE(definition_tag_to_index(&fake_unit_definitions, units[i]), NONE);
	ASSERT_NE(definition_tag_to_index(&fake_mesh_definitions, map_tag), NONE);
	report_dependencies_for_new_map(map_tag);
	unload_map();

	initialize_preloading_for_new_map(map_tag);
	const std::vector<preload_data> list = loaded_list();
	ASSERT_EQ(list.size(), 4u);
	EXPECT_EQ(list[0].subgroup, TAG("aaaa"));
	EXPECT_EQ(list[1].subgroup, TAG("bbbb"));
	EXPECT_EQ(list[2].subgroup, map_tag);
	EXPECT_EQ(list[3].subgroup, TAG("cccc"));
}
