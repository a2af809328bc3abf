// The default tag set generator: its output, its checksums and its determinism.
#include <gtest/gtest.h>

#include <random>

#include "CoreLibrary/cseries/crc.h"
#include "CoreLibrary/tag_files/crc_quib.h"
#include "CoreLibrary/zerv/error_manager.h"
#include "default_tags.h"
#include "demo_script.h"
#include "support/foundation_files.h"
#include "support/tag_files_test_directory.h"
#include "support/test_directory.h"
#include "tag_files/required_tag_files.h"
#include "tag_files/tag_files.h"
#include "tag_files/tag_files_test_support.h"

namespace
{
class default_tags : public tag_files_test_directory {};

using tag_files_test::big_endian_32;

std::vector<std::string> set_files(void)
{
	std::vector<std::string> files;
	for (const char *name : foundation_file_names) files.push_back(std::string("tags/") + name);
	for (const known_tag_file &known : default_plugin_files) files.push_back(std::string("plugins/") + known.name);
	return files;
}
}

TEST_F(default_tags, ListingOfTheBuiltSet)
{
	FILE *out = tmpfile();
	ASSERT_NE(out, nullptr);
	EXPECT_TRUE(list_default_tag_set(ZERV_BINARY_DIR, out));
	std::string text(8192, '\0');
	rewind(out);
	text.resize(fread(text.data(), 1, text.size(), out));
	fclose(out);
	for (const char *name : foundation_file_names)
	{
		EXPECT_NE(text.find(std::string(name) + ": type 3, version 0, "), std::string::npos) << name << "\n" << text;
	}
	EXPECT_NE(text.find("Patch 4: type 2, version 4, 1 tags, checksum 0x7A760004"), std::string::npos) << text;
	EXPECT_NE(text.find("Compatibility Rules: type 1, version 1, 1 tags, checksum 0x7A76C001"), std::string::npos);
	EXPECT_NE(text.find("foundation checksum: 0x"), std::string::npos);
	EXPECT_NE(text.find("required files: 6 of 6\n"), std::string::npos);
	EXPECT_NE(text.find("map 'demo': " + std::to_string(DEMO_SCRIPT_ACTION_COUNT) + " map actions, "), std::string::npos) << text;
}

TEST_F(default_tags, RegeneratingGivesTheSameBytes)
{
	std::string error;
	ASSERT_TRUE(make_default_tag_set("out", &error)) << error;
	std::vector<std::string> first;
	for (const std::string &file : set_files()) first.push_back(read_test_file("out/" + file));
	ASSERT_TRUE(make_default_tag_set("out", &error)) << error;
	for (size_t i = 0; i < first.size(); ++i)
	{
		const std::string path = set_files()[i];
		EXPECT_FALSE(first[i].empty()) << path;
		EXPECT_EQ(read_test_file("out/" + path), first[i]) << path;
		EXPECT_EQ(read_test_file(std::string(ZERV_BINARY_DIR) + "/" + path), first[i]) << path;
	}
	// The scratch folder is gone.
	EXPECT_FALSE(test_file_exists("out/.default_tags_work"));
}

TEST_F(default_tags, KnownFilesCarryTheirTableValues)
{
	for (const known_tag_file &known : default_plugin_files)
	{
		const std::string bytes = read_test_file(std::string(ZERV_BINARY_DIR) + "/plugins/" + known.name);
		ASSERT_GE(bytes.size(), 128u) << known.name;
		EXPECT_EQ(big_endian_32(bytes, 0), (static_cast<uint32>(known.type) << 16) | static_cast<uint16>(known.version));
		EXPECT_EQ(big_endian_32(bytes, 104), known.checksum) << known.name;
		EXPECT_EQ(std::string(bytes.c_str() + 36), known.url);
		// The data checksum is the real CRC of the data.
		uint32 crc;
		crc_new(&crc);
		const size_t data_start = 128 + 64 * (big_endian_32(bytes, 100) & 0xFFFF);
		crc_checksum_buffer(&crc, bytes.data() + data_start, static_cast<int32>(bytes.size() - data_start));
		EXPECT_EQ(crc, known.checksum) << known.name;
	}
}

TEST_F(default_tags, ForcedBytesReachAnyChecksum)
{
	std::mt19937 random(77);
	for (int32 i = 0; i < 1000; ++i)
	{
		const uint32 start = random();
		const uint32 target = random();
		uint8 bytes[4];
		force_tag_crc(start, target, bytes);
		uint32 crc = start;
		crc_checksum_buffer(&crc, bytes, 4);
		ASSERT_EQ(crc, target) << start << " " << target;
	}
}

TEST_F(default_tags, StringListsInTheFourthFoundationFile)
{
	ASSERT_TRUE(install_placeholder_foundation_files("."));
	ASSERT_TRUE(tag_files_open(FALSE, nullptr, 0, NONE));
	ASSERT_EQ(number_of_default_string_lists, 16);
	for (int32 i = 0; i < number_of_default_string_lists; ++i)
	{
		const default_string_list *list = &default_string_lists[i];
		const int32 handle = tag_file_open(TAG("stli"), list->subgroup_tag);
		ASSERT_NE(handle, NONE) << list->name;
		EXPECT_EQ(tag_file_get_tag_file_foundation_tag_file_index(handle), 3);
		EXPECT_EQ(tag_file_get_tag_file_type(handle), _tag_file_type_foundation);
		std::string text(static_cast<size_t>(tag_file_get_header_data_size(handle)), '\0');
		ASSERT_TRUE(tag_file_read(handle, 0, static_cast<int32>(text.size()), text.data()));
		EXPECT_EQ(text, string_list_text(list->strings, list->string_count));
		// Every line holds text, so none collapses away.
		for (int32 j = 0; j < list->string_count; ++j) EXPECT_NE(list->strings[j][0], 0) << list->name << " " << j;
		EXPECT_EQ(text.find_first_of("\n"), std::string::npos);
	}
	const int32 counts[] = { 3, 13, 3, 4, 5, 5, 3, 10, 1, 7, 35, 28, 15, 15, 5, 23 };
	for (int32 i = 0; i < number_of_default_string_lists; ++i) EXPECT_EQ(default_string_lists[i].string_count, counts[i]);
	EXPECT_STREQ(default_string_lists[9].strings[3], " ");
}
