#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "CoreLibrary/cseries/byte_swapping.h"
#include "CoreLibrary/cseries/linux_utilities.h"
#include "CoreLibrary/zerv/error_manager.h"
#include "support/foundation_files.h"
#include "support/test_directory.h"
#include "tag_files/tag_files.h"

namespace
{
class TagFilesStandIn : public zerv_test_directory
{
protected:
	void SetUp() override
	{
		zerv_test_directory::SetUp();
		GTEST_FLAG_SET(death_test_style, "threadsafe");
		initialize_error_state("zerv");
		tag_files_initialize();
	}
	void TearDown() override
	{
		tag_files_close();
		zerv_test_directory::TearDown();
	}

	// A local 'pref' tag file holding data after its header.
	static void write_pref(const std::string &file_name, file_tag subgroup, int16 version, const std::string &data)
	{
		mkdir("preferences", 0777);
		tag_header header;
		memset(&header, 0, sizeof(header));
		strcpy(header.name, "ignored");
		header.group_tag = TAG("pref");
		header.subgroup_tag = subgroup;
		header.offset = 64;
		header.size = 9999; // not trusted: the file's length counts
		header.version = version;
		header.foundation_tag_file_index = -1;
		header.owner_index = -1;
		header.signature = TAG_HEADER_SIGNATURE;
		char bytes[sizeof(header)];
		byte_swap_move("header", bytes, &header, sizeof(header), 1, tag_header_byte_swapping_data);
		ASSERT_TRUE(write_test_file("preferences/" + file_name, std::string(bytes, sizeof(bytes)) + data));
	}
};
}

TEST_F(TagFilesStandIn, MissingFoundationFilesEndTheFirstOpening)
{
	get_linux_utilities_test_hooks()->capture_message_boxes = TRUE;
	EXPECT_EXIT(tag_files_open(FALSE, nullptr, 0, NONE), ::testing::ExitedWithCode(255), "");
	EXPECT_NE(read_test_file(ERROR_LOG_FILE_NAME).find("Could not find all the foundation files.\n"), std::string::npos);
}

TEST_F(TagFilesStandIn, OpeningWithTheFoundationFiles)
{
	EXPECT_TRUE(test_file_exists("local"));
	EXPECT_TRUE(test_file_exists("plugins"));
	EXPECT_TRUE(test_file_exists("tags"));
	ASSERT_TRUE(install_placeholder_foundation_files("."));
	EXPECT_TRUE(tag_files_open(FALSE, nullptr, 0, NONE));
	EXPECT_TRUE(tag_files_all_foundation_files_present());
	EXPECT_TRUE(set_exclusive_mode());
	EXPECT_TRUE(tag_files_required_patches_present());
	EXPECT_EQ(tag_files_get_current_patch_version(), 5);
	EXPECT_EQ(tag_file_get_plugin_count(), 0);
	EXPECT_EQ(tag_file_open(TAG("mesh"), TAG("l1  ")), NONE);

	// Only the first opening insists on the five files.
	ASSERT_EQ(remove("tags/small install"), 0);
	EXPECT_TRUE(tag_files_open(FALSE, nullptr, 0, NONE));
	EXPECT_FALSE(tag_files_all_foundation_files_present());
}

TEST_F(TagFilesStandIn, PreferenceTagsAreFoundAndRead)
{
	EXPECT_EQ(tag_file_open(TAG("pref"), TAG("abcd")), NONE);
	write_pref("abcd", TAG("abcd"), 3, "0123456789");
	const int32 handle = tag_file_open(TAG("pref"), TAG("abcd"));
	ASSERT_NE(handle, NONE);
	EXPECT_EQ(tag_file_get_header_version(handle), 3);
	EXPECT_EQ(tag_file_get_header_data_size(handle), 10);

	char buffer[11] = {};
	EXPECT_TRUE(tag_file_read(handle, 0, 10, buffer));
	EXPECT_STREQ(buffer, "0123456789");
	EXPECT_TRUE(tag_file_read(handle, 7, 3, buffer));
	EXPECT_EQ(std::string(buffer, 3), "789");
	// Nothing beyond the data, and no negative ranges.
	EXPECT_FALSE(tag_file_read(handle, 8, 3, buffer));
	EXPECT_FALSE(tag_file_read(handle, -1, 2, buffer));
	EXPECT_FALSE(tag_file_read(handle, 0, -2, buffer));
	EXPECT_FALSE(tag_file_read(NONE, 0, 1, buffer));
	EXPECT_EQ(tag_file_get_header_version(NONE), NONE);

	// A file later in byte order with the same subgroup wins.
	write_pref("abcd2", TAG("abcd"), 4, "xyz");
	const int32 later = tag_file_open(TAG("pref"), TAG("abcd"));
	ASSERT_NE(later, NONE);
	EXPECT_EQ(tag_file_get_header_version(later), 4);
	EXPECT_EQ(tag_file_get_header_data_size(later), 3);

	// The handles go stale when the set is reopened.
	ASSERT_TRUE(install_placeholder_foundation_files("."));
	tag_files_open(FALSE, nullptr, 0, NONE);
	EXPECT_EQ(tag_file_get_header_version(later), NONE);
	EXPECT_FALSE(tag_file_read(later, 0, 1, buffer));

	// Gone from the folder, gone from the lookup.
	ASSERT_EQ(remove("preferences/abcd"), 0);
	ASSERT_EQ(remove("preferences/abcd2"), 0);
	EXPECT_EQ(tag_file_open(TAG("pref"), TAG("abcd")), NONE);
	EXPECT_FALSE(tag_file_exists(TAG("pref"), TAG("abcd")));
}
