// The film, load and save dialogs' least layer: tag lists, the player's
// answers to save-as, delete and rename, and maps by their plugins.
#include <gtest/gtest.h>

#include <string>

#include "bitmap_dialogs/dialogs.h"
#include "bitmap_dialogs/screens.h"
#include "tag_files/tag_files_test_support.h"

namespace {

using namespace tag_files_test;

class tag_dialogs : public tag_files_test_directory
{
protected:
	void SetUp() override
	{
		tag_files_test_directory::SetUp();
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
};

boolean version_three(int32 handle)
{
	return tag_file_get_header_version(handle) == 3;
}

TEST_F(tag_dialogs, rows_selection_and_the_players_answers)
{
	ASSERT_NE(make_local_tag({TAG("reco"), TAG("f001"), "Siege", "a"}, 3), NONE);
	ASSERT_NE(make_local_tag({TAG("reco"), TAG("f002"), "Old film", "b"}, 2), NONE);
	ASSERT_NE(make_local_tag({TAG("save"), TAG("s001"), "Not a film", "c"}, 3), NONE);
	dialog_data *dialog = new_dialog(TAG("serd"), NULL, NULL, 0, 0);
	append_tags_to_tag_list(dialog, 3, TAG("reco"), version_three);
	ASSERT_EQ(bitmap_get_listbox_row_count(dialog, 3), 1);
	EXPECT_STREQ(get_dialog_list_row(dialog, 3, 0)->text, "Siege");
	EXPECT_EQ(get_tag_list_selected_header(dialog, 3), NONE);
	ASSERT_TRUE(inject_list_row_click(TAG("serd"), 3, 0));
	const int32 film = get_tag_list_selected_header(dialog, 3);
	EXPECT_STREQ(tag_file_name_get(film), "Siege");
	EXPECT_FALSE(inject_list_row_click(TAG("serd"), 3, 1));

	// Save-as: cancelled, named, and a taken name (any case) only when replaced.
	screens_test_hooks_data *answers = get_screens_test_hooks();
	EXPECT_EQ(bitmap_standard_put_tag("Save as", TAG("reco"), "Last Replay", 3), NONE);
	strcpy(answers->put_tag_name, "Victory");
	EXPECT_STREQ(tag_file_name_get(bitmap_standard_put_tag("Save as", TAG("reco"), "", 3)), "Victory");
	strcpy(answers->put_tag_name, "SIEGE");
	EXPECT_EQ(bitmap_standard_put_tag("Save as", TAG("reco"), "", 3), NONE);
	answers->replace_answer = 1;
	EXPECT_NE(bitmap_standard_put_tag("Save as", TAG("reco"), "", 3), NONE);

	EXPECT_EQ(sure_you_want_to_delete(film, TAG("reco")), 0);
	answers->delete_answer = 1;
	EXPECT_EQ(sure_you_want_to_delete(film, TAG("reco")), 1);
	strcpy(answers->rename_tag_name, "Glory");
	bitmap_rename_tag(tag_file_open(TAG("reco"), TAG("f002")), "Rename", TAG("reco"));
	EXPECT_STREQ(tag_file_name_get(tag_file_open(TAG("reco"), TAG("f002"))), "Glory");

	// A string list's selection comes back by identifier.
	for (int32 i = 0; i < 20; ++i) add_string_to_list(dialog, 4, "row", 100 + i, FALSE);
	select_string_list_by_identifier(dialog, 4, 117);
	EXPECT_EQ(get_string_list_selected_identifier(dialog, 4), 117);
	select_string_list_by_identifier(dialog, 4, 99);
	EXPECT_EQ(get_string_list_selected_identifier(dialog, 4), NONE);
}

TEST_F(tag_dialogs, maps_are_available_by_the_entry_points_of_the_listed_plugins)
{
	ASSERT_TRUE(build_file("plugins", "Valley Plugin", _tag_file_type_plugin, NONE,
		{{TAG("mesh"), TAG("pmap"), "Plugin Valley", std::string(64, 'p')}}));
	tag_files_update_available_plugins();
	const int16 plugin = plugin_index_named("Valley Plugin");
	uint8 listed[MAXIMUM_ENCODED_PLUGIN_BUFFER_SIZE], empty[MAXIMUM_ENCODED_PLUGIN_BUFFER_SIZE];
	const int32 listed_length = tag_file_plugins_encode(&plugin, 1, listed);
	const int32 empty_length = tag_file_plugins_encode(nullptr, 0, empty);

	char name[64];
	EXPECT_TRUE(get_mesh_display_name_in_plugin_list(TAG("pmap"), name, sizeof(name), listed, listed_length));
	EXPECT_STREQ(name, "Plugin Valley");
	EXPECT_FALSE(get_mesh_display_name_in_plugin_list(TAG("pmap"), name, sizeof(name), empty, empty_length));
	EXPECT_STREQ(name, "");
	EXPECT_FALSE(get_mesh_display_name_in_plugin_list(TAG("nope"), name, sizeof(name), listed, listed_length));
	// Foundation maps need no plugin, and a damaged list leaves them; the name is cut.
	char short_name[5];
	memset(listed, 0xFF, sizeof(listed));
	EXPECT_TRUE(get_mesh_display_name_in_plugin_list(TAG("demo"), short_name, sizeof(short_name), listed, sizeof(listed)));
	EXPECT_STREQ(short_name, "Demo");
}

} // namespace
