// Local tags: creation, copy-on-write, header changes, deleting, failures
// that must leave the old data intact, monolithic output and the lock.
#include "tag_files/tag_files_test_support.h"

#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

#include <regex>

#include "world.h"

using namespace tag_files_test;

namespace
{
class tag_files_writing : public fixture
{
};
class tag_files_write_failures : public fixture
{
};
class tag_files_lock : public fixture
{
protected:
	void TearDown() override
	{
		release_exclusive_mode();
		fixture::TearDown();
	}
};

std::vector<std::string> listed_names(const std::string &path)
{
	std::vector<std::string> names;
	DIR *folder = opendir(path.c_str());
	if (!folder) return names;
	for (struct dirent *entry = readdir(folder); entry; entry = readdir(folder))
	{
		if (strcmp(entry->d_name, ".") && strcmp(entry->d_name, "..")) names.push_back(entry->d_name);
	}
	closedir(folder);
	std::sort(names.begin(), names.end());
	return names;
}

// Puts a directory where a local tag's file is, so that opening or deleting it fails.
void replace_with_directory(const std::string &path)
{
	ASSERT_EQ(remove(path.c_str()), 0);
	ASSERT_EQ(mkdir(path.c_str(), 0777), 0);
	ASSERT_TRUE(write_test_file(path + "/inside", "x"));
}
}

TEST_F(tag_files_writing, SubgroupsFromNames)
{
	EXPECT_EQ(tag_files_string_to_tag("a b c"), TAG("a bc"));
	EXPECT_EQ(tag_files_string_to_tag("x"), TAG("x   "));
	EXPECT_EQ(tag_files_string_to_tag("Great (Big) Map!"), TAG("grbm"));
	EXPECT_EQ(tag_files_string_to_tag(""), TAG("    "));
	// A name whose bytes make NONE never yields that subgroup.
	const int32 handle = tag_file_new(TAG("text"), "\xFF\xFF\xFF\xFF", 1);
	ASSERT_NE(handle, NONE);
	EXPECT_NE(tag_file_get_header_subgroup(handle), static_cast<file_tag>(NONE));
	EXPECT_EQ(tag_file_new(TAG("text"), " . ", 1), NONE);
}

TEST_F(tag_files_writing, NamedTagTakesTheSubgroupOfTheTagItReplaces)
{
	open_generated_set();
	const int32 foundation = tag_file_open(TAG("stli"), TAG("inrf"));
	const int32 local = tag_file_new(TAG("stli"), "Film Names", 1);
	ASSERT_NE(local, NONE);
	EXPECT_EQ(tag_file_get_header_subgroup(local), TAG("inrf"));
	EXPECT_EQ(tag_file_open(TAG("stli"), TAG("inrf")), local);
	EXPECT_EQ(tag_file_get_tag_file_foundation_tag_file_index(local), 3);
	ASSERT_TRUE(tag_file_delete(local));
	EXPECT_EQ(tag_file_open(TAG("stli"), TAG("inrf")), foundation);

	// Creating a named tag twice leaves one file and one tag.
	const int32 first = tag_file_new(TAG("text"), "note", 1);
	int32 second = tag_file_new(TAG("text"), "NOTE", 2);
	ASSERT_NE(second, NONE);
	EXPECT_EQ(listed_names("local/text"), (std::vector<std::string>{ "NOTE" }));
	EXPECT_STREQ(tag_file_name_get(first), "<unknown>");
	EXPECT_EQ(tag_file_get_header_subgroup(second), tag_files_string_to_tag("note"));
	ASSERT_TRUE(tag_file_write(&second, 0, 4, "data"));
	EXPECT_EQ(read_test_file("local/text/NOTE").substr(64), "data");
	EXPECT_EQ(tag_file_get_header_data_size(second), 4);
}

TEST_F(tag_files_writing, DerivedSubgroupsMoveOnWhenTaken)
{
	const int32 first = make_local_tag({ TAG("text"), tag_files_string_to_tag("walk"), "other", "x" });
	const int32 walk = tag_file_new(TAG("text"), "walk", 1);
	EXPECT_EQ(tag_file_get_header_subgroup(walk), tag_files_string_to_tag("walk") + 1);
	EXPECT_NE(tag_file_open(TAG("text"), tag_files_string_to_tag("walk")), NONE);
	EXPECT_STREQ(tag_file_name_get(first), "other");
}

TEST_F(tag_files_writing, WritingAFileTagMakesALocalCopy)
{
	open_generated_set();
	// A same-name tag of another file, listed after it, lends the copy nothing.
	tag_header add_on;
	memset(&add_on, 0, sizeof(add_on));
	add_on.group_tag = TAG("stli");
	add_on.subgroup_tag = TAG("addo");
	add_on.owner_index = 3;
	strcpy(add_on.name, "film names");
	ASSERT_NE(add_tag_header(&add_on), NONE);
	int32 handle = tag_file_open(TAG("stli"), TAG("inrf"));
	const int32 original = handle;
	const std::string foundation = read_test_file("tags/international small install");
	ASSERT_TRUE(tag_file_write(&handle, 0, 4, "Past"));
	EXPECT_NE(handle, original);
	EXPECT_EQ(tag_file_get_header_subgroup(handle), TAG("inrf"));
	EXPECT_EQ(tag_file_open(TAG("stli"), TAG("inrf")), handle);
	EXPECT_EQ(tag_file_get_tag_file_type(handle), _tag_file_type_local);
	EXPECT_EQ(read_tag(handle), "Past Replay\rSaved Game\rSaved Replay");
	EXPECT_EQ(read_test_file("tags/international small install"), foundation);
	EXPECT_EQ(read_test_file("local/string lists/film names").substr(64), "Past Replay\rSaved Game\rSaved Replay");
	EXPECT_EQ(tag_file_get_tag_file_foundation_tag_file_index(handle), 3);

	// The next opening finds the copy again.
	ASSERT_TRUE(tag_files_open(FALSE, nullptr, 0, NONE));
	EXPECT_EQ(read_tag(tag_file_open(TAG("stli"), TAG("inrf"))), "Past Replay\rSaved Game\rSaved Replay");
}

TEST_F(tag_files_writing, RandomSubgroupsAreFreeAndDrawOnlyTheLocalStream)
{
	set_local_random_seed(4321);
	file_tag first = 0;
	for (int32 i = 0; i < 4; ++i) first |= static_cast<file_tag>(local_random() % 95 + 32) << (8 * i);
	// Two tags of that subgroup, one shadowing the other.
	ASSERT_NE(make_local_tag({ TAG("reco"), first, "one", "1" }), NONE);
	tag_header extra;
	memset(&extra, 0, sizeof(extra));
	extra.group_tag = TAG("reco");
	extra.subgroup_tag = first;
	extra.owner_index = 3;
	strcpy(extra.name, "shadowed");
	ASSERT_NE(add_tag_header(&extra), NONE);

	set_local_random_seed(4321);
	const uint32 draws = zerv_random_draw_count();
	const int32 handle = tag_file_new_with_random_subgroup_tag(TAG("reco"), "one", 3);
	ASSERT_NE(handle, NONE);
	EXPECT_NE(tag_file_get_header_subgroup(handle), first);
	EXPECT_EQ(zerv_random_draw_count(), draws);
	// The file of that name is overwritten, so its old tag is gone.
	tag_file_info filter;
	tag_file_info_new(&filter);
	filter.group_tag = TAG("reco");
	strcpy(filter.name, "one");
	EXPECT_EQ(tag_file_enumerate(&filter, nullptr, NONE), 1);
}

TEST_F(tag_files_writing, HeaderFieldsAndRenaming)
{
	int32 one = make_local_tag({ TAG("text"), TAG("one "), "one", "first" });
	int32 two = make_local_tag({ TAG("text"), TAG("two "), "two", "second" });
	ASSERT_TRUE(tag_file_set_header_user_data(&one, 77));
	ASSERT_TRUE(tag_file_set_header_version(&one, 9));
	EXPECT_EQ(tag_file_get_header_user_data(one), 77u);
	EXPECT_EQ(big_endian_32(read_test_file("local/text/one"), 52), 77u);

	const std::string before = read_test_file("local/text/two");
	EXPECT_FALSE(tag_file_name_set(&one, "TWO"));
	EXPECT_EQ(read_test_file("local/text/two"), before);
	EXPECT_STREQ(tag_file_name_get(one), "one");

	ASSERT_TRUE(tag_file_name_set(&one, "uno"));
	EXPECT_FALSE(test_file_exists("local/text/one"));
	EXPECT_EQ(read_test_file("local/text/uno").substr(4, 4), std::string("uno\0", 4));
	EXPECT_EQ(read_tag(one), "first");
	EXPECT_STREQ(tag_file_name_get(two), "two");
}

TEST_F(tag_files_writing, DeletingOnlyLocalTags)
{
	open_generated_set();
	clear_errors();
	EXPECT_FALSE(tag_file_delete(tag_file_open(TAG("stli"), TAG("inrf"))));
	EXPECT_NE(error_text().find("can't delete 'film names' because it is not a local tag."), std::string::npos);
	EXPECT_FALSE(tag_file_delete(NONE));
}

TEST_F(tag_files_writing, MonolithicFilesLeaveOutLocalGroups)
{
	const int32 preference = make_local_tag({ TAG("pref"), TAG("game"), "game", "prefs" });
	file_reference file = folder_file("plugins", "Only Preferences");
	ASSERT_TRUE(build_monolithic_file_from_tag_indexes(&file, _tag_file_type_plugin, NONE, &preference, 1));
	const std::string bytes = read_test_file("plugins/Only Preferences");
	EXPECT_EQ(bytes.size(), 128u);
	EXPECT_EQ(big_endian_32(bytes, 100), 0u);
}

TEST_F(tag_files_writing, ByteSwappedWritesGiveTheRecordsBack)
{
	int32 handle = make_local_tag({ TAG("text"), TAG("swap"), "swap", "" });
	const byte_swap_code codes[] = { _begin_bs_array, 1, _2byte, _4byte, _end_bs_array };
	uint8 records[12] = { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12 };
	const std::string host(reinterpret_cast<char *>(records), 12);
	ASSERT_TRUE(tag_file_write_byte_swapped(&handle, 0, 6, 2, records, codes));
	EXPECT_EQ(std::string(reinterpret_cast<char *>(records), 12), host);
	EXPECT_EQ(read_tag(handle), std::string("\2\1\6\5\4\3\10\7\14\13\12\11", 12));

	// A failed write gives them back too.
	int32 stale = handle ^ 0x10000;
	EXPECT_FALSE(tag_file_write_byte_swapped(&stale, 0, 6, 2, records, codes));
	EXPECT_EQ(std::string(reinterpret_cast<char *>(records), 12), host);
}

TEST_F(tag_files_writing, ModificationDateInTheCLocale)
{
	const int32 handle = make_local_tag({ TAG("save"), TAG("svd1"), "saved", "game" });
	const std::string date = get_tag_modification_date(handle);
	EXPECT_TRUE(std::regex_match(date, std::regex("[A-Z][a-z][a-z] [0-9][0-9], [0-9]{4} [0-9][0-9]:[0-9][0-9] (AM|PM)")))
		<< date;
	EXPECT_STREQ(get_tag_modification_date(NONE), "");
}

TEST_F(tag_files_write_failures, FailedCreationKeepsTheOldTag)
{
	int32 old = make_local_tag({ TAG("text"), TAG("note"), "note", "old" });
	const std::string old_file = read_test_file("local/text/note");
	for (int16 stage = _single_file_replace_fail_create; stage < NUMBER_OF_SINGLE_FILE_REPLACE_FAILURES; ++stage)
	{
		single_file_replace_inject_failure(stage);
		EXPECT_EQ(tag_file_new(TAG("text"), "note", 1), NONE);
		EXPECT_EQ(tag_file_new_with_subgroup_tag(TAG("text"), "note", TAG("note"), 1, "new", 3), NONE);
		EXPECT_EQ(tag_file_new_with_random_subgroup_tag(TAG("text"), "note", 1), NONE);
		reset_x_files_test_hooks();
		EXPECT_EQ(tag_file_open(TAG("text"), TAG("note")), old) << stage;
		EXPECT_EQ(read_tag(old), "old");
		EXPECT_EQ(read_test_file("local/text/note"), old_file);
		EXPECT_EQ(listed_names("local/text"), (std::vector<std::string>{ "note" }));
	}
}

TEST_F(tag_files_write_failures, FailedHeaderRewriteRestoresTheFields)
{
	int32 handle = make_local_tag({ TAG("text"), TAG("note"), "note", "old" }, 4);
	replace_with_directory("local/text/note");
	EXPECT_FALSE(tag_file_set_header_version(&handle, 7));
	EXPECT_EQ(tag_file_get_header_version(handle), 4);
	EXPECT_FALSE(tag_file_name_set(&handle, "renamed"));
	EXPECT_STREQ(tag_file_name_get(handle), "note");
	EXPECT_EQ(listed_names("local/text"), (std::vector<std::string>{ "note" }));
}

TEST_F(tag_files_write_failures, FailedDeleteKeepsTheTag)
{
	const int32 handle = make_local_tag({ TAG("text"), TAG("note"), "note", "old" });
	replace_with_directory("local/text/note");
	clear_errors();
	EXPECT_FALSE(tag_file_delete(handle));
	EXPECT_NE(error_text().find("couldn't delete local tag file"), std::string::npos);
	EXPECT_EQ(tag_file_open(TAG("text"), TAG("note")), handle);
}

TEST_F(tag_files_write_failures, FailedBuildLeavesTheOldFileIdentical)
{
	ASSERT_TRUE(build_file("plugins", "Built", _tag_file_type_plugin, NONE, { { TAG("text"), TAG("aaaa"), "a", "first" } }));
	const std::string before = read_test_file("plugins/Built");
	for (int16 stage = _single_file_replace_fail_create; stage < NUMBER_OF_SINGLE_FILE_REPLACE_FAILURES; ++stage)
	{
		const int32 handle = make_local_tag({ TAG("text"), TAG("bbbb"), "b", "second" });
		file_reference file = folder_file("plugins", "Built");
		single_file_replace_inject_failure(stage);
		EXPECT_FALSE(build_monolithic_file_from_tag_indexes(&file, _tag_file_type_plugin, NONE, &handle, 1));
		reset_x_files_test_hooks();
		EXPECT_EQ(read_test_file("plugins/Built"), before) << stage;
		EXPECT_EQ(listed_names("plugins"), (std::vector<std::string>{ "Built" })) << stage;
	}
	// A tag that can't be read stops the build the same way.
	const int32 gone = make_local_tag({ TAG("text"), TAG("cccc"), "c", "third" });
	ASSERT_EQ(remove("local/text/c"), 0);
	file_reference file = folder_file("plugins", "Built");
	EXPECT_FALSE(build_monolithic_file_from_tag_indexes(&file, _tag_file_type_plugin, NONE, &gone, 1));
	EXPECT_EQ(read_test_file("plugins/Built"), before);
}

TEST_F(tag_files_write_failures, WritesAreRefusedWhileAnotherProcessHoldsTheFile)
{
	int32 handle = make_local_tag({ TAG("text"), TAG("note"), "note", "old" });
	int ready[2];
	int done[2];
	ASSERT_EQ(pipe(ready), 0);
	ASSERT_EQ(pipe(done), 0);
	const pid_t child = fork();
	ASSERT_GE(child, 0);
	if (child == 0)
	{
		file_reference file = folder_file("local/text", "note");
		const char answer = file_open(&file, _permission_read_flag | _permission_write_flag) ? 'y' : 'n';
		char ignored;
		if (write(ready[1], &answer, 1) != 1 || read(done[0], &ignored, 1) < 0) _exit(1);
		_exit(0);
	}
	char answer = 0;
	ASSERT_EQ(read(ready[0], &answer, 1), 1);
	ASSERT_EQ(answer, 'y');
	EXPECT_FALSE(tag_file_write(&handle, 0, 3, "new"));
	EXPECT_EQ(tag_file_new(TAG("text"), "note", 1), NONE);
	EXPECT_EQ(read_tag(handle), "old");
	ASSERT_EQ(write(done[1], "x", 1), 1);
	int status = 0;
	waitpid(child, &status, 0);
	EXPECT_TRUE(tag_file_write(&handle, 0, 3, "new"));
	EXPECT_EQ(read_tag(handle), "new");
}

TEST_F(tag_files_lock, SecondInstanceWaitsForTheRelease)
{
	ASSERT_TRUE(set_exclusive_mode());
	EXPECT_TRUE(set_exclusive_mode());
	auto child_takes_lock = []() {
		const pid_t child = fork();
		if (child == 0) _exit(set_exclusive_mode() ? 0 : 1);
		int status = 0;
		waitpid(child, &status, 0);
		return WIFEXITED(status) && WEXITSTATUS(status) == 0;
	};
	EXPECT_FALSE(child_takes_lock());
	EXPECT_TRUE(test_file_exists("local/zerv2"));
	release_exclusive_mode();
	EXPECT_FALSE(test_file_exists("local/zerv2"));
	EXPECT_TRUE(child_takes_lock());

	// An existing lock file is used as it is, never emptied.
	ASSERT_TRUE(write_test_file("local/zerv2", "keep"));
	ASSERT_TRUE(set_exclusive_mode());
	EXPECT_EQ(read_test_file("local/zerv2"), "keep");
}

TEST_F(tag_files_write_failures, UnreadableLengthFailsTheWrite)
{
	int32 handle = make_local_tag({ TAG("text"), TAG("note"), "note", "old" });
	ASSERT_TRUE(tag_file_write(&handle, 0, 3, "new"));
	// The open file loses its name: the write lands, but the length can't be read.
	ASSERT_EQ(remove("local/text/note"), 0);
	EXPECT_FALSE(tag_file_write(&handle, 3, 4, "more"));
	EXPECT_EQ(tag_file_get_header_data_size(handle), 3);
}
