// The film, load and save dialogs' least layer: tag lists with their rows
// and selection, the player's answers to save-as, delete and rename, and
// which maps an encoded plugin list makes available.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bitmap_dialogs/dialogs.h"
#include "bitmap_dialogs/screens.h"
#include "tag_files/tag_files_test_support.h"

namespace {

using namespace tag_files_test;

const file_tag film_group = TAG("reco");

class tag_dialogs : public tag_files_test_directory
{
protected:
	void SetUp() override
	{
		tag_files_test_directory::SetUp();
		reset_dialogs_test_hooks();
		reset_screens_test_hooks();
		ASSERT_TRUE(install_placeholder_foundation_files("."));
		ASSERT_TRUE(tag_files_open(FALSE, nullptr, 0, NONE));
		tag_files_update_available_plugins();
	}
	void TearDown() override
	{
		close_all_dialogs();
		reset_dialogs_test_hooks();
		reset_screens_test_hooks();
		tag_files_test_directory::TearDown();
	}

	static std::vector<std::string> row_texts(dialog_data *dialog, int16 item)
	{
		std::vector<std::string> texts;
		for (int32 row = 0; row < bitmap_get_listbox_row_count(dialog, item); ++row)
		{
			texts.push_back(get_dialog_list_row(dialog, item, row)->text);
		}
		return texts;
	}
};

// Films of version 3 pass, like the film dialog's version filter.
boolean version_three(int32 handle)
{
	return tag_file_get_header_version(handle) == 3;
}

int16 clicked_item = NONE;
void remember_click(dialog_data *dialog, int16 event)
{
	if (event == _dialog_event_item_hit) clicked_item = dialog->item_hit;
}

TEST_F(tag_dialogs, tag_list_rows_follow_the_group_and_filter_and_the_selection_is_the_players)
{
	ASSERT_NE(make_local_tag({film_group, TAG("f001"), "Siege", "a"}, 3), NONE);
	ASSERT_NE(make_local_tag({film_group, TAG("f002"), "ambush", "b"}, 3), NONE);
	ASSERT_NE(make_local_tag({film_group, TAG("f003"), "Old film", "c"}, 2), NONE);
	ASSERT_NE(make_local_tag({TAG("save"), TAG("s001"), "Not a film", "d"}, 3), NONE);

	dialog_data *dialog = new_dialog(TAG("serd"), remember_click, NULL, 0, 0);
	ASSERT_NE(dialog, nullptr);
	bitmap_set_list_maximum_row_count(dialog, 3, 2048);
	append_tags_to_tag_list(dialog, 3, film_group, version_three);
	// In the tag files' order.
	std::vector<std::string> expected;
	std::vector<int32> handles(MAXIMUM_HEADERS_PER_GROUP_QUERY);
	for (int32 i = 0; i < tag_file_get_headers(film_group, handles.data()); ++i)
	{
		if (version_three(handles[i])) expected.push_back(tag_file_name_get(handles[i]));
	}
	ASSERT_EQ(expected.size(), 2u);
	EXPECT_EQ(row_texts(dialog, 3), expected);
	EXPECT_EQ(get_tag_list_selected_header(dialog, 3), NONE);

	// The player picks the second row: its tag's handle comes back.
	clicked_item = NONE;
	ASSERT_TRUE(inject_list_row_click(TAG("serd"), 3, 1));
	EXPECT_EQ(clicked_item, 3);
	EXPECT_EQ(tag_file_name_get(get_tag_list_selected_header(dialog, 3)), expected[1]);
	EXPECT_FALSE(inject_list_row_click(TAG("serd"), 3, 2));
	EXPECT_FALSE(inject_list_row_click(TAG("none"), 3, 0));

	// Without a filter every tag of the group; emptied, nothing is selected.
	bitmap_empty_list(dialog, 3);
	EXPECT_EQ(get_tag_list_selected_header(dialog, 3), NONE);
	append_tags_to_tag_list(dialog, 3, film_group, NULL);
	EXPECT_EQ(row_texts(dialog, 3).size(), 3u);

	// A list keeps at most its maximum row count.
	bitmap_empty_list(dialog, 4);
	bitmap_set_list_maximum_row_count(dialog, 4, 2);
	append_tags_to_tag_list(dialog, 4, film_group, NULL);
	EXPECT_EQ(bitmap_get_listbox_row_count(dialog, 4), 2);
}

TEST_F(tag_dialogs, string_list_selection_comes_back_by_identifier)
{
	dialog_data *dialog = new_dialog(TAG("opsg"), NULL, NULL, 0, 0);
	ASSERT_NE(dialog, nullptr);
	for (int32 i = 0; i < 40; ++i) add_string_to_list(dialog, 2, ("row " + std::to_string(i)).c_str(), 100 + i, FALSE);
	EXPECT_EQ(get_string_list_selected_identifier(dialog, 2), NONE);
	select_string_list_by_identifier(dialog, 2, 137);
	EXPECT_EQ(get_string_list_selected_identifier(dialog, 2), 137);
	EXPECT_EQ(bitmap_get_listbox_value(dialog, 2), 37);
	EXPECT_STREQ(get_dialog_list_row(dialog, 2, 37)->text, "row 37");
	select_string_list_by_identifier(dialog, 2, 99);
	EXPECT_EQ(get_string_list_selected_identifier(dialog, 2), NONE);
	bitmap_select_list_item(dialog, 2, 3);
	EXPECT_EQ(get_string_list_selected_identifier(dialog, 2), 103);
}

TEST_F(tag_dialogs, save_as_delete_and_rename_take_the_players_answers)
{
	screens_test_hooks_data *answers = get_screens_test_hooks();

	// Cancelled, then named.
	EXPECT_EQ(bitmap_standard_put_tag("Save film as", film_group, "Last Replay", 3), NONE);
	strcpy(answers->put_tag_name, "Victory");
	const int32 saved = bitmap_standard_put_tag("Save film as", film_group, "Last Replay", 3);
	ASSERT_NE(saved, NONE);
	EXPECT_STREQ(tag_file_name_get(saved), "Victory");
	EXPECT_EQ(tag_file_get_header_version(saved), 3);

	// The same name again (any case) asks whether to replace it.
	strcpy(answers->put_tag_name, "VICTORY");
	EXPECT_EQ(unique_name_or_desires_replacement(film_group, "victory"), 0);
	EXPECT_EQ(bitmap_standard_put_tag("Save film as", film_group, "", 3), NONE);
	EXPECT_EQ(unique_name_or_desires_replacement(film_group, "Defeat"), 1);
	answers->replace_answer = 1;
	const int32 film = bitmap_standard_put_tag("Save film as", film_group, "", 3);
	ASSERT_NE(film, NONE);
	EXPECT_STREQ(tag_file_name_get(film), "VICTORY");

	EXPECT_EQ(sure_you_want_to_delete(film, film_group), 0);
	answers->delete_answer = 1;
	EXPECT_EQ(sure_you_want_to_delete(film, film_group), 1);

	// Renamed only with a name and only within its group.
	bitmap_rename_tag(film, "Rename film", film_group);
	EXPECT_EQ(tag_file_count_subgroup_headers(film_group), 1);
	strcpy(answers->rename_tag_name, "Glory");
	bitmap_rename_tag(film, "Rename film", TAG("save"));
	tag_file_info filter;
	tag_file_info_new(&filter);
	strcpy(filter.name, "Glory");
	EXPECT_EQ(tag_file_enumerate(&filter, nullptr, NONE), 0);
	bitmap_rename_tag(film, "Rename film", film_group);
	filter.group_tag = film_group;
	EXPECT_EQ(tag_file_enumerate(&filter, nullptr, NONE), 1);
}

TEST_F(tag_dialogs, maps_are_available_by_the_entry_points_of_the_listed_plugins)
{
	ASSERT_TRUE(build_file("plugins", "Valley Plugin", _tag_file_type_plugin, NONE,
		{{TAG("mesh"), TAG("pmap"), "Plugin Valley", std::string(64, 'p')}}));
	tag_files_update_available_plugins();
	const int16 plugin = plugin_index_named("Valley Plugin");
	ASSERT_NE(plugin, NONE);
	uint8 listed[MAXIMUM_ENCODED_PLUGIN_BUFFER_SIZE];
	const int32 listed_length = tag_file_plugins_encode(&plugin, 1, listed);
	uint8 empty[MAXIMUM_ENCODED_PLUGIN_BUFFER_SIZE];
	const int32 empty_length = tag_file_plugins_encode(nullptr, 0, empty);

	char name[64] = "junk";
	EXPECT_TRUE(get_mesh_display_name_in_plugin_list(TAG("pmap"), name, sizeof(name), listed, listed_length));
	EXPECT_STREQ(name, "Plugin Valley");
	EXPECT_FALSE(get_mesh_display_name_in_plugin_list(TAG("pmap"), name, sizeof(name), empty, empty_length));
	EXPECT_STREQ(name, "");
	EXPECT_FALSE(get_mesh_display_name_in_plugin_list(TAG("nope"), name, sizeof(name), listed, listed_length));

	// The foundation files' maps need no plugin; the name is cut to the buffer.
	EXPECT_TRUE(get_mesh_display_name_in_plugin_list(TAG("demo"), name, sizeof(name), NULL, 0));
	EXPECT_STREQ(name, "Demo Valley");
	char short_name[5];
	EXPECT_TRUE(get_mesh_display_name_in_plugin_list(TAG("demo"), short_name, sizeof(short_name), empty, empty_length));
	EXPECT_STREQ(short_name, "Demo");
	EXPECT_TRUE(get_mesh_display_name_in_plugin_list(TAG("demo"), NULL, 0, listed, listed_length));

	// A damaged list still leaves the foundation maps.
	memset(listed, 0xFF, sizeof(listed));
	EXPECT_FALSE(get_mesh_display_name_in_plugin_list(TAG("pmap"), name, sizeof(name), listed, sizeof(listed)));
	EXPECT_TRUE(get_mesh_display_name_in_plugin_list(TAG("demo"), name, sizeof(name), listed, sizeof(listed)));
}

} // namespace
