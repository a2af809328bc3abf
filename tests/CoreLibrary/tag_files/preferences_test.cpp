#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "CoreLibrary/cseries/byte_swapping.h"
#include "CoreLibrary/cseries/tags_and_strings.h"
#include "CoreLibrary/tag_files/preferences.h"
#include "CoreLibrary/tag_files/x_files.h"
#include "CoreLibrary/zerv/error_manager.h"
#include "game_preferences.h"
#include "support/tag_files_test_directory.h"
#include "support/test_directory.h"
#include "tag_files/tag_files.h"

namespace
{
struct test_record
{
	int32 number;
	int16 small;
	int16 other;
	uint32 flags;
	char text[8];
	int32 extra_a;
	int32 extra_b;
};
STORED_SIZE(test_record, 28);

constexpr byte_swap_code test_record_byte_swapping_data[] =
{
	_begin_bs_array, 1, _4byte, _2byte, _2byte, _4byte, 8, _4byte, _4byte, _end_bs_array
};
static_assert(get_byte_swap_struct_size(test_record_byte_swapping_data) == sizeof(test_record));

int32 default_calls = 0;
int32 verify_calls = 0;
int32 convert_calls = 0;

void default_test_record(void *record)
{
	default_calls += 1;
	test_record *r = static_cast<test_record *>(record);
	r->number = 100;
	r->small = 2;
	r->other = 3;
	r->flags = 0xF0;
	strcpy(r->text, "dflt");
	r->extra_a = 7;
	r->extra_b = 8;
}

// Rejects a number of -1.
boolean verify_test_record(void *record)
{
	verify_calls += 1;
	return static_cast<test_record *>(record)->number != -1;
}

// Version 1 stored only a big-endian number and a big-endian small value.
boolean convert_test_record(const void *stored, void *record, int32 stored_version)
{
	convert_calls += 1;
	const uint8 *bytes = static_cast<const uint8 *>(stored);
	test_record *r = static_cast<test_record *>(record);
	if (stored_version != 1) return FALSE;
	// The target arrives defaulted; the block reaches the current size, zeroed.
	if (r->extra_b != 8) return FALSE;
	for (size_t i = 6; i < sizeof(test_record); ++i)
	{
		if (bytes[i] != 0) return FALSE;
	}
	r->number = static_cast<int32>((uint32(bytes[0]) << 24) | (uint32(bytes[1]) << 16) | (uint32(bytes[2]) << 8) | bytes[3]);
	r->small = static_cast<int16>((bytes[4] << 8) | bytes[5]);
	return TRUE;
}

preferences_globals test_preferences =
{
	"test", sizeof(test_record), 2, default_test_record, verify_test_record, test_record_byte_swapping_data, 0, nullptr
};

struct stored_file
{
	std::string name = "test";
	int32 version = 2;
	file_tag group = TAG("pref");
	file_tag subgroup = TAG("test");
	uint32 offset = 64;
	int8 owner_index = -1;
	uint8 type = 0;
	int8 foundation_index = 0;
	file_tag signature = TAG("zrv2");
};

// Writes a local preference tag file through the engine's own descriptors.
void write_stored_file(const stored_file &file, const void *record_in_host_order, int32 stored_size)
{
	mkdir("preferences", 0777);
	tag_header header;
	memset(&header, 0, sizeof(header));
	header.type = file.type;
	strncpy(header.name, file.name.c_str(), sizeof(header.name) - 1);
	header.group_tag = file.group;
	header.subgroup_tag = file.subgroup;
	header.offset = file.offset;
	header.size = static_cast<uint32>(stored_size);
	header.version = static_cast<int16>(file.version);
	header.foundation_tag_file_index = file.foundation_index;
	header.owner_index = file.owner_index;
	header.signature = file.signature;

	std::vector<uint8> bytes(sizeof(tag_header) + sizeof(test_record));
	byte_swap_move("header", bytes.data(), &header, sizeof(header), 1, tag_header_byte_swapping_data);
	if (record_in_host_order)
	{
		byte_swap_move("record", bytes.data() + sizeof(header), record_in_host_order, sizeof(test_record), 1,
			test_record_byte_swapping_data);
	}
	bytes.resize(sizeof(tag_header) + stored_size);
	ASSERT_TRUE(write_test_file("preferences/" + file.name, std::string(bytes.begin(), bytes.end())));
}

test_record sample_record(void)
{
	test_record r;
	memset(&r, 0, sizeof(r));
	r.number = 0x01020304;
	r.small = -5;
	r.other = 0x1234;
	r.flags = 0xA5A5F00F;
	strcpy(r.text, "stored");
	r.extra_a = 11;
	r.extra_b = 12;
	return r;
}

bool is_default(const test_record *r)
{
	return r->number == 100 && r->small == 2 && r->other == 3 && r->flags == 0xF0 && strcmp(r->text, "dflt") == 0 &&
		r->extra_a == 7 && r->extra_b == 8;
}

// The subgroup that the tag-file manager derives from a name: space padded, 31 characters.
file_tag tag_files_name_tag(const char *name)
{
	uint8 bytes[4] = { ' ', ' ', ' ', ' ' };
	char copy[32] = {};
	strncpy(copy, name, 31);
	for (char &c : copy) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
	const char *delimiters = " \t\n()[]{}?!:;-";
	int word = 0;
	for (char *token = strtok(copy, delimiters); token && word < 3; token = strtok(nullptr, delimiters), ++word)
	{
		const int first = word == 0 ? 0 : word == 1 ? 2 : 3;
		for (int i = 0; token[i] && first + i < 4 && i < (word == 0 ? 4 : word == 1 ? 2 : 1); ++i)
		{
			bytes[first + i] = static_cast<uint8>(token[i]);
		}
	}
	return (file_tag(bytes[0]) << 24) | (file_tag(bytes[1]) << 16) | (file_tag(bytes[2]) << 8) | bytes[3];
}

class Preferences : public tag_files_test_directory
{
protected:
	void SetUp() override
	{
		tag_files_test_directory::SetUp();
		default_calls = verify_calls = convert_calls = 0;
		free_preferences(&test_preferences);
	}
	void TearDown() override
	{
		free_preferences(&test_preferences);
		tag_files_test_directory::TearDown();
	}

	static const test_record *read(convert_preferences_proc convert = convert_test_record)
	{
		// The local tags are loaded again, as an opening of the tag set would, to find files written here.
		tag_files_close();
		load_local_tags();
		return static_cast<const test_record *>(read_preferences_convert(&test_preferences, convert));
	}
};
}

TEST_F(Preferences, NothingStoredGivesDefaultsVerifiedOnce)
{
	const test_record *r = read();
	ASSERT_NE(r, nullptr);
	EXPECT_EQ(test_preferences.data, r);
	EXPECT_TRUE(is_default(r));
	EXPECT_EQ(default_calls, 1);
	EXPECT_EQ(verify_calls, 1);
	EXPECT_EQ(convert_calls, 0);
	// Reading never writes.
	EXPECT_FALSE(test_file_exists("preferences/test"));
}

TEST_F(Preferences, StoredRecordOfTheCurrentVersion)
{
	const test_record stored = sample_record();
	write_stored_file(stored_file(), &stored, sizeof(test_record));
	const test_record *r = read();
	ASSERT_NE(r, nullptr);
	EXPECT_EQ(memcmp(r, &stored, sizeof(stored)), 0);
	EXPECT_EQ(verify_calls, 1);
}

TEST_F(Preferences, ShortRecordTakesTheDefaultTail)
{
	const test_record stored = sample_record();
	write_stored_file(stored_file(), &stored, sizeof(test_record) - 8);
	const test_record *r = read();
	EXPECT_EQ(r->number, stored.number);
	EXPECT_EQ(r->small, stored.small);
	EXPECT_EQ(r->other, stored.other);
	EXPECT_EQ(r->flags, stored.flags);
	EXPECT_STREQ(r->text, "stored");
	EXPECT_EQ(r->extra_a, 7);
	EXPECT_EQ(r->extra_b, 8);

	// A longer stored record gives up its surplus.
	free_preferences(&test_preferences);
	write_stored_file(stored_file(), &stored, sizeof(test_record));
	std::string bytes = read_test_file("preferences/test") + std::string(12, '\x7F');
	ASSERT_TRUE(write_test_file("preferences/test", bytes));
	EXPECT_EQ(memcmp(read(), &stored, sizeof(stored)), 0);
}

TEST_F(Preferences, OlderVersionGoesThroughTheConverter)
{
	const test_record stored = sample_record();
	stored_file file;
	file.version = 1;
	write_stored_file(file, &stored, 6);
	const test_record *r = read();
	EXPECT_EQ(convert_calls, 1);
	EXPECT_EQ(r->number, stored.number);
	EXPECT_EQ(r->small, stored.small);
	EXPECT_EQ(r->other, 3);
	EXPECT_EQ(r->extra_b, 8);

	// Without a converter, or when it declines, the defaults are used.
	free_preferences(&test_preferences);
	EXPECT_TRUE(is_default(read(nullptr)));
	free_preferences(&test_preferences);
	file.version = 0;
	write_stored_file(file, &stored, 6);
	EXPECT_TRUE(is_default(read()));
	EXPECT_EQ(convert_calls, 2);
}

TEST_F(Preferences, UnusableStoredRecordsGiveDefaults)
{
	const test_record stored = sample_record();
	std::vector<stored_file> cases(9);
	cases[0].version = 3; // newer than the program
	cases[1].signature = TAG("dng2");
	cases[2].offset = 128;
	cases[3].owner_index = 0;
	cases[4].type = 1;
	cases[5].group = TAG("mesh");
	cases[6].foundation_index = 5;
	cases[7].name = "te:st"; // the name check would change it
	cases[8].name = ".test"; // hidden
	for (size_t i = 0; i < cases.size(); ++i)
	{
		remove_directory_tree("preferences");
		write_stored_file(cases[i], &stored, sizeof(test_record));
		free_preferences(&test_preferences);
		EXPECT_TRUE(is_default(read())) << "case " << i;
	}

	// Rejected by verification: verified again as defaults.
	remove_directory_tree("preferences");
	test_record rejected = sample_record();
	rejected.number = -1;
	write_stored_file(stored_file(), &rejected, sizeof(test_record));
	verify_calls = 0;
	EXPECT_TRUE(is_default(read()));
	EXPECT_EQ(verify_calls, 2);

	// A header cut short.
	ASSERT_TRUE(write_test_file("preferences/test", read_test_file("preferences/test").substr(0, 63)));
	free_preferences(&test_preferences);
	EXPECT_TRUE(is_default(read()));
}

TEST_F(Preferences, OversizedStoredRecordGivesDefaults)
{
	const test_record stored = sample_record();
	write_stored_file(stored_file(), &stored, sizeof(test_record));
	ASSERT_EQ(truncate("preferences/test", 64 + MAXIMUM_STORED_PREFERENCES_SIZE + 1), 0);
	EXPECT_TRUE(is_default(read()));
}

TEST_F(Preferences, OtherFilesOfTheFolderAreIgnored)
{
	mkdir("preferences", 0777);
	ASSERT_TRUE(write_test_file("preferences/poweruser.txt", "[UI]\nDebugControlBounds = 1\n" + std::string(100, '#')));
	ASSERT_TRUE(write_test_file("preferences/interface", "Some Interface Set" + std::string(80, ' ')));
	preferences_globals interface_record = test_preferences;
	strcpy(interface_record.name, "interface");
	interface_record.data = nullptr;
	preferences_globals poweruser_record = test_preferences;
	strcpy(poweruser_record.name, "poweruser.txt");
	poweruser_record.data = nullptr;

	EXPECT_TRUE(is_default(static_cast<test_record *>(read_preferences_convert(&interface_record, nullptr))));
	EXPECT_TRUE(is_default(static_cast<test_record *>(read_preferences_convert(&poweruser_record, nullptr))));
	free_preferences(&interface_record);
	free_preferences(&poweruser_record);
}

TEST_F(Preferences, WriteStoresBigEndianAndLeavesTheRecordAlone)
{
	EXPECT_FALSE(write_preferences(&test_preferences));
	EXPECT_FALSE(test_file_exists("preferences/test"));

	test_record *r = static_cast<test_record *>(read_preferences_convert(&test_preferences, nullptr));
	*r = sample_record();
	const test_record before = *r;
	ASSERT_TRUE(write_preferences(&test_preferences));
	EXPECT_EQ(memcmp(r, &before, sizeof(before)), 0);

	const std::string bytes = read_test_file("preferences/test");
	ASSERT_EQ(bytes.size(), 64 + sizeof(test_record));
	const auto byte = [&](size_t i) { return static_cast<uint8>(bytes[i]); };
	EXPECT_EQ(std::string(bytes.data() + 4, 4), "test");
	EXPECT_EQ(bytes.substr(36, 8), "preftest");
	EXPECT_EQ(byte(47), 64); // offset
	EXPECT_EQ(static_cast<size_t>(byte(51)), sizeof(test_record)); // size
	EXPECT_EQ(byte(57), 2); // version
	EXPECT_EQ(byte(58), 0); // foundation file
	EXPECT_EQ(byte(59), 255); // owner
	EXPECT_EQ(bytes.substr(60, 4), "zrv2");
	EXPECT_EQ(byte(64), 0x01);
	EXPECT_EQ(byte(67), 0x04);
	EXPECT_FALSE(test_file_exists("preferences/.test.tmp"));

	free_preferences(&test_preferences);
	EXPECT_EQ(memcmp(read(), &before, sizeof(before)), 0);
}

TEST_F(Preferences, FailedWriteKeepsTheOldFile)
{
	test_record *r = static_cast<test_record *>(read_preferences_convert(&test_preferences, nullptr));
	ASSERT_TRUE(write_preferences(&test_preferences));
	const std::string old_bytes = read_test_file("preferences/test");

	r->number = 555;
	for (int16 stage = _single_file_replace_fail_create; stage < NUMBER_OF_SINGLE_FILE_REPLACE_FAILURES; ++stage)
	{
		single_file_replace_inject_failure(stage);
		EXPECT_FALSE(write_preferences(&test_preferences)) << "stage " << stage;
		EXPECT_EQ(read_test_file("preferences/test"), old_bytes) << "stage " << stage;
	}
	EXPECT_NE(get_error_code(), _error_none);
	EXPECT_NE(log_text().find("couldn't write test preferences"), std::string::npos);
	EXPECT_EQ(r->number, 555);
}

TEST_F(Preferences, SubgroupDerivationsAgree)
{
	EXPECT_EQ(preferences_subgroup_tag(&game_preferences_globals), TAG("game"));
	const preferences_globals *records[] = { &game_preferences_globals, &test_preferences };
	for (const preferences_globals *record : records)
	{
		EXPECT_EQ(preferences_subgroup_tag(record), string_to_tag(record->name)) << record->name;
		EXPECT_EQ(preferences_subgroup_tag(record), tag_files_name_tag(record->name)) << record->name;
	}
	// The two derivations differ for short names, which is why records are named as above.
	EXPECT_NE(string_to_tag("ab"), tag_files_name_tag("ab"));
}
