// The monolithic and local file formats as written and as checked on loading.
#include "tag_files/tag_files_test_support.h"

using namespace tag_files_test;

namespace
{
class tag_files_format : public fixture
{
};
class tag_files_validation : public fixture
{
protected:
	// A small valid plugin file, as bytes.
	static std::string small_plugin(const std::vector<tag_spec> &specs)
	{
		EXPECT_TRUE(build_file("plugins", "Small", _tag_file_type_plugin, NONE, specs));
		return read_test_file("plugins/Small");
	}

	// Validates the bytes as "plugins/Small" and, when valid, adds its tags.
	static bool load_bytes(const std::string &bytes, bool add = true)
	{
		EXPECT_TRUE(write_test_file("plugins/Small", bytes));
		file_reference file = folder_file("plugins", "Small");
		tag_file_header header;
		if (!tag_file_open_monolithic_file(&file, &header)) return false;
		return add_tags_from_monolithic_file(&file, &header, add ? FALSE : TRUE);
	}
};

const std::vector<tag_spec> three_tags =
{
	{ TAG("stli"), TAG("nams"), "names", "Alpha\rBeta" },
	{ TAG("mesh"), TAG("map1"), "first map", pattern(1024, 3) },
	{ TAG("text"), TAG("note"), "note", "hello" },
};
}

TEST_F(tag_files_format, FileFromLocalTagsHasTheStoredLayout)
{
	ASSERT_TRUE(build_file("plugins", "Test Plugin", _tag_file_type_plugin, NONE, three_tags, "Other Plugin"));
	const std::string bytes = read_test_file("plugins/Test Plugin");
	const size_t data_start = 128 + 112 + 3 * 64;
	ASSERT_EQ(bytes.size(), data_start + 10 + 1024 + 5);

	EXPECT_EQ(bytes.substr(124, 4), "dng2");
	EXPECT_EQ(big_endian_32(bytes, 0) >> 16, static_cast<uint32>(_tag_file_type_plugin));
	EXPECT_EQ(bytes.substr(4, 12), std::string("Test Plugin\0", 12));
	EXPECT_EQ(bytes.substr(36, 13), std::string("Other Plugin\0", 13));
	EXPECT_EQ(big_endian_32(bytes, 100), (1u << 16) | 3u); // entry points, tags
	EXPECT_EQ(big_endian_32(bytes, 112), bytes.size());
	EXPECT_EQ(big_endian_32(bytes, 108), static_cast<uint32>(_tag_file_is_game_critical_flag)); // 'mesh' is game-critical

	// The data checksum runs over the tags' data in tag order.
	uint32 checksum;
	crc_new(&checksum);
	for (const tag_spec &spec : three_tags) crc_checksum_buffer(&checksum, spec.data.data(), static_cast<int32>(spec.data.size()));
	EXPECT_EQ(big_endian_32(bytes, 104), checksum);

	// The header checksum recomputes over the stored header with the field zeroed.
	std::string header = bytes.substr(0, 128);
	const uint32 stored_header_checksum = big_endian_32(header, 116);
	put_big_endian(&header, 116, 0, 4);
	uint32 header_checksum;
	crc_new(&header_checksum);
	crc_checksum_buffer(&header_checksum, header.data(), 128);
	EXPECT_EQ(stored_header_checksum, header_checksum);

	// The entry point falls back to the tag name without a map description.
	EXPECT_EQ(big_endian_32(bytes, 128), TAG("map1"));
	EXPECT_EQ(bytes.substr(128 + 16, 10), std::string("first map\0", 10));
	EXPECT_EQ(bytes.substr(128 + 48, 10), std::string("first map\0", 10));

	size_t offset = data_start;
	for (size_t i = 0; i < three_tags.size(); ++i)
	{
		const size_t at = 128 + 112 + 64 * i;
		EXPECT_EQ(bytes.substr(at + 60, 4), "zrv2");
		EXPECT_EQ(big_endian_32(bytes, at + 36), three_tags[i].group_tag);
		EXPECT_EQ(big_endian_32(bytes, at + 44), offset);
		EXPECT_EQ(big_endian_32(bytes, at + 48), three_tags[i].data.size());
		// Unused bytes are zero and the owner is 255, so output is the same on every build.
		EXPECT_EQ(big_endian_32(bytes, at), static_cast<uint32>(_tag_file_type_plugin)); // identifier 0, flags 0
		EXPECT_EQ(static_cast<uint8>(bytes[at + 59]), 255);
		EXPECT_EQ(bytes.substr(offset, three_tags[i].data.size()), three_tags[i].data);
		offset += three_tags[i].data.size();
	}

	// Built again, the file is the same byte for byte.
	ASSERT_TRUE(build_file("plugins", "Test Plugin", _tag_file_type_plugin, NONE, three_tags, "Other Plugin"));
	EXPECT_EQ(read_test_file("plugins/Test Plugin"), bytes);
}

TEST_F(tag_files_format, PluginOpensWithItsTagsAndEntryPoint)
{
	ASSERT_TRUE(build_file("plugins", "Test Plugin", _tag_file_type_plugin, NONE, three_tags));
	open_generated_set();
	const int16 plugin = plugin_index_named("Test Plugin");
	ASSERT_NE(plugin, NONE);
	ASSERT_TRUE(tag_files_open(FALSE, &plugin, 1, NONE));

	const int32 mesh = tag_file_open(TAG("mesh"), TAG("map1"));
	EXPECT_EQ(read_tag(mesh), three_tags[1].data);
	EXPECT_EQ(read_tag(mesh, true), three_tags[1].data);
	EXPECT_EQ(tag_file_get_tag_file_type(mesh), _tag_file_type_plugin);
	EXPECT_STREQ(tag_file_name_get(mesh), "first map");

	std::vector<entry_point_info> entry_points(static_cast<size_t>(tag_file_entry_points_get(nullptr)));
	tag_file_entry_points_get(entry_points.data());
	bool found = false;
	for (const entry_point_info &entry : entry_points)
	{
		if (entry.subgroup_tag != TAG("map1")) continue;
		found = true;
		EXPECT_EQ(entry.plugin_index, plugin);
		EXPECT_STREQ(entry.printed_name, "first map");
	}
	EXPECT_TRUE(found);
}

TEST_F(tag_files_format, LocalTagFileLayout)
{
	ASSERT_NE(make_local_tag({ TAG("text"), TAG("note"), "a note", "hello" }, 3), NONE);
	const std::string bytes = read_test_file("local/text/a note");
	ASSERT_EQ(bytes.size(), 69u);
	EXPECT_EQ(bytes.substr(0, 4), std::string(4, '\0'));
	EXPECT_EQ(bytes.substr(4, 32), std::string("a note") + std::string(26, '\0'));
	EXPECT_EQ(bytes.substr(36, 8), "textnote");
	EXPECT_EQ(big_endian_32(bytes, 44), 64u);
	EXPECT_EQ(big_endian_32(bytes, 48), 5u);
	EXPECT_EQ(big_endian_32(bytes, 56), (3u << 16) | (0u << 8) | 255u); // version, foundation index, owner
	EXPECT_EQ(bytes.substr(60), "zrv2hello");
}

TEST_F(tag_files_validation, BadCountsAreRejectedWithTheirText)
{
	const std::string good = small_plugin(three_tags);
	for (size_t field : { size_t(100), size_t(102) })
	{
		std::string bytes = good;
		put_big_endian(&bytes, field, 0xFFFF, 2);
		clear_errors();
		EXPECT_FALSE(load_bytes(bytes)) << field;
		EXPECT_NE(error_text().find("has a bad header"), std::string::npos) << field;
	}
	// Counts that need more bytes than the file has.
	std::string bytes = good;
	put_big_endian(&bytes, 100, 200, 2);
	clear_errors();
	EXPECT_FALSE(load_bytes(bytes));
	EXPECT_NE(error_text().find("has a bad header"), std::string::npos);
}

TEST_F(tag_files_validation, SilentChecksStaySilent)
{
	std::string bytes = small_plugin(three_tags);
	put_big_endian(&bytes, 112, static_cast<uint32>(bytes.size() + 1), 4);
	clear_errors();
	EXPECT_FALSE(load_bytes(bytes));
	EXPECT_EQ(error_text(), "");
}

TEST_F(tag_files_validation, TagRangesAreCheckedWithoutWrapping)
{
	const std::string good = small_plugin(three_tags);
	const size_t first_tag = 128 + 112;
	struct case_data
	{
		uint32 offset;
		uint32 size;
	};
	for (const case_data &bad : { case_data{ 0xFFFFFF00u, 0x200u }, case_data{ 0u, 0x80000000u },
			 case_data{ 100u, 10u }, case_data{ static_cast<uint32>(good.size()) - 9, 10u } })
	{
		std::string bytes = good;
		put_big_endian(&bytes, first_tag + 44, bad.offset, 4);
		put_big_endian(&bytes, first_tag + 48, bad.size, 4);
		clear_errors();
		EXPECT_FALSE(load_bytes(bytes, false)) << bad.offset << " " << bad.size;
		EXPECT_NE(error_text().find("found an invalid tag in the monolithic file"), std::string::npos);
	}

	// One message per bad tag, and nothing is added.
	std::string bytes = good;
	for (size_t i = 0; i < 2; ++i) put_big_endian(&bytes, first_tag + 64 * i + 48, 0x10000, 4);
	clear_errors();
	EXPECT_FALSE(load_bytes(bytes));
	const std::string text = error_text();
	EXPECT_NE(text.find("invalid tag"), text.rfind("invalid tag"));
	EXPECT_EQ(tag_file_open(TAG("text"), TAG("note")), NONE);
}

TEST_F(tag_files_validation, UnknownGroupsAreSkippedWithOneLine)
{
	std::string bytes = small_plugin(three_tags);
	// Two tags of a group the program does not know.
	for (size_t i = 0; i < 2; ++i) put_big_endian(&bytes, 128 + 112 + 64 * i + 36, TAG("zzzz"), 4);
	ASSERT_TRUE(load_bytes(bytes));
	EXPECT_NE(tag_file_open(TAG("text"), TAG("note")), NONE);
	EXPECT_EQ(tag_file_open(TAG("zzzz"), TAG("nams")), NONE);
	EXPECT_NE(read_test_file("zerv_log.txt").find("skipped 2 tags of unknown groups in 'Small'"), std::string::npos);
}

TEST_F(tag_files_validation, AddOnSuppliesOnlyUnrestrictedGroups)
{
	ASSERT_TRUE(build_file("plugins", "Small", _tag_file_type_add_on, 7, three_tags));
	ASSERT_TRUE(load_bytes(read_test_file("plugins/Small")));
	EXPECT_EQ(tag_file_open(TAG("mesh"), TAG("map1")), NONE);
	EXPECT_EQ(tag_file_open(TAG("text"), TAG("note")), NONE);
	EXPECT_NE(tag_file_open(TAG("stli"), TAG("nams")), NONE);
}

TEST_F(tag_files_validation, NameCheck)
{
	struct case_data
	{
		const char *name;
		const char *fixed;
		boolean changed;
	};
	for (const case_data &c : { case_data{ "plain", "plain", FALSE }, case_data{ "a:b|c", "a_b|c", TRUE },
			 case_data{ "a*b?", "a_b_", TRUE }, case_data{ "trailing. .", "trailing", FALSE },
			 case_data{ "0123456789012345678901234567890123456789", "0123456789012345678901234567890", TRUE } })
	{
		char name[64];
		strcpy(name, c.name);
		EXPECT_EQ(fix_tag_file_name(name), c.changed) << c.name;
		EXPECT_STREQ(name, c.fixed);
	}
	// A style code is one two-byte character, so its bar stays.
	char styled[] = "a|b";
	EXPECT_FALSE(fix_tag_file_name(styled));
	EXPECT_STREQ(styled, "a|b");
}

TEST_F(tag_files_validation, LocalFilesThatCannotBeOpenedAgainAreSkipped)
{
	const std::string bytes = local_tag_bytes(TAG("text"), TAG("aaaa"), "x");
	mkdir("local/text", 0777);
	for (const char *name : { "a:colon", "trailing.", ".hidden", "0123456789012345678901234567890123", "good" })
	{
		ASSERT_TRUE(write_test_file(std::string("local/text/") + name, bytes));
	}
	// A header that is not a local tag's.
	std::string wrong_owner = local_tag_bytes(TAG("text"), TAG("bbbb"), "y");
	wrong_owner[59] = 0;
	ASSERT_TRUE(write_test_file("local/text/wrong owner", wrong_owner));
	ASSERT_TRUE(write_test_file("local/text/short", bytes.substr(0, 63)));
	ASSERT_TRUE(load_local_tags());

	tag_file_info filter;
	tag_file_info_new(&filter);
	filter.group_tag = TAG("text");
	int32 handles[8];
	ASSERT_EQ(tag_file_enumerate(&filter, handles, 8), 1);
	EXPECT_STREQ(tag_file_name_get(handles[0]), "good");
	EXPECT_EQ(read_tag(handles[0]), "x");
}

TEST_F(tag_files_validation, DuplicateRecordingsTakeTheNextSubgroup)
{
	mkdir("recordings", 0777);
	for (const char *name : { "first", "second", "third" })
	{
		ASSERT_TRUE(write_test_file(std::string("recordings/") + name, local_tag_bytes(TAG("reco"), 0xFFFFFFFEu, name)));
	}
	ASSERT_TRUE(load_local_tags());
	// The next free subgroups, passing over NONE.
	EXPECT_EQ(read_tag(tag_file_open(TAG("reco"), 0xFFFFFFFEu)), "first");
	EXPECT_EQ(read_tag(tag_file_open(TAG("reco"), 0u)), "second");
	EXPECT_EQ(read_tag(tag_file_open(TAG("reco"), 1u)), "third");
	EXPECT_FALSE(tag_file_exists(TAG("reco"), static_cast<file_tag>(NONE)));
}

TEST_F(tag_files_validation, WrongTypeFoundationFileTriesTheNextLocation)
{
	ASSERT_TRUE(install_placeholder_foundation_files("."));
	// At the working directory a plugin under the foundation name; under the volume a real one.
	const tag_spec moved = { TAG("text"), TAG("movd"), "moved", "from the volume" };
	ASSERT_TRUE(build_file("tags", "small install", _tag_file_type_plugin, NONE, { moved }));
	mkdir("zerv2", 0777);
	mkdir("zerv2/tags", 0777);
	ASSERT_TRUE(build_file("tags", "volume copy", _tag_file_type_foundation, 0, { moved }));
	ASSERT_EQ(rename("tags/volume copy", "zerv2/tags/small install"), 0);

	ASSERT_TRUE(tag_files_open(FALSE, nullptr, 0, NONE));
	EXPECT_TRUE(tag_files_all_foundation_files_present());
	const int32 handle = tag_file_open(TAG("text"), TAG("movd"));
	EXPECT_EQ(read_tag(handle), "from the volume");

	// The cache takes only tags of files at location 1.
	const file_tag preloads[] = { TAG("text"), TAG("movd"), TAG("stli"), TAG("inrf"), TAG("text"), TAG("movd") };
	ASSERT_TRUE(tag_files_build_cache(preloads, 3));
	const std::string cache = read_test_file("tags/cache");
	EXPECT_EQ(big_endian_32(cache, 100), 1u);
	EXPECT_EQ(big_endian_32(cache, 0), (static_cast<uint32>(_tag_file_type_cache) << 16) | 0xFFFFu);
	ASSERT_TRUE(tag_files_open_cache());
	const int32 cached = tag_file_open(TAG("text"), TAG("movd"));
	EXPECT_NE(cached, handle);
	EXPECT_EQ(tag_file_get_tag_file_type(cached), _tag_file_type_cache);
	EXPECT_EQ(read_tag(cached, true), "from the volume");
	tag_files_close_cache();
	EXPECT_EQ(tag_file_open(TAG("text"), TAG("movd")), handle);
}

TEST_F(tag_files_validation, MissingFoundationFilesEndTheFirstOpening)
{
	GTEST_FLAG_SET(death_test_style, "threadsafe");
	EXPECT_EXIT(tag_files_open(FALSE, nullptr, 0, NONE), ::testing::ExitedWithCode(255), "");
	// Later openings accept missing files.
	ASSERT_TRUE(install_placeholder_foundation_files("."));
	ASSERT_TRUE(tag_files_open(FALSE, nullptr, 0, NONE));
	ASSERT_EQ(remove("tags/large install"), 0);
	EXPECT_TRUE(tag_files_open(FALSE, nullptr, 0, NONE));
	EXPECT_FALSE(tag_files_all_foundation_files_present());
}
